// Peaks of the Fourier map and their atoms.
#include "fourier/map_peaks.h"
#include <algorithm>
#include <cmath>
#include "core/array_tools.h"
#include "core/dialog_state.h"
#include "core/line_fits.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/numeric_arrays.h"
#include "core/text_file.h"
#include "fourier/fourier_map.h"

namespace {

double Coordinate(int32_t axis, int32_t i) {
  const TFourierSettings& f = FourierSettings;
  const double lo[3] = {f.xLow, f.yLow, f.zLow}, step[3] = {f.xStep, f.yStep, f.zStep};
  return lo[axis] + (i - 1) * step[axis];
}

// The image R p + t + c of a point, each coordinate folded into the cell.
void FoldedImage(const TMapSymmetry& s, int32_t c, int32_t o, const double (&p)[3], double (&q)[3]) {
  for (int32_t r = 0; r < 3; ++r)
    q[r] = FractionalPart(s.R[o][r][0] * p[0] + s.R[o][r][1] * p[1] + s.R[o][r][2] * p[2] + s.t[o][r] + s.c[c][r]);
}

std::string RightAligned(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

}  // namespace

bool IsMapMaximum(int32_t i, int32_t j, int32_t k) {
  const int32_t n[3] = {std::clamp(MapNX, 1, MapPoints), std::clamp(MapNY, 1, MapPoints),
                        std::clamp(MapNZ, 1, MapPoints)};
  const int32_t at[3] = {i, j, k};
  for (int32_t a = 0; a < 3; ++a)
    if (at[a] < 1 || at[a] > n[a]) return false;
  const double c = FourierMap[i][j][k] + 0.001;
  const double level = std::abs(MapMax - MapMin) * FourierSettings.threshold;
  for (int32_t x = std::max(i - 1, 1); x <= std::min(i + 1, n[0]); ++x)
    for (int32_t y = std::max(j - 1, 1); y <= std::min(j + 1, n[1]); ++y)
      for (int32_t z = std::max(k - 1, 1); z <= std::min(k + 1, n[2]); ++z)
        if (!(FourierMap[x][y][z] < c)) return false;
  if (!(std::abs(c) > level)) return false;
  const double steps[3] = {FourierSettings.xStep, FourierSettings.yStep, FourierSettings.zStep};
  double kappa[3];
  for (int32_t a = 0; a < 3; ++a) {
    const auto m = [&](int32_t p) {
      int32_t q[3] = {i, j, k};
      q[a] = p;
      return FourierMap[q[0]][q[1]][q[2]];
    };
    const int32_t p = at[a], N = n[a];
    const double s = steps[a];
    double d1 = 0, d2 = 0;
    if (N > 1 && p >= 2 && p <= N - 1) {
      d1 = (m(p + 1) - m(p - 1)) * 0.5 / s;
      d2 = (m(p + 1) - 2 * m(p) + m(p - 1)) / (s * s);
    } else if (N > 1 && p == 1) {
      d1 = (m(2) - m(1)) / s;
      d2 = (m(2) - 2 * m(1)) / (s * s);
    } else if (N > 1) {
      d1 = (m(N) - m(N - 1)) / s;
      d2 = (m(N - 1) - 2 * m(N)) / (s * s);
    }
    kappa[a] = std::abs(d2 / std::sqrt(d1 * d1 + 1));
  }
  double decide = 1e300;
  for (int32_t a = 0; a < 3; ++a)
    if (FixedAxis != a + 1) decide = std::min(decide, kappa[a]);
  return decide > 1.5;
}

double PeakDistance(int32_t peak) {
  if (peak < 1 || peak > FourierPeakCapacity) return 1e16;
  const TFourierPeak& p = FourierPeaks[peak];
  return std::max({std::abs(p.x - CurrentPoint[0]), std::abs(p.y - CurrentPoint[1]), std::abs(p.z - CurrentPoint[2])});
}

void CompactPeakList() {
  int32_t kept = 0;
  const int32_t n = std::clamp(FourierPeakCount, 0, FourierPeakCapacity);
  for (int32_t i = 1; i <= n; ++i)
    if (FourierPeaks[i].amplitude != 0) FourierPeaks[++kept] = FourierPeaks[i];
  FourierPeakCount = kept;
}

void FindMapPeaks(int32_t n, int32_t phase) {
  FourierPeakCount = 0;
  if (LogOption != 0) {
    LogLine(std::string(10, ' ') + "Detected peaks:");
    LogLine("  N      X        Y        Z    Amplitude");
  }
  const TFourierSettings& f = FourierSettings;
  const double lo[3] = {std::min(f.xLow, f.xHigh), std::min(f.yLow, f.yHigh), std::min(f.zLow, f.zHigh)};
  const double hi[3] = {std::max(f.xLow, f.xHigh), std::max(f.yLow, f.yHigh), std::max(f.zLow, f.zHigh)};
  const int32_t nx = std::clamp(MapNX, 1, MapPoints), ny = std::clamp(MapNY, 1, MapPoints),
                nz = std::clamp(MapNZ, 1, MapPoints);
  for (int32_t i = 1; i <= nx; ++i)
    for (int32_t j = 1; j <= ny; ++j)
      for (int32_t k = 1; k <= nz; ++k) {
        if (!IsMapMaximum(i, j, k)) continue;
        double p[3] = {Coordinate(0, i), Coordinate(1, j), Coordinate(2, k)};
        double v = 0, r = 0;
        for (int32_t pass = 1; pass <= 3; ++pass) {
          v = FourierSumAtPoint(true, p[0], p[1], p[2], n);
          if (pass == 1) r = std::abs(v);
          int32_t ok = 0;
          double det = 0;
          Invert3x3(ok, 0, det);
          if (ok != 1 || std::abs(v) < r) continue;
          double d[3];
          for (int32_t a = 0; a < 3; ++a)
            d[a] = WorkMatrix[a + 1][1] * WorkVector[1] + WorkMatrix[a + 1][2] * WorkVector[2] +
                   WorkMatrix[a + 1][3] * WorkVector[3];
          if (std::max({std::abs(d[0]), std::abs(d[1]), std::abs(d[2])}) < 1e-4) continue;
          for (int32_t a = 0; a < 3; ++a) {
            p[a] += 0.1 * d[a];
            if (p[a] > 1) p[a] -= 1;
            if (p[a] < -1) p[a] += 1;
            if (p[a] < lo[a]) p[a] = lo[a];
            else if (p[a] > hi[a]) p[a] = hi[a];
          }
        }
        if (FourierPeakCount + 1 > FourierPeakCapacity) {
          FourierPeakCount = FourierPeakCapacity;
          ShowMsg("More than 1000 peaks found");
          return;
        }
        ++FourierPeakCount;
        FourierPeaks[FourierPeakCount] = {p[0], p[1], p[2], v};
        if (LogOption != 0)
          LogLine(FormatNumber(5, 0, FourierPeakCount) + FormatNumber(9, 3, p[0]) + FormatNumber(9, 3, p[1]) +
                  FormatNumber(9, 3, p[2]) + FormatNumber(9, 3, v));
      }
  for (int32_t i = 1; i <= FourierPeakCount; ++i) {
    TFourierPeak& q = FourierPeaks[i];
    q.x = FractionalPart(q.x), q.y = FractionalPart(q.y), q.z = FractionalPart(q.z);
  }
  TMapSymmetry s;
  MapSymmetryOf(phase, s);
  const auto dropNear = [&](int32_t i) {
    for (int32_t j = i + 1; j <= FourierPeakCount; ++j)
      if (PeakDistance(j) < 0.03) FourierPeaks[j].amplitude = 0;
  };
  for (int32_t i = 1; i <= FourierPeakCount; ++i) {
    const double p[3] = {FourierPeaks[i].x, FourierPeaks[i].y, FourierPeaks[i].z};
    for (int32_t c = 0; c < s.centrings; ++c)
      for (int32_t o = 0; o < s.ops; ++o) {
        double q[3];
        FoldedImage(s, c, o, p, q);
        std::copy(q, q + 3, CurrentPoint);
        dropNear(i);
        if (s.centrosymmetric) {
          for (int32_t a = 0; a < 3; ++a) CurrentPoint[a] = FractionalPart(-q[a]);
          dropNear(i);
        }
      }
  }
  CompactPeakList();
  for (int32_t i = 1; i <= FourierPeakCount; ++i) {
    const TFourierPeak& a = FourierPeaks[i];
    if (a.amplitude == 0) continue;
    for (int32_t j = i + 1; j <= FourierPeakCount; ++j) {
      TFourierPeak& b = FourierPeaks[j];
      if (b.amplitude != 0 && std::abs(b.x - a.x) < ResolutionX && std::abs(b.y - a.y) < ResolutionY &&
          std::abs(b.z - a.z) < ResolutionZ)
        b.amplitude = 0;
    }
  }
  CompactPeakList();
  LogLine(std::string(8, ' ') + "Independent peaks:");
  double top = 0;
  for (int32_t i = 1; i <= FourierPeakCount; ++i) {
    const TFourierPeak& q = FourierPeaks[i];
    top = std::max(top, q.amplitude);
    LogLine(FormatNumber(5, 0, i) + FormatNumber(8, 2, q.x) + FormatNumber(8, 2, q.y) + FormatNumber(8, 2, q.z) +
            "  Ampl= " + FormatNumber(8, 2, q.amplitude));
  }
  AddInfoLine(" Max ampl.= " + FormatNumberNoBlanks(2, top) + "   Resolutions:");
  AddInfoLine("  in x =" + FormatNumber(8, 4, ResolutionX));
  AddInfoLine("  in y =" + FormatNumber(8, 4, ResolutionY));
  AddInfoLine("  in z =" + FormatNumber(8, 4, ResolutionZ));
  AddInfoLine("  " + std::to_string(FourierPeakCount) + " map peaks detected.");
  for (int32_t i = 1; i <= FourierPeakCount; ++i) {
    const TFourierPeak& q = FourierPeaks[i];
    AddInfoLine(RightAligned(std::to_string(i), 3) + FormatNumber(8, 3, q.x) + FormatNumber(8, 3, q.y) +
                FormatNumber(8, 3, q.z) + FormatNumber(9, 1, q.amplitude));
  }
}

void FindNearestPeak(int32_t& peak, int32_t phase) {
  NearestPeakDistance = 1e16;
  TMapSymmetry s;
  MapSymmetryOf(phase, s);
  const double a[3] = {CurrentPoint[0], CurrentPoint[1], CurrentPoint[2]};
  const double inv[3] = {FractionalPart(-a[0]), FractionalPart(-a[1]), FractionalPart(-a[2])};
  const auto consider = [&](const double (&q)[3], const double (&b)[3], int32_t i) {
    const double d = std::max({std::abs(q[0] - b[0]), std::abs(q[1] - b[1]), std::abs(q[2] - b[2])});
    if (d < NearestPeakDistance) NearestPeakDistance = d, peak = i;
  };
  const int32_t n = std::clamp(FourierPeakCount, 0, FourierPeakCapacity);
  for (int32_t i = 1; i <= n; ++i) {
    if (FourierPeaks[i].amplitude == 0) continue;
    const double p[3] = {FourierPeaks[i].x, FourierPeaks[i].y, FourierPeaks[i].z};
    for (int32_t c = 0; c < s.centrings; ++c)
      for (int32_t o = 0; o < s.ops; ++o) {
        double q[3];
        FoldedImage(s, c, o, p, q);
        consider(q, a, i);
        if (s.centrosymmetric) consider(q, inv, i);
      }
  }
}

void AssignPeaksToAtoms(int32_t phase) {
  if (phase < 1 || phase > MaxPhases) return;
  const int32_t atoms = std::clamp(PhaseTable[phase].AtomCount, 0, MaxAtoms);
  for (int32_t a = 1; a <= atoms; ++a) AtomTable[a][phase].FoundByFourier = 0;
  LogLine(std::string(20, ' ') + "Atom assignment");
  AddInfoLine(" ");
  AddInfoLine("  Atom assignment");
  AddInfoLine(" ");
  for (int32_t a = 1; a <= atoms; ++a) {
    ATOM& atom = AtomTable[a][phase];
    CurrentPoint[0] = atom.X, CurrentPoint[1] = atom.Y, CurrentPoint[2] = atom.Z;
    // An atom without a free peak shows peak 0, never the previous atom's peak.
    int32_t peak = 0;
    FindNearestPeak(peak, phase);
    TFourierPeak shown;
    std::string verdict = "Warning!";
    const bool found = peak >= 1 && NearestPeakDistance < 1e16;
    if (found) {
      shown = FourierPeaks[peak];
      atom.FoundByFourier = 1;
      FourierPeaks[peak].amplitude = 0;
      if (NearestPeakDistance < 0.1) verdict = "OK";
    }
    const std::string distance = found ? FormatNumber(10, 2, NearestPeakDistance) : "******";
    LogLine(RightAligned(" Atom=" + atom.Name, 12) + FormatNumber(4, 0, a) + FormatNumber(8, 4, atom.X) +
            FormatNumber(8, 4, atom.Y) + FormatNumber(8, 4, atom.Z) + "   Phase= " + FormatNumber(1, 0, phase));
    LogLine(RightAligned("Peak=", 12) + FormatNumber(4, 0, peak) + FormatNumber(8, 4, shown.x) +
            FormatNumber(8, 4, shown.y) + FormatNumber(8, 4, shown.z) + "  Ampl= " + FormatNumber(8, 2, shown.amplitude));
    LogLine("   Distance = " + distance + "  " + verdict);
    AddInfoLine(FormatNumber(7, 3, atom.X) + FormatNumber(7, 3, atom.Y) + FormatNumber(7, 3, atom.Z) + "  phase= " +
                std::to_string(phase));
    AddInfoLine(FormatNumber(7, 3, shown.x) + FormatNumber(7, 3, shown.y) + FormatNumber(7, 3, shown.z) +
                FormatNumber(10, 1, shown.amplitude));
    AddInfoLine("   Distance = " + distance);
    AddInfoLine(" ");
  }
  LogLine("");
  DialogHint = "   Non-found atoms (phase)";
  FourierLogLine();
  std::string line;
  int32_t inLine = 0;
  for (int32_t a = 1; a <= atoms; ++a) {
    if (AtomTable[a][phase].FoundByFourier != 0) continue;
    line += FormatNumber(4, 0, a) + " (" + std::to_string(phase) + ") ";
    if (++inLine == 8) {
      DialogHint = line;
      FourierLogLine();
      line.clear(), inLine = 0;
    }
  }
  if (inLine > 0) {
    DialogHint = line;
    FourierLogLine();
  }
}

void PeaksToAtomCoordinates(int32_t phase) {
  if (phase < 1 || phase > MaxPhases) return;
  const int32_t peaks = std::clamp(FourierPeakCount, 0, FourierPeakCapacity);
  if (peaks == 0) return;
  const int32_t atoms = std::clamp(PhaseTable[phase].AtomCount, 0, MaxAtoms);
  if (atoms == 0) {
    ShowMsg("No atoms declared");
    return;
  }
  if (peaks < atoms) ShowMsg("Less peaks than declared atoms");
  double spread[FourierPeakCapacity + 1] = {};
  for (int32_t i = 1; i <= peaks; ++i)
    for (int32_t j = 1; j <= peaks; ++j) {
      const TFourierPeak &p = FourierPeaks[i], &q = FourierPeaks[j];
      spread[i] += std::abs(p.x - q.x) + std::abs(p.y - q.y) + std::abs(p.z - q.z);
    }
  for (int32_t a = 1; a <= std::min(atoms, peaks); ++a) {
    int32_t best = 1;
    double most = 0;
    for (int32_t i = 1; i <= peaks; ++i)
      if (spread[i] > most) most = spread[i], best = i;
    ATOM& atom = AtomTable[a][phase];
    atom.X = FourierPeaks[best].x, atom.Y = FourierPeaks[best].y, atom.Z = FourierPeaks[best].z;
    spread[best] = 0;
  }
  LogLine(std::string(8, ' ') + "Peaks taken as atom coordinates");
  AddInfoLine(std::string(8, ' ') + "Peaks taken as atom coordinates");
  for (int32_t a = 1; a <= atoms; ++a) {
    const ATOM& atom = AtomTable[a][phase];
    AddInfoLine(std::to_string(a) + FormatNumber(8, 3, atom.X) + FormatNumber(8, 3, atom.Y) + FormatNumber(8, 3, atom.Z));
    LogLine(FormatNumber(5, 0, a) + FormatNumber(9, 3, atom.X) + FormatNumber(9, 3, atom.Y) + FormatNumber(9, 3, atom.Z));
  }
}
