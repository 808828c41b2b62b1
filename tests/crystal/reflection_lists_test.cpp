// The symmetric reflection list where the gemmi goldens do not reach: a small d_min against the
// orbits counted here, the 2000 cap against every d of the interval, the order of equal d, the
// refusals, and the forming of the ticked phases.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>
#include "core/dspacing_list.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"

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
