#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>
#include "core/abandon.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "support/scripted_fixture.h"

namespace {
std::vector<double> Buffer(int32_t n) { return std::vector<double>(NumberBuffer + 1, NumberBuffer + 1 + n); }
void Fill(const std::vector<double>& v) { std::copy(v.begin(), v.end(), NumberBuffer + 1); }
std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("vkest_tb_" + name)).string();
}
void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The k-subsets of n items as bit masks, built by choosing item by item.
void Subsets(int n, int k, int from, uint32_t mask, std::vector<double>& out) {
  if (k == 0) {
    out.push_back(mask);
    return;
  }
  for (int i = from; i < n; ++i) Subsets(n, k - 1, i + 1, mask | (1u << i), out);
}
}  // namespace

TEST(SmallRoutines, PowersAndSigns) {
  EXPECT_EQ(RaiseToInt(0, 0), 1);
  EXPECT_EQ(RaiseToInt(3, 0), 0);
  EXPECT_EQ(RaiseToInt(-3, 0), 0);
  EXPECT_EQ(RaiseToInt(10, 2), 1024);
  EXPECT_EQ(RaiseToInt(-2, 4), 0.0625);
  EXPECT_EQ(RaiseToInt(3, -2), -8);
  EXPECT_EQ(RaiseToInt(301, 10), 1e300);
  EXPECT_EQ(RaiseToInt(401, -10), 1e300);
  // Below 10^-300 the value is small, not 1e300.
  EXPECT_NEAR(RaiseToInt(-301, 10), 1e-301, 1e-314);
  EXPECT_EQ(RaiseToInt(-400, 10), 0);
  EXPECT_NEAR(RaiseToInt(400, 0.5), std::ldexp(1.0, -400), 1e-135);
  EXPECT_NEAR(RaiseToInt(-300, 10), 1e-300, 1e-313);
  EXPECT_NEAR(PowerAbs(-8, 1.0 / 3), 2, 1e-14);
  EXPECT_EQ(PowerAbs(0, -1), 0);
  EXPECT_EQ(RoundMax(2.5, 1), 2);
  EXPECT_EQ(RoundMin(3.5, 4), 4);
  EXPECT_EQ(MaxD(NAN, 1), 1);  // a only when a > b
  EXPECT_TRUE(IsOdd(-3));
  EXPECT_FALSE(IsEven(-3));
}

TEST(SmallRoutines, TextHelpers) {
  std::string s = "abz\xA0\xAF\xE0\xEF\xF0\x80";
  UpperCaseCyr(s);
  EXPECT_EQ(s, "ABZ\x80\x8F\x90\x9F\xF0\x80");
  CapitalLetters("Cell Parameters: 2A", s);
  EXPECT_EQ(s, "CPA");
  EXPECT_EQ(LastPos("ab", "xabyab"), 5);
  EXPECT_EQ(LastPos("ab", std::string(300, 'x') + "ab"), 0);
  EXPECT_EQ(LastPos("", "abc"), 0);
  s = "  a b ";
  PadLeft(s, 5);
  EXPECT_EQ(s, "   ab");
  EXPECT_EQ(CountNonBlank5("a b c d"), 3);
  BinaryDigits(5, 4, s);
  EXPECT_EQ(s, "0101");
  BinaryDigits(5, 0, s);
  EXPECT_EQ(s, "");

  struct Case { const char* path; const char* name; };
  const Case cases[] = {
      {"C:\\data\\run12.dat", "run12"}, {"/home/u/data.v2/scan", "scan"}, {"/home/u/scan.gsas", "scan"},
      {"rel/dir/name.res", "name"}, {"plain", "plain"}, {"a.b.xy", "a.b"},
  };
  for (const Case& c : cases) {
    BaseFileName(c.path, s);
    EXPECT_EQ(s, c.name) << c.path;
  }
}

TEST(NumberBufferTools, SortAndFilter) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> value(-20, 20);
  std::vector<double> v(300);
  for (double& x : v) x = value(rng) / 4.0;
  for (int mode : {-1, 1}) {
    Fill(v);
    int32_t n = static_cast<int32_t>(v.size());
    SortNumberBuffer(n, mode);
    std::vector<double> expected = v;
    std::sort(expected.begin(), expected.end());
    if (mode == -1) std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(n, 300);
    EXPECT_EQ(Buffer(n), expected);
  }
  // Ascending, then mode 0: the distinct values.
  int32_t n = 300;
  SortNumberBuffer(n, 0);
  std::vector<double> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  EXPECT_EQ(Buffer(n), sorted);

  Fill({1, 1, 2, 2, 3});
  n = 5;
  SortNumberBuffer(n, 0);
  EXPECT_EQ(Buffer(n), (std::vector<double>{1, 2, 3}));
  n = 3;
  SortNumberBuffer(n, 7);
  EXPECT_EQ(Buffer(n), (std::vector<double>{1, 2, 3}));

  const std::vector<double> mixed = {-2, 0, 3, -0.5, 0, 4};
  const std::vector<std::vector<double>> kept = {{0, 3, 0, 4}, {-2, 3, -0.5, 4}, {-2, 0, -0.5, 0}};
  for (int mode = -1; mode <= 1; ++mode) {
    Fill(mixed);
    n = 6;
    FilterNumberBuffer(n, mode);
    EXPECT_EQ(Buffer(n), kept[mode + 1]) << mode;
  }
  n = -4;
  FilterNumberBuffer(n, 0);
  EXPECT_EQ(n, 0);
  // A count beyond the buffer is held to it.
  std::fill(NumberBuffer + 1, NumberBuffer + NumberBufferSize + 1, 1.0);
  n = NumberBufferSize + 100;
  FilterNumberBuffer(n, 0);
  EXPECT_EQ(n, NumberBufferSize);
  n = NumberBufferSize + 100;
  SortNumberBuffer(n, 0);
  EXPECT_EQ(n, 1);
}

