// The output of an indexing search and its figures of merit.
#include "indexing/indexing_results.h"
#include <algorithm>
#include <cmath>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_reduction.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "indexing/celix_menu.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_state.h"
#include "indexing/interval_reflections.h"
#include "indexing/lattice_reduction.h"
#include "indexing/taulsm.h"

double PhaseMeanDeviation[MaxPhases + 1];
double PhaseMaxDeviation[MaxPhases + 1];

namespace {

constexpr double Degrees = 57.2958;  // degrees per radian of the output
constexpr int32_t IndexingModeIndex = 1;

int32_t Lines() { return std::clamp(DSpacingCount, 0, MaxDSpacings); }
int32_t Phases() { return std::clamp(PhaseCount, 0, MaxIndexingPhases); }

// A reduced cell waiting to replace phase p's records when the output ends.
struct ReducedCell {
  bool pending = false;
  double cell[6] = {};
};

// Puts the reduced cells into the records (bounds widened to reach them), then the phases,
// the line assignment and the errors follow the records, so that every later step sees one cell.
void TakeReducedCells(TAULSM& fit, const ReducedCell (&reduced)[MaxIndexingPhases + 1]) {
  bool any = false;
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (!reduced[p].pending) continue;
    any = true;
    for (int32_t m = 0; m < 6; ++m) {
      const int32_t i = 6 * (p - 1) + 1 + m;
      if (i > std::min(fit.NPar, fit.RecordCapacity())) break;
      ParameterRecord& r = fit.Records[i];
      r.value = reduced[p].cell[m];
      // A later search must not jump from a value its bounds exclude.
      r.lower = std::min(r.lower, r.value);
      r.upper = std::max(r.upper, r.value);
      if (i <= IndexingRecordCapacity) BestValues[i] = r.value;
    }
  }
  if (!any) return;
  fit.EvaluateErrors();
  RecalcIndexingData();
  UpdatePhaseCells();
}

// A page of the memo; false when the user cancelled (mode 2 only).
bool ShowPage(int32_t mode) {
  if (mode != 2) return true;
  ShowDialogModal();
  return DialogOk == 1;
}

void BeginPage(int32_t mode, int32_t memoWidth, int32_t formWidth) {
  if (mode != 2) return;
  DialogCaption = "Output of fitting results";
  PrepareDialog(formWidth, 0, 450);
  ShowMemo(1, memoWidth);
  Form2.Memo1.readOnly = true;
}

// Step 2 for phase p; false when the output ends.
bool PhasePage(int32_t mode, int32_t p, TAULSM& fit, ReducedCell& reduced) {
  BeginPage(mode, 330, 420);
  auto out = [mode](const std::string& s) { OutputLine(s, mode); };
  if (IndexingMode != -1) out("  Chi2/df = " + FormatNumberNoBlanks(2, fit.BestFunctional));
  out("  Dif(A)  = " + FormatNumberNoBlanks(5, fit.BestDeviation));
  // A line beyond three sigma: an impurity, or a cell that is not the answer; more of them than
  // impurities may account for: not the answer. A trial the search rated higher than this cell:
  // the search did not keep what it found.
  if (IndexingMode != 1) {
    if (const int32_t missed = MissedLines(p); missed > 0)
      out("  Warning! " + std::to_string(missed) + " lines are not indexed: " +
          (missed > UnindexedLineLimit() ? "" : "an impurity, or ") + "the fit is poor, search longer");
    if (IndexingMode == 0 && p == 1 && fit.BestBelowTopMerit())
      out("  Warning! A trial of higher merit was met: the fit is poor, search longer");
  }
  const ParameterRecord* r = &fit.Records[6 * (p - 1)];  // r[1..6]
  const double volume = CellVolumeFromCosines(r[1].value, r[2].value, r[3].value, r[4].value, r[5].value, r[6].value);
  out(" ");
  out("    Phase No " + std::to_string(p) + "   Vol= " + FormatNumber(8, 2, volume));
  out(" ");
  static const char* const edges[3] = {"A = ", "B = ", "C = "};
  for (int32_t e = 1; e <= 3; ++e) ShowValueError(CelixDigits, edges[e - 1], r[e].value, r[e].Error, mode);
  out(" ");
  static const char* const angles[3] = {"alpha = ", "beta  = ", "gamma = "};
  for (int32_t e = 4; e <= 6; ++e)
    ShowValueError(2, angles[e - 4], ArcCosClamped(r[e].value) * Degrees, AngleErrorFromCosine(r[e].value, r[e].Error),
                   mode);
  const int32_t system = PhaseTable[p].CrystalSystem;
  if (system == 1 || system == 2) {
    out(" ");
    double c[6];
    for (int32_t m = 0; m < 6; ++m) c[m] = r[m + 1].value;
    // Within the found lattice: a centred cell keeps its centring.
    double v = ReduceCellInLattice(c, system, PhaseTable[p].LatticeType);
    if (CellReduced == 0) {
      if (system == 1) v = ReduceCellInLattice(c, system, PhaseTable[p].LatticeType);
      reduced.pending = true;
      std::copy(c, c + 6, reduced.cell);
      out("The most rectangular unit cell.  Vol= " + FormatNumber(6, 1, v));
      out(FormatNumber(8, 4, c[0]) + FormatNumber(8, 4, c[1]) + FormatNumber(8, 4, c[2]));
      out(FormatNumber(8, 2, ArcCosClamped(c[3]) * Degrees) + FormatNumber(8, 2, ArcCosClamped(c[4]) * Degrees) +
          FormatNumber(8, 2, ArcCosClamped(c[5]) * Degrees));
    }
  }
  double prob[7];
  CentringProbabilities(system, prob);
  for (int32_t c = 1; c <= 6; ++c)
    if (prob[c] > 0.9 && c != PhaseTable[p].LatticeType)
      out("Probability for " + std::string(1, "ABCFIR"[c - 1]) + "= " + FormatNumber(6, 2, prob[c]));
  out(" ");
  return ShowPage(mode);
}

