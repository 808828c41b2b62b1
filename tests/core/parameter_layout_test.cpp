// The parameter-array layout of every mode: counts, offsets and names of the documented
// examples, the transfers to the spectrum, and no name past the counted array or the table.
#include <algorithm>
#include <array>
#include "core/parameter_layout.h"
#include "model_test_support.h"

class ParameterLayoutTest : public ModelTest {
protected:
  static void Phases(std::vector<int32_t> sizes) {  // atoms (and reflections) per phase
    PhaseCount = static_cast<int32_t>(sizes.size());
    for (int32_t k = 1; k <= PhaseCount; ++k) PhaseTable[k].AtomCount = PhaseTable[k].ReflectionCount = sizes[k - 1];
  }
  static int32_t Count(int32_t mode) {
    int32_t n = -1;
    CountParameters(n, mode);
    return n;
  }
  // The names of records first..last joined by "|".
  static std::string Names(int32_t first, int32_t last) {
    std::string s = parar[first].Name;
    for (int32_t i = first + 1; i <= last; ++i) s += "|" + parar[i].Name;
    return s;
  }
};

TEST_F(ParameterLayoutTest, CountsAndOffsetsOfTheExamples) {
  Phases({3});
  EXPECT_EQ(Count(0), 50);
  Phases({3, 2});
  EXPECT_EQ(PhaseParameterOffset(2), 50);  // the second phase starts at record 51
  EXPECT_EQ(SpectrumBlockOffset(3), 80 + 16);
  Phases({3});
  PhaseModelFlags[1] = 1;
  EXPECT_EQ(Count(0), 53);
  MainMode = 2;  // a magnetic phase in DazazeDedev: counted by ParameterCount(2) only
  EXPECT_EQ(Count(2), 23);
  EXPECT_EQ(ParameterCount(2), 26);
  AnisotropyOn = M2Mode = 1;
  EXPECT_EQ(Count(2), 23 + 12 + 2);
  MainMode = 1, CynematicFit = 1;
  Phases({0, 0});
  EXPECT_EQ(Count(1), 15);
  EXPECT_EQ(PhaseParameterOffset(2), 6);
  PlaneSettings.count = 40;
  EXPECT_EQ(std::vector<int32_t>({Count(4), Count(5), Count(9)}), std::vector<int32_t>({10, 89, 10}));
  EXPECT_TRUE(ui.Messages().empty());
  Phases({200, 200, 200});
  MainMode = 0;
  EXPECT_EQ(Count(0), MaxParameters);
  EXPECT_EQ(ui.Messages(), Strings{"Too many parameters - cut!"});
  PhaseParameterOffset(7), SpectrumBlockOffset(5), SpectrumBlockOffset(0);  // refused and capped
  EXPECT_EQ(ui.Messages().size(), 4u);

  MarkedPointCount = 4;  // Fitra: exponentials, five-record, paired, width per peak, M2
  using Row = std::array<int32_t, 6>;
  for (auto [e, five, paired, width, m2, want] : {Row{0, 0, 0, 0, 0, 26}, Row{2, 0, 0, 0, 0, 22}, Row{0, 1, 0, 0, 0, 5},
                                                 Row{0, 0, 1, 0, 0, 12}, Row{0, 0, 0, -1, 0, 18}, Row{0, 0, 0, 0, 1, 28}}) {
    ExponentialCount = e, FiveParameterFit = five, PairedPeakMode = paired, WidthMode = width, M2Mode = m2;
    EXPECT_EQ(Count(3), want) << e << five << paired << width << m2;
  }
}

TEST_F(ParameterLayoutTest, RietveldNames) {
  Phases({1, 2});
  PhaseModelFlags[2] = 1;
  ParameterNames();
  EXPECT_EQ(Names(1, 10), "FlightPath|dTheta0|Delay|Bckg-const|Bckg-linear|Bckg-quadra|Bckg-cubic|Bckgr.4|"
                          "Bckgr.5|Spectr.Corr");
  EXPECT_EQ(Names(11, 30), "Scale Phase|a|b|c|alpha|beta|gamma|Width 0|Width 1|Width 2/Ext|"
                           "Occupation|X|Y|Z|T11|T12|T13|T22|T23|T33");
  EXPECT_EQ(parar[41].Name, "OccMagM");  // the first atom of the magnetic phase 2
  EXPECT_EQ(Names(61, 66), " | | |Cos Phi_a P|Cos Phi_b|Cos Phi_c");
  Sp(1).AxisKind = AxisAngular;
  BackgroundMode = 1;
  ParameterNames();
  EXPECT_EQ(Names(1, 10), "Lambda||Zero-shift|Bckg-const|Ampl_b0|Ampl_b1|Pos_b|Width_b0|Width_b1|Spectr.Corr");
  EXPECT_EQ(parar[20].Name, "Width 2");
}

