// The state a parameter-array preparation reads and sets, at its start values and put back after
// each test: the thresholds and deviations of the dialogs, the pending and reuse flags of every
// mode, the records.
#pragma once
#include "core/model_switches.h"
#include "crystal/profile_setup.h"

class PreparationFixture : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    DelayDeviation = 0, AnisotropyBound = 10, MergeThreshold = 0.5, WeakPeakLevel = 1;
    FitControlsGiven = 0, PreparedParameterCount = 0;
    for (int32_t m = 0; m < ModeCount; ++m) UseAvailableArray[m] = 0, ParametersPending[m] = 1, FitPending[m] = 0;
  }

private:
  KeepValues<ParameterRecord> records_{parar, MaxParameters + 1};
  KeepValues<uint8_t> flags_[4] = {{ParametersPending, ModeCount}, {FitPending, ModeCount}, {&StopButtonOption, 1},
                                   {&FitControlsGiven, 1}};
  KeepValues<int32_t> counts_[3] = {{UseAvailableArray, ModeCount}, {&ParameterArrayMode, 1}, {&PreparedParameterCount, 1}};
  KeepValues<double> values_[4] = {{&DelayDeviation, 1}, {&AnisotropyBound, 1}, {&MergeThreshold, 1}, {&WeakPeakLevel, 1}};
};
