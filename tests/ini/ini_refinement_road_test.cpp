// ZrO2 refined from an INI file: the time-of-flight spectrum of tools/gen_refinement_truth.py
// (gemmi's structure factors, Poisson noise) and a perturbed start are read by the INI reader,
// prepared and refined through the refinement menu; the refined cell lands within 3 standard
// deviations of the generator's truth. The set-up is then saved by "Save Ini-file", read back in a
// fresh state and refined for one iteration: the fit stays where it was.
#include <gtest/gtest.h>
#include <array>
#include <sstream>
#include "crystal/truth_setup.h"
#include "ini/ini_reader.h"

namespace {

class IniRefinementRoad : public TruthTest {
protected:
  IniRefinementRoad() : TruthTest("ini_refinement_road") {}
  // The reader moves WorkDir to the folder of the command file.
  KeepValues<std::string> workDir_{&WorkDir, 1};

  // The INI text of the set-up: the spectrum (a bare name: beside the command file) with the
  // generator's instrument constants (delay 0, refined), the cell and atoms off their truth as a
  // user would start.
  static std::string SetUpText(const Truth& t) {
    std::ostringstream s;
    s.precision(10);
    s << "SM\n0\nSNP\n1\nASCIILS\n1 2 3\nIS\n" << t.Text("spectrum", 0) << "\n1 4 "
      << t.Text("range", 0) << " " << t.Text("range", 1) << " " << t.Text("range", 0) << " " << t.Text("range", 1)
      << " " << t.At("header", 1) << " 0 " << t.At("header", 0) << " " << t.At("header", 2) << " 7 4 7 0 3 0 0 0\n";
    const double change[6] = {1.003, 0.998, 1.0025, 1, 1.002, 1};
    s << "ILP\n";
    for (int32_t i = 0; i < 6; ++i) s << t.At("cell", static_cast<size_t>(i)) * change[i] << " ";
    s << t.Text("group", 0) << " " << t.Text("group", 1) << " " << t.atoms.size() << " 0 0\nIAP\n";
    int32_t sign = 1;
    for (size_t j = 0; j < t.atoms.size(); ++j) {
      const Tokens& a = t.atoms[j];
      s << a[0] << "\n" << a[5];
      for (size_t i = 2; i <= 4; ++i) s << " " << std::stod(a[i]) + 0.01 * (sign = -sign);
      s << " " << std::stod(a[6]) * (j % 2 ? 0.7 : 1.3) << " 0 0 0 0 0 " << a[1] << "\n";
    }
    s << "FHKL\nSTOP\n";
    return s.str();
  }

  // The refinement menu: PREPARE with the array edited as a user would (scale and widths off
  // their truth, every B free), MAKE with the controls of a final refinement, exit.
  void PrepareAndRefine(const Truth& t) {
    const int32_t base = PhaseParameterOffset(1);
    ui.QueueAnswer(true);  // not normalized: proceed
    ui.ExpectDialog(ModeNames[0]).Radio(2).Ok();
    ui.ExpectDialog("Preparing parameter array").Ok();
    ui.ExpectDialog("Prepare " + ModeNames[0]).Field(1, 1, "5").Field(2, 1, "100").Field(3, 1, "3").Field(4, 1, "10")
        .Ok();
    ui.QueueAnswer(false);  // the scaling correction
    ui.ExpectDialog("Prepare").Ok();
    auto& grid = ui.ExpectDialog("Parameter array");
    grid.Cell(3, base + 1, Text(1.2 * t.At("phase", 0)));
    grid.Cell(2, base + 8, "1").Cell(3, base + 8, Text(0.8 * t.At("phase", 1))).Cell(4, base + 8, "40");
    grid.Cell(3, base + 9, Text(1.2 * t.At("phase", 2)));
    for (int32_t a = 1; a <= static_cast<int32_t>(t.atoms.size()); ++a)
      grid.Cell(2, base + 10 * a + 5, "0").Cell(4, base + 10 * a + 5, "5");
    grid.Ok();
    Make("100");
  }

  // MAKE with the given iterations, no repeat, exit. A fit stopped by its iteration limit asks
  // whether to repeat it.
  void Make(const std::string& iterations, bool converges = true) {
    ui.ExpectDialog(ModeNames[0]).Radio(3).Ok();
    ui.ExpectDialog("Check the Fit Controls").Field(1, 1, iterations).Field(4, 1, "1e-5").Ok();
    ui.ExpectDialog("").Ok();
    if (!converges) ui.ExpectQuestion("Repeat fitting?", false);
    ui.ExpectDialog("").Ok();  // the closing dialog: no repeat
    ui.ExpectDialog(ModeNames[0]).Radio(6).Ok();
    FitActionMenu();
  }
};

TEST_F(IniRefinementRoad, Zro2FromIniFileReachesTheTruthAndSavesAFixedPoint) {
  const Truth t = ReadTruth("truth_tof_zro2.txt");
  StartingChannelOne = 0;  // the X column holds the channel
  // The working folder holds the spectrum and the INI files: the writer names files without
  // their folder.
  std::filesystem::copy_file(TruthDataDir + t.Text("spectrum", 0), folder_ / t.Text("spectrum", 0));
  for (auto& sp : SpectrumList) sp->Name = sp->VarianceName = WorkDir;  // as the session starts them
  ReadIniText(SetUpText(t), 1, true, false, (folder_ / "zro2_road.ini").string());
  ASSERT_EQ(DialogOk, 1);
  ASSERT_EQ(SpectrumList[1]->WorkFirst, t.At("range", 0));
  ASSERT_GT(PhaseTable[1].ReflectionCount, 10);
  ASSERT_NO_FATAL_FAILURE(PrepareAndRefine(t));

  // The refined cell within 3 standard deviations of the truth; chi2/dof near 1.
  const TParameter& fit = *FitParameters;
  for (int32_t i = 0; i < 6; ++i) {
    const double error = PhaseTable[1].CellErrors[i];  // 0: fixed by the crystal system
    const double truth = t.At("cell", static_cast<size_t>(i));
    EXPECT_LE(std::fabs(PhaseTable[1].Cell[i] - truth), error > 0 ? 3 * error : 1e-9) << i;
  }
  EXPECT_GE(fit.ChiDf, 0.9);
  EXPECT_LE(fit.ChiDf, 1.1);

  // Saved, read back in a fresh state (IP, GAIPA and the closing update), one iteration: the
  // file holds the records to 5 digits, so chi2/dof and the cell move by about 1e-5 at most.
  const double chi = fit.ChiDf;
  std::array<double, 6> cell{};
  std::copy(PhaseTable[1].Cell, PhaseTable[1].Cell + 6, cell.begin());
  const std::string saved = (folder_ / "zro2_refined.ini").string();
  ui.ChooseFile(saved);
  SaveIniFile(1);
  ASSERT_EQ(StatusMessage, saved + " ini-file created");
  CreateFitParameters();
  // The menu's "Proceed?" marked the spectrum normalised, so the file asks: it never was.
  ui.ExpectDialog(" Spectrum 1").Cancel();
  ReadIniText(ReadWholeFile(saved), 1, true, false, saved);
  ASSERT_EQ(DialogOk, 1);
  ASSERT_EQ(UseAvailableArray[0], 1);
  ui.QueueAnswer(true);  // not normalized: proceed
  ASSERT_NO_FATAL_FAILURE(Make("1", false));
  EXPECT_NEAR(FitParameters->ChiDf, chi, 1e-4 * chi);
  for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(PhaseTable[1].Cell[i], cell[i], 1e-4 * cell[i]) << i;
}

}  // namespace
