#!/usr/bin/python3
"""Writes tests/evolution/data/sequence/: a synthetic sequence of 20 time-of-flight spectra of a
sample in which FePO4 turns into LiFePO4, with the known evolution the analysis must recover; and
tests/evolution/data/angular_sequence/: six angular spectra of CaF2 whose cell grows.

Usage: gen_trevo_sequence.py [output folder]           (default: tests/evolution/data/sequence)
       gen_trevo_sequence.py angular [output folder]   (default: tests/evolution/data/angular_sequence)

The expected counts are the profile of gen_profile_golden.py (gemmi's structure factors with the
program's scattering lengths, Gaussian peaks of FWHM w = W0 + W1 u, u = -1..1 over the channels,
Legendre background); the counts are Poisson draws (numpy, fixed seed). Over the run the a edge of
FePO4 grows linearly by 0.5 per cent, and the fraction of LiFePO4, scale2 / (scale1 + scale2),
rises linearly from 0.05 to 0.95 at a constant scale1 + scale2.

Files:
  evo_SS.dat     counts of channels 1..LAST, ten numbers a line (file kind 3)
  evo_SS.err     the true sigma sqrt(expected) of the same channels (an error file, kind 3)
  sequence.lst   the 20 spectrum names ("sp")
  sequence_var.lst  spectrum and error names alternating ("sp/var")
  truth.txt      blank-separated tokens, "#" starts a comment line:
    header CW L THETA LAMBDA FIRST LAST   instrument, channel range of the files
    range FIRST LAST                      the working range (channels)
    widths W0 W1                          FWHM law (channels)
    phase P NAME GROUP SETTING a b c alpha beta gamma   the starting cell (A, degrees)
    atom P EL b x y z occ B               b in 10^-12 cm, B in A^2
    step S FILE a1 b1 c1 scale1 scale2 fraction       per spectrum
                                          (angular: step S FILE a scale)
    isolated h k l                        reflections of phase 1 at least 2.5 FWHM away from
                                          every other reflection of both phases at every step
    halfwidth S h k l CHANNEL HW          scipy peak_widths (rel_height 0.5) / 2 of the counts
                                          at the isolated reflection's highest channel, for peaks
                                          at least 3000 expected counts above the background

The angular sequence (constant wavelength 1.91 A, two-theta 10..120 by 0.05 deg, channel 1 at 10
deg): Gaussian peaks of FWHM W0 + W1 tan(theta) channels, the Lorentz factor of the reflection's
angle, a Legendre background; CaF2 (Fm-3m) with a growing 0.006 A a step from 5.463 and a scale
falling by 4 per cent a step; Poisson counts. Files caf2_S.xye (two-theta, count, sqrt(count) or 1
for 0 counts: an X Y E file, kind 4), angular.lst and truth.txt with the lines header CW LAMBDA
FIRSTANGLE CHANNELS, widths W0 W1, background v4..v9, phase, atom and step as above.
"""
import math
import os
import sys

try:
    import gemmi
    import numpy as np
    import periodictable
    from scipy.signal import peak_widths
