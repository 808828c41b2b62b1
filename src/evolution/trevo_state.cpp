// State of the phase-evolution module.
#include "evolution/trevo_state.h"

std::string SequenceListName;
int32_t isp1 = 0, isp2 = 0;
double dref = 0.01;
double ucdif = 0.5;

uint8_t ReverseSequence = 0;
uint8_t ReflectionsToPeaks = 0;
uint8_t ZeroWeightedCounts = 0;
uint8_t PrintEmpiricHalfwidths = 0;
uint8_t FullResultOutput = 0;
uint8_t UseAvailableParameterArray = 1;
uint8_t ShortFitraOutput = 0;
uint8_t SuppressExponentialBackground = 0;

double compr = 1.0;
double PRFscale = 1.0;
double Regulizer = 0.1;
TZeroWeightIntervals TrevoZeroWeightIntervals;

int32_t CurrentSequenceSpectrum = 0;
int32_t LastStep = 0;
int32_t IdentificationCount = 0;
int32_t MaxPeaksFound = 0;
uint8_t CompressionAsked = 0;
uint8_t AngularCorrectionSaid = 0;
TSequenceStepPeaks SequenceStepPeaks[SequenceStepCapacity + 1];

TTrevoPeak TrevoPeakTable[TrevoPeakCapacity + 1];
int32_t ShortOutputPeakCount = 0;
TShortOutputPeak ShortOutputPeaks[ShortOutputCapacity + 1];
TEvolutionChoices EvolutionChoices;
