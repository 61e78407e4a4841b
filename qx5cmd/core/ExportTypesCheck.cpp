// The tester binds the library's exports by name and calls them through its own function types
// (ExportTypes.h), as it never links the library. Here those types are held against the public
// header's declarations, export by export, so a signature that drifts stops the tester from
// compiling instead of corrupting a call. Nothing in this file runs.
#include <tuple>
#include <type_traits>

#include "qx5cmd/core/ExportTypes.h"
#include "qx5dll.h"

namespace qx5cmd {
namespace {

// The tester reads the library's BSTR as the bytes it carries (Bstr); the header says BSTR.
template <class T>
struct Bridged {
  using type = T;
};
template <>
struct Bridged<Bstr> {
  using type = BSTR;
};
template <>
struct Bridged<Bstr*> {
  using type = BSTR*;
};

// Whether a value of type A is passed and returned as one of type B: the same type, integers of
// one size (the one-byte boolean, signed or unsigned 32 bits), or pointers to such.
template <class A, class B>
constexpr bool sameShape() {
  if constexpr (std::is_same_v<A, B>) {
    return true;
  } else if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
    return sizeof(A) == sizeof(B);
  } else if constexpr (std::is_pointer_v<A> && std::is_pointer_v<B>) {
    return sameShape<std::remove_cv_t<std::remove_pointer_t<A>>,
                     std::remove_cv_t<std::remove_pointer_t<B>>>();
  } else {
    return false;
  }
}

// A function pointer's result and parameters; only the calling convention both sides use
// matches, so an export that changed its convention does not compile either.
template <class F>
struct Signature;
template <class R, class... Args>
struct Signature<R(QX5CMD_CALL*)(Args...)> {
  using Result = R;
  using Parameters = std::tuple<Args...>;
};

template <class TesterTuple, class HeaderTuple, std::size_t... I>
constexpr bool sameParameters(std::index_sequence<I...>) {
  return (sameShape<typename Bridged<std::tuple_element_t<I, TesterTuple>>::type,
                    std::tuple_element_t<I, HeaderTuple>>() &&
          ...);
}

template <class TesterFn, class HeaderFn>
constexpr bool callsAs() {
  using Tester = Signature<TesterFn>;
  using Header = Signature<HeaderFn>;
  using TesterParameters = typename Tester::Parameters;
  using HeaderParameters = typename Header::Parameters;
  constexpr std::size_t count = std::tuple_size_v<TesterParameters>;
  if constexpr (count != std::tuple_size_v<HeaderParameters>) {
    return false;
  } else {
    return sameShape<typename Bridged<typename Tester::Result>::type, typename Header::Result>() &&
           sameParameters<TesterParameters, HeaderParameters>(std::make_index_sequence<count>());
  }
}

#define QX5CMD_CHECK_EXPORT(TesterFn, name)             \
  static_assert(callsAs<TesterFn, decltype(&::name)>(), \
                #name " is not called as the header declares it")

// The exports of LibraryBinding's members.
QX5CMD_CHECK_EXPORT(GetStringFn, GetErrorMessage);
QX5CMD_CHECK_EXPORT(GetStringFn, GetQX5FirmwareVersion);
QX5CMD_CHECK_EXPORT(SetFloatFn, SetRoomPressure);
QX5CMD_CHECK_EXPORT(GetPressureFn, GetPressure);
QX5CMD_CHECK_EXPORT(GetPressureFn, GetPressureFaster);
QX5CMD_CHECK_EXPORT(GetFloatFn, GetFanSpeed);
QX5CMD_CHECK_EXPORT(GetFloatFn, GetFanSpeedPercent);
QX5CMD_CHECK_EXPORT(SetFloatFn, SetFanSpeed);
QX5CMD_CHECK_EXPORT(GetIntFn, GetSerialNumber);
QX5CMD_CHECK_EXPORT(SetPIntFn, SetSerialNumber);
QX5CMD_CHECK_EXPORT(GetIntFn, GetChipset);
QX5CMD_CHECK_EXPORT(GetIntFn, GetDeviceCount);
QX5CMD_CHECK_EXPORT(SetByteFn, UsbPort);
QX5CMD_CHECK_EXPORT(SetByteFn, PushButton);
QX5CMD_CHECK_EXPORT(SetByteFn, SetDevice);
QX5CMD_CHECK_EXPORT(SetByteFn, SetRange);
QX5CMD_CHECK_EXPORT(GetStringFn, GetDeviceName);
QX5CMD_CHECK_EXPORT(GetStringFn, GetDeviceRange);
QX5CMD_CHECK_EXPORT(GetStringFn, GetDeviceRanges);
QX5CMD_CHECK_EXPORT(InitLoggingFn, LogInitToStdout);
QX5CMD_CHECK_EXPORT(GetStringFn, GetUSBCPUVersion);
QX5CMD_CHECK_EXPORT(GetLcdRowFn, GetLcdRow);
QX5CMD_CHECK_EXPORT(TransferMemoryFn, UploadMemory);
QX5CMD_CHECK_EXPORT(EraseMemoryFn, EraseMemory);
QX5CMD_CHECK_EXPORT(TransferMemoryFn, DownloadMemory);
QX5CMD_CHECK_EXPORT(RunTestFn, RunTest);
QX5CMD_CHECK_EXPORT(SetByteFn, DoBoot);
QX5CMD_CHECK_EXPORT(SetDateFn, SetCustomDate);

// The exports the generic exercises bind by their test's name, and TickRate's counter.
QX5CMD_CHECK_EXPORT(GetFloatFn, GetFlow);
QX5CMD_CHECK_EXPORT(GetBoolFn, ResetUSBCPU);
QX5CMD_CHECK_EXPORT(GetStringFn, GetDLLVersion);
QX5CMD_CHECK_EXPORT(GetStringFn, GetCalibrationDate);
QX5CMD_CHECK_EXPORT(GetStringFn, TimeAverageMode);
QX5CMD_CHECK_EXPORT(SetStringFn, SetCompanyName);
QX5CMD_CHECK_EXPORT(GetBoolFn, SetDate);
QX5CMD_CHECK_EXPORT(GetIntFn, GetQX5TickCount);

// The twins the workers of -j call in their place, and the handle's own two.
#define QX5CMD_CHECK_TWIN(TesterFn, name)                                 \
  static_assert(callsAs<TwinFn<TesterFn>, decltype(&::QX5Gauge##name)>(), \
                "QX5Gauge" #name " is not called as the header declares it")
QX5CMD_CHECK_TWIN(GetStringFn, GetQX5FirmwareVersion);
QX5CMD_CHECK_TWIN(GetPressureFn, GetPressure);
QX5CMD_CHECK_TWIN(GetFloatFn, GetFanSpeedPercent);
QX5CMD_CHECK_TWIN(SetFloatFn, SetRoomPressure);
QX5CMD_CHECK_TWIN(GetIntFn, GetSerialNumber);
QX5CMD_CHECK_TWIN(SetPIntFn, SetSerialNumber);
QX5CMD_CHECK_TWIN(GetIntFn, GetChipset);
QX5CMD_CHECK_TWIN(SetByteFn, PushButton);
QX5CMD_CHECK_TWIN(GetStringFn, GetDeviceRanges);
QX5CMD_CHECK_TWIN(GetLcdRowFn, GetLcdRow);
QX5CMD_CHECK_TWIN(TransferMemoryFn, UploadMemory);
QX5CMD_CHECK_TWIN(EraseMemoryFn, EraseMemory);
QX5CMD_CHECK_TWIN(TransferMemoryFn, DownloadMemory);
QX5CMD_CHECK_TWIN(RunTestFn, RunTest);
QX5CMD_CHECK_TWIN(SetByteFn, DoBoot);
QX5CMD_CHECK_TWIN(SetDateFn, SetCustomDate);
QX5CMD_CHECK_TWIN(GetBoolFn, ResetUSBCPU);
QX5CMD_CHECK_TWIN(SetStringFn, SetCompanyName);
QX5CMD_CHECK_EXPORT(OpenGaugeFn, QX5GaugeOpen);
QX5CMD_CHECK_EXPORT(CloseGaugeFn, QX5GaugeClose);

// The OLE-automation pair taken from the loaded library (from oleaut32 on Windows).
QX5CMD_CHECK_EXPORT(SysAllocStringByteLenFn, SysAllocStringByteLen);
QX5CMD_CHECK_EXPORT(SysFreeStringFn, SysFreeString);

}  // namespace
}  // namespace qx5cmd
