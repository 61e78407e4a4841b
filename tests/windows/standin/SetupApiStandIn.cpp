// SETUPAPI.DLL for tests: enumerates the gauge interface class as the simulated gauges of the
// WINUSB.DLL stand-in, through SetupAPI's own signatures. Each interface path names a file in
// a folder of this process (removed when the DLL unloads, as far as no file in it is still open)
// holding the gauge's simulated path, so the library opens it with the kernel's file services,
// as it opens a real device.
#include <windows.h>
// SetupAPI's declarations without their import attribute: this DLL defines them.
#define _SETUPAPI_
#include <setupapi.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr GUID kGaugeClass = {
    0x5354FA28, 0x6D14, 0x4E35, {0xA1, 0xF5, 0x75, 0xBB, 0x54, 0xE6, 0x03, 0x0F}};

struct InterfaceSet {
  std::vector<std::string> paths;  // file paths handed out as interface paths
};

std::string& folder() {
  static std::string path;
  return path;
}

std::vector<std::string>& filesMade() {
  static std::vector<std::string> files;
  return files;
}

bool sameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

BOOL failWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The present gauges' simulated paths, from the WINUSB.DLL stand-in.
std::vector<std::string> simulatedPaths() {
  using EnumerateFn = int(WINAPI*)(char*, int);
  HMODULE winusb = LoadLibraryA("WINUSB.DLL");
  auto enumerate = reinterpret_cast<EnumerateFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(winusb, "QX5StandIn_Enumerate")));
  std::vector<std::string> paths;
  if (!enumerate) return paths;
  std::string list(static_cast<std::size_t>(enumerate(nullptr, 0)) + 1, '\0');
  list.resize(static_cast<std::size_t>(enumerate(list.data(), static_cast<int>(list.size()))));
  for (std::size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos;
       start = end + 1)
    paths.push_back(list.substr(start, end - start));
  return paths;
}

// A file standing for the interface `simulated` ("\\?\usb#vid_04d8&pid_000c#NAME#{class}").
// QX5STANDIN_NO_FILE=NAME leaves that gauge's file out: a gauge gone between enumeration and
// opening.
std::string interfaceFile(const std::string& simulated) {
  if (folder().empty()) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder() = std::string(temp) + "qx5-standin-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder().c_str(), nullptr);
  }
  std::string name = simulated;
  if (name.rfind("\\\\?\\", 0) == 0) name.erase(0, 4);
  const std::string file = folder() + "\\" + name;
  const char* without = std::getenv("QX5STANDIN_NO_FILE");
  if (without && *without && simulated.find(std::string("#") + without + "#") != std::string::npos)
    return file;
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(handle, simulated.data(), static_cast<DWORD>(simulated.size()), &written, nullptr);
    CloseHandle(handle);
    filesMade().push_back(file);
  }
  return file;
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
  (void)Enumerator;
  (void)hwndParent;
  if (!ClassGuid || Flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto* set = new InterfaceSet;
  if (sameGuid(*ClassGuid, kGaugeClass))
    for (const std::string& simulated : simulatedPaths())
      set->paths.push_back(interfaceFile(simulated));
  return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  (void)DeviceInfoData;
  if (!DeviceInfoSet || DeviceInfoSet == INVALID_HANDLE_VALUE)
    return failWith(ERROR_INVALID_HANDLE);
  if (!DeviceInterfaceData || !InterfaceClassGuid) return failWith(ERROR_INVALID_PARAMETER);
  if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
    return failWith(ERROR_INVALID_USER_BUFFER);
  const auto* set = static_cast<InterfaceSet*>(DeviceInfoSet);
  if (!sameGuid(*InterfaceClassGuid, kGaugeClass) || MemberIndex >= set->paths.size())
    return failWith(ERROR_NO_MORE_ITEMS);
  DeviceInterfaceData->InterfaceClassGuid = kGaugeClass;
  DeviceInterfaceData->Flags = SPINT_ACTIVE;
  DeviceInterfaceData->Reserved = MemberIndex;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
  (void)DeviceInfoData;
  if (!DeviceInfoSet || DeviceInfoSet == INVALID_HANDLE_VALUE)
    return failWith(ERROR_INVALID_HANDLE);
  if (!DeviceInterfaceData) return failWith(ERROR_INVALID_PARAMETER);
  const auto* set = static_cast<InterfaceSet*>(DeviceInfoSet);
  const std::size_t member = DeviceInterfaceData->Reserved;
  if (member >= set->paths.size()) return failWith(ERROR_NO_MORE_ITEMS);
  const std::string& path = set->paths[member];
  const DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (RequiredSize) *RequiredSize = needed;
  if (!DeviceInterfaceDetailData || DeviceInterfaceDetailDataSize < needed)
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
    return failWith(ERROR_INVALID_USER_BUFFER);
  std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  if (!DeviceInfoSet || DeviceInfoSet == INVALID_HANDLE_VALUE)
    return failWith(ERROR_INVALID_HANDLE);
  delete static_cast<InterfaceSet*>(DeviceInfoSet);
  return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) {
    for (const std::string& file : filesMade()) DeleteFileA(file.c_str());
    if (!folder().empty()) RemoveDirectoryA(folder().c_str());
  }
  return TRUE;
}

}  // extern "C"
