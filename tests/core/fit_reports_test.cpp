// Fit reports: the quality flags, the summary texts, the retry controls, the free-parameter count,
// the text graph and the correlation matrix (against scipy's covariance turned into correlations).
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include "core/fit_reports.h"
#include "fit_test_models.h"
#include "support/scripted_fixture.h"

using Strings = std::vector<std::string>;

class FitReports : public ScriptedTest {};

// A constant fitted to 1 and 3 (weights 1 / sigma^2) from 0 under the upper bound 1.5: one step
// ends on the bound (named with it, and in place of its error) with chi2/df = 2.5 / sigma^2, 90% of
// it from the positive residual; the bound stops the rest of the move, so the accuracy is reached
// (Eps 0). Without the bound a half step ends at 1, a full standard deviation sqrt(1/2) times
// sqrt 2 short of the optimum 2 (Eps 14.1 tenths): not converged, the accuracy not reached.
// ChiDf 2.5 with ChiPlus 0.9 is "not good", ChiDf 0.05 with ChiPlus 0.9 is not. A wrong array
// prints its status texts, the wrong-array text first, and nothing more.
TEST_F(FitReports, PrintFitResults) {
  const std::string cond = "The number of conditionnedness =            1.00", bound = "    1     1.500 upper 1.5",
                    hit = ".... Parameter(s) hit the boundary:",
                    head = "                    Parameters and their errors";
  struct Case { double sigma, upper, step; int32_t link; Strings lines; };
  for (const Case& c :
       {Case{1, 1.5, 1, 1, {".... The fitting quality is not good", hit, bound, cond,
                    " Ch2/df=   2.50  eps=   0.0     1 iterations  Ch+=0.90", head,
                    "          1.500   at upper bound"}},
        Case{std::sqrt(50.0), 1.5, 1, 1, {hit, bound, cond, " Ch2/df=   0.05  eps=   0.0     1 iterations  Ch+=0.90", head,
                                  "          1.500   at upper bound"}},
        Case{1, 10, 0.5, 1, {"++++ The process hasn't converged", ".... The fitting quality is not good",
                    ".... Min. accuracy not reached", cond, " Ch2/df=   4.00  eps=  14.1     1 iterations  Ch+=1.00", head,
                    "          1.000   +-          0.707"}},
        Case{1, 1.5, 1, 0, {"Wrong parameter array", "Error, no free parameters", ".... Compression: from    1  to    0"}}}) {
    SCOPED_TRACE(c.sigma);
    LogFile.RewriteToMemory("log");
    ui.Clear();
    FitRun r({{0, 0}, {1, 3}, {c.sigma, c.sigma}, Polynomial}, 1);
    r.Bounds(1, -10, c.upper);
    r.fit.GNIter = 1, r.fit.EpsReq = 0.5, r.fit.Step = c.step, r.fit.Records[1].n = c.link, r.fit.CompressedMatrix = c.link == 0;
    r.Run();
    PrintFitResults(r.fit);
    EXPECT_EQ(LogLines(), c.lines);
    EXPECT_EQ(ui.Messages(), c.link == 0 ? Strings{"Wrong parameter array"} : Strings{});
  }
}

// The limits belong to the good side; a value that is not a number is never good.
TEST(FitReportsQuality, EvaluateFitQuality) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case { int32_t conv, matInv; double chiDf, eps, chiPlus; std::vector<uint8_t> flags; };
  TParameter fit(1, 1, 1);
  fit.EpsReq = 0.5;
  for (const Case& c : {Case{1, 1, 3.0, 0.5, 0.25, {0, 0, 0, 0, 0}}, Case{0, 2, 3.01, 0.51, 0.76, {1, 1, 1, 1, 1}},
                        Case{1, 1, 0.1, 0.5, 0.9, {0, 0, 0, 0, 0}}, Case{1, 1, nan, nan, nan, {0, 0, 1, 1, 1}}}) {
    fit.Conv = c.conv, fit.MatInv = c.matInv, fit.ChiDf = c.chiDf, fit.Eps = c.eps, fit.ChiPlus = c.chiPlus;
    EvaluateFitQuality(fit);
    EXPECT_EQ(std::vector<uint8_t>(fit.QualityFlags, fit.QualityFlags + 5), c.flags) << c.chiDf;
  }
}

