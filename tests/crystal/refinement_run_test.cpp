// The refinement menu and run end to end through the scripted backend: a spectrum made by the
// profile model from known records is refined back to them; the menu's refusals; the R-factors
// against sums over the points; the fixing question; the half step; the clipboard text.
#include <gtest/gtest.h>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/symmetry_expansion.h"
#include "crystal/parameter_preparation.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/refinement_run.h"
#include "support/temp_path.h"

namespace {

class RefinementRun : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    DelayDeviation = 0, PreparedParameterCount = 0;
    for (int32_t m = 0; m < ModeCount; ++m)
      UseAvailableArray[m] = 0, ParametersPending[m] = 1, FitPending[m] = 1, ResultsUnsaved[m] = 0;
    ProfileSpectrum s;
    s.axis = AxisAngular, s.first = 400, s.last = 1400;
    TSpectrum& sp = SetUpProfileSpectrum(s);
    // The res-file goes beside the working folder: a folder of this test.
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    sp.Name = (folder_ / "al.dat").string();
    for (int32_t c = 1; c <= sp.LastChannel; ++c) sp.Y[c] = 100, sp.E[c] = 10;
    ASSERT_TRUE(SetUpAluminium(1));
    ASSERT_GT(FormProfileReflections(1), 3);
    HklFormedFirst[1] = s.first, HklFormedLast[1] = s.last;
  }
  void TearDown() override {
    for (int32_t p = 1; p <= MaxPhases; ++p) ForgetSymmetryExpansion(p);
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(folder_);
    ProfileTest::TearDown();
  }
  bool ResFileExists() const { return std::filesystem::exists(folder_ / "al.res"); }
  // The menu's MAKE with the fit controls confirmed.
  void Make() {
    ui.ExpectDialog(ModeNames[0]).Radio(3).Ok();
    ui.ExpectDialog("Check the Fit Controls").Ok();
  }
  // A prepared array with a flat background and counts made from it; scale and W0 5 % off.
  std::vector<double> PrepareTruth() {
    Prepare();
    TParameter& fit = *FitParameters;
    for (int32_t i = 5; i <= 9; ++i) SetRecord(i, 0), FixRecord(i), parar[i] = fit.Records[i];
    MakeCounts();
    std::vector<double> truth(static_cast<size_t>(fit.NPar) + 1);
    for (int32_t i = 1; i <= fit.NPar; ++i) truth[i] = fit.Records[i].value;
    for (int32_t i : {ScaleRecord(1), WidthRecord(1, 0)}) fit.Records[i].value *= 1.05, parar[i].value = fit.Records[i].value;
    return truth;
  }
  std::filesystem::path home_ = std::filesystem::current_path(), folder_ = TestTempPath("refinement_run");
  // PREPARE through the menu, its dialogs answered by OK, then the menu left.
  void Prepare() {
    ui.ExpectDialog(ModeNames[0]).Radio(2).Ok();
    ui.ExpectDialog("Preparing parameter array").Ok();
    ui.ExpectDialog("Prepare " + ModeNames[0]).Ok();
    ui.QueueAnswer(false);
    ui.ExpectDialog("Prepare").Ok();
    ui.ExpectDialog("Parameter array").Cancel();  // the check the preparation offers
    ui.ExpectDialog(ModeNames[0]).Cancel();
    FitActionMenu();
    std::string shown;
    for (const std::string& line : ui.transcript)
      if (line.rfind("DIALOG", 0) == 0 || line.rfind("ASK", 0) == 0 || line.rfind("MSG", 0) == 0) shown += line + "\n";
    ASSERT_EQ(ParametersPending[0], 0) << shown;
  }
  // Counts made by the model at the current records; errors sqrt(counts).
  static void MakeCounts() {
    TSpectrum& sp = CurrentProfileSpectrum();
    for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
      sp.Y[c] = ModelAt(RietveldModel, c, true);
      sp.E[c] = std::sqrt(std::max(1.0, sp.Y[c]));
    }
  }
};

TEST_F(RefinementRun, MenuRefusals) {
  FitParameters->NPar = 0;
  auto pick = [&](int32_t item) { ui.ExpectDialog(ModeNames[0]).Radio(item).Ok(); };
  pick(3), ui.ExpectMessage("First make the preparation");
  pick(4), ui.ExpectMessage("First make the fitting");
  pick(7), ui.ExpectMessage("First make the parameter array");
  pick(11), ui.ExpectMessage("First make the preparation");
  pick(1), pick(10);
  ui.ExpectDialog(ModeNames[0]).Inspect([](TForm2& f) {
    EXPECT_EQ(f.RadioGroup1.itemIndex, 1);  // after 11's refusal: PREPARE
  }).Cancel();
  FitActionMenu();
  FitParameters->NPar = 5;
  pick(11), ui.ExpectMessage("Only 1 phase");
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
}

