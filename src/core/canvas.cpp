#include "core/canvas.h"
#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include "core/display_text.h"
#include "core/text_file.h"

uint32_t ColorToRgb(int32_t color) {
  uint32_t c = static_cast<uint32_t>(color) & 0xFFFFFFu;
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

int32_t RgbToColor(uint32_t rgb) {
  return static_cast<int32_t>(((rgb >> 16) & 0xFFu) | (rgb & 0xFF00u) | ((rgb & 0xFFu) << 16));
}

namespace {
QColor ToQColor(int32_t color) { return QColor::fromRgb(ColorToRgb(color) | 0xFF000000u); }

Qt::BrushStyle ToQtBrush(TBrushStyle s) {
  switch (s) {
    case TBrushStyle::Solid: return Qt::SolidPattern;
    case TBrushStyle::Clear: return Qt::NoBrush;
    case TBrushStyle::Horizontal: return Qt::HorPattern;
    case TBrushStyle::Vertical: return Qt::VerPattern;
    case TBrushStyle::FDiagonal: return Qt::FDiagPattern;
    case TBrushStyle::BDiagonal: return Qt::BDiagPattern;
    case TBrushStyle::Cross: return Qt::CrossPattern;
    case TBrushStyle::DiagCross: return Qt::DiagCrossPattern;
  }
  return Qt::SolidPattern;
}

QFont ToQFont(const TFont& f) {
  QFont font(f.fixedPitch ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
  font.setStyleHint(f.fixedPitch ? QFont::TypeWriter : QFont::SansSerif, QFont::NoAntialias);
  font.setFixedPitch(f.fixedPitch);
  font.setPixelSize(std::max(1, static_cast<int>(std::nearbyint(f.size * 96.0 / 72.0))));
  font.setBold(f.bold);
  return font;
}

QPen ToQPen(const TPen& p) {
  QPen pen(ToQColor(p.color));
  pen.setWidth(p.width);
  pen.setStyle(p.style == TPenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
  return pen;
}

bool HaveGui() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

void PrepareNoAntialias(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, false);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
}
}  // namespace

TImageCanvas::TImageCanvas() : image_(std::make_unique<QImage>()) {}

TImageCanvas::TImageCanvas(int32_t width, int32_t height) : image_(std::make_unique<QImage>()) {
  Resize(width, height);
}

TImageCanvas::TImageCanvas(const TImageCanvas& other)
    : Pen(other.Pen), Brush(other.Brush), Font(other.Font),
      image_(std::make_unique<QImage>(*other.image_)), penX_(other.penX_), penY_(other.penY_),
      dotPhase_(other.dotPhase_) {}

TImageCanvas& TImageCanvas::operator=(const TImageCanvas& other) {
  if (this != &other) {
    Pen = other.Pen;
    Brush = other.Brush;
    Font = other.Font;
    *image_ = *other.image_;
    penX_ = other.penX_;
    penY_ = other.penY_;
    dotPhase_ = other.dotPhase_;
  }
  return *this;
}

TImageCanvas::~TImageCanvas() = default;

int32_t TImageCanvas::Width() const { return image_->width(); }
int32_t TImageCanvas::Height() const { return image_->height(); }

void TImageCanvas::Resize(int32_t width, int32_t height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == Width() && height == Height()) return;
  QImage next(width, height, QImage::Format_RGB32);
  next.fill(0xFFFFFFFFu);
  int32_t w = std::min(width, Width()), h = std::min(height, Height());
  for (int32_t y = 0; y < h; ++y)
    std::copy_n(reinterpret_cast<const QRgb*>(image_->constScanLine(y)), w,
                reinterpret_cast<QRgb*>(next.scanLine(y)));
  *image_ = std::move(next);
}

void TImageCanvas::Plot(int32_t x, int32_t y, int32_t color) {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
  reinterpret_cast<QRgb*>(image_->scanLine(y))[x] = 0xFF000000u | ColorToRgb(color);
}

int32_t TImageCanvas::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return -1;
  return RgbToColor(reinterpret_cast<const QRgb*>(image_->constScanLine(y))[x] & 0xFFFFFFu);
}

void TImageCanvas::SetPixel(int32_t x, int32_t y, int32_t color) { Plot(x, y, color); }

void TImageCanvas::MoveTo(int32_t x, int32_t y) {
  penX_ = x;
  penY_ = y;
}

