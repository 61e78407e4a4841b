// Takes a fuzz input apart front to back; reads past its end give zeros and empty spans, so a
// target never has to check how much is left.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx5::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return value;
  }
  std::vector<std::uint8_t> bytes(std::size_t count) {
    const std::size_t n = std::min(count, size_ - std::min(at_, size_));
    std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }
  std::vector<std::uint8_t> rest() { return bytes(size_); }
  std::string restAsText() {
    const std::vector<std::uint8_t> all = rest();
    return std::string(all.begin(), all.end());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace qx5::fuzz
