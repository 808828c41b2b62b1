// Numbers in fixed columns: the overflow field, the exponent and fit forms, Python's formatter as
// the golden reference (tools/gen_format_golden.py), and "." whatever the locale.
#include <gtest/gtest.h>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include "core/dialog_state.h"
#include "core/toolbox.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {
const std::string GoldenPath = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/format_golden.txt";
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
}  // namespace

// F: FormatNumber(width, digits, x); I: FormatInteger(x, width); E: FormatExponent(width,
// digits, x); T: FormatNumberFit(width, x).
TEST(NumberFormat, FixedExponentAndFitForms) {
  struct Case { char form; int32_t width, digits; double x; const char* text; };
  const Case cases[] = {
      {'F', 8, 2, 123.456, "  123.46"}, {'F', 5, 2, 123.456, "*****"}, {'F', 6, 2, -12.5, "-12.50"},
      {'F', 5, 2, -12.5, "*****"}, {'F', 8, 0, 12345678, "********"}, {'F', 8, 0, 1234567, " 1234567"},
      {'F', 30, 2, 1e40, "***********************"}, {'F', 8, 3, 0, "   0.000"}, {'F', 8, 3, -0.0, "   0.000"},
      // The fit test is on the value: 9.996 passes at width 4 and is written one column wider.
      {'F', 4, 2, 9.996, "10.00"}, {'F', 3, 0, 0.4, "  0"}, {'F', 0, 2, 1.5, ""},
      {'F', 6, 2, NaN, "******"}, {'F', 6, 2, Inf, "******"}, {'F', 6, 2, -Inf, "******"},
      {'I', 4, 0, 123456, "****"}, {'I', 4, 0, -5, "  -5"}, {'I', 0, 0, -2147483648.0, ""},
      {'E', 0, 7, 12345678, "1.234568+7"}, {'E', 14, 7, -2.5e-12, "  -2.500000-12"}, {'E', 2, 3, 1.5, "1.50+00"},
      {'E', 3, 2, 1e300, "1.0+300"}, {'E', 12, 7, NaN, "************"},
      {'T', 8, 0, 0.0, "0"}, {'T', 8, 0, 42.0, "42"}, {'T', 8, 0, 3.14159265, "3.141593"},
      {'T', 8, 0, 12345.678, "12345.68"}, {'T', 8, 0, -0.001234, "-0.00123"}, {'T', 8, 0, -2.5e-12, "-2.500000-12"},
      {'T', 8, 0, 4e-7, "4.000000-7"},
      {'T', 8, 0, 1234567.0, "1.234567+6"}, {'T', 4, 0, 99.5, "9.950000+1"}, {'T', 4, 0, 9.5, "9.5"},
      {'T', 3, 0, 123456.0, "1.234560+5"},
  };
  for (const Case& c : cases) {
    std::string s;
    InputLine = "?";
    if (c.form == 'F') s = FormatNumber(c.width, c.digits, c.x);
    if (c.form == 'I') s = FormatInteger(static_cast<int32_t>(c.x), c.width);
    if (c.form == 'E') FormatExponent(c.width, c.digits, s, c.x);
    if (c.form == 'T') FormatNumberFit(c.width, s, c.x);
    EXPECT_EQ(s, c.text) << c.form << " " << c.width << " " << c.digits << " " << c.x;
    // The fixed forms leave their text in InputLine as well.
    if (c.form == 'F' || c.form == 'I') { EXPECT_EQ(InputLine, c.text); }
  }
  std::string s;
  FormatValueWithError(3, s, 1.5, 0.02);
  EXPECT_EQ(s, "     1.500 +-      0.020");
}

// One golden line "width decimals repr(x)|text|".
static bool ParseGoldenLine(const std::string& line, int32_t& width, int32_t& decimals, double& x, std::string& text) {
  char repr[64] = "";
  if (std::sscanf(line.c_str(), "%d %d %63[^|]", &width, &decimals, repr) != 3) return false;
  std::from_chars(repr, repr + std::strlen(repr), x);
  const size_t bar = line.find('|');
  text = line.substr(bar + 1, line.size() - bar - 2);
  return true;
}

// Lines "width decimals repr(x)|text|" written by Python's fixed-point formatter. The widening
// form gives Python's text wherever the field holds the number, the whole number where
// FormatNumber prints asterisks, and the names of the non-finite values.
TEST(NumberFormat, AgreesWithPythonFormatterAndWidensInsteadOfAsterisks) {
  std::ifstream in(GoldenPath);
  int lines = 0, widened = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    int32_t width = 0, decimals = 0;
    double x = NaN;
    std::string text;
    ASSERT_TRUE(ParseGoldenLine(line, width, decimals, x, text)) << line;
    EXPECT_EQ(FormatNumber(width, decimals, x), text) << line;
    if (text.find('*') != std::string::npos) continue;
    EXPECT_EQ(FormatFixed(width, decimals, x), text) << line;
    ++widened;
  }
  EXPECT_GE(lines, 3000);
  EXPECT_GE(widened, 1000);
  EXPECT_EQ(FormatFixed(4, 2, -123456.789), "-123456.79");
  EXPECT_EQ(FormatFixed(6, 2, 0.125), "  0.12");  // exact binary tie: to even
  EXPECT_EQ(FormatFixed(6, 2, -0.0), "  0.00");
  EXPECT_EQ(FormatFixed(5, 1, NaN) + FormatFixed(5, 1, -Inf), "  NaN -Inf");
}

TEST(NumberFormat, GoldenScriptReproducesCommittedData) {
  VKEST_REQUIRE_PYTHON("");
  const std::string out = TestTempPath("format_golden.txt").string();
  ASSERT_EQ(RunTool("gen_format_golden.py", out), 0);
  // Exact: Python's decimal formatting of binary values is exact, and the generator leaves out
  // the values whose fit an ulp of its logarithm could decide.
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(GoldenPath));
  std::filesystem::remove(out);
}

// A German locale writes "1,5" through printf; the program's own texts must not change.
TEST(NumberFormat, DecimalPointWhateverTheLocale) {
  const std::string old = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 not installed";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  std::string exponent, fit, withError;
  const std::string fixed = FormatNumber(9, 3, 1234.5);
  FormatExponent(0, 4, exponent, -0.000125);
  FormatNumberFit(8, fit, 0.75);
  FormatValueWithError(2, withError, 2.25, 0.5);
  double x = 0, y = 0;
  uint8_t ok = 0;
  StrToFloatRobust("2.5e1", x, ok);
  DialogOk = 1;
  StrToFloatChecked("3.5", y);
  const int32_t dialogOk = DialogOk;
  std::setlocale(LC_ALL, old.c_str());

  EXPECT_STREQ(probe, "1,5");
  EXPECT_EQ(fixed + "|" + exponent + "|" + fit + "|" + withError,
            " 1234.500|-1.250-4|0.750000|      2.25 +-       0.50");
  EXPECT_TRUE(x == 25 && ok == 1 && y == 3.5 && dialogOk == 1) << x << " " << y;
}
