#include "geometry/incidence.h"

#include <cmath>

#include "geometry/units.h"

namespace surf {

double foldAzimuth(double phi) {
  while (phi < 0.0) phi += 360.0;
  while (phi >= 360.0) phi -= 360.0;
  if (phi > 270.0) {
    phi = 360.0 - phi;
  } else if (phi > 180.0) {
    phi = phi - 180.0;
  } else if (phi > 90.0) {
    phi = 180.0 - phi;
  }
  return phi;
}

namespace {

// Normal along +z: the incidence angle comes straight from the ray's transverse length and the
// azimuth from its transverse direction; the sign of ray.z plays no part.
void anglesOnPlusZ(const Vec3 &ray, double &theta, double &phi) {
  if (rarely(isNegligible(ray.x) && isNegligible(ray.y))) {
    theta = 0.0;
    phi = 0.0;
    return;
  }
  // A ray in or next to the surface plane can round to a transverse length above one; it is
  // grazing, so it gets 90 degrees rather than the not-a-number asin would give (which the
  // look-up would place at normal incidence). A not-a-number length fails the test and stays.
  double transverse = squareRoot(ray.y * ray.y + ray.x * ray.x);
  if (rarely(transverse > 1.0)) transverse = 1.0;
  // atan2 goes first: its arguments are there at once, while asin waits for the square root.
  phi = std::atan2(ray.y, ray.x);
  theta = std::asin(transverse);
}

// Any other normal: the azimuth is the unsigned angle, within the surface plane, between the
// global x-axis projected into that plane and the ray's tangential direction.
void anglesOnTiltedNormal(const Vec3 &ray, const Vec3 &normal, double &theta, double &phi) {
  // The vectors come first and the two acos calls after them: the projected x-axis takes two
  // normalisations one after the other, the longest chain of the angles, and written ahead of
  // the calls it runs while they do. (When the incidence turns out negligible, the vectors were
  // formed for nothing; the result is the same.)
  // Orient the normal into the z >= 0 half-space so the projected x-axis does not flip with it.
  Vec3 n = normal;
  if (normal.z < 0.0) n = Vec3{-normal.x, -normal.y, -normal.z};
  const Vec3 e{1.0, 0.0, 0.0};
  Vec3 t;
  cross3(n, e, t);
  normalize3(t);
  Vec3 x;
  cross3(t, n, x);
  normalize3(x);
  Vec3 w;
  cross3(ray, n, w);
  Vec3 a;
  cross3(n, w, a);
  const double tangential = normalize3(a);
  // The azimuth's cosine is formed here too, so that only it, not the two vectors, waits across
  // the first call.
  const double cosPhi = dot3(x, a);
  theta = std::acos(std::fabs(dot3(ray, normal)));
  // A ray along the normal has no plane of incidence: azimuth 0. A ray without a tangential
  // direction gets azimuth 0 too, like a ray along a +z normal, instead of whatever the last
  // bits of the products decided: a ray exactly along the normal whose dot product rounds
  // just below one (or above it, making the incidence not-a-number), a zero ray, or one whose
  // tangential part underflows.
  if (rarely(isNegligible(theta) || tangential == 0.0)) {
    phi = 0.0;
    return;
  }
  phi = std::acos(cosPhi);
}

}  // namespace

IncidenceAngles incidenceAngles(const Vec3 &ray, const Vec3 &normal) {
  double theta;
  double phi;
  if (isNegligible(normal.x) && isNegligible(normal.y) && isOne(normal.z)) {
    anglesOnPlusZ(ray, theta, phi);
  } else {
    anglesOnTiltedNormal(ray, normal, theta, phi);
  }
  phi = phi * kRadToDeg;
  theta = theta * kRadToDeg;
  return IncidenceAngles{theta, foldAzimuth(phi)};
}

}  // namespace surf
