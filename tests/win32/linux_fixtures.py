"""Fixture trees for the Win32 tests that only the Linux side can make: names
Windows programs cannot create through the ordinary path rules (a trailing
dot or blank, device names), names outside the ANSI code page, directory
symbolic links (Wine's CreateSymbolicLinkW answers success and makes none),
and a tree deeper than one Linux call's path can reach.

Run by ctest before the Wine tests (FIXTURES_SETUP); the tests find the
trees through ESCANER_LINUX_FIXTURES, the Windows path of OUTDIR under Wine's
Z: drive (the Unix root). Python standard library only.

    linux_fixtures.py OUTDIR

Each file holds a text of its own (a one-line path, so the scan flags it),
so a test can tell from what it reads which file the platform opened."""

import os
import shutil
import sys
from pathlib import Path

# name -> content. Each look-alike stands beside the name Wine's ANSI listing
# turns it into; each name the path rules re-read beside the file they would
# open instead.
NAMES = {
    "\u0100b.txt": b"Z:\\macron-A",          # Ā: best fit "Ab.txt"
    "Ab.txt": b"Z:\\plain-Ab",
    "\uff46ull.txt": b"Z:\\fullwidth-f",      # ｆ: best fit "full.txt"
    "full.txt": b"Z:\\plain-full",
    "\u01fa.txt": b"Z:\\A-ring-acute",       # Ǻ: not in the code page at all
    "\u0414\u0430\u0442\u0430/dentro.txt": b"Z:\\cyrillic-folder",  # Дата
    "\uff41/fuera.txt": b"Z:\\fullwidth-a-folder",   # ａ: best fit "a"
    "a/fuera.txt": b"Z:\\plain-a-folder",
    "x.txt.": b"Z:\\trailing-dot",           # the path rules drop the dot
    "x.txt": b"Z:\\plain-x",
    "y ": b"Z:\\trailing-blank",             # ... and the blank
    "y": b"Z:\\plain-y",
    "NUL": b"Z:\\named-NUL",                 # the NUL device
    "aux.txt": b"Z:\\named-aux",             # the AUX device, whose read blocks
    "caf\u00e9.txt": b"Z:\\cafe-acute",      # in the code page: exact bytes
}

DEEP_LEVELS = 150
DEEP_NAME = "nivel-profundo-{:03}"  # 18 characters and a backslash a level


def write(path: Path, content: bytes):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)


def names_tree(root: Path):
    for rel, content in NAMES.items():
        write(root / rel, content)


def cycle_tree(root: Path):
    """Two links back up: sub/enlace -> .. and sub/hondo/arriba -> ../..,
    both leading to the tree's own top. Three real files."""
    write(root / "arriba.txt", b"Z:\\top")
    write(root / "sub" / "medio.txt", b"Z:\\middle")
    write(root / "sub" / "hondo" / "fondo.txt", b"Z:\\bottom")
    os.symlink("..", root / "sub" / "enlace", target_is_directory=True)
    os.symlink("../..", root / "sub" / "hondo" / "arriba", target_is_directory=True)


def links_tree(root: Path):
    """Directory links that lead elsewhere, not back up: dentro/a-hermana ->
    ../hermana (a sibling inside the tree) and afuera -> ../links-fuera (a
    folder out of it, beside the tree). Two real files in the tree, one out
    of it."""
    write(root / "hermana" / "hermana.txt", b"Z:\\sibling")
    write(root / "dentro" / "dentro.txt", b"Z:\\inside")
    write(root.parent / "links-fuera" / "fuera.txt", b"Z:\\outside")
    os.symlink("../hermana", root / "dentro" / "a-hermana", target_is_directory=True)
    os.symlink("../links-fuera", root / "afuera", target_is_directory=True)


def identity_tree(root: Path):
    """real/ and a link to it beside it, and two plain siblings."""
    (root / "real" / "inner").mkdir(parents=True)
    (root / "hermana").mkdir()
    (root / "hermano").mkdir()
    os.symlink("real", root / "via", target_is_directory=True)


def special_tree(root: Path):
    """A FIFO, which Wine lists as a plain file: opening it must not wait for
    a writer, and reading it must not be tried."""
    root.mkdir()
    os.mkfifo(root / "tuberia")
    write(root / "normal.txt", b"Z:\\normal")


def deep_tree(root: Path):
    """DEEP_LEVELS nested folders, a file at the bottom and one halfway.
    Built folder by folder from an open handle on the one above, so no
    single call's path grows with the depth."""
    root.mkdir()
    parent = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for level in range(DEEP_LEVELS):
            name = DEEP_NAME.format(level)
            os.mkdir(name, dir_fd=parent)
            child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=parent)
            os.close(parent)
            parent = child
            if level in (DEEP_LEVELS // 2, DEEP_LEVELS - 1):
                file = os.open("hoja.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=parent)
                os.write(file, b"Z:\\deep-%03d" % level)
                os.close(file)
    finally:
        os.close(parent)


def main():
    if len(sys.argv) != 2:
        print("usage: linux_fixtures.py OUTDIR", file=sys.stderr)
        return 2
    out = Path(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    names_tree(out / "names")
    cycle_tree(out / "cycle")
    links_tree(out / "links")
    identity_tree(out / "identity")
    special_tree(out / "special")
    deep_tree(out / "deep")
    return 0


if __name__ == "__main__":
    sys.exit(main())
