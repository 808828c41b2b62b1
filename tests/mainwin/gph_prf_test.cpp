// What the graph makes of a fitted two-phase time-of-flight profile (aluminium and zinc oxide):
// the GPH and PRF profile files byte for byte against a generator that formats the recorded
// per-channel inputs with Python's own fixed point, loaded by the rules of plotting programs, read
// back and drawn, with the edge cases of scaling and of the file reader; the phase curves of side
// button 8 and the theoretical reflection marks.
#include <gtest/gtest.h>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include "core/canvas.h"
#include "core/graph_drawing.h"
#include "core/model_switches.h"
#include "core/text_file.h"
#include "crystal/fit_summary.h"
#include "crystal/profile_setup.h"
#include "mainwin/gph_file.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"
#include "mainwin/prf_file.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

constexpr int32_t WorkFirst = 700, WorkLast = 1100;

std::string Exact(double x) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (std::string t; in >> t;) v.push_back(std::strtod(t.c_str(), nullptr));
  return v;
}

class GphPrfTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    Form1 = TForm1();
    ScreenScale = 1, FontSize = 10, GraphXAxis = 0, GraphScaleMode = 0, MainMode = 0;
    TSpectrum& sp = SetUpProfileSpectrum({.first = WorkFirst, .last = WorkLast});
    sp.Delay = 3;
    ASSERT_TRUE(SetUpAluminium(1));
    ASSERT_TRUE(SetUpZincOxide(2));
    PhaseCount = 2;
    ASSERT_GE(FormProfileReflections(1), 3);
    ASSERT_GE(FormProfileReflections(2), 3);
    LayOutProfileParameters();
    SetRecord(4, 30), SetRecord(ScaleRecord(1), 4), SetRecord(ScaleRecord(2), 2);
    for (int32_t p : {1, 2}) SetRecord(WidthRecord(p, 0), 6);
    for (int32_t c = WorkFirst; c <= WorkLast; ++c) {
      double f = 0, bg = 0;
      EvaluateModelAt(1, c, f, bg);
      sp.Y[c] = std::nearbyint(f * (1 + 0.05 * std::sin(c))), sp.E[c] = std::sqrt(sp.Y[c] + 1);
    }
    FitPending[0] = 0;
  }
  void TearDown() override {
    for (const auto& p : files_) std::filesystem::remove(p);
    ProfileTest::TearDown();
  }
  std::string Temp(const std::string& name) {
    files_.push_back(TestTempPath(name));
    return files_.back().string();
  }
  std::string WritePrf(const std::string& name) {
    TextFile f;
    const std::string path = Temp(name);
    f.Rewrite(path);
    WritePrfFile(f);
    return ReadWholeFile(path);
  }
  std::string WriteGph(const std::string& name) {
    const std::string path = Temp(name);
    GphFile(Form1.Image2.canvas, 0, path);
    return ReadWholeFile(path);
  }
  // The generator's inputs: the header, phase 1's cell, every reflection with its channel, every
  // channel with its count, error, stage-4 model, background, contributions and d.
  void RecordInputs(const std::string& path) {
    TSpectrum& sp = *SpectrumList[1];
    std::ofstream out(path);
    out << "head " << WorkFirst << " " << WorkLast << " " << Exact(sp.Delay) << " " << Exact(sp.ChanWidth) << " "
        << Exact(sp.FlightPath) << " " << Exact(sp.Theta) << " " << (FitPending[0] == 0) << "\ncell";
    for (double v : PhaseTable[1].Cell) out << " " << Exact(v);
    out << "\ncount " << PhaseTable[1].ReflectionCount << " " << PhaseTable[2].ReflectionCount << "\n";
    for (int32_t k = 1; k <= 2; ++k)
      for (int32_t j = 1; j <= PhaseTable[k].ReflectionCount; ++j) {
        const THklRecord& h = HklTable[j][k];
        out << "refl " << k << " " << h.h << " " << h.k << " " << h.l << " " << Exact(sp.DToChannel(h.d)) << "\n";
      }
    for (int32_t c = WorkFirst; c <= WorkLast; ++c) {
      double f = 0, bg = 0;
      EvaluateModelAt(1, c, f, bg);
      out << "chan " << c << " " << Exact(sp.Y[c]) << " " << Exact(sp.E[c]) << " " << Exact(f) << " " << Exact(bg)
          << " " << Exact(ModelOutput[2]) << " " << Exact(ModelOutput[3]) << " " << Exact(sp.ChannelToD(c)) << "\n";
    }
  }
  int RunPython(const std::string& script, const std::vector<std::string>& args) {
    std::string cmd = std::string(VKEST_PYTHON) + " '" + VKEST_SOURCE_DIR + "/tools/" + script + "'";
    for (const auto& a : args) cmd += " '" + a + "'";
    return std::system(cmd.c_str());
  }

  std::vector<std::filesystem::path> files_;
  KeepValues<uint8_t> fits_{FitPending, ModeCount}, axis_{&GraphXAxis, 1};
  KeepValues<int32_t> graph_{&GraphMode, 1}, first_{&IntervalFirst, 1}, last_{&IntervalLast, 1}, n_{&NChannels, 1};
  KeepValues<std::string> slots_{&SpectrumSlots, 1};
  KeepValues<ParameterRecord> parar_{parar, MaxParameters + 1};
};

