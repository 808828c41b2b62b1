// The helpers of the live golden checks: a missing oracle skips, or fails under
// VKEST_REQUIRE_ORACLES=1 naming the package to install; the token comparison tells numbers
// within their tolerance from real differences.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <optional>
#include "support/golden_files.h"

namespace {
// Sets VKEST_REQUIRE_ORACLES for the scope, then puts back what was there.
class OracleSwitch {
public:
  explicit OracleSwitch(const char* value) {
    if (const char* v = std::getenv("VKEST_REQUIRE_ORACLES")) saved_ = v;
    value ? setenv("VKEST_REQUIRE_ORACLES", value, 1) : unsetenv("VKEST_REQUIRE_ORACLES");
  }
  ~OracleSwitch() { saved_ ? setenv("VKEST_REQUIRE_ORACLES", saved_->c_str(), 1) : unsetenv("VKEST_REQUIRE_ORACLES"); }

private:
  std::optional<std::string> saved_;
};

void RequireMissingModule() { VKEST_REQUIRE_PYTHON("numpy, vkest_no_such_module"); }

// The one result RequireMissingModule reports, caught before it reaches this test.
testing::TestPartResult ResultOfMissingModule() {
  testing::TestPartResultArray results;
  {
    testing::ScopedFakeTestPartResultReporter reporter(
        testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    RequireMissingModule();
  }
  EXPECT_EQ(results.size(), 1);
  return results.GetTestPartResult(0);
}
}  // namespace

TEST(GoldenOracles, MissingOracleNamesTheDebianPackage) {
  EXPECT_EQ(MissingOracle("numpy", "/nonexistent/python3"), "no python3 at '/nonexistent/python3' (Debian package python3)");
  EXPECT_EQ(MissingOracle("", ""), "no python3 at '' (Debian package python3)");
  if (!std::filesystem::exists(VKEST_PYTHON)) return;  // the rest asks python3 itself
  EXPECT_EQ(MissingOracle("sys, vkest_no_such_module.sub"),
            "python3 cannot import vkest_no_such_module.sub (Debian package python3-vkest_no_such_module)");
  EXPECT_EQ(MissingOracle(" sys ,os"), "");
}

// Under the switch a missing oracle is a failure naming the package; without it, a skip.
TEST(GoldenOracles, MissingOracleFailsUnderTheSwitchAndSkipsWithoutIt) {
  const std::string package = "(Debian package python3-vkest_no_such_module)";
  {
    OracleSwitch on("1");
    ASSERT_TRUE(OraclesRequired());
    const testing::TestPartResult r = ResultOfMissingModule();
    EXPECT_TRUE(r.fatally_failed());
    EXPECT_NE(std::string(r.message()).find(package), std::string::npos) << r.message();
  }
  for (const char* value : {static_cast<const char*>(nullptr), "0"}) {
    OracleSwitch off(value);
    ASSERT_FALSE(OraclesRequired());
    const testing::TestPartResult r = ResultOfMissingModule();
    EXPECT_TRUE(r.skipped());
    EXPECT_NE(std::string(r.message()).find(package), std::string::npos) << r.message();
  }
}

TEST(GoldenOracles, TokenComparison) {
  EXPECT_EQ(LastDigitUnit("2.50"), 0.01);
  EXPECT_EQ(LastDigitUnit("-1.5e-07"), 1e-08);
  EXPECT_EQ(LastDigitUnit("3e2"), 100);
  EXPECT_EQ(LastDigitUnit("12"), 0);  // an integer is exact
  const std::vector<Tokens> committed{{"tof", "2.0", "5182.5511695933"}, {"n", "7"}};
  const TokenTolerance unit = [](const Tokens& row, size_t col) { return LastDigitUnit(row[col]); };
  EXPECT_EQ(TokenMismatches({{"tof", "2.0", "5182.5511695934"}, {"n", "7"}}, committed, unit), Tokens{});
  EXPECT_EQ(TokenMismatches({{"tof", "2.0", "5182.5511695936"}, {"n", "8"}}, committed, unit),
            (Tokens{"row 1 (tof) column 3: 5182.5511695936 against 5182.5511695933", "row 2 (n) column 2: 8 against 7"}));
  EXPECT_EQ(TokenMismatches({{"TOF", "2.0", "5182.5511695933"}}, committed, unit),
            (Tokens{"1 rows against 2", "row 1 (tof) column 1: TOF against tof"}));
}
