#include "crystal/refinement_results.h"
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <system_error>
#include <vector>
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/cell_update.h"
#include "crystal/model_options.h"
#include "crystal/parameter_editor.h"
#include "crystal/profile_model.h"
#include "crystal/refinement_run.h"  // Blanks8

std::string StatusText;
double CellLinkSum = 0, CellAngleSum = 0;

namespace {
constexpr int32_t RietveldMode = 0, PowderMatchMode = 2;

// While WriteResFile writes, the file lines go there instead of the result file.
TextFile* resTarget = nullptr;

void Emit(const std::string& text, int32_t dest) {
  if (dest != 2 && resTarget) resTarget->WriteLine(text);
  else OutputLine(text, dest);
}

std::string Nb(int32_t w, int32_t d, double x) {
  std::string s = FormatNumber(w, d, x);
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  return s;
}
bool Undetermined() { return FitParameters && FitParameters->UndeterminedErrors; }
bool Undetermined(int32_t i) { return FitParameters && FitParameters->ErrorUndeterminedAt(i); }
// A value and its error; "?" for an error the fit could not determine (all after a singular fit).
std::string Fve(int32_t d, double v, double e) {
  std::string s;
  FormatValueWithError(d, s, v, Undetermined() ? -1.0 : e);
  return s;
}
std::string RightAligned(std::string s, int32_t w) {
  PadLeft(s, w);
  return s;
}

// Record i of the session's engine; a neutral record outside its range.
const ParameterRecord& Record(int32_t i) {
  static const ParameterRecord none{};
  if (!FitParameters || i < 1 || i > FitParameters->RecordCapacity()) return none;
  return FitParameters->Records[static_cast<size_t>(i)];
}

// The error of record i in a field of width w: "bound" on a bound, "?" when not determined.
std::string ErrorField(int32_t w, int32_t d, int32_t i) {
  const ParameterRecord& r = Record(i);
  if (Undetermined(i)) return RightAligned("?", w);
  if (OnBound(r)) return RightAligned("bound", w);
  return FormatFixed(w, d, r.Error);
}

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }
bool BothPending() { return FitPending[RietveldMode] != 0 && FitPending[PowderMatchMode] != 0; }
TSpectrum* Current() { return SpectrumList[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, 4))].get(); }

// Lines 4.1 .. 4.7 of the res-file.
void OutputParameterLines(int32_t dest) {
  Emit(std::string(BackgroundMode == 1 ? "Real" : "Polynomial") + " background:", dest);
  std::string v, e = "+-";
  for (int32_t i = 4; i <= 9; ++i) v += FormatFixed(10, 2, Record(i).value), e += ErrorField(10, 2, i);
  Emit(v, dest);
  Emit(e, dest);
  Emit("D0 parameter= " + FormatFixed(12, 4, Record(3).value) + " +- " + ErrorField(12, 4, 3), dest);
  Emit("Sp.Corr. par= " + FormatFixed(12, 4, Record(10).value) + " +- " + ErrorField(12, 4, 10), dest);
  Emit(" Parameters:  PhaseScale     W0       W1       W2", dest);
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t o = PhaseParameterOffset(p);
    std::string a = "  Phase" + FormatFixed(1, 0, p) + "   " + FormatFixed(14, 6, Record(o + 1).value);
    std::string b = "     +-  " + ErrorField(14, 6, o + 1);
    for (int32_t i = 8; i <= 10; ++i) a += FormatFixed(10, 2, Record(o + i).value), b += ErrorField(10, 2, o + i);
    Emit(a, dest);
    Emit(b, dest);
  }
}

void OutputMomentBlock(int32_t p, int32_t dest) {
  std::string lines[4];
  OutputPhaseLinks(p, lines, 99);
  Emit(lines[0], dest);
  Emit("", dest);
  for (int32_t k = 1; k <= 3; ++k) Emit(lines[k], dest);
  Emit("", dest);
}

bool Anisotropic(int32_t p) { return AnisotropyOn != 0 && AnisotropicPhases[p] != 0; }

