"""Lists the attached gauges and reads both pressure ports of each (QX5SIM=2 to try it)."""
import sys

import qx5

try:
    for gauge in qx5.gauges():
        a, b = gauge.pressure()
        print(f"gauge {gauge.index}: serial {gauge.serial_number}, "
              f"firmware {gauge.firmware_version}, port A {a:.3f}, port B {b:.3f}")
except qx5.Qx5Error as error:
    sys.exit(str(error))
