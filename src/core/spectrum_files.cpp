// The four spectrum file kinds: readers and writers of TSpectrum.
//
// Binary kinds are little-endian whatever the host: words are put together from their bytes.
// Every reader takes the whole file first and stores into the spectrum only once the file has
// proved readable, so that a failed read leaves the spectrum as it was.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>
#include "core/abandon.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "core/text_file.h"

namespace {
constexpr size_t HeaderBytes = 1024;  // the header of a binary file: two blocks of 512 bytes
constexpr size_t MaxLineLength = 75;  // of a written free-field line

int32_t IoCodeOfErrno(int e) {
  switch (e) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES: case EPERM: case EISDIR: case EROFS: return 5;
    default: return 100;
  }
}

std::string Str(int64_t n) { return std::to_string(n); }

// Reads at most cap bytes of the file; more tells whether it holds further bytes. False, with
// the result code in IoResult, when the file does not open for reading (a folder included).
// A read error after a good open abandons the operation.
bool LoadBytes(const std::string& path, size_t cap, std::vector<unsigned char>& bytes, bool& more) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    SetIoResult(IoCodeOfErrno(errno));
    return false;
  }
  bytes.resize(cap);
  size_t got = std::fread(bytes.data(), 1, cap, f);
  bytes.resize(got);
  more = false;
  if (got == cap) more = std::fgetc(f) != EOF;
  if (std::ferror(f)) {
    int e = errno;
    std::fclose(f);
    if (e == EISDIR) {
      SetIoResult(5);
      return false;
    }
    SetIoResult(100);
    AbandonFileOperation("Cannot read", path);
  }
  std::fclose(f);
  return true;
}

// A text line split into numbers: blanks, commas and tabs separate (and a stray CR of a CR LF
// file); each token is read by StrToFloatRobust and a token that is no clean number (letters,
// other control characters) still gives its partial value. The first bad token is kept for the
// warning.
struct BadTokens {
  int32_t count = 0;
  std::string first;
  int32_t line = 0;
};

