// The multi-start search of the indexing fitter: random or grid starts, the volume test, damped
// Gauss-Newton iterations with robust down-weighting, the best trial, the progress window.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include "core/cell_geometry.h"
#include "core/cell_reduction.h"
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/random.h"
#include "core/text_file.h"
#include "core/small_routines.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_results.h"
#include "indexing/indexing_state.h"
#include "indexing/lattice_starts.h"
#include "indexing/lattice_reduction.h"
#include "indexing/metric_symmetry.h"
#include "indexing/taulsm.h"
#include "indexing/zone_starts.h"

namespace {

constexpr int64_t Int32Max = std::numeric_limits<int32_t>::max();
// Merits within this many units are equally good, and then the smaller cell wins; volumes within
// SameVolume are one cell.
constexpr double MeritTolerance = 0.5;
constexpr double SameVolume = 1e-3;
// A line farther than this many sigma (its error, else AverageDError) from its reflection is not
// indexed by the cell.
constexpr double LineTolerance = IndexedLineSigmas;
// Calculated reflections closer than this many line errors are one line of a triclinic merit.
constexpr double MergeSigmas = 1;
// A poor best cell: restarts about this many best candidates, so many each, and the whole set of
// starts again, at most ExtraPasses times.
constexpr size_t CandidateCount = 8;
constexpr int32_t RestartsPerCandidate = 24;
constexpr int32_t ExtraPasses = 2;
// Trials from the zone method's best cells.
constexpr size_t ZoneTrials = 48;
// Trials from the best primitive cells of cubic, tetragonal, hexagonal, rhombohedral and
// orthorhombic metrics.
constexpr size_t LatticeTrials = 16;
// Random starts leave out each of lines 2 to 1 + SkippedLines in turn, and one in
// SkippedLines + 1 none.
constexpr int32_t SkippedLines = 5;

// The STOP button and the end of the application reach the search while it runs.
struct ActiveEngineScope {
  TParameter* previous;
  explicit ActiveEngineScope(TParameter* e) : previous(ActiveFitEngine) { ActiveFitEngine = e; }
  ~ActiveEngineScope() { ActiveFitEngine = previous; }
};

struct WorkspaceScope {
  WorkspaceScope() { BeginWorkspaceSearch(); }
  ~WorkspaceScope() { EndWorkspaceSearch(); }
};

int32_t CellRecordCount(const TAULSM& fit) {
  return std::min(6 * std::clamp(PhaseCount, 0, MaxIndexingPhases), std::min(fit.NPar, fit.RecordCapacity()));
}

}  // namespace

void TAULSM::PrepareGridTrials(bool& ok) {
  ok = true;
  const int32_t n = std::min(NPar, std::min(RecordCapacity(), GridTrialCapacity));
  int64_t radix = 1;
  for (int32_t k = n; k >= 1; --k) {
    TGridTrialRange& g = GridTrialRanges[k];
    // The instrument records have no bins of their own: one.
    const int32_t count = InstrumentRecord(k) ? 1 : std::max(g.binCount, 1);
    g.binCount = count;
    g.binWidth = (Records[k].upper - Records[k].lower) / count;
    radix *= count;
    if (radix > Int32Max || radix * std::max(TriesPerBin, 1) > Int32Max) {
      ShowMsg("Overflow, too many random steps");
      ok = false;
      return;
    }
    g.radix = static_cast<int32_t>(radix);
  }
  NTries = static_cast<int32_t>(radix);
}

void TAULSM::SetGridTrial(int32_t k, int32_t bin) {
  if (k < 1 || k > std::min(NPar, GridTrialCapacity) || InstrumentRecord(k)) return;
  ParameterRecord& r = Records[k];
  if (TriesPerBin != 0)
    r.value = r.lower + (bin + Random01()) * GridTrialRanges[k].binWidth;
  else
    r.value = r.lower + Random01() * (r.upper - r.lower);
}

void TAULSM::DecodeGridTrial(int32_t t) {
  const int32_t n = std::min(NPar, std::min(RecordCapacity(), GridTrialCapacity));
  if (n < 1) return;
  // Combination t - 1: trials 2..NTries cover 1..NTries - 1, no digit reaches its bin count.
  int64_t remaining = int64_t{t} - 1;
  for (int32_t k = 1; k <= n - 1; ++k) {
    const int64_t r = std::max(GridTrialRanges[k + 1].radix, 1);
    const int64_t bin = remaining / r;
    SetGridTrial(k, static_cast<int32_t>(bin));
    remaining -= r * bin;
  }
  SetGridTrial(n, static_cast<int32_t>(remaining));
  for (int32_t i = 1; i <= n; ++i) {
    ParameterRecord& r = Records[i];
    if (r.n >= 1 && r.n < i) r.value = r.a * Records[r.n].value + r.b;
  }
}

// One sweep from point start with the search's weights: the normal equations, symmetrised and
// regularised, and the statistics. False when a sum or a matrix element is not finite.
bool TAULSM::Accumulate(int32_t start, int32_t skip) {
  ClearNormalEquations();
  double chi = 0, chiPlus = 0, good = 0;
  ChiReg = 0;
  CurrentDeviation = 0;
  CurrentMaxResidual = 0;
  const double goodLimit = 1 + std::sqrt(18.0 / std::max(NPoints, 1));
  for (int64_t k = start; k <= NPoints; k += skip) {
    double Y = 0, W = 0, F = 0;
    IndexingModel(Y, W, 1, static_cast<int32_t>(k), F);
    if (W == 0) {
      ++ZeroWeightCount;
      continue;
    }
    const double r = Y - F;
    const double ar = std::fabs(r);
    const double h = ar * std::sqrt(W);
    CurrentDeviation += ar;
    CurrentMaxResidual = std::max(ar, CurrentMaxResidual);
    double c = h * h;
    if (h >= Delta) {
      const double q = h / Delta;
      const double f = (1 + Beta) / (q * q + Beta);
      W *= f;
      c *= f;
    }
    chi += c;
    if (c <= goodLimit) good += 1;
    if (r >= 0) chiPlus += c;
    AccumulatePoint(W, r * W, r);
  }
  SymmetrizeMatrix();
  ChiDf = chi / DegreesOfFreedom;
  ChiPlus = chiPlus / std::max(chi, 1e-6);
  CurrentDeviation = CurrentDeviation / std::max(NPoints - ZeroWeightCount, 1);
  GoodP = good / std::max(1, NPoints);
  AddVolumeRegularization(start);
  bool finite = std::isfinite(chi) && std::isfinite(CurrentDeviation) && std::isfinite(CurrentMaxResidual) &&
                std::isfinite(ChiReg);
  for (int32_t i = 1; i <= NFree && finite; ++i) {
    double m = 0;
    GetMatrixElement(i, i, m);
    finite = std::isfinite(m) && std::isfinite(RightSide[i]);
  }
  return finite;
}

