// The free-field number reader, dialog fields, number lists and comment-skipping line reads.
#include <gtest/gtest.h>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include "core/abandon.h"
#include "core/dialog_state.h"
#include "core/text_file.h"
#include "core/toolbox.h"

namespace {
struct Parsed { double x; int ok; };
Parsed Parse(std::string_view s) {
  double x = -7;
  uint8_t ok = 7;
  StrToFloatRobust(s, x, ok);
  return {x, ok};
}
std::vector<double> Buffer(int32_t n) { return std::vector<double>(NumberBuffer + 1, NumberBuffer + 1 + n); }
}  // namespace

TEST(NumberParse, StateMachineCases) {
  struct Case { std::string s; double x; int ok; };
  const Case cases[] = {
      {"0.25000+2", 25, 1}, {"1.5d-3", 0.0015, 1}, {"-.5", -0.5, 1}, {"1 000", 1000, 1},
      {"12a3", 123, 0}, {"*5", 0, 0}, {"  ", 0, 0}, {" ", 0, 1}, {"", 0, 1}, {"E5", 0, 1},
      {"1,5", 1.5, 1}, {"+2.5E+1", 25, 1}, {"1.5-3", 0.0015, 1}, {"1e+-3", 0.001, 1}, {"1e5e1", 1e51, 1},
      {"1.5.3", 1.53, 0}, {"2e1.5", 2e15, 0}, {"  7", 7, 1}, {"-", 0, 1}, {"+", 0, 1},
      {std::string("1\0 2", 4), 12, 0}, {"3\r", 3, 0},
      // Values beyond the double range: below gives 0, above the 1e300 image; within it the
      // mantissa and the exponent together (a mantissa of 401 digits times 1e-400 is 1).
      {"1e-400", 0, 1}, {"1e400", 1e300, 1}, {"-5D400", -1e300, 1}, {"1.5e-305", 1.5e-305, 1},
      {"-6.0e305", -6e305, 1}, {"1.7976931348623157e308", 1.7976931348623157e308, 1}, {"1.8e308", 1e300, 1},
      {"4.9e-324", 4.9e-324, 1}, {"2e-324", 0, 1}, {"0.000e999", 0, 1},
      {"1234567890e300", 1e300, 1}, {"1" + std::string(400, '0'), 1e300, 1},
      {"-1" + std::string(400, '0') + "e-400", -1, 1}, {"0." + std::string(400, '0') + "25e+402", 25, 1},
      {"1e99999999999999", 1e300, 1},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.s);
    EXPECT_NEAR(p.x, c.x, std::fabs(c.x) * 1e-14) << "\"" << c.s << "\"";
    EXPECT_FALSE(std::signbit(p.x) && p.x == 0) << "\"" << c.s << "\"";
    EXPECT_EQ(p.ok, c.ok) << "\"" << c.s << "\"";
  }
}

// Fields read in turn: a blank one reads 0 and leaves DialogOk alone, a bad one gives 1.001 and
// lowers it, and a good one after a bad one must not turn the dialog back into a confirmed one.
TEST(NumberParse, DialogFieldLowersDialogOkAndKeepsItLow) {
  struct Step { const char* text; double x; int dialogOk; };
  const Step steps[] = {{"", 0, 1}, {"1,5", 1.5, 1}, {" 2 5 ", 25, 1}, {"x", 1.001, 0},
                        {"3", 3, 0}, {"", 0, 0},     {" ", 0, 0},      {"    ", 0, 0}};
  DialogOk = 1;
  double x = -7;
  for (const Step& s : steps) {
    StrToFloatChecked(s.text, x);
    EXPECT_EQ(x, s.x) << "\"" << s.text << "\"";
    EXPECT_EQ(DialogOk, s.dialogOk) << "\"" << s.text << "\"";
  }
  DialogOk = 1;
}

// Fixed-point texts read back within their precision; shortest round-trip texts over the whole
// exponent range, with the exponent letters e, E, d, D or a bare sign, exactly.
TEST(NumberParse, ReadsBackFormattedAndShortestTexts) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> mantissa(1, 10);
  std::uniform_int_distribution<int> narrow(-12, 15), wide(-300, 300), decimals(0, 12);
  const char* letters[] = {"e", "E", "d", "D", ""};
  for (int i = 0; i < 4000; ++i) {
    const double sign = i % 2 ? -1 : 1, x = sign * mantissa(rng) * std::pow(10.0, narrow(rng));
    const int d = decimals(rng);
    std::string text = FormatNumber(40, d, x);
    Parsed p = Parse(text);
    EXPECT_EQ(p.ok, 1) << text;
    EXPECT_NEAR(p.x, x, 0.5 * std::pow(10.0, -d) * (1 + 1e-9) + std::fabs(x) * 2e-15) << text;

    const double y = sign * mantissa(rng) * std::pow(10.0, wide(rng));
    char buf[64];
    auto form = i % 3 ? std::chars_format::scientific : std::chars_format::general;
    auto r = std::to_chars(buf, buf + sizeof buf, y, form);
    text.assign(buf, r.ptr);
    if (size_t e = text.find('e'); e != std::string::npos) text.replace(e, 1, letters[i % 5]);
    p = Parse(text);
    EXPECT_EQ(p.ok, 1) << text;
    EXPECT_NEAR(p.x, y, std::fabs(y) * 1e-14) << text;
  }
}

