// The least-squares engine: damped Gauss-Newton iterations over an array of parameter records, each
// free, fixed (equal bounds) or tied linearly to an earlier record, then a final pass that gives
// the fit statistics and the standard deviations of the parameters.
//
// A fit calls the model function once per used point. The model returns the observed value Y, its
// weight W (1/sigma^2; 0 drops the point) and the model value F at the current record values, and
// assigns the Derivative of every record that is not fixed (0 where F does not depend on it).
// The normal matrix is accumulated only over the derivatives that are non-zero at a point.
//
// Bounds: a free parameter that sits on a bound while the gradient of the functional pushes it
// outward is held there (its row left out of the step) until the gradient turns back, so the
// other parameters stop compensating for a move that cannot happen. A fit that ends above the
// best functional it reached goes back to that point; it is marked as diverged unless the tests
// that end the iterations hold there. The errors are those of the point the fit ends at.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>
#include "core/envelope_solve.h"
#include "core/normal_block.h"

// One fit parameter. Arrays of records are 1-based; record 0 is unused.
struct ParameterRecord {
  int32_t n = 0;          // own index: independent; 1 <= n < own index: value = a * value[n] + b
  double lower = 0;       // lower bound
  double value = 0;       // current value
  double upper = 0;       // upper bound; lower = upper fixes the parameter
  double a = 0;           // multiplier of a dependent record (1 for an independent one)
  double b = 0;           // offset of a dependent record (0 for an independent one)
  double Error = 0;       // standard deviation after the fit (absolute, not scaled by chi2/df)
  double Derivative = 0;  // dF/dp at the current point; the solved step; after a step the old value
  std::string Name;       // at most 11 characters, for the editors and result texts
};

// The fit controls, copied as one unit to and from DefaultFitControls. The initial values are
// the engine defaults (SetFitDefaults).
struct TFitControls {
  int32_t Skip = 1;              // an iteration uses points start, start+Skip, ...
  int32_t GNIter = 5;            // maximum number of iterations
  int32_t PrintInterval = 0;     // PrintIteration every PrintInterval-th iteration; 0 never
  int32_t FoldRhsOnly = 0;       // full order: nonzero folds only the right-hand side
  int32_t FittingKind = 2;       // 0 generalized, 1 modulus (robust), 2 least squares
  int32_t CompressedMatrix = 0;  // 0: matrix of order NPar; nonzero: order NFree
  int32_t ConvergenceMode = 0;   // 0 free, 1 break if inconvergence, 2 guaranteed
  int32_t NumDerivMode = 0;      // 0 model derivatives; 1 forward differences; other: + Hessian
  uint8_t ConstantWeights = 0;
  uint8_t ShowIterationMessage = 0;
  uint8_t TraceInverse = 0;
  uint8_t TraceDerivatives = 0;
  uint8_t DerivativeCheck = 0;
  uint8_t ListFinalPoints = 0;
  uint8_t TraceDiagonal = 0;
  uint8_t TraceFofCorr = 0;
  double EpsReq = 0.5;           // accuracy that ends the iterations; negative: no early end
  double FunctionalLimit = 1.0;  // with EpsReq; negative: 1 + ChiDev for the fit
  double Step = 0.999;           // step length factor
  double Damp = 1e-5;            // damping of the matrix diagonal
  double Alpha = 0;              // weight of the regulariser in the functional
  double Delta = 1e6;            // threshold of the down-weighting of large residuals
  double Beta = 1e6;             // constant of that down-weighting
};

// A non-owning reference to a callable: a plain function, or a lambda or object that outlives
// the call it is passed to. Costs one indirect call.
template <class Signature>
class CallbackRef;

template <class R, class... Args>
class CallbackRef<R(Args...)> {
public:
  using Plain = R (*)(Args...);
  CallbackRef(Plain f) : plain_(f), thunk_(&CallPlain) {}
  template <class F, std::enable_if_t<!std::is_same_v<std::decay_t<F>, CallbackRef> &&
                                          !std::is_function_v<std::remove_reference_t<F>> &&
                                          !std::is_pointer_v<std::decay_t<F>> &&
                                          std::is_invocable_r_v<R, F&, Args...>,
                                      int> = 0>
  CallbackRef(F&& f)
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        thunk_(&CallObject<std::remove_reference_t<F>>) {}
  R operator()(Args... args) const { return thunk_(*this, std::forward<Args>(args)...); }

private:
  static R CallPlain(const CallbackRef& self, Args... args) {
    return self.plain_(std::forward<Args>(args)...);
  }
  template <class F>
  static R CallObject(const CallbackRef& self, Args... args) {
    return (*static_cast<F*>(self.object_))(std::forward<Args>(args)...);
  }
  Plain plain_ = nullptr;
  void* object_ = nullptr;
  R (*thunk_)(const CallbackRef&, Args...);
};

