#include "core/number_parse.h"
#include <algorithm>
#include <charconv>
#include <cmath>
#include "core/dialog_state.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/toolbox.h"

namespace {
enum class Part { Integer, Fraction, Exponent };

// The largest exponent value kept; anything beyond already gives 0 or the 1e300 image.
constexpr int32_t ExponentLimit = 100000;
// The image of a value beyond the double range (as a mantissa of hundreds of digits gives it).
constexpr double OverflowImage = 1e300;

// The correctly rounded double of 0.digits * 10^(scale + digits.size()); digits hold no leading
// zero. Beyond the double range the 1e300 image, below it 0.
double DecimalValue(const std::string& digits, int64_t scale) {
  if (digits.empty()) return 0.0;
  // The value lies in [10^(top-1), 10^top).
  const int64_t top = scale + static_cast<int64_t>(digits.size());
  if (top > 310) return OverflowImage;
  if (top < -330) return 0.0;
  // Up to 15 digits and a power of ten up to 10^22 are both exact doubles: one rounding.
  constexpr double Powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (digits.size() <= 15 && scale >= -22 && scale <= 22) {
    double m = 0.0;
    for (char c : digits) m = m * 10.0 + (c - '0');
    return scale < 0 ? m / Powers[-scale] : m * Powers[scale];
  }
  const std::string text = digits + "e" + std::to_string(scale);
  double x = 0.0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), x);
  if (r.ec == std::errc::result_out_of_range) return top > 0 ? OverflowImage : 0.0;
  return std::isfinite(x) ? x : OverflowImage;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A read of a closed file is a failed file operation like any other.
void RequireReading(const TextFile& f) {
  if (!f.IsReading()) {
    SetIoResult(103);
    AbandonFileOperation("Cannot read", f.Name());
  }
}

// Blanks for the separators of a number list: "," and tab.
void SeparatorsToBlanks(std::string& t) {
  for (char& c : t)
    if (c == ',' || c == '\t') c = ' ';
}

// Reads the blank-separated tokens of t, storing each value with store(); stops early when
// store() returns false.
template <typename Store>
void TakeTokens(std::string_view t, Store store) {
  size_t pos = 0;
  while (true) {
    pos = t.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos) return;
    size_t end = t.find(' ', pos);
    if (end == std::string_view::npos) end = t.size();
    // A token beginning with "." reads as if it had a "0" in front: the parser takes it so.
    double x = 0.0;
    uint8_t ok = 0;
    StrToFloatRobust(t.substr(pos, end - pos), x, ok);
    if (!store(x)) return;
    pos = end;
  }
}
}  // namespace

void StrToFloatRobust(std::string_view s, double& x, uint8_t& ok) {
  if (s.empty() || s == " ") {
    x = 0.0;
    ok = 1;
    return;
  }
  if (s.front() == '*') {
    x = 0.0;
    ok = 0;
    return;
  }
  ok = 1;
  size_t i = s.find_first_not_of(' ');
  if (i == std::string_view::npos) {
    x = 0.0;
    ok = 0;
    return;
  }
  double sign = 1.0;
  if (s[i] == '+' || s[i] == '-') {
    if (s[i] == '-') sign = -1.0;
    ++i;
  }
  Part part = Part::Integer;
  // The significant digits of the mantissa and the count of those after the point; the value is
  // made once, correctly rounded, from them and the exponent.
  std::string digits;
  int64_t fractionDigits = 0;
  int32_t exponentValue = 0;
  int32_t exponentSign = 1;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == ' ') continue;
    if (c == 'e' || c == 'd' || c == 'D') c = 'E';
    if (part != Part::Exponent) {
      if (IsDigit(c)) {
        if (c != '0' || !digits.empty()) digits += c;
        if (part == Part::Fraction) ++fractionDigits;
      } else if (part == Part::Integer && (c == '.' || c == ',')) {
        part = Part::Fraction;
      } else if (c == 'E' || c == '+' || c == '-') {
        // A bare sign after the mantissa begins the exponent: "0.25000+2" is 25.
        if (c != 'E') exponentSign = c == '-' ? -1 : 1;
        part = Part::Exponent;
      } else {
        ok = 0;
      }
    } else if (IsDigit(c)) {
      exponentValue = MinI(exponentValue * 10 + (c - '0'), ExponentLimit);
    } else if (c == '+' || c == '-') {
      exponentSign = c == '-' ? -1 : 1;  // the last sign wins
    } else if (c != 'E') {
      ok = 0;
    }
  }
  const int64_t exponent = part == Part::Exponent ? int64_t{exponentSign} * exponentValue : 0;
  x = sign * DecimalValue(digits, exponent - fractionDigits);
  x += 0.0;  // a bare "-" reads as 0, not as -0
}

void StrToFloatChecked(std::string_view s, double& x) {
  if (IsBlank(s)) {
    x = 0.0;
    return;
  }
  // The parser itself skips blanks and reads "," as the decimal point.
  uint8_t ok = 1;
  StrToFloatRobust(s, x, ok);
  // A good field leaves DialogOk as it is, so that one mistyped field among several still
  // cancels the dialog when the caller tests DialogOk after reading them all.
  if (ok == 0) {
    x = 1.001;
    DialogOk = 0;
  }
}

std::string FirstNonNumber(std::string_view s) {
  std::string t(s);
  SeparatorsToBlanks(t);
  for (size_t pos = t.find_first_not_of(' '); pos != std::string::npos; pos = t.find_first_not_of(' ', pos)) {
    const size_t end = std::min(t.find(' ', pos), t.size());
    const std::string_view token = std::string_view(t).substr(pos, end - pos);
    double x = 0.0;
    uint8_t ok = 0;
    StrToFloatRobust(token, x, ok);
    if (ok != 1 || !std::isfinite(x)) return std::string(token);
    pos = end;
  }
  return {};
}

void ParseNumbers(int32_t& n, std::string_view s) {
  std::string t(s);
  SeparatorsToBlanks(t);
  n = 0;
  // Tokens beyond the end of NumberBuffer are dropped.
  TakeTokens(t, [&n](double x) {
    if (n >= NumberBufferSize) return false;
    NumberBuffer[++n] = x;
    return true;
  });
}

void ReadNumbers(TextFile& f, int32_t first, int32_t last, int32_t& n, std::span<double> a) {
  RequireReading(f);
  // Never past the end of the caller's array, nor before its start.
  if (first < 0) return;
  if (static_cast<int64_t>(last) >= static_cast<int64_t>(a.size())) last = static_cast<int32_t>(a.size()) - 1;
  int32_t i = first;
  while (!f.Eof() && i <= last) {
    std::string line = f.ReadLine();
    if (line.empty() || line.front() == '*') continue;
    if (line.front() == '/') return;
    size_t comment = line.find('*');
    if (comment != std::string::npos) line.erase(comment);
    SeparatorsToBlanks(line);
    TakeTokens(line, [&](double x) {
      a[static_cast<size_t>(i)] = x;
      ++i;
      n = i - first;
      return i <= last;
    });
  }
}

void ReadNextLine(TextFile& f) {
  RequireReading(f);
  InputLine.assign(1, ' ');  // assign, not = " ": GCC 12 warns falsely on the latter
  std::string line;
  do {
    if (f.Eof()) return;
    line = f.ReadLine();
  } while (!line.empty() && line.front() == '*');
  InputLine = std::move(line);
}
