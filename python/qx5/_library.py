"""Loading libqx5dll and declaring the C signatures of the exports this package uses."""

import ctypes
import os

_FILE_NAMES = ("libqx5dll.so.2", "libqx5dll.so")

c_bool, c_ubyte, c_float = ctypes.c_bool, ctypes.c_ubyte, ctypes.c_float
c_int16, c_int32, c_uint32 = ctypes.c_int16, ctypes.c_int32, ctypes.c_uint32
BSTR = ctypes.c_void_p  # kept as a raw pointer so that it can be freed

# name: (result type, argument types). Exports that need no gauge.
_SIGNATURES = {
    "QX5Init": (c_bool, ()),
    "GetDeviceCount": (c_int32, ()),
    "UsbPort": (c_bool, (c_ubyte,)),
    "GetErrorMessage": (BSTR, ()),
    "GetDLLVersion": (BSTR, ()),
    "SysFreeString": (None, (BSTR,)),
    "SysAllocStringByteLen": (BSTR, (ctypes.c_char_p, ctypes.c_uint)),
    "LogStart": (c_bool, (ctypes.c_char_p, c_int32)),
    "LogStop": (c_bool, ()),
    "LogMessage": (c_bool, (c_int32, ctypes.c_char_p)),
    "QX5GaugeOpen": (c_int32, (c_int32,)),
    "QX5GaugeClose": (c_bool, (c_int32,)),
}

# Gauge commands: each acts on the selected gauge, and its twin QX5Gauge<name> on the gauge of
# the handle it takes first.
_GAUGE_COMMANDS = {
    "ReadPressure": (c_float, (c_ubyte,)),
    "GetPressure": (c_bool, (ctypes.POINTER(c_float), ctypes.POINTER(c_float))),
    "GetPressureFaster": (c_bool, (ctypes.POINTER(c_float), ctypes.POINTER(c_float))),
    "GetFlow": (c_float, ()),
    "GetTemperature": (c_int16, ()),
    "GetSerialNumber": (c_int32, ()),
    "GetQX5FirmwareVersion": (BSTR, ()),
    "GetUSBCPUVersion": (BSTR, ()),
    "GetCalibrationDate": (BSTR, ()),
    "GetCompanyName": (BSTR, ()),
    "SetCompanyName": (c_bool, (ctypes.POINTER(BSTR),)),
    "GetDeviceName": (BSTR, ()),
    "GetDeviceRange": (BSTR, ()),
    "GetDeviceRanges": (BSTR, ()),
    "GetChipset": (c_uint32, ()),
    "GetBatteryLevel": (c_int32, ()),
    "SetDevice": (c_bool, (c_ubyte,)),
    "SetRange": (c_bool, (c_ubyte,)),
    "GetNumberOfDevices": (c_ubyte, ()),
    "GetNumberOfRanges": (c_ubyte, ()),
    "SetFanSpeed": (c_bool, (ctypes.POINTER(c_float),)),
    "GetFanSpeed": (c_float, ()),
    "GetFanSpeedPercent": (c_float, ()),
    "SetRoomPressure": (c_bool, (ctypes.POINTER(c_float),)),
    "SetCustomDate": (c_bool, (c_uint32, c_ubyte, c_ubyte)),
    "SaveToEEPROM": (c_bool, ()),
    "GetLcdRow": (c_bool, (c_ubyte, ctypes.POINTER(c_ubyte))),
}

_SIGNATURES.update(_GAUGE_COMMANDS)
_SIGNATURES.update({"QX5Gauge" + name: (restype, (c_int32,) + argtypes)
                    for name, (restype, argtypes) in _GAUGE_COMMANDS.items()})


def _candidates():
    chosen = os.environ.get("QX5DLL_LIBRARY")
    if chosen:
        return [chosen]
    # Installed with the library (<prefix>/lib/python3/dist-packages/qx5): <prefix>/lib first,
    # so a module finds the library of its own tree; then the system search path.
    here = os.path.dirname(os.path.abspath(__file__))
    libdir = os.path.normpath(os.path.join(here, "..", "..", ".."))
    beside = [os.path.join(libdir, name) for name in _FILE_NAMES]
    return [path for path in beside if os.path.exists(path)] + list(_FILE_NAMES)


def load():
    """The library with its exports declared; OSError when no candidate loads."""
    errors = []
    for candidate in _candidates():
        try:
            library = ctypes.CDLL(candidate)
        except OSError as error:
            errors.append(str(error))
            continue
        for name, (restype, argtypes) in _SIGNATURES.items():
            function = getattr(library, name)
            function.restype = restype
            function.argtypes = argtypes
        return library
    raise OSError("libqx5dll could not be loaded (set QX5DLL_LIBRARY to its path): "
                  + "; ".join(errors))
