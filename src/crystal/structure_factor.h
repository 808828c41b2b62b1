// Structure factors of one reflection: nuclear or magnetic scattering, isotropic or anisotropic
// thermal factors, summed over the symmetry operations and centring translations of a phase.
//
// F = A + iB = sum over atoms a, centring translations t (t = 0 first) and operations o of
//   n_c occ_a b_a T_a,o exp(2 pi i h.(R_o x_a + tau_o + t)),   n_c = centring count + 1,
// every term carrying n_c on top of the sum over t (so |F| scales as n_c^2 for an allowed
// reflection of a centred lattice). A centrosymmetric phase lists only the proper half of its
// operations: A sums 2 w cos(phi) and B = 0.
#pragma once
#include <cstdint>
#include <numbers>
#include "core/model_tables.h"

// 1/d^2 (1/angstrom^2) of the reflection being evaluated; every caller sets it first.
extern double Q0;
inline constexpr double TwoPi = 2.0 * std::numbers::pi;

// The thermal exponent is held to [-64, 64]: exp stays finite whatever a damaged or diverging
// tensor holds (the profile model's derivatives use the same bound).
inline constexpr double MaxThermalExponent = 64.0;

// Scattering amplitude of atom a of phase p at s^2 = (sin theta / lambda)^2 = Q0 / 4 (1/A^2):
// the coherent length (10^-12 cm) for a nuclear phase; for a magnetic phase
// 0.539 sign(moment) j0(s) with j0 = A e^(-a s^2) + B e^(-b s^2) + C e^(-c s^2) + D (the moment
// taken as 2S Bohr magnetons at 0.2695 x 10^-12 cm each; its size rides on the occupation).
double ScatteringAmplitude(int32_t phase, const ATOM& atom, double s2);
// d(ScatteringAmplitude)/d(s^2): the slope of the magnetic form factor, 0 for a nuclear phase.
double ScatteringAmplitudeSlope(int32_t phase, const ATOM& atom, double s2);
// exp(-T11 Q0 / 4) = exp(-B s^2), the exponent held as above.
double IsotropicThermalFactor(double T11, double q0);
// exp(-(T11 H^2 + T22 K^2 + T33 L^2 + 2 T12 HK + 2 T13 HL + 2 T23 KL)) for the rotated index
// divided by the index normalisers; t = T11, T12, T13, T22, T23, T33.
double AnisotropicThermalFactor(const double (&t)[6], double H, double K, double L);
// The index normalisers L1..L3 of phase p, each the current edge where it is still 0.
void IndexNormalisersOf(const LATTICE& phase, double (&norm)[3]);

// Structure factor of reflection (h, k, l) of phase p; the atom values from the atom records
// (fromParameters 0) or from records base+10a+1..+10 of FitParameters (1). q := the magnetic
// interaction factor (1 for a nuclear phase). Q0 must hold 1/d^2 of the reflection.
// multiplicity is not used by the sum. A phase record whose counts exceed the tables (48
// operations, 3 centring vectors, 200 atoms) is read only up to them.
void CalcStructureFactor(int32_t fromParameters, int32_t phase, int32_t h, int32_t k, int32_t l,
                         int32_t multiplicity, int32_t base, double& A, double& B, double& q);
// The largest max(1e-4, |F|) and max(1e-4, q) over the reflections of phase p; 0 for none.
void MaxStructureFactors(double& maxF, double& maxQ, int32_t phase);

// The atom records of a phase that one gradient can cover (ten per atom).
constexpr int32_t MaxGradientRecords = 10 * MaxAtoms;

// The structure factor of reflection (h, k, l) of phase p from records base+10a+1..+10 of
// FitParameters, as CalcStructureFactor(1, ...) gives it, together with the derivatives of
// |F|^2 = A^2 + B^2 in the same pass by the same rules:
//   dF2[i] := d|F|^2 / d(record base + offsets[i]) for the count offsets given (ascending, each an
//     atom record 11 .. 10 + 10 x atom count; others get 0). The thermal factor moves only while
//     its exponent lies inside the bounds; an isotropic atom depends on T11 alone.
//   dF2dQ0 := d|F|^2 / dQ0 through the magnetic form factors and the isotropic thermal factors.
//   dq2 := d(q^2) / d(Cos Phi_a, _b, _c) of a magnetic phase (0 otherwise), with q from the
//     phase's stored metric.
// Q0 must hold 1/d^2 of the reflection; count is held to MaxGradientRecords.
void StructureFactorDerivatives(int32_t phase, int32_t h, int32_t k, int32_t l, int32_t base,
                                const int32_t* offsets, int32_t count, double* dF2, double& A,
                                double& B, double& q, double& dF2dQ0, double (&dq2)[3]);
