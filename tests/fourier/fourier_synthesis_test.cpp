// The driver through the scripted user, the file reader, the display, and peaks with atoms.
#include <algorithm>
#include <cmath>
#include "core/dialog_state.h"
#include "core/text_file.h"
#include "crystal/crystal_buttons.h"
#include "crystal/phase_setup.h"
#include "crystal/structure_factor.h"
#include "fourier/fourier_map.h"
#include "fourier/fourier_synthesis.h"
#include "fourier/map_peaks.h"
#include "support/gui_app.h"
#include "support/picture_match.h"

namespace {

class SynthesisTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    FourierSettings = TFourierSettings{};
    FourierPeakCount = 0, FourierIndexList.clear(), FourierNotes.clear();
    InstallCrystalButtons();
  }
  void Peaks(std::initializer_list<TFourierPeak> list) {
    FourierPeakCount = 0;
    for (const TFourierPeak& p : list) FourierPeaks[++FourierPeakCount] = p;
  }
  void Atoms(std::initializer_list<std::array<double, 3>> list) {
    PhaseTable[1].AtomCount = 0;
    for (const auto& a : list) {
      ATOM& t = AtomTable[++PhaseTable[1].AtomCount][1];
      t = ATOM{}, t.Name = "O", t.X = a[0], t.Y = a[1], t.Z = a[2];
    }
  }
  KeepValues<TFourierSettings> settings_{&FourierSettings, 1};
  KeepValues<TFourierPeak> peaks_{FourierPeaks, FourierPeakCapacity + 1};
  KeepValues<int32_t> peakCount_{&FourierPeakCount, 1};
  KeepValues<uint8_t> pending_{FitPending, ModeCount};
};

}  // namespace

// Each refusal shows its message and leaves the settings as they were; a bound that is not a
// number is named at OK and the window stays (it was taken as 1.001 and the synthesis went on).
TEST_F(SynthesisTest, RefusalsKeepTheSettings) {
  struct Case {
    int32_t source, action;
    const char *bound, *zHigh, *message;
  } cases[] = {{1, 2, "0", "1", "No Fourier synthesis peaks available"},
               {5, 1, "0", "0", "Error, 3 equal bound pairs"},
               {5, 1, "abc", "1", "Error, x0 - x1 (column 1): \"abc\" is not a number"},
               {1, 1, "0", "1", "No Rietveld fit performed"},
               {2, 1, "0", "1", "No Powder Match performed"},
               {3, 1, "0", "1", "No phase information available"},
               {5, 1, "0", "1", "No HKLs for phase  for this phase"}};
  FitPending[0] = FitPending[2] = 1, NoCrystalInfo = 1;
  for (const Case& c : cases) {
    DialogScript& s = ui.ExpectDialog("3-dimensional Fourier synthesis")
        .Radio(c.source).Radio2(c.action).Cell(0, 0, c.bound).Cell(1, 0, c.bound).Cell(1, 1, "0").Cell(1, 2, c.zHigh);
    if (std::string(c.bound) == "abc") s.Press(1).Cancel();
    else s.Ok();
    ui.ExpectMessage(c.message);
    FourierSynthesis();
    EXPECT_EQ(FourierSettings.xHigh, 1.0) << c.message;
    EXPECT_EQ(FourierSettings.zStep, 1.0 / 30) << c.message;
  }
}