TEST_F(GphPrfTest, FilesMatchTheGeneratorByteForByteAndLoadInPlotters) {
  VKEST_REQUIRE_PYTHON("numpy");
  const std::string inputs = Temp("inputs.txt"), gph = Temp("expected.gph"), prf = Temp("expected.prf");
  RecordInputs(inputs);
  ASSERT_EQ(RunPython("gen_profile_files.py", {inputs, gph, prf}), 0);
  const std::string ourGph = WriteGph("m.gph"), ourPrf = WritePrf("m.prf");
  EXPECT_EQ(ourGph, ReadWholeFile(gph));
  EXPECT_EQ(ourPrf, ReadWholeFile(prf));
  EXPECT_EQ(RunPython("check_profile_files.py", {files_[3].string(), files_[4].string()}), 0);
  EXPECT_EQ(CrLfLines(ourGph).size(), 5u + WorkLast - WorkFirst + 1);
}

TEST_F(GphPrfTest, GphWithoutAFitOneChannelAndLargeD) {
  FitPending[0] = 1;
  TSpectrum& sp = *SpectrumList[1];
  sp.WorkFirst = sp.WorkLast = 800;
  sp.FlightPath = 1e-3;  // d far above 99
  const std::vector<std::string> lines = CrLfLines(WriteGph("one.gph"));
  ASSERT_EQ(lines.size(), 6u);
  // x, exp, fit, diff, d, indicator, background, two phases: exp = 1000 (the only channel), fit 0,
  // difference exp / (E S), d held to 99.
  const std::vector<double> v = Numbers(lines[5]);
  ASSERT_EQ(v.size(), 9u);
  EXPECT_EQ(std::vector<double>({v[0], v[1], v[2], v[4], v[8]}), std::vector<double>({800, 1000, 0, 99, 0}));
  EXPECT_NEAR(v[3], 1000 / (sp.E[800] * 1000 / sp.Y[800]), 0.05);
}

// A column that fills its width keeps a blank before it: an error of 0 gives the difference
// 1000 / 0.01 = 100000.0, eight characters, which once joined the fit column ("0100000.0") and
// made the file fail its own reader.
TEST_F(GphPrfTest, GphFullColumnsStayApartAndReadBack) {
  FitPending[0] = 1;
  TSpectrum& sp = *SpectrumList[1];
  sp.WorkFirst = 800, sp.WorkLast = 801;
  sp.Y[800] = sp.Y[801] = 5, sp.E[800] = 0, sp.E[801] = -3;
  const std::vector<std::string> lines = CrLfLines(WriteGph("full.gph"));
  ASSERT_EQ(lines.size(), 7u);
  for (size_t k : {5u, 6u}) {
    EXPECT_NE(lines[k].find("       0 100000.0 "), std::string::npos) << lines[k];
    const std::vector<double> v = Numbers(lines[k]);
    ASSERT_EQ(v.size(), 9u) << lines[k];
    EXPECT_EQ(std::vector<double>({v[1], v[2], v[3]}), std::vector<double>({1000, 0, 100000}));
  }
  ui.ChooseFile(files_.back().string());
  GphFile(Form1.Image2.canvas, 1);
  EXPECT_TRUE(ui.Messages().empty()) << ::testing::PrintToString(ui.Messages());
  EXPECT_EQ(IntervalLast, 2);
}

