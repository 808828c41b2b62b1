#!/usr/bin/python3
"""Writes tests/ini/data/ini_keys.txt: generated INI titles and their keys by the reference rule
(the capitals A..Z of the title, in order, after blanks are removed). Titles mix the words of the
command titles with digits, punctuation, lower-case remarks and Cyrillic in CP866 and UTF-8.
Each line: the title's bytes in hex, a blank, the key ("-" for an empty key).

Usage: gen_ini_keys.py [out_file]
"""
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "tests", "ini", "data", "ini_keys.txt")

WORDS = ["Input", "the", "Spectrum", "Info", "about", "Set", "Mode", "Number", "of", "Phases", "Form", "HKLs",
         "Lattice", "Par", "Atomic", "Parameters", "STOP", "I S", "i s", "Zero", "Weights", "Real", "Model"]
CYRILLIC = "Ввод спектра Фазы"
PUNCT = ".,;:!?-+*/()[]{}#@$%^&_=~'\"0123456789\t"


def key(raw):
    return "".join(chr(b) for b in raw if ord("A") <= b <= ord("Z"))


def title(rng):
    parts = []
    if rng.random() < 0.5:
        parts.append("." * rng.randint(1, 9))
    for _ in range(rng.randint(1, 5)):
        r = rng.random()
        if r < 0.55:
            parts.append(rng.choice(WORDS))
        elif r < 0.7:
            parts.append("".join(rng.choice(PUNCT) for _ in range(rng.randint(1, 4))))
        elif r < 0.8:
            parts.append(rng.choice(["remark", "version 2", "ok", "see below"]))
        elif r < 0.9:
            parts.append(CYRILLIC.encode("cp866"))
        else:
            parts.append(CYRILLIC.encode("utf-8"))
    raw = b""
    for p in parts:
        raw += (p if isinstance(p, bytes) else p.encode("ascii")) + (b" " if rng.random() < 0.7 else b"")
    return raw.rstrip(b"\r\n")


def main():
    rng = random.Random(23)
    lines = ["# INI titles (hex) and their keys: the capitals A..Z in order"]
    for _ in range(300):
        raw = title(rng)
        lines.append(raw.hex() + " " + (key(raw) or "-"))
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
