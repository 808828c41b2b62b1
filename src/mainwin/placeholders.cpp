#include "mainwin/placeholders.h"
#include "core/neighbour_services.h"
#include "mainwin/main_window.h"

void NotAvailableYet(const std::string& caption) { ShowStatusLine1(caption + NotAvailableSuffix); }

// ---- menu items ----
void TForm1::SimulatetheSpectrum1Click() { NotAvailableYet("Simulate the Data"); }

// ---- routines of the graph and of the modules ----
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
void SaveIniFile(int32_t) { NotAvailableYet("SaveIniFile"); }
void MakeIniFrame() { NotAvailableYet("MakeIniFrame"); }
void FindPeaksDialog() { NotAvailableYet("FindPeaksDialog"); }
void FitraMenu() { NotAvailableYet("FitraMenu"); }
void CelixMain() { NotAvailableYet("CelixMain"); }
void TrevoMain() { NotAvailableYet("TrevoMain"); }
void FourierSynthesis() { NotAvailableYet("FourierSynthesis"); }
void TestMenu() { NotAvailableYet("TestMenu"); }
