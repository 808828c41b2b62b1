// The main window's menu commands: the guards some of them share, the warning of the interval
// steps and the save loop that follows a simulation. The handlers themselves are members of
// TForm1 (mainwin/main_window.h).
#pragma once
#include <string>

inline constexpr const char* NoGraphMessage = "Error, no graph on the screen";
inline constexpr const char* NoPeaksSuffix = " or no peaks";
inline constexpr const char* OutsideFittedMessage = "Region exceeds the fitted interval";

// "Needs a graph": true when a graph is shown (GraphMode not 0); else NoGraphMessage in the first
// status line and false.
bool RequireGraph();
// "With X linear": true unless the x scale of the graph is logarithmic (then nothing is shown).
bool XScaleLinear();
// OutsideFittedMessage in the first status line when the shown interval starts before or ends
// after the current spectrum's fitted interval.
void WarnOutsideFittedInterval();

// After a simulation, until "Exit" or Cancel: the dialog with three information lines (DialogHint
// as it was on entry, the maximum, the name of the current spectrum or "See the name in output
// res.file" past 60 characters), the first two also one line of the result file, and the choice
// to save the simulated spectrum or its variance (OutputSpectrumFile).
void SimulatedDataSaveLoop();
inline constexpr const char* LongNameNote = "See the name in output res.file";
