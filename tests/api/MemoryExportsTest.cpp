// Memory, test routine, boot switch, chipset, LCD and tick count exports against a simulated
// gauge: packet sizes, big-endian addresses, little-endian erase length, refused counts.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <ostream>

#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

std::string flag(bool value) { return value ? "true" : "false"; }
Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + static_cast<long>(from),
               bytes.begin() + static_cast<long>(from + count));
}
Bytes counting(std::size_t count, std::uint8_t first = 1) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}
// A data request as the gauge must see it: address, count, the bytes, its own length.
Bytes dataPacket(std::uint8_t code, std::uint32_t address, const Bytes& data) {
  std::map<int, std::uint8_t> p{{8, static_cast<std::uint8_t>(address >> 24)},
                                {9, static_cast<std::uint8_t>(address >> 16)},
                                {10, static_cast<std::uint8_t>(address >> 8)},
                                {11, static_cast<std::uint8_t>(address)},
                                {12, static_cast<std::uint8_t>(data.size())}};
  for (std::size_t i = 0; i < data.size(); ++i) p[13 + static_cast<int>(i)] = data[i];
  return command(code, p, static_cast<std::uint8_t>(13 + data.size()));
}

// The caller's buffer with guard bytes after what the export may write.
Bytes buffer(0);

struct Row {
  const char* name;
  std::string config;
  std::function<void(Bytes& reply)> editReply;
  std::function<std::string()> call;
  std::vector<Bytes> sent;
  std::function<std::string(const Bytes& reply)> expected;
};

// Listings and failure messages show the case by name rather than as a dump of its bytes.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

auto is(std::string value) {
  return [value](const Bytes&) { return value; };
}

