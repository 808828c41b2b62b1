// A test fixture with the scripted backend installed: a question or wait that the test did not
// script fails the test; the result file is kept in memory.
#pragma once
#include <gtest/gtest.h>
#include "core/scripted_ui.h"
#include "core/text_file.h"

class ScriptedTest : public ::testing::Test {
protected:
  void SetUp() override {
    ui.onUnexpected = [](const std::string& what) { ADD_FAILURE() << "unexpected: " << what; };
    LogFile.RewriteToMemory("log");
  }
  void TearDown() override { LogFile.Close(); }
  // The lines written to the result file so far.
  std::vector<std::string> LogLines() const;

  ScriptedUi ui;
  ScopedUi guard{ui};
};
