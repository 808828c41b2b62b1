// The conventional index order, the interval rows at the 1.4 x error boundary, and the fit plot's
// pixels on the offscreen picture (apex, base, ticks and colours; equal d; no lines, fault 10).
#include "core/canvas.h"
#include "core/dialog_model.h"
#include "indexing/interval_reflections.h"
#include "indexing_setup.h"

namespace {

class IntervalTest : public IndexingTest {
protected:
  static TImageCanvas& BlackPicture() {
    TImageCanvas& c = Form2.Image1.canvas;
    c.Resize(600, 60);
    c.Brush.color = BlackColor, c.Brush.style = TBrushStyle::Solid;
    c.FillRect(0, 0, 600, 60);
    return c;
  }
  // Lines (d, error, d_calc, phase).
  static void Lines(const std::vector<std::array<double, 4>>& rows) {
    SetLines(std::vector<double>(rows.size(), 1.0));
    for (size_t i = 0; i < rows.size(); ++i) {
      TDSpacingRecord& l = DSpacingList[i + 1];
      l.d = rows[i][0], l.Error = rows[i][1], l.DCalc = rows[i][2], l.Phase = static_cast<int32_t>(rows[i][3]);
    }
  }
};

TEST_F(IntervalTest, IndexOrderAndTheErrorBoundary) {
  const std::vector<std::array<int32_t, 7>> cases = {{3, 1, 2, 5, 3, 2, 1}, {1, 3, -2, 5, 3, 1, -2},
                                                     {1, 2, 3, 4, 2, 1, 3}, {-1, 2, 0, 6, 2, -1, 0},
                                                     {1, 2, 3, 3, 1, 2, 3}, {0, 0, 1, 5, 0, 1, 0}};
  for (const auto& c : cases) {
    int32_t o[3];
    OrderIndexTriple(c[0], c[1], c[2], c[3], o[0], o[1], o[2]);
    EXPECT_EQ(std::vector<int32_t>(o, o + 3), std::vector<int32_t>(c.begin() + 4, c.end())) << c[0] << c[1] << c[2];
  }
  SetLines({2.0}, 0.25);
  PhaseCount = 1, PhaseTable[1].CrystalSystem = 3, HklTable[1][1] = THklRecord{1, 0, 0};
  HklTable[1][1].d = 2.0 + 1.4 * 0.25;  // at 1.4 x error: "d_out"; one phase: five blanks
  EXPECT_EQ(IntervalRow(1, 1), "    1    0    0        2.35000        2.00000");
  HklTable[1][1].d = 2.0 + 1.39 * 0.25;
  EXPECT_EQ(IntervalRow(1, 1), "    1    0    0        2.34750  2.00000");
}

// The listing of an interval at a known cell against the distinct d of gemmi's reflections
// (holohedral group of the lattice, its asymmetric unit), and its copy in the result file.
TEST_F(IntervalTest, ReflectionsOfAnIntervalAgreeWithGemmi) {
  const std::vector<Tokens> rows = GoldenRows("celix_golden.txt", "indexing");
  for (size_t r = 0; r < rows.size(); ++r) {
    if (rows[r][0] != "set") continue;
    const Tokens& c = rows[r];
    std::vector<double> d, want;
    Tokens iv;
    for (size_t k = r + 1; k < rows.size() && rows[k][0] != "set"; ++k) {
      if (rows[k][0] == "sline") d.push_back(Num(rows[k][1]));
      if (rows[k][0] == "iv") iv = rows[k];
      if (rows[k][0] == "ivd") want.push_back(Num(rows[k][1]));
    }
    SetLines(d);
    ui.ExpectDialog(" Phase= 1").Combo(std::stoi(c[2])).Radio2(std::stoi(c[3]) + 1).Ok();
    ui.ExpectDialog(" Phase= 1").Ok();
    ui.ExpectDialog("Set lattice parameters").Ok();
    PrepareIndexing();
    for (int32_t m = 0; m < 6; ++m)
      CelixFitter->Records[1 + m].value = m < 3 ? Num(c[4 + m]) : std::cos(Num(c[4 + m]) * DegToRad);
    RecalcHklD();
    ui.ExpectDialog(" Show all the reflections").Field(1, 1, iv[2]).Field(2, 1, iv[3]).CheckBox(true).Ok();
    LogFile.RewriteToMemory("log");
    ShowAllReflections();
    const std::vector<std::string>& items = ui.infoWindows.back().ListBox1.items;
    ASSERT_EQ(items.size(), want.size() + 3) << c[1];
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(std::stod(items[i + 1].substr(20, 10)), want[i], 1e-5) << c[1];
    EXPECT_EQ(LogLines()[0], std::string(18, ' ') + "CALCULATED Ds TO D_exp");
  }
}

TEST_F(IntervalTest, FitPlotPixels) {
  TAULSM& fit = *CelixFitter;
  fit.NPar = 6, fit.BestDeviation = 0.0005;
  for (int32_t e = 1; e <= 3; ++e) fit.Records[e].value = 4;
  Lines({{3.0, 0.002, 3.0, 1}, {2.0, 0.0001, 2.001, 2}});
  TestTrueCell = "True: cubic 4";
  TImageCanvas& c = BlackPicture();
  PlotCurrentFit();
  // d 3.0: apex at 5 + 500, base at y 30 one pixel (500 x 0.002) each side; aqua tick to y 28.
  // d 2.0 calculated 2.001, off by more than the best deviation: a yellow tick at 5 to y 19.
  const std::vector<std::array<int32_t, 3>> pixels = {
      {505, 48, FuchsiaColor}, {504, 30, FuchsiaColor}, {506, 30, FuchsiaColor}, {508, 30, BlackColor},
      {505, 0, AquaColor},     {505, 28, AquaColor},    {505, 29, BlackColor},   {5, 48, FuchsiaColor},
      {5, 19, YellowColor},    {5, 20, BlackColor}};
  for (const auto& p : pixels) EXPECT_EQ(c.GetPixel(p[0], p[1]), p[2]) << p[0] << "," << p[1];
  EXPECT_EQ(Form2.Label1.caption.substr(0, 18), "Parameters, ph1 = ");
  EXPECT_EQ(Form2.Label8.caption, "True: cubic 4");
  Lines({{2.0, 0.01, 2.0, 1}, {2.0, 0.01, 2.0, 1}});  // equal d: the span is 1e-4, all at 5
  BlackPicture();
  PlotCurrentFit();
  EXPECT_EQ(c.GetPixel(5, 28), AquaColor);
  DSpacingCount = 0;
  BlackPicture();
  PlotCurrentFit();
  for (int32_t x = 0; x < 520; ++x) ASSERT_EQ(c.GetPixel(x, 28), BlackColor) << x;
}

}  // namespace
