#!/usr/bin/python3
"""Golden values of the numerical library, for tests/core/numeric_*_test.cpp.

Independent references: math.erf, scipy.stats.norm, scipy.interpolate.CubicSpline (natural),
scipy.signal.savgol_coeffs and savgol_filter, numpy.fft, numpy.linalg.inv/det, numpy.median,
numpy.polyfit with weights; a plain-Python reimplementation of L'Ecuyer's combined generator;
and the two regularised smoothers written as dense band systems solved by scipy.linalg.

Inputs are drawn from Python's own random.Random (stable across versions), so a re-run on
another machine gives the same inputs and outputs equal to the last few bits.

Every line is: key count value value ... (values as Python repr).

Usage: gen_numeric_golden.py [output]   (default: tests/core/data/numeric_golden.txt)
Exits with status 3 when numpy or scipy is missing.
"""
import math
import os
import random
import sys

try:
    import numpy as np
    import scipy.interpolate
    import scipy.linalg
    import scipy.signal
    import scipy.stats
except ImportError:
    sys.exit(3)

LINES = []


def put(key, values):
    values = [float(v) for v in values]
    LINES.append(key + " " + str(len(values)) + " " + " ".join(repr(v) for v in values))


# ---- L'Ecuyer's combined generator, written from its published recurrence ----

class Lecuyer:
    M1, M2 = 2147483563, 2147483399

    def __init__(self, s1=12345, s2=67890):
        self.s1, self.s2 = s1, s2

    def next(self):
        k = self.s1 // 53668
        self.s1 = 40014 * (self.s1 - k * 53668) - k * 12211
        if self.s1 < 0:
            self.s1 += self.M1
        k = self.s2 // 52774
        self.s2 = 40692 * (self.s2 - k * 52774) - k * 3791
        if self.s2 < 0:
            self.s2 += self.M2
        z = self.s1 - self.s2
        if z < 1:
            z += self.M1 - 1
        return z * 4.656613e-10

    def gaussian_pair(self):
        while True:
            u = 2.0 * self.next() - 1.0
            v = 2.0 * self.next() - 1.0
            r = u * u + v * v
            if 0.0 < r < 1.0:
                f = math.sqrt(-2.0 * math.log(r) / r)
                return u * f, v * f


def random_section():
    g = Lecuyer()
    first = [g.next() for _ in range(5)]
    put("random_first5", first)
    g = Lecuyer()
    g.next()
    put("random_state_after_1", [g.s1, g.s2])
    g = Lecuyer()
    count = 1000000
    total = 0.0
    values = []
    for _ in range(count):
        r = g.next()
        values.append(r)
        total += r
    mean = total / count
    var = 0.0
    for r in values:
        var += (r - mean) * (r - mean)
    var /= count
    put("random_after_1e6", [g.s1, g.s2, values[-1], mean, var])
    g = Lecuyer()
    g1, g2 = g.gaussian_pair()
    put("gaussian_first_pair", [g1, g2, g.s1, g.s2])
    g = Lecuyer()
    put("exponential_first_rate2", [-math.log(g.next()) / 2.0])


# ---- error function and normal distribution ----

def erf_section():
    xs = [i * 0.05 for i in range(-90, 91)] + [3.899, 3.9, 3.901, 1e-9, -1e-9]
    put("erf_x", xs)
    put("erf_y", [math.erf(x) for x in xs])


def normal_section():
    xs = [i * 0.05 for i in range(-130, 131)] + [7.5, -7.5, 12.0, -12.0, 40.0, -40.0]
    put("norm_x", xs)
    put("norm_p", scipy.stats.norm.cdf(xs))
    put("norm_d", scipy.stats.norm.pdf(xs))


# ---- interpolation ----

def spline_section(rng):
    # The worked example: natural spline through four points, evaluated in the middle interval.
    put("spline4_x", [0.0, 1.0, 2.5, 3.0])
    put("spline4_y", [0.0, 2.0, 1.0, 3.0])
    q = [1.0, 1.3, 1.7, 2.2, 2.499]
    cs = scipy.interpolate.CubicSpline([0.0, 1.0, 2.5, 3.0], [0.0, 2.0, 1.0, 3.0], bc_type="natural")
    put("spline4_q", q)
    put("spline4_v", cs(q))
    # A longer table with rough ordinates: for each query in an inner interval whose four
    # ordinates are not monotonic, the natural spline through those four points.
    n = 12
    xt = sorted(rng.uniform(0.0, 20.0) for _ in range(n))
    yt = [rng.uniform(-5.0, 5.0) for _ in range(n)]
    put("table_x", xt)
    put("table_y", yt)
    qs, vs = [], []
    for j in range(1, n - 2):  # 0-based interval j..j+1 with neighbours j-1, j+2
        four = yt[j - 1:j + 3]
        inc = all(four[k] <= four[k + 1] for k in range(3))
        dec = all(four[k] >= four[k + 1] for k in range(3))
        if inc or dec:
            continue
        cs = scipy.interpolate.CubicSpline(xt[j - 1:j + 3], four, bc_type="natural")
        for t in (0.1, 0.5, 0.9):
            x = xt[j] + t * (xt[j + 1] - xt[j])
            qs.append(x)
            vs.append(float(cs(x)))
    put("table_q", qs)
    put("table_v", vs)


