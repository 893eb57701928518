"""End-to-end cases: the real Escaner.exe under Wine, driven as a user would
drive it, with what the user sees and what lands on disk checked byte for byte.

Usage (inside scripts/with-wine.sh): e2e_cases.py BUILD_DIR [CASE_NAME ...]
Exits non-zero when any case fails. Each run's events and any screenshot of a
hung run are kept in BUILD_DIR/e2e-results/."""

import os
import random
import sys
from pathlib import Path

from e2e_harness import (APOLOGY, CRLF, REPORT, TITLE, Check, Suite, Tree, case,
                         check_nothing_else_started, check_not_hung, check_scan_session,
                         check_strip, fresh_app, opened_programs, report_bytes, run_cases,
                         windows_path)
from escaner_tools.keyboard_rule import KEYBOARD_BYTES, is_flagged

# Each row: relative path, content, DOS attributes to set through Wine.
MIXED_FILES = [
    ("ruta.txt", b"C:\\Windows\\system32", ""),
    ("linea.txt", b"C:\\Windows\r\n", ""),
    ("varias.txt", b"cd /tmp\r\nls /\r\n", ""),
    ("sin_separador.txt", b"hola mundo", ""),
    ("dos.txt", b"a/", ""),
    ("uno.txt", b"\\", ""),
    ("vacio.txt", b"", ""),
    ("menor.txt", b"a<b/c", ""),
    ("mayor.txt", b"a>b/c", ""),
    ("programa.exe", b"MZ\x90\x00\x03\x00/\\" + bytes(range(256)), ""),
    ("acentos.txt", "ÜüÁÉÍÓÚáéíóúñÑ¿¡ª º´¨·çÇ/".encode("cp1252"), ""),
    ("diéresis.txt", "ä/ö".encode("cp1252"), ""),
    ("sinextension", b"x/y", ""),
    ("con espacio.txt", b"a\\b", ""),
    ("año/ñandú.txt", "c:/ñ".encode("cp1252"), ""),
    ("€uro.txt", b"e/u", ""),
    ("жук.txt", b"a/b", ""),
    ("oculto.txt", b"h/1", "+h"),
    ("sistema.txt", b"s/1", "+s"),
    ("solo_lectura.txt", b"r/1", "+r"),
    (".git/HEAD", b"ref: refs/heads/main", ""),
    (".git/config", b"[core]\n\tbare = false\n", ""),
    (".git/objects/ab/cdef01", b"x\x01\x2b\x49\xca\xcf\x4f", ""),
    ("/".join(["nivel"] * 12) + "/medio.txt", b"m/1", ""),
    ("/".join(["nivel"] * 24) + "/fondo.txt", b"f\\1", ""),
    # Its only separator is its last byte: flagged only when read whole.
    ("grande.txt", b"abcdefghij" * 30000 + b"/", ""),
]


