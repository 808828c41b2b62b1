#!/usr/bin/python3
"""Independent truth for the powder indexing, from gemmi and numpy.

Usage:
  gen_indexing_golden.py [output]          writes tests/indexing/data/indexing_golden.txt
  gen_indexing_golden.py errors IN OUT     parameter errors of a fitted cell (see below)

Golden rows:
  d <system> a b c alpha beta gamma h k l d      gemmi UnitCell.calculate_d; systems 1..7 as the
                                                  indexing numbers them (monoclinic b unique,
                                                  rhombohedral on rhombohedral axes)
  line <d>                                        the 20 largest distinct d of P 5.1 6.3 7.7
  rhombo <a> <alpha> <dmin> then dset <d>         distinct d >= dmin of the primitive
                                                  rhombohedral cell (R 3:R has no absences)
  grid <radices...> | <t> <digits...>             numpy.unravel_index(t - 1, bin counts)

The refine mode (gen_indexing_golden.py refine IN OUT) reads "cell ...", "free ..." and "line d h k l"
rows and writes the free parameters at the least-squares optimum of sum (d - d_calc)^2 over the
lines (scipy.optimize.least_squares on gemmi's d, from the cell given).

The errors mode reads "cell a b c alpha beta gamma", "weight w", "damp x", "free i..." (0-based
cell parameters that are free) and "hkl h k l" rows; it writes the standard deviations
sqrt(diag(inv(N))) of the free parameters, N = J^T W J with the diagonal times (1 + damp), where J
holds central differences of gemmi's d by a, b, c and the cosines of the angles.
"""
import math
import sys

try:
    import gemmi
    import numpy as np
except ImportError as e:
    sys.exit("gen_indexing_golden.py needs python3-gemmi and python3-numpy: %s" % e)

OUT = "tests/indexing/data/indexing_golden.txt"


def random_cell(rng, system):
    a, b, c = rng.uniform(3, 12, 3)
    al, be, ga = 90.0, 90.0, 90.0
    if system == 1:
        while True:
            al, be, ga = rng.uniform(70, 115, 3)
            if gemmi.UnitCell(a, b, c, al, be, ga).volume > 0.3 * a * b * c:
                break
    elif system == 2:
        be = rng.uniform(92, 125)
    elif system == 4:
        b = a
    elif system == 5:
        b = c = a
    elif system == 6:
        b, ga = a, 120.0
    elif system == 7:
        b = c = a
        al = be = ga = rng.uniform(50, 110)
    return [float(x) for x in (a, b, c, al, be, ga)]


def d_rows(rng):
    rows = [(5, [4.0, 4.0, 4.0, 90.0, 90.0, 90.0], (1, 1, 1)),
            (6, [3.0, 3.0, 5.0, 90.0, 90.0, 120.0], (1, 0, 0))]
    for system in range(1, 8):
        for _ in range(6):
            cell = random_cell(rng, system)
            for _ in range(8):
                hkl = tuple(int(x) for x in rng.integers(-6, 7, 3))
                if hkl == (0, 0, 0):
                    hkl = (1, 0, 0)
                rows.append((system, cell, hkl))
    out = []
    for system, cell, hkl in rows:
        d = gemmi.UnitCell(*cell).calculate_d(list(hkl))
        out.append("d %d %s %d %d %d %.17g" % (system, " ".join("%.17g" % x for x in cell), *hkl, d))
    return out


def distinct_d(cell, dmin, box):
    uc = gemmi.UnitCell(*cell)
    ds = []
    r = range(-box, box + 1)
    for h in r:
        for k in r:
            for l in r:
                if (h, k, l) == (0, 0, 0):
                    continue
                d = uc.calculate_d([h, k, l])
                if d >= dmin:
                    ds.append(d)
    ds.sort(reverse=True)
    out = []
    for d in ds:
        if not out or out[-1] - d > 1e-9 * d:
            out.append(d)
    return out


