// The libusb binding under the device list, against a stand-in libusb whose interface claims
// follow the kernel's rule: one claim per interface, dropped when its handle closes. Then the
// pipes of one gauge through the binding alone: stalls, timeouts, oversized replies, unplugging.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/transport/mchpusb.h"
#include "qx5_dll/usb/libusb/LibusbPlatform.h"

namespace qx5::usb {
using namespace qx5::platform;  // error codes, run-time loading
namespace {

const std::string kFakeLibusb = std::string(QX5_BIN_DIR) + "/../fakelib/libfakeusb.so";
const std::string kFakeLibusbWithoutClearHalt =
    std::string(QX5_BIN_DIR) + "/../fakelib/libfakeusb_noclearhalt.so";
constexpr std::uint8_t kIn = 0x81, kOut = 0x01;

class FakeLibusb {
 public:
  FakeLibusb() : library_(kFakeLibusb) {}
  bool loaded() const { return library_.isLoaded(); }
  void attach(std::vector<int> ports) {
    call<void (*)(const int*, int)>("FakeUsbAttach")(ports.data(), static_cast<int>(ports.size()));
  }
  int openHandles() { return call<int (*)()>("FakeUsbOpenHandles")(); }
  void stall(int port, std::uint8_t endpoint) {
    call<void (*)(int, unsigned char)>("FakeUsbStall")(port, endpoint);
  }
  void vanish(int port) { call<void (*)(int)>("FakeUsbVanish")(port); }
  void queueReply(int port, int length) {
    call<void (*)(int, int)>("FakeUsbQueueReply")(port, length);
  }
  unsigned lastTimeout() { return call<unsigned (*)()>("FakeUsbLastTimeout")(); }

 private:
  template <class Function>
  Function call(const char* name) {
    Function function = nullptr;
    library_.bind(name, function);
    if (!function) throw std::runtime_error(name);
    return function;
  }
  DynamicLibrary library_;
};

TEST(LibusbGauges, GaugesOpenAgainWhateverOrderOrAbsenceTheNextEnumerationFinds) {
  FakeLibusb fake;
  ASSERT_TRUE(fake.loaded()) << kFakeLibusb;
  fake.attach({1, 2});
  mchpusb list(createLibusbPlatform(kFakeLibusb));
  ASSERT_TRUE(list.bindingValid());
  EXPECT_EQ(list.UpdateDeviceList(), 2u) << ErrorText();

  // Closing the device files at the start of an enumeration must give the gauges back, or the
  // gauge that now comes first is still held by the slot it had before.
  fake.attach({2, 1});
  EXPECT_EQ(list.UpdateDeviceList(), 2u) << ErrorText();

  fake.attach({2});
  EXPECT_EQ(list.UpdateDeviceList(), 1u) << ErrorText();
  EXPECT_EQ(fake.openHandles(), 1);  // nothing left open for the unplugged gauge
}

}  // namespace
}  // namespace qx5::usb

namespace qx5::usb {
namespace {

constexpr int kPort = 3;

// The one gauge on kPort, opened and claimed through the binding alone.
class LibusbPipes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.loaded()) << kFakeLibusb;
    fake.attach({kPort});
    ASSERT_TRUE(usb->isComplete()) << usb->name();
    std::string path;
    ASSERT_TRUE(usb->beginEnumeration());
    ASSERT_TRUE(usb->interfacePath(0, path));
    usb->endEnumeration();
    device = usb->openDevice(path);
    ASSERT_NE(device, kInvalidDeviceHandle);
    ASSERT_TRUE(usb->initialize(device, iface));
  }

  bool write(std::uint8_t pipe = kOut) {
    std::uint8_t query[36] = {0x38, 36};
    std::uint32_t written = 0;
    return usb->writePipe(iface, pipe, query, sizeof query, written);
  }
  bool read(std::uint32_t& received) { return usb->readPipe(iface, kIn, reply, 64, received); }
  bool exchange() {
    std::uint32_t received = 0;
    return write() && read(received) && received == 64;
  }

  FakeLibusb fake;
  std::unique_ptr<UsbPlatform> usb = createLibusbPlatform(kFakeLibusb);
  DeviceHandle device = kInvalidDeviceHandle;
  InterfaceHandle iface = kInvalidInterfaceHandle;
  std::uint8_t reply[64 + 16] = {};
};

