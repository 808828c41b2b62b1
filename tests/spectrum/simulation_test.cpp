// The spectrum simulation against independent values (tools/gen_simulation_golden.py: a Python
// replay of the random generator, scipy's chi-square, numpy, gemmi's d-spacings) and the faults
// mended in the set-up dialogs.
#include <gtest/gtest.h>
#include <cmath>
#include <map>
#include "core/dialog_toolkit.h"
#include "core/random.h"
#include "core/toolbox.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "support/temp_path.h"
#include "spectrum/simulation.h"

namespace {

std::vector<Tokens> Golden(const std::string& key) {
  std::vector<Tokens> out;
  for (const Tokens& row : GoldenRows("simulation_golden.txt", "spectrum"))
    if (row[0] == key) out.emplace_back(row.begin() + 1, row.end());
  return out;
}

TEST(SimulationGolden, GeneratorMatchesCommittedFile) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy, scipy");
  const std::string out = TestTempPath("simulation_golden").string() + ".txt";
  ASSERT_EQ(RunTool("gen_simulation_golden.py", out), 0);
  // Other library versions may differ in the last digits of a printed double.
  const auto relative = [](const Tokens& row, size_t c) {
    double x = 0;
    return TokenNumber(row[c], x) ? 1e-9 * std::fabs(x) : 0.0;
  };
  for (const auto& m : TokenMismatches(TokenRows(out), GoldenRows("simulation_golden.txt", "spectrum"), relative))
    ADD_FAILURE() << m;
  std::filesystem::remove(out);
}

// A flat peak-mode model (no peaks, background record 1) over channels 1..n of spectrum 1.
class FlatSimulation : public PeakFitTest {
protected:
  void Flat(int32_t n, double level) {
    TSpectrum& sp = Sp(1);
    sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = n;
    IntervalFirst = 1, IntervalLast = n;
    MarkedPointCount = 0, SimulateSinuses = 0;
    FitParameters->NPar = 18;
    for (int32_t i = 1; i <= 18; ++i) FitParameters->Records[i].value = i == 1 ? level : 0;
  }
  TSimulationRun Run(bool errors) {
    TSimulationRun r;
    r.mode = 3, r.target = 1, r.withErrors = errors;
    return r;
  }
  KeepValues<int32_t> keep_[3] = {{&IntervalFirst, 1}, {&IntervalLast, 1}, {&MarkedPointCount, 1}};
  KeepValues<uint8_t> sinus_{&SimulateSinuses, 1};
  KeepValues<TRandomSeeds> seeds_{&RandomSeeds, 1};
};

TEST_F(FlatSimulation, NoiseFollowsTheSeededGeneratorAndItsStatistics) {
  constexpr int32_t n = MaxChannels;
  Flat(n, 400);
  SetRandomSeeds(12345, 67890);
  EXPECT_EQ(SimulateChannels(Run(true)), 1.0);  // the peak mode keeps its values
  const TSpectrum& sp = Sp(1);
  // libm and Python's math give the same log and sqrt to a few ulps.
  for (const Tokens& g : Golden("noise")) EXPECT_NEAR(sp.Y[std::stoi(g[0])], std::stod(g[1]), 1e-11);
  double sum = 0, sum2 = 0;
  for (int32_t c = 1; c <= n; ++c) {
    const double r = (sp.Y[c] - 400) / std::sqrt(401.0);
    EXPECT_EQ(sp.E[c], std::sqrt(401.0));
    sum += r, sum2 += r * r;
  }
  EXPECT_NEAR(sum / n, 0, 4 / std::sqrt(n));
  EXPECT_NEAR(sum2 / n - (sum / n) * (sum / n), 1, 4 * std::sqrt(2.0 / n));
  const Tokens limits = Golden("chi2")[0];  // N, then the 1e-3 two-sided interval
  EXPECT_TRUE(std::stoi(limits[0]) == n && sum2 > std::stod(limits[1]) && sum2 < std::stod(limits[2])) << sum2;
  EXPECT_EQ(sp.Name, "SimSp1.spc");

  std::vector<double> first(sp.Y + 1, sp.Y + n + 1);
  SetRandomSeeds(12345, 67890);
  SimulateChannels(Run(true));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), sp.Y + 1));  // bit for bit

  SimulateChannels(Run(false));
  EXPECT_EQ(sp.Y[77], 400);
}

