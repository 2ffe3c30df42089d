// frames.h - the Stokes frames the plug-in writes its two Mueller matrices in, and the turns
// between them and the hit's s/p basis (plugin/coating_records.h states the convention; the
// README's "Reading the matrices" works an example through).
//
// The hit's s/p basis. Let n be the surface normal turned into the z >= 0 half-space (as the
// plug-in orients it), t the unit direction of the ray's component within the surface,
// s = n x t (perpendicular to the plane of incidence) and p the unit vector perpendicular to
// the ray and to s whose component along t is positive. Angles are counted from s towards p,
// which is clockwise as seen from the side n points to. Stokes components in this basis:
// Q > 0 along s, U > 0 at +45 degrees from s towards p, V > 0 when the field turns from s
// towards p. For a ray travelling against n, (s, p, ray) is right-handed: the usual frame, in
// which angles run counterclockwise for an observer facing the oncoming beam. A ray travelling
// along n gets the mirror image (through the surface) of that frame, as the plug-in treats it as
// the mirror image of such a ray. The reflected beam's basis is (s, p'), the mirror image of
// (s, p) through the surface: p' perpendicular to the reflected ray and to s with a positive
// component along t, so (s, p', reflected ray) has the other handedness than (s, p, ray). In
// it light reflected by a coating fixed in the surface stays fixed in space whatever the
// approach azimuth, a plain mirror is the identity, and the plug-in's 180 degree
// reflectionPhase is the retardance between the strongly and the weakly reflected wave.
//
// The frames of the two matrices, with m the reference direction's azimuth (the angle of its
// projection on the global x-y plane, atan2(y, x), in degrees):
//   reflection matrix    input: the incident s/p basis turned by m from s towards p;
//                        output: the reflected s/p basis turned by m from s towards p'.
//   transmission matrix  input and output: the mirror image of the reflection's input frame,
//                        same x-axis, y-axis reversed (Stokes U and V negated).
// So a state S given in the reflection's input frame (the "incident frame") is reflected as
// R * S and transmitted as T * mirrored(S), the latter in the mirrored frame; mirrored again it
// is in the incident frame. The reference direction fixes no direction in space: it turns both
// frames away from s by m. A ray with no transverse part in the global x-y plane has no s; the
// plug-in then leaves both axes unturned, which is the limit of rays approaching the normal
// from azimuth m + 90 degrees, and its s is taken along the reference direction's projection.
//
// Call from any thread; nothing here keeps state.
#ifndef SURF_PROBE_FRAMES_H
#define SURF_PROBE_FRAMES_H

#include "mueller/mueller.h"
#include "tools/probe/polarization.h"
#include "tools/probe/records.h"

namespace probe {

// The reference direction's azimuth m in degrees, exactly as the plug-in derives it.
double frameTurn(const Vector3 &reference);
double frameTurn(const HitRecord &record);  // from the snapped reference in the record

// The same beam seen in the mirror-image frame: (I, Q, -U, -V).
Stokes mirrored(const Stokes &s);

// The incident s/p basis of a hit as unit vectors in the global frame (see above).
struct SpBasis {
  Vector3 s, p;
};
SpBasis spBasis(const Vector3 &ray, const Vector3 &normal, const Vector3 &reference);

// False for a hit with no plane of incidence, and so no s/p basis: a ray along a tilted normal
// (its part across the normal below 1e-12). The plug-in then reads the table at azimuth 0 and
// turns the axes as for any other ray, from a frame x-axis that no direction in space fixes.
// A ray along a +z normal is not such a hit: it has the limit basis described above.
bool hasSpBasis(const Vector3 &ray, const Vector3 &normal);

// On a tilted normal the plug-in judges from the sign of ray.x * ray.y, in the global frame,
// whether the table's folded axis angles are to be mirrored, while the quadrant of the ray's
// surface part (measured from the global x-axis projected into the surface, as the azimuth is)
// is what calls for it. True when the two disagree: the matrices are then those of the coating
// mirrored about the plane of incidence, and read in the mirrored frames they describe the
// coating itself. Never true on a +z normal, nor when the plug-in leaves the axes unturned.
bool coatingMirrored(const Vector3 &ray, const Vector3 &normal);

// A matrix as the plug-in writes it (16 doubles, row-major), rewritten in the hit's s/p bases
// (input: incident s/p; output: reflected or transmitted s/p), and back. `turn` is m in degrees.
surf::Mat4 reflectionInSpBasis(const double *m, double turn);
surf::Mat4 transmissionInSpBasis(const double *m, double turn);
surf::Mat4 reflectionFromSpBasis(const surf::Mat4 &sp, double turn);
surf::Mat4 transmissionFromSpBasis(const surf::Mat4 &sp, double turn);

// What the two beams make of a state given in the incident frame: the reflected state in the
// reflected frame, the transmitted state in the incident frame (the beam goes straight on).
// Both scaled by a power of two (polarization.h): unscaled to be shown, described as they are.
struct StokesResult {
  ScaledStokes reflected;
  ScaledStokes transmitted;
};
StokesResult applyBoth(const HitRecord &record, const Stokes &incident);

}  // namespace probe

#endif
