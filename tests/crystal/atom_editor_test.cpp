// The atom editor end to end with scripted answers: the memo of names, the viewing switch, the
// ion names and form factors, the copies to the next phase and the values it must leave alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include "core/elements.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/random.h"
#include "crystal/atom_editor.h"
#include "phase_setup.h"

namespace {
using Lines = std::vector<std::string>;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// The coefficients of the ion-table row of that name.
std::vector<double> IonRow(const std::string& name) {
  for (int32_t r = 1; r <= IonCount; ++r)
    if (IonTable[r].Name == name) return {IonTable[r].Coefficients, IonTable[r].Coefficients + 7};
  ADD_FAILURE() << "no ion " << name;
  return {};
}

class AtomEditor : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    NoCrystalInfo = 0;
    InhibitWarnings = 0;
    for (auto& f : ParametersPending) f = 0;
    for (int32_t k = 1; k <= 3; ++k) SetUpPhase(k, 1, 1, {4, 5, 6, 90, 90, 90});
  }
  // Atoms 1..n of phase k named as given, each with b, occupation 1 and the ion name cleared.
  static void Atoms(int32_t k, const Lines& names, double b = 1.0) {
    PhaseTable[k].AtomCount = static_cast<int32_t>(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      ATOM& a = AtomTable[i + 1][k];
      a = ATOM{};
      a.Name = names[i], a.ScatteringLength = b, a.Occupation = 1.0;
      a.X = 0.1 * double(i + 1), a.Y = 0.2, a.Z = 0.3;
    }
  }
  DialogScript& List(int32_t p, const std::string& memo) { return ui.ExpectDialog(ListCaption(p)).Memo(memo); }
  static std::string ListCaption(int32_t p) { return "Enter or Edit the atom list;   phase = " + std::to_string(p); }
  static std::string Title(int32_t j, const std::string& name) {
    return "Atom " + std::to_string(j) + "  " + name + "      Check atomic data.";
  }
  // The atom's dialog with "Skip further viewing" ticked.
  void Skip(int32_t j, const std::string& name) { ui.ExpectDialog(Title(j, name)).Check(1).Ok(); }
  static std::vector<double> Lengths(int32_t k) {
    std::vector<double> out;
    for (int32_t i = 1; i <= PhaseTable[k].AtomCount; ++i) out.push_back(AtomTable[i][k].ScatteringLength);
    return out;
  }
  Lines DialogCaptions() const {
    Lines out;
    for (const auto& d : ui.dialogs) out.push_back(d.caption);
    return out;
  }

private:
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount}, inhibit_{&InhibitWarnings, 1};
};

// "Mn=" a magnetic MN, blank lines skipped, C1 and O2- found as C and O; viewing switched off at
// atom 1 hides atoms 2 and 3; the copy to phase 2 shows there, whose first atom is shown again.
TEST_F(AtomEditor, MemoTableViewingAndTheChainOfPhases) {
  PhaseCount = 2;
  Atoms(1, {"fe"});
  AtomTable[1][1].MagneticFlag = 1;
  List(1, "Mn=\n\n c1 \nO2-\n\n").Check(1).Ok();  // copy all atoms to the next phase
  Skip(1, "MN ");
  ui.ExpectDialog(ListCaption(2)).Ok();
  ui.ExpectDialog(Title(1, "MN ")).Ok();
  ui.ExpectDialog(Title(2, "C1")).Ok();
  ui.ExpectDialog(Title(3, "O2-")).Ok();
  EditAtomList(0);

  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(HelpLineCount, AtomListHelp.count);
  EXPECT_EQ(ui.dialogs[0].Memo1.lines, Lines{"FE="});
  EXPECT_EQ(ui.dialogs[2].Memo1.lines, (Lines{"MN=", "C1", "O2-"}));
  const Lines list1 = DescribeDialog(ui.dialogs[0]);
  EXPECT_EQ(list1[0], "  Label1 \"Tick magnetic atoms by =  ,e.g. Mn=\"");
  EXPECT_EQ(list1[1], "  CheckListBox1 [ ]\"Copy all atoms to the next phase\" [ ]\"Make full atom set for the next "
                      "phase\" [ ]\"Copy magnetic atoms to next phase\" [ ]\"Make full magnetic set for next phase\" "
                      "[ ]\"Check and Edit magnetic form-factors\"");
  EXPECT_FALSE(ui.dialogs[2].CheckListBox1.visible);  // the last phase has no ticks
  EXPECT_EQ(ui.dialogs[1].Label5.caption, "Atom 1  MN       Check atomic data.");
  EXPECT_EQ(DescribeDialog(ui.dialogs[1]).back(), "  [OK] [Cancel] [Help]");
  EXPECT_EQ(ui.dialogs[1].StringGrid2.Cell(0, 10), "Scattering length=");

  for (int32_t k : {1, 2}) {
    ASSERT_EQ(PhaseTable[k].AtomCount, 3);
    EXPECT_EQ(AtomTable[1][k].Name + "|" + AtomTable[2][k].Name + "|" + AtomTable[3][k].Name, "MN |C1|O2-");
    EXPECT_EQ(AtomTable[1][k].MagneticFlag + 2 * AtomTable[2][k].MagneticFlag + 4 * AtomTable[3][k].MagneticFlag, 1);
    EXPECT_EQ(Lengths(k), (std::vector<double>{-0.375, 0.6648, 0.5805}));
  }
  EXPECT_THAT(LogLines(), Contains("   3 atom[s] set up, phase= 1"));
  EXPECT_THAT(LogLines(), Contains("   3 atom[s] set up, phase= 2"));
  EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), (std::vector<int>{1, 0, 0, 0}));
}

