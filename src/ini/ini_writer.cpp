// The INI writer ("Save Ini-file"): the set-up in 34 sections, each a title whose capitals are the
// key of the reading command, "*" comments and value lines laid out as that command reads them.
// Lines end CR LF; every write is checked by the text file, which abandons the command on failure.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/peak_model.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/parameter_editor.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"
#include "ini/ini_writer.h"

namespace fs = std::filesystem;

// ---- fields ----

namespace {

// Significant digits of the exponent form where a value is too small or too large for the fixed
// one (within 5e-7 of the value).
constexpr int32_t ValueDigits = 7;

// x rounded to ValueDigits significant digits.
double SignificantValue(double x) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, ValueDigits - 1);
  double y = 0;
  std::from_chars(buf, r.ptr, y);
  return y;
}

// The decimals that round x within 1e-6 of its magnitude: the step 10^-d lies between 2e-7 and
// 2e-6 of |x|. A step that follows the magnitude alone makes the text a fixpoint: what it reads
// back as (moved by less than half a step by a conversion, too) is written as the same text.
int32_t NeededDecimals(double x) {
  return x == 0.0 ? 0 : static_cast<int32_t>(std::ceil(-std::log10(2e-6 * std::abs(x))));
}

// Trailing zeros of the digits that end at end, cut while more than keep digits stay after the
// point (for a mantissa: significant digits in all), and a point left alone.
void TrimZeros(std::string& s, size_t end, int32_t keep, bool significant) {
  const size_t point = s.find('.');
  if (point == std::string::npos || point > end) return;
  auto kept = [&](size_t last) {
    if (!significant) return static_cast<int32_t>(last - point);
    int32_t n = 0;  // a mantissa's digits are its significant ones (0 has one)
    for (size_t i = 0; i <= last; ++i) n += s[i] >= '0' && s[i] <= '9';
    return n;
  };
  size_t last = end - 1;
  while (last > point && s[last] == '0' && kept(last - 1) >= keep) --last;
  if (last == point) --last;
  s.erase(last + 1, end - last - 1);
}

void PadTo(std::string& s, int32_t width) {
  const size_t lead = s.find_first_not_of(' ');
  s.erase(0, lead == std::string::npos ? 0 : lead);
  if (static_cast<int32_t>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
}

}  // namespace

std::string IniField(int32_t width, int32_t decimals, double x) {
  if (!std::isfinite(x)) x = 0.0;
  decimals = std::max(decimals, 0);
  // The decimals follow from the magnitude alone (a rounding within 1e-6 of it), and the zeros
  // after the field's own decimals go: what the text reads back as is written as the same text.
  const double shown = std::abs(SignificantValue(x));
  if (x == 0.0 || (shown >= 1e-11 && shown < 1e17)) {
    std::string s = FormatFixed(0, std::clamp(NeededDecimals(x), decimals, std::max(decimals, 17)), x);
    TrimZeros(s, s.size(), decimals, false);
    PadTo(s, width);
    return s;
  }
  // A magnitude the fixed digits cannot hold (5.6e-123, 1e300): the exponent form.
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, ValueDigits - 1);
  std::string s(buf, r.ptr);
  const size_t e = s.find('e');
  s[e] = 'E';
  TrimZeros(s, e, 1, true);
  PadTo(s, width);
  return s;
}

