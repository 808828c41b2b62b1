#include <gtest/gtest.h>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include "core/dialog_state.h"
#include "core/toolbox.h"

namespace {
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
const std::string GoldenPath = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/format_golden.txt";
}  // namespace

TEST(NumberFormat, FixedColumnsAndOverflow) {
  struct Case { int32_t width, decimals; double x; const char* text; };
  const Case cases[] = {
      {8, 2, 123.456, "  123.46"}, {5, 2, 123.456, "*****"}, {6, 2, -12.5, "-12.50"},
      {5, 2, -12.5, "*****"}, {8, 0, 12345678, "********"}, {8, 0, 1234567, " 1234567"},
      {30, 2, 1e40, "***********************"}, {8, 3, 0, "   0.000"}, {8, 3, -0.0, "   0.000"},
      // The fit test is on the value: 9.996 passes at width 4 and is written one column wider.
      {4, 2, 9.996, "10.00"}, {3, 0, 0.4, "  0"}, {0, 2, 1.5, ""},
      {6, 2, std::numeric_limits<double>::quiet_NaN(), "******"},
      {6, 2, std::numeric_limits<double>::infinity(), "******"},
      {6, 2, -std::numeric_limits<double>::infinity(), "******"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatNumber(c.width, c.decimals, c.x), c.text) << c.width << " " << c.decimals << " " << c.x;
    EXPECT_EQ(InputLine, c.text);
  }
  std::string s;
  FormatNumberTo(7, 1, s, -3.25);
  EXPECT_EQ(s, "   -3.2");  // the exact half goes to the even digit
  FormatNumberNoBlanksTo(3, s, 2.0);
  EXPECT_EQ(s, "2.000");
  EXPECT_EQ(InputLine, "2.000");

  EXPECT_EQ(FormatInteger(123456, 4), "****");
  EXPECT_EQ(FormatInteger(-5, 4), "  -5");
  EXPECT_EQ(InputLine, "  -5");
  EXPECT_EQ(FormatInteger(-2147483647 - 1, 0), "");
  FormatValueWithError(3, s, 1.5, 0.02);
  EXPECT_EQ(s, "     1.500 +-      0.020");
}

TEST(NumberFormat, ExponentAndFitForms) {
  std::string s;
  FormatExponent(0, 7, s, 12345678);
  EXPECT_EQ(s, "1.234568+7");
  FormatExponent(14, 7, s, -2.5e-12);
  EXPECT_EQ(s, "  -2.500000-12");
  FormatExponent(2, 3, s, 1.5);
  EXPECT_EQ(s, "1.50+00");
  FormatExponent(3, 2, s, 1e300);
  EXPECT_EQ(s, "1.0+300");
  FormatExponent(12, 7, s, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(s, "************");

  struct Case { int32_t width; double x; const char* text; };
  const Case cases[] = {
      {8, 0.0, "0"}, {8, 42.0, "42"}, {8, 3.14159265, "3.141593"}, {8, 12345.678, "12345.68"},
      {8, -0.001234, "-0.00123"}, {8, 1234567.0, "1.234567+6"}, {8, -2.5e-12, "-0.00000"},
      {4, 99.5, "9.950000+1"}, {4, 9.5, "9.5"}, {3, 123456.0, "1.234560+5"},
  };
  for (const Case& c : cases) {
    FormatNumberFit(c.width, s, c.x);
    EXPECT_EQ(s, c.text) << c.width << " " << c.x;
  }
}

// Python's fixed-point formatter on random values, widths and decimals (tools/gen_format_golden.py).
TEST(NumberFormat, AgreesWithPythonFormatter) {
  std::istringstream in(ReadFile(GoldenPath));
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    size_t bar = line.find('|');
    ASSERT_NE(bar, std::string::npos) << line;
    std::istringstream head(line.substr(0, bar));
    int32_t width = 0, decimals = 0;
    std::string repr;
    head >> width >> decimals >> repr;
    double x = 0;
    ASSERT_EQ(std::from_chars(repr.data(), repr.data() + repr.size(), x).ec, std::errc()) << line;
    std::string expected = line.substr(bar + 1, line.size() - bar - 2);
    EXPECT_EQ(FormatNumber(width, decimals, x), expected) << line;
    ++lines;
  }
  EXPECT_GE(lines, 3000);
}

TEST(NumberFormat, GoldenScriptReproducesCommittedData) {
  std::string python = VKEST_PYTHON;
  if (python.empty() || !std::filesystem::exists(python)) GTEST_SKIP() << "no python3";
  std::string out = (std::filesystem::temp_directory_path() / "vkest_format_golden.txt").string();
  std::string cmd = python + " " + VKEST_SOURCE_DIR + "/tools/gen_format_golden.py " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFile(out), ReadFile(GoldenPath));
  std::filesystem::remove(out);
}

// A German locale writes "1,5" through printf; the program's own texts must not change.
TEST(NumberFormat, DecimalPointWhateverTheLocale) {
  std::string old = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 not installed";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  std::string text = FormatNumber(9, 3, 1234.5);
  std::string exponent, fit, withError;
  FormatExponent(0, 4, exponent, -0.000125);
  FormatNumberFit(8, fit, 0.75);
  FormatValueWithError(2, withError, 2.25, 0.5);
  double x = 0, y = 0;
  uint8_t ok = 0;
  StrToFloatRobust("2.5e1", x, ok);
  DialogOk = 1;
  StrToFloatChecked("3.5", y);
  int32_t dialogOk = DialogOk;
  std::setlocale(LC_ALL, old.c_str());

  EXPECT_STREQ(probe, "1,5");
  EXPECT_EQ(text, " 1234.500");
  EXPECT_EQ(exponent, "-1.250-4");
  EXPECT_EQ(fit, "0.750000");
  EXPECT_EQ(withError, "      2.25 +-       0.50");
  EXPECT_EQ(x, 25.0);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(y, 3.5);
  EXPECT_EQ(dialogOk, 1);
}