def golden(path):
    rng = np.random.default_rng(20261207)
    lines = ["# written by tools/gen_indexing_golden.py (gemmi %s, numpy %s)" % (gemmi.__version__, np.__version__)]
    lines += d_rows(rng)
    for d in distinct_d([5.1, 6.3, 7.7, 90, 90, 90], 0.0, 6)[:20]:
        lines.append("line %.17g" % d)
    a, alpha, dmin = 5.0, 70.0, 2.0
    assert not gemmi.SpaceGroup("R 3:R").operations().is_systematically_absent([1, 0, 0])
    lines.append("rhombo %.17g %.17g %.17g" % (a, alpha, dmin))
    for d in distinct_d([a, a, a, alpha, alpha, alpha], dmin, 8):
        lines.append("dset %.17g" % d)
    for shape in ([16, 16, 16], [6, 6, 6, 2, 2, 2], [8, 8, 8, 1, 4, 1, 1, 1, 1], [50, 1, 1, 1, 1, 1]):
        total = int(np.prod(shape))
        picks = sorted({1, 2, 3, total, total - 1} | {int(x) for x in rng.integers(1, total + 1, 6)})
        lines.append("grid " + " ".join(map(str, shape)))
        for t in picks:
            digits = np.unravel_index(t - 1, shape)
            lines.append("trial %d %s" % (t, " ".join(str(int(x)) for x in digits)))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def errors(src, dst):
    cell, weight, damp, free, hkls = None, None, None, None, []
    for row in open(src):
        t = row.split()
        if not t:
            continue
        if t[0] == "cell":
            cell = [float(x) for x in t[1:7]]
        elif t[0] == "weight":
            weight = float(t[1])
        elif t[0] == "damp":
            damp = float(t[1])
        elif t[0] == "free":
            free = [int(x) for x in t[1:]]
        elif t[0] == "hkl":
            hkls.append([int(x) for x in t[1:4]])

    # Parameters as the indexing holds them: a, b, c and the cosines of the angles.
    def d_of(p, hkl):
        ang = [math.degrees(math.acos(x)) for x in p[3:6]]
        return gemmi.UnitCell(p[0], p[1], p[2], *ang).calculate_d(hkl)

    p0 = cell[:3] + [math.cos(math.radians(x)) for x in cell[3:6]]
    J = np.zeros((len(hkls), len(free)))
    for col, i in enumerate(free):
        h = 1e-6 * max(abs(p0[i]), 1.0)
        up, dn = list(p0), list(p0)
        up[i] += h
        dn[i] -= h
        for row, hkl in enumerate(hkls):
            J[row, col] = (d_of(up, hkl) - d_of(dn, hkl)) / (2 * h)
    N = weight * J.T @ J
    N[np.diag_indices_from(N)] *= 1 + damp
    err = np.sqrt(np.abs(np.diag(np.linalg.inv(N))))
    with open(dst, "w") as f:
        f.write(" ".join("%.17g" % e for e in err) + "\n")


def refine(src, dst):
    from scipy.optimize import least_squares
    cell, free, lines = None, None, []
    for row in open(src):
        t = row.split()
        if t and t[0] == "cell":
            cell = [float(x) for x in t[1:7]]
        elif t and t[0] == "free":
            free = [int(x) for x in t[1:]]
        elif t and t[0] == "line":
            lines.append((float(t[1]), [int(x) for x in t[2:5]]))

    def residuals(x):
        p = list(cell)
        for i, v in zip(free, x):
            p[i] = v
        uc = gemmi.UnitCell(*p)
        return np.array([d - uc.calculate_d(hkl) for d, hkl in lines])

    fit = least_squares(residuals, [cell[i] for i in free], xtol=1e-15, ftol=1e-15, gtol=1e-15)
    with open(dst, "w") as f:
        f.write(" ".join("%.17g" % v for v in fit.x) + "\n")


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "errors":
        errors(sys.argv[2], sys.argv[3])
    elif len(sys.argv) >= 2 and sys.argv[1] == "refine":
        refine(sys.argv[2], sys.argv[3])
    else:
        golden(sys.argv[1] if len(sys.argv) > 1 else OUT)
