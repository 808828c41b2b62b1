// INI commands of the phase-evolution module (the sequence, its settings, zero-weight intervals,
// the simple peaks and the reference peaks of the short output), the calibration values of the
// auto-calibration, and the start of the evolution run.
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "evolution/trevo_state.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"
#include "peaks/auto_calibration.h"

namespace {

constexpr int32_t CalibrationValueLimit = 20;
constexpr int32_t SpectraSequenceLimit = 1000;   // names of "sp"
constexpr int32_t VarianceSequenceLimit = 500;   // spectra of "sp/var": the names share 1000 entries
constexpr int32_t IntegerLimit = 1000000000;     // plain integer settings

// The simple peaks a step can hold: the peak table and the models of the marked points.
constexpr int32_t SimplePeakLimit = std::min(TrevoPeakCapacity, MarkedPointModelCount);

int32_t Count(double x, int32_t& n) { return IniInteger(x, 0, IntegerLimit, n) ? 1 : 0; }

// The list file as named, else beside the command file, else in the spectrum folder.
std::string ListPath(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(name, ec)) return name;
  const fs::path bare(name);
  if (bare.has_parent_path()) return name;
  const fs::path own = fs::path(IniTextFile.Name()).parent_path();
  if (!own.empty() && fs::exists(own / bare, ec)) return (own / bare).string();
  if (!SpectrumDir.empty() && fs::exists(fs::path(SpectrumDir) / bare, ec)) return (fs::path(SpectrumDir) / bare).string();
  return name;
}

}  // namespace

void ReadIniTrevoZeroWeights() {
  KnownCommand = 1;
  std::array<double, 2> c{};
  int32_t count = 0;
  if (IniReadNumbers(1, c) < 1 || !Count(c[1], count)) return IniError("Wrong number of intervals for w-zeroing");
  if (count > ZeroWeightIntervalCapacity) {
    IniWarning("Error,number of intervals for w-zeroing > 10, cut to 10");
    count = ZeroWeightIntervalCapacity;
  }
  TZeroWeightIntervals z;
  bool good = true;
  for (int32_t i = 1; i <= count; ++i) {
    std::array<double, 3> v{};
    const int32_t got = IniReadNumbers(2, v);
    good = good && got == 2 && IniInteger(v[1], 1, MaxChannels, z.first[i]) &&
           IniInteger(v[2], 1, MaxChannels, z.last[i]) && z.first[i] <= z.last[i];
  }
  if (!good) return IniError("Wrong channels of the intervals for w-zeroing (1..32768, first <= last)");
  z.count = count;
  TrevoZeroWeightIntervals = z;
}

void ReadIniShortOutputPeaks() {
  KnownCommand = 1;
  int32_t count = 0;
  if (IniReadLine() < 1 || !Count(NumberBuffer[1], count)) return IniError("Wrong number of peaks for short output");
  if (count > ShortOutputCapacity) {
    IniError("Too many peaks for short output");
    count = ShortOutputCapacity;
  }
  std::array<TShortOutputPeak, ShortOutputCapacity + 1> peaks{};
  for (int32_t i = 1; i <= count; ++i) {
    std::array<double, 6> v{};
    int32_t f[5] = {};
    bool good = IniReadNumbers(5, v) == 5;
    for (int32_t j = 0; j < 5 && good; ++j) good = IniInteger(v[static_cast<size_t>(j + 1)], -IntegerLimit, IntegerLimit, f[j]);
    if (!good) return IniError("Wrong data for short output");
    peaks[static_cast<size_t>(i)] = {f[0], f[1], f[2], f[3], f[4]};
  }
  ShortOutputPeakCount = count;
  std::copy(peaks.begin() + 1, peaks.begin() + 1 + count, ShortOutputPeaks + 1);
}

void ReadIniSimplePeaks() {
  KnownCommand = 1;
  int32_t count = 0;
  if (IniReadLine() < 1 || !Count(NumberBuffer[1], count)) return IniError("Wrong SIMPLE command");
  std::vector<TTrevoPeak> peaks;
  peaks.reserve(static_cast<size_t>(SimplePeakLimit));
  int32_t taken = 0;
  for (; taken < count; ++taken) {
    const int32_t n = IniReadLine();
    if (n == 0) break;  // a title or the end: the peaks so far
    TTrevoPeak p;
    p.lower = NumberBuffer[1], p.reference = NumberBuffer[2], p.upper = NumberBuffer[3];
    p.model = n >= 4 ? NumberBuffer[4] : 1.0;
    if ((n != 3 && n != 4) || p.reference < p.lower || p.reference > p.upper) LogLine("Wrong SIMPLE command");
    if (static_cast<int32_t>(peaks.size()) < SimplePeakLimit) peaks.push_back(p);
  }
  if (taken < count) IniError("Less simple peaks than announced");
  if (taken > SimplePeakLimit)
    IniWarning("Too many peaks for the simple analysis, the first " + std::to_string(SimplePeakLimit) + " kept");
  std::stable_sort(peaks.begin(), peaks.end(), [](const TTrevoPeak& a, const TTrevoPeak& b) { return a.reference < b.reference; });
  MainMode = 3;
  TrevoMode = 0;
  MarkedPointCount = static_cast<int32_t>(peaks.size());
  for (size_t k = 0; k < peaks.size(); ++k) {
    TrevoPeakTable[k + 1] = peaks[k];
    int32_t m = 1;
    // A model number outside the table of models is kept as the real it is in the peak table.
    MarkedPointModels[k + 1] = IniInteger(peaks[k].model, -IntegerLimit, IntegerLimit, m) ? m : 1;
    MarkedPoints[k + 1] = peaks[k].reference;
  }
}

