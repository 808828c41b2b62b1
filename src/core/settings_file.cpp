#include "core/settings_file.h"

std::string IniFileName;
double ScreenScale = 1.0;
int32_t FontSize = 10;
uint8_t RusHelp = 1;
int32_t BackgroundColor = 0;
int32_t TextBackgroundColor = 128;
int32_t FitDataColor = 0xFFFF00;
int32_t ExpDataColor = 0xFF00FF;
int32_t FormColor = 0x8000;
int32_t Form1BackColor = 128;

const std::array<NamedColor, 13> ColorTable = {{
    {"Black", 0x000000}, {"Maroon", 0x000080}, {"Green", 0x008000}, {"Navy", 0x800000},
    {"Teal", 0x808000},  {"Gray", 0x808080},   {"Red", 0x0000FF},   {"Lime", 0x00FF00},
    {"Yellow", 0x00FFFF}, {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF},
}};
