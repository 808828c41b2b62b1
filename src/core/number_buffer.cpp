#include "core/number_buffer.h"
#include <bit>
#include <string>
#include "core/abandon.h"
#include "core/messages.h"
#include "core/text_file.h"
#include "core/toolbox.h"

namespace {
// Marks a value that mode 0 of SortNumberBuffer drops.
constexpr double DroppedMarker = -0.123456789012;
// More items than this give more patterns than NumberBuffer holds.
constexpr int32_t MaxCombinationItems = 16;

// The working count, held to the buffer.
int32_t Bounded(int32_t n) { return n > NumberBufferSize ? NumberBufferSize : n; }

std::string RightAligned(const std::string& s, size_t width) {
  return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

// Keeps the values for which keep() holds, in order and closed up; returns their number.
template <typename Keep>
int32_t KeepOnly(int32_t n, Keep keep) {
  int32_t kept = 0;
  for (int32_t i = 1; i <= n; ++i)
    if (keep(NumberBuffer[i])) NumberBuffer[++kept] = NumberBuffer[i];
  return kept;
}
}  // namespace

void SortNumberBuffer(int32_t& n, int32_t mode) {
  n = Bounded(n);
  if (n < 2) return;
  double* a = NumberBuffer;
  switch (mode) {
    case -1:
    case 1:
      // Exchange sort of neighbours; equal neighbours are exchanged too, which changes nothing.
      for (int32_t pass = 1; pass < n; ++pass)
        for (int32_t j = 1; j <= n - pass; ++j)
          if (mode == -1 ? a[j] <= a[j + 1] : a[j] >= a[j + 1]) SwapD(a[j], a[j + 1]);
      break;
    case 0:
      for (int32_t i = 1; i < n; ++i)
        if (a[i] == a[i + 1]) a[i] = DroppedMarker;
      n = KeepOnly(n, [](double x) { return x != DroppedMarker; });
      break;
    default:
      break;
  }
}

void FilterNumberBuffer(int32_t& n, int32_t mode) {
  if (n < 1) {
    n = 0;
    return;
  }
  n = Bounded(n);
  switch (mode) {
    case -1: n = KeepOnly(n, [](double x) { return x >= 0.0; }); break;
    case 0: n = KeepOnly(n, [](double x) { return x != 0.0; }); break;
    case 1: n = KeepOnly(n, [](double x) { return x <= 0.0; }); break;
    default: break;
  }
}

void EnumerateCombinations(int32_t n, int32_t k, int32_t mode, int32_t& count) {
  if (n > MaxCombinationItems) {
    ShowMsg(std::to_string(n) + "-too large number of items. Job stopped");
    AbandonOperation();
  }
  // No items, or a negative number of them, give no patterns.
  int32_t items = n < 0 ? 0 : n;
  uint32_t total = (uint32_t{1} << items) - 1;
  count = 0;
  for (uint32_t mask = 1; mask <= total; ++mask) {
    if (std::popcount(mask) != k) continue;
    ++count;
    NumberBuffer[count] = mask;
    if (mode == 1) {
      std::string bits;
      BinaryDigits(mask, n, bits);
      LogLine(RightAligned(std::to_string(mask), 10) + RightAligned(bits, 15));
    }
  }
  if (mode == 1 || mode == 2)
    LogLine(RightAligned(std::to_string(count), 5) + " of " + std::to_string(k) + "-" + std::to_string(n) +
            " pattern[s] out" + " of " + std::to_string(total) + " possible");
}
