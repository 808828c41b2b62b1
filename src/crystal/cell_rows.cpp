#include "crystal/cell_rows.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "crystal/metric_constraints.h"

double CellWorkRows[3][6] = {};
double CellScratch[6] = {};

namespace {

// Cross terms of at most this magnitude are taken as 0 (1/angstrom^2).
constexpr double CrossTermZero = 1e-6;
// A bound of A, B or C that is not positive converts as this fraction of the value.
constexpr double TinyMetricFraction = 1e-6;
constexpr int32_t CellFieldWidth = 12;

bool IndexingLayout() { return MainMode == 1; }

void StoreRows(int32_t first) {
  for (int32_t q = 0; q < 6; ++q) {
    ParameterRecord& r = parar[first + q];
    r.lower = CellWorkRows[LowerCellRow][q];
    r.value = CellWorkRows[ValueCellRow][q];
    r.upper = CellWorkRows[UpperCellRow][q];
  }
}

void SwapBounds(int32_t q) { std::swap(CellWorkRows[LowerCellRow][q], CellWorkRows[UpperCellRow][q]); }

// One metric row A, B, C, kl, hl, hk into the direct cell a, b, c, alpha, beta, gamma.
void MetricRowToCell(double (&row)[6]) {
  const double as = std::sqrt(row[0]), bs = std::sqrt(row[1]), cs = std::sqrt(row[2]);
  CellScratch[0] = as, CellScratch[1] = bs, CellScratch[2] = cs;
  CellScratch[3] = ArcCosClamped(row[3] / (2 * bs * cs)) * RadToDeg;
  CellScratch[4] = ArcCosClamped(row[4] / (2 * as * cs)) * RadToDeg;
  CellScratch[5] = ArcCosClamped(row[5] / (2 * as * bs)) * RadToDeg;
  double volume = 0;
  CellMetric(CellScratch, row, volume, 0);
}

// One direct cell row into A, B, C, kl, hl, hk.
void CellRowToMetric(double (&row)[6]) {
  std::copy(row, row + 6, CellScratch);
  double reciprocal[6], volume = 0;
  CellMetric(CellScratch, reciprocal, volume, 0);
  const double* r = reciprocal;
  row[0] = r[0] * r[0], row[1] = r[1] * r[1], row[2] = r[2] * r[2];
  row[3] = 2 * r[1] * r[2] * std::cos(r[3] / RadToDeg);
  row[4] = 2 * r[0] * r[2] * std::cos(r[4] / RadToDeg);
  row[5] = 2 * r[0] * r[1] * std::cos(r[5] / RadToDeg);
  for (int32_t q = 3; q < 6; ++q)
    if (std::fabs(row[q]) <= CrossTermZero) row[q] = 0;
}

// The bounds convert one quantity at a time against the value cell v (a, b, c, alpha, beta,
// gamma): A's bound is A at a's bound with everything else at its value, kl's bound kl at alpha's
// bound, and so on. With the angles fixed A goes as 1/a^2; with b, c, beta, gamma fixed
//   kl = -2 u / (b c (S - u^2)),  u = cos alpha - cos beta cos gamma,  S = sin^2 beta sin^2 gamma,
// which rises with alpha over every real cell. Each conversion inverts the other, so a cell's
// bounds come back as they went (a whole bound row would mix the quantities of one side of the
// cell with those of the other once the metric bounds are put in order).
struct AnglePair {
  int32_t edge1, edge2;  // the edges of the cross term (kl: b, c)
  double p, s;           // cos beta cos gamma and sin^2 beta sin^2 gamma for kl
};

AnglePair PairOf(const double (&v)[6], int32_t q) {
  const int32_t i = q - 3, j = (i + 1) % 3, l = (i + 2) % 3;
  const double cj = std::cos(v[3 + j] / RadToDeg), cl = std::cos(v[3 + l] / RadToDeg);
  return {j, l, cj * cl, (1 - cj * cj) * (1 - cl * cl)};
}

// The cross term q (3 kl, 4 hl, 5 hk) of the value cell v with angle q at angle (degrees); NaN
// when that angle makes no cell.
double CrossTermAtAngle(const double (&v)[6], int32_t q, double angle) {
  const AnglePair g = PairOf(v, q);
  const double u = std::cos(angle / RadToDeg) - g.p, gram = g.s - u * u;
  if (!(gram > 0)) return std::nan("");
  const double x = -2 * u / (v[g.edge1] * v[g.edge2] * gram);
  return std::fabs(x) <= CrossTermZero ? 0 : x;
}

// The inverse: angle q (degrees) of the value cell v at which the cross term is x. From
// t (S - u^2) = u with t = -x e1 e2 / 2, the root with u^2 < S.
double AngleAtCrossTerm(const double (&v)[6], int32_t q, double x) {
  const AnglePair g = PairOf(v, q);
  const double t = -x * v[g.edge1] * v[g.edge2] / 2;
  const double u = 2 * t * g.s / (1 + std::sqrt(1 + 4 * t * t * g.s));
  // The library's arccosine (a right angle within 1e-4, pi 1.5e-7 short) would not invert cos.
  return std::acos(std::clamp(g.p + u, -1.0, 1.0)) * RadToDeg;
}

bool FiniteRow(const double (&row)[6]) {
  return std::all_of(row, row + 6, [](double x) { return std::isfinite(x); });
}

bool PositiveEdges(const double (&row)[6]) { return row[0] > 0 && row[1] > 0 && row[2] > 0; }

// The text a grid cell showed for v, without blanks.
std::string ShownText(double v) {
  std::string s = GridCellText(CellFieldWidth, v);
  DeleteSpaces(s);
  return s;
}

// The six labelled rows of phase k in the number grid, with the crystal systems to choose from.
void ShowCellDialog(int32_t k) {
  static const char* const labels[6] = {" A ", " B ", " C ", " ALPHA", " BETA", " GAMMA"};
  for (int32_t j = 0; j <= 3; ++j) DialogColumnWidths[j] = 80;
  for (int32_t q = 0; q < 6; ++q) {
    DialogFieldLabels[q + 1] = labels[q];
    for (int32_t r = 0; r < 3; ++r) DialogFieldValues[q + 1][r + 1] = CellWorkRows[r][q];
  }
  PlaceLabel(Form2.Label1, 5, 10, "Phase" + std::to_string(k) + "    Lower       Parameter       Upper",
             WhiteColor, TextBackgroundColor);
  ShowNumberGrid(5, 30, 6, CellFieldWidth, 3, 6);
  PlaceLabel(Form2.Label2, 5, 170, "For triclinic and monoclinic syngonies the converted bounds might be not exact",
             WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (int32_t s = 1; s <= 7; ++s) DialogOptions.captions[s] = CrystalSystemTable[s].name;
  DialogOptions.count = 7;
  DialogOptions.defaultItem = std::clamp(PhaseTable[k].CrystalSystem, 1, 7);
  ShowRadioGroup(1, 2, 5, 110, 330, 200);
}

// Reads the grid back into CellWorkRows; a cell whose text is unchanged keeps the number it
// showed. False when an edited cell is no number, or an edge that is not positive or an angle
// outside (0, 180). valueEdited[q] and boundEdited[q] tell which texts of quantity q changed.
bool ReadCellDialog(bool (&valueEdited)[6], bool (&boundEdited)[6]) {
  bool good = true;
  std::fill_n(valueEdited, 6, false);
  std::fill_n(boundEdited, 6, false);
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t q = 0; q < 6; ++q) {
      std::string text = Form2.StringGrid1.Cell(r, q);
      DeleteSpaces(text);
      double v = DialogFieldValues[q + 1][r + 1];
      if (text != ShownText(v)) {
        (r == ValueCellRow ? valueEdited : boundEdited)[q] = true;
        uint8_t ok = 0;
        StrToFloatRobust(text, v, ok);
        good = good && ok && !text.empty() && std::isfinite(v) && (q < 3 ? v > 0 : v > 0 && v < 180);
      }
      CellWorkRows[r][q] = v;
    }
  }
  return good;
}

}  // namespace

