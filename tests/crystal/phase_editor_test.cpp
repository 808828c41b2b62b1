// The phase editor end to end with scripted answers: cells of every crystal system against
// gemmi's UnitCell (tools/gen_phase_editor_golden.py), refusals and Cancel that leave the phase
// as it was, the lattice type, the second-setting check, and moment directions against a numpy
// Cartesian computation.
#include <gtest/gtest.h>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_editor_setup.h"
#include "support/temp_path.h"

namespace {

using Lines = std::vector<std::string>;

const std::string DataDir = std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/";

double Num(const std::string& s) {
  double x = NAN;
  TokenNumber(s, x);
  return x;
}

// The golden row of kind ("cell", "moment") and label, as numbers after the label.
std::vector<double> GoldenValues(const std::string& file, const std::string& kind, const std::string& label) {
  for (const Tokens& row : GoldenRows(file, "crystal"))
    if (row.size() > 2 && row[0] == kind && row[1] == label) {
      std::vector<double> v;
      for (size_t i = 2; i < row.size(); ++i) v.push_back(Num(row[i]));
      return v;
    }
  ADD_FAILURE() << "no golden row " << kind << " " << label;
  return std::vector<double>(30, NAN);
}

// The captions of the value grid's rows in a dialog.
Lines GridCaptions(const TForm2& f) {
  Lines out;
  for (int r = 0; r < f.StringGrid2.rowCount; ++r) out.push_back(f.StringGrid2.Cell(0, r));
  return out;
}

class PhaseEditor : public PhaseEditorTest {
protected:
  // The first dialog with the group number and setting typed in.
  DialogScript& First(const std::string& group, const std::string& setting) {
    return ui.ExpectDialog("Phase information").Field(1, 1, group).Field(2, 1, setting);
  }
  // The cell dialog with its rows typed in, confirmed.
  void Cell(const Lines& fields) {
    auto& s = ui.ExpectDialog("Check lattice information");
    for (size_t i = 0; i < fields.size(); ++i) s.Field(static_cast<int>(i) + 1, 1, fields[i]);
    s.Ok();
  }
  // Phase 1 holding a cubic F group and a cell that no case below enters.
  void FcubicPhase() {
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90}));
    PhaseTable[1].LatticeType = 4;
    PhaseTable[1].IndexNormalisers[0] = 4.0494;
    PhaseTable[1].MomentDirection[0] = 0.25;
    PhaseTable[1].AtomCount = 2;
  }
};

}  // namespace

