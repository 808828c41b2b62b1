// The main window's commands under the scripted backend: the busy state while a command waits or
// a fit runs, the "Select the analysis" dialog and what follows a fit, the side buttons' steps,
// the BMP picture read back with QImage and the save loop after a simulation.
#include <gtest/gtest.h>
#include <QImage>
#include <filesystem>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/toolbox.h"
#include "crystal/refinement_results.h"
#include "mainwin/bmp_picture.h"
#include "mainwin/main_window.h"
#include "mainwin/menu_commands.h"
#include "mainwin/rietveld_dialog.h"
#include "mainwin/session.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
using Strings = std::vector<std::string>;

TMainEvent Key(int32_t key, bool shift = false) { return {TMainEventKind::Key, key, 0, shift}; }
TMainEvent Side(int32_t i) { return {TMainEventKind::SideButton, i, 0, false}; }
TMainEvent Menu(const std::string& caption) {
  for (int32_t t = 1; t <= MainMenuEntryCount; ++t)
    for (int32_t i = 0; i <= static_cast<int32_t>(Form1.Entry(t).items.size()); ++i)
      if (Form1.Entry(t, i).caption == caption) return {TMainEventKind::MenuItem, t, i, false};
  ADD_FAILURE() << "no entry " << caption;
  return {};
}
// New commands arriving while one runs: keys, menu items (Test and Trevo too), a side button
// other than OK and Cancel, the close box.
std::vector<TMainEvent> NewCommands() {
  return {Key(KeyEscape),         Key('R'),       Key('I'),        Key('G'), Key('G', true),
          Menu("Reset the Program"), Menu("&Test"), Menu("&Trevo"), Side(13), {TMainEventKind::CloseRequest}};
}

class CommandsTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    Form1 = TForm1();
    LayoutMainWindow(1.0, 1.0);
    MainMode = GraphMode = 0;
    SessionEnded = 0;       // a session runs: its end would free what a command works on
    ResultsUnsaved[0] = 1;  // a close or Exit that got through would ask (unscripted: a failure)
  }
  KeepValues<int32_t> ints_[7] = {{&MainMode, 1},  {&GraphMode, 1}, {&CurrentSpectrum, 1}, {&IntervalFirst, 1},
                                  {&IntervalLast, 1}, {&NChannels, 1}, {&MarkedPointCount, 1}};
  KeepValues<uint8_t> bytes_[3] = {{FitPending, ModeCount}, {&NoCrystalInfo, 1}, {ResultsUnsaved, ModeCount}};
  KeepValues<uint8_t> ended_{&SessionEnded, 1};
  KeepValues<std::string> strings_[3] = {{&SideButtonMask, 1}, {&SpectrumSlots, 1}, {&WorkDir, 1}};
};

TEST_F(CommandsTest, WhileAClickLoopWaitsOnlyItsOwnButtonsGetThrough) {
  MainMode = 3, MarkedPointCount = 5;  // R would set the mode, "Reset the Program" clear the points
  GraphMode = 5;                       // the model assignment: Cancel ends it with DialogOk 1
  int32_t ignored = 0, okAfterCancel = -1, okAfterOk = -1;
  for (const TMainEvent& e : NewCommands()) ui.QueueEvent([&, e] { ignored += Form1.HandleEvent(e) ? 0 : 1; });
  ui.QueueEvent([] { EXPECT_TRUE(Form1.HandleEvent(Side(2))); });
  ui.QueueEvent([] { EXPECT_TRUE(Form1.HandleEvent(Side(1))); });
  EXPECT_TRUE(RunUserCommand([&] {  // what a click loop does: menus off, OK and Cancel on, waits
    EnableMainMenus(false);
    SideButtonMask = "110000000000";
    ShowSideButtons();
    EXPECT_TRUE(WaitForFlag(ClickFlag));
    okAfterCancel = DialogOk;
    EXPECT_TRUE(WaitForFlag(ClickFlag));
    okAfterOk = DialogOk;
    EnableMainMenus(true);
  }));
  EXPECT_EQ(std::vector<int32_t>({ignored, okAfterCancel, okAfterOk, MainMode, MarkedPointCount}),
            std::vector<int32_t>({10, 1, 0, 3, 5}));
  EXPECT_TRUE(ui.transcript.empty());  // no question, dialog or message
  EXPECT_FALSE(Form1.Label1.visible);  // no status line of Test or Trevo
  EXPECT_EQ(Form1.Image2.canvas.GetPixel(10, 300), BlackColor);  // Cancel blacked the strip
  EXPECT_TRUE(Form1.HandleEvent(Side(13)));  // afterwards the next command runs
  EXPECT_EQ(SideButton13Top, 340);
}

