// The system's 8-bit ("ANSI") code page and its conversion to UTF-16. Off Windows the gauges'
// texts are taken as Windows-1252, the code page their names were written in.
#pragma once

#include <string>
#include <string_view>

namespace qx5::platform {

// Converts up to the first zero byte; every byte gives one UTF-16 unit.
std::u16string ansiToUtf16(std::string_view text);

}  // namespace qx5::platform