TEST_F(RefinementRun, TimeOfFlightQuestionAskedOnce) {
  TSpectrum& sp = CurrentProfileSpectrum();
  sp.AxisKind = AxisTimeOfFlight, sp.NormalizedFlag = 1, sp.AbsorptionCorrectedFlag = 0;
  ui.ExpectQuestion("Spectrum  not corrected for absorption. Proceed?", false);
  FitActionMenu();
  EXPECT_EQ(sp.AbsorptionCorrectedFlag, 0);
  ui.ExpectQuestion("Spectrum  not corrected for absorption. Proceed?", true);
  ui.onUnexpected = [](const std::string&) {};  // the hkl checks that follow are answered by Cancel
  FitActionMenu();
  EXPECT_EQ(sp.NormalizedFlag + sp.AbsorptionCorrectedFlag, 2);
}

TEST_F(RefinementRun, RecoversTruthAndRFactors) {
  const std::vector<double> truth = PrepareTruth();
  TParameter& fit = *FitParameters;
  std::vector<int32_t> free;
  for (int32_t i = 1; i <= fit.NPar; ++i)
    if (RecordFree(i) && fit.Records[i].n == i) free.push_back(i);
  ASSERT_GE(free.size(), 4u);
  DefaultFitControls.GNIter = 30, DefaultFitControls.EpsReq = 1e-6;
  const double step = DefaultFitControls.Step;
  Make();
  // The closing dialog once with the repeat ticked, then finished.
  // Repeated repeats take half the default step each time, not half the last one.
  double repeatStep[2] = {};
  ui.ExpectDialog("").Inspect([](TForm2& f) {
    ASSERT_GE(f.ListBox1.items.size(), 2u);
    EXPECT_EQ(f.ListBox1.items[1], "   INTERVAL =    400 -  1400");
    EXPECT_TRUE(f.CheckListBox1.Checked(1));
  }).Check(1).Ok();
  ui.ExpectDialog("").Inspect([&](TForm2&) { repeatStep[0] = FitParameters->Step; }).Check(1).Ok();
  ui.ExpectDialog("").Inspect([&](TForm2&) { repeatStep[1] = FitParameters->Step; }).Ok();
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  EXPECT_EQ(repeatStep[0], 0.5 * step);
  EXPECT_EQ(repeatStep[1], 0.5 * step);
  EXPECT_EQ(fit.Step, step);  // restored on the finish
  EXPECT_EQ(FitPending[0], 0);
  EXPECT_EQ(ResultsUnsaved[0], 1);
  EXPECT_EQ(UseAvailableArray[0], 1);
  EXPECT_TRUE(ResFileExists());
  for (int32_t i : free) {
    SCOPED_TRACE(fit.Records[i].Name);
    EXPECT_NEAR(fit.Records[i].value, truth[i], 1e-6 * std::max(1e-2, std::fabs(truth[i])));
    EXPECT_EQ(parar[i].value, fit.Records[i].value);
  }
  // R-factors against sums over the points at the fitted records (the last final pass).
  const TSpectrum& sp = CurrentProfileSpectrum();
  double p = 0, b = 0, w = 0, e = 0, o = 0, ow = 0;
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
    const double F = ModelAt(RietveldModel, c, true), bg = ModelOutput[0], y = sp.Y[c], wt = 1 / (sp.E[c] * sp.E[c]);
    p += std::fabs(y - F), b += std::fabs(y - bg), w += wt * (y - F) * (y - F), e += sp.E[c];
    o += std::fabs(y), ow += wt * y * y;
  }
  EXPECT_NEAR(RFactorB[1], p / b, 1e-6 + 1e-3 * p / b);
  EXPECT_NEAR(RFactorP[1], p / o, 1e-6 + 1e-3 * p / o);
  EXPECT_NEAR(RFactorW[1], std::sqrt(w / ow), 1e-6 + 1e-3 * std::sqrt(w / ow));
  EXPECT_NEAR(RFactorE[1], e / o, 1e-9 * e / o);
}

// A spectrum of zero counts: every denominator is below 0.01 and taken as 0.01, so R_e is the
// sum of the errors (1 per point) over 0.01, R_p and R_b the sum of |F|, R_w^2 that of F^2.
TEST_F(RefinementRun, RFactorDenominatorsFloored) {
  PrepareTruth();
  SetRecord(4, 0), FixRecord(4), parar[4] = Rec(4);  // no background
  TSpectrum& sp = CurrentProfileSpectrum();
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) sp.Y[c] = 0, sp.E[c] = 1;
  Make();
  ui.ExpectDialog("").Ok();
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  ASSERT_EQ(FitPending[0], 0);
  double p = 0, w = 0;
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
    const double F = ModelAt(RietveldModel, c, true);
    p += std::fabs(F), w += F * F;
  }
  ASSERT_GT(p, 0);
  EXPECT_NEAR(RFactorE[1], (sp.WorkLast - sp.WorkFirst + 1) / 0.01, 1e-9 * RFactorE[1]);
  EXPECT_NEAR(RFactorP[1], p / 0.01, 1e-6 + 1e-6 * p / 0.01);
  EXPECT_NEAR(RFactorB[1], p / 0.01, 1e-6 + 1e-6 * p / 0.01);
  EXPECT_NEAR(RFactorW[1], std::sqrt(w / 0.01), 1e-6 + 1e-6 * std::sqrt(w / 0.01));
}

