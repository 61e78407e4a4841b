/* Public interface of the gauge library. Usable from C and C++.
 *
 * Booleans are one byte. Text results are BSTRs holding 8-bit text and its terminating zero;
 * the caller releases them with SysFreeString, and arrays with SafeArrayDestroy. Off Windows
 * the library itself provides these OLE-automation types and functions, declared below. */
#ifndef QX5DLL_H
#define QX5DLL_H

#if defined(_WIN32)
#define QX5_CALL __stdcall
#define QX5_EXPORT __declspec(dllexport)
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
#include <oleauto.h>
#else
/* OLE-automation compatible layer. A BSTR points at its text, which is preceded by a 4-byte
 * byte length and followed by a zero terminator; the text is 8-bit. */
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

/* Result of GetDeviceMemory: the gauge's device and range tables; the caller destroys the
 * arrays. */
typedef struct QX5DeviceMemory {
  unsigned char numberOfDevices;
  SAFEARRAY* deviceIndices; /* VT_UI1 */
  SAFEARRAY* rangeCounts;   /* VT_UI1 */
  SAFEARRAY* deviceNames;   /* VT_BSTR, 8-bit names */
  SAFEARRAY* rangeNames;    /* VT_VARIANT, each a VT_ARRAY | VT_BSTR of range names */
} QX5DeviceMemory;

/* Frame, selection and information. */
QX5_API bool QX5_CALL QX5Init(void);
QX5_API bool QX5_CALL UsbPort(unsigned char index);
QX5_API bool QX5_CALL UsbPortOpen(void);
QX5_API void QX5_CALL UsbPortClose(void);
QX5_API int32_t QX5_CALL GetDeviceCount(void);
QX5_API BSTR QX5_CALL GetErrorMessage(void);
QX5_API BSTR QX5_CALL GetDLLVersion(void);
QX5_API unsigned char QX5_CALL GetMaxRange(void);
QX5_API bool QX5_CALL AllVidPidSame(void);
#ifdef __cplusplus
/* C++ linkage on purpose: exported under its decorated name (_Z12GetMaxDevicev here). C
 * callers bind that name at run time. */
QX5_EXPORT unsigned char QX5_CALL GetMaxDevice();
#endif

/* Pressure, flow and temperature. */
QX5_API float QX5_CALL ReadPressure(unsigned char port);
QX5_API bool QX5_CALL GetPressure(float* portA, float* portB);
QX5_API bool QX5_CALL AcquirePressure(SAFEARRAY** portA, SAFEARRAY** portB,
                                      unsigned char numberOfLogs);
QX5_API bool QX5_CALL GetPressureFaster(float* portA, float* portB);
QX5_API bool QX5_CALL EnableUsbCache(unsigned char enable);
QX5_API bool QX5_CALL ReadCache(float* portA, float* portB);
QX5_API bool QX5_CALL GetCacheStatus(void);
QX5_API float QX5_CALL GetFlow(void);
QX5_API int16_t QX5_CALL GetTemperature(void);
QX5_API bool QX5_CALL FlushUSBInputPipe(void);

/* Modes, ranges, averaging, fan and keypad. */
QX5_API bool QX5_CALL SetMode(unsigned char mode);
QX5_API bool QX5_CALL SetAtMode(unsigned char mode);
QX5_API unsigned char QX5_CALL GetAtMode(void);
QX5_API bool QX5_CALL SetRange(unsigned char range);
QX5_API bool QX5_CALL SetDevice(unsigned char device);
QX5_API unsigned char QX5_CALL GetNumberOfRanges(void);
QX5_API unsigned char QX5_CALL GetNumberOfDevices(void);
QX5_API BSTR QX5_CALL GetDeviceName(void);
QX5_API BSTR QX5_CALL GetDeviceRange(void);
QX5_API BSTR QX5_CALL GetDeviceRanges(void);
QX5_API bool QX5_CALL ChangeTimeAverage(void);
QX5_API BSTR QX5_CALL TimeAverageMode(void);
QX5_API bool QX5_CALL SetTimeAvgOff(void);
QX5_API bool QX5_CALL SetAutoZeroOn(unsigned char on);
QX5_API bool QX5_CALL SetAutoZeroOff(unsigned char off);
QX5_API bool QX5_CALL GetAutoZero(void);
QX5_API float QX5_CALL GetConstN(void);
QX5_API bool QX5_CALL SetConstN(unsigned char value);
QX5_API bool QX5_CALL SetReverseMode(unsigned char on);
QX5_API bool QX5_CALL GetReverseModeStatus(void);
QX5_API bool QX5_CALL SetRelPresStatus(unsigned char on);
QX5_API bool QX5_CALL GetRelPresStatus(void);
QX5_API bool QX5_CALL SetFanSpeed(float* speed);
QX5_API float QX5_CALL GetFanSpeed(void);
QX5_API float QX5_CALL GetFanSpeedPercent(void);
QX5_API float QX5_CALL GetFanVersion(void);
QX5_API bool QX5_CALL SetFlowPressure(float* pressure);
QX5_API bool QX5_CALL SetRoomPressure(float* pressure);
QX5_API bool QX5_CALL SetAtPressure(unsigned char index, float* pressure);
QX5_API float QX5_CALL GetAtPressure(unsigned char index);
QX5_API bool QX5_CALL SetRoomPIDConstant(unsigned char index, float* value);
QX5_API float QX5_CALL GetRoomPIDConstant(unsigned char index);
QX5_API bool QX5_CALL PushButton(unsigned char button);
QX5_API bool QX5_CALL EnterSetUp(void);
QX5_API bool QX5_CALL Abort(void);
QX5_API bool QX5_CALL BackLightOn(unsigned char on);
QX5_API bool QX5_CALL BackLightOff(unsigned char off);
QX5_API bool QX5_CALL QX5_Off(void);

