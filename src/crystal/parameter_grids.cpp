#include "crystal/parameter_grids.h"
#include <algorithm>
#include <cstdint>
#include <string>
#include "core/dialog_model.h"
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/parameter_layout.h"
#include "crystal/parameter_editor.h"

namespace {

TStringGrid& Grid() { return Form2.StringGrid1; }

// The last grid row (the array's count).
int32_t LastRow() { return std::min(Grid().rowCount - 1, MaxParameters); }

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }

// Row i named and written with the given decimals; nothing past the grid.
void Row(int32_t i, const std::string& name, int32_t decimals) {
  if (i < 1 || i > LastRow()) return;
  Grid().Cell(0, i) = name;
  ShowParameterRow(i, decimals);
}

void OwnRow(int32_t i, int32_t decimals) {
  if (i >= 1 && i <= LastRow()) Row(i, parar[i].Name, decimals);
}

void OwnRows(int32_t first, int32_t last, int32_t decimals) {
  for (int32_t i = std::max(first, 1); i <= std::min(last, LastRow()); ++i) OwnRow(i, decimals);
}

std::string OwnName(int32_t i) { return i >= 1 && i <= LastRow() ? parar[i].Name : std::string(); }

// Rows 1..10 (global) and the scale, metric and width rows of every phase; decimals of row 1
// and row 2 differ between the two profile layouts.
void ProfileHeadRows(int32_t firstDecimals, int32_t secondDecimals) {
  OwnRow(1, firstDecimals);
  OwnRow(2, secondDecimals);
  OwnRow(3, 2);
  OwnRows(4, 9, 1);
  OwnRow(10, 3);
}

void PhaseHeadRows(int32_t p, int32_t base) {
  Row(base + 1, OwnName(base + 1) + std::to_string(p), 5);
  OwnRows(base + 2, base + 7, 6);
  OwnRows(base + 8, base + 10, 2);
}

}  // namespace

void FillRietveldGrid() {
  ProfileHeadRows(5, 2);
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t base = PhaseParameterOffset(p);
    PhaseHeadRows(p, base);
    const bool magnetic = PhaseModelFlags[p] == 1;
    for (int32_t j = 1; j <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++j) {
      const int32_t r = base + 10 * j + 1;
      if (r > LastRow()) break;
      const ATOM& atom = AtomTable[j][p];
      const std::string sign = magnetic ? (atom.MagneticMoment < 0 ? "-" : "+") : "";
      Row(r, sign + OwnName(r) + std::to_string(j), 5);
      for (int32_t i = r + 1; i <= r + 3; ++i) Row(i, (OwnName(i) + " of ").substr(0, 15) + atom.Name, 5);
      OwnRows(r + 4, r + 9, 4);
    }
  }
  if (HasMagneticPhase()) {
    for (int32_t p = 1; p <= Phases(); ++p) {
      const int32_t m = ParameterCount(0) + 3 * (p - 1) + 1;
      Row(m, PhaseModelFlags[p] == 1 ? OwnName(m) + std::to_string(p) : std::string(), 4);
      OwnRows(m + 1, m + 2, 4);
    }
  }
  FillAnisotropyGridRows();
}

void FillIndexingGrid() {
  for (int32_t p = 1; p <= Phases(); ++p) {
    OwnRows(6 * (p - 1) + 1, 6 * (p - 1) + 3, 5);
    OwnRows(6 * (p - 1) + 4, 6 * p, 6);
  }
  if (CynematicFit != 0) OwnRows(6 * Phases() + 1, 6 * Phases() + 3, 5);
}

void FillMatchGrid() {
  ProfileHeadRows(6, 0);
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t base = PhaseParameterOffset(p);
    PhaseHeadRows(p, base);
    OwnRows(base + 11, base + 10 + std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections), 4);
  }
  FillAnisotropyGridRows();
}

void FillFitraGrid() {
  int32_t n = 0;
  CountParameters(n, 3);
  for (int32_t i = 1; i <= std::min(n, LastRow()); ++i) Grid().Cell(0, i) = parar[i].Name;
  if (FiveParameterFit) {
    OwnRows(1, 5, 2);
    return;
  }
  const int32_t m = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  OwnRows(1, 6, 2);
  OwnRows(7, m + 6, 0);
  OwnRows(m + 7, 2 * m + 6, 3);
  if (WidthMode == -1) {
    OwnRows(2 * m + 7, 3 * m + 6, 3);
    return;
  }
  OwnRows(2 * m + 7, 2 * m + 12, 3);
  OwnRows(2 * m + 13, 2 * m + 18, 4);
  if (M2Mode) OwnRows(2 * m + 19, 2 * m + 20, 5);
}

void FillAnisotropyGridRows() {
  if (AnisotropyOn) {
    const int32_t start = ParameterCount(1);
    for (int32_t p = 1; p <= Phases(); ++p) {
      const int32_t s = start + AnisotropyParameterCount * (p - 1);
      OwnRows(s + 1, s + AnisotropyParameterCount, 4);
      if (!AnisotropicPhases[p] && s + 1 <= LastRow()) Grid().Cell(0, s + 1) = "";
    }
  }
  if (M2Mode) OwnRows(ParameterCount(2) + 1, ParameterCount(2) + 2, 5);
}
