// hit_families.h - families of ray hits that reach every decision of an evaluation, for the
// comparisons that must hold on any input: the plug-in against the literal reference, the
// committed expected bits, and the fuzzer's seeds of special values.
//
// Each family draws one hit from the generator (hit_generator.h); like it, nothing here calls
// the maths library, so a family gives the same hits everywhere.
#ifndef SURF_TESTS_SUPPORT_HIT_FAMILIES_H
#define SURF_TESTS_SUPPORT_HIT_FAMILIES_H

#include <cstdint>
#include <limits>

#include "tests/support/bits.h"
#include "tests/support/hit_generator.h"

namespace surf_test {

// v moved by k units in the last place (k may be negative), through zero into the negative
// numbers as the bits order them: +0 and -0 are one unit from the smallest subnormals.
inline double ulpsAway(double v, int k) {
  if (k == 0) return v;
  const uint64_t b = bits(v), sign = b & 0x8000000000000000ull;
  const int64_t magnitude = static_cast<int64_t>(b & ~0x8000000000000000ull);
  int64_t signedMagnitude = sign ? -magnitude : magnitude;
  signedMagnitude += k;
  if (signedMagnitude >= 0) return fromBits(static_cast<uint64_t>(signedMagnitude));
  return fromBits(0x8000000000000000ull | static_cast<uint64_t>(-signedMagnitude));
}

// Values that sit on the evaluation's decision points: the 1e-12 tolerance from both sides, one
// unit in the last place around 1 and the grid ends, the not-a-numbers (quiet, signalling, with
// payloads, both signs), infinities, subnormals, signed zeros, squares that overflow or vanish,
// and the components of the documented example geometries. The fuzzer's seeds name them by
// index: append, never reorder.
inline const double kSpecialValues[] = {
    0.0, -0.0, 1.0, -1.0,
    ulpsAway(1.0, -1), ulpsAway(1.0, 1), 1.0 - 1e-12, 1.0 + 1e-12,
    1.0 - 0.9e-12, 1.0 + 0.9e-12, 1.0 - 1.1e-12, 1.0 + 1.1e-12, 1.0 - 5e-13, 1.0 + 1e-13,
    1e-12, -1e-12, ulpsAway(1e-12, -1), -ulpsAway(1e-12, -1),
    ulpsAway(1e-12, 1), 1e-13, -1e-13, 3e-13, -4e-13, 1e-11, -1e-11,
    fromBits(0x7FF8000000000000ull), fromBits(0xFFF8000000000000ull),
    fromBits(0x7FF8000000000123ull), fromBits(0x7FF0000000000001ull),
    fromBits(0xFFF4000000000000ull), fromBits(0x7FF7FFFFFFFFFFFFull),
    kInf, -kInf, kDenormMin, -kDenormMin,
    std::numeric_limits<double>::min(), -std::numeric_limits<double>::min(),
    std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
    1e200, -1e200, 1e-200, 1e154, 1e-160, 1e5,
    0.4, 0.7, 0.55, 0.555, 0.553, 0.62, 0.39, 0.71,
    ulpsAway(0.4, -1), ulpsAway(0.4, 1), ulpsAway(0.7, -1), ulpsAway(0.7, 1),
    0.5, -0.5, 0.6, -0.6, 0.8, -0.8, 0.3, -0.3, 0.2, -0.2,
    0.7071067811865476, -0.7071067811865476, ulpsAway(0.7071067811865476, 1),
    0.9327379053088815, 0.5291502622129181, 3e-4, 2e-4, 89.0, 90.0, 45.0,
};
constexpr int kSpecialValueCount = sizeof kSpecialValues / sizeof kSpecialValues[0];

// sin of 0, 5, .., 90 degrees, the grid angles, correctly rounded; the cos of angle k is
// kGridSines[18 - k]. kSin89 (and kCos89) for the incidence grid's last point.
constexpr double kGridSines[19] = {
    0.0, 0.08715574274765818, 0.17364817766693036, 0.25881904510252074, 0.3420201433256687,
    0.42261826174069944, 0.5, 0.573576436351046, 0.6427876096865394, 0.7071067811865476,
    0.766044443118978, 0.8191520442889918, 0.8660254037844386, 0.9063077870366499,
    0.9396926207859084, 0.9659258262890683, 0.984807753012208, 0.9961946980917455, 1.0};
constexpr double kSin89 = 0.9998476951563913;

// The one slot of a hit that the damaging families overwrite: 0 the wavelength, 1-9 the
// components of the ray, the reference direction and the normal.
inline double &slot(Hit &h, int k) {
  if (k == 0) return h.wavelength;
  V3 &v = k <= 3 ? h.ray : k <= 6 ? h.reference : h.normal;
  const int c = (k - 1) % 3;
  return c == 0 ? v.x : c == 1 ? v.y : v.z;
}

namespace families {

inline Hit ordinary(Random &rng) {
  HitShape shape;
  shape.tiltedOneIn = 2;
  shape.downwardOneIn = 3;
  shape.leavingOneIn = 2;
  Hit h = shapedHit(rng, shape);
  if (rng.oneIn(3)) h.reference = rng.direction();
  return h;
}

// Random geometry on a +z normal, rays entering and leaving.
inline Hit plusZ(Random &rng) {
  HitShape shape;
  shape.tiltedOneIn = 0;
  shape.leavingOneIn = 2;
  shape.wavelengthLo = 0.38, shape.wavelengthHi = 0.72;
  Hit h = shapedHit(rng, shape);
  if (rng.oneIn(2)) h.reference = rng.direction();
  return h;
}

// Tilted normals, a third of them into z < 0, rays entering and leaving.
inline Hit tilted(Random &rng) {
  HitShape shape;
  shape.tiltedOneIn = 1;
  shape.tiltCosLo = -1.0;  // any tilt, so some normals point below the surface plane
  shape.downwardOneIn = 3;
  shape.leavingOneIn = 2;
  shape.wavelengthLo = 0.38, shape.wavelengthHi = 0.72;
  return shapedHit(rng, shape);
}

// Any three directions, and normals along an axis.
inline Hit anyDirections(Random &rng) {
  const V3 axes[] = {kPlusX, kPlusY, kPlusZ, -kPlusX, -kPlusY, -kPlusZ};
  Hit h{rng.range(0.40, 0.70), rng.direction(), rng.direction(), rng.direction()};
  if (rng.oneIn(3)) h.normal = rng.pick(axes);
  return h;
}

// Components a few units in the last place from 0, from +-1e-12 and from +-1.
inline Hit nearThresholds(Random &rng) {
  const double centres[] = {0.0, 1e-12, -1e-12, 1.0, -1.0, 1e-12, 1.0};
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(4); n > 0; --n) {
    const int k = 1 + rng.below(9);
    const double centre = rng.pick(centres);
    slot(h, k) = ulpsAway(centre, rng.below(9) - 4);
  }
  if (rng.oneIn(3)) h.normal = V3{ulpsAway(0.0, rng.below(5) - 2), ulpsAway(0.0, rng.below(5) - 2),
                                  ulpsAway(1.0, rng.below(9) - 4)};
  return h;
}

// +0.0 and -0.0 in any component: axis rays and normals with signed zeros.
inline Hit signedZeros(Random &rng) {
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(5); n > 0; --n) {
    const int k = 1 + rng.below(9);
    slot(h, k) = rng.oneIn(2) ? 0.0 : -0.0;
  }
  return h;
}

