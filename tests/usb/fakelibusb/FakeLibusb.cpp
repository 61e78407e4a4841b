// A stand-in for libusb-1.0 that the libusb binding loads by file name: gauges on bus 1, one
// per port, that answer the identification query. Interface claims follow the kernel's rule
// (one claim per interface across all handles, dropped when a handle closes), so a binding
// that keeps a claim too long shows up as a busy gauge. A stalled endpoint stays halted until
// libusb_clear_halt, as on a real device; built with FAKEUSB_WITHOUT_CLEAR_HALT it stands for a
// libusb that lacks that function. Controlled through FakeUsb* below.
#include <libusb.h>

#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

struct libusb_device {
  int port = 0;
  bool present = true;
  bool vanished = false;  // unplugged while open: every call on it fails
  libusb_device_handle* claimedBy = nullptr;
  std::deque<std::vector<unsigned char>> replies;
  std::set<unsigned char> halted;  // endpoints that answer every transfer with a stall
};

struct libusb_device_handle {
  libusb_device* device = nullptr;
};

namespace {

std::map<int, std::unique_ptr<libusb_device>> gDevices;  // by port; never freed while loaded
std::vector<libusb_device*> gAttached;                   // enumeration order
int gOpenHandles = 0;
int gContext = 0;
unsigned gLastTimeout = 0;

libusb_endpoint_descriptor gEndpoints[2] = {
    {LIBUSB_DT_ENDPOINT_SIZE, LIBUSB_DT_ENDPOINT, 0x81, LIBUSB_TRANSFER_TYPE_INTERRUPT, 64, 1, 0, 0,
     nullptr, 0},
    {LIBUSB_DT_ENDPOINT_SIZE, LIBUSB_DT_ENDPOINT, 0x01, LIBUSB_TRANSFER_TYPE_INTERRUPT, 64, 1, 0, 0,
     nullptr, 0},
};
libusb_interface_descriptor gAltSetting = {LIBUSB_DT_INTERFACE_SIZE,
                                           LIBUSB_DT_INTERFACE,
                                           0,
                                           0,
                                           2,
                                           LIBUSB_CLASS_VENDOR_SPEC,
                                           0,
                                           0,
                                           0,
                                           gEndpoints,
                                           nullptr,
                                           0};
libusb_interface gInterface = {&gAltSetting, 1};
libusb_config_descriptor gConfig = {LIBUSB_DT_CONFIG_SIZE, LIBUSB_DT_CONFIG, 0, 1, 1, 0, 0x80, 50,
                                    &gInterface,           nullptr,          0};

bool gone(const libusb_device* device) { return !device->present || device->vanished; }

}  // namespace

extern "C" {

// ---- control ----

// Attaches gauges on the given ports of bus 1, in this enumeration order, as if plugged in anew;
// others are unplugged.
void FakeUsbAttach(const int* ports, int count) {
  for (auto& [port, device] : gDevices) device->present = false;
  gAttached.clear();
  for (int i = 0; i < count; ++i) {
    auto& device = gDevices[ports[i]];
    if (!device) device = std::make_unique<libusb_device>();
    device->port = ports[i];
    device->present = true;
    device->vanished = false;
    device->halted.clear();
    device->replies.clear();
    gAttached.push_back(device.get());
  }
}
// The gauge on `port` goes away: its transfers fail with LIBUSB_ERROR_NO_DEVICE.
void FakeUsbVanish(int port) {
  if (auto it = gDevices.find(port); it != gDevices.end()) it->second->vanished = true;
}
int FakeUsbOpenHandles() { return gOpenHandles; }
// The gauge on `port` stalls `endpoint`: it stays halted until the host clears the halt.
void FakeUsbStall(int port, unsigned char endpoint) {
  if (auto it = gDevices.find(port); it != gDevices.end()) it->second->halted.insert(endpoint);
}
// The timeout the last interrupt transfer was given (0 waits forever in libusb).
unsigned FakeUsbLastTimeout() { return gLastTimeout; }
// The gauge on `port` sends a reply of `length` bytes to the next IN transfer.
void FakeUsbQueueReply(int port, int length) {
  if (auto it = gDevices.find(port); it != gDevices.end())
    it->second->replies.emplace_back(static_cast<std::size_t>(length), 0x5A);
}

// ---- libusb ----

int libusb_init(libusb_context** context) {
  *context = reinterpret_cast<libusb_context*>(&gContext);
  return 0;
}
void libusb_exit(libusb_context*) {}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  *list = new libusb_device*[gAttached.size() + 1];
  for (std::size_t i = 0; i < gAttached.size(); ++i) (*list)[i] = gAttached[i];
  (*list)[gAttached.size()] = nullptr;
  return static_cast<ssize_t>(gAttached.size());
}
void libusb_free_device_list(libusb_device** list, int) { delete[] list; }

