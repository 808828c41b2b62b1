// The summary file byte for byte against blocks written by hand from the layout, and its round
// trip through the evolution display.
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>
#include "evolution/step_fixture.h"

namespace {

// Orthorhombic phase 1 with 2, rhombohedral phase 2 with 3 identification reflections; time of
// flight at 1011.112 channels per angstrom. 5 + n_p lines per phase, 15 after the head; a chi2/df
// too wide for its field widens it instead of turning the line into a comment of asterisks. Read
// back: the cell path numbers its lines from isp1 and copies the cell lines as written; the
// reflection path finds h k l in every block; the phase advances; a short hkl field keeps h k l.
TEST_F(StepTest, RietveldBlocksByteForByteAndReadBack) {
  TrevoMode = 2, MainMode = 0, PhaseCount = 2, isp1 = 4, LastStep = 6, Head(2);
  Sp(1).FlightPath = 20, Sp(1).Theta = 90, Sp(1).ChanWidth = 10, Sp(1).Delay = 0;
  const double cells[2][6] = {{10.1234, 6, 4.7, 90, 90, 90}, {5.4321, 5.4321, 5.4321, 55.5, 55.5, 55.5}};
  for (int32_t p = 1; p <= 2; ++p) {
    PhaseTable[p].CrystalSystem = p == 1 ? 3 : 7, PhaseTable[p].AtomCount = 1, TrevoPhases[p].ReflectionCount = p + 1;
    std::copy(cells[p - 1], cells[p - 1] + 6, TrevoPhases[p].Cell);
    for (int32_t j = 1; j <= p + 1; ++j) {
      HklTable[j][p] = THklRecord{};
      TrevoIdentificationD[j][p] = HklTable[j][p].d = p == 1 ? 2.5 / j : 4.0 - j;
      TrevoPhases[p].Reflections[j].h = j, TrevoPhases[p].Reflections[j].k = 2 * p, TrevoPhases[p].Reflections[j].l = 0;
    }
  }
  HklTable[1][1].d = 2.51, HklTable[1][1].A = 3, HklTable[1][1].B = 4, HklTable[2][1].A = 1;
  std::vector<double> v(60, 0.0);
  v[11 - 1] = 2.4, v[21 - 1] = 0.987, v[25 - 1] = 0.45, v[31 - 1] = 0.5;  // scales, occupation, T11
  SetRecords(v);
  for (int32_t s = 4; s <= 6; ++s) FitParameters->ChiDf = s == 5 ? 1234567.89 : 1.2345, WriteStepBlock(s == 5 ? 2 : 1, 0);
  Strings lines;
  for (size_t a = 0, b; (b = QuorinFile.Contents().find("\r\n", a)) != std::string::npos; a = b + 2)
    lines.push_back(QuorinFile.Contents().substr(a, b - a));
  const std::string cell = "  10.1234   6.0000   4.7000 0.987  0.45  2.400000";
  const std::string line2 = "   2   1.2500  1263.89   1.2500   2   2   0         2";
  ASSERT_EQ(lines.size(), 2u + 3 * 18);
  EXPECT_EQ(Strings(lines.begin() + 2, lines.begin() + 12),
            (Strings{"#Step        1", "* Spectrum", "run1.dat", "* PHASE ", "  1      2",
                     "* spec ch^2 unit_cell occu_11 therm_11 scale  (11=ph1,at1)", "    1.23" + cell,
                     "*            di      chan_c   peak   hkl    amplitude",
                     "   1   2.5000  2527.78   2.5100   1   2   0        60", line2}));
  EXPECT_EQ(lines[15], "    1.23   5.4321   5.4321  55.5000 0.987  0.45  0.500000");
  EXPECT_EQ(lines[17], "   1   3.0000  3033.34   3.0000   1   4   0         0");
  EXPECT_EQ(lines[26], "1234567.89" + cell);
  EvolutionChoices = TEvolutionChoices{};
  ui.ExpectDialog("Display evolution").Radio(1).Edit(1, "1").Ok();
  ui.ExpectDialog("Display evolution").Radio(2).Edit(1, "1").Edit(2, "2 2 0").Ok();
  ui.ExpectDialog("Display evolution").Radio(2).Edit(1, "2").Edit(2, "1 1").Ok();
  ui.ExpectMessage("Three indices h k l wanted; the last ones are kept");
  ui.ExpectDialog("Display evolution").Cancel();
  LogFile.RewriteToMemory("log");
  DisplayEvolution();
  EXPECT_EQ(LogLines(), (Strings{std::string(20, ' ') + "EVOLUTION", "Phase   1 ch^2 unit_cell occu therm scale",
                                 "   4    1.23" + cell, "   51234567.89" + cell, "   6    1.23" + cell,
                                 "Phase   1  hkls=    2   2   0", line2, line2, line2, "Phase   2  hkls=    2   2   0"}));
  EXPECT_EQ(EvolutionChoices.phase, 1);  // advanced past the last phase
}

// Only the head, or a block cut short, in both paths: the "corrupt" message, the display ends.
TEST_F(StepTest, CorruptSummaryFilesEndTheDisplay) {
  for (int32_t kind : {20, 21, 10, 11}) {
    Head(2);
    if (kind % 2) QuorinFile.WriteLine("#Step        1\r\n* Spectrum\r\na.dat");
    TrevoMode = kind / 10;
    ui.ExpectDialog("Display evolution").Edit(1, "7").Ok();
    ui.ExpectMessage("The quorin.res file is corrupt");
    ui.ExpectDialog("Display evolution").Cancel();
    DisplayEvolution();
  }
}

// Counts beyond an int32 (phases in the head, reflections of a phase, peaks of a block) are the
// "corrupt" message with nothing listed, not a count converted with undefined behaviour.
TEST_F(StepTest, CountsBeyondInt32AreCorrupt) {
  const std::string block = "#Step        1\r\n* Spectrum\r\na.dat\r\n";
  struct Case { int32_t mode; std::string text; };
  const Case cases[] = {
      {2, "* N of phases\r\n  1e10\r\n" + block},
      {2, "* N of phases\r\n  1\r\n" + block + "* PHASE\r\n  1 -3e9\r\n* c\r\n 1 2 3\r\n"},
      {0, "* N of phases\r\n  1\r\n" + block + "  2147483648 peaks processed\r\n w\r\n head\r\n 1 2 3 4 5\r\n"},
  };
  for (const Case& c : cases) {
    QuorinFile.RewriteToMemory();
    QuorinFile.Write(c.text);
    TrevoMode = c.mode, LastStep = 1, isp1 = 1;
    ui.ExpectDialog("Display evolution").Edit(1, "1").Ok();
    ui.ExpectMessage("The quorin.res file is corrupt");
    ui.ExpectDialog("Display evolution").Cancel();
    LogFile.RewriteToMemory("log");
    DisplayEvolution();
    const Strings log = LogLines();
    EXPECT_EQ(log.size(), c.mode == 2 ? 2u : 3u) << c.text;  // the titles, nothing from the file
  }
}

// The peak path of the Fitra kind, whose peaks change from block to block: the line of the
// position nearest the one entered (the first of equal distances), N from each block.
TEST_F(StepTest, PeakPathCopiesTheNearestPeakOfEveryFitraBlock) {
  TrevoMode = 1;
  for (const std::vector<double>& x : {std::vector<double>{200, 300, 400}, {210, 390}}) {
    const int32_t n = MarkedPointCount = static_cast<int32_t>(x.size());
    std::vector<double> v(2 * n + 18, 0.0);
    for (int32_t i = 1; i <= n; ++i) v[5 + i] = 1000 * i, v[5 + n + i] = x[i - 1];
    v[2 * n + 6] = 5;
    SetRecords(v);
    WriteStepBlock(n - 1, 3);
  }
  ui.ExpectDialog("Display evolution").Edit(1, "250").Ok();
  ui.ExpectDialog("Display evolution").Cancel();
  LogFile.RewriteToMemory("log");
  DisplayEvolution();
  EXPECT_EQ(LogLines(), (Strings{std::string(20, ' ') + "EVOLUTION",
                                 " Amplitude  Ampl.err   Area  Position  Pos.Err  HWidth  HW-err Spec", "Peak ident=    250.00",
                                 "    1     1000        0   200.00       0.00     5.00     0.00        Sp1",
                                 "    1     1000        0   210.00       0.00     5.00     0.00        Sp2", ""}));
}

// A width law with a slope: each peak's half width in the summary is the law's value at its own
// position, W0 - W1 at the first working channel and W0 + W1 at the last, as the fit's model has it.
TEST_F(StepTest, PeakBlockWidthsFollowTheLawAtEachPosition) {
  TrevoMode = 1;
  Sp(1).WorkFirst = 100, Sp(1).WorkLast = 110;
  const std::vector<double> x = {100, 105, 110};
  const int32_t n = MarkedPointCount = 3;
  std::vector<double> v(2 * n + 18, 0.0);
  for (int32_t i = 1; i <= n; ++i) v[5 + i] = 1000, v[5 + n + i] = x[i - 1];
  v[2 * n + 6] = 5, v[2 * n + 12] = 2;  // W0 of model 1 and its W1
  SetRecords(v);
  WriteStepBlock(1, 3);
  std::vector<double> widths;
  for (size_t a = 0, b; (b = QuorinFile.Contents().find("\r\n", a)) != std::string::npos; a = b + 2) {
    std::istringstream line(QuorinFile.Contents().substr(a, b - a));
    double f[7];
    int k = 0;
    while (k < 7 && line >> f[k]) ++k;
    if (k == 7 && f[1] == 1000) widths.push_back(f[5]);
  }
  EXPECT_EQ(widths, (std::vector<double>{3, 5, 7}));
}

}  // namespace
