#include "crystal/info_windows.h"
#include <algorithm>
#include <cmath>
#include <memory>
#include "core/cell_geometry.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/space_groups.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/model_checks.h"
#include "crystal/structure_factor.h"

namespace {

constexpr int32_t SpectrumRows = 14;
constexpr int32_t DSpacingRows = 8;

int32_t RoundedInt(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

// Reads the first n cells of the value grid; false (DialogOk 0) when one is not a finite number.
bool ReadGridNumbers(int32_t n, double* v) {
  for (int32_t i = 1; i <= n; ++i) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
    if (!std::isfinite(v[i])) DialogOk = 0;
  }
  return DialogOk == 1;
}

// The list box of the dialog with the lines, shown modally; false after Cancel.
bool ShowListWindow(std::vector<std::string> lines, int32_t width) {
  PlaceListBox(Form2.ListBox1, 5, 10, 350, width);
  Form2.ListBox1.items = std::move(lines);
  ShowDialogModal();
  return DialogOk == 1;
}

std::string Trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Numbers of width w and d decimals, each after sep but the first.
std::string Joined(const double* x, int32_t n, int32_t w, int32_t d, const std::string& sep) {
  std::string s;
  for (int32_t i = 0; i < n; ++i) s += (i ? sep : "") + FormatNumber(w, d, x[i]);
  return s;
}

// A 3x3 matrix in the form of an operation's text with no translation: per row " -x", " +y" or
// three blanks per column and four blanks, rows joined by ",  ", the "+" opening a row a blank.
std::string MatrixText(const double m[9]) {
  static const char axes[3] = {'x', 'y', 'z'};
  std::string s;
  for (int32_t r = 0; r < 3; ++r) {
    std::string row;
    for (int32_t c = 0; c < 3; ++c) {
      const int32_t e = RoundedInt(m[3 * r + c]);
      row += e == -1 ? std::string(" -") + axes[c] : e == 1 ? std::string(" +") + axes[c] : std::string("   ");
    }
    const size_t plus = row.find('+');
    if (plus != std::string::npos && row.find_first_not_of(' ') == plus) row[plus] = ' ';
    s += (r ? ",  " : "") + row + "    ";
  }
  return s;
}

}  // namespace

// ---- spectra ----

void CheckSpectrumInfo(int32_t s, uint8_t& ok) {
  ok = 1;
  const TSpectrum* sp = SpectrumAt(s);
  if (!sp) {
    ok = 0;
    return;
  }
  const std::string suffix = " for spectrum " + std::to_string(s);
  const bool tof = sp->AxisKind == AxisTimeOfFlight;
  const auto fail = [&](const char* message) {
    ShowMsg(message + suffix);
    ok = 0;
  };
  if (tof && sp->FlightPath <= 0) fail("Wrong Flight path");
  if (sp->AxisKind == AxisAngular && sp->Lambda <= 0) fail("Wrong Lambda");
  if (tof && sp->ChanWidth <= 0) fail("Wrong channel width");
  if (tof && sp->Theta <= 0) fail("Wrong Bragg angle");
  if (s != 0 && sp->W0 <= 0) fail("Wrong width0");
}

