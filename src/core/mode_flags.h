// The per-mode flags of unprepared, unfitted and unsaved work, the one-hot parameter-source
// selector, the exit question built from the flags, and the renumbering of the peak models of
// the marked points. Masks use bit i for mode i (0 Rietveld, 1 DozoruRovireru, 2 DazazeDedev,
// 3 Fitra).
#pragma once
#include <cstdint>
#include <string>

// ParametersPending[i] := value for each bit i set in mask.
void SetParametersPending(int32_t mask, uint8_t value);
// FitPending[i] := value for each bit i set in mask.
void SetFitPending(int32_t mask, uint8_t value);
// UseAvailableArray[0..3] := 0, then entry i (0..3) := value.
void SelectExclusive(int32_t i, int32_t value);
// ok := 1 when no mode has unsaved results; otherwise asks "<mode> parameters not saved. Still
// exit?" (the last unsaved mode) with Yes and No: Yes gives ok := 1 and clears that mode's flag.
// text keeps the question without " Still exit?".
void ConfirmExitUnsaved(uint8_t& ok, std::string& text);
// The same question where an operation inside the session (a new preparation, an INI file) is
// about to replace results, but Yes clears no flag: an operation cancelled after it leaves the
// results as unsaved as they were, and the exit still asks for them.
void ConfirmReplaceUnsaved(uint8_t& ok, std::string& text);
// Sets every model number of the marked points outside 1..6 to 1 ("Wrong peak model number="),
// closes the gaps in the numbering (moving the per-model deltas along) and returns the largest
// model number in use (0 without points).
void CheckPeakModelNumbers(int32_t& modelCount);
