// Identity, calibration and housekeeping exports against a simulated gauge: the exact packet
// each call writes and what it makes of the reply.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>

#include "qx5_dll/platform/LocalTime.h"
#include "support/FakeGaugeBus.h"
#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

std::string text(BSTR value) {
  if (!value) return "<null>";
  std::string result = bstrBytes(value);
  SysFreeString(value);
  return result;
}
std::string flag(bool value) { return value ? "true" : "false"; }

struct Row {
  const char* name;
  std::string config;                           // .gauge keys
  std::function<void(sim::Gauge&)> arrange;     // gauge state before the call
  std::function<void(Bytes& reply)> editReply;  // what the gauge answers instead
  std::function<std::string()> call;            // the export, its result as text
  std::vector<Bytes> sent;                      // every packet written, in order
  std::function<std::string(const Bytes& reply)> expected;
};

// Listings and failure messages show the case by name rather than as a dump of its bytes.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

auto is(std::string value) {
  return [value](const Bytes&) { return value; };
}

std::string twentyEight(char c) { return std::string(28, c); }

std::vector<Row> rows() {
  static float slope = 0;
  static unsigned char slopeByte = 0;
  static BSTR company = nullptr;
  const platform::LocalTime today = platform::localTimeNow();
  std::vector<Row> r = {
      {"GetSerialNumber",
       "serial = 4242",
       {},
       {},
       [] { return std::to_string(GetSerialNumber()); },
       {command(30)},
       is("4242")},
      {"SetSerialNumber",
       "",
       {},
       {},
       [] {
         std::int32_t serial = 77777;  // 0x00012FD1
         const bool done = SetSerialNumber(&serial);
         return flag(done) + " " + std::to_string(GetSerialNumber());
       },
       {command(29, {{8, 0xD1}, {9, 0x2F}, {10, 0x01}}), command(30)},
       is("true 77777")},
      {"FirmwareVersionKeepsBlanks",
       "firmware = QX5  2.05 B",
       {},
       {},
       [] { return text(GetQX5FirmwareVersion()); },
       {command(45)},
       is("QX5  2.05 B")},
      {"FirmwareVersionCutToFortyCharacters",
       "",
       {},
       [](Bytes& reply) {
         reply[5] = 56;
         std::fill(reply.begin() + 8, reply.end(), 'v');
       },
       [] { return text(GetQX5FirmwareVersion()); },
       {command(45)},
       is(std::string(40, 'v'))},
      {"FirmwareVersionNeverPastTheReceivedBytes",
       "",
       {},
       [](Bytes& reply) {
         reply.resize(12);
         reply[5] = 40;
         std::memcpy(reply.data() + 8, "V1.2", 4);
       },
       [] { return text(GetQX5FirmwareVersion()); },
       {command(45)},
       is("V1.2")},
      {"IsMkII", "mkii = yes", {}, {}, [] { return flag(IsQX5MKII()); }, {command(62)}, is("true")},
      {"IsMkIIOnlyForItsOwnCode",
       "mkii = yes",
       {},
       [](Bytes& reply) { reply[8] = 1; },
       [] { return flag(IsQX5MKII()); },
       {command(62)},
       is("false")},
      {"IsModelA",
       "model_a = yes",
       {},
       {},
       [] { return flag(IsQX5A()); },
       {command(63)},
       is("true")},
      {"IsNotModelA",
       "model_a = no",
       {},
       {},
       [] { return flag(IsQX5A()); },
       {command(63)},
       is("false")},
      {"UsbCpuVersionIsMajorDotMinor",
       "usb_cpu = 1.5",
       {},
       {},
       [] { return text(GetUSBCPUVersion()); },
       {Bytes{0x00}},
       is("1.5")},
      {"ResetUsbCpuWritesOneByte",
       "",
       {},
       {},
       [] { return flag(ResetUSBCPU()); },
       {Bytes{0xFF}},
       is("true")},
      {"CalibrationDateAsYearMonthDay",
       "",
       [](sim::Gauge& g) {
         g.settings.calibration = {5, 7, 2010};
       },
       {},
       [] { return text(GetCalibrationDate()); },
       {command(49)},
       is("2010-07-05")},
      {"CalibrationDateCutToElevenCharacters",
       "",
       {},
       [](Bytes& reply) {
         reply[8] = 200;
         reply[9] = 100;
         reply[10] = 0xFF;
         reply[11] = 0xFF;
       },
       [] { return text(GetCalibrationDate()); },
       {command(49)},
       is("65535-100-2")},
      {"SetDateSendsToday",
       "",
       {},
       {},
       [] { return flag(SetDate()); },
       {command(50, {{8, static_cast<std::uint8_t>(today.day)},
                     {9, static_cast<std::uint8_t>(today.month)},
                     {10, static_cast<std::uint8_t>(today.year & 0xFF)},
                     {11, static_cast<std::uint8_t>(today.year >> 8)}})},
       is("true")},
      {"SetCalibrationRange",
       "",
       {},
       {},
       [] { return flag(SetCalibrationRange(3)); },
       {command(5, {{8, 3}})},
       is("true")},
      {"HardwareSlopeWriteAtEightPlusIndex",
       "",
       {},
       {},
       [] {
         slopeByte = 0x5A;
         return flag(ReadWriteHardwareSlope(0, 2, &slopeByte));
       },
       {command(8, {{10, 0x5A}})},
       is("true")},
      {"HardwareSlopeLastWritableIndex",
       "",
       {},
       {},
       [] {
         slopeByte = 0x77;
         return flag(ReadWriteHardwareSlope(0, 27, &slopeByte));
       },
       {command(8, {{35, 0x77}})},
       is("true")},
      {"HardwareSlopeWriteBeyondThePacketRefused",
       "",
       {},
       {},
       [] { return flag(ReadWriteHardwareSlope(0, 28, &slopeByte)); },
       {},
       is("false")},
      {"HardwareSlopeReadFromEightPlusIndex",
       "",
       [](sim::Gauge& g) { g.settings.hardwareSlopes[2] = 0x33; },
       {},
       [] {
         slopeByte = 0;
         const bool done = ReadWriteHardwareSlope(1, 2, &slopeByte);
         return flag(done) + " " + std::to_string(slopeByte);
       },
       {command(7)},
       is("true 51")},
      {"HardwareSlopeReadsTheLastReplyByte",
       "",
       {},
       [](Bytes& reply) { reply[63] = 0x44; },
       [] {
         const bool done = ReadWriteHardwareSlope(1, 55, &slopeByte);
         return flag(done) + " " + std::to_string(slopeByte);
       },
       {command(7)},
       is("true 68")},
      {"HardwareSlopeReadBeyondTheReplyRefused",
       "",
       {},
       {},
       [] { return flag(ReadWriteHardwareSlope(1, 56, &slopeByte)); },
       {},
       is("false")},
      {"SoftwareSlopeWriteSendsWireValueAndKeepsIt",
       "",
       {},
       {},
       [] {
         slope = 1023.0f;
         const bool done = ReadWriteSoftwareSlope(0, 1, 2, &slope);
         return flag(done) + " " + std::to_string(slope);
       },
       {command(3, {{12, 0x00}, {13, 0x00}, {14, 0x40}, {15, 0x40}, {16, 1}, {17, 2}})},
       is("true 3.000000")},
      {"SoftwareSlopeReadScalesBack",
       "",
       [](sim::Gauge& g) { g.settings.softwareSlopes[2][1] = 3.0f; },
       {},
       [] {
         slope = 0;
         const bool done = ReadWriteSoftwareSlope(1, 1, 2, &slope);
         return flag(done) + " " + std::to_string(slope);
       },
       {command(2, {{16, 1}, {17, 2}})},
       is("true 1023.000000")},
      {"CompanyNameOfFortyBytesSendsTwentyEight",
       "",
       {},
       {},
       [] {
         std::string name = twentyEight('A') + "BBBBBBBBBBBB";
         company = SysAllocStringByteLen(name.data(), 40);
         const bool done = SetCompanyName(&company);
         SysFreeString(company);
         return flag(done) + " " + text(GetCompanyName());
       },
       {[] {
          std::map<int, std::uint8_t> p{{8, 28}};
          for (int i = 9; i < 37; ++i) p[i] = 'A';
          return command(57, p, 37);
        }(),
        command(58)},
       is("true " + twentyEight('A'))},
      {"CompanyNameSendsItsZeroByte",
       "",
       {},
       {},
       [] {
         company = SysAllocStringByteLen("Acme Gauge\0", 11);
         const bool done = SetCompanyName(&company);
         SysFreeString(company);
         return flag(done) + " " + text(GetCompanyName());
       },
       {command(57, {{8, 11},
                     {9, 'A'},
                     {10, 'c'},
                     {11, 'm'},
                     {12, 'e'},
                     {13, ' '},
                     {14, 'G'},
                     {15, 'a'},
                     {16, 'u'},
                     {17, 'g'},
                     {18, 'e'}}),
        command(58)},
       is("true Acme Gauge")},
      {"CompanyNameWithoutLeadingBlanks",
       "",
       [](sim::Gauge& g) { g.settings.company = "   Acme"; },
       {},
       [] { return text(GetCompanyName()); },
       {command(58)},
       is("Acme")},
      {"CompanyNameAtMostTwentyEight",
       "",
       {},
       [](Bytes& reply) { std::fill(reply.begin() + 8, reply.end(), 'c'); },
       [] { return text(GetCompanyName()); },
       {command(58)},
       is(twentyEight('c'))},
      {"EnableCompanyNameSendsOne",
       "",
       {},
       {},
       [] { return flag(EnableCompanyName(5)); },
       {command(59, {{8, 1}})},
       is("true")},
      {"DisableCompanyNameWithZeroEnables",
       "",
       {},
       {},
       [] { return flag(DisableCompanyName(0)); },
       {command(59, {{8, 1}})},
       is("true")},
      {"DisableCompanyNameDisables",
       "",
       {},
       {},
       [] { return flag(DisableCompanyName(7)); },
       {command(59, {{8, 0}})},
       is("true")},
      {"PowerDownHour",
       "",
       [](sim::Gauge& g) { g.settings.powerDownHour = 9; },
       {},
       [] { return std::to_string(GetPowerDownHour()); },
       {command(64)},
       is("9")},
      {"SetPowerDownHour",
       "",
       {},
       {},
       [] {
         const bool done = SetPowerDownHour(11);
         return flag(done) + " " + std::to_string(GetPowerDownHour());
       },
       {command(65, {{8, 11}}), command(64)},
       is("true 11")},
      {"BatteryLevelUnscaled",
       "",
       {},
       {},
       [] { return std::to_string(GetBatteryLevel()); },
       {command(44)},
       [](const Bytes& reply) { return std::to_string(reply.at(8) | reply.at(9) << 8); }},
      {"SaveToEeprom", "", {}, {}, [] { return flag(SaveToEEPROM()); }, {command(28)}, is("true")},
      {"RestoreFactoryDefault",
       "",
       {},
       {},
       [] { return flag(RestoreFactoryDefault()); },
       {command(46)},
       is("true")},
  };
  return r;
}