void EditSpectrumInfo(std::string& text, int32_t s, uint8_t& ok) {
  TSpectrum* sp = SpectrumAt(s);
  if (!sp) return;
  const bool angular = sp->AxisKind == AxisAngular;
  DialogCaption = "Spectrum " + std::to_string(s);
  PrepareDialog(620, 0, 450);
  const char* labels[SpectrumRows] = {"Beginning =",
                                      "End =",
                                      "Interval beginning =",
                                      "Interval end =",
                                      "Background Mode =",
                                      angular ? "Angle step (deg) =" : "Channel width (mks) =",
                                      angular ? "Zero shift(deg) =" : "Delay(chan) =",
                                      angular ? "1st channel angle(deg) =" : "Bragg angle(deg) =",
                                      angular ? "Wave length(Angs) =" : "Flight Path(m) =",
                                      "Width 0 (chan) =",
                                      "Delta Width0(chan) =",
                                      "Width 1 = ",
                                      "Width 2 = ",
                                      "ToF=0 / Angular=1 / Any=2"};
  const double values[SpectrumRows] = {static_cast<double>(sp->FirstChannel),
                                       static_cast<double>(sp->LastChannel),
                                       static_cast<double>(sp->WorkFirst),
                                       static_cast<double>(sp->WorkLast),
                                       static_cast<double>(sp->BackgroundDegree),
                                       sp->ChanWidth,
                                       sp->Delay,
                                       angular ? sp->X[std::clamp(sp->FirstChannel, 0, MaxChannels)] : sp->Theta,
                                       angular ? sp->Lambda : sp->FlightPath,
                                       sp->W0,
                                       sp->Dw0,
                                       sp->W1,
                                       sp->W2,
                                       static_cast<double>(sp->AxisKind)};
  FillValueColumn(SpectrumRows, labels, values, 180, 100);
  ShowNumberGrid(10, 10, SpectrumRows, 10, 1, SpectrumRows);
  DialogEditLabel1 = "SpName=";
  DialogEditText1 = sp->Name;
  ShowEditFields(310, 370, 20, 1, 245);
  static const char* typeNames[5] = {"", " 2 byte binary    ", " 4 byte binary    ", " ASCII free field ",
                                     " X,Y,[err]        "};
  if (sp->FileType >= 1 && sp->FileType <= 4) text = typeNames[sp->FileType];
  PlaceLabel(Form2.Label2, 310, 60, "Type= " + text + "  (" + std::to_string(sp->FileType) + ")", WhiteColor,
             TextBackgroundColor);
  if (s != 0 && sp->AxisKind == AxisTimeOfFlight) {
    PlaceLabel(Form2.Label3, 310, 90,
               std::string(sp->NormalizedFlag ? "" : " not ") + " normalized for eff.spectrum ", WhiteColor,
               TextBackgroundColor);
    PlaceLabel(Form2.Label4, 310, 110,
               std::string(sp->AbsorptionCorrectedFlag ? "" : " not ") + " corrected for absorption    ", WhiteColor,
               TextBackgroundColor);
  }
  ShowDialogModal();
  double v[SpectrumRows + 1] = {};
  if (DialogOk != 1 || !ReadGridNumbers(SpectrumRows, v)) return;

  if (RoundedInt(v[5]) < -1 || RoundedInt(v[5]) > 7) v[5] = 1;
  if (v[3] < v[1] || v[3] > v[2]) v[3] = v[1];
  if (v[4] < v[1] || v[4] > v[2]) v[4] = v[2];
  CheckInterval(RoundedInt(v[1]), RoundedInt(v[2]), ok);
  if (ok == 0) return;
  int32_t first = RoundedInt(v[1]), last = RoundedInt(v[2]);
  int32_t workFirst = RoundedInt(v[3]), workLast = RoundedInt(v[4]);
  OrderI(first, last);
  OrderI(workFirst, workLast);
  // Every loop over the channels indexes the spectrum's arrays with them.
  if (first < 1 || last > MaxChannels) {
    ShowMsg("Wrong interval");
    ok = 0;
    return;
  }
  sp->FirstChannel = first;
  sp->LastChannel = last;
  sp->WorkFirst = workFirst;
  sp->WorkLast = workLast;
  sp->BackgroundDegree = RoundedInt(v[5]);
  sp->ChanWidth = v[6];
  sp->Delay = v[7];
  sp->Theta = v[8];
  sp->FlightPath = v[9];
  sp->W0 = v[10];
  sp->Dw0 = v[11];
  sp->W1 = v[12];
  sp->W2 = v[13];
  sp->AxisKind = RoundedInt(v[14]);
  if (sp->AxisKind == AxisAngular) sp->Lambda = v[9];
  // Inner blanks belong to the path; only the ends are trimmed.
  sp->Name = Trimmed(Form2.Edit1.text);
  CheckSpectrumInfo(s, ok);
}

