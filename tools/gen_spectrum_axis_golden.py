#!/usr/bin/env python3
"""Golden values of the channel / d-spacing conversion, from the physics and CODATA constants
(scipy.constants), not from the program's formulas.

Time of flight: a neutron of wavelength lambda = h / (m_n v) flies L metres in
t = L m_n lambda / h; Bragg's law lambda = 2 d sin(theta) gives t = (2 m_n / h) L d sin(theta).
The channel of time t is t / width - delay. Angular: d = lambda / (2 sin(two-theta / 2)).

Usage: gen_spectrum_axis_golden.py [output file]   (default tests/core/data/spectrum_axis_golden.txt)
"""
import math
import os
import sys

from scipy import constants

# 2 m_n / h in microseconds per (metre * angstrom)
K = 2.0 * constants.m_n / constants.h * 1e-10 * 1e6

TOF_CASES = [  # d (angstrom), flight path (m), Bragg angle (deg), channel width (us), delay (channels)
    (2.0, 21.13, 76.0, 4.0, 0.0),
    (1.0, 21.13, 76.0, 4.0, 12.5),
    (0.7, 25.0, 90.0, 64.0, 0.0),
    (3.1355, 10.0, 45.0, 1.0, -3.0),
    (0.5, 150.0, 30.0, 0.5, 100.0),
]

ANGULAR_CASES = [  # wavelength (angstrom), two-theta (deg) at the channel, zero shift (deg)
    (1.54, 28.44, 0.0),
    (1.54, 47.30, 0.1),
    (1.5406, 90.0, -0.05),
    (0.7093, 20.0, 0.0),
    (2.52, 150.0, 0.0),
]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "core", "data", "spectrum_axis_golden.txt")
    with open(out, "w", newline="\n") as f:
        f.write("# K = 2 m_n / h in us/(m*A)\n")
        f.write("K %.10f\n" % K)
        f.write("# tof d L theta width delay channel\n")
        for d, length, theta, width, delay in TOF_CASES:
            t = K * length * d * math.sin(math.radians(theta))
            f.write("tof %r %r %r %r %r %.10f\n" % (d, length, theta, width, delay, t / width - delay))
        f.write("# angular lambda twotheta shift d\n")
        for lam, tt, shift in ANGULAR_CASES:
            d = lam / (2.0 * math.sin(math.radians(tt + shift) / 2.0))
            f.write("angular %r %r %r %.12f\n" % (lam, tt, shift, d))


if __name__ == "__main__":
    main()
