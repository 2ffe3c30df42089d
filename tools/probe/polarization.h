// polarization.h - what a Mueller matrix of the output record does to polarized light.
//
// Matrices are 16 doubles, row-major (element [i][j] at m[4*i + j]), acting on Stokes vectors
// (I, Q, U, V), exactly as the plug-in writes them. Angles are in degrees, counted in the
// Stokes frame from its x-axis (the direction with Q > 0) towards the +45 degree direction
// (U > 0), and reported in (-90, 90].
#ifndef SURF_PROBE_POLARIZATION_H
#define SURF_PROBE_POLARIZATION_H

#include <array>
#include <utility>

namespace probe {

using Stokes = std::array<double, 4>;

// A Stokes vector as a vector of ordinary size times a power of two, unit * 2^exponent: states
// far below or above the range of ordinary numbers (1e-320, 1e300) keep all their digits
// through the arithmetic, and only the components that are shown are unscaled.
struct ScaledStokes {
  Stokes unit;
  int exponent;
};
// The power of two that brings the largest component of `s` into [0.5, 1) taken out (exact).
ScaledStokes scaledStokes(const Stokes &s);
// unit * 2^exponent, rounded where it falls below the normal range (or beyond the largest double).
Stokes unscaled(const ScaledStokes &s);

// m * s, computed on `s` scaled by a power of two and returned scaled, so no finite state
// overflows or underflows on the way; unscaled, a state of ordinary size gives the bits of the
// plain product.
ScaledStokes applyMueller(const double *m, const Stokes &s);

// True when s could be a real beam: I >= 0 and Q^2 + U^2 + V^2 <= I^2 (with a relative slack
// of kStokesSlack, so states written with rounded digits are accepted).
constexpr double kStokesSlack = 1e-9;
bool isPhysicalStokes(const Stokes &s);

// Degree, orientation and ellipticity come from the state scaled by a power of two (the scaled
// product of applyMueller itself, not its rounded unscaled components), so a state of 1e-320
// is described as the same state of size 1 is, to the bit.
struct PolarizationState {
  double intensity;             // I, unscaled
  double degreeOfPolarization;  // sqrt(Q^2 + U^2 + V^2) / I; a quiet (positive) not-a-number
                                // for a dark beam (I = 0 before unscaling)
  double orientation;           // psi = atan2(U, Q) / 2: major axis of the polarization ellipse
  double ellipticity;           // chi = asin(V / sqrt(Q^2 + U^2 + V^2)) / 2, positive for V > 0;
                                // 0 when the beam has no polarized part
};
PolarizationState describeStokes(const ScaledStokes &s);
PolarizationState describeStokes(const Stokes &s);

// The eigen-axis of a rotated linear diattenuator(-retarder) M = Rot(-alpha) * D * Rot(alpha),
// D = [[q, p, ..], [p, q, ..], ..] with q = (e1 + e2)/2, p = (e1 - e2)/2. Its first row is
// (q, p cos 2alpha, p sin 2alpha, 0), so
//   diattenuation = sqrt(M01^2 + M02^2) / M00 = |e1 - e2| / (e1 + e2),
//   axis          = atan2(M02, M01) / 2,
// the direction of the linear polarization the matrix passes with the greater intensity
// (alpha itself when e1 > e2, alpha +- 90 when e2 > e1). Only the first row is read, so the
// retarder part (and the plug-in's 180 degree reflection phase) does not affect the result.
struct EigenAxis {
  double axis;           // degrees, (-90, 90]; 0 when the matrix does not polarize
  double diattenuation;  // 0..1
};
EigenAxis recoverEigenAxis(const double *m);

// The figures a polarizer's datasheet gives, recovered from the two matrices of a hit as a
// host would recover them. None depends on the frames the matrices are written in.
struct FiguresOfMerit {
  double passTransmittance;   // the most any input state transmits: M00 + |(M01, M02, M03)|
  double blockTransmittance;  // the least: M00 - |(M01, M02, M03)|; for these matrices the
                              // two are the transmission eigen-values
  double extinctionRatio;     // pass / block; infinite when block is 0
  double reflectionContrast;  // the larger over the smaller reflection eigen-value
  double transmittedPolarizationDegree;  // of the transmitted light for unpolarized input:
                                         // |(M10, M20, M30)| / M00
  double reflectedPolarizationDegree;    // the same for the reflected light
};
FiguresOfMerit figuresOfMerit(const double *reflection, const double *transmission);

// The figures under their column names, in the order of the CSV columns.
std::array<std::pair<const char *, double>, 6> meritColumns(const FiguresOfMerit &merit);

// The fully polarized linear state at `angle` degrees with intensity 1: (1, cos 2a, sin 2a, 0).
Stokes linearStokes(double angle);

}  // namespace probe

#endif
