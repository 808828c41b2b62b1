#!/usr/bin/python3
"""Expected GPH and PRF profile files from the per-channel inputs a test records.

Usage: gen_profile_files.py INPUTS OUT_GPH OUT_PRF

INPUTS holds, one record a line (numbers as exact decimal texts):
  head  first last delay chanwidth flightpath theta fitted
  cell  a b c alpha beta gamma          (phase 1)
  count n_1 .. n_P                      (reflections per phase)
  refl  phase h k l p                   (p: the channel of the reflection's d, unrounded)
  chan  x y e f bg c_1 .. c_P d         (count, error, model, background, contributions, d)
The files are written with Python's own fixed-point formatting and CR LF line ends.
"""
import math
import sys


def fixed(width, decimals, x):
    # Right-aligned, widened when the number needs more room; no negative zero.
    return '%*.*f' % (width, decimals, x + 0.0)


def read(path):
    head, cell, counts, refl, chans = None, None, [], [], []
    with open(path) as f:
        for line in f:
            t = line.split()
            if not t:
                continue
            if t[0] == 'head':
                head = [float(v) for v in t[1:]]
            elif t[0] == 'cell':
                cell = [float(v) for v in t[1:]]
            elif t[0] == 'count':
                counts = [int(v) for v in t[1:]]
            elif t[0] == 'refl':
                refl.append((int(t[1]), int(t[2]), int(t[3]), int(t[4]), float(t[5])))
            elif t[0] == 'chan':
                chans.append([float(v) for v in t[1:]])
    return head, cell, counts, refl, chans


def gph(head, counts, refl, chans):
    phases = len(counts)
    fitted = head[6] != 0
    ymax = max(max(c[1] for c in chans), 1.0)
    ymin = min(min(c[1] for c in chans), 0.0)
    scale = 1000.0 / max(ymax, abs(ymin))
    first_phase = {}
    for phase, _h, _k, _l, p in refl:
        first_phase.setdefault(round(p), phase)
    rows = ['*    Meaning of columns:', '* Channel (or d (angstroem) or angle (2theta))',
            '* Exp., Fit and Difference values (scaled to 1000)', '* d and Peak indicators (0 or 1)',
            '* Background and single phases']
    for c in chans:
        x, y, e, f, bg = c[:5]
        parts, d = c[5:5 + phases], c[5 + phases]
        if not fitted:
            f = bg = 0.0
            parts = [0.0] * phases
        exp, fit = y * scale, f * scale
        fields = [fixed(7, 0, x), fixed(8, 0, exp), fixed(8, 0, fit),
                  fixed(8, 1, (exp - fit) / max(0.01, e * scale)), fixed(8, 4, min(d, 99.0)),
                  fixed(2, 0, first_phase.get(round(x), 0)), fixed(8, 0, bg * scale)]
        fields += [fixed(8, 0, (bg + p) * scale if fitted else 0.0) for p in parts]
        # A field that fills its width is set off by one blank: readers split rows at blanks.
        rows.append(fields[0] + ''.join(t if t.startswith(' ') else ' ' + t for t in fields[1:]))
    return rows


def prf(head, cell, counts, refl, chans):
    _first, _last, delay, width, path, theta, fitted = head
    phases = len(counts)
    n = len(chans)
    ys = [c[1] for c in chans]
    top, bottom = max(ys), min(ys)
    scale, k = 1.0, 0
    while k < 6 and not top * scale < 1e6:
        scale *= 0.1
        k += 1
    spacing = (top - bottom) / (2.0 * phases)
    constant = 505.556 * path * math.sin(theta / 57.29578)
    m = min(len(refl), n)

    def tof(x):
        return (x + delay) * width

    title = '  Powder sample 293 K  TOF'.ljust(31) + 'CELL: '
    rows = [title + ''.join(fixed(10, 5, v) for v in cell[:3]) + ''.join(fixed(10, 4, v) for v in cell[3:])
            + '   SPGR: R -3 c']
    rows.append(fixed(3, 0, phases) + fixed(7, 0, n) + fixed(12, 0, 1) + fixed(12, 0, 1) + fixed(12, 0, 0)
                + fixed(12, 2, constant) + fixed(12, 0, 0) + fixed(5, 0, 1))
    rows.append(''.join('%6d' % v for v in counts) + '%6d' % 0 * (phases + 1))
    rows.append(' T.O.F.\tYobs\tYcal\tYobs-Ycal\tBackg\tBragg\tPosr\t(hkl)\tK')
    for i, c in enumerate(chans, start=1):
        x, y, _e, f, bg = c[:5]
        if not fitted:
            f = bg = 0.0
        row = fixed(12, 4, tof(x)) + '\t' + fixed(7, 0, y * scale) + '.\t' + fixed(7, 0, f * scale) + '.\t'
        row += fixed(7, 0, (y - f - top) * scale / 4) + '.\t' + fixed(7, 0, (bg - bottom) * scale / 4) + '.\t'
        if i <= m:
            phase, h, kk, l, p = refl[i - 1]
            row += fixed(12, 4, tof(p)) + '\t' + fixed(8, 0, -(phase - 1) * spacing * scale) + '\t('
            row += '%4d%3d%3d)\t  0  1' % (h, kk, l)
        rows.append(row[:255])
    return rows


def main():
    head, cell, counts, refl, chans = read(sys.argv[1])
    outputs = ((gph(head, counts, refl, chans), sys.argv[2]), (prf(head, cell, counts, refl, chans), sys.argv[3]))
    for rows, out in outputs:
        with open(out, 'w', newline='') as f:
            f.write(''.join(r + '\r\n' for r in rows))


if __name__ == '__main__':
    main()
