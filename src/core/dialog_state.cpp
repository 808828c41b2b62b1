#include "core/dialog_state.h"

int32_t DialogOk = 1;
