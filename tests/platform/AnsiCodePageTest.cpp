#include <gtest/gtest.h>

#include "qx5_dll/platform/AnsiCodePage.h"

namespace qx5::platform {
namespace {

TEST(AnsiCodePage, EveryByteIsOneUnitUpToTheFirstZero) {
  EXPECT_EQ(ansiToUtf16("Ring A"), u"Ring A");
  EXPECT_EQ(ansiToUtf16(std::string_view("ab\0cd", 5)), u"ab");
  EXPECT_EQ(ansiToUtf16("\xB5Pa \xB0"), u"\u00B5Pa \u00B0");  // Latin-1 half as it is
  EXPECT_EQ(ansiToUtf16("\x80\x8A\x9F\x81"), u"\u20AC\u0160\u0178\u0081");
}

}  // namespace
}  // namespace qx5::platform
