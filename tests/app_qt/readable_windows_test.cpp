// Everything the user must read or reach, on the real Qt widgets offscreen: the main window at
// its start size shows every top-level menu on the bar; and every window the inventory walk
// opens (each command cancelled at its first window, then each with OK to every window on a
// loaded data set) is shown on the program's own dialog and information windows, where each
// caption fits its control, no control lies over another's text and each check box shows its
// square.
#include <QtTest/QTest>
#include <cmath>
#include <set>
#include "app/main_window_view.h"
#include "app_qt/readable_widgets.h"
#include "core/qt/qt_forms.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/inventory_fixture.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"
#include "peaks/peak_model_tools.h"
#include "core/dialog_state.h"
#include "core/numeric_arrays.h"
#include "core/spectra_utilities.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/random.h"
#include "core/scripted_ui.h"
#include "testdata/test_data_sets.h"

namespace {
// Passes everything to the backend that answers, and first shows each window on the Qt widgets
// and notes what cannot be read there; a window shown without waiting is looked at again when a
// message or question comes up in front of it.
class LookingUi : public UiBackend {
public:
  explicit LookingUi(UiBackend& inner) : inner_(inner) {}
  void ShowMessage(const std::string& text) override {
    LookBehind();
    inner_.ShowMessage(text);
  }
  bool AskYesNo(const std::string& text, MsgKind kind) override {
    LookBehind();
    return inner_.AskYesNo(text, kind);
  }
  bool AskOkCancel(const std::string& text, MsgKind kind) override {
    LookBehind();
    return inner_.AskOkCancel(text, kind);
  }
  void ProcessEvents() override { inner_.ProcessEvents(); }
  bool Quitting() const override { return inner_.Quitting(); }
  void ShowModal(TForm2& form) override {
    Look(form);
    inner_.ShowModal(form);
  }
  void ShowModeless(TForm2& form) override {
    Look(form);
    modeless_ = &form;
    inner_.ShowModeless(form);
  }
  void HideWindow(TWindowState& form) override {
    if (&form == static_cast<TWindowState*>(modeless_)) modeless_ = nullptr;
    inner_.HideWindow(form);
  }
  void ShowInfoModal(TForm3& form) override {
    info_.Load(form);
    info_.show();
    Note(info_, form.caption);
    info_.hide();
    inner_.ShowInfoModal(form);
  }
  std::optional<std::string> OpenFileDialog(const TFileDialog& d) override { return inner_.OpenFileDialog(d); }
  std::optional<std::string> SaveFileDialog(const TFileDialog& d) override { return inner_.SaveFileDialog(d); }
  std::optional<std::vector<std::string>> OpenFilesDialog(const TFileDialog& d) override {
    return inner_.OpenFilesDialog(d);
  }
  void SetTimer(int32_t ms) override { inner_.SetTimer(ms); }
  // A 1024 x 768 screen, the smallest the windows are made for.
  bool ScreenSize(int32_t& width, int32_t& height) const override {
    width = 1024, height = 768;
    return true;
  }

