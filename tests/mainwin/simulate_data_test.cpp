// "Simulate the Data" from the main window: the first dialog, the simulation and the save loop
// writing the simulated spectrum and its variance through the output dialog, read back; the peak
// mode's sines, a Rietveld profile with errors and the powder-indexing d-spacing set (against
// gemmi's d) chosen in the first dialog.
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include "core/abandon.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/random.h"
#include "crystal/profile_setup.h"
#include "mainwin/main_window.h"
#include "spectrum/simulation.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

std::vector<double> FileNumbers(const std::string& path) {
  std::ifstream in(path);
  return {std::istream_iterator<double>(in), std::istream_iterator<double>()};
}

class SimulateDataTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    Form1 = TForm1();
    SimulateWithErrors = 0, DisturbAfterSimulation = 0, SimulateSinuses = 0, SimulationSetupStep = 1;
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    ProfileTest::TearDown();
  }
  // The save loop: "Save the simulated spectrum" and "Save the simulated variance" as free-field
  // ASCII with 9 decimals into spectrum.txt and variance.txt, then "Exit". The variance choice
  // preselects the errors in the output dialog (mended: counts were preselected, so OK wrote them).
  void ScriptSaveLoop(int32_t spectrum, const std::string& axis) {
    const std::string caption = "Output of the current spectrum (" + std::to_string(spectrum) + ") " + axis;
    const std::tuple<int32_t, std::string, std::string> saves[] = {{1, "spectrum", "Spectrum "},
                                                                   {2, "variance", "Variance "}};
    for (const auto& [item, name, head] : saves) {
      ui.ExpectDialog(" Simulated data").Radio(item).Ok();
      ui.ExpectDialog(caption).Radio(3).Edit(1, "9").Ok();
      ui.ChooseFile(Path(name));
      ui.ExpectDialog(caption).Inspect([=, this](TForm2& f) {
        const std::vector<std::string> report = {head + std::to_string(spectrum), "saved to " + Path(name)};
        EXPECT_EQ(f.ListBox1.items, report);
      }).Ok();
    }
    ui.ExpectDialog(" Simulated data").Ok();  // "Exit" preselected
  }
  void Simulate() { EXPECT_TRUE(RunUserCommand([] { Form1.SimulatetheSpectrum1Click(); })); }
  std::string Path(const std::string& name) const { return (dir / (name + ".txt")).string(); }

  std::filesystem::path dir = TestTempPath("simulate_data");
  KeepValues<uint8_t> flags_[3] = {{&SimulateWithErrors, 1}, {&DisturbAfterSimulation, 1}, {&SimulateSinuses, 1}};
  KeepValues<int32_t> keep_[4] = {
      {&SimulationSetupStep, 1}, {&IntervalFirst, 1}, {&IntervalLast, 1}, {&MarkedPointCount, 1}};
  KeepValues<std::string> name_{&OutputSpectrumFileName, 1};
  KeepValues<TRandomSeeds> seeds_{&RandomSeeds, 1};
  KeepValues<double> error_{&DefaultDError, 1};
};

// Peak mode, "  Simulate sinuses": 10 sin(2 pi c / 50) + 5 sin(2 pi c / 120) without errors in
// the double-signed spectrum 2 while spectrum 1 is current; the files hold the sines and the
// variance |y| + 1 (sigma^2) (mended: the save loop wrote the current spectrum, not the simulated
// one), and spectrum 1 is current again afterwards.
TEST_F(SimulateDataTest, PeakModeSinesSavedWithTheirVariance) {
  TSpectrum& sp = *SpectrumList[1];
  sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = 400, sp.AxisKind = 2;
  CurrentSpectrum = 1;
  ui.ExpectDialog("Spectrum simulation").Combo(4).Radio(2).Radio2(3).Ok();
  ui.ExpectDialog("  Set the data for spectrum simulation").Check(1, true).Ok();
  ui.ExpectDialog("Enter peak positions").Memo("50 10 1\n120 5 1\n").Ok();
  ScriptSaveLoop(2, "Any");
  Simulate();
  EXPECT_EQ(CurrentSpectrum, 1);
  const std::vector<double> y = FileNumbers(Path("spectrum")), v = FileNumbers(Path("variance"));
  ASSERT_EQ(y.size(), 400u);
  ASSERT_EQ(v.size(), 400u);
  double lowest = 0;
  for (int32_t c = 1; c <= 400; ++c) {
    const double want = 10 * std::sin(2 * M_PI * c / 50) + 5 * std::sin(2 * M_PI * c / 120);
    EXPECT_NEAR(y[c - 1], want, 1e-9) << c;
    EXPECT_NEAR(v[c - 1], std::fabs(want) + 1, 1e-9) << c;
    lowest = std::min(lowest, y[c - 1]);
  }
  EXPECT_LT(lowest, -10);  // negative half-waves kept
  EXPECT_EQ(MainMode, 3);
}

