// The plane (t, E) event window: the grid, the row centroids and fit range, the map, the
// simulated event file, the straight-line and exponential fits of the decay, and the window loop.
#include "spectrum/plane_distribution.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/canvas.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/graph_drawing.h"
#include "core/line_fits.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "spectrum/spectrum_checks.h"

TPlaneWindow PlaneWindow;

namespace {

constexpr int32_t PlaneChannels = 4096;
constexpr int32_t PlaneColours[7] = {BlueColor, BlueColor, AquaColor, GrayColor, GreenColor, YellowColor, RedColor};
constexpr int32_t PairColumns[7][2] = {{0, 0}, {1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}};

int32_t Rows() { return std::clamp(EventGridNE, 0, PlaneGridMax); }
int32_t Cols() { return std::clamp(EventGridNT, 0, PlaneGridMax); }
int32_t Whole(double x) { return std::isfinite(x) ? RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)) : 0; }

// The window's mode and the peak search's sensitivity are the window's only while it is open.
struct TPlaneModeGuard {
  int32_t mode = MainMode;
  double sensitivity = PeakSensitivity;
  ~TPlaneModeGuard() {
    MainMode = mode;
    PeakSensitivity = sensitivity;
  }
};

void ShowProgressLine(const std::string& text) {
  ResetDialogForm(250, 50);
  Form2.left = Scaled(150), Form2.top = Scaled(250);
  PlaceLabel(Form2.Label1, 10, 10, text, WhiteColor, BlackColor);
  ShowDialogModeless();
}

void StartSession() {
  TPlaneWindow& w = PlaneWindow;
  std::fill(std::begin(w.grid), std::end(w.grid), 0.0);
  const TPlaneSettings& b = PlaneSettings;
  LogLine("");
  LogLine("*              NEW  SESSION");
  LogLine("");
  LogLine("* bx,by= " + FormatFixed(9, 0, b.xLow) + FormatFixed(9, 0, b.xHigh) + FormatFixed(9, 0, b.yLow) +
          FormatFixed(9, 0, b.yHigh));
  w.xMax = 0, w.xMin = 1e17, w.yMax = 0, w.yMin = 1e17;
}

}  // namespace

int32_t PlaneCell(double v, double low, double high, int32_t n, bool logarithmic) {
  const double u = logarithmic ? std::log(v + 1.0 - low) / std::log(high) : (v - low) / std::max(high - low + 1.0, 1.0);
  return Whole(std::min(n * u, n - 1.0)) + 1;
}

void AddEventToGrid(double x, double y) {
  const TPlaneWindow& w = PlaneWindow;
  const TPlaneSettings& b = PlaneSettings;
  if (w.reversed != 0) std::swap(x, y);
  const int32_t nt = Cols(), ne = Rows();
  const int32_t i = PlaneCell(x, b.xLow, b.xHigh, nt, w.logX != 0);
  const int32_t j = PlaneCell(y, b.yLow, b.yHigh, ne, w.logY != 0);
  if (i < 1 || i > nt || j < 1 || j > ne) return;  // each index on its own axis: no wrap into a row
  PlaneWindow.grid[(j - 1) * nt + i] += 1.0;
}

