"""`make run` without a display: one whole session of the real Escaner.exe
under Wine on a private Xvfb screen, played by the end-to-end driver and told
step by step in the terminal.

    run_headless.py --exe BUILD/Escaner.exe --folder DIR --out DIR
                    [--hidden REL ...] [--timeout SECONDS]

Runs inside scripts/with-wine.sh (WINEPREFIX, DISPLAY and a wineserver
ready). DIR becomes drive M:, which the driver (driver.exe beside the exe)
chooses in the folder dialog; a copy of the exe in OUT/app writes the report
there; the screenshots land in OUT. Exit status: 0 when the session ended
normally (final box read and dismissed, exit code 0); 1 when it did not; 2
for a bad argument; 3 when the exe did not finish in time and was killed.

The driver answers each window within milliseconds and a small tree is
scanned in a few of them: too fast to photograph. So this script decides
when each program runs, with SIGSTOP and SIGCONT on its Linux process:

- while the folder is chosen and while the final box is read, the driver and
  the exe take turns, so every message the driver sends waits for the exe's
  next turn and the screen holds still in between;
- during the scan the driver waits and the exe runs in short steps, paused
  while the screen is read, one sample every half second: 2 ms at first,
  back to the shortest when the overall bar has moved, doubled when it has
  not; after eight samples the shortest step doubles each time, up to
  0.35 s, so a large tree runs at near its own pace;
- once the shell has started Notepad on the report, the driver waits until
  the report is photographed, because it closes Notepad as soon as it sees it.

Nothing is sent to the exe's windows from here: what is said of the strip is
read from the screen. One mouse click lands in the blank part of the
dialog's folder tree before the driver selects, as a user's would: with no
window manager the dialog is never activated, and an unfocused tree draws
its selection without a highlight. Standard library only."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from escaner_tools.held_process import HeldProcess, processes_with
from escaner_tools.screen_reader import Screen, overall_percentage, strip_rect
from escaner_tools.wine_drives import map_drive, unmap_drive, windows_path


DRIVE = "M"
DIALOG_TITLES = ("Explorar carpeta", "Browse for Folder")
BOX_TITLE = "Programador"
REPORT = "Malware.txt"
SAMPLE_PERIOD = 0.5
FIRST_STEP, LONGEST_STEP, SHORT_SAMPLES = 0.002, 0.35, 8
DRIVER_TURN, EXE_TURN = 0.003, 0.015


def say(text):
    print(f"run: {text}", flush=True)


def show_lines(lines):
    for line in lines:
        print(f"    {line}", flush=True)


def shown(path: Path) -> str:
    """A path as the user typed it: relative to the current folder if below it."""
    try:
        return str(path.relative_to(Path.cwd()))
    except ValueError:
        return str(path)


class TimedOut(Exception):
    pass


class SessionFailed(Exception):
    pass


class DriverRun:
    """The driver's `run` of the exe. Its events are read from a file as
    they come: Wine's background processes would hold a pipe open."""

    def __init__(self, driver_exe: Path, app_exe: Path, choose, timeout, log: Path):
        self.log = log
        self.read_up_to = 0
        self.events = []
        self.output = open(log, "wb")
        self.process = subprocess.Popen(
            ["wine", str(driver_exe), "run", "--exe", windows_path(app_exe), "--choose", choose,
             "--timeout", str(timeout), "--open-wait", "20"],
            stdout=self.output, stderr=subprocess.DEVNULL)

    def first(self, name):
        data = self.log.read_bytes()
        end = data.rfind(b"\n") + 1
        for line in data[self.read_up_to:end].decode(errors="replace").splitlines():
            if line.strip():
                try:
                    self.events.append(json.loads(line))
                except json.JSONDecodeError:
                    self.events.append({"event": "unparsed", "line": line})
        self.read_up_to = end
        return next((e for e in self.events if e.get("event") == name), None)

    def ended(self):
        return self.process.poll() is not None


