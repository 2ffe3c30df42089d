// bits.h - a double's IEEE bit pattern, for tests that compare results bit for bit: signed
// zeros and not-a-number payloads told apart, nothing rounded.
#ifndef SURF_TESTS_SUPPORT_BITS_H
#define SURF_TESTS_SUPPORT_BITS_H

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace surf_test {

inline uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

inline double fromBits(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

inline bool sameBits(double a, double b) { return bits(a) == bits(b); }

// Whether two evaluations' results agree: bit for bit. In the sanitizer builds
// (SURF_ANY_NAN_MATCHES) a not-a-number matches any not-a-number: there the instrumentation
// leads clang to order the operands of some sums differently in the plug-in and in the
// reference, and of two not-a-number operands the processor returns the first, so which one
// comes out is the compiler's choice. Every other bit, and where not-a-numbers appear, count.
inline bool sameResult(double a, double b) {
#if defined(SURF_ANY_NAN_MATCHES)
  if (a != a && b != b) return true;
#endif
  return sameBits(a, b);
}

// 0x and the sixteen hexadecimal digits of v's bits, with the value beside them:
// "0x3fe0000000000000 (0.5)".
inline std::string hexBits(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "0x%016" PRIx64 " (%.17g)", bits(v), v);
  return text;
}

}  // namespace surf_test

#endif
