#!/usr/bin/python3
"""Golden neutron structure factors of the built-in ZrO2 set, for
tests/testdata/test_data_sets_test.cpp.

Monoclinic ZrO2 (P 1 21/c 1) with the set's cell and atoms: coherent lengths from periodictable
(fm / 10), isotropic B (the set's thermal values) as exp(-B / (4 d^2)), d from gemmi's UnitCell,
and the sum over gemmi's symmetry operations of every atom's images:
F(hkl) = sum_atoms occ b exp(-B / (4 d^2)) sum_ops exp(2 pi i h . (R x + t)).
Rows "F h k l d |F|" for every reflection with 1.577 <= d <= 3.8889 angstrom.

Usage: gen_zro2_structure_factors.py [output]
       (default: tests/testdata/data/zro2_structure_factors.txt)
"""
import os
import sys

import gemmi
import numpy as np
import periodictable

CELL = (5.15367, 5.21982, 5.31867, 90.0, 99.199, 90.0)
# element, occupation, x, y, z, B
ATOMS = [("Zr", 0.98, 0.2758, 0.0404, 0.2089, 0.15),
         ("O", 1.0, 0.069, 0.342, 0.345, 0.4),
         ("O", 1.0, 0.451, 0.758, 0.479, 0.2),
         ("Hf", 0.02, 0.2758, 0.0404, 0.2089, 0.15)]
DMIN, DMAX = 1.577, 3.8889


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "testdata", "data", "zro2_structure_factors.txt")
    cell = gemmi.UnitCell(*CELL)
    ops = list(gemmi.SpaceGroup("P 1 21/c 1").operations())
    lines = ["# from tools/gen_zro2_structure_factors.py"]
    for h in range(-4, 5):
        for k in range(-4, 5):
            for l in range(-4, 5):
                if (h, k, l) == (0, 0, 0):
                    continue
                d = cell.calculate_d([h, k, l])
                if not DMIN <= d <= DMAX:
                    continue
                f = 0j
                for name, occ, x, y, z, b in ATOMS:
                    length = getattr(periodictable, name).neutron.b_c / 10
                    dw = np.exp(-b / (4 * d * d))
                    for op in ops:
                        p = op.apply_to_xyz([x, y, z])
                        f += occ * length * dw * np.exp(2j * np.pi * (h * p[0] + k * p[1] + l * p[2]))
                lines.append("F %d %d %d %r %r" % (h, k, l, d, abs(f)))
    with open(out, "w") as fh:
        fh.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
