// INI commands for the mode, the counts, the spectra, weights and peak models. Each handler reads
// its value lines into local values, checks them, and only then changes the tables.
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/peak_model.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "crystal/analysis_modes.h"
#include "crystal/info_windows.h"
#include "crystal/model_checks.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"
#include "ini/ini_spectrum_support.h"
#include "spectrum/absorption.h"
#include "spectrum/normalization.h"
#include "spectrum/spectrum_checks.h"

namespace {

constexpr int32_t MaxPeakModelIndex = PeakModelCount - 1;  // models 0..6 in files

// One number on its own line as an integer of lo..hi; message when it is not.
bool OneInteger(int32_t lo, int32_t hi, int32_t& out, const char* message) {
  const int32_t n = IniReadLine();
  if (n >= 1 && IniInteger(NumberBuffer[1], lo, hi, out)) return true;
  IniError(message);
  return false;
}

}  // namespace

// ---- modes and counts ----

void ReadIniMainMode() {
  KnownCommand = 1;
  IniReadLine();
  double x = 0;
  uint8_t ok = 0;
  StrToFloatRobust(InputLine, x, ok);
  int32_t m = 99;
  const bool number = ok == 1 && IniInteger(x, -1000, 1000, m);
  if (number && std::abs(m) < 4) MainMode = std::abs(m);
  else IniError("Wrong Mode");
  if (number && m == -3) TrevoMode = 0;
  if (number && m == 3) TrevoMode = 1;
  if (number && m == 0) TrevoMode = 2;
}

void ReadIniNumberOfPhases() {
  KnownCommand = 1;
  IniReadLine();
  double x = 0;
  uint8_t ok = 0;
  StrToFloatRobust(InputLine, x, ok);
  if (ok == 0) return IniError("N of phases: wrong data format");
  int32_t n = 0;
  if (!IniInteger(x, 1, MaxPhases, n)) return IniError("Wrong number of phases (1..6)");
  PhaseCount = n;
}

void ReadIniNumberOfPeaks() {
  KnownCommand = 1;
  int32_t n = 0;
  if (!OneInteger(0, MarkedPointCapacity, n, "Wrong number of peaks (0..1000)")) return;
  MarkedPointCount = n;
  ExponentialCount = 0;
}

void ReadIniNumberOfExponentials() {
  KnownCommand = 1;
  int32_t n = 0;
  if (OneInteger(0, 4, n, "Wrong number of exponentials (0..4)")) ExponentialCount = n;
}

// ---- spectra ----

