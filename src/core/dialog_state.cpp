#include "core/dialog_state.h"
#include "core/abandon.h"

int32_t DialogOk = 1;
std::string DialogCaption;
std::string DialogHint;
std::string StatusMessage;

LREC DialogOptions;
const LREC PhaseChoice = {{"", " 1", " 2", " 3", " 4", " 5", " 6"}, 6, 1};
const std::array<const char*, 3> OptionPrompts = {" Error, wrong numbers ", " Select the Option ",
                                                  " Click on the Option "};

std::string DialogEditLabel1, DialogEditLabel2, DialogEditLabel3, DialogEditLabel4;
std::string DialogEditText1, DialogEditText2, DialogEditText3, DialogEditText4;

std::string& DialogEditLabel(int32_t i) {
  switch (i) {
    case 1: return DialogEditLabel1;
    case 2: return DialogEditLabel2;
    case 3: return DialogEditLabel3;
    case 4: return DialogEditLabel4;
  }
  AbandonOperation("Error, no edit field " + std::to_string(i));
}

std::string& DialogEditText(int32_t i) {
  switch (i) {
    case 1: return DialogEditText1;
    case 2: return DialogEditText2;
    case 3: return DialogEditText3;
    case 4: return DialogEditText4;
  }
  AbandonOperation("Error, no edit field " + std::to_string(i));
}

std::string DialogFieldLabels[DialogFieldRows + 1];
double DialogFieldValues[DialogFieldRows + 1][DialogFieldColumns + 1];
int32_t DialogColumnWidths[DialogFieldColumns + 1];
double DialogNumbers[DialogNumberCount + 1];

LBREC InfoLines;

void AddInfoLine(const std::string& line) {
  if (InfoLines.count >= InfoLineCapacity) return;
  InfoLines.lines[++InfoLines.count] = line;
}

uint8_t ListSavedFlag = 0;
uint8_t BrowseRequest = 0;
uint8_t ColourSampleSwitch = 0;
int32_t Form2ClickMode = 0;
double DialogGraphWidth = 0;

void SetDialogOptions(std::initializer_list<const char*> captions, int32_t defaultItem) {
  DialogOptions = LREC{};
  for (const char* c : captions) {
    if (DialogOptions.count == OptionCapacity) break;
    DialogOptions.captions[static_cast<size_t>(++DialogOptions.count)] = c;
  }
  DialogOptions.defaultItem = defaultItem;
}
