"""Checks what `make run` printed for a headless session on a tree against
the flagging rule of the end-to-end suite (escaner_tools.keyboard_rule),
applied here to every file of the tree as Linux sees it.

    check_run_output.py --tree DIR --output FILE --out DIR --status N

FILE holds what `make run` printed; DIR (--out) its screenshots and app/
folder; N its exit status. The exit status is the number of failed checks."""

import argparse
import os
import subprocess
import sys
from pathlib import Path

from escaner_tools.keyboard_rule import is_flagged

DRIVE_ROOT = "M:\\"
SCREENSHOTS = ("dialog.png", "strip.png", "final-box.png", "report-notepad.png")


def expected_scan(tree: Path):
    """Files counted and paths flagged, as the exe must report them: the
    drive root, then the path below it with backslashes, in Windows-1252
    with '?' for each character the code page lacks. Hidden files count
    like any other."""
    counted, flagged = 0, []
    for folder, _, names in os.walk(tree):
        for name in names:
            path = Path(folder) / name
            if path.is_symlink() or not path.is_file():
                continue
            counted += 1
            if is_flagged(path.read_bytes()):
                rel = str(path.relative_to(tree)).replace("/", "\\")
                flagged.append((DRIVE_ROOT + rel).encode("cp1252", errors="replace"))
    return counted, sorted(flagged)


def section(lines, header_start):
    """The indented lines that follow the first line starting with the header."""
    for i, line in enumerate(lines):
        if line.startswith(header_start):
            block = []
            for following in lines[i + 1:]:
                if not following.startswith("    "):
                    break
                block.append(following[4:])
            return block
    return None


def colours(png: Path):
    result = subprocess.run(["identify", "-format", "%k", str(png)], capture_output=True,
                            text=True, timeout=30)
    return int(result.stdout) if result.returncode == 0 and result.stdout.isdigit() else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tree", type=Path, required=True)
    parser.add_argument("--output", type=Path, required=True)
    parser.add_argument("--out", type=Path, required=True)
    parser.add_argument("--status", type=int, required=True)
    args = parser.parse_args()

    printed = args.output.read_text(errors="replace").splitlines()
    counted, flagged = expected_scan(args.tree)
    report_file = args.out / "app" / "Malware.txt"
    report_bytes = report_file.read_bytes() if report_file.exists() else b""
    box = section(printed, "run: the driver read the box's text")
    report = section(printed, "run: the report,")
    progress = [line for line in printed if line.startswith("run: progress: overall bar ")]
    too_fast = [line for line in printed if "scan finished before the first sample" in line]
    checks = [
        ("exit status 0", args.status == 0, f"got {args.status}"),
        ("the final box's text, exactly",
         box == ["El escaneo ha terminado ...", f"Ficheros escaneados : {counted}",
                 f"Ficheros infectados : {len(flagged)}"],
         f"printed {box}, expected {counted} scanned and {len(flagged)} flagged"),
        ("the report's lines, as printed",
         report is not None and sorted(line.encode("cp1252", errors="replace")
                                       for line in report) == flagged,
         f"printed {report},\n     expected {[p.decode('cp1252') for p in flagged]}"),
        ("the printed lines are the report file's",
         report is not None and report_bytes == b"".join(
             line.encode("cp1252", errors="replace") + b"\r\n" for line in report),
         f"file {report_bytes!r}"),
        ("a progress line, or the word that the scan was too quick for one",
         bool(progress or too_fast), "neither was printed"),
    ]
    for name in SCREENSHOTS:
        path = args.out / name
        checks.append((f"screenshot {name}", path.exists() and colours(path) > 2,
                       "missing" if not path.exists() else "blank"))

    failed = 0
    for name, passed, detail in checks:
        print(f"{'PASS' if passed else 'FAIL'} make run: {name}")
        if not passed:
            failed += 1
            print(f"     {detail}")
    return failed


if __name__ == "__main__":
    sys.exit(main())  # the number of failed checks
