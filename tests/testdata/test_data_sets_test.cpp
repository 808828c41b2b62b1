// The built-in data sets against the generator's committed output, gemmi's reflections of the
// true cells and the anchors the tables must keep.
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include "crystal/truth_setup.h"
#include "support/temp_path.h"
#include "testdata/test_data_sets.h"
#include "testdata/test_menu.h"
#include "testdata/test_data_tables.h"

namespace {

class DataSetTest : public CrystalDialogTest {
protected:
  KeepValues<int32_t> ints_[6] = {{&NChannels, 1}, {&IntervalFirst, 1}, {&IntervalLast, 1},
                                  {&SpectrumCount, 1}, {&DSpacingDataType, 1}, {&PhaseCount, 1}};
  KeepValues<std::string> cell_{&TestTrueCell, 1};
};

TEST(GeneratedTables, KeepEveryGivenAnchor) {
  const std::span<const double> t[5] = {ZrO2Counts, SmallPeakCounts, VismCounts, AsymmetricPeakCounts, PelinCounts};
  const std::vector<double> first[5] = {{46, 58, 74, 64, 81, 74, 80, 70, 65, 81}, {43, 63, 66, 61, 51},
                                        {7219, 7568, 7420, 7617}, {3853, 4538, 5123, 5814, 7231},
                                        {1.847, 2.9, 9.6, 11.3, 12.8}};
  const double size[5] = {746, 1619, 390, 415, 277}, top[5] = {14693, 682, 145387, 23149, 28.7};
  const long at[5] = {289, 129, 66, 109, 14};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(t[k].size(), size[k]);
    EXPECT_TRUE(std::equal(first[k].begin(), first[k].end(), t[k].begin())) << k;
    const auto m = std::max_element(t[k].begin(), t[k].end());
    EXPECT_EQ(std::make_pair(*m, m - t[k].begin() + 1), std::make_pair(top[k], at[k])) << k;
    EXPECT_EQ(std::count(t[k].begin(), t[k].end(), top[k]), 1) << k;
  }
  EXPECT_EQ(*std::min_element(VismCounts.begin(), VismCounts.end()), -399);
}

TEST(Generators, ReproduceTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy, scipy, periodictable");
  const std::filesystem::path dir = TestTempPath("testdata_gen");
  std::filesystem::create_directories(dir);
  const std::string src = VKEST_SOURCE_DIR, data = src + "/tests/testdata/data/";
  // Integer draws from fixed seeds and exact arithmetic: equal to the byte.
  ASSERT_EQ(RunTool("gen_test_data.py", dir.string()), 0);
  EXPECT_EQ(ReadWholeFile(dir / "test_data_tables.cpp"), ReadWholeFile(src + "/src/testdata/test_data_tables.cpp"));
  EXPECT_EQ(ReadWholeFile(dir / "test_data_checks.txt"), ReadWholeFile(data + "test_data_checks.txt"));
  ASSERT_EQ(RunTool("gen_random_test_golden.py", (dir / "random.txt").string()), 0);
  EXPECT_EQ(ReadWholeFile(dir / "random.txt"), ReadWholeFile(data + "random_test_golden.txt"));
  // The same counts; the optimiser and the solves may move the last bits.
  ASSERT_EQ(RunTool("gen_expdecay_golden.py", (dir / "expdecay.txt").string()), 0);
  const auto bad = TokenMismatches(TokenRows(dir / "expdecay.txt"), GoldenRows("expdecay_golden.txt", "testdata"),
                                   [](const Tokens& row, size_t c) { return 1e-9 * std::fabs(std::stod(row[c])); });
  EXPECT_TRUE(bad.empty()) << JoinLines(bad);
  // gemmi's operations and libm's exp: the last bits at most, of |F| ~ 1 (an extinct |F| is a
  // rounding residue near 1e-15, whose own bits vary with numpy's summation order).
  ASSERT_EQ(RunTool("gen_zro2_structure_factors.py", (dir / "zro2.txt").string()), 0);
  const auto moved =
      TokenMismatches(TokenRows(dir / "zro2.txt"), GoldenRows("zro2_structure_factors.txt", "testdata"),
                      [](const Tokens& row, size_t c) { return 1e-12 * std::max(1.0, std::fabs(std::stod(row[c]))); });
  EXPECT_TRUE(moved.empty()) << JoinLines(moved);
  std::filesystem::remove_all(dir);
}

