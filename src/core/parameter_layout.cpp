#include "core/parameter_layout.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"

namespace {
constexpr int32_t GlobalRecords = 10;
constexpr int32_t PhaseRecords = 10;
constexpr int32_t AtomRecords = 10;
constexpr int32_t MagneticRecords = 3;
constexpr int32_t IndexingRecords = 6;
constexpr int32_t InstrumentRecords = 3;  // per CynematicFit in the indexing layout
constexpr int32_t FitraFixedRecords = 18;

// The counts of the model held to their tables (their writers report a count they cut).
int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }
int32_t Atoms(int32_t k) { return std::clamp(PhaseTable[k].AtomCount, 0, MaxAtoms); }
int32_t Reflections(int32_t k) { return std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections); }
int32_t Peaks() { return std::clamp(MarkedPointCount, 0, MarkedPointCapacity); }
// The peak-model number of peak i; points past the model table use model 1.
int32_t PeakModel(int32_t i) { return i <= MarkedPointModelCount ? MarkedPointModels[i] : 1; }

// The records of a mode without extension blocks.
int64_t BaseCount(int32_t mode) {
  int64_t n = GlobalRecords;
  switch (mode) {
    case 0:
      for (int32_t k = 1, p = Phases(); k <= p; ++k) n += AtomRecords * (Atoms(k) + 1);
      return n;
    case 2:
      for (int32_t k = 1, p = Phases(); k <= p; ++k) n += PhaseRecords + Reflections(k);
      return n;
    case 3:  // the M2 pair follows: after the per-peak widths when each peak has its own
      return WidthMode == -1 ? 3 * Peaks() + 6 : 2 * Peaks() + FitraFixedRecords;
    default:
      return n;
  }
}

// Writes record names, cut to 11 characters; a record past the array is skipped (once reported).
class NameWriter {
public:
  void operator()(int64_t i, const std::string& name) {
    if (i < 1 || i > MaxParameters) {
      if (!reported_) TableIndexOk(static_cast<int32_t>(std::clamp<int64_t>(i, -1, MaxParameters + 1)), 1,
                                   MaxParameters, "parameter");
      reported_ = true;
      return;
    }
    parar[i].Name = name.substr(0, ParameterNameLength);
  }
  void Block(int64_t first, std::initializer_list<const char*> names) {
    for (const char* name : names) (*this)(first++, name);
  }

private:
  bool reported_ = false;
};

void NameProfileLayout(NameWriter& put, const TSpectrum* sp) {
  const bool angular = sp && sp->AxisKind == AxisAngular;
  put.Block(1, {"FlightPath", "dTheta0", "Delay", "Bckg-const", "Bckg-linear", "Bckg-quadra", "Bckg-cubic",
                "Bckgr.4", "Bckgr.5", "Spectr.Corr"});
  if (angular) put.Block(1, {"Lambda", "", "Zero-shift"});
  if (BackgroundMode == 1) put.Block(5, {"Ampl_b0", "Ampl_b1", "Pos_b", "Width_b0", "Width_b1"});
  const int32_t phases = Phases();
  for (int32_t k = 1; k <= phases; ++k) {
    const int32_t b = PhaseParameterOffset(k);
    put.Block(b + 1, {"Scale Phase", "a", "b", "c", "alpha", "beta", "gamma", "Width 0", "Width 1",
                      angular ? "Width 2" : "Width 2/Extinction"});
    if (MainMode == 0) {
      for (int32_t i = 1, n = Atoms(k); i <= n; ++i) {
        const int64_t r = b + AtomRecords * i;
        put.Block(r + 1, {"Occupation", "X", "Y", "Z", "T11", "T12", "T13", "T22", "T23", "T33"});
        if (PhaseModelFlags[k] == 1) put(r + 1, "OccMagM");
      }
    } else {
      for (int32_t i = 1, n = Reflections(k); i <= n; ++i) {
        std::string d = FormatNumber(7, 4, HklTable[i][k].d);
        DeleteSpaces(d);
        put(b + PhaseRecords + i, "SF" + std::to_string(k) + "d=" + d);
      }
    }
  }
  if (HasMagneticPhase()) {
    const int32_t m = ParameterCount(0);
    for (int32_t k = 1; k <= phases; ++k) {
      const int64_t s = m + MagneticRecords * (k - 1);
      if (PhaseModelFlags[k] == 1) {
        put.Block(s + 1, {"Cos Phi_a", "Cos Phi_b", "Cos Phi_c"});
        put(s + 1, "Cos Phi_a Phase" + std::to_string(k));
      } else {
        put.Block(s + 1, {" ", " ", " "});
      }
    }
  }
  if (AnisotropyOn) {
    const int32_t m = ParameterCount(1);
    for (int32_t k = 1; k <= phases; ++k) {
      const int64_t s = m + AnisotropyParameterCount * (k - 1);
      if (AnisotropicPhases[k]) {
        put.Block(s + 1, {"AnisX    ", "AnisY    ", "AnisZ    ", "Anisotr_H", "Anisotr_K", "Anisotr_L",
                          "AniGamma ", "AniBeta  ", "AniAlpha ", "AniH2    ", "AniK2    ", "AniL2    "});
        if (phases > 1) put(s + 1, "AnisX   " + std::to_string(k));
      } else {
        for (int32_t j = 1; j <= AnisotropyParameterCount; ++j) put(s + j, " ");
      }
    }
  }
}

