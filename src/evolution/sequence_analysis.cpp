// The sequence analysis of the phase-evolution module: the settings dialog, the identification
// set-up, the step loop and the engine set-up of each step.
#include <algorithm>
#include <cmath>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/model_options.h"
#include "crystal/parameter_editor.h"
#include "crystal/parameter_preparation.h"
#include "crystal/reflection_lists.h"
#include "evolution/sequence_driver.h"
#include "evolution/trevo_state.h"

namespace {

constexpr int32_t RietveldEntry = 0, FitraEntry = 3;

// The options of the settings dialog in their order.
uint8_t* const OptionBytes[11] = {&ReverseSequence, &ReflectionsToPeaks, &CorrectForEffectiveSpectrum,
                                  &ZeroWeightedCounts, &PrintEmpiricHalfwidths, &FullResultOutput,
                                  &UseAvailableParameterArray, &DialogWhileFitting, &KeepParameterBounds,
                                  &ShortFitraOutput, &SuppressExponentialBackground};

void DefaultStep(int32_t index) {
  switch (TrevoMode) {
    case 0: FitSpectrumSimple(index); break;
    case 1: FitSpectrumFitra(index); break;
    default: FitSpectrumRietveld(index); break;
  }
}

TSequenceStep& StepFunction() {
  static TSequenceStep step;
  return step;
}

void RunStep(int32_t index) {
  if (StepFunction())
    StepFunction()(index);
  else
    DefaultStep(index);
}

int32_t HklCountOfPhases() {
  int32_t n = 0;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) n += std::max(0, PhaseTable[p].ReflectionCount);
  return n;
}

int32_t PhasesInUse() { return std::clamp(PhaseCount, 0, MaxPhases); }

// Step 4 of the analysis in the Rietveld kind: the identification reflections of every phase.
void PrepareIdentification() {
  std::string line = "Numbers of di for Phase Identification";
  for (int32_t p = 1; p <= PhasesInUse(); ++p) line += FormatInteger(TrevoPhases[p].ReflectionCount, 5);
  LogLine(line);
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    TTrevoPhase& t = TrevoPhases[p];
    const LATTICE& ph = PhaseTable[p];
    // Only the reflections the phase's list holds can be taken.
    const int32_t room = std::min(std::clamp(ph.ReflectionCount, 0, MaxReflections), TrevoReflectionCapacity);
    if (t.ReflectionCount > room || t.ReflectionCount < 0) {
      t.ReflectionCount = std::clamp(t.ReflectionCount, 0, room);
      LogLine("Warning, identification reflections of phase " + std::to_string(p) + " cut to " +
              std::to_string(t.ReflectionCount));
    }
    std::copy(ph.Cell, ph.Cell + 6, t.Cell);
    std::copy(ph.ReciprocalCell, ph.ReciprocalCell + 6, t.ReciprocalCell);
    t.Volume = CellVolume(t.Cell);
    for (int32_t j = 1; j <= t.ReflectionCount; ++j) t.Reflections[j] = HklTable[j][p];
  }
  LogLine("Initial cell parameters");
  for (int32_t p = 1; p <= PhasesInUse(); ++p) ShowUnitCell(p, 0);
  IdentificationCount = 0;
  for (int32_t p = 1; p <= PhasesInUse(); ++p) IdentificationCount += TrevoPhases[p].ReflectionCount;
  for (int32_t p = 1; p < PhasesInUse(); ++p)
    LogLine(std::string(9, ' ') + "Phases" + FormatInteger(p, 2) + FormatInteger(p + 1, 2) + " Correlation = " +
            FormatFixed(8, 2, PhaseCorrelation(p, p + 1)));
}

// A Fitra-kind run refines no cell of a phase whose identification reflections carry no indices
// (they are given only by the Rietveld-kind set-up): say so once per run.
void ReportReflectionsWithoutIndices() {
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const TTrevoPhase& t = TrevoPhases[p];
    const int32_t n = std::clamp(t.ReflectionCount, 0, TrevoReflectionCapacity);
    for (int32_t j = 1; j <= n; ++j) {
      const THklRecord& r = t.Reflections[j];
      if (r.h == 0 && r.k == 0 && r.l == 0) {
        LogLine("Phase " + std::to_string(p) + ": identification reflections without indices, its cell is not refined");
        break;
      }
    }
  }
}

void ZeroCountsInIntervals(TSpectrum& sp) {
  for (int32_t i = 1; i <= std::clamp(TrevoZeroWeightIntervals.count, 0, ZeroWeightIntervalCapacity); ++i) {
    int32_t a = 0, b = 0;
    if (ZeroWeightInterval(sp, i, a, b))
      for (int32_t c = a; c <= b; ++c) sp.Y[c] = 0;
  }
}

