// Reading spectrum files: fixtures written by an independent writer (Python struct and plain text)
// read back to the channels they hold, the error values of the text kinds, and the bad files.
#include <charconv>
#include <cmath>
#include "core/abandon.h"
#include "spectrum_test_support.h"

namespace {
std::string Shortest(double x) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

struct Fixture {
  std::string file;
  int32_t kind, first;
  uint8_t skip, reverse, errorsKnown;
  std::vector<double> y, e, x;  // channels first, first + 1, ...; no x: X is left alone
};

// The binary fixtures with the words decoded by their writer; channel 1 never keeps its word.
std::vector<Fixture> BinaryFixtures() {
  std::vector<Fixture> all;
  // file, word size (2 or 4: kind 1 or 2), skip, reverse, ":", the words
  for (const Tokens& t : TokenRows(SpectrumData("expected_binary.txt"))) {
    Fixture f{t[0], std::stoi(t[1]) / 2, 1, static_cast<uint8_t>(std::stoi(t[2])),
              static_cast<uint8_t>(std::stoi(t[3])), 1, {}, {}, {}};
    for (size_t i = 5; i < t.size(); ++i) {
      const double v = std::stod(t[i]);
      f.y.push_back(v), f.e.push_back(std::sqrt(std::max(v, 1.0)));
    }
    all.push_back(f);
  }
  return all;
}
}  // namespace

using SpectrumRead = SpectrumTest;

TEST_F(SpectrumRead, FixturesReadToTheirChannels) {
  std::vector<Fixture> fixtures = BinaryFixtures();
  ASSERT_EQ(fixtures.size(), 7u);
  // The layout's stated cases: 1000 bytes are 500 words, 1024 + 400 bytes with the header skipped
  // 100 words of 4 bytes; bytes 01 00 02 00 are 131073, and 65538 with the halves exchanged.
  EXPECT_EQ(fixtures[0].y.size(), 500u);
  EXPECT_EQ(fixtures[4].y.size(), 100u);
  EXPECT_EQ(fixtures[2].y[1], 131073);
  EXPECT_EQ(fixtures[3].y[1], 65538);
  // Separators blank, comma and tab; ".5"; an exponent by its sign alone or by D; comments and
  // blank lines skipped; Ctrl-Z ends the file. Free-field errors sqrt(max(y, 0)), X Y errors
  // sqrt(|y| + 1) without an error item.
  const std::vector<double> basic = {12, 0.5, 7, 1, 2, 3, 0.5, 25, 1000, -4, 25, 100};
  std::vector<double> basicE;
  for (double v : basic) basicE.push_back(std::sqrt(std::max(v, 0.0)));
  fixtures.push_back({"k3_basic.txt", 3, 5, 0, 0, 0, basic, basicE, {}});
  fixtures.push_back({"k4_two.txt", 4, 1, 0, 0, 0, {3, 0, -8, 15, 24}, {2, 1, 3, 4, 5}, {0.5, 1, 1.5, 2, 2.5}});
  fixtures.push_back({"k4_three.txt", 4, 1, 0, 0, 1, {100, 200, 300, 400}, {4, 9, 0, 0}, {10, 10.5, 11, 11.5}});
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.file + (f.reverse ? " reversed" : ""));
    Mark(*sp);
    sp->Name = SpectrumData(f.file);
    SkipHeader = f.skip;
    ReverseBytes = f.reverse;
    ErrorsKnown = 1 - f.errorsKnown;
    ASSERT_TRUE(ReadKind(*sp, f.kind, f.first));
    EXPECT_EQ(IoOk, 1);
    EXPECT_EQ(ErrorsKnown, f.errorsKnown);
    const auto n = static_cast<int32_t>(f.y.size());
    EXPECT_EQ(sp->FirstChannel, f.first);
    EXPECT_EQ(sp->LastChannel, f.first + n - 1);
    for (int32_t i = 0; i < n; ++i) {
      const int32_t c = f.first + i;
      const bool cleared = f.kind <= 2 && c == 1;
      ASSERT_DOUBLE_EQ(sp->Y[c], cleared ? 0.0 : f.y[i]) << "channel " << c;
      ASSERT_DOUBLE_EQ(sp->E[c], cleared ? 1.0 : f.e[i]) << "channel " << c;
      ASSERT_DOUBLE_EQ(sp->X[c], f.x.empty() ? -c : f.x[i]) << "channel " << c;
    }
    EXPECT_EQ(sp->Y[f.first + n], 1000.0 + f.first + n);  // past the file: as it was
  }
}

