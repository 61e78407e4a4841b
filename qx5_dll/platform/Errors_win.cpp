#include <windows.h>

#include "qx5_dll/platform/Errors.h"

namespace qx5::platform {

// WinUSB reports an expired pipe timeout as ERROR_SEM_TIMEOUT.
const int kErrorTimeout = ERROR_SEM_TIMEOUT;
const int kErrorEndOfList = ERROR_NO_MORE_ITEMS;
const int kErrorInvalidHandle = ERROR_INVALID_HANDLE;
const int kErrorNoDevice = ERROR_DEVICE_NOT_CONNECTED;
const int kErrorIo = ERROR_GEN_FAILURE;
const int kErrorNotFound = ERROR_FILE_NOT_FOUND;
const int kErrorNotSupported = ERROR_PROC_NOT_FOUND;

std::string errorText(int code) {
  char buffer[1024];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  std::string result(buffer, length);
  if (result.empty()) result = "error " + std::to_string(code);
  while (!result.empty() && static_cast<unsigned char>(result.back()) <= 0x20) result.pop_back();
  return result;
}

}  // namespace qx5::platform
