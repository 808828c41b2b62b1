// The INI writer against its reader (a set-up written, read back in a fresh state and written
// again gives the same text), the peak-model block, the frame, the parameter command.
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include "core/dialog_state.h"
#include "core/fit_engine.h"
#include "core/parameter_layout.h"
#include "core/messages.h"
#include "core/number_parse.h"
#include "crystal/cell_rows.h"
#include "crystal/cell_update.h"
#include "crystal/metric_constraints.h"
#include "crystal/parameter_editor.h"
#include "crystal/parameter_preparation.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "peaks/fitra_state.h"
#include "ini/ini_commands.h"
#include "ini/ini_setup.h"
#include "ini/ini_writer.h"

namespace {

std::string WriteToMemory() {
  IniTextFile.RewriteToMemory("w.ini");
  WriteIniSections();
  std::string text = IniTextFile.Contents();
  IniTextFile.Close();
  return text;
}

// The text without the record names of the parameter rows (names are outside the property: in
// powder match they carry d, which follows the cell).
std::string WithoutNames(const std::string& text) {
  std::istringstream in(text);
  std::string out, line;
  bool rows = false;
  while (std::getline(in, line)) {
    if (line.rfind("..", 0) == 0) rows = line.find("Info about the Parameters") != std::string::npos;
    if (rows && !line.empty() && line[0] != '*' && line[0] != '.') {
      std::istringstream f(line);
      std::string item, kept;
      for (int32_t k = 0; k < 6 && f >> item; ++k) kept += item + " ";
      line = kept;
    }
    out += line + "\n";
  }
  return out;
}

int32_t Count(const std::string& text, const std::string& part) {
  int32_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}


// The values a save must keep: the parameter records of the mode's fitter, the cells and atoms.
struct ModelValues {
  ModelValues() {
    const TParameter* fit = MainMode == 1 ? static_cast<TParameter*>(CelixFitter.get()) : FitParameters.get();
    for (int32_t i = 1; fit && i <= fit->NPar; ++i) {
      const ParameterRecord& r = fit->Records[i];
      records.push_back({r.lower, r.value, r.upper, r.a, r.b});
    }
    for (int32_t p = 1; p <= PhaseCount && MainMode != 1 && MainMode != 3; ++p) {
      cells.emplace_back(PhaseTable[p].Cell, PhaseTable[p].Cell + 6);
      for (int32_t i = 1; i <= PhaseTable[p].AtomCount; ++i) {
        const ATOM& a = AtomTable[i][p];
        atoms.push_back({a.Occupation, a.X, a.Y, a.Z, a.T11});
      }
    }
  }
  // Relative 1e-6; a metric record of the cell rows (a square of an edge over angles) 4e-6; an
  // indexing cosine, written as its angle within 1e-6 (1e-4 degrees), 2e-6 absolute.
  void ExpectSame(const ModelValues& back) const {
    auto same = [](const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b,
                   const char* what, double tol, double absolute = 1e-300) {
      ASSERT_EQ(a.size(), b.size()) << what;
      for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < a[i].size(); ++j)
          EXPECT_NEAR(b[i][j], a[i][j], tol * std::abs(a[i][j]) + absolute) << what << " " << i + 1 << " field " << j;
    };
    same(cells, back.cells, "cell", 1e-6);
    same(atoms, back.atoms, "atom", 1e-6);
    std::vector<std::vector<double>> metric, other, metricBack, otherBack;
    for (size_t i = 0; i < records.size(); ++i) {
      bool cellRow = false;
      for (int32_t p = 1; p <= PhaseCount && (MainMode == 0 || MainMode == 2); ++p)
        cellRow = cellRow || (FirstCellRecord(p) != 0 && static_cast<int32_t>(i) + 1 >= FirstCellRecord(p) &&
                              static_cast<int32_t>(i) + 1 < FirstCellRecord(p) + 6);
      const bool cosine = MainMode == 1 && static_cast<int32_t>(i) < 6 * PhaseCount && i % 6 >= 3;
      (cellRow || cosine ? metric : other).push_back(records[i]);
      if (i < back.records.size()) (cellRow || cosine ? metricBack : otherBack).push_back(back.records[i]);
    }
    same(other, otherBack, "record", 1e-6);
    if (MainMode == 1) same(metric, metricBack, "cosine record", 0, 2e-6);
    else same(metric, metricBack, "metric record", 4e-6);
  }
  std::vector<std::vector<double>> records, cells, atoms;
};

// One random set-up as INI text (without the parameter array): any mode.
struct Generator {
  explicit Generator(uint32_t seed) : rng(seed) {}
  std::mt19937 rng;
  double U(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }
  int32_t I(int32_t a, int32_t b) { return std::uniform_int_distribution<int32_t>(a, b)(rng); }

  std::string Crystal(int32_t mode, int32_t phases) {
    // Group, setting, cell of each crystal system (the cell obeys the system).
    std::ostringstream s;
    s << "SWBM\n" << I(0, 3) << " 0\nILP\n";
    for (int32_t p = 1; p <= phases; ++p) {
      const double a = U(3, 9), b = U(3, 9), c = U(3, 9);
      const int32_t kind = I(0, 6);
      const int32_t atoms = I(1, 5);
      switch (kind) {
        case 0: s << a << " " << b << " " << c << " " << U(80, 100) << " " << U(80, 100) << " " << U(80, 100) << " 2 1 "; break;
        case 1: s << a << " " << b << " " << c << " 90 " << U(95, 110) << " 90 14 2 "; break;
        case 2: s << a << " " << b << " " << c << " 90 90 90 62 1 "; break;
        case 3: s << a << " " << a << " " << c << " 90 90 90 139 1 "; break;
        case 4: s << a << " " << a << " " << c << " 90 90 120 194 1 "; break;
        case 5: s << a << " " << a << " " << c << " 90 90 120 167 1 "; break;
        default: s << a << " " << a << " " << a << " 90 90 90 225 1 "; break;
      }
      s << atoms << " 0 0\n";
      counts[p] = atoms;
    }
    static const char* const names[] = {"Zr", "O", "Fe", "Ni", "Si", "Al", "Cu", "Mn", "Hf", "C"};
    s << "IAP\n";
    for (int32_t p = 1; p <= phases; ++p)
      for (int32_t i = 1; i <= counts[p]; ++i)
        s << names[I(0, 9)] << "\n" << U(0, 1) << " " << U(0, 1) << " " << U(0, 1) << " " << U(0, 1) << " " << U(0, 2)
          << " 0 0 0 0 0\n";
    // A magnetic phase 2 whose ions hold a blank (Rietveld: powder match counts no magnetic block).
    if (mode == 0 && phases >= 2 && I(0, 2) == 0) {
      s << "SMP\n2 " << I(1, 7) << "\n0 0 1\nDUMMY\n";
      for (int32_t i = 1; i <= counts[2]; ++i) s << (i % 2 ? "V 0" : "U 3") << "\n";
      for (int32_t i = 1; i <= counts[2]; ++i) s << U(0, 5) << "\n";
    }
    if (I(0, 2) == 0) s << "SAP\n1\n" << U(-1, 1) << " " << U(-1, 1) << " 0.5 0 0 0\n0 0 0 0 0 0\n";
    if (I(0, 2) == 0) s << "SMM\n" << U(-1, 1) << " " << U(-1, 1) << "\n";
    if (mode == 2 || (mode == 0 && I(0, 1) == 0)) s << "FHKL\n";
    return s.str();
  }

