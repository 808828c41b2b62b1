// The Fourier synthesis operation: the dialog, the structure-factor sources, the map and its
// section display, the peaks and their atoms, and the closing list.
#pragma once
#include <cstdint>
#include "fourier/fourier_state.h"

class TextFile;

// The whole operation (item "   FOURIER Synthesis" of the analysis selection); declared for the
// main window in core/neighbour_services.h.
void FourierSynthesis();
// Asks for a structure-factor file and reads its records of seven numbers (h, k, l, multiplicity,
// d, Fcos, Fsin) into FourierIndexList; DialogOk tells whether a file was read.
void ReadStructureFactorFile();
// The same from an open file (the reader behind the question).
void ReadStructureFactorRecords(TextFile& f);
// " Show the peaks": the peaks of the last synthesis in a list.
void OutputFourierResults();
// The sections of FourierMap one Z at a time in the dialog window.
void ShowFourierMap();
// Four pixels around the current grid point: (-a, -b), (a, b), (b, -a), (-b, a).
void DrawCrossMarker(int32_t a, int32_t b, int32_t colour);
