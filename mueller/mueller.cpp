#include "mueller/mueller.h"

#include <cmath>
#include <cstring>

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

DiattenuatorElements diattenuatorElements(double e1, double e2, double delta) {
  const double q = (e2 + e1) * 0.5;
  const double p = (e1 - e2) * 0.5;
  const double r = std::sqrt(e2 * e1);
  // Always evaluated, never folded: for delta = pi the matrix holds sin(pi) * r, a tiny
  // non-zero number, as the maths library gives it.
  const double cd = std::cos(delta);
  const double sd = std::sin(delta);
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
  return diattenuatorGrid(diattenuatorElements(e1, e2, delta));
}

namespace {

// Rot(-alpha) * (D * Rot(alpha)) by full matrix products, from c = cos 2alpha, s = sin 2alpha.
Mat4 turnByProducts(double c, double s, const Mat4 &d) {
  Mat4 w = rotationMueller(c, s);
  matMul4(w, d, w);
  matMul4(w, rotationMueller(c, -s), w);
  return w;
}

[[gnu::noinline, gnu::cold]] Mat4 turnByProductsCold(double c, double s,
                                                     const DiattenuatorElements &d) {
  return turnByProducts(c, s, diattenuatorGrid(d));
}

bool allFinite(double a, double b, double c, double d, double e, double f) {
  // A sum is finite only if every term is; an overflow merely sends the caller the long way.
  return std::isfinite(((a + b) + (c + d)) + (e + f));
}

// Element [i][j] of D * Rot(alpha) whose one term t is not a product with a constant zero.
// Each such element's other terms are signed zeros, among them a product of two constants
// that is +0.0, so the full sum is t when t is not zero and +0.0 when it is: exactly t + 0.0.
double withZeroTerms(double t) { return t + 0.0; }

// Element [1][j] or [2][j] of Rot(-alpha) * u, whose terms are 0*u0, k1*u1, k2*u2 and 0*u3.
// The two products with the turn's constant zeros are signed zeros: they cannot change a
// sum that is not zero, and a zero sum takes its sign from all four terms.
double turnedRowElement(double k1, double k2, double u0, double u1, double u2, double u3) {
  const double middle = k1 * u1 + k2 * u2;
  if (middle != 0.0) return middle;
  return (0.0 * u0 + middle) + 0.0 * u3;
}

}  // namespace

Mat4 rotatedDiattenuatorMuellerLiteral(double alphaDegrees, double e1, double e2, double delta) {
  const double alpha2 = (alphaDegrees * 2.0) * kDegToRad;
  const double c = std::cos(alpha2);
  const double s = std::sin(alpha2);
  return turnByProducts(c, s, diattenuatorMueller(e1, e2, delta));
}

// The same bits as the literal products, with the products by the factors' constant zeros and
// ones left out. Exact only when every factor element is finite; a not-a-number axis angle (from
// a not-a-number reference direction) takes the full products.
Mat4 rotatedDiattenuatorMueller(double alphaDegrees, double e1, double e2, double delta) {
  const double alpha2 = (alphaDegrees * 2.0) * kDegToRad;
  const double c = std::cos(alpha2);
  const double s = std::sin(alpha2);
  const DiattenuatorElements d = diattenuatorElements(e1, e2, delta);
  if (!allFinite(d.q, d.p, d.a, d.b, c, s)) return turnByProductsCold(c, s, d);

  // u = D * Rot(alpha): Rot(alpha) holds 1, then c, s over -s, c, then 1 on its diagonal blocks;
  // D holds q, p over p, q and then a, b over nb, a.
  const double ns = -s;  // Rot(alpha)[2][1], and the inverse turn's [1][2]
  const double u[16] = {
      withZeroTerms(d.q), withZeroTerms(d.p * c),   withZeroTerms(d.p * s),   0.0,
      withZeroTerms(d.p), withZeroTerms(d.q * c),   withZeroTerms(d.q * s),   0.0,
      0.0,                withZeroTerms(d.a * ns),  withZeroTerms(d.a * c),   withZeroTerms(d.b),
      0.0,                withZeroTerms(d.nb * ns), withZeroTerms(d.nb * c),  withZeroTerms(d.a),
  };
  // Elements with no term but products with constant zeros are +0.0 for the same reason.

  // w = Rot(-alpha) * u. Rows 0 and 3 of the inverse turn are 1 and zeros, and u never holds
  // -0.0, so they pass rows 0 and 3 of u through unchanged.
  const double inverseS = -ns;  // Rot(-alpha)[2][1] = -(-s)
  Mat4 w;
  for (int j = 0; j < 4; ++j) {
    w.m[0 + j] = u[0 + j];
    w.m[4 + j] = turnedRowElement(c, ns, u[0 + j], u[4 + j], u[8 + j], u[12 + j]);
    w.m[8 + j] = turnedRowElement(inverseS, c, u[0 + j], u[4 + j], u[8 + j], u[12 + j]);
    w.m[12 + j] = u[12 + j];
  }
  return w;
}

OrientedAxes orientAxes(const Vec3 &ray, const Vec3 &reference, double rAxis, double tAxis) {
  const bool xNegligible = isNegligible(ray.x);
  const bool yNegligible = isNegligible(ray.y);
  const double k = ray.y * ray.x;
  // A ray with no transverse part, or one whose x*y product vanishes although neither
  // component does, keeps both axes at the frame's x.
  if ((xNegligible && yNegligible) || (isNegligible(k) && !xNegligible && !yNegligible)) {
    return OrientedAxes{0.0, 0.0};
  }
  const double m = std::atan2(reference.y, reference.x) * kRadToDeg;
  // The sign of x*y tells on which diagonal pair of quadrants the ray's transverse direction
  // lies; on the x*y < 0 pair the folded axis angle is mirrored.
  if (k >= 0.0) {
    return OrientedAxes{rAxis + (90.0 - m), (m + 90.0) - tAxis};
  }
  return OrientedAxes{(90.0 - m) - rAxis, tAxis + (m + 90.0)};
}

}  // namespace surf
