#include "qx5_dll/usb/libusb/LibusbPlatform.h"

// Types and constants only: every function is bound at run time through DynamicLibrary.
#include <libusb.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/InterfacePath.h"

namespace qx5::usb {

using namespace qx5::platform;  // error codes and run-time loading

namespace {

constexpr int kGaugeInterface = 0;
constexpr unsigned kFlushReadTimeoutMs = 1;
// The transport's own pipe timeout, until it sets one: libusb takes 0 as "wait forever", and a
// silent gauge must not hold the caller that long.
constexpr unsigned kDefaultPipeTimeoutMs = 2000;
constexpr int kMaxFlushReads = 16;  // a pipe that never runs dry must not hold the caller

// Per thread: transfers on different gauges run on different threads at once.
thread_local int lastErrorCode = 0;

struct LibusbFunctions {
  decltype(&libusb_init) init = nullptr;
  decltype(&libusb_exit) exit = nullptr;
  decltype(&libusb_get_device_list) getDeviceList = nullptr;
  decltype(&libusb_free_device_list) freeDeviceList = nullptr;
  decltype(&libusb_get_device_descriptor) getDeviceDescriptor = nullptr;
  decltype(&libusb_get_bus_number) getBusNumber = nullptr;
  decltype(&libusb_get_port_numbers) getPortNumbers = nullptr;
  decltype(&libusb_get_device_speed) getDeviceSpeed = nullptr;
  decltype(&libusb_open) open = nullptr;
  decltype(&libusb_close) close = nullptr;
  decltype(&libusb_get_device) getDevice = nullptr;
  decltype(&libusb_get_active_config_descriptor) getActiveConfigDescriptor = nullptr;
  decltype(&libusb_free_config_descriptor) freeConfigDescriptor = nullptr;
  decltype(&libusb_set_auto_detach_kernel_driver) setAutoDetachKernelDriver = nullptr;
  decltype(&libusb_claim_interface) claimInterface = nullptr;
  decltype(&libusb_release_interface) releaseInterface = nullptr;
  decltype(&libusb_interrupt_transfer) interruptTransfer = nullptr;
  decltype(&libusb_clear_halt) clearHalt = nullptr;

  // Names of the functions the library lacks, comma-separated; empty when all were bound.
  std::string bindAll(DynamicLibrary& library) {
    std::string missing;
    // Bind everything even after a miss, so the log can name each missing function.
    auto need = [&](const char* name, auto*& function) {
      if (!library.bind(name, function))
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    need("libusb_init", init);
    need("libusb_exit", exit);
    need("libusb_get_device_list", getDeviceList);
    need("libusb_free_device_list", freeDeviceList);
    need("libusb_get_device_descriptor", getDeviceDescriptor);
    need("libusb_get_bus_number", getBusNumber);
    need("libusb_get_port_numbers", getPortNumbers);
    need("libusb_get_device_speed", getDeviceSpeed);
    need("libusb_open", open);
    need("libusb_close", close);
    need("libusb_get_device", getDevice);
    need("libusb_get_active_config_descriptor", getActiveConfigDescriptor);
    need("libusb_free_config_descriptor", freeConfigDescriptor);
    need("libusb_set_auto_detach_kernel_driver", setAutoDetachKernelDriver);
    need("libusb_claim_interface", claimInterface);
    need("libusb_release_interface", releaseInterface);
    need("libusb_interrupt_transfer", interruptTransfer);
    need("libusb_clear_halt", clearHalt);
    return missing;
  }
};

int errorFromLibusb(int code) {
  switch (code) {
    case LIBUSB_ERROR_TIMEOUT:
      return kErrorTimeout;
    case LIBUSB_ERROR_NO_DEVICE:
      return kErrorNoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
      return kErrorNotFound;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return kErrorNotSupported;
    case LIBUSB_ERROR_ACCESS:
      return EACCES;
    case LIBUSB_ERROR_BUSY:
      return EBUSY;
    case LIBUSB_ERROR_NO_MEM:
      return ENOMEM;
    case LIBUSB_ERROR_INVALID_PARAM:
      return EINVAL;
    case LIBUSB_ERROR_PIPE:
      return EPIPE;
    case LIBUSB_ERROR_OVERFLOW:
      return EOVERFLOW;
    case LIBUSB_ERROR_INTERRUPTED:
      return EINTR;
    default:
      return kErrorIo;
  }
}

// One opened device. Closing the device file ends every use of the device, claim included, as
// it does on the platform the transport was written for: an enumeration closes all files but
// frees an interface only when it reuses the slot, and a claim kept until then would refuse
// the gauge to whichever slot it lands in next. The entry stays until the interface handle is
// freed too, so that call still succeeds; transfers on it fail.
struct OpenDevice {
  libusb_device_handle* handle = nullptr;  // null once the device file is closed
  bool fileOpen = true;
  bool interfaceClaimed = false;              // the interface handle is outstanding
  std::map<std::uint8_t, unsigned> timeouts;  // per pipe, milliseconds, as the transport set them
};

class LibusbPlatform final : public UsbPlatform {
 public:
  explicit LibusbPlatform(const std::string& fileName) : library_(fileName) {
    if (!library_.isLoaded()) {
      whyIncomplete_ = "libusb: cannot load " + fileName + ": " + library_.lastError();
      return;
    }
    if (const std::string missing = functions_.bindAll(library_); !missing.empty()) {
      whyIncomplete_ = "libusb: " + fileName + " lacks a function: " + missing;
      return;
    }
    const int rc = functions_.init(&context_);
    if (rc != 0) {
      context_ = nullptr;
      whyIncomplete_ = "libusb: libusb_init failed with " + std::to_string(rc);
      return;
    }
    complete_ = true;
  }

