#!/usr/bin/python3
"""Judges cells found by the powder indexing against the true ones, with gemmi.

Usage: judge_indexing.py [--edges TOL|auto] [--sets SET[,SET...]] FOUND [VERDICTS]
  FOUND rows:    <id> <lattice> <tier> <letter> a b c alpha beta gamma <letter> a b c alpha beta gamma
                 <seconds> <trials>
                 (the true cell and its centring letter, the found cell and its letter, a cell on
                 rhombohedral axes counting as P; the processor time of the run and the trials it made)
  VERDICTS rows: <id> <lattice> <tier> success|derivative|fail

A found cell succeeds when its Niggli cell (gemmi GruberVector) equals the true one within 0.5 %
(or TOL relative) in the edges and 0.5 degree (or TOL x 100 degrees) in the angles, or, where a Niggli cell lies on a boundary of the
reduction, when the primitive volumes agree within 0.5 % and so do the 30 largest d of the two
primitive lattices (every reciprocal lattice point, so equal d count with their multiplicity). A derivative solution has a primitive volume 2, 3 or 4 times (or a
half, third, quarter of) the true one. The shares per lattice group are printed, and per crystal
system the share of successes, the median and 90th-percentile time per run and per success, and the
trials per second.

With --edges auto (which needs --sets) each list's tolerance is four times its lines' mean
relative error, at least 5e-4.

With --sets (the d-lists the rows of FOUND came from, in their order), a list that does not
determine its lattice is counted apart: one with at most two lines off some zone of the true
lattice (the reflections h u + k v + l w = 0 of a direct lattice vector [u v w] of indices up to 2),
where a line counts as off the zone when no reflection within three of its errors lies on it. The
third axis of such a zone has three free metric terms, which two lines cannot fix: a continuum of
cells indexes every line.
"""
import itertools
import math
import sys

try:
    import gemmi
except ImportError as e:
    sys.exit("judge_indexing.py needs python3-gemmi: %s" % e)


def niggli(cell, letter):
    g = gemmi.GruberVector(gemmi.UnitCell(*cell), letter)
    g.niggli_reduce()
    return g.cell_parameters()


def largest_d(params, n=30):
    # Every reciprocal lattice point, with its multiplicity: a triclinic cell a little off a lattice
    # of higher symmetry splits equal d, which a list of distinct d would shift.
    uc = gemmi.UnitCell(*params)
    d = [uc.calculate_d([h, k, l]) for h, k, l in itertools.product(range(-6, 7), repeat=3) if (h, k, l) != (0, 0, 0)]
    return sorted(d, reverse=True)[:n]


EDGES = 0.005


def verdict(true_cell, true_letter, found_cell, found_letter, edges=None):
    global EDGES
    if edges is not None:
        kept, EDGES = EDGES, edges
        try:
            return verdict(true_cell, true_letter, found_cell, found_letter)
        finally:
            EDGES = kept
    try:
        t = niggli(true_cell, true_letter)
        f = niggli(found_cell, found_letter)
    except (RuntimeError, ValueError):
        return "fail"
    vt, vf = gemmi.UnitCell(*t).volume, gemmi.UnitCell(*f).volume
    edges = all(abs(a - b) <= EDGES * a for a, b in zip(t[:3], f[:3]))
    if edges and all(abs(a - b) <= 100 * EDGES for a, b in zip(t[3:], f[3:])):
        return "success"
    if abs(vf - vt) <= EDGES * vt:
        dt, df = largest_d(t), largest_d(f)
        if all(abs(a - b) <= EDGES * a for a, b in zip(dt, df)):
            return "success"
    ratio = vf / vt
    for n in (2, 3, 4):
        if abs(ratio - n) <= 0.02 * n or abs(ratio - 1.0 / n) <= 0.02 / n:
            return "derivative"
    return "fail"


def undetermined(true_cell, letter, lines):
    """True when some zone of the true (primitive) lattice has at most two indexed lines off it."""
    try:
        prim = gemmi.UnitCell(*niggli(true_cell, letter))
    except (RuntimeError, ValueError):
        return False
    d_min = min(d - 3 * e for d, e in lines)
    m = [int(math.ceil(x / d_min)) for x in prim.parameters[:3]]
    refl = []
    for h in range(-m[0], m[0] + 1):
        for k in range(-m[1], m[1] + 1):
            for l in range(0, m[2] + 1):
                if (h, k, l) != (0, 0, 0):
                    d = prim.calculate_d([h, k, l])
                    if d >= d_min:
                        refl.append((d, h, k, l))
    matches = [[r[1:] for r in refl if abs(r[0] - d) <= 3 * e] for d, e in lines]
    matches = [x for x in matches if x]  # impurity lines index nothing
    for u, v, w in itertools.product(range(-2, 3), repeat=3):
        if (u, v, w) <= (0, 0, 0) or math.gcd(math.gcd(u, v), w) != 1:
            continue
        off = sum(all(h * u + k * v + l * w != 0 for h, k, l in x) for x in matches)
        if off <= 2:
            return True
    return False


