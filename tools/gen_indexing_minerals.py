#!/usr/bin/python3
"""Measured-quality d-lists of real minerals and of random cells for the powder indexing, from
published cells and space groups with gemmi and numpy (fixed seed).

Usage: gen_indexing_minerals.py [--all] [--more] [--random N] [--seed S] [--noise R[,R...]]
                                [--early K] [--lines N[-M]] [--impurities K[-L]] [output]
  without --all the tests' set of 23 minerals, with it every one
  --more     also the second set of structures (perovskites, alums, long-c hexagonals, layered
             rhombohedra, monoclinic cells of beta 112-116 degrees, triclinic cells, large cubic
             and tetragonal cells)
  --random N N random cells of every lattice type besides the minerals (default 0)
  --noise R  relative error of the lines (default 1e-4); several: each list draws one of them
  --early K  K impurity lines (1 or 2) among the first lines instead of one anywhere: one
             becomes line 2..6, two fall among lines 2..10
  --lines N-M      each list holds N to M true lines before the missing one is dropped (default 20)
  --impurities K-L each list draws K to L impurity lines anywhere in its d range (default 1;
                   with --early the early ones are added to them less one)
  writes tests/indexing/data/indexing_minerals.txt by default

Rows as tools/gen_indexing_sets.py writes them (the tier field holds the mineral's name, or
"random"):
  case <id> <lattice> <name> <system> <type> a b c alpha beta gamma
  l <d> <error>

Lines: d from gemmi UnitCell.calculate_d with the systematic absences of the mineral's space
group; reflections closer than 2e-4 d (twice the noise) merged into their mean, as a measurement
resolves them; the 20 largest d; Gaussian noise of
1e-4 d with that error; then one line drawn among lines 2 to 20 removed (missing) and one
impurity line added, uniform in the d range and at least 3 sigma from every true line. Centred
triclinic cells (feldspars) are given as their primitive Niggli cell; rhombohedral cells on
rhombohedral axes; monoclinic cells b unique.
"""
import math
import os
import sys

try:
    import gemmi
    import numpy as np
