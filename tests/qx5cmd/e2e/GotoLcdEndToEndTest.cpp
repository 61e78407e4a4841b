// Goto and lcd run as a program: the pressure control loop against the simulated gauge's own
// controller, and the LCD capture checked with a real image reader (Python's PIL).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <regex>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/e2e/EndToEnd.h"
#include "qx5cmd/exercises/LcdCapture.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using namespace e2e;
using qx5::test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// --- Goto -------------------------------------------------------------------------------

// The commands written to gauge `name`, in order, from a wire trace.
std::vector<int> commandsSent(const std::string& trace, const std::string& name) {
  std::vector<int> commands;
  std::istringstream lines(trace);
  std::string line;
  const std::string prefix = "> " + name + " ";
  while (std::getline(lines, line)) {
    if (!line.starts_with(prefix)) continue;
    std::istringstream bytes(line.substr(prefix.size()));
    std::string byte;
    for (int i = 0; i <= 7 && bytes >> byte; ++i) {
      if (i == 7) commands.push_back(std::stoi(byte, nullptr, 16));
    }
  }
  return commands;
}

bool sent(const std::vector<int>& commands, int command) {
  return std::find(commands.begin(), commands.end(), command) != commands.end();
}

constexpr int kGetPressure = 0x00, kSetFanSpeed = 0x12, kGetFanSpeed = 0x2f,
              kGetPressureFaster = 0x37, kGetFanSpeedPercent = 0x45;

#define REQUIRE_GOTO_EXPORTS()                                                          \
  REQUIRE_GAUGE_LOOP_EXPORTS("GetQX5FirmwareVersion", "SetRoomPressure", "GetPressure", \
                             "GetPressureFaster", "GetFanSpeed", "GetFanSpeedPercent",  \
                             "SetFanSpeed")

// One gauge "a" with the given .gauge text, its wire trace in the same folder.
struct TracedGauge {
  explicit TracedGauge(const std::string& gaugeFile) {
    writeFile(dir.path() / "a.gauge", gaugeFile);
  }
  std::map<std::string, std::string> env() const {
    return {{"QX5SIM", dir.path().string()}, {"QX5SIM_TRACE", (dir.path() / "trace").string()}};
  }
  std::vector<int> commands() const { return commandsSent(readFile(dir.path() / "trace"), "a"); }
  TempDir dir;
};

TEST(Qx5cmdGoto, BadPressureIsRefusedWithTheUsageText) {
  ProcessResult r = qx5cmd({"Goto", "abc"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.err, StartsWith(" bad pressure 'abc' to Goto invalid argument to test Goto\n" +
                                kQx5cmd + " compiled on"));
  EXPECT_THAT(r.err, HasSubstr("   Wait <seconds>\n      wait for the specified number of seconds\n"
                               "   lcd\n      get the contents of the lcd\n"
                               "   Goto <pressure> <accuracy> <duration> <max_wait> "
                               "<sample_duration>\n      request a room pressure"));
  EXPECT_EQ(r.out, "");
}

// Goto 20 1 followed by another test: the other values come from the remembered set, the next
// word is a test again, and Ctrl+C ends the approach within a second; the statistics follow.
TEST(Qx5cmdGoto, TwoValuesThenAnotherTestAndCtrlCOnTheStandIn) {
  ProcessResult r =
      qx5cmd({"Goto", "20", "1", "GetSerialNumber"}, fake(), SIGINT, "(outside accuracy)");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_LT(r.afterSignal, 2.0);
  EXPECT_THAT(r.out, HasSubstr("\nGoto 20 1                \n"
                               "waiting for pressure of 20 to within an accuracy of 1 for 30 "
                               "seconds or a maximum of 5 minutes and sample steady state error "
                               "for 20 seconds\n"));
  EXPECT_THAT(r.out, HasSubstr("(outside accuracy)\n"));
  EXPECT_THAT(r.out, HasSubstr("<.. break ..>\n"));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));  // Goto asks for them
  EXPECT_THAT(r.out, HasSubstr("\nfailed Goto 20 1 "));
  EXPECT_THAT(r.out, Not(HasSubstr("\nGetSerialNumber          12345\n")));  // skipped
}

