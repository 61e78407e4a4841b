// The per-mille figure shown while memory moves to or from a gauge. It is printed before each
// block and then backspaced over, so the next figure overwrites it in place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qx5cmd {

enum class TransferKind : std::uint8_t { erase = 0, read = 1, write = 2 };

class ProgressMeter {
 public:
  // Receives each piece of console text; the default writes standard output and flushes it.
  using Sink = std::function<void(const std::string&)>;

  ProgressMeter();
  explicit ProgressMeter(Sink sink) : sink_(std::move(sink)) {}

  // Starts an operation whose blocks of `kind` will count towards `expected` bytes.
  void reset(TransferKind kind, std::uint32_t expected);
  // Before each block: shows the progress so far, then counts the block.
  void update(TransferKind kind, std::uint32_t address, std::uint32_t count);

  std::uint32_t counted() const { return counted_; }
  std::uint32_t expected() const { return expected_; }

 private:
  static constexpr std::uint8_t kNoKind = 255;
  // An address no real block follows, so the first block always redraws.
  static constexpr std::uint32_t kNoAddress = 1234;

  Sink sink_;
  std::uint8_t lastKind_ = kNoKind;
  std::uint32_t nextAddress_ = kNoAddress;
  std::uint32_t expected_ = 0;
  std::uint32_t counted_ = 0;
  std::int16_t lastShown_ = -1;
  std::uint8_t countedKind_ = kNoKind;
};

}  // namespace qx5cmd
