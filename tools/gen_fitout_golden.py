#!/usr/bin/python3
"""Golden data of the Fitra areas, the convoluted-exponential fit and the auto-calibration, for
tests/peaks/ (file fitout_golden.txt).

Rows, one per line, first token the key:
  lorentz A P W0 W1 first last area
      A Lorentz peak A / (pi (1 + z^2)), z = (c - P) / w, w = W0 + W1 u(P), u(x) = (2x - f - l) / (l - f)
      (the width law at the peak's centre, so the peak is symmetric): its whole area, integrated
      by scipy.integrate.quad over the whole line (a peak at the range's edge included).
  expdata first last B sigma  then  expcount c y   (Poisson counts, numpy seed 31, channels 101..450)
      y drawn from F(t) = B + A exp(-t/tau) Phi((t - sigma^2/tau - t0)/sigma) / tau for t >= t0, F = B
      below, t = c - 1, with A 2e5, tau 100, t0 150.4.
  expfit A tau t0 errA errtau errt0 chi2df
      scipy.optimize.least_squares of (y - F)/E, E = sqrt(max(y, 1)), over A, tau, t0 (B and sigma
      fixed) with the analytic Jacobian, from A 1.5e5, tau 90, t0 150.7; errors sqrt(diag(inv(J'J))).
  calib1 name L N  refs..  peaks..  then  best1 m1 m2 a b x0 chi
      brute force over itertools.combinations in increasing mask order (bit 0 the first item):
      numpy.polyfit(x, y, 1, w = 1/5) per assignment, the line as a (x - x0) + b with x0 the mean of
      x, chi = sum ((y - f) / 5)^2 / max(1, K - 2); the first strictly smallest wins.
  best2 m1 m2   the same assignments ranked by numpy.linalg.lstsq on [1, x, 1.5 x^2 - 0.5].
  run2 m1 m2 p1 p2 p3 crit
      the same trials as one run of mode 2 fits them: from p = 0 before the first trial, each trial
      goes on from the last one's values with at most ten damped Gauss-Newton steps on
      [1, x, 1.5 x^2 - 0.5], weight 0.0025: N = w A'A with its diagonal times 1.1, p += 0.5 N^-1 w A'r,
      held to the bounds (-1000001, 1e7), (-10000001, 1e6), (-1e6, 3e7); the steps end early when
      chi (before the step) <= 1 and eps = sqrt(sqrt(|sum dp^2 diag(N^-1)| / 3) rms(w A'r)) <= 0.5;
      crit = w sum r^2 / max(1, K - 3) at the end; the first strictly smallest wins.
  phys a L theta chw delay  then  physref d..  physpeak c..
      d-spacings of 111, 200, 220, 311 of a cubic cell (gemmi.UnitCell.calculate_d), their channels
      c = 505.556 L d sin(theta) / chw - delay, plus two spurious peaks.
  physnoisy c..   the same channels with normal noise of 0.1 channel (numpy seed 11), two spurious
      peaks.

Usage: gen_fitout_golden.py [file]   (default: tests/peaks/data/fitout_golden.txt)
Exits with status 3 when numpy, scipy or gemmi is missing.
"""
import itertools
import math
import os
import sys

try:
    import gemmi
    import numpy as np
    import scipy.integrate
    import scipy.optimize
    import scipy.special
except ImportError:
    sys.exit(3)


def g(x):
    return repr(float(x))


def lorentz_rows():
    rows = []
    for A, P, W0, W1, f, l in [(5000.0, 200.3, 4.0, 0.5, 1, 400), (5000.0, 5.2, 4.0, 0.5, 1, 400),
                               (800.0, 97.5, 2.5, -0.3, 20, 300)]:
        w = W0 + W1 * (2 * P - f - l) / (l - f)
        # The whole line, whatever part of it the working range holds.
        s, _ = scipy.integrate.quad(lambda c: A / (math.pi * (1 + ((c - P) / w) ** 2)), -np.inf, np.inf,
                                    epsabs=0, epsrel=1e-12)
        rows.append(" ".join(["lorentz", g(A), g(P), g(W0), g(W1), str(f), str(l), g(s)]))
    return rows


