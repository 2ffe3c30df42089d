// bits.h - a double's IEEE bit pattern, for tests that compare results bit for bit: signed
// zeros and not-a-number payloads told apart, nothing rounded.
#ifndef SURF_TESTS_SUPPORT_BITS_H
#define SURF_TESTS_SUPPORT_BITS_H

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

// The sixteen hexadecimal digits of v's bits, as the results files hold a double.
inline std::string hex16(double v) {
  std::string text(16, '0');
  uint64_t b = bits(v);
  for (int i = 15; i >= 0; --i, b >>= 4) text[i] = "0123456789abcdef"[b & 15];
  return text;
}

// Reads a double written by hex16 at p, after any spaces, and moves p past it.
inline bool readHex16(const char *&p, double &value) {
  while (*p == ' ') ++p;
  uint64_t b = 0;
  for (int i = 0; i < 16; ++i, ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      b = (b << 4) | static_cast<uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      b = (b << 4) | static_cast<uint64_t>(c - 'a' + 10);
    } else {
      return false;
    }
  }
  value = fromBits(b);
  return true;
}

// For messages: 0x, the hexadecimal digits and the value, "0x3fe0000000000000 (0.5)".
inline std::string hexBits(double v) {
  char text[40];
  std::snprintf(text, sizeof text, " (%.17g)", v);
  return "0x" + hex16(v) + text;
}

}  // namespace surf_test

#endif
