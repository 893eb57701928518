#!/usr/bin/env python3
"""The whole-scan benchmark: Escaner.exe against two floors on the generated
trees, in one run, pinned to one CPU and unpinned; then what each of the exe's
per-file steps adds to the cheaper floor; prints the tables.

    bench/whole_scan.py BUILD_DIR PEER_EXE [--runs N] [--scale F] [--trees DIR] [--extras]

Runs inside scripts/with-wine.sh (WINEPREFIX, DISPLAY and a persistent
wineserver ready) and before any other Wine process of the session, since it
maps the trees' folder as drive T:. BUILD_DIR is a Windows build (build/win32
or build/win64: Escaner.exe, bench_driver.exe, floor.exe; with --extras also
EscanerUnpaced.exe and literal.exe); the architecture measured is read from
Escaner.exe and stated in the output. $WINE names the Wine loader (default
`wine`). PEER_EXE is the native filter built from bench/peer/.

The floors (bench/win32/floor.cpp): the cheapest correct walk, and the narrow
two-search FindFirstFileA walk of the plain design. Programs measured on one
tree run in turn, round after round, so that a burst of load elsewhere spreads
over all of them; each figure is the median of N rounds (default 3) after a
warm-up round, with its range. --extras adds the slow comparisons: the exe
with its strip unpaced and the literal scan, on samples of Tree S, and the
literal scan on Tree L. Raw results go to BUILD_DIR/../bench-results/.
Python standard library only."""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
import bench_trees
from escaner_tools import wine_drives
from escaner_tools.wine_drives import windows_path

DRIVE = "T"
MIB = 1 << 20
WINE = os.environ.get("WINE", "wine")
# The driver's poll for the exe's windows: each poll is a few wineserver
# requests, and a poll every 5 ms made a 1.4 s scan about 7% slower.
POLL_MS = 20

# What each step of the exe costs, added alone to the cheapest floor
# (floor.exe --with NAME), and what the exe adds as a whole.
STEPS = (
    ("errormode", "Quiet error mode set and put back around each file call (`SetErrorMode` twice)"),
    ("getfiletype", "`GetFileType` on each opened file"),
    ("getfilesize", "`GetFileSize` on each opened file"),
    ("setfilepointer", "`SetFilePointer` to byte 0 on each opened file"),
    ("report-append", "Report: open, append, close for each flagged file"),
    ("report-kept", "Report: kept open, one write for each flagged file"),
    ("bars", "Bar operations, paced (five a file, each reading the tick count)"),
    ("frames", "The strip's frames (a whole-strip repaint every 33 ms)"),
)
EXE_STEPS = "errormode,getfiletype,report-kept,bars,frames"


def drive_path(rel: str) -> str:
    return wine_drives.drive_path(DRIVE, rel)


def log(text):
    print(f"whole_scan: {text}", file=sys.stderr, flush=True)


def pe_architecture(exe: Path) -> str:
    """The machine an exe is built for, from its PE header."""
    data = exe.read_bytes()[:4096]
    header = int.from_bytes(data[0x3C:0x40], "little")
    machine = int.from_bytes(data[header + 4:header + 6], "little")
    return {0x14C: "i686 (32-bit x86)", 0x8664: "x86_64"}.get(machine, f"machine 0x{machine:x}")


