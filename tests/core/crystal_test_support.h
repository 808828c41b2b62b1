// Shared by the tests of the space-group, element, metric and reduction routines: the folder of
// the generators re-run live, and a fixture that puts the model tables back.
#pragma once
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "support/golden_files.h"
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

// n values from p, written back when the keeper goes.
template <class T>
struct Keep {
  Keep(T* p, size_t n) : at(p), copy(p, p + n) {}
  ~Keep() { std::copy(copy.begin(), copy.end(), at); }
  T* at;
  std::vector<T> copy;
};

// Puts back the phase, atom and parameter tables and the switches that the tests change.
class CrystalTest : public ScriptedTest {
  Keep<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  Keep<ATOM> atoms_{&AtomTable[0][0], (MaxAtoms + 1) * (MaxPhases + 1)};
  Keep<ParameterRecord> records_{parar, MaxParameters + 1};
  Keep<int32_t> flags_{PhaseModelFlags, MaxPhases + 1}, count_{&PhaseCount, 1}, mode_{&MainMode, 1};
  Keep<uint8_t> inhibit_{&InhibitWarnings, 1};
};