  // Powder indexing: a d-spacing list, systems, volumes, minimisers, hkl bounds and bins; what was
  // given is kept for the fidelity check.
  std::string Indexing() {
    std::ostringstream s;
    const int32_t type = I(0, 3), rows = I(5, 30), phases = I(1, 4);
    kinematic = I(0, 1);
    s << "SM\n1\nEDS\n" << type << " " << U(10, 30) << " " << U(0.5, 2.5) << " " << U(20, 160) << " " << U(-1, 1)
      << " " << U(1, 64) << " " << kinematic << "\n";
    for (int32_t k = 1; k <= rows; ++k) s << 1 + 0.2 * k + U(0, 0.1) << " " << U(5e-4, 5e-3) << " " << U(1, 999) << "\n";
    s << "/\nSNP\n" << phases << "\nSSAI\n";
    for (int32_t p = 1; p <= phases; ++p) s << (systems[p] = I(1, 7)) << "\n";
    s << "SV\n";
    for (int32_t p = 1; p <= phases; ++p) s << U(50, 2000) << "\n";
    s << "SVM\n";
    for (int32_t p = 1; p <= phases; ++p) s << U(0, 2) << "\n";
    s << "SHKLB\n";
    for (int32_t p = 1; p <= phases; ++p) {
      const int32_t h = I(0, 6), k = I(0, 6);
      bounds[p] = {h, I(-6, h), k, I(-6, k), I(0, 6)};
      for (int32_t b : bounds[p]) s << b << " ";
      s << "\n";
    }
    s << "SDM\n";
    tries = I(1, 5);
    for (int32_t p = 1; p <= phases; ++p) {
      for (int32_t j = 0; j < 6; ++j) s << I(1, 9) << " ";
      s << (p == 1 ? std::to_string(tries) : "") << "\n";
    }
    return s.str() + "IMFC\n" + std::to_string(I(1, 20)) + " 0.9 1e-5\n";
  }

  std::string SetUp(int32_t mode) {
    if (mode == 1) return Indexing();
    std::ostringstream s;
    s << "SM\n" << mode << "\n";
    if (mode == 3) {
      const int32_t exponentials = I(-3, 4), peaks = exponentials > 0 ? 0 : I(1, 20);
      if (exponentials > 0) s << "SNEF\n" << exponentials;
      else s << "SNPF\n" << peaks;
      s << "\nIS\nzro2_counts.txt\n1 3 1 1024 305 740 " << U(2, 9) << " " << U(1, 4) << " "
        << U(2, 9) << " 0.0025 " << I(0, 5) << "\nSWBM\n" << I(-1, 3) << " 0\n";
      if (exponentials > 0) return s.str();
      const int32_t models = I(1, 3);
      s << "IPMA\n";
      for (int32_t k = 1; k <= peaks; ++k) s << std::min(k, models) << " ";
      s << "\nIESM\n1 4\n" << U(0.1, 0.9) << "\n";
      if (I(0, 1)) s << "SMM\n0.25 -0.5\n";
      return s.str();
    }
    const int32_t phases = I(1, 3);
    s << "SNP\n" << phases << "\n";
    if (I(0, 1))
      s << "IS\nzro2_counts.txt\n1 3 1 1024 305 740 25.0 " << U(-2, 2) << " 64.0 75.0 7.0 4.0 " << U(1, 9)
        << " 0.0025 " << I(0, 5) << " 0.00147 0.00893 0\n";
    else
      s << "IAS\nangular_xye.txt\n2 4 1 1024 1 1024 1.54 " << U(-0.1, 0.1) << " 0.05 10.0 7.0 4.0 7.0 0 3 0.00147 0.00893 0\n";
    s << Crystal(mode, phases) << "IMFC\n" << I(1, 20) << " 0.9 1e-5 0.001 " << U(1, 100) << "\n";
    return s.str();
  }

  // A parameter array for the layout read: perturbed values, ties (a = 1/3, b = 0.0025), fixed
  // records, the cells from the phases.
  void Parameters() {
    int32_t n = 0;
    CountParameters(n, MainMode);
    if (MainMode == 1) return IndexingParameters(n);
    for (int32_t i = 1; i <= n; ++i) {
      ParameterRecord& r = parar[i];
      r.n = i, r.a = 1, r.b = 0, r.value = U(-5, 5);
      r.lower = r.value - U(0, 3), r.upper = r.value + U(0, 3);
      const int32_t kind = I(0, 5);
      if (kind == 0) r.lower = r.upper = r.value;
      if (kind == 1 && i > 1) r.n = I(1, i - 1), r.a = 1.0 / 3, r.b = 0.0025;
    }
    parar[1].n = 1;
    ParameterNames();
    if (MainMode == 0 || MainMode == 2)
      for (int32_t p = 1; p <= PhaseCount; ++p) {
        for (int32_t q = 0; q < 6; ++q) {
          const double v = PhaseTable[p].Cell[q];
          CellWorkRows[LowerCellRow][q] = q < 3 ? v * 0.99 : v;
          CellWorkRows[ValueCellRow][q] = v;
          CellWorkRows[UpperCellRow][q] = q < 3 ? v * 1.01 : v;
        }
        ASSERT_TRUE(CellToMetricRows(p, 1));
      }
    FitParameters->NPar = n;
    for (int32_t i = 1; i <= n; ++i) FitParameters->Records[i] = parar[i];
  }
  // Edges (angstrom) and cosines of each phase, then the instrument records; some fixed.
  void IndexingParameters(int32_t n) {
    for (int32_t i = 1; i <= n; ++i) {
      ParameterRecord& r = parar[i];
      const bool cosine = i <= 6 * PhaseCount && (i - 1) % 6 >= 3;
      r.n = i, r.a = 1, r.b = 0, r.value = cosine ? U(-0.3, 0.3) : U(3, 9);
      r.lower = r.value - U(0, cosine ? 0.1 : 1), r.upper = r.value + U(0, cosine ? 0.1 : 1);
      if (I(0, 5) == 0) r.lower = r.upper = r.value;
    }
    ParameterNames();
    CreateCelixFitter();
    CelixFitter->NPar = n;
    CelixFitter->TriesPerBin = BinTriesDefault;  // as the indexing preparation sets it
    for (int32_t i = 1; i <= n; ++i) CelixFitter->Records[i] = parar[i];
  }
  int32_t counts[MaxPhases + 1] = {};
  int32_t systems[MaxPhases + 1] = {}, kinematic = 0, tries = 0;
  std::array<int32_t, 5> bounds[MaxPhases + 1] = {};
};

class IniWriterTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    InhibitWarnings = 0;
    ui.onUnexpected = nullptr;  // the information window of IP and the reader's messages
    if (!FitParameters) CreateFitParameters();
    for (auto& sp : SpectrumList) sp->Name = sp->VarianceName = WorkDir;  // no files given
  }
  void TearDown() override { ui.Clear(), IniTest::TearDown(); }
  KeepValues<int32_t> keep_[3] = {{&WidthMode, 1}, {&BackgroundMode, 1}, {&ExponentialCount, 1}};
};

// Fixpoint and clean read: a written set-up read back in a fresh state writes the same bytes,
// and every title the writer emitted reached a handler that took it; powder indexing keeps what
// its set-up gave.
TEST_F(IniWriterTest, RoundTripIsAFixpoint) {
  for (int32_t mode : {0, 1, 2, 3}) {
    for (uint32_t seed = 1; seed <= 100; ++seed) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " seed " + std::to_string(seed));
      Generator g(seed * 7919 + static_cast<uint32_t>(mode));
      Read(g.SetUp(mode));
      int32_t slot = 3;  // a real model, a Fourier and a Step-Function (written as real blocks)
      for (int32_t number : {ModelReal, ModelFourier, ModelStepFunction}) {
        TPeakModel& m = *PeakModels[static_cast<size_t>(slot++)];
        m.ModelNumber = number, m.HalfWidth = g.U(1, 3), m.Area = 1, m.FullWidth = g.U(5, 20), m.Centroid = 0.01;
        for (int32_t k = 1; k <= PeakModelPoints; ++k) m.Shape[k] = std::exp(-0.01 * (k - 97) * (k - 97));
      }
      g.Parameters();
      // As a fit leaves the model: the phases updated from the array.
      if (mode == 0 || mode == 2) UpdatePhasesFromParameters();
      const ModelValues before;
      // The first write reads back as the model (every value within 1e-6 of itself), and writes
      // itself again.
      const std::string first = WriteToMemory();
      Read(first);
      before.ExpectSame(ModelValues());
      for (const auto& t : IniDispatchTrace) EXPECT_TRUE(t.known == 1 && !t.handler.empty()) << t.key << " line " << t.line;
      EXPECT_EQ(DialogOk, 1) << ::testing::PrintToString(ui.Messages());
      EXPECT_EQ(UseAvailableArray[mode], 1);
      ASSERT_EQ(WithoutNames(first), WithoutNames(WriteToMemory()));
      if (mode == 3 && ExponentialCount == 0 && WidthMode != -1) {
        // A peak array's allowed width changes are the half ranges of the width records read
        // (the array is built as value -+ the change), found where the builder puts them.
        ASSERT_GT(MarkedPointCount, 0);
        for (int32_t j = 1; j <= 6; ++j) {
          const ParameterRecord &w0 = parar[WidthW0Record(MarkedPointCount, j)],
                                &w1 = parar[WidthW1Record(MarkedPointCount, j)];
          EXPECT_DOUBLE_EQ(DeltaW0[j], (w0.upper - w0.lower) / 2) << j;
          EXPECT_DOUBLE_EQ(DeltaW1[j], (w1.upper - w1.lower) / 2) << j;
        }
      }
      if (mode != 1) continue;
      // Fidelity of the indexing set-up.
      EXPECT_EQ(std::make_tuple(CynematicFit, BinTriesDefault, CelixFitter->TriesPerBin),
                std::make_tuple(g.kinematic, g.tries, g.tries));
      for (int32_t p = 1; p <= PhaseCount; ++p) {
        EXPECT_EQ(PhaseTable[p].CrystalSystem, g.systems[p]);
        EXPECT_TRUE(std::equal(g.bounds[p].begin(), g.bounds[p].end(), HklBounds[p]));
        EXPECT_TRUE(std::all_of(BinCounts[p] + 1, BinCounts[p] + 7, [](int32_t b) { return b >= 1; }));
      }
    }
  }
  FreeCelixFitter();
}

// The written text against a golden text, line by line: the same bytes, the cell rows' bounds of
// a monoclinic cell included (they pass through the metric records and come back).
void ExpectSameText(const std::string& written, const std::string& golden) {
  std::istringstream w(written), g(golden);
  std::string wl, gl;
  for (int32_t line = 1; std::getline(g, gl); ++line) {
    ASSERT_TRUE(std::getline(w, wl)) << "line " << line << " missing: " << gl;
    EXPECT_EQ(wl, gl) << "line " << line;
  }
  EXPECT_FALSE(std::getline(w, wl)) << "surplus line: " << wl;
}

