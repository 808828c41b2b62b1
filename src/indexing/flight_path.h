// Refinement of the instrument constants of the current spectrum from the measured lines: two of
// flight path, Bragg angle and delay for time of flight (d = (x + delay) w / (505.556 L sin theta)),
// the wavelength and the zero shift for an angular spectrum (d = lambda / (2 sin((2theta + shift) / 2))),
// by a damped Gauss-Newton iteration with bounds.
#pragma once
#include <cstdint>

class TSpectrum;

// The instrument parameters (L, theta, delay) or (lambda, -, zero shift) with their bounds.
struct TFlightPathFit {
  double value[3] = {0, 0, 0};
  double lower[3] = {0, 0, 0};
  double upper[3] = {0, 0, 0};
  bool fixed[3] = {false, false, false};
  bool angular = false;
  double chi2 = 0;     // sum of (d_exp - d_calc)^2 / error
  double eps = 0;      // norm of the last full step
  int32_t iterations = 0;
  bool inverted = true;
  double determinant = 0;  // of the last matrix that could not be inverted
};

// Line k at the parameters of fit: the calculated d and its derivatives by the three parameters.
// Time of flight divides by sin(theta) and by L, which the bounds keep away from 0.
double TofDerivatives(int32_t k, const TSpectrum& sp, const TFlightPathFit& fit, double (&g)[3]);
// The iteration: weights 1 / error (0 for a zero error), fixed rows and columns, diagonal x 1.1,
// step factor 0.15 clamped to the bounds; ends on chi^2 > 1e10, a step below 0.001, 100
// iterations or a matrix that cannot be inverted.
void IterateFlightPath(const TSpectrum& sp, TFlightPathFit& fit);
// The menu operation: refusals, the dialog, the iteration, the result window and the update.
void RefineFlightPath();
