#include "crystal/parameter_preparation.h"
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/site_symmetry.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/symmetry_expansion.h"
#include "core/text_file.h"
#include "crystal/analysis_modes.h"
#include "crystal/metric_constraints.h"
#include "crystal/model_checks.h"

int32_t PreparedParameterCount = 0;
double DelayDeviation = 0.0;
double AnisotropyBound = 10.0;

namespace {

// Bounds of a record after the reset: wide enough for every quantity of the layout.
constexpr double ResetLower = -1e11;
constexpr double ResetUpper = 1e12;
// Values, bounds below this magnitude are rounding noise of the metric and become exactly 0.
constexpr double SnapLimit = 2e-8;
constexpr int32_t RietveldMode = 0;
constexpr int32_t PowderMatchMode = 2;
constexpr int32_t ModeMask = 13;  // Rietveld, powder match and Fitra

// The answers of the first dialog.
struct PreparationOptions {
  bool useAvailable = false;
  bool analysisModes = false;
  bool stopButton = true;
  bool anisToEquivalents = false;
  bool withLinks = false;
};

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }
int32_t Atoms(int32_t p) { return std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); }
int32_t Reflections(int32_t p) { return std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); }

void Fix(ParameterRecord& r, double v) { r.lower = r.value = r.upper = v; }
// Fixed and independent.
void FixAlone(int32_t i, double v) {
  ParameterRecord& r = parar[i];
  r.n = i, r.a = 1, r.b = 0;
  Fix(r, v);
}

// The shortest text that reads back as x.
std::string ShortestText(double x) {
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, res.ptr);
}

// The model of the profile serves neither a width per peak nor an axis of no kind, and an
// angular axis needs a rising two-theta; refused before anything changes.
bool ProfileModelServes(const TSpectrum& sp) {
  if (WidthMode == -1) {
    ShowMsg("Separate width for each peak is not served by the Rietveld model");
    return false;
  }
  if (sp.AxisKind != AxisTimeOfFlight && sp.AxisKind != AxisAngular) {
    ShowMsg("Spectrum axis of any kind is not served by the Rietveld model");
    return false;
  }
  if (sp.AxisKind == AxisAngular && !(sp.ChanWidth > 0)) {
    ShowMsg("Wrong 2theta step of the spectrum: " + FormatNumberNoBlanks(4, sp.ChanWidth));
    return false;
  }
  return true;
}

// The first dialog: the five options, the interval grid of spectrum s.
void AskPreparationOptions(const TSpectrum& sp, int32_t s) {
  DialogCaption = "Preparing parameter array";
  BeginDialog(1);
  SetDialogOptions({"   Use available parameter array",
                    "   Set non-default width - background modes",
                    "   Display STOP-button while fitting",
                    "   All ANIS-atoms -> equivalents",
                    "   All ANIS-atoms -> equivalents (with links)"});
  ShowCheckListBox(20, 20, 370, 5 * 18 + 4);
  Form2.CheckListBox1.SetChecked(0, UseAvailableArray[std::clamp(MainMode, 0, ModeCount - 1)] == 1);
  Form2.CheckListBox1.SetChecked(2, true);
  PlaceLabel(Form2.Label1, 20, 130, " ANIS-atoms = atoms of anisotropic phase ", WhiteColor, TextBackgroundColor);
  DialogColumnWidths[0] = 140;
  DialogColumnWidths[1] = 50;
  DialogColumnWidths[2] = 50;
  DialogFieldLabels[1] = " Spectrum " + std::to_string(s) + " interval";
  DialogFieldValues[1][1] = sp.WorkFirst;
  DialogFieldValues[1][2] = sp.WorkLast;
  ShowNumberGrid(20, 170, 1, 6, 2, 1);
  ShowDialogModal();
}

// Both bounds checked against the spectrum's channels, then stored in ascending order; an
// interval of one or two channels is refused. False when the preparation ends.
bool ReadInterval(TSpectrum& sp) {
  double v[2] = {};
  for (int32_t i = 0; i < 2; ++i) StrToFloatChecked(Form2.StringGrid1.Cell(i, 0), v[i]);
  if (DialogOk != 1) return false;  // a field that is not a number counts as Cancel
  int32_t bound[2] = {};
  for (int32_t i = 0; i < 2; ++i) {
    const double r = std::nearbyint(v[i]);
    if (!(r >= sp.FirstChannel && r <= sp.LastChannel)) {
      ShowMsg("Wrong spectrum bound - " + FormatNumberNoBlanks(0, r));
      return false;
    }
    bound[i] = static_cast<int32_t>(r);
  }
  const int32_t first = std::min(bound[0], bound[1]), last = std::max(bound[0], bound[1]);
  uint8_t ok = 0;
  CheckInterval(first, last, ok);
  if (ok == 0) return false;
  sp.WorkFirst = first, sp.WorkLast = last;
  return true;
}

