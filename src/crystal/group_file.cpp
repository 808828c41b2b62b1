#include "crystal/group_file.h"
#include <cmath>
#include <string>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/symmetry_formula.h"

namespace {

constexpr int32_t MaxCentringVectors = 3;

// x to the nearest integer when it is one that an int32 holds.
bool NearestInteger(double x, int32_t& n) {
  if (!(std::fabs(x) < 2147483647.0)) return false;
  n = RoundHalfEven(x);
  return true;
}

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
    if (!NearestInteger(NumberBuffer[i + 1], v[i])) return false;
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
  PhaseTable[p] = group;
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
