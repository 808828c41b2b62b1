// Peak shapes against scipy sampled on the table grid (tools/gen_peak_golden.py), widths against
// closed forms, derivatives against finite differences, and real models formed from data.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numeric>
#include <tuple>
#include "core/dialog_state.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
using GoldenTable = std::map<std::string, std::vector<double>>;
GoldenTable ReadGolden(const std::string& path) {  // "key count value ..." per line
  GoldenTable table;
  std::string key, tok;
  std::ifstream in(path);
  for (size_t count; in >> key >> count;)
    for (auto& v = table[key]; v.size() < count && in >> tok;) std::from_chars(tok.data(), tok.data() + tok.size(), v.emplace_back());
  return table;
}
const GoldenTable& Golden() {
  static const GoldenTable table = ReadGolden(VKEST_SOURCE_DIR "/tests/core/data/peak_golden.txt");
  return table;
}
}  // namespace

class PeakModel : public ScriptedTest {
protected:
  TPeakModel model;
  double f = 0, d1 = 0, d2 = 0;
  // PeakModelValue: value, slope, curvature.
  std::array<double, 3> At(double x) { std::array<double, 3> v; model.PeakModelValue(v[0], v[1], v[2], x); return v; }
  void Make(int32_t number, double r = 1.0, int32_t negate = 0) {
    SpecialModelRatio = r, model.ModelNumber = number, model.Negate = negate;
    model.TabulatePeakModel();
  }
};

TEST_F(PeakModel, ShapesMatchScipyOnTheGrid) {
  struct Case { int32_t number; double r; const char* key; double tol, centralTol; };
  for (Case c : {Case{ModelGauss, 1, "gauss", 1e-12, 1e-12}, Case{ModelLorentz, 1, "lorentz", 1e-12, 1e-12},
                 Case{ModelVoigt, 2, "voigt_r2", 2e-3, 1e-5}, Case{ModelVoigt, 4, "voigt_r4", 2e-3, 1e-5},
                 Case{ModelConvExp, 4, "convexp_r4", 3e-3, 3e-3}, Case{ModelConvExp, 8, "convexp_r8", 3e-3, 3e-3}}) {
    Make(c.number, c.r);
    const auto& g = Golden().at(c.key);
    int32_t top = 1;  // the golden maximum sits on point 97 of the shape
    for (int32_t i = 1; i <= 193; ++i) top = g[i - 1] > g[top - 1] ? i : top;
    // ShapeValue on table point j (x > 0 right of the centre), at golden points 2..192.
    auto at = [&](int32_t j) { return model.ShapeValue(f, d1, d2, (j - 97) * model.HalfWidth / 96), f; };
    // A computed convolution whose tail is still above 1e-4 of the height at the table's end
    // is rolled off to zero over the outer third (from 62 points out), never raised.
    const bool computed = c.number == ModelVoigt || c.number == ModelConvExp;
    const bool rolled = computed && std::fmax(g[0], g[192]) > 1e-4 * g[top - 1];
    for (int32_t j = std::max(2, 99 - top); j <= std::min(192, 289 - top); ++j) {
      const double truth = g[j + top - 98] / g[top - 1];
      if (rolled && std::abs(j - 97) > 62) {
        EXPECT_GE(at(j), 0.0) << c.key << " point " << j;
        EXPECT_LE(at(j) / at(97), truth + c.tol) << c.key << " point " << j;
        if (std::abs(j - 97) >= 94) {
          EXPECT_EQ(at(j), 0.0) << c.key << " point " << j;
        }
        continue;
      }
      EXPECT_NEAR(at(j) / at(97), truth, std::abs(j - 97) <= 64 ? c.centralTol : c.tol) << c.key << " point " << j;
    }
  }
}

