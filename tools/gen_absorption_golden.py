#!/usr/bin/python3
"""Transmission of a cylinder and a sphere sample by direct integration of exp(-mu * path).

Units: radius 1, mu = mu_linear * R. The beam runs along +x; the scattered ray leaves at
two-theta in the x-y plane. A point's path is the entry chord to it plus the exit chord from it.
The sphere is a stack of discs: a slice at height z is a disc of radius rho = sqrt(1 - z^2), and a
disc of radius rho at mu is the unit disc at mu * rho, so
A_sphere(mu) = 3/4 * integral over z of (1 - z^2) A_disc(mu sqrt(1 - z^2)).

Also writes the periodictable absorption coefficients of vanadium (bcc a = 3.024, Z = 2) and
nickel (fcc a = 3.524, Z = 4), each at R = 0.4 cm and its calculated density, and the scipy
curve_fit minimum of a noisy tail.

Output rows:  cyl mu theta_deg A | sph mu twotheta_rad A | vanadium|nickel abs1 abs2 rho | tail p1 p2 p3
"""
import sys
import numpy as np

NR, NPHI = 160, 320
r_nodes, r_w = np.polynomial.legendre.leggauss(NR)
r_nodes = 0.5 * (r_nodes + 1.0)
r_w = 0.5 * r_w
phi = np.linspace(0.0, 2.0 * np.pi, NPHI, endpoint=False)
R, PHI = np.meshgrid(r_nodes, phi, indexing="ij")
X, Y = R * np.cos(PHI), R * np.sin(PHI)
AREA_W = (r_w * r_nodes)[:, None] * (2.0 * np.pi / NPHI) / np.pi  # sums to 1 over the disc


def disc_paths(tt):
    lin = X + np.sqrt(np.clip(1.0 - Y * Y, 0.0, None))
    ux, uy = np.cos(tt), np.sin(tt)
    pu = X * ux + Y * uy
    lout = -pu + np.sqrt(np.clip(pu * pu - (X * X + Y * Y) + 1.0, 0.0, None))
    return lin + lout


def disc(mu, tt):
    return float(np.sum(AREA_W * np.exp(-mu * disc_paths(tt))))


def sphere(mu, tt):
    z, w = np.polynomial.legendre.leggauss(48)
    paths = disc_paths(tt)
    rho = np.sqrt(1.0 - z * z)
    vals = np.array([np.sum(AREA_W * np.exp(-mu * r * paths)) for r in rho])
    return float(0.75 * np.sum(w * (1.0 - z * z) * vals))


def coefficients(symbol, a, z):
    """abs1, abs2 at R = 0.4 cm and the calculated density of a cubic cell of z atoms."""
    import periodictable as pt
    el = getattr(pt, symbol)
    b = el.neutron.b_c * 1e-1  # fm -> 10^-12 cm
    sig_tot = el.neutron.total
    sig_abs = el.neutron.absorption
    vol = a ** 3
    rho_c = z * el.mass / (vol * 0.602204)
    s1 = (sig_tot - 4.0 * np.pi * b * b) * z / vol
    s2 = sig_abs * z / vol / 1.7982
    return 0.4 * s1, 0.4 * s2, rho_c


def vanadium():
    return coefficients("V", 3.024, 2.0)


def nickel():
    return coefficients("Ni", 3.524, 4.0)


def tail():
    from scipy.optimize import curve_fit
    rng = np.random.default_rng(7)
    j0, j2 = 300, 499
    j = np.arange(j0, j2 + 1)
    x = (j - j0) / (j2 - j0 + 1)
    y = 20.0 + 400.0 * np.exp(-x * 4.0) + rng.normal(0.0, 3.0, j.size)
    p, _ = curve_fit(lambda x, a, b, c: a + b * np.exp(-x * c), x, y, p0=(20, 400, 4), xtol=1e-14, ftol=1e-14)
    return y, p


def main(out):
    lines = []
    for mu in (0.5, 1.0, 2.0, 5.0):
        for th in (0.0, 45.0, 90.0):
            lines.append("cyl %.4f %.1f %.6e" % (mu, th, disc(mu, 2.0 * np.radians(th))))
    mus = (0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.8, 1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0)
    tts = (0, 0.5235988, 1.0471976, 1.5707964, 2.094395, 2.617994, 3.141593)
    for mu in mus:
        for tt in tts:
            lines.append("sph %.4f %.7f %.6e" % (mu, tt, sphere(mu, tt)))
    try:
        for name, material in (("vanadium", vanadium), ("nickel", nickel)):
            a1, a2, rho = material()
            lines.append("%s %.7e %.7e %.6f" % (name, a1, a2, rho))
    except ImportError:
        pass
    try:
        y, p = tail()
        lines.append("tail %.9e %.9e %.9e" % tuple(p))
        lines.append("tailcounts " + " ".join("%.6f" % v for v in y))
    except ImportError:
        pass
    with open(out, "w") as f:
        f.write("# gen_absorption_golden.py: transmissions, vanadium and nickel coefficients, tail fit\n")
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "absorption_golden.txt")
