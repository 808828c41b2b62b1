// Non-standard groups typed on the screen or chosen by name, against gemmi's operations
// (tools/gen_test_space_groups.py) and against the space-group table; a bad line changes
// nothing.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include "core/dialog_toolkit.h"
#include "crystal/phase_editor_setup.h"
#include "crystal/space_group_entry.h"
#include "support/temp_path.h"

namespace {

using Lines = std::vector<std::string>;

const char* const GoldenFile = "test_space_groups_golden.txt";

class SpaceGroupEntry : public PhaseEditorTest {
protected:
  void SetUp() override {
    PhaseEditorTest::SetUp();
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}));
  }
};

// The lines of a file without those starting with the comment mark.
Lines Uncommented(const std::filesystem::path& path, const std::string& mark) {
  Lines out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, mark.size(), mark) != 0) out.push_back(line);
  return out;
}

}  // namespace

// P 1 21/n 1 typed in the table's convention (the proper half, the inversion added by the flag)
// gives gemmi's four general positions.
TEST_F(SpaceGroupEntry, ScreenEntryOfP21nGivesGemmisPositions) {
  ui.ExpectDialog("Enter space group info")
      .Field(1, 1, "2")
      .Field(2, 1, "2")
      .Field(3, 1, "0")
      .Field(4, 1, "2")
      .Radio(2)
      .Ok();
  ui.ExpectDialog("Enter strings with data").Memo("x, y, z\n-x+0.5, y+0.5, -z+0.5").Ok();
  EnterNonStandardGroup(1);
  ASSERT_EQ(DialogOk, 1);
  const LATTICE& g = PhaseTable[1];
  EXPECT_EQ(std::tuple(g.ClassCode, g.Setting, g.CentringCount, g.OperationCount, g.Centrosymmetric),
            std::tuple(2, 2, 0, 2, 1));
  const auto want = GoldenOperations(GoldenFile, "P21/N");
  ASSERT_EQ(want.size(), 4u);
  EXPECT_EQ(MissingOperations(ExpandedOperations(g), want, 1e-12), Lines{});
  const TForm2& f = ui.dialogs[0];
  EXPECT_EQ(f.RadioGroup1.items, (Lines{"Non-Centrosymmetric", "Centrosymmetric"}));
  EXPECT_EQ(f.RadioGroup1.itemIndex, 1);  // preset from the phase (Fm-3m)
}

// Every table group with thirds or sixths, confirmed unchanged in both dialogs, keeps the table's
// centrings and operations (the memo holds 10 decimals; two would turn 1/3 into 0.33).
TEST_F(SpaceGroupEntry, ThirdsAndSixthsSurviveAnUnchangedMemo) {
  const int groups[] = {144, 145, 151, 152, 153, 154, 169, 170, 171, 172, 173, 178, 179, 180, 181, -146, -148};
  for (int n : groups) {
    SCOPED_TRACE(n);
    ui.Clear();
    ASSERT_TRUE(SetUpPhase(1, std::abs(n), n < 0 ? 2 : 1, {3, 3, 5, 90, 90, 120}));
    const LATTICE table = PhaseTable[1];
    ui.ExpectDialog("Enter space group info").Ok();
    ui.ExpectDialog("Enter strings with data")
        .Inspect([&](TForm2& f) {
          // P 31 and R-3: the thirds written out.
          if (n == 144) {
            EXPECT_EQ(f.Memo1.lines, (Lines{"x, y, z", "-y, x-y, z+0.3333333333", "-x+y, -x, z+0.6666666667"}));
          }
          if (n == -148) {
            EXPECT_EQ(f.Memo1.lines[0], "0.6666666667,  0.3333333333,  0.3333333333");
          }
        })
        .Ok();
    EnterNonStandardGroup(1);
    ASSERT_EQ(DialogOk, 1);
    const LATTICE& g = PhaseTable[1];
    for (const std::string& field : PhaseDifferences(g, table))
      EXPECT_TRUE(field == "Translations" || field == "CentringVectors") << field;
    for (int o = 1; o <= table.OperationCount; ++o)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(g.Translations[i][o], table.Translations[i][o], 1e-9) << o;
    for (int v = 1; v <= 3; ++v)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(g.CentringVectors[i][v], table.CentringVectors[i][v], 1e-9) << v;
  }
}

