// Simulated d-spacing sets for the powder indexing: reflections of the declared phases inside a
// d interval, merged where an experiment could not separate them, disturbed by a uniform error,
// thinned by random deletion.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/random.h"
#include "core/text_file.h"
#include "crystal/phase_editor.h"
#include "crystal/reflection_lists.h"
#include "spectrum/simulation.h"

namespace {

// Index bounds of one phase that keep the generation inside HklTable: (2h + 1)(2k + 1)(l + 1)
// index visits at most this many before the generation's own cut.
constexpr double MaxIndexVisits = 1e7;

int32_t PhasesInUse() { return std::clamp(PhaseCount, 0, MaxPhases); }

// The grid rows 1..n read back; false when a field is not a number.
bool ReadRows(int32_t n, double* v) {
  for (int32_t i = 1; i <= n; ++i) StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
  return DialogOk == 1;
}

}  // namespace

void ClampHklBounds(int32_t phase) {
  if (phase < 1 || phase > MaxPhases) return;
  int32_t* b = HklBounds[phase];
  switch (PhaseTable[phase].CrystalSystem) {
    case 2:
    case 6:
      b[3] = std::max(b[3], 0);
      break;
    case 3:
    case 4:
    case 5:
      b[1] = std::max(b[1], 0);
      b[3] = std::max(b[3], 0);
      break;
    default:
      break;
  }
}

void DropMarkedHkls(int32_t phase) {
  if (phase < 1 || phase > MaxPhases) return;
  const int32_t n = std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections);
  int32_t kept = 0;
  for (int32_t j = 1; j <= n; ++j)
    if (HklTable[j][phase].d != 0) HklTable[++kept][phase] = HklTable[j][phase];
  PhaseTable[phase].ReflectionCount = kept;
}

bool GenerateSimulatedReflections(double dmin, double dmax, double error) {
  // Huge bounds (a tiny d_min) are cut so that the generation stays within its table.
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    int32_t* b = HklBounds[p];
    const double visits = (double(b[0]) - b[1] + 1) * (double(b[2]) - b[3] + 1) * (double(b[4]) + 1);
    if (visits > MaxIndexVisits) {
      ShowMsg("Phase" + std::to_string(p) + ": hkl bounds too large, cut");
      const double f = std::cbrt(MaxIndexVisits / visits);
      for (int32_t i = 0; i < 5; ++i) b[i] = static_cast<int32_t>(b[i] * f);
    }
  }
  GeneratePhaseHkls();
  int32_t total = 0;
  for (int32_t p = 1; p <= PhasesInUse(); ++p) total += std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
  if (total == 0) {
    ShowMsg("No hkls can be generated");
    return false;
  }
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
    for (int32_t j = 1; j <= n; ++j) {
      THklRecord& r = HklTable[j][p];
      const double q = CellInverseDSquared(PhaseTable[p], r.h, r.k, r.l);
      const double d = q > 0 ? 1 / std::sqrt(q) : 0;
      r.d = d >= dmin && d <= dmax ? d : 0;  // 0 marks a reflection to drop
    }
    DropMarkedHkls(p);
  }
  SortHklsByD();
  // Neighbours closer than the resolution merge into the later one at their mean (chains merge on).
  const double resolution = std::max(0.01, error);
  total = 0;
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
    for (int32_t j = 1; j < n; ++j) {
      THklRecord &a = HklTable[j][p], &b = HklTable[j + 1][p];
      if (std::fabs(a.d - b.d) < resolution) b.d = (a.d + b.d) / 2, a.d = 0;
    }
    DropMarkedHkls(p);
    total += PhaseTable[p].ReflectionCount;
  }
  if (total == 0) {  // every reflection fell outside the interval
    ShowMsg("No hkls can be generated");
    return false;
  }
  if (total > MaxDSpacings) {
    ShowMsg("D-interval too large. Curtail.");
    return false;
  }
  return true;
}

void FillSimulatedDSpacings(double dmin, double dmax, double error, bool disturb, double deletePercent,
                            int32_t maxCount) {
  DSpacingCount = 0;
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
    for (int32_t j = 1; j <= n && DSpacingCount < MaxDSpacings; ++j) {
      const THklRecord& r = HklTable[j][p];
      if (r.d < dmin || r.d > dmax) continue;
      TDSpacingRecord& e = DSpacingList[++DSpacingCount];
      e = TDSpacingRecord{};
      e.DCalc = r.d, e.Error = error, e.h = r.h, e.k = r.k, e.l = r.l, e.Phase = p;
      // (r - 0.5) sqrt(12) is uniform with unit standard deviation.
      e.d = r.d + (disturb ? (Random01() - 0.5) * std::sqrt(12.0) * error : 0.0);
    }
  }
  if (deletePercent > 0 && DSpacingCount > 0) {
    const auto draws = static_cast<int32_t>(std::nearbyint(DSpacingCount * deletePercent / 100));
    for (int32_t i = 0; i < draws; ++i)
      DSpacingList[std::min(RandomIndex(DSpacingCount) + 1, DSpacingCount)].d = 0;
    int32_t kept = 0;
    for (int32_t i = 1; i <= DSpacingCount; ++i)
      if (DSpacingList[i].d != 0) DSpacingList[++kept] = DSpacingList[i];
    DSpacingCount = kept;
  }
  AssignDSpacings();
  DSpacingCount = std::clamp(std::min(DSpacingCount, maxCount), 0, MaxDSpacings);
}

