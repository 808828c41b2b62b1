// The test menu: the built-in data sets, the exponential test fit, the random-number test, the
// result-file viewer, a small text editor, the conversion of a spectrum text file, and the debug
// switches of the analysis modules (OptionFlags bytes 0, 1, 2 and 4..10).
#pragma once
#include <string>

// TestMenu itself is declared in core/neighbour_services.h.

// Converts the lines "x y e" of a text file into "x/1000 y e" (8:3, 8:0, 8:0).
void MakeTestSaveFile();
// The result file in a memo; OK writes the edited lines back into it (every other line keeps its
// bytes, and a memo left as it was leaves the file untouched), Cancel leaves it as it was.
void ViewTextFile();
// Asks a file name and writes the lines typed into an empty memo (on Yes to "Save the file?").
void MakeTextFile();
// The text the window system shows for a line of a file: the line itself when it is UTF-8, its
// code page 1251 reading otherwise (as core/display_text.h shows texts); control characters
// (but tab) as their pictures U+2400..U+2421.
std::string DisplayedLine(const std::string& line);
