// The reader: the key rule against the Python reference, the dispatch loop with its "Wrong
// command " box, step-wise reading, the file and options dialogs, the file-name lines, and the
// robustness of the whole reader on cut and damaged files.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/model_switches.h"
#include "core/toolbox.h"
#include "crystal/parameter_preparation.h"
#include "ini/ini_setup.h"
#include "support/temp_path.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

void CheckKeys(const std::vector<Tokens>& rows) {
  ASSERT_GE(rows.size(), 300u);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(IniKey(FromHex(r[0])), r[1] == "-" ? "" : r[1]) << r[0];
  }
}

TEST(IniKeyRule, MatchesTheReferenceOverGeneratedTitles) {
  CheckKeys(GoldenRows("ini_keys.txt", "ini"));
  VKEST_REQUIRE_PYTHON("");
  const auto out = TestTempPath("ini_keys.txt");
  ASSERT_EQ(RunTool("gen_ini_keys.py", out.string()), 0);
  // The generator is seeded: the live titles and keys are the committed ones, byte for byte.
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(IniDataFile("ini_keys.txt")));
  std::filesystem::remove(out);
}

class IniReaderTest : public IniTest {};

TEST_F(IniReaderTest, TitlesWithTheSameCapitalsRunTheSameHandler) {
  InhibitWarnings = 1;
  const std::string values = "\nDUMMY\n1 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0 0 0\n";
  Read("IS" + values + "I S" + values + ".......Input the Spectrum" + values +
       ".......Form HKLs (version 2, see p.3)\n.......Form HKLs Now\nset the mode\n");
  ASSERT_EQ(IniDispatchTrace.size(), 6u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(IniDispatchTrace[i].handler, "ReadIniSpectrumInfo(time of flight)") << i;
  EXPECT_EQ(IniDispatchTrace[3].handler, "IniFormHkls");
  EXPECT_EQ(IniDispatchTrace[4].key, "FHKLN");  // a capital in the remark changes the key
  EXPECT_EQ(IniDispatchTrace[4].handler, "");
  EXPECT_EQ(IniDispatchTrace[5].key, "");
  EXPECT_EQ(IniDispatchTrace[2].line, 7);
  EXPECT_EQ(IniDispatchTrace[2].known, 1);
}

TEST_F(IniReaderTest, WrongCommandBoxGoesOnWithOkAndStopsWithAbort) {
  ui.ExpectQuestion("Wrong command ", true);
  ui.ExpectQuestion("Wrong command ", false);
  Read("* comment\n\n \nSNS\n1\nSNP\n3\n");
  // "1" is read as a title too; Abort there leaves SNP unread.
  EXPECT_EQ(PhaseCount, 1);
  EXPECT_EQ(IniDispatchTrace.size(), 2u);
  // The box shows the text alone; file, line and the line itself go to the log and status line.
  EXPECT_TRUE(Logged("file test.ini, line 4: SNS"));
  EXPECT_TRUE(Logged("file test.ini, line 5: 1"));
  // Abort: the file is not read, said with the line.
  EXPECT_EQ(StatusMessage, "The Ini-file test.ini has not been read: line 5, Wrong command 1. The model held before is kept");
  EXPECT_EQ(DialogOk, 0);
  // Inhibited: silence, and the reading goes on past unknown keys.
  InhibitWarnings = 1;
  Read("SNS\n1\nQQ\n.......Set Number of Phases\n3\n");
  EXPECT_EQ(PhaseCount, 3);
  EXPECT_EQ(IniDispatchTrace[2].key, "QQ");
  EXPECT_EQ(DialogOk, 1);
}

TEST_F(IniReaderTest, StopFirstResetsTheModelAndSetsNothing) {
  PhaseCount = 4, MainMode = 3, NoCrystalInfo = 0;
  Read(".......STOP\n.......Set Number of Phases\n3\n");
  EXPECT_EQ(PhaseCount, 1);
  EXPECT_EQ(MainMode, 0);
  EXPECT_EQ(NoCrystalInfo, 1);
  EXPECT_TRUE(IniDispatchTrace.empty());
  EXPECT_EQ(DialogOk, 1);
}

TEST_F(IniReaderTest, StepWiseShowsEveryDispatchedLineAndAbortStops) {
  ui.ExpectQuestion(".......Set Number of Phases", true);
  ui.ExpectQuestion(".......Set the Mode", false);
  ReadIniText("* c\n.......Set Number of Phases\n2\n.......Set the Mode\n3\n", 1, true, true);
  EXPECT_EQ(PhaseCount, 2);
  EXPECT_EQ(MainMode, 0);
}

TEST_F(IniReaderTest, TitleMetAmongValuesEndsTheBlockAndIsDispatched) {
  MainMode = 2;
  Read("SNP\n1\n.......Input the Lattice Parameters\n5.1 5.2 5.3\n.......Set the Mode\n3\n");
  EXPECT_TRUE(Shown("INI: Too few data in ILP-command"));
  EXPECT_TRUE(Logged("file test.ini, line 4"));
  ASSERT_EQ(IniDispatchTrace.size(), 3u);
  EXPECT_EQ(IniDispatchTrace[2].handler, "ReadIniMainMode");
  // The file is not read as a whole: the mode held before stays.
  EXPECT_EQ(MainMode, 2);
}

TEST_F(IniReaderTest, DatDialectAcceptsOmadAndStop) {
  // Keys stand without titles: SNP without its number does not take STOP as a value line.
  ui.ExpectMessage("N of phases: wrong data format");
  ReadIniText("OMAD\nSNP\nSTOP\nSNP\n", 0);
  ASSERT_EQ(IniDispatchTrace.size(), 2u);
  EXPECT_EQ(IniDispatchTrace[0].known, 1);
}

// ---- the file and options dialogs ----

// A 160 angstrom F cubic cell over the time-of-flight range of the ZrO2 set-up: the box holds
// some 4.5e8 indices (just below the question), of which the list keeps the 2000 largest d.
TEST_F(IniReaderTest, FormingTheHklsOfAHugeCellFromAnIniFile) {
  std::string text = ReadWholeFile(IniDataFile("zro2_setup.ini"));
  auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace("5.15367   5.21982   5.31867  90.00 99.199  90.00", "160 160 160 90 90 90");
  replace("14   2    4   0        0", "225 1 4 0 0");
  ui.ExpectQuestion("Errors=0. Make Poisson variance?", true);
  Read(text);
  ASSERT_EQ(PhaseTable[1].ReflectionCount, 2000);
  EXPECT_TRUE(Shown("Curtail the interval - too many hkls"));
  // The largest d of the F lattice at or below DMax, one per m-3m orbit (|h| >= |k| >= |l|).
  std::vector<double> want;
  for (int h = 1; h <= 200; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        const double d = 160 / std::sqrt(h * h + k * k + l * l);
        if ((h + k) % 2 == 0 && (k + l) % 2 == 0 && d <= DMax) want.push_back(d);
      }
  std::sort(want.rbegin(), want.rend());
  ASSERT_GE(want.size(), 2000u);
  for (int32_t i = 1; i <= 2000; ++i) ASSERT_NEAR(HklTable[i][1].d, want[i - 1], 5e-7 * want[i - 1]) << i;
}

class IniFileDialogTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    dir_ = TestTempPath("ini_dialog");
    std::filesystem::create_directories(dir_);
    for (auto& f : ResultsUnsaved) f = 0;
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    IniTest::TearDown();
  }
  std::string Write(const std::string& name, const std::string& text) {
    const auto p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  std::filesystem::path dir_;
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount};
};

