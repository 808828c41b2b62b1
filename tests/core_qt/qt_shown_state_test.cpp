// What the Qt windows show when the user looks: a window shown without waiting is drawn as its
// model is when a question comes up in front of it, a file dialog given a folder opens in that
// folder with nothing chosen, and the keys go back to the main window when the window system
// activates a window of ours that is hidden again.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include "core/dialog_toolkit.h"
#include "core/qt/qt_backend.h"
#include "core/qt/qt_forms.h"
#include "core_qt/qt_app_test.h"
#include "support/temp_path.h"

namespace {
class QtShownStateTest : public QtAppTest {
protected:
  std::unique_ptr<QtBackend> backend = std::make_unique<QtBackend>();
  ScopedUi guard{*backend};
};

TEST_F(QtShownStateTest, AWindowShownWithoutWaitingIsDrawnAsItIsBehindAQuestion) {
  DialogCaption = "Powder Indexing";
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 5, 10, "2000 tries", WhiteColor, BlueColor);
  ShowDialogModeless();
  QtForm2* f = backend->Form2Window();
  ASSERT_TRUE(f->isVisible());
  // The work changes the window and asks at once, without a pass of the event loop between.
  PlaceLabel(Form2.Label1, 5, 10, "Parameters, ph1 = 5.153 5.220 5.319", WhiteColor, BlackColor);
  PlaceLabel(Form2.Label8, 5, 350, "true cell", AquaColor, BlackColor);
  std::vector<QString> behind;
  for (bool yes : {true, false}) {
    QTimer::singleShot(0, [&behind, f, yes] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      behind.push_back(f->Label(1)->text() + "|" + (f->Label(8)->isVisible() ? f->Label(8)->text() : QString()));
      box->button(yes ? QMessageBox::Yes : QMessageBox::Ok)->click();
    });
    if (yes) Ui().AskYesNo("Stop fitting?", MsgKind::Confirmation);
    else Ui().ShowMessage("Indexing done");
    PlaceLabel(Form2.Label8, 5, 350, "another cell", AquaColor, BlackColor);
  }
  EXPECT_EQ(behind, (std::vector<QString>{"Parameters, ph1 = 5.153 5.220 5.319|true cell",
                                          "Parameters, ph1 = 5.153 5.220 5.319|another cell"}));
  ResetDialogForm(420, 440);
}

// The one dialog window is reused: closed as a dialog, shown as a progress window and hidden at
// once, it is what the window system activates when the question in front of it closes.
TEST_F(QtShownStateTest, KeysGoBackToTheMainWindowWhenAHiddenWindowIsActivated) {
  QMainWindow main;
  main.show();
  main.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  ResetDialogForm(200, 100);
  ShowDialogModeless();
  QtForm2* f = backend->Form2Window();
  Ui().HideWindow(Form2);
  ASSERT_FALSE(f->isVisible());
  QApplication::setActiveWindow(f);  // as the window system's late activation does
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &main; }, 2000));
  EXPECT_EQ(QGuiApplication::focusWindow(), main.windowHandle());
}

TEST_F(QtShownStateTest, AFolderGivenToAFileDialogIsWhereItOpens) {
  const std::filesystem::path folder = TestTempPath("file_dialog_folder");
  std::filesystem::create_directories(folder / "tests");
  TFileDialog d;
  d.fileName = folder.string();
  d.filter = "Ini(*.ini)|*.ini;|All|*.*;";
  QString opened, chosen;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    opened = dlg->directory().absolutePath();
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    chosen = edit->text();
    edit->setText("tests/a.ini");  // typed by the user, relative to the folder shown
    static_cast<QDialog*>(dlg)->accept();
    if (dlg->isVisible()) dlg->reject();  // the name led nowhere
  });
  const std::optional<std::string> name = Ui().OpenFileDialog(d);
  EXPECT_EQ(opened.toStdString(), folder.string());
  EXPECT_EQ(chosen, "");
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(*name, (folder / "tests" / "a.ini").string());
  std::filesystem::remove_all(folder);
}
}  // namespace
