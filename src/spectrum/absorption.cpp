// Absorption factors of cylinder, plate and sphere samples, the correction of a spectrum and
// the coefficients from the crystal model.
#include "spectrum/absorption.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "crystal/structure_factor.h"
#include "spectrum/spectrum_checks.h"

namespace {

// Gauss rule for the integral of f(r) 2r dr over 0..1 (exact for the radial moments).
constexpr std::array<double, 5> RadialNodes = {0.0985351, 0.3045357, 0.5620252, 0.8019866, 0.9601901};
constexpr std::array<double, 5> RadialWeights = {0.0314958, 0.1478177, 0.292774, 0.3343493, 0.1935632};
// Simpson's rule over the azimuth 0..180 degrees in steps of 22.5.
constexpr std::array<double, 9> AzimuthWeights = {1, 4, 2, 4, 2, 4, 2, 4, 1};

constexpr std::array<double, 17> SphereMu = {0,   0.1, 0.2, 0.3, 0.4, 0.5, 0.8, 1.0, 1.5,
                                             2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0};
constexpr std::array<double, 7> SphereTwoTheta = {0, 0.5235988, 1.0471976, 1.5707964, 2.094395, 2.617994, 3.141593};
// Transmission of a sphere, one row of two-theta values per mu. The cell (6.0, 0.5236) is
// 0.00787: an integration over the ball gives 0.0080, and 0.0787 would break the monotony.
constexpr double SphereTable[17][7] = {
    {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
    {0.862, 0.862, 0.862, 0.862, 0.862, 0.862, 0.862},
    {0.741, 0.746, 0.746, 0.746, 0.752, 0.752, 0.752},
    {0.641, 0.645, 0.654, 0.654, 0.658, 0.662, 0.662},
    {0.556, 0.559, 0.562, 0.571, 0.578, 0.588, 0.588},
    {0.481, 0.485, 0.493, 0.503, 0.515, 0.524, 0.526},
    {0.317, 0.322, 0.334, 0.353, 0.372, 0.388, 0.392},
    {0.243, 0.248, 0.264, 0.286, 0.308, 0.326, 0.332},
    {0.128, 0.136, 0.155, 0.181, 0.207, 0.228, 0.236},
    {0.0714, 0.0794, 0.1, 0.126, 0.152, 0.173, 0.182},
    {0.042, 0.05, 0.069, 0.0935, 0.118, 0.138, 0.147},
    {0.026, 0.0334, 0.0513, 0.0735, 0.0962, 0.115, 0.123},
    {0.0116, 0.0179, 0.0323, 0.0505, 0.0694, 0.0855, 0.0926},
    {0.00599, 0.0112, 0.0229, 0.0379, 0.0541, 0.068, 0.0746},
    {0.00347, 0.00787, 0.0176, 0.0303, 0.0441, 0.0562, 0.0621},
    {0.00146, 0.00469, 0.0118, 0.0215, 0.0322, 0.0418, 0.0467},
    {0.00075, 0.00325, 0.00885, 0.0165, 0.0256, 0.0332, 0.0375},
};

constexpr double DegToRad = 0.01745329;  // as the instrument files were calibrated

std::string Int(int32_t n) { return std::to_string(n); }

}  // namespace

double AbsorptionIntegral(double mu, double th, double tt) {
  if (mu <= 1.0) {
    const double s = std::sin(th) * std::sin(th);
    return std::exp(-(1.7133 - 0.0368 * s) * mu - (-0.0927 - 0.375 * s) * mu * mu);
  }
  const double st = std::sin(tt), ct = std::cos(tt);
  double sum = 0.0;
  for (size_t m = 0; m < AzimuthWeights.size(); ++m) {
    const double phi = 22.5 * static_cast<double>(m) * std::numbers::pi / 180.0;
    const double cphi = std::cos(phi), sphi = std::sin(phi);
    double inner = 0.0;
    for (size_t k = 0; k < RadialNodes.size(); ++k) {
      const double a = RadialNodes[k] * cphi, b = RadialNodes[k] * sphi;
      const double q = a * st + b * ct;
      const double p = std::min(1.0, q * q);
      const double l1 = a * (1.0 - ct) + b * st;
      const double l2 = std::sqrt(1.0 - b * b) + std::sqrt(1.0 - p);
      // The point and its mirror: (1/e1 + e1) e2 with e1 = exp(-mu L1), written without 1/e1,
      // which overflows for a large mu.
      inner += RadialWeights[k] * (std::exp(-mu * (l2 - l1)) + std::exp(-mu * (l2 + l1)));
    }
    sum += AzimuthWeights[m] * inner;
  }
  return sum / 24.0 * 0.5;
}

double PlateAbsorption(double mu, double th) {
  const double s = std::sin(th);
  if (mu == 0.0) return 1.0;  // the limit of the slab formula
  return -std::expm1(-std::min(64.0, 2.0 * mu / s)) * s * 0.5 / mu;
}

double AbsorptionTableLookup(double mu, double tt) {
  int32_t i = -1, a = -1;
  for (int32_t r = 0; r + 1 < 17 && i < 0; ++r)
    if (SphereMu[r] <= mu && mu < SphereMu[r + 1]) i = r;
  for (int32_t c = 0; c + 1 < 7 && a < 0; ++c)
    if (SphereTwoTheta[c] <= tt && tt < SphereTwoTheta[c + 1]) a = c;
  if (i < 0 || a < 0) return 0.01;
  const double t = SphereTable[i][a];
  return t + (mu - SphereMu[i]) * (SphereTable[i + 1][a] - t) / (SphereMu[i + 1] - SphereMu[i]) +
         (tt - SphereTwoTheta[a]) * (SphereTable[i][a + 1] - t) / (SphereTwoTheta[a + 1] - SphereTwoTheta[a]);
}

double AbsorptionFactor(int32_t j, int32_t i, int32_t shape, double abs1, double abs2) {
  const TSpectrum* sp = SpectrumOrNull(i);
  if (!sp || shape < 0 || shape > 2 || !(sp->Theta > 0.0 && sp->Theta < 180.0)) return std::nan("");
  const double th = sp->Theta * DegToRad, tt = 2.0 * sp->Theta * DegToRad;
  const double t = (j + sp->Delay) * sp->ChanWidth;
  const double lambda = 2.0 * t / std::max(1e-4, TofConstant * sp->FlightPath);
  const double mu = abs1 + abs2 * lambda;
  switch (shape) {
    case 0: return AbsorptionIntegral(mu, th, tt);
    case 1: return PlateAbsorption(mu, th);
    default: return AbsorptionTableLookup(mu, tt);
  }
}

void CorrectForAbsorption(int32_t i, int32_t I1, int32_t I2) {
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) return;
  const int32_t a = std::max(1, I1), b = std::min(MaxChannels, I2);
  std::vector<double> factor(static_cast<size_t>(std::max(0, b - a + 1)));
  double fmin = 1e7, fmax = 0.0;
  for (int32_t j = a; j <= b; ++j) {
    const double f = AbsorptionFactor(j, i, sp->SampleShape, sp->Abs1, sp->Abs2);
    // A factor so small that the corrected count or error overflows is not valid either.
    if (!(std::isfinite(f) && f > 0.0 && std::isfinite(sp->Y[j] / f) && std::isfinite(sp->E[j] / f))) {
      ShowMsg("Error, absorption factor not valid in channel " + Int(j) + ", no correction");
      return;
    }
    factor[static_cast<size_t>(j - a)] = f;
    fmin = std::min(fmin, f);
    fmax = std::max(fmax, f);
  }
  for (int32_t j = a; j <= b; ++j) {
    const double f = factor[static_cast<size_t>(j - a)];
    sp->Y[j] /= f;
    sp->E[j] /= f;
  }
  sp->ComputeYRange();
  sp->AbsorptionCorrectedFlag = 1;
  InputLine = FormatNumber(8, 4, fmin) + ",  " + FormatNumber(8, 4, fmax);
}

