// Spectrum simulation: model spectra of every analysis mode (Rietveld or powder-match profile,
// peaks or sinuses of the peak mode), the peak-mode data set-up, simulated d-spacing sets for the
// powder indexing and the spectrum of a distribution of cells (anisotropic broadening).
//
// The dialogs (SimulateSpectrum, SetSimulationData, SimulateDSpacings) collect the set-up; the
// channels are filled by SimulateChannels and SimulateAnisoChannels, which ask nothing.
#pragma once
#include <cstdint>
#include <string>

// ---- state of the run ----
extern uint8_t SimulateWithErrors;  // " Simulate with errors"; 0
extern uint8_t SimulateSinuses;     // the peak mode simulates sines instead of peaks; 0
// The convolution of the anisotropic simulation: [1] step of c (A), [2] step of gamma (deg),
// [3], [4] left and right width along the c steps, [5], [6] along the gamma steps.
extern double ConvolutionParameters[7];
// 0 Gaussian, 1 Lorentzian, 2 Constant, 3 Linear, 4 Periodic, 5 Random.
extern int32_t ConvolutionKind;
extern int32_t SimulationSetupStep;      // the set-up menu's step 1..7; 1
extern uint8_t DisturbAfterSimulation;   // "Disturb initial parameters by 5% after simulation"; 1
// The spectrum the last simulation filled (1..4); 0 when it made none (cancelled, d-spacings).
extern int32_t SimulatedSpectrum;

// The progress window of a simulation: shown with the title, closed when it goes. Showing it
// and each new title let the window system run once (TimerYield), so that it is drawn.
class SimulationProgress {
public:
  explicit SimulationProgress(const std::string& title);
  ~SimulationProgress();
  SimulationProgress(const SimulationProgress&) = delete;
  SimulationProgress& operator=(const SimulationProgress&) = delete;
  void Title(const std::string& title);
};

// What the first dialog chose for one simulation.
struct TSimulationRun {
  int32_t mode = 0;    // MainMode: 0, 2 or 3
  int32_t target = 1;  // spectrum 1..4
  bool withErrors = false;
  bool useEffectiveSpectrum = false;
  bool singleWithBackground = false;
  bool singleWithoutBackground = false;
  int32_t singlePhase = 1;
};

// The model of FitParameters over IntervalFirst..IntervalLast of the target: name "SimSp" + the
// single phase + ".spc", Y, E, X, the count range, GraphMode 1, every mode's parameters pending.
// Modes 0 and 2 scale the model to a highest |value| of 5000; errors are sigma = sqrt(|y| + 1),
// with withErrors y + sigma g (one GaussianPair per channel, its first deviate), held at 0 or
// above unless the target is double-signed. Returns the scale factor (1 in mode 3).
double SimulateChannels(const TSimulationRun& run);

// The 5 % disturbance of parar 1..FitParameters->NPar: each record with different bounds moves
// by s max(0.05, |value| / 20), s the sign of Random01 - 0.5, held inside its bounds.
void DisturbParameters();

// value := sum over the marked points of A_i sin(2 pi channel / P_i), A_i and P_i records 6 + i
// and 6 + n + i of parar; a period of 0 adds nothing.
void SumOfSinuses(double& value, int32_t channel);

// "Simulate the Data".
void SimulateSpectrum();
// The peak-mode set-up into FitParameters (DialogOk 0 after Cancel or wrong bounds).
void SetSimulationData();

// ---- d-spacing sets ----
void SimulateDSpacings();
// The index bounds that the crystal system of the phase makes redundant are raised to 0.
void ClampHklBounds(int32_t phase);
// Removes the phase's reflections of d exactly 0, keeping the order of the others.
void DropMarkedHkls(int32_t phase);
// Steps of the d-spacing simulation without dialogs (the tests use them): the reflections of
// every phase in use inside [dmin, dmax] from HklBounds, merged closer than max(0.01, error);
// false with a message when none is left or too many for the list.
bool GenerateSimulatedReflections(double dmin, double dmax, double error);
// The list from the reflections: d + (r - 0.5) sqrt(12) error with disturb, then with
// deletePercent > 0 that share of random draws deleted, AssignDSpacings, at most maxCount kept.
void FillSimulatedDSpacings(double dmin, double dmax, double error, bool disturb, double deletePercent,
                            int32_t maxCount);

// ---- anisotropic simulation ----
// Phase 1's cell with c = c0 + i step1, gamma = gamma0 + j step2 (the saved cell and the steps of
// the running simulation), its metric into phase 1's metric records of FitParameters.
void SetAnisoCell(int32_t i, int32_t j);
// The weight of cell (i, j) by kind (ConvolutionParameters widths; a width of 0 is a delta).
double AnisoWeight(int32_t kind, int32_t i, int32_t j, const double (&widths)[4]);
// The 441-cell simulation into spectra 1 (sum), 2 (scratch) and 3 (undistorted) from
// NumberBuffer[1..7]; sum2 and sum3 receive the sums of spectra 1 and 3 before the scaling.
// False with a message (nothing changed) for phase 1 without reflections or the kind "Periodic".
bool SimulateAnisoChannels(double& sum2, double& sum3);
void SimulateAnisoSpectrum();