TEST_F(LibusbPipes, StallFailsItsTransferOnlyAndTheNextOneGoesThrough) {
  fake.stall(kPort, kOut);
  EXPECT_FALSE(write());
  EXPECT_EQ(usb->lastError(), EPIPE);
  EXPECT_TRUE(exchange()) << platform::errorText(usb->lastError());

  ASSERT_TRUE(write());
  fake.stall(kPort, kIn);
  std::uint32_t received = 0;
  EXPECT_FALSE(read(received));
  EXPECT_EQ(usb->lastError(), EPIPE);
  EXPECT_TRUE(read(received)) << platform::errorText(usb->lastError());  // the reply was kept
  EXPECT_EQ(received, 64u);
  EXPECT_TRUE(exchange()) << platform::errorText(usb->lastError());
}

TEST_F(LibusbPipes, FlushClearsAStalledInPipe) {
  fake.stall(kPort, kIn);
  EXPECT_TRUE(usb->flushPipe(iface, kIn)) << platform::errorText(usb->lastError());
  EXPECT_TRUE(exchange()) << platform::errorText(usb->lastError());
}

TEST_F(LibusbPipes, PipesGiveUpAfterTwoSecondsUntilTheirTimeoutIsSet) {
  std::uint32_t received = 0;
  EXPECT_FALSE(read(received));
  EXPECT_EQ(fake.lastTimeout(), 2000u);  // not 0, which would wait for ever
  EXPECT_TRUE(write());
  EXPECT_EQ(fake.lastTimeout(), 2000u);

  ASSERT_TRUE(usb->setPipeTimeout(iface, kIn, 150));
  EXPECT_TRUE(read(received));
  EXPECT_EQ(fake.lastTimeout(), 150u);
  EXPECT_TRUE(write());
  EXPECT_EQ(fake.lastTimeout(), 2000u);  // each pipe keeps its own
}

TEST_F(LibusbPipes, OversizedReplyFailsWithoutWritingPastTheBuffer) {
  fake.queueReply(kPort, 100);
  std::uint32_t received = 0;
  EXPECT_FALSE(read(received));
  EXPECT_EQ(usb->lastError(), EOVERFLOW);
  EXPECT_LE(received, 64u);
  for (std::size_t i = 64; i < sizeof reply; ++i) EXPECT_EQ(reply[i], 0) << i;
}

TEST_F(LibusbPipes, UnpluggedGaugeFailsEveryTransferAndStillClosesCleanly) {
  fake.vanish(kPort);
  std::uint32_t received = 0;
  EXPECT_FALSE(write());
  EXPECT_EQ(usb->lastError(), kErrorNoDevice);
  EXPECT_FALSE(read(received));
  EXPECT_EQ(usb->lastError(), kErrorNoDevice);
  EXPECT_EQ(received, 0u);
  EXPECT_FALSE(usb->flushPipe(iface, kIn));
  EXPECT_EQ(usb->lastError(), kErrorNoDevice);
  EXPECT_TRUE(usb->freeInterface(iface));
  EXPECT_TRUE(usb->closeDevice(device));
  EXPECT_EQ(fake.openHandles(), 0);
  EXPECT_FALSE(usb->readPipe(iface, kIn, reply, 64, received));
  EXPECT_EQ(usb->lastError(), kErrorInvalidHandle);
}

TEST_F(LibusbPipes, EachThreadReadsTheErrorOfItsOwnLastCall) {
  fake.stall(kPort, kOut);
  EXPECT_FALSE(write());
  std::thread([&] {
    EXPECT_EQ(usb->lastError(), 0) << "nothing failed on this thread yet";
    EXPECT_FALSE(usb->closeDevice(device + 1000));
    EXPECT_EQ(usb->lastError(), kErrorInvalidHandle);
  }).join();
  EXPECT_EQ(usb->lastError(), EPIPE);
}

TEST(LibusbBinding, LibusbWithoutClearHaltIsIncompleteAndSaysWhy) {
  auto usb = createLibusbPlatform(kFakeLibusbWithoutClearHalt);
  EXPECT_FALSE(usb->isComplete());
  EXPECT_NE(std::string(usb->name()).find("lacks a function: libusb_clear_halt"), std::string::npos)
      << usb->name();
  EXPECT_FALSE(usb->beginEnumeration());
  EXPECT_EQ(usb->lastError(), kErrorNotSupported);
}

}  // namespace
}  // namespace qx5::usb
