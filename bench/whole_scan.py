#!/usr/bin/env python3
"""The whole-scan benchmark: Escaner.exe against its floor, the literal scan
and a native peer, on the generated trees, in one run; prints one table.

    bench/whole_scan.py BUILD_DIR PEER_EXE [--runs N] [--trees DIR]

Runs inside scripts/with-wine.sh (WINEPREFIX, DISPLAY and a persistent
wineserver ready) and before any other Wine process of the session, since it
maps the trees' folder as drive T:. BUILD_DIR is the win32 build (Escaner.exe,
EscanerUnpaced.exe, bench_driver.exe, floor.exe, literal.exe); PEER_EXE is the
native filter built from bench/peer/. Every timing is the median of N runs
(default 5) after a warm-up, and each ratio is to the floor measured in this
same run. Raw results go to BUILD_DIR/../bench-results/whole_scan.json.
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


def drive_path(rel: str) -> str:
    return wine_drives.drive_path(DRIVE, rel)


def log(text):
    print(f"whole_scan: {text}", file=sys.stderr, flush=True)


def wine_json(exe: Path, *args, timeout=900):
    """Runs a Wine program that prints one JSON line. Output goes through a
    file: Wine's background processes would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        subprocess.run(["wine", str(exe), *args], stdin=subprocess.DEVNULL, stdout=out,
                       stderr=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        lines = [line for line in out.read().decode(errors="replace").splitlines() if line.startswith("{")]
    if not lines:
        raise RuntimeError(f"{exe.name} {' '.join(args)}: no result")
    return json.loads(lines[-1])


class Bench:
    def __init__(self, build: Path, peer: Path, trees: Path, runs: int):
        self.build, self.peer, self.trees, self.runs = build, peer, trees, runs
        self.work = Path(tempfile.mkdtemp(prefix="escaner-bench-"))
        self.apps = {}
        for name in ("Escaner", "EscanerUnpaced"):
            app = self.work / name
            app.mkdir()
            shutil.copy2(build / f"{name}.exe", app / f"{name}.exe")
            self.apps[name] = app
        self.raw = {}

    # ------------------------------------------------------------ single runs

    def floor(self, rel, whole=False):
        args = ["--whole", drive_path(rel)] if whole else [drive_path(rel)]
        result = wine_json(self.build / "floor.exe", *args)
        return result["ms"] / 1000, result

    def escaner(self, rel, name="Escaner", poll_ms=20):
        exe = self.apps[name] / f"{name}.exe"
        result = wine_json(self.build / "bench_driver.exe", "--exe", windows_path(exe),
                           "--choose", drive_path(rel), "--timeout", "1200", "--poll-ms", str(poll_ms))
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

    def median(self, key, measure, runs=None, warm=True):
        """Median time of `runs` calls of measure() after one warm-up; keeps
        every result, and the largest peak working set seen."""
        if warm:
            self.warm_cache()
            measure()
        times, results = [], []
        for _ in range(runs or self.runs):
            seconds, result = measure()
            times.append(seconds)
            results.append(result)
        self.raw[key] = {"times": times, "results": results if isinstance(results[0], dict) else None}
        peaks = [r.get("peak_working_set", 0) for r in results if isinstance(r, dict)]
        return {"time": statistics.median(times), "times": times, "peak": max(peaks) if peaks else None,
                "last": results[-1]}

    def interleaved(self, measures):
        """Medians of several programs on one tree, run in turn, so that a
        burst of load elsewhere spreads over all of them."""
        self.warm_cache()
        for measure in measures.values():
            measure()
        times = {key: [] for key in measures}
        results = {key: [] for key in measures}
        for _ in range(self.runs):
            self.warm_cache()
            for key, measure in measures.items():
                seconds, result = measure()
                times[key].append(seconds)
                results[key].append(result)
        out = {}
        for key in measures:
            self.raw[key] = {"times": times[key], "results": results[key]}
            peaks = [r.get("peak_working_set", 0) for r in results[key] if isinstance(r, dict)]
            out[key] = {"time": statistics.median(times[key]), "times": times[key],
                        "peak": max(peaks) if peaks else None, "last": results[key][-1]}
        return out


def pin_wine_to_one_cpu() -> int:
    """Puts this session's wineserver, this script and everything it starts
    on one CPU. Each Win32 file or window call is a round trip to the
    wineserver; on this VM a round trip that wakes an idle second CPU costs
    several times more than one that stays on the same CPU, and whether the
    other CPU happens to be idle depends on what else the machine runs, so
    unpinned runs of the same program differ by up to five times."""
    cpu = max(os.sched_getaffinity(0))
    prefix = os.stat(os.environ["WINEPREFIX"])
    server_dir = f"server-{prefix.st_dev:x}-{prefix.st_ino:x}"
    for pid_dir in Path("/proc").iterdir():
        if not pid_dir.name.isdigit():
            continue
        try:
            if (pid_dir / "comm").read_text().startswith("wineserver") and \
                    os.path.basename(os.readlink(pid_dir / "cwd")) == server_dir:
                os.sched_setaffinity(int(pid_dir.name), {cpu})
        except OSError:
            pass
    os.sched_setaffinity(0, {cpu})
    return cpu


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