except ImportError as e:
    sys.exit("gen_trevo_sequence.py needs python3-gemmi, -numpy, -scipy and -periodictable: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_profile_golden as golden  # noqa: E402


def b_of(el):
    """Coherent scattering length in 10^-12 cm (the program's element table)."""
    return getattr(periodictable, el).neutron.b_c / 10


# Pnma, the program's table entry 62 setting 1. Heterosite FePO4 and triphylite LiFePO4.
def fepo4(a):
    return ("FePO4", 62, 1, "P n m a", (a, 5.789299, 4.782, 90.0, 90.0, 90.0),
            [("Fe", b_of("Fe"), 0.2755, 0.25, 0.9478, 1.0, ("iso", 0.40)),
             ("P", b_of("P"), 0.0940, 0.25, 0.3938, 1.0, ("iso", 0.40)),
             ("O", b_of("O"), 0.1197, 0.25, 0.7098, 1.0, ("iso", 0.60)),
             ("O", b_of("O"), 0.4428, 0.25, 0.1571, 1.0, ("iso", 0.60)),
             ("O", b_of("O"), 0.1649, 0.0448, 0.2498, 1.0, ("iso", 0.60))])


LIFEPO4 = ("LiFePO4", 62, 1, "P n m a", (10.322, 6.0027, 4.6916, 90.0, 90.0, 90.0),
           [("Li", b_of("Li"), 0.0, 0.0, 0.0, 1.0, ("iso", 0.80)),
            ("Fe", b_of("Fe"), 0.2822, 0.25, 0.9747, 1.0, ("iso", 0.40)),
            ("P", b_of("P"), 0.0949, 0.25, 0.4182, 1.0, ("iso", 0.40)),
            ("O", b_of("O"), 0.0968, 0.25, 0.7428, 1.0, ("iso", 0.60)),
            ("O", b_of("O"), 0.4571, 0.25, 0.2063, 1.0, ("iso", 0.60)),
            ("O", b_of("O"), 0.1656, 0.0465, 0.2845, 1.0, ("iso", 0.60))])

STEPS = 20
A0, GROWTH = 9.814199, 0.005
SPECTRUM = dict(axis=0, cw=16.0, L=21.13, theta=76.0, lam=1.54, slope=0.0, offset=0.0, first=1, last=2600)
WORK = (880, 2560)
W0, W1 = 2.5, 0.8
DMIN, DMAX = 1.30, 4.20
# L, dTheta0, delay, background Legendre terms 0..5, spectrum correction.
GLOBAL = (21.13, 0.0, 0.0, 60.0, -25.0, 8.0, 0.0, 0.0, 0.0, 0.0)
TOTAL_SCALE = 2.0
SEED = 20261207


def fmt(v):
    return repr(float(v))


def channel_of(d):
    theta = SPECTRUM["theta"] / golden.RAD_TO_DEG
    return golden.TOF_CONSTANT / SPECTRUM["cw"] * GLOBAL[0] * math.sin(theta) * d - GLOBAL[2]


def width_at(c):
    u = (2 * c - SPECTRUM["first"] - SPECTRUM["last"]) / (SPECTRUM["last"] - SPECTRUM["first"])
    return W0 + W1 * u


def step_values(s):
    t = (s - 1) / (STEPS - 1)
    a = A0 * (1 + GROWTH * t)
    fraction = 0.05 + 0.90 * t
    return a, TOTAL_SCALE * (1 - fraction), TOTAL_SCALE * fraction, fraction


def isolated_reflections():
    """Phase-1 reflections whose peak stays 2.5 FWHM away from every other peak at every step."""
    out = []
    first = golden.reflections(fepo4(A0), DMIN, DMAX)
    for (h, k, l), mult, d, f2 in first:
        ok = f2 * mult > 0
        for s in range(1, STEPS + 1):
            a, _, _, _ = step_values(s)
            uc = gemmi.UnitCell(a, 5.789299, 4.782, 90, 90, 90)
            c = channel_of(uc.calculate_d([h, k, l]))
            if not WORK[0] + 20 < c < WORK[1] - 20:
                ok = False
                break
            others = [channel_of(x[2]) for x in golden.reflections(fepo4(a), DMIN, DMAX) if x[0] != (h, k, l)]
            others += [channel_of(x[2]) for x in golden.reflections(LIFEPO4, DMIN, DMAX)]
            if min(abs(c - o) for o in others) < 2.5 * width_at(c):
                ok = False
                break
        if ok:
            out.append(((h, k, l), mult, d, f2))
    # The strongest ones: mult x F2 x d^4 is the peak's height factor.
    out.sort(key=lambda r: -r[1] * r[3] * r[2] ** 4)
    return out[:12]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "..", "tests", "evolution", "data", "sequence")
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(SEED)
    iso = isolated_reflections()
    lines = ["# Generated by tools/gen_trevo_sequence.py from gemmi %s, numpy %s and periodictable %s; do not edit."
             % (gemmi.__version__, np.__version__, periodictable.__version__),
             "header %s %s %s %s %d %d" % (fmt(SPECTRUM["cw"]), fmt(SPECTRUM["L"]), fmt(SPECTRUM["theta"]), fmt(SPECTRUM["lam"]),
                                           SPECTRUM["first"], SPECTRUM["last"]),
             "range %d %d" % WORK, "widths %s %s" % (fmt(W0), fmt(W1))]
    for p, st in ((1, fepo4(A0)), (2, LIFEPO4)):
        name, group, setting, _, cell, atoms = st
        lines.append("phase %d %s %d %d %s" % (p, name, group, setting, " ".join(fmt(x) for x in cell)))
        for el, b, x, y, z, occ, (_, biso) in atoms:
            lines.append("atom %d %s %s %s %s %s %s %s" % (p, el, fmt(b), fmt(x), fmt(y), fmt(z), fmt(occ), fmt(biso)))
    names = []
    halfwidths = []
    for s in range(1, STEPS + 1):
        a, scale1, scale2, fraction = step_values(s)
        case = ("evo", SPECTRUM, 1, 0, False, GLOBAL,
                [(fepo4(a), scale1, W0, W1, 0.0, DMIN, DMAX), (LIFEPO4, scale2, W0, W1, 0.0, DMIN, DMAX)])
        _, channels, expected, background = golden.profile(case)
        counts = rng.poisson(expected)
        sigma = np.sqrt(expected)
        name = "evo_%02d" % s
        names.append(name)
        for ext, values, form in ((".dat", counts, "%d"), (".err", sigma, "%.3f")):
            with open(os.path.join(out, name + ext), "w", newline="\n") as fh:
                for i in range(0, len(values), 10):
                    fh.write(" ".join(form % v for v in values[i:i + 10]) + "\n")
        lines.append("step %d %s.dat %s %s %s %s %s %s" % (s, name, fmt(a), fmt(5.789299), fmt(4.782), fmt(scale1),
                                                         fmt(scale2), fmt(fraction)))
        uc = gemmi.UnitCell(a, 5.789299, 4.782, 90, 90, 90)
        for (h, k, l), _, _, _ in iso:
            c = channel_of(uc.calculate_d([h, k, l]))
            lo, hi = int(c - 2 * width_at(c)), int(c + 2 * width_at(c)) + 1
            top = lo + int(np.argmax(counts[lo - 1:hi]))  # channel numbers start at 1
            if expected[top - 1] - background[top - 1] < 3000:
                continue  # too weak for a width against the noise
            w = peak_widths(counts.astype(float), [top - 1], rel_height=0.5)[0][0]
            halfwidths.append("halfwidth %d %d %d %d %d %s" % (s, h, k, l, top, fmt(w / 2)))
    for (h, k, l), _, _, _ in iso:
        lines.append("isolated %d %d %d" % (h, k, l))
    lines += halfwidths
    with open(os.path.join(out, "truth.txt"), "w", newline="\n") as fh:
        fh.write("\n".join(lines) + "\n")
    with open(os.path.join(out, "sequence.lst"), "w", newline="\n") as fh:
        fh.write("".join(n + ".dat\n" for n in names))
    with open(os.path.join(out, "sequence_var.lst"), "w", newline="\n") as fh:
        fh.write("".join(n + ".dat\n" + n + ".err\n" for n in names))


