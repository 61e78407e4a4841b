// Room and fan: the fan pressure (port B) follows the fan with a lag, the room pressure
// (port A) follows the fan pressure with a longer one. Given a room target, the gauge's own
// controller sets the fan at a fixed period: feed-forward from the model plus PI on the error.
#pragma once

#include <array>
#include <cstdint>
#include <random>

namespace qx5::sim {

class Physics {
 public:
  static constexpr double kControllerPeriod = 0.5;  // seconds between fan updates
  static constexpr double kFanPressureAtFull = 120.0;
  static constexpr double kRoomShare = 0.4;  // room pressure per fan pressure, steady state

  explicit Physics(std::uint32_t seed = 1);

  // Times are seconds on the gauge's own clock.
  void reset(double now);
  void advanceTo(double now, const std::array<float, 8>& pid);

  void setFanPercent(double percent);  // open loop; ends closed-loop control
  void setRoomTarget(double kPa);      // closed loop from the next controller period
  void stop();

  double fanCommand() const { return fanCommand_; }  // percent, 0..100
  bool controlling() const { return controlling_; }
  double roomTarget() const { return target_; }
  // Readings with a little measurement noise.
  double readRoom();
  double readFan();
  double fanPressure() const { return fanPressure_; }
  double roomPressure() const { return room_; }

 private:
  void integrate(double dt);
  void control(const std::array<float, 8>& pid);

  double time_ = 0;
  double nextControl_ = 0;
  double fanCommand_ = 0;
  double fanSpeed_ = 0;  // percent, lagging the command
  double fanPressure_ = 0;
  double room_ = 0;
  bool controlling_ = false;
  double target_ = 0;
  double integral_ = 0;
  std::mt19937 random_;
  std::normal_distribution<double> noise_{0.0, 0.02};
};

}  // namespace qx5::sim
