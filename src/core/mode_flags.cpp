#include "core/mode_flags.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/ui_backend.h"

namespace {
constexpr int32_t PeakModelNumbers = 6;  // models 1..6 besides the background model

void SetModeFlags(uint8_t (&flags)[ModeCount], int32_t mask, uint8_t value) {
  for (int32_t i = 0; i < ModeCount; ++i)
    if (mask & (1 << i)) flags[i] = value;
}

// The marked points whose model number the table holds.
int32_t PeaksWithModels() {
  return CappedCount(MarkedPointCount, MarkedPointModelCount, "peak model");
}
}  // namespace

void SetParametersPending(int32_t mask, uint8_t value) { SetModeFlags(ParametersPending, mask, value); }

void SetFitPending(int32_t mask, uint8_t value) { SetModeFlags(FitPending, mask, value); }

void SelectExclusive(int32_t i, int32_t value) {
  if (!TableIndexOk(i, 0, ModeCount - 1, "analysis mode")) return;
  for (auto& u : UseAvailableArray) u = 0;
  UseAvailableArray[i] = value;
}

namespace {
void AskUnsaved(uint8_t& ok, std::string& text, bool clearOnYes) {
  static const char* const words[ModeCount] = {"Rietveld", " DozoruRovireru ", " DazazeDedev ", "FITRA"};
  ok = 1;
  int32_t last = -1;
  for (int32_t i = 0; i < ModeCount; ++i) {
    if (ResultsUnsaved[i] == 0) continue;
    ok = 0;
    text = std::string(words[i]) + " parameters not saved.";
    last = i;
  }
  if (ok == 0 && Ui().AskYesNo(text + " Still exit?", MsgKind::Warning)) {
    ok = 1;
    if (clearOnYes) ResultsUnsaved[last] = 0;
  }
}
}  // namespace

void ConfirmExitUnsaved(uint8_t& ok, std::string& text) { AskUnsaved(ok, text, true); }
void ConfirmReplaceUnsaved(uint8_t& ok, std::string& text) { AskUnsaved(ok, text, false); }

void CheckPeakModelNumbers(int32_t& modelCount) {
  const int32_t n = PeaksWithModels();
  int32_t* model = MarkedPointModels;  // [1..n]
  for (int32_t i = 1; i <= n; ++i) {
    if (model[i] >= 1 && model[i] <= PeakModelNumbers) continue;
    ShowMsg("Wrong peak model number=" + std::to_string(model[i]));
    model[i] = 1;
  }
  // Pass p looks at the numbers 1..7-p; five passes close every gap.
  for (int32_t p = 1; p <= 5; ++p) {
    const int32_t top = PeakModelNumbers + 1 - p;
    bool used[PeakModelNumbers + 1] = {};
    for (int32_t i = 1; i <= n; ++i)
      if (model[i] <= top) used[model[i]] = true;
    int32_t distinct = 0;
    for (int32_t m = 1; m <= top; ++m) distinct += used[m];
    for (int32_t m = 1; m <= distinct; ++m) {
      bool inUse = false;
      for (int32_t i = 1; i <= n && !inUse; ++i) inUse = model[i] == m;
      if (inUse) continue;
      for (int32_t i = 1; i <= n; ++i)
        if (model[i] >= m) --model[i];
      for (int32_t j = m; j < top; ++j) {
        DeltaPosition[j] = DeltaPosition[j + 1];
        DeltaW0[j] = DeltaW0[j + 1];
        DeltaW1[j] = DeltaW1[j + 1];
      }
    }
  }
  modelCount = 0;
  for (int32_t i = 1; i <= n; ++i) modelCount = model[i] > modelCount ? model[i] : modelCount;
}
