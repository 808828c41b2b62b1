// The quiet preparation of a sequence step against the preparation that asks, answered with its
// defaults: the same array for every crystal system except where the two differ on purpose (the
// delay, the cross-term bounds at twice the cell percentage).
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <tuple>
#include "core/symmetry_expansion.h"
#include "crystal/parameter_preparation.h"
#include "evolution/step_fixture.h"

namespace {

struct SystemCase {
  int32_t group, setting;
  std::array<double, 6> cell;
  int32_t freeMetric;
} const kSystems[] = {{1, 1, {4, 5, 6, 80, 95, 100}, 6}, {3, 1, {5, 6, 7, 90, 90, 100}, 4}, {3, 2, {5, 6, 7, 90, 80, 90}, 4},
                      {47, 1, {10, 5, 6, 90, 90, 90}, 3}, {123, 1, {10, 10, 7, 90, 90, 90}, 2}, {221, 1, {4, 4, 4, 90, 90, 90}, 1},
                      {191, 1, {3, 3, 5, 90, 90, 120}, 2}, {166, 1, {5, 5, 5, 60, 60, 60}, 2}};

// Each system as phase 1 (2 %) beside a hexagonal phase 2 (3 %, ties of a later block): every
// record equal but the delay and the free cross terms; 2 % on A = 0.01 gives 0.0098 .. 0.0102.
TEST_F(StepTest, QuietPreparationEqualsTheAskingOneExceptDelayAndCrossTerms) {
  KeepValues<double> delay{&DelayDeviation, 1};
  KeepValues<uint8_t> given{&FitControlsGiven, 1};
  MainMode = 0, DelayDeviation = 0.5, FitControlsGiven = 1, PhaseCount = 2;
  TSpectrum& sp = SetUpProfileSpectrum(ProfileSpectrum{});
  for (int32_t c = 1; c <= sp.LastChannel; ++c) sp.Y[c] = c < 1000 ? 2000 : 4000;
  sp.BackgroundDegree = 3, sp.W0 = 6, sp.W1 = 8, sp.Dw0 = 2, sp.Delay = 1.5;
  for (const SystemCase& c : kSystems) {
    SCOPED_TRACE(c.group * 10 + c.setting);
    for (int32_t p = 1; p <= 2; ++p) {
      const SystemCase& s = p == 1 ? c : kSystems[6];
      ASSERT_TRUE(SetUpPhase(p, s.group, s.setting, s.cell, {IsoAtom(0.6, 0.1, 0.2, 0.3), IsoAtom(0.4, 0, 0, 0.5)}));
      PhaseTable[p].CellAccuracy = 1.0 + p;
      ASSERT_GT(FormProfileReflections(p, 1.2, 3.0), 0);
    }
    // The scaling question evaluates the model, which refreshes the structure-factor caches:
    // both preparations start from the same tables.
    const std::vector<THklRecord> hkls(&HklTable[0][0], &HklTable[0][0] + (MaxReflections + 1) * (MaxPhases + 1));
    const std::vector<LATTICE> lattices(PhaseTable, PhaseTable + 3);
    for (const char* caption : {"Preparing parameter array", "Rietveld", "Rietveld"}) ui.ExpectDialog(caption).Ok();
    ui.QueueAnswer(false), ui.ExpectDialog("Prepare").Ok();
    int32_t check = 0;
    PrepareParameterArray(check);
    const int32_t n = FitParameters->NPar, o2 = PhaseParameterOffset(2);
    const std::vector<ParameterRecord> asked(parar, parar + n + 1);
    std::copy(hkls.begin(), hkls.end(), &HklTable[0][0]), std::copy(lattices.begin(), lattices.end(), PhaseTable);
    ui.QueueAnswer(false);
    PrepareParameterArrayQuiet();
    ASSERT_EQ(FitParameters->NPar, n);
    EXPECT_EQ(ParametersPending[0], 0);
    int32_t free = 0;
    for (int32_t i = 1; i <= n; ++i) {
      const ParameterRecord &q = parar[i], &a = asked[i], &e = FitParameters->Records[i];
      EXPECT_TRUE(e.n == q.n && e.value == q.value && e.lower == q.lower && e.upper == q.upper) << i;
      EXPECT_TRUE(q.n == a.n && q.a == a.a && q.value == a.value && q.Name == a.Name) << i;
      const int32_t o = q.n > o2 ? o2 : 10;  // the block of the record's master
      const double k = PhaseTable[o == 10 ? 1 : 2].CellAccuracy / 50, x = q.value * (1 - k), y = q.value * (1 + k);
      if (i == 3)
        EXPECT_TRUE(q.lower == q.value && q.upper == q.value && a.lower == q.value - 0.5);
      else if (q.n >= o + 5 && q.n <= o + 7 && q.lower != q.upper)
        EXPECT_TRUE(std::fabs(q.lower - std::min(x, y)) + std::fabs(q.upper - std::max(x, y)) < 1e-15) << i;
      else
        EXPECT_TRUE(q.lower == a.lower && q.upper == a.upper) << i;
      free += i >= 12 && i <= 17 && q.n == i && q.lower != q.upper;
    }
    EXPECT_EQ(free, c.freeMetric);
    EXPECT_TRUE(c.group != 47 || std::fabs(parar[12].lower - 0.0098) + std::fabs(parar[12].upper - 0.0102) < 1e-15);
    ui.transcript.clear(), ForgetSymmetryExpansion(1), ForgetSymmetryExpansion(2);
  }
  // A one-channel interval: the W1 slope (W1 - W0) / max(1, last - first) is W1 - W0, not infinite.
  const std::pair<int32_t, int32_t> range{sp.WorkFirst, sp.WorkLast};
  sp.WorkFirst = sp.WorkLast = 1000;
  PrepareParameterArrayQuiet();
  EXPECT_EQ(parar[PhaseParameterOffset(1) + 9].value, 2.0);
  std::tie(sp.WorkFirst, sp.WorkLast) = range;
  // Zero structure factors end the preparation with the message and stop the sequence.
  for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) HklTable[j][1].A = HklTable[j][1].B = 0;
  ui.ExpectMessage("Zero structure factors, phase=1");
  PrepareParameterArrayQuiet();
  EXPECT_EQ(DialogOk, 0);
}

}  // namespace
