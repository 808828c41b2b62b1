#!/usr/bin/python3
"""Independent truth for the indexing menu, its results and its d-list tools, from gemmi, numpy
and scipy (fixed seeds).

Usage: gen_celix_golden.py [output]     writes tests/indexing/data/celix_golden.txt

Rows:
  set <name> <system> <type> a b c al be ga volume    a known cell (systems and lattice types as
      sline <d> <error>                               the indexing numbers them, monoclinic b
                                                      unique): its 20 largest distinct d after the
                                                      centring absences (gemmi), lines within
                                                      0.01 A merged, Gaussian noise 1e-4 d
  iv <name> <low> <high> then ivd <d>                 the distinct d of the reflections of the
                                                      holohedral group's asymmetric unit (gemmi)
                                                      inside the interval, descending
  cent <system> <type> <h> <k> <l>                    indices of the 20 largest d of an I, F or C
                                                      cell (gemmi absences)
  fom <nvis> <criterion> <chin> <avgerr>              cubic P 4.0: lines (fline d err dcalc) with
                                                      the merged count of visible reflections, the
                                                      criterion and chi^2 / N(d) by numpy
  fp <kind> <L0> <theta> <D0> <w> <L> <D>             flight path: lines (fpl d err x) from a known
                                                      L, theta, delay; the expected L and delay
                                                      (true ones for kind clean, the bounded
                                                      weighted minimum of scipy least_squares for
                                                      kind noisy)
  mpc <channel> <count> / mp <marked> <refined>       a synthetic spectrum and the refined
                                                      positions of marked points (numpy)
  tt <type> <lambda> <shift> <x> <d>                  Bragg's law with the zero shift
"""
import math
import sys

try:
    import gemmi
    import numpy as np
    from scipy.optimize import least_squares
except ImportError as e:
    sys.exit("gen_celix_golden.py needs python3-gemmi, python3-numpy and python3-scipy: %s" % e)

OUT = "tests/indexing/data/celix_golden.txt"
HOLOHEDRY = {
    (5, 0): "P m -3 m", (5, 4): "F m -3 m", (5, 5): "I m -3 m", (4, 0): "P 4/m m m", (4, 5): "I 4/m m m",
    (6, 0): "P 6/m m m", (3, 0): "P m m m", (3, 3): "C m m m", (2, 0): "P 1 2/m 1",
}
SETS = [  # name, system, type, cell
    ("cubicF", 5, 4, (5.43, 5.43, 5.43, 90, 90, 90)),
    ("tetraI", 4, 5, (4.1, 4.1, 9.7, 90, 90, 90)),
    ("hexP", 6, 0, (3.2, 3.2, 5.2, 90, 90, 120)),
    ("monoP", 2, 0, (5.2, 6.1, 7.3, 90, 104.5, 90)),
]


def reflections(cell, sgname, dmin):
    """(d, h, k, l) of the asymmetric unit without absences, d >= dmin, descending."""
    sg = gemmi.SpaceGroup(sgname)
    asu = gemmi.ReciprocalAsu(sg)
    ops = sg.operations()
    uc = gemmi.UnitCell(*cell)
    m = int(max(cell[:3]) / dmin) + 2
    out = []
    for h in range(-m, m + 1):
        for k in range(-m, m + 1):
            for l in range(-m, m + 1):
                if (h, k, l) == (0, 0, 0) or not asu.is_in([h, k, l]) or ops.is_systematically_absent([h, k, l]):
                    continue
                d = uc.calculate_d([h, k, l])
                if d >= dmin:
                    out.append((d, h, k, l))
    out.sort(key=lambda r: (-r[0], r[1], r[2], r[3]))
    return out


def largest_lines(cell, sgname, n=20):
    d = sorted({round(r[0], 12) for r in reflections(cell, sgname, 0.6)}, reverse=True)
    merged = []
    for x in d:
        if merged and merged[-1] - x < 0.01:
            continue
        merged.append(x)
    return merged[:n]


def sets(rng, out):
    for name, system, ltype, cell in SETS:
        out.append("set %s %d %d %s %r" % (name, system, ltype, " ".join(repr(float(v)) for v in cell),
                                           gemmi.UnitCell(*cell).volume))
        for d in largest_lines(cell, HOLOHEDRY[(system, ltype)]):
            err = 1e-4 * d
            out.append("sline %r %r" % (d + rng.normal(0, err), err))
        lines = largest_lines(cell, HOLOHEDRY[(system, ltype)])
        low, high = 0.5 * (lines[12] + lines[13]), 0.5 * (lines[1] + lines[2])  # no reflection near an end
        out.append("iv %s %r %r" % (name, low, high))
        # Reflections of equal d (a metric coincidence such as 511 and 333) are listed once.
        for d in sorted({round(r[0], 9) for r in reflections(cell, HOLOHEDRY[(system, ltype)], low)}, reverse=True):
            if low <= d <= high:
                out.append("ivd %r" % d)