// Reference positions of the test comparison under OptionFlags[1].
constexpr double TestPositions[][3] = {{0.1, 0.2, 0.3}, {0.0, 0.3, 0.6}, {0.4, 0.75, 0.5}};
constexpr int32_t TestPositionCount = static_cast<int32_t>(std::size(TestPositions));

// The saved results of one phase (step 6).
void SavePhase(int32_t p) {
  OutputUnitCells(p, 0);
  if (PhaseModelFlags[p] == 1) OutputMomentBlock(p, 0);
  if (Anisotropic(p)) OutputAnisotropy(p, 0), Emit("", 0);
  if (MainMode == PowderMatchMode) {
    OutputPowderReflections(p, 0);
    ResultsUnsaved[PowderMatchMode] = 0;
  } else {
    OutputAtoms(p, 0);
  }
  if (OptionFlags[1] != 0 && MainMode == RietveldMode) {
    double atomSum = 0;
    const int32_t n = std::min(std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms), TestPositionCount);
    for (int32_t a = 1; a <= n; ++a) {
      const ATOM& t = AtomTable[a][p];
      atomSum += std::fabs(t.X - TestPositions[a - 1][0]) + std::fabs(t.Y - TestPositions[a - 1][1]) +
                 std::fabs(t.Z - TestPositions[a - 1][2]);
    }
    const double link = CellLinkSum / 3, angle = CellAngleSum / 3, atom = atomSum / 6;
    Emit("", 0);
    Emit("CELL link angle, ATOMIC = " + FormatFixed(10, 5, link) + FormatFixed(10, 5, angle) + FormatFixed(10, 5, atom), 0);
    InfoLines.count = 0;
    AddInfoLine("dlink,dangle,datom= " + FormatNumber(10, 5, link) + FormatNumber(10, 5, angle) + FormatNumber(10, 5, atom));
    ShowInfoWindow();
  }
  Emit("", 0);
}

// The atom lines of block T (file form) or of an atom page (screen form).
void OutputAtomLines(int32_t p, int32_t a, int32_t dest, bool screen) {
  const ATOM& t = AtomTable[a][p];
  const double v[10] = {t.Occupation, t.X, t.Y, t.Z, t.T11, t.T12, t.T13, t.T22, t.T23, t.T33};
  static const char* fileLabels[10] = {"Occupation= ", "X         = ", "Y         = ", "Z         = ", "T11       = ",
                                       "T12       = ", "T13       = ", "T22       = ", "T23       = ", "T33       = "};
  static const char* screenLabels[10] = {"Occupation = ", "   X       = ", "   Y       = ", "   Z       = ",
                                         "  T11      = ", "  T12      = ", "  T13      = ", "  T22      = ",
                                         "  T23      = ", "  T33      = "};
  // Value i of the atom is record base + 10 a + 1 + i; one on its bound shows "bound" for its error.
  const int32_t first = PhaseParameterOffset(p) + 10 * a + 1;
  const auto line = [&](const std::string& label, double value, double error, int32_t i) {
    const bool bound = !Undetermined() && OnBound(Record(first + i));
    const std::string known = error >= 0 && !Undetermined() ? FormatNumber(7, 4, error) : "      ?";
    if (screen)
      Emit(label + FormatNumber(8, 4, value) + "  +-" + (bound ? std::string("  bound") : known), dest);
    else
      Emit(label + (bound ? FormatNumber(10, 5, value) + " +-      bound" : Fve(5, value, error)), dest);
  };
  const bool magnetic = PhaseModelFlags[p] == 1 && p != 1;
  line(screen ? screenLabels[0] : fileLabels[0], v[0], magnetic ? 0.0 : t.Errors[0], 0);
  if (magnetic) line(screen ? "Mag.moment = " : "Mag.moment= ", t.MagneticMoment, t.Errors[0], 0);
  const int32_t last = t.IsotropicFlag != 0 ? 4 : 9;
  for (int32_t i = 1; i <= last; ++i) line(screen ? screenLabels[i] : fileLabels[i], v[i], t.Errors[i], i);
}

