#include "core/normal_block.h"
#include "core/cpu_dispatch.h"
#include <algorithm>
#include <climits>
#include <cstring>
#include <immintrin.h>
#include <iterator>

namespace {

constexpr int32_t TileRows = 6;
constexpr int32_t MaxTileColumns = 8;  // the stride of a point row is a whole number of these

typedef double V2 __attribute__((vector_size(16)));

// The upper triangle's element for matrix rows a and b: the smaller row within the larger
// one's column.
[[gnu::always_inline]] inline double& Upper(double* mat, int32_t n, int32_t a, int32_t b) {
  return mat[a < b ? a + static_cast<size_t>(b - 1) * n : b + static_cast<size_t>(a - 1) * n];
}

// Adds a tile's sums c[r][col] (r < TileRows, col < TileColumns) into the matrix: every C(i, j)
// with i = it + r < j = jt + col < columns at its rows' place.
template <int32_t TileColumns>
[[gnu::always_inline]] inline void AddTile(const double (&c)[TileRows][TileColumns], int32_t it, int32_t jt,
                                           int32_t columns, double* mat, int32_t n, const int32_t* row) {
  for (int32_t r = 0; r < TileRows; ++r) {
    const int32_t i = it + r;
    for (int32_t col = 0; col < TileColumns; ++col) {
      const int32_t j = jt + col;
      if (i >= j || j >= columns) continue;
      Upper(mat, n, row[i], row[j]) += c[r][col];
    }
  }
}

// C(i, j) = sum_p x[p][i] y[p][j] over the upper triangle of positions, in tiles of 6 rows and
// two vectors of columns held in registers across the points.
void RankKBaseline(const double* x, const double* y, int32_t stride, int32_t points, int32_t columns, double* mat,
                   int32_t n, const int32_t* row) {
  constexpr int32_t Lanes = 2, TileColumns = 2 * Lanes;
  for (int32_t jt = 0; jt < columns; jt += TileColumns) {
    for (int32_t it = 0; it < jt + TileColumns && it < columns; it += TileRows) {
      V2 acc[TileRows][2] = {};
      for (int32_t p = 0; p < points; ++p) {
        const double* xp = x + static_cast<size_t>(p) * stride + it;
        const double* yp = y + static_cast<size_t>(p) * stride + jt;
        V2 y0, y1;
        std::memcpy(&y0, yp, sizeof y0);
        std::memcpy(&y1, yp + Lanes, sizeof y1);
        for (int32_t r = 0; r < TileRows; ++r) {
          const V2 xr = {xp[r], xp[r]};
          acc[r][0] += xr * y0;
          acc[r][1] += xr * y1;
        }
      }
      double c[TileRows][TileColumns];
      std::memcpy(c, acc, sizeof c);
      AddTile(c, it, jt, columns, mat, n, row);
    }
  }
}

// The same sums with AVX2 and fused multiply-adds where the processor has them (chosen at run
// time; the two differ by rounding only). Here the vectors run along the rows: tiles of 8 rows
// (two vectors of x) and 6 columns (each y a broadcast load, which takes no pipe of the
// multiply-adds), so that a tile's column goes into the matrix as two vector adds where its
// rows are consecutive.
VKEST_AVX2_FMA void RankKAvx2(const double* x, const double* y, int32_t stride, int32_t points, int32_t columns,
                              double* mat, int32_t n, const int32_t* row) {
  constexpr int32_t Lanes = 4, Rows = 2 * Lanes, Columns = 6;
  for (int32_t jt = 0; jt < columns; jt += Columns) {
    for (int32_t it = 0; it < jt + Columns && it < columns; it += Rows) {
      __m256d acc[Columns][2];
      for (auto& a : acc) a[0] = a[1] = _mm256_setzero_pd();
      for (int32_t p = 0; p < points; ++p) {
        const double* xp = x + static_cast<size_t>(p) * stride + it;
        const double* yp = y + static_cast<size_t>(p) * stride + jt;
        const __m256d x0 = _mm256_loadu_pd(xp), x1 = _mm256_loadu_pd(xp + Lanes);
        for (int32_t c = 0; c < Columns; ++c) {
          const __m256d yc = _mm256_broadcast_sd(yp + c);
          acc[c][0] = _mm256_fmadd_pd(x0, yc, acc[c][0]);
          acc[c][1] = _mm256_fmadd_pd(x1, yc, acc[c][1]);
        }
      }
      double sums[Columns][Rows];  // stored with fixed indices, so the sums stay in registers above
      for (int32_t c = 0; c < Columns; ++c) {
        _mm256_storeu_pd(sums[c], acc[c][0]);
        _mm256_storeu_pd(sums[c] + Lanes, acc[c][1]);
      }
      // Rows it..it+7 all left of the tile's columns and consecutive in the matrix: a column
      // whose matrix row lies beyond them takes them as whole vectors.
      bool run = it + Rows <= jt;
      for (int32_t r = 1; r < Rows && run; ++r) run = row[it + r] == row[it] + r;
      for (int32_t c = 0; c < Columns; ++c) {
        const int32_t j = jt + c;
        if (j >= columns) break;
        if (run && row[j] > row[it + Rows - 1]) {
          double* at = mat + row[it] + static_cast<size_t>(row[j] - 1) * n;
          _mm256_storeu_pd(at, _mm256_add_pd(_mm256_loadu_pd(at), _mm256_loadu_pd(sums[c])));
          _mm256_storeu_pd(at + Lanes, _mm256_add_pd(_mm256_loadu_pd(at + Lanes), _mm256_loadu_pd(sums[c] + Lanes)));
          continue;
        }
        for (int32_t r = 0; r < Rows; ++r) {
          const int32_t i = it + r;
          if (i >= j) break;
          Upper(mat, n, row[i], row[j]) += sums[c][r];
        }
      }
    }
  }
}
const auto RankK = ChooseByProcessor(RankKBaseline, RankKAvx2, true);

[[gnu::always_inline]] inline void SweepColumnBody(double* __restrict col, const double* __restrict v,
                                                   const double* __restrict u, double f, double g, int32_t count) {
  for (int32_t i = 0; i < count; ++i) col[i] = (col[i] - v[i] * f) - u[i] * g;
}

void SweepColumnBaseline(double* col, const double* v, const double* u, double f, double g, int32_t count) {
  SweepColumnBody(col, v, u, f, g, count);
}

// Without fused multiply-adds: the baseline's roundings four elements at a time.
VKEST_AVX2 void SweepColumnAvx2(double* col, const double* v, const double* u, double f, double g, int32_t count) {
  SweepColumnBody(col, v, u, f, g, count);
}
const auto SweepColumn = ChooseByProcessor(SweepColumnBaseline, SweepColumnAvx2, false);

}  // namespace

