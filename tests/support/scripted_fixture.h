// A test fixture with the scripted backend installed: a dialog, question or wait that the test
// did not script fails the test, and so does a scripted step that was never used; the result
// file is kept in memory.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include "core/dialog_state.h"
#include "core/scripted_ui.h"
#include "core/settings_file.h"
#include "core/text_file.h"

class ScriptedTest : public ::testing::Test {
protected:
  void SetUp() override {
    ui.onUnexpected = [](const std::string& what) { ADD_FAILURE() << "unexpected: " << what; };
    LogFile.RewriteToMemory("log");
  }
  void TearDown() override {
    for (const auto& step : ui.Remaining()) ADD_FAILURE() << "scripted but never shown: " << step;
    LogFile.Close();
  }
  // The lines written to the result file so far.
  std::vector<std::string> LogLines() const;

  ScriptedUi ui;
  ScopedUi guard{ui};
};

// The dialog window at screen scale 1 (restored at the end: tests change it) and font size 10,
// with a window title of the test's own.
class DialogTest : public ScriptedTest {
protected:
  explicit DialogTest(std::string caption = "Test dialog") : caption_(std::move(caption)) {}
  void SetUp() override {
    ScriptedTest::SetUp();
    ScreenScale = 1.0;
    FontSize = 10;
    DialogCaption = caption_;
  }
  void TearDown() override {
    ScreenScale = 1.0;
    ScriptedTest::TearDown();
  }

private:
  std::string caption_;
};
