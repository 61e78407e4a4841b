// The libusb binding over the real libusb on a bus umockdev emulates: enumeration, claiming with
// a kernel driver to detach, the pipes, interrupt transfers and their timeout, a stall, a gauge
// leaving mid-transfer; then whole exports and a qx5cmd run on the same bus.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>
#include <utility>

#include "UsbGaugeTestbed.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/libusb/LibusbPlatform.h"
#include "qx5dll.h"
#include "support/TempDir.h"

namespace qx5::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kIn = 0x81, kOut = 0x01;
// The short identification packet a newly opened gauge answers with its serial number.
const Bytes kIdentify = {0x38, 0x08, 0x01, 0x01, 0x0B, 0x1E, 0x00, 0x1E};

struct OnEmulatedBus : ::testing::Test {
  void SetUp() override {
    platform = usb::createLibusbPlatform();
    ASSERT_TRUE(platform->isComplete()) << platform->name();
  }
  // Enumerates, opens and claims the one gauge.
  void open() {
    ASSERT_TRUE(platform->beginEnumeration());
    std::string path;
    ASSERT_TRUE(platform->interfacePath(0, path));
    platform->endEnumeration();
    device = platform->openDevice(path);
    ASSERT_NE(device, kInvalidDeviceHandle);
    ASSERT_TRUE(platform->initialize(device, iface));
    ASSERT_TRUE(platform->setPipeTimeout(iface, kIn, 200));
  }
  bool send(const Bytes& packet) {
    std::uint32_t written = 0;
    return platform->writePipe(iface, kOut, packet.data(),
                               static_cast<std::uint32_t>(packet.size()), written) &&
           written == packet.size();
  }
  bool receive(Bytes& reply) {
    reply.assign(64, 0);
    std::uint32_t received = 0;
    const bool ok = platform->readPipe(iface, kIn, reply.data(), 64, received);
    reply.resize(received);
    return ok;
  }
  std::int32_t serialFrom(const Bytes& reply) {
    std::int32_t serial = 0;
    if (reply.size() >= 12) std::memcpy(&serial, reply.data() + 8, 4);
    return serial;
  }

  UsbGaugeTestbed bus;
  std::unique_ptr<UsbPlatform> platform;
  DeviceHandle device = kInvalidDeviceHandle;
  InterfaceHandle iface = 0;
};

TEST_F(OnEmulatedBus, FindsTheGaugeDetachesItsDriverClaimsItAndReadsItsPipes) {
  ASSERT_TRUE(platform->beginEnumeration());
  std::string path;
  ASSERT_TRUE(platform->interfacePath(0, path));
  EXPECT_NE(path.find("vid_04d8&pid_000c"), std::string::npos) << path;
  EXPECT_NE(path.find("#1-1#"), std::string::npos) << path;
  EXPECT_FALSE(platform->interfacePath(1, path));
  EXPECT_TRUE(platform->isEndOfList(platform->lastError()));
  platform->endEnumeration();
  open();
  EXPECT_TRUE(bus.seen().driverDetached);
  EXPECT_TRUE(bus.seen().claimed);

  UsbSpeed speed{};
  ASSERT_TRUE(platform->queryDeviceSpeed(iface, speed));
  EXPECT_EQ(speed, UsbSpeed::Full);
  UsbInterfaceDescriptor descriptor{};
  ASSERT_TRUE(platform->queryInterfaceSettings(iface, 0, descriptor));
  EXPECT_EQ(descriptor.numEndpoints, 2);
  EXPECT_EQ(descriptor.interfaceClass, 0xFF);
  UsbPipeInformation in{}, out{};
  ASSERT_TRUE(platform->queryPipe(iface, 0, 0, in));
  ASSERT_TRUE(platform->queryPipe(iface, 0, 1, out));
  EXPECT_EQ(in.pipeId, kIn);
  EXPECT_EQ(out.pipeId, kOut);
  EXPECT_EQ(in.pipeType, UsbPipeType::Interrupt);
  EXPECT_EQ(in.maximumPacketSize, 64);

  // Giving the gauge back hands it to its driver again.
  EXPECT_TRUE(platform->freeInterface(iface));
  EXPECT_TRUE(platform->closeDevice(device));
  EXPECT_TRUE(bus.seen().driverReattached);
}

TEST_F(OnEmulatedBus, PacketsTravelAsInterruptTransfers) {
  open();
  Bytes reply;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(send(kIdentify));
    ASSERT_TRUE(receive(reply));
    ASSERT_EQ(reply.size(), 64u);
    EXPECT_EQ(reply[7], 0x1E);
    EXPECT_EQ(serialFrom(reply), 10001);
  }
  EXPECT_EQ(bus.seen().packetsOut, 3);
}

TEST_F(OnEmulatedBus, ASilentGaugeTimesOutAfterThePipeTimeout) {
  open();
  bus.silence(true);
  ASSERT_TRUE(send(kIdentify));
  Bytes reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(receive(reply));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(platform->isTimeout(platform->lastError()));
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  EXPECT_EQ(bus.seen().readsCancelled, 1);
  // The late reply is still queued; a flush empties the pipe before the next exchange.
  bus.silence(false);
  EXPECT_TRUE(platform->flushPipe(iface, kIn));
  ASSERT_TRUE(send(kIdentify));
  ASSERT_TRUE(receive(reply));
  EXPECT_EQ(serialFrom(reply), 10001);
}

