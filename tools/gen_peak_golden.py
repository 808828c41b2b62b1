#!/usr/bin/python3
"""Golden values of the peak shapes, for tests/core/peak_model_test.cpp.

Independent references from scipy, sampled on the table grid (point i at distance i - 97 from the
centre, in table points) and divided by their largest grid value:
  gauss        scipy.stats.norm.pdf, sigma = 32 / sqrt(2.2)        (exp(-1.1 ((97 - i) / 32)^2))
  lorentz      scipy.stats.cauchy.pdf, scale = 8 / sqrt(3)          (1 / (3 ((97 - i) / 8)^2 + 1))
  voigt_rR     scipy.special.voigt_profile, sigma = w / sqrt 2, gamma = r, w = max(8, 32 / (r/2 + 1))
  convexp_rR   scipy.stats.exponnorm, tau = r, sigma = w / sqrt 2, onset at point 65 - 1/2: the
               table sums the exponential at whole points from 65 on, and a sum of a smooth
               function over whole points k >= 65 is its integral from 64.5 (midpoint rule);
               the values run over the raw grid 1..193, before the maximum is moved to 97
  cauchy_x, cauchy_pdf   scipy.stats.cauchy.pdf at a few x (the analytic Lorentz model)
  lorentz_cut, lorentz_area
               scipy.integrate.quad over -cut..cut of the analytic Lorentz model as the fits use
               it: the Cauchy density times the taper r^4 (35 - 84 r + 70 r^2 - 20 r^3),
               r = (15 - |x|) / 3, between 12 and 15 half widths, 0 beyond

Every line is: key count value value ... (values as Python repr).

Usage: gen_peak_golden.py [output]   (default: tests/core/data/peak_golden.txt)
Exits with status 3 when numpy or scipy is missing.
"""
import math
import os
import sys

try:
    import numpy as np
    import scipy.integrate
    import scipy.special
    import scipy.stats
except ImportError:
    sys.exit(3)

LINES = []


def put(key, values):
    values = [float(v) for v in values]
    LINES.append(key + " " + str(len(values)) + " " + " ".join(repr(v) for v in values))


def normalised(v):
    v = np.asarray(v, dtype=float)
    return v / v.max()


def width(r):
    return max(8.0, 32.0 / (r / 2.0 + 1.0))


d = np.arange(1, 194, dtype=float) - 97.0
put("gauss", normalised(scipy.stats.norm.pdf(d, scale=32.0 / math.sqrt(2.2))))
put("lorentz", normalised(scipy.stats.cauchy.pdf(d, scale=8.0 / math.sqrt(3.0))))
for r in (2, 4):
    put("voigt_r%d" % r, normalised(scipy.special.voigt_profile(d, width(r) / math.sqrt(2.0), float(r))))
for r in (4, 8):
    s = width(r) / math.sqrt(2.0)
    x = np.arange(1, 194, dtype=float) - 64.5
    put("convexp_r%d" % r, normalised(scipy.stats.exponnorm.pdf(x, r / s, scale=s)))
xs = [-3.0, -1.0, -0.3, 0.0, 0.25, 1.0, 2.5]
put("cauchy_x", xs)
put("cauchy_pdf", scipy.stats.cauchy.pdf(xs))


def tapered_cauchy(x):
    r = min(1.0, max(0.0, (15.0 - abs(x)) / 3.0))
    return scipy.stats.cauchy.pdf(x) * r ** 4 * (35 - 84 * r + 70 * r ** 2 - 20 * r ** 3)


cuts = [0.5, 3.0, 12.0, 12.9, 14.2, 15.0, 40.0]
put("lorentz_cut", cuts)
put("lorentz_area", [2 * scipy.integrate.quad(tapered_cauchy, 0.0, c, points=[x for x in (12.0, 15.0) if x < c],
                                               epsabs=0, epsrel=1e-13, limit=200)[0] for c in cuts])

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "tests", "core", "data", "peak_golden.txt")
with open(out, "w") as f:
    f.write("\n".join(LINES) + "\n")
