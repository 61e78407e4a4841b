// What the memory tools need of a gauge: its memory exports, the boot switch, its version and
// identity, and its display. The library stands behind it in the tester; a model can stand in
// for it where the tools are checked on their own.
#pragma once

#include <cstdint>
#include <string>

namespace qx5cmd {

class MemoryGauge {
 public:
  virtual ~MemoryGauge() = default;

  // At most 48 bytes each; a missing export counts as a failed call.
  virtual bool upload(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) = 0;
  virtual bool download(std::uint32_t address, std::uint32_t count, const std::uint8_t* buffer) = 0;
  // At most 2048 bytes.
  virtual bool erase(std::uint32_t address, std::uint32_t length) = 0;
  // 0 restarts the gauge into its bootloader, 1 starts the application.
  virtual bool doBoot(std::uint8_t mode) = 0;
  // Empty when the gauge did not answer.
  virtual std::string firmwareVersion() = 0;
  // The library's error text; empty when there is none or the library cannot give it.
  virtual std::string errorMessage() = 0;
  virtual int serialNumber() = 0;  // -1 when it failed
  virtual int chipset() = 0;       // -1 when it failed
  // Line 1 or 2 of the display.
  virtual bool show(int line, const std::string& text) = 0;
};

// The calling thread's gauge through its binding's timed wrappers: the selected gauge, or on a
// worker (-j) the worker's own gauge, whose binding calls the exports' twins with its handle.
class LibraryMemoryGauge : public MemoryGauge {
 public:
  bool upload(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) override;
  bool download(std::uint32_t address, std::uint32_t count, const std::uint8_t* buffer) override;
  bool erase(std::uint32_t address, std::uint32_t length) override;
  bool doBoot(std::uint8_t mode) override;
  std::string firmwareVersion() override;
  std::string errorMessage() override;
  int serialNumber() override;
  int chipset() override;
  bool show(int line, const std::string& text) override;
};

}  // namespace qx5cmd
