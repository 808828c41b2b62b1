// Shared by the tests of the space-group, element, metric and reduction routines: the folder of
// the generators re-run live, and a fixture that puts the model tables back.
#pragma once
#include <cmath>
#include <filesystem>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

inline const std::filesystem::path LiveDir = TestTempPath("crystal_live");

// Runs tools/<script> with the argument out (inside LiveDir); false when python3 lacks module.
inline bool RunGenerator(const std::string& module, const std::string& script, const std::string& out) {
  if (!PythonHas(module)) return false;
  std::filesystem::create_directories(LiveDir);
  EXPECT_EQ(RunTool(script, out), 0) << script;
  return true;
}

// Puts back the phase, atom and parameter tables and the switches that the tests change.
class CrystalTest : public ScriptedTest {
  KeepValues<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  KeepValues<ATOM> atoms_{&AtomTable[0][0], (MaxAtoms + 1) * (MaxPhases + 1)};
  KeepValues<ParameterRecord> records_{parar, MaxParameters + 1};
  KeepValues<int32_t> flags_{PhaseModelFlags, MaxPhases + 1}, count_{&PhaseCount, 1}, mode_{&MainMode, 1};
  KeepValues<uint8_t> inhibit_{&InhibitWarnings, 1};
};
