// The frame every export runs in. The generated exports (qx5_exports.cpp, from the export table)
// wrap each body in one of these:
//   onSelectedGauge   a legacy gauge command: the selected gauge, pinned and locked at its first
//                     use for the rest of the call, so another thread's UsbPort cannot split it;
//   underLibraryLock  enumeration and selection: the state lock for the whole call, and every
//                     exchange on the gauge selected at that moment, under its lock;
//   onGauge           a twin: the handle's gauge, opened again if it went away, locked for the
//                     whole call; a refused handle runs the body with no gauge, so the body
//                     returns its own failure value;
//   unframed          no gauge and no lock.
// A call made inside another export's body keeps the outer frame. The packet buffers belong to
// the calling thread, so concurrent calls never share them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "qx5_dll/api/GaugeHandles.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/Packet.h"

namespace qx5::api {

enum class CallTarget { Selected, EachExchange, Handle };

// A gauge held for one use: the object, kept alive, and its lock when this use took it.
struct GaugeAccess {
  std::shared_ptr<DEVICE_DATA> gauge;
  std::optional<DeviceLock> lock;
  DEVICE_DATA* operator->() const { return gauge.get(); }
  explicit operator bool() const { return gauge && gauge->usb; }
};

// The calling thread's export call. The buffers outlive the call (tests read them after it).
class CallContext {
 public:
  std::uint8_t commandBuffer[packet::kBufferSize] = {};
  std::int32_t commandBufferSize = 0;
  std::uint8_t replyBuffer[packet::kBufferSize] = {};
  std::uint32_t replyCount = 0;

  Remembered& remembered();
  // The gauge this call talks to now, locked by this thread while the result lives (and, once
  // pinned, until the call ends). Empty when there is none: no device list, a refused handle.
  GaugeAccess gauge();
  bool insideExport() const { return depth_ > 0; }
  bool throughHandle() const { return target_ == CallTarget::Handle; }

 private:
  friend class CallScope;
  int depth_ = 0;
  CallTarget target_ = CallTarget::EachExchange;
  Remembered* remembered_ = nullptr;  // null: the legacy set
  std::shared_ptr<GaugeHandle> handle_;
  std::shared_ptr<DEVICE_DATA> pinned_;
  std::optional<DeviceLock> pinnedLock_;
};

CallContext& call();

// Opens the outermost frame of a call on this thread; inside another frame it does nothing.
class CallScope {
 public:
  explicit CallScope(CallTarget target);
  // A twin's frame: `scope` receives the refusal of a handle that is not open.
  CallScope(LogFunction& scope, std::int32_t handle);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  bool outermost_;
};

template <class Body>
auto onSelectedGauge(Body body) {
  const CallScope frame(CallTarget::Selected);
  return body();
}

template <class Body>
auto underLibraryLock(Body body) {
  const StateLock lock;
  const CallScope frame(CallTarget::EachExchange);
  return body();
}

template <class Body>
auto onGauge(LogFunction& scope, std::int32_t handle, Body body) {
  const CallScope frame(scope, handle);
  return body();
}

template <class Body>
auto unframed(Body body) {
  return body();
}

// The packet buffers of the calling thread's call.
void ResetPacketBuffers();
// The default header (length 36, parameter length 30) and the command code.
void PrepareCommandPacket(std::uint8_t command);
// Sends the command buffer (`length` bytes, 0 = byte 1 of the buffer) to the call's gauge and
// reads the reply into the reply buffer. False when there is no gauge to talk to.
bool ExchangeCommandPacket(std::uint32_t length = 0);

}  // namespace qx5::api
