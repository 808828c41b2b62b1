#include "core/normal_block.h"
#include "core/cpu_dispatch.h"
#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t TileRows = 6;
constexpr int32_t MaxTileColumns = 8;  // the stride of a point row is a whole number of these

typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));

// C(i, j) = sum_p x[p][i] y[p][j] over the upper triangle of positions, in tiles of 6 rows and
// two vectors of columns held in registers across the points; every C(i, j) with i < j < columns
// is added into the matrix at its rows' place (the smaller row within the larger one's column).
template <class V>
[[gnu::always_inline]] inline void RankKTiles(const double* x, const double* y, int32_t stride, int32_t points,
                                              int32_t columns, double* mat, int32_t n, const int32_t* row) {
  constexpr int32_t Lanes = sizeof(V) / sizeof(double), TileColumns = 2 * Lanes;
  for (int32_t jt = 0; jt < columns; jt += TileColumns) {
    for (int32_t it = 0; it < jt + TileColumns && it < columns; it += TileRows) {
      V acc[TileRows][2] = {};
      for (int32_t p = 0; p < points; ++p) {
        const double* xp = x + static_cast<size_t>(p) * stride + it;
        const double* yp = y + static_cast<size_t>(p) * stride + jt;
        V y0, y1;
        std::memcpy(&y0, yp, sizeof y0);
        std::memcpy(&y1, yp + Lanes, sizeof y1);
        for (int32_t r = 0; r < TileRows; ++r) {
          const V xr = V{} + xp[r];
          acc[r][0] += xr * y0;
          acc[r][1] += xr * y1;
        }
      }
      for (int32_t r = 0; r < TileRows; ++r) {
        const int32_t i = it + r;
        for (int32_t c = 0; c < TileColumns; ++c) {
          const int32_t j = jt + c;
          if (i >= j || j >= columns) continue;
          const int32_t a = row[i], b = row[j];
          const size_t at = a < b ? a + static_cast<size_t>(b - 1) * n : b + static_cast<size_t>(a - 1) * n;
          mat[at] += acc[r][c / Lanes][c % Lanes];
        }
      }
    }
  }
}

void RankKBaseline(const double* x, const double* y, int32_t stride, int32_t points, int32_t columns, double* mat,
                   int32_t n, const int32_t* row) {
  RankKTiles<V2>(x, y, stride, points, columns, mat, n, row);
}

// The same sums with AVX2 and fused multiply-adds where the processor has them (chosen at run
// time; the two differ by rounding only).
VKEST_AVX2_FMA void RankKAvx2(const double* x, const double* y, int32_t stride, int32_t points, int32_t columns,
                              double* mat, int32_t n, const int32_t* row) {
  RankKTiles<V4>(x, y, stride, points, columns, mat, n, row);
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
  const int32_t stride = (n_ + MaxTileColumns - 1) / MaxTileColumns * MaxTileColumns;
  if (stride != stride_ || x_.empty()) {
    stride_ = stride;
    // A tile's rows may reach past the last point's row: a few zeros beyond it.
    x_.assign(static_cast<size_t>(Capacity) * std::max(stride_, MaxTileColumns) + TileRows, 0.0);
    y_.assign(x_.size(), 0.0);
  } else {
    // The rows of a block never folded in (an abandoned sweep).
    for (int32_t p = 0; p < points_; ++p) {
      std::fill_n(x_.data() + static_cast<size_t>(p) * stride_, columns_, 0.0);
      std::fill_n(y_.data() + static_cast<size_t>(p) * stride_, columns_, 0.0);
    }
  }
  position_.assign(static_cast<size_t>(n_) + 1, -1);
  row_.assign(static_cast<size_t>(stride_), 0);
  columns_ = points_ = widest_ = inOrder_ = 0;
}

void TNormalBlock::Add(const int32_t* idx, const double* val, int32_t nz, double w, double* mat) {
  // Rows 1..nz when the block holds them at positions 0..nz-1 already: a plain copy.
  if (points_ < Capacity && inOrder_ >= nz && nz > 0 && idx[0] == 1 && idx[nz - 1] == nz) {
    double* xp = x_.data() + static_cast<size_t>(points_) * stride_;
    double* yp = y_.data() + static_cast<size_t>(points_) * stride_;
    for (int32_t a = 0; a < nz; ++a) {
      xp[a] = val[a];
      yp[a] = val[a] * w;
    }
    widest_ = std::max(widest_, nz);
    ++points_;
    return;
  }
  // New columns widen every point's row; past about twice the widest point the zeros cost more
  // than a fold, so the block is folded first.
  int32_t fresh = 0;
  for (int32_t a = 0; a < nz; ++a) fresh += position_[static_cast<size_t>(idx[a])] < 0;
  if (points_ == Capacity || (fresh > 0 && columns_ + fresh > 2 * std::max(widest_, nz) + MaxTileColumns)) Flush(mat);
  double* xp = x_.data() + static_cast<size_t>(points_) * stride_;
  double* yp = y_.data() + static_cast<size_t>(points_) * stride_;
  for (int32_t a = 0; a < nz; ++a) {
    int32_t& at = position_[static_cast<size_t>(idx[a])];
    if (at < 0) {
      at = columns_++;
      row_[static_cast<size_t>(at)] = idx[a];
      if (inOrder_ == at && idx[a] == at + 1) ++inOrder_;
    }
    xp[at] = val[a];
    yp[at] = val[a] * w;
  }
  widest_ = std::max(widest_, nz);
  ++points_;
}

void TNormalBlock::Flush(double* mat) {
  if (points_ == 0) return;
  RankK(x_.data(), y_.data(), stride_, points_, columns_, mat, n_, row_.data());
  for (int32_t p = 0; p < points_; ++p) {
    std::fill_n(x_.data() + static_cast<size_t>(p) * stride_, columns_, 0.0);
    std::fill_n(y_.data() + static_cast<size_t>(p) * stride_, columns_, 0.0);
  }
  for (int32_t c = 0; c < columns_; ++c) position_[static_cast<size_t>(row_[static_cast<size_t>(c)])] = -1;
  columns_ = points_ = widest_ = inOrder_ = 0;
}

void SweepColumnUpdate(double* col, const double* v, const double* u, double f, double g, int32_t count) {
  SweepColumn(col, v, u, f, g, count);
}
