// The built-in test data sets: constant tables of the program.
#include "testdata/test_data_sets.h"
#include <algorithm>
#include <cmath>
#include <span>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/elements.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/parameter_layout.h"
#include "core/random.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/space_groups.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"
#include "testdata/test_data_tables.h"

namespace {

// ---- the refinement set ----
constexpr double ZrO2Cell[6] = {5.15367, 5.21982, 5.31867, 90.0, 99.199, 90.0};
struct TTestAtom {
  const char* name;
  double occupation, x, y, z, t11;
};
constexpr TTestAtom ZrO2Atoms[4] = {{"Zr", 0.98, 0.2758, 0.0404, 0.2089, 0.15},
                                    {"O", 1.0, 0.069, 0.342, 0.345, 0.4},
                                    {"O", 1.0, 0.451, 0.758, 0.479, 0.2},
                                    {"Hf", 0.02, 0.2758, 0.0404, 0.2089, 0.15}};
constexpr int32_t ZrO2FirstChannel = 60;
constexpr int32_t RietveldChannels = 1024;

// ---- the indexing sets ----
constexpr double ZrO2D[18] = {3.70169, 3.64325, 3.16788, 2.84455, 2.60991, 2.54369, 2.34525, 2.32216, 2.25584,
                              2.19429, 2.0686,  2.02282, 1.99292, 1.86184, 1.82162, 1.80594, 1.61282, 1.59463};
constexpr double ZrO2DErrors[18] = {0.003, 0.001, 0.002, 0.003, 0.001, 0.001, 0.001, 0.002, 0.001,
                                    0.002, 0.002, 0.001, 0.003, 0.002, 0.001, 0.001, 0.002, 0.001};
constexpr double ZrO2DChannels[18] = {707.3, 696.1, 605.5, 543.8, 499.0, 486.4, 448.6, 444.1, 431.5,
                                      419.8, 395.8, 387.0, 381.3, 356.3, 348.7, 345.7, 308.8, 305.4};
constexpr double OrthoD[12] = {6.5, 3.75, 3.26, 2.92, 2.77, 2.18, 2.12, 1.965, 1.741, 1.714, 1.686, 1.629};
constexpr double OrthoDErrors[12] = {0.003, 0.002, 0.002, 0.002, 0.002, 0.002,
                                     0.002, 0.002, 0.002, 0.002, 0.002, 0.002};
constexpr double CubicD[6] = {2.0268, 1.4332, 1.1702, 1.0134, 0.9064, 0.8275};
constexpr double CubicDErrors[6] = {0.0001, 0.0003, 0.0002, 0.0005, 0.0005, 0.001};
constexpr double TriclinicD[30] = {10.4, 5.73, 5.68, 5.48, 5.21, 5.15, 4.84, 4.73,  4.66,  4.28,
                                   4.0,  3.99, 3.71, 3.57, 3.54, 3.48, 3.45, 3.3,   3.26,  3.18,
                                   3.06, 3.05, 2.978, 2.904, 2.88, 2.867, 2.838, 2.824, 2.788, 2.749};
constexpr double TriclinicDErrors[30] = {0.01,  0.003, 0.005, 0.002, 0.01,  0.005, 0.01,  0.001, 0.005, 0.008,
                                         0.009, 0.002, 0.001, 0.01,  0.005, 0.01,  0.006, 0.001, 0.005, 0.006,
                                         0.007, 0.003, 0.01,  0.009, 0.01,  0.002, 0.005, 0.002, 0.003, 0.003};
constexpr double TwoPhaseD[30] = {2.751, 2.53,   2.523,  2.323,  2.312,  1.959, 1.866, 1.778, 1.714, 1.581,
                                  1.505, 1.418,  1.41,   1.375,  1.304,  3.8,   3.291, 2.327, 1.984, 1.9,
                                  1.645, 1.51,   1.472,  1.343,  1.266,  1.1637, 1.1123, 1.0968, 1.0404, 1.0034};
// Dolgarev: d and relative intensity; the table's two-theta and further column are not used.
constexpr double DolgarevD[21][2] = {{5.5752, 5},  {4.3354, 14}, {3.8625, 2},  {3.609, 86},  {3.3639, 81},
                                     {3.281, 5},   {2.7809, 77}, {2.5963, 18}, {2.4109, 100}, {2.3678, 67},
                                     {2.3235, 32}, {2.1655, 11}, {2.0175, 8},  {1.928, 15},  {1.8997, 4},
                                     {1.803, 7},   {1.7808, 10}, {1.7285, 1},  {1.7024, 4},  {1.5905, 3},
                                     {1.5194, 11}};

TSpectrum& Spectrum(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }

void SetTofHeader(TSpectrum& s, int32_t workFirst, int32_t workLast, double delay, double w0, double w1,
                  const char* name) {
  s.FirstChannel = 1;
  s.LastChannel = RietveldChannels;
  s.WorkFirst = workFirst, s.WorkLast = workLast;
  s.BackgroundDegree = 5;
  s.FileType = 1;
  s.AxisKind = AxisTimeOfFlight;
  s.FlightPath = 25.0, s.ChanWidth = 64.0, s.Delay = delay, s.Theta = 75.0;
  s.W0 = w0, s.Dw0 = 4.0, s.W1 = w1, s.W2 = 0.0;
  std::fill(std::begin(s.Background), std::end(s.Background), 0.0);
  s.Present = 1;
  s.Name = std::string(TestDataFolder) + name;
}

// Phase p's cell, group and derived geometry.
void SetPhase(int32_t p, const double (&cell)[6], int32_t group, int32_t setting) {
  LATTICE& ph = PhaseTable[p];
  std::copy(cell, cell + 6, ph.Cell);
  ph.SpaceGroup = group, ph.Setting = setting;
  PhaseModelFlags[p] = 0;
  ExpandSpaceGroup(p);
  ph.CrystalSystem = CrystalSystemOfGroup(group, setting);
  ph.Volume = ph.PreviousVolume = CellVolume(ph.Cell);
  std::copy(ph.Cell, ph.Cell + 6, ph.PreviousCell);
  std::copy(ph.Cell, ph.Cell + 3, ph.IndexNormalisers);
  CellMetric(ph.Cell, ph.ReciprocalCell, ph.ReciprocalVolume, 0);
  PhaseMetric(p);
}

// One option dialog of the set loaders: the chosen entry 1..n, 0 after Cancel.
int32_t AskSet(const char* caption, std::initializer_list<const char*> entries) {
  DialogCaption = caption;
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 5, 10, " Select the Option ", WhiteColor, TextBackgroundColor);
  SetDialogOptions(entries, 1);
  ShowRadioGroup(1, 1, 20, 30 * static_cast<int32_t>(entries.size()), 300, 40);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  return std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, static_cast<int32_t>(entries.size()));
}

