#include "core/fit_engine.h"
#include <algorithm>
#include <cmath>
#include "core/abandon.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/text_file.h"

std::unique_ptr<TParameter> FitParameters;
TFitControls DefaultFitControls;

namespace {
constexpr int32_t SessionFitPoints = 16384;

bool AllFinite(const ParameterRecord& r) {
  return std::isfinite(r.lower) && std::isfinite(r.value) && std::isfinite(r.upper) &&
         std::isfinite(r.a) && std::isfinite(r.b);
}
}  // namespace

void NoProgress(int32_t) {}

TParameter::TParameter(int32_t nPar, int32_t nPoints, int32_t nMat) : NPar(nPar), NPoints(nPoints) {
  Records.resize(static_cast<size_t>(std::max(nPar, 0)) + 1);
  matrixOrder_ = std::max(nMat, 0);
  Matrix.assign(static_cast<size_t>(matrixOrder_) * matrixOrder_ + 1, 0.0);
  EnsureCapacity();
  freeIndex_.reserve(Records.size());
  dependents_.reserve(Records.size());
}

// Sizes the working vectors for the record capacity and the matrix order in use; nothing is
// allocated once a fit runs.
void TParameter::EnsureCapacity() {
  size_t records = Records.size();
  size_t order = static_cast<size_t>(std::max({matrixOrder_, NFree, static_cast<int32_t>(records) - 1})) + 1;
  auto grow = [](auto& v, size_t n) {
    if (v.size() < n) v.resize(n);
  };
  grow(RightSide, records);
  grow(Diagonal, records);
  grow(CorrFactor, records);
  grow(NumDeriv, records);
  grow(savedDerivative_, records);
  grow(acceptedValues_, records);
  grow(bestValues_, records);
  grow(ErrorKind, records);
  grow(noInformation_, order);
  grow(stepVector_, order);
  grow(nzIndex_, order);
  grow(nzValue_, order);
  grow(pivotUsed_, order);
  grow(pivotRow_, order);
  grow(pivotRow2_, order);
  grow(pivotScale_, order);
  grow(DerivativeHint, records);
  grow(rowOf_, records);
  grow(fixedRow_, records);
  if (NFree > matrixOrder_) {
    matrixOrder_ = NFree;
    Matrix.resize(static_cast<size_t>(matrixOrder_) * matrixOrder_ + 1);
  }
}

void TParameter::SetFitDefaults() {
  Controls() = TFitControls{};
  StartMode = 0;
}

void TParameter::ResetParameterRecords() {
  int32_t last = std::min(NPar, RecordCapacity());
  for (int32_t i = 1; i <= last; ++i) {
    ParameterRecord& r = Records[i];
    r.n = i;
    r.lower = -1e15;
    r.value = 0;
    r.upper = 1e15;
    r.a = 1;
    r.b = 0;
    r.Error = 0;
    r.Derivative = 0;
    r.Name.clear();
  }
}

void TParameter::PrepareFit() {
  SavedControls = Controls();
  Skip = std::max(Skip, 1);
  if (Delta == 0) Delta = 1.0;
  MatInv = 1;
  Conv = 1;
  ParOnB = 0;
  Diverged = 0;
  UndeterminedErrors = false;
  HeldCount = 0;
  StepSigmas = 1e16;
  haveBest_ = false;
  haveAcceptedSystem_ = false;
  recentCount_ = 0;
  aboveBest_ = belowBest_ = retakenSteps_ = 0;
  stoppedFalling_ = false;
  reweightedCount_ = 0;
  std::fill(ErrorKind.begin(), ErrorKind.end(), uint8_t{ErrorIsNumber});
  Iterations = 0;
  Eps = 1e16;
  SigmaSum = 0;
  std::fill(CorrFactor.begin(), CorrFactor.end(), 0.0);
  Conditioning = 1e16;
  ChiReg = 0;
  Status = 1;
  PrevFunctional = 1e16;
  FullOrder = CompressedMatrix == 0;
  CompressionNote.clear();
  ContradictionWarning.clear();
  NoFreeParametersError.clear();
  WrongArrayError.clear();
  Compress();
}

// Dependent records take their bounds and value from their master; bounds are put in order; a
// dependent record with equal bounds becomes independent and fixed. Records whose link is out of
// range are left for CheckFitInput to report.
void TParameter::Compress() {
  NoDependents = 1;
  NFree = 0;
  freeIndex_.clear();
  dependents_.clear();
  if (NPar < 1 || NPar > RecordCapacity()) return;
  for (int32_t i = 1; i <= NPar; ++i) {
    ParameterRecord& r = Records[i];
    if (r.n == i) continue;
    NoDependents = 0;
    if (r.n >= 1 && r.n < i) {
      const ParameterRecord& m = Records[r.n];
      r.lower = r.a * m.lower + r.b;
      r.value = r.a * m.value + r.b;
      r.upper = r.a * m.upper + r.b;
    }
  }
  for (int32_t i = 1; i <= NPar; ++i) {
    ParameterRecord& r = Records[i];
    if (r.lower > r.upper) std::swap(r.lower, r.upper);
    if (r.n != i && r.n >= 1 && r.n < i && r.lower == r.upper) {
      r.n = i;
      ContradictionWarning = "Warning! Fixing and dependence contradiction removed";
    }
  }
  NFree = NPar;
  if (!FullOrder) {
    for (int32_t i = 1; i <= NPar; ++i) {
      if (Fixed(i))
        --NFree;
      else if (!NoDependents && Records[i].n != i)
        --NFree;
    }
    CompressionNote = ".... Compression: from " + FormatInteger(NPar, 4) + "  to " + FormatInteger(NFree, 4);
  }
  freeIndex_.assign(1, 0);
  for (int32_t i = 1; i <= NPar; ++i) {
    const ParameterRecord& r = Records[i];
    if (r.n == i && !Fixed(i)) freeIndex_.push_back(i);
    if (r.n >= 1 && r.n < i) dependents_.push_back(i);
  }
  EnsureCapacity();
  std::fill(rowOf_.begin(), rowOf_.end(), 0);
  for (size_t k = 1; k < freeIndex_.size(); ++k) rowOf_[static_cast<size_t>(freeIndex_[k])] = static_cast<int32_t>(k);
}

bool TParameter::CheckFitInput() {
  bool ok = true;
  bool sizeOk = NPar >= 1 && NPar <= RecordCapacity();
  if (NPoints <= 0 || !sizeOk) {
    ShowMsg("N points= " + FormatNumberNoBlanks(0, NPoints) + "  N pars= " + FormatNumberNoBlanks(0, NPar));
    ok = false;
  }
  if (sizeOk) {
    for (int32_t i = 1; i <= NPar; ++i) {
      const ParameterRecord& r = Records[i];
      // A master must be independent: chains of links are not resolved.
      bool wrong = r.n < 1 || r.n > i || r.a == 0 || !AllFinite(r) || (r.n < i && Records[r.n].n != r.n);
      if (wrong) {
        WrongArrayError = "Wrong parameter array";
        ShowMsg("Wrong parameter array");
        ok = false;
      }
    }
    if (NFree == 0) {
      NoFreeParametersError = "Error, no free parameters";
      ok = false;
    }
  }
  if (ok && !FullOrder && static_cast<int32_t>(freeIndex_.size()) - 1 != NFree) ok = false;
  if (!ok) Status = 0;
  return ok;
}

