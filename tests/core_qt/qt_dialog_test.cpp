// The Qt dialog window on the offscreen platform: it shows the controls the model asks for, and
// what the user types or clicks comes back into the shared dialog variables.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/qt/qt_backend.h"
#include "core/qt/qt_forms.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core_qt/qt_app_test.h"

namespace {
class QtDialogTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    DialogCaption = "Qt dialog";
  }
  // Runs the user's actions once the modal window is up.
  void WhenShown(std::function<void(QtForm2&)> act) {
    QTimer::singleShot(0, [this, act = std::move(act)] {
      QtForm2* f = backend->Form2Window();
      ASSERT_TRUE(f->isVisible());
      act(*f);
    });
  }
  std::unique_ptr<QtBackend> backend = std::make_unique<QtBackend>();
  ScopedUi guard{*backend};
};

TEST_F(QtDialogTest, ShowsTheControlsOfTheModelAndReadsThemBack) {
  DialogEditLabel1 = " Step = ";
  DialogEditText1 = "0.5";
  DialogOptions = PhaseChoice;
  DialogOptions.count = 4;
  DialogOptions.defaultItem = 2;
  DialogColumnWidths[0] = 100;
  DialogColumnWidths[1] = 80;
  DialogFieldLabels[1] = " a ";
  for (int i = 1; i <= 7; ++i) DialogFieldValues[i][1] = 2;
  PrepareDialog(620, 0, 430);
  ShowEditFields(10, 150, 40, 1, 80);
  ShowRadioGroup(1, 0, 20, 120, 200, 100);
  ShowNumberGrid(5, 240, 7, 8, 1, 7);  // as many rows in sight as there are
  ShowCheckListBox(300, 5, 100, 80);
  ShowComboBox(300, 100, 100);
  ShowMemo(420, 190);
  PlaceButton(Form2.Button7, 5, 300, "B7", 20, 60);
  WhenShown([](QtForm2& f) {
    EXPECT_EQ(f.windowTitle(), " Qt dialog");
    EXPECT_EQ(f.Label(1)->text(), " Step = ");
    EXPECT_EQ(f.Edit(1)->text(), "0.5");
    EXPECT_EQ(f.Edit(1)->geometry(), QRect(150, 38, 80, 20));
    EXPECT_EQ(f.Button(1)->text(), "OK");
    EXPECT_TRUE(f.Button(1)->isDefault());
    EXPECT_FALSE(f.Label(2)->isVisible() || f.Edit(2)->isVisible() || f.Button(6)->isVisible());  // not asked for
    ASSERT_EQ(f.RadioGroup1()->Count(), 4);
    EXPECT_TRUE(f.RadioGroup1()->Button(1)->isChecked());
    QTableWidget* g = f.StringGrid1();
    ASSERT_EQ(g->rowCount(), 7);
    // Seven rows of 21 in a grid 7 * 21 + 1 high beside its captions: all in sight, no scroll bar.
    EXPECT_EQ(g->geometry(), QRect(107, 241, 82, 148));
    EXPECT_EQ(f.StringGrid2()->geometry().height(), 148);
    EXPECT_FALSE(g->verticalScrollBar()->isVisible());
    EXPECT_LE(g->visualItemRect(g->item(6, 0)).bottom(), g->viewport()->height() - 1);
    EXPECT_EQ(g->item(1, 0)->text(), "       2");
    EXPECT_EQ(f.StringGrid2()->item(0, 0)->text(), " a ");
    QTest::mouseClick(f.Button(7), Qt::LeftButton);  // a handler that keeps the window open updates it
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Label(6)->text(), " Total N of tries= 128 ");

    f.Edit(1)->clear();
    QTest::keyClicks(f.Edit(1), "2,5");
    QRadioButton* fourth = f.RadioGroup1()->Button(3);
    QTest::mouseClick(fourth, Qt::LeftButton, {}, QPoint(8, fourth->height() / 2));
    g->item(1, 0)->setText("7.25");
    f.CheckListBox1()->item(2)->setCheckState(Qt::Checked);
    f.ComboBox1()->setCurrentIndex(3);
    f.Memo1()->setPlainText("one\ntwo");
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  ShowDialogModal();
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(Form2.Edit1.text, "2,5");
  EXPECT_EQ(Form2.RadioGroup1.itemIndex, 3);
  EXPECT_EQ(Form2.StringGrid1.Cell(0, 1), "7.25");
  EXPECT_EQ(Form2.CheckListBox1.checked, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(Form2.ComboBox1.text, " 4");
  EXPECT_EQ(Form2.Memo1.lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_FALSE(backend->Form2Window()->isVisible());
}

TEST_F(QtDialogTest, WaysOut) {
  struct Case { const char* how; void (*act)(QtForm2&); int32_t ok; };
  const Case cases[] = {
      {"Cancel", [](QtForm2& f) { QTest::mouseClick(f.Button(2), Qt::LeftButton); }, 0},
      {"Esc", [](QtForm2& f) { QTest::keyClick(&f, Qt::Key_Escape); }, 0},
      {"close box", [](QtForm2& f) { f.close(); }, 0},  // Cancel, not OK
      {"Enter", [](QtForm2& f) { QTest::keyClick(&f, Qt::Key_Return); }, 1},
  };
  for (const Case& c : cases) {
    BeginDialog(0);
    WhenShown(c.act);
    ShowDialogModal();
    EXPECT_EQ(DialogOk, c.ok) << c.how;
  }
}

// A number field of the real window that holds no number, or one it does not allow: OK shows a
// message naming it and the window stays up with the text as typed; corrected, OK closes it.
TEST_F(QtDialogTest, OkNamesTheFieldThatHoldsNoNumberAndStaysOpen) {
  BeginDialog(0);
  DialogEditLabel1 = " Sensitivity=";
  DialogEditText1 = "0.5";
  ShowEditFields(10, 150, 40, 1, 80);
  NumberEdit(1);
  DialogColumnWidths[0] = 150, DialogColumnWidths[1] = 70;
  DialogFieldLabels[1] = "Number of bins in A";
  DialogFieldValues[1][1] = 3;
  ShowNumberGrid(10, 100, 1, 8, 1, 1);
  LimitGridRow(1, 1, HUGE_VAL);
  std::vector<std::string> shown;
  // Clicks OK and answers the message that comes up in its place.
  auto okAndAnswer = [&shown](QtForm2& f) {
    QTimer::singleShot(0, [&shown] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      shown.push_back(box->text().toStdString());
      box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  };
  WhenShown([&](QtForm2& f) {
    QTableWidget* g = f.StringGrid1();
    g->item(0, 0)->setText("-3");
    okAndAnswer(f);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(g->item(0, 0)->text(), "-3");
    g->item(0, 0)->setText("4");
    f.Edit(1)->clear();
    QTest::keyClicks(f.Edit(1), "abc");
    okAndAnswer(f);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Edit(1)->text(), "abc");
    f.Edit(1)->setText("0,25");
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  ShowDialogModal();
  EXPECT_EQ(shown, (std::vector<std::string>{"Error, Number of bins in A = -3 is out of range (at least 1)",
                                             "Error, Sensitivity: \"abc\" is not a number"}));
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(Form2.StringGrid1.Cell(0, 0), "4");
  EXPECT_EQ(Form2.Edit1.text, "0,25");
  EXPECT_FALSE(backend->Form2Window()->isVisible());
}

TEST_F(QtDialogTest, StopButtonSetsTheStopRequestOfTheRunningFit) {
  if (!FitParameters) CreateFitParameters();
  FitParameters->StopRequest = 0;
  StopButtonOption = 1;
  ShowStopWindow();
  ShowDialogModeless();
  QtForm2* f = backend->Form2Window();
  ASSERT_TRUE(f->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), f);  // the other windows take no input meanwhile
  EXPECT_EQ(f->Button(5)->geometry(), QRect(90, 90, 70, 20));
  EXPECT_TRUE(TimerYield());  // the timer ends the pass
  EXPECT_EQ(FitParameters->StopRequest, 0);
  QTest::mouseClick(f->Button(5), Qt::LeftButton);
  EXPECT_EQ(FitParameters->StopRequest, 1);
  EXPECT_TRUE(f->isVisible());
  ResetDialogForm(420, 440);  // the next dialog closes the stop window
  EXPECT_FALSE(f->isVisible());
  StopButtonOption = 0;
  FitParameters->StopRequest = 0;
}

// STOP clicked in the real window while a fit runs reaches the engine: the one dispatch refuses
// other commands during a fit but keeps STOP live.
TEST_F(QtDialogTest, StopButtonStaysLiveWhileTheFitRuns) {
  if (!FitParameters) CreateFitParameters();
  TParameter& fit = *FitParameters;
  fit.ResetParameterRecords();
  fit.NPar = 1, fit.NPoints = 5, fit.GNIter = 50, fit.EpsReq = -1, fit.FunctionalLimit = -1, fit.Damp = 0;
  fit.Step = 0.5;  // halves the residual per iteration: all 50 iterations unless stopped
  fit.Records[1].value = 0;
  StopButtonOption = 1;
  ShowStopWindow();
  ShowDialogModeless();
  QtForm2* f = backend->Form2Window();
  int32_t calls = 0;
  fit.Fit(
      [&](double& Y, double& W, double& F, int32_t, int32_t) {
        Y = 1, W = 1, F = fit.Records[1].value;
        fit.Records[1].Derivative = 1;
      },
      [&](int32_t) {
        if (++calls == 1) QTest::mouseClick(f->Button(5), Qt::LeftButton);
      });
  EXPECT_LE(fit.Iterations, 2);
  ResetDialogForm(420, 440);
  StopButtonOption = 0;
  fit.StopRequest = 0;
}

TEST_F(QtDialogTest, MessagesFiltersAndClipboard) {
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Error, wrong numbers");
    EXPECT_EQ(box->pos(), QPoint(320, 320));
    box->button(QMessageBox::Ok)->click();
  });
  ShowMsg("Error, wrong numbers");
  EXPECT_EQ(QtBackend::QtFilter("All|*.*;|D(*.dat)|*.dat;|SPC(*.spc)|*.spc;|Ini(*.ini)|*.ini"),
            "All (*);;D(*.dat) (*.dat);;SPC(*.spc) (*.spc);;Ini(*.ini) (*.ini)");
  Ui().Clipboard("Server Test string ");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "Server Test string ");
}

// The open dialog returns a name that does not exist: "DUMMY" stands for no file, and any other
// missing name is reported by the program itself.
TEST_F(QtDialogTest, OpenDialogReturnsNamesThatDoNotExist) {
  std::vector<QString> messages;
  auto typeAndOpen = [&messages](const QString& file) {
    QTimer::singleShot(0, [&messages, file] {
      auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      QTimer::singleShot(0, [&messages] {  // the message that may follow
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          messages.push_back(box->text());
          box->button(QMessageBox::Ok)->click();
        }
      });
      // Typed: selectFile keeps the name field's text while the field has the focus.
      dlg->findChild<QLineEdit*>("fileNameEdit")->setText(file);
      static_cast<QDialog*>(dlg)->accept();  // the Open button
      if (dlg->isVisible()) dlg->reject();  // refused by the dialog itself
    });
  };
  const std::string dir = QDir::tempPath().toStdString();
  TFileDialog d;
  std::string name;
  typeAndOpen("dummy");
  RunOpenDialog(d, name, "", FileNameFilter, dir);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(std::filesystem::path(name).filename(), "dummy");
  typeAndOpen("vkest_no_such_file.dat");
  RunOpenDialog(d, name, "", FileNameFilter, dir);
  EXPECT_EQ(DialogOk, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith("No file ") && messages[0].endsWith("vkest_no_such_file.dat"));
}

