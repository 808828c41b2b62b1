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
