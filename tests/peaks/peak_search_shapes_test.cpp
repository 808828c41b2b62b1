// The automatic peak search scored against the truth of tools/gen_search_shapes.py: Gauss, Lorentz
// and pseudo-Voigt peaks, doublets 1 to 3 widths apart, curved backgrounds from 2 to 1e6 counts.
// The seeds here were never used to tune the search.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include "peaks/peak_search.h"
#include "peaks/peaks_setup.h"
#include "support/temp_path.h"

namespace {

struct TruePeak {
  double centre, fwhm, sigmas, height;
};
struct TrueSpectrum {
  double wb = 0, we = 0;
  int32_t level = 0;
  std::string shape;
  std::vector<double> counts, errors;
  std::vector<TruePeak> peaks;
};

std::vector<TrueSpectrum> Generate(int32_t seed, int32_t count) {
  const std::string out = TestTempPath("search_shapes").string() + std::to_string(seed) + ".txt";
  const std::string tool = std::string(VKEST_SOURCE_DIR) + "/tools/gen_search_shapes.py";
  const std::string command =
      std::string(VKEST_PYTHON) + " '" + tool + "' '" + out + "' " + std::to_string(seed) + " " + std::to_string(count);
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::vector<TrueSpectrum> all;
  for (const Tokens& row : TokenRows(out)) {
    const std::vector<double> v = Numbers(row);
    if (row[0] == "spectrum") all.emplace_back(), all.back().wb = v[1], all.back().we = v[2], all.back().level = int32_t(v[4]);
    if (row[0] == "shape") all.back().shape = row[1];
    if (row[0] == "counts") all.back().counts = v;
    if (row[0] == "errors") all.back().errors = v;
    if (row[0] == "peak") all.back().peaks.push_back({v[0], v[1], v[2], v[3]});
  }
  return all;
}

// A peak the search must find: 5 sigma or more, and no partner three or more times stronger
// closer than 1.5 widths (such a pair shows one component only to a fit).
bool Required(const std::vector<TruePeak>& peaks, size_t j, double sigmas) {
  if (peaks[j].sigmas < sigmas) return false;
  for (size_t k = 0; k < peaks.size(); ++k)
    if (k != j && std::fabs(peaks[k].centre - peaks[j].centre) < 1.5 * peaks[j].fwhm &&
        peaks[k].height >= 3 * peaks[j].height)
      return false;
  return true;
}

struct ShapeScore {
  int32_t required = 0, found = 0, falsePoints = 0, repeats = 0;
  int32_t highRequired = 0, highFound = 0;  // 1e5 counts and more: peaks of 8 sigma or more
  std::string missed;
};

// A point belongs to the nearest planted peak within max(1, fwhm / 4) channels; a point near
// none (noise, or a flank) is false; a second point on one peak is a repeat.
void Add(ShapeScore& r, const TrueSpectrum& s, int32_t index) {
  std::vector<int32_t> hits(s.peaks.size(), 0);
  for (int32_t i = 1; i <= MarkedPointCount; ++i) {
    size_t best = 0;
    for (size_t j = 1; j < s.peaks.size(); ++j)
      if (std::fabs(MarkedPoints[i] - s.peaks[j].centre) < std::fabs(MarkedPoints[i] - s.peaks[best].centre)) best = j;
    if (std::fabs(MarkedPoints[i] - s.peaks[best].centre) > std::max(1.0, s.peaks[best].fwhm / 4)) {
      ++r.falsePoints;
      r.missed += " false@" + std::to_string(index) + ":" + std::to_string(MarkedPoints[i]);
    } else {
      r.repeats += hits[best]++ > 0;
    }
  }
  for (size_t j = 0; j < s.peaks.size(); ++j) {
    if (Required(s.peaks, j, 5.0)) {
      ++r.required, r.found += hits[j] > 0;
      if (!hits[j])
        r.missed += " miss@" + std::to_string(index) + ":" + std::to_string(s.peaks[j].centre) + "/" +
                    std::to_string(s.peaks[j].sigmas);
    }
    if (s.level == 3 && Required(s.peaks, j, 8.0)) ++r.highRequired, r.highFound += hits[j] > 0;
  }
}

class SearchShapesTest : public PeaksTest {
protected:
  ShapeScore Run(const std::vector<int32_t>& seeds) {
    ShapeScore r;
    int32_t index = 0;
    for (int32_t seed : seeds)
      for (const TrueSpectrum& s : Generate(seed, 12)) {
        Load(s.counts);
        for (size_t i = 0; i < s.errors.size(); ++i) Sp().E[i + 1] = s.errors[i];
        FindPeaks(Sp(), 1, 3000, s.wb, s.we, 4.0);
        Add(r, s, ++index);
      }
    return r;
  }
};

}  // namespace

// 98 % of the required peaks, every peak of 8 sigma on 1e5 to 1e6 counts, no false point (noise
// or a flank), no peak twice; 24 spectra.
TEST_F(SearchShapesTest, FindsPeaksOfEveryShapeAndLevel) {
  VKEST_REQUIRE_PYTHON("numpy");
  const ShapeScore r = Run({57, 5757});
  ASSERT_GT(r.required, 350);
  EXPECT_GE(r.found, 0.98 * r.required) << r.missed;
  EXPECT_EQ(r.highFound, r.highRequired) << r.missed;
  EXPECT_EQ(r.falsePoints, 0) << r.missed;
  EXPECT_EQ(r.repeats, 0);
  RecordProperty("found", std::to_string(r.found) + " of " + std::to_string(r.required));
}