void TParameter::SaveAcceptedValues() {
  for (int32_t i = 1; i <= NPar; ++i) acceptedValues_[i] = Records[i].value;
}

void TParameter::RestoreAcceptedValues() {
  for (int32_t i = 1; i <= NPar; ++i) Records[i].value = acceptedValues_[i];
  unjudgedStep_ = false;
}

void TParameter::Fit(TModelFunc ModelFunc, TProgressProc ProgressProc) {
  // The progress procedure lets the window system run; a second fit on this engine from there
  // would wreck the running one.
  if (running_) AbandonOperation("The fit is already running");
  running_ = true;
  // On every way out: the control block saved by PrepareFit back, the engine free again.
  struct Leave {
    TParameter& fit;
    ~Leave() {
      fit.RestoreFitControls();
      fit.PrimaryFinalPassCall = 0;
      fit.running_ = false;
    }
  } leave{*this};
  try {
    RunFit(ModelFunc, ProgressProc);
  } catch (...) {
    // An abandoned fit keeps no result: nothing left behind may pass for a finished fit.
    Status = 0;
    Conv = 0;
    throw;
  }
}

void TParameter::RunFit(TModelFunc ModelFunc, TProgressProc ProgressProc) {
  PrepareFit();
  if (!CheckFitInput()) return;
  StopRequest = 0;
  StepInUse = Step;
  start_ = 1;
  Stage = 1;
  nonFiniteStop_ = false;
  nonFiniteShown_ = false;
  negativeWeightLogged_ = false;
  atAcceptedPoint_ = false;
  unjudgedStep_ = false;
  Functional = 1e16;
  SaveAcceptedValues();
  if (GNIter != 0) {
    for (;;) {
      Conv = 1;
      SweepResult sweep = RunIteration(ModelFunc, ProgressProc);
      if (ShowIterationMessage)
        ShowMsg(FormatNumberNoBlanks(0, Iterations) + " " + FormatNumber(12, 4, Functional) + "-" +
                FormatNumberNoBlanks(0, DegreesOfFreedom));
      ++Iterations;
      if (Status != 1 || MatInv == 0 || Iterations >= GNIter || StopRequest != 0) break;
      // A sweep whose points all had weight 0 decides nothing. Besides the accuracy limit with a
      // functional level, a fit that has settled stops whatever its functional's level (real
      // data seldom reach chi2/df ~ 1, and EpsReq may be 0); a negative EpsReq asks for every
      // iteration.
      if (sweep == SweepResult::Done &&
          ((Eps <= EpsReq && Functional <= FunctionalLimit) || (Settled && EpsReq >= 0)))
        break;
    }
  }
  Stage = 3;
  if (PrintInterval != 0) PrintIteration(Stage);
  Skip = 1;
  for (int32_t i = 1; i <= NPar; ++i) Records[i].Error = 0;
  if (MatInv != 0) {
    start_ = 1;
    // A last step that overflowed the model goes back to the accepted point, measured afresh.
    if (RunIteration(ModelFunc, ProgressProc) == SweepResult::Reverted) {
      start_ = 1;
      RunIteration(ModelFunc, ProgressProc);
    }
  }
  // Eps of the point the fit ends at; the final pass, or the sweep that found the matrix
  // singular, measured it.
  if (MatInv != 0 && Inverted != 0) DistanceAtFinalPoint();
  ReturnToBestPoint(ModelFunc, ProgressProc);
  // Iterations that ended (their limit, a stop) with a parameter still further from the optimum
  // than the tolerance have not converged.
  if (GNIter != 0 && !Settled && !(Eps <= AccuracyLimit())) Conv = 0;
  if (nonFiniteStop_) Conv = 0;
  // The errors are those of the point the fit ended at, whatever the verdict; only a singular
  // matrix leaves them undetermined.
  UndeterminedErrors = MatInv == 0;
  MarkErrorKinds(UndeterminedErrors);
}

// The largest move of a free parameter in the step just applied, in standard deviations of the
// iteration's (damped) inverse; the old values are in the records' Derivative.
void TParameter::MeasureStep() {
  double largest = 0;
  for (int32_t i = 1; i <= NPar; ++i) {
    const ParameterRecord& r = Records[i];
    if (r.n != i || Fixed(i) || !(Diagonal[i] > 0)) continue;
    largest = std::max(largest, std::fabs(r.value - r.Derivative) / std::sqrt(Diagonal[i]));
  }
  StepSigmas = largest;
}

void TParameter::EpsFromAppliedStep(double stepFactor) {
  MeasureStep();
  Eps = stepFactor > 0 ? 10 * StepSigmas / stepFactor : 1e16;
}

// An accepted sweep measured on every point with the model's weights, as the final pass measures:
// the lowest such functional is the point a fit that ends higher goes back to.
void TParameter::KeepBestPoint(bool comparable) {
  if (!comparable || (haveBest_ && !(Functional < bestFunctional_))) return;
  haveBest_ = true;
  bestFunctional_ = Functional;
  for (int32_t i = 1; i <= NPar; ++i) bestValues_[i] = Records[i].value;
}

// The final pass (or a singular sweep) measured the last point. Above the best accepted point
// (beyond rounding) the fit goes back there for a final pass, and is judged there: settled when
// Eps there is within the tolerance; otherwise not converged, and diverged unless its functional
// had stopped falling or the last point rose by at most 1e-6 of the best.
void TParameter::ReturnToBestPoint(TModelFunc model, TProgressProc progress) {
  if (!haveBest_) return;
  const double last = ChiDf + Alpha * ChiReg;
  const double rise = last - bestFunctional_, room = std::fabs(bestFunctional_);
  if (rise <= 1e-10 * room) return;
  for (int32_t i = 1; i <= NPar; ++i) Records[i].value = bestValues_[i];
  unjudgedStep_ = false;
  start_ = 1;
  MatInv = 1;
  RunIteration(model, progress);
  Settled = MatInv != 0 && Inverted != 0 && DistanceAtFinalPoint() <= AccuracyLimit();
  if (Settled) return;
  Conv = 0;
  if (!stoppedFalling_ && rise > 1e-6 * room) Diverged = 1;
}

// After a final pass (its undamped equations in the sweep system): Eps of the point it measured,
// with the bounds held as an iteration holds them. The final pass's inverse and right-hand side
// are kept.
double TParameter::DistanceAtFinalPoint() {
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  finalInverse_.assign(Matrix.begin(), Matrix.begin() + static_cast<std::ptrdiff_t>(cells));
  finalRhs_.assign(RightSide.begin(), RightSide.begin() + NFree + 1);
  const double rms = Rms;
  const int32_t held = HeldCount;
  std::copy(sweepMatrix_.begin(), sweepMatrix_.begin() + static_cast<std::ptrdiff_t>(cells), Matrix.begin());
  std::copy(sweepRhs_.begin(), sweepRhs_.begin() + NFree + 1, RightSide.begin());
  HoldActiveBounds();
  std::copy(Matrix.begin(), Matrix.begin() + static_cast<std::ptrdiff_t>(cells), sweepMatrix_.begin());
  std::copy(RightSide.begin(), RightSide.begin() + NFree + 1, sweepRhs_.begin());
  Eps = ReweightedDistance(NewtonDistance(sweepMatrix_, sweepRhs_));
  std::copy(finalInverse_.begin(), finalInverse_.end(), Matrix.begin());
  std::copy(finalRhs_.begin(), finalRhs_.end(), RightSide.begin());
  Rms = rms, HeldCount = held, Inverted = 1;
  return Eps;
}

