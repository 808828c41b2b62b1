// The background through the marked points of the current spectrum: spectrum 2 gets the
// background, spectrum 4 the spectrum without it (and the current spectrum too after Yes).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/interpolation.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "spectrum/spectrum_functions.h"

namespace {

// The interpolation nodes: the marked channels inside first..last, ascending, each once
// (InterpolateTable needs ascending abscissae; two nodes on one channel would divide by 0).
std::vector<int32_t> BackgroundNodes(int32_t first, int32_t last) {
  std::vector<int32_t> nodes;
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  for (int32_t k = 1; k <= n; ++k) {
    const double x = MarkedPoints[k];
    if (!std::isfinite(x)) continue;
    const int32_t ch = RoundHalfEven(std::clamp(x, -1.0e9, 1.0e9));
    if (ch >= first && ch <= last) nodes.push_back(ch);
  }
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  return nodes;
}

}  // namespace

void FinishResultSpectrum(TSpectrum& s, int32_t first, int32_t last) {
  s.FirstChannel = first;
  s.LastChannel = last;
  s.ComputeYRange();
  s.WorkFirst = first;
  s.WorkLast = last;
  s.Present = 1;
}

void BuildBackgroundByMarkedPoints() {
  const int32_t c = CurrentSpectrum;
  TSpectrum* sc = SpectrumAt(c);
  TSpectrum* s2 = SpectrumAt(2);
  TSpectrum* s4 = SpectrumAt(4);
  if (!sc || !s2 || !s4) return;
  const int32_t first = std::clamp(sc->FirstChannel, 1, MaxChannels);
  const int32_t last = std::clamp(sc->LastChannel, first, MaxChannels);
  const std::vector<int32_t> nodes = BackgroundNodes(first, last);
  if (nodes.size() < 2) {
    ShowMsg("Too few (or no) marked points");
    return;
  }
  const bool subtract = Ui().AskYesNo("Should the background be subtracted from spectrum?", MsgKind::Warning);

  int32_t i1 = 0, i2 = 0;
  WorkingRange(*sc, i1, i2);
  CopySpectrum(c, 4);
  constexpr int32_t H = 32768 / 2;
  if (H < last - first) {
    i2 = std::min(i2, i1 + H - 1);
    ShowMsg("Array too long; cut to " + std::to_string(H));
  }
  if (i2 < i1) return;

  // Ordinates first, then abscissae.
  const int32_t n = static_cast<int32_t>(nodes.size());
  for (int32_t k = 1; k <= n; ++k) {
    NumberBuffer[k] = sc->Y[nodes[static_cast<size_t>(k - 1)]];
    NumberBuffer[n + k] = nodes[static_cast<size_t>(k - 1)];
  }
  // The data are read from a copy: with the current spectrum 2 or 4 the loop overwrites them.
  const std::vector<double> y(sc->Y + i1, sc->Y + i2 + 1), e(sc->E + i1, sc->E + i2 + 1);
  const double lo = nodes.front(), hi = nodes.back();
  for (int32_t j = i1; j <= i2; ++j) {
    // Outside the nodes the background holds the end values (the core's table extrapolates).
    double b = 0.0;
    InterpolateTable(NumberBuffer, NumberBufferSize - 1, n, b, std::clamp(static_cast<double>(j), lo, hi));
    const double yc = y[static_cast<size_t>(j - i1)], ec = e[static_cast<size_t>(j - i1)];
    s2->Y[j] = b;
    s4->Y[j] = std::max(yc - b, 0.0);
    if (subtract) sc->Y[j] = std::max(yc - b, 0.0);
    s2->E[j] = ec;
    s4->E[j] = ec;
  }
  FinishResultSpectrum(*s2, i1, i2);
  FinishResultSpectrum(*s4, i1, i2);
  IntervalFirst = i1;
  IntervalLast = i2;
  NChannels = i2 - i1 + 1;

  InfoLines.count = 0;
  AddInfoLine("Background put to Spectrum 2");
  AddInfoLine("The current spectrum without background");
  AddInfoLine("is put to Spectrum 4");
  ShowInfoWindow();
}
