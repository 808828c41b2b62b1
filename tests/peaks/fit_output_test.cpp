// Peak areas against analytic integrals and a numpy re-implementation of the weighted sum; the
// result lines of hand-set arrays as golden text (worked out by hand), shown and saved.
#include <gtest/gtest.h>
#include <cmath>
#include <numbers>
#include "fitout_setup.h"
#include "peaks/fit_output.h"

// Models 1 and 2 with W1 = 0 and the M2 pair: areas |A W0|, errors sqrt((sA W0)^2 + (sW0 A)^2).
TEST_F(FitoutTest, ResultLinesShownAndSaved) {
  MainMode = FitraMode, IntervalFirst = 1, IntervalLast = 400, M2Mode = 1;
  FitParameters->Iterations = 7, FitParameters->ChiDf = 1.234, FitParameters->ChiPlus = 0.456;
  Layout({1000, 2500.4}, {200.3, 310.25}, {4, 6}, 0, {1, 2});
  R(1).value = 100, R(1).Error = 3.2, R(7).Error = 20, R(8).Error = 35.6, R(9).Error = 0.05, R(10).Error = 0.123;
  R(11).Error = 0.1, R(12).Error = 0.2, FitParameters->NPar = 24;
  Set(23, 1.5, 0.25), Set(24, -0.75, 0.1), R(23).Name = "m2_0", R(24).Name = "m2_1";
  std::vector<std::string> want = {" Interval 1 - 400 7 iterations",
                                   "step= 0.9900, damp=   1.00000-2, delta=  1.00000+6, beta=  1.00000+6",
                                   " Chi^2 =       1.23      Chi+ =   0.46", " ", "  Background parameters  ",
                                   " Bck_1 =      100 +- 3"};
  for (char b = '2'; b <= '6'; ++b) want.push_back(std::string(" Bck_") + b + " =        0 +- 0");
  for (const char* s : {" ", "  Peak amplitudes (areas if W1=0)", " Amp.1 =     1000 +- 20  (4000 +- 128)",
                        " Amp.2 =     2500 +- 36  (15002 +- 544)", "  Peak positions",
                        " Pos.1 mod1 =    200.30 +-   0.05", " Pos.2 mod2 =    310.25 +-   0.12", " ",
                        "  Widths (2 half-lives) ", " W_0  =     4.00 +- 0.10", " W_0  =     6.00 +- 0.20"})
    want.push_back(s);
  want.insert(want.end(), 4, " W_0  =     0.00 +- 0.00");
  want.insert(want.end(), 6, " W_1. =     0.00 +- 0.00");
  for (const char* s : {" ", " m2_0 =     1.50 +- 0.25", " m2_1 =    -0.75 +- 0.10"}) want.push_back(s);
  ResultsUnsaved[FitraMode] = 1;
  OutputFittingResults(7);
  EXPECT_EQ(LogLines(), want);
  ui.ExpectQuestion("Results already saved Still save?", false);
  OutputFittingResults(7);
  ResultsUnsaved[FitraMode] = 1;
  ui.ExpectDialog("Output of fitting results").Save().Ok();
  OutputFittingResults(6);
  EXPECT_EQ(ResultsUnsaved[FitraMode], 0);
  EXPECT_EQ(LogLines().size(), 2 * want.size() + 1);  // the caption, then the list
  FiveParameterFit = 1;  // after a convoluted-exponential fit: its analysis
  ui.ExpectQuestion("Results already saved Still save?", true);
  OutputFittingResults(7);
  EXPECT_EQ(LogLines()[2 * want.size() + 2], "    Exponential analysis;");
  // Paired: "bound" for the error and "  B" on a bound; the bracket is d by t = 505.556 L d sin(theta) (4 us, 76 deg, 21.13 m).
  PairedPeakMode = 1, MarkedPointCount = 2, FitParameters->NPar = 6;
  Set(1, 300, 5), Set(2, 800, 9, 800, 900), Set(3, 20, 0.5, 10, 20), Set(4, 500, 0.25), Set(5, 6, 0.1, 6, 6);
  FormFittingResultLines();
  const std::string d = FormatNumber(8, 4, 480 * 4.0 / (TofConstant * 21.13 * std::sin(76 * std::numbers::pi / 180)));
  EXPECT_EQ(InfoLines.lines[9], " Delta_1 =    20.00 +-  bound( " + d + " A)  B");
}

