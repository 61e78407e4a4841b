#include "qx5cmd/core/LibraryBinding.h"

#include <cstdlib>

#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {

LibraryBinding::LibraryBinding() {
  const char* chosen = std::getenv(kLibraryEnvironmentVariable);
  if (chosen && *chosen) {
    fromEnvironment_ = true;
    load(chosen);
  } else {
    std::string beside = platform::executableDirectory() + "/" + kLibraryFileName;
    if (platform::fileExists(beside)) {
      load(beside);
    } else {
      tried_.push_back(beside);
      load(kLibraryFileName);
    }
#if defined(QX5_LIBRARY_SONAME)
    if (!library_) {
      const std::string firstPath = path_, firstError = loadError_;
      load(QX5_LIBRARY_SONAME);
      if (!library_) {  // the usual name's failure says more
        path_ = firstPath;
        loadError_ = firstError;
      }
    }
#endif
  }
  bindMembers();
}

LibraryBinding::LibraryBinding(const std::string& path) {
  load(path);
  bindMembers();
}

LibraryBinding::LibraryBinding(const LibraryBinding& loaded, GaugeHandle gauge)
    : library_(loaded.library_),
      gaugeView_(true),
      gauge_(gauge),
      path_(loaded.path_),
      loadError_(loaded.loadError_),
      tried_(loaded.tried_),
      fromEnvironment_(loaded.fromEnvironment_),
      sysAllocStringByteLen_(loaded.sysAllocStringByteLen_),
      sysFreeString_(loaded.sysFreeString_) {
  bindMembers();
}

void LibraryBinding::load(const std::string& path) {
  path_ = path;
  tried_.push_back(path);
  library_ = std::make_shared<qx5::platform::DynamicLibrary>(
      path, qx5::platform::DynamicLibrary::Lifetime::Process);
  if (!library_->isLoaded()) {
    loadError_ = library_->lastError();
    library_.reset();
    return;
  }
  qx5::platform::DynamicLibrary& ole = qx5::platform::oleAutomationFor(*library_);
  ole.bind("SysAllocStringByteLen", sysAllocStringByteLen_);
  ole.bind("SysFreeString", sysFreeString_);
}

void* LibraryBinding::symbol(const char* name) const {
  return library_ ? library_->symbol(name) : nullptr;
}

LibraryBinding::Entry LibraryBinding::entry(const char* name) const {
  if (gaugeView_) {
    if (void* twin = symbol(("QX5Gauge" + std::string(name)).c_str())) return {twin, true};
  }
  return {symbol(name), false};
}

Bstr LibraryBinding::allocString(const char* bytes, unsigned int length) const {
  return sysAllocStringByteLen_ ? sysAllocStringByteLen_(bytes, length) : nullptr;
}

void LibraryBinding::freeString(Bstr text) const {
  if (sysFreeString_ && text) sysFreeString_(text);
}

template <class W>
void LibraryBinding::bindMember(std::unique_ptr<W>& member, const char* name) {
  member = bindFunction<W>(name, *this);
  members_.emplace_back(name, member.get());
}

void LibraryBinding::bindMembers() {
  bindMember(GetErrorMessage, "GetErrorMessage");
  bindMember(GetQX5FirmwareVersion, "GetQX5FirmwareVersion");
  bindMember(SetRoomPressure, "SetRoomPressure");
  bindMember(GetPressure, "GetPressure");
  bindMember(GetPressureFaster, "GetPressureFaster");
  bindMember(GetFanSpeed, "GetFanSpeed");
  bindMember(GetFanSpeedPercent, "GetFanSpeedPercent");
  bindMember(SetFanSpeed, "SetFanSpeed");
  bindMember(GetSerialNumber, "GetSerialNumber");
  bindMember(SetSerialNumber, "SetSerialNumber");
  bindMember(GetChipset, "GetChipset");
  bindMember(GetDeviceCount, "GetDeviceCount");
  bindMember(UsbPort, "UsbPort");
  bindMember(PushButton, "PushButton");
  bindMember(SetDevice, "SetDevice");
  bindMember(SetRange, "SetRange");
  bindMember(GetDeviceName, "GetDeviceName");
  bindMember(GetDeviceRange, "GetDeviceRange");
  bindMember(GetDeviceRanges, "GetDeviceRanges");
  bindMember(LogInitToStdout, "LogInitToStdout");
  bindMember(GetUSBCPUVersion, "GetUSBCPUVersion");
  bindMember(GetLcdRow, "GetLcdRow");
  bindMember(UploadMemory, "UploadMemory");
  bindMember(EraseMemory, "EraseMemory");
  bindMember(DownloadMemory, "DownloadMemory");
  bindMember(RunTest, "RunTest");
  bindMember(DoBoot, "DoBoot");
  bindMember(SetCustomDate, "SetCustomDate");
  QX5GaugeOpen = reinterpret_cast<OpenGaugeFn>(symbol("QX5GaugeOpen"));
  QX5GaugeClose = reinterpret_cast<CloseGaugeFn>(symbol("QX5GaugeClose"));
}

}  // namespace qx5cmd