std::string IniIntField(int32_t width, int32_t n) {
  std::string s = std::to_string(n);
  if (static_cast<int32_t>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

std::string IniExponent(int32_t width, int32_t precision, double x) {
  // The digits of IniField's step, the zeros beyond precision cut: the same fixpoint.
  if (!std::isfinite(x)) x = 0.0;
  const int32_t magnitude = x == 0.0 ? 0 : static_cast<int32_t>(std::floor(std::log10(std::abs(SignificantValue(x)))));
  std::string s;
  FormatExponent(0, std::clamp(NeededDecimals(x) + magnitude + 1, precision, 17), s, x);
  const size_t sign = s.find_last_of("+-");
  TrimZeros(s, sign == 0 || sign == std::string::npos ? s.size() : sign, precision, true);
  PadTo(s, width);
  return s;
}

namespace {

TextFile& Out() { return IniTextFile; }
void Line(const std::string& text) { Out().WriteLine(text); }

// Fields side by side; a blank goes between two fields that a widened field would otherwise join.
std::string Join(std::initializer_list<std::string> fields, const char* between = "") {
  std::string line;
  for (const std::string& f : fields) {
    if (!line.empty()) {
      line += between;
      if (line.back() != ' ' && !f.empty() && f.front() != ' ') line += ' ';
    }
    line += f;
  }
  return line;
}

std::string Bare(const std::string& name) { return fs::path(name).filename().string(); }

// A name that stands for no file: empty, a single blank, or the working folder (the value a
// spectrum's names hold when no file was given).
bool NoFile(const std::string& name) { return name.empty() || name == " " || name == WorkDir; }

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }
int32_t Atoms(int32_t p) { return std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); }
// The group file phase p was read from, else the one last named.
const std::string& GroupFile(int32_t p) {
  return PhaseGroupFileNames[p].empty() ? SpaceGroupFileName : PhaseGroupFileNames[p];
}

// ---- mode 1 (powder indexing) ----

void WriteIndexingSections(const TSpectrum* sp) {
  Line(".......Enter D-Spacings");
  const double path = sp ? sp->FlightPath : 0, lambda = sp ? sp->Lambda : 0, theta = sp ? sp->Theta : 0;
  const double delay = sp ? sp->Delay : 0, width = sp ? sp->ChanWidth : 0;
  Line(IniIntField(10, DSpacingDataType) + " * data_type: 0-ds  1-theta  2-2theta  3-TOFchans");
  Line(IniField(10, 5, path) + " * Fpath");
  Line(IniField(10, 5, lambda) + " * lambda");
  Line(IniField(10, 3, theta) + " * theta (Bragg angle)");
  Line(IniField(10, 4, delay) + " * 0-shift (delay)");
  Line(IniField(10, 4, width) + " * channel width");
  Line(IniIntField(10, CynematicFit) + " * if 1 = fit cynematic parameters; 0 = no");
  Line("*  d      err    ang/chan");
  for (int32_t k = 1; k <= std::clamp(DSpacingCount, 0, MaxDSpacings); ++k) {
    const TDSpacingRecord& r = DSpacingList[k];
    Line(Join({IniField(9, 4, r.d), IniField(9, 4, r.Error), IniField(9, 4, r.X)}));
  }
  Line("/");
  Line(".......Set Number of Phases");
  Line(IniIntField(3, PhaseCount));
  Line(".......Set the Symmetries for AutoIndexing");
  Line("* 1=tricl 2=monocl 3=orthorh 4=tetra 5=cubic 6=hexa 7=rhombohed");
  for (int32_t p = 1; p <= Phases(); ++p) Line(IniIntField(3, PhaseTable[p].CrystalSystem));
  Line(".......Set the Volumes");
  Line("* for all the phases");
  for (int32_t p = 1; p <= Phases(); ++p) Line(IniField(10, 1, CellVolumes[p]));
  Line(".......Set the Volume Minimizers");
  Line("* multiples providing for \"most rectangular\" unit cell");
  for (int32_t p = 1; p <= Phases(); ++p) Line(IniField(15, 7, VolumeMinimizers[p]));
  Line(".......Set the HKL Bounds");
  Line("* hmax  hmin kmax  kmin  lmax   (lmin=0)");
  for (int32_t p = 1; p <= Phases(); ++p) {
    std::string line;
    for (int32_t j = 0; j < 5; ++j) line += IniIntField(4, HklBounds[p][j]);
    Line(line);
  }
  const int32_t tries = CelixFitterCreated != 0 && CelixFitter ? CelixFitter->TriesPerBin : 0;
  if (tries != 0) {
    Line(".......Set Deterministic Mode");
    Line("* N of steps in each bin");
    Line("* for the phase 1 also number of tries in each bin");
    for (int32_t p = 1; p <= Phases(); ++p) {
      std::string line;
      for (int32_t j = 1; j <= 6; ++j) line += IniIntField(4, BinCounts[p][j]);
      Line(p == 1 ? line + IniIntField(5, tries) : line);
    }
  }
  TParameter* fit = ModeParameterObject();
  WriteIniParameterSection(fit && fit->NPar != 0 ? 1 : 0);
}

// ---- spectra (sections 13 to 21) ----

void WriteSpectrumSections(const TSpectrum* sp, int32_t m) {
  const bool calibrated = m == 0 || m == 2;
  if (sp && !NoFile(sp->Name)) {
    const bool angular = sp->AxisKind == AxisAngular;
    Line(std::string(".......Info about the ") + (angular ? "Angular " : "") + " Spectrum");
    Line("* filename");
    Line(Bare(sp->Name));
    Line("* NofSp; SpTyp; a1,   a2,  a11,  a22");
    Line(IniIntField(4, CurrentSpectrum) + IniIntField(4, sp->FileType) + IniIntField(7, sp->FirstChannel) +
         IniIntField(7, sp->LastChannel) + IniIntField(7, sp->WorkFirst) + IniIntField(7, sp->WorkLast));
    if (calibrated && !angular) {
      Line("* Fpath(m)  delay(chan)  chwidth(mks)  Bragg(th)");
      Line(Join({IniField(10, 5, sp->FlightPath), IniField(8, 2, sp->Delay), IniField(7, 1, sp->ChanWidth),
                 IniField(9, 3, sp->Theta)}, " "));
    }
    if (calibrated && angular) {
      Line("* Lambda(A) 0-shift(deg) chan_width(deg)  2Theta(a1)");
      const double first = sp->X[std::clamp(sp->FirstChannel, 1, MaxChannels)];
      Line(Join({IniField(10, 5, sp->Lambda), IniField(8, 2, sp->Delay), IniField(7, 3, sp->ChanWidth),
                 IniField(7, 4, first)}, " "));
    }
    const std::string widths = Join({IniField(7, 2, sp->W0), IniField(7, 2, sp->Dw0), IniField(7, 3, sp->W1),
                                     IniField(7, 3, sp->W2), IniIntField(4, sp->BackgroundDegree)}, " ");
    if (calibrated) {
      Line("* W0,   dW0,  W1,  W2, dback  abs1  abs2    shape(0=cyl.)");
      Line(Join({widths, IniField(8, 5, sp->Abs1), IniField(8, 5, sp->Abs2), IniIntField(3, sp->SampleShape)}, " "));
    } else if (m == 3) {
      Line("* W0,   dW0,  W1,  W2, dback");
      Line(widths);
    }
  }
  if (sp && !NoFile(sp->VarianceName)) {
    Line(".......Info about the Variance");
    Line("* filename");
    Line(Bare(sp->VarianceName));
    Line("* NofSp;   SpTyp;   Error type");
    Line(IniIntField(4, CurrentSpectrum) + IniIntField(4, sp->VarianceFileType) + IniIntField(4, AsciiErrorType));
  }
  const TSpectrum* eff = SpectrumList[0].get();
  if (calibrated && sp && sp->AxisKind == AxisTimeOfFlight && eff && !NoFile(eff->Name) &&
      eff->Name != "DN2-vanadium") {
    Line(".......Info about the Effective Spectrum");
    Line("* filename");
    Line(Bare(eff->Name));
    Line("* SpTyp; a1, a2, Ncons, Fpath(m), delay(chan),  chwidth(mks), Bragg(th)");
    Line(Join({IniIntField(4, eff->FileType), IniIntField(7, eff->FirstChannel), IniIntField(7, eff->LastChannel),
               IniField(9, 3, eff->Factor), IniField(11, 5, eff->FlightPath), IniField(8, 2, eff->Delay),
               IniField(7, 1, eff->ChanWidth), IniField(9, 3, eff->Theta)}));
  }
  if (calibrated && sp && sp->AxisKind == AxisTimeOfFlight && !NoFile(sp->Name) && sp->NormalizedFlag) {
    Line(".......Normalize the Spectrum and Correct for Absorption");
    Line("* isp");
    Line(IniIntField(4, CurrentSpectrum));
  }
  Line(".......Set the Width and Background Modes");
  Line(IniIntField(5, WidthMode) + IniIntField(5, BackgroundMode));
}

// ---- crystal (sections 22 to 26) ----

void WriteCrystalSections() {
  Line(".......Info about the Lattice Parameters");
  for (int32_t p = 1; p <= Phases(); ++p) {
    const LATTICE& ph = PhaseTable[p];
    Line("* A  B  C  alpha  beta  gamma of phase " + std::to_string(p));
    Line(Join({IniField(10, 5, ph.Cell[0]), IniField(10, 5, ph.Cell[1]), IniField(10, 5, ph.Cell[2]),
               IniField(7, 2, ph.Cell[3]), IniField(7, 2, ph.Cell[4]), IniField(7, 2, ph.Cell[5])}));
    Line("* nsg  sett  n_atoms  keycos  cpw");
    Line(IniIntField(4, ph.SpaceGroup) + IniIntField(4, ph.Setting) + IniIntField(5, ph.AtomCount) + "   0        0");
    // The reader takes a group file after a phase 2..6 of group 777.
    if (ph.SpaceGroup == 777 && p > 1) {
      Line("* space group filename");
      Line(GroupFile(p));
    }
  }
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (PhaseModelFlags[p] != 1) continue;
    const LATTICE& ph = PhaseTable[p];
    Line(".......Set Magnetic Phase");
    Line("* phase N   symmetry");
    Line(IniIntField(5, p) + IniIntField(5, ph.CrystalSystem));
    Line("* h0    k0    l0");
    Line(Join({IniField(8, 2, ph.MomentDirection[0]), IniField(8, 2, ph.MomentDirection[1]),
               IniField(8, 2, ph.MomentDirection[2])}));
    Line("* mag.space group filename");
    Line(GroupFile(p));
    for (int32_t i = 1; i <= Atoms(p); ++i) Line(IniNameLine(AtomTable[i][p].IonName));
    Line("* Magnetic moments");
    for (int32_t i = 1; i <= Atoms(p); ++i) Line(IniField(10, 4, AtomTable[i][p].MagneticMoment));
  }
  if (AnisotropyOn)
    for (int32_t p = 1; p <= Phases(); ++p) {
      if (!AnisotropicPhases[p]) continue;
      Line(".......Set Anisotropic Phase");
      Line("* Anis-phase N");
      Line(IniIntField(5, p));
      Line("* anis_pars: 1...9");
      for (int32_t half = 0; half < 2; ++half) {
        std::string line;
        for (int32_t j = 0; j < 6; ++j) line = Join({line, IniField(10, 3, PhaseTable[p].Anisotropy[6 * half + j])});
        Line(line);
      }
    }
}

