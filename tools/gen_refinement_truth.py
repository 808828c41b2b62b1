#!/usr/bin/python3
"""Writes tests/crystal/data/truth_<case>.xye and truth_<case>.txt: measured-looking spectra
made from known parameters (the Rietveld truth tests refine them back) and every true value.

Usage: gen_refinement_truth.py [output folder]   (default: tests/crystal/data)

The expected counts are the profile of gen_profile_golden.py (gemmi's structure factors in the
program's convention, Gaussian peaks of unit area in units of their FWHM W cut where the
program's table ends, or tapered Lorentz peaks with W their half width at half maximum; width
law 0, Legendre background, spectrum correction exp(r v10)); the counts are Poisson draws from
them (numpy, fixed seed). The error column holds the true sigma sqrt(expected counts): weights
from the drawn counts would pull every level down by about one count per channel.

X Y error file (.xye), one line per channel of the working range:
  time of flight: the channel number, the counts, sigma
  angular: two-theta in degrees (step 0.02), the counts, sigma

Truth file (.txt), blank-separated tokens, "#" starts a comment line:
  case NAME
  spectrum FILE                  the .xye file beside it
  axis A                         0 time of flight, 1 angular
  range FIRST LAST               the working range (channels, as the program numbers them)
  shape MODEL                    the peak model (1 Gauss, 2 Lorentz)
  header CW L THETA LAMBDA       channel width (us; the two-theta step of an angular spectrum),
                                 flight path (m), detector Bragg angle (deg), wavelength (A)
  hkl_range DMIN DMAX            a d range (A) whose reflections cover the working range
  group NUMBER SETTING           the program's space-group table entry
  cell a b c alpha beta gamma    A, degrees
  metric G1 .. G6                records base+2..base+7 (h^2, k^2, l^2, kl, hl, hk)
  global v1 .. v10               records 1..10: L or lambda, dTheta0, delay (channels) or zero
                                 shift (deg), background Legendre terms 0..5, spectrum correction
  phase SCALE W0 W1 W2           records base+1, base+8..base+10 (widths in channels)
  atom NAME b x y z occ B        b in 10^-12 cm (the program's table), B = T11 in A^2
  reflection h k l mult d F2 I   one line per orbit {hR, -hR} in hkl_range, d descending; F2 the
                                 program's |F|^2 = A^2 + B^2 (10^-24 cm^2), I = SCALE x F2, the
                                 powder-match intensity record's true value
"""
import os
import sys

try:
    import gemmi
    import numpy as np