int32_t FirstCellRecord(int32_t k) {
  if (k < 1 || k > MaxPhases) return 0;
  const int32_t first = PhaseParameterOffset(k) + (IndexingLayout() ? 1 : 2);
  return first >= 1 && first + 5 <= MaxParameters ? first : 0;
}

void LoadCellParameterRows(int32_t k) {
  const int32_t first = FirstCellRecord(k);
  if (first == 0) return;
  for (int32_t q = 0; q < 6; ++q) {
    const ParameterRecord& r = parar[first + q];
    CellWorkRows[LowerCellRow][q] = r.lower;
    CellWorkRows[ValueCellRow][q] = r.value;
    CellWorkRows[UpperCellRow][q] = r.upper;
  }
}

bool MetricRowsToCell(int32_t k) {
  if (FirstCellRecord(k) == 0) return false;
  LoadCellParameterRows(k);
  auto& w = CellWorkRows;
  if (IndexingLayout()) {
    for (int32_t q = 3; q < 6; ++q)
      if (w[UpperCellRow][q] < 0) SwapBounds(q);
    // The exact inverse of the cosine CellToMetricRows takes: an angle within 0.006 degrees of 90
    // keeps its cosine (ArcCosClamped would give 90 itself).
    for (auto& row : w)
      for (int32_t q = 3; q < 6; ++q) row[q] = std::acos(std::clamp(row[q], -1.0, 1.0)) * RadToDeg;
    return true;
  }
  if (!PositiveEdges(w[ValueCellRow]) || !FiniteRow(w[ValueCellRow])) {
    ShowMsg("Wrong cell records of phase " + std::to_string(k));
    return false;
  }
  for (auto& row : w)
    for (int32_t q = 3; q < 6; ++q)
      if (std::fabs(row[q]) <= CrossTermZero) row[q] = 0;
  for (int32_t q = 0; q < 3; ++q)
    if (w[LowerCellRow][q] > w[UpperCellRow][q]) SwapBounds(q);
  for (int32_t q = 3; q < 6; ++q)
    if (w[UpperCellRow][q] < 0) SwapBounds(q);
  // A bound of an accuracy above 100 % lies at or below 0: it stands for "any size", and a tiny
  // reciprocal square keeps the edge bound finite (never the square root of a negative).
  for (int32_t r : {LowerCellRow, UpperCellRow}) {
    for (int32_t q = 0; q < 3; ++q)
      if (!(w[r][q] > 0) || !std::isfinite(w[r][q])) w[r][q] = TinyMetricFraction * w[ValueCellRow][q];
    for (int32_t q = 3; q < 6; ++q)
      if (!std::isfinite(w[r][q])) w[r][q] = w[ValueCellRow][q];
  }
  double metric[3][6];
  std::copy(&w[0][0], &w[0][0] + 18, &metric[0][0]);
  MetricRowToCell(w[ValueCellRow]);
  const double(&v)[6] = w[ValueCellRow];
  for (int32_t r : {LowerCellRow, UpperCellRow})
    for (int32_t q = 0; q < 6; ++q) {
      const double m = metric[r][q], mv = metric[ValueCellRow][q];
      if (m == mv) w[r][q] = v[q];
      else w[r][q] = q < 3 ? v[q] * std::sqrt(mv / m) : AngleAtCrossTerm(v, q, m);
    }
  return true;
}

