/* The public header compiles as C (built with every build; never run). */
#include "qx5dll.h"

int qx5HeaderCheck(void) {
  VARIANT v;
  VariantInit(&v);
  BSTR text = GetDLLVersion();
  const unsigned length = SysStringByteLen(text);
  SysFreeString(text);
  return (int)length + (GetDeviceCount() > 0 ? 1 : 0) + (int)v.vt;
}
