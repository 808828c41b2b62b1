// The commands on bad input: each case shows its message (with the location on a line of its
// own) and leaves the tables as they were; and the faults of the command descriptions, each
// pinned by its sound behaviour.
#include <cstring>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/mode_flags.h"
#include "core/peak_model.h"
#include "core/trevo_records.h"
#include "crystal/phase_setup.h"
#include "ini/ini_setup.h"
#include "spectrum/normalization.h"
#include "support/temp_path.h"

namespace {

// The state the bad-input cases compare: the phases, the first atoms, the spectrum headers and
// the switches the commands set.
struct Snapshot {
  Snapshot() {
    for (int32_t p = 1; p <= MaxPhases; ++p) phases.push_back(PhaseTable[p]);
    for (int32_t p = 1; p <= MaxPhases; ++p)
      for (int32_t i = 1; i <= 4; ++i) atoms.push_back(Atom(AtomTable[i][p]));
    for (int32_t s = 0; s <= 4; ++s) {
      const TSpectrum& sp = *SpectrumList[s];
      headers.push_back(sp.Name + "|" + sp.VarianceName + "|" + std::to_string(sp.FirstChannel) + "|" +
                        std::to_string(sp.LastChannel) + "|" + std::to_string(sp.WorkFirst) + "|" +
                        std::to_string(sp.WorkLast) + "|" + std::to_string(sp.FileType) + "|" +
                        std::to_string(sp.AxisKind) + "|" + std::to_string(sp.FlightPath) + "|" +
                        std::to_string(sp.E[405]));
    }
    ints = {PhaseCount, MainMode, MarkedPointCount, ExponentialCount, WidthMode, BackgroundMode, CurrentSpectrum,
            SelectedPeakModel, TrevoMode, MarkedPointModels[1], MarkedPointModels[2], TrevoPhases[1].ReflectionCount,
            PeakModels[1]->ModelNumber, PeakModels[7]->HalfPoints, AnisotropyOn, M2Mode, NoCrystalInfo};
  }
  static std::string Atom(const ATOM& a) {
    return a.Name + "|" + std::to_string(a.ScatteringLength) + "|" + std::to_string(a.X) + "|" + a.IonName;
  }
  std::vector<std::string> Differences(const Snapshot& o) const {
    std::vector<std::string> out;
    for (size_t p = 0; p < phases.size(); ++p)
      for (const auto& f : PhaseDifferences(phases[p], o.phases[p])) out.push_back("phase " + std::to_string(p + 1) + " " + f);
    if (atoms != o.atoms) out.push_back("atoms");
    if (headers != o.headers) out.push_back("spectrum headers");
    for (size_t i = 0; i < ints.size(); ++i)
      if (ints[i] != o.ints[i]) out.push_back("switch " + std::to_string(i));
    return out;
  }
  std::vector<LATTICE> phases;
  std::vector<std::string> atoms, headers;
  std::vector<int32_t> ints;
};

// A set-up of two phases with atoms, reflections and two marked points, read once.
const char* const SetUp2 =
    "SM\n0\nSNP\n2\nSNPF\n2\nIPMA\n3 4\n"
    "ILP\n5.15367 5.21982 5.31867 90 99.199 90 14 2 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n"
    "IAP\nZr\n1 0.1 0.2 0.3 0.5 0 0 0 0 0 0\nNi\n1 0 0 0 0.5 0 0 0 0 0 0\n";

struct BadCase {
  const char* name;
  const char* text;     // read after SetUp2, warnings inhibited
  const char* message;  // shown exactly
  bool warning = false;  // the file is still read as a whole
};

const BadCase BadCases[] = {
    {"phase count 7", "SNP\n7\n", "Wrong number of phases (1..6)"},
    {"phase count text", "SNP\nthree\n", "N of phases: wrong data format"},
    {"peaks above the table", "SNPF\n1001\n", "Wrong number of peaks (0..1000)"},
    {"exponentials 5", "SNEF\n5\n", "Wrong number of exponentials (0..4)"},
    {"mode 4", "SM\n4\n", "Wrong Mode"},
    {"mode 1e300", "SM\n1e300\n", "Wrong Mode"},
    {"fewer model numbers", "IPMA\n3\n", "Less model numbers than peaks"},
    {"IS short", "IS\nzro2_counts.txt\n1 3 1 1024 305 740 25.0\n", "INI: Too little data in IS-command"},
    {"IS spectrum 0", "IS\nzro2_counts.txt\n0 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0 0 0\n",
     "INI: Wrong spectrum number in IS-command"},
    {"IS spectrum -3e9", "IS\nzro2_counts.txt\n-3e9 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0 0 0\n",
     "INI: Wrong spectrum number in IS-command"},
    {"IS missing file", "IS\nnone.txt\n1 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0 0 0\n", nullptr},
    {"IS channels past the table", "IS\nzro2_counts.txt\n1 3 1 40000 305 740 25 -1 64 75 7 4 7 0 5 0 0 0\n",
     "Wrong interval"},
    {"IES short", "IES\neffective.txt\n3 1 1024 1.0\n", "INI: Too few data in IS-command"},
    {"IV spectrum 9", "IV\nzro2_variance.txt\n9 3\n", "INI: Wrong data in IV-command"},
    {"IZW channels", "IZW\n1 0 40000\n", "INI: Wrong data in IZW-command"},
    {"IZW spectrum", "IZW\n5 400 410\n", "INI: Wrong data in IZW-command"},
    {"AT spectrum 0", "AT\n0 10 0.05\n", "INI: Wrong spectrum number in AT-command"},
    {"real model index 7", "IRM\n690 725 2 7 1.0 1\n", "Wrong peak model number"},
    {"real model spectrum 5", "IRM\n690 725 2 1 1.0 5\n", "Wrong data for real model"},
    {"special model type 11", "IESM\n1 11\n", "Wrong number for special model"},
    {"special model index -1", "IESM\n-1 4\n0.5\n", "Wrong number for special model"},
    {"ILP short phase", "ILP\n5 5 5 90 90 90 1 1 1 0\n", "INI: Too few data in ILP-command"},
    {"ILP 300 atoms", "ILP\n5 5 5 90 90 90 1 1 300 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "INI: Wrong space group or atom count for phase 1"},
    {"ILP edge 1e300", "ILP\n1e300 5 5 90 90 90 1 1 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "Wrong unit cell parameters"},
    {"ILP zero angle", "ILP\n5 5 5 90 0 90 1 1 1 0 0\n", "Error, cell angle=0"},
    // a = b = c with three angles of 120 (or 60, 60, 120) has no volume; 179.99 degrees of a
    // monoclinic beta next to nothing.
    {"ILP flat cell 120", "ILP\n5 5 5 120 120 120 1 1 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "Wrong unit cell parameters: the cell of phase 1 has no volume"},
    {"ILP flat cell 60", "ILP\n5 5 5 60 60 120 2 1 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "Wrong unit cell parameters: the cell of phase 1 has no volume"},
    {"ILP flat monoclinic", "ILP\n5 6 7 90 179.99 90 14 2 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "Wrong unit cell parameters: the cell of phase 1 has no volume"},
    {"ILP setting 9", "ILP\n5.15367 5.21982 5.31867 90 99.199 90 14 2 1 0 0\n4 4 4 90 90 90 225 9 1 0 0\n",
     "No setting 9 for 225, setting 1 taken", true},
    {"IAP atoms beyond the count",
     "IAP\nZr\n1 0.1 0.2 0.3 0.5 0 0 0 0 0 0\nNi\n1 0 0 0 0.5 0 0 0 0 0 0\n\nO\n1 0 0 0 0.5 0 0 0 0 0\nO\n1 0 0\n0 0.5 0 0 0 0 0\n \n",
     "INI: 2 atoms beyond the 1 of phase 2 passed over", true},
    {"SAP phase 9", "SAP\n9\n1 2 3 4 5 6 7 8 9 10 11 12\n", "Wrong anisotropic info"},
    {"SAP seven numbers", "SAP\n1 2 3 4 5 6 7\n", "Wrong anisotropic info"},
    {"SMP phase 1", "SMP\n1 2\n", "Wrong magnetic phase number"},
    {"SMM short", "SMM\n0.5\n", "INI: Too few data in SMM-command"},
    // Numbers that are no numbers, or not whole where a whole one is due.
    {"IAP inf coordinate", "IAP\nZr\n1 inf 0.2 0.3 0.5 0 0 0 0 0 0\nNi\n1 0 0 0 0.5 0 0 0 0 0 0\n", "Not a number: \"inf\""},
    {"IAP nan thermal", "IAP\nZr\n1 0.1 0.2 0.3 nan 0 0 0 0 0 0\nNi\n1 0 0 0 0.5 0 0 0 0 0 0\n", "Not a number: \"nan\""},
    {"IAP three numbers", "IAP\nZr\n1 0.1 0.2\nNi\n1 0 0 0 0.5 0 0 0 0 0 0\n",
     "INI: Too few data for atom 1 of phase 1 in IAP-command"},
    {"IAP last atom short", "IAP\nZr\n1 0.1 0.2 0.3 0.5 0 0 0 0 0 0\nNi\n1 0 0 0 0.5\n",
     "INI: Too few data for atom 1 of phase 2 in IAP-command"},
    {"ILP group 14.5", "ILP\n5.15367 5.21982 5.31867 90 99.199 90 14.5 2 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "INI: Wrong space group or atom count for phase 1"},
    {"ILP atoms 1.5", "ILP\n5.15367 5.21982 5.31867 90 99.199 90 14 2 1.5 0 0\n4 4 4 90 90 90 225 1 1 0 0\n",
     "INI: Wrong space group or atom count for phase 1"},
    {"ILP edge inf", "ILP\ninf 5 5 90 90 90 1 1 1 0 0\n4 4 4 90 90 90 225 1 1 0 0\n", "Not a number: \"inf\""},
    {"SNP 2.5", "SNP\n2.5\n", "Wrong number of phases (1..6)"},
    // An occupation below 0 is taken with a warning (a refined B below 0 is a result).
    {"IAP occupation -1", "IAP\nZr\n-1 0.1 0.2 0.3 -0.5 0 0 0 0 0 0\nNi\n1 0 0 0 0.5 0 0 0 0 0 0\n",
     "Warning, occupation below 0 for atom 1 of phase 1", true},
    // A good command after the bad one is read, and given back with the file.
    {"SNP after a missing file", "IS\nnone.txt\n1 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0 0 0\nSNP\n1\n", nullptr},
};

class IniBadInputTest : public IniTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(IniBadInputTest, ShowsItsMessageAndKeepsTheTables) {
  const BadCase& c = GetParam();
  ui.onUnexpected = [](const std::string&) {};
  InhibitWarnings = 1;
  Read(SetUp2);
  const Snapshot before;
  ui.Clear();
  ClearLog();
  Read(c.text, false);
  const std::string expected = c.message ? c.message : "No file " + WorkDir + "/none.txt";
  EXPECT_TRUE(Shown(expected)) << c.name;
  EXPECT_TRUE(Logged("file test.ini, line ")) << c.name;
  EXPECT_EQ(Snapshot().Differences(before), std::vector<std::string>{}) << c.name;
  EXPECT_EQ(IniDispatchTrace.size(), std::string(c.name).find(" after ") == std::string::npos ? 1u : 2u)
      << c.name << ": the block's value lines are consumed";
  EXPECT_EQ(DialogOk, c.warning ? 1 : 0) << c.name;
  if (c.warning) {
    EXPECT_EQ(IniFailure.count, 0) << c.name;
    if (std::strstr(c.text, "\n-1 ")) EXPECT_EQ(AtomTable[1][1].Occupation, -1.0);
    return;
  }
  EXPECT_GT(IniFailure.line, 1) << c.name;
  // The first error names the file's line ("three" is no number before it is no phase count).
  const std::string why = std::string(c.name) == "phase count text" ? "Not a number: \"three\"" : expected;
  EXPECT_TRUE(Shown("The Ini-file test.ini has not been read: line " + std::to_string(IniFailure.line) + ", " + why +
                    ". The model held before is kept"))
      << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, IniBadInputTest, ::testing::ValuesIn(BadCases),
                         [](const ::testing::TestParamInfo<BadCase>& p) {
                           std::string n = p.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

class IniCommandTest : public IniTest {};

TEST_F(IniCommandTest, ModeAndWidthCasesOfTheCommandDescriptions) {
  ui.onUnexpected = [](const std::string&) {};
  Read("SM\n-3\n");
  EXPECT_EQ(MainMode, 3);
  EXPECT_EQ(TrevoMode, 0);
  Read("SM\n3\nSWBM\n5 1\nSNPF\n2\nIPMA\n1 7\n");
  EXPECT_TRUE(Shown("Wrong Width Mode"));
  EXPECT_FALSE(Shown("Wrong Background Mode"));  // validated apart from the width law
  EXPECT_TRUE(Shown(" Error, wrong numbers  peak models"));
  // Both errors named; the file is not taken, the mode read before stays.
  EXPECT_EQ(TrevoMode, 0);
  EXPECT_EQ(MainMode, 3);
  EXPECT_EQ(BackgroundMode, 0);
  EXPECT_EQ(MarkedPointModels[1], 1);
  EXPECT_EQ(MarkedPointModels[2], 1);
}

// R9: a model block with a wrong index is consumed whole, so no "Wrong command " follows it.
TEST_F(IniCommandTest, WrongModelIndexConsumesItsBlock) {
  std::string block = "IERM\n* No of model\n 9\n96 4.8 1 20 0 0\n";
  for (int i = 0; i < 39; ++i) block += "1 1 1 1 1\n";
  const int32_t before = PeakModels[7]->ModelNumber;
  Read(block + "SNP\n2\n");
  EXPECT_TRUE(Shown("Most probably the real model is wrong"));
  EXPECT_FALSE(Shown("Wrong command "));
  ASSERT_FALSE(IniDispatchTrace.empty());
  EXPECT_EQ(IniDispatchTrace.back().key, "SNP");
  EXPECT_EQ(PhaseCount, 1);  // read, and given back with the file's error
  EXPECT_EQ(PeakModels[7]->ModelNumber, before);
  // A block cut short stores nothing, not even the header.
  Read("IEDRM\n2\n50 2.4 1 20 0 0\n1 1 1\n");
  EXPECT_EQ(PeakModels[3]->HalfPoints, PeakModelHalfPoints);
  EXPECT_EQ(PeakModels[3]->ModelNumber, ModelGauss);
}

// R3: GAIPA without a parameter array says so, passes its lines over and the reading goes on.
TEST_F(IniCommandTest, AtomNamesWithoutParameterArrayDoNotEndTheReading) {
  Read(std::string(SetUp2) + "GAIPA\nZR      7.1600\nNI     10.3000\nSNP\n1\n");
  EXPECT_TRUE(Shown("No atomic parameters yet initialized"));
  EXPECT_FALSE(Shown("Wrong command "));
  EXPECT_EQ(PhaseCount, 1);
  EXPECT_EQ(DialogOk, 1);
}

// R4: a name that is not found resets that atom, not the first atom of its phase; a name is kept
// as the line holds it (no blank put before a one-letter name).
TEST_F(IniCommandTest, UnmatchedNameResetsItsOwnAtom) {
  InhibitWarnings = 1;  // FindElement then only notes the name in the result file
  Read("SM\n2\nSNP\n1\nILP\n5 5 5 90 90 90 1 1 2 0 0\nIAP\nZr\n1 0.1 0.2 0.3 0.5 0 0 0 0 0 0\n"
       "Ni\n1 0.6 0.7 0.8 0.5 0 0 0 0 0 0\nGAIPA\nO       5.8030\nQQ\n");
  EXPECT_EQ(AtomTable[1][1].Name, "O");
  EXPECT_DOUBLE_EQ(AtomTable[1][1].ScatteringLength, 5.803);
  EXPECT_DOUBLE_EQ(AtomTable[1][1].X, 0.1);
  EXPECT_DOUBLE_EQ(AtomTable[2][1].X, 0.345678);  // ResetAtom's position
}

// R10: 777 in phase 1 of several is the one-phase case, and the analysis can still open.
TEST_F(IniCommandTest, NonStandardGroupInPhaseOneTakesGroupOne) {
  Read("SNP\n2\nILP\n5 5 5 90 90 90 777 1 0 0 0\n4 4 4 90 90 90 225 1 0 0 0\n");
  EXPECT_TRUE(Shown("777 reserved only for magnetic phase (>1)"));
  EXPECT_EQ(PhaseTable[1].SpaceGroup, 1);
  EXPECT_EQ(PhaseTable[2].SpaceGroup, 225);
  EXPECT_EQ(DialogOk, 1);
}

// The zero-angle stop in phase 2 is named, and the file is not taken: phase 1, set before the
// stop, and the failing phase 2 keep their old cells.
TEST_F(IniCommandTest, ZeroAngleStopsAfterTheEarlierPhases) {
  InhibitWarnings = 1;
  Read("SNP\n3\n");
  const LATTICE first = PhaseTable[1], second = PhaseTable[2], third = PhaseTable[3];
  Read("ILP\n5 5 5 90 90 90 1 1 0 0 0\n6 6 6 90 90 0 1 1 0 0 0\n7 7 7 90 90 90 1 1 0 0 0\n", false);
  EXPECT_TRUE(Shown("Error, cell angle=0"));
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseDifferences(PhaseTable[1], first), std::vector<std::string>{});
  EXPECT_EQ(PhaseDifferences(PhaseTable[2], second), std::vector<std::string>{});
  EXPECT_EQ(PhaseDifferences(PhaseTable[3], third), std::vector<std::string>{});
}

// An R group on hexagonal axes keeps its setting and its R lattice.
TEST_F(IniCommandTest, RhombohedralGroupOnHexagonalAxesKeepsItsSetting) {
  Read("ILP\n4.9 4.9 13.4 90 90 120 166 2 0 0 0\n");
  EXPECT_EQ(PhaseTable[1].Setting, 2);
  EXPECT_EQ(PhaseTable[1].CrystalSystem, 6);
  EXPECT_EQ(PhaseTable[1].LatticeType, 6);
  EXPECT_EQ(DialogOk, 1);
}

// IAP keeps the element's scattering length when the file gives none; ENSSA's 0 keeps it too.
TEST_F(IniCommandTest, ElementLengthIsKeptWithoutALengthInTheFile) {
  Read("ILP\n5 5 5 90 90 90 1 1 2 0 0\nIAP\nNi\n1 0 0 0 0.5 0 0 0 0 0\nFe\n1 0 0 0 0.5 0 0 0 0 0 0.5\n"
       "ENSSA\n0\n0.7\n");
  EXPECT_NEAR(AtomTable[1][1].ScatteringLength, 1.03, 0.01);  // ten numbers: the element's length
  EXPECT_EQ(AtomTable[2][1].Name, "FE");  // and the next name is not taken as the eleventh number
  EXPECT_DOUBLE_EQ(AtomTable[2][1].ScatteringLength, 0.7);
}

// R8: AT takes the spectrum number, the first two-theta and the step from its line.
TEST_F(IniCommandTest, AssignTwoThetasTakesItsLine) {
  SpectrumList[3]->FirstChannel = 1, SpectrumList[3]->LastChannel = 100;
  Read("AT\n3 20 0.1\n", false);
  EXPECT_EQ(SpectrumList[3]->AxisKind, AxisAngular);
  EXPECT_DOUBLE_EQ(SpectrumList[3]->X[100], 20 + 0.1 * 99);
}

// S1: the nine ions with a blank in the table name match and keep the table's name.
TEST_F(IniCommandTest, IonsWithBlankNamesMatch) {
  Read("SNP\n2\nILP\n5 5 5 90 90 90 1 1 0 0 0\n5 5 5 90 90 90 1 1 2 0 0\n"
       "SMP\n2 4\n0 0 1\nDUMMY\nv0\nu 4\n1.5\n2.5\n");
  EXPECT_EQ(AtomTable[1][2].IonName, "V 0");
  EXPECT_EQ(AtomTable[2][2].IonName, "U 4");
  EXPECT_NE(AtomTable[1][2].FormFactor[0], 0.0);
  EXPECT_DOUBLE_EQ(AtomTable[2][2].MagneticMoment, 2.5);
  EXPECT_EQ(PhaseTable[2].CrystalSystem, 4);
  EXPECT_DOUBLE_EQ(PhaseTable[2].MomentDirection[2], 1.0);
}

// The table's first and last ions are found; a name beyond the table leaves the atom without one. U5+
// <j0>: A a B b C c D of the International Tables (vol. C, table 4.4.5.1).
TEST_F(IniCommandTest, FirstAndLastIonsOfTheTable) {
  Read("SNP\n2\nILP\n5 5 5 90 90 90 1 1 0 0 0\n5 5 5 90 90 90 1 1 3 0 0\n"
       "SMP\n2 4\n0 0 1\nDUMMY\nu5\nsc0\nu6\n1\n2\n3\n");
  EXPECT_EQ(AtomTable[1][2].IonName + "|" + AtomTable[2][2].IonName + "|" + AtomTable[3][2].IonName, "U 5|SC0|");
  const double u5[7] = {0.3650, 19.8038, 3.2199, 6.2818, -2.6077, 5.3010, 0.0233};
  for (int32_t i = 0; i < 7; ++i) EXPECT_NEAR(AtomTable[1][2].FormFactor[i], u5[i], 1e-4) << i;
  EXPECT_NEAR(AtomTable[2][2].FormFactor[1], 90.0296, 1e-4);
  EXPECT_EQ(AtomTable[3][2].FormFactor[0], 0.0);
  EXPECT_DOUBLE_EQ(AtomTable[3][2].MagneticMoment, 3.0);
}

// THKL cuts the count to what the phase holds, and copies the cell and the reflections.
TEST_F(IniCommandTest, TakeHklsCopiesAtMostWhatThePhaseHolds) {
  ui.onUnexpected = [](const std::string&) {};
  Read(ReadWholeFile(IniDataFile("zro2.ini")).substr(0, ReadWholeFile(IniDataFile("zro2.ini")).find(".......STOP")) +
       "THKL\n500\n");
  const int32_t room = std::min(PhaseTable[1].ReflectionCount, TrevoReflectionCapacity);
  EXPECT_TRUE(Shown("Reflections of phase 1 cut to " + std::to_string(room)));
  EXPECT_EQ(TrevoPhases[1].ReflectionCount, room);
  EXPECT_EQ(TrevoPhases[1].Reflections[room].h, HklTable[room][1].h);
  EXPECT_NEAR(TrevoPhases[1].Volume, PhaseTable[1].Volume, 1e-9);
}

}  // namespace

// NSCA asks the user: Cancel leaves the spectrum alone; OK with "Normalize" alone divides spectrum 2
// by the effective spectrum over the channels both cover, as the normalisation itself does.
TEST_F(IniCommandTest, NormalizeCommandAsksAndNormalizesTheNamedSpectrum) {
  TSpectrum& e = *SpectrumList[0];
  TSpectrum& s = *SpectrumList[2];
  for (TSpectrum* sp : {&e, &s}) {
    sp->AxisKind = AxisTimeOfFlight, sp->ChanWidth = 4, sp->Delay = 0, sp->FirstChannel = 1, sp->LastChannel = 200;
    for (int32_t j = 1; j <= 200; ++j) sp->Y[j] = sp == &e ? 50.0 + j : 1000.0 + 3.0 * j, sp->E[j] = 1;
    sp->ComputeYRange();
  }
  const std::vector<double> before(s.Y + 1, s.Y + 201);
  ui.ExpectDialog("Spectrum 2").Cancel();
  Read("NSCA\n2\n", false);
  EXPECT_EQ(CurrentSpectrum, 2);
  EXPECT_EQ(std::vector<double>(s.Y + 1, s.Y + 201), before);

  ASSERT_TRUE(NormalizeByEffectiveSpectrum(2, 1, 200));
  const std::vector<double> expected(s.Y + 1, s.Y + 201);
  std::copy(before.begin(), before.end(), s.Y + 1);
  s.NormalizedFlag = 0;
  ui.ExpectDialog("Spectrum 2").Check(2, false).Ok();  // items count from 1
  Read("NSCA\n2\n", false);
  EXPECT_FALSE(Shown("Wrong command "));
  EXPECT_EQ(std::vector<double>(s.Y + 1, s.Y + 201), expected);
  EXPECT_NE(expected, before);
}

// IRM on an isolated Gaussian over a sloping background (the line through 5 channels at each end
// removes it, rsm 0 smooths nothing): in full widths the model is numpy's Gaussian. The maximum
// lands on a table point, up to half a step beside the true centre: the mean of the two sides
// cancels that shift to first order. Interpolating between channels errs by at most
// max|g''| h^2 / 8 = 1 / (8 sigma^2) = 0.008 of the maximum (sigma 4 channels, h 1 channel).
TEST_F(IniCommandTest, RealModelOfAGaussianIsTheGaussianInFullWidths) {
  TSpectrum& sp = *SpectrumList[1];
  const auto counts = GoldenRows("real_model_peak.txt", "ini");
  ASSERT_EQ(counts.size(), 1024u);
  for (int32_t c = 1; c <= 1024; ++c) sp.Y[c] = std::stod(counts[static_cast<size_t>(c - 1)][0]), sp.E[c] = 1;
  sp.FirstChannel = 1, sp.LastChannel = 1024;
  Read("IRM\n470 530 5 2 0 1\n", false);
  const TPeakModel& m = *PeakModels[3];
  ASSERT_EQ(m.ModelNumber, ModelReal);
  EXPECT_EQ(CurrentSpectrum, 1);
  const auto value = [&](double x) {
    double f = 0, slope = 0, curve = 0;
    m.ShapeValue(f, slope, curve, x);
    return f;
  };
  const auto truth = GoldenRows("real_model_shape.txt", "ini");
  ASSERT_EQ(truth.size(), 31u);
  for (const auto& row : truth) {
    const double x = std::stod(row[0]);
    EXPECT_NEAR((value(x) + value(-x)) / (2 * value(0)), std::stod(row[1]), 0.008) << "x = " << row[0];
  }
  VKEST_REQUIRE_PYTHON("numpy");
  const auto dir = TestTempPath("ini_real_model");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_ini_real_model_golden.py", dir.string()), 0);
  // Seedless closed forms: the same bytes.
  for (const char* name : {"real_model_peak.txt", "real_model_shape.txt"})
    EXPECT_EQ(ReadWholeFile(dir / name), ReadWholeFile(IniDataFile(name))) << name;
  std::filesystem::remove_all(dir);
}