void WriteM2Section() {
  Line(".......Set M2 Mode");
  Line("* m\"_pars: 1...2");
  Line(Join({IniField(10, 3, M2ModeValues[0]), IniField(10, 3, M2ModeValues[1])}));
}

void WriteAtomSection() {
  Line(".......Info about the Atomic Parameters");
  bool unnamed = false;
  for (int32_t p = 1; p <= Phases(); ++p)
    for (int32_t i = 1; i <= Atoms(p); ++i) {
      const ATOM& a = AtomTable[i][p];
      // Its name line stays empty, and reading it back refuses the atom.
      if (!unnamed && a.Name.find_first_not_of(' ') == std::string::npos) {
        unnamed = true;
        ShowMsg("Atom " + std::to_string(i) + " of phase " + std::to_string(p) + " has no element name");
      }
      Line("* Element name;     atom " + std::to_string(i) + ",  phase " + std::to_string(p));
      Line(IniNameLine(a.Name));
      Line("* Occ   x        y       z     t11   t12  t13  t22  t23  t33  scat");
      Line(Join({IniField(7, 3, a.Occupation), IniField(8, 4, a.X), IniField(8, 4, a.Y), IniField(8, 4, a.Z),
                 IniField(8, 3, a.T11)}));
      Line(Join({IniField(8, 3, a.T12), IniField(8, 3, a.T13), IniField(8, 3, a.T22), IniField(8, 3, a.T23),
                 IniField(8, 3, a.T33)}));
      Line(IniField(14, 5, a.ScatteringLength));
    }
}