bool ComputeAbsorptionCoefficients(const double* Z, double R, double rho, double& abs1, double& abs2) {
  abs1 = abs2 = 0.0;
  const int32_t phases = std::clamp(PhaseCount, 1, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    const LATTICE& ph = PhaseTable[p];
    double m = 0.0, s1 = 0.0, s2 = 0.0;
    for (int32_t k = 1; k <= std::clamp(ph.AtomCount, 0, MaxAtoms); ++k) {
      const ATOM& at = AtomTable[k][p];
      m += at.Occupation * at.Weight;
      // total minus coherent (4 pi b^2, b in 10^-12 cm gives barn): the incoherent part
      s1 += at.Occupation * (at.Absorption1 - 2.0 * TwoPi * at.ScatteringLength * at.ScatteringLength);
      s2 += at.Occupation * at.Absorption2;
    }
    if (!(ph.Volume > 0.0)) {
      ShowMsg("Error, rho=0");
      return false;
    }
    s1 *= Z[p] / ph.Volume;
    s2 *= Z[p] / ph.Volume / 1.7982;        // per angstrom: sigma_abs is tabulated at 1.7982 A
    m *= Z[p] / ph.Volume / 0.602204;       // calculated density, g/cm3
    if (m == 0.0) {
      ShowMsg("Error, rho=0");
      return false;
    }
    abs1 += R * rho * s1 / m;
    abs2 += R * rho * s2 / m;
  }
  abs1 /= phases;
  abs2 /= phases;
  return true;
}