// One run per crystal system: the rows asked, the stored cell, volume, reciprocal cell and metric
// (gemmi), and the two lines of the result file.
TEST_F(PhaseEditor, CellOfEveryCrystalSystemAgreesWithGemmi) {
  struct Case {
    const char* label;
    int group, setting;
    Lines fields, captions;
    const char* log1;
    const char* log2;
  };
  const Lines abc = {" A (Angs) =", " B (Angs) =", " C (Angs) ="};
  const auto with = [&abc](Lines more) {
    Lines l = abc;
    l.insert(l.end(), more.begin(), more.end());
    return l;
  };
  const Case cases[] = {
      {"triclinic", 2, 1, {"4", "5", "6", "80", "95", "100"},
       with({" alpha (Deg) =", " beta (Deg) =", " gamma (Deg) ="}),
       "Phase 1:  Space group=   2  Setting= 1 Volume=   116.2",
       "triclinic cell =   4.0000   5.0000   6.0000  80.00  95.00 100.00"},
      {"monoclinic_gamma", 14, 1, {"5", "6", "7", "100"}, with({" gamma (Deg) ="}),
       "Phase 1:  Space group=  14  Setting= 1 Volume=   206.8",
       "monoclinic cell =   5.0000   6.0000   7.0000  90.00  90.00 100.00"},
      {"monoclinic_beta", 14, 2, {"5", "6", "7", "100"}, with({" beta (Deg) ="}),
       "Phase 1:  Space group=  14  Setting= 2 Volume=   206.8",
       "monoclinic cell =   5.0000   6.0000   7.0000  90.00 100.00  90.00"},
      {"orthorhombic", 62, 1, {"4", "5", "6"}, abc, "Phase 1:  Space group=  62  Setting= 1 Volume=   120.0",
       "orthorhombic cell =   4.0000   5.0000   6.0000  90.00  90.00  90.00"},
      {"tetragonal", 123, 1, {"5", "7"}, {" A (Angs) =", " C (Angs) ="},
       "Phase 1:  Space group= 123  Setting= 1 Volume=   175.0",
       "tetragonal cell =   5.0000   5.0000   7.0000  90.00  90.00  90.00"},
      {"cubic", 225, 1, {"4.0494"}, {" A (Angs) ="}, "Phase 1:  Space group= 225  Setting= 1 Volume=    66.4",
       "cubic cell =   4.0494   4.0494   4.0494  90.00  90.00  90.00"},
      {"hexagonal", 191, 1, {"3", "5"}, {" A (Angs) =", " C (Angs) ="},
       "Phase 1:  Space group= 191  Setting= 1 Volume=    39.0",
       "hexagonal cell =   3.0000   3.0000   5.0000  90.00  90.00 120.00"},
      {"rhombohedral", 166, 1, {"5", "60"}, {" A (Angs) =", " alpha (Deg) ="},
       "Phase 1:  Space group= 166  Setting= 1 Volume=    88.4",
       "rhombohedral cell =   5.0000   5.0000   5.0000  60.00  60.00  60.00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ui.Clear();
    LogFile.RewriteToMemory("log");
    std::fill(std::begin(ParametersPending), std::end(ParametersPending), 0);
    NoCrystalInfo = 1;
    // An oblique cell first: the angles the system fixes must not survive.
    ASSERT_TRUE(SetUpPhase(1, 1, 1, {3, 4, 5, 70, 80, 110}));
    First(std::to_string(c.group), std::to_string(c.setting)).Ok();
    Cell(c.fields);
    EditPhaseInfo(0);
    ASSERT_EQ(DialogOk, 1);
    EXPECT_EQ(ui.Messages(), Lines{});
    ASSERT_EQ(ui.dialogs.size(), 2u);
    EXPECT_EQ(GridCaptions(ui.dialogs[1]), c.captions);
    const std::string label = c.label, system = label.substr(0, label.find('_'));
    EXPECT_EQ(ui.dialogs[1].Label1.caption, "Enter " + system + " cell parameters, phase 1 ");

    const LATTICE& p = PhaseTable[1];
    const std::vector<double> g = GoldenValues("phase_cells_golden.txt", "cell", c.label);
    // Typed numbers are stored as read (the dialog's parser sums decimal digits: an ulp or two);
    // 57.29578 degrees per radian puts 8.5e-9 relative into the
    // trigonometry and so into volume and reciprocal lengths; a reciprocal angle comes from an
    // arccosine whose mirror uses pi as 3.1415925 (1e-5 degree).
    for (int i = 0; i < 6; ++i) {
      EXPECT_DOUBLE_EQ(p.Cell[i], g[i]) << i;
      EXPECT_EQ(p.PreviousCell[i], p.Cell[i]) << i;
    }
    EXPECT_NEAR(p.Volume, g[6], 5e-8 * g[6]);
    EXPECT_EQ(p.PreviousVolume, p.Volume);
    EXPECT_NEAR(p.ReciprocalVolume * p.Volume, 1.0, 1e-7);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p.ReciprocalCell[i], g[7 + i], 5e-8 * g[7 + i]) << i;
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(p.ReciprocalCell[i], g[7 + i], 1e-4) << i;
    // The cross terms 2 a* b* cos gamma* take those angles' 1.5e-7 radian: 3e-7 of the largest square.
    const double metricTol = 3e-7 * std::max({g[13], g[14], g[15]});
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(p.Metric[i], g[13 + i], metricTol) << i;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.IndexNormalisers[i], p.Cell[i]);
    EXPECT_EQ(p.CrystalSystem, CrystalSystemOfGroup(c.group, c.setting));
    EXPECT_EQ(LogLines(), (Lines{c.log1, c.log2}));
    EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(NoCrystalInfo, 0);
    EXPECT_EQ(EditedPhase, 0);
  }
}

