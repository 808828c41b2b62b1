#!/usr/bin/python3
"""Writes the spectrum of one isolated Gaussian peak on a sloping background and numpy's values of
that peak in units of its full width at half maximum: the truth of a real peak model formed from
the peak's channels by the INI command IRM (background line through the interval's ends, no
smoothing).

Usage: gen_ini_real_model_golden.py [out_dir]   (default: tests/ini/data next to this script)
Files: real_model_peak.txt (counts of channels 1..1024, one a line),
       real_model_shape.txt (x in full widths from the centre, exp(-4 ln2 x^2)).
"""
import math
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "tests", "ini", "data")

CHANNELS = 1024
CENTRE = 500.3   # channel of the maximum
SIGMA = 4.0      # channels; full width 2 sqrt(2 ln 2) sigma = 9.419 channels
AMPLITUDE = 5000.0


def main():
    os.makedirs(OUT, exist_ok=True)
    ch = np.arange(1, CHANNELS + 1, dtype=float)
    # A straight background: the model's line through the interval's end channels removes it.
    counts = 100.0 + 0.05 * (ch - CENTRE) + AMPLITUDE * np.exp(-0.5 * ((ch - CENTRE) / SIGMA) ** 2)
    with open(os.path.join(OUT, "real_model_peak.txt"), "w", newline="") as f:
        f.write("".join("%.6f\r\n" % v for v in counts))
    fwhm = 2.0 * math.sqrt(2.0 * math.log(2.0)) * SIGMA
    x = np.round(np.arange(-1.5, 1.5001, 0.1), 10)
    # The same peak with the abscissa in full widths: independent of the width in channels.
    g = np.exp(-0.5 * (x * fwhm / SIGMA) ** 2)
    with open(os.path.join(OUT, "real_model_shape.txt"), "w") as f:
        f.write("# numpy %s: Gaussian of full width %.6f channels, x in full widths, value / maximum\n"
                % (np.__version__, fwhm))
        f.write("".join("%.1f %.12f\n" % (a, b) for a, b in zip(x, g)))


if __name__ == "__main__":
    main()
