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

#endif /* QX5DLL_H */
