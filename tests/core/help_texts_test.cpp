// The help catalogue: every topic in both languages as its UTF-8 master file gives it, through
// the whole chain the program uses (code page 866 as stored, Cp866ToAnsi, code page 1251 for the
// display), and a topic in one language only; the code pages against Python's codecs; the
// generator reproduces the stored form and refuses what would not fit the help page.
#include <gtest/gtest.h>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include "core/display_text.h"
#include "core/info_window.h"
#include "core/settings_file.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {
const std::string Root = VKEST_SOURCE_DIR;

using Lines = std::vector<std::string>;
struct MasterTopic { Lines en, ru; };

// The topics of the master file in their order (an empty line is a line of one blank).
std::vector<MasterTopic> ReadMaster() {
  std::ifstream f(Root + "/tools/help_texts.txt");
  std::vector<MasterTopic> topics;
  Lines* into = nullptr;
  for (std::string line; std::getline(f, line);) {
    if (line.rfind("@@topic", 0) == 0) topics.emplace_back(), into = &topics.back().en;
    else if (line == "@@russian") into = &topics.back().ru;
    else if (line.rfind("@@", 0) == 0) into = nullptr;
    else if (into) into->push_back(line.empty() ? " " : line);
  }
  return topics;
}

int RunPython(const std::string& args) {
  return std::system((std::string(VKEST_PYTHON) + " " + args + " 2>/dev/null").c_str());
}

TEST(HelpTexts, EveryTopicInBothLanguagesAsTheMasterGivesIt) {
  const std::vector<MasterTopic> master = ReadMaster();
  ASSERT_EQ(static_cast<int32_t>(master.size()), HelpTopicCount);
  const uint8_t saved = RusHelp;
  for (int32_t n = 1; n <= HelpTopicCount; ++n) {
    const THelpTopic& topic = HelpTopic(n);
    const MasterTopic& m = master[static_cast<size_t>(n - 1)];
    ASSERT_TRUE(topic.count > 0 && topic.count <= HelpLineCapacity && topic.lines.size() == 2u * topic.count) << n;
    for (uint8_t russian : {0, 1}) {  // the half RusHelp chooses, as the window shows it
      RusHelp = russian;
      SetHelpLines(topic);
      ASSERT_EQ(HelpLineCount, topic.count);
      for (int32_t i = 1; i <= HelpLineCount; ++i)
        EXPECT_EQ(DisplayText(HelpLines[i]).toStdString(), (russian ? m.ru : m.en)[i - 1u]) << n << ":" << i;
    }
  }
  // Code page 866 letters shown as code page 1251 ones (240, its Yo, stays); a topic in one
  // language only (count -1) is shown as it is.
  const auto shown = [](const THelpTopic& t) {
    SetHelpLines(t);
    return Lines(HelpLines + 1, HelpLines + 1 + HelpLineCount);
  };
  EXPECT_EQ(shown({3, {"one", "two", "three", "\x80\xAF", "\xE0\xEF", "\xF0z"}}), (Lines{"\xC0\xEF", "\xF0\xFF", "\xF0z"}));
  EXPECT_EQ(shown({-1, {"\x80 single"}}), Lines{"\x80 single"});
  RusHelp = saved;
  for (int32_t n : {0, -1, HelpTopicCount + 1}) EXPECT_EQ(&HelpTopic(n), &EmptyHelpTopic);
  EXPECT_EQ(NoCommentsHelp.lines[0], "No comments are needed.");
  EXPECT_EQ(IniCommentLines.size(), 154u);
}

TEST(HelpTexts, CodePagesOfEveryCyrillicLetterAsPythonsCodecs) {
  std::ifstream f(Root + "/tests/core/data/cp866_cyrillic.txt");
  int letters = 0;
  for (unsigned dos, win, code; f >> std::hex >> dos >> win >> code; ++letters) {
    std::string s(1, static_cast<char>(dos));
    Cp866ToAnsi(s);
    EXPECT_EQ(static_cast<unsigned char>(s[0]), win) << std::hex << dos;
    EXPECT_EQ(static_cast<unsigned>(Cp1251ToUnicode(static_cast<unsigned char>(s[0]))), code);
  }
  EXPECT_EQ(letters, 64);
  // Yo of code page 866 and everything outside the letters stay as they are.
  const std::string others = "A\x7F\xB0\xDF\xF0\xF1\xFF";
  std::string converted = others;
  Cp866ToAnsi(converted);
  EXPECT_EQ(converted, others);
}

TEST(HelpTexts, GeneratorsReproduceTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("");  // the generators use only the standard library; text: exact
  const std::filesystem::path tmp = TestTempPath("help_gen");
  std::filesystem::create_directories(tmp);
  const std::string h = (tmp / "h.h").string(), cpp = (tmp / "d.cpp").string(), golden = (tmp / "g.txt").string();
  const std::string gen = Root + "/tools/gen_help_texts.py ", out = " " + h + " " + cpp;
  ASSERT_EQ(RunPython(gen + Root + "/tools/help_texts.txt" + out), 0);
  EXPECT_EQ(ReadWholeFile(h), ReadWholeFile(Root + "/src/core/help_texts.h"));
  EXPECT_EQ(ReadWholeFile(cpp), ReadWholeFile(Root + "/src/core/help_texts_data.cpp"));
  ASSERT_EQ(RunPython(Root + "/tools/gen_cp866_golden.py " + golden), 0);
  EXPECT_EQ(ReadWholeFile(golden), ReadWholeFile(Root + "/tests/core/data/cp866_cyrillic.txt"));

  // What the generator refuses.
  std::string lines101;
  for (int i = 0; i < 101; ++i) lines101 += "x\n";
  const std::pair<const char*, std::string> refused[] = {
      {"101 lines", "@@topic 1 A : a\n" + lines101 + "@@russian\n" + lines101 + "@@end\n"},
      {"unequal halves", "@@topic 1 A : a\none\ntwo\n@@russian\nодин\n@@end\n"},
      {"Yo", "@@topic 1 A : a\none\n@@russian\nеще и ещё\n@@end\n"},
      {"not ASCII", "@@topic 1 A : a\nnaïve\n@@russian\nнаивно\n@@end\n"},
      {"numbering", "@@topic 2 A : a\none\n@@russian\nодин\n@@end\n"}};
  for (const auto& [what, text] : refused) {
    std::ofstream(tmp / "bad.txt") << text;
    EXPECT_NE(RunPython(gen + (tmp / "bad.txt").string() + out), 0) << what;
  }
  std::filesystem::remove_all(tmp);
}
}  // namespace
