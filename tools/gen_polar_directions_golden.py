#!/usr/bin/python3
"""Golden polar directions of every entry of the program's space-group table, for
tests/crystal/site_symmetry_test.cpp.

For each entry (the program's group number and setting, gemmi's name of it, as
gen_space_groups.py lists them): the origin shifts that every rotation of gemmi's operations keeps,
the null space of the stacked (R - I) from numpy's SVD. Checked against the crystal classes: the
point group that spglib names for the group's Hall number (and gemmi's) is one of the ten polar
classes 1, 2, m, mm2, 4, 4mm, 3, 3m, 6, 6mm exactly when the null space is not empty, of dimension
3 for class 1, 2 for m and 1 for the others.

Line: group setting dimension, then the basis vectors of the null space (three numbers each), in
reduced row echelon form so that any basis of the same span prints alike.

Usage: gen_polar_directions_golden.py [output]
       (default: tests/crystal/data/polar_directions_golden.txt)
"""
import os
import sys

try:
    import gemmi
    import numpy as np
    import spglib
except ImportError as e:
    sys.exit("gen_polar_directions_golden.py needs python3-gemmi, -numpy and -spglib: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_space_groups import entries  # noqa: E402

POLAR_CLASSES = {"1": 3, "2": 1, "m": 2, "mm2": 1, "4": 1, "4mm": 1, "3": 1, "3m": 1, "6": 1, "6mm": 1}


def null_space(sg):
    rows = [np.array(op.rot, dtype=float) / gemmi.Op.DEN - np.eye(3) for op in sg.operations()]
    _, s, vt = np.linalg.svd(np.vstack(rows))
    rank = int(np.sum(s > 1e-9))
    return reduced_rows(vt[rank:])


def reduced_rows(basis):
    """The reduced row echelon form of the basis: the one basis of its span that any other
    basis of it gives."""
    b = [np.array(v, dtype=float) for v in basis]
    top = 0
    for col in range(3):
        rows = range(top, len(b))
        if not rows:
            break
        best = max(rows, key=lambda r: abs(b[r][col]))
        if abs(b[best][col]) < 1e-9:
            continue
        b[top], b[best] = b[best], b[top]
        b[top] = b[top] / b[top][col]
        for r in range(len(b)):
            if r != top:
                b[r] = b[r] - b[r][col] * b[top]
        top += 1
    return [np.where(np.abs(v) < 1e-12, 0.0, v) for v in b]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "crystal", "data", "polar_directions_golden.txt")
    lines = ["# from tools/gen_polar_directions_golden.py: group setting dimension basis"]
    for number, name, _ in entries():
        sg = gemmi.find_spacegroup_by_name(name)
        assert sg is not None and sg.xhm() == name, name
        basis = null_space(sg)
        pg = spglib.get_spacegroup_type(spglib_hall(sg.number))["pointgroup_international"]
        assert POLAR_CLASSES.get(pg, 0) == POLAR_CLASSES.get(sg.point_group_hm(), 0), (name, pg, sg.point_group_hm())
        assert len(basis) == POLAR_CLASSES.get(pg, 0), (name, pg, len(basis))
        group, setting = abs(number), 1 if number > 0 else 2
        lines.append(" ".join([str(group), str(setting), str(len(basis))] +
                              ["%.12g" % (c + 0.0) for v in basis for c in v]))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


def spglib_hall(number):
    """The first Hall number of the group number (all settings share the point group)."""
    for hall in range(1, 531):
        if spglib.get_spacegroup_type(hall)["number"] == number:
            return hall
    raise ValueError(number)


if __name__ == "__main__":
    main()
