#include "crystal/fit_summary.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_state.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"

namespace {
std::string Compact(int32_t width, int32_t decimals, double x) {
  std::string s = FormatNumber(width, decimals, x);
  DeleteSpaces(s);
  return s;
}
}  // namespace

void PrintFitSummary(int32_t& n) {
  if (!FitParameters) return;
  const TParameter& fp = *FitParameters;
  bool firstLine = true;
  auto put = [&](const std::string& line) {
    if (!firstLine) ++n;
    firstLine = false;
    if (n >= 1 && n <= InfoLineCapacity) InfoLines.lines[n] = line;
  };
  put(" ");
  put(fp.CompressionNote);
  if (fp.Diverged) put(DivergenceNote);
  if (fp.QualityFlags[0]) put("++++ The process hasn't converged");
  if (fp.QualityFlags[1]) put("++++ The matrix can't be inverted");
  if (fp.QualityFlags[2] || fp.QualityFlags[4]) put(".... The fitting quality is not good");
  if (fp.ParOnB == 1) put(".... Parameter(s) hit the boundary:");
  for (const std::string& line : BoundLines(fp)) put(line);
  put(" ");
  put("  Ch2/df= " + Compact(12, 2, fp.ChiDf) + "     Ch+= " + Compact(12, 2, fp.ChiPlus));
  put("  Eps= " + Compact(16, 1, fp.Eps) + "       Iterations= " + FormatNumber(5, 0, TotalFitIterations));
  InfoLines.count = std::clamp(n, 0, InfoLineCapacity);
}

ModelFunction Stage4Model() {
  switch (MainMode) {
    case 0:
    case 2:
      return &RietveldModel;
    case 3:
      if (FiveParameterFit) return &ExpGaussModel;
      if (PairedPeakMode != 0) return &PairedPeakFitModel;
      return &PeakFitModel;
    default:
      return nullptr;
  }
}

bool EvaluateModelAt(int32_t s, double c, double& F, double& bg) {
  F = bg = 0;
  const ModelFunction model = Stage4Model();
  if (!model) return false;
  ModelSpectrum = s;
  ModelChannel = c;
  double y = 0, w = 0;
  model(y, w, F, 1, 4);
  bg = ModelOutput[0];
  return true;
}

double ModelAbscissa(const TSpectrum& sp, int32_t ch) {
  const bool profile = MainMode == 0 || MainMode == 2;
  return NonEquidistantChannels && !profile ? sp.X[ch] : static_cast<double>(ch);
}

void SampleFittedCurve(int32_t first, int32_t last, std::vector<TModelSample>& out) {
  out.clear();
  const int32_t s = CurrentSpectrum;
  const TSpectrum* spectrum = SpectrumOrNull(s);
  if (!spectrum || !Stage4Model()) return;
  const TSpectrum& sp = *spectrum;
  int32_t workFirst = 1, workLast = 1;
  WorkingRange(sp, workFirst, workLast);
  first = std::max(first, workFirst);
  last = std::min(last, workLast);
  if (last < first) return;
  out.reserve(3 * static_cast<size_t>(last - first + 1));
  for (int32_t ch = first; ch <= last; ++ch) {
    const double base = ModelAbscissa(sp, ch);
    const int32_t subPoints = ch < workLast ? 3 : 1;  // nothing beyond the last working channel
    for (int32_t k = 0; k < subPoints; ++k) {
      TModelSample p;
      p.x = base + k * 0.3333;
      if (!EvaluateModelAt(s, p.x, p.model, p.background)) return;
      if (std::isfinite(p.x) && std::isfinite(p.model) && std::isfinite(p.background)) out.push_back(p);
    }
  }
}

void FourierAmplitude(int32_t j, int32_t k, double& Fr, double& Fi) {
  Fr = Fi = 0;
  if (MainMode != 2 || ParameterArrayMode != 2) return;  // no powder-match intensities
  if (k < 1 || k > std::clamp(PhaseCount, 0, MaxPhases)) return;
  if (j < 1 || j > std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections)) return;
  const int64_t record = static_cast<int64_t>(PhaseParameterOffset(k)) + 10 + j;
  if (record > MaxParameters) return;
  const double modulus = std::sqrt(std::fabs(parar[record].value));
  const THklRecord& h = HklTable[j][k];
  if (PhaseTable[k].Centrosymmetric != 0) {
    Fr = h.A < 0 ? -modulus : modulus;
    return;
  }
  const double fc = std::hypot(h.A, h.B);
  if (fc == 0) {  // no calculated phase: taken as 0
    Fr = modulus;
    return;
  }
  Fr = modulus * h.A / fc;
  Fi = modulus * h.B / fc;
}