TEST_F(SpectrumRead, ErrorValuesAreErrorsVariancesOrWeights) {
  // Weights are 1/sigma^2. A value of 0 or below, as an error, a variance or a weight, gives
  // error 0 (weight 0: the point is left out), never its modulus; one warning names them.
  const double triples[3][4] = {{4, 9, 0, 0}, {2, 3, 0, 0}, {0.5, 1.0 / 3.0, 0, 0}};
  const double freeField[3][4] = {{4, 0, 0, 0.25}, {2, 0, 0, 0.5}, {0.5, 0, 0, 2}};
  WriteWholeFile(Temp("var.txt"), "4 0 -1 0.25\n");
  sp->VarianceName = Temp("var.txt");
  for (int32_t type = 0; type < 3; ++type) {
    SCOPED_TRACE(type);
    AsciiErrorType = type;
    VarianceMode = 0;
    sp->Name = SpectrumData("k4_three.txt");
    ui.Clear();
    ASSERT_TRUE(sp->ReadAsciiTriples(1));
    for (int32_t k = 1; k <= 4; ++k) EXPECT_DOUBLE_EQ(sp->E[k], triples[type][k - 1]) << k;
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Warning, 2 error value(s) of 0 or below in " + sp->Name +
                                                      " (1 negative, 1 of 0), the first in line 5: those points "
                                                      "have weight 0 and are left out of the fit"});
    // A variance file changes the errors only.
    Mark(*sp);
    VarianceMode = 1;
    ui.Clear();
    ASSERT_TRUE(sp->ReadAsciiSpectrum(10, 20));
    for (int32_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(sp->E[10 + i], freeField[type][i]) << i;
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(ui.Messages()[0].find("(1 negative, 1 of 0), the first at channel 11:"), std::string::npos);
    EXPECT_EQ(sp->Y[10], 1010.0);
    EXPECT_EQ(sp->LastChannel, 77);
  }
}

