// Shared by the INI tests: fresh spectra and peak models, the reader's options put back, the
// data folder of the corpus as the working folder, and a few readers of the committed files.
#pragma once
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "ini/ini_reader.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

inline std::string IniDataDir() { return std::string(VKEST_SOURCE_DIR) + "/tests/ini/data"; }
inline std::string IniDataFile(const std::string& name) { return IniDataDir() + "/" + name; }

// The seven peak models made fresh for a test; the session's come back afterwards.
struct FreshPeakModels {
  FreshPeakModels() {
    for (size_t k = 1; k <= PeakModelCount; ++k) saved[k] = std::exchange(PeakModels[k], std::make_unique<TPeakModel>());
  }
  ~FreshPeakModels() {
    for (size_t k = 1; k <= PeakModelCount; ++k) PeakModels[k] = std::move(saved[k]);
  }
  std::unique_ptr<TPeakModel> saved[PeakModelCount + 1];
};

// The working folder for the life of a test.
struct InFolder {
  explicit InFolder(const std::string& dir) : before(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InFolder() { std::filesystem::current_path(before); }
  std::filesystem::path before;
};

class IniTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    InhibitWarnings = 0, KeepParameterBounds = 0;
  }
  // Reads text as an INI file (model reset first unless reset is false).
  void Read(const std::string& text, bool reset = true) { ReadIniText(text, 1, reset, false, "test.ini"); }
  // Starts the result file afresh.
  static void ClearLog() {
    LogFile.Close();
    LogFile.RewriteToMemory("log");
  }
  // The handlers that ran, in order.
  static std::vector<std::string> Handlers() {
    std::vector<std::string> out;
    for (const auto& t : IniDispatchTrace) out.push_back(t.handler);
    return out;
  }
  // Whether a message was shown exactly so.
  bool Shown(const std::string& text) const {
    const auto m = ui.Messages();
    return std::find(m.begin(), m.end(), text) != m.end();
  }
  // Whether the result file got a line holding part.
  bool Logged(const std::string& part) const {
    for (const auto& line : LogLines())
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  FreshSpectra spectra_;
  FreshPeakModels models_;
  InFolder folder_{IniDataDir()};
  KeepValues<uint8_t> options_[2] = {{&InhibitWarnings, 1}, {&KeepParameterBounds, 1}};
  KeepValues<std::string> names_[3] = {{&WorkDir, 1}, {&IniFileName, 1}, {&SpaceGroupFileName, 1}};
  KeepValues<int32_t> counts_[4] = {{&MainMode, 1}, {&PhaseCount, 1}, {&CurrentSpectrum, 1}, {&MarkedPointCount, 1}};
};
