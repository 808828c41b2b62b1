// The metric against gemmi's 1/d^2; the magnetic factor, its derivatives and the moment angles
// against vectors in Cartesian space, non-orthogonal cells included (tools/gen_crystal_golden.py).
#include <numbers>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/parameter_layout.h"
#include "core/space_groups.h"
#include "core/toolbox.h"
#include "core/trevo_records.h"
#include "crystal_test_support.h"

namespace {

class CellMetricTest : public CrystalTest {
protected:
  // Phase k with the cell (and, when given, the group of the table entry) and its metric.
  static const double* SetCell(int k, const Tokens& t, size_t at, int entry = 0) {
    LATTICE& p = PhaseTable[k];
    for (int i = 0; i < 6; ++i) p.Cell[i] = std::stod(t[at + i]);
    CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
    p.SpaceGroup = std::abs(entry), p.Setting = entry < 0 ? 2 : 1;
    ExpandSpaceGroup(k);
    PhaseMetric(k);
    return p.Metric;
  }
  static double InverseDSquared(const double* g, double h, double k, double l) {
    return g[0] * h * h + g[1] * k * k + g[2] * l * l + g[3] * h * k + g[4] * h * l + g[5] * k * l;
  }
};

}  // namespace

TEST_F(CellMetricTest, InverseDSquaredAgreesWithGemmiInBothOrders) {
  const auto rows = GoldenRows("metric_golden.txt");
  ASSERT_EQ(rows.size(), 160u);
  for (const auto& t : rows) {
    const double* g = SetCell(1, t, 1);
    const double h = std::stod(t[7]), k = std::stod(t[8]), l = std::stod(t[9]), want = std::stod(t[10]);
    EXPECT_NEAR(InverseDSquared(g, h, k, l), want, 1e-6 * want) << t[1] << " " << t[7];
    const auto r = MetricRecordOrder(PhaseTable[1].Metric);  // h^2, k^2, l^2, kl, hl, hk
    EXPECT_NEAR(r[0] * h * h + r[1] * k * k + r[2] * l * l + r[3] * k * l + r[4] * h * l + r[5] * h * k, want, 1e-6 * want);
  }
  // 57.29578 degrees per radian and pi as 3.1415925 in the reciprocal cell: about 1e-8 relative.
  const double* g = SetCell(1, {"4", "4", "4", "90", "90", "90"}, 0);
  EXPECT_EQ(std::vector(g + 3, g + 6), std::vector(3, 0.0));
  EXPECT_NEAR(g[0] * g[1] * g[2], std::pow(1 / 16.0, 3), 1e-12);
  PhaseModelFlags[1] = 1, MainMode = 0;
  PhaseTable[1].MomentDirection[2] = 0;
  PhaseMetric(1);
  EXPECT_EQ(ui.Messages(), Tokens{"Mag.moment=0"});
}

TEST_F(CellMetricTest, MagneticFactorDerivativesAndAnglesAreThoseOfCartesianVectors) {
  const auto rows = GoldenRows("magnetic_golden.txt");
  ASSERT_EQ(rows.size(), 42u);
  PhaseModelFlags[1] = 1, MainMode = 1;
  if (!FitParameters) CreateFitParameters();
  KeepValues<ParameterRecord> cosPhi(&FitParameters->Records[ParameterCount(0) + 1], 3);
  for (size_t n = 0; n < rows.size(); ++n) {
    const Tokens& t = rows[n];
    SetCell(1, t, 2, std::stoi(t[1]));
    const int from = n % 2;  // the direction from the phase record, or from the "Cos Phi" records
    for (int i = 0; i < 3; ++i) (from ? cosPhi.at[i].value : PhaseTable[1].MomentDirection[i]) = std::stod(t[8 + i]);
    double d[3], q;
    MagneticFactor(1, from, 1, d[0], d[1], d[2], q, std::stoi(t[11]), std::stoi(t[12]), std::stoi(t[13]));
    MomentAxisAngles(1, from);
    const double got[7] = {q * q, d[0], d[1], d[2], DialogNumbers[1], DialogNumbers[2], DialogNumbers[3]};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(got[i], std::stod(t[14 + i]), i < 4 ? 2e-6 : 2e-4) << t[1] << " " << i;
  }
  PhaseModelFlags[1] = 0;  // not magnetic: q = 1, the derivatives untouched
  double q, dq[3] = {5, 5, 5};
  MagneticFactor(1, 0, 1, dq[0], dq[1], dq[2], q, 1, 2, 3);
  EXPECT_EQ(std::vector({q, dq[0], dq[1], dq[2]}), std::vector({1.0, 5.0, 5.0, 5.0}));
}

TEST_F(CellMetricTest, SmallRoutines) {
  const double pi = std::numbers::pi;  // |x| >= 1 rounded first; |x| <= 1e-4 is a right angle
  EXPECT_EQ(std::vector({ArcCosRounded(1.3), ArcCosRounded(-1.6), ArcCosRounded(8e-5)}), std::vector({0.0, pi, pi / 2}));

  // Phase weights: the largest q of a magnetic phase, q |F| of another, over the largest of them.
  KeepValues<double> buffer(NumberBuffer, 4);
  PhaseCount = 3, PhaseModelFlags[1] = 0, PhaseModelFlags[2] = 1, PhaseModelFlags[3] = 0;
  PhaseTable[1].MaxQ = 1, PhaseTable[1].MaxF = 8, PhaseTable[2].MaxQ = 0.5, PhaseTable[2].MaxF = 100;
  PhaseTable[3].MaxQ = 0.25, PhaseTable[3].MaxF = 4;
  RelativePhaseValues();
  EXPECT_EQ(std::vector(NumberBuffer + 1, NumberBuffer + 4), (std::vector{1.0, 0.5 / 8, 1.0 / 8}));
  PhaseCount = 1, PhaseTable[1].MaxQ = 0;  // nothing to weigh: 0, not a division by zero
  RelativePhaseValues();
  EXPECT_EQ(NumberBuffer[1], 0.0);

  // Identification d-spacings: cross terms outside systems 3..5; 0 0 0 gives 1e4 in every system.
  KeepValues<TTrevoPhase> keep(&TrevoPhases[2], 1);
  const double* g = SetCell(2, {"4.1", "5.3", "6.2", "78", "96", "104"}, 0);
  std::copy(PhaseTable[2].ReciprocalCell, PhaseTable[2].ReciprocalCell + 6, TrevoPhases[2].ReciprocalCell);
  TrevoPhases[2].Reflections[4] = {1, -2, 3}, TrevoPhases[2].Reflections[5] = {};
  for (int system : {1, 3}) {
    PhaseTable[2].CrystalSystem = system;
    SequenceHklDSpacing(2, 4), SequenceHklDSpacing(2, 5);
    const double s = InverseDSquared(g, 1, -2, 3) - (system == 3 ? -2 * g[3] + 3 * g[4] - 6 * g[5] : 0);
    EXPECT_NEAR(TrevoIdentificationD[4][2] * std::sqrt(s) + TrevoIdentificationD[5][2], 1 + 1e4, 1e-10);
  }
}
