// The main window on the offscreen Qt platform: built from the model with its whole menu bar,
// and every action, side button, key and close request reaching the model's one handler.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest/QTest>
#include "app/main_window_view.h"
#include "core/fit_engine.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/scripted_ui.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/session.h"
#include "mainwin/start_dialog.h"

namespace {
class MainWindowViewTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    ui.onUnexpected = [](const std::string& what) { ADD_FAILURE() << "unexpected: " << what; };
    Form1 = TForm1();
    LayoutMainWindow(1.0, 1.0);
    ResetMainWindow();
  }
  void TearDown() override {
    Form1.OnDispatch = nullptr;
    for (const auto& step : ui.Remaining()) ADD_FAILURE() << "scripted but never shown: " << step;
  }
  // The window shown, active and with the keyboard focus, as a click on it leaves it (a command's
  // window, or offscreen a closed menu, may have taken them); the handlers run go to trace.
  void Activate(MainWindowView& view) {
    view.show();
    view.windowHandle()->requestActivate();
    ASSERT_TRUE(QTest::qWaitFor([&view] { return view.isActiveWindow(); }));
    view.setFocus();
    Form1.OnDispatch = [this](const std::string& handler) { trace.push_back(handler); };
  }
  std::vector<std::string> trace;
  ScriptedUi ui;
  ScopedUi guard{ui};
};

TEST_F(MainWindowViewTest, BuildsTheWindowWithItsTitleAndWholeMenuBar) {
  MainWindowView view(Form1);
  view.show();
  EXPECT_EQ(view.windowTitle(), QString::fromUtf8(kStartBanner));
  const QList<QAction*> tops = view.menuBar()->actions();
  ASSERT_EQ(tops.size(), MainMenuEntryCount);
  EXPECT_EQ(tops[0]->text(), "&File");
  EXPECT_EQ(tops[4]->text(), "");
  EXPECT_EQ(tops[7]->text(), "&Rietveld ");
  EXPECT_EQ(tops[13]->text(), "&Trevo");
  int items = 0;
  for (QAction* t : tops)
    if (t->menu()) items += static_cast<int>(t->menu()->actions().size());
  EXPECT_EQ(items, 70);
  // The separator is an item that cannot be chosen, not a drawn separator.
  QAction* separator = tops[0]->menu()->actions().at(10);
  EXPECT_EQ(separator->text(), "__________________");
  EXPECT_FALSE(separator->isSeparator());
  EXPECT_FALSE(separator->isEnabled());
  // The model's enabling reaches the bar.
  EnableMainMenus(false);
  EXPECT_FALSE(tops[0]->isEnabled());
  EXPECT_TRUE(tops[12]->isEnabled());
}

TEST_F(MainWindowViewTest, ActionsButtonsAndKeysReachTheOneHandler) {
  MainWindowView view(Form1);
  view.show();
  GraphMode = 0;
  view.Action(4, 1)->trigger();  // Mark, "Interval Bounds": no graph
  EXPECT_TRUE(view.StatusLabel(1)->isVisible());
  EXPECT_EQ(view.StatusLabel(1)->text(), "Error, no graph on the screen");
  EXPECT_EQ(view.StatusLabel(1)->pos(), QPoint(21, 67));

  std::vector<std::string> trace;
  Form1.OnDispatch = [&trace](const std::string& handler) { trace.push_back(handler); };
  SideButtonMask = "000011111111";
  ShowSideButtons();
  QPushButton* b13 = view.SideButton(13);
  EXPECT_TRUE(b13->isVisible());
  EXPECT_EQ(b13->geometry(), QRect(525, 340, 87, 20));
  EXPECT_FALSE(view.SideButton(1)->isEnabled());
  QTest::mouseClick(view.SideButton(1), Qt::LeftButton);  // disabled: nothing
  QTest::mouseClick(b13, Qt::LeftButton);
  EXPECT_EQ(SideButton13Top, 340);

  ui.ExpectDialog("Several spectra").Cancel();
  QTest::keyClick(&view, Qt::Key_S);
  QTest::keyClick(&view, Qt::Key_G, Qt::ShiftModifier);
  EXPECT_EQ(trace, (std::vector<std::string>{"Button13Click", "SeveralSpectra1Click", "theSpectrum1Click"}));
  Form1.OnDispatch = nullptr;
}

