// Peak shapes (TPeakModel): a shape tabulated on 193 points with its maximum at point 97,
// evaluated at a position measured in full widths at half maximum from the centre. A shape is
// analytic (tabulated from its formula), a stored measured profile, a numerical convolution, or
// a real model formed from a channel interval of a spectrum. The session holds seven of them.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include "core/numeric_arrays.h"

class TSpectrum;

constexpr int32_t PeakModelPoints = 193;     // table points 1..193
constexpr int32_t PeakModelHalfPoints = 96;  // points on each side of the centre
constexpr int32_t PeakModelCentre = 97;
constexpr int32_t PeakModelCount = 7;        // PeakModels[1..7]
// A computed table whose tail is still high at its ends is rolled off over its outer third: from
// this many points out it falls smoothly to zero at the three outer points.
constexpr int32_t PeakModelRollFrom = 62;
// The analytic Lorentz reaches 15 half widths; beyond 12 it is multiplied by a taper that falls
// from 1 to 0 with zero slope, curvature and third derivative at both ends, so that nothing moves
// abruptly when a channel crosses the reach.
constexpr double LorentzReach = 15.0, LorentzTaperFrom = 12.0;

// Model numbers.
constexpr int32_t ModelDoubleSigned = -1, ModelReal = 0, ModelGauss = 1, ModelLorentz = 2,
                  ModelIaea = 3, ModelVoigt = 4, ModelConvExp = 5, ModelExponential = 6,
                  ModelDetector4 = 7, ModelPseudoVoigt = 8, ModelExpPeak = 9, ModelVexo = 10,
                  ModelFourier = 11, ModelStepFunction = 12;

// The names of the model numbers -1..12; "" for any other number.
struct TPeakModelNames {
  const char* operator[](int32_t number) const;
};
extern const TPeakModelNames PeakModelNames;
// The help lines of the model dialogs, [1..10].
extern const std::array<const char*, 11> PeakModelHelpLines;

// r of the Voigt and ConvExp shapes: the Lorentz half width, or the exponential decay length,
// in table points.
extern double SpecialModelRatio;
// The model the peak-model tools work on (1 at creation).
extern int32_t SelectedPeakModel;

// How a real model is formed from data.
struct TRealModelOptions {
  int32_t Switch = 1;              // kept for the callers (they store the spectrum number here)
  int32_t First = 0, Last = 0;     // channel interval of the model
  int32_t BackgroundChannels = 1;  // channels at each end for the background line
  double DataMax = 0.0;            // largest value of the last model data
  double DataMin = 0.0;            // smallest value of the last model data
  double Smoother = 1.0;           // blend weight handed to PrepareSmoothing
};
extern TRealModelOptions RealModelOptions;

// The tabulation scratch: the same storage as WorkArrays[4] (the peak search overwrites it).
// Real models use it as an interpolation table: n ordinates, then their n abscissae.
inline double (&PeakModelTable)[ScratchSize + 1] = WorkArrays[4];

class TPeakModel {
public:
  // CreatePeakModel: a Gauss shape, one-signed, not negated; resets RealModelOptions.
  TPeakModel();

  // Shape[1..193]; Shape[0] and Shape[194] are zero guards that are never written.
  double Shape[PeakModelPoints + 2] = {};
  int32_t HalfPoints = PeakModelHalfPoints;
  double HalfWidth = 0.0;  // half range of the table in full widths (HalfPoints / FullWidth)
  double Area = 0.0;       // area of the shape in full widths, before normalisation
  double FullWidth = 0.0;  // full width at half maximum, in table points
  double Centroid = 0.0;   // first moment about the maximum (values above a tenth), / Area
  int32_t SingleSigned = 1;  // 1: real models are clipped at 0
  int32_t ModelNumber = ModelGauss;
  int32_t Negate = 0;      // 1: the analytic Lorentz and exponential values are negated

  // Builds Shape for ModelNumber in PeakModelTable[1..193], then centres and analyses it.
  void TabulatePeakModel();
  // Moves the largest positive value of PeakModelTable[1..n] to point 97 of Shape.
  void CentreShape(int32_t n);
  // Rolls a table whose ends stand above 1e-4 of its maximum off with cos^2 from
  // PeakModelRollFrom points out to zero at the three outer points (before AnalyseShape).
  void TaperTails();
  // Full width, half width, area and centroid of Shape, then Shape normalised to unit area.
  // DialogOk := 0 with the message "Illegal model ..." for a flat or zero shape.
  void AnalyseShape();

