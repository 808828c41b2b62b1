// The graph option dialogs: the scale dialog that takes nothing on a wrong trimming coefficient,
// the colour chain that stops at the first Cancel, the choice of spectra, the fitted interval
// before a fit, and comments on the graph (the line parser, and indices held to their tables).
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include "core/dialog_toolkit.h"
#include "graph_fixture.h"
#include "mainwin/graph_options.h"

namespace {

class GraphOptionsTest : public GraphTest {
protected:
  KeepValues<int32_t> colours_{&BackgroundColor, 1}, text_{&TextBackgroundColor, 1}, fit_{&FitDataColor, 1},
      form_{&FormColor, 1};
  KeepValues<std::string> comments_{&GraphCommentLines, 1};
};

TEST_F(GraphOptionsTest, ScaleModeTakesNothingOnAWrongTrimmingAndAllOnOk) {
  ui.ExpectDialog("Graph modes").Radio(3).Radio2(3).Edit(1, "two").Check(2).Check(3).Ok();
  ui.ExpectMessage("Wrong trimming");
  SetScaleMode();
  EXPECT_EQ(std::vector<double>({double(GraphScaleMode), double(PixelMode), TrimmingCoefficient, double(LogXScale),
                                 double(LongReflectionIndicators)}),
            std::vector<double>({0, 1, 0.5, 0, 0}));

  ui.ExpectDialog("Graph modes").Radio(4).Radio2(3).Edit(1, "2.5").Check(1).Check(3).Ok();
  SetScaleMode();
  EXPECT_EQ(std::vector<double>({double(GraphScaleMode), double(PixelMode), TrimmingCoefficient,
                                 double(GraphFitErrors), double(LogXScale), double(LongReflectionIndicators)}),
            std::vector<double>({3, 2, 2.5, 1, 0, 1}));
}

TEST_F(GraphOptionsTest, ColourChainKeepsTheChoicesBeforeTheFirstCancel) {
  BackgroundColor = WhiteColor, TextBackgroundColor = LimeColor, FitDataColor = RedColor;
  ui.ExpectDialog("Graph modes").Check(4).Ok();
  ui.ExpectDialog("Colors").Radio(3).Ok();  // GRAPH BACKGROUND: Green
  ui.ExpectDialog("Colors").Radio(4).Ok();  // TEXT BACKGROUND: Navy
  ui.ExpectDialog("Colors").Cancel();       // FITTED CURVE
  SetScaleMode();
  EXPECT_EQ(std::vector<int32_t>({BackgroundColor, TextBackgroundColor, FitDataColor}),
            std::vector<int32_t>({GreenColor, 0x800000, RedColor}));
}

TEST_F(GraphOptionsTest, SeveralSpectraAndTheFittedIntervalBeforeAFit) {
  // 1 read from a file, 2 not present, 3 made in the session (its name the folder), 4 present
  // but never given a count: only 1 and 3 hold data, and by their names.
  const std::string folder = std::filesystem::temp_directory_path().string();
  for (int32_t s = 1; s <= 4; ++s) {
    TSpectrum& sp = *SpectrumList[s];
    sp.FirstChannel = 1, sp.LastChannel = 900, sp.WorkFirst = 200, sp.WorkLast = 300;
    std::fill(std::begin(sp.Y), std::end(sp.Y), 0.0);
    if (s % 2 == 1) sp.Y[450] = 12.0;
    sp.Name = s == 1 ? folder + "/zro2.spc" : folder;
  }
  SpectrumList[2]->Present = 0;
  ui.ExpectDialog("Several spectra").Check(4).Check(5, false).Ok();
  std::string slots = "     ";
  SelectSpectraToGraph(slots);
  EXPECT_EQ(ui.LastDialog().CheckListBox1.items,
            (std::vector<std::string>{"  Spectrum 1     zro2.spc", "  Spectrum 2     none", "  Spectrum 3     (no file)",
                                      "  Spectrum 4     none", "     Intervals only"}));
  EXPECT_EQ(DialogOk, 0);  // spectrum 4 holds nothing to draw
  ui.ExpectDialog("Several spectra").Check(3).Check(5, false).Ok();
  SelectSpectraToGraph(slots);
  EXPECT_EQ(slots, "   x ");
  EXPECT_EQ(std::vector<int32_t>({CurrentSpectrum, IntervalFirst, IntervalLast, GraphMode}),
            std::vector<int32_t>({3, 1, 900, 1}));
  ui.ExpectDialog("Several spectra").Ok();
  ui.ExpectMessage("Error, no spectra marked");
  SelectSpectraToGraph(slots);
  EXPECT_EQ(DialogOk, 0);

  GraphMode = 1;
  ui.ExpectMessage("No fitting has been performed");
  GraphFittedInterval();
  EXPECT_EQ(std::vector<int32_t>({DialogOk, GraphMode, IntervalFirst}), std::vector<int32_t>({0, 1, 1}));
}

TEST_F(GraphOptionsTest, CommentLinesAndTheirChecks) {
  struct Case {
    const char* line;
    bool ok;
    int32_t column, row, colour;
  };
  for (const Case& c : {Case{"Peak A\\10\\5C2", true, 10, 5, FuchsiaColor}, Case{"x\\3\\4", true, 3, 4, AquaColor},
                        Case{"x\\3\\4c6", true, 3, 4, WhiteColor}, Case{"x\\3\\4C9", true, 3, 4, AquaColor},
                        Case{"x\\3", false, 0, 0, 0}, Case{"x\\a\\b", false, 0, 0, 0}}) {
    const TGraphComment g = ParseCommentLine(c.line);
    EXPECT_EQ(g.ok, c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(g.text, c.column == 10 ? "Peak A" : "x") << c.line;
      EXPECT_EQ(std::vector<int32_t>({g.column, g.row, g.colour}), std::vector<int32_t>({c.column, c.row, c.colour}));
    }
  }

  ShowSpectrum(512, [](int32_t) { return 10.0; });
  RedrawGraph();
  ui.ExpectDialog("Comments").Radio(2).Ok();
  ui.ExpectDialog("Put user comment").Memo(".\n-\nok\\2\\3\nno separators\nfar\\70\\3").Ok();
  ui.ExpectMessage(" Wrong or absent x,y separators");
  ui.ExpectMessage("XY out of range [64 x 20]");
  PutCommentsOnGraph(Form1.Image2.canvas);
  // The lines after the two heading lines come back next time.
  ui.ExpectDialog("Comments").Radio(2).Ok();
  ui.ExpectDialog("Put user comment").Inspect([](TForm2& f) {
    EXPECT_EQ(std::vector<std::string>(f.Memo1.lines.begin() + 2, f.Memo1.lines.end()),
              (std::vector<std::string>{"ok\\2\\3", "no separators", "far\\70\\3"}));
  }).Cancel();
  PutCommentsOnGraph(Form1.Image2.canvas);

  // Phase, label row and colour of 0 or below are held to 1 (they index tables).
  MarkedPointCount = 1, MarkedPoints[1] = 100;
  HklTable[1][1].d = SpectrumList[1]->ChannelToD(100), PhaseTable[1].ReflectionCount = 1;
  ui.ExpectDialog("Comments").Radio(1).Ok();
  ui.ExpectDialog("Put hkls").Cell(0, 0, "0").Cell(0, 1, "-3").Cell(0, 2, "-1").Ok();
  PutCommentsOnGraph(Form1.Image2.canvas);
  EXPECT_EQ(DialogOk, 1);
  MarkedPointCount = 0;
  ui.ExpectDialog("Comments").Radio(1).Ok();
  ui.ExpectDialog("Put hkls").Ok();
  ui.ExpectMessage("No marked points");
  PutCommentsOnGraph(Form1.Image2.canvas);
}

}  // namespace
