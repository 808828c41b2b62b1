#!/usr/bin/python3
"""Golden cells and cell errors from fitted metric coefficients, for tests/crystal/cell_update_test.cpp.

For cells of every crystal system: the six metric coefficients G1..G6 of
1/d^2 = G1 h^2 + G2 k^2 + G3 l^2 + G4 kl + G5 hl + G6 hk (from the inverse of the direct metric
tensor), uncorrelated standard deviations of them, and the direct cell with its standard
deviations sigma_r = sqrt(sum_k (J_rk sG_k)^2), J the Jacobian of (a, b, c, alpha, beta, gamma)
by G1..G6.

The map G -> cell is the program's: a* = sqrt G1, cos alpha* = G4 / (2 b* c*) and so on, except
that the angles the crystal system prescribes (all 90 for orthorhombic, tetragonal and cubic,
alpha* = 90 for monoclinic, alpha* = beta* = 90 and gamma* = 60 for hexagonal) do not follow the
records. The direct cell is taken from the inverse of the reciprocal metric tensor; J by the
complex step (exact to rounding), checked against central differences.

Usage: gen_cell_update_golden.py [output]   (default: tests/crystal/data/cell_update_golden.txt)
"""
import os
import sys

import numpy as np

# system code, cell (a, b, c, alpha, beta, gamma), relative sigma of G1..G3, sigma of G4..G6
# (absolute, 1/A^2; zero where the system holds the angle or the fit fixes the record).
CASES = [
    (1, (4.0, 5.0, 6.0, 80.0, 95.0, 100.0), 2e-4, (3e-5, 2e-5, 4e-5)),
    (1, (7.123, 8.456, 9.789, 104.3, 111.2, 87.6), 5e-4, (1e-5, 3e-5, 2e-5)),
    (2, (5.1, 6.2, 7.3, 90.0, 104.5, 90.0), 3e-4, (0.0, 2e-5, 0.0)),   # b unique
    (2, (5.1, 6.2, 7.3, 90.0, 90.0, 97.25), 3e-4, (0.0, 0.0, 2e-5)),   # c unique
    (3, (4.2, 5.3, 6.4, 90.0, 90.0, 90.0), 1e-4, (0.0, 0.0, 0.0)),
    (4, (3.9, 3.9, 9.7, 90.0, 90.0, 90.0), 1e-4, (0.0, 0.0, 0.0)),
    (5, (5.4309, 5.4309, 5.4309, 90.0, 90.0, 90.0), 1e-4, (0.0, 0.0, 0.0)),
    (6, (3.2094, 3.2094, 5.2108, 90.0, 90.0, 120.0), 2e-4, (0.0, 0.0, 0.0)),
    (6, (4.913, 4.913, 5.405, 90.0, 90.0, 120.0), 2e-4, (0.0, 0.0, 3e-5)),  # gamma* held: no effect
    (7, (5.4, 5.4, 5.4, 55.3, 55.3, 55.3), 2e-4, (2e-5, 2e-5, 2e-5)),
    (7, (7.1, 7.1, 7.1, 101.2, 101.2, 101.2), 2e-4, (1e-5, 1e-5, 1e-5)),
]

# Reciprocal angles (degrees) the system prescribes: index 0 alpha*, 1 beta*, 2 gamma*.
FIXED = {2: {0: 90.0}, 3: {0: 90.0, 1: 90.0, 2: 90.0}, 4: {0: 90.0, 1: 90.0, 2: 90.0},
         5: {0: 90.0, 1: 90.0, 2: 90.0}, 6: {0: 90.0, 1: 90.0, 2: 60.0}}


def metric_from_cell(cell):
    a, b, c = cell[:3]
    ca, cb, cg = (np.cos(np.radians(x)) for x in cell[3:])
    g = np.array([[a * a, a * b * cg, a * c * cb],
                  [a * b * cg, b * b, b * c * ca],
                  [a * c * cb, b * c * ca, c * c]])
    r = np.linalg.inv(g)
    G = [r[0, 0], r[1, 1], r[2, 2], 2 * r[1, 2], 2 * r[0, 2], 2 * r[0, 1]]
    # Right angles give cross terms of rounding size: exactly 0, as a fit of such a cell holds.
    return [0.0 if i >= 3 and abs(x) < 1e-14 else float(x) for i, x in enumerate(G)]


def cell_from_metric(G, system):
    """(a, b, c, alpha, beta, gamma) of the program's map; works on complex G (complex step)."""
    G = np.asarray(G)
    e = np.sqrt(G[:3])
    cos = [G[3] / (2 * e[1] * e[2]), G[4] / (2 * e[0] * e[2]), G[5] / (2 * e[0] * e[1])]
    for i, angle in FIXED.get(system, {}).items():
        cos[i] = 0.5 if angle == 60.0 else 0.0
    # Reciprocal metric tensor; cos[0] pairs b*, c*; cos[1] a*, c*; cos[2] a*, b*.
    m = np.array([[e[0] * e[0], e[0] * e[1] * cos[2], e[0] * e[2] * cos[1]],
                  [e[0] * e[1] * cos[2], e[1] * e[1], e[1] * e[2] * cos[0]],
                  [e[0] * e[2] * cos[1], e[1] * e[2] * cos[0], e[2] * e[2]]])
    g = np.linalg.inv(m)
    a, b, c = np.sqrt(g[0, 0]), np.sqrt(g[1, 1]), np.sqrt(g[2, 2])
    deg = 180.0 / np.pi
    return np.array([a, b, c, np.arccos(g[1, 2] / (b * c)) * deg, np.arccos(g[0, 2] / (a * c)) * deg,
                     np.arccos(g[0, 1] / (a * b)) * deg])


def jacobian_complex_step(G, system, h=1e-30):
    J = np.zeros((6, 6))
    for k in range(6):
        z = np.array(G, dtype=complex)
        z[k] += 1j * h
        J[:, k] = np.imag(cell_from_metric(z, system)) / h
    return J


def jacobian_central(G, system):
    J = np.zeros((6, 6))
    for k in range(6):
        h = 1e-6 * max(abs(G[k]), max(abs(x) for x in G[:3]))
        up, down = np.array(G, dtype=float), np.array(G, dtype=float)
        up[k] += h
        down[k] -= h
        J[:, k] = (cell_from_metric(up, system) - cell_from_metric(down, system)) / (2 * h)
    return J


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "tests", "crystal", "data", "cell_update_golden.txt")
    lines = [
        "# Written by tools/gen_cell_update_golden.py (numpy); do not edit.",
        "# cell system G1..G6 sG1..sG6 a b c alpha beta gamma s(a) s(b) s(c) s(alpha) s(beta) s(gamma)",
    ]
    for system, cell, rel, cross in CASES:
        G = metric_from_cell(cell)
        sigma = [rel * G[0], rel * G[1], rel * G[2], *cross]
        direct = cell_from_metric(np.array(G, dtype=complex), system).real
        assert np.allclose(direct, cell, rtol=1e-12, atol=1e-10), (cell, direct)
        J = jacobian_complex_step(G, system)
        Jc = jacobian_central(G, system)
        scale = np.abs(J).max()
        assert np.abs(J - Jc).max() < 1e-6 * scale, (cell, np.abs(J - Jc).max())
        errors = np.sqrt(((J * np.array(sigma)) ** 2).sum(axis=1))
        values = [system] + G + sigma + list(direct) + list(errors)
        lines.append("cell " + " ".join(repr(v if isinstance(v, int) else float(v)) for v in values))
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
