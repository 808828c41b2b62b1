// The small graphs: the scale laws at their edges, the grid and the points pixel by pixel, the
// multi-curve plot (curves, zero line, grid, markers, legend), its BMP picture read back, and
// input that must draw nothing wrong.
#include <gtest/gtest.h>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include "core/dialog_state.h"
#include "core/graph_drawing.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/settings_file.h"
#include "core/toolbox.h"
#include "support/gui_app.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
constexpr int32_t Bg = 0x202020, Lime = 0x00FF00, Green = 0x008000, Fuchsia = 0xFF00FF, Aqua = 0xFFFF00,
                  Yellow = 0x00FFFF, Red = 0x0000FF;

class GraphDrawingTest : public ScriptedTest {
protected:
  void SetUp() override { ScriptedTest::SetUp(), ScreenScale = 1.0, BackgroundColor = Bg, PixelMode = InfoLines.count = 0; }
  void TearDown() override {
    ScreenScale = savedScale_, BackgroundColor = savedBg_, PixelMode = GraphScaleMode = 0, TrimmingCoefficient = 1.0;
    TrevoAutoRun = PictureSaveRequest = 0;
    ScriptedTest::TearDown();
  }
  // Two curves of four points (0..30 up and down), markers +2 and -3 after them.
  void FillTwoCurves() { std::copy_n(std::array{0., 10., 20., 30., 30., 20., 10., 0., 2., -3.}.begin(), 10, NumberBuffer + 1); }
  double savedScale_ = ScreenScale;
  int32_t savedBg_ = BackgroundColor;
  TImage image;
};

TEST_F(GraphDrawingTest, ScaleLawsAtTheirEdges) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Case { int32_t mode; double k, min, max, y; int32_t row; };
  const Case cases[] = {
      {0, 1, 5, 5, 5, 276},     {0, 1, 5, 5, 6, 3},        {0, 1, 0, 100, 150, -134},
      {1, 1, 0, 100, 25, 140},  {2, 1, 0, 100, 1, 276},    {2, 1, 0, 100, -50, 276},
      {2, 1, 0, 100, 100, 4},   {3, 0.5, 0, 100, 50, 3},   {3, 0.5, 0, 100, 1e9, 3},
      {3, 0.5, 0, 100, 25, 140}, {3, 0, 0, 100, 25, 208},  {0, 1, 0, 100, nan, 276},
      {0, 1, 0, 100, inf, -32000}};
  for (const Case& c : cases) {
    GraphScaleMode = c.mode, TrimmingCoefficient = c.k;
    EXPECT_EQ(ValueToPixelRow(c.min, c.max, c.y), c.row) << c.mode << " " << c.k << " " << c.y;
  }
}

TEST_F(GraphDrawingTest, GridAndPointsPixelByPixel) {
  GraphBitmap.Resize(GraphPictureWidth, GraphPictureHeight);
  DrawGraphGrid(0, 1);
  for (auto [x, y] : {std::pair{0, 3}, {5, 3}, {510, 3}, {0, 71}, {510, 275}, {34, 1}, {34, 276}, {482, 1}})
    EXPECT_EQ(GraphBitmap.GetPixel(x, y), Lime) << x << "," << y;
  for (auto [x, y] : {std::pair{1, 3}, {511, 3}, {34, 2}, {35, 1}, {0, 0}, {515, 322}})
    EXPECT_EQ(GraphBitmap.GetPixel(x, y), Bg) << x << "," << y;

  PixelMode = 2;  // a line from the previous point; the first point only starts the curve
  PlotPoint(Red, 10, 10, 0, 1, 1);
  EXPECT_EQ(GraphBitmap.GetPixel(10, 10), Bg);
  PlotPoint(Red, 20, 10, 0, 2, 1);
  EXPECT_EQ((std::array{GraphBitmap.GetPixel(10, 10), GraphBitmap.GetPixel(19, 10), GraphBitmap.GetPixel(20, 10)}),
            (std::array{Red, Red, Bg}));
  PixelMode = 0;  // a 3 by 3 square
  PlotPoint(Red, 100, 100, 0, 1, 1);
  EXPECT_EQ((std::array{GraphBitmap.GetPixel(99, 101), GraphBitmap.GetPixel(102, 100)}), (std::array{Red, Bg}));
}