TEST_F(FlatSimulation, ZeroModelGivesUnitErrorsAndClipsUnlessDoubleSigned) {
  Flat(2000, 0);
  TSpectrum& sp = Sp(1);
  SimulateChannels(Run(false));
  EXPECT_EQ(std::pair(sp.Y[5], sp.E[5]), std::pair(0.0, 1.0));
  SimulateChannels(Run(true));
  EXPECT_EQ(*std::min_element(sp.Y + 1, sp.Y + 2001), 0.0);
  sp.DoubleSigned = 1;
  SimulateChannels(Run(true));
  EXPECT_LT(*std::min_element(sp.Y + 1, sp.Y + 2001), -1.0);  // pure noise of deviation 1 stays
}

TEST_F(FlatSimulation, SumOfSinusesAgreesWithNumpyAndSkipsPeriodZero) {
  MarkedPointCount = 3;
  const double ap[3][2] = {{10.0, 50.0}, {-3.5, 7.25}, {2.0, 0.0}};
  for (int32_t i = 1; i <= 3; ++i) parar[6 + i].value = ap[i - 1][0], parar[9 + i].value = ap[i - 1][1];
  for (const Tokens& g : Golden("sinus")) {
    double v = 0;
    SumOfSinuses(v, std::stoi(g[0]));
    EXPECT_NEAR(v, std::stod(g[1]), 1e-12);
  }
}

TEST_F(FlatSimulation, DisturbanceMovesFreeRecordsWithinBounds) {
  struct Case { double lower, value, upper; };
  const Case cases[] = {{5, 5, 5}, {-1, 0, 1}, {0, 100, 1000}, {0.5, 0.5, 0.52}, {-1e3, -40, 1e3}};
  FitParameters->NPar = 5;
  for (int32_t i = 1; i <= 5; ++i)
    parar[i].lower = cases[i - 1].lower, parar[i].value = cases[i - 1].value, parar[i].upper = cases[i - 1].upper;
  SetRandomSeeds(777, 888);
  DisturbParameters();
  SetRandomSeeds(777, 888);
  EXPECT_EQ(parar[1].value, 5);  // equal bounds: untouched, no draw
  for (int32_t i = 2; i <= 5; ++i) {
    const Case& k = cases[i - 1];
    const double s = Random01() > 0.5 ? 1 : -1;  // one draw per disturbed record
    const double moved = std::clamp(k.value + s * std::max(0.05, std::fabs(k.value) / 20), k.lower, k.upper);
    EXPECT_EQ(parar[i].value, moved) << i;
  }
}

