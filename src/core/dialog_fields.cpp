// The number fields of the dialog window: which edits and grid cells hold numbers, what each
// allows, and the check that OK makes before it closes the window.
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/small_routines.h"

namespace {
std::string Trimmed(std::string s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string Shortest(double x) {
  std::string s;
  FormatNumberFit(12, s, x);
  return s;
}

std::string AllowedRange(double lo, double hi) {
  if (std::isinf(lo)) return "at most " + Shortest(hi);
  if (std::isinf(hi)) return "at least " + Shortest(lo);
  return Shortest(lo) + " to " + Shortest(hi);
}

// The field's text, or nullptr when the field is not shown now.
const std::string* FieldText(const TForm2& f, const TNumberField& n) {
  if (n.edit != 0) {
    if (n.edit < 1 || n.edit > 4 || !f.Edit(n.edit).visible) return nullptr;
    return &f.Edit(n.edit).text;
  }
  const TStringGrid& g = f.StringGrid1;
  if (!g.visible || n.col < 0 || n.row < 0 || n.col >= g.colCount || n.row >= g.rowCount) return nullptr;
  return &g.Cell(n.col, n.row);
}
}  // namespace

std::string FieldName(const std::string& label) {
  std::string s = Trimmed(label);
  while (!s.empty() && s.back() == '=') s = Trimmed(s.substr(0, s.size() - 1));
  return s;
}

void TForm2::FieldEdited() {
  if (onFieldEdited) onFieldEdited(*this);
}

bool TForm2::NumberFieldsHold() const {
  for (const TNumberField& n : numberFields) {
    const std::string* text = FieldText(*this, n);
    if (!text) continue;
    // Read as the operation reads it: blank is 0, "," is the decimal point.
    double x = 0.0;
    uint8_t ok = 1;
    if (!IsBlank(*text)) StrToFloatRobust(*text, x, ok);
    if (ok == 0 || !std::isfinite(x)) {
      ShowMsg("Error, " + n.name + ": \"" + Trimmed(*text) + "\" is not a number");
      return false;
    }
    if (x < n.lo || x > n.hi) {
      ShowMsg("Error, " + n.name + " = " + Shortest(x) + " is out of range (" + AllowedRange(n.lo, n.hi) + ")");
      return false;
    }
  }
  return true;
}

void NumberEdit(int32_t i, double lo, double hi) {
  if (i < 1 || i > 4) return;
  std::string name = FieldName(DialogEditLabel(i));
  Form2.numberFields.push_back({i, 0, 0, name.empty() ? "field " + std::to_string(i) : name, lo, hi});
}

void LimitGridRow(int32_t row, double lo, double hi) {
  for (TNumberField& n : Form2.numberFields)
    if (n.edit == 0 && n.row == row - 1) n.lo = lo, n.hi = hi;
}

void NumberGridFields(int32_t columns, int32_t rows) {
  std::erase_if(Form2.numberFields, [](const TNumberField& n) { return n.edit == 0; });
  for (int32_t r = 1; r <= rows; ++r) {
    std::string name = FieldName(DialogFieldLabels[r]);
    if (name.empty()) name = "row " + std::to_string(r);
    for (int32_t c = 1; c <= columns; ++c)
      Form2.numberFields.push_back(
          {0, c - 1, r - 1, columns > 1 ? name + " (column " + std::to_string(c) + ")" : name, -HUGE_VAL, HUGE_VAL});
  }
}
