// Upper case of UTF-8 text for Latin and Cyrillic letters, checked against the alphabets as
// Python's str.upper gives them.
#include <gtest/gtest.h>
#include "core/small_routines.h"

TEST(UpperCaseUtf8, LatinAndCyrillicLettersOtherTextUnchanged) {
  struct Case { std::string in, want; };
  const Case cases[] = {
      {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"абвгдежзийклмнопрстуфхцчшщъыьэюя", "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"},
      {"ѐёђѓєѕіїјљњћќѝўџ", "ЀЁЂЃЄЅІЇЈЉЊЋЌЍЎЏ"},
      {"Fe3+ мn= ёж", "FE3+ МN= ЁЖ"},
      {"ЖЕЛЕЗО MN+++ 0.5", "ЖЕЛЕЗО MN+++ 0.5"},
      {"Ωω é ї", "Ωω é Ї"},  // Greek and Latin-1 letters are left alone
      // Malformed sequences stay as they are: a lone lead byte, at the end or before ASCII, and
      // a continuation byte without its lead.
      {"a\xD0", "A\xD0"},
      {"\xD1z\xB0", "\xD1Z\xB0"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    UpperCaseUtf8(s);
    EXPECT_EQ(s, c.want) << c.in;
  }
}
