// The d-spacing list in canonical form, the d range of the working interval and the phase
// estimates.
#include <utility>
#include "model_test_support.h"

class DSpacingListTest : public ModelTest {
protected:
  using Pairs = std::vector<std::pair<double, double>>;  // d and error
  static void List(const Pairs& entries) {
    DSpacingCount = static_cast<int32_t>(entries.size());
    for (int32_t i = 1; i <= DSpacingCount; ++i)
      DSpacingList[i] = TDSpacingRecord{}, DSpacingList[i].d = entries[i - 1].first,
      DSpacingList[i].Error = entries[i - 1].second;
  }
  static Pairs Contents() {
    Pairs v;
    for (int32_t i = 1; i <= DSpacingCount; ++i) v.emplace_back(DSpacingList[i].d, DSpacingList[i].Error);
    return v;
  }
};

TEST_F(DSpacingListTest, SortsDropsDuplicatesAndAssignsErrors) {
  List({{2.0, 0}, {3.0, 0}, {2.0, 0}});
  AssignDSpacings();
  EXPECT_EQ(Contents(), (Pairs{{3.0, 0.001}, {2.0, 0.001}}));
  EXPECT_EQ(AverageDError, 0.001);
  EXPECT_EQ(ui.Messages(), Strings{"D-errors = 0. Assigned  0.00100"});

  List({{0.0, 0}});  // a lone zero: reported, and the list ends empty
  AssignDSpacings();
  EXPECT_EQ(DSpacingCount, 0);
  List({{-1.0, 0.001}, {1.5, 0.002}, {1.5, 0.004}});  // a negative d is reported and sorted last
  AssignDSpacings();
  EXPECT_EQ(Contents(), (Pairs{{1.5, 0.002}, {-1.0, 0.001}}));
  EXPECT_DOUBLE_EQ(AverageDError, 0.0015);
  EXPECT_EQ(ui.Messages().back(), "Warning, d-spacing= d=   -1.0000 e=    0.0010 x=      0.00");
  List({{1.0, 0}, {2.0, 0.002}});  // a zero error beside a positive one takes the default
  DefaultDError = 0.003;
  AssignDSpacings();
  EXPECT_EQ(Contents(), (Pairs{{2.0, 0.002}, {1.0, 0.003}}));
  EXPECT_EQ(AverageDError, 0.001);
  EXPECT_EQ(ui.Messages().size(), 4u);
  List({{1.0, 0.002}, {2.0, -0.002}});  // errors that sum to 0 are all replaced, the negative one too
  AssignDSpacings();
  EXPECT_EQ(Contents(), (Pairs{{2.0, 0.003}, {1.0, 0.003}}));
  EXPECT_EQ(ui.Messages().back(), "D-errors = 0. Assigned  0.00300");

  for (int32_t i = 1; i <= MaxDSpacings; ++i) DSpacingList[i].d = i, DSpacingList[i].Error = 0.001;
  DSpacingCount = 250;  // past the table: cut
  AssignDSpacings();
  EXPECT_EQ(DSpacingCount, MaxDSpacings);
  EXPECT_EQ(ui.Messages().back(), "Error, d-spacing: 250 cut to 200");
}

TEST_F(DSpacingListTest, DRangeOfTheWorkingInterval) {
  TSpectrum& sp = Sp(1);
  double d1 = -1, d2 = -1;
  sp.WorkFirst = 100, sp.WorkLast = 500;
  DRangeToChannels(d1, d2);  // time of flight: 3 channels more on each side
  EXPECT_EQ(std::vector<double>({d1, d2}), std::vector<double>({sp.ChannelToD(97), sp.ChannelToD(503)}));
  EXPECT_LT(d1, d2);
  sp.WorkFirst = 2, sp.WorkLast = 1023;  // but not past the loaded channels
  DRangeToChannels(d1, d2);
  EXPECT_EQ(std::vector<double>({d1, d2}), std::vector<double>({sp.ChannelToD(1), sp.ChannelToD(1024)}));
  sp.AxisKind = AxisAngular;
  for (int32_t c = 1; c <= 1024; ++c) sp.X[c] = 10 + 0.1 * c;
  DRangeToChannels(d1, d2);  // the working channels themselves, d ascending
  EXPECT_EQ(std::vector<double>({d1, d2}), std::vector<double>({sp.ChannelToD(1023), sp.ChannelToD(2)}));
  sp.AxisKind = AxisAny;
  d1 = d2 = -1;
  DRangeToChannels(d1, d2);
  EXPECT_EQ(d1 + d2, -2);
}

TEST_F(DSpacingListTest, PhaseEstimates) {
  PhaseTable[2].ReflectionCount = 3, PhaseTable[2].OperationCount = 3, PhaseTable[2].CentringCount = 1;
  for (int32_t j = 1; j <= 3; ++j) HklTable[j][2].Multiplicity = 2 * j;
  EXPECT_EQ(PhaseReflectionAverage(2), 3);
  EXPECT_EQ(PhaseTable[2].MeanMultiplicity, 4);
  EXPECT_EQ(PhaseReflectionAverage(3), 1);
  Sp(1).WorkFirst = 10, Sp(1).WorkLast = 20, Sp(1).Y[15] = 2048, Sp(1).Y[21] = 1e6;
  double scale = 0;
  EstimatePhaseScale(2, scale);  // (3 + 1) 4 (1 + 1) = 32
  EXPECT_EQ(scale, 2048.0 / (32 * 32));
  EstimatePhaseScale(3, scale);  // no reflections: divided by 1
  EXPECT_EQ(scale, 2048.0);
  // The largest count of the working interval 10..20, its two ends included; outside it nothing.
  Sp(1).Y[15] = 0, Sp(1).Y[9] = 1e6;
  for (int32_t at : {10, 20}) {
    Sp(1).Y[at] = 4096;
    EstimatePhaseScale(3, scale);
    EXPECT_EQ(scale, 4096.0) << at;
    Sp(1).Y[at] = 0;
  }
  PhaseReflectionAverage(7), EstimatePhaseScale(0, scale);
  EXPECT_EQ(ui.Messages().size(), 2u);
}
