// The metric of a phase and the geometry of its magnetic moments: the coefficients of 1/d^2
// from the reciprocal cell, the magnetic interaction factor of a reflection, the angles of the
// moment direction with the reciprocal axes, the relative weights of the phases and the
// d-spacing of an identification reflection of the phase-evolution module.
//
// The metric of a phase record multiplies h^2, k^2, l^2, hk, hl, kl:
//   1/d^2 = A h^2 + B k^2 + C l^2 + D hk + E hl + F kl,
//   A = a*^2, B = b*^2, C = c*^2, D = 2 a* b* cos gamma*, E = 2 a* c* cos beta*,
//   F = 2 b* c* cos alpha*.
// The metric records of a phase's parameter block hold the same six in the order h^2, k^2, l^2,
// kl, hl, hk (MetricRecordOrder converts).
// A moment direction (x, y, z) is the vector x a* + y b* + z c*; the lengths and products below
// are those of the reciprocal metric.
#pragma once
#include <array>
#include <cstdint>

// Phase k's squared reciprocal edges, cross terms and metric A..F from its reciprocal cell. For a
// magnetic phase in Rietveld mode a moment direction without positive length shows
// "Mag.moment=0"; the metric is stored all the same.
void PhaseMetric(int32_t k);
// The six coefficients in the other order: phase-record order (hk, hl, kl last) to record order
// (kl, hl, hk last) and back; the exchange is its own inverse.
std::array<double, 6> MetricRecordOrder(const double (&metric)[6]);

// |h| = sqrt(h G* h) of phase k's metric, at least 1e-7.
double HklLength(int32_t k, int32_t h, int32_t kk, int32_t l);
// |m| of the moment direction, at least 1e-7.
double MomentLength(int32_t k, double x, double y, double z);
// h . m in the reciprocal metric.
double HklMomentProduct(int32_t k, int32_t h, int32_t kk, int32_t l, double x, double y, double z);

// The magnetic interaction factor q of reflection (h, kk, l) of phase k: q^2 is the mean over
// the phase's operations of 1 - cos^2 of the angle between the rotated reflection (h R, rounded)
// and the moment direction, which comes from the phase record (fromParameters 0) or from the
// phase's three "Cos Phi" records of FitParameters (fromParameters 1). With withDerivatives,
// dq1..dq3 := the derivatives of q^2 by the three direction components. A phase that is not
// magnetic gives q = 1 and leaves dq1..dq3 as they are.
void MagneticFactor(int32_t k, int32_t fromParameters, int32_t withDerivatives, double& dq1,
                    double& dq2, double& dq3, double& q, int32_t h, int32_t kk, int32_t l);
// The angles (degrees) between phase k's moment direction (as in MagneticFactor) and the
// reciprocal axes a*, b*, c*, into DialogNumbers[1..3]; 90 for a direction of no length.
void MomentAxisAngles(int32_t k, int32_t fromParameters);
// arccos in radians: x outside -1 <= x < 1 is first rounded to an integer, so 1.3 gives 0 and
// 1.6 gives 0 too; |x| <= 1e-4 gives pi/2; the mirror for negative x uses pi as 3.1415925.
double ArcCosRounded(double x);
// Per phase 1..PhaseCount its largest q (magnetic phase) or largest q |F|, relative to the largest
// of them (at least 1e-6), into NumberBuffer[1..PhaseCount].
void RelativePhaseValues();
// The d-spacing of identification reflection r of phase k of the phase-evolution module, from
// the reflection's indices and the reciprocal cell of TrevoPhases[k], into
// TrevoIdentificationD[r][k]. 1/d is held to at least 1e-4.
void SequenceHklDSpacing(int32_t k, int32_t r);
// The same d by the same formula into the record's calculated d, TrevoPhases[k].CalculatedD[r];
// the identification d is left alone.
void SequenceHklInverseDSquared(int32_t k, int32_t r);
