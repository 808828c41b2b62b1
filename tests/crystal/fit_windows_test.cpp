// The fit-controls editor and the fit windows through the scripted backend: what OK stores and
// what Cancel or a mistyped field keeps, the errors and correlation factors of a fitted straight
// line, the fit-quality lines, the INI name offered and the marked points read back.
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include "core/fit_engine.h"
#include "core/model_switches.h"
#include "core/settings_file.h"
#include "crystal/fit_windows.h"
#include "crystal/phase_setup.h"

namespace {

using Lines = std::vector<std::string>;

class FitWindowsTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    saved_ = std::exchange(FitParameters, std::make_unique<TParameter>(3, 5, 3));
    FitParameters->SetFitDefaults();
    DefaultFitControls = TFitControls{};
  }
  void TearDown() override {
    FitParameters = std::move(saved_);
    PhaseTest::TearDown();
  }
  static auto Controls() {
    const TFitControls& c = DefaultFitControls;
    return std::tuple(c.GNIter, c.Step, c.Damp, c.EpsReq, c.Delta, c.Beta, c.Alpha, c.Skip, c.FittingKind,
                      c.ConvergenceMode, c.ConstantWeights, NonEquidistantChannels);
  }

private:
  std::unique_ptr<TParameter> saved_;
  KeepValues<TFitControls> controls_{&DefaultFitControls, 1};
  KeepValues<uint8_t> nonEquidistant_{&NonEquidistantChannels, 1}, celix_{&CelixFitterCreated, 1};
  KeepValues<double> points_{MarkedPoints, MarkedPointCapacity + 1};
  KeepValues<int32_t> models_{MarkedPointModels, MarkedPointModelCount + 1}, pointCount_{&MarkedPointCount, 1};
  KeepValues<std::string> ini_{&IniFileName, 1};
};

// Step := min(row 2, 1), Skip := round(max(row 8, 1)) half to even, iterations rounded; the modes
// preselected from the engine and kept when confirmed; Cancel and a mistyped field store nothing.
TEST_F(FitWindowsTest, FitControls) {
  struct Case { const char* iter; const char* step; const char* skip; int32_t gn; double stored; int32_t skipStored; };
  for (const Case& c : {Case{"7.5", "1.5", "0", 8, 1.0, 1}, Case{"3", "-0.25", "-3", 3, -0.25, 1},
                        Case{"6.5", "0.5", "2.5", 6, 0.5, 2}}) {
    FitParameters->ConvergenceMode = 1, FitParameters->FittingKind = 1;
    ui.ExpectDialog("Check the Fit Controls")
        .Inspect([](TForm2& f) { EXPECT_EQ(std::tuple(f.RadioGroup1.itemIndex, f.RadioGroup2.itemIndex), std::tuple(1, 0)); })
        .Cell(0, 0, c.iter).Cell(0, 1, c.step).Cell(0, 2, "0.125").Cell(0, 3, "0.01").Cell(0, 4, "7")
        .Cell(0, 5, "8").Cell(0, 6, "9").Cell(0, 7, c.skip).Radio(3).Radio2(2).Check(1).Check(2).Ok();
    EditFitControls();
    EXPECT_EQ(Controls(), std::tuple(c.gn, c.stored, 0.125, 0.01, 7.0, 8.0, 9.0, c.skipStored, 2, 2, uint8_t{1}, uint8_t{1}))
        << c.step;
  }
  FitParameters->ConvergenceMode = 0, FitParameters->FittingKind = 1;
  ui.ExpectDialog("Check the Fit Controls").Ok();
  EditFitControls();
  const auto kept = Controls();
  EXPECT_EQ(std::tuple(std::get<8>(kept), std::get<9>(kept)), std::tuple(1, 0));
  ui.ExpectDialog("Check the Fit Controls").Cell(0, 1, "0.1").Radio(2).Cancel();
  ui.ExpectDialog("Check the Fit Controls").Cell(0, 1, "0.1").Cell(0, 7, "x").Radio(2).Press(1).Cancel();
  EditFitControls();
  EditFitControls();
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(Controls(), kept);
}

