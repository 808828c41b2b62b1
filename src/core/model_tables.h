// The program-wide model tables: the crystal phases, their atoms and reflections, the measured
// d-spacings, the working parameter array and the peak-model number of each marked point, with
// the analysis mode and the counts and switches that go with them. They live for the whole run
// and every module reads and writes them directly.
//
// Indexing: whatever the model counts (phases, atoms, reflections, operations, d-spacings,
// records, points) is 1-based, element 0 unused. A fixed group of values inside a record (a cell,
// a metric, a tensor) is a plain 0-based array in the order given beside it.
// The tables trust their counts; code that computes an index from input checks it with
// TableIndexOk before it writes.
#pragma once
#include <cstdint>
#include <string>
#include "core/fit_engine.h"  // ParameterRecord, MaxParameters
#include "core/neighbour_services.h"  // MarkedPointCapacity

// ---- bounds ----
constexpr int32_t MaxPhases = 6;
constexpr int32_t MaxAtoms = 200;            // atoms per phase
constexpr int32_t MaxReflections = 4000;     // reflections per phase in HklTable
constexpr int32_t MaxFitReflections = 2000;  // reflections per phase that a fit accepts
constexpr int32_t MaxDSpacings = 200;
constexpr int32_t MaxOperations = 48;        // symmetry operations of a phase
constexpr int32_t MarkedPointModelCount = MarkedPointCapacity;  // one per marked point
constexpr int32_t HalfChannels = 16384;      // block size of the smoothing functions
constexpr int32_t AnisotropyParameterCount = 12;  // anisotropy records per phase
constexpr int32_t ModeCount = 4;  // 0 Rietveld, 1 powder indexing, 2 powder match, 3 peak fitting
constexpr int32_t MaxFlatAtomIndex = MaxAtoms * MaxPhases;  // ResetAtom's flat index
constexpr int32_t NonStandardGroup = 777;  // the group of a phase whose operations come from a file

// Checks an index before a table is written: false, after the message
// "Error, <table> index <i> outside <lo>..<hi>", when i lies outside lo..hi.
bool TableIndexOk(int32_t i, int32_t lo, int32_t hi, const char* table);
// n held to 0..capacity; a larger n is cut with the message "Error, <table>: <n> cut to <capacity>".
int32_t CappedCount(int32_t n, int32_t capacity, const char* table);

// One crystal phase.
struct LATTICE {
  double Cell[6] = {};            // a, b, c (angstrom), alpha, beta, gamma (degrees)
  double ReciprocalCell[6] = {};  // a*, b*, c* (1/angstrom), alpha*, beta*, gamma* (degrees)
  double PreviousCell[6] = {};    // the cell before the last cell update
  double CellErrors[6] = {};      // standard deviations of the cell after a fit
  double Volume = 0;              // cubic angstrom
  double PreviousVolume = 0;
  double ReciprocalVolume = 0;
  double Working = 1.0;           // per-phase value of the model
  double PhaseW0 = 5.0;           // the phase's width W0 (at least 0.01), from its "Width 0" record
  double PhaseW1 = 0.0;           // and W1, from its "Width 1" record
  double ReciprocalSquares[3] = {};  // a*^2, b*^2, c*^2
  double CrossTerms[3] = {};      // 2a*b*cos(gamma*), 2a*c*cos(beta*), 2b*c*cos(alpha*)
  // 1/d^2 = A h^2 + B k^2 + C l^2 + D hk + E hl + F kl. The parameter records of a phase hold
  // the same six in the order h^2, k^2, l^2, kl, hl, hk.
  double Metric[6] = {};
  double IndexNormalisers[3] = {};  // L1, L2, L3: copies of a, b, c
  double MaxF = 1e-4, MaxQ = 1e-4;  // largest |F| and magnetic factor q over the reflections
  int32_t CrystalSystem = 1;  // 1 triclinic .. 7 rhombohedral
  int32_t LatticeType = 0;    // 0 P, 1 A, 2 B, 3 C, 4 F, 5 I, 6 R (LatticeTypeLetters)
  int32_t SpaceGroup = 0;     // 1..230 and the extra table entries; 777 non-standard; 0 none
  int32_t Setting = 1;
  int32_t ClassCode = 0;
  int32_t Centrosymmetric = 0;
  std::string Schoenflies;     // 7 characters
  std::string HermannMauguin;  // 7 characters
  int32_t AtomCount = 0;        // atoms in AtomTable (0..200)
  int32_t ReflectionCount = 0;  // reflections in HklTable
  int32_t OperationCount = 0;   // at most 48
  int32_t CentringCount = 0;    // centring translations in use (0..3)
  double CellAccuracy = 5.0;    // per cent
  double AtomAccuracy = 10.0;   // per cent
  double Rotations[3][3][MaxOperations + 1] = {};  // [row][column][operation 1..48]
  double Translations[3][MaxOperations + 1] = {};  // fraction of the cell edge
  double CentringVectors[3][4] = {};               // [coordinate][vector 1..3]
  double SecondMatrices[9][MaxOperations + 1] = {};  // a second 3x3 per operation, row by row
  double MomentDirection[3] = {0, 0, 1};           // along a, b, c
  double Anisotropy[AnisotropyParameterCount] = {};
  double MaxIndex4 = 0;  // N4: the largest h^4, k^4, l^4 over the reflections
  double MaxIndex2 = 0;  // the largest h^2, k^2, l^2
  double MeanMultiplicity = 0;
  // Choices of the phase editor: magnetic phase, group from a file, from the screen, from a
  // data base.
  uint8_t SourceFlags[4] = {};
};

