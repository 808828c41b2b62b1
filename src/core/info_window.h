// The information window (Form3): one page of help or of result lines with an "OK" button, and
// the help pages themselves. A help topic holds its lines in English and in Russian (code page
// 866); RusHelp chooses the language, and Russian lines are converted to code page 1251 when
// they are loaded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/dialog_model.h"
#include "core/help_texts.h"

class TForm3 : public TWindowState {
public:
  TMemo Memo1;
  TLabel Label1;
  TButton Button1;
  TListBox ListBox1;

  TForm3();
  void Button1Click();  // closes the window
};
extern TForm3 Form3;

// A help topic: count N > 0 with N English lines followed by the same N lines in Russian, or
// N < 0 with |N| lines of one language, shown as they are.
struct THelpTopic {
  int32_t count;
  std::vector<std::string> lines;
};

constexpr int32_t HelpLineCapacity = 100;
extern std::string HelpLines[HelpLineCapacity + 1];  // [1..100]
extern int32_t HelpLineCount;

extern const THelpTopic EmptyHelpTopic;  // count -1, the line " ": Help shows a blank page

// The topic of number n (1..HelpTopicCount); any other number gives the blank page.
const THelpTopic& HelpTopic(int32_t n);

// Loads a topic into HelpLines: the English lines, or with RusHelp the Russian ones converted
// to code page 1251; a one-language topic as it is. At most 100 lines are kept.
void SetHelpLines(const THelpTopic& topic);
// Code page 866 to code page 1251, in place: 128..175 -> 192..239, 224..239 -> 240..255.
void Cp866ToAnsi(std::string& s);
// Lays out Form3: kind 1 an empty memo, kind 2 the information lines in a list.
void PrepareInfoWindow(int32_t x, int32_t width, int32_t height, int32_t kind);
// Shows the loaded help page modally; more = 1 adds " To be continued ".
void ShowHelpText(int32_t more);
