// The settings that survive from one run to the next in "vkest.fn": the INI file name, screen
// scale, font size, help language and six colours. Colours are 24-bit values with blue in the
// high byte and red in the low byte ($0000FF is red).
#pragma once
#include <array>
#include <cstdint>
#include <string>

extern std::string IniFileName;
extern double ScreenScale;          // factor of every control position and size
extern int32_t FontSize;            // points
extern uint8_t RusHelp;             // 1: help texts in Russian
extern int32_t BackgroundColor;     // background of graphs
extern int32_t TextBackgroundColor; // background of dialog labels
extern int32_t FitDataColor;        // fitted curves
extern int32_t ExpDataColor;        // experimental points
extern int32_t FormColor;           // the dialog window
extern int32_t Form1BackColor;      // the main window

struct NamedColor {
  const char* name;
  int32_t value;
};
// The 13 colours offered by the colour dialogs (1-based in the dialogs: entry i is [i - 1]).
extern const std::array<NamedColor, 13> ColorTable;

inline constexpr const char* SettingsFileName = "vkest.fn";

void ReadSettingsFile(const std::string& path);
// The help language alone (RusHelp), for the start dialog shown before the settings are read.
void ReadHelpLanguage(const std::string& path);
void WriteSettingsFile(const std::string& path);