// The distance of atoms i and j of phase p and its standard deviation.
void AtomDistance(int32_t p, int32_t i, int32_t j, double& d, double& err) {
  const LATTICE& ph = PhaseTable[p];
  const int32_t o = PhaseParameterOffset(p);
  double dx[3], s[3];
  for (int32_t k = 0; k < 3; ++k) {
    const ParameterRecord& ri = Record(o + 10 * i + 2 + k);
    const ParameterRecord& rj = Record(o + 10 * j + 2 + k);
    dx[k] = rj.value - ri.value;
    s[k] = ri.Error * ri.Error + rj.Error * rj.Error;
  }
  constexpr double rad = std::numbers::pi / 180;
  const double a = ph.Cell[0], b = ph.Cell[1], c = ph.Cell[2];
  const double ca = std::cos(ph.Cell[3] * rad), cb = std::cos(ph.Cell[4] * rad), cg = std::cos(ph.Cell[5] * rad);
  const double sa = std::sin(ph.Cell[3] * rad), sb = std::sin(ph.Cell[4] * rad), sg = std::sin(ph.Cell[5] * rad);
  const double x = dx[0], y = dx[1], z = dx[2];
  const double Q = a * a * x * x + b * b * y * y + c * c * z * z + 2 * b * c * ca * y * z + 2 * a * c * cb * x * z +
                   2 * a * b * cg * x * y;
  d = std::sqrt(std::fabs(Q));
  // dQ by the cell (angles per degree) and by the coordinate differences.
  const double dCell[6] = {2 * a * x * x + 2 * c * cb * x * z + 2 * b * cg * x * y,
                           2 * b * y * y + 2 * c * ca * y * z + 2 * a * cg * x * y,
                           2 * c * z * z + 2 * b * ca * y * z + 2 * a * cb * x * z,
                           -2 * b * c * sa * y * z * rad,
                           -2 * a * c * sb * x * z * rad,
                           -2 * a * b * sg * x * y * rad};
  const double dDiff[3] = {2 * a * a * x + 2 * a * c * cb * z + 2 * a * b * cg * y,
                           2 * b * b * y + 2 * b * c * ca * z + 2 * a * b * cg * x,
                           2 * c * c * z + 2 * b * c * ca * y + 2 * a * c * cb * x};
  double S = 0;
  for (int32_t k = 0; k < 6; ++k) {
    const double e = std::max(0.0, ph.CellErrors[k]);  // -1: no error could be formed
    S += dCell[k] * dCell[k] * e * e;
  }
  for (int32_t k = 0; k < 3; ++k) S += dDiff[k] * dDiff[k] * s[k];
  err = std::sqrt(S) / (2 * std::max(1e-5, d));
}

void UnitCellLines(int32_t p, int32_t dest, bool withEmpty);

// The res-file lines after the header of the file.
void WriteResLines(TextFile& f) {
  resTarget = &f;
  struct Reset {
    ~Reset() { resTarget = nullptr; }
  } reset;
  OutputParameterLines(0);
  Emit("", 0);
  OutputFitStatistics(0);
  for (int32_t p = 1; p <= Phases(); ++p) {
    UnitCellLines(p, 0, false);  // the res-file leaves the two empty lines out
    if (PhaseModelFlags[p] == 1) OutputMomentBlock(p, 0);
    if (Anisotropic(p)) Emit("", 0), OutputAnisotropy(p, 0);
    if (MainMode == PowderMatchMode) OutputPowderReflections(p, 0);
    else OutputAtoms(p, 0);
    Emit("", 0);
  }
}

bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return std::filesystem::absolute(a, ec).lexically_normal() == std::filesystem::absolute(b, ec).lexically_normal();
}
}  // namespace

// ---- blocks ----

