// The GPH profile file: one row per channel of the working interval with the counts, the fit and
// the weighted difference scaled to 1000, the d-spacing, a reflection indicator, the background
// and the background plus each phase's (or peak's) contribution. Written from the fit and read
// back to be drawn without the model.
#pragma once
#include <cstdint>
#include <string>

class TImageCanvas;

// mode 0: writes fileName; mode 1: asks for a file and draws it into image; others: nothing.
void GphFile(TImageCanvas& image, int32_t mode, const std::string& fileName = "");
