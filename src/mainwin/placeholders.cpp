#include "mainwin/placeholders.h"
#include "core/neighbour_services.h"
#include "mainwin/main_window.h"

void NotAvailableYet(const std::string& caption) { ShowStatusLine1(caption + NotAvailableSuffix); }

// ---- menu items (their wiring comes with the main-window commands) ----
void TForm1::SimulatetheSpectrum1Click() { NotAvailableYet("Simulate the Data"); }
void TForm1::MakeFourierSpectrum1Click() { NotAvailableYet("Make  RTOF Spectrum"); }
void TForm1::ShowtheSpectrum1Click() { NotAvailableYet("Show the Spectrum"); }
void TForm1::OutputtheSpectrum1Click() { NotAvailableYet("Output the Spectrum"); }
void TForm1::Makefitaspectrum1Click() { NotAvailableYet("Turn the Fit to a Spectrum"); }
void TForm1::Assign2thetastochannels1Click() { NotAvailableYet("Assign 2thetas to channels"); }
void TForm1::InputInifile1Click() { NotAvailableYet("Input Ini-file            'i'"); }
void TForm1::InputKESTdatfile1Click() { NotAvailableYet("Input KEST dat-file"); }
void TForm1::SaveInifile1Click() { NotAvailableYet("Save Ini-file"); }
void TForm1::ResettheProgram1Click() { NotAvailableYet("Reset the Program"); }
void TForm1::SettheMainMode1Click() { NotAvailableYet("Set the Main Mode"); }
void TForm1::NumberofPhases1Click() { NotAvailableYet("Number of Phases"); }
void TForm1::ScaleMode1Click() { NotAvailableYet("Scale Mode"); }
void TForm1::SetWidthBckgModes1Click() { NotAvailableYet("Analysis Modes"); }
void TForm1::ResetWeights1Click() { NotAvailableYet("Reset Weights (Exclude a region)"); }
void TForm1::FormandFontSizes1Click() { NotAvailableYet("Form and Font Sizes"); }
void TForm1::SetVariousOptions1Click() { NotAvailableYet("Various Options"); }
void TForm1::theSpectrum1Click() { NotAvailableYet("the Spectrum               'G'"); }
void TForm1::theSpectrumInterval1Click() { NotAvailableYet("the Spectrum Interval   'g'"); }
void TForm1::theFittedInterval1Click() { NotAvailableYet("the Fitted Interval"); }
void TForm1::thePeakModel1Click() { NotAvailableYet("the Peak Model"); }
void TForm1::theEffectiveSpectrum1Click() { NotAvailableYet("the Effective Spectrum"); }
void TForm1::SeveralSpectra1Click() { NotAvailableYet("Several Spectra     's'"); }
void TForm1::PlaneDistribution1Click() { NotAvailableYet("Plane Distribution"); }
void TForm1::Theoreticalhkls1Click() { NotAvailableYet("Theoretical hkls or peaks"); }
void TForm1::aGPHfile1Click() { NotAvailableYet("a GPH-file"); }
void TForm1::ShowSetofPoints2Click() { NotAvailableYet("Show Set of Points"); }
void TForm1::IntervalBounds1Click() { NotAvailableYet("Interval Bounds"); }
void TForm1::PeakModelBounds1Click() { NotAvailableYet("Peak Model Bounds"); }
void TForm1::SetofPoints1Click() { NotAvailableYet("Set of Points"); }
void TForm1::AssigntheModels1Click() { NotAvailableYet("Assign the Models"); }
void TForm1::SumtheSpectrumInterval1Click() { NotAvailableYet("Sum  Spectrum Interval"); }
void TForm1::PutCommentsontheGraph1Click() { NotAvailableYet("Put Comments on the Graph"); }
void TForm1::FormSpecialModel1Click() { NotAvailableYet("Form Special Model"); }
void TForm1::MakeRealPeakModel1Click() { NotAvailableYet("Make Real Peak Model"); }
void TForm1::MakeRealBackgroundModel1Click() { NotAvailableYet("Make Real Background Model"); }
void TForm1::MakeDoubleSignedModel1Click() { NotAvailableYet("Make Double Signed Model"); }
void TForm1::MovethePeakModels1Click() { NotAvailableYet("Move the Peak Models"); }
void TForm1::TransformPeakModel1Click() { NotAvailableYet("Transform Peak Model"); }
void TForm1::NormalizetheSpectrum1Click() { NotAvailableYet("Normalize the Spectrum"); }
void TForm1::FittheTailofEfficSpectrum1Click() { NotAvailableYet("Fit the Tail of Effective Spectrum"); }
void TForm1::SpectrumFunctions1Click() { NotAvailableYet("Spectrum Functions"); }
void TForm1::SpectrumArithmetic2Click() { NotAvailableYet("Spectrum Arithmetic"); }
void TForm1::GetAbsorptionCoefficients1Click() { NotAvailableYet("Get Absorption Coefficients"); }
void TForm1::EventsToSpectrum1Click() { NotAvailableYet("Events to Spectrum"); }
void TForm1::BuildBackgroundbyMarkedPoints1Click() { NotAvailableYet("Build Background by Marked Points"); }
void TForm1::abouttheSpectrum1Click() { NotAvailableYet("about the Spectrum"); }
void TForm1::abouttheVariance1Click() { NotAvailableYet("about the Variance"); }
void TForm1::aboutPhases1Click() { NotAvailableYet("about Phases"); }
void TForm1::aboutAtoms1Click() { NotAvailableYet("about Atoms"); }
void TForm1::aboutHKLs1Click() { NotAvailableYet("about HKLs"); }
void TForm1::aboutParErrors1Click() { NotAvailableYet("about Par.Errors"); }
void TForm1::aboutFitControls1Click() { NotAvailableYet("about Fit Controls"); }
void TForm1::aboutFitQuality1Click() { NotAvailableYet("about Fit Quality"); }
void TForm1::aboutdspacings1Click() { NotAvailableYet("about d-spacings"); }
void TForm1::aboutINIfile1Click() { NotAvailableYet("about INI-file"); }
void TForm1::aboutSetofMarkedPoints1Click() { NotAvailableYet("about Set of Points"); }
void TForm1::aboutParameters1Click() { NotAvailableYet("about Parameters"); }
void TForm1::General1Click() { NotAvailableYet("General"); }
void TForm1::GettingStarted1Click() { NotAvailableYet("Getting Started"); }
void TForm1::MenuComments1Click() { NotAvailableYet("Menu Comments"); }
void TForm1::OperationswithGraphs1Click() { NotAvailableYet("Operations with Graphs"); }
void TForm1::Examples1Click() { NotAvailableYet("Examples of INI-files"); }
void TForm1::CommentstoINIcommands1Click() { NotAvailableYet("Comments to INI-commands"); }
void TForm1::RietveldAnalysis1Click() { NotAvailableYet("Rietveld"); }
void TForm1::Autoindexing1Click() { NotAvailableYet("Celix"); }
void TForm1::Fitra1Click() { NotAvailableYet("Fitra"); }
void TForm1::Test1Click() { NotAvailableYet("Test"); }
void TForm1::Trevo1Click() { NotAvailableYet("Trevo"); }

