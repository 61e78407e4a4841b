#include "gaugesim/model/Physics.h"

#include <algorithm>
#include <cmath>

namespace qx5::sim {
namespace {

constexpr double kFanLag = 0.6;        // seconds
constexpr double kRoomLag = 1.2;       // seconds
constexpr double kStep = 0.01;         // integration step
constexpr double kHorizon = 120;       // longer idle spans have settled anyway
constexpr double kIntegralLimit = 10;  // percent of fan the integral term may add
constexpr double kIntegralBand = 1.5;  // kPa: the feed-forward does the approach alone

}  // namespace

Physics::Physics(std::uint32_t seed) : random_(seed) {}

void Physics::reset(double now) {
  *this = Physics(static_cast<std::uint32_t>(random_()));
  time_ = now;
  nextControl_ = now + kControllerPeriod;
}

void Physics::advanceTo(double now, const std::array<float, 8>& pid) {
  if (now <= time_) return;
  if (now - time_ > kHorizon) {
    const double skipped = now - kHorizon - time_;
    time_ += skipped;
    if (nextControl_ < time_)
      nextControl_ += std::ceil((time_ - nextControl_) / kControllerPeriod) * kControllerPeriod;
  }
  while (time_ < now) {
    const double dt = std::min(kStep, now - time_);
    integrate(dt);
    time_ += dt;
    while (time_ >= nextControl_) {
      if (controlling_) control(pid);
      nextControl_ += kControllerPeriod;
    }
  }
}

void Physics::integrate(double dt) {
  fanSpeed_ += (fanCommand_ - fanSpeed_) * std::min(1.0, dt / kFanLag);
  const double share = fanSpeed_ / 100.0;
  fanPressure_ = kFanPressureAtFull * share * share;
  room_ += (kRoomShare * fanPressure_ - room_) * std::min(1.0, dt / kRoomLag);
}

void Physics::control(const std::array<float, 8>& pid) {
  const double error = target_ - readRoom();
  const double reachable = std::max(0.0, target_) / (kRoomShare * kFanPressureAtFull);
  const double feedForward = 100.0 * std::sqrt(std::min(1.0, reachable));
  const double ki = pid[1];
  if (std::fabs(error) < kIntegralBand) integral_ += error * kControllerPeriod;
  if (ki > 0) integral_ = std::clamp(integral_, -kIntegralLimit / ki, kIntegralLimit / ki);
  fanCommand_ = std::clamp(feedForward + pid[0] * error + ki * integral_, 0.0, 100.0);
}

void Physics::setFanPercent(double percent) {
  controlling_ = false;
  fanCommand_ = std::clamp(percent, 0.0, 100.0);
}

void Physics::setRoomTarget(double kPa) {
  controlling_ = true;
  target_ = kPa;
  integral_ = 0;
}

void Physics::stop() {
  controlling_ = false;
  fanCommand_ = 0;
}

double Physics::readRoom() { return room_ + noise_(random_); }
double Physics::readFan() { return fanPressure_ + noise_(random_); }

}  // namespace qx5::sim
