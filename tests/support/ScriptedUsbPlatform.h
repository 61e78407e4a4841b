// A USB platform double whose reads answer from a script, one entry per read (an empty script
// reads as a timeout); writes succeed unless scripted to fail; every transfer is recorded in
// order. The other calls reach the empty bus.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/UsbPlatform.h"
#include "support/ForwardingUsbPlatform.h"

namespace qx5::test {

class ScriptedUsbPlatform : public ForwardingUsbPlatform {
 public:
  struct Read {
    bool ok = true;
    std::vector<std::uint8_t> data;
    int error = 0;
    std::optional<std::uint32_t> claimedCount;  // a count the binding reports instead
  };
  struct Write {
    std::uint8_t pipeId;
    std::vector<std::uint8_t> data;
  };

  // A reply of `size` bytes echoing `command` at offset 7 (zeros elsewhere).
  static std::vector<std::uint8_t> echoReply(std::uint8_t command, std::size_t size = 8) {
    std::vector<std::uint8_t> reply(size, 0);
    if (size > 7) reply[7] = command;
    return reply;
  }

  void queueReply(std::vector<std::uint8_t> data) {
    Read read;
    read.data = std::move(data);
    script_.push_back(std::move(read));
  }
  void queueFailure(int code) {
    Read read;
    read.ok = false;
    read.error = code;
    script_.push_back(std::move(read));
  }
  void queueRead(Read read) { script_.push_back(std::move(read)); }
  void failNextWrite(int code) { writeFailure_ = code; }
  std::size_t unreadReplies() const { return script_.size(); }

  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    calls.push_back("write " + std::to_string(length));
    writes.push_back({pipeId, std::vector<std::uint8_t>(data, data + length)});
    lastInterface = iface;
    written = 0;
    if (writeFailure_) {
      const int code = *writeFailure_;
      writeFailure_.reset();
      return fail(code);
    }
    written = length;
    return true;
  }

  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    calls.push_back("read " + std::to_string(capacity));
    readPipes.push_back(pipeId);
    lastInterface = iface;
    received = 0;
    if (script_.empty()) return fail(platform::kErrorTimeout);
    Read read = std::move(script_.front());
    script_.pop_front();
    if (!read.ok) return fail(read.error);
    const std::size_t n = std::min<std::size_t>(read.data.size(), capacity);
    if (n) std::memcpy(buffer, read.data.data(), n);
    received = read.claimedCount.value_or(static_cast<std::uint32_t>(n));
    return true;
  }

  std::vector<std::string> calls;  // "write 36", "read 64", ... in call order
  std::vector<Write> writes;
  std::vector<std::uint8_t> readPipes;
  InterfaceHandle lastInterface = kInvalidInterfaceHandle;

 private:
  std::deque<Read> script_;
  std::optional<int> writeFailure_;
};

}  // namespace qx5::test