// Step 3: the ticked anisotropic phases expanded to their equivalent atoms; expanded[p] := 1.
void ExpandAnisotropicPhases(uint8_t (&expanded)[MaxPhases + 1]) {
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (!AnisotropicPhases[p]) continue;
    if (PhaseTable[p].SpaceGroup == 1) {
      ShowMsg("Symmetry already triclinic");
      continue;
    }
    ExpandAtomsBySymmetry(p, 2);
    expanded[p] = 1;
  }
}

}  // namespace

void SetDefaultFitControls() {
  if (FitControlsGiven || !FitParameters) return;  // the session creates the engine first
  FitParameters->SetFitDefaults();
  DefaultFitControls = FitParameters->Controls();
  const bool cautious = MainMode == PowderMatchMode || AnisotropyOn;
  DefaultFitControls.GNIter = cautious ? 20 : 6;
  DefaultFitControls.Step = cautious ? 0.25 : 0.99;
  DefaultFitControls.Damp = cautious ? 0.1 : 0.01;
  DefaultFitControls.EpsReq = 0.0;
}

namespace {

// The record count the preparation fills: every block of the layout. It is CountParameters's
// count except in powder match with a magnetic phase, where CountParameters leaves out the
// magnetic block that the layout keeps before the anisotropy and m2 blocks; the count then covers
// them, so that no filled record lies beyond NPar.
int64_t PreparedCount(int32_t counted) {
  return std::max<int64_t>(counted, int64_t{ParameterCount(2)} + (M2Mode ? 2 : 0));
}

// Step 8 for phase p: the accuracies, the link boxes and the powder-match thresholds; every
// field checked before any is stored. False when the preparation ends.
bool AskAccuracies(int32_t p, TSpectrum& sp, int32_t s, bool& symmetryLinks, bool& phaseLinks) {
  LATTICE& phase = PhaseTable[p];
  const bool rietveld = MainMode == RietveldMode;
  DialogCaption = "Prepare " + ModeNames[std::clamp(MainMode, 0, ModeCount - 1)];
  BeginDialog(1);
  PlaceLabel(Form2.Label5, 10, 10, "Phase " + std::to_string(p) + " Enter accuracies for param. bounds ", WhiteColor,
             TextBackgroundColor);
  const int32_t rows = p == 1 ? 5 : 2;
  DialogColumnWidths[0] = 220;
  DialogColumnWidths[1] = 65;
  DialogFieldLabels[1] = " For Unit Cell parameters(%)";
  DialogFieldValues[1][1] = phase.CellAccuracy;
  DialogFieldLabels[2] = rietveld ? " For Atomic parameters(%)" : " ";
  DialogFieldValues[2][1] = rietveld ? phase.AtomAccuracy : 0.0;
  if (p == 1) {
    DialogFieldLabels[3] = " Background degree for Spec." + std::to_string(s);
    DialogFieldValues[3][1] = sp.BackgroundDegree;
    // The deviation is taken in the unit of the delay record: channels of a time-of-flight
    // spectrum, degrees of two-theta for the zero shift of an angular one.
    const bool angular = sp.AxisKind == AxisAngular;
    DialogFieldLabels[4] = angular ? " Delay parameter deviation (deg)" : " Delay parameter deviation (chan)";
    // An angular spectrum's zero shift (degrees) is rarely known to better than a few steps and
    // moves every line: proposed free within 10 steps unless a deviation was entered.
    DialogFieldValues[4][1] = angular && DelayDeviation == 0 ? 10 * std::fabs(sp.ChanWidth) : DelayDeviation;
    DialogFieldLabels[5] = AnisotropyOn ? " Anisotropic parameter bounds" : "";
    DialogFieldValues[5][1] = AnisotropyOn ? AnisotropyBound : 0.0;
  }
  ShowNumberGrid(10, 40, rows, 8, 1, rows);
  if (p >= 2) {
    SetDialogOptions({"Impose symmetry links on atom coordinates", "Impose links between phases"});
    ShowCheckListBox(10, 160, 370, 2 * 18 + 4);
  }
  if (MainMode == PowderMatchMode) {
    PlaceLabel(Form2.Label6, 10, 220, "Thresholds for", WhiteColor, TextBackgroundColor);
    DialogEditLabel1 = "merging close peaks(chan) = ";
    DialogEditText1 = ShortestText(MergeThreshold);
    DialogEditLabel2 = "zeroing weak peaks level";
    DialogEditText2 = ShortestText(WeakPeakLevel);
    ShowEditFields(10, 250, 245, 2, 80);
    NumberEdit(1), NumberEdit(2);
  }
  ShowDialogModal();
  if (DialogOk != 1) return false;

  double v[6] = {};
  for (int32_t r = 1; r <= rows; ++r) StrToFloatChecked(Form2.StringGrid1.Cell(0, r - 1), v[r]);
  double merge = MergeThreshold, weak = WeakPeakLevel;
  if (MainMode == PowderMatchMode) {
    StrToFloatChecked(Form2.Edit1.text, merge);
    StrToFloatChecked(Form2.Edit2.text, weak);
  }
  if (DialogOk != 1) return false;  // a field that is not a number counts as Cancel
  symmetryLinks = p >= 2 && Form2.CheckListBox1.Checked(0);
  phaseLinks = p >= 2 && Form2.CheckListBox1.Checked(1);
  if (symmetryLinks && phase.CrystalSystem == 6) {
    ShowMsg("Not applicable to hexagonal symmetry");
    return false;
  }
  if (symmetryLinks) {
    const LATTICE& g = PhaseTable[p - 1];
    if (phase.AtomCount != g.OperationCount * (g.CentringCount + 1) * (g.Centrosymmetric + 1)) {
      ShowMsg("Number of atoms not that of symmetry transforms" + LineBreak +
              "To form all symmetric atoms make it by key Rietveld");
      return false;
    }
  }
  phase.CellAccuracy = v[1];
  // A powder-match dialog shows no atom accuracy: the Rietveld one is kept for the next time.
  if (rietveld) phase.AtomAccuracy = v[2];
  if (p == 1) {
    sp.BackgroundDegree = static_cast<int32_t>(std::clamp(std::nearbyint(v[3]), -1.0, 6.0));
    DelayDeviation = v[4];
    AnisotropyBound = v[5];
  }
  if (MainMode == PowderMatchMode) MergeThreshold = merge, WeakPeakLevel = weak;
  return true;
}

void ResetRecords(int32_t n) {
  for (int32_t i = 1; i <= n; ++i) {
    ParameterRecord& r = parar[i];
    r.n = i, r.a = 1, r.b = 0;
    r.value = 0, r.lower = ResetLower, r.upper = ResetUpper, r.Error = 0;
  }
}

// Step 10: records 1..10 from the current spectrum.
void SetGlobalRecords(const TSpectrum& sp) {
  // Record 1 is the wavelength of an angular spectrum, which the model reads there.
  FixAlone(1, sp.AxisKind == AxisAngular ? sp.Lambda : sp.FlightPath);
  FixAlone(2, 0.0);
  const double deviation = std::fabs(DelayDeviation);
  parar[3].value = sp.Delay, parar[3].lower = sp.Delay - deviation, parar[3].upper = sp.Delay + deviation;
  BackgroundToParameters(4);
  SetSpectrumCorrectionRecord(sp);
}

// The background under the working range as the data show it: in each of up to 16 equal pieces
// the 20th percentile of the counts (peaks cover fewer channels than that), linear between the
// pieces' centres and flat beyond the outer ones.
std::vector<double> DataBackground(const TSpectrum& sp) {
  const int32_t first = std::max(sp.WorkFirst, 1), last = std::min(sp.WorkLast, MaxChannels);
  const int32_t n = last - first + 1;
  std::vector<double> bg(static_cast<size_t>(std::max(n, 0)), 0.0);
  if (n <= 0) return bg;
  const int32_t pieces = std::clamp(n / 32, 1, 16);
  std::vector<double> centre(pieces), level(pieces), y;
  for (int32_t i = 0; i < pieces; ++i) {
    const int32_t a = first + static_cast<int32_t>(int64_t{n} * i / pieces);
    const int32_t b = first + static_cast<int32_t>(int64_t{n} * (i + 1) / pieces) - 1;
    y.assign(sp.Y + a, sp.Y + b + 1);
    const auto at = y.begin() + static_cast<std::ptrdiff_t>(0.2 * static_cast<double>(y.size() - 1));
    std::nth_element(y.begin(), at, y.end());
    centre[i] = 0.5 * (a + b), level[i] = *at;
  }
  for (int32_t c = first, i = 0; c <= last; ++c) {
    while (i + 1 < pieces && centre[i + 1] <= c) ++i;
    const double f = i + 1 < pieces ? std::clamp((c - centre[i]) / (centre[i + 1] - centre[i]), 0.0, 1.0) : 0.0;
    bg[static_cast<size_t>(c - first)] = i + 1 < pieces && c >= centre[i] ? level[i] + f * (level[i + 1] - level[i])
                                                                          : level[i];
  }
  return bg;
}

// Step 11.1: the scale of phase p in the area convention of the profile model, where a
// reflection's area over the channels is scale x m x LF x |F|^2 (LF = d^4 in time of flight,
// 1/(sin th sin 2th) at the Bragg angle on an angular axis): the counts above the data's
// background over the working range divided by the sum of m LF |F|^2 of the reflections within
// it, the phases sharing the counts equally. No width or background record enters. channel[j] := the channel of reflection j. False
// after "Zero structure factors".
bool SetScaleRecord(int32_t p, int32_t base, TSpectrum& sp, std::vector<double>& channel) {
  const int32_t m = Reflections(p);
  channel.assign(static_cast<size_t>(m) + 1, 0.0);
  const bool magnetic = PhaseModelFlags[p] == 1, angular = sp.AxisKind == AxisAngular;
  double strength = 0, any = 0;
  for (int32_t j = 1; j <= m; ++j) {
    const THklRecord& h = HklTable[j][p];
    const double c = sp.DToChannel(h.d);
    channel[j] = c;
    any += h.Multiplicity * (h.A * h.A + h.B * h.B);
    // A reflection outside the working range (an angular 0 included) adds nothing to its counts.
    if (!(std::nearbyint(c) >= sp.WorkFirst && std::nearbyint(c) <= sp.WorkLast) || !(h.d > 0)) continue;
    double LF = std::pow(h.d, 4);
    if (angular) {
      const double th = std::asin(std::min(1.0, sp.Lambda / (2 * h.d)));
      const double LP = std::sin(th) * std::sin(2 * th);
      LF = LP > 1e-6 ? 1 / LP : std::fabs(LP);
    }
    strength += h.Multiplicity * LF * (h.A * h.A + h.B * h.B) * (magnetic ? h.q * h.q : 1.0);
  }
  const double maxFactor = magnetic ? PhaseTable[p].MaxQ : PhaseTable[p].MaxF;
  if (!(any > 0) || maxFactor == 0) {
    ShowMsg("Zero structure factors, phase=" + std::to_string(p));
    return false;
  }
  ParameterRecord& r = parar[base + 1];
  if (MainMode == PowderMatchMode) {
    Fix(r, 1.0);
    return true;
  }
  const std::vector<double> bg = DataBackground(sp);
  double area = 0;
  for (int32_t c = std::max(sp.WorkFirst, 1), i = 0; c <= std::min(sp.WorkLast, MaxChannels); ++c, ++i)
    area += sp.Y[c] - bg[static_cast<size_t>(i)];
  // The phases share the counts equally; no reflection in the range tells nothing.
  const double estimate = area / (Phases() * strength);
  r.value = std::isfinite(estimate) && strength > 0 ? std::max(estimate, 0.001) : 0.001;
  r.lower = std::min(r.value / 100, 1e-6);
  r.upper = 1e12;
  return true;
}

// Steps 11.2, 11.3: the metric records within the cell accuracy, then the crystal system's ties.
void SetMetricRecords(int32_t p, int32_t base) {
  PhaseMetric(p);
  const LATTICE& phase = PhaseTable[p];
  const std::array<double, 6> g = MetricRecordOrder(phase.Metric);
  const double q = phase.CellAccuracy / 100;
  for (int32_t i = 0; i < 6; ++i) {
    ParameterRecord& r = parar[base + 2 + i];
    r.value = g[i];
    // Ascending for the cross terms, and for every term when the accuracy is negative.
    r.lower = std::min(g[i] * (1 - q), g[i] * (1 + q));
    r.upper = std::max(g[i] * (1 - q), g[i] * (1 + q));
  }
  ApplyMetricConstraints(parar, base + 2, phase.CrystalSystem, MetricSetting(phase));
}

// Step 11.4. On an angular spectrum W0 is the width law's value at theta = 0 (the law is
// W0 + W1 tan(theta), channels), below every width the data show: only the width floor bounds it
// from below, not the spectrum's allowance about its first width.
void SetWidthRecords(int32_t base, const TSpectrum& sp) {
  const bool angular = sp.AxisKind == AxisAngular;
  ParameterRecord& w0 = parar[base + 8];
  const double delta = std::fabs(sp.Dw0);
  w0.value = sp.W0;
  w0.lower = angular ? std::min(sp.W0, 0.1) : std::max(sp.W0 - delta, 0.1);
  w0.upper = std::max(sp.W0 + delta, w0.lower);
  ParameterRecord& w1 = parar[base + 9];
  // The law's abscissa (u of the working range on a TOF spectrum, tan(theta) on an angular one)
  // is 1 where the spectrum's "Width 1" holds: W0 + W1 there, as ParametersToSpectrum writes it.
  w1.value = sp.W1 - sp.W0;
  w1.lower = -100, w1.upper = 100;
  Fix(parar[base + 10], 0.0);
}

// Step 11.5: one intensity per reflection; a run of reflections closer than MergeThreshold
// channels shares the intensity of its first member. Reflections outside the working interval
// stay at 0 and take part in no run.
void SetIntensityRecords(int32_t p, int32_t base, const TSpectrum& sp, const std::vector<double>& channel) {
  const int32_t m = Reflections(p);
  auto outside = [&](int32_t j) {
    const double ch = std::nearbyint(channel[j]);
    return !(ch >= sp.WorkFirst && ch <= sp.WorkLast);
  };
  for (int32_t j = 1; j <= m; ++j) {
    ParameterRecord& r = parar[base + 10 + j];
    const THklRecord& h = HklTable[j][p];
    if (outside(j)) {
      Fix(r, 0.0);
    } else {
      r.value = std::max(WeakPeakLevel, 10 * (h.A * h.A + h.B * h.B));
      r.lower = WeakPeakLevel;
      r.upper = 1e13;
    }
  }
  for (int32_t j = 2; j <= m; ++j)
    if (!outside(j) && !outside(j - 1) && std::fabs(channel[j] - channel[j - 1]) < MergeThreshold)
      TieToMaster(parar, base + 10 + j, base + 9 + j);
}

// Step 12.3: the three moment-direction records of every phase.
void SetMagneticRecords(int32_t phases) {
  if (!HasMagneticPhase()) return;
  const int32_t m = ParameterCount(0);
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t k = m + 3 * (p - 1) + 1;
    const LATTICE& phase = PhaseTable[p];
    if (MainMode == PowderMatchMode || PhaseModelFlags[p] != 1) {
      for (int32_t i = 0; i < 3; ++i) FixAlone(k + i, 0.0);
      continue;
    }
    const double* cosine = phase.MomentDirection;
    for (int32_t i = 0; i < 3; ++i) SetParameterRowValue(k + i, 0, cosine[i]);
    // The direction has two degrees of freedom: one component stays fixed.
    const int32_t held = cosine[0] != 0 ? 0 : cosine[1] != 0 ? 1 : 2;
    for (int32_t i = 0; i < 3; ++i) {
      if (i == held || cosine[i] == 0 || phase.CrystalSystem == 5) FixAlone(k + i, cosine[i]);
    }
  }
}

