#!/usr/bin/python3
"""Seeded spectra of shoulders and close pairs for the peak-search tests of tests/peaks/.

Each spectrum has 3000 channels of Poisson counts (numpy's default_rng(seed)) over a background of
kind k mod 3 from gen_search_spectra.py (B0, B1 drawn from 30..3000 counts), with Gaussian peaks
whose full widths at half maximum follow a linear law from wb at channel 1 to we at channel 3000
(3 to 20 channels). sigma = sqrt(background) at a peak's centre. Groups, each at least 4 widths
from every other:
  shoulder  a peak of 6..15 sigma (log-uniform) 1.5..2.0 widths beside a neighbour 1.5..8 times
            higher (either side)
  pair      two peaks 1.0..1.5 widths apart, each of 20..80 sigma
  single    one peak of 8..100 sigma
Four shoulders, three pairs and six singles per spectrum. Spectrum k has errors when k is odd.

Rows (one per line, first token the key):
  spectrum k wb we errors
  counts y1 .. y3000
  errors e1 .. e3000                only when the spectrum has errors
  peak centre fwhm sigmas role      one line per peak, ascending centres; role 0 single,
                                    1 shoulder, 2 a shoulder's neighbour, 3 a member of a pair

Usage: gen_search_partners.py out seed [spectra]   (default 12 spectra)
Exits with status 3 when numpy is missing.
"""
import math
import sys

try:
    import numpy as np
except ImportError:
    sys.exit(3)
from gen_search_spectra import CHANNELS, background, count_rows, write_spectra, loguniform, width_law


def spectrum(rng, k):
    wb, we, width = width_law(rng)
    kind = k % 3
    b0, b1 = rng.uniform(30.0, 3000.0, size=2)

    def sigma(c):
        return math.sqrt(background(kind, b0, b1, c))

    groups = []  # (lowest centre, highest centre)
    peaks = []   # (centre, sigmas, role)
    lo, hi = 40.0 + 6 * we, CHANNELS - 40.0 - 6 * we

    def place(widths):
        """A free centre c for a group reaching `widths` widths beyond it; c and the span."""
        for _ in range(500):
            c = rng.uniform(lo, hi)
            span = widths * width(c)
            if all(c + span < a - 4 * width(a) or c > b + 4 * width(b) for a, b in groups):
                groups.append((c, c + span))
                return c, span
        return None, 0.0

    for _ in range(4):
        c, d = place(rng.uniform(1.5, 2.0))
        if c is None:
            continue
        s = loguniform(rng, 6.0, 15.0)
        strong = s * rng.uniform(1.5, 8.0)
        left = rng.uniform() < 0.5
        peaks += [(c, s if left else strong, 1 if left else 2), (c + d, strong if left else s, 2 if left else 1)]
    for _ in range(3):
        c, d = place(rng.uniform(1.0, 1.5))
        if c is not None:
            peaks += [(c, loguniform(rng, 20.0, 80.0), 3), (c + d, loguniform(rng, 20.0, 80.0), 3)]
    for _ in range(6):
        c, _ = place(0.0)
        if c is not None:
            peaks.append((c, loguniform(rng, 8.0, 100.0), 0))
    peaks.sort()
    ch = np.arange(1, CHANNELS + 1, dtype=float)
    mean = background(kind, b0, b1, ch)
    rows = []
    for c, s, role in peaks:
        w = width(c)
        mean = mean + s * sigma(c) * np.exp(-4.0 * math.log(2.0) * ((ch - c) / w) ** 2)
        rows.append("peak %.17g %.17g %.17g %d" % (c, w, s, role))
    counts = rng.poisson(mean).astype(float)
    errors = k % 2
    return ["spectrum %d %.17g %.17g %d" % (k, wb, we, errors)] + count_rows(counts, errors) + rows


if __name__ == "__main__":
    write_spectra("gen_search_partners.py", spectrum)
