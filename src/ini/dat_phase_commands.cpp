// Handlers of the dat command files for phases, atoms, the parameter array and the reflections.
// The dat parameter array is a Rietveld array whose six metric rows of each phase stand in the
// order A, F, E, B, D, C (A = a*^2, B = b*^2, C = c*^2, D, E, F the cross terms of b*c*, a*c*,
// a*b*); they are put into the program's order A, B, C, D, E, F on reading.
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "core/elements.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/cell_rows.h"
#include "crystal/cell_update.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"

namespace {

constexpr int32_t DatPhaseLimit = 4;  // the dat SNP clamps here
constexpr int32_t SpaceGroupLast = 230;
// Program position j of a phase's metric rows takes the dat row DatMetricSource[j].
constexpr int32_t DatMetricSource[6] = {0, 3, 5, 4, 2, 1};

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }

int32_t Clamped(double x, int32_t lo, int32_t hi) {
  if (!(x >= lo)) return lo;  // NaN too
  return x > hi ? hi : RoundHalfEven(x);
}

// Counts per phase, all checked before any is stored.
bool ReadCounts(int32_t hi, std::array<int32_t, MaxPhases + 1>& out, const std::string& what) {
  std::array<double, MaxPhases + 1> v{};
  if (DatReadNumbers(Phases(), v) < Phases()) {
    IniError("Less " + what + " than phases");
    return false;
  }
  for (int32_t p = 1; p <= Phases(); ++p)
    if (!IniInteger(v[static_cast<size_t>(p)], 0, hi, out[static_cast<size_t>(p)])) {
      IniError("Wrong " + what + " of phase " + std::to_string(p) + " (0.." + std::to_string(hi) + ")");
      return false;
    }
  return true;
}

// A line that cannot be a parameter row: a title, or one whose first item is not a number (the
// next key of a dat file).
bool EndsRows(const std::string& line) {
  if (IsIniTitle(line)) return true;
  const size_t a = line.find_first_not_of(" ,\t");
  if (a == std::string::npos) return false;
  double x = 0;
  uint8_t ok = 0;
  StrToFloatRobust(line.substr(a, line.find_first_of(" ,\t", a) - a), x, ok);
  return ok == 0;
}

// One row: Npar, lower, value, upper, a, b; false when it holds fewer than six finite numbers.
bool ParseRow(const std::string& line, ParameterRecord& r) {
  int32_t k = 0;
  ParseNumbers(k, line);
  if (k < 6) return false;
  for (int32_t i = 1; i <= 6; ++i)
    if (!std::isfinite(NumberBuffer[i])) return false;
  r = ParameterRecord{};
  r.n = std::abs(NumberBuffer[1]) < 1e9 ? RoundHalfEven(NumberBuffer[1]) : 0;
  r.lower = NumberBuffer[2], r.value = NumberBuffer[3], r.upper = NumberBuffer[4];
  r.a = NumberBuffer[5], r.b = NumberBuffer[6];
  return true;
}

// Rows from the command file (name "0") or a parameter file, until n are read; false on a row that
// does not parse. The inline rows end early at a line that cannot be a row, given back.
bool ReadParameterFileRows(const std::string& name, int32_t n, std::vector<ParameterRecord>& rows) {
  bool good = true;
  std::string line;
  const auto take = [&](std::string& text) {
    if (text.empty() || text.front() == '*' || text == " ") return;
    ParameterRecord r;
    good = ParseRow(text, r) && good;
    rows.push_back(r);
  };
  if (name == "0") {
    while (static_cast<int32_t>(rows.size()) < n && IniNextLine(line)) {
      if (!line.empty() && line.front() != '*' && EndsRows(line)) {
        IniGiveBack(std::move(line));
        break;
      }
      take(line);
    }
    return good;
  }
  TextFile file;
  file.Reset(name);
  while (!file.Eof() && static_cast<int32_t>(rows.size()) < n) {
    line = file.ReadLine();
    take(line);
  }
  file.Close();
  return good;
}

// A parameter file beside the command file when the name has no folder.
std::string ParameterFilePath(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (name.empty() || fs::exists(name, ec)) return name;
  const fs::path own = fs::path(IniTextFile.Name()).parent_path();
  if (!fs::path(name).has_parent_path() && !own.empty() && fs::exists(own / name, ec)) return (own / name).string();
  return name;
}

}  // namespace

