// Refinement results: the res-file read back line by line, the saved results and distances, the
// display pages, and the files that cannot be written. Distances against gemmi
// (tools/gen_refinement_distances_golden.py).
#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "core/abandon.h"
#include "core/cell_geometry.h"
#include "core/number_format.h"
#include "crystal/cell_update.h"
#include "crystal/parameter_editor.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/refinement_results.h"
#include "support/temp_path.h"

namespace {
namespace fs = std::filesystem;

std::vector<std::string> FileLines(const fs::path& path) {
  std::vector<std::string> out;
  std::istringstream in(ReadWholeFile(path));
  for (std::string l; std::getline(in, l);) out.push_back(l.substr(0, l.find('\r')));
  return out;
}

// The numbers of a "label value +- error" line.
std::pair<double, double> ValueAndError(const std::string& line) {
  const size_t eq = line.find('='), pm = line.find("+-");
  return {std::stod(line.substr(eq + 1, pm - eq - 1)), std::stod(line.substr(pm + 2))};
}

// A fitted Rietveld state on zinc oxide with errors on every record, run in a folder of its own.
class ResultsTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    dir_ = TestTempPath("results");
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
    TSpectrum& sp = SetUpProfileSpectrum(ProfileSpectrum{});
    sp.Name = "/data/run12.dat", sp.Background[1] = 12.5, sp.Background[2] = -3.25, sp.Delay = 1.25;
    ASSERT_TRUE(SetUpZincOxide(1));
    FormProfileReflections(1);
    AtomTable[1][1].Name = "Zn", AtomTable[2][1].Name = "O";
    LayOutProfileParameters();
    for (int32_t i = 1; i <= FitParameters->NPar; ++i) Rec(i).Error = 1e-4 * (1 + i % 7);
    Rec(3).Error = 0.01, Rec(ScaleRecord(1)).value = 12.345678, Rec(ScaleRecord(1)).Error = 0.25;
    Rec(WidthRecord(1, 0)).value = 5.5, Rec(WidthRecord(1, 1)).value = 1.25;
    // Zn isotropic (T12..T33 fixed at 0), O anisotropic, as the run marks them.
    for (int32_t i = 6; i <= 10; ++i) SetRecord(AtomRecord(1, 1, i), 0), FixRecord(AtomRecord(1, 1, i));
    UpdateAtomFixFlags(1);
    UpdatePhasesFromParameters();
    FitParameters->ChiDf = 1.037, FitParameters->ChiPlus = 0.5;
    TotalFitIterations = 7;
    FitPending[0] = 0, FitPending[2] = 1, ResultsUnsaved[0] = 1;
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
    ProfileTest::TearDown();
  }
  fs::path dir_, old_;
  KeepValues<uint8_t> flags_[2] = {{FitPending, ModeCount}, {ResultsUnsaved, ModeCount}};
  KeepValues<int32_t> iterations_{&TotalFitIterations, 1};
  KeepValues<std::string> status_{&StatusText, 1};
};

// The cell of block C comes back from the metric records (the format itself: the next test).
TEST_F(ResultsTest, ResFileCellFromTheMetricRecords) {
  WriteResFile();
  EXPECT_EQ(LogLines().back(), "Fitting results in res-file " + (dir_ / "run12.res").string());
  EXPECT_EQ(TraceCaption, "run12");
  EXPECT_FALSE(fs::exists(dir_ / "run12.res.tmp"));
  const std::vector<std::string> f = FileLines(dir_ / "run12.res");
  const auto c = std::find(f.begin(), f.end(), "    Unit cell parameters");
  ASSERT_GT(f.end() - c, 8);
  const double cell[6] = {3.2495, 3.2495, 5.2069, 90, 90, 120};
  for (int32_t k = 0; k < 6; ++k) {
    auto [v, e] = ValueAndError(c[2 + k]);
    const double half = k < 3 ? 0.5e-5 : 0.5e-2;  // half the last printed decimal
    EXPECT_NEAR(v, cell[k], half + 1e-9) << c[2 + k];
    EXPECT_NEAR(e, PhaseTable[1].CellErrors[k], half) << c[2 + k];
  }
}

