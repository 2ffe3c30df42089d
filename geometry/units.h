// units.h - the units and the one tolerance shared by every stage of an evaluation.
//
// Angles are kept in degrees everywhere except immediately around the trigonometric functions.
#ifndef SURF_GEOMETRY_UNITS_H
#define SURF_GEOMETRY_UNITS_H

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace surf {

constexpr double kRadToDeg = 57.29577951308232;
constexpr double kDegToRad = 0.017453292519943295;

// The one tolerance of the system: a value is negligible when its magnitude is below it and
// counts as one when it lies within it of 1.0. Both tests are strict and, following IEEE
// comparison rules, false for a not-a-number.
constexpr double kEpsilon = 1e-12;

inline bool isNegligible(double v) { return std::fabs(v) < kEpsilon; }
inline bool isOne(double v) { return std::fabs(v - 1.0) < kEpsilon; }

// Marks a condition that almost never holds in an evaluation, so that the compiler lays out
// the code for it away from the straight path: each jump taken on that path costs the
// processor's instruction fetch a cycle or two, and an evaluation is short enough for that
// to show. The result is the condition itself.
inline bool rarely(bool condition) { return __builtin_expect(condition, false); }

// The correctly rounded square root, as std::sqrt gives it, straight from the SSE2 instruction:
// without the library's error-number path for a negative argument, which makes the compiler
// keep every live value safe across a call that almost never happens.
inline double squareRoot(double v) {
#if defined(__SSE2__)
  return _mm_cvtsd_f64(_mm_sqrt_sd(_mm_set_sd(v), _mm_set_sd(v)));
#else
  return std::sqrt(v);
#endif
}

}  // namespace surf

#endif