TEST_F(SpectrumRead, BadFilesAreReportedAndAFailedReadChangesNothing) {
  const std::string missing = Temp("missing"), folder = dir.string(), empty = SpectrumData("empty.bin");
  const std::string ten = Temp("ten.txt"), blank = Temp("blank.txt"), tabs = Temp("tabs.txt");
  WriteWholeFile(ten, "1 2 3 4 5 6 7 8 9 10\n");
  WriteWholeFile(blank, "\n   \r\n\t\n");
  WriteWholeFile(tabs, "1\t2\r\n3\r\n");
  const std::string control = Temp("control.txt");  // a form feed inside a number, past line 1
  WriteWholeFile(control, "1 2\n3\f4 5\n");
  enum Outcome { Fails, Abandons, Reads };
  struct Case {
    std::string file;
    int32_t kind, first;
    uint8_t skip;
    Outcome outcome;
    int32_t last;  // and the count read there
    double lastY;
    std::string message;  // in the messages shown; empty: none shown
  };
  const Case cases[] = {
      {missing, 1, 1, 0, Fails, 0, 0, missing + ": opening failure; \n\rfile may be Read_Only"},
      {missing, 2, 1, 0, Fails, 0, 0, missing + "\n\r: opening failure; IOres= 2\n\rfile may be Read_Only"},
      {folder, 1, 1, 0, Fails, 0, 0, folder + ": opening failure; "},
      {missing, 3, 1, 0, Abandons, 0, 0, ""},
      {missing, 4, 1, 0, Abandons, 0, 0, ""},
      {empty, 1, 1, 0, Fails, 0, 0, "Error, no spectrum values in " + empty},
      {empty, 2, 1, 0, Fails, 0, 0, "Error, no spectrum values in " + empty},
      {empty, 3, 1, 0, Fails, 0, 0, "Error, no numbers in " + empty},
      {empty, 4, 1, 0, Fails, 0, 0, "Error, no spectrum lines in " + empty},
      {SpectrumData("k1_short_header.bin"), 1, 1, 1, Fails, 0, 0, "is not longer than its 1024-byte header"},
      {SpectrumData("k2_truncated.bin"), 2, 1, 0, Reads, 10, 100, "ends inside a word; its last 3 byte(s)"},
      {SpectrumData("k1_odd.bin"), 1, 1, 0, Reads, 3, 7, "ends inside a word; its last 1 byte(s)"},
      {SpectrumData("k1_long.bin"), 1, 1, 0, Reads, MaxChannels, 3.0 * MaxChannels - 65536, "more than 32768"},
      {ten, 3, 32760, 0, Reads, MaxChannels, 9, "more numbers than channels 32760 to 32768; the rest is not"},
      {SpectrumData("k4_two.txt"), 4, 32767, 0, Reads, MaxChannels, 0, "more lines than channels 32767 to"},
      {ten, 3, 0, 0, Fails, 0, 0, "Error, wrong first channel 0"},
      {SpectrumData("k3_letters.txt"), 3, 1, 0, Reads, 5, 40, "Warning, not a number: \"abc\" in line 1 of "},
      {SpectrumData("k4_letters.txt"), 4, 1, 0, Reads, 2, 6, "Warning, 1 heading line(s) of " +
                                                                  SpectrumData("k4_letters.txt") + " skipped, the first is line 1"},
      {SpectrumData("k3_control.txt"), 3, 1, 0, Reads, 4, 7, "Warning, no ASCII spectrum"},  // 4: ^A^B reads 0
      {tabs, 3, 1, 0, Reads, 3, 3, ""},
      {control, 3, 1, 0, Reads, 4, 5, "Warning, not a number: \"3?4\" in line 2 of "},
      {SpectrumData("k3_comments_only.txt"), 3, 1, 0, Fails, 0, 0, "Error, no numbers in"},
      {blank, 4, 1, 0, Fails, 0, 0, "Error, no spectrum lines in " + blank},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " kind " + std::to_string(c.kind));
    Mark(*sp);
    sp->Name = c.file;
    SkipHeader = c.skip;
    IoOk = 1;
    ui.Clear();
    if (c.outcome == Abandons)
      EXPECT_THROW(ReadKind(*sp, c.kind, c.first), OperationAbandoned);
    else
      EXPECT_EQ(ReadKind(*sp, c.kind, c.first), c.outcome == Reads);
    EXPECT_EQ(IoOk, c.outcome == Reads ? 1 : 0);
    EXPECT_TRUE(c.outcome == Reads ? sp->LastChannel == c.last && sp->Y[c.last] == c.lastY : Unchanged(*sp))
        << sp->LastChannel << " " << sp->Y[sp->LastChannel];
    std::string shown;
    for (const std::string& m : ui.Messages()) shown += m + "|";
    EXPECT_TRUE(c.message.empty() ? shown.empty() : shown.find(c.message) != std::string::npos) << shown;
  }
}

