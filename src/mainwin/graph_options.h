// The graph option dialogs: scale and pixel modes with the object colours, the shown range, the
// spectra and phases drawn, the fitted interval, and comments put on the graph.
#pragma once
#include <cstdint>
#include <string>

class TImageCanvas;

// User comment lines kept from the last "Put user comment".
extern std::string GraphCommentLines;

// Settings "Scale Mode".
void SetScaleMode();
// The picker over ColorTable (core/settings_file.h): chosen := the number (1..13) of the colour
// taken; DialogOk 0 on Cancel.
void ChooseObjectColor(const std::string& name, int32_t current, int32_t& chosen);
// The whole spectrum or the interval as the shown range (GraphIntervalView).
void SetGraphRange();
// Graph "Several Spectra": which spectra are drawn into slots.
void SelectSpectraToGraph(std::string& slots);
// Which phases are marked; kind 0 "graphed", 1 "analysed".
void SelectPhasesToPlot(int32_t kind);
// Graph "the Fitted Interval".
void GraphFittedInterval();
// Mark "Put Comments on the Graph": hkl labels or a user comment on image.
void PutCommentsOnGraph(TImageCanvas& image);

// A comment line "text\column\row" with an optional colour after the last "C" (or "c").
struct TGraphComment {
  std::string text;
  int32_t column = 0, row = 0, colour = 0;  // colour: a curve colour value
  bool ok = false;  // false: fewer than two separators or numbers that do not read
};
TGraphComment ParseCommentLine(const std::string& line);
