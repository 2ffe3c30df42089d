// mueller.h - 4x4 Mueller matrices of the coating's reflected and transmitted light.
//
// Stokes vectors are ordered (I, Q, U, V); a Mat4 is row-major, element [i][j] at m[4*i + j].
// Each beam is modelled as a linear diattenuator-retarder whose eigen-axis is turned by alpha:
// Rot(-alpha) * D * Rot(alpha).
#ifndef SURF_MUELLER_MUELLER_H
#define SURF_MUELLER_MUELLER_H

#include <cmath>

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

// cos and sin of one angle in radians, exactly as std::cos and std::sin give them. With the GNU
// C library that is one sincos call, which reduces the argument once for both and gives the
// bits of the two separate calls on every argument (tests/mueller_test.cpp checks this on
// every implementation the library picks for the processor). Elsewhere (the Windows builds,
// whose runtime's sincos is not shown to match its sin and cos) the two separate calls. Always
// a call, never folded at compile time (-fno-builtin-sincos).
struct CosSin {
  double c, s;
};
inline CosSin cosSin(double radians) {
#if defined(__GLIBC__)
  CosSin r;
  sincos(radians, &r.s, &r.c);
  return r;
#else
  return CosSin{std::cos(radians), std::sin(radians)};
#endif
}

// The turn of the Stokes frame by an eigen-axis angle alpha: c = cos 2alpha, s = sin 2alpha,
// from alpha in degrees as (alpha*2)*kDegToRad.
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

// The same matrices for two beams at once, the first written to firstOut and the second to
// secondOut, with the same bits as the literal form: the products with the factors' constant
// zeros are skipped, and the two beams go through every remaining step side by side. The two
// outputs may be the same only when the two beams are. Nothing here calls the maths library,
// so an evaluation can make its cos and sin calls as early as their arguments are known.
void rotatedDiattenuatorMuellers(const DiattenuatorBeam &first, double *firstOut,
                                 const DiattenuatorBeam &second, double *secondOut);

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