bool InstrumentPage(int32_t mode, const TAULSM& fit) {
  const int32_t first = 6 * Phases();
  if (CynematicFit != 1 || first + 3 > std::min(fit.NPar, fit.RecordCapacity())) return true;
  BeginPage(mode, 410, 420);
  OutputLine("    Cynematic parameters", mode);
  const ParameterRecord& a = fit.Records[first + 1];
  const ParameterRecord& c = fit.Records[first + 3];
  ShowValueError(CelixDigits, a.Name + " = ", a.value, a.Error, mode);
  ShowValueError(CelixDigits, c.Name + "= ", c.value, c.Error, mode);
  return ShowPage(mode);
}

// Step 6 for phase p; false when the output ends.
bool LinePage(int32_t mode, int32_t p, const std::string& heading) {
  if (mode == 2) {
    DialogCaption = heading;
    PrepareDialog(610, 0, 430);
    ShowMemo(1, 600);
    Form2.Memo1.readOnly = true;
  }
  auto out = [mode](const std::string& s) { OutputLine(s, mode); };
  if (Phases() > 1) out(std::string(8, ' ') + "Phase " + std::to_string(p));
  const int32_t system = PhaseTable[p].CrystalSystem;
  double chi2 = 0;
  int32_t hi[3] = {0, 0, 0}, lo[3] = {0, 0, 0};
  bool first = true;
  std::vector<int32_t> unindexed;
  for (int32_t i = 1; i <= Lines(); ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    if (line.Phase != p) continue;
    if (!line.Assigned) {
      unindexed.push_back(i);
      continue;
    }
    int32_t o[3];
    OrderIndexTriple(line.h, line.k, line.l, system, o[0], o[1], o[2]);
    std::string row = FormatInteger(i, 4) + FormatInteger(o[0], 4) + FormatInteger(o[1], 4) + FormatInteger(o[2], 4);
    row += FormatNumber(10, 4, line.d) + FormatNumber(9, 4, line.DCalc) + FormatNumber(9, 4, line.d - line.DCalc);
    if (DSpacingDataType != 0)
      row += FormatNumber(11, 4, line.X) + FormatNumber(10, 4, line.XCalc) + FormatNumber(9, 4, line.X - line.XCalc);
    out(row);
    if (line.Error != 0) chi2 += std::pow((line.d - line.DCalc) / line.Error, 2);
    for (int32_t m = 0; m < 3; ++m) {
      hi[m] = first ? o[m] : std::max(hi[m], o[m]);
      lo[m] = first ? o[m] : std::min(lo[m], o[m]);
    }
    first = false;
  }
  for (int32_t i : unindexed) {
    const TDSpacingRecord& line = DSpacingList[i];
    std::string row = FormatInteger(i, 4) + "   unindexed" + FormatNumber(10, 4, line.d);
    if (DSpacingDataType != 0) row += FormatNumber(29, 4, line.X);
    out(row);
  }
  out("Average  d - d_calc (A) = " + FormatNumber(12, 5, PhaseMeanDeviation[p]));
  out("Max      d - d_calc (A) = " + FormatNumber(12, 5, PhaseMaxDeviation[p]));
  out("Average exp_error   (A) = " + FormatNumber(12, 5, AverageDError));
  int32_t visible = 0;
  CountVisibleReflections(visible, p);
  out("N(d-visible) / N(d_exp) = " + std::to_string(visible) + " / " + std::to_string(PhaseLineCount[p]));
  out("  Phase " + std::to_string(p) + "  real hkl range:");
  out("      (" + FormatInteger(hi[0], 5) + "," + FormatInteger(lo[0], 5) + "), (" + FormatInteger(hi[1], 5) + "," +
      FormatInteger(lo[1], 5) + "), (" + FormatInteger(hi[2], 5) + "," + FormatInteger(lo[2], 5) + ")");
  const double criterion = IndexingCriterion(visible, DSpacingCount, PhaseMeanDeviation[p]);
  const double chiN = chi2 / std::max(PhaseLineCount[p] - CellParameterCount(system), 1);
  out(" ");
  out("  Criterion = " + FormatNumber(12, 3, criterion) + "   phase chi2/N(d) = " + FormatNumber(12, 2, chiN));
  return ShowPage(mode);
}