void SimulateDSpacings() {
  EditPhaseInfo(1);
  if (DialogOk != 1) return;
  double dmin = 10000, dmax = 0;
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const double* c = PhaseTable[p].Cell;
    const double divisor = PhaseTable[p].CrystalSystem <= 2 ? 4.0 : 3.5;
    dmin = std::min(dmin, std::min({c[0], c[1], c[2]}) / divisor);
    dmax = std::max(dmax, std::max({c[0], c[1], c[2]}));
  }
  DialogCaption = "Spectrum simulation";
  BeginDialog(0);
  PlaceLabel(Form2.Label5, 5, 45, "  Set the bounds for d-s ", WhiteColor, TextBackgroundColor);
  static const char* const labels[5] = {" d_min =", " d_max =", " Error =", " % for deletion =",
                                        " Max.number of ds ="};
  const double defaults[5] = {dmin, dmax, DefaultDError, 10, 30};
  FillValueColumn(5, labels, defaults, 170, 70);
  ShowNumberGrid(50, 65, 5, 8, 1, 5);
  SetDialogOptions({"  Disturb the reflections by errors", "  Delete some reflections"});
  ShowCheckListBox(10, 210, 300, 40);
  Form2.CheckListBox1.SetChecked(0, true);
  Form2.CheckListBox1.SetChecked(1, true);
  ShowDialogModal();
  double v[6] = {};
  if (DialogOk != 1 || !ReadRows(5, v)) return;
  const bool disturb = Form2.CheckListBox1.Checked(0), deleteSome = Form2.CheckListBox1.Checked(1);
  dmin = v[1], dmax = v[2];
  const double error = v[3], percent = v[4];
  const double maxCount = std::nearbyint(v[5]);
  if (!(dmin > 0 && dmin < dmax)) {
    ShowMsg("Wrong dmin,dmax");
    return;
  }
  if (!(error > 0) || !(percent >= 0 && percent <= 100) || !(maxCount >= 1)) {
    ShowMsg("Wrong error, share for deletion or number of ds");
    return;
  }
  DefaultDError = error;
  DSpacingCount = 0;

  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const double* c = PhaseTable[p].Cell;
    int32_t* b = HklBounds[p];
    auto bound = [&](double edge) { return static_cast<int32_t>(std::min(std::nearbyint(edge / dmin) + 1, 1e6)); };
    b[0] = bound(c[0]), b[1] = -b[0], b[2] = bound(c[1]), b[3] = -b[2], b[4] = bound(c[2]);
    ClampHklBounds(p);
    DialogCaption = "Set the info for indexing, phase= " + std::to_string(p);
    BeginDialog(0);
    PlaceLabel(Form2.Label5, 5, 245, "Volume= " + FormatNumber(10, 3, PhaseTable[p].Volume), WhiteColor,
               TextBackgroundColor);
    PlaceLabel(Form2.Label6, 5, 40, "  Set the bounds for hkls ", WhiteColor, TextBackgroundColor);
    static const char* const hkl[5] = {" h_max =", " h_min =", " k_max =", " k_min =", " l_max ="};
    const double shown[5] = {double(b[0]), double(b[1]), double(b[2]), double(b[3]), double(b[4])};
    FillValueColumn(5, hkl, shown, 170, 70);
    ShowNumberGrid(50, 65, 5, 8, 1, 5);
    ShowDialogModal();
    double w[6] = {};
    if (DialogOk != 1 || !ReadRows(5, w)) return;
    for (int32_t i = 0; i < 5; ++i) b[i] = static_cast<int32_t>(std::clamp(std::nearbyint(w[i + 1]), -1e6, 1e6));
    ClampHklBounds(p);
  }
  if (!GenerateSimulatedReflections(dmin, dmax, error)) return;
  FillSimulatedDSpacings(dmin, dmax, error, disturb, deleteSome ? percent : 0, static_cast<int32_t>(maxCount));

  InfoLines.count = 0;
  AddInfoLine("D-spacings prepared " + std::to_string(DSpacingCount) + " items");
  DialogCaption = "Spectrum simulation";
  BeginDialog(0);
  ShowListBox(20, 40, 270, 120);
  ShowDialogModal();
  LogLine(FormatNumber(1, 0, PhaseCount) + "-phase ds simulated" + FormatNumber(4, 0, DSpacingCount) +
          " items, eps=" + FormatNumber(8, 4, DefaultDError));
}
