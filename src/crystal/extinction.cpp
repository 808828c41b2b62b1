#include "crystal/extinction.h"
#include <cmath>
#include "core/cell_geometry.h"
#include "core/model_tables.h"
#include "crystal/structure_factor.h"

TExtinction ExtinctionTerms(double F2, double q0, double theta, double volume, double E) {
  TExtinction e;
  const double s = std::sin(theta / RadToDeg), s2 = std::sin(2 * theta / RadToDeg);
  const double den = std::sqrt(volume > 0 ? volume : 0) * s2;
  if (den != 0 && q0 > 0) {
    const double r = s / std::sqrt(q0);
    e.X = F2 * r * r * r / den;
  }
  const double w = 1 + 2 * E * e.X;
  const double root = std::sqrt(std::fabs(w));
  if (root > 0.001) {
    e.y = 1 / root;
    e.dydw = (w < 0 ? 0.5 : -0.5) * e.y * e.y * e.y;
  } else {
    e.y = 1000;  // 1 / 0.001
    e.dydw = 0;
  }
  if (std::isnan(root)) e.y = root;  // a non-finite record stays visible
  return e;
}

double ExtinctionAngleSlope(double theta) {
  const double t = theta / RadToDeg;
  const double s = std::sin(t), s2 = std::sin(2 * t);
  if (s == 0 || s2 == 0) return 0;
  // X is proportional to sin^3 theta / sin 2 theta.
  return (3 * std::cos(t) / s - 2 * std::cos(2 * t) / s2) / RadToDeg;
}

void ExtinctionFactor(int32_t reflection, int32_t phase, double& y, double& dy, double theta, double E) {
  y = 1;
  dy = 0;
  if (reflection < 1 || reflection > MaxReflections || phase < 1 || phase > MaxPhases) return;
  const THklRecord& r = HklTable[reflection][phase];
  const TExtinction e = ExtinctionTerms(r.A * r.A + r.B * r.B, Q0, theta, PhaseTable[phase].Volume, E);
  y = e.y;
  dy = 2 * e.X * e.dydw;
}