void ShowSpectrumInfo() {
  SetHelpLines(SpectrumInfoHelp);
  for (int32_t s = 1; s <= 4; ++s) {
    const TSpectrum* sp = SpectrumAt(s);
    if (!sp) return;
    std::string text = "Spectrum " + std::to_string(s) + " = " + sp->Name;
    uint8_t ok = 1;
    EditSpectrumInfo(text, s, ok);
    if (DialogOk != 1 || ok == 0) return;
  }
  if (const TSpectrum* sp = SpectrumAt(0)) {
    std::string text = "Effective Spectrum = " + sp->Name;
    uint8_t ok = 1;
    EditSpectrumInfo(text, 0, ok);
  }
}

void ShowVarianceInfo() {
  for (int32_t s = 1; s <= 4; ++s) {
    const TSpectrum* sp = SpectrumAt(s);
    if (!sp) return;
    DialogCaption = "Spectrum " + std::to_string(s) + " = " + sp->Name;
    PrepareDialog(420, 1, 450);
    PlaceLabel(Form2.Label1, 10, 20, " Variance " + std::to_string(s) + " = " + sp->VarianceName, WhiteColor,
               TextBackgroundColor);
    if (IsBlank(sp->VarianceName) || sp->VarianceName.find('.') == std::string::npos)
      PlaceLabel(Form2.Label2, 10, 50, " No file name ! ", WhiteColor, TextBackgroundColor);
    const int32_t a = std::clamp(sp->WorkFirst, 0, MaxChannels), b = std::clamp(sp->WorkLast, 0, MaxChannels);
    double sumE = 0, sumY = 0;
    for (int32_t i = std::min(a, b); i <= std::max(a, b); ++i) sumE += sp->E[i], sumY += sp->Y[i];
    const double n = std::abs(b - a) + 1;
    PlaceLabel(Form2.Label3, 10, 80,
               " Interval average error/counts = " + FormatNumberNoBlanks(1, sumE / n) + " / " +
                   FormatNumberNoBlanks(1, sumY / n),
               WhiteColor, TextBackgroundColor);
    ShowDialogModal();
    if (DialogOk != 1) return;
  }
}

// ---- d-spacings ----

void EditDSpacingInfo(int32_t mode) {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  DialogCaption = "Dspacings Info";
  PrepareDialog(520, 0, 450);
  SetHelpLines(EmptyHelpTopic);
  PlaceLabel(Form2.Label1, 10, 10, "Check or edit the data, pertaining to reflections", WhiteColor,
             TextBackgroundColor);
  const char* labels[DSpacingRows] = {"Fpath (m)",  "Lambda (A)",        "Bragg angle (deg)", "Delay / 0-shift",
                                      "Chan.width", "Cyn.par fit.(if 0 ->No)", "Average exp-error",
                                      "Type of reflections"};
  const double values[DSpacingRows] = {sp->FlightPath, sp->Lambda, sp->Theta, sp->Delay, sp->ChanWidth,
                                       static_cast<double>(CynematicFit), AverageDError,
                                       static_cast<double>(DSpacingDataType)};
  FillValueColumn(DSpacingRows, labels, values, 135, 85);
  ShowNumberGrid(10, 40, DSpacingRows, 10, 1, DSpacingRows);
  PlaceLabel(Form2.Label2, 260, 40, "Types: 0 -> d-spacing, 1 -> theta," + LineBreak + "2 -> 2theta, 3 -> channel",
             WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label3, 260, 90, "Fit delay or lambda ?", WhiteColor, TextBackgroundColor);
  if (mode == 0)
    PlaceLabel(Form2.Label4, 10, 230, "d-spacings and errors are not edited here" + LineBreak +
                                          "Use command Edit in CELIX menu",
               WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  double v[DSpacingRows + 1] = {};
  if (DialogOk != 1) return;
  // Row 7 is shown only: whatever it holds is not read.
  for (int32_t i : {1, 2, 3, 4, 5, 6, 8}) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
    if (!std::isfinite(v[i])) DialogOk = 0;
  }
  // The list's columns exist for the types 0..3 only.
  const int32_t type = RoundedInt(v[8]);
  if (type < 0 || type > 3) DialogOk = 0;
  if (DialogOk != 1) return;
  sp->FlightPath = v[1];
  sp->Lambda = v[2];
  sp->Theta = v[3];
  sp->Delay = v[4];
  sp->ChanWidth = v[5];
  // The indexing counts three records per CynematicFit: only 0 or 1 keep its layout.
  CynematicFit = RoundedInt(v[6]) != 0 ? 1 : 0;
  DSpacingDataType = type;
}

