#!/usr/bin/python3
"""Writes tests/crystal/data/truth2_<case>.xye and truth2_<case>.txt: powder spectra of two phases
made from the physics alone (the Rietveld truth tests refine them back) and every true value.

Usage: gen_two_phase_truth.py [output folder]   (default: tests/crystal/data)

The expected counts, per channel c (numpy, gemmi; nothing taken from the program's model):
  y(c) = bg(c) + sum over phases p, reflections j of  I_j P((c - pos_j) / W_j) / W_j
  I_j = S_p m_j |F_j|^2 L_j        the integrated intensity (counts x channels)
  |F_j| = |sum over the distinct sites of the unit cell (gemmi's images) of occ b exp(-B s^2)
          exp(2 pi i h.x)|, s = 1 / 2d, b in 10^-12 cm: the intensity carries exp(-2 B / 4d^2)
  P the normal density with W its full width at half maximum (area 1 in z): a peak's area over
    the channels is its integrated intensity
  time of flight: pos = DIFC d - delay with DIFC = 505.556 L sin(theta) / cw channels per A (the
    instrument's calibration), L = d^4, W^2 = W0 + W1 d^2 (a constant resolution dt/t and a
    constant part)
  angular (neutrons, no polarisation): pos = (2 asin(lambda / 2d) - zero) / step from the first
    channel's two-theta, L = 1 / (sin theta sin 2 theta) at the Bragg angle, W = W0 + W1 tan theta
    + W2 tan^2 theta (channels)
  bg = B0 + B1 (x - x_mid) / (x_last - x_mid): a sloping line over the range
Counts are Poisson draws (numpy default_rng, fixed seed); the error column is the true sigma
sqrt(expected counts).

The program's occupation of a site (it sums every image of the group's operations and centrings,
times the number of centrings) is the chemical occupation divided by nc s, s the number of images
that fall on the atom itself (its stabiliser with the centrings): then the program's |F| is the
physical one and its scale is S. Checked here against the sum over every image.

X Y error file (.xye), a heading line, then one line per channel:
  time of flight: the channel number, the counts, sigma
  angular: two-theta in degrees, the counts, sigma
  logarithmic time of flight: the time in us, counts per us, sigma per us

Truth file (.txt), blank-separated tokens, "#" starts a comment line:
  case NAME
  spectrum FILE                   the .xye file beside it
  axis A                          0 time of flight, 1 angular
  range FIRST LAST                the working range (channels)
  header CW L THETA LAMBDA        channel width (us; the two-theta step), flight path (m), detector
                                  Bragg angle (deg), wavelength (A)
  law N                           the program's width law that holds W (2 time of flight, 0 angular)
  global DELAY B0 B1              delay (channels) or zero shift (deg); the background line
  phase P GROUP SETTING a DMIN DMAX SCALE W0 W1 W2
                                  the program's table entry of the group, the cell edge a (A),
                                  the d range of the reflections, S and the width terms
  hexagonal P c                   a hexagonal phase's c (A); a phase without this line is cubic
  atom P NAME b x y z occ B site_multiplicity chemical_occupation
                                  occ in the program's convention (above), B in A^2
  reflection P h k l mult d F2 I  one line per orbit, F2 = |F|^2 (10^-24 cm^2), I = S m |F|^2 L
"""
import math
import os
import sys

try:
    import gemmi
    import numpy as np
except ImportError as e:
    sys.exit("gen_two_phase_truth.py needs python3-gemmi and python3-numpy: %s" % e)

TOF_CONSTANT = 505.556  # us / (m A): the calibration t = 505.556 L sin(theta) d
# Scattering lengths of the program's element table (10^-12 cm).
LENGTHS = {"Si": 0.415071, "Ba": 0.507, "F": 0.5654, "Sr": 0.702, "Ti": -0.337, "O": 0.5805, "N": 0.936}

