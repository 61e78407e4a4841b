// The device memory record: the simulated gauge's device and range tables,
// walked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

struct Record {
  explicit Record(QX5DeviceMemory value) : m(value) {}
  ~Record() {
    for (SAFEARRAY* a : {m.deviceIndices, m.rangeCounts, m.deviceNames, m.rangeNames})
      SafeArrayDestroy(a);
  }
  static ULONG elements(const SAFEARRAY* a) { return a ? a->rgsabound[0].cElements : 0; }
  std::uint8_t byteAt(SAFEARRAY* a, LONG i) const {
    std::uint8_t value = 0xEE;
    SafeArrayGetElement(a, &i, &value);
    return value;
  }
  BSTR nameAt(LONG i) const { return static_cast<BSTR*>(m.deviceNames->pvData)[i]; }
  const VARIANT& rangesAt(LONG i) const { return static_cast<VARIANT*>(m.rangeNames->pvData)[i]; }
  // Range r of device d, as UTF-16.
  std::u16string rangeName(LONG d, LONG r) const {
    const VARIANT& v = rangesAt(d);
    BSTR text = static_cast<BSTR*>(v.parray->pvData)[r];
    if (!text) return u"<empty>";
    std::u16string wide(SysStringByteLen(text) / 2, u'\0');
    std::memcpy(wide.data(), text, wide.size() * 2);
    return wide;
  }
  QX5DeviceMemory m;
};

TEST(DeviceMemory, HoldsEveryDeviceAndRange) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  Record record(GetDeviceMemory());
  ASSERT_EQ(record.m.numberOfDevices, 4);
  for (SAFEARRAY* a :
       {record.m.deviceIndices, record.m.rangeCounts, record.m.deviceNames, record.m.rangeNames}) {
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->cDims, 1);
    EXPECT_EQ(Record::elements(a), 4u);
    EXPECT_EQ(a->rgsabound[0].lLbound, 0);
    EXPECT_TRUE(a->fFeatures & FADF_HAVEVARTYPE);
  }
  EXPECT_TRUE(record.m.deviceNames->fFeatures & FADF_BSTR);
  EXPECT_TRUE(record.m.rangeNames->fFeatures & FADF_VARIANT);
  const std::uint8_t rangeCounts[] = {4, 3, 5, 1};
  for (LONG d = 0; d < 4; ++d) {
    EXPECT_EQ(record.byteAt(record.m.deviceIndices, d), d);
    EXPECT_EQ(record.byteAt(record.m.rangeCounts, d), rangeCounts[d]);
    EXPECT_EQ(record.rangesAt(d).vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(Record::elements(record.rangesAt(d).parray), rangeCounts[d]);
  }
  // Device names as 8-bit text, range names as UTF-16.
  EXPECT_EQ(bstrBytes(record.nameAt(0)), "Fan Model 3");
  EXPECT_EQ(bstrBytes(record.nameAt(3)), "Pressure Only");
  EXPECT_EQ(record.rangeName(0, 1), u"Ring A");
  EXPECT_EQ(record.rangeName(2, 4), u"Ring 4");
  // The walk leaves the last device and range selected.
  EXPECT_EQ(sim.gauge()->settings.device, 3);
}

TEST(DeviceMemory, SkipsADeviceThatCannotBeSelected) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  // Selecting device 1 (the only one with three ranges) is answered with a wrong echo, twice.
  sim::SimulatedUsbPlatform::setTimeoutCeilingMs(20);
  sim.editReply = [](Bytes& reply) {
    if (reply.size() > 8 && reply[7] == 19 && reply[8] == 3) reply[7] = 0x55;
  };
  Record record(GetDeviceMemory());
  sim.editReply = nullptr;
  ASSERT_EQ(record.m.numberOfDevices, 4);
  EXPECT_EQ(record.byteAt(record.m.deviceIndices, 1), 0);
  EXPECT_EQ(record.byteAt(record.m.rangeCounts, 1), 0);
  EXPECT_EQ(record.nameAt(1), nullptr);
  EXPECT_EQ(record.rangesAt(1).vt, VT_EMPTY);
  EXPECT_EQ(record.byteAt(record.m.deviceIndices, 2), 2);
  EXPECT_EQ(bstrBytes(record.nameAt(2)), "Duct Fan");
}

TEST(DeviceMemory, TakesLongNamesAndConvertsTheCodePage) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  // The gauge answers with names longer than any fixed buffer would hold.
  sim.editReply = [](Bytes& reply) {
    reply.resize(64, 0);
    if (reply[7] == 33) {
      reply[5] = 40;
      std::memset(reply.data() + 8, 'D', 40);
    } else if (reply[7] == 48) {
      reply[5] = 30;
      std::memset(reply.data() + 8, 0x80, 30);
    }
  };
  BSTR deviceName = GetDeviceName();
  BSTR rangeName = GetDeviceRange();
  const std::string device = bstrBytes(deviceName);
  const std::string range = bstrBytes(rangeName);
  SysFreeString(deviceName);
  SysFreeString(rangeName);
  Record record(GetDeviceMemory());
  sim.editReply = nullptr;
  ASSERT_EQ(record.m.numberOfDevices, 4);
  EXPECT_EQ(bstrBytes(record.nameAt(0)), device);
  EXPECT_EQ(record.rangeName(0, 0), std::u16string(range.size(), u'\u20AC'));
}

}  // namespace
}  // namespace qx5::test
