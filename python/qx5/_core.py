"""The gauges as Python objects over the library's C exports.

Failures become Qx5Error carrying the library's error text. An export whose result is a plain
yes/no (opening, setters, paired reads) fails exactly when it returns false. A getter's failure
value (-1.0, 0, -1, a placeholder text) can also be a real reading, so a getter fails only when
it returns that value and the library reports an error for the call.

Each Gauge owns a handle of the library's and calls the handle's twin of every command
(QX5GaugeGetPressure for GetPressure). The library locks a gauge for each call, and ctypes lets
go of the interpreter lock while the call runs, so threads on different gauges run at once and
threads sharing a Gauge take turns at the library, not here.
"""

import ctypes
import threading
import weakref

from . import _library, _texts

_loading = threading.Lock()
_loaded = None


class Qx5Error(Exception):
    """A library call failed; `function` is the export, `error_text` the library's own words."""

    def __init__(self, function, error_text=""):
        self.function = function
        self.error_text = error_text.strip()
        super().__init__(f"{function} failed" + (f": {self.error_text}" if self.error_text else ""))


def library():
    """The loaded library (ctypes.CDLL), for exports this package does not wrap."""
    global _loaded
    if _loaded is None:
        with _loading:
            if _loaded is None:
                _loaded = _library.load()
    return _loaded


def error_message():
    """The errors of this thread's most recent library call (empty when there were none);
    fetching empties them."""
    lib = library()
    return _texts.take(lib, lib.GetErrorMessage()) or ""


def _fail(function):
    raise Qx5Error(function, error_message())


def _check(function, result, failure):
    """`result`, unless it is the failure value and the library reported an error."""
    if result == failure:
        text = error_message()
        if text:
            raise Qx5Error(function, text)
    return result


def version():
    """The library's version text."""
    lib = library()
    return _texts.take(lib, lib.GetDLLVersion())


def device_count():
    """Enumerates the attached gauges afresh and returns how many answered."""
    count = library().GetDeviceCount()
    if count < 0:
        _fail("GetDeviceCount")
    return count


def gauges():
    """One open Gauge per attached gauge, in enumeration order (enumerates afresh)."""
    found = [Gauge(index) for index in range(device_count())]
    for gauge in found:
        gauge._open("QX5GaugeOpen")  # the gauge at its position now, whatever comes later
    return found


