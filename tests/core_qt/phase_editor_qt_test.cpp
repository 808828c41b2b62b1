// The first dialog of the phase editor shown by the Qt backend on the offscreen platform: its
// controls where the model puts them, and what the user types and ticks back in the phase.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "core/qt/qt_backend.h"
#include "core/qt/qt_forms.h"
#include "core/settings_file.h"
#include "core/space_groups.h"
#include "crystal/phase_editor.h"
#include "core_qt/qt_app_test.h"

namespace {
class PhaseEditorQt : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
  }
  void TearDown() override {
    PhaseTable[1] = phase_;
    PhaseModelFlags[1] = flag_;
    PhaseCount = count_;
    NoCrystalInfo = noInfo_;
  }
  std::unique_ptr<QtBackend> backend = std::make_unique<QtBackend>();
  ScopedUi guard{*backend};

private:
  LATTICE phase_ = PhaseTable[1];
  int32_t flag_ = PhaseModelFlags[1], count_ = PhaseCount;
  uint8_t noInfo_ = NoCrystalInfo;
};
}  // namespace

TEST_F(PhaseEditorQt, FirstDialogReadsBackGroupSettingAndTicks) {
  PhaseCount = 1;
  PhaseTable[1] = LATTICE{};
  PhaseTable[1].SpaceGroup = 225;
  PhaseTable[1].LatticeType = 4;
  PhaseModelFlags[1] = 0;
  QTimer::singleShot(0, [this] {
    QtForm2* f = backend->Form2Window();
    ASSERT_TRUE(f->isVisible());
    EXPECT_EQ(f->windowTitle(), " Phase information");
    EXPECT_EQ(f->Label(1)->text(), " Specify the unit cell info");
    EXPECT_EQ(f->Button(16)->text(), "Show the symmetries");
    EXPECT_EQ(f->Button(10)->text(), "Show the Space Group");
    EXPECT_EQ(f->Button(11)->geometry(), QRect(70, 135, 175, 20));
    QTableWidget* g = f->StringGrid1();
    ASSERT_EQ(g->rowCount(), 2);
    EXPECT_EQ(g->item(0, 0)->text().trimmed(), "225");
    ASSERT_EQ(f->CheckListBox1()->count(), 4);
    EXPECT_EQ(f->CheckListBox1()->item(2)->text(), " Non-standard space group from the screen ");
    g->item(0, 0)->setText("14");
    g->item(1, 0)->setText("2");
    f->CheckListBox1()->item(0)->setCheckState(Qt::Checked);
    QTest::mouseClick(f->Button(1), Qt::LeftButton);
  });
  EditPhaseInfo(2);
  EXPECT_EQ(DialogOk, 1);
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(p.SpaceGroup, 14);
  EXPECT_EQ(p.Setting, 2);
  EXPECT_EQ(p.HermannMauguin, "P21/c");
  EXPECT_EQ(p.LatticeType, 0);  // the symbol's P, whatever was chosen
  EXPECT_EQ(p.SourceFlags[0], 1);
  EXPECT_EQ(PhaseModelFlags[1], 1);
  EXPECT_EQ(NoCrystalInfo, 0);
}