void NameIndexingLayout(NameWriter& put, const TSpectrum* sp) {
  const int32_t phases = Phases();
  for (int32_t k = 1; k <= phases; ++k) {
    const int64_t s = IndexingRecords * (k - 1);
    if (phases == 1) {
      put.Block(s + 1, {" A", " B", " C", "cos(alpha)", "cos( beta)", "cos(gamma)"});
    } else {
      const std::string p = std::to_string(k);
      put(s + 1, " A" + p);
      put(s + 2, " B" + p);
      put(s + 3, " C" + p);
      put(s + 4, "cos(alpha" + p + ")");
      put(s + 5, "cos( beta" + p + ")");
      put(s + 6, "cos(gamma" + p + ")");
    }
  }
  if (CynematicFit != 0) {
    const int64_t s = IndexingRecords * phases;
    if (sp && sp->AxisKind == AxisTimeOfFlight)
      put.Block(s + 1, {"FlightPath", "Theta", "Delay(ch)"});
    else
      put.Block(s + 1, {"Lambda", "", "0-shift"});
  }
}

void NameFitraLayout(NameWriter& put) {
  const int32_t m = Peaks();
  put(1, "Bckg-const");
  if (BackgroundMode == 0)
    put.Block(2, {"Bckg-linear", "Bckg-quadra", "Bckg-cubic", "Bckgr.4", "Bckgr.5"});
  else
    put.Block(2, {"Ampl_b0", "Ampl_b1", "Pos_b", "Width_b0", "Width_b1"});
  for (int32_t i = 1; i <= m; ++i) {
    put(6 + i, " Ampl." + std::to_string(i));
    put(m + 6 + i, "Pos" + std::to_string(i) + " mod" + std::to_string(PeakModel(i)));
  }
  if (WidthMode == -1) {
    for (int32_t i = 1; i <= m; ++i) put(2 * m + 6 + i, "Width" + std::to_string(i));
  } else {
    for (int32_t s = 1; s <= 6; ++s) {
      const bool inUse = s <= UsedPeakModelCount;
      put(2 * m + 6 + s, inUse ? "Width0 mod" + std::to_string(s) : "");
      put(2 * m + 12 + s, inUse ? "Width1 mod" + std::to_string(s) : "");
    }
  }
}
}  // namespace

bool HasMagneticPhase() {
  for (int32_t k = 1, p = Phases(); k <= p; ++k)
    if (PhaseModelFlags[k] == 1) return true;
  return false;
}

void CountParameters(int32_t& n, int32_t mode) {
  const int64_t phases = Phases();
  const int64_t m = Peaks();
  int64_t count = GlobalRecords;
  switch (mode) {
    case 0:
    case 2:
      count = BaseCount(mode);
      if (HasMagneticPhase() && MainMode == 0) count += MagneticRecords * phases;
      if (AnisotropyOn) count += AnisotropyParameterCount * phases;
      if (M2Mode) count += 2;
      break;
    case 1:
      count = IndexingRecords * phases + InstrumentRecords * static_cast<int64_t>(CynematicFit);
      break;
    case 3:
      count = ExponentialCount != 0 ? 2 * static_cast<int64_t>(ExponentialCount) + FitraFixedRecords
                                    : 2 * m + FitraFixedRecords;
      if (FiveParameterFit) count = 5;
      if (PairedPeakMode == 1) count = 3 * m;
      if (WidthMode == -1) count = 3 * m + 6;
      if (M2Mode) count += 2;
      break;
    case 5:
      count = 2 * static_cast<int64_t>(PlaneSettings.count) + 9;
      break;
    default:
      break;
  }
  if (count > MaxParameters) {
    ShowMsg("Too many parameters - cut!");
    count = MaxParameters;
  }
  n = static_cast<int32_t>(std::max<int64_t>(count, 0));
}