// The peak set-up through its dialogs: 3 peaks (one of model 9, a blank line), widths of models
// 1..3, background and the M2 pair.
TEST_F(FlatSimulation, PeakSetUpFillsTheLayoutAndM2Records) {
  KeepValues<uint8_t> m2{&M2Mode, 1};
  M2Mode = 1;
  Flat(1024, 0);
  ui.ExpectDialog("  Set the data for spectrum simulation").Field(1, 1, "10").Field(2, 1, "2000").Radio(2).Ok();
  ui.ExpectDialog("Enter peak positions").Memo("100 50 9\n\n200 30 3\n300 20 1\n\n").Ok();
  ui.ExpectDialog("Enter width for each model")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.StringGrid2.Cell(0, 2), " WidthB3 (chan) =");
        EXPECT_EQ(f.StringGrid2.Cell(0, 5), " WidthE3 (chan) =");
      })
      .Field(1, 1, "4").Field(3, 1, "6").Field(4, 1, "8").Field(6, 1, "6").Ok();
  ui.ExpectDialog("Enter background parameters").Field(1, 1, "12").Ok();
  ui.ExpectDialog("Enter m2_mode parameters").Field(1, 1, "0.25").Field(2, 1, "-0.5").Ok();
  SetSimulationData();
  ASSERT_EQ(DialogOk, 1);
  const auto v = [](int32_t r) { return FitParameters->Records[r].value; };
  EXPECT_EQ(MarkedPointCount, 3);
  EXPECT_EQ(FitParameters->NPar, 26);  // 2n + 18 and the M2 pair
  EXPECT_EQ(std::pair(MarkedPointModels[1], MarkedPointModels[2]), std::pair(1, 3));  // 9 becomes 1
  EXPECT_EQ(std::vector<double>({v(7), v(10), v(12)}), std::vector<double>({50, 100, 300}));
  EXPECT_EQ(std::tuple(Sp(1).WorkFirst, Sp(1).WorkLast, Sp(1).BackgroundDegree), std::tuple(10, 1024, 0));
  // The centred law W0 + W1 u (u = -1 at the beginning, +1 at the end) passes through the widths
  // typed for the beginning and the end.
  EXPECT_EQ(std::pair(v(13) - v(19), v(13) + v(19)), std::pair(4.0, 8.0));  // WidthB1, WidthE1
  EXPECT_EQ(std::pair(v(15) - v(21), v(15) + v(21)), std::pair(6.0, 6.0));  // WidthB3, WidthE3
  EXPECT_EQ(v(1), 12);
  EXPECT_EQ(std::pair(v(25), v(26)), std::pair(0.25, -0.5));  // the M2 pair reaches the array
}

// Cancel inside the peak set-up ends the simulation: the target and the array stay.
TEST_F(FlatSimulation, CancelInPeakSetUpLeavesTargetAndArray) {
  Flat(1024, 0);
  MainMode = 3;
  KeepValues<uint8_t> keep[2] = {{&SimulateWithErrors, 1}, {&DisturbAfterSimulation, 1}};
  TSpectrum& sp = Sp(1);
  sp.Name = "kept.spc";
  for (int32_t c = 1; c <= 1024; ++c) sp.Y[c] = 3;
  ui.ExpectDialog("Spectrum simulation").Combo(4).Radio(1).Ok();
  ui.ExpectDialog("  Set the data for spectrum simulation").Ok();
  ui.ExpectDialog("Enter peak positions").Memo("100 50 1\n").Ok();
  ui.ExpectDialog("Enter width for each model").Cancel();
  SimulateSpectrum();
  EXPECT_EQ(sp.Name, "kept.spc");
  EXPECT_EQ(sp.Y[100], 3);
  EXPECT_EQ(FitParameters->NPar, 18);
}

// Sines put into spectrum 2 from spectrum 1 keep their negative half-waves (mended: only the
// current spectrum became double-signed, and the target's sines were cut at 0).
TEST_F(FlatSimulation, SinesIntoAnotherSpectrumKeepTheirSign) {
  Flat(400, 0);
  KeepValues<uint8_t> keep[2] = {{&SimulateWithErrors, 1}, {&DisturbAfterSimulation, 1}};
  SimulateWithErrors = 0, DisturbAfterSimulation = 0;
  ui.ExpectDialog("Spectrum simulation").Combo(4).Radio(2).Ok();
  ui.ExpectDialog("  Set the data for spectrum simulation").Check(1, true).Ok();
  ui.ExpectDialog("Enter peak positions").Memo("50 10 1\n").Ok();
  SimulateSpectrum();
  EXPECT_NEAR(Sp(2).Y[40], 10 * std::sin(2 * M_PI * 40 / 50), 1e-12);
}

// ---- d-spacing sets ----
class DSpacingSimulation : public PhaseTest {
protected:
  void Cell(int32_t p, int32_t group, int32_t setting, std::array<double, 6> cell) {
    ASSERT_TRUE(SetUpPhase(p, group, setting, cell));
    HklBounds[p][0] = 6, HklBounds[p][1] = -6, HklBounds[p][2] = 6, HklBounds[p][3] = -6, HklBounds[p][4] = 6;
    ClampHklBounds(p);
  }
  void SetUp() override {
    PhaseTest::SetUp();
    UseSpaceGroup = 0, NoCrystalInfo = 0;
  }
  KeepValues<TRandomSeeds> seeds_{&RandomSeeds, 1};
};