def exp_model(p, t, B, sig):
    A, tau, t0 = p
    z = (t - sig * sig / tau - t0) / sig
    e = np.exp(-t / tau)
    P = scipy.special.ndtr(z)
    on = t >= t0
    return np.where(on, B + A * e * P / tau, B)


def exp_jac(p, t, B, sig):
    A, tau, t0 = p
    z = (t - sig * sig / tau - t0) / sig
    e = np.exp(-t / tau)
    P = scipy.special.ndtr(z)
    phi = np.exp(-0.5 * z * z) / math.sqrt(2 * math.pi)
    on = t >= t0
    dA = e * P / tau
    dtau = A * e * ((t - tau) * P + sig * phi) / tau ** 3
    dt0 = -A * e * phi / (sig * tau)
    return np.where(on[:, None], np.stack([dA, dtau, dt0], axis=1), 0.0)


def exp_rows():
    first, last, B, sig = 101, 450, 10.0, 15.0
    truth = (2e5, 100.0, 150.4)
    c = np.arange(first, last + 1)
    t = c - 1.0
    rng = np.random.default_rng(31)
    y = rng.poisson(exp_model(truth, t, B, sig)).astype(float)
    E = np.sqrt(np.maximum(y, 1.0))
    res = scipy.optimize.least_squares(lambda p: (y - exp_model(p, t, B, sig)) / E, [1.5e5, 90.0, 150.7],
                                       jac=lambda p: -exp_jac(p, t, B, sig) / E[:, None],
                                       method="lm", xtol=1e-15, ftol=1e-15, gtol=1e-15)
    J = exp_jac(res.x, t, B, sig) / E[:, None]
    err = np.sqrt(np.diag(np.linalg.inv(J.T @ J)))
    chi = float(np.sum(res.fun ** 2) / (len(y) - 3))
    rows = ["expdata %d %d %s %s" % (first, last, g(B), g(sig))]
    rows += ["expcount %d %d" % (ci, yi) for ci, yi in zip(c, y)]
    rows.append(" ".join(["expfit"] + [g(v) for v in res.x] + [g(v) for v in err] + [g(chi)]))
    return rows


def masks(n, k):
    out = []
    for comb in itertools.combinations(range(n), k):
        out.append(sum(1 << i for i in comb))
    return sorted(out)


def select(values, mask):
    return np.array([v for i, v in enumerate(values) if mask >> i & 1])


def brute(refs, peaks):
    L, N = len(refs), len(peaks)
    K = min(L, N)
    best1 = (1e17, None)
    best2 = (1e17, None)
    for m1 in masks(L, K):
        for m2 in masks(N, K):
            y, x = select(refs, m1), select(peaks, m2)
            slope, icpt = np.polyfit(x, y, 1, w=np.full(K, 1 / 5.0))
            x0 = x.mean()
            f = slope * x + icpt
            chi = float(np.sum(((y - f) / 5.0) ** 2) / max(1, K - 2))
            if chi < best1[0]:
                best1 = (chi, (m1, m2, slope, slope * x0 + icpt, x0))
            A = np.stack([np.ones(K), x, 1.5 * x * x - 0.5], axis=1)
            coef = np.linalg.lstsq(A, y, rcond=None)[0]
            chi2 = float(np.sum((y - A @ coef) ** 2) * 0.0025 / max(1, K - 3))
            if chi2 < best2[0]:
                best2 = (chi2, (m1, m2))
    m1, m2, a, b, x0 = best1[1]
    return ["best1 %d %d %s %s %s %s" % (m1, m2, g(a), g(b), g(x0), g(best1[0])),
            "best2 %d %d" % best2[1]]


