// The drawing surface: colours go in and come out with blue in the high byte, lines and
// rectangles leave out their far edge, and a picture saved as BMP is a 24-bit file that reads
// back pixel for pixel.
#include <gtest/gtest.h>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <functional>
#include "core/abandon.h"
#include "core/canvas.h"
#include "core/display_text.h"
#include "support/gui_app.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
constexpr int32_t kWhite = 0xFFFFFF, kGreen = 0x00FF00, kRed = 0x0000FF;

int CountColor(const TImageCanvas& c, int32_t color) {
  int n = 0;
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x) n += c.GetPixel(x, y) == color;
  return n;
}

TEST(CanvasTest, PixelsKeepTheirColourOrder) {
  TImageCanvas c(4, 3);
  EXPECT_EQ(c.GetPixel(0, 0), kWhite);
  c.SetPixel(1, 1, kRed);
  c.SetPixel(2, 1, 0x123456);
  EXPECT_EQ(c.GetPixel(1, 1), kRed);
  EXPECT_EQ(c.GetPixel(2, 1), 0x123456);
  EXPECT_EQ(c.Image().pixel(1, 1) & 0xFFFFFFu, 0xFF0000u);  // red in the window system's order
  EXPECT_EQ(c.Image().pixel(2, 1) & 0xFFFFFFu, 0x563412u);
  c.SetPixel(-1, 0, 0);
  c.SetPixel(4, 0, 0);
  EXPECT_EQ(c.GetPixel(4, 0), -1);
  EXPECT_EQ(CountColor(c, 0), 0);
}

// Each drawing on a white 10 by 10 picture and the pixels it leaves in the colour.
TEST(CanvasTest, DrawingsLeaveOutTheirFarEdges) {
  struct Case { const char* what; std::function<void(TImageCanvas&)> draw; int32_t color; int count; };
  const Case cases[] = {
      {"line without its end pixel", [](TImageCanvas& c) { c.MoveTo(1, 1); c.LineTo(5, 1); }, 0, 4},
      {"lines go on from the pen", [](TImageCanvas& c) { c.MoveTo(1, 1); c.LineTo(5, 1); c.LineTo(5, 5); }, 0, 8},
      {"diagonal", [](TImageCanvas& c) { c.MoveTo(0, 9); c.LineTo(4, 5); }, 0, 4},
      {"dotted", [](TImageCanvas& c) { c.Pen.style = TPenStyle::Dot; c.MoveTo(0, 0); c.LineTo(10, 0); }, 0, 5},
      {"clear pen", [](TImageCanvas& c) { c.Pen.style = TPenStyle::Clear; c.MoveTo(0, 0); c.LineTo(10, 0); }, 0, 0},
      {"fill", [](TImageCanvas& c) { c.Brush.color = kGreen; c.FillRect(2, 3, 5, 7); }, kGreen, 12},
      {"fill clipped", [](TImageCanvas& c) { c.Brush.color = kGreen; c.FillRect(8, 8, 20, 20); }, kGreen, 4},
      {"frame", [](TImageCanvas& c) { c.Brush.color = kGreen; c.FrameRect(0, 0, 4, 4); }, kGreen, 12},
      {"rectangle outline", [](TImageCanvas& c) { c.Brush.color = kGreen; c.Rectangle(1, 1, 6, 5); }, 0, 14},
      {"rectangle inside", [](TImageCanvas& c) { c.Brush.color = kGreen; c.Rectangle(1, 1, 6, 5); }, kGreen, 6},
      {"rectangle without outline is one smaller",
       [](TImageCanvas& c) { c.Pen.style = TPenStyle::Clear; c.Brush.color = kGreen; c.Rectangle(0, 6, 4, 9); }, kGreen, 6},
      {"blit partly outside",
       [](TImageCanvas& c) { TImageCanvas s(3, 2); s.Brush.color = kRed; s.FillRect(0, 0, 3, 2); c.Draw(8, 9, s); }, kRed, 2},
  };
  for (const Case& k : cases) {
    TImageCanvas c(10, 10);
    c.Pen.color = 0;
    k.draw(c);
    EXPECT_EQ(CountColor(c, k.color), k.count) << k.what;
  }

  TImageCanvas h(16, 16);
  h.Brush.color = 0;
  h.Brush.style = TBrushStyle::DiagCross;
  h.FillRect(0, 0, 16, 16);
  int hatched = CountColor(h, 0);
  EXPECT_GT(hatched, 16);
  EXPECT_EQ(hatched + CountColor(h, kWhite), 256);  // a hatch leaves the rest as it was

  TImageCanvas e(21, 21);
  e.Brush.color = kGreen;
  e.Ellipse(0, 0, 21, 21);
  EXPECT_EQ(e.GetPixel(10, 10), kGreen);
  EXPECT_EQ(e.GetPixel(0, 0), kWhite);

  e.Resize(25, 22);  // the picture stays, the new area is white
  EXPECT_EQ(e.GetPixel(10, 10), kGreen);
  EXPECT_EQ(e.GetPixel(24, 21), kWhite);
  TImageCanvas copy = e;
  copy.SetPixel(10, 10, 0);
  EXPECT_EQ(e.GetPixel(10, 10), kGreen);
}

