// Goto: hands the gauge a room pressure target and watches its own fan controller reach it,
// reporting the error poll by poll, the controller's update period, and the steady-state error
// once the pressure has held within the accuracy for the duration. Every run leaves a CSV file
// and a chart of what it saw.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// The optional arguments of Goto. One set is remembered for the whole command line: each Goto
// starts from it and every optional value given replaces the remembered one too.
struct GotoSettings {
  float accuracy = 2.0f;         // kPa
  float duration = 30.0f;        // seconds within accuracy before sampling
  float maxWait = 5.0f;          // minutes; 0 or less waits for ever
  float sampleDuration = 20.0f;  // seconds
};

// Back to a fresh process: the default remembered set, and no pressure export chosen yet.
void resetGotoProcessState();

// Firmware before 2.3 lacks the one-exchange pressure read and the percent fan reading.
bool isOldFirmware(const std::string& version);

class aGoto : public aTest {
 public:
  aGoto(const char* name, const char* description);

  bool bind() override;
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override;
  std::unique_ptr<aTest> clone() const override;

  float pressure() const { return pressure_; }
  const GotoSettings& settings() const { return settings_; }
  int durationMs() const { return durationMs_; }
  int maxWaitMs() const { return maxWaitMs_; }

 protected:
  void copyParsedState(const aTest& original) override;

 private:
  struct Run;

  QX5GetPressure* pressureReader();
  QX5GetFloat* fanReader();
  // One poll; empty while the run goes on, else its result.
  std::optional<bool> poll(Run& state);
  bool finish(const Run& state);

  float pressure_ = 0.0f;
  GotoSettings settings_;
  int durationMs_ = 0;
  int maxWaitMs_ = 0;
};

}  // namespace qx5cmd
