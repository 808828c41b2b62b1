// The graph's road in the real program: the ZrO2 time-of-flight truth spectrum through "Input the
// Spectrum" and the real file dialog, its phase through "&Rietveld " item 1 (the crystal menu and
// editors), item 2 (prepare, make, exit to the graph); the graph widget then shows data, model and
// difference; side buttons 12, 6 and 7 write the PRF, GPH and BMP files, and Esc ends the session
// with its FINISH line.
#include <QtTest/QTest>
#include "core/canvas.h"
#include "core/model_switches.h"
#include "core/settings_file.h"
#include "crystal/truth_setup.h"
#include "program_road.h"

namespace {
using GraphRoadQtTest = ProgramRoadTest;

TEST_F(GraphRoadQtTest, SpectrumPhaseFitGraphAndItsFiles) {
  const Truth t = ReadTruth("truth_tof_zro2.txt");
  const std::string prf = (folder / "road.prf").string(), gph = (folder / "road.gph").string(),
                    bmp = (folder / "road.bmp").string();
  // The spectrum: ASCII triples, time of flight, X the channel; then the width and calibration.
  files.push_back(TruthDataDir + t.Text("spectrum", 0));
  ExpectDialog("Spectrum 1 input").Radio(4).Radio2(1).Check(1, false).Check(3, false).Check(4, false);
  ExpectDialog("Spectrum 1 input");
  ExpectDialog("Spectrum 1 input").Field(1, 1, t.Text("header", 0)).Field(3, 1, t.Text("header", 2))
      .Field(4, 1, t.Text("header", 1));
  // The crystal: the menu offers the phase, the atoms, the reflections and its exit in turn.
  ExpectDialog("Select the analysis").Radio(1);
  ExpectDialog("Enter the Crystal Information");
  ExpectDialog("Phase information").Field(1, 1, t.Text("group", 0)).Field(2, 1, t.Text("group", 1));
  auto& cell = ExpectDialog("Check lattice information");
  int32_t row = 0;
  for (size_t i : {0, 1, 2, 4}) cell.Field(++row, 1, t.Text("cell", i));
  ExpectDialog("Enter the Crystal Information");
  std::string memo;
  for (const auto& a : t.atoms) memo += a[0] + "\n";
  ExpectDialog("Enter or Edit the atom list").Memo(memo);
  for (size_t j = 0; j < t.atoms.size(); ++j) {
    auto& d = ExpectDialog("Atom " + std::to_string(j + 1) + " ").Field(1, 1, t.atoms[j][5]);
    for (int32_t i = 0; i < 3; ++i) d.Field(2 + i, 1, t.atoms[j][2 + static_cast<size_t>(i)]);
    d.Field(5, 1, t.atoms[j][6]);
  }
  ExpectDialog("Enter the Crystal Information");
  ExpectDialog("Form hkl").Field(1, 1, t.Text("hkl_range", 0)).Field(2, 1, t.Text("hkl_range", 1));
  ExpectDialog("");  // the formed reflections
  ExpectDialog("Enter the Crystal Information");
  // The fit: prepare, make, exit to the graph.
  ExpectDialog("Select the analysis").Radio(2);
  questions.push_back(true);  // not normalized: proceed
  ExpectDialog(ModeNames[0]).Radio(2);
  ExpectDialog("Preparing parameter array");
  ExpectDialog("Prepare " + ModeNames[0]).Field(1, 1, "5").Field(2, 1, "100").Field(3, 1, "3").Field(4, 1, "10");
  questions.push_back(false);  // the scaling correction
  ExpectDialog("Prepare");
  ExpectDialog("Parameter array");
  ExpectDialog(ModeNames[0]).Radio(3);
  ExpectDialog("Check the Fit Controls").Field(1, 1, "20");
  ExpectDialog("");  // the warnings before the fit
  ExpectDialog(ModeNames[0]);  // the summary, no repeat
  ExpectDialog(ModeNames[0]).Radio(6);  // Exit and show GRAPHS
  // The files of side buttons 12, 6 and 7.
  files.insert(files.end(), {prf, gph});
  ExpectDialog("Picture of the graph").Edit(1, bmp);
  questions.push_back(false);  // reverse the colours
  questions.push_back(true);   // exit with results unsaved

  std::array<int32_t, 3> pixels{};  // model, difference, data on the widget (at the program's scale 1.25)
  Then([](MainWindowView& view) { MenuAction(view, "Input the Spectrum")->trigger(); });
  Then([](MainWindowView& view) { view.Action(8)->trigger(); });  // "&Rietveld "
  Then([&](MainWindowView& view) {
    const QImage g = view.Image(2)->grab().toImage();
    const QColor colours[3] = {QColor::fromRgb(ColorToRgb(RedColor)), QColor::fromRgb(ColorToRgb(LimeColor)),
                               QColor::fromRgb(ColorToRgb(ExpDataColor))};
    for (int32_t y = 0; y < g.height(); ++y)
      for (int32_t x = 0; x < g.width(); ++x)
        for (size_t k = 0; k < 3; ++k) pixels[k] += g.pixelColor(x, y) == colours[k];
    for (int32_t b : {12, 6, 7}) view.SideButton(b)->click();
  });
  Then([](MainWindowView& view) { QTest::keyClick(&view, Qt::Key_Escape); });

  EXPECT_EQ(MainProgram({folder.string()}), 0);
  EXPECT_TRUE(dialogs.empty() && files.empty() && questions.empty() && steps.empty());
  EXPECT_EQ(FitPending[0], 0);
  for (int32_t p : pixels) EXPECT_GT(p, 1000);
  for (const std::string& f : {prf, gph, bmp})
    EXPECT_GT(std::filesystem::exists(f) ? std::filesystem::file_size(f) : 0, 10000u) << f;
  // One PRF row per channel of the working range after the four heading lines.
  const std::string text = ReadWholeFile(prf);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + t.At("range", 1) - t.At("range", 0) + 1);
  const std::string log = Log(), finish = std::string(20, ' ') + "VKEST FINISH  2026-03-04 05:06:07\r\n";
  EXPECT_EQ(log.find(finish), log.size() - finish.size());
}
}  // namespace