void ReadDatNumberOfPhases() {
  KnownCommand = 1;
  std::array<double, 2> v{};
  if (DatReadNumbers(1, v) < 1) return IniError("N of phases: wrong data format");
  PhaseCount = Clamped(v[1], 1, DatPhaseLimit);
}

void ReadDatINPAP() {
  KnownCommand = 1;
  std::array<double, 2> v{};
  if (DatReadNumbers(1, v) < 1) return IniError("N of phases: wrong data format");
  const int32_t saved = PhaseCount;
  PhaseCount = Clamped(v[1], 1, MaxPhases);
  std::array<int32_t, MaxPhases + 1> atoms{}, hkls{};
  if (!ReadCounts(MaxAtoms, atoms, "atoms") || !ReadCounts(MaxReflections, hkls, "reflections")) {
    PhaseCount = saved;
    return;
  }
  for (int32_t p = 1; p <= Phases(); ++p) {
    PhaseTable[p].AtomCount = atoms[static_cast<size_t>(p)];
    PhaseTable[p].ReflectionCount = hkls[static_cast<size_t>(p)];
  }
}

void ReadDatSNA() {
  KnownCommand = 1;
  std::array<int32_t, MaxPhases + 1> atoms{};
  if (!ReadCounts(MaxAtoms, atoms, "atoms")) return;
  for (int32_t p = 1; p <= Phases(); ++p) PhaseTable[p].AtomCount = atoms[static_cast<size_t>(p)];
}

void ReadDatSpaceGroups(int32_t withSettings) {
  KnownCommand = 1;
  const int32_t per = withSettings ? 2 : 1;
  std::array<double, 2 * MaxPhases + 2> v{};
  if (DatReadNumbers(per * Phases() + 1, v) < per * Phases()) return IniError("Less space groups than phases");
  std::array<int32_t, MaxPhases + 1> group{}, setting{};
  for (int32_t p = 1; p <= Phases(); ++p) {
    const size_t i = static_cast<size_t>(per * (p - 1) + 1);
    int32_t g = 0, s = 1;
    bool good = IniInteger(std::abs(v[i]), 1, SpaceGroupLast, g);
    if (withSettings) good = good && IniInteger(v[i + 1], 1, 9, s);
    else s = v[i] < 0 ? 2 : 1;
    if (!good) return IniError("Wrong space group of phase " + std::to_string(p));
    group[static_cast<size_t>(p)] = g, setting[static_cast<size_t>(p)] = s;
  }
  NoCrystalInfo = 0;
  for (int32_t p = 1; p <= Phases(); ++p) {
    LATTICE& ph = PhaseTable[p];
    ph.SpaceGroup = group[static_cast<size_t>(p)], ph.Setting = setting[static_cast<size_t>(p)];
    ph.CrystalSystem = CrystalSystemOfGroup(ph.SpaceGroup, ph.Setting);
  }
}

void ReadDatAtomNames() {
  KnownCommand = 1;
  DatReadNumbers(1);
  std::string line;
  int32_t running = 0;
  bool ended = false;
  // The next item: up to a blank or a comma, a new line only when this one is used up.
  const auto next = [&](std::string& item) {
    while (true) {
      const size_t a = line.find_first_not_of(" ,\t\r");
      if (a != std::string::npos) {
        const size_t b = line.find_first_of(" ,\t\r", a);
        item = line.substr(a, b == std::string::npos ? std::string::npos : b - a);
        line.erase(0, b == std::string::npos ? line.size() : b);
        return true;
      }
      if (ended || !IniNextLine(line)) return false;
      if (IsIniTitle(line)) {
        IniGiveBack(std::move(line));
        line.clear();
        ended = true;
        return false;
      }
      if (!line.empty() && line.front() == '*') line.clear();
    }
  };
  for (int32_t p = 1; p <= Phases(); ++p) {
    bool blank = false;
    for (int32_t i = 1; i <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++i) {
      std::string item;
      if (!next(item)) {
        IniError("Less atom names than atoms, phase " + std::to_string(p));
        return;
      }
      ATOM& atom = AtomTable[i][p];
      double x = 0;
      uint8_t ok = 0;
      StrToFloatRobust(item, x, ok);
      if (ok == 1) {
        atom.ScatteringLength = x;
        atom.Name = "NN" + std::to_string(++running);
        blank = true;
        continue;
      }
      std::string name = item.substr(0, 2);
      DeleteSpaces(name);
      UpperCaseCyr(name);
      if (name.size() == 1) name = " " + name;
      if (name.empty()) blank = true;
      atom.Name = name;
      const auto row = std::find_if(ElementTable.begin() + 1, ElementTable.end(),
                                    [&](const TElementRow& e) { return name == e.Symbol; });
      if (!name.empty() && row != ElementTable.end()) atom.ScatteringLength = row->ScatteringLength;
      else if (!name.empty()) IniError("No match in Mendeleev table for " + name);
    }
    if (blank) IniWarning("Blank atom name[s], replaced by NN, phase " + std::to_string(p));
  }
}