// Files written by hand from the section table: ZrO2 before a fit (no parameter section, so no
// atom names; FHKL after the atoms) and after one (the cell rows as cell constants, Hf tied to the
// Zr site, the names as GAIPA upper-cases them). Each read in a fresh state writes itself again,
// CR LF included.
TEST_F(IniWriterTest, Zro2GoldenFilesWriteThemselves) {
  for (const char* name : {"zro2_setup.ini", "zro2_fitted.ini"}) {
    SCOPED_TRACE(name);
    FitParameters->NPar = 0;
    ui.Clear();
    const std::string golden = ReadWholeFile(IniDataFile(name));
    Read(golden);
    ExpectSameText(WriteToMemory(), golden);
    EXPECT_EQ(Shown("No preparing yet performed" + LineBreak + "INI-file without parameters created"),
              std::string(name) == "zro2_setup.ini");
  }
  // The fitted file: the array of 60 rows taken, the phase updated from it at the end (an obtuse
  // angle goes to its cosine and back unchanged).
  EXPECT_EQ(UseAvailableArray[0], 1);
  EXPECT_EQ(FitParameters->NPar, 60);
  EXPECT_NEAR(PhaseTable[1].Cell[0], 5.1537, 1e-9);
  EXPECT_NEAR(PhaseTable[1].Cell[4], 99.199, 1e-9);
  EXPECT_EQ(FitParameters->Records[53].n, 23);
}

// The fitted ZrO2 set-up with atom names that are more than an element symbol (a charge, a "*"
// that would read as a comment, a name that is no element with its own scattering length), saved
// and read three times: every reading gives back the first save byte for byte, beta's bounds
// (98, 100) and every name and length as they were; with the unknown names accepted in the
// question, and with warnings inhibited.
TEST_F(IniWriterTest, FittedSetUpReadsBackAsItWasSaved) {
  for (uint8_t inhibited : {0, 1}) {
    SCOPED_TRACE(inhibited ? "inhibited" : "asked");
    InhibitWarnings = inhibited;
    Read(ReadWholeFile(IniDataFile("zro2_fitted.ini")));
    const std::tuple<int32_t, const char*, double> names[] = {
        {1, "*ZR", 0.716}, {2, "O2-", 0.5805}, {3, "AB", 0.5805}, {4, "FE3+", 0.945}};
    for (const auto& [i, name, length] : names) AtomTable[i][1].Name = name, AtomTable[i][1].ScatteringLength = length;
    const std::string first = WriteToMemory();
    EXPECT_EQ(Count(first, "\r\n 16     9.8000+1     9.9199+1     1.0000+2  1.000  0.000 beta\r\n"), 1) << first;
    EXPECT_EQ(Count(first, "\r\n *ZR      0.7160\r\nO2-      0.5805\r\nAB      0.5805\r\nFE3+      0.9450\r\n"), 1);
    for (int32_t cycle = 1; cycle <= 3; ++cycle) {
      // "Errors=0. Make Poisson variance?", then "No Mendeleev match for ... Ignore?" for two names
      // in two commands.
      ui.QueueAnswer(false);
      for (int32_t k = 0; k < 4 && !inhibited; ++k) ui.QueueAnswer(true);
      Read(first);
      ASSERT_EQ(WriteToMemory(), first) << "cycle " << cycle;
      for (const auto& [i, name, length] : names)
        EXPECT_TRUE(AtomTable[i][1].Name == name && AtomTable[i][1].ScatteringLength == length) << name << " " << cycle;
    }
  }
}

// An atom without a name is named when saved, and its empty name line named when read: the atom
// reads back as it was written, numbers and scattering length with it, not refused or taken for
// the next atom, and the file is read.
TEST_F(IniWriterTest, AtomWithoutNameIsNamedOnSavingAndReading) {
  Read("SNP\n1\nILP\n5 5 5 90 90 90 225 1 2 0 0\nIAP\nNi\n1 0 0 0 0.5 0 0 0 0 0\nO\n1 0.5 0.5 0.5 0.5 0 0 0 0 0\n");
  ATOM& a = AtomTable[1][1];
  a.Name.clear(), a.X = 0.125, a.Occupation = 0.75, a.ScatteringLength = 0.345;
  const ATOM want = a;
  FitParameters->NPar = 0;
  ui.Clear();
  const std::string text = WriteToMemory();
  EXPECT_TRUE(Shown("Atom 1 of phase 1 has no element name"));
  a.Name = "SR", a.X = 0.25;
  Read(text, false);
  EXPECT_TRUE(Shown("INI: No element name for atom 1 of phase 1"));
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(std::make_tuple(a.Name, a.Occupation, a.X, a.Y, a.ScatteringLength),
            std::make_tuple(std::string{}, want.Occupation, want.X, want.Y, want.ScatteringLength));
  EXPECT_EQ(std::make_tuple(AtomTable[2][1].Name, AtomTable[2][1].X), std::make_tuple(std::string{"O"}, 0.5));
}

// Two magnetic phases, each with a group file of its own, are saved with their own file names
// and come back with their own operations.
TEST_F(IniWriterTest, MagneticPhasesKeepTheirOwnGroupFiles) {
  Read("SNP\n3\nILP\n5 5 5 90 90 90 225 1 1 0 0\n6 6 6 90 90 90 777 1 1 0 0\nmagnetic.spg\n"
       "7 7 7 90 90 90 777 1 1 0 0\nmagnetic_orthorhombic.spg\nIAP\nNi\n1 0 0 0 0.5 0 0 0 0 0\n"
       "Ni\n1 0 0 0 0.5 0 0 0 0 0\nO\n1 0 0 0 0.5 0 0 0 0 0\n");
  ASSERT_TRUE(PhaseTable[2].OperationCount == 2 && PhaseTable[3].OperationCount == 4);
  FitParameters->NPar = 0;
  const std::string text = WriteToMemory();
  const size_t second = text.find("magnetic.spg\r\n"), third = text.find("magnetic_orthorhombic.spg\r\n");
  EXPECT_TRUE(second != std::string::npos && third != std::string::npos && second < third) << text;
  Read(text);
  EXPECT_EQ(PhaseTable[2].OperationCount, 2);
  EXPECT_EQ(PhaseTable[3].OperationCount, 4);
  EXPECT_EQ(PhaseTable[3].CrystalSystem, 3);
  EXPECT_EQ(WriteToMemory(), text);
}

