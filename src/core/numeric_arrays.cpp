#include "core/numeric_arrays.h"
#include "core/messages.h"

double ScratchArray1[ScratchSize + 1];
double ScratchArray2[ScratchSize + 1];
double WorkArrays[WorkArrayCount + 1][ScratchSize + 1];
double WorkMatrix[4][4];
double WorkVector[4];
TLineFitPoint LineFitPoints[LineFitCapacity + 1];
TRandomSeeds RandomSeeds;
double EnvelopeMisfit = 0.0;
double EnvelopeRoughness = 0.0;
double ProposedSmoother = 1.0;

bool ArrayLengthFits(int32_t n, int32_t capacity) {
  if (n <= capacity) return true;
  ShowMsg("Too long array");
  return false;
}
