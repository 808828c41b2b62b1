// One measured diffraction spectrum (TSpectrum): a header with the file names, the channel
// ranges and the instrument calibration, and three channel arrays of counts, errors and
// abscissae; the five spectrum objects of the session; the spectrum file readers and writers with
// their program-wide options; the conversion between channel and d-spacing; the spectrum
// defaults file "vkest.def".
//
// Channels are numbered 1..MaxChannels; element 0 of the arrays is never used.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int32_t MaxChannels = 32768;

// Axis kinds of a spectrum.
constexpr int32_t AxisTimeOfFlight = 0;  // X is the channel; time = (channel + Delay) * ChanWidth
constexpr int32_t AxisAngular = 1;       // X is two-theta in degrees
constexpr int32_t AxisAny = 2;

// Spectrum file kinds, also the captions of every file-kind choice ([1..4]).
//   1 unsigned 16-bit little-endian words, one per channel
//   2 signed 32-bit little-endian words, one per channel
//   3 text, one number per channel, any number of numbers a line
//   4 text, one line per channel: X, Y and an optional error
extern const std::array<const char*, 5> SpectrumFileTypes;

// Time of flight per metre of flight path and angstrom of d-spacing at 2 sin(theta) = 1:
// 2 m_n / h in microseconds / (m * angstrom); t = K * L * d * sin(theta).
constexpr double TofConstant = 505.556;

class TSpectrum {
public:
  // CreateSpectrum: the header defaults, Y = 0, E = 1, X = the channel number. Also sets
  // AsciiErrorType and ErrorsKnown to 0.
  explicit TSpectrum(const std::string& name);
  // Copies are explicit: three channel tables make a spectrum large.
  std::unique_ptr<TSpectrum> Clone() const { return std::unique_ptr<TSpectrum>(new TSpectrum(*this)); }
  void CopyFrom(const TSpectrum& other) {
    if (this != &other) *this = other;
  }

  // ---- header ----
  std::string Name;              // spectrum file name; "DUMMY" stands for no file
  std::string VarianceName;      // variance file name
  int32_t FileType = 2;          // kind of the spectrum file (1..4)
  int32_t VarianceFileType = 2;  // kind of the variance file (1..4)
  int32_t FirstChannel = 1, LastChannel = 16384;  // channel range loaded
  int32_t WorkFirst = 1, WorkLast = 16384;        // working (fitted) channel range
  double Ymax = 1.0, Ymin = 0.0;                  // count range (ComputeYRange)
  int32_t AxisKind = AxisTimeOfFlight;
  double Factor = 1.0;           // "Ncons" of the effective-spectrum command
  double Abs1 = 0.00147, Abs2 = 0.00893;  // absorption values
  int32_t SampleShape = 0;       // 0 cylinder, 1 plane, 2 sphere
  uint8_t Present = 1;           // spectrum present
  uint8_t NormalizedFlag = 0;    // divided by the effective spectrum
  uint8_t AbsorptionCorrectedFlag = 0;
  int32_t BackgroundDegree = 3;  // dback: -1 none, 0..5 polynomial, 6 real shape
  double Background[7] = {0, 0, 0, 0, 0, 0, 0};  // [1..6]
  double SpectrumCorrection = 0.0;
  double ChanWidth = 4.0;        // microseconds per channel; the angle step of angular spectra
  double Delay = 0.0;            // channels; the zero shift of two-theta of angular spectra
  double Theta = 76.0;           // Bragg angle of the detector, degrees
  double FlightPath = 21.13;     // metres
  double W0 = 5.0, Dw0 = 4.0, W1 = 6.0, W2 = 6.0;  // width values
  double Lambda = 1.54;          // wavelength, angstrom
  double Spare1 = 0.0, Spare2 = 0.0;
  // Calibration of X, Y, error files: X at the first and last channel, mean X step per
  // channel, and channel = ChannelOffset + ChannelsPerX * X.
  double XFirst = 1.0, XLast = 16384.0, XStep = 1.0;
  double ChannelOffset = 0.0, ChannelsPerX = 1.0;
  // Angular spectra in the profile model: channel = two-theta (degrees) x slope + offset, from
  // the channel width and the first channel of the working range (UpdateAngleCalibration).
  double AngleToChannelSlope = 1.0, AngleToChannelOffset = 0.0;
  uint8_t DoubleSigned = 0;      // negative counts allowed
  // Channels an X Y E read put into the gaps of the file's X grid, ascending: no count, error 0
  // (weight 0, left out of every fit). A counts read of another kind clears the list.
  std::vector<int32_t> GapChannels;

  // ---- channels [1..MaxChannels] ----
  double Y[MaxChannels + 1];  // counts
  double E[MaxChannels + 1];  // errors (standard deviations)
  double X[MaxChannels + 1];  // abscissae

  // ---- readers: the file named by Name, or by VarianceName when VarianceMode = 1 (kind 4
  // always reads Name). Each returns success and leaves it in IoOk as well. A read that fails
  // leaves the spectrum as it was. ----
  bool ReadBinarySpectrum2();  // kind 1
  bool ReadBinarySpectrum();   // kind 2
  // Kind 3, channels from first. last is the caller's last channel; the file alone decides
  // how many channels are read, and a failed read leaves LastChannel as it was.
  bool ReadAsciiSpectrum(int32_t first, int32_t last);
  bool ReadAsciiTriples(int32_t first);                 // kind 4, channels from first

