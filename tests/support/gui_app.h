// Drawing text needs a QGuiApplication; tests that draw text call RequireGuiApplication first.
// It is created once, on the offscreen platform, and lives until the program ends.
#pragma once

void RequireGuiApplication();
