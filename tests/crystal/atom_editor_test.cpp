// The atom editor end to end with scripted answers: the memo of names, the viewing switch, the
// ion names and form factors, the copies to the next phase and the values it must leave alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include "core/elements.h"
#include "core/help_texts.h"
#include "core/random.h"
#include "crystal/atom_editor.h"
#include "crystal/phase_editor_setup.h"
#include "support/golden_files.h"

namespace {
using Lines = std::vector<std::string>;
using Values = std::vector<double>;

// The coefficients of the ion-table row of that name.
Values IonRow(const std::string& name) {
  for (int32_t r = 1; r <= IonCount; ++r)
    if (IonTable[r].Name == name) return {IonTable[r].Coefficients, IonTable[r].Coefficients + 7};
  ADD_FAILURE() << "no ion " << name;
  return {};
}

class AtomEditor : public CrystalDialogTest {
protected:
  void SetUp() override {
    CrystalDialogTest::SetUp();
    NoCrystalInfo = 0;
    for (int32_t k = 1; k <= 3; ++k) SetUpPhase(k, 1, 1, {4, 5, 6, 90, 90, 90});
  }
  // Atoms 1..n of phase k named as given, each with length b and occupation 1.
  static void Atoms(int32_t k, const Lines& names, double b = 1.0) {
    PhaseTable[k].AtomCount = static_cast<int32_t>(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      ATOM& a = AtomTable[i + 1][k] = ATOM{};
      a.Name = names[i], a.ScatteringLength = b, a.Occupation = 1.0;
      a.X = 0.1 * double(i + 1), a.Y = 0.2, a.Z = 0.3;
    }
  }
  DialogScript& List(int32_t p, const std::string& memo = "") {
    auto& d = ui.ExpectDialog("Enter or Edit the atom list;   phase = " + std::to_string(p));
    return memo.empty() ? d : d.Memo(memo);
  }
  DialogScript& Atom(int32_t j, const std::string& name) {
    return ui.ExpectDialog("Atom " + std::to_string(j) + "  " + name + "      Check atomic data.");
  }
  // The atom's dialog with "Skip further viewing" ticked.
  void Skip(int32_t j, const std::string& name) { Atom(j, name).Check(1).Ok(); }
  static Values Lengths(int32_t k) {
    Values out;
    for (int32_t i = 1; i <= PhaseTable[k].AtomCount; ++i) out.push_back(AtomTable[i][k].ScatteringLength);
    return out;
  }
};

// "Mn=" a magnetic MN, blank lines skipped, C1 and O2- found as C and O; viewing switched off at
// atom 1 hides atoms 2 and 3; the copy to phase 2 shows there, whose first atom is shown again.
TEST_F(AtomEditor, MemoTableViewingAndTheChainOfPhases) {
  PhaseCount = 2;
  Atoms(1, {"fe"});
  AtomTable[1][1].MagneticFlag = 1;
  List(1).Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines, Lines{"FE="}); }).Memo("Mn=\n\n c1 \nO2-\n\n").Check(1).Ok();
  Skip(1, "MN ");
  List(2).Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines, (Lines{"MN=", "C1", "O2-"})); }).Ok();
  Atom(1, "MN ").Ok();
  Atom(2, "C1").Ok();
  Atom(3, "O2-").Ok();
  EditAtomList(0);
  EXPECT_EQ(std::tuple(DialogOk, HelpLineCount, Pending()), std::tuple(1, AtomListHelp.count, std::vector{1, 0, 0, 0}));
  for (int32_t k : {1, 2}) {
    ASSERT_EQ(PhaseTable[k].AtomCount, 3);
    EXPECT_EQ(AtomTable[1][k].Name + "|" + AtomTable[2][k].Name + "|" + AtomTable[3][k].Name, "MN |C1|O2-");
    EXPECT_EQ(AtomTable[1][k].MagneticFlag + 2 * AtomTable[2][k].MagneticFlag + 4 * AtomTable[3][k].MagneticFlag, 1);
    EXPECT_EQ(Lengths(k), (Values{-0.375, 0.6648, 0.5805}));  // b_c / 10 of Mn, C, O
    EXPECT_THAT(LogLines(), ::testing::Contains("   3 atom[s] set up, phase= " + std::to_string(k)));
  }
}

