// The tail of the effective spectrum fitted by a constant plus an exponential,
// p1 + p2 exp(-x p3) with x = (j - J0) / (J2 - J0 + 1), by a damped three-parameter
// Gauss-Newton iteration on the numerical library's 3 by 3 block.
#pragma once
#include <cstdint>

struct TTailFit {
  double p[4] = {0, 0, 0, 3.0};  // [1..3]
  double chi2 = 0.0;             // per degree of freedom, max(1, J2 - J0 - 1)
  double norm = 0.0;             // the last step norm
  int32_t J0 = 2, J2 = 2;
  bool singular = false;         // the normal matrix could not be inverted
};

// The model at channel j for the interval J0..J2 and parameters p[1..3]: value and derivatives.
double EffectiveTailModel(int32_t j, int32_t J0, int32_t J2, const double* p, double* d);
// The proposed tail beginning: the first channel from first0 + 250 whose count is below 0.05 of
// the largest; otherwise the last channel that still leaves three channels to fit.
int32_t ProposedTailBeginning();
// Fit start: J0 clamped into 2..last0, J2 = max(working last, last0 - 2); false when fewer than
// three channels remain. p from the data.
bool StartTailFit(int32_t beginning, TTailFit& f);
// Up to n iterations with step s; stops at a norm below 0.001, chi2 above 1e10 or a singular
// matrix (f.singular, the parameters of the last good step kept).
void IterateTailFit(TTailFit& f, int32_t n, double s);
// Spectra 3 (effective minus p1) and 4 (with the fitted tail), the optional replacement of the
// effective spectrum, and NormalizedFlag cleared on spectra 1..4.
void ApplyTailFit(const TTailFit& f, bool replace);