class IdentityExports : public ::testing::TestWithParam<Row> {
 protected:
  SimulatedLibrary sim;
};

TEST_P(IdentityExports, SendsExactlyAndDecodes) {
  const Row& row = GetParam();
  sim.plugIn("g0", row.config);
  ASSERT_TRUE(sim.attach());
  if (row.arrange) row.arrange(*sim.gauge());
  if (row.editReply) sim.editReply = SimulatedLibrary::onFullPacket(row.editReply);
  const std::string result = row.call();
  EXPECT_EQ(sim.sent(), row.sent);
  EXPECT_EQ(result, row.expected(sim.lastReply()));
}

INSTANTIATE_TEST_SUITE_P(Table, IdentityExports, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return std::string(info.param.name); });

// Days past the month's end, month 0 or 13, years before 1900: refused without a packet.
TEST(IdentityExports, CustomDateIsCheckedBeforeSending) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  struct Date {
    std::uint32_t year;
    unsigned char month, day;
    bool valid;
  };
  const Date dates[] = {{2000, 2, 29, true},  {2004, 2, 29, true},  {1900, 2, 29, false},
                        {2010, 2, 29, false}, {2010, 2, 28, true},  {2010, 4, 31, false},
                        {2010, 4, 30, true},  {2010, 12, 31, true}, {2010, 13, 1, false},
                        {2010, 0, 1, false},  {2010, 1, 0, false},  {1899, 1, 1, false},
                        {1900, 1, 1, true},   {0, 1, 1, false}};
  for (const Date& d : dates) {
    SCOPED_TRACE(std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
                 std::to_string(d.day));
    EXPECT_EQ(SetCustomDate(d.year, d.month, d.day), d.valid);
    const std::vector<Bytes> expected =
        d.valid ? std::vector<Bytes>{command(50, {{8, d.day},
                                                  {9, d.month},
                                                  {10, static_cast<std::uint8_t>(d.year)},
                                                  {11, static_cast<std::uint8_t>(d.year >> 8)}})}
                : std::vector<Bytes>{};
    EXPECT_EQ(sim.sent(), expected);
  }
  // The gauge keeps 16 bits of the year.
  EXPECT_TRUE(SetCustomDate(70000, 1, 2));
  EXPECT_EQ(sim.sent(), std::vector<Bytes>{command(50, {{8, 2}, {9, 1}, {10, 0x70}, {11, 0x11}})});
}

