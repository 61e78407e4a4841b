#include <atomic>

#include "qx5_dll/transport/DeviceData.h"

namespace qx5 {

namespace {
// A value unique to the calling thread while it lives: the address of a thread-local byte.
std::uintptr_t thisThread() {
  static thread_local char marker;
  return reinterpret_cast<std::uintptr_t>(&marker);
}
}  // namespace

DeviceLock::DeviceLock(DEVICE_DATA& device) : device_(&device) {
  device_->lock_.lock();
  if (device_->depth_++ == 0) device_->owner_.store(thisThread(), std::memory_order_relaxed);
}

DeviceLock::~DeviceLock() {
  if (!device_) return;
  if (--device_->depth_ == 0) device_->owner_.store(0, std::memory_order_relaxed);
  device_->lock_.unlock();
}

std::uint64_t DEVICE_DATA::nextCreationOrder() {
  static std::atomic<std::uint64_t> next{0};
  return next.fetch_add(1, std::memory_order_relaxed);
}

bool DEVICE_DATA::lockedByThisThread() const {
  return owner_.load(std::memory_order_relaxed) == thisThread();
}

std::atomic<unsigned> exchangesWithoutLock{0};

}  // namespace qx5
