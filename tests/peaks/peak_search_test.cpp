// The automatic peak search against planted peaks (numpy, with scipy's find_peaks as a peer),
// its metamorphic properties, the height cut against numpy's stable argsort, and bad input.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include "peaks/peak_search.h"
#include "peaks/peaks_setup.h"

namespace {
struct PlantedPeak {
  double position, width, sigmas;
};
struct PlantedSpectrum {
  std::vector<double> counts;
  std::vector<PlantedPeak> peaks;
  std::vector<double> scipy;
};

const std::vector<PlantedSpectrum>& Ensemble() {
  static const std::vector<PlantedSpectrum> ensemble = [] {
    std::vector<PlantedSpectrum> all;
    for (const Tokens& row : GoldenRows("planted_spectra.txt", "peaks")) {
      if (row[0] == "spectrum") all.emplace_back();
      if (row[0] == "counts") all.back().counts = Numbers(row);
      if (row[0] == "peak") all.back().peaks.push_back({Numbers(row)[0], Numbers(row)[1], Numbers(row)[2]});
      if (row[0] == "scipy") all.back().scipy = Numbers(row);
    }
    return all;
  }();
  return ensemble;
}

double Tolerance(const PlantedPeak& p) { return std::max(1.0, 0.25 * p.width); }

// The found point nearest to x (NaN when none).
double Nearest(const std::vector<double>& found, double x) {
  double best = NAN;
  for (double f : found)
    if (!(std::fabs(f - x) >= std::fabs(best - x))) best = f;
  return best;
}

// Matches of one run over the ensemble at the current sensitivity.
struct EnsembleScore {
  int32_t strong = 0, strongFound = 0, found = 0, falsePositives = 0;  // strong: 8 sigma or more
  int32_t repeats = 0;  // points on a planted peak that another point took
  int32_t peerStrong = 0, peerWithinHalfWidth = 0;
  double error = 0, peerError = 0;  // summed distances to the truth where both hit
};

EnsembleScore ScoreEnsemble(const std::function<void(const std::vector<double>&)>& load) {
  EnsembleScore r;
  for (const PlantedSpectrum& s : Ensemble()) {
    load(s.counts);
    FindPeaks(*SpectrumList[1], 1, 4000, 5.0, 12.0, 4.0);
    const std::vector<double> points(MarkedPoints + 1, MarkedPoints + 1 + MarkedPointCount);
    for (const PlantedPeak& p : s.peaks) {
      const double f = Nearest(points, p.position), q = Nearest(s.scipy, p.position);
      const bool hit = std::fabs(f - p.position) <= Tolerance(p), peerHit = std::fabs(q - p.position) <= Tolerance(p);
      if (p.sigmas < 8.0) continue;
      ++r.strong, r.strongFound += hit;
      if (hit && peerHit) {
        ++r.peerStrong;
        r.error += std::fabs(f - p.position), r.peerError += std::fabs(q - p.position);
        r.peerWithinHalfWidth += std::fabs(f - q) <= 0.5 * p.width;
      }
    }
    // A found point near no planted peak is false; points on one planted peak count once.
    std::vector<bool> used(s.peaks.size(), false);
    for (double f : points) {
      bool matched = false;
      for (size_t j = 0; j < s.peaks.size(); ++j)
        if (std::fabs(f - s.peaks[j].position) <= Tolerance(s.peaks[j])) {
          if (!used[j]) ++r.found;
          r.repeats += used[j] && !matched;
          used[j] = matched = true;
        }
      if (!matched) ++r.falsePositives, ++r.found;
    }
  }
  return r;
}
}  // namespace

class PeakSearchTest : public PeaksTest {
protected:
  EnsembleScore Score() {
    return ScoreEnsemble([this](const std::vector<double>& counts) { Load(counts); });
  }
};

