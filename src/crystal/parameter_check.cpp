#include "crystal/parameter_check.h"

#include <algorithm>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/spectrum.h"

namespace {

bool Fixed(const ParameterRecord& r) { return r.lower == r.upper; }
bool Free(const ParameterRecord* records, int32_t i) { return !Fixed(records[i]) && records[i].n == i; }

// Findings so far: lines 2 .. count + 1 of InfoLines.
int32_t FindingCount() { return std::max(InfoLines.count - 1, 0); }

void AddFinding(const std::string& line) {
  if (InfoLines.count < 1) InfoLines.count = 1;
  AddInfoLine(line);
}

}  // namespace

void AddCheckLine(uint8_t fixedFound, const std::string& text, int32_t phase) {
  if (fixedFound == 0) AddFinding(text + std::to_string(phase));
}

void CheckParameterArray() {
  DialogOk = 1;
  // Only the Rietveld layout carries atoms; powder match has nothing of this to check.
  if (MainMode != 0) return;
  InfoLines.count = 1;
  InfoLines.lines[1] = " ";
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  const int32_t records = std::min(ParameterCount(2) + (M2Mode ? 2 : 0), MaxParameters);
  auto inArray = [&](int32_t i) { return i >= 1 && i <= records; };
  TSpectrum* sp = CurrentSpectrum >= 0 && CurrentSpectrum <= 4 ? SpectrumList[CurrentSpectrum].get() : nullptr;
  bool magneticFreedom = false;

  for (int32_t p = 1; p <= phases; ++p) {
    const LATTICE& ph = PhaseTable[p];
    const int32_t o = PhaseParameterOffset(p);
    const int32_t atoms = std::clamp(ph.AtomCount, 0, std::max((records - o - 10) / 10, 0));
    const bool magnetic = PhaseModelFlags[p] == 1;

    // 1. Anything free in a magnetic phase: scale, cell, widths, atom positions and tensors.
    if (magnetic) {
      for (int32_t i = o + 1; i <= o + 10; ++i)
        if (inArray(i) && Free(parar, i)) magneticFreedom = true;
      for (int32_t a = 1; a <= atoms; ++a)
        for (int32_t k = 2; k <= 10; ++k)
          if (Free(parar, o + 10 * a + k)) magneticFreedom = true;
    }
    // 2 to 4. A kind of atom record of which no atom has one fixed.
    auto anyFixed = [&](int32_t k) {
      for (int32_t a = 1; a <= atoms; ++a)
        if (Fixed(parar[o + 10 * a + k])) return uint8_t{1};
      return uint8_t{0};
    };
    AddCheckLine(anyFixed(1), "   occupations for phase ", p);
    AddCheckLine(anyFixed(2), "   atom X-coordinates for phase ", p);
    AddCheckLine(anyFixed(3), "   atom Y-coordinates for phase ", p);
    AddCheckLine(anyFixed(4), "   atom Z-coordinates for phase ", p);
    AddCheckLine(anyFixed(5), "   thermal parameters for phase ", p);
    // 5. The header stands for what was found so far.
    InfoLines.lines[1] = FindingCount() > 0 ? "Warning! There are no fixed:" : " ";
    // 6. Atoms without scattering in a nuclear phase.
    if (!magnetic)
      for (int32_t a = 1; a <= std::clamp(ph.AtomCount, 0, MaxAtoms); ++a)
        if (AtomTable[a][p].ScatteringLength == 0) AddFinding("* " + AtomTable[a][p].Name + " has 0-scattering");
    // 7. The moment direction: one of its three components must be fixed.
    if (magnetic) {
      const int32_t m = ParameterCount(0) + 3 * (p - 1);
      if (inArray(m + 3)) {
        const ParameterRecord* r = &parar[m + 1];
        const bool noneFixed = !Fixed(r[0]) && !Fixed(r[1]) && !Fixed(r[2]);
        const bool oneMaster = r[0].n == r[1].n && r[1].n == r[2].n;
        if (noneFixed || oneMaster) AddFinding("Error, one of h0, k0, l0 should be fixed");
      }
    }
    // 8. Reflections more than 3 channels outside the working interval.
    if (sp) {
      int32_t outside = 0;
      for (int32_t j = 1; j <= std::clamp(ph.ReflectionCount, 0, MaxReflections); ++j) {
        const double c = sp->DToChannel(HklTable[j][p].d);
        if (c == 0 || !std::isfinite(c)) continue;
        const double ch = std::nearbyint(c);
        if (ch < sp->WorkFirst - 3.0 || ch > sp->WorkLast + 3.0) ++outside;
      }
      if (outside > 0) ShowMsg("Warning! " + std::to_string(outside) + " hkls beyond the spectrum interval");
    }
  }

  // 9. Free cell and atom records against the reflections, on the records the fit will use.
  if (const TParameter* fit = FitParameters.get()) {
    const int32_t last = std::min(records, fit->RecordCapacity());
    for (int32_t p = 1; p <= phases; ++p) {
      const int32_t o = PhaseParameterOffset(p);
      const int32_t atoms = std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms);
      int32_t f = 0;
      auto count = [&](int32_t i) {
        if (i >= 1 && i <= last && Free(fit->Records.data(), i)) ++f;
      };
      for (int32_t i = o + 2; i <= o + 7; ++i) count(i);
      for (int32_t i = o + 11; i <= o + 10 + 10 * atoms; ++i) count(i);
      if (f > PhaseTable[p].ReflectionCount) {
        AddFinding("* Phase" + std::to_string(p) + " has " + std::to_string(f) + " free cryst.parameters");
        AddFinding("         - more than reflections");
      }
    }
  }
  // 10.
  if (magneticFreedom)
    ShowMsg("Magnetic parameters should be same:" + LineBreak + "scale, unit cell, width, atoms ones");
  // 11. The list, only when something was found; its Cancel stops the run.
  if (FindingCount() == 0) return;
  DialogCaption.clear();
  BeginDialog(1);
  ShowListBox(10, 10, 320, 360);
  ShowDialogModal();
}
