// The model reset of the user spectra; the random test atoms follow the documented draw order;
// the atom routines keep to their table.
#include "core/elements.h"
#include "core/graph_drawing.h"
#include "core/random.h"
#include "core/small_routines.h"
#include "model_test_support.h"

class ModelResetTest : public ModelTest {};

TEST_F(ModelResetTest, KeepsNChannelsOfTheUserSpectra) {
  for (int32_t s = 0; s <= 4; ++s)
    for (int32_t c = 1; c <= MaxChannels; ++c) Sp(s).Y[c] = Sp(s).E[c] = Sp(s).X[c] = 5;
  LogXScale = GraphFitErrors = LongReflectionIndicators = 1;
  ResetModelState(1024);
  // The reset gives back a working graph; the look of the graph stays the user's.
  EXPECT_EQ(std::vector<int>({LogXScale, GraphFitErrors, LongReflectionIndicators}), std::vector<int>({0, 0, 1}));
  LongReflectionIndicators = 0;
  for (int32_t s = 1; s <= 4; ++s) {
    const TSpectrum& sp = Sp(s);
    EXPECT_EQ(sp.FirstChannel + sp.WorkFirst + sp.LastChannel + sp.WorkLast, 1 + 1 + 1024 + 1024);
    bool reset = true;
    for (int32_t c = 1; c <= 1024; ++c) reset = reset && sp.Y[c] == 0 && sp.E[c] == 1 && sp.X[c] == c;
    EXPECT_TRUE(reset && sp.Y[1025] == 5) << s;
  }
  EXPECT_EQ(Sp(0).Y[1], 5);  // the effective spectrum is no user spectrum
  ResetModelState(16834);    // "Reset the Program"
  EXPECT_EQ(Sp(4).X[16834], 16834);
  EXPECT_TRUE(ui.Messages().empty());
  ResetModelState(40000);  // held to the channel table
  EXPECT_EQ(Sp(1).LastChannel, MaxChannels);
  ResetModelState(0);
  EXPECT_EQ(Sp(1).LastChannel, 1);
  EXPECT_EQ(ui.Messages().size(), 2u);
}

TEST_F(ModelResetTest, AtomRoutinesCountPhaseFastestAndKeepToTheTable) {
  AtomTable[2][1].X = AtomTable[1][2].X = AtomTable[2][1].T23 = 0.9;
  AtomTable[1][1].Name = "FE";
  ResetAtom(7);  // atom 2 of phase 1
  CopyAtom(1, 200, 1, 6);
  const ATOM& a = AtomTable[2][1];
  EXPECT_EQ(std::vector<double>({a.Occupation, a.X, a.Y, a.Z, a.T23, a.ScatteringLength, AtomTable[1][2].X}),
            std::vector<double>({1.0, 0.345678, 0.7531, 0.314159, 0, 1.0, 0.9}));
  EXPECT_EQ(AtomTable[200][6].Name, "FE");
  EXPECT_TRUE(ui.Messages().empty());
  ResetAtom(0), ResetAtom(1201), CopyAtom(1, 201, 1, 1), CopyAtom(1, 1, 1, 7), CopyAtom(0, 1, 1, 1);
  EXPECT_EQ(ui.Messages().size(), 5u);
  EXPECT_EQ(ui.Messages()[1], "Error, atom index 1201 outside 1..1200");
}

// Per phase 1..6 and atom 1..100: the element row round(85 r + 1); a second draw <= 0.125 takes
// T11 from a third; the class round(10 r); classes 4..9 draw once more for 0.25 or 0.5.
TEST_F(ModelResetTest, RandomAtomsReplayTheGeneratorInTheDocumentedOrder) {
  for (int32_t k = 1; k <= MaxPhases; ++k)
    for (int32_t i = 1; i <= MaxAtoms; ++i) AtomTable[i][k] = ATOM{}, AtomTable[i][k].X = AtomTable[i][k].T11 = -1;
  ASSERT_TRUE(SetRandomSeeds(4711, 815));
  std::vector<double> r(4000);
  for (double& x : r) x = Random01();
  ASSERT_TRUE(SetRandomSeeds(4711, 815));
  RandomizeAtoms();
  const double next = Random01();
  size_t used = 0;
  int32_t stays = 0;
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    for (int32_t i = 1; i <= 100; ++i) {
      const ATOM& a = AtomTable[i][k];
      ASSERT_EQ(a.Name, ElementTable[RoundHalfEven(85 * r[used++] + 1)].Symbol) << i << "," << k;
      EXPECT_EQ(a.T11, r[used++] <= 0.125 ? r[used++] : -1);
      double xyz[3] = {0, 0, 0};
      const int32_t c = RoundHalfEven(10 * r[used++]);
      const int32_t axis[3] = {1, 0, 2};  // classes 4, 5 move Y; 6, 7 X; 8, 9 Z
      if (c >= 4 && c <= 9) xyz[axis[(c - 4) / 2]] = r[used++] >= 0.5 ? 0.25 : 0.5;
      if (c == 10) xyz[0] = -1, ++stays;
      EXPECT_EQ(std::vector<double>({a.X, a.Y, a.Z, a.Occupation, a.MagneticMoment}),
                std::vector<double>({xyz[0], xyz[1], xyz[2], 1.0, 1.0}));
    }
    EXPECT_TRUE(AtomTable[101][k].Name.empty());
  }
  EXPECT_EQ(next, r[used]);  // nothing drawn beyond the documented draws
  EXPECT_GT(stays, 0);
}