void ShowClosingDialog(bool symmetryChanged, int32_t& checkRequested) {
  InfoLines = LBREC{};
  AddInfoLine("    Parameter array prepared.");
  AddInfoLine(" Check and correct if needed par. dependences,");
  AddInfoLine(" Use for correction command INFO about Parameters");
  AddInfoLine(" Reminder! For magnetic phases scale parameters");
  AddInfoLine(" should be linked to those of atomic phases");
  if (symmetryChanged) AddInfoLine("Symmetry changing took place");
  DialogCaption = "Prepare " + ModeNames[std::clamp(MainMode, 0, ModeCount - 1)];
  BeginDialog(1);
  ShowListBox(10, 20, 380, 150);
  SetDialogOptions({" Check the prepared parameters"});
  ShowCheckListBox(10, 200, 380, 22);
  Form2.CheckListBox1.SetChecked(0, true);
  ShowDialogModal();
  if (DialogOk == 1) checkRequested = Form2.CheckListBox1.Checked(0) ? 1 : 0;
}

}  // namespace

void SetParameterRowValue(int32_t row, int32_t fixed, double value) {
  if (!TableIndexOk(row, 1, MaxParameters, "parameter")) return;
  ParameterRecord& r = parar[row];
  if (fixed != 0) {
    Fix(r, value);
  } else {
    r.lower = -1, r.value = value, r.upper = 1;
  }
}

