#include "testdata/test_menu.h"
#include <algorithm>
#include "core/dialog_toolkit.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/model_options.h"
#include "testdata/exp_decay_test.h"
#include "testdata/random_test.h"
#include "testdata/test_data_sets.h"

namespace {

const char* const SwitchCaptions[10] = {"  Print each iteration", "  Anisotropy test", "  Indexing test",
                                        "  Powder Match test",    "  Peak Search test", "  Magnetic test",
                                        "  hkl test",             "  tempor test",      "  Trevo test",
                                        "  Lattice Fit test"};
// The OptionFlags byte of each switch; bytes 3 and 11 are not offered.
constexpr int32_t SwitchBytes[10] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10};

void RunEntry(int32_t entry) {
  switch (entry) {
    case 1: MakeTestSaveFile(); break;
    case 3:
      SetRietveldTestData();
      GraphMode = 1;
      break;
    case 4: SetAutoindexingTestData(); break;
    case 5:
      SetPeakTestData();
      if (DialogOk == 1) GraphMode = 1;  // the spectrum set is drawn at once
      break;
    case 6: RunExpDecayTestFit(); break;
    case 7: ViewTextFile(); break;
    case 8: MakeTextFile(); break;
    case 9: TestRandomGenerator(); break;
    default: break;  // the blank entries and " Calculate occus"
  }
  // Phase 1 as the test data left it (whatever it holds).
  if (entry == 3 || entry == 4) FormPhaseReflections(1, 1.541, 3.895);
}

}  // namespace

void TestMenu() {
  int32_t preselect = 7;
  for (;;) {
    DialogCaption = "Test";
    BeginDialog(0);
    SetDialogOptions({" Transform a spectrum text file", " ", " TestRietveld", " TestAutoindexing", " TestFitra",
                      " TestThis", " View res-file", " Make text file", " Par estimation", " ", " Calculate occus",
                      " "},
                     preselect);
    ShowRadioGroup(1, 1, 10, 330, 225, 30);
    SetDialogOptions({SwitchCaptions[0], SwitchCaptions[1], SwitchCaptions[2], SwitchCaptions[3], SwitchCaptions[4],
                      SwitchCaptions[5], SwitchCaptions[6], SwitchCaptions[7], SwitchCaptions[8], SwitchCaptions[9]});
    ShowCheckListBox(245, 30, 150, 180);
    for (int32_t i = 0; i < 10; ++i) Form2.CheckListBox1.SetChecked(i, OptionFlags[SwitchBytes[i]] != 0);
    ShowDialogModal();
    if (DialogOk != 1) return;
    for (int32_t i = 0; i < 10; ++i) OptionFlags[SwitchBytes[i]] = Form2.CheckListBox1.Checked(i) ? 1 : 0;
    const int32_t entry = Form2.RadioGroup1.itemIndex + 1;
    RunEntry(entry);
    if (entry != 6 && entry != 7) return;
    // " TestThis" and " View res-file" alternate.
    preselect = entry == 6 ? 7 : 6;
  }
}

void MakeTestSaveFile() {
  std::string input = "a.sav";
  AskFileName(input, 0);
  if (DialogOk != 1) return;
  std::string output = "b.sav";
  DialogEditLabel1 = "";
  AskFileName(output, 1);
  if (DialogOk != 1) return;
  TextFile in, out;
  in.Reset(input);  // an unreadable file abandons with its name
  out.Rewrite(output);
  while (!in.Eof()) {
    const std::string line = in.ReadLine();
    // Comments, and empty lines, which would add a point 0, 0, 0.
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '*') continue;
    int32_t n = 0;
    ParseNumbers(n, line);
    double v[3] = {};
    for (int32_t i = 0; i < std::min(n, 3); ++i) v[i] = NumberBuffer[i + 1];
    // A number too wide for its field widens it.
    out.WriteLine(FormatFixed(8, 3, v[0] / 1000) + FormatFixed(8, 0, v[1]) + FormatFixed(8, 0, v[2]));
  }
  in.Close();
  out.Close();
  ShowMsg("File " + output + " built");
}

void MakeTextFile() {
  std::string name = "a.txt";
  DialogEditLabel1 = "";
  AskFileName(name, 1);
  if (DialogOk != 1) return;
  DialogCaption = "Edit the file ";
  PrepareDialog(620, 0, 430);
  ShowMemo(5, 610);
  ShowDialogModal();
  if (DialogOk != 1) return;
  if (!Ui().AskYesNo("Save the file?", MsgKind::Confirmation)) return;
  TextFile f;
  f.Rewrite(name);
  for (const std::string& line : Form2.Memo1.lines) f.WriteLine(line);
  f.Close();
}
