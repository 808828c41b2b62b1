// Where the STOP button reaches the running fit: the stop request of the session's engine, which
// the engine tests after each iteration.
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"

void RequestFitStop() {
  if (FitParameters) FitParameters->StopRequest = 1;
}

bool FitStopRequested() { return FitParameters && FitParameters->StopRequest != 0; }

void ClearFitStopRequest() {
  if (FitParameters) FitParameters->StopRequest = 0;
}