bool TAULSM::SolvedStepFinite() const {
  for (int32_t i = 1; i <= std::min(NPar, RecordCapacity()); ++i)
    if (!std::isfinite(Records[i].Derivative) || !std::isfinite(Diagonal[i])) return false;
  return true;
}

// The lines a trial fits at iteration it: from the largest d (the lowest indices, whose
// reflections a rough cell still finds) a few more each iteration, every line for the last
// three iterations; 0 stands for all.
int32_t TAULSM::WindowAt(int32_t it) const {
  const int32_t lines = std::clamp(DSpacingCount, 0, MaxDSpacings);
  int32_t free = 0;
  for (int32_t i = 1; i <= std::min(NPar, RecordCapacity()); ++i)
    free += Records[i].n == i && Records[i].lower != Records[i].upper;
  const int32_t first = std::max(6, free + 3), growing = IterationLimit - 3;
  if (IndexingMode == 1 || growing < 1 || it >= growing || first >= lines) return 0;
  const int32_t step = (lines - first + growing - 1) / growing;
  const int32_t w = first + it * step + (SkippedLine > 0 && SkippedLine <= first + it * step);
  return w >= lines ? 0 : w;
}

TAULSM::IterationEnd TAULSM::RunIterations() {
  struct WindowScope {
    int32_t& w;
    ~WindowScope() { w = 0; }
  } scope{WindowLines};
  int32_t s = 1;
  // The values before the last step, and whether every line was in their fit.
  double kept[IndexingRecordCapacity + 1];
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  bool keptWhole = false;
  for (;;) {
    Conv = 1;
    if (const int32_t w = WindowAt(Iterations); w != WindowLines) {
      WindowLines = w;
      PrevFunctional = 1e16;  // more lines: a larger chi^2 is no divergence
    }
    if (!Accumulate(s, Skip)) return IterationEnd::Abandoned;
    HoldActiveBounds();
    DampMatrix();
    InvertNormalMatrix();
    if (Inverted == 0) {
      MatInv = 0;
      return IterationEnd::Abandoned;
    }
    ApplyStep(0);
    StoreInverseDiagonal();
    if (!SolvedStepFinite()) return IterationEnd::Abandoned;
    Functional = Alpha * ChiReg + ChiDf;
    SelectionValue = FittingKind == 0 ? CurrentMaxResidual : FittingKind == 1 ? CurrentDeviation : Functional;
    if (ConvergenceMode == 1 && SelectionValue > PrevFunctional) {
      // A search trial whose fit with every line rises (a line moved to another reflection, a
      // robust weight changed) ends on the values before the step: they fitted every line
      // better, and may be the cell sought, which an abandoned trial would never offer.
      if (keptWhole && WindowLines == 0 && IndexingMode != 1) {
        for (int32_t i = 1; i <= n; ++i) Records[i].value = kept[i];
        return IterationEnd::Completed;
      }
      Status = 0;
      return IterationEnd::Abandoned;
    }
    PrevFunctional = SelectionValue;
    keptWhole = WindowLines == 0;
    for (int32_t i = 1; i <= n; ++i) kept[i] = Records[i].value;
    ApplyStep(1);
    for (int32_t i = 1; i <= NPar; ++i)
      if (!std::isfinite(Records[i].value)) return IterationEnd::Abandoned;
    EpsFromAppliedStep(StepInUse);
    s = s + 1 > Skip ? 1 : s + 1;
    ++Iterations;
    if (StopRequest != 0) return IterationEnd::Stopped;
    if (Iterations >= IterationLimit) return IterationEnd::Completed;
    if (Eps <= EpsReq && Functional <= FunctionalLimit) return IterationEnd::Completed;
  }
}

// Every phase's cell: a volume of 0 or less fails the trial; above the phase's limit the edges
// are scaled by (limit / abc)^0.333 (never by a limit that is not positive).
bool TAULSM::VolumeTest() {
  const int32_t cells = CellRecordCount(*this) / 6;
  for (int32_t p = 1; p <= cells; ++p) {
    const int32_t first = 6 * (p - 1);
    for (int32_t m = 0; m < 6; ++m) TrialCell[m] = Records[first + 1 + m].value;
    double& a = TrialCell[0];
    double& b = TrialCell[1];
    double& c = TrialCell[2];
    double volume = 0;
    // A centred monoclinic cell is reduced within its centring: a + c in place of a would turn C
    // into I, and the reflections of the table would no longer be the lattice's.
    if (PhaseTable[p].CrystalSystem == 2)
      volume = ReduceCellInLattice(TrialCell, 2, PhaseTable[p].LatticeType);
    else
      volume = CellVolumeFromCosines(a, b, c, TrialCell[3], TrialCell[4], TrialCell[5]);
    if (!(volume > 0)) return false;
    const double limit = CellVolumes[p];
    if (limit > 0 && volume > limit) {
      const double s = std::pow(limit / (a * b * c), 0.333);
      a *= s, b *= s, c *= s;
    }
    for (int32_t m = 0; m < 6; ++m) Records[first + 1 + m].value = TrialCell[m];
  }
  return true;
}

