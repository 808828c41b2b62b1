#include "mainwin/prf_file.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/fit_summary.h"

namespace {

constexpr size_t MaxRowLength = 255;
constexpr double DegreesPerRadian = 57.29578;

// Right-aligned fixed point that widens rather than writing asterisks: a plotter splits rows on
// tabs and blanks and cannot read "*******".
void Put(std::string& line, int32_t width, int32_t decimals, double x) { line += FormatFixed(width, decimals, x); }

// The 37-character title: two blanks, sample, temperature, instrument, blanks, "CELL: ".
std::string Title() {
  std::string t = "  Powder sample 293 K  TOF";
  t.resize(31, ' ');
  return t + "CELL: ";
}

}  // namespace

bool PrfFileAllowed() {
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return false;
  if (MainMode != 0 && MainMode != 2) {
    ShowMsg("The PRF file holds a Rietveld or powder-match fit only");
    return false;
  }
  if (sp->AxisKind != AxisTimeOfFlight) {
    ShowMsg("The PRF file holds time-of-flight spectra only");
    return false;
  }
  return true;
}

void WritePrfFile(TextFile& f) {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) {
    f.Close();
    return;
  }
  const bool fitted = FitPending[std::clamp(MainMode, 0, ModeCount - 1)] == 0;
  if (!fitted) ShowMsg("No fitting yet performed");
  int32_t first = 0, last = 0;
  WorkingRange(*sp, first, last);
  const int32_t n = std::max(0, last - first + 1);
  double max = n > 0 ? sp->Y[first] : 0, min = max;
  for (int32_t x = first; x <= last; ++x) {
    max = std::max(max, sp->Y[x]);
    min = std::min(min, sp->Y[x]);
  }
  // The count scale 0.1^k, k the smallest of 0..6 with max c < 1e6.
  double c = 1;
  for (int32_t k = 0; k < 6 && !(max * c < 1e6); ++k) c *= 0.1;
  const int32_t phases = std::clamp(PhaseCount, 1, MaxPhases);
  const double spacing = (max - min) / (2.0 * phases);
  const double tofConstant = TofConstant * sp->FlightPath * std::sin(sp->Theta / DegreesPerRadian);
  int32_t total = 0;
  for (int32_t k = 1; k <= phases; ++k) total += std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections);
  const int32_t m = std::min(total, n);
  const auto tof = [sp](double x) { return (x + sp->Delay) * sp->ChanWidth; };

  std::string line = Title();
  for (int32_t i = 0; i < 3; ++i) Put(line, 10, 5, PhaseTable[1].Cell[i]);
  for (int32_t i = 3; i < 6; ++i) Put(line, 10, 4, PhaseTable[1].Cell[i]);
  line += "   SPGR: R -3 c";
  f.WriteLine(line);
  line.clear();
  Put(line, 3, 0, phases);
  Put(line, 7, 0, n);
  Put(line, 12, 0, 1);
  Put(line, 12, 0, 1);
  Put(line, 12, 0, 0);
  Put(line, 12, 2, tofConstant);
  Put(line, 12, 0, 0);
  Put(line, 5, 0, 1);
  f.WriteLine(line);
  line.clear();
  for (int32_t k = 1; k <= phases; ++k) Put(line, 6, 0, std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections));
  for (int32_t k = 0; k <= phases; ++k) Put(line, 6, 0, 0);
  f.WriteLine(line);
  f.WriteLine(" T.O.F.\tYobs\tYcal\tYobs-Ycal\tBackg\tBragg\tPosr\t(hkl)\tK");

  int32_t phase = 1, j = 0;  // the reflection of the row: all of phase 1, then of phase 2, ...
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t x = first + k - 1;
    double model = 0, bg = 0;
    if (fitted && !EvaluateModelAt(CurrentSpectrum, x, model, bg)) model = bg = 0;
    line.clear();
    Put(line, 12, 4, tof(x));
    line += '\t';
    Put(line, 7, 0, sp->Y[x] * c);
    line += ".\t";
    Put(line, 7, 0, model * c);
    line += ".\t";
    Put(line, 7, 0, (sp->Y[x] - model - max) * c / 4);
    line += ".\t";
    Put(line, 7, 0, (bg - min) * c / 4);
    line += ".\t";
    if (k <= m) {
      while (++j > std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections) && phase < phases) {
        ++phase;
        j = 0;
      }
      const THklRecord& h = HklTable[std::clamp(j, 1, MaxReflections)][phase];
      Put(line, 12, 4, tof(sp->DToChannel(h.d)));
      line += '\t';
      // Scaled like Yobs and Ycal, so that the marks lie beside the profile.
      Put(line, 8, 0, -(phase - 1) * spacing * c);
      line += "\t(";
      Put(line, 4, 0, h.h);
      Put(line, 3, 0, h.k);
      Put(line, 3, 0, h.l);
      line += ")\t  0  1";
    }
    if (line.size() > MaxRowLength) line.resize(MaxRowLength);
    f.WriteLine(line);
  }
  f.Close();
}
