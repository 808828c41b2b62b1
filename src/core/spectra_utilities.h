// Operations on the spectrum objects of SpectrumList that many menus share: the missing-spectrum
// test, copying and clearing, the count range of the shown spectra, the data check before a fit,
// the channel under a graph pixel, the instrument lines of the result file and the file list of a
// spectrum sequence.
#pragma once
#include <cstdint>
#include <string>

class TextFile;
class TSpectrum;

// 1: a sequence list holds spectrum file names only; 0: spectrum and variance names alternate.
extern int32_t SpectraOnlySequence;

// Spectrum i (0..4) of SpectrumList; null, after a message, when i is outside 0..4 or there is
// no such spectrum.
TSpectrum* SpectrumAt(int32_t i);
// Spectrum i (0..4) when it exists, else null; quiet, for code that runs per point or only reads.
TSpectrum* SpectrumOrNull(int32_t i);
// The working interval of sp held inside the channel arrays: first >= 1, last <= MaxChannels.
void WorkingRange(const TSpectrum& sp, int32_t& first, int32_t& last);
// True, after the message "No spectrum " + i, when spectrum i (0..4) is not present and its
// name is not "DUMMY" (any case).
bool SpectrumMissing(int32_t i);
// The header of spectrum from onto spectrum to: names, file kinds, channel range, count range,
// axis kind, absorption, shape, flags, background, instrument values and calibration.
void CopySpectrumHeader(int32_t from, int32_t to);
// Channels 1..LastChannel of Y, E, X, the header and the working range; DialogOk := 0 when
// spectrum from is missing.
void CopySpectrum(int32_t from, int32_t to);
// Channels first..last of spectrum i: Y := 0, E := 1, X := the channel; the spectrum is present.
void ClearChannels(int32_t i, int32_t first, int32_t last);
// The largest and smallest count over the working interval of every spectrum 0..4 whose
// character in selection is not blank; ymax is at least 1 and ymin at most 0.
void SpectraYRange(const std::string& selection, double& ymax, double& ymin);
// The check before a fit: a warning for an axis of kind "any" outside the Fitra mode, and the
// OK/Cancel question on zero counts or errors in the working interval. DialogOk carries the
// result.
void CheckSpectrumData(int32_t i);
// The channel under pixel column x of the main graph: x NChannels / Scaled(512) + IntervalFirst.
double PixelToChannel(int32_t x);
// Three lines of the current spectrum's instrument values into the result file.
void PrintInstrumentHeader();
// Reads the file names of a spectrum sequence from list file name into SequenceFileNames
// (at most 1000; blank lines dropped) and count. IoOk := whether the list opened; a list that
// does not open is reported and leaves count as it was. Mode 0 logs the spectrum range, mode 1
// also the variance range.
void ReadSpectrumSequence(TextFile& f, const std::string& name, int32_t& count, int32_t mode);
// prefixNumber := the number before the first "_" of s (a non-digit counts as 0); s loses
// everything up to and including that "_"; number := the number before a "." of the rest.
// Without "_", prefixNumber is 0 and s stays.
void SplitAtUnderscore(std::string& s, int32_t& prefixNumber, int32_t& number);
