// The gauge's device and range tables as one record of arrays, walked through the selection
// and name exports. Device names stay 8-bit text; range names become real UTF-16 strings.
#include <cstring>
#include <string>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/platform/AnsiCodePage.h"

namespace {

SAFEARRAY* makeArray(VARTYPE type, ULONG elements) {
  SAFEARRAYBOUND bound{elements, 0};
  return SafeArrayCreate(type, 1, &bound);
}

// An 8-bit export result as a UTF-16 BSTR; null for null.
BSTR wideCopy(BSTR text) {
  if (!text) return nullptr;
  const std::u16string wide = qx5::platform::ansiToUtf16(
      std::string_view(reinterpret_cast<const char*>(text), SysStringByteLen(text)));
  return SysAllocStringByteLen(reinterpret_cast<const char*>(wide.data()),
                               static_cast<unsigned int>(wide.size() * sizeof(char16_t)));
}

// The names of the current device's ranges; a range that cannot be selected stays empty.
SAFEARRAY* rangeNames(std::uint8_t ranges) {
  SAFEARRAY* names = makeArray(VT_BSTR, ranges);
  if (!names) return nullptr;
  for (std::uint8_t r = 0; r < ranges; ++r) {
    if (!SetRange(r)) continue;
    BSTR narrow = GetDeviceRange();
    BSTR wide = wideCopy(narrow);
    SysFreeString(narrow);
    LONG index = r;
    SafeArrayPutElement(names, &index, wide);
    SysFreeString(wide);
  }
  return names;
}

// Fills element `d` of every array; false when an array refuses an element.
bool describeDevice(QX5DeviceMemory& record, std::uint8_t d) {
  std::uint8_t ranges = GetMaxRange();
  BSTR name = GetDeviceName();
  LONG index = d;
  const bool put = SafeArrayPutElement(record.deviceIndices, &index, &d) == S_OK &&
                   SafeArrayPutElement(record.rangeCounts, &index, &ranges) == S_OK &&
                   SafeArrayPutElement(record.deviceNames, &index, name) == S_OK;
  SysFreeString(name);
  if (!put) return false;
  SAFEARRAY* names = rangeNames(ranges);
  if (!names) return false;
  VARIANT element;
  VariantInit(&element);
  element.vt = VT_ARRAY | VT_BSTR;
  element.parray = names;
  const bool stored = SafeArrayPutElement(record.rangeNames, &index, &element) == S_OK;
  SafeArrayDestroy(names);
  return stored;
}

void walkDevices(QX5DeviceMemory& record) {
  SetDevice(0);
  const std::uint8_t devices = GetNumberOfDevices();
  record.numberOfDevices = devices;
  if (!(record.deviceIndices = makeArray(VT_UI1, devices))) return;
  if (!(record.rangeCounts = makeArray(VT_UI1, devices))) return;
  if (!(record.deviceNames = makeArray(VT_BSTR, devices))) return;
  if (!(record.rangeNames = makeArray(VT_VARIANT, devices))) return;
  for (std::uint8_t d = 0; d < devices; ++d) {
    if (!SetDevice(d)) continue;  // its elements stay empty
    if (!describeDevice(record, d)) return;
  }
}

}  // namespace

QX5DeviceMemory qx5::exports::GetDeviceMemory(void) {
  QX5_LOG_SCOPE(scope, "GetDeviceMemory", "GetDeviceMemory");
  QX5DeviceMemory record{};
  qx5::api::guarded(scope, false, [&] {
    walkDevices(record);
    return true;
  });
  return record;
}