bool CellToMetricRows(int32_t k, int32_t keepWork) {
  const int32_t first = FirstCellRecord(k);
  if (first == 0) return false;
  if (keepWork == 0) LoadCellParameterRows(k);
  auto& w = CellWorkRows;
  for (const auto& row : w)
    if (!FiniteRow(row) || !PositiveEdges(row)) return false;
  if (IndexingLayout()) {
    for (auto& row : w)
      for (int32_t q = 3; q < 6; ++q) row[q] = std::cos(row[q] / RadToDeg);
    // Ordered angles give crossed cosines; they go back in ascending order (the rule "swapped when
    // the upper one is negative" agrees wherever it orders them, and left acute angles crossed).
    for (int32_t q = 3; q < 6; ++q)
      if (w[LowerCellRow][q] > w[UpperCellRow][q]) SwapBounds(q);
    StoreRows(first);
    return true;
  }
  double cell[3][6];
  std::copy(&w[0][0], &w[0][0] + 18, &cell[0][0]);
  CellRowToMetric(w[ValueCellRow]);
  const double(&v)[6] = cell[ValueCellRow];
  for (int32_t r : {LowerCellRow, UpperCellRow})
    for (int32_t q = 0; q < 6; ++q) {
      const double c = cell[r][q], mv = w[ValueCellRow][q];
      if (c == v[q]) w[r][q] = mv;
      else w[r][q] = q < 3 ? mv * (v[q] / c) * (v[q] / c) : CrossTermAtAngle(v, q, c);
    }
  for (const auto& row : w)
    if (!FiniteRow(row)) return false;
  OrderCellBounds(k);
  return true;
}

