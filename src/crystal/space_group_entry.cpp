#include "crystal/space_group_entry.h"
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/toolbox.h"
#include "crystal/symmetry_formula.h"

namespace {

constexpr int32_t MaxCentringVectors = 3;
// Decimals of the preset texts: thirds and sixths come back within 1e-10.
constexpr int32_t PresetDecimals = 10;

void RefuseGroupData() {
  ShowMsg("Wrong space group data");
  DialogOk = 0;
}

// A number as a short decimal: "0.5", "0.3333333333", "0"; the sign only when negative.
std::string DecimalText(double x) {
  if (std::fabs(x) < 0.5e-10) return "0";
  std::string s = FormatNumberNoBlanks(PresetDecimals, std::fabs(x));
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return x < 0 ? "-" + s : s;
}

// Operation o of g as a formula the parser reads back to 1e-10: "-x+y, -x+0.3333333333, z".
std::string FormulaText(const LATTICE& g, int32_t o) {
  std::string text;
  for (int32_t c = 0; c < 3; ++c) {
    std::string row;
    for (int32_t m = 0; m < 3; ++m) {
      const int32_t r = RoundHalfEven(g.Rotations[c][m][o]);
      if (r == 0) continue;
      if (r < 0) row += '-';
      else if (!row.empty()) row += '+';
      row += "xyz"[m];
    }
    const double t = g.Translations[c][o];
    const std::string value = DecimalText(t);
    if (value != "0") row += (t > 0 && !row.empty() ? "+" : "") + value;
    if (row.empty()) row = "0";
    if (c > 0) text += ", ";
    text += row;
  }
  return text;
}

// A dialog number that must be an integer of at most six digits; false when it is not.
bool SmallInteger(double x, int32_t& n) {
  if (!(std::fabs(x) < 1e6)) return false;
  n = RoundHalfEven(x);
  return true;
}

// The counts dialog into g; false on Cancel or bad data (DialogOk 0).
bool AskGroupCounts(LATTICE& g) {
  DialogCaption = "Enter space group info";
  BeginDialog(1);
  const char* labels[4] = {"Laue", "Setting", "Number of translations", "Number of transformations"};
  const double values[4] = {double(g.ClassCode), double(g.Setting), double(g.CentringCount),
                            double(g.OperationCount)};
  FillValueColumn(4, labels, values, 180, 70);
  ShowNumberGrid(5, 20, 4, 8, 1, 4);
  DialogOptions = LREC{};
  DialogOptions.captions[1] = std::string("Non-") + "Centrosymmetric";
  DialogOptions.captions[2] = "Centrosymmetric";
  DialogOptions.count = 2;
  DialogOptions.defaultItem = g.Centrosymmetric == 1 ? 2 : 1;
  ShowRadioGroup(1, 0, 5, 55, 260, 115);
  const char* notes[5] = {" Translations as strings with 3 numbers", "  Example: 0,  0.5,  0.5",
                          " Transformations as strings with formulae:",
                          "  Example:  -x,     y+0.5,    -z+0.5", " Later check the input: Info about phases"};
  const int32_t noteY[5] = {185, 205, 235, 255, 295};
  for (int32_t i = 0; i < 5; ++i)
    PlaceLabel(Form2.Label(i + 1), 5, noteY[i], notes[i], WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  double v[4];
  for (int32_t i = 0; i < 4; ++i) StrToFloatChecked(Form2.StringGrid1.Cell(0, i), v[i]);
  int32_t classCode = 0, setting = 0, centrings = 0, operations = 0;
  if (DialogOk != 1 || !SmallInteger(v[0], classCode) || !SmallInteger(v[1], setting) ||
      !SmallInteger(v[2], centrings) || !SmallInteger(v[3], operations) || centrings < 0 || operations < 1) {
    RefuseGroupData();
    return false;
  }
  g.ClassCode = classCode;
  g.Setting = setting;
  g.CentringCount = MinI(centrings, MaxCentringVectors);
  g.OperationCount = MinI(operations, MaxOperations);
  g.Centrosymmetric = Form2.RadioGroup1.itemIndex == 1 ? 1 : 0;
  return true;
}

// The memo dialog into g; false on Cancel or a bad line.
bool AskGroupLines(LATTICE& g) {
  DialogCaption = "Enter strings with data";
  PrepareDialog(620, 0, 430);
  ShowMemo(5, 605);
  std::vector<std::string>& memo = Form2.Memo1.lines;
  for (int32_t t = 1; t <= g.CentringCount; ++t)
    memo.push_back(DecimalText(g.CentringVectors[0][t]) + ",  " + DecimalText(g.CentringVectors[1][t]) + ",  " +
                   DecimalText(g.CentringVectors[2][t]));
  for (int32_t o = 1; o <= g.OperationCount; ++o) memo.push_back(FormulaText(g, o));
  ShowDialogModal();
  if (DialogOk != 1) return false;

  const std::vector<std::string> lines = Form2.Memo1.lines;
  const auto line = [&lines](int32_t i) { return i < static_cast<int32_t>(lines.size()) ? lines[i] : std::string(); };
  for (int32_t t = 1; t <= g.CentringCount; ++t) {
    int32_t n = 0;
    ParseNumbers(n, line(t - 1));
    if (n != 3) {
      RefuseGroupData();
      return false;
    }
    for (int32_t c = 0; c < 3; ++c) g.CentringVectors[c][t] = NumberBuffer[c + 1];
  }
  for (int32_t o = 1; o <= g.OperationCount; ++o) {
    std::string formula = line(g.CentringCount + o - 1);
    if (!ParseSymmetryFormula(g, o, formula)) {
      RefuseGroupData();
      return false;
    }
  }
  return true;
}

// The entries of the named group that starts at entry i, or false past the table.
bool Entry(size_t i, std::string& text) {
  if (i >= TestSpaceGroupData.size()) return false;
  text = TestSpaceGroupData[i];
  return true;
}

// The group of TestSpaceGroupData at entry `at` into g; false on bad data.
bool ReadNamedGroup(size_t at, const std::string& name, LATTICE& g) {
  std::string text;
  int32_t v[6] = {};
  for (int32_t i = 0; i < 6; ++i) {
    double x = 0;
    uint8_t ok = 0;
    if (!Entry(at + 1 + i, text)) return false;
    StrToFloatRobust(text, x, ok);
    if (ok != 1 || !SmallInteger(x, v[i])) return false;
  }
  const int32_t setting = v[0], type = v[1], classCode = v[2], centro = v[3], centrings = v[4];
  int32_t operations = v[5];
  if (!InRange(type, 0, 6) || !InRange(centro, 0, 1) || !InRange(centrings, 0, MaxCentringVectors) || operations < 1)
    return false;
  if (operations > MaxOperations) {
    ShowMsg("Error, number of transformations  > 48");
    operations = MaxOperations;
  }
  g.HermannMauguin = name;
  g.Schoenflies.clear();
  g.SpaceGroup = 1;
  g.Setting = setting;
  g.LatticeType = type;
  g.ClassCode = classCode;
  g.Centrosymmetric = centro;
  g.CentringCount = centrings;
  g.OperationCount = operations;
  int32_t n = 0;
  if (!Entry(at + 7, text)) return false;
  ParseNumbers(n, text);
  if (n != 9) return false;
  for (int32_t t = 1; t <= 3; ++t)
    for (int32_t c = 0; c < 3; ++c) g.CentringVectors[c][t] = NumberBuffer[3 * (t - 1) + c + 1];
  for (int32_t o = 1; o <= operations; ++o) {
    if (!Entry(at + 7 + static_cast<size_t>(o), text) || !ParseSymmetryFormula(g, o, text)) return false;
  }
  return true;
}

}  // namespace

void EnterNonStandardGroup(int32_t p) {
  if (!TableIndexOk(p, 1, MaxPhases, "phase")) {
    DialogOk = 0;
    return;
  }
  // Both dialogs fill a copy: the phase changes only when every line was good.
  LATTICE g = PhaseTable[p];
  if (!AskGroupCounts(g) || !AskGroupLines(g)) {
    DialogOk = 0;
    return;
  }
  PhaseTable[p] = g;
  DialogOk = 1;
}

void NameNonStandardGroup(int32_t p) {
  if (!TableIndexOk(p, 1, MaxPhases, "phase")) {
    DialogOk = 0;
    return;
  }
  DialogCaption = "Enter the name of non-standard space group";
  BeginDialog(1);
  std::string shown = PhaseTable[p].HermannMauguin;
  DeleteSpaces(shown);
  PlaceEdit(Form2.Edit1, 30, 50, shown, 260);
  ShowDialogModal();
  if (DialogOk != 1) return;
  std::string name = Form2.Edit1.text;
  UpperCaseCyr(name);
  DeleteSpaces(name);

  // Walk the groups: name, six counts, the centring numbers, then as many formulas as counted.
  size_t at = 0;
  bool found = false;
  for (int32_t tries = 0; tries < TestSpaceGroupCapacity && at < TestSpaceGroupData.size(); ++tries) {
    std::string entry = TestSpaceGroupData[at];
    UpperCaseCyr(entry);
    DeleteSpaces(entry);
    if (entry == name) {
      found = true;
      break;
    }
    double n = 0;
    uint8_t ok = 0;
    std::string count;
    if (!Entry(at + 6, count)) break;
    StrToFloatRobust(count, n, ok);
    if (ok != 1 || !(n >= 0 && n <= 1000)) break;
    at += 8 + static_cast<size_t>(RoundHalfEven(n));
  }
  if (!found) {
    ShowMsg("No group " + name);
    DialogOk = 0;
    return;
  }
  LATTICE g = PhaseTable[p];
  if (!ReadNamedGroup(at, name, g)) {
    RefuseGroupData();
    return;
  }
  PhaseTable[p] = g;
  DialogOk = 1;
}
