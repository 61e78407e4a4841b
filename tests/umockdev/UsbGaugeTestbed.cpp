#include "UsbGaugeTestbed.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace qx5::test {

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";
constexpr std::uint8_t kInEndpointFlag = 0x80;
constexpr const char* kSysfsPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";

// The gauge as sysfs shows it: full speed, one configuration, one vendor-class interface with
// an interrupt IN and an interrupt OUT endpoint of 64 bytes.
constexpr const char* kGaugeDevice =
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-1\n"
    "N: bus/usb/001/002\n"
    "E: DEVNAME=/dev/bus/usb/001/002\n"
    "E: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\n"
    "E: SUBSYSTEM=usb\n"
    "E: BUSNUM=001\n"
    "E: DEVNUM=002\n"
    "A: busnum=1\\n\n"
    "A: devnum=2\\n\n"
    "A: speed=12\\n\n"
    "A: bConfigurationValue=1\\n\n"
    "A: bNumConfigurations=1\\n\n"
    "A: idVendor=04d8\\n\n"
    "A: idProduct=000c\\n\n"
    "A: devpath=1\\n\n"
    // device, configuration, interface 0, interrupt IN 0x81, interrupt OUT 0x01
    "H: descriptors="
    "12010002000000"
    "40D8040C00000101020301"
    "0902200001010080"
    "32"
    "0904000002FF000000"
    "07058103400001"
    "07050103400001\n";

template <class T>
T* field(UMockdevIoctlData* data) {
  return reinterpret_cast<T*>(data->data);
}

// The memory an ioctl argument points to, `size` bytes of it.
UMockdevIoctlData* pointee(UMockdevIoctlData* arg, std::size_t size) {
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
  if (!data) {
    const std::string message = error ? error->message : "unknown";
    if (error) g_error_free(error);
    throw std::runtime_error("umockdev cannot read the ioctl argument: " + message);
  }
  return data;
}

void complete(UMockdevIoctlClient* client, long result, int error = 0) {
  umockdev_ioctl_client_complete(client, result, error);
}

}  // namespace

bool runUnderUmockdev(char** argv) {
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload && std::strstr(preload, "libumockdev-preload")) return true;
  std::string value = kPreload;
  if (preload && *preload) value += std::string(":") + preload;
  setenv("LD_PRELOAD", value.c_str(), 1);
  // Under ASan the preload library comes before the sanitizer's runtime, which is fine here.
  std::string asan = "verify_asan_link_order=0";
  if (const char* old = std::getenv("ASAN_OPTIONS")) asan += std::string(":") + old;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  execv("/proc/self/exe", argv);
  return false;
}

UsbGaugeTestbed::UsbGaugeTestbed(bool kernelDriverBound)
    : gauge_(sim::GaugeConfig{}), driverBound_(kernelDriverBound) {
  testbed_ = umockdev_testbed_new();
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, kGaugeDevice, &error))
    throw std::runtime_error(std::string("umockdev: ") + error->message);
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onIoctl), this);
  if (!umockdev_testbed_attach_ioctl(testbed_, kDeviceNode, handler_, &error))
    throw std::runtime_error(std::string("umockdev: ") + error->message);
  loop_ = g_main_loop_new(nullptr, FALSE);
  loopThread_ = std::thread([this] { g_main_loop_run(loop_); });
}

UsbGaugeTestbed::~UsbGaugeTestbed() {
  g_main_loop_quit(loop_);
  loopThread_.join();
  g_main_loop_unref(loop_);
  for (auto* queue : {&reads_, &completed_})
    for (Urb& urb : *queue) {
      g_object_unref(urb.urb);
      g_object_unref(urb.buffer);
    }
  if (!gone_) umockdev_testbed_detach_ioctl(testbed_, kDeviceNode, nullptr);
  g_object_unref(handler_);
  g_object_unref(testbed_);
}

std::string UsbGaugeTestbed::environment() const {
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  std::string text = std::string("UMOCKDEV_DIR=") + root + " LD_PRELOAD=" + kPreload +
                     " ASAN_OPTIONS=verify_asan_link_order=0";
  g_free(root);
  return text;
}

void UsbGaugeTestbed::silence(bool on) {
  std::lock_guard lock(mutex_);
  silent_ = on;
  if (!on) answerReads();
}

void UsbGaugeTestbed::stallNextRead() {
  std::lock_guard lock(mutex_);
  stallNext_ = true;
}

void UsbGaugeTestbed::unplug() {
  std::lock_guard lock(mutex_);
  gone_ = true;
  while (!reads_.empty()) {
    finish(reads_.front(), -ENODEV);
    reads_.pop_front();
  }
  umockdev_testbed_uevent(testbed_, kSysfsPath, "remove");
  umockdev_testbed_remove_device(testbed_, kSysfsPath);
}

UsbGaugeTestbed::Seen UsbGaugeTestbed::seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

int UsbGaugeTestbed::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  try {
    static_cast<UsbGaugeTestbed*>(self)->handle(client);
  } catch (const std::exception&) {
    complete(client, -1, EIO);
  }
  return TRUE;
}

