#include <gtest/gtest.h>

#include <cstring>

#include "qx5dll.h"

namespace {

TEST(Bstr, HoldsBytesWithLengthPrefixAndTerminator) {
  BSTR text = SysAllocStringByteLen("ab\0cd", 5);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringByteLen(text), 5u);
  std::uint32_t prefix;
  std::memcpy(&prefix, text - 4, 4);
  EXPECT_EQ(prefix, 5u);
  EXPECT_EQ(0, std::memcmp(text, "ab\0cd", 6));  // terminator included
  SysFreeString(text);

  BSTR empty = SysAllocString("");
  EXPECT_EQ(SysStringByteLen(empty), 0u);
  EXPECT_EQ(empty[0], 0);
  EXPECT_EQ(empty[1], 0);  // a 16-bit reader of an empty string stays inside the block
  SysFreeString(empty);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR blank = SysAllocStringByteLen(nullptr, 3);
  EXPECT_EQ(0, std::memcmp(blank, "\0\0\0", 4));
  SysFreeString(blank);
}

TEST(SafeArray, ElementsAreCopiedInAndOut) {
  SAFEARRAYBOUND bound{3, 0};
  SAFEARRAY* names = SafeArrayCreate(VT_BSTR, 1, &bound);
  ASSERT_NE(names, nullptr);
  EXPECT_EQ(names->fFeatures, FADF_HAVEVARTYPE | FADF_BSTR);
  EXPECT_EQ(SafeArrayAllocData(names), S_OK);  // already allocated: no second block
  BSTR name = SysAllocString("Pitot");
  LONG index = 1;
  EXPECT_EQ(SafeArrayPutElement(names, &index, name), S_OK);
  SysFreeString(name);  // the array keeps its own copy
  BSTR back = nullptr;
  EXPECT_EQ(SafeArrayGetElement(names, &index, &back), S_OK);
  EXPECT_STREQ(back, "Pitot");
  SysFreeString(back);
  index = 3;
  EXPECT_EQ(SafeArrayPutElement(names, &index, name), DISP_E_BADINDEX);
  index = -1;
  EXPECT_EQ(SafeArrayGetElement(names, &index, &back), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(names), S_OK);

  SAFEARRAY* bytes = SafeArrayCreate(VT_UI1, 1, &bound);
  unsigned char value = 7, read = 0;
  index = 2;
  EXPECT_EQ(SafeArrayPutElement(bytes, &index, &value), S_OK);
  EXPECT_EQ(SafeArrayGetElement(bytes, &index, &read), S_OK);
  EXPECT_EQ(read, 7);
  EXPECT_EQ(static_cast<unsigned char*>(bytes->pvData)[2], 7);
  SafeArrayDestroy(bytes);
}

TEST(SafeArray, VariantsOfArraysAreDeepCopiesReleasedWithTheirArray) {
  SAFEARRAYBOUND two{2, 0}, one{1, 0};
  SAFEARRAY* ranges = SafeArrayCreate(VT_BSTR, 1, &two);
  BSTR range = SysAllocString("0-25 Pa");
  LONG index = 0;
  SafeArrayPutElement(ranges, &index, range);
  SysFreeString(range);

  VARIANT element;
  VariantInit(&element);
  element.vt = VT_ARRAY | VT_BSTR;
  element.parray = ranges;
  SAFEARRAY* table = SafeArrayCreate(VT_VARIANT, 1, &one);
  EXPECT_EQ(table->fFeatures, FADF_HAVEVARTYPE | FADF_VARIANT);
  EXPECT_EQ(SafeArrayPutElement(table, &index, &element), S_OK);
  EXPECT_EQ(VariantClear(&element), S_OK);  // destroys `ranges`; the table holds a copy
  EXPECT_EQ(element.vt, VT_EMPTY);

  VARIANT out;
  ASSERT_EQ(SafeArrayGetElement(table, &index, &out), S_OK);
  ASSERT_EQ(out.vt, VT_ARRAY | VT_BSTR);
  BSTR first = nullptr;
  SafeArrayGetElement(out.parray, &index, &first);
  EXPECT_STREQ(first, "0-25 Pa");
  SysFreeString(first);
  VariantClear(&out);
  EXPECT_EQ(SafeArrayDestroy(table), S_OK);  // leak checks in the sanitizer build
}

TEST(SafeArray, RejectsWhatItCannotHold) {
  SAFEARRAYBOUND bound{1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 1, nullptr), nullptr);
  SAFEARRAY* locked = SafeArrayCreate(VT_I4, 1, &bound);
  locked->cLocks = 1;
  EXPECT_EQ(SafeArrayDestroy(locked), DISP_E_ARRAYISLOCKED);
  locked->cLocks = 0;
  EXPECT_EQ(SafeArrayDestroy(locked), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  // 2^65 elements: a count that wraps to zero must not leave a one-element block to index.
  SAFEARRAYBOUND huge[5] = {{65536, 0}, {65536, 0}, {65536, 0}, {65536, 0}, {2, 0}};
  SAFEARRAY* wrapped = SafeArrayCreate(VT_UI1, 5, huge);
  EXPECT_EQ(wrapped, nullptr);
  SafeArrayDestroy(wrapped);
}

TEST(SafeArray, TwoDimensionsIndexRightmostFirst) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}};  // [0..1][1..3]
  SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(grid, nullptr);
  LONG at[2] = {3, 1};  // rightmost dimension first: [1][3], the last element
  std::int32_t value = 42;
  EXPECT_EQ(SafeArrayPutElement(grid, at, &value), S_OK);
  EXPECT_EQ(static_cast<std::int32_t*>(grid->pvData)[5], 42);
  LONG outside[2] = {0, 1};
  EXPECT_EQ(SafeArrayPutElement(grid, outside, &value), DISP_E_BADINDEX);
  SafeArrayDestroy(grid);
}

}  // namespace
