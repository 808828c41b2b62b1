#include "crystal/peak_fit_models.h"
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/parameter_layout.h"
#include "core/peak_model.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/background_model.h"

namespace {
constexpr double WidthFloor = 0.1;  // channels
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Largest = std::numeric_limits<double>::max();

// The channel nearest to x, held inside the channel arrays (NaN gives channel 1).
int32_t HeldChannel(double x) {
  if (!(x >= 1.0)) return 1;
  if (x >= MaxChannels) return MaxChannels;
  return static_cast<int32_t>(std::nearbyint(x));
}

// Observed value and weight 1/E^2 (0 for E = 0) of channel ch.
void Observed(const TSpectrum& sp, int32_t ch, double& Y, double& W) {
  Y = sp.Y[ch];
  const double e = sp.E[ch];
  W = e != 0 ? 1.0 / (e * e) : 0.0;
}

// Every derivative of records 1..NPar := 0.
void ClearDerivatives(TParameter& fp) {
  const int32_t n = std::min(fp.NPar, fp.RecordCapacity());
  for (int32_t i = 1; i <= n; ++i) fp.Records[i].Derivative = 0;
}

// The half range in widths beyond which a shape is taken as 0.
double ShapeCut(const TPeakModel& shape) {
  return shape.ModelNumber == ModelLorentz ? LorentzReach : shape.HalfWidth;
}

// A width held at the floor 0.1; the slope factor of the floor into chain (0 on the floor). A
// NaN passes through.
double FloorWidth(double w, double& chain) {
  if (w < WidthFloor) {
    chain = 0.0;
    return WidthFloor;
  }
  return w;
}

// The width a peak is drawn with: the floored (and deconvoluted) width, d(width used)/dw, and
// the distance from the centre beyond which the peak is 0.
struct PeakWidth {
  double w = 0, chain = 1.0, reach = NaN;
};

// Tells the engine which records may have non-zero derivatives, ascending: the background, the
// amplitudes and positions of the evaluated peaks (ascending), then their widths (the own width of
// each peak when models is 0, else W0 and W1 of every model in the bit set models).
void HintDerivatives(TParameter& fp, const int32_t* peaks, int32_t count, int32_t n, uint32_t models) {
  const int32_t widthBase = 6 + 2 * n;
  if (static_cast<int32_t>(fp.DerivativeHint.size()) < 6 + 2 * count + (models == 0 ? count : 12)) return;
  int32_t* h = fp.DerivativeHint.data();
  int32_t k = 0;
  for (int32_t i = 1; i <= 6; ++i) h[k++] = i;
  for (int32_t a = 0; a < count; ++a) h[k++] = 6 + peaks[a];
  for (int32_t a = 0; a < count; ++a) h[k++] = 6 + n + peaks[a];
  if (models == 0) {
    for (int32_t a = 0; a < count; ++a) h[k++] = widthBase + peaks[a];
  } else {
    for (int32_t m = 1; m <= 6; ++m)
      if (models >> m & 1u) h[k++] = widthBase + m;
    for (int32_t m = 1; m <= 6; ++m)
      if (models >> m & 1u) h[k++] = widthBase + 6 + m;
  }
  fp.DerivativeHintCount = k;
}

// The peaks that can reach a point, kept between calls while the records and tables their reach
// depends on stay bit for bit the same (an iteration's sweep calls the model with the same values
// at every point). The reach of a peak is |x - P| <= reach; peaks without a finite reach are
// always candidates. Candidates are a superset: the caller applies the exact test.
class ReachIndex {
public:
  // Whether the key of the current call equals the stored one (positions, widths, models and the
  // scalars); finiteAmplitudes tells whether every amplitude is finite (else the caller takes the
  // full pass).
  bool Matches(const ParameterRecord* r, int32_t n, int32_t widthBase, int32_t widthCount, const double* scalars,
               bool& finiteAmplitudes) const {
    bool same = valid_ && n == n_ && widthCount == widthCount_ &&
                std::equal(scalars, scalars + ScalarCount, scalars_, [](double a, double b) { return Bits(a) == Bits(b); });
    same = same && std::equal(MarkedPointModels + 1, MarkedPointModels + n + 1, models_.begin());
    uint64_t differ = 0;
    bool finite = true;
    for (int32_t i = 1; i <= n; ++i) finite &= std::fabs(r[6 + i].value) <= Largest;
    if (same)
      for (int32_t i = 1; i <= n; ++i) differ |= Bits(r[6 + n + i].value) ^ positions_[static_cast<size_t>(i)];
    if (same)
      for (int32_t j = 1; j <= widthCount; ++j) differ |= Bits(r[widthBase + j].value) ^ widths_[static_cast<size_t>(j)];
    finiteAmplitudes = finite;
    return same && differ == 0;
  }
  // What a peak is drawn with under the key: its reach (NaN: always a candidate), the width
  // used, its chain factor and u at the peak's position (set only for a peak of a valid model).
  struct PeakShape {
    double reach = NaN, w = 0, chain = 1.0, uP = 0;
  };
  // A new key and the shape of every peak (describe(i, shape)).
  template <class Describe>
  void Build(const ParameterRecord* r, int32_t n, int32_t widthBase, int32_t widthCount, const double* scalars,
             Describe describe) {
    n_ = n, widthCount_ = widthCount;
    std::copy(scalars, scalars + ScalarCount, scalars_);
    models_.assign(MarkedPointModels + 1, MarkedPointModels + n + 1);
    positions_.assign(static_cast<size_t>(n) + 1, 0);
    widths_.assign(static_cast<size_t>(widthCount) + 1, 0);
    for (int32_t j = 1; j <= widthCount; ++j) widths_[static_cast<size_t>(j)] = Bits(r[widthBase + j].value);
    sorted_.clear(), always_.clear();
    shapes_.assign(static_cast<size_t>(n) + 1, PeakShape{});
    margin_ = 0;
    for (int32_t i = 1; i <= n; ++i) {
      const double p = r[6 + n + i].value;
      positions_[static_cast<size_t>(i)] = Bits(p);
      describe(i, shapes_[static_cast<size_t>(i)]);
      const double reach = shapes_[static_cast<size_t>(i)].reach;
      if (!(std::fabs(p) < 1e299) || !(reach < 1e299)) {
        always_.push_back(i);  // NaN reach or a position or reach out of scale
      } else if (reach >= 0) {
        sorted_.push_back({p, i});
        margin_ = std::max(margin_, reach);
      }  // a negative reach takes nothing
    }
    std::sort(sorted_.begin(), sorted_.end(), [](const Entry& a, const Entry& b) { return a.p < b.p; });
    margin_ = margin_ * (1 + 1e-9) + 1e-9;
    valid_ = true;
  }
  // The candidates for |x| < 1e299 in index order; returns their count.
  int32_t Candidates(double x, int32_t* out) const {
    int32_t count = 0;
    const double margin = margin_ + std::fabs(x) * 1e-12;  // beyond the rounding of x - P
    // The first entry with p >= x - margin, walked from the last call's (a sweep visits x in
    // ascending order, so it moves by a step or none).
    const double low = x - margin;
    const size_t size = sorted_.size();
    size_t k = std::min(cursor_, size);
    while (k > 0 && sorted_[k - 1].p >= low) --k;
    while (k < size && sorted_[k].p < low) ++k;
    cursor_ = k;
    for (; k < size && sorted_[k].p <= x + margin; ++k) out[count++] = sorted_[k].i;
    for (int32_t i : always_) out[count++] = i;
    std::sort(out, out + count);
    return count;
  }
  // The shape of peak i (1..n) under the stored key.
  const PeakShape& Shape(int32_t i) const { return shapes_[static_cast<size_t>(i)]; }
  static constexpr int32_t ScalarCount = 13;

private:
  struct Entry {
    double p;
    int32_t i;
  };
  static uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }
  bool valid_ = false;
  int32_t n_ = 0, widthCount_ = 0;
  double scalars_[ScalarCount] = {};
  std::vector<int32_t> models_;
  std::vector<uint64_t> positions_, widths_;
  std::vector<Entry> sorted_;
  std::vector<int32_t> always_;
  std::vector<PeakShape> shapes_;
  double margin_ = 0;
  mutable size_t cursor_ = 0;  // the first entry of the last call's candidates
};
ReachIndex reachIndex;