TEST_F(SpectrumRead, FirstChannelTakenFromXMustLieInTheArrays) {
  StartingChannelOne = 0;
  Mark(*sp);
  sp->Name = SpectrumData("k4_startx.txt");
  ASSERT_TRUE(sp->ReadAsciiTriples(1));
  EXPECT_EQ(sp->FirstChannel, 101);
  EXPECT_EQ(sp->LastChannel, 103);
  EXPECT_EQ(sp->Y[101], 7.0);
  // The calibration starts at the first channel read, not at the argument's channel.
  EXPECT_DOUBLE_EQ(sp->XFirst, 101.4);
  // X 0.3 and 40000 give channels 0 and 40000: refused, nothing stored.
  for (const std::string channel : {"0", "40000"}) {
    const std::string file = SpectrumData(channel == "0" ? "k4_startx_zero.txt" : "k4_startx_high.txt");
    ui.Clear();
    Mark(*sp);
    sp->Name = file;
    EXPECT_FALSE(sp->ReadAsciiTriples(1));
    EXPECT_TRUE(Unchanged(*sp));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Error, the first X of " + file + " gives channel " +
                                                      channel + ", outside 1 to 32768"});
  }
}

TEST_F(SpectrumRead, LinesShortOfTheIndicatedItemsClearTheirChannel) {
  // The third line lacks the Y item: channel 3 holds Y 0, E 1, X 3, not the previous spectrum's.
  struct Case {
    const char* file;
    int32_t x, y, e;
    std::vector<double> ys, es, xs;  // channels 1 to 4
  };
  const Case cases[] = {
      {"k4_columns.txt", 2, 4, 1, {50, 60, 0, 80}, {0.5, 0.25, 1, 1}, {1.25, 1.5, 3, 2}},
      {"k4_one_number.txt", 1, 2, 3, {10, 20, 0, 40}, {std::sqrt(11.0), std::sqrt(21.0), 1, std::sqrt(41.0)},
       {1, 2, 3, 4}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ui.Clear();
    Mark(*sp);
    sp->Name = SpectrumData(c.file);
    AsciiColumnX = c.x, AsciiColumnY = c.y, AsciiColumnE = c.e;
    ASSERT_TRUE(sp->ReadAsciiTriples(1));
    EXPECT_EQ(sp->LastChannel, 4);
    EXPECT_EQ(std::vector<double>(sp->Y + 1, sp->Y + 5), c.ys);
    EXPECT_EQ(std::vector<double>(sp->E + 1, sp->E + 5), c.es);
    EXPECT_EQ(std::vector<double>(sp->X + 1, sp->X + 5), c.xs);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Warning, 1 line(s) of " + SpectrumData(c.file) +
                                                      " lack the X or Y item; their channels hold 0"});
  }
  // A file cut inside its last line ("3 1" after lines of three items): that line is not read,
  // and the warning names it; the channels before it are the file's.
  const std::string cut = Temp("cut.xye");
  WriteWholeFile(cut, "10.0 100 10\n10.5 121 11\n11.0 144 12\n3 1");
  ui.Clear();
  Mark(*sp);
  sp->Name = cut;
  AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3;
  ASSERT_TRUE(sp->ReadAsciiTriples(1));
  EXPECT_EQ(sp->LastChannel, 3);
  EXPECT_EQ(std::vector<double>(sp->E + 1, sp->E + 4), (std::vector<double>{10, 11, 12}));
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Warning, the last line of " + cut +
                                                    " (line 4) holds 2 of the 3 items of the line before: cut, it is not read"});
  // An indicator that names no item is refused before reading.
  ui.Clear();
  Mark(*sp);
  AsciiColumnY = 0;
  EXPECT_FALSE(sp->ReadAsciiTriples(1));
  EXPECT_TRUE(Unchanged(*sp));
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Error, wrong ASCII column indicators 1 0 3"});
}