// One atom of a phase.
struct ATOM {
  double Occupation = 0;
  double X = 0, Y = 0, Z = 0;  // fractional coordinates
  // Thermal tensor; T11 alone is the isotropic term when the others are 0.
  double T11 = 0, T12 = 0, T13 = 0, T22 = 0, T23 = 0, T33 = 0;
  double Errors[10] = {};  // of the ten values above, in their order, after a fit
  std::string Name;        // element symbol with an optional charge or isotope suffix
  double Weight = 0;
  double Radius = 0;            // covalent radius
  double ScatteringLength = 0;  // coherent, 10^-12 cm
  double Absorption1 = 0, Absorption2 = 0;  // total and absorption cross-sections, barn
  double Working = 0;
  double FormFactor[7] = {};  // magnetic form factor A, a, B, b, C, c, D
  std::string IonName;        // of the ion table
  double MagneticMoment = 0;
  uint8_t MagneticFlag = 0;   // 1 = the atom carries a moment
  uint8_t IsotropicFlag = 0;  // 1 = T22 and T33 are both fixed at zero
  uint8_t FoundByFourier = 0; // 1 = the last Fourier synthesis gave the atom a peak
};

// One reflection of a phase; records of a phase are sorted by d descending.
struct THklRecord {
  int32_t h = 0, k = 0, l = 0;
  int32_t Multiplicity = 0;
  double A = 0, B = 0;  // real and imaginary structure-factor sums (caches)
  double q = 0;         // magnetic interaction factor (cache)
  double d = 0;         // angstrom; -777 marks a symmetry-equivalent reflection to be dropped
  double IntensityFactor = 1.0;
  double ProfileValue = 0;
  uint8_t Taken = 0;  // given to a line in the current assignment pass of the indexing
};

// One measured d-spacing.
struct TDSpacingRecord {
  double d = 0;       // measured, angstrom
  double Error = 0;
  double DCalc = 0;   // calculated
  double X = 0;       // measured abscissa (DSpacingDataType)
  double XCalc = 0;   // calculated abscissa
  int32_t h = 0, k = 0, l = 0;  // assigned indices
  int32_t ReflectionIndex = 0;  // the assigned reflection of phase Phase in HklTable
  int32_t Phase = 0;     // assigned phase
  uint8_t Assigned = 0;  // shown as "OK"
};

// ---- tables ----
extern LATTICE PhaseTable[MaxPhases + 1];                        // [1..6]
extern ATOM AtomTable[MaxAtoms + 1][MaxPhases + 1];              // [atom][phase], phase fastest
extern THklRecord HklTable[MaxReflections + 1][MaxPhases + 1];   // [reflection][phase]
extern TDSpacingRecord DSpacingList[MaxDSpacings + 1];           // [1..DSpacingCount]
extern ParameterRecord parar[MaxParameters + 1];                 // the working parameter array
extern int32_t MarkedPointModels[MarkedPointModelCount + 1];     // peak-model number 1..6 per point
extern THklRecord HklScratch[2];  // scratch records for sorting and checking reflection lists

