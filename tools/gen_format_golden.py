#!/usr/bin/python3
"""Golden data for FormatNumber: random values, widths and decimals written by Python's own
fixed-point formatter, with the fit rule of FormatNumber (log10 taken as ln / 2.302585, the
asterisk field at most 23 wide).

Each line: "width decimals repr(x)|text|". Values close below a power of ten, where the 7-digit
divisor decides the fit, and exact decimal halves, where any correct rounding is acceptable, are
left out.

Usage: gen_format_golden.py [output]   (default tests/core/data/format_golden.txt)
"""
import math
import os
import random
import sys
from fractions import Fraction

COUNT = 3000


def fits(width, decimals, x):
    if x == 0:
        return True
    lg = math.log(abs(x)) / 2.302585
    if x > 0:
        return lg <= width - decimals - 1
    return lg <= width - decimals - 2


def near_power_of_ten(x):
    a = abs(x)
    k = round(math.log10(a))
    p = 10.0 ** k
    return p * (1 - 1e-5) <= a <= p * (1 + 1e-9)


def exact_half(x, decimals):
    return (Fraction(x) * 10 ** decimals).denominator == 2


def random_value(rng):
    kind = rng.random()
    if kind < 0.1:
        x = float(rng.randint(-10 ** 9, 10 ** 9))      # integers
    elif kind < 0.2:
        x = rng.randint(-99999, 99999) / 100 + rng.choice([0, 1e-7, -1e-7])  # near the rounding digit
    else:
        x = rng.uniform(1, 10) * 10.0 ** rng.randint(-9, 15)
        if rng.random() < 0.5:
            x = -x
    return x


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "tests", "core", "data", "format_golden.txt")
    rng = random.Random(20240611)
    lines = []
    while len(lines) < COUNT:
        x = random_value(rng)
        width = rng.randint(1, 30)
        decimals = rng.randint(0, 9)
        if x == 0 or near_power_of_ten(x) or exact_half(x, decimals):
            continue
        if fits(width, decimals, x):
            text = f"{x:{width}.{decimals}f}"
        else:
            text = "*" * min(width, 23)
        lines.append(f"{width} {decimals} {x!r}|{text}|")
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
