#!/usr/bin/python3
"""Writes tests/crystal/data/structure_golden_<name>.txt (one per structure) and
structure_golden_pairs.txt: reflection lists with d-spacings, Laue multiplicities, systematic
absences and neutron structure factors of real structures, from gemmi, numpy and periodictable.

Usage: gen_structure_golden.py [output folder]   (default: tests/crystal/data)

Structures: cells and coordinates near the published ones (rounded; the checks need only a valid
structure, not the exact published values), chosen to cover all seven crystal systems,
centrosymmetric and non-centrosymmetric groups, special positions, anisotropic displacements and
the table's settings (monoclinic unique axis c = setting 1 and b = setting 2, origin choices 1
and 2, R groups on rhombohedral axes = setting 1 and on hexagonal axes = setting 2).

File layout (blank-separated tokens, "#" starts a comment line):
  structure NAME
  entry NUMBER SETTING N_C CENTRO OPS GEMMI_NAME
        the table entry (as the program numbers it); the centring count + 1; 1 when -x,-y,-z
        belongs to the group (the table then lists the proper rotations only); the number of
        operations the table lists; gemmi's extended Hermann-Mauguin name with "_" for blanks
  cell a b c alpha beta gamma           angstrom, degrees
  range DMIN DMAX                       every reflection with DMIN <= d <= DMAX is listed
  scale S                               sum over atoms and all images of |occ b| (fm): the size
                                        of the largest possible |F|, for absolute tolerances
  atom LABEL EL x y z occ b iso B
  atom LABEL EL x y z occ b aniso U11 U22 U33 U12 U13 U23 T11 T12 T13 T22 T23 T33
        b: the coherent length the program's element table holds for EL (10^-12 cm = fm/10);
        B = 8 pi^2 U_iso (A^2), the program's isotropic T11; T_ij = beta_ij L_i L_j with
        beta_ij = 2 pi^2 U_ij a*_i a*_j and L = (a, b, c): the program's anisotropic terms.
        A magnetic phase adds "moment SIGN ION" (ION as the program's ion table names it).
  magnetic mx my mz                     moment direction (x a* + y b* + z c*), magnetic phase only
  hkl h k l d mult absent orbit F2 [j0 q]
        one line for each reflection of the half space l > 0, or l = 0 and k > 0, or
        l = k = 0 and h > 0; d from gemmi's UnitCell.calculate_d; mult the size of the orbit
        {h R, -h R} over gemmi's operations (the Laue class); absent 1 when gemmi's
        GroupOps.is_systematically_absent; orbit numbers the Laue orbits by d descending (an
        orbit has mult / 2 lines); F2 = |F|^2 in fm^2 from gemmi's
        StructureFactorCalculatorN.calculate_sf_from_small_structure, which sums every image of
        every site (sym_ops x cen_ops, no division by the site multiplicity): the program's
        F = N_C F / 10 in 10^-12 cm. For the magnetic phase the amplitude of an atom is
        5.39 SIGN j0(Q) fm (the program's 0.539 x 10^-12 cm, the moment in 2S Bohr magnetons
        carried by occ), j0 from periodictable's magnetic_ff j0_Q at Q = 2 pi / d, and q the
        magnetic interaction factor: q^2 the mean over the listed operations (the proper
        rotations of a centrosymmetric group) of sin^2 of the angle between h R and the moment.
Pairs file: "pair NAME_A NAME_B DEN N11 N12 N13 N21 N22 N23 N31 N32 N33": one structure in two
settings, indices h_B = h_A P (row vector times P = N / DEN); every reflection of A maps to one of B with
the same d and |F|^2 / N_C^2 per cell volume (|F_A|^2 / N_A^4 = |F_B|^2 / N_B^4 in the program's
convention, since F_prog = N_C F and V_A / V_B = N_A / N_B).

When cctbx is importable the multiplicities and structure factors are cross-checked against it
(the check is skipped silently without it).
"""
import functools
import math
import os
import sys
from fractions import Fraction

try:
    import gemmi
    import numpy as np
    import periodictable as pt
except ImportError as e:
    sys.exit("gen_structure_golden.py needs python3-gemmi, python3-numpy, python3-periodictable: %s" % e)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_elements  # noqa: E402  the element lengths exactly as the program's table holds them


