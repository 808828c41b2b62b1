// Switches of the crystal model, the fit preparation, the mode dialogs and the main window that
// the model reset sets. The modules named beside them give their meaning; they are stored in the
// core so that ResetModelState can reach them. The reset also sets GraphScaleMode and
// TrimmingCoefficient of core/graph_drawing.h.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

// What a click on the main graph means: 0 no graph, 1 and 2 a graph (point information), 3 and 4
// a click loop waits, 5 model number per marked point, 6 the event map. Non-zero: a graph is shown.
extern int32_t GraphMode;
extern int32_t GraphIntervalView;    // 0 the whole spectrum is shown, 1 only the interval
extern uint8_t PhasesToPlot[MaxPhases + 1];  // 1 = the phase's reflections are marked
extern int32_t HklSymmetryChoice;    // Form hkl: 0 the actual symmetry, 1 triclinic
// Powder match: channel distance below which reflections share one intensity, and the lower
// bound of the intensities.
extern double MergeThreshold;
extern double WeakPeakLevel;
extern uint8_t DeconvolutionMode;    // the peak-fit model deconvolutes with ResolutionWidth
// The peak-fit model takes X[ch] as the abscissa of channel ch (cleared by the model reset).
extern uint8_t NonEquidistantChannels;
// The deconvolution of the peak-fit model: the resolution width R (channels) and the share eta
// of its linear part, w' = eta (w + R) + (1 - eta) sqrt(w^2 + R^2).
extern double ResolutionWidth;
extern double ConvolutionType;