@case
def mixed_tree(suite: Suite, check: Check):
    folder = suite.case_dir("mixed_tree")
    tree = Tree(folder / "drive" / "Datos", b"T:\\Datos\\")
    for rel, content, attributes in MIXED_FILES:
        path = tree.file(rel, content)
        if attributes:
            bits = {"+r": 0x1, "+h": 0x2, "+s": 0x4}[attributes]
            if not suite.wine.set_attributes(path, attributes) & bits:
                raise RuntimeError(f"Wine did not keep {attributes} on {rel}")
    tree.folder("vacia")
    tree.folder("vacia2/sub")
    # Enough small keyboard-only files to keep the strip up while the driver
    # samples it: the scan costs well under a millisecond a file.
    rng = random.Random(1001)
    letters = bytes(sorted(KEYBOARD_BYTES))
    for i in range(4000):
        text = bytes(rng.choice(letters) for _ in range(rng.randint(2, 14)))
        tree.file(f"relleno/r{i:04}.txt", text + (b"/" if i % 3 == 0 else b""))

    order, contents = suite.expected_walk(tree)
    flagged = suite.flagged_in_order(order, contents)
    # Wine marks dot-names hidden: .git shows that hidden folders are entered.
    git = [a for a, name in tree.listings[tree.narrow_root][1] if name == b".git"]
    if git != [0x12]:
        raise RuntimeError(f".git listed with attributes {git}, expected a hidden folder")
    app = fresh_app(folder, suite.wine.escaner_exe)
    run = suite.wine.run("mixed_tree", app, choose="T:\\Datos", timeout=120)

    check_scan_session(check, run, len(order), len(flagged), opened_report=True)
    check.report(app, report_bytes(flagged))
    check_strip(check, run)
    # The rows the tree is built to show, looked up in the report itself.
    report = (app / REPORT).read_bytes().split(CRLF) if (app / REPORT).exists() else []
    for rel, want in [("ruta.txt", True), ("linea.txt", False), ("varias.txt", False),
                      ("dos.txt", True), ("uno.txt", False), ("vacio.txt", False),
                      ("menor.txt", False), ("mayor.txt", True), ("programa.exe", False),
                      ("acentos.txt", True), ("diéresis.txt", False), ("sinextension", True),
                      ("año/ñandú.txt", True), ("€uro.txt", True), ("жук.txt", True), ("grande.txt", True),
                      ("oculto.txt", True), ("sistema.txt", True), ("solo_lectura.txt", True),
                      (".git/HEAD", True), (".git/config", False), (MIXED_FILES[-1][0], True)]:
        check.equal(f"{rel} in the report", tree.narrow(rel) in report, want)


def generated_tree(tree: Tree, seed: int, files: int):
    """Random folders and contents of the kinds that decide the outcome."""
    rng = random.Random(seed)
    keyboard = bytes(sorted(KEYBOARD_BYTES))
    plain = bytes(sorted(KEYBOARD_BYTES - set(b"\\/")))
    outside = bytes(b for b in range(256) if b not in KEYBOARD_BYTES)
    folders = [""]
    for i in range(60):
        parent = rng.choice(folders)
        folders.append(f"{parent}d{i:02}/" if parent or i % 2 else f"d{i:02}/")

    def content():
        kind = rng.randrange(8)
        length = rng.randint(2, 16)
        if kind == 0:  # binary
            return bytes(rng.randrange(256) for _ in range(rng.randint(1, 48)))
        if kind == 1:  # keyboard text with a separator
            text = bytearray(rng.choice(plain) for _ in range(length))
            text[rng.randrange(length)] = rng.choice(b"\\/")
            return bytes(text)
        if kind == 2:  # keyboard text, no separator
            return bytes(rng.choice(plain) for _ in range(length))
        if kind == 3:  # keyboard text with a separator and one byte outside
            text = bytearray(rng.choice(keyboard) for _ in range(length))
            text[rng.randrange(length)] = rng.choice(b"\\/")
            text[rng.randrange(length)] = rng.choice(outside)
            return bytes(text)
        if kind == 4:  # a line of keyboard text and its line end
            return bytes(rng.choice(keyboard) for _ in range(length)) + b"\r\n"
        if kind == 5:  # zero or one byte
            return bytes(rng.choice(b"\\/a") for _ in range(rng.randint(0, 1)))
        return bytes(rng.choice(keyboard) for _ in range(length))

    for i in range(files):
        tree.file(f"{rng.choice(folders)}f{i:04}.dat", content())


@case
def decisions_match_rule(suite: Suite, check: Check):
    folder = suite.case_dir("decisions_match_rule")
    tree = Tree(folder / "drive" / "gen", b"T:\\gen\\")
    generated_tree(tree, seed=20240611, files=2000)
    expected = {tree.narrow(rel) for rel, content in tree.files.items() if is_flagged(content)}
    app = fresh_app(folder, suite.wine.escaner_exe)
    run = suite.wine.run("decisions_match_rule", app, choose="T:\\gen", timeout=240)

    check_scan_session(check, run, len(tree.files), len(expected), opened_report=True)
    report = (app / REPORT).read_bytes() if (app / REPORT).exists() else b""
    lines = report.split(b"\r\n")
    check.equal("report ends with a line end", lines[-1], b"")
    got = lines[:-1]
    check.equal("paths reported twice", len(got) - len(set(got)), 0)
    check.equal("flagged but not by the rule", sorted(set(got) - expected)[:10], [])
    check.equal("flagged by the rule but not reported", sorted(expected - set(got))[:10], [])