TEST_F(IniFileDialogTest, ReadsTheChosenFileWithTheOptions) {
  const std::string name = Write("set.ini", ".......Set Number of Phases\r\n2\r\n.......STOP\r\n");
  ui.ChooseFile(name);
  ui.ExpectDialog("Input of ini-file").Check(2, true).Check(3, true).Inspect([&](TForm2& f) {
    EXPECT_EQ(f.CheckListBox1.items.size(), 3u);
    EXPECT_EQ(f.CheckListBox1.items[0], " Proceed step-wise ");
    const std::string shown = name.size() > 41 ? "..." + name.substr(name.size() / 2) : name;
    EXPECT_EQ(f.Label1.caption, "Ini-file= " + shown);
  }).Ok();
  ReadIniFile(1);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(PhaseCount, 2);
  EXPECT_EQ(InhibitWarnings, 1);
  EXPECT_EQ(KeepParameterBounds, 1);
  EXPECT_EQ(IniFileName, name);
  EXPECT_FALSE(IniTextFile.IsOpen());
}

TEST_F(IniFileDialogTest, MissingFileOrCancelLeavesTheModel) {
  PhaseCount = 4;
  const std::string bare = (dir_ / "absent").string();
  ui.ChooseFile(bare);  // ".ini" is appended to a name without "."
  ReadIniFile(1);
  EXPECT_TRUE(Shown("No file " + bare + ".ini"));
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseCount, 4);
  ui.CancelFileDialog();
  ReadIniFile(0);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseCount, 4);
}

