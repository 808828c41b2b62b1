#include "core/peak_model.h"
#include <cmath>
#include <numbers>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/number_format.h"

namespace {
const std::array<const char*, 14> ModelNames = {
    "Double-signed", "Real", "Gauss", "Lorentz", "IAEA", "Voigt", "ConvExp",
    "Exponential", "Detector4", "Pseudo-Voigt", "ExpPeak", "Vexo", "Fourier", "Step-Function"};
}  // namespace

const char* TPeakModelNames::operator[](int32_t number) const {
  if (number < ModelDoubleSigned || number > ModelStepFunction) return "";
  return ModelNames[static_cast<size_t>(number + 1)];
}

const TPeakModelNames PeakModelNames;

const std::array<const char*, 11> PeakModelHelpLines = {
    "",
    " Gauss = exp(-x^2)",
    " Lorentz = 1/(1 + x^2)",
    " IAEA - model for GeLi-detectors",
    "        suggested by IAEA",
    " Voigt= convolution of",
    "        1/(1+(x/r)^2) and gaussian",
    " CoExp= convolution of",
    "        exp(-x/r) and gaussian",
    " Detector4 model",
    " Sum of Gauss and Lorenz"};

double SpecialModelRatio = 1.0;
int32_t SelectedPeakModel = 1;
TRealModelOptions RealModelOptions;
std::array<std::unique_ptr<TPeakModel>, PeakModelCount + 1> PeakModels;

TPeakModel::TPeakModel() {
  SelectedPeakModel = 1;
  TabulatePeakModel();  // the Gauss shape of the member defaults
  RealModelOptions.Switch = 1;
  RealModelOptions.First = 0;
  RealModelOptions.Last = 0;
  RealModelOptions.BackgroundChannels = 1;
  RealModelOptions.Smoother = 1.0;
}

void TPeakModel::CentreShape(int32_t n) {
  const double* t = PeakModelTable;
  if (n > PeakModelPoints) n = PeakModelPoints;
  int32_t p = 0;
  double best = 0.0;
  for (int32_t i = 1; i <= n; ++i)
    if (t[i] > best) {  // strictly larger: the first of equal maxima
      best = t[i];
      p = i;
    }
  for (int32_t i = 1; i <= PeakModelPoints; ++i) Shape[i] = 0.0;
  if (p == 0) return;
  for (int32_t i = 1; i <= PeakModelPoints; ++i) {
    const int32_t target = i - p + PeakModelCentre;
    if (target >= 1 && target <= PeakModelPoints) Shape[target] = t[i];
  }
  Shape[1] = 0.0;
  Shape[PeakModelPoints] = 0.0;
}

void TPeakModel::AnalyseShape() {
  DialogOk = 1;
  int32_t half = HalfPoints;
  if (half < 1 || half > PeakModelHalfPoints) half = PeakModelHalfPoints;
  const int32_t m = 2 * half + 1;
  double mn = Shape[1], mx = std::fabs(Shape[1]);
  int32_t p = 1;
  for (int32_t i = 1; i <= m; ++i) {
    mn = std::fmin(mn, Shape[i]);
    if (std::fabs(Shape[i]) >= mx) {  // the last of equal maxima
      mx = std::fabs(Shape[i]);
      p = i;
    }
  }
  auto illegal = [&](double width) {
    ShowMsg("Illegal model " + FormatNumber(10, 2, (mx - mn) / 2.0) + " " + FormatNumber(10, 2, width));
    DialogOk = 0;
  };
  if (!((mx - mn) / 2.0 != 0.0)) {
    illegal(FullWidth);
    return;
  }
  // Full width at half maximum by linear interpolation on both flanks.
  const double h = mx / 2.0;
  int32_t i = 1;
  while (i < m && std::fabs(Shape[i]) < h) ++i;
  int32_t j = m;
  while (j > 1 && std::fabs(Shape[j]) < h) --j;
  const double fl = (std::fabs(Shape[i]) - h) / (std::fabs(Shape[i]) - std::fabs(Shape[i - 1]));
  const double fr = (std::fabs(Shape[j]) - h) / (std::fabs(Shape[j]) - std::fabs(Shape[j + 1]));
  FullWidth = (j - i) + std::fabs(fl) + std::fabs(fr);
  if (!(FullWidth > 0.0)) {
    illegal(FullWidth);
    return;
  }
  HalfWidth = half / FullWidth;
  // Simpson weights 1, 2, 1, 2, ... times 2/3 over points 1..2*half, step 1/FullWidth.
  double sum = 0.0;
  for (int32_t k = 1; k <= half; ++k) sum += std::fabs(Shape[2 * k - 1]) + 2.0 * std::fabs(Shape[2 * k]);
  Area = (HalfWidth / half) * (2.0 / 3.0) * sum;
  // A shape whose only non-zero value is its last point has no area to normalise by.
  if (!(Area > 0.0)) {
    illegal(FullWidth);
    return;
  }
  double moment = 0.0;
  for (int32_t k = 1; k <= PeakModelPoints; ++k)
    if (Shape[k] > mx / 10.0) moment += (p - k) * Shape[k];
  Centroid = moment / Area;
  for (int32_t k = 1; k <= PeakModelPoints; ++k) Shape[k] /= Area;
}

