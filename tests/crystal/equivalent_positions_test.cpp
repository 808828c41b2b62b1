// Equivalent positions of an atom: where the images coincide without a wrap by a cell edge, the
// count on every position is gemmi's site-symmetry order and the positions are the orbit
// (tools/gen_symmetry_golden.py); the merge rules kept from the display; the Fourier peaks
// untouched.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include "core/neighbour_services.h"
#include "crystal/equivalent_positions.h"
#include "crystal/phase_setup.h"
#include "support/golden_files.h"

namespace {

using Positions = std::vector<std::array<double, 4>>;  // x, y, z, count

class EquivalentPositionsTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    for (int i = 1; i <= FourierPeakCapacity; ++i) FourierPeaks[i] = {0.1 * i, 0.2, 0.3, -1.0 * i};
    std::copy(FourierPeaks, FourierPeaks + FourierPeakCapacity + 1, peaks_);
  }
  void TearDown() override {
    EXPECT_EQ(std::memcmp(peaks_, FourierPeaks, sizeof peaks_), 0) << "the Fourier peaks changed";
    PhaseTest::TearDown();
  }
  // The atom at x, y, z as atom 1 of phase 1; the positions kept after the merge.
  Positions Find(double x, double y, double z) {
    PhaseTable[1].AtomCount = 1;
    AtomTable[1][1].X = x, AtomTable[1][1].Y = y, AtomTable[1][1].Z = z;
    FindEquivalentPositions(1, 1, list_);
    Positions out;
    for (int i = 1; i <= list_.count; ++i)
      if (list_.Kept(i)) out.push_back({list_.records[i].x, list_.records[i].y, list_.records[i].z, list_.records[i].count});
    return out;
  }
  // A hand-made phase: the identity and x + d, y + d, z + d (no centring, not centrosymmetric).
  static void Shifted(double d) {
    LATTICE& p = PhaseTable[1];
    p.OperationCount = 2, p.CentringCount = 0, p.Centrosymmetric = 0;
    for (int j = 1; j <= 2; ++j)
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) p.Rotations[r][c][j] = r == c;
        p.Translations[r][j] = j == 2 ? d : 0.0;
      }
  }
  static double CountSum(const Positions& kept) {
    double s = 0;
    for (const auto& k : kept) s += k[3];
    return s;
  }
  TEquivalentPositions list_;
  TFourierPeak peaks_[FourierPeakCapacity + 1];
  KeepValues<TFourierPeak> kept_{FourierPeaks, FourierPeakCapacity + 1};
};

}  // namespace

TEST_F(EquivalentPositionsTest, SiteMultiplicityIsGemmisWhereNoImageWraps) {
  const auto sites = GoldenRows("equivalent_sites.txt", "crystal");
  ASSERT_EQ(sites.size(), 14u);
  for (const Tokens& t : sites) {  // site entry x y z images multiplicity
    const int entry = std::stoi(t[1]), images = std::stoi(t[5]), m = std::stoi(t[6]);
    SCOPED_TRACE(t[1] + " at " + t[2] + " " + t[3] + " " + t[4]);
    ASSERT_TRUE(SetUpPhase(1, std::abs(entry), entry < 0 ? 2 : 1, {10, 10, 10, 90, 90, 90}));
    const Positions kept = Find(std::stod(t[2]), std::stod(t[3]), std::stod(t[4]));
    ASSERT_EQ(list_.count, images);
    EXPECT_EQ(int(kept.size()) * m, images);
    for (const auto& k : kept) EXPECT_EQ(k[3], m);
  }
}

