#include "crystal/group_file.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include "core/cell_geometry.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/symmetry_formula.h"

namespace {

constexpr int32_t MaxCentringVectors = 3;
constexpr double Radian = std::numbers::pi / 180;  // per degree

// The next non-comment line parsed into NumberBuffer; true when it holds exactly count numbers.
bool ReadNumberLine(TextFile& f, int32_t count) {
  ReadNextLine(f);
  int32_t n = 0;
  ParseNumbers(n, InputLine);
  return n == count;
}

// The six-number line into g: false when it is not six numbers or a value is out of its range.
bool ReadCounts(TextFile& f, LATTICE& g) {
  if (!ReadNumberLine(f, 6)) return false;
  int32_t v[6];
  for (int32_t i = 0; i < 6; ++i)
    if (!RoundToInt32(NumberBuffer[i + 1], v[i])) return false;
  const int32_t classCode = v[0], centrings = v[1], operations = v[2], centro = v[3], type = v[4],
                system = v[5];
  if (centrings < 0 || operations < 0 || (centro != 0 && centro != 1) || !InRange(type, 0, 6) ||
      !InRange(system, 1, 7))
    return false;
  g.ClassCode = classCode;
  g.CentringCount = MinI(centrings, MaxCentringVectors);
  g.OperationCount = MinI(operations, MaxOperations);
  g.Centrosymmetric = centro;
  g.LatticeType = type;
  g.CrystalSystem = system;
  return true;
}

// Formula lines 1..OperationCount into the operations of g.
bool ReadFormulas(TextFile& f, LATTICE& g) {
  for (int32_t n = 1; n <= g.OperationCount; ++n) {
    ReadNextLine(f);
    if (IsBlank(InputLine)) ShowMsg("Error, blank line in space group");
    std::string formula = InputLine;
    if (!ParseSymmetryFormula(g, n, formula)) return false;
  }
  return true;
}

// The whole file into g; false at the first bad line (its message shown).
bool ReadGroup(TextFile& f, LATTICE& g, bool magnetic, int32_t mode) {
  if (!ReadCounts(f, g)) return false;
  for (int32_t t = 1; t <= g.CentringCount; ++t) {
    if (!ReadNumberLine(f, 3)) return false;
    for (int32_t c = 0; c < 3; ++c) g.CentringVectors[c][t] = NumberBuffer[c + 1];
  }
  if (!ReadFormulas(f, g)) return false;
  if (!magnetic) return true;
  if (!ReadFormulas(f, g)) return false;
  if (mode == 1) {
    ReadNextLine(f);
    int32_t n = 0;
    ParseNumbers(n, InputLine);
    if (n != 3) ShowMsg("Suspicious mag.spin plane info");
    // Numbers the line lacks count as 0, not as whatever an earlier line left in the buffer.
    for (int32_t c = 0; c < 3; ++c) g.MomentDirection[c] = c < n ? NumberBuffer[c + 1] : 0.0;
  }
  return true;
}

}  // namespace

int32_t MetricBrokenBy(const LATTICE& g, const double (&cell)[6]) {
  for (int32_t i = 0; i < 6; ++i)
    if (!std::isfinite(cell[i]) || !(cell[i] > 0) || (i >= 3 && !(cell[i] < 180))) return 0;
  if (!(CellVolume(cell) > 0)) return 0;
  double G[3][3];
  const double cosines[3] = {std::cos(cell[3] * Radian), std::cos(cell[4] * Radian), std::cos(cell[5] * Radian)};
  for (int32_t i = 0; i < 3; ++i) G[i][i] = cell[i] * cell[i];
  G[1][2] = G[2][1] = cell[1] * cell[2] * cosines[0];
  G[0][2] = G[2][0] = cell[0] * cell[2] * cosines[1];
  G[0][1] = G[1][0] = cell[0] * cell[1] * cosines[2];
  constexpr double Precision = 2e-4;
  for (int32_t n = 1; n <= std::clamp(g.OperationCount, 0, MaxOperations); ++n)
    for (int32_t i = 0; i < 3; ++i)
      for (int32_t j = 0; j < 3; ++j) {
        // (R^T G R)_ij = sum over k, l of R_ki G_kl R_lj.
        double v = 0;
        for (int32_t k = 0; k < 3; ++k)
          for (int32_t l = 0; l < 3; ++l) v += g.Rotations[k][i][n] * G[k][l] * g.Rotations[l][j][n];
        if (!(std::fabs(v - G[i][j]) <= Precision * std::sqrt(G[i][i] * G[j][j]))) return n;
      }
  return 0;
}

void ShowMetricBroken(int32_t operation) {
  ShowMsg("Wrong space group data: operation " + std::to_string(operation) + " does not keep the cell's metric");
}

void ReadNonStandardGroup(int32_t p, int32_t mode) {
  DialogOk = 1;
  if (!TableIndexOk(p, 1, MaxPhases, "phase")) {
    DialogOk = 0;
    return;
  }
  if (mode == 0) {
    std::string name = SpaceGroupFileName;
    AskFileName(name, 0);
    if (DialogOk != 1) {
      DialogOk = 0;
      return;
    }
    SpaceGroupFileName = name;
  }
  TextFile f;
  f.Reset(SpaceGroupFileName);
  // Read into a copy: the phase changes only when the whole file was good.
  LATTICE group = PhaseTable[p];
  const bool ok = ReadGroup(f, group, PhaseModelFlags[p] == 1, mode);
  f.Close();
  if (!ok) {
    ShowMsg("Wrong space group data");
    DialogOk = 0;
    return;
  }
  // The INI command gave the cell first; the reflection list would merge reflections of other d.
  double cell[6];
  std::copy(group.Cell, group.Cell + 6, cell);
  SetSystemAngles(cell[3], cell[4], cell[5], group.CrystalSystem);
  if (const int32_t n = mode == 1 ? MetricBrokenBy(group, cell) : 0; n != 0) {
    ShowMetricBroken(n);
    DialogOk = 0;
    return;
  }
  PhaseTable[p] = group;
  PhaseGroupFileNames[p] = SpaceGroupFileName;
  DialogOk = 1;
  if (mode != 0) return;
  InfoLines.count = 0;
  AddInfoLine("Non-standard group read in.");
  AddInfoLine("See INFO about phase");
  BeginDialog(1);
  ShowListBox(20, 40, 270, 120);
  ShowDialogModal();
  DialogOk = 1;  // the group was read, however the list was closed
}