void ProcessEventArray() {
  TPlaneWindow& w = PlaneWindow;
  const int32_t nt = Cols(), ne = Rows();
  double deleted = 0.0;
  for (int32_t k = 1; k <= nt * ne; ++k)
    if (std::fabs(w.grid[k]) < PeakSensitivity) deleted += w.grid[k], w.grid[k] = 0.0;
  LogLine("Event array " + w.eventFile + " has been read in");
  LogLine(std::to_string(Whole(deleted)) + " events deleted as random");
  for (int32_t j = 1; j <= ne; ++j) {
    double s0 = 0, s1 = 0, s2 = 0;
    for (int32_t i = 1; i <= nt; ++i) {
      const double v = w.grid[(j - 1) * nt + i];
      s0 += v, s1 += i * v, s2 += double(i) * i * v;
    }
    w.centroid[j] = s1 / std::max(s0, 1.0);
    w.spread[j] = std::sqrt(std::fabs(s2)) / std::max(s0, 1.0);
  }
  // The fit range: where four consecutive centroids first stop decreasing, from each end. The
  // rows count EventGridNE, so the search is bounded by them.
  auto rising = [&](int32_t i) {
    return w.centroid[i] <= w.centroid[i + 1] && w.centroid[i + 1] <= w.centroid[i + 2] &&
           w.centroid[i + 2] <= w.centroid[i + 3];
  };
  for (int32_t i = 3; i <= ne - 5; ++i)
    if (rising(i)) {
      w.fitFirst = i;
      break;
    }
  for (int32_t i = ne - 5; i >= w.fitFirst + 1; --i)
    if (rising(i)) {
      w.fitLast = i;
      break;
    }
  w.fitFirst = std::min(w.fitFirst, 11);
  w.fitLast = std::max(w.fitLast, 30);
}

double PlaneFitWeight(int32_t i) {
  const TPlaneWindow& w = PlaneWindow;
  if (i < 1 || i > PlaneRowCapacity || i < w.fitFirst || i > w.fitLast || w.centroid[i] <= 0.0) return 0.0;
  return 1.0;
}

void PlaneDecayModel(double& Y, double& W, double& F, int32_t point, int32_t) {
  std::vector<ParameterRecord>& r = FitParameters->Records;
  const double a = r[1].value, tau = r[2].value;
  const double c = point >= 1 && point <= PlaneRowCapacity ? PlaneWindow.centroid[point] : 0.0;
  Y = point;
  const double e = std::exp(c / tau);
  F = a * e;
  W = point <= 255 ? PlaneFitWeight(point) : 0.0;
  r[1].Derivative = e;
  r[2].Derivative = -c * F / (tau * tau);
}

void DrawPlaneDistribution(TImageCanvas& bitmap, bool thick, bool report) {
  const TPlaneWindow& w = PlaneWindow;
  // 516 wide: the cells reach x = 507.
  bitmap.Resize(Scaled(GraphPictureWidth), Scaled(310));
  bitmap.Brush.color = WhiteColor;
  bitmap.FillRect(0, 0, bitmap.Width(), bitmap.Height());
  bitmap.Brush.color = BlackColor;
  bitmap.FillRect(Scaled(30), 0, Scaled(512), Scaled(303));
  const int32_t nt = Cols(), ne = Rows();
  int32_t drawn = 0;
  for (int32_t j = 1; j <= ne; ++j)
    for (int32_t i = 1; i <= nt; ++i) {
      const double v = w.grid[(j - 1) * nt + i];
      if (v == 0.0) continue;
      const int32_t k = Whole(v / w.colourStep);
      const int32_t colour = k <= 0 ? BlueColor : (k > 6 ? RedColor : PlaneColours[k]);
      const int32_t x = Scaled(std::nearbyint(double(i) / nt * 474 + 33));
      const int32_t y = Scaled(std::nearbyint(300 - double(j) / ne * 297));
      for (int32_t dx = thick ? -1 : 0; dx <= (thick ? 1 : 0); ++dx)
        for (int32_t dy = thick ? -1 : 0; dy <= (thick ? 1 : 0); ++dy) bitmap.SetPixel(x + dx, y + dy, colour);
      if (report && ++drawn % 1000 == 0) ShowProgressLine(std::to_string(drawn) + " points graphed");
    }
  bitmap.Pen.color = WhiteColor;
  bitmap.MoveTo(Scaled(33), Scaled(301));
  bitmap.LineTo(Scaled(508), Scaled(301));
  bitmap.MoveTo(Scaled(33), Scaled(301));
  bitmap.LineTo(Scaled(33), Scaled(3));
  bitmap.Font.color = LimeColor;
  bitmap.TextOut(Scaled(33), Scaled(290), FormatNumber(8, 0, w.xMin));
  bitmap.TextOut(Scaled(440), Scaled(290), FormatNumber(8, 0, w.xMax));
  Ui().ImageChanged(bitmap);
}

