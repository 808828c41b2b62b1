// The start dialog: its controls, its answer, and the demonstration graph read back by pixels at
// points computed by hand from the peak formulas (one point on each branch of peak 1).
#include <gtest/gtest.h>
#include "core/info_window.h"
#include "core/settings_file.h"
#include "mainwin/start_dialog.h"
#include "support/gui_app.h"
#include "support/scripted_fixture.h"

namespace {
class StartDialogTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    RequireGuiApplication();  // the texts are drawn over the graph, as in the program
    RusHelp = 0;
  }
  void TearDown() override {
    StartDialogAccepted = 1;
    RusHelp = 1;
    DialogTest::TearDown();
  }
};

TEST_F(StartDialogTest, PictureByPixels) {
  DrawStartDialog();
  const TImageCanvas& c = Form2.Image1.canvas;
  ASSERT_EQ(c.Width(), 780);
  ASSERT_EQ(c.Height(), 580);
  // The sum curve: s = round(peaks) + 10 at row 140 - s. Each point's magenta block keeps its
  // left column; its centre is where the next aqua line starts.
  struct Point {
    int32_t x, row;
  };
  for (Point p : {Point{80, 30}, Point{83, 73}, Point{90, 145}}) {
    SCOPED_TRACE(p.x);
    EXPECT_EQ(c.GetPixel(p.x, p.row), AquaColor);
    for (int32_t dy = -1; dy <= 1; ++dy) EXPECT_EQ(c.GetPixel(p.x - 1, p.row + dy), FuchsiaColor);
  }
  // Peaks 3 and 4 alone in yellow: peak 4's centre (50), peak 3's left flank at 200 (round 16.77).
  EXPECT_EQ(c.GetPixel(232, 90), YellowColor);
  EXPECT_EQ(c.GetPixel(200, 123), YellowColor);
  // The panel: black inside a red frame ending at 419, 199; the hatch outside it.
  EXPECT_EQ(c.GetPixel(5, 100), BlackColor);
  EXPECT_EQ(c.GetPixel(419, 60), RedColor);
  EXPECT_EQ(c.GetPixel(300, 199), RedColor);
  int aqua = 0, white = 0, other = 0;
  for (int32_t y = 200; y < 240; ++y)
    for (int32_t x = 620; x < 700; ++x) {
      int32_t v = c.GetPixel(x, y);
      (v == AquaColor ? aqua : v == WhiteColor ? white : other)++;
    }
  EXPECT_GT(aqua, 200);
  EXPECT_GT(white, 1000);
  EXPECT_EQ(other, 0);
  EXPECT_EQ(c.GetPixel(300, 440), RedColor);  // the red box below its lines
}

TEST_F(StartDialogTest, ControlsAndAnswers) {
  ui.ExpectDialog(kStartBanner).Inspect([](TForm2& f) {
    EXPECT_EQ(f.caption, kStartBanner);
    EXPECT_EQ(std::make_tuple(f.width, f.height), std::make_tuple(780, 580));
    EXPECT_EQ(f.ListBox1.items, (std::vector<std::string>{
                                    " RIETVELD ANALYSIS  ", " POWDER MATCH       ", " POWDER INDEXING    ",
                                    " PEAK FITTING       ", " FOURIER SYNTHESIS  ", " SPECTRUM TRANSFORM ",
                                    " PHASE EVOLUTION    ", " EXPONENTIAL FITTING"}));
    EXPECT_EQ(std::make_tuple(f.CheckBox1.visible, f.CheckBox1.checked, f.CheckBox1.caption),
              std::make_tuple(true, true, std::string("Erase quorin files ")));
    EXPECT_EQ(std::make_tuple(f.Button1.caption, f.Button1.left, f.Button1.top), std::make_tuple("OK", 300, 370));
    EXPECT_TRUE(f.Image1.visible);
  }).Help().Ok();
  EXPECT_TRUE(ShowStartDialog());
  EXPECT_EQ(StartDialogAccepted, 1);
  EXPECT_EQ(Form2.color, GrayColor);
  ASSERT_EQ(ui.infoWindows.size(), 1u);
  EXPECT_EQ(ui.infoWindows[0].Memo1.lines.size(), 4u);
  EXPECT_EQ(ui.infoWindows[0].Memo1.lines[2], "The default output file name = m_day_hour_min.res. Can be changed.");

  ui.ExpectDialog(kStartBanner).Cancel();
  EXPECT_FALSE(ShowStartDialog());
  EXPECT_EQ(StartDialogAccepted, 0);
}
}  // namespace
