// Auto-calibration against a numpy brute force and the time-of-flight law of a gemmi cubic cell.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
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

// Masks, line and criterion (mode 2: lstsq's masks, calc by p1..p3); then L, delay and the axis.
TEST_F(CalibrationTest, MatchesBruteForceAndTimeOfFlight) {
  const auto cases = FitoutRows("calib1"), best = FitoutRows("best1"), best2 = FitoutRows("best2");
  const TCalibrationBest& b = BestCalibration;
  for (size_t k = 0; k < cases.size(); ++k) {  // name L N refs peaks; m1 m2 a b x0 chi
    const std::vector<double> refs(cases[k].begin() + 3, cases[k].begin() + 3 + int32_t(cases[k][1])),
        peaks(cases[k].begin() + 3 + int32_t(cases[k][1]), cases[k].end());
    if (peaks.size() > refs.size()) {
      CalibrationMode = 2, Run(refs, peaks), CalibrationMode = 1;
      EXPECT_EQ(std::pair(b.references, b.peaks), std::pair(int64_t(best2[k][0]), int64_t(best2[k][1])));
      const double x = std::stod(InfoLines.lines[1].substr(0, 8)), q = 1.5 * x * x - 0.5;
      EXPECT_NEAR(std::stod(InfoLines.lines[1].substr(20, 12)), b.p[1] + b.p[2] * x + b.p[3] * q, 0.1);
    }
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
