#!/usr/bin/python3
"""Writes the count tables of the built-in test data sets (src/testdata/test_data_tables.cpp) and
the check values of the tests (tests/testdata/data/test_data_checks.txt).

Usage: gen_test_data.py [output folder]   (default: both files in their places in the tree; with
a folder, both files go there). Fixed seeds: the same packages give the same files byte for byte.

ZrO2 (746 counts, channels 60..805 of spectrum 1): monoclinic ZrO2 with 2 % Hf, P 1 21/c 1,
a 5.15367 b 5.21982 c 5.31867 beta 99.199, in the program's own profile model:
  F(c) = bg(c) + S SC(c) X(c) sum_j m_j d_j^4 |F_j|^2 G((c - pos_j) / W) / W
  pos = 505.556 x 25 x sin 75 / 64 x d + 1.187 (delay -1.187 channels), W = 7 (FWHM, header W0 = W1 = 7),
  G the unit-area Gauss cut at 1.88948 FWHM (the program's table), |F| from gemmi with the
  coherent lengths of periodictable (Zr 7.16, O 5.805, Hf 7.77 fm; the program's table holds
  Hf 7.77 as 0.777), B = T11 in A^2, reflections d 1.5 .. 4.0,
  bg = 70 - 6 u (Legendre in u over the working range 305..740),
  SC = exp(-r) the spectrum correction at its bound -1 (r = (c - 304) / 436),
  X = exp(-B_EXTRA r): the part of the incident flux the model cannot follow (chosen as small as
  lets the (220)/(-122) group at channel 348 stand 5 % above the (-111) peak at channel 605).
  Poisson counts (numpy default_rng, seed 1021); entries 1..10 pinned to the given values, entry
  289 to 14693 after scaling the profile so that its largest expected count is 14693 - 3 sigma.
Peak spectra: smooth model, seeded noise, the given first values and extrema pinned.
Check values: the d-spacings of the indexing sets against the reflections of their true cells
(gemmi UnitCell.calculate_d), the ZrO2 abscissae 190.754 d + 1.187, and the generating values.
"""
import math
import os
import sys

try:
    import gemmi
    import numpy as np
    import periodictable
    from scipy import stats
