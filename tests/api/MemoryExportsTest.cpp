// Memory, test routine, boot switch, chipset, LCD and tick count exports against a simulated
// gauge: packet sizes, big-endian addresses, little-endian erase length, refused counts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "api/SimulatedGaugeLibrary.h"

namespace qx5::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

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
std::string dataPacket(std::uint8_t code, std::uint32_t address, const Bytes& data) {
  std::map<int, std::uint8_t> p{{8, static_cast<std::uint8_t>(address >> 24)},
                                {9, static_cast<std::uint8_t>(address >> 16)},
                                {10, static_cast<std::uint8_t>(address >> 8)},
                                {11, static_cast<std::uint8_t>(address)},
                                {12, static_cast<std::uint8_t>(data.size())}};
  for (std::size_t i = 0; i < data.size(); ++i) p[13 + static_cast<int>(i)] = data[i];
  return packet(code, p, static_cast<std::uint8_t>(13 + data.size()));
}

// The caller's buffer with guard bytes after what the export may write.
Bytes buffer(0);

struct Row {
  const char* name;
  std::string config;
  std::function<void(Bytes& reply)> editReply;
  std::function<std::string()> call;
  std::vector<std::string> sent;
  std::function<std::string(const Bytes& reply)> expected;
};

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
       {packet(72, {{9, 0x12}, {10, 0x34}, {11, 0x56}, {12, 48}})},
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
       {packet(72, {{9, 0xF0}, {12, 56}})},
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
       {"38 0e 01 01 0b 06 00 4a 00 01 00 00 00 08"},
       [](const Bytes& reply) { return flag(reply.at(8) != 0); }},
      {"EraseKeepsSixteenBitsOfTheLength",
       "",
       {},
       [] { return flag(EraseMemory(0xF00000, 0x10010)); },
       {"38 0e 01 01 0b 06 00 4a 00 f0 00 00 10 00"},
       is("true")},
      {"EraseRefusedByTheGauge",
       "fault = refuse-erase",
       {},
       [] { return flag(EraseMemory(0xF00000, 16)); },
       {"38 0e 01 01 0b 06 00 4a 00 f0 00 00 10 00"},
       is("false")},
      {"BootSwitchSendsNineBytes",
       "",
       {},
       [] { return flag(DoBoot(1)); },
       {"38 09 01 01 0b 01 00 4b 01"},
       is("true")},
      {"ChipsetIsTheBareHeader",
       "chipset = 4660",
       {},
       [] { return std::to_string(GetChipset()); },
       {"38 08 01 01 0b 00 00 4d"},
       is("4660")},
      {"TickCount",
       "",
       {},
       [] { return std::to_string(GetQX5TickCount()); },
       {packet(70)},
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
       {packet(71, {{8, 3}})},
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

class MemoryExports : public SimulatedGaugeLibrary, public ::testing::WithParamInterface<Row> {};

TEST_P(MemoryExports, SendsExactlyAndDecodes) {
  const Row& row = GetParam();
  plugIn("g0", row.config);
  open();
  if (row.editReply) {
    simulator->edit = [&](std::uint8_t* reply, std::uint32_t& received) {
      Bytes bytes(reply, reply + received);
      bytes.resize(64, 0);
      row.editReply(bytes);
      received = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 64));
      std::copy_n(bytes.begin(), received, reply);
    };
  }
  const std::string result = row.call();
  simulator->edit = nullptr;
  EXPECT_EQ(sent(), row.sent);
  const auto replies = received();
  Bytes lastReply = replies.empty() ? Bytes{} : bytesOf("< g0 " + replies.back());
  lastReply.resize(64, 0);
  if (row.editReply) row.editReply(lastReply);
  EXPECT_EQ(result, row.expected(lastReply));
}

INSTANTIATE_TEST_SUITE_P(Table, MemoryExports, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedGaugeLibrary, BootSwitchBothWays) {
  open();
  EXPECT_TRUE(DoBoot(0));
  BSTR version = GetQX5FirmwareVersion();
  EXPECT_NE(std::string(version).find("BOOT"), std::string::npos);
  SysFreeString(version);
  EXPECT_EQ(GetSerialNumber(), 5555555);
}

TEST_F(SimulatedGaugeLibrary, FailedMemoryExchangesLeaveBuffersAlone) {
  open();
  simulator->mute = true;
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

struct GaugeSorting : SimulatedGaugeLibrary {
  // Gauges answering the probe with these kinds, opened.
  void gauges(std::vector<int> kinds) {
    for (std::size_t i = 0; i < kinds.size(); ++i)
      plugIn("g" + std::to_string(i), "kind = " + std::to_string(kinds[i]));
    open(kinds.size());
  }
  // The gauges that received the port A probe (command 0).
  std::vector<std::string> probed() const {
    std::vector<std::string> names;
    for (const std::string& line : sentLines()) {
      const Bytes bytes = bytesOf(line);
      if (bytes.size() == 36 && bytes[7] == 0)
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
  }
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
  mark();
  EXPECT_FALSE(GetQX5PortId(&none.array, &firstCount, &some.array, &secondCount));
  EXPECT_FALSE(GetQX5PortId(&some.array, &firstCount, &none.array, &secondCount));
  EXPECT_FALSE(GetQX5PortId(&some.array, &firstCount, nullptr, &secondCount));
  EXPECT_TRUE(sentLines().empty());
  EXPECT_EQ(firstCount, 0xEE);
  EXPECT_EQ(some.values(), (std::vector<std::uint32_t>{0xEE, 0xEE, 0xEE, 0xEE}));
  // One element leaves no room for a gauge: nothing probed.
  SortingArray one(1);
  EXPECT_FALSE(GetQX5PortId(&one.array, &firstCount, &some.array, &secondCount));
  EXPECT_TRUE(probed().empty());
}

}  // namespace
}  // namespace qx5::test
