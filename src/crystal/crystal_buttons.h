// The crystallographic buttons of the dialog window (Button10 .. Button16): the space group of the
// phase being edited, a group found by its symbol, one plane of the Fourier map to the result
// file, the whole space-group table, the cells and reflections of all phases, the window's
// picture as a BMP file and the table of crystal systems.
#pragma once

// Puts the seven handlers into ExtraButtonHandlers[10..16]; the program start calls it.
void InstallCrystalButtons();

// "Show Space Gr.": the group whose number and setting stand in the grid's first two cells,
// expanded for the phase open in the phase editor (phase 1 when none) into a scratch copy, in
// the information window. The phase itself is not changed.
void Button10Click();
// "Find Space Group": the symbol in the grid's first cell is replaced by the group's number.
void Button11Click();
// "save fourier": the XY plane of FourierMap at the current slice to the result file.
void Button12Click();
// Every entry of the space-group table, one line each.
void Button13Click();
// The unit cell and the reflection list of every phase.
void Button14Click();
// The picture of the dialog window's Image1 as <current folder>/<spectrum file name>.bmp.
void Button15Click();
// The seven crystal systems with their centrings and group numbers.
void Button16Click();
