// INI commands of the powder indexing: the measured d-spacings, the crystal systems, volume limits,
// volume minimisers, hkl bounds and the bins of the grid trials. Each handler reads its value lines
// into local values, checks them, and only then changes the tables.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"

namespace {

constexpr double DegreesPerRadian = 57.2958;  // the degree of the d-spacing rows
constexpr int32_t HklBoundLimit = 1000;
constexpr int32_t BinLimit = 100000;

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }

// n numbers over as many lines as needed, as IniReadNumbers, keeping the last line taken.
int32_t ReadHeadNumbers(int32_t n, std::span<double> a, std::string& last) {
  std::fill(a.begin() + 1, a.begin() + 1 + n, 0.0);
  int32_t got = 0;
  std::string line;
  while (got < n && IniNextLine(line)) {
    if (line.empty() || line.front() == '*') continue;
    if (IsIniTitle(line)) {
      IniGiveBack(std::move(line));
      break;
    }
    last = line;
    if (line.front() == '/') break;
    if (const size_t remark = line.find('*'); remark != std::string::npos) line.erase(remark);
    int32_t k = 0;
    ParseNumbers(k, line);
    for (int32_t i = 1; i <= k && got < n; ++i) a[static_cast<size_t>(++got)] = NumberBuffer[i];
  }
  return got;
}

// Passes over the rows of a refused list up to its "/" (taken) or a title (given back).
void SkipToSlash() {
  std::string line;
  while (IniNextLine(line)) {
    if (!line.empty() && line.front() == '/') return;
    if (IsIniTitle(line)) return IniGiveBack(std::move(line));
  }
}

// d of a row whose d is 0, from its abscissa x; 0 when it cannot be formed. Angles follow the
// zero-shift convention of the profile: the true two-theta is the observed x plus the shift.
double DFromAbscissa(int32_t type, double x, double lambda, double theta, double shift, double width,
                     double path) {
  if (type == 1 || type == 2) {
    const double bragg = type == 2 ? (x + shift) / 2 : x + shift / 2;
    const double s = std::sin(bragg / DegreesPerRadian);
    return s == 0.0 ? 0.0 : std::abs(lambda / 2 / s);
  }
  if (type == 3) {  // time of flight: d = (channel + delay) width / (505.556 L sin theta)
    const double c = TofConstant * path * std::sin(theta / DegreesPerRadian);
    return c == 0.0 ? 0.0 : (x + shift) * width / c;
  }
  return 0.0;
}

}  // namespace

void ReadIniDSpacings() {
  KnownCommand = 1;
  std::array<double, 8> h{};
  std::string last;
  const int32_t got = ReadHeadNumbers(7, h, last);
  int32_t type = -1;
  if (got < 7 || !IniInteger(h[1], 0, 3, type)) {
    IniError("Wrong data " + last);
    return SkipToSlash();
  }
  const double path = h[2], lambda = h[3], theta = h[4], shift = h[5], width = h[6];
  int32_t kinematic = 0;
  if (!IniInteger(h[7], 0, 1, kinematic)) {
    IniWarning("Warning, keylatt not in [0,1]");
    kinematic = h[7] != 0.0 ? 1 : 0;  // the fitter holds three instrument records at most
  }

  std::vector<TDSpacingRecord> rows;
  rows.reserve(MaxDSpacings);
  int32_t dropped = 0, skipped = 0;
  bool closed = false;
  std::string line;
  while (IniNextLine(line)) {
    if (line.empty() || line.front() == '*') continue;
    if (line.front() == '/') {
      closed = true;
      break;
    }
    if (IsIniTitle(line)) {
      IniGiveBack(std::move(line));
      break;
    }
    if (const size_t remark = line.find('*'); remark != std::string::npos) line.erase(remark);
    std::fill(NumberBuffer + 1, NumberBuffer + 7, 0.0);
    int32_t n = 0;
    ParseNumbers(n, line);
    if (n == 0) continue;
    TDSpacingRecord r;
    r.d = NumberBuffer[1], r.Error = NumberBuffer[2], r.X = NumberBuffer[3];
    int32_t hkl[3] = {};
    for (int32_t i = 0; i < 3; ++i)
      if (!IniInteger(NumberBuffer[4 + i], -HklBoundLimit, HklBoundLimit, hkl[i])) hkl[i] = 0;
    r.h = hkl[0], r.k = hkl[1], r.l = hkl[2];
    if (r.d == 0.0) r.d = DFromAbscissa(type, r.X, lambda, theta, shift, width, path);
    if (!(r.d > 0.0) || !std::isfinite(r.d)) {
      ++skipped;
      continue;
    }
    if (static_cast<int32_t>(rows.size()) >= MaxDSpacings) {
      ++dropped;
      continue;
    }
    rows.push_back(r);
  }
  if (!closed) IniWarning("No \"/\" after the d-spacings");
  if (skipped > 0) IniWarning("Rows without a d-spacing skipped: " + std::to_string(skipped));
  if (dropped > 0) IniWarning("Too many d-spacings, the first " + std::to_string(MaxDSpacings) + " kept");

  DSpacingDataType = type;
  CynematicFit = kinematic;
  if (TSpectrum* sp = SpectrumList[std::clamp(CurrentSpectrum, 0, 4)].get()) {
    sp->FlightPath = path, sp->Lambda = lambda, sp->Theta = theta, sp->Delay = shift, sp->ChanWidth = width;
    sp->AxisKind = type == 1 || type == 2 ? AxisAngular : AxisTimeOfFlight;
  }
  for (size_t k = 0; k < rows.size(); ++k) DSpacingList[k + 1] = rows[k];
  DSpacingCount = static_cast<int32_t>(rows.size());
  IndexingMode = 0;
  AssignDSpacings();
}

