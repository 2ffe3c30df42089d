// fuzz_input.h - how the evaluation fuzzer turns a byte string into one call of
// fnEvaluateCoating, and the encoder that writes seed inputs in the same format.
//
// The format is read front to back; a string that runs out reads as zero bytes, so every byte
// string is a valid input and a short one is a short description:
//
//   byte 0         call flags: (b & 31) == 1 input null, == 2 output null, == 3 both null;
//                  b >> 5 picks the junk passed in the three unused pointer arguments
//   value          wavelength                       (element 0)
//   vector         rayDirection                     (elements 5-7)
//   vector         referenceDirection               (elements 12-14)
//   vector         surfaceNormal                    (elements 15-17)
//
//   value:  one selector byte s, then
//           s <  0xA0  nothing: kSpecialValues[s % kSpecialCount]
//           s <  0xE0  two bytes u (little-endian): lo + (hi - lo) * u / 65535 over the
//                      slot's plain range (wavelengths 0.35..0.75, components -1.25..1.25)
//           s >= 0xE0  eight bytes: the raw IEEE bit pattern, little-endian
//   vector: one mode byte m, then by m % 4
//           0  three values x, y, z
//           1  a unit vector from two 16-bit angles (polar, then azimuthal)
//           2  an axis: axis (m >> 2) % 3, sign (m >> 4) & 1, its length from one byte over
//              kNearOne, and the two other components from one byte each over kNearZero
//           3  a unit vector as in 1, then component (m >> 2) % 3 replaced by a value
#ifndef SURF_FUZZ_FUZZ_INPUT_H
#define SURF_FUZZ_FUZZ_INPUT_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/support/hit_families.h"

namespace surf_fuzz {

using surf_test::bits;
using surf_test::fromBits;

// The values that sit on the evaluation's decision points (tests/support/hit_families.h): a
// seed names one by its index.
using surf_test::kSpecialValues;
constexpr int kSpecialCount = surf_test::kSpecialValueCount;

// The length of an axis vector in vector mode 2, and the size of its other two components.
inline const double kNearOne[] = {1.0, -1.0, 1.0 - 5e-13, 1.0 + 1e-13, 1.0 - 1e-12,
                                  1.0 + 1e-12, std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0),
                                  1.0 - 2e-12, -1.0 + 1e-13};
inline const double kNearZero[] = {0.0, -0.0, 1e-13, -1e-13, 5e-13, -9.9e-13, 1e-12, -1e-12,
                                   std::nextafter(1e-12, 0.0), 2e-12, 1e-300, 3e-4, 1e200,
                                   fromBits(0x7FF8000000000000ull)};
constexpr int kNearOneCount = sizeof kNearOne / sizeof kNearOne[0];
constexpr int kNearZeroCount = sizeof kNearZero / sizeof kNearZero[0];

constexpr unsigned kSelectorPlain = 0xA0;
constexpr unsigned kSelectorRaw = 0xE0;

enum class Slot { kWavelength, kComponent };

// One decoded call.
struct FuzzCall {
  double wavelength = 0.0;
  double ray[3] = {0, 0, 0};
  double reference[3] = {0, 0, 0};
  double normal[3] = {0, 0, 0};
  bool nullInput = false;
  bool nullOutput = false;
  void *unused = nullptr;  // passed in all three unused argument slots
};

class Reader {
 public:
  Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  unsigned u16() {
    const unsigned lo = byte();
    return lo | (static_cast<unsigned>(byte()) << 8);
  }
  uint64_t u64() {
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v |= static_cast<uint64_t>(byte()) << (8 * k);
    return v;
  }

  double value(Slot slot) {
    const unsigned s = byte();
    if (s < kSelectorPlain) return kSpecialValues[s % kSpecialCount];
    if (s < kSelectorRaw) {
      const double lo = slot == Slot::kWavelength ? 0.35 : -1.25;
      const double hi = slot == Slot::kWavelength ? 0.75 : 1.25;
      return lo + (hi - lo) * (u16() / 65535.0);
    }
    return fromBits(u64());
  }