  // Value, slope and curvature at x (full widths from the centre; x > 0 maps to points > 97):
  // a cubic between the two table points that bracket x, continuous in value and slope across
  // the points, falling to zero with zero slope and curvature at the table's ends. Zero beyond
  // +-HalfWidth.
  inline void ShapeValue(double& f, double& dfdx, double& d2f, double x) const;
  // The analytic Lorentz 1/(pi (1 + x^2)), tapered to 0 at LorentzReach, and exponential
  // exp(-k x) (both negated with Negate = 1), every other model from the table.
  inline void PeakModelValue(double& f, double& dfdx, double& d2f, double x) const;
  // The third derivative by x, for the curvature term of the profile: analytic for the Lorentz
  // and exponential models; a table's is its step's polynomial's (the mean of both sides on a
  // table point). f1 is the dfdx of PeakModelValue at x.
  inline double PeakModelThirdDerivative(double x, double f1) const;
  // The integral over -cut < x < cut of what PeakModelValue returns (the table's piecewise
  // polynomials exactly, the tapered Lorentz and the exponential), in units of x.
  // A profile divides by it so that a peak's area is its intensity whatever the model's settings.
  double EvaluatedArea(double cut) const;

  // Real model from channels first..last: MakeRealPeakModelData, then FormRealModel when the
  // data were accepted (DialogOk = 1).
  void MakeRealModelFromData(TSpectrum& spectrum, int32_t first, int32_t last);
  // Copies and checks the interval RealModelOptions.First..Last: the outliers of the spectrum
  // are corrected in place, a background line through the end channels is subtracted, short
  // intervals are resampled to about 180 points. The n values go to ScratchArray1, their
  // smoothed form (PrepareSmoothing) to ScratchArray2. DialogOk := 0 and StatusMessage on refusal.
  void MakeRealPeakModelData(TSpectrum& spectrum, int32_t& n);
  // The shape from ScratchArray2[1..n]: trimmed to its non-zero part, resampled onto 193
  // points, centred and analysed; model number 0 (one-signed) or -1 (double-signed).
  void FormRealModel(int32_t n);

private:
  inline bool TableCubic(double x, double& s, double c[5], double& perUnit) const;
};

// The seven peak models, [1..7]; [0] is unused. [1] is the tabulated background shape, [k + 1]
// the shape of phase k and of peak-model number k. Created by the session start.
extern std::array<std::unique_ptr<TPeakModel>, PeakModelCount + 1> PeakModels;

// The default number of background channels of a model interval: 1, plus one for each of the
// first two steps inward at both ends where the counts stay within two combined errors.
void EdgeFlatness(const TSpectrum& spectrum, int32_t first, int32_t& count, int32_t last);

// ---- evaluation, kept inline for the profile loops ----

// 1/(pi (1 + x^2)) times the taper T beyond LorentzTaperFrom, and its first three derivatives by x
// (f3 only when asked for); 0 from LorentzReach on and for a NaN. T = P(1 - s), s the place in the
// taper 0..1, P(s) = s^4 (35 - 84 s + 70 s^2 - 20 s^3) the step whose first three derivatives
// vanish at both ends. The tapered part out of line, so that the profile loops stay small.
[[gnu::cold]] void TaperedLorentzTail(double x, double& f, double& f1, double& f2, double* f3);
inline void TaperedLorentz(double x, double& f, double& f1, double& f2, double* f3) {
  if (!(std::fabs(x) <= LorentzTaperFrom)) return TaperedLorentzTail(x, f, f1, f2, f3);
  using std::numbers::pi;
  const double q = 1.0 / (x * x + 1.0);
  f = q / pi, f1 = -2.0 * x * q * q / pi, f2 = (6.0 * x * x - 2.0) * q * q * q / pi;
  if (f3) *f3 = 24.0 * x * (1.0 - x * x) * q * q * q * q / pi;
}