# ---- local derivatives ----

def savgol_section(rng):
    for d in range(3):
        put("savgol_d%d" % d, scipy.signal.savgol_coeffs(5, 2, deriv=d, use="dot"))
    y = [rng.uniform(0.0, 100.0) for _ in range(40)]
    put("savgol_y", y)
    # savgol_filter's interior (points 3..n-2) is the plain five-point convolution.
    put("savgol_filtered", scipy.signal.savgol_filter(y, 5, 2))


# ---- Fourier transform ----

def fft_section(rng):
    # n, k1, k2 given (0 = chosen by the routine) and the expected number of points N.
    cases = [(10, 0, 0, 10), (12, 0, 0, 12), (30, 0, 0, 30), (31, 0, 0, 30), (5, 0, 0, 5),
             (13, 1, 13, 13), (64, 0, 0, 64), (100, 0, 0, 100)]
    for n, k1, k2, big_n in cases:
        re = [rng.uniform(-1.0, 1.0) for _ in range(n)]
        im = [rng.uniform(-1.0, 1.0) for _ in range(n)]
        x = np.array(re[:big_n]) + 1j * np.array(im[:big_n])
        fwd = np.fft.fft(x) / big_n
        inv = big_n * np.fft.ifft(x)
        key = "fft_%d_%d_%d" % (n, k1, k2)
        put(key + "_in_re", re)
        put(key + "_in_im", im)
        put(key + "_fwd_re", fwd.real)
        put(key + "_fwd_im", fwd.imag)
        put(key + "_inv_re", inv.real)
        put(key + "_inv_im", inv.imag)


# ---- 3 by 3 matrices ----

def matrix_section(rng):
    for k in range(4):
        m = np.array([[rng.uniform(-3.0, 3.0) for _ in range(3)] for _ in range(3)])
        if k == 3:
            m = m @ m.T + np.eye(3)  # symmetric, positive definite
        put("inv3_m%d" % k, m.ravel())
        put("inv3_i%d" % k, np.linalg.inv(m).ravel())
        put("inv3_det%d" % k, [np.linalg.det(m)])


# ---- median ----

def median_section(rng):
    for n in (15, 16, 1, 2):
        a = [round(rng.uniform(-50.0, 50.0), 1) for _ in range(n)]
        put("median_a%d" % n, a)
        put("median_m%d" % n, [np.median(a)])


# ---- straight lines ----

def line_section(rng):
    n = 12
    x = [rng.uniform(0.0, 30.0) for _ in range(n)]
    w = [rng.uniform(0.2, 4.0) for _ in range(n)]
    y = [0.7 * xi - 3.0 + rng.gauss(0.0, 1.0) / math.sqrt(wi) for xi, wi in zip(x, w)]
    x0 = sum(x) / n
    xa = np.array(x) - x0
    # polyfit weights multiply the residuals; the program's weights multiply their squares.
    p, cov = np.polyfit(xa, y, 1, w=np.sqrt(w), cov=True)
    put("line_x", x)
    put("line_y", y)
    put("line_w", w)
    chi2 = float(sum(wi * (yi - (p[0] * xi + p[1])) ** 2 for xi, yi, wi in zip(xa, y, w)))
    put("line_fit", [p[0], p[1], x0, math.sqrt(cov[0, 0]), math.sqrt(cov[1, 1]), chi2 / (n - 2)])
    # Two side ranges with equal weights: indices 3..7 and 30..36 of a 40-point array.
    yy = [5.0 + 0.25 * i + rng.gauss(0.0, 0.5) for i in range(1, 41)]
    idx = list(range(3, 8)) + list(range(30, 37))
    vals = [yy[i - 1] for i in idx]
    xm = sum(idx) / len(idx)
    slope = np.polyfit(np.array(idx, dtype=float) - xm, vals, 1)[0]
    put("side_y", yy)
    put("side_fit", [xm, slope, sum(vals) / len(vals)])


# ---- the regularised smoothers, as band systems ----

def local_slope(y, i):
    """Five-point slope of y (0-based list) at 1-based point i, as the program takes it."""
    n = len(y)
    if n >= 5 and 3 <= i <= n - 2:
        return (2.0 * (y[i + 1] - y[i - 3]) + (y[i] - y[i - 2])) / 10.0
    if n >= 5 and (i == 2 or i == n - 1):
        return (y[i] - y[i - 2]) / 2.0
    return 0.0


