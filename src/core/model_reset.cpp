// The model reset and the random test atoms.
#include "core/dspacing_list.h"
#include "core/elements.h"
#include "core/graph_drawing.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/random.h"
#include "core/small_routines.h"
#include "core/spectrum.h"

namespace {
constexpr int32_t RandomAtomsPerPhase = 100;
}

void ResetModelState(int32_t n) {
  // "Reset the Program" passes 16834; anything outside the channel table is held to it.
  if (n < 1 || n > MaxChannels) {
    TableIndexOk(n, 1, MaxChannels, "channel");
    n = n < 1 ? 1 : MaxChannels;
  }
  // 1.
  for (int32_t i = 1; i <= MarkedPointModelCount; ++i) MarkedPointModels[i] = 1;
  for (auto& u : UseAvailableArray) u = 0;
  TestTrueCell.clear();
  DSpacingSource = 1;
  RefineMarkedPositions = 1;
  DisplayCurrentFit = 1;
  // 2.
  StopButtonOption = 0;
  WidthMode = 0;
  BackgroundMode = 0;
  CynematicFit = 0;
  FiveParameterFit = 0;
  PairedPeakMode = 0;
  // 3.
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    PhaseModelFlags[k] = 0;
    AnisotropicPhases[k] = 0;
    PhaseGroupFileNames[k].clear();
  }
  // 4.
  GraphXAxis = 0;
  FitControlsGiven = 0;
  for (auto& r : ResultsUnsaved) r = 0;
  SpectrumCount = 1;
  PhaseCount = 1;
  RtofSwitch = 0;
  // 5.
  GraphScaleMode = 0;
  TrimmingCoefficient = 0.5;
  GraphIntervalView = 0;
  MarkedPointCount = 0;
  PeakSensitivity = 1.0;
  PeakResolution = 1.0;
  UsedPeakModelCount = 1;
  GraphMode = 0;
  // 6.
  DSpacingCount = 0;
  DefaultDError = 0.001;
  M2Mode = 0;
  AnisotropyOn = 0;
  HklSymmetryChoice = 0;
  UseVolumeRestriction = 0;
  BadReflectionMeasures = 0;
  UseSpaceGroup = 0;
  DSpacingDataType = 0;
  for (int32_t i = 1; i <= GridTrialCapacity; ++i) GridTrialRanges[i].binWidth = 1.0;
  // 7.
  for (auto& p : ParametersPending) p = 1;
  RandomizeAtoms();
  NoCrystalInfo = 1;
  // 8.
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    const int32_t bounds[5] = {4, -4, 4, -4, 4};
    for (int32_t j = 0; j < 5; ++j) HklBounds[k][j] = bounds[j];
    CellVolumes[k] = DefaultCellVolume;
    VolumeMinimizers[k] = 0;
    PhasesToPlot[k] = 1;
    for (double& a : PhaseTable[k].Anisotropy) a = 0;
  }
  // 9.
  M2ModeValues[0] = M2ModeValues[1] = 0;
  SetParametersPending(15, 1);
  SetFitPending(15, 1);
  CurrentSpectrum = 1;
  SpectrumSlots = " x   ";
  // 10.
  DeconvolutionMode = 0;
  NonEquidistantChannels = 0;
  Smoother = 1.0;
  TrialCounter = 0;
  MergeThreshold = 0.5;
  WeakPeakLevel = 1.0;
  CelixDigits = 5;
  // The graph switches: a logarithmic x axis disables every click command and marker.
  LogXScale = 0;
  GraphFitErrors = 0;
  // 11.
  FourierSettings.threshold = 0.1;
  FourierSettings.xLow = 0, FourierSettings.xHigh = 1;
  FourierSettings.yLow = 0, FourierSettings.yHigh = 1;
  FourierSettings.zLow = 0, FourierSettings.zHigh = 1;
  FourierSettings.xStep = FourierSettings.yStep = FourierSettings.zStep = 1.0 / 30;
  // 12. and 13.
  PlaneSettings.xLow = PlaneSettings.yLow = 1.0;
  PlaneSettings.xHigh = PlaneSettings.yHigh = 4000.0;
  for (int32_t s = 1; s <= 4; ++s) {
    TSpectrum* sp = SpectrumList[s].get();
    if (!sp) continue;
    for (int32_t c = 1; c <= n; ++c) {
      sp->Y[c] = 0;
      sp->E[c] = 1.0;
      sp->X[c] = c;
    }
    sp->FirstChannel = sp->WorkFirst = 1;
    sp->LastChannel = sp->WorkLast = n;
  }
}

void RandomizeAtoms() {
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    for (int32_t i = 1; i <= RandomAtomsPerPhase; ++i) {
      ATOM& a = AtomTable[i][k];
      a.Name = ElementTable[RoundHalfEven(85 * Random01() + 1)].Symbol;  // rows 1..86
      a.Occupation = 1.0;
      a.ScatteringLength = 1.0;
      if (Random01() <= 0.125) a.T11 = Random01();
      a.T12 = a.T13 = a.T22 = a.T23 = a.T33 = 0;
      a.MagneticFlag = 0;
      for (double& f : a.FormFactor) f = 0;
      a.MagneticMoment = 1.0;
      // A random special position: the origin, or a half (or quarter) along one axis.
      switch (RoundHalfEven(10 * Random01())) {
        case 0: case 1: case 2: case 3:
          a.X = a.Y = a.Z = 0;
          break;
        case 4: case 5:
          a.X = 0, a.Y = 0.5, a.Z = 0;
          if (Random01() >= 0.5) a.Y = 0.25;
          break;
        case 6: case 7:
          a.X = 0.5, a.Y = 0, a.Z = 0;
          if (Random01() >= 0.5) a.X = 0.25;
          break;
        case 8: case 9:
          a.X = 0, a.Y = 0, a.Z = 0.5;
          if (Random01() >= 0.5) a.Z = 0.25;
          break;
        default:  // 10: the position stays
          break;
      }
    }
  }
}

void ResetAtom(int32_t i) {
  if (!TableIndexOk(i, 1, MaxFlatAtomIndex, "atom")) return;
  ATOM& a = AtomTable[(i - 1) / MaxPhases + 1][(i - 1) % MaxPhases + 1];
  a.Occupation = 1.0;
  a.X = 0.345678;
  a.Y = 0.7531;
  a.Z = 0.314159;
  a.T11 = a.T12 = a.T13 = a.T22 = a.T23 = a.T33 = 0;
  a.ScatteringLength = 1.0;
  a.FoundByFourier = 0;
}

void CopyAtom(int32_t atom, int32_t toAtom, int32_t phase, int32_t toPhase) {
  if (!TableIndexOk(atom, 1, MaxAtoms, "atom") || !TableIndexOk(toAtom, 1, MaxAtoms, "atom") ||
      !TableIndexOk(phase, 1, MaxPhases, "phase") || !TableIndexOk(toPhase, 1, MaxPhases, "phase"))
    return;
  AtomTable[toAtom][toPhase] = AtomTable[atom][phase];
}
