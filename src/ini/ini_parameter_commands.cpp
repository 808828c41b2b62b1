// INI commands for the parameter array (IP rows inline, IPA rows from a file), the main fit
// controls (IMFC) and the start of the analysis (FS).
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/toolbox.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "crystal/cell_rows.h"
#include "crystal/parameter_editor.h"
#include "crystal/parameter_preparation.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"

std::string ParameterFileName;
void (*OpenModeAnalysisHook)() = nullptr;

namespace {

// One row: Npar, lower, value, upper, a, b (the name after them is ignored).
struct Row {
  double v[6] = {};
  bool good = false;
};

// The six numbers of a row; a row of fewer numbers is kept as bad (the count check then fails).
Row ParseRow(const std::string& line) {
  Row r;
  int32_t n = 0;
  ParseNumbers(n, line);
  if (n < 6) return r;
  r.good = true;
  for (int32_t i = 0; i < 6; ++i) {
    r.v[i] = NumberBuffer[i + 1];
    if (!std::isfinite(r.v[i])) r.good = false;
  }
  return r;
}

// A line that cannot be a row: a title, or one whose first item is not a number.
bool EndsRows(const std::string& line) {
  if (IsIniTitle(line)) return true;
  std::string first = line.substr(0, line.find_first_of(" ,\t", line.find_first_not_of(" ,\t")));
  DeleteSpaces(first);
  double x = 0;
  uint8_t ok = 0;
  StrToFloatRobust(first, x, ok);
  return ok == 0;
}

// IP: rows from the INI file until n are read; a title or a line that is not a row ends them
// early and goes back to the dispatcher.
void ReadInlineRows(int32_t n, std::vector<Row>& rows) {
  std::string line;
  while (static_cast<int32_t>(rows.size()) < n && IniNextLine(line)) {
    if (line.empty() || line.front() == '*' || line == " ") continue;
    if (EndsRows(line)) {
      IniGiveBack(std::move(line));
      return;
    }
    rows.push_back(ParseRow(line));
  }
}

// IPA: rows of the parameter file to its end, at most one past the records of parar. In an INI
// file written by the writer the rows are those after the title of the parameter section, up to
// the next title.
void ReadFileRows(const std::string& name, std::vector<Row>& rows) {
  TextFile file;
  file.Reset(name);
  bool section = false;
  while (!file.Eof() && static_cast<int32_t>(rows.size()) <= MaxParameters) {
    const std::string line = file.ReadLine();
    if (line.empty() || line.front() == '*' || line == " ") continue;
    if (IsIniTitle(line)) {
      if (section) break;
      section = IniKey(line) == "IP";
      rows.clear();  // value lines of other commands
      continue;
    }
    if (EndsRows(line)) continue;
    rows.push_back(ParseRow(line));
  }
  file.Close();
}

bool Exceeds1(const ParameterRecord& r) {
  return std::abs(r.lower) > 1 || std::abs(r.value) > 1 || std::abs(r.upper) > 1;
}

// Step 6 for the indexing layout: angles (records 4..6 of a phase above 1 in magnitude) make every
// phase's rows go from angles to cosines.
bool ConvertIndexingRows() {
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  bool convert = false;
  for (int32_t p = 1; p <= phases; ++p)
    if (const int32_t first = FirstCellRecord(p); first != 0)
      for (int32_t q = 3; q < 6; ++q) convert = convert || Exceeds1(parar[first + q]);
  bool good = true;
  if (convert)
    for (int32_t p = 1; p <= phases; ++p)
      if (FirstCellRecord(p) != 0 && !CellToMetricRows(p, 0)) {
        IniError("Wrong cell records of phase " + std::to_string(p));
        good = false;
      }
  return good;
}

// The indexing fitter, created on first use; its fit controls become the defaults then.
TParameter* IndexingFitter() {
  if (CelixFitterCreated == 0) {
    CreateCelixFitter();
    if (TParameter* fit = ModeParameterObject()) DefaultFitControls = fit->Controls();
    // Grid bins read before the array keep their tries per bin.
    if (CelixFitter && BinDefaultsSet != 0) CelixFitter->TriesPerBin = BinTriesDefault;
  }
  return ModeParameterObject();
}

// Step 6 for the metric layouts: false when a phase's diagonal record is zero or the rows do not
// convert.
bool ConvertCellRows() {
  bool good = true, convert = false;
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t first = FirstCellRecord(p);
    if (first == 0) continue;
    for (int32_t q = 0; q < 6; ++q) convert = convert || Exceeds1(parar[first + q]);
    for (int32_t q = 0; q < 3; ++q) {
      const ParameterRecord& r = parar[first + q];
      // A zero diagonal term makes d infinite: the array is refused.
      if (r.lower == 0 || r.value == 0 || r.upper == 0) {
        IniError("Error, wrong unit cell");
        good = false;
      }
    }
  }
  if (good && convert)
    for (int32_t p = 1; p <= phases; ++p)
      if (FirstCellRecord(p) != 0 && !CellToMetricRows(p, 0)) {
        IniError("Wrong cell records of phase " + std::to_string(p));
        good = false;
      }
  return good;
}

