#include "core/scripted_ui.h"
#include <sstream>
#include "core/dialog_toolkit.h"

namespace {
std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string Join(const std::vector<std::string>& items, const std::string& sep) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? sep : "") + items[i];
  return out;
}

std::string Choices(const std::vector<std::string>& items, int32_t selected) {
  std::vector<std::string> parts;
  for (size_t i = 0; i < items.size(); ++i)
    parts.push_back((static_cast<int32_t>(i) == selected ? "(*)" : "( )") + Quote(items[i]));
  return Join(parts, " ");
}

void DescribeGrid(std::vector<std::string>& out, const char* name, const TStringGrid& g) {
  out.push_back(std::string("  ") + name + " " + std::to_string(g.colCount) + "x" + std::to_string(g.rowCount));
  for (int32_t r = 0; r < g.rowCount; ++r) {
    std::vector<std::string> cells;
    for (int32_t c = 0; c < g.colCount; ++c) cells.push_back(Quote(g.Cell(c, r)));
    out.push_back("    row " + std::to_string(r) + ": " + Join(cells, " "));
  }
}
}  // namespace

std::vector<std::string> DescribeDialog(const TForm2& f) {
  std::vector<std::string> out;
  for (int32_t i = 1; i <= 11; ++i)
    if (f.Label(i).visible) out.push_back("  Label" + std::to_string(i) + " " + Quote(f.Label(i).caption));
  for (int32_t i = 1; i <= 4; ++i)
    if (f.Edit(i).visible) out.push_back("  Edit" + std::to_string(i) + " " + Quote(f.Edit(i).text));
  if (f.RadioGroup1.visible) out.push_back("  RadioGroup1 " + Choices(f.RadioGroup1.items, f.RadioGroup1.itemIndex));
  if (f.RadioGroup2.visible) out.push_back("  RadioGroup2 " + Choices(f.RadioGroup2.items, f.RadioGroup2.itemIndex));
  if (f.CheckListBox1.visible) {
    std::vector<std::string> parts;
    for (size_t i = 0; i < f.CheckListBox1.items.size(); ++i)
      parts.push_back((f.CheckListBox1.Checked(static_cast<int32_t>(i)) ? "[x]" : "[ ]") + Quote(f.CheckListBox1.items[i]));
    out.push_back("  CheckListBox1 " + Join(parts, " "));
  }
  if (f.ComboBox1.visible) out.push_back("  ComboBox1 " + Quote(f.ComboBox1.text) + " of " + Choices(f.ComboBox1.items, f.ComboBox1.itemIndex));
  if (f.CheckBox1.visible) out.push_back(std::string("  CheckBox1 ") + (f.CheckBox1.checked ? "[x]" : "[ ]") + Quote(f.CheckBox1.caption));
  if (f.StringGrid2.visible) DescribeGrid(out, "StringGrid2", f.StringGrid2);
  if (f.StringGrid1.visible) DescribeGrid(out, "StringGrid1", f.StringGrid1);
  if (f.ListBox1.visible) {
    out.push_back("  ListBox1 " + std::to_string(f.ListBox1.items.size()) + " lines");
    for (const auto& l : f.ListBox1.items) out.push_back("    " + Quote(l));
  }
  if (f.Memo1.visible) {
    out.push_back("  Memo1 " + std::to_string(f.Memo1.lines.size()) + " lines");
    for (const auto& l : f.Memo1.lines) out.push_back("    " + Quote(l));
  }
  for (int32_t i = 1; i <= 4; ++i)
    if (f.Image(i).visible) out.push_back("  Image" + std::to_string(i));
  for (int32_t i = 1; i <= 3; ++i)
    if (f.Bevel(i).visible) out.push_back("  Bevel" + std::to_string(i));
  std::vector<std::string> buttons;
  for (int32_t i = 1; i <= 16; ++i)
    if (f.Button(i).visible) buttons.push_back("[" + f.Button(i).caption + "]");
  if (!buttons.empty()) out.push_back("  " + Join(buttons, " "));
  return out;
}

// ---- the dialog script ----

DialogScript& DialogScript::Add(std::string what, std::function<std::string(TForm2&)> run) {
  actions_.push_back({std::move(what), std::move(run)});
  return *this;
}

namespace {
std::string Shown(const TControl& c, const std::string& name) {
  if (!c.visible) return name + " is not shown";
  if (!c.enabled) return name + " is disabled";
  return {};
}

// The same for item (1-based) of a list of count items.
std::string ShownWithItem(const TControl& c, const std::string& name, int32_t item, size_t count) {
  std::string e = Shown(c, name);
  if (e.empty() && (item < 1 || item > static_cast<int32_t>(count))) e = name + " has no item " + std::to_string(item);
  return e;
}
}  // namespace

