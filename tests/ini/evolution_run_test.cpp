// The phase evolution run from an INI file: the sequence, its settings and four simple peaks given
// by commands, then TREVO through the module's menus. Truth: the committed synthetic sequence
// (tools/gen_trevo_sequence.py), whose FePO4 a edge grows step by step while b and c stay; in time
// of flight with delay 0 a peak's channel is proportional to its d.
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>
#include "core/text_file.h"
#include "evolution/trevo_state.h"
#include "ini/ini_setup.h"

namespace {

class EvolutionRunTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    InitTrevoDefaults();
    savedFit_ = std::move(FitParameters);  // the run's engine of its own
    CreateFitParameters();
    QuorinFile.RewriteToMemory("quorin");
    DialogWhileFitting = 0, CorrectForEffectiveSpectrum = 0;  // no effective spectrum here
    ui.onUnexpected = [](const std::string&) {};
  }
  void TearDown() override { QuorinFile.Close(), FitParameters = std::move(savedFit_), IniTest::TearDown(); }
  std::unique_ptr<TParameter> savedFit_;
  KeepValues<uint8_t> bytes_[3] = {{&DialogWhileFitting, 1}, {&CorrectForEffectiveSpectrum, 1}, {&TrevoAutoRun, 1}};
  KeepValues<ParameterRecord> parar_{parar, MaxParameters + 1};  // the run's peak array
};

// Peaks 020 (b only) and 111 of FePO4 and two others, in descending order in the file.
const std::string EvolutionSetup =
    "SM\n-3\nISNS\nevo5.lst\n" + std::string(VKEST_SOURCE_DIR) + "/tests/evolution/data/sequence\n5\n"
    "ISS\n3 1 2600 1860 2246 21.13 0 16 76 2.5 0.8 1 20 1 1 3 0.00147 0.00893 0\n"
    "IPSU\n4\n2228 2236 2244\n1936 1944 1952\n1902 1910 1918\n1867 1875 1883\n";

TEST_F(EvolutionRunTest, SimplePeaksFollowTheGrowingEdge) {
  ui.ExpectDialog("").Radio(2).Combo(1).Ok(), ui.ExpectDialog("Sequence analysis").Ok();
  ui.ExpectDialog("").Radio(7).Ok();
  Read(EvolutionSetup + "TREVO\n");
  // The fitted positions (fifth column under "Amplitude") of each "#Step" block.
  std::vector<std::vector<double>> steps;
  std::istringstream in(QuorinFile.Contents());
  bool rows = false;
  for (std::string line; std::getline(in, line);) {
    double v[5] = {};
    if (line.rfind("#Step", 0) == 0) steps.emplace_back(), rows = false;
    else if (line.find("Amplitude") != std::string::npos) rows = true;
    else if (rows && std::istringstream(line) >> v[0] >> v[1] >> v[2] >> v[3] >> v[4]) steps.back().push_back(v[4]);
  }
  ASSERT_EQ(steps.size(), 5u) << QuorinFile.Contents();
  std::vector<double> a;
  double b = 0, c = 0;
  for (const auto& r : GoldenRows("sequence/truth.txt", "evolution"))
    if (r[0] == "step") a.push_back(std::stod(r[3])), b = std::stod(r[4]), c = std::stod(r[5]);
  const auto d111 = [&](size_t s) { return 1 / std::sqrt(1 / (a[s] * a[s]) + 1 / (b * b) + 1 / (c * c)); };
  // 020 and 111 are strong and isolated: positions good to a few hundredths of a channel; 111
  // drifts by about 0.3 channel. (211 and the LiFePO4 peak, 34 channels apart, are the evolution
  // module's own concern.)
  for (size_t s = 0; s < 5; ++s) {
    ASSERT_EQ(steps[s].size(), 4u);
    EXPECT_NEAR(steps[s][0], steps[0][0], 0.1) << s;
    EXPECT_NEAR(steps[s][3], steps[0][3] * d111(s) / d111(0), 0.1) << s;
  }
  EXPECT_GT(steps[4][3] - steps[0][3], 0.2);
  EXPECT_EQ(TrevoAutoRun, 0);
}

// AUTOC: the module runs its automatic variant, and the flag is cleared when it returns.
TEST_F(EvolutionRunTest, AutocRunsTheAutomaticVariant) {
  uint8_t during = 0;
  ui.ExpectDialog("").Inspect([&](TForm2&) { during = TrevoAutoRun; }).Cancel();
  Read(EvolutionSetup + "AUTOC\n");
  EXPECT_EQ(std::make_tuple(during, TrevoAutoRun, Form2ClickMode), std::make_tuple(uint8_t{1}, uint8_t{0}, 4));
}

}  // namespace