int32_t SimulatePlaneEvents(const std::string& name) {
  TextFile f;
  f.Rewrite(name);
  const double tau = PlaneWindow.tau;
  int32_t count = 0;
  for (int32_t trial = 0; trial < 1500000; ++trial) {
    double g = 0.0, unused = 0.0;
    GaussianPair(g, unused);
    // Draws of an older model kept so that the sequence stays the same.
    (void)Random01();
    (void)ExponentialDeviate(0.001);
    const double x = std::max(1300.0 * g + 420.0, 1.0);
    const double t = ExponentialDeviate(1.0 / tau);
    if (t + 20.0 < x) {
      f.WriteLine(FormatInteger(Whole(x), 8) + FormatInteger(Whole(t), 8));
      ++count;
    }
  }
  f.Close();
  return count;
}

bool FitPlaneDecay(double& tau, double& tauError, double& chi) {
  const TPlaneWindow& w = PlaneWindow;
  const int32_t n = std::min(Rows(), PlaneRowCapacity);
  int32_t used = 0;
  for (int32_t i = 1; i <= n; ++i) used += PlaneFitWeight(i) > 0.0 ? 1 : 0;
  if (used == 0) {
    ShowMsg("No row lies in the fit range");
    return false;
  }
  LogLine(std::string(20, ' ') + "LOGARITHMIC LINEAR FITTING");
  for (int32_t i = 1; i <= n; ++i) LineFitPoints[i] = {w.centroid[i], std::log(double(i)), PlaneFitWeight(i)};
  TLineFit line;
  FitStraightLine(n, 0, line, "Linear log fit", LogFile);
  LogLine("Non-zero weights:" + FormatInteger(w.fitFirst, 8) + FormatInteger(w.fitLast, 8) + " out of " +
          FormatInteger(n, 5));
  const bool lineOk = line.ok != 0 && line.slope != 0.0 && std::isfinite(line.slope);
  LogLine(lineOk ? "tau= " + FormatFixed(9, 2, 1.0 / line.slope) : "tau= undefined: the line fit failed or is flat");

  double m = 1.0;
  for (int32_t i = 1; i <= n; ++i) m = std::max(m, w.centroid[i]);
  if (!FitParameters) CreateFitParameters();
  TParameter& p = *FitParameters;
  const TFitControls kept = p.Controls();
  p.ResetParameterRecords();
  p.NPar = 2;
  p.NPoints = n;
  p.GNIter = 50, p.Step = 0.25, p.Damp = 0.05, p.PrintInterval = 10, p.EpsReq = 0.001;
  if (p.FunctionalLimit > 1.0) p.Delta = 1.0, p.Beta = 0.5;
  else p.Delta = 1e8, p.Beta = 1e11;
  // A flat or failed line gives no 1/a: the start is then m/2, and any start is held in [1, 3m].
  // Where tau starts from the line, A starts from it too (ln i = ln A + c / tau): from A = 2 the
  // damped steps (A and tau are strongly correlated) end 50 iterations far short of the optimum.
  const bool fromLine = lineOk && line.chi <= 1.0;
  const double startA = fromLine ? std::exp(line.level - line.slope * line.x0) : 2.0;
  const double start = fromLine ? 1.0 / line.slope : m / 2.0;
  p.Records[1].lower = 0.001, p.Records[1].upper = 1e6, p.Records[1].Name = "A";
  p.Records[1].value = std::isfinite(startA) ? std::clamp(startA, 0.001, 1e6) : 2.0;
  p.Records[2].lower = 1.0, p.Records[2].upper = 3.0 * m, p.Records[2].Name = "tau";
  p.Records[2].value = std::clamp(start, 1.0, 3.0 * m);
  p.Fit(PlaneDecayModel, NoProgress);
  PrintFitResults(p);
  p.Controls() = kept;
  const double a = p.Records[1].value;
  tau = p.Records[2].value, tauError = p.Records[2].Error, chi = p.ChiDf;

  LogLine(std::string(20, ' ') + "EXPONENTIAL FITTING");
  TSpectrum* s2 = SpectrumOrNull(2);
  TSpectrum* s3 = SpectrumOrNull(3);
  for (int32_t i = 1; i <= n; ++i) {
    const double fitted = tau * std::log(i / a);
    LogLine(FormatInteger(i, 8) + FormatFixed(9, 2, w.centroid[i]) + FormatFixed(9, 2, fitted));
    if (s2) s2->Y[i] = w.centroid[i];
    if (s3) s3->Y[i] = fitted;
  }
  return p.Status != 0 || p.Iterations > 0;
}

