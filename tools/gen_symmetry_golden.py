#!/usr/bin/python3
"""Golden data of the symmetry-formula parser, the non-standard group file and the equivalent
positions, from gemmi.

Usage: gen_symmetry_golden.py [folder]   (default: tests/crystal/data)

symmetry_formulas.txt: per table entry (the entries of tools/gen_space_groups.py) and per operation
  the table lists (gemmi's operations modulo the centring vectors, translations in [0, 1), only
  the proper ones when the group holds -x,-y,-z), one line:
    entry  R11 .. R33 (gemmi rot / 24)  t1 t2 t3 (gemmi tran, in 24ths)  d1 d2 d3  triplet
  where the triplet is gemmi's with every fraction written as the decimal d (15 decimals, trailing
  zeros dropped). Every third triplet is upper-cased and every fifth has blanks around its
  commas and terms; the triplet is the rest of the line.
group_<entry>.spg: table entries written as group files: comments between the lines, commas,
  blanks and tabs as separators, translations as decimals.
group_magnetic.spg: the counts of P 1 21/c 1 (entry -14), a first set of formulas from
  P 1 2/c 1 (entry -13), the second set from P 1 21/c 1 and the spin-plane line 0, 1, 0.
equivalent_sites.txt: "site entry x y z images multiplicity": positions whose symmetry images
  coincide without any wrap by a cell edge (the origin and axes of groups without translation
  parts, the origin of non-centrosymmetric groups with positive translations); images is the
  number of gemmi's operations of the conventional cell (centrings included) and multiplicity
  1 + gemmi.UnitCell.is_special_position on a 10 angstrom cell, the order of the site symmetry.
"""
import os
import re
import sys
from fractions import Fraction

try:
    import gemmi
except ImportError as e:
    sys.exit("gen_symmetry_golden.py needs python3-gemmi: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_space_groups  # noqa: E402  the entries, their gemmi names and class codes

DEN = gemmi.Op.DEN
INVERSION = gemmi.Op("-x,-y,-z").triplet()


def decimal(f):
    s = "%.15f" % float(f)
    return s.rstrip("0").rstrip(".") if "." in s else s


def listed_operations(sg):
    """The operations as the table lists them, with translations in [0, 1)."""
    ops = sg.operations()
    centro = any(op.triplet() == INVERSION for op in ops)
    return [op.wrap() for op in ops.sym_ops if not centro or op.det_rot() > 0], centro


def decimal_triplet(op):
    return re.sub(r"(\d+)/(\d+)", lambda m: decimal(Fraction(int(m.group(1)), int(m.group(2)))),
                  op.triplet())


def formula_lines(names):
    k = 0
    for number, name, _ in gen_space_groups.entries():
        ops, _ = listed_operations(gemmi.find_spacegroup_by_name(name))
        for op in ops:
            k += 1
            text = decimal_triplet(op)
            if k % 3 == 0:
                text = text.upper()
            if k % 5 == 0:
                text = re.sub(r"([,+-])", r" \1 ", text).strip()
            rot = " ".join("%d" % (v // DEN) for row in op.rot for v in row)
            tran = " ".join("%d" % t for t in op.tran)
            dec = " ".join(decimal(Fraction(t, DEN)) for t in op.tran)
            yield "%d %s %s %s %s" % (number, rot, tran, dec, text)


def crystal_system(sg):
    s = sg.crystal_system_str()
    if s in ("trigonal", "hexagonal"):
        return 7 if sg.ext == "R" else 6
    return {"triclinic": 1, "monoclinic": 2, "orthorhombic": 3, "tetragonal": 4, "cubic": 5}[s]


def counts_line(sg):
    ops, centro = listed_operations(sg)
    centrings = [c for c in sg.operations().cen_ops if any(c)]
    lattice = 6 if sg.number in gen_space_groups.R_GROUPS else "PABCFIR".index(sg.centring_type())
    values = [gen_space_groups.class_code(sg), len(centrings), len(ops), int(centro), lattice,
              crystal_system(sg)]
    return ops, centrings, ", ".join("%d" % v for v in values)


def group_file(name, number):
    sg = gemmi.find_spacegroup_by_name(name)
    ops, centrings, counts = counts_line(sg)
    out = ["* %s (table entry %d), written by tools/gen_symmetry_golden.py" % (name, number),
           "* class, translations, transformations, centrosymmetric, lattice, system", counts]
    for i, c in enumerate(centrings):
        sep = ["  ", ", ", "\t"][i % 3]
        out.append(sep.join(decimal(Fraction(v, DEN)) for v in c))
        out.append("* translation %d above" % (i + 1))
    for i, op in enumerate(ops):
        out.append(decimal_triplet(op))
        if i % 4 == 1:
            out.append("*  a comment between formulas")
    return out


def magnetic_file(names):
    sg1, sg2 = (gemmi.find_spacegroup_by_name(names[n]) for n in (-13, -14))
    ops2, _, counts = counts_line(sg2)
    ops1, _ = listed_operations(sg1)
    out = ["* magnetic: counts of %s, first set %s, second set %s" % (names[-14], names[-13], names[-14]),
           counts, "* first set"]
    out += [decimal_triplet(op) for op in ops1]
    out.append("* second set")
    out += [decimal_triplet(op) for op in ops2]
    out += ["* spin plane", "0.0, 1.0, 0.0"]
    return out


SITES = [(2, (0, 0, 0)), (-10, (0, 0.3, 0)), (16, (0, 0, 0.2)), (23, (0, 0, 0.2)),
         (75, (0, 0, 0.1)), (147, (0, 0, 0.1)), (168, (0, 0, 0.1)), (195, (0.2, 0.2, 0.2)),
         (221, (0, 0, 0)), (221, (0.2, 0.2, 0.2)), (221, (0.1, 0.2, 0.3)), (221, (0, 0.3, 0.3)),
         (227, (0, 0, 0)), (-4, (0.1, 0.2, 0.3))]


def site_lines(names):
    for number, xyz in SITES:
        sg = gemmi.find_spacegroup_by_name(names[number])
        small = gemmi.SmallStructure()
        hexagonal = sg.crystal_system_str() in ("trigonal", "hexagonal") and sg.ext != "R"
        small.cell = gemmi.UnitCell(10, 10, 10, 90, 90, 120 if hexagonal else 90)
        small.spacegroup_hm = sg.xhm()
        small.setup_cell_images()
        m = 1 + small.cell.is_special_position(gemmi.Fractional(*xyz), 0.8)
        images = len(list(sg.operations()))
        yield "site %d %s %d %d" % (number, " ".join(decimal(v) for v in xyz), images, m)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "tests/crystal/data"
    names = {number: name for number, name, _ in gen_space_groups.entries()}
    head = "# Generated by tools/gen_symmetry_golden.py from gemmi %s\n" % gemmi.__version__
    for name, lines in (("symmetry_formulas.txt", formula_lines(names)),
                        ("equivalent_sites.txt", site_lines(names))):
        with open(os.path.join(folder, name), "w", newline="\n") as f:
            f.write(head + "\n".join(lines) + "\n")
    for number in (-14, 19, -141, -166, 166, 176, -227):
        with open(os.path.join(folder, "group_%d.spg" % number), "w", newline="\n") as f:
            f.write("\n".join(group_file(names[number], number)) + "\n")
    with open(os.path.join(folder, "group_magnetic.spg"), "w", newline="\n") as f:
        f.write("\n".join(magnetic_file(names)) + "\n")


if __name__ == "__main__":
    main()
