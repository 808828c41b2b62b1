// The modulus (robust) fit with errors other than 1: it minimises sum |y - F| / sigma, so each
// point weighs by 1 / sigma, not by 1 / sigma^2 as in least squares nor equally. The truth is
// scipy's linear program for the same sum (tools/gen_modulus_fit_golden.py), whose data make the
// other two weightings land elsewhere.
#include <gtest/gtest.h>
#include "fit_test_models.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

const FitGoldenData& ModulusGolden() {
  static const FitGoldenData g =
      ParseFitGolden(std::ifstream(std::string(VKEST_SOURCE_DIR) + "/tests/core/data/modulus_fit_golden.txt"));
  return g;
}

TEST(ModulusFit, WeighsEachPointByItsInverseError) {
  for (const char* name : {"median", "line"}) {
    SCOPED_TRACE(name);
    const auto& g = ModulusGolden().at(name);
    const std::vector<double>& truth = g.at("params");
    const int32_t n = static_cast<int32_t>(truth.size());
    FitRun r({g.at("x"), g.at("y"), g.at("sigma"), Polynomial}, n);
    r.fit.FittingKind = 1, r.fit.GNIter = 300;
    r.Run();
    // The reweighted iterations close in on the optimal vertex; its two residuals of 0 are held
    // at 1e-6 by the weight's floor.
    for (int32_t i = 1; i <= n; ++i) EXPECT_NEAR(r.Value(i), truth[i - 1], 1e-4) << i;
    EXPECT_NEAR(r.Rss(), g.at("s")[0], 1e-4 * g.at("s")[0]);
  }
}

// With an accuracy limit (the engine's 0.5, the session's 0.1), damped or not, and with errors 100
// times as large (the same optimum, residuals below their errors): the reweighted steps shrink
// slowly, and a fit called settled lies within EpsReq / 5 standard deviations of the optimum
// (twice the least-squares promise: the rate of the reweighting is estimated from its steps).
// Judged by a step's length alone, the line stopped after 4 steps, 0.97 standard deviations off.
// The limit ends the fit well before the rounding level (the larger errors: within 30 iterations,
// where the series to rounding takes 36 to 185).
TEST(ModulusFit, SettlesAtTheOptimumWithAnAccuracyLimit) {
  struct Case { double sigmaScale, epsReq, damp; int32_t maxIterations; };
  for (const char* name : {"median", "line"})
    for (const Case& c : {Case{1, 0.5, 1e-5, 200}, Case{1, 0.5, 0.01, 200}, Case{1, 0.1, 1e-5, 200},
                          Case{1, 0.1, 0.01, 200}, Case{100, 0.5, 1e-5, 30}, Case{100, 0.5, 0.01, 30}}) {
      SCOPED_TRACE(testing::Message() << name << " sigma x " << c.sigmaScale << " EpsReq " << c.epsReq << " damp " << c.damp);
      const auto& g = ModulusGolden().at(name);
      const std::vector<double>& truth = g.at("params");
      const int32_t n = static_cast<int32_t>(truth.size());
      std::vector<double> sigma = g.at("sigma");
      for (double& s : sigma) s *= c.sigmaScale;
      FitRun r({g.at("x"), g.at("y"), sigma, Polynomial}, n);
      r.fit.FittingKind = 1, r.fit.GNIter = 500, r.fit.EpsReq = c.epsReq, r.fit.Damp = c.damp, r.fit.Step = 0.99;
      r.Run();
      EXPECT_TRUE(r.fit.Settled && r.fit.Conv == 1);
      EXPECT_LE(r.fit.Iterations, c.maxIterations);
      for (int32_t i = 1; i <= n; ++i) EXPECT_LE(std::fabs(r.Value(i) - truth[i - 1]), c.epsReq / 5 * r.Error(i)) << i;
    }
}

// Another HiGHS reaches the same vertex within its feasibility tolerance.
TEST(ModulusFit, GoldenFileIsWhatTheGeneratorWritesNow) {
  VKEST_REQUIRE_PYTHON("numpy, scipy");
  const auto out = TestTempPath("modulus_fit_golden.txt");
  ASSERT_EQ(RunTool("gen_modulus_fit_golden.py", out.string()), 0);
  const auto mismatches = TokenMismatches(TokenRows(out), GoldenRows("modulus_fit_golden.txt"), [](const Tokens& row, size_t c) {
    double x = 0;
    return TokenNumber(row[c], x) ? 1e-9 * std::max(1.0, std::fabs(x)) : NAN;
  });
  std::filesystem::remove(out);
  EXPECT_TRUE(mismatches.empty()) << JoinLines(mismatches);
}

}  // namespace
