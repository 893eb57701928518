"""Cases of escaner_tools/screen_reader.py that need no screen: OverallBar's
percentage read from drawn frames, and the screenshot format it accepts.

    PYTHONPATH=python python3 -B tests/run/screen_reader_test.py"""

import unittest
from pathlib import Path

from escaner_tools.screen_reader import Frame, overall_percentage, strip_rect

ROOT = b"\x00\x00\x00"
FACE = b"\xf5\xf5\xf5"
SHADOW = b"\xa6\xa6\xa6"
LIGHT = b"\xff\xff\xff"
FILL = b"\x33\x99\xff"
WIDTH, HEIGHT = 400, 60


class Canvas:
    """A screen as the classic look draws the strip: the face colour, two
    bars with a sunken one-pixel edge, a one-pixel frame of the bar's
    background inside it, and the fill from the interior's left end."""

    def __init__(self, colour=ROOT):
        self.rows = [[colour] * WIDTH for _ in range(HEIGHT)]

    def fill(self, left, top, width, height, colour):
        for y in range(top, top + height):
            for x in range(left, left + width):
                self.rows[y][x] = colour

    def strip(self, overall_filled=0, file_filled=0):
        left, top, width, height = strip_rect(WIDTH)
        self.fill(left, top, width, height, FACE)
        for bar_y, filled in ((0, file_filled), (21, overall_filled)):
            self.fill(left, top + bar_y, 200, 20, SHADOW)
            self.fill(left + 1, top + bar_y + 1, 199, 19, LIGHT)
            self.fill(left + 1, top + bar_y + 1, 198, 18, FACE)
            self.fill(left + 2, top + bar_y + 2, filled, 16, FILL)
        return self

    def frame(self, header=b"P6\n%d %d\n255\n" % (WIDTH, HEIGHT)):
        return Frame(Path("drawn.ppm"), header + b"".join(b"".join(r) for r in self.rows))


class OverallPercentage(unittest.TestCase):
    def test_what_the_screen_shows(self):
        cases = [
            ("no strip: the root window only", Canvas(), None),
            ("a plain window where the strip would be", Canvas(FACE), None),
            ("empty bar", Canvas().strip(), 0),
            ("the file bar full does not count", Canvas().strip(file_filled=196), 0),
            ("one pixel", Canvas().strip(overall_filled=1), 1),
            ("a tenth", Canvas().strip(overall_filled=20), 10),
            ("half", Canvas().strip(overall_filled=98), 50),
            ("full", Canvas().strip(overall_filled=196), 100),
        ]
        for name, canvas, expected in cases:
            with self.subTest(name):
                self.assertEqual(overall_percentage(canvas.frame(), strip_rect(WIDTH)), expected)


class Screenshots(unittest.TestCase):
    def test_a_16_bit_screenshot_is_refused(self):
        with self.assertRaises(ValueError):
            Canvas().frame(b"P6\n%d %d\n65535\n" % (WIDTH, HEIGHT))

    def test_header_with_a_comment(self):
        frame = Canvas().strip(overall_filled=98).frame(
            b"P6\n# by import\n%d %d\n255\n" % (WIDTH, HEIGHT))
        self.assertEqual(overall_percentage(frame, strip_rect(WIDTH)), 50)

    def test_blank(self):
        frame = Canvas().strip().frame()
        self.assertTrue(frame.is_blank((0, 45, WIDTH, 10)))
        self.assertFalse(frame.is_blank(strip_rect(WIDTH)))


if __name__ == "__main__":
    unittest.main()
