// The step graph of the sequence analysis in the dialog window (ShowSequenceStep and the other
// step outputs are declared in evolution/trevo_state.h).
#pragma once
#include <cstdint>

class TSpectrum;

// Row (before scaling) of the apex of the caret drawn under each marked position.
constexpr int32_t StepCaretRow = 288;
// Curves of the step graph: data, model, background (and the difference outside the simple
// analysis), then the components, at most seven.
int32_t StepGraphCurves(int32_t mode, int32_t components);
// The data, the model of the working interval at stage 4 (RietveldModel for mode 0, PeakFitModel
// for mode 3) and its parts through PlotEvolutionGraphs on Form2.Image1, with a marker and a caret
// under each fitted peak (mode 3) or reflection in the interval (mode 0).
void DrawStepGraph(int32_t mode, const TSpectrum& sp);