# (name, group, setting, gemmi name, a, atoms (element, x, y, z, chemical occupation, B))
SILICON = ("Si", 227, 2, "F d -3 m:2", 5.43102, [("Si", 0.125, 0.125, 0.125, 1.0, 0.53)])
BAF2 = ("BaF2", 225, 1, "F m -3 m", 6.2001, [("Ba", 0.0, 0.0, 0.0, 1.0, 0.62), ("F", 0.25, 0.25, 0.25, 0.96, 0.95)])
# Silicon nitride: alpha in the polar P 3_1 c (no coordinate fixes the origin along c) and beta in
# P 6_3/m; hexagonal cells (a, c).
ALPHA_SI3N4 = ("alpha-Si3N4", 159, 1, "P 3 1 c", (7.7608, 5.6139),
                [("Si", 0.0821, 0.5089, 0.6566, 1.0, 0.30), ("Si", 0.2556, 0.1669, 0.4508, 1.0, 0.32),
                ("N", 0.0, 0.0, 0.4494, 1.0, 0.40), ("N", 1 / 3, 2 / 3, 0.6001, 1.0, 0.45),
                ("N", 0.6540, 0.6081, 0.4296, 1.0, 0.42), ("N", 0.3157, 0.3192, 0.6977, 1.0, 0.38)])
BETA_SI3N4 = ("beta-Si3N4", 176, 1, "P 63/m", (7.6044, 2.9075),
              [("Si", 0.1733, 0.7694, 0.25, 1.0, 0.33), ("N", 0.3323, 0.0314, 0.25, 1.0, 0.41),
               ("N", 1 / 3, 2 / 3, 0.25, 1.0, 0.45)])
SRTIO3 = ("SrTiO3", 221, 1, "P m -3 m", 3.9053,
          [("Sr", 0.0, 0.0, 0.0, 1.0, 0.50), ("Ti", 0.5, 0.5, 0.5, 1.0, 0.26), ("O", 0.0, 0.5, 0.5, 0.97, 1.40)])

# 4-us channels: d from 0.78 to 3.25 A at L = 21.13 m, theta = 76 deg.
TOF = dict(axis=0, cw=4.0, L=21.13, theta=76.0, lam=1.54, first=2020, last=8420, law=2)
# Two-theta 20..150 deg in steps of 0.05 as channels 1..2601.
ANGULAR = dict(axis=1, cw=0.05, L=21.13, theta=76.0, lam=1.54, first=1, last=2601, law=0, tt0=20.0)

# The time-of-flight set on a logarithmic grid, constant dt/t = 5e-4 from 8080 to 33680 us: the
# times in X, each channel the counts of its bin between the midpoints to its neighbours divided
# by the bin's width, a density in counts per us as reduced files give it (the error likewise);
# S per us and the widths in us (squared widths 16 times the 4-us set's).
TOF_LOG = dict(axis=0, cw=1.0, L=21.13, theta=76.0, lam=1.54, t_first=8080.0, t_last=33680.0, ratio=5e-4, law=2)

# (name, spectrum, (delay or zero, B0, B1), phases (structure, S, W0, W1, W2, dmin, dmax), seed)
CASES = [
    ("tof", TOF, (2.5, 120.0, -30.0),
     [(SILICON, 100.0, 9.0, 42.0, 0.0, 0.76, 3.4), (BAF2, 18.0, 12.0, 60.0, 0.0, 0.76, 3.7)], 4401),
    ("angular", ANGULAR, (0.02, 90.0, 25.0),
     [(SRTIO3, 300.0, 2.6, 0.9, 1.6, 0.78, 4.0), (SILICON, 120.0, 2.6, 0.9, 1.6, 0.78, 3.2)], 4403),
    ("tof_log", TOF_LOG, (0.0, 7.5, -1.875),
     [(SILICON, 6.25, 144.0, 672.0, 0.0, 0.76, 3.4), (BAF2, 1.125, 192.0, 960.0, 0.0, 0.76, 3.7)], 4406),
    # One phase, as a user's own angular data: a zero shift of 0.12 deg and the widths of an
    # instrument whose resolution grows as tan theta from well under a channel at theta = 0
    # (0.06 deg at 2theta = 20, 0.24 deg at 90).
    # Two silicon nitrides on the angular axis: 14 coordinates of the polar alpha phase free.
    ("si3n4", ANGULAR, (0.02, 90.0, 25.0),
     [(ALPHA_SI3N4, 50.0, 2.6, 0.9, 1.6, 0.79, 4.5), (BETA_SI3N4, 60.0, 2.6, 0.9, 1.6, 0.79, 4.5)], 4408),
    ("perovskite", ANGULAR, (0.12, 60.0, 15.0), [(SRTIO3, 400.0, 0.5, 4.3, 0.0, 0.78, 4.0)], 4407),
]


def fmt(v):
    return repr(float(v))


