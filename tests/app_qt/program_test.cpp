// The real program on the offscreen platform: the start dialog answered OK, the session files
// in a temporary working folder, a spectrum loaded through the real file dialog, and Exit with
// the files closed and the settings written; a cancelled start and a working folder where no
// file can be made end without the event loop.
#include <gtest/gtest.h>
#include <QLabel>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include "core/model_tables.h"
#include "program_road.h"

namespace fs = std::filesystem;

namespace {
using ProgramTest = ProgramRoadTest;

TEST_F(ProgramTest, StartLoadASpectrumAndExit) {
  const std::string spectrum = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/spectra/k3_basic.txt";
  std::string status;
  files.push_back(spectrum);
  ExpectDialog("Spectrum 1 input").Radio(3);  // the fixture holds free-field text
  questions.push_back(true);                  // "Errors=0. Make Poisson variance?"
  ExpectDialog("Spectrum 1 input");           // its header
  ExpectDialog("Spectrum 1 input");           // the time-of-flight information
  Then([&](MainWindowView& view) {
    MenuAction(view, "Input the Spectrum")->trigger();
    status = view.StatusLabel(1)->text().toStdString();
    // Unsaved results: Exit asks once; the close events of Qt's quit neither ask nor finish again.
    ResultsUnsaved[0] = 1;
    MenuAction(view, "Exit                         Esc")->trigger();
  });
  EXPECT_EQ(MainProgram({folder.string()}), 0);
  EXPECT_TRUE(dialogs.empty() && files.empty() && questions.empty() && steps.empty());
  ASSERT_GE(answered.size(), 2u);
  EXPECT_EQ(answered[0] + " / " + answered[1], std::string("DIALOG ") + kStartBanner + " / FILE");
  EXPECT_EQ(status.rfind("The spectrum read in.", 0), 0u) << status;
  EXPECT_EQ(std::count(answered.begin(), answered.end(), "MSG Rietveld parameters not saved. Still exit?"), 1);
  const std::string log = Log();
  const std::string finish = std::string(20, ' ') + "VKEST FINISH  2026-03-04 05:06:07\r\n";
  EXPECT_EQ(log.rfind(std::string(20, ' ') + "VKEST START  2026-03-04 05:06:07\r\n", 0), 0u);
  EXPECT_NE(log.find("Spectrum " + spectrum + " input\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(finish), log.size() - finish.size());  // the last line, and only once
  EXPECT_TRUE(fs::exists(folder / "quorin.res"));
  EXPECT_TRUE(fs::exists(folder / "vkest.fn"));
  // The folder of the spectrum read comes back as the first line of the spectrum defaults.
  EXPECT_EQ(ReadWholeFile(folder / "vkest.def").rfind(fs::path(spectrum).parent_path().string() + "\r\n", 0), 0u);
}

// Cancel makes and closes the session files and ends at once (a quit asked before the loop
// would be lost); a result file that cannot be made ends with an error code.
TEST_F(ProgramTest, StartsThatEndWithoutTheLoop) {
  startButton = 2;
  Then([](MainWindowView&) { ADD_FAILURE() << "the main window was shown"; });
  EXPECT_EQ(MainProgram({folder.string()}), 0);
  EXPECT_NE(Log().find("VKEST FINISH"), std::string::npos);
  EXPECT_EQ(answered, std::vector<std::string>{std::string("DIALOG ") + kStartBanner});

  startButton = 1, answered.clear();
  std::ofstream(folder / "plain") << "x";
  EXPECT_NE(MainProgram({(folder / "plain").string()}), 0);
  EXPECT_EQ(answered, (std::vector<std::string>{std::string("DIALOG ") + kStartBanner, std::string("MSG ") + OutputFileFailure}));
}
}  // namespace