void SplitNumbers(std::string_view line, int32_t lineNumber, std::vector<double>& values, BadTokens& bad) {
  values.clear();
  size_t pos = 0;
  auto separator = [](char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r'; };
  while (pos < line.size()) {
    while (pos < line.size() && separator(line[pos])) ++pos;
    if (pos >= line.size()) break;
    size_t end = pos;
    while (end < line.size() && !separator(line[end])) ++end;
    std::string_view token = line.substr(pos, end - pos);
    double x = 0.0;
    uint8_t ok = 1;
    if (token.front() == '.') {
      std::string t = "0";
      t += token;
      StrToFloatRobust(t, x, ok);
    } else {
      StrToFloatRobust(token, x, ok);
    }
    if (!ok) {
      if (bad.count == 0) {
        bad.first = std::string(token);
        bad.line = lineNumber;
      }
      ++bad.count;
    }
    values.push_back(x);
    pos = end;
  }
}

void WarnBadTokens(const BadTokens& bad, const std::string& path) {
  if (bad.count == 0) return;
  std::string token = bad.first;
  for (char& c : token)
    if (static_cast<unsigned char>(c) < 32) c = '?';  // a control character shows as "?"
  std::string text = "Warning, not a number: \"" + token + "\" in line " + Str(bad.line) + " of " + path;
  if (bad.count > 1) text += " (" + Str(bad.count) + " such items)";
  ShowMsg(text + "; read as its numeric part");
}

// A control character other than the separators tab and CR: the file is no text.
bool HasControlCharacter(std::string_view line) {
  for (char c : line) {
    auto u = static_cast<unsigned char>(c);
    if (u < 32 && c != '\t' && c != '\r') return true;
  }
  return false;
}

bool IsComment(const std::string& line) { return !line.empty() && line.front() == '*'; }

// A heading of an X Y E file: a comment line ("#", "!" or ";" first) or a line whose first item
// is not a number ("2theta intensity error"). Blank lines are not headings.
bool IsHeading(std::string_view line) {
  auto separator = [](char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r'; };
  size_t pos = 0;
  while (pos < line.size() && separator(line[pos])) ++pos;
  if (pos == line.size()) return false;
  if (line[pos] == '#' || line[pos] == '!' || line[pos] == ';') return true;
  size_t end = pos;
  while (end < line.size() && !separator(line[end])) ++end;
  std::string token(line.substr(pos, end - pos));
  if (token.front() == '.') token.insert(token.begin(), '0');
  double x = 0.0;
  uint8_t ok = 1;
  StrToFloatRobust(token, x, ok);
  return !ok;
}

// Error of a read error value v by AsciiErrorType: 0 the error, 1 a variance, 2 a weight. A
// value of 0 or below gives error 0, weight 0: the point is left out of a fit, never taken with
// its sign flipped. The values of 0 or below are counted for one warning.
struct NonPositiveErrors {
  int32_t zero = 0, negative = 0, firstLine = 0;
};

double ErrorOfValue(double v, int32_t lineNumber, NonPositiveErrors& bad) {
  if (!(v > 0.0)) {
    if (bad.zero + bad.negative == 0) bad.firstLine = lineNumber;
    ++(v < 0.0 ? bad.negative : bad.zero);
    return 0.0;
  }
  switch (AsciiErrorType) {
    case 0: return v;
    case 2: return std::sqrt(1.0 / v);
    default: return std::sqrt(v);
  }
}

void WarnNonPositiveErrors(const NonPositiveErrors& bad, const std::string& path, const char* where) {
  const int32_t n = bad.zero + bad.negative;
  if (n == 0) return;
  ShowMsg("Warning, " + Str(n) + " error value(s) of 0 or below in " + path + " (" + Str(bad.negative) +
          " negative, " + Str(bad.zero) + " of 0), the first " + where + Str(bad.firstLine) +
          ": those points have weight 0 and are left out of the fit");
}

bool ValidRange(int32_t first, int32_t last, const std::string& fileName) {
  if (first >= 1 && last <= MaxChannels && first <= last) return true;
  ShowMsg("Can not write to " + fileName + ": wrong channel range " + Str(first) + " to " + Str(last));
  return false;
}

// The first channel of first..last whose value is not a finite number, or 0.
template <typename Value>
int32_t FirstNonFinite(int32_t first, int32_t last, Value value) {
  for (int32_t c = first; c <= last; ++c)
    if (!std::isfinite(value(c))) return c;
  return 0;
}

// True when no channel was found; otherwise the write is refused with a message.
bool AllFinite(const std::string& fileName, int32_t badChannel) {
  if (badChannel == 0) return true;
  ShowMsg("Can not write to " + fileName + ": channel " + Str(badChannel) + " holds no number");
  return false;
}

// x in fixed point with the decimals, right-aligned in width; a number that needs more room
// than the width is written whole, without blanks, instead of as asterisks.
std::string FixedWidening(int32_t width, int32_t decimals, double x) {
  std::string s = FormatNumber(width, decimals, x);
  if (s.find('*') == std::string::npos) return s;
  const int32_t d = MinI(MaxI(decimals, 0), 1100);
  const int32_t digits = static_cast<int32_t>(std::ceil(std::log10(std::fabs(x)))) + 1;
  int32_t w = MaxI(width, MaxI(digits, 1) + d + 3);
  while ((s = FormatNumber(w, decimals, x)).find('*') != std::string::npos) w += 4;
  TrimLeadingBlanks(s);
  return s;
}

// The digits a value needs to read back, as significant digits (the exponent form) and as
// decimals (the fixed form): the fewest whose correctly rounded text gives the value again. The
// shortest round-trip text has that many digits, or one fewer where it is not the nearest text
// of its length (at a power of two the neighbour below is nearer).
struct Digits {
  int32_t significant = 1, decimals = 0;
  int32_t exponent = 0;  // of the first significant digit
};
Digits ExactDigits(double x) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
  std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
  size_t e = t.find('e');
  Digits d;
  d.significant = static_cast<int32_t>(std::count_if(t.begin(), t.begin() + static_cast<ptrdiff_t>(e),
                                                     [](char c) { return c >= '0' && c <= '9'; }));
  for (;; ++d.significant) {
    r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, d.significant - 1);
    t = std::string_view(buf, static_cast<size_t>(r.ptr - buf));
    double back = 0.0;
    std::from_chars(t.data(), t.data() + t.size(), back);
    if (back == x || d.significant >= 17) break;
  }
  e = t.find('e');
  d.exponent = std::atoi(std::string(t.substr(e + 1)).c_str());
  d.decimals = MaxI(0, d.significant - 1 - d.exponent);
  return d;
}

