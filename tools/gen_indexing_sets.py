#!/usr/bin/python3
"""The acceptance set of the powder indexing: measured lines of known cells of every crystal
system and lattice type, from gemmi and numpy with a fixed seed.

Usage: gen_indexing_sets.py [--count N] [--seed S] [output]
  writes tests/indexing/data/indexing_sets.txt (N = 1 cell per lattice type and tier)

Rows:
  case <id> <lattice> <tier> <system> <type> a b c alpha beta gamma
      (systems and lattice types as the indexing numbers them: 1 triclinic .. 7 rhombohedral on
      rhombohedral axes, monoclinic b unique; types 0 P, 3 C, 4 F, 5 I, 6 R)
  l <d> <error>                 the lines of the case, d descending

Lines: d from gemmi UnitCell.calculate_d, absences of a group of the lattice with centring
absences only, lines closer than 0.01 A merged, the 20 largest, Gaussian noise 1e-4 d with that
error. Tiers: clean; missing (two lines drawn among lines 3 to 20 removed); impurity (one or two
lines uniform in the d range, none within 3 sigma of a true line). Cells: edges 3 to 12 A,
volumes 40 to 1500 A^3, every edge inside the reach of the automatic preparation (edges at most
2 (d1 + 0.25), every index of the lines within the automatic hkl bound).
"""
import math
import sys

try:
    import gemmi
    import numpy as np
except ImportError as e:
    sys.exit("gen_indexing_sets.py needs python3-gemmi and python3-numpy: %s" % e)

OUT = "tests/indexing/data/indexing_sets.txt"
LATTICES = [  # name, system, type, group
    ("cP", 5, 0, "P m -3 m"), ("cI", 5, 5, "I m -3 m"), ("cF", 5, 4, "F m -3 m"),
    ("tP", 4, 0, "P 4/m m m"), ("tI", 4, 5, "I 4/m m m"), ("hP", 6, 0, "P 6/m m m"),
    ("hR", 7, 6, "R -3 m:R"), ("oP", 3, 0, "P m m m"), ("oC", 3, 3, "C m m m"),
    ("oI", 3, 5, "I m m m"), ("oF", 3, 4, "F m m m"), ("mP", 2, 0, "P 1 2/m 1"),
    ("mC", 2, 3, "C 1 2/m 1"), ("aP", 1, 0, "P -1"),
]
TIERS = ("clean", "missing", "impurity")


def draw_cell(rng, system):
    a, b, c = rng.uniform(3, 12, 3)
    al = be = ga = 90.0
    if system == 1:
        al, be, ga = rng.uniform(95, 120), rng.uniform(95, 120), rng.uniform(80, 110)
    elif system == 2:
        be = rng.uniform(95, 125)
    elif system == 4:
        b = a
    elif system == 5:
        b = c = a
    elif system == 6:
        b, ga = a, 120.0
    elif system == 7:
        b = c = a
        al = be = ga = rng.uniform(50, 85)
    return (a, b, c, al, be, ga)


def lines_of(cell, group):
    """The 20 largest merged d with the largest |index| of each, or None."""
    uc = gemmi.UnitCell(*cell)
    ops = gemmi.SpaceGroup(group).operations()
    m = 14
    refl = []
    for h in range(-m, m + 1):
        for k in range(-m, m + 1):
            for l in range(-m, m + 1):
                if (h, k, l) != (0, 0, 0) and not ops.is_systematically_absent([h, k, l]):
                    refl.append((uc.calculate_d([h, k, l]), max(abs(h), abs(k), abs(l))))
    refl.sort(key=lambda r: -r[0])
    merged = []  # [d, smallest largest-index among the merged reflections]
    for d, top in refl:
        if merged and merged[-1][0] - d < 0.01:
            merged[-1][1] = min(merged[-1][1], top)
            continue
        if len(merged) == 20:
            break
        merged.append([d, top])
    return merged if len(merged) == 20 else None


def acceptable(cell, lines):
    volume = gemmi.UnitCell(*cell).volume
    if not 40 <= volume <= 1500 or lines is None:
        return False
    d1, dlast = lines[0][0], lines[-1][0]
    if max(cell[:3]) > 2 * (d1 + 0.25):  # the upper bound of the automatic start cell
        return False
    bound = round(d1 / dlast + 0.5) + 2
    return all(top <= bound for _, top in lines)


def tiered(rng, tier, lines):
    d = np.array([x for x, _ in lines])
    err = 1e-4 * d
    obs = d + rng.normal(0, 1, len(d)) * err
    rows = list(zip(obs, err))
    if tier == "missing":
        drop = set(rng.choice(np.arange(2, 20), 2, replace=False))
        rows = [r for i, r in enumerate(rows) if i not in drop]
    elif tier == "impurity":
        for _ in range(int(rng.integers(1, 3))):
            while True:
                x = rng.uniform(d[-1], d[0])
                if np.all(np.abs(d - x) > 3 * 1e-4 * x):
                    break
            rows.append((x, 1e-4 * x))
    return sorted(rows, key=lambda r: -r[0])


def main():
    args = sys.argv[1:]
    count, seed, path = 1, 20261207, OUT
    while args:
        a = args.pop(0)
        if a == "--count":
            count = int(args.pop(0))
        elif a == "--seed":
            seed = int(args.pop(0))
        else:
            path = a
    rng = np.random.default_rng(seed)
    out = ["# written by tools/gen_indexing_sets.py --count %d --seed %d (gemmi %s, numpy %s)"
           % (count, seed, gemmi.__version__, np.__version__)]
    n = 0
    for name, system, ltype, group in LATTICES:
        for tier in TIERS:
            for _ in range(count):
                while True:
                    cell = draw_cell(rng, system)
                    lines = lines_of(cell, group)
                    if acceptable(cell, lines):
                        break
                n += 1
                text = " ".join("%.6f" % v for v in cell)
                out.append("case %d %s %s %d %d %s" % (n, name, tier, system, ltype, text))
                for d, e in tiered(rng, tier, lines):
                    out.append("l %.7f %.7f" % (d, e))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
