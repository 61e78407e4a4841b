// QX5_RECORD=FILE.pcap: the packets as a USB capture in the format of Linux's usbmon (pcap link
// type 220, 64-byte headers), which Wireshark and tshark decode as interrupt transfers. Each
// transfer is a submission and its completion, of the gauge's bus (from its interface path when
// the path tells it, else 1) and a device number per gauge.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "qx5_dll/usb/record/PacketSink.h"
#include "qx5_dll/usb/record/TextRecording.h"

namespace qx5::usb {

class PcapRecording : public PacketSink {
 public:
  // Writes the file header when the file is new or empty; later sessions append their packets.
  PcapRecording(std::string path, ReportFunction report);
  ~PcapRecording() override;
  PcapRecording(const PcapRecording&) = delete;
  PcapRecording& operator=(const PcapRecording&) = delete;

  void gauge(int gauge, const std::string& path) override;
  void identity(int, const std::string&, const std::string&) override {}
  void packet(int gauge, recording::Direction direction, std::uint8_t endpoint,
              const std::uint8_t* bytes, std::size_t count) override;

 private:
  struct Address {
    std::uint16_t bus = 1;
    std::uint8_t device = 1;
  };
  void write(const std::vector<std::uint8_t>& bytes);

  std::mutex mutex_;
  std::string path_;
  ReportFunction report_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::uint64_t nextId_ = 1;
  std::map<int, Address> addresses_;
};

// The bus number a libusb interface path carries ("usb#ids#BUS-PORTS#class"), or 1.
std::uint16_t busOfPath(const std::string& path);

}  // namespace qx5::usb
