// The OLE-automation strings, arrays and variants that the exports hand out, for platforms
// without oleaut32. Exported, so applications release what the library returns with the
// library's own allocator.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "qx5dll.h"

namespace {

constexpr std::size_t kLengthPrefix = sizeof(std::uint32_t);
// Two zero bytes after the text: readers that look at the first 16-bit unit of an empty
// string stay inside the block.
constexpr std::size_t kTerminator = 2;

// Hidden in front of every array descriptor: the element type, for copying and releasing.
struct ArrayPrefix {
  VARTYPE vt;
  std::uint16_t reserved[7];
};

ArrayPrefix* prefixOf(SAFEARRAY* array) {
  return reinterpret_cast<ArrayPrefix*>(reinterpret_cast<unsigned char*>(array) -
                                        sizeof(ArrayPrefix));
}

ULONG elementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
      return 4;
    case VT_R8:
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

// False when the count does not fit in memory's address range (a caller's bounds may ask for
// more; a wrapped count would leave a small block indexed by large positions).
bool elementCount(const SAFEARRAY* array, std::size_t& count) {
  count = 1;
  for (unsigned d = 0; d < array->cDims; ++d) {
    if (__builtin_mul_overflow(count, array->rgsabound[d].cElements, &count)) return false;
  }
  return true;
}

std::size_t elementCount(const SAFEARRAY* array) {
  std::size_t count = 0;
  return elementCount(array, count) ? count : 0;
}

// Address of the element at `indices` (rightmost dimension first), or null when out of bounds.
void* elementAddress(SAFEARRAY* array, const LONG* indices) {
  std::size_t offset = 0;
  std::size_t stride = 1;
  for (unsigned d = 0; d < array->cDims; ++d) {
    const SAFEARRAYBOUND& bound = array->rgsabound[d];
    const std::int64_t position = static_cast<std::int64_t>(indices[d]) - bound.lLbound;
    if (position < 0 || position >= static_cast<std::int64_t>(bound.cElements)) return nullptr;
    offset += static_cast<std::size_t>(position) * stride;
    stride *= bound.cElements;
  }
  return static_cast<unsigned char*>(array->pvData) + offset * array->cbElements;
}

BSTR copyString(BSTR text) {
  return text ? SysAllocStringByteLen(text, SysStringByteLen(text)) : nullptr;
}

HRESULT copyVariant(VARIANT* target, const VARIANT* source);

SAFEARRAY* copyArray(SAFEARRAY* source) {
  if (!source) return nullptr;
  SAFEARRAYBOUND bounds[64];
  if (source->cDims == 0 || source->cDims > 64) return nullptr;
  // The descriptor keeps its bounds rightmost first; SafeArrayCreate takes them leftmost first.
  for (unsigned d = 0; d < source->cDims; ++d) bounds[d] = source->rgsabound[source->cDims - 1 - d];
  const VARTYPE vt = prefixOf(source)->vt;
  SAFEARRAY* copy = SafeArrayCreate(vt, source->cDims, bounds);
  if (!copy) return nullptr;
  const std::size_t count = elementCount(source);
  if (!source->pvData) return copy;
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char* from = static_cast<unsigned char*>(source->pvData) + i * source->cbElements;
    unsigned char* to = static_cast<unsigned char*>(copy->pvData) + i * copy->cbElements;
    if (vt == VT_BSTR) {
      *reinterpret_cast<BSTR*>(to) = copyString(*reinterpret_cast<BSTR*>(from));
    } else if (vt == VT_VARIANT) {
      copyVariant(reinterpret_cast<VARIANT*>(to), reinterpret_cast<VARIANT*>(from));
    } else {
      std::memcpy(to, from, source->cbElements);
    }
  }
  return copy;
}

HRESULT copyVariant(VARIANT* target, const VARIANT* source) {
  VariantInit(target);
  if ((source->vt & VT_BYREF) == 0 && (source->vt & VT_ARRAY)) {
    target->parray = copyArray(source->parray);
    if (source->parray && !target->parray) return E_OUTOFMEMORY;
    target->vt = source->vt;
    return S_OK;
  }
  if (source->vt == VT_BSTR) {
    target->bstrVal = copyString(source->bstrVal);
    target->vt = VT_BSTR;
    return S_OK;
  }
  *target = *source;
  return S_OK;
}

void releaseElements(SAFEARRAY* array) {
  if (!array->pvData) return;
  const VARTYPE vt = prefixOf(array)->vt;
  if (vt != VT_BSTR && vt != VT_VARIANT) return;
  const std::size_t count = elementCount(array);
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char* element = static_cast<unsigned char*>(array->pvData) + i * array->cbElements;
    if (vt == VT_BSTR)
      SysFreeString(*reinterpret_cast<BSTR*>(element));
    else
      VariantClear(reinterpret_cast<VARIANT*>(element));
  }
}

}  // namespace

QX5_API BSTR QX5_CALL SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  const std::size_t length = std::strlen(text);
  if (length > UINT32_MAX) return nullptr;
  return SysAllocStringByteLen(text, static_cast<unsigned int>(length));
}

