// The symmetric reflection list where the gemmi goldens do not reach: a small d_min against the
// orbits counted here, the 2000 cap against every d of the interval, the order of equal d, the
// refusals, and the forming of the ticked phases.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>
#include "core/abandon.h"
#include "core/dialog_model.h"
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/fit_engine.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"

namespace {

using Hkl = std::array<int, 3>;

class ReflectionListTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    CurrentSpectrum = 1;
  }
  static std::vector<Hkl> Indices() {
    std::vector<Hkl> out;
    for (const auto& r : PhaseReflections(1)) out.push_back({r.h, r.k, r.l});
    return out;
  }

private:
  FreshSpectra spectra_;
  KeepValues<int32_t> formedFirst_{HklFormedFirst, 5}, formedLast_{HklFormedLast, 5};
};

TEST_F(ReflectionListTest, SmallDMinReachesEveryReflection) {
  // a/d_min = 16: the box round(3a) + 1 = 13 alone misses the outer shells.
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0, 0, 0)}));
  FormSymmetricHklList(1, 0.2501, 10);
  // One record per m-3m orbit, named by |h| >= |k| >= |l|; F: all even or all odd.
  std::set<Hkl> want, got;
  for (int h = 1; h <= 16; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l)
        if (h * h + k * k + l * l <= 255 && (h + k) % 2 == 0 && (k + l) % 2 == 0) want.insert({h, k, l});
  for (const THklRecord& r : PhaseReflections(1)) {
    Hkl x = {std::abs(r.h), std::abs(r.k), std::abs(r.l)};
    std::sort(x.rbegin(), x.rend());
    EXPECT_TRUE(got.insert(x).second) << r.h << " " << r.k << " " << r.l;
    // The reciprocal angles pass through degrees at 57.29578 per radian: d to some 1e-7.
    EXPECT_NEAR(r.d, 4 / std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]), 5e-7 * r.d);
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(std::pair(HklFormedFirst[1], HklFormedLast[1]), std::pair(SpectrumList[1]->WorkFirst, SpectrumList[1]->WorkLast));
}

TEST_F(ReflectionListTest, OverflowKeepsTheLargestDOfTheWholeInterval) {
  // P-1: one record per Friedel pair, far more than 2000 in the interval (|h| <= a/d).
  const double a = 11.3, b = 12.7, c = 13.9, dmin = 1.05;
  ASSERT_TRUE(SetUpPhase(1, 2, 1, {a, b, c, 90, 90, 90}, {IsoAtom(0.35, 0.1, 0.2, 0.3), IsoAtom(0.58, 0.37, 0.81, 0.55)}));
  std::vector<double> ds;
  for (int h = -14; h <= 14; ++h)
    for (int k = -14; k <= 14; ++k)
      for (int l = -14; l <= 14; ++l) {
        const double d = 1 / std::sqrt(h * h / (a * a) + k * k / (b * b) + l * l / (c * c));
        if (std::tuple(h, k, l) > std::tuple(0, 0, 0) && d >= dmin) ds.push_back(d);
      }
  std::sort(ds.rbegin(), ds.rend());
  ASSERT_GT(ds.size(), 3000u);
  FormSymmetricHklList(1, dmin, 30);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Curtail the interval - too many hkls"});
  const auto list = PhaseReflections(1);
  ASSERT_EQ(list.size(), 2000u);
  double worst = 0;  // the right angles pass through degrees: d to some 1e-7
  for (size_t i = 0; i < list.size(); ++i) worst = std::max(worst, std::fabs(list[i].d - ds[i]) / ds[i]);
  EXPECT_LT(worst, 5e-7);
}

TEST_F(ReflectionListTest, EqualDPutsTheLaterGeneratedFirst) {
  // P-1 in a cube with a* = 1/4 exactly: 100, 010 and 001 have the bit-equal d = 4 and are met
  // in that order (at h = -1, then (0, -1, 0), then (0, 0, 1)).
  ASSERT_TRUE(SetUpPhase(1, 2, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0.1, 0.2, 0.3)}));
  const double reciprocal[6] = {0.25, 0.25, 0.25, 90, 90, 90};
  std::copy(reciprocal, reciprocal + 6, PhaseTable[1].ReciprocalCell);
  FormSymmetricHklList(1, 3.5, 4.5);
  EXPECT_EQ(Indices(), (std::vector<Hkl>{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}));
  for (const auto& r : PhaseReflections(1)) EXPECT_EQ(std::pair(r.d, r.Multiplicity), std::pair(4.0, 2));
}