// An abscissa needs only the digits that keep it within 1e-6 of its step (the smallest non-zero
// distance to a neighbouring channel's): half of that for the text, the rest for the rounding
// to a double on reading. A bound finer than two units in the last place of the double, or no
// finite step, takes every digit.
Digits AbscissaDigits(double x, double step) {
  Digits d = ExactDigits(x);
  const double ulp = std::nextafter(std::fabs(x), std::numeric_limits<double>::infinity()) - std::fabs(x);
  // Near the top of the range a shortened text could round past the largest double.
  if (!(step > 0.0 && std::isfinite(step)) || x == 0.0 || !(1e-6 * step >= 2.0 * ulp) || std::fabs(x) > 1e307)
    return d;
  // 0.5 * 10^-decimals <= 0.5e-6 * step.
  const double need = 6.0 - std::log10(step);  // not log10(1e6 / step): that overflows for a subnormal step
  d.decimals = MinI(d.decimals, MaxI(0, static_cast<int32_t>(std::ceil(need))));
  d.significant = MinI(d.significant, MaxI(1, static_cast<int32_t>(std::ceil(d.exponent + 1.0 + need))));
  return d;
}

// x with at least the given decimals (fixed) or significant digits (exponent form), more when
// it needs them to read back as d says.
std::string Column(bool exponentForm, int32_t width, int32_t decimals, double x, Digits d) {
  if (exponentForm) {
    // The dialog's field width; a value with more digits widens it.
    std::string s;
    FormatExponent(MinI(23, decimals + 7), MaxI(decimals, d.significant), s, x);
    return s;
  }
  return FixedWidening(width, MaxI(decimals, d.decimals), x);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Binary kinds

bool TSpectrum::ReadBinarySpectrum2() { return ReadBinary(2); }
bool TSpectrum::ReadBinarySpectrum() { return ReadBinary(4); }

bool TSpectrum::ReadBinary(int32_t wordSize) {
  IoOk = 0;
  const std::string& path = VarianceMode == 1 ? VarianceName : Name;
  const size_t skip = SkipHeader ? HeaderBytes : 0;
  const size_t word = static_cast<size_t>(wordSize);
  std::vector<unsigned char> bytes;
  bool more = false;
  if (!LoadBytes(path, skip + MaxChannels * word, bytes, more)) {
    std::string code = Str(IoResult());
    if (wordSize == 2)
      ShowMsg(path + ": opening failure; " + LineBreak + "file may be Read_Only");
    else
      ShowMsg(path + LineBreak + ": opening failure; IOres= " + code + LineBreak + "file may be Read_Only");
    return false;
  }
  if (bytes.size() < skip + word) {
    if (skip > 0 && bytes.size() <= skip)
      ShowMsg("Error, " + path + " is not longer than its 1024-byte header: no spectrum values");
    else
      ShowMsg("Error, no spectrum values in " + path);
    return false;
  }
  const size_t data = bytes.size() - skip;
  const auto n = static_cast<int32_t>(data / word);
  if (more)
    ShowMsg("Warning, " + path + " holds more than 32768 channels; the channels past 32768 are not read");
  else if (data % word != 0)
    ShowMsg("Warning, " + path + " ends inside a word; its last " + Str(static_cast<int64_t>(data % word)) +
            " byte(s) are not read");

  const unsigned char* p = bytes.data() + skip;
  const bool counts = VarianceMode != 1;
  for (int32_t k = 1; k <= n; ++k, p += word) {
    double v;
    if (wordSize == 2) {
      v = static_cast<uint16_t>(p[0] | (p[1] << 8));
    } else {
      uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                   (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
      if (ReverseBytes) u = SwapWordHalves(u);
      v = static_cast<int32_t>(u);
    }
    if (counts) Y[k] = v;
    E[k] = std::sqrt(MaxD(v, 1.0));
  }
  if (counts) {
    FirstChannel = 1;
    LastChannel = MaxI(n, 1);
    GapChannels.clear();
  }
  // The first channel's count is never used; it is cleared in variance reads too.
  Y[1] = 0.0;
  E[1] = 1.0;
  ErrorsKnown = 1;
  IoOk = 1;
  return true;
}

void TSpectrum::WriteBinarySpectrum2(int32_t first, int32_t last, const std::string& fileName) {
  WriteBinary(2, first, last, fileName);
}

void TSpectrum::WriteBinarySpectrum(int32_t first, int32_t last, const std::string& fileName) {
  WriteBinary(4, first, last, fileName);
}

void TSpectrum::WriteBinary(int32_t wordSize, int32_t first, int32_t last, const std::string& fileName) {
  IoOk = 0;
  if (!ValidRange(first, last, fileName)) return;
  const bool variance = VarianceMode == 1;
  auto value = [&](int32_t c) { return variance ? E[c] * E[c] : Y[c]; };
  if (!AllFinite(fileName, FirstNonFinite(first, last, value))) return;

  // The words must hold the rounded values exactly: nothing wraps.
  const double lowest = wordSize == 2 ? 0.0 : -2147483648.0;
  const double highest = wordSize == 2 ? 65535.0 : 2147483647.0;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (int32_t c = first; c <= last; ++c) {
    double r = std::nearbyint(value(c));
    lo = MinD(lo, r);
    hi = MaxD(hi, r);
  }
  if (hi > highest || lo < lowest) {
    std::string kind = wordSize == 2 ? "2" : "4";
    std::string what = hi > highest ? "max= " + FormatNumberNoBlanks(0, hi) : "min= " + FormatNumberNoBlanks(0, lo);
    ShowMsg("Can not save spectrum as " + kind + " byte data, " + what);
    return;
  }

  const size_t word = static_cast<size_t>(wordSize);
  std::vector<unsigned char> bytes(static_cast<size_t>(last - first + 1) * word);
  unsigned char* p = bytes.data();
  for (int32_t c = first; c <= last; ++c, p += word) {
    auto u = static_cast<uint32_t>(static_cast<int32_t>(std::nearbyint(value(c))));
    p[0] = static_cast<unsigned char>(u & 0xFF);
    p[1] = static_cast<unsigned char>((u >> 8) & 0xFF);
    if (wordSize == 4) {
      p[2] = static_cast<unsigned char>((u >> 16) & 0xFF);
      p[3] = static_cast<unsigned char>((u >> 24) & 0xFF);
    }
  }
  std::FILE* f = std::fopen(fileName.c_str(), "wb");
  if (!f) {
    ShowMsg("Can not write to " + fileName);
    return;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) written = false;
  if (!written) {
    SetIoResult(101);
    AbandonFileOperation("Cannot write", fileName);
  }
  IoOk = 1;
}

// ---------------------------------------------------------------------------------------------
// Kind 3: free-field numbers

bool TSpectrum::ReadAsciiSpectrum(int32_t first, int32_t /*last*/) {
  IoOk = 0;
  const std::string& path = VarianceMode == 1 ? VarianceName : Name;
  if (first < 1 || first > MaxChannels) {
    ShowMsg("Error, wrong first channel " + Str(first) + " for " + path);
    return false;
  }
  TextFile f;
  f.Reset(path);
  const size_t room = static_cast<size_t>(MaxChannels - first + 1);
  std::vector<double> values, line;
  values.reserve(MinI(static_cast<int32_t>(room), 16384));
  BadTokens bad;
  bool inspected = false, overflow = false;
  int32_t lineNumber = 0;
  while (!f.Eof() && !overflow) {
    std::string text = f.ReadLine();
    ++lineNumber;
    if (IsComment(text)) continue;
    if (!inspected) {
      inspected = true;
      if (HasControlCharacter(text)) ShowMsg("Warning, no ASCII spectrum");
    }
    if (text.empty()) continue;
    SplitNumbers(text, lineNumber, line, bad);
    for (double v : line) {
      if (values.size() == room) {
        overflow = true;
        break;
      }
      values.push_back(v);
    }
  }
  f.Close();
  ErrorsKnown = 0;
  WarnBadTokens(bad, path);
  if (overflow)
    ShowMsg("Warning, " + path + " holds more numbers than channels " + Str(first) +
            " to 32768; the rest is not read");
  if (values.empty()) {
    ShowMsg("Error, no numbers in " + path);
    return false;
  }
  const auto n = static_cast<int32_t>(values.size());
  const bool counts = VarianceMode != 1;
  NonPositiveErrors nonPositive;
  for (int32_t i = 0; i < n; ++i) {
    const double v = values[static_cast<size_t>(i)];
    const int32_t c = first + i;
    if (counts) {
      Y[c] = v;
      E[c] = std::sqrt(MaxD(v, 0.0));
    } else {
      E[c] = ErrorOfValue(v, c, nonPositive);
    }
  }
  if (counts) {
    FirstChannel = first;
    LastChannel = first + n - 1;
    GapChannels.clear();
  }
  WarnNonPositiveErrors(nonPositive, path, "at channel ");
  IoOk = 1;
  return true;
}

void TSpectrum::WriteAsciiSpectrum(int32_t first, int32_t last, const std::string& fileName, int32_t decimals,
                                   bool exponentFormat) {
  IoOk = 0;
  if (!ValidRange(first, last, fileName)) return;
  const bool variance = VarianceMode == 1;
  auto value = [&](int32_t c) { return variance ? E[c] * E[c] : Y[c]; };
  if (!AllFinite(fileName, FirstNonFinite(first, last, value))) return;
  TextFile f;
  if (!f.TryRewrite(fileName)) {
    (void)IoResult();
    ShowMsg("Can not write to " + fileName);
    return;
  }
  std::string line, token;
  line.reserve(MaxLineLength + 32);
  for (int32_t c = first; c <= last; ++c) {
    token = Column(exponentFormat, 25, decimals, value(c), ExactDigits(value(c)));
    DeleteSpaces(token);
    if (!line.empty() && line.size() + token.size() + 1 > MaxLineLength) {
      f.WriteLine(line);
      line.clear();
    }
    line += token;
    line += ' ';
  }
  f.WriteLine(line);
  f.Close();
  IoOk = 1;
}

// ---------------------------------------------------------------------------------------------
// Kind 4: X, Y [, error] lines

namespace {
struct TripleRow {
  double x, y, e;
  uint8_t items;  // 0 no X or Y item, 2 X and Y, 3 with the error
  int32_t line;
};

// X and its steps in messages: ten significant digits, whatever the locale.
std::string Shortest(double x) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 10);
  return std::string(buf, r.ptr);
}

// The channels with no data put before each line, and their count in gaps and channels.
struct TripleGrid {
  std::vector<int32_t> fills;
  int32_t gaps = 0, missing = 0, firstGapLine = 0;
};

// A step within this fraction of a whole number of common steps is on the grid (X written with
// few decimals, encoder jitter).
constexpr double GridTolerance = 0.1;
// A grid is equidistant when at least this share of its steps lie on it; a grid whose steps vary
// smoothly (logarithmic time of flight, d-spacing) is taken as it is.
constexpr double EquidistantShare = 0.9;

// X must run one way without repeating. On an equidistant grid every step is a whole number of
// common steps (the median step); a larger step is a gap, filled by channels with no data so
// that every channel keeps its own X. A step that is no whole multiple refuses the file.
bool CheckTripleGrid(const std::vector<TripleRow>& rows, const std::string& path, TripleGrid& grid) {
  grid.fills.assign(rows.size(), 0);
  std::vector<size_t> withX;
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].items != 0) withX.push_back(i);
  if (withX.size() < 2) return true;
  const double direction = rows[withX[1]].x - rows[withX[0]].x;
  std::vector<double> unitSteps;
  for (size_t k = 1; k < withX.size(); ++k) {
    const TripleRow &a = rows[withX[k - 1]], &b = rows[withX[k]];
    const double d = b.x - a.x;
    if (d == 0.0 || (d > 0.0) != (direction > 0.0)) {
      const std::string what = d == 0.0 || direction == 0.0 ? " repeats the X before it ("
                                                            : " goes back from the X before it (";
      ShowMsg("Error, the X of line " + Str(b.line) + " of " + path + what + Shortest(b.x) +
              " after " + Shortest(a.x) + "); the file is not read");
      return false;
    }
    if (withX[k] == withX[k - 1] + 1) unitSteps.push_back(std::fabs(d));
  }
  if (unitSteps.empty()) return true;
  // The lower median: with as many gaps as plain steps the plain step still leads.
  const size_t middle = (unitSteps.size() - 1) / 2;
  std::nth_element(unitSteps.begin(), unitSteps.begin() + static_cast<std::ptrdiff_t>(middle), unitSteps.end());
  const double step = unitSteps[middle];
  size_t onGrid = 0, firstOff = 0;
  double offStep = 0.0;
  for (size_t k = 1; k < withX.size(); ++k) {
    const double d = std::fabs(rows[withX[k]].x - rows[withX[k - 1]].x), r = d / step;
    const double whole = std::nearbyint(r);
    const auto between = static_cast<double>(withX[k] - withX[k - 1]);  // channels the lines take
    // A gap wider than the channel table is no gap of this grid.
    if (whole >= between && whole - between <= MaxChannels && std::fabs(r - whole) <= GridTolerance) {
      ++onGrid;
      grid.fills[withX[k]] = static_cast<int32_t>(whole - between);
    } else if (firstOff == 0) {
      firstOff = withX[k], offStep = d;
    }
  }
  if (firstOff != 0) {
    grid.fills.assign(rows.size(), 0);
    if (static_cast<double>(onGrid) < EquidistantShare * static_cast<double>(withX.size() - 1)) return true;
    ShowMsg("Error, the X step before line " + Str(rows[firstOff].line) + " of " + path + " (" +
            Shortest(offStep) + ") is no whole multiple of the file's step " +
            Shortest(step) + "; the file is not read");
    return false;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    if (grid.fills[i] == 0) continue;
    if (grid.gaps++ == 0) grid.firstGapLine = rows[i].line;
    grid.missing += grid.fills[i];
  }
  return true;
}
}  // namespace