except ImportError as e:
    sys.exit("gen_test_data.py needs python3-gemmi, python3-numpy, python3-scipy, python3-periodictable: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_profile_golden as golden  # noqa: E402  reflections and |F|^2 in the program's convention

RAD = 57.29578
CELL = (5.15367, 5.21982, 5.31867, 90.0, 99.199, 90.0)
FIRST, LAST = 60, 805        # channels of the table
WORK = (305, 740)            # working range of spectrum 1
DELAY = -1.187
CFAC = 505.556 / 64.0 * 25.0 * math.sin(75.0 / RAD)
FWHM = 7.0
ZRO2_FIRST = [46, 58, 74, 64, 81, 74, 80, 70, 65, 81]
ZRO2_MAX, ZRO2_MAX_ENTRY = 14693, 289


def length(el):
    return getattr(periodictable, el).neutron.b_c / 10  # fm -> 10^-12 cm


def zro2_structure():
    atoms = [("Zr", length("Zr"), 0.2758, 0.0404, 0.2089, 0.98, ("iso", 0.15)),
             ("O", length("O"), 0.069, 0.342, 0.345, 1.0, ("iso", 0.4)),
             ("O", length("O"), 0.451, 0.758, 0.479, 1.0, ("iso", 0.2)),
             ("Hf", length("Hf"), 0.2758, 0.0404, 0.2089, 0.02, ("iso", 0.15))]
    return ("ZrO2", 14, 2, "P 1 21/c 1", CELL, atoms)


def zro2_profile(b_extra):
    c = np.arange(FIRST, LAST + 1, dtype=float)
    f, l = WORK
    u = (2 * c - f - l) / (l - f)
    r = (c - f + 1) / (l - f + 1)
    peaks = np.zeros_like(c)
    for (h, k, l_), mult, d, f2 in golden.reflections(zro2_structure(), 1.5, 4.0):
        pos = CFAC * d - DELAY
        peaks += mult * d ** 4 * f2 * golden.peak(1, c, pos, FWHM)
    envelope = np.exp(-r) * np.exp(-b_extra * r)
    return c, 70.0 - 6.0 * u, peaks * envelope


def extra_flux():
    """The smallest extra exp(-b r) (steps of 0.01) that puts channel 348 5 % above every peak
    outside its own group (whose top lies at 347, one channel off)."""
    for b in np.arange(0.0, 3.0, 0.01):
        c, bg, pk = zro2_profile(b)
        i = ZRO2_MAX_ENTRY - 1
        others = np.delete(pk, np.arange(i - 7, i + 8))
        if pk[i] >= 1.05 * others.max():
            return round(float(b), 2)
    raise SystemExit("no envelope makes channel 348 the largest")


def zro2_counts():
    b = extra_flux()
    c, bg, pk = zro2_profile(b)
    top = ZRO2_MAX - 3 * math.sqrt(ZRO2_MAX)
    scale = (top - bg[ZRO2_MAX_ENTRY - 1]) / pk.max()
    expected = bg + scale * pk
    counts = np.random.default_rng(1021).poisson(expected).astype(float)
    counts[:10] = ZRO2_FIRST
    counts[ZRO2_MAX_ENTRY - 1] = ZRO2_MAX
    assert counts.argmax() == ZRO2_MAX_ENTRY - 1 and (counts == ZRO2_MAX).sum() == 1
    return counts, b, scale


def pinned(values, first, extremum_at=None, extremum=None):
    values[:len(first)] = first
    if extremum_at is not None:
        values[extremum_at - 1] = extremum
    return values


def small_peak():
    rng = np.random.default_rng(2024)
    c = np.arange(1, 1620, dtype=float)
    expected = 55.0 + 620.0 * np.exp(-4 * math.log(2) * ((c - 129.0) / 6.0) ** 2)
    y = rng.poisson(expected).astype(float)
    y = np.minimum(y, 681.0)
    return pinned(y, [43, 63, 66, 61, 51], 129, 682)


def vism():
    rng = np.random.default_rng(7)
    c = np.arange(1, 391, dtype=float)
    raw_background = 24000.0 - 20.0 * c
    peaks = [(66, 140000, 3.2), (118, 21000, 3.6), (161, 48000, 3.9), (207, 9000, 4.2), (243, 33000, 4.4),
             (290, 15000, 4.8), (334, 26000, 5.1), (371, 7000, 5.4)]
    signal = 7600.0 * np.exp(-((c - 3.0) / 45.0) ** 2)
    for pos, height, w in peaks:
        signal += height * np.exp(-4 * math.log(2) * ((c - pos) / w) ** 2)
    # counts on the background, minus the background: the noise of both remains
    y = np.round(signal + rng.normal(0.0, 1.0, c.size) * np.sqrt(signal + 2 * raw_background))
    y = np.maximum(y, -398.0)
    i = int(np.argmin(y[20:]) + 20)
    y[i] = -399
    y = np.minimum(y, 145386.0)
    return pinned(y, [7219, 7568, 7420, 7617], 66, 145387), i + 1


def asymmetric():
    rng = np.random.default_rng(31)
    c = np.arange(1, 416, dtype=float)
    bg = 3000.0 - 2.0 * c

    def emg(x, pos, scale, k, sigma):
        return scale * stats.exponnorm.pdf(x, k, loc=pos, scale=sigma)

    first = emg(c, 3.0, 60000.0, 1.2, 2.5)
    main = emg(c, 105.0, 1.0, 1.6, 4.0)
    assert main.argmax() == 108
    main *= (23149.0 - 3 * math.sqrt(23149.0) - bg[108] - first[108]) / main[108]
    expected = bg + first + main
    y = np.round(expected + rng.normal(0.0, 1.0, c.size) * np.sqrt(expected))
    y = np.minimum(y, 23148.0)
    return pinned(y, [3853, 4538, 5123, 5814, 7231], 109, 23149)


def pelin():
    rng = np.random.default_rng(5)
    c = np.arange(1, 278, dtype=float)
    t = c - 1.0
    expected = 60.0 * (np.exp(-t / 30.0) - np.exp(-t / 8.0))
    y = np.round(expected + rng.normal(0.0, 1.0, c.size) * (0.25 + 0.08 * np.sqrt(np.abs(expected))), 1)
    y = np.minimum(y, 28.6)
    return pinned(y, [1.847, 2.9, 9.6, 11.3, 12.8], 14, 28.7)


# ---- the indexing sets: the rows of the tables and their true cells ----
ZRO2_D = [3.70169, 3.64325, 3.16788, 2.84455, 2.60991, 2.54369, 2.34525, 2.32216, 2.25584, 2.19429, 2.0686,
          2.02282, 1.99292, 1.86184, 1.82162, 1.80594, 1.61282, 1.59463]
ZRO2_X = [707.3, 696.1, 605.5, 543.8, 499.0, 486.4, 448.6, 444.1, 431.5, 419.8, 395.8, 387.0, 381.3, 356.3,
          348.7, 345.7, 308.8, 305.4]
ORTHO_D = [6.5, 3.75, 3.26, 2.92, 2.77, 2.18, 2.12, 1.965, 1.741, 1.714, 1.686, 1.629]
CUBIC_D = [2.0268, 1.4332, 1.1702, 1.0134, 0.9064, 0.8275]
TRICLINIC_D = [10.4, 5.73, 5.68, 5.48, 5.21, 5.15, 4.84, 4.73, 4.66, 4.28, 4.0, 3.99, 3.71, 3.57, 3.54, 3.48,
               3.45, 3.3, 3.26, 3.18, 3.06, 3.05, 2.978, 2.904, 2.88, 2.867, 2.838, 2.824, 2.788, 2.749]
TWO_D = [2.751, 2.53, 2.523, 2.323, 2.312, 1.959, 1.866, 1.778, 1.714, 1.581, 1.505, 1.418, 1.41, 1.375, 1.304,
         3.8, 3.291, 2.327, 1.984, 1.9, 1.645, 1.51, 1.472, 1.343, 1.266, 1.1637, 1.1123, 1.0968, 1.0404, 1.0034]

CHECKS = [("zro2", ZRO2_D, [CELL], 1e-5),
          ("ortho", ORTHO_D, [(6.98, 9.18, 6.50, 90, 90, 90)], 0.006),
          ("cubic", CUBIC_D, [(2.0268, 2.0268, 2.0268, 90, 90, 90)], 1e-4),
          ("triclinic", TRICLINIC_D, [(10.7, 6.0, 6.1, 107, 103, 82)], 0.04),
          ("two", TWO_D[:15], [(4.68, 3.43, 5.13, 90, 99.5, 90)], 0.0045),
          ("two", TWO_D[15:], [(6.58, 6.58, 6.58, 90, 90, 90)], 0.0011)]


def nearest_reflection(cell, d):
    uc = gemmi.UnitCell(*cell)
    lim = [int(math.ceil(cell[i] / (0.9 * d))) + 1 for i in range(3)]
    best = None
    for h in range(-lim[0], lim[0] + 1):
        for k in range(-lim[1], lim[1] + 1):
            for l in range(0, lim[2] + 1):
                if (h, k, l) == (0, 0, 0):
                    continue
                dc = uc.calculate_d([h, k, l])
                if best is None or abs(dc - d) < abs(best[0] - d):
                    best = (dc, h, k, l)
    return best


def cpp_table(name, values, decimals, per_line=10):
    def fmt(v):
        return ("%.*f" % (decimals, v)) if decimals else "%d" % int(v)
    rows = []
    for i in range(0, len(values), per_line):
        rows.append("    " + ", ".join(fmt(v) for v in values[i:i + per_line]) + ",")
    return ["const std::array<double, %d> %s = {" % (len(values), name)] + rows + ["};", ""]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) > 1:
        cpp_path = os.path.join(sys.argv[1], "test_data_tables.cpp")
        check_path = os.path.join(sys.argv[1], "test_data_checks.txt")
    else:
        cpp_path = os.path.join(here, "..", "src", "testdata", "test_data_tables.cpp")
        check_path = os.path.join(here, "..", "tests", "testdata", "data", "test_data_checks.txt")

    zro2, b_extra, scale = zro2_counts()
    small = small_peak()
    vism_counts, vism_min_channel = vism()
    asym = asymmetric()
    pel = pelin()

    cpp = ["// Generated by tools/gen_test_data.py (gemmi %s, numpy %s, scipy %s, periodictable %s); do not edit."
           % (gemmi.__version__, np.__version__, __import__("scipy").__version__, periodictable.__version__),
           "// The count tables of the built-in test data sets; the generator describes how they are made.",
           '#include "testdata/test_data_tables.h"', ""]
    cpp += cpp_table("ZrO2Counts", zro2, 0)
    cpp += cpp_table("SmallPeakCounts", small, 0)
    cpp += cpp_table("VismCounts", vism_counts, 0)
    cpp += cpp_table("AsymmetricPeakCounts", asym, 0)
    cpp += cpp_table("PelinCounts", pel, 3)
    with open(cpp_path, "w", newline="\n") as fh:
        fh.write("\n".join(cpp).rstrip("\n") + "\n")

    lines = ["# Generated by tools/gen_test_data.py (gemmi %s, numpy %s); do not edit." % (gemmi.__version__,
                                                                                      np.__version__),
             "# zro2_truth SCALE V10 B_EXTRA BG0 BG1 FWHM: the generating values of the ZrO2 counts",
             "# index SET D NEAREST_D H K L TOLERANCE: each table d and the nearest reflection of the true cell",
             "# zro2_x D X_TABLE X_OF_D: the abscissa of a ZrO2 row and 190.754 d + 1.187 from the header",
             "# extremum SET ENTRY VALUE",
             "zro2_truth %r %r %r %r %r %r" % (float(scale), -1.0, b_extra, 70.0, -6.0, FWHM)]
    for name, ds, cells, tol in CHECKS:
        for d in ds:
            dc, h, k, l = nearest_reflection(cells[0], d)
            lines.append("index %s %r %r %d %d %d %r" % (name, d, dc, h, k, l, tol))
    for d, x in zip(ZRO2_D, ZRO2_X):
        lines.append("zro2_x %r %r %r" % (d, x, CFAC * d - DELAY))
    lines.append("extremum vism_min %d -399" % vism_min_channel)
    with open(check_path, "w", newline="\n") as fh:
        fh.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
