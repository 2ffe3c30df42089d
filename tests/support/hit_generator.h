// hit_generator.h - random ray hits for the tests, the stress tests, the benchmark and the
// Windows cross-check, from one fixed-seed generator.
//
// Nothing here calls the maths library: vectors come from rejection sampling, square roots and
// the four basic operations, all correctly rounded, so a seed gives the same records on every
// platform and compiler (with SSE2 on 32-bit x86), and the Windows build under Wine evaluates
// exactly the records the native build does.
#ifndef SURF_TESTS_SUPPORT_HIT_GENERATOR_H
#define SURF_TESTS_SUPPORT_HIT_GENERATOR_H

#include <cmath>
#include <cstdint>
#include <limits>

#include "plugin/coating_records.h"

namespace surf_test {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kDenormMin = std::numeric_limits<double>::denorm_min();  // 4.9e-324

struct V3 {
  double x, y, z;
};

constexpr V3 kPlusX{1.0, 0.0, 0.0};
constexpr V3 kPlusY{0.0, 1.0, 0.0};
constexpr V3 kPlusZ{0.0, 0.0, 1.0};

inline V3 operator*(double s, V3 v) { return V3{s * v.x, s * v.y, s * v.z}; }
inline V3 operator+(V3 a, V3 b) { return V3{a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 v) { return V3{-v.x, -v.y, -v.z}; }
inline double dot(V3 a, V3 b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }
inline V3 cross(V3 a, V3 b) {
  return V3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// v scaled to unit length; v must not be zero.
inline V3 unit(V3 v) { return (1.0 / std::sqrt(dot(v, v))) * v; }

// splitmix64: small, fast, and the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1), exactly representable.
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  bool oneIn(int n) { return n > 0 && below(n) == 0; }
  template <typename T, int N>
  const T &pick(const T (&values)[N]) {
    return values[below(N)];
  }

  // A unit vector, uniform over the sphere.
  V3 direction() {
    for (;;) {
      const double x = range(-1.0, 1.0), y = range(-1.0, 1.0), z = range(-1.0, 1.0);
      const double s = (x * x + y * y) + z * z;
      if (s > 1.0 || s < 1e-6) continue;
      const double r = 1.0 / std::sqrt(s);
      return V3{x * r, y * r, z * r};
    }
  }
  // A unit vector in the x-z plane.
  V3 inPlaneXZ() {
    for (;;) {
      const double x = range(-1.0, 1.0), z = range(-1.0, 1.0);
      const double s = x * x + z * z;
      if (s > 1.0 || s < 1e-6) continue;
      const double r = 1.0 / std::sqrt(s);
      return V3{x * r, 0.0, z * r};
    }
  }
  // A component close to the snapping thresholds: within a few 1e-12 of 0 or of +-1.
  double nearThreshold() {
    const double offsets[] = {0.0, 4e-13, -4e-13, 9.99e-13, -9.99e-13, 1.001e-12, -1.001e-12,
                              3e-12};
    const double off = offsets[below(8)];
    switch (below(3)) {
      case 0: return off;
      case 1: return 1.0 + off;
      default: return -1.0 + off;
    }
  }
  // A unit vector perpendicular to the unit vector n.
  V3 perpendicularTo(V3 n) {
    for (;;) {
      const V3 d = direction();
      const V3 p = d + (-dot(d, n)) * n;
      if (dot(p, p) > 1e-6) return surf_test::unit(p);
    }
  }
  // A unit vector at an angle theta from the unit vector `axis`, cos theta uniform in
  // [cosLo, cosHi] (so the directions are uniform over that band of the sphere), in a random
  // plane through the axis.
  V3 aroundAxis(V3 axis, double cosLo, double cosHi) {
    const double c = range(cosLo, cosHi);
    return c * axis + std::sqrt(1.0 - c * c) * perpendicularTo(axis);
  }

 private:
  uint64_t state_;
};

// cos of the angles the hit shapes use.
constexpr double kCos10 = 0.984807753012208, kCos50 = 0.6427876096865394,
                 kCos80 = 0.17364817766693036, kCos85 = 0.08715574274765818,
                 kCos89 = 0.01745240643728351;

struct Hit {
  double wavelength;
  V3 ray, reference, normal;
};

// Writes a hit into elements 0, 5-7, 12-14 and 15-17 of an input record; the host's own
// elements are left as they are.
inline void putHit(double *in, const Hit &h) {
  const V3 *vectors[3] = {&h.ray, &h.reference, &h.normal};
  const int at[3] = {kInRayDirectionX, kInReferenceDirectionX, kInSurfaceNormalX};
  in[kInWavelength] = h.wavelength;
  for (int k = 0; k < 3; ++k) {
    in[at[k]] = vectors[k]->x;
    in[at[k] + 1] = vectors[k]->y;
    in[at[k] + 2] = vectors[k]->z;
  }
}

// The kind of hits a host makes, within bounds: a +z normal or one tilted by an angle whose
// cos lies in [tiltCosLo, tiltCosHi]; the ray within the incidence whose cos is incidenceCosLo
// of the normal, arriving at the surface (against the normal); the reference direction
// perpendicular to the ray and the normal (the s direction), or to the ray and the x-axis for
// a ray almost along the normal.
struct HitShape {
  double wavelengthLo = 0.40, wavelengthHi = 0.70;
  int tiltedOneIn = 2;  // 1 in n normals tilted (0: none), the others +z
  double tiltCosLo = kCos80, tiltCosHi = 1.0;
  int downwardOneIn = 0;  // 1 in n tilted normals turned into the z < 0 half-space (0: none)
  double incidenceCosLo = kCos89;
  int leavingOneIn = 0;  // 1 in n rays leave the surface, along the normal (0: none)
};

inline Hit shapedHit(Random &rng, const HitShape &shape) {
  Hit h;
  h.wavelength = rng.range(shape.wavelengthLo, shape.wavelengthHi);
  h.normal = kPlusZ;
  if (rng.oneIn(shape.tiltedOneIn)) {
    h.normal = rng.aroundAxis(kPlusZ, shape.tiltCosLo, shape.tiltCosHi);
    if (rng.oneIn(shape.downwardOneIn)) h.normal = -h.normal;
  }
  h.ray = rng.aroundAxis(h.normal, shape.incidenceCosLo, 1.0);
  if (!rng.oneIn(shape.leavingOneIn)) h.ray = -h.ray;
  V3 s = cross(h.ray, h.normal);
  if (dot(s, s) < 1e-12) s = cross(h.ray, kPlusX);
  h.reference = unit(s);
  return h;
}

}  // namespace surf_test

#endif
