// The fitted-curve picture pixel by pixel at screen scale 1: an aluminium spectrum made by the
// profile model (data = model), rows by the scale law written out here, columns by the main
// graph's click rule; the difference trace, the marker strip, and bad input.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>
#include "core/model_switches.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "crystal/fit_summary.h"
#include "crystal/fitted_curve.h"
#include "crystal/profile_setup.h"

namespace {
constexpr int32_t Red = 0x0000FF;  // blue-high order: red is the low byte
constexpr int32_t First = 700, Last = 1000, N = Last - First + 1, WorkFirst = 720, WorkLast = 980;
constexpr int32_t W = GraphPictureWidth, H = GraphPictureHeight;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

class FittedCurveTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    ScreenScale = 1, PixelMode = 0, GraphScaleMode = 0, TrimmingCoefficient = 1, GraphFitErrors = 0;
    GraphMode = 2, NonEquidistantChannels = 0, BackgroundColor = 0, ExpDataColor = 0xFF00FF;
    GraphCaptionHook = [this](const std::string& s) { captions.push_back(s); };
    GraphBitmap.Resize(W, H);
    IntervalFirst = First, IntervalLast = Last, NChannels = N;
    TSpectrum& sp = SetUpProfileSpectrum({.first = WorkFirst, .last = WorkLast});
    ASSERT_TRUE(SetUpAluminium(1));
    ASSERT_GE(FormProfileReflections(1), 3);  // (220), (311), (222) in the working range
    LayOutProfileParameters();
    SetRecord(4, 30), SetRecord(WidthRecord(1, 0), 6), SetRecord(ScaleRecord(1), 4);
    for (int32_t ch = First; ch <= Last; ++ch) {
      sp.Y[ch] = ch >= WorkFirst && ch <= WorkLast ? Model(ch) : 30.0;
      sp.E[ch] = std::sqrt(sp.Y[ch]);
      yMax = std::max(yMax, sp.Y[ch]);
    }
    DrawGraphGrid(0, 1);
    grid = Picture();
  }
  void TearDown() override {
    GraphBitmap = picture_;
    ProfileTest::TearDown();
  }
  static double Model(double c) {
    double f = 0, bg = 0;
    EvaluateModelAt(1, c, f, bg);
    return f;
  }
  // The law for min 0: R = max(1, top), f by GraphScaleMode, row = round(276 - 273 f), held to the
  // plot rows 3..276 (a peak top between channels may rise above the counts' top).
  int32_t Row(double v) const {
    const double top = yMax * std::max(1.0, TrimmingCoefficient) + std::sqrt(yMax), f = v / std::max(1.0, top);
    return std::clamp(int32_t(std::nearbyint(276 - 273 * (GraphScaleMode == 1 ? std::sqrt(std::fabs(f)) : f))), 3, 276);
  }
  // A click at column x names channel PixelToChannel(x) - 1: the channel's column inverts that.
  static int32_t Col(double c) { return int32_t(std::nearbyint((c - First + 1) * 512 / N)); }
  static int32_t Px(int32_t x, int32_t y) { return GraphBitmap.GetPixel(x, y); }
  static std::vector<int32_t> Picture() {
    std::vector<int32_t> p;
    for (int32_t i = 0; i < W * H; ++i) p.push_back(Px(i % W, i / W));
    return p;
  }
  void Draw(const std::string& selection = " x") { DrawFittedCurve(selection, yMax, 0.0); }
  // Pixels of a colour that the drawing added to the grid, as (x, y).
  std::vector<std::pair<int32_t, int32_t>> Added(int32_t colour) const {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int32_t i = 0; i < W * H; ++i)
      if (Px(i % W, i / W) == colour && grid[size_t(i)] != colour) out.push_back({i % W, i / W});
    return out;
  }
  static bool StripEmpty() {
    for (int32_t i = 279 * W; i < 302 * W; ++i)
      if (Px(i % W, i / W) != BackgroundColor) return false;
    return true;
  }

  double yMax = 0;
  std::vector<int32_t> grid;
  std::vector<std::string> captions;

