"""Linux processes that run only when `make run` lets them: SIGSTOP and
SIGCONT on a Wine program's process, found by its command line. Standard
library only."""

import os
import signal
import time
from pathlib import Path


def command_line(pid) -> str:
    """A process's command line, lower-cased; "" when it is gone. Wine shows
    a Windows program's own command line there, its Windows path first."""
    try:
        raw = Path(f"/proc/{pid}/cmdline").read_bytes()
    except OSError:
        return ""
    return raw.replace(b"\0", b" ").decode(errors="replace").lower()


def processes_with(*needles, without=()):
    """Pids whose command line holds every needle and none of `without`
    (case-insensitive)."""
    wanted = [n.lower() for n in needles]
    unwanted = [n.lower() for n in without]
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        line = command_line(entry.name)
        if all(n in line for n in wanted) and not any(n in line for n in unwanted):
            found.append(int(entry.name))
    return found


def _state(stat_path: Path):
    try:
        stat = stat_path.read_text()
    except OSError:
        return None
    return stat[stat.rindex(")") + 2]


class HeldProcess:
    def __init__(self, pid, name):
        self.pid = pid
        self.name = name

    def alive(self):
        return _state(Path(f"/proc/{self.pid}/stat")) not in (None, "Z", "X")

    def stop(self):
        """Stops every thread and returns once they all have."""
        try:
            os.kill(self.pid, signal.SIGSTOP)
        except ProcessLookupError:
            return
        end = time.monotonic() + 1.0
        while time.monotonic() < end:
            try:
                tasks = list(Path(f"/proc/{self.pid}/task").iterdir())
            except OSError:
                return
            if all(_state(task / "stat") in (None, "T", "t", "Z", "X") for task in tasks):
                return
            time.sleep(0.0002)

    def resume(self):
        try:
            os.kill(self.pid, signal.SIGCONT)
        except ProcessLookupError:
            pass

    def run_for(self, seconds):
        """Lets the process run for about `seconds`, then stops it again."""
        self.resume()
        time.sleep(seconds)
        self.stop()

    def kill(self):
        try:
            os.kill(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
