// The index lists of the indexing and simulation modules: the metric equivalences of each crystal
// system against sets of invariants counted here, the R condition on both axes, the 3999 cap,
// the removal of symmetry-equivalent reflections against orbits computed by gemmi
// (tools/gen_hkl_orbits_golden.py), the stable sort and the report of all lists.
#include <gtest/gtest.h>
#include <array>
#include <map>
#include <set>
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "support/golden_files.h"

namespace {

using Hkl = std::array<int32_t, 3>;

class IndexListTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    IndexingMode = 0, UseSpaceGroup = 0, NoCrystalInfo = 0;
  }
  static void Bounds(int32_t k, int32_t hMax, int32_t hMin, int32_t kMax, int32_t kMin, int32_t lMax) {
    const int32_t b[5] = {hMax, hMin, kMax, kMin, lMax};
    std::copy(b, b + 5, HklBounds[k]);
  }
  static void SetList(int32_t k, const std::vector<Hkl>& list) {
    for (size_t i = 0; i < list.size(); ++i) HklTable[i + 1][k] = THklRecord{list[i][0], list[i][1], list[i][2]};
    PhaseTable[k].ReflectionCount = int32_t(list.size());
  }
  static std::vector<Hkl> Indices(int32_t k) {
    std::vector<Hkl> out;
    for (const auto& r : PhaseReflections(k)) out.push_back({r.h, r.k, r.l});
    return out;
  }
};

}  // namespace

TEST_F(IndexListTest, OneIndexPerMetricInvariantOfTheSystem) {
  using Invariant = std::pair<int, int>;  // equal for the indices the system merges
  // The box -n..n, -n..n, 0..n: one index per invariant of the indices allowed.
  const auto check = [](int32_t group, int32_t setting, std::array<double, 6> cell, int n, auto invariant, auto allowed) {
    SCOPED_TRACE(group * 10 + setting);
    ASSERT_TRUE(SetUpPhase(1, group, setting, cell));
    Bounds(1, n, -n, n, -n, n);
    GeneratePhaseHkls();
    std::set<Invariant> want, got;
    for (int h = -n; h <= n; ++h)
      for (int k = -n; k <= n; ++k)
        for (int l = 0; l <= n; ++l)
          if ((h || k || l) && allowed(h, k, l)) want.insert(invariant(h, k, l));
    for (const auto& r : PhaseReflections(1))
      EXPECT_TRUE(allowed(r.h, r.k, r.l) && got.insert(invariant(r.h, r.k, r.l)).second) << r.h << r.k << r.l;
    EXPECT_EQ(got, want);
  };
  const auto any = [](int, int, int) { return true; };
  check(221, 1, {4, 4, 4, 90, 90, 90}, 4, [](int h, int k, int l) { return Invariant{h * h + k * k + l * l, 0}; }, any);
  for (const auto& r : PhaseReflections(1)) EXPECT_NEAR(r.d, 4 / std::sqrt(r.h * r.h + r.k * r.k + r.l * r.l), 1e-6);
  // R-3m on rhombohedral axes: no condition on -h + k + l; on hexagonal axes -h + k + l = 3n, k >= 0.
  check(166, 1, {5.1, 5.1, 5.1, 55, 55, 55}, 3,
        [](int h, int k, int l) { return Invariant{h * h + k * k + l * l, h * k + h * l + k * l}; }, any);
  check(166, 2, {4.9, 4.9, 12.5, 90, 90, 120}, 3, [](int h, int k, int l) { return Invariant{h * h + k * k + h * k, l * l}; },
        [](int h, int k, int l) { return k >= 0 && (-h + k + l) % 3 == 0; });
  // Triclinic: only (h, k, 0) and (-h, -k, 0) are one: the plane l = 0 keeps 12 of its 24 nonzero
  // indices (8 pairs and the 4 whose mates are skipped). A lattice code above 6 admits nothing,
  // nor do crossed bounds.
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 5, 6, 80, 95, 105}));
  Bounds(1, 2, -2, 2, -2, 2);
  GeneratePhaseHkls();
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 50 + 12);
  PhaseTable[1].LatticeType = 7;
  GeneratePhaseHkls();
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 0);
  Bounds(1, -1, 2, 2, -2, 2);
  PhaseTable[1].LatticeType = 0;
  GeneratePhaseHkls();
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 0);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(IndexListTest, CapAndTheCopyOfTheDSpacings) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 5, 6, 80, 95, 105}));
  ASSERT_TRUE(SetUpPhase(2, 221, 1, {4, 4, 4, 90, 90, 90}));
  Bounds(1, 20, -20, 20, -20, 20);
  Bounds(2, 2, 0, 2, 0, 2);
  GeneratePhaseHkls();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Phase1 D-interval too large"});
  EXPECT_EQ(std::tuple(PhaseTable[1].ReflectionCount, HklTable[1][1].h), std::tuple(3999, -20));
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 9);  // h^2 + k^2 + l^2 = 1, 2, 3, 4, 5, 6, 8, 9, 12
  // Unit-cell determination: phase 1 takes the indices of the d-spacings, nothing else changes.
  IndexingMode = 1;
  DSpacingCount = 2;
  DSpacingList[1].h = 1, DSpacingList[1].k = 1, DSpacingList[1].l = 0;
  DSpacingList[2].h = 2, DSpacingList[2].k = -1, DSpacingList[2].l = 3;
  GeneratePhaseHkls();
  EXPECT_EQ(Indices(1), (std::vector<Hkl>{{1, 1, 0}, {2, -1, 3}}));
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 9);
}

