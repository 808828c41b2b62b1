#!/usr/bin/python3
"""Golden values of the exponential peak-fit models and the Fourier amplitudes, for
tests/crystal/peak_fit_models_test.cpp and tests/crystal/fit_summary_test.cpp.

Rows (values as Python repr):
  expgauss1 A tau sigma t0 t F
      F = A exp(-sigma^2 / (2 tau^2) - t0 / tau) scipy.stats.exponnorm.pdf(t, K = tau / sigma,
      loc = t0, scale = sigma), which is A exp(-t / tau) Phi((t - sigma^2 / tau - t0) / sigma) / tau
  expgauss0 A tau sigma t F
      F = A sigma exp(-t / tau) scipy.special.erf(t / sigma)
  fourier A B I Fr Fi
      the observed amplitude sqrt|I| with the phase of the calculated A + iB (numpy.angle):
      Fr = sqrt|I| cos(angle), Fi = sqrt|I| sin(angle)

Usage: gen_peakfit_golden.py [output]   (default: tests/crystal/data/peakfit_golden.txt)
Exits with status 3 when numpy or scipy is missing.
"""
import math
import os
import sys

try:
    import numpy as np
    import scipy.special
    import scipy.stats
except ImportError:
    sys.exit(3)

LINES = []


def put(key, values):
    LINES.append(key + " " + " ".join(repr(float(v)) for v in values))


# The modified Gaussian: onsets and widths of a few channels, decays from a channel to hundreds;
# t from the onset to many decay lengths (the model is evaluated for t >= t0 only).
for A, tau, sigma, t0 in ((1000.0, 25.0, 3.0, 10.0), (2.5, 4.0, 1.5, 0.0), (50.0, 300.0, 12.0, 40.0),
                          (7.0, 1.2, 2.0, 5.0)):
    for t in (t0, t0 + 0.5 * sigma, t0 + sigma, t0 + 3 * sigma, t0 + tau, t0 + 5 * tau + 7.25):
        pdf = scipy.stats.exponnorm.pdf(t, tau / sigma, loc=t0, scale=sigma)
        put("expgauss1", (A, tau, sigma, t0, t, A * math.exp(-sigma**2 / (2 * tau**2) - t0 / tau) * pdf))

for A, tau, sigma in ((1000.0, 25.0, 3.0), (2.5, 4.0, 0.7), (50.0, 300.0, 12.0)):
    for t in (0.0, 0.25 * sigma, sigma, 2.5 * sigma, tau, 4 * tau + 3.5):
        put("expgauss0", (A, tau, sigma, t, A * sigma * math.exp(-t / tau) * scipy.special.erf(t / sigma)))

# Every quadrant, the axes and a few magnitudes of the calculated structure factor.
for A, B, I in ((3.0, 4.0, 100.0), (-3.0, 4.0, 100.0), (-3.0, -4.0, 100.0), (3.0, -4.0, 100.0),
                (0.2, 7.5, 2.25), (-7.5, 0.2, 2.25), (-1e-3, -2e-3, 81.0), (5.0, -1e-6, 16.0),
                (0.0, 2.0, 9.0), (0.0, -2.0, 9.0), (-2.0, 0.0, 9.0), (1.0, 1.0, -49.0)):
    phase = np.angle(complex(A, B))
    m = math.sqrt(abs(I))
    put("fourier", (A, B, I, m * math.cos(phase), m * math.sin(phase)))

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                                         "crystal", "data", "peakfit_golden.txt")
with open(out, "w") as f:
    f.write("# tools/gen_peakfit_golden.py: scipy.stats.exponnorm, scipy.special.erf, numpy.angle\n")
    f.write("\n".join(LINES) + "\n")
