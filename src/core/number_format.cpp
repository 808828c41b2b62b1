#include "core/number_format.h"
#include <charconv>
#include <cmath>
#include <string_view>
#include "core/small_routines.h"
#include "core/toolbox.h"

namespace {
// The overflow image of every formatted number.
constexpr std::string_view AsteriskField = "***********************";
static_assert(AsteriskField.size() == 23);

std::string Asterisks(int32_t width) {
  if (width <= 0) return {};
  return std::string(AsteriskField.substr(0, static_cast<size_t>(MinI(width, 23))));
}

// x in fixed point with exactly `decimals` decimals (at most 1100), correctly rounded and
// locale-free. The buffer takes the largest double with all its decimals.
std::string FixedText(double x, int32_t decimals) {
  char buf[1500];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}
}  // namespace

namespace {
// FormatNumber's text, InputLine untouched.
std::string NumberField(int32_t width, int32_t decimals, double x) {
  // Beyond 1100 decimals every digit of a double is a zero anyway.
  decimals = MinI(MaxI(decimals, 0), 1100);
  x += 0.0;  // no "-0.00" for a negative zero
  // log10 with the 7-digit divisor 2.302585, as this formatter has always taken it: L is
  // log10|x| * 1.00000004, so a value just below a power of ten may already count as that power.
  double l = std::log(std::fabs(x)) / 2.302585;
  bool fits = x == 0.0 || (x > 0.0 && l <= width - decimals - 1) || (x < 0.0 && l <= width - decimals - 2);
  // NaN and infinities never fit.
  if (!fits) return Asterisks(width);
  // A text longer than the field is written whole.
  std::string s = FixedText(x, decimals);
  PadLeft(s, width);
  return s;
}
}  // namespace

std::string FormatNumber(int32_t width, int32_t decimals, double x) {
  InputLine = NumberField(width, decimals, x);
  return InputLine;
}

std::string FormatNumberReadBack(int32_t width, int32_t decimals, double x) {
  std::string s = NumberField(width, decimals, x);
  if (!std::isfinite(x)) return s;
  if (s.front() == '*' || (x != 0.0 && s.find_first_of("123456789") == std::string::npos))
    FormatExponent(width, 17, s, x);
  return s;
}

void FormatNumberTo(int32_t width, int32_t decimals, std::string& s, double x) { s = FormatNumber(width, decimals, x); }

std::string FormatNumberNoBlanks(int32_t decimals, double x) {
  FormatNumber(25, decimals, x);
  DeleteSpaces(InputLine);
  return InputLine;
}

void FormatNumberNoBlanksTo(int32_t decimals, std::string& s, double x) { s = FormatNumberNoBlanks(decimals, x); }

std::string FormatInteger(int32_t n, int32_t width) {
  InputLine = std::to_string(n);
  if (static_cast<int32_t>(InputLine.size()) > width)
    InputLine.assign(static_cast<size_t>(MaxI(width, 0)), '*');
  else
    PadLeft(InputLine, width);
  return InputLine;
}

std::string FormatFixed(int32_t width, int32_t decimals, double x) {
  std::string s;
  if (std::isnan(x)) s = "NaN";
  else if (std::isinf(x)) s = x > 0 ? "Inf" : "-Inf";
  else s = FixedText(x + 0.0, MinI(MaxI(decimals, 0), 1100));
  PadLeft(s, width);
  return s;
}

void FormatExponent(int32_t width, int32_t precision, std::string& s, double x) {
  if (!std::isfinite(x)) {
    s = Asterisks(MaxI(width, 1));
    return;
  }
  if (precision < 1) precision = 1;
  if (precision > 40) precision = 40;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x + 0.0, std::chars_format::scientific, precision - 1);
  std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
  size_t e = text.find('e');
  std::string mantissa(text.substr(0, e));
  char expSign = text[e + 1];
  std::string_view expDigits = text.substr(e + 2);
  while (expDigits.size() > 1 && expDigits.front() == '0') expDigits.remove_prefix(1);
  std::string exponent(expDigits);
  // A narrow width asks for a fixed number of exponent digits.
  if (width < 4 && static_cast<int32_t>(exponent.size()) < width)
    exponent.insert(0, static_cast<size_t>(width) - exponent.size(), '0');
  s = mantissa + expSign + exponent;
  PadLeft(s, width);
}

void FormatNumberFit(int32_t width, std::string& s, double x) {
  std::string text = FormatNumberNoBlanks(0, x);
  int32_t m = static_cast<int32_t>(text.size());
  int32_t w = MaxI(width, m);
  if (std::fabs(x) <= std::pow(10.0, width - 3)) {
    if (x == 0.0)
      text = "0";
    else if (x == std::nearbyint(x))
      text = FormatNumber(w, 0, x);
    else
      text = FormatNumber(w, MaxI(0, width - 1 - m), x);
    // A value too small for the fixed digits would read back as 0: it takes the exponent form
    // like a large one, so that a grid shown and confirmed keeps it.
    if (x != 0.0 && text.find_first_of("123456789") == std::string::npos) FormatExponent(12, 7, text, x);
  } else {
    FormatExponent(12, 7, text, x);
  }
  DeleteSpaces(text);
  s = text;
}

void FormatValueWithError(int32_t decimals, std::string& s, double value, double error) {
  // A negative or non-finite error stands for one the fit could not determine.
  s = FormatNumber(10, decimals, value) + " +- " + (error >= 0 && std::isfinite(error) ? FormatNumber(10, decimals, error) : "         ?");
}
