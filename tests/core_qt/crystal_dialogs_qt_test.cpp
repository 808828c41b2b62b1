// The crystal dialogs shown by the Qt window on the offscreen platform: what they show, and what
// the user types, ticks and clicks read back into the tables.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include "core/dialog_toolkit.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/qt/qt_backend.h"
#include "core/qt/qt_forms.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/crystal_menu.h"
#include "crystal/form_hkl.h"
#include "crystal/phase_setup.h"
#include "core_qt/qt_app_test.h"

namespace {

class CrystalDialogsQtTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    TofTestSpectrum();
    for (int32_t k = 0; k <= MaxPhases; ++k) PhaseModelFlags[k] = 0, PhaseTable[k] = LATTICE{};
    MainMode = 0;
    HklSymmetryChoice = 0;
    LogFile.RewriteToMemory("log");
  }
  void TearDown() override {
    LogFile.Close();
  }
  // Runs the user's actions once the modal dialog window is up.
  void WhenShown(std::function<void(QtForm2&)> act) {
    QTimer::singleShot(0, [this, act = std::move(act)]() mutable {
      QtForm2* f = backend->Form2Window();
      if (!f->isVisible()) return WhenShown(std::move(act));  // the next dialog is not up yet
      act(*f);
    });
  }
  static void ClickRadio(QtForm2& f, int32_t item) {
    QRadioButton* b = f.RadioGroup1()->Button(item - 1);
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
  }
  static void SetCell(QtForm2& f, int row, const char* text) { f.StringGrid1()->item(row, 0)->setText(text); }

  std::unique_ptr<QtBackend> backend = std::make_unique<QtBackend>();
  ScopedUi guard{*backend};

private:
  FreshSpectra spectra_;
  KeepValues<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  KeepValues<ATOM> atoms_{&AtomTable[0][0], (MaxAtoms + 1) * (MaxPhases + 1)};
  KeepValues<THklRecord> hkls_{&HklTable[0][0], (MaxReflections + 1) * (MaxPhases + 1)};
  KeepValues<int32_t> count_{&PhaseCount, 1}, mode_{&MainMode, 1}, choice_{&HklSymmetryChoice, 1},
      current_{&CurrentSpectrum, 1}, flags_{PhaseModelFlags, MaxPhases + 1};
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount}, noInfo_{&NoCrystalInfo, 1};
  KeepValues<double> dmin_{&DMin, 1}, dmax_{&DMax, 1};
};

// Form hkl: the bounds typed crossed, the triclinic choice, phase 2 unticked; then the report.
TEST_F(CrystalDialogsQtTest, FormHklReadsTheTypedRangeTheChoiceAndTheTicks) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90}, {IsoAtom(0.3449, 0, 0, 0)}));
  ASSERT_TRUE(SetUpPhase(2, 229, 1, {3.3, 3.3, 3.3, 90, 90, 90}, {IsoAtom(0.95, 0, 0, 0)}));
  HklTable[1][2].h = 77;
  PhaseTable[2].ReflectionCount = 1;
  bool reported = false;
  WhenShown([&](QtForm2& f) {
    EXPECT_EQ(f.windowTitle(), " Form hkl");
    EXPECT_EQ(f.Label(2)->text(), "    2600  -      7800");
    EXPECT_EQ(f.StringGrid2()->item(1, 0)->text(), "dmax =");
    ASSERT_EQ(f.CheckListBox1()->count(), 2);
    EXPECT_EQ(f.CheckListBox1()->item(1)->text(), "   Phase 2");
    EXPECT_EQ(f.CheckListBox1()->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(f.CheckListBox1()->geometry(), QRect(60, 258, 200, 36));
    SetCell(f, 0, "3");
    SetCell(f, 1, "1");
    f.CheckListBox1()->item(1)->setCheckState(Qt::Unchecked);
    ClickRadio(f, 2);
    WhenShown([&](QtForm2& g) {
      reported = true;
      EXPECT_EQ(g.ListBox1()->geometry(), QRect(5, 160, 330, 150));
      ASSERT_GE(g.ListBox1()->count(), 1);
      EXPECT_EQ(g.ListBox1()->item(0)->text(), "Phase1: 6 hkls formed, d:1.00 - 3.00");
      QTest::mouseClick(g.Button(1), Qt::LeftButton);
    });
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  FormHklSet();
  EXPECT_TRUE(reported);
  EXPECT_EQ(DMin, 1);
  EXPECT_EQ(DMax, 3);
  EXPECT_EQ(HklSymmetryChoice, 1);
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 6);  // 111 200 220 311 222 400
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 1);
  EXPECT_EQ(HklTable[1][2].h, 77);
  EXPECT_EQ(ParametersPending[0], 1);
}

// The menu: the status line, "Add the aluminium phase" clicked, then "Exit ".
TEST_F(CrystalDialogsQtTest, MenuAddsTheAluminiumPhase) {
  PhaseCount = 1;
  NoCrystalInfo = 1;
  SpectrumList[1]->Present = 0;
  int shown = 0;
  WhenShown([&](QtForm2& f) {
    ++shown;
    EXPECT_EQ(f.windowTitle(), " Enter the Crystal Information");
    EXPECT_EQ(f.Label(2)->text(), "No Spectrum 1");
    EXPECT_EQ(f.Label(2)->geometry().topLeft(), QPoint(5, 280));
    EXPECT_EQ(f.RadioGroup1()->Count(), 8);
    EXPECT_TRUE(f.RadioGroup1()->Button(1)->isChecked());
    ClickRadio(f, 8);
    WhenShown([&](QtForm2& g) {
      ++shown;
      EXPECT_TRUE(g.RadioGroup1()->Button(1)->isChecked());  // unchanged after the new phase
      ClickRadio(g, 6);
      QTest::mouseClick(g.Button(1), Qt::LeftButton);
    });
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  EnterCrystalInfo();
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(PhaseCount, 2);
  EXPECT_EQ(PhaseTable[2].SpaceGroup, 225);
  EXPECT_EQ(PhaseTable[2].AtomCount, 2);
  EXPECT_EQ(NoCrystalInfo, 0);
  EXPECT_GT(PhaseTable[2].ReflectionCount, 0);
}

}  // namespace
