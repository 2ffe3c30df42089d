// vec3.h - Vec3 and the few vector operations the incidence geometry needs.
//
// Each operation fixes its order of evaluation: results are compared bit for bit with other
// builds, so the sums below are written exactly as they must be rounded.
#ifndef SURF_GEOMETRY_VEC3_H
#define SURF_GEOMETRY_VEC3_H

#include <cmath>

#include "geometry/units.h"

namespace surf {

struct Vec3 {
  double x, y, z;
};

// (a.y*b.y + a.x*b.x) + a.z*b.z
inline double dot3(const Vec3 &a, const Vec3 &b) { return (a.y * b.y + a.x * b.x) + a.z * b.z; }

// out = a x b; out must not alias a or b.
inline void cross3(const Vec3 &a, const Vec3 &b, Vec3 &out) {
  out.x = b.z * a.y - a.z * b.y;
  out.y = a.z * b.x - a.x * b.z;
  out.z = a.x * b.y - b.x * a.y;
}

// (x*x + y*y) + z*z
inline double normSquared3(const Vec3 &v) { return (v.x * v.x + v.y * v.y) + v.z * v.z; }

// Scales v to unit length in place and returns the squared norm it measured first. A vector
// whose squared norm is not positive (a zero vector, or one whose squares underflow) is left as
// it is instead of being divided by zero.
inline double normalize3(Vec3 &v) {
  const double s = normSquared3(v);
  if (rarely(s <= 0.0)) return s;
  const double r = 1.0 / squareRoot(s);
  v.x *= r;
  v.y *= r;
  v.z *= r;
  return s;
}

}  // namespace surf

#endif
