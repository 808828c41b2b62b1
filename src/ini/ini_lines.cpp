// The line source of the command-file reader and the four ways of reading value lines.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/small_routines.h"
#include "core/toolbox.h"
#include "ini/ini_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t LineLimit = 255;  // titles, single value lines and text lines are cut here
// NumberBuffer entries cleared before a one-line read: no handler looks further on one line.
constexpr int32_t LineClearCount = 64;

struct PendingLine {
  std::string text;
  int32_t number = 0;
};
std::optional<PendingLine> pending;
int32_t lineNumber = 0;    // of the line last taken
int32_t previousLine = 0;  // of the line taken before it: the last one a handler consumed

void Cut(std::string& s) {
  if (s.size() > LineLimit) s.resize(LineLimit);
}

// The next line that is not a comment; false at the end of the file.
bool NextNonComment(std::string& line) {
  while (IniNextLine(line))
    if (line.empty() || line.front() != '*') return true;
  return false;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A file of that name in its folder spelled in another case; empty when none.
std::string CaseInsensitiveMatch(const fs::path& path) {
  std::error_code ec;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const std::string wanted = Lower(path.filename().string());
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (Lower(it->path().filename().string()) == wanted) return it->path().string();
  return {};
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(path, ec);
}

// The path as given, another case of it, or "" when neither exists.
std::string Existing(const std::string& path) {
  if (Exists(path)) return path;
  return CaseInsensitiveMatch(path);
}

// A value line whose tokens are not all finite numbers is an error of the file: a word, "inf"
// or "nan" would otherwise be taken as 0.
void CheckNumbers(std::string_view line) {
  if (const std::string bad = FirstNonNumber(line); !bad.empty()) IniError("Not a number: \"" + bad + "\"");
}

}  // namespace

void ResetIniLineSource() {
  pending.reset();
  lineNumber = previousLine = 0;
}

bool IniNextLine(std::string& line) {
  previousLine = lineNumber;
  if (pending) {
    line = std::move(pending->text);
    lineNumber = pending->number;
    pending.reset();
    return true;
  }
  if (!IniTextFile.IsReading() || IniTextFile.Eof()) return false;
  line = IniTextFile.ReadLine();
  ++lineNumber;
  return true;
}

void IniGiveBack(std::string line) {
  pending = PendingLine{std::move(line), lineNumber};
  lineNumber = previousLine;
}

int32_t IniLineNumber() { return lineNumber; }

bool IsIniTitle(std::string_view line) { return line.size() >= 2 && line[0] == '.' && line[1] == '.'; }

int32_t IniReadLine() {
  std::fill(NumberBuffer + 1, NumberBuffer + LineClearCount + 1, 0.0);
  InputLine.assign(1, ' ');
  std::string line;
  if (!NextNonComment(line)) return 0;
  if (IsIniTitle(line)) {
    IniGiveBack(std::move(line));
    return 0;
  }
  Cut(line);
  CheckNumbers(line);
  int32_t n = 0;
  ParseNumbers(n, line);
  InputLine = std::move(line);
  return n;
}

int32_t IniReadNumbers(int32_t n, std::span<double> a) { return IniReadNumbers(n, a, false); }

int32_t IniReadNumbers(int32_t n, std::span<double> a, bool stopAtName) {
  n = std::clamp<int32_t>(n, 0, static_cast<int32_t>(a.size()) - 1);
  std::fill(a.begin() + 1, a.begin() + 1 + n, 0.0);
  std::vector<double> got;
  got.reserve(static_cast<size_t>(n));
  std::string line;
  while (static_cast<int32_t>(got.size()) < n && IniNextLine(line)) {
    if (line.empty() || line.front() == '*') continue;
    if (line.front() == '/') break;
    const size_t lead = line.find_first_not_of(" \t");
    const bool name = stopAtName && lead != std::string::npos && std::isalpha(static_cast<unsigned char>(line[lead]));
    if (IsIniTitle(line) || name) {
      IniGiveBack(std::move(line));
      break;
    }
    if (const size_t remark = line.find('*'); remark != std::string::npos) line.erase(remark);
    CheckNumbers(line);
    int32_t k = 0;
    ParseNumbers(k, line);
    // Numbers beyond the n-th on the last line are dropped with the rest of the line.
    for (int32_t i = 1; i <= k && static_cast<int32_t>(got.size()) < n; ++i) got.push_back(NumberBuffer[i]);
  }
  std::copy(got.begin(), got.end(), a.begin() + 1);
  return static_cast<int32_t>(got.size());
}

