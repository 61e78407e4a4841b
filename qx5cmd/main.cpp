// qx5cmd: exercises every attached gauge through the gauge library.
#include <string>
#include <vector>

#include "qx5cmd/core/Program.h"
#include "qx5cmd/diagnostics/Registration.h"
#include "qx5cmd/exercises/Registration.h"
#include "qx5cmd/firmware/Registration.h"

int main(int argc, char** argv) {
  std::vector<std::string> words(argv, argv + argc);
  // The registration steps, in the order the tests appear in the usage text.
  return qx5cmd::runProgram(words,
                            {qx5cmd::registerMeasurementTests, qx5cmd::registerFirmwareTests,
                             qx5cmd::registerDiagnosticTests});
}
