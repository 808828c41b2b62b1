// The main window's commands under the scripted backend: the busy state while a command waits or
// a fit runs, the "Select the analysis" dialog and what follows a fit, the guards, the side
// buttons' steps, the BMP picture read back with QImage and the save loop after a simulation.
#include <gtest/gtest.h>
#include <QImage>
#include <cmath>
#include <filesystem>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/graph_drawing.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/toolbox.h"
#include "crystal/refinement_results.h"
#include "mainwin/bmp_picture.h"
#include "mainwin/main_window.h"
#include "mainwin/menu_commands.h"
#include "mainwin/placeholders.h"
#include "mainwin/rietveld_dialog.h"
#include "mainwin/session.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
using Strings = std::vector<std::string>;

TMainEvent Key(int32_t key, bool shift = false) { return {TMainEventKind::Key, key, 0, shift}; }
TMainEvent Side(int32_t i) { return {TMainEventKind::SideButton, i, 0, false}; }
TMainEvent Menu(const std::string& caption) {
  for (int32_t t = 1; t <= MainMenuEntryCount; ++t) {
    if (Form1.Entry(t).caption == caption) return {TMainEventKind::MenuItem, t, 0, false};
    for (int32_t i = 1; i <= static_cast<int32_t>(Form1.Entry(t).items.size()); ++i)
      if (Form1.Entry(t, i).caption == caption) return {TMainEventKind::MenuItem, t, i, false};
  }
  ADD_FAILURE() << "no entry " << caption;
  return {};
}
const TMainEvent kClose{TMainEventKind::CloseRequest, 0, 0, false};

class CommandsTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    Form1 = TForm1();
    LayoutMainWindow(1.0, 1.0);
    MainMode = GraphMode = 0;
    SessionEnded = 1;  // no session: a close that gets through ends nothing
  }
  KeepValues<int32_t> ints_[8] = {{&MainMode, 1},      {&GraphMode, 1},    {&CurrentSpectrum, 1},
                                  {&IntervalFirst, 1}, {&IntervalLast, 1}, {&NChannels, 1},
                                  {&MarkedPointCount, 1}, {&DialogOk, 1}};
  KeepValues<uint8_t> bytes_[5] = {{FitPending, ModeCount}, {&NoCrystalInfo, 1}, {&LogXScale, 1},
                                   {&SessionEnded, 1}, {ResultsUnsaved, ModeCount}};
  KeepValues<std::string> strings_[3] = {{&SideButtonMask, 1}, {&SpectrumSlots, 1}, {&WorkDir, 1}};
  KeepValues<double> scale_{&ScreenScale, 1};
};

// ---- the busy state ----

// Every new command arriving while one runs: keys, menu items (Test too), other side buttons, the
// close box. Each must be ignored.
std::vector<TMainEvent> NewCommands() {
  return {Key(KeyEscape), Key('R'), Key('I'), Key('G'), Key('G', true), Menu("Reset the Program"),
          Menu("&Test"),  Menu("&Trevo"), Side(13), kClose};
}

