// The spectrum, d-spacing, phase and reflection windows through the scripted backend: what the
// editors store and refuse, the five header checks, the order of the spectrum windows, and list
// lines written out by hand from the cell geometry.
#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <sstream>
#include <tuple>
#include "core/number_format.h"
#include "crystal/info_windows.h"
#include "crystal/phase_setup.h"
#include "support/golden_files.h"

namespace {

using Lines = std::vector<std::string>;

class InfoWindowsTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    for (int32_t s = 0; s <= 4; ++s) SpectrumList[s]->LastChannel = 8000;
    CurrentSpectrum = 1;
  }
  static TSpectrum& Sp(int32_t s) { return *SpectrumList[s]; }
  static auto Header(const TSpectrum& p) {
    return std::tuple(p.FirstChannel, p.LastChannel, p.WorkFirst, p.WorkLast, p.BackgroundDegree, p.ChanWidth,
                      p.Delay, p.Theta, p.FlightPath, p.W0, p.Dw0, p.W1, p.W2, p.AxisKind, p.Lambda, p.Name);
  }

private:
  FreshSpectra spectra_;
  KeepValues<int32_t> cyn_{&CynematicFit, 1}, type_{&DSpacingDataType, 1};
  KeepValues<double> avg_{&AverageDError, 1};
  KeepValues<uint8_t> aniso_{&AnisotropyOn, 1}, anisoPhases_{AnisotropicPhases, MaxPhases + 1};
};

// Time of flight: OK orders the channels, puts the working bounds inside them, makes mode 9 a 1,
// keeps the name's inner blank. Angular: row 8 shows X at the first channel, row 9 the wavelength
// that it then sets; wavelength 0 fails after storing. Channels outside 1..32768, a mistyped
// field and Cancel store nothing.
TEST_F(InfoWindowsTest, SpectrumEditor) {
  std::string text = "caller";
  uint8_t ok = 7;
  DialogScript& d = ui.ExpectDialog("Spectrum 1");
  int32_t row = 0;
  for (const char* v : {"8000", "10", "2", "9000", "9", "2.5", "1.5", "80", "20", "4", "3", "2", "1", "0"}) d.Cell(0, row++, v);
  d.Edit(1, "  my run.dat ").Ok();
  EditSpectrumInfo(text, 1, ok);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Header(Sp(1)), std::tuple(10, 8000, 10, 8000, 1, 2.5, 1.5, 80.0, 20.0, 4.0, 3.0, 2.0, 1.0, 0, 1.54, std::string("my run.dat")));

  text = "caller";  // the type label's scratch: the first call left its type name there
  TSpectrum& p = Sp(2);
  p.AxisKind = AxisAngular, p.X[1] = 12.5, p.Lambda = 1.2, p.FileType = 7;
  ui.ExpectDialog("Spectrum 2")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(std::tuple(std::stod(f.StringGrid1.Cell(0, 7)), std::stod(f.StringGrid1.Cell(0, 8))), std::tuple(12.5, 1.2));
        EXPECT_EQ(f.Label2.caption, "Type= caller  (7)");
      })
      .Cell(0, 8, "0").Ok();
  ui.ExpectMessage("Wrong Lambda for spectrum 2");
  EditSpectrumInfo(text, 2, ok);
  EXPECT_EQ(std::tuple(ok, p.Lambda, p.FlightPath, p.Theta), std::tuple(uint8_t{0}, 0.0, 0.0, 12.5));

  const auto before = Header(Sp(1));
  ui.ExpectDialog("Spectrum 1").Cell(0, 0, "-5").Cell(0, 1, "100").Ok();
  ui.ExpectMessage("Wrong interval");
  ui.ExpectDialog("Spectrum 1").Cell(0, 0, "1").Cell(0, 1, "40000").Ok();
  ui.ExpectMessage("Error, 40000 interval too long");
  ui.ExpectDialog("Spectrum 1").Cell(0, 0, "20").Cell(0, 9, "w0").Press(1).Cancel();
  ui.ExpectDialog("Spectrum 1").Cell(0, 0, "20").Cancel();
  for (int32_t i = 0; i < 4; ++i) EditSpectrumInfo(text, 1, ok);
  EXPECT_EQ(Header(Sp(1)), before);
}

