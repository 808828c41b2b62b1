// The parameter-array editor through the scripted backend: an unchanged grid leaves every record
// bit for bit in every mode, a failed check keeps the user's texts and refuses N < 1,
// Cancel, values only, the caution, no parameters, a cell edit; the number format, the row
// markers and flags; the names and decimals of the Rietveld grid.
#include <memory>
#include "cell_rows_setup.h"
#include "core/dialog_toolkit.h"
#include "core/toolbox.h"
#include "crystal/metric_constraints.h"
#include "crystal/parameter_grids.h"

namespace {

TParameter* standInFitter = nullptr;
TParameter* StandInFitter() { return standInFitter; }
const std::string EditorCaption = "Parameter array. Mode= ";

class ParameterEditorTest : public CellRowsTest {
protected:
  void TearDown() override {
    CelixFitterAccess = nullptr;
    CellRowsTest::TearDown();
  }
  // The layout of MainMode in parar: its names, record i free around 0.5 + i. Returns n.
  static int32_t LayOut() {
    int32_t n = 0;
    CountParameters(n, MainMode);
    ParameterNames();
    for (int32_t i = 1; i <= n; ++i) parar[i] = ParameterRecord{i, -100.0 - i, 0.5 + i, 100.0 + i, 1, 0, 0, 0, parar[i].Name};
    return n;
  }
  // parar 1..n into the mode's object, with errors; remembered for Changed.
  void ToObject(int32_t n) {
    TParameter& fit = *ModeParameterObject();
    fit.NPar = n;
    for (int32_t i = 1; i <= n; ++i) fit.Records[i] = parar[i], fit.Records[i].Error = 0.01 * i;
    before_.assign(fit.Records.begin(), fit.Records.begin() + n + 1);
  }
  std::vector<int32_t> Changed() const {
    std::vector<int32_t> out;
    for (size_t i = 1; i < before_.size(); ++i)
      if (!SameRecord(ModeParameterObject()->Records[i], before_[i])) out.push_back(static_cast<int32_t>(i));
    return out;
  }
  // One phase (group, setting, cell), its metric records prepared with 5 % and constrained.
  static int32_t OnePhase(int32_t group, int32_t setting, const Six& cell) {
    MainMode = 0, PhaseCount = 1;
    EXPECT_TRUE(SetUpPhase(1, group, setting, cell));
    const int32_t n = LayOut();
    SetPreparedCellRecords(1, 5);
    ApplyMetricConstraints(parar, 12, PhaseTable[1].CrystalSystem, PhaseTable[1].Setting);
    return n;
  }
  std::vector<ParameterRecord> before_;
};

TEST_F(ParameterEditorTest, UnchangedGridLeavesEveryRecordBitForBitInEveryMode) {
  TParameter standIn(40, 10, 10);
  standInFitter = &standIn;
  for (int32_t mode : {0, 1, 2, 3}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    MainMode = mode;
    int32_t n = 0;
    if (mode == 0) {  // monoclinic (beta 80: a negative hl) and hexagonal, constrained, with atoms
      PhaseCount = 2;
      ASSERT_TRUE(SetUpPhase(1, 3, 2, {5.1, 6.2, 7.3, 90, 80, 90}, {IsoAtom(0.5, 0.1, 0.2, 0.3)}));
      ASSERT_TRUE(SetUpPhase(2, 186, 1, {3.2, 3.2, 5.2, 90, 90, 120}, {IsoAtom(0.6, 1.0 / 3, 2.0 / 3, 0.1)}));
      n = LayOut();
      for (int32_t k : {1, 2}) {
        SetPreparedCellRecords(k, 5);
        ApplyMetricConstraints(parar, FirstCellRecord(k), PhaseTable[k].CrystalSystem, PhaseTable[k].Setting);
      }
    } else if (mode == 1) {  // through a stand-in of the indexing fitter
      PhaseCount = 2, CynematicFit = 1, CelixFitterCreated = 1, CelixFitterAccess = StandInFitter;
      n = LayOut();
      SetCellRecords(1, {4.9, 5.9, 6.9, -0.31, 0.19, -0.1}, {5, 6, 7, -0.3, 0.2, 0}, {5.1, 6.1, 7.1, -0.29, 0.21, 0.1});
      SetCellRecords(2, {3, 3, 3, 0.5, 0.5, 0.5}, {3, 3, 3, 0.5, 0.5, 0.5}, {3, 3, 3, 0.5, 0.5, 0.5});
    } else if (mode == 2) {  // bounds of A, B, C below 0; a tie with any a and b
      PhaseCount = 1;
      ASSERT_TRUE(SetUpPhase(1, 2, 1, {5.2, 6.3, 7.4, 84, 97, 103}));
      PhaseTable[1].ReflectionCount = 2;
      HklTable[1][1].d = 2.5, HklTable[2][1].d = 1.25;
      n = LayOut();
      SetPreparedCellRecords(1, 150);
      parar[n].n = n - 1, parar[n].a = 0.25, parar[n].b = -3;
    } else {  // a fixed record and one on its bound
      MarkedPointCount = 2, WidthMode = -1;
      n = LayOut();
      parar[2].lower = parar[2].upper = parar[2].value;
      parar[3].value = parar[3].upper;
    }
    ParameterArrayMode = mode;
    ToObject(n);
    OptionFlags[9] = mode == 0;
    ui.ExpectDialog(EditorCaption + ModeNames[mode]).Ok();
    EditParameterArray();
    EXPECT_EQ(Changed(), std::vector<int32_t>{});
    EXPECT_EQ(DialogOk, 1);
  }
  std::vector<std::string> captions;  // the trace of the Rietveld run
  for (const auto& line : LogLines())
    if (line.rfind(" parar then LPA ", 0) == 0) captions.push_back(line.substr(16));
  EXPECT_EQ(captions, (std::vector<std::string>{"From gfit", "fit -> parar", "Read from Grid.Str.", "After dir to parar"}));
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ParameterEditorTest, FailedCheckKeepsTheUserTextsAndCopiesNothingUntilGood) {
  const int32_t n = OnePhase(16, 1, {5, 6, 7, 90, 90, 90});
  ASSERT_EQ(n, 20);
  ToObject(n);
  // Rows 5 and 7 get N = 0 and -3; rows 3 and 12 (the edge a, inside its bounds) are edited.
  ui.ExpectDialog(EditorCaption).Cell(3, 3, "7.5").Cell(1, 5, "0").Cell(1, 7, "-3").Cell(3, 12, "5.1").Ok();
  ui.ExpectDialog("")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.Label1.caption, " +++Parameter array is wrong ");
        EXPECT_EQ(f.ListBox1.items, (std::vector<std::string>{"Parameter 5", " Wrong n number", "Parameter 7", " Wrong n number"}));
      })
      .Ok();
  ui.ExpectDialog(EditorCaption)
      .Inspect([this](TForm2& f) {
        EXPECT_EQ(f.StringGrid1.Cell(3, 3), "7.5");
        EXPECT_EQ(f.StringGrid1.Cell(3, 12), "5.1");
        EXPECT_EQ(f.StringGrid1.Cell(1, 5), "0");
        EXPECT_EQ(Changed(), std::vector<int32_t>{}) << "nothing copied back yet";
      })
      .Cell(1, 5, "5")
      .Cell(1, 7, "7")
      .Ok();
  EditParameterArray();
  EXPECT_EQ(Changed(), (std::vector<int32_t>{3, 12}));  // B and C do not depend on a
  EXPECT_EQ(FitParameters->Records[3].value, 7.5);
  EXPECT_NEAR(FitParameters->Records[12].value, 1 / (5.1 * 5.1), 1e-12);
}