namespace {

void DrawDecayFit(int32_t n, double a, double tau, const std::string& info) {
  const TPlaneWindow& w = PlaneWindow;
  DialogCaption = "Plane distribution";
  PrepareDialog(420, 0, 430);
  ShowDialogGraph();
  TImageCanvas& c = Form2.Image1.canvas;
  double top = 1.0;
  for (int32_t i = 1; i <= n; ++i) top = std::max(top, w.centroid[i]);
  auto px = [&](double i) { return Scaled(10 + i * 290.0 / std::max(1, n)); };
  auto py = [&](double v) { return Scaled(280 - std::clamp(v / top, -0.05, 1.05) * 260); };
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t d = -1; d <= 1; ++d) c.SetPixel(px(i) + d, py(w.centroid[i]), YellowColor), c.SetPixel(px(i), py(w.centroid[i]) + d, YellowColor);
  c.Pen.color = RedColor;
  for (int32_t i = 1; i <= n; ++i) {
    const double f = tau * std::log(i / a);
    if (i == 1) c.MoveTo(px(i), py(f));
    else c.LineTo(px(i), py(f));
  }
  PlaceLabel(Form2.Label1, 5, 300, info, WhiteColor, BlackColor);
  Ui().ImageChanged(c);
}

// Black on white for printing: the drawing colours become black, everything else white.
void SaveFitPicture(const std::string& name) {
  TImageCanvas picture = Form2.Image1.canvas;
  for (int32_t y = 0; y < picture.Height(); ++y)
    for (int32_t x = 0; x < picture.Width(); ++x) {
      const int32_t v = picture.GetPixel(x, y);
      const bool ink = v == YellowColor || v == AquaColor || v == FuchsiaColor || v == RedColor || v == LimeColor ||
                       v == WhiteColor || v == BlueColor;
      picture.SetPixel(x, y, ink ? BlackColor : WhiteColor);
    }
  picture.SaveBmp(name);
}

void RunFitting() {
  double tau = 0, err = 0, chi = 0;
  const int32_t n = std::min(Rows(), PlaneRowCapacity);
  PixelMode = 0;
  if (!FitPlaneDecay(tau, err, chi)) return;
  const TPlaneWindow& w = PlaneWindow;
  // tau in cells times the physical width of a cell.
  const double scale = w.chanWidth * PlaneSettings.xHigh / std::max(1, Cols());
  const double t = tau * scale, te = err * scale;
  const std::string info = " chi2/df=" + FormatNumberNoBlanks(2, chi) + "     T = " + FormatNumberNoBlanks(2, t) +
                           "  +/-  " + FormatNumberNoBlanks(2, te) + "   " + std::to_string(n) + " points";
  DrawDecayFit(n, FitParameters->Records[1].value, tau, info);
  LogLine("Corrected T " + FormatFixed(10, 4, t) + " +- " + FormatFixed(10, 4, te));
  ShowDialogModal();
  if (DialogOk == 1 && !w.bmpName.empty()) {
    PictureSaveRequest = 1;
    PictureSaveName = w.bmpName;
    SaveFitPicture(w.bmpName);
    PictureSaveRequest = 0;
  }
}

