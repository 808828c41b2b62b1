#include "crystal/symmetry_formula.h"
#include "core/dialog_state.h"
#include "core/toolbox.h"

namespace {

// Longest first expression, and longest third expression read.
constexpr size_t FormulaPartLength = 72;

// What may stay in an expression once its terms are removed: the characters "+" to "9".
bool AllowedLeftover(char c) { return c >= '+' && c <= '9'; }

// One expression: its rotation row and constant. False on a syntax error.
bool ParseExpression(std::string part, double (&row)[3], double& constant) {
  ParseSymmetryTerm(part, 'X', row[0]);
  ParseSymmetryTerm(part, 'Y', row[1]);
  ParseSymmetryTerm(part, 'Z', row[2]);
  for (char c : part)
    if (!AllowedLeftover(c)) return false;
  constant = 0.0;
  if (part.empty()) return true;
  uint8_t ok = 0;
  StrToFloatRobust(part, constant, ok);
  return ok == 1;
}

}  // namespace

void ParseSymmetryTerm(std::string& s, char letter, double& coefficient) {
  const char plus[] = {'+', letter, '\0'}, minus[] = {'-', letter, '\0'};
  size_t at = s.find(plus);
  if (at != std::string::npos) {
    coefficient = 1.0;
    s.erase(at, 2);
  } else if ((at = s.find(minus)) != std::string::npos) {
    coefficient = -1.0;
    s.erase(at, 2);
  } else if ((at = s.find(letter)) != std::string::npos) {
    coefficient = 1.0;
    s.erase(at, 1);
  } else {
    coefficient = 0.0;
  }
}

bool ParseSymmetryFormula(LATTICE& lattice, int32_t operation, std::string& formula) {
  if (!TableIndexOk(operation, 1, MaxOperations, "operation")) {
    DialogOk = 0;
    return false;
  }
  DeleteSpaces(formula);
  UpperCaseCyr(formula);
  // The first comma ends the first expression only within its first 72 characters.
  size_t p1 = formula.find(',');
  if (p1 != std::string::npos && p1 < FormulaPartLength)
    formula[p1] = ' ';
  else
    p1 = std::string::npos;
  const size_t p2 = formula.find(',');
  double rotation[3][3] = {}, translation[3] = {};
  bool ok = p1 != std::string::npos && p2 != std::string::npos;
  if (ok) {
    const std::string parts[3] = {formula.substr(0, p1), formula.substr(p1 + 1, p2 - p1 - 1),
                                  formula.substr(p2 + 1, FormulaPartLength)};
    for (int32_t i = 0; i < 3 && ok; ++i) ok = ParseExpression(parts[i], rotation[i], translation[i]);
  }
  if (!ok) {
    ShowMsg("Poor syntax= " + formula);
    DialogOk = 0;
    return false;
  }
  for (int32_t i = 0; i < 3; ++i) {
    for (int32_t m = 0; m < 3; ++m) lattice.Rotations[i][m][operation] = rotation[i][m];
    lattice.Translations[i][operation] = translation[i];
  }
  return true;
}

void ParseSymmetryFormula(int32_t phase, int32_t operation, std::string& formula) {
  if (!TableIndexOk(phase, 1, MaxPhases, "phase")) {
    DialogOk = 0;
    return;
  }
  ParseSymmetryFormula(PhaseTable[phase], operation, formula);
}