// Rietveld mode with errors: " Make the Simulation and Exit" at once, its progress window shown
// with a pass of the window system, the spectrum scaled to a highest count near 5000; the saved
// counts and variance are what the spectrum holds.
TEST_F(SimulateDataTest, ProfileWithErrorsSavedAndReadBack) {
  TSpectrum& sp = SetUpProfileSpectrum(ProfileSpectrum{});
  ASSERT_TRUE(SetUpZincOxide(1));
  ASSERT_GT(FormProfileReflections(1), 5);
  LayOutProfileParameters();
  Rec(4).value = 50;
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  ui.ExpectDialog("Spectrum simulation").Combo(1).Check(1, true).Radio(1).Radio2(1).Ok();
  ui.ExpectDialog("Spectrum simulation").Radio(7).Ok();
  ScriptSaveLoop(1, "ToF");
  // The progress window is up, and the window system gets its pass, before the channels are made.
  bool progress = false;
  ui.AtYield(1, [&] {
    progress = Form2.visible && Form2.caption == " Spectrum simulation" && sp.Name != "SimSp1.spc";
  });
  Simulate();
  EXPECT_TRUE(progress);
  const std::vector<double> y = FileNumbers(Path("spectrum")), v = FileNumbers(Path("variance"));
  const size_t n = static_cast<size_t>(sp.LastChannel - sp.FirstChannel + 1);
  ASSERT_EQ(y.size(), n);
  ASSERT_EQ(v.size(), n);
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
    const size_t i = static_cast<size_t>(c - sp.FirstChannel);
    EXPECT_NEAR(y[i], sp.Y[c], 1e-9) << c;
    EXPECT_NEAR(v[i], sp.E[c] * sp.E[c], 1e-8 * v[i]) << c;
  }
  EXPECT_EQ(sp.Name, "SimSp1.spc");
  EXPECT_NEAR(sp.Ymax, 5000, 5 * std::sqrt(5001.0));
}

// Powder indexing in the first dialog: the d-spacing set of a hexagonal cell without noise or
// deletion holds every d of gemmi's list that no other d lies within the merge distance of, and
// nothing else.
TEST_F(SimulateDataTest, DSpacingSetThroughTheFirstDialog) {
  ASSERT_TRUE(SetUpPhase(1, 186, 1, {3.2495, 3.2495, 5.2069, 90, 90, 120}));
  UseSpaceGroup = 0, NoCrystalInfo = 0;
  ui.ExpectDialog("Spectrum simulation").Combo(2).Ok();
  ui.ExpectDialog("Phase information").Ok();
  ui.ExpectDialog("Check lattice information").Ok();
  ui.ExpectDialog("Spectrum simulation")
      .Field(1, 1, "1.2").Field(2, 1, "6").Field(3, 1, "0.002").Field(5, 1, "200").Check(1, false).Check(2, false).Ok();
  ui.ExpectDialog("Set the info for indexing, phase= 1").Ok();
  ui.ExpectDialog("Spectrum simulation").Ok();  // "D-spacings prepared ..."
  ui.ExpectDialog(" Simulated data").Ok();
  Simulate();
  EXPECT_EQ(MainMode, 1);
  int32_t isolated = 0;
  std::set<double> distinct;
  for (const Tokens& t : GoldenRows("simulation_golden.txt", "spectrum")) {
    if (t[0] != "d" || t[1] != "hexagonal") continue;
    const double d = std::stod(t[5]);
    distinct.insert(std::nearbyint(d * 1e7));
    if (t[6] != "1") continue;
    bool found = false;
    // The program's reciprocal cell carries its legacy pi and degree constants: 5e-8 relative.
    for (int32_t i = 1; i <= DSpacingCount; ++i) found |= std::fabs(DSpacingList[i].d - d) < 5e-8 * d;
    EXPECT_TRUE(found) << d;
    ++isolated;
  }
  EXPECT_EQ(DSpacingCount, static_cast<int32_t>(distinct.size()));
  EXPECT_GT(isolated, 5);
}

}  // namespace
