// One simulated gauge on a USB bus that umockdev emulates: sysfs and udev describe it, and its
// device node answers the kernel's usbfs requests (claim, driver detach, interrupt URBs, halt,
// discard) from the simulated gauge's own packet handler. The real libusb runs unchanged on top,
// in this process or in a child given environment() (e.g. qx5cmd).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gaugesim/model/Gauge.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;
typedef struct _GMainLoop GMainLoop;

namespace qx5::test {

// True when umockdev's preload library is loaded; otherwise re-runs the program with it (and
// returns false only if that failed).
bool runUnderUmockdev(char** argv);

class UsbGaugeTestbed {
 public:
  static constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";

  explicit UsbGaugeTestbed(bool kernelDriverBound = true);
  ~UsbGaugeTestbed();
  UsbGaugeTestbed(const UsbGaugeTestbed&) = delete;
  UsbGaugeTestbed& operator=(const UsbGaugeTestbed&) = delete;

  // "UMOCKDEV_DIR=... LD_PRELOAD=..." for a child process that should see this bus.
  std::string environment() const;

  // Reads stay pending (until libusb cancels them at its timeout) while silenced.
  void silence(bool on);
  // The next read ends with a stalled endpoint.
  void stallNextRead();
  // The gauge leaves the bus: pending transfers end with "no device", later requests fail.
  void unplug();

  struct Seen {
    bool driverDetached = false;
    bool driverReattached = false;
    bool claimed = false;
    int haltsCleared = 0;
    int packetsOut = 0;
    int readsCancelled = 0;
  };
  Seen seen() const;

 private:
  struct Urb {
    UMockdevIoctlData* urb;           // the caller's usbdevfs_urb (owned reference)
    UMockdevIoctlData* buffer;        // its data buffer (owned reference)
    std::vector<std::uint8_t> reply;  // what an IN transfer delivers when reaped
  };
  static int onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
  void handle(UMockdevIoctlClient* client);
  void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void finish(Urb done, int status, const std::vector<std::uint8_t>& data = {});
  void answerReads();

  mutable std::mutex mutex_;
  sim::Gauge gauge_;
  UMockdevTestbed* testbed_ = nullptr;
  UMockdevIoctlBase* handler_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread loopThread_;
  bool driverBound_;
  bool silent_ = false;
  bool stallNext_ = false;
  bool gone_ = false;
  Seen seen_;
  std::deque<std::vector<std::uint8_t>> replies_;
  std::deque<Urb> reads_;      // IN URBs waiting for a reply
  std::deque<Urb> completed_;  // URBs the caller has yet to reap
};

}  // namespace qx5::test