// Correctly rounded over the whole range, against the C library's strtod: 17 to 40 digit mantissas
// (the digits beyond 17 decide halfway cases) with exponents out to the ends of the range, and
// the halfway points between neighbouring doubles, where repeated x10 would miss by ulps.
TEST(NumberParse, CorrectlyRoundedAgainstStrtod) {
  std::mt19937_64 rng(59);
  std::uniform_int_distribution<int> digit(0, 9), length(17, 40), exponent(-345, 308);
  for (int i = 0; i < 20000; ++i) {
    std::string mantissa(1, static_cast<char>('1' + digit(rng) % 9));
    for (int k = length(rng); k > 1; --k) mantissa += static_cast<char>('0' + digit(rng));
    const int point = 1 + digit(rng);
    std::string text = mantissa.substr(0, point) + "." + mantissa.substr(point) + "e" + std::to_string(exponent(rng));
    if (i % 2) text = "-" + text;
    const double want = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(want)) continue;
    EXPECT_EQ(Parse(text).x, want) << text;
  }
  for (int i = 0; i < 2000; ++i) {
    const double a = std::ldexp(1.0 + static_cast<double>(rng() >> 12) * 0x1p-52, static_cast<int>(rng() % 2000) - 1000);
    // The exact decimal midpoint of a and its upper neighbour: round half to even.
    char buf[1200];
    const long double mid = (static_cast<long double>(a) + std::nextafter(a, 2 * a)) / 2;
    std::snprintf(buf, sizeof buf, "%.800Le", mid);
    EXPECT_EQ(Parse(buf).x, std::strtod(buf, nullptr)) << buf;
  }
}

TEST(NumberParse, LineIntoNumberBuffer) {
  // Commas and tabs separate; "*" is a token like any other; one token of 100,000 characters.
  const std::pair<std::string, std::vector<double>> cases[] = {
      {"1,2\t3 *", {1, 2, 3, 0}}, {"  .5 -1e2,,x7 ", {0.5, -100, 7}}, {"   ", {}},
      {"2 " + std::string(100000, '9') + " 3", {2, 1e300, 3}}};
  int32_t n = -1;
  for (const auto& [line, want] : cases) {
    ParseNumbers(n, line);
    EXPECT_EQ(Buffer(n), want) << line.substr(0, 20);
  }
  // 20,000 numbers on one line: the buffer takes 16384, the rest is dropped.
  std::string many;
  for (int i = 1; i <= 20000; ++i) many += std::to_string(i) + (i % 7 ? " " : ",");
  NumberBuffer[0] = -1;
  ParseNumbers(n, many);
  ASSERT_EQ(n, NumberBufferSize);
  EXPECT_EQ(NumberBuffer[0], -1);
  EXPECT_EQ(NumberBuffer[NumberBufferSize], NumberBufferSize);
}

TEST(NumberParse, NumberListsOverLines) {
  // Stored from a[first] into an array of 5 that starts as -1; n (42 before) and the line after.
  struct Case { int32_t first, last; const char* text; std::vector<double> a; int32_t n; const char* next; };
  const Case cases[] = {
      {1, 10, "1 2 * comment\r\n* skipped\r\n\r\n3\r\n/\r\n4\r\n", {-1, 1, 2, 3, -1}, 3, "4"},
      {0, 1, "1 2 3\n4\n", {1, 2, -1, -1, -1}, 2, "4"},        // 3 is dropped with its line
      {1, 10, "* only\n/\n5\n", {-1, -1, -1, -1, -1}, 42, "5"},  // nothing stored: n as it was
      // The range is held to the caller's array.
      {1, 100, "7 8 9 10 11 12\n", {-1, 7, 8, 9, 10}, 4, " "},
      {-1, 2, "7 8\n", {-1, -1, -1, -1, -1}, 42, "7 8"},
      {-1, 2, "* one\n* two\n", {-1, -1, -1, -1, -1}, 42, " "},  // only comments: the end-of-file blank
  };
  for (const Case& c : cases) {
    TextFile f;
    f.ResetFromText(c.text);
    std::vector<double> a(5, -1);
    int32_t n = 42;
    ReadNumbers(f, c.first, c.last, n, a);
    EXPECT_EQ(a, c.a) << c.text;
    EXPECT_EQ(n, c.n) << c.text;
    ReadNextLine(f);
    EXPECT_EQ(InputLine, c.next) << c.text;
  }
}

TEST(NumberParse, NextLineSkipsCommentsKeepsWholeLinesAndEndsWithBlank) {
  const std::string longLine(100000, 'x'), nul("a\0b", 3);
  TextFile f;
  f.ResetFromText("*a\r\n*b\r\n\r\n" + longLine + "\r\n" + nul + "\nafter\x1Ahidden\r\n");
  for (const std::string& want : {std::string(), longLine, nul, std::string("after"), std::string(" ")}) {
    ReadNextLine(f);
    EXPECT_EQ(InputLine, want);
  }
  f.Close();  // reading a file that is not open abandons the operation
  EXPECT_THROW(ReadNextLine(f), OperationAbandoned);
  int32_t n = 0;
  std::vector<double> a(3);
  EXPECT_THROW(ReadNumbers(f, 0, 2, n, a), OperationAbandoned);
}
