// Shared by the benchmarks of the profile model, the curve drawing and the refinement run: a phase
// from a table entry with isotropic atoms on scattered general positions, and a fresh
// time-of-flight spectrum.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/peak_model.h"
#include "core/space_groups.h"
#include "core/spectrum.h"

struct TBenchPhase {
  int32_t group, setting;
  std::array<double, 6> cell;
};

// Atom a of phase k: length b0 + bk k + db a (10^-12 cm), isotropic B = t0 + dt a, positions from
// golden-ratio sequences at a + stride k.
struct TBenchAtoms {
  int32_t count, stride;
  double b0, bk, db, t0, dt;
};

inline void SetUpBenchPhase(int32_t k, const TBenchPhase& s, const TBenchAtoms& atoms) {
  LATTICE& p = PhaseTable[k];
  p = LATTICE{};
  std::copy(s.cell.begin(), s.cell.end(), p.Cell);
  p.SpaceGroup = s.group, p.Setting = s.setting;
  p.CrystalSystem = CrystalSystemOfGroup(s.group, s.setting);
  ExpandSpaceGroup(k);
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  p.Volume = CellVolume(p.Cell);
  PhaseMetric(k);
  PhaseModelFlags[k] = 0;
  p.AtomCount = atoms.count;
  for (int32_t a = 1; a <= atoms.count; ++a) {
    ATOM& at = AtomTable[a][k];
    at = ATOM{};
    at.Name = "X";
    at.ScatteringLength = atoms.b0 + atoms.bk * k + atoms.db * a;
    at.Occupation = 1;
    const double u = a + atoms.stride * k;
    at.X = 0.0137 + 0.6180339 * u - std::floor(0.6180339 * u);
    at.Y = 0.0291 + 0.7548777 * u - std::floor(0.7548777 * u);
    at.Z = 0.0413 + 0.5698403 * u - std::floor(0.5698403 * u);
    at.T11 = atoms.t0 + atoms.dt * a;
    at.IsotropicFlag = 1;
  }
}

// Fresh spectra and peak models (Gauss); spectrum 1 current: time of flight, channels
// 1..lastChannel, working range first..last, channel width cw (microseconds), L 21.13 m, Bragg
// angle 76 degrees, X[c] = c. The Rietveld switches off.
inline TSpectrum& SetUpBenchSpectrum(int32_t first, int32_t last, int32_t lastChannel, double cw) {
  for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::make_unique<TSpectrum>("bench");
  for (int32_t m = 1; m <= PeakModelCount; ++m) PeakModels[m] = std::make_unique<TPeakModel>();
  CurrentSpectrum = 1, SpectrumCount = 1;
  TSpectrum& sp = *SpectrumList[1];
  sp.AxisKind = AxisTimeOfFlight;
  sp.FirstChannel = 1, sp.LastChannel = lastChannel;
  sp.WorkFirst = first, sp.WorkLast = last;
  sp.ChanWidth = cw, sp.FlightPath = 21.13, sp.Theta = 76.0, sp.Delay = 0.0;
  for (int32_t c = 1; c <= MaxChannels; ++c) sp.X[c] = c;
  MainMode = 0, WidthMode = 0, BackgroundMode = 0, AnisotropyOn = 0, M2Mode = 0;
  return sp;
}