QX5_API BSTR QX5_CALL SysAllocStringByteLen(const char* bytes, unsigned int length) {
  auto* block = static_cast<unsigned char*>(std::malloc(kLengthPrefix + length + kTerminator));
  if (!block) return nullptr;
  const std::uint32_t byteLength = length;
  std::memcpy(block, &byteLength, kLengthPrefix);
  BSTR text = reinterpret_cast<BSTR>(block + kLengthPrefix);
  if (bytes)
    std::memcpy(text, bytes, length);
  else
    std::memset(text, 0, length);
  std::memset(text + length, 0, kTerminator);
  return text;
}

QX5_API void QX5_CALL SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - kLengthPrefix);
}

QX5_API unsigned int QX5_CALL SysStringByteLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t length;
  std::memcpy(&length, reinterpret_cast<unsigned char*>(text) - kLengthPrefix, kLengthPrefix);
  return length;
}

QX5_API SAFEARRAY* QX5_CALL SafeArrayCreate(VARTYPE vt, unsigned int dims, SAFEARRAYBOUND* bounds) {
  const ULONG size = elementSize(vt);
  if (size == 0 || dims == 0 || dims > 64 || !bounds) return nullptr;
  const std::size_t descriptorSize = sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<unsigned char*>(std::calloc(1, sizeof(ArrayPrefix) + descriptorSize));
  if (!block) return nullptr;
  auto* array = reinterpret_cast<SAFEARRAY*>(block + sizeof(ArrayPrefix));
  prefixOf(array)->vt = vt;
  array->cDims = static_cast<std::uint16_t>(dims);
  array->cbElements = size;
  array->fFeatures = FADF_HAVEVARTYPE;
  if (vt == VT_BSTR) array->fFeatures |= FADF_BSTR;
  if (vt == VT_VARIANT) array->fFeatures |= FADF_VARIANT;
  for (unsigned d = 0; d < dims; ++d) array->rgsabound[d] = bounds[dims - 1 - d];
  if (SafeArrayAllocData(array) != S_OK) {
    std::free(block);
    return nullptr;
  }
  return array;
}

QX5_API HRESULT QX5_CALL SafeArrayAllocData(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  if (array->pvData) return S_OK;  // already has its data; allocating again would leak it
  std::size_t count = 0;
  if (!elementCount(array, count)) return E_OUTOFMEMORY;
  // Zeroed data is what the element types expect: null strings, empty variants.
  array->pvData = std::calloc(count ? count : 1, array->cbElements);
  return array->pvData ? S_OK : E_OUTOFMEMORY;
}

QX5_API HRESULT QX5_CALL SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (!array || !indices || !array->pvData) return E_INVALIDARG;
  void* element = elementAddress(array, indices);
  if (!element) return DISP_E_BADINDEX;
  const VARTYPE vt = prefixOf(array)->vt;
  if (vt == VT_BSTR) {
    BSTR copy = copyString(static_cast<BSTR>(value));
    if (value && !copy) return E_OUTOFMEMORY;
    SysFreeString(*static_cast<BSTR*>(element));
    *static_cast<BSTR*>(element) = copy;
  } else if (vt == VT_VARIANT) {
    if (!value) return E_INVALIDARG;
    VARIANT copy;
    const HRESULT result = copyVariant(&copy, static_cast<VARIANT*>(value));
    if (result != S_OK) return result;
    VariantClear(static_cast<VARIANT*>(element));
    *static_cast<VARIANT*>(element) = copy;
  } else {
    if (!value) return E_INVALIDARG;
    std::memcpy(element, value, array->cbElements);
  }
  return S_OK;
}

QX5_API HRESULT QX5_CALL SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (!array || !indices || !value || !array->pvData) return E_INVALIDARG;
  void* element = elementAddress(array, indices);
  if (!element) return DISP_E_BADINDEX;
  const VARTYPE vt = prefixOf(array)->vt;
  if (vt == VT_BSTR) {
    BSTR source = *static_cast<BSTR*>(element);
    BSTR copy = copyString(source);
    if (source && !copy) return E_OUTOFMEMORY;
    *static_cast<BSTR*>(value) = copy;
    return S_OK;
  }
  if (vt == VT_VARIANT)
    return copyVariant(static_cast<VARIANT*>(value), static_cast<VARIANT*>(element));
  std::memcpy(value, element, array->cbElements);
  return S_OK;
}

QX5_API HRESULT QX5_CALL SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  releaseElements(array);
  std::free(array->pvData);
  std::free(prefixOf(array));
  return S_OK;
}

QX5_API void QX5_CALL VariantInit(VARIANT* variant) {
  if (!variant) return;
  std::memset(variant, 0, sizeof *variant);
  variant->vt = VT_EMPTY;
}

QX5_API HRESULT QX5_CALL VariantClear(VARIANT* variant) {
  if (!variant) return E_INVALIDARG;
  if ((variant->vt & VT_BYREF) == 0) {
    if (variant->vt & VT_ARRAY) {
      const HRESULT result = SafeArrayDestroy(variant->parray);
      if (result != S_OK) return result;
    } else if (variant->vt == VT_BSTR) {
      SysFreeString(variant->bstrVal);
    }
  }
  VariantInit(variant);
  return S_OK;
}
