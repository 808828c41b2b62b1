// The start dialog: the program's banner, the analysis modes, the choice to erase old summary
// files and a small demonstration of what the program draws (a fitted spectrum fragment and a
// hexagonal cell), drawn on the dialog window's first image at screen scale 1.0.
#pragma once
#include <cstdint>

// The caption of the start dialog and of the main window.
inline constexpr const char* kStartBanner =
    "vkest 2026: Rietveld analysis, powder indexing and peak fitting of powder diffraction spectra";
// The product's full name on the demonstration graph.
inline constexpr const char* kProductName = " vkest: workbench for powder diffraction ";

// The caption of the check box that asks to erase "quorin1.res" .. "quorin30.res".
inline constexpr const char* kEraseQuorinCaption = "Erase quorin files ";

// 1 when the start dialog was left with OK (also before it ever ran); 0 after Cancel, which
// erases nothing and ends the program after the session files are made and closed.
extern uint8_t StartDialogAccepted;

// The value at x of a demonstration peak with centre c, end of the right flank e, height h,
// depth of the negative tail t and widths wl, wr, wt; 0 outside 1..300.
double PeakShapeValue(double x, double c, double e, double h, double t, double wl, double wr,
                      double wt);

// Draws the start picture on Form2.Image1 (780 x 580 pixels) and lays out the window's controls.
void DrawStartDialog();
// Shows the start dialog modally; true after OK. Leaves the window grey.
bool ShowStartDialog();
