// The INI road in the real program: key i, the ZrO2 command file of the INI corpus through the
// real file dialog, and the "&Rietveld " dialog that follows a file in the Rietveld mode, offered
// with RIETVELD FIT since the file entered the crystal; Esc ends the session.
#include <QtTest/QTest>
#include "core/model_tables.h"
#include "core/spectrum.h"
#include "program_road.h"

namespace {
using IniRoadTest = ProgramRoadTest;

TEST_F(IniRoadTest, KeyIReadsTheFileAndOpensTheRietveldDialog) {
  files.push_back(std::string(VKEST_SOURCE_DIR) + "/tests/ini/data/zro2.ini");
  int32_t offered = -1;
  std::string counts;
  ExpectDialog("Input of ini-file").Ok();
  questions.push_back(true);  // "Errors=0. Make Poisson variance?"
  ExpectDialog("Select the analysis").fill.push_back([&](QtForm2& f) { offered = f.RadioGroup1()->ItemIndex() + 1; });
  dialogs.back().Cancel();
  Then([](MainWindowView& view) { QTest::keyClick(&view, Qt::Key_I); });
  Then([&](MainWindowView& view) {
    counts = std::to_string(SpectrumList[1]->WorkFirst) + ".." + std::to_string(SpectrumList[1]->WorkLast) + " " +
             std::to_string(PhaseTable[1].SpaceGroup) + " " + std::to_string(PhaseTable[1].AtomCount);
    QTest::keyClick(&view, Qt::Key_Escape);
  });
  EXPECT_EQ(MainProgram({folder.string()}), 0);
  EXPECT_TRUE(dialogs.empty() && files.empty() && steps.empty());
  EXPECT_EQ(offered, 2);  // RIETVELD FIT
  // The file's working range, space group and atoms (Zr, O, O, Hf).
  EXPECT_EQ(counts, "305..740 14 4");
  EXPECT_GT(PhaseTable[1].ReflectionCount, 10);
  EXPECT_EQ(MainMode, 0);
  const std::string log = Log(), finish = std::string(20, ' ') + "VKEST FINISH  2026-03-04 05:06:07\r\n";
  EXPECT_EQ(log.find(finish), log.size() - finish.size());
}
}  // namespace