class Session:
    def __init__(self, args, out: Path, work: Path):
        self.folder = args.folder.resolve()
        self.hidden = args.hidden
        self.timeout = args.timeout
        self.exe_source = args.exe
        self.driver_exe = args.exe.parent / "driver.exe"
        self.out = out
        self.work = work
        self.app = out / "app"
        self.screen = Screen(os.environ["DISPLAY"], work)
        self.end = time.monotonic() + args.timeout
        self.driver = None
        self.driver_process = None
        self.exe = None
        self.notepad = None
        self.shots = []
        self.box_text = None

    def check_time(self, doing):
        if time.monotonic() > self.end:
            raise TimedOut(doing)

    # ---------------------------------------------------------- the steps

    def prepare(self):
        say(f"no display: Wine runs on a private Xvfb screen ({self.screen.display})")
        map_drive(DRIVE, self.folder)
        say(f"the folder to scan, {shown(self.folder)}, is drive {DRIVE}: in Wine")
        shutil.rmtree(self.app, ignore_errors=True)
        self.app.mkdir(parents=True)
        shutil.copy2(self.exe_source, self.app / "Escaner.exe")
        say(f"Escaner.exe copied to {shown(self.app)}/, where it writes {REPORT}")
        for rel in self.hidden:
            self.mark_hidden(rel)

    def mark_hidden(self, rel):
        target = f"{DRIVE}:\\" + rel.replace("/", "\\")
        log = self.work / "attrib.jsonl"
        with open(log, "wb") as output:
            subprocess.run(["wine", str(self.driver_exe), "attrib", target, "+h"],
                           stdout=output, stderr=subprocess.DEVNULL, timeout=60)
        events = [json.loads(line) for line in log.read_text().splitlines() if line.strip()]
        if events and events[0].get("ok") and events[0].get("attributes", 0) & 2:
            say(f"{target} marked hidden (driver attrib +h)")
        else:
            say(f"{target} could not be marked hidden ({events}); it is scanned all the same")

    def start(self):
        choose = f"{DRIVE}:\\"
        say(f"starting Escaner.exe through the end-to-end driver, which chooses {choose} "
            "in its folder dialog")
        app_exe = self.app / "Escaner.exe"
        self.driver = DriverRun(self.driver_exe, app_exe, choose, self.timeout + 60,
                                self.work / "driver-events.jsonl")
        needle = windows_path(app_exe)
        while True:
            self.check_time("waiting for Escaner.exe to start")
            drivers = processes_with("driver.exe", needle)
            exes = processes_with(needle, without=("driver.exe",))
            if drivers and exes:
                break
            if self.driver.ended():
                ended = self.driver.first("exit")
                if ended:
                    raise SessionFailed(f"Escaner.exe ended at once, with exit code {ended['code']}")
                raise SessionFailed(f"the driver could not start Escaner.exe: "
                                    f"{self.driver.first('start_failed') or self.driver.events}")
            time.sleep(0.002)
        self.driver_process = HeldProcess(drivers[0], "driver")
        self.exe = HeldProcess(exes[0], "Escaner.exe")
        self.driver_process.stop()
        self.exe.stop()

    def take_turns(self, done, doing):
        """The driver and the exe run by turns until done() holds; done() is
        asked after each turn."""
        while not done():
            self.check_time(doing)
            self.driver_process.run_for(DRIVER_TURN)
            if done():
                return
            if not self.exe.alive():
                raise SessionFailed(f"Escaner.exe ended while {doing}")
            self.exe.run_for(EXE_TURN)

    def choose_folder(self):
        say("waiting for the folder dialog")
        clicked = []

        def answered():
            if not clicked and self.driver.first("window"):
                dialog = self.screen.window(*DIALOG_TITLES)
                if dialog:
                    left, top, width, height = dialog[1]
                    self.screen.click(left + width // 2, top + height * 3 // 4)
                    clicked.append(dialog)
            return self.driver.first("folder_dialog") is not None
        self.take_turns(answered, "waiting for the folder dialog to be answered")
        event = self.driver.first("folder_dialog")
        say(f"folder dialog \"{event['caption']}\" open, its tree filled "
            f"({event['tree_items']} items); a click in the tree's blank part gave it the focus")
        selection = " < ".join(item.strip() for item in event.get("selection", []))
        if not event.get("matched"):
            raise SessionFailed(f"the dialog did not select {event['folder']} (its selection: "
                                f"{selection}), so the driver cancelled it")
        say(f"the driver selected {event['folder']} ({selection}) and pressed OK")
        # Both programs hold still: the folder is selected, OK waits in the
        # dialog's queue.
        frame = self.screen.capture()
        dialog = self.screen.window(*DIALOG_TITLES)
        if dialog:
            self.keep(frame, dialog[1], "dialog.png", f"the folder dialog with {event['folder']} selected")
        else:
            say("the folder dialog had gone before its screenshot")

    def scan(self):
        say("the scan runs; Escaner.exe is paused while the screen is read "
            "(the overall bar's percentage, from its pixels)")
        strip = strip_rect(self.driver.first("started")["desktop"][2])
        step = FIRST_STEP
        samples = 0
        best = None  # (how close to half way, frame)
        last = None
        while True:
            self.check_time("waiting for the scan to end")
            began = time.monotonic()
            self.exe.run_for(step)
            if not self.exe.alive():
                raise SessionFailed("Escaner.exe ended during the scan, before its final box")
            frame = self.screen.capture()
            percent = overall_percentage(frame, strip)
            if percent is not None:
                say(f"progress: overall bar {percent}%")
                distance = abs(percent - 50)
                if best is None or distance < best[0]:
                    if best:
                        best[1].path.unlink()
                    best = (distance, frame)
            # Short steps while the bar moves, so a small tree shows its
            # progress; longer ones while it stands still or the strip is
            # not there (the counting pass, a long file). After the first
            # few samples the shortest step grows too, so a large tree is
            # scanned at near its own pace.
            samples += 1
            floor = min(FIRST_STEP * 2 ** min(max(0, samples - SHORT_SAMPLES), 10), LONGEST_STEP)
            moved = percent is not None and percent != last
            step = min(max(floor if moved else step * 2, floor), LONGEST_STEP)
            if percent is not None:
                last = percent
            box = self.screen.window(BOX_TITLE)
            if box:
                break
            if best is None or best[1] is not frame:
                frame.path.unlink()
            if last is not None:
                time.sleep(max(0.0, SAMPLE_PERIOD - (time.monotonic() - began)))
        if best:
            self.keep(best[1], strip, "strip.png", "the progress strip during the scan")
        else:
            say("the scan finished before the first sample: the strip was never seen on the screen")
        return box

    def final_box(self, box):
        title, rect = box
        say(f"the scan is over: box \"{title}\" open")
        # The driver still waits: let the exe paint its box.
        for _ in range(30):
            self.check_time("waiting for the final box to be drawn")
            self.exe.run_for(0.02)
            frame = self.screen.capture()
            if not frame.is_blank((rect[0] + 4, rect[1] + 24, rect[2] - 8, rect[3] - 28)):
                break
        self.keep(frame, rect, "final-box.png", "the final box")

        def report_opened():
            needle = windows_path(self.app / REPORT)
            found = processes_with("notepad", needle)
            if found:
                self.notepad = HeldProcess(found[0], "notepad")
            return bool(found) or not self.exe.alive()
        try:
            self.take_turns(report_opened, "the final box was read")
        except SessionFailed:
            pass  # ended with no program opened: told below
        event = self.driver.first("message_box")
        if event is None:
            raise SessionFailed("Escaner.exe ended before the driver could read its box")
        self.box_text = event["text"]
        say(f"the driver read the box's text and pressed OK; the text, exactly:")
        show_lines(self.box_text.split("\r\n"))

    def opened_report(self):
        if self.notepad is None:
            say("the shell opened nothing (no report file, or no program for it)")
            return
        say("the shell started Notepad on the report; the driver waits until it is photographed")
        # Escaner.exe ends meanwhile; the driver would close Notepad at once.
        self.exe.resume()
        previous = None
        while True:
            self.check_time("waiting for Notepad to show the report")
            window = self.screen.window(REPORT)
            if window:
                frame = self.screen.capture()
                pixels = frame.region(window[1])
                if pixels == previous:
                    self.keep(frame, window[1], "report-notepad.png",
                              f"the report opened by the shell (\"{window[0]}\")")
                    return
                previous = pixels
                frame.path.unlink()
            time.sleep(0.2)

    def finish(self):
        self.exe.resume()
        self.driver_process.resume()
        while not self.driver.ended():
            self.check_time("waiting for Escaner.exe to end")
            time.sleep(0.05)
        closed = self.driver.first("opened_program_closed")
        if closed:
            say(f"the driver closed Notepad ({closed['by'].replace('_', ' ')})")
        exit_event = self.driver.first("exit")
        if exit_event is None:
            raise SessionFailed(f"the driver reported no exit: {self.driver.events[-3:]}")
        return exit_event["code"]

    # ---------------------------------------------------------- helpers

    def forget_drive(self):
        """The prefix is kept between runs: leave no drive M: behind."""
        unmap_drive(DRIVE)

    def keep(self, frame, rect, name, what):
        target = self.out / name
        self.screen.save(frame, rect, target)
        frame.path.unlink()
        self.shots.append((name, what))
        say(f"screenshot: {shown(target)} ({what})")

    def release(self):
        """Lets every held program run again."""
        for held in (self.exe, self.notepad, self.driver_process):
            if held:
                held.resume()

    def kill_all(self):
        for held in (self.exe, self.notepad, self.driver_process):
            if held:
                held.kill()
        for pid in processes_with(windows_path(self.app)):
            HeldProcess(pid, "left over").kill()
        if self.driver:
            self.driver.process.kill()
            self.driver.process.wait(timeout=30)

    def wait_for_driver(self, seconds):
        end = time.monotonic() + seconds
        while not self.driver.ended() and time.monotonic() < end:
            time.sleep(0.05)
        return self.driver.ended()


def print_report(app: Path):
    report = app / REPORT
    if not report.exists():
        say(f"no report: {shown(report)} does not exist")
        return
    data = report.read_bytes()
    lines = data.split(b"\r\n")
    rest = lines.pop()
    say(f"the report, {shown(report)}: {len(lines)} lines "
        "(Windows-1252 bytes, shown here in UTF-8):")
    show_lines(line.decode("cp1252", errors="replace") for line in lines)
    if rest:
        say(f"after the last line break the report holds {rest!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", type=Path, required=True)
    parser.add_argument("--folder", type=Path, required=True)
    parser.add_argument("--out", type=Path, required=True)
    parser.add_argument("--hidden", action="append", default=[], metavar="REL",
                        help="a file below the folder ('/'-separated) to mark hidden first")
    parser.add_argument("--timeout", type=float, default=50.0)
    args = parser.parse_args()
    for name in ("WINEPREFIX", "DISPLAY"):
        if name not in os.environ:
            print(f"run_headless: {name} is not set; run inside scripts/with-wine.sh",
                  file=sys.stderr)
            return 2
    for needed in (args.exe, args.exe.parent / "driver.exe"):
        if not needed.is_file():
            print(f"run_headless: {needed} is missing (make win32 builds it)", file=sys.stderr)
            return 2
    if not args.folder.is_dir():
        print(f"run_headless: {args.folder} is not a folder", file=sys.stderr)
        return 2

    out = args.out.resolve()
    out.mkdir(parents=True, exist_ok=True)
    for old in list(out.glob("*.png")):
        old.unlink()
    work = out / "work"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir()
    session = Session(args, out, work)
    try:
        session.prepare()
        session.start()
        session.choose_folder()
        box = session.scan()
        session.final_box(box)
        session.opened_report()
        code = session.finish()
    except TimedOut as doing:
        try:
            frame = session.screen.capture()
            session.screen.save(frame, (0, 0, frame.width, frame.height), out / "hung.png", 0)
        except (OSError, ValueError, subprocess.SubprocessError):
            pass
        session.kill_all()
        say(f"Escaner.exe did not finish within {args.timeout:g} s ({doing}): it hung or "
            "crashed, and was killed with what it started")
        say(f"the screen at that moment: {shown(out / 'hung.png')} "
            "(a larger tree may need ESCANER_RUN_TIMEOUT=SECONDS)")
        return 3
    except SessionFailed as failure:
        session.release()
        say(f"the session did not end normally: {failure}")
        if session.driver and session.wait_for_driver(20):
            box = session.driver.first("message_box")
            if box and session.box_text is None:
                say(f"its box \"{box['title']}\" said:")
                show_lines(box["text"].split("\r\n"))
            exit_event = session.driver.first("exit")
            if exit_event:
                say(f"Escaner.exe ended with exit code {exit_event['code']}")
        else:
            session.kill_all()
        return 1
    except BaseException:
        session.kill_all()
        raise
    finally:
        shutil.rmtree(work, ignore_errors=True)
        session.forget_drive()

    say(f"Escaner.exe ended with exit code {code}")
    print_report(session.app)
    say(f"screenshots in {shown(out)}/:")
    show_lines(f"{name:<20} {what}" for name, what in session.shots)
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