TEST(CanvasTest, TextIsOpaqueAndExact) {
  RequireGuiApplication();
  TImageCanvas c(200, 40);
  c.Brush.color = 0x000080;
  c.Font.color = 0x00FFFF;
  c.Font.size = 12;
  c.Font.bold = true;
  int32_t w = c.TextWidth("Ampl= 1.25");
  int32_t h = c.TextHeight("Ampl= 1.25");
  c.TextOut(5, 5, "Ampl= 1.25");
  int text = CountColor(c, 0x00FFFF);
  EXPECT_GT(text, 20);
  EXPECT_EQ(text + CountColor(c, 0x000080), w * h);  // without antialiasing: only the two colours
  EXPECT_EQ(c.GetPixel(4, 5), kWhite);
  TImageCanvas t(200, 40);
  t.Brush.style = TBrushStyle::Clear;
  t.TextOut(5, 5, "X");
  EXPECT_EQ(CountColor(t, kWhite) + CountColor(t, 0), 200 * 40);
  EXPECT_GT(c.TextWidth("\xC0\xC1"), 0);  // code page 1251 text from the Russian help
}

uint32_t Le32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<size_t>(k)]);
  return v;
}

TEST(CanvasTest, BmpFileRoundTrip) {
  fs::path path = TestTempPath("canvas picture.bmp");
  TImageCanvas c(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) c.SetPixel(x, y, (x * 37) | (y * 51) << 8 | ((x + y) * 23) << 16);
  c.SaveBmp(path.string());

  std::ifstream in(path, std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(b.size(), 54u);
  EXPECT_EQ(b.substr(0, 2), "BM");
  EXPECT_EQ(Le32(b, 2), b.size());        // file size
  EXPECT_EQ(Le32(b, 18), 7u);             // width
  EXPECT_EQ(Le32(b, 22), 5u);             // height, rows bottom-up
  EXPECT_EQ(Le32(b, 28) & 0xFFFFu, 24u);  // bits per pixel
  EXPECT_EQ(Le32(b, 30), 0u);             // not compressed
  // The first stored row is the bottom one, each pixel blue, green, red, rows padded to 4 bytes.
  uint32_t offset = Le32(b, 10);
  ASSERT_GE(b.size(), offset + 5 * 24);
  int32_t bottomLeft = c.GetPixel(0, 4);
  EXPECT_EQ(static_cast<unsigned char>(b[offset]), (bottomLeft >> 16) & 0xFF);     // blue
  EXPECT_EQ(static_cast<unsigned char>(b[offset + 1]), (bottomLeft >> 8) & 0xFF);  // green
  EXPECT_EQ(static_cast<unsigned char>(b[offset + 2]), bottomLeft & 0xFF);         // red

  QImage back(QString::fromStdString(path.string()), "BMP");
  ASSERT_EQ(back.size(), QSize(7, 5));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(RgbToColor(back.pixel(x, y) & 0xFFFFFFu), c.GetPixel(x, y)) << x << "," << y;
  fs::remove(path);

  std::string bad = (fs::temp_directory_path() / "no such folder vkest" / "m.bmp").string();
  try {
    c.SaveBmp(bad);
    FAIL() << "no failure";
  } catch (const OperationAbandoned& e) {
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos);
  }
}

// Russian help lines are code page 1251 once converted; anything valid as UTF-8 is UTF-8.
TEST(DisplayTextTest, CodePage1251AgainstPython) {
  EXPECT_EQ(DisplayText("\xD0\x90"), QString(QChar(0x0410)));
  EXPECT_EQ(DisplayText("\xC0\xFF"), QString::fromUtf16(u"\u0410\u044F"));
  std::ifstream in(std::string(VKEST_SOURCE_DIR) + "/tests/core/data/cp1251.txt");  // tools/gen_cp1251_table.py
  ASSERT_TRUE(in.good());
  unsigned byte = 0, code = 0;
  int lines = 0;
  while (in >> std::hex >> byte >> code) {
    EXPECT_EQ(static_cast<unsigned>(Cp1251ToUnicode(static_cast<unsigned char>(byte))), code) << std::hex << byte;
    ++lines;
  }
  EXPECT_EQ(lines, 128);
}
}  // namespace
