#!/usr/bin/env python3
"""cmake/check_build_flags.py on compile databases of the ways a build goes
wrong: the empty flags of a stale cache, an -O0 that comes after the stated
level, a stated flag lost, a statement without optimization, a database with
no product source. Run by ctest (native)."""
import json
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "check_build_flags.py")
GCC = "/usr/bin/i686-w64-mingw32-g++-posix -Isrc"


def entry(file, flags, directory="/repo/build"):
    return {"directory": directory, "file": file,
            "command": f"{GCC} {flags} -Wall -std=c++20 -o x.o -c {file}"}


RELEASE = "-O3 -DNDEBUG"
CASES = [
    # name, build type, stated flags, database, exit code, text in the output
    ("stated flags everywhere", "Release", RELEASE,
     [entry("/repo/src/scan/keyboard_scan.cpp", RELEASE),
      entry("/repo/src/app/main_win32.cpp", RELEASE)], 0, "every product source"),
    ("a relative path under the product", "Release", RELEASE,
     [entry("../src/scan/keyboard_scan.cpp", RELEASE)], 0, "every product source"),
    ("stale cache: no flags at all", "Release", RELEASE,
     [entry("/repo/src/scan/keyboard_scan.cpp", "")], 1, "unoptimized in a Release build"),
    ("one source left out", "Release", RELEASE,
     [entry("/repo/src/scan/keyboard_scan.cpp", RELEASE),
      entry("/repo/src/app/main_win32.cpp", "-DNDEBUG")], 1,
     "src/app/main_win32.cpp: compiled with -O0, stated -O3"),
    ("-O0 after the stated level wins", "RelWithDebInfo", "-O2 -g -DNDEBUG",
     [entry("/repo/src/scan/keyboard_scan.cpp", "-O2 -g -DNDEBUG -O0")], 1,
     "compiled with -O0, stated -O2"),
    ("another level after the stated one", "Release", RELEASE,
     [entry("/repo/src/scan/keyboard_scan.cpp", RELEASE + " -Os")], 1,
     "compiled with -Os, stated -O3"),
    ("a stated flag lost", "RelWithDebInfo", "-O2 -g -DNDEBUG",
     [entry("/repo/src/scan/keyboard_scan.cpp", "-O2 -DNDEBUG")], 1, "compiled without -g"),
    ("a release statement without optimization", "Release", "-O0 -DNDEBUG",
     [entry("/repo/src/scan/keyboard_scan.cpp", "-O0 -DNDEBUG")], 1, "unoptimized"),
    ("debug builds are meant unoptimized", "Debug", "-O0 -g",
     [entry("/repo/src/scan/keyboard_scan.cpp", "-O0 -g")], 0, "every product source"),
    ("other code is not the product's", "Release", RELEASE,
     [entry("/repo/src/scan/keyboard_scan.cpp", RELEASE),
      entry("/usr/src/googletest/googletest/src/gtest-all.cc", "-w"),
      entry("/repo/tests/native/report_test.cpp", "-O0")], 0, "every product source"),
    ("no product source in the database", "Release", RELEASE,
     [entry("/usr/src/googletest/googletest/src/gtest-all.cc", RELEASE)], 1,
     "no source under"),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        database = os.path.join(work, "compile_commands.json")
        for name, build_type, stated, entries, code, text in CASES:
            with open(database, "w", encoding="utf-8") as file:
                json.dump(entries, file)
            run = subprocess.run([sys.executable, "-B", CHECK, database, "/repo/src", build_type,
                                  stated], capture_output=True, text=True, cwd=work)
            said = run.stdout + run.stderr
            if run.returncode != code or text not in said:
                failures += 1
                print(f"FAIL {name}: exit {run.returncode} (wanted {code}), said:\n{said}")
            else:
                print(f"ok   {name}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
