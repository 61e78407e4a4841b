// QX5SIM_TRACE: one line per packet on the wire, appended to a file, e.g.
// "> sim0 38 24 01 01 0b 1e 00 1e ..." written to the gauge, "< sim0 ..." read from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace qx5::sim {

std::string traceLine(char direction, const std::string& gauge, const std::uint8_t* bytes,
                      std::size_t count);

class Trace {
 public:
  explicit Trace(std::string path) : path_(std::move(path)) {}
  bool enabled() const { return !path_.empty(); }
  // Opens, appends and closes, so several processes can share one trace file; lines from
  // several threads stay whole.
  void record(char direction, const std::string& gauge, const std::uint8_t* bytes,
              std::size_t count) const;

 private:
  std::string path_;
  mutable std::mutex mutex_;
};

}  // namespace qx5::sim
