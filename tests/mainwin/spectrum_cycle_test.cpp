// The four spectrum slots form a ring: "Next Spectr" (side button 9), "Prev.Spectr" (10) and
// "Input the Next Spectrum" step once around it from every slot, and a full turn comes home.
#include <gtest/gtest.h>
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "mainwin/main_window.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

namespace {

class SpectrumCycleTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    Form1 = TForm1();
    LayoutMainWindow(1.0, 1.0);
    SpectrumSlots = " x   ", SideButtonMask = "111111111111";
  }
  FreshSpectra spectra_;
  KeepValues<int32_t> current_{&CurrentSpectrum, 1};
  KeepValues<std::string> strings_[2] = {{&SideButtonMask, 1}, {&SpectrumSlots, 1}};
};

TMainEvent Side(int32_t i) { return {TMainEventKind::SideButton, i, 0, false}; }

int32_t MenuSteps(const std::string& caption) {
  for (int32_t t = 1; t <= MainMenuEntryCount; ++t)
    for (int32_t i = 0; i <= static_cast<int32_t>(Form1.Entry(t).items.size()); ++i)
      if (Form1.Entry(t, i).caption == caption) {
        Form1.HandleEvent({TMainEventKind::MenuItem, t, i, false});
        return CurrentSpectrum;
      }
  ADD_FAILURE() << "no entry " << caption;
  return 0;
}

// The successor of slot s on the ring 1..4 is s mod 4 + 1, its predecessor (s + 2) mod 4 + 1.
TEST_F(SpectrumCycleTest, EverySlotStepsToItsNeighbourOnTheRing) {
  for (int32_t s = 1; s <= 4; ++s) {
    SCOPED_TRACE(s);
    CurrentSpectrum = s;
    ASSERT_TRUE(Form1.HandleEvent(Side(9)));
    EXPECT_EQ(CurrentSpectrum, s % 4 + 1);
    CurrentSpectrum = s;
    ASSERT_TRUE(Form1.HandleEvent(Side(10)));
    EXPECT_EQ(CurrentSpectrum, (s + 2) % 4 + 1);
    CurrentSpectrum = s;
    ui.CancelFileDialog();  // the input itself is not wanted: the slot moves all the same
    EXPECT_EQ(MenuSteps("Input the Next Spectrum"), s % 4 + 1);
  }
  // Four steps either way come back to where they began, through every slot once.
  for (int32_t button : {9, 10}) {
    CurrentSpectrum = 3;
    std::vector<int32_t> seen;
    for (int32_t k = 0; k < 4; ++k) Form1.HandleEvent(Side(button)), seen.push_back(CurrentSpectrum);
    EXPECT_EQ(seen, button == 9 ? std::vector<int32_t>({4, 1, 2, 3}) : std::vector<int32_t>({2, 1, 4, 3}));
  }
}

}  // namespace
