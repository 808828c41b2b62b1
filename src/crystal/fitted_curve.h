// The main graph's picture of the shown interval: the selected spectra over the dotted grid and,
// for a single fitted spectrum, the model of the current analysis mode with the difference
// between data and model. The picture is GraphBitmap (core/graph_drawing.h), which the main
// graph creates, sizes and shows; the reflection marks are added after this drawing in the marker
// strip (rows 279..301 before scaling), where nothing is drawn here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include "core/graph_drawing.h"

// The main window's caption while the picture is drawn ("*   " + percentage + "%"); the main
// window installs it.
extern std::function<void(const std::string& caption)> GraphCaptionHook;

// The zero line of the difference trace (rows before scaling): 10 % of the plot height above the
// plot's bottom row. The difference is drawn by the linear law on the data's scale about it.
constexpr int32_t DifferenceZeroRow = PlotBottomRow - PlotRows / 10;

// Draws the channels IntervalFirst..IntervalLast of the spectra marked 'x' in selection
// (characters 1..5 for spectra 0..4) on a grid from yMin up to yMax (times TrimmingCoefficient
// when that is above 1) plus sqrt|yMax|. Channel c sits at column (c - IntervalFirst + 1)
// Scaled(512) / NChannels, so that a click there names c (PixelToChannel(x) - 1).
// Several spectra: spectrum i's counts as curve i in CurveColors[i + 1]. One spectrum: its counts
// by PlotPoint in ExpDataColor (with GraphFitErrors each with a bar of +- max(E, 1)); when it is
// the current spectrum and GraphMode is 2, the model of the mode's stage-4 function at three
// sub-points per channel of the working range as red line segments, and the difference counts -
// model at each channel in lime about DifferenceZeroRow. Values are held to the plot rows;
// channels outside a spectrum's loaded range and non-finite values are not drawn.
void DrawFittedCurve(const std::string& selection, double yMax, double yMin);
