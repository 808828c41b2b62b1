// Cells after a fit: cells and cell errors from the metric records against numpy
// (tools/gen_cell_update_golden.py: the inverse metric tensor, its Jacobian by the complex step),
// round trips through the phase metric for every crystal system, records that form no cell, the
// modes without phase blocks, and the refreshed reflections.
#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/parameter_layout.h"
#include "crystal/cell_update.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"
#include "phase_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

using Cell = std::array<double, 6>;

class CellUpdateTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    if (!FitParameters) CreateFitParameters();
    records_ = FitParameters->Records;
    for (auto& r : FitParameters->Records) r = ParameterRecord{};
  }
  void TearDown() override {
    FitParameters->Records = records_;
    PhaseTest::TearDown();
  }
  static ParameterRecord* Rec() { return FitParameters->Records.data(); }
  // The metric records of phase k: values g (record order h^2, k^2, l^2, kl, hl, hk) and errors.
  static void SetMetricRecords(int32_t k, const std::array<double, 6>& g, const std::array<double, 6>& s = {}) {
    const int32_t b = PhaseParameterOffset(k);
    for (int32_t i = 0; i < 6; ++i) Rec()[b + 2 + i].value = g[i], Rec()[b + 2 + i].Error = s[i];
  }
  // Phase k with the cell and system, its reciprocal cell and metric; the records hold its metric.
  static void CellPhase(int32_t k, const Cell& cell, int32_t system) {
    LATTICE& p = PhaseTable[k];
    std::copy(cell.begin(), cell.end(), p.Cell);
    p.CrystalSystem = system;
    CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
    p.Volume = CellVolume(p.Cell);
    PhaseMetric(k);
    const auto g = MetricRecordOrder(p.Metric);
    SetMetricRecords(k, {g[0], g[1], g[2], g[3], g[4], g[5]});
  }
  // The program's arccos takes pi as 3.1415925: an obtuse angle comes out 1.5e-7 radian
  // (8.6e-6 degree) small, and one direct angle depends on all three reciprocal ones. From the
  // records the cell passes through it twice (3e-5 degree); a round trip from a cell, twice more.
  static void ExpectCell(const double* got, const Cell& want, const std::string& what, double angleTolerance = 3e-5) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-6 * want[i]) << what << " edge " << i;
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(got[i], want[i], angleTolerance) << what << " angle " << i;
  }
  static std::vector<double> Snapshot(int32_t k) {
    const LATTICE& p = PhaseTable[k];
    std::vector<double> v(p.Cell, p.Cell + 6);
    v.insert(v.end(), p.ReciprocalCell, p.ReciprocalCell + 6);
    v.insert(v.end(), p.PreviousCell, p.PreviousCell + 6);
    v.insert(v.end(), p.CellErrors, p.CellErrors + 6);
    v.insert(v.end(), p.Metric, p.Metric + 6);
    v.insert(v.end(), {p.Volume, p.PreviousVolume, p.ReciprocalVolume, p.MaxF, p.MaxQ});
    v.insert(v.end(), p.MomentDirection, p.MomentDirection + 3);
    for (int32_t i = 1; i <= p.ReflectionCount; ++i) v.insert(v.end(), {HklTable[i][k].d, HklTable[i][k].A});
    for (int32_t a = 1; a <= p.AtomCount; ++a) v.insert(v.end(), {AtomTable[a][k].X, AtomTable[a][k].Occupation});
    return v;
  }

private:
  std::vector<ParameterRecord> records_;
  KeepValues<uint8_t> aniso_{&AnisotropyOn, 1}, anisoPhases_{AnisotropicPhases, MaxPhases + 1}, m2_{&M2Mode, 1};
  KeepValues<double> m2Values_{M2ModeValues, 2};
};

double Num(const std::string& s) { return std::stod(s); }

void CheckGolden(const std::vector<Tokens>& rows, const std::vector<Tokens>& want, double rel) {
  ASSERT_EQ(rows.size(), want.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), want[r].size());
    for (size_t i = 1; i < rows[r].size(); ++i)
      EXPECT_NEAR(Num(rows[r][i]), Num(want[r][i]), rel * std::fabs(Num(want[r][i])) + 1e-18) << "row " << r << " item " << i;
  }
}

}  // namespace

