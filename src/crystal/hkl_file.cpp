#include "crystal/hkl_file.h"
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"

namespace {

constexpr int32_t NumbersPerReflection = 5;  // h, k, l, multiplicity, intensity factor

bool IsFile(const std::string& name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

// x rounded half to even into n; false when x is not finite or the integer does not fit.
bool RoundToInt32(double x, int32_t& n) {
  const double r = std::nearbyint(x);
  if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max())) return false;
  n = static_cast<int32_t>(r);
  return true;
}

struct THklFileRequest {
  int32_t phase = 0;
  double dmin = 0, dmax = 0;
  std::string name;
};

// The dialog; false on Cancel or a field that is not a number.
bool AskHklFile(THklFileRequest& request) {
  double dFirst = DMin, dLast = DMax;  // kept when the spectrum gives no d range
  DRangeToChannels(dFirst, dLast);
  double dmin = MinD(999, dFirst), dmax = MaxD(0.5, dLast);
  OrderD(dmin, dmax);

  DialogCaption = "Input hkl set from a file";
  BeginDialog(0);
  PlaceLabel(Form2.Label5, 20, 12, "Select the phase", WhiteColor, TextBackgroundColor);
  DialogOptions = PhaseChoice;
  DialogOptions.count = MaxPhases;
  DialogOptions.defaultItem = 1;
  ShowRadioGroup(1, MaxPhases, 20, 40, 380, 35);
  ShowBevel(5, 110, 400, 1, 95);
  PlaceLabel(Form2.Label6, 15, 118, "Check the d-range of input hkls", WhiteColor, TextBackgroundColor);
  DialogEditLabel1 = "dmin =";
  DialogEditText1 = FormatNumber(8, 4, dmin);
  DialogEditLabel2 = "dmax =";
  DialogEditText2 = FormatNumber(10, 4, dmax);
  ShowEditFields(20, 100, 148, 2, 100);
  NumberEdit(1), NumberEdit(2);
  PlaceLabel(Form2.Label3, 20, 225, "hkl file name =", WhiteColor, TextBackgroundColor);
  PlaceEdit(Form2.Edit3, 20, 248, "", 380);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  request.phase = Form2.RadioGroup1.itemIndex + 1;
  StrToFloatChecked(Form2.Edit1.text, request.dmin);
  StrToFloatChecked(Form2.Edit2.text, request.dmax);
  request.name = Form2.Edit3.text;
  DeleteSpaces(request.name);
  return DialogOk == 1 && request.phase >= 1 && request.phase <= MaxPhases;
}

// The reflections of the file in [DMin, DMax], in file order, at most MaxHklFileReflections.
std::vector<THklRecord> ReadHklFile(const std::string& name, int32_t phase) {
  const LATTICE& p = PhaseTable[phase];
  const bool withAtoms = p.AtomCount > 0;
  std::vector<THklRecord> list;
  list.reserve(MaxHklFileReflections);
  TextFile f;
  f.Reset(name);
  double v[NumbersPerReflection + 1] = {};  // v[1..5]
  v[5] = 1.0;  // the first reflection's intensity factor when the list ends before it
  bool first = true, skipReported = false;
  while (true) {
    int32_t n = 0;
    ReadNumbers(f, 1, NumbersPerReflection, n, v);
    // Fewer numbers: the end of the file or a "/" line; only the first reflection may lack its
    // intensity factor.
    const bool complete = n == NumbersPerReflection || (first && n == NumbersPerReflection - 1);
    if (!complete) break;
    first = false;
    int32_t idx[4];
    if (!RoundToInt32(v[1], idx[0]) || !RoundToInt32(v[2], idx[1]) || !RoundToInt32(v[3], idx[2]) ||
        !RoundToInt32(v[4], idx[3])) {
      if (!skipReported) ShowMsg("Reflections with wrong indices or multiplicity skipped");
      skipReported = true;
    } else {
      const double Q = CellInverseDSquared(p, idx[0], idx[1], idx[2]);
      const double d = Q > 0 ? 1 / std::sqrt(Q) : 0.0;
      if (Q > 0 && DMin <= d && d <= DMax) {
        if (static_cast<int32_t>(list.size()) == MaxHklFileReflections) {
          ShowMsg("More than " + std::to_string(MaxHklFileReflections) + " hkls in the d-range: the first " +
                  std::to_string(MaxHklFileReflections) + " kept");
          break;
        }
        THklRecord r;
        r.h = idx[0], r.k = idx[1], r.l = idx[2];
        r.Multiplicity = idx[3];
        r.IntensityFactor = v[5];
        r.d = d;
        r.q = 0;
        if (withAtoms) {
          Q0 = Q;
          CalcStructureFactor(0, phase, r.h, r.k, r.l, r.Multiplicity, 0, r.A, r.B, r.q);
        }
        list.push_back(r);
      }
    }
    if (n < NumbersPerReflection) break;
  }
  f.Close();
  return list;
}

}  // namespace

void InputHklFile() {
  THklFileRequest request;
  if (!AskHklFile(request)) return;
  if (!IsFile(request.name)) {
    ShowMsg("No file " + request.name);
    return;
  }
  if (request.dmin < 0) {
    ShowMsg("Wrong d_min " + FormatNumberNoBlanks(4, request.dmin));
    return;
  }
  if (request.dmax < 0 || request.dmax < request.dmin) {
    ShowMsg("Wrong d_max " + FormatNumberNoBlanks(4, request.dmax));
    return;
  }
  DMin = request.dmin;
  DMax = request.dmax;
  const int32_t phase = request.phase;
  if (PhaseTable[phase].AtomCount <= 0 &&
      !Ui().AskYesNo("No atomic information for phase " + std::to_string(phase) + ". Proceed?",
                     MsgKind::Confirmation))
    return;

  // Read whole before anything is stored: an abandoned read leaves the list as it was.
  const std::vector<THklRecord> list = ReadHklFile(request.name, phase);
  const int32_t n = static_cast<int32_t>(list.size());
  for (int32_t i = 1; i <= n; ++i) HklTable[i][phase] = list[static_cast<size_t>(i - 1)];
  PhaseTable[phase].ReflectionCount = n;
  PhaseReflectionAverage(phase);
  // The report warns of a zero maximum |F|: it must be that of the new list.
  MaxStructureFactors(PhaseTable[phase].MaxF, PhaseTable[phase].MaxQ, phase);

  FormHklsOfPhases(1);
  BeginDialog(0);
  ShowListBox(5, 10, 405, 350);
  ShowDialogModal();
  SetParametersPending(5, 1);  // Rietveld and powder match
}
