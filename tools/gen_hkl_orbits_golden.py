#!/usr/bin/python3
"""Writes tests/crystal/data/hkl_orbits_golden.txt: for a few space groups, every index of the box
-4 <= h, k <= 4, 0 <= l <= 4 with the name of its orbit under the operations that the space-group
table lists for the group (gemmi's operations modulo centring; for a centrosymmetric group only
the proper rotations, the inversion being implied), acting on indices as h R, without Friedel
mates. The orbit's name is its smallest member (lexicographic), so two indices share a name
exactly when an operation relates them.

Usage: gen_hkl_orbits_golden.py [output]

Rows: "case <number> <setting> <gemmi name>" then one row per index: h k l oh ok ol.
"""
import sys

try:
    import gemmi
except ImportError as e:
    sys.exit("gen_hkl_orbits_golden.py needs python3-gemmi: %s" % e)

# (table number, table setting, gemmi name): setting 2 is b unique, origin choice 2 or
# hexagonal axes, as in the space-group table.
CASES = [(227, 2, "F d -3 m:2"), (19, 1, "P 21 21 21"), (166, 2, "R -3 m:H"),
         (14, 2, "P 1 21/c 1"), (99, 1, "P 4 m m"), (186, 1, "P 63 m c")]


def listed_rotations(name):
    ops = gemmi.find_spacegroup_by_name(name).operations()
    rots = [op for op in ops.sym_ops]
    if ops.is_centrosymmetric():
        rots = [op for op in rots if op.det_rot() > 0]
    return rots


def orbit_name(rots, hkl):
    seen = {tuple(hkl)}
    todo = [tuple(hkl)]
    while todo:
        h = todo.pop()
        for op in rots:
            g = tuple(op.apply_to_hkl(list(h)))
            if g not in seen:
                seen.add(g)
                todo.append(g)
    return min(seen)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "tests/crystal/data/hkl_orbits_golden.txt"
    lines = ["# Orbits of indices under the listed operations (tools/gen_hkl_orbits_golden.py)"]
    for number, setting, name in CASES:
        rots = listed_rotations(name)
        lines.append("case %d %d %s" % (number, setting, name.replace(" ", "_")))
        for h in range(-4, 5):
            for k in range(-4, 5):
                for l in range(0, 5):
                    o = orbit_name(rots, (h, k, l))
                    lines.append("%d %d %d %d %d %d" % ((h, k, l) + o))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


main()
