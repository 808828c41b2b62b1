#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "crystal/reflection_lists.h"

namespace {

// Index bounds are held to +-2^18: squares and their sums stay exact in 64 bits, and a list
// stops at 3999 reflections long before such bounds are walked.
constexpr int64_t BoundLimit = int64_t{1} << 18;

using Triple = std::array<int32_t, 3>;
using Invariant = std::array<int64_t, 4>;

template <class T>
struct ArrayHash {
  size_t operator()(const T& a) const {
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto v : a) x = (x ^ uint64_t(int64_t(v))) * 0xBF58476D1CE4E5B9ull, x ^= x >> 31;
    return size_t(x);
  }
};

// What the metric of crystal system s leaves unchanged between equivalent indices: two indices
// with the same invariant have the same d for every cell of the system. Triclinic only pairs
// (h, k, 0) with (-h, -k, 0) and is handled apart; an unknown system has no invariant.
bool SystemInvariant(int32_t s, int64_t h, int64_t k, int64_t l, Invariant& key) {
  switch (s) {
    case 2: key = {h * h, k * k, l * l, h * l}; return true;
    case 3: key = {h * h, k * k, l * l, 0}; return true;
    case 4: key = {h * h + k * k, l * l, 0, 0}; return true;
    case 5: key = {h * h + k * k + l * l, 0, 0, 0}; return true;
    case 6: key = {h * h + k * k + h * k, l * l, 0, 0}; return true;
    case 7: key = {h * h + k * k + l * l, h * k + h * l + k * l, 0, 0}; return true;
    default: return false;
  }
}

// The centring conditions of the index lists: R always needs -h + k + l = 3n except on
// rhombohedral axes (system 7), where the primitive cell has no condition; a code outside 0..6
// admits nothing.
bool IndexCentringAllows(int32_t type, int32_t system, int64_t h, int64_t k, int64_t l) {
  switch (type) {
    case 0: return true;
    case 1: return ((k + l) & 1) == 0;
    case 2: return ((h + l) & 1) == 0;
    case 3: return ((h + k) & 1) == 0;
    case 4: return ((h + k) & 1) == 0 && ((k + l) & 1) == 0;
    case 5: return ((h + k + l) & 1) == 0;
    case 6: return system == 7 || (-h + k + l) % 3 == 0;
    default: return false;
  }
}

// The index list of phase p from its bounds.
void GenerateOnePhase(int32_t p) {
  LATTICE& phase = PhaseTable[p];
  const int32_t system = phase.CrystalSystem;
  const int32_t* b = HklBounds[p];
  int64_t hMax = b[0], hMin = b[1], kMax = b[2], kMin = b[3], lMax = b[4];
  if (system == 2 || system == 6) kMin = std::max<int64_t>(kMin, 0);
  if (system == 3 || system == 4 || system == 5) hMin = std::max<int64_t>(hMin, 0), kMin = std::max<int64_t>(kMin, 0);
  auto held = [](int64_t v) { return std::clamp(v, -BoundLimit, BoundLimit); };
  hMax = held(hMax), hMin = held(hMin), kMax = held(kMax), kMin = held(kMin), lMax = held(lMax);

  std::unordered_set<Triple, ArrayHash<Triple>> stored;           // triclinic
  std::unordered_set<Invariant, ArrayHash<Invariant>> invariants;  // every other system
  int32_t n = 0;
  for (int64_t h = hMin; h <= hMax; ++h)
    for (int64_t k = kMin; k <= kMax; ++k)
      for (int64_t l = 0; l <= lMax; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        if ((k == 0 && l == 0 && h < 0) || (h == 0 && l == 0 && k < 0)) continue;
        if (!IndexCentringAllows(phase.LatticeType, system, h, k, l)) continue;
        Invariant key{};
        const bool keyed = SystemInvariant(system, h, k, l, key);
        if (keyed && invariants.contains(key)) continue;
        if (system == 1 && l == 0 && stored.contains(Triple{int32_t(-h), int32_t(-k), 0})) continue;
        if (n + 1 >= MaxReflections) {
          ShowMsg("Phase" + std::to_string(p) + " D-interval too large");
          phase.ReflectionCount = n;
          return;
        }
        if (keyed) invariants.insert(key);
        if (system == 1 && l == 0) stored.insert(Triple{int32_t(h), int32_t(k), 0});
        THklRecord& r = HklTable[++n][p];
        r = THklRecord{};
        r.h = int32_t(h), r.k = int32_t(k), r.l = int32_t(l);
        const double q = CellInverseDSquared(phase, r.h, r.k, r.l);
        r.d = q > 0 && std::isfinite(q) ? 1.0 / std::sqrt(q) : 0.0;
      }
  phase.ReflectionCount = n;
}

// A d that sorts: NaN goes behind every number.
inline double SortKey(double d) { return std::isnan(d) ? -std::numeric_limits<double>::infinity() : d; }

std::string TwoDecimals(double d) {
  std::string s = FormatNumber(6, 2, d);
  DeleteSpaces(s);
  return s;
}

}  // namespace

