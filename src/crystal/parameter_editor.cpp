#include "crystal/parameter_editor.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/cell_rows.h"
#include "crystal/model_options.h"
#include "crystal/parameter_grids.h"

uint8_t ParameterValuesOnly = 0;
std::string TraceCaption;
TParameterRowCheck ParameterRowCheck;
TParameter* (*CelixFitterAccess)() = nullptr;

bool TParameterRowCheck::Bad() const {
  return std::any_of(std::begin(flags), std::end(flags), [](uint8_t f) { return f != 0; });
}

namespace {

enum GridColumn : int32_t { NameColumn, NColumn, LowerColumn, ValueColumn, UpperColumn, AColumn, BColumn, ColumnCount };

// What ShowParameterRow wrote into a row: the texts and the numbers they came from (column 1
// holds N).
struct ShownRow {
  bool shown = false;
  std::array<std::string, ColumnCount> text;
  std::array<double, ColumnCount> number{};
};
std::vector<ShownRow> shownRows(MaxParameters + 1);

// Which of the numbers of the last row read differ from what was shown (by column).
std::array<bool, ColumnCount> lastRowEdited{};

// The phases whose cell rows the grid shows as a, b, c, alpha, beta, gamma, and whether their
// values or bounds were edited in the last check.
struct CellPhase {
  bool shown = false;
  bool valueEdited[6] = {}, boundEdited[6] = {};
};
std::array<CellPhase, MaxPhases + 1> cellPhases{};

const char* const FlagLines[ParameterRowFlagCount] = {" Wrong n number",       " Wrong lower bound",
                                                      " Wrong parameter value", " Wrong upper bound",
                                                      " Wrong a coefficient",   " Wrong b coefficient",
                                                      " Independent par. has a=1,b=0"};

TStringGrid& Grid() { return Form2.StringGrid1; }

std::string ModeName(int32_t mode) { return ModeNames[std::clamp(mode, 0, ModeCount - 1)]; }

std::string WithoutBlanks(std::string s) {
  DeleteSpaces(s);
  return s;
}

// The number of a grid text: false when it is none (an empty cell included).
bool ParseCell(const std::string& text, double& x) {
  if (WithoutBlanks(text).empty()) return false;
  uint8_t ok = 0;
  StrToFloatRobust(text, x, ok);
  return ok == 1 && std::isfinite(x);
}

void Trace(const char* caption) {
  TraceCaption = caption;
  TraceParameterArray();
}

void LoadModeHelp(int32_t mode) {
  switch (mode) {
    case 0: SetHelpLines(ParameterArrayHelp); break;
    case 1: SetHelpLines(IndexingArrayHelp); break;
    case 2: SetHelpLines(PowderMatchArrayHelp); break;
    default: SetHelpLines(FitraArrayHelp); break;
  }
}

void FillModeGrid(int32_t mode) {
  switch (mode) {
    case 0: FillRietveldGrid(); break;
    case 1: FillIndexingGrid(); break;
    case 2: FillMatchGrid(); break;
    default: FillFitraGrid(); break;
  }
}

// Rows 1..n that the mode's filler left without numbers (records its layout does not reach)
// are shown too, so that every row read back holds what its record holds.
void FillRemainingRows(int32_t n) {
  for (int32_t i = 1; i <= n && i <= MaxParameters; ++i) {
    if (shownRows[static_cast<size_t>(i)].shown) continue;
    Grid().Cell(NameColumn, i) = parar[i].Name;
    ShowParameterRow(i, 3);
  }
}

// The phase whose cell rows hold record i in the grid (0 for none) and the quantity q (0..5).
int32_t CellPhaseOf(int32_t i, int32_t& q) {
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    if (!cellPhases[static_cast<size_t>(k)].shown) continue;
    const int32_t first = FirstCellRecord(k);
    if (first != 0 && i >= first && i < first + 6) {
      q = i - first;
      return k;
    }
  }
  return 0;
}

