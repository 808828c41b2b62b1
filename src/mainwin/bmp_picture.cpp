#include "mainwin/bmp_picture.h"
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/small_routines.h"
#include "core/ui_backend.h"
#include "mainwin/main_window.h"

namespace {
// The small window of the reversal with its progress in the caption; closed on every way out.
struct ProgressWindow {
  ProgressWindow() {
    ResetDialogForm(200, 100);
    Form2.left = Scaled(250);
    Form2.top = Scaled(250);
    Form2.caption = "0%";
    ShowDialogModeless();
  }
  ~ProgressWindow() {
    Form2.Close();
    Ui().HideWindow(Form2);
  }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
};

void ShowProgress(int32_t percent) { Form2.caption = std::to_string(percent) + "%"; }
}  // namespace

int32_t ReversedColor(int32_t color) {
  switch (color) {
    case YellowColor:
    case AquaColor:
    case FuchsiaColor:
    case RedColor:
    case LimeColor:
    case WhiteColor:
    case BlueColor: return BlackColor;
    default: return WhiteColor;
  }
}

void ReverseGraphColors(TImageCanvas& picture, void (*progress)(int32_t percent)) {
  const int32_t width = picture.Width(), height = picture.Height();
  for (int32_t x = 0; x < width; ++x) {
    for (int32_t y = 0; y < height; ++y) picture.SetPixel(x, y, ReversedColor(picture.GetPixel(x, y)));
    if (progress && x % 5 == 0) progress(100 * x / width);
  }
  if (progress) progress(100);
}

void SaveGraphPicture() {
  DialogCaption = " Picture of the graph";
  BeginDialog(0);
  SetHelpLines(BmpPictureHelp);
  DialogEditLabel1 = "Enter BMP-Filename";
  DialogEditText1 = WorkDir + "/m.bmp";
  ShowEditFields(10, 150, 40, 1, 250);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const std::string name = Form2.Edit(1).text;
  if (IsBlank(name)) {
    ShowMsg("No BMP-file written: the file name is empty");
    return;
  }
  if (Ui().AskYesNo(ReverseQuestion, MsgKind::Confirmation)) {
    ProgressWindow window;
    ReverseGraphColors(Form1.Image2.canvas, ShowProgress);
    Form1.Changed();
  }
  Form1.Image2.canvas.SaveBmp(name);  // a failure abandons with its message
}
