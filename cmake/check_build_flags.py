#!/usr/bin/env python3
"""Fails unless every product source was compiled with the stated flags.

usage: check_build_flags.py COMPILE_COMMANDS PRODUCT_DIR BUILD_TYPE STATED_FLAGS

The product's sources are the database's files under PRODUCT_DIR. Each must
have been compiled with every stated flag, its last -O (the one the compiler
obeys) being the stated one; in any build type but Debug none may be left
unoptimized, whatever the statement says.
"""
import json
import os
import shlex
import sys


def optimization(arguments):
    """The level the compiler obeys: the last -O flag, -O0 when none."""
    level = "-O0"
    for argument in arguments:
        if argument.startswith("-O"):
            level = "-O1" if argument == "-O" else argument
    return level


def problems(entries, product_dir, build_type, stated):
    """One line for each way a product source departs from the statement."""
    product_dir = os.path.normpath(product_dir) + os.sep
    stated_level = optimization(stated)
    found, checked = [], 0
    for entry in entries:
        path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        if not path.startswith(product_dir):
            continue
        checked += 1
        name = os.path.relpath(path, os.path.dirname(os.path.dirname(product_dir)))
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        level = optimization(arguments)
        missing = [flag for flag in stated if flag not in arguments]
        if missing:
            found.append(f"{name}: compiled without {' '.join(missing)}")
        if level != stated_level:
            found.append(f"{name}: compiled with {level}, stated {stated_level}")
        if build_type != "Debug" and level == "-O0":
            found.append(f"{name}: unoptimized in a {build_type} build")
    if checked == 0:
        found.append(f"no source under {product_dir} in the compile database")
    return found


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    database, product_dir, build_type, stated = argv[1:]
    with open(database, encoding="utf-8") as file:
        entries = json.load(file)
    found = problems(entries, product_dir, build_type, stated.split())
    for line in found:
        print(line, file=sys.stderr)
    if found:
        print(f"{len(found)} problem(s) in {database}: the exe is not built as "
              "cmake/build_flags.cmake states", file=sys.stderr)
        return 1
    print(f"{build_type}: every product source compiled with {stated}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