int32_t IniReadNumbers(int32_t n) { return IniReadNumbers(n, std::span<double>(NumberBuffer, NumberBufferSize + 1)); }

int32_t DatReadNumbers(int32_t n, std::span<double> a) { return IniReadNumbers(n, a, true); }

int32_t DatReadNumbers(int32_t n) { return IniReadNumbers(n, std::span<double>(NumberBuffer, NumberBufferSize + 1), true); }

bool IniReadText(std::string& text) {
  std::string line;
  if (!NextNonComment(line)) return false;
  if (IsIniTitle(line)) {
    IniGiveBack(std::move(line));
    return false;
  }
  Cut(line);
  text = std::move(line);
  return true;
}

namespace {
bool ReadsAsCommentOrTitle(std::string_view s) { return (!s.empty() && s.front() == '*') || IsIniTitle(s); }
}  // namespace

std::string IniNameLine(const std::string& name) { return ReadsAsCommentOrTitle(name) ? " " + name : name; }

void IniTakeName(std::string& line) {
  if (line.size() > 1 && line.front() == ' ' && ReadsAsCommentOrTitle(std::string_view(line).substr(1))) line.erase(0, 1);
}

bool IsDummyName(const std::string& name) {
  std::string part = fs::path(name).filename().string();
  for (char& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return part == "DUMMY";
}

void ReadIniFileName(std::string& name) {
  name.clear();
  std::string line;
  if (!NextNonComment(line)) return;
  if (IsIniTitle(line)) {
    IniGiveBack(std::move(line));
    return;
  }
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return;
  line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
  fs::path path(line);
  const bool bare = !path.has_parent_path();
  if (bare) {
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    if (!ec) WorkDir = here.string();
    path = fs::path(WorkDir) / line;
  }
  std::string squeezed = line;
  DeleteSpaces(squeezed);
  // A bare name is first looked for beside the command file: the writer names the files there
  // without their folder, and the open dialog does not move the process's folder on this
  // platform.
  const fs::path own = fs::path(IniTextFile.Name()).parent_path();
  if (bare && !own.empty() && !IsDummyName(line)) {
    std::string found = Existing((own / line).string());
    if (found.empty()) found = Existing((own / squeezed).string());
    if (!found.empty()) {
      name = found;
      return;
    }
  }
  name = path.string();
  if (IsDummyName(name) || Exists(name)) return;
  std::string found = Existing(name);
  if (found.empty()) found = Existing(((bare ? fs::path(WorkDir) : fs::path()) / squeezed).string());
  // A folder that is not there (the set moved, or was written on another machine, "\" included):
  // the file's own name beside the command file.
  const std::string last = line.substr(line.find_last_of("/\\") + 1);
  if (found.empty() && !own.empty() && !last.empty() && last != line) found = Existing((own / last).string());
  if (!found.empty()) name = found;
}

bool IniInteger(double x, int32_t lo, int32_t hi, int32_t& out) {
  if (!(x >= lo - 0.5 && x <= hi + 0.5)) return false;
  // A count, a group or a switch is a whole number: 14.5 is no group.
  if (std::abs(x - std::nearbyint(x)) > 1e-9 * std::max(1.0, std::abs(x))) return false;
  const int32_t r = RoundHalfEven(x);
  if (r < lo || r > hi) return false;
  out = r;
  return true;
}

TIniFailure IniFailure;

void IniReportLocation() {
  const std::string where = "file " + IniTextFile.Name() + ", line " + std::to_string(lineNumber);
  LogLine(where);
  StatusMessage = where;
}

void IniReportLocation(const std::string& why) {
  if (IniFailure.line == 0) IniFailure.line = std::max(lineNumber, 1), IniFailure.why = why;
  ++IniFailure.count;
  IniReportLocation();
}

void IniError(const std::string& text) {
  ShowMsg(text);
  IniReportLocation(text);
}

void IniWarning(const std::string& text) {
  ShowMsg(text);
  IniReportLocation();
}