void SetAtomParameterRows(int32_t phase, int32_t base) {
  if (!TableIndexOk(phase, 1, MaxPhases, "phase")) return;
  const int32_t atoms = Atoms(phase);
  if (!TableIndexOk(base + 10 * atoms + 10, 1, MaxParameters, "parameter")) return;
  // The room of a coordinate: the accuracy in per cent of the cell edge (1), the same for every
  // coordinate whatever its value.
  const double q = std::fabs(PhaseTable[phase].AtomAccuracy) / 100;
  const bool magnetic = PhaseModelFlags[phase] == 1;
  for (int32_t j = 1; j <= atoms; ++j) {
    const ATOM& atom = AtomTable[j][phase];
    ParameterRecord* r = parar + base + 10 * j;  // r[1..10]
    Fix(r[1], magnetic ? std::fabs(atom.MagneticMoment) * atom.Occupation : atom.Occupation);
    const double xyz[3] = {atom.X, atom.Y, atom.Z};
    // The site's stabiliser fixes coordinates (whatever their value) or makes them follow an
    // earlier one (x, x, x; x, 2x, z).
    const SiteSymmetry site = FindSiteSymmetry(PhaseTable[phase], xyz);
    for (int32_t i = 0; i < 3; ++i) {
      ParameterRecord& c = r[2 + i];
      const double v = xyz[i];
      c.value = v;
      c.lower = v - q;
      c.upper = v + q;
      if (site.master[i] < 0) {
        Fix(c, v);
      } else if (site.master[i] != i) {
        const int32_t m = site.master[i];
        TieToMaster(parar, base + 10 * j + 2 + i, base + 10 * j + 2 + m, site.a[i], v - site.a[i] * xyz[m]);
      }
    }
    const double t[6] = {atom.T11, atom.T12, atom.T13, atom.T22, atom.T23, atom.T33};
    for (int32_t i = 0; i < 6; ++i) Fix(r[5 + i], t[i]);
  }
}

