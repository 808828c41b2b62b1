// The command-file reader: the file and options dialogs, the reading loop and the two key tables.
#include "ini/ini_reader.h"
#include <exception>
#include <optional>
#include <filesystem>
#include <memory>
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_snapshot.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/ui_backend.h"
#include "crystal/cell_update.h"
#include "crystal/parameter_preparation.h"
#include "indexing/taulsm.h"
#include "ini/ini_commands.h"

TextFile IniTextFile;
uint8_t KnownCommand = 0;
std::vector<TIniDispatch> IniDispatchTrace;

namespace {

void Accept() { KnownCommand = 1; }

}  // namespace

// The INI table in dispatch order. TREVO and AUTOC hand over to the evolution module.
const TIniKey IniKeyTable[IniKeyCount] = {
    {"ASCIILS", ReadIniAsciiLineStructure, "ReadIniAsciiLineStructure"},
    {"AT", ReadIniAssignTwoThetas, "ReadIniAssignTwoThetas"},
    {"CP", ReadIniCP, "ReadIniCP"},
    {"ENSSA", ReadIniScatteringAmplitudes, "ReadIniScatteringAmplitudes"},
    {"EDS", ReadIniDSpacings, "ReadIniDSpacings"},
    {"FHKL", IniFormHkls, "IniFormHkls"},
    {"FS", IniStartAnalysis, "IniStartAnalysis"},
    {"GAIPA", ReadIniAtomsFromParameters, "ReadIniAtomsFromParameters"},
    {"IAP", ReadIniAtomicParameters, "ReadIniAtomicParameters"},
    {"IAI", ReadIniAtomicParameters, "ReadIniAtomicParameters"},
    {"IAS", [] { ReadIniSpectrumInfo(1); }, "ReadIniSpectrumInfo(angular)"},
    {"IDRM", [] { ReadIniRealModel(1); }, "ReadIniRealModel(double-signed)"},
    {"IDSRM", [] { ReadIniRealModel(1); }, "ReadIniRealModel(double-signed)"},
    {"IERM", [] { ReadIniModelInfo(0); }, "ReadIniModelInfo(real)"},
    {"IEDRM", [] { ReadIniModelInfo(1); }, "ReadIniModelInfo(double-signed)"},
    {"IEDM", [] { ReadIniModelInfo(1); }, "ReadIniModelInfo(double-signed)"},
    {"IESM", [] { ReadIniModelInfo(2); }, "ReadIniModelInfo(special)"},
    {"IES", ReadIniEffectiveSpectrum, "ReadIniEffectiveSpectrum"},
    {"ILP", ReadIniLatticeParameters, "ReadIniLatticeParameters"},
    {"IMFC", ReadIniFitControls, "ReadIniFitControls"},
    {"IP", [] { ReadIniParameters(0); }, "ReadIniParameters(inline)"},
    {"IPA", [] { ReadIniParameters(1); }, "ReadIniParameters(file)"},
    {"IPMA", ReadIniPeakModelAssignments, "ReadIniPeakModelAssignments"},
    {"IPSO", ReadIniShortOutputPeaks, "ReadIniShortOutputPeaks"},
    {"IPSU", ReadIniSimplePeaks, "ReadIniSimplePeaks"},
    {"IRM", [] { ReadIniRealModel(0); }, "ReadIniRealModel(one-signed)"},
    {"IS", [] { ReadIniSpectrumInfo(0); }, "ReadIniSpectrumInfo(time of flight)"},
    {"IZW", ReadIniZeroWeights, "ReadIniZeroWeights"},
    {"IZWT", ReadIniTrevoZeroWeights, "ReadIniTrevoZeroWeights"},
    {"ISNS", [] { ReadIniSequenceNames(0); }, "ReadIniSequenceNames(spectra)"},
    {"ISVNS", [] { ReadIniSequenceNames(1); }, "ReadIniSequenceNames(spectra and variances)"},
    {"ISS", ReadIniSequenceInfo, "ReadIniSequenceInfo"},
    {"IV", ReadIniVarianceInfo, "ReadIniVarianceInfo"},
    // Bound once the spectrum normalisation of the spectrum functions exists.
    {"NSCA", [] { NormalizeSpectrumCommand(1); }, "NormalizeSpectrumCommand"},
    {"SAP", ReadIniAnisotropicPhase, "ReadIniAnisotropicPhase"},
    {"SMM", ReadIniM2Mode, "ReadIniM2Mode"},
    {"SMP", ReadIniMagneticPhase, "ReadIniMagneticPhase"},
    {"SWBM", ReadIniWidthBackgroundModes, "ReadIniWidthBackgroundModes"},
    {"SDM", ReadIniDeterministicMode, "ReadIniDeterministicMode"},
    {"SNPF", ReadIniNumberOfPeaks, "ReadIniNumberOfPeaks"},
    {"SNEF", ReadIniNumberOfExponentials, "ReadIniNumberOfExponentials"},
    {"SSAI", ReadIniIndexingSymmetries, "ReadIniIndexingSymmetries"},
    {"SV", ReadIniVolumes, "ReadIniVolumes"},
    {"SVM", ReadIniVolumeMinimizers, "ReadIniVolumeMinimizers"},
    {"SHKLB", ReadIniHklBounds, "ReadIniHklBounds"},
    {"SM", ReadIniMainMode, "ReadIniMainMode"},
    {"SNP", ReadIniNumberOfPhases, "ReadIniNumberOfPhases"},
    {"SNRA", ReadIniReflectionCounts, "ReadIniReflectionCounts"},
    {"SDNES", SetDn2EffectiveCommand, "SetDn2EffectiveCommand"},
    {"TREVO", [] { RunTrevoCommand(0); }, "TrevoMain(0)"},
    {"AUTOC", [] { RunTrevoCommand(1); }, "TrevoMain(1)"},
    {"SSS", ReadIniSSS, "ReadIniSSS"},
    {"SSBE", ReadIniSSBE, "ReadIniSSBE"},
    {"THKL", ReadIniTakeHkls, "ReadIniTakeHkls"},
    {"STOP", nullptr, "stop"},
};