TEST_F(CommandsTest, WhileAClickLoopWaitsOnlyItsOwnButtonsGetThrough) {
  MainMode = 3;
  MarkedPointCount = 5;  // "Reset the Program" would clear the points
  SessionEnded = 0;
  ResultsUnsaved[0] = 1;  // a close that got through would ask the exit question
  GraphMode = 5;          // the model assignment: Cancel (button 2) ends it with DialogOk 1
  int32_t ignored = 0;
  const std::vector<TMainEvent> commands = NewCommands();
  for (const TMainEvent& e : commands) ui.QueueEvent([&, e] { ignored += Form1.HandleEvent(e) ? 0 : 1; });
  ui.QueueEvent([] { EXPECT_TRUE(Form1.HandleEvent(Side(2))); });
  ui.QueueEvent([] { EXPECT_TRUE(Form1.HandleEvent(Side(1))); });
  int32_t okAfterCancel = -1, okAfterOk = -1;
  const bool ran = RunUserCommand([&] {
    // What a click loop does: menus off, only OK and Cancel on, then the waits.
    EnableMainMenus(false);
    SideButtonMask = "110000000000";
    ShowSideButtons();
    EXPECT_TRUE(ProgramBusy());
    EXPECT_TRUE(WaitForFlag(ClickFlag));
    okAfterCancel = DialogOk;
    EXPECT_TRUE(WaitForFlag(ClickFlag));
    okAfterOk = DialogOk;
    EnableMainMenus(true);
    SideButtonMask = "000011111111";
    ShowSideButtons();
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(ignored, static_cast<int32_t>(commands.size()));
  EXPECT_EQ(okAfterCancel, 1);
  EXPECT_EQ(okAfterOk, 0);
  EXPECT_EQ(MainMode, 3);
  EXPECT_EQ(MarkedPointCount, 5);
  EXPECT_EQ(SessionEnded, 0);
  EXPECT_TRUE(ui.transcript.empty());  // no question, dialog or message
  EXPECT_FALSE(Form1.Label1.visible);  // no command's status line (Test and Trevo show one)
  // Cancel in the model assignment blacks the strip under the curves.
  EXPECT_EQ(Form1.Image2.canvas.GetPixel(10, 300), BlackColor);
  // Afterwards the menus and the mask are back and the next command runs.
  EXPECT_FALSE(ProgramBusy());
  EXPECT_TRUE(Form1.Entry(1).enabled);
  EXPECT_TRUE(Form1.HandleEvent(Side(13)));
  EXPECT_EQ(SideButton13Top, 340);
}

TEST_F(CommandsTest, DuringAFitWithoutTheStopWindowNothingElseStarts) {
  MainMode = 2;
  SessionEnded = 0;
  ResultsUnsaved[0] = 1;
  const std::vector<TMainEvent> commands = NewCommands();
  int32_t ignored = 0;
  bool okRefused = false;
  DialogOk = 1;
  ui.AtYield(1, [&] {
    for (const TMainEvent& e : commands) ignored += Form1.HandleEvent(e) ? 0 : 1;
    okRefused = !Form1.HandleEvent(Side(1));  // the fit waits for no click: OK is refused too
  });
  CreateFitParameters();
  TParameter& f = *FitParameters;
  f.ResetParameterRecords();
  f.NPar = 2, f.NPoints = 10, f.Damp = 0, f.Step = 1, f.EpsReq = -1, f.FunctionalLimit = -1, f.GNIter = 5;
  f.Records[1].value = 1, f.Records[2].value = 1;
  f.Fit(
      [&](double& Y, double& W, double& F, int32_t point, int32_t) {
        Y = 2 + 3 * point, W = 1, F = f.Records[1].value + f.Records[2].value * point;
      },
      [](int32_t) { TimerYield(); });
  FreeFitParameters();
  EXPECT_EQ(ignored, static_cast<int32_t>(commands.size()));
  EXPECT_TRUE(okRefused);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(MainMode, 2);
  EXPECT_EQ(ui.Messages(), Strings{FitBusyMessage});
}

// ---- "Select the analysis" and the fit outcome ----

class AnalysisDialogTest : public CommandsTest {
protected:
  void SetUp() override {
    CommandsTest::SetUp();
    CreateFitParameters();
  }
  void TearDown() override {
    FreeFitParameters();
    CommandsTest::TearDown();
  }
  // The next showing of the dialog: the preselected item checked, then item choice (0 Cancel).
  void Expect(int32_t preselected, int32_t choice) {
    DialogScript& d = ui.ExpectDialog("Select the analysis").Inspect([preselected](TForm2& f) {
      EXPECT_EQ(f.RadioGroup1.itemIndex + 1, preselected);
      EXPECT_EQ(f.RadioGroup1.items.size(), 7u);
    });
    if (choice == 0) d.Cancel();
    else d.Radio(choice).Ok();
  }
};

TEST_F(AnalysisDialogTest, PreselectionFollowsTheCrystalDataAndTheMode) {
  const struct {
    uint8_t noCrystal;
    int32_t mode, item;
  } cases[] = {{1, 0, 1}, {1, 2, 1}, {0, 0, 2}, {0, 2, 3}, {0, 3, 3}};
  for (const auto& c : cases) {
    NoCrystalInfo = c.noCrystal;
    MainMode = c.mode;
    Expect(c.item, 0);
    EXPECT_TRUE(Form1.HandleEvent(Menu("&Rietveld ")));
  }
  // The status the spectrum functions left: white on blue at 50,290, shown once.
  StatusText = "Smoothing done";
  ui.ExpectDialog("Select the analysis")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.Label3.caption, "Smoothing done");
        EXPECT_EQ(f.Label3.top, 290);
        EXPECT_EQ(f.Label3.color, BlueColor);
      })
      .Cancel();
  RietveldAnalysisDialog();
  EXPECT_TRUE(StatusText.empty());
}