// DSpacingList := the rows (d, error, abscissa), DSpacingCount := n.
void FillDSpacings(std::span<const double> d, std::span<const double> errors, std::span<const double> x) {
  const int32_t n = std::min<int32_t>(static_cast<int32_t>(d.size()), MaxDSpacings);
  for (int32_t i = 1; i <= n; ++i) {
    TDSpacingRecord& r = DSpacingList[i];
    r = TDSpacingRecord{};
    r.d = d[i - 1];
    r.Error = errors[i - 1];
    r.X = x.empty() ? 0.0 : x[i - 1];
  }
  DSpacingCount = n;
}

void SetSinglePhase(int32_t system, double volume) {
  PhaseCount = 1;
  PhaseTable[1].CrystalSystem = system;
  CellVolumes[1] = volume;
}

void FinishIndexingSet(const char* trueCell) {
  AssignDSpacings();
  TestTrueCell = trueCell;
}

// The peak spectra: counts from the table into the current spectrum's channels 1..n.
TSpectrum* PeakSpectrum(std::span<const double> counts, const char* name, double ymax, double ymin) {
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s) return nullptr;
  const int32_t n = static_cast<int32_t>(counts.size());
  for (int32_t c = 1; c <= n; ++c) {
    s->Y[c] = counts[c - 1];
    s->E[c] = std::sqrt(std::fabs(counts[c - 1]) + 1.0);
    s->X[c] = c;  // its own abscissa: no value of an earlier data set stays on the axis
  }
  GraphXAxis = 0;
  s->Present = 1;
  s->FirstChannel = s->WorkFirst = 1;
  s->LastChannel = s->WorkLast = n;
  s->AxisKind = AxisAny;
  s->Ymax = ymax, s->Ymin = ymin;
  s->Name = name;
  return s;
}

void LogTitle(const char* name, const char* title) { LogLine(std::string(name) + "  " + title); }

}  // namespace

