#!/usr/bin/python3
"""Writes tests/ini/data/zro2.dat: the ZrO2 set-up of zro2.ini in the dat dialect, with every dat
key once. The parameter rows are those of zro2_fitted.ini, except the six cell rows, which hold
gemmi's reciprocal metric of the ZrO2 cell in the dat order A, F, E, B, D, C, that is the
row-major upper triangle g11, g12, g13, g22, g23, g33 (cross terms with the factor 2 the
program's records carry).

Usage: gen_dat_corpus.py [data_dir]   (default tests/ini/data next to this script)
"""
import os
import sys

import gemmi

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "tests", "ini", "data")
CELL = gemmi.UnitCell(5.15367, 5.21982, 5.31867, 90.0, 99.199, 90.0)


def parameter_rows():
    rows, inside = [], False
    with open(os.path.join(DATA, "zro2_fitted.ini")) as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith(".."):
                inside = "Info about the Parameters" in line
            elif inside and not line.startswith("*"):
                rows.append(" ".join(line.split()[:6]))
    return rows


def main():
    g = CELL.reciprocal_metric_tensor()
    dat_order = [g.u11, 2 * g.u12, 2 * g.u13, g.u22, 2 * g.u23, g.u33]
    rows = parameter_rows()
    assert len(rows) == 60
    for j, v in enumerate(dat_order):
        lo, hi = (0.99 * v, 1.01 * v) if v > 0 else (v - 1e-3, v + 1e-3)
        rows[11 + j] = "%d %.12e %.12e %.12e 1 0" % (12 + j, lo, v, hi)
    text = """* ZrO2 in the dat dialect (every key once)
IS
1 1024 3 0 0
effective.txt
IS
1 1024 3 0 1
zro2_counts.txt
ISV
3 0 1
zro2_variance.txt
INSP
1
IAC
64.0 75.0 0
SSIB
305 740
FS
0 0
AC
0 25.0 0.00147 0.00893 0 1
NFS
0 0 0 0 64.0 -1.187 1 64.0 -1.187 0
IESN
0 0 1 0 0 0 0 0 0 0 0
skipped line
SKES
1
DCVP
0
DIEA
0
GRFD
0 0 0
GFD
0 0 0
UPF
a line passed over
OMAD
SCDM
1 6 0.5 1 0 0 0 0.99 0.01 0 0 1000000 1000000
SMW
0
ZW
400 410 1
FPM
0 690 725 2 1.0 1 0 0 1
FDSPM
0 690 725 2 1.0 2 0 0 1
SNP
1
INPAP
1
4
0
SNA
4
ISGI
14 0
ESGI
14 2 0
ICSA
0
Zr O,O
 Hf
IIPF
0
""" + "\n".join(rows) + """
BHKL
0 0
FHKL
0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0
STOP
"""
    with open(os.path.join(DATA, "zro2.dat"), "w", newline="") as f:
        f.write(text.replace("\n", "\r\n"))


main()
