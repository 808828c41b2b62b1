// The crystal dialogs shown by the Qt window on the offscreen platform: what the user types,
// ticks and clicks in the first phase dialog and in Form hkl reads back into the tables.
#include <gtest/gtest.h>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include "core/dialog_toolkit.h"
#include "core/model_switches.h"
#include "core/qt/qt_backend.h"
#include "core/qt/qt_forms.h"
#include "core/text_file.h"
#include "core/fit_engine.h"
#include "core/parameter_layout.h"
#include "crystal/atom_editor.h"
#include "crystal/form_hkl.h"
#include "crystal/parameter_editor.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_setup.h"
#include "core_qt/qt_app_test.h"

namespace {

class CrystalDialogsQtTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    TofTestSpectrum();
    for (int32_t k = 0; k <= MaxPhases; ++k) PhaseModelFlags[k] = 0, PhaseTable[k] = LATTICE{};
    HklSymmetryChoice = 0;
    LogFile.RewriteToMemory("log");
  }
  void TearDown() override { LogFile.Close(); }
  // Runs the user's actions once the modal dialog window is up.
  void WhenShown(std::function<void(QtForm2&)> act) {
    QTimer::singleShot(0, [this, act = std::move(act)]() mutable {
      QtForm2* f = backend->Form2Window();
      if (!f->isVisible()) return WhenShown(std::move(act));  // the next dialog is not up yet
      act(*f);
    });
  }
  static void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2)); }

  std::unique_ptr<QtBackend> backend = std::make_unique<QtBackend>();
  ScopedUi guard{*backend};

private:
  FreshSpectra spectra_;
  KeepValues<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  KeepValues<ATOM> atoms_{&AtomTable[0][0], (MaxAtoms + 1) * (MaxPhases + 1)};
  KeepValues<THklRecord> hkls_{&HklTable[0][0], (MaxReflections + 1) * (MaxPhases + 1)};
  KeepValues<int32_t> count_{&PhaseCount, 1}, choice_{&HklSymmetryChoice, 1}, current_{&CurrentSpectrum, 1},
      flags_{PhaseModelFlags, MaxPhases + 1};
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount}, noInfo_{&NoCrystalInfo, 1};
  KeepValues<double> dmin_{&DMin, 1}, dmax_{&DMax, 1};
};

}  // namespace

