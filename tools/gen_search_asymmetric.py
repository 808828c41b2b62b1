#!/usr/bin/python3
"""Seeded spectra of asymmetric (time-of-flight) peaks for the peak-search tests of tests/peaks/.

Each spectrum has 3000 channels of Poisson counts (numpy's default_rng(seed)) over a background of
kind k mod 3 from gen_search_spectra.py (B0, B1 drawn log-uniform from 10..3000 counts). Every
peak is a Gaussian of full width w at half maximum (the linear width law of gen_search_spectra.py,
3 to 20 channels) convolved with an exponential tail towards higher channels of decay length tau,
tau / w drawn log-uniform from 0.3 to 2 per spectrum; on even k the kernel is a back-to-back pair,
a rise of decay length tau / 4 below as well (exp(x / (tau / 4)) for x < 0, exp(-x / tau) above).
The convolution is numerical, on a grid of w / 50. Heights at the top are log-uniform 100..1e5
counts; the peaks stand apart, at least 4 w + 8 tau between neighbouring tops.

Rows (one per line, first token the key):
  spectrum k wb we errors ratio  ratio = tau / w
  counts y1 .. y3000
  errors e1 .. e3000             only when the spectrum has errors (k odd)
  peak top w tau height fwhm     one line per peak, ascending tops; top the channel of the
                                 maximum, fwhm the full width at half maximum of the whole shape

Usage: gen_search_asymmetric.py out seed [spectra]   (default 12 spectra)
Exits with status 3 when numpy is missing.
"""
import math
import sys

try:
    import numpy as np
except ImportError:
    sys.exit(3)
from gen_search_spectra import CHANNELS, background, count_rows, write_spectra, loguniform, width_law

PEAKS = 14


def shape(w, tau, rise):
    """The convolved shape on a grid: offsets from the Gaussian's centre and unit-top values."""
    step = w / 50.0
    sigma = w / math.sqrt(8.0 * math.log(2.0))
    x = np.arange(-6.0 * w - 4.0 * rise, 6.0 * w + 16.0 * tau, step)
    gauss = np.exp(-0.5 * (x / sigma) ** 2)
    t = np.arange(-4.0 * rise if rise > 0 else 0.0, 16.0 * tau, step)
    kernel = np.where(t >= 0, np.exp(-t / tau), np.exp(t / rise) if rise > 0 else 0.0)
    y = np.convolve(gauss, kernel, mode="full")
    # y[n] = sum gauss[i] kernel[n - i]: offset x[0] + t[0] + n step.
    offsets = x[0] + t[0] + step * np.arange(y.size)
    return offsets, y / y.max()


def spectrum(rng, k):
    wb, we, width = width_law(rng)
    kind = k % 3
    b0, b1 = loguniform(rng, 10.0, 3000.0), loguniform(rng, 10.0, 3000.0)
    ratio = loguniform(rng, 0.3, 2.0)
    back_to_back = k % 2 == 0
    ch = np.arange(1, CHANNELS + 1, dtype=float)
    mean = background(kind, b0, b1, ch)
    rows = []
    tops = []
    lo, hi = 40.0 + 6 * we, CHANNELS - 40.0 - (6 + 16 * ratio) * we
    for _ in range(PEAKS):
        for _ in range(500):
            c = rng.uniform(lo, hi)
            room = (4.0 + 8.0 * ratio) * width(c)
            if all(abs(c - o) >= room for o in tops):
                tops.append(c)
                break
    for c in sorted(tops):
        w = width(c)
        tau = ratio * w
        offsets, y = shape(w, tau, tau / 4.0 if back_to_back else 0.0)
        top_offset = offsets[int(np.argmax(y))]
        above = offsets[y >= 0.5]
        height = loguniform(rng, 100.0, 1e5)
        # The Gaussian's centre c - top_offset puts the top at c.
        mean = mean + height * np.interp(ch - (c - top_offset), offsets, y, left=0.0, right=0.0)
        rows.append("peak %.17g %.17g %.17g %.17g %.17g" % (c, w, tau, height, above[-1] - above[0]))
    counts = rng.poisson(mean).astype(float)
    errors = k % 2
    return ["spectrum %d %.17g %.17g %d %.17g" % (k, wb, we, errors, ratio)] + count_rows(counts, errors) + rows


if __name__ == "__main__":
    write_spectra("gen_search_asymmetric.py", spectrum)