// The four copy ticks, alone and together, to a P1 phase 2 from P 1 21/c 1 (four positions).
TEST_F(AtomEditor, CopyTicksInTheirOrder) {
  struct Case { std::vector<int> ticks; const char* memo; int magnetic2; int count2; const char* msg; };
  const Case cases[] = {
      {{1}, "Fe=\nO", 0, 2, nullptr},
      {{2}, "Fe=\nO", 0, 8, nullptr},
      {{3}, "Fe=\nO", 1, 1, nullptr},
      {{3}, "Fe\nO", 1, 0, "No ticked magnetic atoms"},
      {{4}, "Fe=\nO", 1, 4, nullptr},
      {{1, 3}, "Fe=\nO", 1, 1, nullptr},  // the magnetic copy comes after the copy of all
      {{3}, "Fe=\nO", 0, 5, "Error, phase 2 not magnetic"},
      {{4}, "Fe=\nO", 0, 5, "Error, phase 2 not magnetic"},
  };
  PhaseCount = 2;
  for (const Case& c : cases) {
    SetUpPhase(1, 14, 2, {5, 6, 7, 90, 100, 90});
    SetUpPhase(2, 1, 1, {5, 6, 7, 90, 100, 90});
    Atoms(1, {"FE", "O"});
    Atoms(2, {"C", "C", "C", "C", "C"});
    PhaseModelFlags[2] = c.magnetic2;
    auto& list = List(1, c.memo);
    for (int t : c.ticks) list.Check(t);
    list.Ok();
    Skip(1, std::string(c.memo).starts_with("Fe=") ? "FE " : "FE");
    if (c.msg) ui.ExpectMessage(c.msg);
    const bool refused = c.msg && std::string(c.msg).starts_with("Error");
    if (!refused) ui.ExpectDialog(ListCaption(2)).Cancel();
    EditAtomList(0);
    EXPECT_EQ(DialogOk, 0);  // ended by the refusal or the Cancel of phase 2
    EXPECT_EQ(PhaseTable[2].AtomCount, c.count2) << c.ticks[0];
    if (!refused) {
      EXPECT_EQ(ui.LastDialog().Memo1.lines.size(), size_t(c.count2));
    }
    if (c.count2 == 8) {
      EXPECT_EQ(PhaseTable[2].OperationCount * 10 + PhaseTable[2].SpaceGroup, 11);  // made P1
    }
    EXPECT_EQ(PhaseTable[1].AtomCount, 2);  // phase 1 keeps its new list
    EXPECT_EQ(ParametersPending[0], 1);
    ui.Clear();
  }
}