TEST_F(ParameterEditorTest, CancelValuesOnlyCautionAndNoParameters) {
  const int32_t n = OnePhase(16, 1, {5, 6, 7, 90, 90, 90});
  ToObject(n);
  ui.ExpectDialog(EditorCaption).Cell(3, 4, "9").Cell(1, 6, "x").Ok();
  ui.ExpectDialog("").Ok();
  ui.ExpectDialog(EditorCaption).Cancel();
  EditParameterArray();
  EXPECT_EQ(Changed(), std::vector<int32_t>{});
  EXPECT_EQ(DialogOk, 1);
  EXPECT_TRUE(SameRecord(parar[12], FitParameters->Records[12])) << "the working copy holds the records again";

  ParameterValuesOnly = 1;  // no bounds shown, nothing read back
  ui.ExpectDialog(EditorCaption)
      .Inspect([](TForm2& f) { EXPECT_TRUE(f.StringGrid1.Cell(2, 4).empty() && f.StringGrid1.Cell(4, 12).empty()); })
      .Cell(3, 4, "9")
      .Ok();
  EditParameterArray();
  EXPECT_EQ(Changed(), std::vector<int32_t>{});
  ParameterValuesOnly = 0;

  ParameterArrayMode = 2;
  ui.ExpectMessage("Caution, par.array was formed for the mode:  DazazeDedev ");
  ui.ExpectDialog(EditorCaption + ModeNames[0]).Ok();
  EditParameterArray();
  EXPECT_EQ(Changed(), std::vector<int32_t>{});

  FitParameters->NPar = 0;  // an empty object, then the indexing mode without its fitter
  EditParameterArray();
  EXPECT_EQ(StatusMessage, "No parameters");
  FitParameters->NPar = n, StatusMessage.clear(), MainMode = 1;
  EditParameterArray();
  EXPECT_EQ(StatusMessage, "No parameters");
}