TEST_F(AnalysisDialogTest, ItemsOneFiveAndSixComeBackAndTheOthersLeave) {
  NoCrystalInfo = 1;
  MainMode = 2;
  Expect(1, 1);
  ui.ExpectDialog("Enter the Crystal Information").Cancel();
  Expect(3, 6);      // back with the item of the mode; the scale correction without a spectrum
  Expect(3, 5);      // unchanged preselection; the analysis modes
  ui.ExpectDialog("").Cancel();
  Expect(3, 4);      // the Fourier synthesis leaves
  RietveldAnalysisDialog();
  EXPECT_EQ(Form1.Label1.caption, std::string("FourierSynthesis") + NotAvailableSuffix);

  // Item 2 sets the Rietveld mode and opens its fit menu; item 7 the parameter array.
  NoCrystalInfo = 0;
  Expect(3, 2);
  ui.ExpectDialog(ModeNames[0]).Cancel();
  RietveldAnalysisDialog();
  EXPECT_EQ(MainMode, 0);
  Expect(2, 7);
  RietveldAnalysisDialog();
  EXPECT_EQ(StatusMessage, "No parameters");
}

TEST_F(AnalysisDialogTest, FitOutcomeRedrawsOnlyAfterAFitOfItsKind) {
  CurrentSpectrum = 2;
  for (int32_t kind : {1, 3}) {
    for (uint8_t pending : {1, 0}) {
      for (int32_t ok : {0, 1}) {
        SpectrumSlots = "xx x ";
        FitPending[kind - 1] = pending;
        DialogOk = ok;
        StatusMessage = "fit done";
        ShowFitOutcome(kind);
        EXPECT_EQ(Form1.Label1.caption, "fit done");
        // Only the current spectrum is marked for the redraw.
        EXPECT_EQ(SpectrumSlots, pending == 0 && ok == 1 ? "  x  " : "xx x ") << kind << pending << ok;
      }
    }
  }
  StatusMessage.clear();
}

// ---- guards and steps ----

// "Needs a graph" is in the inventory on the Qt window; with a logarithmic x scale the click
// commands do nothing at all, graph or not.
TEST_F(CommandsTest, ClickCommandsDoNothingWithALogarithmicXScale) {
  LogXScale = 1;
  for (const char* item : {"Interval Bounds", "Set of Points", "Assign the Models", "Peak Model Bounds"}) {
    EXPECT_TRUE(Form1.HandleEvent(Menu(item)));
    EXPECT_FALSE(Form1.Label1.visible) << item;
  }
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(CommandsTest, SideButtonsStepTheIntervalAndTheSpectrum) {
  FreshSpectra spectra;
  SpectrumList[1]->FirstChannel = 1, SpectrumList[1]->LastChannel = 1000;
  SpectrumList[1]->WorkFirst = 101, SpectrumList[1]->WorkLast = 900;
  CurrentSpectrum = 1;
  SpectrumSlots = " x   ";
  SideButtonMask = "111111111111";
  ShowSideButtons();
  IntervalFirst = 801, IntervalLast = 900, NChannels = 100;
  EXPECT_TRUE(Form1.HandleEvent(Side(3)));  // 901..1000: past the fitted interval
  EXPECT_EQ(IntervalFirst, 901);
  EXPECT_EQ(IntervalLast, 1000);
  EXPECT_EQ(Form1.Label1.caption, OutsideFittedMessage);
  EXPECT_TRUE(Form1.HandleEvent(Side(3)));  // clamped at the end, the width kept
  EXPECT_EQ(IntervalFirst, 901);
  EXPECT_EQ(IntervalLast, 1000);
  IntervalFirst = 401, IntervalLast = 500;
  HideStatusLabels();
  EXPECT_TRUE(Form1.HandleEvent(Side(4)));
  EXPECT_EQ(IntervalFirst, 301);
  EXPECT_EQ(IntervalLast, 400);
  EXPECT_FALSE(Form1.Label1.visible);  // inside the fitted interval: no warning

  // The spectrum steps run round, 4 -> 1 and 1 -> 4, and show the spectrum stepped to.
  const struct {
    int32_t button, from, to;
  } steps[] = {{9, 4, 1}, {9, 2, 3}, {10, 1, 4}, {10, 3, 2}};
  for (const auto& s : steps) {
    CurrentSpectrum = s.from;
    SpectrumList[s.to]->LastChannel = 100 * s.to;
    EXPECT_TRUE(Form1.HandleEvent(Side(s.button)));
    EXPECT_EQ(CurrentSpectrum, s.to) << s.button << " from " << s.from;
    EXPECT_EQ(IntervalLast, 100 * s.to);
    EXPECT_TRUE(Form1.Image2.visible);
  }
  // The GPH and PRF outputs do nothing in the indexing mode.
  MainMode = 1;
  EXPECT_TRUE(Form1.HandleEvent(Side(6)));
  EXPECT_TRUE(Form1.HandleEvent(Side(12)));
  EXPECT_TRUE(ui.transcript.empty());
}

// ---- the BMP picture ----

class BmpPictureTest : public CommandsTest {
protected:
  void SetUp() override {
    CommandsTest::SetUp();
    fs::create_directories(folder);
    WorkDir = folder.string();
    Form1.Button(7).enabled = true;
    TImageCanvas& c = Form1.Image2.canvas;
    c.Brush.color = GreenColor;  // a colour outside the seven: white after the reversal
    c.FillRect(0, 0, c.Width(), c.Height());
    for (size_t k = 0; k < kBright.size(); ++k) c.SetPixel(static_cast<int32_t>(10 + k), 20, kBright[k]);
    c.SetPixel(30, 20, BlackColor);
    c.SetPixel(31, 20, GrayColor);
  }
  void TearDown() override {
    fs::remove_all(folder);
    CommandsTest::TearDown();
  }
  // Side button 7 with the name typed and the question answered.
  void Save(const std::string& name, bool reverse) {
    ui.ExpectDialog("Picture of the graph")
        .Inspect([this](TForm2& f) { EXPECT_EQ(f.Edit(1).text, (folder / "m.bmp").string()); })
        .Edit(1, name)
        .Ok();
    ui.ExpectQuestion(ReverseQuestion, reverse);
    EXPECT_TRUE(Form1.HandleEvent(Side(7)));
  }
  const std::vector<int32_t> kBright = {YellowColor, AquaColor, FuchsiaColor, RedColor,
                                        LimeColor,   WhiteColor, BlueColor};
  fs::path folder = TestTempPath("bmp");
};

TEST_F(BmpPictureTest, ReversedPictureHoldsOnlyBlackAndWhite) {
  const std::string name = (folder / "graph.bmp").string();
  Save(name, true);
  QImage image(QString::fromStdString(name));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), Scaled(516));
  EXPECT_EQ(image.height(), Scaled(323));
  for (size_t k = 0; k < kBright.size(); ++k)
    EXPECT_EQ(image.pixel(static_cast<int>(10 + k), 20), qRgb(0, 0, 0)) << k;
  EXPECT_EQ(image.pixel(30, 20), qRgb(255, 255, 255));  // black itself turns white
  EXPECT_EQ(image.pixel(31, 20), qRgb(255, 255, 255));
  for (int y = 0; y < image.height(); y += 7)
    for (int x = 0; x < image.width(); x += 5)
      ASSERT_TRUE(image.pixel(x, y) == qRgb(0, 0, 0) || image.pixel(x, y) == qRgb(255, 255, 255)) << x << "," << y;
  EXPECT_EQ(Form2.caption, "100%");
}

