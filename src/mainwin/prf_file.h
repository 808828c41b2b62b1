// The PRF profile file of a time-of-flight Rietveld or powder-match fit: a tab-separated table of
// observed and calculated profile, difference, background and reflection positions in the layout
// powder-pattern plotters read.
#pragma once

class TextFile;

// True when the PRF file can be written for the shown spectrum and mode (time of flight, MainMode
// 0 or 2); else the reason in a message and false, before any file is created.
bool PrfFileAllowed();
// Writes the rows into the opened file f and closes it.
void WritePrfFile(TextFile& f);
