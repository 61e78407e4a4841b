#include "gaugesim/model/Replay.h"

#include <algorithm>

namespace qx5::sim {

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

namespace {

// Bytes that differ, counting a length difference as that many bytes.
std::size_t distance(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t differ = std::max(a.size(), b.size()) - common;
  for (std::size_t i = 0; i < common; ++i) differ += a[i] != b[i];
  return differ;
}

}  // namespace

Replay::Replay(recording::RecordedGauge recorded, ReplayOptions options)
    : recorded_(std::move(recorded)), options_(std::move(options)) {
  for (std::size_t i = 0; i < recorded_.exchanges.size(); ++i)
    byRequest_[recorded_.exchanges[i].request.bytes].exchanges.push_back(i);
}

std::optional<Response> Replay::answer(const std::string& gaugeName, const std::uint8_t* packet,
                                       std::size_t length, TimePoint now) {
  const std::vector<std::uint8_t> request(packet, packet + length);
  const auto found = byRequest_.find(request);
  if (found == byRequest_.end()) {
    reportUnknown(gaugeName, request);
    return std::nullopt;
  }
  Served& served = found->second;
  const recording::RecordedExchange& exchange = recorded_.exchanges[served.exchanges[served.next]];
  if (served.next + 1 < served.exchanges.size()) ++served.next;  // the last one repeats
  Response response;
  response.readyAt = now;
  if (!exchange.reply) return response;  // recorded without a reply: none comes
  response.replies = true;
  response.bytes = exchange.reply->bytes;
  if (options_.realtime && exchange.reply->ms > exchange.request.ms)
    response.readyAt += std::chrono::milliseconds(exchange.reply->ms - exchange.request.ms);
  return response;
}

void Replay::reportUnknown(const std::string& gaugeName,
                           const std::vector<std::uint8_t>& request) const {
  if (!options_.log) return;
  std::string message =
      "replay " + gaugeName + ": request " + hexBytes(request) + " is not in the recording; ";
  message += options_.strict ? "no reply (strict)" : "the model answers";
  const std::vector<std::uint8_t>* nearest = nullptr;
  std::size_t best = 0;
  for (const auto& [recorded, served] : byRequest_) {
    const std::size_t d = distance(recorded, request);
    if (!nearest || d < best) nearest = &recorded, best = d;
  }
  if (nearest)
    message +=
        "; nearest recorded request " + hexBytes(*nearest) + " (" +
        (best == 1 ? std::string("1 byte differs") : std::to_string(best) + " bytes differ") + ")";
  options_.log(message);
}

std::shared_ptr<Gauge> replayedGauge(const recording::RecordedGauge& recorded, GaugeConfig config,
                                     const ReplayOptions& options, ClockSource clock) {
  if (recorded.serial) config.serial = *recorded.serial;
  if (recorded.firmware) config.firmware = *recorded.firmware;
  if (recorded.chipset) config.chipset = *recorded.chipset;
  auto gauge = std::make_shared<Gauge>(std::move(config), std::move(clock));
  gauge->setReplay(std::make_shared<Replay>(recorded, options));
  return gauge;
}

}  // namespace qx5::sim