// The peaks whose amplitude and position derivatives and ModelOutput parts the last call set, for
// a layout of n peaks, and the engine's sweep it was called in (inSweep: by the engine's loop).
struct EvaluatedPeaks {
  int32_t n = -1, count = 0;
  uint32_t models = 0;  // bit m: a peak of model m was evaluated
  uint64_t sweep = 0;
  bool inSweep = false;
  int32_t peaks[MarkedPointCapacity + 1];
};
EvaluatedPeaks lastEvaluated;
// The sweep of the session's engine for whose record values the index was last found current.
uint64_t indexCheckedSweep = 0;
bool indexChecked = false;

bool peakModelRefused = false;  // the refusal of a peak-model number was shown
// The start of a peak-fit model call: outputs cleared, the current spectrum, its working range
// and the point's abscissa x (the channel, X[ch] with nonEquidistant, ModelChannel in stage 4) with
// Y and W of its channel. False when there is no engine, spectrum or such channel.
bool BeginPoint(int32_t Point, int32_t Stage, bool nonEquidistant, double& Y, double& W, double& F,
                const TSpectrum*& sp, int32_t& first, int32_t& last, double& x) {
  Y = W = F = 0;
  ModelOutput[0] = ModelOutput[1] = 0;
  sp = SpectrumOrNull(CurrentSpectrum);
  if (!FitParameters || !sp) return false;
  WorkingRange(*sp, first, last);
  if (Stage == 4) {
    x = ModelChannel;  // an abscissa with non-equidistant channels (a NaN gives a NaN F)
    if (!nonEquidistant && !(x >= 1.0 && x <= MaxChannels)) return false;
  } else {
    const int64_t ch = static_cast<int64_t>(first) + Point - 1;
    if (ch < 1 || ch > MaxChannels) return false;
    if (!nonEquidistant) {
      x = static_cast<double>(ch);
      Observed(*sp, static_cast<int32_t>(ch), Y, W);
      return true;
    }
    x = sp->X[ch];
  }
  Observed(*sp, HeldChannel(x), Y, W);
  return true;
}

