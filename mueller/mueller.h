// mueller.h - 4x4 Mueller matrices of the coating's reflected and transmitted light.
//
// Stokes vectors are ordered (I, Q, U, V); a Mat4 is row-major, element [i][j] at m[4*i + j].
// Each beam is modelled as a linear diattenuator-retarder whose eigen-axis is turned by alpha:
// Rot(-alpha) * D * Rot(alpha).
#ifndef SURF_MUELLER_MUELLER_H
#define SURF_MUELLER_MUELLER_H

#include <cmath>

#include "geometry/pair.h"
#include "geometry/units.h"
#include "geometry/vec3.h"

namespace surf {

struct Mat4 {
  double m[16];
};

// out = l * r, each element summed as ((l0*r0 + l1*r1) + l2*r2) + l3*r3. The product is formed
// in a temporary, so out may be l or r.
void matMul4(Mat4 &out, const Mat4 &l, const Mat4 &r);

// Rotation of the Stokes frame by an angle alpha, given c = cos 2alpha and s = sin 2alpha. The
// inverse turn is rotationMueller(c, -s) with the same c and s.
Mat4 rotationMueller(double c, double s);

// Linear diattenuator-retarder with intensity eigen-values e1, e2 along its axes and retardance
// delta (radians) between them, axis along the frame's x.
Mat4 diattenuatorMueller(double e1, double e2, double delta);

// cos and sin of one angle in radians, exactly as std::cos and std::sin give them, stored to c
// and s. With the GNU C library on x86-64 that is one sincos call, which reduces the argument
// once for both and gives the bits of the two separate calls on every argument
// (tests/mueller_test.cpp checks this on every implementation the library picks for the
// processor). Elsewhere (the Windows builds, whose runtime's sincos is not shown to match its
// sin and cos, and other processors, where nobody has checked) the two separate calls. Always
// a call, never folded at compile time (-fno-builtin-sincos).
inline void cosSin(double radians, double &c, double &s) {
#if defined(__GLIBC__) && defined(__x86_64__)
  sincos(radians, &s, &c);
#else
  c = std::cos(radians);
  s = std::sin(radians);
#endif
}
struct CosSin {
  double c, s;
};
inline CosSin cosSin(double radians) {
  CosSin r;
  cosSin(radians, r.c, r.s);
  return r;
}

// The turn of the Stokes frame by an eigen-axis angle alpha: c = cos 2alpha, s = sin 2alpha,
// from alpha in degrees as (alpha*2)*kDegToRad.
inline void axisTurn(double alphaDegrees, double &c, double &s) {
  cosSin((alphaDegrees * 2.0) * kDegToRad, c, s);
}
typedef CosSin AxisTurn;
inline AxisTurn axisTurn(double alphaDegrees) { return cosSin((alphaDegrees * 2.0) * kDegToRad); }

// cos and sin of a retardance delta (radians), as the maths library gives them.
struct Retardance {
  double cd, sd;
};
// Always evaluated, never folded: for delta = pi the matrix holds sin(pi) * r, a tiny non-zero
// number, as the maths library gives it.
inline Retardance retardance(double delta) {
  const CosSin cs = cosSin(delta);
  return Retardance{cs.c, cs.s};
}

// One beam's diattenuator-retarder, ready to be multiplied out: its axis turn, its two intensity
// eigen-values and the cos and sin of its retardance.
struct DiattenuatorBeam {
  double c, s;    // cos 2alpha, sin 2alpha
  double e1, e2;  // the intensity eigen-values
  double cd, sd;  // cos delta, sin delta
};

// Rot(-alpha) * D(e1, e2, delta) * Rot(alpha): the matrix of a diattenuator-retarder whose axis
// is turned by alpha, written row by row to out[0..15]. The literal form multiplies out the
// three full matrices with matMul4.
void rotatedDiattenuatorMuellerLiteral(const DiattenuatorBeam &beam, double *out);

// The literal form out of the way of the straight path, for the rare beams the shortcut below
// does not cover.
[[gnu::noinline, gnu::cold]] void rotatedDiattenuatorMuellerLongWay(const DiattenuatorBeam &beam,
                                                                    double *out);

// Two beams' factors side by side: lane 0 of each Pair the first beam's, lane 1 the second's.
struct DiattenuatorPair {
  Pair c, s;    // cos 2alpha, sin 2alpha
  Pair e1, e2;  // the intensity eigen-values
  Pair cd, sd;  // cos delta, sin delta
};

inline DiattenuatorBeam beamInLane(const DiattenuatorPair &f, int lane) {
  return DiattenuatorBeam{f.c[lane], f.s[lane], f.e1[lane], f.e2[lane], f.cd[lane], f.sd[lane]};
}

namespace mueller_detail {

// An element of a product whose one possibly non-zero term is t, all its other terms being
// signed zeros among which at least one is +0.0: a sum of zeros is -0.0 only when every one of
// them is, so the full sum is t when t is not zero and +0.0 when it is, which is exactly t + 0.0.
inline Pair withZeroTerms(Pair t) { return t + 0.0; }

// Element k of both matrices: lane 0 to the first, lane 1 to the second.
inline void store(double *firstOut, double *secondOut, int k, Pair v) {
  firstOut[k] = v[0];
  secondOut[k] = v[1];
}

}  // namespace mueller_detail

// The matrices of two beams at once, the first written to firstOut and the second to
// secondOut, with the same bits as the literal form: the products with the factors' constant
// zeros are skipped, and the two beams go through every remaining step side by side. The two
// outputs may be the same only when the two beams are. Nothing here calls the maths library,
// so an evaluation can make its cos and sin calls as early as their arguments are known.
// Inline, so that the evaluation hands over its factors in registers.
//
// Every step below is the scalar computation of one matrix, in each lane. Exact for every beam
// whose factor elements are finite and whose c and s lie within [-1, 1], as cos and sin give
// them: then no product of u's can overflow, so every product with a constant zero is a signed
// zero. Any other beam (a not-a-number axis angle from a not-a-number reference direction, an
// infinite eigen-value) is overwritten by the full products.
inline void rotatedDiattenuatorMuellers(const DiattenuatorPair &f, double *firstOut,
                                        double *secondOut) {
  using mueller_detail::store;
  using mueller_detail::withZeroTerms;
  const Pair c = f.c, s = f.s, e1 = f.e1, e2 = f.e2, cd = f.cd, sd = f.sd;

  // D, as diattenuatorMueller forms it: q, p over p, q, then a, b over nb, a.
  const Pair q = (e2 + e1) * 0.5;
  const Pair p = (e1 - e2) * 0.5;
  const Pair r = squareRoots(e2 * e1);
  const Pair a = cd * r, b = sd * r, nb = -(sd * r);
  const Pair ns = -s;  // Rot(alpha)[2][1], and the inverse turn's [1][2]

  // u = D * Rot(alpha), Rot(alpha) holding 1, then c, s over -s, c, then 1. Every element of u
  // has at most one term that is not a product with a constant zero, and a product of two
  // constant zeros, +0.0, among the rest: withZeroTerms. Those without any such term, u[0][3],
  // u[1][3], u[2][0] and u[3][0], are +0.0, so u never holds -0.0.
  const Pair u01 = withZeroTerms(p * c), u02 = withZeroTerms(p * s);
  const Pair u10 = withZeroTerms(p), u11 = withZeroTerms(q * c), u12 = withZeroTerms(q * s);
  const Pair u21 = withZeroTerms(a * ns), u22 = withZeroTerms(a * c), u23 = withZeroTerms(b);
  const Pair u31 = withZeroTerms(nb * ns), u32 = withZeroTerms(nb * c);

  // w = Rot(-alpha) * u. Row 1 of the inverse turn is 0, c, -s, 0 and row 2 is 0, s, c, 0
  // (-(-s) is s, bit for bit), so w[1][j] = ((0*u0j + c*u1j) + ns*u2j) + 0*u3j and likewise
  // row 2. In columns 1 and 2 those are summed as they stand: both middle terms may be
  // non-zero, and when their sum is zero its sign depends on all four terms. In columns 0 and 3
  // one middle factor is u's +0.0 and so is the factor of 0*u30 or 0*u03: withZeroTerms. Rows 0
  // and 3 of the inverse turn are 1 and zeros, and u never holds -0.0, so they pass rows 0 and
  // 3 of u through unchanged.
  const Pair zero = broadcast(0.0);
  store(firstOut, secondOut, 0, withZeroTerms(q));
  store(firstOut, secondOut, 1, u01);
  store(firstOut, secondOut, 2, u02);
  store(firstOut, secondOut, 3, zero);
  store(firstOut, secondOut, 4, withZeroTerms(c * u10));
  store(firstOut, secondOut, 5, ((0.0 * u01 + c * u11) + ns * u21) + 0.0 * u31);
  store(firstOut, secondOut, 6, ((0.0 * u02 + c * u12) + ns * u22) + 0.0 * u32);
  store(firstOut, secondOut, 7, withZeroTerms(ns * u23));
  store(firstOut, secondOut, 8, withZeroTerms(s * u10));
  store(firstOut, secondOut, 9, ((0.0 * u01 + s * u11) + c * u21) + 0.0 * u31);
  store(firstOut, secondOut, 10, ((0.0 * u02 + s * u12) + c * u22) + 0.0 * u32);
  store(firstOut, secondOut, 11, withZeroTerms(c * u23));
  store(firstOut, secondOut, 12, zero);
  store(firstOut, secondOut, 13, u31);
  store(firstOut, secondOut, 14, u32);
  store(firstOut, secondOut, 15, withZeroTerms(a));

  // A sum is finite only if every term is (an overflow merely sends the beam the long way), and
  // x - x is not zero only for an infinite or not-a-number x. |c| and |s| above 1 cannot come
  // from cos and sin, but a caller could pass them.
  const Pair factors = ((q + p) + (a + b)) + (c + s);
  const Pair one = broadcast(1.0);
  const auto longWay = (factors - factors != zero) | (c > one) | (-c > one) | (s > one) |
                       (ns > one);
  if (rarely(longWay[0])) rotatedDiattenuatorMuellerLongWay(beamInLane(f, 0), firstOut);
  if (rarely(longWay[1])) rotatedDiattenuatorMuellerLongWay(beamInLane(f, 1), secondOut);
}

// The same for two beams given one by one.
inline void rotatedDiattenuatorMuellers(const DiattenuatorBeam &first, double *firstOut,
                                        const DiattenuatorBeam &second, double *secondOut) {
  const DiattenuatorPair f{Pair{first.c, second.c},   Pair{first.s, second.s},
                           Pair{first.e1, second.e1}, Pair{first.e2, second.e2},
                           Pair{first.cd, second.cd}, Pair{first.sd, second.sd}};
  rotatedDiattenuatorMuellers(f, firstOut, secondOut);
}

// One beam's matrix, by either form, from alpha in degrees and delta in radians.
inline DiattenuatorBeam diattenuatorBeam(double alphaDegrees, double e1, double e2, double delta) {
  const AxisTurn turn = axisTurn(alphaDegrees);
  const Retardance retarder = retardance(delta);
  return DiattenuatorBeam{turn.c, turn.s, e1, e2, retarder.cd, retarder.sd};
}
inline Mat4 rotatedDiattenuatorMueller(double alphaDegrees, double e1, double e2, double delta) {
  const DiattenuatorBeam beam = diattenuatorBeam(alphaDegrees, e1, e2, delta);
  Mat4 w;
  rotatedDiattenuatorMuellers(beam, w.m, beam, w.m);
  return w;
}
inline Mat4 rotatedDiattenuatorMuellerLiteral(double alphaDegrees, double e1, double e2,
                                              double delta) {
  Mat4 w;
  rotatedDiattenuatorMuellerLiteral(diattenuatorBeam(alphaDegrees, e1, e2, delta), w.m);
  return w;
}

// The two eigen-axis angles turned from the table's folded frame into the host's frame.
struct OrientedAxes {
  double reflection;    // H, degrees
  double transmission;  // G, degrees
};

// The direction, in degrees, of the reference direction's projection on the global x-y plane:
// atan2(y, x). Its z component plays no part.
inline double referenceAzimuth(const Vec3 &reference) {
  return std::atan2(reference.y, reference.x) * kRadToDeg;
}

// Turns rAxis and tAxis (folded frame, degrees) into the host's frame, from the snapped ray
// direction and the reference azimuth m. The surface normal plays no part.
inline OrientedAxes orientAxes(const Vec3 &ray, double m, double rAxis, double tAxis) {
  const double k = ray.y * ray.x;
  // A ray with no transverse part, or one whose x*y product vanishes although neither
  // component does, keeps both axes at the frame's x. Both make x*y negligible (two negligible
  // components have a product below kEpsilon squared), so that one test settles nearly every
  // call, and the two cases are those in which x and y are alike negligible or alike not.
  if (rarely(isNegligible(k)) && isNegligible(ray.x) == isNegligible(ray.y)) {
    return OrientedAxes{0.0, 0.0};
  }
  // The sign of x*y tells on which diagonal pair of quadrants the ray's transverse direction
  // lies; on the x*y < 0 pair the folded axis angle is mirrored.
  if (k >= 0.0) {
    return OrientedAxes{rAxis + (90.0 - m), (m + 90.0) - tAxis};
  }
  return OrientedAxes{(90.0 - m) - rAxis, tAxis + (m + 90.0)};
}

constexpr double kReflectionRetardance = 3.141592653589793;  // pi: the 180 degree phase

}  // namespace surf

#endif