TEST_F(DSpacingSimulation, DSpacingsAgreeWithGemmi) {
  std::map<std::string, std::array<double, 6>> cells;
  for (const Tokens& c : Golden("cell"))
    for (int i = 0; i < 6; ++i) cells[c[0]][i] = std::stod(c[1 + i]);
  const std::pair<std::string, std::array<int32_t, 2>> phases[] = {{"monoclinic", {14, 2}}, {"hexagonal", {186, 1}}};
  for (const auto& [name, group] : phases) {
    Cell(1, group[0], group[1], cells.at(name));
    ASSERT_TRUE(GenerateSimulatedReflections(1.2, 6.0, 0.001)) << name;
    std::map<std::string, std::pair<double, bool>> golden;
    for (const Tokens& d : Golden("d"))
      if (d[0] == name) golden[d[1] + " " + d[2] + " " + d[3]] = {std::stod(d[4]), d[5] == "1"};
    int32_t compared = 0;
    for (const THklRecord& r : PhaseReflections(1)) {
      const auto it = golden.find(std::to_string(r.h) + " " + std::to_string(r.k) + " " + std::to_string(r.l));
      ASSERT_NE(it, golden.end()) << name << " " << r.h << r.k << r.l;
      if (!it->second.second) continue;  // a merged neighbour may have moved it
      // The reciprocal cell carries the program's 57.29578 degrees per radian and pi of
      // 3.1415925 in its angles: about 1e-8 relative (1e-9 would need the exact constants).
      EXPECT_NEAR(r.d, it->second.first, 5e-8 * r.d) << name;
      ++compared;
    }
    EXPECT_GT(compared, 10) << name;
  }
}

TEST_F(DSpacingSimulation, NeighboursMergeBelowTheResolution) {
  for (const double c : {4.005, 4.02}) {
    Cell(1, 123, 1, {4.0, 4.0, c, 90, 90, 90});
    HklBounds[1][0] = HklBounds[1][2] = HklBounds[1][4] = 1;
    ASSERT_TRUE(GenerateSimulatedReflections(3.9, 4.1, 0.001));
    const auto list = PhaseReflections(1);
    if (c < 4.01) {
      ASSERT_EQ(list.size(), 1u);
      EXPECT_DOUBLE_EQ(list[0].d, (4.0 + 4.005) / 2);
    } else {
      EXPECT_EQ(list.size(), 2u);
    }
  }
}

TEST_F(DSpacingSimulation, UniformErrorsAndDeletion) {
  Cell(1, 14, 2, {5.1505, 5.2116, 5.3173, 90, 99.23, 90});
  ASSERT_TRUE(GenerateSimulatedReflections(1.2, 6.0, 0.001));
  double sum2 = 0;
  int32_t draws = 0;
  for (int32_t rep = 0; rep < 40; ++rep) {
    FillSimulatedDSpacings(1.2, 6.0, 0.001, true, 0, 200);
    for (int32_t i = 1; i <= DSpacingCount; ++i, ++draws)
      sum2 += std::pow((DSpacingList[i].d - DSpacingList[i].DCalc) / 0.001, 2);
  }
  // (r - 0.5) sqrt(12) has variance 1 and E x^4 = 1.8.
  EXPECT_NEAR(sum2 / draws, 1.0, 4 * std::sqrt(0.8 / draws));
  FillSimulatedDSpacings(1.2, 6.0, 0.001, false, 0, 30);
  EXPECT_EQ(DSpacingCount, 30);
  const int32_t all = [] { FillSimulatedDSpacings(1.2, 6.0, 0.001, false, 0, 200); return DSpacingCount; }();
  FillSimulatedDSpacings(1.2, 6.0, 0.001, false, 10, 200);
  EXPECT_LE(DSpacingCount, all);
  EXPECT_GE(DSpacingCount, all - static_cast<int32_t>(std::nearbyint(all * 0.1)));
}