// One step of the loop; false when the loop ends. leave := the module is to be left.
bool RunSequenceStep(int32_t step, bool& leave) {
  CurrentStep = step;
  const int32_t index = SequenceIndexOfStep(step);
  CurrentSequenceSpectrum = index;
  LoadSequenceSpectrum(index);
  if (DialogOk == 0) {
    LastStep = step;
    return false;
  }
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return false;
  if (ZeroWeightedCounts) ZeroCountsInIntervals(*sp);
  CorrectForCompression();
  LogLine(std::string(62, '-'));
  LogLine(std::string(19, ' ') + "Spectrum " + sp->Name);
  if (TrevoMode == 2) {
    IdentificationCount = 0;
    for (int32_t p = 1; p <= PhasesInUse(); ++p) {
      TTrevoPhase& t = TrevoPhases[p];
      IdentificationCount += t.ReflectionCount;
      double volume = 0;
      CellMetric(t.Cell, t.ReciprocalCell, volume, 0);
      for (int32_t j = 1; j <= std::clamp(t.ReflectionCount, 0, TrevoReflectionCapacity); ++j)
        SequenceHklInverseDSquared(p, j);
    }
  }
  if (TrevoMode == 1 || TrevoMode == 2) {
    SetSpectrumRange();
    LogLine(std::string(24, ' ') + "T=" + FormatInteger(index, 5) +
            (TrevoMode == 1 ? FormatInteger(MarkedPointCount, 7) + " peaks"
                            : FormatInteger(HklCountOfPhases(), 7) + " reflections"));
    if (!TrevoAutoRun && index <= SequenceStepCapacity) {
      TSequenceStepPeaks& s = SequenceStepPeaks[index];
      s.count = std::clamp(MarkedPointCount, 0, TrevoPeakCapacity);
      for (int32_t i = 1; i <= s.count; ++i) s.positions[i] = MarkedPoints[i];
    }
  }
  DialogOk = 1;
  switch (TrevoMode) {
    case 0:
      RunStep(index);
      if (DialogOk == 0) leave = true;
      break;
    case 1:
      if (MarkedPointCount > 0) RunStep(index);
      break;
    default:
      if (UseAvailableParameterArray) ParametersPending[std::clamp(MainMode, 0, ModeCount - 1)] = 0;
      RunStep(index);
      break;
  }
  LastStep = step;
  return DialogOk != 0;
}

}  // namespace

void SetSequenceStepFunction(TSequenceStep step) { StepFunction() = std::move(step); }

int32_t SequenceIndexOfStep(int32_t step) { return ReverseSequence ? SequenceCount - step + 1 : step; }

double PhaseCorrelation(int32_t p, int32_t q) {
  if (p < 1 || q < 1 || p > TrevoPhaseCount || q > TrevoPhaseCount) return 0;
  const TTrevoPhase &a = TrevoPhases[p], &b = TrevoPhases[q];
  const int32_t n = std::clamp(std::min(a.ReflectionCount, b.ReflectionCount), 0, TrevoReflectionCapacity);
  double sp = 0, sq = 0, c = 0;
  for (int32_t j = 1; j <= n; ++j) {
    const THklRecord &x = a.Reflections[j], &y = b.Reflections[j];
    sp += x.h * x.h + x.k * x.k + x.l * x.l;
    sq += y.h * y.h + y.k * y.k + y.l * y.l;
    c += x.h * y.h + x.k * y.k + x.l * y.l;
  }
  return c / std::sqrt(std::max(1e-8, std::fabs(sp * sq)));
}

bool ZeroWeightInterval(const TSpectrum& sp, int32_t i, int32_t& first, int32_t& last) {
  if (i < 1 || i > ZeroWeightIntervalCapacity) return false;
  first = std::max(TrevoZeroWeightIntervals.first[i], std::max(1, sp.FirstChannel));
  last = std::min(TrevoZeroWeightIntervals.last[i], std::min(MaxChannels, sp.LastChannel));
  return first <= last;
}

