"""What the end-to-end cases stand on: the Wine side (drive T:, the driver
program, registry settings, screenshots), fixture trees built on Linux, and
the walk order worked out from the platform's own listings.

Runs inside scripts/with-wine.sh: WINEPREFIX, DISPLAY and a persistent
wineserver are ready. Python standard library only.

Wine paths and drives and the keyboard rule come from the shared package
escaner_tools (python/, on PYTHONPATH), as for the benchmark and make run."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

from escaner_tools.keyboard_rule import is_flagged
from escaner_tools.wine_drives import map_drive, windows_path  # windows_path: for the cases

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


def fresh_app(case_dir: Path, exe: Path) -> Path:
    """A folder holding only a copy of the exe: the case's report location."""
    app = case_dir / "app"
    app.mkdir(parents=True)
    shutil.copy2(exe, app / "Escaner.exe")
    return app


# --- What the cases check, and how they are run ---------------------------

DONE = "El escaneo ha terminado ..."
TITLE = "Programador"
APOLOGY = "Sintiendolo mucho ...\r\n" + DONE
DIALOG_TITLE_TEXT = b"Elige Carpeta a ver ...\r\n\xae Velmar Soft".decode("cp1252")
REPORT = "Malware.txt"
CRLF = b"\r\n"

WS_POPUP, WS_VISIBLE = 0x80000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_THICKFRAME, WS_SYSMENU = 0xC00000, 0x800000, 0x40000, 0x80000
WS_CHILD, PBS_SMOOTH = 0x40000000, 0x1
WS_EX_TOPMOST, WS_EX_TOOLWINDOW = 0x8, 0x80


def final_text(scanned, infected):
    return f"{DONE}\r\nFicheros escaneados : {scanned}\r\nFicheros infectados : {infected}"


class Check:
    def __init__(self):
        self.failures = []

    def fail(self, message):
        self.failures.append(message)

    def equal(self, what, got, expected):
        if got != expected:
            self.fail(f"{what}: got {got!r}, expected {expected!r}")

    def that(self, what, condition, detail=""):
        if not condition:
            self.fail(f"{what}{': ' + detail if detail else ''}")

    def report(self, app: Path, expected: bytes):
        """The report beside the exe holds exactly `expected` (None: absent)."""
        path = app / REPORT
        if expected is None:
            self.that("no report file", not path.exists(),
                      f"found {path.read_bytes()[:200]!r}" if path.exists() else "")
            return
        if not path.exists():
            self.fail(f"report missing, expected {expected.count(CRLF)} lines")
            return
        got = path.read_bytes()
        if got == expected:
            return
        got_lines, want_lines = got.split(b"\r\n"), expected.split(b"\r\n")
        for i, (g, w) in enumerate(zip(got_lines, want_lines)):
            if g != w:
                self.fail(f"report line {i + 1}: got {g!r}, expected {w!r}")
                break
        self.fail(f"report: {len(got)} bytes / {len(got_lines) - 1} lines, "
                  f"expected {len(expected)} bytes / {len(want_lines) - 1} lines")


def report_bytes(paths):
    return b"".join(p + b"\r\n" for p in paths)


# Wine starts its desktop process from the first program of a fresh prefix
# that opens a window; it is no doing of the exe's.
WINE_DESKTOP = "explorer.exe"


def opened_programs(run):
    """Programs started after a message box was dismissed: the open request's."""
    return [e["image"].lower() for e in run.all("process_started") if e["after_box"]]


def check_nothing_else_started(check, run):
    before = [e["image"].lower() for e in run.all("process_started") if not e["after_box"]]
    check.equal("programs started before the box was dismissed",
                [i for i in before if i != WINE_DESKTOP], [])


def check_not_hung(check, run):
    if run.hung:
        check.fail(f"the exe did not finish in time (screenshot: {run.screenshot}, "
                   f"events: {run.log})")
        return False
    return True


def check_scan_session(check, run, scanned, infected, opened_report: bool):
    """One chosen folder, one final box with the counts, then the report
    opened (or nothing opened) after the box, and exit code 0."""
    if not check_not_hung(check, run):
        return
    dialogs = run.all("folder_dialog")
    check.equal("folder dialogs shown", len(dialogs), 1)
    if dialogs:
        check.equal("folder dialog text", dialogs[0]["title_text"], DIALOG_TITLE_TEXT)
        check.that("folder chosen in the dialog", dialogs[0].get("matched"),
                   f"selection {dialogs[0].get('selection')}")
    boxes = run.all("message_box")
    check.equal("message boxes shown", [(b["title"], b["text"]) for b in boxes],
                [(TITLE, final_text(scanned, infected))])
    if boxes:
        box = boxes[0]
        check.equal("final box owner", box["owner"], 0)
        check.equal("strip still shown with the final box", box["strip_visible"], False)
        check.equal("programs running before the box was dismissed",
                    [i.lower() for i in box["running_before_dismiss"] if i.lower() != WINE_DESKTOP],
                    [])
        check.equal("final box buttons", [b["id"] for b in box["buttons"]], [1])
    check_nothing_else_started(check, run)
    started = opened_programs(run)
    titles = [e["title"] for e in run.all("opened_window")]
    if opened_report:
        check.equal("programs started by the open request", started, ["notepad.exe"])
        check.that("the report opened in notepad", f"{REPORT} - Notepad" in titles,
                   f"window titles {titles}")
    else:
        check.equal("programs started by the open request", started, [])
        check.equal("windows opened", titles, [])
    check.equal("exit code", run.exit_code, 0)