// Every condition is checked; no wavelength check for time of flight, no Width 0 check for the
// effective spectrum.
TEST_F(InfoWindowsTest, CheckSpectrumInfoConditions) {
  Sp(1).FlightPath = 0, Sp(1).ChanWidth = -1, Sp(1).Theta = 0, Sp(1).W0 = 0, Sp(1).Lambda = 0;
  for (const char* m : {"Wrong Flight path", "Wrong channel width", "Wrong Bragg angle", "Wrong width0"})
    ui.ExpectMessage(m + std::string(" for spectrum 1"));
  ui.ExpectMessage("Wrong Lambda for spectrum 3");
  Sp(3).AxisKind = AxisAngular, Sp(3).Lambda = 0, Sp(3).FlightPath = 0, Sp(3).ChanWidth = 0;
  Sp(0).W0 = 0;
  uint8_t ok[3] = {1, 1, 0};
  CheckSpectrumInfo(1, ok[0]);
  CheckSpectrumInfo(3, ok[1]);
  CheckSpectrumInfo(0, ok[2]);
  EXPECT_EQ(std::tuple(ok[0], ok[1], ok[2]), std::tuple(0, 0, 1));
}

// Spectra 1..4 stop at a Cancel; after all four the effective spectrum with its text as type.
// The variance window: the name, its warning and the means over the working interval.
TEST_F(InfoWindowsTest, SpectrumAndVarianceWindows) {
  ui.ExpectDialog("Spectrum 1").Ok();
  ui.ExpectDialog("Spectrum 2").Cancel();
  ShowSpectrumInfo();
  Sp(0).FileType = 0;
  for (const char* c : {"Spectrum 1", "Spectrum 2", "Spectrum 3", "Spectrum 4"}) ui.ExpectDialog(c).Ok();
  ui.ExpectDialog("Spectrum 0").Inspect([](TForm2& f) { EXPECT_EQ(f.Label2.caption, "Type= Effective Spectrum = sp0  (0)"); }).Ok();
  ShowSpectrumInfo();

  Sp(1).VarianceName = "", Sp(1).WorkFirst = 3, Sp(1).WorkLast = 1, Sp(2).VarianceName = "v2.dat";
  for (int32_t i = 1; i <= 3; ++i) Sp(1).Y[i] = 10.0 * i + 0.5, Sp(1).E[i] = i;
  ui.ExpectDialog("Spectrum 1 = sp1").Inspect([](TForm2& f) {
    EXPECT_EQ(std::tuple(f.Label1.caption, f.Label2.caption, f.Label3.caption),
              std::tuple(" Variance 1 = ", " No file name ! ", " Interval average error/counts = 2.0 / 20.5"));
  }).Ok();
  ui.ExpectDialog("Spectrum 2 = sp2").Inspect([](TForm2& f) { EXPECT_FALSE(f.Label2.visible); }).Cancel();
  ShowVarianceInfo();
}

