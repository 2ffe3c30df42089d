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

void rotatedDiattenuatorMuellerLongWay(const DiattenuatorBeam &beam, double *out) {
  rotatedDiattenuatorMuellerLiteral(beam, out);
}

}  // namespace surf
