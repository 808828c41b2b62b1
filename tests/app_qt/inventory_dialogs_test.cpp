// The inventory on the real program offscreen, with a data set loaded: every menu item, side
// button and key, triggered on the Qt window, opens the same first window (dialog, question,
// file dialog, message) as the same command under the generic backend on the same state; every
// window is cancelled; while a command waits for clicks the Qt menu, its items and the side
// buttons are enabled exactly as the window model says, and the side panel's OK ends the wait.
#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include "app/main_window_view.h"
#include "app/session_qt.h"
#include "core/abandon.h"
#include "core/qt/qt_forms.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/inventory_fixture.h"
#include "mainwin/start_dialog.h"
#include "testdata/test_data_sets.h"
#include "window_watch.h"

namespace fs = std::filesystem;

namespace {
class QtInventoryTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    fs::remove_all(folder);
    fs::create_directories(folder);
    SessionClock = [] { return TSessionTime{2026, 12, 7, 4, 0, 0}; };
  }
  void TearDown() override {
    SessionClock = SystemClock;
    fs::remove_all(folder);
  }

  // The Qt window up now as kind and text, as GenericUi names them; "" for none of the program's.
  static std::string Shown(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal))
      return std::string(box->buttons().size() > 1 ? "Q " : "M ") + box->text().toStdString();
    if (auto* fd = qobject_cast<QFileDialog*>(modal)) return "F " + fd->windowTitle().toStdString();
    if (auto* f2 = qobject_cast<QtForm2*>(modal)) return "D " + f2->windowTitle().toStdString();
    if (modal) return "I " + modal->windowTitle().toStdString();
    return {};
  }

  // The Qt controls against the model: the menu bar, the items and the side buttons.
  void CheckEnabling(MainWindowView& view, const std::string& when) {
    for (int32_t top = 1; top <= MainMenuEntryCount; ++top) {
      const TMenuItem& entry = view.Model().Entry(top);
      EXPECT_EQ(view.Action(top)->isEnabled(), entry.enabled) << when << ": " << entry.caption;
      for (int32_t i = 1; i <= static_cast<int32_t>(entry.items.size()); ++i)
        EXPECT_EQ(view.Action(top, i)->isEnabled(), view.Model().Entry(top, i).enabled) << when << ": " << i;
    }
    for (int32_t b = 1; b <= SideButtonCount; ++b)
      EXPECT_EQ(view.SideButton(b)->isEnabled(), view.Model().Button(b).enabled) << when << ": side button " << b;
  }

  void Respond() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* f2 = qobject_cast<QtForm2*>(modal); f2 && f2->windowTitle().toStdString() == kStartBanner) {
      f2->Button(1)->click();
      return;
    }
    MainWindowView* view = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* v = qobject_cast<MainWindowView*>(w); v && v->isVisible()) view = v;
    if (!view) return;
    if (modal) {
      if (std::getenv("VKEST_INVENTORY_TRACE")) std::fprintf(stderr, "  Qt: %s\n", Shown(modal).c_str());
      if (shown.empty()) shown = Shown(modal);
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        QAbstractButton* b = box->button(QMessageBox::No) ? box->button(QMessageBox::No)
                             : box->button(QMessageBox::Cancel) ? box->button(QMessageBox::Cancel)
                                                                : box->buttons().front();
        b->click();
      } else if (auto* fd = qobject_cast<QFileDialog*>(modal)) {
        static_cast<QDialog*>(fd)->reject();
      } else if (auto* f2 = qobject_cast<QtForm2*>(modal)) {
        if (f2->Button(2)->isVisible()) f2->Button(2)->click();
        else f2->close();  // the close box, as GenericUi without a Cancel button
      } else {
        modal->close();
      }
      return;
    }
    if (running && ProgramBusy() && view->SideButton(1)->isVisible()) {
      // A click loop waits: the controls as the model says, then OK on the side panel.
      if (++waits > 20) return;
      CheckEnabling(*view, current + " waiting");
      view->SideButton(1)->click();
      watch.Poke();  // the command may wait again
      return;
    }
    if (!running && !started) {
      started = true;
      Walk(*view);
    }
  }

  // Every command: first under GenericUi (Cancel to all) on the present state, then on the Qt
  // window; the first window shown must be the same.
  void Walk(MainWindowView& view) {
    running = true;
    RunUserCommand([] {
      SetRietveldTestData();
      FormPhaseReflections(1, 1.541, 3.895);
    });
    Form1.HandleEvent({TMainEventKind::Key, 'G', 0, true});
    for (const TCommand& c : MainWindowInventory()) {
      if (c.name.rfind("File>Exit", 0) == 0 || c.name == "key Esc" || c.name == "close box" ||
          c.name == "File>Reset the Program")
        continue;  // the session's end and the model reset
      current = c.name;
      GenericUi generic;
      generic.onWait = [](std::mt19937&) { Form1.HandleEvent({TMainEventKind::SideButton, 1}); };
      {
        ScopedUi guard(generic);
        generic.Begin(0);
        Form1.HandleEvent(c.event);
      }
      if (std::string("DFQ").find(generic.first) == std::string::npos) continue;
      ++compared;
      shown.clear(), waits = 0;
      // The kind of window; a dialog window by its caption too (a file dialog's title may count
      // on, as "Spectrum 2 input" after the first run read nothing).
      const std::string expected = std::string(1, generic.first) + " " + generic.firstText;
      if (c.event.kind == TMainEventKind::MenuItem) {
        EXPECT_TRUE(view.Action(c.event.index)->isEnabled()) << c.name << " off after " << previous;
      }
      if (std::getenv("VKEST_INVENTORY_TRACE"))
        std::fprintf(stderr, "%s: %s (ended %d, busy %d)\n", c.name.c_str(), expected.c_str(), SessionEnded, ProgramBusy());
      // The first turn of an event loop inside the command: a window up, a wait for clicks.
      watch.Poke();
      if (c.event.kind == TMainEventKind::MenuItem) {
        view.Action(c.event.index, c.event.item)->trigger();
      } else if (c.event.kind == TMainEventKind::SideButton) {
        view.SideButton(c.event.index)->click();
      } else {
        Form1.HandleEvent(c.event);  // keys and graph clicks: their Qt paths are the inventory test's
      }
      EXPECT_EQ(generic.first == 'D' ? shown : shown.substr(0, 1), generic.first == 'D' ? expected : expected.substr(0, 1))
          << c.name << ": " << shown << " / " << expected;
      previous = c.name;
      EXPECT_FALSE(ProgramBusy()) << c.name;
      CheckEnabling(view, c.name + " done");
    }
    running = false;
    ResultsUnsaved[0] = ResultsUnsaved[1] = ResultsUnsaved[2] = ResultsUnsaved[3] = 0;
    view.close();
  }

  const fs::path folder = TestTempPath("inventory_qt");
  WindowWatch watch{[this] { Respond(); }};
  bool running = false, started = false;
  std::string current, shown, previous;
  int32_t waits = 0, compared = 0;
};

TEST_F(QtInventoryTest, EveryCommandOpensOnTheQtWindowWhatTheModelShows) {
  EXPECT_EQ(MainProgram({folder.string()}), 0);
  EXPECT_GT(compared, 40);
}
}  // namespace
