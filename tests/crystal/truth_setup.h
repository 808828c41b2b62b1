// Shared by the refinement and powder-match truth tests: the truth files of
// tools/gen_refinement_truth.py, and a fixture that works in a temporary folder with the switches
// of the refinement menu reset (and put back at the end), reads the truth's spectrum as the input
// command leaves it and enters the phase and its atoms through the editors.
#pragma once
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>
#include "core/model_switches.h"
#include "crystal/atom_editor.h"
#include "crystal/form_hkl.h"
#include "crystal/parameter_preparation.h"
#include "crystal/phase_editor_setup.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/refinement_results.h"
#include "crystal/refinement_run.h"
#include "support/temp_path.h"

inline const std::string TruthDataDir = std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/";

// One truth file of the generator (its layout is described there), the row keys taken off.
struct Truth {
  std::map<std::string, Tokens> rows;  // every row but atoms and reflections, by key
  std::vector<Tokens> atoms;           // name b x y z occ B
  std::vector<Tokens> reflections;     // h k l multiplicity d |F|^2 intensity
  double At(const std::string& key, size_t i) const { return std::stod(rows.at(key).at(i)); }
  std::string Text(const std::string& key, size_t i) const { return rows.at(key).at(i); }
};

inline Truth ReadTruth(const std::string& file) {
  Truth t;
  for (const Tokens& row : GoldenRows(file, "crystal")) {
    Tokens rest(row.begin() + 1, row.end());
    if (row[0] == "atom")
      t.atoms.push_back(std::move(rest));
    else if (row[0] == "reflection")
      t.reflections.push_back(std::move(rest));
    else
      t.rows[row[0]] = std::move(rest);
  }
  return t;
}

// The shortest text that reads back as x.
inline std::string Text(double x) {
  char buf[40];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

// A special coordinate (a multiple of 1/12 or of 1/8) is entered as it is.
inline bool Special(double v) {
  return std::fabs(12 * v - std::nearbyint(12 * v)) < 1e-9 || std::fabs(8 * v - std::nearbyint(8 * v)) < 1e-9;
}

// sum w (y - F)^2 over the working range at the current records (weights 1/E^2).
inline double ChiSquare() {
  double sum = 0;
  for (int32_t point = 1; point <= FitParameters->NPoints; ++point) {
    double y = 0, w = 0, f = 0;
    RietveldModel(y, w, f, point, 1);
    sum += w * (y - f) * (y - f);
  }
  return sum;
}

// A truth generator re-run into a temporary folder writes the committed files: the same counts
// from the same seed; the expected counts, and so the sigma column, move by rounding only (a few
// units in the 4th decimal at most through the printing); the truths are closed forms (1e-12
// relative).
inline void ExpectTruthGeneratorReproduces(const std::string& script, const std::vector<std::string>& names) {
  const std::filesystem::path dir = TestTempPath(script + "_rerun");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool(script, dir.string()), 0);
  for (const std::string& name : names) {
    const bool xye = name.ends_with(".xye");
    const auto tolerance = [&](const Tokens& row, size_t col) {
      double x = 0;
      if (!TokenNumber(row[col], x)) return std::nan("");
      return xye ? (col == 2 ? LastDigitUnit(row[col]) : 0.0) : 1e-12 * std::fabs(x);
    };
    const auto mismatches = TokenMismatches(TokenRows(dir / name), TokenRows(TruthDataDir + name), tolerance);
    EXPECT_TRUE(mismatches.empty()) << name << "\n" << JoinLines(mismatches);
  }
  std::filesystem::remove_all(dir);
}

class TruthTest : public CrystalDialogTest {
protected:
  explicit TruthTest(const std::string& folderName) : folder_(TestTempPath(folderName)) {}

  void SetUp() override {
    CrystalDialogTest::SetUp();
    WidthMode = 0, BackgroundMode = 0, M2Mode = 0, TrevoAutoRun = 0, FitControlsGiven = 0;
    std::fill(std::begin(OptionFlags), std::end(OptionFlags), uint8_t{0});
    AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3, AsciiErrorType = 0, VarianceMode = 0;
    DelayDeviation = 0, PreparedParameterCount = 0;
    for (int32_t m = 0; m < ModeCount; ++m)
      UseAvailableArray[m] = 0, ParametersPending[m] = 1, FitPending[m] = 1, ResultsUnsaved[m] = 0;
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    if (HasFailure()) std::cout << JoinLines(ui.transcript);
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(folder_);
    CrystalDialogTest::TearDown();
  }

  // Spectrum 1 read from the truth's file as the input command leaves it.
  static void ReadSpectrum(const Truth& t) {
    TSpectrum& sp = *SpectrumList[1];
    sp.Name = TruthDataDir + t.Text("spectrum", 0);
    const bool tof = t.At("axis", 0) == AxisTimeOfFlight;
    StartingChannelOne = tof ? 0 : 1;  // time of flight: X is the channel
    ASSERT_TRUE(sp.ReadAsciiTriples(1));
    sp.AxisKind = tof ? AxisTimeOfFlight : AxisAngular;
    sp.ChanWidth = t.At("header", 0), sp.FlightPath = t.At("header", 1), sp.Theta = t.At("header", 2);
    sp.Lambda = t.At("header", 3), sp.Delay = 0;
    sp.WorkFirst = sp.FirstChannel, sp.WorkLast = sp.LastChannel;
    ASSERT_EQ(sp.WorkFirst, t.At("range", 0));
    ASSERT_EQ(sp.WorkLast, t.At("range", 1));
  }

