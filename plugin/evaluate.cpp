// The evaluation driver. Every floating-point operation of an evaluation is fixed: its operands,
// their order and grouping, each rounded by itself. Results are compared bit for bit, so:
//   - never regroup or reorder a sum or a product, swap the operands of one (that chooses which
//     not-a-number comes out), turn a division into a reciprocal product, form a constant another
//     way (x * kRadToDeg, never x / kDegToRad) or replace a maths call;
//   - keep the flags of cmake/arithmetic.cmake: -ffp-contract=off (no fused multiply-add),
//     no fast maths, -O2 rather than -O3, SSE2 on 32-bit x86, the FPU control words untouched;
//   - for speed, statements that do not depend on each other may move (a maths call whose
//     arguments are ready may go first), values may share SSE2 lanes, and a shortcut may stand in
//     for the literal computation if a test shows it gives the same bits on every input.
// Check a change with ctest -R 'AgainstTheReference|golden_bits' (the plug-in against the literal
// reference evaluation in tests/reference, and the committed bits in tests/golden), then
// ./test.sh native native-b. docs/exactness.md has the operations, the flags and the reasons.
#include "plugin/evaluate.h"

#include "coating/lookup.h"
#include "geometry/incidence.h"
#include "geometry/units.h"
#include "mueller/mueller.h"
#include "plugin/coating_records.h"

namespace surf {

void *hostPointer = nullptr;

namespace {

// Transmission has no retardance; the value is formed from degrees like every other angle.
constexpr double kTransmissionRetardance = 0.0 * kDegToRad;

// Snaps the record's vector at `index` in place and returns the snapped value.
Vec3 snapInPlace(double *in, int index) {
  double *v = in + index;
  cleanVector(v);
  return Vec3{v[0], v[1], v[2]};
}

}  // namespace

void evaluateCoating(double *in, double *out) {
  out[kOutAuxiliaryValue] = -1.0;

  const Vec3 ray = snapInPlace(in, kInRayDirectionX);
  const Vec3 reference = snapInPlace(in, kInReferenceDirectionX);
  const Vec3 normal = snapInPlace(in, kInSurfaceNormalX);

  out[kOutTransmissionPhase] = 0.0;
  out[kOutReflectionPhase] = 180.0;

  const GridBracket w = findBracket(wavelengthGrid, kWavelengthCount, in[kInWavelength]);
  // The maths calls that need nothing but constants and the snapped record are placed where
  // they cost least. atan2 of the reference direction goes ahead of the angles, so its
  // data-dependent branches settle before much else is under way; orientAxes does not read it
  // when the ray leaves the axes unturned, but skipping the call then would put a branch in
  // front of it and save nothing measurable. The retardances' cos and sin, of constants,
  // follow the angles and fill the wait for their chain of square roots and inverse
  // trigonometric functions.
  const double m = referenceAzimuth(reference);
  const IncidenceAngles angles = incidenceAngles(ray, normal);
  // Both beams' factors are held side by side, lane 0 reflection and lane 1 transmission. The
  // lanes are read one by one: a 16-byte read of two results the maths library stored apart
  // waits until both stores have reached the cache.
  double cd[2], sd[2];
  cosSin(kReflectionRetardance, cd[0], sd[0]);
  cosSin(kTransmissionRetardance, cd[1], sd[1]);
  const GridBracket i = findBracket(incidenceGrid, kIncidenceCount, angles.incidence);
  const GridBracket a = findBracket(azimuthGrid, kAzimuthCount, angles.azimuth);

  double v[kSampleColumns];
  interpolateSample(w.lo, w.frac, i.lo, i.frac, a.lo, a.frac, v);

  out[kOutReflectanceS] = v[kRs];
  out[kOutReflectanceP] = v[kRp];
  out[kOutTransmittanceS] = v[kTs];
  out[kOutTransmittanceP] = v[kTp];
  out[kOutAbsorptanceS] = (1.0 - v[kRs]) - v[kTs];
  out[kOutAbsorptanceP] = (1.0 - v[kRp]) - v[kTp];

  const OrientedAxes axes = orientAxes(ray, m, v[kRAxis], v[kTAxis]);
  double c[2], s[2];
  axisTurn(axes.reflection, c[0], s[0]);
  axisTurn(axes.transmission, c[1], s[1]);
  const DiattenuatorPair beams{Pair{c[0], c[1]},
                               Pair{s[0], s[1]},
                               Pair{v[kREigen1], v[kTEigen1]},
                               Pair{v[kREigen2], v[kTEigen2]},
                               Pair{cd[0], cd[1]},
                               Pair{sd[0], sd[1]}};
  rotatedDiattenuatorMuellers(beams, out + kOutReflectionMueller, out + kOutTransmissionMueller);
}

}  // namespace surf
