// Secondary extinction of a reflection in the profile model:
//   X = |F|^2 (sin theta / sqrt(Q0))^3 / (sqrt(V) sin 2 theta),  y = 1 / max(0.001, sqrt|1 + 2 E X|),
// with |F|^2 = A^2 + B^2, Q0 = 1/d^2 (so for time of flight sin theta / sqrt(Q0) = lambda / 2),
// theta the detector's Bragg angle (degrees) and V the cell volume (cubic angstrom).
#pragma once
#include <cstdint>

struct TExtinction {
  double X = 0;     // the extinction argument; 0 without a cell volume or for sin 2 theta = 0
  double y = 1;     // the factor
  double dydw = 0;  // dy / d(1 + 2 E X); 0 at the floor
};

TExtinction ExtinctionTerms(double F2, double q0, double theta, double volume, double E);
// d ln X / d theta, per degree (0 where X is held to 0).
double ExtinctionAngleSlope(double theta);

// The factor y of reflection j of phase p from its caches A, B, the shared Q0 and the phase's
// volume, and dy = dy/dE; y = 1, dy = 0 for indices outside the tables.
void ExtinctionFactor(int32_t reflection, int32_t phase, double& y, double& dy, double theta, double E);
