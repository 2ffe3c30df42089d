// hit_records.h - the fixed set of ray hits that the Windows builds are checked against.
//
// The same generator runs in the native reference dump and in the Windows test host, so both
// evaluate exactly the same input records; the results file carries each input as well, and the
// host refuses a file whose inputs differ from its own. Generation uses nothing but IEEE
// arithmetic that rounds the same way everywhere (products, quotients and sqrt, with SSE2 on
// 32-bit x86) and a fixed-seed integer generator, never the maths library.
#ifndef SURF_TESTS_WINDOWS_HIT_RECORDS_H
#define SURF_TESTS_WINDOWS_HIT_RECORDS_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace hits {

// An input record as the host hands it over: the 18 elements the plug-in knows about, then guard
// elements that the plug-in must never touch.
constexpr int kInputSlots = 24;
constexpr int kInputUsed = 18;
// The output record: 41 elements, then guard elements.
constexpr int kOutputSlots = 44;
constexpr int kOutputUsed = 41;

// Bit patterns no evaluation produces: quiet not-a-numbers with a recognisable payload. (Quiet,
// since 32-bit x86 code that moves a double through the x87 turns a signalling one quiet.)
constexpr std::uint64_t kInputGuardBits = 0x7ffcf00dcafe0000ull;
constexpr std::uint64_t kOutputFillBits = 0x7ffcdeadbeef0000ull;

struct HitRecord {
  std::string name;
  double in[kInputSlots];
};

// The named cases (worked example, edge cases, mended faults, bad input) followed by
// `randomCount` random hits drawn with a fixed seed.
std::vector<HitRecord> goldenHits(int randomCount);

// The index of the record called `name`, or -1.
int findHit(const std::vector<HitRecord> &hits, const std::string &name);

inline double fromBits(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

inline std::uint64_t toBits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace hits

#endif