def wine_json(exe: Path, *args, timeout=900):
    """Runs a Wine program that prints one JSON line. Output goes through a
    file: Wine's background processes would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        subprocess.run([WINE, str(exe), *args], stdin=subprocess.DEVNULL, stdout=out,
                       stderr=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        lines = [line for line in out.read().decode(errors="replace").splitlines() if line.startswith("{")]
    if not lines:
        raise RuntimeError(f"{exe.name} {' '.join(args)}: no result")
    return json.loads(lines[-1])


class Bench:
    def __init__(self, build: Path, peer: Path, trees: Path, runs: int, extras: bool):
        self.build, self.peer, self.trees, self.runs = build, peer, trees, runs
        self.work = Path(tempfile.mkdtemp(prefix="escaner-bench-"))
        self.apps = {}
        for name in ("Escaner", "EscanerUnpaced") if extras else ("Escaner",):
            app = self.work / name
            app.mkdir()
            shutil.copy2(build / f"{name}.exe", app / f"{name}.exe")
            self.apps[name] = app
        self.raw = {}

    # ------------------------------------------------------------ single runs

    def floor(self, rel, walk="cheapest", steps=""):
        args = ["--walk", walk, "--report", windows_path(self.work / "floor-report.txt")]
        if steps:
            args += ["--with", steps]
        result = wine_json(self.build / "floor.exe", *args, drive_path(rel))
        return result["ms"] / 1000, result

    def escaner(self, rel, name="Escaner"):
        exe = self.apps[name] / f"{name}.exe"
        result = wine_json(self.build / "bench_driver.exe", "--exe", windows_path(exe),
                           "--choose", drive_path(rel), "--timeout", "1200", "--poll-ms", str(POLL_MS))
        if not result.get("ok"):
            raise RuntimeError(f"{name} on {rel}: {result}")
        return result["scan_ms"] / 1000, result

    def literal(self, rel, budget):
        result = wine_json(self.build / "literal.exe", drive_path(rel), "--report",
                           windows_path(self.work / "literal-report.txt"), "--budget", str(budget))
        return result["ms"] / 1000, result

    def native_peer(self, rel):
        start = time.perf_counter()
        found = subprocess.run(f"find '{self.trees / rel}' -type f -print0 | '{self.peer}'", shell=True,
                               stdout=subprocess.PIPE, check=True).stdout
        return time.perf_counter() - start, found.decode(errors="surrogateescape").splitlines()

    def warm_cache(self):
        """Reads what the runs read, natively, so that every run finds it in
        the page cache (this VM pages out what has not been touched for a
        minute)."""
        subprocess.run(f"find '{self.trees}' -type f -print0 | '{self.peer}'", shell=True,
                       stdout=subprocess.DEVNULL, check=True)

    # ------------------------------------------------------------ medians

    @staticmethod
    def summary(times, results):
        peaks = [r.get("peak_working_set", 0) for r in results if isinstance(r, dict)]
        return {"time": statistics.median(times), "min": min(times), "max": max(times), "times": times,
                "peak": max(peaks) if peaks else None, "last": results[-1]}

    def rounds(self, measures, runs=None, tag=""):
        """Medians of several programs on one tree, run in turn round after
        round after one warm-up round."""
        self.warm_cache()
        for measure in measures.values():
            measure()
        times = {key: [] for key in measures}
        results = {key: [] for key in measures}
        for _ in range(runs or self.runs):
            self.warm_cache()
            for key, measure in measures.items():
                seconds, result = measure()
                times[key].append(seconds)
                results[key].append(result)
        out = {}
        for key in measures:
            self.raw[tag + key] = {"times": times[key],
                                   "results": results[key] if isinstance(results[key][0], dict) else None}
            out[key] = self.summary(times[key], results[key])
        return out


# ---------------------------------------------------------------- pinning

def wine_processes():
    """This session's wineserver and every process started with its prefix."""
    prefix = os.environ["WINEPREFIX"]
    stat = os.stat(prefix)
    server_dir = f"server-{stat.st_dev:x}-{stat.st_ino:x}"
    marker = f"WINEPREFIX={prefix}".encode()
    for pid_dir in Path("/proc").iterdir():
        if not pid_dir.name.isdigit() or int(pid_dir.name) == os.getpid():
            continue
        try:
            if (pid_dir / "comm").read_text().startswith("wineserver"):
                if os.path.basename(os.readlink(pid_dir / "cwd")) == server_dir:
                    yield int(pid_dir.name)
            elif marker in (pid_dir / "environ").read_bytes().split(b"\0"):
                yield int(pid_dir.name)
        except OSError:
            pass


