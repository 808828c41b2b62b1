#include "mainwin/main_menu.h"

namespace {
using Handler = void (TForm1::*)();

TMenuItem Item(const char* caption, Handler onClick) {
  TMenuItem m;
  m.caption = caption;
  m.onClick = onClick;
  return m;
}

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
           {Item("Input the Spectrum", &TForm1::InputtheSpectrum1Click),
            Item("Input the Variance", &TForm1::InputtheVariance1Click),
            Item("Input Effective Spectrum", &TForm1::InputEffectiveSpectrum1Click),
            Item("Input the Next Spectrum", &TForm1::InputtheNextSpectrum1Click),
            Item("Simulate the Data", &TForm1::SimulatetheSpectrum1Click),
            Item("&Make  RTOF Spectrum", &TForm1::MakeFourierSpectrum1Click),
            Item("&Show the Spectrum", &TForm1::ShowtheSpectrum1Click),
            Item("Output the Spectrum", &TForm1::OutputtheSpectrum1Click),
            Item("&Turn the Fit to a Spectrum", &TForm1::Makefitaspectrum1Click),
            Item("Assign 2thetas to channels", &TForm1::Assign2thetastochannels1Click),
            separator,
            Item("Input Ini-file            'i'", &TForm1::InputInifile1Click),
            Item("Input KEST dat-file", &TForm1::InputKESTdatfile1Click),
            Item("Save Ini-file", &TForm1::SaveInifile1Click),
            Item("Reset the Program", &TForm1::ResettheProgram1Click),
            Item("Exit                         Esc  ", &TForm1::Exit1Click)}),
      Menu("&Settings",
           {Item("Set the Main Mode", &TForm1::SettheMainMode1Click),
            Item("Number of Phases", &TForm1::NumberofPhases1Click),
            Item("Scale Mode", &TForm1::ScaleMode1Click),
            Item("Analysis Modes", &TForm1::SetWidthBckgModes1Click),
            Item("Reset Weights (Exclude a region)", &TForm1::ResetWeights1Click),
            Item("Form and Font Sizes", &TForm1::FormandFontSizes1Click),
            Item("Various Options ", &TForm1::SetVariousOptions1Click)}),
      Menu("&Graph",
           {Item("the Spectrum               'G'", &TForm1::theSpectrum1Click),
            Item("the Spectrum Interval   'g'", &TForm1::theSpectrumInterval1Click),
            Item("the Fitted Interval", &TForm1::theFittedInterval1Click),
            Item("the Peak Model", &TForm1::thePeakModel1Click),
            Item("the Effective Spectrum", &TForm1::theEffectiveSpectrum1Click),
            Item("Several Spectra     's'", &TForm1::SeveralSpectra1Click),
            Item("Plane Distribution", &TForm1::PlaneDistribution1Click),
            Item("Theoretical hkls or peaks ", &TForm1::Theoreticalhkls1Click),
            Item("a GPH-file", &TForm1::aGPHfile1Click),
            Item("Show Set of Points", &TForm1::ShowSetofPoints2Click)}),
      Menu("&Mark",
           {Item("Interval Bounds", &TForm1::IntervalBounds1Click),
            Item("Peak Model Bounds", &TForm1::PeakModelBounds1Click),
            Item("Set of Points", &TForm1::SetofPoints1Click),
            Item("Assign the Models", &TForm1::AssigntheModels1Click),
            Item("Sum  Spectrum Interval", &TForm1::SumtheSpectrumInterval1Click),
            Item("Put Comments on the Graph", &TForm1::PutCommentsontheGraph1Click)}),
      Item("", nullptr),  // the blank entry: no caption, no action
      Menu("&PeakModels",
           {Item("Form Special Model", &TForm1::FormSpecialModel1Click),
            Item("Make Real Peak Model", &TForm1::MakeRealPeakModel1Click),
            Item("Make Real Background Model", &TForm1::MakeRealBackgroundModel1Click),
            Item("Make Double Signed Model", &TForm1::MakeDoubleSignedModel1Click),
            Item("Move the Peak Models", &TForm1::MovethePeakModels1Click),
            Item("Transform Peak Model", &TForm1::TransformPeakModel1Click)}),
      Menu("Transform",
           {Item("Normalize the Spectrum", &TForm1::NormalizetheSpectrum1Click),
            Item("Fit the Tail of Effective Spectrum ", &TForm1::FittheTailofEfficSpectrum1Click),
            Item("Spectrum Functions", &TForm1::SpectrumFunctions1Click),
            Item("Spectrum Arithmetic", &TForm1::SpectrumArithmetic2Click),
            Item("Get Absorption Coefficients", &TForm1::GetAbsorptionCoefficients1Click),
            Item("Events to Spectrum", &TForm1::EventsToSpectrum1Click),
            Item("Build Background by Marked Points", &TForm1::BuildBackgroundbyMarkedPoints1Click)}),
      Item("&Rietveld ", &TForm1::RietveldAnalysis1Click),
      Menu("&Info",
           {Item("about the Spectrum", &TForm1::abouttheSpectrum1Click),
            Item("about the Variance", &TForm1::abouttheVariance1Click),
            Item("about Phases", &TForm1::aboutPhases1Click),
            Item("about Atoms", &TForm1::aboutAtoms1Click),
            Item("about HKLs", &TForm1::aboutHKLs1Click),
            Item("about Par.Errors", &TForm1::aboutParErrors1Click),
            Item("about Fit Controls", &TForm1::aboutFitControls1Click),
            Item("about Fit Quality", &TForm1::aboutFitQuality1Click),
            Item("about d-spacings", &TForm1::aboutdspacings1Click),
            Item("about INI-file", &TForm1::aboutINIfile1Click),
            Item("about Set of Points", &TForm1::aboutSetofMarkedPoints1Click),
            Item("about Parameters", &TForm1::aboutParameters1Click)}),
      Item("&Celix", &TForm1::Autoindexing1Click),
      Item("&Fitra", &TForm1::Fitra1Click),
      Menu("&Help",
           {Item("General", &TForm1::General1Click),
            Item("Getting Started", &TForm1::GettingStarted1Click),
            Item("Menu Comments", &TForm1::MenuComments1Click),
            Item("Operations with Graphs", &TForm1::OperationswithGraphs1Click),
            Item("Examples of INI-files", &TForm1::Examples1Click),
            Item("Comments to INI-commands", &TForm1::CommentstoINIcommands1Click)}),
      Item("&Test", &TForm1::Test1Click),
      Item("&Trevo", &TForm1::Trevo1Click),
  };
}

std::string PlainCaption(const std::string& caption) {
  std::string s;
  for (char c : caption)
    if (c != '&') s += c;
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