TEST_F(QtDialogTest, AQuitRequestEndsTheWait) {
  QTimer::singleShot(5, [this] { backend->RequestQuit(); });
  DialogOk = 1;
  EXPECT_FALSE(WaitForFlag(ClickFlag));
  EXPECT_EQ(DialogOk, 0);
  BeginDialog(0);  // a dialog asked while the program goes down is not confirmed
  ShowDialogModal();
  EXPECT_EQ(DialogOk, 0);
}
}  // namespace

// The multi-file open dialog returns every marked file in order, and nothing on Cancel.
TEST_F(QtDialogTest, OpenFilesDialogReturnsEveryMarkedFile) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vkest_open_files_qt";
  std::filesystem::create_directories(dir);
  for (const char* f : {"a.sp1", "b.sp2"}) std::ofstream(dir / f) << "1\n";
  TFileDialog d;
  d.filter = "Spectra|*.sp*;|All|*.*;";
  d.initialDir = dir.string();
  auto answer = [](bool open) {
    QTimer::singleShot(0, [open] {
      auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      if (!open) return static_cast<QDialog*>(dlg)->reject();
      // Typed as a user marks two files: quoted names in the name field.
      dlg->findChild<QLineEdit*>("fileNameEdit")->setText("\"a.sp1\" \"b.sp2\"");
      static_cast<QDialog*>(dlg)->accept();
    });
  };
  answer(true);
  const auto files = Ui().OpenFilesDialog(d);
  ASSERT_TRUE(files.has_value());
  ASSERT_EQ(files->size(), 2u);
  EXPECT_EQ(std::filesystem::path((*files)[0]).filename(), "a.sp1");
  EXPECT_EQ(std::filesystem::path((*files)[1]).filename(), "b.sp2");
  answer(false);
  EXPECT_FALSE(Ui().OpenFilesDialog(d).has_value());
  std::filesystem::remove_all(dir);
}