TEST_F(ParameterLayoutTest, PowderMatchAnisotropyAndM2Names) {
  MainMode = 2;
  Phases({2, 1});
  HklTable[1][1].d = 2.345678, HklTable[2][1].d = 12.3456;
  AnisotropyOn = M2Mode = AnisotropicPhases[2] = 1;
  ParameterNames();
  EXPECT_EQ(Names(21, 22), "SF1d=2.3457|SF1d=12.345");
  EXPECT_EQ(Names(33, 35), "SF2d=0.0000| | ");  // phase 1 is not anisotropic
  EXPECT_EQ(Names(46, 59), "AnisX   2|AnisY    |AnisZ    |Anisotr_H|Anisotr_K|Anisotr_L|AniGamma |AniBeta  |"
                           "AniAlpha |AniH2    |AniK2    |AniL2    |m\"_0     |m\"_1     ");
}

TEST_F(ParameterLayoutTest, IndexingAndFitraNames) {
  MainMode = 1, CynematicFit = 1;
  Phases({0});
  ParameterNames();
  EXPECT_EQ(Names(1, 9), " A| B| C|cos(alpha)|cos( beta)|cos(gamma)|FlightPath|Theta|Delay(ch)");
  Phases({0, 0});
  Sp(1).AxisKind = AxisAngular;
  ParameterNames();
  EXPECT_EQ(Names(1, 15), " A1| B1| C1|cos(alpha1)|cos( beta1)|cos(gamma1)| A2| B2| C2|cos(alpha2)|"
                          "cos( beta2)|cos(gamma2)|Lambda||0-shift");
  MainMode = 3, MarkedPointCount = 2, MarkedPointModels[2] = 3, UsedPeakModelCount = 3;
  ParameterNames();
  EXPECT_EQ(Names(1, 22), "Bckg-const|Bckg-linear|Bckg-quadra|Bckg-cubic|Bckgr.4|Bckgr.5| Ampl.1| Ampl.2|"
                          "Pos1 mod1|Pos2 mod3|Width0 mod1|Width0 mod2|Width0 mod3||||"
                          "Width1 mod1|Width1 mod2|Width1 mod3|||");
  WidthMode = -1, BackgroundMode = 1;
  ParameterNames();
  EXPECT_EQ(Names(2, 12), "Ampl_b0|Ampl_b1|Pos_b|Width_b0|Width_b1| Ampl.1| Ampl.2|Pos1 mod1|Pos2 mod3|"
                          "Width1|Width2");
}

// Over modes and switches: no record past the counted array (or past the blocks the layout
// places beyond it) gets a name, and none past the table.
TEST_F(ParameterLayoutTest, NamesStayInsideTheArray) {
  struct Case { int32_t mode; std::vector<int32_t> sizes; uint8_t magnetic, aniso, m2; int32_t peaks, width; };
  for (const Case& c : {Case{0, {3}, 0, 0, 0, 0, 0}, Case{0, {2, 5}, 1, 1, 1, 0, 0}, Case{2, {7, 1}, 1, 1, 1, 0, 0},
                        Case{1, {0, 0, 0}, 0, 0, 0, 0, 0}, Case{3, {}, 0, 0, 1, 5, 0}, Case{3, {}, 0, 0, 0, 7, -1},
                        Case{0, {200, 200, 200}, 0, 0, 0, 0, 0}, Case{2, {4000, 4000}, 1, 1, 1, 0, 0},
                        Case{3, {}, 0, 0, 1, 1000, -1}}) {
    Clean();
    for (auto& r : parar) r.Name = "?";
    MainMode = c.mode, PhaseModelFlags[1] = c.magnetic, AnisotropyOn = c.aniso, M2Mode = c.m2;
    AnisotropicPhases[1] = 1, MarkedPointCount = c.peaks, WidthMode = c.width;
    Phases(c.sizes);
    const int32_t placed = c.mode == 1 ? Count(c.mode) : std::max(Count(c.mode), ParameterCount(2) + 2 * c.m2);
    ParameterNames();
    int32_t last = 0;
    size_t longest = 0;
    for (int32_t i = 0; i <= MaxParameters; ++i)
      if (parar[i].Name != "?") last = i, longest = std::max(longest, parar[i].Name.size());
    EXPECT_LE(longest, 11u);
    EXPECT_LE(last, std::min(placed, MaxParameters)) << c.mode << " " << c.sizes.size();
    EXPECT_EQ(parar[0].Name, "?");
  }
}