std::vector<Row> rows() {
  return {
      {"UploadAddressBigEndianInDefaultPacket",
       "",
       {},
       [] {
         buffer.assign(64, 0xAA);
         const bool done = UploadMemory(1193046, 48, buffer.data());
         return flag(done) + " " + hex(buffer);
       },
       {command(72, {{9, 0x12}, {10, 0x34}, {11, 0x56}, {12, 48}})},
       [](const Bytes& reply) {
         Bytes expected = slice(reply, 8, 48);
         expected.resize(64, 0xAA);
         return "true " + hex(expected);
       }},
      {"UploadOfAWholeReply",
       "",
       {},
       [] {
         buffer.assign(56, 0);
         return flag(UploadMemory(0xF00000, 56, buffer.data()));
       },
       {command(72, {{9, 0xF0}, {12, 56}})},
       is("true")},
      {"UploadBeyondAReplyRefused",
       "",
       {},
       [] {
         buffer.assign(64, 0);
         return flag(UploadMemory(0xF00000, 57, buffer.data()));
       },
       {},
       is("false")},
      {"DownloadOf48BytesSends61",
       "",
       {},
       [] { return flag(DownloadMemory(0xF00010, 48, counting(48).data())); },
       {dataPacket(73, 0xF00010, counting(48))},
       is("true")},
      {"DownloadOfNothingSends13",
       "",
       {},
       [] { return flag(DownloadMemory(0xF00010, 0, nullptr)); },
       {dataPacket(73, 0xF00010, {})},
       is("true")},
      {"DownloadOfAFullRequest",
       "",
       {},
       [] { return flag(DownloadMemory(0xF00000, 51, counting(51).data())); },
       {dataPacket(73, 0xF00000, counting(51))},
       is("true")},
      {"DownloadBeyondARequestRefused",
       "",
       {},
       [] { return flag(DownloadMemory(0xF00000, 52, counting(52).data())); },
       {},
       is("false")},
      {"DownloadRefusedByTheGauge",
       "fault = refuse-write",
       {},
       [] { return flag(DownloadMemory(0xF00000, 4, counting(4).data())); },
       {dataPacket(73, 0xF00000, counting(4))},
       is("false")},
      {"EraseLengthLittleEndianAfterBigEndianAddress",
       "",
       {},
       [] { return flag(EraseMemory(65536, 2048)); },
       {Bytes{0x38, 0x0e, 0x01, 0x01, 0x0b, 0x06, 0x00, 0x4a, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08}},
       [](const Bytes& reply) { return flag(reply.at(8) != 0); }},
      {"EraseKeepsSixteenBitsOfTheLength",
       "",
       {},
       [] { return flag(EraseMemory(0xF00000, 0x10010)); },
       {Bytes{0x38, 0x0e, 0x01, 0x01, 0x0b, 0x06, 0x00, 0x4a, 0x00, 0xf0, 0x00, 0x00, 0x10, 0x00}},
       is("true")},
      {"EraseRefusedByTheGauge",
       "fault = refuse-erase",
       {},
       [] { return flag(EraseMemory(0xF00000, 16)); },
       {Bytes{0x38, 0x0e, 0x01, 0x01, 0x0b, 0x06, 0x00, 0x4a, 0x00, 0xf0, 0x00, 0x00, 0x10, 0x00}},
       is("false")},
      {"BootSwitchSendsNineBytes",
       "",
       {},
       [] { return flag(DoBoot(1)); },
       {Bytes{0x38, 0x09, 0x01, 0x01, 0x0b, 0x01, 0x00, 0x4b, 0x01}},
       is("true")},
      {"ChipsetIsTheBareHeader",
       "chipset = 4660",
       {},
       [] { return std::to_string(GetChipset()); },
       {Bytes{0x38, 0x08, 0x01, 0x01, 0x0b, 0x00, 0x00, 0x4d}},
       is("4660")},
      {"TickCount",
       "",
       {},
       [] { return std::to_string(GetQX5TickCount()); },
       {command(70)},
       [](const Bytes& reply) {
         return std::to_string(reply.at(8) | reply.at(9) << 8 | reply.at(10) << 16 |
                               std::uint32_t{reply.at(11)} << 24);
       }},
      {"LcdRowCopiesSixteenBytes",
       "",
       {},
       [] {
         buffer.assign(20, 0xAA);
         const bool done = GetLcdRow(3, buffer.data());
         return flag(done) + " " + hex(buffer);
       },
       {command(71, {{8, 3}})},
       [](const Bytes& reply) {
         Bytes expected = slice(reply, 8, 16);
         expected.resize(20, 0xAA);
         return "true " + hex(expected);
       }},
      {"RunTestResultAndZerosAfterIt",
       "",
       [](Bytes& reply) { reply[5] = 10; },
       [] {
         buffer.assign(64, 0xAA);
         std::uint32_t length = 0;
         const bool done = RunTest(3, 0, nullptr, &length, buffer.data());
         return flag(done) + " " + std::to_string(length) + " " + hex(buffer);
       },
       {dataPacket(76, 3, {})},
       [](const Bytes& reply) {
         Bytes expected = slice(reply, 8, 10);
         expected.resize(48, 0);
         expected.resize(64, 0xAA);
         return "true 10 " + hex(expected);
       }},
      {"RunTestSendsItsInput",
       "",
       {},
       [] {
         buffer.assign(48, 0);
         std::uint32_t length = 0;
         return flag(RunTest(5, 31, counting(31, 'A').data(), &length, buffer.data()));
       },
       {dataPacket(76, 5, counting(31, 'A'))},
       is("true")},
      {"RunTestNeverWritesPast48Bytes",
       "",
       [](Bytes& reply) { reply[5] = 56; },
       [] {
         buffer.assign(64, 0xAA);
         std::uint32_t length = 0;
         const bool done = RunTest(3, 0, nullptr, &length, buffer.data());
         return flag(done) + " " + std::to_string(length) + " " + hex(slice(buffer, 48, 16));
       },
       {dataPacket(76, 3, {})},
       is("true 48 " + hex(Bytes(16, 0xAA)))},
      {"RunTestNeverPastTheReceivedBytes",
       "",
       [](Bytes& reply) {
         reply.resize(12);
         reply[5] = 10;
       },
       [] {
         buffer.assign(48, 0xAA);
         std::uint32_t length = 0;
         const bool done = RunTest(3, 0, nullptr, &length, buffer.data());
         return flag(done) + " " + std::to_string(length) + " " + hex(slice(buffer, 4, 44));
       },
       {dataPacket(76, 3, {})},
       is("true 4 " + hex(Bytes(44, 0)))},
      {"RunTestBeyondARequestRefused",
       "",
       {},
       [] {
         buffer.assign(48, 0);
         std::uint32_t length = 0;
         return flag(RunTest(5, 52, counting(52).data(), &length, buffer.data()));
       },
       {},
       is("false")},
  };
}

