// mueller.h - 4x4 Mueller matrices of the coating's reflected and transmitted light.
//
// Stokes vectors are ordered (I, Q, U, V); a Mat4 is row-major, element [i][j] at m[4*i + j].
// Each beam is modelled as a linear diattenuator-retarder whose eigen-axis is turned by alpha:
// Rot(-alpha) * D * Rot(alpha).
#ifndef SURF_MUELLER_MUELLER_H
#define SURF_MUELLER_MUELLER_H

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

// The turn of the Stokes frame by an eigen-axis angle alpha: c = cos 2alpha, s = sin 2alpha,
// from alpha in degrees as (alpha*2)*kDegToRad.
struct AxisTurn {
  double c, s;
};
AxisTurn axisTurn(double alphaDegrees);

// cos and sin of a retardance delta (radians), as the maths library gives them.
struct Retardance {
  double cd, sd;
};
Retardance retardance(double delta);

// Rot(-alpha) * D(e1, e2, delta) * Rot(alpha): the matrix of a diattenuator-retarder whose axis
// is turned by alpha, written row by row to out[0..15], from c, s of the axis turn and cd, sd
// of the retardance. Gives the same bits as the literal form below, which multiplies out the
// three full matrices with matMul4, but skips the products with constant zeros. Neither calls
// the maths library but for one square root, so an evaluation can make its cos and sin calls
// as early as their arguments are known.
void rotatedDiattenuatorMueller(double c, double s, double e1, double e2, double cd, double sd,
                                double *out);
void rotatedDiattenuatorMuellerLiteral(double c, double s, double e1, double e2, double cd,
                                       double sd, double *out);

// The same two from alpha in degrees and delta in radians, as Mat4 values.
inline Mat4 rotatedDiattenuatorMueller(double alphaDegrees, double e1, double e2, double delta) {
  const AxisTurn turn = axisTurn(alphaDegrees);
  const Retardance retarder = retardance(delta);
  Mat4 w;
  rotatedDiattenuatorMueller(turn.c, turn.s, e1, e2, retarder.cd, retarder.sd, w.m);
  return w;
}
inline Mat4 rotatedDiattenuatorMuellerLiteral(double alphaDegrees, double e1, double e2,
                                              double delta) {
  const AxisTurn turn = axisTurn(alphaDegrees);
  const Retardance retarder = retardance(delta);
  Mat4 w;
  rotatedDiattenuatorMuellerLiteral(turn.c, turn.s, e1, e2, retarder.cd, retarder.sd, w.m);
  return w;
}

// The two eigen-axis angles turned from the table's folded frame into the host's frame.
struct OrientedAxes {
  double reflection;    // H, degrees
  double transmission;  // G, degrees
};

// The direction, in degrees, of the reference direction's projection on the global x-y plane:
// atan2(y, x). Its z component plays no part.
double referenceAzimuth(const Vec3 &reference);

// Turns rAxis and tAxis (folded frame, degrees) into the host's frame, from the snapped ray
// direction and the reference azimuth m. The surface normal plays no part.
OrientedAxes orientAxes(const Vec3 &ray, double m, double rAxis, double tAxis);

constexpr double kReflectionRetardance = 3.141592653589793;  // pi: the 180 degree phase

}  // namespace surf

#endif
