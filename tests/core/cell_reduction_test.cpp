// Cell reduction: the reduced cell spans the lattice of its input. Inputs are known cells under
// random unimodular transformations; gemmi's Niggli cell of each (tools/gen_crystal_golden.py)
// is compared with the output through the lengths of all short lattice vectors and the volume.
#include "core/cell_geometry.h"
#include "core/cell_reduction.h"
#include "crystal_test_support.h"

namespace {

// The sorted lengths of the lattice vectors not longer than limit; cell = a, b, c and cosines.
std::vector<double> Lengths(const double* c, double limit) {
  double g[3][3];  // e_i . e_j; the cosine of e_i and e_j is that of the third axis
  for (int i = 0; i < 3; ++i) for (int j = 0; j < 3; ++j) g[i][j] = c[i] * c[j] * (i == j ? 1 : c[6 - i - j]);
  const double det = std::pow(CellVolumeFromCosines(c[0], c[1], c[2], c[3], c[4], c[5]), 2);
  int n[3];  // |n_i| <= limit |a_i*|, |a_i*|^2 the diagonal of the inverse metric
  for (int i = 0, j = 1, k = 2; i < 3; ++i, j = (i + 1) % 3, k = (i + 2) % 3)
    n[i] = int(limit * std::sqrt((g[j][j] * g[k][k] - g[j][k] * g[j][k]) / det)) + 1;
  std::vector<double> out;
  for (int x = -n[0]; x <= n[0]; ++x)
    for (int y = -n[1]; y <= n[1]; ++y)
      for (int z = -n[2]; z <= n[2]; ++z) {
        const double s = x * x * g[0][0] + y * y * g[1][1] + z * z * g[2][2] + 2 * (x * y * g[0][1] + x * z * g[0][2] + y * z * g[1][2]);
        if (s > 1e-9 && s <= limit * limit) out.push_back(std::sqrt(s));
      }
  std::sort(out.begin(), out.end());
  return out;
}

void ExpectSameLattice(const double* got, const double* want) {
  const double limit = 1.2 * std::max({want[0], want[1], want[2]});
  const auto a = Lengths(got, limit * (1 - 1e-7)), b = Lengths(want, limit);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-7 * b[i]);
}

}  // namespace

TEST(CellReduction, KeepsTheLatticeOfGemmisNiggliCell) {
  const auto rows = GoldenRows("niggli_golden.txt");
  int changed = 0, niggli = 0;
  for (const auto& t : rows) {
    double c[13], v = -1;
    for (int i = 0; i < 13; ++i) c[i] = std::stod(t[1 + i]);  // input, Niggli cell, volume
    const double sum = c[0] + c[1] + c[2];
    ReduceCell(c[0], c[1], c[2], 1, v, c[3], c[4], c[5]);
    SCOPED_TRACE(t[1] + " " + t[2] + " " + t[3]);
    EXPECT_NEAR(v, c[12], 1e-7 * v);
    EXPECT_LE(c[0] + c[1] + c[2], sum + 1e-9);
    ExpectSameLattice(c, c + 6);
    changed += CellReduced == 0;
    std::vector<double> got(c, c + 3), want(c + 6, c + 9);
    std::sort(got.begin(), got.end()), std::sort(want.begin(), want.end());
    niggli += std::equal(got.begin(), got.end(), want.begin(), [](double x, double y) { return std::fabs(x - y) < 1e-7 * y; });
  }
  EXPECT_GE(changed, 20);  // of the 30 rows
  // The three checks run in turn on the edges the previous one left, so a cell shortened by one
  // may be taken on by the next: 6 rows reach gemmi's Niggli edges (3 with one check only).
  EXPECT_GE(niggli, 6);
}

TEST(CellReduction, ReducedCellsStayAndThePlaneStepShortens) {
  const double cells[][6] = {{4, 5, 6, 0.173648177667, 0.0871557427477, 0.173648177667},
                             {3, 3, 5, 0, 0, -0.5},  // a = b = 3, gamma = 120: a + b is not shorter
                             {4, 4, 4, 0.0009, -0.0009, 0.0009}};  // all within 0.001 rad of 90
  for (const auto& cell : cells) {
    double c[6] = {cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]}, v;
    ReduceCell(c[0], c[1], c[2], 1, v, c[3], c[4], c[5]);
    EXPECT_EQ(std::vector(c, c + 6), std::vector(cell, cell + 6));
    EXPECT_EQ(CellReduced, 1);
  }
  // Monoclinic, b unique: c' = c + 2a (beta' from a . c') goes back one step, to c + a.
  const double a = 5, c = 7, cb = std::cos(100 * M_PI / 180), cp = std::sqrt(c * c + 4 * a * a + 4 * a * c * cb);
  double cell[6] = {a, 6, cp, 0, (a * c * cb + 2 * a * a) / (a * cp), 0}, v;
  const std::vector<double> start(cell, cell + 6);
  ReduceCell(cell[0], cell[1], cell[2], 2, v, cell[3], cell[4], cell[5]);
  EXPECT_EQ(CellReduced, 0);
  EXPECT_NEAR(cell[2], std::sqrt(c * c + a * a + 2 * a * c * cb), 1e-12);
  EXPECT_NEAR(v, 6 * a * c * std::sin(100 * M_PI / 180), 1e-9);
  ExpectSameLattice(cell, start.data());
}
