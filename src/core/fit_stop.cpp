// Where the STOP button reaches the running fit: the stop request of the engine that runs (the
// indexing search's own engine while it runs, otherwise the session's), which the engine tests
// after each iteration.
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"

TParameter* ActiveFitEngine = nullptr;

namespace {
TParameter* StopTarget() { return ActiveFitEngine ? ActiveFitEngine : FitParameters.get(); }
}  // namespace

void RequestFitStop() {
  if (TParameter* e = StopTarget()) e->StopRequest = 1;
}

bool FitStopRequested() {
  const TParameter* e = StopTarget();
  return e && e->StopRequest != 0;
}

void ClearFitStopRequest() {
  if (TParameter* e = StopTarget()) e->StopRequest = 0;
}
