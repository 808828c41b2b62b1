#include "crystal/fit_windows.h"
#include <algorithm>
#include <cmath>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/toolbox.h"
#include "crystal/parameter_editor.h"

namespace {

constexpr int32_t FitControlRows = 8;

// A rounded number held inside int32 (a huge field must not overflow the conversion).
int32_t RoundedInt(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

// The dialog's list box with the given lines, shown modally.
void ShowLines(std::vector<std::string> lines, int32_t x, int32_t y, int32_t width, int32_t height) {
  PlaceListBox(Form2.ListBox1, x, y, height, width);
  Form2.ListBox1.items = std::move(lines);
  ShowDialogModal();
}

}  // namespace

void EditFitControls() {
  TFitControls& c = DefaultFitControls;
  const TParameter* fit = ModeParameterObject();
  const TFitControls& modes = fit ? fit->Controls() : c;
  DialogCaption = "Check the Fit Controls";
  BeginDialog(1);
  SetHelpLines(FitControlsHelp);
  const char* labels[FitControlRows] = {" GN-iter.=", " step   = ", " damp   = ", " Eps req.=",
                                        " Delta  = ", " Beta   = ", " Alpha  = ", " skip   = "};
  const double values[FitControlRows] = {static_cast<double>(c.GNIter), c.Step, c.Damp, c.EpsReq,
                                         c.Delta, c.Beta, c.Alpha, static_cast<double>(c.Skip)};
  FillValueColumn(FitControlRows, labels, values, 120, 100);
  ShowNumberGrid(10, 10, FitControlRows, 10, 1, FitControlRows);
  PlaceLabel(Form2.Label1, 10, 195, " Specify the modes ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" Free convergence", " Break if inconvergence", " Guaranteed convergence"},
                   std::clamp(modes.ConvergenceMode, 0, 2) + 1);
  ShowRadioGroup(1, 1, 10, 70, 200, 215);
  SetDialogOptions({" Modulus (robust) fitting", " Least square fitting"}, modes.FittingKind == 1 ? 1 : 2);
  ShowRadioGroup(2, 1, 215, 50, 195, 215);
  SetDialogOptions({" Use non-equidistant channels ", " Use constant weights "});
  ShowCheckListBox(10, 295, 300, 40);
  Form2.CheckListBox1.SetChecked(0, NonEquidistantChannels != 0);
  Form2.CheckListBox1.SetChecked(1, c.ConstantWeights != 0);
  ShowDialogModal();
  if (DialogOk != 1) return;

  double v[FitControlRows + 1] = {};
  for (int32_t i = 1; i <= FitControlRows; ++i) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
    if (!std::isfinite(v[i])) DialogOk = 0;
  }
  if (DialogOk != 1) return;
  NonEquidistantChannels = Form2.CheckListBox1.Checked(0) ? 1 : 0;
  c.ConstantWeights = Form2.CheckListBox1.Checked(1) ? 1 : 0;
  c.FittingKind = Form2.RadioGroup2.itemIndex == 0 ? 1 : 2;
  c.ConvergenceMode = std::clamp(Form2.RadioGroup1.itemIndex, 0, 2);
  c.GNIter = RoundedInt(v[1]);
  c.Step = std::min(v[2], 1.0);
  c.Damp = v[3];
  c.EpsReq = v[4];
  c.Delta = v[5];
  c.Beta = v[6];
  c.Alpha = v[7];
  c.Skip = RoundedInt(std::max(v[8], 1.0));
}

std::vector<std::string> ParameterErrorLines(const TParameter* fit) {
  std::vector<std::string> out;
  if (!fit) return out;
  const int32_t n = std::clamp(fit->NPar, 0, fit->RecordCapacity());
  for (int32_t i = 1; i <= n; ++i) {
    const ParameterRecord& r = fit->Records[static_cast<size_t>(i)];
    const double corr = static_cast<size_t>(i) < fit->CorrFactor.size() ? fit->CorrFactor[static_cast<size_t>(i)] : 0;
    out.push_back(FormatNumber(5, 0, i) + FormatNumber(15, 4, r.value) + " +- " +
                  (fit->ErrorUndeterminedAt(i) ? std::string(11, ' ') + "?" : FormatNumber(12, 4, r.Error)) + " " +
                  FormatNumber(12, 1, corr));
  }
  return out;
}