// The whole res-file of a small model set by hand (one magnetic, anisotropic phase), every line
// written out from the formats: FN fields overflow into asterisks, fixed fields widen.
TEST_F(ResultsTest, ResFileWrittenByHand) {
  KeepValues<double> r[4] = {{RFactorP, RFactorSpectra}, {RFactorB, RFactorSpectra}, {RFactorW, RFactorSpectra},
                             {RFactorE, RFactorSpectra}};
  PhaseModelFlags[1] = 1, AnisotropyOn = 1, AnisotropicPhases[1] = 1;
  LayOutProfileParameters();
  ParameterNames();  // into parar, as the preparation names them
  FixAllRecords();
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) SetRecord(i, 0), Rec(i).Error = 0, Rec(i).Name = parar[i].Name;
  const int32_t o = PhaseBase(1), mag = ParameterCount(0), aniso = ParameterCount(1);
  const std::pair<int32_t, std::pair<double, double>> values[] = {
      {3, {1.25, 0.01}}, {4, {12.5, 0.5}}, {5, {-3.25, 0.25}}, {6, {0.126, 0}}, {7, {12345678.9, 1.5}},
      {8, {-0.04, 0.001}}, {9, {0, 2}}, {10, {-0.5, 0.02}}, {o + 1, {12.345678, 0.25}}, {o + 8, {5.5, 0.1}},
      {o + 9, {1.25, 0.05}}, {mag + 3, {1, 0.002}}};
  for (const auto& [i, ve] : values) SetRecord(i, ve.first), Rec(i).Error = ve.second;
  for (int32_t k = 1; k <= 12; ++k) SetRecord(aniso + k, k / 8.0), Rec(aniso + k).Error = k / 1000.0;
  FreeRecords({3, 4, 5, o + 1, o + 8});
  FitParameters->Step = 0.5, FitParameters->Damp = 0.01;
  RFactorP[1] = 0.0512, RFactorB[1] = 0.1234, RFactorW[1] = 0.0678, RFactorE[1] = 1234.5;
  LATTICE& ph = PhaseTable[1];
  const double cell[6] = {3.2495, 3.2495, 5.2069, 90, 90, 120}, cellErr[6] = {0.00012, 0.00012, 0.00034, 0, 0, 0};
  std::copy(cell, cell + 6, ph.Cell), std::copy(cellErr, cellErr + 6, ph.CellErrors), ph.Volume = 47.6149;
  // Two reflections at one place, one far off: 1/2 + 1/2 + 1 efficient peaks.
  ph.ReflectionCount = 3, HklTable[1][1].d = HklTable[2][1].d = 1.0, HklTable[3][1].d = 2.0;
  const double zn[10] = {0.5, 1.0 / 3, 2.0 / 3, 0, 0.55}, znErr[10] = {0.01, 0.0002, 0.0002, 0, 0.03};
  const double ox[10] = {1, 1.0 / 3, 2.0 / 3, 0.3825, 12345.6, 0.1, -0.2, 0.3, 0, 0.75}, oxErr[10] = {0, 0, 0, 0.0004, 0.5};
  for (auto [a, v, e, iso] : {std::tuple(1, zn, znErr, 1), std::tuple(2, ox, oxErr, 0)}) {
    ATOM& t = AtomTable[a][1];
    double* fields[10] = {&t.Occupation, &t.X, &t.Y, &t.Z, &t.T11, &t.T12, &t.T13, &t.T22, &t.T23, &t.T33};
    for (int32_t k = 0; k < 10; ++k) *fields[k] = v[k], t.Errors[k] = e[k];
    t.IsotropicFlag = static_cast<uint8_t>(iso);
  }
  WriteResFile();
  const std::vector<std::string> expected = {
      "Polynomial background:",
      "     12.50     -3.25      0.1312345678.90     -0.04      0.00",
      "+-      0.50      0.25      0.00      1.50      0.00      2.00",
      "D0 parameter=       1.2500 +-       0.0100",
      "Sp.Corr. par=      -0.5000 +-       0.0200",
      " Parameters:  PhaseScale     W0       W1       W2",
      "  Phase1        12.345678      5.50      1.25      0.00",
      "     +-        0.250000      0.10      0.05      0.00",
      "",
      "    Interval =    480 -   1600",
      "        7 iterations, step= 0.5000, damp=   1.000000-2",
      "        Chi^2 = 1.04",
      "        Chi+  = 0.50",
      "",
      "    R - factors",
      "        R_p =     5.12%",
      "        R_b =    12.34%",
      "        R_w =     6.78%",
      "        R_e = ********%",
      "",
      "Number of efficient peaks:     2.0",
      "Number of free parameters= 5",
      "    Unit cell parameters",
      " Phase 1        Vol= 47.61",
      " A     =    3.24950 +-    0.00012",
      " B     =    3.24950 +-    0.00012",
      " C     =    5.20690 +-    0.00034",
      " alpha =      90.00 +-       0.00",
      " beta  =      90.00 +-       0.00",
      " gamma =     120.00 +-       0.00",
      " Phase1 Mag.moment angles,hkl (degr.)",
      "",
      "Phi_a =  0.00000 +-0.00000 ( 90.00)",
      "Phi_b =  0.00000 +-0.00000 ( 90.00)",
      "Phi_c =  1.00000 +-0.00200 (  0.00)",
      "",
      "",
      "   Anisotropic parameters, phase=1",
      " AnisX    =    0.1250 +-     0.0010",
      " AnisY    =    0.2500 +-     0.0020",
      " AnisZ    =    0.3750 +-     0.0030",
      " Anisotr_H=    0.5000 +-     0.0040",
      " Anisotr_K=    0.6250 +-     0.0050",
      " Anisotr_L=    0.7500 +-     0.0060",
      " AniGamma =    0.8750 +-     0.0070",
      " AniBeta  =    1.0000 +-     0.0080",
      " AniAlpha =    1.1250 +-     0.0090",
      " AniH2    =    1.2500 +-     0.0100",
      " AniK2    =    1.3750 +-     0.0110",
      " AniL2    =    1.5000 +-     0.0120",
      "                    Atomic parameters,   phase 1",
      "              Atom = Zn",
      "Occupation=    0.50000 +-    0.01000",
      "X         =    0.33333 +-    0.00020",
      "Y         =    0.66667 +-    0.00020",
      "Z         =    0.00000 +-    0.00000",
      "T11       =    0.55000 +-    0.03000",
      "              Atom = O",
      "Occupation=    1.00000 +-    0.00000",
      "X         =    0.33333 +-    0.00000",
      "Y         =    0.66667 +-    0.00000",
      "Z         =    0.38250 +-    0.00040",
      "T11       = ********** +-    0.50000",
      "T12       =    0.10000 +-    0.00000",
      "T13       =   -0.20000 +-    0.00000",
      "T22       =    0.30000 +-    0.00000",
      "T23       =    0.00000 +-    0.00000",
      "T33       =    0.75000 +-    0.00000",
      ""};
  const std::vector<std::string> f = FileLines(dir_ / "run12.res");
  for (size_t i = 0; i < std::max(f.size(), expected.size()); ++i)
    EXPECT_EQ(i < f.size() ? f[i] : "(none)", i < expected.size() ? expected[i] : "(none)") << "line " << i + 1;
}