// A heading ("# 2theta intensity error", a title, "!" and ";" comments, an indented one) is never
// a channel: the data start at the first channel, the background estimate and every later
// channel are where the file has them, and one warning names the first heading line. A line
// whose first item is a number with trailing text is data (its bad item warned as before).
TEST_F(SpectrumRead, HeadingLinesOfXYEFilesAreSkipped) {
  const std::string file = Temp("headed.xye");
  WriteWholeFile(file, "# 2theta intensity error\nSi standard, bank 2\n  ; fixed slit\n! more\n\n"
                       "10.0 100 10\n10.5 121 11\n# inside\n11.0 144 12x\n");
  ui.Clear();
  Mark(*sp);
  sp->Name = file;
  AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3;
  ASSERT_TRUE(sp->ReadAsciiTriples(1));
  EXPECT_TRUE(sp->FirstChannel == 1 && sp->LastChannel == 3);
  EXPECT_EQ(std::vector<double>(sp->X + 1, sp->X + 4), (std::vector<double>{10.0, 10.5, 11.0}));
  EXPECT_EQ(std::vector<double>(sp->Y + 1, sp->Y + 4), (std::vector<double>{100, 121, 144}));
  EXPECT_EQ(std::vector<double>(sp->E + 1, sp->E + 4), (std::vector<double>{10, 11, 12}));
  EXPECT_DOUBLE_EQ(sp->XFirst, 10.0);
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{
                               "Warning, 5 heading line(s) of " + file + " skipped, the first is line 1",
                               "Warning, not a number: \"12x\" in line 9 of " + file + "; read as its numeric part"}));
}