// x on -1..1 over the working range first..last (NormalisedAbscissa, kept inline for the model).
double Normalised(double x, int32_t first, int32_t last) {
  return last > first ? (2.0 * x - first - last) / (last - first) : 0.0;
}

// The working range's scale, found once for a range: u at every channel of it (as Normalised
// gives it), du/dx and u at x = 0.
class RangeScale {
public:
  void Set(int32_t first, int32_t last) {
    if (first == first_ && last == last_) return;
    first_ = first, last_ = last;
    duP_ = last > first ? 2.0 / (last - first) : 0.0;
    uAtZero_ = -(first + last) * duP_ / 2;
    u_.resize(last >= first ? static_cast<size_t>(last - first) + 1 : 0);
    for (size_t k = 0; k < u_.size(); ++k) u_[k] = Normalised(static_cast<double>(first + int32_t(k)), first, last);
  }
  // Normalised(x, first, last) of the range set.
  double U(double x) const {
    const double k = x - first_;
    if (k >= 0 && k < static_cast<double>(u_.size()) && k == static_cast<double>(static_cast<int32_t>(k)))
      return u_[static_cast<size_t>(k)];
    return Normalised(x, first_, last_);
  }
  double duP() const { return duP_; }
  double uAtZero() const { return uAtZero_; }

private:
  int32_t first_ = 0, last_ = -1;
  double duP_ = 0, uAtZero_ = 0;
  std::vector<double> u_;
};
RangeScale rangeScale;

}  // namespace

int32_t PeakFitM2Record() { return ParameterCount(2) + 1; }

double NormalisedAbscissa(double x, int32_t first, int32_t last) { return Normalised(x, first, last); }

double DrawnPeakWidth(double w, double& chain) {
  chain = 1.0;
  if (DeconvolutionMode) {
    const double R = ResolutionWidth, eta = ConvolutionType;
    const double s = std::sqrt(w * w + R * R);
    chain = eta + (1.0 - eta) * (s > 0 ? w / s : 0.0);
    w = eta * (w + R) + (1.0 - eta) * s;
  }
  return FloorWidth(w, chain);
}

