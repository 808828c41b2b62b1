// The atom editor: per phase the atom list as a memo of names ("=" marks a magnetic atom), then
// one dialog per atom with its occupation, coordinates, thermal terms and scattering length (in a
// magnetic phase its moment, ion and form factor), then the copies to the next phase.
//
// A grid cell or ion text that the user did not change keeps the stored value bit for bit: the
// cells show numbers in 8 characters, and reading those texts back would round every coordinate
// of every atom on every pass, hidden passes included.
#include "crystal/atom_editor.h"
#include <array>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/elements.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/random.h"
#include "core/settings_file.h"
#include "core/site_symmetry.h"
#include "core/small_routines.h"
#include "core/symmetry_expansion.h"
#include "core/text_file.h"
#include "core/ui_backend.h"

namespace {

constexpr const char* PlusSigns = "+++++++";
constexpr int32_t AtomRows = 11;    // occupation, X, Y, Z, T11 .. T33, length or moment
constexpr int32_t FormFactorRows = 7;
constexpr int32_t FieldWidth = 8;   // characters of a grid cell

// The ticks of the list dialog, in the order of the list and of their action.
enum Tick { CopyAll, FullSet, CopyMagnetic, FullMagneticSet, EditFormFactors, TickCount };
constexpr const char* TickCaptions[TickCount] = {
    "Copy all atoms to the next phase", "Make full atom set for the next phase",
    "Copy magnetic atoms to next phase", "Make full magnetic set for next phase",
    "Check and Edit magnetic form-factors"};

// What one pass over an atom's dialog ends with.
enum class Pass { Done, Again, Cancelled };

std::string BlankFree(std::string s) {
  std::erase_if(s, [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
  return s;
}

std::string UpperBlankFree(const std::string& s) {
  std::string t = BlankFree(s);
  UpperCaseUtf8(t);
  return t;
}

// The element row a name stands for, by FindElement's key: its first two characters when the
// second is a letter, else a blank and its first character ("C1" and "O2-" are C and O). 0: none.
int32_t ElementRowOf(const std::string& name) {
  const std::string s = UpperBlankFree(name);
  if (s.empty()) return 0;
  const std::string key = s.size() >= 2 && s[1] >= 'A' && s[1] <= 'Z' ? s.substr(0, 2) : std::string(" ") + s[0];
  for (int32_t r = 1; r <= ElementRowCount; ++r)
    if (key == ElementTable[r].Symbol) return r;
  return 0;
}

// The ion-table row of an ion name; names compare without blanks ("V3" is the row "V 3").
int32_t IonRowOf(const std::string& ion) {
  const std::string s = BlankFree(ion);
  for (int32_t r = 1; r <= IonCount; ++r)
    if (BlankFree(IonTable[r].Name) == s) return r;
  return 0;
}

// The ion text the dialog starts from: the ion name with each digit from the second character
// on replaced by as many plus signs at the end ("MN3" -> "MN+++"); the atom's name when the ion
// name holds no such digit.
std::string IonFieldText(const ATOM& a) {
  std::string text, plus;
  bool digit = false;
  for (size_t i = 0; i < a.IonName.size(); ++i) {
    const char c = a.IonName[i];
    if (i >= 1 && c >= '0' && c <= '9') {
      digit = true;
      plus += std::string(PlusSigns).substr(0, static_cast<size_t>(c - '0'));
    } else {
      text += c;
    }
  }
  return digit ? text + plus : a.Name;
}

// The charge of an ion text: its plus signs among the first ten characters or, without any, the
// first of 1..10 whose digits occur in it; 0 otherwise.
int32_t IonCharge(const std::string& text) {
  int32_t plus = 0;
  for (size_t i = 0; i < text.size() && i < 10; ++i) plus += text[i] == '+';
  if (plus > 0) return plus;
  for (int32_t d = 1; d <= 10; ++d)
    if (text.find(std::to_string(d)) != std::string::npos) return d;
  return 0;
}

// The value grid of the dialog: rows 1..n with captions and values v[1..n]; returns the cell
// texts as shown.
std::vector<std::string> ShowValueGrid(int32_t x, int32_t y, int32_t captionWidth, int32_t valueWidth,
                                       const char* const* captions, const double* v, int32_t n) {
  FillValueColumn(n, captions, v + 1, captionWidth, valueWidth);
  ShowNumberGrid(x, y, n, FieldWidth, 1, n);
  std::vector<std::string> shown;
  for (int32_t i = 0; i < n; ++i) shown.push_back(Form2.StringGrid1.Cell(0, i));
  return shown;
}

// Reads rows 1..n of the value grid into v after OK: a cell whose text (blanks aside) is the one
// shown keeps its value. False when a changed cell holds no number (DialogOk is then 0); v keeps
// what it held.
bool ReadValueGrid(const std::vector<std::string>& shown, double* v, int32_t n) {
  double read[AtomRows + 1];
  for (int32_t i = 1; i <= n; ++i) {
    read[i] = v[i];
    const std::string& text = Form2.StringGrid1.Cell(0, i - 1);
    if (BlankFree(text) != BlankFree(shown[static_cast<size_t>(i - 1)])) StrToFloatChecked(text, read[i]);
  }
  if (DialogOk == 0) return false;
  for (int32_t i = 1; i <= n; ++i) v[i] = read[i];
  return true;
}

// The caption of an atom's dialog: the site multiplicity of the position x, y, z in phase p.
std::string AtomCaption(const std::string& title, int32_t p, const double (&xyz)[3]) {
  return title + "   Occupation = occupied part of the site x site multiplicity (" +
         std::to_string(FindSiteSymmetry(PhaseTable[p], xyz).multiplicity) + " here)";
}

// Step 1 to 3: the list dialog of phase p. False after Cancel; otherwise lines holds the memo and
// ticks the check marks (all off for the last phase, which has none).
bool AskAtomList(int32_t p, int32_t phases, std::vector<std::string>& lines, bool (&ticks)[TickCount]) {
  DialogCaption = "Enter or Edit the atom list;   phase = " + std::to_string(p);
  BeginDialog(1);
  PlaceMemoTop(Form2.Memo1, 10, 300, 270);
  for (int32_t j = 1; j <= MinI(PhaseTable[p].AtomCount, MaxAtoms); ++j) {
    const ATOM& a = AtomTable[j][p];
    const std::string name = UpperBlankFree(a.Name);
    if (!name.empty()) Form2.Memo1.lines.push_back(name + (a.MagneticFlag == 1 ? "=" : ""));
  }
  const bool withTicks = p < phases;
  if (withTicks) {
    PlaceLabel(Form2.Label1, 10, 272, "Tick magnetic atoms by =  ,e.g. Mn=", WhiteColor, TextBackgroundColor);
    DialogOptions = LREC{};
    for (int32_t i = 0; i < TickCount; ++i) DialogOptions.captions[static_cast<size_t>(i + 1)] = TickCaptions[i];
    DialogOptions.count = TickCount;
    ShowCheckListBox(10, 290, 300, 90);
  }
  ShowDialogModal();
  if (DialogOk == 0) return false;
  for (int32_t i = 0; i < TickCount; ++i) ticks[i] = withTicks && Form2.CheckListBox1.Checked(i);
  lines = Form2.Memo1.lines;
  return true;
}

// Step 4 and 5: the memo's names become atoms 1, 2, ... of phase p (at most 200). An atom in a
// slot beyond the old list or under another name is new: its scattering length is cleared so
// that FindElement gives it the element's.
void ReadAtomList(int32_t p, int32_t mode, const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const std::string& line : lines)
    if (std::string s = BlankFree(line); !s.empty()) names.push_back(s);
  const int32_t n = CappedCount(static_cast<int32_t>(names.size()), MaxAtoms, "atoms");
  const int32_t old = PhaseTable[p].AtomCount;
  for (int32_t j = 1; j <= n; ++j) {
    std::string name = names[static_cast<size_t>(j - 1)];
    ATOM& a = AtomTable[j][p];
    const size_t mark = name.find('=');
    a.MagneticFlag = mark != std::string::npos ? 1 : 0;
    if (mark != std::string::npos) name[mark] = ' ';
    UpperCaseUtf8(name);
    if (j > old || UpperBlankFree(a.Name) != BlankFree(name)) a.ScatteringLength = 0;
    uint8_t found = 0;
    FindElement(name, p, j, found);
    if (found == 0) LogLine("Wrong atomic name " + name);
  }
  PhaseTable[p].AtomCount = n;
  if (mode == 1)
    for (int32_t j = 1; j <= n; ++j) {
      ATOM& a = AtomTable[j][p];
      a.X = Random01();
      a.Y = Random01();
      a.Z = Random01();
    }
}

// Step 6, non-magnetic phase: the element's scattering length for every atom whose length is
// still unset (0, or the 1.0 that ResetAtom and RandomizeAtoms leave); a length the user gave
// stays.
void TakeElementLengths(int32_t p) {
  for (int32_t j = 1; j <= PhaseTable[p].AtomCount; ++j) {
    ATOM& a = AtomTable[j][p];
    UpperCaseUtf8(a.Name);
    const int32_t r = ElementRowOf(a.Name);
    if (r > 0 && (a.ScatteringLength == 0 || a.ScatteringLength == 1.0))
      a.ScatteringLength = ElementTable[r].ScatteringLength;
  }
}

// Step 7 a to g for atom j of phase p, the dialog shown when show is set (viewing then takes the
// new state of the skip tick).
Pass CheckAtom(int32_t p, int32_t j, bool magnetic, bool show, bool& viewing) {
  static const char* const rows[AtomRows] = {"Occupation =", "X =", "Y =", "Z =", "T11 =", "T12 =",
                                             "T13 =", "T22 =", "T23 =", "T33 =", "Scattering length="};
  ATOM& a = AtomTable[j][p];
  double v[AtomRows + 1] = {0, a.Occupation, a.X, a.Y, a.Z, a.T11, a.T12, a.T13, a.T22, a.T23, a.T33,
                            magnetic ? a.MagneticMoment : a.ScatteringLength};
  std::string ionText = IonFieldText(a);
  if (show) {
    const std::string title = "Atom " + std::to_string(j) + "  " + a.Name + "      Check atomic data.";
    const double xyz[3] = {a.X, a.Y, a.Z};
    DialogCaption = AtomCaption(title, p, xyz);
    BeginDialog(1);
    PlaceLabel(Form2.Label5, 5, 24, title, WhiteColor, TextBackgroundColor);
    const char* captions[AtomRows];
    for (int32_t i = 0; i < AtomRows; ++i) captions[i] = rows[i];
    if (magnetic) captions[AtomRows - 1] = "Magnetic moment";
    const std::vector<std::string> shown = ShowValueGrid(30, 50, 150, 100, captions, v, AtomRows);
    // The caption's multiplicity is that of the position as typed.
    Form2.onFieldEdited = [title, p, shown, stored = std::array<double, 3>{a.X, a.Y, a.Z}](TForm2& f) {
      double typed[3];
      for (int32_t i = 0; i < 3; ++i) {
        const std::string& text = f.StringGrid1.Cell(0, i + 1);
        typed[i] = stored[static_cast<size_t>(i)];
        if (BlankFree(text) == BlankFree(shown[static_cast<size_t>(i + 1)])) continue;
        uint8_t ok = 1;
        typed[i] = 0.0;
        if (!IsBlank(text)) StrToFloatRobust(text, typed[i], ok);
        if (ok == 0 || !std::isfinite(typed[i])) return;  // not a position yet: the caption stays
      }
      DialogCaption = AtomCaption(title, p, typed);
      f.caption = " " + DialogCaption;
    };
    if (magnetic) {
      PlaceLabel(Form2.Label6, 70, 2, " The phase is magnetic. ", WhiteColor, GreenColor);
      PlaceLabel(Form2.Label7, 5, 285, "Antiferromagnetic moments should be negative", WhiteColor, GreenColor);
      DialogEditLabel1 = " Enter ion name (e.g. MN+++)";
      DialogEditText1 = ionText;
      ShowEditFields(5, 200, 320, 1, 70);
    }
    SetDialogOptions({" Skip further viewing"});
    ShowCheckListBox(20, 340, 250, 18);
    Form2.CheckListBox1.SetChecked(0, !viewing);
    ShowDialogModal();
    if (DialogOk == 0 || !ReadValueGrid(shown, v, AtomRows)) return Pass::Cancelled;
    if (magnetic) ionText = Form2.Edit1.text;
    viewing = !Form2.CheckListBox1.Checked(0);
  }
  for (int32_t i = 1; i <= AtomRows; ++i) DialogNumbers[i] = v[i];

  int32_t charge = 0;
  if (magnetic) {
    a.MagneticMoment = v[11];
    charge = IonCharge(ionText);
    if (charge >= 6) ShowMsg("Invalid ion name");
  }
  a.Occupation = v[1];
  a.X = v[2], a.Y = v[3], a.Z = v[4];
  a.T11 = v[5], a.T12 = v[6], a.T13 = v[7], a.T22 = v[8], a.T23 = v[9], a.T33 = v[10];
  a.ScatteringLength = v[11];
  if (!magnetic) {
    if (a.ScatteringLength == 0) ShowMsg("Warning, scattering amplitude = 0");
    return Pass::Done;
  }
  // A magnetic phase scatters through the moments only.
  a.IonName = BlankFree(a.Name + std::to_string(charge));
  a.ScatteringLength = 0;
  if (const int32_t r = IonRowOf(a.IonName); r > 0) {
    for (int32_t i = 0; i < 7; ++i) a.FormFactor[i] = IonTable[r].Coefficients[i];
    return Pass::Done;
  }
  return Ui().AskYesNo("Ion " + a.IonName + " not found. Replace?", MsgKind::Warning) ? Pass::Again : Pass::Done;
}

// Step 7 h: the form-factor coefficients of an atom. False after Cancel or a bad number.
bool EditFormFactor(ATOM& a) {
  static const char* const rows[FormFactorRows] = {"  A =", "  a =", "  B =", "  b =", "  C =", "  c =", "  D ="};
  double v[FormFactorRows + 1] = {0};
  for (int32_t i = 0; i < FormFactorRows; ++i) v[i + 1] = a.FormFactor[i];
  DialogCaption = "Enter form-factor coefficients";
  BeginDialog(1);
  const std::vector<std::string> shown = ShowValueGrid(30, 20, 100, 150, rows, v, FormFactorRows);
  ShowDialogModal();
  if (DialogOk == 0 || !ReadValueGrid(shown, v, FormFactorRows)) return false;
  for (int32_t i = 0; i < FormFactorRows; ++i) a.FormFactor[i] = v[i + 1];
  return true;
}

// Step 7: the atoms of phase p one by one. False when the user cancelled.
bool CheckAtoms(int32_t p, bool formFactors) {
  const bool magnetic = PhaseModelFlags[p] == 1;
  bool viewing = true;
  for (int32_t j = 1; j <= PhaseTable[p].AtomCount; ++j) {
    Pass pass = CheckAtom(p, j, magnetic, viewing, viewing);
    // "Replace?" answered Yes: the same atom's dialog again, shown even with viewing off.
    while (pass == Pass::Again) pass = CheckAtom(p, j, magnetic, true, viewing);
    if (pass == Pass::Cancelled) return false;
    if (magnetic && formFactors && viewing && !EditFormFactor(AtomTable[j][p])) return false;
  }
  return true;
}

// The refusal of the magnetic copies when phase q is not magnetic.
bool MagneticTarget(int32_t q) {
  if (PhaseModelFlags[q] == 1) return true;
  ShowMsg("Error, phase " + std::to_string(q) + " not magnetic");
  return false;
}

// Step 8: the ticked copies of phase p to phase p + 1, in the order of the ticks. False when the
// next phase refuses magnetic atoms.
bool CopyToNextPhase(int32_t p, const bool (&ticks)[TickCount]) {
  const int32_t q = p + 1;
  const int32_t n = PhaseTable[p].AtomCount;
  if (ticks[CopyAll]) {
    for (int32_t j = 1; j <= n; ++j) CopyAtom(j, j, p, q);
    PhaseTable[q].AtomCount = n;
  }
  if (ticks[FullSet]) ExpandAtomsBySymmetry(p, 0);
  if (ticks[CopyMagnetic]) {
    if (!MagneticTarget(q)) return false;
    int32_t m = 0;
    for (int32_t j = 1; j <= n; ++j)
      if (AtomTable[j][p].MagneticFlag == 1) CopyAtom(j, ++m, p, q);
    PhaseTable[q].AtomCount = m;
    if (m == 0) ShowMsg("No ticked magnetic atoms");
  }
  if (ticks[FullMagneticSet]) {
    if (!MagneticTarget(q)) return false;
    ExpandAtomsBySymmetry(p, 1);
    if (PhaseTable[q].AtomCount == 0) ShowMsg("No ticked magnetic atoms");
  }
  return true;
}

// After all phases: the coincidence warning and the count line of each phase.
void ReportAtoms(int32_t phases) {
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t n = MinI(MaxI(PhaseTable[p].AtomCount, 0), MaxAtoms);
    bool coincide = false;
    for (int32_t i = 1; i <= n && !coincide; ++i)
      for (int32_t j = i + 1; j <= n && !coincide; ++j) {
        const ATOM& a = AtomTable[i][p];
        const ATOM& b = AtomTable[j][p];
        coincide = a.X == b.X && a.Y == b.Y && a.Z == b.Z && a.Occupation == 1.0 && b.Occupation == 1.0;
      }
    if (coincide) ShowMsg("Warning! Coinciding atom coordinates");
    LogLine(FormatInteger(n, 4) + " atom[s] set up, phase= " + std::to_string(p));
  }
}

}  // namespace

void EditAtomList(int32_t mode) {
  if (NoCrystalInfo != 0) {
    ShowMsg("Error, no phase information");
    DialogOk = 0;
    return;
  }
  SetHelpLines(AtomListHelp);
  const int32_t phases = MinI(MaxI(PhaseCount, 0), MaxPhases);
  bool formFactors = false;  // the last phase keeps the tick of the one before
  bool stored = false, completed = true;
  for (int32_t p = 1; p <= phases && completed; ++p) {
    std::vector<std::string> lines;
    bool ticks[TickCount] = {};
    if (!AskAtomList(p, phases, lines, ticks)) {
      completed = false;
      break;
    }
    if (p < phases) formFactors = ticks[EditFormFactors];
    ReadAtomList(p, mode, lines);
    stored = true;
    if (PhaseModelFlags[p] != 1) TakeElementLengths(p);
    completed = CheckAtoms(p, formFactors) && (p == phases || CopyToNextPhase(p, ticks));
  }
  if (completed) ReportAtoms(phases);
  // A list once replaced changes the layout of the Rietveld parameters, also when the chain ends
  // early.
  if (stored) {
    SetParametersPending(1, 1);
    UpdateAtomFixFlags(0);
  }
  DialogOk = completed ? 1 : 0;
}
