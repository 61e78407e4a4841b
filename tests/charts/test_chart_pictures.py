"""The tester's charts as pictures: known CSV files drawn by qx5_chart_from_csv (the tester's
own chart code), rendered by rsvg-convert, and the pixels looked at where the data says the
curves, bands and shaded periods are; and one chart opened in headless Chromium."""

import os
import re
import subprocess
import tempfile
import unittest

from PIL import Image

TOOL = os.environ["QX5_CHART_FROM_CSV"]

BLUE = (31, 95, 191)  # the reading, the room pressure
ORANGE = (230, 126, 34)  # the fan speed
RED = (192, 57, 43)  # the moment attained


def near(colour, wanted, tolerance=60):
    return sum((a - b) ** 2 for a, b in zip(colour[:3], wanted)) ** 0.5 < tolerance


def white(colour):
    return min(colour[:3]) >= 245


class Picture:
    """A chart and its rendering, with the data-to-pixel mapping of its plot area."""

    def __init__(self, folder, svg, x_range, y_range, right_range=None):
        self.svg_text = open(svg, encoding="utf-8").read()
        png = svg[:-4] + ".png"
        subprocess.run(["rsvg-convert", "-o", png, svg], check=True)
        self.image = Image.open(png).convert("RGB")
        area = re.search(r'<rect id="plot-area" x="([\d.]+)" y="([\d.]+)" '
                         r'width="([\d.]+)" height="([\d.]+)"', self.svg_text)
        self.left, self.top, self.width, self.height = map(float, area.groups())
        self.x_range, self.y_range, self.right_range = x_range, y_range, right_range

    def pixel(self, x, y, axis=None):
        low, high = axis or self.y_range
        px = self.left + (x - self.x_range[0]) / (self.x_range[1] - self.x_range[0]) * self.width
        py = self.top + self.height * (1 - (y - low) / (high - low))
        return round(px), round(py)

    def colour(self, x, y, axis=None):
        return self.image.getpixel(self.pixel(x, y, axis))

    def drawn_near(self, x, y, wanted, axis=None, reach=3):
        cx, cy = self.pixel(x, y, axis)
        return any(near(self.image.getpixel((cx + dx, cy + dy)), wanted)
                   for dx in range(-reach, reach + 1) for dy in range(-reach, reach + 1))


def clock(minutes):
    return 10 * 3600 + minutes * 60


def battery_csv(path):
    """10:00 to 10:20 on mains and charging, 3600 rising to 4000; then 10:20 to 10:40 on the
    battery, falling to 3800; with two lines that are no sample."""
    lines = []
    for minute in range(41):
        charging = minute < 20
        reading = 3600 + 20 * minute if minute <= 20 else 4000 - 10 * (minute - 20)
        flags = '"A/C","charging"' if charging else '"off","off"'
        lines.append(f'"10:{minute:02d}:00","{reading}",{flags}\n')
    lines.insert(5, "garbage\n")
    lines.insert(30, '"10:29:30","lots","off","off"\n')
    with open(path, "w") as f:
        f.writelines(lines)


def goto_csv(path):
    """A poll every half second for 20 s: the room pressure rises to 20 kPa over 10 s and stays;
    the fan runs at 70 % until then and at 50 % after."""
    with open(path, "w") as f:
        f.write("seconds,room_kPa,fan_kPa,fan_speed\n")
        for i in range(41):
            t = i / 2
            f.write(f"{t:.3f},{min(2 * t, 20):.3f},{1.5:.3f},{70 if t < 10 else 50:.2f}\n")


