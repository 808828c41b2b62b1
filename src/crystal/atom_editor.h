// The atom editor: the atom list of each phase as a memo, then per atom its data.
#pragma once
#include <cstdint>

// Mode 0 enters or edits the atoms of every phase; mode 1 also draws X, Y, Z of every listed atom
// from Random01. DialogOk is 0 when the user cancelled or a copy was refused; what was stored
// until then stays.
void EditAtomList(int32_t mode);
