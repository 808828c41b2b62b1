#!/usr/bin/env python3
"""Golden two-theta axes from numpy.arange: an angular spectrum of channels first..last whose
first channel lies at x0 degrees and whose channels are step degrees apart.

Each case line: "case first last x0 step"; then "ch x" lines for a sample of its channels.

Usage: gen_two_theta_axis_golden.py [output file]   (default tests/crystal/data/two_theta_axis.txt)
"""
import os
import sys

import numpy

CASES = [  # first, last, x0 (deg), step (deg)
    (1, 16384, 10.0, 0.05),
    (101, 3100, 4.987, 0.0123),
    (5, 2000, 150.0, -0.07),
]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "crystal", "data", "two_theta_axis.txt")
    with open(out, "w", newline="\n") as f:
        f.write("# two-theta axes by numpy.arange\n")
        for first, last, x0, step in CASES:
            n = last - first + 1
            x = numpy.arange(x0, x0 + (n - 0.5) * step, step)
            assert len(x) == n
            f.write("case %d %d %r %r\n" % (first, last, x0, step))
            for ch in sorted({first, first + 1, first + n // 3, first + n // 2, last - 1, last}):
                f.write("%d %r\n" % (ch, float(x[ch - first])))


if __name__ == "__main__":
    main()
