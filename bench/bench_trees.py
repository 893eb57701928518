#!/usr/bin/env python3
"""Generates the whole-scan benchmark's trees from a fixed seed.

    bench/bench_trees.py ROOT [--seed N] [--scale F]

ROOT/S   Tree S: 20,000 files over 2,000 folders, about 1 GiB: binaries from a
         few KiB to several MiB, multi-line texts, one-line texts with and
         without separators, a few empty and one-byte files.
ROOT/L   Tree L: one folder per very large file: a 100 MiB one-line
         keyboard-only text holding slashes, a 1 GiB binary, a 3 GiB sparse
         file.

--scale shrinks every count and size (0.01 gives a tree for quick trials).
A tree is reused when its stamp (ROOT/S.json, ROOT/L.json) records the same
seed, scale and generator version; the stamp also lists the files of Tree S
that the keyboard rule flags, as the generator meant them, for the
cross-check. Python standard library only."""

import argparse
import json
import math
import os
import random
import shutil
import sys
from pathlib import Path

GENERATOR_VERSION = 1

from escaner_tools.keyboard_rule import KEYBOARD_BYTES, KEYBOARD_TABLE, is_flagged

# The 117 byte values of the keyboard set, in ascending order.
KEYBOARD = bytes(sorted(KEYBOARD_BYTES))

WORDS = ("el la de que y en un una los las por con para como pero datos fichero "
         "carpeta informe ventana sistema usuario programa tabla valor lista "
         "registro copia orden camión pequeño año región también según acción "
         "the of and to in is for on with file data value list item copy "
         "Madrid Sevilla Bilbao Valencia 2024 17 3.5 100% (nota) [ver] {x} "
         "#7 @home ~tmp a=b c:d 'cita' \"otra\" ¿qué? ¡sí! ñandú Úbeda").split()
PATHS = ("C:\\Windows\\System32", "C:\\Archivos de programa\\Velmar",
         "D:\\datos\\2024\\informe.xls", "\\\\servidor\\compartido\\copia",
         "/usr/local/bin", "http://ejemplo.es/a/b", "..\\config\\app.ini",
         "./run.sh", "E:/fotos/verano", "%APPDATA%\\Escaner")

BINARY_HEADERS = (b"MZ\x90\x00\x03\x00\x00\x00", b"\x89PNG\r\n\x1a\n", b"PK\x03\x04\x14\x00",
                  b"%PDF-1.4\n%\xe2\xe3", b"\x7fELF\x01\x01\x01", b"\xff\xd8\xff\xe0\x00\x10JFIF",
                  b"GIF89a\x01\x00", b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", b"Rar!\x1a\x07\x00",
                  b"\x1f\x8b\x08\x00")


def encode(text: str) -> bytes:
    return text.encode("cp1252")


class Content:
    """Deterministic file contents from one seeded generator."""

    def __init__(self, rng: random.Random):
        self.rng = rng
        # Binaries are cut from one random pool: their bytes only need to look
        # like a binary's, and a pool keeps a 1 GiB tree quick to write.
        self.pool = rng.randbytes(16 << 20)

    def binary(self, size: int) -> bytes:
        header = self.rng.choice(BINARY_HEADERS)
        start = self.rng.randrange(0, len(self.pool) - (1 << 20))
        body = bytearray(header)
        while len(body) < size:
            take = min(size - len(body), len(self.pool) - start)
            body += self.pool[start:start + take]
            start = 0
        return bytes(body[:size])

    def words(self, size: int, separators: bool) -> bytes:
        """One line of keyboard characters, exactly `size` bytes."""
        parts, length = [], 0
        while length < size:
            if separators and self.rng.random() < 0.15:
                piece = self.rng.choice(PATHS)
            else:
                piece = self.rng.choice(WORDS)
            if not separators:
                piece = piece.replace("/", "").replace("\\", "") or "x"
            parts.append(piece)
            length += len(encode(piece)) + 1
        line = encode(" ".join(parts))[:size]
        if separators and b"\\" not in line and b"/" not in line:
            line = line[:-1] + self.rng.choice([b"\\", b"/"])
        return line

    def multiline(self, size: int) -> bytes:
        end = self.rng.choice([b"\r\n", b"\n"])
        lines, length = [], 0
        while length < size:
            line = self.words(self.rng.randint(8, 90), separators=self.rng.random() < 0.3)
            if self.rng.random() < 0.1:
                line = b"\t" + line
            lines.append(line)
            length += len(line) + len(end)
        body = end.join(lines) + end
        return body[:max(size, len(lines[0]) + len(end))]

    def one_line_stopped(self, size: int) -> bytes:
        """A one-line text with a byte outside the set late in it: a line
        end, a less-than sign, a TAB or a letter the set lacks."""
        stopper = self.rng.choice([b"\r\n", b"\n", b"<", b"\t", b"\xe4", b"\xe8"])
        size = max(size, len(stopper) + 2)
        return self.words(size - len(stopper), separators=True) + stopper