TAULSM::TrialEnd TAULSM::RunTrial(int64_t t, int64_t tries) {
  const int32_t n = std::min(NPar, RecordCapacity());
  LastTrial = t == tries + 1;
  IterationLimit = GNIter;
  StepInUse = Step;
  if (LastTrial) {
    IterationLimit = static_cast<int32_t>(std::min<int64_t>(3 * int64_t{GNIter}, Int32Max));
    StepInUse = 0.5 * Step;
    // The refit starts from the best trial of this search, else from the start values.
    for (int32_t i = 1; i <= n; ++i)
      Records[i].value = bestInSearch_ && i <= IndexingRecordCapacity ? BestValues[i] : Records[i].Error;
  } else if (preset_) {
    for (int32_t i = 1; i <= std::min(n, IndexingRecordCapacity); ++i) Records[i].value = preset_[i];
  } else if (restart_) {
    // About a candidate: within a bin's width (a tenth of the range without bins) each way.
    for (int32_t i = 1; i <= std::min(n, IndexingRecordCapacity); ++i) {
      if (InstrumentRecord(i)) continue;
      ParameterRecord& r = Records[i];
      const double width = TriesPerBin > 0 && i <= GridTrialCapacity && GridTrialRanges[i].binCount > 1
                               ? GridTrialRanges[i].binWidth
                               : 0.1 * (r.upper - r.lower);
      r.value = std::clamp(restart_[i] + (2 * Random01() - 1) * width, r.lower, r.upper);
    }
  } else if (t != 1) {
    if (TriesPerBin > 0) {
      DecodeGridTrial(static_cast<int32_t>(t));
    } else {
      for (int32_t i = 1; i <= n; ++i) {
        if (InstrumentRecord(i)) continue;  // the model does not depend on them: kept
        ParameterRecord& r = Records[i];
        r.value = r.lower + Random01() * (r.upper - r.lower);
      }
    }
  }
  for (int32_t i = 1; i <= n; ++i) {
    ParameterRecord& r = Records[i];
    if (r.n >= 1 && r.n < i) r.value = r.a * Records[r.n].value + r.b;
  }
  // First with the first lines held in the fit; a trial that still leaves one of them beyond
  // LineTolerance (an impurity among them) fits once more from the same start without.
  double start[IndexingRecordCapacity + 1];
  for (int32_t i = 1; i <= std::min(n, IndexingRecordCapacity); ++i) start[i] = Records[i].value;
  // A preset start (a zone cell) lies near a lattice already: its first lines are not held, so an
  // impurity among them cannot pull it off.
  KeepFirstLines = IndexingMode != 1 && !preset_;
  // A random start leaves out one of lines 2 to 6 from its window in turn (five trials in six):
  // a foreign line among the first ones, which set the cell, would pull every trial off.
  const int32_t turn = static_cast<int32_t>(t % (SkippedLines + 1));
  SkippedLine = !LastTrial && !preset_ && !restart_ && t != 1 && KeepFirstLines && DSpacingCount >= 10 && turn > 0 ? turn + 1 : 0;
  TrialEnd e = FitTrial();
  if (KeepFirstLines && (e == TrialEnd::Done || e == TrialEnd::Abandoned) && FirstLineMissed()) {
    for (int32_t i = 1; i <= std::min(n, IndexingRecordCapacity); ++i) Records[i].value = start[i];
    KeepFirstLines = false;
    e = FitTrial();
  }
  KeepFirstLines = false;
  SkippedLine = 0;
  return e;
}

bool TAULSM::FirstLineMissed() const {
  const TDSpacingRecord* skipped = SkippedLine >= 1 && SkippedLine <= 3 ? &DSpacingList[SkippedLine] : nullptr;
  const bool skippedMissed =
      skipped && !(skipped->Assigned && std::fabs(skipped->d - skipped->DCalc) <= LineTolerance * LineSigma(*skipped));
  return MissedLines(0, 3) > (skippedMissed ? 1 : 0);
}

// The fit of one trial from the values in the records: the volume test, the iterations and the
// best trial.
TAULSM::TrialEnd TAULSM::FitTrial() {
  PrepareFit();
  controlsSaved_ = true;
  inputOk_ = CheckFitInput();
  if (!inputOk_) return TrialEnd::InputBad;
  if (!VolumeTest()) return TrialEnd::Abandoned;
  Stage = 1;
  if (GNIter == 0) return TrialEnd::NoIterations;
  switch (RunIterations()) {
    case IterationEnd::Stopped: return TrialEnd::Stopped;
    case IterationEnd::Abandoned: return TrialEnd::Abandoned;
    case IterationEnd::Completed: break;
  }
  ConsiderBest();
  return TrialEnd::Done;
}

