#!/usr/bin/python3
"""Reads a GPH and a PRF file the way plotting programs do; exit 0 when both load.

Usage: check_profile_files.py GPH PRF
GPH: numpy.loadtxt with comments "*" reads every row, and the largest |exp| is 1000.
PRF: the column line holds "Yobs" and "Ycal" twice each and its first token is the x unit; the
line before it holds 2 nph + 1 integers; nph and npts are the first two numbers of the line
before that; then npts rows whose first five tokens read as numbers; reflection rows have more
than five tokens and one ")", the position in token 6.
"""
import sys

import numpy


def fail(why):
    print(why)
    sys.exit(1)


def check_gph(path):
    rows = [r for r in open(path, newline='').read().split('\r\n') if r and not r.startswith('*')]
    table = numpy.loadtxt(path, comments='*', ndmin=2)
    if table.shape[0] != len(rows):
        fail('gph: %d rows read of %d' % (table.shape[0], len(rows)))
    if abs(numpy.max(numpy.abs(table[:, 1])) - 1000) > 0.5:
        fail('gph: max |exp| = %g' % numpy.max(numpy.abs(table[:, 1])))


def check_prf(path):
    lines = open(path, newline='').read().split('\r\n')
    col = next((i for i, l in enumerate(lines) if l.count('Yobs') == 2 and l.count('Ycal') == 2), None)
    if col is None or col < 2:
        fail('prf: no column line')
    if lines[col].split()[0] != 'T.O.F.':
        fail('prf: x unit ' + lines[col].split()[0])
    counts = [int(t) for t in lines[col - 1].split()]
    head = lines[col - 2].split()
    nph, npts = int(head[0]), int(head[1])
    if len(counts) != 2 * nph + 1:
        fail('prf: %d integers for %d phases' % (len(counts), nph))
    refl = 0
    for line in lines[col + 1:col + 1 + npts]:
        tokens = line.split()
        try:
            [float(t) for t in tokens[:5]]
        except ValueError:
            fail('prf: row ' + line)
        if len(tokens) > 5:
            if line.count(')') != 1:
                fail('prf: reflection row ' + line)
            float(tokens[5])
            refl += 1
    if refl != min(sum(counts[:nph]), npts):
        fail('prf: %d reflections' % refl)


check_gph(sys.argv[1])
check_prf(sys.argv[2])
