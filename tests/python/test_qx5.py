"""The Python module against simulated gauges in a folder of its own (one process)."""

import gc
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

    def test_an_unplugged_gauge_raises_and_the_others_go_on(self):
        a, b = qx5.gauges()
        (GAUGES / "b.gauge").unlink()
        try:
            self.assertEqual(qx5.device_count(), 1)
            with self.assertRaises(qx5.Qx5Error) as raised:
                b.serial_number
            self.assertEqual(raised.exception.function, "GetSerialNumber")
            self.assertEqual(a.serial_number, 4711)
            with self.assertRaises(qx5.Qx5Error) as raised:
                qx5.Gauge(1).serial_number  # no gauge at that position any more
            self.assertEqual(raised.exception.function, "QX5GaugeOpen")
        finally:
            plug("b", 4712)
            qx5.device_count()

    def test_a_closed_gauge_refuses_and_its_handle_is_closed(self):
        with qx5.Gauge(0) as gauge:
            handle = gauge.handle
            self.assertEqual(gauge.serial_number, 4711)
        self.assertTrue(gauge.closed)
        with self.assertRaises(qx5.Qx5Error) as raised:
            gauge.pressure()
        self.assertEqual(raised.exception.function, "GetPressure")
        gauge.close()  # again: nothing more to do
        self.assertFalse(qx5.library().QX5GaugeClose(handle))
        qx5.error_message()
        # A collected Gauge closes its handle too; other Gauges of the gauge go on.
        collected = qx5.Gauge(0)
        handle = collected.handle
        del collected
        gc.collect()
        self.assertFalse(qx5.library().QX5GaugeClose(handle))
        qx5.error_message()
        self.assertEqual(qx5.Gauge(0).serial_number, 4711)

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

    def test_threads_never_read_each_others_gauge(self):
        shared = qx5.gauges()
        wrong = []

        def read(gauge, expected):
            for _ in range(200):
                serial = gauge.serial_number
                if serial != expected or len(gauge.pressure()) != 2:
                    wrong.append((gauge.index, serial))

        # Two threads share each Gauge object, a third has one of its own.
        pairs = [(shared[0], 4711), (shared[1], 4712)] * 2 + [(qx5.Gauge(0), 4711),
                                                             (qx5.Gauge(1), 4712)]
        threads = [threading.Thread(target=read, args=pair) for pair in pairs]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(wrong, [])

    def test_calls_on_different_gauges_are_not_serialised_by_the_module(self):
        first, second = qx5.gauges()
        real = qx5._core.library()
        second_done = threading.Event()

        class FirstWaitsForSecond:
            """The library, but a call on the first gauge returns only after one on the
            second has: a lock around calls in the module would hold the second back."""

            def __getattr__(self, name):
                return getattr(real, name)

            def QX5GaugeGetSerialNumber(self, handle):
                if handle == first.handle and not second_done.wait(30):
                    return -2
                serial = real.QX5GaugeGetSerialNumber(handle)
                if handle == second.handle:
                    second_done.set()
                return serial

        results = {}
        qx5._core._loaded = FirstWaitsForSecond()
        try:
            waiting = threading.Thread(target=lambda: results.update(a=first.serial_number))
            waiting.start()
            results["b"] = second.serial_number
            waiting.join()
        finally:
            qx5._core._loaded = real
        self.assertEqual(results, {"a": 4711, "b": 4712})


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