void ReadIniSpectrumInfo(int32_t axisKind) {
  std::string name;
  ReadIniFileName(name);
  const int32_t want = MainMode == 3 ? 11 : 18;
  std::array<double, 19> v{};
  if (IniReadNumbers(want, v) < want) return IniError("INI: Too little data in IS-command");

  int32_t isp = 0, type = 0, a1 = 0, a2 = 0, a11 = 0, a22 = 0;
  if (!IniInteger(v[1], 1, SpectrumNumberLast, isp)) return IniError("INI: Wrong spectrum number in IS-command");
  if (!IniInteger(v[2], 1, 4, type)) return IniError("INI: Wrong file type in IS-command");
  if (!IniInteger(v[3], 1, MaxChannels, a1) || !IniInteger(v[4], 1, MaxChannels, a2) ||
      !IniInteger(v[5], 1, MaxChannels, a11) || !IniInteger(v[6], 1, MaxChannels, a22))
    return IniError("Wrong interval");
  int32_t dback = 3, shape = 0;
  const bool calibrated = MainMode == 0 || MainMode == 2;
  if (calibrated && (!IniInteger(v[15], -1, 6, dback) || !IniInteger(v[18], 0, 2, shape)))
    return IniError("INI: Wrong background degree or sample shape in IS-command");
  if (MainMode == 3 && !IniInteger(v[11], -1, 6, dback))
    return IniError("INI: Wrong background degree in IS-command");

  const bool dummy = IsDummyName(name);
  if (!dummy && !FileThere(name)) return IniError("No file " + name);
  uint8_t ok = 0;
  CheckInterval(a1, a2, ok);
  if (ok == 0) return IniReportLocation("Wrong interval");

  if (!SpectrumList[isp]) return;
  TSpectrum& sp = *SpectrumList[isp];
  const HeaderSnapshot before(sp);
  CurrentSpectrum = isp;
  sp.FileType = type, sp.Name = dummy ? std::string("DUMMY") : name;
  sp.FirstChannel = a1, sp.LastChannel = a2;
  sp.WorkFirst = std::max(a11, a1), sp.WorkLast = std::min(a22, a2);
  sp.AxisKind = axisKind;
  VarianceMode = 0;
  IntervalFirst = a1, IntervalLast = a2, NChannels = a2 - a1 + 1;
  if (!dummy && !ReadInto(sp, before, 1)) return;

  if (calibrated) {
    sp.FlightPath = v[7];
    if (axisKind == AxisAngular) sp.Lambda = v[7];
    sp.Delay = v[8], sp.ChanWidth = v[9], sp.Theta = v[10];
    if (axisKind == AxisAngular) sp.X[a1] = v[10];
    sp.W0 = v[11], sp.Dw0 = v[12], sp.W1 = v[13], sp.W2 = v[14];
    sp.BackgroundDegree = dback;
    sp.Abs1 = v[16], sp.Abs2 = v[17], sp.SampleShape = shape;
  } else if (MainMode == 3) {
    sp.W0 = v[7], sp.Dw0 = v[8], sp.W1 = v[9], sp.W2 = v[10];
    sp.BackgroundDegree = dback;
    sp.AxisKind = AxisAny;
  }
  if (MainMode != 1) BackgroundMode = dback == 6 ? 1 : 0;

  if (!dummy) MakePoissonVariance(isp);
  CheckSpectrumInfo(isp, ok);
  if (ok == 1) GraphXAxis = 0;
  else IniReportLocation();
  // The abscissae of a calibrated time-of-flight spectrum read from counts are its d-spacings,
  // as the spectrum input leaves them.
  if (ok == 1 && calibrated && !dummy && axisKind == AxisTimeOfFlight && type <= 3 && FillDSpacingAxis(sp))
    ShowMsg("Coinciding Xs (ds or thetas)");
  sp.Present = 1, sp.NormalizedFlag = 0, sp.AbsorptionCorrectedFlag = 0;
  SpectrumCount = std::max(SpectrumCount, CurrentSpectrum);
  KnownCommand = 1;
  if (sp.FileType != 4 && sp.AxisKind == AxisAngular) AssignTwoThetas(isp);
}

void ReadIniVarianceInfo() {
  std::string name;
  ReadIniFileName(name);
  const int32_t n = IniReadLine();
  int32_t isp = 0, type = 0, errorType = 0;
  if (n < 2 || !IniInteger(NumberBuffer[1], 0, SpectrumNumberLast, isp) || !IniInteger(NumberBuffer[2], 1, 4, type))
    return IniError("INI: Wrong data in IV-command");
  if (n >= 3 && !IniInteger(NumberBuffer[3], 0, 2, errorType)) return IniError("INI: Wrong error type in IV-command");
  if (!FileThere(name)) return IniError("No file " + name);
  TSpectrum* current = SpectrumList[std::clamp(CurrentSpectrum, 0, SpectrumNumberLast)].get();
  if (!current || !SpectrumList[isp]) return;
  // The variance is read into the current spectrum although the line names isp.
  TSpectrum& target = *SpectrumList[isp];
  const HeaderSnapshot before(*current), beforeTarget(target);
  const int32_t savedErrorType = AsciiErrorType;
  target.VarianceName = name, target.VarianceFileType = type;
  current->VarianceName = name;
  if (n >= 3) AsciiErrorType = errorType;
  VarianceMode = 1;
  IoOk = 0;
  ReadSpectrumFile(2);
  if (IoOk != 1) {
    beforeTarget.Restore(target);
    before.Restore(*current);
    AsciiErrorType = savedErrorType;
    return IniError("++++ Error, wrong reading");
  }
  ErrorsKnown = 1;
  KnownCommand = 1;
}