def program_length(symbol):
    """Coherent length in 10^-12 cm as src/core/element_table.cpp holds it."""
    if symbol in gen_elements.TELLING_ROWS:
        return gen_elements.TELLING_ROWS[symbol][1]
    return round(gen_elements.coherent_real_part(getattr(pt, symbol).neutron) / 10, 9)


def hex_cell(a, c):
    return (a, a, c, 90.0, 90.0, 120.0)


# Corundum on rhombohedral axes from the hexagonal (obverse) description: the columns of
# R_AXES are the rhombohedral edges in hexagonal fractions; x_hex = R_AXES x_rh, h_rh = h_hex R_AXES.
R_AXES = np.array([[2, -1, -1], [1, 1, -2], [1, 1, 1]]) / 3.0
COR_A, COR_C, COR_Z, COR_X = 4.7589, 12.991, 0.35216, 0.30624


def rhombohedral_cell(a, c):
    g = np.array([[a * a, -a * a / 2, 0], [-a * a / 2, a * a, 0], [0, 0, c * c]])
    gr = R_AXES.T @ g @ R_AXES
    ar = math.sqrt(gr[0, 0])
    alpha = math.degrees(math.acos(gr[0, 1] / gr[0, 0]))
    return (ar, ar, ar, alpha, alpha, alpha)


def to_rh(x):
    return tuple(float(v) for v in np.linalg.solve(R_AXES, np.array(x, float)))


def iso(b):
    return ("iso", b)


def aniso(u11, u22, u33, u12, u13, u23):
    return ("aniso", (u11, u22, u33, u12, u13, u23))


BADDELEYITE = ((5.1505, 5.2116, 5.3173, 90.0, 99.23, 90.0),
               [("Zr", "Zr", 0.2754, 0.0395, 0.2083, 1.0, iso(0.30)),
                ("O1", "O", 0.0700, 0.3317, 0.3447, 1.0, iso(0.45)),
                ("O2", "O", 0.4496, 0.7569, 0.4792, 1.0, iso(0.40))])


def baddeleyite_c_unique():
    """The same crystal with a' = a, b' = c, c' = -b: P 1 1 21/b, gamma' = beta."""
    (a, b, c, _, beta, _), atoms = BADDELEYITE
    return ((a, c, b, 90.0, 90.0, beta),
            [(lab, el, x, z, -y, occ, th) for lab, el, x, y, z, occ, th in atoms])


