// Output, listing and fit-to-spectrum commands of the current spectrum.
//
// OutputSpectrumFile, ShowSpectrum and TurnFitToSpectrum are declared in core/neighbour_services.h
// (the main window's items and the save loop after a simulation call them):
//   OutputSpectrumFile  writes the current spectrum (counts or errors) in one of the four file
//                       kinds of core/spectrum.h; the output name is OutputSpectrumFileName, the
//                       in-microseconds flag OutputMicroseconds, both core's.
//   ShowSpectrum        lists channel, X, counts and error of a spectrum in pages of 2000 lines.
//   TurnFitToSpectrum   copies the current spectrum into spectrum t (1..4) and puts the model of
//                       the last fit of MainMode (stage 4) into its working range.
#pragma once
#include <cstdint>
#include <string>
#include "core/neighbour_services.h"

class TSpectrum;

// Options of the output dialog kept between calls, beside core's OutputSpectrumFileName and
// OutputMicroseconds: the exponent format of the text kinds and X[k] as the abscissa of kind 4
// (always set for an angular spectrum).
extern uint8_t OutputExponentFormat;
extern uint8_t OutputChannelsAsX;

// Lines of one listing page.
constexpr int32_t ListingPageLines = 2000;

// The number of decimals typed into the output dialog: a number rounded and held to 0..15; a
// text that is no number gives 0. Both refusals show "N of digits wrong= " + text.
int32_t OutputDecimals(const std::string& text);

// One line of the listing of channel k of sp: channel (5; FormatInteger, as FormatNumber keeps a
// place for the sign), X (12, 4 decimals), Y (11) and E (9) with the given decimals.
std::string ListingLine(const TSpectrum& sp, int32_t k, int32_t decimals);
// Decimals of the listing by the count range: below 10 two, below 100 one, else none.
int32_t ListingDecimals(const TSpectrum& sp);

// True when TurnFitToSpectrum has a fit to evaluate: in modes 0, 2 and 3 the fit of MainMode
// itself; in mode 1 (no model: the copy stays) a fit of any of the modes 0, 2, 3.
bool FitAvailableForSpectrum();
