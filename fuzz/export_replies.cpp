// The library's decoding of every export's reply. A simulated gauge answers each packet, and the
// input decides what the library receives instead: the reply, the reply with bytes changed or
// cut short, bytes of its own of any length, a count larger than the buffer, a timeout or an
// error. Whatever arrives, an export must neither crash nor read past its buffers.
#include <cstdlib>
#include <optional>

#include "FuzzInput.h"
#include "api/ExportCalls.h"
#include "gaugesim/files/Environment.h"
#include "gaugesim/model/Gauge.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/Packet.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "support/ForwardingUsbPlatform.h"

namespace {

using qx5::fuzz::FuzzInput;

class FuzzedReplies : public qx5::test::ForwardingUsbPlatform {
 public:
  explicit FuzzedReplies(std::unique_ptr<qx5::sim::SimulatedUsbPlatform> simulated)
      : ForwardingUsbPlatform(std::move(simulated)) {}

  // The gauge answers at once, whatever its timing; its reply waits for the next read.
  bool writePipe(qx5::InterfaceHandle, std::uint8_t, const std::uint8_t* data, std::uint32_t length,
                 std::uint32_t& written) override {
    written = 0;
    if (!data || length == 0 || length > qx5::packet::kBufferSize)
      return fail(qx5::platform::kErrorIo);
    if (script && script->byte() % 16 == 0) return fail(qx5::platform::kErrorIo);
    std::vector<std::uint8_t> reply(qx5::packet::kBufferSize);
    reply.resize(gauge->handle(data, length, reply.data(), reply.size()));
    pending = reply.empty() ? std::nullopt : std::optional(std::move(reply));
    written = length;
    return true;
  }

  bool readPipe(qx5::InterfaceHandle, std::uint8_t, std::uint8_t* buffer, std::uint32_t capacity,
                std::uint32_t& received) override {
    received = 0;
    std::optional<std::vector<std::uint8_t>> reply = std::move(pending);
    pending.reset();
    const std::uint8_t mode = script ? script->byte() % 8 : 0;
    std::uint32_t claimed = 0;
    switch (mode) {
      case 1:  // bytes changed
        if (reply) {
          const std::size_t at = script->byte() % reply->size();
          for (std::uint8_t b : script->bytes(script->byte() % 16))
            if (at < reply->size()) (*reply)[at] = b;
        }
        break;
      case 2:  // cut short
        if (reply) reply->resize(script->byte() % (reply->size() + 1));
        break;
      case 3:  // bytes of its own, up to more than a packet
        reply = script->bytes(script->byte() % 80);
        break;
      case 4:
        return fail(qx5::platform::kErrorTimeout);
      case 5:
        return fail(qx5::platform::kErrorNoDevice);
      case 6:  // a binding that claims more than it could have delivered
        claimed = capacity + 1 + script->byte();
        break;
      default:
        break;
    }
    if (!reply) return fail(qx5::platform::kErrorTimeout);
    received = static_cast<std::uint32_t>(std::min<std::size_t>(reply->size(), capacity));
    std::copy_n(reply->begin(), received, buffer);
    if (claimed) received = claimed;
    return true;
  }

  std::shared_ptr<qx5::sim::Gauge> gauge;
  FuzzInput* script = nullptr;  // null: every packet answered as the gauge answers it

 private:
  std::optional<std::vector<std::uint8_t>> pending;
};

FuzzedReplies* platform = nullptr;
std::vector<std::uint8_t> freshGauge;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qx5::setGuardedFileName("no-such-library-for-fuzzing");
  qx5::setUsbPlatformFactory([] {
    auto simulated = std::make_unique<qx5::sim::SimulatedUsbPlatform>(
        std::make_unique<qx5::sim::Environment>(1));
    qx5::sim::SimulatedUsbPlatform* sim = simulated.get();
    auto fuzzed = std::make_unique<FuzzedReplies>(std::move(simulated));
    sim->beginEnumeration();
    sim->endEnumeration();
    fuzzed->gauge = sim->gauge("sim0");
    platform = fuzzed.get();
    return fuzzed;
  });
  if (GetDeviceCount() != 1 || !UsbPort(0) || !platform || !platform->gauge) std::abort();
  freshGauge = platform->gauge->snapshot();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const auto& calls = qx5::test::exportCalls();
  const qx5::test::ExportCall& call = calls[input.byte() % calls.size()];
  platform->gauge->restore(freshGauge);
  UsbPort(0);
  platform->script = &input;
  call.call();
  platform->script = nullptr;
  SysFreeString(GetErrorMessage());
  return 0;
}
