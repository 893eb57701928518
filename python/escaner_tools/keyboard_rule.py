"""The flagging rule, written from its description alone, to check the
program's decisions against: a file is flagged exactly when it has at least
two bytes, every byte is a keyboard character, and at least one byte is a
backslash or a slash. Shared by the end-to-end cases and the benchmark's
tree generator."""

# 0x20-0x7E without '<' (0x3C), and 23 Windows-1252 letters and signs.
KEYBOARD_BYTES = frozenset(b for b in range(0x20, 0x7F) if b != 0x3C) | frozenset(
    bytes.fromhex("A1 A8 AA B4 B7 BA BF C1 C7 C9 CD D1 D3 DA DC E1 E7 E9 ED F1 F3 FA FC"))
SEPARATORS = frozenset(b"\\/")

assert len(KEYBOARD_BYTES) == 117

# 1 for a keyboard byte, 0 for any other: bytes.translate with it classes a
# large content at C speed.
KEYBOARD_TABLE = bytes(1 if b in KEYBOARD_BYTES else 0 for b in range(256))


def is_flagged(content: bytes) -> bool:
    return (len(content) >= 2
            and 0 not in content.translate(KEYBOARD_TABLE)
            and any(bytes([s]) in content for s in SEPARATORS))
