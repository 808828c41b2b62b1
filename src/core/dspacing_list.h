// The measured d-spacing list in its canonical form (sorted by d descending, no zero or duplicate
// entries, an error on every entry) and three small estimates on the current spectrum and a phase.
#pragma once
#include <cstdint>

// Default error of d-spacing input (angstrom); 0.001 after a model reset.
extern double DefaultDError;

// Normalises DSpacingList and DSpacingCount and sets AverageDError.
void AssignDSpacings();
// The d-spacings at the two ends of the current spectrum's working interval, ascending. Time of
// flight widens the interval by 3 channels inside the loaded range; an axis of kind "any"
// writes nothing.
void DRangeToChannels(double& dFirst, double& dLast);
// Stores the mean multiplicity of phase k's reflections in its record; returns the divisor.
int32_t PhaseReflectionAverage(int32_t k);
// A starting scale of phase k from the largest count of the working interval.
void EstimatePhaseScale(int32_t k, double& scale);