// ---- anisotropic simulation ----
TEST(AnisoWeights, SumsOfTheKinds) {
  const auto total = [](int32_t kind, const double (&w)[4]) {
    double s = 0;
    for (int32_t i = -10; i <= 10; ++i)
      for (int32_t j = -10; j <= 10; ++j) s += AnisoWeight(kind, i, j, w);
    return s;
  };
  const double any[4] = {3, 3, 2, 2};
  EXPECT_NEAR(total(2, any), 44.1, 1e-12);
  EXPECT_NEAR(total(3, any), 441, 1e-12);  // the mean of i + j is 0
  for (const Tokens& g : Golden("gauss")) {
    const double wi = std::stod(g[0]), wj = std::stod(g[1]);
    EXPECT_NEAR(total(0, {wi, wi, wj, wj}), std::stod(g[2]), 1e-12);
  }
  // A width of 0 is a delta along its axis: only step 0 weighs.
  EXPECT_NEAR(total(1, {0, 0, 0, 0}), 2, 1e-15);
  EXPECT_EQ(AnisoWeight(0, 1, 0, {0, 0, 2, 2}), 0);
}

TEST_F(FlatSimulation, PeriodicConvolutionIsRefusedBeforeAnyChange) {
  KeepValues<double> numbers{NumberBuffer, 8};
  NumberBuffer[7] = 4;
  Sp(1).Y[5] = 9;
  ui.ExpectMessage("The convolution \"Periodic\" has no weights: choose another");
  double s2 = 0, s3 = 0;
  EXPECT_FALSE(SimulateAnisoChannels(s2, s3));
  EXPECT_EQ(Sp(1).Y[5], 9);
}

}  // namespace

// ---- profile modes: two phases in a time-of-flight spectrum, background record 4 ----
class ProfileSimulation : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    SetUpProfileSpectrum(ProfileSpectrum{});
    PhaseCount = 2;
    ASSERT_TRUE(SetUpZincOxide(1));
    ASSERT_TRUE(SetUpAluminium(2));
    ASSERT_GT(FormProfileReflections(1), 5);
    ASSERT_GT(FormProfileReflections(2), 3);
    LayOutProfileParameters();
    Rec(4).value = 50;  // the Legendre P0 term: a flat background of 50
    IntervalFirst = Sp(1).WorkFirst, IntervalLast = Sp(1).WorkLast;
  }
  static TSpectrum& Sp(int32_t s) { return *SpectrumList[s]; }
  // The model of one variant, unscaled.
  std::vector<double> Model(bool withBg, bool withoutBg, int32_t phase, bool effective = false) {
    TSimulationRun r;
    r.target = 1, r.singlePhase = phase, r.singleWithBackground = withBg, r.singleWithoutBackground = withoutBg;
    r.useEffectiveSpectrum = effective;
    const double scale = SimulateChannels(r);
    std::vector<double> y;
    for (int32_t c = IntervalFirst; c <= IntervalLast; ++c) y.push_back(Sp(1).Y[c] / scale);
    return y;
  }
  KeepValues<int32_t> keep_[2] = {{&IntervalFirst, 1}, {&IntervalLast, 1}};
};