const TIniKey DatKeyTable[DatKeyCount] = {
    {"IS", ReadDatSpectrumInfo, "ReadDatSpectrumInfo"},       {"SKES", [] { ReadDatNumbers(1); }, "ReadDatNumbers(1)"},
    {"SCDM", ReadDatFitControls, "ReadDatFitControls"},      {"IAC", ReadDatIAC, "ReadDatIAC"},
    {"IESN", ReadDatIESN, "ReadDatIESN"},             {"FPM", [] { ReadDatPeakModel(0); }, "ReadDatPeakModel(one-signed)"},
    {"FDSPM", [] { ReadDatPeakModel(1); }, "ReadDatPeakModel(double-signed)"},
    {"SNA", ReadDatSNA, "ReadDatSNA"},               {"ISGI", [] { ReadDatSpaceGroups(0); }, "ReadDatSpaceGroups(signed)"},
    {"ESGI", [] { ReadDatSpaceGroups(1); }, "ReadDatSpaceGroups(setting)"},
    {"ICSA", ReadDatAtomNames, "ReadDatAtomNames"},        {"SSIB", ReadDatSSIB, "ReadDatSSIB"},
    {"IIPF", ReadDatParameterFile, "ReadDatParameterFile"},    {"BHKL", [] { ReadDatHkls(2); }, "ReadDatHkls(2)"},
    {"FHKL", [] { ReadDatHkls(17); }, "ReadDatHkls(17)"},         {"FS", ReadDatFS, "ReadDatFS"},
    {"OMAD", Accept, "accepted"},                 {"DCVP", [] { ReadDatNumbers(1); }, "ReadDatNumbers(1)"},
    {"DIEA", [] { ReadDatNumbers(1); }, "ReadDatNumbers(1)"},       {"GRFD", [] { ReadDatNumbers(3); }, "ReadDatNumbers(3)"},
    {"GFD", [] { ReadDatNumbers(3); }, "ReadDatNumbers(3)"},        {"ISV", ReadDatVarianceInfo, "ReadDatVarianceInfo"},
    {"INSP", ReadDatSpectrumCount, "ReadDatSpectrumCount"},    {"NFS", ReadDatNormalization, "ReadDatNormalization"},
    {"AC", ReadDatAbsorption, "ReadDatAbsorption"},         {"INPAP", ReadDatINPAP, "ReadDatINPAP"},
    {"ZW", ReadDatZeroWeights, "ReadDatZeroWeights"},        {"SMW", ReadDatWidthMode, "ReadDatWidthMode"},
    {"UPF", SkipDatLine, "SkipDatLine"},              {"SNP", ReadDatNumberOfPhases, "ReadDatNumberOfPhases"},
    {"STOP", nullptr, "stop"},
};

std::string IniKey(std::string_view title) {
  std::string key;
  CapitalLetters(title, key);
  return key;
}