# CaF2, the program's table entry 225 setting 1.
def caf2(a):
    return ("CaF2", 225, 1, "F m -3 m", (a, a, a, 90.0, 90.0, 90.0),
            [("Ca", b_of("Ca"), 0.0, 0.0, 0.0, 1.0, ("iso", 0.50)),
             ("F", b_of("F"), 0.25, 0.25, 0.25, 1.0, ("iso", 0.70))])


ANGULAR_STEPS = 6
ANGULAR_A0, ANGULAR_GROWTH = 5.463, 0.006
ANGULAR_FIRST, ANGULAR_STEP, ANGULAR_CHANNELS = 10.0, 0.05, 2201
ANGULAR = dict(axis=1, cw=ANGULAR_STEP, L=21.13, theta=76.0, lam=1.91, slope=1 / ANGULAR_STEP,
               offset=1 - ANGULAR_FIRST / ANGULAR_STEP, first=1, last=ANGULAR_CHANNELS)
ANGULAR_W0, ANGULAR_W1 = 5.0, 2.0
# lambda, zero shift, (unused), background Legendre terms 0..5, spectrum correction.
ANGULAR_GLOBAL = (1.91, 0.0, 0.0, 150.0, -40.0, 15.0, 0.0, 0.0, 0.0, 0.0)
ANGULAR_SCALE0, ANGULAR_SCALE_FALL = 0.004, 0.04
ANGULAR_SEED = 20261208