// Powder indexing (sections 5 to 10, written by hand from the section table): no spectrum,
// crystal or width sections; without the indexing fitter no deterministic mode and no parameters
// (the message instead), then the fit controls.
TEST_F(IniWriterTest, PowderIndexingSections) {
  KeepValues<TFitControls> controls{&DefaultFitControls, 1};
  KeepValues<int32_t> kept[3] = {{&DSpacingDataType, 1}, {&CynematicFit, 1}, {&DSpacingCount, 1}};
  KeepValues<double> tables[2] = {{CellVolumes, MaxPhases + 1}, {VolumeMinimizers, MaxPhases + 1}};
  KeepValues<int32_t> bounds{&HklBounds[0][0], 5 * (MaxPhases + 1)};
  KeepValues<uint8_t> fitter{&CelixFitterCreated, 1};
  Read("SNP\n2\nIMFC\n6 0.99 0.01 1e6 1e6\n");
  MainMode = 1, DSpacingDataType = 3, CynematicFit = 0, CelixFitterCreated = 0;
  TSpectrum& sp = *SpectrumList[1];
  sp.FlightPath = 25, sp.Lambda = 1.54, sp.Theta = 75, sp.Delay = -1.187, sp.ChanWidth = 64;
  const double lines[3][3] = {{3.70169, 0.002, 707.3}, {3.1656, 0.0015, 605.5}, {2.8417, 0.001, 543.8}};
  DSpacingCount = 3;
  for (int32_t k = 1; k <= 3; ++k)
    DSpacingList[k].d = lines[k - 1][0], DSpacingList[k].Error = lines[k - 1][1], DSpacingList[k].X = lines[k - 1][2];
  PhaseTable[1].CrystalSystem = 2, PhaseTable[2].CrystalSystem = 5;
  CellVolumes[1] = 140, CellVolumes[2] = 64.5, VolumeMinimizers[1] = 1, VolumeMinimizers[2] = 0.5;
  const int32_t hkl[2][5] = {{5, -5, 5, -5, 6}, {4, 0, 4, 0, 4}};
  std::copy(hkl[0], hkl[0] + 5, HklBounds[1]), std::copy(hkl[1], hkl[1] + 5, HklBounds[2]);
  ui.Clear();
  EXPECT_EQ(WriteToMemory(), ReadWholeFile(IniDataFile("celix_setup.ini")));
  EXPECT_TRUE(Shown("No preparing yet performed" + LineBreak + "INI-file without parameters created"));
}

// Powder indexing: IP creates the indexing fitter once, takes its controls as the defaults, keeps
// the tries per bin of an SDM read before it and turns angle rows into cosines; the writer puts
// back the angles and writes the deterministic mode. C1: five phases need 30 records, more than
// the fitter holds: a wrong array.
TEST_F(IniWriterTest, PowderIndexingArrayGoesToTheIndexingFitter) {
  KeepValues<TFitControls> controls{&DefaultFitControls, 1};
  KeepValues<uint8_t> binsSet{&BinDefaultsSet, 1};
  KeepValues<int32_t> tries{&BinTriesDefault, 1};
  FreeCelixFitter();
  const std::string rows =
      "1 5.0 5.15 5.3 1 0 a\n2 5.0 5.2 5.3 1 0\n3 5.2 5.3 5.4 1 0\n4 90 90 90 1 0\n5 98 99.2 100 1 0\n"
      "6 90 90 90 1 0\n7 3.9 4 4.1 1 0\n7 3.9 4 4.1 1 0\n7 3.9 4 4.1 1 0\n10 90 90 90 1 0\n11 90 90 90 1 0\n"
      "12 90 90 90 1 0\n";
  Read("SM\n1\nSNP\n2\n..SSAI\n2 1\n..SDM\n2 2 2 1 3 1 3\n4 1 1 1 1 1\nIP\n" + rows);
  ASSERT_TRUE(CelixFitter);
  TAULSM* indexingFitter = CelixFitter.get();
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(indexingFitter->TriesPerBin, 3);
  EXPECT_EQ(DefaultFitControls.EpsReq, 0.1);
  EXPECT_EQ(indexingFitter->NPar, 12);
  // The core's degree (57.29578, 7 digits) moves a cosine by 1e-8.
  EXPECT_NEAR(indexingFitter->Records[5].value, std::cos(99.2 * M_PI / 180), 1e-7);
  EXPECT_NEAR(indexingFitter->Records[5].lower, std::cos(100 * M_PI / 180), 1e-7);
  EXPECT_EQ(indexingFitter->Records[8].n, 7);
  const std::string text = WriteToMemory();
  EXPECT_NE(text.find(".......Set Deterministic Mode\r\n* N of steps in each bin\r\n* for the phase 1 also number of "
                      "tries in each bin\r\n   2   2   2   1   3   1    3\r\n   4   1   1   1   1   1\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\n  5     9.8000+1     9.9200+1     1.0000+2  1.000  0.000 "), std::string::npos) << text;
  std::string five = "SM\n1\nSNP\n5\nIP\n";
  for (int32_t i = 1; i <= 30; ++i) five += std::to_string(i) + " 1 1 1 1 0\n";
  Read(five);
  EXPECT_TRUE(Shown("Parameter array is wrong"));
  EXPECT_EQ(DialogOk, 0);
  FreeCelixFitter();
}