// Reads the event file into the grid and spectra 1, 2; false closes the window.
bool EnterEvents(TImageCanvas& header, TImageCanvas& graph) {
  TPlaneWindow& w = PlaneWindow;
  TFileDialog& d = Form2.OpenDialog1;
  d.title = "Enter the event file name";
  d.fileName = w.eventFile;
  d.initialDir = EventFileDir;
  d.filter = "Files(.dat)|*.ini|All|*.*";
  const std::optional<std::string> chosen = Ui().OpenFileDialog(d);
  if (!chosen) return false;
  w.eventFile = *chosen;
  w.bmpName.clear();
  if (w.fitGraphKey != 0) {
    w.bmpName = w.eventFile.substr(0, w.eventFile.find('.')) + ".bmp";
    ShowMsg("BMP filename will be " + w.bmpName);
  }
  TextFile f;
  f.Reset(w.eventFile);
  StartSession();
  for (int32_t s = 1; s <= 4; ++s)
    if (TSpectrum* sp = SpectrumOrNull(s)) std::fill(sp->Y + 1, sp->Y + PlaneChannels + 1, 0.0);
  TSpectrum* s1 = SpectrumOrNull(1);
  TSpectrum* s2 = SpectrumOrNull(2);
  const TPlaneSettings& b = PlaneSettings;
  const int32_t ca = PairColumns[std::clamp(w.columnPair, 1, 6)][0], cb = PairColumns[std::clamp(w.columnPair, 1, 6)][1];
  w.eventCount = 0;
  while (!f.Eof()) {
    ReadNextLine(f);
    int32_t n = 0;
    ParseNumbers(n, InputLine);
    if (n < std::max(ca, cb)) continue;  // a line lacking an item of the pair is no event
    const double x = NumberBuffer[ca], y = NumberBuffer[cb];
    if (!(x >= b.xLow && x <= b.xHigh && y >= b.yLow && y <= b.yHigh)) continue;
    w.xMax = std::max(w.xMax, x), w.xMin = std::min(w.xMin, x);
    w.yMax = std::max(w.yMax, y), w.yMin = std::min(w.yMin, y);
    AddEventToGrid(x, y);
    const int32_t kx = Whole(x) + 1, ky = Whole(y);
    if (s1 && kx >= 1 && kx <= PlaneChannels) s1->Y[kx] += 1.0;
    if (s2 && ky >= 1 && ky <= PlaneChannels) s2->Y[ky] += 1.0;
    if (++w.eventCount % 10000 == 0) ShowProgressLine(std::to_string(w.eventCount) + " events read in");
  }
  f.Close();
  for (int32_t s = 1; s <= 4; ++s)
    if (TSpectrum* sp = SpectrumOrNull(s)) sp->ComputeYRange();
  ProcessEventArray();
  PixelMode = 2;
  const int32_t cells = Cols() * Rows();
  double big = 0.0, small = 1e9;
  for (int32_t k = 1; k <= cells; ++k) big = std::max(big, w.grid[k]), small = std::min(small, w.grid[k]);
  LogLine("* Max / min of distr " + FormatFixed(12, 2, big) + FormatFixed(9, 2, small));
  if (w.xMax == 0 || w.yMax == 0 || w.xMin == w.xMax || w.yMin == w.yMax) {
    ShowMsg("X_max (or Y_max) = 0 or x=y");
    DialogOk = 0;
    return false;
  }
  if (w.reversed != 0) std::swap(w.xMax, w.yMax), std::swap(w.xMin, w.yMin);
  w.colourStep = std::max((big - small) / 6.0, 0.0001);
  GraphMode = 6;
  DrawPlaneDistribution(graph, w.thick != 0, true);
  header.Brush.color = BlackColor;
  header.FillRect(0, 0, header.Width(), header.Height());
  header.Font.color = WhiteColor;
  const std::string lines[] = {
      "X-Maximum = " + std::to_string(Whole(w.xMax)), "Y-Maximum = " + std::to_string(Whole(w.yMax)),
      w.reversed != 0 ? "XY - graph (reversed)" : "YX - graph",
      LogFileName + "  " + std::to_string(w.eventCount) + " events", w.logX != 0 ? "X-log" : "",
      w.logY != 0 ? "Y-log" : "",
      "Distribution XY-bounds=" + std::to_string(1) + "  " + std::to_string(Cols()) + "  -  " + std::to_string(1) + "  " +
          std::to_string(Rows())};
  int32_t row = 2;
  for (const std::string& s : lines)
    if (!s.empty()) header.TextOut(Scaled(5), Scaled(row), s), row += 14;
  Ui().ImageChanged(header);
  LogLine("* " + FormatInteger(w.eventCount, 8) + " events,   sens= " + FormatFixed(6, 2, PeakSensitivity));
  ShowMsg(std::to_string(w.eventCount) + " events.  Proceed?");
  w.action = 5;
  return true;
}