def set_wine_cpus(cpus) -> None:
    """Puts this session's Wine side (the wineserver, Wine's background
    processes, this script and so everything it starts) on `cpus`. Each Win32
    file or window call is a round trip to the wineserver; on this VM a round
    trip that wakes an idle second CPU costs several times more than one that
    stays on the same CPU, so pinned runs show the programs' own costs and
    unpinned runs what a user of a loaded machine might see."""
    for pid in wine_processes():
        try:
            for task in os.listdir(f"/proc/{pid}/task"):
                os.sched_setaffinity(int(task), cpus)
        except OSError:
            pass
    os.sched_setaffinity(0, cpus)


# ---------------------------------------------------------------- the literal's cost model

KEYBOARD_TABLE = bench_trees.KEYBOARD_TABLE


def literal_window_ops(path: Path) -> int:
    """Window operations the literal scan makes for one file: the overall
    bar's three and the strip's repaint, show and repaint, then three per
    byte examined, and three more when it stops at a byte outside the set."""
    ops = 6
    size = path.stat().st_size
    if size < 2 or size - 1 > 0x7FFFFFFF:
        return ops
    with open(path, "rb") as f:
        examined = 0
        while True:
            block = f.read(1 << 20)
            if not block:
                return ops + 3 * examined
            classes = block.translate(KEYBOARD_TABLE)
            stop = classes.find(0)
            if stop >= 0:
                return ops + 3 * (examined + stop + 1) + 3
            examined += len(block)


def tree_window_ops(root: Path) -> int:
    return 1 + sum(literal_window_ops(p) for p in root.rglob("*") if p.is_file())


def make_sample(trees: Path, s_stamp: dict, every: int) -> str:
    """A tree of hard links to every `every`-th file of Tree S (sorted order),
    with their folders; remade when Tree S changes."""
    name = f"S-every{every}"
    sample, stamp_path = trees / name, trees / f"{name}.json"
    key = {k: s_stamp[k] for k in ("generator", "seed", "scale")}
    if stamp_path.exists() and json.loads(stamp_path.read_text()) == key and sample.is_dir():
        return name
    shutil.rmtree(sample, ignore_errors=True)
    files = sorted(p.relative_to(trees / "S") for p in (trees / "S").rglob("*") if p.is_file())
    for rel in files[::every]:
        (sample / rel).parent.mkdir(parents=True, exist_ok=True)
        os.link(trees / "S" / rel, sample / rel)
    stamp_path.write_text(json.dumps(key))
    return name


# ---------------------------------------------------------------- the tables

def fmt_time(seconds):
    if abs(seconds) >= 3600:
        return f"{seconds / 3600:.1f} h"
    if abs(seconds) >= 10:
        return f"{seconds:.1f} s"
    if abs(seconds) >= 1:
        return f"{seconds:.2f} s"
    return f"{seconds * 1000:.1f} ms"


def fmt_range(m):
    return f"{fmt_time(m['time'])} ({fmt_time(m['min'])}–{fmt_time(m['max'])})"


def fmt_mb(nbytes):
    return f"{nbytes / MIB:.1f} MiB" if nbytes else ""


