#include "core/ui_backend.h"
#include <cstdio>
#include "core/dialog_model.h"

void UiBackend::ShowModal(TForm2& form) { form.Button2Click(); }

namespace {
// Until a window system is installed: messages go to stderr, every question is answered No,
// and a wait ends at once.
class StderrUi : public UiBackend {
public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool AskYesNo(const std::string& text, MsgKind) override {
    std::fprintf(stderr, "%s [No]\n", text.c_str());
    return false;
  }
  void ProcessEvents() override {}
  bool Quitting() const override { return true; }
};

StderrUi g_defaultUi;
UiBackend* g_ui = &g_defaultUi;
}  // namespace

UiBackend& Ui() { return *g_ui; }
void SetUi(UiBackend* ui) { g_ui = ui ? ui : &g_defaultUi; }

ScopedUi::ScopedUi(UiBackend& ui) : previous_(&Ui()) { SetUi(&ui); }
ScopedUi::~ScopedUi() { SetUi(previous_); }
