// Tabulation of the peak shapes by model number, and the stored detector shapes.
#include <cmath>
#include <numbers>
#include "core/peak_model.h"

namespace {
// The stored detector shapes below are SYNTHETIC STAND-INS: the measured profiles are not
// available, so tools/gen_measured_shapes.py builds smooth asymmetric count profiles that keep
// each table's length, first and last counts and the height and position of its maximum.
// Regenerate with: tools/gen_measured_shapes.py src/core/peak_model_shapes.cpp
// ---- begin generated block (tools/gen_measured_shapes.py) ----
// IAEA: 101 counts, maximum 8647 at point 77 (synthetic stand-in).
constexpr double IaeaShape[101] = {
    0, 2, 4, 7, 10, 14, 18, 23, 29, 37, 45, 54,
    65, 78, 92, 109, 128, 149, 173, 200, 230, 264, 301, 343,
    389, 440, 496, 557, 625, 698, 777, 863, 957, 1057, 1164, 1280,
    1403, 1534, 1673, 1820, 1976, 2139, 2311, 2491, 2678, 2872, 3074, 3282,
    3497, 3717, 3943, 4172, 4406, 4642, 4881, 5121, 5361, 5600, 5837, 6072,
    6303, 6529, 6748, 6961, 7166, 7361, 7546, 7720, 7882, 8030, 8165, 8285,
    8390, 8479, 8552, 8608, 8647, 8569, 8280, 7802, 7168, 6422, 5611, 4780,
    3971, 3216, 2540, 1957, 1469, 1075, 767, 533, 361, 237, 152, 96,
    59, 35, 19, 8, 0,
};
// Detector4: 88 counts, maximum 23196 at point 47 (synthetic stand-in).
constexpr double Detector4Shape[88] = {
    0, 1, 2, 4, 7, 11, 18, 26, 39, 56, 79, 111,
    153, 208, 279, 370, 486, 630, 809, 1028, 1294, 1612, 1990, 2433,
    2948, 3539, 4210, 4965, 5804, 6726, 7729, 8805, 9947, 11143, 12380, 13641,
    14906, 16157, 17370, 18523, 19593, 20559, 21400, 22098, 22638, 23006, 23196, 23153,
    22830, 22238, 21400, 20344, 19107, 17728, 16251, 14717, 13168, 11640, 10166, 8772,
    7478, 6299, 5242, 4310, 3501, 2810, 2229, 1746, 1352, 1034, 782, 584,
    431, 314, 226, 161, 114, 81, 57, 41, 29, 20, 15, 10,
    7, 5, 3, 0,
};
// Vexo: 193 counts, maximum 5656 at point 98 (synthetic stand-in).
constexpr double VexoShape[193] = {
    0, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14, 16,
    18, 21, 24, 27, 31, 35, 40, 45, 51, 58, 65, 73,
    82, 92, 103, 116, 129, 144, 160, 178, 197, 219, 242, 267,
    295, 324, 356, 391, 429, 469, 512, 558, 608, 661, 717, 777,
    840, 908, 979, 1054, 1133, 1216, 1303, 1394, 1489, 1588, 1690, 1797,
    1907, 2021, 2138, 2259, 2382, 2508, 2637, 2768, 2901, 3035, 3170, 3307,
    3443, 3580, 3716, 3851, 3985, 4117, 4246, 4373, 4496, 4616, 4731, 4841,
    4946, 5045, 5138, 5224, 5304, 5376, 5440, 5497, 5545, 5585, 5616, 5638,
    5652, 5656, 5649, 5626, 5590, 5539, 5474, 5396, 5305, 5201, 5087, 4962,
    4827, 4684, 4533, 4376, 4213, 4045, 3874, 3701, 3526, 3350, 3175, 3002,
    2830, 2661, 2496, 2334, 2178, 2027, 1881, 1741, 1608, 1480, 1360, 1245,
    1138, 1037, 942, 854, 772, 696, 626, 562, 503, 449, 399, 354,
    314, 277, 244, 214, 188, 164, 143, 124, 108, 94, 81, 71,
    61, 53, 46, 40, 35, 30, 26, 23, 20, 17, 15, 13,
    11, 10, 8, 7, 6, 6, 5, 4, 4, 3, 3, 2,
    2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 0, 0,
    0,
};
// ---- end generated block ----

template <size_t N>
int32_t LoadStored(double* t, const double (&values)[N]) {
  for (size_t i = 0; i < N; ++i) t[i + 1] = values[i];
  return static_cast<int32_t>(N);
}

// Discrete convolution of the Gaussian exp(-(d / w)^2) with the Lorentzian 1 / (z^2 + 1)
// centred on point 97 (Voigt), or with the exponential 10 exp(-z) starting at point 65
// (ConvExp); z = (k - centre) / r, w = max(8, 32 / (r / 2 + 1)).
void Convolution(double* t, bool voigt, double r) {
  const double w = std::fmax(8.0, 32.0 / (r / 2.0 + 1.0));
  const double scale = r > 1e-5 ? r : 1e-5;
  const int32_t centre = voigt ? 97 : 65;
  double partner[PeakModelPoints + 1];
  for (int32_t k = 1; k <= PeakModelPoints; ++k) {
    const double z = (k - centre) / scale;
    if (voigt)
      partner[k] = 1.0 / (z * z + 1.0);
    else
      partner[k] = z >= 0.0 ? 10.0 * std::exp(-std::fmin(77.0, z)) : 0.0;
  }
  // gauss[d + 192] for the point distance d = k - i, -192..192.
  double gauss[2 * PeakModelPoints - 1];
  for (int32_t d = -(PeakModelPoints - 1); d <= PeakModelPoints - 1; ++d) {
    const double u = d / w;
    gauss[d + PeakModelPoints - 1] = 1000.0 * std::exp(-std::fmin(77.0, u * u));
  }
  for (int32_t i = 1; i <= PeakModelPoints; ++i) {
    double sum = 0.0;
    for (int32_t k = 1; k <= PeakModelPoints; ++k) sum += gauss[k - i + PeakModelPoints - 1] * partner[k];
    t[i] = sum;
  }
  t[1] = 0.0;
}
}  // namespace