class RenderedCharts(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def test_battery_curve_and_shading_land_where_the_log_says(self):
        battery_csv(self.path("battery.csv"))
        subprocess.run([TOOL, "battery", self.path("battery.csv"), self.path("battery.svg")],
                       check=True)
        # The axis holds the data exactly: 3600 and 4000 are whole steps, time is not widened.
        chart = Picture(self.folder.name, self.path("battery.svg"), (clock(0), clock(40)),
                        (3600, 4000))
        self.assertIn("2 unreadable lines of", chart.svg_text)
        self.assertIn("41 samples from 10:00:00 to 10:40:00", chart.svg_text)
        # Rising while charging, falling after.
        self.assertTrue(chart.drawn_near(clock(7), 3740, BLUE))
        self.assertTrue(chart.drawn_near(clock(13), 3860, BLUE))
        self.assertTrue(chart.drawn_near(clock(33), 3870, BLUE))
        self.assertFalse(chart.drawn_near(clock(7), 3950, BLUE))
        self.assertFalse(chart.drawn_near(clock(33), 3650, BLUE))
        # Shaded while on mains and charging, plain after.
        shaded = chart.colour(clock(7), 3650)
        self.assertFalse(white(shaded), shaded)
        self.assertGreater(shaded[1], shaded[2])
        self.assertTrue(white(chart.colour(clock(33), 3650)), chart.colour(clock(33), 3650))

    def test_goto_pressure_enters_the_band_and_stays_with_the_fan_on_its_own_axis(self):
        goto_csv(self.path("goto.csv"))
        subprocess.run([TOOL, "goto", self.path("goto.csv"), self.path("goto.svg"), "20", "1",
                        "13"], check=True)
        # x 0 to 20 s; pressure 0 to 25 kPa (steps of 5); fan speed 0 to 80 % (steps of 20).
        chart = Picture(self.folder.name, self.path("goto.svg"), (0, 20), (0, 25))
        fan = (0, 80)
        self.assertTrue(chart.drawn_near(5, 10, BLUE))
        self.assertTrue(chart.drawn_near(16, 20, BLUE))
        self.assertFalse(chart.drawn_near(16, 15, BLUE))
        self.assertTrue(chart.drawn_near(5, 70, ORANGE, fan))
        self.assertTrue(chart.drawn_near(16, 50, ORANGE, fan))
        self.assertFalse(chart.drawn_near(5, 50, ORANGE, fan))
        # The accuracy band is tinted green across the plot, away from the curves.
        band = chart.colour(3, 20.7)
        self.assertFalse(white(band), band)
        self.assertGreater(band[1], band[0])
        # Sampling from 13 s on is tinted; before the pressure came, nothing is.
        window = chart.colour(17, 12)
        self.assertFalse(white(window), window)
        self.assertGreater(window[2], window[1])
        self.assertTrue(white(chart.colour(7, 12)), chart.colour(7, 12))
        self.assertTrue(any(chart.drawn_near(13, y, RED, reach=1) for y in (4, 5, 6)))

    def test_a_goto_that_timed_out_still_draws_what_it_saw(self):
        goto_csv(self.path("goto.csv"))
        subprocess.run([TOOL, "goto", self.path("goto.csv"), self.path("timeout.svg"), "60",
                        "1"], check=True)
        # The band at 59 to 61 widens the pressure axis to 0 to 80.
        chart = Picture(self.folder.name, self.path("timeout.svg"), (0, 20), (0, 80))
        self.assertIn("timed out after 20.0 s, 41 polls", chart.svg_text)
        self.assertNotIn("attained", chart.svg_text)
        self.assertTrue(chart.drawn_near(5, 10, BLUE))


class Browser(unittest.TestCase):
    def test_chromium_opens_the_chart_without_an_error(self):
        with tempfile.TemporaryDirectory() as folder:
            csv, svg = os.path.join(folder, "goto.csv"), os.path.join(folder, "goto.svg")
            goto_csv(csv)
            subprocess.run([TOOL, "goto", csv, svg, "20", "1", "13"], check=True)
            profile = os.path.join(folder, "profile")
            shot = os.path.join(folder, "shot.png")
            flags = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={profile}"]
            dom = subprocess.run(flags + ["--dump-dom", "file://" + svg], check=True,
                                 capture_output=True, text=True, timeout=120).stdout
            # An SVG the browser cannot parse comes back as an error page.
            self.assertIn('id="plot-area"', dom)
            self.assertNotIn("parsererror", dom)
            subprocess.run(flags + ["--window-size=900,480", f"--screenshot={shot}",
                                    "file://" + svg],
                           check=True, capture_output=True, timeout=120)
            image = Image.open(shot).convert("RGB")
            blue = sum(1 for c in image.getdata() if near(c, BLUE, 40))
            self.assertGreater(blue, 200)


if __name__ == "__main__":
    unittest.main()