// A line given to the result file inside an open dialog (its "Save") is on the disk while the
// dialog waits for the next click: a kill then loses nothing.
TEST_F(QtDialogTest, ResultLinesReachTheDiskWhileADialogWaits) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "vkest_flush_qt.res";
  LogFile.Rewrite(path.string());
  auto onDisk = [&path] {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::string seen;
  BeginDialog(0);
  WhenShown([&](QtForm2& f) {
    LogLine("Fitting results in res-file");  // as a handler of the open dialog writes it
    QTimer::singleShot(100, [&, w = &f] {
      seen = onDisk();
      QTest::keyClick(w, Qt::Key_Escape);
    });
  });
  ShowDialogModal();
  LogFile.Close();
  std::filesystem::remove(path);
  EXPECT_EQ(seen, "Fitting results in res-file\r\n");
}

// A results page: a click in its text and Enter press OK, and the results stay as they were; a
// memo shown for editing afterwards takes typing again.
TEST_F(QtDialogTest, ResultsAreReadOnlyAndEnterIsOk) {
  const std::vector<std::string> results = {" R-factors", "  Rwp = 7.21"};
  BeginDialog(0);
  ShowMemo(3, 315);
  Form2.Memo1.lines = results;
  Form2.Memo1.readOnly = true;
  WhenShown([](QtForm2& f) {
    auto* memo = f.findChild<QPlainTextEdit*>();
    QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QTest::keyClick(memo, Qt::Key_X);
    QTest::keyClick(memo, Qt::Key_Return);
    // Still up when Enter was taken as text: Cancel, so that the test fails instead of waiting.
    QTimer::singleShot(300, [w = &f] {
      if (w->isVisible()) QTest::mouseClick(w->Button(2), Qt::LeftButton);
    });
  });
  ShowDialogModal();
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(Form2.Memo1.lines, results);
  BeginDialog(0);
  ShowMemo(3, 315);
  WhenShown([](QtForm2& f) {
    auto* memo = f.findChild<QPlainTextEdit*>();
    memo->setFocus();
    QTest::keyClicks(memo, "3 4 1");
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  ShowDialogModal();
  EXPECT_EQ(Form2.Memo1.lines, std::vector<std::string>{"3 4 1"});
}

// The help window at scales 1 and 1.5: its OK inside the window and clear of the text box.
TEST_F(QtDialogTest, TheHelpWindowsOkLiesBelowItsText) {
  for (double scale : {1.0, 1.5}) {
    ScreenScale = scale;
    HelpLineCount = 1, HelpLines[1] = "Use OK and BACK buttons to go along Z";
    QTimer::singleShot(0, [this, scale] {
      QtForm3* f = backend->Form3Window();
      EXPECT_FALSE(f->Button1()->geometry().intersects(f->Memo1()->geometry())) << scale;
      EXPECT_TRUE(f->rect().contains(f->Button1()->geometry())) << scale;
      QTest::mouseClick(f->Button1(), Qt::LeftButton);
    });
    ShowHelpText(0);
  }
}

// A ticked check box on the dark background of a dialog reads as ticked: the same light square
// as an unticked one, marked by a dark stroke that runs into two of its corners (a dark middle
// ringed with white all round reads as an empty frame there).
TEST_F(QtDialogTest, ATickedBoxShowsOnADarkBackground) {
  int32_t middle[2] = {}, edge[2] = {}, across[2] = {};
  for (bool ticked : {false, true}) {
    BeginDialog(0);
    TCheckBox& box = Form2.CheckBox1;
    box.SetBounds(10, 10, 300, 24), box.visible = true;
    box.caption = " Specify ASCII line structure ", box.checked = ticked, box.color = BlackColor;
    box.font = {YellowColor, 12, true, false};
    WhenShown([&, ticked](QtForm2& f) {
      QCheckBox* w = f.CheckBox1();
      const QImage shot = w->grab().toImage();
      QStyleOptionButton opt;
      opt.initFrom(w);
      const QRect ind = w->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, w);
      middle[ticked] = qGray(shot.pixel(ind.center()));
      edge[ticked] = std::min(qGray(shot.pixel(ind.left() + 2, ind.top() + 2)), qGray(shot.pixel(ind.right() - 2, ind.bottom() - 2)));
      across[ticked] = std::max(qGray(shot.pixel(ind.left() + 2, ind.bottom() - 2)), qGray(shot.pixel(ind.right() - 2, ind.top() + 2)));
      QTest::keyClick(&f, Qt::Key_Escape);
    });
    ShowDialogModal();
  }
  EXPECT_GT(middle[0], 200);
  EXPECT_LT(middle[1], 60);
  EXPECT_GT(std::min(edge[0], edge[1]), 200);  // the square itself light on the black
  EXPECT_GT(across[0], 200);
  EXPECT_LT(across[1], 60);
}
