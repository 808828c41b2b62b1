// Acceptance of the powder indexing: every case of tools/gen_indexing_sets.py (one cell per lattice
// type and tier; VKEST_INDEXING_SET names a larger set) and of tools/gen_indexing_minerals.py runs through the Celix menu as a new user
// would (Prepare with the true system and lattice type and the automatic options, Make with the
// defaults, "Stop fitting?" Yes, Save Results); tools/judge_indexing.py compares Niggli cells with gemmi and
// prints the shares and the times per run.
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <tuple>
#include "core/cell_geometry.h"
#include "core/dspacing_list.h"
#include "core/number_format.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "indexing/dspacing_editing.h"
#include "indexing/indexing_results.h"
#include "indexing_setup.h"
#include "support/session_random.h"
#include "support/temp_path.h"

namespace {

class AcceptanceTest : public IndexingTest {
public:
  void Lines(const std::vector<double>& d) { SetLines(d); }
  void Script(int32_t system, int32_t type) { ScriptDefaultIndexing(system, type); }

  // The lines the peak search and the marked points give on tests/indexing/data/<name>_pattern.txt
  // with the constant d error given; the published cell's edges into cell.
  std::vector<double> MeasuredPeakLines(const std::string& name, double error, double (&cell)[3]) {
    TSpectrum& sp = *SpectrumList[1];
    std::unique_ptr<TPeakModel> models[PeakModelCount + 1];  // the search subtracts the models' shapes
    for (int32_t k = 1; k <= PeakModelCount; ++k) models[k] = std::move(PeakModels[k]), PeakModels[k] = std::make_unique<TPeakModel>();
    int32_t n = 0;
    for (const Tokens& row : GoldenRows(name + "_pattern.txt", "indexing")) {
      if (row[0] == "cell") cell[0] = Num(row[1]), cell[1] = Num(row[2]), cell[2] = Num(row[3]);
      if (row[0] != "sp") continue;
      n = std::stoi(row[1]);
      sp.X[n] = Num(row[2]), sp.Y[n] = Num(row[3]), sp.E[n] = Num(row[4]);
    }
    sp.AxisKind = AxisAngular, sp.Lambda = 1.5406, sp.Delay = 0;
    sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = n;
    PeakSensitivity = PeakResolution = 1, SmallStatistics = 7, MaxPeakCount = 150, PeakSearchSectionLength = 256;
    FindPeaks(sp, 1, n, 1.8, 1.8, 0.5);
    for (int32_t k = 1; k <= PeakModelCount; ++k) PeakModels[k] = std::move(models[k]);
    ui.ExpectDialog("Form the d-distribution").Radio(2).CheckBox(true).Edit(1, FormatNumberNoBlanks(4, error)).Ok();
    ui.ExpectDialog("Dspacings Info").Ok();
    ui.ExpectDialog("Dspacings").Ok();
    FormDSpacings();
    std::vector<double> found;
    for (int32_t i = 1; i <= DSpacingCount; ++i) found.push_back(DSpacingList[i].d);
    return found;
  }

protected:
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount};
  KeepValues<int32_t> bins_{&BinCounts[0][0], (MaxPhases + 1) * 7}, binTries_{&BinTriesDefault, 1};
  KeepValues<double> marked_{MarkedPoints, MarkedPointCapacity + 1}, dError_{&DefaultDError, 1},
      search_{&PeakSensitivity, 1}, resolution_{&PeakResolution, 1}, small_{&SmallStatistics, 1};
  KeepValues<int32_t> markedCount_{&MarkedPointCount, 1}, source_{&DSpacingSource, 1}, most_{&MaxPeakCount, 1},
      section_{&PeakSearchSectionLength, 1};
  KeepValues<uint8_t> refine_{&RefineMarkedPositions, 1};
};

