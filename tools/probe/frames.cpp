#include "tools/probe/frames.h"

#include <cmath>

#include "geometry/units.h"
#include "tools/probe/host.h"

namespace probe {

namespace {

using surf::Mat4;

// Rot(alpha) of the Stokes frame: the frame's x-axis turned by alpha (degrees) in the frame's
// own counting sense, so a state's angle in the turned frame is alpha less.
Mat4 turnOfFrame(double alpha) {
  const double twice = 2.0 * alpha * surf::kDegToRad;
  return surf::rotationMueller(std::cos(twice), std::sin(twice));
}

// The mirror image of the frame: the y-axis reversed, U and V negated.
Mat4 mirrorOfFrame() {
  Mat4 m{};
  m.m[0] = 1.0;
  m.m[5] = 1.0;
  m.m[10] = -1.0;
  m.m[15] = -1.0;
  return m;
}

Mat4 product(const Mat4 &a, const Mat4 &b) {
  Mat4 out;
  surf::matMul4(out, a, b);
  return out;
}

Mat4 fromArray(const double *m) {
  Mat4 out;
  for (int i = 0; i < 16; ++i) out.m[i] = m[i];
  return out;
}

// Stokes vectors in the incident s/p basis become vectors in the reflection's frame by
// Rot(m), in the transmission's frame by Rot(-m) * Mirror (mirrored, the x-axis then turned by
// m towards p, which is -m in the mirrored frame's own sense).
Mat4 intoReflectionFrame(double turn) { return turnOfFrame(turn); }
Mat4 outOfReflectionFrame(double turn) { return turnOfFrame(-turn); }
Mat4 intoTransmissionFrame(double turn) { return product(turnOfFrame(-turn), mirrorOfFrame()); }
Mat4 outOfTransmissionFrame(double turn) { return product(mirrorOfFrame(), turnOfFrame(turn)); }

surf::Vec3 unit(surf::Vec3 v) {
  surf::normalize3(v);
  return v;
}

surf::Vec3 cross(const surf::Vec3 &a, const surf::Vec3 &b) {
  surf::Vec3 out;
  surf::cross3(a, b, out);
  return out;
}

}  // namespace

double frameTurn(const Vector3 &reference) { return surf::referenceAzimuth(reference); }

double frameTurn(const HitRecord &record) {
  return frameTurn(recordVector(record.input, kInReferenceDirectionX));
}

Stokes mirrored(const Stokes &s) { return Stokes{s[0], s[1], -s[2], -s[3]}; }

namespace {

// The plug-in's test for rays whose axes it leaves unturned.
bool axesUnturned(const Vector3 &ray) {
  const bool xNegligible = surf::isNegligible(ray.x), yNegligible = surf::isNegligible(ray.y);
  return (xNegligible && yNegligible) ||
         (surf::isNegligible(ray.x * ray.y) && !xNegligible && !yNegligible);
}

surf::Vec3 orientedNormal(const Vector3 &normal) {
  const surf::Vec3 n = unit(normal);
  return n.z < 0.0 ? surf::Vec3{-n.x, -n.y, -n.z} : n;
}

// v less its component along the unit vector n.
surf::Vec3 withinSurface(const surf::Vec3 &v, const surf::Vec3 &n) {
  const double d = surf::dot3(v, n);
  return surf::Vec3{v.x - d * n.x, v.y - d * n.y, v.z - d * n.z};
}

}  // namespace

bool coatingMirrored(const Vector3 &ray, const Vector3 &normal) {
  if (axesUnturned(ray)) return false;
  const surf::Vec3 n = orientedNormal(normal);
  const surf::Vec3 x = withinSurface(surf::Vec3{1.0, 0.0, 0.0}, n);
  if (surf::normSquared3(x) == 0.0) return false;
  const surf::Vec3 xs = unit(x), ys = cross(n, xs), t = withinSurface(ray, n);
  const bool surfaceMirrors = surf::dot3(t, xs) * surf::dot3(t, ys) < 0.0;
  const bool pluginMirrors = ray.y * ray.x < 0.0;
  return surfaceMirrors != pluginMirrors;
}

bool hasSpBasis(const Vector3 &ray, const Vector3 &normal) {
  if (axesUnturned(ray)) return true;
  return !surf::isNegligible(std::sqrt(surf::normSquared3(cross(ray, orientedNormal(normal)))));
}

SpBasis spBasis(const Vector3 &ray, const Vector3 &normal, const Vector3 &reference) {
  const surf::Vec3 n = orientedNormal(normal);
  // The plug-in leaves the axes unturned when the ray has no transverse part in the global
  // x-y plane; the limit it then gives has s along the reference direction's projection.
  if (axesUnturned(ray)) {
    const double m = frameTurn(reference) * surf::kDegToRad;
    const surf::Vec3 s = unit(withinSurface(surf::Vec3{std::cos(m), std::sin(m), 0.0}, n));
    // p turns from s clockwise as seen from n, as t does from n x t.
    return SpBasis{s, unit(cross(s, n))};
  }
  const surf::Vec3 t = unit(withinSurface(ray, n));
  const surf::Vec3 s = unit(cross(n, t));
  surf::Vec3 p = unit(cross(ray, s));
  if (surf::dot3(p, t) < 0.0) p = surf::Vec3{-p.x, -p.y, -p.z};
  return SpBasis{s, p};
}

Mat4 reflectionInSpBasis(const double *m, double turn) {
  return product(outOfReflectionFrame(turn), product(fromArray(m), intoReflectionFrame(turn)));
}

Mat4 transmissionInSpBasis(const double *m, double turn) {
  return product(outOfTransmissionFrame(turn),
                 product(fromArray(m), intoTransmissionFrame(turn)));
}

Mat4 reflectionFromSpBasis(const Mat4 &sp, double turn) {
  return product(intoReflectionFrame(turn), product(sp, outOfReflectionFrame(turn)));
}

Mat4 transmissionFromSpBasis(const Mat4 &sp, double turn) {
  return product(intoTransmissionFrame(turn), product(sp, outOfTransmissionFrame(turn)));
}

StokesResult applyBoth(const HitRecord &record, const Stokes &incident) {
  ScaledStokes transmitted = applyMueller(transmissionMueller(record), mirrored(incident));
  transmitted.unit = mirrored(transmitted.unit);
  return StokesResult{applyMueller(reflectionMueller(record), incident), transmitted};
}

}  // namespace probe
