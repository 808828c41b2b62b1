// The tests of the sequence steps: the peak-fit fixture with the module's state kept, the summary
// file in memory, Gaussian peaks with Poisson noise made by the peak-fit model at known values.
#pragma once
#include <random>
#include <vector>
#include "crystal/peak_fit_models.h"
#include "crystal/profile_setup.h"
#include "evolution/step_fits.h"

class StepTest : public PeakFitTest {
protected:
  void SetUp() override {
    PeakFitTest::SetUp();
    TrevoMode = 0, isp1 = CurrentStep = CurrentSequenceSpectrum = LastStep = 1;
    Regulizer = 0.1, PRFscale = 1, dref = 0.01, ucdif = 0.5;
    DialogWhileFitting = FullResultOutput = ShortFitraOutput = KeepParameterBounds = 0;
    for (TTrevoPeak& t : TrevoPeakTable) t = TTrevoPeak{};
    SequenceFileNames[1] = "run1.dat", SequenceFileNames[2] = "run2.dat";
    Head(1);
  }
  void TearDown() override { QuorinFile.Close(), PeakFitTest::TearDown(); }
  static void Head(int32_t phases) {
    QuorinFile.RewriteToMemory();
    QuorinFile.WriteLine("* N of phases\r\n  " + std::to_string(phases));
  }
  // Spectrum 1, working 101..600: background b and Gaussian peaks of width w0, Poisson counts.
  static void PeakSpectrum(const std::vector<double>& x, const std::vector<double>& amplitudes, double w0, double b) {
    TSpectrum& sp = Sp(1);
    sp.LastChannel = 1000, sp.WorkLast = 600, sp.Name = "run1.dat", sp.W0 = sp.W1 = w0, sp.Dw0 = 2, sp.BackgroundDegree = 0;
    SetShape(2, ModelGauss);
    LayOutPeaks(std::vector<int32_t>(x.size(), 1), amplitudes, x, {w0}, {b});
    std::mt19937 random(7);
    for (int32_t c = 1; c <= 1000; ++c) {
      sp.Y[c] = std::poisson_distribution<int>(ModelAt(PeakFitModel, c, true))(random);
      sp.E[c] = std::sqrt(std::max(sp.Y[c], 1.0));
    }
  }

private:
  KeepValues<TTrevoPeak> table_{TrevoPeakTable, TrevoPeakCapacity + 1};
  KeepValues<int32_t> ints_[3] = {{&isp1, 1}, {&TrevoMode, 1}, {&CurrentStep, 1}};
  KeepValues<double> values_[4] = {{&Regulizer, 1}, {&PRFscale, 1}, {&dref, 1}, {&ucdif, 1}};
  KeepValues<uint8_t> bytes_[3] = {{&DialogWhileFitting, 1}, {&ShortFitraOutput, 1}, {&KeepParameterBounds, 1}};
  KeepValues<std::string> names_{&SequenceFileNames[0], 3};
  KeepValues<TTrevoPhase> phases_{TrevoPhases, TrevoPhaseCount + 1};
  KeepValues<double> identification_{&TrevoIdentificationD[0][0], (TrevoIdentificationRows + 1) * (TrevoPhaseCount + 1)};
};