double TAULSM::TrialMerit(double& deviation, double& volume) {
  RecalcIndexingData();
  const int32_t cells = CellRecordCount(*this) / 6;
  calculated_.clear();
  volume = 0;
  for (int32_t p = 1; p <= cells; ++p) {
    VisibleReflections(p, phaseLines_);
    calculated_.insert(calculated_.end(), phaseLines_.begin(), phaseLines_.end());
    const ParameterRecord* r = &Records[6 * (p - 1)];
    volume += CellVolumeFromCosines(r[1].value, r[2].value, r[3].value, r[4].value, r[5].value, r[6].value);
  }
  std::sort(calculated_.begin(), calculated_.end(), std::greater<double>());
  const bool triclinic = cells == 1 && PhaseTable[1].CrystalSystem == 1;
  trialOrder_ = metricOrder_ = 1;
  double lastD = std::numeric_limits<double>::infinity(), firstD = 0;
  const int32_t lines = std::clamp(DSpacingCount, 0, MaxDSpacings);
  for (int32_t i = 1; i <= lines; ++i)
    if (DSpacingList[i].d > 0) lastD = std::min(lastD, DSpacingList[i].d), firstD = std::max(firstD, DSpacingList[i].d);
  const double relative = MeanRelativeLineError();
  // Reflections within MergeSigmas of the lines' relative error of one another are one line of a
  // triclinic merit: the measurement does not resolve them.
  const auto mergeCalculated = [&]() {
    std::sort(calculated_.begin(), calculated_.end(), std::greater<double>());
    if (!triclinic || !(relative > 0)) return;
    const double tolerance = MergeSigmas * relative;
    size_t kept = 0;
    for (size_t i = 0; i < calculated_.size();) {
      size_t j = i + 1;
      while (j < calculated_.size() && calculated_[i] - calculated_[j] <= tolerance * calculated_[i]) ++j;
      calculated_[kept++] = calculated_[i];
      i = j;
    }
    calculated_.resize(kept);
  };
  // Where a line's count of calculated lines starts: at the line, or at the calculated line
  // nearest to it when that lies lower, so that the line's own reflection always counts (on a
  // tied metric it may have moved a little).
  const auto countFrom = [&](double d) {
    const auto it = std::lower_bound(calculated_.begin(), calculated_.end(), d, std::greater<double>());
    double own = d;
    if (it != calculated_.end()) own = *it;
    if (it != calculated_.begin() && (it == calculated_.end() || it[-1] - d < d - *it)) own = it[-1];
    return std::min(d, own) * (1 - 1e-12);
  };
  const auto countAbove = [&](double from) {
    return static_cast<double>(std::upper_bound(calculated_.begin(), calculated_.end(), from, std::greater<double>()) -
                               calculated_.begin());
  };
  // The merit of the lines against calculated_; a metric of freeParameters below six gains half
  // the log of the lines it fits for each parameter it saves, as a model of fewer parameters does.
  double sum = 0;
  int32_t indexed = 0;
  const auto score = [&](int32_t freeParameters) {
    const double last = countFrom(lastD), whole = countAbove(last);
    double merit = 0;
    int32_t fitted = 0;
    sum = 0, indexed = 0;
    for (int32_t i = 1; i <= lines; ++i) {
      const TDSpacingRecord& line = DSpacingList[i];
      if (line.d <= 0) continue;
      const double sigma = LineSigma(line);
      const double miss = std::fabs(line.d - line.DCalc);
      if (line.Assigned) sum += miss, ++indexed;
      if (!line.Assigned || !(miss <= LineTolerance * sigma)) {
        merit -= UnindexedLinePenalty;
        continue;
      }
      // Calculated lines per angstrom about d: N(>= d) grows as d^-3, so the density is 3 N / d.
      // The lines are the distinct d (reflections equal within the errors are one line), so a
      // lattice of higher metric symmetry is not charged for its coinciding reflections. For one
      // triclinic phase the count of the few lines at large d is a poor estimate, where a doubled
      // cell could pass for free: the larger of the count and the one the whole range's lines
      // call for there, N(>= d) = N(>= d_last) (d_last / d)^3.
      const double from = countFrom(line.d);
      double count = countAbove(from);
      if (triclinic) count = std::max(count, whole * std::pow(last / from, 3));
      const double density = 3 * std::max(count, 1.0) / line.d;
      merit -= std::log(std::min(2 * std::max(miss, sigma) * density, 1.0));
      ++fitted;
    }
    return merit + 0.5 * std::log(std::max(fitted, 1)) * (6 - freeParameters);
  };
  mergeCalculated();
  double merit = score(6);
  deviation = sum / std::max(indexed, 1);
  if (triclinic && relative > 0) {
    // A triclinic trial stands for every lattice. A refined triclinic cell of a lattice of higher
    // metric symmetry splits its reflections of equal d a little: its lines are counted on the
    // metric that keeps the rotations found, fitted to the lines' indices with their ties, and
    // the parameters the ties save gain the merit. Only when the ties fit the lines, but for one
    // (a line a few sigma off): rotations that a doubled axis nearly meets (epsomite's 2a and
    // a + b, 13.714 and 13.706 A at 60 degrees) leave lines off, which the free cell fits. Then
    // the rotations kept within half the tolerance, and a quarter (a rhombohedral lattice of
    // alpha 60.1 degrees, nearly cubic F; a monoclinic one of beta 90.3).
    double cell[6];
    for (int32_t m = 0; m < 6; ++m) cell[m] = Records[m + 1].value;
    MetricSymmetry symmetry;
    double basis[6][6], tied[6];
    double tolerance = MetricSigmas * 2 * relative;
    for (int32_t round = 0; round < 3; ++round, tolerance *= 0.5) {
      if (!FindMetricSymmetry(cell, tolerance, symmetry) || symmetry.order <= 1) break;
      if (round == 0) metricOrder_ = symmetry.order;
      const int32_t k = KeptMetricBasis(symmetry, basis);
      if (k < 1 || k >= 6 || !TiesFitTheLines(basis, k, tied, true)) continue;
      MetricD(1, tied, phaseLines_);
      calculated_.clear();
      for (const double d : phaseLines_)
        if (d >= lastD - 0.001 && d <= firstD + 0.01) calculated_.push_back(d);
      mergeCalculated();
      const double symmetric = score(symmetry.freeParameters);
      if (symmetric > merit) merit = symmetric, trialOrder_ = symmetry.order;
      break;
    }
  }
  return std::isfinite(merit) && std::isfinite(volume) && volume > 0 ? merit : -std::numeric_limits<double>::infinity();
}

// The candidates for restarts: the CandidateCount best distinct cells (volumes within 1 %) of
// the search, best first.
void TAULSM::KeepCandidate(double merit, double volume) {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  auto same = std::find_if(candidates_.begin(), candidates_.end(),
                           [&](const Candidate& c) { return std::fabs(c.volume - volume) <= 0.01 * volume; });
  if (same != candidates_.end()) {
    if (same->merit >= merit) return;
    candidates_.erase(same);
  } else if (candidates_.size() >= CandidateCount && candidates_.back().merit >= merit) {
    return;
  }
  Candidate c{merit, volume, {}};
  for (int32_t i = 1; i <= n; ++i) c.values[i] = Records[i].value;
  candidates_.insert(std::upper_bound(candidates_.begin(), candidates_.end(), c,
                                      [](const Candidate& x, const Candidate& y) { return x.merit > y.merit; }),
                     c);
  if (candidates_.size() > CandidateCount) candidates_.pop_back();
}

// The best cell so far leaves more lines unindexed (beyond LineTolerance sigma) than
// MarkUnindexed may drop. The records are left at the best values.
bool TAULSM::BestIsPoor() {
  if (!bestInSearch_) return true;
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  for (int32_t i = 1; i <= n; ++i) Records[i].value = BestValues[i];
  RecalcIndexingData();
  return MissedLines() > UnindexedLineLimit();
}

namespace {

// The cell of basis vectors M (rows, in the a, b, c of cell) from the metric G' = M G M^T:
// edges and cosines.
void SubCell(const double (&cell)[6], const double (&M)[3][3], double (&out)[6]) {
  const double G[3][3] = {{cell[0] * cell[0], cell[0] * cell[1] * cell[5], cell[0] * cell[2] * cell[4]},
                          {cell[0] * cell[1] * cell[5], cell[1] * cell[1], cell[1] * cell[2] * cell[3]},
                          {cell[0] * cell[2] * cell[4], cell[1] * cell[2] * cell[3], cell[2] * cell[2]}};
  double g[3][3] = {};
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j)
      for (int32_t k = 0; k < 3; ++k)
        for (int32_t l = 0; l < 3; ++l) g[i][j] += M[i][k] * G[k][l] * M[j][l];
  for (int32_t i = 0; i < 3; ++i) out[i] = std::sqrt(g[i][i]);
  out[3] = g[1][2] / (out[1] * out[2]), out[4] = g[0][2] / (out[0] * out[2]), out[5] = g[0][1] / (out[0] * out[1]);
}

}  // namespace

