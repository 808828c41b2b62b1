#!/usr/bin/python3
"""Golden data of the peak search and the peak-model tools, for tests/peaks/.

planted_spectra.txt (numpy, seed 2029): 20 spectra of 4000 channels, each with 24 Gaussian peaks
  whose full widths follow the law 5 + 7 (c - 2) / 3997 channels (5 at channel 2, 12 at 3999),
  heights 5 to 50 sigma of a background falling linearly from 200 to 50 counts (sigma =
  sqrt(background)), centres at least 3 widths apart, Poisson counts. Per spectrum:
    spectrum k
    counts c1 .. c4000
    peak position fwhm sigmas            (24 lines)
    scipy p1 p2 ...                      the sanity peer, see below
  The peer: scipy.signal.find_peaks on the counts smoothed by three passes of the 5-point
  quadratic Savitzky-Golay filter, keeping peaks of prominence >= 3 sqrt(background) and width
  >= a third of the local width, at least one (smallest) width apart.

height_cut.txt: a noiseless spectrum (background 20) with 40 peaks at whole channels whose
  heights repeat (ties), the MaxPeakCount of the cut, and the centres that numpy's stable argsort
  keeps: the first (40 - max) of the ascending order are removed, the others keep their order.

model_tools.txt:
  pv AG AL WG WL CG CL asym  then 193 values     Pseudo-Voigt profile evaluated in numpy
  metric2 value                                  sum (F - D)^2 / F of the first pv against data
  data 193 values                                the data curve D of metric2
  endline n y1..yn  then slope intercept         numpy.polyfit through points 1,2,3,n-2,n-1,n
  shift counts.. / fitted.. argmax               the shift of the transform: argmax(data) - argmax(fit)

Usage: gen_peaks_golden.py [folder]   (default: tests/peaks/data)
Exits with status 3 when numpy or scipy is missing.
"""
import os
import sys

try:
    import numpy as np
    import scipy.signal
except ImportError:
    sys.exit(3)

CHANNELS = 4000


def width_law(c):
    return 5.0 + 7.0 * (c - 2.0) / 3997.0


def background(c):
    return 200.0 - 150.0 * (c - 1.0) / (CHANNELS - 1.0)


def smooth5(y):
    # Three passes of the 5-point quadratic filter; ends as the search treats them.
    y = np.asarray(y, dtype=float)
    for _ in range(3):
        s = y.copy()
        s[2:-2] = (12 * (y[1:-3] + y[3:-1]) - 3 * (y[:-4] + y[4:]) + 17 * y[2:-2]) / 35.0
        s[1] = (y[0] + y[2]) / 2.0
        s[-2] = (y[-3] + y[-1]) / 2.0
        y = np.maximum(s, 0.0)
    return y


def planted(out):
    rng = np.random.default_rng(2029)
    ch = np.arange(1, CHANNELS + 1, dtype=float)
    lines = []
    for k in range(1, 21):
        centres = []
        while len(centres) < 24:
            c = rng.uniform(30.0, CHANNELS - 30.0)
            if all(abs(c - o) >= 3.0 * max(width_law(c), width_law(o)) for o in centres):
                centres.append(c)
        centres.sort()
        sig = rng.uniform(5.0, 50.0, size=24)
        mean = background(ch)
        for c, s in zip(centres, sig):
            w = width_law(c)
            h = s * np.sqrt(background(c))
            mean = mean + h * np.exp(-4.0 * np.log(2.0) * ((ch - c) / w) ** 2)
        counts = rng.poisson(mean)
        lines.append("spectrum %d" % k)
        lines.append("counts " + " ".join(str(int(v)) for v in counts))
        for c, s in zip(centres, sig):
            lines.append("peak %.6f %.6f %.4f" % (c, width_law(c), s))
        sm = smooth5(counts)
        idx, props = scipy.signal.find_peaks(sm, prominence=3.0 * np.sqrt(50.0), width=5.0 / 3.0, distance=5)
        keep = [i for j, i in enumerate(idx)
                if props["prominences"][j] >= 3.0 * np.sqrt(background(i + 1.0))
                and props["widths"][j] >= width_law(i + 1.0) / 3.0]
        lines.append("scipy " + " ".join(str(i + 1) for i in keep))
    with open(os.path.join(out, "planted_spectra.txt"), "w") as f:
        f.write("# planted peaks: see tools/gen_peaks_golden.py\n")
        f.write("\n".join(lines) + "\n")


