// The check of the Rietveld parameter array before a fit: phases in which nothing of a kind is
// fixed, atoms that do not scatter, free moment directions, reflections outside the spectrum,
// more free crystal parameters than reflections, free parameters of a magnetic phase.
#pragma once
#include <cstdint>
#include <string>

// Appends the finding text + phase to InfoLines when nothing of that kind was found fixed
// (fixedFound 0). Line 1 of InfoLines is kept for the header.
void AddCheckLine(uint8_t fixedFound, const std::string& text, int32_t phase);
// Collects the findings on parar (and, for the free crystal parameters, on the engine's
// records) and shows them in one list. DialogOk is 0 afterwards only when the user cancelled
// that list; powder match makes no check. Changes no table.
void CheckParameterArray();
