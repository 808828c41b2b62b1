// Small graphs: the vertical scale law shared by every graph, how a data point is drawn, the
// dotted grid of the main graph's off-screen picture, and the multi-curve plots of the dialog
// window (peak models, smoothing previews, phase-evolution plots). Positions are given for screen
// scale 1 and pass through Scaled; rows grow downwards.
#pragma once
#include <array>
#include <cstdint>
#include "core/canvas.h"
#include "core/dialog_model.h"

// The off-screen picture of the spectrum graph; the main graph creates and sizes it.
extern TImageCanvas GraphBitmap;

// The vertical law: 0 linear, 1 square root, 2 logarithmic, 3 trimmed.
extern int32_t GraphScaleMode;
// K of the trimmed law (0 < K): values above min + K * (max - min) are drawn at the top.
extern double TrimmingCoefficient;
// How points are drawn: 0 a small mark (PlotPoint: a 3 by 3 square; the plots: a five-pixel
// cross), 1 one pixel, 2 a line from the previous point of the same curve.
extern int32_t PixelMode;
// " Long reflection indicators": the markers of the plots run up into the curves.
extern uint8_t LongReflectionIndicators;
// " Graph errors of fitted spectrum": each point of a single spectrum with its error bar; 0.
extern uint8_t GraphFitErrors;
// " X scale logarithmic": the channel axis of the main graph is logarithmic; under it no click
// command and no channel marker works.
extern uint8_t LogXScale;

// Colours of curves 1..9 ([0] unused): red, fuchsia, aqua, yellow, lime, white, blue, green, gray.
extern const std::array<int32_t, 10> CurveColors;

// Geometry of the plot before scaling: rows 3 (top) to 276 (bottom) in a 516 by 323 picture.
constexpr int32_t PlotTopRow = 3;
constexpr int32_t PlotBottomRow = 276;
constexpr int32_t PlotRows = 273;
constexpr int32_t GraphPictureWidth = 516;
constexpr int32_t GraphPictureHeight = 323;

// The row (before Scaled) of value y on a plot from min to max by GraphScaleMode.
int32_t ValueToPixelRow(double min, double max, double y);
// Clears GraphBitmap with BackgroundColor and draws the dotted lime grid.
void DrawGraphGrid(double min, double max);
// Point i of a curve (0..7) at pixel (x, y) of GraphBitmap by PixelMode; in line mode the point
// i = first only starts the curve.
void PlotPoint(int32_t colour, int32_t x, int32_t y, int32_t curve, int32_t i, int32_t first);
// ScratchArray1 (fuchsia) and ScratchArray2 (aqua), points 1..n, over their common range.
void PlotScratchArrays(TImage& image, int32_t n);
// Up to seven curves of npoints each from NumberBuffer (curve k, point i at (k-1)*npoints + i),
// then |nmarks| marker channels after the last curve; grid, legend from InfoLines, extremes.
// nmarks < 0 draws tall markers. Saves the picture when PictureSaveRequest is set.
void PlotGraphs(TImage& image, int32_t npoints, int32_t ncurves, int32_t width, int32_t nmarks);
// The same plot for the phase-evolution module: curve 1 as crosses, the others as lines, or
// every curve by PixelMode (1 cross, 2 line) while the automatic evolution run is on.
void PlotEvolutionGraphs(TImage& image, int32_t npoints, int32_t ncurves, int32_t width,
                         int32_t nmarks);