// An edited number of a cell row is an edge (q 0..2) that must be positive or an angle that
// must lie inside (0, 180): the conversion back needs a cell.
void CheckCellRow(int32_t i) {
  int32_t q = 0;
  const int32_t k = CellPhaseOf(i, q);
  if (k == 0) return;
  TParameterRowCheck& c = ParameterRowCheck;
  const struct {
    int32_t column, flag;
    double v;
  } cells[3] = {{LowerColumn, WrongLowerFlag, c.lower}, {ValueColumn, WrongValueFlag, c.value},
                {UpperColumn, WrongUpperFlag, c.upper}};
  for (const auto& cell : cells) {
    if (!lastRowEdited[static_cast<size_t>(cell.column)] || c.flags[cell.flag]) continue;
    const bool good = q < 3 ? cell.v > 0 : cell.v > 0 && cell.v < 180;
    if (!good) c.flags[cell.flag] = 1;
  }
  CellPhase& p = cellPhases[static_cast<size_t>(k)];
  p.valueEdited[q] = lastRowEdited[ValueColumn];
  p.boundEdited[q] = lastRowEdited[LowerColumn] || lastRowEdited[UpperColumn];
  if (c.Bad()) c.badRow = i;
}

void ShowBadRows() {
  const std::string caption = DialogCaption;
  DialogCaption.clear();
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 50, 10, " +++Parameter array is wrong ", WhiteColor, TextBackgroundColor);
  ShowListBox(20, 40, 280, 320);
  ShowDialogModal();
  DialogCaption = caption;
}

// Every cell of rows 1..n, row by row.
std::vector<std::string> SaveGridTexts(int32_t n) {
  std::vector<std::string> texts;
  for (int32_t i = 1; i <= n && i < Grid().rowCount; ++i)
    for (int32_t col = 0; col < ColumnCount; ++col) texts.push_back(Grid().Cell(col, i));
  return texts;
}

void RestoreGridTexts(const std::vector<std::string>& texts, int32_t n) {
  size_t t = 0;
  for (int32_t i = 1; i <= n && i < Grid().rowCount; ++i)
    for (int32_t col = 0; col < ColumnCount && t < texts.size(); ++col) Grid().Cell(col, i) = texts[t++];
}

void ForgetShownRows() {
  for (ShownRow& s : shownRows) s.shown = false;
  cellPhases = {};
}

}  // namespace

TParameter* ModeParameterObject() {
  if (MainMode == 1) return CelixFitterCreated != 0 && CelixFitterAccess ? CelixFitterAccess() : nullptr;
  return FitParameters.get();
}

std::string FormatParameterNumber(int32_t decimals, double x) {
  std::string s;
  const double size = std::fabs(x);
  if (x == 0) {
    s = "0";
  } else if (!(size <= 99000) || size < std::pow(10.0, -decimals)) {
    FormatExponent(15, 6, s, x);
  } else {
    s = FormatNumber(10, x == std::trunc(x) ? 0 : decimals, x);
    // The fixed form overflows its 10 columns above 10^(9 - decimals): asterisks would hide the
    // number and could not be read back.
    if (s.find('*') != std::string::npos) FormatExponent(15, 6, s, x);
  }
  DeleteSpaces(s);
  InputLine = s;
  return s;
}

void ShowParameterRow(int32_t i, int32_t decimals) {
  TStringGrid& g = Grid();
  if (i < 1 || i > MaxParameters || i >= g.rowCount || g.colCount < ColumnCount) return;
  const ParameterRecord& r = parar[i];
  std::string n = std::to_string(r.n);
  if (i <= r.n) {
    const bool inOrder = r.lower <= r.value && r.value <= r.upper;
    if (!inOrder)
      n += " *W";
    else if (r.lower != r.upper && (r.value == r.lower || r.value == r.upper))
      n += " *B";
  }
  ShownRow& s = shownRows[static_cast<size_t>(i)];
  s.shown = true;
  s.number = {0, double(r.n), r.lower, r.value, r.upper, r.a, r.b};
  s.text[NColumn] = n;
  for (int32_t col = LowerColumn; col <= BColumn; ++col)
    s.text[static_cast<size_t>(col)] = FormatParameterNumber(decimals, s.number[static_cast<size_t>(col)]);
  if (ParameterValuesOnly == 1) s.text[LowerColumn].clear(), s.text[UpperColumn].clear();
  for (int32_t col = NColumn; col <= BColumn; ++col) g.Cell(col, i) = s.text[static_cast<size_t>(col)];
}

