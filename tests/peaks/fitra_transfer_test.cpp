// What the standard Fitra fit hands to the spectrum: its six background coefficients (the sixth,
// P5 of the working range's abscissa, included) and its width law, W0 and the width at u = 1,
// W0 + W1. The truth is scipy's optimum of the same model on the same counts
// (tools/gen_fitra_transfer_golden.py); the spectrum starts from other values throughout.
#include <cmath>
#include "fitra_setup.h"
#include "support/temp_path.h"

namespace {

TEST_F(FitraTest, StandardFitHandsItsWidthsAndSixBackgroundTermsToTheSpectrum) {
  golden = GoldenRows("fitra_transfer_golden.txt", "peaks");
  LoadRows("sp", 11, 290);
  TSpectrum& sp = Sp();
  sp.W0 = sp.W1 = 5, sp.BackgroundDegree = 5;
  for (double& b : sp.Background) b = 0;
  MainMode = ParameterArrayMode = FitraMode, UsedPeakModelCount = 1, MarkedPointCount = 3;
  const Values truth = Golden("true"), fitted = Golden("fit");
  for (int32_t i = 1; i <= 3; ++i)
    MarkedPoints[i] = std::round(truth.at("P" + std::to_string(i)).first), MarkedPointModels[i] = 1;
  TParameter& fit = *FitParameters;
  fit.NPar = BuildPeakArray(sp), fit.NPoints = sp.WorkLast - sp.WorkFirst + 1;
  const auto record = [](const std::string& name) {
    const int32_t k = name.back() - '0';
    if (name[0] == 'b') return k + 1;
    if (name[0] == 'A') return AmplitudeRecord(3, k);
    if (name[0] == 'P') return PositionRecord(3, k);
    return k == 0 ? WidthW0Record(3, 1) : WidthW1Record(3, 1);
  };
  for (const auto& [name, v] : truth) {
    ASSERT_LT(parar[record(name)].lower, parar[record(name)].upper) << name << " free";
    parar[record(name)].value = v.first;
  }
  for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i] = parar[i];
  ParametersPending[FitraMode] = 0;
  ConvergenceControls();
  DefaultFitControls = fit.Controls();
  DialogOk = 1;
  ui.ExpectDialog("Peak Fit").Ok();
  MakePeakFitting();
  ASSERT_EQ(FitPending[FitraMode], 0);
  // The engine's optimum and scipy's agree to a small part of a standard deviation (the tabulated
  // Gauss differs from the analytic one by about 1e-5 of its height).
  const auto near = [&](double value, const char* name) {
    const auto [v, sigma] = fitted.at(name);
    EXPECT_NEAR(value, v, 0.05 * sigma) << name;
  };
  for (int32_t k = 0; k < 6; ++k) near(sp.Background[k + 1], ("b" + std::to_string(k)).c_str());
  near(sp.W0, "W0");
  const auto [w0, s0] = fitted.at("W0");
  const auto [w1, s1] = fitted.at("W1");
  EXPECT_NEAR(sp.W1, w0 + w1, 0.05 * (s0 + s1));
}

// The counts come from numpy's seeded generator unchanged; another scipy may end its optimum a
// few digits away: a thousandth of each fitted value's standard deviation.
TEST_F(FitraTest, TransferGoldenIsWhatTheGeneratorWritesNow) {
  VKEST_REQUIRE_PYTHON("numpy, scipy");
  const auto out = TestTempPath("fitra_transfer_golden.txt");
  ASSERT_EQ(RunTool("gen_fitra_transfer_golden.py", out.string()), 0);
  const auto mismatches =
      TokenMismatches(TokenRows(out), GoldenRows("fitra_transfer_golden.txt", "peaks"), [](const Tokens& row, size_t c) {
        return row[0] == "fit" && c >= 2 ? 1e-3 * std::stod(row[3]) : NAN;
      });
  std::filesystem::remove(out);
  EXPECT_TRUE(mismatches.empty()) << JoinLines(mismatches);
}

}  // namespace