// The polynomial of the table step that holds x, in table points from the step's left point,
// s in [0, 1]: f = c0 + c1 s + ... + c4 s^4. Inside, the Hermite cubic between the two bracketing
// points with central-difference slopes, so that value and slope are continuous everywhere; in
// the outer step on each side the quartic that takes the inner point's value and slope and falls
// to the zero outside with zero value, slope and curvature. False beyond the table.
inline bool TPeakModel::TableCubic(double x, double& s, double c[5], double& perUnit) const {
  const double h = HalfWidth;
  const int32_t n = HalfPoints;
  // Outside the table, and any header that the table cannot hold (NaN, h <= 0, n > 96).
  if (!(std::fabs(x) <= h) || !(h > 0.0) || n < 1 || n > PeakModelHalfPoints) return false;
  perUnit = n / h;  // table points per unit of x
  const double t = std::fmin(std::fmax(x * perUnit, -n), n);  // |x| = h may round beyond n
  int32_t i = static_cast<int32_t>(std::floor(t));
  i = i < -n ? -n : i >= n ? n - 1 : i;
  s = t - i;
  // The end points count as zero.
  const double* y = Shape + (n + 1);  // the centre
  auto at = [y, n](int32_t k) { return k <= -n || k >= n ? 0.0 : y[k]; };
  const double y0 = at(i), y1 = at(i + 1);
  const double m0 = 0.5 * (y1 - at(i - 1)), m1 = 0.5 * (at(i + 2) - y0);
  c[4] = 0.0;
  if (i + 1 == n) {  // (1 - s)^3 (y0 + b s)
    const double b = m0 + 3.0 * y0;
    c[0] = y0, c[1] = m0, c[2] = 3.0 * (y0 - b), c[3] = 3.0 * b - y0, c[4] = -b;
  } else if (i == -n) {  // s^3 (y1 + b (s - 1))
    const double b = m1 - 3.0 * y1;
    c[0] = c[1] = c[2] = 0.0, c[3] = y1 - b, c[4] = b;
  } else {
    c[0] = y0;
    c[1] = m0;
    c[2] = 3.0 * (y1 - y0) - 2.0 * m0 - m1;
    c[3] = 2.0 * (y0 - y1) + m0 + m1;
  }
  return true;
}

inline void TPeakModel::ShapeValue(double& f, double& dfdx, double& d2f, double x) const {
  double s, c[5], perUnit;
  if (!TableCubic(x, s, c, perUnit)) {
    f = dfdx = d2f = 0.0;
    return;
  }
  f = c[0] + (c[1] + (c[2] + (c[3] + c[4] * s) * s) * s) * s;
  dfdx = (c[1] + (2.0 * c[2] + (3.0 * c[3] + 4.0 * c[4] * s) * s) * s) * perUnit;
  d2f = (2.0 * c[2] + (6.0 * c[3] + 12.0 * c[4] * s) * s) * perUnit * perUnit;
}

inline double TPeakModel::PeakModelThirdDerivative(double x, double f1) const {
  if (ModelNumber == ModelLorentz) {
    double f, d1, d2, d3;
    TaperedLorentz(x, f, d1, d2, &d3);
    return Negate == 1 ? -d3 : d3;
  }
  if (ModelNumber == ModelExponential) {
    constexpr double k = 1.3862942;
    return k * k * f1;  // the slope is -k f, so the third derivative is -k^3 f = k^2 f1
  }
  double s, c[5], perUnit;
  if (!TableCubic(x, s, c, perUnit)) return 0.0;
  const double right = (6.0 * c[3] + 24.0 * c[4] * s) * perUnit * perUnit * perUnit;
  if (s != 0.0 || !(std::fabs(x) < HalfWidth)) return right;
  // On a table point the curvature has a kink: the mean of its two sides, the slope a central
  // difference sees there.
  double sl, cl[5] = {};
  TableCubic(x - 0.5 / perUnit, sl, cl, perUnit);
  return 0.5 * (right + (6.0 * cl[3] + 24.0 * cl[4]) * perUnit * perUnit * perUnit);
}

inline void TPeakModel::PeakModelValue(double& f, double& dfdx, double& d2f, double x) const {
  if (ModelNumber == ModelLorentz) {
    TaperedLorentz(x, f, dfdx, d2f, nullptr);
    if (Negate == 1) f = -f, dfdx = -dfdx, d2f = -d2f;
  } else if (ModelNumber == ModelExponential) {
    constexpr double k = 1.3862942;  // ln 4: the value falls to a quarter per unit of x
    f = std::exp(-std::fmin(99.0, k * x));
    if (Negate == 1) f = -f;
    dfdx = -f * k;
    d2f = f * k * k;
  } else {
    ShapeValue(f, dfdx, d2f, x);
  }
}
