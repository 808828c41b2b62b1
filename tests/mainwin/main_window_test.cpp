// The main window's model under the scripted backend: the menu bar as the users know it, the one
// dispatch, the layout routines and what follows a spectrum input.
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include "core/dialog_state.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "mainwin/command_dispatch.h"
#include "mainwin/main_menu.h"
#include "mainwin/main_window.h"
#include "mainwin/session.h"
#include "mainwin/spectrum_commands.h"
#include "support/scripted_fixture.h"

namespace {
// Where an entry sits in the menu bar (1-based; item 0 is the top-level entry itself).
struct Place {
  int32_t top = 0, item = 0;
};
Place Find(const std::string& caption) {
  for (int32_t t = 1; t <= static_cast<int32_t>(Form1.MainMenu1.size()); ++t) {
    const TMenuItem& top = Form1.MainMenu1[static_cast<size_t>(t - 1)];
    if (top.caption == caption) return {t, 0};
    for (int32_t i = 1; i <= static_cast<int32_t>(top.items.size()); ++i)
      if (top.items[static_cast<size_t>(i - 1)].caption == caption) return {t, i};
  }
  ADD_FAILURE() << "no menu entry " << caption;
  return {};
}

bool Click(const std::string& caption) {
  Place p = Find(caption);
  return Form1.HandleEvent({TMainEventKind::MenuItem, p.top, p.item, false});
}

class MainWindowTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    Form1 = TForm1();
    ScreenScale = 1.0;
    FontSize = 10;
    MainMode = 0;
  }
  void TearDown() override {
    ScreenScale = 1.0;
    ScriptedTest::TearDown();
  }
};

// The menu bar's 84 entries with their exact captions: tests/app_qt/inventory_test.cpp.

TEST_F(MainWindowTest, EnableMainMenusLeavesTestAndTrevoAndDisabledEntriesDoNothing) {
  EnableMainMenus(false);
  std::vector<std::string> enabled;
  for (const TMenuItem& top : Form1.MainMenu1)
    if (top.enabled) enabled.push_back(top.caption);
  EXPECT_EQ(enabled, (std::vector<std::string>{"", "&Test", "&Trevo"}));
  // An item of a disabled menu and a disabled direct action run nothing.
  Click("Simulate the Data");
  Click("&Fitra");
  EXPECT_FALSE(Form1.Label1.visible);
  EnableMainMenus(true);
  for (const TMenuItem& top : Form1.MainMenu1) EXPECT_TRUE(top.enabled) << top.caption;
  EXPECT_FALSE(Form1.Entry(1, 11).enabled);  // the separator is not a menu of the bar
}

TEST_F(MainWindowTest, DispatchRunsKeysAndClosesAndKeepsAbandonsInside) {
  // Keys: letters by their upper-case code, Shift counts.
  EXPECT_EQ(KeyHandler('G', false), &TForm1::theSpectrumInterval1Click);
  EXPECT_EQ(KeyHandler('G', true), &TForm1::theSpectrum1Click);
  EXPECT_EQ(KeyHandler('S', true), nullptr);
  EXPECT_EQ(KeyHandler('I', false), &TForm1::InputInifile1Click);
  EXPECT_EQ(KeyHandler(KeyEscape, false), &TForm1::Exit1Click);
  EXPECT_EQ(KeyHandler('R', true), nullptr);

  // A fault inside a command is reported and stays inside the dispatch.
  ui.ExpectMessage("Error, no menu entry 99");
  EXPECT_FALSE(Form1.HandleEvent({TMainEventKind::MenuItem, 99, 0, false}));
  ui.ExpectMessage("Error, no side button 14");
  EXPECT_FALSE(Form1.HandleEvent({TMainEventKind::SideButton, 14, 0, false}));

  // The close request reaches the session's query: with no session running the window may close.
  SessionEnded = 1;
  EXPECT_TRUE(Form1.HandleEvent({TMainEventKind::CloseRequest, 0, 0, false}));
}

TEST_F(MainWindowTest, LayoutRoutinesPlaceTheWindowAndItsControls) {
  LayoutMainWindow(2.0, 1.0);
  EXPECT_EQ(ScreenScale, 2.0);
  EXPECT_EQ(Form1.width, 640);
  EXPECT_EQ(Form1.height, 480);
  EXPECT_EQ(Form1.Image2.top, 180);
  EXPECT_EQ(Form1.Image3.left, 1032);
  EXPECT_EQ(Form1.Image3.height, 646);
  for (const TImage* im : {&Form1.Image1, &Form1.Image2, &Form1.Image3}) {
    EXPECT_EQ(im->canvas.Width(), im->width);
    EXPECT_EQ(im->canvas.Height(), im->height);
    EXPECT_EQ(im->canvas.GetPixel(im->width - 1, im->height - 1), BlackColor);
  }

  ScreenScale = 1.0;
  SideButtonMask = "000011111111";
  MainMode = 3;
  ShowSideButtons();
  const TSideButton& b3 = Form1.Button(3);
  EXPECT_EQ((std::vector<int32_t>{b3.left, b3.top, b3.width, b3.height}), (std::vector<int32_t>{525, 140, 87, 20}));
  EXPECT_EQ(Form1.Button(13).top, 340);
  for (int32_t i = 1; i <= SideButtonCount; ++i) {
    EXPECT_TRUE(Form1.Button(i).visible);
    EXPECT_EQ(Form1.Button(i).enabled, i >= 5) << i;
  }
  EXPECT_EQ(Form1.Button(8).caption, "Plot peaks");

  ShowStatus("first", "");
  EXPECT_TRUE(Form1.Label1.visible);
  EXPECT_FALSE(Form1.Label2.visible);
  EXPECT_EQ(Form1.Label1.top, 67);
  HideStatusLabels();
  EXPECT_FALSE(Form1.Label1.visible);

  ShowStatus("first", "second");
  Form1.Image2.visible = true;
  Form4.visible = true;
  ResetMainWindow();
  EXPECT_FALSE(Form1.Label1.visible || Form1.Label2.visible || Form1.Image2.visible || Form4.visible);
  for (int32_t i = 1; i <= SideButtonCount; ++i) EXPECT_FALSE(Form1.Button(i).visible);
  EXPECT_EQ(Form1.Canvas.GetPixel(10, 10), GrayColor);
}

class SpectrumCommandTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    for (auto& s : SpectrumList) s = std::make_unique<TSpectrum>("DUMMY");
    CurrentSpectrum = 1;
  }
  void TearDown() override {
    for (auto& s : SpectrumList) s.reset();
    MainWindowTest::TearDown();
  }
};

TEST_F(SpectrumCommandTest, SelectAndSummaryFollowTheSpectrum) {
  TSpectrum& s = *SpectrumList[3];
  s.WorkFirst = 12;
  s.WorkLast = 900;
  GraphMode = 0;
  SideButtonMask = "111111111111";
  SelectSpectrum(3);
  EXPECT_EQ(IntervalFirst, 12);
  EXPECT_EQ(IntervalLast, 900);
  EXPECT_EQ(GraphMode, 1);
  EXPECT_EQ(CurrentSpectrum, 3);
  EXPECT_EQ(SpectrumSlots, "   x ");
  EXPECT_EQ(SideButtonMask, "000011111111");

  InfoLines.count = 0;
  AddInfoLine("The spectrum read in.");
  AddInfoLine("second line");
  s.Name = "/data/a.sp";
  s.Ymax = 12345.67;
  s.Ymin = -2.0;
  ShowSpectrumSummary("Spectrum ", 1, 3);
  EXPECT_EQ(Form1.Label1.caption, "The spectrum read in.");
  EXPECT_EQ(Form1.Label2.caption, "second line");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"Spectrum /data/a.sp input", "Max,min= 12345.7  -2.0",
                                                  "Flight path  delay  ch-width  Bragg angle",
                                                  "   21.13000    0.0       4.0     76.000"}));

  LogFile.RewriteToMemory("log");
  s.AxisKind = AxisAngular;
  ShowSpectrumSummary("Effective spectrum ", 1, 3);
  EXPECT_EQ(Form1.Label2.caption, "  2thetas, channel width=const");
  EXPECT_EQ(LogLines().at(2), "   Lambda    zero ");
  EXPECT_EQ(LogLines().at(3), "    1.54000    0.0");

  LogFile.RewriteToMemory("log");
  ShowSpectrumSummary("Variance ", 0, 3);  // no calibration for a variance
  EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(SpectrumCommandTest, InputItemsCancelledChangeNothingButTheNextSpectrumNumber) {
  // "Input the Next Spectrum" from spectrum 4 reads into spectrum 1.
  CurrentSpectrum = 4;
  GraphMode = 0;
  ui.CancelFileDialog();
  EXPECT_TRUE(Click("Input the Next Spectrum"));
  EXPECT_EQ(CurrentSpectrum, 1);
  EXPECT_EQ(GraphMode, 0);
  // The variance of "spectrum 0" goes to spectrum 1; a cancel writes no summary.
  CurrentSpectrum = 0;
  ui.CancelFileDialog();
  EXPECT_TRUE(Click("Input the Variance"));
  EXPECT_EQ(CurrentSpectrum, 1);
  EXPECT_FALSE(Form1.Label1.visible);
  EXPECT_TRUE(LogLines().empty());
}
TEST_F(SpectrumCommandTest, InputTheSpectrumEndToEndSelectsAndSummarises) {
  const std::string file = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/spectra/k4_three.txt";
  GraphMode = 0;
  InfoLines.count = 0;
  ui.ChooseFile(file);
  ui.ExpectDialog("Spectrum 1 input").Radio(4).Radio2(1).Ok();  // X Y E text, time of flight
  ui.ExpectDialog("Spectrum 1 input").Ok();                     // widths and analysis bounds
  ui.ExpectDialog("Spectrum 1 input").Ok();                     // calibration
  EXPECT_TRUE(Click("Input the Spectrum"));
  EXPECT_EQ(GraphMode, 1);
  EXPECT_EQ(SpectrumSlots, " x   ");
  EXPECT_EQ(IntervalFirst, 1);
  EXPECT_EQ(IntervalLast, 4);
  EXPECT_EQ(Form1.Label1.caption, "The spectrum read in.");
  std::vector<std::string> log = LogLines();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
            (std::vector<std::string>{"Spectrum " + file + " input", "Max,min= 400.0  0.0",
                                      "Flight path  delay  ch-width  Bragg angle",
                                      "   21.13000    0.0       4.0     76.000"}));
}
}  // namespace