// The dialog of one pass; false after Cancel.
bool AskPlaneSettings() {
  TPlaneWindow& w = PlaneWindow;
  SetHelpLines(PlaneDistributionHelp);
  DialogCaption = "Plane distribution";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 5,
             " Set the bounds " + LineBreak + " of the event " + LineBreak + " distribution " + LineBreak +
                 " N in t < 121" + LineBreak + " N in E < 121",
             WhiteColor, TextBackgroundColor);
  static const char* const captions[5] = {" Xphys", " Yphys", " N in t , N in E ", " Pos.weights for",
                                          " Sens  -  Chanwidth"};
  const TPlaneSettings& b = PlaneSettings;
  const double left[5] = {b.xLow, b.yLow, double(EventGridNT), double(w.fitFirst), PeakSensitivity};
  const double right[5] = {b.xHigh, b.yHigh, double(EventGridNE), double(w.fitLast), w.chanWidth};
  for (int32_t i = 1; i <= 5; ++i) {
    DialogFieldLabels[i] = captions[i - 1];
    DialogFieldValues[i][1] = left[i - 1], DialogFieldValues[i][2] = right[i - 1];
  }
  DialogColumnWidths[0] = 140, DialogColumnWidths[1] = 60, DialogColumnWidths[2] = 60;
  ShowNumberGrid(120, 5, 5, 10, 2, 5);
  PlaceLabel(Form2.Label2, 5, 125, " Specify column " + LineBreak + " combination in " + LineBreak + " the event file ",
             WhiteColor, TextBackgroundColor);
  SetDialogOptions({" 1  2", " 1  3", " 1  4", " 2  3", " 2  4", " 3  4"}, std::clamp(w.columnPair, 1, 6));
  ShowRadioGroup(1, 2, 5, 70, 150, 175);
  PlaceLabel(Form2.Label3, 170, 125, "Specify the scale", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" X axis logarithmic", " Y axis logarithmic", " XY axes reversed", " thick point"});
  ShowCheckListBox(170, 145, 230, 76);
  Form2.CheckListBox1.SetChecked(0, w.logX != 0);
  Form2.CheckListBox1.SetChecked(1, w.logY != 0);
  Form2.CheckListBox1.SetChecked(2, w.reversed != 0);
  Form2.CheckListBox1.SetChecked(3, w.thick != 0);
  PlaceLabel(Form2.Label4, 5, 250, " Execute the command ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"Toggle Fit Graph Key", "Enter the events", "Simulate the events", " ", "Execute the fitting", "Exit"},
                   std::clamp(w.action, 1, 6));
  ShowRadioGroup(2, 2, 5, 70, 400, 270);
  PlaceLabel(Form2.Label5, 5, 345, std::string(" Fit.graph") + (w.fitGraphKey != 0 ? " on " : " off "), WhiteColor,
             TextBackgroundColor);
  ShowDialogModal();
  return DialogOk == 1;
}

}  // namespace

