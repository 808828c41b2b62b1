#!/usr/bin/python3
"""Writes tests/crystal/data/profile_golden_<case>.txt: Rietveld profiles (background plus every
reflection's intensity times its peak shape) of small structures on time-of-flight and angular
spectra, computed here on their own from gemmi's structure factors, scipy's peak shapes and
numpy's Legendre polynomials.

Usage: gen_profile_golden.py [output folder]   (default: tests/crystal/data)

The model, per channel c of the working range f..l:
  u = (2c - f - l) / (l - f), r = (c - f + 1) / (l - f + 1), SC = exp(r v10)
  F(c) = bg(c) + sum over phases p of S_p SC sum over reflections j of
         m_j LF_j I_j F0((c - pos_j) / W_j) / W_j             (only where |z| < cut)
  so that the area of a reflection over the channels is its integrated intensity S SC m LF I;
  bg = sum of v(4+i) P_i(u), i = 0..5 (numpy.polynomial.legendre)
  Time of flight: theta_d = theta + v2; C = 505.556 / cw v1 sin(theta_d); pos = C d - v3;
    LF = d^4; W by law 0: W0 + W1 u, law 3: sqrt(W0 + W1 d^2 + W2 d^4).
  Angular: 2 theta_r = 2 asin(v1 / 2d) - v3, the reflection's observed two-theta in degrees
    (v1 the wavelength, v3 the zero shift); pos = slope 2 theta_r + offset;
    LF = 1 / (sin theta_r sin 2 theta_r), the Lorentz factor of the reflection's own angle;
    W = W0 + W1 t + W2 t^2 with t = tan theta_r, the width law taken at the reflection.
  I = |F|^2 y with |F| = n_c |F_gemmi| / 10 (10^-12 cm; gemmi's small-structure calculator sums
    every image, sym_ops x cen_ops, in fm); y = 1 without extinction, else
    (1 + 2 E X)^(-1/2), X = |F|^2 (d sin theta_d)^3 / (sqrt(V) sin 2 theta_d), E = W2's record.
  F0: Lorentz (model 2) 1 / (pi (1 + z^2)) with W the half width at half maximum, times the
    taper T = P(1 - s), s = (|z| - 12) / 3, P(s) = s^4 (35 - 84 s + 70 s^2 - 20 s^3) for
    12 < |z| < 15, 0 from 15 on;
    Gauss (model 1) the normal density with W its full width at half maximum, cut at the
    program's table end 96 / 50.8075 = 1.88948 full widths; both divided by their area within
    the cut (scipy's distribution functions; the tapered Lorentz by scipy.integrate.quad), so
    that F0 has unit area in z.
Degrees go through the program's 57.29578 per radian wherever the model converts an angle
(the detector angle, two-theta of the position and of the channel).

File layout (blank-separated tokens, "#" starts a comment line):
  case NAME
  axis A                         0 time of flight, 1 angular
  range FIRST LAST               working range (channels)
  header CW L THETA LAMBDA SLOPE OFFSET
                                 channel width (us), flight path (m), detector Bragg angle (deg),
                                 wavelength (A), channels per degree and channel of two-theta 0
  shape MODEL                    peak model of every phase (1 Gauss, 2 Lorentz)
  law N                          width law
  extinction E                   1: record base+10 free and read as the extinction coefficient
  global v1 .. v10               records 1..10
  phase P GROUP SETTING a b c alpha beta gamma DMIN DMAX VOLUME
                                 table entry, cell, the d range of the reflection list, V (A^3)
  metric P G1 .. G6              records base+2..base+7 (h^2, k^2, l^2, kl, hl, hk) from gemmi's
                                 reciprocal metric
  records P S W0 W1 W2           records base+1, base+8, base+9, base+10
  atom P b x y z occ iso B       b in 10^-12 cm, B in A^2
  atom P b x y z occ aniso T11 T12 T13 T22 T23 T33
                                 the program's terms beta_ij L_i L_j (L = a, b, c)
  hkl P h k l mult d F2          one line per orbit {hR, -hR}; F2 = the program's |F|^2
  point c F bg                   one line per channel of the working range

and profile_golden_positions.txt, the peak positions of single reflections by physical constants
and exact trigonometry (no 57.29578 here):
  constant K                     2 m_n / h from scipy.constants in us / (m A) (505.5568, 1.6e-6
                                 above the program's 505.556)
  tof CW L THETA DELAY D CHANNEL  channel = K L sin(theta) d / cw - delay
  angular LAMBDA ZERO D TWOTHETA  two-theta = 2 asin(lambda / 2d) in degrees, minus the zero shift
"""
import math
import os
import sys

