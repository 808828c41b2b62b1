// The main window's graph: the redraw of the shown interval (curves from DrawFittedCurve, the
// x-axis labels, the side panel and the header), the marker strip under the curves (rows 279 to
// 301 before Scaled) with the reflection, theoretical and point markers, and the phase or peak
// curves of side button 8. Channel c of the interval sits at column
// round((round(c) - IntervalFirst + 1) 512 / NChannels) before Scaled.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A text of the last redraw on the header or under the graph (unscaled position), as drawn.
struct TGraphText {
  int32_t x = 0, y = 0, colour = 0;
  std::string text;
};
// Header texts, then the x-axis labels and the axis name.
extern std::vector<TGraphText> GraphTexts;

// The y range of the last drawing (SpectraYRange of the shown spectra).
extern double GraphYMin, GraphYMax;

// Phase colours 1..6 ([0] unused): lime, red, yellow, white, blue, teal.
extern const int32_t PhaseColors[7];

// Column (before Scaled) of channel c in the shown interval.
int32_t ChannelColumn(double c);

// Nothing when a spectrum marked in SpectrumSlots holds no data; else ResetMainWindow, NChannels,
// the y range of the marked spectra and DrawSpectrumGraph.
void RedrawGraph();
// The six steps: layout, curves (DrawFittedCurve) and x labels, side panel and buttons, header,
// PhasesToPlot := 1 and PlotForMainMode.
void DrawSpectrumGraph(const std::string& slots, double yMax, double yMin);
// The first pixel row of the main window's header strip below its last line of text.
int32_t HeaderTextBottom();
// The eight x-axis labels and the axis name under the graph.
void ToggleXAxis();
// Keeps the interval inside the current spectrum's channels at its width where it can; redraws.
void ClampInterval();
// A vertical marker at the channel's column in the rows of k (k = 1..6 a phase's rows, other k
// rows 284..295; every marker rows 1..296 with long indicators); mode 1 in colour, else black.
// Nothing with a logarithmic x scale.
void DrawChannelMarker(int32_t mode, int32_t k, int32_t colour, double channel);
// Fills 0,279 to 515,301 of the graph black.
void ClearMarkerStrip();
// The number in size-8 text of the colour on black at column x - 2, row 278.
void DrawNumberOnGraph(int32_t x, int32_t number, int32_t colour);
// Fills a rectangle of the main window's surface with colour.
void FillGraphRect(int32_t left, int32_t top, int32_t right, int32_t colour, int32_t bottom);
// After a drawing: MainMode 0 or 2 the phases' reflections, 1 or 3 the marked points.
void PlotForMainMode();
// Each reflection of each phase with PhasesToPlot set, at DToChannel of its d, in its colour.
void PlotPhaseReflections();
// "Theoretical hkls or peaks": white markers at ChannelOfD of the current metric (MainMode 0, 2),
// lime markers of the marked points (MainMode 3); "No parameters" while the fit is pending.
void ShowTheoreticalPositions();
// Side button 8: the model of each chosen phase (or every peak) plus the background over the
// fitted interval; "No fit" when there is no fitted curve.
void PlotPhaseCurves();
// "Show Set of Points": a white marker per marked point inside the interval, " No points " else.
void ShowPointMarkers();
