#include "core/model_snapshot.h"
#include <array>
#include "core/dspacing_list.h"
#include "core/graph_drawing.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/spectrum.h"

struct ModelSnapshot::Spectra {
  std::array<std::unique_ptr<TSpectrum>, 5> copies;
  std::array<std::unique_ptr<TPeakModel>, PeakModelCount + 1> models;
};

ModelSnapshot::ModelSnapshot() : spectra_(std::make_unique<Spectra>()) {
  // The tables.
  Keep(PhaseTable), Keep(AtomTable), Keep(HklTable), Keep(DSpacingList), Keep(parar), Keep(MarkedPointModels);
  // The mode and its flags, the counts and switches of the model.
  Keep(MainMode), Keep(ParameterArrayMode), Keep(ParametersPending), Keep(FitPending), Keep(ResultsUnsaved);
  Keep(UseAvailableArray), Keep(PhaseCount), Keep(SpectrumCount), Keep(DSpacingCount), Keep(DSpacingDataType);
  Keep(PhaseModelFlags), Keep(AnisotropyOn), Keep(AnisotropicPhases), Keep(M2Mode), Keep(M2ModeValues);
  Keep(WidthMode), Keep(BackgroundMode), Keep(CynematicFit), Keep(NoCrystalInfo), Keep(FitControlsGiven);
  Keep(HklBounds), Keep(CellVolumes), Keep(VolumeMinimizers), Keep(DMin), Keep(DMax), Keep(AverageDError);
  Keep(SpaceGroupFileName), Keep(PhaseGroupFileNames), Keep(SpectrumSlots), Keep(StopButtonOption);
  Keep(GraphXAxis), Keep(TestTrueCell), Keep(DefaultDError);
  // The switches of model_switches.h and graph_drawing.h.
  Keep(GraphMode), Keep(GraphIntervalView), Keep(PhasesToPlot), Keep(HklSymmetryChoice), Keep(MergeThreshold);
  Keep(WeakPeakLevel), Keep(DeconvolutionMode), Keep(NonEquidistantChannels), Keep(ResolutionWidth);
  Keep(ConvolutionType), Keep(GraphScaleMode), Keep(TrimmingCoefficient), Keep(LogXScale), Keep(GraphFitErrors);
  // The spectra's globals.
  Keep(CurrentSpectrum), Keep(IntervalFirst), Keep(IntervalLast), Keep(NChannels), Keep(VarianceMode);
  Keep(AsciiErrorType), Keep(AsciiColumnX), Keep(AsciiColumnY), Keep(AsciiColumnE), Keep(ErrorsKnown);
  Keep(SequenceFileNames), Keep(SequenceCount), Keep(SecondSequenceFileNames), Keep(SpecialModelRatio);
  Keep(RealModelOptions);
  // The neighbours' switches a command file sets.
  Keep(Smoother), Keep(RtofSwitch), Keep(PlaneSettings), Keep(MarkedPoints), Keep(MarkedPointCount);
  Keep(PeakSensitivity), Keep(PeakResolution), Keep(DeltaPosition), Keep(DeltaW0), Keep(DeltaW1);
  Keep(PairedPeakMode), Keep(ExpFitMode), Keep(ExponentialCount), Keep(FiveParameterFit);
  Keep(UsedPeakModelCount), Keep(CalibrationPoints), Keep(CalibrationPointCount), Keep(PeakModelBoundFirst);
  Keep(PeakModelBoundLast), Keep(CelixDigits), Keep(IndexingMode);
  Keep(UseSpaceGroup), Keep(BadReflectionMeasures), Keep(DSpacingSource), Keep(RefineMarkedPositions);
  Keep(DisplayCurrentFit), Keep(UseVolumeRestriction), Keep(TrialCounter), Keep(GridTrialRanges);
  Keep(TrevoMode), Keep(CorrectForEffectiveSpectrum), Keep(FourierSettings), Keep(DefaultFitControls);
  for (size_t s = 0; s < SpectrumList.size(); ++s)
    if (SpectrumList[s]) spectra_->copies[s] = SpectrumList[s]->Clone();
  for (size_t k = 0; k < PeakModels.size(); ++k)
    if (PeakModels[k]) spectra_->models[k] = std::make_unique<TPeakModel>(*PeakModels[k]);
  KeepFitter([] { return FitParameters.get(); });
}

ModelSnapshot::~ModelSnapshot() = default;

void ModelSnapshot::KeepFitter(FitterSource source) {
  if (TParameter* fitter = source()) fitters_.push_back({source, fitter->Records, fitter->NPar, fitter->Controls()});
}

void ModelSnapshot::Restore() const {
  for (const auto& k : kept_) k->Restore();
  // Into the objects that are there: whoever holds one of them keeps a valid pointer.
  for (size_t s = 0; s < SpectrumList.size(); ++s)
    if (SpectrumList[s] && spectra_->copies[s]) SpectrumList[s]->CopyFrom(*spectra_->copies[s]);
  for (size_t k = 0; k < PeakModels.size(); ++k)
    if (PeakModels[k] && spectra_->models[k]) *PeakModels[k] = *spectra_->models[k];
  for (const Fitter& f : fitters_) {
    TParameter* fitter = f.source();
    if (!fitter) continue;
    fitter->Records = f.records;
    fitter->NPar = f.count;
    fitter->Controls() = f.controls;
  }
}
