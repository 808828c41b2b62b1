// The settings file "vkest.fn": exact layout, round trip, clamps and damaged files.
#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "support/scripted_fixture.h"

namespace {

struct Settings {
  std::string ini;
  double scale;
  int32_t font;
  uint8_t rus;
  int32_t colors[6];

  static Settings Current() {
    return {IniFileName, ScreenScale, FontSize, RusHelp,
            {BackgroundColor, TextBackgroundColor, FitDataColor, ExpDataColor, FormColor,
             Form1BackColor}};
  }
  void Apply() const {
    IniFileName = ini;
    ScreenScale = scale;
    FontSize = font;
    RusHelp = rus;
    BackgroundColor = colors[0];
    TextBackgroundColor = colors[1];
    FitDataColor = colors[2];
    ExpDataColor = colors[3];
    FormColor = colors[4];
    Form1BackColor = colors[5];
  }
  bool operator==(const Settings&) const = default;
};

// The defaults after the start dialog.
const Settings StartUp = {"", 1.25, 12, 1, {0, 128, 0xFFFF00, 0xFF00FF, 0x8000, 128}};
// Values unlike the defaults, to see what a read leaves alone.
const Settings Marked = {"/old/marked.ini", 0.9, 11, 0, {11, 12, 13, 14, 15, 16}};

// The file as written from StartUp with IniFileName "/data/run/test.ini".
const std::vector<std::string> StartUpLines = {
    "/data/run/test.ini",         "    1.2500 *scrsize",        "        12 *fntsize",
    "         1 *RusHelp",        "         0 *Background color", "       128 *Text background color",
    "  16776960 *Fit.data color", "  16711935 *Exp.data color",  "     32768 *Form color",
    "       128 *Color for Form1 back"};

std::string Join(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string s;
  for (const auto& l : lines) s += l + end;
  return s;
}

class SettingsFile : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    saved_ = Settings::Current();
    savedDialogOk_ = DialogOk;
    path_ = (std::filesystem::temp_directory_path() /
             ("vkest_settings_" + std::to_string(::getpid()) + ".fn"))
                .string();
  }
  void TearDown() override {
    std::filesystem::remove(path_);
    saved_.Apply();
    DialogOk = savedDialogOk_;
    EXPECT_TRUE(ui.Messages().empty());
    ScriptedTest::TearDown();
  }
  void WriteBytes(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string ReadBytes() {
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // Reads StartUpLines with line `index` (0-based) replaced, starting from Marked.
  Settings ReadWithLine(size_t index, const std::string& text) {
    std::vector<std::string> lines = StartUpLines;
    lines[index] = text;
    WriteBytes(Join(lines));
    Marked.Apply();
    ReadSettingsFile(path_);
    return Settings::Current();
  }

  std::string path_;
  Settings saved_;
  int32_t savedDialogOk_ = 1;
};

}  // namespace

TEST_F(SettingsFile, WritesTenCrLfLinesInFixedColumns) {
  Settings s = StartUp;
  s.ini = "/data/run/test.ini";
  s.Apply();
  WriteSettingsFile(path_);
  EXPECT_EQ(ReadBytes(), Join(StartUpLines));

  RusHelp = 0;
  IniFileName = "";
  WriteSettingsFile(path_);
  std::string bytes = ReadBytes();
  EXPECT_EQ(bytes.substr(0, 2), "\r\n");
  EXPECT_NE(bytes.find("\r\n         0 *RusHelp\r\n"), std::string::npos) << bytes;
}