// The first dialog as the user sees it, for the second of two phases; EditedPhase names it while
// it is open.
TEST_F(PhaseEditor, FirstDialogShowsItsControls) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 19, 1, {4, 5, 6, 90, 90, 90}));
  ASSERT_TRUE(SetUpPhase(2, 14, 2, {5, 6, 7, 90, 100, 90}));
  PhaseTable[2].SourceFlags[0] = 1;  // stored ticks preselect the list
  PhaseTable[1].Setting = 0;         // shown as 1
  int32_t open = -1;
  ui.ExpectDialog("Phase information").Inspect([&](TForm2&) { open = EditedPhase; }).Ok();
  Cell({"4", "5", "6"});
  First("14", "2").Ok();
  Cell({"5", "6", "7", "100"});
  ui.ExpectDialog("Check lattice information").Ok();  // phase 2 is magnetic: its moment angles
  EditPhaseInfo(0);
  ASSERT_EQ(DialogOk, 1);
  EXPECT_EQ(open, 1);
  EXPECT_EQ(HelpLineCount, UnitCellHelp.count);
  const TForm2& f = ui.dialogs[2];
  EXPECT_EQ(f.caption, " Phase information");
  EXPECT_EQ(DescribeDialog(f),
            (Lines{"  Label1 \" Specify the unit cell info for phase 2 \"",
                   "  Label2 \" See Help for non-standard group\"",
                   "  Label3 \" Select lattice type \"",
                   "  RadioGroup1 (*)\" Type P\" ( )\" Type A\" ( )\" Type B\" ( )\" Type C\" ( )\" Type F\" ( )\" Type I\" "
                   "( )\" Type R\"",
                   "  CheckListBox1 [x]\" The phase is MAGNETIC \" [ ]\" Non-standard space group from a file \" [ ]\" "
                   "Non-standard space group from the screen \" [ ]\" Non-standard space group from a data base\"",
                   "  StringGrid2 2x2", "    row 0: \"Space group number =\" \"\"", "    row 1: \"Setting =\" \"\"",
                   "  StringGrid1 1x2", "    row 0: \"      14\"", "    row 1: \"       2\"",
                   "  [OK] [Cancel] [Help] [Show the Space Group] [Find the Space Group] [Show space group names] "
                   "[Show the symmetries]"}));
  // Phase 1's magnetic item has no caption; its setting 0 shows as 1.
  EXPECT_EQ(ui.dialogs[0].CheckListBox1.items[0], "");
  EXPECT_EQ(ui.dialogs[0].StringGrid1.Cell(0, 1), "       1");
  // Where the controls stand (screen scale 1).
  const auto at = [](const TControl& c) { return std::vector<int>{c.left, c.top, c.width, c.height}; };
  EXPECT_EQ(at(f.Button16), (std::vector<int>{70, 95, 175, 20}));
  EXPECT_EQ(at(f.Button10), (std::vector<int>{70, 115, 175, 20}));
  EXPECT_EQ(at(f.Button11), (std::vector<int>{70, 135, 175, 20}));
  EXPECT_EQ(at(f.Button13), (std::vector<int>{70, 155, 175, 20}));
  EXPECT_EQ(at(f.CheckListBox1), (std::vector<int>{6, 300, 318, 68}));
  EXPECT_EQ(std::vector<int>({f.Label2.left, f.Label2.top, f.Label3.left, f.Label3.top}),
            (std::vector<int>{30, 275, 5, 210}));
  EXPECT_EQ(f.RadioGroup1.columns, 2);
  EXPECT_EQ(EditedPhase, 0);
  EXPECT_EQ(PhaseModelFlags[2], 1);
}

