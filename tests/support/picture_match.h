// Two pictures compared over a rectangle: the pixels where they differ (0: the same picture) and
// the pixels of a text's colour, so that an empty rectangle does not pass as a match.
#pragma once
#include <cstdint>
#include "core/canvas.h"

struct PictureMatch {
  int32_t differing = 0, ink = 0;
};

// Over columns x0..x1 - 1 and rows y0..y1 - 1.
inline PictureMatch ComparePictures(const TImageCanvas& got, const TImageCanvas& want, int32_t x0, int32_t y0,
                                    int32_t x1, int32_t y1, int32_t inkColour) {
  PictureMatch m;
  for (int32_t y = y0; y < y1; ++y)
    for (int32_t x = x0; x < x1; ++x) {
      m.ink += got.GetPixel(x, y) == inkColour;
      m.differing += got.GetPixel(x, y) != want.GetPixel(x, y);
    }
  return m;
}