void GetAbsorptionCoefficients() {
  const int32_t phases = std::clamp(PhaseCount, 1, MaxPhases);
  if (NoCrystalInfo != 0) return ShowMsg("No phase information");
  for (int32_t p = 1; p <= phases; ++p)
    if (PhaseTable[p].AtomCount <= 0) return ShowMsg("No atomic information for phase " + Int(p));
  SetHelpLines(AbsorptionHelp);
  DialogCaption = "Calculation of absorption coefficients";
  BeginDialog(1);
  ShowBevel(5, 10, 300, 1, 110);
  PlaceLabel(Form2.Label5, 70, 20, "Enter the data", WhiteColor, TextBackgroundColor);
  DialogEditLabel1 = "Spectrum number =";
  DialogEditText1 = Int(CurrentSpectrum);
  DialogEditLabel2 = "Effective cylinder radius(cm)=";
  DialogEditText2 = "0.4";
  DialogEditLabel3 = "Experimental density (g/cm3) =";
  DialogEditText3 = "3.6799";
  ShowEditFields(10, 220, 45, 3, 80);
  NumberEdit(1, 0, 4), NumberEdit(2), NumberEdit(3);
  ShowBevel(5, 130, 300, 2, 20 * phases + 70);
  PlaceLabel(Form2.Label6, 10, 140, "Enter numbers of formulae", AquaColor, TextBackgroundColor);
  std::vector<std::string> names(static_cast<size_t>(phases));
  std::vector<const char*> labels(static_cast<size_t>(phases));
  std::vector<double> ones(static_cast<size_t>(phases), 1.0);
  for (int32_t p = 1; p <= phases; ++p) {
    names[static_cast<size_t>(p - 1)] = "  For phase " + Int(p);
    labels[static_cast<size_t>(p - 1)] = names[static_cast<size_t>(p - 1)].c_str();
  }
  FillValueColumn(phases, labels.data(), ones.data(), 120, 100);
  ShowNumberGrid(40, 170, phases, 10, 1, phases);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double spectrumNumber = 0, R = 0, rho = 0;
  StrToFloatChecked(Form2.Edit1.text, spectrumNumber);
  StrToFloatChecked(Form2.Edit2.text, R);
  StrToFloatChecked(Form2.Edit3.text, rho);
  double Z[MaxPhases + 1] = {};
  if (DialogOk != 1 || !ReadGridValues(phases, Z)) return;
  if (!(spectrumNumber >= 0.0 && spectrumNumber <= 4.0)) return ShowMsg("Error, spectrum number outside 0..4");
  CurrentSpectrum = RoundHalfEven(spectrumNumber);
  for (int32_t p = 1; p <= phases; ++p)
    if (!(Z[p] > 0.0)) {
      std::string v;
      FormatNumberFit(15, v, Z[p]);
      return ShowMsg("Wrong number of formulae " + v);
    }
  if (!(R > 0.0 && rho > 0.0)) return ShowMsg("Error, rho=0");
  double abs1 = 0, abs2 = 0;
  if (!ComputeAbsorptionCoefficients(Z, R, rho, abs1, abs2)) return;
  if (TSpectrum* sp = SpectrumOrNull(CurrentSpectrum)) sp->Abs1 = abs1, sp->Abs2 = abs2;
  InfoLines.count = 0;
  std::string a = FormatNumber(15, 7, abs1), b = FormatNumber(15, 7, abs2);
  DeleteSpaces(a);
  DeleteSpaces(b);
  for (const std::string& line : {std::string(""), std::string(" Absorption coefficients:"), std::string(""),
                                  "      abs1 = " + a, "      abs2 = " + b})
    AddInfoLine(line);
  BeginDialog(1);
  ShowListBox(20, 40, 270, 120);
  ShowDialogModal();
}
