// State of the phase-evolution module.
#include "core/trevo_records.h"