// The X grid of an X Y E file. Steps of whole multiples of the common step are gaps: their
// channels hold no count and error 0 (weight 0), each at its own X on the grid, and one warning
// counts them; the file reads exactly as the same file with those lines written at weight 0.
// X that repeats or goes back, or a step off an equidistant grid, refuses the file with its
// line; a grid whose steps vary smoothly (geometric here) is read as it is.
TEST_F(SpectrumRead, GridGapsAreFilledAtWeightZeroAndBrokenGridsRefused) {
  struct Case {
    std::string name, text;
    uint8_t fromX;
    std::vector<double> xs, ys, es;  // from the first channel; empty: refused
    std::vector<int32_t> gaps;
    std::string message;  // the one message shown ("F" stands for the file)
    std::string filled;   // the same file with its gaps written at weight 0
  };
  // Steps growing by 5 % a line, and by 0.6 % a line over 41 lines (33 of the 40 steps within a
  // tenth of the median step): neither is an equidistant grid.
  std::string geometric, slow;
  std::vector<double> geometricX, geometricY, geometricE, slowX, slowY, slowE;
  for (int32_t i = 0; i < 30; ++i) {
    geometricX.push_back(100.0 * std::pow(1.05, i)), geometricY.push_back(i), geometricE.push_back(1);
    geometric += Shortest(geometricX.back()) + " " + std::to_string(i) + " 1\n";
  }
  for (int32_t i = 0; i <= 40; ++i) {
    slowX.push_back(1000.0 + (std::pow(1.006, i) - 1) / 0.006), slowY.push_back(i), slowE.push_back(2);
    slow += Shortest(slowX.back()) + " " + std::to_string(i) + " 2\n";
  }
  const std::string off = "10.0 1\n10.1 2\n10.2 3\n10.3 4\n10.4 5\n10.5 6\n10.6 7\n10.7 8\n10.8 9\n10.95 10\n11.05 11\n";
  const Case cases[] = {
      {"gaps", "* 2theta\n10.0 5 1\n10.1 6 2\n10.3 7 3\n10.4 8 4\n10.7 9 5\n", 1,
       {10.0, 10.1, 10.2, 10.3, 10.4, 10.5, 10.6, 10.7}, {5, 6, 0, 7, 8, 0, 0, 9}, {1, 2, 0, 3, 4, 0, 0, 5}, {3, 6, 7},
       "Warning, 2 gap(s) in the X of F, 3 channel(s) with no data (weight 0), the first before line 4",
       "* 2theta\n10.0 5 1\n10.1 6 2\n10.2 0 0\n10.3 7 3\n10.4 8 4\n10.5 0 0\n10.6 0 0\n10.7 9 5\n"},
      {"descending", "3.0 1 1\n2.5 2 1\n1.5 3 1\n", 1, {3.0, 2.5, 2.0, 1.5}, {1, 2, 0, 3}, {1, 1, 0, 1}, {3},
       "Warning, 1 gap(s) in the X of F, 1 channel(s) with no data (weight 0), the first before line 3",
       "3.0 1 1\n2.5 2 1\n2.0 0 0\n1.5 3 1\n"},
      {"channels", "5 1\n6 2\n8 3\n", 0, {5, 6, 7, 8}, {1, 2, 0, 3}, {std::sqrt(2.0), std::sqrt(3.0), 0, 2}, {7},
       "Warning, 1 gap(s) in the X of F, 1 channel(s) with no data (weight 0), the first before line 3", ""},
      {"repeats", "10.0 5\n10.2 6\n10.2 7\n10.4 8\n", 1, {}, {}, {}, {},
       "Error, the X of line 3 of F repeats the X before it (10.2 after 10.2); the file is not read", ""},
      {"backwards", "10.0 1\n10.2 2\n10.1 3\n10.3 4\n", 1, {}, {}, {}, {},
       "Error, the X of line 3 of F goes back from the X before it (10.1 after 10.2); the file is not read", ""},
      {"off the grid", off, 1, {}, {}, {}, {},
       "Error, the X step before line 10 of F (0.15) is no whole multiple of the file's step 0.1; the file is not read", ""},
      {"a gap wider than the table", "1 1\n2 1\n3 1\n4 1\n5 1\n6 1\n7 1\n8 1\n9 1\n10 1\n50000 1\n", 1, {}, {}, {}, {},
       "Error, the X step before line 11 of F (49990) is no whole multiple of the file's step 1; the file is not read", ""},
      {"geometric", geometric, 1, geometricX, geometricY, geometricE, {}, "", ""},
      {"slowly varying", slow, 1, slowX, slowY, slowE, {}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Temp(c.name + ".xye");
    WriteWholeFile(file, c.text);
    StartingChannelOne = c.fromX;
    ui.Clear();
    Mark(*sp);
    sp->Name = file;
    const bool read = sp->ReadAsciiTriples(1);
    std::string message = c.message;
    if (size_t f = message.find(" F"); f != std::string::npos) message.replace(f + 1, 1, file);
    EXPECT_EQ(ui.Messages(), message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
    if (c.xs.empty()) {
      EXPECT_FALSE(read);
      EXPECT_TRUE(Unchanged(*sp));
      continue;
    }
    ASSERT_TRUE(read);
    const int32_t first = sp->FirstChannel, n = static_cast<int32_t>(c.xs.size());
    EXPECT_EQ(sp->LastChannel, first + n - 1);
    EXPECT_EQ(sp->GapChannels, c.gaps);
    for (int32_t i = 0; i < n; ++i) {
      EXPECT_NEAR(sp->X[first + i], c.xs[i], 1e-12 * std::fabs(c.xs[i])) << i;
      EXPECT_EQ(sp->Y[first + i], c.ys[i]) << i;
      EXPECT_DOUBLE_EQ(sp->E[first + i], c.es[i]) << i;
    }
    // The mean step is the grid's: every channel's X = XFirst + (c - first) x XStep.
    EXPECT_NEAR(sp->XStep, (c.xs.back() - c.xs.front()) / (n - 1), 1e-12);
    if (c.filled.empty()) continue;
    TSpectrum same("DUMMY");
    same.Name = Temp(c.name + "_filled.xye");
    WriteWholeFile(same.Name, c.filled);
    ASSERT_TRUE(same.ReadAsciiTriples(1));
    EXPECT_EQ(same.LastChannel, sp->LastChannel);
    for (int32_t k = first; k < first + n; ++k)
      EXPECT_TRUE(same.X[k] == sp->X[k] && same.Y[k] == sp->Y[k] && same.E[k] == sp->E[k]) << k;
  }
}

TEST_F(SpectrumRead, FixtureScriptReproducesTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("numpy");  // integers and exact binary fractions: byte for byte
  const std::string out = Temp("fixtures");
  ASSERT_EQ(RunTool("gen_spectrum_fixtures.py", out), 0);
  int32_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(ReadWholeFile(entry.path().string()), ReadWholeFile(SpectrumData(name))) << name;
    ++files;
  }
  EXPECT_EQ(files, 22);
}
