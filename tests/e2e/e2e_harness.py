"""What the end-to-end cases stand on: the Wine side (drive T:, the driver
program, registry settings, screenshots), fixture trees built on Linux, and
the walk order worked out from the platform's own listings.

Runs inside scripts/with-wine.sh: WINEPREFIX, DISPLAY and a persistent
wineserver are ready. Python standard library only.

Importing it puts tests/support on the module path: Wine paths and drives
(wine_drives) and the keyboard rule (keyboard_rule) come from there, shared
with the benchmark."""

import contextlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from wine_drives import map_drive, windows_path  # noqa: E402  (windows_path: for the cases)

DRIVE = "T"


def report_bytes_of(path: str) -> bytes:
    """A path as the report writes it: its ANSI bytes (Windows-1252), '?' in
    place of each character the code page lacks, never a look-alike."""
    return path.encode("cp1252", errors="replace")


class RunResult:
    """The events one driver run reported, in order."""

    def __init__(self, events, hung, screenshot, log):
        self.events = events
        self.hung = hung
        self.screenshot = screenshot
        self.log = log

    def all(self, name):
        return [e for e in self.events if e.get("event") == name]

    def first(self, name):
        found = self.all(name)
        return found[0] if found else None

    def index(self, name):
        for i, e in enumerate(self.events):
            if e.get("event") == name:
                return i
        return None

    @property
    def exit_code(self):
        exit_event = self.first("exit")
        return exit_event["code"] if exit_event else None