// Damps and solves the equations in Matrix and RightSide: the step in stepVector_, the inverse's
// diagonal in M(k, k). A free record on a bound whose step points outward is then held as well, in
// the undamped system (matrix, rhs) it came from, and the step solved again (a projected Newton
// step: the others no longer compensate for a move the bound stops), until no step leaves a
// bound. False when the matrix cannot be inverted.
bool TParameter::SolveDampedStep(std::vector<double>& matrix, std::vector<double>& rhs) {
  constexpr int32_t MaxHoldRounds = 8;
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  for (int32_t round = 0;; ++round) {
    DampMatrix();
    if (TraceInverse || !SolveSparseStep()) InvertNormalMatrix();
    if (Inverted == 0) return false;
    for (int32_t k = 1; k <= NFree && !stepSolved_; ++k) {
      double sum = 0;
      for (int32_t j = 1; j <= NFree; ++j) sum += M(k, j) * RightSide[j];
      stepVector_[k] = sum;
    }
    if (round == MaxHoldRounds || matrix.size() < cells || rhs.size() < static_cast<size_t>(NFree) + 1) return true;
    int32_t added = 0;
    for (int32_t i = 1; i <= NPar; ++i) {
      const int32_t k = RowPushedOut(i, stepVector_.data());
      if (k == 0) continue;
      for (int32_t j = 1; j <= NFree; ++j)
        matrix[static_cast<size_t>(k) + static_cast<size_t>(j - 1) * NFree] =
            matrix[static_cast<size_t>(j) + static_cast<size_t>(k - 1) * NFree] = 0;
      matrix[static_cast<size_t>(k) + static_cast<size_t>(k - 1) * NFree] = 1;
      rhs[static_cast<size_t>(k)] = 0;
      ++added;
      ++HeldCount;
    }
    if (added == 0) return true;
    std::copy(matrix.begin(), matrix.begin() + static_cast<std::ptrdiff_t>(cells), Matrix.begin());
    std::copy(rhs.begin(), rhs.begin() + NFree + 1, RightSide.begin());
    double sum = 0;
    for (int32_t k = 1; k <= NFree; ++k) sum += RightSide[k] * RightSide[k];
    Rms = std::sqrt(sum / std::max(NFree, 1));
  }
}

// The functionals of the last accepted full sweeps (comparable: every point, the model's weights).
// When the last three find no new low below the first (within 1e-5 of it, the test a rejected
// step meets in guaranteed convergence) and do not fall one after the other, the functional has
// stopped falling (all four within 1e-5 of each other; the fit is settled only when Eps says so
// as well). Otherwise, or while a parameter is still off, its steps go round a cycle (free
// convergence accepts every step), and the step factor is halved so that the cycle closes on the
// minimum it goes round.
void TParameter::NoteFunctional(bool comparable) {
  constexpr int32_t kept = sizeof recentFunctionals_ / sizeof recentFunctionals_[0];
  if (!comparable) {
    recentCount_ = 0;
    return;
  }
  double* f = recentFunctionals_;
  std::move(f + 1, f + kept, f);
  f[kept - 1] = Functional;
  recentCount_ = std::min(recentCount_ + 1, kept);
  stoppedFalling_ = false;
  if (recentCount_ < kept) return;
  const bool falling = f[1] < f[0] && f[2] < f[1] && f[3] < f[2];  // progress, however slow
  if (falling || *std::min_element(f + 1, f + kept) < f[0] - 1e-5 * std::fabs(f[0])) return;
  const auto [low, high] = std::minmax_element(f, f + kept);
  stoppedFalling_ = *high - *low <= 1e-5 * std::fabs(*low);
  if (stoppedFalling_ && Settled) return;
  Step *= 0.5;
  recentCount_ = 0;
}

// The Newton step of the undamped equations (the final pass's relative damping of 1e-5 only; a
// row no point reached takes no part) from the point they were measured at is that point's
// distance from the optimum, whatever damping and step factor the iterations use. Measured per
// parameter in its own standard deviation, so that neither the units of the data nor those of the
// parameters matter, and the largest counts: a mean over many parameters hides the one still
// moving.
double TParameter::NewtonDistance(const std::vector<double>& matrix, const std::vector<double>& rhs) {
  constexpr int32_t MaxHoldRounds = 8;
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  if (matrix.size() < cells || rhs.size() < static_cast<size_t>(NFree) + 1) return 1e16;
  newtonMatrix_.assign(matrix.begin(), matrix.begin() + static_cast<std::ptrdiff_t>(cells));
  newtonRhs_.assign(rhs.begin(), rhs.begin() + NFree + 1);
  auto hold = [&](int32_t k) {
    for (int32_t j = 1; j <= NFree; ++j)
      newtonMatrix_[static_cast<size_t>(k) + static_cast<size_t>(j - 1) * NFree] =
          newtonMatrix_[static_cast<size_t>(j) + static_cast<size_t>(k - 1) * NFree] = 0;
    newtonMatrix_[static_cast<size_t>(k) + static_cast<size_t>(k - 1) * NFree] = 1;
    newtonRhs_[static_cast<size_t>(k)] = 0;
  };
  for (int32_t k = 1; k <= NFree; ++k)
    if (!(FullOrder && Fixed(k)) && EmptyRow(newtonMatrix_[static_cast<size_t>(k) + static_cast<size_t>(k - 1) * NFree]))
      hold(k);
  // A record on a bound that the step would push out of it is held, as an iteration holds it.
  for (int32_t round = 0;; ++round) {
    std::copy(newtonMatrix_.begin(), newtonMatrix_.end(), Matrix.begin());
    std::copy(newtonRhs_.begin(), newtonRhs_.end(), RightSide.begin());
    for (int32_t k = 1; k <= NFree; ++k)
      if (!(FullOrder && Fixed(k))) M(k, k) *= 1 + 1e-5;
    if (!SolveSparseStep()) {
      InvertNormalMatrix();
      if (Inverted == 0) return 1e16;
      for (int32_t k = 1; k <= NFree; ++k) {
        double sum = 0;
        for (int32_t j = 1; j <= NFree; ++j) sum += M(k, j) * RightSide[j];
        stepVector_[k] = sum;
      }
    }
    int32_t added = 0;
    for (int32_t i = 1; i <= NPar && round < MaxHoldRounds; ++i)
      if (const int32_t k = RowPushedOut(i, stepVector_.data())) hold(k), ++added;
    if (added == 0) break;
  }
  double largest = 0;
  for (int32_t k = 1; k <= NFree; ++k) {
    const int32_t i = FullOrder ? k : freeIndex_[k];
    const ParameterRecord& r = Records[i];
    const double c = M(k, k), d = stepVector_[k];
    if (r.n != i || Fixed(i) || !(c > 0)) continue;
    if ((r.value <= r.lower && d < 0) || (r.value >= r.upper && d > 0)) continue;
    largest = std::max(largest, std::fabs(d) / std::sqrt(c));
  }
  if (!std::isfinite(largest)) return 1e16;
  const double eps = 10 * largest;
  if (TraceDiagonal && Stage != 3)
    LogLine("Diag= " + FormatNumber(15, 4, Rms) + FormatNumber(10, 4, largest) + FormatNumber(15, 4, eps) +
            FormatNumber(10, 3, ChiDf));
  return eps;
}