TEST_F(DataSetTest, IndexingSetsLieOnTheReflectionsOfTheirTrueCells) {
  const std::vector<Tokens> rows = GoldenRows("test_data_checks.txt", "testdata");
  const std::pair<std::string, void (*)()> sets[] = {{"zro2", SetZrO2TestData},   {"ortho", SetOrthorhombicTestData},
                                                      {"cubic", SetCubicTestData}, {"triclinic", SetTriclinicTestData},
                                                      {"two", SetTwoPhaseTestData}};
  for (const auto& [name, load] : sets) {
    load();
    int32_t i = 0;
    for (const Tokens& r : rows) {
      if (r[0] != "index" || r[1] != name) continue;
      ASSERT_LE(++i, DSpacingCount) << name;
      // The ZrO2 lines carry +0.1 % and -0.1 % alternately, the first up (the table is descending).
      const double d = std::stod(r[2]) * (name != "zro2" ? 1 : i % 2 ? 1.001 : 0.999);
      EXPECT_TRUE(std::any_of(DSpacingList + 1, DSpacingList + DSpacingCount + 1,
                              [&](const TDSpacingRecord& x) { return x.d == d && (name != "zro2" || x.X > 0); }))
          << name << " " << d;
      EXPECT_NEAR(std::stod(r[2]), std::stod(r[3]), std::stod(r[7])) << name << " " << r[2];
    }
    EXPECT_EQ(i, DSpacingCount) << name;
  }
  SetZrO2TestData();
  EXPECT_EQ(TestTrueCell, "True: A=5.32  B=5.22  C=5.15  b=99.3  V=141.2");
  int32_t row = 0;
  for (const Tokens& r : rows) {
    if (r[0] == "zro2_x") { EXPECT_NEAR(DSpacingList[++row].X, std::stod(r[3]), 0.06) << r[1]; }
  }
}

TEST_F(DataSetTest, CancelLoadsNothingAndCubicKeepsThePhaseCount) {
  PhaseCount = 3, DSpacingCount = 0;
  ui.ExpectDialog("Set the data for autoindexing test").Cancel();
  SetAutoindexingTestData();
  ui.ExpectDialog("Set the data for peak analysis test").Cancel();
  SetPeakTestData();
  EXPECT_EQ(std::make_pair(DSpacingCount, SpectrumList[1]->LastChannel), std::make_pair(0, 16384));
  ui.ExpectDialog("Set the data for autoindexing test").Radio(3).Ok();
  SetAutoindexingTestData();
  EXPECT_EQ(std::make_tuple(PhaseCount, DSpacingCount, DSpacingDataType), std::make_tuple(3, 6, 0));
}

TEST_F(DataSetTest, RietveldSetHoldsTheTableTheElementsAndTheReflections) {
  SetRietveldTestData();
  const TSpectrum &s1 = *SpectrumList[1], &s2 = *SpectrumList[2];
  for (int32_t c = 1; c <= 1024; ++c) {
    const bool data = c >= 60 && c <= 805;
    ASSERT_EQ(std::make_pair(s1.Y[c], s1.E[c]), data ? std::make_pair(ZrO2Counts[c - 60], std::sqrt(s1.Y[c]))
                                                     : std::make_pair(0.0, 1.0)) << c;
    ASSERT_EQ(s2.Y[c], c > 100 ? 1.25 * s1.Y[c - 100] : 0.0) << c;
    ASSERT_EQ(s1.X[c], s1.ChannelToD(c));
    // The delays differ by 100 channels: the same d 100 channels on.
    if (c <= 924) { ASSERT_NEAR(s2.X[c + 100], s1.X[c], 1e-12) << c; }
  }
  EXPECT_EQ(NChannels, 1024);  // the graph's pixels span the interval 1..1024
  // Coherent lengths of periodictable (fm / 10): Zr 7.16, O 5.805, Hf 7.77.
  const double lengths[4] = {0.716, 0.5805, 0.5805, 0.777};
  for (int32_t a = 1; a <= 4; ++a) EXPECT_DOUBLE_EQ(AtomTable[a][1].ScatteringLength, lengths[a - 1]) << a;
  EXPECT_EQ(AtomTable[2][1].Name, " O");
  EXPECT_NEAR(PhaseTable[1].Volume, 141.2, 0.05);
  ASSERT_GT(PhaseTable[1].ReflectionCount, 30);
  for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) EXPECT_TRUE(HklTable[j][1].d >= 1.577 && HklTable[j][1].d <= 3.8889);
}

