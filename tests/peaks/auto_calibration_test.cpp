// Auto-calibration against a numpy brute force and the time-of-flight law of a gemmi cubic cell.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <set>
#include <tuple>
#include "fitout_setup.h"

class CalibrationTest : public FitoutTest {
protected:
  // Fitted peaks at p (position errors e, amplitude 1000, width 5) against the references.
  void Run(const std::vector<double>& refs, const std::vector<double>& p, std::vector<double> e = {}) {
    Layout(std::vector<double>(p.size(), 1000), p, {5});
    for (size_t i = 0; i < p.size(); ++i) R(7 + int32_t(p.size() + i)).Error = e.empty() ? 0.1 : e[i];
    std::copy(refs.begin(), refs.end(), CalibrationPoints + 1);
    AutoCalibration(MarkedPointCount, CalibrationPointLimit = static_cast<int32_t>(refs.size()));
  }
  bool AxisUntouched() {  // and the channel numbers put back
    bool same = true;
    for (int32_t c = 1; c <= 4000; ++c) same = same && Sp().X[c] == c, Sp().X[c] = c;
    return same;
  }
  const std::vector<double> gamma = {4438, 5617, 6129, 7117};
};

// Masks, line and criterion; mode 2 against numpy's re-run of the run's damped steps (and lstsq's
// masks where they are unique), calc by p1..p3; then L, delay and the axis; with 0.1-channel noise
// the true gain and zero shift within 3 errors.
TEST_F(CalibrationTest, MatchesBruteForceAndTimeOfFlight) {
  const auto cases = FitoutRows("calib1"), best = FitoutRows("best1"), best2 = FitoutRows("best2");
  const auto run2 = FitoutRows("run2");  // m1 m2 p1 p2 p3 crit
  const TCalibrationBest& b = BestCalibration;
  for (size_t k = 0; k < cases.size(); ++k) {  // name L N refs peaks; m1 m2 a b x0 chi
    const std::vector<double> refs(cases[k].begin() + 3, cases[k].begin() + 3 + int32_t(cases[k][1])),
        peaks(cases[k].begin() + 3 + int32_t(cases[k][1]), cases[k].end());
    CalibrationMode = 2, Run(refs, peaks), CalibrationMode = 1;
    EXPECT_EQ(std::pair(b.references, b.peaks), std::pair(int64_t(run2[k][0]), int64_t(run2[k][1]))) << k;
    // Three points fit every assignment exactly: lstsq's first mask is no oracle then.
    if (peaks.size() > refs.size()) {
      EXPECT_EQ(std::pair(b.references, b.peaks), std::pair(int64_t(best2[k][0]), int64_t(best2[k][1])));
    }
    // The same arithmetic in another order: rounding only, carried over 15 chained trials.
    for (int32_t i = 1; i <= 3; ++i) EXPECT_NEAR(b.p[i], run2[k][1 + i], 1e-8 * std::fabs(run2[k][1 + i])) << k << i;
    EXPECT_NEAR(BestCalibrationCriterion, run2[k][5], 1e-8 * run2[k][5]) << k;
    const double xi = std::stod(InfoLines.lines[1].substr(0, 8)), q = 1.5 * xi * xi - 0.5;
    EXPECT_NEAR(std::stod(InfoLines.lines[1].substr(20, 12)), b.p[1] + b.p[2] * xi + b.p[3] * q, 0.1);  // x in 8:2
    Run(refs, peaks);
    EXPECT_EQ(std::pair(b.references, b.peaks), std::pair(int64_t(best[k][0]), int64_t(best[k][1]))) << k;
    for (const auto& [x, y] : {std::pair{b.a, best[k][2]}, {b.b, best[k][3]}, {b.x0, best[k][4]}})
      EXPECT_NEAR(x, y, 1e-9 * y);
    EXPECT_NEAR(BestCalibrationCriterion, best[k][5], 1e-6 * best[k][5] + 1e-12);
  }
  const std::vector<double> phys = FitoutRows("phys")[0];  // a L theta chw delay
  Run(FitoutRows("physref")[0], FitoutRows("physpeak")[0]);
  EXPECT_NEAR(phys[3] / (TofConstant * b.a * std::sin(phys[2] * std::numbers::pi / 180)), phys[1], 1e-6 * phys[1]);
  EXPECT_NEAR(b.b / b.a - b.x0, phys[4], 1e-6 * phys[4]);
  for (int32_t c = 1; c <= 4000; ++c) ASSERT_NEAR(Sp().X[c], b.a * (c - b.x0) + b.b, 1e-9) << c;
  // Noisy positions: y = gain c + zero. The errors follow from sigma_c = 0.1 through the line: sigma_y
  // = gain sigma_c, sigma_gain = sigma_y / sqrt(S_xx), sigma_zero^2 = sigma_y^2 / K + x0^2 sigma_gain^2.
  const double tofGain = phys[3] / (TofConstant * phys[1] * std::sin(phys[2] * std::numbers::pi / 180));
  const std::vector<double> gammaPeaks(cases[0].begin() + 7, cases[0].end());
  for (const auto& [refs, noisy, gain, zero] : {std::tuple{FitoutRows("physref")[0], FitoutRows("physnoisy")[0],
                                                           tofGain, tofGain * phys[4]},
                                                {gamma, gammaPeaks, 2.5, -30.0}}) {
    Run(refs, noisy);
    int64_t real = 0;  // the peaks that are not the generator's spurious ones
    for (size_t i = 0; i < noisy.size(); ++i)
      if (std::set<double>{1210.37, 1500.2, 2500.9, 2620.81}.count(noisy[i]) == 0) real |= int64_t{1} << i;
    EXPECT_EQ(b.peaks, real) << gain;
    double sxx = 0;
    for (int32_t i = 1; i <= CalibrationTrial.count; ++i) sxx += std::pow(CalibrationTrial.x[i] - b.x0, 2);
    const double sy = gain * 0.1, sgain = sy / std::sqrt(sxx), szero = std::hypot(sy / 2, b.x0 * sgain);
    EXPECT_LT(std::fabs(b.a - gain), 3 * sgain) << gain;
    EXPECT_LT(std::fabs(b.b - b.a * b.x0 - zero), 3 * szero) << gain;
  }
  AxisUntouched();
}

