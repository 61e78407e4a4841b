// The small parsers behind the simulation's settings texts (environment variables, gauge files,
// fault lists): blanks around a field, and numbers that must fill their whole field.
#pragma once

#include <charconv>
#include <string>

namespace qx5::sim {

// `text` without the blanks, tabs and carriage returns around it.
inline std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Whether all of `text` is one decimal number that fits `Number`; only then is `value` set.
template <typename Number>
bool parseWhole(const std::string& text, Number& value) {
  Number parsed{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

}  // namespace qx5::sim
