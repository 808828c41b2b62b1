#include "core/cell_geometry.h"
#include <cmath>
#include <numbers>
#include "core/messages.h"

int32_t CrystalSystemOfGroup(int32_t number, int32_t setting) {
  if (number >= 1 && number <= 2) return 1;
  if (number >= 3 && number <= 15) return 2;
  if (number >= 16 && number <= 74) return 3;
  if (number >= 75 && number <= 142) return 4;
  if (number >= 143 && number <= 167) {
    // The R groups: setting 1 is the rhombohedral cell, setting 2 the hexagonal one.
    switch (number) {
      case 146: case 148: case 155: case 160: case 161: case 166: case 167:
        if (setting == 1) return 7;
        break;
      default: break;
    }
    return 6;
  }
  if (number >= 168 && number <= 194) return 6;
  if (number >= 195 && number <= 230) return 5;
  return 1;
}

void SetSystemAngles(double& alpha, double& beta, double& gamma, int32_t system) {
  switch (system) {
    case 2:
      alpha = 90;
      break;
    case 3: case 4: case 5:
      alpha = beta = gamma = 90;
      break;
    case 6:
      alpha = beta = 90;
      gamma = 120;
      break;
    default: break;
  }
}

bool BravaisTypeAllowed(int32_t system, int32_t type) {
  switch (system) {
    case 1: case 6: return type == 0;
    case 2: return type >= 0 && type <= 3;
    case 3: return type >= 0 && type <= 5;
    case 4: return type == 0 || type == 5;
    case 5: return type == 0 || type == 4 || type == 5;
    case 7: return type == 0 || type == 6;
    default: return false;
  }
}

const std::array<TCrystalSystemRow, 8> CrystalSystemTable = {{
    {"", "", ""},
    {"triclinic", "(P)", "1-2"},
    {"monoclinic", "(PABC)", "3-15"},
    {"orthorhombic", "(PABCFI)", "16-74"},
    {"tetragonal", "(PI)", "75-142"},
    {"cubic", "(PFI)", "195-230"},
    {"hexagonal", "(P)", "143-194"},
    {"rhombohedral", "(PR)", "146,148,155,160,161,166,167 (setting 1)"},
}};

const TCrystalSystemRow& CrystalSystemRow(int32_t system) {
  return CrystalSystemTable[system >= 1 && system <= 7 ? static_cast<size_t>(system) : 1];
}

double CellVolumeFromCosines(double a, double b, double c, double cosAlpha, double cosBeta,
                             double cosGamma) {
  double g = 1 - cosAlpha * cosAlpha - cosBeta * cosBeta - cosGamma * cosGamma +
             2 * cosAlpha * cosBeta * cosGamma;
  return a * b * c * std::sqrt(std::fmax(0.0, g));
}

double CellVolume(std::span<const double, 6> cell) {
  return CellVolumeFromCosines(cell[0], cell[1], cell[2], std::cos(cell[3] / RadToDeg),
                               std::cos(cell[4] / RadToDeg), std::cos(cell[5] / RadToDeg));
}

void CellMetric(std::span<const double, 6> cell, std::span<double, 6> reciprocal, double& volume,
                int32_t mode) {
  // Copies first: the caller may pass one array as both cell and reciprocal.
  const double a = cell[0], b = cell[1], c = cell[2];
  double ca, cb, cc;
  if (mode == 0) {
    ca = std::cos(cell[3] / RadToDeg);
    cb = std::cos(cell[4] / RadToDeg);
    cc = std::cos(cell[5] / RadToDeg);
  } else {
    ca = cell[3];
    cb = cell[4];
    cc = cell[5];
  }
  const double sa = std::sqrt(std::fabs(1 - ca * ca));
  const double sb = std::sqrt(std::fabs(1 - cb * cb));
  const double sc = std::sqrt(std::fabs(1 - cc * cc));

  // Cosines of the reciprocal angles.
  const double d1 = sb * sc, d2 = sa * sc, d3 = sa * sb;
  const double ra = d1 != 0 ? (cb * cc - ca) / d1 : 0.0;
  const double rb = d2 != 0 ? (ca * cc - cb) / d2 : 0.0;
  const double rc = d3 != 0 ? (ca * cb - cc) / d3 : 0.0;
  reciprocal[3] = ra;
  reciprocal[4] = rb;
  reciprocal[5] = rc;

  // V* / (a* b* c*), held away from 0 for degenerate angles.
  const double f = std::fmax(
      1e-8, std::sqrt(std::fabs(1 - ra * ra - rb * rb - rc * rc + 2 * ra * rb * rc)));

  if (a * b * c == 0) {
    ShowMsg("Unit cell error");
    return;
  }

  reciprocal[0] = std::sqrt(std::fabs(1 - ra * ra)) / (a * f);
  reciprocal[1] = std::sqrt(std::fabs(1 - rb * rb)) / (b * f);
  reciprocal[2] = std::sqrt(std::fabs(1 - rc * rc)) / (c * f);
  reciprocal[3] = ArcCosClamped(ra) * RadToDeg;
  reciprocal[4] = ArcCosClamped(rb) * RadToDeg;
  reciprocal[5] = ArcCosClamped(rc) * RadToDeg;
  volume = reciprocal[0] * reciprocal[1] * reciprocal[2] * f;

  for (int i = 3; i < 6; ++i) {
    if (std::fabs(reciprocal[i]) < 1e-6) reciprocal[i] = 0;
    if (std::fabs(reciprocal[i] - 90) < 1e-6) reciprocal[i] = 90;
  }

  if (mode == 2) {
    reciprocal[0] = 1 / a;
    reciprocal[1] = 1 / b;
    reciprocal[2] = 1 / c;
    for (int i = 3; i < 6; ++i) reciprocal[i] = std::fmax(0.0, 180 - reciprocal[i]);
  }
}

namespace {
double ClampToUnit(double x) {
  if (x > 1) return 1;
  if (x < -1) return -1;
  return x;
}
}  // namespace

double ArcCosClamped(double x) {
  x = ClampToUnit(x);
  if (std::fabs(x) < 0.0001) return std::numbers::pi / 2;
  if (x == 1) return 0;
  if (x == -1) return std::numbers::pi;
  double r = std::atan(std::sqrt(std::fabs(1 - x * x)) / std::fabs(x));
  return x < 0 ? std::numbers::pi - r : r;
}

double ArcSinAngle(double x) {
  x = ClampToUnit(x);
  if (x == -1) return 4.71238875;
  if (x == 1) return 1.57079625;
  double r = std::atan(std::fabs(x) / std::sqrt(std::fabs(1 - x * x)));
  return x < 0 ? PiLegacy + r : r;
}

bool IsQuarterFraction(double x) {
  double ax = std::fabs(x);
  return ax == 0 || ax == 0.25 || ax == 0.5 || ax == 0.75 || ax == 1;
}
