// Cell work rows against gemmi's reciprocal metric (tools/gen_cell_rows_golden.py: cells of the
// seven systems, bounds included) and back; bounds that invert through a = 1/a*; the indexing
// cosines; accuracies above 100 %; the cell dialog and the constraints of the chosen system.
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include "cell_rows_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

// The program's degree is 1/57.29578 radian and its arccos takes pi as 3.1415925: a cosine that
// passes an obtuse angle moves by up to 1.5e-7 (a cross term by that much of 2 a* b*), reciprocal
// edges by about 1e-8. A round trip meets that pi in each reciprocal angle and again in a direct
// angle, which gathers all three: a sharp rhombohedral cell collects about 6e-5 degree.
constexpr double CosineSlack = 2e-7, EdgeSlack = 1e-7, AngleRoundTrip = 1e-4, EdgeRoundTrip = 1e-6;

double MetricSlack(const Six& g, int32_t q) {
  if (q < 3) return EdgeSlack * g[q];
  const int32_t i = q == 3 ? 1 : 0, j = q == 5 ? 1 : 2;  // kl: b* c*, hl: a* c*, hk: a* b*
  return CosineSlack * 2 * std::sqrt(g[i] * g[j]);
}

void ExpectCell(const double* row, const Six& cell, const std::string& what) {
  for (int32_t q = 0; q < 6; ++q) EXPECT_NEAR(row[q], cell[q], q < 3 ? EdgeRoundTrip * cell[q] : AngleRoundTrip) << what << " " << q;
}

void SetWorkRows(const Six& lower, const Six& value, const Six& upper) {
  for (int32_t q = 0; q < 6; ++q) CellWorkRows[0][q] = lower[q], CellWorkRows[1][q] = value[q], CellWorkRows[2][q] = upper[q];
}