// Every refusal and every Cancel leaves the phase record (and its magnetic flag) exactly as it
// was, writes nothing to the result file and marks no parameters.
TEST_F(PhaseEditor, RefusalsAndCancelLeaveThePhaseAsItWas) {
  const std::string badFile = TestTempPath("bad.spg").string();
  std::ofstream(badFile) << "1 0 2 0 0 1\nx,y,z\n-x,-y\n";
  struct Case {
    const char* what;
    std::function<void(ScriptedUi&)> script;
    Lines messages;
  };
  const auto first = [](ScriptedUi& u, const std::string& g, const std::string& s) -> DialogScript& {
    return u.ExpectDialog("Phase information").Field(1, 1, g).Field(2, 1, s);
  };
  const auto cell = [](ScriptedUi& u, const Lines& fields) {
    auto& s = u.ExpectDialog("Check lattice information");
    for (size_t i = 0; i < fields.size(); ++i) s.Field(static_cast<int>(i) + 1, 1, fields[i]);
    s.Ok();
  };
  const Lines wrongSetting = {"Wrong setting"}, wrongGroup = {"Error, wrong space group"},
              wrongCell = {"Wrong unit cell parameters"};
  const Case cases[] = {
      {"empty setting", [&](ScriptedUi& u) { first(u, "14", "").Ok(); }, wrongSetting},
      {"setting 1.001", [&](ScriptedUi& u) { first(u, "14", "1.001").Ok(); }, wrongSetting},
      {"setting not a number", [&](ScriptedUi& u) { first(u, "14", "two").Ok(); }, wrongSetting},
      {"setting 0", [&](ScriptedUi& u) { first(u, "14", "0").Ok(); }, wrongSetting},
      {"setting 3", [&](ScriptedUi& u) { first(u, "14", "3").Ok(); }, wrongSetting},
      {"empty group", [&](ScriptedUi& u) { first(u, "", "1").Ok(); }, wrongGroup},
      {"group not a number", [&](ScriptedUi& u) { first(u, "p21", "1").Ok(); }, wrongGroup},
      {"group 0.4", [&](ScriptedUi& u) { first(u, "0.4", "1").Ok(); }, wrongGroup},
      {"group -5", [&](ScriptedUi& u) { first(u, "-5", "1").Ok(); }, wrongGroup},
      {"group 1e30", [&](ScriptedUi& u) { first(u, "1e30", "1").Ok(); }, wrongGroup},
      {"no such entry", [&](ScriptedUi& u) { first(u, "231", "2").Ok(); }, {"No group 231, setting 2"}},
      {"negative edge", [&](ScriptedUi& u) { first(u, "14", "2").Ok(); cell(u, {"-5", "6", "7", "100"}); }, wrongCell},
      {"zero edge", [&](ScriptedUi& u) { first(u, "123", "1").Ok(); cell(u, {"5", "0"}); }, wrongCell},
      {"angle 180", [&](ScriptedUi& u) { first(u, "14", "2").Ok(); cell(u, {"5", "6", "7", "180"}); }, wrongCell},
      {"angle 0", [&](ScriptedUi& u) { first(u, "14", "1").Ok(); cell(u, {"5", "6", "7", "0"}); }, wrongCell},
      {"angle -60", [&](ScriptedUi& u) { first(u, "166", "1").Ok(); cell(u, {"5", "-60"}); }, wrongCell},
      {"flat rhombohedron", [&](ScriptedUi& u) { first(u, "166", "1").Ok(); cell(u, {"5", "120"}); }, wrongCell},
      {"angles closing no cell",
       [&](ScriptedUi& u) { first(u, "2", "1").Ok(); cell(u, {"4", "5", "6", "10", "10", "100"}); }, wrongCell},
      {"edge not a number", [&](ScriptedUi& u) { first(u, "225", "1").Ok(); cell(u, {"4,0x"}); }, wrongCell},
      {"cancel first", [&](ScriptedUi& u) { first(u, "14", "2").Cancel(); }, {}},
      {"cancel cell", [&](ScriptedUi& u) { first(u, "14", "2").Ok();
         u.ExpectDialog("Check lattice").Cancel(); }, {}},
      {"cancel moment",
       [&](ScriptedUi& u) {
         first(u, "14", "2").Check(1).Ok();
         cell(u, {"5", "6", "7", "100"});
         u.ExpectDialog("Check lattice").Cancel();
       },
       {}},
      {"moment not a number",
       [&](ScriptedUi& u) {
         first(u, "14", "2").Check(1).Ok();
         cell(u, {"5", "6", "7", "100"});
         u.ExpectDialog("Check lattice").Field(1, 1, "x").Ok();
       },
       {}},
      {"bad third formula",
       [&](ScriptedUi& u) {
         first(u, "14", "2").Check(3).Ok();
         u.ExpectDialog("Enter space group info").Field(3, 1, "0").Field(4, 1, "3").Ok();
         u.ExpectDialog("Enter strings with data").Memo("x,y,z\n-x,-y,-z\nx,y").Ok();
       },
       {"Poor syntax= X Y", "Wrong space group data"}},
      {"unknown name",
       [&](ScriptedUi& u) {
         first(u, "14", "2").Check(4).Ok();
         u.ExpectDialog("Enter the name of non-standard space group").Edit(1, "P99").Ok();
       },
       {"No group P99"}},
      {"bad file",
       [&](ScriptedUi& u) {
         first(u, "14", "2").Check(2).Ok();
         u.ChooseFile(badFile);
       },
       {"Poor syntax= -X -Y", "Wrong space group data"}},
      {"file cancelled",
       [&](ScriptedUi& u) {
         first(u, "14", "2").Check(2).Ok();
         u.CancelFileDialog();
       },
       {}},
  };
  FcubicPhase();
  const LATTICE before = PhaseTable[1];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.Clear();
    LogFile.RewriteToMemory("log");
    PhaseTable[1] = before;
    PhaseModelFlags[1] = 0;
    c.script(ui);
    EditPhaseInfo(0);
    EXPECT_EQ(DialogOk, 0);
    EXPECT_EQ(ui.Messages(), c.messages);
    EXPECT_EQ(PhaseDifferences(PhaseTable[1], before), Lines{});
    EXPECT_EQ(PhaseModelFlags[1], 0);
    EXPECT_EQ(LogLines(), Lines{});
    EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(NoCrystalInfo, 1);
    EXPECT_EQ(EditedPhase, 0);
    for (const auto& step : ui.Remaining()) ADD_FAILURE() << "not shown: " << step;
  }
  std::filesystem::remove(badFile);
}

