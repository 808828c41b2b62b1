#include "core/model_switches.h"

int32_t GraphMode = 0;
int32_t GraphIntervalView = 0;
uint8_t PhasesToPlot[MaxPhases + 1] = {0, 1, 1, 1, 1, 1, 1};
int32_t HklSymmetryChoice = 0;
double MergeThreshold = 0.5;
double WeakPeakLevel = 1.0;
uint8_t DeconvolutionMode = 0;
uint8_t NonEquidistantChannels = 0;
double ResolutionWidth = 0;
double ConvolutionType = 0;