// Cancel in the options leaves the set-up read before as it was: its spectrum (name, channels,
// counts), phases and atoms.
TEST_F(IniFileDialogTest, OtherExtensionIsAskedAndNoReturnsToTheDialog) {
  ui.QueueAnswer(false);  // "Errors=0. Make Poisson variance?"
  Read(ReadWholeFile(IniDataFile("zro2_setup.ini")));
  const TSpectrum& sp = *SpectrumList[1];
  ASSERT_GT(sp.LastChannel, 1000);
  const std::vector<double> counts(sp.Y + 1, sp.Y + sp.LastChannel + 1);
  const std::string spectrum = sp.Name, atom = AtomTable[1][1].Name;
  const int32_t phases = PhaseCount, graph = GraphMode;
  const std::string txt = Write("set.txt", "SNP\n3\n");
  ui.ChooseFile(txt);
  ui.ExpectQuestion(".TXT is no ini extention. Still proceed?", false);
  ui.ChooseFile(txt);
  ui.ExpectQuestion(".TXT is no ini extention. Still proceed?", true);
  ui.ExpectDialog("Input of ini-file").Cancel();
  ReadIniFile(1);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseCount, phases);
  EXPECT_EQ(GraphMode, graph);
  EXPECT_TRUE(sp.Name == spectrum && AtomTable[1][1].Name == atom);
  EXPECT_EQ(std::vector<double>(sp.Y + 1, sp.Y + sp.LastChannel + 1), counts);
  EXPECT_FALSE(IniTextFile.IsOpen());
}