TEST_F(AtomEditor, CoincidingAtomsNeedFullOccupationOnBoth) {
  for (double occ2 : {1.0, 0.5}) {
    Atoms(1, {"AL", "AL"});
    AtomTable[2][1].X = AtomTable[1][1].X;
    AtomTable[2][1].Occupation = occ2;
    List(1, "Al\nAl").Ok();
    Skip(1, "AL");
    EditAtomList(0);
    EXPECT_EQ(ui.Messages(), occ2 == 1.0 ? Lines{"Warning! Coinciding atom coordinates"} : Lines{}) << occ2;
    EXPECT_EQ(LogLines().back(), "   2 atom[s] set up, phase= 1");
    ui.Clear();
  }
}

// Ion texts and names: the plus signs and digits, blanks in the table's names, the question of
// an unknown ion and the charge limit.
TEST_F(AtomEditor, IonNamesAndFormFactorsOfAMagneticPhase) {
  PhaseModelFlags[1] = 1;
  Atoms(1, {"MN", "FE", "V", "Y", "U", "CO", "NI"});
  AtomTable[1][1].IonName = "MN3";
  AtomTable[1][1].MagneticFlag = 1;
  List(1, "Mn=\nFe=\nV=\nY=\nU=\nCo=\nNi=").Ok();
  ui.ExpectDialog(Title(1, "MN ")).Field(11, 1, "-4.5").Ok();
  ui.ExpectDialog(Title(2, "FE ")).Edit(1, "FE++").Ok();
  ui.ExpectDialog(Title(3, "V ")).Edit(1, "V+++").Ok();
  ui.ExpectDialog(Title(4, "Y ")).Ok();  // the atom's name: charge 0
  ui.ExpectDialog(Title(5, "U ")).Edit(1, "U++++").Ok();
  ui.ExpectDialog(Title(6, "CO ")).Edit(1, "CO+++++").Ok();
  ui.ExpectQuestion("Ion CO5 not found. Replace?", true);
  ui.ExpectDialog(Title(6, "CO ")).Edit(1, "CO++").Ok();
  ui.ExpectDialog(Title(7, "NI ")).Edit(1, "NI++++++").Ok();
  ui.ExpectMessage("Invalid ion name");
  ui.ExpectQuestion("Ion NI6 not found. Replace?", false);
  EditAtomList(0);

  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(ui.dialogs[1].Edit1.text, "MN+++");
  EXPECT_EQ(ui.dialogs[4].Edit1.text, "Y ");
  EXPECT_EQ(ui.dialogs[7].Edit1.text, "CO+++++");  // shown again as typed
  const Lines magnetic = DescribeDialog(ui.dialogs[1]);
  EXPECT_EQ(Lines(magnetic.begin(), magnetic.begin() + 4),
            (Lines{"  Label1 \" Enter ion name (e.g. MN+++)\"", "  Label5 \"Atom 1  MN       Check atomic data.\"",
                   "  Label6 \" The phase is magnetic. \"", "  Label7 \"Antiferromagnetic moments should be negative\""}));
  EXPECT_EQ(ui.dialogs[1].StringGrid2.Cell(0, 10), "Magnetic moment");

  const Lines ions = {"MN3", "FE2", "V3", "Y0", "U4", "CO2", "NI6"};
  const char* rows[] = {"MN3", "FE2", "V 3", "Y 0", "U 4", "CO2"};
  for (int32_t j = 1; j <= 7; ++j) {
    const ATOM& a = AtomTable[j][1];
    EXPECT_EQ(a.IonName, ions[j - 1]);
    EXPECT_EQ(a.ScatteringLength, 0.0);  // a magnetic phase scatters through its moments
    const std::vector<double> want = j <= 6 ? IonRow(rows[j - 1]) : std::vector<double>(7, 0.0);
    EXPECT_EQ(std::vector<double>(a.FormFactor, a.FormFactor + 7), want) << j;
  }
  EXPECT_EQ(AtomTable[1][1].MagneticMoment, -4.5);
  // periodictable's <j0> of V3+ (its data hold single-precision values, 19.336399 for 19.3364).
  const double v3[7] = {0.3598, 19.3364, 0.6632, 7.6172, -0.3064, 0.0296, 0.2835};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(AtomTable[3][1].FormFactor[i], v3[i], 1e-5) << i;
}