  ~LibusbPlatform() override {
    if (!complete_) return;
    for (auto& [id, device] : devices_) closeHandle(*device);
    devices_.clear();
    functions_.exit(context_);
  }

  bool isComplete() const override { return complete_; }
  // An incomplete binding says why, so the device list's log line explains the missing gauges.
  const char* name() const override { return complete_ ? "libusb" : whyIncomplete_.c_str(); }

  bool beginEnumeration() override {
    if (!usable()) return false;
    snapshot_.clear();
    return forEachDevice([&](libusb_device* device, const std::string& path) {
             (void)device;
             snapshot_.push_back(path);
             return false;
           }) >= 0;
  }

  bool interfacePath(std::uint32_t memberIndex, std::string& path) override {
    if (!usable()) return false;
    if (memberIndex >= snapshot_.size()) return fail(kErrorEndOfList);
    path = snapshot_[memberIndex];
    return true;
  }

  void endEnumeration() override { snapshot_.clear(); }

  DeviceHandle openDevice(const std::string& path) override {
    if (!usable()) return kInvalidDeviceHandle;
    libusb_device_handle* handle = nullptr;
    int openError = kErrorNotFound;
    forEachDevice([&](libusb_device* device, const std::string& candidate) {
      if (candidate != path) return false;
      const int rc = functions_.open(device, &handle);
      openError = rc == 0 ? 0 : errorFromLibusb(rc);
      return true;
    });
    if (!handle) {
      fail(openError ? openError : kErrorNotFound);
      return kInvalidDeviceHandle;
    }
    auto device = std::make_unique<OpenDevice>();
    device->handle = handle;
    std::lock_guard lock(devicesMutex_);
    const DeviceHandle id = nextId_++;
    devices_[id] = std::move(device);
    return id;
  }

  bool closeDevice(DeviceHandle id) override {
    OpenDevice* device = find(id);
    if (!device || !device->fileOpen) return fail(kErrorInvalidHandle);
    closeHandle(*device);
    device->fileOpen = false;
    releaseIfUnused(id);
    return true;
  }

  bool initialize(DeviceHandle id, InterfaceHandle& iface) override {
    OpenDevice* device = find(id);
    if (!device || !device->fileOpen) return fail(kErrorInvalidHandle);
    if (device->interfaceClaimed) {
      iface = id;
      return true;
    }
    // A kernel driver (usbhid) may hold the gauge; it gets the device back on release.
    functions_.setAutoDetachKernelDriver(device->handle, 1);
    const int rc = functions_.claimInterface(device->handle, kGaugeInterface);
    if (rc != 0) return fail(errorFromLibusb(rc));
    device->interfaceClaimed = true;
    iface = id;
    return true;
  }

  bool freeInterface(InterfaceHandle id) override {
    OpenDevice* device = find(id);
    if (!device || !device->interfaceClaimed) return fail(kErrorInvalidHandle);
    if (device->handle) functions_.releaseInterface(device->handle, kGaugeInterface);
    device->interfaceClaimed = false;
    releaseIfUnused(id);
    return true;
  }