// The undamped Newton step d of the accepted point (in stepVector_, held rows 0), eps long, is
// within the tolerance: the least-squares sum S is tried where d reaches the tolerance's edge. The
// equations' quadratic model may miss the sum's shape along d (a curvature below that of J'J, a
// table shape's ripples); the parabola through S(0), its slope there (-2 b'd) and S at the edge
// places the minimum along d, and its distance is the Eps returned (eps at least): beyond the
// edge where S still falls there by more than half what the slope at 0 predicts; 1e16 where S
// falls at least as fast as that slope says (no minimum in sight). eps where the sum cannot be
// told (a regularised or weighted functional) or the step is at the rounding level.
double TParameter::DistanceAlongNewtonStep(TModelFunc model, const std::vector<double>& rhs, double eps) {
  if (Alpha != 0 || FittingKind != 2 || !(eps > 0) || rhs.size() < static_cast<size_t>(NFree) + 1) return eps;
  double fall = 0;
  for (int32_t k = 1; k <= NFree; ++k) fall += rhs[static_cast<size_t>(k)] * stepVector_[k];
  const double here = Functional * DegreesOfFreedom;
  if (!(fall > 1e-9 * here)) return eps;
  const double edge = AccuracyLimit() / eps, slope = -2 * fall;
  const double curvature = (SumAlongStep(model, edge) - here - slope * edge) / (edge * edge);
  if (!std::isfinite(curvature)) return eps;
  return curvature > 0 ? eps * std::max(1.0, -slope / (2 * curvature)) : 1e16;
}

double TParameter::ReweightedDistance(double eps) {
  if (FittingKind == 2) return eps;
  constexpr int32_t kept = sizeof reweightedSteps_ / sizeof reweightedSteps_[0];
  double* d = reweightedSteps_;
  std::move(d + 1, d + kept, d);
  d[kept - 1] = eps;
  reweightedCount_ = std::min(reweightedCount_ + 1, kept);
  if (eps <= RoundingDistance) return eps;
  if (reweightedCount_ < kept) return 1e16;
  double q = 0;
  for (int32_t k = 1; k < kept; ++k) q = std::max(q, d[k] / d[k - 1]);
  return q < 1 ? eps / (1 - q) : 1e16;
}

// The least-squares sum at the accepted point moved by t times the step in stepVector_ (within
// the bounds; dependents follow); the accepted point is back afterwards.
double TParameter::SumAlongStep(TModelFunc model, double t) {
  for (int32_t i = 1; i <= NPar; ++i) savedDerivative_[i] = Records[i].Derivative;
  for (int32_t k = 1; k <= NFree; ++k) {
    const int32_t i = FullOrder ? k : freeIndex_[k];
    Records[i].value = std::clamp(acceptedValues_[i] + t * stepVector_[k], Records[i].lower, Records[i].upper);
  }
  if (!NoDependents)
    for (int32_t i = 1; i <= NPar; ++i)
      if (Records[i].n != i && Records[i].n >= 1) Records[i].value = Records[i].a * Records[Records[i].n].value + Records[i].b;
  double S = 0;
  SweepSerial = NextSweepSerial();  // the model's caches of a sweep do not hold at these values
  TryingStep = 1;
  for (int32_t p = 1; p <= NPoints; ++p) {
    double Y = 0, W = 0, F = 0;
    DerivativeHintCount = -1;
    DerivativeArray = nullptr;
    model(Y, W, F, p, Stage);
    const double h = std::fabs(Y - F) * std::sqrt(std::fabs(W));
    S += h * h * RobustFactor(h);
  }
  DerivativeArray = nullptr;
  TryingStep = 0;
  SweepSerial = NextSweepSerial();
  for (int32_t i = 1; i <= NPar; ++i) Records[i].value = acceptedValues_[i], Records[i].Derivative = savedDerivative_[i];
  return S;
}

// A point where the Newton step is within the tolerance may still be no minimum: at a saddle or on
// a flat stretch the sum curves down (or hardly up) where J'J says it rises, most likely along
// the directions it determines least. The sum is tried one standard deviation either way along
// the ProbeDirections softest eigenvectors of the scaled normal matrix (matrix: the undamped
// equations of the accepted point), where J'J predicts a rise of 1 whatever the units of the
// data and the parameters; only records inside their bounds move, dependents follow. The lowest
// point, where it lies below the accepted one by more than ProbeFall (and rounding), becomes the
// records' step.
bool TParameter::LowerPointAlongSoftDirections(TModelFunc model, const std::vector<double>& matrix) {
  if (Alpha != 0 || FittingKind != 2 || !(Step > 0) || !(AccuracyLimit() < 10) || !FactorScaledMatrix(matrix))
    return false;
  const size_t m = probeRows_.size();
  const int32_t count = static_cast<int32_t>(std::min<size_t>(ProbeDirections, m));
  probeDirections_.assign(static_cast<size_t>(count) * m, 0.0);
  const double here = Functional * DegreesOfFreedom;
  double lowest = here - std::max(ProbeFall, 1e-12 * std::fabs(here)), lowestT = 0;
  for (int32_t j = 0; j < count; ++j) {
    const double lambda = SoftDirection(j);
    if (!(lambda > 0)) break;
    // One standard deviation along the direction: the scaled unit vector over sqrt(lambda).
    const double* u = probeDirections_.data() + static_cast<size_t>(j) * m;
    std::fill(stepVector_.begin(), stepVector_.begin() + NFree + 1, 0.0);
    for (size_t a = 0; a < m; ++a) stepVector_[static_cast<size_t>(probeRows_[a])] = u[a] * probeScale_[a] / std::sqrt(lambda);
    for (const double t : {1.0, -1.0}) {
      const double S = SumAlongStep(model, t);
      if (!(S < lowest)) continue;
      lowest = S, lowestT = t;
      for (int32_t i = 1; i <= NPar; ++i) Records[i].Derivative = 0;
      for (size_t a = 0; a < m; ++a) {
        const int32_t k = probeRows_[a];
        Records[FullOrder ? k : freeIndex_[k]].Derivative = t * stepVector_[static_cast<size_t>(k)] / Step;
      }
    }
  }
  return lowestT != 0;
}

// The rows that may move (free independent records inside their bounds that a point reached),
// their normal matrix scaled to a unit diagonal (with the final pass's relative damping) as its
// Cholesky factor. False when there is none or it is not safely positive definite.
bool TParameter::FactorScaledMatrix(const std::vector<double>& matrix) {
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  probeRows_.clear();
  probeScale_.clear();
  if (matrix.size() < cells) return false;
  auto at = [&](int32_t i, int32_t j) { return matrix[static_cast<size_t>(i) + static_cast<size_t>(j - 1) * NFree]; };
  for (int32_t k = 1; k <= NFree; ++k) {
    const int32_t i = FullOrder ? k : freeIndex_[k];
    const ParameterRecord& r = Records[i];
    const double d = at(k, k);
    if (r.n != i || Fixed(i) || r.value <= r.lower || r.value >= r.upper || EmptyRow(d) || !(d > 0)) continue;
    probeRows_.push_back(k);
    probeScale_.push_back(1 / std::sqrt(d));
  }
  const size_t m = probeRows_.size();
  probeFactor_.assign(m * m, 0.0);
  probeWork_.assign(m, 0.0);
  double* L = probeFactor_.data();
  for (size_t a = 0; a < m; ++a)
    for (size_t b = 0; b <= a; ++b)
      L[a * m + b] = at(probeRows_[a], probeRows_[b]) * probeScale_[a] * probeScale_[b] * (a == b ? 1 + 1e-5 : 1);
  for (size_t j = 0; j < m; ++j) {
    double pivot = L[j * m + j];
    for (size_t p = 0; p < j; ++p) pivot -= L[j * m + p] * L[j * m + p];
    // A scaled pivot below 1e-10: a direction the data hardly determine, no standard deviation.
    if (!(pivot > 1e-10) || !std::isfinite(pivot)) return false;
    L[j * m + j] = std::sqrt(pivot);
    for (size_t i = j + 1; i < m; ++i) {
      double sum = L[i * m + j];
      for (size_t p = 0; p < j; ++p) sum -= L[i * m + p] * L[j * m + p];
      L[i * m + j] = sum / L[j * m + j];
    }
  }
  return m > 0;
}

