// Events to spectrum: one layer pass over 10^7 parsed events against a plain streaming sum over
// the same pairs, the parse of the event file, and the whole default run (file parsed once,
// 26 layers, Yes to every question) under the scripted backend.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>
#include "core/neighbour_services.h"
#include "core/scripted_ui.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "spectrum/spectrum_events.h"

namespace {

constexpr size_t EventCount = 10000000;

// Two integer columns: energy 900..3700, time 300 + E / 4 with a spread.
const std::vector<TEventPair>& Events() {
  static const std::vector<TEventPair> events = [] {
    std::vector<TEventPair> e(EventCount);
    std::mt19937 gen(2026);
    std::uniform_int_distribution<int32_t> energy(900, 3700), spread(-20, 20);
    for (TEventPair& p : e) {
      p.v1 = energy(gen);
      p.v2 = 300 + static_cast<int32_t>(p.v1) / 4 + spread(gen);
    }
    return e;
  }();
  return events;
}

const std::string& EventFile() {
  static const std::string name = [] {
    const std::string n = (std::filesystem::temp_directory_path() / ("vkest_events_bench_" + std::to_string(getpid()) + ".dat")).string();
    std::ofstream out(n);
    for (const TEventPair& p : Events()) out << static_cast<int32_t>(p.v1) << ' ' << static_cast<int32_t>(p.v2) << '\n';
    return n;
  }();
  return name;
}

void BM_EventStreamingSum(benchmark::State& state) {
  const std::vector<TEventPair>& e = Events();
  for (auto _ : state) {
    double s = 0.0;
    for (const TEventPair& p : e) s += p.v1 + p.v2;
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * e.size() * sizeof(TEventPair)));
}
BENCHMARK(BM_EventStreamingSum)->Unit(benchmark::kMillisecond);

void BM_EventLayerPass(benchmark::State& state) {
  const std::vector<TEventPair>& e = Events();
  auto s = std::make_unique<TSpectrum>("DUMMY");
  for (auto _ : state) {
    HistogramLayer(e.data(), e.size(), 1, 1000.0, 1100.0, 100.0, 2000.0, s->Y);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * e.size() * sizeof(TEventPair)));
}
BENCHMARK(BM_EventLayerPass)->Unit(benchmark::kMillisecond);

void BM_EventFileParse(benchmark::State& state) {
  const std::string& name = EventFile();
  for (auto _ : state) {
    TextFile f;
    f.Reset(name);
    benchmark::DoNotOptimize(ParseEventFile(f).size());
  }
}
BENCHMARK(BM_EventFileParse)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_EventsWholeDefaultRun(benchmark::State& state) {
  const std::string& name = EventFile();
  for (size_t i = 0; i < SpectrumList.size(); ++i)
    if (!SpectrumList[i]) SpectrumList[i] = std::make_unique<TSpectrum>("DUMMY");
  for (auto _ : state) {
    ScriptedUi ui;
    ScopedUi guard(ui);
    LogFile.RewriteToMemory("log");
    EventSettings = TEventSettings{};
    ui.ChooseFile(name);
    ui.ExpectDialog("Transform Events").Ok();
    for (int32_t i = 0; i < 26; ++i) ui.QueueAnswer(true);
    ui.ExpectDialog("Transform Events").Ok();
    EventsToSpectrum();
    const std::string& log = LogFile.Contents();
    int32_t layers = 0;
    for (size_t at = log.find("Layer"); at != std::string::npos; at = log.find("Layer", at + 1)) ++layers;
    state.counters["layers"] = layers;
    LogFile.Close();
  }
}
BENCHMARK(BM_EventsWholeDefaultRun)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