TEST_F(ResultsTest, PowderMatchReflectionsAndMagneticMoments) {
  // Block R: the first reflection with d from the hexagonal metric, the area unsigned.
  MainMode = 2, FitPending[2] = 0;
  LayOutProfileParameters();
  Rec(IntensityRecord(1, 1)).value = -123.45678;
  WriteResFile();
  std::vector<std::string> f = FileLines(dir_ / "run12.res");
  auto r = std::find(f.begin(), f.end(), "   h   k   l  mul      dk        Area");
  ASSERT_NE(r, f.end());
  const THklRecord& h = HklTable[1][1];
  const double d = 1 / std::sqrt(4.0 / 3 * (h.h * h.h + h.h * h.k + h.k * h.k) / (3.2495 * 3.2495) +
                                 h.l * h.l / (5.2069 * 5.2069));
  char expected[64];
  std::snprintf(expected, sizeof expected, "%4d%4d%4d%4d%10.5f%15.4f", h.h, h.k, h.l, h.Multiplicity, d, 123.45678);
  EXPECT_EQ(r[1], expected);
  EXPECT_EQ(std::count_if(r + 1, f.end(), [](auto& l) { return l.size() == 41; }), PhaseTable[1].ReflectionCount);

  // A magnetic second phase: block M, and in block T the occupation with error 0 and the moment;
  // phase 1 anisotropic: block A after an empty line.
  MainMode = 0, PhaseCount = 2, PhaseModelFlags[2] = 1, AnisotropyOn = 1, AnisotropicPhases[1] = 1;
  ASSERT_TRUE(SetUpZincOxide(2));
  AtomTable[1][2].MagneticMoment = 2.0, AtomTable[2][2].MagneticMoment = 1.5;
  LayOutProfileParameters();
  ParameterNames();
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) Rec(i).Error = 1e-3;
  UpdatePhasesFromParameters();
  WriteResFile();
  f = FileLines(dir_ / "run12.res");
  auto m = std::find(f.begin(), f.end(), " Phase2 Mag.moment angles,hkl (degr.)");
  ASSERT_NE(m, f.end());
  EXPECT_EQ(m[2].substr(0, 7), "Phi_a =");
  EXPECT_EQ(m[4].substr(0, 7), "Phi_c =");
  auto occ = std::find(m, f.end(), "Occupation=    1.00000 +-    0.00000");
  ASSERT_NE(occ, f.end());
  auto [moment, error] = ValueAndError(occ[1]);
  EXPECT_EQ(occ[1].substr(0, 12), "Mag.moment= ");
  EXPECT_NEAR(moment, AtomTable[1][2].MagneticMoment, 0.5e-5);
  EXPECT_NEAR(error, 1e-3, 0.5e-5);  // the occupation's error
  EXPECT_NE(std::find(f.begin(), f.end(), "Interphase ABS Str.Fac.Relations"), f.end());
  auto a = std::find(f.begin(), f.end(), "   Anisotropic parameters, phase=1");
  ASSERT_NE(a, f.end());
  EXPECT_EQ(a[-1], "");
  EXPECT_EQ(a[1], " " + Rec(ParameterCount(1) + 1).Name + "=    0.0000 +-     0.0010");
  EXPECT_EQ(std::find(f.begin(), f.end(), "   Anisotropic parameters, phase=2"), f.end());
}

