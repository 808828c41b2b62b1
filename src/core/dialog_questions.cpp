// The questions the toolkit asks itself: file names, the number of phases, the columns of ASCII
// spectrum lines, the editing of a text file; the information window, output lines and the stop
// window.
#include <cmath>
#include <filesystem>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"

namespace {
bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

std::string FilePart(const std::string& name) { return std::filesystem::path(name).filename().string(); }
std::string FolderPart(const std::string& name) { return std::filesystem::path(name).parent_path().string(); }
}  // namespace

void AskFileName(std::string& name, int32_t mode) {
  if (mode >= 1) {
    BeginDialog(0);
    if (DialogEditLabel1.empty() || DialogEditLabel1 == " ") DialogEditLabel1 = "Enter filename";
    PlaceLabel(Form2.Label1, 5, 30, DialogEditLabel1, WhiteColor, TextBackgroundColor);
    PlaceEdit(Form2.Edit1, 30, 50, name, 260);
    ShowDialogModal();
    if (DialogOk != 1) return;
    name = Form2.Edit1.text;
    if (mode == 2) return;
    DeleteSpaces(name);
    std::string base;
    BaseFileName(name, base);
    if (base.empty()) {
      ShowMsg("Wrong filename");
      DialogOk = 0;
    } else if (!ConfirmOverwrite(name)) {
      DialogOk = 0;
    }
    return;
  }
  TFileDialog& d = Form2.OpenDialog1;
  d.title = DialogCaption;
  d.fileName = FilePart(name);
  d.initialDir = FolderPart(name);
  d.filter = FileNameFilter;
  d.defaultExt.clear();
  DialogOk = 1;
  std::optional<std::string> chosen = Ui().OpenFileDialog(d);
  if (!chosen) {
    DialogOk = 0;
    name = FilePart(name);
    return;
  }
  // The name is taken as chosen (folders may hold blanks); without its blanks only when that
  // is the name of an existing file and the chosen one is not.
  std::string file = *chosen;
  if (!FileExists(file)) {
    std::string compact = file;
    DeleteSpaces(compact);
    if (!FileExists(compact)) {
      ShowMsg("No file " + file);
      DialogOk = 0;
      return;
    }
    file = compact;
  }
  name = file;
}

void RunSaveDialog(TFileDialog& dialog, std::string& name, uint8_t& ok) {
  DialogOk = 1;
  ok = 1;
  dialog.title = DialogCaption;
  dialog.fileName = name;
  std::optional<std::string> chosen = Ui().SaveFileDialog(dialog);
  if (!chosen) {
    DialogOk = 0;
    ok = 0;
    return;
  }
  name = *chosen;
  if (FileExists(name)) ok = ConfirmOverwrite(name) ? 1 : 0;
}

void RunOpenDialog(TFileDialog& dialog, std::string& name, const std::string& defaultExt,
                   const std::string& filter, const std::string& initialDir) {
  DialogOk = 1;
  dialog.fileName = FileExists(name) ? name : std::string();
  dialog.defaultExt = defaultExt;
  dialog.filter = filter;
  dialog.initialDir = initialDir;
  std::optional<std::string> chosen = Ui().OpenFileDialog(dialog);
  if (!chosen) {
    DialogOk = 0;  // a cancelled choice cancels the operation
    return;
  }
  name = *chosen;
  if (FileExists(name)) return;
  std::string part = FilePart(name);
  UpperCaseCyr(part);
  if (part == "DUMMY") return;
  ShowMsg("No file " + name);
  DialogOk = 0;
}

void AskNumberOfPhases() {
  DialogCaption = "   Set the number of crystal phases";
  BeginDialog(0);
  DialogOptions = PhaseChoice;
  DialogOptions.count = 6;
  DialogOptions.defaultItem = PhaseCount;
  ShowRadioGroup(1, 0, 20, 200, 270, 20);
  ShowDialogModal();
  if (DialogOk != 1) return;
  int32_t k = Form2.RadioGroup1.itemIndex + 1;
  if (k < 1 || k > MaxPhases) return;
  PhaseCount = k;
  SetParametersPending(7, 1);  // Rietveld, powder indexing, powder match
  BinDefaultsSet = 0;
  if (PhaseCount == 1) PhaseModelFlags[1] = 0;
}

void AskAsciiColumns() {
  DialogCaption = " Enter indicators to ASCII spectrum line items ";
  PrepareDialog(620, 0, 430);
  SetHelpLines(AsciiColumnsHelp);
  ShowMemo(5, 590);
  Form2.Memo1.lines = {std::to_string(AsciiColumnX) + " " + std::to_string(AsciiColumnY) + " " +
                       std::to_string(AsciiColumnE)};
  ShowDialogModal();
  // Cancel keeps the indicators. They index the numbers of a line, so each must lie in
  // 1..NumberBufferSize; a missing one keeps its value, a wrong one cancels the change.
  if (DialogOk != 1 || Form2.Memo1.lines.empty()) return;
  int32_t n = 0;
  ParseNumbers(n, std::string_view(Form2.Memo1.lines[0]).substr(0, 75));
  int32_t* target[3] = {&AsciiColumnX, &AsciiColumnY, &AsciiColumnE};
  int32_t value[3] = {AsciiColumnX, AsciiColumnY, AsciiColumnE};
  for (int32_t k = 0; k < std::min(n, 3); ++k) {
    double v = std::nearbyint(NumberBuffer[k + 1]);
    if (!(v >= 1 && v <= NumberBufferSize)) {
      DialogOk = 0;
      return;
    }
    value[k] = static_cast<int32_t>(v);
  }
  for (int32_t k = 0; k < 3; ++k) *target[k] = value[k];
}

void EditTextFile(const std::string& name) {
  DialogCaption = "Edit the file " + name + " if needed";
  PrepareDialog(620, 0, 430);
  SetHelpLines(EditFileHelp);
  ShowMemo(0, 610);
  TextFile f;
  f.Reset(name);
  while (!f.Eof()) Form2.Memo1.lines.push_back(f.ReadLine());
  f.Close();
  ShowDialogModal();
  if (DialogOk != 1) return;
  if (!Ui().AskYesNo("Save the file?", MsgKind::Warning)) return;
  f.Rewrite(name);
  for (const auto& line : Form2.Memo1.lines) f.WriteLine(line);
  f.Close();
}

void ShowInfoWindow() {
  PrepareInfoWindow(5, 450, 400, 2);
  ShowInfoModal();
}

void OutputLine(const std::string& text, int32_t mode) {
  if (mode == 2) Form2.Memo1.lines.push_back(text);
  else LogLine(text);
}

void ShowStopWindow() {
  ResetDialogForm(350, 150);
  Form2.top = 0;
  if (StopButtonOption != 0) PlaceButton(Form2.Button5, 90, 90, "STOP", 20, 70);
}