// The same lattice written so that the records' bounds hold it: a reduced cell may have cosines
// of mixed signs where the bounds hold one sign (angles of 90 degrees or more). Reversing one
// basis vector reverses the two cosines at it; a triclinic cell may also take its axes in any
// order. Of these settings the one nearest the bounds (their ranges as units).
void TAULSM::PlaceCellInBounds(double (&cell)[6], int32_t system) const {
  static constexpr int32_t Orders[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {1, 0, 2}, {0, 2, 1}, {2, 1, 0}};
  const auto outside = [&](const double (&c)[6]) {
    double sum = 0;
    for (int32_t m = 0; m < 6; ++m) {
      const ParameterRecord& r = Records[m + 1];
      const double lo = std::min(r.lower, r.upper), hi = std::max(r.lower, r.upper);
      sum += (std::max(lo - c[m], 0.0) + std::max(c[m] - hi, 0.0)) / std::max(hi - lo, 1e-12);
    }
    return sum;
  };
  double best[6];
  std::copy(cell, cell + 6, best);
  double bestOutside = outside(best);
  for (int32_t o = 0; o < (system == 1 ? 6 : 1) && bestOutside > 0; ++o)
    for (int32_t flip = 0; flip < 4 && bestOutside > 0; ++flip) {
      double c[6];
      for (int32_t m = 0; m < 3; ++m) c[m] = cell[Orders[o][m]], c[m + 3] = cell[Orders[o][m] + 3];
      // flip 1..3 reverses axis flip - 1: the cosines of the other two angles change sign.
      if (flip > 0)
        for (int32_t m = 0; m < 3; ++m)
          if (m != flip - 1) c[m + 3] = -c[m + 3];
      if (const double d = outside(c); d < bestOutside) bestOutside = d, std::copy(c, c + 6, best);
    }
  // A triclinic lattice whose reduced cells all lie outside (all three angles acute and gamma below
  // its bound, say) has other bases: rows of -1, 0, 1 with determinant 1. Of those the one nearest
  // the bounds, then the one of the shortest edges.
  if (system == 1 && bestOutside > 0) {
    double bestLength = std::numeric_limits<double>::infinity();
    for (int32_t code = 0; code < 19683; ++code) {
      double M[3][3];
      for (int32_t e = 0, x = code; e < 9; ++e, x /= 3) M[e / 3][e % 3] = x % 3 - 1;
      const double det = M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
                         M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                         M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
      if (det != 1) continue;
      double c[6];
      SubCell(cell, M, c);
      const double d = outside(c), length = c[0] + c[1] + c[2];
      if (d < bestOutside || (d == bestOutside && length < bestLength))
        bestOutside = d, bestLength = length, std::copy(c, c + 6, best);
    }
  }
  std::copy(best, best + 6, cell);
}

// The cell (clamped into the records' bounds) in the records, the others at the best trial's values.
void TAULSM::SetCellOfBest(const double (&cell)[6]) {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  for (int32_t m = 0; m < 6; ++m) {
    ParameterRecord& r = Records[m + 1];
    r.value = std::clamp(cell[m], std::min(r.lower, r.upper), std::max(r.lower, r.upper));
  }
  for (int32_t m = 7; m <= n; ++m) Records[m].value = BestValues[m];
}

// That cell fitted as a trial with every line free.
TAULSM::TrialEnd TAULSM::FitCellOfBest(const double (&cell)[6]) {
  SetCellOfBest(cell);
  KeepFirstLines = false;
  return FitTrial();
}

