// The main graph drawn by RedrawGraph, checked pixel by pixel on the off-screen canvas: the data
// where the linear scale puts them, the computed header and axis texts, the reflection markers in
// their strip rows; and the channel-pixel geometry of a click.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include "core/number_format.h"
#include "core/spectra_utilities.h"
#include "graph_fixture.h"

namespace {

// Counts 22 m: with the maximum 5929 the plot spans 5929 + sqrt(5929) = 6006 = 22 x 273 counts, so
// count 22 m sits exactly on row 276 - m.
int32_t RowUnits(int32_t c) { return c * 7 % 269; }
constexpr int32_t MaxChannel = 300;

bool HasText(const std::string& text, int32_t x, int32_t y, int32_t colour) {
  return std::any_of(GraphTexts.begin(), GraphTexts.end(), [&](const TGraphText& t) {
    return t.text == text && t.x == x && t.y == y && t.colour == colour;
  });
}

// Pixels of colour in column x over rows top..bottom.
int32_t CountInColumn(const TImageCanvas& c, int32_t x, int32_t top, int32_t bottom, int32_t colour) {
  int32_t n = 0;
  for (int32_t y = top; y <= bottom; ++y) n += c.GetPixel(x, y) == colour ? 1 : 0;
  return n;
}

class GraphViewTest : public GraphTest {
protected:
  TSpectrum& Known() {
    return ShowSpectrum(512, [](int32_t c) { return c == MaxChannel ? 5929.0 : 22.0 * RowUnits(c); });
  }
  // Reflection j of phase k at channel c of spectrum 1.
  void ReflectionAt(int32_t k, int32_t j, double c) {
    HklTable[j][k].d = SpectrumList[1]->ChannelToD(c);
    PhaseTable[k].ReflectionCount = std::max(PhaseTable[k].ReflectionCount, j);
  }
};

// At font 14 and scale 1 the header's labels reach past the values' columns: each value starts
// after its label, measured in the header's font, and stays at its column at font 10.
TEST_F(GraphViewTest, HeaderValuesStandAfterTheirLabels) {
  Known();
  for (int32_t font : {10, 14}) {
    SCOPED_TRACE(font);
    FontSize = font;
    RedrawGraph();
    TImageCanvas measure;
    measure.Font.size = font;
    for (const auto& [label, y, column] : {std::tuple{"CHANNELS  =  ", 18, 125}, {"MAX,MIN =", 35, 100}, {"MODE =", 52, 80}}) {
      const auto value = std::find_if(GraphTexts.begin(), GraphTexts.end(), [&](const TGraphText& t) {
        return t.y == y && t.colour == WhiteColor;
      });
      ASSERT_NE(value, GraphTexts.end()) << label;
      EXPECT_GE(value->x, 21 + measure.TextWidth(label)) << label;
      if (font == 10) {
        EXPECT_EQ(value->x, column) << label;
      }
    }
  }
  FontSize = 10;
}

// The data where the linear scale puts them, the panel colour, and the texts the graph computes:
// the interval, the range, the axis labels of time-of-flight, d and angular axes.
TEST_F(GraphViewTest, DataPanelAndComputedTextsOfEachAxis) {
  TSpectrum& sp = Known();
  RedrawGraph();
  const TImageCanvas& g = Form1.Image2.canvas;
  int32_t wrong = 0;
  for (int32_t c = 1; c <= 512; ++c) {
    if (c == MaxChannel) continue;
    // One channel a column, one pixel a point (pixel mode 1).
    wrong += g.GetPixel(c, 276 - RowUnits(c)) == AquaColor && CountInColumn(g, c, 0, 276, AquaColor) == 1 ? 0 : 1;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Form1.Image3.canvas.GetPixel(50, 200), GreenColor);  // Form1BackColor 128: dark green
  EXPECT_TRUE(HasText("1  :  512", 125, 18, WhiteColor));
  EXPECT_TRUE(HasText("5929.0, 0.0", 100, 35, WhiteColor));
  EXPECT_TRUE(HasText("    35", 12, 300, WhiteColor));  // channel 1 + 34 x 512 / 512
  EXPECT_TRUE(HasText("   483", 460, 300, WhiteColor));
  GraphXAxis = 1;
  ToggleXAxis();
  EXPECT_TRUE(HasText(FormatNumber(8, 2, sp.ChannelToD(35)), 12, 300, WhiteColor));
  GraphXAxis = 0;
  sp.AxisKind = AxisAngular;
  for (int32_t c = 1; c <= 512; ++c) sp.X[c] = 10 + 0.05 * c;
  ToggleXAxis();
  EXPECT_TRUE(HasText("   11.75", 12, 300, WhiteColor));
  // Abscissae that do not convert to d (energies) take their own unit whatever was shown before.
  GraphXAxis = 1;
  sp.AxisKind = AxisAny;
  ToggleXAxis();
  EXPECT_TRUE(HasText("   11.75", 12, 300, WhiteColor));
  EXPECT_FALSE(HasText("d (angstroem)", 200, 309, WhiteColor));
  EXPECT_EQ(GraphXAxis, 0);

  // Spectra 1 and 3 in their curve colours, by file name.
  TSpectrum& three = *SpectrumList[3];
  three.Name = "/tmp/x/three.dat";
  three.FirstChannel = three.WorkFirst = 1, three.LastChannel = three.WorkLast = 512;
  SpectrumSlots = " x x ";
  RedrawGraph();
  EXPECT_TRUE(HasText("one.dat,", 185, 1, CurveColors[2]));
  EXPECT_TRUE(HasText("three.dat,", 385, 1, CurveColors[4]));
}

TEST_F(GraphViewTest, ReflectionMarkersTakeTheirPhaseRowsOnlyInsideTheInterval) {
  Known();
  ReflectionAt(1, 1, 100), ReflectionAt(1, 2, 200), ReflectionAt(1, 3, 40);
  IntervalFirst = 51;  // 51..512: channel 40 lies outside
  RedrawGraph();
  const TImageCanvas& g = Form1.Image2.canvas;
  for (int32_t c : {100, 200}) EXPECT_EQ(CountInColumn(g, ChannelColumn(c), 284, 295, LimeColor), 12) << c;
  int32_t strip = 0;  // rows 284..295 of the two columns and nothing else
  for (int32_t x = 0; x < 516; ++x) strip += CountInColumn(g, x, 279, 300, LimeColor);
  EXPECT_EQ(strip, 24);

  // Five phases: two rows each (12 div 5), phase 3 yellow in rows 288 and 289.
  PhaseCount = 5;
  for (int32_t k = 1; k <= 5; ++k) ReflectionAt(k, 1, 100 + 50 * k);
  RedrawGraph();
  const int32_t x3 = ChannelColumn(250);
  EXPECT_EQ(std::make_pair(CountInColumn(g, x3, 288, 289, YellowColor), CountInColumn(g, x3, 279, 300, YellowColor)),
            std::make_pair(2, 2));
  EXPECT_EQ(CountInColumn(g, ChannelColumn(300), 290, 291, WhiteColor), 2);  // phase 4 white
  // Long indicators run from row 1 to 296.
  LongReflectionIndicators = 1;
  RedrawGraph();
  EXPECT_EQ(std::make_pair(CountInColumn(g, x3, 1, 296, YellowColor), CountInColumn(g, x3, 297, 300, YellowColor)),
            std::make_pair(296, 0));
  // A logarithmic x scale draws no marker.
  LongReflectionIndicators = 0, LogXScale = 1;
  RedrawGraph();
  EXPECT_EQ(CountInColumn(g, x3, 279, 300, YellowColor), 0);
  // None for spectrum 0.
  LogXScale = 0, CurrentSpectrum = 0, SpectrumSlots = "x    ";
  TSpectrum& zero = *SpectrumList[0];
  zero.FirstChannel = zero.WorkFirst = 1, zero.LastChannel = zero.WorkLast = 512;
  RedrawGraph();
  EXPECT_EQ(CountInColumn(g, x3, 279, 300, YellowColor), 0);
}

// A click at the column of channel c names c (PixelToChannel(x) - 1), while one column holds at
// most one channel within the rounding of column and screen scale.
TEST_F(GraphViewTest, ClickAtTheColumnOfAChannelGivesTheChannelBack) {
  std::mt19937 rng(20261207);
  for (double scale : {1.0, 1.25}) {
    ScreenScale = scale;
    const int32_t widest = scale == 1.0 ? 500 : 280;
    for (int32_t trial = 0; trial < 2000; ++trial) {
      NChannels = std::uniform_int_distribution<int32_t>(1, widest)(rng);
      IntervalFirst = std::uniform_int_distribution<int32_t>(1, 30000)(rng);
      IntervalLast = IntervalFirst + NChannels - 1;
      const int32_t c = std::uniform_int_distribution<int32_t>(IntervalFirst, IntervalLast)(rng);
      const double back = PixelToChannel(Scaled(ChannelColumn(c))) - 1;
      ASSERT_EQ(std::nearbyint(back), c) << scale << " " << IntervalFirst << ".." << IntervalLast;
    }
  }
}

}  // namespace
