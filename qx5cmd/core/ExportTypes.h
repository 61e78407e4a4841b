// The shapes in which the tester calls the library's exports. The tester binds by name and never
// links the library, so the types are stated here; ExportTypesCheck.cpp holds each export the
// tester binds against the public header's declaration.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define QX5CMD_CALL __stdcall
#else
#define QX5CMD_CALL
#endif

namespace qx5cmd {

// Text crossing from the library: a pointer to 8-bit text preceded by its 4-byte byte length
// and followed by a zero byte. Released with the library's SysFreeString.
using Bstr = char*;

using ExportBool = std::uint8_t;  // the exports' one-byte boolean

using GetStringFn = Bstr(QX5CMD_CALL*)();
using GetBoolFn = ExportBool(QX5CMD_CALL*)();
using GetIntFn = int(QX5CMD_CALL*)();
using GetFloatFn = float(QX5CMD_CALL*)();
using GetPressureFn = ExportBool(QX5CMD_CALL*)(float* portA, float* portB);
using SetByteFn = ExportBool(QX5CMD_CALL*)(std::uint8_t value);
using SetPIntFn = ExportBool(QX5CMD_CALL*)(int* value);
using SetFloatFn = ExportBool(QX5CMD_CALL*)(float* value);
using SetStringFn = ExportBool(QX5CMD_CALL*)(Bstr* text);
using SetDateFn = ExportBool(QX5CMD_CALL*)(std::uint32_t year, unsigned char month,
                                           unsigned char day);
using InitLoggingFn = ExportBool(QX5CMD_CALL*)(int level, const char* file, ExportBool toStdout);
using EraseMemoryFn = ExportBool(QX5CMD_CALL*)(std::uint32_t address, std::uint32_t length);
using TransferMemoryFn = ExportBool(QX5CMD_CALL*)(std::uint32_t address, std::uint32_t count,
                                                  std::uint8_t* buffer);
using RunTestFn = ExportBool(QX5CMD_CALL*)(std::uint32_t test, std::uint32_t count,
                                           std::uint8_t* input, std::uint32_t* resultLength,
                                           std::uint8_t* result);
using GetLcdRowFn = ExportBool(QX5CMD_CALL*)(std::uint8_t row, std::uint8_t* buffer16);

// A gauge's handle (QX5GaugeOpen) and the twin of an export: the handle first, then the
// export's own arguments.
using GaugeHandle = std::int32_t;
using OpenGaugeFn = GaugeHandle(QX5CMD_CALL*)(std::int32_t index);
using CloseGaugeFn = bool(QX5CMD_CALL*)(GaugeHandle gauge);
template <class Fn>
struct TwinOf;
template <class R, class... Args>
struct TwinOf<R(QX5CMD_CALL*)(Args...)> {
  using type = R(QX5CMD_CALL*)(GaugeHandle, Args...);
};
template <class Fn>
using TwinFn = typename TwinOf<Fn>::type;

// The OLE-automation pair the tester takes from the loaded library.
using SysAllocStringByteLenFn = Bstr(QX5CMD_CALL*)(const char* bytes, unsigned int length);
using SysFreeStringFn = void(QX5CMD_CALL*)(Bstr text);

}  // namespace qx5cmd