# (name, number, setting, gemmi name, cell, atoms, dmin, dmax[, magnetic direction])
# atoms: (label, element, x, y, z, occupancy, thermal[, (moment sign, ion)])
STRUCTURES = [
    # aluminium, a at room temperature
    ("al", 225, 1, "F m -3 m", (4.0495,) * 3 + (90.0,) * 3,
     [("Al", "Al", 0, 0, 0, 1.0, iso(0.80))], 0.65, 10.0),
    ("nacl", 225, 1, "F m -3 m", (5.6402,) * 3 + (90.0,) * 3,
     [("Na", "Na", 0, 0, 0, 1.0, iso(1.60)), ("Cl", "Cl", 0.5, 0.5, 0.5, 1.0, iso(1.25))], 0.85, 10.0),
    # silicon in both origin choices of F d -3 m (8a at 0,0,0 and at 1/8,1/8,1/8)
    ("si_origin1", 227, 1, "F d -3 m:1", (5.4310,) * 3 + (90.0,) * 3,
     [("Si", "Si", 0, 0, 0, 1.0, iso(0.46))], 0.72, 10.0),
    ("si_origin2", 227, 2, "F d -3 m:2", (5.4310,) * 3 + (90.0,) * 3,
     [("Si", "Si", 0.125, 0.125, 0.125, 1.0, iso(0.46))], 0.72, 10.0),
    # sphalerite ZnS
    ("sphalerite", 216, 1, "F -4 3 m", (5.4093,) * 3 + (90.0,) * 3,
     [("Zn", "Zn", 0, 0, 0, 1.0, iso(0.62)), ("S", "S", 0.25, 0.25, 0.25, 1.0, iso(0.50))], 0.80, 10.0),
    # anatase TiO2, origin choice 2 (Ti 4a, O 8e)
    ("anatase", 141, 2, "I 41/a m d:2", (3.7852, 3.7852, 9.5139, 90.0, 90.0, 90.0),
     [("Ti", "Ti", 0, 0.75, 0.125, 1.0, iso(0.39)), ("O", "O", 0, 0.25, 0.0831, 1.0, iso(0.61))], 0.80, 10.0),
    # rutile TiO2 with anisotropic displacements (Ti 2a, O 4f: U11 = U22, U13 = U23 = 0)
    ("rutile", 136, 1, "P 42/m n m", (4.5937, 4.5937, 2.9587, 90.0, 90.0, 90.0),
     [("Ti", "Ti", 0, 0, 0, 1.0, aniso(0.0066, 0.0066, 0.0043, 0.0002, 0, 0)),
      ("O", "O", 0.3048, 0.3048, 0, 1.0, aniso(0.0071, 0.0071, 0.0050, -0.0025, 0, 0))], 0.70, 10.0),
    # aragonite CaCO3 in P n m a (the P m c n description with a' = c, b' = a, c' = b)
    ("aragonite", 62, 1, "P n m a", (5.7407, 4.9611, 7.9672, 90.0, 90.0, 90.0),
     [("Ca", "Ca", 0.7597, 0.25, 0.4150, 1.0, iso(0.55)), ("C", "C", -0.0862, 0.25, 0.7622, 1.0, iso(0.50)),
      ("O1", "O", -0.0962, 0.25, 0.9225, 1.0, iso(0.85)),
      ("O2", "O", -0.0862, 0.4736, 0.6810, 1.0, iso(0.80))], 1.05, 10.0),
    # L-alanine, the heavy atoms (hydrogen left out)
    ("alanine", 19, 1, "P 21 21 21", (6.032, 12.343, 5.784, 90.0, 90.0, 90.0),
     [("O1", "O", 0.7256, 0.0840, 0.6275, 1.0, iso(2.1)), ("O2", "O", 0.4418, 0.1837, 0.7565, 1.0, iso(2.3)),
      ("N", "N", 0.6469, 0.1374, 0.1346, 1.0, iso(1.8)), ("C1", "C", 0.5542, 0.1406, 0.5913, 1.0, iso(1.6)),
      ("C2", "C", 0.4657, 0.1612, 0.3389, 1.0, iso(1.7)), ("C3", "C", 0.2813, 0.0824, 0.2812, 1.0, iso(2.4))],
     1.25, 10.0),
    # baddeleyite ZrO2, P 1 21/c 1 (unique b, setting 2) and P 1 1 21/b (unique c, setting 1)
    ("baddeleyite_b", 14, 2, "P 1 21/c 1", *BADDELEYITE, 0.90, 10.0),
    ("baddeleyite_c", 14, 1, "P 1 1 21/b", *baddeleyite_c_unique(), 0.90, 10.0),
    # diopside CaMgSi2O6, C 1 2/c 1, anisotropic (Ca and Mg on 4e: U12 = U23 = 0)
    ("diopside", 15, 2, "C 1 2/c 1", (9.746, 8.899, 5.251, 90.0, 105.63, 90.0),
     [("Ca", "Ca", 0, 0.3015, 0.25, 1.0, aniso(0.0095, 0.0075, 0.0082, 0, 0.0028, 0)),
      ("Mg", "Mg", 0, 0.9082, 0.25, 1.0, aniso(0.0060, 0.0064, 0.0058, 0, 0.0016, 0)),
      ("Si", "Si", 0.2862, 0.0933, 0.2293, 1.0, aniso(0.0052, 0.0048, 0.0055, -0.0003, 0.0014, 0.0002)),
      ("O1", "O", 0.1156, 0.0873, 0.1422, 1.0, aniso(0.0061, 0.0070, 0.0066, 0.0004, 0.0012, -0.0006)),
      ("O2", "O", 0.3611, 0.25, 0.3180, 1.0, aniso(0.0095, 0.0066, 0.0092, -0.0021, 0.0030, -0.0014)),
      ("O3", "O", 0.3505, 0.0176, 0.9953, 1.0, aniso(0.0072, 0.0094, 0.0070, 0.0008, 0.0024, 0.0031))],
     1.15, 10.0),
    # alpha-quartz SiO2, P 32 2 1 (Si 3a at x, 0, 2/3)
    ("quartz", 154, 1, "P 32 2 1", hex_cell(4.9137, 5.4047),
     [("Si", "Si", 0.4697, 0, 2.0 / 3.0, 1.0, iso(0.60)),
      ("O", "O", 0.4135, 0.2669, 0.1191 + 2.0 / 3.0, 1.0, iso(1.10))], 0.80, 10.0),
    # corundum Al2O3, R -3 c on hexagonal axes (setting 2) and on rhombohedral axes (setting 1)
    ("corundum_hex", 167, 2, "R -3 c:H", hex_cell(COR_A, COR_C),
     [("Al", "Al", 0, 0, COR_Z, 1.0, iso(0.19)), ("O", "O", COR_X, 0, 0.25, 1.0, iso(0.26))], 0.95, 10.0),
    ("corundum_rh", 167, 1, "R -3 c:R", rhombohedral_cell(COR_A, COR_C),
     [("Al", "Al", *to_rh((0, 0, COR_Z)), 1.0, iso(0.19)), ("O", "O", *to_rh((COR_X, 0, 0.25)), 1.0, iso(0.26))],
     0.95, 10.0),
    # wurtzite ZnO
    ("wurtzite", 186, 1, "P 63 m c", hex_cell(3.2495, 5.2069),
     [("Zn", "Zn", 1.0 / 3.0, 2.0 / 3.0, 0, 1.0, iso(0.55)),
      ("O", "O", 1.0 / 3.0, 2.0 / 3.0, 0.3825, 1.0, iso(0.60))], 0.65, 10.0),
    # magnesium
    ("mg", 194, 1, "P 63/m m c", hex_cell(3.2094, 5.2108),
     [("Mg", "Mg", 1.0 / 3.0, 2.0 / 3.0, 0.25, 1.0, iso(1.20))], 0.60, 10.0),
    # kyanite Al2SiO5, P -1
    ("kyanite", 2, 1, "P -1", (7.1262, 7.8520, 5.5724, 89.99, 101.11, 106.03),
     [("Al1", "Al", 0.3254, 0.7040, 0.4582, 1.0, iso(0.35)), ("Al2", "Al", 0.2974, 0.6989, 0.9505, 1.0, iso(0.35)),
      ("Al3", "Al", 0.0998, 0.3862, 0.6403, 1.0, iso(0.35)), ("Al4", "Al", 0.1120, 0.9175, 0.1649, 1.0, iso(0.35)),
      ("Si1", "Si", 0.2962, 0.0649, 0.7066, 1.0, iso(0.30)), ("Si2", "Si", 0.2910, 0.3317, 0.1892, 1.0, iso(0.30)),
      ("O1", "O", 0.1095, 0.1468, 0.1288, 1.0, iso(0.45)), ("O2", "O", 0.1230, 0.6856, 0.1812, 1.0, iso(0.45)),
      ("O3", "O", 0.2747, 0.4545, 0.9547, 1.0, iso(0.45)), ("O4", "O", 0.2831, 0.9354, 0.9353, 1.0, iso(0.45)),
      ("O5", "O", 0.1208, 0.6304, 0.6389, 1.0, iso(0.45)), ("O6", "O", 0.2822, 0.4453, 0.4288, 1.0, iso(0.45)),
      ("O7", "O", 0.2832, 0.9319, 0.4756, 1.0, iso(0.45)), ("O8", "O", 0.5008, 0.2752, 0.2440, 1.0, iso(0.45)),
      ("O9", "O", 0.1085, 0.1520, 0.6669, 1.0, iso(0.45)), ("O10", "O", 0.5015, 0.2310, 0.7562, 1.0, iso(0.45))],
     1.30, 10.0),
    # MnF2 below T_N: the two antiparallel Mn2+ sublattices (moments along c) as a magnetic phase in
    # P 4/m m m, occupation S = 5/2 (the amplitude 0.539 occ j0 is then 0.2695 x 2S)
    ("mnf2_magnetic", 123, 1, "P 4/m m m", (4.8734, 4.8734, 3.3099, 90.0, 90.0, 90.0),
     [("Mn1", "Mn", 0, 0, 0, 2.5, iso(0.30), (1, "MN2")),
      ("Mn2", "Mn", 0.5, 0.5, 0.5, 2.5, iso(0.30), (-1, "MN2"))], 0.80, 10.0, (0.0, 0.0, 1.0)),
]

