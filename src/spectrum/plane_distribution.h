// The plane (t, E) event window: detector events histogrammed on a grid of at most 120 by 120
// cells (core's EventGridNT by EventGridNE over the physical bounds PlaneSettings), shown as a
// coloured map on the main window's graph, with the per-row centroids fitted first by a straight
// line in ln(row) and then by the exponential row = A exp(centroid / tau).
//
// PlaneDistribution(headerImage, graphImage, mode) (core/neighbour_services.h) is the window
// loop; the pieces below are its steps.
#pragma once
#include <cstdint>
#include <string>

class TImageCanvas;

constexpr int32_t PlaneGridMax = 120;
constexpr int32_t PlaneRowCapacity = 200;

struct TPlaneWindow {
  double grid[PlaneGridMax * PlaneGridMax + 1] = {};  // cell (i, j) at (j - 1) NT + i
  uint8_t logX = 0, logY = 0, reversed = 0, thick = 1;
  int32_t fitGraphKey = 0;
  std::string bmpName;
  int32_t fitFirst = 0, fitLast = 0;  // rows of non-zero weight
  double chanWidth = 1.0, tau = 1600.0;
  double centroid[PlaneRowCapacity + 1] = {}, spread[PlaneRowCapacity + 1] = {};
  double xMax = 0, xMin = 1e17, yMax = 0, yMin = 1e17;
  std::string eventFile;
  int32_t columnPair = 1;  // ' 1  2', ' 1  3', ' 1  4', ' 2  3', ' 2  4', ' 3  4'
  int32_t action = 1;      // preselected action
  int32_t eventCount = 0;
  double colourStep = 1.0;
};
extern TPlaneWindow PlaneWindow;

// Counts one event into its cell (nothing when the cell lies outside the grid).
void AddEventToGrid(double x, double y);
// The cell 1..n of value v on an axis low..high (logarithmic: ln(v + 1 - low) / ln(high)).
int32_t PlaneCell(double v, double low, double high, int32_t n, bool logarithmic);
// Clears cells below PeakSensitivity, forms the row centroids and finds the fit range.
void ProcessEventArray();
// 1 for row i inside the fit range with a positive centroid, else 0.
double PlaneFitWeight(int32_t i);
// The exponential model on FitParameters' records 1 (A) and 2 (tau): the observed value is the
// row i, F = A exp(centroid(i) / tau).
void PlaneDecayModel(double& Y, double& W, double& F, int32_t point, int32_t stage);
// The grid as a coloured map on bitmap (resized to hold it).
void DrawPlaneDistribution(TImageCanvas& bitmap, bool thick, bool report);
// Writes the simulated event file (1,500,000 trials) and returns the accepted count.
int32_t SimulatePlaneEvents(const std::string& name);
// The two fits over rows 1..NE; false when no row lies in the fit range.
bool FitPlaneDecay(double& tau, double& tauError, double& chi);