  // ---- writers of channels first..last: the counts, or the squared errors with
  // VarianceMode = 1 (kinds 1 to 3); success in IoOk. A value the kind cannot hold refuses the
  // whole write and nothing is written. ----
  void WriteBinarySpectrum2(int32_t first, int32_t last, const std::string& fileName);  // kind 1
  void WriteBinarySpectrum(int32_t first, int32_t last, const std::string& fileName);   // kind 2
  void WriteAsciiSpectrum(int32_t first, int32_t last, const std::string& fileName, int32_t decimals,
                          bool exponentFormat);
  // Kind 4; useX writes X[c] instead of the channel number.
  void WriteAsciiTriples(int32_t first, int32_t last, const std::string& fileName, int32_t decimals,
                         bool exponentFormat, bool useX);

  // Ymax and Ymin of Y over FirstChannel..LastChannel; Ymin is at most 0.
  void ComputeYRange();

  // Channel c is a gap: one of GapChannels that still holds no count and error 0 (a transform
  // that wrote data into it made it a channel like any other).
  bool IsGap(int32_t c) const;
  // The gaps among channels first..last, ascending.
  std::vector<int32_t> GapsIn(int32_t first, int32_t last) const;
  // y[1..last - first + 1] holds a copy of channels first..last: every channel of gaps (ascending)
  // becomes the straight line between the nearest channels with data on either side (the nearest
  // one's value at an end of the range; left alone when the range has none), so that a search
  // over the counts sees no dip where the file has no data.
  static void BridgeGaps(double* y, int32_t first, int32_t last, const std::vector<int32_t>& gaps);

  // The angular calibration as the header and the axis give it now: slope 1 / ChanWidth (0 for
  // a width below 1e-10), offset = WorkFirst - X[WorkFirst] x slope. The profile model reads
  // this, so positions are right whenever the spectrum or its calibration changed.
  void AngleCalibration(double& slope, double& offset) const;
  // The same into AngleToChannelSlope and AngleToChannelOffset.
  void UpdateAngleCalibration();

  // d-spacing (angstrom) of abscissa x (a channel) by the axis kind, at least 1e-5.
  double ChannelToD(double x) const;
  // The channel of d-spacing d; 0 when an angular spectrum does not reach it. A channel width
  // of 0 is taken as 1.0 after the message "Wrong channel width".
  double DToChannel(double d);

private:
  TSpectrum(const TSpectrum&) = default;
  TSpectrum& operator=(const TSpectrum&) = default;
  bool ReadBinary(int32_t wordSize);
  void WriteBinary(int32_t wordSize, int32_t first, int32_t last, const std::string& fileName);
  bool chanWidthWarned_ = false;  // "Wrong channel width" shown since the width became 0
};

// The five spectra: entry 0 the effective spectrum, 1..4 the working spectra. Created by the
// session start, freed at its end.
extern std::array<std::unique_ptr<TSpectrum>, 5> SpectrumList;
// The spectrum the menus act on (1 after a model reset).
extern int32_t CurrentSpectrum;
// The shown channel interval of the current spectrum; NChannels = IntervalLast - IntervalFirst + 1.
extern int32_t IntervalFirst, IntervalLast, NChannels;

// ---- reader and writer options (program-wide) ----
extern int32_t VarianceMode;        // 0 the files hold counts, 1 a variance (only E changes)
extern uint8_t SkipHeader;          // binary files begin with a 1024-byte header
extern uint8_t ReverseBytes;        // kind 2: the two 16-bit halves of a word are exchanged
extern uint8_t StartingChannelOne;  // kind 4: 0 takes the first line's X, rounded, as its channel
// Meaning of an error value v: 0 the error, 1 a variance, 2 a weight 1/sigma^2.
extern int32_t AsciiErrorType;
// Which item of a kind-4 line is X, Y and the error (1-based).
extern int32_t AsciiColumnX, AsciiColumnY, AsciiColumnE;
extern uint8_t OutputMicroseconds;  // kind-4 output of time-of-flight spectra in microseconds
// 1 when the last read took the errors from the file (kinds 1 and 2; kind 4 with an error item).
extern uint8_t ErrorsKnown;
extern uint8_t IoOk;  // 1 when the last spectrum read or write succeeded

// The folder of the last spectrum file.
extern std::string SpectrumDir;
// File names of a spectrum sequence, without folder ([1..1000]).
constexpr int32_t SequenceCapacity = 1000;
extern std::array<std::string, SequenceCapacity + 1> SequenceFileNames;
extern int32_t SequenceCount;  // names in SequenceFileNames; 0 at start
// A second list of file names of the same size for the spectrum-input and phase-evolution
// modules ([1..1000]).
extern std::array<std::string, SequenceCapacity + 1> SecondSequenceFileNames;

// The 32-bit word with its two 16-bit halves exchanged (b0 b1 b2 b3 -> b2 b3 b0 b1).
inline uint32_t SwapWordHalves(uint32_t w) { return (w << 16) | (w >> 16); }

// ---- the spectrum defaults file ----
inline constexpr const char* SpectrumDefaultsFileName = "vkest.def";
// Mode 1 writes the file from the spectrum (SpectrumDir and six calibration values); any other
// mode reads it into the spectrum: a missing file changes nothing, a value 0 keeps the default.
void ReadSpectrumInfo(const std::string& fileName, TSpectrum& spectrum, int32_t mode);
