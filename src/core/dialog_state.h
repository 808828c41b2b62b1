// The result of the last dialog: 1 after OK, 0 after Cancel, Esc or a field that is not a number.
#pragma once
#include <cstdint>

extern int32_t DialogOk;
