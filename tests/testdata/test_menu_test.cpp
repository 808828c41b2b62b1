// The test menu's switches and its file tools: the conversion, the result-file viewer, the editor.
#include <gtest/gtest.h>
#include <fstream>
#include <functional>
#include "core/model_tables.h"
#include "crystal/model_options.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"
#include "testdata/test_menu.h"

namespace {

class TestMenuTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    LogFile.Close();
    LogFile.Rewrite((dir_ / "m.res").string());
  }
  void TearDown() override {
    LogFile.Close();
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
    ScriptedTest::TearDown();
  }
  std::filesystem::path home_ = std::filesystem::current_path(), dir_ = TestTempPath("testmenu");
  KeepValues<uint8_t> flags_{OptionFlags, OptionFlagCount};
  KeepValues<int32_t> lines_{&DSpacingCount, 1};
  FreshSpectra spectra_;
};

TEST_F(TestMenuTest, SwitchesTouchOnlyTheirBytesAndSixAndSevenAlternate) {
  std::fill(std::begin(OptionFlags), std::end(OptionFlags), uint8_t{0});
  OptionFlags[3] = OptionFlags[11] = OptionFlags[7] = 1, DSpacingCount = 4;
  ui.ExpectDialog("Test").Check(5).Radio(2).Ok();                   // "  Peak Search test", a blank entry
  ui.ExpectDialog("Test").Check(1).Check(5, false).Radio(11).Ok();  // " Calculate occus"
  TestMenu(), TestMenu();
  EXPECT_TRUE(ui.dialogs[0].CheckListBox1.Checked(6) && ui.dialogs[0].RadioGroup1.itemIndex == 6);
  EXPECT_EQ(std::vector<uint8_t>(OptionFlags, OptionFlags + 12), (std::vector<uint8_t>{1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(DSpacingCount, 4);
  for (int32_t c = 1; c <= 1000; ++c) SpectrumList[1]->Y[c] = 1000 + 200 * (c % 2);  // every other point a valley
  ui.ExpectDialog("Test").Radio(6).Ok();
  ui.ExpectDialog("Test").Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex, 6); }).Ok();
  ui.ExpectDialog("").Cancel();
  ui.ExpectDialog("Test").Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex, 5); }).Cancel();
  TestMenu();
}

TEST_F(TestMenuTest, ConversionAndEditorWriteTheirFiles) {
  std::ofstream("in.sav") << "* header\n1500 200\n\n2000 300 17\n123456789 5 5 9\n";
  ui.ChooseFile((dir_ / "in.sav").string());
  ui.ExpectDialog("").Edit(1, "out.sav").Ok();
  ui.ExpectMessage("File out.sav built");
  MakeTestSaveFile();
  // e of "x y" is 0; the empty line adds no point; a wide number widens its field.
  EXPECT_EQ(ReadWholeFile("out.sav"), "   1.500     200       0\r\n   2.000     300      17\r\n123456.789       5       5\r\n");
  for (bool yes : {false, true}) {
    ui.ExpectDialog("").Edit(1, "t.txt").Ok();
    ui.ExpectDialog("Edit the file ").Memo("one\ntwo").Ok();
    ui.ExpectQuestion("Save the file?", yes);
    MakeTextFile();
    EXPECT_EQ(std::filesystem::exists("t.txt"), yes);
  }
  EXPECT_EQ(ReadWholeFile("t.txt"), "one\r\ntwo\r\n");
}

TEST_F(TestMenuTest, ViewerRewritesOnlyOnOkAndKeepsTheFilesBytes) {
  const std::string path = LogFile.Name();
  LogFile.WriteLine("VKEST START");
  LogFile.WriteLine("\xCF\xF0\xE8\xE2\xE5\xF2");  // code page 1251, shown as Unicode
  LogFile.WriteLine("last line before the view");
  ui.ExpectDialog("").Inspect([](TForm2& f) {
    EXPECT_EQ(f.Memo1.lines, (std::vector<std::string>{"VKEST START", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
                                                       "last line before the view"}));
  }).Ok();
  ViewTextFile();
  const std::string before = "VKEST START\r\n\xCF\xF0\xE8\xE2\xE5\xF2\r\nlast line before the view\r\n";
  EXPECT_EQ(ReadWholeFile(path), before);
  ui.ExpectDialog("").Memo("").Cancel();
  ViewTextFile();
  LogFile.WriteLine("after");
  LogFile.Flush();
  EXPECT_EQ(ReadWholeFile(path), before + "after\r\n");
  ui.ExpectDialog("").Memo("edited").Ok();
  ViewTextFile();
  LogFile.WriteLine("next");
  LogFile.Flush();
  EXPECT_EQ(ReadWholeFile(path), "edited\r\nnext\r\n");
}

// Lines that display alike (code page 1251 "\xC0" and UTF-8 "\xD0\x90" both show as A with
// a Cyrillic A), a Ctrl-Z, control characters, LF and CR LF endings and an unended last line:
// OK on an unedited memo leaves the file byte for byte (the first line's bytes were written for
// both and everything after the Ctrl-Z was lost); an edit, an insertion or a deletion changes
// only those lines.
TEST_F(TestMenuTest, ViewerChangesOnlyTheEditedLines) {
  const std::string path = LogFile.Name();
  const std::vector<std::string> lines = {"\xC0\r\n", "\xD0\x90\n", "cut\x1Ahere\r\n", std::string("nul\0cr\rend\r\n", 12),
                                          "\xC0\r\n", "tail"};
  std::string file;
  for (const auto& l : lines) file += l;
  const auto write = [&] {
    LogFile.Close();
    std::ofstream(path, std::ios::binary) << file;
    LogFile.Append(path);
  };
  const auto view = [&](const std::function<void(std::vector<std::string>&)>& edit) {
    write();
    ui.ExpectDialog("").Inspect([&](TForm2& f) { edit(f.Memo1.lines); }).Ok();
    ViewTextFile();
    LogFile.Flush();
    return ReadWholeFile(path);
  };
  std::vector<std::string> shown;
  EXPECT_EQ(view([&](std::vector<std::string>& m) { shown = m; }), file);
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_EQ(shown[2], "cut\xE2\x90\x9Ahere");
  EXPECT_EQ(shown[3], std::string("nul\xE2\x90\x80" "cr\xE2\x90\x8D" "end"));
  // One line edited: the others keep their bytes and line ends.
  EXPECT_EQ(view([](std::vector<std::string>& m) { m[1] = "new"; }),
            lines[0] + "new\r\n" + lines[2] + lines[3] + lines[4] + lines[5]);
  // A line inserted before the last (which then takes a line end after it), one deleted.
  EXPECT_EQ(view([](std::vector<std::string>& m) { m.push_back("added"); }), file + "\r\nadded\r\n");
  EXPECT_EQ(view([](std::vector<std::string>& m) { m.erase(m.begin() + 2); }),
            lines[0] + lines[1] + lines[3] + lines[4] + lines[5]);
  EXPECT_EQ(view([](std::vector<std::string>& m) { m.erase(m.begin() + 3); }),
            lines[0] + lines[1] + lines[2] + lines[4] + lines[5]);
  // What is written afterwards is appended.
  LogFile.WriteLine("next");
  LogFile.Flush();
  EXPECT_EQ(ReadWholeFile(path), lines[0] + lines[1] + lines[2] + lines[4] + lines[5] + "next\r\n");
}

}  // namespace
