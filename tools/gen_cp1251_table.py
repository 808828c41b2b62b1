#!/usr/bin/env python3
"""Writes the code page 1251 decoding of bytes 128..255 as "byte codepoint" lines (hex), from
Python's own codec, for the display-text test."""
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "tests/core/data/cp1251.txt"
with open(out, "w", newline="\n") as f:
    for b in range(128, 256):
        ch = bytes([b]).decode("cp1251", errors="replace")
        f.write(f"{b:02X} {ord(ch):04X}\n")
