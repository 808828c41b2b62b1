// Channel-by-channel arithmetic on the five spectra over the working range of spectrum i: moving,
// combining two spectra into spectrum 4 with propagated errors, constant operations, exchange,
// logarithm, Poisson errors and test patterns (a saw and a row of Gaussian peaks).
#pragma once
#include <cstdint>

// Items of the first dialog, 0-based.
enum ArithmeticItem : int32_t {
  ArMove, ArAdd, ArSubtract, ArMultiply, ArDivide, ArConstant, ArTimesConstant, ArExchange,
  ArErrorsToCounts, ArLog, ArPoisson, ArExit
};
// The constant operations of ArTimesConstant, 0-based.
enum ConstantOperation : int32_t {
  CoAdd, CoSubtractPositive, CoMultiply, CoDivide, CoSubtractMin, CoShift, CoReverse
};

struct TArithmeticRequest {
  int32_t item = ArAdd;
  int32_t i = 1, j = 2;           // source spectrum i and second spectrum j (0..4)
  int32_t operation = CoSubtractMin;
  double C = 1.0;
  char pattern = 0;               // 'z' the saw, 'g' the Gaussian row, 0 the constant C
  bool suppressNegative = false;  // subtraction: max(0, difference)
  bool applyToErrors = false;     // constant operations act on the errors only
};

// The last item of the first dialog (1-based; 12 = EXIT after every operation) and the kept flags.
extern int32_t LastArithmeticItem;
extern uint8_t SuppressNegativeDifference, ApplyConstantToErrors;

// Runs one operation; false after the missing-spectrum message. Writes the LogFile line.
bool ApplySpectrumArithmetic(const TArithmeticRequest& r);
