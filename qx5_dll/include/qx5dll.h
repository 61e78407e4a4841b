/* qx5dll.h: the gauge library's public interface, usable from C++ and from C (C11, or C99
 * compilers that accept anonymous unions, as gcc and clang do).
 *
 * Overview
 * --------
 * The library drives the USB differential pressure gauges attached to this computer through
 * one flat function per gauge operation. A typical program:
 *
 *   1. Init. Most exports initialise the library on demand (call QX5Init() first if you want
 *      to see a refusal on its own). A few exports, marked "early" below, do not: call
 *      QX5Init() or GetDeviceCount() before them, or they return their failure value.
 *   2. Find. GetDeviceCount() enumerates the attached gauges afresh and opens them.
 *   3. Select. UsbPort(i) makes gauge i (0 .. count-1, in enumeration order) the selected
 *      gauge: every later command goes to it. GetSerialNumber() tells gauges apart.
 *   4. Call. Each command export sends one command packet to the selected gauge and waits for
 *      its reply ("one exchange"), unless its comment says otherwise. A silent gauge makes an
 *      exchange fail after the pipe timeout of 2000 ms. A reply that ends before a value the
 *      export reads fails the export: cleared bytes never pass for data the gauge sent.
 *   5. Check. No export throws or aborts. Each returns a fixed failure value (given per export
 *      below) and collects the reasons in an error text: GetErrorMessage() returns the errors
 *      of the most recent export call and then empties the text. The text is emptied when the
 *      next export starts, so fetch it straight after the failing call.
 *   6. Free. Every BSTR (text) and SAFEARRAY the library returns belongs to the caller:
 *      release texts with SysFreeString() and arrays with SafeArrayDestroy(). A null BSTR is
 *      allowed in SysFreeString().
 *
 * Values. Booleans are one byte. Numbers are passed on exactly as the gauge reports them:
 * the library converts no units (pressures and flow are in the gauge's configured unit);
 * where a value is scaled on the way, its comment says so. Texts are 8-bit, not UTF-16: a
 * BSTR points at the text, which is preceded by its 4-byte byte length and ended by a zero.
 * Off Windows the library provides the OLE-automation types and functions declared below.
 *
 * One process. Only one process may use the library at a time. The first initialisation in
 * a second process is refused (QX5Init() returns false, GetDeviceCount() -1), and
 * GetErrorMessage() names the process holding the library; later calls go ahead regardless.
 *
 * Logging. Off by default. LogStart() or LogInitToStdout() start it; so does the environment:
 * QX5LOGFILE names a file and QX5LOGLEVEL (default 5) sets the level at the first
 * initialisation. Levels run from 1 (critical) to 10 (everything); 4 shows calls and results,
 * 5 traces each export's first call in full. A log file "name.ext" is written as name_0.ext,
 * rotated at 1 MiB into name_1.ext .. name_5.ext; each start begins a fresh name_0.ext.
 *
 * Threads. Each gauge has a lock of its own, held for the whole of every call on it, so calls
 * from several threads never mix their packets, and calls on different gauges run at once.
 * The error text is kept per thread: GetErrorMessage() returns the errors of the calling
 * thread's own most recent call. The selected gauge (UsbPort) is process-wide: between one
 * thread's UsbPort() and its GetPressure() another thread may select a different gauge. A
 * program that uses threads opens a handle per gauge instead (QX5GaugeOpen, below).
 *
 * Simulated gauges. With QX5SIM=N (1 to 64) in the environment the library talks to N
 * simulated gauges (serial numbers 10001, 10002, ...) instead of USB; QX5SIM=DIR makes every
 * DIR/NAME.gauge file one gauge. Every export works against them. */
#ifndef QX5DLL_H
#define QX5DLL_H

#if defined(_WIN32)
/* QX5DLL.DLL's module-definition file names its exports, undecorated and with fixed ordinals;
 * applications bind them at run time (LoadLibrary, GetProcAddress) by name or ordinal. */
