// The one way in of every user command on the main window: TForm1::HandleEvent (declared with
// the window in mainwin/main_window.h) runs menu items, side buttons, keys and the close request
// inside RunUserCommand. What a key means is decided here.
#pragma once
#include "mainwin/main_window.h"

// The handler a key runs: the same as its menu item; nullptr for a key without a command.
void (TForm1::*KeyHandler(int32_t key, bool shift))();