bool ClosestPage(int32_t mode) {
  BeginPage(mode, 400, 420);
  OutputLine("Closest to ds of phase 1 among others", mode);
  for (int32_t i = 1; i <= Lines(); ++i) {
    const TDSpacingRecord& a = DSpacingList[i];
    if (a.Phase != 1) continue;
    int32_t best = 0;
    double gap = 1e15;
    for (int32_t j = 1; j <= Lines(); ++j) {
      const TDSpacingRecord& b = DSpacingList[j];
      if (b.Phase == 1 || b.Phase < 1) continue;
      if (std::fabs(a.d - b.d) < gap) gap = std::fabs(a.d - b.d), best = j;
    }
    if (best == 0)  // no line of another phase: the line stands alone
      OutputLine(FormatNumber(9, 5, a.d) + " closest=      none", mode);
    else
      OutputLine(FormatNumber(9, 5, a.d) + " closest= " + FormatNumber(9, 5, DSpacingList[best].d) + "  phase " +
                     std::to_string(DSpacingList[best].Phase),
                 mode);
  }
  return ShowPage(mode);
}

bool OutputPages(int32_t mode, TAULSM& fit, ReducedCell (&reduced)[MaxIndexingPhases + 1]) {
  for (int32_t p = 1; p <= Phases(); ++p)
    if (!PhasePage(mode, p, fit, reduced[p])) return false;
  if (!InstrumentPage(mode, fit)) return false;
  for (int32_t i = 1; i <= Lines(); ++i) DSpacingList[i].XCalc = CalculatedAbscissa(DSpacingList[i].DCalc);
  const std::string heading = "  N   h    k    l      d_exp     d_fit      Dif_d      x_exp    x_fit     Dif_x";
  if (mode != 2) {
    OutputLine(std::string(8, ' ') + IndexingTitle, mode);
    OutputLine(heading, mode);
  }
  PhaseDeviations();
  for (int32_t p = 1; p <= Phases(); ++p)
    if (!LinePage(mode, p, heading)) return false;
  if (Phases() > 1 && !ClosestPage(mode)) return false;
  return true;
}

}  // namespace

std::string ValueErrorLine(int32_t decimals, const std::string& name, double value, double error) {
  return "  " + name + FormatNumber(10, decimals, value) + "  +- " + FormatNumber(7, decimals, error);
}

void ShowValueError(int32_t decimals, const std::string& name, double value, double error, int32_t mode) {
  OutputLine(ValueErrorLine(decimals, name, value, error), mode);
}

double AngleErrorFromCosine(double cosine, double cosineError) {
  const double s2 = 1 - cosine * cosine;
  if (!(s2 > 0)) return 0;
  return cosineError * Degrees / std::sqrt(s2);
}

