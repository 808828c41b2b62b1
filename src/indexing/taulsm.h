// The least-squares object of the powder indexing: a fit engine whose model is the d-spacing of
// each measured line's assigned reflection and whose one new operation, SearchTrials, runs a
// multi-start damped Gauss-Newton search over trial cells and keeps the best trial.
//
// Record layout (27 at most): per phase p six records 6(p-1)+1..6(p-1)+6 with a, b, c (angstrom)
// and the cosines of alpha, beta, gamma; with CynematicFit three instrument records follow
// (flight path or wavelength, Bragg angle, delay or zero shift). The model does not depend on the
// instrument records: the search keeps them at their values and reports error 0.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"

constexpr int32_t IndexingRecordCapacity = 27;  // four phases of six and three instrument records
constexpr int32_t MaxIndexingPhases = 4;

class TAULSM : public TParameter {
public:
  // The base with room for nPar records, nPoints lines and a matrix of order nMat; NTries 1000,
  // the three best fields 1e19.
  TAULSM(int32_t nPar, int32_t nPoints, int32_t nMat);

  void ModelHook(double& Y, double& W, int32_t Stage, int32_t Point, double& F) override {
    IndexingModel(Y, W, Stage, Point, F);
  }
  void RegularizerHook(int32_t iteration) override { AddVolumeRegularization(iteration); }

  // Line i: Y = d_exp, W = 1 / sigma^2 (AverageDError while searching, the line's own error in
  // a final pass, stage 3), F = d of its reflection, the derivatives by the six cell records of
  // its phase. Line 1 first reassigns every line (except in unit-cell determination).
  void IndexingModel(double& Y, double& W, int32_t stage, int32_t i, double& F);
  // The volume minimiser: per phase w = Alpha VolumeMinimizers VolumeWeights on the diagonal of
  // each edge's row (kind 0: w x; kind 1: 0.5 w abc / x) and into ChiReg (kind 0: w (a^2 + b^2 +
  // c^2); kind 1: abc). A tied edge adds to its master's row, a fixed edge nowhere.
  void AddVolumeRegularization(int32_t point);
  // cell = a, b, c and the cosines of alpha, beta, gamma, rewritten as the same lattice in the
  // setting nearest the bounds of records 1..6 (an axis reversed; a triclinic cell's axes also
  // reordered, and when none of these lies within, any basis of rows -1..1); system 1 triclinic,
  // 2 monoclinic (unique axis and centring kept).
  void PlaceCellInBounds(double (&cell)[6], int32_t system) const;
  // The row of record r in the matrix in use (0 when r has none: fixed, or tied to a fixed one).
  int32_t MatrixRow(int32_t r) const;

  // The multi-start search; leaves the best values in the records and their errors.
  void SearchTrials();
  // Bin widths and radices of the grid trials; NTries := the product of the bin counts. ok is
  // false after "Overflow, too many random steps".
  void PrepareGridTrials(bool& ok);
  // Start values of trial t (2..NTries) from the mixed-radix digits of t - 1.
  void DecodeGridTrial(int32_t t);
  void SetGridTrial(int32_t k, int32_t bin);
  // One pass at the current values with the search's weights: the lines reassigned and the
  // errors, no step (every error 0 before a search or without a usable matrix).
  void EvaluateErrors();

  // The figure of merit of the best trial and its cell volume summed over phases (0: no best).
  double BestMerit = 0;
  double BestVolume = 0;
  // The highest merit any trial within the volume restriction reached since the preparation.
  double TopMerit = -std::numeric_limits<double>::infinity();
  // The best trial's merit lies clearly (more than the merits' tolerance) below TopMerit: the
  // search met a cell it rates higher than the one it returns.
  bool BestBelowTopMerit() const;
  // The trials the last search ran: max(1, TriesPerBin) x NTries when it ran them all, else the
  // trials up to its stop or early end.
  int32_t TrialsRun = 0;
  double BestFunctional = 1e19;
  double CurrentDeviation = 0;  // mean |d_exp - d_calc| of the current iteration
  double BestDeviation = 1e19;
  double CurrentMaxResidual = 0;
  double BestMaxResidual = 1e19;
  int32_t NTries = 1000;
  int32_t TriesPerBin = 0;  // 0 random trials; n > 0 grid trials, n starts per bin