class MemoryExports : public ::testing::TestWithParam<Row> {
 protected:
  SimulatedLibrary sim;
};

TEST_P(MemoryExports, SendsExactlyAndDecodes) {
  const Row& row = GetParam();
  sim.plugIn("g0", row.config);
  ASSERT_TRUE(sim.attach());
  if (row.editReply) sim.editReply = SimulatedLibrary::onFullPacket(row.editReply);
  const std::string result = row.call();
  EXPECT_EQ(sim.sent(), row.sent);
  Bytes lastReply = sim.lastReply();
  lastReply.resize(64, 0);
  EXPECT_EQ(result, row.expected(lastReply));
}

INSTANTIATE_TEST_SUITE_P(Table, MemoryExports, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MemoryExports, BootSwitchBothWays) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  EXPECT_TRUE(DoBoot(0));
  BSTR version = GetQX5FirmwareVersion();
  EXPECT_NE(bstrBytes(version).find("BOOT"), std::string::npos);
  SysFreeString(version);
  EXPECT_EQ(GetSerialNumber(), 5555555);
}

TEST(MemoryExports, FailedMemoryExchangesLeaveBuffersAlone) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.silence();
  Bytes bytes(64, 0xAA);
  std::uint32_t length = 99;
  EXPECT_EQ(GetQX5TickCount(), 0xFFFFFFFFu);
  EXPECT_EQ(GetChipset(), 0xFFFFFFFFu);
  EXPECT_FALSE(UploadMemory(0, 48, bytes.data()));
  EXPECT_FALSE(GetLcdRow(0, bytes.data()));
  EXPECT_FALSE(RunTest(3, 0, nullptr, &length, bytes.data()));
  EXPECT_EQ(bytes, Bytes(64, 0xAA));
  EXPECT_EQ(length, 99u);
  EXPECT_FALSE(DownloadMemory(0xF00000, 4, bytes.data()));
  EXPECT_FALSE(EraseMemory(0xF00000, 4));
  EXPECT_FALSE(DoBoot(1));
}

// Arrays for the gauge sorting: `elements` one-byte (or four-byte) elements, filled with 0xEE.
struct SortingArray {
  explicit SortingArray(ULONG elements, VARTYPE type = VT_UI1) {
    SAFEARRAYBOUND bound{elements, 0};
    array = SafeArrayCreate(type, 1, &bound);
    std::memset(array->pvData, 0xEE, elements * array->cbElements);
  }
  ~SortingArray() { SafeArrayDestroy(array); }
  std::vector<std::uint32_t> values() const {
    std::vector<std::uint32_t> result;
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i)
      result.push_back(array->cbElements == 1
                           ? static_cast<const std::uint8_t*>(array->pvData)[i]
                           : static_cast<const std::uint32_t*>(array->pvData)[i]);
    return result;
  }
  SAFEARRAY* array;
};

struct GaugeSorting : ::testing::Test {
  // Gauges answering the probe with these kinds, opened.
  void gauges(std::vector<int> kinds) {
    for (std::size_t i = 0; i < kinds.size(); ++i)
      sim.plugIn("g" + std::to_string(i), "kind = " + std::to_string(kinds[i]));
    ASSERT_TRUE(sim.attach());
  }
  // The gauges that received the port A probe (command 0).
  std::vector<std::string> probed() {
    std::vector<std::string> names;
    for (const TracedPacket& packet : sim.takeTrace())
      if (packet.direction == '>' && packet.bytes.size() == 36 && packet.bytes[7] == 0)
        names.push_back(packet.gauge);
    return names;
  }
  SimulatedLibrary sim;
  unsigned char firstCount = 0xEE, secondCount = 0xEE;
};

