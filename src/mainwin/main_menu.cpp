#include "mainwin/main_menu.h"

namespace {
using Handler = void (TForm1::*)();

TMenuItem Item(const char* caption, Handler onClick, const char* handler = "") {
  TMenuItem m;
  m.caption = caption;
  m.onClick = onClick;
  m.handler = handler;
  return m;
}
// An item with its handler and the handler's name.
#define ITEM(caption, handler) Item(caption, &TForm1::handler, #handler)

TMenuItem Menu(const char* caption, std::vector<TMenuItem> items) {
  TMenuItem m;
  m.caption = caption;
  m.items = std::move(items);
  return m;
}
}  // namespace

std::vector<TMenuItem> BuildMainMenu() {
  TMenuItem separator = Item("__________________", nullptr);
  separator.enabled = false;
  return {
      Menu("&File",
           {ITEM("Input the Spectrum", InputtheSpectrum1Click),
            ITEM("Input the Variance", InputtheVariance1Click),
            ITEM("Input Effective Spectrum", InputEffectiveSpectrum1Click),
            ITEM("Input the Next Spectrum", InputtheNextSpectrum1Click),
            ITEM("Simulate the Data", SimulatetheSpectrum1Click),
            ITEM("&Make  RTOF Spectrum", MakeFourierSpectrum1Click),
            ITEM("&Show the Spectrum", ShowtheSpectrum1Click),
            ITEM("Output the Spectrum", OutputtheSpectrum1Click),
            ITEM("&Turn the Fit to a Spectrum", Makefitaspectrum1Click),
            ITEM("Assign 2thetas to channels", Assign2thetastochannels1Click),
            separator,
            ITEM("Input Ini-file            'i'", InputInifile1Click),
            ITEM("Input KEST dat-file", InputKESTdatfile1Click),
            ITEM("Save Ini-file", SaveInifile1Click),
            ITEM("Reset the Program", ResettheProgram1Click),
            ITEM("Exit                         Esc  ", Exit1Click)}),
      Menu("&Settings",
           {ITEM("Set the Main Mode", SettheMainMode1Click),
            ITEM("Number of Phases", NumberofPhases1Click),
            ITEM("Scale Mode", ScaleMode1Click),
            ITEM("Analysis Modes", SetWidthBckgModes1Click),
            ITEM("Reset Weights (Exclude a region)", ResetWeights1Click),
            ITEM("Form and Font Sizes", FormandFontSizes1Click),
            ITEM("Various Options ", SetVariousOptions1Click)}),
      Menu("&Graph",
           {ITEM("the Spectrum               'G'", theSpectrum1Click),
            ITEM("the Spectrum Interval   'g'", theSpectrumInterval1Click),
            ITEM("the Fitted Interval", theFittedInterval1Click),
            ITEM("the Peak Model", thePeakModel1Click),
            ITEM("the Effective Spectrum", theEffectiveSpectrum1Click),
            ITEM("Several Spectra     's'", SeveralSpectra1Click),
            ITEM("Plane Distribution", PlaneDistribution1Click),
            ITEM("Theoretical hkls or peaks ", Theoreticalhkls1Click),
            ITEM("a GPH-file", aGPHfile1Click),
            ITEM("Show Set of Points", ShowSetofPoints2Click)}),
      Menu("&Mark",
           {ITEM("Interval Bounds", IntervalBounds1Click),
            ITEM("Peak Model Bounds", PeakModelBounds1Click),
            ITEM("Set of Points", SetofPoints1Click),
            ITEM("Assign the Models", AssigntheModels1Click),
            ITEM("Sum  Spectrum Interval", SumtheSpectrumInterval1Click),
            ITEM("Put Comments on the Graph", PutCommentsontheGraph1Click)}),
      Item("", nullptr),  // the blank entry: no caption, no action
      Menu("&PeakModels",
           {ITEM("Form Special Model", FormSpecialModel1Click),
            ITEM("Make Real Peak Model", MakeRealPeakModel1Click),
            ITEM("Make Real Background Model", MakeRealBackgroundModel1Click),
            ITEM("Make Double Signed Model", MakeDoubleSignedModel1Click),
            ITEM("Move the Peak Models", MovethePeakModels1Click),
            ITEM("Transform Peak Model", TransformPeakModel1Click)}),
      Menu("Transform",
           {ITEM("Normalize the Spectrum", NormalizetheSpectrum1Click),
            ITEM("Fit the Tail of Effective Spectrum ", FittheTailofEfficSpectrum1Click),
            ITEM("Spectrum Functions", SpectrumFunctions1Click),
            ITEM("Spectrum Arithmetic", SpectrumArithmetic2Click),
            ITEM("Get Absorption Coefficients", GetAbsorptionCoefficients1Click),
            ITEM("Events to Spectrum", EventsToSpectrum1Click),
            ITEM("Build Background by Marked Points", BuildBackgroundbyMarkedPoints1Click)}),
      ITEM("&Rietveld ", RietveldAnalysis1Click),
      Menu("&Info",
           {ITEM("about the Spectrum", abouttheSpectrum1Click),
            ITEM("about the Variance", abouttheVariance1Click),
            ITEM("about Phases", aboutPhases1Click),
            ITEM("about Atoms", aboutAtoms1Click),
            ITEM("about HKLs", aboutHKLs1Click),
            ITEM("about Par.Errors", aboutParErrors1Click),
            ITEM("about Fit Controls", aboutFitControls1Click),
            ITEM("about Fit Quality", aboutFitQuality1Click),
            ITEM("about d-spacings", aboutdspacings1Click),
            ITEM("about INI-file", aboutINIfile1Click),
            ITEM("about Set of Points", aboutSetofMarkedPoints1Click),
            ITEM("about Parameters", aboutParameters1Click)}),
      ITEM("&Celix", Autoindexing1Click),
      ITEM("&Fitra", Fitra1Click),
      Menu("&Help",
           {ITEM("General", General1Click),
            ITEM("Getting Started", GettingStarted1Click),
            ITEM("Menu Comments", MenuComments1Click),
            ITEM("Operations with Graphs", OperationswithGraphs1Click),
            ITEM("Examples of INI-files", Examples1Click),
            ITEM("Comments to INI-commands", CommentstoINIcommands1Click)}),
      ITEM("&Test", Test1Click),
      ITEM("&Trevo", Trevo1Click),
  };
}

#undef ITEM

std::string PlainCaption(const std::string& caption) {
  std::string s;
  for (char c : caption)
    if (c != '&') s += c;
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
