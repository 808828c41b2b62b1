// The phase editor end to end with scripted answers: cells of every crystal system against
// gemmi's UnitCell (tools/gen_phase_editor_golden.py), refusals and Cancel that leave the phase
// as it was, the lattice type, the second-setting check, and moment directions against a numpy
// Cartesian computation; the generators of the crystal dialogs' golden files re-run.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <cstring>
#include <map>
#include <sstream>
#include <tuple>
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "crystal/phase_editor_setup.h"
#include "support/temp_path.h"

namespace {

using Lines = std::vector<std::string>;
using Flags = std::vector<int>;

class PhaseEditor : public CrystalDialogTest {
protected:
  // The first dialog with the group number and setting typed in.
  DialogScript& First(const std::string& group, const std::string& setting) {
    return ui.ExpectDialog("Phase information").Field(1, 1, group).Field(2, 1, setting);
  }
  // The cell (or moment) dialog with its rows typed in (blank-separated), and confirmed.
  DialogScript& Rows(const std::string& fields) {
    auto& s = ui.ExpectDialog("Check lattice information");
    std::istringstream in(fields);
    int row = 0;
    for (std::string f; in >> f;) s.Field(++row, 1, f);
    return s;
  }
  void Cell(const std::string& fields) { Rows(fields).Ok(); }
  // A run from scratch: nothing shown or logged, nothing pending, no crystal information.
  void Fresh() {
    ui.Clear();
    LogFile.RewriteToMemory("log");
    std::fill(std::begin(ParametersPending), std::end(ParametersPending), 0);
    NoCrystalInfo = 1;
  }
};

}  // namespace

// One run per crystal system: the stored cell, volume, reciprocal cell and metric (gemmi), and the
// crystal system named in the result file.
TEST_F(PhaseEditor, CellOfEveryCrystalSystemAgreesWithGemmi) {
  const std::tuple<const char*, int, int, const char*> cases[] = {
      {"triclinic", 2, 1, "4 5 6 80 95 100"}, {"monoclinic_gamma", 14, 1, "5 6 7 100"},
      {"monoclinic_beta", 14, 2, "5 6 7 100"}, {"orthorhombic", 62, 1, "4 5 6"}, {"tetragonal", 123, 1, "5 7"},
      {"cubic", 225, 1, "4.0494"}, {"hexagonal", 191, 1, "3 5"}, {"rhombohedral", 166, 1, "5 60"}};
  std::map<std::string, std::vector<double>> golden;
  for (const Tokens& row : GoldenRows("phase_cells_golden.txt", "crystal"))
    for (size_t i = 2; i < row.size(); ++i) golden[row[1]].push_back(std::stod(row[i]));
  for (const auto& [label, group, setting, fields] : cases) {
    SCOPED_TRACE(label);
    Fresh();
    ASSERT_TRUE(SetUpPhase(1, 1, 1, {3, 4, 5, 70, 80, 110}));  // the angles the system fixes must not survive
    First(std::to_string(group), std::to_string(setting)).Ok();
    Cell(fields);
    EditPhaseInfo(0);
    ASSERT_EQ(DialogOk, 1);
    EXPECT_EQ(ui.Messages(), Lines{});
    const std::vector<double>& g = golden[label];
    ASSERT_EQ(g.size(), 19u);
    const LATTICE& p = PhaseTable[1];
    // Typed numbers are stored as read (an ulp or two); 57.29578 degrees per radian puts 8.5e-9
    // relative into volume and reciprocal lengths; a reciprocal angle comes from an arccosine
    // whose mirror uses pi as 3.1415925 (1e-5 degree); the cross terms 2 a* b* cos gamma* take
    // those angles' 1.5e-7 radian: 3e-7 of the largest square.
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(p.Cell[i], g[i]) << i;
    EXPECT_NEAR(p.Volume, g[6], 5e-8 * g[6]);
    EXPECT_NEAR(p.ReciprocalVolume * p.Volume, 1.0, 1e-7);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(p.ReciprocalCell[i], g[7 + i], i < 3 ? 5e-8 * g[7 + i] : 1e-4) << i;
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(p.Metric[i], g[13 + i], 3e-7 * std::max({g[13], g[14], g[15]})) << i;
    const std::vector<double> cell(p.Cell, p.Cell + 6);
    EXPECT_EQ(std::tuple(std::vector<double>(p.PreviousCell, p.PreviousCell + 6), p.PreviousVolume),
              std::tuple(cell, p.Volume));
    EXPECT_EQ(std::vector<double>(p.IndexNormalisers, p.IndexNormalisers + 3), std::vector<double>(p.Cell, p.Cell + 3));
    // The second line names the crystal system stored.
    const Lines log = LogLines();
    EXPECT_TRUE(log.size() == 2 && log[1].starts_with(std::string(label).substr(0, std::strcspn(label, "_")) + " cell ="));
    EXPECT_EQ(std::tuple(Pending(), NoCrystalInfo), std::tuple(Flags{1, 1, 1, 0}, 0));
  }
}

