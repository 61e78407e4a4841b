"""BSTR results: copied into Python str (8-bit text, read as Latin-1) and freed at once."""

import ctypes

ENCODING = "latin-1"


def take(library, bstr):
    """The text of a BSTR the library returned (None for a null one), which is then freed."""
    if not bstr:
        return None
    try:
        return ctypes.string_at(bstr).decode(ENCODING)
    finally:
        library.SysFreeString(bstr)


def make(library, text):
    """A new BSTR holding `text`; the caller frees it with SysFreeString."""
    data = text.encode(ENCODING)
    bstr = library.SysAllocStringByteLen(data, len(data))
    if not bstr:
        raise MemoryError("SysAllocStringByteLen")
    return bstr
