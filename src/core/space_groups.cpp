#include "core/space_groups.h"
#include <algorithm>
#include <charconv>
#include <string_view>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/symmetry_expansion.h"

namespace {

int32_t DigitAt(const char* row, size_t column) {
  std::string_view s = Columns(row, column, column);
  return !s.empty() && s[0] >= '0' && s[0] <= '9' ? s[0] - '0' : 0;
}

// The operation count of the entry whose header is row r, held to the rows that follow it.
int32_t EntryOperations(int32_t r) {
  return std::clamp(IntegerAt(SpaceGroupTable[r], 9, 12), 0, SpaceGroupRowCount - r - 1);
}

// The header row of the first entry for which match(header row) holds, or 0.
template <class Match>
int32_t FindEntry(Match match) {
  for (int32_t r = 1; r < SpaceGroupRowCount; r += 2 + EntryOperations(r))
    if (match(r)) return r;
  return 0;
}

}  // namespace

std::string_view Columns(const char* row, size_t from, size_t to) {
  std::string_view s(row);
  if (s.size() < from) return {};
  return s.substr(from - 1, to - from + 1);
}

int32_t IntegerAt(const char* row, size_t from, size_t to) {
  std::string_view s = Columns(row, from, to);
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0;
  s.remove_prefix(b);
  int32_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

void FindSpaceGroup(const std::string& name, int32_t& number) {
  std::string key = name;
  UpperCaseCyr(key);
  const int32_t r = key.empty() ? 0 : FindEntry([&](int32_t h) {
    std::string field(Columns(SpaceGroupTable[h + 1], 35, 41));
    field.erase(field.find_last_not_of(' ') + 1);
    UpperCaseCyr(field);
    return field == key;
  });
  if (r == 0) {
    ShowMsg("No space group with name " + name);
    DialogOk = 0;
    return;
  }
  number = std::abs(IntegerAt(SpaceGroupTable[r], 1, 4));
  DialogOk = 1;
}

void ExpandSpaceGroup(int32_t k) {
  DialogOk = 1;
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) {
    DialogOk = 0;
    return;
  }
  LATTICE& p = PhaseTable[k];
  if (p.SpaceGroup == 0) return;
  const int32_t target = p.Setting == 2 ? -p.SpaceGroup : p.SpaceGroup;
  const int32_t r = FindEntry([&](int32_t h) { return IntegerAt(SpaceGroupTable[h], 1, 4) == target; });
  if (r == 0) {
    // The phase keeps its operations and their count.
    ShowMsg("No group " + std::to_string(p.SpaceGroup) + ", setting " + std::to_string(p.Setting));
    DialogOk = 0;
    return;
  }
  const char* header = SpaceGroupTable[r];
  const char* symbols = SpaceGroupTable[r + 1];
  ForgetSymmetryExpansion(k);  // the operations a mode-2 expansion kept are overwritten now
  p.ClassCode = IntegerAt(header, 5, 8);
  p.Centrosymmetric = IntegerAt(header, 13, 16);
  p.CentringCount = CappedCount(IntegerAt(header, 17, 20), 3, "centring vectors");
  p.LatticeType = IntegerAt(symbols, 1, 2);
  p.Schoenflies = Columns(symbols, 28, 34);
  p.HermannMauguin = Columns(symbols, 35, 41);
  int32_t n = EntryOperations(r);
  if (n > MaxOperations) {
    ShowMsg("Error, number of transformations  > 48");
    n = MaxOperations;
  }
  p.OperationCount = n;
  // Only the first three of the five centring vectors are read.
  for (int32_t v = 1; v <= 3; ++v)
    for (int32_t c = 0; c < 3; ++c) {
      const size_t column = 26 + 6 * (v - 1) + 2 * c;
      p.CentringVectors[c][v] = DigitAt(header, column) / double(MaxI(DigitAt(header, column + 1), 1));
    }
  for (int32_t i = 1; i <= n; ++i) {
    const char* row = SpaceGroupTable[r + 1 + i];
    for (int32_t c = 0; c < 3; ++c) {
      const size_t b = 15 * c + 1;
      p.Translations[c][i] = IntegerAt(row, b, b + 2) / double(MaxI(IntegerAt(row, b + 3, b + 5), 1));
      for (int32_t m = 0; m < 3; ++m) p.Rotations[c][m][i] = IntegerAt(row, b + 6 + 3 * m, b + 8 + 3 * m);
    }
  }
}

void OperationText(int32_t i, int32_t k, std::string& text) {
  text.clear();
  if (!TableIndexOk(k, 1, MaxPhases, "phase") || !TableIndexOk(i, 1, MaxOperations, "operation")) return;
  const LATTICE& p = PhaseTable[k];
  for (int32_t c = 0; c < 3; ++c) {
    std::string row;
    for (int32_t m = 0; m < 3; ++m) {
      switch (RoundHalfEven(p.Rotations[c][m][i])) {
        case -1: row += " -"; row += "xyz"[m]; break;
        case 1: row += " +"; row += "xyz"[m]; break;
        default: row += "   "; break;
      }
    }
    const double t = p.Translations[c][i];
    if (t == 0) {
      row += "    ";
    } else {
      std::string s;
      FormatNumberTo(4, 2, s, t);
      if (t > 0) s[0] = '+';
      row += s;
    }
    // The first term of a row is written without its "+".
    const size_t f = row.find_first_not_of(' ');
    if (f != std::string::npos && row[f] == '+') row[f] = ' ';
    if (c > 0) text += ",  ";
    text += row;
  }
}
