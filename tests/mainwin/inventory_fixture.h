// The main window's whole inventory as events of the one dispatch (every menu item with a
// command, the 13 side buttons, the keys, the close box, the graph clicks), a fingerprint of
// what a command may change (the model tables, the parameter array, the spectra, the files of
// the working folder), and a session in a temporary folder answered by GenericUi.
#pragma once
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <type_traits>
#include <string>
#include <vector>
#include "core/abandon.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "mainwin/main_menu.h"
#include "mainwin/main_window.h"
#include "mainwin/session.h"
#include "support/generic_ui.h"
#include "support/temp_path.h"

struct TCommand {
  std::string name;
  TMainEvent event;
};

inline std::vector<TCommand> MainWindowInventory() {
  std::vector<TCommand> out;
  for (int32_t top = 1; top <= MainMenuEntryCount; ++top) {
    const TMenuItem& entry = Form1.Entry(top);
    if (entry.onClick) out.push_back({PlainCaption(entry.caption), {TMainEventKind::MenuItem, top, 0}});
    for (int32_t i = 1; i <= static_cast<int32_t>(entry.items.size()); ++i)
      if (Form1.Entry(top, i).onClick)
        out.push_back({PlainCaption(entry.caption) + ">" + PlainCaption(Form1.Entry(top, i).caption),
                       {TMainEventKind::MenuItem, top, i}});
  }
  for (int32_t b = 1; b <= SideButtonCount; ++b)
    out.push_back({"side button " + std::to_string(b), {TMainEventKind::SideButton, b}});
  const struct {
    int32_t key;
    bool shift;
    const char* name;
  } keys[] = {{'G', false, "g"}, {'G', true, "G"}, {'S', false, "s"}, {'I', false, "i"},
              {'R', false, "r"}, {KeyEscape, false, "Esc"}, {'X', false, "x"}};
  for (const auto& k : keys) out.push_back({std::string("key ") + k.name, {TMainEventKind::Key, k.key, 0, k.shift}});
  out.push_back({"close box", {TMainEventKind::CloseRequest}});
  for (int32_t b = 0; b <= 2; ++b)
    out.push_back({"graph click " + std::to_string(b), {TMainEventKind::GraphClick, b, 0, false, 200, 150}});
  return out;
}

// FNV-1a over the bytes of plain values, one field at a time (no padding is read).
class Fingerprint {
public:
  template <class T>
  void Add(const T& v) {
    static_assert(std::is_arithmetic_v<T>);
    Bytes(&v, sizeof v);
  }
  template <class T, size_t N>
  void Add(const T (&a)[N]) {
    for (const T& v : a) Add(v);
  }
  void Add(const std::string& s) {
    Add(s.size());
    Bytes(s.data(), s.size());
  }
  uint64_t value = 1469598103934665603ull;

private:
  void Bytes(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) value = (value ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
  }
};

// The model: phases, atoms, reflections, d-spacings, parameters, marked points and the counts.
inline uint64_t ModelFingerprint() {
  Fingerprint f;
  for (const LATTICE& p : PhaseTable) {
    f.Add(p.Cell), f.Add(p.ReciprocalCell), f.Add(p.Volume), f.Add(p.Metric), f.Add(p.PhaseW0), f.Add(p.PhaseW1);
    f.Add(p.CrystalSystem), f.Add(p.LatticeType), f.Add(p.SpaceGroup), f.Add(p.Setting), f.Add(p.AtomCount);
    f.Add(p.ReflectionCount), f.Add(p.OperationCount), f.Add(p.HermannMauguin), f.Add(p.Anisotropy);
    for (const auto& r : p.Rotations) f.Add(r[0]), f.Add(r[1]), f.Add(r[2]);
    for (const auto& t : p.Translations) f.Add(t);
  }
  for (const auto& row : AtomTable)
    for (const ATOM& a : row) {
      f.Add(a.Occupation), f.Add(a.X), f.Add(a.Y), f.Add(a.Z), f.Add(a.T11), f.Add(a.T22), f.Add(a.T33);
      f.Add(a.T12), f.Add(a.T13), f.Add(a.T23), f.Add(a.Name), f.Add(a.ScatteringLength), f.Add(a.MagneticMoment);
    }
  for (const auto& row : HklTable)
    for (const THklRecord& r : row) f.Add(r.h), f.Add(r.k), f.Add(r.l), f.Add(r.Multiplicity), f.Add(r.d);
  for (const TDSpacingRecord& d : DSpacingList) f.Add(d.d), f.Add(d.Error), f.Add(d.h), f.Add(d.k), f.Add(d.l);
  for (const ParameterRecord& r : parar) f.Add(r.n), f.Add(r.lower), f.Add(r.value), f.Add(r.upper), f.Add(r.a), f.Add(r.b), f.Add(r.Name);
  f.Add(MarkedPointModels), f.Add(MarkedPoints), f.Add(MarkedPointCount);
  f.Add(PhaseCount), f.Add(SpectrumCount), f.Add(DSpacingCount), f.Add(MainMode), f.Add(WidthMode), f.Add(BackgroundMode);
  return f.value;
}