def distinct_sites(sg, xyz):
    """The distinct images of xyz in the unit cell (gemmi's operations with centrings) and the
    number of images that fall on xyz itself."""
    images = [np.array(op.apply_to_xyz(list(xyz))) for op in sg.operations()]
    sites, on_self = [], 0
    for p in images:
        p = p - np.floor(p + 1e-9)
        if np.all(np.abs((p - np.array(xyz)) - np.round(p - np.array(xyz))) < 1e-9):
            on_self += 1
        if not any(np.all(np.abs((p - q) - np.round(p - q)) < 1e-9) for q in sites):
            sites.append(p)
    assert len(images) == on_self * len(sites)
    return sites, on_self


def hexagonal(structure):
    return isinstance(structure[4], tuple)


def structure_factors(structure, dmin, dmax):
    """(hkl, multiplicity, d, |F|^2) of one representative per orbit {hR, -hR}, and the atoms
    with their site multiplicities and program occupations."""
    _, _, _, hm, a, atoms = structure
    sg = gemmi.find_spacegroup_by_name(hm)
    assert sg is not None and sg.xhm() == hm, hm
    uc = gemmi.UnitCell(a[0], a[0], a[1], 90, 90, 120) if hexagonal(structure) else gemmi.UnitCell(a, a, a, 90, 90, 90)
    ops = sg.operations()
    nc = len(ops.cen_ops)
    rows = []
    for el, x, y, z, occ, biso in atoms:
        sites, s = distinct_sites(sg, (x, y, z))
        rows.append((el, x, y, z, occ, biso, sites, s, occ / (nc * s)))
    rots = [np.array(op.rot) // gemmi.Op.DEN for op in ops.sym_ops]
    lim = int(math.floor(max(uc.a, uc.c) / dmin)) + 1
    seen, out = set(), []
    for h in range(-lim, lim + 1):
        for k in range(-lim, lim + 1):
            for l in range(-lim, lim + 1):
                if (h, k, l) == (0, 0, 0) or (h, k, l) in seen:
                    continue
                d = uc.calculate_d([h, k, l])
                if not dmin <= d <= dmax:
                    continue
                assert abs(d - dmin) > 1e-5 * dmin and abs(d - dmax) > 1e-5 * dmax, (structure[0], h, k, l)
                orbit = set()
                for r in rots:
                    img = tuple(int(v) for v in np.array([h, k, l]) @ r)
                    orbit.add(img)
                    orbit.add(tuple(-v for v in img))
                seen |= orbit
                hv = np.array([h, k, l], float)
                s2 = 0.25 / d ** 2
                f, f_prog = 0j, 0j
                for el, x, y, z, occ, biso, sites, s, occ_prog in rows:
                    amp = LENGTHS[el] * math.exp(-biso * s2)
                    f += occ * amp * sum(np.exp(2j * math.pi * (hv @ p)) for p in sites)
                    # the program's sum: every image, times the centrings
                    f_prog += nc * occ_prog * amp * sum(np.exp(2j * math.pi * (hv @ np.array(op.apply_to_xyz([x, y, z]))))
                                                        for op in ops)
                assert abs(abs(f) - abs(f_prog)) <= 1e-12 * max(1.0, abs(f)), (structure[0], h, k, l)
                if abs(f) < 1e-9:
                    continue
                out.append((max(orbit), len(orbit), d, abs(f) ** 2))
    out.sort(key=lambda r: -r[2])
    return out, rows


def log_grid(sp):
    """The times of the logarithmic grid and the edges of their bins (midpoints, the end bins
    as wide as their neighbours' half steps)."""
    n = int(math.log(sp["t_last"] / sp["t_first"]) / math.log(1 + sp["ratio"])) + 1
    t = sp["t_first"] * (1 + sp["ratio"]) ** np.arange(n)
    mid = 0.5 * (t[1:] + t[:-1])
    edges = np.concatenate(([1.5 * t[0] - 0.5 * t[1]], mid, [1.5 * t[-1] - 0.5 * t[-2]]))
    return t, edges


def expected_counts(case):
    name, sp, (shift, b0, b1), phases, _ = case
    logarithmic = "ratio" in sp
    if logarithmic:
        # counts per bin: the integral of the density over the bin
        c, edges = log_grid(sp)
        lo, hi = edges[:-1], edges[1:]
        mid = 0.5 * (c[0] + c[-1])
        half = c[-1] - mid
        y = b0 * (hi - lo) + b1 * ((hi - mid) ** 2 - (lo - mid) ** 2) / (2 * half)
    else:
        c = np.arange(sp["first"], sp["last"] + 1, dtype=float)
        mid = 0.5 * (c[0] + c[-1])
        y = b0 + b1 * (c - mid) / (c[-1] - mid)
    lines = []
    for p, (structure, scale, w0, w1, w2, dmin, dmax) in enumerate(phases, start=1):
        refl, rows = structure_factors(structure, dmin, dmax)
        a = structure[4][0] if hexagonal(structure) else structure[4]
        lines.append("phase %d %d %d %s %s %s %s %s %s %s" % (p, structure[1], structure[2], fmt(a), fmt(dmin),
                                                           fmt(dmax), fmt(scale), fmt(w0), fmt(w1), fmt(w2)))
        if hexagonal(structure):
            lines.append("hexagonal %d %s" % (p, fmt(structure[4][1])))
        for el, x, y_, z, occ, biso, sites, s, occ_prog in rows:
            lines.append("atom %d %s %s %s %s %s %s %s %d %s" % (p, el, fmt(LENGTHS[el]), fmt(x), fmt(y_), fmt(z),
                                                               fmt(occ_prog), fmt(biso), len(sites), fmt(occ)))
        for hkl, mult, d, f2 in refl:
            if sp["axis"] == 0:
                # (a time in us on the logarithmic grid, whose channel width is 1 us here)
                difc = TOF_CONSTANT * sp["L"] * math.sin(math.radians(sp["theta"])) / sp["cw"]
                pos = difc * d - shift
                lorentz = d ** 4
                width = math.sqrt(w0 + w1 * d * d)
            else:
                th = math.asin(sp["lam"] / (2 * d))
                pos = sp["first"] + (2 * math.degrees(th) - shift - sp["tt0"]) / sp["cw"]
                lorentz = 1 / (math.sin(th) * math.sin(2 * th))
                width = w0 + w1 * math.tan(th) + w2 * math.tan(th) ** 2
            intensity = scale * mult * f2 * lorentz
            sigma = 1 / (2 * math.sqrt(2 * math.log(2)))
            if logarithmic:
                sw = sigma * width * math.sqrt(2)
                y += intensity * 0.5 * (np.vectorize(math.erf)((hi - pos) / sw) - np.vectorize(math.erf)((lo - pos) / sw))
            else:
                z = (c - pos) / width
                y += intensity * np.exp(-0.5 * (z / sigma) ** 2) / (sigma * math.sqrt(2 * math.pi)) / width
            lines.append("reflection %d %d %d %d %d %s %s %s" % (p, *hkl, mult, fmt(d), fmt(f2), fmt(intensity)))
    return c, y, lines


def write_case(case, out):
    name, sp, (shift, b0, b1), phases, seed = case
    c, expected, body = expected_counts(case)
    counts = np.random.default_rng(seed).poisson(expected)
    sigma = np.sqrt(expected)
    if "ratio" in sp:
        # counts per us: the bin's counts over its width
        _, edges = log_grid(sp)
        counts, sigma = counts / np.diff(edges), sigma / np.diff(edges)
    xye = "truth2_%s.xye" % name
    with open(os.path.join(out, xye), "w", newline="\n") as fh:
        fh.write("# %s\n" % ("t(us) counts/us error" if "ratio" in sp else
                              "channel counts error" if sp["axis"] == 0 else "2theta counts error"))
        for ci, yi, si in zip(c, counts, sigma):
            if "ratio" in sp:
                fh.write("%.4f %.10g %.10g\n" % (ci, yi, si))
            else:
                x = "%d" % ci if sp["axis"] == 0 else "%.2f" % (sp["tt0"] + (ci - sp["first"]) * sp["cw"])
                fh.write("%s %d %.4f\n" % (x, yi, si))
    lines = ["# Generated by tools/gen_two_phase_truth.py from gemmi %s and numpy %s; do not edit."
             % (gemmi.__version__, np.__version__),
             "# The layout is described in the generator.",
             "case " + name, "spectrum " + xye, "axis %d" % sp["axis"], "range %d %d" % (1, len(c)) if "ratio" in sp
             else "range %d %d" % (sp["first"], sp["last"]),
             "header " + " ".join(fmt(sp[k]) for k in ("cw", "L", "theta", "lam")), "law %d" % sp["law"],
             "global %s %s %s" % (fmt(shift), fmt(b0), fmt(b1))]
    with open(os.path.join(out, "truth2_%s.txt" % name), "w", newline="\n") as fh:
        fh.write("\n".join(lines + body) + "\n")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "..", "tests", "crystal", "data")
    for case in CASES:
        write_case(case, out)


if __name__ == "__main__":
    main()
