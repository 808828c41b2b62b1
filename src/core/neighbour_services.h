// What the core, the crystal model and the main window use of the later modules (spectrum
// transforms, INI language, peak search and fitting, powder indexing, phase evolution, Fourier
// synthesis, built-in tests): their shared state with its defaults, and their entry points.
// The entry points are defined by the modules themselves.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TImageCanvas;
class TSpectrum;
class TextFile;

// ---- Spectrum input, transforms and simulation ----
extern std::string EventFileDir;          // folder of event files (the working folder at start)
extern double Smoother;                   // smoother of SmoothSpectrum; 1.0 after a model reset
extern int32_t RtofSwitch;                // switch of the RTOF difference spectrum; 0 after a reset
extern int32_t EventGridNT, EventGridNE;  // cells of the (t, E) event map along t and E
extern int32_t EventMapFirstT, EventMapFirstE;  // first t and E cells of the shown map
extern int32_t EventWindowSwitch;         // set to 1 by the model tables' initialisation
extern std::string OutputSpectrumFileName;  // scratch name of OutputSpectrumFile; empty at start
// The plane-distribution settings: a count, then lower and upper bound of each axis.
struct TPlaneSettings {
  int32_t count = 0;
  double xLow = 1.0, xHigh = 4000.0, yLow = 1.0, yHigh = 4000.0;
};
extern TPlaneSettings PlaneSettings;
// The request to save the graph as a BMP picture after it is drawn (1 = save).
extern int32_t PictureSaveRequest;
extern std::string PictureSaveName;

void InputSpectrumFile(int32_t mode);
// Returns the analysis last channel of the spectrum read.
int32_t ReadSpectrumFile(int32_t mode);
void OutputSpectrumFile();
void MakePoissonVariance(int32_t i);
void SpectrumFunctions();
void SimulateSpectrum();
void MakeRtofSpectrum();
void ShowSpectrum();
void TurnFitToSpectrum();
void NormalizeSpectrum();
void FitEffectiveSpectrumTail();
void SpectrumArithmetic();
void GetAbsorptionCoefficients();
void EventsToSpectrum();
void BuildBackgroundByMarkedPoints();
// Mode 0 smoothing, 1 envelope from below of the current spectrum into spectrum r; target 0
// subtracts the envelope into spectrum 4, 1 into the current spectrum, 2 not at all.
void SmoothSpectrum(int32_t mode, int32_t r, int32_t target);
void PlaneDistribution(TImageCanvas& headerImage, TImageCanvas& graphImage, int32_t mode);
void SetUpDn2EffectiveSpectrum();
// The d-spacing file name into DSpacingList and DSpacingCount (the indexing module's source of
// measured d-spacings); DialogOk := 0 when nothing was taken.
void ReadDSpacingFile(const std::string& name);

// ---- INI command language ----
extern std::string IniParameterDir;  // folder of parameter files read by INI commands
extern uint8_t InhibitWarnings;      // the INI option " Inhibit warnings "
// The INI option " No change of parameter bounds " (also option 9 of the phase evolution): the
// steps that prepare parameters without questions leave the bounds as read.
extern uint8_t KeepParameterBounds;

void ReadIniFile(int32_t mode);
void SaveIniFile(int32_t mode);
void MakeIniFrame();
// Opens the analysis of MainMode as the main window does after reading an INI file (0 and 2 the
// Rietveld menu, 1 Celix, 3 Fitra); the INI command FS calls it. Installed by the main window.
extern void (*OpenModeAnalysisHook)();
// The parameter array of MainMode as text rows (the INI parameter section): a comment, the
// column header, then per record n (3), lower, value, upper (exponent form, 13), a, b (7:3) and
// the name; the phases' cell rows as cell constants. To file, or with toList appended to list.
void WriteParameterArrayText(TextFile& file, std::vector<std::string>& list, uint8_t toList);

// ---- Peak search and peak fitting ----
constexpr int32_t MaxFreeParameters = 614;  // matrix capacity of the fit engine
constexpr int32_t MarkedPointCapacity = 1000;
extern double MarkedPoints[MarkedPointCapacity + 1];  // channels, 1-based
extern int32_t MarkedPointCount;
extern double PeakSensitivity;  // 1.0 after a model reset
extern double PeakResolution;   // 1.0 after a model reset; 0 switches the peak search off
extern double SmallStatistics;  // 7.0: count level under which a search section is poor in counts
extern int32_t MaxPeakCount;    // 150: the most peaks the search keeps
// Nominal section length of the peak search in points, 256 (printed as "linx"); the search holds
// a section to 16..8192 channels whatever is set here.
extern int32_t PeakSearchSectionLength;
// Allowed changes of position, W0 and W1 (channels) per peak model 1..6.
extern double DeltaPosition[7], DeltaW0[7], DeltaW1[7];
extern uint8_t PairedPeakMode;     // the Fitra model variant: 1 (and 2) paired peaks, 3 records a peak
extern int32_t ExpFitMode;
extern int32_t ExponentialCount;   // exponentials of the Fitra exponential fit; 0 = a peak fit
// The Fitra array is the five-record array of the convoluted-exponential fit.
extern uint8_t FiveParameterFit;
extern int32_t UsedPeakModelCount;  // peak models in use (CheckPeakModelNumbers); 1 after a reset
constexpr int32_t CalibrationPointCapacity = 100;
extern double CalibrationPoints[CalibrationPointCapacity + 1];
extern int32_t CalibrationPointCount;
// First and last channel of the data interval of a real peak model (0 when none is chosen).
extern int32_t PeakModelBoundFirst, PeakModelBoundLast;

