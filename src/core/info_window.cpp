#include "core/info_window.h"
#include <algorithm>
#include <cstdlib>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/settings_file.h"
#include "core/ui_backend.h"

TForm3 Form3;
std::string HelpLines[HelpLineCapacity + 1];
int32_t HelpLineCount = 0;

const THelpTopic EmptyHelpTopic = {-1, {" "}};

const THelpTopic& HelpTopic(int32_t n) {
  return n >= 1 && n <= HelpTopicCount ? *HelpTopics[n] : EmptyHelpTopic;
}

TForm3::TForm3() {
  caption = "Information";
  color = GreenColor;
  Button1.caption = "OK";
}

void TForm3::Button1Click() { Close(); }

void Cp866ToAnsi(std::string& s) {
  for (char& ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 128 && c <= 175) ch = static_cast<char>(c + 64);
    else if (c >= 224 && c <= 239) ch = static_cast<char>(c + 16);
  }
}

void SetHelpLines(const THelpTopic& topic) {
  const int64_t n = std::min<int64_t>(std::llabs(static_cast<int64_t>(topic.count)), HelpLineCapacity);
  const int64_t available = static_cast<int64_t>(topic.lines.size());
  const bool russian = topic.count > 0 && RusHelp != 0;
  HelpLineCount = 0;
  for (int32_t i = 1; i <= n; ++i) {
    // The Russian half follows the count's English lines.
    int64_t k = russian ? static_cast<int64_t>(topic.count) + i - 1 : i - 1;
    std::string line = k < available ? topic.lines[static_cast<size_t>(k)] : std::string();
    if (russian) Cp866ToAnsi(line);
    HelpLines[i] = line;
    HelpLineCount = i;
  }
}

void PrepareInfoWindow(int32_t x, int32_t width, int32_t height, int32_t kind) {
  if (Form3.visible) Ui().HideWindow(Form3);
  Form3.visible = false;
  Form3.caption = "Information";
  Form3.left = Scaled(x);
  Form3.top = 0;
  Form3.width = Scaled(640);
  Form3.height = Scaled(height);
  Form3.color = GreenColor;
  Form3.font.size = FontSize;
  Form3.Memo1.visible = false;
  Form3.ListBox1.visible = false;
  if (kind == 1) {
    PlaceMemo(Form3.Memo1, x, width - 20);
  } else if (kind == 2) {
    PlaceListBox(Form3.ListBox1, x, 0, 340, 500);
    LoadInfoLines(Form3.ListBox1);
  }
  // Below the text box (2 to 362) and the list (0 to 340), above " To be continued " at 393.
  PlaceButton(Form3.Button1, 190, 367, "OK", 20, 70);
}

void ShowHelpText(int32_t more) {
  PrepareInfoWindow(0, 630, 450, 1);
  for (int32_t i = 1; i <= HelpLineCount; ++i) Form3.Memo1.lines.push_back(HelpLines[i]);
  Form3.Button1.isDefault = true;
  if (more == 1)
    PlaceLabel(Form3.Label1, 330, 393, " To be continued ", WhiteColor, TextBackgroundColor);
  else
    Form3.Label1.visible = false;
  ShowInfoModal();
  for (int32_t i = 1; i <= 3; ++i) Form2.Button(i).enabled = true;
}