TEST_F(IndexListTest, EquivalentReflectionsLeaveTheFirstOfEachOrbit) {
  // Box index -> orbit name, from gemmi's operations modulo centring (proper half when
  // centrosymmetric), acting as h R without Friedel mates.
  std::map<std::pair<int, int>, std::map<Hkl, Hkl>> orbits;
  std::pair<int, int> current;
  for (const auto& t : GoldenRows("hkl_orbits_golden.txt", "crystal")) {
    const auto at = [&](size_t i) { return std::stoi(t.at(i)); };
    if (t[0] == "case") current = {at(1), at(2)};
    else orbits[current][{at(0), at(1), at(2)}] = {at(3), at(4), at(5)};
  }
  const std::map<std::pair<int, int>, std::array<double, 6>> cells = {
      {{227, 2}, {8, 8, 8, 90, 90, 90}},   {{19, 1}, {5, 6, 7, 90, 90, 90}},  {{166, 2}, {4, 4, 12, 90, 90, 120}},
      {{14, 2}, {5, 6, 7, 90, 100, 90}},   {{99, 1}, {4, 4, 5, 90, 90, 90}}, {{186, 1}, {3, 3, 5, 90, 90, 120}}};
  ASSERT_EQ(orbits.size(), cells.size());
  int marking = 0;  // cases in which the marking removed something
  for (const auto& [entry, names] : orbits) {
    SCOPED_TRACE(entry.first);
    ASSERT_EQ(names.size(), 9u * 9u * 5u);
    ASSERT_TRUE(SetUpPhase(1, entry.first, entry.second, cells.at(entry)));
    PhaseTable[1].CrystalSystem = 1;  // the least merging by the metric before the marking
    Bounds(1, 4, -4, 4, -4, 4);
    for (int32_t i = 1; i <= MaxReflections; ++i) HklTable[i][1].d = -777;  // left by earlier lists
    GeneratePhaseHkls();
    const auto before = Indices(1);
    ASSERT_GT(before.size(), 50u);
    MarkEquivalentHkls();
    // The survivors, in list order, are the first member of each orbit present.
    std::vector<Hkl> want;
    std::set<Hkl> named;
    for (const Hkl& x : before)
      if (named.insert(names.at(x)).second) want.push_back(x);
    EXPECT_EQ(Indices(1), want);
    marking += want.size() < before.size();
    // Through GeneratePhaseHkls with the space group: as many, sorted by d.
    UseSpaceGroup = 1;
    GeneratePhaseHkls();
    UseSpaceGroup = 0;
    const auto sorted = PhaseReflections(1);
    ASSERT_EQ(sorted.size(), want.size());
    for (size_t i = 1; i < sorted.size(); ++i) EXPECT_GE(sorted[i - 1].d, sorted[i].d);
  }
  EXPECT_GE(marking, 5);  // P2_1/c: its 2_1 pairs in l = 0 are Friedel pairs already merged
  // A repeated index goes, a Friedel mate that is no image stays (P2_1 2_1 2_1).
  ASSERT_TRUE(SetUpPhase(1, 19, 1, {5, 6, 7, 90, 90, 90}));
  SetList(1, {{1, 2, 3}, {-1, -2, -3}, {1, -2, -3}, {1, 2, 3}, {-1, 2, -3}});
  MarkEquivalentHkls();
  EXPECT_EQ(Indices(1), (std::vector<Hkl>{{1, 2, 3}, {-1, -2, -3}}));
  // Without crystal information the marking is refused.
  GeneratePhaseHkls();
  const int32_t unmarked = PhaseTable[1].ReflectionCount;
  UseSpaceGroup = 1, NoCrystalInfo = 1;
  GeneratePhaseHkls();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"No space group set up"});
  EXPECT_EQ(PhaseTable[1].ReflectionCount, unmarked);
}