TEST_F(CellRowsTest, EveryRowAgreesWithGemmiAndComesBack) {
  std::map<std::string, std::array<std::array<Six, 2>, 3>> cases;  // key -> rows of (cell, metric)
  std::map<std::string, std::array<Six, 2>> single;                 // key -> bounds one at a time
  for (const Tokens& t : GoldenRows("cell_rows_golden.txt", "crystal")) {
    const std::string key = t.size() > 4 ? t[1] + "/" + t[2] + "/" + t[3] : "";
    if (t.at(0) == "one")
      for (size_t q = 0; q < 6; ++q) single[key][t[4] == "lower" ? 0 : 1][q] = std::stod(t.at(5 + q));
    if (t.at(0) != "row") continue;
    auto& row = cases[key][t[4] == "lower" ? 0 : t[4] == "value" ? 1 : 2];
    for (size_t i = 0; i < 12; ++i) row[i / 6][i % 6] = std::stod(t.at(5 + i));
  }
  ASSERT_EQ(single.size(), 24u);
  ASSERT_EQ(cases.size(), 24u);  // 3 per system, both monoclinic settings
  ASSERT_EQ(FirstCellRecord(1), 12);
  for (const auto& [key, rows] : cases) {
    for (const auto& [cell, metric] : rows) {  // each row alone, there and back
      SetWorkRows(cell, cell, cell);
      ASSERT_TRUE(CellToMetricRows(1, 1));
      for (int32_t q = 0; q < 6; ++q) EXPECT_NEAR(parar[12 + q].value, metric[q], MetricSlack(metric, q)) << key << " " << q;
      ASSERT_TRUE(MetricRowsToCell(1));
      for (const auto& w : CellWorkRows) ExpectCell(w, cell, key + " round trip");
    }
    // The three rows together: each record's bounds are gemmi's coefficient of the value cell
    // with that record's own quantity at its bound, in order (the lower edge gives the upper A),
    // and a free record stays free. Back, every bound of the cell is the one given, and stays so
    // through further passes (a save and a reading each) but for the value row's own round trip,
    // which each pass repeats.
    SetWorkRows(rows[0][0], rows[1][0], rows[2][0]);
    ASSERT_TRUE(CellToMetricRows(1, 1));
    const auto& one = single.at(key);
    for (int32_t q = 0; q < 6; ++q) {
      const double lo = one[0][q], v = rows[1][1][q], hi = one[1][q], tol = MetricSlack(rows[1][1], q);
      EXPECT_NEAR(parar[12 + q].lower, std::min({lo, v, hi}), tol) << key << " " << q;
      EXPECT_NEAR(parar[12 + q].upper, std::max({lo, v, hi}), tol) << key << " " << q;
      EXPECT_TRUE(lo == hi || parar[12 + q].lower < parar[12 + q].upper) << key << " " << q;
    }
    for (int32_t pass = 1; pass <= 3; ++pass) {
      if (pass > 1) ASSERT_TRUE(CellToMetricRows(1, 0));
      ASSERT_TRUE(MetricRowsToCell(1));
      OrderCellBounds(1);
      for (int32_t q = 0; q < 6; ++q) {
        const auto [lo, hi] = std::minmax(rows[0][0][q], rows[2][0][q]);
        const double tol = pass * (q < 3 ? EdgeRoundTrip * hi : AngleRoundTrip);
        EXPECT_NEAR(parar[12 + q].value, rows[1][0][q], tol) << key << " " << q << " " << pass;
        EXPECT_NEAR(parar[12 + q].lower, lo, tol) << key << " " << q << " " << pass;
        EXPECT_NEAR(parar[12 + q].upper, hi, tol) << key << " " << q << " " << pass;
      }
    }
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CellRowsTest, HexagonalMetricIndexingCosinesAndBoundsInOrder) {
  // a = 3, c = 5, gamma = 120: a* = 2 / (3 sqrt 3), A = hk = 4/27 (gamma* = 60).
  SetWorkRows({3, 3, 5, 90, 90, 120}, {3, 3, 5, 90, 90, 120}, {3, 3, 5, 90, 90, 120});
  ASSERT_TRUE(CellToMetricRows(1, 1));
  EXPECT_NEAR(parar[12].value, 4.0 / 27, 1e-8);
  EXPECT_NEAR(parar[17].value, 4.0 / 27, 1e-8);
  EXPECT_TRUE(parar[15].value == 0 && parar[16].value == 0);
  // Lower 6, value 5, upper 4 for a: viewed again, 4, 5, 6.
  SetWorkRows({6, 6, 7, 90, 90, 90}, {5, 6, 7, 90, 90, 90}, {4, 6, 7, 90, 90, 90});
  ASSERT_TRUE(CellToMetricRows(1, 1));
  ASSERT_TRUE(MetricRowsToCell(1));
  OrderCellBounds(1);
  EXPECT_NEAR(parar[12].lower, 4, 1e-9);
  EXPECT_NEAR(parar[12].value, 5, 1e-9);
  EXPECT_NEAR(parar[12].upper, 6, 1e-9);

  // Indexing: alpha obtuse, beta acute, gamma across 90, the cosines' bounds ascending. A negative
  // upper cosine is swapped first; the angles are shown in order; the cosines come back ascending.
  MainMode = 1;
  ASSERT_EQ(FirstCellRecord(1), 1);
  const Six lo{4.9, 5.9, 6.9, -0.21, 0.19, -0.1}, hi{5.1, 6.1, 7.1, -0.19, 0.21, 0.1};
  SetCellRecords(1, lo, {5, 6, 7, -0.2, 0.2, 0}, hi);
  const auto deg = [](double c) { return std::acos(c) * 180 / std::numbers::pi; };
  ASSERT_TRUE(MetricRowsToCell(1));
  EXPECT_NEAR(CellWorkRows[LowerCellRow][3], deg(-0.19), AngleRoundTrip);
  OrderCellBounds(1);
  for (int32_t q = 3; q < 6; ++q) {
    EXPECT_NEAR(parar[1 + q].lower, deg(hi[q]), AngleRoundTrip) << q;
    EXPECT_NEAR(parar[1 + q].upper, deg(lo[q]), AngleRoundTrip) << q;
  }
  ASSERT_TRUE(CellToMetricRows(1, 0));
  for (int32_t q = 0; q < 6; ++q) {
    EXPECT_NEAR(parar[1 + q].lower, lo[q], CosineSlack) << q;
    EXPECT_NEAR(parar[1 + q].upper, hi[q], CosineSlack) << q;
  }
}

TEST_F(CellRowsTest, AccuracyAbove100PercentAndABrokenValueRow) {
  ASSERT_TRUE(SetUpPhase(1, 2, 1, {5.2, 6.3, 7.4, 84, 97, 103}));
  SetPreparedCellRecords(1, 150);  // lower bounds of A, B, C at -0.5 of the value
  ASSERT_TRUE(MetricRowsToCell(1));
  for (const auto& row : CellWorkRows)
    for (double x : row) EXPECT_TRUE(std::isfinite(x));
  ExpectCell(CellWorkRows[ValueCellRow], {5.2, 6.3, 7.4, 84, 97, 103}, "value row");
  OrderCellBounds(1);
  EXPECT_GT(parar[12].upper, 100 * 5.2);  // from 1e-6 A: large, finite
  // Confirmed unchanged in the dialog, every record stays bit for bit.
  SetPreparedCellRecords(1, 150);
  const std::vector<ParameterRecord> before(parar + 12, parar + 18);
  ui.ExpectDialog("Edit unit cell parameters if needed").Ok();
  EditCellParameters();
  for (int32_t q = 0; q < 6; ++q) EXPECT_TRUE(SameRecord(parar[12 + q], before[q])) << q;
  // A value row without a positive A: a message, no dialog, nothing changed.
  parar[12].value = -1e-3;
  const std::vector<ParameterRecord> broken(parar + 12, parar + 18);
  ui.ExpectMessage("Wrong cell records of phase 1");
  EditCellParameters();
  for (int32_t q = 0; q < 6; ++q) EXPECT_TRUE(SameRecord(parar[12 + q], broken[q])) << q;
}

TEST_F(CellRowsTest, WrongCellShowsTheMessageAndTheDialogAgain) {
  ASSERT_TRUE(SetUpPhase(1, 16, 1, {5, 6, 7, 90, 90, 90}));
  SetPreparedCellRecords(1, 5);
  const std::vector<ParameterRecord> before(parar + 12, parar + 18);
  // Columns lower, value, upper; rows A, B, C, ALPHA, BETA, GAMMA.
  const std::tuple<int32_t, int32_t, const char*> bad[] = {{1, 0, "0"}, {0, 1, "-2"}, {2, 3, "180"}, {1, 4, ""}};
  for (const auto& [col, row, text] : bad) {
    ui.ExpectDialog("Edit unit cell parameters if needed").Cell(col, row, text).Ok();
    ui.ExpectMessage("Wrong unit cell parameters");
  }
  // No number at all: named at OK, the window stays up with it.
  ui.ExpectDialog("Edit unit cell parameters if needed").Cell(1, 2, "abc").Press(1).Cell(1, 2, "7").Cell(2, 5, "nan")
      .Press(1).Inspect([](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(2, 5), "nan"); }).Cancel();
  ui.ExpectMessage("Error, C (column 2): \"abc\" is not a number");
  ui.ExpectMessage("Error, GAMMA (column 3): \"nan\" is not a number");
  EditCellParameters();
  for (int32_t q = 0; q < 6; ++q) EXPECT_TRUE(SameRecord(parar[12 + q], before[q])) << q;
}

