// The settings and tables of the powder indexing that only the indexing module reads: the
// volume minimiser, the grid-trial bins, the line counts per phase, the automatic choices of the
// preparation, and the unit's defaults.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"

extern const std::string IndexingTitle;  // "Powder Indexing"
// " Indexing only", " Full powder indexing", " Unit cell determination"; mode m is entry m + 2.
extern const LREC IndexingModeOptions;

extern double VolumeWeights[MaxPhases + 1];  // per phase, set by the search dialog
extern int32_t MinimizerKind;                // 0 " as A^2+B^2+C^2 ", 1 " as ABC "

// Kept between preparations; 1 at start.
extern uint8_t AutoHklBounds;
extern uint8_t AutoCellVolume;
extern uint8_t AutoInitCell;

// Grid trials: bins of a, b, c, alpha, beta, gamma per phase, [1..6][1..6], and starts per bin.
extern int32_t BinCounts[MaxPhases + 1][7];
extern int32_t BinTriesDefault;
// The least number of lines a phase needs (7 triclinic, 5 monoclinic, 4 orthorhombic, 3 the
// others), set by the preparation, and the lines assigned to each phase.
extern int32_t MinimumPhaseLines[MaxPhases + 1];
extern int32_t PhaseLineCount[MaxPhases + 1];

// The least number of lines of a crystal system.
int32_t SystemMinimumLines(int32_t system);
// SetDefaultBins (core/neighbour_services.h): with BinDefaultsSet clear, phase p's bins from the
// table of its system (first phase, later phases); then the six counts into GridTrialRanges and
// TriesPerBin := BinTriesDefault. The defaults count as set once the pass reaches the last phase.
// After RecalcIndexingData, ok := ok and every phase has its minimum of lines; one phase: true.
void EnoughLinesPerPhase(bool& ok);
// DSpacingSource 1, RefineMarkedPositions 1, DSpacingFileName empty, DisplayCurrentFit 1.
void InitCelixDefaults();
extern std::string DSpacingFileName;