// A section at z = 0.2089 of the P2_1 phase (the second of two: the phase dialog), drawn,
// stepped back, saved; its peak lies on Zr, not at -x; the closing list; the peaks shown again.
TEST_F(SynthesisTest, SectionSynthesisFindsTheAtomAndShowsThePeaks) {
  RequireGuiApplication();  // the texts on the section
  PhaseCount = 2, FitPending[0] = 1;
  ASSERT_TRUE(SetUpPhase(2, 4, 2, {5.15, 5.21, 5.32, 90, 99.23, 90}, {IsoAtom(0.716, 0.2758, 0.0404, 0.2089, 0)}));
  PhaseTable[2].AtomCount = 1, AtomTable[1][2].Name = "Zr";
  int32_t n = 0;
  for (int32_t h = -8; h <= 8; ++h)
    for (int32_t k = 0; k <= 8; ++k)
      for (int32_t l = 0; l <= 8; ++l) {
        Q0 = PhaseTable[2].Metric[0] * h * h + PhaseTable[2].Metric[1] * k * k + PhaseTable[2].Metric[2] * l * l +
             PhaseTable[2].Metric[4] * h * l;
        if (Q0 == 0 || Q0 > 2.7) continue;
        THklRecord& r = HklTable[++n][2];
        r.h = h, r.k = k, r.l = l;
        CalcStructureFactor(0, 2, h, k, l, 1, 0, r.A, r.B, r.q);
      }
  PhaseTable[2].ReflectionCount = n;
  ui.ExpectDialog("3-dimensional Fourier synthesis").Radio(5).Cell(0, 2, "0.2089").Cell(1, 2, "0.2089").Ok();
  ui.ExpectDialog("").Radio(2).Ok();
  // Grid point (9, 2) holds the Zr section's maximum: its pixel and crosses are magenta.
  // Under the section "Z= 0.21" in lime: the same text drawn on a copy without it matches.
  ui.ExpectDialog("").Inspect([](TForm2& f) {
    TImageCanvas& c = f.Image1.canvas;
    EXPECT_EQ(c.GetPixel(125 + 5 * 9, 180 - 5 * 2), FuchsiaColor);
    EXPECT_EQ(c.GetPixel(125 + 5 * 9 + 2, 180 - 5 * 2), FuchsiaColor);
    EXPECT_EQ(c.GetPixel(125 + 5 * 15, 180 - 5 * 15), YellowColor);
    TImageCanvas text = c;
    text.Brush.style = TBrushStyle::Solid, text.Brush.color = c.GetPixel(1, 205);
    text.FillRect(0, 200, 125, 240);
    text.Font.color = LimeColor, text.Brush.style = TBrushStyle::Clear;
    text.TextOut(5, 210, "Z= 0.21");
    const PictureMatch m = ComparePictures(c, text, 0, 200, 125, 240, LimeColor);
    EXPECT_EQ(m.differing, 0);
    EXPECT_GT(m.ink, 20);
    // The answer row inside the 420-high window, no two buttons on each other; the six lines
    // of the display in its list, under "Z=".
    std::vector<const TButton*> row;
    for (int32_t i = 1; i <= 16; ++i)
      if (f.Button(i).visible) row.push_back(&f.Button(i));
    ASSERT_EQ(row.size(), 6u);
    for (const TButton* b : row) {
      EXPECT_TRUE(b->left >= 0 && b->left + b->width <= f.width && b->top + b->height <= f.height) << b->caption;
      for (const TButton* o : row) {
        if (o == b) continue;
        EXPECT_TRUE(b->left + b->width <= o->left || o->left + o->width <= b->left) << b->caption << " " << o->caption;
      }
    }
    ASSERT_EQ(f.ListBox1.items.size(), 6u);
    EXPECT_TRUE(f.ListBox1.visible);
    EXPECT_EQ(f.ListBox1.items[5], "Use OK and BACK buttons to go along Z");
    EXPECT_GE(f.ListBox1.top, 230);
    EXPECT_LE(f.ListBox1.top + f.ListBox1.height, f.Button(1).top);
  }).Fourie();
  ui.ExpectDialog("").Press(12).Ok();
  ui.ExpectDialog("").Inspect([](TForm2& f) { EXPECT_EQ(f.ListBox1.top, 5); }).Ok();
  FourierSynthesis();
  EXPECT_EQ(std::vector<int32_t>({MapNX, MapNY, MapNZ, FixedAxis, FourierSettings.slice}), std::vector<int32_t>({30, 30, 1, 3, 2}));
  EXPECT_EQ(FourierSettings.zStep, 0.0);
  EXPECT_TRUE(FourierIndexList.empty());
  ASSERT_GE(FourierPeakCount, 1);
  CurrentPoint[0] = 0.2758, CurrentPoint[1] = 0.0404, CurrentPoint[2] = 0.2089;
  const int32_t count = FourierPeakCount;
  for (int32_t i = 1; i <= count; ++i) FourierPeaks[i].amplitude += 1;
  int32_t peak = 0;
  FindNearestPeak(peak, 2);
  EXPECT_LT(NearestPeakDistance, 0.013);
  const std::vector<std::string> log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "Z=     0.21"), log.end()) << "Save the Map";
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& s) { return s.ends_with("  OK"); }));
  ui.ExpectDialog("3-dimensional Fourier synthesis").Radio2(2).Ok();
  ui.ExpectDialog("Output of Fourier results").Inspect([count](TForm2& f) {
    EXPECT_EQ(f.ListBox1.items.size(), 3u + count);
  }).Ok();
  FourierSynthesis();
}

