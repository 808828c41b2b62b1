#include "spectrum/spectrum_functions.h"

uint8_t SmootherGiven = 1;  // the start value of Smoother (1.0) is positive
uint8_t SubtractEnvelope = 0;
uint8_t FourierFindPeriods = 0;
uint8_t FourierSmooth = 0;
uint8_t FourierMakeReal = 0;
double FourierSmoothFraction = 0.5;
double InsertValue = 1000000.0;
int32_t LastSpectrumFunction = 0;
int32_t LastResultSpectrum = 0;
int32_t NewFirstChannel = 1, NewLastChannel = 1;
