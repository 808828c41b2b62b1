#include "core/number_buffer.h"
#include <bit>
#include <string>
#include "core/abandon.h"
#include "core/array_tools.h"
#include "core/messages.h"
#include "core/text_file.h"
#include "core/toolbox.h"

namespace {
// More items than this give more patterns than NumberBuffer holds.
constexpr int32_t MaxCombinationItems = 16;

std::string RightAligned(std::string s, int32_t width) {
  PadLeft(s, width);
  return s;
}
}  // namespace

void SortNumberBuffer(int32_t& n, int32_t mode) {
  n = MinI(n, NumberBufferSize);
  SortUnique(NumberBuffer, NumberBufferSize, n, mode);
}

void FilterNumberBuffer(int32_t& n, int32_t mode) {
  if (n < 1) {
    n = 0;
    return;
  }
  n = MinI(n, NumberBufferSize);
  CompactBySign(NumberBuffer, NumberBufferSize, n, mode);
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