// Runs every case of rows through the Celix menu and judges the found cells with the edge
// tolerance given (empty: the judge's 0.5 %); the successes per crystal-system letter.
std::map<std::string, int32_t> RunCases(AcceptanceTest& t, const std::vector<Tokens>& rows, const std::string& edges) {
  // VKEST_INDEXING_KEEP names a directory that keeps the found cells and the verdicts.
  const char* keep = std::getenv("VKEST_INDEXING_KEEP");
  const auto kept = [&](const std::string& name) {
    return keep ? std::filesystem::path(keep) / name : TestTempPath(name);
  };
  const auto found = kept("found.txt"), verdicts = kept("verdicts.txt");
  std::ofstream out(found);
  for (size_t r = 0; r < rows.size(); ++r) {
    const Tokens& c = rows[r];
    if (c[0] != "case") continue;
    std::vector<double> d, err;
    for (size_t k = r + 1; k < rows.size() && rows[k][0] == "l"; ++k)
      d.push_back(Num(rows[k][1])), err.push_back(Num(rows[k][2]));
    // VKEST_INDEXING_SYSTEM=1: the system unknown, every case searched as a primitive triclinic cell.
    const bool unknown = std::getenv("VKEST_INDEXING_SYSTEM") && std::atoi(std::getenv("VKEST_INDEXING_SYSTEM")) == 1;
    const int32_t system = unknown ? 1 : std::stoi(c[4]), type = unknown ? 0 : std::stoi(c[5]);
    // The generator as a new user's session starts it; VKEST_INDEXING_SEED moves it (the benchmark).
    const int32_t shift = std::getenv("VKEST_INDEXING_SEED") ? std::atoi(std::getenv("VKEST_INDEXING_SEED")) : 0;
    EXPECT_TRUE(SeedAsStartedSession(shift, shift));
    FreeCelixFitter();
    ResultsUnsaved[1] = 0, BinDefaultsSet = 0, PhaseCount = 1;
    t.Lines(d);
    for (size_t i = 0; i < d.size(); ++i) DSpacingList[i + 1].Error = err[i];
    AssignDSpacings();  // as a d-spacing file leaves the list: sorted, AverageDError the mean error
    t.Script(system, type + 1);
    // The processor time of the run (one thread): a machine shared with other work stretches
    // the wall time.
    const std::clock_t start = std::clock();
    CelixMain();
    ShowIndexingResults(3);  // Save Results: the cell the user gets back
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    // Rhombohedral axes: primitive.
    const auto letterOf = [](int32_t s, int32_t t) { return s == 7 ? 'P' : "PABCFIR"[std::clamp(t, 0, 6)]; };
    out << c[1] << " " << c[2] << " " << c[3] << " " << letterOf(std::stoi(c[4]), std::stoi(c[5]));
    for (size_t k = 6; k < 12; ++k) out << " " << c[k];
    out << " " << letterOf(system, type);
    const ParameterRecord* p = CelixFitter->Records.data();
    for (int32_t m = 1; m <= 6; ++m) out << " " << (m <= 3 ? p[m].value : std::acos(p[m].value) * 180 / M_PI);
    out << " " << seconds << " " << TrialCounter << "\n";
  }
  out.close();
  const std::string judge = std::string(VKEST_PYTHON) + " '" + VKEST_SOURCE_DIR + "/tools/judge_indexing.py' " +
                            (edges.empty() ? "" : "--edges " + edges + " ") + "'" + found.string() + "' '" +
                            verdicts.string() + "'";
  EXPECT_EQ(std::system(judge.c_str()), 0);
  std::map<std::string, int32_t> success;
  for (const Tokens& v : TokenRows(verdicts)) success[v[1].substr(0, 1)] += v[3] == "success";
  if (!keep) std::filesystem::remove(found), std::filesystem::remove(verdicts);
  return success;
}

