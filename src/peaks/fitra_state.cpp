// The state of the Fitra module.
#include "peaks/fitra_state.h"
#include "core/model_tables.h"

double ExpPositions[MaxExponentials + 1] = {};
double CalibrationResults[CalibrationRows + 1][CalibrationColumns + 1] = {};

bool FitraFitExists() { return FitPending[FitraMode] == 0; }
