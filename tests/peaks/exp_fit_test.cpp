// The convoluted-exponential fit against scipy least_squares on channels 101..450, and its dialogs.
#include <gtest/gtest.h>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "fitout_setup.h"
#include "peaks/exp_fit.h"

class ExpFitTest : public FitoutTest {
protected:
  // The counts k channels on, E = sqrt(max(y, 1)); B 10 and sigma 15 fixed, A, tau, t0 free.
  void Place(int32_t k) {
    for (const auto& v : counts) Sp().Y[int32_t(v[0]) + k] = v[1], Sp().E[int32_t(v[0]) + k] = std::sqrt(v[1] + !v[1]);
    Sp().WorkFirst = int32_t(counts.front()[0]) + k, Sp().WorkLast = int32_t(counts.back()[0]) + k;
    const double r[5][3] = {{10, 10, 10}, {1.5e5 * std::exp(k / 100.0), 1e3, 1e15}, {90, 10, 1e3}, {15, 15, 15},
                            {150.7 + k, 140.0 + k, 160.0 + k}};
    for (int32_t i = 1; i <= 5; ++i) parar[i] = {i, r[i - 1][1], r[i - 1][0], r[i - 1][2], 1, 0, 0, 0, {}};
    ExpFitMode = 1, FitParameters->GNIter = 100, FitParameters->Step = 1, FitParameters->Damp = 0;
    FitParameters->EpsReq = 1e-12;  // to convergence
  }
  const std::vector<std::vector<double>> counts = FitoutRows("expcount");
};

TEST_F(ExpFitTest, FitMatchesScipyAndFollowsTheChannels) {
  Place(0);
  ASSERT_TRUE(RunExpFit());
  const std::vector<double> s = FitoutRows("expfit")[0];  // A tau t0, their errors, chi2/df
  for (int32_t i = 0; i < 3; ++i) {
    const ParameterRecord& r = parar[i == 2 ? 5 : i + 2];
    EXPECT_NEAR(r.value, s[i], 0.1 * s[3 + i]) << i;
    EXPECT_NEAR(r.Error, s[3 + i], 0.01 * s[3 + i]) << i;  // both sqrt(diag(inv(J'J)))
    EXPECT_NEAR(r.value, (std::vector<double>{2e5, 100, 150.4}[i]), 3 * r.Error) << i;  // the truth
  }
  EXPECT_NEAR(FitParameters->ChiDf, s[6], 1e-4 * s[6]);
  // k channels on: t0 moves by k, A takes exp(k / tau), tau stays (t = channel - 1).
  const double a = parar[2].value, tau = parar[3].value, t0 = parar[5].value;
  Place(37);
  ASSERT_TRUE(RunExpFit());
  EXPECT_NEAR(parar[5].value, t0 + 37, 1e-6);
  EXPECT_NEAR(parar[3].value, tau, 1e-7 * tau);
  EXPECT_NEAR(parar[2].value, a * std::exp(37 / tau), 1e-7 * parar[2].value);
  // Mode 0: a free t0 (no derivative) is held, so even an undamped fit inverts; error 0, bounds back.
  ExpFitMode = 0, parar[5] = {5, 21, 40, 70, 1, 0, 0, 0, {}};
  ASSERT_TRUE(RunExpFit() && FitParameters->MatInv == 1);
  const ParameterRecord& t = parar[5];
  EXPECT_EQ(std::vector({t.lower, t.value, t.upper, t.Error}), std::vector({21., 40., 70., 0.}));
  Sp().WorkLast = Sp().WorkFirst + 1, ui.ExpectMessage("Error, the working range has 2 channels for 2 free parameters");
  EXPECT_FALSE(RunExpFit());
}

// No fit reported after a cancel; bad grids come back as they were; a fit logs its nine lines.
TEST_F(ExpFitTest, DialogsRefuseBadGridsAndReportTheFit) {
  Place(0), DialogCaption = "Conv";
  ui.ExpectDialog("Conv").Cancel();
  EXPECT_FALSE(ConvolutedExpoFitting());
  // A field without a number is named at OK and typed again in the same window.
  ui.ExpectDialog("Conv").Radio(1).Ok();
  ui.ExpectDialog("Conv").Field(2, 2, "1e5x").Press(1).Field(2, 2, GridCellText(10, 1.2e5)).Field(4, 1, "0").Ok();
  ui.ExpectMessage("Error, A (column 2): \"1e5x\" is not a number");
  ui.ExpectMessage("Error, the resolution Sig and its bounds must be above 0");
  ui.ExpectDialog("Conv").Inspect([](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(1, 1), GridCellText(10, 1.2e5)); }).Ok();
  ui.ExpectDialog("Check the Fit Controls").Ok(), ui.ExpectDialog("Conv").Ok(), ui.ExpectDialog("Conv").Cancel();
  EXPECT_TRUE(ConvolutedExpoFitting());
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 11u);
  EXPECT_EQ(log[1], "    Exponential analysis;");
  EXPECT_EQ(log[7].substr(0, 14), "Amplitude   = ");
}
