"""The Python module against simulated gauges in a folder of its own (one process)."""

import os
import subprocess
import sys
import tempfile
import textwrap
import threading
import unittest
from pathlib import Path

_folder = tempfile.TemporaryDirectory()
GAUGES = Path(_folder.name)


def plug(name, serial):
    (GAUGES / f"{name}.gauge").write_text(f"serial = {serial}\n")


def setUpModule():
    plug("a", 4711)
    plug("b", 4712)
    # Read when the library first initialises, which happens in the first test.
    os.environ["QX5SIM"] = str(GAUGES)


def tearDownModule():
    _folder.cleanup()


import qx5  # noqa: E402  (the library is loaded lazily, after setUpModule)


class GaugeAccess(unittest.TestCase):
    def test_each_gauge_object_answers_for_its_own_gauge(self):
        gauges = qx5.gauges()
        self.assertEqual([g.index for g in gauges], [0, 1])
        # Alternating calls: each must select its own gauge first.
        for _ in range(3):
            self.assertEqual([g.serial_number for g in gauges], [4711, 4712])

    def test_values_arrive_as_python_types(self):
        gauge = qx5.gauges()[0]
        a, b = gauge.pressure()
        self.assertIsInstance(a, float)
        self.assertIsInstance(b, float)
        self.assertIsInstance(gauge.firmware_version, str)
        self.assertRegex(gauge.usb_cpu_version, r"^\d+\.\d+$")
        self.assertRegex(gauge.calibration_date, r"^\d{4}-\d{2}-\d{2}$")
        self.assertEqual(qx5.version(), "2.2.0.18")
        rows = gauge.lcd()
        self.assertEqual((len(rows), {len(r) for r in rows}), (64, {16}))

    def test_texts_survive_the_round_trip_through_a_bstr(self):
        gauge = qx5.gauges()[1]
        gauge.set_company_name("Lab 7 \xe9tage")  # 8-bit text, not ASCII only
        self.assertEqual(gauge.company_name, "Lab 7 \xe9tage")

    def test_a_refused_setter_raises(self):
        gauge = qx5.gauges()[0]
        with self.assertRaises(qx5.Qx5Error) as raised:
            gauge.set_calibration_date(2023, 2, 30)
        self.assertEqual(raised.exception.function, "SetCustomDate")

    def test_an_unplugged_gauge_raises_at_its_selection(self):
        gauge = qx5.gauges()[1]
        (GAUGES / "b.gauge").unlink()
        try:
            self.assertEqual(qx5.device_count(), 1)
            with self.assertRaises(qx5.Qx5Error) as raised:
                gauge.serial_number
            self.assertEqual(raised.exception.function, "UsbPort")
        finally:
            plug("b", 4712)
            qx5.device_count()

    def test_a_second_process_is_refused_with_the_library_error_text(self):
        qx5.device_count()  # this process holds the library
        child = subprocess.run(
            [sys.executable, "-c", textwrap.dedent("""
                import qx5
                try:
                    qx5.gauges()
                except qx5.Qx5Error as error:
                    print("refused by", error.function, "|", error)
                print("then", qx5.device_count())
            """)], capture_output=True, text=True, timeout=60)
        self.assertEqual(child.returncode, 0, child.stderr)
        first, second = child.stdout.splitlines()
        self.assertTrue(first.startswith("refused by GetDeviceCount | GetDeviceCount failed: "),
                        first)
        self.assertIn(f"process {os.getpid()}", first)  # the error text names the holder
        self.assertEqual(second, "then 2")

    def test_threads_sharing_gauges_never_read_each_others_gauge(self):
        gauges = qx5.gauges()
        wrong = []

        def read(gauge, expected):
            for _ in range(200):
                serial = gauge.serial_number
                if serial != expected:
                    wrong.append((gauge.index, serial))

        threads = [threading.Thread(target=read, args=(g, s))
                   for g, s in ((gauges[0], 4711), (gauges[1], 4712)) * 2]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(wrong, [])


class Logging(unittest.TestCase):
    def test_log_is_written_inside_the_block_only(self):
        with tempfile.TemporaryDirectory() as folder:
            with qx5.log(Path(folder) / "trace.log", level=4):
                qx5.message(4, "inside the block")
                qx5.gauges()[0].pressure()
            qx5.message(1, "after the block")
            text = (Path(folder) / "trace_0.log").read_text(errors="replace")
        self.assertIn("inside the block", text)
        self.assertIn("PortA=", text)
        self.assertNotIn("after the block", text)

    def test_a_log_file_that_cannot_be_opened_raises(self):
        with self.assertRaises(qx5.Qx5Error):
            with qx5.log("/nonexistent-folder/x.log"):
                pass


if __name__ == "__main__":
    unittest.main()