TEST_F(ResultsTest, SavedResultsQuestionFlagsAndTitle) {
  SaveRietveldResults(0);  // the first save asks nothing
  std::vector<std::string> log = LogLines();
  EXPECT_EQ(log[0], "*         Rietveld analysis /data/run12.dat");
  EXPECT_EQ(ResultsUnsaved[0], 0);
  const size_t n = log.size();
  ui.ExpectQuestion("Results already saved Still save?", false);
  SaveRietveldResults(0);
  EXPECT_EQ(LogLines().size(), n);

  // A name of 43 characters goes on a line of its own; the test sums of OptionFlags[1]:
  // (|a - 4| + |b - 5| + |c - 6|) / 3, 30 / 3, and the atoms against (0.1, 0.2, 0.3), (0, 0.3, 0.6) / 6.
  SpectrumList[1]->Name = std::string(39, 'n') + ".dat";
  OptionFlags[1] = 1;
  ui.ExpectQuestion("Results already saved Still save?", true);
  SaveRietveldResults(0);
  log = LogLines();
  EXPECT_EQ(log[n], "*" + std::string(19, ' ') + "Rietveld analysis ");
  EXPECT_EQ(log[n + 1], SpectrumList[1]->Name);
  EXPECT_NE(std::find(log.begin(), log.end(), "CELL link angle, ATOMIC =    1.09803  10.00000   0.31958"), log.end());
  ASSERT_EQ(ui.infoWindows.size(), 1u);
  EXPECT_EQ(ui.infoWindows[0].ListBox1.items.at(0), "dlink,dangle,datom=    1.09803  10.00000   0.31958");

  // Nothing fitted: only the status line.
  FitPending[0] = FitPending[2] = 1;
  SaveRietveldResults(0), SaveRietveldResults(1);
  EXPECT_EQ(StatusText, "No fit yet performed");
  EXPECT_EQ(LogLines().size(), log.size());
}