TEST_F(ProfileSimulation, VariantsAddUpAndTheEffectiveSpectrumWeights) {
  const auto full = Model(false, false, 1), one = Model(false, true, 1), oneBg = Model(true, false, 1),
             two = Model(false, true, 2);
  double top = 0;
  for (size_t i = 0; i < full.size(); ++i) {
    const double tol = 1e-12 * std::fabs(full[i]) + 1e-9;
    EXPECT_NEAR(oneBg[i] - one[i], 50, tol);  // the background part
    EXPECT_NEAR(one[i] + two[i] + 50, full[i], tol);  // the phases add up to the model
    top = std::max(top, std::fabs(full[i]));
  }
  EXPECT_NEAR(*std::max_element(full.begin(), full.end()) * 5000 / top, 5000, 1e-9);
  // The effective spectrum on the same axis: flat leaves the model, a ramp weights (y - b0) w + b0.
  TSpectrum& eff = Sp(0);
  eff.FirstChannel = 1, eff.LastChannel = 3000, eff.ChanWidth = Sp(1).ChanWidth, eff.Delay = Sp(1).Delay;
  for (int32_t c = 1; c <= 3000; ++c) eff.Y[c] = 7;
  const auto flat = Model(false, false, 1, true);
  for (size_t i = 0; i < full.size(); ++i) EXPECT_NEAR(flat[i], full[i], 1e-12 * std::fabs(full[i]));
  for (int32_t c = 1; c <= 3000; ++c) eff.Y[c] = c;
  const auto ramp = Model(false, false, 1, true);
  for (size_t i = 0; i < full.size(); i += 97) {
    const double w = (IntervalFirst + double(i)) / 3000;
    EXPECT_NEAR(ramp[i], (full[i] - 50) * w + 50, 1e-9 * std::fabs(full[i]) + 1e-9);
  }
  // On another grid (channels twice as wide, 5 channels of delay): the weight is the effective
  // spectrum at the same time of flight (c + delay) * width. Its counts are that time itself,
  // so the weight of target channel c is (c + d) w / ((3000 + 5) 2 w).
  eff.ChanWidth = 2 * Sp(1).ChanWidth, eff.Delay = 5;
  for (int32_t c = 1; c <= 3000; ++c) eff.Y[c] = (c + eff.Delay) * eff.ChanWidth;
  const auto wide = Model(false, false, 1, true);
  for (size_t i = 0; i < full.size(); i += 97) {
    const double w = (IntervalFirst + double(i) + Sp(1).Delay) / 6010;
    EXPECT_NEAR(wide[i], (full[i] - 50) * w + 50, 1e-9 * std::fabs(full[i]) + 1e-9) << i;
  }
}

TEST_F(ProfileSimulation, AnisotropicIdentitiesAndTheDeclaredCellComesBack) {
  KeepValues<double> numbers{NumberBuffer, 8};
  KeepValues<uint8_t> errors{&SimulateWithErrors, 1};
  SimulateWithErrors = 0;
  Sp(1).WorkFirst = 900, Sp(1).WorkLast = 1400;  // cut to 1000
  const LATTICE declared = PhaseTable[1];
  std::vector<double> records;
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) records.push_back(RecValue(i));
  double gauss = 0;
  for (const Tokens& g : Golden("gauss"))
    if (g[0] == "3.0") gauss = std::stod(g[2]);
  const std::pair<int32_t, double> kinds[] = {{2, 44.1}, {3, 441}, {0, gauss}};
  for (const auto& [kind, total] : kinds) {
    const double buffer[8] = {0, 0, 0, 3, 3, 2, 2, double(kind)};
    std::copy(buffer, buffer + 8, NumberBuffer);
    double sum2 = 0, sum3 = 0;
    ASSERT_TRUE(SimulateAnisoChannels(sum2, sum3));
    EXPECT_EQ(IntervalLast, 1000);
    EXPECT_NEAR(sum2, total * sum3, 1e-9 * sum2) << kind;
    const double f = 1 / total;
    for (int32_t c = IntervalFirst; c <= IntervalLast; c += 13) {
      EXPECT_NEAR(Sp(1).Y[c], Sp(3).Y[c], 1e-9 * Sp(3).Y[c] + 1e-12) << kind << " " << c;
      EXPECT_NEAR(Sp(1).E[c], std::sqrt(Sp(1).Y[c] / f + 1) * f, 1e-9) << kind;  // E scaled with Y
    }
  }
  EXPECT_TRUE(PhaseDifferences(PhaseTable[1], declared).empty());
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) EXPECT_EQ(RecValue(i), records[i - 1]) << i;
  EXPECT_EQ(std::pair(Sp(1).Name, Sp(3).Name), std::pair(std::string("Aniso_sp"), std::string("True_sp")));

  // The metric records of a stepped cell (0.05 A, 1 degree) give gemmi's 1/d^2.
  NumberBuffer[1] = 0.05, NumberBuffer[2] = 1, NumberBuffer[7] = 2;
  double sum2 = 0, sum3 = 0;
  ASSERT_TRUE(SimulateAnisoChannels(sum2, sum3));
  SetAnisoCell(2, -3);
  double g[6], dQ[6];
  for (int32_t i = 0; i < 6; ++i) g[i] = RecValue(MetricRecord(1, i + 1));
  for (const Tokens& t : Golden("inv_d2")) {
    const double q = InverseDSquaredTerms(g, false, std::stoi(t[0]), std::stoi(t[1]), std::stoi(t[2]), dQ);
    // The program's reciprocal cell carries its legacy degree and pi constants: 1e-8 relative.
    EXPECT_NEAR(q, std::stod(t[3]), 5e-8 * q);
  }
}