void TNormalBlock::Reset(int32_t n) {
  n_ = std::max(n, 0);
  stride_ = (n_ + MaxTileColumns - 1) / MaxTileColumns * MaxTileColumns;
  for (TSlot& s : slot_) {
    if (s.position.size() == static_cast<size_t>(n_) + 1) {
      // The rows of a block never folded in (an abandoned sweep) are overwritten as points come.
      for (int32_t c = 0; c < s.columns; ++c) s.position[static_cast<size_t>(s.row[static_cast<size_t>(c)])] = -1;
    } else {
      s.position.clear();  // sized at the block's first point
    }
    s.columns = s.points = s.narrowest = s.inOrder = 0;
  }
  last_ = 0;
}

bool TNormalBlock::Empty() const {
  return std::all_of(std::begin(slot_), std::end(slot_), [](const TSlot& s) { return s.points == 0; });
}

int32_t TNormalBlock::Fresh(const TSlot& s, const int32_t* idx, int32_t nz) const {
  if (s.points == 0) return nz;
  if (s.inOrder >= nz && idx[0] == 1 && idx[nz - 1] == nz) return 0;
  int32_t fresh = 0;
  for (int32_t a = 0; a < nz; ++a) fresh += s.position[static_cast<size_t>(idx[a])] < 0;
  return fresh;
}

