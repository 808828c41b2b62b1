// The sequence analysis of the phase-evolution module over 100 spectra: the 20 committed spectra of
// the synthetic sequence (tests/evolution/data/sequence) listed five times, through the real loop
// (load, peak search, the step fit, the outputs, the summary block) with the dialogs answered by
// the scripted backend. Arguments: 2 the Rietveld kind (quiet preparation at the first step, 6
// iterations, Step 0.99, Damp 0.01), 1 the Fitra kind. "step_ms" is the mean time of a step;
// "reference_ms" one refinement of the first spectrum with the same phases and controls, and
// "ratio" step_ms over it (the target: at most 1.25 for the Rietveld kind).
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "bench_setup.h"
#include "core/fit_engine.h"
#include "core/scripted_ui.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "crystal/profile_model.h"
#include "evolution/sequence_driver.h"
#include "evolution/trevo_state.h"

namespace {

const std::string SequenceDir = std::string(VKEST_SOURCE_DIR) + "/tests/evolution/data/sequence";

// The two phases of the generator's truth file with their atoms, cells a tenth of a per cent off.
void SetUpSequencePhases() {
  std::ifstream truth(SequenceDir + "/truth.txt");
  std::string line;
  for (int32_t p = 1; p <= 2; ++p) PhaseTable[p].AtomCount = 0;
  while (std::getline(truth, line)) {
    std::istringstream in(line);
    std::string key, name;
    in >> key;
    if (key == "phase") {
      int32_t p = 0, group = 0, setting = 0;
      TBenchPhase s{};
      in >> p >> name >> group >> setting;
      for (double& c : s.cell) in >> c;
      for (int32_t i = 0; i < 3; ++i) s.cell[static_cast<size_t>(i)] *= 1.001;
      s.group = group, s.setting = setting;
      SetUpBenchPhase(p, s, TBenchAtoms{0, 0, 0, 0, 0, 0, 0});
    } else if (key == "atom") {
      int32_t p = 0;
      in >> p >> name;
      LATTICE& phase = PhaseTable[p];
      ATOM& a = AtomTable[++phase.AtomCount][p];
      a = ATOM{};
      a.Name = name, a.IsotropicFlag = 1;
      in >> a.ScatteringLength >> a.X >> a.Y >> a.Z >> a.Occupation >> a.T11;
    }
  }
}

// The scripted session of one analysis of kind 2 (Rietveld) or 1 (Fitra) over 100 spectra.
class SequenceCase {
public:
  explicit SequenceCase(int32_t kind) {
    TSpectrum& sp = SetUpBenchSpectrum(880, 2560, 2600, 16.0);
    sp.FileType = 3, sp.W0 = sp.W1 = 2.5, sp.Dw0 = 1.5, sp.BackgroundDegree = 3;
    CreateFitParameters();
    PhaseCount = 2;
    SetUpSequencePhases();
    for (int32_t m = 2; m <= 3; ++m) PeakModels[m]->TabulatePeakModel();
    for (int32_t p = 1; p <= 2; ++p) TrevoPhases[p] = TTrevoPhase{};
    SpectrumDir = SequenceDir, SpectraOnlySequence = 1, SequenceCount = 100;
    for (int32_t i = 1; i <= 100; ++i)
      SequenceFileNames[static_cast<size_t>(i)] = "evo_" + std::string(((i - 1) % 20) < 9 ? "0" : "") +
                                                   std::to_string((i - 1) % 20 + 1) + ".dat";
    CorrectForEffectiveSpectrum = 0, DialogWhileFitting = 0, TrevoMode = kind, isp1 = isp2 = 0;
    FitControlsGiven = 1, DefaultFitControls = FitParameters->Controls();
    DefaultFitControls.GNIter = 6, DefaultFitControls.Step = 0.99, DefaultFitControls.Damp = 0.01;
    DefaultFitControls.CompressedMatrix = 1;
    QuorinFile.RewriteToMemory();
  }
  // Seconds of one analysis of the 100 spectra.
  double Run() {
    ScriptedUi ui;
    ScopedUi guard{ui};
    ui.ExpectDialog("").Ok();
    ui.QueueAnswer(true);  // the scaling correction of the first step's preparation
    QuorinFile.RewriteToMemory();
    const auto t0 = std::chrono::steady_clock::now();
    AnalyzeSpectrumSequence();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  // Seconds of one refinement of the first spectrum from the start of the first step: the same
  // phases, the array of the quiet preparation, the same controls.
  static double Reference() {
    ScriptedUi ui;
    ScopedUi guard{ui};
    ui.QueueAnswer(true);
    SetUpSequencePhases();
    for (int32_t p = 1; p <= 2; ++p) {
      std::copy(PhaseTable[p].Cell, PhaseTable[p].Cell + 6, TrevoPhases[p].Cell);
      std::copy(PhaseTable[p].ReciprocalCell, PhaseTable[p].ReciprocalCell + 6, TrevoPhases[p].ReciprocalCell);
    }
    LoadSequenceSpectrum(1);
    SetSpectrumRange();
    PrepareSequenceAnalysis(0);
    PrepareParameterArrayQuiet();
    TParameter& fit = *FitParameters;
    fit.Controls() = DefaultFitControls;
    fit.NPoints = SpectrumList[1]->WorkLast - SpectrumList[1]->WorkFirst + 1;
    const auto t0 = std::chrono::steady_clock::now();
    fit.Fit(RietveldModel, NoProgress);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
};

void BM_SequenceAnalysis(benchmark::State& state) {
  const int32_t kind = static_cast<int32_t>(state.range(0));
  SequenceCase sequence(kind);
  double seconds = 0, reference = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    seconds += sequence.Run();
    ++runs;
    benchmark::DoNotOptimize(FitParameters->ChiDf);
  }
  if (kind == 2) reference = SequenceCase::Reference();
  const double step = runs ? seconds / (100.0 * double(runs)) : 0;
  state.counters["step_ms"] = 1e3 * step;
  state.counters["reference_ms"] = 1e3 * reference;
  state.counters["ratio"] = reference > 0 ? step / reference : 0;
}

}  // namespace

BENCHMARK(BM_SequenceAnalysis)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
