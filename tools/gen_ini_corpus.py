#!/usr/bin/python3
"""Writes the INI test corpus of tests/ini/data: the small spectrum, variance, effective-spectrum
and space-group files the INI files name, the ZrO2 set-up, a file using every command of the
spectrum and phase families, and gemmi's reflection list and reciprocal metric of ZrO2
(P 1 21/c 1) as the independent truth of the reader's ILP and FHKL.

Usage: gen_ini_corpus.py [out_dir]   (default: tests/ini/data next to this script)
"""
import math
import os
import sys

import gemmi
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "tests", "ini", "data")

CHANNELS = 1024
# ZrO2 of the built-in Rietveld test: time of flight, L 25 m, theta 75 deg, 64 us, delay -1.187.
CELL = (5.15367, 5.21982, 5.31867, 90.0, 99.199, 90.0)
PEAK_CHANNELS = [707.3, 696.1, 605.5, 543.8, 499.0, 486.4, 448.6, 444.1, 431.5, 419.8, 395.8, 387.0]
D_LOW, D_HIGH = 1.5, 4.2  # the golden reflections cover every range the tests form


def write(name, text):
    with open(os.path.join(OUT, name), "w", newline="") as f:
        f.write(text.replace("\n", "\r\n"))


def column(values, fmt):
    return "".join(fmt % v + "\n" for v in values)


def spectra():
    ch = np.arange(1, CHANNELS + 1, dtype=float)
    counts = 50.0 + 5.0 * np.cos(ch / 97.0)
    for i, c in enumerate(PEAK_CHANNELS):
        counts += (3000.0 / (1 + i % 4)) * np.exp(-0.5 * ((ch - c) / 2.5) ** 2)
    counts = np.rint(counts)
    write("zro2_counts.txt", column(counts, "%.0f"))
    write("zro2_variance.txt", column(counts + 1.0, "%.0f"))
    effective = np.rint(100.0 + 1000.0 * np.exp(-(((ch - 500.0) / 400.0) ** 2)))
    write("effective.txt", column(effective, "%.0f"))
    # X, Y, error lines of an angular spectrum (kind 4): two-theta from 10 degrees by 0.05.
    tth = 10.0 + 0.05 * (ch - 1)
    write("angular_xye.txt", "".join("%.2f %.0f %.2f\n" % (x, y, math.sqrt(y)) for x, y in zip(tth, counts)))


MAGNETIC_GROUP = """* first set P 1 2/c 1, second set P 1 21/c 1
2, 0, 2, 1, 0, 2
x,y,z
-x,y,-z+0.5
x,y,z
-x,y+0.5,-z+0.5
0.0, 1.0, 0.0
"""

SPECTRUM_LINE = "1 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0.00147 0.00893 0"

ZRO2 = """* ZrO2, time of flight, one phase
.......Set the Mode
* 0=Rietveld  1=Powder index. 2=DazazeDedev  3=Fitra
0
.......Set Number of Phases
1
.......Input the Spectrum
zro2_counts.txt
{spectrum}
.......Input the Lattice Parameters
5.15367 5.21982 5.31867 90 99.199 90 14 2 4 0 0
.......Input the Atomic Parameters
Zr
0.98 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 0
O
1.0 0.069 0.342 0.345 0.4 0 0 0 0 0 0
O
1.0 0.451 0.758 0.479 0.2 0 0 0 0 0 0
Hf
0.02 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 0
.......Form HKLs
.......STOP
""".format(spectrum=SPECTRUM_LINE)