@case
def cancel_removes_old_report(suite: Suite, check: Check):
    folder = suite.case_dir("cancel_removes_old_report")
    app = fresh_app(folder, suite.wine.escaner_exe)
    (app / REPORT).write_bytes(b"T:\\viejo.txt\r\n")
    attributes = suite.wine.set_attributes(app / REPORT, "+r", "+h")
    check.equal("old report made read-only and hidden", attributes & 0x3, 0x3)
    run = suite.wine.run("cancel_removes_old_report", app, choose=None, timeout=60)

    if not check_not_hung(check, run):
        return
    check.equal("folder dialog actions", [d["action"] for d in run.all("folder_dialog")],
                ["cancel"])
    check.equal("message boxes shown", [(b["title"], b["text"]) for b in run.all("message_box")],
                [(TITLE, APOLOGY)])
    check.equal("strip windows", [w for w in run.all("window") if w["kind"] == "strip"], [])
    check.equal("programs started by an open request", opened_programs(run), [])
    check_nothing_else_started(check, run)
    check.report(app, None)
    check.equal("exit code", run.exit_code, 0)


@case
def tree_without_files(suite: Suite, check: Check):
    folder = suite.case_dir("tree_without_files")
    tree = Tree(folder / "drive" / "Vacio", b"T:\\Vacio\\")
    for rel in ["a/b/c", "d", ".oculta/e"]:
        tree.folder(rel)
    app = fresh_app(folder, suite.wine.escaner_exe)
    (app / REPORT).write_bytes(b"T:\\viejo.txt\r\n")
    run = suite.wine.run("tree_without_files", app, choose="T:\\Vacio", timeout=60, open_wait=3)

    check_scan_session(check, run, 0, 0, opened_report=False)
    check.report(app, None)


@case
def drive_root_from_other_directory(suite: Suite, check: Check):
    folder = suite.case_dir("drive_root_from_other_directory")
    tree = Tree(folder / "drive", b"T:\\")
    for rel, content in [("raiz.txt", b"r/t"), ("raiz.bin", b"\x00/"),
                         ("carpeta/dentro.txt", b"d\\e"), ("carpeta/otra/mas.txt", b"m/a/s")]:
        tree.file(rel, content)
    elsewhere = folder / "elsewhere"
    elsewhere.mkdir()
    order, contents = suite.expected_walk(tree)
    flagged = suite.flagged_in_order(order, contents)
    app = fresh_app(folder, suite.wine.escaner_exe)
    run = suite.wine.run("drive_root_from_other_directory", app, choose="T:\\",
                         cwd=windows_path(elsewhere), timeout=60)

    check_scan_session(check, run, len(order), len(flagged), opened_report=True)
    check.equal("flagged paths", flagged,
                [b"T:\\raiz.txt", b"T:\\carpeta\\dentro.txt", b"T:\\carpeta\\otra\\mas.txt"])
    check.report(app, report_bytes(flagged))
    check.equal("files written to the current directory", sorted(elsewhere.iterdir()), [])


COMMAND_LINES = [
    "/?",
    "-s T:\\ --verbose",
    '"T:\\otra carpeta" \\\\servidor\\recurso',
    "año %PATH% ^& | > salida.txt",
]