TEST_F(PeakSearchTest, FindsPlantedPeaksOfTheEnsemble) {
  ASSERT_EQ(Ensemble().size(), 20u);
  EnsembleScore r = Score();
  EXPECT_GE(r.strongFound, 0.98 * r.strong);
  EXPECT_LE(r.falsePositives, 0.05 * r.found);
  EXPECT_EQ(r.repeats, 0);
  // The centroids over the local background sit nearer the truth than scipy's integer maxima of
  // the smoothed counts.
  EXPECT_LE(r.error, r.peerError);
  EXPECT_EQ(r.peerWithinHalfWidth, r.peerStrong);
  // A larger sensitivity keeps the strong peaks and reports no more noise.
  const int32_t falseAtOne = r.falsePositives;
  PeakSensitivity = 3.0;
  r = Score();
  EXPECT_LE(r.falsePositives, falseAtOne);
  EXPECT_GE(r.strongFound, 0.98 * r.strong);
}

// Channels with no data (the gaps of a measured grid: count 0, error 0) on the top of every
// planted peak and every 97th channel: the search sees no dip there, finds the strong peaks of
// the complete spectra, reports no more false points and takes no peak twice. So do runs of ten
// gaps on a flank of every planted peak from 0.6 widths out (the bridge a straight line above the
// falling counts), and runs of a width across every top (the bridge flat below the top).
TEST_F(PeakSearchTest, GapChannelsAreMissingDataNotZeroCounts) {
  const EnsembleScore full = Score();
  struct Holes {
    const char* name;
    double from, widths;  // a run from `from` widths beside each peak, `widths` widths long (0: one channel)
    int32_t every;        // and every so many channels (0: none)
  };
  for (const Holes& k : {Holes{"single channels on the tops", 0, 0, 97}, Holes{"runs on the flanks", 0.6, 0, 0},
                         Holes{"runs across the tops", -0.5, 1, 0}}) {
    SCOPED_TRACE(k.name);
    size_t spectrum = 0;
    const EnsembleScore gaps = ScoreEnsemble([&](const std::vector<double>& counts) {
      TSpectrum& sp = Load(counts);
      std::vector<int32_t> holes;
      int32_t side = 1;
      for (const PlantedPeak& p : Ensemble()[spectrum++].peaks) {
        side = k.from > 0 ? -side : 1;
        const auto start = static_cast<int32_t>(std::lround(p.position + side * k.from * p.width));
        const int32_t length = k.from > 0 ? 10 : std::max(1, static_cast<int32_t>(std::lround(k.widths * p.width)));
        for (int32_t j = 0; j < length; ++j) holes.push_back(start + side * j);
      }
      for (int32_t c = 50; k.every > 0 && c < 4000; c += k.every) holes.push_back(c);
      std::sort(holes.begin(), holes.end());
      holes.erase(std::unique(holes.begin(), holes.end()), holes.end());
      holes.erase(std::remove_if(holes.begin(), holes.end(), [](int32_t c) { return c < 2 || c > 3999; }), holes.end());
      for (int32_t c : holes) sp.Y[c] = 0, sp.E[c] = 0;
      sp.GapChannels = holes;
    });
    EXPECT_GE(gaps.strongFound, full.strongFound - 0.02 * full.strong);
    EXPECT_LE(gaps.falsePositives, full.falsePositives + 0.01 * full.found);
    EXPECT_EQ(gaps.repeats, 0);
    RecordProperty(std::string(k.name) + ": false", gaps.falsePositives);
    RecordProperty(std::string(k.name) + ": found", gaps.strongFound);
  }
  RecordProperty("false", full.falsePositives);
  Sp().GapChannels.clear();
  // The matched filter leaves the gaps out: whatever they hold, a point's statistics are the same.
  Load(Ensemble()[0].counts);
  const double x = Ensemble()[0].peaks[0].position, w = Ensemble()[0].peaks[0].width;
  const auto a = static_cast<int32_t>(std::ceil(x - w)), b = static_cast<int32_t>(std::floor(x + w));
  const auto top = static_cast<int32_t>(std::lround(x));
  for (const std::vector<int32_t>& holes : std::vector<std::vector<int32_t>>{{a}, {b}, {top}, {a, top - 1, top, b}}) {
    const TPeakStatistics before = PeakStatistics(Sp(), 1, 4000, false, x, w, holes);
    std::vector<double> kept;
    for (int32_t c : holes) kept.push_back(Sp().Y[c]), Sp().Y[c] = 1e5;
    const TPeakStatistics after = PeakStatistics(Sp(), 1, 4000, false, x, w, holes);
    EXPECT_EQ(after.height, before.height) << holes.front();
    EXPECT_EQ(after.heightError, before.heightError) << holes.front();
    for (size_t i = 0; i < holes.size(); ++i) Sp().Y[holes[i]] = kept[i];
  }
}

