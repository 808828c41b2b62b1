// The event handlers of the dialog window and the waits of long work: Save, B7, Fourie, Browse,
// Help, the colour sample, clicks on the image, the one-shot timer and the STOP button.
#include <gtest/gtest.h>
#include <utility>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "support/gui_app.h"
#include "support/scripted_fixture.h"

namespace {
using Lines = std::vector<std::string>;

class DialogHandlersTest : public DialogTest {
protected:
  DialogHandlersTest() : DialogTest("Handlers") {}
  void SetUp() override {
    DialogTest::SetUp();
    Form2ClickMode = 0;
    ColourSampleSwitch = 0;
    if (!FitParameters) CreateFitParameters();
    ClearFitStopRequest();
  }
  void TearDown() override {
    Form2ClickMode = 0;
    ClearFitStopRequest();
    DialogTest::TearDown();
  }
};

TEST_F(DialogHandlersTest, SaveWritesTheListOncePerDialog) {
  InfoLines.count = 0;
  AddInfoLine("a = 1");
  AddInfoLine("b = 2");
  ui.ExpectDialog("Handlers").Save().Save().Ok();
  ui.ExpectDialog("Handlers").Save().Cancel();  // a new dialog with "Save" may save again
  for (int k = 0; k < 2; ++k) {
    PrepareDialog(420, 1, 450);
    ShowListBox(5, 5, 300, 300);
    ShowDialogModal();
  }
  EXPECT_EQ(LogLines(), (Lines{" Handlers", "a = 1", "b = 2", " Handlers", "a = 1", "b = 2"}));
  EXPECT_EQ(ListSavedFlag, 1);
}

TEST_F(DialogHandlersTest, B7CountsTheTries) {
  struct Case { Lines cells; const char* total; int32_t ok; };
  const Case cases[] = {
      {{"2", "3", "0.4", "-5", "1", "1", "10"}, "300", 1},  // each factor at least 1, the last as it is
      {Lines(7, "1000"), "1000000000000000000000", 1},      // far beyond 32-bit integers
      {{"4", "x", "1", "1", "1", "1", "2"}, "8", 0},        // unreadable: 1.001, marked, still counted
      {{"1", "1", "1", "1", "1", "1", "-0.4"}, "0", 1},     // rounds to zero, not to "-0"
  };
  DialogColumnWidths[0] = DialogColumnWidths[1] = 80;
  for (const Case& c : cases) {
    BeginDialog(0);
    ShowNumberGrid(5, 5, 7, 8, 1, 7);
    for (int r = 0; r < 7; ++r) Form2.StringGrid1.Cell(0, r) = c.cells[static_cast<size_t>(r)];
    Form2.Button7Click();
    EXPECT_EQ(Form2.Label6.caption, std::string(" Total N of tries= ") + c.total + " ");
    EXPECT_TRUE(Form2.Label6.visible);
    EXPECT_EQ(DialogOk, c.ok) << c.total;
  }
}

TEST_F(DialogHandlersTest, ButtonsThatCloseTheWindow) {
  int32_t pressed = 0;
  ExtraButtonHandlers[12] = [&] { ++pressed; Form2.Close(); };
  struct Case { int32_t button, clickMode, slice, browse, pressed; };
  const Case cases[] = {
      {8, 1, 8, 0, 0},    // Fourie in the map: two slices down
      {8, 0, 10, 0, 0},
      {9, 0, 10, 1, 0},   // Browse
      {12, 0, 10, 0, 1},  // installed by the crystallographic tools
  };
  for (const Case& c : cases) {
    FourierSettings.slice = 10;
    BrowseRequest = pressed = 0;
    Form2ClickMode = c.clickMode;
    ui.ExpectDialog("Handlers").Press(c.button);
    BeginDialog(0);
    PlaceButton(Form2.Button(c.button), 5, 5, "B", 20, 60);
    ShowDialogModal();
    EXPECT_EQ(std::vector<int32_t>({FourierSettings.slice, BrowseRequest, pressed, DialogOk}),
              std::vector<int32_t>({c.slice, c.browse, c.pressed, 1})) << c.button;
  }
  ExtraButtonHandlers[12] = nullptr;
  FourierSettings.slice = 0;
}

TEST_F(DialogHandlersTest, ColourSample) {
  DialogOptions.count = 13;
  for (int i = 1; i <= 13; ++i) DialogOptions.captions[i] = ColorTable[i - 1].name;
  for (int32_t on : {1, 0}) {
    ColourSampleSwitch = static_cast<uint8_t>(on);
    ui.ExpectDialog("Handlers").Radio(3).Ok();
    BeginDialog(0);
    ShowRadioGroup(1, 0, 10, 325, 120, 30);
    ShowDialogModal();
    EXPECT_EQ(Form2.Label11.visible, on == 1);
    if (!on) continue;
    EXPECT_EQ(Form2.Label11.color, 0x008000);  // "Green", the third colour
    TRadioGroup other;  // a group of another window leaves the sample alone
    PlaceRadioGroup(other, 1, 5, TealColor, 100, 100, 5);
    EXPECT_TRUE(Form2.Label11.visible);
    ShowRadioGroup(1, 0, 10, 325, 120, 30);  // showing the choice again hides it
    EXPECT_FALSE(Form2.Label11.visible);
  }
}

TEST_F(DialogHandlersTest, ImageClicks) {
  std::unique_ptr<TSpectrum> saved = std::exchange(SpectrumList[1], std::make_unique<TSpectrum>("test"));
  int32_t savedCurrent = std::exchange(CurrentSpectrum, 1);
  SpectrumList[1]->WorkFirst = 101;
  SpectrumList[1]->WorkLast = 300;
  DialogGraphWidth = 100;
  double shown = -1;
  ShowPointInfoHook = [&](double c) { shown = c; };
  for (int32_t mode : {0, 3}) {  // the point information is shown in modes 3 and 4 only
    Form2ClickMode = mode;
    ClickFlag = 0;
    Form2.Image1MouseDown(51, 7);  // channel 101 + 200 / 100 * 50 of the working range
    EXPECT_EQ(shown, mode == 3 ? 201 : -1) << mode;
    EXPECT_EQ(ClickFlag, mode == 3 ? 1 : 0) << mode;
  }
  ShowPointInfoHook = nullptr;
  SpectrumList[1] = std::move(saved);
  CurrentSpectrum = savedCurrent;

  // In the Fourier map the click writes the point and its amplitude.
  RequireGuiApplication();
  ClearDialogImage();
  Form2ClickMode = 1;
  FourierSettings.slice = 4;
  FourierMap[4][3][4] = 12.345;
  auto textPixels = [] {
    int n = 0;
    for (int y = 60; y < 120; ++y)
      for (int x = 0; x < 300; ++x) n += Form2.Image1.canvas.GetPixel(x, y) != BlackColor;
    return n;
  };
  Form2.Image1MouseDown(300, 100);  // outside the map
  EXPECT_EQ(textPixels(), 0);
  Form2.Image1MouseDown(150, 160);  // grid column 4, row 3
  EXPECT_GT(textPixels(), 0);
  FourierSettings.slice = 0;
}

TEST_F(DialogHandlersTest, HelpAndInformationWindows) {
  RusHelp = 0;
  ScreenScale = 1.5;
  ui.ExpectDialog("Handlers").Help().Inspect([](TForm2& f) { EXPECT_TRUE(f.Button1.enabled && f.Button3.enabled); }).Ok();
  ui.ExpectDialog("Handlers").Help().Ok();
  SetHelpLines(AsciiColumnsHelp);
  BeginDialog(1);  // keeps the topic
  ShowDialogModal();
  BeginDialog(0);  // the blank page
  ShowDialogModal();
  ShowHelpText(1);
  InfoLines.count = 0;
  AddInfoLine("Phase 1");
  ShowInfoWindow();
  ASSERT_EQ(ui.infoWindows.size(), 4u);
  const auto& topic = AsciiColumnsHelp.lines;
  EXPECT_EQ(ui.infoWindows[0].Memo1.lines, Lines(topic.begin(), topic.begin() + AsciiColumnsHelp.count));
  EXPECT_EQ(ui.infoWindows[0].width, 960);  // 640 scaled
  EXPECT_EQ(ui.infoWindows[1].Memo1.lines, Lines{" "});
  EXPECT_TRUE(ui.infoWindows[2].Label1.visible);  // "To be continued"
  EXPECT_EQ(ui.infoWindows[3].ListBox1.items, Lines{"Phase 1"});  // the information lines in a list
  EXPECT_EQ(DialogOk, 1);
  RusHelp = 1;
}

TEST_F(DialogHandlersTest, TimerYieldAndStopButton) {
  ClickFlag = 0;
  EXPECT_TRUE(TimerYield());  // one pass, ended by the timer
  EXPECT_EQ(ui.YieldCount(), 1);
  EXPECT_FALSE(ui.TimerArmed());

  StopButtonOption = 1;
  ShowStopWindow();
  ShowDialogModeless();
  ui.StopAtYield(4);  // the third pass of the fit
  int iterations = 0;
  while (iterations < 10 && !FitStopRequested()) {
    ++iterations;
    TimerYield();
  }
  EXPECT_EQ(iterations, 3);
  StopButtonOption = 0;
  ShowStopWindow();
  EXPECT_TRUE(DescribeDialog(Form2).empty());  // no STOP button
  ResetDialogForm(420, 440);
}

// A click ends the yield before the timer fires: the timer must not end the next wait with a click
// that never happened. A wait that nothing can end (the program quits) cancels and stops the fit.
TEST_F(DialogHandlersTest, StaleTimerAndQuitting) {
  Form2ClickMode = 3;
  DialogGraphWidth = 100;
  ui.AtYield(1, [] { Form2.Image1MouseDown(10, 10); });
  EXPECT_TRUE(TimerYield());
  EXPECT_FALSE(ui.TimerArmed());
  EXPECT_EQ(ui.YieldCount(), 0);  // the timer never fired
  bool clicked = false;
  ui.QueueEvent([&] { clicked = true; ClickFlag = 1; });
  EXPECT_TRUE(WaitForFlag(ClickFlag));
  EXPECT_TRUE(clicked);

  ui.onUnexpected = nullptr;  // nothing scripted is left to end a wait
  DialogOk = 1;
  EXPECT_FALSE(WaitForFlag(ClickFlag));
  EXPECT_EQ(DialogOk, 0);
  EXPECT_FALSE(TimerYield());
  EXPECT_TRUE(FitStopRequested());
}
}  // namespace