// Under the evolution driver 300 and 301.5 merge, the 3 largest errors go, then the inner 11.
TEST_F(CalibrationTest, CleaningUnderTheDriver) {
  TrevoAutoRun = 1;
  std::vector<double> p(16), e(16, 0.5), kept;
  for (size_t i = 0; i < 16; ++i) p[i] = 100.0 * (i + 1);
  p[3] = 301.5, e[6] = 40, e[8] = 30, e[10] = 20, e[12] = 11, e[15] = 12;
  Run(gamma, p, e);
  const std::vector<std::string> log = LogLines();
  for (size_t k = 1; k <= 11; ++k) kept.push_back(std::stod(log[k].substr(0, 9)));
  EXPECT_EQ(kept, (std::vector<double>{100, 200, 300.75, 500, 600, 800, 1000, 1200, 1400, 1500, 1600}));
  EXPECT_EQ(log[3], "   300.75     0.35     1000        0      5.0  1666.67");  // R = A w / 3, no background
}

// The cell only from a name in range; refusals leave the axis; crossed peaks; C(16, 8) trials.
TEST_F(CalibrationTest, GuardsLeaveTheAxisAlone) {
  for (const auto& [name, cell] : {std::pair{"12_7.dat", &CalibrationResults[12][7]}, {"", nullptr}, {"9", nullptr}}) {
    for (auto& r : CalibrationResults) std::fill(std::begin(r), std::end(r), 0.0);
    CalibrationSpectrumName = name, Run(gamma, {1787.2, 2258.8, 2463.6, 2858.8});
    const double sum = std::accumulate(&CalibrationResults[0][0], &CalibrationResults[64][31], 0.0);
    EXPECT_NEAR(sum + (cell ? *cell : 0), cell ? 2 * 5000 / 3.0 : 0, 1e-9) << name;
  }
  AxisUntouched();
  std::vector<double> many(17);
  for (size_t i = 0; i < many.size(); ++i) many[i] = 100.0 * i + 7 * (i % 3);
  for (const auto& [mode, peaks] : std::vector<std::pair<int32_t, std::vector<double>>>{
           {1, {1787.2}}, {2, {1787, 2463}}, {1, many}, {1, {1787, 1787}}}) {  // last: no line
    CalibrationMode = mode, ui.ExpectMessage(peaks.size() == 17 ? "17-too large number of items. Job stopped"
                                                                 : "Too few peaks for calibration");
    Run(gamma, peaks);
    EXPECT_TRUE(AxisUntouched()) << peaks.size();
  }
  CalibrationMode = 1, Run({4438, 5617}, {1800, 1200});
  EXPECT_EQ(std::pair(Sp().X[1800], Sp().X[1200]), std::pair(4438.0, 5617.0));
  CalibrationMode = 2, Run({3000, 3500, 4000, 4500, 5000, 5500, 6000, 6500}, {many.begin(), many.end() - 1});
  EXPECT_LT(BestCalibrationCriterion, 1e17);
}

