// Start cells of a triclinic search taken from the lines themselves (the zone method). In
// Q = 1/d^2 the reciprocal metric enters linearly,
//   Q(hkl) = h^2 A + k^2 B + l^2 C + hk D + hl E + kl F,
// so two of the first lines taken as Q(100) and Q(010), with a line at Q(100) + Q(010) +- D as
// Q(1+-10), make a zone (a plane of the reciprocal lattice); a line the zone leaves unindexed is
// taken as Q(001), and lines at Q(100) + Q(001) +- E and Q(010) + Q(001) +- F close the metric.
// Every metric is scored as the search scores a trial (the lines it indexes against the density
// of its calculated lines), and the best distinct lattices come back as direct cells. A random
// start must fall within a few tenths of an angstrom and a few degrees of the truth; these
// starts are there already, on any seed.
#pragma once
#include <array>
#include <cstddef>
#include <vector>

struct ZoneLine {
  double q;      // 1/d^2 (A^-2)
  double sigma;  // its error (A^-2)
};

// a, b, c (A) and the cosines of alpha, beta, gamma.
using ZoneCell = std::array<double, 6>;

// Up to count cells, best first, each of a lattice of its own, of volume at most volumeLimit
// (no limit when it is not positive); the lines in order of rising Q (falling d).
std::vector<ZoneCell> ZoneStartCells(const std::vector<ZoneLine>& lines, double volumeLimit, size_t count);

// The cross terms |D| that the lines give the zone of lines i and j (Q(10) and Q(01)): a line
// taken as its 1 +-1 0, 1 +-2 0 or 2 +-1 0 line, the best few by the lines their zone indexes
// (none: 0).
std::vector<double> ZoneCrossTerms(const std::vector<ZoneLine>& lines, size_t i, size_t j);

// The direct cell of the reciprocal metric m = (A, B, C, D, E, F) and its volume (A^3); false when
// m is not positive definite or so flat that the volume is below 1e-3 of the edges' product.
bool DirectCell(const double (&m)[6], ZoneCell& cell, double& volume);

// The merit of the reciprocal metric m = (A, B, C, D, E, F) on the lines: over the lines within
// IndexedLineSigmas sigma of a calculated Q, -log of the chance that a line falls that close to
// one of the calculated lines as dense as they are about it; every other line costs
// UnindexedLinePenalty. -infinity for a metric that is not a cell or whose volume exceeds the
// limit. The direct cell into cell, its volume (A^3) into volume.
double ZoneMetricMerit(const std::vector<ZoneLine>& lines, const double (&m)[6], double volumeLimit, ZoneCell& cell,
                       double& volume);