// A bad line, bad counts or Cancel: the phase stays exactly as it was.
TEST_F(SpaceGroupEntry, BadDataChangesNothing) {
  struct Case {
    const char* what;
    std::function<void()> script;
    Lines messages;
  };
  const Case cases[] = {
      {"bad third formula",
       [&] {
         ui.ExpectDialog("Enter space group info").Field(3, 1, "0").Field(4, 1, "3").Ok();
         ui.ExpectDialog("Enter strings with data").Memo("x,y,z\n-x,-y,z\n-y,x").Ok();
       },
       {"Poor syntax= -Y X", "Wrong space group data"}},
      {"fraction", [&] {
         ui.ExpectDialog("Enter space group info").Field(3, 1, "0").Field(4, 1, "2").Ok();
         ui.ExpectDialog("Enter strings with data").Memo("x,y,z\n-x,-y,z+1/2").Ok();
       },
       {"Poor syntax= -X -Y,Z+1/2", "Wrong space group data"}},
      {"two numbers of a centring vector",
       [&] {
         ui.ExpectDialog("Enter space group info").Field(3, 1, "1").Field(4, 1, "1").Ok();
         ui.ExpectDialog("Enter strings with data").Memo("0.5, 0.5\nx,y,z").Ok();
       },
       {"Wrong space group data"}},
      {"missing lines",
       [&] {
         ui.ExpectDialog("Enter space group info").Field(3, 1, "0").Field(4, 1, "49").Ok();
         ui.ExpectDialog("Enter strings with data").Memo("x,y,z").Ok();
       },
       {"Poor syntax= ", "Wrong space group data"}},
      {"negative translation count",
       [&] { ui.ExpectDialog("Enter space group info").Field(3, 1, "-1").Ok(); }, {"Wrong space group data"}},
      {"no operation", [&] { ui.ExpectDialog("Enter space group info").Field(4, 1, "0").Ok(); },
       {"Wrong space group data"}},
      {"count not a number", [&] { ui.ExpectDialog("Enter space group info").Field(1, 1, "m3m").Ok(); },
       {"Wrong space group data"}},
      {"cancel counts", [&] { ui.ExpectDialog("Enter space group info").Cancel(); }, {}},
      {"cancel lines",
       [&] {
         ui.ExpectDialog("Enter space group info").Ok();
         ui.ExpectDialog("Enter strings with data").Cancel();
       },
       {}},
  };
  const LATTICE before = PhaseTable[1];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.Clear();
    c.script();
    EnterNonStandardGroup(1);
    EXPECT_EQ(DialogOk, 0);
    EXPECT_EQ(ui.Messages(), c.messages);
    EXPECT_EQ(PhaseDifferences(PhaseTable[1], before), Lines{});
  }
  // 4 translations and 49 operations are cut to 3 and 48: the memo asks for 51 lines.
  ui.Clear();
  ui.ExpectDialog("Enter space group info").Field(3, 1, "4").Field(4, 1, "49").Ok();
  ui.ExpectDialog("Enter strings with data").Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines.size(), 51u); }).Cancel();
  EnterNonStandardGroup(1);
}

// Every named group gives gemmi's operations; the name is taken in any case and with blanks.
TEST_F(SpaceGroupEntry, NamedGroupsGiveGemmisOperations) {
  std::vector<std::string> names;
  for (const Tokens& row : GoldenRows(GoldenFile, "crystal"))
    if (names.empty() || names.back() != row[0]) names.push_back(row[0]);
  ASSERT_GE(names.size(), 7u);
  ASSERT_LE(names.size(), static_cast<size_t>(TestSpaceGroupCapacity));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ui.Clear();
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}));
    std::string typed = name;
    for (char& ch : typed) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    typed.insert(1, " ");
    ui.ExpectDialog("Enter the name of non-standard space group")
        .Inspect([](TForm2& f) { EXPECT_EQ(f.Edit1.text, "Fm-3m"); })
        .Edit(1, typed)
        .Ok();
    NameNonStandardGroup(1);
    ASSERT_EQ(DialogOk, 1);
    const LATTICE& g = PhaseTable[1];
    EXPECT_EQ(std::tuple(g.HermannMauguin, g.Schoenflies, g.SpaceGroup), std::tuple(name, std::string(), 1));
    EXPECT_EQ(g.LatticeType, static_cast<int>(std::string("PABCFIR").find(name[0])));
    EXPECT_EQ(MissingOperations(ExpandedOperations(g), GoldenOperations(GoldenFile, name), 1e-12), Lines{});
    EXPECT_EQ(ui.Messages(), Lines{});
  }

  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}));
  const LATTICE before = PhaseTable[1];
  ui.ExpectDialog("Enter the name of non-standard space group").Edit(1, "p 99").Ok();
  ui.ExpectMessage("No group P99");
  NameNonStandardGroup(1);
  EXPECT_EQ(DialogOk, 0);
  ui.ExpectDialog("Enter the name of non-standard space group").Edit(1, "P21/N").Cancel();
  NameNonStandardGroup(1);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseDifferences(PhaseTable[1], before), Lines{});
}

// The committed table and golden file are what the generator writes now (comments aside: they
// name the gemmi version).
TEST(SpaceGroupEntryGolden, GeneratorReproducesCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi");
  const auto dir = TestTempPath("test_space_groups");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_test_space_groups.py", dir.string()), 0);
  const std::string root = VKEST_SOURCE_DIR;
  EXPECT_EQ(Uncommented(dir / "test_space_group_data.cpp", "//"),
            Uncommented(root + "/src/crystal/test_space_group_data.cpp", "//"));
  EXPECT_EQ(Uncommented(dir / "test_space_groups_golden.txt", "#"),
            Uncommented(root + "/tests/crystal/data/test_space_groups_golden.txt", "#"));
  std::filesystem::remove_all(dir);
}