// Not-a-numbers of either sign, quiet or signalling, with random payloads, in one to three
// slots, the wavelength included.
inline Hit notANumbers(Random &rng) {
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(3); n > 0; --n) {
    const uint64_t payload = rng.next() & 0x0007FFFFFFFFFFFFull;
    uint64_t b = 0x7FF0000000000000ull | (rng.oneIn(2) ? 0x0008000000000000ull : 0) | payload;
    if ((b & 0x000FFFFFFFFFFFFFull) == 0) b |= 1;  // not an infinity
    if (rng.oneIn(2)) b |= 0x8000000000000000ull;
    const int k = rng.below(10);
    slot(h, k) = fromBits(b);
  }
  return h;
}

inline Hit infinities(Random &rng) {
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(2); n > 0; --n) {
    const int k = rng.below(10);
    slot(h, k) = rng.oneIn(2) ? kInf : -kInf;
  }
  return h;
}

inline Hit subnormals(Random &rng) {
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(4); n > 0; --n) {
    const uint64_t mantissa = rng.next() & 0x000FFFFFFFFFFFFFull;
    const double v = fromBits(1 + (mantissa >> rng.below(52)));  // small and large subnormals
    const int k = rng.below(10);
    slot(h, k) = rng.oneIn(2) ? v : -v;
  }
  return h;
}

// Vectors that are not of unit length: scaled a little or a lot, zero, or random components.
inline Hit nonUnitVectors(Random &rng) {
  const double scales[] = {0.0, 1e-200, 1e-3, 0.5, 1 - 0x1p-52, 1 + 0x1p-52, 1 + 1e-9, 2.0,
                           1e3, 1e154, 1e200};
  Hit h = ordinary(rng);
  V3 *vectors[3] = {&h.ray, &h.reference, &h.normal};
  for (V3 *v : vectors) {
    if (rng.oneIn(2)) *v = rng.pick(scales) * *v;
    if (rng.oneIn(4)) *v = V3{rng.range(-3, 3), rng.range(-3, 3), rng.range(-3, 3)};
  }
  return h;
}

