#include "core/spectrum.h"

const std::array<const char*, 5> SpectrumFileTypes = {
    "",
    " binary, 2 bytes per word",
    " binary, 4 bytes per word",
    " ASCII free field format",
    " ASCII  threes:  X,  Y,  [ error ]",
};

std::array<std::unique_ptr<TSpectrum>, 5> SpectrumList;
int32_t CurrentSpectrum = 1;
int32_t IntervalFirst = 1, IntervalLast = 1024, NChannels = 1024;

int32_t VarianceMode = 0;
uint8_t SkipHeader = 0;
uint8_t ReverseBytes = 0;
uint8_t StartingChannelOne = 1;
int32_t AsciiErrorType = 0;
int32_t AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3;
uint8_t OutputMicroseconds = 0;
uint8_t ErrorsKnown = 0;
uint8_t IoOk = 0;

std::string SpectrumDir;
std::array<std::string, SequenceCapacity + 1> SequenceFileNames;
int32_t SequenceCount = 0;
std::array<std::string, SequenceCapacity + 1> SecondSequenceFileNames;

TSpectrum::TSpectrum(const std::string& name) : Name(name), VarianceName(name) {
  Y[0] = 0.0;
  E[0] = 1.0;
  X[0] = 0.0;
  for (int32_t i = 1; i <= MaxChannels; ++i) {
    Y[i] = 0.0;
    E[i] = 1.0;
    X[i] = i;
  }
  AsciiErrorType = 0;
  ErrorsKnown = 0;
}
