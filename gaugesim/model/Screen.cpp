// What the gauge shows on its LCD, drawn from its state.
#include <cstdio>
#include <string>

#include "gaugesim/model/Gauge.h"

namespace qx5::sim {
namespace {

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A line of text, twice the size when it fits the width that way.
void bigLine(Lcd& lcd, int y, const std::string& text) {
  const int scale = text.size() * 12 <= static_cast<std::size_t>(Lcd::kWidth) ? 2 : 1;
  const int width = static_cast<int>(text.size()) * 6 * scale;
  lcd.textAt(width < Lcd::kWidth ? (Lcd::kWidth - width) / 2 : 0, y, text, scale);
}

constexpr const char* kModeNames[] = {"PR", "FLOW", "@PR"};

}  // namespace

void Gauge::renderScreen() {
  lcd.clear();
  if (poweredOff) return;
  if (inBootloader()) {
    lcd.text(0, 0, "BOOTLOADER");
    lcd.text(0, 2, firmwareVersion());
    lcd.text(0, 4, "Serial " + std::to_string(reportedSerial()));
    return;
  }
  if (!messages[0].empty() || !messages[1].empty()) {
    bigLine(lcd, 8, messages[0]);
    bigLine(lcd, 36, messages[1]);
    return;
  }
  const Device& device = devices()[settings.device];
  lcd.text(0, 0, std::string(device.name));
  lcd.text(0, 1,
           std::string(device.ranges[settings.range]) + "  Avg " +
               std::string(timeAverageName(settings.timeAverage)));
  lcd.horizontalLine(17);
  lcd.textAt(0, 22, "A");
  lcd.textAt(12, 20, formatted("%8.1f", portA()), 2);
  const bool showFlow = settings.mode != 0;
  lcd.textAt(0, 40, showFlow ? "F" : "B");
  lcd.textAt(12, 38, formatted("%8.1f", showFlow ? flow() : portB()), 2);
  const std::string status = settings.companyEnabled
                                 ? settings.company
                                 : formatted("Fan %3.0f%% ", physics.fanCommand()) +
                                       kModeNames[settings.mode % 3] + (inSetUp ? " SETUP" : "");
  lcd.text(0, 7, status);
}

}  // namespace qx5::sim
