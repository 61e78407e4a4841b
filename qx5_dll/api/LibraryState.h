// The library's one set of state: initialisation, the device list, the packet buffers and what
// the gauge has told the exports. Every export holds the library-wide ExportLock, so one call
// runs at a time whatever the number of caller threads.
#pragma once

#include <cstdint>
#include <mutex>

#include "qx5_dll/usb/Packet.h"

namespace qx5 {
class mchpusb;
}

namespace qx5::api {

inline constexpr const char* kDllVersion = "2.2.0.18";

struct LibraryState {
  bool initialised = false;
  mchpusb* deviceList = nullptr;
  std::uint8_t commandBuffer[packet::kBufferSize] = {};
  std::int32_t commandBufferSize = 0;
  std::uint8_t replyBuffer[packet::kBufferSize] = {};
  std::uint32_t replyCount = 0;
  std::int32_t currentPort = 0;
  std::uint8_t maxRange = 0;
  std::uint8_t maxDevice = 0;
  bool autoZero = false;
};

// Zero at load, constant-initialised, so it is usable from the library constructor on.
LibraryState& library();

// Held for the whole of every export: concurrent calls never share the packet buffers or
// interleave packets on a gauge. Recursive, as exports built on other exports call them.
class ExportLock {
 public:
  ExportLock();
  ~ExportLock();
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;
};

void ResetPacketBuffers();
// The default header (length 36, parameter length 30) and the command code.
void PrepareCommandPacket(std::uint8_t command);
void InitializeVariables();

// Sends the command buffer (`length` bytes, 0 = byte 1 of the buffer) to the current gauge and
// reads the reply into the reply buffer. False when there is no device list yet.
bool ExchangeCommandPacket(std::uint32_t length = 0);

// Back to the state at load, device list destroyed (tests that need a fresh library).
void ResetLibraryState();

// Process detach: destroys the device list, clears the initialised flag. Safe to call twice.
void DetachProcess();

}  // namespace qx5::api
