// The crystallographic buttons pressed in a scripted dialog: the group listings against gemmi's
// groups (tests/core/data/space_group_golden.txt), the symbol look-up, the Fourier plane in the
// result file, the listing of six full reflection lists, the BMP picture read back and the table
// of crystal systems against the functions it describes.
#include <gtest/gtest.h>
#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <utility>
#include "core/canvas.h"
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "crystal/crystal_buttons.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// gemmi's group of a table entry (number negative for setting 2): its order and its centring
// translations, each operation written as 9 rotation signs and 3 translations in 24ths.
struct GemmiGroup {
  int order = 0;
  std::vector<std::array<double, 3>> centrings;  // the non-zero ones
  bool centrosymmetric = false;                  // the inversion through the origin
};

std::map<int, GemmiGroup> GemmiGroups() {
  std::map<int, GemmiGroup> out;
  for (const Tokens& row : GoldenRows("space_group_golden.txt")) {
    if (row.size() < 2 || !(std::isdigit(static_cast<unsigned char>(row[0][0])) || row[0][0] == '-')) continue;
    GemmiGroup& g = out[std::stoi(row[0])];
    g.order = std::stoi(row[1]);
    for (size_t i = 2; i < row.size(); ++i) {
      const std::string& op = row[i];
      if (op == "-000-000-000000") g.centrosymmetric = true;
      if (op.compare(0, 9, "+000+000+") != 0 || op.compare(9, 6, "000000") == 0) continue;
      std::array<double, 3> t{};
      for (int c = 0; c < 3; ++c) t[c] = std::stoi(op.substr(9 + 2 * c, 2)) / 24.0;
      g.centrings.push_back(t);
    }
  }
  return out;
}

// The numbers of a text line.
std::vector<double> Numbers(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// The symmetry part of a phase record and its cell, compared field by field.
void ExpectSameSymmetry(const LATTICE& a, const LATTICE& b, const std::string& what) {
  EXPECT_EQ(std::tie(a.SpaceGroup, a.Setting, a.CrystalSystem, a.LatticeType, a.ClassCode, a.Centrosymmetric,
                     a.OperationCount, a.CentringCount, a.Schoenflies, a.HermannMauguin),
            std::tie(b.SpaceGroup, b.Setting, b.CrystalSystem, b.LatticeType, b.ClassCode, b.Centrosymmetric,
                     b.OperationCount, b.CentringCount, b.Schoenflies, b.HermannMauguin))
      << what;
  EXPECT_EQ(std::memcmp(a.Rotations, b.Rotations, sizeof a.Rotations), 0) << what;
  EXPECT_EQ(std::memcmp(a.Translations, b.Translations, sizeof a.Translations), 0) << what;
  EXPECT_EQ(std::memcmp(a.CentringVectors, b.CentringVectors, sizeof a.CentringVectors), 0) << what;
  EXPECT_EQ(std::memcmp(a.SecondMatrices, b.SecondMatrices, sizeof a.SecondMatrices), 0) << what;
  EXPECT_EQ(std::memcmp(a.Cell, b.Cell, sizeof a.Cell), 0) << what;
}

class CrystalButtonsTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    ScreenScale = 1.0;
    FontSize = 10;
    InstallCrystalButtons();
    EditedPhase = 0;
    for (int32_t s = 0; s <= 4; ++s)
      saved_[s] = std::exchange(SpectrumList[s], std::make_unique<TSpectrum>("sp" + std::to_string(s)));
    CurrentSpectrum = 1;
  }
  void TearDown() override {
    for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::move(saved_[s]);
    EditedPhase = 0;
    PhaseTest::TearDown();
  }
  // The group grid of the phase editor with the seven buttons; the script presses them.
  static void ShowButtonDialog(const std::string& caption = "Phase information") {
    DialogCaption = caption;
    BeginDialog(0);
    DialogColumnWidths[0] = 180;
    DialogColumnWidths[1] = 70;
    DialogFieldLabels[1] = "Space group number =";
    DialogFieldLabels[2] = "Setting =";
    DialogFieldValues[1][1] = 1;
    DialogFieldValues[2][1] = 1;
    ShowNumberGrid(5, 30, 2, 8, 1, 2);
    for (int32_t i = 10; i <= 16; ++i) PlaceButton(Form2.Button(i), 70, 95 + 20 * (i - 10), "B" + std::to_string(i), 20, 175);
    ShowDialogModal();
  }
  // Presses button b with the grid holding group and setting; the information window it showed.
  TForm3 GroupInfo(const std::string& group, const std::string& setting) {
    ui.ExpectDialog("Phase information").Cell(0, 0, group).Cell(0, 1, setting).Press(10).Cancel();
    const size_t before = ui.infoWindows.size();
    ShowButtonDialog();
    EXPECT_EQ(ui.infoWindows.size(), before + 1) << group;
    return ui.infoWindows.empty() ? TForm3() : ui.infoWindows.back();
  }

