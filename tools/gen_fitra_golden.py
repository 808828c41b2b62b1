#!/usr/bin/python3
"""Golden data of the Fitra peak and exponential fits, for tests/peaks/.

fitra_golden.txt:
  sp ch y e        400 channels; working range 21..380; background 50 + 10 u (u = -1..1 over the
                   range), five peaks A F0((x - P)/w) of Gauss (model 1) and Lorentz (model 2)
                   with w = W0 + W1 u(P) per model (the law at the peak's centre), Poisson
                   counts (numpy, seed 30), e = sqrt(y + 1)
  true name value  the parameters the data were drawn from
  fit name value error
                   scipy.optimize.least_squares on (y - f)/e with the Fitra model: Gauss of unit
                   area in z = (x - P)/w as the program tabulates it (exp(-1.1 t^2), t = z FW / 32,
                   over Area, where FW is the table's full width by linear interpolation and Area
                   its Simpson area) up to 94 table points out, then falling to zero at 96 / FW as
                   the table's interpolation does (gauss_tail); Lorentz 1/(pi (1 + z^2)) in half widths
                   times the taper r^4 (35 - 84 r + 70 r^2 - 20 r^3), r = (15 - |z|) / 3, for
                   12 < |z| < 15, 0 from 15 on; errors sqrt(diag(inv(J'J))) (not scaled by chi^2/df)
  chi2df value
  area name value error
                   whole peak areas (scipy.integrate.quad of the shape over its whole range),
                   errors by numerical propagation: sqrt(g' C g), g the central-difference gradient
                   of the area by all parameters, C = inv(J'J) of the fit
  expsp ch y e     300 channels, working range 1..300: 5 + 4000 q^x/60 + 1500 q^x/20 channels
                   (q = 1/4 per unit of (x - 1)/W, W the two half-lives 60 and 20), Poisson, seed 31
  expfit name value error
                   scipy.optimize.curve_fit of B + sum A_k exp(-ln4 (x - 1)/W_k), positions fixed,
                   absolute_sigma (the engine's errors are not scaled either)
  hkl h k l d channel
                   bcc iron (a = 2.8665, Im-3m) reflections from gemmi with d > 0.7, and the
                   time-of-flight channel t / 4 us of t = 505.556 L d sin(theta), L = 21.13 m,
                   theta = 76 degrees

fitra_bench.txt (beside it; the benchmark's fixture): 4000 channels, background 100 + 20 u over
  channels 1..4000, ten Gauss (W0 6) and ten Lorentz (W0 3) peaks alternating every 190 channels from
  205, amplitudes 2000 + 150 i, Poisson counts (seed 32):
  bench ch y e
  peak model position amplitude width

Usage: gen_fitra_golden.py [file]   (default: tests/peaks/data/fitra_golden.txt)
Exits with status 3 when numpy, scipy or gemmi is missing.
"""
import math
import os
import sys

try:
    import numpy as np
    import scipy.integrate
    import scipy.optimize
    import gemmi
except ImportError:
    sys.exit(3)

FIRST, LAST = 21, 380
LN4 = 1.3862942  # the program's decay constant of the exponential model


def gauss_table():
    t = [0.0] + [math.exp(-1.1 * ((97 - i) / 32.0) ** 2) for i in range(1, 194)]
    half, m = 96, 193
    mx = max(t[1:])
    h = mx / 2
    i = 1
    while i < m and t[i] < h:
        i += 1
    j = m
    while j > 1 and t[j] < h:
        j -= 1
    fl = (t[i] - h) / (t[i] - t[i - 1])
    fr = (t[j] - h) / (t[j] - t[j + 1])
    fw = (j - i) + abs(fl) + abs(fr)
    s = sum(t[2 * k - 1] + 2 * t[2 * k] for k in range(1, half + 1))
    area = (1.0 / fw) * (2.0 / 3.0) * s
    return fw, area, half / fw


FW, AREA, GCUT = gauss_table()