TEST_F(CellUpdateTest, CellsAndErrorsAgreeWithTheNumpyJacobian) {
  const auto rows = GoldenRows("cell_update_golden.txt", "crystal");
  ASSERT_EQ(rows.size(), 11u);
  for (const Tokens& t : rows) {
    ASSERT_EQ(t.size(), 26u);
    PhaseTable[1] = LATTICE{};
    PhaseTable[1].CrystalSystem = std::stoi(t[1]);
    SetMetricRecords(1, {Num(t[2]), Num(t[3]), Num(t[4]), Num(t[5]), Num(t[6]), Num(t[7])},
                     {Num(t[8]), Num(t[9]), Num(t[10]), Num(t[11]), Num(t[12]), Num(t[13])});
    UpdatePhasesFromParameters();
    const LATTICE& p = PhaseTable[1];
    ExpectCell(p.Cell, {Num(t[14]), Num(t[15]), Num(t[16]), Num(t[17]), Num(t[18]), Num(t[19])}, "system " + t[1]);
    // Both sides evaluate the same derivatives in double precision at the same G: only rounding
    // differs (numpy's complex step is exact to rounding).
    for (int i = 0; i < 6; ++i) {
      const double want = Num(t[20 + i]);
      EXPECT_NEAR(p.CellErrors[i], want, 1e-10 * want + 1e-16) << "system " << t[1] << " error " << i;
    }
    // V = 1 / sqrt(det G*), G* the reciprocal metric tensor of the records.
    const double g1 = Num(t[2]), g2 = Num(t[3]), g3 = Num(t[4]), x = Num(t[5]) / 2, y = Num(t[6]) / 2, z = Num(t[7]) / 2;
    const double volume = 1 / std::sqrt(g1 * g2 * g3 + 2 * x * y * z - g1 * x * x - g2 * y * y - g3 * z * z);
    // The reciprocal angles in degrees carry the arccos's pi: three obtuse ones shift the
    // volume by 4e-7 relative (the acute rhombohedral cell).
    EXPECT_NEAR(p.Volume, volume, 1e-6 * volume);
    EXPECT_NEAR(p.ReciprocalVolume * volume, 1.0, 1e-6);
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CellUpdateTest, GoldenGeneratorRerunsLive) {
  VKEST_REQUIRE_PYTHON("numpy");
  const auto out = TestTempPath("cell_update_golden.txt");
  ASSERT_EQ(RunTool("gen_cell_update_golden.py", out.string()), 0);
  // The same numpy computation; a 3x3 inverse by another LAPACK build may differ in the last
  // digits, which a condition number of about 10 leaves below 1e-13 relative.
  CheckGolden(TokenRows(out), GoldenRows("cell_update_golden.txt", "crystal"), 1e-11);
  std::filesystem::remove(out);
}

TEST_F(CellUpdateTest, CellRoundTripsThroughThePhaseMetricForEverySystem) {
  const std::vector<std::pair<int32_t, Cell>> cells = {
      {1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}}, {2, {5.6, 6.1, 7.9, 90, 97.3, 90}},
      {3, {4.2, 5.3, 6.4, 90, 90, 90}},        {4, {3.9, 3.9, 9.7, 90, 90, 90}},
      {5, {5.4309, 5.4309, 5.4309, 90, 90, 90}}, {6, {3.2094, 3.2094, 5.2108, 90, 90, 120}},
      {7, {5.4, 5.4, 5.4, 55.3, 55.3, 55.3}}};
  for (const auto& [system, cell] : cells) {
    CellPhase(1, cell, system);
    const double volume = PhaseTable[1].Volume;
    for (int i = 0; i < 6; ++i) PhaseTable[1].Cell[i] = 1.0 + i;  // what the update must replace
    const Cell placeholder = {1, 2, 3, 4, 5, 6};
    UpdatePhasesFromParameters();
    const LATTICE& p = PhaseTable[1];
    ExpectCell(p.Cell, cell, "system " + std::to_string(system), 1e-4);
    EXPECT_EQ(Cell(std::to_array(p.PreviousCell)), placeholder);
    EXPECT_EQ(p.PreviousVolume, volume);
    EXPECT_NEAR(p.Volume, volume, 1e-6 * volume);
    EXPECT_EQ(Cell(std::to_array(p.CellErrors)), Cell{}) << "records without errors";
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CellUpdateTest, RecordsThatFormNoCellLeaveThePhaseAsItWas) {
  PhaseCount = 2;
  SetUpPhase(1, 1, 1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}, {IsoAtom(0.5, 0.1, 0.2, 0.3)});
  SetUpPhase(2, 1, 1, {5.0, 5.0, 5.0, 90, 90, 90});
  for (int k = 1; k <= 2; ++k) {
    PhaseTable[k].ReflectionCount = 1;
    HklTable[1][k] = THklRecord{1, 1, 0, 2, 0.5, 0, 1, 3.0, 1, 0};
  }
  CellPhase(1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}, 1);
  Rec()[PhaseParameterOffset(1) + 12].value = 0.4;  // atom 1 X: not taken either
  const double a = PhaseTable[1].ReciprocalCell[0], b = PhaseTable[1].ReciprocalCell[1];
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const int32_t b1 = PhaseParameterOffset(1) + 2;  // G1 of phase 1
  struct Case {
    int32_t record;  // 0..5: G1..G6
    double value;
    const char* message;
  };
  const Case cases[] = {
      {0, 0.0, "Wrong unit cell parameters"},
      {1, nan, "Wrong unit cell parameters"},
      {2, inf, "Wrong unit cell parameters"},
      {5, 2 * 1.25 * a * b, "Error, unit cell cosines are wrong."},  // cos gamma* = 1.25
      {4, nan, "Error, unit cell cosines are wrong."},
      {5, -inf, "Error, unit cell cosines are wrong."},
  };
  for (const Case& c : cases) {
    CellPhase(1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}, 1);
    const auto before = Snapshot(1);
    Rec()[b1 + c.record].value = c.value;
    CellPhase(2, {5.0, 5.0, 5.0, 90, 90, 90}, 5);
    SetMetricRecords(2, {1 / 25.5, 1 / 25.5, 1 / 25.5, 0, 0, 0});  // a = 5.05
    ui.Clear();
    UpdatePhasesFromParameters();
    EXPECT_EQ(ui.Messages(), Tokens{c.message}) << c.record;
    EXPECT_EQ(Snapshot(1), before) << c.record;
    EXPECT_NEAR(PhaseTable[2].Cell[0], std::sqrt(25.5), 1e-9) << "the other phase is updated";
    EXPECT_NEAR(HklTable[1][2].d, std::sqrt(25.5 / 2), 2e-8 * 3.6);  // cos 90 held as 1.3e-8
  }
  // Cosines each inside +-1 that span no volume: 0.6, 0.6 and -0.9.
  const double c = PhaseTable[1].ReciprocalCell[2];
  CellPhase(1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}, 1);
  const auto before = Snapshot(1);
  SetMetricRecords(1, {a * a, b * b, c * c, 2 * 0.6 * b * c, 2 * 0.6 * a * c, -2 * 0.9 * a * b});
  ui.Clear();
  UpdatePhasesFromParameters();
  EXPECT_EQ(ui.Messages(), Tokens{"Error, unit cell cosines are wrong."});
  EXPECT_EQ(Snapshot(1), before);
  for (double x : PhaseTable[1].Cell) EXPECT_TRUE(std::isfinite(x));
}

