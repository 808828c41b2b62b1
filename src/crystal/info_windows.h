// The information windows of the spectra, the d-spacing list, the phases and their reflections,
// and the editors of the spectrum header and of the d-spacing instrument data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// "Spectrum " + s: the header of spectrum s (0 the effective spectrum) in a 14-row grid with the
// name and the file type. text is the type label's scratch, shown for a type outside 1..4. On OK
// every field must be a number (else nothing is stored, DialogOk 0); the background mode outside
// -1..7 becomes 1, a working bound outside the channels becomes that channel; the channels must
// pass CheckInterval and lie in 1..32768, else nothing is stored and ok := 0. Then everything is
// stored and CheckSpectrumInfo sets ok. Cancel leaves ok as it was.
void EditSpectrumInfo(std::string& text, int32_t s, uint8_t& ok);
// ok := 1, then 0 for each failed condition, each shown with " for spectrum " + s: flight path,
// wavelength, channel width, Bragg angle, and Width 0 for a user spectrum.
void CheckSpectrumInfo(int32_t s, uint8_t& ok);
// The header editor for spectra 1..4, stopping at the first cancelled or failed one, then for
// the effective spectrum.
void ShowSpectrumInfo();
// Per spectrum 1..4 its variance file and the mean error and count over the working interval;
// Cancel ends.
void ShowVarianceInfo();

// "Dspacings Info": the instrument constants of the current spectrum, CynematicFit (0 or 1),
// AverageDError (shown only) and DSpacingDataType (0..3). mode 0 adds the note that the
// d-spacings are edited elsewhere. A field that is not a number or a type outside 0..3 stores
// nothing (DialogOk 0).
void EditDSpacingInfo(int32_t mode);
// The lines of the d-spacing list: header, one line per d-spacing, the average error.
std::vector<std::string> DSpacingLines();
// "No d-spacings", or EditDSpacingInfo(0) and then the list.
void ShowDSpacings();

// The lines of phase p's information window (nine without a space group).
std::vector<std::string> PhaseInfoLines(int32_t p);
// Per phase its information window; Cancel ends. "No phase information" while NoCrystalInfo.
void ShowPhaseInfo();
// The lines of phase p's reflection window (none when it has no reflections).
std::vector<std::string> HklInfoLines(int32_t p);
// Per phase its reflections with channel and structure factor; Cancel ends.
void ShowHklInfo();