// Cancel in the second phase ends the chain: phase 1 keeps its new cell, phase 2 what it had.
TEST_F(PhaseEditor, CancelInPhaseTwoKeepsPhaseOne) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {3, 4, 5, 70, 80, 110}));
  ASSERT_TRUE(SetUpPhase(2, 62, 1, {4, 5, 6, 90, 90, 90}));
  const LATTICE second = PhaseTable[2];
  First("123", "1").Ok();
  Cell({"5", "7"});
  First("14", "2").Cancel();
  EditPhaseInfo(0);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseTable[1].SpaceGroup, 123);
  EXPECT_NEAR(PhaseTable[1].Volume, 175, 1e-9);
  EXPECT_EQ(PhaseTable[1].OperationCount, 8);
  EXPECT_EQ(PhaseDifferences(PhaseTable[2], second), Lines{});
  EXPECT_EQ(LogLines().size(), 2u);
  // Phase 1 changed: the parameter arrays must be prepared again; the chain did not run to its
  // end, so crystal information is still missing.
  EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), (std::vector<int>{1, 1, 1, 0}));
  EXPECT_EQ(NoCrystalInfo, 1);
}

// The lattice type: the symbol's letter overrides the choice; a file group, which sets no
// symbol, keeps the choice even after an F phase; mode 1 stores the choice; mode 2 asks no cell.
TEST_F(PhaseEditor, LatticeType) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 4, 4, 90, 90, 90}));
  First("225", "1").Radio(1).Ok();
  Cell({"4.0494"});
  EditPhaseInfo(0);
  ASSERT_EQ(DialogOk, 1);
  EXPECT_EQ(PhaseTable[1].LatticeType, 4);
  EXPECT_EQ(ui.Messages(), Lines{});

  // The F phase gets P 21 21 21 from a file with " Type P" chosen.
  const std::string file = DataDir + "group_19.spg";
  SpaceGroupFileName = "/nowhere/vm.spg";
  First("19", "1").Check(2).Radio(1).Ok();
  ui.ChooseFile(file);
  ui.ExpectDialog("Phase information").Ok();  // "Non-standard group read in."
  Cell({"4", "5", "6"});
  EditPhaseInfo(0);
  ASSERT_EQ(DialogOk, 1);
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(p.LatticeType, 0);
  EXPECT_EQ(p.HermannMauguin, "");
  EXPECT_EQ(p.Schoenflies, "");
  EXPECT_EQ(std::tuple(p.SpaceGroup, p.OperationCount, p.CentringCount, p.CrystalSystem), std::tuple(19, 4, 0, 3));
  EXPECT_EQ(SpaceGroupFileName, file);
  EXPECT_EQ(p.SourceFlags[1], 1);
  EXPECT_EQ(ui.dialogs[3].ListBox1.items, (Lines{"Non-standard group read in.", "See INFO about phase"}));
  EXPECT_NE(std::find(ui.transcript.begin(), ui.transcript.end(),
                      "OPEN: \"Phase information\" file \"vm.spg\" in \"/nowhere\" -> \"" + file + "\""),
            ui.transcript.end());

  // Mode 1: only the buttons and the lattice choice, which is stored as chosen.
  ui.Clear();
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90}));
  PhaseTable[1].LatticeType = 4;
  ui.ExpectDialog("Phase information").Radio(6).Ok();
  Cell({"4.05"});
  EditPhaseInfo(1);
  ASSERT_EQ(DialogOk, 1);
  EXPECT_EQ(PhaseTable[1].LatticeType, 5);
  EXPECT_DOUBLE_EQ(PhaseTable[1].Cell[0], 4.05);
  EXPECT_FALSE(ui.dialogs[0].StringGrid1.visible || ui.dialogs[0].CheckListBox1.visible || ui.dialogs[0].Label1.visible);
  EXPECT_TRUE(ui.dialogs[0].Button10.visible && ui.dialogs[0].RadioGroup1.visible);

  // Mode 2: the first dialog only; no parameters marked.
  ui.Clear();
  std::fill(std::begin(ParametersPending), std::end(ParametersPending), 0);
  NoCrystalInfo = 1;
  First("62", "1").Ok();
  EditPhaseInfo(2);
  ASSERT_EQ(DialogOk, 1);
  EXPECT_EQ(std::tuple(PhaseTable[1].SpaceGroup, PhaseTable[1].CrystalSystem, PhaseTable[1].OperationCount),
            std::tuple(62, 3, 4));
  EXPECT_EQ(NoCrystalInfo, 0);
  EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(PhaseEditor, CheckSecondSetting) {
  struct Case {
    int group, setting, type, storedSystem;
    Lines messages;
    int setting2, system, dialogOk;
  };
  const Case cases[] = {
      {166, 2, 6, 6, {}, 2, 6, 1},  // R on hexagonal axes is admitted
      {166, 1, 6, 7, {}, 1, 7, 1},
      {166, 2, 6, 7, {}, 2, 7, 1},  // the stored system is kept for 143..194
      {225, 1, 0, 5, {"Check: is Bravais type really P\n\r the simmetry formula= Fm-3m"}, 1, 5, 1},
      {14, 2, 3, 1, {"Check: is Bravais type really C\n\r the simmetry formula= P21/c"}, 2, 2, 1},
      {62, 1, 6, 3, {"Check: is Bravais type really R\n\r the simmetry formula= Pnma"}, 1, 3, 1},
      {16, 2, 0, 3, {"No 2nd setting for 16"}, 1, 3, 0},
  };
  for (const Case& c : cases) {
    ui.Clear();
    ASSERT_TRUE(SetUpPhase(1, c.group, c.setting == 2 && c.group == 16 ? 1 : c.setting, {5, 5, 5, 90, 90, 90}));
    PhaseTable[1].Setting = c.setting;
    PhaseTable[1].LatticeType = c.type;
    PhaseTable[1].CrystalSystem = c.storedSystem;
    DialogOk = 1;
    CheckSecondSetting(1);
    EXPECT_EQ(ui.Messages(), c.messages) << c.group;
    EXPECT_EQ(std::tuple(PhaseTable[1].Setting, PhaseTable[1].CrystalSystem, DialogOk),
              std::tuple(c.setting2, c.system, c.dialogOk))
        << c.group;
  }
}

