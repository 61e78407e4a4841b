// The library, loaded once at start-up and never unloaded, and the wrappers of the exports the
// tester core and the tests share. A member is null when the library lacks its export. A gauge's
// view of the loaded library (-j) makes the same wrappers call the exports' twins on its handle.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5cmd/core/ExportTypes.h"
#include "qx5cmd/core/QX5Function.h"

namespace qx5cmd {

// Names another library file to load instead of the usual search.
inline constexpr const char* kLibraryEnvironmentVariable = "QX5CMD_LIBRARY";
#if defined(_WIN32)
inline constexpr const char* kLibraryFileName = "QX5DLL.DLL";
#else
inline constexpr const char* kLibraryFileName = "libqx5dll.so";
#endif

class LibraryBinding {
 public:
  // $QX5CMD_LIBRARY when set; otherwise the library beside the executable, then the system
  // search path (on Linux under the soname too, for installations without the dev link).
  LibraryBinding();
  // Exactly this file.
  explicit LibraryBinding(const std::string& path);
  // A view of `loaded` for one gauge: a wrapper made from it calls its export's twin with the
  // view's handle, or, where the library has no twin, the export itself (the error text, the
  // device list, the log: nothing that acts on a gauge).
  LibraryBinding(const LibraryBinding& loaded, GaugeHandle gauge);
  LibraryBinding(const LibraryBinding&) = delete;
  LibraryBinding& operator=(const LibraryBinding&) = delete;

  bool loaded() const { return library_ != nullptr; }
  // What was tried, and why it failed when it did.
  const std::string& path() const { return path_; }
  const std::string& loadError() const { return loadError_; }
  // Every file looked for, in order (bare names went through the system search path), and
  // whether the first came from kLibraryEnvironmentVariable.
  const std::vector<std::string>& tried() const { return tried_; }
  bool fromEnvironment() const { return fromEnvironment_; }
  void* symbol(const char* name) const;

  // Where a wrapper of the export `name` calls, and whether it passes the handle first. Looked
  // up, as symbol(), on one thread at a time: workers only call what their view has bound.
  struct Entry {
    void* address = nullptr;
    bool twin = false;
  };
  Entry entry(const char* name) const;
  // The handle a view's twins are called with; the view is used by one thread at a time.
  GaugeHandle gauge() const { return gauge_; }
  void setGauge(GaugeHandle gauge) { gauge_ = gauge; }

  // A string made by the library's allocator; null when the library has none.
  Bstr allocString(const char* bytes, unsigned int length) const;
  // Releases a string the library made; without the library's release function it is kept.
  void freeString(Bstr text) const;

  // The shared members in binding order, with their wrapper (null when unbound).
  const std::vector<std::pair<const char*, const QX5Function*>>& members() const {
    return members_;
  }

  std::unique_ptr<QX5GetString> GetErrorMessage;
  std::unique_ptr<QX5GetString> GetQX5FirmwareVersion;
  std::unique_ptr<QX5SetFloat> SetRoomPressure;
  std::unique_ptr<QX5GetPressure> GetPressure;
  std::unique_ptr<QX5GetPressure> GetPressureFaster;
  std::unique_ptr<QX5GetFloat> GetFanSpeed;
  std::unique_ptr<QX5GetFloat> GetFanSpeedPercent;
  std::unique_ptr<QX5SetFloat> SetFanSpeed;
  std::unique_ptr<QX5GetInt> GetSerialNumber;
  std::unique_ptr<QX5SetPInt> SetSerialNumber;
  std::unique_ptr<QX5GetInt> GetChipset;
  std::unique_ptr<QX5GetInt> GetDeviceCount;
  std::unique_ptr<QX5SetByte> UsbPort;
  std::unique_ptr<QX5SetByte> PushButton;
  std::unique_ptr<QX5SetByte> SetDevice;
  std::unique_ptr<QX5SetByte> SetRange;
  std::unique_ptr<QX5GetString> GetDeviceName;
  std::unique_ptr<QX5GetString> GetDeviceRange;
  std::unique_ptr<QX5GetString> GetDeviceRanges;
  std::unique_ptr<QX5InitLogging> LogInitToStdout;
  std::unique_ptr<QX5GetString> GetUSBCPUVersion;
  std::unique_ptr<QX5GetLcdRow> GetLcdRow;
  std::unique_ptr<QX5UploadOrDownloadMemory> UploadMemory;
  std::unique_ptr<QX5EraseMemory> EraseMemory;
  std::unique_ptr<QX5UploadOrDownloadMemory> DownloadMemory;
  std::unique_ptr<QX5RunTest> RunTest;
  std::unique_ptr<QX5SetByte> DoBoot;
  std::unique_ptr<QX5SetDate> SetCustomDate;
  // The handle's own two, untimed; null when the library has no handles.
  OpenGaugeFn QX5GaugeOpen = nullptr;
  CloseGaugeFn QX5GaugeClose = nullptr;

 private:
  void load(const std::string& path);
  void bindMembers();
  template <class W>
  void bindMember(std::unique_ptr<W>& member, const char* name);

  // Loaded, or null; shared with the gauges' views.
  std::shared_ptr<qx5::platform::DynamicLibrary> library_;
  bool gaugeView_ = false;
  GaugeHandle gauge_ = 0;
  std::string path_;
  std::string loadError_;
  std::vector<std::string> tried_;
  bool fromEnvironment_ = false;
  SysAllocStringByteLenFn sysAllocStringByteLen_ = nullptr;
  SysFreeStringFn sysFreeString_ = nullptr;
  std::vector<std::pair<const char*, const QX5Function*>> members_;
};

// A wrapper of class W for the export `name`, or null unless the library is loaded and has it.
template <class W>
std::unique_ptr<W> bindFunction(const std::string& name, const LibraryBinding& binding) {
  if (!binding.loaded() || !binding.entry(name.c_str()).address) return nullptr;
  return std::make_unique<W>(name, binding);
}

}  // namespace qx5cmd