TEST(FitReportsQuality, RelaxFitControls) {
  struct Case { int32_t gnIter, gnIterAfter; double damp, dampAfter; };
  for (const Case& c :
       {Case{1, 5, 0.05, 0.1}, Case{0, 0, 0.001, 0.01}, Case{7, 8, 1, 0.1}, Case{3, 5, 0, 0}, Case{4, 5, 0, 0}}) {
    TFitControls k;
    k.GNIter = c.gnIter, k.Damp = c.damp, k.Step = 0.99, k.Skip = 3;
    RelaxFitControls(k);
    EXPECT_TRUE(k.GNIter == c.gnIterAfter && k.Damp == c.dampAfter && k.Step == 0.495 && k.Skip == 1) << c.gnIter;
  }
}

// A record both fixed and dependent counts twice.
TEST(FitReportsQuality, CountFreeParameters) {
  TParameter fit(5, 1, 5);
  fit.ResetParameterRecords();
  fit.Records[2].lower = fit.Records[2].upper = 1;
  fit.Records[3].n = fit.Records[4].n = 1;
  fit.Records[4].lower = fit.Records[4].upper = 0;
  int32_t n = -1;
  CountFreeParameters(fit, n);
  EXPECT_EQ(n, 1);
}

// Range 0..10: 3 decimals; the top becomes 10 + sqrt(10), the column width (10 + sqrt(10)) / 40;
// the model's "*" wins a shared column. Without points there is no graph.
TEST_F(FitReports, PrintTextGraph) {
  const double Y[] = {0, 5, 10}, F[] = {0, 5.2, 8};
  TParameter fit(1, 3, 1);
  auto model = [&](double& y, double& w, double& f, int32_t point, int32_t stage) {
    EXPECT_EQ(stage, 3);
    y = Y[point - 1], f = F[point - 1], w = 1;
  };
  double ymax = 0;
  PrintTextGraph(fit, model, ymax);
  EXPECT_DOUBLE_EQ(ymax, 10 + std::sqrt(10.0));
  auto blanks = [](size_t n) { return std::string(n, ' '); };
  EXPECT_EQ(LogLines(), (Strings{"  Data(+)   Fit(*)      Chi2             Graph",
                                 "    0.000    0.000    0.000*" + blanks(39),
                                 "    5.000    5.200    0.040" + blanks(16) + "*" + blanks(23),
                                 "   10.000    8.000    4.000" + blanks(25) + "*     +" + blanks(8)}));
  LogFile.RewriteToMemory("log");
  fit.NPoints = 0;
  PrintTextGraph(fit, model, ymax = 0);
  EXPECT_TRUE(LogLines().empty());
}

// The correlations of a finished fit are scipy's covariance normalised by its diagonal. Compressed
// order is refused; after a failed inversion nothing is printed.
TEST_F(FitReports, PrintCorrelationMatrix) {
  FitRun r(GoldenProblem("expo3", Expo3), 3);
  r.Start(Golden("expo3", "start"));
  r.Run();
  PrintCorrelationMatrix(r.fit);
  for (int32_t i = 1; i <= 3; ++i)
    for (int32_t j = 1; j <= 3; ++j) {
      double c;
      r.fit.GetMatrixElement(i, j, c);
      EXPECT_NEAR(c, Golden("expo3", "corr")[(i - 1) * 3 + (j - 1)], 1e-7) << i << "," << j;
    }
  EXPECT_EQ(LogLines(), (Strings{"Correlation matrix,  c_max=  0.85665 sp=  0.8262", "  1.000 -0.191 -0.191",
                                 " -0.191  1.000 -0.857", " -0.191 -0.857  1.000"}));
  for (int32_t compressed : {1, 0}) {
    LogFile.RewriteToMemory("log");
    r.fit.CompressedMatrix = compressed, r.fit.MatInv = 0;
    PrintCorrelationMatrix(r.fit);
    EXPECT_EQ(LogLines(), compressed ? Strings{"Invalid operation for compressed matrix"} : Strings{});
  }
}

// A bound derived as a * master + b carries the rounding of its last bit: it prints as meant,
// with "." and at most ten significant digits, and a name when the record has one.
TEST(FitReportsQuality, BoundTextShowsTheBoundAsMeant) {
  ParameterRecord r{1, -2.5, 0.17580000000000002, 0.17580000000000002, 1, 0, 0, 0, "x"};
  EXPECT_EQ(BoundText(r), "x upper 0.1758");
  r.value = r.lower, r.Name.clear();
  EXPECT_EQ(BoundText(r), "lower -2.5");
  r.lower = r.value = -1.25e-12;
  EXPECT_EQ(BoundText(r), "lower -1.25e-12");
}