TEST_F(GphPrfTest, GphReadBackIsDrawnAndBadFilesAreReported) {
  const std::string path = Temp("m.gph");
  GphFile(Form1.Image2.canvas, 0, path);
  LayoutMainWindow(1, 1);
  ui.ChooseFile(path);
  GphFile(Form1.Image2.canvas, 1);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(std::vector<int32_t>({IntervalFirst, IntervalLast, GraphMode}),
            std::vector<int32_t>({1, WorkLast - WorkFirst + 1, 0}));
  const TImageCanvas& g = Form1.Image2.canvas;
  int32_t red = 0, fuchsia = 0, aqua = 0;
  for (int32_t y = 0; y < 300; ++y)
    for (int32_t x = 0; x < 516; ++x) {
      const int32_t p = g.GetPixel(x, y);
      red += p == RedColor, fuchsia += p == FuchsiaColor, aqua += p == AquaColor;
    }
  EXPECT_GT(red, 20);  // the difference, partly under the crosses and the fit
  EXPECT_GT(fuchsia, 300);
  EXPECT_GT(aqua, 300);
  for (int32_t k = 1; k <= 8; ++k) EXPECT_EQ(g.GetPixel(34 + 64 * (k - 1), 285), LimeColor) << k;

  // Three rows (a label on each), a second row of six numbers, comment lines only.
  const std::string few = Temp("few.gph"), bad = Temp("bad.gph"), empty = Temp("empty.gph");
  std::ofstream(few) << "* c\r\n1 10 20 0 1.5 0 5\r\n2 10 20 0 1.6 0 5\r\n3 10 20 0 1.7 0 5\r\n";
  std::ofstream(bad) << "1 10 20 0 1.5 0 5\r\n2 10 20 0 1.6 0\r\n";
  std::ofstream(empty) << "* only\r\n* comments\r\n";
  ui.ChooseFile(few);
  GphFile(Form1.Image2.canvas, 1);
  EXPECT_EQ(IntervalLast, 3);
  ui.ChooseFile(bad);
  ui.ExpectMessage(bad + " is not a normal gph.file");
  GphFile(Form1.Image2.canvas, 1);
  EXPECT_EQ(IntervalLast, 2);  // drawn all the same
  ui.ChooseFile(empty);
  ui.ExpectMessage("gph.file is empty");
  GphFile(Form1.Image2.canvas, 1);
  EXPECT_EQ(IntervalLast, 2);
}

// The layout, D and the Bragg column are the generator's; here the cases its data do not reach.
TEST_F(GphPrfTest, PrfPosrScaleReflectionRowsAndNoAsterisks) {
  TSpectrum& sp = *SpectrumList[1];
  // Phase 2's reflections follow all of phase 1's with Posr -s c: scaled like the profile (c < 1 here).
  double max = 0, min = 1e300, c = 1;
  for (int32_t x = WorkFirst; x <= WorkLast; ++x) max = std::max(max, sp.Y[x]), min = std::min(min, sp.Y[x]);
  while (max * c >= 1e6) c *= 0.1;
  ASSERT_LT(c, 1);
  const int32_t n1 = PhaseTable[1].ReflectionCount;
  std::vector<std::string> lines = CrLfLines(WritePrf("a.prf"));
  EXPECT_EQ(Numbers(lines[4 + n1])[6], std::nearbyint(-(max - min) / 4 * c));
  EXPECT_EQ(Numbers(lines[4 + n1 - 1])[6], 0);

  // Few reflections over many rows: the rows after them end after Backg.
  PhaseCount = 1, PhaseTable[1].ReflectionCount = 3;
  lines = CrLfLines(WritePrf("b.prf"));
  EXPECT_EQ(lines[2], "     3     0     0");
  for (int32_t k = 1; k <= 5; ++k) EXPECT_EQ(Numbers(lines[3 + k]).size(), k <= 3 ? 13u : 5u) << k;

  // The count scale: max 2e8 gives c = 0.001; max 5e5 keeps c = 1 and every field widens.
  sp.Y[WorkFirst] = 2e8;
  lines = CrLfLines(WritePrf("c.prf"));
  EXPECT_EQ(lines[4].substr(13, 9), " 200000.\t");
  for (int32_t x = WorkFirst; x <= WorkLast; ++x) sp.Y[x] *= 5e5 / 2e8;
  const std::string text = WritePrf("d.prf");
  EXPECT_EQ(text.find('*'), std::string::npos);
  EXPECT_EQ(CrLfLines(text)[4].substr(13, 9), " 500000.\t");

  // No fit: the message, and model values 0.
  FitPending[0] = 1;
  ui.ExpectMessage("No fitting yet performed");
  EXPECT_EQ(Numbers(CrLfLines(WritePrf("e.prf"))[5])[2], 0);
}

