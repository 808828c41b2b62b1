#include "mainwin/session.h"
#include <ctime>
#include <filesystem>
#include <system_error>
#include "core/abandon.h"
#include "core/dialog_state.h"
#include "core/dialog_model.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/outlier_correction.h"
#include "core/peak_model.h"
#include "core/settings_file.h"
#include "core/space_groups.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/model_options.h"
#include "evolution/trevo_state.h"
#include "mainwin/main_window.h"
#include "mainwin/start_dialog.h"

std::function<TSessionTime()> SessionClock = SystemClock;
std::function<void()> TerminateApplication = [] {};
uint8_t SessionEnded = 1;

std::string SessionFolder() {
  // No cut at 75 characters: a longer working folder keeps its files.
  if (WorkDir.empty() || WorkDir.back() == '/') return WorkDir;
  return WorkDir + "/";
}

namespace {
namespace fs = std::filesystem;

constexpr const char* SeparatorCaption = "__________________";

std::string TwoDigits(int32_t v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// 20 blanks, the marker and the stamp: the first and the last line of the result file.
std::string SessionLine(const char* marker) {
  return std::string(20, ' ') + marker + SessionDateTime(SessionClock());
}

// The last line, close and the erase of an empty result file; reported, never abandoned.
void CloseResultFile() {
  RunUserCommand([] {
    if (LogFile.IsOpen()) {
      LogFile.WriteLine(SessionLine("VKEST FINISH  "));
      LogFile.Close();
    }
    EraseIfNearlyEmpty(LogFileName);
  });
}

void SetUpDefaultPhases() {
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    LATTICE& p = PhaseTable[k];
    p.CrystalSystem = 1;
    p.LatticeType = 0;
    p.SpaceGroup = 1;
    p.Setting = 1;
    p.Centrosymmetric = 0;
    p.ReflectionCount = 0;
    p.AtomCount = 1;
    ExpandSpaceGroup(k);
    p.MomentDirection[0] = 0, p.MomentDirection[1] = 0, p.MomentDirection[2] = 1;
    const double cell[6] = {4, 5, 6, 90, 90, 90};
    for (int32_t i = 0; i < 6; ++i) p.Cell[i] = cell[i];
    for (int32_t op = 1; op <= MaxOperations; ++op)
      for (int32_t e = 0; e < 9; ++e) p.SecondMatrices[e][op] = e % 4 == 0 ? 1.0 : 0.0;
    p.Working = 1.0;
    p.PhaseW0 = 5.0;
    p.PhaseW1 = 0.0;
    p.CellAccuracy = 5.0;
    p.AtomAccuracy = 10.0;
    for (auto& f : p.SourceFlags) f = 0;
  }
}

void ClearHklTable() {
  for (int32_t r = 1; r <= MaxReflections; ++r)
    for (int32_t k = 1; k <= MaxPhases; ++k) {
      THklRecord& h = HklTable[r][k];
      h.h = h.k = h.l = 0;
      h.Multiplicity = 0;
      h.d = 0;
      h.A = h.B = 0;
      h.IntensityFactor = 1.0;
    }
}
}  // namespace

