// qx5cmd's command line: any words (one per line of the input) against the real test registry.
// Parsing may refuse, never crash; what it accepts must stay within the option ranges.
#include <cstdlib>
#include <sstream>

#include "FuzzInput.h"
#include "qx5cmd/core/CommandLine.h"
#include "qx5cmd/diagnostics/Registration.h"
#include "qx5cmd/exercises/Registration.h"

namespace {
qx5cmd::TestRegistry* registry = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  registry = new qx5cmd::TestRegistry;
  qx5cmd::registerMeasurementTests(*registry);
  qx5cmd::registerDiagnosticTests(*registry);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx5::fuzz::FuzzInput input(data, size);
  std::istringstream text(input.restAsText());
  std::vector<std::string> words{"qx5cmd"};
  for (std::string word; words.size() < 64 && std::getline(text, word);) words.push_back(word);
  qx5cmd::Session session;
  qx5cmd::RunList runList;
  const auto status = qx5cmd::parseCommandLine(words, *registry, session, runList);
  (void)status;
  for (const auto& test : runList)
    if (!test) std::abort();
  return 0;
}