TEST_F(GaugeSorting, ProbesOneGaugeFewerThanTheFirstArrayHolds) {
  gauges({1, 2, 1, 1, 1, 1});
  SortingArray first(4), second(4);
  EXPECT_TRUE(GetQX5PortId(&first.array, &firstCount, &second.array, &secondCount));
  EXPECT_EQ(probed(), (std::vector<std::string>{"g0", "g1", "g2"}));
  EXPECT_EQ(firstCount, 2);
  EXPECT_EQ(first.values(), (std::vector<std::uint32_t>{0, 2, 0xEE, 0xEE}));
  EXPECT_EQ(secondCount, 1);
  EXPECT_EQ(second.values(), (std::vector<std::uint32_t>{1, 0, 0xEE, 0xEE}));
}

TEST_F(GaugeSorting, CountsKeepCountingWhenTheArrayIsFull) {
  gauges({2, 7, 0, 2});
  SortingArray first(5, VT_I4), second(1);
  EXPECT_TRUE(GetQX5PortId(&first.array, &firstCount, &second.array, &secondCount));
  EXPECT_EQ(firstCount, 0);
  EXPECT_EQ(first.values(),
            (std::vector<std::uint32_t>{0, 0xEEEEEEEE, 0xEEEEEEEE, 0xEEEEEEEE, 0xEEEEEEEE}));
  EXPECT_EQ(secondCount, 4);
  EXPECT_EQ(second.values(), (std::vector<std::uint32_t>{0}));
}

TEST_F(GaugeSorting, ArraysWithoutRoomAreRefusedUntouched) {
  gauges({1, 1});
  SortingArray none(0), some(4);
  EXPECT_FALSE(GetQX5PortId(&none.array, &firstCount, &some.array, &secondCount));
  EXPECT_FALSE(GetQX5PortId(&some.array, &firstCount, &none.array, &secondCount));
  EXPECT_FALSE(GetQX5PortId(&some.array, &firstCount, nullptr, &secondCount));
  EXPECT_TRUE(sim.sent().empty());
  EXPECT_EQ(firstCount, 0xEE);
  EXPECT_EQ(some.values(), (std::vector<std::uint32_t>{0xEE, 0xEE, 0xEE, 0xEE}));
  // One element leaves no room for a gauge: nothing probed.
  SortingArray one(1);
  EXPECT_FALSE(GetQX5PortId(&one.array, &firstCount, &some.array, &secondCount));
  EXPECT_TRUE(probed().empty());
}

// A lower bound whose later indices would not fit a LONG is refused before any gauge is probed.
TEST_F(GaugeSorting, ArraysWhoseIndicesWouldWrapAreRefused) {
  gauges({1, 1, 1});
  SAFEARRAYBOUND nearTop{4, INT32_MAX - 1};
  SAFEARRAY* high = SafeArrayCreate(VT_UI1, 1, &nearTop);
  ASSERT_NE(high, nullptr);
  SortingArray some(4);
  EXPECT_FALSE(GetQX5PortId(&high, &firstCount, &some.array, &secondCount));
  EXPECT_FALSE(GetQX5PortId(&some.array, &firstCount, &high, &secondCount));
  EXPECT_TRUE(probed().empty());
  SafeArrayDestroy(high);
  // The highest lower bound that still fits is used as it is.
  SAFEARRAYBOUND fits{4, INT32_MAX - 3};
  SAFEARRAY* top = SafeArrayCreate(VT_UI1, 1, &fits);
  EXPECT_TRUE(GetQX5PortId(&top, &firstCount, &some.array, &secondCount));
  EXPECT_EQ(firstCount, 3);
  SafeArrayDestroy(top);
}

}  // namespace
}  // namespace qx5::test