TEST_F(ParameterLayoutTest, BackgroundSeedsByDegree) {
  TSpectrum& sp = Sp(1);
  sp.WorkFirst = 101, sp.WorkLast = 400, sp.Background[3] = 7;
  for (int32_t c = 1; c <= 1024; ++c) sp.Y[c] = c;
  auto seed = [&](int32_t degree) {
    for (auto& r : parar) r.lower = -5, r.value = 9, r.upper = 5;
    sp.BackgroundDegree = degree;
    BackgroundToParameters(4);
  };
  seed(2);  // y1 = 101, y2 = 398
  EXPECT_EQ(std::vector<double>({parar[4].value, parar[5].value, parar[6].value, parar[10].value}),
            std::vector<double>({(101 + 398) / 2.0, (398 - 101) / 4.0, 7, 9}));
  for (int32_t k = 7; k <= 9; ++k) EXPECT_EQ(parar[k].lower + parar[k].value + parar[k].upper, 0) << k;
  seed(-1);
  for (int32_t k = 4; k <= 9; ++k) EXPECT_EQ(parar[k].upper, 0) << k;
  seed(6);  // mid = 250; the peak position starts at mid / 2 inside [101, 400]
  EXPECT_EQ(std::vector<double>({parar[5].value, parar[7].value, parar[7].lower, parar[8].value}),
            std::vector<double>({400, 125, 101, 250}));
  sp.WorkFirst = 300;  // mid / 2 = 175 lies below the bounds: held to them
  seed(6);
  EXPECT_EQ(parar[7].value, 300);
  BackgroundToParameters(1996);
  EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST_F(ParameterLayoutTest, FittedValuesToSpectrumAndIsotropicFlags) {
  CreateFitParameters();
  auto& rec = FitParameters->Records;
  for (int32_t i = 1; i <= 40; ++i) rec[i].value = i;
  Phases({1, 0});
  TSpectrum& sp = Sp(1);
  // The angle offset (record 2, free within [1, 3]) moves into the angle once: a later transfer
  // (SAVE after the run's update) adds nothing, and a record tied to it keeps its value.
  rec[2].lower = 1, rec[2].upper = 3, parar[2] = rec[2];
  rec[40].n = 2, rec[40].a = 2, rec[40].b = 36;  // 2 * 2 + 36 = 40
  for (int32_t call = 1; call <= 3; ++call) ParametersToSpectrum();
  EXPECT_EQ(std::vector<double>({sp.FlightPath, sp.Theta, sp.Delay, sp.Background[6], sp.SpectrumCorrection, sp.W0,
                                 sp.W1, PhaseTable[2].PhaseW0, PhaseTable[2].PhaseW1}),
            std::vector<double>({1, 76 + 2, 3, 9, 10, 18, 18 + 19, 38, 39}));
  EXPECT_EQ(std::vector<double>({rec[2].lower, rec[2].value, rec[2].upper, parar[2].lower, parar[2].value,
                                 parar[2].upper, rec[40].a * rec[2].value + rec[40].b}),
            std::vector<double>({-1, 0, 1, -1, 0, 1, 40}));
  rec[40].n = 40, rec[40].a = 1, rec[40].b = 0;
  MainMode = 3, MarkedPointCount = 2;
  ParametersToSpectrum();
  EXPECT_EQ(sp.W1, 11 + 17);  // W0 + W1 of model 1 (record 2M + 13)

  MainMode = 0;
  Phases({2});
  for (auto& r : rec) r.value = 0;
  AtomTable[1][1].T22 = 0.1;
  rec[38].lower = rec[38].upper = rec[40].lower = rec[40].upper = 0;  // T22 and T33 of atom 2
  for (int32_t source : {0, 1, 2}) {
    UpdateAtomFixFlags(source);
    EXPECT_EQ(AtomTable[1][1].IsotropicFlag + 2 * AtomTable[2][1].IsotropicFlag, source < 2 ? 2 : 0) << source;
  }
  FreeFitParameters();
}