void CentringProbabilities(int32_t system, double (&prob)[7]) {
  const int32_t n = Lines();
  for (int32_t c = 1; c <= 6; ++c) {
    prob[c] = 0;
    if (!BravaisTypeAllowed(system, c)) continue;
    int32_t obey = 0;
    for (int32_t i = 1; i <= n; ++i) {
      const int64_t h = DSpacingList[i].h, k = DSpacingList[i].k, l = DSpacingList[i].l;
      bool ok = false;
      switch (c) {
        case 1: ok = (k + l) % 2 == 0; break;
        case 2: ok = (h + l) % 2 == 0; break;
        case 3: ok = (h + k) % 2 == 0; break;
        case 4: ok = (k + l) % 2 == 0 && (h + k) % 2 == 0; break;
        case 5: ok = (h + k + l) % 2 == 0; break;
        default: ok = (-h + k + l) % 3 == 0; break;
      }
      obey += ok;
    }
    prob[c] = n > 0 ? double(obey) / n : 0;
  }
}

void PhaseDeviations() {
  double sum[MaxPhases + 1] = {};
  for (int32_t p = 0; p <= MaxPhases; ++p) PhaseLineCount[p] = 0, PhaseMaxDeviation[p] = 0;
  for (int32_t i = 1; i <= Lines(); ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    if (line.Phase < 1 || line.Phase > MaxPhases || !line.Assigned) continue;
    const double dev = std::fabs(line.d - line.DCalc);
    ++PhaseLineCount[line.Phase];
    sum[line.Phase] += dev;
    PhaseMaxDeviation[line.Phase] = std::max(PhaseMaxDeviation[line.Phase], dev);
  }
  for (int32_t p = 0; p <= MaxPhases; ++p) PhaseMeanDeviation[p] = sum[p] / std::max(PhaseLineCount[p], 1);
}

void CountVisibleReflections(int32_t& n, int32_t p) {
  std::vector<double> d;
  VisibleReflections(p, d);
  n = static_cast<int32_t>(d.size());
}

void VisibleReflections(int32_t p, std::vector<double>& d) {
  d.clear();
  if (Lines() < 1 || p < 1 || p > MaxPhases) return;
  const double low = DSpacingList[Lines()].d - 0.001, high = DSpacingList[1].d + 0.01;
  const bool searching = WorkspaceActive();  // the search's d while it runs
  for (int32_t j = 1, m = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); j <= m; ++j) {
    const double x = searching ? WorkspaceD(p, j) : HklTable[j][p].d;
    if (x >= low && x <= high) d.push_back(x);
  }
  std::sort(d.begin(), d.end(), std::greater<double>());
  const double limit = 1.4 * AverageDError;
  while (d.size() >= 2) {
    size_t at = 0;
    double gap = 1e15;
    for (size_t i = 1; i < d.size(); ++i)
      if (std::fabs(d[i] - d[i - 1]) < gap) gap = std::fabs(d[i] - d[i - 1]), at = i;
    if (!(gap <= limit)) break;
    d[at] = 0.5 * (d[at] + d[at - 1]);
    d.erase(d.begin() + static_cast<std::ptrdiff_t>(at - 1));
  }
}

double IndexingCriterion(int32_t nVisible, int32_t lines, double meanDeviation) {
  const double miss = std::max(std::abs(static_cast<double>(nVisible) - lines), 1.0);
  return 1 / (miss * std::max(meanDeviation, 1e-5));
}

int32_t CellParameterCount(int32_t system) {
  static const int32_t n[8] = {6, 6, 4, 3, 2, 1, 2, 2};
  return n[std::clamp(system, 1, 7)];
}

double CalculatedAbscissa(double d) {
  // The constants of ChannelToD, whose inverse this is.
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (DSpacingDataType == 0 || !sp) return d;
  if (DSpacingDataType == 3) {
    const double cw = sp->ChanWidth == 0 ? 1.0 : sp->ChanWidth;
    return TofConstant * d * std::sin(sp->Theta / RadToDeg) * sp->FlightPath / cw - sp->Delay;
  }
  const double twoTheta = 2 * std::asin(std::min(1.0, sp->Lambda * 0.5 / std::max(d, 0.001))) * RadToDeg - sp->Delay;
  return DSpacingDataType == 1 ? 0.5 * twoTheta : twoTheta;
}

void ShowIndexingResults(int32_t mode) {
  if (mode == 3 && ResultsUnsaved[IndexingModeIndex] == 0) return;
  TAULSM* fit = CelixFitter.get();
  if (!fit) return;
  if (mode == 2) SetHelpLines(IndexingQualityHelp);
  ReducedCell reduced[MaxIndexingPhases + 1];
  OutputPages(mode, *fit, reduced);
  TakeReducedCells(*fit, reduced);
  if (mode == 3) ResultsUnsaved[IndexingModeIndex] = 0;
}