std::string FixFloatingOrigin(int32_t phase, int32_t base) {
  const FloatingOrigin origin = FindFloatingOrigin(PhaseTable[phase]);
  const int32_t atoms = Atoms(phase);
  if (origin.dimension == 0 || atoms == 0) return {};
  std::vector<int32_t> order(static_cast<size_t>(atoms));
  for (int32_t j = 1; j <= atoms; ++j) order[static_cast<size_t>(j - 1)] = j;
  std::stable_sort(order.begin(), order.end(), [&](int32_t i, int32_t j) {
    const ATOM &a = AtomTable[i][phase], &b = AtomTable[j][phase];
    if (a.Weight != b.Weight) return a.Weight > b.Weight;
    return std::fabs(a.ScatteringLength) > std::fabs(b.ScatteringLength);
  });
  // Held coordinates i give the conditions d_i = 0 on the shift d = sum c_k basis_k; they are
  // kept in row echelon form, one row per direction pinned.
  const int32_t dim = origin.dimension;
  double held[3][3] = {};
  int32_t rank = 0;
  std::string note;
  for (int32_t j : order) {
    std::string coordinates;
    for (int32_t i = 0; i < 3 && rank < dim; ++i) {
      const int32_t row = base + 10 * j + 2 + i;
      ParameterRecord& c = parar[row];
      if (c.n != row || !(c.lower < c.upper)) continue;  // fixed, or follows another coordinate
      double v[3] = {};
      for (int32_t k = 0; k < dim; ++k) v[k] = origin.basis[k][i];
      for (int32_t r = 0; r < rank; ++r) {
        int32_t lead = 0;
        while (std::fabs(held[r][lead]) < 1e-9) ++lead;
        const double f = v[lead] / held[r][lead];
        for (int32_t k = 0; k < dim; ++k) v[k] -= f * held[r][k];
      }
      if (std::none_of(v, v + dim, [](double x) { return std::fabs(x) > 1e-9; })) continue;
      std::copy(v, v + 3, held[rank++]);
      Fix(c, c.value);
      coordinates += std::string(coordinates.empty() ? "" : " ") + "XYZ"[i];
    }
    if (!coordinates.empty())
      note += (note.empty() ? "" : ", ") + coordinates + " of atom " + std::to_string(j) + " " + AtomTable[j][phase].Name;
    if (rank == dim) break;
  }
  if (note.empty()) return {};
  return "Phase " + std::to_string(phase) + ": polar " + (dim > 1 ? "axes" : "axis") + ", origin held by " + note;
}