try:
    import gemmi
    import numpy as np
    from numpy.polynomial import legendre
    from scipy import constants, integrate, stats
except ImportError as e:
    sys.exit("gen_profile_golden.py needs python3-gemmi, python3-numpy, python3-scipy: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_structure_golden import gemmi_length  # noqa: E402  gemmi's neutron length (fm)

RAD_TO_DEG = 57.29578  # the program's degrees per radian
TOF_CONSTANT = 505.556  # us / (m A): t = 505.556 L d sin(theta)
GAUSS_CUT = 96 / 50.8075  # the tabulated Gauss ends 96 points from its centre, 50.8075 points per FWHM
LORENTZ_CUT = 15.0
LORENTZ_TAPER_FROM = 12.0
SIGMA_PER_FWHM = 1 / (2 * math.sqrt(2 * math.log(2)))

# (name, group, setting, gemmi name, cell, atoms); atom (element, b in 10^-12 cm, x, y, z, occ,
# ("iso", B) or ("aniso", (U11, U22, U33, U12, U13, U23)))
ALUMINIUM = ("Al", 225, 1, "F m -3 m", (4.0495,) * 3 + (90.0,) * 3,
             [("Al", 0.3449, 0.0, 0.0, 0.0, 1.0, ("iso", 0.8))])
ZNO = ("ZnO", 186, 1, "P 63 m c", (3.2495, 3.2495, 5.2069, 90.0, 90.0, 120.0),
       [("Zn", 0.568, 1 / 3, 2 / 3, 0.0, 1.0, ("iso", 0.55)),
        ("O", 0.5803, 1 / 3, 2 / 3, 0.3825, 1.0, ("iso", 0.60))])
# the same with anisotropic displacements (site 2b, 3m: U22 = U11, U12 = U11 / 2, U13 = U23 = 0)
ZNO_ANISO = ("ZnO", 186, 1, "P 63 m c", ZNO[4],
             [("Zn", 0.568, 1 / 3, 2 / 3, 0.0, 1.0, ("aniso", (0.0072, 0.0072, 0.0061, 0.0036, 0, 0))),
              ("O", 0.5803, 1 / 3, 2 / 3, 0.3825, 1.0, ("aniso", (0.0084, 0.0084, 0.0074, 0.0042, 0, 0)))])

TOF16 = dict(axis=0, cw=16.0, L=21.13, theta=76.0, lam=1.54, slope=0.0, offset=0.0, first=480, last=1600)
TOF32 = dict(TOF16, cw=32.0, first=240, last=960)
ANGULAR = dict(axis=1, cw=0.1, L=21.13, theta=76.0, lam=1.54, slope=10.0, offset=-340.0, first=50, last=950)

BACKGROUND = (120.0, -14.0, 6.5, -3.0, 1.2, -0.4)

# (name, spectrum, shape, law, extinction, records 1..10, phases: (structure, scale, W0, W1, W2, dmin, dmax))
CASES = [
    ("tof_al_law0", TOF16, 2, 0, False, (21.13, 0.05, -3.7) + BACKGROUND + (0.35,),
     [(ALUMINIUM, 2.0e-3, 3.0, 0.8, 0.0, 0.62, 2.9)]),
    ("tof_al_extinction", TOF16, 2, 0, True, (21.07, -0.08, 2.2) + BACKGROUND + (-0.2,),
     [(ALUMINIUM, 2.0e-3, 3.2, -0.5, 2.0e-6, 0.62, 2.9)]),
    ("tof_zno_law3", TOF32, 2, 3, False, (21.13, 0.0, 1.4) + BACKGROUND + (0.15,),
     [(ZNO_ANISO, 0.15, 1.5, 0.6, 0.12, 0.6, 3.3)]),
    ("tof_zno_law0", TOF32, 2, 0, False, (21.2, 0.1, -2.5) + BACKGROUND + (0.0,),
     [(ZNO, 0.15, 2.5, 0.4, 0.0, 0.6, 3.3)]),
    ("tof_two_phases_gauss", TOF16, 1, 0, False, (21.13, 0.0, 0.0) + BACKGROUND + (0.25,),
     [(ALUMINIUM, 2.0e-3, 6.0, 1.0, 0.0, 0.62, 2.9), (ZNO, 4.0e-2, 6.5, 0.5, 0.0, 0.62, 2.9)]),
    ("angular_al_lorentz", ANGULAR, 2, 0, False, (1.54, 0.0, 0.12) + BACKGROUND + (0.3,),
     [(ALUMINIUM, 1.0e-3, 2.0, 0.6, 0.5, 0.8, 2.9)]),
    ("angular_zno_gauss", ANGULAR, 1, 0, False, (1.54, 0.0, -0.08) + BACKGROUND + (0.0,),
     [(ZNO, 0.2, 4.0, 1.0, 0.8, 0.82, 3.3)]),
]


def fmt(v):
    return repr(float(v))


def small_structure(structure):
    _, _, _, hm, cell, atoms = structure
    st = gemmi.SmallStructure()
    st.cell = gemmi.UnitCell(*cell)
    st.spacegroup_hm = hm
    for i, (el, b, x, y, z, occ, th) in enumerate(atoms):
        s = gemmi.SmallStructure.Site()
        s.label, s.element = "%s%d" % (el, i + 1), gemmi.Element(el)
        s.occ = occ * 10 * b / gemmi_length(el)  # b in fm
        s.fract = gemmi.Fractional(x, y, z)
        if th[0] == "iso":
            s.u_iso = th[1] / (8 * math.pi ** 2)
        else:
            s.aniso = gemmi.SMat33d(*th[1])
        st.add_site(s)
    st.setup_cell_images()
    return st


def direct_structure_factor(structure, ops, hkl, uc):
    """The same sum in numpy: every operation and centring of every site (the cross-check)."""
    _, _, _, _, cell, atoms = structure
    h = np.array(hkl, float)
    s2 = 0.25 / uc.calculate_d(list(hkl)) ** 2
    rec = np.array([uc.reciprocal().a, uc.reciprocal().b, uc.reciprocal().c])
    f = 0j
    for el, b, x, y, z, occ, th in atoms:
        for op in ops:
            pos = np.array(op.apply_to_xyz([x, y, z]))
            r = np.array(op.rot, float) / gemmi.Op.DEN
            if th[0] == "iso":
                t = math.exp(-th[1] * s2)
            else:
                u11, u22, u33, u12, u13, u23 = th[1]
                um = np.array([[u11, u12, u13], [u12, u22, u23], [u13, u23, u33]])
                beta = 2 * math.pi ** 2 * um * np.outer(rec, rec)
                hr = h @ r  # h . (R x) = (h R) . x
                t = math.exp(-(hr @ beta @ hr))
            f += 10 * b * occ * t * np.exp(2j * math.pi * (h @ pos))
    return f


def reflections(structure, dmin, dmax):
    """One representative per orbit {hR, -hR} with dmin <= d <= dmax and |F| above 1e-9:
    (hkl, multiplicity, d, the program's |F|^2)."""
    _, _, _, hm, cell, _ = structure
    sg = gemmi.find_spacegroup_by_name(hm)
    assert sg is not None and sg.xhm() == hm, hm
    ops = sg.operations()
    nc = len(ops.cen_ops)
    uc = gemmi.UnitCell(*cell)
    st = small_structure(structure)
    calc = gemmi.StructureFactorCalculatorN(st.cell)
    rots = [np.array(op.rot) // gemmi.Op.DEN for op in ops.sym_ops]
    lim = [int(math.floor(cell[i] / dmin)) + 1 for i in range(3)]
    seen, out = set(), []
    for h in range(-lim[0], lim[0] + 1):
        for k in range(-lim[1], lim[1] + 1):
            for l in range(-lim[2], lim[2] + 1):
                if (h, k, l) == (0, 0, 0) or (h, k, l) in seen:
                    continue
                d = uc.calculate_d([h, k, l])
                # the program's list takes d from its own cell geometry (about 1e-6 off)
                assert abs(d - dmin) > 1e-5 * dmin and abs(d - dmax) > 1e-5 * dmax, (structure[0], h, k, l)
                if not dmin <= d <= dmax:
                    continue
                orbit = set()
                for r in rots:
                    img = tuple(int(v) for v in np.array([h, k, l]) @ r)
                    orbit.add(img)
                    orbit.add(tuple(-v for v in img))
                seen |= orbit
                f = calc.calculate_sf_from_small_structure(st, [h, k, l])
                g = direct_structure_factor(structure, ops, (h, k, l), uc)
                assert abs(f - g) <= 1e-12 * max(1.0, abs(g)), (structure[0], h, k, l, f, g)
                f_prog = nc * abs(f) / 10
                assert f_prog < 1e-9 or f_prog > 1e-6, (structure[0], h, k, l)
                if f_prog < 1e-9:
                    continue
                out.append((max(orbit), len(orbit), d, f_prog ** 2))
    out.sort(key=lambda r: (-r[2], r[0]))
    return out


def program_terms(structure):
    """The atom terms of the program: (b, x, y, z, occ, kind, terms)."""
    _, _, _, _, cell, atoms = structure
    uc = gemmi.UnitCell(*cell)
    rec = np.array([uc.reciprocal().a, uc.reciprocal().b, uc.reciprocal().c])
    edges = np.array(cell[:3])
    rows = []
    for el, b, x, y, z, occ, th in atoms:
        if th[0] == "iso":
            rows.append((b, x, y, z, occ, "iso", [th[1]]))
        else:
            u11, u22, u33, u12, u13, u23 = th[1]
            um = np.array([[u11, u12, u13], [u12, u22, u23], [u13, u23, u33]])
            t = 2 * math.pi ** 2 * um * np.outer(rec, rec) * np.outer(edges, edges)
            pairs = ((0, 0), (0, 1), (0, 2), (1, 1), (1, 2), (2, 2))
            rows.append((b, x, y, z, occ, "aniso", [t[i, j] for i, j in pairs]))
    return rows


def metric_records(cell):
    """G1..G6 in record order h^2, k^2, l^2, kl, hl, hk: 1/d^2 = h G* h."""
    g = np.array(gemmi.UnitCell(*cell).reciprocal_metric_tensor().as_mat33().tolist())
    return [g[0, 0], g[1, 1], g[2, 2], 2 * g[1, 2], 2 * g[0, 2], 2 * g[0, 1]]


def tapered_cauchy(z):
    """The Cauchy density, tapered smoothly to 0 between 12 and 15."""
    a = np.abs(np.asarray(z, dtype=float))
    r = np.clip((LORENTZ_CUT - a) / (LORENTZ_CUT - LORENTZ_TAPER_FROM), 0.0, 1.0)
    taper = r ** 4 * (35 - 84 * r + 70 * r ** 2 - 20 * r ** 3)
    return stats.cauchy.pdf(z) * taper


TAPERED_CAUCHY_AREA = (stats.cauchy.cdf(LORENTZ_TAPER_FROM) - stats.cauchy.cdf(-LORENTZ_TAPER_FROM)) + 2 * integrate.quad(
    lambda x: float(tapered_cauchy(x)), LORENTZ_TAPER_FROM, LORENTZ_CUT, epsabs=0, epsrel=1e-13)[0]


def shape_value(model, z):
    """The density in z, cut where the program's shape ends and renormalised to unit area."""
    if model == 2:
        return tapered_cauchy(z) / TAPERED_CAUCHY_AREA
    law = stats.norm(scale=SIGMA_PER_FWHM)
    area = law.cdf(GAUSS_CUT) - law.cdf(-GAUSS_CUT)
    return np.where(np.abs(z) < GAUSS_CUT, law.pdf(z), 0.0) / area


def peak(model, c, pos, width):
    """A peak of unit area over the channels: the density in z = (c - pos) / width, per channel."""
    return shape_value(model, (c - pos) / width) / width


def profile(case):
    name, sp, shape, law, extinction, v, phases = case
    first, last = sp["first"], sp["last"]
    c = np.arange(first, last + 1, dtype=float)
    u = (2 * c - first - last) / (last - first)
    r = (c - first + 1) / (last - first + 1)
    sc = np.exp(r * v[9])
    bg = legendre.legval(u, np.array(v[3:9]))
    total = np.zeros_like(c)
    lines = []
    if sp["axis"] == 0:
        theta_d = (sp["theta"] + v[1]) / RAD_TO_DEG
        cfac = TOF_CONSTANT / sp["cw"] * v[0] * math.sin(theta_d)
    for p, (structure, scale, w0, w1, w2, dmin, dmax) in enumerate(phases, start=1):
        cell = structure[4]
        g = metric_records(cell)
        volume = gemmi.UnitCell(*cell).volume
        lines.append("phase %d %d %d %s %s %s %s" % (p, structure[1], structure[2], " ".join(fmt(x) for x in cell),
                                                     fmt(dmin), fmt(dmax), fmt(volume)))
        lines.append("metric %d %s" % (p, " ".join(fmt(x) for x in g)))
        lines.append("records %d %s %s %s %s" % (p, fmt(scale), fmt(w0), fmt(w1), fmt(w2)))
        for b, x, y, z, occ, kind, terms in program_terms(structure):
            lines.append("atom %d %s %s %s %s %s %s %s" % (p, fmt(b), fmt(x), fmt(y), fmt(z), fmt(occ), kind,
                                                          " ".join(fmt(t_) for t_ in terms)))
        phase_sum = np.zeros_like(c)
        for (h, k, l), mult, d_gemmi, f2 in reflections(structure, dmin, dmax):
            lines.append("hkl %d %d %d %d %d %s %s" % (p, h, k, l, mult, fmt(d_gemmi), fmt(f2)))
            q = g[0] * h * h + g[1] * k * k + g[2] * l * l + g[3] * k * l + g[4] * h * l + g[5] * h * k
            d = 1 / math.sqrt(q)
            intensity = f2
            if sp["axis"] == 0:
                lf = d ** 4
                pos = cfac * d - v[2]
                width = w0 + w1 * u if law == 0 else np.sqrt(w0 + w1 * d * d + w2 * d ** 4) + 0 * u
                if extinction:
                    x_ext = f2 * (d * math.sin(theta_d)) ** 3 / (math.sqrt(volume) * math.sin(2 * theta_d))
                    intensity = f2 / math.sqrt(1 + 2 * w2 * x_ext)
            else:
                two_theta = 2 * RAD_TO_DEG * math.asin(v[0] / (2 * d)) - v[2]
                tr = two_theta / 2 / RAD_TO_DEG
                lf = 1 / (math.sin(tr) * math.sin(2 * tr))
                pos = sp["slope"] * two_theta + sp["offset"]
                t = math.tan(tr)
                width = w0 + w1 * t + w2 * t * t
            phase_sum += mult * lf * intensity * peak(shape, c, pos, width)
        total += scale * sc * phase_sum
    return lines, c, total + bg, bg


def positions():
    k = 2 * constants.m_n / constants.h * 1e-4  # s/m^2 -> us/(m A)
    lines = ["constant " + fmt(k)]
    for cw, length, theta, delay in ((16.0, 21.13, 76.0, -3.7), (4.0, 11.5, 45.0, 12.25), (32.0, 2.01, 18.5, 0.0)):
        for d in (0.7, 1.234567, 2.5, 4.1):
            lines.append("tof %s %s %s %s %s %s" % (fmt(cw), fmt(length), fmt(theta), fmt(delay), fmt(d),
                                                    fmt(k * length * math.sin(math.radians(theta)) * d / cw - delay)))
    for lam, zero in ((1.54, 0.12), (2.52, -0.3)):
        for d in (1.3, 1.7, 2.2, 3.9):
            lines.append("angular %s %s %s %s" % (fmt(lam), fmt(zero), fmt(d),
                                                 fmt(2 * math.degrees(math.asin(lam / (2 * d))) - zero)))
    return lines


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "..", "tests", "crystal", "data")
    header = ("# Generated by tools/gen_profile_golden.py from gemmi %s, numpy %s and scipy %s; do not edit.\n"
              "# The model and the layout are described in the generator.\n"
              % (gemmi.__version__, np.__version__, __import__("scipy").__version__))
    for case in CASES:
        name, sp, shape, law, extinction, v, phases = case
        lines = ["case " + name, "axis %d" % sp["axis"], "range %d %d" % (sp["first"], sp["last"]),
                 "header " + " ".join(fmt(sp[k]) for k in ("cw", "L", "theta", "lam", "slope", "offset")),
                 "shape %d" % shape, "law %d" % law, "extinction %d" % int(extinction),
                 "global " + " ".join(fmt(x) for x in v)]
        body, c, f, bg = profile(case)
        lines += body
        lines += ["point %d %s %s" % (ci, fmt(fi), fmt(bi)) for ci, fi, bi in zip(c, f, bg)]
        with open(os.path.join(out, "profile_golden_%s.txt" % name), "w", newline="\n") as fh:
            fh.write(header + "\n".join(lines) + "\n")
    with open(os.path.join(out, "profile_golden_positions.txt"), "w", newline="\n") as fh:
        fh.write(header + "\n".join(positions()) + "\n")


if __name__ == "__main__":
    main()