private:
  TImageCanvas picture_ = GraphBitmap;
  KeepValues<int32_t> ints_[8] = {{&GraphMode, 1}, {&PixelMode, 1},  {&GraphScaleMode, 1}, {&IntervalFirst, 1},
                                  {&IntervalLast, 1}, {&NChannels, 1}, {&ExpDataColor, 1}, {&BackgroundColor, 1}};
  KeepValues<double> doubles_[2] = {{&TrimmingCoefficient, 1}, {&ScreenScale, 1}};
  KeepValues<uint8_t> bytes_[2] = {{&GraphFitErrors, 1}, {&NonEquidistantChannels, 1}};
  KeepValues<std::function<void(const std::string&)>> hook_{&GraphCaptionHook, 1};
};
}  // namespace

TEST_F(FittedCurveTest, ModelAtSubPointsByTheScaleLawOverAFlatDifference) {
  for (auto [mode, k] : {std::pair{0, 1.0}, {1, 1.0}, {0, 2.0}}) {
    GraphScaleMode = mode, TrimmingCoefficient = k;
    captions.clear();
    Draw();
    int32_t missing = 0;
    for (int32_t ch = WorkFirst; ch <= WorkLast; ++ch)
      for (int32_t s = 0; s < (ch < WorkLast ? 3 : 1); ++s)
        missing += Px(Col(ch + s * 0.3333), Row(Model(ch + s * 0.3333))) != Red;
    EXPECT_EQ(missing, 0) << "mode " << mode << " K " << k;
    for (auto [x, y] : Added(Red)) EXPECT_TRUE(x >= Col(WorkFirst) && x <= Col(WorkLast)) << x;
    // Data = model: the difference on the zero line 27 rows (10 %) above the bottom row.
    for (auto [x, y] : Added(LimeColor)) EXPECT_EQ(y, 249) << x;
    for (int32_t x = Col(WorkFirst); x <= Col(WorkLast); ++x)
      EXPECT_TRUE(Px(x, 249) == LimeColor || Px(x, 249) == Red) << x;
    EXPECT_TRUE(StripEmpty());
    std::vector<std::string> tenths;
    for (int32_t p = 10; p <= 100; p += 10) tenths.push_back("*   " + std::to_string(p) + "%");
    EXPECT_EQ(captions, tenths);
  }
  const auto picture = Picture();  // abscissae X[ch] + k 0.3333 with X = the channel: the same
  NonEquidistantChannels = 1;
  Draw();
  EXPECT_TRUE(Picture() == picture);
}

TEST_F(FittedCurveTest, DataPointsErrorBarsAndClicksWithoutModel) {
  GraphMode = 1, GraphFitErrors = 1;
  Draw();
  EXPECT_TRUE(Added(Red).empty());
  const TSpectrum& sp = CurrentProfileSpectrum();
  for (int32_t ch = First; ch <= Last; ++ch) {
    const int32_t x = Col(ch), y = Row(sp.Y[ch]);
    for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(Px(x - 1 + i % 3, y - 1 + i / 3), ExpDataColor) << ch;
    for (int32_t r = Row(sp.Y[ch] + sp.E[ch]); r <= Row(sp.Y[ch] - sp.E[ch]); ++r) EXPECT_EQ(Px(x, r), ExpDataColor) << ch;
    EXPECT_NEAR(PixelToChannel(x) - 1, ch, 0.5 * N / 512.0 + 1e-9);
  }
  EXPECT_TRUE(StripEmpty());
}

TEST_F(FittedCurveTest, PlantedMisfitsBendTheDifferenceThereOnly) {
  TSpectrum& sp = CurrentProfileSpectrum();
  sp.Y[850] += 0.3 * yMax, sp.Y[900] -= 0.3 * yMax;  // the second below the plot: held to its bottom
  Draw();
  EXPECT_EQ(Px(Col(850), int32_t(std::nearbyint(249 - 273 * 0.3 * yMax / (yMax + std::sqrt(yMax))))), LimeColor);
  bool down = false;  // down to the bottom row, where the model's baseline lies over the trace
  for (int32_t x = Col(899); x <= Col(901); ++x) down = down || Px(x, 275) == LimeColor;
  EXPECT_TRUE(down);
  for (auto [x, y] : Added(LimeColor))
    EXPECT_TRUE(y == 249 || (x >= Col(849) && x <= Col(851)) || (x >= Col(899) && x <= Col(901))) << x << " " << y;
  EXPECT_TRUE(StripEmpty());
}