TEST_F(PeakSearchTest, ShiftMovesEveryPeakAlongWithASlopedLaw) {
  const PlantedSpectrum& s = Ensemble()[3];
  Load(s.counts);
  FindPeaks(Sp(), 10, 4000, 5.0, 12.0, 4.0);
  const std::vector<double> before = Found();
  ASSERT_GT(before.size(), 15u);
  for (int32_t k : {37, 1001}) {
    Load(s.counts, 1 + k);
    FindPeaks(Sp(), 10 + k, 4000 + k, 5.0, 12.0, 4.0);
    const std::vector<double> after = Found();
    ASSERT_EQ(after.size(), before.size()) << k;
    for (size_t i = 0; i < before.size(); ++i) EXPECT_NEAR(after[i], before[i] + k, 1e-6) << i;
  }
}

TEST_F(PeakSearchTest, WideWidthsCompressAndComeBackAsChannels) {
  // Three strong isolated peaks 16 channels wide: one section of 512 channels from channel 2.
  std::vector<double> counts(400, 100.0);
  const double centres[] = {100.0, 200.0, 300.0};
  for (double c : centres)
    for (size_t i = 0; i < counts.size(); ++i)
      counts[i] += std::round(5000.0 * std::exp(-4.0 * std::log(2.0) * std::pow((i + 1.0 - c) / 16.0, 2)));
  Load(counts);
  OptionFlags[5] = 1;
  FindPeaks(Sp(), 1, 400, 16.0, 16.0, 4.0);
  EXPECT_EQ(PeakSearchCompression, 2.0);
  ASSERT_EQ(MarkedPointCount, 3);
  // Found on the compressed scale, refined back to the channels of the peaks.
  for (int32_t i = 0; i < 3; ++i) EXPECT_NEAR(MarkedPoints[i + 1], centres[i], 0.5);
  FindPeaks(Sp(), 1, 400, 8.0, 8.0, 4.0);
  EXPECT_EQ(PeakSearchCompression, 1.0);
}

TEST_F(PeakSearchTest, HeightCutKeepsWhatAStableArgsortKeeps) {
  const auto rows = GoldenRows("height_cut.txt", "peaks");
  Load(Numbers(rows[0]));
  FindPeaks(Sp(), 1, 1200, 6.0, 6.0, 2.0);
  ASSERT_EQ(MarkedPointCount, 40);
  MaxPeakCount = static_cast<int32_t>(Numbers(rows[1])[0]);
  FindPeaks(Sp(), 1, 1200, 6.0, 6.0, 2.0);
  const std::vector<double> kept = Numbers(rows[2]);
  ASSERT_EQ(static_cast<size_t>(MarkedPointCount), kept.size());
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_NEAR(MarkedPoints[i + 1], kept[i], 0.5) << i;
    EXPECT_EQ(PeakHeights[i + 1], Sp().Y[static_cast<int32_t>(kept[i])]) << i;
  }
  // A count below 1 removes every point and nothing else.
  for (int32_t max : {0, -3}) {
    MaxPeakCount = max;
    FindPeaks(Sp(), 1, 1200, 6.0, 6.0, 2.0);
    EXPECT_EQ(MarkedPointCount, 0) << max;
  }
}