// Fields of values that hold at most d decimals are Python's fixed-point text (the committed file
// is what the generator writes now: a fixed seed, the same bytes). W1 and W5: record 1000 stays a
// row, a tie of 1/3, a step of 0.0025 and a delta of 0.001 keep their digits, NaN is written 0.
TEST(IniFields, FieldsAgainstPythonAndKeepTheirValues) {
  const std::string golden = IniDataFile("ini_fields_golden.txt");
  std::ifstream in(golden);
  std::string line;
  int32_t n = 0;
  for (; std::getline(in, line); ++n) {
    std::istringstream head(line.substr(0, line.find('|')));
    int32_t w = 0, d = 0;
    double x = 0;
    head >> w >> d >> x;
    EXPECT_EQ("|" + IniField(w, d, x) + "|", line.substr(line.find('|'))) << line;
  }
  EXPECT_EQ(n, 600);
  EXPECT_EQ(IniField(7, 3, 1.0 / 3) + IniField(7, 3, 0.0025) + IniField(15, 2, 0.001), "0.3333333 0.0025          0.001");
  EXPECT_EQ(IniField(8, 2, NAN), "    0.00");
  if (!FitParameters) CreateFitParameters();
  KeepValues<int32_t> mode{&MainMode, 1};
  MainMode = 3;
  std::swap(FitParameters->NPar, n = 1000);
  FitParameters->Records[1000] = ParameterRecord{1000, 0, 1, 2, 1.0 / 3, 0.0025, 0, 0, "x"};
  std::vector<std::string> rows;
  TextFile none;
  WriteParameterArrayText(none, rows, 1);
  FitParameters->NPar = n;
  EXPECT_EQ(rows.back(), "1000     0.0000+0     1.0000+0     2.0000+0 0.3333333 0.0025 x");
  // At the writer's tolerance: every field reads back within 1e-6 of its value and writes itself
  // again (1.0000014 once went to 1.000001 and then to 1.00000); values next to the steps of the
  // decimals, the mantissa 5, the decades and the fixed form's ends, then random magnitudes.
  std::vector<double> edges = {1.0000014, 0.99999949, 4.9999996, 4.99999949, 9.9999996, 99.99995, 1.0000005,
                               5e-12 * (1 - 1e-9), 1e-11 * (1 - 4e-8), 1e17 * (1 - 1e-8), 0.1234567, -2.209542658,
                               1.0 / 3, 123456.789, 5.15367, 99.199, -0.0404, 0.0};
  std::mt19937 rng(20261208);
  for (int32_t i = 0; i < 4000; ++i) {
    const double x = std::pow(10.0, std::uniform_real_distribution<double>(-13, 18)(rng));
    const double step = std::pow(10.0, std::floor(std::log10(x)) - std::uniform_int_distribution<int32_t>(4, 7)(rng));
    edges.push_back((i % 2 ? -1 : 1) * (std::round(x / step) + std::uniform_real_distribution<double>(0.45, 0.55)(rng)) * step);
  }
  auto parse = [](const std::string& s) {
    double y = 0;
    uint8_t ok = 0;
    StrToFloatRobust(s, y, ok);
    EXPECT_EQ(ok, 1) << s;
    return y;
  };
  for (double x : edges) {
    for (const auto& [w, d] : {std::pair{10, 5}, {8, 4}, {7, 2}, {7, 3}, {15, 10}}) {
      const std::string s = IniField(w, d, x);
      const double y = parse(s);
      EXPECT_LE(std::abs(y - x), 1e-6 * std::abs(x)) << x << " " << s;
      EXPECT_EQ(IniField(w, d, y), s) << x;
    }
    const std::string e = IniExponent(13, 5, x);
    const double y = parse(e);
    EXPECT_LE(std::abs(y - x), 1e-6 * std::abs(x)) << x << " " << e;
    EXPECT_EQ(IniExponent(13, 5, y), e) << x;
  }
  // Beyond the fixed form: the exponent form with its fewest digits.
  EXPECT_EQ(IniField(10, 5, 5.6e-123) + IniField(8, 2, 1e300) + IniField(8, 2, -1.25e-20), "  5.6E-123  1E+300-1.25E-20");
  VKEST_REQUIRE_PYTHON("");
  const std::string live = ::testing::TempDir() + "ini_fields_live.txt";
  ASSERT_EQ(RunTool("gen_ini_fields_golden.py", live), 0);
  EXPECT_EQ(ReadWholeFile(live), ReadWholeFile(golden));
}

// W2: a phase 2 of group 777 gets its group file line and phase 3 reads right. W3: without a
// parameter array GAIPA is not written, so FHKL and IMFC after it stay.
TEST_F(IniWriterTest, GroupFileLineAndNoAtomNamesWithoutParameters) {
  Read("SNP\n3\nILP\n5 5 5 90 90 90 225 1 1 0 0\n6 6 6 90 90 90 777 1 1 0 0\nmagnetic.spg\n"
       "7 7 7 90 90 90 221 1 1 0 0\nIAP\nNi\n1 0 0 0 0.5 0 0 0 0 0\nNi\n1 0 0 0 0.5 0 0 0 0 0\nO\n1 0 0 0 0.5 0 0 0 0 0\n");
  FitParameters->NPar = 0;
  const std::string text = WriteToMemory();
  EXPECT_EQ(Count(text, "* space group filename"), 1);
  EXPECT_TRUE(Shown("No preparing yet performed" + LineBreak + "INI-file without parameters created"));
  EXPECT_EQ(Count(text, "Get Atomic Info") + Count(text, "Info about the Parameters"), 0);
  Read(text);
  EXPECT_EQ(PhaseTable[3].SpaceGroup, 221);
  EXPECT_EQ(IniDispatchTrace.back().key, "IMFC");
}

// The block: a Voigt in slot 3 is five lines, a Gauss no ratio, a real model 43 lines; W4: a
// Pseudo-Voigt goes out as a real block, reads back with its shape and writes the same bytes.
TEST_F(IniWriterTest, PeakModelBlocks) {
  auto block = [](int32_t i) {
    IniTextFile.RewriteToMemory("m");
    WriteSpecialModelInfo(i);
    std::string t = IniTextFile.Contents();
    IniTextFile.Close();
    return t;
  };
  PeakModels[4]->ModelNumber = ModelVoigt;
  SpecialModelRatio = 0.25;
  EXPECT_EQ(block(3), ".......Info for Entering the Special  Model\r\n* No of model and type\r\n 3  4\r\n* rvoigt\r\n    0.2500\r\n");
  EXPECT_EQ(Count(block(0), "\r\n"), 3);
  TPeakModel& pv = *PeakModels[2];
  pv.ModelNumber = ModelPseudoVoigt, pv.HalfPoints = 96, pv.HalfWidth = 2, pv.Area = 1, pv.FullWidth = 12;
  for (int32_t k = 1; k <= PeakModelPoints; ++k) pv.Shape[k] = 1.0 / (1 + 0.01 * (k - 97) * (k - 97));
  const std::string real = block(1);
  EXPECT_EQ(Count(real, "\r\n"), 43);
  EXPECT_EQ(real.substr(0, real.find('\r')), ".......Info for Entering the Real  Model");
  Read(real, false);
  EXPECT_EQ(PeakModels[2]->ModelNumber, ModelReal);  // the kind is the known gap
  EXPECT_NEAR(PeakModels[2]->Shape[100], 1.0 / 1.09, 1e-7);
  EXPECT_EQ(block(1), real);
}