TEST_F(PeakModel, WidthsAreasAndEdgeCases) {
  Make(ModelGauss);  // FWHM 64 sqrt(ln 2 / 1.1) points, area 32 sqrt(pi / 1.1) points
  EXPECT_NEAR(model.FullWidth, 64.0 * std::sqrt(std::log(2.0) / 1.1), 0.01);
  EXPECT_NEAR(model.Area, 32.0 * std::sqrt(std::acos(-1.0) / 1.1) / model.FullWidth, 2e-5);  // tails beyond 4.4 sigma
  struct Case { int32_t number; double fullWidth, halfWidth, area; };
  for (Case c : {Case{ModelGauss, 50.8075, 1.88948, 1.06438}, Case{ModelStepFunction, 66, 1.4545, 1.0}}) {
    Make(c.number);
    EXPECT_NEAR(model.FullWidth, c.fullWidth, 1e-4);
    EXPECT_NEAR(model.HalfWidth, c.halfWidth, 1e-4);
    EXPECT_NEAR(model.Area, c.area, 1e-5);
  }
  EXPECT_EQ(model.Shape[96] + model.Shape[163], 0.0);  // the steps' ones start at the centre
  for (double r : {0.5, 1.0, 2.0, 4.0}) {  // Olivero-Longbothum width of the Voigt profile
    Make(ModelVoigt, r);
    double fg = 2.0 * std::fmax(8.0, 32.0 / (r / 2.0 + 1.0)) * std::sqrt(std::log(2.0)), fl = 2.0 * r;
    EXPECT_NEAR(model.FullWidth / (0.5346 * fl + std::sqrt(0.2166 * fl * fl + fg * fg)), 1.0, 1.5e-3) << r;
  }
}

TEST_F(PeakModel, EveryModelNumberTabulates) {
  // Stored shapes: only their stated counts, with the maximum moved from point P to 97.
  struct Stored { int32_t number, peak; std::vector<std::pair<int32_t, double>> counts; };
  for (const Stored& s : {Stored{ModelIaea, 77, {{2, 2}, {5, 10}, {77, 8647}, {99, 19}, {100, 8}}},
                          Stored{ModelDetector4, 47, {{2, 1}, {5, 7}, {47, 23196}, {86, 5}, {87, 3}}},
                          Stored{ModelVexo, 98, {{3, 4}, {5, 6}, {98, 5656}, {191, 0}}}}) {
    Make(s.number);
    for (auto [i, v] : s.counts) EXPECT_NEAR(model.Shape[i - s.peak + 97] * model.Area, v, 1e-9) << s.number;
  }
  for (int32_t number = -3; number <= 14; ++number) {
    ui.Clear(), Make(number);
    bool empty = number < 1 || number > 12 || number == ModelPseudoVoigt;
    EXPECT_EQ(DialogOk, empty ? 0 : 1) << number;
    ASSERT_EQ(ui.Messages().size(), empty ? 1u : 0u) << number;
    if (empty) continue;
    double sum = 0, top = 0;
    for (int32_t k = 1; k <= 96; ++k) sum += std::fabs(model.Shape[2 * k - 1]) + 2 * std::fabs(model.Shape[2 * k]);
    for (int32_t k = 1; k <= 193; ++k) top = std::fmax(top, model.Shape[k]);
    EXPECT_NEAR(model.HalfWidth / 96 * 2.0 / 3.0 * sum, 1.0, 1e-12) << number;  // unit area
    EXPECT_EQ(model.Shape[97], top) << number;
    EXPECT_EQ(model.Shape[1] + model.Shape[193], 0.0) << number;
  }
  EXPECT_EQ(ui.Messages()[0].substr(0, 14), "Illegal model ");  // number 14
  EXPECT_EQ(std::string(PeakModelNames[-1]) + PeakModelNames[10] + PeakModelNames[13], "Double-signedVexo");
}