/* Identity, calibration and housekeeping. */
QX5_API int32_t QX5_CALL GetSerialNumber(void);
QX5_API bool QX5_CALL SetSerialNumber(int32_t* serialNumber);
QX5_API BSTR QX5_CALL GetQX5FirmwareVersion(void);
QX5_API bool QX5_CALL IsQX5MKII(void);
QX5_API bool QX5_CALL IsQX5A(void);
QX5_API BSTR QX5_CALL GetUSBCPUVersion(void);
QX5_API bool QX5_CALL ResetUSBCPU(void);
QX5_API BSTR QX5_CALL GetCalibrationDate(void);
QX5_API bool QX5_CALL SetDate(void);
QX5_API bool QX5_CALL SetCustomDate(uint32_t year, unsigned char month, unsigned char day);
QX5_API bool QX5_CALL SetCalibrationRange(unsigned char range);
QX5_API bool QX5_CALL ReadWriteHardwareSlope(unsigned char read, unsigned char index,
                                             unsigned char* value);
QX5_API bool QX5_CALL ReadWriteSoftwareSlope(unsigned char read, unsigned char port,
                                             unsigned char range, float* slope);
QX5_API bool QX5_CALL SetCompanyName(BSTR* name);
QX5_API BSTR QX5_CALL GetCompanyName(void);
QX5_API bool QX5_CALL EnableCompanyName(unsigned char on);
QX5_API bool QX5_CALL DisableCompanyName(unsigned char off);
QX5_API unsigned char QX5_CALL GetPowerDownHour(void);
QX5_API bool QX5_CALL SetPowerDownHour(unsigned char hour);
QX5_API int32_t QX5_CALL GetBatteryLevel(void);
QX5_API bool QX5_CALL SaveToEEPROM(void);
QX5_API bool QX5_CALL RestoreFactoryDefault(void);
QX5_API bool QX5_CALL GetQX5PortId(SAFEARRAY** first, unsigned char* firstCount, SAFEARRAY** second,
                                   unsigned char* secondCount);

/* Memory, LCD, tick count and bootloader. */
QX5_API uint32_t QX5_CALL GetQX5TickCount(void);
QX5_API bool QX5_CALL GetLcdRow(unsigned char row, unsigned char* buffer16);
QX5_API bool QX5_CALL UploadMemory(uint32_t address, uint32_t count, unsigned char* destination);
QX5_API bool QX5_CALL DownloadMemory(uint32_t address, uint32_t count, const unsigned char* source);
QX5_API bool QX5_CALL EraseMemory(uint32_t address, uint32_t length);
QX5_API bool QX5_CALL RunTest(uint32_t test, uint32_t count, const unsigned char* input,
                              uint32_t* resultLength, unsigned char* result48);
QX5_API bool QX5_CALL DoBoot(unsigned char mode);
QX5_API uint32_t QX5_CALL GetChipset(void);
QX5_API QX5DeviceMemory QX5_CALL GetDeviceMemory(void);

/* Logging. */
QX5_API bool QX5_CALL LogStart(const char* file, int32_t level);
QX5_API bool QX5_CALL LogStop(void);
QX5_API bool QX5_CALL LogMessage(int32_t level, const char* text);
QX5_API bool QX5_CALL LogInitToStdout(int32_t level, const char* file, bool toStdout);

#endif /* QX5DLL_H */