def gauss_tail(a):
    """The table's fall to zero over its last two steps, a = |t| in table points (94 <= a <= 96):
    the Hermite cubic from point 94 to 95 (central slopes, point 96 counted as 0), then the quartic
    (1 - s)^3 (y95 + b s) with zero value, slope and curvature at 96."""
    y93, y94, y95 = (math.exp(-1.1 * (k / 32.0) ** 2) / AREA for k in (93, 94, 95))
    m94, m95 = 0.5 * (y95 - y93), -0.5 * y94
    s = a - np.floor(np.minimum(a, 95.999999999))
    cubic = (y94 + m94 * s + (3 * (y95 - y94) - 2 * m94 - m95) * s * s + (2 * (y94 - y95) + m94 + m95) * s ** 3)
    b = m95 + 3 * y95
    return np.where(a < 95, cubic, (1 - s) ** 3 * (y95 + b * s))


def shape(model, z):
    if model == 1:
        a = np.abs(z) * 96 / GCUT
        inner = np.exp(-1.1 * (z * FW / 32.0) ** 2) / AREA
        return np.where(a <= 94, inner, np.where(a <= 96, gauss_tail(np.minimum(a, 96)), 0.0))
    r = np.clip((15.0 - np.abs(z)) / 3.0, 0.0, 1.0)
    return r ** 4 * (35 - 84 * r + 70 * r ** 2 - 20 * r ** 3) / (np.pi * (1.0 + z * z))


MODELS = [1, 2, 1, 1, 2]
NAMES = (["b0", "b1"] + ["A%d" % i for i in range(1, 6)] + ["P%d" % i for i in range(1, 6)]
         + ["W0_1", "W0_2", "W1_1", "W1_2"])
TRUTH = [50.0, 10.0, 3000.0, 2000.0, 4000.0, 2500.0, 1500.0, 80.3, 150.6, 220.2, 232.9, 320.4,
         8.0, 3.0, 1.0, 0.5]


def model(p, x):
    u = (2 * x - FIRST - LAST) / (LAST - FIRST)
    f = p[0] + p[1] * u
    for i, m in enumerate(MODELS):
        w = p[12 + m - 1] + p[14 + m - 1] * (2 * p[7 + i] - FIRST - LAST) / (LAST - FIRST)
        f = f + p[2 + i] * shape(m, (x - p[7 + i]) / w)
    return f


def peak_area(p, i):
    """The whole area of peak i: scipy.integrate.quad of |A| F0((x - P)/w) over the shape's whole
    range (the Gauss table's, the Lorentz's whole line, not its fit's tapered reach)."""
    m = MODELS[i]
    w = p[12 + m - 1] + p[14 + m - 1] * (2 * p[7 + i] - FIRST - LAST) / (LAST - FIRST)
    if m == 1:
        f = lambda x: math.exp(-1.1 * ((x - p[7 + i]) / w * FW / 32.0) ** 2) / AREA
        lo, hi = p[7 + i] - GCUT * w, p[7 + i] + GCUT * w
    else:
        f = lambda x: 1.0 / (math.pi * (1.0 + ((x - p[7 + i]) / w) ** 2))
        lo, hi = -np.inf, np.inf
    s, _ = scipy.integrate.quad(f, lo, hi, points=None if m == 2 else [p[7 + i]], epsabs=0, epsrel=1e-12,
                                limit=200)
    return abs(p[2 + i]) * s