// What the fit cannot know is not printed as a number: a free record on a bound shows "bound", a
// fixed one "?", as do the errors of a fit that left them undetermined; an error the column's
// decimals would round to 0 shows its first two digits; controls too large for their column
// (delta and beta 1e6 in 6:2) take the damping's scientific form.
TEST_F(FitoutTest, ErrorsTheFitCannotKnow) {
  MainMode = FitraMode, IntervalFirst = 1, IntervalLast = 400;
  Layout({1000}, {200.3}, {4});
  Set(1, 100, 0.3), Set(2, 0, 0, 0, 0), Set(8, 200.3, 0.09, 190, 200.3);
  auto line = [](const std::string& head) {
    for (int32_t i = 1; i <= InfoLines.count; ++i)
      if (InfoLines.lines[i].rfind(head, 0) == 0) return InfoLines.lines[i];
    return std::string("none");
  };
  FormFittingResultLines();
  EXPECT_EQ(line(" Bck_1"), " Bck_1 =      100 +- 0.30");
  EXPECT_EQ(line(" Bck_2"), " Bck_2 =        0 +- ?");
  EXPECT_EQ(line(" Pos.1"), " Pos.1 mod1 =    200.30 +-  bound");
  EXPECT_EQ(line(" Amp.1").substr(0, 21), " Amp.1 =     1000 +- ");
  EXPECT_EQ(line("step="), "step= 0.9900, damp=   1.00000-2, delta=  1.00000+6, beta=  1.00000+6");
  FitParameters->Delta = 2.5, FitParameters->Beta = 100;  // values that fit stay in 6:2
  FormFittingResultLines();
  EXPECT_EQ(line("step=").substr(33), "delta=  2.50, beta=100.00");
}

namespace {
std::vector<double> Areas(int32_t n, bool& vary) {
  ComputePeakAreas(vary);
  return {NumberBuffer + 1, NumberBuffer + 1 + 2 * n};
}
void Lorentz(int32_t m) { PeakModels[m + 1]->ModelNumber = ModelLorentz, PeakModels[m + 1]->TabulatePeakModel(); }
}  // namespace

TEST_F(FitoutTest, AreasMatchAnalyticIntegrals) {
  bool vary = false;
  // Gauss (full width w): the 3 W0 window holds the whole table, area A w(P).
  Layout({1000}, {1200.3}, {6}, 0.5);
  const double w = 6 + 0.5 * (2 * 1200.3 - 1 - 4000) / 3999.0;
  EXPECT_NEAR(Areas(1, vary)[0], 1000 * w, 0.01 * 1000 * w);
  EXPECT_TRUE(vary);
  // Lorentz (half width w): the whole line, A w, though the fit cuts it at 15 half widths.
  Lorentz(1);
  EXPECT_NEAR(Areas(1, vary)[0], 1000 * w, 1e-9 * 1000 * w);
  for (const std::vector<double>& v : FitoutRows("lorentz")) {  // A P W0 W1 first last area; one at an edge
    Sp().WorkFirst = int32_t(v[4]), Sp().WorkLast = int32_t(v[5]), Layout({v[0]}, {v[1]}, {v[2]}, v[3]);
    EXPECT_NEAR(Areas(1, vary)[0], v[6], 1e-9 * v[6]) << v[1];
  }
  // A range of one channel or a peak beyond the range: still the whole peak, A W0, error at least
  // sqrt(area); no area for W0 0 or records past NPar.
  Sp().WorkFirst = Sp().WorkLast = 200, Layout({300}, {200}, {4});
  const std::vector<double> g = Areas(1, vary);
  EXPECT_NEAR(g[0], 1200, 1e-9);
  EXPECT_DOUBLE_EQ(g[1], std::sqrt(g[0]));
  Sp().WorkFirst = 1, Sp().WorkLast = 400, Layout({300, 300}, {200, 900}, {4});
  EXPECT_NEAR(Areas(2, vary)[1], 1200, 1e-9);
  for (int32_t npar : {22, 8}) {
    R(11).value = 0, FitParameters->NPar = npar;
    EXPECT_EQ(Areas(2, vary), std::vector<double>(4, 0.0)) << npar;
  }
}

// Widths per peak equal to the models' W0 give the common law's areas (not another peak's width).
TEST_F(FitoutTest, PerPeakWidthsActLikeTheCommonLaw) {
  Lorentz(2);
  const std::vector<double> a = {900, 400, 700}, p = {1000, 1040, 1100};
  bool vary = true;
  Layout(a, p, {5, 3}, 0, {2, 1, 2});
  const std::vector<double> common = Areas(3, vary);
  WidthMode = -1;
  Layout(a, p, {3, 5, 3}, 0, {2, 1, 2});
  for (size_t k = 0; k < 6; ++k) EXPECT_NEAR(Areas(3, vary)[k], common[k], 1e-9 * common[k]) << k;
  EXPECT_FALSE(vary);
}
