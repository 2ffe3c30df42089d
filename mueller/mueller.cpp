#include "mueller/mueller.h"

#include <cmath>
#include <cstring>

#include "geometry/units.h"

namespace surf {

void matMul4(Mat4 &out, const Mat4 &l, const Mat4 &r) {
  Mat4 p;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      p.m[4 * i + j] = ((l.m[4 * i + 0] * r.m[0 + j] + l.m[4 * i + 1] * r.m[4 + j]) +
                        l.m[4 * i + 2] * r.m[8 + j]) +
                       l.m[4 * i + 3] * r.m[12 + j];
    }
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

// Diattenuator: q and p are the mean and half-difference of the two intensity eigen-values;
// the retarder part scales (U, V) by the geometric mean r and turns them by delta.
Mat4 diattenuatorMueller(double e1, double e2, double delta) {
  const double q = (e2 + e1) * 0.5;
  const double p = (e1 - e2) * 0.5;
  const double r = std::sqrt(e2 * e1);
  // Always evaluated, never folded: for delta = pi the matrix holds sin(pi) * r, a tiny
  // non-zero number, as the maths library gives it.
  const double cd = std::cos(delta);
  const double sd = std::sin(delta);
  return Mat4{{
        q,   p,        0.0,    0.0,
        p,   q,        0.0,    0.0,
      0.0, 0.0,     cd * r, sd * r,
      0.0, 0.0, -(sd * r), cd * r,
  }};
}

Mat4 rotatedDiattenuatorMueller(double alphaDegrees, double e1, double e2, double delta) {
  const double alpha2 = (alphaDegrees * 2.0) * kDegToRad;
  const double c = std::cos(alpha2);
  const double s = std::sin(alpha2);
  Mat4 w = rotationMueller(c, s);
  matMul4(w, diattenuatorMueller(e1, e2, delta), w);
  matMul4(w, rotationMueller(c, -s), w);
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
