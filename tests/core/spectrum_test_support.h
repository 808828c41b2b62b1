// Shared pieces of the spectrum tests: fixture paths, the reader and writer of each file kind, and
// a fixture holding one spectrum with the reader options at their start values.
#pragma once
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include "core/spectrum.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

inline std::string SpectrumData(const std::string& name) {
  return std::string(VKEST_SOURCE_DIR) + "/tests/core/data/spectra/" + name;
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The reader of file kind 1..4 with channels from first (the binary kinds start at 1).
inline bool ReadKind(TSpectrum& s, int32_t kind, int32_t first = 1) {
  switch (kind) {
    case 1: return s.ReadBinarySpectrum2();
    case 2: return s.ReadBinarySpectrum();
    case 3: return s.ReadAsciiSpectrum(first, first);
    default: return s.ReadAsciiTriples(first);
  }
}

inline void WriteKind(TSpectrum& s, int32_t kind, int32_t first, int32_t last, const std::string& file,
                      int32_t decimals = 2, bool exponent = false, bool useX = false) {
  switch (kind) {
    case 1: s.WriteBinarySpectrum2(first, last, file); break;
    case 2: s.WriteBinarySpectrum(first, last, file); break;
    case 3: s.WriteAsciiSpectrum(first, last, file, decimals, exponent); break;
    default: s.WriteAsciiTriples(first, last, file, decimals, exponent, useX);
  }
}

class SpectrumTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    ResetOptions();
    sp = std::make_unique<TSpectrum>("DUMMY");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = TestTempPath("spectrum_" + std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    ResetOptions();
    ScriptedTest::TearDown();
  }
  static void ResetOptions() {
    VarianceMode = AsciiErrorType = 0;
    SkipHeader = ReverseBytes = OutputMicroseconds = ErrorsKnown = IoOk = 0;
    StartingChannelOne = 1;
    AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3;
  }
  std::string Temp(const std::string& name) const { return (dir / name).string(); }
  // A recognisable state: Y = 1000 + c, E = 7, X = -c, range 3..77.
  static void Mark(TSpectrum& s) {
    for (int32_t c = 1; c <= MaxChannels; ++c) s.Y[c] = 1000.0 + c, s.E[c] = 7.0, s.X[c] = -c;
    s.FirstChannel = 3;
    s.LastChannel = 77;
  }
  // The spectrum still holds what Mark put there.
  static bool Unchanged(const TSpectrum& s) {
    bool same = s.FirstChannel == 3 && s.LastChannel == 77;
    for (int32_t c = 1; c <= MaxChannels && same; ++c) same = s.Y[c] == 1000.0 + c && s.E[c] == 7.0 && s.X[c] == -c;
    return same;
  }

  std::unique_ptr<TSpectrum> sp;
  std::filesystem::path dir;
};