// Every index of the box h = 1-nh .. nh+1, k = 1-nk .. nk+1, l = 0 .. nl visited in order, as the
// list was formed before the visits were bounded by d: the oracle for the bounded visits.
std::vector<THklRecord> WholeBoxList(int32_t p, double dmin, double dmax, bool& curtailed) {
  const LATTICE& ph = PhaseTable[p];
  auto half = [&](double e) { return int32_t(std::max(std::nearbyint(3 * e) + 1, dmin > 0 ? std::ceil(e / dmin) + 1 : 0.0)); };
  const int32_t nh = half(ph.Cell[0]), nk = half(ph.Cell[1]), nl = half(ph.Cell[2]);
  auto allowed = [&](int h, int k, int l) {
    switch (ph.LatticeType) {
      case 1: return (k + l) % 2 == 0;
      case 2: return (h + l) % 2 == 0;
      case 3: return (h + k) % 2 == 0;
      case 4: return (h + k) % 2 == 0 && (k + l) % 2 == 0;
      case 5: return (h + k + l) % 2 == 0;
      case 6: return ph.Setting != 2 || (-h + k + l) % 3 == 0;
      default: return true;
    }
  };
  auto score = [](const Hkl& x) {
    const int ah = std::abs(x[0]), ak = std::abs(x[1]), al = std::abs(x[2]);
    return (x[1] >= 0 ? 100 : 0) + (x[2] >= 0 ? 10 : 0) + (al < ah ? 5 : 0) + (ak < ah ? 3 : 0) + (al < ak ? 1 : 0);
  };
  std::set<Hkl> handled;
  std::vector<THklRecord> list;
  curtailed = false;
  for (int h = 1 - nh; h <= nh + 1; ++h)
    for (int k = 1 - nk; k <= nk + 1; ++k)
      for (int l = 0; l <= nl; ++l) {
        const double q = CellInverseDSquared(ph, h, k, l);
        if (!(q > 0) || 1 / std::sqrt(q) < dmin || 1 / std::sqrt(q) > dmax || !allowed(h, k, l)) continue;
        std::vector<Hkl> images;
        for (int o = 1; o <= ph.OperationCount; ++o) {
          Hkl x;
          for (int m = 0; m < 3; ++m)
            x[m] = int(std::nearbyint(h * ph.Rotations[0][m][o] + k * ph.Rotations[1][m][o] + l * ph.Rotations[2][m][o]));
          images.push_back(x);
          images.push_back({-x[0], -x[1], -x[2]});
        }
        int best = -1;
        for (int i = 0; i < int(images.size()); ++i)
          if (images[i][0] >= 0 && (best < 0 || score(images[i]) > score(images[best]))) best = i;
        if (best < 0 || !handled.insert(images[best]).second) continue;
        const Hkl r = images[best];
        THklRecord rec;
        Q0 = CellInverseDSquared(ph, r[0], r[1], r[2]);
        if (!(Q0 > 0)) continue;
        rec.d = 1 / std::sqrt(Q0);
        CalcStructureFactor(0, p, r[0], r[1], r[2], 1, 0, rec.A, rec.B, rec.q);
        if (!(std::hypot(rec.A, rec.B) >= 1e-9)) continue;
        rec.h = r[0], rec.k = r[1], rec.l = r[2];
        rec.Multiplicity = int(std::set<Hkl>(images.begin(), images.end()).size());
        auto at = std::lower_bound(list.begin(), list.end(), rec.d, [](const THklRecord& a, double v) { return a.d > v; });
        list.insert(at, rec);
        if (list.size() > 2000) list.pop_back(), curtailed = true;
      }
  return list;
}

