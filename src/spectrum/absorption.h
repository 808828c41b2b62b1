// Absorption correction of a time-of-flight spectrum: the transmission of a cylinder, a plate or
// a sphere at the channel's wavelength, applied channel by channel, and the two coefficients of
// the absorption law derived from the crystal model.
//
// mu(j) = abs1 + abs2 * lambda(j), lambda(j) = 2 t(j) / (505.556 L) the wavelength (angstrom) at
// 2 sin(theta) = 1 scaled out, t(j) = (j + delay) * cw in microseconds. abs1 is the (incoherent)
// scattering part of mu*R and abs2 the absorption part per angstrom of wavelength.
#pragma once
#include <cstdint>

// The cylinder transmission at mu*R = mu, Bragg angle th and scattering angle tt (radians):
// a two-term closed form for mu <= 1, a 5-point radial by 9-point azimuthal quadrature above.
double AbsorptionIntegral(double mu, double th, double tt);
// The symmetric-reflection plate at Bragg angle th (radians); mu = 0 gives 1.
double PlateAbsorption(double mu, double th);
// The sphere table at mu and two-theta tt (radians), a plane through three corners; 0.01 outside.
double AbsorptionTableLookup(double mu, double tt);
// The factor of channel j of spectrum i for the shape (0 cylinder, 1 plate, 2 sphere). A shape
// outside 0..2, a Bragg angle outside (0, 180) degrees or a missing spectrum gives NaN.
double AbsorptionFactor(int32_t j, int32_t i, int32_t shape, double abs1, double abs2);
// Divides Y and E of spectrum i over I1..I2 by the factor; InputLine := smallest and largest
// factor. Refuses with a message, changing nothing, when a factor would not be finite and
// positive. Sets AbsorptionCorrectedFlag.
void CorrectForAbsorption(int32_t i, int32_t I1, int32_t I2);

// The coefficients of one phase set: per phase the formula units Z; radius R (cm), measured
// density rho (g/cm3). False, after the message, when a phase has no volume or density.
bool ComputeAbsorptionCoefficients(const double* Z, double R, double rho, double& abs1, double& abs2);