// The form-factor tick of phase 1 opens the coefficients of phase 1's atoms and, kept, of the
// last phase's; a hidden atom shows none.
TEST_F(AtomEditor, FormFactorDialogFollowsTheTickAndViewing) {
  PhaseCount = 2;
  PhaseModelFlags[1] = PhaseModelFlags[2] = 1;
  Atoms(1, {"FE", "FE"});
  Atoms(2, {"FE"});
  for (int k : {1, 2}) AtomTable[1][k].IonName = AtomTable[2][k].IonName = "FE3";
  List(1, "Fe=\nFe=").Check(5).Ok();
  ui.ExpectDialog(Title(1, "FE ")).Check(1).Ok();  // viewing off: no coefficients of atom 1 either
  ui.ExpectDialog(ListCaption(2)).Ok();
  ui.ExpectDialog(Title(1, "FE")).Ok();
  ui.ExpectDialog("Enter form-factor coefficients").Field(7, 1, "0.5").Ok();
  EditAtomList(0);
  ASSERT_EQ(DialogCaptions().size(), 5u);
  EXPECT_EQ(ui.dialogs[4].StringGrid2.Cell(0, 6), "  D =");
  EXPECT_EQ(ui.dialogs[4].StringGrid1.Cell(0, 0), "0.397200");  // FE3's A in 8 characters
  std::vector<double> want = IonRow("FE3");
  EXPECT_EQ(std::vector<double>(AtomTable[1][1].FormFactor, AtomTable[1][1].FormFactor + 7), want);
  want[6] = 0.5;  // the others as the table holds them, not as shown
  EXPECT_EQ(std::vector<double>(AtomTable[1][2].FormFactor, AtomTable[1][2].FormFactor + 7), want);
}

// A length the user gave survives a re-edit; a renamed atom, a slot beyond the old list and the
// 1.0 placeholder get aluminium's.
TEST_F(AtomEditor, UserScatteringLengthsSurviveAndPlaceholdersAreFilled) {
  Atoms(1, {"AL", "AL", "FE", "AL"});
  AtomTable[1][1].ScatteringLength = 0.2;
  AtomTable[3][1].ScatteringLength = 0.945;
  AtomTable[4][1].ScatteringLength = 0.7;
  PhaseTable[1].AtomCount = 3;
  for (int pass = 0; pass < 2; ++pass) {
    List(1, "Al\nAl\nAl\nAl").Ok();
    Skip(1, "AL");
    EditAtomList(0);
    EXPECT_EQ(Lengths(1), (std::vector<double>{0.2, 0.3449, 0.3449, 0.3449})) << pass;
  }
  // A length typed as 0 is warned about.
  List(1, "Al\nAl").Ok();
  ui.ExpectDialog(Title(1, "AL")).Ok();
  ui.ExpectDialog(Title(2, "AL")).Field(11, 1, "0").Ok();
  ui.ExpectMessage("Warning, scattering amplitude = 0");
  EditAtomList(0);
  EXPECT_EQ(Lengths(1), (std::vector<double>{0.2, 0.0}));
}

TEST_F(AtomEditor, AtMost200AtomsFromAnyNumberOfLines) {
  std::string memo;
  for (int i = 0; i < 250; ++i) memo += i % 2 ? "O\n" : "Al\n\n";
  List(1, memo).Ok();
  ui.ExpectMessage("Error, atoms: 250 cut to 200");
  Skip(1, "AL");
  EditAtomList(0);
  EXPECT_EQ(PhaseTable[1].AtomCount, 200);
  EXPECT_EQ(AtomTable[200][1].Name, "O");
  EXPECT_EQ(LogLines().back(), " 200 atom[s] set up, phase= 1");
}