TEST_F(ResultsTest, DistancesAgreeWithGemmi) {
  const auto rows = GoldenRows("refinement_distances_golden.txt", "crystal");
  ASSERT_GE(rows.size(), 9u);
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 5, 6, 80, 95, 100}));
  PhaseTable[1].AtomCount = 4;
  LayOutProfileParameters();
  for (int32_t k = 0; k < 6; ++k)
    PhaseTable[1].Cell[k] = std::stod(rows[0][k + 1]), PhaseTable[1].CellErrors[k] = std::stod(rows[1][k + 1]);
  for (int32_t a = 1; a <= 4; ++a) {
    AtomTable[a][1].Name = rows[1 + a][1];
    for (int32_t k = 0; k < 3; ++k)
      Rec(AtomRecord(1, a, 2 + k)).value = std::stod(rows[1 + a][2 + k]),
                 Rec(AtomRecord(1, a, 2 + k)).Error = std::stod(rows[1 + a][5 + k]);
  }
  SaveRietveldResults(1);
  std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0], "     Distances between atoms (in Angst)");
  EXPECT_EQ(log[1], "Atoms   1( Zr) -  2(  O)   Distance=  2.10444  Err=  0.00530");
  for (size_t r = 6; r < rows.size(); ++r) {
    const std::string& line = log[r - 5];
    const double d = std::stod(line.substr(line.find("Distance=") + 9)), e = std::stod(line.substr(line.find("Err=") + 4));
    EXPECT_NEAR(d, std::stod(rows[r][3]), 0.5e-5 + 1e-9) << line;  // printed to 5 decimals
    EXPECT_NEAR(e, std::stod(rows[r][4]), 0.5e-5 + 1e-8) << line;  // central differences of gemmi: ~1e-9
  }
  EXPECT_EQ(log[7], "");
  // Two phases: the phase line; a phase of one atom lists no pair.
  PhaseCount = 2, PhaseTable[2].AtomCount = 1;
  SaveRietveldResults(1);
  log = LogLines();
  EXPECT_EQ(log[9], "Phase = 1");
  EXPECT_EQ(log.size(), 17u);
}

// n_eff over the reflections of both phases against the numpy reimplementation of
// tools/gen_refinement_oracles.py: isolated reflections count 1, a coincident pair 1/2 each.
TEST_F(ResultsTest, EfficientPeaksAgreeWithNumpy) {
  ASSERT_EQ(CurrentSpectrum, 1);
  TSpectrum& sp = CurrentProfileSpectrum();
  sp.FlightPath = 21.13, sp.Theta = 76, sp.ChanWidth = 4, sp.Delay = 0;
  PhaseCount = 2;
  const auto rows = GoldenRows("refinement_oracles.txt", "crystal");
  int32_t cases = 0;
  for (const Tokens& c : rows) {
    if (c[0] != "neff") continue;
    PhaseTable[1].ReflectionCount = PhaseTable[2].ReflectionCount = 0;
    for (const Tokens& h : rows)
      if (h[0] == "refl" && h[1] == c[1]) {
        const int32_t p = std::stoi(h[2]);
        HklTable[++PhaseTable[p].ReflectionCount][p].d = std::stod(h[3]);
      }
    sp.W0 = std::stod(c[2]);
    double n = 0;
    FormatResultNumber(n);
    EXPECT_NEAR(n, std::stod(c[3]), 1e-7) << c[1];  // the degree 57.29578 moves channels by ~3e-6
    ++cases;
  }
  EXPECT_EQ(cases, 4);
}

TEST_F(ResultsTest, DisplayPagesEndAtCancel) {
  ui.ExpectDialog("Output of fitting results").Inspect([](TForm2& f) {
    EXPECT_EQ(f.Memo1.lines.at(1), "        7 iterations");  // no step and damp on the screen
  }).Ok();
  ui.ExpectDialog("Output of fitting results").Inspect([](TForm2& f) {
    EXPECT_EQ(f.Memo1.lines.at(0), "    Unit cell parameters");
  }).Ok();
  ui.ExpectDialog("Output of fitting results").Inspect([](TForm2& f) {
    EXPECT_EQ(f.Memo1.lines.at(0), "      Atom Zn   No 1");
    EXPECT_EQ(f.Memo1.lines.at(4), "   X       =   0.3333  +- 0.0002");
    EXPECT_EQ(f.Memo1.lines.size(), 8u);
  }).Cancel();
  ShowRietveldResults();
  EXPECT_EQ(HelpLineCount, 13);
}