void ReadIniEffectiveSpectrum() {
  std::string name;
  ReadIniFileName(name);
  std::array<double, 9> v{};
  const int32_t got = IniReadNumbers(8, v);
  const bool dummy = IsDummyName(name);
  if (!dummy && !FileThere(name)) return IniError("No file " + name);
  if (got < 8) return IniError("INI: Too few data in IS-command");
  int32_t type = 0, a1 = 0, a2 = 0;
  if (!IniInteger(v[1], 1, 4, type)) return IniError("INI: Wrong file type in IES-command");
  if (!IniInteger(v[2], 1, MaxChannels, a1) || !IniInteger(v[3], 1, MaxChannels, a2) || a2 < a1)
    return IniError("Wrong interval");
  if (!SpectrumList[0]) return;
  TSpectrum& sp = *SpectrumList[0];
  const HeaderSnapshot before(sp);
  sp.FileType = type, sp.FirstChannel = a1, sp.LastChannel = a2, sp.WorkFirst = a1, sp.WorkLast = a2;
  sp.Factor = v[4], sp.FlightPath = v[5], sp.Delay = v[6], sp.ChanWidth = v[7], sp.Theta = v[8];
  sp.Name = dummy ? std::string("DUMMY") : name;
  VarianceMode = 0;
  if (!dummy) {
    const int32_t current = CurrentSpectrum;
    CurrentSpectrum = 0;
    const bool read = ReadInto(sp, before, 0);
    CurrentSpectrum = current;
    if (!read) return;
  }
  CorrectForEffectiveSpectrum = 1;
  KnownCommand = 1;
}

void SetDn2EffectiveCommand() {
  KnownCommand = 1;
  SetUpDn2EffectiveSpectrum();
}

void ReadIniAssignTwoThetas() {
  KnownCommand = 1;
  // The line gives the spectrum number, and optionally the two-theta of its first channel and
  // the step (degrees).
  const int32_t n = IniReadLine();
  int32_t s = 0;
  if (n < 1 || !IniInteger(NumberBuffer[1], 1, SpectrumNumberLast, s))
    return IniError("INI: Wrong spectrum number in AT-command");
  if (!SpectrumList[s]) return;
  TSpectrum& sp = *SpectrumList[s];
  if (n >= 3) {
    sp.X[std::clamp(sp.FirstChannel, 1, MaxChannels)] = NumberBuffer[2];
    sp.ChanWidth = NumberBuffer[3];
  }
  FillTwoThetaAxis(s);
}

void ReadIniAsciiLineStructure() {
  KnownCommand = 1;
  const int32_t n = IniReadLine();
  int32_t c[3] = {};
  for (int32_t i = 0; i < 3; ++i)
    if (n < 3 || !IniInteger(NumberBuffer[i + 1], 1, 99, c[i])) return IniError("Wrong ASCII line structure");
  AsciiColumnX = c[0], AsciiColumnY = c[1], AsciiColumnE = c[2];
}

void ReadIniZeroWeights() {
  KnownCommand = 1;
  std::array<double, 4> v{};
  int32_t isp = 0, i1 = 0, i2 = 0;
  if (IniReadNumbers(3, v) < 3 || !IniInteger(v[1], 0, SpectrumNumberLast, isp) ||
      !IniInteger(v[2], 1, MaxChannels, i1) || !IniInteger(v[3], 1, MaxChannels, i2))
    return IniError("INI: Wrong data in IZW-command");
  if (!SpectrumList[isp]) return;
  TSpectrum& sp = *SpectrumList[isp];
  for (int32_t k = i1; k <= i2; ++k) sp.E[k] = 0.0;
}