// A search that ends on a supercell of the truth (a doubled axis indexes every line as well) is
// taken back to the half cell: every lattice of half the volume that the crystal system and the
// centring keep, (i a + j b + k c) / 2 replacing a basis vector, is fitted as a trial, and the
// merit rule prefers the smaller cell that fits as well. Repeated for a cell four times too large.
// A triclinic best cell that indexes a few lines (one to as many as MarkUnindexed may drop, and
// at most a tenth of the lines the half cell resolves: where its reflections are dense within the
// lines' errors it indexes any line by chance, and a true cell of coarse lines loses only a few
// sparse first lines) only with the reflections of one half of its reciprocal lattice, every
// other line on the other half, is a supercell of the half cell whatever the merits: the lines
// of a true cell fall on either half alike. Its merit can still be higher: it indexes impurity lines with those reflections,
// and a metric of higher symmetry that the doubled axis happens to meet (epsomite's b close to a
// sqrt 3) counts its reflections as fewer lines. Only for a best metric of at most orthorhombic
// symmetry: rotations that permute the axes (tetragonal, hexagonal, cubic) give each line
// equal-d reflections on either half, so that a half cell of such a lattice indexes all but a
// few of its lines as well.
bool TAULSM::TrySubCells() {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  if (!bestInSearch_ || PhaseCount != 1 || n < 6) return true;
  const int32_t system = PhaseTable[1].CrystalSystem, type = PhaseTable[1].LatticeType;
  if (system > 2) return TryShorterEdges(), true;
  bool supercells = true;
  for (int32_t round = 0; round < 2; ++round) {
    const double volume = BestVolume;
    double best[6];
    for (int32_t m = 0; m < 6; ++m) best[m] = BestValues[m + 1];
    int32_t bestMissed = 0;
    const int32_t bestOrder = bestMetricOrder_;
    if (system == 1) {
      for (int32_t i = 1; i <= n; ++i) Records[i].value = BestValues[i];
      RecalcIndexingData();
      bestMissed = MissedLines();
    }
    for (int32_t v = 1; v <= 7; ++v) {
      const int32_t i = v & 1, j = (v >> 1) & 1, k = (v >> 2) & 1;
      // Monoclinic: b stays the unique axis (j alone or no j), the centring vector stays one: an A
      // or C cell also takes (a + c) / 2 in place of a or c (the F lattice it makes is A or C).
      if (system == 2 && ((j && (i || k)) || (type == 1 && v != 1 && v != 5) || (type == 2 && v != 2) ||
                          (type == 3 && v != 4 && v != 5) || type > 3))
        continue;
      double M[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
      const int32_t row = i && !(system == 2 && type == 3) ? 0 : j ? 1 : 2;
      M[row][0] = 0.5 * i, M[row][1] = 0.5 * j, M[row][2] = 0.5 * k;
      double cell[6];
      SubCell(best, M, cell);
      if (system == 2) cell[3] = cell[5] = 0;
      ReduceCellInLattice(cell, system, type);
      if (system == 1) ReduceCellInLattice(cell, system, type);
      PlaceCellInBounds(cell, system);
      const TrialEnd e = FitCellOfBest(cell);
      if (StopRequest != 0) return supercells;
      if (system != 1 || bestOrder > 4 || !(BestVolume > volume * (1 - SameVolume))) continue;
      // The half cell as fitted, else as it is: the half of a refined cell is refined, and a refit
      // can leave it when impurity lines are among the first lines it fits.
      const auto takeHalf = [&]() {
        double deviation = 0, half = 0;
        const double merit = TrialMerit(deviation, half);
        const int32_t extra = MissedLines() - bestMissed;
        const int32_t resolved = std::max(1, static_cast<int32_t>(std::nearbyint(0.1 * ResolvedLines())));
        if (!std::isfinite(merit) || !(std::fabs(half - 0.5 * volume) <= 0.01 * volume) || extra < 1 ||
            extra > std::min(UnindexedLineLimit(), resolved))
          return false;
        TakeAsBest(merit, half, deviation), supercells = false;
        return true;
      };
      if (e == TrialEnd::Done && takeHalf()) continue;
      SetCellOfBest(cell);
      takeHalf();
    }
    if (!(BestVolume < volume * (1 - SameVolume))) return supercells;
  }
  return supercells;
}

// The same for the systems of orthogonal axes (and the rhombohedral cell): an edge of the best
// cell, with the edges tied to it, divided by 2 or 3 and fitted as a trial (a 4_2 or 6_3 axis,
// a glide: the lines of the shorter axis all come back on the longer one). A primitive
// tetragonal or hexagonal cell also has a supercell of its own system with a turned by 45 or 30
// degrees, a sqrt 2 or sqrt 3 longer: its lines hold every line of the true cell.
void TAULSM::TryShorterEdges() {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  const int32_t system = PhaseTable[1].CrystalSystem;
  const double turned =
      PhaseTable[1].LatticeType != 0 ? 0 : system == 4 ? std::sqrt(2.0) : system == 6 ? std::sqrt(3.0) : 0;
  for (int32_t round = 0; round < 2; ++round) {
    const double volume = BestVolume;
    double best[IndexingRecordCapacity + 1];
    std::copy(BestValues, BestValues + n + 1, best);
    for (int32_t e = 1; e <= 3; ++e) {
      const ParameterRecord& edge = Records[e];
      if ((edge.n >= 1 && edge.n != e) || edge.lower == edge.upper) continue;
      for (const double divisor : {2.0, 3.0, e == 1 ? turned : 0.0}) {
        if (divisor == 0 || !(best[e] / divisor >= std::min(edge.lower, edge.upper))) continue;
        for (int32_t i = 1; i <= n; ++i) Records[i].value = best[i];
        Records[e].value = best[e] / divisor;
        for (int32_t i = 1; i <= n; ++i)
          if (ParameterRecord& r = Records[i]; r.n >= 1 && r.n < i) r.value = r.a * Records[r.n].value + r.b;
        KeepFirstLines = false;
        FitTrial();
        if (StopRequest != 0) return;
      }
    }
    if (!(BestVolume < volume * (1 - SameVolume))) return;
  }
}

// A triclinic search that ends on a cell too small for the lattice: a cubic I lattice indexes no
// line that a tetragonal cell of half its volume would not, and the merit, which prefers the
// symmetric lattice of fewer parameters, sees only cells a trial reached. Every sublattice of
// index 2 or 3 of the best cell (bases in Hermite normal form: p^2 + p + 1 of index p) is fitted
// as a trial; a larger cell wins only with a better merit.
void TAULSM::TrySuperCells() {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  if (!bestInSearch_ || PhaseCount != 1 || n < 6 || PhaseTable[1].CrystalSystem != 1 || IndexingMode == 1) return;
  double best[6];
  for (int32_t m = 0; m < 6; ++m) best[m] = BestValues[m + 1];
  for (const int32_t p : {2, 3})
    for (int32_t form = 0; form < p * p + p + 1; ++form) {
      double M[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
      if (form < p * p) {
        M[0][0] = p, M[1][0] = form % p, M[2][0] = form / p;
      } else if (form < p * p + p) {
        M[1][1] = p, M[2][1] = form - p * p;
      } else {
        M[2][2] = p;
      }
      double cell[6];
      SubCell(best, M, cell);
      ReduceCellInLattice(cell, 1, 0);
      ReduceCellInLattice(cell, 1, 0);
      PlaceCellInBounds(cell, 1);
      FitCellOfBest(cell);
      if (StopRequest != 0) return;
    }
}

// Cells from the lines' own zones (a triclinic search) or from the metrics of the given system,
// placed in the records' bounds, each fitted as a trial: a start near the true cell whatever the
// grid and the seed.
void TAULSM::TryZoneStarts(const std::function<bool(TrialEnd)>& after) {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  const int32_t system = PhaseTable[1].CrystalSystem;
  if (PhaseCount != 1 || n < 6 || system == 2 || IndexingMode == 1) return;
  std::vector<ZoneLine> lines;
  for (int32_t i = 1, last = std::clamp(DSpacingCount, 0, MaxDSpacings); i <= last; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    if (!(line.d > 0)) continue;
    const double q = 1 / (line.d * line.d);
    lines.push_back({q, 2 * q * LineSigma(line) / line.d});
  }
  std::sort(lines.begin(), lines.end(), [](const ZoneLine& x, const ZoneLine& y) { return x.q < y.q; });
  std::array<double, IndexingRecordCapacity + 1> start{};
  for (int32_t i = 1; i <= n; ++i) start[i] = Records[i].value;
  const auto run = [&]() {
    preset_ = start.data();
    const TrialEnd e = RunTrial(2, NTries);
    preset_ = nullptr;
    return after(e);
  };
  if (system != 1) {
    // The free edges and angles of the records (the others are fixed or tied to them).
    for (const LatticeStart& s : SystemStartCells(lines, system, PhaseTable[1].LatticeType, CellVolumes[1],
                                                  LatticeTrials)) {
      for (int32_t m = 0; m < 6; ++m)
        if (const ParameterRecord& r = Records[m + 1]; (r.n < 1 || r.n == m + 1) && r.lower != r.upper)
          start[m + 1] = std::clamp(s.cell[m], std::min(r.lower, r.upper), std::max(r.lower, r.upper));
      if (run()) return;
    }
    return;
  }
  // The lattices of higher symmetry first: their primitive cells from assigned indices.
  std::vector<ZoneCell> cells;
  for (const LatticeStart& s : LatticeStartCells(lines, CellVolumes[1], LatticeTrials)) cells.push_back(s.cell);
  for (const ZoneCell& z : ZoneStartCells(lines, CellVolumes[1], ZoneTrials)) cells.push_back(z);
  for (const ZoneCell& z : cells) {
    double cell[6];
    std::copy(z.begin(), z.end(), cell);
    ReduceCellInLattice(cell, 1, 0);
    ReduceCellInLattice(cell, 1, 0);
    PlaceCellInBounds(cell, 1);
    for (int32_t m = 0; m < 6; ++m) {
      const ParameterRecord& r = Records[m + 1];
      start[m + 1] = std::clamp(cell[m], std::min(r.lower, r.upper), std::max(r.lower, r.upper));
    }
    if (run()) return;
  }
}

double TAULSM::ResolvedLines() const {
  double resolved = 0;
  for (int32_t i = 1, n = std::clamp(DSpacingCount, 0, MaxDSpacings); i <= n; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    if (!(line.d > 0)) continue;
    const auto above = std::upper_bound(calculated_.begin(), calculated_.end(), line.d, std::greater<double>());
    const double density = 3 * std::max(static_cast<double>(above - calculated_.begin()), 1.0) / line.d;
    resolved += std::exp(-2 * LineTolerance * LineSigma(line) * density);
  }
  return resolved;
}

bool TAULSM::BestBelowTopMerit() const { return BestVolume > 0 && BestMerit < TopMerit - MeritTolerance; }

// The best trial is the one of the highest merit; of two within MeritTolerance the one whose
// metric keeps more rotations, then the smaller cell.
void TAULSM::ConsiderBest() {
  double deviation = 0, volume = 0;
  const double merit = TrialMerit(deviation, volume);
  if (!std::isfinite(merit)) return;
  KeepCandidate(merit, volume);
  if (UseVolumeRestriction != 0) {
    const int32_t cells = CellRecordCount(*this) / 6;
    for (int32_t p = 1; p <= cells; ++p) {
      const ParameterRecord* r = &Records[6 * (p - 1)];
      const double v = CellVolumeFromCosines(r[1].value, r[2].value, r[3].value, r[4].value, r[5].value, r[6].value);
      if (v > CellVolumes[p]) return;
    }
  }
  TopMerit = std::max(TopMerit, merit);
  const bool any = BestVolume > 0;
  bool better = !any || merit > BestMerit;
  if (any) {
    // A trial within MeritTolerance below the best replaces it only within MeritTolerance of the
    // highest merit this search met: a chain of ever smaller cells, each a little worse, would
    // lead it away from a cell of much higher merit.
    const bool close = merit >= std::max(BestMerit, topMerit_) - MeritTolerance;
    // Of two triclinic trials within MeritTolerance, the metric keeping more rotations: a
    // sublattice that indexes the same lines keeps fewer of the lattice's rotations.
    if (trialOrder_ != bestOrder_ && std::fabs(merit - BestMerit) <= MeritTolerance)
      better = trialOrder_ > bestOrder_ && close;
    else if (volume < BestVolume * (1 - SameVolume))
      better = close;
    else if (volume > BestVolume * (1 + SameVolume))
      better = merit > BestMerit + MeritTolerance;
  }
  if (!better) return;
  topMerit_ = std::max(topMerit_, merit);
  TakeAsBest(merit, volume, deviation);
}

void TAULSM::TakeAsBest(double merit, double volume, double deviation) {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  bestInSearch_ = true;
  BestMerit = merit;
  BestVolume = volume;
  bestOrder_ = trialOrder_;
  bestMetricOrder_ = metricOrder_;
  BestFunctional = Functional;
  BestDeviation = deviation;
  BestMaxResidual = CurrentMaxResidual;
  for (int32_t i = 1; i <= n; ++i) BestValues[i] = Records[i].value;
}

void TAULSM::RefineChosenCell() {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  if (n < 1 || IndexingMode == 1) return;
  const TFitControls saved = Controls();
  Damp = 0, Alpha = 0, Delta = 1e30, Skip = 1, ConvergenceMode = 0;
  StepInUse = 1;
  struct CutScope {
    double& cut;
    ~CutScope() { cut = 0; }
  } cut{outlierCut_};
  outlierCut_ = LineTolerance;
  PrepareFit();
  if (CheckFitInput()) {
    double kept[IndexingRecordCapacity + 1];
    double previous = std::numeric_limits<double>::infinity();
    for (int32_t it = 0; it < 30; ++it) {
      if (!Accumulate(1, 1)) break;
      if (!(ChiDf <= previous)) {  // worse: back to the last values
        for (int32_t i = 1; i <= n; ++i) Records[i].value = kept[i];
        break;
      }
      previous = ChiDf;
      for (int32_t i = 1; i <= n; ++i) kept[i] = Records[i].value;
      InvertNormalMatrix();
      if (Inverted == 0) break;
      ApplyStep(0);
      StoreInverseDiagonal();
      if (!SolvedStepFinite()) break;
      ApplyStep(1);
      double change = 0;
      for (int32_t i = 1; i <= n; ++i)
        change = std::max(change, std::fabs(Records[i].value - kept[i]) / std::max(std::fabs(kept[i]), 1e-3));
      if (!(change > 1e-12)) break;
    }
    for (int32_t i = 1; i <= n; ++i)
      if (!std::isfinite(Records[i].value)) Records[i].value = BestValues[i];
  }
  Controls() = saved;
  // The merit stays the trial's, against which later searches are judged.
  double deviation = 0, volume = 0;
  if (std::isfinite(TrialMerit(deviation, volume)))
    BestVolume = volume, BestDeviation = deviation, bestOrder_ = trialOrder_, bestMetricOrder_ = metricOrder_;
  for (int32_t i = 1; i <= n; ++i) BestValues[i] = Records[i].value;
}

// The errors of the best cell: one pass at the current values with the search's weights,
// regularisation and damping, no step. Without a usable matrix every error is 0.
void TAULSM::EvaluateErrors() {
  const int32_t n = std::min(NPar, RecordCapacity());
  for (int32_t i = 1; i <= n; ++i) Records[i].Error = 0;
  if (!controlsSaved_ || !inputOk_) return;
  Stage = 1;
  MatInv = 0;
  if (!Accumulate(1, std::max(Skip, 1))) return;
  DampMatrix();
  InvertNormalMatrix();
  if (Inverted == 0) return;
  StoreInverseDiagonal();
  if (!SolvedStepFinite()) return;
  MatInv = 1;
  ComputeParameterErrors();
  for (int32_t i = 1; i <= n; ++i)
    if (InstrumentRecord(i)) Records[i].Error = 0;
}

void TAULSM::SearchTrials() {
  const int32_t n = std::min(NPar, RecordCapacity());
  TrialsRun = 0;
  if (TriesPerBin > 0) {
    bool ok = true;
    PrepareGridTrials(ok);
    if (!ok) return;
  }
  ActiveEngineScope active(this);
  WorkspaceScope workspace;
  StopRequest = 0;
  controlsSaved_ = false;
  inputOk_ = false;
  bestInSearch_ = false;
  topMerit_ = -std::numeric_limits<double>::infinity();
  for (int32_t i = 1; i <= n; ++i) Records[i].Error = Records[i].value;
  const int64_t tries = std::clamp<int64_t>(NTries, -1, Int32Max - 1);
  const int64_t repeats = std::max(TriesPerBin, 1);
  const int64_t m = std::max(TriesPerBin, 1);
  candidates_.clear();
  // A triclinic search stands for any lattice: a cell of many lines fits precise lines within
  // 1e-4 A as well as the true one, only the merit tells them apart, so the search goes on.
  const bool anyLattice = PhaseCount == 1 && n >= 6 && PhaseTable[1].CrystalSystem == 1 && IndexingMode != 1;
  // After trial t: the progress, the stop, the protocol; true when the search ends.
  const auto after = [&](int64_t t, TrialEnd e) {
    if (e == TrialEnd::InputBad || e == TrialEnd::NoIterations) return true;
    bool end = false;
    if (IndexingMode != 1) {
      const int64_t period = std::max<int64_t>(std::min<int64_t>(tries / 3, 100), 1);
      if (t % period == 0 && DisplayCurrentFit != 0)
        ShowTrialProgress(static_cast<int32_t>(std::min(t * m, Int32Max)),
                          static_cast<int32_t>(std::min(std::max<int64_t>(tries, 0) * m, Int32Max)));
    }
    if (StopRequest != 0) end = true;
    if (PrintInterval != 0)
      LogLine("trial=" + FormatInteger(static_cast<int32_t>(t), 6) + " Ftot=" + FormatNumber(15, 2, BestFunctional) +
              " dev=" + FormatNumber(10, 5, BestDeviation) + FormatNumber(10, 5, BestMaxResidual));
    return end || BestFunctional < FunctionalLimit || (BestDeviation < 1e-4 && !anyLattice);
  };
  bool end = false;
  // The numbered trials run (trial 1 with its zone starts counts once).
  int64_t run = 0;
  // The zone starts first: a cell that the lines' own zones give ends the search early when it
  // fits, and no random cell of many lines can end it before they ran.
  if (tries >= 2) {
    end = after(1, RunTrial(1, tries));
    run = 1;
    if (!end) TryZoneStarts([&](TrialEnd e) { return end = after(1, e); });
  }
  for (int64_t t = tries >= 2 ? 2 : 1; t <= tries && !end; ++t)
    for (int64_t rep = 0; rep < repeats && !end; ++rep) end = after(t, RunTrial(t, tries)), ++run;
  TrialsRun = static_cast<int32_t>(std::min(end ? run : std::max<int64_t>(tries, 0) * m, Int32Max));
  // A best cell that leaves the fit poor: starts about the best candidates, then every start
  // once more (new random places in the bins), twice at most.
  for (int32_t pass = 0; pass < ExtraPasses && !end && tries >= 2 && IndexingMode != 1 && BestIsPoor(); ++pass) {
    const std::vector<Candidate> around = candidates_;
    for (size_t c = 0; c < around.size() && !end; ++c)
      for (int32_t r = 0; r < RestartsPerCandidate && !end; ++r) {
        restart_ = around[c].values.data();
        const TrialEnd e = RunTrial(2, tries);
        restart_ = nullptr;
        end = after(2, e);
      }
    for (int64_t t = 2; t <= tries && !end; ++t)
      for (int64_t rep = 0; rep < repeats && !end; ++rep) end = after(t, RunTrial(t, tries));
  }
  // Also after an early end: a cell two or three times too large fits the lines as closely.
  if (StopRequest == 0 && IndexingMode != 1 && TrySubCells()) TrySuperCells();
  for (int64_t rep = 0; rep < repeats && !end && tries + 1 >= 1; ++rep) end = after(tries + 1, RunTrial(tries + 1, tries));
  if (controlsSaved_) RestoreFitControls();
  for (int32_t i = 1; i <= std::min(n, IndexingRecordCapacity); ++i) Records[i].value = BestValues[i];
  if (bestInSearch_ && StopRequest == 0) RefineChosenCell(), RefineKeptMetric();
  EvaluateErrors();
}

void FormatTrialProgress(int32_t done, int32_t total) {
  const TAULSM* fit = CelixFitter.get();
  const double best = fit ? fit->BestFunctional : 1e19;
  const double dev = fit ? fit->BestDeviation : 1e19;
  const char* unit = DSpacingDataType == 0 ? "Angst" : DSpacingDataType == 3 ? "Chan." : "Degr.";
  std::string r = FormatNumber(12, 2, best), e = FormatNumber(10, 5, dev);
  DeleteSpaces(r);
  DeleteSpaces(e);
  ProgressLines[0] = " " + std::to_string(done) + " tries";
  ProgressLines[1] = " out of " + std::to_string(total) + ";      Total N= " + std::to_string(TrialCounter);
  ProgressLines[2] = " R= " + r + "     Eps(" + unit + ")= " + e + "     exp.error = " + FormatNumber(12, 5, AverageDError);
}

void ShowTrialProgress(int32_t done, int32_t total) {
  FormatTrialProgress(done, total);
  Form2.left = 0;
  Form2.top = 0;
  Form2.width = Scaled(550);
  Form2.height = Scaled(410);
  Form2.color = GreenColor;
  Form2.Button5.visible = false;
  Form2.caption = std::string(8, ' ') + IndexingTitle;
  PlaceLabel(Form2.Label1, 15, 10, ProgressLines[0], WhiteColor, BlueColor);
  PlaceLabel(Form2.Label2, 115, 10, ProgressLines[1], WhiteColor, GreenColor);
  PlaceLabel(Form2.Label3, 5, 30, ProgressLines[2], BlackColor, RedColor);
  Form2.closeRequested = false;
  TimerYield();
  // The window closed (Esc, its close box) while the search runs: the search ends with its best
  // cell so far, which Make then offers with "Stop fitting?".
  if (Form2.closeRequested) RequestFitStop();
}