// The blocks of models 0..last (file numbering) that are not plain Gauss models.
void WriteModelBlocks(int32_t last) {
  for (int32_t i = 0; i <= std::min(last, PeakModelCount - 1); ++i)
    if (PeakModels[static_cast<size_t>(i + 1)] && PeakModels[static_cast<size_t>(i + 1)]->ModelNumber != ModelGauss)
      WriteSpecialModelInfo(i);
}

void WriteAtomNames() {
  Line(".......Get Atomic Info from Par.Array");
  Line("* atom names for phases 1,2,. & scat.lengths(if non-stand.)");
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (PhaseCount > 1) Line("* Phase" + std::to_string(p));
    for (int32_t i = 1; i <= Atoms(p); ++i)
      Line(Join({IniNameLine(AtomTable[i][p].Name), IniField(12, 4, AtomTable[i][p].ScatteringLength)}));
  }
}

void WriteFitControls() {
  const TFitControls& c = DefaultFitControls;
  Line(".......Info about the Main Fit Controls");
  Line("*  N_iter    step       damp         delta         beta");
  Line(Join({IniIntField(7, c.GNIter), IniField(10, 6, c.Step), IniField(15, 10, c.Damp), IniField(15, 2, c.Delta),
             IniField(15, 2, c.Beta)}));
}