#define QX5_CALL __stdcall
#define QX5_EXPORT
#else
#define QX5_CALL
#define QX5_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define QX5_EXTERN_C extern "C"
#else
#define QX5_EXTERN_C
#endif

/* Every C export is declared with QX5_API. */
#define QX5_API QX5_EXTERN_C QX5_EXPORT

#ifndef __cplusplus
#include <stdbool.h>
#endif
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
/* oleaut32: BSTR, SAFEARRAY, VARIANT (ole2.h also under WIN32_LEAN_AND_MEAN) */
#include <ole2.h>
#else
/* OLE-automation compatible layer. A BSTR points at its text, which is preceded by a 4-byte
 * byte length and followed by a zero terminator; the text is 8-bit. These functions behave as
 * their Windows namesakes for the one-dimensional arrays the library uses: allocation
 * failures give null (or an error HRESULT), and destroying an array frees its BSTR and
 * VARIANT elements. */
typedef char OLECHAR;
typedef OLECHAR* BSTR;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define S_OK ((HRESULT)0)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000D)

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000
};

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_VARIANT 0x0800

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
  uint16_t cDims;
  uint16_t fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

typedef struct tagVARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    LONG lVal;
    uint8_t bVal;
    int16_t iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    SAFEARRAY* parray;
    int8_t cVal;
    uint16_t uiVal;
    ULONG ulVal;
    int intVal;
    unsigned int uintVal;
    void* byref;
  };
} VARIANT;

QX5_API BSTR QX5_CALL SysAllocString(const OLECHAR* text);
QX5_API BSTR QX5_CALL SysAllocStringByteLen(const char* bytes, unsigned int length);
QX5_API void QX5_CALL SysFreeString(BSTR text);
QX5_API unsigned int QX5_CALL SysStringByteLen(BSTR text);
QX5_API SAFEARRAY* QX5_CALL SafeArrayCreate(VARTYPE vt, unsigned int dims, SAFEARRAYBOUND* bounds);
QX5_API HRESULT QX5_CALL SafeArrayAllocData(SAFEARRAY* array);
QX5_API HRESULT QX5_CALL SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
QX5_API HRESULT QX5_CALL SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
QX5_API HRESULT QX5_CALL SafeArrayDestroy(SAFEARRAY* array);
QX5_API void QX5_CALL VariantInit(VARIANT* variant);
QX5_API HRESULT QX5_CALL VariantClear(VARIANT* variant);
#endif /* !_WIN32 */

/* Result of GetDeviceMemory: the gauge's device and range tables, one element per device
 * (lower bound 0). The caller destroys every non-null array with SafeArrayDestroy. An element
 * of a device that could not be selected stays empty (0, null BSTR, VT_EMPTY). Device names
 * are 8-bit BSTRs; the range names of each device come as a VT_ARRAY | VT_BSTR whose strings
 * are UTF-16 (two bytes per character), as Windows callers expect. */
typedef struct QX5DeviceMemory {
  unsigned char numberOfDevices;
  SAFEARRAY* deviceIndices; /* VT_UI1 */
  SAFEARRAY* rangeCounts;   /* VT_UI1 */
  SAFEARRAY* deviceNames;   /* VT_BSTR, 8-bit names */
  SAFEARRAY* rangeNames;    /* VT_VARIANT, each a VT_ARRAY | VT_BSTR of range names */
} QX5DeviceMemory;

/* ---- Frame, selection and information ------------------------------------------------- */

/* Initialises the library once per process: starts the log from QX5LOGFILE/QX5LOGLEVEL,
 * prepares the device list (it enumerates nothing) and runs the one-process check. True when
 * the library is ready or already was; false only for the call that found another process
 * using the library (see GetErrorMessage). No exchange. */
QX5_API bool QX5_CALL QX5Init(void);
/* Selects gauge `index` (0-based, enumeration order) for every later command; enumerates
 * first when no gauge is known yet. False when `index` is not below the number of gauges (the
 * previously selected gauge stays selected) or initialisation is refused. */
