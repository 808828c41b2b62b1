#!/usr/bin/python3
"""Golden values of the least-squares engine, for tests/core/fit_engine_test.cpp.

Independent references: scipy.optimize.curve_fit (method 'lm') and scipy.optimize.least_squares
(method 'trf' with bounds) find each optimum; a Gauss-Newton polish in long double then takes it
to the point where the gradient of chi2 vanishes to rounding, so the values written are the
optimum itself and not where an optimiser happened to stop (that point moves in the ninth digit
between CPUs whose vector exp differs in the last bit). The covariance is (J^T W J)^-1 at the
optimum (curve_fit's pcov with absolute_sigma=True, the engine's unscaled covariance).

The data are drawn from Python's own random.Random (stable across versions) through libm's exp,
not numpy's vector exp, and written with every digit, so the test fits exactly what the
references saw. Long double sums and the small solves below do not go through BLAS.

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

LD = np.longdouble
TIGHT = dict(xtol=1e-15, ftol=1e-15, gtol=1e-15)


def line(key, values):
    return key + " " + " ".join(repr(float(v)) for v in values)


def block(name, items):
    out = ["problem " + name]
    for key, values in items:
        out.append(line(key, np.atleast_1d(np.asarray(values, dtype=LD)).ravel()))
    out.append("end")
    return out


def noisy(rng, values, sigma):
    return [v + s * rng.gauss(0.0, 1.0) for v, s in zip(values, sigma)]


# ---- small dense algebra in long double (numpy.linalg has no long double) ----

def cholesky_solve(a, b):
    """Solves a x = b for a symmetric positive definite a; the columns of b at once."""
    n = a.shape[0]
    lo = np.zeros((n, n), dtype=LD)
    for j in range(n):
        d = a[j, j] - np.sum(lo[j, :j] * lo[j, :j])
        if not d > 0:
            raise ArithmeticError("matrix not positive definite")
        lo[j, j] = np.sqrt(d)
        for i in range(j + 1, n):
            lo[i, j] = (a[i, j] - np.sum(lo[i, :j] * lo[j, :j])) / lo[j, j]
    x = np.array(b, dtype=LD)
    for i in range(n):  # forward: L z = b
        x[i] = (x[i] - lo[i, :i] @ x[:i]) / lo[i, i]
    for i in reversed(range(n)):  # back: L^T x = z
        x[i] = (x[i] - lo[i + 1:, i] @ x[i + 1:]) / lo[i, i]
    return x


def inverse(a):
    return cholesky_solve(a, np.eye(a.shape[0], dtype=LD))


def polish(f, jac, x, y, sigma, p, free=None):
    """Gauss-Newton in long double from p (a scipy optimum) over the parameters free (all by
    default), to where the step is at the rounding of long double: J^T W r = 0 there, which
    defines the optimum. Fails loudly rather than write a point short of it."""
    x, y, w = (np.asarray(v, dtype=LD) for v in (x, y, 1 / np.asarray(sigma, dtype=LD) ** 2))
    p = np.array(p, dtype=LD)
    free = list(range(len(p))) if free is None else free
    start = p.copy()
    for _ in range(200):
        jf = jac(x, *p)[:, free]
        r = y - f(x, *p)
        step = cholesky_solve(jf.T @ (jf * w[:, None]), jf.T @ (w * r))
        p[free] += step
        if np.all(np.abs(step) <= 1e-17 * np.abs(p[free])):
            break
    else:
        raise ArithmeticError("Gauss-Newton polish did not settle")
    # The polish refines scipy's optimum; it must not wander to another one.
    if np.any(np.abs(p - start) > 1e-6 * np.abs(p)):
        raise ArithmeticError("polished optimum far from scipy's: %s vs %s" % (p, start))
    return p


def statistics(f, jac, x, y, sigma, p):
    """chi2, errors and correlation at p from (J^T W J)^-1."""
    x, y, w = (np.asarray(v, dtype=LD) for v in (x, y, 1 / np.asarray(sigma, dtype=LD) ** 2))
    jac_p = jac(x, *p)
    cov = inverse(jac_p.T @ (jac_p * w[:, None]))
    err = np.sqrt(np.diag(cov))
    chi2 = np.sum(w * (y - f(x, *p)) ** 2)
    return chi2, err, cov / np.outer(err, err)


def gradient(f, jac, x, y, sigma, p):
    """d(chi2/2)/dp = -J^T W r."""
    x, y, w = (np.asarray(v, dtype=LD) for v in (x, y, 1 / np.asarray(sigma, dtype=LD) ** 2))
    return -(jac(x, *p).T @ (w * (y - f(x, *p))))


# ---- models; numpy's exp on long double arrays is libm's expl ----

def expo3(x, a, tau, c):
    return a * np.exp(-x / tau) + c


def expo3_jac(x, a, tau, c):
    e = np.exp(-x / tau)
    return np.column_stack([e, a * e * x / tau**2, np.ones_like(x)])


def expo3_hessian_errors(x, y, sigma, a, tau, c):
    """Errors from the full Hessian of chi2/2: J^T W J - sum w r d2f."""
    x, y, w = (np.asarray(v, dtype=LD) for v in (x, y, 1 / np.asarray(sigma, dtype=LD) ** 2))
    jac = expo3_jac(x, a, tau, c)
    r = y - expo3(x, a, tau, c)
    e = np.exp(-x / tau)
    d2 = np.zeros((len(x), 3, 3), dtype=LD)
    d2[:, 0, 1] = d2[:, 1, 0] = e * x / tau**2
    d2[:, 1, 1] = a * e * (x * x / tau**4 - 2 * x / tau**3)
    h = jac.T @ (jac * w[:, None]) - np.einsum("k,kij->ij", w * r, d2)
    return np.sqrt(np.diag(inverse(h)))


def gauss5(x, amp, centre, width, b0, b1):
    return amp * np.exp(-((x - centre) / width) ** 2) + b0 + b1 * x


def gauss5_jac(x, amp, centre, width, b0, b1):
    u = (x - centre) / width
    e = np.exp(-u * u)
    return np.column_stack([e, amp * e * 2 * u / width, amp * e * 2 * u * u / width,
                            np.ones_like(x), x])


def quad(x, p0, p1, p2):
    return p0 + p1 * x + p2 * x * x


def quad_jac(x, p0, p1, p2):
    return np.column_stack([np.ones_like(x), x, x * x])


def cubic(x, *p):
    return np.vander(x, 4, increasing=True) @ np.array(p, dtype=LD)


def cubic_jac(x, *p):
    return np.vander(x, 4, increasing=True)


def curve_fit_problem(name, rng, clean, f, jac, x, sigma, start, hessian_errors=None):
    y = noisy(rng, clean, sigma)
    p, _ = opt.curve_fit(f, x, y, p0=start, sigma=sigma, absolute_sigma=True, method="lm",
                         jac=jac, maxfev=100000, **TIGHT)
    p = polish(f, jac, x, y, sigma, p)
    chi2, err, corr = statistics(f, jac, x, y, sigma, p)
    items = [("x", x), ("y", y), ("sigma", sigma), ("start", start), ("params", p),
             ("errors", err), ("chi2", [chi2]), ("corr", corr)]
    if hessian_errors:
        items.append(("hessian_errors", hessian_errors(x, y, sigma, *p)))
    return block(name, items)


def bound_problem(name, f, jac, x, y, sigma, start, lower, upper, on_bound):
    """least_squares('trf') with bounds, then the polish with the parameters on_bound fixed at the
    bound trf put them on; chi2 must fall beyond each of those bounds (the bounds are active)."""
    res = opt.least_squares(lambda p: (y - f(x, *p)) / sigma, start,
                            jac=lambda p: -jac(x, *p) / sigma[:, None],
                            bounds=(lower, upper), method="trf", **TIGHT)
    p = np.array(res.x, dtype=LD)
    at_upper = {i: abs(p[i] - upper[i]) < abs(p[i] - lower[i]) for i in on_bound}
    for i in on_bound:
        p[i] = upper[i] if at_upper[i] else lower[i]
    p = polish(f, jac, x, y, sigma, p, [i for i in range(len(p)) if i not in on_bound])
    g = gradient(f, jac, x, y, sigma, p)
    for i in on_bound:
        if not (g[i] < 0 if at_upper[i] else g[i] > 0):
            raise ArithmeticError(name + ": a bound is not active")
    chi2 = statistics(f, jac, x, y, sigma, p)[0]
    return block(name, [("x", x), ("y", y), ("sigma", sigma), ("start", start), ("lower", lower),
                        ("upper", upper), ("params", p), ("chi2", [chi2])])


def main():
    rng = random.Random(20240611)
    out = ["# Golden values of the least-squares engine: tools/gen_fit_golden.py"]

    # A decaying exponential on a constant, with weights that vary point by point.
    x = np.arange(0.0, 30.0)
    sigma = np.array([0.05 + 0.1 * rng.random() for _ in x])
    clean = [10.0 * math.exp(-xi / 7.0) + 1.5 for xi in x]
    out += curve_fit_problem("expo3", rng, clean, expo3, expo3_jac, x, sigma, [6.0, 4.0, 0.5],
                             expo3_hessian_errors)

    # A Gaussian peak on a sloping background, counting-statistics errors.
    x = np.arange(1.0, 61.0)
    clean = [120.0 * math.exp(-((xi - 31.3) / 4.2) ** 2) + 20.0 + 0.15 * xi for xi in x]
    sigma = np.sqrt(np.maximum(clean, 1.0))
    out += curve_fit_problem("gauss5", rng, clean, gauss5, gauss5_jac, x, sigma,
                             [100.0, 30.0, 5.0, 15.0, 0.0])

    # A polynomial background: linear in its coefficients. numpy.linalg.lstsq solves it; the
    # polish (one Gauss-Newton step and its refinement) gives the same solution in long double.
    x = np.linspace(0.0, 1.0, 41)
    sigma = np.array([0.02 + 0.05 * rng.random() for _ in x])
    design = np.vander(x, 4, increasing=True)
    y = np.array(noisy(rng, [2.0 - xi + 3.0 * xi * xi + 0.5 * xi**3 for xi in x], sigma))
    weighted, *_ = np.linalg.lstsq(design / sigma[:, None], y / sigma, rcond=None)
    plain, *_ = np.linalg.lstsq(design, y, rcond=None)
    weighted = polish(cubic, cubic_jac, x, y, sigma, weighted)
    plain = polish(cubic, cubic_jac, x, y, np.ones_like(x), plain)
    chi2, err, _ = statistics(cubic, cubic_jac, x, y, sigma, weighted)
    out += block("poly4", [("x", x), ("y", y), ("sigma", sigma), ("params", weighted),
                           ("errors", err), ("chi2", [chi2]), ("unweighted", plain)])

    # A quadratic whose slope is held below its optimum by a bound. x and sigma are symmetric
    # about 0, so the slope is uncorrelated with the other two coefficients.
    half = np.linspace(0.1, 2.0, 20)
    x = np.concatenate([-half[::-1], half])
    s_half = np.array([0.05 + 0.05 * rng.random() for _ in half])
    sigma = np.concatenate([s_half[::-1], s_half])
    y = np.array(noisy(rng, [1.0 + 0.8 * xi - 0.3 * xi * xi for xi in x], sigma))
    out += bound_problem("bound_quad", quad, quad_jac, x, y, sigma, [0.0, 0.0, 0.0],
                         [-10.0, -10.0, -10.0], [10.0, 0.5, 10.0], [1])

    # The exponential with its decay time bounded below the optimum.
    x = np.arange(0.0, 30.0)
    sigma = np.array([0.05 + 0.1 * rng.random() for _ in x])
    y = np.array(noisy(rng, [10.0 * math.exp(-xi / 7.0) + 1.5 for xi in x], sigma))
    out += bound_problem("expo_bound", expo3, expo3_jac, x, y, sigma, [6.0, 4.0, 0.5],
                         [0.0, 1.0, -5.0], [50.0, 5.0, 5.0], [1])

    # A peak on a sloping background with its width held below the optimum and the slope above
    # it: both bounds active, each correlated with the amplitude or the constant.
    x = np.arange(1.0, 61.0)
    clean = [120.0 * math.exp(-((xi - 31.3) / 4.2) ** 2) + 20.0 + 0.15 * xi for xi in x]
    sigma = np.sqrt(np.maximum(clean, 1.0))
    y = np.array(noisy(rng, clean, sigma))
    out += bound_problem("gauss_bounds", gauss5, gauss5_jac, x, y, sigma, [100.0, 30.0, 3.0, 15.0, 0.3],
                         [0.0, 20.0, 1.0, -100.0, 0.2], [1000.0, 40.0, 3.8, 100.0, 1.0], [2, 4])

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