// A flat background and every count raised by one offset: Yobs and Ycal move by it, and the
// background column, drawn from the lowest count, stays where it was.
TEST_F(GphPrfTest, PrfBackgroundColumnFollowsTheLowestCount) {
  TSpectrum& sp = *SpectrumList[1];
  const auto scale = [&] {
    double max = 0, c = 1;
    for (int32_t x = WorkFirst; x <= WorkLast; ++x) max = std::max(max, sp.Y[x]);
    while (max * c >= 1e6) c *= 0.1;
    return c;
  };
  const double c = scale(), offset = 400 / c;  // 400 in the file's count units
  const std::vector<std::string> before = CrLfLines(WritePrf("a.prf"));
  SetRecord(4, 30 + offset);
  for (int32_t x = WorkFirst; x <= WorkLast; ++x) sp.Y[x] += offset;
  ASSERT_EQ(scale(), c);
  const std::vector<std::string> after = CrLfLines(WritePrf("b.prf"));
  ASSERT_EQ(after.size(), before.size());
  for (size_t row = 4; row < before.size(); ++row) {
    const std::vector<double> a = Numbers(before[row]), b = Numbers(after[row]);
    ASSERT_GE(b.size(), 5u);
    EXPECT_NEAR(b[1] - a[1], 400, 1) << row;  // Yobs
    EXPECT_NEAR(b[2] - a[2], 400, 1) << row;  // Ycal
    EXPECT_NEAR(b[4], a[4], 1) << row;        // Backg
  }
}

TEST_F(GphPrfTest, PrfOnlyForTimeOfFlightRietveldOrPowderMatch) {
  EXPECT_TRUE(PrfFileAllowed());
  MainMode = 3;
  ui.ExpectMessage("The PRF file holds a Rietveld or powder-match fit only");
  EXPECT_FALSE(PrfFileAllowed());
  MainMode = 2;
  SpectrumList[1]->AxisKind = AxisAngular;
  ui.ExpectMessage("The PRF file holds time-of-flight spectra only");
  EXPECT_FALSE(PrfFileAllowed());
}

TEST_F(GphPrfTest, PhaseCurvesAndTheoreticalMarksOfTheFit) {
  TSpectrum& sp = *SpectrumList[1];
  IntervalFirst = WorkFirst, IntervalLast = WorkLast, GraphMode = 2, SpectrumSlots = " x   ";
  RedrawGraph();
  // Phase 1's curve (lime) at the channel where it stands farthest above phase 2's.
  int32_t at = WorkFirst;
  double best = -1, value = 0;
  for (int32_t c = WorkFirst; c <= WorkLast; ++c) {
    double f = 0, bg = 0;
    EvaluateModelAt(1, c, f, bg);
    if (ModelOutput[2] - ModelOutput[3] > best)
      best = ModelOutput[2] - ModelOutput[3], at = c, value = bg + ModelOutput[2];
  }
  ui.ExpectDialog("Phases").Ok();
  PlotPhaseCurves();
  const double top = GraphYMax + std::sqrt(GraphYMax);
  const int32_t row = std::clamp(int32_t(std::nearbyint(276 - 273 * (value - GraphYMin) / (top - GraphYMin))), 3, 276);
  EXPECT_EQ(Form1.Image2.canvas.GetPixel(ChannelColumn(at), row), LimeColor);
  // Without a fitted curve: the status line.
  GraphMode = 1;
  PlotPhaseCurves();
  EXPECT_EQ(Form1.Label1.caption, "No fit");

  // Theoretical marks: white in the phase's rows (6 each for two phases) at the channel of each
  // reflection's d from the current metric of the parameter array.
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) parar[i] = Rec(i);
  ShowTheoreticalPositions();
  int32_t inside = 0, marked = 0;
  for (int32_t j = 1; j <= PhaseTable[2].ReflectionCount; ++j) {
    const double c = sp.DToChannel(HklTable[j][2].d);
    if (std::nearbyint(c) < IntervalFirst || std::nearbyint(c) > IntervalLast) continue;
    ++inside;
    marked += Form1.Image2.canvas.GetPixel(ChannelColumn(c), 292) == WhiteColor;
  }
  EXPECT_GT(inside, 3);
  EXPECT_EQ(marked, inside);
  FitPending[0] = 1;
  ui.ExpectMessage("No parameters");
  ShowTheoreticalPositions();
}

}  // namespace
