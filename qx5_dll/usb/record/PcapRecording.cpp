#include "qx5_dll/usb/record/PcapRecording.h"

#include <cstring>

namespace qx5::usb {
namespace {

constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;
constexpr std::uint32_t kLinkTypeUsbLinuxMmapped = 220;
constexpr std::uint32_t kSnapLength = 65535;
constexpr std::size_t kUsbmonHeader = 64;
constexpr std::uint8_t kTransferInterrupt = 1;
constexpr std::uint32_t kInCapacity = 64;  // what a read asks of the IN pipe

// Little-endian fields, as the pcap magic written little-endian says every field is.
struct Writer {
  std::vector<std::uint8_t> bytes;
  void u8(std::uint8_t v) { bytes.push_back(v); }
  void u16(std::uint16_t v) { u8(v & 0xFF), u8(v >> 8); }
  void u32(std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
  void u64(std::uint64_t v) { u32(static_cast<std::uint32_t>(v)), u32(v >> 32); }
};

// One usbmon event: its 16-byte pcap record header, 64-byte usbmon header and captured data.
void event(Writer& out, std::uint64_t id, char type, std::uint8_t endpoint, std::uint8_t device,
           std::uint16_t bus, std::uint32_t length, const std::uint8_t* data,
           std::uint32_t captured, std::chrono::microseconds now) {
  const auto seconds = static_cast<std::uint64_t>(now.count() / 1000000);
  const auto micros = static_cast<std::uint32_t>(now.count() % 1000000);
  out.u32(static_cast<std::uint32_t>(seconds));
  out.u32(micros);
  out.u32(static_cast<std::uint32_t>(kUsbmonHeader + captured));
  out.u32(static_cast<std::uint32_t>(kUsbmonHeader + captured));
  out.u64(id);
  out.u8(static_cast<std::uint8_t>(type));
  out.u8(kTransferInterrupt);
  out.u8(endpoint);
  out.u8(device);
  out.u16(bus);
  out.u8('-');                                                                // no setup packet
  out.u8(captured ? 0 : static_cast<std::uint8_t>(type == 'S' ? '<' : '>'));  // data present?
  out.u64(seconds);
  out.u32(micros);
  out.u32(0);  // status
  out.u32(length);
  out.u32(captured);
  out.u64(0);  // setup bytes
  out.u32(1);  // interval (ms)
  out.u32(0);  // start frame
  out.u32(0);  // transfer flags
  out.u32(0);  // iso descriptors
  out.bytes.insert(out.bytes.end(), data, data + captured);
}

}  // namespace

std::uint16_t busOfPath(const std::string& path) {
  const auto first = path.find('#');
  const auto second = first == std::string::npos ? first : path.find('#', first + 1);
  if (second == std::string::npos) return 1;
  unsigned bus = 0;
  std::size_t i = second + 1;
  for (; i < path.size() && path[i] >= '0' && path[i] <= '9' && bus < 65536; ++i)
    bus = bus * 10 + static_cast<unsigned>(path[i] - '0');
  const bool numbered = i > second + 1 && i < path.size() && path[i] == '-';
  return numbered && bus > 0 && bus < 65536 ? static_cast<std::uint16_t>(bus) : 1;
}

PcapRecording::PcapRecording(std::string path, ReportFunction report)
    : path_(std::move(path)), report_(std::move(report)) {
  file_ = std::fopen(path_.c_str(), "ab");
  // Append mode may start at 0 whatever the file holds: ask its end.
  if (file_ && std::fseek(file_, 0, SEEK_END) == 0 && std::ftell(file_) == 0) {
    Writer header;
    header.u32(kPcapMagic);
    header.u16(2);
    header.u16(4);
    header.u32(0);  // time zone
    header.u32(0);  // accuracy
    header.u32(kSnapLength);
    header.u32(kLinkTypeUsbLinuxMmapped);
    write(header.bytes);
  } else if (!file_) {
    write({});
  }
}

PcapRecording::~PcapRecording() {
  if (file_) std::fclose(file_);
}

void PcapRecording::write(const std::vector<std::uint8_t>& bytes) {
  if (failed_) return;
  if (file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() &&
      std::fflush(file_) == 0)
    return;
  failed_ = true;
  if (report_) report_("QX5_RECORD=" + path_ + ": cannot be written; recording stopped");
}

void PcapRecording::gauge(int gauge, const std::string& path) {
  std::lock_guard lock(mutex_);
  addresses_[gauge] = Address{busOfPath(path), static_cast<std::uint8_t>(gauge % 127 + 1)};
}

void PcapRecording::packet(int gauge, recording::Direction direction, std::uint8_t endpoint,
                           const std::uint8_t* bytes, std::size_t count) {
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  const auto length = static_cast<std::uint32_t>(count);
  std::lock_guard lock(mutex_);
  const Address address = addresses_[gauge];
  const std::uint64_t id = nextId_++;
  Writer out;
  if (direction == recording::Direction::ToGauge) {
    event(out, id, 'S', endpoint, address.device, address.bus, length, bytes, length, now);
    event(out, id, 'C', endpoint, address.device, address.bus, length, nullptr, 0, now);
  } else {
    event(out, id, 'S', endpoint, address.device, address.bus, kInCapacity, nullptr, 0, now);
    event(out, id, 'C', endpoint, address.device, address.bus, length, bytes, length, now);
  }
  write(out.bytes);
}

}  // namespace qx5::usb
