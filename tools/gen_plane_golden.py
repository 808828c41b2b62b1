#!/usr/bin/python3
"""Writes tests/spectrum/data/plane_golden.txt: independent values for the plane (t, E) event
window.

Usage: gen_plane_golden.py [output file]

Rows (blank-separated, "#" starts a comment line):
  sim TRIAL X T       the first accepted lines of the simulated event file from the seeds 12345
                      and 67890, replayed: per trial one polar-method pair (its first deviate g),
                      one uniform, one exponential deviate of rate 0.001 (unused), then
                      x = max(1300 g + 420, 1) and t = -ln(u) 1600; accepted when t + 20 < x;
                      X and T rounded half to even; TRIAL counts from 1
  centroid I C        row centroids c(i) = 20 ln(i / 0.5) + N(0, 0.4) (numpy, seed 2026),
                      rows 1..40
  range FIRST LAST    the rows of non-zero weight
  line TAU            1 / slope of numpy.polyfit(c, ln i, 1) over the rows of the range
  exp A TAU ERR       scipy.optimize.curve_fit of i = A exp(c / tau) over the same rows, unit
                      weights; ERR the absolute standard error of tau (absolute_sigma)
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
try:
    import numpy as np
    from scipy.optimize import curve_fit
    from gen_simulation_golden import LEcuyer
except ImportError as e:
    sys.exit("gen_plane_golden.py needs python3-numpy, python3-scipy and python3-gemmi: %s" % e)

ROWS, FIRST, LAST = 40, 5, 30


def simulated_lines(count):
    rng = LEcuyer(12345, 67890)
    rows, trial = [], 0
    while len(rows) < count:
        trial += 1
        g = rng.gauss()
        rng.uniform()
        -math.log(rng.uniform()) / 0.001
        x = max(1300.0 * g + 420.0, 1.0)
        t = -math.log(rng.uniform()) / (1.0 / 1600.0)
        if t + 20.0 < x:
            rows.append("sim %d %d %d" % (trial, round(x), round(t)))
    return rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "spectrum", "data", "plane_golden.txt")
    rows = ["# written by tools/gen_plane_golden.py"]
    rows += simulated_lines(12)
    i = np.arange(1, ROWS + 1, dtype=float)
    c = 20.0 * np.log(i / 0.5) + np.random.default_rng(2026).normal(0.0, 0.4, ROWS)
    rows += ["centroid %d %r" % (k + 1, float(v)) for k, v in enumerate(c)]
    rows.append("range %d %d" % (FIRST, LAST))
    use = slice(FIRST - 1, LAST)
    slope = np.polyfit(c[use], np.log(i[use]), 1)[0]
    rows.append("line %r" % float(1.0 / slope))
    (a, tau), cov = curve_fit(lambda x, a, tau: a * np.exp(x / tau), c[use], i[use], p0=(2.0, 20.0),
                              sigma=np.ones(LAST - FIRST + 1), absolute_sigma=True)
    rows.append("exp %r %r %r" % (float(a), float(tau), float(math.sqrt(cov[1, 1]))))
    with open(out, "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
