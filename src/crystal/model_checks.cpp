#include "crystal/model_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/profile_model.h"

void TieToMaster(ParameterRecord* records, int32_t i, int32_t master, double a, double b) {
  // Follow the chain down to an independent record, composing the linear maps:
  // v_i = a v_m + b and v_m = a_m v_r + b_m give v_i = (a a_m) v_r + (a b_m + b).
  // Masters precede their dependents, so the index falls at every step and the walk ends.
  if (master < 1) return;
  int32_t m = master;
  while (records[m].n != m && records[m].n >= 1 && records[m].n < m) {
    const ParameterRecord& r = records[m];
    b = a * r.b + b;
    a = a * r.a;
    m = r.n;
  }
  // A tie of a record to itself (also through a chain) would only lose its own value.
  if (m == i) return;
  ParameterRecord& d = records[i];
  const ParameterRecord& root = records[m];
  d.n = m;
  d.a = a;
  d.b = b;
  // The engine derives a dependent record the same way; doing it here keeps the tied values
  // equal to their masters in the array the editors show.
  d.value = a * root.value + b;
  d.lower = a * root.lower + b;
  d.upper = a * root.upper + b;
  if (d.lower > d.upper) std::swap(d.lower, d.upper);
}

void ResolveTies(ParameterRecord* records, int32_t count) {
  // Ascending: the master of record i has been resolved before i is reached.
  for (int32_t i = 1; i <= count; ++i) {
    const ParameterRecord& r = records[i];
    if (r.n != i && r.n >= 1 && r.n < i && records[r.n].n != r.n) TieToMaster(records, i, r.n, r.a, r.b);
  }
}