TEST_F(SettingsFile, WriteThenReadReproducesEverySetting) {
  const Settings cases[] = {
      {"/data/run/test.ini", 1.25, 12, 1, {0, 128, 0xFFFF00, 0xFF00FF, 0x8000, 128}},
      {"/a b/c.dat", 0.64, 8, 0, {0xFFFFFF, 0x800000, 0x00FF00, 0x808080, 0x0000FF, 0x808000}},
      {"x", 1.56, 14, 1, {ColorTable[4].value, ColorTable[8].value, ColorTable[9].value,
                          ColorTable[0].value, ColorTable[12].value, ColorTable[1].value}},
      {"/w/q.ini", 0.8125, 9, 0, {-1, 123456789, 7, 0, 1, 2}},
  };
  for (const Settings& s : cases) {
    s.Apply();
    WriteSettingsFile(path_);
    Marked.Apply();
    ReadSettingsFile(path_);
    EXPECT_EQ(Settings::Current(), s) << s.ini;
  }
  EXPECT_EQ(DialogOk, savedDialogOk_);
}

TEST_F(SettingsFile, ValuesAreClampedAndRoundedHalfToEven) {
  // One line of the start-up file replaced; the other lines give the start-up values.
  struct Case { size_t line; const char* text; double scale; int32_t font; int rus; int32_t color0; };
  const Case cases[] = {
      {1, "2.0 *scrsize", 1.56, 12, 1, 0},          {1, "0.5 *scrsize", 0.64, 12, 1, 0},
      {1, "1.1 *scrsize", 1.1, 12, 1, 0},           {2, "20 *fntsize", 1.25, 14, 1, 0},
      {2, "9.5 *fntsize", 1.25, 10, 1, 0},          {2, "10.5 *fntsize", 1.25, 10, 1, 0},
      {2, "11.5 *fntsize", 1.25, 12, 1, 0},         {2, "-4 *fntsize", 1.25, 8, 1, 0},
      {3, "0.99 *RusHelp", 1.25, 12, 0, 0},         {3, "1 *RusHelp", 1.25, 12, 1, 0},
      {3, "5 *RusHelp", 1.25, 12, 1, 0},            {3, "-2 *RusHelp", 1.25, 12, 0, 0},
      {4, "254.5 *Backg", 1.25, 12, 1, 254},        {4, "255.5 *Backg", 1.25, 12, 1, 256},
      {4, "-77 *Background color", 1.25, 12, 1, -77},
      // Beyond 32 bits a value is no colour: the setting stays.
      {4, "1e12 *Backg", 1.25, 12, 1, Marked.colors[0]},
      {4, "-1e12 *Backg", 1.25, 12, 1, Marked.colors[0]},
  };
  for (const Case& c : cases) {
    Settings got = ReadWithLine(c.line, c.text);
    EXPECT_DOUBLE_EQ(got.scale, c.scale) << c.text;
    EXPECT_EQ(got.font, c.font) << c.text;
    EXPECT_EQ(got.rus, c.rus) << c.text;
    EXPECT_EQ(got.colors[0], c.color0) << c.text;
    EXPECT_EQ(got.colors[5], 128) << c.text;
  }
}

TEST_F(SettingsFile, ShortMissingAndMisplacedLinesKeepSettings) {
  // Only the first line: the nine settings stay.
  WriteBytes("/only/first.ini\r\n");
  Marked.Apply();
  ReadSettingsFile(path_);
  Settings want = Marked;
  want.ini = "/only/first.ini";
  EXPECT_EQ(Settings::Current(), want);

  // An empty file delivers the end-of-file blank as the INI name.
  WriteBytes("");
  Marked.Apply();
  ReadSettingsFile(path_);
  want.ini = " ";
  EXPECT_EQ(Settings::Current(), want);

  // No file at all: nothing changes and no file result is left behind.
  std::filesystem::remove(path_);
  Marked.Apply();
  ReadSettingsFile(path_);
  EXPECT_EQ(Settings::Current(), Marked);
  EXPECT_EQ(IoResult(), 0);
  ReadSettingsFile(std::filesystem::temp_directory_path().string());  // a folder
  EXPECT_EQ(Settings::Current(), Marked);

  // The file is positional: the swapped lines 5 and 6 are not found, later lines still are.
  std::vector<std::string> lines = StartUpLines;
  std::swap(lines[4], lines[5]);
  WriteBytes(Join(lines));
  Marked.Apply();
  ReadSettingsFile(path_);
  Settings got = Settings::Current();
  EXPECT_EQ(got.colors[0], Marked.colors[0]);
  EXPECT_EQ(got.colors[1], Marked.colors[1]);
  EXPECT_EQ(got.colors[2], 0xFFFF00);
  EXPECT_EQ(got.colors[5], 128);
  EXPECT_EQ(got.scale, 1.25);
}