void OutputFitStatistics(int32_t dest) {
  const TSpectrum* sp = Current();
  const int32_t s = std::clamp(CurrentSpectrum, 0, RFactorSpectra - 1);
  Emit("    Interval = " + FormatNumber(6, 0, sp ? sp->WorkFirst : 0) + " - " + FormatNumber(6, 0, sp ? sp->WorkLast : 0), dest);
  std::string it = Blanks8 + std::to_string(TotalFitIterations) + " iterations";
  if (dest == 0 && FitParameters) {
    std::string damp;
    FormatExponent(12, 7, damp, FitParameters->Damp);
    it += ", step=" + FormatNumber(7, 4, FitParameters->Step) + ", damp= " + damp;
  }
  Emit(it, dest);
  Emit(Blanks8 + "Chi^2 = " + Nb(12, 2, FitParameters ? FitParameters->ChiDf : 0), dest);
  Emit(Blanks8 + "Chi+  = " + Nb(10, 2, FitParameters ? FitParameters->ChiPlus : 0), dest);
  Emit("", dest);
  Emit("    R - factors", dest);
  Emit(Blanks8 + "R_p = " + FormatNumber(8, 2, 100 * RFactorP[s]) + "%", dest);
  Emit(Blanks8 + "R_b = " + FormatNumber(8, 2, 100 * RFactorB[s]) + "%", dest);
  Emit(Blanks8 + "R_w = " + FormatNumber(8, 2, 100 * RFactorW[s]) + "%", dest);
  Emit(Blanks8 + "R_e = " + FormatNumber(8, 2, 100 * RFactorE[s]) + "%", dest);
  Emit("", dest);
  double neff = 0;
  FormatResultNumber(neff);
  Emit("Number of efficient peaks: " + FormatNumber(7, 1, neff), dest);
  int32_t nFree = 0;
  if (FitParameters) CountFreeParameters(*FitParameters, nFree);
  Emit("Number of free parameters= " + std::to_string(nFree), dest);
  if (FitParameters && FitParameters->Diverged) Emit(DivergenceNote, dest);
  if (FitParameters && FitParameters->ParOnB == 1) {
    Emit(".... Parameter(s) hit the boundary:", dest);
    for (const std::string& line : BoundLines(*FitParameters)) Emit(line, dest);
  }
  if (PhaseCount > 1) {
    RelativePhaseValues();
    Emit("", dest);
    Emit("Interphase ABS Str.Fac.Relations", dest);
    for (int32_t p = 1; p <= Phases(); ++p)
      Emit("  Phase" + std::to_string(p) + "=" + FormatNumber(9, 4, NumberBuffer[p]), dest);
  }
}

void FormatResultNumber(double& x) {
  x = 0;
  TSpectrum* sp = Current();
  if (!sp) return;
  std::vector<double> pos;
  for (int32_t p = 1; p <= Phases(); ++p)
    for (int32_t i = 1; i <= std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); ++i)
      pos.push_back(sp->DToChannel(HklTable[i][p].d));
  const double W = SpectrumList[1] && SpectrumList[1]->W0 >= 1 ? SpectrumList[1]->W0 : 1.0;
  std::sort(pos.begin(), pos.end());
  // Sorted, only the neighbours within 3W on either side overlap.
  const size_t n = pos.size();
  for (size_t i = 0; i < n; ++i) {
    double s = 0;
    for (size_t j = i; j-- > 0 && pos[i] - pos[j] < 3 * W;) {
      const double u = (pos[i] - pos[j]) / W;
      s += std::exp(-std::min(77.0, u * u / 2));
    }
    for (size_t j = i + 1; j < n && pos[j] - pos[i] < 3 * W; ++j) {
      const double u = (pos[j] - pos[i]) / W;
      s += std::exp(-std::min(77.0, u * u / 2));
    }
    x += 1 / (1 + s);
  }
}

namespace {
void UnitCellLines(int32_t p, int32_t dest, bool withEmpty) {
  const LATTICE& ph = PhaseTable[p];
  const double* c = ph.Cell;
  const double* e = ph.CellErrors;
  Emit("    Unit cell parameters", dest);
  Emit(" Phase " + std::to_string(p) + Blanks8 + "Vol= " + Nb(10, 2, ph.Volume), dest);
  if (withEmpty) Emit("", dest);
  Emit(" A     = " + Fve(5, c[0], e[0]), dest);
  Emit(" B     = " + Fve(5, c[1], e[1]), dest);
  Emit(" C     = " + Fve(5, c[2], e[2]), dest);
  Emit(" alpha = " + Fve(2, c[3], e[3]), dest);
  Emit(" beta  = " + Fve(2, c[4], e[4]), dest);
  Emit(" gamma = " + Fve(2, c[5], e[5]), dest);
  if (withEmpty) Emit("", dest);
  if (OptionFlags[1] != 0) {
    CellLinkSum = std::fabs(c[0] - 4) + std::fabs(c[1] - 5) + std::fabs(c[2] - 6);
    CellAngleSum = std::fabs(c[3] - 80) + std::fabs(c[4] - 100) + std::fabs(c[5] - 110);
  }
}
}  // namespace

