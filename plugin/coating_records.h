// coating_records.h - everything a host needs to load and call the surf coating plug-in.
//
// The plug-in is a shared library (surf.dll on Windows, surf.so on Linux) with exactly two
// exported C functions, bound by name (and on Windows also by ordinal):
//
//   ordinal 2  fnInitDll          double fnInitDll(void *hostPointer)
//   ordinal 3  fnEvaluateCoating  double fnEvaluateCoating(double *input, void *, void *, void *,
//                                                          double *output)
//
// Call order: load the library, optionally call fnInitDll once, then call fnEvaluateCoating any
// number of times (once per ray hit), then unload. fnEvaluateCoating behaves identically whether
// or not fnInitDll was called.
//
// Both functions use the platform's C calling convention (on 32-bit x86 the caller pops the
// arguments and the double comes back in ST(0)); every argument is one pointer-sized slot.
//
// This header is plain C-compatible C++: constants and typedefs only, no code to link.
#ifndef SURF_PLUGIN_COATING_RECORDS_H
#define SURF_PLUGIN_COATING_RECORDS_H

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------------------------
// CoatingInput: the host's input record, an array of doubles owned by the host.
//
// At least kCoatingInputCount (18) elements must be present; elements beyond index 17 are never
// touched. Element 0 and the three direction vectors are read. The three vectors are "snapped" in
// place during the call: a component within 1e-12 of zero becomes +0.0, and a component within
// 1e-12 of +1 zeroes the other two components of its vector. Everything else is left alone.
// The library never checks or restores the length of these vectors; the angle formulas take
// rayDirection and surfaceNormal to be unit vectors.
// ---------------------------------------------------------------------------------------------
enum CoatingInputIndex {
  kInWavelength = 0,          // micrometres; read only
  // 1-4: host data, neither read nor written
  kInRayDirectionX = 5,       // propagation direction of the ray, global frame; snapped in place
  kInRayDirectionY = 6,
  kInRayDirectionZ = 7,
  // 8-11: host data, neither read nor written
  kInReferenceDirectionX = 12,  // reference direction: only the angle of its projection on the
  kInReferenceDirectionY = 13,  // global x-y plane is used (z is snapped but never otherwise read)
  kInReferenceDirectionZ = 14,
  kInSurfaceNormalX = 15,     // surface normal at the hit; snapped in place
  kInSurfaceNormalY = 16,
  kInSurfaceNormalZ = 17,
  kCoatingInputCount = 18
};

// ---------------------------------------------------------------------------------------------
// CoatingOutput: the host's output record, 41 doubles (328 bytes) owned by the host.
// Every element is written on every call; nothing in it is read.
// Mueller matrices are row-major (element [i][j] at base + 4i + j), Stokes order I, Q, U, V.
// ---------------------------------------------------------------------------------------------
enum CoatingOutputIndex {
  kOutAbsorptanceS = 0,          // (1.0 - reflectanceS) - transmittanceS
  kOutAbsorptanceP = 1,          // (1.0 - reflectanceP) - transmittanceP
  kOutReflectanceS = 2,          // interpolated table column rs
  kOutReflectanceP = 3,          // interpolated table column rp
  kOutTransmittanceS = 4,        // interpolated table column ts
  kOutTransmittanceP = 5,        // interpolated table column tp
  kOutReflectionPhase = 6,       // always 180.0 (degrees): the retardance of the reflection matrix
  kOutTransmissionPhase = 7,     // always 0.0 (degrees): the retardance of the transmission matrix
  kOutAuxiliaryValue = 8,        // always -1.0
  kOutReflectionMueller = 9,     // 9-24: 4x4 Mueller matrix of the reflected light
  kOutTransmissionMueller = 25,  // 25-40: 4x4 Mueller matrix of the transmitted light
  kCoatingOutputCount = 41
};