namespace {

// Records k = from..to of the right phase (base br) follow those of the left phase (base bl) in
// one array of count records; a fixed right record stays as it is. Its own a and b are kept.
void LinkRecords(ParameterRecord* records, int32_t count, int32_t bl, int32_t br, int32_t from, int32_t to) {
  for (int32_t k = from; k <= to; ++k) {
    const int32_t i = br + k, m = bl + k;
    if (i > count || m < 1 || m >= i) continue;
    ParameterRecord& r = records[i];
    if (r.lower == r.upper) continue;
    TieToMaster(records, i, m, r.a, r.b);
  }
  // Records of the right phase that followed a record now tied go to the new master as well.
  ResolveTies(records, count);
}

// The dialog of one pass; false after Cancel. left and right are the preselected phases and
// become the chosen ones; groups[0..2] the ticks of "Scale", "Unit cell", "Width".
bool AskPhaseLink(int32_t& left, int32_t& right, bool (&groups)[3], const std::string& doneHint) {
  DialogCaption.clear();
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 10, 10, "To quit click on Cancel", WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label2, 10, 40, "Between phases", WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label3, 10, 60, "(left phase < right phase)", WhiteColor, TextBackgroundColor);
  DialogOptions = PhaseChoice;
  DialogOptions.count = MaxPhases;
  DialogOptions.defaultItem = left;
  ShowRadioGroup(1, 1, 20, 150, 80, 85);
  DialogOptions.defaultItem = right;
  ShowRadioGroup(2, 1, 120, 150, 80, 85);
  PlaceLabel(Form2.Label4, 220, 85, "impose links on parameters", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  DialogOptions.captions[1] = "Scale";
  DialogOptions.captions[2] = "Unit cell";
  DialogOptions.captions[3] = "Width";
  DialogOptions.count = 3;
  ShowCheckListBox(220, 110, 150, 60);
  if (!doneHint.empty()) PlaceLabel(Form2.Label5, 220, 250, doneHint, WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  left = Form2.RadioGroup1.itemIndex + 1;
  right = Form2.RadioGroup2.itemIndex + 1;
  for (int32_t g = 0; g < 3; ++g) groups[g] = Form2.CheckListBox1.Checked(g);
  return true;
}

}  // namespace

void LinkPhases() {
  int32_t left = 1, right = 2;
  std::string doneHint;
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (;;) {
    bool groups[3] = {};
    if (!AskPhaseLink(left, right, groups, doneHint)) return;
    if (left > right) {
      std::swap(left, right);
      continue;
    }
    if (left < 1 || right > phases) {
      ShowMsg("Wrong phase");
      continue;
    }
    if (left == right) {
      ShowMsg("Same phase");
      continue;
    }
    doneHint = "Done for phases " + std::to_string(left) + "," + std::to_string(right);
    const int32_t bl = PhaseParameterOffset(left), br = PhaseParameterOffset(right);
    // The refinement run starts from the engine's records and copies them back into parar
    // afterwards: a link must be in both.
    TParameter* fit = FitParameters.get();
    const int32_t count = std::min(ParameterCount(2) + (M2Mode ? 2 : 0), MaxParameters);
    const int32_t ranges[3][2] = {{1, 1}, {2, 7}, {8, 10}};
    for (int32_t g = 0; g < 3; ++g) {
      if (!groups[g]) continue;
      LinkRecords(parar, count, bl, br, ranges[g][0], ranges[g][1]);
      if (fit)
        LinkRecords(fit->Records.data(), std::min(count, fit->RecordCapacity()), bl, br, ranges[g][0], ranges[g][1]);
    }
    if (phases == 2) return;
  }
}

void CorrectScaling() {
  const int32_t s = CurrentSpectrum;
  if (s < 0 || s > 4 || !SpectrumList[s] || !FitParameters) return;
  TSpectrum& sp = *SpectrumList[s];
  const int32_t first = std::max(sp.WorkFirst, 1), last = std::min(sp.WorkLast, MaxChannels);
  double maxSp = 0, maxMod = 0;
  bool finite = true;
  for (int32_t ch = first; ch <= last; ++ch) {
    if (!std::isfinite(sp.Y[ch])) finite = false;
    else maxSp = std::max(maxSp, std::abs(sp.Y[ch]));
  }
  ModelSpectrum = s;
  for (int32_t ch = first | 1; ch <= last; ch += 2) {
    ModelChannel = ch;
    double y = 0, w = 0, f = 0;
    RietveldModel(y, w, f, ch - first + 1, 4);
    if (!std::isfinite(f)) finite = false;
    else maxMod = std::max(maxMod, std::abs(f));
  }
  if (!finite) {
    // A ratio from broken counts or a broken model would scale every phase by nonsense.
    ShowMsg("Spectrum or Rietveld model not finite");
    return;
  }
  if (maxMod == 0) {
    ShowMsg("Rietveld model max=0");
    return;
  }
  if (maxSp == 0) {
    ShowMsg("Spectrum max=0");
    return;
  }
  const double ratio = maxSp / std::max(maxMod, 1.0);
  const std::string question = "Ratio max_sp / max_mod = " + FormatNumber(10, 5, ratio) + " Correct the scaling?";
  if (!Ui().AskYesNo(question.substr(0, 75), MsgKind::Warning)) return;
  TParameter& fit = *FitParameters;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const int32_t i = PhaseParameterOffset(p) + 1;
    if (i < 1 || i > MaxParameters) continue;
    ParameterRecord& r = parar[i];
    r.value *= ratio;
    r.lower *= ratio;
    r.upper *= ratio;
    if (i <= fit.RecordCapacity()) fit.Records[i] = r;
  }
  LogLine("Scaling has been corrected by " + FormatNumber(9, 3, ratio));
}

void CheckInterval(int32_t first, int32_t last, uint8_t& ok) {
  ok = 1;
  StatusMessage.clear();
  const int64_t length = int64_t{last} - first + 1;
  if (std::abs(int64_t{last} - first) < 2) {
    StatusMessage = "Wrong interval";
    ok = 0;
  }
  if (length > MaxChannels) {
    StatusMessage = "Error, " + std::to_string(length) + " interval too long";
    ok = 0;
  }
  if (ok == 0) ShowMsg(StatusMessage);
}

void CheckPhaseHkls() {
  DialogOk = 1;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const std::string s = "Phase " + std::to_string(p);
    const LATTICE& ph = PhaseTable[p];
    if (ph.AtomCount <= 0 && MainMode == 0) {
      StatusMessage = s + "= No atoms for " + ModeNames[0];
      DialogOk = 0;
    }
    if (ph.ReflectionCount <= 0) {
      StatusMessage = s + "= No hkls";
      DialogOk = 0;
      return;
    }
    if (ph.ReflectionCount > MaxFitReflections) {
      StatusMessage = s + "= Too many hkls, > 2000";
      DialogOk = 0;
    }
  }
}
