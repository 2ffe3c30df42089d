#include "mueller/mueller.h"

#include <cmath>
#include <cstring>

#include "geometry/pair.h"
#include "geometry/units.h"

namespace surf {

namespace {

// Element [i][j] of l*r, summed in the order the product is defined with.
double productElement(const Mat4 &l, const Mat4 &r, int i, int j) {
  return ((l.m[4 * i + 0] * r.m[0 + j] + l.m[4 * i + 1] * r.m[4 + j]) +
          l.m[4 * i + 2] * r.m[8 + j]) +
         l.m[4 * i + 3] * r.m[12 + j];
}

}  // namespace

void matMul4(Mat4 &out, const Mat4 &l, const Mat4 &r) {
  Mat4 p;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) p.m[4 * i + j] = productElement(l, r, i, j);
  }
  std::memcpy(out.m, p.m, sizeof p.m);
}

// Rotation of the linear-polarization components (Q, U) by 2*alpha; I and V are unchanged.
Mat4 rotationMueller(double c, double s) {
  return Mat4{{
      1.0, 0.0, 0.0, 0.0,
      0.0,   c,   s, 0.0,
      0.0,  -s,   c, 0.0,
      0.0, 0.0, 0.0, 1.0,
  }};
}

namespace {

// The elements of a diattenuator-retarder matrix that are not constant zeros.
struct DiattenuatorElements {
  double q;   // mean of the two intensity eigen-values
  double p;   // half their difference
  double a;   // cos(delta) * r, r the geometric mean
  double b;   // sin(delta) * r
  double nb;  // -(sin(delta) * r)
};

DiattenuatorElements diattenuatorElements(double e1, double e2, double cd, double sd) {
  const double q = (e2 + e1) * 0.5;
  const double p = (e1 - e2) * 0.5;
  const double r = squareRoot(e2 * e1);
  return DiattenuatorElements{q, p, cd * r, sd * r, -(sd * r)};
}

Mat4 diattenuatorGrid(const DiattenuatorElements &d) {
  return Mat4{{
      d.q, d.p, 0.0,  0.0,
      d.p, d.q, 0.0,  0.0,
      0.0, 0.0, d.a,  d.b,
      0.0, 0.0, d.nb, d.a,
  }};
}

}  // namespace

// Diattenuator: q and p are the mean and half-difference of the two intensity eigen-values;
// the retarder part scales (U, V) by the geometric mean r and turns them by delta.
Mat4 diattenuatorMueller(double e1, double e2, double delta) {
  const Retardance retarder = retardance(delta);
  return diattenuatorGrid(diattenuatorElements(e1, e2, retarder.cd, retarder.sd));
}

namespace {

void storeMat4(double *out, const Mat4 &m) { std::memcpy(out, m.m, sizeof m.m); }

// Rot(-alpha) * (D * Rot(alpha)) by full matrix products.
void turnByProducts(double c, double s, const Mat4 &d, double *out) {
  Mat4 w = rotationMueller(c, s);
  matMul4(w, d, w);
  matMul4(w, rotationMueller(c, -s), w);
  storeMat4(out, w);
}

}  // namespace

void rotatedDiattenuatorMuellerLiteral(const DiattenuatorBeam &beam, double *out) {
  turnByProducts(beam.c, beam.s,
                 diattenuatorGrid(diattenuatorElements(beam.e1, beam.e2, beam.cd, beam.sd)), out);
}

namespace {

[[gnu::noinline, gnu::cold]] void turnByProductsCold(const DiattenuatorBeam &beam, double *out) {
  rotatedDiattenuatorMuellerLiteral(beam, out);
}

// An element of a product whose one possibly non-zero term is t, all its other terms being
// signed zeros among which at least one is +0.0: a sum of zeros is -0.0 only when every one of
// them is, so the full sum is t when t is not zero and +0.0 when it is, which is exactly t + 0.0.
inline Pair withZeroTerms(Pair t) { return t + 0.0; }

// Element k of both matrices: lane 0 to the first, lane 1 to the second.
inline void store(double *firstOut, double *secondOut, int k, Pair v) {
  firstOut[k] = v[0];
  secondOut[k] = v[1];
}

}  // namespace

// Every step below is the scalar computation of one matrix; each Pair holds it for the first
// beam in lane 0 and for the second in lane 1. Exact for every beam whose factor elements are
// finite and whose c and s lie within [-1, 1], as cos and sin give them: then no product of
// u's can overflow, so every product with a constant zero is a signed zero. Any other beam (a
// not-a-number axis angle from a not-a-number reference direction, an infinite eigen-value)
// is overwritten by the full products.
void rotatedDiattenuatorMuellers(const DiattenuatorBeam &first, double *firstOut,
                                 const DiattenuatorBeam &second, double *secondOut) {
  const Pair c = {first.c, second.c}, s = {first.s, second.s};
  const Pair e1 = {first.e1, second.e1}, e2 = {first.e2, second.e2};
  const Pair cd = {first.cd, second.cd}, sd = {first.sd, second.sd};

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
  if (longWay[0]) turnByProductsCold(first, firstOut);
  if (longWay[1]) turnByProductsCold(second, secondOut);
}

}  // namespace surf