// ---------------------------------------------------------------------------------------------
// The Stokes frames of the two Mueller matrices.
//
// In short, for a host (R = reflectionMueller, T = transmissionMueller; the terms below):
//   S    the incident beam's Stokes vector in the incident frame: the s/p basis of the hit
//        turned by m = atan2(referenceDirection.y, referenceDirection.x) degrees from s
//        towards p;
//   S_r = R * S                the reflected beam, in the reflected frame (s/p' turned by m);
//   S_t = F * T * F * S        the transmitted beam, in the incident frame,
//        with F = diag(1, 1, -1, -1) (the mirror image of a frame: U and V negated).
//
// The s/p basis of a hit. n: the surface normal, negated if its z is negative. t: the unit
// direction of the ray's component within the surface. s = n x t, perpendicular to the plane of
// incidence. p: the unit vector perpendicular to the ray and to s whose component along t is
// positive. Angles run from s towards p (clockwise seen from the side n points to); Q > 0 is
// light polarized along s, U > 0 along s turned 45 degrees towards p, V > 0 a field turning from
// s towards p. For a ray travelling against n, (s, p, ray) is right-handed, the usual frame
// (angles counterclockwise for an observer facing the oncoming beam). The plug-in treats a ray
// travelling along n as the mirror image, through the surface, of one travelling against it, so
// for such a ray (s, p, ray) is left-handed. The reflected beam has the basis (s, p'), the
// mirror image of (s, p) through the surface: p' perpendicular to the reflected ray and to s
// with a positive component along t, like p, so (s, p', reflected ray) has the other
// handedness than (s, p, ray). In it light reflected by a coating fixed in the surface stays
// fixed in space whatever the approach azimuth (near the normal, unpolarized light comes back
// polarized along the wires from every azimuth), a plain mirror is the identity, and the
// 180 degree reflectionPhase is the retardance between the strongly and the weakly reflected
// wave: a sample with rEigen1 = rEigen2 would reflect as a half-wave plate with its axes along
// rAxis and across it, not as a plain mirror.
//
// Let m = atan2(referenceDirection.y, referenceDirection.x) in degrees.
//   reflectionMueller    takes a Stokes vector in the incident s/p basis turned by m from s
//                        towards p (the "incident frame"), and gives one in the reflected s/p
//                        basis turned by m from s towards p'.
//   transmissionMueller  takes and gives Stokes vectors in the mirror image of the incident
//                        frame: the same x-axis, the y-axis reversed (U and V negated).
// So a beam with Stokes vector S in the incident frame is reflected as reflectionMueller * S and
// transmitted as transmissionMueller * (S0, S1, -S2, -S3), which is (S0', S1', -S2', -S3') in
// the incident frame. Applied to the same S unmirrored, the two matrices would return up to 1.75
// (datasetA) and 1.76 (datasetB) times the incident light. For a ray with
// |ray.x * ray.y| < 1e-12 whose x and y are alike below 1e-12 or alike not (which takes every
// ray within about 1e-6 rad of a +z normal) the frames are the normal-incidence ones below, not
// the ray's s/p basis turned by m. The reference direction fixes no direction in space: it
// turns both frames away from s by m; with a reference direction along +x they are the s/p
// bases. In the s/p bases the matrices are Rot(-b) * D * Rot(b), with b = rAxis + 90
// (reflection, D with the eigen-values rEigen1, rEigen2 and retardance 180) and b = tAxis + 90
// (transmission, tEigen1, tEigen2, retardance 0) for a ray with ray.x * ray.y >= 0, and with b
// negated otherwise: the table's angles are those of its folded quadrant, measured from s
// towards p, and mirrored into the quadrants where x * y < 0. The stronger reflection axis lies
// at rAxis from s, the pass axis at tAxis from p; in every sample they are nearly
// perpendicular, and the two matrices together are passive (reflected + transmitted <= incident
// for every state) except where a hit blends samples on both sides of a label swap (incidence
// above 80 degrees, folded azimuth above 85): there the blended axes disagree and up to about
// 1.2 % more light leaves than arrives.
// The scalars (elements 2-5) and the matrices' s/p rows (reflectanceS against the reflected
// intensity of light polarized along s, and so on) can disagree by up to about 0.038 outside
// those cells, as the table's rs..tp columns and its eigen-values and axes are interpolated
// separately (0.0363 on datasetA, 0.0375 on datasetB, next to the cells at 87 degrees incidence
// and azimuth 85; 0.023 at incidence up to 80).
//
// Normal incidence. A ray with no transverse part (ray.x and ray.y both below 1e-12, or their
// product below 1e-12 while neither is) leaves both axes unturned: the stronger reflection axis
// lies along the frame's y-axis and the pass axis along its x-axis. (The second case also takes
// rays in a band about 1e-12 wide beside the x-z and y-z planes; beside the x-z plane their axes
// are turned by 90 degrees from those of their neighbours.) That is the limit of rays
// approaching the normal from azimuth m + 90 degrees (for a reference direction along +x, in the
// y-z plane; from the x-z plane the axes sit 90 degrees away), and its s lies along the
// reference direction's projection. The scalars at normal incidence are the table's azimuth 0:
// reflectanceS and transmittanceS for light polarized along the global y-axis, P along x.
//
// A ray along a tilted normal (its part across the normal below 1e-12) has no plane of
// incidence and so no s/p basis. The plug-in reads the table at azimuth 0 (and the incidence it
// finds, about 0) and turns that sample's axes as for any other ray (by the sign of
// ray.x * ray.y and by m), but from a frame x-axis that no direction in space fixes: the host
// chooses one, say the limit of a neighbouring ray's.
//
// Tilted normals. The plug-in mirrors the table's angles by the sign of ray.x * ray.y in the
// global frame; the coating calls for the quadrant of t measured from the global x-axis
// projected into the surface. On a +z normal the two agree. On a tilted one they disagree for
// about half of all ray directions, and there the matrices are those of the coating mirrored
// about the plane of incidence: read in the mirrored frames they describe the coating itself.
// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------
// The exports.
// ---------------------------------------------------------------------------------------------

// fnInitDll: stores hostPointer (any value, null included) for the host's own benefit; nothing in
// the library ever reads it. Returns 1.0. May be called at any time; it is a plain pointer-sized
// store, so calling it while another thread evaluates is harmless but the host owns the ordering.
typedef double (*FnInitDll)(void *hostPointer);

// fnEvaluateCoating: evaluates the coating for one ray hit and returns 0.0, always.
//   input   CoatingInput, owned by the host, read and partly rewritten (the snapped vectors);
//   unused1..unused3  never read or written: may hold anything, invalid pointers included;
//   output  CoatingOutput, owned by the host, fully written.
// The two records must not overlap. The library keeps neither pointer after returning. If input
// or output is null the call reads and writes nothing and returns 0.0.
// Thread safety: may run on any number of threads at once for distinct records; two concurrent
// calls on the same input record race on the in-place snapping, which the host must avoid.
// Bad numbers never fail: they yield numbers (possibly not-a-number) in the output.
typedef double (*FnEvaluateCoating)(double *input, void *unused1, void *unused2, void *unused3,
                                    double *output);

#ifdef __cplusplus
}
#endif

#endif