def centrings(out):
    for system, ltype, cell in ((5, 5, (4.0, 4.0, 4.0, 90, 90, 90)), (5, 4, (5.0, 5.0, 5.0, 90, 90, 90)),
                                (3, 3, (4.0, 5.0, 6.0, 90, 90, 90))):
        for d, h, k, l in reflections(cell, HOLOHEDRY[(system, ltype)], 0.8)[:20]:
            out.append("cent %d %d %d %d %d" % (system, ltype, h, k, l))


def figures_of_merit(rng, out):
    cell = (4.0, 4.0, 4.0, 90, 90, 90)
    refl = reflections(cell, "P m -3 m", 0.9)
    distinct = sorted({round(r[0], 12) for r in refl}, reverse=True)[:12]
    del distinct[5]  # one line not observed
    err = rng.uniform(0.004, 0.012, len(distinct))
    dexp = np.array(distinct) + rng.normal(0, 1, len(distinct)) * err * 0.5
    avg = float(np.mean(err))
    low, high = dexp[-1] - 0.001, dexp[0] + 0.01
    calc = sorted((r[0] for r in refl if low <= r[0] <= high), reverse=True)
    while len(calc) >= 2:
        gaps = [abs(calc[i] - calc[i - 1]) for i in range(1, len(calc))]
        i = int(np.argmin(gaps)) + 1
        if gaps[i - 1] > 1.4 * avg:
            break
        calc[i] = 0.5 * (calc[i] + calc[i - 1])
        del calc[i - 1]
    mean_dev = float(np.mean(np.abs(dexp - np.array(distinct))))
    crit = 1 / (max(abs(len(calc) - len(distinct)), 1) * max(mean_dev, 1e-5))
    chin = float(np.sum(((dexp - np.array(distinct)) / err) ** 2)) / max(len(distinct) - 1, 1)
    out.append("fom %d %r %r %r" % (len(calc), crit, chin, avg))
    for d, e, c in zip(dexp, err, distinct):
        out.append("fline %r %r %r" % (d, e, c))


def flight_path(rng, out):
    cell = (4.0, 4.0, 4.0, 90, 90, 90)
    d = np.array(sorted({round(r[0], 12) for r in reflections(cell, "P m -3 m", 0.8)}, reverse=True)[:12])
    L, theta, delay, w = 21.0, 76.0, 0.3, 4.0
    s = math.sin(theta / 57.2958)
    x = 505.556 * L * d * s / w - delay
    for kind in ("clean", "noisy"):
        err = 2e-4 * d
        dexp = d if kind == "clean" else d + rng.normal(0, 1, len(d)) * err
        L0, D0 = 21.05, 0.0
        if kind == "clean":
            Lx, Dx = L, delay
        else:
            # Weights 1/error on the squared residual: residual sqrt(1/error) (d - model).
            f = lambda p: np.sqrt(1 / err) * (dexp - (x + p[1]) * w / (505.556 * p[0] * s))
            r = least_squares(f, [L0, D0], bounds=([L0 - 0.1, D0 - 1], [L0 + 0.1, D0 + 1]), xtol=1e-14,
                              ftol=1e-14, gtol=1e-14)
            Lx, Dx = r.x
        out.append("fp %s %r %r %r %r %r %r" % (kind, L0, theta, D0, w, Lx, Dx))
        for a, b, c in zip(dexp, err, x):
            out.append("fpl %r %r %r" % (a, b, c))


def marked_points(out):
    c = np.arange(1, 101)
    y = 5 + 400 * np.exp(-0.5 * ((c - 30.3) / 1.6) ** 2) + 250 * np.exp(-0.5 * ((c - 61.8) / 1.2) ** 2)
    y = np.round(y)
    for ch, v in zip(c, y):
        out.append("mpc %d %r" % (ch, float(v)))
    Y = np.concatenate(([0.0], y))
    for marked in (28.0, 33.0, 60.0, 63.4):
        k = int(np.round(marked))
        best = k
        for j in range(k - 3, k + 4):
            if Y[j] > Y[best]:
                best = j
        js = np.arange(-2, 3)
        p = best + np.sum(js * np.abs(Y[best + js])) / max(np.sum(np.abs(Y[best + js])), 1.0)
        out.append("mp %r %r" % (marked, float(p)))


def two_thetas(out):
    for ttype, x in ((2, 35.2), (1, 17.6), (2, 80.0)):
        for shift in (0.0, -0.15):
            lam = 1.5406
            two_theta = (2 * x if ttype == 1 else x) + shift
            out.append("tt %d %r %r %r %r" % (ttype, lam, shift, x, lam / (2 * math.sin(two_theta / 2 / 57.2958))))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else OUT
    rng = np.random.default_rng(20261207)
    out = ["# written by tools/gen_celix_golden.py (gemmi %s, numpy %s)" % (gemmi.__version__, np.__version__)]
    sets(rng, out)
    centrings(out)
    figures_of_merit(rng, out)
    flight_path(rng, out)
    marked_points(out)
    two_thetas(out)
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