void ReadIniSequenceInfo() {
  KnownCommand = 1;
  std::array<double, 20> v{};
  if (IniReadNumbers(19, v) < 19) return IniError("INI: Too little data in ISS-command");
  int32_t type = 0, a1 = 0, a2 = 0, a11 = 0, a22 = 0, dback = 0, shape = 0, section = 0;
  if (!IniInteger(v[1], 1, 4, type)) return IniError("INI: Wrong file type in ISS-command");
  if (!IniInteger(v[2], 1, MaxChannels, a1) || !IniInteger(v[3], 1, MaxChannels, a2) || a2 <= a1 ||
      !IniInteger(v[4], 1, MaxChannels, a11) || !IniInteger(v[5], 1, MaxChannels, a22))
    return IniError("Wrong interval");
  if (!IniInteger(v[13], 0, MaxChannels, section)) return IniError("INI: Wrong section length in ISS-command");
  if (!IniInteger(v[16], -1, 6, dback) || !IniInteger(v[19], 0, 2, shape))
    return IniError("INI: Wrong background degree or sample shape in ISS-command");
  TSpectrum* sp = SpectrumList[std::clamp(CurrentSpectrum, 0, 4)].get();
  if (!sp) return;
  sp->FileType = type, sp->FirstChannel = a1, sp->LastChannel = a2, sp->WorkFirst = a11, sp->WorkLast = a22;
  sp->FlightPath = v[6], sp->Delay = v[7], sp->ChanWidth = v[8], sp->Theta = v[9];
  sp->W0 = v[10], sp->W1 = v[11], sp->Dw0 = v[12];
  sp->BackgroundDegree = dback, sp->Abs1 = v[17], sp->Abs2 = v[18], sp->SampleShape = shape;
  PeakSearchSectionLength = section, PeakSensitivity = v[14], PeakResolution = v[15];
  GraphXAxis = 0;
  sp->NormalizedFlag = 0, sp->AbsorptionCorrectedFlag = 0;
  PrintInstrumentHeader();
}

void ReadIniSSS() {
  KnownCommand = 1;
  std::array<double, 3> v{};
  int32_t first = 0, last = 0;
  if (IniReadNumbers(2, v) < 2 || !IniInteger(v[1], 0, SequenceStepCapacity, first) ||
      !IniInteger(v[2], 0, SequenceStepCapacity, last))
    return IniError("Wrong step range of the sequence");
  isp1 = first, isp2 = last;
}

void ReadIniSSBE() {
  KnownCommand = 1;
  int32_t x = 0;
  if (IniReadLine() < 1 || !IniInteger(NumberBuffer[1], -IntegerLimit, IntegerLimit, x))
    return IniError("Wrong SSBE option");
  SuppressExponentialBackground = x != 0 ? 1 : 0;
}

void ReadIniSequenceNames(int32_t withVariances) {
  KnownCommand = 1;
  std::string list, folder;
  if (!IniReadText(list) || !IniReadText(folder)) return IniError("Wrong sequence names");
  std::array<double, 2> v{};
  const int32_t limit = withVariances ? VarianceSequenceLimit : SpectraSequenceLimit;
  int32_t count = 0;
  if (IniReadNumbers(1, v) < 1 || !Count(v[1], count)) return IniError("Wrong sequence count");
  if (count > limit) {
    IniWarning("Too many spectra in the sequence, cut to " + std::to_string(limit));
    count = limit;
  }
  const auto trim = [](std::string s) {
    const size_t a = s.find_first_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
  };
  SequenceListName = trim(list).substr(0, 75);
  SpectrumDir = trim(folder);
  LogLine(SequenceListName);
  LogLine(SpectrumDir);
  SpectraOnlySequence = withVariances ? 0 : 1;
  SequenceCount = count;
  TextFile file;
  ReadSpectrumSequence(file, ListPath(SequenceListName), SequenceCount, withVariances ? 1 : 0);
  if (IoOk == 1 && withVariances && SequenceCount > limit) SequenceCount = limit;
}

void ReadIniCP() {
  KnownCommand = 1;
  int32_t n = 0;
  if (IniReadLine() < 1 || !Count(NumberBuffer[1], n)) return IniError("Wrong number of calibration points");
  std::vector<double> v(static_cast<size_t>(std::min(n, 100000)) + 1);
  const int32_t got = IniReadNumbers(static_cast<int32_t>(v.size()) - 1, v);
  if (got < n) return IniError("Less calibration points than announced");
  std::array<double, CalibrationValueLimit + 1> points{};
  for (int32_t i = 1; i <= std::min(n, CalibrationValueLimit); ++i) {
    int32_t x = 0;
    if (!IniInteger(v[static_cast<size_t>(i)], -IntegerLimit, IntegerLimit, x)) return IniError("Wrong calibration points");
    points[static_cast<size_t>(i)] = x;
  }
  if (n > CalibrationValueLimit) {
    IniWarning("Too many calibration points, the first " + std::to_string(CalibrationValueLimit) + " kept");
    n = CalibrationValueLimit;
  }
  CalibrationPointLimit = n;
  std::copy(points.begin() + 1, points.begin() + 1 + n, CalibrationPoints + 1);
}

void RunTrevoCommand(int32_t automatic) {
  KnownCommand = 1;
  // The automatic variant ends with the run, also when the module abandons it.
  struct AutoRunEnd {
    ~AutoRunEnd() { TrevoAutoRun = 0; }
  } end;
  TrevoAutoRun = automatic != 0 ? 1 : 0;
  TrevoMain();
}
