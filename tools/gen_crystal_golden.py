#!/usr/bin/python3
"""Golden data of the space-group table, the cell metric and the cell reduction, from gemmi.

Usage: gen_crystal_golden.py [folder]   (default: tests/core/data)

space_group_golden.txt: per table entry (the entries of tools/gen_space_groups.py) gemmi's full
  set of general positions, one code per operation, sorted: the rotation rows as nine characters
  of "-0+" and the translation in 24ths as three two-digit numbers in 0..23. Then lines "orbit"
  + entry with the images of the point (0.1234, 0.2345, 0.3456) under all its operations, each
  as x, y, z mod 1 in millionths (three six-digit numbers), sorted.
magnetic_golden.txt: "magnetic" + entry + cell + moment direction x y z (the vector x a* + y b* +
  z c*) + h k l + q^2, the mean over the group's operations of the squared sine of the angle
  between h R and the moment, its derivatives by x, y, z (central differences) and the angles in
  degrees between the moment and a*, b*, c*; all in Cartesian space with numpy.
metric_golden.txt: "cell a b c alpha beta gamma h k l 1/d^2" for random cells of every crystal
  system and random indices (gemmi.UnitCell.calculate_1_d2).
niggli_golden.txt: "niggli" + an input cell (a b c and the cosines of alpha, beta, gamma) made by
  a random unimodular transformation of a known cell + gemmi's Niggli cell of it (a b c and the
  three cosines) + its volume.
"""
import math
import os
import random
import sys

try:
    import gemmi
    import numpy as np
