#include "qx5cmd/diagnostics/SigFigCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

constexpr std::size_t kRequestSize = 28;
constexpr std::size_t kModeOffset = 8;
constexpr std::size_t kReplyTextOffset = 11;

void putFloat(std::vector<std::uint8_t>& bytes, std::size_t offset, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace

const std::vector<SigFigRow>& sigFigTable() {
  static const std::vector<SigFigRow> kTable = {
      {333.333f, 0.01f, {"     335", "     333", "   333.5"}},
      {87654320.0f, 0.01f, {"87500000", "87700000", "87650000"}},
      {7654321.0f, 0.01f, {" 7650000", " 7650000", " 7655000"}},
      {66.66666f, 0.0002f, {"    66.5", "    66.7", "   66.65"}},
      {6.666666f, 0.0002f, {"    6.65", "    6.67", "   6.665"}},
      {0.666666f, 0.0002f, {"   0.665", "   0.667", "  0.6665"}},
      {0.066666f, 0.0002f, {"  0.0665", "  0.0667", "  0.0667"}},
      {0.006666f, 0.0002f, {"  0.0067", "  0.0067", "  0.0067"}},
      {0.000666f, 0.0002f, {"  0.0007", "  0.0007", "  0.0007"}},
      {0.000066f, 0.0002f, {"  0.0001", "  0.0001", "  0.0001"}},
      {6.666666f, 0.00001f, {"    6.65", "    6.67", "   6.665"}},
      {0.666666f, 0.00001f, {"   0.665", "   0.667", "  0.6665"}},
      {0.066666f, 0.00001f, {"  0.0665", "  0.0667", " 0.06665"}},
      {0.006666f, 0.00001f, {" 0.00665", " 0.00667", " 0.00667"}},
      {0.000666f, 0.00001f, {" 0.00067", " 0.00067", " 0.00067"}},
      {0.000066f, 0.00001f, {" 0.00007", " 0.00007", " 0.00007"}},
      {0.0000066f, 0.00001f, {" 0.00001", " 0.00001", " 0.00001"}},
      {0.00000066f, 0.00001f, {" 0.00000", " 0.00000", " 0.00000"}},
      {6.666666f, 0.000001f, {"    6.65", "    6.67", "   6.665"}},
      {0.666666f, 0.000001f, {"   0.665", "   0.667", "  0.6665"}},
      {0.066666f, 0.000001f, {"  0.0665", "  0.0667", " 0.06665"}},
      {0.0066666f, 0.000001f, {" 0.00665", " 0.00667", "0.006665"}},
      {0.0006666f, 0.000001f, {"0.000665", "0.000667", "0.000667"}},
      {0.0000666f, 0.000001f, {"0.000067", "0.000067", "0.000067"}},
      {0.00000666f, 0.000001f, {"0.000007", "0.000007", "0.000007"}},
      {0.000000666f, 0.000001f, {"0.000001", "0.000001", "0.000001"}},
      {0.0000000666f, 0.000001f, {"0.000000", "0.000000", "0.000000"}},
      {-333.333f, 0.01f, {"    -335", "    -333", "  -333.5"}},
      {-7654321.0f, 0.01f, {"-7650000", "-7650000", "-7655000"}},
      {-87654320.0f, 0.01f, {"--------", "--------", "--------"}},
      {987654336.0f, 0.01f, {"--------", "--------", "--------"}},
      {-0.00000666f, 0.000001f, {"-0.00001", "-0.00001", "-0.00001"}},
      {-0.0000666f, 0.000001f, {"-0.00007", "-0.00007", "-0.00007"}},
  };
  return kTable;
}

std::vector<std::uint8_t> sigFigRequest(float value, float step, int mode) {
  std::vector<std::uint8_t> request(kRequestSize, 0);
  putFloat(request, 0, value);
  putFloat(request, 4, step);
  request[kModeOffset] = static_cast<std::uint8_t>(mode);
  // Two fixed bytes the firmware expects after the mode.
  request[kModeOffset + 1] = 0x01;
  request[kModeOffset + 2] = 0x08;
  return request;
}

std::string sigFigReply(const FirmwareTestOutput& output) {
  const auto begin = output.begin() + kReplyTextOffset;
  return std::string(begin, std::find(begin, output.end(), 0));
}

std::string sigFigLine(int number, const SigFigRow& row,
                       const std::array<std::string, kSigFigModes>& actual) {
  bool pass = true;
  for (int mode = 0; mode < kSigFigModes; ++mode) pass = pass && actual[mode] == row.expected[mode];
  return format("TEST%d, %10.7g, %10.7g, \"%s\", \"%s\", \"%s\", \"%s\", \"%s\", \"%s\", %s\n",
                number, row.value, row.step, row.expected[0], actual[0].c_str(), row.expected[1],
                actual[1].c_str(), row.expected[2], actual[2].c_str(), pass ? "Pass" : "Failed");
}

int& sigFigLineCounter() {
  // Each thread numbers its own lines: gauges run at once (-j) do not share a count.
  thread_local int counter = 0;
  return counter;
}

bool aGetSigFigTest::run() {
  outText(
      "TEST#, value, roundto, expected (SF=2.5), actual (SF=2.5), expected (SF=3), actual "
      "(SF=3), expected (SF=3.5), actual (SF=3.5), result\n");
  for (const SigFigRow& row : sigFigTable()) {
    if (breakRequested()) continue;
    std::array<std::string, kSigFigModes> actual;
    for (int mode = 0; mode < kSigFigModes; ++mode) {
      // A failed call shows as an empty text, which fails the row.
      FirmwareTestOutput output{};
      if (runFirmwareTest(FirmwareTest::SignificantFigures,
                          sigFigRequest(row.value, row.step, mode), output))
        actual[mode] = sigFigReply(output);
    }
    outText(sigFigLine(++sigFigLineCounter(), row, actual).c_str());
  }
  return true;
}

}  // namespace qx5cmd