// A P1 cell 5, 5, 10 with right angles and a moment at 45 degrees to a and c: the stored
// coefficients of a*, b*, c* point there, so both (0 0 1) and (1 0 0) see sin 45. The next call
// presets the angles entered.
TEST_F(PhaseEditor, MomentAnglesGiveTheDirectionAndComeBack) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4, 4, 4, 90, 90, 90}));
  First("1", "1").Check(1).Ok();
  Cell({"5", "5", "10", "90", "90", "90"});
  ui.ExpectDialog("Check lattice information").Field(1, 1, "45").Field(2, 1, "90").Field(3, 1, "45").Ok();
  EditPhaseInfo(0);
  ASSERT_EQ(DialogOk, 1);
  EXPECT_EQ(DescribeDialog(ui.dialogs[2])[0], "  Label1 \"Set mag.moment angles, phase 1 \"");
  EXPECT_EQ(GridCaptions(ui.dialogs[2]), (Lines{"Phi_a (deg) = ", "Phi_b (deg) = ", "Phi_c (deg) = "}));
  const double* m = PhaseTable[1].MomentDirection;
  EXPECT_NEAR(m[0], 0.5, 1e-12);
  EXPECT_EQ(m[1], 0);
  EXPECT_EQ(m[2], 1);
  double d1 = 0, d2 = 0, d3 = 0, q001 = 0, q100 = 0;
  MagneticFactor(1, 0, 0, d1, d2, d3, q001, 0, 0, 1);
  MagneticFactor(1, 0, 0, d1, d2, d3, q100, 1, 0, 0);
  EXPECT_NEAR(q001, std::sqrt(0.5), 1e-9);
  EXPECT_NEAR(q100, std::sqrt(0.5), 1e-9);

  // Second pass: the preset angles are the ones entered; confirmed unchanged, the direction stays.
  ui.Clear();
  First("1", "1").Ok();
  Cell({"5", "5", "10", "90", "90", "90"});
  double shown[3] = {};
  ui.ExpectDialog("Check lattice information")
      .Inspect([&](TForm2& f) {
        for (int i = 0; i < 3; ++i) shown[i] = std::stod(f.StringGrid1.Cell(0, i));
      })
      .Ok();
  EditPhaseInfo(0);
  EXPECT_NEAR(shown[0], 45, 1e-4);
  EXPECT_NEAR(shown[1], 90, 1e-4);
  EXPECT_NEAR(shown[2], 45, 1e-4);
  EXPECT_NEAR(m[0], 0.5, 1e-9);
  EXPECT_EQ(m[1], 0);
  EXPECT_EQ(m[2], 1);

  // Three zero angles are reported; the direction is still set.
  ui.Clear();
  First("1", "1").Ok();
  Cell({"5", "5", "10", "90", "90", "90"});
  ui.ExpectDialog("Check lattice information").Field(1, 1, "0").Field(2, 1, "0").Field(3, 1, "0").Ok();
  ui.ExpectMessage("Mag.moment=0");
  EditPhaseInfo(0);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_NEAR(m[0], 0.5, 1e-9);
  EXPECT_NEAR(m[1], 0.5, 1e-9);
  EXPECT_EQ(m[2], 1);
}