// Model function (Y, W, F, Point, Stage). Stage 1 while iterating, 3 in the final pass, 4 for a
// single value asked by a drawing or a profile file.
using TModelFunc = CallbackRef<void(double& Y, double& W, double& F, int32_t Point, int32_t Stage)>;
// Progress procedure, called once per iteration with the first point index beyond NPoints.
using TProgressProc = CallbackRef<void(int32_t n)>;
void NoProgress(int32_t n);

class TParameter : public TFitControls {
public:
  // Room for NPar records, NPoints points and a normal matrix of order NMat (the matrix grows
  // when a fit needs a larger order).
  TParameter(int32_t NPar, int32_t NPoints, int32_t NMat);
  virtual ~TParameter() = default;
  TParameter(const TParameter&) = delete;
  TParameter& operator=(const TParameter&) = delete;

  TFitControls& Controls() { return *this; }
  const TFitControls& Controls() const { return *this; }

  void SetFitDefaults();
  // Every record i free and neutral: n = i, bounds -1e15 and 1e15, value 0, a = 1, b = 0.
  void ResetParameterRecords();
  // Runs the fit. The control block is restored on every way out, also when the operation is
  // abandoned ("All errors=0.Fit stopped"), which leaves Status 0.
  void Fit(TModelFunc ModelFunc, TProgressProc ProgressProc);
  // True from the start of Fit to its end, also while its progress procedure lets events run.
  bool FitInProgress() const { return running_; }
  // "Iter.= ..." and the record values to LogFile; nothing when PrintInterval is 0.
  void PrintIteration(int32_t stage);
  int32_t RecordCapacity() const { return static_cast<int32_t>(Records.size()) - 1; }

  // Per-point model and regulariser of a descendant that runs its own iteration loop; Fit never
  // calls them.
  virtual void ModelHook(double& Y, double& W, int32_t Stage, int32_t Point, double& F) {}
  virtual void RegularizerHook(int32_t iteration) {}

  // The steps of Fit, for a descendant that runs its own loop.
  void PrepareFit();      // saves the controls, resets the results, compresses the records
  bool CheckFitInput();   // messages and Status 0 for a wrong array; false then
  void ClearNormalEquations();
  // One point with weight w, weighted residual rw = r * w and residual r; the derivatives are
  // read from the records.
  void AccumulatePoint(double w, double rw, double r);
  // Each dependent record takes a * (master's lower, value, upper) + b, crossed bounds are
  // swapped, a dependent record with equal bounds becomes independent (ContradictionWarning);
  // NFree and, without FullOrder, CompressionNote follow.
  void Compress();
  void SymmetrizeMatrix();  // mirrors, folds (full order), sets DegreesOfFreedom, ChiDev, Rms
  // The active set, after SymmetrizeMatrix: a free record on a bound whose gradient pushes it
  // outward gets an identity row and no right-hand side (Rms then leaves it out).
  void HoldActiveBounds();
  void DampMatrix();
  void InvertNormalMatrix();  // sets Inverted
  void CheckMatrixConsistency();  // sets Conv
  // Mode 0 solves for the step; mode 1 applies it within the bounds and re-derives dependents.
  void ApplyStep(int32_t mode);
  void StoreInverseDiagonal();
  // CorrFactor from the inverse and the undamped diagonal; before StoreInverseDiagonal.
  void StoreCorrelationFactors();
  void ComputeEps(double rms);
  void ComputeParameterErrors();
  void RestoreFitControls() { Controls() = SavedControls; }
  // Element (i, j) of the order-NFree matrix; outside 1..NFree: 0, and Set does nothing.
  void GetMatrixElement(int32_t i, int32_t j, double& x) const;
  void SetMatrixElement(int32_t i, int32_t j, double x);
  void PrintNormalMatrix(const std::string& title);

  // Status texts, emptied at the start of every fit.
  std::string CompressionNote;
  std::string ContradictionWarning;
  std::string NoFreeParametersError;
  std::string WrongArrayError;