TEST_F(GraphDrawingTest, PlotWithCurvesMarkersLegendAndPicture) {
  RequireGuiApplication();
  FillTwoCurves();
  InfoLines.count = 1, InfoLines.lines[1] = "MMMM";
  const std::string bmp = TestTempPath("plot.bmp").string();
  PictureSaveRequest = 1, PictureSaveName = bmp;
  PlotGraphs(image, 4, 2, 240, 2);
  const TImageCanvas& c = image.canvas;
  EXPECT_EQ((std::array{int(image.visible), c.Width(), c.Height()}), (std::array{1, 240, 370}));
  const std::pair<std::pair<int, int>, int32_t> pixels[] = {
      {{10, 0}, Green},    {{10, 1}, Bg},       {{10, 290}, Bg},      {{10, 291}, Green},   // areas
      {{56, 282}, Fuchsia}, {{56, 284}, Fuchsia}, {{55, 283}, Lime},  {{57, 282}, Bg},      // curve 1
      {{221, 3}, Fuchsia},  {{56, 3}, Aqua},                                                // curve 1, 2
      {{100, 283}, Lime},  {{0, 283}, Bg},      {{11, 213}, Lime},    {{12, 213}, Bg},      // zero, grid
      {{61, 1}, Lime},     {{61, 2}, Bg},                                                   // vertical grid
      {{111, 285}, Yellow}, {{111, 294}, Yellow}, {{111, 295}, Green}, {{111, 284}, Bg},    // marker +2
      {{166, 295}, Red},    {{166, 304}, Red},    {{166, 305}, Green}};                     // marker -3
  for (const auto& [at, colour] : pixels) EXPECT_EQ(c.GetPixel(at.first, at.second), colour) << at.first << "," << at.second;
  int white = 0;
  for (int y = 295; y < 312; ++y)
    for (int x = 5; x < 80; ++x) white += c.GetPixel(x, y) == 0xFFFFFF;
  EXPECT_GT(white, 20);  // the legend, white on green

  // The picture reads back pixel for pixel (the BMP layout itself: canvas_test).
  QImage back(QString::fromStdString(bmp));
  ASSERT_EQ(back.size(), QSize(240, 370));
  int differ = 0;
  for (int y = 0; y < 370; ++y)
    for (int x = 0; x < 240; ++x) differ += RgbToColor(back.pixel(x, y) & 0xFFFFFF) != c.GetPixel(x, y);
  EXPECT_EQ(differ, 0);
  std::filesystem::remove(bmp);
}

TEST_F(GraphDrawingTest, EvolutionPlotStyles) {
  FillTwoCurves();
  PlotEvolutionGraphs(image, 4, 2, 240, 0);  // curve 1 crosses, curve 2 a line in its own colour
  EXPECT_EQ((std::array{image.canvas.GetPixel(56, 282), image.canvas.GetPixel(56, 3)}),
            (std::array{Fuchsia, CurveColors[2]}));
  TrevoAutoRun = 1;  // every curve by PixelMode; 0 draws crosses
  PlotEvolutionGraphs(image, 4, 2, 240, 0);
  EXPECT_EQ((std::array{image.canvas.GetPixel(56, 3), image.canvas.GetPixel(57, 3)}), (std::array{Aqua, Aqua}));
}

// Rows are rounded, then scaled: at scale 1.25 the row 100.45 is drawn at 125, not at 126.
TEST_F(GraphDrawingTest, RowsAreRoundedBeforeScaling) {
  ScreenScale = 1.25, PixelMode = 1;
  std::copy_n(std::array{0., 100., (283 - 100.45) / 2.8}.begin(), 3, NumberBuffer + 1);
  PlotGraphs(image, 3, 1, 240, 0);
  EXPECT_EQ((std::array{image.canvas.GetPixel(276, 125), image.canvas.GetPixel(276, 126)}), (std::array{Fuchsia, Bg}));
}

TEST_F(GraphDrawingTest, BadInputDrawsNothingWrong) {
  FillTwoCurves();
  PlotGraphs(image, 0, 2, 240, 3);  // no points: background and grid only
  EXPECT_EQ(image.canvas.GetPixel(56, 283), Bg);
  for (int i = 1; i <= 8; ++i) NumberBuffer[i] = 5;  // min = max
  PlotGraphs(image, 4, 2, 240, 0);
  EXPECT_EQ(image.canvas.GetPixel(56, 283), Aqua);
  PlotGraphs(image, 4, 2, -50, 1);  // no width
  // More than seven curves: the message, and the markers follow the last curve given.
  NumberBuffer[7 * 4 + 1] = 3;
  NumberBuffer[9 * 4 + 1] = 1;
  PlotGraphs(image, 4, 9, 240, 1);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Error, not more than 7 graphs"});
  EXPECT_EQ((std::array{image.canvas.GetPixel(56, 290), image.canvas.GetPixel(166, 290)}), (std::array{Yellow, Bg}));
  PlotGraphs(image, 16384, 2, 240, 5);  // curve 2 and the markers lie beyond NumberBuffer
}

TEST_F(GraphDrawingTest, ScratchArraysOverTheirCommonRange) {
  ScratchArray1[1] = 0, ScratchArray1[2] = 10, ScratchArray2[1] = 10, ScratchArray2[2] = 0;
  PlotScratchArrays(image, 2);
  const TImageCanvas& c = image.canvas;
  EXPECT_EQ((std::array{c.GetPixel(256, 276), c.GetPixel(512, 3), c.GetPixel(255, 2), c.GetPixel(512, 276),
                        c.GetPixel(300, 100)}),
            (std::array{Fuchsia, Fuchsia, Aqua, Aqua, Bg}));
}
}  // namespace