TEST_F(RefinementRun, AskFixAndClipboard) {
  Prepare();
  TParameter& fit = *FitParameters;
  // Record 4: value 0 is never asked; record 5 error 60 % is asked, Yes fixes it.
  fit.Records[4].value = 0, fit.Records[4].Error = 10;
  fit.Records[5].value = 10, fit.Records[5].Error = 6, fit.Records[5].lower = 0, fit.Records[5].upper = 20;
  for (int32_t i = 6; i <= 9; ++i) fit.Records[i].Error = 0;
  ui.ExpectQuestion("5th parameter " + fit.Records[5].Name + ":error more than 50%!" + LineBreak + "fix it?", true);
  AskFixBadParameters();
  EXPECT_EQ(fit.Records[5].lower, 10);
  EXPECT_EQ(fit.Records[5].upper, 10);

  const ParameterRecord keep = parar[MetricRecord(1, 1)];
  ui.ExpectDialog(ModeNames[0]).Radio(7).Ok();
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  ASSERT_EQ(ui.clipboard.size(), 1u);
  const std::string& text = ui.clipboard[0];
  EXPECT_EQ(text.rfind("SERVER   =   VKEST\r\nTOPIC    =   PARAMETERS\r\n*   Rietveld analysis parameters\r\n", 0), 0u);
  // The cell row as the edge a in angstrom, and parar keeping the metric record.
  // (13-wide exponent form of 5 digits without the letter E)
  EXPECT_NE(text.find("     4.0495+0"), std::string::npos) << text;
  EXPECT_NE(text.find("*                PHASE No 1"), std::string::npos);
  EXPECT_EQ(parar[MetricRecord(1, 1)].value, keep.value);
  EXPECT_EQ(parar[MetricRecord(1, 1)].lower, keep.lower);
}

// The ways a run ends without a result: the engine refusing the array, and STOP followed by
// Cancel in the closing dialog.
TEST_F(RefinementRun, RefusedAndCancelledRuns) {
  PrepareTruth();
  TParameter& fit = *FitParameters;
  FixAllRecords();
  for (int32_t i = 1; i <= fit.NPar; ++i) parar[i] = fit.Records[i];
  const std::vector<ParameterRecord> before(parar + 1, parar + fit.NPar + 1);
  Make();
  ui.ExpectMessage("Error, no free parameters");
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  for (int32_t i = 1; i <= fit.NPar; ++i) EXPECT_EQ(parar[i].value, before[static_cast<size_t>(i - 1)].value) << i;
  EXPECT_EQ(FitPending[0], 1);
  EXPECT_EQ(ResultsUnsaved[0], 0);
  EXPECT_FALSE(ResFileExists());

  // A count that is not a number stops the engine before any accepted iteration: the same.
  FreeRecords({ScaleRecord(1), WidthRecord(1, 0), 4});
  for (int32_t i = 1; i <= fit.NPar; ++i) parar[i] = fit.Records[i];
  TSpectrum& sp = CurrentProfileSpectrum();
  const double y = std::exchange(sp.Y[700], std::nan(""));
  Make();
  ui.ExpectMessage("NaN or overflow in the fit.Fit stopped");
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  sp.Y[700] = y;
  EXPECT_EQ(FitPending[0], 1);
  EXPECT_FALSE(ResFileExists());

  // STOP after the first iteration: no questions, the closing dialog cancelled.
  DefaultFitControls.GNIter = 1;  // "Repeat fitting?" would be asked after a pass that was not stopped
  Make();
  ui.StopAtYield(ui.YieldCount() + 1);
  ui.ExpectDialog("").Cancel();
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  for (int32_t i = 1; i <= fit.NPar; ++i) EXPECT_EQ(parar[i].value, fit.Records[i].value) << i;
  EXPECT_EQ(CurrentProfileSpectrum().Background[1], fit.Records[4].value);
  EXPECT_EQ(FitPending[0], 1);
  EXPECT_FALSE(ResFileExists());
}

// GNIter 1 asks "Repeat fitting?" after a pass; the relaxed retry that a poor fit gets has more
// iterations and asks nothing.
TEST_F(RefinementRun, RepeatQuestionOnlyForOneIteration) {
  PrepareTruth();
  DefaultFitControls.GNIter = 1;
  Make();
  ui.ExpectQuestion("Repeat fitting?", true);
  ui.ExpectDialog("").Ok();
  ui.ExpectDialog(ModeNames[0]).Cancel();
  FitActionMenu();
  int32_t asked = 0;
  for (const std::string& line : ui.transcript) asked += line.rfind("ASK: Repeat fitting?", 0) == 0;
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(FitParameters->GNIter, 1);  // restored from the defaults
  EXPECT_TRUE(ResFileExists());
}

}  // namespace
