// The spectrum input command: the dialogs that choose a spectrum, variance or effective-spectrum
// file and how to read it, the read itself with its analysis-bound rules, and the width and
// analysis-bound dialog of a freshly read spectrum.
//
// InputSpectrumFile(mode), ReadSpectrumFile(mode) and MakePoissonVariance(i) are declared in
// core/neighbour_services.h (the INI and phase-evolution modules call them too):
//   mode 0 the effective spectrum (spectrum 0), 1 the current spectrum, 2 its variance.
#pragma once
#include <array>
#include <cstdint>
#include "core/neighbour_services.h"

class TSpectrum;

// Captions of the background modes, [0..7] for background degree -1 (none), 0..5 (polynomial)
// and 6 (real shape): the caption of degree g is BackgroundModeNames[g + 1].
extern const std::array<const char*, 8> BackgroundModeNames;

// What the reading dialog chose (file kind 1..4, axis kind 0..2, the read options).
struct TSpectrumReadChoice {
  int32_t fileKind = 1;
  int32_t axisKind = 0;
  bool skipHeader = false, reverseBytes = false, startingChannelOne = true;
  bool askErrorType = false;    // " Specify error type if ASCII"
  bool asciiStructure = false;  // " Specify ASCII line structure "
};

// The reading dialog of mode (0, 1, 2) for spectrum sp, preselected from sp and the reader
// options; false after Cancel.
bool AskSpectrumReadChoice(int32_t mode, const TSpectrum& sp, TSpectrumReadChoice& c);

// Widths, analysis bounds and background degree of the width dialog.
struct TWidthBounds {
  double w0 = 0, dw0 = 0, w1 = 0, w2 = 0;
  double first = 1, last = 1;    // analysis bounds as typed
  int32_t backgroundDegree = 3;  // -1..6
};

// The width dialog for sp ("Check width information, analysis bounds"); false after Cancel or a
// field that is not a number.
bool AskWidthBounds(const TSpectrum& sp, TWidthBounds& wb);
// Stores the widths and the background degree into sp, and the analysis bounds rounded, put in
// ascending order and held inside the read range; bounds that miss the read range altogether
// give the whole read range.
void ApplyWidthBounds(TSpectrum& sp, const TWidthBounds& wb);

// The analysis bounds of sp after a read: held inside FirstChannel..LastChannel, the last
// raised to LastChannel when fewer than two channels apart, and the whole read range when that
// still leaves them inverted or equal. Returns the analysis last channel.
int32_t HoldAnalysisBounds(TSpectrum& sp);