// A silent gauge: every export gives its failure value or placeholder.
TEST(IdentityExports, FailedExchangesGiveTheFailureValues) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.silence();
  unsigned char byte = 7;
  float value = 2.5f;
  std::int32_t serial = 5;
  EXPECT_EQ(GetSerialNumber(), -1);
  EXPECT_FALSE(SetSerialNumber(&serial));
  EXPECT_EQ(text(GetQX5FirmwareVersion()), "---");
  EXPECT_EQ(text(GetCompanyName()), "--");
  EXPECT_EQ(text(GetCalibrationDate()), "yyyy-mm-dd");
  EXPECT_FALSE(IsQX5MKII());
  EXPECT_FALSE(IsQX5A());
  EXPECT_EQ(GetPowerDownHour(), 0);
  EXPECT_EQ(GetBatteryLevel(), 0);
  EXPECT_FALSE(ReadWriteHardwareSlope(1, 0, &byte));
  EXPECT_EQ(byte, 7);
  EXPECT_FALSE(ReadWriteSoftwareSlope(1, 0, 0, &value));
  EXPECT_EQ(value, 2.5f);
  EXPECT_FALSE(SaveToEEPROM());
  EXPECT_FALSE(SetDate());
  // The company name the caller passed is replaced, not released: it is still the caller's.
  BSTR mine = bstrOf("Acme");
  BSTR name = mine;
  EXPECT_FALSE(SetCompanyName(&name));
  EXPECT_NE(name, mine);
  EXPECT_EQ(text(name), "Reply not received from QX5");
  EXPECT_EQ(text(mine), "Acme");
  EXPECT_EQ(text(GetUSBCPUVersion()), "major.minor");
  EXPECT_TRUE(ResetUSBCPU());  // no reply is read for the reset
}