// The four copy ticks, alone and together, to a P1 phase 2 from P 1 21/c 1 (four positions);
// phase 2 then cancelled. Ticks, memo, phase 2 magnetic, its atoms after, message.
TEST_F(AtomEditor, CopyTicksInTheirOrder) {
  const std::tuple<std::vector<int>, const char*, int, int, std::string> cases[] = {
      {{1}, "Fe=\nO", 0, 2, ""}, {{2}, "Fe=\nO", 0, 8, ""}, {{3}, "Fe=\nO", 1, 1, ""}, {{4}, "Fe=\nO", 1, 4, ""},
      {{3}, "Fe\nO", 1, 0, "No ticked magnetic atoms"}, {{3}, "Fe=\nO", 0, 5, "Error, phase 2 not magnetic"},
      {{4}, "Fe=\nO", 0, 5, "Error, phase 2 not magnetic"},
      {{1, 3}, "Fe=\nO", 1, 1, ""}};  // the magnetic copy comes after the copy of all
  PhaseCount = 2;
  for (const auto& [ticks, memo, magnetic2, count2, message] : cases) {
    SCOPED_TRACE(ticks[0]);
    SetUpPhase(1, 14, 2, {5, 6, 7, 90, 100, 90});
    SetUpPhase(2, 1, 1, {5, 6, 7, 90, 100, 90});
    Atoms(1, {"FE", "O"});
    Atoms(2, {"C", "C", "C", "C", "C"});
    PhaseModelFlags[2] = magnetic2;
    auto& list = List(1, memo);
    for (int t : ticks) list.Check(t);
    list.Ok();
    Skip(1, memo[2] == '=' ? "FE " : "FE");
    if (!message.empty()) ui.ExpectMessage(message);
    if (!message.starts_with("Error")) List(2).Cancel();
    EditAtomList(0);
    EXPECT_EQ(std::tuple(DialogOk, PhaseTable[2].AtomCount, PhaseTable[1].AtomCount), std::tuple(0, count2, 2));
    EXPECT_EQ(ParametersPending[0], 1);
  }
}

// Coinciding atoms are reported only when both are fully occupied.
TEST_F(AtomEditor, CoincidingAtomsNeedFullOccupationOnBoth) {
  for (double occ2 : {1.0, 0.5}) {
    ui.Clear();
    Atoms(1, {"AL", "AL"});
    AtomTable[2][1].X = AtomTable[1][1].X;
    AtomTable[2][1].Occupation = occ2;
    List(1, "Al\nAl").Ok();
    Skip(1, "AL");
    EditAtomList(0);
    EXPECT_EQ(ui.Messages(), occ2 == 1.0 ? Lines{"Warning! Coinciding atom coordinates"} : Lines{}) << occ2;
  }
}

// Ion texts: plus signs and digits, blanks in the table's names ("V 3", "Y 0", "U 4"), the
// question for an unknown ion (Yes shows the atom again) and the charge limit.
TEST_F(AtomEditor, IonNamesAndFormFactorsOfAMagneticPhase) {
  PhaseModelFlags[1] = 1;
  Atoms(1, {"MN", "FE", "V", "Y", "U", "CO", "NI"});
  AtomTable[1][1].IonName = "MN3";
  const auto shows = [](const std::string& text) {
    return [text](TForm2& f) { EXPECT_EQ(f.Edit1.text, text); };
  };
  List(1, "Mn=\nFe=\nV=\nY=\nU=\nCo=\nNi=").Ok();
  Atom(1, "MN ").Inspect(shows("MN+++")).Field(11, 1, "-4.5").Ok();
  Atom(2, "FE ").Edit(1, "FE++").Ok();
  Atom(3, "V ").Edit(1, "V+++").Ok();
  Atom(4, "Y ").Ok();  // the atom's name: charge 0
  Atom(5, "U ").Edit(1, "U++++").Ok();
  Atom(6, "CO ").Edit(1, "CO+++++").Ok();
  ui.ExpectQuestion("Ion CO5 not found. Replace?", true);
  Atom(6, "CO ").Inspect(shows("CO+++++")).Edit(1, "CO++").Ok();
  Atom(7, "NI ").Edit(1, "NI++++++").Ok();
  ui.ExpectMessage("Invalid ion name");
  ui.ExpectQuestion("Ion NI6 not found. Replace?", false);
  EditAtomList(0);
  EXPECT_EQ(std::tuple(DialogOk, AtomTable[1][1].MagneticMoment), std::tuple(1, -4.5));
  const char* ions[] = {"MN3", "FE2", "V3", "Y0", "U4", "CO2", "NI6"};
  const char* rows[] = {"MN3", "FE2", "V 3", "Y 0", "U 4", "CO2"};
  for (int32_t j = 1; j <= 7; ++j) {
    const ATOM& a = AtomTable[j][1];
    EXPECT_EQ(std::tuple(a.IonName, a.ScatteringLength), std::tuple(ions[j - 1], 0.0));  // moments scatter
    EXPECT_EQ(Values(a.FormFactor, a.FormFactor + 7), j <= 6 ? IonRow(rows[j - 1]) : Values(7, 0.0)) << j;
  }
  // periodictable's <j0> of V3+ (its data hold single-precision values, 19.336399 for 19.3364).
  const double v3[7] = {0.3598, 19.3364, 0.6632, 7.6172, -0.3064, 0.0296, 0.2835};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(AtomTable[3][1].FormFactor[i], v3[i], 1e-5) << i;
}