def lognormal_size(rng, median, sigma, low, high):
    return int(min(high, max(low, rng.lognormvariate(math.log(median), sigma))))


def plan_tree_s(rng: random.Random, scale: float):
    """Folders and (relative path, kind, size) of every file of Tree S."""
    folder_count = max(4, round(2000 * scale))
    file_count = max(20, round(20000 * scale))
    folders, parents = [""], [""]
    while len(folders) < folder_count:
        # A random tree no deeper than six levels, as user folders go.
        parent = rng.choice(parents)
        folder = f"{parent}/d{len(folders):04d}".lstrip("/")
        folders.append(folder)
        if folder.count("/") < 5:
            parents.append(folder)
    kinds = (["binary"] * 40 + ["multiline"] * 44 + ["flagged"] * 8 + ["keyboard_no_sep"] * 3 +
             ["stopped"] * 4 + ["tiny"] * 1)
    files = []
    for n in range(file_count):
        kind = rng.choice(kinds)
        if kind == "binary":
            size = lognormal_size(rng, 24 << 10, 1.8, 2 << 10, 8 << 20)
            ext = rng.choice(["exe", "dll", "png", "zip", "pdf", "jpg", "gif", "doc", "rar", "gz"])
        elif kind == "multiline":
            size = lognormal_size(rng, 4 << 10, 1.2, 100, 512 << 10)
            ext = rng.choice(["txt", "log", "csv", "ini", "html", "c", "md"])
        elif kind == "flagged":
            # Mostly short one-liners; a few long ones, like minified data.
            big = rng.random() < 0.01
            size = rng.randint(100 << 10, 1 << 20) if big else lognormal_size(rng, 300, 1.2, 2, 8 << 10)
            ext = rng.choice(["txt", "url", "lnk", "cfg", "dat"])
        elif kind == "keyboard_no_sep":
            size = lognormal_size(rng, 300, 1.2, 2, 8 << 10)
            ext = rng.choice(["txt", "cfg", "dat"])
        elif kind == "stopped":
            size = lognormal_size(rng, 300, 1.2, 4, 8 << 10)
            ext = rng.choice(["txt", "bat", "cfg"])
        else:
            size = rng.choice([0, 1])
            ext = "txt"
        folder = folders[rng.randrange(folder_count)]
        name = f"f{n:05d}.{ext}"
        files.append(((folder + "/" + name).lstrip("/"), kind, size))
    # Scale the binaries so the tree holds about 1 GiB (times the scale).
    target = int((1 << 30) * scale)
    other = sum(size for _, kind, size in files if kind != "binary")
    binary = sum(size for _, kind, size in files if kind == "binary")
    factor = max(0.1, (target - other) / binary) if binary else 1
    files = [(path, kind, max(2 << 10, int(size * factor)) if kind == "binary" else size)
             for path, kind, size in files]
    return folders, files