private:
  std::unique_ptr<TSpectrum> saved_[5];
};

// The listing of a group: its centring vectors and operations modulo centring and inversion,
// as many as gemmi's order / ((centrings + 1)(1 + centrosymmetric)).
TEST_F(CrystalButtonsTest, GroupListingsAgreeWithGemmi) {
  const auto gemmi = GemmiGroups();
  const TForm3 p1 = GroupInfo("1", "1");
  EXPECT_EQ(p1.caption, "Space group 1 information");
  ASSERT_TRUE(p1.Memo1.visible);
  ASSERT_EQ(p1.Memo1.lines.size(), 5u);
  EXPECT_EQ(p1.Memo1.lines[0], "P-lattice,  non Centrosymmetric");
  EXPECT_EQ(p1.Memo1.lines[2], "   Translation vectors,  0 item[s]");
  EXPECT_EQ(p1.Memo1.lines[3], "   Transformations (1 item[s])");

  for (int number : {166, 227}) {
    const GemmiGroup& g = gemmi.at(-number);
    const TForm3 info = GroupInfo("  " + std::to_string(number), "2");
    const Lines& lines = info.Memo1.lines;
    const size_t c = g.centrings.size();
    const int operations = g.order / static_cast<int>((c + 1) * (g.centrosymmetric ? 2 : 1));
    ASSERT_EQ(lines.size(), 4 + c + operations) << number;
    EXPECT_EQ(lines[0], std::string(number == 166 ? "R" : "F") + "-lattice,  Centrosymmetric");
    EXPECT_EQ(lines[2], "   Translation vectors,  " + std::to_string(c) + " item[s]");
    EXPECT_EQ(lines[3 + c], "   Transformations (" + std::to_string(operations) + " item[s])");
    // Each listed vector is one of gemmi's, to the 2 decimals shown.
    for (size_t v = 0; v < c; ++v) {
      const auto x = Numbers(lines[3 + v]);
      ASSERT_EQ(x.size(), 3u);
      EXPECT_TRUE(std::any_of(g.centrings.begin(), g.centrings.end(), [&](const std::array<double, 3>& t) {
        return std::fabs(t[0] - x[0]) < 0.006 && std::fabs(t[1] - x[1]) < 0.006 && std::fabs(t[2] - x[2]) < 0.006;
      })) << lines[3 + v];
    }
  }
  EXPECT_EQ(ui.infoWindows.back().caption, "Space group 227 information");
}

// The group is expanded for the phase open in the editor (phase 1 when none), in a scratch copy:
// the phase keeps its own group however the dialog ends.
TEST_F(CrystalButtonsTest, TheListedGroupLeavesThePhaseAsItWas) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 14, 2, {5, 6, 7, 90, 100, 90}));
  ASSERT_TRUE(SetUpPhase(2, 194, 1, {3, 3, 5, 90, 90, 120}));
  const LATTICE phase0 = PhaseTable[0], phase1 = PhaseTable[1], phase2 = PhaseTable[2];
  for (int32_t edited : {0, 2}) {
    EditedPhase = edited;
    EXPECT_EQ(GroupInfo("227", "2").Memo1.lines[0], "F-lattice,  Centrosymmetric");
    ExpectSameSymmetry(PhaseTable[0], phase0, "phase 0");
    ExpectSameSymmetry(PhaseTable[1], phase1, "phase 1");
    ExpectSameSymmetry(PhaseTable[2], phase2, "phase 2");
  }
  // A group the table lacks: its message, nothing shown, nothing changed.
  EditedPhase = 1;
  ui.ExpectDialog("Phase information").Cell(0, 0, "16").Cell(0, 1, "2").Press(10).Cancel();
  ui.ExpectMessage("No group 16, setting 2");
  ShowButtonDialog();
  EXPECT_EQ(ui.infoWindows.size(), 2u);
  ExpectSameSymmetry(PhaseTable[1], phase1, "after a group the table lacks");
}

TEST_F(CrystalButtonsTest, FindSpaceGroupPutsTheNumberIntoTheGrid) {
  ui.ExpectDialog("Phase information")
      .Cell(0, 0, "p 21")
      .Press(11)
      .Inspect([](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(0, 0), "    4"); })
      .Cell(0, 0, "q99")
      .Press(11)
      .Inspect([](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(0, 0), "q99"); })
      .Cancel();
  ShowButtonDialog();
  EXPECT_EQ(ui.Messages(), (Lines{"Group p21" + LineBreak + "Space group= 4, setting= 1 or 2", "No space group with name q99"}));
}