TEST(IdentityExports, ResultLinesAndErrorsAreLogged) {
  SimulatedLibrary sim;
  sim.plugIn("g0", "firmware = FW 1.0\nmkii = yes");
  ASSERT_TRUE(sim.attach());
  const std::string log = capturedLog([] {
    SysFreeString(GetQX5FirmwareVersion());
    IsQX5MKII();
    SysFreeString(GetCalibrationDate());
    ResetUSBCPU();
  });
  EXPECT_NE(log.find("GetQX5FirmwareVersion = \"FW 1.0\""), std::string::npos) << log;
  EXPECT_NE(log.find("IsQX5MKII = True"), std::string::npos);
  EXPECT_NE(log.find("GetCalibrationData = \"2012-03-15\""), std::string::npos);
  EXPECT_NE(log.find("ResetUSBCPU - success"), std::string::npos);
  sim.editReply = [](Bytes& reply) { reply[5] = 50; };
  SysFreeString(GetQX5FirmwareVersion());
  EXPECT_NE(text(GetErrorMessage()).find("length is 50, but max is 40"), std::string::npos);
}

}  // namespace
}  // namespace qx5::test

namespace qx5::test {
namespace {

// Initialising exports start the library themselves; early ones count on an earlier call and
// fail without it.
TEST(IdentityExports, EachExportInitialisesOrNotAsItsGroupSays) {
  SimulatedLibrary sim(0);
  static unsigned char byte = 0;
  static float value = 0;
  static std::int32_t serial = 1;
  static std::uint8_t bytes[64] = {};
  static std::uint32_t length = 0;
  static BSTR name = nullptr;
  const std::pair<const char*, std::function<void()>> initialising[] = {
      {"GetQX5FirmwareVersion", [] { SysFreeString(GetQX5FirmwareVersion()); }},
      {"IsQX5MKII", [] { IsQX5MKII(); }},
      {"IsQX5A", [] { IsQX5A(); }},
      {"GetUSBCPUVersion", [] { SysFreeString(GetUSBCPUVersion()); }},
      {"ResetUSBCPU", [] { ResetUSBCPU(); }},
      {"GetCalibrationDate", [] { SysFreeString(GetCalibrationDate()); }},
      {"SetDate", [] { SetDate(); }},
      {"SetCustomDate", [] { SetCustomDate(2010, 1, 1); }},
      {"ReadWriteHardwareSlope", [] { ReadWriteHardwareSlope(1, 0, &byte); }},
      {"ReadWriteSoftwareSlope", [] { ReadWriteSoftwareSlope(1, 0, 0, &value); }},
      {"SetCompanyName", [] { SetCompanyName(&name); }},
      {"GetCompanyName", [] { SysFreeString(GetCompanyName()); }},
      {"EnableCompanyName", [] { EnableCompanyName(1); }},
      {"DisableCompanyName", [] { DisableCompanyName(1); }},
      {"GetPowerDownHour", [] { GetPowerDownHour(); }},
      {"SetPowerDownHour", [] { SetPowerDownHour(1); }},
      {"GetBatteryLevel", [] { GetBatteryLevel(); }},
      {"SaveToEEPROM", [] { SaveToEEPROM(); }},
  };
  const std::pair<const char*, std::function<bool()>> early[] = {
      {"RestoreFactoryDefault", [] { return RestoreFactoryDefault(); }},
      {"SetSerialNumber", [] { return SetSerialNumber(&serial); }},
      {"SetCalibrationRange", [] { return SetCalibrationRange(1); }},
      {"GetQX5TickCount", [] { return GetQX5TickCount() != 0xFFFFFFFF; }},
      {"GetLcdRow", [] { return GetLcdRow(0, bytes); }},
      {"UploadMemory", [] { return UploadMemory(0, 4, bytes); }},
      {"DownloadMemory", [] { return DownloadMemory(0, 4, bytes); }},
      {"EraseMemory", [] { return EraseMemory(0, 4); }},
      {"RunTest", [] { return RunTest(3, 0, nullptr, &length, bytes); }},
      {"DoBoot", [] { return DoBoot(1); }},
      {"GetChipset", [] { return GetChipset() != 0xFFFFFFFF; }},
  };
  for (const auto& [export_, call] : initialising) {
    SCOPED_TRACE(export_);
    api::ResetLibraryState();
    call();
    EXPECT_NE(api::library().deviceList, nullptr);
  }
  SysFreeString(name);  // what SetCompanyName put there when its exchange failed
  for (const auto& [export_, call] : early) {
    SCOPED_TRACE(export_);
    api::ResetLibraryState();
    EXPECT_FALSE(call());
    EXPECT_EQ(api::library().deviceList, nullptr);
  }
}

}  // namespace
}  // namespace qx5::test