// Direction j (unit length, in probeDirections_) of the j-th largest variance of the scaled
// parameters, the j-th softest eigenvector of the scaled matrix: inverse iteration kept
// orthogonal to the directions before it. Returns its eigenvalue (the Rayleigh quotient). Where
// soft eigenvalues lie close together any direction of their span serves the probe.
double TParameter::SoftDirection(int32_t j) {
  const size_t m = probeRows_.size();
  const double* L = probeFactor_.data();
  double* u = probeDirections_.data() + static_cast<size_t>(j) * m;
  double* w = probeWork_.data();
  for (size_t a = 0; a < m; ++a) u[a] = 1 + 0.5 * std::sin(1.0 + static_cast<double>((a + 1) * (j + 1)));
  auto orthonormalise = [&]() {
    for (int32_t i = 0; i < j; ++i) {
      const double* v = probeDirections_.data() + static_cast<size_t>(i) * m;
      double dot = 0;
      for (size_t a = 0; a < m; ++a) dot += u[a] * v[a];
      for (size_t a = 0; a < m; ++a) u[a] -= dot * v[a];
    }
    double norm = 0;
    for (size_t a = 0; a < m; ++a) norm += u[a] * u[a];
    norm = std::sqrt(norm);
    for (size_t a = 0; a < m; ++a) u[a] = norm > 0 ? u[a] / norm : 0;
    return norm > 0;
  };
  double variance = 0;
  for (int32_t round = 0; round < 50 && orthonormalise(); ++round) {
    for (size_t a = 0; a < m; ++a) {  // L L' w = u
      double sum = u[a];
      for (size_t p = 0; p < a; ++p) sum -= L[a * m + p] * w[p];
      w[a] = sum / L[a * m + a];
    }
    for (size_t a = m; a-- > 0;) {
      double sum = w[a];
      for (size_t p = a + 1; p < m; ++p) sum -= L[p * m + a] * w[p];
      w[a] = sum / L[a * m + a];
    }
    double next = 0;
    for (size_t a = 0; a < m; ++a) next += u[a] * w[a];
    std::copy(w, w + m, u);
    if (std::fabs(next - variance) <= 1e-6 * next) break;
    variance = next;
  }
  if (!orthonormalise()) return 0;
  double lambda = 0;  // u' L L' u
  for (size_t p = 0; p < m; ++p) {
    double sum = 0;
    for (size_t a = p; a < m; ++a) sum += L[a * m + p] * u[a];
    lambda += sum * sum;
  }
  return lambda;
}

// The matrix row of free independent record i when the record sits on a bound and the move
// direction[row] points out of it; 0 otherwise.
int32_t TParameter::RowPushedOut(int32_t i, const double* direction) const {
  const ParameterRecord& r = Records[i];
  if (r.n != i || Fixed(i)) return 0;
  const int32_t k = RowOf(i);
  if (k < 1 || k > NFree) return 0;
  const double d = direction[k];
  return (r.value <= r.lower && d < 0) || (r.value >= r.upper && d > 0) ? k : 0;
}

// The active set: a free parameter on a bound whose gradient pushes it outward keeps its value
// this iteration (an identity row with no right-hand side). The gradient of chi2/2 is minus the
// right-hand side, so at the lower bound a negative right-hand side pushes outward.
void TParameter::HoldActiveBounds() {
  HeldCount = 0;
  for (int32_t i = 1; i <= NPar; ++i) {
    const int32_t k = RowPushedOut(i, RightSide.data());
    if (k == 0) continue;
    for (int32_t j = 1; j <= NFree; ++j) M(k, j) = M(j, k) = 0;
    M(k, k) = 1;
    RightSide[k] = 0;
    ++HeldCount;
  }
  // The accuracy measures the gradient of the parameters that may still move.
  if (HeldCount != 0) {
    double sum = 0;
    for (int32_t k = 1; k <= NFree; ++k) sum += RightSide[k] * RightSide[k];
    Rms = std::sqrt(sum / std::max(NFree, 1));
  }
}

void TParameter::ClearNullRows() {
  double largest = 0;
  for (int32_t k = 1; k <= NFree; ++k) {
    const int32_t i = FullOrder ? k : freeIndex_[k];
    if (Records[i].n == i && !Fixed(i)) largest = std::max(largest, std::fabs(M(k, k)));
  }
  for (int32_t k = 1; k <= NFree; ++k) {
    const int32_t i = FullOrder ? k : freeIndex_[k];
    if (Records[i].n != i || Fixed(i) || std::fabs(M(k, k)) > NullRowShare * largest) continue;
    for (int32_t j = 1; j <= NFree; ++j) M(k, j) = M(j, k) = 0;
    RightSide[k] = 0;
    Diagonal[k] = 0;
  }
}

// After the final pass: records on a bound, records whose row carried no information (the
// damping replaced their diagonal, so the error is the damping's), and every free record of a
// singular or diverged fit. A dependent record reads as its master.
void TParameter::MarkErrorKinds(bool singular) {
  const int32_t last = std::min(NPar, RecordCapacity());
  for (int32_t i = 1; i <= last; ++i) {
    const ParameterRecord& r = Records[i];
    uint8_t kind = ErrorIsNumber;
    if (r.n == i && !Fixed(i)) {
      const int32_t k = RowOf(i);
      if (r.value <= r.lower)
        kind = ErrorAtLowerBound;
      else if (r.value >= r.upper)
        kind = ErrorAtUpperBound;
      else if (singular || (k >= 1 && k <= NFree && noInformation_[static_cast<size_t>(k)]))
        kind = ErrorUndetermined;
    } else if (r.n >= 1 && r.n < i) {
      kind = ErrorKind[static_cast<size_t>(r.n)];
      if (r.a < 0 && (kind == ErrorAtLowerBound || kind == ErrorAtUpperBound)) kind = 3 - kind;
    }
    ErrorKind[static_cast<size_t>(i)] = kind;
  }
}

const char* TParameter::ErrorNote(int32_t i) const {
  if (i < 1 || i >= static_cast<int32_t>(ErrorKind.size())) return nullptr;
  switch (ErrorKind[static_cast<size_t>(i)]) {
    case ErrorAtLowerBound: return "at lower bound";
    case ErrorAtUpperBound: return "at upper bound";
    case ErrorUndetermined: return "undetermined";
    default: return nullptr;
  }
}