  // Lines 1..WindowLines take part in the current iteration (0: all); see WindowAt.
  int32_t WindowLines = 0;
  // The first three lines stay indexed while a window is fitted (see MarkUnindexed).
  bool KeepFirstLines = false;
  // One of the first lines left out of the window (an impurity may stand there), 0: none.
  int32_t SkippedLine = 0;
  // Work fields of the search.
  int32_t IterationLimit = 0;
  uint8_t LastTrial = 0;
  double SelectionValue = 0;

private:
  friend struct TrialSearchProbe;  // tests: the window of a trial's iterations
  enum class TrialEnd { Done, Abandoned, Stopped, InputBad, NoIterations };
  enum class IterationEnd { Completed, Abandoned, Stopped };
  TrialEnd RunTrial(int64_t t, int64_t tries);
  TrialEnd FitTrial();
  struct Candidate {
    double merit, volume;
    std::array<double, IndexingRecordCapacity + 1> values;
  };
  void KeepCandidate(double merit, double volume);
  bool BestIsPoor();
  // False when the best became a cell of half its volume that indexes its lines (TrySuperCells
  // then has nothing to try).
  bool TrySubCells();
  void TrySuperCells();
  // The lines a cell of the calculated lines TrialMerit left could miss: per line the Poisson
  // chance exp(-lambda) that no calculated line falls within LineTolerance sigma of it, lambda
  // that window times their density 3 N(>= d) / d. Where the reflections are dense any cell
  // indexes a line, so a line missed there says nothing.
  double ResolvedLines() const;
  // The lines a true cell of the calculated lines whole (TrialMerit's, of a cell that leaves missed
  // lines unindexed) would index with reflections that no line of its half cell (calculated_) lies
  // near: its indexed lines times the share of its calculated lines in the lines' range so apart.
  double OtherHalfLinesExpected(const std::vector<double>& whole, int32_t missed) const;
  void SetCellOfBest(const double (&cell)[6]);
  TrialEnd FitCellOfBest(const double (&cell)[6]);
  // The current values become the best trial (merit, volume and deviation from TrialMerit).
  void TakeAsBest(double merit, double volume, double deviation);
  void TryShorterEdges();
  // Trials from cells the lines themselves make (the zone method; one triclinic phase).
  void TryZoneStarts(const std::function<bool(TrialEnd)>& after);
  // After a trial: one of the first three lines is unindexed or beyond LineTolerance sigma.
  bool FirstLineMissed() const;
  IterationEnd RunIterations();
  int32_t WindowAt(int32_t iteration) const;
  bool VolumeTest();
  void ConsiderBest();
  // The figure of merit of the current values, the lines reassigned: over the lines within
  // LineTolerance sigma of their reflection, -log of the chance that a line falls that close (its
  // miss, at least its sigma) to one of the calculated lines, as dense about it as they are in
  // the measured range; every other line costs UnindexedLinePenalty. A larger cell has denser lines
  // and fits no better; a smaller one leaves lines out. deviation: the mean |d_exp - d_calc| of
  // the indexed lines; volume: the cells' volumes summed.
  double TrialMerit(double& deviation, double& volume);
  // Least squares of the chosen cell over its indexed lines, reassigned every iteration, without
  // damping, down-weighting or volume term; a step that raises chi^2 ends it.
  void RefineChosenCell();
  // One triclinic phase whose refined metric keeps rotations of the lattice (within MetricSigmas
  // relative line errors): the metric refitted in Q with the ties those rotations impose, the
  // lines reassigned after each solution; kept when chi^2 over the lines the free cell indexed
  // rises by no more than the parameters saved allow. BestValues follow the records.
  void RefineKeptMetric();
  // One sweep from point start, symmetrised and regularised; false on a non-finite sum.
  bool Accumulate(int32_t start, int32_t skip);
  bool SolvedStepFinite() const;
  bool InstrumentRecord(int32_t i) const;
  bool controlsSaved_ = false;  // PrepareFit ran in this search
  bool inputOk_ = false;        // and CheckFitInput passed
  bool bestInSearch_ = false;   // a trial of this search became the best
  // Lines farther than this many sigma from their reflection leave the model (0: none); set while
  // the chosen cell is refined, so that an impurity kept among the first lines cannot pull it.
  double outlierCut_ = 0;
  std::vector<Candidate> candidates_;  // the best distinct trials of this search
  const double* restart_ = nullptr;    // a trial starts about these values (restarts)
  const double* preset_ = nullptr;     // or exactly at these (zone starts)
  std::vector<double> calculated_, phaseLines_;  // TrialMerit's calculated lines
  // Rotations kept by the metric of the last trial TrialMerit judged and of the best trial (one
  // triclinic phase; 1 otherwise).
  int32_t trialOrder_ = 1, bestOrder_ = 1;
  // The rotations their metrics keep within the merit's widest tolerance, whether or not their
  // ties fit the lines (the half-cell rule asks the metric's geometry).
  int32_t metricOrder_ = 1, bestMetricOrder_ = 1;
  // The highest merit of a trial that became the best in this search.
  double topMerit_ = 0;
};

// The indexing fitter, created on first use; CelixFitterCreated follows it.
extern std::unique_ptr<TAULSM> CelixFitter;
// CreateCelixFitter (core/neighbour_services.h): the fitter with 27 records, DSpacingCount points
// and matrix order 27, the engine defaults, EpsReq 0.1, every record reset and NPar 0, TriesPerBin
// 1; CelixFitterCreated := 1.

// The values of the best trial since the last preparation, [1..27].
extern double BestValues[IndexingRecordCapacity + 1];
// a, b, c, cos alpha, cos beta, cos gamma of the volume tests.
extern double TrialCell[6];
// The three lines of the progress window.
extern std::array<std::string, 3> ProgressLines;

// " " + done + " tries", " out of " + total + ";      Total N= " + TrialCounter, and the line of
// the best functional, deviation and mean d error (unit "Angst", "Degr." or "Chan.").
void FormatTrialProgress(int32_t done, int32_t total);
// The green progress window with the three lines, one pass of the window system; the window
// closed meanwhile (Esc, its close box) requests the stop of the search.
void ShowTrialProgress(int32_t done, int32_t total);