class Wine:
    def __init__(self, build_dir: Path, work: Path, results: Path):
        self.prefix = Path(os.environ["WINEPREFIX"])
        self.display = os.environ["DISPLAY"]
        self.build_dir = build_dir
        self.driver_exe = build_dir / "driver.exe"
        self.escaner_exe = build_dir / "Escaner.exe"
        self.work = work
        self.results = results
        # T: points at a link that each case turns to its own tree; the
        # drive itself is made before any Wine process of this suite starts.
        self.drive_link = work / "drive-t"
        self.drive_link.symlink_to(work, target_is_directory=True)
        map_drive(DRIVE, self.drive_link, self.prefix)

    def point_drive(self, folder: Path):
        self.drive_link.unlink()
        self.drive_link.symlink_to(folder, target_is_directory=True)

    def driver(self, *args, timeout=60):
        """Runs a short driver command (attrib, list) and returns its events.

        Output goes through a file, not a pipe: Wine's background processes,
        started by the first Wine program of the session, inherit the pipe and
        would keep it open long after the driver has ended."""
        with tempfile.TemporaryFile() as output:
            subprocess.run(["wine", str(self.driver_exe), *args], stdout=output,
                           stderr=subprocess.DEVNULL, timeout=timeout)
            output.seek(0)
            text = output.read().decode()
        return [json.loads(line) for line in text.splitlines() if line.strip()]

    def set_attributes(self, linux_path, *flags):
        events = self.driver("attrib", windows_path(linux_path), *flags)
        if not events or not events[0].get("ok"):
            raise RuntimeError(f"could not set {flags} on {linux_path}: {events}")
        return events[0]["attributes"]

    def listings(self, folder: str):
        """Raw listings of a folder and every folder below it that the walk
        enters, keyed by the folder's path as the report writes it (ANSI
        bytes, with its trailing backslash). The platform lists UTF-16 names;
        each becomes its report form here, '?' for what the code page lacks.
        A folder is listed once and serves both of the walk's listings."""
        result = {}
        for e in self.driver("list", folder):
            if e["event"] == "listing":
                entries = [(a, report_bytes_of(n)) for a, n in e["entries"]]
                key = report_bytes_of(e["folder"])
                if key in result:
                    raise RuntimeError(f"two folders share the report form {key!r}")
                result[key] = (entries, entries)
        return result

    @contextlib.contextmanager
    def held(self, linux_path: Path):
        """Another Wine program keeps the file open, sharing nothing, for as
        long as the block runs."""
        until = linux_path.parent / f"{linux_path.name}.release"
        output = tempfile.TemporaryFile()
        holder = subprocess.Popen(["wine", str(self.driver_exe), "hold", windows_path(linux_path),
                                   windows_path(until)], stdout=output, stderr=subprocess.DEVNULL)
        def said():
            output.seek(0)
            return output.read()

        try:
            deadline = time.monotonic() + 30
            while b'"event":"held"' not in said():
                if holder.poll() is not None or time.monotonic() > deadline:
                    break
                time.sleep(0.05)
            if b'"ok":true' not in said():
                raise RuntimeError(f"could not hold {linux_path}: {said()!r}")
            yield
        finally:
            until.touch()
            try:
                holder.wait(timeout=30)
            except subprocess.TimeoutExpired:
                holder.kill()
            until.unlink(missing_ok=True)
            output.close()

    def reg(self, *args):
        subprocess.run(["wine", "reg", *args], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=True)

    def screenshot(self, name) -> Path:
        target = self.results / f"{name}.png"
        subprocess.run(["import", "-display", self.display, "-window", "root", str(target)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return target

    def run(self, name, app_dir: Path, choose=None, cwd=None, args="", timeout=60.0,
            open_wait=10.0) -> RunResult:
        """Starts the copy of the exe in app_dir through the driver and plays
        the user: choose `choose` (a Windows path) or cancel."""
        flag = self.work / f"hang-{name}.flag"
        command = ["wine", str(self.driver_exe), "run",
                   "--exe", windows_path(app_dir / "Escaner.exe"),
                   "--timeout", str(timeout), "--open-wait", str(open_wait),
                   "--hang-flag", windows_path(flag)]
        command += ["--choose", choose] if choose else ["--cancel"]
        if cwd:
            command += ["--cwd", cwd]
        if args:
            command += ["--args", args]
        log = self.results / f"{name}.jsonl"
        screenshot = None
        with open(log, "wb") as log_file:
            process = subprocess.Popen(command, stdout=log_file, stderr=subprocess.DEVNULL)
            # The driver keeps its own deadlines; this one only guards
            # against the driver itself getting stuck.
            deadline = time.monotonic() + timeout + open_wait + 60
            while process.poll() is None and time.monotonic() < deadline:
                if screenshot is None and b'"event":"hung"' in log.read_bytes():
                    screenshot = self.screenshot(name)
                    flag.touch()
                time.sleep(0.1)
            if process.poll() is None:
                screenshot = screenshot or self.screenshot(name)
                process.kill()
                self.kill_processes_under(app_dir)
                process.wait(timeout=30)
                log_file.write(b'{"event":"hung","by":"harness"}\n')
        events = []
        for line in log.read_text(errors="replace").splitlines():
            if line.strip():
                try:
                    events.append(json.loads(line))
                except json.JSONDecodeError:
                    events.append({"event": "unparsed", "line": line})
        hung = any(e.get("event") == "hung" for e in events)
        return RunResult(events, hung, screenshot, log)

    @staticmethod
    def kill_processes_under(app_dir: Path):
        """Last resort when the driver itself is stuck: the Wine processes
        running the copy of the exe in this case's own folder."""
        marker = str(app_dir).encode()
        for pid_dir in Path("/proc").iterdir():
            if not pid_dir.name.isdigit():
                continue
            try:
                if marker in (pid_dir / "cmdline").read_bytes():
                    os.kill(int(pid_dir.name), 9)
            except OSError:
                pass


class Tree:
    """A fixture tree on Linux and the paths the exe's report gives for it.

    Names are written in UTF-8; Wine shows them to the exe as their UTF-16
    names, and the report writes them in the ANSI code page (1252), with '?'
    for characters the code page lacks."""

    def __init__(self, root: Path, narrow_root: bytes):
        self.root = root
        self.narrow_root = narrow_root  # e.g. b"T:\\Datos\\"
        self.files = {}  # relative path ('/'-separated) -> content
        root.mkdir(parents=True, exist_ok=True)

    def file(self, rel: str, content: bytes):
        path = self.root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        self.files[rel] = content
        return path

    def folder(self, rel: str):
        (self.root / rel).mkdir(parents=True, exist_ok=True)

    def narrow(self, rel: str) -> bytes:
        return self.narrow_root + report_bytes_of(rel.replace("/", "\\"))

    def by_narrow_path(self):
        return {self.narrow(rel): content for rel, content in self.files.items()}


def walk_order(listings, folder: bytes):
    """Files below `folder` in the order the tree walk visits them: each
    folder's own files in the order of its first listing, then its subfolders
    in the order of its second, each walked to its end before the next. A
    folder the walk does not enter (a link back up) has no listing."""
    order = []
    files, entries = listings.get(folder, ([], []))
    for attributes, name in files:
        if not attributes & 0x10:
            order.append(folder + name)
    for attributes, name in entries:
        if attributes & 0x10 and name not in (b".", b".."):
            order.extend(walk_order(listings, folder + name + b"\\"))
    return order


def fresh_app(case_dir: Path, exe: Path, name: str = "app") -> Path:
    """A folder `name` holding only a copy of the exe: the case's report
    location."""
    app = case_dir / name
    app.mkdir(parents=True)
    shutil.copy2(exe, app / "Escaner.exe")
    return app