int32_t ParameterCount(int32_t part) {
  const int32_t phases = Phases();
  int64_t n = BaseCount(MainMode);
  const bool magnetic = HasMagneticPhase();
  if (part == 1 && magnetic) n += MagneticRecords * phases;
  if (part == 2 && (MainMode == 0 || MainMode == 2)) {
    if (magnetic) n += MagneticRecords * phases;
    if (AnisotropyOn) n += AnisotropyParameterCount * phases;
  }
  return static_cast<int32_t>(n);
}

int32_t PhaseParameterOffset(int32_t k) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) k = std::clamp(k, 1, MaxPhases);
  int32_t n = GlobalRecords;
  switch (MainMode) {
    case 0:
      for (int32_t j = 1; j < k; ++j) n += AtomRecords * (Atoms(j) + 1);
      return n;
    case 1:
      return IndexingRecords * (k - 1);
    case 2:
      for (int32_t j = 1; j < k; ++j) n += PhaseRecords + Reflections(j);
      return n;
    default:
      return n;
  }
}

int32_t SpectrumBlockOffset(int32_t s) {
  if (!TableIndexOk(s, 1, 4, "spectrum")) s = std::clamp(s, 1, 4);
  if (s == 1) return 0;
  return static_cast<int32_t>(BaseCount(0)) + (MagneticRecords * Phases() + GlobalRecords) * (s - 2);
}

void ParameterNames() {
  NameWriter put;
  const TSpectrum* sp = SpectrumList[std::clamp(CurrentSpectrum, 0, 4)].get();
  switch (MainMode) {
    case 0:
    case 2:
      NameProfileLayout(put, sp);
      break;
    case 1:
      NameIndexingLayout(put, sp);
      break;
    case 3:
      NameFitraLayout(put);
      break;
    default:
      return;
  }
  if (M2Mode && MainMode != 1) {
    const int64_t m = ParameterCount(2);
    put(m + 1, "m\"_0     ");
    put(m + 2, "m\"_1     ");
  }
}

namespace {
// Record 2 (an additive offset) loses `offset`: an independent record keeps its place within
// its bounds, a dependent one its tie; records tied to record 2 keep their values.
void ShiftOffsetRecord(ParameterRecord* rec, int32_t capacity, double offset) {
  ParameterRecord& r = rec[2];
  if (r.n == 2) {
    r.lower -= offset;
    r.upper -= offset;
  } else {
    r.b -= offset;
  }
  r.value = 0;
  for (int32_t j = 3; j <= capacity; ++j)
    if (rec[j].n == 2) rec[j].b += rec[j].a * offset;
}
}  // namespace

void ParametersToSpectrum() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp || !FitParameters) return;
  const auto& rec = FitParameters->Records;
  const int32_t capacity = FitParameters->RecordCapacity();
  auto v = [&](int32_t i) { return rec[i].value; };
  if (MainMode == 0 || MainMode == 2) {
    const int32_t phases = Phases();
    if (!TableIndexOk(PhaseParameterOffset(MaxI(phases, 1)) + 9, 1, capacity, "parameter")) return;
    // Record 1 is the wavelength of an angular spectrum, the flight path otherwise.
    if (sp->AxisKind == AxisAngular)
      sp->Lambda = v(1);
    else
      sp->FlightPath = v(1);
    // Record 2 is an offset of the Bragg angle that the model adds to Theta. It moves into the
    // angle once: record 2 becomes 0 (its bounds and the records tied to it follow), so a second
    // transfer leaves the angle alone and the model's angle plus offset is unchanged.
    const double offset = v(2);
    if (offset != 0 && std::isfinite(offset)) {
      sp->Theta += offset;
      ShiftOffsetRecord(FitParameters->Records.data(), capacity, offset);
      ShiftOffsetRecord(parar, MaxParameters, offset);
    }
    sp->Delay = v(3);
    sp->SpectrumCorrection = v(10);
    for (int32_t j = 1; j <= 6; ++j) sp->Background[j] = v(3 + j);
    const int32_t b = PhaseParameterOffset(1);
    sp->W0 = MaxD(0.01, v(b + 8));
    sp->W1 = sp->W0 + v(b + 9);
    for (int32_t k = 1; k <= phases; ++k) {
      const int32_t bk = PhaseParameterOffset(k);
      PhaseTable[k].PhaseW0 = MaxD(0.01, v(bk + 8));
      PhaseTable[k].PhaseW1 = v(bk + 9);
    }
  } else if (MainMode == 3) {
    // The widths of model 1: W0 and the width at u = 1, W0 + W1; a width per peak has no slope.
    const int32_t m = Peaks();
    const int32_t top = WidthMode == -1 ? 2 * m + 7 : 2 * m + 13;
    if (!TableIndexOk(top, 1, capacity, "parameter")) return;
    sp->W0 = MaxD(0.01, v(2 * m + 7));
    if (WidthMode != -1) sp->W1 = sp->W0 + v(2 * m + 13);
  }
}

