// Shared by the indexing tests: the golden rows of tools/gen_indexing_golden.py, measured lines,
// a fresh fitter, the automatic preparation through the scripted dialogs, and a fixture that puts
// back the tables and switches the tests change.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>
#include "core/dspacing_list.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_preparation.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "support/celix_script.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

inline std::vector<Tokens> IndexingGolden(const std::string& kind) {
  std::vector<Tokens> out;
  for (Tokens& row : GoldenRows("indexing_golden.txt", "indexing"))
    if (row[0] == kind) out.push_back(std::move(row));
  return out;
}

inline double Num(const std::string& s) { return std::stod(s); }

// The tolerance of a generator's live rows against its committed ones: a number within `relative`
// of the committed value, any other token equal.
inline TokenTolerance RelativeToNumbers(double relative) {
  return [relative](const Tokens& row, size_t col) {
    double x = 0;
    return TokenNumber(row[col], x) ? relative * std::fabs(x) : NAN;
  };
}

// The 20 largest distinct d of P 5.1 6.3 7.7, descending.
inline std::vector<double> GoldenLines() {
  std::vector<double> d;
  for (const Tokens& row : IndexingGolden("line")) d.push_back(Num(row[1]));
  return d;
}

constexpr double DegToRad = 3.14159265358979323846 / 180;

class IndexingTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    PhaseCount = 1, IndexingMode = 0, CynematicFit = 0, DSpacingDataType = 0, UseSpaceGroup = 0;
    BadReflectionMeasures = 0, UseVolumeRestriction = 0, FitControlsGiven = 0, MinimizerKind = 0;
    AutoHklBounds = AutoCellVolume = AutoInitCell = 1, BinDefaultsSet = 0, DisplayCurrentFit = 0;
    NoCrystalInfo = 1, MainMode = 0, CurrentSpectrum = 1, TrialCounter = 0;
    for (int32_t p = 1; p <= MaxPhases; ++p) {
      PhaseTable[p] = LATTICE{}, VolumeMinimizers[p] = 0, VolumeWeights[p] = 1, CellVolumes[p] = 5000;
      PhaseTable[p].CrystalSystem = 3;
    }
    FreeCelixFitter();
    CreateCelixFitter();
  }
  void TearDown() override {
    FreeCelixFitter();
    DialogTest::TearDown();
  }

  // Lines of d (descending as AssignDSpacings leaves them), error err each.
  static void SetLines(const std::vector<double>& d, double err = 0.001) {
    DSpacingCount = static_cast<int32_t>(d.size());
    for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i] = TDSpacingRecord{}, DSpacingList[i].d = d[i - 1];
    for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i].Error = err;
    AverageDError = err;
  }
  // The automatic preparation: OK on every dialog, phase p with crystal system systems[p - 1]; a
  // volume limit other than 0 is typed into phase 1's bounds dialog.
  void PrepareAuto(const std::vector<int32_t>& systems, double volume = 0) {
    PhaseCount = static_cast<int32_t>(systems.size());
    for (size_t p = 1; p <= systems.size(); ++p) {
      ui.ExpectDialog(" Phase= " + std::to_string(p)).Combo(systems[p - 1]).Ok();
      DialogScript& bounds = ui.ExpectDialog(" Phase= " + std::to_string(p));
      if (p == 1 && volume != 0) bounds.Field(6, 1, std::to_string(volume));
      bounds.Ok();
      ui.ExpectDialog("Set lattice parameters").Ok();
    }
    PrepareIndexing();
  }
  // Fit controls as Make sets them before a search.
  // The Celix menu as a new user runs it (support/celix_script.h).
  void ScriptDefaultIndexing(int32_t system, int32_t type) { ::ScriptDefaultIndexing(ui, system, type); }
  static void MakeControls(int32_t tries) {
    TAULSM& fit = *CelixFitter;
    fit.Controls() = DefaultFitControls;
    fit.ConvergenceMode = 1;
    fit.NTries = tries;
    fit.TriesPerBin = 0;
  }

  FreshSpectra spectra_;
  KeepValues<TDSpacingRecord> lines_{DSpacingList, MaxDSpacings + 1};
  KeepValues<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  KeepValues<ParameterRecord> records_{parar, IndexingRecordCapacity + 1};
  KeepValues<int32_t> counts_{&PhaseCount, 1}, dcount_{&DSpacingCount, 1}, mode_{&IndexingMode, 1},
      cyn_{&CynematicFit, 1}, type_{&DSpacingDataType, 1}, main_{&MainMode, 1}, arrayMode_{&ParameterArrayMode, 1},
      trials_{&TrialCounter, 1};
  KeepValues<double> avg_{&AverageDError, 1}, volumes_{CellVolumes, MaxPhases + 1},
      minimizers_{VolumeMinimizers, MaxPhases + 1};
  KeepValues<int32_t> bounds_{&HklBounds[0][0], (MaxPhases + 1) * 5};
  KeepValues<uint8_t> flags_{&BadReflectionMeasures, 1}, restrict_{&UseVolumeRestriction, 1},
      group_{&UseSpaceGroup, 1}, noInfo_{&NoCrystalInfo, 1}, given_{&FitControlsGiven, 1};
  KeepValues<TFitControls> controls_{&DefaultFitControls, 1};
};
