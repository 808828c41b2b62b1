// The crystallographic buttons pressed in a scripted dialog: the group listings against gemmi's
// groups (tests/core/data/space_group_golden.txt), the symbol look-up, the Fourier plane in the
// result file, the listing of six full reflection lists and the BMP picture read back.
#include <gtest/gtest.h>
#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>
#include "core/canvas.h"
#include "core/dialog_toolkit.h"
#include "crystal/crystal_buttons.h"
#include "crystal/phase_editor_setup.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// gemmi's groups by table entry (number negative for setting 2): the order, the number of non-zero
// centring translations (an operation is 9 rotation signs and 3 translations in 24ths) and
// whether the inversion through the origin is in the group.
struct GemmiGroup {
  int order = 0, centrings = 0;
  bool centrosymmetric = false;
};

std::map<int, GemmiGroup> GemmiGroups() {
  std::map<int, GemmiGroup> out;
  for (const Tokens& row : GoldenRows("space_group_golden.txt")) {
    if (row.size() < 2 || !(std::isdigit(static_cast<unsigned char>(row[0][0])) || row[0][0] == '-')) continue;
    GemmiGroup& g = out[std::stoi(row[0])];
    g.order = std::stoi(row[1]);
    for (size_t i = 2; i < row.size(); ++i) {
      g.centrosymmetric = g.centrosymmetric || row[i] == "-000-000-000000";
      g.centrings += row[i].starts_with("+000+000+") && row[i].substr(9) != "000000";
    }
  }
  return out;
}

std::vector<double> Numbers(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

class CrystalButtonsTest : public CrystalDialogTest {
protected:
  void SetUp() override {
    CrystalDialogTest::SetUp();
    InstallCrystalButtons();
  }
  // The group grid of the phase editor with the seven buttons; the script presses them.
  static void ShowButtonDialog(const std::string& caption = "Phase information") {
    DialogCaption = caption;
    BeginDialog(0);
    DialogColumnWidths[0] = 180, DialogColumnWidths[1] = 70;
    DialogFieldValues[1][1] = DialogFieldValues[2][1] = 1;
    ShowNumberGrid(5, 30, 2, 8, 1, 2);
    for (int32_t i = 10; i <= 16; ++i) PlaceButton(Form2.Button(i), 70, 95 + 20 * (i - 10), "B", 20, 175);
    ShowDialogModal();
  }
  // Presses the button with group and setting in the grid; the information window it showed.
  TForm3 Press(int32_t button, const std::string& group = "1", const std::string& setting = "1") {
    ui.Clear();
    ui.ExpectDialog("Phase information").Cell(0, 0, group).Cell(0, 1, setting).Press(button).Cancel();
    ShowButtonDialog();
    EXPECT_EQ(ui.infoWindows.size(), 1u) << group;
    return ui.infoWindows.empty() ? TForm3() : ui.infoWindows[0];
  }
};

// Button10 lists a group's centring vectors and its operations modulo centring and inversion, as
// many as gemmi's order / ((centrings + 1)(1 + centrosymmetric)).
TEST_F(CrystalButtonsTest, GroupListingsAgreeWithGemmi) {
  const auto gemmi = GemmiGroups();
  const std::tuple<const char*, const char*, char> cases[] = {{"1", "1", 'P'}, {"  166", "2", 'R'}, {"227", "2", 'F'}};
  for (const auto& [group, setting, letter] : cases) {
    const GemmiGroup& g = gemmi.at(std::stoi(group) * (*setting == '2' ? -1 : 1));
    const Lines lines = Press(10, group, setting).Memo1.lines;
    const int operations = g.order / ((g.centrings + 1) * (g.centrosymmetric ? 2 : 1));
    ASSERT_EQ(lines.size(), size_t(4 + g.centrings + operations)) << group;
    EXPECT_EQ(lines[0], letter + std::string("-lattice,  ") + (g.centrosymmetric ? "" : "non ") + "Centrosymmetric");
    EXPECT_EQ(lines[2], "   Translation vectors,  " + std::to_string(g.centrings) + " item[s]");
    EXPECT_EQ(lines[3 + g.centrings], "   Transformations (" + std::to_string(operations) + " item[s])");
  }
}

// The group is expanded for the phase open in the editor (phase 1 when none) in a scratch copy:
// every phase keeps its own group; a group the table lacks gives its message and shows nothing.
TEST_F(CrystalButtonsTest, TheListedGroupLeavesThePhasesAsTheyWere) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 14, 2, {5, 6, 7, 90, 100, 90}));
  ASSERT_TRUE(SetUpPhase(2, 194, 1, {3, 3, 5, 90, 90, 120}));
  const LATTICE before[3] = {PhaseTable[0], PhaseTable[1], PhaseTable[2]};
  for (int32_t edited : {0, 2, 1}) {
    EditedPhase = edited;
    EXPECT_EQ(Press(10, "227", "2").Memo1.lines[0], "F-lattice,  Centrosymmetric");
    for (int k = 0; k < 3; ++k) EXPECT_EQ(PhaseDifferences(PhaseTable[k], before[k]), Lines{}) << edited << k;
  }
  ui.ExpectDialog("Phase information").Cell(0, 0, "16").Cell(0, 1, "2").Press(10).Cancel();
  ui.ExpectMessage("No group 16, setting 2");
  ShowButtonDialog();
  EXPECT_EQ(ui.infoWindows.size(), 1u);
  EXPECT_EQ(PhaseDifferences(PhaseTable[1], before[1]), Lines{});
}

