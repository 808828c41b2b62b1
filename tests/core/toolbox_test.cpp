// The small routines (upper case in code page 866 and UTF-8 too), the NumberBuffer tools,
// combinations, messages and the screen scale.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include "core/abandon.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
std::vector<double> Buffer(int32_t n) { return std::vector<double>(NumberBuffer + 1, NumberBuffer + 1 + n); }
void Fill(const std::vector<double>& v) { std::copy(v.begin(), v.end(), NumberBuffer + 1); }

// The k-subsets of n items as bit masks, built by choosing item by item.
void Subsets(int n, int k, int from, uint32_t mask, std::vector<double>& out) {
  if (k == 0) out.push_back(mask);
  for (int i = from; k > 0 && i < n; ++i) Subsets(n, k - 1, i + 1, mask | (1u << i), out);
}
}  // namespace

TEST(SmallRoutines, PowersAndParity) {
  // Beyond |n| = 300 a power is what the double holds (10^-301 is small, not 1e300); only an
  // overflow is held to 1e300.
  struct Case { int32_t n; double x, want; };
  const Case cases[] = {{0, 0, 1},          {3, 0, 0},          {-3, 0, 0},      {10, 2, 1024},
                        {-2, 4, 0.0625},    {3, -2, -8},        {301, 10, 1e300}, {401, -10, 1e300},
                        {-301, 10, 1e-301}, {-300, 10, 1e-300}, {-400, 10, 0},
                        {400, 0.5, std::ldexp(1.0, -400)}};
  for (const Case& c : cases)
    EXPECT_NEAR(RaiseToInt(c.n, c.x), c.want, std::fabs(c.want) * 1e-13) << c.n << " " << c.x;
  EXPECT_NEAR(PowerAbs(-8, 1.0 / 3), 2, 1e-14);
  EXPECT_EQ(PowerAbs(0, -1), 0);
  EXPECT_TRUE(IsOdd(-3) && !IsEven(-3));
}

TEST(SmallRoutines, CaseSearchAndFileNames) {
  std::string s = "abz\xA0\xAF\xE0\xEF\xF0\x80";
  UpperCaseCyr(s);  // code page 866
  EXPECT_EQ(s, "ABZ\x80\x8F\x90\x9F\xF0\x80");
  // UTF-8: Latin and Cyrillic letters against the alphabets as Python's str.upper gives them;
  // Greek and Latin-1 letters and malformed sequences (a lone lead byte at the end or before
  // ASCII, a continuation byte without its lead) stay as they are.
  const std::pair<std::string, std::string> utf8[] = {
      {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"абвгдежзийклмнопрстуфхцчшщъыьэюя", "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"},
      {"ѐёђѓєѕіїјљњћќѝўџ", "ЀЁЂЃЄЅІЇЈЉЊЋЌЍЎЏ"},
      {"Fe3+ мn= ёж", "FE3+ МN= ЁЖ"}, {"ЖЕЛЕЗО MN+++ 0.5", "ЖЕЛЕЗО MN+++ 0.5"}, {"Ωω é ї", "Ωω é Ї"},
      {"a\xD0", "A\xD0"}, {"\xD1z\xB0", "\xD1Z\xB0"}, {"", ""}};
  for (const auto& [in, want] : utf8) {
    s = in;
    UpperCaseUtf8(s);
    EXPECT_EQ(s, want) << in;
  }
  EXPECT_EQ(LastPos("ab", "xabyab"), 5);
  EXPECT_EQ(LastPos("ab", std::string(300, 'x') + "ab"), 0);  // both taken to 255 characters
  EXPECT_EQ(LastPos("", "abc"), 0);
  // Folders are split off on either separator, then the whole extension goes.
  const std::pair<const char*, const char*> names[] = {
      {"C:\\data\\run12.dat", "run12"}, {"/home/u/data.v2/scan", "scan"}, {"/home/u/scan.gsas", "scan"},
      {"rel/dir/name.res", "name"},     {"plain", "plain"},               {"a.b.xy", "a.b"}};
  for (auto [path, name] : names) {
    BaseFileName(path, s);
    EXPECT_EQ(s, name) << path;
  }
}

