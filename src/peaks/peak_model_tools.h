// The peak-model tools: real models from a spectrum interval, special (analytic or stored)
// models with the Pseudo-Voigt component editor, the background model from marked points, the
// copy of models, the correction of a model by a fitted peak, the display of the models, and the
// smoothing of model data under the user's control. Model numbers here are the tools' 0..6
// (0 the background model), which are the core's PeakModels[1..7].
//
// The entry points FormRealPeakModel, FormSpecialModel, MakeRealBackgroundModel, MovePeakModels,
// TransformPeakModel and GraphPeakModel are declared in core/neighbour_services.h.
#pragma once
#include <cstdint>
#include <string>
#include "core/peak_model.h"

class TSpectrum;

// The smoother that the tools start SmoothModelDialog from (1.0).
extern double SmoothingParameter;

// The Pseudo-Voigt components: amplitudes, widths (model points) and centres (model points) of
// the Gaussian and Lorentzian parts, and the asymmetry of the widths.
struct TPseudoVoigt {
  double AG = 400.0, AL = 300.0, WG = 24.0, WL = 15.0, CG = 97.0, CL = 97.0, asymmetry = 0.1;
};
struct TPseudoVoigtParameters {
  TPseudoVoigt values;
  TPseudoVoigt best;
  double bestCriterion = 1e25;  // reset when the editor opens
  double a1 = 380.0, a2 = 408.0;  // data interval (channels) shown beside the profile
  bool showGauss = false, showLorentz = false;
};
extern TPseudoVoigtParameters PseudoVoigtParameters;
extern int32_t PseudoVoigtMetric;  // 0 max |F - D| / sqrt|F|, 1 their sum, 2 sum (F - D)^2 / F

// The model of tool number k (0..6).
TPeakModel& ToolModel(int32_t k);

// ---- computations ----

// The profile G + L on the model points 1..193 into total (and the parts into gauss and
// lorentz when not null): u = (C - i) / (W k), k = max(1 + asymmetry, 0.1) right of the centre
// (i > C) and max(1 - asymmetry, 0.1) otherwise; G = AG exp(-u^2), L = AL / (u^2 + 1).
void PseudoVoigtProfile(const TPseudoVoigt& v, double* total, double* gauss, double* lorentz);
// The model's shape from profile[1..193]: centred, its Lorentz tail rolled off over the table's
// outer third (TaperTails), analysed.
void FormPseudoVoigtModel(TPeakModel& model, const double* profile);
// The misfit of profile F against data D over points 1..193, points with F = 0 skipped.
double ComponentCriterion(const double* F, const double* D, int32_t metric);
// The refusal text for values the editor cannot use (a width not above 0, a negative amplitude,
// a value that is not a number); empty when they are fine.
std::string PseudoVoigtRefusal(const TPseudoVoigt& v);
// 4000 trials against data[1..193]: the current values first, then random values (Random01:
// AG := 700 R and AL := 700 - AG from one R, then WG := 24 R + 10, WL := 10 R + 5 and the
// asymmetry := 0.5 R, each from a fresh R); a criterion below the best makes the values the best;
// the best values are restored at the end.
void FitComponentsRandom(const double* data);
// The data curve of the editor: the counts of channels a1..a2 less a background, resampled onto
// the 193 points, shifted so that their maximum lies on the profile's, scaled to the profile's
// value at point 97. False (curve zero) when there are not 10 channels or the span is unusable.
bool ComponentDataCurve(const TSpectrum& spectrum, double a1, double a2, const double* profile, double* data);

// Copies model from to model to (tool numbers): the shape, its header values and the flags.
void CopyPeakModel(int32_t from, int32_t to);

// The background-model data: the marked points sorted, duplicates dropped, their counts
// interpolated (local cubic) at every channel from the first to the last into ScratchArray1;
// n := the number of channels. Returns a refusal text, or "" when the data are ready.
std::string BackgroundModelData(const TSpectrum& spectrum, int32_t& n);

// The transform arithmetic on channels a..b (n = b - a + 1 points): fitted[1..n] is shifted so
// that its maximum lies on the point of the data maximum (points shifted in take the nearest
// fitted value), then ScratchArray1[i] := 0.5 count + 0.25 fitted. dataPeak and fitPeak give the
// points of the two maxima.
void TransformMix(const double* counts, double* fitted, int32_t n, int32_t& dataPeak, int32_t& fitPeak);
// Subtracts the straight line through the first three and the last three of curve[1..n]; for a
// one-signed model negative values become 0.
void RemoveEndLine(double* curve, int32_t n, bool oneSigned);

// One smoothing of ScratchArray1[1..n] into ScratchArray2 for the dialog's value s: the core's
// smoother weighs roughness, so it gets 1 / s (a larger s follows the data more closely).
void SmoothModelData(int32_t n, double s);

// ---- dialogs ----

// The dialog window's check box in the yellow-on-panel style of the peak dialogs, 24 high.
void PlaceCheckBox(const std::string& caption, bool checked, int32_t x, int32_t y, int32_t width);

// Smoothing of the n points of ScratchArray1 under the user's control; the value reached is
// stored in RealModelOptions.Smoother. DialogOk = 0 after a cancel.
void SmoothModelDialog(int32_t n);
// The Pseudo-Voigt component editor; "Exit" puts the profile into model's shape.
void ShowModelComponents(TPeakModel& model);
// The components from the editor's grid; false with the values kept for refused values (a
// message), and with DialogOk = 0 as well for a cell that is not a number.
bool ReadComponentGrid();