// Every refusal and every Cancel leaves the phase record (and its magnetic flag) exactly as it
// was, writes nothing to the result file and marks no parameters.
TEST_F(PhaseEditor, RefusalsAndCancelLeaveThePhaseAsItWas) {
  const std::string badFile = TestTempPath("bad.spg").string();
  std::ofstream(badFile) << "1 0 2 0 0 1\nx,y,z\n-x,-y\n";
  // A mirror normal to a, taken with a monoclinic cell of beta 100 asked after it.
  const std::string mirrorFile = TestTempPath("mirror.spg").string();
  std::ofstream(mirrorFile) << "1 0 2 0 0 2\nx,y,z\n-x,y,z\n";
  std::vector<std::pair<std::function<void()>, Lines>> cases;
  // Group, setting, cell, message: a field without a number reads as 1.001; cells with edges <= 0,
  // angles outside (0, 180), angles that close no cell.
  const std::vector<std::array<const char*, 4>> typed = {
      {"14", "", "", "Wrong setting"}, {"14", "1.001", "", "Wrong setting"}, {"14", "3", "", "Wrong setting"},
      {"", "1", "", "Error, wrong space group"},
      {"-5", "1", "", "Error, wrong space group"}, {"1e30", "1", "", "Error, wrong space group"},
      {"231", "2", "", "No group 231, setting 2"}, {"14", "2", "-5 6 7 100", "Wrong unit cell parameters"},
      {"123", "1", "5 0", "Wrong unit cell parameters"}, {"14", "2", "5 6 7 180", "Wrong unit cell parameters"},
      {"14", "1", "5 6 7 0", "Wrong unit cell parameters"}, {"166", "1", "5 -60", "Wrong unit cell parameters"},
      {"166", "1", "5 120", "Wrong unit cell parameters"}, {"2", "1", "4 5 6 10 10 100", "Wrong unit cell parameters"}};
  for (const auto& t : typed) cases.push_back({[this, t] { First(t[0], t[1]).Ok(); if (*t[2]) Cell(t[2]); }, {t[3]}});
  // Cancel in each dialog, a moment that is no number, a group from a data base or a file.
  const auto ticked = [this](int tick, std::function<void()> more) -> std::function<void()> {
    return [=, this] { First("14", "2").Check(std::max(tick, 1), tick > 0).Ok(); more(); };
  };
  cases.push_back({[this] { First("14", "2").Cancel(); }, {}});
  cases.push_back({ticked(0, [this] { ui.ExpectDialog("Check lattice").Cancel(); }), {}});
  cases.push_back({ticked(1, [this] { Cell("5 6 7 100"); ui.ExpectDialog("Check lattice").Cancel(); }), {}});
  cases.push_back({ticked(1, [this] { Cell("5 6 7 100"); Rows("x").Press(1).Cancel(); }),
                   {"Error, Phi_a (deg): \"x\" is not a number"}});
  // A field without a number is named at OK, the dialog stays; Cancel then.
  cases.push_back({[this] { First("p21", "1").Press(1).Cancel(); }, {"Error, Space group number: \"p21\" is not a number"}});
  cases.push_back({[this] { First("225", "1").Ok(), Rows("4,0x").Press(1).Cancel(); }, {"Error, A (Angs): \"4,0x\" is not a number"}});
  cases.push_back({ticked(4, [this] { ui.ExpectDialog("Enter the name of").Edit(1, "P99").Ok(); }), {"No group P99"}});
  cases.push_back({ticked(2, [&] { ui.ChooseFile(badFile); }), {"Poor syntax= -X -Y", "Wrong space group data"}});
  cases.push_back({ticked(2, [this] { ui.CancelFileDialog(); }), {}});
  cases.push_back({ticked(2, [&] {
                     ui.ChooseFile(mirrorFile);
                     ui.ExpectDialog("Phase information").Ok();  // "Non-standard group read in."
                     Cell("5 6 7 100");
                   }),
                   {"Wrong space group data: operation 2 does not keep the cell's metric"}});

  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90}));
  PhaseTable[1].LatticeType = 4;
  PhaseTable[1].MomentDirection[0] = 0.25;
  const LATTICE before = PhaseTable[1];
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    Fresh();
    PhaseTable[1] = before;
    PhaseModelFlags[1] = 0;
    cases[i].first();
    EditPhaseInfo(0);
    EXPECT_EQ(DialogOk, 0);
    EXPECT_EQ(ui.Messages(), cases[i].second);
    EXPECT_EQ(PhaseDifferences(PhaseTable[1], before), Lines{});
    EXPECT_EQ(std::tuple(PhaseModelFlags[1], LogLines(), Pending(), NoCrystalInfo),
              std::tuple(0, Lines{}, Flags{0, 0, 0, 0}, 1));
    for (const auto& step : ui.Remaining()) ADD_FAILURE() << "not shown: " << step;
  }
  std::filesystem::remove(badFile);
  std::filesystem::remove(mirrorFile);
}