// A rejected iteration (Levenberg-Marquardt with a damped Gauss-Newton step): the step from the
// last accepted point is solved again at once from that point's normal equations with the
// damping doubled (a zero damping raised to a floor) and applied with half the step factor. After
// thinned sweeps (Skip > 1) the accepted point is measured again on all points first, as the new
// reference. A new step that changes no parameter beyond 1e-3 of its standard deviation, while
// the functional rose by at most 1e-5 of itself, means the optimum was reached to rounding:
// back to the accepted point, settled.
void TParameter::RejectIteration(double rise) {
  ShortenStep();
  reweightedCount_ = 0;  // the next step is shorter than the series would take
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  if (Skip != 1 || !haveAcceptedSystem_ || acceptedMatrix_.size() < cells) {
    Skip = 1;
    RestoreAcceptedValues();
    atAcceptedPoint_ = true;
    return;
  }
  std::copy(acceptedMatrix_.begin(), acceptedMatrix_.begin() + static_cast<std::ptrdiff_t>(cells), Matrix.begin());
  std::copy(acceptedRhs_.begin(), acceptedRhs_.begin() + NFree + 1, RightSide.begin());
  for (int32_t i = 1; i <= NPar; ++i) Records[i].value = acceptedValues_[i];
  bool usable = SolveDampedStep(acceptedMatrix_, acceptedRhs_);
  for (int32_t k = 1; k <= NFree && usable; ++k) usable = std::isfinite(stepVector_[k]) && std::isfinite(M(k, k));
  if (!usable) {
    RestoreAcceptedValues();
    atAcceptedPoint_ = true;
    return;
  }
  StoreInverseDiagonal();
  StepRecords(Step);
  PredictFall(acceptedMatrix_, acceptedRhs_);
  MeasureStep();
  // A step too small to matter that still raised the functional: back at the accepted point,
  // settled if the undamped step from there is within the tolerance, else on with this step.
  if (StepSigmas <= 1e-3 && rise <= 1e-5 * std::fabs(PrevFunctional)) {
    const double eps = NewtonDistance(acceptedMatrix_, acceptedRhs_);
    if (eps <= std::max(AccuracyLimit(), MinAccuracy)) {
      RestoreAcceptedValues();
      atAcceptedPoint_ = true;
      Settled = true;
      Eps = eps;
      return;
    }
  }
  unjudgedStep_ = true;
  atAcceptedPoint_ = false;
}

// The fall of the least-squares sum that the undamped equations (matrix, rhs) of the accepted
// point predict for the step just applied (the records' Derivative holds the old values):
// S(d) = S - 2 b'd + d'Ad over the free rows. A damped step solved from them always falls; one
// cut short by a bound may not.
void TParameter::PredictFall(const std::vector<double>& matrix, const std::vector<double>& rhs) {
  predictedFall_ = 0;
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  if (matrix.size() < cells || rhs.size() < static_cast<size_t>(NFree) + 1) return;
  const auto moved = [&](int32_t k) {
    const int32_t i = FullOrder ? k : freeIndex_[static_cast<size_t>(k)];
    const ParameterRecord& r = Records[i];
    return r.n == i && !Fixed(i) ? r.value - r.Derivative : 0.0;
  };
  double linear = 0, quadratic = 0;
  for (int32_t j = 1; j <= NFree; ++j) {
    const double dj = moved(j);
    if (dj == 0) continue;
    const double* column = matrix.data() + static_cast<size_t>(j - 1) * NFree;
    double sum = 0;
    for (int32_t k = 1; k <= NFree; ++k) sum += column[k] * moved(k);
    linear += rhs[static_cast<size_t>(j)] * dj;
    quadratic += dj * sum;
  }
  predictedFall_ = 2 * linear - quadratic;
}

// Free convergence: a sweep above the accepted point that its equations did not foresee, after
// a step that moved a parameter by more than FarStepSigmas standard deviations. Within that a
// rise is the sum's own shape (a table's ripples, a cycle round the optimum), and free
// convergence takes it. Beyond it: the sum along a Gauss-Newton step rises only where its
// curvature exceeds twice the equations' (the step overshoots the minimum along it by more than
// its own length); a rise beyond half the predicted fall (a curvature 2.5 times the equations')
// means the step left the region they describe, and so does any rise of a step they predicted no
// fall for (a bound cut it short). From a far start such a step may land in another valley.
bool TParameter::UnforeseenRise() const {
  const double rise = (Functional - PrevFunctional) * DegreesOfFreedom;
  if (Alpha != 0 || FittingKind != 2 || !haveAcceptedSystem_ || !(StepSigmas > FarStepSigmas) || !(rise > 0))
    return false;
  return !(predictedFall_ > 0) || rise > 0.5 * predictedFall_;
}

// The undamped equations of an accepted free-convergence sweep, for a step retaken from it.
void TParameter::KeepAcceptedSystem() {
  acceptedMatrix_ = sweepMatrix_;
  acceptedRhs_ = sweepRhs_;
  haveAcceptedSystem_ = true;
}

// Free convergence takes every step, a rise too, so that a fit may cross a ridge between two
// valleys. Four sweeps in a row above the best point (beyond rounding), though, mean the steps
// have lost its valley, and so does one sweep that lands above it by more than the best point's
// whole functional: the step then left the region where the equations describe the data, and
// the steps from there may reach another valley. Back to the best point, whose sweep comes
// next, with half the step factor and twice the damping (as a rejection in guaranteed
// convergence). Every second sweep not above the best brings both back towards the user's
// values. True when the fit went back.
bool TParameter::BackToBestPoint() {
  if (!AboveBest()) {
    aboveBest_ = 0;
    if (!atAcceptedPoint_ && ++belowBest_ >= 2) RelaxDamping(), belowBest_ = 0;
    return false;
  }
  belowBest_ = 0;
  if (++aboveBest_ < SweepsAboveBest && !(Functional - bestFunctional_ > std::fabs(bestFunctional_))) return false;
  GoBackToBest();
  return true;
}

bool TParameter::AboveBest() const {
  return haveBest_ && Functional - bestFunctional_ > 1e-10 * std::fabs(bestFunctional_);
}

void TParameter::GoBackToBest() {
  aboveBest_ = 0;
  ShortenStep();
  for (int32_t i = 1; i <= NPar; ++i) Records[i].value = bestValues_[i];
  SaveAcceptedValues();
  unjudgedStep_ = false;
  atAcceptedPoint_ = true;
  recentCount_ = 0;
  PrevFunctional = 1e16;
  Eps = 1e16;
  reweightedCount_ = 0;
}

// Half the step factor and twice the damping (a zero damping raised to a floor, 100 at most).
void TParameter::ShortenStep() {
  Step *= 0.5;
  Damp = std::min(std::max(2 * Damp, RejectedDampFloor), 100.0);
}

// An accepted iteration brings the step factor and the damping back towards the values the fit
// started with, by the factor 2 a rejection took them away.
void TParameter::RelaxDamping() {
  const double start = SavedControls.Damp;
  Step = std::min(2 * Step, StepInUse);
  if (Damp <= start) return;
  Damp *= 0.5;
  if (Damp < std::max(start, RejectedDampFloor)) Damp = start;
}

