// A drawing surface in memory with the semantics of the window system the program was made for:
// colours are 24-bit values with blue in the high byte ($0000FF is red) going in and coming out,
// no antialiasing (a pixel read back is exactly the colour drawn), lines exclude their end pixel,
// rectangles exclude their right and bottom edge. Images of the dialog window and of the main
// window, and the off-screen graph, are canvases.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class QImage;

enum class TPenStyle { Solid, Dot, Clear };
enum class TBrushStyle { Solid, Clear, Horizontal, Vertical, FDiagonal, BDiagonal, Cross, DiagCross };

struct TPen {
  int32_t color = 0x000000;
  TPenStyle style = TPenStyle::Solid;
  int32_t width = 1;
};

struct TBrush {
  int32_t color = 0xFFFFFF;
  TBrushStyle style = TBrushStyle::Solid;
};

struct TFont {
  int32_t color = 0x000000;
  int32_t size = 10;  // points; 96 pixels per inch
  bool bold = false;
  bool fixedPitch = false;
};

class TImageCanvas {
public:
  TImageCanvas();
  TImageCanvas(int32_t width, int32_t height);
  TImageCanvas(const TImageCanvas& other);
  TImageCanvas& operator=(const TImageCanvas& other);
  ~TImageCanvas();

  TPen Pen;
  TBrush Brush;
  TFont Font;

  int32_t Width() const;
  int32_t Height() const;
  // New size; the old picture stays in the top-left corner, new area is white.
  void Resize(int32_t width, int32_t height);

  // Pen position and lines from it; the end pixel is not drawn.
  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  int32_t PenX() const { return penX_; }
  int32_t PenY() const { return penY_; }

  // Outside the picture GetPixel gives -1 and SetPixel does nothing.
  int32_t GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, int32_t color);

  // Rectangles from (left, top) up to but excluding (right, bottom).
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom);   // the brush
  void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom);  // one pixel, brush colour
  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);  // pen outline, brush inside
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);    // the same for an ellipse

  // Text with its top-left corner at (x, y) in the font; the text's cell is first filled with the
  // brush colour unless the brush is clear. Text needs a QGuiApplication; without one nothing is
  // drawn and the text metrics are estimates.
  void TextOut(int32_t x, int32_t y, const std::string& text);
  int32_t TextWidth(const std::string& text) const;
  int32_t TextHeight(const std::string& text) const;

  // Copies the whole of source with its top-left corner at (x, y).
  void Draw(int32_t x, int32_t y, const TImageCanvas& source);

  // Writes the picture as a 24-bit BMP file; a failure abandons the operation.
  void SaveBmp(const std::string& path) const;

  // The picture itself, for the window system.
  QImage& Image() { return *image_; }
  const QImage& Image() const { return *image_; }

private:
  void Plot(int32_t x, int32_t y, int32_t color);
  std::unique_ptr<QImage> image_;
  int32_t penX_ = 0, penY_ = 0;
  int32_t dotPhase_ = 0;  // position in the dot pattern, carried from line to line
};

// Colour conversion between the program's colours (blue high) and the window system's (red high).
uint32_t ColorToRgb(int32_t color);
int32_t RgbToColor(uint32_t rgb);