except ImportError as e:
    sys.exit("gen_crystal_golden.py needs python3-gemmi and python3-numpy: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_space_groups  # noqa: E402  the entries and their gemmi names

DEN = gemmi.Op.DEN


def op_code(op):
    rot = "".join("-0+"[v // DEN + 1] for row in op.rot for v in row)
    return rot + "".join("%02d" % (t % DEN) for t in op.tran)


def space_group_lines():
    names = {}
    for number, name, _ in gen_space_groups.entries():
        names[number] = name
        codes = sorted(op_code(op) for op in gemmi.find_spacegroup_by_name(name).operations())
        yield "%d %d %s" % (number, len(codes), " ".join(codes))
    for number in (225, -14, 63):
        images = set()
        for op in gemmi.find_spacegroup_by_name(names[number]).operations():
            x = op.apply_to_xyz([0.1234, 0.2345, 0.3456])
            images.add("".join("%06d" % (round((v % 1) * 1e6) % 1000000) for v in x))
        yield "orbit%d %d %s" % (number, len(images), " ".join(sorted(images)))


def magnetic_lines(rng):
    names = {number: name for number, name, _ in gen_space_groups.entries()}
    cases = [((4.1, 5.3, 6.2, 78, 96, 104), 1), ((5.1, 6.2, 7.3, 90, 104.5, 90), -14),
             ((3.2, 3.2, 5.2, 90, 90, 120), 191), ((5.4, 5.4, 5.4, 55.3, 55.3, 55.3), 166),
             ((3.9, 3.9, 9.7, 90, 90, 90), 123)]
    for cell, number in cases:
        axes = np.array(gemmi.UnitCell(*cell).frac.mat.tolist())  # rows: a*, b*, c*
        rots = [np.array(op.rot) / DEN for op in gemmi.find_spacegroup_by_name(names[number]).operations().sym_ops]

        def q2(m, hkl):
            mc = m @ axes
            total = 0
            for r in rots:
                hc = (np.array(hkl) @ r) @ axes
                total += 1 - (hc @ mc) ** 2 / ((hc @ hc) * (mc @ mc))
            return total / len(rots)

        trials = [(np.array([rng.uniform(-1, 1) for _ in range(3)]),
                   [rng.randint(-4, 4), rng.randint(-4, 4), rng.choice([-3, -1, 1, 3])]) for _ in range(8)]
        if number == 123:  # a moment along c: 0 0 l gives q = 0, h 0 0 gives q = 1
            trials += [(np.array([0.0, 0.0, 2.0]), [0, 0, 3]), (np.array([0.0, 0.0, 2.0]), [2, 0, 0])]
        for m, hkl in trials:
            grad = [(q2(m + 1e-6 * e, hkl) - q2(m - 1e-6 * e, hkl)) / 2e-6 for e in np.eye(3)]
            mc = m @ axes
            angles = [math.degrees(math.acos(mc @ a / math.sqrt((mc @ mc) * (a @ a)))) for a in axes]
            values = list(cell) + list(m) + hkl + [q2(m, hkl)] + grad + angles
            yield "magnetic %d %s" % (number, " ".join("%.12g" % v for v in values))


def random_cell(rng, system):
    a, b, c = (round(rng.uniform(2.5, 12.0), 4) for _ in range(3))
    al, be, ga = (round(rng.uniform(70.0, 115.0), 3) for _ in range(3))
    return {"triclinic": (a, b, c, al, be, ga), "monoclinic-b": (a, b, c, 90, be, 90),
            "monoclinic-c": (a, b, c, 90, 90, ga), "orthorhombic": (a, b, c, 90, 90, 90),
            "tetragonal": (a, a, c, 90, 90, 90), "cubic": (a, a, a, 90, 90, 90),
            "hexagonal": (a, a, c, 90, 90, 120), "rhombohedral": (a, a, a, al, al, al)}[system]


def metric_lines(rng):
    for system in ("triclinic", "monoclinic-b", "monoclinic-c", "orthorhombic", "tetragonal",
                   "cubic", "hexagonal", "rhombohedral"):
        for _ in range(4):
            cell = random_cell(rng, system)
            uc = gemmi.UnitCell(*cell)
            for _ in range(5):
                hkl = [rng.randint(-6, 6) for _ in range(3)]
                yield "cell %s %s %.17g" % (" ".join("%g" % v for v in cell),
                                            " ".join(map(str, hkl)), uc.calculate_1_d2(hkl))


def cosines(uc):
    return [uc.a, uc.b, uc.c] + [math.cos(math.radians(x)) for x in (uc.alpha, uc.beta, uc.gamma)]


def unimodular(rng):
    while True:
        m = gemmi.Mat33([[rng.randint(-2, 2) for _ in range(3)] for _ in range(3)])
        if round(m.determinant()) == 1:
            return m


def niggli_lines(rng):
    known = [(4.0, 5.0, 6.0, 80.0, 95.0, 100.0), (5.1, 6.2, 7.3, 90, 104.5, 90),
             (3.9, 3.9, 9.7, 90, 90, 90), (3.2094, 3.2094, 5.2108, 90, 90, 120),
             (5.4, 5.4, 5.4, 55.3, 55.3, 55.3), (2.8665, 2.8665, 2.8665, 90, 90, 90)]
    for cell in known:
        for _ in range(5):
            uc = gemmi.UnitCell(*cell)
            basis = uc.orth.mat.multiply(unimodular(rng).transpose())  # columns: new edges
            cols = [gemmi.Vec3(*[basis.tolist()[r][i] for r in range(3)]) for i in range(3)]
            ang = lambda u, v: math.degrees(math.acos(u.dot(v) / (u.length() * v.length())))
            new = gemmi.UnitCell(cols[0].length(), cols[1].length(), cols[2].length(),
                                 ang(cols[1], cols[2]), ang(cols[0], cols[2]), ang(cols[0], cols[1]))
            gv = gemmi.GruberVector(new, "P")
            gv.niggli_reduce()
            red = gemmi.UnitCell(*gv.cell_parameters())
            yield "niggli %s %s %.12g" % (" ".join("%.12g" % v for v in cosines(new)),
                                          " ".join("%.12g" % v for v in cosines(red)), red.volume)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "tests/core/data"
    rng = random.Random(20240611)
    for name, lines in (("space_group_golden.txt", space_group_lines()),
                        ("metric_golden.txt", metric_lines(rng)),
                        ("magnetic_golden.txt", magnetic_lines(rng)),
                        ("niggli_golden.txt", niggli_lines(rng))):
        with open(os.path.join(folder, name), "w", newline="\n") as f:
            f.write("# Generated by tools/gen_crystal_golden.py from gemmi %s\n" % gemmi.__version__)
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