// Records over two lines read as one per line; multiplicity and d change nothing; "*" and "/";
// an incomplete last record is dropped with a note (mended: left open).
TEST_F(SynthesisTest, StructureFactorFileRecords) {
  TextFile f;
  f.ResetFromText("* comment\n1 2 3 4 5.0 0.5 -0.25\n-1,0\t2 9 9.9\n0.125 1.5 99\n\n/\n7 7 7 1 1 1 1\n");
  ReadStructureFactorRecords(f);
  ASSERT_EQ(FourierIndexList.size(), 2u);
  EXPECT_EQ(std::vector<double>({double(FourierIndexList[1].h), double(FourierIndexList[1].l), FourierIndexList[1].A, FourierIndexList[1].B}),
            std::vector<double>({-1, 2, 0.125, 1.5}));
  EXPECT_TRUE(FourierNotes.empty());
  f.ResetFromText("2.5 0 3.5 1 1 1 2\n1 2 3 4 5\n");
  ReadStructureFactorRecords(f);
  ASSERT_EQ(FourierIndexList.size(), 1u);
  EXPECT_EQ(std::vector<int32_t>({FourierIndexList[0].h, FourierIndexList[0].l}), std::vector<int32_t>({2, 4})) << "half to even";
  EXPECT_EQ(FourierNotes, std::vector<std::string>({"Incomplete last record of 5 numbers dropped"}));
  // An index beyond an int32 refuses the file whole (it was converted with undefined behaviour
  // and summed into the map as h = INT_MIN).
  for (const char* bad : {"1e300", "-2147483648", "2147483648.0"}) {
    FourierIndexList = {{9, 9, 9, 1, 1}};
    f.ResetFromText(std::string("1 2 3 4 5 6 7\n0 ") + bad + " 1 1 1 1 1\n", "sf.txt");
    DialogOk = 1;
    ui.ExpectMessage("Error, an index beyond the integer range in sf.txt; nothing read");
    ReadStructureFactorRecords(f);
    EXPECT_EQ(DialogOk, 0) << bad;
    EXPECT_TRUE(FourierIndexList.empty()) << bad;
    EXPECT_EQ(FourierTermCount, 0);
  }
  f.ResetFromText("2147483647 -2147483647 0 1 1 1 1\n");
  ReadStructureFactorRecords(f);
  ASSERT_EQ(FourierIndexList.size(), 1u);
  EXPECT_EQ(FourierIndexList[0].k, -2147483647);
}

// The 4000-term cap says how many terms it left out (mended: silent).
TEST_F(SynthesisTest, TermCapIsReported) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {5, 5, 5, 90, 90, 90}));
  PhaseTable[1].ReflectionCount = 1;
  HklTable[1][1] = THklRecord{}, HklTable[1][1].h = HklTable[1][1].k = HklTable[1][1].l = 10, HklTable[1][1].A = 1;
  GenerateFourierTerms(1, 4);
  EXPECT_EQ(FourierIndexList.size(), 4000u);
  EXPECT_EQ(FourierNotes, std::vector<std::string>({"Only 4000 of 4630 terms used"}));
  // A sum that is not finite stores nothing.
  FourierMap[1][1][1] = 7, FourierIndexList = {{1, 0, 0, std::nan(""), 0}};
  ui.ExpectMessage("The Fourier sums are not finite numbers; no map made");
  int32_t n = 0;
  ComputeFourierMap(n, 1, 2);
  EXPECT_EQ(FourierMap[1][1][1], 7.0);
}