DialogScript& DialogScript::Edit(int32_t i, const std::string& text) {
  return Add("Edit" + std::to_string(i) + " " + Quote(text), [i, text](TForm2& f) {
    if (i < 1 || i > 4) return std::string("no Edit") + std::to_string(i);
    std::string e = Shown(f.Edit(i), "Edit" + std::to_string(i));
    if (e.empty()) {
      f.Edit(i).text = text;
      f.FieldEdited();
    }
    return e;
  });
}

DialogScript& DialogScript::Cell(int32_t col, int32_t row, const std::string& text) {
  return Add("cell " + std::to_string(col) + "," + std::to_string(row) + " " + Quote(text),
             [col, row, text](TForm2& f) {
               TStringGrid& g = f.StringGrid1;
               std::string e = Shown(g, "StringGrid1");
               if (!e.empty()) return e;
               if (col < 0 || row < 0 || col >= g.colCount || row >= g.rowCount)
                 return "StringGrid1 has no cell " + std::to_string(col) + "," + std::to_string(row);
               if (!g.editable || row < g.fixedRows || col < g.fixedCols) return std::string("the cell is not editable");
               g.Cell(col, row) = text;
               f.FieldEdited();
               return std::string();
             });
}

DialogScript& DialogScript::Field(int32_t row, int32_t col, const std::string& text) {
  return Cell(col - 1, row - 1, text);
}

namespace {
std::function<std::string(TForm2&)> ChooseRadio(TRadioGroup TForm2::*group, const char* name, int32_t item,
                                                bool click) {
  return [=](TForm2& f) {
    TRadioGroup& g = f.*group;
    std::string e = ShownWithItem(g, name, item, g.items.size());
    if (!e.empty()) return e;
    g.itemIndex = item - 1;
    if (click) f.RadioGroup1Click();
    return std::string();
  };
}
}  // namespace

DialogScript& DialogScript::Radio(int32_t item) {
  return Add("RadioGroup1 item " + std::to_string(item), ChooseRadio(&TForm2::RadioGroup1, "RadioGroup1", item, true));
}

DialogScript& DialogScript::Radio2(int32_t item) {
  return Add("RadioGroup2 item " + std::to_string(item), ChooseRadio(&TForm2::RadioGroup2, "RadioGroup2", item, false));
}

DialogScript& DialogScript::Check(int32_t item, bool on) {
  return Add("CheckListBox1 item " + std::to_string(item) + (on ? " on" : " off"), [item, on](TForm2& f) {
    std::string e = ShownWithItem(f.CheckListBox1, "CheckListBox1", item, f.CheckListBox1.items.size());
    if (!e.empty()) return e;
    f.CheckListBox1.SetChecked(item - 1, on);
    return std::string();
  });
}

DialogScript& DialogScript::Combo(int32_t item) {
  return Add("ComboBox1 item " + std::to_string(item), [item](TForm2& f) {
    std::string e = ShownWithItem(f.ComboBox1, "ComboBox1", item, f.ComboBox1.items.size());
    if (!e.empty()) return e;
    f.ComboBox1.itemIndex = item - 1;
    f.ComboBox1.text = f.ComboBox1.items[static_cast<size_t>(item - 1)];
    return std::string();
  });
}

DialogScript& DialogScript::Memo(const std::string& text) {
  return Add("Memo1 " + Quote(text), [text](TForm2& f) {
    std::string e = Shown(f.Memo1, "Memo1");
    if (!e.empty()) return e;
    f.Memo1.lines.clear();
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) f.Memo1.lines.push_back(line);
    return std::string();
  });
}

DialogScript& DialogScript::CheckBox(bool on) {
  return Add(std::string("CheckBox1 ") + (on ? "on" : "off"), [on](TForm2& f) {
    std::string e = Shown(f.CheckBox1, "CheckBox1");
    if (e.empty()) f.CheckBox1.checked = on;
    return e;
  });
}

DialogScript& DialogScript::ClickImage(int32_t x, int32_t y) {
  return Add("click on Image1 at " + std::to_string(x) + "," + std::to_string(y), [x, y](TForm2& f) {
    std::string e = Shown(f.Image1, "Image1");
    if (e.empty()) f.Image1MouseDown(x, y);
    return e;
  });
}

DialogScript& DialogScript::Press(int32_t button) {
  return Add("press Button" + std::to_string(button), [button](TForm2& f) {
    if (button < 1 || button > 16) return "no Button" + std::to_string(button);
    std::string e = Shown(f.Button(button), "Button" + std::to_string(button) + " " + Quote(f.Button(button).caption));
    if (e.empty()) f.ButtonClick(button);
    return e;
  });
}

DialogScript& DialogScript::Inspect(std::function<void(TForm2&)> check) {
  return Add("inspect", [check = std::move(check)](TForm2& f) {
    check(f);
    return std::string();
  });
}