QX5_API bool QX5_CALL UsbPort(unsigned char index);
/* UsbPort() of the last successfully selected index (0 after a failed selection). */
QX5_API bool QX5_CALL UsbPortOpen(void);
/* Selects gauge 0 again; closes nothing. No result. */
QX5_API void QX5_CALL UsbPortClose(void);
/* Enumerates the attached gauges afresh, opens them and asks each for its identity: the
 * number of gauges that answered (0 when none), or -1 when initialisation is refused. One
 * exchange per gauge. Gauges plugged in or out are seen only here (and by GetQX5PortId). */
QX5_API int32_t QX5_CALL GetDeviceCount(void);
/* The errors collected during the most recent export call, one per line (empty text when it
 * succeeded); fetching empties it. Never initialises, never exchanges. Free with
 * SysFreeString(); null only when memory runs out. */
QX5_API BSTR QX5_CALL GetErrorMessage(void);
/* The library's version text, "2.2.0.18". Works before QX5Init(). Free with SysFreeString(). */
QX5_API BSTR QX5_CALL GetDLLVersion(void);
/* The number of ranges reported by the last answered SetRange()/SetDevice(); 0 before any.
 * No exchange. */
QX5_API unsigned char QX5_CALL GetMaxRange(void);
/* Always true; kept for existing callers. */
QX5_API bool QX5_CALL AllVidPidSame(void);
#ifdef __cplusplus
/* The number of devices reported by the last answered SetRange()/SetDevice(); 0 before any.
 * No exchange. C++ linkage on purpose: exported under its decorated name
 * (_Z12GetMaxDevicev here); C callers bind that name at run time (dlsym) or use
 * GetNumberOfDevices(), which returns the same byte. */
QX5_EXPORT unsigned char QX5_CALL GetMaxDevice();
#endif

/* ---- Pressure, flow and temperature ----------------------------------------------------
 * Pressures and flow are floats in the gauge's own unit, passed on unchanged. Port 0 is port
 * A, port 1 port B. Paired reads zero both floats first: after a failure they hold 0.0 (or
 * the port A value when only port B failed); a refused initialisation leaves them untouched.
 * Null pointers are refused (false). */

/* Pressure of one port (`port` modulo 2: 2 reads A, 3 reads B); -1.0 on failure. One
 * exchange. */
QX5_API float QX5_CALL ReadPressure(unsigned char port);
/* Both ports, read one after the other: two exchanges. False on failure. */
QX5_API bool QX5_CALL GetPressure(float* portA, float* portB);
/* Fills two caller arrays (one-dimensional, 4-byte float elements) with GetPressure() pairs,
 * one pair per element of `portA`: two exchanges per element. A failed pair does not stop the
 * batch but makes the result false; so does a `portB` array shorter than `portA` (only the
 * common length is filled) or a descriptor that is not such an array (nothing is read).
 * True for an empty `portA`. `numberOfLogs` is only logged. */
QX5_API bool QX5_CALL AcquirePressure(SAFEARRAY** portA, SAFEARRAY** portB,
                                      unsigned char numberOfLogs);
/* Both ports in one exchange: the fast form for polling (newer firmware). Early. */
QX5_API bool QX5_CALL GetPressureFaster(float* portA, float* portB);
/* Turns the gauge's reading cache on (non-zero) or off. One exchange. Early. */
QX5_API bool QX5_CALL EnableUsbCache(unsigned char enable);
/* Both ports from the gauge's reading cache, one exchange. Early. */
QX5_API bool QX5_CALL ReadCache(float* portA, float* portB);
/* The gauge's cache flag; false also on failure (tell them apart with GetErrorMessage). One
 * exchange. Early. */
QX5_API bool QX5_CALL GetCacheStatus(void);
/* The flow, in the gauge's unit; -1.0 on failure. One exchange. Early. */
QX5_API float QX5_CALL GetFlow(void);
/* The temperature as the gauge reports it (signed, unscaled); 0 on failure. One exchange.
 * Early. */
QX5_API int16_t QX5_CALL GetTemperature(void);
/* Discards whatever waits in the selected gauge's reply pipe. Sends no command. */
QX5_API bool QX5_CALL FlushUSBInputPipe(void);