void ReadIniWidthBackgroundModes() {
  KnownCommand = 1;
  std::array<double, 3> v{};
  IniReadNumbers(2, v);
  int32_t w = 0, b = 0;
  if (IniInteger(v[1], -1, 3, w)) WidthMode = w;
  else IniError("Wrong Width Mode");
  if (IniInteger(v[2], 0, 1, b)) BackgroundMode = b;
  else IniError("Wrong Background Mode");
}

void ReadIniPeakModelAssignments() {
  KnownCommand = 1;
  const int32_t count = MarkedPointCount;
  if (count < 0 || count > MarkedPointModelCount) return IniError("Too many peaks for the peak models");
  std::vector<double> v(static_cast<size_t>(count) + 1);
  if (IniReadNumbers(count, v) < count) return IniError("Less model numbers than peaks");
  bool wrong = false;
  for (int32_t k = 1; k <= count; ++k) {
    int32_t m = 0;
    if (IniInteger(v[static_cast<size_t>(k)], 1, 6, m)) MarkedPointModels[k] = m;
    else wrong = true;
  }
  if (!wrong) return;
  IniError(std::string(" Error, wrong numbers ") + " peak models");
  for (int32_t k = 1; k <= count; ++k) MarkedPointModels[k] = 1;
}

// ---- peak models ----

void ReadIniRealModel(int32_t doubleSigned) {
  KnownCommand = 1;
  std::array<double, 7> v{};
  if (IniReadNumbers(6, v) < 6) return IniError("Wrong data for real model");
  FormRealModel(doubleSigned, v[1], v[2], v[3], v[4], v[5], v[6]);
}

void FormRealModel(int32_t doubleSigned, double first, double last, double background, double index, double smoother,
                   double spectrum) {
  int32_t i1 = 0, i2 = 0, lbck = 0, nmod = 0, nsp = 0;
  if (!IniInteger(first, 1, MaxChannels, i1) || !IniInteger(last, 1, MaxChannels, i2) ||
      !IniInteger(background, 0, MaxChannels, lbck) || !IniInteger(spectrum, 0, SpectrumNumberLast, nsp))
    return IniError("Wrong data for real model");
  if (!IniInteger(index, 0, MaxPeakModelIndex, nmod)) return IniError("Wrong peak model number");
  if (!PeakModels[static_cast<size_t>(nmod + 1)] || !SpectrumList[nsp]) return;
  TPeakModel& model = *PeakModels[static_cast<size_t>(nmod + 1)];
  const TRealModelOptions savedOptions = RealModelOptions;
  const int32_t savedSigned = model.SingleSigned, savedCurrent = CurrentSpectrum;
  RealModelOptions.Switch = nsp, RealModelOptions.BackgroundChannels = lbck, RealModelOptions.Smoother = smoother;
  CurrentSpectrum = nsp;
  model.SingleSigned = doubleSigned ? 0 : 1;
  model.MakeRealModelFromData(*SpectrumList[nsp], i1, i2);
  if (DialogOk == 1) return;
  // A refused interval leaves the model and the options as they were.
  model.SingleSigned = savedSigned;
  RealModelOptions = savedOptions;
  CurrentSpectrum = savedCurrent;
  DialogOk = 1;
  IniError(StatusMessage.empty() ? std::string("Wrong data for real model") : StatusMessage);
}

