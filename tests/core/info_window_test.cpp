// Help pages: the language chosen by RusHelp, and the Russian lines in code page 1251 (each
// letter against Python's codecs: help_texts_test.cpp).
#include <gtest/gtest.h>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"

namespace {
const THelpTopic kTopic = {3, {"one", "two", "three", "\x80\xAF", "\xE0\xEF", "\xF0z"}};

TEST(HelpLinesTest, LanguageAndConversion) {
  uint8_t saved = RusHelp;
  struct Case { uint8_t rus; THelpTopic topic; std::vector<std::string> lines; };
  const Case cases[] = {
      {0, kTopic, {"one", "two", "three"}},
      {1, kTopic, {"\xC0\xEF", "\xF0\xFF", "\xF0z"}},  // 240, the letter Yo of code page 866, stays
      {1, {-1, {"\x80 single"}}, {"\x80 single"}},       // one language only: shown as it is
  };
  for (const Case& c : cases) {
    RusHelp = c.rus;
    SetHelpLines(c.topic);
    EXPECT_EQ(std::vector<std::string>(HelpLines + 1, HelpLines + 1 + HelpLineCount), c.lines);
  }
  RusHelp = saved;
}
}  // namespace