TEST_F(PeakModel, ShapeValueAndDerivatives) {
  Make(ModelGauss);
  for (double x = -1.0; x <= 1.0; x += 0.0625) {
    model.ShapeValue(f, d1, d2, x);
    EXPECT_NEAR(f * model.Area / std::exp(-1.1 * std::pow(x * model.FullWidth / 32.0, 2)), 1.0, 2e-4) << x;
  }
  const double h = model.HalfWidth, s = h / 96;
  for (double x : {-h, h, h * 1.0001, -h * 1.0001, 1e300, std::nan("")}) {
    model.ShapeValue(f, d1, d2, x);  // zero with zero slope at the ends (to rounding), zero beyond
    const bool beyond = std::fabs(x) > h || std::isnan(x);
    EXPECT_LE(std::fabs(f) + std::fabs(d1) * s + (beyond ? std::fabs(d2) : 0.0), beyond ? 0.0 : 1e-15 * model.Shape[97])
        << x;
  }
  model.ShapeValue(f, d1, d2, h - 2.4 * s);  // the tail still falls in the outer points
  EXPECT_LT(d1, 0.0);
  struct Case { int32_t number, negate; double x; };
  for (Case c : {Case{ModelLorentz, 0, 0.7}, Case{ModelLorentz, 1, -1.3}, Case{ModelLorentz, 0, 13.1},
                 Case{ModelLorentz, 1, -14.6}, Case{ModelExponential, 0, 0.4},
                 Case{ModelExponential, 1, -0.6}, Case{ModelGauss, 0, 0.506}, Case{ModelConvExp, 0, -0.2},
                 Case{ModelVoigt, 1, 1.1}}) {
    Make(c.number, 3.0, c.negate);
    auto v = At(c.x), p = At(c.x + 1e-5), m = At(c.x - 1e-5);
    for (int k = 0; k < 2; ++k)  // central differences of the value and of the slope
      EXPECT_NEAR((p[k] - m[k]) / 2e-5, v[k + 1], 1e-6 * (std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2])))
          << c.number << " " << c.negate << " " << k;
  }
  Make(ModelLorentz);  // the analytic Lorentz model is the Cauchy density
  for (size_t k = 0; k < 7; ++k) EXPECT_NEAR(At(Golden().at("cauchy_x")[k])[0], Golden().at("cauchy_pdf")[k], 1e-15);
}

// The analytic Lorentz is the Cauchy density up to 12 half widths and 0 from 15 on: at both ends
// of the taper between, value, slope, curvature and third derivative run on without a step; in it
// each is the derivative of the one before (central differences); its area within any cut is
// scipy's quadrature of that tapered density (tools/gen_peak_golden.py), negated with the model.
TEST_F(PeakModel, LorentzTapersSmoothlyToItsReach) {
  Make(ModelLorentz);
  auto all = [&](double x) {
    const auto v = At(x);
    return std::array<double, 4>{v[0], v[1], v[2], model.PeakModelThirdDerivative(x, v[1])};
  };
  for (double end : {12.0, -12.0, 15.0, -15.0}) {
    const auto in = all(end * (1 - 1e-10)), out = all(end * (1 + 1e-10));
    // 3e-9 apart: each moves by less than 1e-10 there (the fourth derivative is below 0.05).
    for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(in[k], out[k], 1e-9) << end << " derivative " << k;
  }
  EXPECT_EQ(all(15.0), (std::array<double, 4>{}));
  EXPECT_EQ(all(-1e300), (std::array<double, 4>{}));
  for (double x : {12.2, 13.5, -13.9, 14.8}) {
    const double h = 1e-4;
    const auto c = all(x), p = all(x + h), m = all(x - h);
    for (size_t k = 0; k < 3; ++k) EXPECT_NEAR((p[k] - m[k]) / (2 * h), c[k + 1], 1e-9) << x << " derivative " << k;
  }
  const auto& cuts = Golden().at("lorentz_cut");
  for (int32_t negate : {0, 1}) {
    Make(ModelLorentz, 1.0, negate);
    for (size_t k = 0; k < cuts.size(); ++k)
      EXPECT_NEAR(model.EvaluatedArea(cuts[k]), (negate ? -1 : 1) * Golden().at("lorentz_area")[k], 1e-13) << cuts[k];
    EXPECT_EQ(model.EvaluatedArea(HUGE_VAL), model.EvaluatedArea(15));
  }
}

