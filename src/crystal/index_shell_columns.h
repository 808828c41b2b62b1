// The indices of a shell qInner <= (h k l) g (h k l)^T <= qMax of reciprocal space (g the
// reciprocal metric, 1/angstrom^2), found column by column: a vectorised test of each column
// (h, k) tells whether its l-interval can hold an integer, and only those columns are entered.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

// The reciprocal metric g and the pieces that bound the visits: 1/d^2 = (h k l) g (h k l)^T <=
// qMax confines h, then k at given h (g minimised over l), then l.
struct TReciprocalMetric {
  double g[3][3];
  explicit TReciprocalMetric(const double* reciprocalCell);  // a*, b*, c*, alpha*, beta*, gamma* (deg)
  double Determinant() const;
  // The real x with a x^2 + 2 b x + c <= 0, as [lo, hi]; false when there are none.
  static bool Roots(double a, double b, double c, double& lo, double& hi);
  // |h| bound of the ellipsoid q <= qMax: h^2 <= qMax (g^-1)_00.
  double HReach(double qMax) const;
  // k at given h: the minimum over l of q is s00 h^2 + 2 s01 h k + s11 k^2.
  bool KRange(double h, double qMax, double& lo, double& hi) const;
  bool LRange(double h, double k, double qMax, double& lo, double& hi) const;
};

// The integers of [lo, hi] widened by a hair, inside [first, last].
void IntegerRange(double lo, double hi, int32_t first, int32_t last, int32_t& from, int32_t& to);

// A shell and the columns to search: rows h = hFrom .. hTo, k inside [kFirst, kLast], l inside
// [lMin, lMax], with even h + k only where evenHK (the centring pairs h and k), and inside the half-planes
// wa h + wb k >= 0 (columns on or a little outside their edges are searched too).
struct TShellColumns {
  double qMax = 0, qInner = 0;  // both a little generous
  int32_t hFrom = 0, hTo = -1, kFirst = 0, kLast = -1;
  int32_t lMin = 0, lMax = 0;
  bool evenHK = false;
  int32_t planes = 0;
  double wa[2 * MaxOperations] = {}, wb[2 * MaxOperations] = {};
};

// The half-planes of one column of every orbit under the 2 x 2 integer matrices m[0..n-1]
// (acting on rows, (h k) m; a group holding -1): the Dirichlet domain about a generic point in a
// metric the group keeps.
void SetColumnDomain(TShellColumns& s, const int32_t (*m)[2][2], int32_t n);

// What a search of the columns calls: Visit for every index of the shell (and some just outside
// it) in the order h, k, l ascending, Row before each row h (it may throw to end the search).
class TShellVisitor {
public:
  virtual void Visit(int32_t h, int32_t k, int32_t l) = 0;
  virtual void Row() {}

protected:
  ~TShellVisitor() = default;
};
void VisitShellColumns(const TReciprocalMetric& metric, const TShellColumns& s, TShellVisitor& visitor);