void CompactSequenceList() {
  const bool pairs = SpectraOnlySequence == 0;
  const int32_t limit = pairs ? SequenceCapacity / 2 : SequenceCapacity;
  const int32_t n = std::clamp(SequenceCount, 0, limit);
  std::vector<std::string> spectra, variances;
  for (int32_t i = 1; i <= n; ++i) {
    const std::string& name = SequenceFileNames[static_cast<size_t>(i)];
    if (IsBlank(name)) continue;  // a blank spectrum name drops its variance too
    spectra.push_back(name);
    if (pairs) variances.push_back(SequenceFileNames[static_cast<size_t>(i + SequenceCount)]);
  }
  if (SequenceCount > limit) {
    ShowMsg("Error, the number of spectra > " + std::to_string(limit) + ", cut to " + std::to_string(limit));
  }
  const auto kept = static_cast<int32_t>(spectra.size());
  for (int32_t i = 1; i <= kept; ++i) {
    SequenceFileNames[static_cast<size_t>(i)] = spectra[static_cast<size_t>(i - 1)];
    if (pairs) SequenceFileNames[static_cast<size_t>(kept + i)] = variances[static_cast<size_t>(i - 1)];
  }
  SequenceCount = kept;
}

void AskSequenceSettings() {
  if (PreparedParameterCount <= 0) UseAvailableParameterArray = 0;
  if (TrevoAutoRun) CorrectForEffectiveSpectrum = 0;
  BeginDialog(1);
  SetDialogOptions({"Reverse the spectrum sequence", " Turn reflections to peaks", " Correct for the effective spectrum",
                    " Zero spectrum zero-weighted counts", " Print empiric halfwidths",
                    TrevoMode == 0 ? "" : " Full result output", " Use available parameter array",
                    " Dialog while fitting", " Allow change of halfWidth bounds",
                    TrevoMode == 1 ? " Short Fitra output" : "", " Suppress exponential background "});
  ShowCheckListBox(10, 10, 300, 190);
  for (int32_t i = 0; i < 11; ++i) Form2.CheckListBox1.SetChecked(i, *OptionBytes[i] != 0);

  CompactSequenceList();
  const int32_t first = isp1 == 0 ? 1 : isp1, last = isp2 == 0 ? SequenceCount : isp2;
  LogLine("       Spectrum Settings");
  const std::string n1 = SequenceCount > 0 ? SequenceFileNames[1] : "";
  const std::string n2 = SequenceCount > 0 ? SequenceFileNames[static_cast<size_t>(SequenceCount)] : "";
  LogLine(FormatInteger(SequenceCount, 5) + " Spectra selected = " + (ReverseSequence ? n2 : n1) + " ... " +
          (ReverseSequence ? n1 : n2));
  if (const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum))
    LogLine("* a11 a22  Compress *" + FormatInteger(sp->WorkFirst, 6) + FormatInteger(sp->WorkLast, 6) +
            FormatFixed(4, 1, compr));
  PrintInstrumentHeader();

  const char* const rows[3] = {"isp1 isp2", "dref ucdif", "bounds(%) cell / atoms"};
  const double values[3][2] = {{double(first), double(last)}, {dref, ucdif},
                               {PhaseTable[1].CellAccuracy, PhaseTable[1].AtomAccuracy}};
  for (int32_t r = 1; r <= 3; ++r) {
    DialogFieldLabels[r] = rows[r - 1];
    DialogFieldValues[r][1] = values[r - 1][0], DialogFieldValues[r][2] = values[r - 1][1];
  }
  DialogColumnWidths[0] = 150, DialogColumnWidths[1] = 90, DialogColumnWidths[2] = 90;
  ShowNumberGrid(10, 210, 3, 10, 2, 3);
  const char* const help[5] = {" isp1,isp2-the first and the last spectrum for the analysis",
                               " dref (angs)- accuracy for reflection identification ",
                               " ucdif (angs)- maximum admissible cell difference in",
                               " iterations; if greater, the initial cell is restored",
                               "bounds in % only for Rietveld cell & atoms par."};
  for (int32_t i = 0; i < 5; ++i)
    PlaceLabel(Form2.Label(i + 1), 10, 290 + 15 * i, help[i], WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return;

  // Every field is read and checked before anything is stored.
  double g[3][2] = {};
  for (int32_t r = 0; r < 3; ++r)
    for (int32_t c = 0; c < 2; ++c) {
      StrToFloatChecked(Form2.StringGrid1.Cell(c, r), g[r][c]);
      if (!std::isfinite(g[r][c])) DialogOk = 0;
    }
  if (DialogOk != 1) return;
  // 0 stands for the first and the last spectrum.
  int32_t a = RoundHalfEven(std::clamp(g[0][0], -1e9, 1e9));
  int32_t b = RoundHalfEven(std::clamp(g[0][1], -1e9, 1e9));
  if (a == 0) a = 1;
  if (b == 0) b = SequenceCount;
  if (b > SequenceCount) {
    ShowMsg("Upper sp.number too large, cut to " + std::to_string(SequenceCount));
    b = SequenceCount;
  }
  if (SequenceCount > 0 && (a < 1 || a > b)) {
    ShowMsg("Error, wrong spectrum range " + std::to_string(a) + " .. " + std::to_string(b));
    DialogOk = 0;
    return;
  }
  for (int32_t i = 0; i < 11; ++i) *OptionBytes[i] = Form2.CheckListBox1.Checked(i) ? 1 : 0;
  if (ShortFitraOutput && ShortOutputPeakCount == 0) {
    ShowMsg("No reference peaks for FITRA short output");
    ShortFitraOutput = 0;
  }
  isp1 = a, isp2 = b;
  dref = g[1][0], ucdif = g[1][1];
  PhaseTable[1].CellAccuracy = g[2][0], PhaseTable[1].AtomAccuracy = g[2][1];
  LogLine("Analysis Settings isp1 isp2 dref ucdif * = " + FormatInteger(isp1, 6) + FormatInteger(isp2, 6) +
          FormatFixed(8, 3, dref) + FormatFixed(8, 3, ucdif));
}

