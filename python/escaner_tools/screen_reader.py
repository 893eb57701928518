"""What `make run` reads from the X screen the exe runs on: screenshots
(ImageMagick's `import`), the top-level windows and their places
(`xwininfo`), OverallBar's position along its middle row, and one mouse
click through the XTEST extension. Standard library only."""

import re
import socket
import struct
import subprocess
from pathlib import Path

# The strip: 201 x 41 pixels, centred, 2 pixels below the top of the screen.
STRIP_WIDTH, STRIP_HEIGHT, STRIP_TOP = 201, 41, 2
# OverallBar inside the strip: x, y, width, height.
OVERALL_BAR = (0, 21, 200, 20)
# A classic progress bar has a one-pixel sunken edge and, inside it, a
# one-pixel frame in its background colour; the fill runs across the rest.
BAR_INSET = 2


def strip_rect(screen_width):
    """Where the strip stands on a screen this wide: left, top, width, height."""
    return ((screen_width - STRIP_WIDTH) // 2, STRIP_TOP, STRIP_WIDTH, STRIP_HEIGHT)


class Frame:
    """One screenshot: the whole screen as 8-bit RGB, read from a PPM file."""

    def __init__(self, path: Path, data: bytes = None):
        self.path = path
        data = path.read_bytes() if data is None else data
        fields, at = [], 0
        while len(fields) < 4:  # magic, width, height, largest value
            while data[at:at + 1].isspace():
                at += 1
            if data[at:at + 1] == b"#":
                at = data.index(b"\n", at)
                continue
            start = at
            while not data[at:at + 1].isspace():
                at += 1
            fields.append(data[start:at])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError(f"{path}: not an 8-bit PPM ({fields[0]!r}, {fields[3]!r})")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[at + 1:]

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        at = (y * self.width + x) * 3
        return self.pixels[at:at + 3]

    def row(self, x, y, width):
        return [self.pixel(x + i, y) for i in range(width)]

    def region(self, rect):
        """The pixels of a rectangle, row by row, clipped to the screen."""
        left, top, width, height = rect
        left, right = max(left, 0), min(left + width, self.width)
        return [self.pixels[(y * self.width + left) * 3:(y * self.width + right) * 3]
                for y in range(max(top, 0), min(top + height, self.height))]

    def is_blank(self, rect):
        """True when the rectangle shows a single colour (nothing drawn)."""
        rows = self.region(rect)
        first = rows[0][:3] if rows and rows[0] else b""
        return all(row == first * (len(row) // 3) for row in rows)


def overall_percentage(frame: Frame, strip):
    """OverallBar's position as the screen shows it, 0 to 100, or None when
    the strip is not there. The bar's filled part starts at the left end of
    its interior and has a colour of its own; the interior's frame, one pixel
    inside the edge, shows the bar's background."""
    left, top = strip[0], strip[1]
    bar_x, bar_y, bar_width, bar_height = OVERALL_BAR
    y = top + bar_y + bar_height // 2
    # The strip's own background shows in the row between the bars and in
    # the column right of them; the root window around the strip does not.
    face = frame.pixel(left + STRIP_WIDTH - 1, y)
    if face is None or frame.pixel(left + bar_width // 2, top + bar_y - 1) != face:
        return None
    if frame.pixel(left - 1, y) == face or frame.pixel(left + bar_x, y) == face:
        return None
    background = frame.pixel(left + bar_x + 1, y)
    interior = frame.row(left + bar_x + BAR_INSET, y, bar_width - 2 * BAR_INSET)
    filled = 0
    while filled < len(interior) and interior[filled] != background:
        filled += 1
    return round(100 * filled / len(interior))


class Screen:
    def __init__(self, display, work: Path):
        self.display = display
        self.work = work
        self.count = 0

    def capture(self) -> Frame:
        self.count += 1
        target = self.work / f"screen-{self.count:03}.ppm"
        subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8",
                        f"ppm:{target}"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=True)
        return Frame(target)

    @staticmethod
    def save(frame: Frame, rect, target: Path, margin=6):
        """Crops a screenshot to the rectangle, with a small margin of the
        (black) root window around it, into a PNG."""
        left, top, width, height = rect
        left, top = max(left - margin, 0), max(top - margin, 0)
        subprocess.run(["convert", str(frame.path), "-crop",
                        f"{width + 2 * margin}x{height + 2 * margin}+{left}+{top}",
                        "+repage", "-strip", str(target)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=True)

    def window(self, *title_prefixes):
        """The first mapped top-level window whose title starts with one of
        the prefixes, as (title, (left, top, width, height)), or None."""
        listing = subprocess.run(["xwininfo", "-display", self.display, "-root", "-children"],
                                 capture_output=True, text=True, errors="replace",
                                 timeout=30).stdout
        for line in listing.splitlines():
            match = re.match(r'\s*(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)',
                             line)
            if match and match.group(2).startswith(title_prefixes) and self.mapped(match.group(1)):
                width, height, left, top = (int(match.group(i)) for i in (3, 4, 5, 6))
                return match.group(2), (left, top, width, height)
        return None

    def mapped(self, window_id):
        info = subprocess.run(["xwininfo", "-display", self.display, "-id", window_id],
                              capture_output=True, text=True, errors="replace", timeout=30).stdout
        return "IsViewable" in info

    def click(self, x, y):
        """A left click at a point of the screen, as the mouse would make it."""
        XTestClient(self.display).click(x, y)


class XTestClient:
    """Just enough of the X protocol for one fake click: the connection
    set-up (no authorisation: the private Xvfb asks for none), the XTEST
    extension's opcode, three FakeInput requests, and a round trip so the
    click has been taken when this returns."""

    def __init__(self, display):
        number = display.split(":")[1].split(".")[0]
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(f"/tmp/.X11-unix/X{number}")
        self.sock.sendall(struct.pack("<BxHHHHxx", ord("l"), 11, 0, 0, 0))
        status, _, _, _, words = struct.unpack("<BBHHH", self.read(8))
        setup = self.read(words * 4)
        if status != 1:
            raise OSError(f"the X server refused the connection: {setup[:80]!r}")
        vendor_length, = struct.unpack("<H", setup[16:18])
        formats = setup[21]
        first_screen = 32 + (vendor_length + 3) // 4 * 4 + 8 * formats
        self.root, = struct.unpack("<I", setup[first_screen:first_screen + 4])

    def read(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise OSError("the X server closed the connection")
            data += chunk
        return data

    def reply(self):
        head = self.read(32)
        if head[0] == 0:
            raise OSError(f"X error {head[1]}")
        words, = struct.unpack("<I", head[4:8])
        return head + self.read(words * 4)

    def click(self, x, y):
        name = b"XTEST"
        padded = name + b"\0" * (-len(name) % 4)
        self.sock.sendall(struct.pack("<BxHHxx", 98, 2 + len(padded) // 4, len(name)) + padded)
        answer = self.reply()  # QueryExtension
        if not answer[8]:
            raise OSError("the X server has no XTEST extension")
        opcode = answer[9]
        motion, press, release = 6, 4, 5
        for kind, button in ((motion, 0), (press, 1), (release, 1)):
            self.sock.sendall(struct.pack("<BBHBBHIIIIhhIHBB", opcode, 2, 9, kind, button, 0, 0,
                                          self.root if kind == motion else 0, 0, 0, x, y,
                                          0, 0, 0, 0))
        self.sock.sendall(struct.pack("<BxH", 43, 1))  # GetInputFocus
        self.reply()
        self.sock.close()
