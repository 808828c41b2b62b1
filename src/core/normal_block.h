// The off-diagonal sums of the normal matrix, sum over points of w d_i d_j, gathered a block of
// points at a time: the points' non-zero derivatives go into a dense block over the union of
// their columns, and the block is folded into the matrix as one rank-k update. A few blocks are
// open at once, each for points of about the same columns (in a profile fit: the points reached
// by the same phases), so that a block's zeros stay few.
#pragma once
#include <cstdint>
#include <vector>

class TNormalBlock {
public:
  // Fewer non-zero columns than this: the point is cheaper added on its own.
  static constexpr int32_t MinColumns = 16;

  // Empty, for a matrix of order n.
  void Reset(int32_t n);
  // One point: columns idx[0..nz) (matrix rows 1..n, ascending) with derivatives val, weight w.
  // mat: the matrix, element (i, j) at mat[i + (j - 1) n]; a full block is folded into it first.
  void Add(const int32_t* idx, const double* val, int32_t nz, double w, double* mat);
  // Folds the pending points into the upper triangle of mat (i < j; the diagonal is not touched).
  void Flush(double* mat);

  bool Empty() const;

private:
  static constexpr int32_t Capacity = 128;  // points in one block
  static constexpr int32_t Slots = 8;       // blocks open at once
  struct TSlot {
    int32_t columns = 0;    // positions in use
    int32_t points = 0;
    int32_t narrowest = 0;  // the fewest non-zero columns of one point in the block
    int32_t inOrder = 0;    // positions 0..inOrder-1 hold matrix rows 1..inOrder
    uint64_t used = 0;      // when a point last went in
    std::vector<int32_t> position;  // by matrix row: its position in the block, -1 when none
    std::vector<int32_t> row;       // by position: the matrix row
    std::vector<double> x, y;       // [point][position]: d and w d, zero where a point has none
  };
  // The new columns of the point in block s.
  int32_t Fresh(const TSlot& s, const int32_t* idx, int32_t nz) const;
  void Append(TSlot& s, const int32_t* idx, const double* val, int32_t nz, double w, int32_t fresh);
  void FlushSlot(TSlot& s, double* mat);
  int32_t n_ = 0;
  int32_t stride_ = 0;  // positions a point row holds (n rounded up to whole tiles)
  int32_t last_ = 0;    // the block of the last point
  uint64_t clock_ = 0;
  TSlot slot_[Slots];
};

// col[i] := (col[i] - v[i] f) - u[i] g for i in 0..count-1: the column update of the normal
// matrix's double sweep (AVX2 where present, the same bits).
void SweepColumnUpdate(double* col, const double* v, const double* u, double f, double g, int32_t count);