def height_cut(out):
    n, count, keep = 1200, 40, 30
    centres = [30 + 28 * i for i in range(count)]
    heights = [(300, 500, 800, 1200, 500)[i % 5] + (100 if i % 7 == 0 else 0) for i in range(count)]
    ch = np.arange(1, n + 1, dtype=float)
    y = np.full(n, 20.0)
    for c, h in zip(centres, heights):
        y += h * np.exp(-4.0 * np.log(2.0) * ((ch - c) / 6.0) ** 2)
    y = np.rint(y)
    order = np.argsort(np.array([y[c - 1] for c in centres]), kind="stable")
    removed = set(order[: count - keep].tolist())
    kept = [c for i, c in enumerate(centres) if i not in removed]
    with open(os.path.join(out, "height_cut.txt"), "w") as f:
        f.write("# noiseless peaks with tied heights and the centres kept by a stable argsort cut\n")
        f.write("counts " + " ".join(str(int(v)) for v in y) + "\n")
        f.write("max %d\n" % keep)
        f.write("kept " + " ".join(str(c) for c in kept) + "\n")


def pv_profile(AG, AL, WG, WL, CG, CL, asym):
    i = np.arange(1, 194, dtype=float)
    km, kp = max(1 - asym, 0.1), max(1 + asym, 0.1)
    kg = np.where(i > CG, kp, km)
    kl = np.where(i > CL, kp, km)
    ug = (CG - i) / (WG * kg)
    ul = (CL - i) / (WL * kl)
    return AG * np.exp(-ug ** 2) + AL / (ul ** 2 + 1)


def model_tools(out):
    rng = np.random.default_rng(6102)
    rows = []
    first = None
    for _ in range(6):
        p = [rng.uniform(0, 700), rng.uniform(0, 700), rng.uniform(5, 40), rng.uniform(3, 20),
             rng.uniform(80, 115), rng.uniform(80, 115), rng.uniform(-0.6, 0.6)]
        f = pv_profile(*p)
        if first is None:
            first = f
        rows.append("pv " + " ".join(repr(float(v)) for v in p) + " " + " ".join(repr(float(v)) for v in f))
    d = np.maximum(first * (1 + 0.1 * rng.standard_normal(193)), 0.0)
    rows.append("data " + " ".join(repr(float(v)) for v in d))
    rows.append("metric2 " + repr(float(np.sum((first - d) ** 2 / first))))
    n = 40
    y = 50 + 3 * np.arange(1, n + 1) + 400 * np.exp(-((np.arange(1, n + 1) - 22) / 4.0) ** 2) + rng.normal(0, 2, n)
    x = np.array([1, 2, 3, n - 2, n - 1, n], dtype=float)
    slope, intercept = np.polyfit(x, y[x.astype(int) - 1], 1)
    rows.append("endline %d " % n + " ".join(repr(float(v)) for v in y) + " %r %r" % (float(slope), float(intercept)))
    m = 60
    i = np.arange(1, m + 1, dtype=float)
    counts = 30 + 500 * np.exp(-((i - 37.3) / 5.0) ** 2) + rng.normal(0, 3, m)
    fitted = 30 + 480 * np.exp(-((i - 29.0) / 5.5) ** 2)
    rows.append("shift %d " % m + " ".join(repr(float(v)) for v in counts) + " " +
                " ".join(repr(float(v)) for v in fitted) + " %d" % int(np.argmax(counts) - np.argmax(fitted)))
    with open(os.path.join(out, "model_tools.txt"), "w") as f:
        f.write("# peak-model tool oracles: see tools/gen_peaks_golden.py\n")
        f.write("\n".join(rows) + "\n")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "peaks", "data")
    os.makedirs(out, exist_ok=True)
    planted(out)
    height_cut(out)
    model_tools(out)


if __name__ == "__main__":
    main()