void ShowParameterErrors() {
  DialogCaption = "Parameter Errors and Correlation Factors";
  PrepareDialog(380, 1, 450);
  SetHelpLines(EmptyHelpTopic);
  PlaceLabel(Form2.Label1, 10, 5, "Parameter    Error    Corr.Factor", WhiteColor, TextBackgroundColor);
  ShowLines(ParameterErrorLines(ModeParameterObject()), 10, 25, 360, 335);
}

std::vector<std::string> FitQualityLines(const TParameter* fit) {
  std::vector<std::string> out;
  if (!fit) return out;
  const auto ok = [](bool good) { return std::string(good ? "OK" : "NOT OK"); };
  std::string chi = FormatNumber(10, 2, fit->ChiDf);
  TrimLeadingBlanks(chi);
  out = {"",
         fit->CompressionNote,
         fit->ContradictionWarning,
         fit->NoFreeParametersError,
         fit->WrongArrayError,
         " Convergence=    " + ok(fit->Conv != 0),
         " Mat.Inversion=  " + ok(fit->MatInv != 0),
         " GN-iterations=  " + std::to_string(fit->Iterations),
         " Chi_regul    =  " + FormatNumber(10, 2, fit->ChiReg),
         " Par on boundary= " + ok(fit->ParOnB != 1),
         " Chi2/df =       " + chi,
         " Chi+   =        " + FormatNumber(5, 2, fit->ChiPlus),
         " Eps achieved=   " + FormatNumber(8, 1, fit->Eps),
         " Good par.=      " + FormatNumber(5, 2, fit->GoodP),
         " Chi-deviation=  " + FormatNumber(5, 2, fit->ChiDev)};
  return out;
}

void ShowFitQuality() {
  DialogCaption = "Check the Fit Quality";
  BeginDialog(1);
  SetHelpLines(FitControlsHelp);
  ShowLines(FitQualityLines(ModeParameterObject()), 10, 10, 400, 350);
}

void EnterIniFileName() {
  std::string name = IniFileName;
  // An empty settings file leaves " ": offered as an empty name, not " .ini".
  if (IsBlank(name)) name.clear();
  if (!name.empty() && name.find('.') == std::string::npos) name += ".ini";
  DialogCaption = "Enter INI-file name";
  const std::string offered = name;
  AskFileName(name, 0);
  if (DialogOk == 1)
    EditTextFile(name);
  else
    name = offered;  // the open dialog's Cancel leaves only the file part: the folder is kept
  IniFileName = name;
}

void ShowMarkedPoints() {
  const int32_t count = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  DialogCaption = std::to_string(count) + " points and model numbers";
  BeginDialog(1);
  SetHelpLines(MarkedPointsHelp);
  ShowMemo(10, 300);
  for (int32_t i = 1; i <= count; ++i) {
    const int32_t model = i <= MarkedPointModelCount ? MarkedPointModels[i] : 1;
    Form2.Memo1.lines.push_back(FormatNumberNoBlanks(0, std::nearbyint(MarkedPoints[i])) + "   " +
                                std::to_string(model));
  }
  ShowDialogModal();
  if (DialogOk != 1) return;

  std::vector<std::pair<double, int32_t>> points;
  for (const std::string& line : Form2.Memo1.lines) {
    // Blank lines and lines without a digit (which the free-field reader would take as 0) are
    // not points.
    if (line.find_first_of("0123456789") == std::string::npos) continue;
    int32_t n = 0;
    ParseNumbers(n, line);
    if (n < 1) continue;
    if (static_cast<int32_t>(points.size()) == MarkedPointLineLimit) {
      ShowMsg("Too many points,>500");
      break;
    }
    points.emplace_back(std::nearbyint(NumberBuffer[1]), n >= 2 ? RoundedInt(NumberBuffer[2]) : 1);
  }
  const int32_t taken = static_cast<int32_t>(points.size());
  for (int32_t i = 1; i <= taken; ++i) {
    MarkedPoints[i] = points[static_cast<size_t>(i - 1)].first;
    // Model numbers beyond the model table are not kept; such a point uses model 1.
    if (i <= MarkedPointModelCount) MarkedPointModels[i] = points[static_cast<size_t>(i - 1)].second;
  }
  MarkedPointCount = taken;
}

void ShowIniComments() {
  DialogCaption = "CommentstoINIcommands";
  PrepareDialog(530, 0, 450);
  ListSavedFlag = 0;
  ShowMemo(10, 500);
  Form2.Memo1.lines = IniCommentLines;
  ShowDialogModal();
}