# ---------------------------------------------------------------- the table

def fmt_time(seconds):
    if seconds >= 3600:
        return f"{seconds / 3600:.1f} h"
    if seconds >= 10:
        return f"{seconds:.1f} s"
    if seconds >= 1:
        return f"{seconds:.2f} s"
    return f"{seconds * 1000:.1f} ms"


def fmt_mb(nbytes):
    return f"{nbytes / MIB:.1f} MiB" if nbytes else ""


def verdict(ok):
    return "met" if ok else "**missed**"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=Path)
    parser.add_argument("peer", type=Path)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--trees", type=Path, default=None)
    parser.add_argument("--scale", type=float, default=1.0)
    args = parser.parse_args()
    build = args.build.resolve()
    trees = (args.trees or build.parent / "bench-trees").resolve()
    results_dir = build.parent / "bench-results"
    results_dir.mkdir(parents=True, exist_ok=True)

    started = time.monotonic()
    load_before = os.getloadavg()
    trees.mkdir(parents=True, exist_ok=True)
    s_stamp = bench_trees.ensure(trees, "S", 20240611, args.scale, bench_trees.make_tree_s)
    l_stamp = bench_trees.ensure(trees, "L", 20240611, args.scale, bench_trees.make_tree_l)
    tenth = make_sample(trees, s_stamp, 10)
    hundredth = make_sample(trees, s_stamp, 100)

    # Drive T: must exist before Wine's drive manager starts with the first
    # Wine program of the session.
    wine_drives.map_drive(DRIVE, trees)
    cpu = pin_wine_to_one_cpu()
    subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
    time.sleep(3)  # let Wine's background processes settle

    bench = Bench(build, args.peer.resolve(), trees, args.runs)
    log(f"Tree S: floor and Escaner.exe, {args.runs} runs each after a warm-up")
    s = bench.interleaved({"S/floor": lambda: bench.floor("S"), "S/escaner": lambda: bench.escaner("S")})
    report = (bench.apps["Escaner"] / "Malware.txt").read_bytes().decode("cp1252").splitlines()
    log("Tree S: native peer")
    s_peer = bench.median("S/peer", lambda: bench.native_peer("S"))

    log(f"Tree S, every 10th file: floor and the unpaced exe, {min(3, args.runs)} runs each")
    runs_unpaced = min(3, args.runs)
    saved_runs, bench.runs = bench.runs, runs_unpaced
    s10 = bench.interleaved({"S10/floor": lambda: bench.floor(tenth),
                             "S10/unpaced": lambda: bench.escaner(tenth, "EscanerUnpaced"),
                             "S10/escaner": lambda: bench.escaner(tenth)})
    bench.runs = saved_runs

    log("Tree S, every 100th file: the literal scan (once) and the floor")
    s100_floor = bench.median("S100/floor", lambda: bench.floor(hundredth))
    s100_literal_s, s100_literal = bench.literal(hundredth, budget=600)
    bench.raw["S100/literal"] = s100_literal
    sample_ops_model = tree_window_ops(trees / hundredth)
    s_ops_model = tree_window_ops(trees / "S")

    log("Tree L: each file alone")
    l_rows = {}
    for case in ("text", "binary", "sparse"):
        rel = f"L/{case}"
        l_rows[case] = bench.interleaved({f"{rel}/floor": lambda rel=rel: bench.floor(rel),
                                          f"{rel}/escaner": lambda rel=rel: bench.escaner(rel, poll_ms=5)})
        l_rows[case]["peer"] = bench.median(f"{rel}/peer", lambda rel=rel: bench.native_peer(rel))
    text_file = l_stamp["files"]["text"]
    read_whole = bench.median("L/text/read_whole", lambda: bench.floor(f"L/{text_file}", whole=True))
    literal_l = {}
    for case, budget in (("text", 10), ("binary", 120), ("sparse", 120)):
        seconds, result = bench.literal(f"L/{case}", budget)
        literal_l[case] = result
        bench.raw[f"L/{case}/literal"] = result
    text_ops = literal_window_ops(trees / "L" / text_file) + 1
    load_after = os.getloadavg()

    # ------------------------------------------------------------ cross-check
    prefix = "T:\\S\\"
    from_report = sorted(line[len(prefix):].replace("\\", "/") for line in report if line.startswith(prefix))
    peer_root = str(trees / "S") + "/"
    from_peer = sorted(p[len(peer_root):] for p in s_peer["last"])
    generated = sorted(s_stamp["flagged"])
    agree = from_report == from_peer == generated

    # ------------------------------------------------------------ table
    floor_s = s["S/floor"]["time"]
    esc = s["S/escaner"]
    files_s = s_stamp["files"]
    lines = []
    add = lines.append
    add(f"Tree S: {files_s:,} files in {s_stamp['folders']:,} folders, "
        f"{s_stamp['bytes'] / (1 << 30):.2f} GiB (seed {s_stamp['seed']}).")
    add("")
    add("| Program | Median | × floor | Peak working set | Target | Result |")
    add("|---|---|---|---|---|---|")
    add(f"| Floor: listings and 64 KiB of each file, no window (Wine) | {fmt_time(floor_s)} | 1.00 | "
        f"{fmt_mb(s['S/floor']['peak'])} | | |")
    esc_ratio = esc["time"] / floor_s
    add(f"| Escaner.exe with its strip (Wine, Xvfb), from the dialog's OK to the box | {fmt_time(esc['time'])} | {esc_ratio:.2f} | "
        f"{fmt_mb(esc['peak'])} | ≤ 1.3 × floor; < 32 MiB | {verdict(esc_ratio <= 1.3)}; "
        f"{verdict(esc['peak'] < 32 * MIB)} |")
    add(f"| Native peer: `find` + `bench/peer/keyboard_filter` (Linux) | {fmt_time(s_peer['time'])} | "
        f"{s_peer['time'] / floor_s:.2f} | | | |")
    f10 = s10["S10/floor"]["time"]
    add(f"| *Every 10th file ({files_s // 10:,} files):* floor | {fmt_time(f10)} | 1.00 | | | |")
    add(f"| *Every 10th file:* Escaner.exe | {fmt_time(s10['S10/escaner']['time'])} | "
        f"{s10['S10/escaner']['time'] / f10:.2f} | {fmt_mb(s10['S10/escaner']['peak'])} | | |")
    add(f"| *Every 10th file:* Escaner.exe with the display unpaced (every bar operation painted) | "
        f"{fmt_time(s10['S10/unpaced']['time'])} | {s10['S10/unpaced']['time'] / f10:.1f} | "
        f"{fmt_mb(s10['S10/unpaced']['peak'])} | | |")
    f100 = s100_floor["time"]
    add(f"| *Every 100th file ({s100_literal['files']} files):* floor | {fmt_time(f100)} | 1.00 | | | |")
    per_op = s100_literal_s / s100_literal["window_ops"]
    add(f"| *Every 100th file:* literal scan, measured once ({s100_literal['window_ops']:,} window "
        f"operations{'' if s100_literal['complete'] else ', stopped by its budget'}) | "
        f"{fmt_time(s100_literal_s)} | {s100_literal_s / f100:.0f} | {fmt_mb(s100_literal['peak_working_set'])} "
        f"| | |")
    est_s = per_op * s_ops_model
    add(f"| Literal scan of all of Tree S, estimated ({s_ops_model:,} window operations × "
        f"{per_op * 1000:.3f} ms each) | ~{fmt_time(est_s)} | ~{est_s / floor_s:.0f} | | | |")
    add("")
    # A phase shorter than one poll may go unseen (-1).
    phase = {p: statistics.median([r[p] for r in bench.raw["S/escaner"]["results"] if r[p] >= 0] or [0])
             for p in ("ok_to_strip_ms", "strip_ms", "strip_gone_to_box_ms")}
    add(f"Escaner.exe on Tree S by phase (medians, to the driver's 20 ms poll): dialog's OK to strip shown "
        f"{phase['ok_to_strip_ms']:.0f} ms, strip shown (both passes) {phase['strip_ms'] / 1000:.2f} s, "
        f"strip gone to box {phase['strip_gone_to_box_ms']:.0f} ms.")
    add("")
    add(f"Flagged files on Tree S: Escaner.exe's report {len(from_report):,}, native peer "
        f"{len(from_peer):,}, generator {len(generated):,}: "
        f"{'the same set' if agree else '**the sets differ**'}.")
    add("")
    add("Tree L, each file alone in its folder (the floor reads it whole for the keyboard-only text, "
        "its first 64 KiB otherwise):")
    add("")
    add("| File | Program | Median | × floor | Peak working set | Target | Result |")
    add("|---|---|---|---|---|---|---|")
    names = {"text": f"{l_stamp['sizes']['text'] / MIB:,.0f} MiB one-line keyboard-only text",
             "binary": f"{l_stamp['sizes']['binary'] / MIB:,.0f} MiB binary",
             "sparse": f"{l_stamp['sizes']['sparse'] / MIB:,.0f} MiB sparse file"}
    peaks = [esc["peak"]]
    for case in ("text", "binary", "sparse"):
        row = l_rows[case]
        floor_case = read_whole if case == "text" else row[f"L/{case}/floor"]
        e = row[f"L/{case}/escaner"]
        peaks.append(e["peak"])
        floor_label = "Floor: read it whole" if case == "text" else "Floor: open, 64 KiB, close"
        add(f"| {names[case]} | {floor_label} | {fmt_time(floor_case['time'])} | 1.00 | | | |")
        ratio = e["time"] / floor_case["time"]
        if case == "text":
            # The exe's time holds a fixed part (closing the dialog, building
            # and closing the strip, showing the box) that no file changes:
            # its time on the binary's folder, which it leaves after 64 KiB.
            fixed = l_rows["binary"]["L/binary/escaner"]["time"]
            scan = e["time"] - fixed
            add(f"| | Escaner.exe, from the dialog's OK to the box | {fmt_time(e['time'])} | {ratio:.2f} | "
                f"{fmt_mb(e['peak'])} | < 32 MiB | {verdict(e['peak'] < 32 * MIB)} |")
            add(f"| | Escaner.exe, the file alone (less its {fmt_time(fixed)} on the binary's folder) | "
                f"{fmt_time(scan)} | {scan / floor_case['time']:.2f} | | ≤ 2 × reading it | "
                f"{verdict(scan / floor_case['time'] <= 2)} |")
        else:
            add(f"| | Escaner.exe | {fmt_time(e['time'])} | {ratio:.2f} | {fmt_mb(e['peak'])} | "
                f"< 1 s; < 32 MiB | {verdict(e['time'] < 1)}; {verdict(e['peak'] < 32 * MIB)} |")
        add(f"| | Native peer | {fmt_time(row['peer']['time'])} | {row['peer']['time'] / floor_case['time']:.2f} "
            f"| | | |")
        lit = literal_l[case]
        if lit["complete"]:
            if lit["bytes_read"]:
                note = "measured"
            elif l_stamp["sizes"][case] > (1 << 31):
                note = "measured; longer than 2^31 bytes, not held"
            else:
                note = "measured; no memory for the whole file, so not examined"
            add(f"| | Literal scan ({note}) | {fmt_time(lit['ms'] / 1000)} | "
                f"{lit['ms'] / 1000 / floor_case['time']:.1f} | {fmt_mb(lit['peak_working_set'])} | | |")
        else:
            rate = lit["ms"] / 1000 / lit["window_ops"]
            est = rate * text_ops
            add(f"| | Literal scan, estimated ({text_ops:,} window operations at the "
                f"{rate * 1000:.3f} ms each of a {lit['ms'] / 1000:.0f} s run) | ~{fmt_time(est)} | "
                f"~{est / floor_case['time']:,.0f} | {fmt_mb(lit['peak_working_set'])} | | |")
    add("")
    add(f"Medians of {args.runs} runs after a warm-up (the unpaced exe: {runs_unpaced}); the literal scan "
        f"ran once. The Wine side ran on CPU {cpu} alone, with the trees in the page cache. The driver "
        f"polls for the final box every 20 ms on Tree S, every 5 ms on Tree L. Load average "
        f"{load_before[0]:.2f} before, {load_after[0]:.2f} after; {(time.monotonic() - started) / 60:.1f} min "
        f"in all.")
    table = "\n".join(lines)
    print(table)

    bench.raw["model"] = {"sample_ops_model": sample_ops_model, "sample_ops_measured": s100_literal["window_ops"],
                          "tree_s_ops_model": s_ops_model, "text_ops_model": text_ops}
    bench.raw["escaner_phases"] = {k: {p: [r.get(p) for r in v["results"]] for p in
                                       ("ok_to_strip_ms", "strip_ms", "strip_gone_to_box_ms", "polls")}
                                   for k, v in bench.raw.items()
                                   if isinstance(v, dict) and v.get("results") and ("escaner" in k or "unpaced" in k)}
    (results_dir / "whole_scan.json").write_text(json.dumps(bench.raw, indent=1, default=str))
    (results_dir / "whole_scan.md").write_text(table + "\n")
    if sample_ops_model != s100_literal["window_ops"] and s100_literal["complete"]:
        log(f"note: the literal's window operations on the sample ({s100_literal['window_ops']}) differ "
            f"from the model ({sample_ops_model})")
    shutil.rmtree(bench.work, ignore_errors=True)
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
