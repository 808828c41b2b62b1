// The d-spacing file: measured reflections one a line, read into DSpacingList for the powder
// indexing. ReadDSpacingFile(name) is declared in core/neighbour_services.h (the indexing module
// calls it).
//
// A line holds up to six free-field numbers: d, error, abscissa, h, k, l (a missing number is 0);
// lines beginning with "*" are comments. In a file of several columns a first line without
// numbers is a heading; a first line of numbers is an entry. A file of one number a line holds d-spacings or, by
// DSpacingDataType, the abscissae (1 thetas, 2 two-thetas, 3 time-of-flight channels), turned
// into d with the calibration of the current spectrum:
//   angles:   two-theta = x + zero shift (a theta x counts as the two-theta 2x; the zero shift is
//             the spectrum's Delay, calculated two-theta = true two-theta - zero shift),
//             d = lambda / (2 sin theta), with 57.2958 degrees per radian;
//   channels: d = (x + delay) cw / (505.556 sin(Bragg angle) L).
// The list and its count change only when the whole file was read; at most 200 entries.
#pragma once
#include <cstdint>
#include "core/neighbour_services.h"

// Degrees per radian of the d-spacing conversions.
constexpr double DSpacingRadToDeg = 57.2958;

// The d-spacing of abscissa x of DSpacingDataType type (1..3) with the calibration of sp; d
// stays as given when the angle or the time-of-flight factor is 0.
class TSpectrum;
double AbscissaToD(const TSpectrum& sp, int32_t type, double x, double d);
