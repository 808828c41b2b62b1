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

void SetIndices(THklRecord& r, const Hkl& x) { r.h = x[0], r.k = x[1], r.l = x[2]; }

class IndexListTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    IndexingMode = 0;
    UseSpaceGroup = 0;
    NoCrystalInfo = 0;
  }
  static void Bounds(int32_t k, int32_t hMax, int32_t hMin, int32_t kMax, int32_t kMin, int32_t lMax) {
    const int32_t b[5] = {hMax, hMin, kMax, kMin, lMax};
    std::copy(b, b + 5, HklBounds[k]);
  }
  static std::vector<Hkl> Indices(int32_t k) {
    std::vector<Hkl> out;
    for (const auto& r : PhaseReflections(k)) out.push_back({r.h, r.k, r.l});
    return out;
  }
};

TEST_F(IndexListTest, OneIndexPerMetricInvariantOfTheSystem) {
  // Cubic P: one index per h^2 + k^2 + l^2 (so one of 300 and 221, here 003, met first).
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {4, 4, 4, 90, 90, 90}));
  Bounds(1, 4, -4, 4, -4, 4);
  GeneratePhaseHkls();
  std::set<int32_t> n;
  for (int h = 0; h <= 4; ++h)
    for (int k = 0; k <= 4; ++k)
      for (int l = 0; l <= 4; ++l)
        if (h || k || l) n.insert(h * h + k * k + l * l);
  const auto cubic = Indices(1);
  EXPECT_EQ(cubic.size(), n.size());
  std::set<int32_t> got;
  for (const Hkl& x : cubic) EXPECT_TRUE(got.insert(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]).second);
  EXPECT_EQ(std::count(cubic.begin(), cubic.end(), Hkl{0, 0, 3}), 1);
  EXPECT_EQ(std::count(cubic.begin(), cubic.end(), Hkl{3, 0, 0}), 0);
  EXPECT_EQ(std::count(cubic.begin(), cubic.end(), Hkl{2, 2, 1}), 0);
  // Every record carries its d from the cell: the list can be sorted.
  for (const auto& r : PhaseReflections(1)) EXPECT_NEAR(r.d, 4 / std::sqrt(r.h * r.h + r.k * r.k + r.l * r.l), 1e-6);

  // R-3m on rhombohedral axes: no condition on -h + k + l, one index per (h^2 + k^2 + l^2,
  // hk + hl + kl) over the whole box.
  ASSERT_TRUE(SetUpPhase(1, 166, 1, {5.1, 5.1, 5.1, 55, 55, 55}));
  ASSERT_EQ(PhaseTable[1].CrystalSystem, 7);
  Bounds(1, 3, -3, 3, -3, 3);
  GeneratePhaseHkls();
  std::set<std::pair<int, int>> rhombohedral;
  for (int h = -3; h <= 3; ++h)
    for (int k = -3; k <= 3; ++k)
      for (int l = 0; l <= 3; ++l)
        if (h || k || l) rhombohedral.insert({h * h + k * k + l * l, h * k + h * l + k * l});
  const auto r7 = Indices(1);
  EXPECT_EQ(r7.size(), rhombohedral.size());
  const auto off = std::count_if(r7.begin(), r7.end(), [](const Hkl& x) { return (-x[0] + x[1] + x[2]) % 3 != 0; });
  EXPECT_GT(off, int(r7.size()) / 2);

  // The same group on hexagonal axes: only -h + k + l = 3n, k >= 0, one per (h^2 + k^2 + hk, l^2).
  ASSERT_TRUE(SetUpPhase(1, 166, 2, {4.9, 4.9, 12.5, 90, 90, 120}));
  ASSERT_EQ(PhaseTable[1].CrystalSystem, 6);
  GeneratePhaseHkls();
  std::set<std::pair<int, int>> hexagonal;
  for (int h = -3; h <= 3; ++h)
    for (int k = 0; k <= 3; ++k)
      for (int l = 0; l <= 3; ++l)
        if ((h || k || l) && (-h + k + l) % 3 == 0) hexagonal.insert({h * h + k * k + h * k, l * l});
  const auto r6 = Indices(1);
  EXPECT_EQ(r6.size(), hexagonal.size());
  for (const Hkl& x : r6) EXPECT_EQ((-x[0] + x[1] + x[2]) % 3, 0);

  // Triclinic: only (h, k, 0) and (-h, -k, 0) are one; a lattice code above 6 admits nothing.
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 5, 6, 80, 95, 105}));
  Bounds(1, 2, -2, 2, -2, 2);
  GeneratePhaseHkls();
  // The plane l = 0 keeps 12 of its 24 nonzero indices: 8 pairs and the 4 whose mates are skipped.
  EXPECT_EQ(Indices(1).size(), size_t(50 + 12));
  PhaseTable[1].LatticeType = 7;
  GeneratePhaseHkls();
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 0);
  Bounds(1, -1, 2, 2, -2, 2);  // h_min above h_max
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
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 3999);
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 9);  // h^2 + k^2 + l^2 = 1, 2, 3, 4, 5, 6, 8, 9, 12
  EXPECT_EQ(HklTable[1][1].h, -20);

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
  const auto rows = GoldenRows("hkl_orbits_golden.txt", "crystal");
  std::map<std::pair<int, int>, std::map<Hkl, Hkl>> orbits;
  std::pair<int, int> current;
  for (const auto& t : rows) {
    if (t[0] == "case") {
      current = {std::stoi(t[1]), std::stoi(t[2])};
      continue;
    }
    const Hkl index{std::stoi(t[0]), std::stoi(t[1]), std::stoi(t[2])};
    orbits[current][index] = {std::stoi(t[3]), std::stoi(t[4]), std::stoi(t[5])};
  }
  ASSERT_EQ(orbits.size(), 6u);
  int marking = 0;  // cases in which the marking removed something
  const std::map<std::pair<int, int>, std::array<double, 6>> cells = {
      {{227, 2}, {8, 8, 8, 90, 90, 90}},      {{19, 1}, {5, 6, 7, 90, 90, 90}},
      {{166, 2}, {4, 4, 12, 90, 90, 120}},    {{14, 2}, {5, 6, 7, 90, 100, 90}},
      {{99, 1}, {4, 4, 5, 90, 90, 90}},       {{186, 1}, {3, 3, 5, 90, 90, 120}}};
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
    const auto after = Indices(1);
    // The survivors, in list order, are the first member of each orbit present.
    std::vector<Hkl> want;
    std::set<Hkl> named;
    for (const Hkl& x : before)
      if (named.insert(names.at(x)).second) want.push_back(x);
    EXPECT_EQ(after, want);
    if (after.size() < before.size()) ++marking;

    // Through GeneratePhaseHkls with the space group: the same set, sorted by d.
    UseSpaceGroup = 1;
    GeneratePhaseHkls();
    UseSpaceGroup = 0;
    const auto sorted = PhaseReflections(1);
    ASSERT_EQ(sorted.size(), want.size());
    for (size_t i = 1; i < sorted.size(); ++i) EXPECT_GE(sorted[i - 1].d, sorted[i].d);
    std::set<Hkl> a(want.begin(), want.end()), b;
    for (const auto& r : sorted) b.insert({r.h, r.k, r.l});
    EXPECT_EQ(a, b);
  }
  EXPECT_GE(marking, 5);  // P2_1/c: its 2_1 pairs in l = 0 are Friedel pairs already merged
  // Without crystal information the marking is refused.
  UseSpaceGroup = 1, NoCrystalInfo = 1;
  const auto count = PhaseTable[1].ReflectionCount;
  GeneratePhaseHkls();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"No space group set up"});
  EXPECT_GT(PhaseTable[1].ReflectionCount, count);
}

