// The start dialog: its controls, its answer, and the demonstration graph read back by pixels at
// points computed by hand from the peak formulas (one point on each branch of peak 1).
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include "core/info_window.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "mainwin/session.h"
#include "mainwin/start_dialog.h"
#include "support/gui_app.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

namespace {
class StartDialogTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    RequireGuiApplication();  // the texts are drawn over the graph, as in the program
    RusHelp = 0;
  }
  KeepValues<uint8_t> keep_[2] = {{&StartDialogAccepted, 1}, {&RusHelp, 1}};
};

TEST_F(StartDialogTest, ControlsAnswersAndPictureByPixels) {
  ui.ExpectDialog(kStartBanner).Inspect([](TForm2& f) {
    EXPECT_EQ(f.ListBox1.items, (std::vector<std::string>{
                                    " RIETVELD ANALYSIS  ", " POWDER MATCH       ", " POWDER INDEXING    ",
                                    " PEAK FITTING       ", " FOURIER SYNTHESIS  ", " SPECTRUM TRANSFORM ",
                                    " PHASE EVOLUTION    ", " EXPONENTIAL FITTING"}));
    EXPECT_EQ(std::make_tuple(f.CheckBox1.visible, f.CheckBox1.checked, f.CheckBox1.caption),
              std::make_tuple(true, true, std::string("Erase quorin files ")));
  }).Help().Ok();
  EXPECT_TRUE(ShowStartDialog());
  EXPECT_EQ(StartDialogAccepted, 1);
  ASSERT_EQ(ui.infoWindows.size(), 1u);
  EXPECT_EQ(ui.infoWindows[0].Memo1.lines.at(2), "The default output file name = m_day_hour_min.res. Can be changed.");

  const TImageCanvas& c = Form2.Image1.canvas;
  ASSERT_EQ(std::make_tuple(c.Width(), c.Height()), std::make_tuple(780, 580));
  // The sum curve: s = round(peaks) + 10 at row 140 - s. Each point's magenta block keeps its
  // left column; its centre is where the next aqua line starts.
  for (auto [x, row] : {std::pair{80, 30}, std::pair{83, 73}, std::pair{90, 145}}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(c.GetPixel(x, row), AquaColor);
    for (int32_t dy = -1; dy <= 1; ++dy) EXPECT_EQ(c.GetPixel(x - 1, row + dy), FuchsiaColor);
  }
  // Peaks 3 and 4 alone in yellow: peak 4's centre (50), peak 3's left flank at 200 (round 16.77).
  EXPECT_EQ(c.GetPixel(232, 90), YellowColor);
  EXPECT_EQ(c.GetPixel(200, 123), YellowColor);
  // The panel: black inside a red frame ending at 419, 199; the hatch outside it; the red box
  // below the lines.
  EXPECT_EQ(c.GetPixel(5, 100), BlackColor);
  EXPECT_EQ(c.GetPixel(419, 60), RedColor);
  EXPECT_EQ(c.GetPixel(300, 199), RedColor);
  EXPECT_EQ(c.GetPixel(300, 440), RedColor);
  int aqua = 0, white = 0, other = 0;
  for (int32_t y = 200; y < 240; ++y)
    for (int32_t x = 620; x < 700; ++x) {
      const int32_t v = c.GetPixel(x, y);
      (v == AquaColor ? aqua : v == WhiteColor ? white : other)++;
    }
  EXPECT_GT(aqua, 200);
  EXPECT_GT(white, 1000);
  EXPECT_EQ(other, 0);

  // Every text of the picture stands whole: drawn alone on a fresh canvas in the picture's font
  // (bold, size 12 or, for the cell's lines, smaller), it is found pixel for pixel at its column,
  // at its row or lower, so no later text or line covers any part of it.
  auto whole = [&c](int32_t x, int32_t y, const char* text, int32_t colour, int32_t back, int32_t size) {
    TImageCanvas alone(400, 40);
    alone.Font = {colour, size, true, false};
    alone.Brush = {back, TBrushStyle::Solid};
    alone.TextOut(0, 0, text);
    const int32_t w = alone.TextWidth(text), h = alone.TextHeight(text);
    for (int32_t top = y; top <= y + 30; ++top) {
      bool same = true;
      for (int32_t j = 0; j < h && same; ++j)
        for (int32_t i = 0; i < w && same; ++i) same = c.GetPixel(x + i, top + j) == alone.GetPixel(i, j);
      if (same) return top;
    }
    return -1;
  };
  const struct {
    int32_t x, y;
    const char* text;
    int32_t colour, back;
    bool cellLine;
  } texts[] = {{50, 170, kProductName, WhiteColor, BlueColor, false},
               {10, 5, " Fragment of a diffraction spectrum ", WhiteColor, BlueColor, false},
               {110, 45, "Chi2/deg=1.05", YellowColor, BlackColor, false},
               {269, 97, "Unit cell=hexagonal", YellowColor, BlackColor, true},
               {267, 110, "Screw Axis Symmetry", YellowColor, BlackColor, true},
               {270, 135, "   a = 7.2464 ang", YellowColor, BlackColor, true},
               {270, 152, "   c = 18.4432 ang", YellowColor, BlackColor, true}};
  for (const auto& t : texts) {
    int32_t at = -1;
    for (int32_t size = 12; size >= (t.cellLine ? 8 : 12) && at < 0; --size) at = whole(t.x, t.y, t.text, t.colour, t.back, size);
    EXPECT_GE(at, t.y) << "\"" << t.text << "\" not whole in the picture";
    if (!t.cellLine) EXPECT_EQ(at, t.y) << t.text;
  }

  ui.ExpectDialog(kStartBanner).Cancel();
  EXPECT_FALSE(ShowStartDialog());
  EXPECT_EQ(StartDialogAccepted, 0);
}
// Help in the language stored in the folder's "vkest.fn" (English after the user switched), and
// in the default's Russian in a fresh folder; nothing else of the file is taken before the session.
TEST_F(StartDialogTest, HelpFollowsTheStoredLanguage) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vkest_start_help";
  std::filesystem::create_directories(folder);
  KeepValues<std::string> keepDir{&WorkDir, 1};
  WorkDir = folder.string();
  const std::string english = "The default output file name = m_day_hour_min.res. Can be changed.";
  for (const bool stored : {true, false}) {
    SCOPED_TRACE(stored ? "stored English" : "fresh folder");
    std::filesystem::remove(folder / SettingsFileName);
    if (stored) std::ofstream(folder / SettingsFileName) << "x.ini\r\n    1.5000 *scrsize\r\n         0 *RusHelp\r\n";
    RusHelp = 1;
    ui.Clear();
    ui.ExpectDialog(kStartBanner).Help().Cancel();
    ShowStartDialog();
    ASSERT_EQ(ui.infoWindows.size(), 1u);
    EXPECT_EQ(ui.infoWindows[0].Memo1.lines.at(2) == english, stored);
    EXPECT_EQ(RusHelp, stored ? 0 : 1);
    EXPECT_EQ(ScreenScale, 1.0);  // the fixture's
  }
  std::filesystem::remove_all(folder);
}
}  // namespace
