// Events to spectrum end to end under the scripted backend against numpy's layers, centroids
// and line fit (tools/gen_events_golden.py), with the mended faults: short lines, the histogram
// window above L, the refused settings, the untouched peak-search sensitivity and the stop at the
// line fit's 16384 points.
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "spectrum/spectrum_events.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {

std::string DataFile(const std::string& name) { return std::string(VKEST_SOURCE_DIR) + "/tests/spectrum/data/" + name; }

class EventsTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    EventSettings = TEventSettings{};
  }
  // One run with Yes to every layer; the logged layers as "c v centroid error" and tau.
  std::vector<std::string> Run(const std::string& file, int32_t column, int32_t layers) {
    ui.ChooseFile(file);
    ui.ExpectDialog("Transform Events").Radio(column).Ok();
    for (int32_t i = 0; i < layers; ++i) ui.QueueAnswer(true);
    ui.ExpectDialog("Transform Events").Ok();  // the graph of the layer results
    const size_t before = LogLines().size();
    EventsToSpectrum();
    std::vector<std::string> out;
    const std::vector<std::string> log = LogLines();
    for (size_t i = before; i < log.size(); ++i) {
      const std::string& line = log[i];
      std::istringstream in(line);
      std::string word, v, axis, cen, label, err;
      in >> word;
      if ((word == "Energy" || word == "Time") && (in >> v >> axis >> cen >> label >> err) && label == "Error")
        out.push_back(std::to_string(column) + " " + v + " " + cen + " " + err);
      if (word == "tau=") out.push_back("tau " + line.substr(5));
    }
    return out;
  }
  FreshSpectra spectra;
};

TEST_F(EventsTest, LayersAndLineFitAgainstNumpy) {
  KeepValues<double> keep(&PeakSensitivity, 1);
  PeakSensitivity = 3.5;
  std::vector<Tokens> golden = GoldenRows("events_golden.txt", "spectrum");
  for (int32_t column : {1, 2}) {
    std::vector<Tokens> want;
    double tau = 0;
    for (const Tokens& t : golden)
      if (std::stoi(t[1]) == column) {
        if (t[0] == "layer") want.push_back(t);
        else tau = std::stod(t[2]);
      }
    // Column 1 makes the 26 layers v = 1050..3550; column 2 histograms energies above L = 2048.
    if (column == 1) {
      ASSERT_EQ(want.size(), 26u);
    }
    const std::vector<std::string> got = Run(DataFile("events_sample.dat"), column, static_cast<int32_t>(want.size()));
    ASSERT_EQ(got.size(), want.size() + 1) << column;
    for (size_t i = 0; i < want.size(); ++i)
      EXPECT_EQ(got[i], want[i][1] + " " + want[i][2] + " " + want[i][3] + " " + want[i][4]) << column << " " << i;
    // The fit's tau printed with 2 decimals; numpy's polyfit solves the same normal equations.
    EXPECT_NEAR(std::stod(got.back().substr(4)), tau, 0.006 + 1e-7 * std::fabs(tau)) << column;
  }
  EXPECT_EQ(PeakSensitivity, 3.5);
}

// Blank lines, lines of letters and one-number lines are no events: the same layers come out.
TEST_F(EventsTest, ShortLinesAreNoEvents) {
  const std::vector<std::string> plain = Run(DataFile("events_sample.dat"), 1, 26);
  const std::string noisy = TestTempPath("events_noisy.dat");
  {
    std::ifstream in(DataFile("events_sample.dat"));
    std::ofstream out(noisy);
    int32_t i = 0;
    for (std::string line; std::getline(in, line); ++i) {
      out << line << "\n";
      if (i % 100 == 0) out << "\n   \nabc def\n" << 1500 + i % 7 << "\n";
    }
  }
  EXPECT_EQ(Run(noisy, 1, 26), plain);
  std::remove(noisy.c_str());
}

TEST_F(EventsTest, SettingsThatCannotMakeLayersAreRefused) {
  for (const auto& [row, col, text, message] :
       std::vector<std::tuple<int32_t, int32_t, std::string, std::string>>{
           {7, 1, "0", "The layer step must be positive"}, {7, 1, "-5", "The layer step must be positive"}}) {
    ui.ChooseFile(DataFile("events_sample.dat"));
    ui.ExpectDialog("Transform Events").Field(row, col, text).Ok();
    ui.ExpectMessage(message);
    EventsToSpectrum();
  }
  ui.ChooseFile(DataFile("events_sample.dat"));
  ui.ExpectDialog("Transform Events").Radio(3).Ok();
  ui.ExpectMessage("Only column 1 (energy) or 2 (time) can be sampled");
  EventsToSpectrum();
  EventSettings = TEventSettings{};  // the refused values stay for the next call
  ui.ChooseFile(DataFile("events_sample.dat"));
  ui.ExpectDialog("Transform Events").Edit(1, "40000").Ok();
  ui.ExpectMessage("Output spectrum length must lie in 1..32768");
  EventsToSpectrum();
}

// Layers of 1 up to 100000 would overrun the 16384 points of the line fit: the run stops there
// with a message and fits the 16384 layers it has.
TEST_F(EventsTest, LayerCountStopsAtTheLineFitCapacity) {
  const std::string file = TestTempPath("events_few.dat");
  std::ofstream(file) << "1 150\n2 160\n3 170\n";
  ui.ChooseFile(file);
  ui.ExpectDialog("Transform Events").Field(5, 1, "0").Field(5, 2, "100000").Field(7, 1, "1").Ok();
  for (int32_t i = 0; i < 16384; ++i) ui.QueueAnswer(true);
  ui.ExpectMessage("Too many layers: at most 16384");
  ui.ExpectDialog("Transform Events")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.Label1.caption, "Tested 16384 peaks"); })
      .Ok();
  EventsToSpectrum();
  std::remove(file.c_str());
}

}  // namespace
