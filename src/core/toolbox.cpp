#include "core/toolbox.h"

std::string InputLine;
double NumberBuffer[NumberBufferSize + 1];
uint8_t ClickFlag = 0;
