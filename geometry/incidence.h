// incidence.h - from the host's three direction vectors to the table's two angles.
//
// Offers the in-place snapping of an input vector (cleanVector) and the derivation of the angle
// of incidence and the azimuth of the plane of incidence folded into 0..90 degrees.
#ifndef SURF_GEOMETRY_INCIDENCE_H
#define SURF_GEOMETRY_INCIDENCE_H

#include "geometry/units.h"
#include "geometry/vec3.h"

namespace surf {

// Snaps v in place: a component within kEpsilon of +1 zeroes the other two (x, then y, then z
// is tested, each test seeing the earlier changes), then every negligible component becomes
// +0.0. A component near -1 snaps nothing, and the component that is one keeps its value.
// v points at the vector's x, y and z where the input record holds them, and the snapping is
// done right there. Inline, so that the evaluation goes on with the snapped values in
// registers rather than reading back what the snapping stored. A vector with nothing to snap
// (any ray, or a tilted normal) runs straight through; only an axis-aligned one jumps aside.
inline void cleanVector(double *v) {
  const int x = 0, y = 1, z = 2;
  if (rarely(isOne(v[x]))) {
    v[z] = 0.0;
    v[y] = 0.0;
  }
  if (rarely(isOne(v[y]))) {
    v[x] = 0.0;
    v[z] = 0.0;
  }
  if (rarely(isOne(v[z]))) {
    v[y] = 0.0;
    v[x] = 0.0;
  }
  if (rarely(isNegligible(v[x]))) v[x] = 0.0;
  if (rarely(isNegligible(v[y]))) v[y] = 0.0;
  if (rarely(isNegligible(v[z]))) v[z] = 0.0;
}

// The same snapping of a Vec3.
inline void cleanVector(Vec3 &v) {
  double xyz[3] = {v.x, v.y, v.z};
  cleanVector(xyz);
  v = Vec3{xyz[0], xyz[1], xyz[2]};
}

struct IncidenceAngles {
  double incidence;  // degrees, 0..90 for unit vectors; not clamped, may be not-a-number
  double azimuth;    // degrees, folded into 0..90; may be not-a-number
};

// The angles of a ray with direction `ray` at a surface with normal `normal`, both taken as
// they stand (snapped, not renormalised).
IncidenceAngles incidenceAngles(const Vec3 &ray, const Vec3 &normal);

// Brings an azimuth in degrees into [0, 360) and folds it into [0, 90]: phi, 180 - phi,
// 180 + phi and 360 - phi all give the same result. A not-a-number passes through unchanged.
double foldAzimuth(double phi);

}  // namespace surf

#endif