void TImageCanvas::LineTo(int32_t x, int32_t y) {
  int32_t x0 = penX_, y0 = penY_;
  penX_ = x;
  penY_ = y;
  if (Pen.style == TPenStyle::Clear) return;
  if (Pen.width > 1) {
    QPainter p(image_.get());
    PrepareNoAntialias(p);
    p.setPen(ToQPen(Pen));
    p.drawLine(x0, y0, x, y);
    return;
  }
  // Bresenham from (x0, y0) towards (x, y); the end point itself is left out.
  int32_t dx = std::abs(x - x0), dy = -std::abs(y - y0);
  int32_t sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  int32_t err = dx + dy;
  while (x0 != x || y0 != y) {
    bool on = Pen.style == TPenStyle::Solid || (dotPhase_++ % 2) == 0;
    if (on) Plot(x0, y0, Pen.color);
    int32_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void TImageCanvas::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (Brush.style == TBrushStyle::Clear || right <= left || bottom <= top) return;
  if (Brush.style == TBrushStyle::Solid) {
    int32_t l = std::max(0, left), t = std::max(0, top);
    int32_t r = std::min(Width(), right), b = std::min(Height(), bottom);
    QRgb v = 0xFF000000u | ColorToRgb(Brush.color);
    for (int32_t y = t; y < b; ++y) {
      QRgb* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
      for (int32_t x = l; x < r; ++x) row[x] = v;
    }
    return;
  }
  QPainter p(image_.get());
  PrepareNoAntialias(p);
  p.fillRect(QRect(left, top, right - left, bottom - top), QBrush(ToQColor(Brush.color), ToQtBrush(Brush.style)));
}

void TImageCanvas::FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (Brush.style == TBrushStyle::Clear || right <= left || bottom <= top) return;
  for (int32_t x = left; x < right; ++x) {
    Plot(x, top, Brush.color);
    Plot(x, bottom - 1, Brush.color);
  }
  for (int32_t y = top; y < bottom; ++y) {
    Plot(left, y, Brush.color);
    Plot(right - 1, y, Brush.color);
  }
}

void TImageCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (right <= left || bottom <= top) return;
  if (Pen.style == TPenStyle::Clear) {
    // Without an outline the filled area is one pixel smaller on the right and at the bottom.
    FillRect(left, top, right - 1, bottom - 1);
    return;
  }
  FillRect(left + 1, top + 1, right - 1, bottom - 1);
  int32_t sx = penX_, sy = penY_;
  MoveTo(left, top);
  LineTo(right - 1, top);
  LineTo(right - 1, bottom - 1);
  LineTo(left, bottom - 1);
  LineTo(left, top);
  MoveTo(sx, sy);
}

void TImageCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (right <= left || bottom <= top) return;
  QPainter p(image_.get());
  PrepareNoAntialias(p);
  if (Pen.style == TPenStyle::Clear) p.setPen(Qt::NoPen);
  else p.setPen(ToQPen(Pen));
  p.setBrush(QBrush(ToQColor(Brush.color), ToQtBrush(Brush.style)));
  p.drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
}

int32_t TImageCanvas::TextWidth(const std::string& text) const {
  if (!HaveGui())
    return static_cast<int32_t>(DisplayText(text).size()) * std::max(1, Font.size * 96 / 72 * 6 / 10);
  return QFontMetrics(ToQFont(Font)).horizontalAdvance(DisplayText(text));
}

int32_t TImageCanvas::TextHeight(const std::string&) const {
  if (!HaveGui()) return Font.size * 96 / 72 + Font.size * 96 / 72 / 4;
  return QFontMetrics(ToQFont(Font)).height();
}

void TImageCanvas::TextOut(int32_t x, int32_t y, const std::string& text) {
  if (!HaveGui()) return;
  QFont font = ToQFont(Font);
  QFontMetrics fm(font);
  QString s = DisplayText(text);
  int32_t w = fm.horizontalAdvance(s), h = fm.height();
  if (Brush.style != TBrushStyle::Clear) {
    TBrush saved = Brush;
    Brush.style = TBrushStyle::Solid;
    FillRect(x, y, x + w, y + h);
    Brush = saved;
  }
  QPainter p(image_.get());
  PrepareNoAntialias(p);
  p.setFont(font);
  p.setPen(ToQColor(Font.color));
  p.drawText(x, y + fm.ascent(), s);
  penX_ = x + w;
  penY_ = y;
}

void TImageCanvas::Draw(int32_t x, int32_t y, const TImageCanvas& source) {
  const QImage& src = source.Image();
  for (int32_t sy = 0; sy < src.height(); ++sy) {
    int32_t ty = y + sy;
    if (ty < 0 || ty >= Height()) continue;
    const QRgb* from = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
    QRgb* to = reinterpret_cast<QRgb*>(image_->scanLine(ty));
    for (int32_t sx = 0; sx < src.width(); ++sx) {
      int32_t tx = x + sx;
      if (tx >= 0 && tx < Width()) to[tx] = from[sx] | 0xFF000000u;
    }
  }
}

void TImageCanvas::SaveBmp(const std::string& path) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (image_->isNull() || !image_->convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP")) {
    SetIoResult(101);
    AbandonFileOperation("Cannot write the picture", path);
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    int e = errno;
    SetIoResult(e == ENOENT ? 3 : (e == EACCES || e == EPERM || e == EISDIR || e == EROFS) ? 5 : 101);
    AbandonFileOperation("Cannot write the picture", path);
  }
  size_t n = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
  bool ok = n == static_cast<size_t>(bytes.size());
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    SetIoResult(101);
    AbandonFileOperation("Cannot write the picture", path);
  }
}
