#!/usr/bin/python3
"""Golden data for the (w:d) fields of the INI writer: values that hold at most d decimals,
written by Python's fixed-point formatter right-aligned in w (wider when they need the room).

Each line: "width decimals repr(x)|text|".

Usage: gen_ini_fields_golden.py [output]   (default tests/ini/data/ini_fields_golden.txt)
"""
import os
import random
import sys

# The (w:d) fields of the writer's sections.
FIELDS = [(10, 5), (8, 2), (7, 1), (9, 3), (7, 3), (7, 4), (7, 2), (8, 5), (10, 3), (8, 4),
          (14, 5), (12, 4), (10, 6), (15, 10), (15, 2), (10, 4), (9, 4), (10, 1), (15, 7), (11, 5)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "ini", "data",
                                                              "ini_fields_golden.txt")
    rng = random.Random(20261207)
    lines = []
    for width, decimals in FIELDS:
        for _ in range(30):
            # Up to two digits more than the field holds before the point: some overflow it.
            digits = rng.randint(0, max(width - decimals, 1) + 1)
            k = rng.randint(-10 ** digits, 10 ** digits) * 10 ** decimals + rng.randint(0, 10 ** decimals - 1)
            x = k / 10 ** decimals
            lines.append(f"{width} {decimals} {x!r}|{x:{width}.{decimals}f}|")
    with open(out, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