/* ---- Modes, ranges, averaging, fan and keypad ------------------------------------------
 * Unless stated: one exchange, true exactly when the gauge answered, and the library passes
 * numbers through (only the gauge gives modes, devices, ranges and indices a meaning). Byte
 * arguments named on/off/enable count as "yes" when non-zero. */

/* Measuring mode (`mode` modulo 3). SetAtMode() is the same command. */
QX5_API bool QX5_CALL SetMode(unsigned char mode);
QX5_API bool QX5_CALL SetAtMode(unsigned char mode);
/* The gauge's mode byte; 0 on failure. */
QX5_API unsigned char QX5_CALL GetAtMode(void);
/* Select a range of the current device, or a measuring device. On success the library
 * remembers the gauge's answer: the number of ranges and of devices, read back with
 * GetNumberOfRanges()/GetMaxRange() and GetNumberOfDevices()/GetMaxDevice(). */
QX5_API bool QX5_CALL SetRange(unsigned char range);
QX5_API bool QX5_CALL SetDevice(unsigned char device);
/* What the last answered SetRange()/SetDevice() reported (0 before any, and the count is not
 * refreshed by selecting another gauge). No exchange. Early. */
QX5_API unsigned char QX5_CALL GetNumberOfRanges(void);
QX5_API unsigned char QX5_CALL GetNumberOfDevices(void);
/* Names of the selected device and range (leading blanks dropped, at most 24 characters) and
 * the list of the device's ranges as one text (at most 52 characters). "---" on failure.
 * Free with SysFreeString(). Early. */
QX5_API BSTR QX5_CALL GetDeviceName(void);
QX5_API BSTR QX5_CALL GetDeviceRange(void);
QX5_API BSTR QX5_CALL GetDeviceRanges(void);
/* Steps the gauge's time averaging to its next setting. */
QX5_API bool QX5_CALL ChangeTimeAverage(void);
/* The time-averaging setting as a three-character name: "Off", "1s ", "2s ", "4s ", "8s ",
 * "10s", "20s", "1m ", "2m ", or "new" for any later setting. "---" on a failed exchange,
 * null when initialisation is refused. Free with SysFreeString(). It sends the same command
 * as ChangeTimeAverage(), so the gauge steps to its next setting and names that one. */
QX5_API BSTR QX5_CALL TimeAverageMode(void);
/* Turns time averaging off; true only when the gauge confirms it. */
QX5_API bool QX5_CALL SetTimeAvgOff(void);
/* Auto zero on or off. SetAutoZeroOff(0) switches it ON (the argument asks for "off"). The
 * library mirrors the switch: GetAutoZero() returns the last successfully set state without
 * asking the gauge (false after a failed SetAutoZeroOff(), false at start). */
QX5_API bool QX5_CALL SetAutoZeroOn(unsigned char on);
QX5_API bool QX5_CALL SetAutoZeroOff(unsigned char off);
QX5_API bool QX5_CALL GetAutoZero(void);
/* The constant N: written as a byte, read back divided by 100 (50 reads as 0.5); 0.0 on
 * failure. */
QX5_API float QX5_CALL GetConstN(void);
QX5_API bool QX5_CALL SetConstN(unsigned char value);
/* Reverse mode and relative pressure: set on/off, and read back (false also on failure). */
QX5_API bool QX5_CALL SetReverseMode(unsigned char on);
QX5_API bool QX5_CALL GetReverseModeStatus(void);
QX5_API bool QX5_CALL SetRelPresStatus(unsigned char on);
QX5_API bool QX5_CALL GetRelPresStatus(void);
/* Drives the fan open loop. The float is truncated toward zero to a 16-bit integer (12.9
 * sends 12); null is refused. */
QX5_API bool QX5_CALL SetFanSpeed(float* speed);
/* The fan speed in percent: GetFanSpeed() scales the gauge's 10-bit reading (1023 reads as
 * 100.0), GetFanSpeedPercent() returns the newer firmware's own figure. -1.0 on failure. */