void ReorderDatMetricRows(std::span<ParameterRecord> records, int32_t n) {
  n = std::clamp<int32_t>(n, 0, static_cast<int32_t>(records.size()) - 1);
  std::vector<int32_t> moved(static_cast<size_t>(n) + 1);
  for (int32_t r = 0; r <= n; ++r) moved[static_cast<size_t>(r)] = r;
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t first = FirstCellRecord(p);
    if (first == 0 || first + 5 > n) continue;
    std::array<ParameterRecord, 6> block;
    for (int32_t j = 0; j < 6; ++j) block[static_cast<size_t>(j)] = records[static_cast<size_t>(first + DatMetricSource[j])];
    for (int32_t j = 0; j < 6; ++j) {
      records[static_cast<size_t>(first + j)] = block[static_cast<size_t>(j)];
      moved[static_cast<size_t>(first + DatMetricSource[j])] = first + j;
    }
  }
  // A record's tie follows the quantity it named; a free record stays free at its new place.
  for (int32_t r = 1; r <= n; ++r) {
    int32_t& tie = records[static_cast<size_t>(r)].n;
    if (tie >= 1 && tie <= n) tie = moved[static_cast<size_t>(tie)];
  }
}

void ReadDatParameterFile() {
  KnownCommand = 1;
  int32_t n = 0;
  CountParameters(n, 0);
  std::string name;
  IniReadText(name);
  DeleteSpaces(name);
  if (name != "0") {
    name = ParameterFilePath(name);
    std::error_code ec;
    if (name.empty() || !std::filesystem::is_regular_file(name, ec)) return IniError("No parameter file " + name);
  }
  std::vector<ParameterRecord> rows;
  const bool parsed = ReadParameterFileRows(name, n, rows);
  const int32_t read = static_cast<int32_t>(rows.size());
  rows.insert(rows.begin(), ParameterRecord{});  // 1-based
  if (!parsed || n < 1 || n > MaxParameters || read != n || rows[1].n != 1 || !FitParameters ||
      FitParameters->RecordCapacity() < n) {
    SelectExclusive(0, 0);
    return IniError("Wrong parameter array");
  }
  ReorderDatMetricRows(rows, n);
  std::copy(rows.begin() + 1, rows.end(), parar + 1);
  bool edit = false;
  for (int32_t p = 1; p <= Phases(); ++p)
    if (const int32_t first = FirstCellRecord(p); first != 0)
      for (int32_t q = 0; q < 3; ++q) edit = edit || std::abs(parar[first + q].value) > 1;
  if (edit) EditCellParameters();
  for (int32_t p = 1; p <= Phases(); ++p)
    for (int32_t i = 1; i <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++i) {
      uint8_t found = 0;
      FindElement(AtomTable[i][p].Name, p, i, found);
    }
  ParameterNames();
  FitParameters->NPar = n;
  for (int32_t k = 1; k <= n; ++k) FitParameters->Records[static_cast<size_t>(k)] = parar[k];
  UpdatePhasesFromParameters();
  SelectExclusive(0, 1);
  ParametersPending[0] = 0;
}

void ReadDatHkls(int32_t n) {
  DatReadNumbers(n);
  IniFormHkls();
}