void TaperedLorentzTail(double x, double& f, double& f1, double& f2, double* f3) {
  const double ax = std::fabs(x);
  if (!(ax < LorentzReach)) {
    f = f1 = f2 = 0.0;
    if (f3) *f3 = 0.0;
    return;
  }
  using std::numbers::pi;
  const double q = 1.0 / (x * x + 1.0);
  const double l0 = q / pi, l1 = -2.0 * x * q * q / pi, l2 = (6.0 * x * x - 2.0) * q * q * q / pi;
  constexpr double span = LorentzReach - LorentzTaperFrom;
  const double s = std::fmax(0.0, (ax - LorentzTaperFrom) / span), r = 1.0 - s, sign = x < 0.0 ? -1.0 : 1.0;
  // T = P(r), taken at r for its accuracy near the reach; the derivatives by x through s.
  const double t0 = r * r * r * r * (35.0 + r * (-84.0 + r * (70.0 - 20.0 * r)));
  const double sr = s * r;
  const double t1 = -140.0 * sr * sr * sr * sign / span;
  const double t2 = -420.0 * sr * sr * (1.0 - 2.0 * s) / (span * span);
  f = l0 * t0;
  f1 = l1 * t0 + l0 * t1;
  f2 = l2 * t0 + 2.0 * l1 * t1 + l0 * t2;
  if (f3) {
    const double l3 = 24.0 * x * (1.0 - x * x) * q * q * q * q / pi;
    const double t3 = -840.0 * sr * (1.0 - 5.0 * sr) * sign / (span * span * span);
    *f3 = l3 * t0 + 3.0 * l2 * t1 + 3.0 * l1 * t2 + l0 * t3;
  }
}

double TPeakModel::EvaluatedArea(double cut) const {
  if (!(cut > 0.0)) return 0.0;
  const double sign = Negate == 1 ? -1.0 : 1.0;
  if (ModelNumber == ModelLorentz) {
    // The Cauchy density's own integral up to the taper, then Simpson's rule over the tapered
    // part (a smooth polynomial times the density: 1024 steps leave 1e-15).
    double area = 2.0 * std::atan(std::fmin(cut, LorentzTaperFrom)) / std::numbers::pi;
    const double end = std::fmin(cut, LorentzReach);
    if (end > LorentzTaperFrom) {
      constexpr int32_t m = 1024;
      const double step = (end - LorentzTaperFrom) / m;
      double f, d1, d2, sum = 0.0;
      for (int32_t i = 0; i <= m; ++i) {
        TaperedLorentz(LorentzTaperFrom + i * step, f, d1, d2, nullptr);
        sum += f * (i == 0 || i == m ? 1.0 : i % 2 ? 4.0 : 2.0);
      }
      area += 2.0 * sum * step / 3.0;
    }
    return sign * area;
  }
  if (ModelNumber == ModelExponential) {
    // exp(-min(99, k x)): the exponential up to x = 99 / k, then flat.
    constexpr double k = 1.3862942;
    const double top = std::fmin(cut, 99.0 / k);
    return sign * ((std::exp(k * cut) - std::exp(-k * top)) / k + (cut - top) * std::exp(-99.0));
  }
  const double h = std::fmin(cut, HalfWidth);
  const int32_t n = HalfPoints;
  if (!(h > 0.0) || n < 1 || n > PeakModelHalfPoints) return 0.0;
  if (h < HalfWidth) {
    // A cut inside the table: Simpson's rule on the evaluated function, fine enough for 1e-9.
    const int32_t m = 4 * n * 16;
    double f, d1, d2, sum = 0.0;
    for (int32_t i = 0; i <= m; ++i) {
      ShapeValue(f, d1, d2, -h + 2.0 * h * i / m);
      sum += f * (i == 0 || i == m ? 1.0 : i % 2 ? 4.0 : 2.0);
    }
    return sum * (2.0 * h / m) / 3.0;
  }
  // Step by step the exact integral of the step's polynomial, sum of c_k / (k + 1).
  double sum = 0.0;
  for (int32_t j = -n; j < n; ++j) {
    double s, c[5], perUnit;
    if (TableCubic((j + 0.5) * HalfWidth / n, s, c, perUnit))
      sum += c[0] + c[1] / 2.0 + c[2] / 3.0 + c[3] / 4.0 + c[4] / 5.0;
  }
  return sum * HalfWidth / n;
}
