// The crystal information menu: the number of phases, the phase and atom editors, the reflection
// lists (formed or read from a file), random atoms and a ready-made aluminium phase.
#pragma once

// Loops until "Exit " or Cancel. Outside Rietveld and powder-match modes it switches to
// Rietveld mode and says so in its status line.
void EnterCrystalInfo();