TEST_F(ParameterEditorTest, HexagonalEdgesEditedToFour) {
  ToObject(OnePhase(186, 1, {3, 3, 5, 90, 90, 120}));
  // a = 4 with bounds around it; b follows a (a tied row takes any value).
  ui.ExpectDialog(EditorCaption).Cell(2, 12, "3.9").Cell(3, 12, "4").Cell(4, 12, "4.1").Cell(3, 13, "4").Ok();
  EditParameterArray();
  // gamma comes back from its display 8.8e-6 degree short of 120 (the program's pi in arccos):
  // A moves by 2 |cot gamma| 1.5e-7 relative, hk by tan 60 x 1.5e-7 more.
  const auto& r = FitParameters->Records;
  const auto near = [](double x, double y) { return std::fabs(x - y) <= 6e-7 * y; };
  for (int32_t i : {12, 13, 17}) EXPECT_PRED2(near, r[i].value, 1.0 / 12) << i;  // a* = 2 / (4 sqrt 3)
  EXPECT_PRED2(near, r[12].lower, 4.0 / (3 * 4.1 * 4.1));
  EXPECT_PRED2(near, r[12].upper, 4.0 / (3 * 3.9 * 3.9));
  EXPECT_TRUE(r[13].n == 12 && r[17].n == 12);
  EXPECT_TRUE(SameRecord(r[14], before_[14])) << "c untouched: C kept";
}