TEST_F(IndexListTest, MarkingKeepsFriedelMatesAndDropsDuplicates) {
  // P2_1 2_1 2_1 turns 123 into -1-23, -12-3 and 1-2-3; -1-2-3 is no image of it.
  ASSERT_TRUE(SetUpPhase(1, 19, 1, {5, 6, 7, 90, 90, 90}));
  const Hkl list[5] = {{1, 2, 3}, {-1, -2, -3}, {1, -2, -3}, {1, 2, 3}, {-1, 2, -3}};
  for (int32_t i = 1; i <= 5; ++i) SetIndices(HklTable[i][1], list[i - 1]);
  PhaseTable[1].ReflectionCount = 5;
  MarkEquivalentHkls();
  EXPECT_EQ(Indices(1), (std::vector<Hkl>{{1, 2, 3}, {-1, -2, -3}}));
}

TEST_F(IndexListTest, SortKeepsTheOrderOfEqualD) {
  PhaseCount = 1;
  const double d[6] = {2, 3, 2, 3, 1, 3};
  for (int32_t i = 1; i <= 6; ++i) HklTable[i][1] = THklRecord{}, HklTable[i][1].h = i, HklTable[i][1].d = d[i - 1];
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
  // Phase 2: a magnetic phase whose lists were filled by hand and never evaluated.
  ASSERT_TRUE(SetUpPhase(2, 1, 1, {4, 5, 6, 90, 90, 90}));
  PhaseModelFlags[2] = 1;
  for (int32_t i = 1; i <= MaxReflections; ++i) HklTable[i][2] = THklRecord{};
  const Hkl hand[3] = {{5, -7, 2}, {1, 2, 3}, {0, 0, -6}};
  for (int32_t i = 1; i <= 3; ++i) SetIndices(HklTable[i][2], hand[i - 1]);
  PhaseTable[2].ReflectionCount = 3;
  PhaseTable[2].MaxF = 0, PhaseTable[2].MaxQ = 0;

  FormHklsOfPhases(1);
  const std::vector<std::string> report = {"Phase1: 15 hkls formed, d:0.98 - 5.00",
                                           "Phase2: 3 hkls formed, d:0.98 - 5.00", " Altogether 18 hkls"};
  const auto first = InfoLines.lines.begin() + 1;
  EXPECT_EQ(std::vector<std::string>(first, first + InfoLines.count), report);
  const std::vector<std::string> warnings = {"Warning, phase 2 structure factors = 0",
                                             "Warning, phase 2 magnetic factors = 0"};
  EXPECT_EQ(ui.Messages(), warnings);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{report[0], report[1], warnings[0], warnings[1], report[2]}));
  // The largest |index| of phase 1 is that of 400; of phase 2 the 7 of (5, -7, 2).
  EXPECT_EQ(PhaseTable[1].MaxIndex2, 16);
  EXPECT_EQ(PhaseTable[1].MaxIndex4, 256);
  EXPECT_EQ(PhaseTable[2].MaxIndex2, 49);
  EXPECT_EQ(PhaseTable[2].MaxIndex4, 2401);

  // logMode 0 logs only the warnings; a full table adds two lines; one phase has no total.
  LogFile.RewriteToMemory("log");
  ui.Clear();
  PhaseTable[2].ReflectionCount = MaxReflections;
  FormHklsOfPhases(0);
  EXPECT_EQ(InfoLines.count, 5);
  EXPECT_EQ(InfoLines.lines[3], " For phase 2 too many hkls");
  EXPECT_EQ(InfoLines.lines[4], " No guarantee that they are right");
  EXPECT_EQ(InfoLines.lines[5], " Altogether 4015 hkls");
  EXPECT_EQ(LogLines(), warnings);
  EXPECT_EQ(PhaseTable[2].MaxIndex2, 49);  // the records past 3 hold zeros
  PhaseCount = 1;
  FormHklsOfPhases(0);
  EXPECT_EQ(InfoLines.count, 1);
}

}  // namespace