  bool queryDeviceSpeed(InterfaceHandle id, UsbSpeed& speed) override {
    OpenDevice* device = claimed(id);
    if (!device) return false;
    const int value = functions_.getDeviceSpeed(functions_.getDevice(device->handle));
    if (value == LIBUSB_SPEED_UNKNOWN) return fail(kErrorNotSupported);
    // Super speed and faster keep their numbers; the transport names them "unknown".
    speed = static_cast<UsbSpeed>(value);
    return true;
  }

  bool queryInterfaceSettings(InterfaceHandle id, std::uint8_t alternateSetting,
                              UsbInterfaceDescriptor& descriptor) override {
    return withAltSetting(id, alternateSetting, [&](const libusb_interface_descriptor& alt) {
      descriptor.interfaceNumber = alt.bInterfaceNumber;
      descriptor.alternateSetting = alt.bAlternateSetting;
      descriptor.numEndpoints = alt.bNumEndpoints;
      descriptor.interfaceClass = alt.bInterfaceClass;
      return true;
    });
  }

  bool queryPipe(InterfaceHandle id, std::uint8_t alternateSetting, std::uint8_t pipeIndex,
                 UsbPipeInformation& pipe) override {
    return withAltSetting(id, alternateSetting, [&](const libusb_interface_descriptor& alt) {
      if (pipeIndex >= alt.bNumEndpoints) return fail(kErrorNotFound);
      const libusb_endpoint_descriptor& endpoint = alt.endpoint[pipeIndex];
      pipe.pipeType = static_cast<UsbPipeType>(endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK);
      pipe.pipeId = endpoint.bEndpointAddress;
      pipe.maximumPacketSize = endpoint.wMaxPacketSize;
      pipe.interval = endpoint.bInterval;
      return true;
    });
  }

  bool setPipeTimeout(InterfaceHandle id, std::uint8_t pipeId,
                      std::uint32_t milliseconds) override {
    OpenDevice* device = claimed(id);
    if (!device) return false;
    device->timeouts[pipeId] = milliseconds;
    return true;
  }

  bool flushPipe(InterfaceHandle id, std::uint8_t pipeId) override {
    OpenDevice* device = claimed(id);
    if (!device) return false;
    if (!(pipeId & LIBUSB_ENDPOINT_IN)) return true;  // nothing queues on an OUT pipe
    // libusb keeps no host-side queue: drain what the device has ready, without waiting.
    std::uint8_t scratch[64];
    bool haltCleared = false;
    for (int i = 0; i < kMaxFlushReads; ++i) {
      int received = 0;
      const int rc = functions_.interruptTransfer(device->handle, pipeId, scratch, sizeof scratch,
                                                  &received, kFlushReadTimeoutMs);
      if (rc == LIBUSB_ERROR_TIMEOUT) return true;
      // A stalled pipe is what a flush is for; one that stalls again right away is broken.
      if (rc == LIBUSB_ERROR_PIPE && !haltCleared) {
        haltCleared = true;
        const int cleared = functions_.clearHalt(device->handle, pipeId);
        if (cleared != 0) return fail(errorFromLibusb(cleared));
        continue;
      }
      if (rc != 0) return fail(errorFromLibusb(rc));
    }
    return true;
  }

  bool writePipe(InterfaceHandle id, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    written = 0;
    return transfer(id, pipeId, const_cast<std::uint8_t*>(data), length, written);
  }

  bool readPipe(InterfaceHandle id, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    received = 0;
    return transfer(id, pipeId, buffer, capacity, received);
  }

  int lastError() const override { return lastErrorCode; }
  bool isTimeout(int error) const override { return error == kErrorTimeout; }
  bool isEndOfList(int error) const override { return error == kErrorEndOfList; }

 private:
  bool usable() {
    if (complete_) return true;
    return fail(kErrorNotSupported);
  }

  bool fail(int error) {
    lastErrorCode = error;
    return false;
  }

  // An entry's own fields belong to its gauge (its lock); the map is shared by all gauges.
  OpenDevice* find(DeviceHandle id) {
    if (!usable()) return nullptr;
    std::lock_guard lock(devicesMutex_);
    auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : it->second.get();
  }

  OpenDevice* claimed(InterfaceHandle id) {
    OpenDevice* device = find(id);
    if (device && device->interfaceClaimed && device->handle) return device;
    fail(complete_ ? kErrorInvalidHandle : kErrorNotSupported);
    return nullptr;
  }

  // Gives the device back to the system: the claim (when held) and the libusb handle.
  void closeHandle(OpenDevice& device) {
    if (!device.handle) return;
    if (device.interfaceClaimed) functions_.releaseInterface(device.handle, kGaugeInterface);
    functions_.close(device.handle);
    device.handle = nullptr;
  }