double ExpDecay(double t) {
  const double tau = FitParameters && FitParameters->RecordCapacity() >= 3 ? FitParameters->Records[3].value : NaN;
  return std::exp(-t / tau);
}

double ErfOfRatio(double t, double s) { return std::erf(t / s); }

void PeakFitModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage) {
  const TSpectrum* sp = nullptr;
  int32_t first = 1, last = 1;
  double x = 0;
  if (!BeginPoint(Point, Stage, NonEquidistantChannels != 0, Y, W, F, sp, first, last, x)) return;
  TParameter* fp = FitParameters.get();
  rangeScale.Set(first, last);
  const double u = rangeScale.U(x);

  // The layout; a layout that the records cannot hold gives a non-finite F.
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  const int32_t widthBase = 6 + 2 * n;
  const bool perPeakWidths = WidthMode == -1;
  int32_t top = widthBase + (perPeakWidths ? n : 12);
  const int32_t m2 = M2Mode ? PeakFitM2Record() : 0;
  if (M2Mode) top = std::max(top, m2 + 1);
  if (top > fp->RecordCapacity() || (M2Mode && m2 < 1)) {
    F = NaN;
    return;
  }
  // Inside a sweep of a fit with the model's own derivatives and no dependent records, nothing
  // else writes the derivatives or ModelOutput between two calls: after a call of the same sweep
  // only what the peaks it evaluated set needs clearing.
  const bool inSweep = fp->FitInProgress() && (Stage == 1 || Stage == 3) && fp->NoDependents &&
                       fp->NumDerivMode == 0 && fp->DerivativeCheck == 0;
  const bool continuing =
      inSweep && lastEvaluated.inSweep && lastEvaluated.sweep == fp->SweepSerial && lastEvaluated.n == n;
  // Every derivative := 0 (the background's are all set below); those of the amplitudes and
  // positions in the pass over the peaks.
  ParameterRecord* r = fp->Records.data();
  const int32_t cleared = std::min(fp->NPar, fp->RecordCapacity());
  if (continuing) {
    if (perPeakWidths)
      for (int32_t a = 0; a < lastEvaluated.count; ++a) r[widthBase + lastEvaluated.peaks[a]].Derivative = 0;
    else
      for (int32_t m = 1; m <= 6; ++m)
        if (lastEvaluated.models >> m & 1u) r[widthBase + m].Derivative = r[widthBase + 6 + m].Derivative = 0;
  } else {
    for (int32_t i = widthBase + 1; i <= cleared; ++i) r[i].Derivative = 0;
    if (!perPeakWidths && cleared < widthBase + 12)
      for (int32_t j = 1; j <= 12; ++j) r[widthBase + j].Derivative = 0;
  }
  double mm = 0;
  if (M2Mode) {
    r[m2].Derivative = r[m2 + 1].Derivative = 0;
    mm = r[m2].value + r[m2 + 1].value * u;
  }

  BackgroundModel(-3, F, x, u);
  const double eta = ConvolutionType, R = ResolutionWidth;
  // The width used, its chain factor and the reach of a peak: beyond the reach |z| is at least
  // the shape's cut, so the peak and all its derivatives are 0 there. The margin 1e-12 keeps
  // the rounding of z on the side of the cut; the reach is NaN (nothing skipped) when a
  // non-finite factor would make those zeros NaN.
  const bool finiteM2 = std::isfinite(mm);
  auto widthOf = [&](double w, const TPeakModel& shape) {
    PeakWidth pw;
    pw.w = DrawnPeakWidth(w, pw.chain);
    if (finiteM2 && std::isfinite(pw.chain)) pw.reach = ShapeCut(shape) * pw.w * (1.0 + 1e-12);
    return pw;
  };
  // A law's width is taken at the peak's own position, so every peak stays symmetric: w = W0(m) +
  // W1(m) u(P). duP is du(P)/dP.
  const double duP = rangeScale.duP();
  const double uAtZero = rangeScale.uAtZero();  // u(P) = uAtZero + duP P, as NormalisedAbscissa
  auto lawWidth = [&](int32_t i, int32_t m, double& uP) {
    uP = uAtZero + duP * r[6 + n + i].value;
    return perPeakWidths ? r[widthBase + i].value : r[widthBase + m].value + r[widthBase + 6 + m].value * uP;
  };
  // The cut of each model's shape in widths (NaN: no shape, every such peak is taken); found
  // when a reach is (not at the points of a sweep whose index was found current).
  double cutOf[8];
  bool cutsFound = false;
  auto findCuts = [&] {
    if (cutsFound) return;
    for (int32_t m = 0; m <= 7; ++m) {
      const TPeakModel* shape = m >= 1 && m <= 6 ? PeakModels[m + 1].get() : nullptr;
      cutOf[m] = shape ? ShapeCut(*shape) : NaN;
    }
    cutsFound = true;
  };
  // The peaks within reach of x, in order: a quick pass over the positions. Peaks of a number
  // outside 1..6 or of a missing shape are all taken (reach NaN) and judged below.
  static_assert(MarkedPointModelCount >= MarkedPointCapacity && ModelOutputSize >= MarkedPointCapacity + 2);
  int32_t nearby[MarkedPointCapacity + 1];
  int32_t nearbyCount = 0;
  auto reachOf = [&](int32_t i) {
    findCuts();
    const int32_t m = MarkedPointModels[i];
    const double cut = cutOf[static_cast<uint32_t>(m) <= 6u ? m : 0];
    double reach = NaN;
    if (cut == cut) {
      double uP;
      const double w = lawWidth(i, m, uP);
      if (DeconvolutionMode)
        reach = widthOf(w, *PeakModels[m + 1]).reach;
      else if (finiteM2)
        reach = cut * (w < WidthFloor ? WidthFloor : w) * (1.0 + 1e-12);
    }
    return reach;
  };
  auto take = [&](int32_t i, double reach) {
    const double dx = std::fabs(x - r[6 + n + i].value);
    nearby[nearbyCount] = i;
    const bool far = (dx > reach) & (dx < 1e300) & (std::fabs(r[6 + i].value) <= Largest);  // finite amplitude
    nearbyCount += !far;
  };
  if (continuing) {
    for (int32_t a = 0; a < lastEvaluated.count; ++a) {
      const int32_t i = lastEvaluated.peaks[a];
      r[6 + i].Derivative = r[6 + n + i].Derivative = 0;
      ModelOutput[i + 1] = 0;
    }
  } else {
    for (int32_t i = 1; i <= n; ++i) r[6 + i].Derivative = r[6 + n + i].Derivative = 0;
    std::fill(ModelOutput + 2, ModelOutput + n + 2, 0.0);
  }
  // Without M2 the reach of a peak does not depend on x: the candidates come from the index.
  bool indexed = false;
  if (!M2Mode && std::fabs(x) < 1e299) {
    const int32_t widthCount = perPeakWidths ? n : 12;
    // Within a sweep whose values were found current (with finite amplitudes) nothing is checked.
    bool finiteAmplitudes = true;
    if (!(inSweep && indexChecked && indexCheckedSweep == fp->SweepSerial)) {
      findCuts();
      const double scalars[ReachIndex::ScalarCount] = {double(first), double(last), double(DeconvolutionMode), eta, R,
                                                       double(perPeakWidths), cutOf[0], cutOf[1], cutOf[2], cutOf[3],
                                                       cutOf[4], cutOf[5], cutOf[6]};
      if (!reachIndex.Matches(r, n, widthBase, widthCount, scalars, finiteAmplitudes) && finiteAmplitudes)
        reachIndex.Build(r, n, widthBase, widthCount, scalars, [&](int32_t i, ReachIndex::PeakShape& ps) {
          ps.reach = reachOf(i);
          const int32_t m = MarkedPointModels[i];
          if (m < 1 || m > 6 || !PeakModels[m + 1]) return;
          const PeakWidth pw = widthOf(lawWidth(i, m, ps.uP), *PeakModels[m + 1]);
          ps.w = pw.w, ps.chain = pw.chain;
        });
      indexChecked = inSweep && finiteAmplitudes;
      indexCheckedSweep = fp->SweepSerial;
    }
    if (finiteAmplitudes) {
      int32_t candidates[MarkedPointCapacity + 1];
      const int32_t count = reachIndex.Candidates(x, candidates);
      for (int32_t k = 0; k < count; ++k) take(candidates[k], reachIndex.Shape(candidates[k]).reach);
      indexed = true;
    }
  }
  if (!indexed)
    for (int32_t i = 1; i <= n; ++i) take(i, reachOf(i));
  // The peaks evaluated, for the engine's hint of the non-zero derivatives.
  int32_t evaluated[MarkedPointCapacity + 1];
  int32_t evaluatedCount = 0;
  uint32_t modelsUsed = 0;  // bit m: a peak of model m was evaluated
  bool badModel = false;
  double sum = F;  // the background; summed locally, not through the reference F
  for (int32_t k = 0; k < nearbyCount; ++k) {
    const int32_t i = nearby[k];
    const int32_t m = MarkedPointModels[i];
    ParameterRecord& amp = r[6 + i];
    ParameterRecord& pos = r[6 + n + i];
    if (m < 1 || m > 6) {
      if (!badModel && !peakModelRefused) TableIndexOk(m, 1, 6, "peak model");
      badModel = true;
      continue;
    }
    const TPeakModel* shape = PeakModels[m + 1].get();
    if (!shape) continue;
    // The index holds the widths of its key (the same values as found afresh).
    double uP, w, chain;
    if (indexed) {
      const ReachIndex::PeakShape& ps = reachIndex.Shape(i);
      uP = ps.uP, w = ps.w, chain = ps.chain;
    } else {
      const PeakWidth pw = widthOf(lawWidth(i, m, uP), *shape);
      w = pw.w, chain = pw.chain;
    }
    evaluated[evaluatedCount++] = i;
    modelsUsed |= 1u << m;
    const double z = (x - pos.value) / w;
    double f0 = 0, f1 = 0, f2 = 0, f3 = 0;
    if (std::fabs(z) < ShapeCut(*shape)) {
      shape->PeakModelValue(f0, f1, f2, z);
      if (M2Mode) f3 = shape->PeakModelThirdDerivative(z, f1);
    }
    double v = amp.value * f0 + mm * f2;
    if (!std::isfinite(z)) v = NaN;
    const double slope = amp.value * f1 + mm * f3;  // d(peak)/dz
    amp.Derivative = f0;
    const double g = -slope * z / w * chain;  // d(peak)/d(law's width)
    if (perPeakWidths) {
      pos.Derivative = -slope / w;
      r[widthBase + i].Derivative = g;
    } else {
      const double w1 = r[widthBase + 6 + m].value;
      pos.Derivative = -slope / w + (w1 != 0 ? g * w1 * duP : 0.0);
      r[widthBase + m].Derivative += g;
      r[widthBase + 6 + m].Derivative += g * uP;
    }
    if (M2Mode) {
      r[m2].Derivative += f2;
      r[m2 + 1].Derivative += f2 * u;
    }
    ModelOutput[i + 1] = v;
    sum += v;
  }
  F = sum;
  peakModelRefused = badModel;  // shown again only after a call with valid numbers
  lastEvaluated.n = n;
  lastEvaluated.sweep = fp->SweepSerial;
  lastEvaluated.inSweep = inSweep;
  lastEvaluated.count = evaluatedCount;
  lastEvaluated.models = modelsUsed;
  std::copy(evaluated, evaluated + evaluatedCount, lastEvaluated.peaks);
  ModelOutput[1] = F;
  if (!M2Mode) HintDerivatives(*fp, evaluated, evaluatedCount, n, perPeakWidths ? 0 : modelsUsed);
}

void PairedPeakFitModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage) {
  const TSpectrum* sp = nullptr;
  int32_t first = 1, last = 1;
  double x = 0;
  if (!BeginPoint(Point, Stage, false, Y, W, F, sp, first, last, x)) return;
  TParameter* fp = FitParameters.get();
  if (Stage != 3) W = 1.0;  // all points weigh the same while iterating

  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  if (3 * n > fp->RecordCapacity()) {
    F = NaN;
    return;
  }
  ClearDerivatives(*fp);
  const TPeakModel* shape = PeakModels[2].get();
  if (n == 0 || !shape) {
    for (int32_t i = 1; i <= n; ++i) ModelOutput[i + 1] = 0;
    return;
  }
  ParameterRecord* r = fp->Records.data();
  const double c = r[2 * n].value;
  double centreSum = 0;
  for (int32_t i = 1; i < n; ++i) {
    const double a = r[i].value, d = r[n + i].value;
    double chain = 1.0;
    const double w = FloorWidth(r[2 * n + i].value, chain);
    const double z1 = (x - (c - d)) / w, z2 = (x - (c + d)) / w;
    double f1a = 0, f1b = 0, f2a = 0, f2b = 0, dummy = 0;
    shape->PeakModelValue(f1a, f2a, dummy, z1);
    shape->PeakModelValue(f1b, f2b, dummy, z2);
    r[i].Derivative = f1a + f1b;
    r[n + i].Derivative = a * (f2a - f2b) / w;
    r[2 * n + i].Derivative = a * (-f2a * z1 - f2b * z2) / w * chain;
    centreSum += a * (-f2a - f2b) / w;
    double v = a * (f1a + f1b);
    if (!std::isfinite(z1 + z2)) v = NaN;
    ModelOutput[i + 1] = v;
    F += v;
  }
  const double a = r[n].value;
  double chain = 1.0;
  const double w = FloorWidth(r[3 * n].value, chain);
  const double z = (x - c) / w;
  double f0 = 0, f1 = 0, f2 = 0;
  shape->PeakModelValue(f0, f1, f2, z);
  r[n].Derivative = f0;
  r[2 * n].Derivative = -a * f1 / w + centreSum;
  r[3 * n].Derivative = -a * f1 * z / w * chain;
  double v = a * f0;
  if (!std::isfinite(z)) v = NaN;
  ModelOutput[n + 1] = v;
  F += v;
  ModelOutput[1] = F;
}

void ExpGaussModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage) {
  Y = W = F = 0;
  ModelOutput[0] = ModelOutput[1] = ModelOutput[2] = 0;
  TParameter* fp = FitParameters.get();
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!fp || !sp || fp->RecordCapacity() < 5) return;
  double t = 0;
  int32_t ch = 1;
  if (Stage == 4) {
    if (!(ModelChannel >= 1.0 && ModelChannel <= MaxChannels)) return;
    t = ModelChannel - 1.0;
    ch = HeldChannel(ModelChannel);
  } else {
    // Point k of a fit is channel first + k - 1 of the working range; t keeps the channel scale.
    int32_t first = 1, last = 1;
    WorkingRange(*sp, first, last);
    const int64_t c = static_cast<int64_t>(first) + Point - 1;
    if (Point < 1 || c > MaxChannels) return;
    ch = static_cast<int32_t>(c);
    t = ch - 1.0;
  }
  Observed(*sp, ch, Y, W);
  ClearDerivatives(*fp);
  ParameterRecord* r = fp->Records.data();
  for (int32_t i = 2; i <= 5; ++i) r[i].Derivative = 0;
  r[1].Derivative = 1.0;
  const double b = r[1].value, a = r[2].value, tau = r[3].value, s = r[4].value, t0 = r[5].value;
  double f = 0;
  if (!std::isfinite(b + a + tau + s + t0) || tau == 0 || s == 0) {
    f = NaN;
  } else if (t >= t0) {
    const double e = ExpDecay(t);
    if (ExpFitMode == 0) {
      const double erfr = ErfOfRatio(t, s);
      const double ts = t / s;
      f = a * s * e * erfr;
      r[2].Derivative = s * e * erfr;
      r[3].Derivative = f * t / (tau * tau);
      r[4].Derivative = a * e * (erfr - 2.0 / std::sqrt(std::numbers::pi) * ts * std::exp(-ts * ts));
    } else if (ExpFitMode == 1) {
      const double z = (t - s * s / tau - t0) / s;
      const double p = 0.5 * std::erfc(-z / std::numbers::sqrt2);
      const double phi = std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi);
      f = a * e * p / tau;
      r[2].Derivative = e * p / tau;
      r[3].Derivative = a * e * ((t - tau) * p + s * phi) / (tau * tau * tau);
      r[4].Derivative = a * e * phi * (-(t - t0) / (s * s) - 1.0 / tau) / tau;
      r[5].Derivative = -a * e * phi / (s * tau);
    }
  }
  F = f + b;
  ModelOutput[0] = b;
  ModelOutput[1] = ModelOutput[2] = F;
}