class ToolboxCombinations : public ScriptedTest {};

TEST_F(ToolboxCombinations, MasksInIncreasingOrder) {
  int32_t count = -1;
  EnumerateCombinations(4, 2, 0, count);
  EXPECT_EQ(Buffer(count), (std::vector<double>{3, 5, 6, 9, 10, 12}));
  EXPECT_TRUE(LogLines().empty());
  for (int n : {1, 5, 9, 16}) {
    for (int k = 0; k <= n + 1; ++k) {
      std::vector<double> expected;
      if (k <= n && k > 0) Subsets(n, k, 0, 0, expected);
      std::sort(expected.begin(), expected.end());
      EnumerateCombinations(n, k, 0, count);
      EXPECT_EQ(Buffer(count), expected) << n << " " << k;
    }
  }
  EnumerateCombinations(0, 1, 0, count);
  EXPECT_EQ(count, 0);
  EnumerateCombinations(-3, -1, 0, count);
  EXPECT_EQ(count, 0);
}

TEST_F(ToolboxCombinations, LogLinesAndRefusal) {
  int32_t count = 0;
  EnumerateCombinations(3, 2, 1, count);
  EnumerateCombinations(16, 8, 2, count);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "         3            011", "         5            101", "         6            110",
                            "    3 of 2-3 pattern[s] out of 7 possible",
                            "12870 of 8-16 pattern[s] out of 65535 possible"}));
  // 17 items: the message, then the operation ends without a second message.
  EXPECT_FALSE(RunUserCommand([&] { EnumerateCombinations(17, 2, 1, count); }));
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"17-too large number of items. Job stopped"}));
  EXPECT_EQ(LogLines().size(), 5u);
}

class ToolboxMessages : public ScriptedTest {};

TEST_F(ToolboxMessages, QuestionsFilesAndIoCode) {
  std::string path = TempPath("exists.txt");
  std::filesystem::remove(path);
  EXPECT_TRUE(ConfirmOverwrite(path));  // no file: no question
  WriteBytes(path, "abc");
  ui.QueueAnswer(true);
  ui.QueueAnswer(false);
  EXPECT_TRUE(ConfirmOverwrite(path));
  EXPECT_FALSE(ConfirmOverwrite(path));
  EXPECT_EQ(ui.transcript, (std::vector<std::string>{"ASK: " + path + " already exists.Overwrite? -> Yes",
                                                     "ASK: " + path + " already exists.Overwrite? -> No"}));

  EraseIfNearlyEmpty(path);  // 3 bytes
  EXPECT_FALSE(std::filesystem::exists(path));
  WriteBytes(path, "abcd");
  EraseIfNearlyEmpty(path);
  EXPECT_TRUE(std::filesystem::exists(path));
  std::filesystem::remove(path);
  EXPECT_THROW(EraseIfNearlyEmpty(path), OperationAbandoned);

  SetIoResult(2);
  CheckIOResult("Read");
  EXPECT_EQ(ui.Messages().back(), "Read... InOut error =2");
  EXPECT_EQ(IoResult(), 0);
}

TEST_F(ToolboxMessages, WaitAndScale) {
  ClickFlag = 1;
  uint8_t seen = 9;
  ui.QueueEvent([&] { seen = ClickFlag; });
  ui.QueueEvent([] { ClickFlag = 1; });
  EXPECT_TRUE(WaitForFlag(ClickFlag));
  EXPECT_EQ(seen, 0);  // cleared before waiting
  EXPECT_EQ(ClickFlag, 1);

  double saved = ScreenScale;
  ScreenScale = 1.25;
  EXPECT_EQ(Scaled(2), 2);    // 2.5
  EXPECT_EQ(Scaled(6), 8);    // 7.5
  EXPECT_EQ(Scaled(10), 12);  // 12.5
  EXPECT_EQ(Scaled(-2), -2);
  EXPECT_EQ(Scaled(100), 125);
  ScreenScale = saved;
}
