#include "support/generic_ui.h"
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include "core/info_window.h"
#include "core/model_tables.h"

namespace fs = std::filesystem;

namespace {
// What a user types into a field: numbers in range and out of it, and text that is no number.
const char* const kTyped[] = {"",     "0",     "1",    "-1",       "2.5",    "3",    "1e308", "-1e308",
                              "nan",  "inf",   "abc",  "1 2 3",    "0.0001", "100",  "32768", "99999999999",
                              "-0.5", "1,5",   "7",    "1e-300",   "12",     "  ",   "P",     "Fm-3m"};

bool Usable(const TControl& c) { return c.visible && c.enabled; }
}  // namespace

void GenericUi::Begin(uint32_t seed) {
  rng_.seed(seed);
  record.clear();
  problems.clear();
  dialogsShown = questionsAsked = filesAsked = messagesShown = 0;
  first = 0;
  quitting_ = timerArmed_ = false;
  waits_ = ticks_ = 0;
}

void GenericUi::Note(char kind, const std::string& text, const std::string& how) {
  static const std::map<char, const char*> kNames = {{'D', "DIALOG "}, {'Q', "ASK "}, {'F', "FILE "},
                                                     {'M', "MSG "},    {'I', "INFO "}};
  if (!first) first = kind, firstText = text;
  if (record.size() < 200) record.push_back(kNames.at(kind) + text + (how.empty() ? "" : " -> " + how));
}

void GenericUi::ShowMessage(const std::string& text) {
  ++messagesShown;
  Note('M', text);
}

bool GenericUi::AskYesNo(const std::string& text, MsgKind) {
  ++questionsAsked;
  // "Continue?" loops end: past the limit a user answers No.
  const bool refused = std::find(alwaysNo.begin(), alwaysNo.end(), text) != alwaysNo.end();
  const bool yes = !refused && questionsAsked <= questionLimit &&
                   (answer == Answer::Accept || (answer == Answer::Random && rng_() % 2 == 0));
  Note('Q', text, yes ? "Yes" : "No");
  return yes;
}

void GenericUi::ProcessEvents() {
  if (timerArmed_) {
    timerArmed_ = false;
    if (++ticks_ > timerLimit) {
      problems.push_back("a timer loop ran past " + std::to_string(timerLimit) + " ticks");
      quitting_ = true;
      return;
    }
    Form2.Timer1Timer();
    return;
  }
  if (quitting_) return;
  if (!onWait || ++waits_ > waitLimit) {
    if (onWait) problems.push_back("a wait that " + std::to_string(waitLimit) + " answers did not end");
    quitting_ = true;
    return;
  }
  onWait(rng_);
}

void GenericUi::FillAtRandom(TForm2& f) {
  auto pick = [this](size_t n) { return static_cast<int32_t>(rng_() % n); };
  auto often = [this] { return rng_() % 3 == 0; };
  for (int32_t i = 1; i <= 4; ++i)
    if (Usable(f.Edit(i)) && often()) f.Edit(i).text = kTyped[pick(std::size(kTyped))];
  if (Usable(f.RadioGroup1) && !f.RadioGroup1.items.empty() && often()) {
    f.RadioGroup1.itemIndex = pick(f.RadioGroup1.items.size());
    f.RadioGroup1Click();
  }
  if (Usable(f.RadioGroup2) && !f.RadioGroup2.items.empty() && often())
    f.RadioGroup2.itemIndex = pick(f.RadioGroup2.items.size());
  if (Usable(f.CheckListBox1))
    for (size_t i = 0; i < f.CheckListBox1.items.size(); ++i)
      if (often()) f.CheckListBox1.SetChecked(static_cast<int32_t>(i), rng_() % 2 == 0);
  if (Usable(f.ComboBox1) && !f.ComboBox1.items.empty() && often()) {
    f.ComboBox1.itemIndex = pick(f.ComboBox1.items.size());
    f.ComboBox1.text = f.ComboBox1.items[static_cast<size_t>(f.ComboBox1.itemIndex)];
  }
  if (Usable(f.CheckBox1) && often()) f.CheckBox1.checked = !f.CheckBox1.checked;
  TStringGrid& g = f.StringGrid1;
  if (Usable(g) && g.editable && g.colCount > g.fixedCols && g.rowCount > g.fixedRows)
    for (int32_t k = pick(4); k > 0; --k)
      g.Cell(g.fixedCols + pick(static_cast<size_t>(g.colCount - g.fixedCols)),
             g.fixedRows + pick(static_cast<size_t>(g.rowCount - g.fixedRows))) = kTyped[pick(std::size(kTyped))];
  if (Usable(f.Memo1) && rng_() % 8 == 0) f.Memo1.lines = {kTyped[pick(std::size(kTyped))]};
  if (Usable(f.Image1) && rng_() % 4 == 0) f.Image1MouseDown(pick(800), pick(600));
}

