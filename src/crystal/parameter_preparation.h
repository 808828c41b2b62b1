// The preparation of the parameter array of a Rietveld or powder-match analysis from the phases,
// atoms, reflections and the current spectrum.
#pragma once
#include <cstdint>
#include <string>

class TParameter;
class TSpectrum;

// The record count of the parameter array actually available (the last preparation's, or the
// INI reader's); 0 at start.
extern int32_t PreparedParameterCount;
extern double DelayDeviation;   // allowed change of the delay record; 0
extern double AnisotropyBound;  // half range of the anisotropy records; 10

// Prepares parar and the engine's records for MainMode 0 or 2; checkRequested := 1 when the
// user asks to check the prepared array.
void PrepareParameterArray(int32_t& checkRequested);

// The ten records of every atom of phase from its atom table (base = the phase's record
// offset): occupation (times |moment| in a magnetic phase) and the thermal tensor fixed at their
// values; x, y, z free within the phase's atom accuracy (per cent) of their values, fixed where
// they are exactly 0, 1/4, 1/2, 3/4 or 1. n, a and b are left as they are.
void SetAtomParameterRows(int32_t phase, int32_t base);
// In a polar group the structure may slide along the polar directions with nothing changed: one
// coordinate along each is held at its value, those of the heaviest atoms first (the element's
// weight, then |b|), as many as the directions need, among the coordinates that are free and
// follow no other record. Every site moves along the polar directions, so the heaviest atom
// serves on a general and on a special site alike. Returns the result-file line, empty when
// nothing floats.
std::string FixFloatingOrigin(int32_t phase, int32_t base);
// The anisotropy records of every phase (Rietveld and powder-match layouts, with AnisotropyOn)
// and the two m2 records (with M2Mode). An anisotropic phase's records take its coefficients,
// from value - AnisotropyBound (or lower) to value + AnisotropyBound, tied by crystal system;
// the last three, and in powder match the first three, are fixed at 0; the records of the other
// phases are fixed at 0. The m2 records take M2ModeValues within -1 .. 1.
void SetAnisotropyRows();
// fixed = 0: lower -1, value, upper 1; otherwise lower = value = upper = value. n, a and b are
// left as they are.
void SetParameterRowValue(int32_t row, int32_t fixed, double value);

// Building blocks shared with the preparation of the phase-evolution steps, which asks nothing.
// Unless FitControlsGiven: the engine defaults into DefaultFitControls with 6 iterations, Step
// 0.99, Damp 0.01, EpsReq 0 (20, 0.25, 0.1 in powder match or with anisotropy).
void SetDefaultFitControls();
// Records 1..n reset: n own, a 1, b 0, value 0, bounds -1e11 and 1e12, error 0.
void ResetParameterRows(int32_t n);
// The scale record base + 1 of phase in the area convention of the profile model: the counts
// above the data's background over the working range against the sum of m LF |F|^2 of the
// phase's reflections there, the phases sharing the counts equally (powder match: fixed at 1);
// false after "Zero structure factors, phase=".
bool SetPhaseScaleRecord(int32_t phase, int32_t base, TSpectrum& sp);
// W0 within the spectrum's Dw0 (at least 0.1), the slope W1 within -100..100, the third width 0.
void SetPhaseWidthRecords(int32_t base, const TSpectrum& sp);
// Record 10 (Spectr.Corr) at 0: free within -1..1 on a time-of-flight spectrum outside powder
// match, fixed otherwise (on an angular spectrum it trades with the thermal factors).
void SetSpectrumCorrectionRecord(const TSpectrum& sp);
// The three moment-direction records of every phase when a phase is magnetic.
void SetMagneticRows();
// The engine's free records against MaxFreeParameters; above it the message and DialogOk 0.
bool FreeParameterCountAllowed(const TParameter& fit);
