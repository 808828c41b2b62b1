#!/usr/bin/python3
"""The three stored detector shapes (IAEA, Detector4, Vexo) of src/core/peak_model_shapes.cpp.

The measured count profiles themselves are not available. What is known of each is its length,
its first few and last few counts and its maximum with its position; these are SYNTHETIC
STAND-INS that honour exactly those values and are otherwise plausible detector lines:

    counts(i) = Vmax * m(i) W(i) / (m(P) W(P)),   i = 1..n, rounded half to even,

  m(d = i - P): a split Gaussian core (widths sL left, sR right) that turns into an exponential
                tail beyond kL sL on the left and kR sR on the right (value and slope continuous),
                plus a low-side shelf S erfc(d / (sqrt 2 sL)) / 2;
  W(i)        = (1 - exp(-(i - 1) / tL)) (1 - exp(-(n - i) / tR)), which takes the ends to zero.

The parameters were found once by a least-squares fit of the stated end counts and are fixed
here, so the output does not depend on an optimiser. The script checks every stated value, the
position and uniqueness of the maximum, and that the profile rises to the maximum and falls after
it, then prints the C++ tables, or with a file argument replaces the block between the marker
lines in that file.

Usage: gen_measured_shapes.py [src/core/peak_model_shapes.cpp]
"""
import math
import sys

BEGIN = "// ---- begin generated block (tools/gen_measured_shapes.py) ----"
END = "// ---- end generated block ----"

# name, C++ name, n, peak position P, peak value, first counts, last counts,
# (sL, sR, kL, kR, S, tL, tR)
SHAPES = [
    ("IAEA", "IaeaShape", 101, 77, 8647, [0, 2, 4, 7, 10], [19, 8, 0],
     (23.0078, 6.31, 3.1909, 2.7948, 0.0019, 34.2126, 1.945)),
    ("Detector4", "Detector4Shape", 88, 47, 23196, [0, 1, 2, 4, 7], [5, 3, 0],
     (11.4297, 9.145, 3.7313, 3.15, 0.0002, 17.0968, 0.586)),
    ("Vexo", "VexoShape", 193, 98, 5656, [0, 3, 4, 5, 6], [0, 0, 0],
     (25.0928, 19.5436, 4.6995, 2.7671, 0.0, 0.6544, 1.0)),
]


def core(d, s, k):
    a = abs(d) / s
    return math.exp(-a * a / 2) if a <= k else math.exp(k * k / 2 - k * a)


def profile(n, peak, vmax, params):
    sL, sR, kL, kR, shelf, tL, tR = params
    def raw(i):
        d = i - peak
        m = core(d, sL, kL) if d < 0 else core(d, sR, kR)
        m += shelf * 0.5 * math.erfc(d / (math.sqrt(2) * sL))
        return m * (1 - math.exp(-(i - 1) / tL)) * (1 - math.exp(-(n - i) / tR))
    top = raw(peak)
    # round() takes halves to the even neighbour
    return [int(round(vmax * raw(i) / top)) for i in range(1, n + 1)]


def check(name, values, n, peak, vmax, head, tail):
    assert len(values) == n, name
    assert values[:len(head)] == head, (name, values[:len(head)])
    assert values[n - len(tail):] == tail, (name, values[n - len(tail):])
    assert values[peak - 1] == vmax, name
    assert all(v < vmax for i, v in enumerate(values) if i != peak - 1), name
    assert all(values[i] <= values[i + 1] for i in range(peak - 1)), name
    assert all(values[i] >= values[i + 1] for i in range(peak - 1, n - 1)), name


def block():
    out = [BEGIN]
    for name, cname, n, peak, vmax, head, tail, params in SHAPES:
        values = profile(n, peak, vmax, params)
        check(name, values, n, peak, vmax, head, tail)
        out.append("// %s: %d counts, maximum %d at point %d (synthetic stand-in)." % (name, n, vmax, peak))
        out.append("constexpr double %s[%d] = {" % (cname, n))
        for k in range(0, n, 12):
            out.append("    " + ", ".join(str(v) for v in values[k:k + 12]) + ",")
        out.append("};")
    out.append(END)
    return "\n".join(out) + "\n"


def main():
    text = block()
    if len(sys.argv) < 2:
        sys.stdout.write(text)
        return
    path = sys.argv[1]
    with open(path) as f:
        src = f.read()
    a = src.index(BEGIN)
    b = src.index(END) + len(END) + 1
    with open(path, "w") as f:
        f.write(src[:a] + text + src[b:])


if __name__ == "__main__":
    main()