// Button11 puts the number of the symbol into the grid; an unknown symbol stays.
TEST_F(CrystalButtonsTest, FindSpaceGroupPutsTheNumberIntoTheGrid) {
  const auto shows = [](const char* text) { return [text](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(0, 0), text); }; };
  ui.ExpectDialog("Phase information").Cell(0, 0, "p 21").Press(11).Inspect(shows("    4"))
      .Cell(0, 0, "q99").Press(11).Inspect(shows("q99")).Cancel();
  ShowButtonDialog();
  EXPECT_EQ(ui.Messages().size(), 2u);
}

// Button12 writes one XY plane of a map whose values (one decimal) follow a formula of x, y, z:
// the caption, z = (slice - 1) z step + z origin, the title, 30 lines of 30 fields, an empty
// line. Slices outside the map give a message and write nothing.
TEST_F(CrystalButtonsTest, SaveFourierWritesThePlaneOfTheCurrentSlice) {
  KeepValues<double> map(&FourierMap[0][0][0], sizeof FourierMap / sizeof(double));
  KeepValues<TFourierSettings> settings(&FourierSettings, 1);
  auto formula = [](int x, int y, int z) { return (10.0 * x - 3.0 * y + 7.0 * z) / 10; };
  for (int x = 1; x <= FourierGrid; ++x)
    for (int y = 1; y <= FourierGrid; ++y)
      for (int z = 1; z <= FourierGrid; ++z) FourierMap[x][y][z] = formula(x, y, z);
  FourierSettings.zStep = 0.05, FourierSettings.zLow = 0.1;
  for (int32_t slice : {0, 33, 3}) {
    FourierSettings.slice = slice;
    ui.ExpectDialog("Fourier map").Press(12).Ok();
    ShowButtonDialog("Fourier map");
  }
  EXPECT_EQ(ui.Messages(), (Lines{"No slice 0 in the Fourier map (1 to 32)", "No slice 33 in the Fourier map (1 to 32)"}));
  const Lines log = LogLines();
  ASSERT_EQ(log.size(), 34u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 3), (Lines{" Fourier map", "Z=     0.20", "Fourier XY-plane (30 x 30)"}));
  EXPECT_EQ(log[33], "");
  for (int y = 1; y <= 30; ++y) {
    ASSERT_EQ(log[2 + y].size(), 30u * 7) << y;
    for (int x = 1; x <= 30; ++x) EXPECT_NEAR(std::stod(log[2 + y].substr(7 * (x - 1), 7)), formula(x, y, 3), 1e-9);
  }
}

// Button13 walks the whole table: 277 entries as gemmi has them, 44 of them second settings.
TEST_F(CrystalButtonsTest, SpaceGroupNamesListTheWholeTable) {
  const Lines lines = Press(13).ListBox1.items;
  std::map<int, GemmiGroup> gemmi = GemmiGroups();
  ASSERT_EQ(gemmi.size(), 277u);
  int second = 0;
  for (const std::string& line : lines) {
    int number = 0, setting = 0;
    const size_t n = line.find("space group N =");
    ASSERT_EQ(std::sscanf(line.c_str() + std::min(n, line.size()), "space group N = %d setting= %d", &number, &setting), 2);
    EXPECT_EQ(gemmi.erase(setting == 2 ? -number : number), 1u) << line;
    second += setting == 2;
  }
  EXPECT_EQ(std::tuple(lines.size(), gemmi.size(), second), std::tuple(277u, 0u, 44));
}

// Button14 with six phases of 2000 reflections each: every line of every phase is listed.
TEST_F(CrystalButtonsTest, CellsAndReflectionsOfAllPhasesKeepEveryLine) {
  PhaseCount = MaxPhases;
  for (int32_t p = 1; p <= MaxPhases; ++p) {
    PhaseTable[p].ReflectionCount = MaxFitReflections;
    for (int32_t i = 1; i <= MaxFitReflections; ++i) HklTable[i][p].h = p, HklTable[i][p].d = 5.0 - i * 0.002;
  }
  const Lines memo = Press(14).Memo1.lines;
  ASSERT_EQ(memo.size(), MaxPhases * (1 + 6 + 1 + MaxFitReflections));
  const auto last = Numbers(memo.back());
  ASSERT_EQ(last.size(), 5u);
  EXPECT_NEAR(last[0], 1.0, 5e-6);
  EXPECT_NEAR(last[1], SpectrumList[1]->DToChannel(1.0), 0.05);
  EXPECT_EQ(last[2], MaxPhases);
}

// Button15 saves the picture under the whole name in a folder whose path is far longer than 75
// characters, read back equal; without a spectrum name nothing is saved.
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
  const std::string path = folder.string() + "/al_tof_2024.dat.bmp";
  for (const char* name : {"/data/run 7/al_tof_2024.dat", ""}) {
    SpectrumList[1]->Name = name;
    ui.ExpectDialog("Phase information").Press(15).Cancel();
    ui.ExpectMessage(*name ? path + " saved" : "No spectrum name: the picture is not saved");
    ShowButtonDialog();
  }
  fs::current_path(start);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  QImage back(QString::fromStdString(path));
  ASSERT_EQ(std::pair(back.width(), back.height()), std::pair(drawn.Width(), drawn.Height()));
  int differing = 0;
  for (int y = 0; y < back.height(); ++y)
    for (int x = 0; x < back.width(); ++x) differing += RgbToColor(back.pixel(x, y)) != drawn.GetPixel(x, y);
  EXPECT_EQ(differing, 0);
  fs::remove_all(TestTempPath("picture folder"));
}

}  // namespace
