#!/usr/bin/python3
"""Truth of the d-spacings that the EDS command forms from angles: gemmi d-spacings of the ZrO2
cell, observed angles by Bragg's law (lambda = 2 d sin theta) with a zero shift, written as the
command's abscissae.

Zero-shift convention: the calculated two-theta is the true two-theta minus the zero shift, so the
observed two-theta is 2 asin(lambda / 2d) - shift and an observed theta is half of it.

Usage: gen_eds_bragg.py [output]   (default tests/ini/data/eds_bragg.txt)
Rows: type lambda shift abscissa d   (type 2 two-theta, type 1 theta, degrees)
"""
import math
import sys

import gemmi
import numpy as np

OUT = sys.argv[1] if len(sys.argv) > 1 else "tests/ini/data/eds_bragg.txt"
CELL = gemmi.UnitCell(5.1505, 5.2116, 5.3173, 90.0, 99.23, 90.0)
rng = np.random.default_rng(36)
rows = []
while len(rows) < 40:
    hkl = [int(v) for v in rng.integers(-4, 5, size=3)]
    if hkl == [0, 0, 0]:
        continue
    d = CELL.calculate_d(hkl)
    lam = float(rng.uniform(0.5, 2.5))
    if lam / (2 * d) >= 0.98:
        continue
    shift = float(rng.uniform(-0.5, 0.5))
    two_theta = 2 * math.degrees(math.asin(lam / (2 * d))) - shift
    kind = 2 if len(rows) % 2 == 0 else 1
    x = two_theta if kind == 2 else two_theta / 2
    rows.append("%d %.12f %.12f %.12f %.12f" % (kind, lam, shift, x, d))
with open(OUT, "w") as f:
    f.write("# type lambda shift abscissa d (gemmi ZrO2 cell, Bragg's law)\n")
    f.write("\n".join(rows) + "\n")
