// The automatic peak search: its results beside MarkedPoints, and the section object whose steps
// FindPeaks runs on each section of the interval. The controls (PeakSensitivity,
// PeakResolution, SmallStatistics, MaxPeakCount, PeakSearchSectionLength) and the entry points
// FindPeaks and FindPeaksInArray are declared in core/neighbour_services.h.
//
// A section works on the shared arrays, points 1..m: the data y in ScratchArray1, ScratchArray2
// for compression, smoothing and the background, the errors in WorkArrays[1], the point
// quasi-curvatures and then the peak positions (points) in WorkArrays[2], gaps or found widths in
// WorkArrays[3], the quasi-curvature and then the class code of each peak in WorkArrays[4] (which
// is PeakModelTable).
//
// The sections, which overlap by a third, propose points (their tests run at a sensitivity of at
// most 1); a pass over the whole range proposes the maxima of the matched height and of the
// curvature as well, so what is found does not hang on where a section begins. Each point then
// climbs to the top of its peak on the counts over the background's slope, is centred there, and
// is kept only when its height over a local background that neighbours cannot lift is significant
// by counting statistics at PeakSensitivity (standard deviations of the counts) and the counts
// curve down there; a point with no top (a shoulder beside a stronger peak) is kept where its
// curvature alone is significant. Points that end on one peak are merged, so the count is that of
// distinct peaks. The gaps of a measured grid are bridged for the search; a point near one stays
// only where the measured channels make it a peak, and one on a gap moves to the top they rise to.
#pragma once
#include <cstdint>
#include <vector>
#include "core/neighbour_services.h"

// The height (RefinePeakPosition's largest value near the point) of each marked point.
extern double PeakHeights[MarkedPointCapacity + 1];
// The width law of the last search: width(channel) = intercept + slope * channel, channels.
extern double PeakWidthSlope, PeakWidthIntercept;
// The channel bounds of the current section and its number of channels.
extern int32_t PeakSearchFirst, PeakSearchLast, PeakSearchCount;
// The channels the search covers (max(2, FirstChannel) .. LastChannel - 1).
extern int32_t PeakSearchFirstChannel, PeakSearchLastChannel;
// The compression factor f of the last search (1 for widths up to 8 channels).
extern double PeakSearchCompression;
// The most points the sections may deliver before the cut to MaxPeakCount: (614 - 14) / 2.
constexpr int32_t PeakSearchPointLimit = (MaxFreeParameters - 14) / 2;
// Bounds of a section in channels.
constexpr int32_t MinSectionChannels = 16, MaxSectionChannels = 8192;

// The channel of point p of the current section compressed by f: PeakSearchFirst + p - 1 when
// f is 1; else the centre of RebinArray's bin p. That bin takes the parts at x = i + k/1000 of
// the points i with round(x / f) = p - 1, and point i's parts are centred at x = i + 1/2, so its
// centre is point (p - 1) f - 1/2, channel PeakSearchFirst + (p - 1) f - 3/2. (PeakSearchFirst
// + p f - 1 would put every compressed peak f + 1/2 channels too far.)
double SectionPointChannel(double p, double f);

// The counting statistics of a found point x (a channel) of full width w (channels) on the counts
// of channels first..last. The background is robust against noise and neighbours: a line (or a
// concave parabola under high counts) fitted to the counts of the flanks, 1.5 to 5 widths from x,
// leaving out the channels that stand clear above it, however strong the neighbours that fill the
// flanks (not the minima of smoothed noise, which lie below the background). The height is that of
// a Gaussian of full width w fitted over the background to the channels within one width of x (a matched
// filter); its standard deviation follows from the variances of those channels and of the
// background. Variances are E^2 when the spectrum has errors (any E in the range other than 1),
// else the counts (at least 1). The filter leaves out the channels of gaps (ascending), which
// hold no measured count.
struct TPeakStatistics {
  bool judged = false;  // a flank with enough channels and a centre window exist
  double background = 0, height = 0, heightError = 0;
  double backgroundSlope = 0;      // counts per channel of the background through x
  double backgroundCurvature = 0;  // the background's d^2 term, counts per channel^2
  double countError = 0;  // the standard deviation of one channel's count at the background
};
TPeakStatistics PeakStatistics(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x,
                               double w, const std::vector<int32_t>& gaps = {});
