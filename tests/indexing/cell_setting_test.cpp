// A reduced cell written in the setting the search's bounds hold: reversing an axis or reordering
// the axes of a triclinic cell must give the same lattice. The truth is the lattice itself: the
// sorted lengths of its vectors u a + v b + w c (|u|, |v|, |w| <= 3) from the metric tensor, and
// the cell volume, which no change of setting may move.
#include <random>
#include "indexing_setup.h"

namespace {

class CellSettingTest : public IndexingTest {};

// The lengths up to limit of the vectors u a + v b + w c with |u|, |v|, |w| <= 3; complete up to
// Complete(c), since |u| = |r . a*| <= |r| |a*|.
std::vector<double> LatticeLengths(const double (&c)[6], double limit = 1e30) {
  const double g[3][3] = {{c[0] * c[0], c[0] * c[1] * c[5], c[0] * c[2] * c[4]},
                          {c[0] * c[1] * c[5], c[1] * c[1], c[1] * c[2] * c[3]},
                          {c[0] * c[2] * c[4], c[1] * c[2] * c[3], c[2] * c[2]}};
  std::vector<double> out;
  for (int u = -3; u <= 3; ++u)
    for (int v = -3; v <= 3; ++v)
      for (int w = -3; w <= 3; ++w) {
        const double x[3] = {double(u), double(v), double(w)};
        double s = 0;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) s += x[i] * g[i][j] * x[j];
        if (std::sqrt(std::max(s, 0.0)) <= limit) out.push_back(std::sqrt(std::max(s, 0.0)));
      }
  std::sort(out.begin(), out.end());
  return out;
}

// 3 / the longest reciprocal edge: every lattice vector shorter than this has indices within 3.
double Complete(const double (&c)[6]) {
  const double v2 = 1 - c[3] * c[3] - c[4] * c[4] - c[5] * c[5] + 2 * c[3] * c[4] * c[5];
  const double s[3] = {1 - c[3] * c[3], 1 - c[4] * c[4], 1 - c[5] * c[5]};
  double longest = 0;
  for (int i = 0; i < 3; ++i) longest = std::max(longest, std::sqrt(s[i] / v2) / c[i]);
  return 3 / longest;
}

TEST_F(CellSettingTest, MixedCosinesComeInsideTheBoundsAsTheSameLattice) {
  TAULSM& fit = *CelixFitter;
  fit.NPar = 6;
  // Edges 3..15 A, every angle 90..135 degrees: cosines -0.7071..0.
  for (int32_t m = 1; m <= 6; ++m) {
    fit.Records[m].lower = m <= 3 ? 3.0 : std::cos(135 * DegToRad);
    fit.Records[m].upper = m <= 3 ? 15.0 : 0.0;
  }
  std::mt19937 gen(20261208);
  std::uniform_real_distribution<double> edge(3.5, 12), cosine(-0.3, 0.3);
  int32_t tried = 0, triclinic = 0, placedInside = 0;
  for (int32_t system : {1, 2})
    for (int32_t n = 0; n < 200; ++n) {
      double cell[6] = {edge(gen), edge(gen), edge(gen), cosine(gen), cosine(gen), cosine(gen)};
      if (system == 2) cell[3] = cell[5] = 0;  // monoclinic: beta alone
      const double volume2 = 1 - cell[3] * cell[3] - cell[4] * cell[4] - cell[5] * cell[5] +
                             2 * cell[3] * cell[4] * cell[5];
      if (!(volume2 > 0.2)) continue;
      ++tried;
      double placed[6];
      std::copy(cell, cell + 6, placed);
      fit.PlaceCellInBounds(placed, system);
      SCOPED_TRACE(std::to_string(system) + " " + std::to_string(n));
      // Reversing an axis changes the signs of two cosines, so their product keeps its sign:
      // a cell whose product is not positive has a setting with no acute angle, which the
      // bounds hold.
      const double product = cell[3] * cell[4] * cell[5];
      if (product <= 0)
        for (int32_t m = 3; m < 6; ++m) EXPECT_LE(placed[m], 1e-15) << m;
      if (system == 2) {
        EXPECT_DOUBLE_EQ(placed[1], cell[1]);  // the unique axis b stays b
        EXPECT_EQ(placed[3], 0.0);
        EXPECT_EQ(placed[5], 0.0);
      }
      // Any basis may come back: the lattice is what counts, its vectors up to a length both
      // index boxes hold.
      const double limit = std::min(Complete(cell), Complete(placed)) * (1 - 1e-9);
      const std::vector<double> before = LatticeLengths(cell, limit), after = LatticeLengths(placed, limit);
      ASSERT_EQ(before.size(), after.size());
      ASSERT_GE(before.size(), 3u);
      for (size_t i = 0; i < before.size(); ++i) ASSERT_NEAR(after[i], before[i], 1e-9 * before.back()) << i;
      // Every lattice has a basis with no acute angle (Selling's reduced superbase), so a triclinic
      // cell of either sign of the product comes inside the bounds.
      if (system == 1) {
        ++triclinic;
        bool inside = true;
        for (int32_t m = 0; m < 6; ++m)
          inside = inside && placed[m] >= fit.Records[m + 1].lower - 1e-12 && placed[m] <= fit.Records[m + 1].upper + 1e-12;
        placedInside += inside;
      }
    }
  EXPECT_GT(tried, 300);
  EXPECT_GE(placedInside, triclinic * 95 / 100) << placedInside << " of " << triclinic;
}

}  // namespace