TEST(Qx5cmdGoto, ConvergesOnTheSimulatorWithTheFasterExportsOfNewFirmware) {
  REQUIRE_GOTO_EXPORTS();
  TracedGauge gauge("firmware = 2.30\n");
  ProcessResult r = qx5cmd({"-d=200", "Goto", "20", "1", "1", "0.5", "1"}, gauge.env());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("firmware = \"2.30\" so using GetFanSpeedPercent\n"
                               "firmware = \"2.30\" so using GetPressureFaster\n"));
  EXPECT_THAT(r.out, HasSubstr("attained pressure of 20 to within an accuracy of 1 for 1 "
                               "seconds\n"));
  EXPECT_THAT(r.out, HasSubstr(" (sampling steady state error)\n"));
  EXPECT_THAT(r.out, HasSubstr("\nGoto 20 1 1 0.5 1        ... maximum error during sample "
                               "duration "));
  EXPECT_THAT(r.out, HasSubstr("\nGoto 20 1 1 0.5 1        ... average error during sample "
                               "duration "));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));
  EXPECT_THAT(r.out, HasSubstr("\nGoto 20 1 1 0.5 1 maxAbsError "));
  // The gauge's controller sets the fan every 500 ms; polls 200 ms apart see it within a poll.
  std::smatch period;
  std::string rest = r.out;
  int periods = 0;
  while (std::regex_search(rest, period, std::regex("controller period update ([0-9.]+)\n"))) {
    double seconds = std::stod(period[1]);
    EXPECT_GE(seconds, 0.15);
    EXPECT_LE(seconds, 1.5);
    ++periods;
    rest = period.suffix();
  }
  EXPECT_GE(periods, 1) << r.out;

  std::vector<int> commands = gauge.commands();
  EXPECT_TRUE(sent(commands, kGetPressureFaster));
  EXPECT_TRUE(sent(commands, kGetFanSpeedPercent));
  EXPECT_FALSE(sent(commands, kGetPressure));
  EXPECT_FALSE(sent(commands, kGetFanSpeed));
  EXPECT_FALSE(sent(commands, kSetFanSpeed));  // the fan keeps the target after the test
}

TEST(Qx5cmdGoto, OldFirmwareOnAnUnreachableTargetTimesOutAndStopsTheFan) {
  REQUIRE_GOTO_EXPORTS();
  // The simulated fan at full speed holds the room well below 60 kPa.
  TracedGauge gauge("firmware = 2.2\n");
  ProcessResult r = qx5cmd({"-d=200", "Goto", "60", "1", "1", "0.02", "1"}, gauge.env());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("firmware = \"2.2\" so using GetFanSpeed\n"
                               "firmware = \"2.2\" so using GetPressure\n"));
  EXPECT_THAT(r.out, HasSubstr("(outside accuracy)\ntimeout waiting to attain pressure\n"));
  EXPECT_THAT(r.out, HasSubstr("\nfailed Goto 60 1 1 0.02 1 "));
  EXPECT_THAT(r.out, Not(HasSubstr("attained")));

  std::vector<int> commands = gauge.commands();
  EXPECT_TRUE(sent(commands, kGetPressure));
  EXPECT_TRUE(sent(commands, kGetFanSpeed));
  EXPECT_FALSE(sent(commands, kGetPressureFaster));
  EXPECT_FALSE(sent(commands, kGetFanSpeedPercent));
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), kSetFanSpeed);
  EXPECT_THAT(readFile(gauge.dir.path() / "trace"), HasSubstr("> a 38 24 01 01 0b 1e 00 12 00 00"));
}

TEST(Qx5cmdGoto, CtrlCEndsAnEndlessWaitWithinASecondAndLeavesTheFan) {
  REQUIRE_GOTO_EXPORTS();
  TracedGauge gauge("");
  ProcessResult r =
      qx5cmd({"Goto", "60", "1", "1", "0", "1"}, gauge.env(), SIGINT, "(outside accuracy)");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_LT(r.afterSignal, 2.0);
  EXPECT_THAT(r.out, HasSubstr("<.. break ..>\n"));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));
  EXPECT_FALSE(sent(gauge.commands(), kSetFanSpeed));
}

// --- lcd --------------------------------------------------------------------------------

// The picture a real image reader sees in a bitmap file: its width, height and raw mode, the
// palette's first two colours, then one line per pixel row, top first, '#' for black.
std::string pictureInFile(const fs::path& file) {
  static const char* script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "print(im.size[0], im.size[1], im.tile[0][3][0], im.getpalette()[:6])\n"
      "rgb = im.convert('RGB')\n"
      "for y in range(im.size[1]):\n"
      "    print(''.join('#' if rgb.getpixel((x, y)) == (0, 0, 0) else '.'\n"
      "                  for x in range(im.size[0])))\n";
  ProcessResult r = testing::runProcess("/usr/bin/python3", {"-c", script, file.string()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  return r.out;
}

// The same picture drawn from the hex rows the capture printed.
std::string pictureInRows(const std::string& out) {
  std::string picture = "128 64 P;1 [216, 216, 216, 0, 0, 0]\n";
  std::regex row("\\[(\\d\\d)\\]((?: [0-9a-f]{2}){16})\n");
  int expected = 0;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), row); it != std::sregex_iterator();
       ++it, ++expected) {
    EXPECT_EQ(std::stoi((*it)[1]), expected);
    std::istringstream bytes((*it)[2]);
    std::string byte;
    while (bytes >> byte) {
      int value = std::stoi(byte, nullptr, 16);
      for (int bit = 7; bit >= 0; --bit) picture += (value >> bit & 1) ? '#' : '.';
    }
    picture += '\n';
  }
  EXPECT_EQ(expected, 64);
  return picture;
}