void ReadParameterRow(int32_t i) {
  TParameterRowCheck& c = ParameterRowCheck;
  c = TParameterRowCheck{};
  lastRowEdited = {};
  TStringGrid& g = Grid();
  if (i < 1 || i > MaxParameters || i >= g.rowCount || g.colCount < ColumnCount) {
    c.flags[WrongNFlag] = 1;
    c.badRow = i;
    return;
  }
  const ShownRow& s = shownRows[static_cast<size_t>(i)];
  // The number of a cell: the shown one while its text is unchanged.
  const auto read = [&](int32_t col, const std::string& text, double& x) {
    const size_t k = static_cast<size_t>(col);
    if (s.shown && WithoutBlanks(text) == WithoutBlanks(s.text[k])) {
      x = s.number[k];
      return std::isfinite(x);
    }
    lastRowEdited[k] = true;
    return ParseCell(text, x);
  };

  const std::string nText = g.Cell(NColumn, i);
  std::string cleaned = nText;
  std::replace_if(cleaned.begin(), cleaned.end(), [](char ch) { return ch == '*' || ch == 'B' || ch == 'W'; }, ' ');
  g.Cell(NColumn, i) = cleaned;
  double n = 0;
  bool nNumber = false;
  if (s.shown && WithoutBlanks(nText) == WithoutBlanks(s.text[NColumn])) {
    n = s.number[NColumn];
    nNumber = true;
  } else {
    lastRowEdited[NColumn] = true;
    nNumber = ParseCell(cleaned, n);
  }
  if (nNumber && std::fabs(n) < 2e9) c.n = std::nearbyint(n);
  const bool nGood = nNumber && c.n >= 1 && c.n <= i;
  if (!nGood) c.flags[WrongNFlag] = 1;

  double* numbers[5] = {&c.lower, &c.value, &c.upper, &c.a, &c.b};
  bool readable[5];
  for (int32_t j = 0; j < 5; ++j) {
    readable[j] = read(LowerColumn + j, g.Cell(LowerColumn + j, i), *numbers[j]);
    if (!readable[j]) c.flags[WrongLowerFlag + j] = 1;
  }
  if (nGood && c.n == i) {
    if ((readable[3] && c.a != 1) || (readable[4] && c.b != 0)) c.flags[IndependenceFlag] = 1;
    if (readable[0] && readable[1] && c.value < c.lower) c.flags[WrongValueFlag] = 1;
    if (readable[1] && readable[2] && c.upper < c.value) c.flags[WrongUpperFlag] = 1;
  }
  if (c.Bad()) c.badRow = i;
}

void ValidateParameterArray(int32_t& bad) {
  bad = 0;
  if (ParameterValuesOnly == 1) return;
  int32_t n = 0;
  CountParameters(n, MainMode);
  InfoLines.count = 0;
  for (CellPhase& p : cellPhases) std::fill_n(p.valueEdited, 6, false), std::fill_n(p.boundEdited, 6, false);
  for (int32_t i = 1; i <= n; ++i) {
    ReadParameterRow(i);
    CheckCellRow(i);
    const TParameterRowCheck& c = ParameterRowCheck;
    if (!c.Bad()) {
      ParameterRecord& r = parar[i];
      r.n = static_cast<int32_t>(c.n);
      r.lower = c.lower, r.value = c.value, r.upper = c.upper, r.a = c.a, r.b = c.b;
      continue;
    }
    bad = 1;
    AddInfoLine("Parameter " + std::to_string(i));
    for (int32_t f = 0; f < ParameterRowFlagCount; ++f)
      if (c.flags[f]) AddInfoLine(FlagLines[f]);
  }
  if (bad) {
    ShowBadRows();
    return;
  }
  if (TParameter* fit = ModeParameterObject()) fit->Compress();
}