// A table shape's area within a cut: the Gauss (unit area, full width 1) holds erf(2 c sqrt(ln 2))
// within +-c, to the 1e-4 of the full width read from the table; a cut a hair inside the table's end (Simpson's
// rule on the evaluated shape) and the whole table (the steps' exact integrals) agree to 1e-9; a
// cut beyond the table adds nothing, and none at all holds nothing.
TEST_F(PeakModel, AreaOfATableShapeWithinACut) {
  Make(ModelGauss);
  const double h = model.HalfWidth;
  for (double c : {0.1, 0.5, 1.0, 1.7}) EXPECT_NEAR(model.EvaluatedArea(c), std::erf(2 * c * std::sqrt(std::log(2.0))), 1e-4) << c;
  EXPECT_NEAR(model.EvaluatedArea(h * (1 - 1e-12)), model.EvaluatedArea(h), 1e-9);
  EXPECT_NEAR(model.EvaluatedArea(h), 1.0, 1e-6);
  EXPECT_EQ(model.EvaluatedArea(2 * h), model.EvaluatedArea(h));
  EXPECT_EQ(model.EvaluatedArea(0.0), 0.0);
  Make(ModelGauss, 1.0, 1);  // a table shape is not negated
  EXPECT_NEAR(model.EvaluatedArea(0.5), std::erf(std::sqrt(std::log(2.0))), 1e-4);
}

// Every table step joins its neighbours: value and slope agree from both sides of every table
// point (to rounding: the two cubics meet there by construction of the slopes), the slope is the
// value's derivative and the curvature the slope's, within the steps and across the midpoints
// where a nearest-point rule would jump, and the shape meets the zero outside with zero slope and
// curvature (a curvature term of the profile then has no step there either).
TEST_F(PeakModel, TableIsSmoothAcrossPointsMidpointsAndEnds) {
  for (int32_t number : {ModelGauss, ModelVoigt, ModelConvExp, ModelIaea, ModelDetector4, ModelVexo, ModelFourier,
                         ModelStepFunction}) {
    Make(number, 3.0);
    const double h = model.HalfWidth, s = h / 96, top = model.Shape[97];
    double worstValue = 0, worstSlope = 0, worstDerivative = 0;
    for (int32_t k = -96; k <= 96; ++k) {
      for (double frac : {0.0, 0.5}) {  // table points and midpoints
        const double x = (k + frac) * s, e = 1e-7 * s;
        if (std::fabs(x) > h) continue;
        const auto left = At(x - e), right = At(x + e);
        // Across x value and slope move by e times the derivatives on each side (to e^2 and e^3);
        // what is left is a jump.
        worstValue = std::fmax(worstValue, std::fabs(right[0] - left[0] - e * (left[1] + right[1])) / top);
        worstSlope = std::fmax(worstSlope, std::fabs(right[1] - left[1] - e * (left[2] + right[2])) * s / top);
        // Inside a step, where the shape is one polynomial of degree 4 at most: central
        // differences of the value (exact but for f''' q^2 / 6) and of the slope (but for
        // f'''' q^2 / 6, f'''' the difference of the linear f''').
        const double q = s / 8, y = x + 0.25 * s;
        if (std::fabs(y) + q > h) continue;
        const auto p = At(y + q), m = At(y - q), c = At(y);
        const double third = model.PeakModelThirdDerivative(y, c[1]);
        const double fourth =
            (model.PeakModelThirdDerivative(y + q, p[1]) - model.PeakModelThirdDerivative(y - q, m[1])) / (2 * q);
        worstDerivative =
            std::fmax(worstDerivative, std::fabs((p[0] - m[0]) / (2 * q) - c[1] - third * q * q / 6) * s / top);
        worstDerivative =
            std::fmax(worstDerivative, std::fabs((p[1] - m[1]) / (2 * q) - c[2] - fourth * q * q / 6) * s * s / top);
      }
    }
    EXPECT_LT(worstValue, 1e-12) << number;
    EXPECT_LT(worstSlope, 1e-9) << number;
    EXPECT_LT(worstDerivative, 1e-9) << number;
    for (double x : {h, -h}) {  // the ends: zero from inside, value, slope and curvature
      const auto in = At(x - std::copysign(1e-7 * s, x));
      EXPECT_LT(std::fabs(in[0]) / top, 1e-12) << number;
      EXPECT_LT(std::fabs(in[1]) * s / top, 1e-12) << number;
      EXPECT_LT(std::fabs(in[2]) * s * s / top, 1e-6) << number;
    }
  }
}