TEST_F(ParameterEditorTest, NumberFormatMarkersAndRowFlags) {
  const std::tuple<int32_t, double, const char*> formats[] = {
      {2, 0, "0"},           {6, 5, "5"},         {0, 5, "5"},           {2, 0.5, "0.50"},     {2, 0.01, "0.01"},
      {2, 0.001, "1.00000-3"}, {2, 123456, "1.23456+5"}, {2, 99000, "99000"}, {2, -99000, "-99000"},
      {2, 99000.5, "9.90005+4"}, {0, 0.5, "5.00000-1"}, {5, 12345.5, "1.23455+4"}};  // the last: no asterisks
  for (const auto& [decimals, x, text] : formats) {
    EXPECT_EQ(FormatParameterNumber(decimals, x), text) << decimals << " " << x;
    EXPECT_EQ(InputLine, text);
  }
  ShowParameterGrid(Form2.StringGrid1, 20);
  const std::tuple<int32_t, double, double, double, const char*> markers[] = {
      {12, 1, 1.5, 2, "12"},   {12, 1, 1, 2, "12 *B"},   {12, 1, 2, 2, "12 *B"}, {12, 2, 2, 2, "12"},
      {12, 1, 3, 2, "12 *W"}, {12, 3, 2.5, 2, "12 *W"}, {4, 1, 3, 2, "4"}};
  for (const auto& [n, lower, value, upper, shown] : markers) {
    parar[12] = ParameterRecord{n, lower, value, upper, 1, 0, 0, 0, ""};
    ShowParameterRow(12, 2);
    EXPECT_EQ(Form2.StringGrid1.Cell(1, 12), shown) << n << " " << lower << " " << value << " " << upper;
  }
  // Row 12 shown from (12, 1, 1.5, 2, 1, 0); cells N, lower, value, upper, a, b ("=" as shown).
  const std::tuple<std::array<const char*, 6>, std::vector<int32_t>> rows[] = {
      {{"12 *B", "=", "=", "=", "=", "="}, {}},
      {{"abc", "=", "=", "=", "=", "="}, {WrongNFlag}},
      {{"0", "=", "=", "=", "=", "="}, {WrongNFlag}},
      {{"-3", "=", "=", "=", "=", "="}, {WrongNFlag}},
      {{"13", "=", "=", "=", "=", "="}, {WrongNFlag}},
      {{"=", "=", "=", "=", "1", "0.5"}, {IndependenceFlag}},
      {{"=", "=", "2.5", "=", "=", "="}, {WrongUpperFlag}},
      {{"=", "3", "2", "1", "=", "="}, {WrongValueFlag, WrongUpperFlag}},
      {{"=", "nan", "=", "=", "1.2.3", ""}, {WrongLowerFlag, WrongAFlag, WrongBFlag}},
      {{"3", "1", "-5", "2", "0", "7"}, {}},  // a tie: any a, b and value
  };
  for (const auto& [cells, flags] : rows) {
    parar[12] = ParameterRecord{12, 1, 1.5, 2, 1, 0, 0, 0, ""};
    ShowParameterRow(12, 2);
    for (int32_t c = 0; c < 6; ++c)
      if (std::string(cells[c]) != "=") Form2.StringGrid1.Cell(c + 1, 12) = cells[c];
    ReadParameterRow(12);
    std::vector<int32_t> raised;
    for (int32_t f = 0; f < ParameterRowFlagCount; ++f)
      if (ParameterRowCheck.flags[f]) raised.push_back(f);
    EXPECT_EQ(raised, flags) << cells[0] << " " << cells[1] << " " << cells[2];
    EXPECT_EQ(ParameterRowCheck.badRow, flags.empty() ? 0 : 12);
  }
  EXPECT_EQ(Form2.StringGrid1.Cell(1, 12), "3");
  Form2.StringGrid1.Cell(1, 12) = "12 *B";  // the marker goes, the cleaned text stays in the cell
  ReadParameterRow(12);
  EXPECT_EQ(ParameterRowCheck.n, 12);
  EXPECT_EQ(Form2.StringGrid1.Cell(1, 12), "12   ");
}

// ---- the grid: names composed from the layout's and the atoms', and decimals (1.23456789 shown
// with 0..6 decimals); the plain names are the layout's own (core tests) ----