void DialogScript::Esc() {
  Add("Esc", [](TForm2& f) {
    f.FormKeyPress(27);
    return std::string();
  });
}

void DialogScript::Close() {
  Add("close box", [](TForm2& f) {
    f.CloseBoxClick();
    return std::string();
  });
}

// ---- the script ----

DialogScript& ScriptedUi::ExpectDialog(const std::string& captionPart) {
  steps_.push_back({StepKind::Dialog, captionPart, false, std::nullopt, {}});
  steps_.back().dialog.captionPart_ = captionPart;
  return steps_.back().dialog;
}

void ScriptedUi::ExpectMessage(const std::string& text) { steps_.push_back({StepKind::Message, text, false, std::nullopt, {}}); }

void ScriptedUi::ExpectQuestion(const std::string& text, bool yes) {
  steps_.push_back({StepKind::Question, text, yes, std::nullopt, {}});
}

void ScriptedUi::QueueAnswer(bool yes) { ExpectQuestion({}, yes); }

void ScriptedUi::ChooseFile(const std::string& path) { steps_.push_back({StepKind::File, path, false, path, {}}); }

void ScriptedUi::CancelFileDialog() { steps_.push_back({StepKind::File, "(cancel)", false, std::nullopt, {}}); }

void ScriptedUi::QueueImageClick(int32_t x, int32_t y) {
  QueueEvent([x, y] { Form2.Image1MouseDown(x, y); });
}

void ScriptedUi::AtYield(int32_t k, std::function<void()> action) { yieldActions_[k].push_back(std::move(action)); }

void ScriptedUi::StopAtYield(int32_t k) {
  AtYield(k, [this] {
    if (!Form2.visible || !Form2.Button5.visible || !Form2.Button5.enabled) {
      Unexpected("STOP pressed while the stop window shows no STOP button");
      return;
    }
    transcript.push_back("STOP pressed");
    Form2.Button5Click();
  });
}

// ---- the backend ----

void ScriptedUi::Unexpected(const std::string& what) {
  unexpected.push_back(what);
  if (onUnexpected) onUnexpected(what);
}

void ScriptedUi::ShowMessage(const std::string& text) {
  transcript.push_back("MSG: " + text);
  if (!steps_.empty() && steps_.front().kind == StepKind::Message) {
    std::string expected = steps_.front().text;
    steps_.pop_front();
    if (expected != text) Unexpected("expected the message " + Quote(expected) + ", shown " + Quote(text));
  }
}

bool ScriptedUi::AskYesNo(const std::string& text, MsgKind) {
  if (steps_.empty() || steps_.front().kind != StepKind::Question) {
    transcript.push_back("ASK: " + text + " -> No (unexpected)");
    Unexpected("question without a scripted answer: " + text);
    return false;
  }
  Step step = std::move(steps_.front());
  steps_.pop_front();
  if (!step.text.empty() && step.text != text) {
    transcript.push_back("ASK: " + text + " -> No (unexpected)");
    Unexpected("expected the question " + Quote(step.text) + ", asked " + Quote(text));
    return false;
  }
  transcript.push_back("ASK: " + text + (step.yes ? " -> Yes" : " -> No"));
  return step.yes;
}

void ScriptedUi::ProcessEvents() {
  if (timerArmed_) {
    auto it = yieldActions_.find(yieldsFired_ + 1);
    if (it != yieldActions_.end()) {
      auto actions = std::move(it->second);
      yieldActions_.erase(it);
      for (auto& a : actions) a();
      return;  // the timer fires on the next pass, unless the wait has ended meanwhile
    }
    timerArmed_ = false;
    ++yieldsFired_;
    Form2.Timer1Timer();
    return;
  }
  if (events_.empty()) {
    // Nothing scripted can end the wait: end it as if the program were closing.
    if (!exhausted_) {
      transcript.push_back("WAIT: no scripted event");
      Unexpected("a wait without a scripted event");
    }
    exhausted_ = true;
    return;
  }
  auto event = std::move(events_.front());
  events_.pop_front();
  event();
}

void ScriptedUi::ShowModal(TForm2& form) {
  dialogs.push_back(form);
  transcript.push_back("DIALOG: " + form.caption);
  for (auto& line : DescribeDialog(form)) transcript.push_back(line);
  auto refuse = [&](const std::string& why) {
    Unexpected(why);
    form.Button2Click();
    transcript.push_back("  -> Cancel (unexpected)");
  };
  if (steps_.empty() || steps_.front().kind != StepKind::Dialog) {
    refuse("dialog " + Quote(form.caption) + " without a scripted answer");
    return;
  }
  DialogScript script = std::move(steps_.front().dialog);
  steps_.pop_front();
  if (form.caption.find(script.captionPart_) == std::string::npos) {
    refuse("expected the dialog " + Quote(script.captionPart_) + ", shown " + Quote(form.caption));
    return;
  }
  for (auto& action : script.actions_) {
    if (form.closeRequested) {
      Unexpected("dialog " + Quote(form.caption) + " closed before: " + action.what);
      break;
    }
    transcript.push_back("  " + action.what);
    std::string error = action.run(form);
    if (!error.empty()) Unexpected("dialog " + Quote(form.caption) + ": " + error);
  }
  if (!form.closeRequested) {
    refuse("the script left dialog " + Quote(form.caption) + " open");
    return;
  }
  transcript.push_back(std::string("  -> DialogOk=") + std::to_string(DialogOk));
}