// The five spectra: channels and header.
inline uint64_t SpectraFingerprint() {
  Fingerprint f;
  for (const auto& s : SpectrumList) {
    if (!s) continue;
    f.Add(s->Name), f.Add(s->FileType), f.Add(s->FirstChannel), f.Add(s->LastChannel), f.Add(s->WorkFirst);
    f.Add(s->WorkLast), f.Add(s->Present), f.Add(s->ChanWidth), f.Add(s->Delay), f.Add(s->Theta);
    f.Add(s->FlightPath), f.Add(s->Background), f.Add(s->BackgroundDegree), f.Add(s->NormalizedFlag);
    f.Add(s->Y), f.Add(s->E), f.Add(s->X);
  }
  return f.value;
}

// The files of the folder: names and contents (the open result files excepted: they are
// written in memory in these tests).
inline uint64_t FilesFingerprint(const std::filesystem::path& folder) {
  Fingerprint f;
  std::vector<std::filesystem::path> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) names.push_back(e.path());
  std::sort(names.begin(), names.end());
  for (const auto& p : names) {
    f.Add(p.string());
    if (!std::filesystem::is_regular_file(p)) continue;
    std::ifstream in(p, std::ios::binary);
    f.Add(std::string(std::istreambuf_iterator<char>(in), {}));
  }
  return f.value;
}

// A session in its own temporary folder with GenericUi installed and the result file in memory.
class InventoryTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    savedDir = WorkDir;
    WorkDir = folder.string();
    // Started in its working folder, as the program is: a name typed without a folder lands
    // there, and no file left where the tests run is found.
    savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    SessionClock = [] { return TSessionTime{2026, 12, 7, 4, 0, 0}; };
    TerminateApplication = [] {};
    // A wait of a click loop: OK on the side panel where it is on (the loop ends without its
    // clicks), else a click on the graph, left of the middle and then right of it.
    ui.onWait = [this](std::mt19937&) {
      if (Form1.Button(1).visible && Form1.Button(1).enabled) Form1.HandleEvent({TMainEventKind::SideButton, 1});
      else Form1.HandleEvent({TMainEventKind::GraphClick, 0, 0, false, (clicks++ % 2) ? 350 : 150, 150});
    };
    Restart();
  }
  void TearDown() override {
    if (!SessionEnded) FinishSession();
    LogFile.Close();
    SessionClock = SystemClock;
    WorkDir = savedDir;
    std::filesystem::current_path(savedCwd);
    std::filesystem::remove_all(folder);
  }
  // A fresh session: the main window as at the start, empty spectra, the default phase.
  void Restart() {
    if (!SessionEnded) FinishSession();
    std::vector<std::filesystem::path> old;
    for (const auto& e : std::filesystem::directory_iterator(folder)) old.push_back(e.path());
    for (const auto& p : old) std::filesystem::remove_all(p);
    Form1 = TForm1();
    Form2 = TForm2();
    ui.Begin(0);
    ASSERT_TRUE(StartSession());
    LogFile.RewriteToMemory("log");
    LayoutMainWindow(1.0, 1.0);
    ResetMainWindow();
  }
  // Runs one command; false (with the reasons added to the test) when the user was left stuck.
  bool Run(const TCommand& c, uint32_t seed = 0) {
    ui.Begin(seed);
    if (std::getenv("VKEST_INVENTORY_TRACE")) std::fprintf(stderr, "%s\n", c.name.c_str());
    Form1.HandleEvent(c.event);
    std::vector<std::string> problems = ui.problems;
    if (ProgramBusy()) problems.push_back("the program stays busy");
    for (const auto& p : problems) ADD_FAILURE() << c.name << ": " << p;
    return problems.empty();
  }
  std::string Transcript() const {
    std::string t;
    for (const auto& l : ui.record) t += "\n    " + l;
    return t;
  }

  const std::filesystem::path folder = TestTempPath("inventory");
  std::string savedDir;
  std::filesystem::path savedCwd;
  int32_t clicks = 0;
  GenericUi ui;
  ScopedUi guard{ui};
};