  // Phase 1 and its atoms through the editors, a, b, c of the cell times cellChange (a few
  // tenths of a per cent off by default); with perturbAtoms the free coordinates 0.01 and B
  // 30 % off too. Then the reflections over the truth's d range.
  void EnterPhase(const Truth& t, bool perturbAtoms, const std::array<double, 3>& cellChange = {1.003, 0.998, 1.0025}) {
    const int32_t group = static_cast<int32_t>(t.At("group", 0));
    if (t.rows.count("shape") && t.At("shape", 0) != ModelGauss) SetShape(2, static_cast<int32_t>(t.At("shape", 0)));
    ui.ExpectDialog("Phase information").Field(1, 1, t.Text("group", 0)).Field(2, 1, t.Text("group", 1)).Ok();
    auto& cell = ui.ExpectDialog("Check lattice information");
    // The cell dialog asks a, b, c, beta of a monoclinic group (unique axis b), a, b, c of an
    // orthorhombic one, a and c of a tetragonal or hexagonal one, a of a cubic one.
    const std::vector<int> typed = group <= 15    ? std::vector<int>{0, 1, 2, 4}
                                   : group <= 74  ? std::vector<int>{0, 1, 2}
                                   : group <= 194 ? std::vector<int>{0, 2}
                                                  : std::vector<int>{0};
    const double change[6] = {cellChange[0], cellChange[1], cellChange[2], 1, 1.002, 1};
    for (size_t i = 0; i < typed.size(); ++i)
      cell.Field(static_cast<int32_t>(i) + 1, 1, Text(t.At("cell", typed[i]) * change[typed[i]]));
    cell.Ok();
    EditPhaseInfo(0);
    ASSERT_EQ(DialogOk, 1);

    std::string memo;
    for (const auto& a : t.atoms) memo += a[0] + "\n";
    ui.ExpectDialog("Enter or Edit the atom list").Memo(memo).Ok();
    int32_t sign = 1;
    for (size_t j = 0; j < t.atoms.size(); ++j) {
      const Tokens& a = t.atoms[j];
      auto& d = ui.ExpectDialog("Atom " + std::to_string(j + 1) + " ").Field(1, 1, a[5]);
      for (int32_t i = 0; i < 3; ++i) {
        const double v = std::stod(a[2 + i]);
        d.Field(2 + i, 1, !perturbAtoms || Special(v) ? a[2 + i] : Text(v + 0.01 * (sign = -sign)));
      }
      d.Field(5, 1, perturbAtoms ? Text(std::stod(a[6]) * (j % 2 ? 0.7 : 1.3)) : a[6]).Ok();
    }
    EditAtomList(0);
    ASSERT_EQ(DialogOk, 1);
    for (size_t j = 0; j < t.atoms.size(); ++j)
      EXPECT_EQ(AtomTable[j + 1][1].ScatteringLength, std::stod(t.atoms[j][1])) << "the generator's b of " << j + 1;

    ui.ExpectDialog("Form hkl").Field(1, 1, t.Text("hkl_range", 0)).Field(2, 1, t.Text("hkl_range", 1)).Ok();
    ui.ExpectDialog("").Ok();  // the list of the formed reflections
    FormHklSet();
    ASSERT_GT(PhaseTable[1].ReflectionCount, 10);
  }

  std::filesystem::path home_ = std::filesystem::current_path(), folder_;

private:
  FreshEngine engine_;
  KeepValues<int32_t> ints_[10] = {{&WidthMode, 1},       {&BackgroundMode, 1},         {&GraphMode, 1},
                                   {&AsciiErrorType, 1},  {&PreparedParameterCount, 1}, {UseAvailableArray, ModeCount},
                                   {&SpectrumCount, 1},   {&IntervalFirst, 1},          {&IntervalLast, 1},
                                   {&ParameterArrayMode, 1}};
  KeepValues<int32_t> columns_[4] = {{&AsciiColumnX, 1}, {&AsciiColumnY, 1}, {&AsciiColumnE, 1}, {&VarianceMode, 1}};
  KeepValues<uint8_t> bytes_[8] = {{&M2Mode, 1},           {&TrevoAutoRun, 1},      {&StartingChannelOne, 1},
                                   {&FitControlsGiven, 1}, {FitPending, ModeCount}, {ResultsUnsaved, ModeCount},
                                   {OptionFlags, OptionFlagCount}, {&StopButtonOption, 1}};
  KeepValues<double> doubles_[5] = {{&DelayDeviation, 1}, {&ModelSpectrum, 1}, {&ModelChannel, 1},
                                    {&MergeThreshold, 1}, {&WeakPeakLevel, 1}};
  KeepValues<std::string> texts_[2] = {{&SideButtonMask, 1}, {&StatusText, 1}};
};
