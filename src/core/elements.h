// The element and magnetic-ion tables and the look-up that fills an atom's element data.
#pragma once
#include <array>
#include <cstdint>
#include <string>

// One element: symbol (two characters, right-aligned: " H", "HE"), covalent radius (angstrom),
// coherent scattering length (10^-12 cm), atomic weight, total and absorption cross-sections
// (barn). Values unknown to the source are 0.
struct TElementRow {
  const char* Symbol;
  double Radius, ScatteringLength, Weight, TotalCrossSection, AbsorptionCrossSection;
};
// Rows H, D, T, then helium to californium: from helium on, row = atomic number + 2.
constexpr int32_t ElementRowCount = 100;
extern const std::array<TElementRow, ElementRowCount + 1> ElementTable;  // [1..100]

// One magnetic ion: name (symbol padded to two characters and the charge: "FE2", "V 0") and the
// form-factor coefficients A, a, B, b, C, c, D, e of <j0>.
struct TIonRow {
  const char* Name;
  double Coefficients[8];
};
constexpr int32_t IonCount = 81;
extern const std::array<TIonRow, IonCount + 1> IonTable;  // [1..81]

// Looks the name up in ElementTable and fills atom i of phase k: found := 1, the atom's name :=
// name, weight, radius and the two cross-sections := the row's, the scattering length := the
// row's when it was 0. The key is the upper-cased name without blanks: its first two characters
// when the second is a letter, else a blank and its first character ("Fe3+" -> "FE",
// "O2-" -> " O"). A length that differs from the row's (not 1.0, phase not magnetic) is noted in
// the result file as non-standard.
// Not found: "No Mendeleev match for " + key is asked with " Ignore?" (Yes: found := 1 and only
// the name is stored), or only written to the result file while InhibitWarnings is set (found 0).
void FindElement(const std::string& name, int32_t k, int32_t i, uint8_t& found);
