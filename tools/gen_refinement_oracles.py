#!/usr/bin/python3
"""Oracles of the refinement result texts, for tests/crystal/refinement_results_test.cpp and
tests/crystal/info_windows_test.cpp.

- neff: the number of efficient peaks of a reflection set, reimplemented in numpy: the channel of
  every reflection (time of flight, t = 505.556 L d sin(theta) / width, no delay), W = max(1, W0),
  n_eff = sum_i 1 / (1 + sum_{j != i, |x_i - x_j| < 3W} exp(-((x_i - x_j) / W)^2 / 2)).
  Rows "neff <case> <W0> <n_eff>" and "refl <case> <phase> <d>".
- reciprocal: the reciprocal cell of a direct cell by gemmi's UnitCell.reciprocal(): a*, b*, c*,
  alpha*, beta*, gamma* (degrees), the volume and the reciprocal volume.
  Rows "cell <name> <group> a b c alpha beta gamma" and "reciprocal <name> a* b* c* al* be* ga* V V*".

Usage: gen_refinement_oracles.py [output]
       (default: tests/crystal/data/refinement_oracles.txt)
"""
import os
import sys

import gemmi
import numpy as np

FLIGHT_PATH, THETA, WIDTH = 21.13, 76.0, 4.0  # m, degrees, microseconds
CHANNEL_PER_D = 505.556 * FLIGHT_PATH * np.sin(np.radians(THETA)) / WIDTH

# case: W0 and the reflections as (phase, channel).
NEFF_CASES = {
    "isolated": (3.0, [(1, 1000.0), (1, 1100.0), (1, 1200.0)]),          # 3 x 1
    "pair": (3.0, [(1, 1000.0), (2, 1000.0), (1, 1500.0)]),              # 1/2 + 1/2 + 1
    "cluster": (2.5, [(1, 1000.0), (1, 1001.25), (2, 1002.5), (1, 1006.0), (2, 1007.4), (1, 1040.0)]),
    "narrow": (0.4, [(1, 1000.0), (2, 1002.0), (1, 1003.5)]),            # W0 < 1 counts as 1
}

CELLS = {
    "triclinic": (1, (4.0, 5.0, 6.0, 80.0, 95.0, 100.0)),
    "monoclinic": (14, (5.1505, 5.2116, 5.3173, 90.0, 99.23, 90.0)),
    "hexagonal": (186, (3.2495, 3.2495, 5.2069, 90.0, 90.0, 120.0)),
}


def neff(w0, channels):
    x = np.asarray(channels, dtype=float)
    w = max(1.0, w0)
    diff = x[:, None] - x[None, :]
    near = (np.abs(diff) < 3 * w) & ~np.eye(len(x), dtype=bool)
    s = np.where(near, np.exp(-np.minimum(77.0, (diff / w) ** 2 / 2)), 0.0).sum(axis=1)
    return float((1 / (1 + s)).sum())


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "crystal", "data", "refinement_oracles.txt")
    lines = ["# from tools/gen_refinement_oracles.py"]
    for name, (w0, refl) in NEFF_CASES.items():
        lines.append("neff %s %r %r" % (name, w0, neff(w0, [c for _, c in refl])))
        for phase, c in refl:
            lines.append("refl %s %d %r" % (name, phase, c / CHANNEL_PER_D))
    for name, (group, cell) in CELLS.items():
        uc = gemmi.UnitCell(*cell)
        r = uc.reciprocal()
        lines.append("cell %s %d " % (name, group) + " ".join(repr(v) for v in cell))
        lines.append("reciprocal %s " % name + " ".join(
            repr(v) for v in (r.a, r.b, r.c, r.alpha, r.beta, r.gamma, uc.volume, r.volume)))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