def errors(jac):
    return np.sqrt(np.diag(np.linalg.inv(jac.T @ jac)))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "peaks", "data", "fitra_golden.txt")
    lines = ["# generated by tools/gen_fitra_golden.py"]
    rng = np.random.default_rng(30)
    ch = np.arange(1, 401, dtype=float)
    y = rng.poisson(np.maximum(model(np.array(TRUTH), ch), 0.0)).astype(float)
    e = np.sqrt(y + 1)
    lines += ["sp %d %.0f %.17g" % (c, v, s) for c, v, s in zip(ch, y, e)]
    lines += ["true %s %.17g" % (n, v) for n, v in zip(NAMES, TRUTH)]
    sel = (ch >= FIRST) & (ch <= LAST)
    x, yy, ee = ch[sel], y[sel], e[sel]
    start = np.array(TRUTH)
    res = scipy.optimize.least_squares(lambda p: (yy - model(p, x)) / ee, start, jac="3-point",
                                       xtol=1e-15, ftol=1e-15, gtol=1e-15, max_nfev=20000)
    err = errors(res.jac)
    lines += ["fit %s %.17g %.17g" % (n, v, s) for n, v, s in zip(NAMES, res.x, err)]
    lines.append("chi2df %.17g" % (np.sum(res.fun ** 2) / (len(x) - len(start))))
    cov = np.linalg.inv(res.jac.T @ res.jac)
    for i in range(len(MODELS)):
        area = lambda p: peak_area(p, i)
        g = np.array([(area(res.x + h * np.eye(len(start))[k]) - area(res.x - h * np.eye(len(start))[k])) / (2 * h)
                      for k, h in enumerate(1e-5 * np.maximum(1.0, np.abs(res.x)))])
        lines.append("area A%d %.17g %.17g" % (i + 1, area(res.x), math.sqrt(g @ cov @ g)))

    rng = np.random.default_rng(31)
    xe = np.arange(1, 301, dtype=float)

    def decay(x, b, a1, a2, w1, w2):
        return b + a1 * np.exp(-LN4 * (x - 1) / w1) + a2 * np.exp(-LN4 * (x - 1) / w2)

    ye = rng.poisson(decay(xe, 5, 4000, 1500, 60, 20)).astype(float)
    se = np.sqrt(ye + 1)
    lines += ["expsp %d %.0f %.17g" % (c, v, s) for c, v, s in zip(xe, ye, se)]
    p, cov = scipy.optimize.curve_fit(decay, xe, ye, p0=[4, 3000, 1000, 50, 25], sigma=se,
                                      absolute_sigma=True, xtol=1e-15, ftol=1e-15, maxfev=20000)
    for n, v, s in zip(["B", "A1", "A2", "W1", "W2"], p, np.sqrt(np.diag(cov))):
        lines.append("expfit %s %.17g %.17g" % (n, v, s))

    st = gemmi.SmallStructure()
    st.cell = gemmi.UnitCell(2.8665, 2.8665, 2.8665, 90, 90, 90)
    st.spacegroup_hm = "I m -3 m"
    st.add_site(gemmi.SmallStructure.Site())
    sg = gemmi.find_spacegroup_by_name("I m -3 m")
    ops = sg.operations()
    seen = set()
    k = 505.556 * 21.13 * math.sin(math.radians(76.0)) / 4.0
    for h in range(0, 8):
        for kk in range(0, h + 1):
            for l in range(0, kk + 1):
                if (h, kk, l) == (0, 0, 0) or ops.is_systematically_absent([h, kk, l]):
                    continue
                d = st.cell.calculate_d([h, kk, l])
                if d > 0.7 and (h, kk, l) not in seen:
                    seen.add((h, kk, l))
                    lines.append("hkl %d %d %d %.17g %.17g" % (h, kk, l, d, k * d))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")
    write_bench(os.path.join(os.path.dirname(out), "fitra_bench.txt"))


def write_bench(out):
    rng = np.random.default_rng(32)
    x = np.arange(1, 4001, dtype=float)
    u = (2 * x - 1 - 4000) / 3999
    f = 100 + 20 * u
    peaks = []
    for i in range(20):
        m, w = (1, 6.0) if i % 2 == 0 else (2, 3.0)
        p, a = 205.0 + 190 * i + 0.37, 2000.0 + 150 * i
        f = f + a * shape(m, (x - p) / w)
        peaks.append("peak %d %.17g %.17g %.17g" % (m, p, a, w))
    y = rng.poisson(f).astype(float)
    lines = ["# generated by tools/gen_fitra_golden.py"]
    lines += ["bench %d %.0f %.17g" % (c, v, math.sqrt(v + 1)) for c, v in zip(x, y)]
    with open(out, "w") as fh:
        fh.write("\n".join(lines + peaks) + "\n")


main()