std::vector<std::string> DSpacingLines() {
  static const char* pairs[4] = {" d_calc        x ", " th_calc    theta", " 2th_calc    2theta",
                                 " chan_cal      chan"};
  const int32_t type = std::clamp(DSpacingDataType, 0, 3);
  std::vector<std::string> out{std::string("   N   d_exp   error   ") + pairs[type] + "     hkl    phase"};
  const int32_t n = std::clamp(DSpacingCount, 0, MaxDSpacings);
  for (int32_t i = 1; i <= n; ++i) {
    const TDSpacingRecord& r = DSpacingList[i];
    out.push_back(FormatInteger(i, 4) + FormatNumber(8, 4, r.d) + FormatNumber(8, 4, r.Error) +
                  (type == 0 ? FormatNumber(10, 4, r.DCalc) : FormatNumber(10, 2, r.XCalc)) +
                  FormatNumber(10, 2, r.X) + FormatNumber(5, 0, r.h) + FormatNumber(4, 0, r.k) +
                  FormatNumber(4, 0, r.l) + (PhaseCount == 1 ? std::string(4, ' ') : FormatNumber(4, 0, r.Phase)) +
                  (r.Assigned ? "    OK" : ""));
  }
  out.push_back("Average exp-error = " + FormatNumber(12, 5, AverageDError));
  return out;
}

void ShowDSpacings() {
  if (DSpacingCount <= 0) {
    ShowMsg("No d-spacings");
    return;
  }
  EditDSpacingInfo(0);
  DialogCaption = "Dspacings";
  PrepareDialog(600, 1, 450);
  ShowListWindow(DSpacingLines(), 580);
}

// ---- phases and reflections ----

std::vector<std::string> PhaseInfoLines(int32_t p) {
  std::vector<std::string> out;
  if (p < 1 || p > MaxPhases) return out;
  const LATTICE& L = PhaseTable[p];
  const double* rc = L.ReciprocalCell;
  double cosines[3];
  for (int32_t i = 0; i < 3; ++i) cosines[i] = std::cos(rc[3 + i] / 57.2958);
  out.push_back("Direct lattice  = " + Joined(L.Cell, 3, 9, 5, " "));
  out.push_back(std::string(17, ' ') + " " + Joined(L.Cell + 3, 3, 9, 2, " "));
  out.push_back("Inverse lattice =  " + Joined(rc, 3, 7, 4, "   "));
  out.push_back(std::string(19, ' ') + "   " + Joined(cosines, 3, 7, 4, "   "));
  out.push_back(std::string(18, ' ') + "(" + "   " + Joined(rc + 3, 3, 7, 2, "   ") + ")");
  out.push_back("Volume = " + FormatNumber(8, 2, L.Volume) + "    Volume inverse = " +
                FormatNumber(8, 5, L.ReciprocalVolume));
  out.push_back("Number of atoms = " + std::to_string(L.AtomCount));
  out.push_back("Number of hkls = " + std::to_string(L.ReflectionCount));
  if (L.SpaceGroup == 0) {
    out.push_back("Warning, no space group");
    return out;
  }
  const bool magnetic = PhaseModelFlags[p] == 1;
  out.push_back("Space group = " + std::to_string(L.SpaceGroup) + "  Setting = " + std::to_string(L.Setting));
  const char letter = LatticeTypeLetters[static_cast<size_t>(std::clamp(L.LatticeType, 0, 6))];
  out.push_back(std::string(CrystalSystemRow(L.CrystalSystem).name) + ",  " + letter + "-lattice,  " +
                (L.Centrosymmetric ? "" : "non ") + "C-symmetric");
  out.push_back(std::string(10, ' ') + L.Schoenflies + "  " + L.HermannMauguin + (magnetic ? "   Magnetic" : ""));
  out.push_back(" ");
  out.push_back("   Translations,  " + std::to_string(L.CentringCount) + " item[s]");
  std::string vectors;
  for (int32_t v = 1; v <= std::clamp(L.CentringCount, 0, 3); ++v) {
    for (int32_t c = 0; c < 3; ++c) vectors += FormatNumber(5, 2, L.CentringVectors[c][v]);
    vectors += "  ";
  }
  out.push_back(vectors);
  const int32_t ops = std::clamp(L.OperationCount, 0, MaxOperations);
  out.push_back("   Symmetries (" + std::to_string(L.OperationCount) + " item[s])");
  for (int32_t i = 1; i <= ops; ++i) {
    std::string text;
    OperationText(i, p, text);
    out.push_back(text);
  }
  if (magnetic) {
    out.push_back("   Magnetic symmetry set");
    for (int32_t i = 1; i <= ops; ++i) {
      double m[9];
      for (int32_t e = 0; e < 9; ++e) m[e] = L.SecondMatrices[e][i];
      out.push_back(MatrixText(m));
    }
    out.push_back("   h0   k0   l0   for mag. moment plane");
    out.push_back(Joined(L.MomentDirection, 3, 8, 2, ""));
  }
  if (AnisotropyOn && AnisotropicPhases[p]) {
    out.push_back("   Anisotropic, aXYZ, aHKL, aGaBeAl");
    for (int32_t row = 0; row < 3; ++row) out.push_back(Joined(L.Anisotropy + 3 * row, 3, 9, 3, ""));
  }
  return out;
}

