"""Python access to the USB differential pressure gauges through libqx5dll.

    import qx5
    for gauge in qx5.gauges():
        print(gauge.serial_number, gauge.pressure())

Set QX5SIM=2 to try it with two simulated gauges, and QX5DLL_LIBRARY to load a particular
libqx5dll.so.
"""

from ._core import Gauge, Qx5Error, device_count, error_message, gauges, library, version
from ._log import log, message

__all__ = ["Gauge", "Qx5Error", "device_count", "error_message", "gauges", "library", "log",
           "message", "version"]
__version__ = "2.2.0.18"