def make_tree_s(root: Path, seed: int, scale: float):
    rng = random.Random(seed)
    folders, files = plan_tree_s(rng, scale)
    content = Content(rng)
    for folder in folders:
        (root / folder).mkdir(parents=True, exist_ok=True)
    flagged, total = [], 0
    for path, kind, size in files:
        if kind == "binary":
            data = content.binary(size)
        elif kind == "multiline":
            data = content.multiline(size)
        elif kind == "flagged":
            data = content.words(size, separators=True)
        elif kind == "keyboard_no_sep":
            data = content.words(size, separators=False)
        elif kind == "stopped":
            data = content.one_line_stopped(size)
        else:
            data = b"\\" * size  # a lone backslash is still too short
        # What each kind is meant to be, checked against the rule itself.
        if is_flagged(data) != (kind == "flagged"):
            raise AssertionError(f"{path}: {kind} content decides {is_flagged(data)}")
        if kind == "flagged":
            flagged.append(path)
        (root / path).write_bytes(data)
        total += len(data)
    return {"folders": len(folders), "files": len(files), "bytes": total,
            "flagged": sorted(flagged)}


def make_tree_l(root: Path, seed: int, scale: float):
    rng = random.Random(seed + 1)
    content = Content(rng)
    text_size = int((100 << 20) * scale)
    binary_size = int((1 << 30) * scale)
    sparse_size = int((3 << 30) * scale)
    for sub in ("text", "binary", "sparse"):
        (root / sub).mkdir(parents=True, exist_ok=True)
    # The text: 1 MiB of one-line keyboard characters with paths, repeated.
    block = content.words(1 << 20, separators=True)
    with open(root / "text" / "keyboard100m.txt", "wb") as out:
        written = 0
        while written < text_size:
            piece = block[:text_size - written]
            out.write(piece)
            written += len(piece)
    with open(root / "binary" / "binary1g.bin", "wb") as out:
        out.write(content.binary(min(binary_size, 16 << 20)))
        written = min(binary_size, 16 << 20)
        while written < binary_size:
            piece = content.pool[:binary_size - written]
            out.write(piece)
            written += len(piece)
    with open(root / "sparse" / "sparse3g.bin", "wb") as out:
        out.truncate(sparse_size)
    return {"files": {"text": "text/keyboard100m.txt", "binary": "binary/binary1g.bin",
                      "sparse": "sparse/sparse3g.bin"},
            "sizes": {"text": text_size, "binary": binary_size, "sparse": sparse_size},
            "flagged": ["text/keyboard100m.txt"] if text_size >= 2 else []}


def ensure(root: Path, name: str, seed: int, scale: float, maker):
    """The tree ROOT/name, made unless its stamp shows the same parameters."""
    stamp_path = root / f"{name}.json"
    wanted = {"generator": GENERATOR_VERSION, "seed": seed, "scale": scale}
    if stamp_path.exists():
        stamp = json.loads(stamp_path.read_text())
        if all(stamp.get(k) == v for k, v in wanted.items()) and (root / name).is_dir():
            return stamp
    tree = root / name
    if tree.exists():
        shutil.rmtree(tree)
    stamp_path.unlink(missing_ok=True)
    print(f"bench_trees: generating {tree} (seed {seed}, scale {scale})", file=sys.stderr)
    stamp = dict(wanted, **maker(tree, seed, scale))
    stamp_path.write_text(json.dumps(stamp, indent=1))
    return stamp


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", type=Path)
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--scale", type=float, default=1.0)
    args = parser.parse_args()
    args.root.mkdir(parents=True, exist_ok=True)
    s = ensure(args.root, "S", args.seed, args.scale, make_tree_s)
    l_tree = ensure(args.root, "L", args.seed, args.scale, make_tree_l)
    print(json.dumps({"S": {k: v for k, v in s.items() if k != "flagged"},
                      "S_flagged": len(s["flagged"]), "L": l_tree["sizes"]}))


if __name__ == "__main__":
    main()
