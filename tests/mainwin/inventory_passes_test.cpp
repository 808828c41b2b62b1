// Every command of the main window, one after another in a fresh session each: on an empty
// session with OK to every dialog (each works or says what is missing), cancelled at its first
// dialog on a loaded data set (nothing of the model, the spectra or the files changes), and with
// OK to every dialog on that data set. Nothing crashes (the sanitizer build), no dialog stays
// open, no wait is left without a way out, the program is never left busy.
#include <cctype>
#include "mainwin/inventory_fixture.h"
#include "testdata/test_data_sets.h"

namespace {
// A loaded data set: the ZrO2 refinement set (two spectra, the phase with its reflections) and
// the ZrO2 d-spacings, the spectrum on the graph.
void LoadTestData() {
  SetZrO2TestData();
  SetRietveldTestData();
  FormPhaseReflections(1, 1.541, 3.895);
  Form1.HandleEvent({TMainEventKind::Key, 'G', 0, true});
}

// Commands that change the model or the files without asking first (so a cancel cannot stop
// them), with what they do.
bool ActsWithoutAsking(const std::string& name) {
  static const char* const kNames[] = {
      "File>Reset the Program",  // the model reset
      "key Esc", "File>Exit",    // the session end
      "close box",
  };
  for (const char* n : kNames)
    if (name.rfind(n, 0) == 0) return true;  // "File>Exit" and the key hint after it
  return false;
}

// What an empty session lacks, as a refusal names it: a message must say which of these it
// misses, not only that something went wrong.
bool NamesWhatIsMissing(std::string text) {
  static const char* const kMissing[] = {"fitting", "preparation", "preparing", "spectra", "spectrum", "marked points",
                                         "clicked points", "fitted peak", "phase", "hkl", "d-spacings",
                                         "structure factors", "cell", "file", "interval"};
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::tolower(ch); });
  return std::any_of(std::begin(kMissing), std::end(kMissing),
                     [&](const char* m) { return text.find(m) != std::string::npos; });
}

TEST_F(InventoryTest, EmptySessionEveryCommandWorksOrSaysWhatIsMissing) {
  ui.answer = GenericUi::Answer::Accept;
  EXPECT_FALSE(NamesWhatIsMissing("Error, wrong numbers"));
  int32_t refusals = 0;
  for (const TCommand& c : MainWindowInventory()) {
    SCOPED_TRACE(c.name);
    Restart();
    EXPECT_TRUE(Run(c)) << Transcript();
    if (ui.first != 'M') continue;  // a refusal is a message before anything else
    ++refusals;
    EXPECT_TRUE(NamesWhatIsMissing(ui.firstText)) << "a refusal that names nothing: " << ui.firstText << Transcript();
  }
  EXPECT_GT(refusals, 5);  // the empty session is refused by many commands
}

// The working folder removed under a running session (the session's files open in memory):
// every command still ends, says what failed and leaves the program free.
TEST_F(InventoryTest, AWorkingFolderThatVanishedLeavesNoCommandStuck) {
  ui.answer = GenericUi::Answer::Accept;
  for (const TCommand& c : MainWindowInventory()) {
    SCOPED_TRACE(c.name);
    Restart();
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(Run(c)) << Transcript();
    std::filesystem::create_directories(folder);
  }
}

TEST_F(InventoryTest, CancelAtTheFirstDialogLeavesModelSpectraAndFilesAsTheyWere) {
  ui.answer = GenericUi::Answer::Cancel;
  for (const TCommand& c : MainWindowInventory()) {
    SCOPED_TRACE(c.name);
    Restart();
    LoadTestData();
    const uint64_t model = ModelFingerprint(), spectra = SpectraFingerprint(), files = FilesFingerprint(folder);
    Run(c);
    if (std::string("DFQ").find(ui.first) == std::string::npos || ActsWithoutAsking(c.name)) continue;  // nothing asked
    EXPECT_EQ(ModelFingerprint(), model) << "the model changed" << Transcript();
    EXPECT_EQ(SpectraFingerprint(), spectra) << "the spectra changed" << Transcript();
    EXPECT_EQ(FilesFingerprint(folder), files) << "the files changed" << Transcript();
  }
}

TEST_F(InventoryTest, AcceptingEveryDialogOnLoadedDataRunsEveryCommand) {
  ui.answer = GenericUi::Answer::Accept;
  for (const TCommand& c : MainWindowInventory()) {
    SCOPED_TRACE(c.name);
    Restart();
    LoadTestData();
    EXPECT_TRUE(Run(c)) << Transcript();
  }
}
}  // namespace