  void releaseIfUnused(DeviceHandle id) {
    std::unique_ptr<OpenDevice> unused;
    {
      std::lock_guard lock(devicesMutex_);
      auto it = devices_.find(id);
      if (it == devices_.end() || it->second->fileOpen || it->second->interfaceClaimed) return;
      unused = std::move(it->second);
      devices_.erase(it);
    }
    closeHandle(*unused);
  }

  // Calls `visit(device, path)` for each attached device until it returns true. Returns the
  // number of devices listed, or -1 (with the error set) when libusb cannot list them.
  template <class Visit>
  long forEachDevice(Visit visit) {
    libusb_device** list = nullptr;
    const ssize_t count = functions_.getDeviceList(context_, &list);
    if (count < 0) {
      fail(errorFromLibusb(static_cast<int>(count)));
      return -1;
    }
    for (ssize_t i = 0; i < count; ++i) {
      libusb_device_descriptor descriptor{};
      if (functions_.getDeviceDescriptor(list[i], &descriptor) != 0) continue;
      std::uint8_t ports[8];
      const int depth = functions_.getPortNumbers(list[i], ports, sizeof ports);
      std::string chain;
      for (int p = 0; p < depth; ++p) chain += (p ? "." : "") + std::to_string(ports[p]);
      if (visit(list[i], libusbInterfacePath(functions_.getBusNumber(list[i]), chain,
                                             descriptor.idVendor, descriptor.idProduct)))
        break;
    }
    functions_.freeDeviceList(list, 1);
    return static_cast<long>(count);
  }

  template <class Use>
  bool withAltSetting(InterfaceHandle id, std::uint8_t alternateSetting, Use use) {
    OpenDevice* device = claimed(id);
    if (!device) return false;
    libusb_config_descriptor* config = nullptr;
    const int rc =
        functions_.getActiveConfigDescriptor(functions_.getDevice(device->handle), &config);
    if (rc != 0) return fail(errorFromLibusb(rc));
    bool ok = fail(kErrorNotFound);
    for (int i = 0; i < config->bNumInterfaces; ++i) {
      const libusb_interface& iface = config->interface[i];
      for (int a = 0; a < iface.num_altsetting; ++a) {
        const libusb_interface_descriptor& alt = iface.altsetting[a];
        if (alt.bInterfaceNumber == kGaugeInterface && alt.bAlternateSetting == alternateSetting) {
          ok = use(alt);
          break;
        }
      }
    }
    functions_.freeConfigDescriptor(config);
    return ok;
  }

  bool transfer(InterfaceHandle id, std::uint8_t pipeId, std::uint8_t* data, std::uint32_t length,
                std::uint32_t& transferred) {
    OpenDevice* device = claimed(id);
    if (!device) return false;
    auto timeout = device->timeouts.find(pipeId);
    int count = 0;
    const int rc = functions_.interruptTransfer(
        device->handle, pipeId, data, static_cast<int>(length), &count,
        timeout == device->timeouts.end() ? kDefaultPipeTimeoutMs : timeout->second);
    transferred = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    // libusb leaves a stalled endpoint halted until told otherwise, so every later transfer
    // would fail until the gauge is plugged in again. This call still fails.
    if (rc == LIBUSB_ERROR_PIPE) functions_.clearHalt(device->handle, pipeId);
    if (rc != 0) return fail(errorFromLibusb(rc));
    return true;
  }

  DynamicLibrary library_;
  LibusbFunctions functions_;
  libusb_context* context_ = nullptr;
  bool complete_ = false;
  std::string whyIncomplete_;
  std::vector<std::string> snapshot_;  // enumeration runs under the library's state lock
  std::mutex devicesMutex_;            // the map and the numbering, not the entries
  std::map<DeviceHandle, std::unique_ptr<OpenDevice>> devices_;
  DeviceHandle nextId_ = 1;
};

}  // namespace

std::string libusbInterfacePath(unsigned bus, const std::string& portChain, unsigned vendorId,
                                unsigned productId) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vendorId & 0xFFFF, productId & 0xFFFF);
  return gaugeInterfacePath(ids, std::to_string(bus) + "-" + portChain);
}

std::unique_ptr<UsbPlatform> createLibusbPlatform(const std::string& libraryFileName) {
  return std::make_unique<LibusbPlatform>(libraryFileName);
}

}  // namespace qx5::usb
