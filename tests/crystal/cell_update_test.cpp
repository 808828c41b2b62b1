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

Cell Six(const Tokens& t, size_t at) {
  Cell c;
  for (size_t i = 0; i < 6; ++i) c[i] = std::stod(t.at(at + i));
  return c;
}

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
  static void SetMetricRecords(int32_t k, const Cell& g, const Cell& s = {}) {
    ParameterRecord* r = Rec() + PhaseParameterOffset(k) + 2;
    for (int32_t i = 0; i < 6; ++i) r[i].value = g[i], r[i].Error = s[i];
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
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], i < 3 ? 1e-6 * want[i] : angleTolerance) << what << " " << i;
  }
  // What an update may change: the phase's cells and maxima, its first reflection and atom.
  static std::vector<double> Snapshot(int32_t k) {
    const LATTICE& p = PhaseTable[k];
    std::vector<double> v = {p.Volume, p.PreviousVolume, p.ReciprocalVolume, p.MaxF, p.MaxQ, HklTable[1][k].d,
                             HklTable[1][k].A, AtomTable[1][k].X, AtomTable[1][k].Occupation};
    for (const double* a : {p.Cell, p.ReciprocalCell, p.PreviousCell, p.CellErrors, p.Metric}) v.insert(v.end(), a, a + 6);
    return v;
  }

private:
  std::vector<ParameterRecord> records_;
  KeepValues<uint8_t> aniso_{&AnisotropyOn, 1}, anisoPhases_{AnisotropicPhases, MaxPhases + 1}, m2_{&M2Mode, 1};
  KeepValues<double> m2Values_{M2ModeValues, 2};
};

}  // namespace

