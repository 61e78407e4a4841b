// Small text helpers of the tester.
#pragma once

#include <string>

namespace qx5cmd {

// printf into a std::string of whatever length the result needs.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

bool equalsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace qx5cmd
