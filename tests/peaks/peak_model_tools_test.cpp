// The peak-model tools: their computations against numpy, and the dialogs end to end through
// the scripted backend.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include "core/model_tables.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/toolbox.h"
#include "peaks/peak_model_tools.h"
#include "peaks/peaks_setup.h"

namespace {
std::vector<double> Row(const std::string& key) {
  for (const Tokens& row : GoldenRows("model_tools.txt", "peaks"))
    if (row[0] == key) return Numbers(row);
  return {};
}

std::vector<double> Profile(const TPseudoVoigt& v) {
  std::vector<double> f(PeakModelPoints + 1);
  PseudoVoigtProfile(v, f.data(), nullptr, nullptr);
  return f;
}

// The fields CopyPeakModel copies, for a field-by-field comparison.
auto Fields(const TPeakModel& m) {
  return std::make_tuple(std::vector<double>(m.Shape, m.Shape + PeakModelPoints + 2), m.HalfPoints, m.HalfWidth,
                         m.Area, m.FullWidth, m.Centroid, m.SingleSigned, m.ModelNumber, m.Negate);
}
}  // namespace

class PeakModelToolsTest : public PeaksTest {
protected:
  void SetUp() override {
    PeaksTest::SetUp();
    PseudoVoigtParameters = TPseudoVoigtParameters{};
    PseudoVoigtMetric = 0;
    SmoothingParameter = 1.0;
  }
  // Spectrum 1 with one clean peak at channel 500 (full width 10) on a level of 50.
  void OnePeak() {
    std::vector<double> counts(1000);
    for (size_t i = 0; i < counts.size(); ++i) {
      const double c = i + 1.0;
      counts[i] = std::round(50.0 + 2000.0 * std::exp(-4.0 * std::log(2.0) * std::pow((c - 500.0) / 10.0, 2)));
    }
    Load(counts);
  }

private:
  KeepValues<TPseudoVoigtParameters> pv_{&PseudoVoigtParameters, 1};
  KeepValues<TRandomSeeds> seeds_{&RandomSeeds, 1};
  KeepValues<int32_t> bounds_{&PeakModelBoundFirst, 1}, boundsLast_{&PeakModelBoundLast, 1};
  KeepValues<uint8_t> fitPending_{FitPending, ModeCount};
};

TEST_F(PeakModelToolsTest, PseudoVoigtProfileAndMetricAgainstNumpy) {
  int32_t sets = 0;
  for (const Tokens& row : GoldenRows("model_tools.txt", "peaks")) {
    if (row[0] != "pv") continue;
    const std::vector<double> v = Numbers(row);
    const std::vector<double> f = Profile({v[0], v[1], v[2], v[3], v[4], v[5], v[6]});
    for (int32_t i = 1; i <= PeakModelPoints; ++i) EXPECT_NEAR(f[i], v[6 + i], 1e-12 * (1.0 + v[6 + i])) << i;
    ++sets;
  }
  EXPECT_EQ(sets, 6);
  const std::vector<double> first = Numbers(GoldenRows("model_tools.txt", "peaks")[0]);
  std::vector<double> data = Row("data");
  data.insert(data.begin(), 0.0);
  const double metric2 = Row("metric2")[0];
  EXPECT_NEAR(ComponentCriterion(first.data() + 6, data.data(), 2), metric2, 1e-12 * metric2);
}

