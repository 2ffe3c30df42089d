// pair.h - two doubles computed side by side.
//
// Each lane of a Pair does exactly the scalar arithmetic of its own value (SSE2 on x86, which
// rounds every operation by itself like the scalar code), so a computation done on pairs gives
// the same bits as done one value at a time, in about half the instructions.
#ifndef SURF_GEOMETRY_PAIR_H
#define SURF_GEOMETRY_PAIR_H

#include <cstring>

#include "geometry/units.h"

namespace surf {

typedef double Pair __attribute__((vector_size(16)));

// Pairs stay inside inlined functions and are never passed between objects built apart, so
// the note about the 32-bit calling convention for vector values does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

inline Pair loadPair(const double *p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline Pair broadcast(double v) { return Pair{v, v}; }

// The correctly rounded square root of each lane, as squareRoot gives it.
inline Pair squareRoots(Pair v) {
#if defined(__SSE2__)
  return _mm_sqrt_pd(v);
#else
  return Pair{squareRoot(v[0]), squareRoot(v[1])};
#endif
}

#pragma GCC diagnostic pop

}  // namespace surf

#endif