TEST_F(DSpacingSimulation, DialogRefusesDMinZeroAndMakesTheSet) {
  KeepValues<double> error{&DefaultDError, 1};
  Cell(1, 186, 1, {3.2495, 3.2495, 5.2069, 90, 90, 120});
  DSpacingCount = 2;
  ui.ExpectDialog("Phase information").Ok();
  ui.ExpectDialog("Check lattice information").Ok();
  ui.ExpectDialog("Spectrum simulation").Field(1, 1, "0").Ok();
  ui.ExpectMessage("Wrong dmin,dmax");
  SimulateDSpacings();
  EXPECT_EQ(DSpacingCount, 2);  // refused before anything changed

  ui.ExpectDialog("Phase information").Ok();
  ui.ExpectDialog("Check lattice information").Ok();
  ui.ExpectDialog("Spectrum simulation").Field(1, 1, "1.2").Field(2, 1, "6").Field(3, 1, "0.002").Field(5, 1, "5").Ok();
  ui.ExpectDialog("Set the info for indexing, phase= 1").Inspect([](TForm2& f) {
    EXPECT_EQ(f.StringGrid1.Cell(0, 3), GridCellText(8, 0));  // k_min: 0 for a hexagonal cell
  }).Ok();
  ui.ExpectDialog("Spectrum simulation").Inspect([](TForm2& f) {
    EXPECT_EQ(f.ListBox1.items, std::vector<std::string>{"D-spacings prepared 5 items"});
  }).Ok();
  SimulateDSpacings();
  EXPECT_EQ(DSpacingCount, 5);
  EXPECT_EQ(DefaultDError, 0.002);
  EXPECT_EQ(LogLines().back(), "1-phase ds simulated   5 items, eps=  0.0020");
}

// "Simulate the Data" in mode 0: straight to the simulation with the set-up that exists. The
// anisotropic run takes the remembered convolution kind, not a parser's leftover in NumberBuffer.
TEST_F(ProfileSimulation, MenuRunsWithTheRememberedConvolutionKind) {
  KeepValues<double> numbers{NumberBuffer, 8};
  KeepValues<uint8_t> flags[2] = {{&SimulateWithErrors, 1}, {&DisturbAfterSimulation, 1}};
  KeepValues<int32_t> kind{&ConvolutionKind, 1};
  ConvolutionKind = 0;
  NumberBuffer[7] = 4;  // "Periodic" left by some parser
  Sp(1).WorkFirst = 960, Sp(1).WorkLast = 990;
  ui.ExpectDialog("Spectrum simulation").Combo(1).Check(6).Radio(1).Radio2(1).Ok();
  ui.ExpectDialog("Spectrum simulation").Inspect([](TForm2& f) {
    EXPECT_EQ(f.RadioGroup1.items[5], " Make Convolution");
  }).Radio(7).CheckBox(false).Ok();
  SimulateSpectrum();
  EXPECT_EQ(Sp(1).Name, "Aniso_sp");
  EXPECT_EQ(NumberBuffer[7], 0);

  // Without the anisotropic check, into spectrum 2 with errors: a copy of the current header,
  // d as the abscissa of a time-of-flight target, the highest count near 5000.
  ui.ExpectDialog("Spectrum simulation").Combo(1).Check(1).Radio(2).Radio2(1).Ok();
  ui.ExpectDialog("Spectrum simulation").Radio(7).Ok();
  SimulateSpectrum();
  EXPECT_EQ(Sp(2).Name, "SimSp1.spc");
  EXPECT_EQ(Sp(2).X[970], Sp(2).ChannelToD(970));
  EXPECT_NEAR(Sp(2).Ymax, 5000, 5 * std::sqrt(5001.0));
  EXPECT_EQ(GraphMode, 1);
}