// The parameter grid (peak fitting, two peaks, a width each): a value typed into row 8 reaches
// its record; the other records keep every bit.
TEST_F(CrystalDialogsQtTest, ParameterGridReadsBackATypedValue) {
  KeepValues<int32_t> mode{&MainMode, 1}, arrayMode{&ParameterArrayMode, 1}, peaks{&MarkedPointCount, 1},
      width{&WidthMode, 1}, models{MarkedPointModels, MarkedPointModelCount + 1};
  KeepValues<ParameterRecord> records{parar, MaxParameters + 1};
  if (!FitParameters) CreateFitParameters();
  MainMode = ParameterArrayMode = 3, MarkedPointCount = 2, WidthMode = -1;
  MarkedPointModels[1] = MarkedPointModels[2] = 1;
  int32_t n = 0;
  CountParameters(n, MainMode);
  ParameterNames();
  TParameter& fit = *FitParameters;
  const std::vector<ParameterRecord> saved(fit.Records.begin(), fit.Records.begin() + n + 1);
  fit.NPar = n;
  for (int32_t i = 1; i <= n; ++i) fit.Records[i] = parar[i] = ParameterRecord{i, -100, 0.5 + i, 100, 1, 0, 0, 0, parar[i].Name};
  WhenShown([](QtForm2& f) {
    ASSERT_GE(f.StringGrid1()->columnCount(), 7);
    f.StringGrid1()->item(8, 3)->setText("12.25");  // row = record, column 3 = value
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  EditParameterArray();
  for (int32_t i = 1; i <= n; ++i) EXPECT_EQ(fit.Records[i].value, i == 8 ? 12.25 : 0.5 + i) << i;
  std::copy(saved.begin(), saved.end(), fit.Records.begin());
}

// The first phase dialog: group and setting typed, the magnetic item ticked, OK clicked.
TEST_F(CrystalDialogsQtTest, FirstPhaseDialogReadsBackGroupSettingAndTicks) {
  PhaseCount = 1;
  PhaseTable[1].SpaceGroup = 225;
  PhaseTable[1].LatticeType = 4;
  WhenShown([](QtForm2& f) {
    ASSERT_EQ(f.StringGrid1()->rowCount(), 2);
    EXPECT_EQ(f.StringGrid1()->item(0, 0)->text().trimmed(), "225");
    f.StringGrid1()->item(0, 0)->setText("14");
    f.StringGrid1()->item(1, 0)->setText("2");
    f.CheckListBox1()->item(0)->setCheckState(Qt::Checked);
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  EditPhaseInfo(2);
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(std::tuple(DialogOk, p.SpaceGroup, p.Setting, p.HermannMauguin, p.LatticeType, p.SourceFlags[0]),
            std::tuple(1, 14, 2, "P21/c", 0, 1));  // the symbol's P, whatever was chosen
  EXPECT_EQ(std::tuple(PhaseModelFlags[1], NoCrystalInfo), std::tuple(1, 0));
}

// Form hkl: the bounds typed crossed, the triclinic choice, phase 2 unticked; then the report.
// The atom dialog's title follows the coordinates typed into the real grid: O at 0 1/2 1/2 of
// P m -3 m sits on a site of multiplicity 3 (gemmi), where the random atom had 48.
TEST_F(CrystalDialogsQtTest, AtomDialogTitleFollowsTheTypedPosition) {
  PhaseCount = 1;
  NoCrystalInfo = 0;
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {3.9, 3.9, 3.9, 90, 90, 90}, {IsoAtom(1, 0.11, 0.27, 0.38)}));
  AtomTable[1][1].Name = "O";
  std::string before, after;
  WhenShown([&](QtForm2& list) {
    WhenShown([&](QtForm2& f) {
      before = f.windowTitle().toStdString();
      for (int32_t r : {1, 2, 3}) f.StringGrid1()->item(r, 0)->setText(r == 1 ? "0" : "0.5");
      after = f.windowTitle().toStdString();
      QTest::mouseClick(f.Button(1), Qt::LeftButton);
    });
    QTest::mouseClick(list.Button(1), Qt::LeftButton);
  });
  EditAtomList(0);
  EXPECT_NE(before.find("(48 here)"), std::string::npos) << before;
  EXPECT_NE(after.find("(3 here)"), std::string::npos) << after;
  EXPECT_EQ(std::tuple(AtomTable[1][1].X, AtomTable[1][1].Y, AtomTable[1][1].Z), std::tuple(0.0, 0.5, 0.5));
}

TEST_F(CrystalDialogsQtTest, FormHklReadsTheTypedRangeTheChoiceAndTheTicks) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90}, {IsoAtom(0.3449, 0, 0, 0)}));
  ASSERT_TRUE(SetUpPhase(2, 229, 1, {3.3, 3.3, 3.3, 90, 90, 90}, {IsoAtom(0.95, 0, 0, 0)}));
  HklTable[1][2].h = 77;
  PhaseTable[2].ReflectionCount = 1;
  bool reported = false;
  WhenShown([&](QtForm2& f) {
    ASSERT_EQ(f.CheckListBox1()->count(), 2);
    f.StringGrid1()->item(0, 0)->setText("3");
    f.StringGrid1()->item(1, 0)->setText("1");
    f.CheckListBox1()->item(1)->setCheckState(Qt::Unchecked);
    Click(f.RadioGroup1()->Button(1));
    WhenShown([&](QtForm2& g) {
      reported = true;
      ASSERT_GE(g.ListBox1()->count(), 1);
      EXPECT_EQ(g.ListBox1()->item(0)->text(), "Phase1: 6 hkls formed, d:1.00 - 3.00");
      QTest::mouseClick(g.Button(1), Qt::LeftButton);
    });
    QTest::mouseClick(f.Button(1), Qt::LeftButton);
  });
  FormHklSet();
  EXPECT_TRUE(reported);
  EXPECT_EQ(std::tuple(DMin, DMax, HklSymmetryChoice), std::tuple(1.0, 3.0, 1));
  // 111 200 220 311 222 400 formed for phase 1; phase 2 keeps its list.
  EXPECT_EQ(std::tuple(PhaseTable[1].ReflectionCount, PhaseTable[2].ReflectionCount, HklTable[1][2].h),
            std::tuple(6, 1, 77));
}
