// Shared by the tests of the crystal dialogs: a fixture that puts back what the dialogs change
// besides the phase tables, and the operations of a group as sorted keys for comparing with gemmi.
#pragma once
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "support/golden_files.h"

// One operation as "r11 .. r33 t1 t2 t3", the translations in millionths modulo 1: equal keys
// are equal operations within 5e-7.
inline std::string OperationKey(const int* r, const double* t) {
  std::string key;
  for (int i = 0; i < 9; ++i) key += std::to_string(r[i]) + " ";
  for (int i = 0; i < 3; ++i) key += std::to_string(std::lround(1e6 * (t[i] - std::floor(t[i]))) % 1000000) + " ";
  return key;
}

// Every operation of g, sorted: s (R x + t + c), s = -1 too when centrosymmetric, c = 0 and the
// centring vectors.
inline std::vector<std::string> OperationKeys(const LATTICE& g) {
  std::vector<std::string> keys;
  for (int s = 1; s >= (g.Centrosymmetric == 1 ? -1 : 1); s -= 2)
    for (int v = 0; v <= g.CentringCount; ++v)
      for (int o = 1; o <= g.OperationCount; ++o) {
        int r[9];
        double t[3];
        for (int i = 0; i < 3; ++i) {
          for (int m = 0; m < 3; ++m) r[3 * i + m] = s * static_cast<int>(std::lround(g.Rotations[i][m][o]));
          t[i] = s * (g.Translations[i][o] + (v > 0 ? g.CentringVectors[i][v] : 0.0));
        }
        keys.push_back(OperationKey(r, t));
      }
  std::sort(keys.begin(), keys.end());
  return keys;
}

// The rows "name r11 .. r33 t1 t2 t3" of the named group in tests/crystal/data/<file>, sorted.
inline std::vector<std::string> GoldenOperationKeys(const std::string& file, const std::string& name) {
  std::vector<std::string> keys;
  for (const Tokens& row : GoldenRows(file, "crystal")) {
    if (row.size() != 13 || row[0] != name) continue;
    int r[9];
    double t[3];
    for (int i = 0; i < 9; ++i) r[i] = std::stoi(row[1 + i]);
    for (int i = 0; i < 3; ++i) t[i] = std::stod(row[10 + i]);
    keys.push_back(OperationKey(r, t));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

// The phase tables and the dialogs' other state put back at the end. Screen scale 1, font 10,
// no crystal information yet, no parameters pending, fresh spectra with spectrum 1 time of flight.
class CrystalDialogTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    ScreenScale = 1.0;
    FontSize = 10;
    NoCrystalInfo = 1;
    InhibitWarnings = 0;
    AnisotropyOn = 0;
    HklSymmetryChoice = 0;
    EditedPhase = 0;
    std::fill(std::begin(ParametersPending), std::end(ParametersPending), 0);
    TofTestSpectrum();
  }
  static std::vector<int> Pending() { return {ParametersPending, ParametersPending + ModeCount}; }

private:
  FreshSpectra spectra_;
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount}, inhibit_{&InhibitWarnings, 1},
      anisotropy_{&AnisotropyOn, 1}, anisotropic_{AnisotropicPhases, MaxPhases + 1};
  KeepValues<int32_t> fontSize_{&FontSize, 1}, choice_{&HklSymmetryChoice, 1}, edited_{&EditedPhase, 1},
      formedFirst_{HklFormedFirst, 5}, formedLast_{HklFormedLast, 5};
  KeepValues<double> scale_{&ScreenScale, 1}, numbers_{DialogNumbers, DialogNumberCount + 1};
  KeepValues<std::string> groupFile_{&SpaceGroupFileName, 1};
};
