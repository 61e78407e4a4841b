// The libusb binding under the device list, against a stand-in libusb whose interface claims
// follow the kernel's rule: one claim per interface, dropped when its handle closes.
#include <gtest/gtest.h>

#include <vector>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/LibusbPlatform.h"
#include "qx5_dll/transport/mchpusb.h"

namespace qx5::platform {
namespace {

const std::string kFakeLibusb = std::string(QX5_BIN_DIR) + "/../fakelib/libfakeusb.so";

class FakeLibusb {
 public:
  FakeLibusb() : library_(kFakeLibusb) {}
  bool loaded() const { return library_.isLoaded(); }
  void attach(std::vector<int> ports) {
    call<void (*)(const int*, int)>("FakeUsbAttach")(ports.data(), static_cast<int>(ports.size()));
  }
  int openHandles() { return call<int (*)()>("FakeUsbOpenHandles")(); }

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
}  // namespace qx5::platform