int libusb_get_device_descriptor(libusb_device*, libusb_device_descriptor* descriptor) {
  std::memset(descriptor, 0, sizeof *descriptor);
  descriptor->idVendor = 0x04D8;
  descriptor->idProduct = 0x000C;
  descriptor->bNumConfigurations = 1;
  return 0;
}
uint8_t libusb_get_bus_number(libusb_device*) { return 1; }
int libusb_get_port_numbers(libusb_device* device, uint8_t* ports, int length) {
  if (length < 1) return LIBUSB_ERROR_OVERFLOW;
  ports[0] = static_cast<uint8_t>(device->port);
  return 1;
}
int libusb_get_device_speed(libusb_device*) { return LIBUSB_SPEED_FULL; }

int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  if (gone(device)) return LIBUSB_ERROR_NO_DEVICE;
  *handle = new libusb_device_handle{device};
  ++gOpenHandles;
  return 0;
}
void libusb_close(libusb_device_handle* handle) {
  if (!handle) return;
  if (handle->device->claimedBy == handle) handle->device->claimedBy = nullptr;
  delete handle;
  --gOpenHandles;
}
libusb_device* libusb_get_device(libusb_device_handle* handle) { return handle->device; }

int libusb_get_active_config_descriptor(libusb_device* device, libusb_config_descriptor** config) {
  if (gone(device)) return LIBUSB_ERROR_NO_DEVICE;
  *config = &gConfig;
  return 0;
}
void libusb_free_config_descriptor(libusb_config_descriptor*) {}

#ifndef FAKEUSB_WITHOUT_CLEAR_HALT
int libusb_clear_halt(libusb_device_handle* handle, unsigned char endpoint) {
  if (gone(handle->device)) return LIBUSB_ERROR_NO_DEVICE;
  handle->device->halted.erase(endpoint);
  return 0;
}
#endif

int libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int) { return 0; }

int libusb_claim_interface(libusb_device_handle* handle, int) {
  libusb_device* device = handle->device;
  if (gone(device)) return LIBUSB_ERROR_NO_DEVICE;
  if (device->claimedBy && device->claimedBy != handle) return LIBUSB_ERROR_BUSY;
  device->claimedBy = handle;
  return 0;
}
int libusb_release_interface(libusb_device_handle* handle, int) {
  libusb_device* device = handle->device;
  if (device->claimedBy != handle) return LIBUSB_ERROR_NOT_FOUND;
  device->claimedBy = nullptr;
  return gone(device) ? LIBUSB_ERROR_NO_DEVICE : 0;
}

// OUT: a command packet queues the gauge's reply (echo at 7, serial 1000 + port at 8..11 for
// the serial-number query). IN: the next reply, or a timeout when there is none.
int libusb_interrupt_transfer(libusb_device_handle* handle, unsigned char endpoint,
                              unsigned char* data, int length, int* transferred,
                              unsigned int timeout) {
  *transferred = 0;
  gLastTimeout = timeout;
  libusb_device* device = handle->device;
  if (gone(device)) return LIBUSB_ERROR_NO_DEVICE;
  if (device->claimedBy != handle) return LIBUSB_ERROR_BUSY;
  if (device->halted.count(endpoint)) return LIBUSB_ERROR_PIPE;
  if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
    if (length >= 8 && data[0] == 0x38) {
      std::vector<unsigned char> reply(64, 0);
      reply[7] = data[7];
      const int serial = 1000 + device->port;
      for (int i = 0; i < 4; ++i) reply[8 + i] = static_cast<unsigned char>(serial >> (8 * i));
      device->replies.push_back(reply);
    }
    *transferred = length;
    return 0;
  }
  if (device->replies.empty()) return LIBUSB_ERROR_TIMEOUT;
  const std::vector<unsigned char> reply = device->replies.front();
  device->replies.pop_front();
  const int n = static_cast<int>(reply.size()) < length ? static_cast<int>(reply.size()) : length;
  std::memcpy(data, reply.data(), static_cast<std::size_t>(n));
  *transferred = n;
  return static_cast<int>(reply.size()) > length ? LIBUSB_ERROR_OVERFLOW : 0;
}

}  // extern "C"
