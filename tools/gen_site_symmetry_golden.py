#!/usr/bin/python3
"""Golden site symmetries, for tests/crystal/site_symmetry_test.cpp.

For each site (a point in a space group given by the program's group number and setting and by
gemmi's name of the same group): gemmi's own symmetry operations give the images of the point
(the multiplicity is the number of distinct images modulo lattice translations) and the
stabiliser (the operations that map the point onto itself). The displacements the stabiliser
allows are the null space of the stacked (R - I), from numpy's SVD: a coordinate with no
component in it is fixed; a coordinate whose components are a multiple a of an earlier one's
follows it (coordinate = a * earlier + constant).

Line: label group setting x y z multiplicity c_x c_y c_z, where c is "free", "fixed" or
"m:a" (follows coordinate m, 0-based, with factor a).

Usage: gen_site_symmetry_golden.py [output]
       (default: tests/crystal/data/site_symmetry_golden.txt)
"""
import os
import sys

import gemmi
import numpy as np

# label, program group, program setting, gemmi name, x, y, z
SITES = [
    ("Si_8a_origin2", 227, 2, "F d -3 m:2", 0.125, 0.125, 0.125),
    ("Si_8a_origin1", 227, 1, "F d -3 m:1", 0.0, 0.0, 0.0),
    ("O_48f_origin2", 227, 2, "F d -3 m:2", 0.3, 0.125, 0.125),
    ("Na_32f_3fold", 225, 1, "F m -3 m", 0.3, 0.3, 0.3),
    ("F_8c", 225, 1, "F m -3 m", 0.25, 0.25, 0.25),
    ("O_3c", 221, 1, "P m -3 m", 0.0, 0.5, 0.5),
    ("A_4j_xx0", 123, 1, "P 4/m m m", 0.3, 0.3, 0.0),
    ("Zn_2b_P63mc", 186, 1, "P 63 m c", 1 / 3, 2 / 3, 0.38),
    ("B_6h_x2x", 194, 1, "P 63/m m c", 0.17, 0.34, 0.25),
    ("C_2d_P-3m1", 164, 1, "P -3 m 1", 1 / 3, 2 / 3, 0.25),
    ("D_6i_xmx", 164, 1, "P -3 m 1", 0.16, -0.16, 0.3),
    ("E_6c_R-3m", 166, 2, "R -3 m:H", 0.0, 0.0, 0.35),
    ("general_Pm-3m", 221, 1, "P m -3 m", 0.11, 0.27, 0.38),
]

# Sites whose coordinates are thirds, sixths or twelfths, as a user types them: to four decimals
# (0.3333, 0.6667) and to three (0.333, 0.667). The truth is gemmi's site of the exact fractions;
# the line holds the typed coordinates.
TYPED_SITES = [
    ("Zn_2b_P63mc", 186, 1, "P 63 m c", 1 / 3, 2 / 3, 0.38),
    ("Mg_2c_P63/mmc", 194, 1, "P 63/m m c", 1 / 3, 2 / 3, 1 / 4),
    ("Mg_2d_P63/mmc", 194, 1, "P 63/m m c", 1 / 3, 2 / 3, 3 / 4),
    ("B_6h_x2x_sixth", 194, 1, "P 63/m m c", 1 / 6, 1 / 3, 1 / 4),
    ("C_2d_P-3m1", 164, 1, "P -3 m 1", 2 / 3, 1 / 3, 0.25),
    ("D_6i_x-x_sixth", 164, 1, "P -3 m 1", 1 / 6, 5 / 6, 0.3),
    ("E_2c_P6/mmm", 191, 1, "P 6/m m m", 1 / 3, 2 / 3, 0.0),
    ("E_2d_P6/mmm", 191, 1, "P 6/m m m", 1 / 3, 2 / 3, 1 / 2),
    ("E_6l_P6/mmm", 191, 1, "P 6/m m m", 1 / 6, 1 / 3, 0.0),
    ("F_1e_P-6m2", 187, 1, "P -6 m 2", 2 / 3, 1 / 3, 0.0),
    ("G_R-3m_centred_3b", 166, 2, "R -3 m:H", 1 / 3, 2 / 3, 1 / 6),
    ("G_R-3m_centred_6c", 166, 2, "R -3 m:H", 2 / 3, 1 / 3, 0.4),
    ("G_R-3m_18h", 166, 2, "R -3 m:H", 1 / 6, 5 / 6, 1 / 12),
]


def cell_distance(p, q):
    d = np.asarray(p) - np.asarray(q)
    return np.max(np.abs(d - np.round(d)))


def site(name, x):
    images, rows = [], []
    for op in gemmi.SpaceGroup(name).operations():
        y = np.array(op.apply_to_xyz(list(x)))
        if cell_distance(y, x) < 1e-6:
            rot = np.array(op.rot, dtype=float) / op.DEN
            rows.append(rot - np.eye(3))
        if all(cell_distance(y, p) >= 1e-6 for p in images):
            images.append(y)
    a = np.vstack(rows)
    _, s, vt = np.linalg.svd(a)
    rank = int(np.sum(s > 1e-9))
    basis = vt[rank:].T  # 3 x (3 - rank): the allowed displacements
    kinds = []
    for j in range(3):
        if np.all(np.abs(basis[j]) < 1e-9):
            kinds.append("fixed")
            continue
        kind = "free"
        for m in range(j):
            if np.all(np.abs(basis[m]) < 1e-9):
                continue
            k = np.argmax(np.abs(basis[m]))
            factor = basis[j][k] / basis[m][k]
            if np.allclose(basis[j], factor * basis[m], atol=1e-9):
                kind = "%d:%s" % (m, repr(round(float(factor), 12)))
                break
        kinds.append(kind)
    return len(images), kinds


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "crystal", "data", "site_symmetry_golden.txt")
    lines = ["# from tools/gen_site_symmetry_golden.py"]
    for label, group, setting, name, *x in SITES:
        mult, kinds = site(name, x)
        lines.append(" ".join([label, str(group), str(setting)] + [repr(v) for v in x] + [str(mult)] + kinds))
    for label, group, setting, name, *x in TYPED_SITES:
        mult, kinds = site(name, x)
        for decimals in (4, 3):
            typed = [round(v, decimals) + 0.0 for v in x]
            lines.append(" ".join([label + "_typed%d" % decimals, str(group), str(setting)] +
                                  [repr(v) for v in typed] + [str(mult)] + kinds))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