void SetRietveldTestData() {
  for (int32_t i = 1; i <= 2; ++i) {
    TSpectrum& s = Spectrum(i);
    for (int32_t c = 1; c <= RietveldChannels; ++c) s.Y[c] = 0.0, s.E[c] = 1.0;
  }
  SpectrumCount = 1;
  PhaseCount = 1;
  TSpectrum& s1 = Spectrum(1);
  TSpectrum& s2 = Spectrum(2);
  for (size_t i = 0; i < ZrO2Counts.size(); ++i) {
    const double y = ZrO2Counts[i];
    const int32_t c = ZrO2FirstChannel + static_cast<int32_t>(i);
    s1.Y[c] = y, s1.E[c] = std::sqrt(y);
    s2.Y[c + 100] = 1.25 * y, s2.E[c + 100] = 1.25 * std::sqrt(y);
  }
  SetTofHeader(s1, 305, 740, -1.187, 7.0, 7.0, "z.spc");
  SetTofHeader(s2, 405, 840, -101.187, 5.0, 0.0, "zz.sp");
  IntervalFirst = 1, IntervalLast = RietveldChannels;
  // The graph maps its pixels to channels through NChannels from IntervalFirst: it must span the
  // interval.
  NChannels = IntervalLast - IntervalFirst + 1;

  SetPhase(1, ZrO2Cell, 14, 2);
  PhaseTable[1].AtomCount = 4;
  for (int32_t a = 1; a <= 4; ++a) {
    const TTestAtom& t = ZrO2Atoms[a - 1];
    ATOM& atom = AtomTable[a][1];
    atom.Occupation = t.occupation;
    atom.X = t.x, atom.Y = t.y, atom.Z = t.z;
    atom.T11 = t.t11;
    atom.T12 = atom.T13 = atom.T22 = atom.T23 = atom.T33 = 0.0;
    atom.ScatteringLength = 0.0;  // the element table's length
    std::string name = t.name;
    UpperCaseCyr(name);
    if (name.size() == 1) name = " " + name;
    uint8_t found = 0;
    FindElement(name, 1, a, found);
  }
  // T22 = T33 = 0: the atoms are isotropic, their T11 the B of exp(-B / (4 d^2)).
  UpdateAtomFixFlags(0);
  DMin = 1.577, DMax = 3.8889;
  FormPhaseReflections(1, DMin, DMax);
  for (int32_t i = 1; i <= 2; ++i) {
    TSpectrum& s = Spectrum(i);
    for (int32_t c = std::max(s.FirstChannel, 1); c <= std::min(s.LastChannel, MaxChannels); ++c)
      s.X[c] = s.ChannelToD(c);
  }
}

void FormPhaseReflections(int32_t p, double dmin, double dmax) {
  FormSymmetricHklList(p, dmin, dmax);
  LATTICE& ph = PhaseTable[p];
  const int32_t n = std::clamp(ph.ReflectionCount, 0, MaxReflections);
  for (int32_t j = 1; j <= n; ++j) {
    THklRecord& r = HklTable[j][p];
    if (r.d <= 0) continue;
    Q0 = 1.0 / (r.d * r.d);
    CalcStructureFactor(0, p, r.h, r.k, r.l, r.Multiplicity, 0, r.A, r.B, r.q);
  }
  FormHklsOfPhases(1);
  NoCrystalInfo = 0;
}

void SetAutoindexingTestData() {
  switch (AskSet("Set the data for autoindexing test",
                 {" Set ZrO2 data", " Set OrthoRhombic", " Set Cubic", " Set Triclinic", " Set 2 Phases(Monoc+Cub)",
                  " Set Dolgarev data"})) {
    case 1: return SetZrO2TestData();
    case 2: return SetOrthorhombicTestData();
    case 3: return SetCubicTestData();
    case 4: return SetTriclinicTestData();
    case 5: return SetTwoPhaseTestData();
    case 6: return SetDolgarevTestData();
    default: return;
  }
}

void SetZrO2TestData() {
  SetSinglePhase(2, 150.0);
  if (TSpectrum* s = SpectrumAt(CurrentSpectrum)) {
    s->FlightPath = 25.0, s->ChanWidth = 64.0, s->Delay = -1.19, s->Theta = 75.0;
  }
  DSpacingDataType = 3;
  FillDSpacings(ZrO2D, ZrO2DErrors, ZrO2DChannels);
  // Measured lines are never exact: +0.1 % and -0.1 % alternately, the first up.
  for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i].d *= i % 2 == 1 ? 1.001 : 0.999;
  FinishIndexingSet("True: A=5.32  B=5.22  C=5.15  b=99.3  V=141.2");
}

