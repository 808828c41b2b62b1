#!/usr/bin/python3
"""Golden interatomic distances with their standard deviations, for
tests/crystal/refinement_results_test.cpp.

A triclinic cell with standard deviations and four atoms with coordinate errors. For every pair
i < j: the distance |orthogonalize(x_j - x_i)| by gemmi's UnitCell (no lattice translation), and
its first-order standard deviation sqrt(sum_k (dd/dp_k sigma_k)^2) over the six cell values
(angles in degrees) and the six coordinates of the pair, dd/dp by central differences in numpy.

Usage: gen_refinement_distances_golden.py [output]
       (default: tests/crystal/data/refinement_distances_golden.txt)
"""
import os
import sys

import gemmi
import numpy as np

CELL = (4.0, 5.0, 6.0, 80.0, 95.0, 100.0)
CELL_ERR = (0.0004, 0.0006, 0.0005, 0.02, 0.03, 0.015)
# name, x, y, z, sx, sy, sz
ATOMS = [
    ("Zr", 0.2754, 0.0395, 0.2083, 0.0003, 0.0004, 0.0002),
    ("O", 0.0700, 0.3317, 0.3447, 0.0010, 0.0008, 0.0009),
    ("O", 0.4496, 0.7569, 0.4792, 0.0007, 0.0011, 0.0006),
    ("Y", 0.2754, 0.0395, 0.2083, 0.0005, 0.0005, 0.0005),  # same place as atom 1
]


def distance(p):
    cell = gemmi.UnitCell(*p[:6])
    v = cell.orthogonalize(gemmi.Fractional(p[9] - p[6], p[10] - p[7], p[11] - p[8]))
    return v.length()


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "crystal", "data", "refinement_distances_golden.txt")
    lines = ["# from tools/gen_refinement_distances_golden.py",
             "cell " + " ".join(repr(v) for v in CELL),
             "cellerr " + " ".join(repr(v) for v in CELL_ERR)]
    for a in ATOMS:
        lines.append("atom " + " ".join(str(v) for v in a))
    for i in range(len(ATOMS)):
        for j in range(i + 1, len(ATOMS)):
            p = np.array(CELL + ATOMS[i][1:4] + ATOMS[j][1:4], dtype=float)
            s = np.array(CELL_ERR + ATOMS[i][4:7] + ATOMS[j][4:7], dtype=float)
            d = distance(p)
            grad = np.zeros(12)
            for k in range(12):
                h = 1e-6 * max(1.0, abs(p[k]))
                up, dn = p.copy(), p.copy()
                up[k] += h
                dn[k] -= h
                grad[k] = (distance(up) - distance(dn)) / (2 * h)
            err = float(np.sqrt(np.sum((grad * s) ** 2)))
            lines.append("dist %d %d %.10f %.10f" % (i + 1, j + 1, d, err))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