// Step 6 for Fitra: marked points and the allowed changes from the records.
void DeriveFitraValues(int32_t n) {
  auto half = [](const ParameterRecord& r) { return (r.upper - r.lower) / 2; };
  const int32_t e = ExponentialCount, m = MarkedPointCount;
  if (e > 0) {
    for (int32_t k = 1; k <= std::min(e, 6); ++k) {
      const int32_t r = 2 * e + 6 + k;
      if (r > n) break;
      DeltaPosition[k] = RoundHalfEven(parar[r].value);
      DeltaW0[k] = RoundHalfEven(half(parar[r]));
    }
    return;
  }
  for (int32_t k = 1; k <= std::min(m, MarkedPointCapacity) && m + 6 + k <= n; ++k) MarkedPoints[k] = parar[m + 6 + k].value;
  // With a width per peak these records are the peaks' own widths, not the model widths.
  if (WidthMode == -1) return;
  for (int32_t j = 1; j <= 6; ++j) {
    if (2 * m + 6 + j <= n) DeltaW0[j] = half(parar[2 * m + 6 + j]);
    if (2 * m + 12 + j <= n) DeltaW1[j] = half(parar[2 * m + 12 + j]);
  }
}

const char* const ModuleNames[4] = {" Rietveld", " Celix", " Dazazededev", " Fitra"};

}  // namespace

void ReadIniParameters(int32_t fromFile) {
  int32_t n = 0;
  CountParameters(n, MainMode);
  DialogOk = 1;
  std::vector<Row> rows;
  if (fromFile) {
    std::string name;
    ReadIniFileName(name);
    std::error_code ec;
    if (name.empty() || !std::filesystem::is_regular_file(name, ec)) {
      IniError("No parameter file " + name);
      DialogOk = 0;
      KnownCommand = 1;
      return;
    }
    ParameterFileName = name;
    ReadFileRows(name, rows);
  } else {
    ReadInlineRows(n, rows);
  }

  const int32_t read = std::min(static_cast<int32_t>(rows.size()), MaxParameters);
  bool wrong = read != n || n < 1 || rows.empty() || RoundHalfEven(rows[0].v[0]) != 1;
  for (int32_t k = 0; k < read; ++k) wrong = wrong || !rows[static_cast<size_t>(k)].good;
  TParameter* fit = MainMode == 1 ? IndexingFitter() : FitParameters.get();
  // The indexing fitter holds 27 records: five or six phases do not fit it.
  if (MainMode == 1 && n > IndexingFitterRecords) wrong = true;
  if (wrong) IniError("Parameter array is wrong");
  if (MainMode == 1 && !fit) IniError("The indexing fitter is not available");

  for (int32_t k = 1; k <= read; ++k) {
    const double* v = rows[static_cast<size_t>(k - 1)].v;
    ParameterRecord& r = parar[k];
    r.n = std::abs(v[0]) < 1e9 ? RoundHalfEven(v[0]) : 0;
    r.lower = v[1], r.value = v[2], r.upper = v[3], r.a = v[4], r.b = v[5];
  }
  ParameterNames();
  if (MainMode == 0 || MainMode == 2) wrong = !ConvertCellRows() || wrong;
  if (MainMode == 1) wrong = !ConvertIndexingRows() || wrong;
  if (MainMode == 3) DeriveFitraValues(std::min(n, read));

  const int32_t copied = fit ? std::clamp(std::min(n, read), 0, std::min(fit->RecordCapacity(), MaxParameters)) : 0;
  if (fit) {
    fit->NPar = copied;
    for (int32_t k = 1; k <= copied; ++k) fit->Records[k] = parar[k];
  }
  if (copied == 0 || copied != n) wrong = true;

  InfoLines.count = 0;
  AddInfoLine("Ini-file= " + IniFileName);
  // After an error of the file the array is read, but the file is not processed.
  if (!wrong && IniFailure.count == 0) AddInfoLine("has been input and processed");
  const int32_t mode = std::clamp(MainMode, 0, 3);
  if (wrong) {
    SelectExclusive(mode, 0);
    AddInfoLine("Warning, the parameter array is not prepared");
    DialogOk = 0;
  } else {
    AddInfoLine(std::string("you may go to the ") + ModuleNames[mode] + " analysis");
    SelectExclusive(mode, 1);
    PreparedParameterCount = n;
    ParametersPending[mode] = 0;
  }
  ShowInfoWindow();
  KnownCommand = 1;
  ParameterArrayMode = MainMode;
}

void ReadIniFitControls() {
  KnownCommand = 1;
  const int32_t n = IniReadLine();
  int32_t iterations = 0;
  if (n < 3 || !IniInteger(NumberBuffer[1], 0, 1000000, iterations)) return IniError("INI: Wrong data in IMFC-command");
  TFitControls& c = DefaultFitControls;
  c.GNIter = iterations, c.Step = NumberBuffer[2], c.Damp = NumberBuffer[3];
  // Delta from a fourth number, beta only from a fifth (no stale buffer entry).
  if (n >= 4) c.Delta = NumberBuffer[4];
  if (n >= 5) c.Beta = NumberBuffer[5];
  FitControlsGiven = 1;
}

void IniStartAnalysis() {
  KnownCommand = 1;
  if (OpenModeAnalysisHook) OpenModeAnalysisHook();
  else IniError("The analysis can not be opened from here");
}
