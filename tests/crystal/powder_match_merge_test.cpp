// Powder match: which reflections share one intensity. Neighbours (in d order) less than the
// merge threshold apart in channels share it, a run of them shares its first member's; one at the
// threshold or farther keeps its own, also between one and two thresholds. The reflections are
// placed at chosen channels of an angular spectrum through Bragg's law, lambda = 2 d sin(theta).
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "crystal/parameter_preparation.h"
#include "crystal/preparation_setup.h"

namespace {

class PowderMerge : public PreparationFixture {};

// Steps between neighbours in thresholds, and the record each reflection ends on (0-based index
// of its master among the reflections).
TEST_F(PowderMerge, NeighboursShareBelowTheThresholdOnly) {
  MainMode = 2;
  ProfileSpectrum s;
  s.axis = AxisAngular;
  TSpectrum& sp = SetUpProfileSpectrum(s);
  for (int32_t c = 1; c <= sp.LastChannel; ++c) sp.Y[c] = 1000;
  ASSERT_TRUE(SetUpAluminium(1));
  const std::vector<double> steps = {0.5, 1.1, 1.9, 0.95, 2.0, 1.02, 0.6, 0.6, 1.5};
  const std::vector<int32_t> master = {0, 0, 2, 3, 3, 5, 6, 6, 6, 9};
  for (double threshold : {0.8, 1.7}) {
    SCOPED_TRACE(threshold);
    ui.transcript.clear();
    // Channels rise as d falls on an angular axis: the list stays in falling d.
    std::vector<double> channel = {700.25};
    for (double k : steps) channel.push_back(channel.back() + k * threshold);
    const int32_t m = static_cast<int32_t>(channel.size());
    PhaseTable[1].ReflectionCount = m, PhaseTable[1].MaxF = 1;
    for (int32_t j = 1; j <= m; ++j) HklTable[j][1] = THklRecord{j, 0, 0, 1, 0.5, 0, 1, ProfileChannelToD(channel[j - 1])};
    ui.ExpectDialog("Preparing parameter array").Ok();
    ui.ExpectDialog("Prepare " + ModeNames[2]).Edit(1, std::to_string(threshold)).Ok();
    ui.QueueAnswer(false);
    ui.ExpectDialog("Prepare").Ok();
    int32_t check = -1;
    PrepareParameterArray(check);
    ASSERT_EQ(MergeThreshold, threshold);
    const int32_t r = IntensityRecord(1, 0);
    std::vector<int32_t> found;
    for (int32_t j = 1; j <= m; ++j) found.push_back(parar[r + j].n - r - 1);
    EXPECT_EQ(found, master);
  }
}

}  // namespace
