#include <windows.h>

#include "qx5_dll/platform/AnsiCodePage.h"

namespace qx5::platform {

std::u16string ansiToUtf16(std::string_view text) {
  const auto end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  if (text.empty()) return {};
  // A single-byte code page gives one UTF-16 unit per byte, so the text's length is enough.
  std::wstring wide(text.size(), L'\0');
  const int count = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        wide.data(), static_cast<int>(wide.size()));
  return std::u16string(reinterpret_cast<const char16_t*>(wide.data()),
                        static_cast<std::size_t>(count > 0 ? count : 0));
}

}  // namespace qx5::platform
