// The committed synthetic sequence (tools/gen_trevo_sequence.py): the view's empirical
// half-widths against scipy's, and the a edge of FePO4 recovered step by step from the found
// peaks by the cell refinement.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <map>
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "evolution/cell_refinement.h"
#include "support/golden_files.h"
#include "trevo_fixture.h"

class SyntheticSequence : public TrevoTest {
protected:
  void SetUp() override {
    TrevoTest::SetUp();
    truth = GoldenRows("sequence/truth.txt", "evolution");
    SpectrumDir = std::string(VKEST_SOURCE_DIR) + "/tests/evolution/data/sequence";
    TextFile f;
    ReadSpectrumSequence(f, SpectrumDir + "/sequence.lst", SequenceCount, 2);
    TSpectrum& sp = *SpectrumList[1];
    sp.FileType = 3, sp.FirstChannel = 1, sp.ChanWidth = 16, sp.FlightPath = 21.13, sp.Theta = 76, sp.Delay = 0;
    sp.WorkFirst = 880, sp.WorkLast = 2560, sp.W0 = 2.3, sp.W1 = 3.3, sp.Dw0 = 1;
    CorrectForEffectiveSpectrum = 0, TrevoMode = 0, PeakSensitivity = 1, PeakResolution = 1;
  }
  std::vector<Tokens> Rows(const std::string& key) const {
    std::vector<Tokens> out;
    for (const Tokens& r : truth)
      if (r[0] == key) out.push_back(r);
    return out;
  }
  std::vector<Tokens> truth;
};

TEST_F(SyntheticSequence, ViewedHalfWidthsAgreeWithScipy) {
  ui.ExpectDialog("").Check(5).Ok();  // " Print empiric halfwidths"
  ui.ExpectDialog("Viewing the spectrum sequence").Ok();
  int32_t count = 0;
  ViewSpectrumSequence(count);
  EXPECT_EQ(InfoLines.lines[3], "20 spectra processed out of 20");
  // The logged peaks of every step (position, half-width) against scipy's at the same peak.
  std::map<int32_t, std::vector<std::pair<double, double>>> logged;
  int32_t step = 0;
  for (const std::string& line : LogLines()) {
    double i = 0, pos = 0, d = 0, hw = 0;
    if (line.rfind("Empiric halfwidths", 0) == 0) ++step;
    else if (step > 0 && std::sscanf(line.c_str(), "%lf %lf %lf %lf", &i, &pos, &d, &hw) == 4) logged[step].push_back({pos, hw});
  }
  ASSERT_EQ(step, 20);
  int32_t compared = 0;
  for (const Tokens& r : Rows("halfwidth"))
    for (const auto& [pos, hw] : logged[std::stoi(r[1])]) {
      if (std::fabs(pos - std::stod(r[5])) >= 2) continue;
      ++compared;
      EXPECT_NEAR(hw, std::stod(r[6]), 0.5) << "step " << r[1] << " channel " << r[5];
    }
  EXPECT_GT(compared, 60);
}

TEST_F(SyntheticSequence, FoundPeaksGiveTheGrowingEdge) {
  const auto steps = Rows("step"), isolated = Rows("isolated");
  ASSERT_EQ(steps.size(), 20u);
  PhaseTable[1].CrystalSystem = 3;
  std::copy_n(PhaseTable[2].Cell, 6, PhaseTable[1].Cell);  // the default FePO4 cell
  TTrevoPhase& t = TrevoPhases[1];
  TSpectrum& sp = *SpectrumList[1];
  std::vector<double> a(20), s(20);
  for (int32_t k = 1; k <= 20; ++k) {
    LoadSequenceSpectrum(k);
    ASSERT_EQ(DialogOk, 1);
    CorrectForCompression();
    SetSpectrumRange();
    // Each isolated reflection takes the found peak nearest its true position, within 1.5 channels.
    const double atrue = std::stod(steps[k - 1][3]);
    t.ReflectionCount = 0;
    for (const Tokens& r : isolated) {
      const int32_t h = std::stoi(r[1]), kk = std::stoi(r[2]), l = std::stoi(r[3]);
      const double d = 1 / std::sqrt(std::pow(h / atrue, 2) + std::pow(kk / 5.789299, 2) + std::pow(l / 4.782, 2));
      int32_t best = 0;
      for (int32_t i = 1; i <= MarkedPointCount; ++i)
        if (best == 0 || std::fabs(MarkedPoints[i] - sp.DToChannel(d)) < std::fabs(MarkedPoints[best] - sp.DToChannel(d)))
          best = i;
      if (best == 0 || std::fabs(MarkedPoints[best] - sp.DToChannel(d)) > 1.5) continue;
      const int32_t j = ++t.ReflectionCount;
      t.Reflections[j] = {h, kk, l};
      t.Amplitudes[j] = sp.Y[static_cast<int32_t>(std::lround(MarkedPoints[best]))];
      TrevoIdentificationD[j][1] = sp.ChannelToD(MarkedPoints[best]);
    }
    RefineCellFromReflections(1);
    a[k - 1] = t.Cell[0], s[k - 1] = k;
    EXPECT_NEAR(t.Cell[0], atrue, 2e-3) << "step " << k << " with " << t.ReflectionCount << " reflections";
  }
  // Straight line through a(step): the slope within 3 of its standard errors of the truth.
  const double n = 20, sx = std::accumulate(s.begin(), s.end(), 0.0), sy = std::accumulate(a.begin(), a.end(), 0.0);
  double sxx = 0, sxy = 0;
  for (int32_t i = 0; i < 20; ++i) sxx += s[i] * s[i], sxy += s[i] * a[i];
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), level = (sy - slope * sx) / n;
  double rss = 0;
  for (int32_t i = 0; i < 20; ++i) rss += std::pow(a[i] - level - slope * s[i], 2);
  const double error = std::sqrt(rss / (n - 2) / (sxx - sx * sx / n));
  const double trueSlope = (std::stod(steps[19][3]) - std::stod(steps[0][3])) / 19;
  EXPECT_NEAR(slope, trueSlope, 3 * error);
}