// One XY plane of a map whose values (one decimal) follow a formula of x, y and z.
TEST_F(CrystalButtonsTest, SaveFourierWritesThePlaneOfTheCurrentSlice) {
  KeepValues<double> map(&FourierMap[0][0][0], sizeof FourierMap / sizeof(double));
  KeepValues<TFourierSettings> settings(&FourierSettings, 1);
  auto formula = [](int x, int y, int z) { return (10.0 * x - 3.0 * y + 7.0 * z) / 10; };
  for (int x = 1; x <= FourierGrid; ++x)
    for (int y = 1; y <= FourierGrid; ++y)
      for (int z = 1; z <= FourierGrid; ++z) FourierMap[x][y][z] = formula(x, y, z);
  FourierSettings.zStep = 0.05;
  FourierSettings.zLow = 0.1;
  for (int32_t slice : {0, 33, 3}) {
    FourierSettings.slice = slice;
    ui.ExpectDialog("Fourier map").Press(12).Ok();
    ShowButtonDialog("Fourier map");
  }
  EXPECT_EQ(ui.Messages(), (Lines{"No slice 0 in the Fourier map (1 to 32)", "No slice 33 in the Fourier map (1 to 32)"}));
  const Lines log = LogLines();
  ASSERT_EQ(log.size(), 34u);  // nothing from the refused slices
  EXPECT_EQ(log[0], " Fourier map");
  EXPECT_EQ(log[1], "Z=     0.20");
  EXPECT_EQ(log[2], "Fourier XY-plane (30 x 30)");
  for (int y = 1; y <= 30; ++y) {
    const std::string& line = log[static_cast<size_t>(2 + y)];
    ASSERT_EQ(line.size(), 30u * 7) << y;
    for (int x = 1; x <= 30; ++x)
      EXPECT_NEAR(std::stod(line.substr(static_cast<size_t>(7 * (x - 1)), 7)), formula(x, y, 3), 1e-9) << x << " " << y;
  }
  EXPECT_EQ(log[33], "");
}

// 277 entries, the second settings among them, each line with the entry's number and setting.
TEST_F(CrystalButtonsTest, SpaceGroupNamesListTheWholeTable) {
  ui.ExpectDialog("Phase information").Press(13).Cancel();
  ShowButtonDialog();
  ASSERT_EQ(ui.infoWindows.size(), 1u);
  const TForm3& info = ui.infoWindows[0];
  ASSERT_TRUE(info.ListBox1.visible);
  const Lines& lines = info.ListBox1.items;
  std::vector<int> entries;  // gemmi's entries in table order
  for (const auto& [number, g] : GemmiGroups()) entries.push_back(number);
  ASSERT_EQ(lines.size(), 277u);
  ASSERT_EQ(entries.size(), 277u);
  int second = 0;
  for (const std::string& line : lines) {
    const size_t n = line.find("  space group N = ");
    ASSERT_NE(n, std::string::npos) << line;
    const int number = std::stoi(line.substr(n + 18, 4));
    const int setting = std::stoi(line.substr(n + 22 + 11, 1));
    EXPECT_EQ(line.substr(0, n), CrystalSystemRow(CrystalSystemOfGroup(number, setting)).name) << line;
    EXPECT_TRUE(std::count(entries.begin(), entries.end(), setting == 2 ? -number : number)) << line;
    second += setting == 2;
  }
  EXPECT_EQ(second, 44);
  EXPECT_EQ(lines[0], "triclinic  space group N =    1  setting= 1   P1");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "hexagonal  space group N =  166  setting= 2   R-3M"), lines.end());
}

