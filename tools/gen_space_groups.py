#!/usr/bin/python3
"""Writes src/core/space_group_table.cpp, the fixed-column space-group table, from gemmi
(operations, centrings, settings, Hermann-Mauguin symbols) and spglib (Schoenflies symbols).

Usage: gen_space_groups.py [output]   (default: src/core/space_group_table.cpp)

Entries, in table order: each group 1..230 in setting 1, followed at once by its setting 2 (the
negative number) when it has one, then the extra entries 231, 232 and 234.
  - Groups 3..15: setting 1 is the c-unique first setting (P 1 1 2, B 1 1 2, P 1 1 21/b, ...),
    setting 2 the b-unique standard setting (P 1 2 1, C 1 2 1, P 1 21/c 1, ...).
  - The 24 groups with two origin choices: setting 1 is origin choice 1, setting 2 origin choice 2.
  - The 7 R groups: setting 1 on rhombohedral axes, setting 2 on hexagonal axes (obverse).
  - 231, 232, 234: three non-standard settings with the two-fold axis along a, without symbols:
    P 2 1 1, P 21 1 1 and P 2 21 21 (2 + 2 + 4 operations).

Rows (columns 1-based):
  header    1-4 number (negative for setting 2), 5-8 class code, 9-12 operation count n,
            13-16 centrosymmetric flag, 17-20 centring count, 21-25 blanks, 26-55 five centring
            vectors as 3 x (numerator digit, denominator digit), "00" for 0.
  symbol    1-2 lattice type (0 P, 1 A, 2 B, 3 C, 4 F, 5 I, 6 R), 3-26 twelve reflection-
            condition codes (written " 0": nothing reads them), 27 blank, 28-34 Schoenflies
            ("C2h/5"), 35-41 Hermann-Mauguin (short symbol without blanks, not padded).
  operation for each coordinate row: translation numerator, denominator ("0 0" for none) and the
            three rotation entries, 3 columns each; 46-48 the operation number.
An entry lists the operations modulo the centring vectors; when the inversion through the origin
belongs to the group the flag is 1 and only the proper rotations are listed, so that the full
group is {s (R x + t + c)}, s = +1 and -1, c = 0 and the centring vectors. The identity is first.

Class code: the Laue class, 1 -1; 2 2/m (b unique); 3 2/m (c unique); 4 mmm; 5 4/m; 6 4/mmm;
7 -3 and 8 -3m on rhombohedral axes; 9 -3, 10 -3m1, 11 -31m on hexagonal axes; 12 6/m;
13 6/mmm; 14 m-3; 15 m-3m; 16 2/m (a unique, the extra entries only).
Lattice type: the first letter of the symbol; R in both settings of the R groups.
Hermann-Mauguin: gemmi's short name; the hexagonal-axes "H..." is written "R...", and the c-unique
"P112", "P1121/b", ... lose their "11" ("P2", "P21/b"), the names of the first setting.
"""
import sys
from fractions import Fraction

try:
    import gemmi
    import spglib
except ImportError as e:
    sys.exit("gen_space_groups.py needs python3-gemmi and python3-spglib: %s" % e)

ROWS = 2962
C_UNIQUE = {3: "P 1 1 2", 4: "P 1 1 21", 5: "B 1 1 2", 6: "P 1 1 m", 7: "P 1 1 b", 8: "B 1 1 m",
            9: "B 1 1 b", 10: "P 1 1 2/m", 11: "P 1 1 21/m", 12: "B 1 1 2/m", 13: "P 1 1 2/b",
            14: "P 1 1 21/b", 15: "B 1 1 2/b"}
ORIGIN_CHOICE = [48, 50, 59, 68, 70, 85, 86, 88, 125, 126, 129, 130, 133, 134, 137, 138, 141, 142,
                 201, 203, 222, 224, 227, 228]
R_GROUPS = [146, 148, 155, 160, 161, 166, 167]
EXTRAS = [(231, "P 2 1 1"), (232, "P 21 1 1"), (234, "P 2 21 21")]
LAUE = {"-1": 1, "mmm": 4, "4/m": 5, "4/mmm": 6, "6/m": 12, "6/mmm": 13, "m-3": 14, "m-3m": 15}


