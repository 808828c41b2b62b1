// The main graph and its profile files: a redraw of a 32768-channel spectrum without a fit (goal:
// under 20 ms), and the GPH and PRF files of 16384 rows (goal: their model calls plus 30 ms). The
// files are written with the fit pending, so the time is all their own: no model call is made.
#include <benchmark/benchmark.h>
#include "bench_setup.h"
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include "core/graph_drawing.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/scripted_ui.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "mainwin/gph_file.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"
#include "mainwin/prf_file.h"

namespace {

// Spectrum 1 over channels 1..last, all of them in the working range and on the graph: peaks
// every 97 channels on a sloping background, no phase, no fit.
void SetUpGraph(int32_t last) {
  TSpectrum& sp = SetUpBenchSpectrum(1, last, last, 4.0);
  for (int32_t c = 1; c <= last; ++c) {
    const double u = (c % 97) - 48.0;
    sp.Y[c] = 200 + 0.01 * c + 5000 * std::exp(-0.5 * u * u / 9.0);
    sp.E[c] = std::sqrt(sp.Y[c]);
  }
  ScreenScale = 1.0, FontSize = 10, PixelMode = 0, GraphScaleMode = 0, LogXScale = 0, GraphXAxis = 0;
  PhaseCount = 1, PhaseTable[1].ReflectionCount = 0, MarkedPointCount = 0;
  for (auto& f : FitPending) f = 1;
  SpectrumSlots = " x   ";
  IntervalFirst = 1, IntervalLast = last, GraphMode = 1;
}

const std::string TempFile(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

void BM_RedrawGraph32768(benchmark::State& state) {
  SetUpGraph(32768);
  for (auto _ : state) {
    RedrawGraph();
    benchmark::DoNotOptimize(Form1.Image2.canvas.GetPixel(256, 200));
  }
}

void BM_GphFile16384(benchmark::State& state) {
  SetUpGraph(16384);
  const std::string path = TempFile("vkest_bench.gph");
  for (auto _ : state) GphFile(Form1.Image2.canvas, 0, path);
  std::filesystem::remove(path);
}

void BM_WritePrfFile16384(benchmark::State& state) {
  SetUpGraph(16384);
  ScriptedUi ui;  // takes the "No fitting yet performed" message
  ScopedUi guard(ui);
  const std::string path = TempFile("vkest_bench.prf");
  for (auto _ : state) {
    TextFile f;
    f.Rewrite(path);
    WritePrfFile(f);
  }
  std::filesystem::remove(path);
}

}  // namespace

BENCHMARK(BM_RedrawGraph32768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GphFile16384)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePrfFile16384)->Unit(benchmark::kMillisecond);
