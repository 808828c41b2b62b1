#include "core/trevo_records.h"

TTrevoPhase TrevoPhases[TrevoPhaseCount + 1];
double TrevoIdentificationD[TrevoIdentificationRows + 1][TrevoPhaseCount + 1] = {};