TEST_F(CellUpdateTest, ModesWithoutPhaseBlocksLeaveThePhasesAlone) {
  SetUpPhase(1, 1, 1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}, {IsoAtom(0.5, 0.1, 0.2, 0.3)});
  PhaseTable[1].ReflectionCount = 1;
  HklTable[1][1] = THklRecord{1, 0, 0, 2, 0.5, 0, 1, 3.0, 1, 0};
  const auto before = Snapshot(1);
  for (auto& r : FitParameters->Records) r.value = 0.02, r.Error = 1e-3;  // a usable metric anywhere
  for (int32_t mode : {1, 3}) {
    MainMode = mode;
    UpdatePhasesFromParameters();
    EXPECT_EQ(Snapshot(1), before) << "mode " << mode;
  }
  EXPECT_TRUE(ui.Messages().empty());
  MainMode = 2;  // powder match: the cell and d follow, atoms and structure factors do not
  UpdatePhasesFromParameters();
  // All reciprocal cosines 0.5: a = sin alpha* / (a* sqrt(1 - 3/4 + 1/4)).
  EXPECT_NEAR(PhaseTable[1].Cell[0], std::sqrt(0.75) / (std::sqrt(0.02) * std::sqrt(0.5)), 1e-5);
  EXPECT_NE(HklTable[1][1].d, 3.0);
  EXPECT_EQ(HklTable[1][1].A, 0.5);
  EXPECT_EQ(AtomTable[1][1].X, 0.1);
}