bool AnyAtoms() {
  for (int32_t p = 1; p <= Phases(); ++p)
    if (Atoms(p) > 0) return true;
  return false;
}

}  // namespace

void WriteIniParameterSection(uint8_t hasParameters) {
  if (!hasParameters) {
    ShowMsg("No preparing yet performed" + LineBreak + "INI-file without parameters created");
    return;
  }
  Line(".......Info about the Parameters");
  std::vector<std::string> unused;
  WriteParameterArrayText(Out(), unused, 0);
}

void WriteIniSections() {
  const int32_t m = MainMode;
  const TSpectrum* sp = SpectrumList[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, 4))].get();
  Line(".......Set the Mode");
  Line("* 0=Rietveld  1=Powder index. 2=DazazeDedev  3=Fitra");
  Line(IniIntField(3, m));
  if (m == 0 || m == 2) {
    Line(".......Set Number of Phases");
    Line(std::to_string(PhaseCount));
  }
  if (m == 3 && ExponentialCount == 0) {
    Line(".......Set Number of Peaks for Fitra");
    Line(std::to_string(MarkedPointCount));
  }
  if (m == 3 && ExponentialCount != 0) {
    Line(".......Set Number of Exponentials for Fitra");
    Line(std::to_string(ExponentialCount));
  }
  if (m == 1) {
    WriteIndexingSections(sp);
  } else {
    WriteSpectrumSections(sp, m);
    if (m == 0 || m == 2) WriteCrystalSections();
    // The Fitra layout grows by the two m2 records as well.
    if (M2Mode && (m == 0 || m == 2 || m == 3)) WriteM2Section();
    if (m == 0 || m == 2) WriteAtomSection();
    if (m == 2) Line(".......Form the HKLs");
    if (m == 0 || m == 2) WriteModelBlocks(Phases());
    if (m == 3 && MarkedPointCount != 0) {
      int32_t used = 0;
      CheckPeakModelNumbers(used);
      if (used > 1) {
        Line(".......Input Peak Model Assignments");
        const int32_t count = std::clamp(MarkedPointCount, 0, MarkedPointModelCount);
        std::string line;
        for (int32_t k = 1; k <= count; ++k) {
          line += IniIntField(2, MarkedPointModels[k]);
          if (k % 30 == 0 || k == count) Line(line), line.clear();
        }
      }
      WriteModelBlocks(used);
    }
    const bool parameters = FitParameters && FitParameters->NPar != 0;
    WriteIniParameterSection(parameters ? 1 : 0);
    // Without the parameter section the reader would stop at this command and lose the rest.
    if (m == 0 && parameters && AnyAtoms()) WriteAtomNames();
    if (m == 0) Line(".......Form the HKLs");
  }
  WriteFitControls();
  Line(".......STOP");
}