void OutputUnitCells(int32_t p, int32_t dest) {
  if (p >= 1 && p <= MaxPhases) UnitCellLines(p, dest, true);
}

void OutputPhaseLinks(int32_t p, std::string* lines, int32_t n) {
  lines[0] = " Phase" + std::to_string(p) + " Mag.moment angles,hkl (degr.)";
  if (p < 1 || p > MaxPhases) return;
  MomentAxisAngles(p, 1);
  const int32_t first = ParameterCount(0) + 3 * (p - 1) + 1;
  static const char letters[3] = {'a', 'b', 'c'};
  for (int32_t k = 1; k <= 3; ++k) {
    const ParameterRecord& r = Record(first + k - 1);
    lines[k] = std::string("Phi_") + letters[k - 1] + " = " + FormatNumber(8, 5, r.value) + " +-" +
               (Undetermined(first + k - 1) ? "      ?" : FormatNumber(7, 5, r.Error)) + " (" +
               FormatNumber(6, 2, DialogNumbers[k]) + ")";
  }
}

void OutputAnisotropy(int32_t p, int32_t dest) {
  if (p < 1 || p > MaxPhases) return;
  Emit("   Anisotropic parameters, phase=" + std::to_string(p), dest);
  const int32_t first = ParameterCount(1) + AnisotropyParameterCount * (p - 1) + 1;
  const auto line = [&](int32_t i) {
    const ParameterRecord& r = Record(i);
    Emit(" " + r.Name + "=" + Fve(4, r.value, Undetermined(i) ? -1.0 : r.Error), dest);
  };
  for (int32_t i = 0; i < AnisotropyParameterCount; ++i) line(first + i);
  if (M2Mode) line(ParameterCount(2) + 1), line(ParameterCount(2) + 2);
}

void OutputPowderReflections(int32_t p, int32_t dest) {
  if (p < 1 || p > MaxPhases) return;
  Emit("   h   k   l  mul      dk        Area", dest);
  const int32_t o = PhaseParameterOffset(p);
  for (int32_t i = 1; i <= std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); ++i) {
    const THklRecord& r = HklTable[i][p];
    Emit(FormatFixed(4, 0, r.h) + FormatFixed(4, 0, r.k) + FormatFixed(4, 0, r.l) + FormatFixed(4, 0, r.Multiplicity) +
             FormatFixed(10, 5, r.d) + FormatFixed(15, 4, std::fabs(Record(o + 10 + i).value)),
         dest);
  }
}

void OutputAtoms(int32_t p, int32_t dest) {
  if (p < 1 || p > MaxPhases) return;
  Emit(std::string(20, ' ') + "Atomic parameters,   phase " + std::to_string(p), dest);
  for (int32_t a = 1; a <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++a) {
    Emit(std::string(14, ' ') + "Atom = " + AtomTable[a][p].Name, dest);
    OutputAtomLines(p, a, dest, false);
  }
}

void OutputAtomDistances(int32_t p) {
  if (p < 1 || p > MaxPhases) return;
  if (PhaseCount != 1) Emit("Phase =" + FormatFixed(2, 0, p), 0);
  const int32_t n = std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms);
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = i + 1; j <= n; ++j) {
      double d = 0, e = 0;
      AtomDistance(p, i, j, d, e);
      Emit("Atoms " + FormatFixed(3, 0, i) + "(" + RightAligned(AtomTable[i][p].Name, 3) + ") -" + FormatFixed(3, 0, j) +
               "(" + RightAligned(AtomTable[j][p].Name, 3) + ")   Distance= " + FormatFixed(8, 5, d) +
               "  Err= " + FormatFixed(8, 5, e),
           0);
    }
  Emit("", 0);
}

// ---- the res-file ----