void GeneratePhaseHkls() {
  if (IndexingMode == 1) {
    const int32_t n = std::clamp(DSpacingCount, 0, MaxDSpacings);
    for (int32_t i = 1; i <= n; ++i) {
      HklTable[i][1].h = DSpacingList[i].h;
      HklTable[i][1].k = DSpacingList[i].k;
      HklTable[i][1].l = DSpacingList[i].l;
    }
    PhaseTable[1].ReflectionCount = n;
    return;
  }
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) GenerateOnePhase(p);
  if (UseSpaceGroup) {
    if (NoCrystalInfo) {
      ShowMsg("No space group set up");
    } else {
      MarkEquivalentHkls();
      SortHklsByD();
    }
  }
}

void SortHklsByD() {
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  std::vector<THklRecord> list;
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
    list.clear();
    for (int32_t i = 1; i <= n; ++i) list.push_back(HklTable[i][p]);
    std::stable_sort(list.begin(), list.end(),
                     [](const THklRecord& a, const THklRecord& b) { return SortKey(a.d) > SortKey(b.d); });
    for (int32_t i = 1; i <= n; ++i) HklTable[i][p] = list[i - 1];
  }
}

void MarkEquivalentHkls() {
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  std::vector<uint8_t> marked;
  std::unordered_map<Triple, std::vector<int32_t>, ArrayHash<Triple>> positions;
  for (int32_t p = 1; p <= phases; ++p) {
    LATTICE& phase = PhaseTable[p];
    const int32_t n = std::clamp(phase.ReflectionCount, 0, MaxReflections);
    const int32_t ops = std::clamp(phase.OperationCount, 0, MaxOperations);
    positions.clear();
    for (int32_t i = 1; i <= n; ++i) {
      const THklRecord& r = HklTable[i][p];
      positions[Triple{r.h, r.k, r.l}].push_back(i);  // ascending
    }
    marked.assign(n + 1, 0);
    // Reflection i, marked or not, marks every later reflection equal to one of its images.
    for (int32_t i = 1; i <= n; ++i) {
      const THklRecord& r = HklTable[i][p];
      for (int32_t o = 1; o <= ops; ++o) {
        Triple image;
        bool fits = true;
        for (int32_t m = 0; m < 3; ++m) {
          const double v = std::nearbyint(r.h * phase.Rotations[0][m][o] + r.k * phase.Rotations[1][m][o] +
                                          r.l * phase.Rotations[2][m][o]);
          fits = fits && std::fabs(v) <= std::numeric_limits<int32_t>::max();
          image[m] = fits ? int32_t(v) : 0;
        }
        if (!fits) continue;
        const auto found = positions.find(image);
        if (found == positions.end()) continue;
        for (int32_t j : found->second)
          if (j > i) marked[j] = 1;
      }
    }
    int32_t kept = 0;
    for (int32_t i = 1; i <= n; ++i)
      if (!marked[i]) HklTable[++kept][p] = HklTable[i][p];
    phase.ReflectionCount = kept;
  }
}

void FormHklsOfPhases(int32_t logMode) {
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  InfoLines.count = 0;
  auto reportLine = [&](const std::string& line) {
    AddInfoLine(line);
    if (logMode == 1) LogLine(line);
  };
  auto warning = [](const std::string& text) {
    LogLine(text);
    ShowMsg(text);
  };
  int64_t total = 0;
  for (int32_t p = 1; p <= phases; ++p) {
    const LATTICE& phase = PhaseTable[p];
    const std::string ps = std::to_string(p);
    total += phase.ReflectionCount;
    reportLine("Phase" + ps + ": " + std::to_string(phase.ReflectionCount) + " hkls formed, d:" + TwoDecimals(DMin) +
               " - " + TwoDecimals(DMax));
    if (phase.ReflectionCount >= MaxReflections) {
      AddInfoLine(" For phase " + ps + " too many hkls");
      AddInfoLine(" No guarantee that they are right");
    }
    if (phase.MaxF == 0) warning("Warning, phase " + ps + " structure factors = 0");
    if (PhaseModelFlags[p] == 1 && phase.MaxQ == 0) warning("Warning, phase " + ps + " magnetic factors = 0");
  }
  if (phases > 1) reportLine(" Altogether " + std::to_string(total) + " hkls");
  for (int32_t p = 1; p <= phases; ++p) {
    LATTICE& phase = PhaseTable[p];
    const int32_t n = std::clamp(phase.ReflectionCount, 0, MaxReflections);
    phase.MaxIndex4 = 0;
    phase.MaxIndex2 = 0;
    for (int32_t i = 1; i <= n; ++i) {
      const THklRecord& r = HklTable[i][p];
      const double m = std::max({std::fabs(double(r.h)), std::fabs(double(r.k)), std::fabs(double(r.l))});
      phase.MaxIndex2 = std::max(phase.MaxIndex2, m * m);
      phase.MaxIndex4 = std::max(phase.MaxIndex4, m * m * m * m);
    }
  }
}
