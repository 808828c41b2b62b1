#include "mainwin/main_window.h"
#include "core/abandon.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/ui_backend.h"
#include "mainwin/main_menu.h"
#include "mainwin/start_dialog.h"

TForm1 Form1;
TForm4 Form4;
int32_t SideButton13Left = 0, SideButton13Top = 0;

namespace {
struct SideButtonText {
  const char* caption;
  const char* hint;
};
constexpr SideButtonText kSideButtons[SideButtonCount + 1] = {
    {"", ""},
    {"OK", ""},
    {"Cancel", ""},
    {"Next Interval", ""},
    {"Previous Int.", ""},
    {"Toggle X", "To convert channels to ds and vice versa"},
    {"---> GPH-file", "Output of GPH-files"},
    {"-> BMP-file", "To save graph as BMP-file"},
    {"Plot phases", "Draw reflection arrows"},
    {"Next Spectr", "Graph the next spectrum (if many)"},
    {"Prev.Spectr", ""},
    {"Zoom", ""},
    {"-> PRF", ""},
    {"", ""},
};

// The status labels of the form resource: bold size-13 text.
void InitStatusLabel(TLabel& l) {
  l.font.size = 13;
  l.font.bold = true;
  l.font.color = AquaColor;
  l.color = MaroonColor;
}

// Sizes an image with the current ScreenScale; its picture takes the full size (the corner
// pixel black, as the window system needs a drawn pixel to give the bitmap its size).
void SizeImage(TImage& image, int32_t left, int32_t top, int32_t width, int32_t height) {
  image.SetBounds(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
  image.canvas.Resize(image.width, image.height);
  image.canvas.SetPixel(image.width - 1, image.height - 1, BlackColor);
}

void FillGrey(TImageCanvas& c, int32_t right, int32_t bottom) {
  c.Brush.color = GrayColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, right, bottom);
}

void CloseWindow(TWindowState& w) {
  if (w.visible) w.Close();
}
}  // namespace

TForm1::TForm1() : MainMenu1(BuildMainMenu()) {
  color = GrayColor;
  for (int32_t i = 1; i <= SideButtonCount; ++i) {
    SideButtons[static_cast<size_t>(i)].caption = kSideButtons[i].caption;
    SideButtons[static_cast<size_t>(i)].hint = kSideButtons[i].hint;
  }
  InitStatusLabel(Label1);
  InitStatusLabel(Label2);
}

TSideButton& TForm1::Button(int32_t i) {
  if (i < 1 || i > SideButtonCount) AbandonOperation("Error, no side button " + std::to_string(i));
  return SideButtons[static_cast<size_t>(i)];
}

const TSideButton& TForm1::Button(int32_t i) const { return const_cast<TForm1*>(this)->Button(i); }

TMenuItem* TForm1::FindItem(const std::string& caption) {
  for (TMenuItem& top : MainMenu1)
    if (top.caption == caption) return &top;
  for (TMenuItem& top : MainMenu1)
    for (TMenuItem& item : top.items)
      if (item.caption == caption) return &item;
  return nullptr;
}

TMenuItem& TForm1::Entry(int32_t top, int32_t item) {
  if (top < 1 || top > static_cast<int32_t>(MainMenu1.size()))
    AbandonOperation("Error, no menu entry " + std::to_string(top));
  TMenuItem& entry = MainMenu1[static_cast<size_t>(top - 1)];
  if (item == 0) return entry;
  if (item < 0 || item > static_cast<int32_t>(entry.items.size()))
    AbandonOperation("Error, no menu item " + std::to_string(top) + "." + std::to_string(item));
  return entry.items[static_cast<size_t>(item - 1)];
}

void LayoutMainWindow(double imageScale, double windowScale) {
  ScreenScale = windowScale;
  Form1.width = Scaled(640);
  Form1.height = Scaled(480);
  Form1.caption = kStartBanner;
  Form1.color = GrayColor;
  Form1.Canvas.Resize(Form1.width, Form1.height);
  FillGrey(Form1.Canvas, Form1.width, Form1.height);
  ScreenScale = imageScale;
  SizeImage(Form1.Image1, 0, 0, 620, 89);
  SizeImage(Form1.Image2, 0, 90, 516, 323);
  SizeImage(Form1.Image3, 516, 90, 104, 323);
  Form1.Changed();
}

void LayoutGraphWindow(double imageScale, double windowScale) {
  ScreenScale = windowScale;
  Form2.left = 0;
  Form2.top = 0;
  Form2.width = Scaled(320);
  Form2.height = Scaled(516);
  ScreenScale = imageScale;
  SizeImage(Form2.Image1, 0, 0, 310, 290);
  SizeImage(Form2.Image2, 0, 80, 516, 300);
  SizeImage(Form2.Image3, 0, 0, 516, 50);
}

void PlaceSideButton(int32_t i) {
  TSideButton& b = Form1.Button(i);
  b.SetBounds(Scaled(525), Scaled(80 + 20 * i), Scaled(87), Scaled(20));
  b.font.size = FontSize;
  b.visible = true;
  b.enabled = i == SideButtonCount ||
              (static_cast<int32_t>(SideButtonMask.size()) >= i && SideButtonMask[static_cast<size_t>(i - 1)] == '1');
  if (i == 8) b.caption = MainMode == 3 ? "Plot peaks" : "Plot phases";
}

void ShowSideButtons() {
  for (int32_t i = 1; i <= SideButtonCount; ++i) PlaceSideButton(i);
  Form1.Changed();
}

namespace {
void ShowStatusLabel(TLabel& label, int32_t top, const std::string& text) {
  label.caption = text;
  label.left = Scaled(21);
  label.top = Scaled(top);
  label.width = label.height = 0;  // the size of its text
  label.font.color = YellowColor;
  label.color = BlueColor;
  label.visible = !text.empty();
}
}  // namespace

void ShowStatus(const std::string& line1, const std::string& line2) {
  ShowStatusLabel(Form1.Label1, 67, line1);
  ShowStatusLabel(Form1.Label2, 82, line2);
  Form1.Changed();
}

void ShowStatusLine1(const std::string& line1) {
  ShowStatusLabel(Form1.Label1, 67, line1);
  Form1.Changed();
}

void HideStatusLabels() {
  Form1.Label1.visible = false;
  Form1.Label2.visible = false;
  Form1.Changed();
}

void ResetMainWindow() {
  if (Form2.visible) {
    Form2.Close();
    Ui().HideWindow(Form2);
  }
  CloseWindow(Form4);  // not presented yet: its model only
  for (int32_t i = 1; i <= SideButtonCount; ++i) Form1.Button(i).visible = false;
  Form1.Image1.visible = Form1.Image2.visible = Form1.Image3.visible = false;
  Form1.Label1.visible = Form1.Label2.visible = false;
  FillGrey(Form1.Canvas, Scaled(620), Scaled(424));
  Form1.Changed();
}

void EnableMainMenus(bool on) {
  static const char* const kSwitched[] = {"&File", "&Settings",  "&Graph", "&Mark",  "&PeakModels", "Transform",
                                          "&Rietveld ", "&Info", "&Celix", "&Fitra", "&Help"};
  for (const char* caption : kSwitched)
    if (TMenuItem* m = Form1.FindItem(caption)) m->enabled = on;
  Form1.Changed();
}