// ---- side buttons and the key R ----
void TForm1::Button1Click() { NotAvailableYet("OK"); }
void TForm1::Button2Click() { NotAvailableYet("Cancel"); }
void TForm1::Button3Click() { NotAvailableYet("Next Interval"); }
void TForm1::Button4Click() { NotAvailableYet("Previous Int."); }
void TForm1::Button5Click() { NotAvailableYet("Toggle X"); }
void TForm1::Button6Click() { NotAvailableYet("---> GPH-file"); }
void TForm1::Button7Click() { NotAvailableYet("-> BMP-file"); }
void TForm1::Button8Click() { NotAvailableYet(Button(8).caption); }
void TForm1::Button9Click() { NotAvailableYet("Next Spectr"); }
void TForm1::Button10Click() { NotAvailableYet("Prev.Spectr"); }
void TForm1::Button11Click() { NotAvailableYet("Zoom"); }
void TForm1::Button12Click() { NotAvailableYet("-> PRF"); }
void TForm1::Button13Click() { NotAvailableYet("Side button 13"); }
void TForm1::KeyRCommand() { NotAvailableYet("Rietveld fit 'R'"); }

// ---- routines of the graph and of the modules ----
void RedrawGraph() { NotAvailableYet("RedrawGraph"); }
void OutputSpectrumFile() { NotAvailableYet("OutputSpectrumFile"); }
void SpectrumFunctions() { NotAvailableYet("SpectrumFunctions"); }
void SimulateSpectrum() { NotAvailableYet("SimulateSpectrum"); }
void MakeRtofSpectrum() { NotAvailableYet("MakeRtofSpectrum"); }
void ShowSpectrum() { NotAvailableYet("ShowSpectrum"); }
void TurnFitToSpectrum() { NotAvailableYet("TurnFitToSpectrum"); }
void NormalizeSpectrum() { NotAvailableYet("NormalizeSpectrum"); }
void FitEffectiveSpectrumTail() { NotAvailableYet("FitEffectiveSpectrumTail"); }
void SpectrumArithmetic() { NotAvailableYet("SpectrumArithmetic"); }
void GetAbsorptionCoefficients() { NotAvailableYet("GetAbsorptionCoefficients"); }
void EventsToSpectrum() { NotAvailableYet("EventsToSpectrum"); }
void BuildBackgroundByMarkedPoints() { NotAvailableYet("BuildBackgroundByMarkedPoints"); }
void SmoothSpectrum() { NotAvailableYet("SmoothSpectrum"); }
void PlaneDistribution(TImageCanvas&, TImageCanvas&, int32_t) { NotAvailableYet("PlaneDistribution"); }
void ReadIniFile(int32_t) { NotAvailableYet("ReadIniFile"); }
void SaveIniFile(int32_t) { NotAvailableYet("SaveIniFile"); }
void MakeIniFrame() { NotAvailableYet("MakeIniFrame"); }
void FindPeaks() { NotAvailableYet("FindPeaks"); }
void QuasiCurvatureTest() { NotAvailableYet("QuasiCurvatureTest"); }
void FindPeaksDialog() { NotAvailableYet("FindPeaksDialog"); }
void FormRealPeakModel(int32_t) { NotAvailableYet("FormRealPeakModel"); }
void MakeRealBackgroundModel() { NotAvailableYet("MakeRealBackgroundModel"); }
void FormSpecialModel() { NotAvailableYet("FormSpecialModel"); }
void TransformPeakModel() { NotAvailableYet("TransformPeakModel"); }
void MovePeakModels(int32_t&, int32_t&) { NotAvailableYet("MovePeakModels"); }
void GraphPeakModel() { NotAvailableYet("GraphPeakModel"); }
void FitraMenu() { NotAvailableYet("FitraMenu"); }
void SetDefaultBins(int32_t, int32_t) { NotAvailableYet("SetDefaultBins"); }
void CelixMain() { NotAvailableYet("CelixMain"); }
void FreeCelixFitter() { NotAvailableYet("FreeCelixFitter"); }
void TrevoMain() { NotAvailableYet("TrevoMain"); }
void FourierSynthesis() { NotAvailableYet("FourierSynthesis"); }
void TestMenu() { NotAvailableYet("TestMenu"); }