  // Results and working state.
  int32_t Status = 0;  // 1 while the fit may go on; 0 after a failure
  int32_t Conv = 0;
  int32_t MatInv = 0;
  int32_t ParOnB = 0;  // a free parameter ended on a bound
  int32_t Iterations = 0;
  int32_t DegreesOfFreedom = 1;
  int32_t FoldedCount = 0;
  int32_t ZeroWeightCount = 0;
  double ChiDf = 0;
  double ChiPlus = 0;
  double Eps = 0;
  double GoodP = 0;
  double ChiReg = 0;
  double ChiDev = 0;
  double Conditioning = 0;
  std::vector<ParameterRecord> Records;  // 0..capacity
  int32_t NPar = 0;
  int32_t NFree = 0;  // order of the normal matrix
  int32_t NPoints = 0;
  int32_t StartMode = 0;
  // Set by EvaluateFitQuality: not converged, not inverted, chi too large, accuracy missed,
  // chi+ off-centre.
  uint8_t QualityFlags[5] = {};
  // The fit ended with a functional above the best one it reached, and that point fails the
  // tests that end the iterations: the records are back at that point (with its errors) and
  // Conv is 0.
  int32_t Diverged = 0;
  // The last Fit ended singular: no Error is a standard deviation.
  bool UndeterminedErrors = false;
  // How the Error of each record is to be read after the fit (0..capacity).
  enum : uint8_t { ErrorIsNumber = 0, ErrorAtLowerBound = 1, ErrorAtUpperBound = 2, ErrorUndetermined = 3 };
  std::vector<uint8_t> ErrorKind;
  // nullptr when Error of record i is a standard deviation; otherwise what to show instead.
  const char* ErrorNote(int32_t i) const;
  // The Error of record i is no standard deviation: a singular fit, or a row without information.
  bool ErrorUndeterminedAt(int32_t i) const {
    return UndeterminedErrors ||
           (i >= 1 && i < static_cast<int32_t>(ErrorKind.size()) && ErrorKind[static_cast<size_t>(i)] == ErrorUndetermined);
  }
  // Error of record i, or -1 where it is undetermined (written as "?").
  double KnownError(int32_t i) const {
    return i >= 1 && i < static_cast<int32_t>(Records.size()) && !ErrorUndeterminedAt(i) ? Records[static_cast<size_t>(i)].Error : -1.0;
  }
  // The largest move of a free parameter in the last step, in its standard deviations.
  double StepSigmas = 0;
  // Eps is the largest distance of a free parameter from the optimum, measured at the point of the
  // last accepted sweep (after the fit, at the point it ends at) as the undamped Gauss-Newton
  // step, in tenths of that parameter's standard deviation (an iteration's step within the
  // tolerance lengthened to the minimum along it of the parabola through the sum there and at
  // the tolerance's edge): an Eps of 0.5 leaves every parameter within 0.05 standard deviations
  // of the optimum. The tolerance is EpsReq, or DefaultAccuracy
  // when EpsReq is 0 or less. A step rejected for a rise at the rounding level settles the fit
  // within MinAccuracy, where the rounding of the sums over the points leaves the Newton step.
  static constexpr double DefaultAccuracy = 0.1, MinAccuracy = 1e-3;
  double AccuracyLimit() const { return EpsReq > 0 ? EpsReq : DefaultAccuracy; }
  // Eps within the tolerance: the fit has settled at the optimum (also when its functional had
  // stopped falling: it is not settled while a parameter is further off).
  bool Settled = false;
  // Records held on a bound in the last iteration (the active set).
  int32_t HeldCount = 0;
  uint8_t StopRequest = 0;
  // 1 only during the model call of a point of the final pass that the sums of the fit use: not
  // during the extra calls of numerical derivatives, of the derivative check and of the second
  // derivatives, nor during any call from outside Fit. Models that collect final-pass sums
  // (R-factors) add to them only then.
  uint8_t PrimaryFinalPassCall = 0;
  // A model may name the records whose derivatives can be non-zero at the current point:
  // DerivativeHint[0 .. DerivativeHintCount - 1], ascending (the derivatives of all other records
  // are 0). The accumulation then reads only those. Fit sets the count to -1 (no hint) before
  // every model call; the engine sizes DerivativeHint to the record capacity.
  int32_t DerivativeHintCount = -1;
  std::vector<int32_t> DerivativeHint;
  // The number of the current sweep over the points (ClearNormalEquations starts each), unique
  // among all engines of the process. Within one sweep of Fit
  // with the model's own derivatives (NumDerivMode and DerivativeCheck 0) the record values do not
  // change between model calls: a model may keep what it derives from them for the sweep.
  uint64_t SweepSerial = 0;
  // 1 while the model gives the sum at a trial point (the undamped step tried), outside any sweep.
  uint8_t TryingStep = 0;
  // In an analytic sweep (no numerical derivatives, no trace) Fit offers to read the derivatives
  // from an array of the model's instead of the records: DerivativeArrayOffered is 1 during such
  // a model call, and a model that takes it points DerivativeArray at its array, element i for
  // record i (0..NPar, each element it did not set 0), leaving the records' Derivative alone.
  // The engine folds ties there (adds to the masters' elements). Both reset before every call.
  uint8_t DerivativeArrayOffered = 0;
  double* DerivativeArray = nullptr;
  std::vector<double> RightSide;  // 0..capacity
  double SigmaSum = 0;
  double FofCorr = 0;
  // Per record, from the final pass: the inverse's diagonal times the undamped diagonal of the
  // normal matrix, C_ii N_ii (1 for a parameter uncorrelated with the others, the variance
  // inflation 1 / (1 - R^2) otherwise); 0 for fixed and dependent records. 0..capacity.
  std::vector<double> CorrFactor;
  double StepInUse = 0;
  int32_t Stage = 1;
  int32_t Inverted = 0;
  uint8_t FullOrder = 1;
  uint8_t NoDependents = 1;
  double Functional = 0;
  double PrevFunctional = 0;
  double Rms = 0;  // root mean square of the right-hand side, set by SymmetrizeMatrix
  TFitControls SavedControls;
  std::vector<double> Diagonal;  // accumulated diagonal; after a solve the inverse's diagonal
  std::vector<double> NumDeriv;  // numerical derivatives of the current point
  // The largest |analytic - numerical derivative| of the current iteration and its record.
  double MaxDerivativeDifference = 0;
  int32_t MaxDerivativeIndex = 0;

protected:
  // Forward differences (and in the final pass of a small full-order fit the Hessian) at a point
  // whose model value is F. The model's own derivatives survive the extra calls.
  void NumericalDerivatives(TModelFunc model, int32_t point, double F);
  void CompareDerivatives();
  // Eps of a fitter that ends on its own steps: the largest solved step of a free parameter in
  // tenths of its standard deviation, from the step just applied with the factor stepFactor.
  void EpsFromAppliedStep(double stepFactor);

private:
  enum class SweepResult { Done, Empty, NonFinite, Reverted };
  // The matrix row of free independent record i (0 when it has none).
  int32_t RowOf(int32_t i) const { return FullOrder ? i : rowOf_[static_cast<size_t>(i)]; }
  void MeasureStep();
  void MarkErrorKinds(bool singular);
  void KeepBestPoint(bool comparable);
  void ReturnToBestPoint(TModelFunc model, TProgressProc progress);
  double DistanceAtFinalPoint();
  bool SolveDampedStep(std::vector<double>& matrix, std::vector<double>& rhs);
  void NoteFunctional(bool comparable);
  // Eps from the undamped normal equations (matrix, rhs, after the active set): the largest
  // |Newton step| over the free rows in tenths of a standard deviation; a row whose bound stops
  // the move counts 0. Clobbers the working matrix and step.
  double NewtonDistance(const std::vector<double>& matrix, const std::vector<double>& rhs);
  double DistanceAlongNewtonStep(TModelFunc model, const std::vector<double>& rhs, double eps);
  // Kinds 0 and 1 minimise a sum of powers of |r| below 2 by least squares reweighted at each
  // point's residual: the step of one iteration is no Newton step to their optimum but one term
  // of a series that shrinks by a ratio q per iteration, often near 1, once the weights have
  // found their pattern (before, a step may be short between long ones). The distance eps of this
  // step (tenths of a standard deviation) becomes eps / (1 - q), the rest of the series, with q
  // the largest ratio of a step to the one before over the last three; 1e16 while those steps do
  // not all shrink or are not yet there, unless the step is at the rounding level (1e-7 of a
  // standard deviation, where the ratio of two steps is noise). Least squares: eps.
  double ReweightedDistance(double eps);
  double reweightedSteps_[4] = {};  // the last distances ReweightedDistance was given, oldest first
  int32_t reweightedCount_ = 0;
  static constexpr double RoundingDistance = 1e-6;
  double SumAlongStep(TModelFunc model, double t);
  // At a point about to be called settled: the sum one standard deviation either way along the
  // softest directions of the scaled normal matrix. True when one of those points lies lower by a
  // significant amount: the records' step then leads there, and the fit is not settled.
  bool LowerPointAlongSoftDirections(TModelFunc model, const std::vector<double>& matrix);
  bool FactorScaledMatrix(const std::vector<double>& matrix);
  double SoftDirection(int32_t j);
  static uint64_t NextSweepSerial();
  double RobustFactor(double h) const {
    if (h < Delta) return 1;
    const double q = h / Delta;
    return (1 + Beta) / (q * q + Beta);
  }
  int32_t RowPushedOut(int32_t i, const double* direction) const;
  void RunFit(TModelFunc model, TProgressProc progress);
  SweepResult RunIteration(TModelFunc model, TProgressProc progress);
  void EnsureCapacity();
  void SaveAcceptedValues();
  void RestoreAcceptedValues();
  bool Fixed(int32_t i) const { return Records[i].lower == Records[i].upper; }
  // A normal-matrix diagonal that carries no information: no point's derivative reached the row
  // (a sum of squares is 0 only then, whatever the units).
  static bool EmptyRow(double diagonal) { return !(std::fabs(diagonal) >= std::numeric_limits<double>::min()); }
  // After SymmetrizeMatrix: a free row whose diagonal is at most NullRowShare of the largest free
  // diagonal is made empty (row, column, right-hand side and accumulated diagonal 0), as if no
  // point had reached it. Such a row holds rounding, not information: a derivative that symmetry
  // makes vanish (a coordinate on an inversion centre) comes out of the model as the residue of
  // sums whose terms cancel, a few units of the last place of those terms, so its sum of squares
  // is of the order m * 2^-104 of the diagonal of a derivative of their size (m terms). The
  // threshold, 1e-28, is a derivative 1e-14 of the largest in root mean square (about 45 units of
  // the last place); the units of the counts do not enter, as all rows scale alike.
  void ClearNullRows();
  static constexpr double NullRowShare = 1e-28;
  // A sweep pivot a of row p keeps its share of the row's diagonal before the sweep.
  bool PivotUsable(double a, int32_t p) const {
    return a > 0 && a >= MinSweepPivotShare * pivotScale_[static_cast<size_t>(p)];
  }
  static constexpr double MinSweepPivotShare = 1e-14;
  // A step whose point rose by rise over the accepted one: a shorter, more damped step now.
  void RejectIteration(double rise);
  void RelaxDamping();
  void ShortenStep();
  bool BackToBestPoint();
  bool AboveBest() const;  // the functional above the best point's beyond rounding
  void PredictFall(const std::vector<double>& matrix, const std::vector<double>& rhs);
  bool UnforeseenRise() const;
  void KeepAcceptedSystem();
  void GoBackToBest();     // the best point's values, half the step, twice the damping
  void KeepSweepSystem();
  void StepRecords(double factor);
  void StopOnNonFinite();
  int32_t LargestFreeDiagonal(double& best) const;
  // An iteration's step and the inverse's diagonal (in M(k, k)) from a sparse matrix, without
  // the full inverse; false when the matrix is not for it (then the full inversion).
  bool SolveSparseStep();
  void SweepPivot(int32_t p);
  bool SweepPivotPair(int32_t p1);
  double& M(int32_t i, int32_t j) { return Matrix[i + static_cast<size_t>(j - 1) * NFree]; }
  double M(int32_t i, int32_t j) const { return Matrix[i + static_cast<size_t>(j - 1) * NFree]; }

