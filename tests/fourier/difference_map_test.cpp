// The difference synthesis through the whole operation: after a powder match, the observed
// amplitudes sqrt(I) with the calculated phases minus k times the calculated factors, k the ratio
// of the two amplitude sums the operation forms itself. The truth is numpy's section of that map
// (tools/gen_difference_map_golden.py): the model lacks one atom of the structure whose
// intensities were matched, and the map's highest point is that atom.
#include <algorithm>
#include <cmath>
#include "crystal/profile_setup.h"
#include "fourier/fourier_map.h"
#include "fourier/fourier_state.h"
#include "fourier/fourier_synthesis.h"
#include "fourier/map_peaks.h"
#include "support/golden_files.h"
#include "support/gui_app.h"
#include "support/temp_path.h"

namespace {

class DifferenceMapTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    FourierSettings = TFourierSettings{};
    FourierPeakCount = 0, FourierIndexList.clear(), FourierNotes.clear();
  }
  KeepValues<TFourierSettings> settings_{&FourierSettings, 1};
  KeepValues<TFourierPeak> peaks_{FourierPeaks, FourierPeakCapacity + 1};
  KeepValues<int32_t> counts_[2] = {{&FourierPeakCount, 1}, {&ParameterArrayMode, 1}};
  KeepValues<uint8_t> pending_{FitPending, ModeCount};
  KeepValues<ParameterRecord> records_{parar, MaxParameters + 1};
  KeepValues<double> sums_[2] = {{&ObservedAmplitudeSum, 1}, {&CalculatedAmplitudeSum, 1}};
};

TEST_F(DifferenceMapTest, SectionMatchesNumpyWithTheAmplitudeSumsScale) {
  RequireGuiApplication();  // the section display draws its texts
  std::vector<Tokens> refl, map;
  std::vector<double> cell, sums;
  for (const Tokens& row : GoldenRows("difference_map.txt", "fourier")) {
    if (row[0] == "refl") refl.push_back(row);
    if (row[0] == "map") map.push_back(row);
    for (size_t i = 1; row[0] == "cell" && i < row.size(); ++i) cell.push_back(std::stod(row[i]));
    for (size_t i = 1; row[0] == "sums" && i < row.size(); ++i) sums.push_back(std::stod(row[i]));
  }
  ASSERT_EQ(cell.size(), 6u);
  ASSERT_EQ(map.size(), 900u);
  ASSERT_GT(refl.size(), 100u);
  MainMode = ParameterArrayMode = 2, FitPending[2] = 0;
  SetUpProfileSpectrum(ProfileSpectrum{});
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]}, {IsoAtom(0.7, 0.1, 0.2, 0.3, 0)}));
  PhaseTable[1].AtomCount = 0;  // no atoms to match the peaks with
  const int32_t n = static_cast<int32_t>(refl.size());
  PhaseTable[1].ReflectionCount = n;
  for (int32_t j = 1; j <= n; ++j) {
    const Tokens& t = refl[j - 1];
    THklRecord& r = HklTable[j][1];
    r = THklRecord{};
    r.h = std::stoi(t[1]), r.k = std::stoi(t[2]), r.l = std::stoi(t[3]), r.A = std::stod(t[4]), r.B = std::stod(t[5]);
    r.q = 1, r.Multiplicity = 2;
  }
  // The powder match's array: the phase's metric, and the intensities of the true structure.
  LayOutProfileParameters();
  for (int32_t j = 1; j <= n; ++j) Rec(IntensityRecord(1, j)).value = std::stod(refl[j - 1][6]);
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) parar[i] = Rec(i);

  ui.ExpectDialog("3-dimensional Fourier synthesis").Radio(4).Cell(0, 2, "0.37").Cell(1, 2, "0.37").Ok();
  ui.ExpectDialog("").Ok();  // the one section
  ui.ExpectDialog("").Ok();  // the closing list
  FourierSynthesis();
  ASSERT_EQ(std::vector<int32_t>({MapNX, MapNY, MapNZ}), std::vector<int32_t>({30, 30, 1}));
  // The sums over the reflections (about 200 terms of order 1: a few ulp each).
  EXPECT_NEAR(ObservedAmplitudeSum, sums[0], 1e-12 * sums[0]);
  EXPECT_NEAR(CalculatedAmplitudeSum, sums[1], 1e-12 * sums[1]);
  // Each point a sum of 240 terms scaled to 1000: 1e-9 of the scale covers the rounding.
  double worst = 0;
  for (const Tokens& t : map) {
    const int32_t i = std::stoi(t[1]), j = std::stoi(t[2]);
    const double truth = std::stod(t[3]);
    worst = std::max(worst, std::fabs(FourierMap[i][j][1] - truth));
    ASSERT_NEAR(FourierMap[i][j][1], truth, 1e-6) << i << " " << j;
  }
  std::cout << "largest difference from numpy " << worst << "\n";
  // The missing atom at (0.30, 0.60) is the map's top: grid point (10, 19).
  EXPECT_GT(FourierMap[10][19][1], 999.9);
}

// Another numpy may sum in another order: 1e-9 of each number (the map's scale is 1000).
TEST(DifferenceMapGolden, IsWhatTheGeneratorWritesNow) {
  VKEST_REQUIRE_PYTHON("numpy, gemmi");
  const auto out = TestTempPath("difference_map.txt");
  ASSERT_EQ(RunTool("gen_difference_map_golden.py", out.string()), 0);
  const auto mismatches = TokenMismatches(TokenRows(out), GoldenRows("difference_map.txt", "fourier"), [](const Tokens& row, size_t c) {
    double x = 0;
    return TokenNumber(row[c], x) ? 1e-9 * std::max(1.0, std::fabs(x)) : NAN;
  });
  std::filesystem::remove(out);
  EXPECT_TRUE(mismatches.empty()) << JoinLines(mismatches);
}

}  // namespace