TEST_F(CommandsTest, DuringAFitWithoutTheStopWindowNothingElseStarts) {
  int32_t ignored = 0;
  bool okRefused = false;
  DialogOk = 1;
  ui.AtYield(1, [&] {
    for (const TMainEvent& e : NewCommands()) ignored += Form1.HandleEvent(e) ? 0 : 1;
    okRefused = !Form1.HandleEvent(Side(1));  // the fit waits for no click: OK is refused too
  });
  CreateFitParameters();
  TParameter& f = *FitParameters;
  f.ResetParameterRecords();
  f.NPar = 2, f.NPoints = 10, f.Damp = 0, f.Step = 1, f.EpsReq = -1, f.FunctionalLimit = -1, f.GNIter = 5;
  f.Fit([&](double& Y, double& W, double& F, int32_t i,
            int32_t) { Y = 2 + 3 * i, W = 1, F = f.Records[1].value + f.Records[2].value * i; },
        [](int32_t) { TimerYield(); });
  FreeFitParameters();
  EXPECT_TRUE(ignored == 10 && okRefused && DialogOk == 1);
  EXPECT_EQ(ui.Messages(), Strings{FitBusyMessage});
}

// The dialog's next showing: the preselected item checked, then item choice (0 Cancel).
void ExpectAnalysis(ScriptedUi& ui, int32_t preselected, int32_t choice) {
  DialogScript& d = ui.ExpectDialog("Select the analysis").Inspect([preselected](TForm2& f) {
    EXPECT_EQ(f.RadioGroup1.itemIndex + 1, preselected);
  });
  if (choice == 0) d.Cancel();
  else d.Radio(choice).Ok();
}

TEST_F(CommandsTest, AnalysisDialogPreselectsAndLoopsBackFromItemsOneFiveAndSix) {
  CreateFitParameters();
  const int32_t cases[][3] = {{1, 0, 1}, {1, 2, 1}, {0, 0, 2}, {0, 2, 3}, {0, 3, 3}};  // no crystal, mode, item
  for (const auto& c : cases) {
    NoCrystalInfo = static_cast<uint8_t>(c[0]), MainMode = c[1];
    ExpectAnalysis(ui, c[2], 0);
    EXPECT_TRUE(Form1.HandleEvent(Menu("&Rietveld ")));
  }
  NoCrystalInfo = 1, MainMode = 2;
  StatusText = "Smoothing done";  // what the spectrum functions left: shown once
  ui.ExpectDialog("Select the analysis")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.Label3.caption, "Smoothing done"); })
      .Radio(1)
      .Ok();
  ui.ExpectDialog("Enter the Crystal Information").Cancel();
  ExpectAnalysis(ui, 3, 6);  // back with the item of the mode; the scale correction (no spectrum)
  ExpectAnalysis(ui, 3, 5);  // the analysis modes
  ui.ExpectDialog("").Cancel();
  ExpectAnalysis(ui, 3, 2);  // the Rietveld fit menu, and out
  ui.ExpectDialog(ModeNames[0]).Cancel();
  RietveldAnalysisDialog();
  EXPECT_TRUE(StatusText.empty());
  EXPECT_EQ(MainMode, 0);
  FreeFitParameters();
}

TEST_F(CommandsTest, FitOutcomeRedrawsOnlyAfterAFitOfItsKind) {
  CurrentSpectrum = 2;
  for (int32_t kind : {1, 3})
    for (uint8_t pending : {1, 0})
      for (int32_t ok : {0, 1}) {
        SpectrumSlots = "xx x ", FitPending[kind - 1] = pending, DialogOk = ok;
        ShowFitOutcome(kind);
        // Only the current spectrum is marked for the redraw.
        EXPECT_EQ(SpectrumSlots, pending == 0 && ok == 1 ? "  x  " : "xx x ") << kind << pending << ok;
      }
}