// Cancel in the second phase ends the chain: phase 1 keeps its new cell, phase 2 what it had.
// The editor names the phase open (Button10 reads it); phase 1's magnetic item has no caption,
// a setting 0 shows as 1, stored ticks preselect the list.
TEST_F(PhaseEditor, CancelInPhaseTwoKeepsPhaseOne) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {3, 4, 5, 70, 80, 110}));
  ASSERT_TRUE(SetUpPhase(2, 62, 1, {4, 5, 6, 90, 90, 90}));
  PhaseTable[1].Setting = 0;
  PhaseTable[2].SourceFlags[0] = 1;
  const LATTICE second = PhaseTable[2];
  ui.ExpectDialog("Phase information").Inspect([](TForm2& f) {
    EXPECT_EQ(std::tuple(EditedPhase, f.CheckListBox1.items[0], f.StringGrid1.Cell(0, 1)),
              std::tuple(1, "", "       1"));
  }).Field(1, 1, "123").Ok();
  Cell("5 7");
  ui.ExpectDialog("Phase information").Inspect([](TForm2& f) {
    EXPECT_EQ(std::tuple(EditedPhase, f.CheckListBox1.Checked(0)), std::tuple(2, true));
  }).Cancel();
  EditPhaseInfo(0);
  EXPECT_EQ(std::tuple(DialogOk, EditedPhase, HelpLineCount), std::tuple(0, 0, UnitCellHelp.count));
  EXPECT_EQ(std::tuple(PhaseTable[1].SpaceGroup, PhaseTable[1].Setting, PhaseTable[1].OperationCount),
            std::tuple(123, 1, 8));
  EXPECT_NEAR(PhaseTable[1].Volume, 175, 1e-9);
  EXPECT_EQ(PhaseDifferences(PhaseTable[2], second), Lines{});
  EXPECT_EQ(LogLines().size(), 2u);
  // Phase 1 changed: its parameters must be prepared again; crystal information is still missing.
  EXPECT_EQ(std::tuple(Pending(), NoCrystalInfo), std::tuple(Flags{1, 1, 1, 0}, 1));
}