void RestartSummaryFile() {
  const std::string name = QuorinFile.Name();
  if (QuorinFile.InMemory()) return QuorinFile.RewriteToMemory(name);
  if (QuorinFile.IsOpen()) QuorinFile.Close();
  QuorinFile.Rewrite(name);  // a file that cannot be written abandons the operation
}

bool AnalyzeSpectrumSequence() {
  LogLine("               Analyze the spectrum sequence");
  DialogCaption = "Sequence analysis";
  AskSequenceSettings();
  if (DialogOk != 1) return false;
  CompressionAsked = AngularCorrectionSaid = 0;
  if (SequenceCount <= 0) {
    // The summary file keeps the blocks of the last run.
    ShowMsg("No spectrum sequence entered");
    return true;
  }
  SetDefaultFitControls();
  ParameterArrayMode = MainMode;
  if (TrevoMode == 2) PrepareIdentification();
  if (TrevoMode == 1) ReportReflectionsWithoutIndices();
  RestartSummaryFile();
  QuorinFile.WriteLine("* N of phases");
  QuorinFile.WriteLine(FormatInteger(PhaseCount, 3));
  bool leave = false;
  for (int32_t step = isp1; step <= isp2; ++step)
    if (!RunSequenceStep(step, leave)) break;
  if (leave) return false;
  LogLine(std::string(62, '-'));
  return true;
}

void PrepareSequenceAnalysis(int32_t mode) {
  MainMode = mode;
  ParameterArrayMode = mode;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  if (mode == 0) {
    for (int32_t p = 1; p <= PhasesInUse(); ++p) {
      std::copy(TrevoPhases[p].ReciprocalCell, TrevoPhases[p].ReciprocalCell + 6, PhaseTable[p].ReciprocalCell);
      std::copy(TrevoPhases[p].Cell, TrevoPhases[p].Cell + 6, PhaseTable[p].Cell);
    }
    DMin = sp->ChannelToD(IntervalFirst);
    DMax = sp->ChannelToD(IntervalLast);
    OrderD(DMin, DMax);
    for (int32_t p = 1; p <= PhasesInUse(); ++p) {
      if (PhaseTable[p].AtomCount <= 0) {
        ShowMsg("Warning, no atomic information yet available");
        PhaseTable[p].AtomCount = 1;
        ResetAtom(p);  // atom 1 of phase p
      }
      FormSymmetricHklList(p, DMin, DMax);
    }
    FormHklsOfPhases(0);
  }
  switch (mode) {
    case 0:
      DialogCaption = "Rietveld analysis";
      ResultsUnsaved[RietveldEntry] = 1;
      MainMode = 0;
      if (OptionFlags[8]) EditParameterArray();
      break;
    case 2:
      DialogCaption = "DazazeDedev";
      ResultsUnsaved[RietveldEntry] = 1;
      MainMode = 2;
      break;
    case 3:
      DialogCaption = "FITRA";
      ResultsUnsaved[FitraEntry] = 1;
      MainMode = 3;
      if (DialogWhileFitting) PrepareDialog(530, 0, 450);
      break;
    default: break;
  }
  for (int32_t i = 1; i <= std::clamp(TrevoZeroWeightIntervals.count, 0, ZeroWeightIntervalCapacity); ++i) {
    int32_t a = 0, b = 0;
    if (ZeroWeightInterval(*sp, i, a, b))
      for (int32_t c = a; c <= b; ++c) sp->E[c] = 0;
  }
}