const char* const Decimals[7] = {"1", "1.2", "1.23", "1.235", "1.2346", "1.23457", "1.234568"};
struct Rows {
  int32_t first, decimals;
  std::vector<std::string> names;  // rows first, first + 1, ...
};
const std::vector<std::string> Background = {"Bckg-const", "Bckg-linear", "Bckg-quadra", "Bckg-cubic", "Bckgr.4", "Bckgr.5"};
const std::vector<std::string> CellNames = {"a", "b", "c", "alpha", "beta", "gamma"};
const std::vector<std::string> Widths = {"Width 0", "Width 1", "Width 2/Ext"};
const std::vector<std::string> Tensor = {"T11", "T12", "T13", "T22", "T23", "T33"};
const std::vector<std::string> M2 = {"m\"_0     ", "m\"_1     "};

class ParameterGridTest : public CellRowsTest {
protected:
  // Names by the layout, every value 1.23456789, the grid
  // of n rows, the filler; then every row against the expectations.
  static void Check(void (*filler)(), const std::vector<Rows>& expected) {
    int32_t n = 0;
    CountParameters(n, MainMode);
    ParameterNames();
    for (int32_t i = 1; i <= n; ++i)
      parar[i] = ParameterRecord{i, -10, 1.23456789, 10, 1, 0, 0, 0, parar[i].Name};
    ShowParameterGrid(Form2.StringGrid1, n);
    filler();
    int32_t rows = 0;
    for (const Rows& block : expected)
      for (size_t j = 0; j < block.names.size(); ++j, ++rows) {
        const int32_t i = block.first + static_cast<int32_t>(j);
        EXPECT_EQ(Form2.StringGrid1.Cell(0, i), block.names[j]) << "row " << i;
        EXPECT_EQ(Form2.StringGrid1.Cell(3, i), Decimals[block.decimals]) << "row " << i << " " << block.names[j];
      }
    EXPECT_EQ(rows, n) << "one expectation per row";
  }
};

TEST_F(ParameterGridTest, Rietveld) {
  MainMode = 0, PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 2, 1, {5, 6, 7, 80, 95, 100}, {IsoAtom(1, 0, 0, 0), IsoAtom(1, 0.5, 0.5, 0.5)}));
  ASSERT_TRUE(SetUpPhase(2, 16, 1, {5, 6, 7, 90, 90, 90}, {IsoAtom(1, 0.1, 0.2, 0.3)}));
  AtomTable[1][1].Name = "Fe", AtomTable[1][1].MagneticMoment = -2, AtomTable[2][1].Name = "Co", AtomTable[1][2].Name = "O";
  PhaseModelFlags[1] = 1, AnisotropyOn = 1, AnisotropicPhases[1] = 1, M2Mode = 1;
  Check(FillRietveldGrid,
        {{1, 5, {"FlightPath"}}, {2, 2, {"dTheta0", "Delay"}}, {4, 1, Background}, {10, 3, {"Spectr.Corr"}},
         {11, 5, {"Scale Phase1"}}, {12, 6, CellNames}, {18, 2, Widths},
         {21, 5, {"-OccMagM1", "X of Fe", "Y of Fe", "Z of Fe"}}, {25, 4, Tensor},
         {31, 5, {"+OccMagM2", "X of Co", "Y of Co", "Z of Co"}}, {35, 4, Tensor},
         {41, 5, {"Scale Phase2"}}, {42, 6, CellNames}, {48, 2, Widths},
         {51, 5, {"Occupation1", "X of O", "Y of O", "Z of O"}}, {55, 4, Tensor},
         {61, 4, {"Cos Phi_a P1", "Cos Phi_b", "Cos Phi_c", "", " ", " "}},
         {67, 4, {"AnisX   1", "AnisY    ", "AnisZ    ", "Anisotr_H", "Anisotr_K", "Anisotr_L", "AniGamma ",
                  "AniBeta  ", "AniAlpha ", "AniH2    ", "AniK2    ", "AniL2    "}},
         {79, 4, {"", " ", " ", " ", " ", " ", " ", " ", " ", " ", " ", " "}}, {91, 5, M2}});
  ShowParameterGrid(Form2.StringGrid1, 50);  // a grid shorter than the layout: nothing past it
  FillRietveldGrid();
}

}  // namespace
