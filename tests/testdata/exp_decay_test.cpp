// The exponential-decay test fit against scipy's curve_fit and a numpy replay of its damped steps.
#include <gtest/gtest.h>
#include "core/abandon.h"
#include "core/fit_engine.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "testdata/exp_decay_test.h"

namespace {

class ExpDecayTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    for (const Tokens& r : GoldenRows("expdecay_golden.txt", "testdata")) rows[r[0]] = r;
    for (size_t i = 1; i < rows["counts"].size(); ++i) SpectrumList[1]->Y[197 + i] = At("counts", i);
  }
  double At(const std::string& key, size_t i) { return std::stod(rows.at(key).at(i)); }
  std::map<std::string, Tokens> rows;
  FreshSpectra spectra_;
};

TEST_F(ExpDecayTest, ConvergedModelGivesCurveFitsOptimumAndErrors) {
  TParameter fit(2, ExpDecayPoints, 2);
  fit.SetFitDefaults(), fit.ResetParameterRecords();
  fit.Records[1].value = 25000, fit.Records[2].value = 200;
  fit.GNIter = 200, fit.Step = 1, fit.EpsReq = 1e-12;
  fit.Fit([&fit](double& Y, double& W, double& F, int32_t p, int32_t s) { ExpDecayTestModel(fit, Y, W, F, p, s); },
          NoProgress);
  EXPECT_EQ(ExpDecayPoints - fit.ZeroWeightCount, At("kept", 1));
  for (int i = 1; i <= 2; ++i) {
    EXPECT_NEAR(fit.Records[i].value, At("curve_fit", i), 1e-6 * At("curve_fit", i));
    // The final pass damps the diagonal by 1e-5: the errors agree to that order.
    EXPECT_NEAR(fit.Records[i].Error, At("curve_fit", i + 2), 1e-4 * At("curve_fit", i + 2));
  }
}

TEST_F(ExpDecayTest, DampedStepsEndWhereTheReplayEndsAndFillSpectraTwoAndThree) {
  RunExpDecayTestFit();
  for (int32_t c = 199; c <= 750; ++c) {
    const double half = At("replay", 1) * std::exp(-(c - 198) / At("replay", 2)) / 2;
    ASSERT_NEAR(SpectrumList[2]->Y[c], half, 1e-6 * half) << c;
    ASSERT_DOUBLE_EQ(SpectrumList[3]->Y[c], SpectrumList[1]->Y[c] - half) << c;
  }
  const std::string log = JoinLines(LogLines());
  size_t iterations = 0;
  for (size_t p = log.find("Iter.= "); p != std::string::npos; p = log.find("Iter.= ", p + 1)) ++iterations;
  EXPECT_EQ(iterations, At("replay", 3) + 1);  // each iteration and the final pass
  EXPECT_NE(log.find("Correlation matrix"), std::string::npos);
}

TEST_F(ExpDecayTest, FlatSpectrumStopsBeforeWritingTheOutputSpectra) {
  for (int32_t c = 1; c <= 1000; ++c) SpectrumList[1]->Y[c] = 50, SpectrumList[2]->Y[c] = 7;
  ui.ExpectMessage("All errors=0.Fit stopped");
  EXPECT_THROW(RunExpDecayTestFit(), OperationAbandoned);
  EXPECT_EQ(SpectrumList[2]->Y[300], 7.0);
  EXPECT_EQ(SpectrumList[3]->Y[300], 0.0);
}

}  // namespace
