// The indexing fitter: its creation, the model of one measured line and the volume minimiser.
#include "indexing/taulsm.h"
#include <algorithm>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/dspacing_list.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/model_options.h"
#include "crystal/parameter_editor.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_state.h"

std::unique_ptr<TAULSM> CelixFitter;
double BestValues[IndexingRecordCapacity + 1];
double TrialCell[6];
std::array<std::string, 3> ProgressLines;

TAULSM::TAULSM(int32_t nPar, int32_t nPoints, int32_t nMat) : TParameter(nPar, nPoints, nMat) {}

void CreateCelixFitter() {
  if (!CelixFitter) {
    CelixFitter = std::make_unique<TAULSM>(IndexingRecordCapacity, DSpacingCount, IndexingRecordCapacity);
    TAULSM& fit = *CelixFitter;
    fit.SetFitDefaults();
    fit.EpsReq = 0.1;
    fit.NPar = IndexingRecordCapacity;
    fit.ResetParameterRecords();
    fit.NPar = 0;
    fit.TriesPerBin = 1;
  }
  CelixFitterCreated = 1;
  CelixFitterAccess = [] { return static_cast<TParameter*>(CelixFitter.get()); };
}

void FreeCelixFitter() {
  if (ActiveFitEngine == CelixFitter.get()) ActiveFitEngine = nullptr;
  CelixFitter.reset();
  CelixFitterCreated = 0;
}

bool TAULSM::InstrumentRecord(int32_t i) const { return i > 6 * std::clamp(PhaseCount, 0, MaxIndexingPhases); }

void TAULSM::IndexingModel(double& Y, double& W, int32_t stage, int32_t i, double& F) {
  const int32_t last = std::min(NPar, RecordCapacity());
  for (int32_t r = 1; r <= last; ++r) Records[r].Derivative = 0;
  Y = W = F = 0;
  if (i < 1 || i > std::clamp(DSpacingCount, 0, MaxDSpacings)) return;
  if (i == 1 && IndexingMode != 1) RecalcIndexingData();
  TDSpacingRecord& line = DSpacingList[i];
  const int32_t p = line.Phase;
  const int32_t j = IndexingMode == 1 ? i : line.ReflectionIndex;
  Y = line.d;
  // A line that no reflection serves (never assigned) cannot be modelled: weight 0.
  if (p < 1 || p > std::clamp(PhaseCount, 0, MaxIndexingPhases) || j < 1 || j > MaxReflections) return;
  if (IndexingMode != 1 && !line.Assigned) return;  // unindexed: out of the fit
  if (WindowLines > 0 && (i > WindowLines || i == SkippedLine)) return;
  W = stage == 3 ? line.Error : AverageDError;
  if (W != 0) W = 1 / (W * W);
  const double dev = std::max(std::fabs(line.d - line.DCalc), 1e-5);
  if (outlierCut_ > 0 && !(dev <= outlierCut_ * LineSigma(line))) {  // not indexed by this cell
    W = 0;
    return;
  }
  // A line missing by more than c = 3 x the mean miss weighs c / dev of its own weight (Huber's
  // weight): its pull on the cell grows no further, and the weight is continuous at the cut.
  const double cut = 3 * CurrentDeviation;
  if (BadReflectionMeasures != 0 && cut < dev) W = W * (cut / dev);

  double lambda = 0, shift = 0;
  const int32_t phases = std::clamp(PhaseCount, 0, MaxIndexingPhases);
  if (CynematicFit == 0) {
    if (const TSpectrum* sp = SpectrumAt(CurrentSpectrum)) lambda = sp->Lambda, shift = sp->Delay;
  } else if (6 * phases + 3 <= last) {
    lambda = Records[6 * phases + 1].value;
    shift = Records[6 * phases + 3].value;
  }

  HklScratch[0] = HklTable[j][p];
  HklDSpacing(p);
  const double d = HklScratch[0].d;
  StoreReflectionD(p, j, d);
  double theta = 0, sinTheta = 0;
  const int32_t first = 6 * (p - 1);
  if (d > 1e-6 && first + 6 <= RecordCapacity()) {
    double cell[6], deriv[6];
    for (int32_t m = 0; m < 6; ++m) cell[m] = Records[first + 1 + m].value;
    const THklRecord& r = HklScratch[0];
    CellDSpacingDerivatives(cell, r.h, r.k, r.l, d, deriv);
    for (int32_t m = 0; m < 6; ++m) Records[first + 1 + m].Derivative = deriv[m];
    line.DCalc = d;
    sinTheta = lambda / (2 * d);
    theta = ArcSinAngle(sinTheta) * RadToDeg - shift;
    if (DSpacingDataType != 0) line.XCalc = theta;
  }
  F = d;
  if (OptionFlags[2] != 0) {
    const double cosTheta = std::sqrt(std::max(1 - sinTheta * sinTheta, 1e-4));
    LogLine(FormatNumber(8, 4, d) + FormatNumber(8, 2, Y) + FormatNumber(8, 2, theta) + FormatNumber(8, 4, cosTheta) +
            FormatInteger(DSpacingDataType, 4));
    const THklRecord& r = HklScratch[0];
    LogLine("hkl " + FormatInteger(r.h, 4) + FormatInteger(r.k, 4) + FormatInteger(r.l, 4));
  }
}

int32_t TAULSM::MatrixRow(int32_t r) const {
  if (r < 1 || r > NPar || r > RecordCapacity()) return 0;
  const int32_t m = Records[r].n;
  if (m != r) {
    if (m < 1 || m > r) return 0;
    r = m;
  }
  auto fixed = [&](int32_t i) { return Records[i].lower == Records[i].upper; };
  if (fixed(r)) return 0;
  if (FullOrder) return r;
  int32_t row = 0;
  for (int32_t i = 1; i <= r; ++i)
    if (Records[i].n == i && !fixed(i)) ++row;
  return row;
}

void TAULSM::AddVolumeRegularization(int32_t) {
  const int32_t phases = std::clamp(PhaseCount, 0, MaxIndexingPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t first = 6 * (p - 1);
    if (first + 3 > std::min(NPar, RecordCapacity())) break;
    const double w = Alpha * VolumeMinimizers[p] * VolumeWeights[p];
    const double abc = Records[first + 1].value * Records[first + 2].value * Records[first + 3].value;
    double R = MinimizerKind == 1 ? 1 : 0;
    for (int32_t e = 1; e <= 3; ++e) {
      const double x = Records[first + e].value;
      double add;
      if (MinimizerKind == 1) {
        R *= x;
        add = 0.5 * w * abc / x;
      } else {
        R += w * x * x;
        add = w * x;
      }
      const int32_t row = MatrixRow(first + e);
      if (row == 0) continue;
      double m = 0;
      GetMatrixElement(row, row, m);
      SetMatrixElement(row, row, m + add);
    }
    ChiReg += R;
  }
}