// The lattice type: the symbol's letter overrides the choice; a file group, which sets no
// symbol, keeps the choice even after an F phase; mode 1 stores the choice; mode 2 asks no cell.
TEST_F(PhaseEditor, LatticeType) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 4, 4, 90, 90, 90}));
  First("225", "1").Radio(1).Ok();
  Cell("4.0494");
  EditPhaseInfo(0);
  EXPECT_EQ(std::tuple(DialogOk, PhaseTable[1].LatticeType), std::tuple(1, 4));

  const std::string file = std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/group_19.spg";
  SpaceGroupFileName = "/nowhere/vm.spg";
  First("19", "1").Check(2).Radio(1).Ok();
  ui.ChooseFile(file);
  ui.ExpectDialog("Phase information").Ok();  // "Non-standard group read in."
  Cell("4 5 6");
  EditPhaseInfo(0);
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(std::tuple(DialogOk, p.LatticeType, p.HermannMauguin, p.SpaceGroup, p.OperationCount, p.CrystalSystem),
            std::tuple(1, 0, "", 19, 4, 3));
  EXPECT_EQ(SpaceGroupFileName, file);
  EXPECT_EQ(std::count(ui.transcript.begin(), ui.transcript.end(),
                       "OPEN: \"Phase information\" file \"vm.spg\" in \"/nowhere\" -> \"" + file + "\""), 1);

  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90}));
  PhaseTable[1].LatticeType = 4;
  ui.ExpectDialog("Phase information").Radio(6).Ok();
  Cell("4.05");
  EditPhaseInfo(1);
  EXPECT_EQ(std::tuple(DialogOk, PhaseTable[1].LatticeType, PhaseTable[1].Cell[0]), std::tuple(1, 5, 4.05));

  Fresh();
  First("62", "1").Ok();
  EditPhaseInfo(2);
  EXPECT_EQ(std::tuple(DialogOk, PhaseTable[1].SpaceGroup, PhaseTable[1].CrystalSystem, NoCrystalInfo, Pending()),
            std::tuple(1, 62, 3, 0, Flags{0, 0, 0, 0}));
}

// Group, setting, lattice type, stored system -> messages, setting, system, DialogOk after.
TEST_F(PhaseEditor, CheckSecondSetting) {
  const std::tuple<int, int, int, int, Lines, int, int, int> cases[] = {
      {166, 2, 6, 6, {}, 2, 6, 1},  // R on hexagonal axes is admitted
      {166, 2, 6, 7, {}, 2, 7, 1},  // the stored system is kept for 143..194
      {225, 1, 0, 5, {"Check: is Bravais type really P\n\r the simmetry formula= Fm-3m"}, 1, 5, 1},
      {16, 2, 0, 3, {"No 2nd setting for 16"}, 1, 3, 0}};
  for (const auto& [group, setting, type, system, messages, settingAfter, systemAfter, ok] : cases) {
    ui.Clear();
    ASSERT_TRUE(SetUpPhase(1, group, group == 16 ? 1 : setting, {5, 5, 5, 90, 90, 90}));
    PhaseTable[1].Setting = setting;
    PhaseTable[1].LatticeType = type;
    PhaseTable[1].CrystalSystem = system;
    CheckSecondSetting(1);
    EXPECT_EQ(ui.Messages(), messages) << group;
    EXPECT_EQ(std::tuple(PhaseTable[1].Setting, PhaseTable[1].CrystalSystem, DialogOk),
              std::tuple(settingAfter, systemAfter, ok)) << group;
  }
}

// A P1 cell 5, 5, 10 with right angles and a moment at 45 degrees to a and c: the stored
// coefficients of a*, b*, c* point there, so both (0 0 1) and (1 0 0) see sin 45 (the angles'
// cosines taken as the coefficients would give 0.894 and 0.447). The next call presets the
// angles entered; three zero angles are reported.
TEST_F(PhaseEditor, MomentAnglesGiveTheDirectionAndComeBack) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 4, 4, 90, 90, 90}));
  const double* m = PhaseTable[1].MomentDirection;
  for (const std::string angles : {"45 90 45", "", "0 0 0"}) {
    First("1", "1").Check(1).Ok();
    Cell("5 5 10 90 90 90");
    Rows(angles).Inspect([&angles](TForm2& f) {
      if (!angles.empty()) return;  // confirmed unchanged: the angles entered before
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(std::stod(f.StringGrid1.Cell(0, i)), i == 1 ? 90 : 45, 1e-4) << i;
    }).Ok();
    if (angles == "0 0 0") ui.ExpectMessage("Mag.moment=0");
    EditPhaseInfo(0);
    ASSERT_EQ(DialogOk, 1);
    EXPECT_NEAR(m[0], 0.5, 1e-9);
    EXPECT_NEAR(m[1], angles == "0 0 0" ? 0.5 : 0.0, 1e-9);
    EXPECT_EQ(m[2], 1.0);
    if (angles != "45 90 45") continue;
    double d1 = 0, d2 = 0, d3 = 0, q001 = 0, q100 = 0;
    MagneticFactor(1, 0, 0, d1, d2, d3, q001, 0, 0, 1);
    MagneticFactor(1, 0, 0, d1, d2, d3, q100, 1, 0, 0);
    EXPECT_NEAR(q001, std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(q100, std::sqrt(0.5), 1e-9);
  }
}

