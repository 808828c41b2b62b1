#include "testdata/random_test.h"
#include <algorithm>
#include <cmath>
#include "core/canvas.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/random.h"
#include "core/settings_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"

void DrawRandomSample(int32_t distribution, int32_t n) {
  n = std::clamp(n, 0, NumberBufferSize);
  for (int32_t i = 1; i <= n; ++i) {
    if (distribution == 0) {
      NumberBuffer[i] = 100 * Random01();
    } else {
      double g1 = 0, g2 = 0;
      GaussianPair(g1, g2);
      NumberBuffer[i] = std::max(0.0, std::min(100.0, 50 + 20 * g1));
    }
  }
}

TRandomTestStatistics RandomSampleStatistics(int32_t distribution, int32_t n, double q1, double q2) {
  TRandomTestStatistics s;
  n = std::clamp(n, 1, NumberBufferSize);
  const bool uniform = distribution == 0;
  s.sigma = uniform ? 100 * std::sqrt(1.0 / 12) : 20.0;
  double sum = 0, crit = 0, t1 = 0, t2 = 0, top = 0;
  int32_t inside = 0;
  const double r12 = std::sqrt(12.0);
  for (int32_t i = 1; i <= n; ++i) {
    const double x = NumberBuffer[i];
    sum += x;
    top = std::max(top, x);
    crit += (x - 50) / s.sigma;
    if (uniform) {
      t1 += r12 * (x - q1 / 2) / q1;
      t2 += r12 * (x - q2 / 2) / q2;
    } else {
      t1 += std::pow((x - q1) / s.sigma, 2);
      t2 += std::pow((x - q2) / s.sigma, 2);
    }
    if (x >= 50 - s.sigma && x <= 50 + s.sigma) ++inside;
    const double bin = std::nearbyint(x);
    if (bin >= 1 && bin <= 100) ++s.histogram[static_cast<size_t>(bin)];
  }
  s.estimate = uniform ? 2 * sum / n : sum / n;
  s.maxEstimate = top;
  s.unbiasedMax = (n + 1) * top / n;
  s.criterion = crit / n;
  s.t1 = t1 / n, s.t2 = t2 / n;
  s.share = 100.0 * inside / n;
  s.largestBin = *std::max_element(s.histogram.begin() + 1, s.histogram.end());
  return s;
}

std::array<std::string, 9> RandomTestLines(int32_t distribution, int32_t n, const TRandomTestStatistics& s) {
  const bool uniform = distribution == 0;
  const double bound = 1 / std::sqrt(static_cast<double>(n));
  return {"Average estimate " + std::string(uniform ? "of b" : "of a") + " = " + FormatNumber(8, 2, s.estimate),
          uniform ? "Max estimate     = " + FormatNumber(8, 2, s.maxEstimate) : "Parameter s fixed (not estimated)",
          uniform ? "UnBias Max estim.= " + FormatNumber(8, 2, s.unbiasedMax) : " ",
          "Sigma = " + FormatNumber(8, 2, s.sigma),
          "Confidence interval = " + FormatNumber(7, 0, s.share) + "%",
          "Sample max= " + std::to_string(s.largestBin),
          "Mean criterion =" + FormatNumber(8, 3, s.criterion) + " <" + FormatNumber(6, 3, bound),
          (uniform ? "Mean 1,2 tests =" : "Chi2 1,2 tests =") + FormatNumber(8, 3, s.t1) + "," +
              FormatNumber(8, 3, s.t2),
          uniform ? "Upper mean =   " + FormatNumber(8, 3, bound)
                  : "Upper chi2 =   " + FormatNumber(8, 3, 1 + std::sqrt(2.0 / n))};
}

void DrawRandomSample(TImageCanvas& c, int32_t n, double sigma) {
  c.Resize(std::max(c.Width(), 515), std::max(c.Height(), 112));
  c.Brush.color = WhiteColor, c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, c.Width(), c.Height());
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t x = static_cast<int32_t>(std::nearbyint(5 + i * 500.0 / n));
    const int32_t y = static_cast<int32_t>(std::nearbyint(5 + NumberBuffer[i]));
    // The five pixels nearer than 2 to the event.
    const int32_t dx[5] = {0, -1, 1, 0, 0}, dy[5] = {0, 0, 0, -1, 1};
    for (int32_t k = 0; k < 5; ++k) c.SetPixel(x + dx[k], y + dy[k], FuchsiaColor);
  }
  c.Pen.color = RedColor, c.Pen.style = TPenStyle::Solid, c.Pen.width = 1;
  const int32_t s = static_cast<int32_t>(std::nearbyint(sigma));
  for (int32_t y : {55, 55 - s, 55 + s}) {
    c.MoveTo(0, y);
    c.LineTo(c.Width(), y);
  }
  Ui().ImageChanged(c);
}

