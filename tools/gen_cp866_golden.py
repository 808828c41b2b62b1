#!/usr/bin/python3
"""Golden data for the help texts' code pages: for every Cyrillic capital and small letter
(Yo excepted, which the program does not convert) its code page 866 byte, its code page 1251
byte and its code point, in hex, from Python's own codecs.

Usage: gen_cp866_golden.py [output]   (default tests/core/data/cp866_cyrillic.txt)
"""
import os
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "tests", "core", "data", "cp866_cyrillic.txt")
with open(out, "w", newline="\n") as f:
    for cp in range(0x0410, 0x0450):
        ch = chr(cp)
        f.write(f"{ch.encode('cp866')[0]:02X} {ch.encode('cp1251')[0]:02X} {cp:04X}\n")
