#include "qx5_dll/api/LibraryState.h"

#include <cstring>
#include <new>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/mchpusb.h"

namespace qx5::api {

namespace {
constinit LibraryState state;
}  // namespace

LibraryState& library() { return state; }

namespace {
// Never destroyed, as an export may still run from another static's destructor at exit; and
// not on the heap, as the library may be unloaded and loaded again.
std::recursive_mutex& exportMutex() {
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex* mutex = new (storage) std::recursive_mutex;
  return *mutex;
}
}  // namespace

ExportLock::ExportLock() { exportMutex().lock(); }
ExportLock::~ExportLock() { exportMutex().unlock(); }

void ResetPacketBuffers() {
  state.replyCount = packet::kBufferSize;
  state.commandBufferSize = packet::kBufferSize;
  std::memset(state.replyBuffer, 0, sizeof state.replyBuffer);
  std::memset(state.commandBuffer, 0, sizeof state.commandBuffer);
}

void PrepareCommandPacket(std::uint8_t command) {
  std::uint8_t* b = state.commandBuffer;
  b[packet::kMarkerOffset] = packet::kMarker;
  b[packet::kLengthOffset] = packet::kDefaultLength;
  b[2] = packet::kFixed2;
  b[3] = packet::kFixed3;
  b[4] = packet::kFixed4;
  b[packet::kParamLengthOffset] = packet::kDefaultParamLength;
  b[packet::kCommandOffset] = command;
}

void InitializeVariables() {
  state.maxDevice = 0;
  state.maxRange = 0;
  state.currentPort = 0;
  state.autoZero = false;
}

bool ExchangeCommandPacket(std::uint32_t length) {
  if (!state.deviceList) return false;
  if (length == 0) length = state.commandBuffer[packet::kLengthOffset];
  // The buffer holds 64 bytes whatever a length byte claims.
  if (length > sizeof state.commandBuffer) length = sizeof state.commandBuffer;
  state.replyCount = sizeof state.replyBuffer;
  return state.deviceList->SendReceivePacket(state.commandBuffer, static_cast<int>(length),
                                             state.replyBuffer, state.replyCount);
}

void ResetLibraryState() {
  delete state.deviceList;
  state = LibraryState{};
}

void DetachProcess() {
  static bool detached = false;
  if (detached) return;
  detached = true;
  LogPrint(4, "DLLMain:DLL_PROCESS_DETACH");
  delete state.deviceList;
  state.deviceList = nullptr;
  state.initialised = false;
}

}  // namespace qx5::api
