#include "mainwin/help_commands.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "crystal/fit_windows.h"
#include "mainwin/main_window.h"

namespace {
void ShowTopic(const THelpTopic& topic, int32_t more) {
  SetHelpLines(topic);
  ShowHelpText(more);
}
}  // namespace

void ShowTextPage(const std::vector<std::string>& lines, int32_t more) {
  // A one-language topic: the count negative.
  ShowTopic(THelpTopic{-static_cast<int32_t>(lines.size()), lines}, more);
}

void TForm1::General1Click() {
  ShowTopic(SpectrumModelHelp, 1);
  ShowTopic(ProgramModesHelp, 0);
}

void TForm1::GettingStarted1Click() { ShowTopic(GettingStartedHelp, 0); }
void TForm1::MenuComments1Click() { ShowTopic(MenuCommentsHelp, 0); }
void TForm1::OperationswithGraphs1Click() { ShowTopic(GraphOperationsHelp, 0); }

void TForm1::Examples1Click() {
  ShowTextPage(IniExampleRietveld, 1);
  ShowTextPage(IniExampleCelix, 0);
}

void TForm1::CommentstoINIcommands1Click() { ShowIniComments(); }
