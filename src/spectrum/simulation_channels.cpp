// The channels of a simulated spectrum, the disturbance of the starting parameters and the sum
// of sines of the peak mode.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/random.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"
#include "spectrum/simulation.h"

uint8_t SimulateWithErrors = 0;
uint8_t SimulateSinuses = 0;
double ConvolutionParameters[7] = {0, 0.05, 1, 3, 3, 2, 2};
int32_t ConvolutionKind = 0;
int32_t SimulationSetupStep = 1;
uint8_t DisturbAfterSimulation = 1;
int32_t SimulatedSpectrum = 0;

namespace {

// Highest count the profile modes scale their model to.
constexpr double SimulatedHeight = 5000.0;

// The effective spectrum as a weight of the profile: w(c) = max(e, 1e-6) / max(e_max, 1), e
// interpolated at the effective channel of the same time of flight (the normalisation's
// mapping, so that normalising undoes the weighting); nullptr-safe, 1 outside its channels.
struct EffectiveWeight {
  const TSpectrum* eff = nullptr;
  double scale = 1.0, tof = 0.0, delay = 0.0, cw0 = 1.0, delay0 = 0.0;
  int32_t first = 1, last = 0;

  EffectiveWeight(const TSpectrum* e, const TSpectrum& target) : eff(e) {
    if (!eff) return;
    first = std::max(eff->FirstChannel, 1);
    last = std::min(eff->LastChannel, MaxChannels);
    double top = 0;
    for (int32_t c = first; c <= last; ++c) top = std::max(top, eff->Y[c]);
    scale = 1.0 / std::max(top, 1.0);
    tof = target.ChanWidth, delay = target.Delay;
    cw0 = eff->ChanWidth != 0 ? eff->ChanWidth : 1.0, delay0 = eff->Delay;
  }
  // False outside the effective spectrum (no weighting there).
  bool At(int32_t c, double& w) const {
    if (!eff) return false;
    const double x = (c + delay) * tof / cw0 - delay0;
    const double k = std::floor(x);
    if (!(k >= first && k + 1 <= last)) return false;
    const auto i = static_cast<int32_t>(k);
    const double e = eff->Y[i] + (x - k) * (eff->Y[i + 1] - eff->Y[i]);
    w = std::max(e, 1e-6) * scale;
    return true;
  }
};

}  // namespace

SimulationProgress::SimulationProgress(const std::string& title) {
  ResetDialogForm(350, 60);
  DialogCaption = title;
  SetDialogTitle(WhiteColor);
  ShowDialogModeless();
  TimerYield();  // one pass of the window system: the window appears before the work starts
}

SimulationProgress::~SimulationProgress() { Form2.Close(); }

void SimulationProgress::Title(const std::string& title) {
  Form2.caption = " " + title;
  TimerYield();
}

void SumOfSinuses(double& value, int32_t channel) {
  constexpr double TwoPi = 6.283185307179586;
  const int32_t n = std::clamp(MarkedPointCount, 0, (MaxParameters - 6) / 2);
  value = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const double period = parar[6 + n + i].value;
    if (period == 0) continue;  // no period: no sine
    value += parar[6 + i].value * std::sin(TwoPi * channel / period);
  }
}

void DisturbParameters() {
  if (!FitParameters) return;
  const int32_t n = std::clamp(FitParameters->NPar, 0, MaxParameters);
  for (int32_t i = 1; i <= n; ++i) {
    ParameterRecord& r = parar[i];
    if (r.lower == r.upper) continue;
    const double u = Random01() - 0.5;
    const double s = u > 0 ? 1.0 : (u < 0 ? -1.0 : 0.0);
    r.value += s * std::max(0.05, std::fabs(r.value) / 20);
    r.value = std::clamp(r.value, std::min(r.lower, r.upper), std::max(r.lower, r.upper));
  }
}

double SimulateChannels(const TSimulationRun& run) {
  TSpectrum* sp = SpectrumAt(run.target);
  if (!sp) return 1.0;
  const int32_t first = std::max(IntervalFirst, 1), last = std::min(IntervalLast, MaxChannels);
  sp->Name = "SimSp" + std::to_string(run.singlePhase) + ".spc";
  ClearChannels(run.target, first, last);
  const bool profile = run.mode == 0 || run.mode == 2;
  const int32_t element = std::clamp(run.singlePhase + 1, 1, ModelOutputSize - 1);
  const EffectiveWeight effective(run.mode == 0 && run.useEffectiveSpectrum ? SpectrumOrNull(0) : nullptr, *sp);
  const double b0 = FitParameters && FitParameters->NPar >= 4 ? FitParameters->Records[4].value : 0.0;
  const bool sinuses = run.mode == 3 && SimulateSinuses != 0;

  double top = 0;
  for (int32_t c = first; c <= last; ++c) {
    ModelSpectrum = run.target;
    ModelChannel = c;
    const int32_t point = c - IntervalFirst + 1;
    double y = 0, w = 0, f = 0;
    if (profile) {
      RietveldModel(y, w, f, point, 4);
      if (run.mode == 0) {
        if (run.singleWithBackground)
          f = ModelOutput[element] + ModelOutput[0];
        else if (run.singleWithoutBackground)
          f = ModelOutput[element];
        double weight = 1;
        if (effective.At(c, weight)) f = (f - b0) * weight + b0;
      }
      top = std::max(top, std::fabs(f));
    } else if (sinuses) {
      SumOfSinuses(f, c);
    } else if (run.mode == 3) {
      PeakFitModel(y, w, f, point, 4);
    }
    sp->Y[c] = f;
  }

  const double scale = profile ? SimulatedHeight / std::max(top, 1.0) : 1.0;
  const bool timeOfFlight = run.mode == 0 && sp->AxisKind == AxisTimeOfFlight;
  const double x1 = sp->X[1], cw = sp->ChanWidth;
  for (int32_t c = first; c <= last; ++c) {
    double y = sp->Y[c] * scale;
    const double sigma = std::sqrt(std::fabs(y) + 1);
    sp->E[c] = sigma;
    if (run.withErrors) {
      double g1 = 0, g2 = 0;
      GaussianPair(g1, g2);
      y += sigma * g1;
    }
    if (sp->DoubleSigned == 0) y = std::max(y, 0.0);
    sp->Y[c] = y;
    if (timeOfFlight)
      sp->X[c] = sp->ChannelToD(c);
    else if (run.mode == 3)
      sp->X[c] = (c - 1) * cw + x1;
  }
  sp->ComputeYRange();
  GraphMode = 1;
  SetParametersPending(0b1111, 1);
  return scale;
}