def angular_main(out):
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(ANGULAR_SEED)
    last_angle = ANGULAR_FIRST + ANGULAR_STEP * (ANGULAR_CHANNELS - 1)
    dmin = ANGULAR["lam"] / (2 * math.sin(math.radians(last_angle / 2)))
    dmax = ANGULAR["lam"] / (2 * math.sin(math.radians(ANGULAR_FIRST / 2)))
    name, group, setting, _, cell, atoms = caf2(ANGULAR_A0)
    lines = ["# Generated by tools/gen_trevo_sequence.py from gemmi %s, numpy %s and periodictable %s; do not edit."
             % (gemmi.__version__, np.__version__, periodictable.__version__),
             "header %s %s %s %d" % (fmt(ANGULAR_STEP), fmt(ANGULAR["lam"]), fmt(ANGULAR_FIRST), ANGULAR_CHANNELS),
             "widths %s %s" % (fmt(ANGULAR_W0), fmt(ANGULAR_W1)),
             "background " + " ".join(fmt(x) for x in ANGULAR_GLOBAL[3:9]),
             "phase 1 %s %d %d %s" % (name, group, setting, " ".join(fmt(x) for x in cell))]
    for el, b, x, y, z, occ, (_, biso) in atoms:
        lines.append("atom 1 %s %s %s %s %s %s %s" % (el, fmt(b), fmt(x), fmt(y), fmt(z), fmt(occ), fmt(biso)))
    names = []
    for s in range(1, ANGULAR_STEPS + 1):
        a = ANGULAR_A0 + ANGULAR_GROWTH * (s - 1)
        scale = ANGULAR_SCALE0 * (1 - ANGULAR_SCALE_FALL * (s - 1))
        case = ("caf2", ANGULAR, 1, 0, False, ANGULAR_GLOBAL,
                [(caf2(a), scale, ANGULAR_W0, ANGULAR_W1, 0.0, dmin, dmax)])
        _, channels, expected, _ = golden.profile(case)
        counts = rng.poisson(expected)
        angles = ANGULAR_FIRST + ANGULAR_STEP * (channels - 1)
        name = "caf2_%02d.xye" % s
        names.append(name)
        with open(os.path.join(out, name), "w", newline="\n") as fh:
            for x, y in zip(angles, counts):
                fh.write("%.2f %d %.4f\n" % (x, y, math.sqrt(y) if y > 0 else 1.0))
        lines.append("step %d %s %s %s" % (s, name, fmt(a), fmt(scale)))
    with open(os.path.join(out, "truth.txt"), "w", newline="\n") as fh:
        fh.write("\n".join(lines) + "\n")
    with open(os.path.join(out, "angular.lst"), "w", newline="\n") as fh:
        fh.write("".join(n + "\n" for n in names))


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "angular":
        angular_main(sys.argv[2] if len(sys.argv) > 2 else
                     os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "evolution", "data",
                                  "angular_sequence"))
    else:
        main()