void PlaneDistribution(TImageCanvas& headerImage, TImageCanvas& graphImage, int32_t) {
  TPlaneModeGuard guard;
  TPlaneWindow& w = PlaneWindow;
  MainMode = 5;
  PeakSensitivity = 2.0;
  EventGridNT = EventGridNE = 80;
  w.thick = 1;
  w.fitGraphKey = 0;
  w.action = 1;
  w.fitFirst = w.fitLast = 0;
  w.eventFile = (EventFileDir.empty() ? std::string("a.sav") : EventFileDir + "/a.sav");
  for (;;) {
    if (!AskPlaneSettings()) return;
    double v[2][6] = {};
    for (int32_t col = 0; col < 2; ++col)
      for (int32_t row = 1; row <= 5; ++row) {
        StrToFloatChecked(Form2.StringGrid1.Cell(col, row - 1), v[col][row]);
        if (!std::isfinite(v[col][row])) DialogOk = 0;
      }
    if (DialogOk != 1) return;
    // Spectra 1 to 4 take the window's channel range once it is accepted: a cancel at the first
    // showing leaves the loaded spectra as they were.
    for (int32_t s = 1; s <= 4; ++s)
      if (TSpectrum* sp = SpectrumOrNull(s))
        sp->FirstChannel = sp->WorkFirst = 1, sp->LastChannel = sp->WorkLast = PlaneChannels;
    PlaneSettings.xLow = v[0][1], PlaneSettings.xHigh = v[1][1];
    PlaneSettings.yLow = v[0][2], PlaneSettings.yHigh = v[1][2];
    EventGridNT = Whole(v[0][3]), EventGridNE = Whole(v[1][3]);
    w.fitFirst = Whole(v[0][4]), w.fitLast = Whole(v[1][4]);
    PeakSensitivity = v[0][5], w.chanWidth = v[1][5];
    w.columnPair = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 6);
    w.logX = Form2.CheckListBox1.Checked(0), w.logY = Form2.CheckListBox1.Checked(1);
    w.reversed = Form2.CheckListBox1.Checked(2), w.thick = Form2.CheckListBox1.Checked(3);
    const int32_t action = Form2.RadioGroup2.itemIndex + 1;
    if (EventGridNT < 1 || EventGridNT > PlaneGridMax || EventGridNE < 1 || EventGridNE > PlaneGridMax) {
      ShowMsg("Wrong numbers of points in t,E");
      return;
    }
    // ln(x high) is the log axis's divisor: a bound at or below 1 gives no axis.
    if ((w.logX != 0 && !(PlaneSettings.xHigh > 1.0)) || (w.logY != 0 && !(PlaneSettings.yHigh > 1.0))) {
      ShowMsg("A logarithmic axis needs an upper bound above 1");
      continue;
    }
    w.action = action;
    switch (action) {
      case 1:
        w.fitGraphKey = 1 - w.fitGraphKey;
        w.action = 2;
        break;
      case 2:
        if (!EnterEvents(headerImage, graphImage)) return;
        break;
      case 3: {
        w.eventFile = EventFileDir.empty() ? std::string("a.sav") : EventFileDir + "/a.sav";
        StartSession();
        w.tau = 1600.0;
        const int32_t count = SimulatePlaneEvents(w.eventFile);
        ShowMsg(std::to_string(count) + "  events simulated,  tau= " + std::to_string(Whole(w.tau)));
        w.action = 1;
        break;
      }
      case 5:
        if (w.logY != 0) ShowMsg("For fitting switch off logarithmic Y scale");
        else RunFitting();
        if (DialogOk != 1) return;
        break;
      case 6:
        return;
      default:
        break;
    }
  }
}
