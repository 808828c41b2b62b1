// The toolkit's own questions: file names typed or chosen, the number of phases, the columns of
// ASCII spectrum lines, editing a text file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
using Lines = std::vector<std::string>;

class DialogQuestionsTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    for (const auto& d : {dir, plain}) {
      fs::remove_all(d);
      fs::create_directories(d);
    }
    DialogEditLabel1.clear();
  }
  void TearDown() override {
    fs::remove_all(dir);
    fs::remove_all(plain);
    DialogTest::TearDown();
  }
  static std::string Make(const fs::path& folder, const std::string& name, const std::string& text = "x\r\n") {
    std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // A question answered Yes (1) or No (0), or none asked (-1).
  void Answer(int32_t yes, const std::string& text) {
    if (yes >= 0) ui.ExpectQuestion(text, yes == 1);
  }
  const fs::path dir = TestTempPath("dialog folder");  // a blank
  const fs::path plain = TestTempPath("dialog");
};

TEST_F(DialogQuestionsTest, TypedFileName) {
  const std::string exists = Make(plain, "exists.dat"), overwrite = exists + " already exists.Overwrite?";
  struct Case { int32_t mode; std::string typed; bool ok; int32_t yes; std::string name; int32_t dialogOk; const char* msg; };
  const Case cases[] = {
      {1, "  my file.dat", true, -1, "myfile.dat", 1, nullptr},  // blanks removed
      {1, ".dat", true, -1, ".dat", 0, "Wrong filename"},
      {1, exists, true, 0, exists, 0, nullptr},
      {1, exists, true, 1, exists, 1, nullptr},
      {2, "  a b ", true, -1, "  a b ", 1, nullptr},  // taken as typed
      {1, "other", false, -1, "start.dat", 0, nullptr},
  };
  for (const Case& c : cases) {
    auto& s = ui.ExpectDialog("").Edit(1, c.typed);
    c.ok ? s.Ok() : s.Cancel();
    if (c.msg) ui.ExpectMessage(c.msg);
    Answer(c.yes, overwrite);
    std::string name = "start.dat";
    AskFileName(name, c.mode);
    EXPECT_EQ(name, c.name) << c.typed;
    EXPECT_EQ(DialogOk, c.dialogOk) << c.typed;
  }
  EXPECT_EQ(ui.dialogs[0].Edit1.text, "start.dat");  // the name proposed
}

// AskFileName in mode 0 and RunOpenDialog: the name before, the file chosen, the name proposed
// in the dialog and the name after.
TEST_F(DialogQuestionsTest, OpenDialogs) {
  const std::string blanks = Make(dir, "spectrum one.dat"), compact = Make(plain, "ab.dat");
  const std::string start = (dir / "start.dat").string(), missing = (dir / "missing.dat").string();
  struct Case { bool ask; std::string name; std::optional<std::string> chosen; std::string proposed, result; int32_t ok; };
  const Case cases[] = {
      {true, start, blanks, "start.dat", blanks, 1},                         // a path with blanks as it is
      {true, start, (plain / "a b.dat").string(), "start.dat", compact, 1},  // exists only without blanks
      {true, start, missing, "start.dat", start, 0},                         // "No file "
      {true, start, std::nullopt, "start.dat", "start.dat", 0},              // cancelled: the folder is dropped
      {false, blanks, blanks, blanks, blanks, 1},                            // an existing name is proposed
      {false, "nothing.spc", "dummy", "", "dummy", 1},                       // "DUMMY" stands for no file
      {false, blanks, missing, blanks, missing, 0},                          // "No file "
      {false, blanks, std::nullopt, blanks, blanks, 0},                      // Cancel cancels
  };
  DialogCaption = "Enter the gph-file name";
  for (const Case& c : cases) {
    c.chosen ? ui.ChooseFile(*c.chosen) : ui.CancelFileDialog();
    if (c.chosen == missing) ui.ExpectMessage("No file " + missing);
    std::string name = c.name;
    if (c.ask) AskFileName(name, 0);
    else RunOpenDialog(Form2.OpenDialog1, name, "*.sp*", "All|*.*", dir.string());
    EXPECT_EQ(Form2.OpenDialog1.fileName, c.proposed);
    EXPECT_EQ(name, c.result);
    EXPECT_EQ(DialogOk, c.ok) << c.result;
    if (c.ask) {
      EXPECT_EQ(Form2.OpenDialog1.filter, "All|*.*;|D(*.dat)|*.dat;|SPC(*.spc)|*.spc;|Ini(*.ini)|*.ini");
    }
  }
  EXPECT_EQ(ui.transcript[0], "OPEN: \"Enter the gph-file name\" file \"start.dat\" in \"" + dir.string() + "\" -> \"" +
                                  blanks + "\"");
}

