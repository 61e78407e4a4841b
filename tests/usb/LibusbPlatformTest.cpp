#include <gtest/gtest.h>

#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/libusb/LibusbPlatform.h"

namespace qx5::usb {
using namespace qx5::platform;  // error codes, run-time loading
namespace {

TEST(LibusbPlatform, MissingLibraryMakesAnIncompleteBindingThatFailsEveryCall) {
  auto usb = createLibusbPlatform("libusb-absent.so.0");
  EXPECT_FALSE(usb->isComplete());
  EXPECT_NE(std::string(usb->name()).find("cannot load libusb-absent.so.0"), std::string::npos);
  EXPECT_FALSE(usb->beginEnumeration());
  std::string path;
  EXPECT_FALSE(usb->interfacePath(0, path));
  EXPECT_EQ(usb->openDevice("usb#vid_04d8&pid_000c#1-1"), kInvalidDeviceHandle);
  std::uint8_t byte = 0;
  std::uint32_t count = 0;
  EXPECT_FALSE(usb->writePipe(1, 1, &byte, 1, count));
  EXPECT_FALSE(usb->readPipe(1, 0x81, &byte, 1, count));
  EXPECT_EQ(usb->lastError(), kErrorNotSupported);
}

TEST(LibusbPlatform, LibraryWithoutTheFunctionsIsIncomplete) {
  auto usb = createLibusbPlatform("libc.so.6");
  EXPECT_FALSE(usb->isComplete());
  EXPECT_NE(std::string(usb->name()).find("lacks a function"), std::string::npos);
}

TEST(LibusbPlatform, PathsCarryLowerCaseIdentifiers) {
  EXPECT_EQ(libusbInterfacePath(1, "4.2", 0x04D8, 0x000C),
            "usb#vid_04d8&pid_000c#1-4.2#{5354fa28-6d14-4e35-a1f5-75bb54e6030f}");
  EXPECT_EQ(libusbInterfacePath(3, "1", 0x046D, 0xC52B).find("vid_04d8&pid_000c"),
            std::string::npos);
}

TEST(LibusbPlatform, RealLibraryEnumeratesToAnEnd) {
  auto usb = createLibusbPlatform();
  if (!usb->isComplete()) GTEST_SKIP() << usb->name();
  ASSERT_TRUE(usb->beginEnumeration());
  std::string path;
  std::uint32_t member = 0;
  while (usb->interfacePath(member, path)) {
    EXPECT_EQ(path.rfind("usb#vid_", 0), 0u) << path;
    ++member;
  }
  EXPECT_TRUE(usb->isEndOfList(usb->lastError()));
  usb->endEnumeration();
  EXPECT_EQ(usb->openDevice("usb#vid_04d8&pid_000c#99-9"), kInvalidDeviceHandle);
  EXPECT_FALSE(usb->closeDevice(12345));  // never opened
}

}  // namespace
}  // namespace qx5::usb
