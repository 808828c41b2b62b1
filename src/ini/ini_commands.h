// The handlers of the INI commands for modes, spectra, weights and peak models, and for phases,
// atoms and reflections. Each reads its own value lines from IniTextFile (ini_reader.h).
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include "core/model_tables.h"

// Evolution-module state that the commands set is declared in core/neighbour_services.h
// (TrevoMode, CorrectForEffectiveSpectrum).

// ---- modes, spectra, weights, peak models ----
void ReadIniMainMode();             // SM
void ReadIniNumberOfPhases();       // SNP
void ReadIniNumberOfPeaks();        // SNPF
void ReadIniNumberOfExponentials(); // SNEF
void ReadIniSpectrumInfo(int32_t axisKind);  // IS (0), IAS (1)
void ReadIniVarianceInfo();         // IV
void ReadIniEffectiveSpectrum();    // IES
void NormalizeSpectrumCommand(int32_t withSpectrumLine);  // NSCA (1), dat IESN (0)
void SetDn2EffectiveCommand();      // SDNES
void ReadIniAssignTwoThetas();      // AT
void ReadIniAsciiLineStructure();   // ASCIILS
void ReadIniZeroWeights();          // IZW
void ReadIniWidthBackgroundModes(); // SWBM
void ReadIniPeakModelAssignments(); // IPMA
void ReadIniRealModel(int32_t doubleSigned);  // IRM (0), IDRM and IDSRM (1)
// kind 0 real (IERM), 1 double-signed (IEDRM, IEDM), 2 special (IESM).
void ReadIniModelInfo(int32_t kind);

// ---- phases, atoms, reflections ----
// The phases from the parameter array (UpdatePhasesFromParameters); a magnetic atom keeps the
// moment its file line gives where the array's occupation x moment agrees with it within the
// writer's rounding.
void UpdatePhasesKeepingFileMoments();
void ReadIniLatticeParameters();    // ILP
void ReadIniAtomicParameters();     // IAP, IAI
void ReadIniScatteringAmplitudes(); // ENSSA
void ReadIniAtomsFromParameters();  // GAIPA
void ReadIniMagneticPhase();        // SMP
void ReadIniAnisotropicPhase();     // SAP
void ReadIniM2Mode();               // SMM
void IniFormHkls();                 // FHKL (also the dat BHKL and FHKL)
void ReadIniTakeHkls();             // THKL
void ReadIniReflectionCounts();     // SNRA

// ---- the indexing module ----
constexpr int32_t IndexingFitterRecords = 27;  // four phases of six and three instrument records
void ReadIniDSpacings();            // EDS
void ReadIniIndexingSymmetries();   // SSAI
void ReadIniVolumes();              // SV
void ReadIniVolumeMinimizers();     // SVM
void ReadIniHklBounds();            // SHKLB
void ReadIniDeterministicMode();    // SDM

// ---- phase evolution and calibration ----
void ReadIniTrevoZeroWeights();     // IZWT
void ReadIniShortOutputPeaks();     // IPSO
void ReadIniSimplePeaks();          // IPSU
void ReadIniSequenceInfo();         // ISS
void ReadIniSSS();                  // SSS
void ReadIniSSBE();                 // SSBE
void ReadIniSequenceNames(int32_t withVariances);  // ISNS (0), ISVNS (1)
void ReadIniCP();                   // CP
void RunTrevoCommand(int32_t automatic);  // TREVO (0), AUTOC (1)

// ---- the dat dialect ----
void ReadDatSpectrumInfo();         // IS
void ReadDatVarianceInfo();         // ISV
void ReadDatNumbers(int32_t n);     // SKES, DCVP, DIEA (1), GRFD, GFD (3)
void SkipDatLine();                 // UPF
void ReadDatFitControls();          // SCDM
void ReadDatIAC();                  // IAC
void ReadDatSSIB();                 // SSIB
void ReadDatFS();                   // FS
void ReadDatSpectrumCount();        // INSP
void ReadDatZeroWeights();          // ZW
void ReadDatWidthMode();            // SMW
void ReadDatIESN();                 // IESN
void ReadDatNormalization();        // NFS
void ReadDatAbsorption();           // AC
void ReadDatPeakModel(int32_t doubleSigned);  // FPM (0), FDSPM (1)
void ReadDatNumberOfPhases();       // SNP
void ReadDatINPAP();                // INPAP
void ReadDatSNA();                  // SNA
void ReadDatSpaceGroups(int32_t withSettings);  // ISGI (0), ESGI (1)
void ReadDatAtomNames();            // ICSA
void ReadDatParameterFile();        // IIPF
void ReadDatHkls(int32_t n);        // BHKL (2), FHKL (17)
// The six metric rows of a phase from the dat order A, F, E, B, D, C into A, B, C, D, E, F in
// records[1..n]: the values move, and every tie n pointing at a moved record follows it.
void ReorderDatMetricRows(std::span<ParameterRecord> records, int32_t n);

// ---- parameter array, fit controls, analysis start ----
extern std::string ParameterFileName;  // the parameter file last read by IPA
void ReadIniParameters(int32_t fromFile);  // IP (0), IPA (1)
void ReadIniFitControls();          // IMFC
void IniStartAnalysis();            // FS

// The line source starts afresh (no line given back, line count 0).
void ResetIniLineSource();