def check_strip(check, run):
    """The strip as sampled while the scan ran: every sample must show the
    same geometry, since the strip is placed before it is shown."""
    samples = run.all("strip")
    if not samples:
        check.fail("progress strip never seen during the scan")
        return
    desktop_width = run.first("started")["desktop"][2]
    x = int((desktop_width - 201) / 2)  # truncation toward zero
    for sample in samples:
        check.equal("strip rect", sample["rect"], [x, 2, 201, 41])
        check.equal("strip client rect", sample["client"], [0, 0, 201, 41])
        style, exstyle = sample["style"], sample["exstyle"]
        check.equal("strip WS_POPUP|WS_VISIBLE", style & (WS_POPUP | WS_VISIBLE),
                    WS_POPUP | WS_VISIBLE)
        check.equal("strip frame styles", style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME |
                                                   WS_SYSMENU), 0)
        check.equal("strip top-most tool window", exstyle & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW),
                    WS_EX_TOPMOST | WS_EX_TOOLWINDOW)
        check.equal("strip owner", sample["owner"], 0)
        check.equal("strip caption", sample["text"], "Dialog1")
        bars = [(c["id"], c["class"], c["rect"], c["visible"],
                 c["style"] & (WS_CHILD | WS_VISIBLE | PBS_SMOOTH)) for c in sample["children"]]
        check.equal("strip bars", bars, [
            (1001, "msctls_progress32", [0, 0, 200, 20], True, WS_CHILD | WS_VISIBLE | PBS_SMOOTH),
            (1002, "msctls_progress32", [0, 21, 200, 20], True, WS_CHILD | WS_VISIBLE | PBS_SMOOTH),
        ])
    # OverallBar is never given a colour: gold, orange or red on it would be
    # a bar operation aimed at the wrong bar.
    closed = run.first("strip_closed") or {}
    palette = {"00d7ff": "gold", "00a5ff": "orange", "0000ff": "red"}
    check.equal("colours seen on OverallBar",
                sorted(palette[c] for c in closed.get("overall_bar_colours", {}) if c in palette), [])
    check.that("strip seen before the final box",
               run.index("strip") < (run.index("message_box") or 10**9))


class Suite:
    def __init__(self, wine: Wine, work: Path):
        self.wine = wine
        self.work = work

    def case_dir(self, name) -> Path:
        folder = self.work / name
        (folder / "drive").mkdir(parents=True)
        self.wine.point_drive(folder / "drive")
        return folder

    def expected_walk(self, tree: Tree):
        """The files the walk will visit, in its order, from the platform's
        listings; and a check that they are exactly the fixture's files."""
        listings = tree.listings = self.wine.listings(tree.narrow_root.decode("cp1252"))
        order = walk_order(listings, tree.narrow_root)
        known = tree.by_narrow_path()
        if sorted(order) != sorted(known):
            raise RuntimeError(f"fixture and listing disagree: listed only "
                               f"{sorted(set(order) - set(known))[:5]}, missing "
                               f"{sorted(set(known) - set(order))[:5]}")
        return order, known

    @staticmethod
    def flagged_in_order(order, contents):
        return [p for p in order if is_flagged(contents[p])]


CASES = []


def case(function):
    CASES.append(function)
    return function


def run_cases(argv) -> int:
    """Runs the registered cases: argv is the command line, BUILD_DIR then
    the names of the cases to run (all when none). The exit code: 1 when any
    case failed."""
    if len(argv) < 2:
        print("usage: e2e_cases.py BUILD_DIR [CASE ...]", file=sys.stderr)
        return 2
    build_dir = Path(argv[1]).resolve()
    wanted = argv[2:]
    for needed in ["Escaner.exe", "driver.exe"]:
        if not (build_dir / needed).exists():
            print(f"FAIL setup: {build_dir / needed} not built")
            return 1
    results = build_dir / "e2e-results"
    shutil.rmtree(results, ignore_errors=True)
    results.mkdir()
    work = Path(tempfile.mkdtemp(prefix="escaner-e2e."))
    failed = []
    try:
        wine = Wine(build_dir, work, results)
        acp = next(e for e in wine.driver("list", "T:\\") if e["event"] == "code_pages")["acp"]
        if acp != 1252:
            print(f"FAIL setup: ANSI code page is {acp}, the expected bytes assume 1252")
            return 1
        suite = Suite(wine, work)
        for function in CASES:
            name = function.__name__
            if wanted and name not in wanted:
                continue
            check = Check()
            started = time.monotonic()
            try:
                function(suite, check)
            except Exception:
                check.fail("error in the case itself:\n" + traceback.format_exc())
            seconds = time.monotonic() - started
            if check.failures:
                failed.append(name)
                print(f"FAIL {name} ({seconds:.1f} s)")
                for failure in check.failures:
                    print(f"     {failure}")
            else:
                print(f"PASS {name} ({seconds:.1f} s)")
            sys.stdout.flush()
    finally:
        if failed:
            print(f"fixtures kept in {work}; driver events in {results}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    print(f"{'FAILED' if failed else 'PASSED'}: {len(failed)} of the cases failed"
          if failed else "PASSED: all cases")
    return 1 if failed else 0