# Every command of the spectrum and phase families with its value lines, in an order in which
# each finds what it needs. Mode 2 (powder match) lets GAIPA take its names.
ALL_COMMANDS = """* every INI command for modes, spectra, peak models, phases, atoms and reflections
.......Set the Mode
2
.......Set Number of Phases
2
.......Set Number of Peaks for Fitra
3
.......Set Number of Exponentials for Fitra
2
.......Input Peak Model Assignments
1 2 6
.......Input the Spectrum
zro2_counts.txt
{spectrum}
.......Input the Variance
zro2_variance.txt
1 3 0
.......Input the Effective Spectrum
effective.txt
3 1 1024 1.0 25.0 -1.187 64.0 75.0
.......SDNES
.......ASCIILS
1 2 3
.......Info about the Angular Spectrum
angular_xye.txt
2 4 1 1024 1 1024 1.54 0 0.05 10.0 7.0 4.0 7.0 0 3 0.00147 0.00893 0
.......AT
2 10.0 0.05
.......Input Zero Weights
1 400 410
.......Set the Width and Background Modes
1 0
.......Input the Real Model
690 725 2 1 1.0 1
.......IDRM
690 725 2 2 1.0 1
.......IDSRM
690 725 2 3 1.0 1
{real_block}
{double_block}
.......Info for Entering the Doublesigned  Model
{double_block_body}
.......Info for Entering the Special  Model
* No of model and type
 5  4
* rvoigt
    0.5000
.......Input the Lattice Parameters
5.15367 5.21982 5.31867 90 99.199 90 14 2 4 0 0
5.15367 5.21982 5.31867 90 99.199 90 777 1 2 0 0
magnetic.spg
.......Input the Atomic Parameters
Zr
0.98 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 0
O
1.0 0.069 0.342 0.345 0.4 0 0 0 0 0 0
O
1.0 0.451 0.758 0.479 0.2 0 0 0 0 0 0
Hf
0.02 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 0
Fe
1.0 0.25 0.25 0.25 0.3 0 0 0 0 0 0.945
Mn
1.0 0.75 0.75 0.75 0.3 0 0 0 0 0 0
.......IAI
Zr
0.98 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 0
O
1.0 0.069 0.342 0.345 0.4 0 0 0 0 0 0
O
1.0 0.451 0.758 0.479 0.2 0 0 0 0 0 0
Hf
0.02 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 0
Fe
1.0 0.25 0.25 0.25 0.3 0 0 0 0 0 0.945
Mn
1.0 0.75 0.75 0.75 0.3 0 0 0 0 0 0
.......ENSSA
0
0
0
0
0.95
0
.......Get Atomic Info from Par.Array
ZR      7.1600
O       5.8030
O       5.8030
HF      7.7700
FE      9.4500
MN     -3.7300
.......Set Magnetic Phase
2 2
0 1 0
magnetic.spg
FE3
V 0
2.5
3.0
.......Set Anisotropic Phase
1
* anis_pars: 1...9
0.1 0.2 0.3 0.4 0.5 0.6
0.7 0.8 0.9 1.0 1.1 1.2
.......Set M2 Mode
0.25 0.5
.......Form HKLs
.......THKL
5 4
.......SNRA
3 2
.......STOP
"""


def model_block(title, index):
    # A Gaussian window on 193 points, centre 97, full width 20 points: half-point count 96 and
    # the header (half width in full widths, area, full width, centroid).
    x = np.arange(1, 194) - 97.0
    fwhm = 20.0
    shape = np.exp(-4.0 * math.log(2.0) * (x / fwhm) ** 2)
    area = shape.sum()
    shape = shape / area * fwhm
    lines = []
    if title:
        lines.append(title)
    lines += ["* No of model", "%2d" % index,
              "96 " + "".join("%14.7E" % v for v in (96.0 / fwhm, area / fwhm, fwhm, 0.0)) + " 0"]
    for i in range(0, 193, 5):
        lines.append("".join("%14.7E" % v for v in shape[i:i + 5]))
    return "\n".join(lines)


def reflections():
    cell = gemmi.UnitCell(*CELL)
    sg = gemmi.SpaceGroup("P 1 21/c 1")
    ops = sg.operations()
    asu = gemmi.ReciprocalAsu(sg)
    seen = {}
    n = 12
    for h in range(-n, n + 1):
        for k in range(-n, n + 1):
            for l in range(-n, n + 1):
                if (h, k, l) == (0, 0, 0):
                    continue
                d = cell.calculate_d([h, k, l])
                if d < D_LOW or d > D_HIGH or ops.is_systematically_absent([h, k, l]):
                    continue
                rep = tuple(asu.to_asu([h, k, l], ops)[0])
                seen.setdefault(rep, [d, 0])[1] += 1
    rows = sorted(((v[0], v[1], r) for r, v in seen.items()), reverse=True)
    out = ["# gemmi %s: ZrO2 P 1 21/c 1, reflections with %.2f <= d <= %.2f: d multiplicity" % (
        gemmi.__version__, D_LOW, D_HIGH)]
    out += ["%.9f %d" % (d, m) for d, m, _ in rows]
    with open(os.path.join(OUT, "zro2_hkl.txt"), "w") as f:
        f.write("\n".join(out) + "\n")
    # 1/d^2 = A h^2 + B k^2 + C l^2 + D hk + E hl + F kl from gemmi's reciprocal metric.
    g = cell.reciprocal_metric_tensor()
    metric = [g.u11, g.u22, g.u33, 2 * g.u12, 2 * g.u13, 2 * g.u23]
    with open(os.path.join(OUT, "zro2_metric.txt"), "w") as f:
        f.write("# gemmi reciprocal metric of ZrO2: A B C D E F (cross terms with the factor 2)\n")
        f.write(" ".join("%.12e" % v for v in metric) + "\n")


def main():
    os.makedirs(OUT, exist_ok=True)
    spectra()
    write("magnetic.spg", MAGNETIC_GROUP)
    write("zro2.ini", ZRO2)
    real = model_block(".......Info for Entering the Real  Model", 4)
    double = model_block(".......IEDRM", 5)
    write("all_commands.ini", ALL_COMMANDS.format(spectrum=SPECTRUM_LINE, real_block=real, double_block=double,
                                                  double_block_body=model_block("", 6)))
    reflections()


if __name__ == "__main__":
    main()