  void unitVector(double v[3]) {
    const double polar = u16() * (3.141592653589793 / 65535.0);
    const double azimuthal = u16() * (6.283185307179586 / 65536.0);
    v[0] = std::sin(polar) * std::cos(azimuthal);
    v[1] = std::sin(polar) * std::sin(azimuthal);
    v[2] = std::cos(polar);
  }

  void vector(double v[3]) {
    const unsigned m = byte();
    switch (m % 4) {
      case 0:
        for (int k = 0; k < 3; ++k) v[k] = value(Slot::kComponent);
        break;
      case 1:
        unitVector(v);
        break;
      case 2: {
        const int axis = (m >> 2) % 3;
        const double sign = ((m >> 4) & 1) ? -1.0 : 1.0;
        v[axis] = sign * kNearOne[byte() % kNearOneCount];
        v[(axis + 1) % 3] = kNearZero[byte() % kNearZeroCount];
        v[(axis + 2) % 3] = kNearZero[byte() % kNearZeroCount];
        break;
      }
      default:
        unitVector(v);
        v[(m >> 2) % 3] = value(Slot::kComponent);
        break;
    }
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

// Junk for the unused pointer arguments: the plug-in must not touch them.
inline void *unusedArgument(unsigned pick) {
  switch (pick % 8) {
    case 0: return nullptr;
    case 1: return reinterpret_cast<void *>(uintptr_t{1});
    case 2: return reinterpret_cast<void *>(~uintptr_t{0});
    case 3: return reinterpret_cast<void *>(uintptr_t{0xDEADBEEF});
    case 4: return reinterpret_cast<void *>(uintptr_t{0x8000000000000000ull});
    case 5: return reinterpret_cast<void *>(uintptr_t{0x7});
    case 6: return reinterpret_cast<void *>(uintptr_t{0xFFFF0000});
    default: return reinterpret_cast<void *>(uintptr_t{0x1000});
  }
}

inline FuzzCall decode(const uint8_t *data, size_t size) {
  Reader r(data, size);
  FuzzCall c;
  const unsigned flags = r.byte();
  c.nullInput = (flags & 31) == 1 || (flags & 31) == 3;
  c.nullOutput = (flags & 31) == 2 || (flags & 31) == 3;
  c.unused = unusedArgument(flags >> 5);
  c.wavelength = r.value(Slot::kWavelength);
  r.vector(c.ray);
  r.vector(c.reference);
  r.vector(c.normal);
  return c;
}

// Writes inputs in the format above; used by make_corpus.cpp for the seed corpus.
class Encoder {
 public:
  Encoder &flags(uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  // A value by its exact bit pattern.
  Encoder &raw(double v) {
    bytes_.push_back(kSelectorRaw);
    const uint64_t b = bits(v);
    for (int k = 0; k < 8; ++k) bytes_.push_back(static_cast<uint8_t>(b >> (8 * k)));
    return *this;
  }
  // A value from the special table, by index.
  Encoder &special(int index) {
    bytes_.push_back(static_cast<uint8_t>(index));
    return *this;
  }
  // Vector mode 0; the three values that follow are the components.
  Encoder &componentVector() {
    bytes_.push_back(0);
    return *this;
  }
  Encoder &rawVector(double x, double y, double z) {
    bytes_.push_back(0);
    return raw(x).raw(y).raw(z);
  }
  Encoder &unitVector(unsigned polar, unsigned azimuthal) {
    bytes_.push_back(1);
    u16(polar);
    u16(azimuthal);
    return *this;
  }
  Encoder &axisVector(int axis, bool negative, int nearOne, int nearZero1, int nearZero2) {
    bytes_.push_back(static_cast<uint8_t>(2 | (axis << 2) | (negative ? 16 : 0)));
    bytes_.push_back(static_cast<uint8_t>(nearOne));
    bytes_.push_back(static_cast<uint8_t>(nearZero1));
    bytes_.push_back(static_cast<uint8_t>(nearZero2));
    return *this;
  }
  const std::vector<uint8_t> &bytes() const { return bytes_; }

 private:
  void u16(unsigned v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  std::vector<uint8_t> bytes_;
};

}  // namespace surf_fuzz

#endif