// The gaps of a measured grid (count 0, error 0) are no data: no point at count 0 and no dip of
// the difference there, which stays on its zero line elsewhere (data = model).
TEST_F(FittedCurveTest, GapChannelsAreDrawnAsMissing) {
  TSpectrum& sp = CurrentProfileSpectrum();
  sp.GapChannels = {850, 900, 901};
  for (int32_t ch : sp.GapChannels) sp.Y[ch] = sp.E[ch] = 0;
  Draw();
  sp.GapChannels.clear();
  for (int32_t ch : {850, 900, 901}) EXPECT_NE(Px(Col(ch), Row(0)), ExpDataColor) << ch;
  EXPECT_FALSE(Added(ExpDataColor).empty());
  EXPECT_FALSE(Added(LimeColor).empty());
  for (auto [x, y] : Added(LimeColor)) EXPECT_EQ(y, 249) << x;
}

TEST_F(FittedCurveTest, BadInputDrawsNothingOutsideThePictureAndNoRowFromNaN) {
  TSpectrum& sp = CurrentProfileSpectrum();
  struct Case {
    const char* what;
    std::function<void()> set;
    std::string selection = " x";
    double top = -1;  // yMax; -1 the counts'
    bool gridOnly = true;
  };
  const Case cases[] = {
      {"interval after the loaded channels", [] { IntervalFirst = 20000, IntervalLast = 20300; }},
      {"interval past the channel arrays", [&] { IntervalFirst = 32700, IntervalLast = 33000, sp.LastChannel = 40000; },
       " x", -1, false},
      {"no channels", [] { NChannels = 0; }},
      {"no spectrum selected", [] {}, "     "},
      {"empty selection", [] {}, ""},
      {"absent spectrum", [] { SpectrumList[3].reset(); }, "   x "},
      {"yMax NaN", [] {}, " x", kNaN},
      {"yMax infinite", [] {}, " x", HUGE_VAL},
      {"yMax = yMin", [] {}, " x", 0.0, false},
      {"NaN and infinite counts", [&] { sp.Y[850] = kNaN, sp.Y[851] = HUGE_VAL; }, " x", -1, false},
      {"NaN model", [] { SetRecord(4, kNaN); }, " x", -1, false},
      {"infinite width", [] { SetRecord(WidthRecord(1, 0), HUGE_VAL); }, " x", -1, false},
  };
  PixelMode = 1;
  for (const Case& c : cases) {
    c.set();
    DrawFittedCurve(c.selection, c.top == -1 ? yMax : c.top, 0.0);
    EXPECT_TRUE(StripEmpty()) << c.what;
    EXPECT_EQ(Picture() == grid, c.gridOnly) << c.what;
    IntervalFirst = First, IntervalLast = Last, NChannels = N, sp.LastChannel = Last + 100;
  }
  // The last: no model and no difference from non-finite values, no point at NaN or Inf.
  EXPECT_TRUE(Added(Red).empty() && Added(LimeColor).empty());
  for (int32_t y = 0; y < H; ++y) EXPECT_TRUE(Px(Col(850), y) != ExpDataColor && Px(Col(851), y) != ExpDataColor) << y;
  // One channel: its point at column 512; the model's sub-points after it are not drawn.
  SetRecord(4, 30), SetRecord(WidthRecord(1, 0), 6);
  IntervalFirst = IntervalLast = 900, NChannels = 1;
  Draw();
  EXPECT_EQ(Px(512, Row(sp.Y[900])), Red);
  for (auto colour : {Red, LimeColor, ExpDataColor})
    for (auto [x, y] : Added(colour)) EXPECT_TRUE(x >= 511 && x <= 513) << x;
}