void SetAnisotropyRows() {
  const int32_t phases = Phases();
  constexpr int32_t m = AnisotropyParameterCount;
  // The anisotropy block exists in the Rietveld and powder-match layouts only.
  if (AnisotropyOn && (MainMode == RietveldMode || MainMode == PowderMatchMode)) {
    const int32_t first = ParameterCount(1);
    if (!TableIndexOk(first + m * phases, 0, MaxParameters, "parameter")) return;
    for (int32_t p = 1; p <= phases; ++p) {
      const int32_t s = first + (p - 1) * m;
      const LATTICE& phase = PhaseTable[p];
      if (!AnisotropicPhases[p]) {
        for (int32_t k = 1; k <= m; ++k) FixAlone(s + k, 0.0);
        continue;
      }
      for (int32_t k = 1; k <= m; ++k) {
        ParameterRecord& r = parar[s + k];
        const double value = phase.Anisotropy[k - 1];
        // Never above the value, also on records that were not reset.
        r.lower = std::min(-r.value - AnisotropyBound, value - AnisotropyBound);
        r.value = value;
        r.upper = value + AnisotropyBound;
        r.n = s + k, r.a = 1, r.b = 0;
      }
      const int32_t system = phase.CrystalSystem;
      if (system == 5 || system == 7) {
        for (int32_t g : {1, 4, 7}) TieToMaster(parar, s + g + 1, s + g), TieToMaster(parar, s + g + 2, s + g);
      } else if (system == 4 || system == 6) {
        for (int32_t g : {1, 4, 7}) TieToMaster(parar, s + g + 1, s + g);
      }
      if (MainMode == PowderMatchMode)
        for (int32_t k = 1; k <= 3; ++k) FixAlone(s + k, 0.0);
      for (int32_t k = 10; k <= 12; ++k) FixAlone(s + k, 0.0);
    }
  }
  if (M2Mode && MainMode != 1) {
    const int32_t s = ParameterCount(2);
    if (!TableIndexOk(s + 2, 1, MaxParameters, "parameter")) return;
    for (int32_t i = 1; i <= 2; ++i) {
      ParameterRecord& r = parar[s + i];
      r.lower = -1, r.value = M2ModeValues[i - 1], r.upper = 1;
      r.n = s + i, r.a = 1, r.b = 0;
    }
  }
}

