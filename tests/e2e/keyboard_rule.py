"""The flagging rule, written from its description alone, to check the
program's decisions against: a file is flagged exactly when it has at least
two bytes, every byte is a keyboard character, and at least one byte is a
backslash or a slash."""

# 0x20-0x7E without '<' (0x3C), and 23 Windows-1252 letters and signs.
KEYBOARD_BYTES = frozenset(b for b in range(0x20, 0x7F) if b != 0x3C) | frozenset(
    bytes.fromhex("A1 A8 AA B4 B7 BA BF C1 C7 C9 CD D1 D3 DA DC E1 E7 E9 ED F1 F3 FA FC"))
SEPARATORS = frozenset(b"\\/")

assert len(KEYBOARD_BYTES) == 117


def is_flagged(content: bytes) -> bool:
    return (len(content) >= 2
            and all(b in KEYBOARD_BYTES for b in content)
            and any(b in SEPARATORS for b in content))