  std::set<std::string> problems;
  int32_t windows = 0;
  std::vector<std::string> behind;  // the labels of each window looked at behind a question

private:
  void LookBehind() {
    if (!modeless_ || !modeless_->visible) return;
    Look(*modeless_);
    std::string labels;
    for (int32_t i = 1; i <= 11; ++i)
      if (modeless_->Label(i).visible) labels += modeless_->Label(i).caption + "|";
    behind.push_back(labels);
  }
  void Look(TForm2& form) {
    dialog_.Load(form);
    dialog_.show();
    Note(dialog_, form.caption);
    dialog_.hide();
  }
  void Note(QWidget& w, const std::string& caption) {
    ++windows;
    for (const std::string& p : readable::Problems(&w)) problems.insert("\"" + caption + "\": " + p);
  }
  UiBackend& inner_;
  TForm2* modeless_ = nullptr;
  QtForm2 dialog_;
  QtForm3 info_;
};

class ReadableWindowsTest : public InventoryTest {
protected:
  static void SetUpTestSuite() { QtAppTestApp::SetUpTestSuite(); }
  struct QtAppTestApp : QtAppTest {
    using QtAppTest::SetUpTestSuite;
  };
  void SetUp() override {
    InventoryTest::SetUp();
    ScreenScale = 1.25;
    FontSize = 12;  // the session's sizes after the start dialog
  }
  void LoadTestData() {
    SetZrO2TestData();
    SetRietveldTestData();
    FormPhaseReflections(1, 1.541, 3.895);
    Form1.HandleEvent({TMainEventKind::Key, 'G', 0, true});
  }
  // The main window's own controls after a command.
  void LookAtMainWindow(MainWindowView& view, const std::string& after) {
    for (const std::string& p : readable::Problems(&view)) looking.problems.insert("main window after " + after + ": " + p);
  }
  LookingUi looking{ui};
  ScopedUi lookingGuard{looking};
};

TEST_F(ReadableWindowsTest, EveryMenuOfTheBarIsShownAtTheStartSize) {
  // The session's layout: the window at scale 1, the images at 2.
  LayoutMainWindow(2.0, 1.0);
  ResetMainWindow();
  MainWindowView view(Form1);
  view.show();
  EXPECT_EQ(readable::HiddenMenus(&view), std::vector<std::string>{});
  // The client area holds the model's size or more: nothing of the window is lost.
  EXPECT_GE(view.centralWidget()->width(), Form1.width);
}

// At the session's sizes (scale 1.25, font 12) and at the largest scale that fits the screen
// (1.5 on 1024 x 768), at fonts 12 and 14.
TEST_F(ReadableWindowsTest, EveryWindowOfTheInventoryWalkCanBeRead) {
  const double largest = ScaleThatFits(2.0);
  ASSERT_EQ(largest, 1.5);
  for (const auto& [font, scale] : {std::pair{12, 1.25}, {14, 1.25}, {12, largest}, {14, largest}}) {
    looking.problems.clear();
    looking.windows = 0;
    for (GenericUi::Answer answer : {GenericUi::Answer::Cancel, GenericUi::Answer::Accept}) {
      ui.answer = answer;
      for (const TCommand& c : MainWindowInventory()) {
        if (c.name.rfind("File>Exit", 0) == 0 || c.name == "key Esc" || c.name == "close box") continue;
        FontSize = font;
        Restart();
        ScreenScale = scale;
        MainWindowView view(Form1);
        view.show();
        LoadTestData();
        Run(c);
        LookAtMainWindow(view, c.name);
      }
    }
    EXPECT_GT(looking.windows, 100);
    for (const std::string& p : looking.problems) ADD_FAILURE() << "font " << font << ", scale " << scale << ": " << p;
  }
}
}  // namespace

namespace {
// The indexing demonstration as a new user runs it (the ZrO2 lines, monoclinic P, the defaults):
// the fit plot and the true cell stand readable in the window behind the search's question.
TEST_F(ReadableWindowsTest, TheIndexingFitPlotCanBeReadBehindItsQuestion) {
  FontSize = 12;
  Restart();
  ScreenScale = 1.25;
  ASSERT_TRUE(SetRandomSeeds(12345, 6789));
  ScriptedUi script;
  LookingUi look(script);
  ScopedUi scripted(look);
  script.ExpectDialog("Test").Radio(4).Ok();
  script.ExpectDialog("Set the data for autoindexing test").Radio(1).Ok();
  ASSERT_TRUE(Form1.HandleEvent({TMainEventKind::MenuItem, 13}));  // Test
  script.ExpectDialog("(Celix)").Radio(2).Ok();
  script.ExpectDialog(" Phase= 1").Combo(2).Radio2(1).Ok();
  script.ExpectDialog(" Phase= 1").Ok();
  script.ExpectDialog("Set lattice parameters").Ok();
  script.ExpectDialog("(Celix)").Radio(3).Ok();
  script.ExpectDialog("Check the data and make the fit").Ok();
  script.ExpectDialog("Set the bin amounts").Ok();
  script.QueueAnswer(true);  // "Total N of tries= "
  script.QueueAnswer(true);  // "Stop fitting?"
  script.ExpectDialog("(Celix)").Cancel();
  ASSERT_TRUE(Form1.HandleEvent({TMainEventKind::MenuItem, 10}));  // Celix
  EXPECT_TRUE(script.Remaining().empty());
  ASSERT_FALSE(look.behind.empty());
  EXPECT_NE(look.behind.back().find("Parameters, ph1 = "), std::string::npos) << look.behind.back();
  EXPECT_NE(look.behind.back().find(TestTrueCell), std::string::npos) << look.behind.back();
  for (const std::string& p : look.problems) ADD_FAILURE() << p;
}
}  // namespace