// chi2 of a noise-free line of the analytic ConvExp shape (a Gaussian exp(-(u/w)^2) convolved
// with exp(-u/r), u in table points, r = 4: the closed form with erfc), 12 channels per full width,
// fitted with the tabulated shape and the best amplitude at each position: along the position it
// has a single minimum and no step on a scan of 1/1000 of a channel. A nearest-point table turns
// it into a staircase.
TEST_F(PeakModel, Chi2AlongThePositionHasOneMinimum) {
  Make(ModelConvExp, 4.0);
  const double r = 4.0, w = std::fmax(8.0, 32.0 / (r / 2.0 + 1.0)), width = 12.0;
  auto emg = [&](double u) { return std::exp(w * w / (4 * r * r) - u / r) * std::erfc(w / (2 * r) - u / w); };
  std::vector<double> data;
  for (int32_t c = 1; c <= 200; ++c) data.push_back(emg((c - 100.3) / width * model.FullWidth));
  auto chi2 = [&](double pos) {
    double fy = 0, ff = 0, yy = 0;
    for (int32_t c = 1; c <= 200; ++c) {
      model.ShapeValue(f, d1, d2, (c - pos) / width);
      const double y = data[static_cast<size_t>(c - 1)];
      fy += f * y, ff += f * f, yy += y * y;
    }
    return yy - fy * fy / ff;  // at the best amplitude
  };
  double centre = 0, least = 1e300;
  for (double pos = 90; pos <= 110; pos += 0.01)
    if (const double v = chi2(pos); v < least) least = v, centre = pos;
  std::vector<double> scan;
  for (int32_t k = -1000; k <= 1000; ++k) scan.push_back(chi2(centre + k * 1e-3));
  // A jump J in chi2 shows as a second difference J, where a smooth chi2 has its curvature times
  // the scan step squared (the curvature taken over 0.1 channel).
  const double h = 1e-3, curvature = (chi2(centre + 0.1) - 2 * least + chi2(centre - 0.1)) / 0.01;
  int32_t minima = 0;
  double rough = 0;
  for (size_t k = 1; k + 1 < scan.size(); ++k) {
    minima += scan[k] < scan[k - 1] && scan[k] <= scan[k + 1];
    rough = std::fmax(rough, std::fabs(scan[k + 1] - 2 * scan[k] + scan[k - 1]) / (h * h * curvature));
  }
  EXPECT_EQ(minima, 1);
  EXPECT_LT(rough, 10.0);
  // The table is the convolution summed over whole points: it matches the integral closely.
  EXPECT_LT(least, 1e-4 * std::inner_product(data.begin(), data.end(), data.begin(), 0.0));
}

TEST(PeakGolden, CommittedValuesMatchAFreshRun) {
  const std::string out = TestTempPath("peak_golden.txt");
  VKEST_REQUIRE_PYTHON("numpy, scipy");
  ASSERT_EQ(RunTool("gen_peak_golden.py", out), 0);
  GoldenTable fresh = ReadGolden(out);
  std::remove(out.c_str());
  ASSERT_EQ(fresh.size(), Golden().size());
  for (const auto& [key, values] : Golden())
    for (size_t i = 0; i < values.size(); ++i)
      // Shapes divided by their maximum, so within [0, 1]: scipy's exp, erfcx and Faddeeva
      // function, a few ulps of 1 apart between CPUs' vector paths. cauchy_x: inputs, exact.
      EXPECT_NEAR(fresh.at(key).at(i), values[i], key == "cauchy_x" ? 0 : 1e-13) << key << i;
}

class RealPeakModel : public PeakModel {
protected:
  std::unique_ptr<TSpectrum> sp = std::make_unique<TSpectrum>("DUMMY");
  int32_t n = 0;
  void Fill(double height, double centre = 1060) {  // a Gaussian line, sigma 8, on a flat 20
    for (int32_t c = 1; c <= 2000; ++c)
      sp->Y[c] = 20.0 + height * std::exp(-std::pow((c - centre) / 8.0, 2) / 2), sp->E[c] = std::sqrt(sp->Y[c]);
    RealModelOptions = TRealModelOptions{.BackgroundChannels = 2};
  }
};

