// The graph at the end of the refinement road: the time-of-flight truth spectrum read, its phase
// entered through the editors, the Rietveld array prepared and fitted through "&Rietveld "; then
// the graph shows data, model and difference, and side buttons 12, 6 and 7 write the PRF, GPH and
// BMP files.
#include <gtest/gtest.h>
#include "crystal/truth_setup.h"
#include "mainwin/graph_options.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"

namespace {

class GraphRoadTest : public TruthTest {
protected:
  GraphRoadTest() : TruthTest("graph_road") {}
  void SetUp() override {
    TruthTest::SetUp();
    Form1 = TForm1();
    ScreenScale = 1, PixelMode = 1, GraphScaleMode = 0, LogXScale = 0, LongReflectionIndicators = 0;
    WorkDir = folder_.string();
  }
  bool Press(int32_t button) { return Form1.HandleEvent({TMainEventKind::SideButton, button, 0, false}); }

  KeepValues<std::string> texts_[2] = {{&WorkDir, 1}, {&SpectrumSlots, 1}};
  KeepValues<int32_t> ints_[3] = {{&PixelMode, 1}, {&NChannels, 1}, {&GraphScaleMode, 1}};
};

TEST_F(GraphRoadTest, FittedProfileOnTheGraphAndInItsFiles) {
  const Truth t = ReadTruth("truth_tof_zro2.txt");
  ASSERT_NO_FATAL_FAILURE(ReadSpectrum(t));
  ASSERT_NO_FATAL_FAILURE(EnterPhase(t, false));
  ui.ExpectDialog("Select the analysis").Radio(2).Ok();  // RIETVELD FIT
  ui.QueueAnswer(true);  // not normalized: proceed
  ui.ExpectDialog(ModeNames[0]).Radio(2).Ok();
  ui.ExpectDialog("Preparing parameter array").Ok();
  ui.ExpectDialog("Prepare " + ModeNames[0]).Field(1, 1, "5").Field(2, 1, "100").Field(3, 1, "3")
      .Field(4, 1, "10").Ok();
  ui.QueueAnswer(false);  // the scaling correction
  ui.ExpectDialog("Prepare").Ok();
  ui.ExpectDialog("Parameter array").Ok();
  ui.ExpectDialog(ModeNames[0]).Radio(3).Ok();
  ui.ExpectDialog("Check the Fit Controls").Field(1, 1, "20").Ok();
  ui.ExpectDialog("").Ok();               // the warnings before the fit
  for (int i = 0; i < 2; ++i) ui.QueueAnswer(false);  // a background term of large error: keep free
  ui.ExpectDialog(ModeNames[0]).Ok();     // the fit's summary, no repeat
  ui.ExpectDialog(ModeNames[0]).Radio(6).Ok();  // Exit and show GRAPHS
  ASSERT_TRUE(Form1.HandleEvent({TMainEventKind::MenuItem, 8, 0, false}));  // "&Rietveld "
  ASSERT_EQ(FitPending[0], 0);
  ASSERT_EQ(GraphMode, 2);  // drawn with the fitted curve
  const TSpectrum& sp = *SpectrumList[1];
  const TImageCanvas& g = Form1.Image2.canvas;
  int32_t model = 0, difference = 0, data = 0;
  for (int32_t y = 3; y <= 276; ++y)
    for (int32_t x = 0; x < 516; ++x) {
      const int32_t p = g.GetPixel(x, y);
      model += p == RedColor, difference += p == LimeColor, data += p == ExpDataColor;
    }
  EXPECT_GT(model, 400);
  EXPECT_GT(difference, 400);
  EXPECT_GT(data, 200);

  const std::string prf = WorkDir + "/road.prf", gph = WorkDir + "/road.gph", bmp = WorkDir + "/road.bmp";
  ui.ChooseFile(prf);
  EXPECT_TRUE(Press(12));
  ui.ChooseFile(gph);
  EXPECT_TRUE(Press(6));
  ui.ExpectDialog("Picture of the graph").Edit(1, bmp).Ok();
  ui.QueueAnswer(false);
  EXPECT_TRUE(Press(7));
  for (const std::string& f : {prf, gph, bmp}) EXPECT_GT(std::filesystem::file_size(f), 10000u) << f;
  const std::string prfText = ReadWholeFile(prf);
  EXPECT_EQ(std::count(prfText.begin(), prfText.end(), '\n'), 4 + sp.WorkLast - sp.WorkFirst + 1);
}

}  // namespace