TEST_F(ReflectionListTest, BoundedVisitsGiveTheListOfTheWholeBox) {
  struct Case {
    int group, setting;
    std::array<double, 6> cell;
    double dmin, dmax;
  };
  const TestAtom general = IsoAtom(0.4, 0.113, 0.271, 0.389), other = IsoAtom(0.7, 0.61, 0.07, 0.83);
  const Case cases[] = {
      {2, 1, {7.3, 8.9, 10.1, 77, 101, 113}, 0.5, 20},      // P-1, curtailed
      {2, 1, {7.3, 8.9, 10.1, 77, 101, 113}, 0.3, 0.31},    // a thin shell
      {14, 1, {9.1, 11.7, 6.2, 90, 104.5, 90}, 0.4, 3},     // P2_1/c: absences, curtailed
      {227, 2, {24.3, 24.3, 24.3, 90, 90, 90}, 0.9, 30},    // Fd-3m, all of the interval
      {230, 1, {18.1, 18.1, 18.1, 90, 90, 90}, 0.3, 4},     // Ia-3d, curtailed
      {166, 2, {5.1, 5.1, 31.7, 90, 90, 120}, 0.2, 12},    // R-3m on hexagonal axes
      {194, 1, {3.2, 3.2, 5.2, 90, 90, 120}, 0.0, 50},      // d_min 0: the box alone bounds
      {221, 1, {4.0, 4.0, 4.0, 90, 90, 90}, 0.08, 8},       // an F arrangement in Pm-3m: 3 of 4 vanish
      // Thin shells in large cells: most columns of indices cross the shell between two indices.
      {2, 1, {31.3, 37.9, 44.1, 71, 103, 117}, 0.6, 0.602},    // P-1, curtailed
      {2, 1, {29.7, 26.1, 33.4, 98, 82, 108}, 0.55, 0.5501},    // P-1, all of the shell
      {14, 1, {41.1, 23.7, 36.2, 90, 113.5, 90}, 0.55, 0.5505}, // P2_1/c, all of the shell
      {14, 1, {18.2, 44.9, 27.5, 90, 97.3, 90}, 0.45, 0.4501},  // P2_1/c, b the longest edge
      {15, 1, {33.1, 21.4, 27.9, 90, 109.2, 90}, 0.5, 0.5004},  // C2/c: columns of odd h + k empty
      {225, 1, {40.3, 40.3, 40.3, 90, 90, 90}, 0.45, 0.4503},   // Fm-3m
      // Sets found from one column of each orbit, columns along the longest reach.
      {2, 1, {40, 40, 40, 90, 90, 90}, 0.5, 0.5002},            // P-1 in a cube: d in steps
      {191, 1, {24.7, 24.7, 39.3, 90, 90, 120}, 0.5, 0.5003},   // P6/mmm: twelve columns alike
      {148, 2, {27.3, 27.3, 33.9, 90, 90, 120}, 0.55, 0.5503},  // R-3 on hexagonal axes
      {12, 1, {18.2, 44.9, 27.5, 90, 97.3, 90}, 0.45, 0.4502},  // C2/m along b: every column
      {229, 1, {33.3, 33.3, 33.3, 90, 90, 90}, 0.5, 0.5002},    // Im-3m
      {123, 1, {30.1, 33.7, 28.2, 90, 90, 90}, 0.5, 0.5003},    // P4/mmm ops on a cell they do not keep
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "group " << c.group << " a " << c.cell[0] << " d " << c.dmin << ".." << c.dmax);
    const std::vector<TestAtom> atoms =
        c.group == 221 ? std::vector<TestAtom>{IsoAtom(0.5, 0, 0, 0), IsoAtom(0.5, 0.5, 0.5, 0), IsoAtom(0.5, 0.5, 0, 0.5),
                                               IsoAtom(0.5, 0, 0.5, 0.5)}
                       : std::vector<TestAtom>{general, other};
    ASSERT_TRUE(SetUpPhase(1, c.group, c.setting, c.cell, atoms));
    bool curtailed = false;
    const auto want = WholeBoxList(1, c.dmin, c.dmax, curtailed);
    ui.transcript.clear();
    FormSymmetricHklList(1, c.dmin, c.dmax);
    EXPECT_EQ(!ui.Messages().empty(), curtailed);
    const auto got = PhaseReflections(1);
    ASSERT_EQ(got.size(), want.size());
    ASSERT_GT(got.size(), 10u);
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(std::tuple(got[i].h, got[i].k, got[i].l, got[i].Multiplicity, got[i].d),
                std::tuple(want[i].h, want[i].k, want[i].l, want[i].Multiplicity, want[i].d)) << i;
      EXPECT_EQ(std::pair(got[i].A, got[i].B), std::pair(want[i].A, want[i].B)) << i;
    }
  }
}

TEST_F(ReflectionListTest, LargeCellsAndSmallDMinVisitOnlyTheKeptShell) {
  // A 160 angstrom F cell to 0.05 angstrom (a box of some 2e13 indices, asked about first) and a
  // 367 angstrom edge: the 2000 largest d, each the F lattice's d = a / sqrt(h^2 + k^2 + l^2).
  for (double a : {160.0, 367.0}) {
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {a, a, a, 90, 90, 90}, {IsoAtom(0.35, 0.1, 0.2, 0.3)}));
    ui.ExpectQuestion("Too many tries for hkls. Continue?", true);
    FormSymmetricHklList(1, 0.05, 2 * a);
    const auto list = PhaseReflections(1);
    ASSERT_EQ(list.size(), 2000u);
    std::vector<double> want;
    for (int h = 0; h <= 80; ++h)
      for (int k = 0; k <= h; ++k)
        for (int l = 0; l <= k; ++l)
          if (h > 0 && (h + k) % 2 == 0 && (k + l) % 2 == 0) want.push_back(a / std::sqrt(h * h + k * k + l * l));
    std::sort(want.rbegin(), want.rend());
    // Sets of equal h^2 + k^2 + l^2 (333 and 511) share a d: compare d in order.
    for (size_t i = 0; i < list.size(); ++i) ASSERT_NEAR(list[i].d, want[i], 5e-7 * want[i]) << i;
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Curtail the interval - too many hkls"});
    ui.transcript.clear();
  }
}