TEST_F(BmpPictureTest, WithoutReversalTheColoursStayAndAFailedWriteLeavesTheSessionRunning) {
  const std::string name = (folder / "plain.bmp").string();
  Save(name, false);
  QImage image(QString::fromStdString(name));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.pixel(10, 20), qRgb(255, 255, 0));  // yellow
  EXPECT_EQ(image.pixel(0, 0), qRgb(0, 128, 0));

  const std::string bad = (folder / "no" / "such" / "x.bmp").string();
  ui.ExpectDialog("Picture of the graph").Edit(1, bad).Ok();
  ui.ExpectQuestion(ReverseQuestion, false);
  EXPECT_FALSE(Form1.HandleEvent(Side(7)));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_NE(ui.Messages()[0].find(bad), std::string::npos);
  EXPECT_TRUE(Form1.HandleEvent(Side(13)));  // the next command runs
}

// ---- the save loop after a simulation ----

TEST_F(CommandsTest, SimulationSaveLoopLogsAndSavesUntilExit) {
  FreshSpectra spectra;
  CurrentSpectrum = 2;
  SpectrumList[2]->Name = "/data/sim.dat";
  SpectrumList[2]->Ymax = 1234.5;
  DialogHint = "Simulated: Rietveld";
  ui.ExpectDialog("Simulated data")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.ListBox1.items, (Strings{"Simulated: Rietveld", "      Max= 1234.50",
                                             "The simulated spectrum name=/data/sim.dat"}));
        EXPECT_EQ(f.RadioGroup1.itemIndex, 2);  // "Exit"
      })
      .Radio(2)
      .Ok();
  ui.ExpectDialog("Simulated data").Ok();  // "Exit"
  SimulatedDataSaveLoop();
  EXPECT_EQ(Form1.Label1.caption, std::string("OutputSpectrumFile") + NotAvailableSuffix);
  EXPECT_EQ(LogLines(), (Strings{"Simulated: Rietveld      Max= 1234.50", "Simulated: Rietveld      Max= 1234.50"}));

  SpectrumList[2]->Name = "/" + std::string(60, 'n');
  ui.ExpectDialog("Simulated data")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.ListBox1.items.at(2), LongNameNote); })
      .Cancel();
  SimulatedDataSaveLoop();
}
}  // namespace
