// A fixture for the tests of the model tables: the scripted backend, five fresh spectra in
// SpectrumList and the model reset for 1024 channels; on the way out the tables, switches,
// random seeds and spectra the tests change are put back.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "core/dspacing_list.h"
#include "core/graph_drawing.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/spectrum.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

using Strings = std::vector<std::string>;

class ModelTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    Clean();
  }
  void TearDown() override {
    Clean();
    ScriptedTest::TearDown();
  }
  // The start state of everything the tests touch.
  static void Clean() {
    ResetModelState(1024);
    MainMode = 0, ExponentialCount = 0, PlaneSettings.count = 0;
    for (auto& p : PhaseTable) p = LATTICE{};
    for (auto& r : parar) r = ParameterRecord{};
    for (int32_t m = 1; m <= 6; ++m) DeltaPosition[m] = 5.0, DeltaW0[m] = 4.0, DeltaW1[m] = 100.0;
    IntervalFirst = 1, IntervalLast = 1024, NChannels = 1024;
  }
  static TSpectrum& Sp(int32_t s) { return *SpectrumList[s]; }

private:
  KeepValues<TRandomSeeds> seeds_{&RandomSeeds, 1};
  FreshSpectra spectra_;
};
