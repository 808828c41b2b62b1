#!/usr/bin/python3
"""Golden values of cell geometry from gemmi, for tests/core/cell_geometry_test.cpp.

Writes, for cells of the seven crystal systems and a few random triclinic cells, the volume, the
reciprocal cell and its volume (gemmi.UnitCell); and for space groups 1..230 the crystal system
code in settings 1 and 2 and the centring letter of the reference setting.

Usage: gen_cell_golden.py [output]   (default: tests/core/data/cell_golden.txt)
"""
import os
import random
import sys

import gemmi

# System codes of the program: trigonal groups count as hexagonal, except the R groups in
# setting 1 (rhombohedral axes), which are rhombohedral (7).
SYSTEM_CODES = {
    "triclinic": 1,
    "monoclinic": 2,
    "orthorhombic": 3,
    "tetragonal": 4,
    "cubic": 5,
    "trigonal": 6,
    "hexagonal": 6,
}

FIXED_CELLS = [
    (4.0, 5.0, 6.0, 80.0, 95.0, 100.0),        # triclinic
    (5.1, 6.2, 7.3, 90.0, 104.5, 90.0),        # monoclinic, b unique
    (5.1, 6.2, 7.3, 90.0, 90.0, 97.25),        # monoclinic, c unique
    (4.2, 5.3, 6.4, 90.0, 90.0, 90.0),         # orthorhombic
    (3.9, 3.9, 9.7, 90.0, 90.0, 90.0),         # tetragonal
    (5.4309, 5.4309, 5.4309, 90.0, 90.0, 90.0),  # cubic
    (2.0, 2.0, 2.0, 90.0, 90.0, 90.0),         # cubic, side 2
    (3.2094, 3.2094, 5.2108, 90.0, 90.0, 120.0),  # hexagonal
    (5.4, 5.4, 5.4, 55.3, 55.3, 55.3),         # rhombohedral
    (7.1, 7.1, 7.1, 101.2, 101.2, 101.2),      # rhombohedral, obtuse
]


def random_triclinic(rng, count):
    cells = []
    while len(cells) < count:
        a, b, c = (round(rng.uniform(3.0, 15.0), 4) for _ in range(3))
        al, be, ga = (round(rng.uniform(60.0, 120.0), 3) for _ in range(3))
        cell = gemmi.UnitCell(a, b, c, al, be, ga)
        if not cell.volume > 0.3 * a * b * c:
            continue  # nearly flat
        rec = cell.reciprocal()
        # Reciprocal angles within 0.01 degree of 90 are snapped to 90 by the program.
        if min(abs(x - 90.0) for x in (rec.alpha, rec.beta, rec.gamma)) < 0.01:
            continue
        cells.append((a, b, c, al, be, ga))
    return cells


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "tests", "core", "data", "cell_golden.txt")
    rng = random.Random(20240611)
    lines = [
        "# Written by tools/gen_cell_golden.py from gemmi; do not edit.",
        "# cell a b c alpha beta gamma volume a* b* c* alpha* beta* gamma* reciprocal-volume",
    ]
    for cell in FIXED_CELLS + random_triclinic(rng, 8):
        uc = gemmi.UnitCell(*cell)
        rec = uc.reciprocal()
        values = list(cell) + [uc.volume, rec.a, rec.b, rec.c, rec.alpha, rec.beta, rec.gamma,
                               rec.volume]
        lines.append("cell " + " ".join(repr(float(v)) for v in values))
    lines.append("# group number system-setting-1 system-setting-2 centring-of-reference-setting")
    for n in range(1, 231):
        sg = gemmi.find_spacegroup_by_number(n)
        code = SYSTEM_CODES[sg.crystal_system_str()]
        rhombohedral = sg.centring_type() == "R"
        lines.append("group %d %d %d %s" % (n, 7 if rhombohedral else code, code,
                                            sg.centring_type()))
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
