#!/usr/bin/python3
"""Seeded spectra of Gauss, Lorentz and pseudo-Voigt peaks for the peak-search tests of tests/peaks/.

Each spectrum has 3000 channels of Poisson counts (numpy's default_rng(seed)) of the mean
background + peaks, evaluated at the channel centres. Spectrum k of a file:
  level  k mod 4: the background at channel 1 drawn log-uniform from
         0: 2..20   1: 20..2000   2: 2e3..5e4   3: 2e5..1e6 counts per channel
  kind   (k div 4) mod 3 (sloping, curved, decaying):
         0  B0 + (B1 - B0) t                 t = (c - 1) / 2999, B1 = B0 times 0.5..2
         1  B0 + (B1 - B0) t^2 + B0 / 4 sin(3 pi t)
         2  B1 + (B0 - B1) exp(-4 t)
  shape  drawn per spectrum: Gauss exp(-4 ln2 (d / w)^2), Lorentz 1 / (1 + (2 d / w)^2) or the
         pseudo-Voigt eta L + (1 - eta) G of one full width w at half maximum (eta 0.2..0.8)
Full widths follow a linear law from wb at channel 1 to we at channel 3000 (3 to 20 channels).
Heights are s sigma, sigma = sqrt(background) at the centre, s log-uniform 3..100 (4..30 at
level 3). Four doublets come first: partners 1 to 3 widths apart, the height of one partner
1 to 4 times the other's (log-uniform, either side); every other peak lies at least 3 widths (4
for Lorentz tails) from all others. Spectrum k has errors when k is odd.

Rows (one per line, first token the key):
  spectrum k wb we errors level  errors 1: the E row holds sqrt(max(y, 1)); 0: no errors known
  shape name eta                 name gauss, lorentz or pvoigt
  counts y1 .. y3000
  errors e1 .. e3000             only when the spectrum has errors
  peak centre fwhm sigmas height one line per peak, ascending centres

Usage: gen_search_shapes.py out seed [spectra]   (default 12 spectra)
Exits with status 3 when numpy is missing.
"""
import math
import sys

try:
    import numpy as np
except ImportError:
    sys.exit(3)
from gen_search_spectra import count_rows, write_spectra, loguniform, width_law

CHANNELS = 3000
LEVELS = [(2.0, 20.0), (20.0, 2000.0), (2e3, 5e4), (2e5, 1e6)]


def profile(name, eta, d, w):
    g = np.exp(-4.0 * math.log(2.0) * (d / w) ** 2)
    lor = 1.0 / (1.0 + (2.0 * d / w) ** 2)
    if name == "gauss":
        return g
    if name == "lorentz":
        return lor
    return eta * lor + (1.0 - eta) * g


def spectrum(rng, k):
    wb, we, width = width_law(rng)
    level = k % 4
    kind = (k // 4) % 3
    name = ["gauss", "lorentz", "pvoigt"][int(rng.integers(3))]
    eta = rng.uniform(0.2, 0.8) if name == "pvoigt" else (1.0 if name == "lorentz" else 0.0)
    b0 = loguniform(rng, *LEVELS[level])
    b1 = b0 * loguniform(rng, 0.5, 2.0)

    def background(c):
        t = (c - 1.0) / (CHANNELS - 1.0)
        if kind == 0:
            return b0 + (b1 - b0) * t
        if kind == 1:
            return b0 + (b1 - b0) * t * t + b0 / 4.0 * np.sin(3.0 * math.pi * t)
        return b1 + (b0 - b1) * np.exp(-4.0 * t)

    room = 4.0 if name == "lorentz" else 3.0
    lo, hi = 40.0 + 3 * we, CHANNELS - 40.0 - 3 * we
    smin, smax = (4.0, 30.0) if level == 3 else (3.0, 100.0)
    centres, sigmas = [], []

    def free(c):
        return all(abs(c - o) >= room * max(width(c), width(o)) for o in centres)

    for _ in range(4):  # doublets first
        for _ in range(200):
            c = rng.uniform(lo, hi)
            d = rng.uniform(1.0, 3.0) * width(c)
            if free(c) and free(c + d):
                s = loguniform(rng, smin, smax)
                r = loguniform(rng, 1.0, 4.0)
                pair = [s, s / r] if rng.uniform() < 0.5 else [s / r, s]
                centres += [c, c + d]
                sigmas += pair
                break
    while len(centres) < 24:
        c = rng.uniform(lo, hi)
        if free(c):
            centres.append(c)
            sigmas.append(loguniform(rng, smin, smax))
    order = np.argsort(centres)
    ch = np.arange(1, CHANNELS + 1, dtype=float)
    mean = background(ch)
    peaks = []
    for j in order:
        c, s = centres[j], sigmas[j]
        h = s * math.sqrt(background(c))
        w = width(c)
        mean = mean + h * profile(name, eta, ch - c, w)
        peaks.append((c, w, s, h))
    counts = rng.poisson(np.maximum(mean, 0.0)).astype(float)
    errors = k % 2
    return (["spectrum %d %.17g %.17g %d %d" % (k, wb, we, errors, level), "shape %s %.17g" % (name, eta)]
            + count_rows(counts, errors) + ["peak %.17g %.17g %.17g %.17g" % p for p in peaks])


if __name__ == "__main__":
    write_spectra("gen_search_shapes.py", spectrum)