  std::vector<double> Matrix;  // element (i, j) at i + (j - 1) * NFree
  int32_t matrixOrder_ = 0;    // the order the matrix storage holds
  std::vector<int32_t> freeIndex_;   // compressed order: the record of matrix row k
  std::vector<int32_t> dependents_;  // dependent records in index order
  std::vector<int32_t> rowOf_;       // compressed order: the matrix row of a record (0: none)
  // Full order with the fixed rows made identity rows: their off-diagonal sums are never read,
  // so only their diagonal (FofCorr, Conditioning) and right-hand side (Rms) are accumulated.
  bool skipFixedRows_ = false;
  std::vector<uint8_t> fixedRow_;
  std::vector<double> stepVector_;   // the solved step by matrix row
  std::vector<int32_t> nzIndex_;     // the non-zero derivatives of a point: matrix rows
  std::vector<double> nzValue_;      // and values
  int32_t lastNz_ = 0;               // how many the last point had
  TNormalBlock block_;               // the off-diagonal sums of points with many of them
  std::vector<uint8_t> pivotUsed_;
  std::vector<double> pivotRow_;
  std::vector<double> pivotRow2_;  // the second pivot row of a double sweep step
  std::vector<double> pivotScale_;  // |diagonal| of each row before the sweep
  TEnvelopeSolver envelope_;
  bool stepSolved_ = false;  // stepVector_ holds the step of SolveSparseStep
  std::vector<double> savedDerivative_;
  std::vector<double> acceptedValues_;  // the values of the last accepted iteration
  std::vector<double> bestValues_;      // the accepted point of the lowest functional
  double bestFunctional_ = 0;           // its functional; valid with haveBest_
  bool haveBest_ = false;
  // Mode 2: the normal equations of the sweep being judged and of the last accepted one.
  std::vector<double> sweepMatrix_, sweepRhs_, acceptedMatrix_, acceptedRhs_;
  bool haveAcceptedSystem_ = false;
  double predictedFall_ = 0;  // of the last step applied, in units of the sum (PredictFall)
  int32_t retakenSteps_ = 0;  // free convergence: steps retaken after a rise not yet undone
  std::vector<double> newtonMatrix_, newtonRhs_;  // the equations NewtonDistance holds rows in
  // The probe of the soft directions: the matrix rows that may move, their scales 1 / sqrt(N_kk),
  // the Cholesky factor of the scaled matrix (row-major), the directions found and a work vector.
  std::vector<int32_t> probeRows_;
  std::vector<double> probeScale_, probeFactor_, probeDirections_, probeWork_;
  std::vector<double> finalInverse_, finalRhs_;  // the final pass's, kept while the best point is judged
  int32_t aboveBest_ = 0, belowBest_ = 0;  // free convergence: accepted sweeps in a row above, not above the best
  double recentFunctionals_[4] = {};             // the last accepted full sweeps' functionals
  int32_t recentCount_ = 0;
  bool stoppedFalling_ = false;
  std::vector<uint8_t> noInformation_;  // final pass: the row's undamped diagonal was replaced
  double hessian_[11][11] = {};         // H(j, i) at [j][i], full order with NPar <= 10
  bool hessianActive_ = false;
  int32_t start_ = 1;
  bool running_ = false;
  bool nonFiniteStop_ = false;
  bool nonFiniteShown_ = false;
  bool negativeWeightLogged_ = false;
  bool atAcceptedPoint_ = false;  // the values were just put back to the accepted point
  bool unjudgedStep_ = false;     // the values come from a step that no sweep has measured yet
};