// Rays exactly along the normal, against it, or along it with a length a few units in the last
// place off.
inline Hit alongTheNormal(Random &rng) {
  Hit h = ordinary(rng);
  if (rng.oneIn(4)) h.normal = rng.direction();
  h.ray = rng.oneIn(2) ? h.normal : -h.normal;
  if (rng.oneIn(3)) h.ray = ulpsAway(1.0, rng.below(7) - 3) * h.ray;
  return h;
}

// Rays in the surface plane, or a hair away from it, of unit length or a unit or two longer.
inline Hit grazing(Random &rng) {
  Hit h = ordinary(rng);
  const double lift = rng.oneIn(3) ? 0.0 : rng.range(-1e-9, 1e-9);
  h.ray = unit(rng.perpendicularTo(h.normal) + lift * h.normal);
  if (rng.oneIn(2)) h.ray = ulpsAway(1.0, rng.below(5) - 1) * h.ray;
  return h;
}

// Wavelengths, incidence angles and azimuths exactly on grid points or a unit in the last place
// either side, on a +z normal.
inline Hit gridPoints(Random &rng) {
  const int incidence = rng.below(19), azimuth = rng.below(19);
  const double sinI = incidence == 18 ? kSin89 : kGridSines[incidence];
  const double cosI = incidence == 18 ? kCos89 : kGridSines[18 - incidence];
  const double cosA = kGridSines[18 - azimuth], sinA = kGridSines[azimuth];
  Hit h;
  h.wavelength = ulpsAway((40 + rng.below(31)) / 100.0, rng.below(3) - 1);
  const double sx = rng.oneIn(2) ? 1.0 : -1.0, sy = rng.oneIn(2) ? 1.0 : -1.0;
  h.ray = V3{ulpsAway(sx * sinI * cosA, rng.below(3) - 1),
             ulpsAway(sy * sinI * sinA, rng.below(3) - 1), rng.oneIn(2) ? -cosI : cosI};
  h.reference = rng.oneIn(2) ? kPlusX : rng.direction();
  h.normal = kPlusZ;
  return h;
}

// Wavelengths below, above and far outside the table.
inline Hit wavelengthsOutside(Random &rng) {
  const double outside[] = {0.0, -0.0, -1.0, 0.1, 0.39, 0.72, 1.0, 2.5, 1e300, -1e300, kInf, -kInf,
                            kDenormMin};
  Hit h = ordinary(rng);
  h.wavelength = rng.oneIn(2) ? rng.pick(outside)
                              : (rng.oneIn(2) ? rng.range(-0.5, 0.40) : rng.range(0.70, 5.0));
  return h;
}

// Rays, normals and reference directions in the x-z and y-z planes, where the transverse
// product x*y is exactly zero and dot products round onto +-1.
inline Hit coordinatePlanes(Random &rng) {
  Hit h = ordinary(rng);
  h.ray = rng.inPlaneXZ();
  h.normal = rng.oneIn(2) ? rng.inPlaneXZ() : kPlusZ;
  if (rng.oneIn(2)) h.ray = V3{0.0, h.ray.x, h.ray.z};
  if (rng.oneIn(3)) h.normal = V3{0.0, h.normal.x, h.normal.z};
  const V3 references[] = {kPlusX, kPlusY, -kPlusX, rng.direction()};
  h.reference = rng.pick(references);
  return h;
}

// Special values (see kSpecialValues) in any slot.
inline Hit specialValues(Random &rng) {
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(6); n > 0; --n) {
    const int k = rng.below(10);
    slot(h, k) = rng.pick(kSpecialValues);
  }
  return h;
}

// Any bit pattern at all in one to four slots.
inline Hit anyBits(Random &rng) {
  Hit h = ordinary(rng);
  for (int n = 1 + rng.below(4); n > 0; --n) {
    const int k = rng.below(10);
    slot(h, k) = fromBits(rng.next());
  }
  return h;
}

}  // namespace families

struct HitFamily {
  const char *name;
  Hit (*draw)(Random &);
};

inline const HitFamily kHitFamilies[] = {
    {"ordinary", families::ordinary},
    {"plus-z", families::plusZ},
    {"tilted", families::tilted},
    {"any-directions", families::anyDirections},
    {"near-thresholds", families::nearThresholds},
    {"signed-zeros", families::signedZeros},
    {"not-a-numbers", families::notANumbers},
    {"infinities", families::infinities},
    {"subnormals", families::subnormals},
    {"non-unit-vectors", families::nonUnitVectors},
    {"along-the-normal", families::alongTheNormal},
    {"grazing", families::grazing},
    {"grid-points", families::gridPoints},
    {"wavelengths-outside", families::wavelengthsOutside},
    {"coordinate-planes", families::coordinatePlanes},
    {"special-values", families::specialValues},
    {"any-bits", families::anyBits},
};
constexpr int kHitFamilyCount = sizeof kHitFamilies / sizeof kHitFamilies[0];

}  // namespace surf_test

#endif