// The form-factor tick of phase 1 opens the coefficients of phase 1's atoms and, kept, of the
// last phase's; a hidden atom shows none; unchanged coefficients keep the table's values.
TEST_F(AtomEditor, FormFactorDialogFollowsTheTickAndViewing) {
  PhaseCount = 2;
  PhaseModelFlags[1] = PhaseModelFlags[2] = 1;
  Atoms(1, {"FE", "FE"});
  Atoms(2, {"FE"});
  for (int k : {1, 2}) AtomTable[1][k].IonName = AtomTable[2][k].IonName = "FE3";
  List(1, "Fe=\nFe=").Check(5).Ok();
  Skip(1, "FE ");  // viewing off: no coefficients of atom 1 either
  List(2).Ok();
  Atom(1, "FE").Ok();
  ui.ExpectDialog("Enter form-factor coefficients").Field(7, 1, "0.5").Ok();
  EditAtomList(0);
  Values want = IonRow("FE3");
  EXPECT_EQ(Values(AtomTable[1][1].FormFactor, AtomTable[1][1].FormFactor + 7), want);
  want[6] = 0.5;
  EXPECT_EQ(Values(AtomTable[1][2].FormFactor, AtomTable[1][2].FormFactor + 7), want);
}

// A length the user gave survives a re-edit with viewing skipped; a renamed atom, a slot beyond
// the old list and the 1.0 placeholder get aluminium's; a length typed as 0 is warned about.
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
    EXPECT_EQ(Lengths(1), (Values{0.2, 0.3449, 0.3449, 0.3449})) << pass;
  }
  List(1, "Al\nAl").Ok();
  Atom(1, "AL").Ok();
  Atom(2, "AL").Field(11, 1, "0").Ok();
  ui.ExpectMessage("Warning, scattering amplitude = 0");
  EditAtomList(0);
  EXPECT_EQ(Lengths(1), (Values{0.2, 0.0}));
}

TEST_F(AtomEditor, AtMost200AtomsFromAnyNumberOfLines) {
  std::string memo;
  for (int i = 0; i < 250; ++i) memo += i % 2 ? "O\n" : "Al\n\n";
  List(1, memo).Ok();
  ui.ExpectMessage("Error, atoms: 250 cut to 200");
  Skip(1, "AL");
  EditAtomList(0);
  EXPECT_EQ(std::tuple(PhaseTable[1].AtomCount, AtomTable[200][1].Name), std::tuple(200, "O"));
  EXPECT_EQ(LogLines().back(), " 200 atom[s] set up, phase= 1");
}

// Mode 1 draws X, Y, Z of each atom in turn from Random01; the draws stay as they are through
// the shown dialog and the hidden ones.
TEST_F(AtomEditor, RandomCoordinatesReplayTheGenerator) {
  ASSERT_TRUE(SetRandomSeeds(4711, 815));
  Values want, got;
  for (int i = 0; i < 9; ++i) want.push_back(Random01());
  ASSERT_TRUE(SetRandomSeeds(4711, 815));
  List(1, "Al\nO\nC").Ok();
  Skip(1, "AL");
  EditAtomList(1);
  for (int j = 1; j <= 3; ++j) got.insert(got.end(), {AtomTable[j][1].X, AtomTable[j][1].Y, AtomTable[j][1].Z});
  EXPECT_EQ(got, want);
}

