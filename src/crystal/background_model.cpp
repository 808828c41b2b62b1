#include "crystal/background_model.h"
#include <cmath>
#include <limits>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/peak_model.h"

namespace {
// max(lo, x) that keeps a NaN (fmax would drop it and hide a diverging record).
inline double AtLeast(double lo, double x) { return x < lo ? lo : x; }
}  // namespace

void BackgroundModel(int32_t base, double& bg, double x, double u) {
  bg = 0;
  ModelOutput[0] = 0;
  if (!FitParameters || base + 4 < 1 || base + 9 > FitParameters->RecordCapacity()) return;
  ParameterRecord* r = FitParameters->Records.data() + base + 3;  // r[1..6]: records base+4..base+9
  auto v = [r](int32_t i) { return r[i].value; };

  if (BackgroundMode != 1) {
    // Legendre polynomials P0..P5 of u, written out: no array through the stack.
    const double u2 = u * u;
    const double p1 = 1.0, p2 = u, p3 = 1.5 * u2 - 0.5, p4 = (2.5 * u2 - 1.5) * u;
    const double p5 = ((35.0 * u2 - 30.0) * u2 + 3.0) / 8.0, p6 = ((63.0 * u2 - 70.0) * u2 + 15.0) * u / 8.0;
    r[1].Derivative = p1, r[2].Derivative = p2, r[3].Derivative = p3;
    r[4].Derivative = p4, r[5].Derivative = p5, r[6].Derivative = p6;
    double sum = 0;  // the order of the terms as ascending, summed locally, not through bg
    sum += v(1) * p1;
    sum += v(2) * p2;
    sum += v(3) * p3;
    sum += v(4) * p4;
    sum += v(5) * p5;
    sum += v(6) * p6;
    bg = sum;
  } else if (TrevoAutoRun == 0) {
    // Tabulated shape; the width has the floor 1 channel (no width derivative below it).
    const double wRaw = v(5) + v(6) * u;
    const double w = AtLeast(1.0, wRaw);
    const double wSlope = wRaw > 1.0 ? 1.0 : 0.0;
    const double z = (x - v(4)) / w;
    const double ab = v(2) + v(3) * u * u;
    double f = 0, df = 0, d2f = 0;
    if (PeakModels[1]) PeakModels[1]->ShapeValue(f, df, d2f, z);
    if (!std::isfinite(z)) f = df = std::numeric_limits<double>::quiet_NaN();  // the table reads 0 there
    const double dPos = -ab * df / w;
    r[1].Derivative = 1.0;
    r[2].Derivative = f;
    r[3].Derivative = f * u * u;
    r[4].Derivative = dPos;
    r[5].Derivative = dPos * z * wSlope;
    r[6].Derivative = dPos * z * wSlope * u;
    bg = ab * f + v(1);
  } else {
    // Two decays in x and x^2; the decay constants have the floor 1.
    const double a1 = v(1), a2 = v(2);
    const double t1 = AtLeast(1.0, v(4)), t2 = AtLeast(1.0, v(5));
    const double e1 = std::exp(-x / t1), e2 = std::exp(-x * x / t2);
    r[1].Derivative = e1;
    r[2].Derivative = e2;
    r[3].Derivative = 0;
    r[4].Derivative = v(4) > 1.0 ? a1 * e1 * x / (t1 * t1) : 0.0;
    r[5].Derivative = v(5) > 1.0 ? a2 * e2 * x * x / (t2 * t2) : 0.0;
    r[6].Derivative = 0;
    bg = a1 * e1 + a2 * e2;
  }
  ModelOutput[0] = bg;
}