except ImportError as e:
    sys.exit("gen_indexing_minerals.py needs python3-gemmi and python3-numpy: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_indexing_sets import LATTICES, draw_cell  # noqa: E402

OUT = "tests/indexing/data/indexing_minerals.txt"
TYPES = {"P": 0, "A": 1, "B": 2, "C": 3, "F": 4, "I": 5, "R": 6}
# name, system (1 triclinic .. 7 rhombohedral), space group, cell (hexagonal axes for R groups)
MINERALS = [
    ("halite", 5, "F m -3 m", (5.6402, 5.6402, 5.6402, 90, 90, 90)),
    ("periclase", 5, "F m -3 m", (4.2112, 4.2112, 4.2112, 90, 90, 90)),
    ("spinel", 5, "F d -3 m", (8.0833, 8.0833, 8.0833, 90, 90, 90)),
    ("fluorite", 5, "F m -3 m", (5.4626, 5.4626, 5.4626, 90, 90, 90)),
    ("pyrite", 5, "P a -3", (5.4179, 5.4179, 5.4179, 90, 90, 90)),
    ("sodalite", 5, "P -4 3 n", (8.870, 8.870, 8.870, 90, 90, 90)),
    ("cuprite", 5, "P n -3 m", (4.2696, 4.2696, 4.2696, 90, 90, 90)),
    ("iron", 5, "I m -3 m", (2.8665, 2.8665, 2.8665, 90, 90, 90)),
    ("pyrope", 5, "I a -3 d", (11.459, 11.459, 11.459, 90, 90, 90)),
    ("rutile", 4, "P 42/m n m", (4.5937, 4.5937, 2.9587, 90, 90, 90)),
    ("anatase", 4, "I 41/a m d :1", (3.7845, 3.7845, 9.5143, 90, 90, 90)),
    ("zircon", 4, "I 41/a m d :1", (6.6042, 6.6042, 5.9796, 90, 90, 90)),
    ("cassiterite", 4, "P 42/m n m", (4.7382, 4.7382, 3.1871, 90, 90, 90)),
    ("scheelite", 4, "I 41/a :1", (5.2429, 5.2429, 11.3737, 90, 90, 90)),
    ("chalcopyrite", 4, "I -4 2 d", (5.289, 5.289, 10.423, 90, 90, 90)),
    ("wulfenite", 4, "I 41/a :1", (5.433, 5.433, 12.110, 90, 90, 90)),
    ("quartz", 6, "P 32 2 1", (4.9134, 4.9134, 5.4052, 90, 90, 120)),
    ("zincite", 6, "P 63 m c", (3.2498, 3.2498, 5.2066, 90, 90, 120)),
    ("beryl", 6, "P 6/m c c", (9.2088, 9.2088, 9.1900, 90, 90, 120)),
    ("fluorapatite", 6, "P 63/m", (9.3973, 9.3973, 6.8782, 90, 90, 120)),
    ("nepheline", 6, "P 63", (9.993, 9.993, 8.374, 90, 90, 120)),
    ("cinnabar", 6, "P 31 2 1", (4.149, 4.149, 9.495, 90, 90, 120)),
    ("berlinite", 6, "P 31 2 1", (4.9423, 4.9423, 10.9446, 90, 90, 120)),
    ("calcite", 7, "R -3 c:H", (4.9896, 4.9896, 17.0610, 90, 90, 120)),
    ("corundum", 7, "R -3 c:H", (4.7589, 4.7589, 12.991, 90, 90, 120)),
    ("hematite", 7, "R -3 c:H", (5.0356, 5.0356, 13.7489, 90, 90, 120)),
    ("dolomite", 7, "R -3:H", (4.8069, 4.8069, 16.0034, 90, 90, 120)),
    ("phenakite", 7, "R -3:H", (12.472, 12.472, 8.252, 90, 90, 120)),
    ("millerite", 7, "R 3 m:H", (9.6190, 9.6190, 3.1499, 90, 90, 120)),
    ("forsterite", 3, "P n m a", (10.1978, 5.9817, 4.7553, 90, 90, 90)),
    ("aragonite", 3, "P n m a", (5.7404, 4.9614, 7.9671, 90, 90, 90)),
    ("barite", 3, "P n m a", (8.8842, 5.4559, 7.1569, 90, 90, 90)),
    ("anhydrite", 3, "A m m a", (6.993, 6.995, 6.245, 90, 90, 90)),
    ("topaz", 3, "P b n m", (4.6499, 8.7968, 8.3909, 90, 90, 90)),
    ("celestine", 3, "P n m a", (8.359, 5.352, 6.866, 90, 90, 90)),
    ("marcasite", 3, "P n n m", (4.4446, 5.4246, 3.3864, 90, 90, 90)),
    ("stibnite", 3, "P b n m", (11.229, 11.310, 3.8389, 90, 90, 90)),
    ("hemimorphite", 3, "I m m 2", (8.367, 10.730, 5.115, 90, 90, 90)),
    ("lawsonite", 3, "C m c m", (5.847, 8.790, 13.128, 90, 90, 90)),
    ("andalusite", 3, "P n n m", (7.798, 7.903, 5.557, 90, 90, 90)),
    ("TiSi2", 3, "F d d d", (8.267, 4.800, 8.550, 90, 90, 90)),
    ("leucite", 4, "I 41/a :1", (13.09, 13.09, 13.75, 90, 90, 90)),
    ("gypsum", 2, "C 1 2/c 1", (5.679, 15.202, 6.522, 90, 118.43, 90)),
    ("orthoclase", 2, "C 1 2/m 1", (8.5632, 12.963, 7.2099, 90, 116.01, 90)),
    ("diopside", 2, "C 1 2/c 1", (9.746, 8.899, 5.251, 90, 105.63, 90)),
    ("baddeleyite", 2, "P 1 21/c 1", (5.1454, 5.2075, 5.3107, 90, 99.23, 90)),
    ("monazite", 2, "P 1 21/n 1", (6.7902, 7.0203, 6.4674, 90, 103.38, 90)),
    ("azurite", 2, "P 1 21/c 1", (5.0109, 5.8485, 10.345, 90, 92.43, 90)),
    ("malachite", 2, "P 1 21/a 1", (9.502, 11.974, 3.240, 90, 98.75, 90)),
    ("epidote", 2, "P 1 21/m 1", (8.8877, 5.6275, 10.1517, 90, 115.383, 90)),
    ("realgar", 2, "P 1 21/n 1", (9.325, 13.571, 6.587, 90, 106.43, 90)),
    ("muscovite", 2, "C 1 2/c 1", (5.1906, 9.008, 20.047, 90, 95.757, 90)),
    ("spodumene", 2, "C 1 2/c 1", (9.463, 8.392, 5.218, 90, 110.2, 90)),
    ("tremolite", 2, "C 1 2/m 1", (9.84, 18.05, 5.27, 90, 104.7, 90)),
    ("wolframite", 2, "P 1 2/c 1", (4.78, 5.73, 4.98, 90, 90.3, 90)),
    ("vivianite", 2, "C 1 2/m 1", (10.086, 13.441, 4.703, 90, 104.27, 90)),
    ("jadeite", 2, "C 1 2/c 1", (9.423, 8.564, 5.223, 90, 107.56, 90)),
    ("aegirine", 2, "A 1 2/a 1", (5.294, 8.795, 9.658, 90, 107.42, 90)),
    ("cryolite", 2, "P 1 21/n 1", (5.402, 5.596, 7.756, 90, 90.28, 90)),
    ("kyanite", 1, "P -1", (7.1262, 7.852, 5.5724, 89.99, 101.11, 106.03)),
    ("albite", 1, "C -1", (8.137, 12.785, 7.1583, 94.26, 116.6, 87.67)),
    ("microcline", 1, "C -1", (8.5784, 12.96, 7.2112, 90.3, 116.03, 89.125)),
    ("wollastonite", 1, "P -1", (7.9258, 7.3202, 7.0653, 90.055, 95.217, 103.426)),
    ("chalcanthite", 1, "P -1", (6.1224, 10.7223, 5.9681, 97.58, 107.17, 77.55)),
    ("rhodonite", 1, "P -1", (7.616, 11.851, 6.707, 92.55, 94.35, 105.67)),
    ("turquoise", 1, "P -1", (7.424, 7.629, 9.910, 68.61, 69.71, 65.08)),
    ("axinite", 1, "P -1", (7.156, 9.194, 8.956, 91.8, 98.14, 77.3)),
    ("anorthite", 1, "P -1", (8.177, 12.877, 14.169, 93.1, 115.9, 91.2)),
    # Layered rhombohedra: alpha 24, 23 and 36 degrees on rhombohedral axes.
    ("Bi2Te3", 7, "R -3 m:H", (4.3835, 4.3835, 30.487, 90, 90, 120)),
    ("hydrotalcite", 7, "R -3 m:H", (3.054, 3.054, 22.81, 90, 90, 120)),
    ("CdCl2", 7, "R -3 m:H", (3.854, 3.854, 17.457, 90, 90, 120)),
]
# The second set: structures no earlier tuning used.
MORE = [
    ("SrTiO3", 5, "P m -3 m", (3.9053, 3.9053, 3.9053, 90, 90, 90)),
    ("KMgF3", 5, "P m -3 m", (3.9889, 3.9889, 3.9889, 90, 90, 90)),
    ("galena", 5, "F m -3 m", (5.9362, 5.9362, 5.9362, 90, 90, 90)),
    ("langbeinite", 5, "P 21 3", (9.9211, 9.9211, 9.9211, 90, 90, 90)),
    ("bixbyite", 5, "I a -3", (9.4115, 9.4115, 9.4115, 90, 90, 90)),
    ("potassium alum", 5, "P a -3", (12.157, 12.157, 12.157, 90, 90, 90)),
    ("ammonium alum", 5, "P a -3", (12.242, 12.242, 12.242, 90, 90, 90)),
    ("BaTiO3", 4, "P 4 m m", (3.9945, 3.9945, 4.0335, 90, 90, 90)),
    ("retgersite", 4, "P 41 21 2", (6.782, 6.782, 18.28, 90, 90, 90)),
    ("braunite", 4, "I 41/a c d :1", (9.4318, 9.4318, 18.703, 90, 90, 90)),
    ("hausmannite", 4, "I 41/a m d :1", (5.7621, 5.7621, 9.4696, 90, 90, 90)),
    ("romarchite", 4, "P 4/n m m :1", (3.8029, 3.8029, 4.8382, 90, 90, 90)),
    ("CaTiO3", 3, "P n m a", (5.4423, 7.6401, 5.3796, 90, 90, 90)),
    ("KNbO3", 3, "A m m 2", (3.9714, 5.6946, 5.7203, 90, 90, 90)),
    ("epsomite", 3, "P 21 21 21", (11.868, 11.996, 6.857, 90, 90, 90)),
    ("anglesite", 3, "P n m a", (8.4797, 5.3982, 6.9591, 90, 90, 90)),
    ("fayalite", 3, "P n m a", (10.481, 6.0894, 4.8183, 90, 90, 90)),
    ("BaFe12O19", 6, "P 63/m m c", (5.8920, 5.8920, 23.183, 90, 90, 120)),
    ("Ti3SiC2", 6, "P 63/m m c", (3.0665, 3.0665, 17.671, 90, 90, 120)),
    ("molybdenite", 6, "P 63/m m c", (3.1604, 3.1604, 12.295, 90, 90, 120)),
    ("wurtzite", 6, "P 63 m c", (3.8227, 3.8227, 6.2607, 90, 90, 120)),
    ("LaAlO3", 7, "R -3 c:H", (5.3647, 5.3647, 13.110, 90, 90, 120)),
    ("ilmenite", 7, "R -3:H", (5.0884, 5.0884, 14.0885, 90, 90, 120)),
    ("LiNbO3", 7, "R 3 c:H", (5.1483, 5.1483, 13.8631, 90, 90, 120)),
    ("titanite", 2, "A 1 2/a 1", (7.0570, 8.7220, 6.5600, 90, 113.81, 90)),
    ("petalite", 2, "P 1 2/c 1", (11.737, 5.171, 7.630, 90, 112.54, 90)),
    ("clinozoisite", 2, "P 1 21/m 1", (8.8870, 5.5810, 10.1490, 90, 115.52, 90)),
    ("colemanite", 2, "P 1 21/a 1", (8.743, 11.264, 6.102, 90, 110.12, 90)),
    ("kaolinite", 1, "P 1", (5.1535, 8.9419, 7.3906, 91.926, 105.046, 89.797)),
    ("pectolite", 1, "P -1", (7.988, 7.040, 7.025, 90.54, 95.17, 102.47)),
    ("amblygonite", 1, "P -1", (5.1803, 7.1118, 5.0417, 112.03, 97.82, 68.12)),
    ("sassolite", 1, "P -1", (7.0390, 7.0530, 6.5780, 92.58, 101.17, 119.83)),
]
# The tests' set: a primitive and a centred mineral of every system down to orthorhombic, and the
# first four monoclinic and triclinic ones, whose success rates are lower, a 3_1 screw axis, an
# obtuse rhombohedron, C- and A-centred monoclinic cells and the three acute (layered) rhombohedra.
SUBSET = ("halite", "pyrite", "rutile", "anatase", "quartz", "calcite", "forsterite", "lawsonite",
          "gypsum", "orthoclase", "diopside", "baddeleyite", "kyanite", "albite", "microcline", "wollastonite",
          "cinnabar", "phenakite", "vivianite", "aegirine", "Bi2Te3", "hydrotalcite", "CdCl2")


def rhombohedral_axes(cell):
    """The primitive rhombohedral cell of a hexagonal R cell (obverse)."""
    a, c = cell[0], cell[2]
    ar = math.sqrt(3 * a * a + c * c) / 3
    alpha = math.degrees(math.acos((2 * c * c - 3 * a * a) / (2 * c * c + 6 * a * a)))
    return (ar, ar, ar, alpha, alpha, alpha)


def reflections(cell, group):
    """(d, h, k, l) of every reflection the group allows, d >= the 60th distinct d or so."""
    uc = gemmi.UnitCell(*cell)
    ops = gemmi.SpaceGroup(group).operations()
    m = int(min(24, max(8, math.ceil(max(cell[:3]) / 1.0))))
    out = []
    for h in range(-m, m + 1):
        for k in range(-m, m + 1):
            for l in range(-m, m + 1):
                if (h, k, l) != (0, 0, 0) and not ops.is_systematically_absent([h, k, l]):
                    out.append(uc.calculate_d([h, k, l]))
    return sorted(out, reverse=True)


def true_lines(cell, group, count=20, resolution=2e-4):
    """The count largest lines, reflections within resolution x d merged into their mean."""
    groups = []
    for d in reflections(cell, group):
        if groups and groups[-1][0] - d < resolution * d:
            groups[-1].append(d)
            continue
        if len(groups) == count:
            break
        groups.append([d])
    return [sum(g) / len(g) for g in groups]


def foreign(rng, d, low, high, noise):
    """A d uniform in [low, high] at least 3 sigma from every true line."""
    while True:
        x = rng.uniform(low, high)
        if np.all(np.abs(d - x) > 3 * noise * x):
            return x


def measured(rng, lines, noise=1e-4, early=0, impurities=1):
    d = np.array(lines)
    err = noise * d
    obs = d + rng.normal(0, 1, len(d)) * err
    rows = list(zip(obs, err))
    drop = int(rng.integers(1, len(rows)))
    rows = [r for i, r in enumerate(rows) if i != drop]
    extra = impurities - (1 if early else 0)
    for _ in range(extra):
        x = foreign(rng, d, d[-1], d[0], noise)
        rows.append((x, noise * x))
    if extra > 0:
        rows.sort(key=lambda r: -r[0])
    if early == 0:
        return rows
    # Between true lines k - 1 and k (0-based, of the list after the drop): it becomes line k + 1.
    last = 5 if early == 1 else 8
    # Places between two true lines at least 8 sigma apart, so that a foreign line fits between.
    places = [k for k in range(1, last + 1) if rows[k - 1][0] - rows[k][0] > 8 * noise * rows[k - 1][0]]
    for k in sorted(rng.choice(places, size=early, replace=False), reverse=True):
        x = foreign(rng, d, rows[k][0], rows[k - 1][0], noise)
        rows.insert(int(k), (x, noise * x))
    return sorted(rows, key=lambda r: -r[0])


def mineral_case(name, system, group, cell):
    """lattice name, program system, lattice type, cell given to the judge, group for the lines."""
    letter = group[0]
    if system == 7:
        hm = group.replace(":H", ":R")
        return "hR", 7, 6, rhombohedral_axes(cell), hm
    if system == 1 and letter != "P":
        g = gemmi.GruberVector(gemmi.UnitCell(*cell), letter)
        g.niggli_reduce()
        return "aP", 1, 0, tuple(g.cell_parameters()), "P -1"
    names = {1: "a", 2: "m", 3: "o", 4: "t", 5: "c", 6: "h"}
    return names[system] + letter, system, TYPES[letter], cell, group


def main():
    args = sys.argv[1:]
    subset, more, randoms, seed, noises, early, path = True, False, 0, 20261208, [1e-4], 0, OUT
    lines, impurities = (20, 20), (1, 1)
    while args:
        a = args.pop(0)
        if a == "--all":
            subset = False
        elif a == "--random":
            randoms = int(args.pop(0))
        elif a == "--seed":
            seed = int(args.pop(0))
        elif a == "--more":
            more = True
        elif a == "--noise":
            noises = [float(x) for x in args.pop(0).split(",")]
        elif a == "--lines":
            lines = tuple(int(x) for x in (args.pop(0) + "-").split("-")[:2] if x) * 2
            lines = lines[:2]
        elif a == "--impurities":
            impurities = tuple(int(x) for x in (args.pop(0) + "-").split("-")[:2] if x) * 2
            impurities = impurities[:2]
        elif a == "--early":
            early = int(args.pop(0))
        else:
            path = a
    rng = np.random.default_rng(seed)
    out = ["# written by tools/gen_indexing_minerals.py%s%s --random %d --seed %d%s%s%s%s (gemmi %s, numpy %s)"
           % ("" if subset else " --all", " --more" if more else "", randoms, seed,
              "" if noises == [1e-4] else " --noise " + ",".join("%g" % x for x in noises),
              "" if early == 0 else " --early %d" % early,
              "" if lines == (20, 20) else " --lines %d-%d" % lines,
              "" if impurities == (1, 1) else " --impurities %d-%d" % impurities, gemmi.__version__, np.__version__)]
    plain = noises == [1e-4] and lines == (20, 20) and impurities == (1, 1)

    def draw():
        """The noise, the true line count and the impurity count of the next list."""
        if plain:  # the draws of the earlier sets, which the benchmark's seeds reproduce
            return 1e-4, 20, 1
        return (float(noises[int(rng.integers(len(noises)))]), int(rng.integers(lines[0], lines[1] + 1)),
                int(rng.integers(impurities[0], impurities[1] + 1)))

    n = 0
    for name, system, group, cell in MINERALS + (MORE if more else []):
        if subset and name not in SUBSET:
            continue
        lattice, system, ltype, given, hm = mineral_case(name, system, group, cell)
        n += 1
        noise, count, foreign_lines = draw()
        out.append("case %d %s %s %d %d %s" % (n, lattice, name.replace(" ", "_"), system, ltype,
                                               " ".join("%.6f" % v for v in given)))
        for d, e in measured(rng, true_lines(given, hm, count, resolution=2 * noise), noise, early, foreign_lines):
            out.append("l %.7f %.7f" % (d, e))
    for lattice, system, ltype, group in LATTICES * randoms:
        noise, count, foreign_lines = draw()
        while True:
            cell = draw_cell(rng, system)
            if 40 <= gemmi.UnitCell(*cell).volume <= 1500:
                true = true_lines(cell, group, count, resolution=2 * noise)
                if len(true) == count and max(cell[:3]) <= 2 * (true[0] + 0.25):
                    break
        n += 1
        out.append("case %d %s random %d %d %s" % (n, lattice, system, ltype, " ".join("%.6f" % v for v in cell)))
        for d, e in measured(rng, true, noise, early, foreign_lines):
            out.append("l %.7f %.7f" % (d, e))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
