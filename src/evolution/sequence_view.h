// Viewing the evolution sequence and editing the module's auxiliary data: the pure parts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The lines of "Peaks and their bounds": lower bound, reference position, upper bound and model,
// rounded, for peaks 1..MarkedPointCount.
std::vector<std::string> PeakBoundsLines();
// The edited lines back: the k-th non-empty line becomes peak k (lower, reference, upper[,
// model]); MarkedPointCount, TrevoPeakTable, MarkedPointModels and MarkedPoints follow. False,
// after a message, for a line with fewer than three numbers (nothing changes). More than 60
// lines keep 60 with a message.
bool StorePeakBoundsLines(const std::vector<std::string>& lines);
// Half width at half maximum (channels) of the peak at channel position, from counts over
// first..last; 0 when it cannot be measured.
double EmpiricHalfWidth(const double* y, int32_t first, int32_t last, double position);