// A file that cannot be read as a whole: the first wrong line and why, no "input and processed",
// and the set-up held before (spectrum, phases, atoms, parameter array, file name) kept.
TEST_F(IniFileDialogTest, AFileNotReadWholeLeavesTheModelAndSaysWhere) {
  ui.onUnexpected = [](const std::string&) {};
  if (!FitParameters) CreateFitParameters();
  ui.QueueAnswer(false);  // "Errors=0. Make Poisson variance?"
  Read(ReadWholeFile(IniDataFile("zro2_fitted.ini")));
  ASSERT_EQ(DialogOk, 1) << ::testing::PrintToString(ui.Messages());
  IniFileName = "held.ini";
  const TSpectrum& sp = *SpectrumList[1];
  const std::vector<double> counts(sp.Y + 1, sp.Y + sp.LastChannel + 1);
  const std::string spectrum = sp.Name, atom = AtomTable[1][1].Name;
  const double a = PhaseTable[1].Cell[0], x = AtomTable[1][1].X, value = parar[12].value;
  const int32_t phases = PhaseCount, prepared = PreparedParameterCount;
  std::string fitted = ReadWholeFile(IniDataFile("zro2_fitted.ini"));
  fitted.replace(fitted.find("zro2_counts.txt"), 15, "none.txt");
  const struct {
    const char* name;
    std::string text;
    std::string why;
    int32_t line;
  } cases[] = {
      {"spectrum file missing", fitted, "No file " + WorkDir + "/none.txt", 14},
      {"empty", "", "no command in the file", 1},
      {"comments only", "* nothing here\n\n", "no command in the file", 2},
      {"section it cannot parse", "SNP\n2\nILP\n5 5 5 90\n", "INI: Too few data in ILP-command", 4},
      {"inf among the cells", "SNP\n1\nILP\n5 5 inf 90 90 90 1 1 1 0 0\n", "Not a number: \"inf\"", 4},
  };
  for (const auto& c : cases) {
    ui.Clear();
    InfoLines.count = 0;
    for (auto& f : ResultsUnsaved) f = 0;
    ui.ChooseFile(Write("bad.ini", c.text));
    ui.ExpectDialog("Input of ini-file").Ok();
    ReadIniFile(1);
    EXPECT_EQ(DialogOk, 0) << c.name;
    EXPECT_TRUE(Shown("The Ini-file " + (dir_ / "bad.ini").string() + " has not been read: line " +
                      std::to_string(c.line) + ", " + c.why + ". The model held before is kept"))
        << c.name << ::testing::PrintToString(ui.Messages());
    for (int32_t i = 1; i <= InfoLines.count; ++i) EXPECT_NE(InfoLines.lines[i], "has been input and processed") << c.name;
    EXPECT_FALSE(Shown("Wrong command ")) << c.name;
    EXPECT_EQ(IniFileName, "held.ini") << c.name;
    EXPECT_TRUE(sp.Name == spectrum && AtomTable[1][1].Name == atom) << c.name;
    EXPECT_EQ(std::vector<double>(sp.Y + 1, sp.Y + sp.LastChannel + 1), counts) << c.name;
    EXPECT_EQ(PhaseCount, phases) << c.name;
    EXPECT_EQ(PreparedParameterCount, prepared) << c.name;
    EXPECT_EQ(PhaseTable[1].Cell[0], a) << c.name;
    EXPECT_EQ(AtomTable[1][1].X, x) << c.name;
    EXPECT_EQ(parar[12].value, value) << c.name;
  }
  // The same file with its spectrum beside it is read whole and processed.
  std::filesystem::copy_file(IniDataFile("zro2_counts.txt"), dir_ / "none.txt");
  ui.Clear();
  for (auto& f : ResultsUnsaved) f = 0;
  ui.ChooseFile(Write("good.ini", fitted));
  ui.ExpectDialog("Input of ini-file").Ok();
  ui.QueueAnswer(false);
  ReadIniFile(1);
  EXPECT_EQ(DialogOk, 1) << ::testing::PrintToString(ui.Messages());
  EXPECT_EQ(InfoLines.lines[2], "has been input and processed");
}

// ---- file-name lines ----

TEST_F(IniFileDialogTest, FileNameLinesFindTheFileOnThisPlatform) {
  Write("Zr.Counts.TXT", "1\n");
  const std::string folder = dir_.string();
  const auto name = [&](const std::string& line) {
    IniTextFile.ResetFromText(line + "\n", "names.ini");
    std::string n;
    ReadIniFileName(n);
    IniTextFile.Close();
    return n;
  };
  EXPECT_EQ(name("  " + folder + "/Zr.Counts.TXT  "), folder + "/Zr.Counts.TXT");  // blanks trimmed
  EXPECT_EQ(name(folder + "/zr.counts.txt"), folder + "/Zr.Counts.TXT");          // another case
  EXPECT_EQ(name(folder + "/Zr. Counts.TXT"), folder + "/Zr.Counts.TXT");         // blanks inside
  {
    InFolder here(folder);
    EXPECT_EQ(name("ZR.COUNTS.TXT"), folder + "/Zr.Counts.TXT");  // a bare name: the working folder
    EXPECT_EQ(WorkDir, folder);
  }
  EXPECT_TRUE(IsDummyName(name("dummy")));
  EXPECT_EQ(name(folder + "/none.txt"), folder + "/none.txt");  // kept for "No file "
  // A folder that is not there (moved, or another machine's): the name beside the command file.
  IniTextFile.ResetFromText("/gone/away/Zr.Counts.TXT\nC:\\data\\zr.counts.txt\n", folder + "/set.ini");
  std::string moved, windows;
  ReadIniFileName(moved);
  ReadIniFileName(windows);
  IniTextFile.Close();
  EXPECT_EQ(moved, folder + "/Zr.Counts.TXT");
  EXPECT_EQ(windows, folder + "/Zr.Counts.TXT");
}

