// The graph on the offscreen Qt window: a left press on the graph widget reaches the click handler
// with the image pixel and opens the point-information box (a frameless tool window, aqua bold
// fixed-pitch text on black, the model's lines); a right press goes back to the fitted interval.
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>
#include "app/main_window_view.h"
#include "app/point_box_view.h"
#include "core/qt/qt_forms.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/graph_fixture.h"
#include "mainwin/graph_point_info.h"

namespace {
struct QtApp : QtAppTest {
  using QtAppTest::SetUpTestSuite;
};

class PointBoxTest : public GraphTest {
protected:
  static void SetUpTestSuite() { QtApp::SetUpTestSuite(); }
};

TEST_F(PointBoxTest, GraphClicksOpenTheBoxAndRestoreTheInterval) {
  // One Gaussian peak at channel 300 over 512 channels, the whole spectrum shown.
  ShowSpectrum(512, [](int32_t c) { return 20 + 1000 * std::exp(-0.5 * (c - 300) * (c - 300) / 16.0); });
  RedrawGraph();
  MainWindowView view(Form1);
  view.show();
  PointBoxView* box = view.PointBox();
  EXPECT_FALSE(box->isVisible());

  QTest::mouseClick(view.Image(2), Qt::LeftButton, {}, QPoint(ChannelColumn(300), 60));
  ASSERT_TRUE(box->isVisible());
  EXPECT_TRUE(box->windowFlags().testFlags(Qt::Tool | Qt::FramelessWindowHint));
  // Right of the graph, placed from the window's outer frame (none offscreen), and clear of the
  // side button that ends a click loop.
  EXPECT_EQ(box->pos().x(), view.frameGeometry().x() + 420);
  EXPECT_EQ(box->size(), QSize(200, 90));
  QPushButton* ok = view.SideButton(1);
  ASSERT_TRUE(ok->isVisible());
  EXPECT_FALSE(box->geometry().intersects(QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size())));
  QListWidget* list = box->List();
  ASSERT_EQ(list->count(), static_cast<int>(PointInfoLines.size()));
  EXPECT_EQ(list->item(0)->text(), " Channel =  300.0");
  EXPECT_EQ(list->item(1)->text(), " Counts  =  1020.0");
  EXPECT_TRUE(list->font().bold());
  EXPECT_TRUE(QFontInfo(list->font()).fixedPitch());
  // Drawn: black ground, aqua text and nothing else but the text's antialiasing.
  const QImage shot = box->grab().toImage();
  int32_t aqua = 0, black = 0, other = 0;
  for (int32_t y = 0; y < shot.height(); ++y)
    for (int32_t x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      aqua += c == QColor(0, 255, 255), black += c == QColor(0, 0, 0), other += c.red() != 0;
    }
  EXPECT_EQ(other, 0);
  EXPECT_GT(aqua, 50);
  EXPECT_GT(black, shot.width() * shot.height() / 2);

  // More lines (the reflection's hkls) stay in sight, in a smaller font where needed.
  Form4.ListBox1.items.insert(Form4.ListBox1.items.begin() + 3, {" hkls    =  1 1 1 (1)", " hkls    =  2 0 0 (2)"});
  Form1.Changed();
  ASSERT_EQ(list->count(), static_cast<int>(Form4.ListBox1.items.size()));
  EXPECT_FALSE(list->verticalScrollBar()->isVisible());
  EXPECT_LE(list->visualItemRect(list->item(list->count() - 1)).bottom(), list->viewport()->height() - 1);
  EXPECT_LE(list->sizeHintForColumn(0), list->viewport()->width());

  // The right button: back to the fitted interval from a zoomed view.
  IntervalFirst = 100, IntervalLast = 200;
  QTest::mouseClick(view.Image(2), Qt::RightButton, {}, QPoint(30, 30));
  EXPECT_EQ(std::vector<int32_t>({IntervalFirst, IntervalLast}), std::vector<int32_t>({1, 512}));
}
}  // namespace
