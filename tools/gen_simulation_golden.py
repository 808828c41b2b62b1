#!/usr/bin/python3
"""Writes tests/spectrum/data/simulation_golden.txt: independent values for the spectrum
simulation tests.

Usage: gen_simulation_golden.py [output file]

Rows (blank-separated, "#" starts a comment line):
  chi2 N LOW HIGH          the two-sided 1e-3 acceptance interval of a chi-square of N degrees
                           of freedom (scipy.stats.chi2)
  noise C Y                counts of channel C of a flat model of 400 counts simulated with
                           errors from the seeds 12345 and 67890: 400 + sqrt(401) g, g the first
                           deviate of one polar-method pair per channel, the uniform deviates
                           replayed from L'Ecuyer's published combined recurrence
  sinus C VALUE            sum A_i sin(2 pi C / P_i) over the SINUS_PEAKS below (numpy)
  inv_d2 h k l Q           gemmi's 1/d^2 of the zinc oxide cell stepped by i = 2 along c (0.05 A a
                           step) and j = -3 along gamma (1 degree a step): 3.2495 3.2495 5.3069
                           90 90 117
  gauss WI WJ SUM          numpy's sum of 2 exp(-i^2/WI^2 - j^2/WJ^2) over i, j = -10..10
  cell NAME a b c al be ga the cell of the following d rows
  d NAME h k l D ISOLATED  gemmi's UnitCell.calculate_d for every index in the box below with D
                           in [DMIN, DMAX]; ISOLATED 1 when no other d of the cell lies within
                           0.0105 (such a reflection is never merged)
"""
import math
import os
import sys

try:
    import gemmi
    import numpy as np
    from scipy.stats import chi2
except ImportError as e:
    sys.exit("gen_simulation_golden.py needs python3-gemmi, python3-numpy and python3-scipy: %s" % e)

N_CHANNELS = 32768
SINUS_PEAKS = [(10.0, 50.0), (-3.5, 7.25), (2.0, 0.0)]  # (amplitude, period); period 0 adds nothing
CELLS = [("monoclinic", (5.1505, 5.2116, 5.3173, 90.0, 99.23, 90.0)),
         ("hexagonal", (3.2495, 3.2495, 5.2069, 90.0, 90.0, 120.0))]
DMIN, DMAX, BOX = 1.2, 6.0, 6


class LEcuyer:
    """The combined multiplicative generator, moduli 2147483563 and 2147483399."""

    def __init__(self, s1, s2):
        self.s1, self.s2 = s1, s2

    def uniform(self):
        self.s1 = 40014 * self.s1 % 2147483563
        self.s2 = 40692 * self.s2 % 2147483399
        z = self.s1 - self.s2
        if z < 1:
            z += 2147483562
        return z * 4.656613e-10

    def gauss(self):
        while True:
            u = 2.0 * self.uniform() - 1.0
            v = 2.0 * self.uniform() - 1.0
            r = u * u + v * v
            if 0.0 < r < 1.0:
                return u * math.sqrt(-2.0 * math.log(r) / r)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "spectrum", "data", "simulation_golden.txt")
    rows = ["# written by tools/gen_simulation_golden.py"]
    rows.append("chi2 %d %r %r" % (N_CHANNELS, chi2.ppf(5e-4, N_CHANNELS), chi2.ppf(1 - 5e-4, N_CHANNELS)))
    rng = LEcuyer(12345, 67890)
    for c in range(1, 9):
        rows.append("noise %d %r" % (c, 400.0 + math.sqrt(401.0) * rng.gauss()))
    for c in (1, 7, 100, 1001):
        v = sum(a * np.sin(6.283185307179586 * c / p) for a, p in SINUS_PEAKS if p != 0)
        rows.append("sinus %d %r" % (c, float(v)))
    i = np.arange(-10, 11)[:, None]
    j = np.arange(-10, 11)[None, :]
    for wi, wj in ((3.0, 2.0), (1.5, 4.0)):
        rows.append("gauss %r %r %r" % (wi, wj, float(np.sum(2 * np.exp(-i**2 / wi**2 - j**2 / wj**2)))))
    stepped = gemmi.UnitCell(3.2495, 3.2495, 5.2069 + 2 * 0.05, 90.0, 90.0, 120.0 - 3 * 1.0)
    for hkl in ([1, 0, 0], [1, 1, 0], [1, 0, 2], [2, -1, 3], [0, 0, 4]):
        rows.append("inv_d2 %d %d %d %r" % (*hkl, stepped.calculate_1_d2(hkl)))
    for name, cell in CELLS:
        uc = gemmi.UnitCell(*cell)
        rows.append("cell %s %s" % (name, " ".join(repr(x) for x in cell)))
        found = []
        for h in range(-BOX, BOX + 1):
            for k in range(-BOX, BOX + 1):
                for l in range(0, BOX + 1):
                    if (h, k, l) == (0, 0, 0):
                        continue
                    d = uc.calculate_d([h, k, l])
                    if DMIN <= d <= DMAX:
                        found.append((h, k, l, d))
        ds = sorted({round(d, 9) for *_, d in found})
        for h, k, l, d in found:
            near = [x for x in ds if abs(x - round(d, 9)) > 1e-9 and abs(x - d) < 0.0105]
            rows.append("d %s %d %d %d %r %d" % (name, h, k, l, d, 0 if near else 1))
    with open(out, "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