TEST_F(PeakModelToolsTest, RandomFitImprovesAndRepeatsWithTheSeed) {
  // Data from a Pseudo-Voigt inside the random ranges; the user's values are the defaults.
  const std::vector<double> data = Profile({300.0, 400.0, 20.0, 10.0, 97.0, 97.0, 0.2});
  PseudoVoigtMetric = 2;
  const double start = ComponentCriterion(Profile(PseudoVoigtParameters.values).data(), data.data(), 2);
  SetRandomSeeds(11, 29);
  FitComponentsRandom(data.data());
  const TPseudoVoigt first = PseudoVoigtParameters.values;
  EXPECT_LT(PseudoVoigtParameters.bestCriterion, 0.2 * start);
  EXPECT_DOUBLE_EQ(ComponentCriterion(Profile(first).data(), data.data(), 2), PseudoVoigtParameters.bestCriterion);
  // Data the user's values already fit exactly: the fit keeps them.
  PseudoVoigtParameters = TPseudoVoigtParameters{};
  const std::vector<double> exact = Profile(PseudoVoigtParameters.values);
  FitComponentsRandom(exact.data());
  EXPECT_EQ(PseudoVoigtParameters.bestCriterion, 0.0);
  EXPECT_EQ(PseudoVoigtParameters.values.WG, 24.0);
  // Reseeded, the same draws give the same best values.
  PseudoVoigtParameters = TPseudoVoigtParameters{};
  SetRandomSeeds(11, 29);
  FitComponentsRandom(data.data());
  EXPECT_EQ(Profile(first), Profile(PseudoVoigtParameters.values));
}

TEST_F(PeakModelToolsTest, TransformArithmeticAgainstNumpy) {
  // The end line: numpy.polyfit through points 1, 2, 3, n-2, n-1, n.
  const std::vector<double> e = Row("endline");
  const int32_t n = static_cast<int32_t>(e[0]);
  std::vector<double> curve(e.begin(), e.begin() + n + 1);
  const double slope = e[n + 1], intercept = e[n + 2];
  RemoveEndLine(curve.data(), n, false);
  for (int32_t i = 1; i <= n; ++i) EXPECT_NEAR(curve[i], e[i] - (slope * i + intercept), 1e-9) << i;

  // The shift of the fitted curve: numpy's argmax of the data less that of the fit.
  const std::vector<double> s = Row("shift");
  const int32_t m = static_cast<int32_t>(s[0]);
  std::vector<double> counts(s.begin(), s.begin() + m + 1), fitted(s.begin() + m, s.begin() + 2 * m + 1);
  const int32_t shift = static_cast<int32_t>(s[2 * m + 1]);
  int32_t dataPeak = 0, fitPeak = 0;
  TransformMix(counts.data(), fitted.data(), m, dataPeak, fitPeak);
  EXPECT_EQ(dataPeak - fitPeak, shift);
  for (int32_t i = 1; i <= m; ++i)  // the points shifted in take the nearest fitted value
    EXPECT_DOUBLE_EQ(ScratchArray1[i], 0.5 * counts[i] + 0.25 * fitted[std::clamp(i - shift, 1, m)]) << i;
}

TEST_F(PeakModelToolsTest, BackgroundModelPassesThroughTheMarkedCounts) {
  std::vector<double> counts(200);
  for (size_t i = 0; i < counts.size(); ++i) counts[i] = 100.0 + 0.02 * std::pow(i - 60.0, 2) + 7.0 * std::sin(0.3 * i);
  TSpectrum& sp = Load(counts);
  const double points[] = {50, 20, 80, 50.2, 35};
  std::copy(std::begin(points), std::end(points), MarkedPoints + 1);
  MarkedPointCount = 5;
  int32_t n = 0;
  EXPECT_EQ(BackgroundModelData(sp, n), "");
  EXPECT_EQ(n, 61);
  for (int32_t c : {20, 35, 50, 80}) EXPECT_DOUBLE_EQ(ScratchArray1[c - 19], sp.Y[c]) << c;
  // Refused: one distinct point, no point, a span beyond the scratch arrays.
  MarkedPoints[1] = MarkedPoints[2] = 40.0, MarkedPointCount = 2;
  EXPECT_NE(BackgroundModelData(sp, n), "");
  MarkedPointCount = 0;
  EXPECT_EQ(BackgroundModelData(sp, n), "Error, no clicked points");
  MarkedPoints[1] = 10.0, MarkedPoints[2] = 20000.0, MarkedPointCount = 2;
  EXPECT_NE(BackgroundModelData(sp, n), "");
  EXPECT_EQ(n, 0);
}

