// A reply with the right echo that ends early: an export succeeds only when every byte it reads
// arrived; cleared bytes past the end never pass for data (a memory backup of zeros that the
// gauge never sent would later be written back to it).
#include <gtest/gtest.h>

#include "api/WireCases.h"

namespace qx5::test {
namespace {

struct ShortCase {
  const char* label;
  std::size_t replyLength;
  std::function<std::string()> call;
  std::string result;
  bool succeeds = false;
};

unsigned char memory[64];

std::string upload(std::uint32_t count) {
  std::fill(std::begin(memory), std::end(memory), 0xAA);
  const bool ok = UploadMemory(0xF00000, count, memory);
  std::size_t touched = 0;
  for (unsigned char b : memory) touched += b != 0xAA;
  return show(ok) + " " + std::to_string(touched) + " touched";
}

TEST(ShortReply, ExportsSucceedOnlyWithEveryByteTheyRead) {
  const std::vector<ShortCase> cases = {
      {"UploadNothingArrived", 8, [] { return upload(48); }, "false 0 touched"},
      {"UploadPartOfIt", 12, [] { return upload(48); }, "false 0 touched"},
      {"UploadAllThatWasAsked", 12, [] { return upload(4); }, "true 4 touched", true},
      {"SerialNeedsFourBytes", 11, [] { return show(GetSerialNumber()); }, "-1"},
      {"SerialInTwelve", 12, [] { return show(GetSerialNumber()) == "-1" ? "lost" : "read"; },
       "read", true},
      {"PairNeedsBothPorts", 12,
       [] {
         float a = -9, b = -9;
         const bool ok = GetPressureFaster(&a, &b);
         return show(ok) + " " + show(a) + " " + show(b);
       },
       "false 0 0"},
      {"LcdRowNeedsSixteen", 23, [] { return show(GetLcdRow(0, memory)); }, "false"},
      {"PowerDownHourInAHeader", 8, [] { return show(GetPowerDownHour()); }, "0"},
      {"TimeAverageInAHeader", 8, [] { return show(TimeAverageMode()); }, "\"---\""},
      {"SetterReadsNothing", 8, [] { return show(SetMode(1)); }, "true", true},
  };
  for (const ShortCase& row : cases) {
    SCOPED_TRACE(row.label);
    SimulatedLibrary sim;
    ASSERT_TRUE(sim.attach());
    const std::size_t length = row.replyLength;
    sim.editReply = [length](Bytes& reply) { reply.resize(std::min(reply.size(), length)); };
    EXPECT_EQ(row.call(), row.result);
    const std::string errors = show(GetErrorMessage());
    EXPECT_EQ(errors == "\"\"", row.succeeds) << errors;
  }
}

}  // namespace
}  // namespace qx5::test