bool TSpectrum::ReadAsciiTriples(int32_t first) {
  IoOk = 0;
  ErrorsKnown = 0;
  const std::string& path = Name;
  if (AsciiColumnX < 1 || AsciiColumnY < 1 || AsciiColumnE < 1) {
    ShowMsg("Error, wrong ASCII column indicators " + Str(AsciiColumnX) + " " + Str(AsciiColumnY) + " " +
            Str(AsciiColumnE));
    return false;
  }
  const bool fromX = StartingChannelOne == 0;
  if (!fromX && (first < 1 || first > MaxChannels)) {
    ShowMsg("Error, wrong first channel " + Str(first) + " for " + path);
    return false;
  }
  TextFile f;
  f.Reset(path);

  std::vector<TripleRow> rows;
  rows.reserve(16384);
  std::vector<double> v;
  const auto needXY = static_cast<size_t>(MaxI(AsciiColumnX, AsciiColumnY));
  const auto needE = static_cast<size_t>(MaxI(AsciiColumnE, 3));
  int32_t start = first;
  size_t room = 0;
  BadTokens bad;
  int32_t lacking = 0, lineNumber = 0, headings = 0, firstHeading = 0;
  bool inspected = false, overflow = false;
  // Items of the last two data lines, and the last one's number: a last line with fewer items
  // than the one before was cut when the file was.
  size_t lastItems = 0, previousItems = 0;
  int32_t lastLine = 0;
  while (!f.Eof()) {
    std::string text = f.ReadLine();
    ++lineNumber;
    if (IsComment(text)) continue;
    // A heading never becomes a channel: it would shift every later one.
    if (IsHeading(text)) {
      if (headings++ == 0) firstHeading = lineNumber;
      continue;
    }
    SplitNumbers(text, lineNumber, v, bad);
    if (!inspected && !v.empty()) {  // the first data line
      inspected = true;
      if (HasControlCharacter(text) || v.size() < 2) ShowMsg("Warning, is it channel-counts spectrum?");
    }
    if (v.empty()) continue;
    TripleRow row{0.0, 0.0, 0.0, 0, lineNumber};
    if (v.size() >= needXY) {
      row.x = v[static_cast<size_t>(AsciiColumnX) - 1];
      row.y = v[static_cast<size_t>(AsciiColumnY) - 1];
      row.items = 2;
      if (v.size() >= needE) {
        row.e = v[static_cast<size_t>(AsciiColumnE) - 1];
        row.items = 3;
      }
    } else {
      ++lacking;
    }
    if (rows.empty()) {
      // The first line that takes a channel fixes the start channel.
      if (fromX) {
        double r = v.size() >= static_cast<size_t>(AsciiColumnX) ? std::nearbyint(v[AsciiColumnX - 1]) : 0.0;
        if (!(r >= 1.0 && r <= MaxChannels)) {
          ShowMsg("Error, the first X of " + path + " gives channel " + FormatNumberNoBlanks(0, r) +
                  ", outside 1 to 32768");
          return false;
        }
        start = static_cast<int32_t>(r);
      }
      room = static_cast<size_t>(MaxChannels - start + 1);
    }
    if (rows.size() == room) {
      overflow = true;
      break;
    }
    rows.push_back(row);
    previousItems = lastItems, lastItems = v.size(), lastLine = lineNumber;
  }
  f.Close();
  if (!overflow && rows.size() >= 2 && lastItems < previousItems) {
    if (rows.back().items == 0) --lacking;
    rows.pop_back();
    ShowMsg("Warning, the last line of " + path + " (line " + Str(lastLine) + ") holds " + Str(static_cast<int32_t>(lastItems)) +
            " of the " + Str(static_cast<int32_t>(previousItems)) + " items of the line before: cut, it is not read");
  }
  if (headings > 0)
    ShowMsg("Warning, " + Str(headings) + " heading line(s) of " + path + " skipped, the first is line " +
            Str(firstHeading));
  WarnBadTokens(bad, path);
  if (overflow)
    ShowMsg("Warning, " + path + " holds more lines than channels " + Str(start) + " to 32768; the rest is not read");
  if (lacking > 0)
    ShowMsg("Warning, " + Str(lacking) + " line(s) of " + path + " lack the X or Y item; their channels hold 0");
  if (rows.empty()) {
    ShowMsg("Error, no spectrum lines in " + path);
    return false;
  }
  TripleGrid grid;
  if (!CheckTripleGrid(rows, path, grid)) return false;
  // The channels with no data count against the channels left.
  size_t taken = 0;
  for (int32_t total = 0; taken < rows.size(); ++taken) {
    total += 1 + grid.fills[taken];
    if (static_cast<size_t>(total) > room) break;
  }
  if (taken < rows.size()) {
    rows.resize(taken);
    if (!overflow)
      ShowMsg("Warning, " + path + " holds more lines than channels " + Str(start) + " to 32768; the rest is not read");
  }
  if (grid.missing > 0)
    ShowMsg("Warning, " + Str(grid.gaps) + " gap(s) in the X of " + path + ", " + Str(grid.missing) +
            " channel(s) with no data (weight 0), the first before line " + Str(grid.firstGapLine));

  GapChannels.clear();
  NonPositiveErrors nonPositive;
  int32_t c = start - 1, lastXChannel = 0;
  double lastX = 0.0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TripleRow& row = rows[i];
    // A gap: channels on the grid between the last X and this one, no count, no weight.
    const int32_t fill = grid.fills[i];
    const double steps = c + fill + 1 - lastXChannel;
    for (int32_t j = 1; j <= fill; ++j) {
      ++c;
      X[c] = lastX + (row.x - lastX) * (c - lastXChannel) / steps;
      Y[c] = 0.0;
      E[c] = 0.0;
      GapChannels.push_back(c);
    }
    ++c;
    if (row.items == 0) {
      Y[c] = 0.0;
      E[c] = 1.0;
      X[c] = c;
      continue;
    }
    lastX = row.x, lastXChannel = c;
    X[c] = row.x;
    Y[c] = row.y;
    if (row.items == 3) {
      ErrorsKnown = 1;
      E[c] = ErrorOfValue(row.e, row.line, nonPositive);
    } else {
      E[c] = std::sqrt(std::fabs(row.y) + 1.0);
    }
  }
  WarnNonPositiveErrors(nonPositive, path, "in line ");
  FirstChannel = start;
  LastChannel = c;
  XFirst = X[FirstChannel];
  XLast = X[LastChannel];
  XStep = (XLast - XFirst) / MaxI(1, LastChannel - FirstChannel);
  ChannelsPerX = (LastChannel - FirstChannel) / MaxD(1.0, XLast - XFirst);
  ChannelOffset = LastChannel - ChannelsPerX * XLast;
  IoOk = 1;
  return true;
}