// ---- the analysis mode and its per-mode flags (0 Rietveld, 1 DozoruRovireru, 2 DazazeDedev,
// 3 Fitra) ----
extern int32_t MainMode;
extern const std::string ModeNames[ModeCount];
extern int32_t ParameterArrayMode;                // the mode for which parar was last formed
extern uint8_t ParametersPending[ModeCount];      // 1 = the parameter array is not prepared
extern uint8_t FitPending[ModeCount];             // 1 = no fit yet
extern uint8_t ResultsUnsaved[ModeCount];         // 1 = results not saved
extern int32_t UseAvailableArray[ModeCount];      // one-hot: "Use available parameter array"

// ---- counts and switches of the model ----
extern int32_t PhaseCount;                      // phases in use, 1 after a reset
extern int32_t SpectrumCount;                   // user spectra in use (1..4)
extern int32_t DSpacingCount;
extern int32_t DSpacingDataType;                // abscissae: 0 d, 1 theta, 2 two-theta, 3 channels
extern int32_t PhaseModelFlags[MaxPhases + 1];  // [1..6]; 1 = the phase is magnetic
extern uint8_t AnisotropyOn;                    // anisotropic broadening in use
extern uint8_t AnisotropicPhases[MaxPhases + 1];  // phases with anisotropy records
extern uint8_t M2Mode;                          // the m"_0 and m"_1 records are in use
extern double M2ModeValues[2];
extern int32_t WidthMode;        // peak-width law -1..3 (-1: a width per peak)
extern int32_t BackgroundMode;   // 1 = the peak-shaped background
extern int32_t CynematicFit;     // instrument constants fitted by the indexing: 3 records each
extern uint8_t NoCrystalInfo;    // no phase or atom information entered yet
extern uint8_t FitControlsGiven; // an INI or dat file supplied the fit controls
// Per-phase index bounds [phase][0..4]: largest h, smallest h, largest k, smallest k, largest l
// (the smallest l is 0).
extern int32_t HklBounds[MaxPhases + 1][5];
extern double CellVolumes[MaxPhases + 1];       // volume limit of the indexing search
constexpr double DefaultCellVolume = 5000.0;    // CellVolumes before anything sets them
extern double VolumeMinimizers[MaxPhases + 1];  // volume-minimizer choice of the indexing
extern double DMin, DMax;                       // d range of the hkl generation
extern double AverageDError;                    // mean error of the d-spacings
extern std::string SpaceGroupFileName;          // "vm.spg"
// The group file each phase's operations were read from (empty: none, SpaceGroupFileName is
// then the one to name).
extern std::string PhaseGroupFileNames[MaxPhases + 1];
extern std::string WorkDir;                     // current directory at start
// Character i + 1 is "x" when spectrum i (0..4) is on the graph.
extern std::string SpectrumSlots;
extern std::string SideButtonMask;              // "0"/"1" per side button 1..12
extern uint8_t StopButtonOption;                // fits show the STOP window
extern uint8_t GraphXAxis;                      // abscissa of the main graph
extern std::string TestTrueCell;                // true cell of the built-in indexing test
extern const std::string LatticeTypeLetters;    // "PABCFIR"

// Output and input of the model functions at one point: [0] the background, [1] the model
// value, [1 + k] the contribution of phase or peak k.
constexpr int32_t ModelOutputSize = 1002;
extern double ModelOutput[ModelOutputSize];
extern double ModelChannel;   // channel of a single-value (stage 4) call
extern double ModelSpectrum;  // spectrum of that call, rounded when used

// ---- the model reset and the atoms ----
// The model reset; n channels (capped to 1..32768) are kept by the four user spectra.
void ResetModelState(int32_t n);
// Random test atoms in atoms 1..100 of every phase, drawn from Random01.
void RandomizeAtoms();
// Resets the atom at flat index i (1..1200, phase fastest: i = 6 (atom - 1) + phase).
void ResetAtom(int32_t i);
// Copies the whole record of atom (atom, phase) onto (toAtom, toPhase).
void CopyAtom(int32_t atom, int32_t toAtom, int32_t phase, int32_t toPhase);