void ReadIniIndexingSymmetries() {
  KnownCommand = 1;
  std::array<double, MaxPhases + 1> v{};
  if (IniReadNumbers(Phases(), v) < Phases()) return IniError("Less symmetries than phases");
  for (int32_t p = 1; p <= Phases(); ++p) {
    int32_t s = 0;
    if (IniInteger(v[static_cast<size_t>(p)], 1, 7, s)) PhaseTable[p].CrystalSystem = s;
    else IniError("Wrong symmetry");
  }
}

void ReadIniVolumes() {
  KnownCommand = 1;
  std::array<double, MaxPhases + 1> v{};
  if (IniReadNumbers(Phases(), v) < Phases()) return IniError("Less volumes than phases");
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (v[static_cast<size_t>(p)] == 0.0) {
      IniError("Wrong volumes");
      continue;
    }
    CellVolumes[p] = v[static_cast<size_t>(p)];
    AutoCellVolume = 0;
  }
}

void ReadIniVolumeMinimizers() {
  KnownCommand = 1;
  std::array<double, MaxPhases + 1> v{};
  if (IniReadNumbers(Phases(), v) < Phases()) return IniError("Less volume minimizers than phases");
  for (int32_t p = 1; p <= Phases(); ++p) VolumeMinimizers[p] = v[static_cast<size_t>(p)];
}

void ReadIniHklBounds() {
  KnownCommand = 1;
  std::array<double, 5 * MaxPhases + 1> v{};
  const int32_t got = IniReadNumbers(5 * Phases(), v);
  for (int32_t p = 1; p <= Phases(); ++p) {
    int32_t b[5] = {};
    bool good = got >= 5 * p;
    for (int32_t j = 0; j < 5 && good; ++j)
      good = IniInteger(v[static_cast<size_t>(5 * (p - 1) + j + 1)], -HklBoundLimit, HklBoundLimit, b[j]);
    if (!good || b[0] < b[1] || b[2] < b[3] || b[4] < 0) return IniError("Wrong HKL bounds");
    std::copy(b, b + 5, HklBounds[p]);
  }
  AutoHklBounds = 0;
}

void ReadIniDeterministicMode() {
  KnownCommand = 1;
  // Bins as the bin dialog takes them: max(1, |rounded value|); the grid trials divide by them.
  const auto bin = [](double x) {
    int32_t b = 1;
    if (!IniInteger(std::abs(x), 0, BinLimit, b)) return -1;
    return std::max(1, b);
  };
  std::array<std::array<int32_t, 7>, MaxPhases + 1> bins{};
  int32_t tries = BinTriesDefault;
  for (int32_t p = 1; p <= Phases(); ++p) {
    std::array<double, 8> v{};
    IniReadNumbers(p == 1 ? 7 : 6, v);
    int32_t n[7] = {};
    for (int32_t j = 1; j <= 6; ++j)
      if ((n[j] = bin(v[static_cast<size_t>(j)])) < 0) return IniError("Wrong bins of phase " + std::to_string(p));
    std::array<int32_t, 7>& b = bins[static_cast<size_t>(p)];
    b = {0, n[1], n[1], n[1], 1, 1, 1};
    switch (PhaseTable[p].CrystalSystem) {
      case 1: std::copy(n + 1, n + 7, b.begin() + 1); break;
      case 2: b[2] = n[2], b[3] = n[3], b[5] = n[5]; break;
      case 3: b[2] = n[2], b[3] = n[3]; break;
      case 4:
      case 6: b[2] = 1, b[3] = n[3]; break;
      case 5: b[2] = 1, b[3] = 1; break;
      case 7: b[4] = b[5] = b[6] = n[4]; break;
      default: break;
    }
    if (p == 1) {
      int32_t t = 1;
      if (!IniInteger(std::max(1.0, v[7]), 1, BinLimit, t)) return IniError("Wrong number of tries per bin");
      tries = t;
    }
  }
  for (int32_t p = 1; p <= Phases(); ++p) std::copy(bins[static_cast<size_t>(p)].begin() + 1,
                                                      bins[static_cast<size_t>(p)].end(), BinCounts[p] + 1);
  BinTriesDefault = tries;
  if (CelixFitter) CelixFitter->TriesPerBin = tries;
  BinDefaultsSet = 1;
}
