// A click on the main graph and the click loops that wait for one: the interval by two clicks,
// "Interval Bounds", "Peak Model Bounds", "Set of Points" and "Assign the Models". Each loop saves
// GraphMode and the side-button mask, disables the menus and restores all three on every way out.
#pragma once
#include <cstdint>
#include <string>

// The pixel of the last left click on the graph.
extern int32_t ClickPixelX, ClickPixelY;
// The marked point being given a model number, and its column.
extern int32_t CurrentPointIndex, CurrentPointX;
// The side-button mask a click loop saved.
extern std::string SavedSideButtonMask;

enum class TMouseButton { Left, Right, Middle };

// TForm1.Image2MouseDown: a press on the graph image at pixel (x, y). The right button shows the
// fitted interval again; the others act by GraphMode (point information, a loop's click, the
// model number of the current point, a cell of the event map).
void Image2MouseDown(TMouseButton button, int32_t x, int32_t y);

// Two clicks: x1 < x2 channels, x1 >= 1, x2 <= the current spectrum's last channel.
void MarkIntervalByClicks(double& x1, double& x2);
// Mark "Interval Bounds": the clicked interval becomes the shown and fitted one (after
// CheckInterval); all modes pending.
void MarkIntervalBounds();
// Mark "Peak Model Bounds": the clicked interval into PeakModelBoundFirst/Last.
void MarkPeakModelBounds();
// Mark "Set of Points": clicks add marked points until OK (side button 1).
void MarkSetOfPoints();
// Mark "Assign the Models": a click on the current point's number steps its model 1..6; OK goes
// to the next point, Cancel ends.
void AssignTheModels();
// Side button Cancel in "Set of Points": the last point goes (nothing when there is none).
void RemoveLastMarkedPoint();
