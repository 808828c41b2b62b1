// The Fitra arrays and lists: the tidying of the marked points, the peak layout, the neighbour
// bounds, the search controls, the preparation's refusals, and the peaks formed from reflections.
#include <algorithm>
#include <cmath>
#include <tuple>
#include "core/dialog_toolkit.h"
#include "core/small_routines.h"
#include "crystal/parameter_preparation.h"
#include "crystal/peak_fit_models.h"
#include "fitra_setup.h"

namespace {

bool Free(int32_t i) { return parar[i].lower != parar[i].upper; }

TEST_F(FitraTest, TidyingAndPeakLayout) {
  MainMode = FitraMode, Sp().WorkFirst = 20, Sp().WorkLast = 400;
  // Equal neighbours swap on every comparison: of the two points at 30 the one given last stays.
  MarkedPointCount = 5;
  const double x[] = {50, 30, 30, 500, 10};
  for (int32_t i = 1; i <= 5; ++i) MarkedPoints[i] = x[i - 1], MarkedPointModels[i] = i;
  TidyMarkedPoints(20, 400);
  EXPECT_EQ(Found(), (std::vector<double>{30, 50}));
  EXPECT_EQ(std::vector<int32_t>(MarkedPointModels + 1, MarkedPointModels + 3), (std::vector<int32_t>{3, 1}));
  MarkedPointCount = 0;
  EXPECT_EQ(BuildPeakArray(Sp()), 18);  // background and widths only
  MarkedPointCount = 2, MarkedPointModels[1] = 1, MarkedPointModels[2] = 2, UsedPeakModelCount = 2;
  ASSERT_EQ(BuildPeakArray(Sp()), 22);
  for (int32_t j = 1; j <= 6; ++j) EXPECT_EQ(Free(WidthW0Record(2, j)) + Free(WidthW1Record(2, j)), j <= 2 ? 2 : 0);
  // A width per peak with M2: the pair follows the 3N + 6 records for any N.
  WidthMode = -1, M2Mode = 1;
  for (int32_t n : {5, 12, 13, 20}) {
    MarkedPointCount = n;
    for (int32_t i = 1; i <= n; ++i) MarkedPoints[i] = 20 + 15 * i, MarkedPointModels[i] = 1;
    ASSERT_EQ(BuildPeakArray(Sp()), 3 * n + 8) << n;
    EXPECT_EQ(PeakFitM2Record(), 3 * n + 7);
    for (int32_t k : {3 * n + 7, 3 * n + 8})
      EXPECT_EQ(std::make_tuple(parar[k].lower, parar[k].value, parar[k].upper), std::make_tuple(-1e15, 0.0, 1e15)) << n;
    // Each peak starts at the width interpolated between the widths at the range's two ends.
    for (int32_t i = 1; i <= n; ++i)
      EXPECT_NEAR(parar[WidthW0Record(n, i)].value, Sp().W0 + (Sp().W1 - Sp().W0) * (15.0 * i) / 380, 1e-12) << n;
  }
  // A peak on the last channel starts at its count (E = sqrt Y: 10 count units are 10).
  Sp().WorkLast = MaxChannels, Sp().Y[MaxChannels] = 500, Sp().E[MaxChannels] = std::sqrt(500.0);
  MarkedPointCount = 1, MarkedPoints[1] = MaxChannels;
  ASSERT_EQ(BuildPeakArray(Sp()), 11);
  EXPECT_EQ(parar[AmplitudeRecord(1, 1)].value, 500);
  // 665 peaks of their own widths need 6 + 3 x 665 = 2001 records, one more than the array holds:
  // none is laid out.
  M2Mode = 0, MarkedPointCount = 665, Sp().Y[100] = 500;
  for (int32_t i = 1; i <= 665; ++i) MarkedPoints[i] = 100, MarkedPointModels[i] = 1;
  EXPECT_EQ(BuildPeakArray(Sp()), MaxParameters);
  EXPECT_EQ(parar[AmplitudeRecord(665, 1)].value, 0);
}

TEST_F(FitraTest, NeighbourBoundsPinOrCut) {
  ParameterRecord p1, p2;
  p1.value = 10, p1.lower = 5, p1.upper = 15, p2.value = 12, p2.lower = 7, p2.upper = 17;
  NeighbourBounds(1, 1, p1, p2);  // d = sqrt 2: closer than 2d
  EXPECT_EQ(std::make_pair(p1.upper, p2.lower), std::make_pair(10.0, 12.0));
  p1.lower = 2, p1.upper = 18, p2.value = 20, p2.lower = 12, p2.upper = 28;
  NeighbourBounds(100, 100, p1, p2);  // d = 0.1414
  EXPECT_NEAR(p1.upper, 15 - 0.141421, 1e-6);
  EXPECT_NEAR(p2.lower, 15 + 0.141421, 1e-6);
  // Exactly 2d apart (d = 2 / sqrt 4 = 1) is far enough: bounds already apart are left alone there,
  // as at 10 apart; closer, they are pinned. Amplitudes summing below 0.5 count as 0.5 (d = 2 sqrt 2).
  const double r2 = 2 * std::sqrt(2.0);
  struct Row { double a1, a2, x2, upper1, lower2, upper1After, lower2After; };
  for (const Row& r : {Row{1.5, 2.5, 32, 31, 31, 31, 31}, Row{1.5, 2.5, 31.99, 31, 31, 30, 31.99},
                       Row{100, 100, 40, 32, 38, 32, 38}, Row{0.1, 0.1, 36, 50, 10, 33 - r2, 33 + r2},
                       Row{0.1, 0.1, 35, 50, 10, 30, 35}, Row{0.5, 0, 40, 50, 10, 35 - r2, 35 + r2}}) {
    p1.value = 30, p1.upper = r.upper1, p2.value = r.x2, p2.lower = r.lower2;
    NeighbourBounds(r.a1, r.a2, p1, p2);
    EXPECT_NEAR(p1.upper, r.upper1After, 1e-12) << r.a1 << " " << r.x2;
    EXPECT_NEAR(p2.lower, r.lower2After, 1e-12) << r.a1 << " " << r.x2;
  }
}

// The count unit is the upper median of E^2 / Y over the range's channels with Y > 0 and E > 0
// (statistics.median_high of the listed ratios).
TEST_F(FitraTest, CountUnitFromMixedErrors) {
  struct Row { std::vector<double> y, e; int32_t first, last; double unit; };
  const Row rows[] = {
      {{100, 400, 9}, {10, 20, 3}, 1, 3, 1.0},                             // counts: 1 1 1
      {{100, 100, 100, 100, 100}, {10, 20, 5, 30, 20}, 1, 5, 4.0},        // 1 4 0.25 9 4
      {{100, 100, 100, 100}, {10, 20, 30, 40}, 1, 4, 9.0},                // 1 4 9 16: the upper middle
      {{100, 100, 100, 100, 100}, {10, 20, 5, 30, 20}, 2, 4, 4.0},        // 4 0.25 9
      {{100, 100, 100, 100, 100}, {10, 20, 5, 30, 20}, 1, 3, 1.0},        // 1 4 0.25
      {{0, 50, -5, 100, 25, 100, 100}, {2, 0, 3, 30, 5, 20, 40}, 1, 7, 9.0},  // 9 1 4 16 (Y 0, E 0, Y < 0 out)
      {{0, 0, -1}, {1, 1, 1}, 1, 3, 1.0},                                 // none: 1
      {{2e-6, 2e-6, 4e-6}, {2e-3, 2e-3, 1e-3}, 1, 3, 2.0},               // 2 2 0.25
  };
  for (const Row& r : rows) {
    TSpectrum& sp = Sp();
    for (size_t i = 0; i < r.y.size(); ++i) sp.Y[i + 1] = r.y[i], sp.E[i + 1] = r.e[i];
    EXPECT_NEAR(CountUnit(sp, r.first, r.last), r.unit, 1e-12 * r.unit) << r.y.size() << " " << r.first << ".." << r.last;
  }
  // Channels beyond the arrays are not read.
  Sp().Y[MaxChannels] = 100, Sp().E[MaxChannels] = 20;
  EXPECT_DOUBLE_EQ(CountUnit(Sp(), MaxChannels - 1, MaxChannels + 5), 4.0);
}

TEST_F(FitraTest, SearchControlsInOrder) {
  // Inputs b e a s r t m; then stop, W0, W1, accuracy, resolution, maximum (9 = left as it was).
  const std::tuple<TSearchControls, const char*, std::vector<double>> cases[] = {
      {{5, 0, 4, 1, 1, 7, 150}, "", {0, 5, 5, 4, 1, 150}},
      {{5, 0, 4, 1, 0.5, 7, 150}, "", {0, 5, 5, 4, 0.5, 150}},
      {{0, 6, 4, 1, 1, 7, 150}, "Erroneous width", {1, 9, 9, 9, 9, 9}},
      {{5, 6, 0, 1, 1, 7, 150}, "Erroneous width accuracy", {1, 5, 6, 9, 9, 9}},
      {{5, 6, 4, 0, 1, 7, 150}, "Erroneous sensitivity", {1, 5, 6, 4, 9, 9}},
      {{5, 6, 4, 2, 0, 7, 0}, "Wrong max peak N", {0, 5, 6, 4, 1, 9}},
      {{5, 6, 4, 2, 3, 7, -5}, "Wrong max peak N", {0, 5, 6, 4, 3, 9}},
      {{5, 6, 4, 2, 3, 7, 500}, "Wrong max peak N", {0, 5, 6, 4, 3, 500}}};
  for (const auto& [c, message, want] : cases) {
    TSpectrum& sp = Sp();
    sp.W0 = sp.W1 = sp.Dw0 = PeakResolution = 9, MaxPeakCount = 9;
    bool stop = false;
    EXPECT_EQ(ApplySearchControls(sp, c, stop), message);
    EXPECT_EQ(std::vector<double>({double(stop), sp.W0, sp.W1, sp.Dw0, PeakResolution, double(MaxPeakCount)}), want);
  }
}

// The preparation dialog refuses, and leaves the array not prepared: a zero width at the beginning,
// a reused array of another size, a grid field that is not a number.
TEST_F(FitraTest, PreparationRefusals) {
  MainMode = FitraMode, MarkedPointCount = 2, MarkedPoints[1] = 100, MarkedPoints[2] = 200, Sp().W0 = 0;
  auto prepare = [] {
    DialogCaption = "Preparing parameter array";
    PrepareDialog(460, 0, 430);
    PreparePeakParameters();
    return std::make_pair(DialogOk, int32_t{ParametersPending[3]});
  };
  ui.ExpectDialog("Preparing").Ok(), ui.ExpectMessage("Width0 = 0. See: INFO about spectrum");
  EXPECT_EQ(prepare(), std::make_pair(0, 1));
  Sp().W0 = 5, UseAvailableArray[3] = 1, PreparedParameterCount = 20;
  ui.ExpectDialog("Preparing").Ok(), ui.ExpectMessage("New number of parameters differs from old");
  EXPECT_EQ(prepare(), std::make_pair(0, 1));
  UseAvailableArray[3] = 0;
  ui.ExpectDialog("Preparing").Field(1, 1, "x").Press(1).Cancel();
  EXPECT_EQ(prepare(), std::make_pair(0, 1));
  EXPECT_EQ(DeltaPosition[1], 5);
  ui.ExpectDialog("Preparing").Ok();
  EXPECT_EQ(prepare(), std::make_pair(1, 1));  // the menu marks it prepared
}

// Channels of bcc iron's reflections (gemmi's d, t = 505.556 L d sin theta); merging at 1.0
// channel, not at 1.01; the ends of the working range included.
TEST_F(FitraTest, PeaksFromReflections) {
  TSpectrum& sp = Sp();
  sp.Theta = 76, sp.FlightPath = 21.13, sp.ChanWidth = 4, sp.Delay = 0, sp.WorkFirst = 1, sp.WorkLast = MaxChannels;
  std::vector<double> want;
  int32_t n = 0;
  for (const Tokens& row : golden)
    if (row[0] == "hkl") HklTable[++n][1].d = Numbers(row, 4)[0], want.push_back(Numbers(row, 5)[0]);
  std::sort(want.begin(), want.end());
  HklTable[n + 1][1].d = -777, PhaseTable[1].ReflectionCount = n + 1, PhaseCount = 1, MainMode = FitraMode;
  TurnHklsToPeaks();
  ASSERT_EQ(MarkedPointCount, n);
  // The program's degree constant 57.29578 has 7 digits: sin(76 deg) differs by about 1e-8.
  for (int32_t i = 1; i <= n; ++i) EXPECT_NEAR(MarkedPoints[i], want[i - 1], 1e-7 * want[i - 1]);
  EXPECT_EQ(StatusText, std::to_string(n) + " peaks formed");
  // Phase 2 beside the first two channels c1 < c2: c1 + 1.0 exactly and c2 + 1.01.
  const double c1 = MarkedPoints[1], c2 = MarkedPoints[2], perAngstrom = sp.DToChannel(1.0);
  double d = (c1 + 1) / perAngstrom;
  while (sp.DToChannel(d) - c1 > 1.0) d = std::nextafter(d, 0.0);
  HklTable[1][2].d = d, HklTable[2][2].d = (c2 + 1.01) / perAngstrom;
  PhaseTable[2].ReflectionCount = 2, PhaseCount = 2;
  sp.WorkFirst = RoundHalfEven(c1), sp.WorkLast = RoundHalfEven(c2 + 1.01);
  TurnHklsToPeaks();
  EXPECT_EQ(Found(), (std::vector<double>{(c1 + sp.DToChannel(d)) / 2, c2, sp.DToChannel(HklTable[2][2].d)}));
  EXPECT_EQ(std::vector<int32_t>(MarkedPointModels + 1, MarkedPointModels + 4), (std::vector<int32_t>{2, 1, 2}));
}

}  // namespace
