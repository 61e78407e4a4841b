/* Public interface of the gauge library. Usable from C and C++. */
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

/* Results and flags are one-byte booleans: C++ bool, C99 _Bool (same size and passing). */
#ifndef __cplusplus
#include <stdbool.h>
#endif

/* ---- Logging ---- */
/* Starts logging at `level` (1 CRITICAL .. 10 ALL) to the rotating files file_0.ext ... file_5.ext
   (".log" when the name has no extension); a null or empty file logs nowhere. False when the
   file cannot be opened. */
QX5_API bool QX5_CALL LogStart(const char* file, int level);
/* As LogStart, optionally mirroring every line to standard output. Note the argument order. */
QX5_API bool QX5_CALL LogInitToStdout(int level, const char* file, bool toStdout);
/* Writes "Logfile closed." and turns logging off. */
QX5_API bool QX5_CALL LogStop(void);
/* Writes `text` as one line at `level`. */
QX5_API bool QX5_CALL LogMessage(int level, const char* text);

#endif /* QX5DLL_H */
