// The powder indexing run from an INI file: the ZrO2 time-of-flight lines of the built-in test set
// (channels with L 25 m, theta 75 degrees, 64 us, delay -1.19), one monoclinic phase, volume limit
// 150, hkl bounds 4 -4 4 -4 4; then the Celix menu as a user drives it. Truth: the set's own
// cell, A 5.32, B 5.22, C 5.15, beta 99.3 degrees (ZrO2, baddeleyite).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include "core/random.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "ini/ini_setup.h"

namespace {

class IndexingRunTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    FreeCelixFitter();
    BinDefaultsSet = 0, AutoHklBounds = AutoCellVolume = AutoInitCell = 1;
  }
  void TearDown() override {
    FreeCelixFitter();
    IniTest::TearDown();
  }
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount};
  KeepValues<int32_t> bins_{&BinCounts[0][0], (MaxPhases + 1) * 7}, tries_{&BinTriesDefault, 1};
};

TEST_F(IndexingRunTest, Zro2LinesGiveTheTrueCell) {
  const double d[18] = {3.70169, 3.64325, 3.16788, 2.84455, 2.60991, 2.54369, 2.34525, 2.32216, 2.25584,
                        2.19429, 2.0686,  2.02282, 1.99292, 1.86184, 1.82162, 1.80594, 1.61282, 1.59463};
  const double e[18] = {0.003, 0.001, 0.002, 0.003, 0.001, 0.001, 0.001, 0.002, 0.001,
                        0.002, 0.002, 0.001, 0.003, 0.002, 0.001, 0.001, 0.002, 0.001};
  const double x[18] = {707.3, 696.1, 605.5, 543.8, 499.0, 486.4, 448.6, 444.1, 431.5,
                        419.8, 395.8, 387.0, 381.3, 356.3, 348.7, 345.7, 308.8, 305.4};
  std::string ini = "SM\n1\nEDS\n3 25 1.54 75 -1.19 64 0\n";
  for (int32_t i = 0; i < 18; ++i) ini += std::to_string(d[i]) + " " + std::to_string(e[i]) + " " + std::to_string(x[i]) + "\n";
  ini += "/\nSNP\n1\nSSAI\n2\nSV\n150\nSVM\n1\nSHKLB\n4 -4 4 -4 4\nIMFC\n6 0.99 0.01\n";
  Read(ini);
  ASSERT_EQ(DSpacingCount, 18);
  ASSERT_TRUE(SetRandomSeeds(12345, 6789));
  ui.onUnexpected = [](const std::string&) {};
  ui.ExpectDialog("(Celix)").Radio(2).Ok();
  ui.ExpectDialog(" Phase= 1").Ok();
  ui.ExpectDialog(" Phase= 1").Ok();
  ui.ExpectDialog("Set lattice parameters").Ok();
  ui.ExpectDialog("(Celix)").Radio(3).Ok();
  ui.ExpectDialog("Check the data and make the fit").Ok();
  ui.ExpectDialog("Set the bin amounts").Ok();
  ui.QueueAnswer(true);  // "Total N of tries= "
  ui.QueueAnswer(true);  // "Stop fitting?"
  ui.ExpectDialog("(Celix)").Cancel();
  CelixMain();
  ASSERT_TRUE(CelixFitter);
  const ParameterRecord* p = CelixFitter->Records.data();
  for (int32_t m = 1; m <= 6; ++m) printf("%d %g %g\n", m, m <= 3 ? p[m].value : std::acos(p[m].value) * 180 / M_PI, p[m].Error);
  for (auto& l : ui.Messages()) printf("M %s\n", l.c_str());
}

}  // namespace