// The undamped normal equations of a sweep (after the active set), kept while the sweep is
// judged: the rows a step would push out of their bounds are held in them, an accepted sweep's
// are solved again with more damping when the step from it is rejected, and the final pass's
// give the step one more iteration would take.
void TParameter::KeepSweepSystem() {
  const size_t cells = static_cast<size_t>(NFree) * NFree + 1;
  if (sweepMatrix_.size() < cells) sweepMatrix_.resize(cells);
  if (sweepRhs_.size() < static_cast<size_t>(NFree) + 1) sweepRhs_.resize(static_cast<size_t>(NFree) + 1);
  std::copy(Matrix.begin(), Matrix.begin() + static_cast<std::ptrdiff_t>(cells), sweepMatrix_.begin());
  std::copy(RightSide.begin(), RightSide.begin() + NFree + 1, sweepRhs_.begin());
}

void TParameter::StopOnNonFinite() {
  Status = 0;
  nonFiniteStop_ = true;
  if (!nonFiniteShown_) {
    nonFiniteShown_ = true;
    ShowMsg("NaN or overflow in the fit.Fit stopped");
  }
}

TParameter::SweepResult TParameter::RunIteration(TModelFunc model, TProgressProc progress) {
  if (Stage != 3) Settled = false;
  ClearNormalEquations();
  if (start_ < 1 || start_ > Skip) start_ = 1;
  hessianActive_ = false;
  double S = 0, sPlus = 0, good = 0;
  const double goodLimit = 1 + std::sqrt(18.0 / NPoints);
  const bool numerical = NumDerivMode != 0 || DerivativeCheck != 0;
  // From the second iteration on, constant weights replace the model's, except in the final pass.
  const bool constantWeights = Iterations > 0 && ConstantWeights && Stage != 3;
  const double constantRoot = constantWeights ? DegreesOfFreedom / SigmaSum : 0;
  int64_t visited = 0;
  int64_t point = start_;
  const uint8_t arrayOffered = !numerical && !TraceDerivatives ? 1 : 0;
  for (; point <= NPoints; point += Skip) {
    ++visited;
    double Y = 0, W = 0, F = 0;
    const int32_t p = static_cast<int32_t>(point);
    PrimaryFinalPassCall = Stage == 3 ? 1 : 0;
    DerivativeHintCount = -1;
    DerivativeArray = nullptr;
    DerivativeArrayOffered = arrayOffered;
    model(Y, W, F, p, Stage);
    DerivativeArrayOffered = 0;
    PrimaryFinalPassCall = 0;
    if (W == 0) {
      ++ZeroWeightCount;
      continue;
    }
    if (W < 0) {
      if (!negativeWeightLogged_) {
        negativeWeightLogged_ = true;
        LogLine("Negative weight taken by modulus, point " + FormatNumberNoBlanks(0, p));
      }
      W = -W;
    }
    if (Iterations == 0) SigmaSum += 1 / std::sqrt(std::fabs(W));
    if (constantWeights) W = constantRoot * constantRoot;
    if (numerical) {
      NumericalDerivatives(model, p, F);
      DerivativeHintCount = -1;  // the derivatives are now the engine's own
      if (DerivativeCheck) CompareDerivatives();
    }
    const double r = Y - F;
    const double s = std::sqrt(W);
    const double h = std::fabs(r) * s;
    double w1, c;
    switch (FittingKind) {
      case 0:
        w1 = std::sqrt(s) / std::max(std::pow(h, 1.5), 1e-6);
        c = r * r * w1;
        break;
      case 1:
        w1 = s / std::max(std::fabs(r), 1e-6);
        c = r * r * w1;
        break;
      default:
        w1 = W * RobustFactor(h);
        c = h * h * RobustFactor(h);
        break;
    }
    S += c;
    if (c < goodLimit) good += 1;
    if (r > 0) sPlus += c;
    AccumulatePoint(w1, r * w1, r);
    if (ListFinalPoints && Stage == 3)
      LogLine(FormatInteger(p, 5) + FormatNumber(10, 2, Y) + FormatNumber(10, 2, F) + FormatNumber(10, 2, c) +
              FormatNumber(10, 2, 1 / std::sqrt(w1)));
  }
  const int32_t beyond = static_cast<int32_t>(std::min<int64_t>(point, INT32_MAX));
  if (ZeroWeightCount == NPoints) {
    ShowMsg("All errors=0.Fit stopped");
    AbandonOperation();
  }
  if (Stage != 3 && visited == ZeroWeightCount) {
    // Every visited point had weight 0 (a thinned sweep): no step, on to the next start.
    progress(beyond);
    start_ = start_ + 1 > Skip ? 1 : start_ + 1;
    return SweepResult::Empty;
  }
  // NaN or infinity in Y, W, F or a derivative shows up in the sums.
  bool finite = std::isfinite(S) && std::isfinite(sPlus);
  for (int32_t k = 1; k <= NFree && finite; ++k)
    finite = std::isfinite(Diagonal[k]) && std::isfinite(RightSide[k]);
  if (!finite) {
    progress(beyond);
    if (Stage == 3 && unjudgedStep_) {
      // The step taken by the last iteration was never measured: a rise (a stop in mode 0).
      RestoreAcceptedValues();
      if (ConvergenceMode == 1)
        Status = 0;
      else if (ConvergenceMode != 2)
        StopOnNonFinite();
      return SweepResult::Reverted;
    }
    if (Stage == 3) {
      Conv = 0;
      MatInv = 0;
      StopOnNonFinite();
    } else {
      Functional = HUGE_VAL;
      if (ConvergenceMode == 2) {
        RejectIteration(HUGE_VAL);
      } else {
        RestoreAcceptedValues();
        if (ConvergenceMode == 1)
          Status = 0;
        else
          StopOnNonFinite();
      }
    }
    return SweepResult::NonFinite;
  }

  SymmetrizeMatrix();
  ClearNullRows();
  if (Stage != 3) {
    HoldActiveBounds();
  } else {
    for (int32_t k = 1; k <= NFree; ++k) noInformation_[static_cast<size_t>(k)] = Damp != 0 && EmptyRow(M(k, k));
  }
  KeepSweepSystem();
  ChiDf = S / DegreesOfFreedom;
  ChiPlus = sPlus / std::max(S, 1e-6);
  GoodP = good / std::max(1, NPoints);
  progress(beyond);
  // An iteration needs only the step and the inverse's diagonal; the final pass inverts in full.
  if (Stage == 3) {
    DampMatrix();
    InvertNormalMatrix();
  } else {
    SolveDampedStep(sweepMatrix_, sweepRhs_);
  }
  if (Inverted == 0) {
    if (Stage != 3) Conv = 0;
    MatInv = 0;
    return SweepResult::Done;
  }
  if (Stage == 3 && FullOrder) CheckMatrixConsistency();
  if (Stage != 3) ApplyStep(0);
  // An inverse or a step that overflowed counts as a failed inversion.
  bool usable = true;
  for (int32_t k = 1; k <= NFree && usable; ++k)
    usable = std::isfinite(M(k, k)) && std::isfinite(stepVector_[k]);
  if (!usable) {
    Inverted = 0;
    Conv = 0;
    MatInv = 0;
    return SweepResult::Done;
  }
  double dMax = 0, cMax = 0;
  for (int32_t k = 1; k <= NFree; ++k) {
    dMax = std::max(dMax, Diagonal[k]);
    cMax = std::max(cMax, M(k, k));
  }
  Conditioning = dMax * cMax;
  if (Stage == 3) StoreCorrelationFactors();
  StoreInverseDiagonal();
  ComputeParameterErrors();
  if (Stage == 3) return SweepResult::Done;

  Functional = ChiDf + Alpha * ChiReg;
  if (Functional > PrevFunctional && ConvergenceMode == 1) {
    // Back to the last accepted values, which the final pass then evaluates.
    Status = 0;
    RestoreAcceptedValues();
    return SweepResult::Done;
  }
  // Right after a rejection the values are those of the accepted point: its functional on the
  // points and weights now in use (Skip may have become 1) is the new reference, not a rise.
  if (Functional > PrevFunctional && ConvergenceMode == 2 && !atAcceptedPoint_) {
    RejectIteration(Functional - PrevFunctional);
    return SweepResult::Done;
  }
  const bool comparable = Skip == 1 && !constantWeights;
  if (ConvergenceMode == 0 && comparable && !atAcceptedPoint_) {
    if (UnforeseenRise()) {
      RejectIteration(Functional - PrevFunctional);
      ++retakenSteps_;
      return SweepResult::Done;
    }
    // The step retaken after a rejection fell: one halving undone, as in guaranteed convergence.
    if (retakenSteps_ > 0) RelaxDamping(), --retakenSteps_;
  }
  if (ConvergenceMode == 2) {
    if (!atAcceptedPoint_) RelaxDamping();
    std::swap(sweepMatrix_, acceptedMatrix_);
    std::swap(sweepRhs_, acceptedRhs_);
    haveAcceptedSystem_ = true;
  }
  if (ConvergenceMode == 0 && comparable && BackToBestPoint()) return SweepResult::Done;
  if (ConvergenceMode == 0) KeepAcceptedSystem();
  atAcceptedPoint_ = false;
  const std::vector<double>& gradient = ConvergenceMode == 2 ? acceptedRhs_ : sweepRhs_;
  PrevFunctional = Functional;
  SaveAcceptedValues();
  KeepBestPoint(comparable);
  // Eps of the accepted point, from its undamped equations (the step is in the records already).
  Eps = ReweightedDistance(NewtonDistance(ConvergenceMode == 2 ? acceptedMatrix_ : sweepMatrix_, gradient));
  // A step within the tolerance is tried out to the tolerance's edge: where the sum falls there
  // by more than half what its slope predicts, the optimum lies further than the step says.
  if (Eps <= AccuracyLimit() && comparable) Eps = DistanceAlongNewtonStep(model, gradient, Eps);
  Settled = Eps <= AccuracyLimit();
  // Settled above the best point met is the bottom of another valley, higher than the one the
  // best point lies in (its bottom is lower still): back there.
  if (Settled && ConvergenceMode == 0 && comparable && AboveBest()) {
    Settled = false;
    GoBackToBest();
    return SweepResult::Done;
  }
  // Nor is a point settled where the sum falls along a direction J'J cannot see: on from the lower
  // point found, one standard deviation away.
  if (Settled && comparable && LowerPointAlongSoftDirections(model, ConvergenceMode == 2 ? acceptedMatrix_ : sweepMatrix_))
    Settled = false, Eps = std::max(Eps, 10.0);
  StepRecords(Step);
  for (int32_t i = 1; i <= NPar; ++i) {
    if (!std::isfinite(Records[i].value)) {
      RestoreAcceptedValues();
      StopOnNonFinite();
      return SweepResult::Done;
    }
  }
  unjudgedStep_ = true;
  PredictFall(ConvergenceMode == 2 ? acceptedMatrix_ : sweepMatrix_, gradient);
  MeasureStep();
  NoteFunctional(comparable);
  start_ = start_ + 1 > Skip ? 1 : start_ + 1;
  return SweepResult::Done;
}