QX5_API float QX5_CALL GetFanSpeed(void);
QX5_API float QX5_CALL GetFanSpeedPercent(void);
/* The fan controller's version number; 0.0 on failure. */
QX5_API float QX5_CALL GetFanVersion(void);
/* Targets for the gauge's own controller: a flow pressure, or a room pressure that the gauge
 * then holds with the fan. Truncated toward zero to a 16-bit integer in the gauge's unit. */
QX5_API bool QX5_CALL SetFlowPressure(float* pressure);
QX5_API bool QX5_CALL SetRoomPressure(float* pressure);
/* The at-pressure table: entry `index` is written truncated to an integer and read back
 * divided by 100 (1234.0 reads as 12.34); 0.0 on failure. */
QX5_API bool QX5_CALL SetAtPressure(unsigned char index, float* pressure);
QX5_API float QX5_CALL GetAtPressure(unsigned char index);
/* The room controller's PID constant `index`, as a float both ways; 0.0 on failure. Early. */
QX5_API bool QX5_CALL SetRoomPIDConstant(unsigned char index, float* value);
QX5_API float QX5_CALL GetRoomPIDConstant(unsigned char index);
/* Presses keypad button `button` modulo 15. */
QX5_API bool QX5_CALL PushButton(unsigned char button);
/* Enters the gauge's set-up menu; Abort() leaves what the gauge is doing. */
QX5_API bool QX5_CALL EnterSetUp(void);
QX5_API bool QX5_CALL Abort(void);
/* Backlight on or off. BackLightOff(0) switches it ON (the argument asks for "off"). */
QX5_API bool QX5_CALL BackLightOn(unsigned char on);
QX5_API bool QX5_CALL BackLightOff(unsigned char off);
/* Switches the gauge off. */
QX5_API bool QX5_CALL QX5_Off(void);

/* ---- Identity, calibration and housekeeping --------------------------------------------
 * Unless stated: one exchange, true exactly when the gauge answered. Text results are freed
 * with SysFreeString(); they are null when initialisation is refused and a fixed placeholder
 * when the exchange fails. Settings changed here live in the gauge's RAM until
 * SaveToEEPROM(). */

/* The selected gauge's serial number; -1 on failure. 5555555 means the gauge runs its
 * bootloader; 0 and -1 never name a real gauge. Early. */
QX5_API int32_t QX5_CALL GetSerialNumber(void);
/* Writes a new serial number (seen by GetSerialNumber() from then on). Null is refused.
 * Early. */
QX5_API bool QX5_CALL SetSerialNumber(int32_t* serialNumber);
/* The firmware version text (at most 40 characters); "---" on failure. A text containing
 * "BOOT" means the gauge runs its bootloader. */
QX5_API BSTR QX5_CALL GetQX5FirmwareVersion(void);
/* Model queries; false also on failure. */
QX5_API bool QX5_CALL IsQX5MKII(void);
QX5_API bool QX5_CALL IsQX5A(void);
/* The USB processor's version as "major.minor"; the literal text "major.minor" on failure. */
QX5_API BSTR QX5_CALL GetUSBCPUVersion(void);
/* Resets the USB processor; true when the request was written (no reply is awaited). */
QX5_API bool QX5_CALL ResetUSBCPU(void);
/* The calibration date as "YYYY-MM-DD"; the literal text "yyyy-mm-dd" on failure. */
QX5_API BSTR QX5_CALL GetCalibrationDate(void);
/* Sets the calibration date to today (local time), or to the given date. SetCustomDate()
 * returns false without sending for an impossible date or a year before 1900. */
QX5_API bool QX5_CALL SetDate(void);
QX5_API bool QX5_CALL SetCustomDate(uint32_t year, unsigned char month, unsigned char day);
/* Selects the range that the calibration commands act on. Early. */
QX5_API bool QX5_CALL SetCalibrationRange(unsigned char range);
/* Reads (`read` non-zero) or writes hardware slope byte `index` through `value`. An index
 * outside the packet (28 or more for a write, 56 or more for a read) or a null `value` is
 * refused before anything is sent. */
