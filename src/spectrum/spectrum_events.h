// Events to spectrum: a list of detector events (energy, time per line) cut into layers of the
// sampling axis, each layer histogrammed along the other axis, its centroid reported, and the
// straight line through ln(layer value + 1) against the centroids (its decay constant "tau= ").
//
// EventsToSpectrum() (core/neighbour_services.h) is the main window's item; the pieces below
// are its pure steps.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/help_texts.h"
#include "core/info_window.h"

class TextFile;

struct TEventPair {
  double v1 = 0.0, v2 = 0.0;  // energy, time
};

// The settings of the dialog "Transform Events to the Spectrum"; they live until the program
// ends. Records 1..4: low, high (records 3 and 4 are shown, not tested).
struct TEventSettings {
  double low[5] = {0, 0, 0, 0, 0}, high[5] = {0, 16384.0, 16384.0, 16384.0, 16384.0};
  int32_t en1 = 1000, en2 = 3500, t1 = 100, t2 = 2000, dE = 100, dT = 100;
  int32_t length = 2048;  // output spectrum length L
  int32_t column = 1;     // sampling column: 1 energy, 2 time
  int32_t format = 2;     // 1 " counts", 2 " channel, counts" (no layer file is written)
};
extern TEventSettings EventSettings;

// Every line of f (lines beginning with "*" skipped) with at least two numbers, as one event.
std::vector<TEventPair> ParseEventFile(TextFile& f);
// One layer: y[1..] += 1 at the rounded histogram value (v2 for column 1, v1 for column 2) of
// every event with lo1 <= v1 <= hi1 and lo2 <= v2 <= hi2; channels outside 1..32768 skipped.
// y must hold 32769 values.
void HistogramLayer(const TEventPair* events, size_t count, int32_t column, double lo1, double hi1, double lo2,
                    double hi2, double* y);
// Centroid and error over channels a..b of y, counting only channels above 1 count, each
// rounded to 2 decimals.
void LayerCentroid(const double* y, int32_t a, int32_t b, double& centroid, double& error);
// The result records (value, centroid, error) drawn: n records, m one more than the largest
// rounded centroid.
void PlotLayerResults(int32_t n, int32_t m);