// Recovery: a zinc oxide spectrum simulated with errors from known records, the 5 % disturbance
// of the starting array (held in narrow bounds for the cell and widths), then a fit: every free
// record within 3 errors of its truth (scale and background times the simulation's factor) and
// chi^2/df within 1 +- 4 sqrt(2/DoF), for time of flight and angular.
class RecoverySimulation : public ProfileTest {
protected:
  void Recover(const ProfileSpectrum& spectrum) {
    SetUpProfileSpectrum(spectrum);
    PhaseCount = 1;
    ASSERT_TRUE(SetUpZincOxide(1));
    ASSERT_GT(FormProfileReflections(1), 5);
    LayOutProfileParameters();
    FixAllRecords();
    const int32_t b = PhaseBase(1);
    SetRecord(ScaleRecord(1), 2.0), SetRecord(4, 60), SetRecord(WidthRecord(1, 0), 6);
    std::vector<double> truth(FitParameters->NPar + 1);
    for (int32_t i = 1; i <= FitParameters->NPar; ++i) truth[i] = RecValue(i);
    const std::vector<int32_t> free = {ScaleRecord(1), 4, b + 2, b + 4, WidthRecord(1, 0)};
    IntervalFirst = Sp().WorkFirst, IntervalLast = Sp().WorkLast;
    SetRandomSeeds(12345, 67890);
    TSimulationRun run;
    run.target = 1, run.withErrors = true;
    const double factor = SimulateChannels(run);
    truth[ScaleRecord(1)] *= factor, truth[4] *= factor;

    for (int32_t i : free) {
      const double v = RecValue(i), spread = i == ScaleRecord(1) || i == 4 ? 1e15 : 0.003 * std::fabs(v);
      FreeRecord(i), Rec(i).lower = v - spread, Rec(i).upper = v + spread;
    }
    TieRecord(b + 3, b + 2), TieRecord(b + 7, b + 2);  // hexagonal: k^2 and hk terms are a*^2
    for (int32_t i = 1; i <= FitParameters->NPar; ++i) parar[i] = Rec(i);
    DisturbParameters();
    for (int32_t i : free) Rec(i).value = parar[i].value;
    TieRecord(b + 3, b + 2), TieRecord(b + 7, b + 2);
    FitParameters->GNIter = 30, FitParameters->EpsReq = 1e-6;
    FitParameters->Fit(RietveldModel, NoProgress);
    for (int32_t i : free)
      EXPECT_NEAR(RecValue(i), truth[i], 3 * Rec(i).Error) << "record " << i << " error " << Rec(i).Error;
    const double dof = FitParameters->DegreesOfFreedom;
    EXPECT_NEAR(FitParameters->ChiDf, 1, 4 * std::sqrt(2 / dof));
  }
  static TSpectrum& Sp() { return *SpectrumList[1]; }
  KeepValues<int32_t> keep_[2] = {{&IntervalFirst, 1}, {&IntervalLast, 1}};
  KeepValues<TRandomSeeds> seeds_{&RandomSeeds, 1};
};

TEST_F(RecoverySimulation, TimeOfFlight) { Recover(ProfileSpectrum{}); }

TEST_F(RecoverySimulation, Angular) {
  ProfileSpectrum s;
  s.axis = AxisAngular, s.first = 500, s.last = 2300;
  Recover(s);
}