void GenericUi::ShowModal(TForm2& f) {
  ++dialogsShown;
  std::string how;
  const bool cancel = answer == Answer::Cancel || dialogsShown > dialogLimit;
  if (!cancel && answer == Answer::Random) {
    FillAtRandom(f);
    // Now and then a button that leaves the window open (Help, Save, Browse...) first.
    if (rng_() % 6 == 0) {
      const int32_t b = 3 + static_cast<int32_t>(rng_() % 14);
      if (b != 5 && Usable(f.Button(b)) && !f.closeRequested) f.ButtonClick(b);
    }
  }
  if (!f.closeRequested) {
    const uint32_t r = answer == Answer::Random ? rng_() % 20 : 0;
    if (!cancel && r < 12 && Usable(f.Button1)) {
      how = "OK";
      f.Button1Click();
    } else if (r == 18) {
      how = "Esc";
      f.FormKeyPress(27);
    } else if (r == 19) {
      how = "close box";
      f.CloseBoxClick();
    } else if (Usable(f.Button2)) {
      how = "Cancel";
      f.Button2Click();
    }
  }
  // OK refused (a wrong value keeps the window open), or no such button: the way out of the window.
  if (!f.closeRequested && Usable(f.Button2)) {
    how += ", Cancel";
    f.Button2Click();
  }
  if (!f.closeRequested) {
    how += ", close box";
    f.CloseBoxClick();
  }
  if (!f.closeRequested) {
    how += ", left open";
    problems.push_back("the dialog \"" + f.caption + "\" cannot be closed");
    f.Close();
  }
  Note('D', f.caption, how);
}

void GenericUi::ShowInfoModal(TForm3& form) {
  Note('I', form.caption);
  form.Button1Click();
}

std::optional<std::string> GenericUi::FileAnswer(const char* kind, const TFileDialog& d, bool save) {
  ++filesAsked;
  std::optional<std::string> file;
  const std::string offered = fs::path(d.fileName).filename().string();
  const std::string here = WorkDir + "/" + (offered.empty() ? std::string("walk.out") : offered);
  if (answer == Answer::Accept) {
    if (save) file = here;
    else if (!d.fileName.empty() && fs::is_regular_file(d.fileName)) file = d.fileName;
  } else if (answer == Answer::Random) {
    switch (rng_() % 5) {
      case 0: break;
      case 1: file = WorkDir + "/no such folder/x.dat"; break;
      case 2: file = here; break;
      default:
        if (!openPool.empty()) file = openPool[rng_() % openPool.size()];
    }
  }
  Note('F', d.title, std::string(kind) + " " + (file ? *file : "cancel"));
  return file;
}

std::optional<std::string> GenericUi::OpenFileDialog(const TFileDialog& d) { return FileAnswer("OPEN", d, false); }
std::optional<std::string> GenericUi::SaveFileDialog(const TFileDialog& d) { return FileAnswer("SAVE", d, true); }

std::optional<std::vector<std::string>> GenericUi::OpenFilesDialog(const TFileDialog& d) {
  std::optional<std::string> one = FileAnswer("OPEN FILES", d, false);
  if (!one) return std::nullopt;
  return std::vector<std::string>{*one};
}
