"""Wine paths and drives for the scripts that drive Escaner.exe under Wine
(the end-to-end suite, the whole-scan benchmark, the screenshots).

A Linux folder becomes a drive by a link in the prefix's dosdevices folder.
Wine's drive manager only knows the drives that exist when it starts, with
the first Wine program of the session, so a drive is mapped before any Wine
program runs. To show different trees on one drive later, map it to a link
of your own and turn that link (e2e_harness.Wine.point_drive).

As a module: windows_path, drive_path, map_drive, unmap_drive.
As a command (for shell scripts), inside scripts/with-wine.sh:
    wine_drives.py map LETTER FOLDER
    wine_drives.py unmap LETTER
Python standard library only."""

import os
import sys
from pathlib import Path


def windows_path(linux_path) -> str:
    """The Windows path of a Linux path: Wine's Z: drive is the Unix root."""
    return "Z:" + str(linux_path).replace("/", "\\")


def drive_path(letter: str, rel: str = "") -> str:
    """The Windows path of `rel` ('/'-separated) below the root of drive
    `letter`: drive_path("T", "S/a") is T:\\S\\a."""
    return f"{letter.upper()}:\\" + rel.replace("/", "\\")


def _dosdevice(letter: str, prefix=None) -> Path:
    prefix = Path(prefix or os.environ["WINEPREFIX"])
    return prefix / "dosdevices" / f"{letter.lower()}:"


def map_drive(letter: str, folder, prefix=None) -> Path:
    """Makes `folder` drive `letter` of the prefix (default: $WINEPREFIX),
    replacing what that drive was."""
    link = _dosdevice(letter, prefix)
    unmap_drive(letter, prefix)
    link.symlink_to(Path(folder), target_is_directory=True)
    return link


def unmap_drive(letter: str, prefix=None):
    link = _dosdevice(letter, prefix)
    if link.is_symlink() or link.exists():
        link.unlink()


def main(argv) -> int:
    if len(argv) == 3 and argv[0] == "map":
        map_drive(argv[1], Path(argv[2]).resolve())
        return 0
    if len(argv) == 2 and argv[0] == "unmap":
        unmap_drive(argv[1])
        return 0
    print("usage: wine_drives.py map LETTER FOLDER | unmap LETTER", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
