// The per-mode flags, the exit question built from them and the peak-model renumbering.
#include "core/mode_flags.h"
#include "model_test_support.h"

class ModeFlagsTest : public ModelTest {
protected:
  static std::vector<int32_t> Models() {
    return std::vector<int32_t>(MarkedPointModels + 1, MarkedPointModels + 1 + MarkedPointCount);
  }
  static void SetModels(const std::vector<int32_t>& models) {
    MarkedPointCount = static_cast<int32_t>(models.size());
    std::copy(models.begin(), models.end(), MarkedPointModels + 1);
  }
};

TEST_F(ModeFlagsTest, MasksAndTheExclusiveSelector) {
  for (auto& f : ParametersPending) f = 0;
  SetParametersPending(5 + 16, 1);  // Rietveld and DazazeDedev; bit 4 names no mode
  EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), std::vector<int>({1, 0, 1, 0}));
  SelectExclusive(3, 1);
  SelectExclusive(4, 1);  // refused
  EXPECT_EQ(std::vector<int>(UseAvailableArray, UseAvailableArray + 4), std::vector<int>({0, 0, 0, 1}));
  EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST_F(ModeFlagsTest, ExitQuestionNamesTheLastUnsavedMode) {
  uint8_t ok = 7;
  std::string text = "old";
  ConfirmExitUnsaved(ok, text);  // nothing unsaved: no question
  EXPECT_EQ(ok, 1);
  ResultsUnsaved[0] = ResultsUnsaved[2] = 1;
  ui.ExpectQuestion(" DazazeDedev  parameters not saved. Still exit?", false);
  ConfirmExitUnsaved(ok, text);
  EXPECT_EQ(ok + ResultsUnsaved[2], 0 + 1);
  ui.ExpectQuestion(" DazazeDedev  parameters not saved. Still exit?", true);
  ConfirmExitUnsaved(ok, text);
  EXPECT_EQ(text, " DazazeDedev  parameters not saved.");
  EXPECT_EQ(std::vector<int>({ok, ResultsUnsaved[0], ResultsUnsaved[2]}), std::vector<int>({1, 1, 0}));
  ResultsUnsaved[0] = 0, ResultsUnsaved[3] = 1;
  ui.ExpectQuestion("FITRA parameters not saved. Still exit?", true);
  ConfirmExitUnsaved(ok, text);
}

TEST_F(ModeFlagsTest, PeakModelNumbersAreCompacted) {
  for (int32_t m = 1; m <= 6; ++m) DeltaPosition[m] = m, DeltaW0[m] = 10 * m, DeltaW1[m] = 100 * m;
  SetModels({1, 3, 3});
  int32_t used = -1;
  CheckPeakModelNumbers(used);
  EXPECT_EQ(Models(), std::vector<int32_t>({1, 2, 2}));
  EXPECT_EQ(used, 2);
  // The values of models 3..6 moved down one place.
  EXPECT_EQ(std::vector<double>({DeltaPosition[2], DeltaW0[2], DeltaW1[5]}), std::vector<double>({3, 30, 600}));
  struct Case { std::vector<int32_t> before, after; int32_t used; };
  for (const Case& c : {Case{{1, 6}, {1, 2}, 2}, Case{{2, 2}, {1, 1}, 1}, Case{{5, 3, 1}, {3, 2, 1}, 3},
                        Case{{}, {}, 0}, Case{{4, 6, 2}, {2, 3, 1}, 3}}) {
    SetModels(c.before);
    CheckPeakModelNumbers(used);
    EXPECT_EQ(Models(), c.after);
    EXPECT_EQ(used, c.used);
  }
  EXPECT_TRUE(ui.Messages().empty());
  SetModels({9, 0, 2});
  CheckPeakModelNumbers(used);
  EXPECT_EQ(Models(), std::vector<int32_t>({1, 1, 2}));
  EXPECT_EQ(ui.Messages(), Strings({"Wrong peak model number=9", "Wrong peak model number=0"}));
  MarkedPointCount = 1200;  // more peaks than the marked points hold: the table's 1000 only
  MarkedPointModels[1000] = 3;
  CheckPeakModelNumbers(used);
  EXPECT_EQ(used, 3);
  EXPECT_EQ(ui.Messages().back(), "Error, peak model: 1200 cut to 1000");
}