// Six phases of 2000 reflections each: every line of every phase in the information window.
TEST_F(CrystalButtonsTest, CellsAndReflectionsOfAllPhasesKeepEveryLine) {
  PhaseCount = MaxPhases;
  for (int32_t p = 1; p <= MaxPhases; ++p) {
    PhaseTable[p].Cell[0] = p;
    PhaseTable[p].ReflectionCount = MaxFitReflections;
    for (int32_t i = 1; i <= MaxFitReflections; ++i) {
      THklRecord& r = HklTable[i][p];
      r.h = i % 100 - 50, r.k = -p, r.l = 1;
      r.d = 5.0 - i * 0.002;
    }
  }
  PhaseModelFlags[3] = 1;
  ui.ExpectDialog("Phase information").Press(14).Cancel();
  ShowButtonDialog();
  ASSERT_EQ(ui.infoWindows.size(), 1u);
  const Lines& memo = ui.infoWindows[0].Memo1.lines;
  const size_t block = 1 + 6 + 1 + MaxFitReflections;
  ASSERT_EQ(memo.size(), MaxPhases * block);
  TSpectrum& sp = *SpectrumList[1];
  for (int32_t p = 1; p <= MaxPhases; ++p) {
    const size_t at = (p - 1) * block;
    EXPECT_EQ(memo[at], "UNIT CELL, PHASE " + std::to_string(p) + (p == 3 ? " MAGNETIC" : ""));
    EXPECT_EQ(Numbers(memo[at + 1]), std::vector<double>{double(p)});
    EXPECT_EQ(memo[at + 7], "Reflections (hkls)  2000 items");
    for (int32_t i : {1, MaxFitReflections}) {
      const auto x = Numbers(memo[at + 7 + i]);
      ASSERT_EQ(x.size(), 5u);
      EXPECT_NEAR(x[0], 5.0 - i * 0.002, 5e-6);
      EXPECT_NEAR(x[1], sp.DToChannel(5.0 - i * 0.002), 0.05);
      EXPECT_EQ(std::vector<double>(x.begin() + 2, x.end()), (std::vector<double>{double(i % 100 - 50), double(-p), 1}));
    }
  }
}

// The picture under the full name in a folder whose path is far longer than 75 characters.
TEST_F(CrystalButtonsTest, PictureIsSavedUnderItsWholeName) {
  const fs::path folder = TestTempPath("picture folder") / std::string(90, 'f') / "of the spectra";
  fs::create_directories(folder);
  const fs::path start = fs::current_path();
  fs::current_path(folder);
  ClearDialogImage();
  TImageCanvas& c = Form2.Image1.canvas;
  c.Brush.color = 0x0000FF;
  c.FillRect(10, 20, 110, 70);
  c.SetPixel(300, 280, 0x00FF00);
  const TImageCanvas drawn = c;
  SpectrumList[1]->Name = "/data/run 7/al_tof_2024.dat";
  const std::string path = folder.string() + "/al_tof_2024.dat.bmp";
  ui.ExpectDialog("Phase information").Press(15).Cancel();
  ui.ExpectMessage(path + " saved");
  ShowButtonDialog();
  // No name: nothing to save under.
  SpectrumList[1]->Name.clear();
  ui.ExpectDialog("Phase information").Press(15).Cancel();
  ui.ExpectMessage("No spectrum name: the picture is not saved");
  ShowButtonDialog();
  fs::current_path(start);

  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  QImage back(QString::fromStdString(path));
  ASSERT_FALSE(back.isNull());
  ASSERT_EQ(back.width(), drawn.Width());
  ASSERT_EQ(back.height(), drawn.Height());
  int differing = 0;
  for (int y = 0; y < back.height(); ++y)
    for (int x = 0; x < back.width(); ++x) differing += RgbToColor(back.pixel(x, y)) != drawn.GetPixel(x, y);
  EXPECT_EQ(differing, 0);
  fs::remove_all(TestTempPath("picture folder"));
}

// The table of crystal systems: each line's centrings are those BravaisTypeAllowed admits, and
// its number range belongs to the system by CrystalSystemOfGroup (setting 2: the R groups on
// hexagonal axes).
TEST_F(CrystalButtonsTest, CrystalSystemsAgreeWithTheRulesTheyDescribe) {
  ui.ExpectDialog("Phase information").Press(16).Cancel();
  ShowButtonDialog();
  ASSERT_EQ(ui.infoWindows.size(), 1u);
  const Lines& lines = ui.infoWindows[0].ListBox1.items;
  ASSERT_EQ(lines.size(), 7u);
  for (int32_t s = 1; s <= 7; ++s) {
    const std::string& line = lines[static_cast<size_t>(s - 1)];
    const size_t open = line.find('('), close = line.find(')');
    ASSERT_TRUE(open != std::string::npos && close != std::string::npos) << line;
    std::string admitted;
    for (int32_t t = 0; t < 7; ++t)
      if (BravaisTypeAllowed(s, t)) admitted += LatticeTypeLetters[static_cast<size_t>(t)];
    EXPECT_EQ(line.substr(open + 1, close - open - 1), admitted) << line;
    int first = 0, last = 0;
    if (std::sscanf(line.c_str() + close + 1, " %d-%d", &first, &last) != 2) continue;  // a list of numbers
    for (int n = first; n <= last; ++n) EXPECT_EQ(CrystalSystemOfGroup(n, 2), s) << line << " " << n;
  }
  EXPECT_EQ(lines[1].substr(0, 12), " monoclinic ");
}

}  // namespace