// Through the menu after a peak fit: the results shown with "Save", saved again after the question,
// and the calibration on four clean peaks at the gamma lines of E = 2.5 c - 30 gives that axis.
TEST_F(CalibrationTest, MenuShowsSavesAndCalibratesAfterAFit) {
  TSpectrum& sp = Sp();
  const double centres[] = {1787.2, 2258.8, 2463.6, 2858.8};
  for (int32_t c = 1; c <= 4000; ++c) {
    sp.Y[c] = 50;
    for (double p : centres) sp.Y[c] += 2000 * std::exp(-4 * std::numbers::ln2 * std::pow((c - p) / 6, 2));
    sp.E[c] = std::sqrt(sp.Y[c]);
  }
  sp.WorkFirst = 1500, sp.WorkLast = 3100, sp.W0 = sp.W1 = 6, sp.BackgroundDegree = 0;
  MainMode = ParameterArrayMode = FitraMode, UsedPeakModelCount = 1, MarkedPointCount = 4;
  for (int32_t i = 1; i <= 4; ++i) MarkedPoints[i] = std::round(centres[i - 1]), MarkedPointModels[i] = 1;
  std::copy(gamma.begin(), gamma.end(), CalibrationPoints + 1), CalibrationPointCount = 4;
  FitParameters->NPar = BuildPeakArray(sp), FitParameters->NPoints = 1601;
  std::copy(parar + 1, parar + FitParameters->NPar + 1, FitParameters->Records.begin() + 1);
  ParametersPending[FitraMode] = 0;
  ConvergenceControls();
  DefaultFitControls = FitParameters->Controls();
  const auto menu = [&](int32_t item) { return ui.ExpectDialog("PEAK / EXPONENTIAL  FITTING").Radio(item).Ok(); };
  menu(5), ui.ExpectDialog("Check the Fit Controls").Ok(), ui.ExpectDialog("Peak Fit").Ok();
  menu(6), ui.ExpectDialog("Output of fitting results").Save().Ok();
  menu(7), ui.ExpectQuestion("Results already saved Still save?", true);
  menu(13);
  ui.ExpectDialog("PEAK / EXPONENTIAL  FITTING").Cancel();
  FitraMenu();
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto& l) { return !l.find(" Pos.1 mod1 =   1787.20 +-"); }), 2);
  EXPECT_EQ(ResultsUnsaved[FitraMode], 0);
  for (int32_t c = 1500; c <= 3100; ++c) ASSERT_NEAR(sp.X[c], 2.5 * c - 30, 0.01) << c;
}