namespace {

// Closes the command file on every way out; an abandoned reading leaves DialogOk = 0.
class IniFileGuard {
public:
  IniFileGuard() : exceptions_(std::uncaught_exceptions()) {}
  ~IniFileGuard() {
    if (IniTextFile.IsOpen()) IniTextFile.Close();
    ResetIniLineSource();
    if (std::uncaught_exceptions() > exceptions_) DialogOk = 0;
  }
  IniFileGuard(const IniFileGuard&) = delete;
  IniFileGuard& operator=(const IniFileGuard&) = delete;

private:
  int exceptions_;
};

// The titles kept for the trace of one reading (a garbage file may hold millions of lines).
constexpr size_t TraceCapacity = 100000;

// How a reading ended.
enum class Reading { Whole, StoppedByUser, Failed };

// The commands that start a run on the model read so far rather than read into it: none starts
// after an error of the file.
bool StartsARun(const std::string& key) { return key == "FS" || key == "TREVO" || key == "AUTOC"; }

// Step 10: the title lines until STOP, the end of the file or an Abort. After an error the
// reading goes on, so that every wrong line is named; the reading has then failed.
Reading ReadCommands(int32_t iniMode, bool stepWise) {
  IniDispatchTrace.clear();
  IniFailure = {};
  const TIniKey* table = iniMode == 1 ? IniKeyTable : DatKeyTable;
  const int32_t count = iniMode == 1 ? IniKeyCount : DatKeyCount;
  bool anyTitle = false;
  std::string line;
  while (IniNextLine(line)) {
    if (line.empty() || line == " " || line.front() == '*') continue;
    if (line.size() > 255) line.resize(255);
    if (stepWise && !Ui().AskOkCancel(line, MsgKind::Information)) return Reading::StoppedByUser;
    const std::string key = IniKey(line);
    KnownCommand = 0;
    anyTitle = true;
    if (key == "STOP") return IniFailure.count > 0 ? Reading::Failed : Reading::Whole;
    const int32_t titleLine = IniLineNumber();
    TIniDispatch trace{key, titleLine, "", 0};
    IniHandler handler = nullptr;
    for (int32_t i = 0; i < count; ++i) {
      if (key != table[i].key) continue;
      handler = table[i].handler;
      if (handler) trace.handler = table[i].handlerName;
      break;
    }
    const int32_t errorsBefore = IniFailure.count;
    if (handler && IniFailure.count > 0 && StartsARun(key)) {
      trace.handler.clear();
      KnownCommand = 1;
    } else if (handler) {
      handler();
    }
    trace.known = KnownCommand;
    if (IniDispatchTrace.size() < TraceCapacity) IniDispatchTrace.push_back(std::move(trace));
    // A command whose handler named its own error is no unknown command.
    if (KnownCommand == 0 && InhibitWarnings == 0 && IniFailure.count == errorsBefore) {
      // The box shows the text alone; where and what go to the result file and the status line.
      const std::string where = "file " + IniTextFile.Name() + ", line " + std::to_string(titleLine) + ": " + line;
      LogLine(where);
      StatusMessage = where;
      if (!Ui().AskOkCancel("Wrong command ", MsgKind::Information)) {
        if (IniFailure.line == 0) IniFailure.line = titleLine, IniFailure.why = "Wrong command " + line;
        ++IniFailure.count;
        return Reading::Failed;
      }
    }
  }
  if (!anyTitle) {
    IniFailure.line = std::max(IniLineNumber(), 1), IniFailure.why = "no command in the file";
    ++IniFailure.count;
  }
  return IniFailure.count > 0 ? Reading::Failed : Reading::Whole;
}

// Step 11.
void FinishReading() {
  if (IniTextFile.IsOpen()) IniTextFile.Close();
  if (GraphMode != 0) GraphMode = 1;
  if ((MainMode == 0 || MainMode == 2) && UseAvailableArray[MainMode] == 1 && NoCrystalInfo == 0) {
    UpdatePhasesKeepingFileMoments();
  }
}

// The model as it was before a reading, with what the reader itself keeps beside the tables.
struct ReaderSnapshot {
  ReaderSnapshot() {
    model.Keep(IniFileName), model.Keep(ParameterFileName), model.Keep(PreparedParameterCount);
    model.KeepFitter([]() -> TParameter* { return CelixFitter.get(); });
  }
  ModelSnapshot model;
};

// A reading that failed: the model held before comes back and the file is named with the line
// and the reason.
void Abandoned(const ReaderSnapshot& before, const std::string& name) {
  if (IniTextFile.IsOpen()) IniTextFile.Close();
  before.model.Restore();
  const std::string text = "The Ini-file " + name + " has not been read: line " + std::to_string(IniFailure.line) +
                           ", " + IniFailure.why + ". The model held before is kept";
  LogLine(text);
  StatusMessage = text;
  ShowMsg(text);
  DialogOk = 0;
}

// Steps 10 and 11 over the opened file, into a model that comes back when the reading fails.
void ReadAll(const ReaderSnapshot& before, int32_t iniMode, bool reset, bool stepWise) {
  const std::string name = IniTextFile.Name();
  ResetIniLineSource();
  if (reset) {
    ResetModelState(HalfChannels);
    MainMode = 0;
    RandomizeAtoms();
    // The parameter array belongs to the set-up it was formed for: a file without one leaves none.
    if (FitParameters) FitParameters->NPar = 0;
    if (CelixFitter) CelixFitter->NPar = 0;
    PreparedParameterCount = 0;
  }
  DialogOk = 1;
  if (ReadCommands(iniMode, stepWise) == Reading::Failed) return Abandoned(before, name);
  FinishReading();
}

// Steps 3 to 6: the chosen, opened file; false when nothing is to be read.
bool OpenCommandFile(int32_t iniMode) {
  const bool ini = iniMode == 1;
  while (true) {
    TFileDialog& dialog = Form2.OpenDialog1;
    dialog.title = ini ? "Input Ini-file" : "Input KEST dat-file";
    dialog.fileName = IniFileName;
    dialog.defaultExt = ini ? "ini" : "dat";
    dialog.filter = ini ? "Files(.ini)|*.ini|All|*.*|Dat|*.dat" : "Files(.dat)|*.dat|All|*.*|ini|*.ini";
    dialog.initialDir = WorkDir;
    std::optional<std::string> chosen = Ui().OpenFileDialog(dialog);
    if (!chosen) return false;
    std::string name = *chosen;
    if (std::filesystem::path(name).filename().string().find('.') == std::string::npos) name += ".ini";
    IniFileName = name;
    if (ini) {
      std::string ext = std::filesystem::path(name).extension().string();
      std::string upper = ext;
      UpperCaseCyr(upper);
      if (upper != ".INI" && !Ui().AskYesNo(upper + " is no ini extention. Still proceed?", MsgKind::Warning))
        continue;
    }
    std::error_code ec;
    if (!std::filesystem::exists(name, ec)) {
      ShowMsg("No file " + name);
      return false;
    }
    if (!IniTextFile.TryReset(name)) {
      IoResult();  // the reason is shown in words below; the code is not kept
      ShowMsg(name + " can not be opened");
      return false;
    }
    return true;
  }
}

// Step 8: the options; false after Cancel.
bool AskReadingOptions(const std::string& name, bool& stepWise) {
  DialogCaption = "Input of ini-file";
  SetHelpLines(IniFileHelp);
  BeginDialog(1);
  const std::string shown = name.size() > 41 ? "..." + name.substr(name.size() / 2) : name;
  PlaceLabel(Form2.Label1, 5, 50, "Ini-file= " + shown, WhiteColor, TextBackgroundColor);
  SetDialogOptions({" Proceed step-wise ", " Inhibit warnings ", " No change of parameter bounds "});
  ShowCheckListBox(30, 100, 270, 57);
  Form2.CheckListBox1.SetChecked(0, false);
  Form2.CheckListBox1.SetChecked(1, InhibitWarnings != 0);
  Form2.CheckListBox1.SetChecked(2, KeepParameterBounds != 0);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  stepWise = Form2.CheckListBox1.Checked(0);
  InhibitWarnings = Form2.CheckListBox1.Checked(1) ? 1 : 0;
  KeepParameterBounds = Form2.CheckListBox1.Checked(2) ? 1 : 0;
  LogLine("Ini-file= " + shown + " input");
  return true;
}

}  // namespace

void ReadIniFile(int32_t iniMode) {
  IniFileGuard guard;
  DialogOk = 1;
  if (IniFileName == " ") IniFileName.clear();
  uint8_t ok = 1;
  std::string text;
  ConfirmReplaceUnsaved(ok, text);
  if (ok == 0 && !Ui().AskYesNo(text, MsgKind::Warning)) {
    DialogOk = 0;
    return;
  }
  const ReaderSnapshot before;  // also the file name the model came from
  if (!OpenCommandFile(iniMode)) {
    DialogOk = 0;
    return;
  }
  // The options come before the reset: Cancel there leaves spectra and phases as they were.
  bool stepWise = false;
  if (!AskReadingOptions(IniFileName, stepWise)) {
    DialogOk = 0;
    return;
  }
  ReadAll(before, iniMode, true, stepWise);
}

void ReadIniText(std::string_view text, int32_t iniMode, bool reset, bool stepWise, const std::string& name) {
  IniFileGuard guard;
  DialogOk = 1;
  const ReaderSnapshot before;
  IniTextFile.ResetFromText(text, name);
  ReadAll(before, iniMode, reset, stepWise);
}