// Rows 1..5 into the current spectrum, CynematicFit 0 or 1, row 7 not read, a type outside 0..3
// or a mistyped field stores nothing. The list: the column pair of the type, the phase column
// blank with one phase.
TEST_F(InfoWindowsTest, DSpacingEditorAndList) {
  AverageDError = 0.0016;
  ui.ExpectDialog("Dspacings Info").Cell(0, 0, "15").Cell(0, 1, "0.9").Cell(0, 2, "90").Cell(0, 3, "-2")
      .Cell(0, 4, "8").Cell(0, 5, "5").Cell(0, 6, "3").Cell(0, 7, "0").Ok();
  for (const char* bad : {"4", "-1"}) ui.ExpectDialog("Dspacings Info").Cell(0, 0, "30").Cell(0, 7, bad).Ok();
  ui.ExpectDialog("Dspacings Info").Cell(0, 0, "30").Cell(0, 7, "t").Press(1).Cancel();
  for (int32_t i = 0; i < 4; ++i) EditDSpacingInfo(1);
  const TSpectrum& p = Sp(1);
  EXPECT_EQ(std::tuple(p.FlightPath, p.Lambda, p.Theta, p.Delay, p.ChanWidth, CynematicFit, DSpacingDataType, AverageDError),
            std::tuple(15.0, 0.9, 90.0, -2.0, 8.0, 1, 0, 0.0016));

  DSpacingCount = 0;
  ui.ExpectMessage("No d-spacings");
  ShowDSpacings();
  DSpacingCount = 2;
  DSpacingList[1] = TDSpacingRecord{2.3456, 0.0012, 2.346, 2.3456, 0, 1, 1, 0, 0, 1, 1};
  DSpacingList[2] = TDSpacingRecord{1.5, 0.002, 0, 1.5, 123.456, 2, 0, 0, 0, 2, 0};
  ui.ExpectDialog("Dspacings Info").Inspect([](TForm2& f) { EXPECT_TRUE(f.Label4.visible); }).Ok();
  ui.ExpectDialog("Dspacings").Inspect([](TForm2& f) {
    EXPECT_EQ(f.ListBox1.items, (Lines{"   N   d_exp   error    d_calc        x      hkl    phase",
                                       "   1  2.3456  0.0012    2.3460      2.35    1   1   0        OK",
                                       "   2  1.5000  0.0020    0.0000      1.50    2   0   0    ",
                                       "Average exp-error =      0.00160"}));
  }).Ok();
  ShowDSpacings();
  PhaseCount = 2, DSpacingDataType = 3;
  EXPECT_EQ(DSpacingLines()[2], "   2  1.5000  0.0020    123.46      1.50    2   0   0   2");
}

// Monoclinic a 5, b 6, c 7, beta 120: V = abc sin beta = 181.865 (the cell lines are checked
// against gemmi below). The table keeps P2_1/c's non-centrosymmetric half.
TEST_F(InfoWindowsTest, PhaseInfoLines) {
  ASSERT_TRUE(SetUpPhase(1, 14, 1, {5, 6, 7, 90, 120, 90}, {IsoAtom(1, 0.1, 0.2, 0.3)}));
  const Lines l = PhaseInfoLines(1);
  ASSERT_EQ(l.size(), 17u);
  EXPECT_EQ(Lines(l.begin() + 5, l.begin() + 15),
            (Lines{"Volume =   181.87    Volume inverse =  0.00550", "Number of atoms = 1", "Number of hkls = 0",
                   "Space group = 14  Setting = 1", "monoclinic,  P-lattice,  C-symmetric", l[10], " ",
                   "   Translations,  0 item[s]", "", "   Symmetries (2 item[s])"}));

  PhaseModelFlags[1] = 1, AnisotropyOn = 1, AnisotropicPhases[1] = 1;
  for (int32_t i = 0; i < 9; ++i) PhaseTable[1].Anisotropy[i] = i + 1;
  for (int32_t e : {0, 4, 8}) PhaseTable[1].SecondMatrices[e][1] = 1, PhaseTable[1].SecondMatrices[e][2] = e == 4 ? 1 : -1;
  const Lines m = PhaseInfoLines(1);
  ASSERT_EQ(m.size(), 26u);
  EXPECT_EQ(Lines(m.begin() + 17, m.end()),
            (Lines{"   Magnetic symmetry set", "  x          ,       y       ,          z    ",
                   " -x          ,       y       ,         -z    ", "   h0   k0   l0   for mag. moment plane",
                   "    0.00    0.00    1.00", "   Anisotropic, aXYZ, aHKL, aGaBeAl", "    1.000    2.000    3.000",
                   "    4.000    5.000    6.000", "    7.000    8.000    9.000"}));

  ASSERT_TRUE(SetUpPhase(2, 0, 1, {5, 6, 7, 90, 90, 90}));
  EXPECT_EQ(PhaseInfoLines(2).size(), 9u);
  EXPECT_EQ(PhaseInfoLines(2).back(), "Warning, no space group");
  NoCrystalInfo = 1;
  ui.ExpectMessage("No phase information");
  ShowPhaseInfo();
}

