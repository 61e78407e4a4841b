#include "qx5cmd/diagnostics/FirmwareTestCall.h"

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"

namespace qx5cmd {

bool runFirmwareTest(FirmwareTest test, std::vector<std::uint8_t> input,
                     FirmwareTestOutput& output) {
  QX5RunTest* runTest = binding().RunTest.get();
  if (!runTest) return false;
  // The library overwrites the length with what the gauge sent; it starts as the room we have.
  std::uint32_t length = kFirmwareTestOutputSize;
  return runTest->call(static_cast<std::uint32_t>(test), static_cast<std::uint32_t>(input.size()),
                       input.empty() ? nullptr : input.data(), &length, output.data());
}

std::uint16_t u16At(const FirmwareTestOutput& output, std::size_t offset) {
  if (offset + 1 >= output.size()) return 0;
  return static_cast<std::uint16_t>(output[offset] | output[offset + 1] << 8);
}

}  // namespace qx5cmd