// Whether the errors E of channels first..last are known: some E differs from 1 (the value of a
// spectrum read without errors).
bool SpectrumErrorsKnown(const TSpectrum& sp, int32_t first, int32_t last);
// The channel of the local maximum of the counts smoothed over half a width w, less a background
// of the given slope (counts per channel), that a climb from x reaches, however far: a point on the
// flank of a peak moves to its top, also on a background steeper than the peak's flank. NaN when
// the climb runs into an end of first..last (no top there).
double ClimbToMaximum(const TSpectrum& sp, int32_t first, int32_t last, double x, double w, double slope = 0);
// How far the top at channel top stands above the higher of the two floors between it and higher
// ground (within ProminenceReach widths on each side), on the counts smoothed as for the climb
// less the background's slope, in standard deviations of the difference of two smoothed values.
// A noise maximum on the tail of a stronger peak stands hardly above the floor towards it.
constexpr double ProminenceReach = 5.0;
double ProminenceSignificance(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, int32_t top,
                              double w, double slope);
// A point x within EndReach widths w of an end of first..last has no floor on that side: the
// centre of a line and a Gaussian of full width w fitted (height and centre free) to the counts
// within 2 widths of x, when its height is MinPeakSignificance of its standard deviations and the
// centre lies EndInside of its standard deviations (and a channel) inside the range's edge; NaN
// when not (a peak whose top lies beyond the end rises to it; a curved background leaves no
// significant Gaussian).
constexpr double EndReach = 1.0, EndInside = 3.0;
double TopInsideTheEnd(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x, double w);
// A top stands clear when it is this many standard deviations above its floor; a top that does
// not (the weaker of a close pair, or a noise maximum on a tail) is a peak only when its curvature
// reaches LowTopCurvature standard deviations.
constexpr double MinProminence = 3.0, LowTopCurvature = 3.0;
// The curvature of the counts at channel c for peaks of full width w: the counts smoothed by a
// Gaussian of full width w / 2 at c, less the mean of the same at c -+ w / 2, with its standard
// deviation from the variances of the counts. A peak of height H gives about 0.4 H at its centre,
// a straight background 0, the flank or tail of a peak less than 0 (beyond about w / 2 from its
// centre). error 0 when the kernel does not fit into first..last.
struct TCurvature {
  double value = 0, error = 0;
};
TCurvature CurvatureAt(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, int32_t c, double w);
// A top of the counts is a peak only where the curvature is at least this many of its standard
// deviations (a noise maximum on a flank has a negative curvature); a point with no top of its
// own (a shoulder) needs ShoulderSignificance (times the sensitivity when that is above 1).
constexpr double TopCurvature = 1.0, ShoulderSignificance = 5.0;
// A curvature proposal whose climb ends farther than this fraction of the width away is a shoulder.
constexpr double ShoulderDistance = 0.5;

// The channel where the counts over the background of t, correlated with a Gaussian of full width w
// over the channels within one width, are largest (the matched filter's maximum, near the
// Cramer-Rao bound of a centre, unbiased for a symmetric peak); the top when that strays more
// than half a width from it.
double CentredPosition(const TSpectrum& sp, int32_t first, int32_t last, double top, const TPeakStatistics& t,
                       double w);
// A found point is a peak when its height is at least `sensitivity` standard deviations of the
// counts and at least MinPeakSignificance of its own standard deviations (below that the maxima of
// noise pass: about one in 20 spectra of 3000 channels). A point that cannot be judged stays.
constexpr double MinPeakSignificance = 4.0;
bool SignificantPeak(const TPeakStatistics& t, double sensitivity);

// The top of the measured channels (not gaps, ascending) within 2 widths of x: the centre of a
// line and a Gaussian of full width w fitted to them (as TopInsideTheEnd fits) when it lies within
// MeasuredTopReach widths of x and its height is MeasuredTopSignificance of its standard deviations
// (whether the point is a peak the matched filter judges; a fit to a peak whose top a gap hides
// knows its height poorly); NaN when not. Such a peak still rises to its top from both sides; the
// straight bridge across a gap on a peak's flank leaves the measured counts rising on towards that
// peak, a width or so away.
constexpr double MeasuredTopReach = 0.5, MeasuredTopSignificance = 2.0;
double MeasuredTop(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x, double w,
                   const std::vector<int32_t>& gaps);

