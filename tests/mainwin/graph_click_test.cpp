// The click on the main graph and the click loops, driven by scripted clicks that the loops' waits
// run: the interval by two clicks, "Interval Bounds", "Peak Model Bounds", "Set of Points" and
// "Assign the Models", each restoring the window on every way out; the point-information box.
#include <tuple>
#include <gtest/gtest.h>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/number_parse.h"
#include "graph_fixture.h"
#include "mainwin/graph_point_info.h"
#include "mainwin/session.h"
#include "spectrum/plane_distribution.h"

namespace {

class GraphClickTest : public GraphTest {
protected:
  void SetUp() override {
    GraphTest::SetUp();
    ShowSpectrum(512, [](int32_t) { return 100.0; });
    RedrawGraph();
  }
  // What a loop leaves: the graph mode, the mask and the menus as before, status lines hidden.
  void ExpectRestored(int32_t mode = 1, const std::string& mask = "000011111111") {
    EXPECT_EQ(GraphMode, mode);
    EXPECT_EQ(SideButtonMask, mask);
    EXPECT_TRUE(Form1.FindItem("&Mark")->enabled);
    EXPECT_FALSE(Form1.Label1.visible);
  }
  // Checks the window while a loop waits.
  void QueueCheck(int32_t mode, const std::string& mask) {
    ui.QueueEvent([mode, mask] {
      EXPECT_EQ(GraphMode, mode);
      EXPECT_EQ(SideButtonMask, mask);
      EXPECT_FALSE(Form1.FindItem("&File")->enabled);
      EXPECT_EQ(Form1.Button(1).enabled, mask[0] == '1');
    });
  }
};

TEST_F(GraphClickTest, IntervalByTwoClicksInEitherOrderAndAtTheEdges) {
  double x1 = 0, x2 = 0;
  QueueCheck(3, "000000000000");
  QueueClickAt(300), QueueClickAt(100);
  MarkIntervalByClicks(x1, x2);
  EXPECT_EQ(std::vector<double>({x1, x2}), std::vector<double>({100, 300}));
  ExpectRestored();
  // The first pixel names channel 0, held to 1; beyond the last channel held to it.
  ui.QueueEvent([] { Image2MouseDown(TMouseButton::Left, 515, 50); });
  ui.QueueEvent([] { Image2MouseDown(TMouseButton::Left, 0, 50); });
  MarkIntervalByClicks(x1, x2);
  EXPECT_EQ(std::vector<double>({x1, x2}), std::vector<double>({1, 512}));

  QueueClickAt(400), QueueClickAt(250);
  MarkPeakModelBounds();
  EXPECT_EQ(std::vector<int32_t>({PeakModelBoundFirst, PeakModelBoundLast}), std::vector<int32_t>({250, 400}));

  QueueClickAt(220), QueueClickAt(120);
  MarkIntervalBounds();
  const TSpectrum& sp = *SpectrumList[1];
  EXPECT_EQ(std::vector<int32_t>({IntervalFirst, IntervalLast, sp.WorkFirst, sp.WorkLast}),
            std::vector<int32_t>({120, 220, 120, 220}));
  for (uint8_t p : ParametersPending) EXPECT_EQ(p, 1);
  EXPECT_EQ(SideButtonMask, "001111111111");
}

TEST_F(GraphClickTest, SetOfPointsCountsClicksOkAddsNoneCancelStopsAtZeroAndCapacityHolds) {
  QueueClickAt(50), QueueClickAt(60);
  QueueCheck(4, "110000000000");  // OK and Cancel end and mend the loop: they stay on
  ui.QueueEvent([] {  // the window's look while points are set
    EXPECT_EQ(std::make_tuple(Form1.font.color, Form1.font.size, Form1.font.bold, Form1.color),
              std::make_tuple(LimeColor, 8, true, MaroonColor));
  });
  QueueClickAt(70, 120);
  QueueOk();
  const int32_t windowColor = Form1.color;
  MarkSetOfPoints();
  EXPECT_EQ(Form1.color, windowColor);
  EXPECT_EQ(MarkedPointCount, 3);
  EXPECT_EQ(std::vector<double>(MarkedPoints + 1, MarkedPoints + 4), std::vector<double>({50, 60, 70}));
  EXPECT_EQ(GraphPixel(70, 120), WhiteColor);  // the 3 x 3 square at the click
  EXPECT_EQ(GraphPixel(70, 290), WhiteColor);  // the point's marker
  ExpectRestored();

  RemoveLastMarkedPoint();  // Cancel: the last point and its marks go; nothing below 0
  EXPECT_EQ(std::vector<int32_t>({MarkedPointCount, GraphPixel(70, 120), GraphPixel(70, 290)}),
            std::vector<int32_t>({2, BlackColor, BlackColor}));
  RemoveLastMarkedPoint(), RemoveLastMarkedPoint(), RemoveLastMarkedPoint();
  EXPECT_EQ(MarkedPointCount, 0);

  // "Reset the counter?" Yes empties the set; every model number back to 1.
  MarkedPointCount = 5, MarkedPointModels[3] = 4;
  ui.ExpectQuestion("Reset the counter?", true);
  QueueClickAt(80);
  QueueOk();
  MarkSetOfPoints();
  EXPECT_EQ(std::make_pair(MarkedPointCount, MarkedPoints[1]), std::make_pair(1, 80.0));
  EXPECT_EQ(MarkedPointModels[3], 1);

  // A click past the capacity is refused with a status line.
  MarkedPointCount = MarkedPointCapacity - 1;
  ui.ExpectQuestion("Reset the counter?", false);
  QueueClickAt(90), QueueClickAt(91);
  ui.QueueEvent([] { EXPECT_NE(Form1.Label1.caption.find("full"), std::string::npos); });
  QueueOk();
  MarkSetOfPoints();
  EXPECT_EQ(MarkedPointCount, MarkedPointCapacity);
  EXPECT_EQ(MarkedPoints[MarkedPointCapacity], 90);

  // A wait that ends because the application goes down adds nothing and restores the window.
  std::vector<std::string> unexpected;
  ui.onUnexpected = [&](const std::string& what) { unexpected.push_back(what); };
  MarkedPointCount = 0;
  MarkSetOfPoints();
  EXPECT_EQ(MarkedPointCount, 0);
  ExpectRestored();
  double x1 = 5, x2 = 5;
  MarkIntervalByClicks(x1, x2);
  EXPECT_EQ(DialogOk, 0);
  ExpectRestored();
}

TEST_F(GraphClickTest, AssignTheModelsStepsOneToSixAndBackOkGoesOnCancelEnds) {
  MarkedPointCount = 2, MarkedPoints[1] = 100, MarkedPoints[2] = 200;
  MarkedPointModels[1] = MarkedPointModels[2] = 1;
  QueueCheck(5, "110000000000");
  for (int32_t i = 1; i <= 6; ++i) {
    QueueClickAt(100);
    ui.QueueEvent([i] { EXPECT_EQ(MarkedPointModels[1], i % 6 + 1) << i; });
  }
  QueueOk();
  QueueClickAt(200), QueueClickAt(200);
  ui.QueueEvent([] { DialogOk = 1, ClickFlag = 1; });  // Cancel
  AssignTheModels();
  EXPECT_EQ(std::vector<int32_t>({MarkedPointModels[1], MarkedPointModels[2]}), std::vector<int32_t>({1, 3}));
  ExpectRestored();
}

TEST_F(GraphClickTest, RightButtonShowsTheFittedIntervalAndLeftButtonThePointBox) {
  IntervalFirst = 10, IntervalLast = 20;
  Image2MouseDown(TMouseButton::Right, 30, 30);
  EXPECT_EQ(std::vector<int32_t>({IntervalFirst, IntervalLast}), std::vector<int32_t>({1, 512}));
  Image2MouseDown(TMouseButton::Left, 256, 40);
  EXPECT_TRUE(Form4.visible);
  ASSERT_FALSE(PointInfoLines.empty());
  EXPECT_EQ(PointInfoLines[0], " Channel =  256.0");
  // The first pixel names the channel before the interval: no box.
  Form4.visible = false;
  Image2MouseDown(TMouseButton::Left, 0, 40);
  EXPECT_FALSE(Form4.visible);
  // The event map: cell (40, 30) of an 80 x 80 map, drawn at x = 40 / 80 474 + 33 = 270,
  // y = 300 - 30 / 80 297 = 188.6, reports its count.
  GraphMode = 6;
  EventGridNT = EventGridNE = 80;
  PlaneWindow.grid[(30 - 1) * 80 + 40] = 17;
  Image2MouseDown(TMouseButton::Left, 270, 189);
  EXPECT_EQ(PointInfoLines, (std::vector<std::string>{" Channel X =  40", " Channel Y =  30", " Value= 17"}));
  PlaneWindow.grid[(30 - 1) * 80 + 40] = 0;
  PointInfoLines.clear();
  Image2MouseDown(TMouseButton::Left, -2000, 193);  // a cell outside the map: nothing
  EXPECT_TRUE(PointInfoLines.empty());
}

// Through the window's one dispatch: while "Set of Points" waits, a key, a menu item and the close
// box do nothing; the graph click and OK reach the loop.
TEST_F(GraphClickTest, WhileALoopWaitsKeysMenusAndTheCloseBoxDoNothing) {
  const auto menu = [](const std::string& caption) {
    for (int32_t t = 1; t <= static_cast<int32_t>(Form1.MainMenu1.size()); ++t)
      for (int32_t i = 1; i <= static_cast<int32_t>(Form1.Entry(t).items.size()); ++i)
        if (Form1.Entry(t, i).caption == caption) return TMainEvent{TMainEventKind::MenuItem, t, i, false};
    ADD_FAILURE() << caption;
    return TMainEvent{};
  };
  KeepValues<uint8_t> ended{&SessionEnded, 1};
  SessionEnded = 0;  // a session runs: its end would free what the loop works on
  ui.QueueEvent([&] {
    EXPECT_EQ(GraphMode, 4);
    Form1.HandleEvent({TMainEventKind::Key, 'G', 0, false});
    Form1.HandleEvent(menu("Interval Bounds"));
    EXPECT_FALSE(Form1.HandleEvent({TMainEventKind::CloseRequest}));
    EXPECT_EQ(GraphMode, 4);
    EXPECT_EQ(IntervalFirst, 1);
    TMainEvent click{TMainEventKind::GraphClick, 0, 0, false};
    click.x = 120, click.y = 100;
    Form1.HandleEvent(click);
  });
  ui.QueueEvent([] { Form1.HandleEvent({TMainEventKind::SideButton, 1, 0, false}); });
  Form1.HandleEvent(menu("Set of Points"));
  EXPECT_EQ(MarkedPointCount, 1);
  EXPECT_EQ(MarkedPoints[1], 120);
  ExpectRestored();
}

// The box for a Gaussian peak (sigma 3) on a reflection's channel: d by t = 505.556 L d sin(theta)
// with t = (c + delay) w, the reflection's indices, and the half width 2 sqrt(2 ln 2) sigma
// (within the linear interpolation of the sampled half-height crossings).
TEST_F(GraphClickTest, PointBoxShowsDHklsWidthAndASecondMomentHeldToTheSpectrum) {
  TSpectrum& sp = *SpectrumList[1];
  for (int32_t c = 1; c <= 512; ++c) sp.Y[c] = 1000 * std::exp(-0.5 * (c - 250) * (c - 250) / 9.0);
  HklTable[1][1].d = sp.ChannelToD(250), HklTable[1][1].h = 1, HklTable[1][1].k = 1, HklTable[1][1].l = 0;
  PhaseTable[1].ReflectionCount = 1;
  InstallPointInfoHook();
  ShowPointInfo(250);
  const double d = (250 + sp.Delay) * sp.ChanWidth / (505.556 * sp.FlightPath * std::sin(sp.Theta * M_PI / 180));
  ASSERT_EQ(PointInfoLines.size(), 6u);
  EXPECT_EQ(PointInfoLines[1], " Counts  =  1000.0");
  ASSERT_EQ(PointInfoLines[2].substr(0, 12), " d       =  ");
  EXPECT_NEAR(std::stod(PointInfoLines[2].substr(12)), d, 0.00005);
  EXPECT_EQ(PointInfoLines[3], " hkls    =  1 1 0");
  EXPECT_EQ(PointInfoLines[4], "250.0");
  ASSERT_EQ(PointInfoLines[5].substr(0, 12), " Width   =  ");
  EXPECT_NEAR(std::stod(PointInfoLines[5].substr(12)), 2 * std::sqrt(2 * std::log(2.0)) * 3, 0.1);

  // Flat counts (no peak): the second moment sqrt(sum 5 (i - r)^2 / 5) of the channels around r
  // that the spectrum holds: sqrt(28) inside, sqrt(14) at either end.
  for (int32_t c = 1; c <= 512; ++c) sp.Y[c] = 5;
  for (const auto& [c, expected] : std::vector<std::pair<double, std::string>>{
           {100, " 2nd Mom = 5.3"}, {1, " 2nd Mom = 3.7"}, {512, " 2nd Mom = 3.7"}}) {
    ShowPointInfo(c);
    EXPECT_EQ(PointInfoLines.back(), expected) << c;
  }
}

}  // namespace