void TraceParameterArray() {
  if (OptionFlags[9] == 0) return;
  LogLine(" parar then LPA " + TraceCaption);
  for (double ParameterRecord::*field : {&ParameterRecord::lower, &ParameterRecord::value, &ParameterRecord::upper}) {
    std::string line;
    for (int32_t i = 12; i <= 17; ++i) line += FormatNumber(9, 4, parar[i].*field);
    LogLine(line);
  }
  for (const auto& row : CellWorkRows) {
    std::string line;
    for (int32_t q = 0; q < 6; ++q) line += FormatNumber(9, q < 3 ? 4 : 2, row[q]);
    LogLine(line);
  }
  LogLine("--------");
}

void EditParameterArray() {
  const int32_t mode = std::clamp(MainMode, 0, ModeCount - 1);
  const std::string caption = "Parameter array. Mode= " + ModeName(mode);
  std::vector<ParameterRecord> fromObject;  // records 1..n as the object held them
  std::vector<std::string> userTexts;       // the grid as the user left it after a failed check
  int32_t n = 0;
  ForgetShownRows();
  for (bool first = true;; first = false) {
    DialogCaption = caption;
    PrepareDialog(610, 0, 430);
    TParameter* fit = ModeParameterObject();
    if (!fit || fit->NPar < 1) {
      StatusMessage = "No parameters";
      return;
    }
    if (first) {
      if (mode != ParameterArrayMode) ShowMsg("Caution, par.array was formed for the mode: " + ModeName(ParameterArrayMode));
      CountParameters(n, mode);
    }
    ShowParameterGrid(Grid(), n);
    LoadModeHelp(mode);
    if (first) {
      const int32_t copied = std::min(n, fit->RecordCapacity());
      std::copy(fit->Records.begin() + 1, fit->Records.begin() + 1 + copied, parar + 1);
      fromObject.assign(parar, parar + n + 1);
      Trace("From gfit");
      if (mode <= 2) {
        for (int32_t k = 1; k <= std::clamp(PhaseCount, 0, MaxPhases); ++k) {
          const int32_t firstCell = FirstCellRecord(k);
          if (firstCell == 0 || firstCell + 5 > n || !MetricRowsToCell(k)) continue;
          OrderCellBounds(k);
          cellPhases[static_cast<size_t>(k)].shown = true;
        }
      }
      Trace("fit -> parar");
      FillModeGrid(mode);
      FillRemainingRows(n);
    } else {
      RestoreGridTexts(userTexts, n);
    }
    ShowDialogModal();
    if (DialogOk != 1) {
      // Nothing goes back; the working copy holds the object's records again.
      std::copy(fromObject.begin() + 1, fromObject.end(), parar + 1);
      cellPhases = {};
      DialogOk = 1;
      return;
    }
    userTexts = SaveGridTexts(n);
    int32_t bad = 0;
    ValidateParameterArray(bad);
    if (bad == 0) break;
  }
  Trace("Read from Grid.Str.");
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    const CellPhase& p = cellPhases[static_cast<size_t>(k)];
    if (!p.shown) continue;
    LoadCellParameterRows(k);
    StoreEditedCellRows(k, &fromObject[static_cast<size_t>(FirstCellRecord(k))], p.valueEdited, p.boundEdited);
  }
  Trace("After dir to parar");
  TParameter* fit = ModeParameterObject();
  if (!fit) return;
  const int32_t copied = std::min(n, fit->RecordCapacity());
  std::copy(parar + 1, parar + 1 + copied, fit->Records.begin() + 1);
  cellPhases = {};
}
