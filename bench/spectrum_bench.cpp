// Loading a spectrum of 32768 channels from each of the four file kinds.
#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include "core/spectrum.h"

namespace {
// The four files, written once by the program's own writers into a scratch folder.
struct SpectrumFiles {
  std::filesystem::path dir;
  std::string kind[5];
  SpectrumFiles() {
    dir = std::filesystem::temp_directory_path() / ("vkest_spectrum_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto s = std::make_unique<TSpectrum>("DUMMY");
    for (int32_t c = 1; c <= MaxChannels; ++c) {
      // A diffraction-like pattern: background, peaks, Poisson-sized errors.
      s->Y[c] = std::nearbyint(200.0 + 5000.0 * std::pow(std::sin(c * 0.013), 8) + 0.01 * c);
      s->E[c] = std::sqrt(s->Y[c] + 1.0);
      s->X[c] = 0.5 + 0.0001 * c;
    }
    s->FirstChannel = 1;
    s->LastChannel = MaxChannels;
    s->ComputeYRange();
    for (int32_t k = 1; k <= 4; ++k) kind[k] = (dir / ("spectrum." + std::to_string(k))).string();
    s->WriteBinarySpectrum2(1, MaxChannels, kind[1]);
    s->WriteBinarySpectrum(1, MaxChannels, kind[2]);
    s->WriteAsciiSpectrum(1, MaxChannels, kind[3], 0, false);
    s->WriteAsciiTriples(1, MaxChannels, kind[4], 2, false, true);
  }
  ~SpectrumFiles() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

SpectrumFiles& Files() {
  static SpectrumFiles files;
  return files;
}

void BM_LoadSpectrum(benchmark::State& state) {
  const auto kind = static_cast<int32_t>(state.range(0));
  auto s = std::make_unique<TSpectrum>(Files().kind[kind]);
  VarianceMode = 0;
  SkipHeader = 0;
  ReverseBytes = 0;
  StartingChannelOne = 1;
  bool ok = true;
  for (auto _ : state) {
    switch (kind) {
      case 1: ok = s->ReadBinarySpectrum2(); break;
      case 2: ok = s->ReadBinarySpectrum(); break;
      case 3: ok = s->ReadAsciiSpectrum(1, MaxChannels); break;
      default: ok = s->ReadAsciiTriples(1); break;
    }
    benchmark::DoNotOptimize(s->Y[MaxChannels]);
  }
  if (!ok || s->LastChannel != MaxChannels) state.SkipWithError("the spectrum did not load");
  state.SetItemsProcessed(state.iterations() * MaxChannels);
  state.SetLabel(std::to_string(std::filesystem::file_size(Files().kind[kind])) + " bytes");
}
BENCHMARK(BM_LoadSpectrum)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);
}  // namespace