// Every quantity's crossed bounds are swapped. (Swapping a cross term's bounds only when the upper
// one is negative would cross the bounds of every cross term that comes back from the cell rows,
// and the next two steps would then pin both bounds to the value: the term would be fixed.)
void OrderCellBounds(int32_t k) {
  const int32_t first = FirstCellRecord(k);
  if (first == 0) return;
  auto& w = CellWorkRows;
  for (int32_t q = 0; q < 6; ++q) {
    if (w[LowerCellRow][q] > w[UpperCellRow][q]) SwapBounds(q);
    if (w[LowerCellRow][q] > w[ValueCellRow][q]) w[LowerCellRow][q] = w[ValueCellRow][q];
    if (w[UpperCellRow][q] < w[ValueCellRow][q]) w[UpperCellRow][q] = w[ValueCellRow][q];
  }
  StoreRows(first);
}

void ZeroCellRow(int32_t r) {
  if (!TableIndexOk(r, 1, MaxParameters, "parameter")) return;
  parar[r].lower = parar[r].value = parar[r].upper = 0;
}

bool StoreEditedCellRows(int32_t k, const ParameterRecord* original, const bool (&valueEdited)[6],
                         const bool (&boundEdited)[6]) {
  const int32_t first = FirstCellRecord(k);
  if (first == 0) return false;
  // The cell quantities each record depends on: a metric coefficient on its edges and all angles.
  static constexpr bool MetricDepends[6][6] = {{1, 0, 0, 1, 1, 1}, {0, 1, 0, 1, 1, 1}, {0, 0, 1, 1, 1, 1},
                                               {0, 1, 1, 1, 1, 1}, {1, 0, 1, 1, 1, 1}, {1, 1, 0, 1, 1, 1}};
  const bool metric = !IndexingLayout();
  const auto touched = [&](const bool (&edited)[6], int32_t q) {
    for (int32_t c = 0; c < 6; ++c)
      if (edited[c] && (metric ? MetricDepends[q][c] : c == q)) return true;
    return false;
  };
  const bool anyEdit = std::any_of(valueEdited, valueEdited + 6, [](bool e) { return e; }) ||
                       std::any_of(boundEdited, boundEdited + 6, [](bool e) { return e; });
  if (anyEdit && !CellToMetricRows(k, 1)) return false;
  for (int32_t q = 0; q < 6; ++q) {
    ParameterRecord& r = parar[first + q];
    const ParameterRecord& o = original[q];
    if (!anyEdit || !touched(valueEdited, q)) r.value = o.value;
    if (!anyEdit || !touched(boundEdited, q)) r.lower = o.lower, r.upper = o.upper;
  }
  if (metric) {
    LoadCellParameterRows(k);
    OrderCellBounds(k);
  }
  return true;
}

void EditCellParameters() {
  if (MainMode < 0 || MainMode > 2) return;
  SetHelpLines(CellChangeHelp);
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t k = 1; k <= phases; ++k) {
    DialogCaption = " Edit unit cell parameters if needed";
    BeginDialog(1);
    const int32_t first = FirstCellRecord(k);
    if (first == 0) continue;
    ParameterRecord original[6];
    std::copy(parar + first, parar + first + 6, original);
    if (!MetricRowsToCell(k)) continue;  // a broken array: the phase stays as it was
    ShowCellDialog(k);
    ShowDialogModal();
    if (DialogOk != 1) return;
    bool valueEdited[6], boundEdited[6];
    if (!ReadCellDialog(valueEdited, boundEdited)) {
      ShowMsg("Wrong unit cell parameters");
      k = 0;  // the whole dialog again
      continue;
    }
    StoreEditedCellRows(k, original, valueEdited, boundEdited);
    const int32_t item = Form2.RadioGroup1.itemIndex;
    if (item >= 0 && item < 7) {
      LATTICE& ph = PhaseTable[k];
      ph.CrystalSystem = item + 1;
      if (!IndexingLayout()) ApplyMetricConstraints(parar, first, ph.CrystalSystem, MetricSetting(ph));
    }
  }
  DialogOk = 1;
}