TSessionTime SystemClock() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string SessionDateTime(const TSessionTime& t) {
  std::string year = std::to_string(t.year);
  while (year.size() < 4) year = "0" + year;
  return year + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" +
         TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string SessionStamp(const TSessionTime& t) { return TwoDigits(t.day) + TwoDigits(t.hour) + TwoDigits(t.minute); }

std::string FreeSessionFileName(const std::string& base) {
  const std::string folder = SessionFolder();
  for (int64_t n = 0;; ++n) {
    std::string name = folder + base + (n == 0 ? std::string() : std::to_string(n)) + ".res";
    if (!FileExists(name)) return name;
  }
}

void CreateSessionWindows() {
  Form1.left = 0;
  Form1.top = 0;
  Form1.color = GrayColor;
  Form2.left = 0;
  Form2.top = 0;
  Form2.width = 780;
  Form2.height = 580;
  Form2.Image1.SetBounds(0, 0, 780, 580);
  Form2.Image1.canvas.Resize(780, 580);
  Form3.left = Form3.top = 0;
  Form4.left = Form4.top = 0;
}

void EraseQuorinFiles() {
  const std::string folder = SessionFolder();
  for (int32_t n = 1; n <= 30; ++n) {
    const std::string name = folder + "quorin" + std::to_string(n) + ".res";
    if (!FileExists(name)) continue;
    std::error_code ec;
    if (!fs::remove(name, ec)) ShowMsg("Cannot erase " + name + ": " + IoResultText(5));
  }
}

bool StartSession() {
  // The INI command that opens the analysis of the mode reaches the main window's menus.
  OpenModeAnalysisHook = [] { Form1.OpenModeAnalysis(); };
  // 1-3.
  MainMode = 0;
  DialogOk = 1;
  CelixFileDir = WorkDir;
  if (SpectrumDir.empty()) SpectrumDir = WorkDir;
  const std::string folder = SessionFolder();
  // 4-5. The result file, before anything else.
  LogFileName = FreeSessionFileName("m" + SessionStamp(SessionClock()));
  if (LogFile.IsOpen()) LogFile.Close();
  if (!LogFile.TryRewrite(LogFileName)) {
    (void)IoResult();
    ShowMsg(OutputFileFailure);
    return false;
  }
  SessionEnded = 0;
  LogFile.WriteLine(SessionLine("VKEST START  "));
  // 6-8.
  DialogCaption = "Enter file name";
  LayoutMainWindow(2.0, 1.0);
  LayoutGraphWindow(2.0, 1.0);
  LayoutGraphWindow(1.25, 1.0);
  ScreenScale = 1.25;
  SetHelpLines(StartHelp);
  ResetMainWindow();
  // 9. A cancelled start dialog erases nothing.
  if (Form2.CheckBox1.checked && StartDialogAccepted == 1) EraseQuorinFiles();
  Form2.Image4.visible = false;
  // 10. The summary file.
  ResultFileName = FreeSessionFileName("quorin");
  if (QuorinFile.IsOpen()) QuorinFile.Close();
  if (!QuorinFile.TryRewrite(ResultFileName)) {
    (void)IoResult();
    ShowMsg(OutputFileFailure);
    CloseResultFile();
    SessionEnded = 1;
    return false;
  }
  QuorinFile.WriteLine("*" + std::string(20, ' ') + "Summary Evolution");
  // 11-12.
  if (FileExists(folder + SettingsFileName)) ReadSettingsFile(folder + SettingsFileName);
  ScreenScale = ScaleThatFits(ScreenScale);  // a scale kept from a larger screen
  if (ScreenScale > 1.25 && Ui().AskYesNo(ScaleQuestion, MsgKind::Warning)) ScreenScale = 1.25;
  // 13-15.
  for (auto& s : SpectrumList) s = std::make_unique<TSpectrum>(WorkDir);
  SkipHeader = 0;
  ReverseBytes = 0;
  StartingChannelOne = 1;
  Chibc = 1.25;
  OutlierOrder = 10;
  CountThreshold = 10;
  if (FileExists(folder + SpectrumDefaultsFileName))
    ReadSpectrumInfo(folder + SpectrumDefaultsFileName, *SpectrumList[1], 0);
  // 16-18.
  for (int32_t i = 1; i <= PeakModelCount; ++i) PeakModels[static_cast<size_t>(i)] = std::make_unique<TPeakModel>();
  ResetModelState(1024);
  CreateFitParameters();
  FourierPeakCount = 0;
  // 19-21.
  SetUpDefaultPhases();
  InitTrevoDefaults();  // the evolution module's three default cells stand before any file is read
  RandomizeAtoms();
  for (int32_t i = 1; i <= MaxPhases; ++i) ResetAtom(i);
  ClearHklTable();
  // 22-24.
  PeakModelBoundFirst = 0;
  PeakModelBoundLast = 0;
  IniParameterDir = WorkDir;
  for (int32_t s = 1; s <= 4; ++s) {
    SpectrumList[static_cast<size_t>(s)]->LastChannel = 1024;
    SpectrumList[static_cast<size_t>(s)]->WorkLast = 1024;
  }
  SetUpDn2EffectiveSpectrum();
  // 25-28.
  SetHelpLines(NoCommentsHelp);
  if (TMenuItem* separator = Form1.FindItem(SeparatorCaption)) separator->enabled = false;
  IntervalFirst = SpectrumList[1]->WorkFirst;
  IntervalLast = SpectrumList[1]->WorkLast;
  NChannels = IntervalLast - IntervalFirst + 1;
  Ui().Clipboard("Server Test string ");
  // 29-30.
  for (int32_t i : {0, 1, 2, 4, 5, 6, 7, 8, 9, 10}) OptionFlags[i] = 0;
  const double points[4] = {4438, 5617, 6129, 7117};
  for (int32_t i = 1; i <= 4; ++i) CalibrationPoints[i] = points[i - 1];
  CalibrationPointCount = 4;
  FlushSessionFiles();  // the first lines on the disk before any command
  return true;
}

void FinishSession() {
  if (SessionEnded) return;
  SessionEnded = 1;
  const std::string folder = SessionFolder();
  // 1.
  if (CelixFitterCreated == 1) FreeCelixFitter();
  FreeFitParameters();
  for (auto& m : PeakModels) m.reset();
  // 2. The spectrum defaults: a file that cannot be written is reported, and the end goes on.
  if (SpectrumList[1]) {
    RunUserCommand([&folder] {
      const std::string def = folder + SpectrumDefaultsFileName;
      TextFile probe;
      if (!probe.TryAppend(def)) {
        ShowMsg("Spectrum defaults not saved: " + def + ", " + IoResultText(IoResult()));
        return;
      }
      probe.Close();
      ReadSpectrumInfo(def, *SpectrumList[1], 1);
    });
  }
  // 3-5.
  for (auto& s : SpectrumList) s.reset();
  CloseResultFile();
  // 6-8.
  WriteSettingsFile(folder + SettingsFileName);
  RunUserCommand([] {
    if (QuorinFile.IsOpen()) QuorinFile.Close();
  });
  TerminateApplication();
}

bool SessionCloseQuery() {
  if (SessionEnded) return true;
  uint8_t ok = 1;
  std::string text;
  ConfirmExitUnsaved(ok, text);
  if (ok != 1) return false;
  FinishSession();
  return true;
}

void TForm1::FormCloseQuery(bool& canClose) { canClose = SessionCloseQuery(); }

void TForm1::Exit1Click() { SessionExit(); }

void SessionExit() {
  if (SessionEnded) {
    TerminateApplication();
    return;
  }
  (void)SessionCloseQuery();
}