TEST_F(CellRowsTest, ChosenSystemConstrainsTheMetricRecords) {
  // Cubic: B and C follow A with A's bounds and value; the cross terms are 0.
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {5.0, 5.0, 5.0, 90, 90, 90}));
  SetPreparedCellRecords(1, 5);
  ui.ExpectDialog("Edit unit cell parameters if needed").Radio(5).Ok();
  EditCellParameters();
  EXPECT_EQ(PhaseTable[1].CrystalSystem, 5);
  for (int32_t r : {13, 14}) {
    ParameterRecord a = parar[12];
    a.n = 12;
    EXPECT_TRUE(SameRecord(parar[r], a)) << r;
  }
  for (int32_t r : {15, 16, 17}) EXPECT_TRUE(parar[r].lower == 0 && parar[r].value == 0 && parar[r].upper == 0);

  // Monoclinic: unique axis c (setting 1, gamma free) keeps hk and zeroes kl, hl; unique axis b
  // (setting 2) keeps hl. 1/d^2 from the records is gemmi's.
  std::map<std::pair<int32_t, std::string>, double> gemmi;
  for (const Tokens& t : GoldenRows("cell_rows_golden.txt", "crystal"))
    if (t.at(0) == "d2") gemmi[{std::stoi(t[2]), t[9] + t[10] + t[11]}] = std::stod(t[12]);
  for (int32_t setting : {1, 2}) {
    ASSERT_TRUE(SetUpPhase(1, 3, setting, setting == 1 ? Six{5.1, 6.2, 7.3, 90, 90, 100} : Six{5.1, 6.2, 7.3, 90, 100, 90}));
    SetPreparedCellRecords(1, 5);
    const int32_t kept = setting == 1 ? 17 : 16, zeroed = setting == 1 ? 16 : 17;
    const ParameterRecord unique = parar[kept];
    ui.ExpectDialog("Edit unit cell parameters if needed").Radio(2).Ok();
    EditCellParameters();
    EXPECT_TRUE(SameRecord(parar[kept], unique)) << setting;
    EXPECT_TRUE(parar[15].value == 0 && parar[zeroed].value == 0) << setting;
    const auto m = [](int32_t q) { return parar[12 + q].value; };
    for (const auto& [h, k, l] : {std::array{1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}}) {
      const double d2 = m(0) * h * h + m(1) * k * k + m(2) * l * l + m(3) * k * l + m(4) * h * l + m(5) * h * k;
      const double expected = gemmi.at({setting, std::to_string(h) + std::to_string(k) + std::to_string(l)});
      EXPECT_NEAR(d2, expected, 1e-6 * expected) << setting << " " << h << k << l;
    }
  }
}

}  // namespace