TEST_F(ResultsTest, FilesThatCannotBeWritten) {
  FitPending[0] = 1, FitPending[2] = 1;
  ui.ExpectMessage("No fitting yet performed");
  WriteResFile();
  EXPECT_FALSE(fs::exists(dir_ / "run12.res"));
  FitPending[0] = 0;
  // Names: only the last extension goes, at most 75 characters, never the spectrum itself.
  const std::pair<std::string, std::string> names[] = {
      {"run.data", "run.res"}, {"a.b.dat", "a.b.res"}, {"noext", "noext.res"},
      {std::string(80, 'z') + ".dat", std::string(75, 'z') + ".res"}, {(dir_ / "x.res").string(), "x_fit.res"}};
  for (const auto& [spectrum, res] : names) {
    SpectrumList[1]->Name = spectrum;
    EXPECT_EQ(ResFilePath(), (dir_ / res).string()) << spectrum;
  }
  // No file name, and a folder in the way of the file: the line in the result file only.
  for (const std::string name : {"", "blocked.dat"}) {
    SpectrumList[1]->Name = name;
    fs::create_directories(dir_ / "blocked.res.tmp");
    IoOk = 1;
    WriteResFile();
    EXPECT_EQ(IoOk, 0);
    EXPECT_EQ(LogLines().back(), "Wrong spectrum-related file");
  }
  // A write that fails part-way abandons and leaves the earlier file as it was.
  SpectrumList[1]->Name = "full.dat";
  std::ofstream(dir_ / "full.res") << "earlier\n";
  fs::create_symlink("/dev/full", dir_ / "full.res.tmp");
  EXPECT_THROW(WriteResFile(), OperationAbandoned);
  EXPECT_EQ(ReadWholeFile(dir_ / "full.res"), "earlier\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "full.res.tmp")));
}
}  // namespace

// A record on its bound is named with the bound hit after "Parameter(s) hit the boundary:", and
// its error column says "bound"; after a singular or diverged fit no error is written as a
// number.
TEST_F(ResultsTest, ResFileNamesTheBoundsAndWritesNoUndeterminedErrors) {
  TParameter& fit = *FitParameters;
  ParameterRecord& d0 = Rec(3);
  d0.Name = "Delay", d0.lower = d0.value = 1.25, d0.upper = 2;
  ParameterRecord& z = Rec(AtomRecord(1, 2, 4));  // O z of zinc oxide on its upper bound
  z.upper = z.value;
  fit.ParOnB = 1;
  WriteResFile();
  std::vector<std::string> f = FileLines(dir_ / "run12.res");
  EXPECT_EQ(f[3], "D0 parameter=       1.2500 +-        bound");
  const auto hit = std::find(f.begin(), f.end(), ".... Parameter(s) hit the boundary:");
  ASSERT_NE(hit, f.end());
  EXPECT_EQ(*(hit + 1), "    3     1.250 Delay lower 1.25");
  EXPECT_EQ(std::count_if(f.begin(), f.end(), [](const std::string& l) { return l.rfind("Z         = ", 0) == 0 && l.find("+-      bound") != std::string::npos; }), 1);
  fit.ParOnB = 0, fit.UndeterminedErrors = true;
  struct Reset { TParameter& fit; ~Reset() { fit.UndeterminedErrors = false; } } reset{fit};
  WriteResFile();
  f = FileLines(dir_ / "run12.res");
  EXPECT_EQ(f[2], "+-         ?         ?         ?         ?         ?         ?");
  EXPECT_EQ(std::find(f.begin(), f.end(), ".... Parameter(s) hit the boundary:"), f.end());
  EXPECT_NE(std::find(f.begin(), f.end(), " A     =    3.24950 +-          ?"), f.end());
}