def read_sets(paths):
    """(id, letter, cell, lines) of every case of the set files, in order."""
    cases = []
    for path in paths:
        with open(path) as f:
            for line in f:
                t = line.split()
                if t[:1] == ["case"]:
                    letter = "P" if t[2][1] == "R" else t[2][1]
                    cases.append((t[1], letter, [float(x) for x in t[6:12]], []))
                elif t[:1] == ["l"] and cases:
                    cases[-1][3].append((float(t[1]), float(t[2])))
    return cases


GROUPS = {"high symmetry": ("cP", "cI", "cF", "tP", "tI", "hP", "hR", "oP", "oC", "oI", "oF"),
          "monoclinic": ("mP", "mC"), "triclinic": ("aP",)}


def main():
    global EDGES
    args = sys.argv[1:]
    sets, auto = [], False
    while args[:1] in (["--edges"], ["--sets"]):
        if args[0] == "--edges":
            auto = args[1] == "auto"
            EDGES = EDGES if auto else float(args[1])
        else:
            sets = [x for x in args[1].split(",") if x]
        args = args[2:]
    if not args:
        sys.exit(__doc__)
    if auto and not sets:
        sys.exit("judge_indexing.py: --edges auto needs --sets")
    tolerance = {}
    if auto:
        for n, case in enumerate(read_sets(sets)):
            relative = sum(e / d for d, e in case[3]) / max(len(case[3]), 1)
            tolerance[n] = max(5e-4, 4 * relative)
    rows = []
    with open(args[0]) as f:
        for line in f:
            t = line.split()
            if len(t) != 19:
                continue
            true_cell = [float(x) for x in t[4:10]]
            found_cell = [float(x) for x in t[11:17]]
            rows.append((t[0], t[1], t[2], verdict(true_cell, t[3], found_cell, t[10], tolerance.get(len(rows))),
                         float(t[17]), float(t[18])))
    out = ["%s %s %s %s" % r[:4] for r in rows]
    apart = set()
    if sets:
        cases = read_sets(sets)
        if len(cases) != len(rows) or any(c[0] != r[0] for c, r in zip(cases, rows)):
            sys.exit("judge_indexing.py: the sets do not hold the cases of %s in order" % args[0])
        apart = {i for i, c in enumerate(cases) if undetermined(c[2], c[1], c[3])}
    if len(args) > 1:
        with open(args[1], "w") as f:
            f.write("\n".join(out) + "\n")
    for group, names in GROUPS.items():
        mine = [r for r in rows if r[1] in names]
        if mine:
            ok = sum(r[3] == "success" for r in mine)
            der = sum(r[3] == "derivative" for r in mine)
            print("%-14s %3d cases  success %5.1f %%  derivative %5.1f %%" % (group, len(mine), 100.0 * ok / len(mine),
                                                                          100.0 * der / len(mine)))
            for tier in ("clean", "missing", "impurity"):
                t = [r for r in mine if r[2] == tier]
                if t:
                    print("    %-9s success %5.1f %%  derivative %5.1f %%" % (
                        tier, 100.0 * sum(r[3] == "success" for r in t) / len(t),
                        100.0 * sum(r[3] == "derivative" for r in t) / len(t)))
    if sets:
        print("lists that do not determine their lattice: %d" % len(apart))
        for group, names in GROUPS.items():
            mine = [i for i, r in enumerate(rows) if r[1] in names]
            rest = [i for i in mine if i not in apart]
            if mine:
                print("%-14s %3d determined  success %5.1f %%   %d undetermined, %d of them found" % (
                    group, len(rest), 100.0 * sum(rows[i][3] == "success" for i in rest) / max(len(rest), 1),
                    len(mine) - len(rest), sum(rows[i][3] == "success" for i in mine if i in apart)))
    for system in "cthoma":
        mine = [r for r in rows if r[1][0] == system]
        if not mine:
            continue
        runs = sorted(r[4] for r in mine)
        hits = sorted(r[4] for r in mine if r[3] == "success")
        per = lambda t, q: t[min(len(t) - 1, int(q * len(t)))] if t else float("nan")
        print("%s: %3d runs  success %5.1f %%  per run median %6.2f s  p90 %6.2f s   per success median %6.2f s  p90 %6.2f s  "
              "%6.0f trials/s" % (system, len(runs), 100.0 * len(hits) / len(runs), per(runs, 0.5), per(runs, 0.9), per(hits, 0.5), per(hits, 0.9),
                                  sum(r[5] for r in mine) / max(sum(runs), 1e-9)))


if __name__ == "__main__":
    main()