namespace {

// Closes the file being written on every way out.
struct WriteGuard {
  ~WriteGuard() {
    if (IniTextFile.IsOpen()) IniTextFile.Close();
  }
};

}  // namespace

void SaveIniFile(int32_t) {
  DialogCaption = "Saving ini-file";
  SetHelpLines(IniFileHelp);
  DialogEditLabel1 = "Enter the name for ini-file";
  TFileDialog& dialog = Form2.SaveDialog1;
  dialog.filter = "Files(.ini)|*.ini|All|*.*";
  dialog.defaultExt = "ini";
  std::string name = IniFileName == " " ? std::string() : IniFileName;
  uint8_t ok = 0;
  RunSaveDialog(dialog, name, ok);
  if (ok == 0 || name.empty()) return;
  std::string ext = fs::path(name).extension().string();
  UpperCaseCyr(ext);
  if (ext != ".INI" && Ui().AskYesNo("Extention not .ini;  Replace?", MsgKind::Warning)) {
    name += ".ini";
    // The new name may be another existing file.
    if (!ConfirmOverwrite(name)) return;
  }
  IniFileName = name;
  {
    WriteGuard guard;
    IniTextFile.Rewrite(name);
    WriteIniSections();
    IniTextFile.Close();
  }
  StatusMessage = IniFileName + " ini-file created";
}

const char* const IniFrameLines[49] = {
    ".......Set Number of Phases",
    "1",
    ".......Input the Spectrum",
    "* filename",
    "",
    "* NofSp; SpTyp;   a1,    a2,   a11,  a22,",
    "    1              1",
    "* Fpath(m), delay(chan), chwidth(mks), Bragg(th),",
    "",
    "*   w0,   dw0,  w1,   w2, dback    abs1    abs2    shape(0=cyl.)",
    "                                    0       0.1",
    ".......Input the Variance",
    "* filename",
    "",
    "* NofSp; SpTyp;",
    "",
    ".......Input the Effective Spectrum",
    "* filename",
    "",
    "*  SpTyp;    a1,   a2,   Ncons,",
    "                           1",
    "* Fpath(m), delay(chan), chwidth(mks), Bragg(th),",
    "",
    ".......Normalize the Spectrum and Correct for Absorption",
    "* isp",
    "",
    ".......Input the Double-signed Real Model",
    "*   i1   i2   Lbck  nmod   rsm      Nsp",
    "                                     1",
    ".......Input Zero Weights",
    "*   isp   i1   i2",
    "     1",
    ".......Input Lattice Par",
    "*    a         b       c     alpha beta gamma",
    "",
    "* nsg sett nat  keycos coW",
    "                        1",
    ".......Input the Atomic Parameters",
    "* Element name;     atom 1,  phase 1",
    "",
    "* Occ   x        y       z     t11   t12  t13 t22 t23 t33",
    "                                      0   0    0   0   0",
    "*.......Input about the Parameters",
    "* parameter filename",
    "",
    ".......Form HKLs",
    ".......Input the Main Fit Controls",
    "*  N_iter    step       damp",
    "      6  0.990000   0.0100000000",
};

void MakeIniFrame() {
  DialogCaption = "Frame for INI-file";
  SetHelpLines(IniFileHelp);
  std::error_code ec;
  std::string name = fs::current_path(ec).string();
  if (!name.empty() && name.back() != fs::path::preferred_separator) name += fs::path::preferred_separator;
  AskFileName(name, 1);
  if (DialogOk != 1) return;
  TextFile file;
  file.Rewrite(name);
  for (const char* line : IniFrameLines) file.WriteLine(line);
  file.Close();
}
