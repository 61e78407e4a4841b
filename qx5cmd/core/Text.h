// Small text and number helpers of the tester.
#pragma once

#include <string>

namespace qx5cmd {

// printf into a std::string of whatever length the result needs.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

bool equalsIgnoreCase(const std::string& a, const std::string& b);

// A whole decimal number that fits an int (leading blanks and a sign allowed, the empty text
// is 0). False when anything is left over or the number does not fit, so that a value the user
// typed is never silently cut to 32 bits.
bool parseDecimalInt(const std::string& text, int& value);
// The leading decimal digits of `text` (after blanks and a sign) as an int, 0 when there are
// none; a number beyond the int range is held to it.
int leadingDecimalInt(const std::string& text);
// `value` truncated toward zero; beyond the int range it is held to it, and not a number is 0,
// where a plain conversion would be undefined.
int truncatedInt(double value);

// Default stream formatting: up to six significant digits, no trailing zeros.
std::string streamed(double value);

}  // namespace qx5cmd
