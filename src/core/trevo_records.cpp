#include "core/trevo_records.h"

TTrevoPhase TrevoPhases[TrevoPhaseCount + 1];
double TrevoIdentificationD[TrevoReflectionCapacity + 1][TrevoPhaseCount + 1] = {};