// A bare name is taken beside the command file, not from a file of that name in the process's
// folder (which the open dialog does not move here); WorkDir stays that folder, where the session
// keeps its files.
TEST_F(IniFileDialogTest, BareNamesAreTakenBesideTheCommandFile) {
  ui.onUnexpected = [](const std::string&) {};
  const std::string sub = (dir_ / "set").string();
  std::filesystem::create_directories(sub);
  std::string ones, twos;
  for (int32_t c = 1; c <= 64; ++c) ones += "1\n", twos += "2\n";
  Write("set/peak.txt", twos);
  Write("peak.txt", ones);
  InFolder here(dir_.string());
  ReadIniText("IS\npeak.txt\n1 3 1 64 1 64 25 0 64 75 7 4 7 0 0 0 0 0\n", 1, true, false, sub + "/set.ini");
  EXPECT_EQ(SpectrumList[1]->Name, sub + "/peak.txt");
  EXPECT_EQ(SpectrumList[1]->Y[10], 2.0);
  EXPECT_EQ(WorkDir, dir_.string());
}

// ---- robustness ----

TEST_F(IniReaderTest, CutAndDamagedCorpusFilesNeverCrash) {
  ui.onUnexpected = [](const std::string&) {};  // every question: No, every dialog: Cancel
  std::mt19937 rng(23);
  for (const char* file : {"zro2.ini", "all_commands.ini"}) {
    const std::string text = ReadWholeFile(IniDataFile(file));
    std::vector<size_t> ends;
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') ends.push_back(i + 1);
    // Every cut at a line end, and within the line.
    for (size_t k = 0; k < ends.size(); k += 3) {
      Read(text.substr(0, ends[k]));
      Read(text.substr(0, ends[k] > 4 ? ends[k] - 4 : 0));
    }
    const std::vector<std::string> nasty = {"1e400", "--5", "-3e9", "1e300", "\x1a", std::string(1, '\0'), "\xff\xfe", "*", "/"};
    for (int trial = 0; trial < 1200; ++trial) {
      std::string t = text;
      for (int c = 0; c < 6; ++c) {
        const size_t at = rng() % t.size();
        switch (rng() % 4) {
          case 0: t[at] = static_cast<char>(rng() % 256); break;
          case 1: t.insert(at, nasty[rng() % nasty.size()]); break;
          case 2: t.erase(at, rng() % 40); break;
          default: t.insert(at, std::string(rng() % 3 == 0 ? 100000 : 20, "9 ."[rng() % 3])); break;
        }
        if (t.empty()) t = "\n";
      }
      Read(t);
      for (int32_t p = 1; p <= MaxPhases; ++p)
        for (double v : PhaseTable[p].Cell) ASSERT_TRUE(std::isfinite(v));
      ASSERT_TRUE(PhaseCount >= 1 && PhaseCount <= MaxPhases);
      ASSERT_TRUE(CurrentSpectrum >= 0 && CurrentSpectrum <= 4);
    }
  }
  EXPECT_FALSE(IniTextFile.IsOpen());
}

}  // namespace
