// The powder match (free intensity per reflection) against known truth: the time-of-flight
// zirconia spectrum of tools/gen_refinement_truth.py, read by the core reader, the phase entered
// through the dialogs from a perturbed cell, prepared, made, shown and saved through the menu.
// The cell, the widths and the intensity of every reflection that no other one overlaps must land
// within 3 standard deviations of their truth; chi2/dof near 1; the R-factor sums obey
// R_w^2 sum w y^2 = sum w (y - F)^2 = ChiDf DoF; block R of the res-file lists the intensities.
#include <gtest/gtest.h>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include "core/model_switches.h"
#include "crystal/atom_editor.h"
#include "crystal/form_hkl.h"
#include "crystal/parameter_preparation.h"
#include "crystal/phase_editor_setup.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/refinement_run.h"
#include "support/temp_path.h"

namespace {

constexpr int32_t PowderMatch = 2;

std::string Text(double x) {
  char buf[40];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

class PowderMatchTruth : public CrystalDialogTest {
protected:
  void SetUp() override {
    CrystalDialogTest::SetUp();
    WidthMode = 0, BackgroundMode = 0, M2Mode = 0, TrevoAutoRun = 0, FitControlsGiven = 0;
    std::fill(std::begin(OptionFlags), std::end(OptionFlags), uint8_t{0});
    AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3, AsciiErrorType = 0, VarianceMode = 0;
    DelayDeviation = 0, PreparedParameterCount = 0, MergeThreshold = 0.5, WeakPeakLevel = 1;
    for (int32_t m = 0; m < ModeCount; ++m)
      UseAvailableArray[m] = 0, ParametersPending[m] = 1, FitPending[m] = 1, ResultsUnsaved[m] = 0;
    for (const Tokens& row : GoldenRows("truth_tof_zro2.txt", "crystal")) {
      if (row[0] == "reflection") reflections_.push_back(row);
      else if (row[0] == "atom") atoms_.push_back(row);
      else truth_[row[0]] = row;
    }
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    if (HasFailure()) std::cout << JoinLines(ui.transcript);
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(folder_);
    CrystalDialogTest::TearDown();
  }
  double At(const std::string& key, size_t i) const { return std::stod(truth_.at(key).at(i + 1)); }

  // Spectrum 1 from the xye file; phase 1 (cell a few tenths of a per cent off) and its atoms
  // through the editors; the reflections over the truth's d range.
  void EnterSpectrumAndPhase() {
    TSpectrum& sp = *SpectrumList[1];
    sp.Name = std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/" + truth_.at("spectrum")[1];
    StartingChannelOne = 0;  // X is the channel
    ASSERT_TRUE(sp.ReadAsciiTriples(1));
    sp.AxisKind = AxisTimeOfFlight, sp.ChanWidth = At("header", 0), sp.FlightPath = At("header", 1);
    sp.Theta = At("header", 2), sp.Delay = 0, sp.WorkFirst = sp.FirstChannel, sp.WorkLast = sp.LastChannel;
    ASSERT_EQ(sp.WorkFirst, At("range", 0));
    ASSERT_EQ(sp.WorkLast, At("range", 1));

    ui.ExpectDialog("Phase information").Field(1, 1, truth_.at("group")[1]).Field(2, 1, truth_.at("group")[2]).Ok();
    ui.ExpectDialog("Check lattice information").Field(1, 1, Text(At("cell", 0) * 1.003))
        .Field(2, 1, Text(At("cell", 1) * 0.998)).Field(3, 1, Text(At("cell", 2) * 1.0025))
        .Field(4, 1, Text(At("cell", 4) * 1.002)).Ok();
    EditPhaseInfo(0);
    ASSERT_EQ(DialogOk, 1);
    // The atoms give the starting intensities 10 (A^2 + B^2) only.
    std::string memo;
    for (const Tokens& a : atoms_) memo += a[1] + "\n";
    ui.ExpectDialog("Enter or Edit the atom list").Memo(memo).Ok();
    for (size_t j = 0; j < atoms_.size(); ++j) {
      DialogScript& d = ui.ExpectDialog("Atom " + std::to_string(j + 1) + " ");
      for (int32_t i = 0; i < 5; ++i) d.Field(1 + i, 1, atoms_[j][i == 0 ? 6 : i == 4 ? 7 : 2 + i]);
      d.Ok();
    }
    EditAtomList(0);
    ASSERT_EQ(DialogOk, 1);
    ui.ExpectDialog("Form hkl").Field(1, 1, truth_.at("hkl_range")[1]).Field(2, 1, truth_.at("hkl_range")[2]).Ok();
    ui.ExpectDialog("").Ok();
    FormHklSet();
    ASSERT_GT(PhaseTable[1].ReflectionCount, 50);
  }

  // PREPARE (merge threshold 0.5; W0 20 % low, W1 20 % high), MAKE with the controls of a final
  // refinement; then, as the fit is poor, PREPARE and MAKE again; SHOW, SAVE, exit. PREPARE ties
  // reflections closer than the threshold at the cell it finds: from the start cell, 0.3 % off,
  // it ties (0 1 3) to (2 2 1), 7 channels apart at the true cell. The first match refines the
  // cell (and hands the widths to the spectrum), so the second ties only true neighbours.
  void Match() {
    MainMode = PowderMatch;
    const int32_t base = PhaseParameterOffset(1);
    const std::string& name = ModeNames[PowderMatch];
    ui.QueueAnswer(true);  // not normalized: proceed
    for (int32_t stage = 1; stage <= 2; ++stage) {
      ui.ExpectDialog(name).Radio(2).Ok();
      if (stage == 2) ui.QueueAnswer(true);  // results not saved: still prepare
      ui.ExpectDialog("Preparing parameter array").Check(1, false).Ok();  // a new array, not the fitted one
      ui.ExpectDialog("Prepare " + name).Field(1, 1, "5").Field(3, 1, "3").Field(4, 1, "10").Edit(1, "0.5")
          .Edit(2, "0.01").Ok();
      ui.QueueAnswer(false);  // no scaling correction
      ui.ExpectDialog("Prepare").Ok();
      DialogScript& grid = ui.ExpectDialog("Parameter array");
      if (stage == 1)
        grid.Cell(2, base + 8, "1").Cell(3, base + 8, Text(0.8 * At("phase", 1))).Cell(4, base + 8, "40")
            .Cell(3, base + 9, Text(1.2 * At("phase", 2)));
      grid.Ok();
      ui.ExpectDialog(name).Radio(3).Ok();
      ui.ExpectDialog("Check the Fit Controls").Field(1, 1, "30").Field(2, 1, "0.99").Field(3, 1, "0.01")
          .Field(4, 1, "1e-5").Ok();
      ui.ExpectDialog("").Ok();
    }
    ui.ExpectDialog(name).Radio(4).Ok();
    for (int32_t page = 0; page < 2; ++page) ui.ExpectDialog("Output of fitting results").Ok();
    ui.ExpectDialog(name).Radio(5).Ok();
    ui.ExpectDialog(name).Radio(6).Ok();
    FitActionMenu();
    ASSERT_EQ(FitPending[PowderMatch], 0);
  }

  std::map<std::string, Tokens> truth_;
  std::vector<Tokens> reflections_, atoms_;  // the truth file's rows
  std::filesystem::path home_ = std::filesystem::current_path(), folder_ = TestTempPath("powder_match_truth");

private:
  FreshEngine engine_;
  KeepValues<int32_t> ints_[6] = {{&WidthMode, 1}, {&BackgroundMode, 1}, {&GraphMode, 1}, {&AsciiErrorType, 1},
                                  {&PreparedParameterCount, 1}, {UseAvailableArray, ModeCount}};
  KeepValues<int32_t> columns_[5] = {{&AsciiColumnX, 1}, {&AsciiColumnY, 1}, {&AsciiColumnE, 1}, {&VarianceMode, 1},
                                     {&ParameterArrayMode, 1}};
  KeepValues<uint8_t> bytes_[8] = {{&M2Mode, 1},         {&TrevoAutoRun, 1},     {&StartingChannelOne, 1},
                                   {&FitControlsGiven, 1}, {FitPending, ModeCount}, {ResultsUnsaved, ModeCount},
                                   {OptionFlags, OptionFlagCount}, {&StopButtonOption, 1}};
  KeepValues<double> doubles_[3] = {{&DelayDeviation, 1}, {&MergeThreshold, 1}, {&WeakPeakLevel, 1}};
};

TEST_F(PowderMatchTruth, TimeOfFlightZirconia) {
  ASSERT_NO_FATAL_FAILURE(EnterSpectrumAndPhase());
  ASSERT_NO_FATAL_FAILURE(Match());
  const TParameter& fit = *FitParameters;
  const TSpectrum& sp = *SpectrumList[1];
  const int32_t base = PhaseParameterOffset(1);
  std::cout << "chi2/dof " << fit.ChiDf << ", " << TotalFitIterations << " iterations, " << fit.NFree << " free\n";
  EXPECT_GE(fit.ChiDf, 0.9);
  EXPECT_LE(fit.ChiDf, 1.1);

  // The cell constants and the two widths.
  const LATTICE& p = PhaseTable[1];
  for (int32_t i = 0; i < 6; ++i)
    if (p.CellErrors[i] > 0) {
      EXPECT_LE(std::fabs(p.Cell[i] - At("cell", i)), 3 * p.CellErrors[i]) << "cell " << i;
    }
  for (int32_t i = 1; i <= 2; ++i) {
    const ParameterRecord& w = fit.Records[base + 7 + i];
    EXPECT_LE(std::fabs(w.value - At("phase", i)), 3 * w.Error) << w.Name;
  }

  // Channel and width (law 0) of every true reflection; a reflection is isolated when no other
  // lies within 3 widths. Each isolated one inside the interval is matched to the program's
  // reflection of nearest d (isolated ones are 0.01 A apart, the fitted d off by 1e-4 at most).
  const double perD = TofConstant * At("header", 1) * std::sin(At("header", 2) / RadToDeg) / At("header", 0);
  const double f = sp.WorkFirst, l = sp.WorkLast;
  std::vector<double> channel;
  for (const Tokens& r : reflections_) channel.push_back(std::stod(r[5]) * perD - At("global", 2));
  int32_t checked = 0;
  double worst = 0, squares = 0;
  for (size_t t = 0; t < reflections_.size(); ++t) {
    const double c = channel[t], width = At("phase", 1) + At("phase", 2) * (2 * c - f - l) / (l - f);
    bool isolated = c >= f + 3 * width && c <= l - 3 * width;
    for (size_t u = 0; u < channel.size(); ++u) isolated = isolated && (u == t || std::fabs(channel[u] - c) >= 3 * width);
    if (!isolated) continue;
    const double d = std::stod(reflections_[t][5]);
    int32_t j = 1;
    for (int32_t k = 2; k <= p.ReflectionCount; ++k)
      if (std::fabs(HklTable[k][1].d - d) < std::fabs(HklTable[j][1].d - d)) j = k;
    ASSERT_LT(std::fabs(HklTable[j][1].d - d), 1e-3) << "d " << d;
    const ParameterRecord& r = fit.Records[base + 10 + j];
    ASSERT_EQ(r.n, base + 10 + j) << "an isolated reflection shares its intensity, d " << d;
    const double dev = (r.value - std::stod(reflections_[t][7])) / r.Error;
    worst = std::max(worst, std::fabs(dev)), squares += dev * dev;
    EXPECT_LE(std::fabs(dev), 3) << r.Name << " truth " << reflections_[t][7] << " fitted " << r.value << " +- " << r.Error;
    ++checked;
  }
  const double rms = std::sqrt(squares / std::max(checked, 1));
  std::cout << checked << " isolated reflections, largest deviation " << worst << " sigma, rms " << rms << "\n";
  EXPECT_GE(checked, 10);
  EXPECT_GE(rms, 0.5);  // errors wrong by a factor of two show here
  EXPECT_LE(rms, 1.6);

  // R_w^2 sum w y^2 = sum w (y - F)^2 = ChiDf x DoF, the sum taken here over the interval at the
  // fitted records (relative 1e-9: the same sums in another order).
  double chi = 0;
  for (int32_t point = 1; point <= fit.NPoints; ++point) {
    double y = 0, w = 0, F = 0;
    RietveldModel(y, w, F, point, 1);
    chi += w * (y - F) * (y - F);
  }
  EXPECT_NEAR(RFactorW[1] * RFactorW[1] * SumWeightedObservedSquares[1], chi, 1e-9 * chi);
  EXPECT_NEAR(fit.ChiDf * (fit.NPoints - fit.NFree), chi, 1e-9 * chi);

  // Block R of the res-file: every reflection with |its intensity record| to 4 decimals.
  std::ifstream in(folder_ / "truth_tof_zro2.res");
  std::vector<std::string> lines;
  for (std::string s; std::getline(in, s);) lines.push_back(s.substr(0, s.find('\r')));
  const auto r = std::find(lines.begin(), lines.end(), "   h   k   l  mul      dk        Area");
  ASSERT_NE(r, lines.end());
  ASSERT_GT(lines.end() - r, p.ReflectionCount);
  for (int32_t j = 1; j <= p.ReflectionCount; ++j) {
    std::istringstream row(r[j]);
    int32_t h = 0, k = 0, ll = 0, m = 0;
    double d = 0, area = 0;
    row >> h >> k >> ll >> m >> d >> area;
    const THklRecord& x = HklTable[j][1];
    EXPECT_EQ(std::tuple(h, k, ll, m), std::tuple(x.h, x.k, x.l, x.Multiplicity)) << r[j];
    EXPECT_NEAR(area, std::fabs(fit.Records[base + 10 + j].value), 0.5e-4 + 1e-9) << r[j];
  }
}

}  // namespace