void TNormalBlock::Add(const int32_t* idx, const double* val, int32_t nz, double w, double* mat) {
  ++clock_;
  // The open block that wastes the fewest zeros on the point and on the points it holds; a block
  // whose columns would exceed its narrowest point's or this point's by more than an eighth and
  // a tile is passed over (the last point's block first: usually it fits exactly).
  int32_t chosen = -1, fresh = 0;
  int64_t fewest = INT64_MAX;
  for (int32_t k = 0; k < Slots; ++k) {
    const int32_t at = (last_ + k) % Slots;
    const TSlot& s = slot_[at];
    if (s.points == 0) continue;
    const int32_t f = Fresh(s, idx, nz), after = s.columns + f, least = std::min(nz, s.narrowest);
    if (after > least + least / 8 + MaxTileColumns) continue;
    const int64_t waste = (after - nz) + static_cast<int64_t>(f) * s.points;
    if (waste < fewest) {
      fewest = waste;
      chosen = at;
      fresh = f;
      if (waste == 0) break;
    }
  }
  if (chosen < 0) {
    // None fits: an empty block, else the one unused longest is folded in and starts anew.
    for (int32_t at = 0; at < Slots && chosen < 0; ++at)
      if (slot_[at].points == 0) chosen = at;
    if (chosen < 0) {
      chosen = 0;
      for (int32_t at = 1; at < Slots; ++at)
        if (slot_[at].used < slot_[chosen].used) chosen = at;
      FlushSlot(slot_[chosen], mat);
    }
    fresh = nz;
  }
  TSlot& s = slot_[chosen];
  if (s.points == Capacity) {
    FlushSlot(s, mat);
    fresh = nz;
  }
  last_ = chosen;
  Append(s, idx, val, nz, w, fresh);
}

void TNormalBlock::Append(TSlot& s, const int32_t* idx, const double* val, int32_t nz, double w, int32_t fresh) {
  if (s.position.empty()) {
    s.position.assign(static_cast<size_t>(n_) + 1, -1);
    s.row.assign(static_cast<size_t>(stride_), 0);
    // A tile may reach past the last point's row: up to 5 values beyond it (the columns of the
    // AVX2 kernel, the rows of the baseline's), read and never used.
    s.x.assign(static_cast<size_t>(Capacity) * std::max(stride_, MaxTileColumns) + TileRows, 0.0);
    s.y.assign(s.x.size(), 0.0);
  }
  const int32_t after = s.columns + fresh;
  // Only positions 0..columns-1 of a point's row are kept: the new ones are zeros for the points
  // already in the block.
  if (fresh > 0)
    for (int32_t p = 0; p < s.points; ++p) {
      std::fill_n(s.x.data() + static_cast<size_t>(p) * stride_ + s.columns, fresh, 0.0);
      std::fill_n(s.y.data() + static_cast<size_t>(p) * stride_ + s.columns, fresh, 0.0);
    }
  double* xp = s.x.data() + static_cast<size_t>(s.points) * stride_;
  double* yp = s.y.data() + static_cast<size_t>(s.points) * stride_;
  if (nz < after) {
    std::fill_n(xp, after, 0.0);
    std::fill_n(yp, after, 0.0);
  }
  if (fresh == 0 && s.inOrder >= nz && idx[0] == 1 && idx[nz - 1] == nz) {
    // Rows 1..nz at positions 0..nz-1 already: a plain copy.
    for (int32_t a = 0; a < nz; ++a) {
      xp[a] = val[a];
      yp[a] = val[a] * w;
    }
  } else {
    for (int32_t a = 0; a < nz; ++a) {
      int32_t& at = s.position[static_cast<size_t>(idx[a])];
      if (at < 0) {
        at = s.columns++;
        s.row[static_cast<size_t>(at)] = idx[a];
        if (s.inOrder == at && idx[a] == at + 1) ++s.inOrder;
      }
      xp[at] = val[a];
      yp[at] = val[a] * w;
    }
  }
  s.narrowest = s.points == 0 ? nz : std::min(s.narrowest, nz);
  ++s.points;
  s.used = clock_;
}

void TNormalBlock::FlushSlot(TSlot& s, double* mat) {
  if (s.points == 0) return;
  RankK(s.x.data(), s.y.data(), stride_, s.points, s.columns, mat, n_, s.row.data());
  for (int32_t c = 0; c < s.columns; ++c) s.position[static_cast<size_t>(s.row[static_cast<size_t>(c)])] = -1;
  s.columns = s.points = s.narrowest = s.inOrder = 0;
}

void TNormalBlock::Flush(double* mat) {
  for (TSlot& s : slot_) FlushSlot(s, mat);
}

void SweepColumnUpdate(double* col, const double* v, const double* u, double f, double g, int32_t count) {
  SweepColumn(col, v, u, f, g, count);
}