// Mode 1 draws X, Y, Z of each atom in turn from Random01; the draws stay as they are through
// the shown dialog and the hidden ones.
TEST_F(AtomEditor, RandomCoordinatesReplayTheGenerator) {
  ASSERT_TRUE(SetRandomSeeds(4711, 815));
  std::vector<double> want;
  for (int i = 0; i < 9; ++i) want.push_back(Random01());
  ASSERT_TRUE(SetRandomSeeds(4711, 815));
  List(1, "Al\nO\nC").Ok();
  Skip(1, "AL");
  EditAtomList(1);
  std::vector<double> got;
  for (int j = 1; j <= 3; ++j) got.insert(got.end(), {AtomTable[j][1].X, AtomTable[j][1].Y, AtomTable[j][1].Z});
  EXPECT_EQ(got, want);
}

// Viewing is not editing: unchanged cells keep every bit, shown or hidden; a changed cell is
// read; a cell that holds no number cancels the chain and leaves that atom as it was.
TEST_F(AtomEditor, UnchangedCellsKeepTheirValuesBitForBit) {
  Atoms(1, {"AL", "AL", "AL"}, 0.3449);
  for (int j = 1; j <= 3; ++j) {
    ATOM& a = AtomTable[j][1];
    a.X = 0.123456789, a.Y = 1.0 / 3, a.Z = 2.0 / 3, a.T11 = 0.123456789, a.T23 = -1e-9, a.Occupation = 0.987654321;
  }
  const ATOM before = AtomTable[3][1];
  List(1, "Al\nAl\nAl").Ok();
  ui.ExpectDialog(Title(1, "AL")).Field(2, 1, "0.25").Ok();
  ui.ExpectDialog(Title(2, "AL")).Check(1).Ok();
  EditAtomList(0);
  EXPECT_EQ(ui.dialogs[1].StringGrid1.Cell(0, 1), "0.123457");
  const auto values = [](const ATOM& a) { return std::vector<double>{a.Occupation, a.X, a.Y, a.Z, a.T11, a.T23, a.ScatteringLength}; };
  std::vector<double> want = values(before);
  EXPECT_EQ(values(AtomTable[3][1]), want);  // hidden
  EXPECT_EQ(values(AtomTable[2][1]), want);  // shown
  want[1] = 0.25;
  EXPECT_EQ(values(AtomTable[1][1]), want);

  List(1, "Al\nAl\nAl").Ok();
  ui.ExpectDialog(Title(1, "AL")).Field(3, 1, "0.3x").Ok();
  EditAtomList(0);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(AtomTable[1][1].Y, 1.0 / 3);
}

// Cancel ends the chain; what was stored stays; without phase information nothing is asked.
TEST_F(AtomEditor, CancelAndRefusal) {
  NoCrystalInfo = 1;
  ui.ExpectMessage("Error, no phase information");
  EditAtomList(0);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_TRUE(ui.dialogs.empty());

  NoCrystalInfo = 0;
  Atoms(1, {"AL", "AL"});
  PhaseTable[1].AtomCount = 1;
  List(1, "O\nC").Ok();
  ui.ExpectDialog(Title(1, "O")).Field(1, 1, "0.5").Ok();
  ui.ExpectDialog(Title(2, "C")).Field(1, 1, "0.5").Cancel();
  EditAtomList(0);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseTable[1].AtomCount, 2);  // the list confirmed is kept
  EXPECT_EQ(AtomTable[1][1].Occupation, 0.5);
  EXPECT_EQ(AtomTable[2][1].Occupation, 1.0);
  EXPECT_EQ(ParametersPending[0], 1);  // the layout of the parameters changed
  EXPECT_THAT(LogLines(), Not(Contains(HasSubstr("atom[s] set up"))));
}

// Names are upper-cased in Latin and Cyrillic and stay valid UTF-8 in the memo.
TEST_F(AtomEditor, LatinAndCyrillicNamesUpperCased) {
  List(1, "fe\nжелезо").Ok();
  ui.QueueAnswer(true);  // "No Mendeleev match for ... Ignore?"
  Skip(1, "FE");
  EditAtomList(0);
  EXPECT_EQ(AtomTable[2][1].Name, "ЖЕЛЕЗО");
  ui.ExpectDialog(ListCaption(1)).Cancel();
  EditAtomList(0);
  EXPECT_EQ(ui.LastDialog().Memo1.lines, (Lines{"FE", "ЖЕЛЕЗО"}));
}

}  // namespace
