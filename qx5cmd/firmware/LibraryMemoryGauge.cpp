#include <algorithm>
#include <array>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/firmware/MemoryGauge.h"
#include "qx5cmd/firmware/ShowOnGauge.h"

namespace qx5cmd {
namespace {

// The most one memory packet carries; the tools never ask for more.
constexpr std::uint32_t kMaxTransfer = 48;

}  // namespace

// The binding is looked up at each call: tests are made before the library is loaded, and a
// worker's copy of a test runs with the worker's binding.

bool LibraryMemoryGauge::upload(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) {
  auto& wrapper = binding().UploadMemory;
  return wrapper && count <= kMaxTransfer && wrapper->call(address, count, buffer);
}

bool LibraryMemoryGauge::download(std::uint32_t address, std::uint32_t count,
                                  const std::uint8_t* buffer) {
  auto& wrapper = binding().DownloadMemory;
  if (!wrapper || count > kMaxTransfer) return false;
  // The export takes a writable buffer; it never gets the caller's image itself.
  std::array<std::uint8_t, kMaxTransfer> copy{};
  std::copy_n(buffer, count, copy.begin());
  return wrapper->call(address, count, copy.data());
}

bool LibraryMemoryGauge::erase(std::uint32_t address, std::uint32_t length) {
  auto& wrapper = binding().EraseMemory;
  return wrapper && wrapper->call(address, length);
}

bool LibraryMemoryGauge::doBoot(std::uint8_t mode) {
  auto& wrapper = binding().DoBoot;
  return wrapper && wrapper->call(mode);
}

std::string LibraryMemoryGauge::firmwareVersion() {
  auto& wrapper = binding().GetQX5FirmwareVersion;
  return wrapper ? wrapper->call() : std::string();
}

std::string LibraryMemoryGauge::errorMessage() {
  auto& wrapper = binding().GetErrorMessage;
  return wrapper ? wrapper->call() : std::string();
}

int LibraryMemoryGauge::serialNumber() {
  auto& wrapper = binding().GetSerialNumber;
  return wrapper ? wrapper->call() : -1;
}

int LibraryMemoryGauge::chipset() {
  auto& wrapper = binding().GetChipset;
  return wrapper ? wrapper->call() : -1;
}

bool LibraryMemoryGauge::show(int line, const std::string& text) {
  return showOnGauge(binding().RunTest.get(), line, text);
}

}  // namespace qx5cmd