void ReadIniModelInfo(int32_t kind) {
  KnownCommand = 1;
  std::array<double, 4> head{};
  if (kind == 2) {
    IniReadNumbers(2, head);
    int32_t m = 0, t = 0;
    const bool typeOk = IniInteger(head[2], 1, 10, t);
    double ratio = SpecialModelRatio;
    if (typeOk && (t == ModelVoigt || t == ModelConvExp || t == ModelPseudoVoigt)) {
      std::array<double, 2> r{};
      if (IniReadNumbers(1, r) == 1) ratio = r[1];
    }
    if (!typeOk || !IniInteger(head[1], 0, MaxPeakModelIndex, m)) return IniError("Wrong number for special model");
    if (!PeakModels[static_cast<size_t>(m + 1)]) return;
    SpecialModelRatio = ratio;
    SelectedPeakModel = m + 1;
    TPeakModel& model = *PeakModels[static_cast<size_t>(m + 1)];
    model.ModelNumber = t;
    model.TabulatePeakModel();
    return;
  }
  // Real or double-signed: the index, the header line and the 193 values of the shape. The block
  // has a fixed length, so it is consumed whole even when the index is wrong.
  IniReadNumbers(1, head);
  int32_t m = 0;
  const bool indexOk = IniInteger(head[1], 0, MaxPeakModelIndex, m);
  const int32_t n = IniReadLine();
  std::array<double, 6> header{};
  for (int32_t i = 1; i <= 5; ++i) header[static_cast<size_t>(i)] = NumberBuffer[i];
  std::array<double, PeakModelPoints + 1> shape{};
  const int32_t got = IniReadNumbers(PeakModelPoints, shape);
  int32_t halfPoints = 0;
  if (!indexOk || n < 5 || got < PeakModelPoints || !IniInteger(header[1], 1, PeakModelHalfPoints, halfPoints) ||
      !(header[2] > 0))
    return IniError("Most probably the real model is wrong");
  if (!PeakModels[static_cast<size_t>(m + 1)]) return;
  TPeakModel& model = *PeakModels[static_cast<size_t>(m + 1)];
  model.HalfPoints = halfPoints;
  model.HalfWidth = header[2], model.Area = header[3], model.FullWidth = header[4], model.Centroid = header[5];
  std::copy(shape.begin() + 1, shape.end(), model.Shape + 1);
  model.SingleSigned = kind == 0 ? 1 : 0;
  model.ModelNumber = kind == 0 ? ModelReal : ModelDoubleSigned;
  SelectedPeakModel = m + 1;
}

// NSCA (and the dat IESN without its spectrum line): the current spectrum normalised by the
// effective spectrum and corrected for absorption over the channels both cover in time of flight.
// The user decides in a dialog: the file cannot answer it.
void NormalizeSpectrumCommand(int32_t withSpectrumLine) {
  KnownCommand = 1;
  if (withSpectrumLine != 0) {
    IniReadLine();
    double x = 0;
    uint8_t ok = 0;
    StrToFloatRobust(InputLine, x, ok);
    int32_t s = 0;
    if (ok != 1 || !IniInteger(x, 1, 4, s)) return IniError("INI: Wrong spectrum number in NSCA-command");
    CurrentSpectrum = s;
  }
  TSpectrum* sp = SpectrumList[CurrentSpectrum].get();
  if (!sp) return;
  int32_t I1 = sp->FirstChannel, I2 = sp->LastChannel;
  if (!SpectraTimeOverlap(I1, I2)) return;
  DialogCaption = "Spectrum " + std::to_string(CurrentSpectrum);
  BeginDialog(1);
  Form2.color = GrayColor;
  PlaceLabel(Form2.Label5, 25, 100, " Is spectrum normalizing really needed? ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"Normalize", "Correct for absorption"});
  ShowCheckListBox(25, 150, 250, 40);
  Form2.CheckListBox1.SetChecked(0, true);
  Form2.CheckListBox1.SetChecked(1, true);
  PlaceLabel(Form2.Label6, 25, 220, " Cancel if the spectrum already normalized.", WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const bool normalize = Form2.CheckListBox1.Checked(0), absorption = Form2.CheckListBox1.Checked(1);
  if (normalize && !NormalizeByEffectiveSpectrum(CurrentSpectrum, I1, I2)) return;
  if (absorption) CorrectForAbsorption(CurrentSpectrum, I1, I2);
  sp->ComputeYRange();
}