@case
def command_line_ignored(suite: Suite, check: Check):
    folder = suite.case_dir("command_line_ignored")
    tree = Tree(folder / "drive" / "Args", b"T:\\Args\\")
    for rel, content in [("a.txt", b"a/b"), ("b.txt", b"a\r\n"), ("c/d.txt", b"c\\d")]:
        tree.file(rel, content)
    order, contents = suite.expected_walk(tree)
    flagged = suite.flagged_in_order(order, contents)
    for i, args in enumerate(COMMAND_LINES):
        app = fresh_app(folder / f"run{i}", suite.wine.escaner_exe)
        run = suite.wine.run(f"command_line_ignored-{i}", app, choose="T:\\Args", args=args,
                             cwd=windows_path(app), timeout=60)
        sub = Check()
        check_scan_session(sub, run, len(order), len(flagged), opened_report=True)
        sub.report(app, report_bytes(flagged))
        check.failures += [f"arguments {args!r}: {f}" for f in sub.failures]
        check.that(f"no file made from the arguments ({args!r})",
                   sorted(p.name for p in app.iterdir()) == ["Escaner.exe", REPORT],
                   str(sorted(p.name for p in app.iterdir())))


@case
def refused_platform(suite: Suite, check: Check):
    folder = suite.case_dir("refused_platform")
    app = fresh_app(folder, suite.wine.escaner_exe)
    old = b"T:\\viejo.txt\r\n"
    (app / REPORT).write_bytes(old)
    before = (app / REPORT).stat().st_mtime_ns
    key = "HKCU\\Software\\Wine\\AppDefaults\\Escaner.exe"
    suite.wine.reg("add", key, "/v", "Version", "/d", "win98", "/f")
    try:
        run = suite.wine.run("refused_platform", app, choose=None, timeout=60, open_wait=3)
    finally:
        suite.wine.reg("delete", key, "/f")

    if not check_not_hung(check, run):
        return
    # No title is given, so the box shows the system's default, "Error".
    check.equal("message boxes shown", [(b["title"], b["text"]) for b in run.all("message_box")],
                [("Error", "Win98 No Support")])
    check.equal("folder dialogs", run.all("folder_dialog"), [])
    check.equal("strip windows", [w for w in run.all("window") if w["kind"] == "strip"], [])
    check.equal("programs started after the box", opened_programs(run), [])
    check_nothing_else_started(check, run)
    check.equal("exit code", run.exit_code, 255)
    check.equal("old report content", (app / REPORT).read_bytes(), old)
    check.equal("old report untouched", (app / REPORT).stat().st_mtime_ns, before)


# Each row: relative path, content. Every look-alike stands beside the name
# the ANSI listing turned it into, every name the path rules re-read beside
# the file they would open instead, and each of a pair is flagged or not
# unlike the other, so a file tested under another's name shows in the report.
OWN_NAMES = [
    ("\u0100b.txt", b"T:\\macron"),             # Ā: best fit "Ab.txt"
    ("Ab.txt", b"MZ\x90\x00/"),
    ("\uff46ull.txt", b"hola\r\n/"),            # ｆ: best fit "full.txt"
    ("full.txt", b"c:/full"),
    ("\u01fa.txt", b"a/b"),                      # Ǻ: "?.txt" in the ANSI listing
    ("\u0414\u0430\u0442\u0430/dentro.txt", b"d\\e"),  # Дата: "????", unlistable
    ("\uff41/fuera.txt", b"f/a"),                 # ａ: best fit "a"
    ("a/fuera.txt", b"f\x01a/"),
    ("x.txt.", b"x/dot"),                         # the path rules drop the dot
    ("x.txt", b"\x00x/"),
    ("y ", b"y\tblank/"),                         # ... and the blank
    ("y", b"y/plain"),
    ("NUL", b"n/u/l"),                            # devices without the \\?\ form
    ("aux.txt", b"a/u/x"),                        # AUX: its read blocks for ever
    ("CON", b"c/o/n"),
    ("com1.log", b"c/1"),
    ("lpt9", b"sin separador"),
]
OWN_NAMES_FLAGGED = [b"T:\\Nombres\\" + tail for tail in [
    b"?b.txt", b"full.txt", b"?.txt", b"????\\dentro.txt", b"?\\fuera.txt", b"x.txt.", b"y",
    b"NUL", b"aux.txt", b"CON", b"com1.log"]]


