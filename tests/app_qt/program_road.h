// The real program on the offscreen platform, driven like a user: a responder answers each modal
// window as it comes up (the start dialog with OK, the dialog window with the next scripted
// answer, a question with the next scripted Yes/No or its default button, a file dialog with the
// next scripted file) and, when no window is up, runs the next step of the road on the main
// window. Steps run from one-shot timers so that the responder goes on inside their modal loops.
#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>
#include "app/main_window_view.h"
#include "app/session_qt.h"
#include "core/qt/qt_forms.h"
#include "core/scripted_ui.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/main_menu.h"
#include "mainwin/session.h"
#include "mainwin/start_dialog.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

// What the user does in one showing of the dialog window, on its Qt controls.
struct QtDialogAnswer {
  std::string title;  // a part of the window title
  std::vector<std::function<void(QtForm2&)>> fill;
  int32_t button = 1;  // OK
  QtDialogAnswer& Field(int32_t row, int32_t col, const std::string& text) {
    fill.push_back([=](QtForm2& f) {
      QTableWidget* t = f.StringGrid1();
      if (!t->item(row - 1, col - 1)) t->setItem(row - 1, col - 1, new QTableWidgetItem);
      t->item(row - 1, col - 1)->setText(QString::fromStdString(text));
    });
    return *this;
  }
  QtDialogAnswer& Radio(int32_t item) {
    fill.push_back([=](QtForm2& f) { f.RadioGroup1()->Button(item - 1)->click(); });
    return *this;
  }
  QtDialogAnswer& Radio2(int32_t item) {
    fill.push_back([=](QtForm2& f) { f.RadioGroup2()->Button(item - 1)->click(); });
    return *this;
  }
  QtDialogAnswer& Check(int32_t item, bool on) {
    fill.push_back([=](QtForm2& f) { f.CheckListBox1()->item(item - 1)->setCheckState(on ? Qt::Checked : Qt::Unchecked); });
    return *this;
  }
  QtDialogAnswer& Memo(const std::string& text) {
    fill.push_back([=](QtForm2& f) { f.Memo1()->setPlainText(QString::fromStdString(text)); });
    return *this;
  }
  QtDialogAnswer& Edit(int32_t i, const std::string& text) {
    fill.push_back([=](QtForm2& f) { f.Edit(i)->setText(QString::fromStdString(text)); });
    return *this;
  }
  void Ok() { button = 1; }
  void Cancel() { button = 2; }
};

class ProgramRoadTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    // Started in its working folder, as the program is: relative names land there.
    std::filesystem::current_path(folder);
    SessionClock = [] { return TSessionTime{2026, 3, 4, 5, 6, 7}; };
    QObject::connect(&responder, &QTimer::timeout, [this] { Respond(); });
    clock.start();
    responder.start(10);
  }
  void TearDown() override {
    responder.stop();
    SessionClock = SystemClock;
    if (HasFailure())
      for (const auto& a : answered) std::cout << a << "\n";
    std::filesystem::current_path(home);
    std::filesystem::remove_all(folder);
  }

  QtDialogAnswer& ExpectDialog(const std::string& title) { return dialogs.emplace_back(QtDialogAnswer{title, {}, 1}); }
  // A step on the main window, run when no modal window is up.
  void Then(std::function<void(MainWindowView&)> s) { steps.push_back(std::move(s)); }
  // The action of the menu item with this plain caption.
  static QAction* MenuAction(MainWindowView& view, const std::string& caption) {
    for (int32_t top = 1; top <= MainMenuEntryCount; ++top) {
      const TMenuItem& entry = view.Model().Entry(top);
      if (PlainCaption(entry.caption) == caption) return view.Action(top);
      for (size_t i = 0; i < entry.items.size(); ++i)
        if (PlainCaption(entry.items[i].caption) == caption) return view.Action(top, static_cast<int32_t>(i) + 1);
    }
    return nullptr;
  }
  // The session log, read at the end.
  std::string Log() const { return ReadWholeFile(folder / "m040506.res"); }

  void Respond() {
    QWidget* modal = QApplication::activeModalWidget();
    if (clock.elapsed() > 120000) {  // a window nobody expected: give up rather than hang
      ADD_FAILURE() << "stuck";
      if (modal) modal->close();
      QCoreApplication::quit();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      answered.push_back("MSG " + box->text().toStdString());
      QAbstractButton* b = box->defaultButton() ? box->defaultButton() : box->buttons().front();
      if (!questions.empty() && box->buttons().size() > 1) {
        const bool yes = questions.front();
        questions.pop_front();
        for (auto role : yes ? std::vector{QMessageBox::Yes, QMessageBox::Ok} : std::vector{QMessageBox::No, QMessageBox::Cancel})
          if (box->button(role)) b = box->button(role);
      }
      b->click();
    } else if (auto* fd = qobject_cast<QFileDialog*>(modal)) {
      answered.push_back("FILE");
      if (files.empty()) {
        ADD_FAILURE() << "file dialog not scripted";
        static_cast<QDialog*>(fd)->reject();
        return;
      }
      // Typed into the name field, as a user does: the dialog may still be reading its folder.
      fd->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(files.front()));
      files.pop_front();
      static_cast<QDialog*>(fd)->accept();
    } else if (auto* f2 = qobject_cast<QtForm2*>(modal)) {
      // A window without OK and Cancel (a running fit's with its STOP) is the program's.
      if (!f2->Button(1)->isVisible() && !f2->Button(2)->isVisible()) return;
      const std::string title = f2->windowTitle().toStdString();
      answered.push_back("DIALOG " + title);
      if (title == kStartBanner) {
        f2->Button(1)->click();
        return;
      }
      if (dialogs.empty() || title.find(dialogs.front().title) == std::string::npos) {
        ADD_FAILURE() << "unexpected dialog \"" << title << "\" after " << answered.size() - 1 << " answers";
        for (const auto& a : answered) std::cerr << "  " << a << std::endl;
        if (f2->Model())
          for (const auto& line : DescribeDialog(*f2->Model())) std::cerr << "  " << line << std::endl;
        f2->Button(2)->click();
        return;
      }
      QtDialogAnswer a = std::move(dialogs.front());
      dialogs.pop_front();
      for (auto& fill : a.fill) fill(*f2);
      f2->Button(a.button)->click();
    } else if (modal) {
      answered.push_back("CLOSE " + modal->windowTitle().toStdString());
      modal->close();
    } else if (MainWindowView* view = MainView(); view && !busy && !steps.empty()) {
      busy = true;
      auto s = std::move(steps.front());
      steps.pop_front();
      QTimer::singleShot(0, [this, view, s] {
        s(*view);
        busy = false;
      });
    }
  }
  static MainWindowView* MainView() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* v = qobject_cast<MainWindowView*>(w); v && v->isVisible()) return v;
    return nullptr;
  }

  const std::filesystem::path home = std::filesystem::current_path(), folder = TestTempPath("road_qt");
  std::deque<QtDialogAnswer> dialogs;
  std::deque<bool> questions;
  std::deque<std::string> files;
  std::deque<std::function<void(MainWindowView&)>> steps;
  std::vector<std::string> answered;
  bool busy = false;
  QTimer responder;
  QElapsedTimer clock;
};