TEST_F(IndexListTest, SortKeepsTheOrderOfEqualD) {
  const double d[6] = {2, 3, 2, 3, 1, 3};
  for (int32_t i = 1; i <= 6; ++i) HklTable[i][1] = THklRecord{i}, HklTable[i][1].d = d[i - 1];
  PhaseTable[1].ReflectionCount = 6;
  SortHklsByD();
  std::vector<int32_t> order;
  for (const auto& r : PhaseReflections(1)) order.push_back(r.h);
  EXPECT_EQ(order, (std::vector<int32_t>{2, 4, 6, 1, 3, 5}));
}

TEST_F(IndexListTest, ReportOfAllPhases) {
  PhaseCount = 2;
  DMin = 0.98, DMax = 5;
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0, 0, 0)}));
  FormSymmetricHklList(1, DMin, DMax);
  ASSERT_EQ(PhaseTable[1].ReflectionCount, 15);
  // Phase 2: a magnetic phase whose list was filled by hand and never evaluated.
  ASSERT_TRUE(SetUpPhase(2, 1, 1, {4, 5, 6, 90, 90, 90}));
  PhaseModelFlags[2] = 1;
  for (int32_t i = 1; i <= MaxReflections; ++i) HklTable[i][2] = THklRecord{};
  SetList(2, {{5, -7, 2}, {1, 2, 3}, {0, 0, -6}});
  PhaseTable[2].MaxF = 0, PhaseTable[2].MaxQ = 0;
  FormHklsOfPhases(1);
  const std::vector<std::string> report = {"Phase1: 15 hkls formed, d:0.98 - 5.00",
                                           "Phase2: 3 hkls formed, d:0.98 - 5.00", " Altogether 18 hkls"};
  EXPECT_EQ(std::vector<std::string>(InfoLines.lines.begin() + 1, InfoLines.lines.begin() + 1 + InfoLines.count), report);
  const std::vector<std::string> warnings = {"Warning, phase 2 structure factors = 0",
                                             "Warning, phase 2 magnetic factors = 0"};
  EXPECT_EQ(ui.Messages(), warnings);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{report[0], report[1], warnings[0], warnings[1], report[2]}));
  // The largest |index| of phase 1 is that of 400; of phase 2 the 7 of (5, -7, 2).
  EXPECT_EQ(std::tuple(PhaseTable[1].MaxIndex2, PhaseTable[1].MaxIndex4, PhaseTable[2].MaxIndex2, PhaseTable[2].MaxIndex4),
            std::tuple(16, 256, 49, 2401));
  // logMode 0 logs only the warnings; a full table adds two lines; one phase has no total.
  LogFile.RewriteToMemory("log");
  ui.Clear();
  PhaseTable[2].ReflectionCount = MaxReflections;  // the records past 3 hold zeros
  FormHklsOfPhases(0);
  EXPECT_EQ(std::vector<std::string>(InfoLines.lines.begin() + 3, InfoLines.lines.begin() + 6),
            (std::vector<std::string>{" For phase 2 too many hkls", " No guarantee that they are right",
                                      " Altogether 4015 hkls"}));
  EXPECT_EQ(InfoLines.count, 5);
  EXPECT_EQ(LogLines(), warnings);
  EXPECT_EQ(PhaseTable[2].MaxIndex2, 49);
  PhaseCount = 1;
  FormHklsOfPhases(0);
  EXPECT_EQ(InfoLines.count, 1);
}