PAIRS = [
    ("baddeleyite_b", "baddeleyite_c", [[1, 0, 0], [0, 0, -1], [0, 1, 0]]),
    ("corundum_hex", "corundum_rh", [[Fraction(int(round(3 * v)), 3) for v in row] for row in R_AXES]),
    ("si_origin1", "si_origin2", [[1, 0, 0], [0, 1, 0], [0, 0, 1]]),
]

# The program's ion names and periodictable's form factors.
IONS = {"MN2": pt.Mn.magnetic_ff[2]}


def fmt(v):
    return repr(float(v))


def rotations(ops):
    """Integer rotation matrices R (h' = h R) of every operation of gemmi's GroupOps."""
    return [np.array(op.rot) // gemmi.Op.DEN for op in ops.sym_ops]


def beta_tensor(u, rec):
    u11, u22, u33, u12, u13, u23 = u
    um = np.array([[u11, u12, u13], [u12, u22, u23], [u13, u23, u33]])
    return 2 * math.pi ** 2 * um * np.outer(rec, rec)


def check_site_symmetry(ops, xyz, u, rec):
    """The displacement tensor must be invariant under the operations that fix the site."""
    beta = beta_tensor(u, rec)
    x = np.array(xyz, float)
    for op in ops:
        fx = np.array(op.apply_to_xyz(list(x)))
        dx = fx - x
        if np.allclose(dx - np.round(dx), 0, atol=1e-9):
            r = np.array(op.rot) / gemmi.Op.DEN
            assert np.allclose(r @ beta @ r.T, beta, atol=1e-12), (xyz, op.triplet())


@functools.lru_cache(maxsize=None)
def gemmi_length(el):
    """The coherent length (fm) gemmi's neutron table gives el."""
    probe = gemmi.SmallStructure()
    probe.cell = gemmi.UnitCell(5, 5, 5, 90, 90, 90)
    probe.spacegroup_hm = "P 1"
    s = gemmi.SmallStructure.Site()
    s.label, s.element, s.occ, s.fract = el, gemmi.Element(el), 1.0, gemmi.Fractional(0, 0, 0)
    probe.add_site(s)
    probe.setup_cell_images()
    b = gemmi.StructureFactorCalculatorN(probe.cell).calculate_sf_from_small_structure(probe, [0, 0, 0]).real
    assert b != 0, el
    return b


def small_structure(cell, name, sites, lengths):
    """gemmi's structure with each site's length made lengths[el] (fm). The factor rides on the
    occupation, which gemmi keeps in double (its addends are single precision)."""
    st = gemmi.SmallStructure()
    st.cell = gemmi.UnitCell(*cell)
    st.spacegroup_hm = name
    for lab, el, x, y, z, occ, th in sites:
        s = gemmi.SmallStructure.Site()
        s.label, s.element, s.occ = lab, gemmi.Element(el), occ * lengths[el] / gemmi_length(el)
        s.fract = gemmi.Fractional(x, y, z)
        if th[0] == "iso":
            s.u_iso = th[1] / (8 * math.pi ** 2)
        else:
            s.aniso = gemmi.SMat33d(*th[1])
        st.add_site(s)
    st.setup_cell_images()
    return st


def structure_factor(st, hkl):
    """gemmi's small-structure sum; the calculator sums over the images of the cell it is given,
    so it takes st's cell with the images of its group."""
    return gemmi.StructureFactorCalculatorN(st.cell).calculate_sf_from_small_structure(st, hkl)


def magnetic_factor(hkl, rots, direction, metric):
    m = np.array(direction, float)
    mm = m @ metric @ m
    total = 0.0
    for r in rots:
        hr = np.array(hkl) @ r
        hh = hr @ metric @ hr
        cos2 = (hr @ metric @ m) ** 2 / (hh * mm)
        total += 1 - cos2
    return math.sqrt(total / len(rots))


def generate(entry):
    name, number, setting, hm, cell, atoms, dmin, dmax = entry[:8]
    direction = entry[8] if len(entry) > 8 else None
    sg = gemmi.find_spacegroup_by_name(hm)
    assert sg is not None and sg.xhm() == hm, hm
    ops = sg.operations()
    nc = len(ops.cen_ops)
    uc = gemmi.UnitCell(*cell)
    rec = np.array([uc.reciprocal().a, uc.reciprocal().b, uc.reciprocal().c])
    edges = np.array(cell[:3])
    rots = rotations(ops)
    centro = ops.is_centrosymmetric() and any(op.triplet() == "-x,-y,-z" for op in ops.sym_ops)
    listed = [r for r in rots if not centro or round(np.linalg.det(r)) > 0]
    metric = np.array(uc.reciprocal_metric_tensor().as_mat33().tolist())

    lengths = {el: 10 * program_length(el) for _, el, *_ in atoms}
    lines = ["structure " + name,
             "entry %d %d %d %d %d %s" % (number, setting, nc, int(centro), len(listed), hm.replace(" ", "_")),
             "cell " + " ".join(fmt(v) for v in cell),
             "range %s %s" % (fmt(dmin), fmt(dmax))]
    images = len(ops.sym_ops) * nc
    scale = sum(abs(a[5] * (5.39 if len(a) > 7 else lengths[a[1]])) for a in atoms) * images
    lines.append("scale " + fmt(scale))
    for a in atoms:
        lab, el, x, y, z, occ, th = a[:7]
        words = ["atom", lab, el, fmt(x), fmt(y), fmt(z), fmt(occ), repr(program_length(el))]
        if th[0] == "iso":
            words += ["iso", fmt(th[1])]
        else:
            check_site_symmetry(ops, (x, y, z), th[1], rec)
            beta = beta_tensor(th[1], rec)
            t = beta * np.outer(edges, edges)
            words += ["aniso"] + [fmt(v) for v in th[1]]
            words += [fmt(t[i, j]) for i, j in ((0, 0), (0, 1), (0, 2), (1, 1), (1, 2), (2, 2))]
        if len(a) > 7:
            words += ["moment", "%d" % a[7][0], a[7][1]]
        lines.append(" ".join(words))
    if direction is not None:
        lines.append("magnetic " + " ".join(fmt(v) for v in direction))

    if direction is None:
        st = small_structure(cell, hm, [a[:7] for a in atoms], lengths)
        parts = None
    else:  # one structure per site with a unit length, scaled by the magnetic amplitude below
        parts = [(small_structure(cell, hm, [a[:7]], {a[1]: 1.0}), a[7][0]) for a in atoms]
        ions = {a[7][1] for a in atoms}
        assert len(ions) == 1, ions  # one j0 column
        form_factor = IONS[ions.pop()]

    limits = [int(math.floor(edges[i] / dmin)) + 1 for i in range(3)]
    refl = []
    for h in range(-limits[0], limits[0] + 1):
        for k in range(-limits[1], limits[1] + 1):
            for l in range(0, limits[2] + 1):
                if not (l > 0 or (l == 0 and k > 0) or (l == 0 and k == 0 and h > 0)):
                    continue
                hkl = [h, k, l]
                d = uc.calculate_d(hkl)
                # the program's d is exact to about 1e-6 (its cell geometry's legacy pi)
                assert abs(d - dmin) > 1e-5 * dmin and abs(d - dmax) > 1e-5 * dmax, (name, hkl)
                if not dmin <= d <= dmax:
                    continue
                orbit = set()
                for r in rots:
                    img = tuple(int(v) for v in np.array(hkl) @ r)
                    orbit.add(img)
                    orbit.add(tuple(-v for v in img))
                extra = ""
                if parts is None:
                    f = structure_factor(st, hkl)
                else:
                    j0 = form_factor.j0_Q(2 * math.pi / d)
                    f = sum(5.39 * sign * j0 * structure_factor(s, hkl) for s, sign in parts)
                    extra = " %s %s" % (fmt(j0), fmt(magnetic_factor(hkl, listed, direction, metric)))
                refl.append([hkl, d, len(orbit), int(ops.is_systematically_absent(hkl)), max(orbit),
                             abs(f) ** 2, extra])
    # the program drops |F| < 1e-9 (10^-12 cm); nothing may lie near that edge
    for r in refl:
        f_prog = nc * math.sqrt(r[5]) / 10
        assert f_prog < 1e-9 or f_prog > 1e-7, (name, r)
    keys = sorted({r[4] for r in refl}, key=lambda key: (-uc.calculate_d(list(key)), key))
    orbit_id = {key: i + 1 for i, key in enumerate(keys)}
    counts = {}
    for r in refl:
        counts[r[4]] = counts.get(r[4], 0) + 1
    for r in refl:
        assert 2 * counts[r[4]] == r[2], (name, r)
    refl.sort(key=lambda r: (orbit_id[r[4]], r[0]))
    for hkl, d, mult, absent, key, f2, extra in refl:
        lines.append("hkl %d %d %d %s %d %d %d %s%s" % (*hkl, fmt(d), mult, absent, orbit_id[key], fmt(f2), extra))
    cross_check_cctbx(entry, refl, lengths)
    return lines, {tuple(r[0]): r for r in refl}, nc


def cross_check_cctbx(entry, refl, lengths):
    """Multiplicities and |F| against cctbx (non-anomalous set; occupancies times the site
    multiplicity factor, since cctbx counts each distinct image once)."""
    try:
        from cctbx import adptbx, crystal, miller, xray
        from cctbx.eltbx import xray_scattering
        from scitbx.array_family import flex
    except ImportError:
        return
    name, number, setting, hm, cell, atoms, dmin, dmax = entry[:8]
    if len(entry) > 8:
        return
    sym = crystal.symmetry(unit_cell=cell, space_group_symbol="Hall: " + gemmi.find_spacegroup_by_name(hm).hall)
    scatterers = []
    for lab, el, x, y, z, occ, th in [a[:7] for a in atoms]:
        site_sym = sym.site_symmetry((x, y, z))
        weight = len(sym.space_group()) // site_sym.multiplicity()
        kw = dict(label=lab, site=(x, y, z), occupancy=occ * weight, scattering_type=el)
        if th[0] == "iso":
            kw["u"] = th[1] / (8 * math.pi ** 2)
        else:
            u11, u22, u33, u12, u13, u23 = th[1]
            kw["u"] = adptbx.u_cif_as_u_star(sym.unit_cell(), (u11, u22, u33, u12, u13, u23))
        scatterers.append(xray.scatterer(**kw))
    xs = xray.structure(crystal_symmetry=sym, scatterers=flex.xray_scatterer(scatterers))
    xs.scattering_type_registry(custom_dict={el: xray_scattering.gaussian(fm) for el, fm in lengths.items()})
    ms = miller.set(sym, flex.miller_index([tuple(r[0]) for r in refl]), anomalous_flag=False)
    mult = ms.multiplicities().data()
    fc = ms.structure_factors_from_scatterers(xray_structure=xs, algorithm="direct").f_calc().data()
    for i, r in enumerate(refl):
        assert mult[i] == r[2], (name, r[0], mult[i], r[2])
        assert abs(abs(fc[i]) ** 2 - r[5]) <= 1e-6 * max(r[5], 1.0), (name, r[0])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "..", "tests", "crystal", "data")
    header = ("# Generated by tools/gen_structure_golden.py from gemmi %s, numpy %s and periodictable %s;"
              " do not edit.\n# The layout is described in the generator.\n"
              % (gemmi.__version__, np.__version__, pt.__version__))
    tables = {}
    for entry in STRUCTURES:
        lines, table, nc = generate(entry)
        tables[entry[0]] = (table, nc, gemmi.UnitCell(*entry[4]).volume)
        with open(os.path.join(out, "structure_golden_%s.txt" % entry[0]), "w", newline="\n") as f:
            f.write(header + "\n".join(lines) + "\n")
    pair_lines = []
    for a, b, p in PAIRS:
        ta, na, _ = tables[a]
        tb, nb, _ = tables[b]
        pm = np.array([[Fraction(v) for v in row] for row in p], dtype=object)
        mapped = 0
        for hkl, ra in ta.items():  # the pair relation holds on gemmi's side before the program sees it
            hb = [sum(Fraction(hkl[i]) * pm[i][j] for i in range(3)) for j in range(3)]
            if any(v.denominator != 1 for v in hb):
                assert ra[3] == 1 and ra[5] < 1e-20, (a, hkl)
                continue
            hb = tuple(int(v) for v in hb)
            rb = tb.get(hb) or tb.get(tuple(-v for v in hb))
            assert rb is not None and abs(ra[1] - rb[1]) < 1e-12 * ra[1], (a, hkl)
            assert abs(ra[5] / na ** 2 - rb[5] / nb ** 2) <= 1e-9 * max(ra[5] / na ** 2, 1e-6), (a, hkl, ra[5], rb[5])
            mapped += 1
        assert mapped > 0
        den = max(Fraction(v).denominator for row in p for v in row)
        pair_lines.append("pair %s %s %d %s" % (a, b, den, " ".join(str(int(v * den)) for row in p for v in row)))
    with open(os.path.join(out, "structure_golden_pairs.txt"), "w", newline="\n") as f:
        f.write(header + "\n".join(pair_lines) + "\n")


if __name__ == "__main__":
    main()