void BackgroundToParameters(int32_t k) {
  if (!TableIndexOk(k, 1, MaxParameters - 5, "parameter")) return;
  const TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  const int32_t first = std::clamp(sp->WorkFirst, 1, MaxChannels);
  const int32_t last = std::clamp(sp->WorkLast, 1, MaxChannels);
  auto y = [&](int32_t c) { return sp->Y[std::clamp(c, 1, MaxChannels)]; };
  const double y1 = Min3D(y(first), y(first + 1), y(first + 2));
  const double y2 = Min3D(y(last - 2), y(last - 1), y(last));
  ParameterRecord* r = parar + k;  // r[0..5]: records k..k+5
  for (int32_t j = 0; j < 6; ++j) r[j].value = sp->Background[j + 1];
  auto zero = [](ParameterRecord& p) { p.lower = p.value = p.upper = 0; };
  const int32_t dback = sp->BackgroundDegree;
  if (dback == -1) {
    for (int32_t j = 0; j < 6; ++j) zero(r[j]);
  } else if (dback >= 0 && dback <= 5) {
    for (int32_t j = dback + 1; j < 6; ++j) zero(r[j]);
    if (r[0].value == 0) r[0].value = (y1 + y2) / 2;
    if (dback >= 1 && r[1].value == 0) r[1].value = (y2 - y1) / 4;
  } else if (dback == 6) {
    double ymax = -1e14;
    for (int32_t c = first; c <= last; ++c) ymax = MaxD(ymax, sp->Y[c]);
    const int32_t mid = (first + last) / 2;
    r[0].value = (y1 + y2) / 2, r[0].lower = 1.0;
    r[1].value = ymax, r[1].lower = 1.0;
    r[2].value = 0;
    // The position of the background peak starts inside its own bounds.
    r[3].lower = first, r[3].upper = last;
    r[3].value = std::clamp(mid / 2.0, r[3].lower, r[3].upper);
    r[4].value = mid, r[4].lower = 1.0;
    r[5].value = 0;
  }
}

void UpdateAtomFixFlags(int32_t source) {
  const int32_t capacity = FitParameters ? FitParameters->RecordCapacity() : 0;
  bool recordsReported = false;
  for (int32_t k = 1, phases = Phases(); k <= phases; ++k) {
    LATTICE& phase = PhaseTable[k];
    for (int32_t j = 0; j < 3; ++j) phase.IndexNormalisers[j] = phase.Cell[j];
    const int32_t b = PhaseParameterOffset(k);
    for (int32_t i = 1, n = Atoms(k); i <= n; ++i) {
      ATOM& atom = AtomTable[i][k];
      const int32_t r = b + AtomRecords * i;
      bool fixed = false;
      double s = 0;
      if (source == 0) {
        fixed = true;
        s = std::fabs(atom.T22) + std::fabs(atom.T33);
      } else if (source == 1) {
        if (r + 10 <= capacity) {
          const auto& rec = FitParameters->Records;
          fixed = rec[r + 8].lower == rec[r + 8].upper && rec[r + 10].lower == rec[r + 10].upper;
          s = std::fabs(rec[r + 8].value) + std::fabs(rec[r + 10].value);
        } else if (!recordsReported) {
          recordsReported = true;
          TableIndexOk(r + 10, 1, capacity, "parameter");
        }
      }
      atom.IsotropicFlag = fixed && s == 0 ? 1 : 0;
    }
  }
}