// Random directions in oblique cells against numpy (tools/gen_phase_editor_golden.py): the
// coefficients of a*, b*, c* and the angles MomentAxisAngles gives back; axes and cubic phases.
TEST_F(PhaseEditor, MomentDirectionsAgreeWithNumpy) {
  const std::map<std::string, std::pair<int, int>> groups = {
      {"monoclinic", {14, 2}}, {"hexagonal", {191, 1}}, {"triclinic", {2, 1}}};
  int rows = 0;
  for (const Tokens& t : GoldenRows("moment_directions_golden.txt", "crystal")) {
    ASSERT_EQ(t.size(), 14u);
    ++rows;
    std::array<double, 6> cell;
    for (int i = 0; i < 6; ++i) cell[i] = Num(t[2 + i]);
    const auto [group, setting] = groups.at(t[1]);
    ASSERT_TRUE(SetUpPhase(1, group, setting, cell));
    PhaseModelFlags[1] = 1;
    for (int i = 0; i < 3; ++i) DialogNumbers[1 + i] = Num(t[8 + i]);
    SetCellCosines(1);
    PhaseMetric(1);
    // 57.29578 degrees per radian moves the cosines by about 1e-8.
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(PhaseTable[1].MomentDirection[i], Num(t[11 + i]), 1e-6) << t[1] << " " << i;
    MomentAxisAngles(1, 0);
    // The arccosine's mirror uses pi as 3.1415925: 1e-5 degree.
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(DialogNumbers[1 + i], Num(t[8 + i]), 1e-4) << t[1] << " " << i;
  }
  EXPECT_EQ(rows, 12);

  ASSERT_TRUE(SetUpPhase(1, 62, 1, {4, 5, 6, 90, 90, 90}));
  DialogNumbers[1] = 0, DialogNumbers[2] = 90, DialogNumbers[3] = 90;
  SetCellCosines(1);
  EXPECT_EQ(std::vector<double>(PhaseTable[1].MomentDirection, PhaseTable[1].MomentDirection + 3),
            (std::vector<double>{1, 0, 0}));
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}));
  DialogNumbers[1] = 10, DialogNumbers[2] = 20, DialogNumbers[3] = 30;
  SetCellCosines(1);
  EXPECT_EQ(std::vector<double>(PhaseTable[1].MomentDirection, PhaseTable[1].MomentDirection + 3),
            (std::vector<double>{0, 0, 1}));
}

// The committed golden files are what the generator writes now.
TEST(PhaseEditorGolden, GeneratorReproducesCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy");
  const auto dir = TestTempPath("phase_editor_golden");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_phase_editor_golden.py", dir.string()), 0);
  for (const char* name : {"phase_cells_golden.txt", "moment_directions_golden.txt"}) {
    // gemmi's cell algebra and numpy's linear algebra on well-conditioned cells: a few ulps.
    const auto mismatches = TokenMismatches(TokenRows(dir / name), GoldenRows(name, "crystal"),
                                            [](const Tokens& row, size_t col) {
                                              double x = 0;
                                              return TokenNumber(row[col], x) ? 1e-12 * std::fabs(x) + 1e-15 : NAN;
                                            });
    EXPECT_EQ(mismatches, std::vector<std::string>{}) << name;
  }
  std::filesystem::remove_all(dir);
}
