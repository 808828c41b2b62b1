// Shared by the tests of the space-group, element, metric and reduction routines: golden files
// as token rows, generators re-run live, and a fixture that puts the model tables back.
#pragma once
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

using Tokens = std::vector<std::string>;
inline const std::filesystem::path LiveDir = TestTempPath("crystal_live");

inline std::vector<Tokens> GoldenRows(const std::string& name) {
  std::vector<Tokens> rows;
  std::ifstream in(std::string(VKEST_SOURCE_DIR) + "/tests/core/data/" + name);
  for (std::string line; std::getline(in, line);) {
    std::istringstream ss(line);
    if (!line.empty() && line[0] != '#') rows.emplace_back(std::istream_iterator<std::string>(ss), std::istream_iterator<std::string>());
  }
  return rows;
}

inline std::string FileText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs tools/<script> with the argument out (inside LiveDir); false when python3 lacks module.
inline bool RunGenerator(const std::string& module, const std::string& script, const std::string& out) {
  const std::string py = VKEST_PYTHON;
  if (py.empty() || std::system((py + " -c 'import " + module + "' 2>/dev/null").c_str()) != 0) return false;
  std::filesystem::create_directories(LiveDir);
  EXPECT_EQ(std::system((py + " " VKEST_SOURCE_DIR "/tools/" + script + " " + out).c_str()), 0) << script;
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