TEST_F(PeakModelToolsTest, SmoothingStepsFollowTheValueAndTheCurve) {
  const int32_t n = 120;
  for (int32_t i = 1; i <= n; ++i)
    ScratchArray1[i] = 1000.0 * std::exp(-std::pow((i - 60.0) / 12.0, 2)) + 40.0 * std::sin(1.7 * i);
  auto smoothed = [&](double s) {
    SmoothModelData(n, s);
    double misfit = 0.0, roughness = 0.0;
    for (int32_t i = 1; i <= n; ++i) misfit += std::pow(ScratchArray2[i] - ScratchArray1[i], 2);
    for (int32_t i = 2; i < n; ++i) roughness += std::pow(ScratchArray2[i - 1] - 2 * ScratchArray2[i] + ScratchArray2[i + 1], 2);
    return std::make_pair(misfit, roughness);
  };
  const auto base = smoothed(1.0);
  EXPECT_LT(smoothed(2.25).first, base.first);         // two " Less smoothing": closer to the data
  EXPECT_LT(smoothed(1.0 / 1.5).second, base.second);  // one " More smoothing": smoother

  DialogCaption = "Smoothing";
  ui.ExpectDialog("Smoothing").Radio(1).Ok();
  ui.ExpectDialog("Smoothing").Radio(1).Ok();
  ui.ExpectDialog("Smoothing").Radio(3).Ok();
  SmoothModelDialog(n);
  EXPECT_EQ(std::make_pair(DialogOk, RealModelOptions.Smoother), std::make_pair(1, 2.25));
  ui.ExpectDialog("Smoothing").Radio(2).Ok();
  ui.ExpectDialog("Smoothing").Cancel();
  SmoothModelDialog(n);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_NEAR(RealModelOptions.Smoother, 0.6667, 5e-5);
}

TEST_F(PeakModelToolsTest, RealPeakModelFromOnePeakAndWrongBounds) {
  OnePeak();
  PeakModelBoundFirst = 470, PeakModelBoundLast = 530;
  ui.ExpectDialog("Forming the real peak model").Radio(3).Ok();
  ui.ExpectDialog("Enter the data for peak model").Ok();
  ui.ExpectDialog("Enter the data for peak model").Radio(1).Ok();
  ui.ExpectDialog("Enter the data for peak model").Radio(1).Ok();
  ui.ExpectDialog("Enter the data for peak model").Radio(3).Ok();
  FormRealPeakModel(0);
  EXPECT_EQ(std::make_pair(ToolModel(2).ModelNumber, SelectedPeakModel), std::make_pair(ModelReal, 2));
  EXPECT_DOUBLE_EQ(RealModelOptions.Smoother, 2.25);

  // First >= last: a message, and neither the model nor its flags nor the description change.
  const auto before = Fields(ToolModel(2));
  const TRealModelOptions options = RealModelOptions;
  ui.ExpectDialog("Forming the real peak model").Radio(3).Ok();
  ui.ExpectDialog("Enter the data for peak model").Field(1, 1, "530").Field(2, 1, "470").Ok();
  FormRealPeakModel(1);
  EXPECT_EQ(StatusMessage, "Wrong bounds 530,470");
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(Fields(ToolModel(2)), before);
  EXPECT_EQ(RealModelOptions.First, options.First);
  // A cancel in the smoothing leaves the model as well.
  ui.ExpectDialog("Forming the real peak model").Radio(3).Ok();
  ui.ExpectDialog("Enter the data for peak model").Ok();
  ui.ExpectDialog("Enter the data for peak model").Cancel();
  FormRealPeakModel(1);
  EXPECT_EQ(Fields(ToolModel(2)), before);
}

