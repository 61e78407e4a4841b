#include "qx5_dll/api/CallFrame.h"

#include <cstring>

#include "qx5_dll/transport/mchpusb.h"

namespace qx5::api {

namespace {

// What a refused handle's call remembers: nothing, whatever it asks.
Remembered& nothingRemembered() {
  static thread_local Remembered nothing;
  nothing.clear();
  return nothing;
}

// The selected gauge now; empty without a device list.
std::shared_ptr<DEVICE_DATA> selectedGauge() {
  const StateLock lock;
  mchpusb* list = library().deviceList;
  if (!list || !list->bindingValid()) return nullptr;
  return list->currentShared();
}

}  // namespace

CallContext& call() {
  static thread_local CallContext context;
  return context;
}

Remembered& CallContext::remembered() { return remembered_ ? *remembered_ : library().legacy; }

GaugeAccess CallContext::gauge() {
  GaugeAccess access;
  switch (target_) {
    case CallTarget::Handle:
      access.gauge = pinned_;
      break;
    case CallTarget::Selected:
      if (!pinned_ && depth_ > 0) {
        pinned_ = selectedGauge();
        if (pinned_) {
          pinnedLock_.emplace(*pinned_);
          pinned_->TagLog();  // this thread may not be the one that selected it
        }
      }
      if (pinned_) {
        access.gauge = pinned_;
        break;
      }
      [[fallthrough]];
    case CallTarget::EachExchange:
      access.gauge = selectedGauge();
      if (access.gauge) access.lock.emplace(*access.gauge);
      break;
  }
  return access;
}

CallScope::CallScope(CallTarget target) : outermost_(call().depth_++ == 0) {
  if (!outermost_) return;
  call().target_ = target;
}

CallScope::CallScope(LogFunction& scope, std::int32_t handle) : outermost_(call().depth_++ == 0) {
  if (!outermost_) return;
  CallContext& c = call();
  c.target_ = CallTarget::Handle;
  c.handle_ = findHandle(handle);
  if (!c.handle_) {
    scope.Error("gauge handle %d is not open", handle);
    c.remembered_ = &nothingRemembered();
    return;
  }
  c.remembered_ = &c.handle_->remembered;
  std::shared_ptr<DEVICE_DATA> gauge = c.handle_->gauge;
  if (gauge->lost.load(std::memory_order_relaxed)) {
    // Back from a restart, or gone: look for it at its path (state lock first, then its own).
    const StateLock state;
    if (mchpusb* list = library().deviceList) {
      const DeviceLock lock(*gauge);
      list->Reopen(*gauge);
    }
  }
  c.pinnedLock_.emplace(*gauge);
  if (!gauge->usb) {
    scope.Error("gauge handle %d: its gauge was closed with the device list", handle);
    c.pinnedLock_.reset();
    return;
  }
  c.pinned_ = std::move(gauge);
  c.pinned_->TagLog();
}

CallScope::~CallScope() {
  CallContext& c = call();
  --c.depth_;
  if (!outermost_) return;
  c.pinnedLock_.reset();
  c.pinned_.reset();
  c.handle_.reset();
  c.remembered_ = nullptr;
  c.target_ = CallTarget::EachExchange;
}

void ResetPacketBuffers() {
  CallContext& c = call();
  c.replyCount = packet::kBufferSize;
  c.commandBufferSize = packet::kBufferSize;
  std::memset(c.replyBuffer, 0, sizeof c.replyBuffer);
  std::memset(c.commandBuffer, 0, sizeof c.commandBuffer);
}

void PrepareCommandPacket(std::uint8_t command) {
  std::uint8_t* b = call().commandBuffer;
  b[packet::kMarkerOffset] = packet::kMarker;
  b[packet::kLengthOffset] = packet::kDefaultLength;
  b[2] = packet::kFixed2;
  b[3] = packet::kFixed3;
  b[4] = packet::kFixed4;
  b[packet::kParamLengthOffset] = packet::kDefaultParamLength;
  b[packet::kCommandOffset] = command;
}

bool ExchangeCommandPacket(std::uint32_t length) {
  CallContext& c = call();
  if (length == 0) length = c.commandBuffer[packet::kLengthOffset];
  // The buffer holds 64 bytes whatever a length byte claims.
  if (length > sizeof c.commandBuffer) length = sizeof c.commandBuffer;
  GaugeAccess gauge = c.gauge();
  if (!gauge) return false;
  c.replyCount = sizeof c.replyBuffer;
  if (gauge->SendReceivePacket(c.commandBuffer, static_cast<int>(length), c.replyBuffer,
                               c.replyCount))
    return true;
  // A handle's gauge that took no packet may be back from a restart at its port: open it there
  // and send once more (the gauge never saw the first). Only if the state lock is free now.
  if (!c.throughHandle() || !gauge->lost.load(std::memory_order_relaxed)) return false;
  const StateTryLock state;
  mchpusb* list = library().deviceList;
  if (!state.owns() || !list || !list->Reopen(*gauge.gauge)) return false;
  c.replyCount = sizeof c.replyBuffer;
  return gauge->SendReceivePacket(c.commandBuffer, static_cast<int>(length), c.replyBuffer,
                                  c.replyCount);
}

}  // namespace qx5::api