TEST_F(AcceptanceTest, KnownCellsOfEveryLatticeType) {
  VKEST_REQUIRE_PYTHON("gemmi");
  const char* other = std::getenv("VKEST_INDEXING_SET");
  const std::vector<Tokens> rows = other ? TokenRows(other) : GoldenRows("indexing_sets.txt", "indexing");
  std::map<std::string, int32_t> success = RunCases(*this, rows, "");
  if (other) return;
  // The successes measured on the CI set from a new session's random state: 33 of 33, 6 of 6 and
  // 3 of 3; one monoclinic miss is within the 95 % that tools/bench_indexing.sh judges over five
  // seeds. Triclinic cells come from the lines' zones, whatever the seed.
  EXPECT_EQ(success["c"] + success["t"] + success["h"] + success["o"], 33);
  EXPECT_GE(success["m"], 5);
  EXPECT_EQ(success["a"], 3);
}

// The minerals of tools/gen_indexing_minerals.py (published cells, one line missing, one impurity
// line) give their cells, after Save Results, with every edge within 5e-4 of the truth: all 13
// down to rhombohedral (a 3_1 axis, an obtuse rhombohedron and the layered, acute ones of Bi2Te3,
// hydrotalcite and CdCl2, alpha 24, 23 and 36 degrees, among them), 6 of 6 monoclinic (C- and
// A-centred) and 4 of 4 triclinic as measured from a new session's random state.
TEST_F(AcceptanceTest, MineralsGiveTheirPublishedCells) {
  VKEST_REQUIRE_PYTHON("gemmi");
  std::map<std::string, int32_t> success = RunCases(*this, GoldenRows("indexing_minerals.txt", "indexing"), "5e-4");
  EXPECT_EQ(success["c"] + success["t"] + success["h"] + success["o"], 13);
  EXPECT_GE(success["m"], 5);
  EXPECT_EQ(success["a"], 4);
}

// Patterns as a lab measures them (tools/gen_measured_patterns.py: lead sulfate and forsterite,
// P n m a, and pyrope, I a -3 d; 0.1-degree channels, a zero of 0.04-0.06 degrees left in): the
// peak search and the marked points give the lines of <name>_lines.txt (lead sulfate's is the
// benchmark's 65-line list), 3 to 8 times less accurate than 0.001 A against the published cell.
struct MeasuredList {
  const char* name;
  double medianLow, medianHigh;  // bounds of the first 20 lines' median miss (A)
  std::vector<double> reduced;   // the published lattice's reduced cell: edges ascending
  double volume;                 // and its volume
  std::vector<std::pair<int32_t, double>> runs;  // crystal system (1: unknown) and constant d error
};