// Random directions in oblique cells against numpy (tools/gen_phase_editor_golden.py): the
// coefficients of a*, b*, c* and the angles MomentAxisAngles gives back; an axis and a cubic phase.
TEST_F(PhaseEditor, MomentDirectionsAgreeWithNumpy) {
  const std::map<std::string, std::pair<int, int>> groups = {
      {"monoclinic", {14, 2}}, {"hexagonal", {191, 1}}, {"triclinic", {2, 1}}};
  int rows = 0;
  for (const Tokens& t : GoldenRows("moment_directions_golden.txt", "crystal")) {
    ASSERT_EQ(t.size(), 14u);
    ++rows;
    std::array<double, 6> cell;
    for (int i = 0; i < 6; ++i) cell[i] = std::stod(t[2 + i]);
    ASSERT_TRUE(SetUpPhase(1, groups.at(t[1]).first, groups.at(t[1]).second, cell));
    for (int i = 0; i < 3; ++i) DialogNumbers[1 + i] = std::stod(t[8 + i]);
    SetCellCosines(1);
    // 57.29578 degrees per radian moves the cosines by about 1e-8; the arccosine's mirror uses
    // pi as 3.1415925: 1e-5 degree.
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(PhaseTable[1].MomentDirection[i], std::stod(t[11 + i]), 1e-6) << t[1] << i;
    MomentAxisAngles(1, 0);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(DialogNumbers[1 + i], std::stod(t[8 + i]), 1e-4) << t[1] << i;
  }
  EXPECT_EQ(rows, 12);
  const std::pair<int, std::vector<double>> axes[] = {{62, {1, 0, 0}}, {225, {0, 0, 1}}};  // the cubic keeps c
  for (const auto& [group, direction] : axes) {
    ASSERT_TRUE(SetUpPhase(1, group, 1, {4, 5, 6, 90, 90, 90}));
    DialogNumbers[1] = 0, DialogNumbers[2] = 90, DialogNumbers[3] = 90;
    SetCellCosines(1);
    EXPECT_EQ(std::vector<double>(PhaseTable[1].MomentDirection, PhaseTable[1].MomentDirection + 3), direction);
  }
}

// The committed golden files and the table of named groups are what the generators write now,
// comment lines aside (they name the versions).
TEST(CrystalDialogGolden, GeneratorsReproduceCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy");
  const auto dir = TestTempPath("crystal_dialog_golden");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_phase_editor_golden.py", dir.string()), 0);
  ASSERT_EQ(RunTool("gen_test_space_groups.py", dir.string()), 0);
  ASSERT_EQ(RunTool("gen_al_phase_golden.py", (dir / "al_phase_golden.txt").string()), 0);
  const auto rows = [](const std::filesystem::path& path) {
    auto r = TokenRows(path);
    std::erase_if(r, [](const Tokens& t) { return t[0].starts_with("//"); });
    return r;
  };
  // A unit of the last digit printed, or a few ulps of gemmi's and numpy's algebra on
  // well-conditioned cells.
  const TokenTolerance tolerance = [](const Tokens& row, size_t col) {
    double x = 0;
    return TokenNumber(row[col], x) ? std::max(LastDigitUnit(row[col]), 1e-12 * std::fabs(x) + 1e-15) : NAN;
  };
  const std::string root = VKEST_SOURCE_DIR;
  for (std::string name : {"phase_cells_golden.txt", "moment_directions_golden.txt", "test_space_groups_golden.txt",
                           "al_phase_golden.txt"})
    EXPECT_EQ(TokenMismatches(rows(dir / name), rows(root + "/tests/crystal/data/" + name), tolerance), Lines{}) << name;
  EXPECT_EQ(rows(dir / "test_space_group_data.cpp"), rows(root + "/src/crystal/test_space_group_data.cpp"));
  std::filesystem::remove_all(dir);
}