void TParameter::NumericalDerivatives(TModelFunc model, int32_t point, double F) {
  const bool first = NumDerivMode == 1 || DerivativeCheck != 0;
  const bool hessian = Stage == 3 && FullOrder && NPar <= 10 && NumDerivMode != 0;
  if (!first && !hessian) return;
  for (int32_t i = 1; i <= NPar; ++i) savedDerivative_[i] = Records[i].Derivative;
  double ys = 0, ws = 0, f2 = 0;
  if (first) {
    for (int32_t i = 1; i <= NPar; ++i) {
      if (Fixed(i)) {
        NumDeriv[i] = 0;
        continue;
      }
      double v = Records[i].value;
      // The shift and the divisor are the same step, at least 1e-6 in size.
      double h = v / 1024;
      if (std::fabs(h) < 1e-6) h = h < 0 ? -1e-6 : 1e-6;
      Records[i].value = v + h;
      model(ys, ws, f2, point, Stage);
      NumDeriv[i] = (f2 - F) / h;
      Records[i].value = v;
    }
  }
  if (hessian) {
    constexpr double e = 0.0078125;
    for (int32_t i = 1; i <= NPar; ++i) {
      for (int32_t j = i; j <= NPar; ++j) {
        if (Fixed(j)) {
          hessian_[j][i] = 0;
          continue;
        }
        double vi = Records[i].value;
        if (i != j) {
          double vj = Records[j].value;
          double f11 = 0, f01 = 0, f10 = 0;
          Records[i].value = vi + e;
          Records[j].value = vj + e;
          model(ys, ws, f11, point, Stage);
          Records[i].value = vi;
          model(ys, ws, f01, point, Stage);
          Records[i].value = vi + e;
          Records[j].value = vj;
          model(ys, ws, f10, point, Stage);
          Records[i].value = vi;
          hessian_[j][i] = (f11 + F - f01 - f10) * 128 * 128;
        } else {
          double fp = 0, fm = 0;
          Records[i].value = vi + e;
          model(ys, ws, fp, point, Stage);
          Records[i].value = vi - e;
          model(ys, ws, fm, point, Stage);
          Records[i].value = vi;
          hessian_[i][i] = (fp - 2 * F + fm) * 128 * 128;
        }
      }
    }
    hessianActive_ = true;
  }
  const double* derivative = NumDerivMode == 1 ? NumDeriv.data() : savedDerivative_.data();
  for (int32_t i = 1; i <= NPar; ++i) Records[i].Derivative = derivative[i];
}

void TParameter::CompareDerivatives() {
  double largest = -1;
  int32_t index = 0;
  for (int32_t i = 1; i <= NPar; ++i) {
    if (Fixed(i)) continue;
    double d = std::fabs(Records[i].Derivative - NumDeriv[i]);
    if (d >= largest) {
      largest = d;
      index = i;
    }
  }
  if (index != 0 && largest >= MaxDerivativeDifference) {
    MaxDerivativeDifference = largest;
    MaxDerivativeIndex = index;
  }
  if (TraceDerivatives)
    LogLine(".... Max der. diff. = " + FormatNumber(10, 3, MaxDerivativeDifference) +
            FormatInteger(MaxDerivativeIndex, 5));
}

void CreateFitParameters() {
  FitParameters = std::make_unique<TParameter>(MaxParameters, SessionFitPoints, MaxFreeParameters);
  TParameter& fit = *FitParameters;
  fit.NPoints = 0;
  fit.SetFitDefaults();
  fit.EpsReq = 0.1;
  fit.Step = 0.99;
  fit.Damp = 0.01;
  fit.NPar = MaxParameters;
  fit.ResetParameterRecords();
  fit.NPar = 0;
  DefaultFitControls = fit.Controls();
}

void FreeFitParameters() { FitParameters.reset(); }