// The frame (49 lines, CR LF) against the file written by hand; saving: "Replace?" appends
// ".ini" after the old extension; a folder that does not exist abandons the command.
TEST_F(IniWriterTest, FrameAndSaveDialog) {
  const std::string frame = ::testing::TempDir() + "frame_out.ini", path = ::testing::TempDir() + "saved.txt";
  std::remove(frame.c_str()), std::remove((path + ".ini").c_str());
  ui.ExpectDialog("Frame for INI-file").Edit(1, frame).Ok();
  MakeIniFrame();
  EXPECT_EQ(ReadWholeFile(frame), ReadWholeFile(IniDataFile("frame.ini")));
  ui.ChooseFile(path);
  ui.ExpectQuestion("Extention not .ini;  Replace?", true);
  SaveIniFile(1);
  EXPECT_EQ(StatusMessage, path + ".ini ini-file created");
  EXPECT_EQ(ReadWholeFile(path + ".ini").substr(0, 21), ".......Set the Mode\r\n");
  ui.ChooseFile("/no/such/folder/x.ini");
  EXPECT_ANY_THROW(SaveIniFile(1));
  EXPECT_FALSE(IniTextFile.IsOpen());
}

// IP: ZrO2's cell rows become gemmi's reciprocal metric, "0.25000+2" reads 25; one row short
// before STOP is wrong and STOP still ends the reading (R5); a zero A record is wrong (R6).
TEST_F(IniWriterTest, ParameterRowsAgainstTheMetric) {
  auto rows = [](int32_t n, const std::string& cell) {
    std::string s = "IP\n";
    std::istringstream c(cell);
    for (int32_t i = 1; i <= n; ++i) {
      std::string v = "0.25000+2";
      if (i >= 12 && i <= 17) c >> v;
      s += std::to_string(i) + " " + v + " " + v + " " + v + " 1 0 name\n";
    }
    return s;
  };
  const std::string head = "ILP\n5.15367 5.21982 5.31867 90 99.199 90 14 2 2 0 0\nIAP\nZr\n1 0.27 0.04 0.2 0.15 0 0 0 0 0\n"
                           "O\n1 0.07 0.34 0.34 0.4 0 0 0 0 0\n";
  const std::string cell = "5.15367 5.21982 5.31867 90 99.199 90";
  Read(head + rows(40, cell));
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(PreparedParameterCount, 40);
  EXPECT_DOUBLE_EQ(parar[1].value, 25.0);
  const auto metric = GoldenRows("zro2_metric.txt", "ini");
  // The core's degree constant 57.29578 holds 7 digits: the hl term of beta = 99.2 moves by 1e-9.
  for (int32_t q = 0; q < 6; ++q) EXPECT_NEAR(parar[12 + q].value, std::stod(metric[0][static_cast<size_t>(q)]), 2e-9);
  Read(head + rows(39, cell) + ".......STOP\nSNP\n2\n");
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseCount, 1);
  EXPECT_TRUE(Shown("Parameter array is wrong"));
  Read(head + rows(40, "0 0.03 0.03 0 0 0"));
  EXPECT_TRUE(Shown("Error, wrong unit cell"));
  // Neither wrong array replaces the one read first.
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PreparedParameterCount, 40);
  EXPECT_DOUBLE_EQ(parar[1].value, 25.0);
  EXPECT_NEAR(parar[12].value, std::stod(metric[0][0]), 2e-9);
}

// A fitted set-up, then a file without a parameter section (Al, a = 4.05): no array of the
// fitted set-up stays to be saved with it, and the save reads back with a = 4.05.
TEST_F(IniWriterTest, AnArrayBelongsToItsSetUp) {
  ui.onUnexpected = [](const std::string&) {};
  ui.QueueAnswer(false);  // "Errors=0. Make Poisson variance?"
  Read(ReadWholeFile(IniDataFile("zro2_fitted.ini")));
  ASSERT_EQ(FitParameters->NPar, 60);
  Read("SM\n0\nSNP\n1\nILP\n4.05 4.05 4.05 90 90 90 225 1 1 0 0\nIAP\nAl\n1 0 0 0 0.5 0 0 0 0 0\n");
  EXPECT_EQ(FitParameters->NPar, 0);
  EXPECT_EQ(PreparedParameterCount, 0);
  const std::string text = WriteToMemory();
  EXPECT_EQ(Count(text, "Info about the Parameters"), 0);
  Read(text);
  EXPECT_EQ(PhaseTable[1].Cell[0], 4.05);
  EXPECT_EQ(AtomTable[1][1].Name, "AL");
}

// A magnetic phase of group 777 whose group file has the unique axis b (P 1 2/c 1): the metric
// rows tied as PREPARE ties them keep hl at gemmi's value for the cell, and the save reads back
// with the cell unchanged, and writes itself again.
TEST_F(IniWriterTest, MonoclinicGroupFileKeepsItsUniqueAxis) {
  ui.onUnexpected = [](const std::string&) {};
  Read("SM\n0\nSNP\n2\nILP\n4 4 4 90 90 90 225 1 1 0 0\n5.15367 5.21982 5.31867 90 99.199 90 777 1 1 0 0\n"
       "magnetic.spg\nIAP\nNi\n1 0 0 0 0.5 0 0 0 0 0\nFe\n1 0.25 0.25 0.25 0.3 0 0 0 0 0\n"
       "SMP\n2 2\n0 1 0\nmagnetic.spg\nFE3\n2.5\n");
  ASSERT_EQ(DialogOk, 1) << ::testing::PrintToString(ui.Messages());
  Generator g(3);
  g.Parameters();
  const int32_t first = FirstCellRecord(2);
  ApplyMetricConstraints(parar, first, PhaseTable[2].CrystalSystem, MetricSetting(PhaseTable[2]));
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) FitParameters->Records[i] = parar[i];
  const auto metric = GoldenRows("zro2_metric.txt", "ini");
  for (int32_t q = 0; q < 6; ++q) EXPECT_NEAR(parar[first + q].value, std::stod(metric[0][static_cast<size_t>(q)]), 2e-9) << q;
  EXPECT_TRUE(parar[first + 5].lower == 0 && parar[first + 5].upper == 0);  // hk held at 0
  UpdatePhasesFromParameters();
  const std::string text = WriteToMemory();
  Read(text);
  const double cell[6] = {5.15367, 5.21982, 5.31867, 90, 99.199, 90};
  for (int32_t q = 0; q < 6; ++q) EXPECT_NEAR(PhaseTable[2].Cell[q], cell[q], 1e-6 * cell[q]) << q;
  EXPECT_EQ(WithoutNames(WriteToMemory()), WithoutNames(text));
}