TEST_F(ReflectionListTest, StopEndsALongSearch) {
  // A thin shell of a 10^4 angstrom cube in P-1: some 6e8 columns through it (seconds). After the
  // question, the search shows its STOP window; STOP at the first pass of the window system ends
  // the command, the list stays as it was and the window closes.
  if (!FitParameters) CreateFitParameters();
  ASSERT_TRUE(SetUpPhase(1, 2, 1, {1e4, 1e4, 1e4, 90, 90, 90}, {IsoAtom(0.35, 0.1, 0.2, 0.3)}));
  PhaseTable[1].ReflectionCount = 0;
  KeepValues<uint8_t> option{&StopButtonOption, 1};
  StopButtonOption = 0;  // the search offers STOP all the same
  ui.ExpectQuestion("Too many tries for hkls. Continue?", true);
  ui.StopAtYield(1);
  EXPECT_THROW(FormSymmetricHklList(1, 0.5, 0.50001), OperationAbandoned);
  EXPECT_EQ(std::count(ui.transcript.begin(), ui.transcript.end(), "STOP pressed"), 1);
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 0);
  EXPECT_FALSE(Form2.visible);
  EXPECT_FALSE(FitStopRequested());
  EXPECT_EQ(StopButtonOption, 0);
}

TEST_F(ReflectionListTest, RefusalsLeaveTheListAsItWas) {
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0, 0, 0)}));
  FormSymmetricHklList(1, 0.98, 5);
  const auto before = Indices();
  ASSERT_EQ(before.size(), 15u);  // h^2 + k^2 + l^2 = 1 .. 16
  // A box of 8003 x 8003 x 4002 visits (a/d_min = 4000) is asked about; No changes nothing.
  ui.ExpectQuestion("Too many tries for hkls. Continue?", false);
  FormSymmetricHklList(1, 0.001, 5);
  EXPECT_EQ(Indices(), before);
  // An edge of 0, then a reciprocal cell without volume.
  PhaseTable[1].Cell[1] = 0;
  FormSymmetricHklList(1, 0.98, 5);
  EXPECT_EQ(Indices(), before);
  PhaseTable[1].Cell[1] = 4;
  std::fill(PhaseTable[1].ReciprocalCell + 3, PhaseTable[1].ReciprocalCell + 6, 0.0);
  FormSymmetricHklList(1, 0.98, 5);
  EXPECT_EQ(Indices(), before);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>(2, "Wrong unit cell parameters"));
  for (int group : {221, 0}) {  // without atoms, or without operations: an empty list
    ASSERT_TRUE(SetUpPhase(1, group, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0, 0, 0)}));
    PhaseTable[1].AtomCount = group == 0, PhaseTable[1].ReflectionCount = 3;
    FormSymmetricHklList(1, 1.0, 5);
    EXPECT_EQ(PhaseTable[1].ReflectionCount, 0) << group;
  }
}

TEST_F(ReflectionListTest, FormHklListsRefusalsAndTheTimeOfFlightFloor) {
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0, 0, 0)}));
  DMin = 0.7, DMax = 9;
  const bool ticked[MaxPhases + 1] = {false, true};
  EXPECT_FALSE(FormHklLists(-1, 3, ticked));
  EXPECT_FALSE(FormHklLists(2.5, -0.5, ticked));
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Wrong d_min -1", "Wrong d_max -0.500"}));
  // d_min was taken before d_max was refused; nothing formed.
  EXPECT_EQ(std::tuple(DMin, DMax, PhaseTable[1].ReflectionCount), std::tuple(2.5, 9.0, 0));
  // d 0.98 .. 3 in a = 4: h^2 + k^2 + l^2 from 2 to 16 (9 twice), m-3m multiplicities adding to 250.
  ASSERT_TRUE(FormHklLists(0.98, 3, ticked));
  EXPECT_NEAR(PhaseTable[1].MeanMultiplicity, 250 / 14.0, 1e-12);
  // Time of flight with d about 0.04 .. 0.39: DMin raised to 0.5, DMax then ten times that.
  TSpectrum& sp = *SpectrumList[1];
  sp.AxisKind = AxisTimeOfFlight, sp.FirstChannel = 1, sp.LastChannel = 2000, sp.WorkFirst = 100, sp.WorkLast = 1000;
  DefaultHklDRange();
  EXPECT_EQ(std::pair(DMin, DMax), std::pair(0.5, 5.0));
}

}  // namespace
