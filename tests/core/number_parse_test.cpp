#include <gtest/gtest.h>
#include <charconv>
#include <cmath>
#include <random>
#include <vector>
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
}  // namespace

TEST(NumberParse, StateMachineCases) {
  struct Case { std::string s; double x; int ok; };
  const Case cases[] = {
      {"0.25000+2", 25, 1}, {"1.5d-3", 0.0015, 1}, {"-.5", -0.5, 1}, {"1 000", 1000, 1},
      {"12a3", 123, 0}, {"*5", 0, 0}, {"  ", 0, 0}, {" ", 0, 1}, {"", 0, 1}, {"E5", 0, 1},
      {"1,5", 1.5, 1}, {"+2.5E+1", 25, 1}, {"1.5-3", 0.0015, 1}, {"1e+-3", 0.001, 1}, {"1e5e1", 1e51, 1},
      {"1.5.3", 1.53, 0}, {"2e1.5", 2e15, 0}, {"  7", 7, 1}, {"-", 0, 1}, {"+", 0, 1},
      {std::string("1\0 2", 4), 12, 0}, {"3\r", 3, 0},
      // Exponents beyond the double range: below gives 0, above the 1e300 image.
      {"1e-400", 0, 1}, {"1e400", 1e300, 1}, {"-5D400", -5e300, 1}, {"1.5e-305", 1.5e-305, 1},
      {"1234567890e300", 1e300, 1}, {"1" + std::string(400, '0'), 1e300, 1},
      {"-1" + std::string(400, '0') + "e-400", -1e300, 1}, {"1e99999999999999", 1e300, 1},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.s);
    EXPECT_NEAR(p.x, c.x, std::fabs(c.x) * 1e-14) << "\"" << c.s << "\"";
    EXPECT_FALSE(std::signbit(p.x) && p.x == 0) << "\"" << c.s << "\"";
    EXPECT_EQ(p.ok, c.ok) << "\"" << c.s << "\"";
  }
}

TEST(NumberParse, DialogFieldLowersDialogOkAndKeepsItLow) {
  double x = -7;
  DialogOk = 1;
  StrToFloatChecked("1,5", x);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(DialogOk, 1);
  StrToFloatChecked(" 2 5 ", x);
  EXPECT_EQ(x, 25);
  StrToFloatChecked("x", x);
  EXPECT_EQ(x, 1.001);
  EXPECT_EQ(DialogOk, 0);
  // A good field after a bad one must not turn the dialog back into a confirmed one.
  StrToFloatChecked("3", x);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(DialogOk, 0);
  for (const char* blank : {"", " ", "    "}) {
    StrToFloatChecked(blank, x);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(DialogOk, 0);
  }
  DialogOk = 1;
  StrToFloatChecked("", x);
  EXPECT_EQ(DialogOk, 1);
}

// Fixed-point text read back within the written precision, and exponent text likewise.
TEST(NumberParse, ReadsBackFormattedNumbers) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> power(-12, 15), decimals(0, 12), precision(1, 16);
  for (int i = 0; i < 3000; ++i) {
    double x = mantissa(rng) * std::pow(10.0, power(rng));
    int d = decimals(rng);
    std::string text = FormatNumber(40, d, x);
    if (text.front() == '*') continue;
    Parsed p = Parse(text);
    EXPECT_EQ(p.ok, 1) << text;
    EXPECT_NEAR(p.x, x, 0.5 * std::pow(10.0, -d) * (1 + 1e-9) + std::fabs(x) * 2e-15) << text;
    int prec = precision(rng);
    FormatExponent(12, prec, text, x);
    p = Parse(text);
    EXPECT_EQ(p.ok, 1) << text;
    EXPECT_NEAR(p.x, x, std::fabs(x) * (0.5 * std::pow(10.0, 1 - prec) + 1e-14)) << text;
  }
}

// Shortest round-trip texts of random doubles over the whole exponent range, in the forms the
// files use, against a correctly rounded reader.
TEST(NumberParse, AgreesWithCorrectlyRoundedReader) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> mantissa(1, 10);
  std::uniform_int_distribution<int> power(-300, 300);
  const char* letters[] = {"e", "E", "d", "D", "e+", ""};
  for (int i = 0; i < 4000; ++i) {
    double x = mantissa(rng) * std::pow(10.0, power(rng)) * (i % 2 ? -1 : 1);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, x, i % 3 ? std::chars_format::scientific : std::chars_format::general);
    std::string text(buf, r.ptr);
    size_t e = text.find('e');
    if (e != std::string::npos) {
      std::string exp = text.substr(e + 1);
      if (exp.front() == '+') exp.erase(0, 1);
      text = text.substr(0, e) + letters[i % 6] + exp;
      if (letters[i % 6][0] == '\0' && exp.front() != '-') text = text.substr(0, e) + "+" + exp;
    }
    double truth = 0;
    std::from_chars(buf, r.ptr, truth);
    Parsed p = Parse(text);
    EXPECT_EQ(p.ok, 1) << text;
    EXPECT_NEAR(p.x, truth, std::fabs(truth) * 1e-14) << text;
  }
}