void TPeakModel::TabulatePeakModel() {
  double* t = PeakModelTable;
  for (int32_t i = 1; i <= PeakModelPoints; ++i) t[i] = 0.0;
  int32_t n = PeakModelPoints;
  switch (ModelNumber) {
    case ModelGauss:
      for (int32_t i = 1; i <= PeakModelPoints; ++i) {
        const double x = (97 - i) / 32.0;
        t[i] = std::exp(-1.1 * x * x);
      }
      break;
    case ModelLorentz:
      for (int32_t i = 1; i <= PeakModelPoints; ++i) {
        const double x = (97 - i) / 8.0;
        t[i] = 1.0 / (3.0 * x * x + 1.0);
      }
      break;
    case ModelIaea:
      n = LoadStored(t, IaeaShape);
      break;
    case ModelVoigt:
    case ModelConvExp:
      Convolution(t, ModelNumber == ModelVoigt, SpecialModelRatio);
      break;
    case ModelExponential:
      for (int32_t i = 1; i <= PeakModelPoints; ++i) t[i] = 1000.0 * std::exp(-std::fabs((97 - i) / 9.0));
      break;
    case ModelDetector4:
      n = LoadStored(t, Detector4Shape);
      break;
    case ModelExpPeak:
    case ModelFourier:
      for (int32_t i = 1; i <= 96; ++i) {
        const double x = (97 - i) / 32.0;
        t[i] = ModelNumber == ModelExpPeak
                   ? std::exp(-1.1 * x)
                   : std::exp(-1.1 * x * x) * std::cos(2.0 * std::numbers::pi * x / 1.5) * std::exp(-x);
        t[194 - i] = t[i];
      }
      t[97] = 1.0;
      break;
    case ModelVexo:
      n = LoadStored(t, VexoShape);
      break;
    case ModelStepFunction:
      for (int32_t i = 64; i <= 129; ++i) t[i] = 1.0;
      break;
    default:
      // Pseudo-Voigt (evaluated by the peak fits), the real models (formed from data) and any
      // number outside -1..12 leave the table empty.
      break;
  }
  HalfPoints = PeakModelHalfPoints;
  CentreShape(n);
  // The computed shapes (the stored detector shapes are kept as measured; the Lorentz and
  // exponential models are evaluated from their formulas; the step function is a step).
  if (ModelNumber == ModelVoigt || ModelNumber == ModelConvExp || ModelNumber == ModelExpPeak ||
      ModelNumber == ModelFourier || ModelNumber == ModelGauss)
    TaperTails();
  AnalyseShape();
}

// A shape whose table ends above 1e-4 of its maximum (a long convolution or Lorentz tail, the
// exponential cusp) would end in a step that moves with the peak: value and slope of a profile
// would jump as a position crosses it. Such a shape is rolled off with cos^2 over the outer third
// of the table to zero at the three outer points, which the evaluation takes flat.
void TPeakModel::TaperTails() {
  constexpr int32_t n = PeakModelHalfPoints, centre = PeakModelCentre;
  constexpr int32_t zeroFrom = n - 2, rollFrom = PeakModelRollFrom;
  double top = 0.0, edge = 0.0;
  for (int32_t i = 1; i <= PeakModelPoints; ++i) top = std::fmax(top, std::fabs(Shape[i]));
  for (int32_t d = zeroFrom - 1; d <= n; ++d)
    edge = std::fmax(edge, std::fmax(std::fabs(Shape[centre - d]), std::fabs(Shape[centre + d])));
  if (!(edge > 1e-4 * top)) return;
  for (int32_t d = rollFrom + 1; d <= n; ++d) {
    const double c = d >= zeroFrom ? 0.0 : std::cos(0.5 * std::numbers::pi * (d - rollFrom) / (zeroFrom - rollFrom));
    Shape[centre - d] *= c * c;
    Shape[centre + d] *= c * c;
  }
}
