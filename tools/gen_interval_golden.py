#!/usr/bin/env python3
"""Golden values of the interval sum, the time-of-flight constant and the CF/BK list reading,
computed with numpy and scipy.constants, not with the program's formulas.

Interval sum over channels a..b (typed values rounded, held to the loaded channels, ordered):
L and R are the mean counts of the three channels from a and from b that exist; the background
under each channel is min(count, the line through (a, L) and (b, R)); the area is the count sum
less the background; its error the root of the sum of squared errors; the centre the
count-weighted mean channel, with the error sqrt(sum ch^2 y) / area.

The spectrum lies at the very end of the channel arrays (the last channel is 32768), so intervals
that end on the last channel exercise the end averages.

The CF/BK list: a header line, then lines of 16 numbers with CR LF ends; abscissa and count are
numpy.loadtxt(usecols=(0, 13), skiprows=1), the error sqrt(|count| + 1).

Usage: gen_interval_golden.py [output file]   (default tests/mainwin/data/interval_golden.txt;
the CF/BK list is written as cfbk_list.sp beside it)
"""
import os
import sys

import numpy as np
from scipy import constants

FIRST, LAST = 32469, 32768
INTERVALS = [  # typed beginning and end
    (32560, 32640),
    (32640, 32560),
    (32700, 32768),
    (32750, 40000),
    (32767, 32768),
    (100, 32480),
    (32600, 32600),
]


def spectrum():
    ch = np.arange(FIRST, LAST + 1, dtype=float)
    x = ch - FIRST
    # A peak over a sloping background with a ripple, so the end averages differ from the ends.
    y = 5000.0 * np.exp(-0.5 * ((x - 150.3) / 4.0) ** 2) + 400.0 - 0.9 * x + 37.0 * np.sin(0.7 * x)
    y = np.rint(y)
    e = np.sqrt(y + 1.0) * (1.0 + 0.1 * np.cos(0.3 * x))
    return ch, y, e


def interval_sum(ch, y, e, first, last):
    a = int(round(min(max(first, FIRST), LAST)))
    b = int(round(min(max(last, FIRST), LAST)))
    a, b = min(a, b), max(a, b)
    ia, ib = a - FIRST, b - FIRST
    left = y[ia:ia + 3].mean()  # a slice stops at the last channel
    right = y[ib:ib + 3].mean()
    slope = (right - left) / max(b - a, 1)
    c, yy, ee = ch[ia:ib + 1], y[ia:ib + 1], e[ia:ib + 1]
    line = left + (c - a) * slope
    area = yy.sum()
    background = np.minimum(yy, line).sum()
    err = np.sqrt((ee ** 2).sum())
    centre = (c * yy).sum() / max(1.0, area)
    centre_err = np.sqrt(abs((c ** 2 * yy).sum())) / max(1.0, area)
    return a, b, area - background, err, centre, centre_err, background


def cfbk_rows():
    rows = []
    for i in range(40):
        v = 2475.0 + 2525.0 * np.sin(1.3 * i + 0.77 * np.arange(16.0))
        v[0] = 1000.0 + 12.5 * i  # the abscissa
        v[13] = -3.0 if i == 7 else np.rint(v[13])
        rows.append(v)
    return rows


def write_cfbk(path):
    with open(path, "wb") as f:
        f.write(b"CF/BK list  t  n1 .. n15\r\n")
        for i, v in enumerate(cfbk_rows()):
            items = [("%.6E" % x) if (i + k) % 5 == 0 else ("%.4f" % x) for k, x in enumerate(v)]
            f.write(("  ".join(items) + "\r\n").encode())


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "mainwin", "data",
                                                            "interval_golden.txt")
    cfbk = os.path.join(os.path.dirname(os.path.abspath(out)), "cfbk_list.sp")
    write_cfbk(cfbk)
    ch, y, e = spectrum()
    lines = ["# point channel count error",
             "# sum typed_first typed_last a b area err centre centre_err background",
             "# tof_constant 2 m_n / h in microseconds / (m * angstrom)",
             "# cfbk n abscissa count error"]
    for c, yy, ee in zip(ch, y, e):
        lines.append("point %d %.1f %.17g" % (c, yy, ee))
    for first, last in INTERVALS:
        a, b, area, err, centre, cerr, bg = interval_sum(ch, y, e, first, last)
        lines.append("sum %d %d %d %d %.6f %.6f %.6f %.6f %.6f" % (first, last, a, b, area, err, centre, cerr, bg))
    lines.append("tof_constant %.9f" % (2.0 * constants.m_n / constants.h * 1e-10 * 1e6))
    data = np.loadtxt(cfbk, usecols=(0, 13), skiprows=1)
    for n, (x, count) in enumerate(data, start=1):
        lines.append("cfbk %d %.10g %.10g %.10g" % (n, x, count, np.sqrt(abs(count) + 1.0)))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