TEST_F(CommandsTest, SideButtonsStepTheIntervalAndTheSpectrum) {
  FreshSpectra spectra;
  TSpectrum& sp = *SpectrumList[1];
  sp.LastChannel = 1000, sp.WorkFirst = 101, sp.WorkLast = 900;
  CurrentSpectrum = 1, SpectrumSlots = " x   ", SideButtonMask = "111111111111";
  ShowSideButtons();
  const struct {
    int32_t button, first, last, newFirst, newLast;
    bool warned;
  } steps[] = {{3, 801, 900, 901, 1000, true}, {3, 901, 1000, 901, 1000, true}, {4, 401, 500, 301, 400, false},
               {4, 51, 150, 1, 100, true}};  // the end keeps the width
  for (const auto& s : steps) {
    IntervalFirst = s.first, IntervalLast = s.last, NChannels = s.last - s.first + 1;
    HideStatusLabels();
    EXPECT_TRUE(Form1.HandleEvent(Side(s.button)));
    EXPECT_EQ(std::vector<int32_t>({IntervalFirst, IntervalLast}), std::vector<int32_t>({s.newFirst, s.newLast}));
    EXPECT_EQ(Form1.Label1.visible && Form1.Label1.caption == OutsideFittedMessage, s.warned) << s.first;
  }
  const int32_t cycle[][3] = {{9, 4, 1}, {9, 2, 3}, {10, 1, 4}, {10, 3, 2}};  // button, from, to
  for (const auto& c : cycle) {
    CurrentSpectrum = c[1];
    EXPECT_TRUE(Form1.HandleEvent(Side(c[0])));
    EXPECT_EQ(CurrentSpectrum, c[2]) << c[0] << " from " << c[1];
  }
  MainMode = 1;  // the GPH and PRF outputs do nothing in the indexing mode
  EXPECT_TRUE(Form1.HandleEvent(Side(6)) && Form1.HandleEvent(Side(12)));
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(CommandsTest, BmpPictureReversedHoldsOnlyBlackAndWhiteAndAFailedWriteIsReported) {
  const std::filesystem::path folder = TestTempPath("bmp");
  std::filesystem::create_directories(folder);
  WorkDir = folder.string();
  Form1.Button(7).enabled = true;
  TImageCanvas& c = Form1.Image2.canvas;
  c.Brush.color = GreenColor;  // not one of the seven: white
  c.FillRect(0, 0, c.Width(), c.Height());
  const int32_t bright[] = {YellowColor, AquaColor, FuchsiaColor, RedColor, LimeColor, WhiteColor, BlueColor};
  for (int32_t k = 0; k < 7; ++k) c.SetPixel(10 + k, 20, bright[k]);
  c.SetPixel(30, 20, BlackColor);
  const std::string name = (folder / "graph.bmp").string(), bad = (folder / "no" / "x.bmp").string();
  ui.ExpectDialog("Picture of the graph")
      .Inspect([&](TForm2& f) { EXPECT_EQ(f.Edit(1).text, (folder / "m.bmp").string()); })
      .Edit(1, name)
      .Ok();
  ui.ExpectQuestion(ReverseQuestion, true);
  EXPECT_TRUE(Form1.HandleEvent(Side(7)));
  const QImage image(QString::fromStdString(name));
  ASSERT_EQ(image.size(), QSize(Scaled(516), Scaled(323)));
  for (int32_t k = 0; k < 7; ++k) EXPECT_EQ(image.pixel(10 + k, 20), qRgb(0, 0, 0)) << k;
  int32_t white = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) white += image.pixel(x, y) == qRgb(255, 255, 255);
  EXPECT_EQ(white, image.width() * image.height() - 7);  // black itself turns white

  ui.ExpectDialog("Picture of the graph").Edit(1, bad).Ok();
  ui.ExpectQuestion(ReverseQuestion, false);
  EXPECT_FALSE(Form1.HandleEvent(Side(7)));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_NE(ui.Messages()[0].find(bad), std::string::npos);
  EXPECT_TRUE(Form1.HandleEvent(Side(13)));  // the session goes on
  // An empty name (or blanks) says that nothing was written, and nothing is.
  for (const char* empty : {"", "   "}) {
    ui.ExpectDialog("Picture of the graph").Edit(1, empty).Ok();
    ui.ExpectMessage("No BMP-file written: the file name is empty");
    EXPECT_TRUE(Form1.HandleEvent(Side(7)));
  }
  EXPECT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // graph.bmp alone
  std::filesystem::remove_all(folder);
}

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
  // The variance is written from the errors; the readers find the counts again afterwards.
  ui.ExpectDialog("Output of the current spectrum").Inspect([](TForm2&) { EXPECT_EQ(VarianceMode, 1); }).Cancel();
  ui.ExpectDialog("Simulated data").Ok();  // "Exit"
  SimulatedDataSaveLoop();
  EXPECT_EQ(VarianceMode, 0);
  EXPECT_EQ(LogLines(), Strings(2, "Simulated: Rietveld      Max= 1234.50"));

  SpectrumList[2]->Name = "/" + std::string(60, 'n');
  ui.ExpectDialog("Simulated data").Inspect([](TForm2& f) { EXPECT_EQ(f.ListBox1.items.at(2), LongNameNote); }).Cancel();
  SimulatedDataSaveLoop();
}
}  // namespace
