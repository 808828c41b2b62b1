#include "mainwin/command_dispatch.h"
#include "core/abandon.h"
#include "mainwin/click_modes.h"
#include "mainwin/session.h"

namespace {
// The six keys: letters by their upper-case code (case does not matter), Shift counts.
struct TKeyCommand {
  int32_t key;
  bool shift;
  void (TForm1::*handler)();
  const char* name;
};
constexpr TKeyCommand kKeys[] = {
    {'G', false, &TForm1::theSpectrumInterval1Click, "theSpectrumInterval1Click"},
    {'G', true, &TForm1::theSpectrum1Click, "theSpectrum1Click"},
    {'S', false, &TForm1::SeveralSpectra1Click, "SeveralSpectra1Click"},
    {'I', false, &TForm1::InputInifile1Click, "InputInifile1Click"},
    {'R', false, &TForm1::KeyRCommand, "KeyRCommand"},
    {KeyEscape, false, &TForm1::Exit1Click, "Exit1Click"},
    {KeyEscape, true, &TForm1::Exit1Click, "Exit1Click"},
};

const TKeyCommand* FindKey(int32_t key, bool shift) {
  for (const TKeyCommand& k : kKeys)
    if (k.key == key && k.shift == shift) return &k;
  return nullptr;
}
}  // namespace

void (TForm1::*KeyHandler(int32_t key, bool shift))() {
  const TKeyCommand* k = FindKey(key, shift);
  return k ? k->handler : nullptr;
}

void TForm1::Form1KeyDown(int32_t key, bool shift) {
  const TKeyCommand* k = FindKey(key, shift);
  if (!k) return;
  Dispatched(k->name);
  (this->*k->handler)();
}

void TForm1::SideButtonClick(int32_t i) {
  switch (i) {
    case 1: Button1Click(); break;
    case 2: Button2Click(); break;
    case 3: Button3Click(); break;
    case 4: Button4Click(); break;
    case 5: Button5Click(); break;
    case 6: Button6Click(); break;
    case 7: Button7Click(); break;
    case 8: Button8Click(); break;
    case 9: Button9Click(); break;
    case 10: Button10Click(); break;
    case 11: Button11Click(); break;
    case 12: Button12Click(); break;
    case 13: Button13Click(); break;
    default: AbandonOperation("Error, no side button " + std::to_string(i));
  }
}

bool TForm1::HandleEvent(const TMainEvent& event) {
  bool result = false;
  switch (event.kind) {
    case TMainEventKind::CloseRequest: {
      // Refused while a command runs: ending the session would free what it works on. Once the
      // session has ended (Exit asks the application to quit, which closes the windows from
      // inside that command) there is nothing left to free and the window may close.
      bool canClose = false;
      RunUserCommand(
          [&] {
            Dispatched("FormCloseQuery");
            FormCloseQuery(canClose);
          },
          SessionEnded ? DuringFit::Live : DuringFit::Exclusive);
      result = canClose;
      break;
    }
    case TMainEventKind::MenuItem:
      result = RunUserCommand(
          [&] {
            // A disabled entry, or an item of a disabled menu, does nothing (as in the window system).
            const TMenuItem& top = Entry(event.index);
            const TMenuItem& item = Entry(event.index, event.item);
            if (!top.enabled || !item.enabled || !item.onClick) return;
            Dispatched(item.handler);
            (this->*item.onClick)();
          },
          DuringFit::Exclusive);
      break;
    case TMainEventKind::SideButton: {
      // OK and Cancel end or step the click loop that waits for them.
      const bool waited = event.index == 1 || event.index == 2;
      result = RunUserCommand(
          [&] {
            if (!Button(event.index).enabled) return;
            Dispatched("Button" + std::to_string(event.index) + "Click");
            SideButtonClick(event.index);
          },
          waited ? DuringFit::Refused : DuringFit::Exclusive);
      break;
    }
    case TMainEventKind::Key:
      result = RunUserCommand([&] { Form1KeyDown(event.index, event.shift); }, DuringFit::Exclusive);
      break;
    case TMainEventKind::GraphClick: {
      const TMouseButton button = event.index == 1   ? TMouseButton::Right
                                  : event.index == 2 ? TMouseButton::Middle
                                                     : TMouseButton::Left;
      result = RunUserCommand([&] {
        Dispatched("Image2MouseDown");
        Image2MouseDown(button, event.x, event.y);
      });
      break;
    }
  }
  Changed();
  return result;
}
