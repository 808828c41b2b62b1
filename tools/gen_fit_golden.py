#!/usr/bin/python3
"""Golden values of the least-squares engine, for tests/core/fit_engine_test.cpp.

Independent references: scipy.optimize.curve_fit with absolute_sigma=True (its pcov is
(J^T W J)^-1, the engine's unscaled covariance), scipy.optimize.least_squares (method 'trf'
with bounds), and numpy.linalg.lstsq for models linear in their parameters.

Inputs are drawn from Python's own random.Random (stable across versions), and written out with
every digit, so the test fits exactly the data the references saw.

File layout: blocks "problem NAME" ... "end"; inside, one line per item: key followed by
values (Python repr).

Usage: gen_fit_golden.py [output]   (default: tests/core/data/fit_golden.txt; "-" for stdout)
Exits with status 3 when numpy or scipy is missing.
"""
import math
import os
import random
import sys

try:
    import numpy as np
    import scipy.optimize as opt
except ImportError:
    sys.exit(3)

TIGHT = dict(xtol=1e-15, ftol=1e-15, gtol=1e-15)


def line(key, values):
    return key + " " + " ".join(repr(float(v)) for v in values)


def block(name, items):
    out = ["problem " + name]
    for key, values in items:
        out.append(line(key, np.atleast_1d(np.asarray(values, dtype=float)).ravel()))
    out.append("end")
    return out


def noisy(rng, values, sigma):
    return np.array([v + s * rng.gauss(0.0, 1.0) for v, s in zip(values, sigma)])


def expo3(x, a, tau, c):
    return a * np.exp(-x / tau) + c


def expo3_jac(x, a, tau, c):
    e = np.exp(-x / tau)
    return np.column_stack([e, a * e * x / tau**2, np.ones_like(x)])


def expo3_hessian_errors(x, y, sigma, a, tau, c):
    """Errors from the full Hessian of chi2/2: J^T W J - sum w r d2f."""
    jac = expo3_jac(x, a, tau, c)
    w = 1 / sigma**2
    r = y - expo3(x, a, tau, c)
    e = np.exp(-x / tau)
    d2 = np.zeros((len(x), 3, 3))
    d2[:, 0, 1] = d2[:, 1, 0] = e * x / tau**2
    d2[:, 1, 1] = a * e * (x * x / tau**4 - 2 * x / tau**3)
    h = jac.T @ (jac * w[:, None]) - np.einsum("k,kij->ij", w * r, d2)
    return np.sqrt(np.diag(np.linalg.inv(h)))


def gauss5(x, amp, centre, width, b0, b1):
    return amp * np.exp(-((x - centre) / width) ** 2) + b0 + b1 * x


def gauss5_jac(x, amp, centre, width, b0, b1):
    u = (x - centre) / width
    e = np.exp(-u * u)
    return np.column_stack([e, amp * e * 2 * u / width, amp * e * 2 * u * u / width,
                            np.ones_like(x), x])


def curve_fit_problem(name, rng, f, jac, x, truth, sigma, start, hessian_errors=None):
    y = noisy(rng, f(x, *truth), sigma)
    p, cov = opt.curve_fit(f, x, y, p0=start, sigma=sigma, absolute_sigma=True, method="lm",
                           jac=jac, maxfev=100000, **TIGHT)
    chi2 = float(np.sum(((y - f(x, *p)) / sigma) ** 2))
    err = np.sqrt(np.diag(cov))
    corr = cov / np.outer(err, err)
    items = [("x", x), ("y", y), ("sigma", sigma), ("start", start), ("params", p),
             ("errors", err), ("chi2", [chi2]), ("corr", corr)]
    if hessian_errors:
        items.append(("hessian_errors", hessian_errors(x, y, sigma, *p)))
    return block(name, items)


def main():
    rng = random.Random(20240611)
    out = ["# Golden values of the least-squares engine: tools/gen_fit_golden.py"]

    # A decaying exponential on a constant, with weights that vary point by point.
    x = np.arange(0.0, 30.0)
    sigma = np.array([0.05 + 0.1 * rng.random() for _ in x])
    out += curve_fit_problem("expo3", rng, expo3, expo3_jac, x, [10.0, 7.0, 1.5], sigma, [6.0, 4.0, 0.5],
                             expo3_hessian_errors)

    # A Gaussian peak on a sloping background, counting-statistics errors.
    x = np.arange(1.0, 61.0)
    clean = gauss5(x, 120.0, 31.3, 4.2, 20.0, 0.15)
    sigma = np.sqrt(np.maximum(clean, 1.0))
    out += curve_fit_problem("gauss5", rng, gauss5, gauss5_jac, x, [120.0, 31.3, 4.2, 20.0, 0.15], sigma,
                             [100.0, 30.0, 5.0, 15.0, 0.0])

    # A polynomial background: linear in its coefficients.
    x = np.linspace(0.0, 1.0, 41)
    sigma = np.array([0.02 + 0.05 * rng.random() for _ in x])
    design = np.vander(x, 4, increasing=True)
    y = noisy(rng, design @ np.array([2.0, -1.0, 3.0, 0.5]), sigma)
    weighted, *_ = np.linalg.lstsq(design / sigma[:, None], y / sigma, rcond=None)
    plain, *_ = np.linalg.lstsq(design, y, rcond=None)
    cov = np.linalg.inv((design / sigma[:, None]).T @ (design / sigma[:, None]))
    chi2 = float(np.sum(((y - design @ weighted) / sigma) ** 2))
    out += block("poly4", [("x", x), ("y", y), ("sigma", sigma), ("params", weighted),
                           ("errors", np.sqrt(np.diag(cov))), ("chi2", [chi2]),
                           ("unweighted", plain)])

    # A quadratic whose slope is held below its optimum by a bound. x and sigma are symmetric
    # about 0, so the slope is uncorrelated with the other two coefficients.
    half = np.linspace(0.1, 2.0, 20)
    x = np.concatenate([-half[::-1], half])
    s_half = np.array([0.05 + 0.05 * rng.random() for _ in half])
    sigma = np.concatenate([s_half[::-1], s_half])
    y = noisy(rng, 1.0 + 0.8 * x - 0.3 * x * x, sigma)
    lower, upper = [-10.0, -10.0, -10.0], [10.0, 0.5, 10.0]
    res = opt.least_squares(lambda p: (y - (p[0] + p[1] * x + p[2] * x * x)) / sigma, [0.0, 0.0, 0.0],
                            bounds=(lower, upper), method="trf", **TIGHT)
    out += block("bound_quad", [("x", x), ("y", y), ("sigma", sigma), ("lower", lower),
                                ("upper", upper), ("params", res.x)])

    # The exponential with its decay time bounded below the optimum.
    x = np.arange(0.0, 30.0)
    sigma = np.array([0.05 + 0.1 * rng.random() for _ in x])
    y = noisy(rng, expo3(x, 10.0, 7.0, 1.5), sigma)
    lower, upper = [0.0, 1.0, -5.0], [50.0, 5.0, 5.0]
    res = opt.least_squares(lambda p: (y - expo3(x, *p)) / sigma, [6.0, 4.0, 0.5],
                            jac=lambda p: -expo3_jac(x, *p) / sigma[:, None],
                            bounds=(lower, upper), method="trf", **TIGHT)
    out += block("expo_bound", [("x", x), ("y", y), ("sigma", sigma), ("lower", lower),
                                ("upper", upper), ("params", res.x)])

    text = "\n".join(out) + "\n"
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "core", "data", "fit_golden.txt")
    if target == "-":
        sys.stdout.write(text)
    else:
        with open(target, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