TEST_F(PeakModelToolsTest, SpecialModelsAndTheComponentEditor) {
  OnePeak();
  ui.ExpectDialog("Select special model type and number").Radio(4).Radio2(3).CheckBox(true).Field(1, 1, "3").Ok();
  ui.ExpectQuestion("Repeat the model forming?", false);
  FormSpecialModel();
  TPeakModel voigt;
  voigt.ModelNumber = ModelVoigt;
  voigt.TabulatePeakModel();  // with r = 3
  voigt.Negate = 1;
  EXPECT_EQ(Fields(ToolModel(2)), Fields(voigt));

  // r = 0 is refused for Voigt; the model stays.
  ui.ExpectDialog("Select special model type and number").Radio(4).Radio2(3).Field(1, 1, "0").Ok();
  ui.ExpectMessage("r must be positive");
  FormSpecialModel();
  EXPECT_EQ(Fields(ToolModel(2)), Fields(voigt));

  // The Pseudo-Voigt editor refuses a zero width, keeps the old values, and "Exit" forms the
  // model from them.
  ui.ExpectDialog("Select special model type and number").Radio(8).Radio2(4).CheckBox(false).Ok();
  ui.ExpectDialog("Pseudo-Voigt").Field(2, 1, "0").Ok();
  ui.ExpectMessage("Widths WG, WL must be positive");
  ui.ExpectDialog("Pseudo-Voigt").Radio(3).Ok();
  FormSpecialModel();
  EXPECT_EQ(PseudoVoigtParameters.values.WG, 24.0);
  EXPECT_EQ(std::make_pair(ToolModel(3).ModelNumber, ToolModel(3).Negate), std::make_pair(ModelPseudoVoigt, 0));
  const std::vector<double> f = Profile(PseudoVoigtParameters.values);  // centred at 97 already
  EXPECT_NEAR(ToolModel(3).Shape[110] / ToolModel(3).Shape[97], f[110] / f[97], 1e-12);
}

TEST_F(PeakModelToolsTest, MovingAndShowingTheModels) {
  SpecialModelRatio = 3.0;
  ToolModel(1).ModelNumber = ModelVoigt;
  ToolModel(1).TabulatePeakModel();
  ToolModel(1).Negate = 1;
  ToolModel(0).ModelNumber = ModelLorentz;
  ToolModel(0).TabulatePeakModel();
  int32_t from = -1, to = -1;
  ui.ExpectDialog("Peak Model Moving").Radio(2).Radio2(5).Ok();
  MovePeakModels(from, to);
  EXPECT_EQ(std::make_pair(from, to), std::make_pair(1, 4));
  ui.ExpectDialog("Peak Model Moving").CheckBox(true).Ok();
  MovePeakModels(from, to);
  EXPECT_EQ(to, 777);
  for (int32_t k = 2; k <= 6; ++k) EXPECT_EQ(Fields(ToolModel(k)), Fields(ToolModel(1))) << k;
  EXPECT_NE(Fields(ToolModel(0)), Fields(ToolModel(1)));

  for (int32_t k = 1; k <= 6; ++k) ui.ExpectDialog("Model " + std::to_string(k) + " = Voigt  R=3.00000").Ok();
  ui.ExpectDialog("Model 7 = Lorentz").Ok();
  GraphPeakModel();
  // " Smooth the model " makes model 1 a real model of the same width.
  const double width = ToolModel(1).FullWidth;
  ui.ExpectDialog("Model 1 = Voigt").CheckBox(true).Ok();
  ui.ExpectDialog("Model 1 = Voigt").Radio(3).Ok();
  ui.ExpectDialog("Model 2 = Voigt").Cancel();
  GraphPeakModel();
  EXPECT_EQ(ToolModel(1).ModelNumber, ModelReal);
  EXPECT_NEAR(ToolModel(1).FullWidth, width, 0.05 * width);

  // The correction by a fitted peak needs one Fitra fit of one peak.
  FitPending[3] = 1;
  ui.ExpectMessage("No FITRA fitted peak for model correction");
  TransformPeakModel();
  FitPending[3] = 0, MarkedPointCount = 2;
  ui.ExpectMessage("Only 1 peak should be fitted");
  TransformPeakModel();
}