// Viewing is not editing: unchanged cells keep every bit, shown or hidden; a changed cell is
// read; a cell that holds no number cancels the chain and leaves that atom as it was. Cancel keeps
// what was confirmed before, and without phase information nothing is asked.
TEST_F(AtomEditor, UnchangedCellsKeepTheirValuesAndCancelKeepsWhatWasConfirmed) {
  Atoms(1, {"AL", "AL", "AL"}, 0.3449);
  for (int j = 1; j <= 3; ++j) {
    ATOM& a = AtomTable[j][1];
    a.X = 0.123456789, a.Y = 1.0 / 3, a.T23 = -1e-9, a.Occupation = 0.987654321;
  }
  const auto values = [](int j) {
    const ATOM& a = AtomTable[j][1];
    return Values{a.Occupation, a.X, a.Y, a.T23, a.ScatteringLength};
  };
  Values want = values(3);
  List(1, "Al\nAl\nAl").Ok();
  Atom(1, "AL").Field(2, 1, "0.25").Ok();
  Skip(2, "AL");
  EditAtomList(0);
  EXPECT_EQ(values(3), want);  // hidden
  EXPECT_EQ(values(2), want);  // shown
  want[1] = 0.25;
  EXPECT_EQ(values(1), want);

  LogFile.RewriteToMemory("log");
  List(1, "Al\nAl\nAl").Ok();
  Atom(1, "AL").Field(1, 1, "0.5").Ok();
  ui.ExpectDialog("Atom 2  AL").Field(3, 1, "0.3x").Press(1).Inspect([](TForm2& f) {
    EXPECT_EQ(f.StringGrid1.Cell(0, 2), "0.3x");  // still open with the text as typed
  }).Cancel();
  ui.ExpectMessage("Error, Y: \"0.3x\" is not a number");
  EditAtomList(0);
  EXPECT_EQ(std::tuple(DialogOk, AtomTable[1][1].Occupation, AtomTable[2][1].Y), std::tuple(0, 0.5, 1.0 / 3));
  EXPECT_EQ(LogLines(), Lines{});  // no count line for a chain cancelled
  NoCrystalInfo = 1;
  ui.ExpectMessage("Error, no phase information");
  EditAtomList(0);
}

// The caption's site multiplicity is that of the position typed into the dialog, not of the
// random atom it opened with: gemmi's multiplicities (the site-symmetry golden) row by row.
TEST_F(AtomEditor, CaptionMultiplicityFollowsTheTypedPosition) {
  auto caption = [](const std::string& m) { return "site multiplicity (" + m + " here)"; };
  int32_t checked = 0;
  for (const Tokens& row : GoldenRows("site_symmetry_golden.txt", "crystal")) {
    const int32_t group = std::stoi(row[1]);
    if (!(group == 221 || group == 225 || group == 194 || group == 186) || std::stoi(row[2]) != 1) continue;
    SCOPED_TRACE(row[0]);
    const double c = group >= 195 ? 5.43 : 4.0;
    SetUpPhase(1, group, 1, {c, c, group >= 195 ? c : 6.0, 90, 90, group >= 195 ? 90.0 : 120.0});
    Atoms(1, {"O"});
    AtomTable[1][1].X = 0.11, AtomTable[1][1].Y = 0.27, AtomTable[1][1].Z = 0.38;  // general
    List(1).Ok();
    const std::string general = group == 221 ? "48" : group == 225 ? "192" : group == 194 ? "24" : "12";
    Atom(1, "O")
        .Inspect([&](TForm2& f) { EXPECT_THAT(f.caption, ::testing::HasSubstr(caption(general))); })
        .Field(2, 1, row[3]).Field(3, 1, row[4])
        .Inspect([&](TForm2& f) {  // z not typed yet: x, y with the old z
          if (row[5] != "0.38") {
            EXPECT_THAT(f.caption, ::testing::Not(::testing::HasSubstr(caption(row[6]))));
          }
        })
        .Field(4, 1, row[5])
        .Inspect([&](TForm2& f) { EXPECT_THAT(f.caption, ::testing::HasSubstr(caption(row[6]))); })
        .Field(4, 1, "0.3x")  // not a position: the caption stays
        .Inspect([&](TForm2& f) { EXPECT_THAT(f.caption, ::testing::HasSubstr(caption(row[6]))); })
        .Field(4, 1, row[5]).Ok();
    EditAtomList(0);
    EXPECT_EQ(AtomTable[1][1].Z, std::stod(row[5]));
    ++checked;
  }
  EXPECT_EQ(checked, 14);
}

// Names are upper-cased in Latin and Cyrillic and stay valid UTF-8 in the memo.
TEST_F(AtomEditor, LatinAndCyrillicNamesUpperCased) {
  List(1, "fe\nжелезо").Ok();
  ui.QueueAnswer(true);  // "No Mendeleev match for ... Ignore?"
  Skip(1, "FE");
  List(1).Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines, (Lines{"FE", "ЖЕЛЕЗО"})); }).Cancel();
  EditAtomList(0);
  EditAtomList(0);
  EXPECT_EQ(AtomTable[2][1].Name, "ЖЕЛЕЗО");
}

}  // namespace
