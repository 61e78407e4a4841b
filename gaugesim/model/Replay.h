// A simulated gauge answering from a recording: a request is matched by its bytes, its recorded
// replies are served in order and the last one repeats. A request never recorded is named in the
// log with the nearest recorded one, then left to the model or, strict, to silence.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/RecordingReader.h"

namespace qx5::sim {

struct ReplayOptions {
  bool strict = false;    // QX5SIM_REPLAY=strict: the model never answers
  bool realtime = false;  // QX5SIM_REPLAY=realtime: replies take as long as they took
  std::function<void(const std::string&)> log;
};

class Replay {
 public:
  Replay(recording::RecordedGauge recorded, ReplayOptions options);

  // The recorded response to `packet`, or nothing for a request the recording lacks (logged
  // under `gaugeName`).
  std::optional<Response> answer(const std::string& gaugeName, const std::uint8_t* packet,
                                 std::size_t length, TimePoint now);
  bool strict() const { return options_.strict; }
  const recording::RecordedGauge& recorded() const { return recorded_; }

 private:
  struct Served {
    std::vector<std::size_t> exchanges;  // every recorded occurrence of the request
    std::size_t next = 0;
  };
  void reportUnknown(const std::string& gaugeName, const std::vector<std::uint8_t>& request) const;

  recording::RecordedGauge recorded_;
  ReplayOptions options_;
  std::map<std::vector<std::uint8_t>, Served> byRequest_;
};

// "38 24 01 ...", as the recording spells bytes.
std::string hexBytes(const std::vector<std::uint8_t>& bytes);

// The gauge a recorded one stands for: its identity as recorded, its interface path, and the
// replay in front of its model.
std::shared_ptr<Gauge> replayedGauge(const recording::RecordedGauge& recorded, GaugeConfig config,
                                     const ReplayOptions& options, ClockSource clock);

}  // namespace qx5::sim