TEST_F(CellUpdateTest, CellsAndErrorsAgreeWithTheNumpyJacobian) {
  const auto rows = GoldenRows("cell_update_golden.txt", "crystal");
  ASSERT_EQ(rows.size(), 11u);
  for (const Tokens& t : rows) {  // cell system G1..G6 sG1..sG6 a b c alpha beta gamma and their errors
    ASSERT_EQ(t.size(), 26u);
    PhaseTable[1] = LATTICE{};
    PhaseTable[1].CrystalSystem = std::stoi(t[1]);
    SetMetricRecords(1, Six(t, 2), Six(t, 8));
    UpdatePhasesFromParameters();
    const LATTICE& p = PhaseTable[1];
    ExpectCell(p.Cell, Six(t, 14), "system " + t[1]);
    // Both sides evaluate the same derivatives in double precision at the same G: only rounding
    // differs (numpy's complex step is exact to rounding).
    const Cell errors = Six(t, 20);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(p.CellErrors[i], errors[i], 1e-10 * errors[i] + 1e-16) << t[1] << " " << i;
    // V = 1 / sqrt(det G*), G* the reciprocal metric tensor of the records. The reciprocal angles
    // in degrees carry the arccos's pi: three obtuse ones shift the volume by 4e-7 relative.
    const Cell g = Six(t, 2);
    const double x = g[3] / 2, y = g[4] / 2, z = g[5] / 2;
    const double volume = 1 / std::sqrt(g[0] * g[1] * g[2] + 2 * x * y * z - g[0] * x * x - g[1] * y * y - g[2] * z * z);
    EXPECT_NEAR(p.Volume, volume, 1e-6 * volume);
    EXPECT_NEAR(p.ReciprocalVolume * volume, 1.0, 1e-6);
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CellUpdateTest, CellRoundTripsThroughThePhaseMetricForEverySystem) {
  const std::pair<int32_t, Cell> cells[] = {
      {1, {4.1, 5.3, 6.7, 78.5, 96.2, 101.7}},   {2, {5.6, 6.1, 7.9, 90, 97.3, 90}},
      {3, {4.2, 5.3, 6.4, 90, 90, 90}},          {4, {3.9, 3.9, 9.7, 90, 90, 90}},
      {5, {5.4309, 5.4309, 5.4309, 90, 90, 90}}, {6, {3.2094, 3.2094, 5.2108, 90, 90, 120}},
      {7, {5.4, 5.4, 5.4, 55.3, 55.3, 55.3}}};
  for (const auto& [system, cell] : cells) {
    CellPhase(1, cell, system);
    const double volume = PhaseTable[1].Volume;
    const Cell placeholder = {1, 2, 3, 4, 5, 6};  // what the update must replace
    std::copy(placeholder.begin(), placeholder.end(), PhaseTable[1].Cell);
    UpdatePhasesFromParameters();
    ExpectCell(PhaseTable[1].Cell, cell, "system " + std::to_string(system), 1e-4);
    EXPECT_EQ(std::pair(Cell(std::to_array(PhaseTable[1].PreviousCell)), PhaseTable[1].PreviousVolume),
              std::pair(placeholder, volume));
  }
  EXPECT_TRUE(ui.Messages().empty());
}

// Records that form no cell leave that phase exactly as it was while the other is updated; the
// layouts without phase blocks (modes 1 and 3) leave every phase alone; powder match takes the
// cell and d but not the atoms and structure factors.
TEST_F(CellUpdateTest, OnlyRecordsThatFormACellInALayoutWithPhaseBlocksChangeAPhase) {
  PhaseCount = 2;
  const Cell triclinic = {4.1, 5.3, 6.7, 78.5, 96.2, 101.7};
  SetUpPhase(1, 1, 1, triclinic, {IsoAtom(0.5, 0.1, 0.2, 0.3)});
  SetUpPhase(2, 1, 1, {5.0, 5.0, 5.0, 90, 90, 90});
  for (int k = 1; k <= 2; ++k) PhaseTable[k].ReflectionCount = 1, HklTable[1][k] = THklRecord{1, 1, 0, 2, 0.5, 0, 1, 3.0};
  Rec()[PhaseParameterOffset(1) + 12].value = 0.4;  // atom 1 X: not taken either
  const double a = PhaseTable[1].ReciprocalCell[0], b = PhaseTable[1].ReciprocalCell[1], c = PhaseTable[1].ReciprocalCell[2];
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const std::string edges = "Wrong unit cell parameters", cosines = "Error, unit cell cosines are wrong.";
  struct Case {
    int32_t mode;
    std::vector<std::pair<int, double>> changes;  // records 0..5 (G1..G6) of phase 1 := value
    std::string message;
  };
  const Case cases[] = {
      {0, {{0, 0.0}}, edges}, {0, {{1, nan}}, edges}, {0, {{2, inf}}, edges}, {0, {{4, nan}}, cosines},
      {0, {{5, -inf}}, cosines}, {0, {{5, 2 * 1.25 * a * b}}, cosines},  // cos gamma* = 1.25
      {0, {{3, 2 * 0.6 * b * c}, {4, 2 * 0.6 * a * c}, {5, -2 * 0.9 * a * b}}, cosines},  // each within +-1, no volume
      {1, {}, ""}, {3, {}, ""}};
  for (const auto& [mode, changes, message] : cases) {
    CellPhase(1, triclinic, 1);
    const auto before = Snapshot(1);
    for (const auto& [r, v] : changes) Rec()[PhaseParameterOffset(1) + 2 + r].value = v;
    CellPhase(2, {5.0, 5.0, 5.0, 90, 90, 90}, 5);
    SetMetricRecords(2, {1 / 25.5, 1 / 25.5, 1 / 25.5, 0, 0, 0});  // a = 5.05
    HklTable[1][2].d = 3.0;
    ui.Clear();
    MainMode = mode;
    UpdatePhasesFromParameters();
    EXPECT_EQ(ui.Messages(), message.empty() ? Tokens{} : Tokens{message}) << mode;
    EXPECT_EQ(Snapshot(1), before) << mode << " " << message;
    EXPECT_NEAR(HklTable[1][2].d, mode ? 3.0 : std::sqrt(25.5 / 2), 2e-8 * 3.6) << mode;  // cos 90 is 1.3e-8
  }
  MainMode = 2;
  SetMetricRecords(1, {0.02, 0.02, 0.02, 0.02, 0.02, 0.02});  // reciprocal cosines 0.5
  UpdatePhasesFromParameters();
  EXPECT_NEAR(PhaseTable[1].Cell[0], std::sqrt(0.75) / (std::sqrt(0.02) * std::sqrt(0.5)), 1e-5);  // sin alpha* / (a* V*)
  EXPECT_NE(HklTable[1][1].d, 3.0);
  EXPECT_EQ(std::pair(HklTable[1][1].A, AtomTable[1][1].X), std::pair(0.5, 0.1));
}

TEST_F(CellUpdateTest, RietveldRefreshesDAndStructureFactorsFromTheRecords) {
  // P2(1)2(1)2(1): no inversion, screw axes, so A and B both depend on the coordinates.
  ASSERT_TRUE(SetUpPhase(1, 19, 1, {5.1, 6.2, 7.3, 90, 90, 90},
                         {IsoAtom(0.5, 0.11, 0.23, 0.37, 0.4), IsoAtom(0.9, 0.31, 0.07, 0.62, 0.6)}));
  const int32_t hkl[][4] = {{1, 1, 1, 8}, {2, 1, 0, 4}, {0, 1, 3, 4}, {1, 2, 3, 8}, {3, 0, 1, 4}};
  PhaseTable[1].ReflectionCount = 5;
  for (int i = 0; i < 5; ++i) HklTable[i + 1][1] = THklRecord{hkl[i][0], hkl[i][1], hkl[i][2], hkl[i][3]};
  const Cell G = {1 / (5.2 * 5.2), 1 / (6.1 * 6.1), 1 / (7.4 * 7.4), 0, 0, 0};
  SetMetricRecords(1, G);
  const double atoms[2][5] = {{0.8, 0.12, 0.21, 0.35, 0.7}, {1.0, 0.29, 0.09, 0.64, 0.3}};  // occupation x y z B
  for (int a = 0; a < 2; ++a)
    for (int i = 0; i < 10; ++i) {
      ParameterRecord& r = Rec()[PhaseParameterOffset(1) + 10 * (a + 1) + 1 + i];
      r.value = i < 5 ? atoms[a][i] : 0, r.Error = 1e-3 * (i + 1);
    }
  UpdatePhasesFromParameters();
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(std::tuple(AtomTable[2][1].Occupation, AtomTable[2][1].Z, AtomTable[2][1].Errors[9]), std::tuple(1.0, 0.64, 1e-3 * 10));
  double maxF = 0;
  for (const THklRecord& r : PhaseReflections(1)) {
    // Right angles held in degrees at 57.29578 per radian: cos 90 is 1.2e-8.
    EXPECT_NEAR(r.d, 1 / std::sqrt(G[0] * r.h * r.h + G[1] * r.k * r.k + G[2] * r.l * r.l), 2e-8 * r.d);
    double A, B, q;
    Q0 = 1 / (r.d * r.d);
    CalcStructureFactor(0, 1, r.h, r.k, r.l, r.Multiplicity, 0, A, B, q);  // from the atoms, updated
    EXPECT_NEAR(r.A, A, 1e-12);
    EXPECT_NEAR(r.B, B, 1e-12);
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
  const int32_t b = PhaseParameterOffset(1), m = ParameterCount(0), an = ParameterCount(1), m2 = ParameterCount(2);
  Rec()[b + 11].value = 0.5;  // occupation x moment
  EXPECT_EQ(m, b + 20);
  for (int i = 1; i <= 3; ++i) Rec()[m + i].value = 0.1 * i;
  for (int i = 1; i <= 12; ++i) Rec()[an + i].value = i;
  Rec()[m2 + 1].value = 7, Rec()[m2 + 2].value = 8;
  UpdatePhasesFromParameters();
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(std::vector<double>(p.MomentDirection, p.MomentDirection + 3), std::vector<double>({0.1, 0.2, 0.1 * 3}));
  EXPECT_EQ(std::tuple(p.Anisotropy[0], p.Anisotropy[11], M2ModeValues[0], M2ModeValues[1]), std::tuple(1, 12, 7, 8));
  // The occupation stays; the moment keeps its sign and takes its size from record / occupation.
  EXPECT_EQ(std::pair(AtomTable[1][1].Occupation, AtomTable[1][1].MagneticMoment), std::pair(2.0, -0.25));
}