// Powder match: the phases come from the array read. The metric rows of a saved set-up scaled by
// 1/1.01 (the cell lines left as they were) read back as edges sqrt(1.01) longer, angles kept.
TEST_F(IniWriterTest, PowderMatchPhasesComeFromTheArrayRead) {
  Generator g(11);
  Read(g.SetUp(2));
  g.Parameters();
  UpdatePhasesFromParameters();
  const LATTICE before = PhaseTable[1];
  for (int32_t q = 0; q < 6; ++q) {
    ParameterRecord& r = FitParameters->Records[FirstCellRecord(1) + q];
    r.lower /= 1.01, r.value /= 1.01, r.upper /= 1.01;
  }
  Read(WriteToMemory());
  for (int32_t q = 0; q < 6; ++q)
    EXPECT_NEAR(PhaseTable[1].Cell[q], before.Cell[q] * (q < 3 ? std::sqrt(1.01) : 1.0), 2e-6 * before.Cell[q]) << q;
}

int32_t analysisOpened = 0;

// IPA takes the rows after the parameter title of a written file, a missing file is refused;
// FS opens the analysis through the main window's routine; IMFC with four numbers sets delta
// and keeps beta (R12).
TEST_F(IniWriterTest, ParameterFileAnalysisStartAndFitControls) {
  Generator g(5);
  Read(g.SetUp(0));
  g.Parameters();
  const std::string path = ::testing::TempDir() + "params.ini";
  std::ofstream(path, std::ios::binary) << WriteToMemory();
  const int32_t n = FitParameters->NPar;
  const double value = FitParameters->Records[n].value;
  KeepValues<void (*)()> hook{&OpenModeAnalysisHook, 1};
  KeepValues<TFitControls> keep{&DefaultFitControls, 1};
  OpenModeAnalysisHook = [] { ++analysisOpened; };
  FitParameters->NPar = 0, DefaultFitControls.Beta = 8;
  Read("IPA\n" + path + "\nFS\nIMFC\n12 0.5 0.01 0.3\n", false);
  EXPECT_EQ(FitParameters->NPar, n);
  EXPECT_NEAR(FitParameters->Records[n].value, value, 5e-5 * std::abs(value));
  EXPECT_EQ(analysisOpened, 1);
  EXPECT_EQ(DefaultFitControls.GNIter, 12);
  EXPECT_EQ(DefaultFitControls.Delta, 0.3);
  EXPECT_EQ(DefaultFitControls.Beta, 8);
  {  // R2: a file of more rows than parar holds is read no further than one past it
    std::ofstream big(path);
    for (int32_t i = 1; i <= MaxParameters + 5; ++i) big << i << " 0 1 2 1 0\n";
  }
  Read("IPA\n" + path + "\n", false);
  EXPECT_TRUE(Shown("Parameter array is wrong"));
  Read("IPA\nno_such_file.par\n", false);
  EXPECT_TRUE(Shown("No parameter file " + IniDataFile("no_such_file.par")));
  EXPECT_EQ(DialogOk, 0);
}

}  // namespace

// Values beyond the fixed digits take the exponent form and come back to 1e-6 (a scattering
// length of 5.6e-123 was written 0 and read as the element's 0.716); names beginning "*" or ".."
// (a comment, a title to the reader) go out behind a blank and come back as they were, and so
// does every value after them.
TEST_F(IniWriterTest, TinyValuesAndStarOrDotNamesReadBack) {
  for (double x : {5.6e-123, -1.234567e-18, 4.9e-324, 1e300, -1.7976931348623157e308, 2.5e17, 123456.78901234})
    for (const auto& [w, d] : {std::pair{14, 5}, std::pair{8, 3}, std::pair{7, 2}}) {
      const std::string s = IniField(w, d, x);
      double back = 0;
      uint8_t ok = 0;
      StrToFloatRobust(s, back, ok);
      EXPECT_TRUE(ok == 1 && std::fabs(back - x) <= 1e-6 * std::fabs(x)) << x << " -> " << s;
      EXPECT_GE(static_cast<int32_t>(s.size()), w);
      EXPECT_LT(s.size(), 30u) << s;
    }
  EXPECT_EQ(IniField(14, 5, 5.6e-123), "      5.6E-123");
  EXPECT_EQ(IniField(14, 5, 0.716), "       0.71600");  // the fixed form where it holds the value
  // Neither name is an element: the user kept each with "Ignore".
  ui.QueueAnswer(true), ui.QueueAnswer(true);
  Read("SNP\n1\nILP\n5 5 5 90 90 90 225 1 3 0 0\nIAP\n"
       " *ZR\n0.98 0.2758 0.0404 0.2089 0.15 0 0 0 0 0 5.6e-123\n"
       " ..O\n0.5 0.1 0.2 0.3 0.25 0 0 0 0 0 0.58\n"
       "ZR\n1 0 0 0 0.5 0 0 0 0 0 5.6e-123\n");
  ASSERT_EQ(PhaseTable[1].AtomCount, 3);
  FitParameters->NPar = 0;  // no parameter array: the atoms come back from their own section
  EXPECT_EQ(AtomTable[1][1].Name, "*ZR");
  EXPECT_EQ(AtomTable[2][1].Name, "..O");
  EXPECT_EQ(AtomTable[3][1].ScatteringLength, 5.6e-123);
  const std::string text = WriteToMemory();
  EXPECT_NE(text.find("\r\n *ZR\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n ..O\r\n"), std::string::npos);
  ui.QueueAnswer(true), ui.QueueAnswer(true);
  Read(text);
  ASSERT_EQ(PhaseTable[1].AtomCount, 3);
  const std::string names[3] = {"*ZR", "..O", "ZR"};
  const double occupation[3] = {0.98, 0.5, 1}, x[3] = {0.2758, 0.1, 0}, t11[3] = {0.15, 0.25, 0.5};
  for (int32_t i = 1; i <= 3; ++i) {
    const ATOM& a = AtomTable[i][1];
    EXPECT_EQ(a.Name, names[i - 1]);
    EXPECT_EQ(std::vector<double>({a.Occupation, a.X, a.T11}),
              std::vector<double>({occupation[i - 1], x[i - 1], t11[i - 1]})) << i;
  }
  EXPECT_DOUBLE_EQ(AtomTable[1][1].ScatteringLength, 5.6e-123);
  EXPECT_DOUBLE_EQ(AtomTable[3][1].ScatteringLength, 5.6e-123);
  EXPECT_EQ(AtomTable[2][1].ScatteringLength, 0.58);
}