@case
def names_as_themselves(suite: Suite, check: Check):
    folder = suite.case_dir("names_as_themselves")
    tree = Tree(folder / "drive" / "Nombres", b"T:\\Nombres\\")
    for rel, content in OWN_NAMES:
        tree.file(rel, content)
    order, contents = suite.expected_walk(tree)
    flagged = suite.flagged_in_order(order, contents)
    check.equal("files listed", len(order), 17)
    check.equal("flagged paths", sorted(flagged), sorted(OWN_NAMES_FLAGGED))
    app = fresh_app(folder, suite.wine.escaner_exe)
    run = suite.wine.run("names_as_themselves", app, choose="T:\\Nombres", timeout=60)

    check_scan_session(check, run, 17, 11, opened_report=True)
    check.report(app, report_bytes(flagged))


DEEP_LEVELS = 150


@case
def deep_tree_150_levels(suite: Suite, check: Check):
    folder = suite.case_dir("deep_tree_150_levels")
    tree = Tree(folder / "drive" / "Hondo", b"T:\\Hondo\\")
    # Built folder by folder from an open handle on the one above: one Linux
    # call's path is limited to 4,096 bytes, the tree's paths are not.
    names = [f"nivel-profundo-{level:03}" for level in range(DEEP_LEVELS)]
    files = {DEEP_LEVELS // 2 - 1: [("medio.txt", b"m/1")],
             DEEP_LEVELS - 1: [("fondo.txt", b"f\\1"), ("binario.bin", b"\x00\x01/")]}
    parent = os.open(tree.root, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for level, name in enumerate(names):
            os.mkdir(name, dir_fd=parent)
            child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=parent)
            os.close(parent)
            parent = child
            for file_name, content in files.get(level, []):
                handle = os.open(file_name, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=parent)
                os.write(handle, content)
                os.close(handle)
                tree.files["/".join(names[:level + 1] + [file_name])] = content
    finally:
        os.close(parent)
    order, contents = suite.expected_walk(tree)
    flagged = suite.flagged_in_order(order, contents)
    middle = "/".join(names[:DEEP_LEVELS // 2] + ["medio.txt"])
    bottom = "/".join(names + ["fondo.txt"])
    check.equal("flagged paths", flagged, [tree.narrow(middle), tree.narrow(bottom)])
    check.that("the deepest path is past 2,400 characters", len(tree.narrow(bottom)) > 2400)
    app = fresh_app(folder, suite.wine.escaner_exe)
    run = suite.wine.run("deep_tree_150_levels", app, choose="T:\\Hondo", timeout=120)

    check_scan_session(check, run, 3, 2, opened_report=True)
    check.report(app, report_bytes(flagged))


@case
def link_cycle(suite: Suite, check: Check):
    folder = suite.case_dir("link_cycle")
    tree = Tree(folder / "drive" / "Ciclo", b"T:\\Ciclo\\")
    for rel, content in [("arriba.txt", b"a/1"), ("sub/medio.txt", b"m/2"),
                         ("sub/hondo/fondo.txt", b"f/3"), ("sub/hondo/texto.txt", b"sin barra")]:
        tree.file(rel, content)
    # Two links back up to the tree's top; under Wine they carry no usable
    # tag, and each lap through them would double the paths.
    os.symlink("..", tree.root / "sub" / "enlace", target_is_directory=True)
    os.symlink("../..", tree.root / "sub" / "hondo" / "arriba", target_is_directory=True)
    order, contents = suite.expected_walk(tree)
    flagged = suite.flagged_in_order(order, contents)
    check.equal("flagged paths", sorted(flagged),
                sorted([tree.narrow("arriba.txt"), tree.narrow("sub/medio.txt"),
                        tree.narrow("sub/hondo/fondo.txt")]))
    app = fresh_app(folder, suite.wine.escaner_exe)
    # The old walk was still going after 60 s; this one looks at each link once.
    run = suite.wine.run("link_cycle", app, choose="T:\\Ciclo", timeout=30)

    check_scan_session(check, run, 4, 3, opened_report=True)
    check.report(app, report_bytes(flagged))




if __name__ == "__main__":
    sys.exit(run_cases(sys.argv))