TEST_F(PeakSearchTest, BadInputEndsWithAShortOrEmptyList) {
  const PlantedSpectrum& s = Ensemble()[0];
  Load(s.counts);
  auto run = [&](double wb, double we) {
    FindPeaks(Sp(), 1, 4000, wb, we, 4.0);
    return Found();
  };
  // Section lengths that would never advance, walk backwards or overflow the scratch arrays
  // run as the nearest allowed length.
  PeakSearchSectionLength = 16;
  const std::vector<double> shortest = run(5.0, 12.0);
  for (int32_t length : {1, 2, 0, -5}) {
    PeakSearchSectionLength = length;
    EXPECT_EQ(run(5.0, 12.0), shortest) << length;
  }
  PeakSearchSectionLength = 8192;
  const std::vector<double> longest = run(5.0, 12.0);
  PeakSearchSectionLength = 1 << 30;
  EXPECT_EQ(run(5.0, 12.0), longest);
  PeakSearchSectionLength = 256;
  EXPECT_GT(run(300.0, 300.0).size() + 1, 0u);  // sections above 8192 channels are held to 8192

  // Width laws that are zero, negative or not numbers: the search ends; floors keep it finite.
  for (auto [wb, we] : {std::pair{0.0, 0.0}, {-5.0, -5.0}, {3.0, -40.0}, {NAN, 5.0}, {5.0, INFINITY}}) {
    const std::vector<double> found = run(wb, we);
    for (double f : found) EXPECT_TRUE(f >= 1.0 && f <= 4000.0) << wb << " " << we;
  }
  EXPECT_TRUE(run(NAN, 5.0).empty());

  PeakResolution = 0.0;
  EXPECT_TRUE(run(5.0, 12.0).empty());
  PeakResolution = 1.0;
  FindPeaks(Sp(), 100, 111, 10.0, 10.0, 2.0);  // last - first = 9 <= the mean width
  EXPECT_EQ(MarkedPointCount, 0);
  Sp().Y[1234] = NAN;
  EXPECT_TRUE(run(5.0, 12.0).empty());
  Load(std::vector<double>(MaxChannels, 0.0));
  FindPeaks(Sp(), 1, MaxChannels, 5.0, 12.0, 4.0);
  EXPECT_EQ(MarkedPointCount, 0);
}

TEST_F(PeakSearchTest, OneLongSectionStopsAtTheCapacityOfMarkedPoints) {
  // Narrow peaks every 5 channels in one section of 8192 channels (cut to about 5500).
  std::vector<double> counts(8200, 10.0);
  for (size_t i = 0; i < counts.size(); ++i)
    if (i % 5 == 3) counts[i] = 1000.0;
  Load(counts);
  PeakSearchSectionLength = 8192;
  OptionFlags[5] = 1;
  FindPeaks(Sp(), 1, 8200, 2.0, 2.0, 1.0);
  const std::vector<std::string> log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "Marked points full at  1000"), log.end());
  EXPECT_EQ(MarkedPointCount, MaxPeakCount);
}

// A clean Gaussian, compressed (widths above 8) or not, 4 channels or more into the first section
// and on into the next: found once; the section's own position (the protocol's list before the
// final refinement) within half a compressed point, (f + 1) / 2 channels, of the centre; the
// refined one within 1/2 channel, since the centroid over the highest channel and two on each
// side lies between that channel and the centre.
TEST_F(PeakSearchTest, CleanPeakPlacedAtAnyOffsetFromASectionStart) {
  OptionFlags[5] = 1;
  for (double width : {3.0, 6.0, 12.0, 20.0, 48.0, 64.0}) {
    const double f = std::max(1.0, width / 8);
    for (double offset : {0.0, 36.0, 124.0, 246.0})
      for (double frac : {0.0, 0.25, 0.5, 0.75}) {
        const double centre = 100 + std::max(4.0, width / 2) + offset + frac;
        std::vector<double> counts(2000);
        for (size_t i = 0; i < counts.size(); ++i)
          counts[i] = 5000 * std::exp(-4 * std::log(2.0) * std::pow((i + 1.0 - centre) / width, 2));
        Load(counts);
        LogFile.RewriteToMemory("log");
        FindPeaks(Sp(), 100, 2000, width, width, 2.0);
        SCOPED_TRACE(testing::Message() << "width " << width << " centre " << centre);
        ASSERT_EQ(MarkedPointCount, 1);
        EXPECT_LE(std::fabs(MarkedPoints[1] - centre), 0.5);
        const std::string raw = LogLines().back();  // "    1" and the channel in 10:2
        EXPECT_LE(std::fabs(std::stod(raw.substr(5)) - centre), (f + 1) / 2);
      }
  }
}