QX5_API bool QX5_CALL ReadWriteHardwareSlope(unsigned char read, unsigned char index,
                                             unsigned char* value);
/* Reads (`read` non-zero) or writes the software slope of a port and range. The gauge stores
 * slope x 3 / 1023: a read returns the slope, while a write leaves that stored (scaled)
 * value in *slope. Null is refused. */
QX5_API bool QX5_CALL ReadWriteSoftwareSlope(unsigned char read, unsigned char port,
                                             unsigned char range, float* slope);
/* Sends the company name shown by the gauge: the BSTR's bytes, at most 28. On a failed
 * exchange *name is replaced by a new BSTR "Reply not received from QX5", which the caller
 * frees; the original is not freed, so keep a copy of its pointer to free it too. Null is
 * refused. */
QX5_API bool QX5_CALL SetCompanyName(BSTR* name);
/* The company name (at most 28 characters); "--" on failure. */
QX5_API BSTR QX5_CALL GetCompanyName(void);
/* Shows or hides the company name. DisableCompanyName(0) shows it. */
QX5_API bool QX5_CALL EnableCompanyName(unsigned char on);
QX5_API bool QX5_CALL DisableCompanyName(unsigned char off);
/* The hour at which the gauge switches itself off; 0 on failure. */
QX5_API unsigned char QX5_CALL GetPowerDownHour(void);
QX5_API bool QX5_CALL SetPowerDownHour(unsigned char hour);
/* The battery level as the gauge reports it (0 to 65535, unscaled); 0 on failure. */
QX5_API int32_t QX5_CALL GetBatteryLevel(void);
/* Stores the current settings in the gauge's EEPROM. */
QX5_API bool QX5_CALL SaveToEEPROM(void);
/* Returns the gauge to its factory settings. Early. */
QX5_API bool QX5_CALL RestoreFactoryDefault(void);
/* Probes every attached gauge and sorts them by kind into two caller arrays (one-dimensional,
 * 1-, 2- or 4-byte integer elements, at least one element each) of gauge indices; each count
 * receives the number of gauges of that kind, though each array stores at most its element
 * count minus 1 indices. At most (elements of `first`) - 1 gauges are probed. Enumerates the
 * gauges (like GetDeviceCount()), then one exchange per gauge; leaves the last probed gauge
 * selected. False when no gauge was probed or an argument is unusable (an array whose
 * indices would not all fit a LONG among them). */
QX5_API bool QX5_CALL GetQX5PortId(SAFEARRAY** first, unsigned char* firstCount, SAFEARRAY** second,
                                   unsigned char* secondCount);

/* ---- Memory, LCD, tick count and bootloader --------------------------------------------
 * All early: call QX5Init() or GetDeviceCount() first. One exchange each; out-buffers are
 * untouched on failure. Writing flash is for the firmware tools: a wrong write can leave a
 * gauge that only its bootloader still runs. */

/* The gauge's tick counter; 0xFFFFFFFF on failure. */
QX5_API uint32_t QX5_CALL GetQX5TickCount(void);
/* LCD row `row` (0 to 63 on a 128 x 64 display) into 16 bytes, one bit per pixel. */
QX5_API bool QX5_CALL GetLcdRow(unsigned char row, unsigned char* buffer16);
/* Reads `count` bytes (at most 56; 48 is usual) from `address` into `destination`. False,
 * with `destination` untouched, when the reply carries fewer than `count` data bytes. */
QX5_API bool QX5_CALL UploadMemory(uint32_t address, uint32_t count, unsigned char* destination);
/* Writes `count` bytes (at most 51; 48 is usual) at `address`. True only when the gauge
 * reports the write done; a refusal is named in the error text. */
QX5_API bool QX5_CALL DownloadMemory(uint32_t address, uint32_t count, const unsigned char* source);
/* Erases `length` bytes (low 16 bits used) from `address`. True only when the gauge reports
 * the erase done (a refusal is named in the error text); callers retry a refused erase. */