def verdict(ok):
    return "met" if ok else "**missed**"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=Path)
    parser.add_argument("peer", type=Path)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--trees", type=Path, default=None)
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--extras", action="store_true",
                        help="also the unpaced exe and the literal scan (several minutes more)")
    args = parser.parse_args()
    build = args.build.resolve()
    trees = (args.trees or build.parent / "bench-trees").resolve()
    results_dir = build.parent / "bench-results"
    results_dir.mkdir(parents=True, exist_ok=True)
    arch = pe_architecture(build / "Escaner.exe")

    started = time.monotonic()
    load_before = os.getloadavg()
    trees.mkdir(parents=True, exist_ok=True)
    s_stamp = bench_trees.ensure(trees, "S", 20240611, args.scale, bench_trees.make_tree_s)
    l_stamp = bench_trees.ensure(trees, "L", 20240611, args.scale, bench_trees.make_tree_l)

    # Drive T: must exist before Wine's drive manager starts with the first
    # Wine program of the session.
    wine_drives.map_drive(DRIVE, trees)
    all_cpus = os.sched_getaffinity(0)
    one_cpu = {max(all_cpus)}
    subprocess.run([WINE, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
    time.sleep(3)  # let Wine's background processes settle

    bench = Bench(build, args.peer.resolve(), trees, args.runs, args.extras)
    log(f"{arch} build in {build}; {args.runs} rounds after a warm-up round")

    log("Tree S, unpinned: narrow floor, cheapest floor, Escaner.exe")
    set_wine_cpus(all_cpus)
    s_free = bench.rounds({"narrow": lambda: bench.floor("S", "narrow"),
                           "cheapest": lambda: bench.floor("S"),
                           "escaner": lambda: bench.escaner("S")}, tag="S/unpinned/")

    log(f"Tree S, pinned to CPU {min(one_cpu)}: the floors, the exe, the cheapest floor with each step")
    set_wine_cpus(one_cpu)
    measures = {"narrow": lambda: bench.floor("S", "narrow"),
                "cheapest": lambda: bench.floor("S"),
                "escaner": lambda: bench.escaner("S")}
    for step, _ in STEPS:
        measures[step] = lambda step=step: bench.floor("S", steps=step)
    measures["exe-steps"] = lambda: bench.floor("S", steps=EXE_STEPS)
    s = bench.rounds(measures, tag="S/pinned/")
    report = (bench.apps["Escaner"] / "Malware.txt").read_bytes().decode("cp1252").splitlines()
    log("Tree S: native peer")
    s_peer = bench.rounds({"peer": lambda: bench.native_peer("S")}, tag="S/")["peer"]

    log("Tree L, pinned: each file alone, then the whole tree; narrow floor, cheapest floor, Escaner.exe")
    l_rows = {}
    for case in ("text", "binary", "sparse", "whole"):
        rel = "L" if case == "whole" else f"L/{case}"
        l_rows[case] = bench.rounds({"narrow": lambda rel=rel: bench.floor(rel, "narrow"),
                                     "cheapest": lambda rel=rel: bench.floor(rel),
                                     "escaner": lambda rel=rel: bench.escaner(rel)}, tag=f"{rel}/")

    extras = run_extras(bench, trees, s_stamp, l_stamp, s["cheapest"]["time"]) if args.extras else None
    load_after = os.getloadavg()
    set_wine_cpus(all_cpus)

    # ------------------------------------------------------------ cross-check
    prefix = "T:\\S\\"
    from_report = sorted(line[len(prefix):].replace("\\", "/") for line in report if line.startswith(prefix))
    peer_root = str(trees / "S") + "/"
    from_peer = sorted(p[len(peer_root):] for p in s_peer["last"])
    generated = sorted(s_stamp["flagged"])
    floor_counts = {f"{k}": s[k]["last"]["flagged"] for k in ("narrow", "cheapest")}
    agree = from_report == from_peer == generated and all(n == len(generated) for n in floor_counts.values())

    # ------------------------------------------------------------ tables
    lines = []
    add = lines.append
    files_s = s_stamp["files"]
    add(f"Architecture measured: {arch} (`{build.name}`, Wine loader `{WINE}`).")
    add("")
    add(f"Tree S: {files_s:,} files in {s_stamp['folders']:,} folders, "
        f"{s_stamp['bytes'] / (1 << 30):.2f} GiB (seed {s_stamp['seed']}, scale {s_stamp['scale']}).")
    add("")
    add("| Program | Pinned: median (range) | × narrow | × cheapest | Unpinned: median (range) | × narrow "
        "| × cheapest | Peak working set |")
    add("|---|---|---|---|---|---|---|---|")
    labels = {"narrow": "Narrow floor: two `FindFirstFileA` searches a folder, each file read to its first "
                        "byte outside the set",
              "cheapest": "Cheapest floor: one open a folder a pass, identities from the listing, `\\\\?\\` "
                          "UTF-16 opens",
              "escaner": "Escaner.exe with its strip, from the dialog's OK to the box"}
    for key in ("narrow", "cheapest", "escaner"):
        p, f = s[key], s_free[key]
        add(f"| {labels[key]} | {fmt_range(p)} | {p['time'] / s['narrow']['time']:.2f} | "
            f"{p['time'] / s['cheapest']['time']:.2f} | {fmt_range(f)} | "
            f"{f['time'] / s_free['narrow']['time']:.2f} | {f['time'] / s_free['cheapest']['time']:.2f} | "
            f"{fmt_mb(max(p['peak'] or 0, f['peak'] or 0))} |")
    add(f"| Native peer: `find` + `bench/peer/keyboard_filter` (Linux) | {fmt_range(s_peer)} | "
        f"{s_peer['time'] / s['narrow']['time']:.2f} | {s_peer['time'] / s['cheapest']['time']:.2f} | | | | |")
    add("")
    # A phase shorter than one poll may go unseen (-1).
    phase = {p: statistics.median([r[p] for r in bench.raw["S/pinned/escaner"]["results"] if r[p] >= 0] or [0])
             for p in ("ok_to_strip_ms", "strip_ms", "strip_gone_to_box_ms")}
    add(f"Escaner.exe on Tree S, pinned, by phase (medians, to the driver's {POLL_MS} ms poll): dialog's OK "
        f"to strip shown {phase['ok_to_strip_ms']:.0f} ms, strip shown (both passes) "
        f"{phase['strip_ms'] / 1000:.2f} s, strip gone to box {phase['strip_gone_to_box_ms']:.0f} ms.")
    add("")
    base = s["cheapest"]["time"]
    # The exe's time holds a fixed part that no tree changes (closing the
    # dialog, building and closing the strip, showing the box): its time on
    # the binary's folder of Tree L, which it leaves after one file.
    fixed = l_rows["binary"]["escaner"]["time"]
    gap = s["escaner"]["time"] - fixed - base
    flagged = len(generated)
    add(f"What each of the exe's steps adds to the cheapest floor on Tree S (pinned; {files_s:,} files, "
        f"{flagged:,} flagged). Share: of the exe's {fmt_time(gap)} over the cheapest floor once its fixed "
        f"{fmt_time(fixed)} (dialog closed, strip built and closed, box shown: its time on a one-file "
        f"folder) is taken off:")
    add("")
    add("| Step | Added: time inside its calls, median (range) | Per file | Share | Cheapest floor with it: "
        "median (range) | Difference of medians |")
    add("|---|---|---|---|---|---|")

    def step_row(label, key):
        inside = [r["step_ms"] / 1000 for r in bench.raw[f"S/pinned/{key}"]["results"]]
        m, added = s[key], statistics.median(inside)
        return (f"| {label} | {fmt_time(added)} ({fmt_time(min(inside))}–{fmt_time(max(inside))}) | "
                f"{added / files_s * 1e6:.1f} µs | {added / gap:.0%} | {fmt_range(m)} | "
                f"{fmt_time(m['time'] - base)} |")

    for step, label in STEPS:
        add(step_row(f"{label} (`--with {step}`)", step))
    add(step_row(f"All the exe's steps together (`--with {EXE_STEPS}`)", "exe-steps"))
    add(f"| Escaner.exe, less its fixed part | {fmt_time(gap)} over the cheapest floor | "
        f"{gap / files_s * 1e6:.1f} µs | 100% | {fmt_time(s['escaner']['time'] - fixed)} | {fmt_time(gap)} |")
    add("")
    add("The added time is the time spent inside the step's own calls, timed by the floor around them "
        "(the performance counter reads the clock without a wineserver round trip), so a burst of load "
        "between runs does not blur it; the difference of medians between whole runs shows the same cost "
        "plus that noise.")
    add("")
    add(f"Flagged files on Tree S: Escaner.exe's report {len(from_report):,}, native peer {len(from_peer):,}, "
        f"narrow floor {floor_counts['narrow']:,}, cheapest floor {floor_counts['cheapest']:,}, generator "
        f"{len(generated):,}: {'the same' if agree else '**they differ**'}.")
    add("")
    add("Tree L, each file alone in its folder, then the three together, pinned:")
    add("")
    add("| File | Program | Median (range) | × narrow | Peak working set | Target | Result |")
    add("|---|---|---|---|---|---|---|")
    names = {"text": f"{l_stamp['sizes']['text'] / MIB:,.0f} MiB one-line keyboard-only text",
             "binary": f"{l_stamp['sizes']['binary'] / MIB:,.0f} MiB binary",
             "sparse": f"{l_stamp['sizes']['sparse'] / MIB:,.0f} MiB sparse file"}
    peaks = [s["escaner"]["peak"] or 0, s_free["escaner"]["peak"] or 0]
    for case in ("text", "binary", "sparse"):
        row = l_rows[case]
        narrow = row["narrow"]["time"]
        e = row["escaner"]
        peaks.append(e["peak"] or 0)
        add(f"| {names[case]} | Narrow floor | {fmt_range(row['narrow'])} | 1.00 | | | |")
        add(f"| | Cheapest floor | {fmt_range(row['cheapest'])} | {row['cheapest']['time'] / narrow:.2f} | | | |")
        if case == "text":
            add(f"| | Escaner.exe, from the dialog's OK to the box | {fmt_range(e)} | {e['time'] / narrow:.2f} | "
                f"{fmt_mb(e['peak'])} | | |")
            scan = e["time"] - fixed
            add(f"| | Escaner.exe, the file alone (less its {fmt_time(fixed)} on the binary's folder) | "
                f"{fmt_time(scan)} | {scan / narrow:.2f} | | ≤ 2 × narrow | {verdict(scan / narrow <= 2)} |")
        else:
            add(f"| | Escaner.exe | {fmt_range(e)} | {e['time'] / narrow:.2f} | {fmt_mb(e['peak'])} | < 1 s | "
                f"{verdict(e['time'] < 1)} |")
    whole = l_rows["whole"]
    narrow = whole["narrow"]["time"]
    e = whole["escaner"]
    peaks.append(e["peak"] or 0)
    add("| All three in one tree (`T:\\L`) | Narrow floor | "
        f"{fmt_range(whole['narrow'])} | 1.00 | | | |")
    add(f"| | Cheapest floor | {fmt_range(whole['cheapest'])} | {whole['cheapest']['time'] / narrow:.2f} | | | |")
    add(f"| | Escaner.exe, from the dialog's OK to the box | {fmt_range(e)} | {e['time'] / narrow:.2f} | "
        f"{fmt_mb(e['peak'])} | ≤ 1.5 × narrow | {verdict(e['time'] / narrow <= 1.5)} |")
    add("")
    peak = max(peaks)
    add(f"Peak working set of Escaner.exe over every run: {fmt_mb(peak)} (target < 32 MiB: {verdict(peak < 32 * MIB)}).")
    if extras:
        add("")
        lines.extend(extras)
    add("")
    add(f"Medians of {args.runs} rounds after a warm-up round, programs on one tree in turn. Pinned: the "
        f"wineserver, Wine's background processes and every program on CPU {min(one_cpu)} alone; unpinned: on "
        f"CPUs {','.join(map(str, sorted(all_cpus)))}. Trees in the page cache. The driver polls every "
        f"{POLL_MS} ms. Load average {load_before[0]:.2f} before, {load_after[0]:.2f} after; "
        f"{(time.monotonic() - started) / 60:.1f} min in all.")
    table = "\n".join(lines)
    print(table)

    (results_dir / "whole_scan.json").write_text(json.dumps(bench.raw, indent=1, default=str))
    (results_dir / "whole_scan.md").write_text(table + "\n")
    shutil.rmtree(bench.work, ignore_errors=True)
    return 0 if agree else 1


def run_extras(bench, trees, s_stamp, l_stamp, cheapest_s):
    """The slow comparisons, pinned: the unpaced exe and the floor with every
    bar operation sent at once on every 10th file of Tree S; the literal scan
    on every 100th file, estimated for all of Tree S, and on Tree L."""
    tenth = make_sample(trees, s_stamp, 10)
    hundredth = make_sample(trees, s_stamp, 100)
    runs = min(3, bench.runs)
    log("extras: every 10th file of Tree S: cheapest floor, unpaced floor, Escaner.exe, unpaced exe")
    s10 = bench.rounds({"cheapest": lambda: bench.floor(tenth),
                        "floor-unpaced": lambda: bench.floor(tenth, steps="unpaced"),
                        "escaner": lambda: bench.escaner(tenth),
                        "unpaced": lambda: bench.escaner(tenth, "EscanerUnpaced")}, runs=runs, tag="S10/")
    log("extras: every 100th file of Tree S: the literal scan (once) and the cheapest floor")
    s100 = bench.rounds({"cheapest": lambda: bench.floor(hundredth)}, runs=runs, tag="S100/")["cheapest"]
    lit_s, lit = bench.literal(hundredth, budget=600)
    bench.raw["S100/literal"] = lit
    s_ops = tree_window_ops(trees / "S")
    out = []
    add = out.append
    files10 = s10["cheapest"]["last"]["files"]
    f10 = s10["cheapest"]["time"]
    add(f"Extras, pinned. Every 10th file of Tree S ({files10:,} files):")
    add("")
    add("| Program | Median (range) | × cheapest |")
    add("|---|---|---|")
    for key, label in (("cheapest", "Cheapest floor"),
                       ("floor-unpaced", "Cheapest floor, every bar operation sent at once (`--with unpaced`)"),
                       ("escaner", "Escaner.exe"),
                       ("unpaced", "EscanerUnpaced.exe (every bar operation painted)")):
        add(f"| {label} | {fmt_range(s10[key])} | {s10[key]['time'] / f10:.2f} |")
    per_op = lit_s / lit["window_ops"]
    est = per_op * s_ops
    add(f"| *Every 100th file ({lit['files']} files):* cheapest floor | {fmt_range(s100)} | |")
    add(f"| *Every 100th file:* literal scan, once ({lit['window_ops']:,} window operations"
        f"{'' if lit['complete'] else ', stopped by its budget'}) | {fmt_time(lit_s)} | "
        f"{lit_s / s100['time']:.0f} |")
    add(f"| Literal scan of all of Tree S, estimated ({s_ops:,} window operations × {per_op * 1000:.3f} ms) | "
        f"~{fmt_time(est)} | ~{est / cheapest_s:.0f} |")
    add("")
    add("Literal scan on Tree L:")
    add("")
    add("| File | Literal scan |")
    add("|---|---|")
    text_ops = literal_window_ops(trees / "L" / l_stamp["files"]["text"]) + 1
    for case, budget in (("text", 10), ("binary", 120), ("sparse", 120)):
        _, result = bench.literal(f"L/{case}", budget)
        bench.raw[f"L/{case}/literal"] = result
        if result["complete"]:
            add(f"| {case} | {fmt_time(result['ms'] / 1000)} (measured), {fmt_mb(result['peak_working_set'])} |")
        else:
            rate = result["ms"] / 1000 / result["window_ops"]
            add(f"| {case} | ~{fmt_time(rate * text_ops)} (estimated: {text_ops:,} window operations at "
                f"{rate * 1000:.3f} ms) |")
    return out


if __name__ == "__main__":
    sys.exit(main())
