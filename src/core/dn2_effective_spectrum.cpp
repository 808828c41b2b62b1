#include "core/dn2_effective_spectrum.h"
#include <cmath>
#include "core/small_routines.h"
#include "core/spectrum.h"

// Counts of the vanadium run, ten a row; the comment is the index j of the row's first value.
const std::array<double, Dn2TableLast - Dn2TableFirst + 1> Dn2VanadiumTable = {
    143, 163, 176, 194, 210, 222, 259, 290, 335, 395,  // 44
    465, 527, 634, 770, 873, 1020, 1217, 1403, 1621, 1839,  // 54
    2120, 2391, 2697, 2921, 3239, 3728, 4151, 4526, 5102, 5689,  // 64
    6340, 7078, 8015, 8767, 9933, 10960, 12146, 13427, 14793, 15993,  // 74
    17115, 18402, 19586, 20839, 21971, 22915, 23947, 24928, 25690, 26291,  // 84
    26829, 27423, 27985, 27822, 28276, 28439, 28604, 28473, 28671, 28965,  // 94
    28786, 28747, 28320, 27874, 27493, 27231, 26736, 26296, 25983, 25669,  // 104
    25084, 24792, 24473, 23838, 23616, 23178, 22909, 22396, 22028, 21597,  // 114
    21508, 21067, 21087, 20477, 20352, 20145, 19922, 19660, 19801, 19588,  // 124
    19575, 19278, 19119, 19059, 19090, 18587, 18384, 17947, 17841, 17766,  // 134
    17416, 17121, 17036, 16760, 16525, 16334, 16027, 15894, 15944, 15808,  // 144
    15641, 15479, 15338, 15079, 15069, 14619, 14449, 14329, 14035, 13647,  // 154
    13631, 13203, 13171, 12913, 12743, 12475, 12335, 12091, 11813, 11544,  // 164
    11440, 11127, 10895, 10742, 10521, 10374, 10106, 9850, 9726, 9523,  // 174
    9302, 9160, 9018, 8795, 8746, 8611, 8527, 8298, 8158, 8020,  // 184
    7904, 7711, 7631, 7433, 7415, 7271, 7181, 6999, 6793, 6628,  // 194
    6485, 6397, 6153, 6074, 5922, 5823, 5710, 5672, 5700, 5708,  // 204
    5677, 5552, 5468, 5360, 5355, 5350, 5143, 5017, 4957, 4901,  // 214
    4835, 4732, 4711, 4604, 4505, 4436, 4311, 4263, 4183, 4147,  // 224
    4056, 3937, 3873, 3813, 3722, 3638, 3612, 3502, 3473, 3530,  // 234
    3557, 3533, 3435, 3490, 3424, 3373, 3352, 3266, 3226, 3186,  // 244
    3146,  // 254
};

namespace {
constexpr double TableStep = 128.0;     // microseconds per table index
constexpr double TableOrigin = 8.5;     // index of time 0
constexpr double StartIndex = 45.0;     // first index with a neighbour on each side
constexpr double EndIndex = 1094.0;     // end of the curve
constexpr double TableLimit = 250.0;    // from here on the wavelength laws
// Microseconds per metre and angstrom: m_n / h, so that lambda = t / (252.7578 L).
constexpr double TimePerWavelength = 252.7578;

double T(int32_t j) { return Dn2VanadiumTable[static_cast<size_t>(j - Dn2TableFirst)]; }

// The cubic through T(i-1), T(i), T(i+1), T(i+2) at the table position u, 45 <= u < 250.
double TableValue(double u) {
  const auto i = static_cast<int32_t>(u);
  const double f = u - i;
  if (f == 0.0) return T(i);
  const double a = T(i) + T(i + 1), b = T(i - 1) + T(i + 2);
  const double m = (9.0 * a - b) / 16.0;
  if (f == 0.5) return m;
  const double d1 = T(i + 1) - T(i), d3 = T(i + 2) - T(i - 1);
  const double s = f - 0.5;
  const double c1 = (27.0 * d1 - d3) / 24.0, c2 = (b - a) / 4.0, c3 = (d3 - 3.0 * d1) / 6.0;
  return ((c3 * s + c2) * s + c1) * s + m;
}

// The tail beyond the table: a power law of the wavelength, damped between 10 and 12 angstrom,
// and a steeper one from 12 angstrom on (the two meet at 12).
double TailValue(double lambda) {
  if (lambda >= 12.0) return 275564200.0 / PowerAbs(lambda, 5.85);
  double v = 541240.0 / PowerAbs(lambda, 3.253446);
  if (lambda > 10.0) {
    const double l = std::log(lambda / 10.0);
    v *= std::exp(-6.602738 * l * l);
  }
  return v;
}

// Trunc of x for a channel number, held inside 0..MaxChannels + 1.
int32_t TruncChannel(double x) {
  if (!(x > 0.0)) return 0;
  if (x > MaxChannels + 1.0) return MaxChannels + 1;
  return static_cast<int32_t>(x);
}
}  // namespace

void BuildDn2VanadiumSpectrum(int32_t n, double delay, double flightPath, double channelWidth) {
  if (!SpectrumList[0] || !(channelWidth > 0.0) || !(flightPath > 0.0)) return;
  TSpectrum& s = *SpectrumList[0];
  n = MinI(MaxI(n, 0), MaxChannels);
  const double r = TableStep / channelWidth;  // channels per table index
  double x = (StartIndex - TableOrigin) * r - delay;
  if (!(x > 0.0)) x = 1.0;
  int32_t kStart = TruncChannel(x + 0.5);
  x = (EndIndex - TableOrigin) * r - delay;
  const int32_t kEnd = MinI(TruncChannel(x), n);
  auto position = [&](int32_t k) { return (k + delay) * channelWidth / TableStep + TableOrigin; };
  // The cubic needs the table value before its position: start where u >= 45 (other channel
  // widths than 64 can round the start channel just below it).
  while (kStart <= kEnd && position(kStart) < StartIndex) ++kStart;

  double ymax = 0.0, ymin = 1e10;
  for (int32_t k = 1; k <= kEnd; ++k) {
    double v = 1.0;
    if (k >= kStart) {
      const double u = position(k);
      v = u < TableLimit ? TableValue(u) : TailValue((k + delay) * channelWidth / (TimePerWavelength * flightPath));
    }
    s.Y[k] = v;
    ymax = MaxD(ymax, v);
    ymin = MinD(ymin, v);
  }
  s.Ymax = ymax;
  s.Ymin = ymin;
  s.FirstChannel = 1;
  s.LastChannel = kEnd;
  s.Delay = delay;
  s.FlightPath = flightPath;
  s.ChanWidth = channelWidth;
}

void SetUpDn2EffectiveSpectrum() {
  if (!SpectrumList[0]) return;
  TSpectrum& s = *SpectrumList[0];
  s.Present = 1;
  BuildDn2VanadiumSpectrum(1024, 0.0, 25.0, 64.0);  // the curve reaches past channel 1024
  s.WorkFirst = 1;
  s.WorkLast = 1024;
  s.Name = "DN2-vanadium";
}