// Lines 1 to 6 of three cells against gemmi's UnitCell.reciprocal() (tools/gen_refinement_oracles.py),
// each number within half its last printed decimal.
TEST_F(InfoWindowsTest, PhaseInfoReciprocalCellAgreesWithGemmi) {
  const auto rows = GoldenRows("refinement_oracles.txt", "crystal");
  int32_t cells = 0;
  for (size_t r = 0; r + 1 < rows.size(); ++r) {
    if (rows[r][0] != "cell") continue;
    std::array<double, 6> cell{};
    for (size_t k = 0; k < 6; ++k) cell[k] = std::stod(rows[r][3 + k]);
    ASSERT_TRUE(SetUpPhase(1, std::stoi(rows[r][2]), 1, cell)) << rows[r][1];
    const Lines l = PhaseInfoLines(1);
    ASSERT_GE(l.size(), 6u);
    // The numbers of lines 1..6 in order: cell, a* b* c*, cosines, angles, V, V*.
    std::vector<double> shown;
    for (size_t i = 0; i < 6; ++i) {
      std::istringstream in(l[i].substr(l[i].find_first_of("0123456789-")));
      for (std::string t; in >> t;)
        if (double x = 0; TokenNumber(t.substr(0, t.find(')')), x)) shown.push_back(x);
    }
    ASSERT_EQ(shown.size(), 17u) << rows[r][1];
    const Tokens& g = rows[r + 1];
    constexpr double rad = M_PI / 180;
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_NEAR(shown[k], cell[k], 0.5e-5);
      EXPECT_NEAR(shown[3 + k], cell[3 + k], 0.5e-2);
      EXPECT_NEAR(shown[6 + k], std::stod(g[2 + k]), 0.5e-4) << rows[r][1];
      EXPECT_NEAR(shown[9 + k], std::cos(std::stod(g[5 + k]) * rad), 0.5e-4) << rows[r][1];
      EXPECT_NEAR(shown[12 + k], std::stod(g[5 + k]), 0.5e-2) << rows[r][1];
    }
    EXPECT_NEAR(shown[15], std::stod(g[8]), 0.5e-2) << rows[r][1];
    EXPECT_NEAR(shown[16], std::stod(g[9]), 0.5e-5) << rows[r][1];
    ++cells;
  }
  EXPECT_EQ(cells, 3);
}

// One atom at the origin, b = 1, B = 0: |F| = 1. The channel t = 505.556 L d sin(theta) / width
// at the default calibration (theta 76 degrees, L 21.13 m, 4 microseconds).
TEST_F(InfoWindowsTest, HklInfoLines) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(1, 0, 0, 0, 0)}));
  HklTable[1][1] = THklRecord{1, 0, 0, 2, 1, 0, 1, 4, 1, 0};
  PhaseTable[1].ReflectionCount = 1;
  const double chan = 505.556 * 21.13 * 4 * std::sin(76 * M_PI / 180) / 4;
  EXPECT_EQ(HklInfoLines(1), (Lines{"Max Structure Factor =    1.00000", " ",
                                    "   N   h   k   l  mult.   dk     chan.   Abs(F)   Fcos    Fsin     Fm",
                                    "   1   1   0   0   2    4.0000" + FormatNumber(10, 1, chan) +
                                        "    1.000   1.000   0.000   1.000"}));
  PhaseCount = 2;
  ui.ExpectDialog("Phase 1    ").Ok();
  ui.ExpectMessage("No HKLs for phase 2");
  ShowHklInfo();
}

}  // namespace
