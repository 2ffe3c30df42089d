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