def lower_envelope(data, passes, a, b, smoother):
    n = len(data)
    t = np.array([math.copysign(math.sqrt(abs(v)), v) for v in data])
    m = max(1.0, float(t.max()))
    y = t * (1000.0 / m)
    v = np.maximum(1e-8, 1.0 / (y * y + 1.0))
    v[0] = v[-1] = 1.0
    big_v = float(v.sum())
    slope = np.array([local_slope(list(y), i) for i in range(1, n + 1)])
    s = y.copy()
    envelope = smoother >= 0
    w = np.ones(n)
    for p in range(passes):
        d = s - y
        w = np.ones(n)
        for i in range(1, n - 1):
            if p == 0:
                w[i] = 1.0 / (b * d[i] + a * abs(slope[i]) + 1.0)
            elif envelope:
                w[i] = 1.0 if d[i] >= 0 else 1.0 / (d[i] * d[i] + 1.0)
            else:
                w[i] = 1.0 / (d[i] * d[i] + slope[i] * slope[i] + 1.0)
        lam = abs(smoother) * big_v / float(w.sum())
        # Row i: lam w_i (s_i - y_i) + v_i (2 s_i - s_(i-1) - s_(i+1)) = 0; one-sided at the ends.
        ab = np.zeros((3, n))
        for i in range(n):
            neighbours = (1 if i > 0 else 0) + (1 if i < n - 1 else 0)
            ab[1, i] = lam * w[i] + neighbours * v[i]
            if i > 0:
                ab[2, i - 1] = -v[i]      # sub-diagonal element (i, i-1)
            if i < n - 1:
                ab[0, i + 1] = -v[i]      # super-diagonal element (i, i+1)
        s = scipy.linalg.solve_banded((1, 1), ab, lam * w * y)
        if envelope:
            s = np.minimum(s, y)
    q1 = float(np.sum((s - y) ** 2 * w))
    q2 = float(sum((s[i + 1] - s[i - 1]) ** 2 * v[i] / 4.0 for i in range(1, n - 1)))
    back = s / (1000.0 / m)
    back = np.sign(back) * back * back
    if envelope:
        back = np.minimum(back, np.array(data))
    return back, q1, q2


def smooth_array(y, smoother):
    y = np.array(y, dtype=float)
    n = len(y)
    ymax = float(y.max())
    if ymax == 0.0:
        ymax = 1.0
    w = np.zeros(n)
    for i in range(1, n - 1):
        s3 = abs(y[i - 1]) + abs(y[i]) + abs(y[i + 1]) + 1.0
        r = abs(y[i]) / max(1.0, ymax)
        w[i] = max(1e-10, 1.0 / (r * s3 + math.sqrt(s3) * abs(1.0 - r)))
    w[0], w[-1] = w[1], w[-2]
    lam = smoother / n
    d2 = np.zeros((n - 2, n))
    for i in range(n - 2):
        d2[i, i:i + 3] = (1.0, -2.0, 1.0)
    a = np.diag(w) + lam * (d2.T @ d2)
    s = scipy.linalg.solve(a, w * y, assume_a="pos")
    fit = float(np.mean((s - y) ** 2 / np.maximum(np.abs(y), 1.0)))
    rough = 0.0
    for i in range(1, n - 1):
        mi = (abs(s[i] - s[i + 1]) + abs(s[i - 1] - s[i])) / 2.0
        rough += (s[i - 1] - 2.0 * s[i] + s[i + 1]) ** 2 / (mi * mi + 1.0)
    return s, fit, rough


def spectrum_like(rng, n):
    ys = []
    for i in range(1, n + 1):
        base = 40.0 + 0.3 * i
        peaks = 600.0 * math.exp(-((i - 0.3 * n) / 3.0) ** 2) + 250.0 * math.exp(-((i - 0.7 * n) / 2.0) ** 2)
        mean = base + peaks
        ys.append(max(0.0, round(mean + rng.gauss(0.0, math.sqrt(mean)))))
    return ys


def smoother_section(rng):
    y = spectrum_like(rng, 60)
    put("env_y", y)
    for passes, smoother, key in ((1, -0.05, "env_smooth1"), (3, -0.05, "env_smooth3"),
                                  (1, 0.05, "env_lower1"), (4, 0.01, "env_lower4")):
        s, q1, q2 = lower_envelope(y, passes, 0.5, 0.5, smoother)
        put(key, s)
        put(key + "_q", [q1, q2])
    y = spectrum_like(rng, 50)
    put("sa_y", y)
    for smoother, key in ((50.0, "sa_50"), (1.0, "sa_1"), (0.02, "sa_002")):
        s, fit, rough = smooth_array(y, smoother)
        put(key, s)
        put(key + "_q", [fit, rough])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "tests", "core", "data", "numeric_golden.txt")
    rng = random.Random(20240607)
    LINES.append("# Written by tools/gen_numeric_golden.py; do not edit.")
    random_section()
    erf_section()
    normal_section()
    spline_section(rng)
    savgol_section(rng)
    fft_section(rng)
    matrix_section(rng)
    median_section(rng)
    line_section(rng)
    smoother_section(rng)
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(LINES) + "\n")


if __name__ == "__main__":
    main()