// y = 1 + x / 2 at x = 1..5, sigma 0.5, record 3 fixed: C = (X^T W X)^-1 with W = 4 gives errors
// sqrt(4 * 55 / 800) and sqrt(4 * 5 / 800); both correlation factors 1 / (1 - 15^2 / (5 * 55)).
// The quality lines from engine fields set by hand. Powder indexing without its fitter: empty.
TEST_F(FitWindowsTest, ParameterErrorsAndFitQuality) {
  TParameter& f = *FitParameters;
  f.ResetParameterRecords();
  f.Records[3].lower = f.Records[3].upper = 0;
  f.GNIter = 3, f.Step = 1, f.Damp = 0;
  f.Fit([&f](double& Y, double& W, double& F, int32_t x, int32_t) {
    Y = 1 + 0.5 * x, W = 4;
    F = f.Records[1].value + f.Records[2].value * x + f.Records[3].value * x * x;
    f.Records[1].Derivative = 1, f.Records[2].Derivative = x, f.Records[3].Derivative = x * x;
  }, NoProgress);
  EXPECT_EQ(ParameterErrorLines(&f), (Lines{"    1         1.0000 +-       0.5244          5.5",
                                            "    2         0.5000 +-       0.1581          5.5",
                                            "    3         0.0000 +-       0.0000          0.0"}));
  // Centred, the two columns are orthogonal: both factors 1.
  f.Fit([&f](double& Y, double& W, double& F, int32_t x, int32_t) {
    Y = 1 + 0.5 * x, W = 4;
    F = f.Records[1].value + f.Records[2].value * (x - 3);
    f.Records[1].Derivative = 1, f.Records[2].Derivative = x - 3, f.Records[3].Derivative = 0;
  }, NoProgress);
  const Lines centred = ParameterErrorLines(&f);
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(centred.at(i).substr(centred[i].size() - 12), "         1.0") << centred[i];
  f.CompressionNote = "note", f.WrongArrayError = "wrong", f.Conv = 1, f.MatInv = 0, f.Iterations = 7;
  f.ChiReg = 1.5, f.ParOnB = 1, f.ChiDf = 1.234, f.ChiPlus = 0.5, f.Eps = 0.34, f.GoodP = 0.75, f.ChiDev = 0.1;
  ui.ExpectDialog("Check the Fit Quality").Inspect([](TForm2& form) {
    EXPECT_EQ(form.ListBox1.items,
              (Lines{"", "note", "", "", "wrong", " Convergence=    OK", " Mat.Inversion=  NOT OK", " GN-iterations=  7",
                     " Chi_regul    =        1.50", " Par on boundary= NOT OK", " Chi2/df =       1.23",
                     " Chi+   =         0.50", " Eps achieved=        0.3", " Good par.=       0.75",
                     " Chi-deviation=   0.10"}));
  }).Ok();
  ShowFitQuality();
  MainMode = 1, CelixFitterCreated = 0;
  ui.ExpectDialog("Parameter Errors").Inspect([](TForm2& form) { EXPECT_TRUE(form.ListBox1.items.empty()); }).Ok();
  ShowParameterErrors();
}

// ".ini" only for a name without a dot; a blank name offered empty; the name with its folder
// kept after Cancel.
TEST_F(FitWindowsTest, IniFileNameOffered) {
  struct Case { const char* name; const char* kept; const char* shown; };
  for (const Case& c : {Case{"session", "session.ini", "file \"session.ini\" in \"\""}, Case{"a.cfg", "a.cfg", "file \"a.cfg\""},
                        Case{" ", "", "file \"\""}, Case{"run/s", "run/s.ini", "file \"s.ini\" in \"run\""}}) {
    IniFileName = c.name;
    ui.CancelFileDialog();
    EnterIniFileName();
    EXPECT_NE(ui.transcript.back().find(c.shown), std::string::npos) << ui.transcript.back();
    EXPECT_EQ(IniFileName, c.kept);
  }
}

// The memo shows "channel   model"; blank and digit-less lines are no points, a missing model
// number is 1; 600 lines keep 500 with the message; Cancel changes nothing.
TEST_F(FitWindowsTest, MarkedPointsReadBack) {
  MarkedPointCount = 2, MarkedPoints[1] = 100.4, MarkedPoints[2] = 250.5, MarkedPointModels[1] = 2, MarkedPointModels[2] = 3;
  ui.ExpectDialog("2 points and model numbers")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines, (Lines{"100   2", "250   3"})); })
      .Memo("10 4\n\n  20.6\nabc\n30 5.5")
      .Ok();
  ShowMarkedPoints();
  EXPECT_EQ(std::tuple(MarkedPointCount, MarkedPoints[1], MarkedPoints[2], MarkedPoints[3]), std::tuple(3, 10.0, 21.0, 30.0));
  EXPECT_EQ(std::tuple(MarkedPointModels[1], MarkedPointModels[2], MarkedPointModels[3]), std::tuple(4, 1, 6));
  MarkedPoints[501] = -7;
  std::string memo;
  for (int32_t i = 1; i <= 600; ++i) memo += std::to_string(i) + " 2\n";
  ui.ExpectDialog("3 points").Memo(memo).Ok();
  ui.ExpectMessage("Too many points,>500");
  ui.ExpectDialog("500 points").Memo("1 1").Cancel();
  ShowMarkedPoints();
  ShowMarkedPoints();
  EXPECT_EQ(std::tuple(MarkedPointCount, MarkedPoints[500], MarkedPoints[501]), std::tuple(500, 500.0, -7.0));
}

}  // namespace
