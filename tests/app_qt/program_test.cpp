// The real program on the offscreen platform: the start dialog answered OK, the session files
// in a temporary working folder, a spectrum loaded through the real file dialog, and Exit with
// the files closed and the settings written; a cancelled start and a working folder where no
// file can be made end without the event loop.
#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include "app/main_window_view.h"
#include "app/session_qt.h"
#include "core/model_tables.h"
#include "core/qt/qt_forms.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/main_menu.h"
#include "mainwin/session.h"
#include "mainwin/start_dialog.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
MainWindowView* MainView() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<MainWindowView*>(w); v && v->isVisible()) return v;
  return nullptr;
}

// The action of the menu item with this plain caption.
QAction* MenuAction(MainWindowView& view, const std::string& caption) {
  for (int32_t top = 1; top <= MainMenuEntryCount; ++top) {
    const TMenuItem& entry = view.Model().Entry(top);
    for (size_t i = 0; i < entry.items.size(); ++i)
      if (PlainCaption(entry.items[i].caption) == caption) return view.Action(top, static_cast<int32_t>(i) + 1);
  }
  return nullptr;
}

// Runs the real program in a temporary working folder. A responder answers whatever modal window
// is up (the start dialog with OK or Cancel, the file dialog with the fixture, every other
// dialog window with OK, every message box with its default button) and, with no window up,
// gives the main window to the test's step; commands run from one-shot timers so that the
// responder goes on inside their modal loops.
class ProgramTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    fs::remove_all(folder);
    fs::create_directories(folder);
    SessionClock = [] { return TSessionTime{2026, 3, 4, 5, 6, 7}; };
    QObject::connect(&responder, &QTimer::timeout, [this] { Respond(); });
    clock.start();
    responder.start(20);
  }
  void TearDown() override {
    responder.stop();
    SessionClock = SystemClock;
    fs::remove_all(folder);
  }
  void Respond() {
    QWidget* modal = QApplication::activeModalWidget();
    if (clock.elapsed() > 60000) {  // a window nobody expected: give up rather than hang
      ADD_FAILURE() << "stuck";
      if (modal) modal->close();
      QCoreApplication::quit();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      answered.push_back("MSG " + box->text().toStdString());
      (box->defaultButton() ? box->defaultButton() : box->buttons().front())->click();
    } else if (auto* fd = qobject_cast<QFileDialog*>(modal)) {
      answered.push_back("OPEN");
      fd->selectFile(QString::fromStdString(spectrum));
      static_cast<QDialog*>(fd)->accept();
    } else if (auto* f2 = qobject_cast<QtForm2*>(modal)) {
      const bool start = f2->windowTitle().toStdString() == kStartBanner;
      answered.push_back(start ? "START" : f2->windowTitle().toStdString());
      // The reading dialog: the fixture holds free-field text (kind 3).
      if (!start && f2->RadioGroup1()->isVisible() && f2->RadioGroup1()->Count() == 4)
        f2->RadioGroup1()->Button(2)->click();
      f2->Button(start && cancelStart ? 2 : 1)->click();
    } else if (MainWindowView* view = MainView(); view && step) {
      step(*view);
    }
  }

  const fs::path folder = TestTempPath("program");
  const std::string spectrum = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/spectra/k3_basic.txt";
  std::vector<std::string> answered;
  bool cancelStart = false;
  std::function<void(MainWindowView&)> step;
  QTimer responder;
  QElapsedTimer clock;
};

TEST_F(ProgramTest, StartLoadASpectrumAndExit) {
  std::string status;
  bool started = false;
  step = [&](MainWindowView& view) {
    if (std::exchange(started, true)) return;
    QTimer::singleShot(0, [&] {
      MenuAction(view, "Input the Spectrum")->trigger();
      status = view.StatusLabel(1)->text().toStdString();
      // Unsaved results: Exit asks once; the close events of Qt's quit neither ask nor finish again.
      ResultsUnsaved[0] = 1;
      MenuAction(view, "Exit                         Esc")->trigger();
    });
  };
  EXPECT_EQ(MainProgram({folder.string()}), 0);
  ASSERT_GE(answered.size(), 2u);
  EXPECT_EQ(answered[0] + " " + answered[1], "START OPEN");
  EXPECT_EQ(status.rfind("The spectrum read in.", 0), 0u) << status;
  EXPECT_EQ(std::count(answered.begin(), answered.end(), "MSG Rietveld parameters not saved. Still exit?"), 1);
  const std::string log = ReadWholeFile(folder / "m040506.res");
  const std::string finish = std::string(20, ' ') + "VKEST FINISH  2026-03-04 05:06:07\r\n";
  EXPECT_EQ(log.rfind(std::string(20, ' ') + "VKEST START  2026-03-04 05:06:07\r\n", 0), 0u);
  EXPECT_NE(log.find("Spectrum " + spectrum + " input\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(finish), log.size() - finish.size());  // the last line, and only once
  EXPECT_TRUE(fs::exists(folder / "quorin.res"));
  EXPECT_TRUE(fs::exists(folder / "vkest.fn"));
  // The folder of the spectrum read comes back as the first line of the spectrum defaults.
  EXPECT_EQ(ReadWholeFile(folder / "vkest.def").rfind(fs::path(spectrum).parent_path().string() + "\r\n", 0), 0u);
}

// Cancel makes and closes the session files and ends at once (a quit asked before the loop
// would be lost); a result file that cannot be made ends with an error code.
TEST_F(ProgramTest, StartsThatEndWithoutTheLoop) {
  cancelStart = true;
  step = [](MainWindowView&) { ADD_FAILURE() << "the main window was shown"; };
  EXPECT_EQ(MainProgram({folder.string()}), 0);
  EXPECT_NE(ReadWholeFile(folder / "m040506.res").find("VKEST FINISH"), std::string::npos);
  EXPECT_EQ(answered, std::vector<std::string>{"START"});

  cancelStart = false, answered.clear();
  std::ofstream(folder / "plain") << "x";
  EXPECT_NE(MainProgram({(folder / "plain").string()}), 0);
  EXPECT_EQ(answered, (std::vector<std::string>{"START", std::string("MSG ") + OutputFileFailure}));
}
}  // namespace
