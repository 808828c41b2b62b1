#include "core/model_tables.h"
#include "core/messages.h"

namespace {
// MarkedPointModels starts with every point on peak model 1.
struct AllOnModelOne {
  AllOnModelOne() {
    for (int32_t i = 1; i <= MarkedPointModelCount; ++i) MarkedPointModels[i] = 1;
  }
};
}  // namespace

LATTICE PhaseTable[MaxPhases + 1];
ATOM AtomTable[MaxAtoms + 1][MaxPhases + 1];
THklRecord HklTable[MaxReflections + 1][MaxPhases + 1];
TDSpacingRecord DSpacingList[MaxDSpacings + 1];
ParameterRecord parar[MaxParameters + 1];
int32_t MarkedPointModels[MarkedPointModelCount + 1];
static AllOnModelOne markedPointModelsStart;
THklRecord HklScratch[2];

int32_t MainMode = 0;
const std::string ModeNames[ModeCount] = {" Rietveld analysis ", " DozoruRovireru ", " DazazeDedev ",
                                          " Fitra analysis "};
int32_t ParameterArrayMode = 0;
uint8_t ParametersPending[ModeCount] = {1, 1, 1, 1};
uint8_t FitPending[ModeCount] = {1, 1, 1, 1};
uint8_t ResultsUnsaved[ModeCount] = {};
int32_t UseAvailableArray[ModeCount] = {};

int32_t PhaseCount = 1;
int32_t SpectrumCount = 1;
int32_t DSpacingCount = 0;
int32_t DSpacingDataType = 0;
int32_t PhaseModelFlags[MaxPhases + 1] = {};
uint8_t AnisotropyOn = 0;
uint8_t AnisotropicPhases[MaxPhases + 1] = {};
uint8_t M2Mode = 0;
double M2ModeValues[2] = {};
int32_t WidthMode = 0;
int32_t BackgroundMode = 0;
int32_t CynematicFit = 0;
uint8_t NoCrystalInfo = 1;
uint8_t FitControlsGiven = 0;
int32_t HklBounds[MaxPhases + 1][5] = {
    {}, {4, -4, 4, -4, 4}, {4, -4, 4, -4, 4}, {4, -4, 4, -4, 4},
    {4, -4, 4, -4, 4}, {4, -4, 4, -4, 4}, {4, -4, 4, -4, 4}};
double CellVolumes[MaxPhases + 1] = {0,
                                     DefaultCellVolume,
                                     DefaultCellVolume,
                                     DefaultCellVolume,
                                     DefaultCellVolume,
                                     DefaultCellVolume,
                                     DefaultCellVolume};
double VolumeMinimizers[MaxPhases + 1] = {};
double DMin = 0, DMax = 0;
double AverageDError = 0;
std::string SpaceGroupFileName = "vm.spg";
std::string PhaseGroupFileNames[MaxPhases + 1];
std::string WorkDir;
std::string SpectrumSlots = " x   ";
std::string SideButtonMask;
uint8_t StopButtonOption = 0;
uint8_t GraphXAxis = 0;
std::string TestTrueCell;
const std::string LatticeTypeLetters = "PABCFIR";

double ModelOutput[ModelOutputSize] = {};
double ModelChannel = 0;
double ModelSpectrum = 0;

bool TableIndexOk(int32_t i, int32_t lo, int32_t hi, const char* table) {
  if (lo <= i && i <= hi) return true;
  ShowMsg(std::string("Error, ") + table + " index " + std::to_string(i) + " outside " +
          std::to_string(lo) + ".." + std::to_string(hi));
  return false;
}

int32_t CappedCount(int32_t n, int32_t capacity, const char* table) {
  if (n <= 0) return 0;
  if (n <= capacity) return n;
  ShowMsg(std::string("Error, ") + table + ": " + std::to_string(n) + " cut to " +
          std::to_string(capacity));
  return capacity;
}