void SetOrthorhombicTestData() {
  SetSinglePhase(3, 500.0);
  FillDSpacings(OrthoD, OrthoDErrors, {});
  FinishIndexingSet("True: A=6.98  B=9.18  C=6.50  V=416.6 eps=0.00197");
}

void SetCubicTestData() {
  PhaseTable[1].CrystalSystem = 5;
  CellVolumes[1] = 50.0;
  DSpacingDataType = 0;
  FillDSpacings(CubicD, CubicDErrors, {});
  FinishIndexingSet("True: A=2.03");
}

void SetTriclinicTestData() {
  SetSinglePhase(1, 500.0);
  FillDSpacings(TriclinicD, TriclinicDErrors, {});
  FinishIndexingSet("True: A=10.7  B=6  C=6.1  a=107  b=103  g=82   V=363");
}

void SetTwoPhaseTestData() {
  PhaseCount = 2;
  PhaseTable[1].CrystalSystem = 2;
  CellVolumes[1] = 100.0;
  PhaseTable[2].CrystalSystem = 5;
  CellVolumes[2] = 500.0;
  double errors[30];
  std::fill(std::begin(errors), std::end(errors), 0.002);
  FillDSpacings(TwoPhaseD, errors, {});
  FinishIndexingSet("True: A1=4.68  B1=3.43  C1=5.13  b1=99.5  A2=6.58  V1=81  V2=285");
}

void SetDolgarevTestData() {
  SetSinglePhase(2, 500.0);
  double d[21], errors[21];
  for (int32_t i = 0; i < 21; ++i) {
    d[i] = DolgarevD[i][0];
    errors[i] = 0.01 / std::sqrt(DolgarevD[i][1]);
  }
  FillDSpacings(d, errors, {});
  FinishIndexingSet("True: unknown");
}

void SetPeakTestData() {
  switch (AskSet("Set the data for peak analysis test",
                 {" Set small peak spectrum", " Set vism spectrum", " Set Assymmetric-Peak Spectrum",
                  " Set exponential spectrum", " Set pelin data"})) {
    case 1: return SetSmallPeakSpectrum();
    case 2: return SetVismSpectrum();
    case 3: return SetAsymmetricPeakSpectrum();
    case 4: return SetExponentialSpectrum();
    case 5: return SetPelinSpectrum();
    default: return;
  }
}

void SetSmallPeakSpectrum() {
  if (TSpectrum* s = PeakSpectrum(SmallPeakCounts, "small.spc", 682, 0)) s->W0 = 6.0, s->W1 = 6.0;
}

void SetVismSpectrum() {
  if (PeakSpectrum(VismCounts, "vism.spc", 145387, -399)) LogTitle("vism.spc", "CaMn2O spectrum");
}

void SetAsymmetricPeakSpectrum() {
  if (PeakSpectrum(AsymmetricPeakCounts, "sorek.spc", 23149, 0)) LogTitle("sorek.spc", "Sorek spectrum");
}

void SetExponentialSpectrum() {
  constexpr int32_t n = 512;
  double counts[n];
  for (int32_t k = 1; k <= n; ++k) counts[k - 1] = 2000.0 * std::exp(-k / 50.0);
  TSpectrum* s = PeakSpectrum(counts, "expo.spc", 0, 0);
  if (!s) return;
  // The errors are those of the noiseless counts.
  for (int32_t k = 1; k <= n; ++k) s->Y[k] = std::max(0.0, s->Y[k] + (Random01() - 0.5) * s->E[k]);
  // The count range from the data: a stored 1761 would cut the top (near 1960) off the graph.
  s->ComputeYRange();
}

void SetPelinSpectrum() {
  TSpectrum* s = PeakSpectrum(PelinCounts, "pelin.spc", 29, 0);
  if (!s) return;
  for (int32_t c = 1; c <= static_cast<int32_t>(PelinCounts.size()); ++c) s->E[c] = std::sqrt(std::max(s->Y[c], 0.0));
  LogTitle("pelin.spc", "Pelin data");
}
