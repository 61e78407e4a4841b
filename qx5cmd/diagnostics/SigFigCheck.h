// get_sig_fig: the firmware's significant-figure rounding checked against a fixed table, each
// row in the three rounding modes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "qx5cmd/core/TestRegistry.h"
#include "qx5cmd/diagnostics/FirmwareTestCall.h"

namespace qx5cmd {

inline constexpr int kSigFigModes = 3;  // 2.5, 3 and 3.5 significant figures

struct SigFigRow {
  float value;
  float step;
  // Right-aligned in the gauge's 8-character field; eight dashes when the value does not fit.
  std::array<const char*, kSigFigModes> expected;
};

const std::vector<SigFigRow>& sigFigTable();

// The 28 input bytes for one row in one mode.
std::vector<std::uint8_t> sigFigRequest(float value, float step, int mode);
// The text the gauge sent, from output byte 11 up to its zero or the end of the buffer.
std::string sigFigReply(const FirmwareTestOutput& output);
// One result line, numbered `number`.
std::string sigFigLine(int number, const SigFigRow& row,
                       const std::array<std::string, kSigFigModes>& actual);

// Numbers the result lines across the whole run: a second loop continues where the first ended.
int& sigFigLineCounter();

class aGetSigFigTest : public ClonableTest<aGetSigFigTest> {
 public:
  aGetSigFigTest(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

}  // namespace qx5cmd
