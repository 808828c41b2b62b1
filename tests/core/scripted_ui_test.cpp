// The scripted backend keeps tests honest: what the script did not foresee is reported, and
// nothing ever waits.
#include <gtest/gtest.h>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/scripted_ui.h"
#include "core/settings_file.h"

namespace {
class ScriptedUiTest : public ::testing::Test {
protected:
  void SetUp() override {
    ScreenScale = 1.0;
    DialogCaption = "Script";
  }
  ScriptedUi ui;
  ScopedUi guard{ui};
};

TEST_F(ScriptedUiTest, WhatTheScriptDidNotForeseeIsReported) {
  struct Case { const char* what; std::function<void(ScriptedUi&)> script; size_t reports; int32_t ok; };
  const Case cases[] = {
      {"a dialog without a step", [](ScriptedUi&) {}, 1, 0},
      {"another dialog than expected", [](ScriptedUi& u) { u.ExpectDialog("Other").Ok(); }, 1, 0},
      {"hidden controls", [](ScriptedUi& u) { u.ExpectDialog("Script").Edit(2, "5").Radio(1).Press(6).Ok(); }, 3, 1},
      {"the window left open", [](ScriptedUi& u) { u.ExpectDialog("Script").Edit(1, "5"); }, 1, 0},
  };
  for (const Case& c : cases) {
    ui.Clear();
    c.script(ui);
    BeginDialog(0);
    DialogEditLabel1 = "a";
    ShowEditFields(5, 50, 5, 1, 50);
    ShowDialogModal();
    EXPECT_EQ(ui.unexpected.size(), c.reports) << c.what;
    EXPECT_EQ(DialogOk, c.ok) << c.what;
  }
}

TEST_F(ScriptedUiTest, MessagesQuestionsAndFilesInOrder) {
  ui.ExpectMessage("first");
  ui.ExpectQuestion("Repeat?", true);
  ShowMsg("first");
  EXPECT_TRUE(Ui().AskYesNo("Repeat?", MsgKind::Confirmation));
  EXPECT_TRUE(ui.unexpected.empty());

  ui.ExpectMessage("second");
  ShowMsg("another");
  EXPECT_FALSE(Ui().AskYesNo("Still exit?", MsgKind::Warning));  // nothing scripted: No
  EXPECT_FALSE(Ui().OpenFileDialog(TFileDialog{}).has_value());
  EXPECT_EQ(ui.unexpected.size(), 3u);
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"first", "another"}));

  ui.ExpectDialog("never");
  ui.QueueAnswer(true);
  ui.ChooseFile("x.dat");
  ui.StopAtYield(2);
  EXPECT_EQ(ui.Remaining().size(), 4u);  // the fixture fails a test for each
  EXPECT_EQ(ui.PendingAnswers(), 1u);
  ui.Clear();
  EXPECT_TRUE(ui.Remaining().empty());
}

TEST_F(ScriptedUiTest, TranscriptShowsTheDialogAsTheUserSawIt) {
  DialogEditLabel1 = " x = ";
  DialogEditText1 = "2";
  ui.ExpectDialog("Script").Edit(1, "3").Ok();
  BeginDialog(0);
  ShowEditFields(5, 50, 5, 1, 50);
  ShowDialogModal();
  Ui().Clipboard("Server Test string ");
  StopButtonOption = 0;
  ShowStopWindow();
  ShowDialogModeless();
  const std::vector<std::string> expected = {
      "DIALOG:  Script", "  Label1 \" x = \"", "  Edit1 \"2\"", "  [OK] [Cancel] [Help]",  // as shown
      "  Edit1 \"3\"", "  press Button1", "  -> DialogOk=1",                                // what the user did
      "CLIPBOARD: Server Test string ", "WINDOW: "};
  EXPECT_EQ(ui.transcript, expected);
  EXPECT_EQ(ui.LastDialog().Edit1.text, "2");  // as it was shown
  EXPECT_EQ(Form2.Edit1.text, "3");
  EXPECT_TRUE(ui.unexpected.empty());
  ResetDialogForm(420, 440);
}
}  // namespace