void PrepareParameterArray(int32_t& checkRequested) {
  checkRequested = 0;
  if (MainMode != RietveldMode && MainMode != PowderMatchMode) return;
  const int32_t s = CurrentSpectrum;
  TSpectrum* spectrum = SpectrumAt(s);
  if (!spectrum || !FitParameters) return;
  TSpectrum& sp = *spectrum;
  if (!ProfileModelServes(sp)) return;

  // Steps 1-3: options, interval, analysis modes, the expansion of anisotropic phases.
  AskPreparationOptions(sp, s);
  if (DialogOk != 1) return;
  PreparationOptions o;
  o.useAvailable = Form2.CheckListBox1.Checked(0);
  o.analysisModes = Form2.CheckListBox1.Checked(1);
  o.stopButton = Form2.CheckListBox1.Checked(2);
  o.withLinks = Form2.CheckListBox1.Checked(4);
  o.anisToEquivalents = Form2.CheckListBox1.Checked(3) || o.withLinks;
  if (!ReadInterval(sp)) return;
  StopButtonOption = o.stopButton ? 1 : 0;
  if (o.analysisModes) {
    SetAnalysisModes();
    if (!ProfileModelServes(sp)) return;
  }
  o.useAvailable = o.useAvailable && FitParameters->NPar != 0;
  uint8_t expanded[MaxPhases + 1] = {};
  if (o.anisToEquivalents) {
    o.useAvailable = false;
    ExpandAnisotropicPhases(expanded);
  }

  // Steps 4-6: fit controls, the record count, the available array.
  SetDefaultFitControls();
  int32_t counted = 0;
  CountParameters(counted, MainMode);
  const int64_t wanted = PreparedCount(counted);
  if (wanted > MaxParameters) {  // a cut array would not fit the phases
    if (counted < MaxParameters) ShowMsg("Too many parameters - cut!");
    return;
  }
  const int32_t n = static_cast<int32_t>(wanted);
  FitParameters->NPar = n;
  // The points of the coming fit are the interval's channels (the engine's count is that of
  // the last fit, 0 before the first).
  if (sp.WorkLast - sp.WorkFirst + 1 < n) ShowMsg("Warning, N of parameters > N of channels");
  ParameterArrayMode = MainMode;
  if (o.useAvailable) {
    if (PreparedParameterCount == n) {
      ParametersPending[MainMode] = 0;
      return;
    }
    // The records of another layout do not fit the phases: prepared afresh.
    ShowMsg("New number of parameters differs from old");
  }

  // Steps 7-8: the accuracy dialogs.
  SetHelpLines(MainMode == RietveldMode ? ParameterArrayHelp : PowderMatchArrayHelp);
  const int32_t phases = Phases();
  bool symmetryLinks = false, phaseLinks = false;
  for (int32_t p = 1; p <= phases; ++p)
    if (!AskAccuracies(p, sp, s, symmetryLinks, phaseLinks)) return;

  // Steps 9-11: reset, global and phase records.
  ResetRecords(n);
  SetGlobalRecords(sp);
  std::vector<double> channel;
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t base = PhaseParameterOffset(p);
    if (!SetScaleRecord(p, base, sp, channel)) return;
    SetMetricRecords(p, base);
    SetWidthRecords(base, sp);
    if (MainMode == PowderMatchMode)
      SetIntensityRecords(p, base, sp, channel);
    else
      SetAtomParameterRows(p, base);
  }

  // Step 12: links, extension blocks, names, the copy into the engine.
  // The links of equivalent atoms tie coordinate records, which only the Rietveld layout has.
  const bool atomLinks = MainMode == RietveldMode;
  if (o.withLinks && atomLinks)
    for (int32_t p = 1; p <= phases; ++p)
      if (expanded[p]) GenerateEquivalentMoments(p);
  if (AnisotropyOn || M2Mode) SetAnisotropyRows();
  SetMagneticRecords(phases);
  if (symmetryLinks && atomLinks)
    for (int32_t p = 2; p <= phases; ++p) GenerateEquivalentPositions(p);
  if (phaseLinks && phases > 1) LinkPhases();
  // Links made to records that were tied themselves (a chain over three phases) go to the master.
  ResolveTies(parar, n);
  // The polar origins, among the coordinates that no link made to follow another; a phase expanded
  // with links keeps its former group in the links, which the hold would contradict.
  if (MainMode == RietveldMode)
    for (int32_t p = 1; p <= phases; ++p)
      if (!(o.withLinks && expanded[p]))
        if (const std::string note = FixFloatingOrigin(p, PhaseParameterOffset(p)); !note.empty()) LogLine(note);
  ParameterNames();
  TParameter& fit = *FitParameters;
  for (int32_t i = 1; i <= n; ++i) {
    ParameterRecord& r = parar[i];
    for (double* x : {&r.value, &r.lower, &r.upper})
      if (std::fabs(*x) < SnapLimit) *x = 0;
    fit.Records[i] = r;
  }

  if (!FreeParameterCountAllowed(fit)) return;
  CorrectScaling();

  SetParametersPending(ModeMask, 1);
  ParametersPending[MainMode] = 0;
  SetFitPending(ModeMask, 1);
  PreparedParameterCount = n;
  ShowClosingDialog(o.anisToEquivalents, checkRequested);
}

void ResetParameterRows(int32_t n) { ResetRecords(std::clamp(n, 0, MaxParameters)); }

bool SetPhaseScaleRecord(int32_t phase, int32_t base, TSpectrum& sp) {
  std::vector<double> channel;
  return SetScaleRecord(phase, base, sp, channel);
}

void SetPhaseWidthRecords(int32_t base, const TSpectrum& sp) { SetWidthRecords(base, sp); }

void SetSpectrumCorrectionRecord(const TSpectrum& sp) {
  // With a fixed wavelength exp(r c) over the range trades with the thermal factors: free only on
  // a time-of-flight spectrum, never in powder match.
  if (MainMode != PowderMatchMode && sp.AxisKind != AxisAngular) {
    parar[10].value = 0, parar[10].lower = -1, parar[10].upper = 1;
  } else {
    Fix(parar[10], 0.0);
  }
}

void SetMagneticRows() { SetMagneticRecords(Phases()); }

bool FreeParameterCountAllowed(const TParameter& fit) {
  int32_t free = 0;
  CountFreeParameters(fit, free);
  if (free <= MaxFreeParameters) return true;
  ShowMsg("Number of free parameters > 200" + LineBreak + " Take shorter interval");
  DialogOk = 0;
  return false;
}