void DrawRandomHistogram(TImageCanvas& c, const TRandomTestStatistics& s) {
  c.Resize(std::max(c.Width(), 310), std::max(c.Height(), 112));
  c.Brush.color = WhiteColor, c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, c.Width(), c.Height());
  c.Pen.color = BlueColor, c.Pen.style = TPenStyle::Solid, c.Pen.width = 1;
  // An empty histogram has no largest bin to divide by.
  const double largest = std::max(1, s.largestBin);
  for (int32_t j = 1; j <= 100; ++j) {
    const int32_t x = 3 * j + 3;
    const int32_t y = 105 - static_cast<int32_t>(std::nearbyint(100 * s.histogram[static_cast<size_t>(j)] / largest));
    c.MoveTo(x, 105);
    c.LineTo(x, y - 1);  // the end pixel is not drawn: the column reaches y
  }
  Ui().ImageChanged(c);
}

void TestRandomGenerator() {
  int32_t n = 100, distribution = 0, trial = 1;
  double q1 = 100, q2 = 25;
  static const char* const RowLabels[3] = {"n of events", "Tested quantity 1", "Tested quantity 2"};
  for (;;) {
    DrawRandomSample(distribution, n);
    const TRandomTestStatistics s = RandomSampleStatistics(distribution, n, q1, q2);
    DialogCaption = "Test random number generator";
    SetHelpLines(RandomTestHelp);
    PrepareDialog(560, 0, 430);
    SetDialogOptions({" Uniform [0,b];   b: parameter", " Normal [a,s);  a,s: parameters"}, distribution + 1);
    ShowRadioGroup(1, 1, 5, 50, 250, 5);
    for (int32_t r = 1; r <= 3; ++r) DialogFieldLabels[r] = RowLabels[r - 1];
    DialogFieldValues[1][1] = n, DialogFieldValues[2][1] = q1, DialogFieldValues[3][1] = q2;
    DialogColumnWidths[0] = 130, DialogColumnWidths[1] = 70;
    ShowNumberGrid(265, 2, 3, 8, 1, 3);
    PlaceLabel(Form2.Label1, 480, 10, " Try " + std::to_string(trial), WhiteColor, TextBackgroundColor);
    PlaceLabel(Form2.Label2, 5, 58,
               distribution == 0 ? "True parameter=100" : "True parameters: a=50, sigma=20 (fixed)", WhiteColor,
               TextBackgroundColor);
    TImage& sample = Form2.Image2;
    sample.SetBounds(Scaled(5), Scaled(80), Scaled(515), Scaled(112));
    sample.visible = true;
    DrawRandomSample(sample.canvas, n, s.sigma);
    PlaceLabel(Form2.Label3, 285, 195, "Sample distribution density", WhiteColor, TextBackgroundColor);
    TImage& density = Form2.Image3;
    density.SetBounds(Scaled(280), Scaled(215), Scaled(275), Scaled(112));
    density.visible = true;
    DrawRandomHistogram(density.canvas, s);
    InfoLines.count = 0;
    for (const std::string& line : RandomTestLines(distribution, n, s)) AddInfoLine(line);
    ShowListBox(5, 200, 270, 160);
    ShowDialogModal();
    if (DialogOk != 1) return;
    double v[3] = {};
    for (int32_t r = 0; r < 3; ++r) StrToFloatChecked(Form2.StringGrid1.Cell(0, r), v[r]);
    // A field that is not a number ends the test like Cancel.
    if (DialogOk != 1) return;
    const int32_t next = std::clamp(Form2.RadioGroup1.itemIndex, 0, 1);
    const double rounded = std::nearbyint(v[0]);
    if (!(rounded >= 5)) {
      ShowMsg("Error, n should be > 4");
      n = 5;
    } else if (rounded > RandomTestMaxEvents) {
      ShowMsg("The maximum admissible n = 16384");
      n = RandomTestMaxEvents;
    } else {
      n = static_cast<int32_t>(rounded);
    }
    // The uniform tests divide by the tested value: 0 is refused and the previous value kept.
    for (int32_t k = 1; k <= 2; ++k) {
      double& q = k == 1 ? q1 : q2;
      if (next == 0 && v[k] == 0)
        ShowMsg("Error, tested quantity " + std::to_string(k) + " = 0 not admissible");
      else
        q = v[k];
    }
    distribution = next;
    ++trial;
  }
}