TEST_F(CellUpdateTest, RietveldRefreshesDAndStructureFactorsFromTheRecords) {
  // P2(1)2(1)2(1): no inversion, screw axes, so A and B both depend on the coordinates.
  ASSERT_TRUE(SetUpPhase(1, 19, 1, {5.1, 6.2, 7.3, 90, 90, 90},
                         {IsoAtom(0.5, 0.11, 0.23, 0.37, 0.4), IsoAtom(0.9, 0.31, 0.07, 0.62, 0.6)}));
  const int32_t hkl[][4] = {{1, 1, 1, 8}, {2, 1, 0, 4}, {0, 1, 3, 4}, {1, 2, 3, 8}, {3, 0, 1, 4}};
  PhaseTable[1].ReflectionCount = 5;
  for (int i = 0; i < 5; ++i) {
    THklRecord& r = HklTable[i + 1][1];
    r = THklRecord{};
    r.h = hkl[i][0], r.k = hkl[i][1], r.l = hkl[i][2], r.Multiplicity = hkl[i][3];
    Q0 = CellInverseDSquared(PhaseTable[1], r.h, r.k, r.l);
    CalcStructureFactor(0, 1, r.h, r.k, r.l, r.Multiplicity, 0, r.A, r.B, r.q);
  }
  const auto old = PhaseReflections(1);
  const std::array<double, 6> G = {1 / (5.2 * 5.2), 1 / (6.1 * 6.1), 1 / (7.4 * 7.4), 0, 0, 0};
  SetMetricRecords(1, G);
  const int32_t b = PhaseParameterOffset(1);
  const double atoms[2][10] = {{0.8, 0.12, 0.21, 0.35, 0.7, 0, 0, 0, 0, 0},
                               {1.0, 0.29, 0.09, 0.64, 0.3, 0, 0, 0, 0, 0}};
  for (int a = 0; a < 2; ++a)
    for (int i = 0; i < 10; ++i) Rec()[b + 10 * (a + 1) + 1 + i].value = atoms[a][i], Rec()[b + 10 * (a + 1) + 1 + i].Error = 1e-3 * (i + 1);
  UpdatePhasesFromParameters();
  EXPECT_TRUE(ui.Messages().empty());
  for (int a = 1; a <= 2; ++a) {
    const ATOM& t = AtomTable[a][1];
    EXPECT_EQ(std::vector<double>({t.Occupation, t.X, t.Y, t.Z, t.T11}),
              std::vector<double>(atoms[a - 1], atoms[a - 1] + 5));
    EXPECT_DOUBLE_EQ(t.Errors[9], 1e-2);
    EXPECT_EQ(t.IsotropicFlag, 1) << "T22 and T33 fixed at 0";
  }
  double maxF = 0;
  for (int i = 1; i <= 5; ++i) {
    const THklRecord& r = HklTable[i][1];
    // Right angles; the cell holds them in degrees at 57.29578 per radian, so cos 90 is 1.2e-8.
    const double Q = G[0] * r.h * r.h + G[1] * r.k * r.k + G[2] * r.l * r.l;
    EXPECT_NEAR(r.d, 1 / std::sqrt(Q), 2e-8 * r.d) << i;
    double A, B, q;
    Q0 = 1 / (r.d * r.d);
    CalcStructureFactor(0, 1, r.h, r.k, r.l, r.Multiplicity, 0, A, B, q);  // the updated atoms
    EXPECT_NEAR(r.A, A, 1e-12) << i;
    EXPECT_NEAR(r.B, B, 1e-12) << i;
    EXPECT_GT(std::hypot(r.A - old[i - 1].A, r.B - old[i - 1].B), 1e-3) << "changed by the fit";
    maxF = std::max(maxF, std::hypot(A, B));
  }
  EXPECT_NEAR(PhaseTable[1].MaxF, maxF, 1e-12);
}

TEST_F(CellUpdateTest, MomentAnisotropyAndM2ComeFromTheirRecords) {
  ASSERT_TRUE(SetUpPhase(1, 1, 1, {4.0, 4.0, 4.0, 90, 90, 90}, {IsoAtom(0.5, 0, 0, 0)}));
  PhaseModelFlags[1] = 1;
  AtomTable[1][1].Occupation = 2.0, AtomTable[1][1].MagneticMoment = -3.0;
  AnisotropyOn = 1, AnisotropicPhases[1] = 1, M2Mode = 1;
  CellPhase(1, {4.0, 4.0, 4.0, 90, 90, 90}, 1);
  const int32_t b = PhaseParameterOffset(1);
  Rec()[b + 11].value = 0.5;  // occupation x moment
  const int32_t m = ParameterCount(0), an = ParameterCount(1), m2 = ParameterCount(2);
  EXPECT_EQ(m, b + 20);
  for (int i = 1; i <= 3; ++i) Rec()[m + i].value = 0.1 * i;
  for (int i = 1; i <= 12; ++i) Rec()[an + i].value = i;
  Rec()[m2 + 1].value = 7, Rec()[m2 + 2].value = 8;
  UpdatePhasesFromParameters();
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(std::vector<double>(p.MomentDirection, p.MomentDirection + 3), std::vector<double>({0.1, 0.2, 0.1 * 3}));
  EXPECT_EQ(p.Anisotropy[0], 1);
  EXPECT_EQ(p.Anisotropy[11], 12);
  EXPECT_EQ(std::vector<double>({M2ModeValues[0], M2ModeValues[1]}), std::vector<double>({7, 8}));
  EXPECT_EQ(AtomTable[1][1].Occupation, 2.0);
  EXPECT_EQ(AtomTable[1][1].MagneticMoment, -0.25) << "sign kept, size from the record / occupation";
}