def engine_run(refs, peaks):
    L, N = len(refs), len(peaks)
    K = min(L, N)
    lower = np.array([-1000001.0, -10000001.0, -1e6])
    upper = np.array([1e7, 1e6, 3e7])
    p = np.zeros(3)
    dof = max(1, K - 3)
    best = (1e17, None)
    for m1 in masks(L, K):
        for m2 in masks(N, K):
            y, x = select(refs, m1), select(peaks, m2)
            A = np.stack([np.ones(K), x, 1.5 * x * x - 0.5], axis=1)
            for it in range(10):
                r = y - A @ p
                chi = 0.0025 * float(r @ r) / dof
                grad = 0.0025 * A.T @ r
                M = 0.0025 * A.T @ A
                d = np.abs(np.diag(M)) * 1.1
                M[np.diag_indices(3)] = np.where(d < 1e-7, 0.1, d)
                inv = np.linalg.inv(M)
                new = np.clip(p + 0.5 * (inv @ grad), lower, upper)
                q = math.sqrt(abs(float(np.sum((new - p) ** 2 * np.diag(inv)))) / 3)
                eps = math.sqrt(q) * math.sqrt(math.sqrt(float(grad @ grad) / 3))
                p = new
                if it + 1 < 10 and eps <= 0.5 and chi <= 1.0:
                    break
            r = y - A @ p
            crit = 0.0025 * float(r @ r) / dof
            if crit < best[0]:
                best = (crit, (m1, m2, *p))
    m1, m2, p1, p2, p3 = best[1]
    return "run2 %d %d %s %s %s %s" % (m1, m2, g(p1), g(p2), g(p3), g(best[0]))


def calib_rows():
    rows = []
    # Gamma lines: E = 2.5 c - 30 keV with 0.1-channel noise on the positions, two spurious peaks.
    rng = np.random.default_rng(7)
    refs = [4438.0, 5617.0, 6129.0, 7117.0]
    true = [(e + 30) / 2.5 for e in refs]
    peaks = sorted([c + rng.normal(0, 0.1) for c in true] + [1210.37, 2620.81])
    rows.append(" ".join(["calib1", "gamma", str(len(refs)), str(len(peaks))] + [g(v) for v in refs + peaks]))
    rows += brute(refs, peaks)
    rows.append(engine_run(refs, peaks))
    # Three peaks for four references, no noise.
    peaks3 = [true[0], true[2], true[3]]
    rows.append(" ".join(["calib1", "three", "4", "3"] + [g(v) for v in refs + peaks3]))
    rows += brute(refs, peaks3)
    rows.append(engine_run(refs, peaks3))
    # Time of flight: a cubic cell, L, theta, channel width and delay.
    a, L, theta, chw, delay = 4.0495, 10.0, 45.0, 4.0, 12.5
    cell = gemmi.UnitCell(a, a, a, 90, 90, 90)
    d = sorted(cell.calculate_d(list(h)) for h in [(1, 1, 1), (2, 0, 0), (2, 2, 0), (3, 1, 1)])
    chans = [505.556 * L * di * math.sin(math.radians(theta)) / chw - delay for di in d]
    rows.append(" ".join(["phys"] + [g(v) for v in (a, L, theta, chw, delay)]))
    rows.append(" ".join(["physref"] + [g(v) for v in d]))
    rows.append(" ".join(["physpeak"] + [g(v) for v in sorted(chans + [1500.2, 2500.9])]))
    noise = np.random.default_rng(11).normal(0, 0.1, len(chans))
    rows.append(" ".join(["physnoisy"] + [g(v) for v in sorted(list(np.array(chans) + noise) + [1500.2, 2500.9])]))
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "peaks", "data",
                                                             "fitout_golden.txt")
    rows = ["# written by tools/gen_fitout_golden.py"] + lorentz_rows() + exp_rows() + calib_rows()
    with open(out, "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