QX5_API bool QX5_CALL EraseMemory(uint32_t address, uint32_t length);
/* Runs the gauge's test routine `test` with `count` input bytes (at most 51). On success
 * *resultLength receives the result's length (at most 48) and result48, which must hold 48
 * bytes, the result followed by zeros. */
QX5_API bool QX5_CALL RunTest(uint32_t test, uint32_t count, const unsigned char* input,
                              uint32_t* resultLength, unsigned char* result48);
/* Mode 0 restarts the gauge into its bootloader, 1 into its firmware. The gauge restarts:
 * wait, then enumerate again (GetDeviceCount) before the next command. */
QX5_API bool QX5_CALL DoBoot(unsigned char mode);
/* The gauge's chipset number (firmware files are named by it); 0xFFFFFFFF on failure. */
QX5_API uint32_t QX5_CALL GetChipset(void);
/* Walks the gauge's device and range tables (see QX5DeviceMemory): selects device 0 to learn
 * the number of devices, then every device and every range in turn, and leaves the last ones
 * selected. One exchange, then two per device (selection, name) and two per range. Initialises
 * through SetDevice(). The caller destroys the arrays. */
QX5_API QX5DeviceMemory QX5_CALL GetDeviceMemory(void);

/* ---- A handle per gauge -----------------------------------------------------------------
 * QX5GaugeOpen(i) opens gauge i of the device list (the gauge UsbPort(i) would select) and
 * returns a handle for it. Every gauge command export Name above has a twin QX5GaugeName
 * that takes the handle first and otherwise the same arguments, results and failure values,
 * and acts on that gauge whatever is selected: QX5GaugeGetPressure(gauge, &a, &b),
 * QX5GaugeGetSerialNumber(gauge), QX5GaugeDownloadMemory(gauge, address, count, bytes), ...
 * The twins are declared in qx5dll_gauge.h, included below. A handle remembers its own
 * answers to SetRange()/SetDevice() and its own auto-zero mirror (QX5GaugeGetMaxRange,
 * QX5GaugeGetNumberOfDevices, QX5GaugeGetAutoZero).
 *
 * Threads may call twins on different gauges at once; calls on one gauge (through any handle
 * or the legacy exports while it is selected) wait for each other. A handle follows its
 * gauge across the gauge's own restarts (DoBoot into the bootloader and back): while the
 * gauge is away its calls fail, and the first call after it is back at the same USB port
 * opens it again. Other gauges coming and going, and GetDeviceCount() from any thread,
 * leave the handle as it is. A stale or made-up handle, also one closed by another thread
 * while a call on it runs, is refused with the call's failure value and an error text; it
 * is never a crash. Handles are never reused. */

/* Opens gauge `index` (0-based, as UsbPort), enumerating first when no gauge is known yet:
 * a handle greater than 0, or 0 when there is no such gauge or initialisation is refused
 * (the reason in GetErrorMessage). Two handles may name the same gauge. */
QX5_API int32_t QX5_CALL QX5GaugeOpen(int32_t index);
/* Closes a handle. False for a handle that is not open. A call running on the handle in
 * another thread ends as it would have. */
QX5_API bool QX5_CALL QX5GaugeClose(int32_t gauge);

#include "qx5dll_gauge.h"

/* ---- Logging ----------------------------------------------------------------------------
 * No gauge needed, no exchange; these do not initialise the library. */

/* Starts the log at `level` (1 to 10) into `file` (null or empty: no file), beginning a fresh
 * file. False when the file cannot be opened; the settings stay and later lines try again. */
QX5_API bool QX5_CALL LogStart(const char* file, int32_t level);
/* Stops logging; always true. */
QX5_API bool QX5_CALL LogStop(void);
/* Writes `text` as one line at `level` (outside 1 to 10 counts as 1); always true. */
QX5_API bool QX5_CALL LogMessage(int32_t level, const char* text);
/* As LogStart() (note the argument order), and mirrors the lines to standard output when
 * `toStdout` is true. */
QX5_API bool QX5_CALL LogInitToStdout(int32_t level, const char* file, bool toStdout);

#endif /* QX5DLL_H */
