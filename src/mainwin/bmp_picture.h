// The picture of the main graph as a BMP file (side button 7), optionally reversed to black on
// white for printing.
#pragma once
#include <cstdint>

class TImageCanvas;

inline constexpr const char* ReverseQuestion = "Reverse the colors?";

// Black for the bright colours the graph draws in (yellow, aqua, magenta, red, lime, white and
// blue), white for every other colour.
int32_t ReversedColor(int32_t color);
// Every pixel of the picture by ReversedColor; progress(percent) after every 5 columns.
void ReverseGraphColors(TImageCanvas& picture, void (*progress)(int32_t percent) = nullptr);
// "Enter BMP-Filename" (m.bmp in WorkDir), the question ReverseQuestion, then the graph image
// (reversed on Yes, in place on the shown graph) written as a 24-bit BMP file. A file that cannot
// be written gives its message; the session goes on.
void SaveGraphPicture();