// Alt + letter from the window takes the first entry of that letter every time ("&Test" before
// "&Trevo", "&File" before "&Fitra"), whatever ran before; pressed again while File's menu is
// open, it moves on to Fitra. Trevo is one Left from File's menu, as the README tells.
TEST_F(MainWindowViewTest, AltLetterTakesTheFirstEntryOfItsLetterEveryTime) {
  ui.onUnexpected = nullptr;  // the commands' own windows are cancelled
  MainWindowView view(Form1);
  ASSERT_NO_FATAL_FAILURE(Activate(view));
  QMenu* file = view.Action(1)->menu();
  const struct {
    Qt::Key key;
    std::vector<std::string> handlers;  // what the presses ran, in order
    bool fileOpen;                      // File's menu open after them
  } presses[] = {
      {Qt::Key_T, {"Test1Click"}, false}, {Qt::Key_T, {"Test1Click"}, false}, {Qt::Key_F, {}, true},
      {Qt::Key_T, {"Test1Click"}, false}, {Qt::Key_F, {}, true},           {Qt::Key_T, {"Test1Click"}, false},
  };
  int press = 0;
  for (const auto& p : presses) {
    SCOPED_TRACE("press " + std::to_string(++press));
    trace.clear();
    QTest::keyClick(&view, p.key, Qt::AltModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(trace, p.handlers);
    EXPECT_EQ(file->isVisible(), p.fileOpen);
    if (file->isVisible()) QTest::keyClick(file, Qt::Key_Escape);
    QTRY_VERIFY(!file->isVisible());
  }
  // File's menu open: Alt+F again goes on to Fitra, and the menu closes.
  const bool engine = FitParameters == nullptr;
  if (engine) CreateFitParameters();  // the Fitra menu sizes its fit
  trace.clear();
  QTest::keyClick(&view, Qt::Key_F, Qt::AltModifier);
  ASSERT_TRUE(file->isVisible());
  QTest::keyClick(file, Qt::Key_F, Qt::AltModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(trace, std::vector<std::string>{"Fitra1Click"});
  EXPECT_FALSE(file->isVisible());
  // "Trevo" from the keyboard: one Left from File's open menu (the bar wraps round), then Enter.
  ASSERT_NO_FATAL_FAILURE(Activate(view));
  trace.clear();
  QTest::keyClick(&view, Qt::Key_F, Qt::AltModifier);
  ASSERT_TRUE(file->isVisible());
  QTest::keyClick(file, Qt::Key_Left);
  QTest::keyClick(view.windowHandle(), Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(trace, std::vector<std::string>{"Trevo1Click"});
  Form1.OnDispatch = nullptr;
  if (engine) FreeFitParameters();
}

// A menu opened with Alt + letter and closed with Esc gives the keys back to the window at once:
// the next key, sent where the keyboard focus is (not to the window directly), runs the window's
// command, Esc the exit (answered No), instead of opening another menu of the bar.
TEST_F(MainWindowViewTest, EscOnAMenuGivesTheKeysBackToTheWindow) {
  ui.onUnexpected = nullptr;  // the commands' own windows are cancelled
  MainWindowView view(Form1);
  ASSERT_NO_FATAL_FAILURE(Activate(view));
  ResultsUnsaved[0] = 1;  // the exit asks; unscripted, the question is answered No
  const std::pair<Qt::Key, const char*> keys[] = {{Qt::Key_I, "InputInifile1Click"},
                                                  {Qt::Key_G, "theSpectrumInterval1Click"},
                                                  {Qt::Key_S, "SeveralSpectra1Click"},
                                                  {Qt::Key_R, "KeyRCommand"},
                                                  {Qt::Key_Escape, "Exit1Click"}};
  for (const Qt::Key opener : {Qt::Key_F, Qt::Key_G, Qt::Key_S})
    for (const auto& [key, handler] : keys) {
      SCOPED_TRACE(std::string(handler) + " after Alt+" + char(opener));
      ASSERT_NO_FATAL_FAILURE(Activate(view));
      QTest::keyClick(&view, opener, Qt::AltModifier);
      QMenu* open = QApplication::activePopupWidget() ? qobject_cast<QMenu*>(QApplication::activePopupWidget()) : nullptr;
      ASSERT_TRUE(open);
      QTest::keyClick(open, Qt::Key_Escape);
      QTRY_VERIFY(!open->isVisible());
      QCoreApplication::processEvents();
      trace.clear();
      QTest::keyClick(view.windowHandle(), key);
      QCoreApplication::processEvents();
      EXPECT_EQ(trace, std::vector<std::string>{handler});
      EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
      if (QWidget* p = QApplication::activePopupWidget()) p->hide();
    }
  ResultsUnsaved[0] = 0;
  Form1.OnDispatch = nullptr;
}

TEST_F(MainWindowViewTest, CloseRequestGoesThroughTheSessionsQuery) {
  MainWindowView view(Form1);
  view.show();
  // Unsaved results: the exit question, and No keeps the window.
  SessionEnded = 0;
  ResultsUnsaved[0] = 1;
  ui.ExpectQuestion("Rietveld parameters not saved. Still exit?", false);
  EXPECT_FALSE(view.close());
  EXPECT_TRUE(view.isVisible());
  ResultsUnsaved[0] = 0;
  // After the session's end the window closes at once.
  SessionEnded = 1;
  EXPECT_TRUE(view.close());
  EXPECT_FALSE(view.isVisible());
}
}  // namespace