// A value that is not a number keeps the setting (not 1.001) and does not touch DialogOk.
TEST_F(SettingsFile, NonNumberValueKeepsSettingAndDialogOk) {
  for (int32_t dialogOk : {1, 0}) {
    DialogOk = dialogOk;
    EXPECT_EQ(ReadWithLine(1, "abc *scrsize").scale, Marked.scale);
    EXPECT_EQ(ReadWithLine(2, "12a3 *fntsize").font, Marked.font);
    EXPECT_EQ(ReadWithLine(3, "yes *RusHelp").rus, Marked.rus);
    EXPECT_EQ(ReadWithLine(4, "black *Background color").colors[0], Marked.colors[0]);
    EXPECT_EQ(ReadWithLine(4, "    *Background color").colors[0], Marked.colors[0]);
    EXPECT_EQ(ReadWithLine(9, " *Color for Form1 back").colors[5], Marked.colors[5]);
    EXPECT_EQ(DialogOk, dialogOk);
  }
  // The other lines of such a file are read as usual; a comma is a decimal point.
  Settings got = ReadWithLine(2, "x *fntsize");
  EXPECT_EQ(got.font, Marked.font);
  EXPECT_EQ(got.scale, 1.25);
  EXPECT_EQ(got.colors[4], 0x8000);
  EXPECT_EQ(ReadWithLine(1, "1,5 *scrsize").scale, 1.5);
}

TEST_F(SettingsFile, ReadsMixedLineEndsCommentsCtrlZAndNulBytes) {
  // LF and CR LF mixed, comment lines skipped, a Ctrl-Z ends the file after the RusHelp line.
  std::string bytes = "*settings\n/x/y.ini\r\n*scale\r\n   1.0000 *scrsize\n 13 *fntsize\r\n"
                      "         1 *RusHelp\n\x1A         5 *Background color\r\n";
  WriteBytes(bytes);
  Marked.Apply();
  ReadSettingsFile(path_);
  Settings want = Marked;
  want.ini = "/x/y.ini";
  want.scale = 1.0;
  want.font = 13;
  want.rus = 1;
  EXPECT_EQ(Settings::Current(), want);

  // NUL bytes: in a value it is no number; after the key it does not matter.
  std::vector<std::string> lines = StartUpLines;
  lines[0] = std::string("/n\0ul.ini", 9);
  lines[1] = std::string("  1.\0" "2500 *scrsize", 18);
  lines[2] = std::string("        13 *fntsize\0\0", 21);
  WriteBytes(Join(lines));
  Marked.Apply();
  ReadSettingsFile(path_);
  EXPECT_EQ(IniFileName, lines[0]);
  EXPECT_EQ(ScreenScale, Marked.scale);
  EXPECT_EQ(FontSize, 13);
  EXPECT_EQ(Form1BackColor, 128);
}

TEST_F(SettingsFile, FailedWriteIsSilent) {
  StartUp.Apply();
  WriteSettingsFile("/nonexistent-folder-vkest/vkest.fn");
  EXPECT_EQ(IoResult(), 0);
  if (std::filesystem::exists("/dev/full")) {
    WriteSettingsFile("/dev/full");  // the write itself fails
    EXPECT_EQ(IoResult(), 0);
  }
  EXPECT_EQ(Settings::Current(), StartUp);
}
