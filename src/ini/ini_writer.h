// The INI writer: the current set-up as an INI file that the reader takes back, the block of a
// peak model, and the frame of an INI file to be filled in by hand.
//
// SaveIniFile(mode) and MakeIniFrame() are declared in core/neighbour_services.h (the File menu
// calls them).
#pragma once
#include <cstdint>
#include <string>

// A real in a (w:d) field: fixed point right-aligned in w, with the decimals its magnitude needs
// to stay within 1e-6 of it when d would not (zeros beyond d cut), or the exponent form (seven
// significant digits, zeros cut) for a magnitude that 17 decimals or 17 integer digits cannot
// hold; wider than w when it needs the room, never asterisks. The text reads back as a value that
// is written as the same text. A value that is not finite is written as 0.
std::string IniField(int32_t width, int32_t decimals, double x);
// An integer right-aligned in width (wider when it needs the room).
std::string IniIntField(int32_t width, int32_t n);
// The exponent form of the parameter rows and peak shapes: at least precision significant
// digits, more where the value needs them to stay within 1e-6 of itself (zeros beyond precision
// cut; the same fixpoint as IniField's); 0 for a value that is not finite.
std::string IniExponent(int32_t width, int32_t precision, double x);

// Sections 1 to 34 of the set-up into IniTextFile, open for writing.
void WriteIniSections();
// ".......Info about the Parameters" and the parameter text, or (without parameters) the message
// "No preparing yet performed" and nothing written.
void WriteIniParameterSection(uint8_t hasParameters);
// The block of PeakModels[i + 1] (i = 0..6) into IniTextFile.
void WriteSpecialModelInfo(int32_t i);
// The 49 lines of the frame.
extern const char* const IniFrameLines[49];
