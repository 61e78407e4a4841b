#include "qx5_dll/platform/Errors.h"

#include <cerrno>
#include <cstring>

namespace qx5::platform {

const int kErrorTimeout = ETIMEDOUT;
// errno has no "no more items"; ENODATA is never produced by our transfers, so it stays distinct.
const int kErrorEndOfList = ENODATA;
const int kErrorInvalidHandle = EBADF;
const int kErrorNoDevice = ENODEV;
const int kErrorIo = EIO;
const int kErrorNotFound = ENOENT;
const int kErrorNotSupported = ENOSYS;

std::string errorText(int code) {
  char buffer[1024];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  std::string result = text ? text : "";
  while (!result.empty() && static_cast<unsigned char>(result.back()) < 0x20) result.pop_back();
  return result;
}

}  // namespace qx5::platform