// The set's atoms are isotropic (their T11 is B): every reflection's |F| is gemmi's sum over the
// P 1 21/c 1 operations with exp(-B / (4 d^2)) and periodictable's lengths
// (tools/gen_zro2_structure_factors.py), not a T11 read as an anisotropic beta.
TEST_F(DataSetTest, RietveldSetStructureFactorsAreGemmis) {
  SetRietveldTestData();
  std::map<std::array<int32_t, 3>, double> truth;
  for (const Tokens& row : GoldenRows("zro2_structure_factors.txt", "testdata"))
    truth[{std::stoi(row[1]), std::stoi(row[2]), std::stoi(row[3])}] = std::stod(row[5]);
  for (int32_t a = 1; a <= 4; ++a) EXPECT_EQ(AtomTable[a][1].IsotropicFlag, 1) << a;
  int32_t checked = 0;
  for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) {
    const THklRecord& r = HklTable[j][1];
    const auto it = truth.find({r.h, r.k, r.l});
    ASSERT_NE(it, truth.end()) << r.h << " " << r.k << " " << r.l;
    EXPECT_NEAR(std::hypot(r.A, r.B), it->second, 1e-9 + 1e-6 * it->second) << r.h << " " << r.k << " " << r.l;
    ++checked;
  }
  EXPECT_GT(checked, 30);
}

TEST_F(DataSetTest, ExponentialSetTakesItsRangeFromTheDataAndDiffersOnEachLoad) {
  SetExponentialSpectrum();
  const TSpectrum& s = *SpectrumList[1];
  const double first = s.Y[1];
  EXPECT_EQ(s.Ymax, *std::max_element(s.Y + 1, s.Y + 513));
  EXPECT_GT(s.Ymax, 1900);  // the stored 1761 cut the top off
  EXPECT_DOUBLE_EQ(s.E[1], std::sqrt(2000 * std::exp(-1 / 50.0) + 1));  // taken before the noise
  SetExponentialSpectrum();
  EXPECT_NE(s.Y[1], first);
}

// " TestFitra", " Set small peak spectrum" after a set shown in d (d values in its X): the set is
// drawn at once, on its own abscissa, the channels, and not in d.
TEST_F(DataSetTest, APeakSetIsDrawnOnItsOwnAbscissa) {
  KeepValues<int32_t> graph{&GraphMode, 1};
  KeepValues<uint8_t> axis{&GraphXAxis, 1};
  TSpectrum& s = *SpectrumList[1];
  for (int32_t k = 1; k <= 2000; ++k) s.X[k] = 0.5 + 0.001 * k;
  GraphMode = 0, GraphXAxis = 1, CurrentSpectrum = 1;
  ui.ExpectDialog("Test").Radio(5).Ok();
  ui.ExpectDialog("Set the data for peak analysis test").Ok();
  TestMenu();
  EXPECT_EQ(std::pair(GraphMode, GraphXAxis), std::pair(1, uint8_t{0}));
  ASSERT_EQ(s.LastChannel, 1619);
  for (int32_t k = 1; k <= 1619; ++k) ASSERT_EQ(s.X[k], k) << k;
}
}  // namespace