TEST(NumberParse, LineIntoNumberBuffer) {
  int32_t n = -1;
  ParseNumbers(n, "1,2\t3 *");
  ASSERT_EQ(n, 4);
  EXPECT_EQ((std::vector<double>{NumberBuffer[1], NumberBuffer[2], NumberBuffer[3], NumberBuffer[4]}),
            (std::vector<double>{1, 2, 3, 0}));
  ParseNumbers(n, "  .5 -1e2,,x7 ");
  ASSERT_EQ(n, 3);
  EXPECT_EQ(NumberBuffer[1], 0.5);
  EXPECT_EQ(NumberBuffer[2], -100);
  EXPECT_EQ(NumberBuffer[3], 7);
  ParseNumbers(n, "   ");
  EXPECT_EQ(n, 0);

  // 20,000 numbers on one line: the buffer takes 16384, the rest is dropped.
  std::string many;
  for (int i = 1; i <= 20000; ++i) many += std::to_string(i) + (i % 7 ? " " : ",");
  NumberBuffer[0] = -1;
  ParseNumbers(n, many);
  ASSERT_EQ(n, NumberBufferSize);
  EXPECT_EQ(NumberBuffer[0], -1);
  EXPECT_EQ(NumberBuffer[1], 1);
  EXPECT_EQ(NumberBuffer[NumberBufferSize], NumberBufferSize);

  // One token of 100,000 characters.
  ParseNumbers(n, "2 " + std::string(100000, '9') + " 3");
  ASSERT_EQ(n, 3);
  EXPECT_EQ(NumberBuffer[2], 1e300);
  EXPECT_EQ(NumberBuffer[3], 3);
}

TEST(NumberParse, NumberListsOverLines) {
  TextFile f;
  int32_t n = -1;
  std::vector<double> a(11, -1);
  f.ResetFromText("1 2 * comment\r\n* skipped\r\n\r\n3\r\n/\r\n4\r\n");
  ReadNumbers(f, 1, 10, n, a);
  EXPECT_EQ(n, 3);
  EXPECT_EQ((std::vector<double>{a[1], a[2], a[3], a[4]}), (std::vector<double>{1, 2, 3, -1}));
  ReadNextLine(f);
  EXPECT_EQ(InputLine, "4");

  f.ResetFromText("1 2 3\n4\n");
  ReadNumbers(f, 0, 1, n, a);
  EXPECT_EQ(n, 2);
  EXPECT_EQ((std::vector<double>{a[0], a[1], a[2]}), (std::vector<double>{1, 2, 2}));  // 3 is dropped
  ReadNextLine(f);
  EXPECT_EQ(InputLine, "4");

  // Nothing stored: n stays as the caller set it.
  n = 42;
  f.ResetFromText("* only\n/\n5\n");
  ReadNumbers(f, 1, 10, n, a);
  EXPECT_EQ(n, 42);

  // The range is held to the caller's array.
  std::vector<double> small(3, 0);
  f.ResetFromText("7 8 9 10 11\n");
  ReadNumbers(f, 1, 100, n, small);
  EXPECT_EQ(n, 2);
  EXPECT_EQ((std::vector<double>{small[0], small[1], small[2]}), (std::vector<double>{0, 7, 8}));
  ReadNumbers(f, -1, 2, n, small);
  EXPECT_EQ(n, 2);
}

TEST(NumberParse, NextLineSkipsCommentsAndEndsWithBlank) {
  TextFile f;
  std::string longLine(100000, 'x');
  f.ResetFromText("*a\r\n*b\r\n\r\n" + longLine + "\r\nafter\x1Ahidden\r\n");
  ReadNextLine(f);
  EXPECT_EQ(InputLine, "");
  ReadNextLine(f);
  EXPECT_EQ(InputLine, longLine);
  ReadNextLine(f);
  EXPECT_EQ(InputLine, "after");
  ReadNextLine(f);
  EXPECT_EQ(InputLine, " ");

  f.ResetFromText("* one\n* two\n");
  ReadNextLine(f);
  EXPECT_EQ(InputLine, " ");

  f.ResetFromText(std::string("a\0b\n", 4));
  ReadNextLine(f);
  EXPECT_EQ(InputLine, std::string("a\0b", 3));

  // Reading a file that is not open abandons the operation.
  f.Close();
  EXPECT_THROW(ReadNextLine(f), OperationAbandoned);
  int32_t n = 0;
  std::vector<double> a(3);
  EXPECT_THROW(ReadNumbers(f, 0, 2, n, a), OperationAbandoned);
}