std::string ResFilePath() {
  const TSpectrum* sp = Current();
  std::string name = sp ? std::filesystem::path(sp->Name).filename().string() : std::string();
  // Only the last extension goes: "run.data" -> "run", "a.b.dat" -> "a.b".
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  if (name.size() > 75) name.resize(75);
  TraceCaption = name;
  if (name.empty() || (sp && sp->Name == "DUMMY")) return {};  // no spectrum file
  const std::filesystem::path dir = std::filesystem::current_path();
  std::filesystem::path path = dir / (name + ".res");
  // Never replace the spectrum itself or the open result file.
  if ((sp && SamePath(path, sp->Name)) || (LogFile.IsOpen() && SamePath(path, LogFile.Name())))
    path = dir / (name + "_fit.res");
  return path.string();
}

void WriteResFile() {
  if (BothPending()) {
    ShowMsg("No fitting yet performed");
    return;
  }
  const std::string path = ResFilePath();
  const std::string temp = path + ".tmp";
  TextFile f;
  if (path.empty() || !f.TryRewrite(temp)) {
    IoResult();  // the reason goes with the line below
    IoOk = 0;
    LogLine("Wrong spectrum-related file");
    return;
  }
  try {
    WriteResLines(f);
    f.Close();
  } catch (...) {
    if (f.IsOpen()) {
      try {
        f.Close();
      } catch (...) {
      }
    }
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    throw;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    IoOk = 0;
    LogLine("Wrong spectrum-related file");
    return;
  }
  // Logged once the file is whole: a write abandoned part-way names no file.
  LogLine("Fitting results in res-file " + path);
}

// ---- saved results and display ----

void SaveRietveldResults(int32_t mode) {
  if (BothPending()) {
    StatusText = "No fit yet performed";
    return;
  }
  if (mode == 1) {
    LogLine("     Distances between atoms (in Angst)");
    for (int32_t p = 1; p <= Phases(); ++p)
      if (PhaseTable[p].AtomCount > 1) OutputAtomDistances(p);
    return;
  }
  const int32_t m = MainMode == PowderMatchMode ? PowderMatchMode : RietveldMode;
  if (ResultsUnsaved[m] == 0 && !Ui().AskYesNo("Results already saved Still save?", MsgKind::Confirmation)) return;
  UpdatePhasesFromParameters();
  ParametersToSpectrum();
  const std::string t = MainMode == PowderMatchMode ? "Powder match " : "Rietveld analysis ";
  const std::string name = Current() ? Current()->Name : std::string();
  if (name.size() < 43) {
    Emit("*" + std::string(9, ' ') + t + name, 0);
  } else {
    Emit("*" + std::string(19, ' ') + t, 0);
    Emit(name, 0);
  }
  OutputFitStatistics(0);
  Emit("", 0);
  OutputParameterLines(0);
  Emit("", 0);
  for (int32_t p = 1; p <= Phases(); ++p) SavePhase(p);
  ResultsUnsaved[RietveldMode] = 0;
}

void ShowRietveldResults() {
  DialogCaption = "Output of fitting results";
  BeginDialog(0);
  UpdatePhasesFromParameters();
  SetHelpLines(RFactorsHelp);
  ShowMemo(3, 315);
  Form2.Memo1.readOnly = true;
  std::vector<std::string>& memo = Form2.Memo1.lines;
  const auto page = [&]() {
    ShowDialogModal();
    return DialogOk != 0;
  };
  memo.clear();
  OutputFitStatistics(2);
  if (!page()) return;
  for (int32_t p = 1; p <= Phases(); ++p) {
    memo.clear();
    OutputUnitCells(p, 2);
    if (!page()) return;
    if (MainMode == RietveldMode)
      for (int32_t a = 1; a <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++a) {
        memo.clear();
        Emit("      Atom " + AtomTable[a][p].Name + "   No " + std::to_string(a), 2);
        Emit("", 2), Emit("", 2);
        OutputAtomLines(p, a, 2, true);
        if (!page()) return;
      }
    if (Anisotropic(p)) {
      memo.clear();
      OutputAnisotropy(p, 2);
      if (!page()) return;
    }
    if (PhaseModelFlags[p] == 1 && MainMode == RietveldMode) {
      memo.clear();
      OutputMomentBlock(p, 2);
      page();  // Cancel here does not end the display
    }
  }
}
