#include "mainwin/command_dispatch.h"
#include "core/abandon.h"

void (TForm1::*KeyHandler(int32_t key, bool shift))() {
  // Letters arrive as their upper-case codes, so case does not matter; Shift does.
  switch (key) {
    case 'G': return shift ? &TForm1::theSpectrum1Click : &TForm1::theSpectrumInterval1Click;
    case 'S': return shift ? nullptr : &TForm1::SeveralSpectra1Click;
    case 'I': return shift ? nullptr : &TForm1::InputInifile1Click;
    case 'R': return shift ? nullptr : &TForm1::KeyRCommand;
    case KeyEscape: return &TForm1::Exit1Click;
    default: return nullptr;
  }
}

void TForm1::Form1KeyDown(int32_t key, bool shift) {
  if (auto handler = KeyHandler(key, shift)) (this->*handler)();
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
      bool canClose = false;
      RunUserCommand([&] { FormCloseQuery(canClose); });
      result = canClose;
      break;
    }
    case TMainEventKind::MenuItem:
      result = RunUserCommand([&] {
        // A disabled entry, or an item of a disabled menu, does nothing (as in the window system).
        const TMenuItem& top = Entry(event.index);
        const TMenuItem& item = Entry(event.index, event.item);
        if (top.enabled && item.enabled && item.onClick) (this->*item.onClick)();
      });
      break;
    case TMainEventKind::SideButton:
      result = RunUserCommand([&] {
        if (Button(event.index).enabled) SideButtonClick(event.index);
      });
      break;
    case TMainEventKind::Key:
      result = RunUserCommand([&] { Form1KeyDown(event.index, event.shift); });
      break;
  }
  Changed();
  return result;
}
