// The phase-evolution tests' fixture: fresh spectra, engine and phases (ProfileTest), the module
// at its start values, the recording step removed at the end.
#pragma once
#include <algorithm>
#include <string>
#include <vector>
#include <filesystem>
#include <fstream>
#include "core/spectrum.h"
#include "support/temp_path.h"
#include "crystal/profile_setup.h"
#include "evolution/trevo_state.h"

class TrevoTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    InitTrevoDefaults();
    for (int32_t p = 1; p <= TrevoPhaseCount; ++p) TrevoPhases[p] = TTrevoPhase{};
    isp1 = isp2 = 0, MarkedPointCount = 0, MaxPeaksFound = 0, CompressionAsked = AngularCorrectionSaid = 0;
    SpectrumDir.clear();
    for (auto& t : TrevoPeakTable) t = TTrevoPeak{};
    for (auto& s : SequenceStepPeaks) s = TSequenceStepPeaks{};
  }
  void TearDown() override {
    SetSequenceStepFunction(nullptr);
    for (const auto& d : folders_) std::filesystem::remove_all(d);
    ProfileTest::TearDown();
  }
  // A folder of its own for the test's spectrum files.
  std::string Folder() {
    const auto dir = TestTempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    folders_.push_back(dir);
    return dir.string();
  }
  // A spectrum file of kind 3: values of channels 1, 2, ...
  static void WriteValues(const std::string& path, const std::vector<double>& v) {
    std::ofstream f(path);
    f.precision(17);
    for (double x : v) f << x << "\n";
  }
  // Lines of the log that contain text.
  std::vector<std::string> LogWith(const std::string& text) const {
    std::vector<std::string> all = LogLines(), out;
    std::copy_if(all.begin(), all.end(), std::back_inserter(out), [&](auto& l) { return l.find(text) != l.npos; });
    return out;
  }

private:
  std::vector<std::filesystem::path> folders_;
};
