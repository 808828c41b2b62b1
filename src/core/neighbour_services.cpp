#include "core/neighbour_services.h"

std::string EventFileDir;
double Smoother = 1.0;
int32_t RtofSwitch = 0;
int32_t EventGridNT = 80, EventGridNE = 80;
int32_t EventMapFirstT = 1, EventMapFirstE = 1;
int32_t EventWindowSwitch = 1;
std::string OutputSpectrumFileName;
TPlaneSettings PlaneSettings;
int32_t PictureSaveRequest = 0;
std::string PictureSaveName;

std::string IniParameterDir;
uint8_t InhibitWarnings = 0;
uint8_t KeepParameterBounds = 0;

double MarkedPoints[MarkedPointCapacity + 1];
int32_t MarkedPointCount = 0;
double PeakSensitivity = 1.0;
double PeakResolution = 1.0;
double SmallStatistics = 7.0;
int32_t MaxPeakCount = 150;
int32_t PeakSearchSectionLength = 256;
double DeltaPosition[7] = {0, 5, 5, 5, 5, 5, 5};
double DeltaW0[7] = {0, 4, 4, 4, 4, 4, 4};
double DeltaW1[7] = {0, 100, 100, 100, 100, 100, 100};
uint8_t PairedPeakMode = 0;
int32_t ExpFitMode = 0;
int32_t ExponentialCount = 0;
uint8_t FiveParameterFit = 0;
int32_t UsedPeakModelCount = 0;
double CalibrationPoints[CalibrationPointCapacity + 1];
int32_t CalibrationPointCount = 0;
int32_t PeakModelBoundFirst = 0, PeakModelBoundLast = 0;

int32_t CelixDigits = 5;
std::string CelixFileDir;
uint8_t CelixFitterCreated = 0;
uint8_t BinDefaultsSet = 0;
int32_t IndexingMode = 0;
uint8_t UseSpaceGroup = 0;
uint8_t BadReflectionMeasures = 0;
int32_t DSpacingSource = 1;
uint8_t RefineMarkedPositions = 1;
uint8_t DisplayCurrentFit = 1;
uint8_t UseVolumeRestriction = 0;
int32_t TrialCounter = 0;
TGridTrialRange GridTrialRanges[GridTrialCapacity + 1];

uint8_t TrevoAutoRun = 0;
uint8_t DialogWhileFitting = 1;
int32_t CurrentStep = 0;
int32_t TrevoMode = 2;
uint8_t CorrectForEffectiveSpectrum = 1;

double FourierMap[FourierGrid + 1][FourierGrid + 1][FourierGrid + 1];
TFourierSettings FourierSettings;
int32_t FourierPeakCount = 0;
TFourierPeak FourierPeaks[FourierPeakCapacity + 1];