// Whether the excess of a found point x (t its statistics) lies in one channel: a spike, far
// narrower than the width law allows. The channel c of the largest excess within half a width of x
// is a spike when its neighbours' mean excess falls short of what a peak of half the law's width w
// puts there (the share r of a channel-integrated Gaussian of full width w / 2 centred on c) by
// more than SpikeSignificance of their standard deviations, and the point without channel c is no
// peak (a cosmic spike on a real peak leaves the peak). Not judged where such a peak itself lies
// mostly in one channel (w / 2 below MinSpikeWidth channels).
constexpr double SpikeSignificance = 4.0, MinSpikeWidth = 1.5;
bool OneChannelSpike(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x, double w,
                     const TPeakStatistics& t);

// A one-channel spike at channel c (2 channels at least inside the spectrum's ends): c is the
// largest of c - 1..c + 1, and the excess of c over the line through channels c -+ 2 is shared by
// its neighbours by more than SpikeSignificance standard deviations less than a peak of half the
// law's width w shares it (r = SpikeNeighbourShare(w), its neighbours' excess over that line per
// unit of its centre's). Smooth ground under c, a background or a peak's flank, leaves the test
// alone. FindPeaks sets such channels to the mean of their neighbours for the search and puts them
// back after, so a spike is no peak and does not pull a peak's point.
double SpikeNeighbourShare(double w);
bool SpikeAt(const TSpectrum& sp, bool errorsKnown, int32_t c, double r);

// Adds to MarkedPoints the partners of the found peaks (a weaker peak 0.75 to 2.75 widths beside
// one: a shoulder, or the second of a close pair) whose height in a joint fit of the two is at
// least PartnerSignificance of its standard deviations (times the sensitivity when that is above 1).
constexpr double PartnerSignificance = 5.0;
void AddHiddenPartners(const TSpectrum& sp, bool errorsKnown);
// The cheap test before a partner's local fits: whether, beside the found peak x0 (law width w, the
// other found peaks at `others`) on `side`, the counts of channels a..b hold an excess that a
// partner of the law's width may raise to its significance.
bool PartnerScreenPasses(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x0, double w,
                         const std::vector<double>& others, int32_t side);

// Points closer than this fraction of the local width are one peak (two Gaussians of equal
// height closer than 0.85 widths show only one maximum).
constexpr double RepeatFraction = 0.5;
// Sorts MarkedPoints[1..MarkedPointCount] ascending with their heights and keeps of each group of
// points closer than RepeatFraction widths (width(x) = PeakWidthIntercept + PeakWidthSlope x) the
// highest point.
void MergeRepeatedPoints();

// One section of the search. The steps keep the order and the comparisons of the search; they
// are public for the tests.
class TPeakSection {
public:
  int32_t m = 0;           // points of the section
  int32_t n = 0;           // peaks found
  double f = 1.0;          // compression factor
  double rawMax = 0.0;     // maximum after compression, before any scaling
  double sectionMax = 0.0; // maximum after the background step
  double widthAccuracy = 0.0;
  // The noise factor of the section's tests. The sections propose candidates at most at 1 (the
  // counting-statistics test of the found points applies the user's sensitivity).
  double sensitivity = 1.0;

  // Expected full width (points) at point p: the law at channel SectionPointChannel(p, f),
  // divided by f, at least 1.
  double WidthAt(double p) const;
  // The width at the middle point, w_s.
  double MiddleWidth() const { return WidthAt(m / 2.0); }

  void QuasiCurvatureTest(double w);
  void DeleteWeakPeaks(double k, double w);
  void CalibrateWidths();
  void SubtractPeakShape(int32_t peak, int32_t from, int32_t to, double width);
  void AddHiddenPeaks(double k);
  void MergeClosePeaks(double w);

  // Views of the shared arrays.
  static double* Y();
  static double* Errors();
  static double* Positions();

private:
  bool CanSplitPeak(int32_t peak, int32_t point, int32_t count, const double* found);
  // Removes the peaks whose position is 0, keeping the quasi-curvatures beside them.
  void RemoveDeleted();
  void SortPositions();
};