class Gauge:
    """One attached gauge, by its position in the enumeration when it is opened: by gauges(),
    or at its first use. Once open it stays that gauge's through later enumerations, other
    gauges coming and going and its own restarts, until close(), the end of a `with` block or
    its collection; a closed Gauge raises Qx5Error."""

    def __init__(self, index):
        self.index = index
        self._handle = 0
        self._closed = False
        self._opening = threading.Lock()
        self._close_handle = None

    def __repr__(self):
        return f"Gauge({self.index})"

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def close(self):
        """Closes the gauge's handle; a call running meanwhile in another thread is refused by
        the library or ends as it would have."""
        with self._opening:
            self._closed = True
            self._handle = 0
            if self._close_handle:
                self._close_handle()

    @property
    def closed(self):
        return self._closed

    @property
    def handle(self):
        """The library's handle for this gauge (QX5GaugeOpen), for the QX5Gauge exports this
        package does not wrap; opens the gauge on first use."""
        return self._open("QX5GaugeOpen")

    def _open(self, function):
        handle = self._handle
        if handle:
            return handle
        with self._opening:
            if self._closed:
                raise Qx5Error(function, f"{self!r} is closed")
            if not self._handle:
                lib = library()
                handle = lib.QX5GaugeOpen(self.index)
                if not handle:
                    _fail("QX5GaugeOpen")
                # Closes the handle when the Gauge is collected, or once by close().
                self._close_handle = weakref.finalize(self, lib.QX5GaugeClose, handle)
                self._handle = handle
            return self._handle

    def _run(self, name, *args):
        """Calls the twin of export `name` on this gauge's handle."""
        handle = self._open(name)
        return getattr(library(), "QX5Gauge" + name)(handle, *args)

    def _done(self, name, *args):
        if not self._run(name, *args):
            _fail(name)

    def _value(self, name, failure, *args):
        return _check(name, self._run(name, *args), failure)

    def _text(self, name, placeholder):
        text = _texts.take(library(), self._run(name))
        if text is None:
            _fail(name)
        return _check(name, text, placeholder)

    def _pair(self, name):
        a, b = ctypes.c_float(), ctypes.c_float()
        if not self._run(name, ctypes.byref(a), ctypes.byref(b)):
            _fail(name)
        return a.value, b.value

    # Measurements, in the gauge's own units.
    def pressure(self):
        """(port A, port B), read one port after the other."""
        return self._pair("GetPressure")

    def pressure_fast(self):
        """(port A, port B) in one exchange (newer firmware)."""
        return self._pair("GetPressureFaster")

    def read_pressure(self, port):
        """The pressure of port 0 (A) or 1 (B)."""
        return self._value("ReadPressure", -1.0, port)

    def flow(self):
        return self._value("GetFlow", -1.0)

    def temperature(self):
        return self._value("GetTemperature", 0)

    def battery_level(self):
        return self._value("GetBatteryLevel", 0)

    # Identity.
    @property
    def serial_number(self):
        return self._value("GetSerialNumber", -1)

    @property
    def firmware_version(self):
        return self._text("GetQX5FirmwareVersion", "---")

    @property
    def usb_cpu_version(self):
        return self._text("GetUSBCPUVersion", "major.minor")

    @property
    def calibration_date(self):
        return self._text("GetCalibrationDate", "yyyy-mm-dd")

    @property
    def chipset(self):
        return self._value("GetChipset", 0xFFFFFFFF)

    @property
    def company_name(self):
        return self._text("GetCompanyName", "--")

    def set_company_name(self, name):
        """Shows `name` (at most 28 characters are sent)."""
        lib = library()
        original = _texts.make(lib, name)
        bstr = _library.BSTR(original)
        try:
            ok = self._run("SetCompanyName", ctypes.byref(bstr))
        finally:
            # On failure the library puts a new text of its own in place of ours.
            if bstr.value != original:
                lib.SysFreeString(bstr)
            lib.SysFreeString(original)
        if not ok:
            _fail("SetCompanyName")

    def set_calibration_date(self, year, month, day):
        self._done("SetCustomDate", year, month, day)

    # Devices and ranges.
    @property
    def device_name(self):
        return self._text("GetDeviceName", "---")

    @property
    def range_name(self):
        return self._text("GetDeviceRange", "---")

    @property
    def range_names(self):
        """The selected device's ranges as the gauge lists them, one text."""
        return self._text("GetDeviceRanges", "---")

    def set_device(self, device):
        self._done("SetDevice", device)

    def set_range(self, range_index):
        self._done("SetRange", range_index)

    # Fan and pressure control.
    def set_fan_speed(self, percent):
        self._done("SetFanSpeed", ctypes.byref(ctypes.c_float(percent)))

    def fan_speed(self):
        """The fan speed in percent."""
        return self._value("GetFanSpeed", -1.0)

    def set_room_pressure(self, pressure):
        """Hands the room pressure target to the gauge's own controller."""
        self._done("SetRoomPressure", ctypes.byref(ctypes.c_float(pressure)))

    def save_settings(self):
        """Stores the current settings in the gauge's EEPROM."""
        self._done("SaveToEEPROM")

    def lcd(self):
        """The display as 64 rows of 16 bytes, one bit per pixel."""
        rows = []
        buffer = (ctypes.c_ubyte * 16)()
        for row in range(64):
            if not self._run("GetLcdRow", row, buffer):
                _fail("GetLcdRow")
            rows.append(bytes(buffer))
        return rows