namespace {
// The interpolation's second window: the prompt " Put the result to Spectrum: " beside the result
// spectra " 1" to " 4" covers none of them, nor they it, at fonts 12 and 14 and both scales.
TEST_F(ReadableWindowsTest, TheResultSpectraOfTheInterpolationStandClearOfTheirPrompt) {
  for (const auto& [font, scale] : {std::pair{12, 1.25}, {14, 1.25}, {12, 1.5}, {14, 1.5}}) {
    SCOPED_TRACE("font " + std::to_string(font) + ", scale " + std::to_string(scale));
    FontSize = font;
    Restart();
    ScreenScale = scale;
    LoadTestData();
    ScriptedUi script;
    LookingUi look(script);
    ScopedUi scripted(look);
    script.ExpectDialog("Function of Spectrum").Radio(6).Ok();
    script.ExpectDialog("Interpolate the spectrum").Cancel();
    SpectrumFunctions();
    EXPECT_TRUE(script.Remaining().empty());
    EXPECT_EQ(look.windows, 2);
    for (const std::string& p : look.problems)
      if (p.find("Interpolate the spectrum\":") != std::string::npos) ADD_FAILURE() << p;
  }
}
}  // namespace

namespace {
// Nothing over a graph's edge at fonts 12 and 14 and screen scales 1 to 1.5: the main window's
// two status lines (those of a spectrum read in) stay above its graph, and from scale 1.25 on
// below the header's text; the two smoothing comparisons keep their choices off the graph they
// compare on.
TEST_F(ReadableWindowsTest, StatusLinesAndSmoothingChoicesLeaveTheGraphsClear) {
  for (const double scale : {1.0, 1.25, 1.5})
    for (const int32_t font : {12, 14}) {
      SCOPED_TRACE("font " + std::to_string(font) + ", scale " + std::to_string(scale));
      FontSize = font;
      Restart();
      ScreenScale = scale;
      LayoutMainWindow(scale, scale);  // "Form and Font Sizes"
      MainWindowView view(Form1);
      view.show();
      LoadTestData();
      ShowStatus("The spectrum read in.  Poisson variance set up", "  2thetas, channel width=const");
      ASSERT_TRUE(view.Image(2)->isVisible());
      EXPECT_LE(view.StatusLabel(2)->geometry().bottom(), view.Image(2)->geometry().top() - 1);
      EXPECT_LE(view.StatusLabel(1)->geometry().bottom(), view.StatusLabel(2)->geometry().top() - 1);
      // From the session's scale on, both lines also stay below the header's text.
      if (scale >= 1.25) EXPECT_GE(view.StatusLabel(1)->geometry().top(), HeaderTextBottom());
      for (const std::string& p : readable::Problems(&view)) ADD_FAILURE() << "main window: " << p;

      ScriptedUi script;
      LookingUi look(script);
      ScopedUi scripted(look);
      script.ExpectDialog(" Graph of both spectra").Cancel();
      CopySpectrum(1, 2);
      SmoothSpectrum(0, 2, 2);
      for (int32_t i = 1; i <= 200; ++i) ScratchArray1[i] = 100 * std::exp(-0.5 * std::pow((i - 100) / 8.0, 2));
      DialogCaption = "Smoothing";
      script.ExpectDialog("Smoothing").Cancel();
      SmoothModelDialog(200);
      EXPECT_TRUE(script.Remaining().empty());
      EXPECT_EQ(look.windows, 2);
      for (const std::string& p : look.problems) ADD_FAILURE() << p;
    }
}
}  // namespace
