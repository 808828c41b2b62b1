// The INI writer against its reader (a set-up written, read back in a fresh state and written
// again gives the same text), the peak-model block, the frame, the parameter command.
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include "core/dialog_state.h"
#include "core/fit_engine.h"
#include "core/parameter_layout.h"
#include "core/messages.h"
#include "crystal/cell_rows.h"
#include "crystal/parameter_preparation.h"
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


// One random set-up as INI text (without the parameter array): mode 0, 2 or 3.
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

  std::string SetUp(int32_t mode) {
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
  int32_t counts[MaxPhases + 1] = {};
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
// and every title the writer emitted reached a handler that took it.
TEST_F(IniWriterTest, RoundTripIsAFixpoint) {
  for (int32_t mode : {0, 2, 3}) {
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
      // The first reading puts the set-up on the written grid (parameter rows at 5 digits, the
      // phases updated from them, GAIPA's upper-case names): from there the text is a fixpoint.
      Read(WriteToMemory());
      const std::string first = WriteToMemory();
      Read(first);
      for (const auto& t : IniDispatchTrace) EXPECT_TRUE(t.known == 1 && !t.handler.empty()) << t.key << " line " << t.line;
      EXPECT_EQ(DialogOk, 1) << ::testing::PrintToString(ui.Messages());
      EXPECT_EQ(UseAvailableArray[mode], 1);
      ASSERT_EQ(WithoutNames(first), WithoutNames(WriteToMemory()));
    }
  }
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
  EXPECT_EQ(DialogOk + UseAvailableArray[0], 0);
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