// The 1001st grid maximum ends the search with 1000 peaks; two fixed axes give none.
TEST_F(SynthesisTest, PeakSearchLimits) {
  for (int32_t i = 1; i <= 30; ++i)
    for (int32_t j = 1; j <= 30; ++j)
      for (int32_t k = 1; k <= 30; ++k) FourierMap[i][j][k] = (i % 2) * (j % 2) * (k % 2) * 1000.0;
  MapMax = 1000, MapMin = 0, MapNX = MapNY = MapNZ = 30, FixedAxis = 0;
  FourierIndexList.clear();
  ui.ExpectMessage("More than 1000 peaks found");
  FindMapPeaks(0, 1);
  EXPECT_EQ(FourierPeakCount, 1000);
  MapNY = MapNZ = 1, FixedAxis = 3;
  FindMapPeaks(0, 1);
  EXPECT_EQ(FourierPeakCount, 0);
}

// Two grid maxima along x of a P1 map with a flat series (the peaks stay on their grid points):
// 0.02 apart the symmetry merge keeps the first, 0.03 apart both stay.
TEST_F(SynthesisTest, NeighbouringMaximaMergeBelow003) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {5, 5, 5, 90, 90, 90}));
  FourierSettings.xLow = 0.5, FourierSettings.xStep = 0.01;
  MapMax = 1000, MapMin = 0, MapNX = MapNY = MapNZ = 30, FixedAxis = 0;
  ResolutionX = ResolutionY = ResolutionZ = 0.01;
  FourierIndexList = {{0, 0, 0, 1, 0}};
  for (const auto& [steps, kept] : {std::pair{2, 1}, std::pair{3, 2}}) {
    for (int32_t i = 1; i <= 30; ++i)
      for (int32_t j = 1; j <= 30; ++j)
        for (int32_t k = 1; k <= 30; ++k) FourierMap[i][j][k] = 0;
    FourierMap[5][10][10] = 1000, FourierMap[5 + steps][10][10] = 900;
    InfoLines.count = 0;
    FindMapPeaks(1, 1);
    ASSERT_EQ(FourierPeakCount, kept) << steps;
    EXPECT_EQ(FourierPeaks[1].x, 0.54);
  }
}

// Distances, verdicts, the unfolded atom, an atom without a free peak (mended: it showed the
// previous atom's peak), and one peak for two atoms.
TEST_F(SynthesisTest, PeaksAndAtoms) {
  Peaks({{0.4, 0.5, 0.5, 10}, {0.01, 0.5, 0.5, 5}});
  Atoms({{0.3, 0.5, 0.5}, {0.98, 0.5, 0.5}, {0.7, 0.7, 0.7}});
  AssignPeaksToAtoms(1);
  std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 13u);
  EXPECT_EQ(log[3], "   Distance =       0.10  Warning!");
  EXPECT_EQ(log[6], "   Distance =       0.97  Warning!");
  EXPECT_EQ(log[8], "       Peak=   0  0.0000  0.0000  0.0000  Ampl=     0.00");
  EXPECT_EQ(log[9], "   Distance = ******  Warning!");
  EXPECT_EQ(InfoLines.lines[InfoLines.count], "   3 (1) ");
  Peaks({{0.399, 0.5, 0.5, 10}});
  AssignPeaksToAtoms(1);
  EXPECT_EQ(LogLines()[16], "   Distance =       0.10  OK");
  ui.ExpectMessage("Less peaks than declared atoms");
  PeaksToAtomCoordinates(1);
  EXPECT_EQ(std::vector<double>({AtomTable[1][1].X, AtomTable[2][1].X}), std::vector<double>({0.399, 0.98}));
}
