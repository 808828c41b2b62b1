// State of the phase-evolution module (the Trevo sequence analysis) and its routines.
//
// The module follows one sample through a sequence of spectra: each spectrum is loaded,
// corrected, searched for peaks and fitted by one of three analysis kinds (TrevoMode 0 simple
// peaks, 1 Fitra peak fit with cell refinement, 2 Rietveld); one "#Step" block per spectrum goes to
// the summary file QuorinFile. The core holds TrevoAutoRun, CurrentStep, TrevoMode,
// CorrectForEffectiveSpectrum and KeepParameterBounds (core/neighbour_services.h), the phase
// records (core/trevo_records.h), SpectrumDir and SequenceFileNames (core/spectrum.h) and the
// list layout SpectraOnlySequence (core/spectra_utilities.h; 1 "sp", 0 "sp/var": variance of
// spectrum i at name i + SequenceCount).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "core/trevo_records.h"

// ---- the sequence ----
constexpr int32_t SequenceStepCapacity = 1000;  // spectra of a sequence ("sp")
constexpr int32_t TrevoPeakCapacity = 60;       // peaks of a step
constexpr int32_t ShortOutputCapacity = 15;
constexpr int32_t ZeroWeightIntervalCapacity = 10;

extern std::string SequenceListName;  // the list file the names came from, at most 75 characters
// Step range: 0 stands for 1 (isp1) and for SequenceCount (isp2).
extern int32_t isp1, isp2;
extern double dref;   // angstrom: accuracy of the reflection identification
extern double ucdif;  // angstrom: largest admissible change of a carried cell in one step

// ---- the eleven options of the settings dialog (CorrectForEffectiveSpectrum and
// KeepParameterBounds live in the core, DialogWhileFitting beside them) ----
extern uint8_t ReverseSequence;
extern uint8_t ReflectionsToPeaks;
extern uint8_t ZeroWeightedCounts;
extern uint8_t PrintEmpiricHalfwidths;
extern uint8_t FullResultOutput;
extern uint8_t UseAvailableParameterArray;
extern uint8_t ShortFitraOutput;
extern uint8_t SuppressExponentialBackground;

// ---- side values ----
extern double compr;      // compression factor, an integer in use
extern double PRFscale;   // divisor of the counts in the simple analysis
extern double Regulizer;  // weight of the previous step's positions in the next start values

struct TZeroWeightIntervals {
  int32_t count = 0;                                   // at most 10
  int32_t first[ZeroWeightIntervalCapacity + 1] = {};  // [1..count] channels
  int32_t last[ZeroWeightIntervalCapacity + 1] = {};
};
extern TZeroWeightIntervals TrevoZeroWeightIntervals;

// ---- loop state ----
extern int32_t CurrentSequenceSpectrum;  // the spectrum index the step analyses
extern int32_t LastStep;                 // the last step begun
extern int32_t IdentificationCount;      // identification reflections of all phases
extern int32_t MaxPeaksFound;            // the most peaks met since the module was entered
extern uint8_t CompressionAsked;         // the compression dialog was shown in this run
extern uint8_t AngularCorrectionSaid;    // "no normalization" of an angular spectrum said in this run

struct TSequenceStepPeaks {
  int32_t count = 0;
  double positions[TrevoPeakCapacity + 1] = {};  // [1..60] channels
};
extern TSequenceStepPeaks SequenceStepPeaks[SequenceStepCapacity + 1];  // [spectrum index 1..1000]

// ---- peak table of the simple analysis and the Fitra short output ----
struct TTrevoPeak {
  double lower = 0, reference = 0, upper = 0;  // channels
  double model = 0;                            // peak model number, held as a real
  double previous = 0;                         // position fitted in the previous step
};
extern TTrevoPeak TrevoPeakTable[TrevoPeakCapacity + 1];  // [1..60]

struct TShortOutputPeak {
  // first and last spectrum index, lowest and highest channel, number of peaks
  int32_t firstSpectrum = 0, lastSpectrum = 0, lowChannel = 0, highChannel = 0, peaks = 0;
};
extern int32_t ShortOutputPeakCount;
extern TShortOutputPeak ShortOutputPeaks[ShortOutputCapacity + 1];  // [1..15]

// The remembered choices of the evolution display: phase, h, k, l, and the path chosen.
struct TEvolutionChoices {
  int32_t phase = 1, h = 2, k = 1, l = 1, choice = 1;
};
extern TEvolutionChoices EvolutionChoices;

// ---- defaults and phases ----
// The module's start values and the three default phases (their PhaseTable cells too); run once
// at program start, after the default phases and before any file is read.
void InitTrevoDefaults();

// ---- cell refinement from reflection positions ----
// w := (A_j / W0)^2, 0 without an assigned amplitude.
void ReflectionWeight(double& w, int32_t p, int32_t j);
// The carried cell of phase p fitted to its assigned identification d-spacings; a system with
// fewer weighted reflections than unknowns keeps the PhaseTable cell.
void RefineCellFromReflections(int32_t p);
// One cell line of phase p to LogFile ("UNIT Cell = " first in mode 1).
void ShowUnitCell(int32_t p, int32_t mode);

// ---- loading and correcting one spectrum ----
// The full name of a sequence file: SpectrumDir joined with the platform separator.
std::string SequenceFilePath(const std::string& name);
// Reads and corrects spectrum index of the sequence; DialogOk := 0 when a file is missing.
void LoadSequenceSpectrum(int32_t index);
void CorrectForCompression();
void SetSpectrumRange();
void SuppressExpBackground();

// ---- the menu and the sequence analysis ----
void AskSequenceSettings();
// mode 0 Rietveld, 2 DazazeDedev, 3 Fitra.
void PrepareSequenceAnalysis(int32_t mode);
// The spectrum index of step (reversed when ReverseSequence is set).
int32_t SequenceIndexOfStep(int32_t step);
// The per-step fit the analysis loop calls (TrevoMode 0, 1, 2). Tests replace it with a recording
// step; null restores the module's own step.
using TSequenceStep = std::function<void(int32_t index)>;
void SetSequenceStepFunction(TSequenceStep step);
void ViewSpectrumSequence(int32_t& count);
void EditTrevoAuxData();

// ---- per-step fits, step display and summary file (built beside the driver) ----
// The parameter array of the Rietveld kind prepared without questions.
void PrepareParameterArrayQuiet();
void FitSpectrumSimple(int32_t index);
void FitSpectrumFitra(int32_t index);
void FitSpectrumRietveld(int32_t index);
// The repeat rule after a fit; repeated is 1 on the repeat.
void CheckFitAndWidenBounds(int32_t repeated);
// Background start values for background degree k.
void InitBackgroundParams(int32_t k);
// The Rietveld step's output; full writes the full result block.
void ShowRietveldOutput(int32_t mode, int32_t full);
// The step's information lines, summary block and (with DialogWhileFitting) graph; mode 0
// Rietveld, 3 peaks.
void ShowSequenceStep(int32_t mode);
void ShowFitraShortOutput(int32_t index);
// One "#Step" block of spectrum index to QuorinFile; mode as ShowSequenceStep.
void WriteStepBlock(int32_t index, int32_t mode);
void DisplayEvolution();
