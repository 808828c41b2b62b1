// Shared by the tests of the phase editor and the non-standard group entry: a fixture that puts
// back what the editor changes besides the tables, a field-by-field comparison of two phase
// records, and the full operation set of a phase as gemmi lists a group.
#pragma once
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_setup.h"
#include "support/golden_files.h"

// One operation of a group: rotation row by row and translation in [0, 1).
struct TGroupOp {
  int r[9];
  double t[3];
};

inline double WrapFraction(double x) {
  x -= std::floor(x);
  return x >= 1 - 1e-9 ? 0.0 : x;
}

// Every operation of g: s (R x + t + c), s = +1 and, for a centrosymmetric group, -1; c = 0 and
// the centring vectors.
inline std::vector<TGroupOp> ExpandedOperations(const LATTICE& g) {
  std::vector<TGroupOp> ops;
  for (int s : {1, -1}) {
    if (s < 0 && g.Centrosymmetric != 1) break;
    for (int v = 0; v <= g.CentringCount; ++v)
      for (int o = 1; o <= g.OperationCount; ++o) {
        TGroupOp op;
        for (int i = 0; i < 3; ++i) {
          for (int m = 0; m < 3; ++m) op.r[3 * i + m] = s * static_cast<int>(std::lround(g.Rotations[i][m][o]));
          op.t[i] = WrapFraction(s * (g.Translations[i][o] + (v > 0 ? g.CentringVectors[i][v] : 0.0)));
        }
        ops.push_back(op);
      }
  }
  return ops;
}

// The rows "name r11 .. r33 t1 t2 t3" of the named group in tests/crystal/data/<file>.
inline std::vector<TGroupOp> GoldenOperations(const std::string& file, const std::string& name) {
  std::vector<TGroupOp> ops;
  for (const Tokens& row : GoldenRows(file, "crystal")) {
    if (row.size() != 13 || row[0] != name) continue;
    TGroupOp op;
    for (int i = 0; i < 9; ++i) op.r[i] = std::stoi(row[1 + i]);
    for (int i = 0; i < 3; ++i) op.t[i] = std::stod(row[10 + i]);
    ops.push_back(op);
  }
  return ops;
}

// The operations of want that got lacks (translations equal modulo 1 within tol), plus a note
// when the counts differ; empty when the two sets are equal.
inline std::vector<std::string> MissingOperations(const std::vector<TGroupOp>& got, const std::vector<TGroupOp>& want,
                                                  double tol) {
  std::vector<std::string> out;
  if (got.size() != want.size())
    out.push_back(std::to_string(got.size()) + " operations against " + std::to_string(want.size()));
  for (const TGroupOp& w : want) {
    const bool found = std::any_of(got.begin(), got.end(), [&](const TGroupOp& g) {
      if (!std::equal(g.r, g.r + 9, w.r)) return false;
      for (int i = 0; i < 3; ++i) {
        const double d = std::fabs(g.t[i] - w.t[i]);
        if (std::min(d, 1 - d) > tol) return false;
      }
      return true;
    });
    if (!found) {
      std::string text;
      for (int v : w.r) text += std::to_string(v) + " ";
      for (double t : w.t) text += std::to_string(t) + " ";
      out.push_back("missing " + text);
    }
  }
  return out;
}

// The phase tables and the editor's other state put back at the end; screen scale 1, font 10.
class PhaseEditorTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    ScreenScale = 1.0;
    FontSize = 10;
    NoCrystalInfo = 1;
    std::fill(std::begin(ParametersPending), std::end(ParametersPending), 0);
  }
  void TearDown() override {
    ScreenScale = 1.0;
    PhaseTest::TearDown();
  }

private:
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount};
  KeepValues<std::string> groupFile_{&SpaceGroupFileName, 1};
  KeepValues<double> numbers_{DialogNumbers, DialogNumberCount + 1};
  KeepValues<int32_t> fontSize_{&FontSize, 1};
};