// The damping a rejected step raises a zero (or smaller) damping to.
constexpr double RejectedDampFloor = 1e-3;
// Free convergence: accepted sweeps in a row above the best point after which the fit goes back.
constexpr int32_t SweepsAboveBest = 4;
// Free convergence: a step longer than this many standard deviations may not rise unforeseen.
constexpr double FarStepSigmas = 20;
// The soft directions a settled fit is probed along: a sum lower than the point's by more than
// ProbeFall (in units of the rise J'J predicts there, one standard deviation out) goes on. Two:
// each costs two sweeps of model values (a fifth of a short peak fit), and of the falls found on
// 1020 peak fits the third softest direction showed none the first two missed.
constexpr int32_t ProbeDirections = 2;
constexpr double ProbeFall = 0.01;

// Records of the session's engine.
constexpr int32_t MaxParameters = 2000;

// The session's engine and the control block that the fit-controls editor and the command
// language edit; created by CreateFitParameters at session start.
extern std::unique_ptr<TParameter> FitParameters;
extern TFitControls DefaultFitControls;
// An engine that runs its own loop outside Fit (the indexing search) while it runs: the STOP
// button and the end of the application reach it instead of FitParameters. nullptr otherwise.
extern TParameter* ActiveFitEngine;
// 2000 records, 16384 points, matrix order 614; accuracy limit 0.1, step 0.99, damping 0.01;
// all records reset; DefaultFitControls := the engine's control block.
void CreateFitParameters();
void FreeFitParameters();