fs::path onlyBitmap(const fs::path& dir, int serial) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with("lcd_" + std::to_string(serial) + "_") && name.ends_with(".bmp"))
      found.push_back(entry.path());
  }
  EXPECT_EQ(found.size(), 1u);
  return found.empty() ? fs::path() : found[0];
}

// Rows (top first) and columns holding black pixels in a picture from pictureIn*.
struct Extent {
  int top = 64, bottom = -1, left = 128, right = -1;
};
Extent darkExtent(const std::string& picture, int fromRow, int toRow) {
  Extent e;
  std::istringstream lines(picture);
  std::string line;
  std::getline(lines, line);  // the description line
  for (int y = 0; std::getline(lines, line); ++y) {
    if (y < fromRow || y >= toRow) continue;
    for (int x = 0; x < static_cast<int>(line.size()); ++x) {
      if (line[x] != '#') continue;
      e.top = std::min(e.top, y);
      e.bottom = std::max(e.bottom, y);
      e.left = std::min(e.left, x);
      e.right = std::max(e.right, x);
    }
  }
  return e;
}

TEST(Qx5cmdLcd, BitmapOfTheStandInOpensAsTheRowsSay) {
  TempDir dir;
  ProcessResult r = qx5cmdIn(dir.path(), {"-d=0", "lcd"}, fake({{"FAKEQX5_LCD", "diagonal"}}));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("\n[00] 80 00 00"));
  fs::path file = onlyBitmap(dir.path(), 12345);
  EXPECT_EQ(fs::file_size(file), 1086u);
  EXPECT_EQ(pictureInFile(file), pictureInRows(r.out));
}

TEST(Qx5cmdLcd, SimulatedDisplayLandsInTheBitmapWhereTheRowsSay) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetLcdRow");
  TempDir dir;
  ProcessResult r = qx5cmdIn(dir.path(), {"-d=0", "lcd"}, simulated("1"));
  EXPECT_EQ(r.exitStatus, 0);
  fs::path file = onlyBitmap(dir.path(), 10001);
  std::string picture = pictureInFile(file);
  EXPECT_EQ(picture, pictureInRows(r.out));
  // The device name starts in the top-left corner; its first pixel is the highest bit of the
  // first byte of the last pixel row in the file.
  Extent name = darkExtent(picture, 0, 8);
  EXPECT_EQ(name.top, 0);
  EXPECT_EQ(name.left, 0);
  bool topLeftDark = picture[picture.find('\n') + 1] == '#';
  EXPECT_TRUE(topLeftDark) << picture;
  std::uint8_t lastRowFirstByte = static_cast<std::uint8_t>(readFile(file).at(62 + 63 * 16));
  EXPECT_EQ((lastRowFirstByte & 0x80) != 0, topLeftDark);
}

TEST(Qx5cmdLcd, DisplayedMessageLinesAreWhereTheGaugeDrawsThem) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetLcdRow", "RunTest");
  TempDir dir;
  ProcessOptions options;
  options.environment = {{"QX5SIM", "1"}};
  options.workingDirectory = dir.path().string();
  static std::string privateCopy;
  privateCopy = qx5::test::privateLibrary();
  ProcessResult r = testing::runInChild(
      [] {
        static LibraryBinding library(privateCopy);
        if (!library.loaded()) return 2;
        session().binding = &library;
        if (library.GetDeviceCount->call() != 1 || !library.UsbPort->call(0)) return 3;
        for (auto [line, text] : {std::pair{1, "HELLO"}, std::pair{2, "WORLD"}}) {
          std::uint8_t input[31] = {static_cast<std::uint8_t>(line)};
          std::memcpy(input + 1, text, std::strlen(text));
          std::uint32_t length = 0;
          std::uint8_t result[64] = {};
          if (!library.RunTest->call(5, sizeof input, input, &length, result)) return 4;
        }
        aGetLcd lcd("lcd", "");
        return lcd.run() ? 0 : 5;
      },
      options);
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
  std::string picture = pictureInFile(onlyBitmap(dir.path(), 10001));
  EXPECT_EQ(picture, pictureInRows(r.out));
  // Each line in the double-size font (12 x 16 cells), centred: 5 characters span x 34 to 93;
  // the first line is drawn from y 8, the second from y 36, nothing anywhere else.
  for (auto [from, to] : {std::pair{8, 24}, std::pair{36, 52}}) {
    Extent line = darkExtent(picture, from, to);
    EXPECT_GE(line.top, from);
    EXPECT_LE(line.bottom, to - 1);
    EXPECT_GE(line.left, 34);
    EXPECT_LE(line.right, 93);
    EXPECT_LT(line.left, line.right) << "line at " << from << " is empty";
  }
  Extent all = darkExtent(picture, 0, 64);
  EXPECT_GE(all.top, 8);
  EXPECT_LE(all.bottom, 51);
  EXPECT_EQ(darkExtent(picture, 24, 36).bottom, -1);
}

}  // namespace
}  // namespace qx5cmd