TEST_F(RealPeakModel, GaussianDataGiveTheGaussShapeWithBothTails) {
  TPeakModel gauss;
  Fill(1000.0);
  model.MakeRealModelFromData(*sp, 1000, 1120);
  ASSERT_EQ(DialogOk, 1);
  for (double x = -1.5, g; x <= 1.5; x += 0.25) {  // the smoothing leaves a few per cent
    model.ShapeValue(f, d1, d2, x);
    gauss.ShapeValue(g, d1, d2, x);
    EXPECT_NEAR(f, g, 0.06 * gauss.Shape[97]) << x;
  }
  EXPECT_GT(std::fmin(model.Shape[97 - 58], model.Shape[97 + 58]), 0.0);  // both tails are kept
  EXPECT_NEAR(model.Shape[97 - 30], model.Shape[97 + 30], 0.05 * model.Shape[97]);
}

TEST_F(RealPeakModel, BadIntervalsAndData) {
  Fill(1000.0, 1040);
  sp->Y[1030] = 5000;  // corrected in the spectrum itself
  struct Case { int32_t first, last, n, ok; const char* status; };
  for (Case c : {Case{1000, 1007, 8, 0, "Error, lack of points (<9) for model"},
                 Case{500, 1524, 1025, 0, "Model interval too long, use compression to make < 1024"},
                 Case{-5, 10, 16, 0, "Wrong data for real model"}, Case{1000, 1089, 180, 1, ""},
                 Case{1000, 1090, 91, 1, ""}}) {
    StatusMessage = "", RealModelOptions.First = c.first, RealModelOptions.Last = c.last;
    model.MakeRealPeakModelData(*sp, n);
    EXPECT_EQ(n * 10 + DialogOk, c.n * 10 + c.ok);
    EXPECT_EQ(StatusMessage, c.status);
    for (int32_t k = 2; k <= 180 && n == 180; k += 2) EXPECT_NEAR(ScratchArray1[k], sp->Y[999 + k / 2] - 20, 0.01);
  }
  EXPECT_LT(sp->Y[1030], 1000.0);
  ui.ExpectQuestion("Low ststistics for the model 25\n\r Still proceed?", false);
  Fill(5.0), model.MakeRealModelFromData(*sp, 1000, 1120);
  EXPECT_EQ(DialogOk, 0);
  ui.ExpectQuestion("Bad data for peak model.\n\rStill proceed?", false);
  Fill(1000.0, 1120), RealModelOptions.BackgroundChannels = 0;  // the maximum at the end
  model.MakeRealModelFromData(*sp, 1000, 1120);
  EXPECT_EQ(StatusMessage, "Wrong data for real model");
  for (int32_t k = 1; k <= 50; ++k) ScratchArray2[k] = 0.001;
  model.FormRealModel(50);
  EXPECT_EQ(StatusMessage + std::to_string(DialogOk), "Error, zero-valued peak model0");
  Fill(1000.0);  // EdgeFlatness: flat ends, then a step two and one channel in
  for (auto [channel, expected] : {std::pair{0, 3}, {1118, 2}, {1001, 1}}) {
    sp->Y[channel] = 200, EdgeFlatness(*sp, 1000, n, 1120);
    EXPECT_EQ(n, expected);
  }
  // A step of exactly two combined errors, |dy| / (e + e' + 1) = 8 / 4, ends the flat edge; just
  // below two it does not.
  for (auto [step, channel, expected] : {std::tuple{8.0, 1001, 1}, {7.99, 1001, 3}, {8.0, 1002, 2},
                                         {-8.0, 1119, 1}, {7.99, 1119, 3}, {8.0, 1118, 2}}) {
    for (int32_t c = 1000; c <= 1120; ++c) sp->Y[c] = 100, sp->E[c] = 1.5;
    sp->Y[channel] += step, EdgeFlatness(*sp, 1000, n, 1120);
    EXPECT_EQ(n, expected) << step << " at " << channel;
  }
}