void ShowPhaseInfo() {
  if (NoCrystalInfo) {
    ShowMsg("No phase information");
    return;
  }
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    DialogCaption = "Phase " + std::to_string(p) + " information";
    PrepareDialog(600, 1, 450);
    if (!ShowListWindow(PhaseInfoLines(p), 580)) return;
  }
}

std::vector<std::string> HklInfoLines(int32_t p) {
  std::vector<std::string> out;
  if (p < 1 || p > MaxPhases) return out;
  const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
  if (n == 0) return out;
  // Without a current spectrum the channels come from an empty spectrum's constants.
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  std::unique_ptr<TSpectrum> empty;
  if (!sp) sp = (empty = std::make_unique<TSpectrum>("")).get();
  double maxF = 0, maxQ = 0;
  MaxStructureFactors(maxF, maxQ, p);
  out.push_back(std::string(maxF == 0 ? "Warning! " : "") + "Max Structure Factor = " + FormatNumber(10, 5, maxF));
  if (PhaseModelFlags[p] == 1)
    out.push_back(std::string(maxQ == 0 ? "Warning! " : "") + "Max Magnetic Factor = " + FormatNumber(10, 5, maxQ));
  else
    out.push_back(" ");
  out.push_back("   N   h   k   l  mult.   dk     chan.   Abs(F)   Fcos    Fsin     Fm");
  for (int32_t i = 1; i <= n; ++i) {
    const THklRecord& r = HklTable[i][p];
    out.push_back(FormatInteger(i, 4) + FormatNumber(4, 0, r.h) + FormatNumber(4, 0, r.k) + FormatNumber(4, 0, r.l) +
                  FormatNumber(4, 0, r.Multiplicity) + FormatNumber(10, 4, r.d) +
                  FormatNumber(10, 1, sp->DToChannel(r.d)) + FormatNumber(9, 3, std::hypot(r.A, r.B)) +
                  FormatNumber(8, 3, r.A) + FormatNumber(8, 3, r.B) + FormatNumber(8, 3, r.q));
  }
  return out;
}

void ShowHklInfo() {
  const TSpectrum* current = SpectrumAt(CurrentSpectrum);
  if (!current || current->Present == 0) ShowMsg("No spectral info for channel calculation");
  SetHelpLines(HklInfoHelp);
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    if (PhaseTable[p].ReflectionCount <= 0) {
      ShowMsg("No HKLs for phase " + std::to_string(p));
      continue;
    }
    DialogCaption = "Phase " + std::to_string(p) + "    " + PhaseTable[p].HermannMauguin + "  ( " +
                    std::to_string(PhaseTable[p].SpaceGroup) + " )";
    PrepareDialog(620, 1, 450);
    if (!ShowListWindow(HklInfoLines(p), 600)) return;
  }
}