def entries():
    """(signed number, gemmi name, with symbols) in table order."""
    out = []
    for n in range(1, 231):
        if n in C_UNIQUE:
            out += [(n, C_UNIQUE[n]), (-n, gemmi.find_spacegroup_by_number(n).xhm())]
        elif n in ORIGIN_CHOICE:
            name = gemmi.find_spacegroup_by_number(n).hm
            out += [(n, name + ":1"), (-n, name + ":2")]
        elif n in R_GROUPS:
            name = gemmi.find_spacegroup_by_number(n).hm
            out += [(n, name + ":R"), (-n, name + ":H")]
        else:
            out.append((n, gemmi.find_spacegroup_by_number(n).xhm()))
    return [(n, name, True) for n, name in out] + [(n, name, False) for n, name in EXTRAS]


def class_code(sg):
    laue, tokens = sg.laue_str(), sg.hm.split()
    if laue == "2/m":
        return {1: 16, 2: 2, 3: 3}[next(i for i in (1, 2, 3) if tokens[i] != "1")]
    if laue in ("-3", "-3m"):
        if sg.ext == "R":
            return 7 if laue == "-3" else 8
        if laue == "-3":
            return 9
        return 10 if tokens[-1] == "1" or sg.ext == "H" else 11
    return LAUE[laue]


def hm_symbol(sg):
    s = sg.short_name()
    if s.startswith("H"):
        s = "R" + s[1:]
    if sg.number in C_UNIQUE and s[1:3] == "11":
        s = s[0] + s[3:]
    assert len(s) <= 7, s
    return s


def schoenflies_symbols():
    out = {}
    for hall in range(1, 531):
        t = spglib.get_spacegroup_type(hall)
        out.setdefault(t["number"], t["schoenflies"].replace("^", "/"))
    return out


def fraction_digits(f):
    f = Fraction(f) % 1
    return "00" if f == 0 else "%d%d" % (f.numerator, f.denominator)


def operation_row(op, index):
    rot = [[v // gemmi.Op.DEN for v in row] for row in op.rot]
    s = ""
    for c in range(3):
        t = Fraction(op.tran[c] % gemmi.Op.DEN, gemmi.Op.DEN)
        s += "%3d%3d" % (t.numerator, t.denominator if t else 0)
        s += "".join("%3d" % v for v in rot[c])
    return s + "%3d" % index


def entry_rows(number, name, with_symbols, schoenflies):
    sg = gemmi.find_spacegroup_by_name(name)
    assert sg is not None and sg.xhm() == name, name
    ops = sg.operations()
    inversion = gemmi.Op("-x,-y,-z")
    centro = any(op.triplet() == inversion.triplet() for op in ops)
    sym = [op for op in ops.sym_ops if not centro or op.det_rot() > 0]
    identity = [i for i, op in enumerate(sym) if op.triplet() == "x,y,z"]
    assert len(identity) == 1
    sym.insert(0, sym.pop(identity[0]))
    centrings = [c for c in ops.cen_ops if any(c)]
    digits = "".join(fraction_digits(Fraction(v, gemmi.Op.DEN)) for c in centrings for v in c)
    header = "%4d%4d%4d%4d%4d     %s" % (number, class_code(sg), len(sym), int(centro),
                                         len(centrings), digits.ljust(30, "0"))
    lattice = 6 if sg.number in R_GROUPS else "PABCFIR".index(sg.centring_type())
    symbol = "%2d" % lattice + " 0" * 12
    if with_symbols:
        symbol += " " + schoenflies[sg.number].ljust(7) + hm_symbol(sg)
    return [header, symbol] + [operation_row(op, i + 1) for i, op in enumerate(sym)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "src/core/space_group_table.cpp"
    schoenflies = schoenflies_symbols()
    rows = []
    for number, name, with_symbols in entries():
        rows += entry_rows(number, name, with_symbols, schoenflies)
    assert len(rows) == ROWS, len(rows)
    with open(out, "w", newline="\n") as f:
        f.write("// Generated by tools/gen_space_groups.py from gemmi %s and spglib %s; do not edit.\n"
                % (gemmi.__version__, spglib.__version__))
        f.write("// The layout of the rows is described in core/space_groups.h.\n")
        f.write('#include "core/space_groups.h"\n\n')
        f.write("const std::array<const char*, SpaceGroupRowCount + 1> SpaceGroupTable = {\n")
        f.write('    "",\n')
        for r in rows:
            f.write('    "%s",\n' % r)
        f.write("};\n")


if __name__ == "__main__":
    main()