TEST_F(EquivalentPositionsTest, CountsAddUpToTheImagesOfEveryTableEntry) {
  int entries = 0;
  for (int setting = 1; setting <= 2; ++setting)
    for (int group = 1; group <= 234; ++group) {
      if (!SetUpPhase(1, group, setting, {10, 10, 10, 90, 90, 90})) continue;
      ++entries;
      const LATTICE& p = PhaseTable[1];
      const Positions kept = Find(0.0, 0.25, 0.1 + 0.001 * group);
      ASSERT_EQ(list_.count, (p.CentringCount + 1) * p.OperationCount * (1 + p.Centrosymmetric)) << group;
      EXPECT_EQ(CountSum(kept), list_.count) << group;
      for (const auto& k : kept) EXPECT_TRUE(std::fabs(k[0]) < 1 && std::fabs(k[1]) < 1 && std::fabs(k[2]) < 1) << group;
    }
  ui.Clear();  // "No group ..." for the numbers the table lacks
  EXPECT_EQ(entries, 277);
}

TEST_F(EquivalentPositionsTest, MergeRulesOfTheDisplay) {
  // Four operations without translations, an atom at the origin: one position, count 4.
  ASSERT_TRUE(SetUpPhase(1, 16, 1, {4, 5, 6, 90, 90, 90}));
  EXPECT_EQ(Find(0, 0, 0), (Positions{{0, 0, 0, 4}}));
  // Images 0.02 apart merge into the first (the second gets x = 777); 0.03 apart do not.
  Shifted(0.02);
  EXPECT_EQ(Find(0.1, 0.2, 0.3), (Positions{{0.1, 0.2, 0.3, 2}}));
  EXPECT_EQ(list_.records[2].x, MergedPosition);
  Shifted(0.03);
  EXPECT_EQ(Find(0.1, 0.2, 0.3).size(), 2u);
  // -0.25 and its image 0.75 stay apart; 1.25 comes down to 0.25 once, -1.5 up to -0.5.
  Shifted(1.0);
  EXPECT_EQ(Find(-0.25, 0.25, -0.5), (Positions{{-0.25, 0.25, -0.5, 1}, {0.75, 0.25, 0.5, 1}}));
  Shifted(-1.0);
  EXPECT_EQ(Find(-0.25, 0.25, -0.5)[1], (std::array<double, 4>{-0.25, -0.75, -0.5, 1}));
  // Closeness is not passed on: images at 0, 0.02, 0.02 and 0.04 give two positions.
  Shifted(0.02);
  LATTICE& p = PhaseTable[1];
  p.CentringCount = 1;
  p.CentringVectors[0][1] = p.CentringVectors[1][1] = p.CentringVectors[2][1] = 0.02;
  EXPECT_EQ(Find(0, 0, 0), (Positions{{0, 0, 0, 3}, {0.04, 0.04, 0.04, 1}}));
  // The inverted copies of a centrosymmetric phase are not reduced: P 1 21/c 1 at the origin
  // keeps (0, 1/2, 1/2) and (0, -1/2, -1/2) apart.
  ASSERT_TRUE(SetUpPhase(1, 14, 2, {5, 6, 7, 90, 100, 90}));
  EXPECT_EQ(Find(0, 0, 0), (Positions{{0, 0, 0, 2}, {0, 0.5, 0.5, 1}, {0, -0.5, -0.5, 1}}));
}

TEST_F(EquivalentPositionsTest, DamagedCountsStayInsideTheTables) {
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {4, 4, 4, 90, 90, 90}));
  PhaseTable[1].OperationCount = 60, PhaseTable[1].CentringCount = 5;
  EXPECT_EQ(CountSum(Find(0.1, 0.2, 0.3)), MaxEquivalentPositions);
  EXPECT_EQ(list_.count, MaxEquivalentPositions);
  PhaseTable[1].OperationCount = -3;
  Find(0.1, 0.2, 0.3);
  EXPECT_EQ(list_.count, 0);
  for (auto [phase, atom] : {std::pair{7, 1}, {1, 201}}) {
    FindEquivalentPositions(phase, atom, list_);
    EXPECT_EQ(list_.count, 0);
  }
  EXPECT_EQ(ui.Messages(),
            (std::vector<std::string>{"Error, phase index 7 outside 1..6", "Error, atom index 201 outside 1..200"}));
}