void UsbGaugeTestbed::handle(UMockdevIoctlClient* client) {
  std::lock_guard lock(mutex_);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  // Reaping what completed before the gauge left still works, as it does on Linux.
  if (gone_ && !(request == USBDEVFS_REAPURBNDELAY && !completed_.empty()))
    return complete(client, -1, ENODEV);
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = pointee(arg, sizeof(std::uint32_t));
      *field<std::uint32_t>(caps) = 0;  // the plain request set: detach, then claim
      g_object_unref(caps);
      return complete(client, 0);
    }
    case USBDEVFS_GETDRIVER: {
      if (!driverBound_) return complete(client, -1, ENODATA);
      UMockdevIoctlData* driver = pointee(arg, sizeof(usbdevfs_getdriver));
      std::strcpy(field<usbdevfs_getdriver>(driver)->driver, "usbhid");
      g_object_unref(driver);
      return complete(client, 0);
    }
    case USBDEVFS_IOCTL: {
      UMockdevIoctlData* wrapped = pointee(arg, sizeof(usbdevfs_ioctl));
      const int code = field<usbdevfs_ioctl>(wrapped)->ioctl_code;
      g_object_unref(wrapped);
      if (code == static_cast<int>(USBDEVFS_DISCONNECT)) {
        if (!driverBound_) return complete(client, -1, ENODATA);
        driverBound_ = false;
        seen_.driverDetached = true;
        return complete(client, 0);
      }
      if (code == static_cast<int>(USBDEVFS_CONNECT)) {
        driverBound_ = true;
        seen_.driverReattached = true;
        return complete(client, 0);
      }
      return complete(client, -1, ENOTTY);
    }
    case USBDEVFS_CLAIMINTERFACE:
      if (driverBound_) return complete(client, -1, EBUSY);
      seen_.claimed = true;
      return complete(client, 0);
    case USBDEVFS_RELEASEINTERFACE:
      seen_.claimed = false;
      return complete(client, 0);
    case USBDEVFS_CLEAR_HALT:
      ++seen_.haltsCleared;
      return complete(client, 0);
    case USBDEVFS_SUBMITURB:
      return submit(client, arg);
    case USBDEVFS_REAPURBNDELAY:
      return reap(client, arg);
    case USBDEVFS_DISCARDURB:
      return discard(client, arg);
    default:  // DISCONNECT_CLAIM among them: libusb falls back to detach and claim
      return complete(client, -1, ENOTTY);
  }
}

void UsbGaugeTestbed::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* urbData = pointee(arg, sizeof(usbdevfs_urb));
  usbdevfs_urb* urb = field<usbdevfs_urb>(urbData);
  GError* error = nullptr;
  UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
      urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), &error);
  if (!buffer || urb->type != USBDEVFS_URB_TYPE_INTERRUPT) {
    if (error) g_error_free(error);
    if (buffer) g_object_unref(buffer);
    g_object_unref(urbData);
    return complete(client, -1, EINVAL);
  }
  const Urb submitted{urbData, buffer, {}};
  if (urb->endpoint & kInEndpointFlag) {
    if (stallNext_) {
      stallNext_ = false;
      finish(submitted, -EPIPE);
    } else {
      reads_.push_back(submitted);
      answerReads();
    }
  } else {
    ++seen_.packetsOut;
    std::vector<std::uint8_t> reply(64);
    reply.resize(gauge_.handle(buffer->data, static_cast<std::size_t>(buffer->data_len),
                               reply.data(), reply.size()));
    if (!reply.empty()) replies_.push_back(std::move(reply));
    finish(submitted, 0, std::vector<std::uint8_t>(buffer->data, buffer->data + buffer->data_len));
    answerReads();
  }
  complete(client, 0);
}

void UsbGaugeTestbed::answerReads() {
  while (!silent_ && !reads_.empty() && !replies_.empty()) {
    finish(reads_.front(), 0, replies_.front());
    reads_.pop_front();
    replies_.pop_front();
  }
}

// Moves the URB to the completed list; an IN URB carries `data`, an OUT URB reports its length.
void UsbGaugeTestbed::finish(Urb done, int status, const std::vector<std::uint8_t>& data) {
  usbdevfs_urb* urb = field<usbdevfs_urb>(done.urb);
  urb->status = status;
  urb->actual_length = 0;
  if (status == 0) {
    const std::size_t n = std::min<std::size_t>(data.size(), done.buffer->data_len);
    if (urb->endpoint & kInEndpointFlag) done.reply.assign(data.begin(), data.begin() + n);
    urb->actual_length = static_cast<int>(n);
  }
  completed_.push_back(std::move(done));
}

void UsbGaugeTestbed::reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  if (completed_.empty()) return complete(client, -1, EAGAIN);
  Urb done = completed_.front();
  completed_.pop_front();
  // The kernel stores the URB's address where the argument points.
  UMockdevIoctlData* slot = pointee(arg, sizeof(void*));
  umockdev_ioctl_data_set_ptr(slot, 0, done.urb);
  g_object_unref(slot);
  // Only memory reached from this request goes back to the caller when it completes: the data
  // of an IN transfer is written through the URB just handed over.
  if (!done.reply.empty()) {
    usbdevfs_urb* urb = field<usbdevfs_urb>(done.urb);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        done.urb, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    if (buffer) {
      std::memcpy(buffer->data, done.reply.data(), done.reply.size());
      g_object_unref(buffer);
    }
  }
  g_object_unref(done.buffer);
  g_object_unref(done.urb);
  complete(client, 0);
}

void UsbGaugeTestbed::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  const gulong address = *field<gulong>(arg);  // the URB's own address is the argument
  for (auto it = reads_.begin(); it != reads_.end(); ++it) {
    if (it->urb->client_addr != address) continue;
    ++seen_.readsCancelled;
    finish(*it, -ENOENT);
    reads_.erase(it);
    return complete(client, 0);
  }
  complete(client, -1, EINVAL);  // already completed: the caller reaps it as it is
}

}  // namespace qx5::test
