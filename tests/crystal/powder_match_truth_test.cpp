// The powder match (free intensity per reflection) against known truth: the time-of-flight
// zirconia spectrum of tools/gen_refinement_truth.py, read by the core reader, the phase entered
// through the dialogs from a perturbed cell, prepared, made, shown and saved through the menu.
// The cell, the widths and the intensity of every reflection that no other one overlaps must land
// within 3 standard deviations of their truth; chi2/dof near 1; the R-factor sums obey
// R_w^2 sum w y^2 = sum w (y - F)^2 = ChiDf DoF; block R of the res-file lists the intensities.
#include <gtest/gtest.h>
#include <fstream>
#include <sstream>
#include <tuple>
#include "crystal/truth_setup.h"

namespace {

constexpr int32_t PowderMatch = 2;

class PowderMatchTruth : public TruthTest {
protected:
  PowderMatchTruth() : TruthTest("powder_match_truth") {}
  void SetUp() override {
    TruthTest::SetUp();
    MergeThreshold = 0.5, WeakPeakLevel = 1;
  }

  // PREPARE (merge threshold 0.5; W0 20 % low, W1 20 % high), MAKE with the controls of a final
  // refinement; then, as the fit is poor, PREPARE and MAKE again; SHOW, SAVE, exit. PREPARE ties
  // reflections closer than the threshold at the cell it finds: from the start cell, 0.3 % off,
  // it ties (0 1 3) to (2 2 1), 7 channels apart at the true cell. The first match refines the
  // cell (and hands the widths to the spectrum), so the second ties only true neighbours.
  void Match(const Truth& t) {
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
        grid.Cell(2, base + 8, "1").Cell(3, base + 8, Text(0.8 * t.At("phase", 1))).Cell(4, base + 8, "40")
            .Cell(3, base + 9, Text(1.2 * t.At("phase", 2)));
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
};

TEST_F(PowderMatchTruth, TimeOfFlightZirconia) {
  const Truth t = ReadTruth("truth_tof_zro2.txt");
  ASSERT_NO_FATAL_FAILURE(ReadSpectrum(t));
  // The atoms as they are: they give the starting intensities 10 (A^2 + B^2) only.
  ASSERT_NO_FATAL_FAILURE(EnterPhase(t, false));
  ASSERT_GT(PhaseTable[1].ReflectionCount, 50);
  ASSERT_NO_FATAL_FAILURE(Match(t));
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
      EXPECT_LE(std::fabs(p.Cell[i] - t.At("cell", i)), 3 * p.CellErrors[i]) << "cell " << i;
    }
  for (int32_t i = 1; i <= 2; ++i) {
    const ParameterRecord& w = fit.Records[base + 7 + i];
    EXPECT_LE(std::fabs(w.value - t.At("phase", i)), 3 * w.Error) << w.Name;
  }

  // Channel and width (law 0) of every true reflection; a reflection is isolated when no other
  // lies within 3 widths. Each isolated one inside the interval is matched to the program's
  // reflection of nearest d (isolated ones are 0.01 A apart, the fitted d off by 1e-4 at most).
  const double perD = TofConstant * t.At("header", 1) * std::sin(t.At("header", 2) / RadToDeg) / t.At("header", 0);
  const double f = sp.WorkFirst, l = sp.WorkLast;
  std::vector<double> channel;
  for (const Tokens& r : t.reflections) channel.push_back(std::stod(r[4]) * perD - t.At("global", 2));
  int32_t checked = 0;
  double worst = 0, squares = 0;
  for (size_t n = 0; n < t.reflections.size(); ++n) {
    const double c = channel[n], width = t.At("phase", 1) + t.At("phase", 2) * (2 * c - f - l) / (l - f);
    bool isolated = c >= f + 3 * width && c <= l - 3 * width;
    for (size_t u = 0; u < channel.size(); ++u) isolated = isolated && (u == n || std::fabs(channel[u] - c) >= 3 * width);
    if (!isolated) continue;
    const double d = std::stod(t.reflections[n][4]);
    int32_t j = 1;
    for (int32_t k = 2; k <= p.ReflectionCount; ++k)
      if (std::fabs(HklTable[k][1].d - d) < std::fabs(HklTable[j][1].d - d)) j = k;
    ASSERT_LT(std::fabs(HklTable[j][1].d - d), 1e-3) << "d " << d;
    const ParameterRecord& r = fit.Records[base + 10 + j];
    ASSERT_EQ(r.n, base + 10 + j) << "an isolated reflection shares its intensity, d " << d;
    const double dev = (r.value - std::stod(t.reflections[n][6])) / r.Error;
    worst = std::max(worst, std::fabs(dev)), squares += dev * dev;
    EXPECT_LE(std::fabs(dev), 3) << r.Name << " truth " << t.reflections[n][6] << " fitted " << r.value << " +- " << r.Error;
    ++checked;
  }
  const double rms = std::sqrt(squares / std::max(checked, 1));
  std::cout << checked << " isolated reflections, largest deviation " << worst << " sigma, rms " << rms << "\n";
  EXPECT_GE(checked, 10);
  EXPECT_GE(rms, 0.5);  // errors wrong by a factor of two show here
  EXPECT_LE(rms, 1.6);

  // R_w^2 sum w y^2 = sum w (y - F)^2 = ChiDf x DoF, the sum taken here over the interval at the
  // fitted records (relative 1e-9: the same sums in another order).
  const double chi = ChiSquare();
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