except ImportError as e:
    sys.exit("gen_refinement_truth.py needs python3-gemmi and python3-numpy: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# The profile in the program's convention (needs python3-scipy as well).
import gen_profile_golden as golden  # noqa: E402

# Scattering lengths of the program's element table (10^-12 cm).
B_ZR, B_ZN, B_O, B_MG, B_SI, B_AL = 0.716, 0.568, 0.5805, 0.5375, 0.415071, 0.3449

# Monoclinic ZrO2 (baddeleyite), P 1 21/c 1: three atoms on general positions.
ZRO2 = ("ZrO2", 14, 2, "P 1 21/c 1", (5.1505, 5.2116, 5.3173, 90.0, 99.23, 90.0),
        [("Zr", B_ZR, 0.2754, 0.0395, 0.2083, 1.0, ("iso", 0.35)),
         ("O", B_O, 0.0700, 0.3317, 0.3447, 1.0, ("iso", 0.50)),
         ("O", B_O, 0.4496, 0.7569, 0.4792, 1.0, ("iso", 0.45))])
# Zinc oxide (wurtzite), P 63 m c: Zn and O on 2b (1/3, 2/3, z), Zn at z = 0 fixing the origin.
ZNO = ("ZnO", 186, 1, "P 63 m c", (3.2495, 3.2495, 5.2069, 90.0, 90.0, 120.0),
       [("Zn", B_ZN, 1 / 3, 2 / 3, 0.0, 1.0, ("iso", 0.55)),
        ("O", B_O, 1 / 3, 2 / 3, 0.3825, 1.0, ("iso", 0.60))])

# Forsterite (olivine) Mg2SiO4, P n m a: Mg1 on the inversion centre 4a, Mg2, Si, O1, O2 on the
# mirror 4c (y = 1/4), O3 on the general position 8d.
FORSTERITE = ("Mg2SiO4", 62, 1, "P n m a", (10.1978, 5.9817, 4.7553, 90.0, 90.0, 90.0),
              [("Mg", B_MG, 0.0, 0.0, 0.0, 1.0, ("iso", 0.45)),
               ("Mg", B_MG, 0.2774, 0.25, 0.9915, 1.0, ("iso", 0.40)),
               ("Si", B_SI, 0.0940, 0.25, 0.4262, 1.0, ("iso", 0.30)),
               ("O", B_O, 0.0913, 0.25, 0.7657, 1.0, ("iso", 0.50)),
               ("O", B_O, 0.4474, 0.25, 0.2215, 1.0, ("iso", 0.45)),
               ("O", B_O, 0.1628, 0.0331, 0.2777, 1.0, ("iso", 0.55))])

# Pyrope (garnet) Mg3Al2Si3O12, I a -3 d, origin at -3: Mg on 24c, Al on 16a, Si on 24d, O on the
# general position 96h (Armbruster, Geiger and Lager, Am. Mineral. 77 (1992) 512, rounded).
PYROPE = ("Mg3Al2Si3O12", 230, 1, "I a -3 d", (11.459,) * 3 + (90.0,) * 3,
          [("Mg", B_MG, 0.125, 0.0, 0.25, 1.0, ("iso", 0.9)),
           ("Al", B_AL, 0.0, 0.0, 0.0, 1.0, ("iso", 0.35)),
           ("Si", B_SI, 0.375, 0.0, 0.25, 1.0, ("iso", 0.3)),
           ("O", B_O, 0.0329, 0.0503, 0.6533, 1.0, ("iso", 0.5))])

# 4-us channels 3100..8300 (d from 1.2 to 3.2 A at L = 21.13 m, theta = 76 deg).
TOF = dict(axis=0, cw=4.0, L=21.13, theta=76.0, lam=1.54, slope=0.0, offset=0.0, first=3100, last=8300)
# Two-theta 10..120 deg in steps of 0.02 as channels 1..5501: channel = 50 two-theta - 499.
ANGULAR = dict(axis=1, cw=0.02, L=21.13, theta=76.0, lam=1.54, slope=50.0, offset=-499.0, first=1, last=5501)
# The same ending at 119.96 deg: the top of the garnet's 11 6 3 group (about 15 sigma) lies 2.8
# channels before the last channel.
ANGULAR_GARNET = dict(ANGULAR, last=5499)

# (name, spectrum, records 1..10, (structure, scale, W0, W1, W2, dmin, dmax), seed, shape: 1 Gauss
# with W its full width, 2 Lorentz with W its half width at half maximum). Both
# spectrum corrections are 0: the powder match, which fixes it, reads the time-of-flight data too,
# and on the angular data it would take the place of the two B in a fit with so few reflections.
CASES = [
    ("tof_zro2", TOF, (21.13, 0.0, 2.6, 310.0, -45.0, 30.0, -14.0, 0.0, 0.0, 0.0),
     (ZRO2, 42.0, 14.0, 6.0, 0.0, 1.17, 3.30), 1, 1),
    ("angular", ANGULAR, (1.54, 0.0, 0.035, 260.0, -60.0, 35.0, -18.0, 0.0, 0.0, 0.0),
     (ZNO, 38.5, 11.0, 5.0, 0.0, 0.86, 9.0), 19002, 1),
    ("olivine_lorentz", ANGULAR, (1.54, 0.0, 0.035, 240.0, -50.0, 30.0, -15.0, 0.0, 0.0, 0.0),
     (FORSTERITE, 6.0, 2.4, 1.2, 0.0, 0.86, 9.0), 7102, 2),
    ("garnet_lorentz", ANGULAR_GARNET, (1.54, 0.0, 0.035, 240.0, -50.0, 30.0, -15.0, 0.0, 0.0, 0.0),
     (PYROPE, 0.04, 2.4, 1.2, 0.0, 0.86, 9.0), 7302, 2),
    # The same garnet, other counts: from a cell 0.65 % short free convergence used to take a step
    # that a bound cut into a rise and settle in another valley at chi2/dof 30.7.
    ("garnet_lorentz_b", ANGULAR_GARNET, (1.54, 0.0, 0.035, 240.0, -50.0, 30.0, -15.0, 0.0, 0.0, 0.0),
     (PYROPE, 0.04, 2.4, 1.2, 0.0, 0.86, 9.0), 8201, 2),
]


def fmt(v):
    return repr(float(v))


def write_case(case, out):
    name, sp, v, (structure, scale, w0, w1, w2, dmin, dmax), seed, shape = case
    golden_case = (name, sp, shape, 0, False, v, [(structure, scale, w0, w1, w2, dmin, dmax)])
    _, channels, expected, _ = golden.profile(golden_case)
    counts = np.random.default_rng(seed).poisson(expected)
    sigma = np.sqrt(expected)
    xye = "truth_%s.xye" % name
    with open(os.path.join(out, xye), "w", newline="\n") as fh:
        for c, y, s in zip(channels, counts, sigma):
            x = "%d" % c if sp["axis"] == 0 else "%.2f" % ((c - sp["offset"]) / sp["slope"])
            fh.write("%s %d %.4f\n" % (x, y, s))

    _, group, setting, _, cell, atoms = structure
    lines = ["# Generated by tools/gen_refinement_truth.py from gemmi %s and numpy %s; do not edit."
             % (gemmi.__version__, np.__version__),
             "# The layout is described in the generator.",
             "case " + name, "spectrum " + xye, "axis %d" % sp["axis"],
             "range %d %d" % (sp["first"], sp["last"]), "shape %d" % shape,
             "header " + " ".join(fmt(sp[k]) for k in ("cw", "L", "theta", "lam")),
             "hkl_range %s %s" % (fmt(dmin), fmt(dmax)),
             "group %d %d" % (group, setting),
             "cell " + " ".join(fmt(x) for x in cell),
             "metric " + " ".join(fmt(x) for x in golden.metric_records(cell)),
             "global " + " ".join(fmt(x) for x in v),
             "phase %s %s %s %s" % (fmt(scale), fmt(w0), fmt(w1), fmt(w2))]
    for el, b, x, y, z, occ, (_, biso) in atoms:
        lines.append("atom %s %s %s %s %s %s %s" % (el, fmt(b), fmt(x), fmt(y), fmt(z), fmt(occ), fmt(biso)))
    for (h, k, l), mult, d, f2 in golden.reflections(structure, dmin, dmax):
        lines.append("reflection %d %d %d %d %s %s %s" % (h, k, l, mult, fmt(d), fmt(f2), fmt(scale * f2)))
    with open(os.path.join(out, "truth_%s.txt" % name), "w", newline="\n") as fh:
        fh.write("\n".join(lines) + "\n")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "..", "tests", "crystal", "data")
    for case in CASES:
        write_case(case, out)


if __name__ == "__main__":
    main()