// With the constant d error the README's rule gives for such lines (the median of d cot(theta)
// delta(theta) over the lines, delta(2 theta) the zero plus half a channel: 0.002-0.003 A here),
// and for forsterite and pyrope at twice it, the search returns the published lattice within the
// zero's shift, with the system given (lead sulfate) and with it unknown: a triclinic search,
// whose reduced cell is compared edge by edge and by volume. Pyrope's half-volume tetragonal
// sublattice has the same d values; its cubic ties fit the lines only within the zero's shift.
TEST_F(AcceptanceTest, MeasuredPeaksGiveTheCellAtTheReadmeError) {
  const double r = 11.452 * std::sqrt(3.0) / 2;  // pyrope's primitive rhombohedron
  const MeasuredList lists[] = {
      {"anglesite", 0.003, 0.008, {5.398, 6.959, 8.482}, 5.398 * 6.959 * 8.482, {{3, 0.003}, {1, 0.002}, {1, 0.003}}},
      {"forsterite", 0.003, 0.008, {4.756, 5.980, 10.207}, 4.756 * 5.980 * 10.207, {{1, 0.003}, {1, 0.006}}},
      {"pyrope", 0.0012, 0.008, {r, r, r}, std::pow(11.452, 3) / 2, {{1, 0.002}, {1, 0.003}, {1, 0.006}}}};
  for (const MeasuredList& list : lists) {
    SCOPED_TRACE(list.name);
    double cell[3] = {};
    const std::vector<double> found = MeasuredPeakLines(list.name, 0.003, cell);
    std::vector<double> stored;
    for (const Tokens& row : GoldenRows(std::string(list.name) + "_lines.txt", "indexing")) stored.push_back(Num(row[1]));
    ASSERT_EQ(found.size(), stored.size());
    for (size_t i = 0; i < found.size(); ++i) EXPECT_NEAR(found[i], stored[i], 1e-9 * stored[i]) << i;
    // The first 20 lines' misses from the nearest d of the published cell (any h k l: a lower
    // bound of the miss from its own reflection, close to it where the reflections are sparse).
    std::vector<double> miss;
    for (double d : std::vector<double>(found.begin(), found.begin() + 20)) {
      double m = 1;
      for (int32_t h = 0; h <= 14; ++h)
        for (int32_t k = 0; k <= 14; ++k)
          for (int32_t l = 0; l <= 14; ++l)
            if (h + k + l > 0)
              m = std::min(m, std::fabs(d - 1 / std::sqrt(std::pow(h / cell[0], 2) + std::pow(k / cell[1], 2) +
                                                            std::pow(l / cell[2], 2))));
      miss.push_back(m);
    }
    std::sort(miss.begin(), miss.end());
    EXPECT_GT(miss[miss.size() / 2], list.medianLow) << "median miss";
    EXPECT_LT(miss[miss.size() / 2], list.medianHigh) << "median miss";
    // The zero moves a line by d cot(theta) 0.02-0.03 degrees in theta, 3e-3 of d at the first
    // line, and reading the two-theta of a 0.1-degree channel by as much again at most. The
    // system unknown: cells of a fraction or a multiple of the true volume index all but a few
    // lines by chance at these errors, and must not be taken for it; its least squares, no ties
    // until the end, shares the zero's shift otherwise among the edges.
    for (const auto& [system, error] : list.runs) {
      if (error != 0.003) MeasuredPeakLines(list.name, error, cell);
      SeedAsStartedSession(0, 0);
      FreeCelixFitter();
      ResultsUnsaved[1] = 0, BinDefaultsSet = 0, PhaseCount = 1;
      Script(system, 1);
      CelixMain();
      const ParameterRecord* c = &CelixFitter->Records[0];
      std::vector<double> edges = {c[1].value, c[2].value, c[3].value};
      std::sort(edges.begin(), edges.end());
      const double volume = CellVolumeFromCosines(c[1].value, c[2].value, c[3].value, c[4].value, c[5].value, c[6].value);
      for (size_t m = 0; m < 3; ++m)
        EXPECT_NEAR(edges[m], list.reduced[m], 6e-3 * list.reduced[m]) << system << " " << error << " " << m;
      EXPECT_NEAR(volume, list.volume, 0.015 * list.volume) << system << " " << error;
    }
  }
}

// The mineral lists and the measured-like patterns are what their generators write now.
TEST_F(AcceptanceTest, MineralListsAreWhatTheGeneratorWritesNow) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy");
  for (const auto& [tool, file, argument] :
       {std::tuple{"gen_indexing_minerals.py", "indexing_minerals.txt", ""},
        std::tuple{"gen_measured_patterns.py", "anglesite_pattern.txt", "anglesite"},
        std::tuple{"gen_measured_patterns.py", "forsterite_pattern.txt", "forsterite"},
        std::tuple{"gen_measured_patterns.py", "pyrope_pattern.txt", "pyrope"}}) {
    const auto out = TestTempPath(file);
    ASSERT_EQ(RunTool(tool, out.string(), argument), 0) << tool;
    const auto mismatches = TokenMismatches(TokenRows(out), GoldenRows(file, "indexing"), RelativeToNumbers(1e-12));
    std::filesystem::remove(out);
    EXPECT_TRUE(mismatches.empty()) << file << "\n" << JoinLines(mismatches);
  }
}

}  // namespace
