"""The library's log as a context manager."""

import contextlib

from . import _core


@contextlib.contextmanager
def log(file, level=4):
    """Logs the library's work into `file` (written as name_0.ext, rotated at 1 MiB) at
    `level` (1 to 10; 4 shows every call and its result) while the block runs."""
    lib = _core.library()
    if not lib.LogStart(str(file).encode(), level):
        raise _core.Qx5Error("LogStart", f"cannot open {file}")
    try:
        yield
    finally:
        lib.LogStop()


def message(level, text):
    """Writes `text` into the library's log at `level`."""
    _core.library().LogMessage(level, text.encode(_core._texts.ENCODING, "replace"))
