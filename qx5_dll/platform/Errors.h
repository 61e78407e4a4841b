// Platform error codes and their texts, so the rest of the code never includes an OS header.
// Codes are errno-style numbers here; the end of an enumeration has a code of its own.
#pragma once

#include <string>

namespace qx5::platform {

extern const int kErrorTimeout;        // a transfer found nothing within the pipe's timeout
extern const int kErrorEndOfList;      // enumeration past its last member
extern const int kErrorInvalidHandle;  // a call on a closed device or interface
extern const int kErrorNoDevice;       // the device has gone away
extern const int kErrorIo;             // any other transfer failure
extern const int kErrorNotFound;       // a path or file that does not exist
extern const int kErrorNotSupported;   // the binding lacks the function

// One line of text for `code`, without a trailing line end.
std::string errorText(int code);

}  // namespace qx5::platform
