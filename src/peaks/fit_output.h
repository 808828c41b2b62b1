// The result lines of a Fitra fit: fit statistics, background, amplitudes with peak areas,
// positions and widths (or the paired-peak variant), shown in the dialog window or written to
// LogFile. OutputFittingResults is declared in peaks/fitra_state.h.
//
// Fields are fixed columns of FormatNumber; a value too wide for its field prints as asterisks
// (the engine's default delta and beta, 1e6, do so in their 6:2 fields).
#pragma once
#include <cstdint>

// InfoLines := the result lines of the records in FitParameters: the peak layout, or the
// paired-peak layout when PairedPeakMode is set. Returns the number of lines.
int32_t FormFittingResultLines();