void ScriptedUi::ShowModeless(TForm2& form) {
  transcript.push_back("WINDOW: " + form.caption);
  for (auto& line : DescribeDialog(form)) transcript.push_back(line);
}

void ScriptedUi::ShowInfoModal(TForm3& form) {
  infoWindows.push_back(form);
  transcript.push_back("INFO: " + form.caption);
  if (form.Memo1.visible)
    for (const auto& l : form.Memo1.lines) transcript.push_back("    " + Quote(l));
  if (form.ListBox1.visible)
    for (const auto& l : form.ListBox1.items) transcript.push_back("    " + Quote(l));
  if (form.Label1.visible) transcript.push_back("  Label1 " + Quote(form.Label1.caption));
  form.Button1Click();
}

std::optional<std::string> ScriptedUi::FileDialog(const char* kind, const TFileDialog& d) {
  std::string head = std::string(kind) + Quote(d.title) + " file " + Quote(d.fileName) + " in " + Quote(d.initialDir);
  if (steps_.empty() || steps_.front().kind != StepKind::File) {
    transcript.push_back(head + " -> cancel (unexpected)");
    Unexpected("file dialog " + Quote(d.title) + " without a scripted answer");
    return std::nullopt;
  }
  std::optional<std::string> file = steps_.front().file;
  steps_.pop_front();
  transcript.push_back(head + " -> " + (file ? Quote(*file) : std::string("cancel")));
  return file;
}

std::optional<std::string> ScriptedUi::OpenFileDialog(const TFileDialog& d) { return FileDialog("OPEN: ", d); }
std::optional<std::string> ScriptedUi::SaveFileDialog(const TFileDialog& d) { return FileDialog("SAVE: ", d); }

void ScriptedUi::ChooseFiles(const std::vector<std::string>& paths) {
  std::string joined;
  for (const std::string& p : paths) joined += (joined.empty() ? "" : "\n") + p;
  steps_.push_back({StepKind::File, joined, false, joined, {}});
}

std::optional<std::vector<std::string>> ScriptedUi::OpenFilesDialog(const TFileDialog& d) {
  const std::optional<std::string> joined = FileDialog("OPEN FILES: ", d);
  if (!joined) return std::nullopt;
  std::vector<std::string> files;
  size_t from = 0;
  for (size_t at = joined->find('\n'); ; at = joined->find('\n', from)) {
    files.push_back(joined->substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) break;
    from = at + 1;
  }
  return files;
}

void ScriptedUi::Clipboard(const std::string& text) {
  clipboard.push_back(text);
  transcript.push_back("CLIPBOARD: " + text);
}

// ---- looking back ----

std::vector<std::string> ScriptedUi::Messages() const {
  std::vector<std::string> out;
  for (const auto& t : transcript)
    if (t.rfind("MSG: ", 0) == 0) out.push_back(t.substr(5));
  return out;
}

const TForm2& ScriptedUi::LastDialog() const {
  static const TForm2 none;
  return dialogs.empty() ? none : dialogs.back();
}

size_t ScriptedUi::PendingAnswers() const {
  size_t n = 0;
  for (const auto& s : steps_) n += s.kind == StepKind::Question;
  return n;
}

std::vector<std::string> ScriptedUi::Remaining() const {
  std::vector<std::string> out;
  for (const auto& s : steps_) {
    switch (s.kind) {
      case StepKind::Dialog: out.push_back("dialog " + Quote(s.text)); break;
      case StepKind::Message: out.push_back("message " + Quote(s.text)); break;
      case StepKind::Question: out.push_back("question " + Quote(s.text)); break;
      case StepKind::File: out.push_back("file dialog -> " + s.text); break;
    }
  }
  for (const auto& [k, actions] : yieldActions_) out.push_back("action at yield " + std::to_string(k));
  return out;
}

void ScriptedUi::Clear() {
  transcript.clear();
  unexpected.clear();
  dialogs.clear();
  infoWindows.clear();
  clipboard.clear();
  steps_.clear();
  events_.clear();
  yieldActions_.clear();
  exhausted_ = false;
  timerArmed_ = false;
  yieldsFired_ = 0;
}
