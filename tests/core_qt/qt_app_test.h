// The fixture of the tests that show the real Qt windows: one QApplication on the offscreen
// platform for the whole program, and the screen scale and font size of the start dialog.
#pragma once
#include <QApplication>
#include <gtest/gtest.h>
#include "core/settings_file.h"

class QtAppTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vkest-qt-test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  void SetUp() override {
    ScreenScale = 1.0;
    FontSize = 10;
  }
};
