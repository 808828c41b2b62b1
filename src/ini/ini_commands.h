// The handlers of the INI commands for modes, spectra, weights and peak models, and for phases,
// atoms and reflections. Each reads its own value lines from IniTextFile (ini_reader.h).
#pragma once
#include <cstdint>
#include <string>

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

// ---- parameter array, fit controls, analysis start ----
extern std::string ParameterFileName;  // the parameter file last read by IPA
void ReadIniParameters(int32_t fromFile);  // IP (0), IPA (1)
void ReadIniFitControls();          // IMFC
void IniStartAnalysis();            // FS

// The line source starts afresh (no line given back, line count 0).
void ResetIniLineSource();
