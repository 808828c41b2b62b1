// The parameter-array editor: the records of the current analysis mode as an editable grid of
// seven columns (name, N, lower limit, value, upper limit, a, b), checked row by row and copied
// back into the mode's least-squares object. A row means (the engine's rules): N = own index an
// independent parameter with a = 1, b = 0 and lower <= value <= upper (lower = upper fixes it);
// 1 <= N < own index a dependent one, value = a * value[N] + b.
//
// The grid is Form2.StringGrid1, grid row i showing record i of parar. A cell whose text the
// user leaves as ShowParameterRow wrote it keeps the number it was written from, bit for bit.
#pragma once
#include <cstdint>
#include <string>
#include "core/fit_engine.h"

// While 1 the grid shows no bounds and nothing is read back.
extern uint8_t ParameterValuesOnly;
// The caption of the next TraceParameterArray.
extern std::string TraceCaption;

// The flags of one row, in the order of their lines.
enum ParameterRowFlag : int32_t {
  WrongNFlag,
  WrongLowerFlag,
  WrongValueFlag,
  WrongUpperFlag,
  WrongAFlag,
  WrongBFlag,
  IndependenceFlag,
  ParameterRowFlagCount
};
// What ReadParameterRow found: the bad row (0 while none), the flags and the six numbers.
struct TParameterRowCheck {
  int32_t badRow = 0;
  uint8_t flags[ParameterRowFlagCount] = {};
  double n = 0, lower = 0, value = 0, upper = 0, a = 0, b = 0;
  bool Bad() const;
};
extern TParameterRowCheck ParameterRowCheck;

// The indexing fitter (MainMode 1) for the editor; the indexing module installs it when it
// creates its fitter (CelixFitterCreated). nullptr until then.
extern TParameter* (*CelixFitterAccess)();
// The least-squares object of MainMode: the indexing fitter in mode 1 (nullptr while it does not
// exist), FitParameters otherwise.
TParameter* ModeParameterObject();

// The editor; Cancel copies nothing back and leaves DialogOk 1. A check that fails lists the bad
// rows and shows the grid again with the user's texts, until every row is good or Cancel.
void EditParameterArray();
// Reads grid rows 1..CountParameters(MainMode); a good row goes into parar, a bad row sets bad
// and its lines into the list " +++Parameter array is wrong ", shown when any row is bad. Then
// the mode's object is compressed (when every row is good). Nothing happens while
// ParameterValuesOnly is 1.
void ValidateParameterArray(int32_t& bad);
// Reads and checks grid row i into ParameterRowCheck. The N cell loses the markers " *B" and
// " *W" (the cleaned text goes back into the cell); N must be a number with 1 <= N <= i; the
// five numbers must be numbers (an empty cell is none); an independent row needs a = 1, b = 0,
// lower <= value <= upper.
void ReadParameterRow(int32_t i);
// Writes record i of parar into grid row i, each number by FormatParameterNumber; an
// independent row gets " *B" after N when free with its value on a bound, " *W" when its value
// lies outside its bounds or the bounds are crossed.
void ShowParameterRow(int32_t i, int32_t decimals);
// The text of one grid number, also left in InputLine: "0" for 0; the exponent form (15, 6)
// when |x| > 99000, |x| < 10^-decimals or the fixed form does not fit; an integral x without
// decimals; else the given decimals; blanks removed.
std::string FormatParameterNumber(int32_t decimals, double x);
// With OptionFlags[9]: the cell part of the array (records 12..17 and CellWorkRows) to LogFile.
void TraceParameterArray();
