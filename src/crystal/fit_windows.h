// The fit-controls editor and the windows that show the state of a fit engine: parameter errors
// with their correlation factors, the fit quality, the INI file, the marked points and the
// comments on the INI commands. The engine shown is that of the current analysis mode
// (ModeParameterObject); without one the lists are empty.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TParameter;

// "Check the Fit Controls": eight numbers, the convergence mode, the fitting kind and two boxes,
// from DefaultFitControls (the modes preselected from the engine of the mode when there is one).
// OK stores into DefaultFitControls and NonEquidistantChannels: Step := min(step, 1), Skip :=
// round(max(skip, 1)), the iterations rounded. Cancel, or a field that is not a finite number,
// stores nothing and leaves DialogOk 0.
void EditFitControls();

// The lines of the two lists for an engine (none for nullptr).
std::vector<std::string> ParameterErrorLines(const TParameter* fit);
std::vector<std::string> FitQualityLines(const TParameter* fit);
// "Parameter Errors and Correlation Factors": value, error and correlation factor per record.
void ShowParameterErrors();
// "Check the Fit Quality": the status texts and the figures of the last fit, line 1 empty.
void ShowFitQuality();

// "Enter INI-file name": IniFileName (with ".ini" when it has no dot) offered in the open
// dialog; OK opens it in the text-file editor. IniFileName keeps the name either way.
void EnterIniFileName();

// The marked points as "channel   model" lines in a memo; OK reads them back free-field (blank
// and number-less lines are not points, a missing model number is 1), at most 500, the 501st
// giving "Too many points,>500". Cancel changes nothing.
void ShowMarkedPoints();
constexpr int32_t MarkedPointLineLimit = 500;

// "CommentstoINIcommands": the comments on the INI commands in a memo.
void ShowIniComments();