// libusb leaves a stalled endpoint halted; the binding clears it after the failed transfer,
// and the flush clears one it meets, so the next exchange goes through either way.
TEST_F(OnEmulatedBus, AStalledEndpointIsClearedForTheNextExchange) {
  open();
  bus.stallNextRead();
  Bytes reply;
  EXPECT_FALSE(receive(reply));
  EXPECT_FALSE(platform->isTimeout(platform->lastError()));
  EXPECT_EQ(bus.seen().haltsCleared, 1);
  ASSERT_TRUE(send(kIdentify));
  ASSERT_TRUE(receive(reply));
  EXPECT_EQ(serialFrom(reply), 10001);

  bus.stallNextRead();
  EXPECT_TRUE(platform->flushPipe(iface, kIn));
  EXPECT_EQ(bus.seen().haltsCleared, 2);
  ASSERT_TRUE(send(kIdentify));
  ASSERT_TRUE(receive(reply));
  EXPECT_EQ(serialFrom(reply), 10001);
}

TEST_F(OnEmulatedBus, AGaugeLeavingMidTransferEndsItWithNoDevice) {
  open();
  ASSERT_TRUE(platform->setPipeTimeout(iface, kIn, 5000));
  bus.silence(true);
  ASSERT_TRUE(send(kIdentify));
  auto pending = std::async(std::launch::async, [&] {
    Bytes reply;
    const bool received = receive(reply);
    return std::pair(received, platform->lastError());  // the error is the failing thread's
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  bus.unplug();
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(3)), std::future_status::ready);
  const auto [received, error] = pending.get();
  EXPECT_FALSE(received);
  EXPECT_EQ(error, platform::kErrorNoDevice);
  EXPECT_FALSE(send(kIdentify));
  // libusb learns of the removal from udev on its own thread.
  std::string path = "still there";
  for (int tries = 0; tries < 50 && !path.empty(); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(platform->beginEnumeration());
    if (!platform->interfacePath(0, path)) path.clear();
    platform->endEnumeration();
  }
  EXPECT_EQ(path, "");
}

// The library as applications use it, with the real libusb underneath.
struct ExportsOnEmulatedBus : ::testing::Test {
  ExportsOnEmulatedBus() {
    setGuardedFileName("no-such-library-on-the-emulated-bus");
    api::ResetLibraryState();
    setUsbPlatformFactory([] { return usb::createLibusbPlatform(); });
  }
  ~ExportsOnEmulatedBus() override {
    api::ResetLibraryState();
    setUsbPlatformFactory(nullptr);
    setGuardedFileName("");
  }
  UsbGaugeTestbed bus;
};

TEST_F(ExportsOnEmulatedBus, WholeExportsRunOverLibusb) {
  ASSERT_EQ(GetDeviceCount(), 1);
  ASSERT_TRUE(UsbPort(0));
  EXPECT_EQ(GetSerialNumber(), 10001);
  BSTR version = GetQX5FirmwareVersion();
  ASSERT_NE(version, nullptr);
  EXPECT_STREQ(version, "3.05");
  SysFreeString(version);
  float a = -1, b = -1;
  EXPECT_TRUE(GetPressure(&a, &b));
  EXPECT_TRUE(std::isfinite(a) && std::isfinite(b));
  unsigned char eeprom[48] = {};
  EXPECT_TRUE(UploadMemory(0xF00000, 48, eeprom));
  EXPECT_EQ(eeprom[0], 17);  // the image's layout version
  EXPECT_GE(bus.seen().packetsOut, 5);
  UsbPortClose();
}

TEST_F(ExportsOnEmulatedBus, QX5CmdRunsOverLibusb) {
  const std::string command = "env -u QX5SIM " + bus.environment() +
                              " " QX5_BIN_DIR "/qx5cmd -d=0 GetSerialNumber GetPressure 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char chunk[512];
  while (std::fgets(chunk, sizeof chunk, pipe)) output += chunk;
  EXPECT_EQ(pclose(pipe), 0) << output;
  EXPECT_NE(output.find("10001"), std::string::npos) << output;
  EXPECT_GE(bus.seen().packetsOut, 3) << output;
}

// What the gauge on the emulated bus said, recorded through libusb, is what its recording says
// again with no bus and no model behind it.
TEST_F(ExportsOnEmulatedBus, ARunRecordedOverLibusbReplaysStrictWithTheSameOutput) {
  TempDir dir;
  const std::string recording = dir.file("usb.rec");
  const auto run = [](const std::string& environment) {
    const std::string command =
        "env -u QX5SIM -u QX5SIM_REPLAY " + environment +
        " " QX5_BIN_DIR "/qx5cmd -d=0 GetSerialNumber GetQX5FirmwareVersion GetPressure 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe)) output += chunk;
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
  };
  const std::string recorded = run(bus.environment() + " QX5_RECORD=" + recording);
  EXPECT_NE(recorded.find("GetSerialNumber          10001"), std::string::npos) << recorded;
  const std::string text = readFile(recording);
  EXPECT_NE(text.find("\ngauge g0 path usb#vid_04d8&pid_000c#"), std::string::npos) << text;
  EXPECT_NE(text.find("\ngauge g0 firmware 3.05\n"), std::string::npos) << text;
  EXPECT_EQ(run("QX5SIM=" + recording + " QX5SIM_REPLAY=strict"), recorded);
}

}  // namespace
}  // namespace qx5::test

int main(int argc, char** argv) {
  if (!qx5::test::runUnderUmockdev(argv)) {
    std::fprintf(stderr, "cannot run under umockdev's preload library\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