TEST(NumberBufferTools, SortAgreesWithTheLibraryAndCountsAreHeld) {
  std::vector<double> v, up, down, distinct;
  for (int i = 0; i < 300; ++i) v.push_back((i * 37 % 41 - 20) / 4.0);  // 41 values, each repeated
  up = v;
  std::sort(up.begin(), up.end());
  down.assign(up.rbegin(), up.rend());
  std::unique_copy(up.begin(), up.end(), std::back_inserter(distinct));
  // Mode 0 drops each value equal to its successor, which leaves a sorted buffer distinct.
  int32_t n = 300;
  const std::pair<int, const std::vector<double>*> sorts[] = {{-1, &down}, {1, &up}, {7, &up}, {0, &distinct}};
  for (auto [mode, want] : sorts) {
    if (mode == -1 || mode == 1) Fill(v);
    SortNumberBuffer(n, mode);
    EXPECT_EQ(Buffer(n), *want) << mode;
  }

  // The filter is CompactBySign (numeric_local_test) on the buffer: a count below 1 gives 0, one
  // beyond the buffer is held to it.
  std::fill(NumberBuffer + 1, NumberBuffer + NumberBufferSize + 1, 1.0);
  int32_t below = -4, beyond = NumberBufferSize + 100, beyondSorted = beyond;
  FilterNumberBuffer(below, 0);
  FilterNumberBuffer(beyond, 0);
  SortNumberBuffer(beyondSorted, 0);
  EXPECT_EQ(std::tuple(below, beyond, beyondSorted), std::tuple(0, NumberBufferSize, 1));
}

class Toolbox : public ScriptedTest {};

TEST_F(Toolbox, CombinationsInIncreasingOrderLoggedAndRefusedBeyond16) {
  int32_t count = -1;
  for (int n : {-3, 0, 1, 4, 9, 16}) {
    for (int k = -1; k <= std::max(n + 1, 0); ++k) {
      std::vector<double> want;
      if (k > 0) Subsets(n, k, 0, 0, want);
      std::sort(want.begin(), want.end());
      EnumerateCombinations(n, k, 0, count);
      EXPECT_EQ(Buffer(count), want) << n << " " << k;
    }
  }
  EXPECT_TRUE(LogLines().empty());

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

TEST_F(Toolbox, OverwriteQuestionAndNearlyEmptyFiles) {
  const std::string path = TestTempPath("tb_exists.txt").string();
  std::filesystem::remove(path);
  EXPECT_TRUE(ConfirmOverwrite(path));  // no file: no question
  std::ofstream(path) << "abc";
  ui.QueueAnswer(true);
  ui.QueueAnswer(false);
  EXPECT_TRUE(ConfirmOverwrite(path));
  EXPECT_FALSE(ConfirmOverwrite(path));
  EXPECT_EQ(ui.transcript, (std::vector<std::string>{"ASK: " + path + " already exists.Overwrite? -> Yes",
                                                     "ASK: " + path + " already exists.Overwrite? -> No"}));

  EraseIfNearlyEmpty(path);  // 3 bytes
  EXPECT_FALSE(std::filesystem::exists(path));
  std::ofstream(path) << "abcd";
  EraseIfNearlyEmpty(path);
  EXPECT_TRUE(std::filesystem::exists(path));
  std::filesystem::remove(path);
  EXPECT_THROW(EraseIfNearlyEmpty(path), OperationAbandoned);
  // The I/O report shows the code of the last failure and clears it.
  SetIoResult(2);
  CheckIOResult("Cannot read x.dat");
  EXPECT_EQ(IoResult(), 0);
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Cannot read x.dat... InOut error =2"}));
}

TEST_F(Toolbox, WaitAndScale) {
  ClickFlag = 1;
  uint8_t seen = 9;
  ui.QueueEvent([&] { seen = ClickFlag; });
  ui.QueueEvent([] { ClickFlag = 1; });
  EXPECT_TRUE(WaitForFlag(ClickFlag));
  EXPECT_EQ(seen, 0);  // cleared before waiting
  EXPECT_EQ(ClickFlag, 1);

  const double saved = ScreenScale;
  ScreenScale = 1.25;
  const std::pair<int, int> scaled[] = {{2, 2}, {6, 8}, {10, 12}, {-2, -2}, {100, 125}};  // halves to even
  for (auto [n, want] : scaled) EXPECT_EQ(Scaled(n), want) << n;
  ScreenScale = saved;
}
