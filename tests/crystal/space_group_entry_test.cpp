// Non-standard groups typed on the screen or chosen by name, against gemmi's operations
// (tools/gen_test_space_groups.py) and against the space-group table; bad data changes nothing.
#include <gtest/gtest.h>
#include <functional>
#include "core/dialog_toolkit.h"
#include "crystal/phase_editor_setup.h"
#include "crystal/space_group_entry.h"

namespace {

using Lines = std::vector<std::string>;

const char* const GoldenFile = "test_space_groups_golden.txt";

class SpaceGroupEntry : public CrystalDialogTest {
protected:
  void SetUp() override {
    CrystalDialogTest::SetUp();
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}));
  }
  // The counts dialog with the numbers of translations and transformations typed in.
  DialogScript& Counts(const char* translations, const char* operations) {
    return ui.ExpectDialog("Enter space group info").Field(3, 1, translations).Field(4, 1, operations);
  }
  void Memo(const char* text) { ui.ExpectDialog("Enter strings with data").Memo(text).Ok(); }
};

}  // namespace

// P 1 21/n 1 typed in the table's convention (the proper half, the inversion added by the flag)
// gives gemmi's four general positions.
TEST_F(SpaceGroupEntry, ScreenEntryOfP21nGivesGemmisPositions) {
  Counts("0", "2").Field(1, 1, "2").Field(2, 1, "2").Radio(2).Ok();
  Memo("x, y, z\n-x+0.5, y+0.5, -z+0.5");
  EnterNonStandardGroup(1);
  ASSERT_EQ(DialogOk, 1);
  ASSERT_EQ(GoldenOperationKeys(GoldenFile, "P21/N").size(), 4u);
  EXPECT_EQ(OperationKeys(PhaseTable[1]), GoldenOperationKeys(GoldenFile, "P21/N"));
}

// Every table group with thirds or sixths, confirmed unchanged in both dialogs, keeps the table's
// centrings and operations (the memo is preset in full precision; 2 decimals would give 0.33).
TEST_F(SpaceGroupEntry, ThirdsAndSixthsSurviveAnUnchangedMemo) {
  for (int n : {144, 145, 151, 152, 153, 154, 169, 170, 171, 172, 173, 178, 179, 180, 181, -146, -148}) {
    SCOPED_TRACE(n);
    ui.Clear();
    ASSERT_TRUE(SetUpPhase(1, std::abs(n), n < 0 ? 2 : 1, {3, 3, 5, 90, 90, 120}));
    const LATTICE table = PhaseTable[1];
    ui.ExpectDialog("Enter space group info").Ok();
    ui.ExpectDialog("Enter strings with data").Ok();
    EnterNonStandardGroup(1);
    ASSERT_EQ(DialogOk, 1);
    const LATTICE& g = PhaseTable[1];
    for (const std::string& field : PhaseDifferences(g, table))
      EXPECT_TRUE(field == "Translations" || field == "CentringVectors") << field;
    for (int i = 0; i < 3; ++i) {
      for (int o = 1; o <= table.OperationCount; ++o) EXPECT_NEAR(g.Translations[i][o], table.Translations[i][o], 1e-9);
      for (int v = 1; v <= 3; ++v) EXPECT_NEAR(g.CentringVectors[i][v], table.CentringVectors[i][v], 1e-9);
    }
  }
}

// A bad line, bad counts or Cancel: the phase stays exactly as it was.
TEST_F(SpaceGroupEntry, BadDataChangesNothing) {
  const std::string wrong = "Wrong space group data";
  const std::pair<std::function<void()>, Lines> cases[] = {
      {[&] { Counts("0", "3").Ok(); Memo("x,y,z\n-x,-y,z\n-y,x"); }, {"Poor syntax= -Y X", wrong}},
      {[&] { Counts("0", "2").Ok(); Memo("x,y,z\n-x,-y,z+1/2"); }, {"Poor syntax= -X -Y,Z+1/2", wrong}},
      {[&] { Counts("1", "1").Ok(); Memo("0.5, 0.5\nx,y,z"); }, {wrong}},  // two numbers of a centring
      {[&] { Counts("0", "49").Ok(); Memo("x,y,z"); }, {"Poor syntax= ", wrong}},
      {[&] { Counts("-1", "1").Ok(); }, {wrong}},
      {[&] { Counts("0", "0").Ok(); }, {wrong}},
      {[&] { Counts("0", "1").Field(1, 1, "m3m").Press(1).Cancel(); }, {"Error, Laue: \"m3m\" is not a number"}},
      {[&] { Counts("0", "1").Cancel(); }, {}},
      {[&] { Counts("0", "1").Ok(); ui.ExpectDialog("Enter strings with data").Cancel(); }, {}},
  };
  const LATTICE before = PhaseTable[1];
  for (const auto& [script, messages] : cases) {
    ui.Clear();
    script();
    EnterNonStandardGroup(1);
    EXPECT_EQ(DialogOk, 0);
    EXPECT_EQ(ui.Messages(), messages);
    EXPECT_EQ(PhaseDifferences(PhaseTable[1], before), Lines{});
  }
  // 4 translations and 49 operations are cut to 3 and 48: the memo asks for 51 lines.
  ui.Clear();
  Counts("4", "49").Ok();
  ui.ExpectDialog("Enter strings with data").Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines.size(), 51u); }).Cancel();
  EnterNonStandardGroup(1);
}

// Every named group gives gemmi's operations; the name is taken in any case and with blanks (an
// unknown name is refused in the phase editor's test).
TEST_F(SpaceGroupEntry, NamedGroupsGiveGemmisOperations) {
  std::vector<std::string> names;
  for (const Tokens& row : GoldenRows(GoldenFile, "crystal"))
    if (names.empty() || names.back() != row[0]) names.push_back(row[0]);
  ASSERT_GE(names.size(), 7u);
  ASSERT_LE(names.size(), static_cast<size_t>(TestSpaceGroupCapacity));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}));
    std::string typed = name;
    for (char& ch : typed) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ui.ExpectDialog("Enter the name of non-standard space group").Edit(1, typed.insert(1, " ")).Ok();
    NameNonStandardGroup(1);
    ASSERT_EQ(DialogOk, 1);
    const LATTICE& g = PhaseTable[1];
    EXPECT_EQ(std::tuple(g.HermannMauguin, g.SpaceGroup), std::tuple(name, 1));
    EXPECT_EQ(g.LatticeType, static_cast<int>(std::string("PABCFIR").find(name[0])));
    EXPECT_EQ(OperationKeys(g), GoldenOperationKeys(GoldenFile, name));
  }
}