// The automatic peak search over channels max(2, FirstChannel) .. LastChannel - 1 of spectrum;
// the widths are the full peak widths (channels) at the two ends and their uncertainty. Replaces
// MarkedPoints and MarkedPointCount.
void FindPeaks(TSpectrum& spectrum, int32_t FirstChannel, int32_t LastChannel, double WidthBegin,
               double WidthEnd, double WidthAccuracy);
// The peaks and periods of NumberBuffer[1..n] (a periodogram), into PeriodPeaks; resets
// PeakResolution to 1.0.
struct TPeriodPeak {
  double area = 0.0, position = 0.0, width = 0.0, period = 0.0;
};
constexpr int32_t PeriodPeakCapacity = 1000;
extern TPeriodPeak PeriodPeaks[PeriodPeakCapacity + 1];  // [1..PeriodPeakCount]
extern int32_t PeriodPeakCount;
void FindPeaksInArray(int32_t n, double MergeFactor, double MinRatio, double Scale);
void FindPeaksDialog();
void FormRealPeakModel(int32_t mode);
void MakeRealBackgroundModel();
void FormSpecialModel();
void TransformPeakModel();
void MovePeakModels(int32_t& from, int32_t& to);
void GraphPeakModel();
void FitraMenu();

// ---- Powder indexing ----
extern int32_t CelixDigits;          // digits after the point in the indexing output, at most 10
extern std::string CelixFileDir;
extern uint8_t CelixFitterCreated;   // 1 once the indexing fitter exists
extern uint8_t BinDefaultsSet;       // set by SetDefaultBins, cleared by AskNumberOfPhases
// Options of the indexing dialog, 0 until it sets them: IndexingMode 1 is the unit-cell
// determination (index lists copied from the d-spacings); UseSpaceGroup removes the reflections
// that the phases' operations make equivalent.
extern int32_t IndexingMode;
extern uint8_t UseSpaceGroup;
// " Measures against bad reflections": every reflection may serve several lines; 0 after a reset.
extern uint8_t BadReflectionMeasures;
// Settings of the indexing module, 1 after a model reset: where the d-spacings come from
// (1 a file), whether marked positions are refined, whether the current fit is shown.
extern int32_t DSpacingSource;
extern uint8_t RefineMarkedPositions;
extern uint8_t DisplayCurrentFit;
extern uint8_t UseVolumeRestriction;  // volume regularisation of the search; 0 after a reset
extern int32_t TrialCounter;          // trials run since the current search began
// The grid trials of the indexing search, one entry per indexing parameter (at most 27).
constexpr int32_t GridTrialCapacity = 27;
struct TGridTrialRange {
  double binWidth = 1.0;
  int32_t binCount = 1;
  int32_t radix = 1;
};
extern TGridTrialRange GridTrialRanges[GridTrialCapacity + 1];  // [1..27]

void SetDefaultBins(int32_t phase, int32_t system);
// The indexing fitter on first use (the Celix menu and the INI parameter command); nothing when
// it exists.
void CreateCelixFitter();
void CelixMain();
// Frees the indexing fitter (the session end calls it when CelixFitterCreated is 1).
void FreeCelixFitter();

// ---- Phase evolution ----
extern uint8_t TrevoAutoRun;  // 1 while the automatic evolution driver runs
// " Dialog while fitting" of the evolution settings: steps and the auto-calibration show their
// lists and wait for OK; 1 at start.
extern uint8_t DialogWhileFitting;
extern int32_t CurrentStep;   // step counter of the sequence analysis; 0 at start
// Per-spectrum analysis of the evolution: 0 simple peaks, 1 peak fit, 2 Rietveld (default).
extern int32_t TrevoMode;
extern uint8_t CorrectForEffectiveSpectrum;  // divide by the effective spectrum; 1 at start

void TrevoMain();

// ---- Fourier synthesis ----
constexpr int32_t FourierGrid = 32;
// The map of the current phase, [x][y][z] with indices 1..32 (x slowest).
extern double FourierMap[FourierGrid + 1][FourierGrid + 1][FourierGrid + 1];
struct TFourierSettings {
  double threshold = 0.1;
  double xLow = 0, xHigh = 1, yLow = 0, yHigh = 1, zLow = 0, zHigh = 1;
  double xStep = 1.0 / 30, yStep = 1.0 / 30, zStep = 1.0 / 30;
  int32_t slice = 0;
};
extern TFourierSettings FourierSettings;
extern int32_t FourierPeakCount;
struct TFourierPeak {
  double x = 0, y = 0, z = 0, amplitude = 0;
};
constexpr int32_t FourierPeakCapacity = 1000;
extern TFourierPeak FourierPeaks[FourierPeakCapacity + 1];  // [1..1000]

void FourierSynthesis();

// ---- Built-in tests ----
void TestMenu();