void TSpectrum::WriteAsciiTriples(int32_t first, int32_t last, const std::string& fileName, int32_t decimals,
                                  bool exponentFormat, bool useX) {
  IoOk = 0;
  if (!ValidRange(first, last, fileName)) return;
  const bool microseconds = AxisKind == AxisTimeOfFlight && OutputMicroseconds;
  auto abscissa = [&](int32_t c) {
    if (microseconds) return (c + Delay) * ChanWidth;
    return useX ? X[c] : static_cast<double>(c);
  };
  int32_t bad = FirstNonFinite(first, last, abscissa);
  if (bad == 0) bad = FirstNonFinite(first, last, [&](int32_t c) { return Y[c]; });
  if (bad == 0) bad = FirstNonFinite(first, last, [&](int32_t c) { return E[c]; });
  if (!AllFinite(fileName, bad)) return;

  const double ymax = std::isfinite(Ymax) ? std::fabs(Ymax) : 0.0;
  const int32_t w = RoundHalfEven(std::log(ymax + 1.0) / 2.3 + 3.0) + decimals + (decimals > 0 ? 1 : 0);
  const int32_t dx = microseconds ? 0 : (useX ? MaxI(decimals, 4) : 0);
  TextFile f;
  if (!f.TryRewrite(fileName)) {
    (void)IoResult();
    ShowMsg("Can not write to " + fileName);
    return;
  }
  // The dialog's decimals are a floor: every column gets the digits it needs to read back.
  auto step = [&](int32_t c) {
    double s = 0.0;
    for (int32_t n : {c - 1, c + 1})
      if (n >= first && n <= last)
        if (const double d = std::fabs(abscissa(n) - abscissa(c)); d > 0.0 && (s == 0.0 || d < s)) s = d;
    return s;
  };
  std::string line;
  for (int32_t c = first; c <= last; ++c) {
    const double x = abscissa(c);
    line = Column(exponentFormat, 9, exponentFormat ? decimals : dx, x, AbscissaDigits(x, step(c)));
    line += ' ';
    line += Column(exponentFormat, w, decimals, Y[c], ExactDigits(Y[c]));
    line += ' ';
    line += Column(exponentFormat, w, decimals, E[c], ExactDigits(E[c]));
    f.WriteLine(line);
  }
  f.Close();
  IoOk = 1;
}
