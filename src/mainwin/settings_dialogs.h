// The Settings menu's dialogs: the analysis mode, the screen scale and font size, and the loop
// of various options (result-file name and comments, Celix digits, identical spectrum
// intervals, the CF/BK spectrum list, the ASCII line structure).
#pragma once
#include <cstdint>
#include <string>

// "Specify type of the problems to be solved": MainMode := the choice; leaving the peak fit
// (mode 3) for mode 0 or 2 empties the fit engine's records. The line ModeNames[m] + " set up"
// goes to the result file. The caller sets GraphMode and redraws.
void SetMainMode();
// The screen scale (1, 1.25, 1.5, 2), the font size (8, 10, 12, 14) and the help language. The
// caller lays the windows out again.
void SetFormAndFontSizes();
// The option list, repeated until "Quit" or Cancel.
void SetVariousOptions();
// A new result file in WorkDir: an existing file is overwritten only after the question; when
// the new file cannot be created the previous one is opened again for appending.
void ChooseResFileName();
// The memo lines, each a line of the result file; ok := 1 after OK.
void EnterResComment(uint8_t& ok);
// CelixDigits := the typed count held to 0..10.
void SetCelixDigits();
// Spectra 1..4: the working range := the shown interval; the loaded range widened to hold it.
void SetIdenticalIntervals();
// A CF/BK list file into the current spectrum: a header line, then one point a line with the
// abscissa as the 1st number and the count as the 14th; a line of fewer numbers takes no point.
void InputCfBkSpectrumList();
// The reading of InputCfBkSpectrumList from a file already chosen (the dialog's part left out).
void ReadCfBkSpectrumList(const std::string& fileName);