TEST_F(DialogQuestionsTest, SaveDialog) {
  const std::string path = Make(dir, "s.spc"), fresh = (dir / "new.dat").string();
  struct Save { std::optional<std::string> chosen; int32_t yes; std::string name; uint8_t ok; int32_t dialogOk; };
  const Save saves[] = {
      {std::nullopt, -1, "proposed.gph", 0, 0},
      {path, 0, path, 0, 1},  // not overwritten
      {fresh, -1, fresh, 1, 1},
  };
  DialogCaption = "Save the profile";
  for (const Save& s : saves) {
    s.chosen ? ui.ChooseFile(*s.chosen) : ui.CancelFileDialog();
    Answer(s.yes, path + " already exists.Overwrite?");
    std::string name = "proposed.gph";
    uint8_t ok = 7;
    RunSaveDialog(Form2.SaveDialog1, name, ok);
    EXPECT_EQ(name, s.name);
    EXPECT_EQ(ok, s.ok) << s.name;
    EXPECT_EQ(DialogOk, s.dialogOk) << s.name;
  }
  EXPECT_THAT(ui.transcript[0], ::testing::StartsWith("SAVE: \"Save the profile\" file \"proposed.gph\""));
}

TEST_F(DialogQuestionsTest, NumberOfPhases) {
  struct Case { int32_t item; bool ok; int32_t phases, flag1; uint8_t pending, binsFilled; };
  const Case cases[] = {
      {3, true, 3, 1, 1, 0},   // the model flag of phase 1 is kept with more phases
      {1, true, 1, 0, 1, 0},
      {5, false, 2, 1, 0, 1},  // Cancel changes nothing
  };
  for (const Case& c : cases) {
    PhaseCount = 2;
    PhaseModelFlags[1] = 1;
    BinDefaultsSet = 1;
    for (auto& p : ParametersPending) p = 0;
    auto& s = ui.ExpectDialog("   Set the number of crystal phases").Radio(c.item);
    c.ok ? s.Ok() : s.Cancel();
    AskNumberOfPhases();
    EXPECT_EQ(PhaseCount, c.phases) << c.item;
    EXPECT_EQ(PhaseModelFlags[1], c.flag1) << c.item;
    EXPECT_EQ(BinDefaultsSet, c.binsFilled) << c.item;
    // Rietveld, powder indexing and powder match must set their parameters again.
    for (int k = 0; k < 4; ++k) EXPECT_EQ(ParametersPending[k], k < 3 ? c.pending : 0) << c.item << " " << k;
  }
  EXPECT_EQ(ui.dialogs[0].RadioGroup1.itemIndex, 1);  // the current count preselected
}

TEST_F(DialogQuestionsTest, AsciiColumns) {
  struct Case { const char* typed; bool ok; int32_t x, y, e, dialogOk; };
  const Case cases[] = {
      {"3 1", true, 3, 1, 3, 1},                // a missing indicator keeps its value
      {"2.4 3.5 16384", true, 2, 4, 16384, 1},  // halves go to the even neighbour
      {"", true, 1, 2, 3, 1},
      {"0 2 3", true, 1, 2, 3, 0},              // a position in a line of 1..16384 numbers
      {"2 -1 3", true, 1, 2, 3, 0},
      {"1 2 16385", true, 1, 2, 3, 0},
      {"1 2 1e30", true, 1, 2, 3, 0},
      {"4 5 6", false, 1, 2, 3, 0},             // Cancel keeps the indicators (and leaves 1 2 3 behind)
  };
  for (const Case& c : cases) {
    AsciiColumnX = 1;
    AsciiColumnY = 2;
    AsciiColumnE = 3;
    auto& s = ui.ExpectDialog("Enter indicators to ASCII spectrum line items").Memo(c.typed);
    c.ok ? s.Ok() : s.Cancel();
    AskAsciiColumns();
    EXPECT_EQ(std::vector<int32_t>({AsciiColumnX, AsciiColumnY, AsciiColumnE, DialogOk}),
              std::vector<int32_t>({c.x, c.y, c.e, c.dialogOk})) << '"' << c.typed << '"';
  }
  EXPECT_EQ(ui.dialogs[0].Memo1.lines, Lines{"1 2 3"});
  EXPECT_EQ(HelpLineCount, AsciiColumnsHelp.count);  // its help page is loaded
}

TEST_F(DialogQuestionsTest, EditTextFile) {
  const std::string path = Make(dir, "input.ini", "line 1\r\nline 2\r\n");
  struct Case { const char* typed; bool ok; int32_t save; const char* file; };
  const Case cases[] = {
      {"new 1\nnew 2\nnew 3", true, 0, "line 1\r\nline 2\r\n"},
      {"new 1\nnew 2", true, 1, "new 1\r\nnew 2\r\n"},
      {"gone", false, -1, "new 1\r\nnew 2\r\n"},
  };
  for (const Case& c : cases) {
    auto& s = ui.ExpectDialog("Edit the file " + path + " if needed").Memo(c.typed);
    c.ok ? s.Ok() : s.Cancel();
    Answer(c.save, "Save the file?");
    EditTextFile(path);
    EXPECT_EQ(ReadWholeFile(path), c.file) << c.typed;
  }
  EXPECT_EQ(ui.dialogs[0].Memo1.lines, (Lines{"line 1", "line 2"}));
  EXPECT_THROW(EditTextFile((dir / "absent.ini").string()), OperationAbandoned);
}

}  // namespace
