// host_record.h - one call as a host makes it, for the tests that compare calls bit for bit:
// an input record longer than the 18 elements the plug-in uses and an output record longer than
// its 41, so that a stray read or write shows, and the names of their elements for messages.
#ifndef SURF_TESTS_SUPPORT_HOST_RECORD_H
#define SURF_TESTS_SUPPORT_HOST_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/coating_records.h"
#include "tests/support/bits.h"
#include "tests/support/hit_generator.h"

namespace surf_test {

constexpr int kInputSlots = 24, kOutputSlots = 44;

// What the host's own input elements (1-4, 8-11 and those past 17) and the output elements
// before the call hold, plus the element's index: quiet not-a-numbers with payloads no
// evaluation makes. (Quiet, since 32-bit x86 code that moves a double through the x87 turns a
// signalling one quiet.)
constexpr uint64_t kHostBits = 0x7ffcf00dcafe0000ull;
constexpr uint64_t kUnwrittenBits = 0x7ffcdeadbeef0000ull;

struct HostCall {
  double in[kInputSlots];
  double out[kOutputSlots];
  double returned;
};

inline bool isRecordVector(int k) {
  return (k >= kInRayDirectionX && k <= kInRayDirectionZ) ||
         (k >= kInReferenceDirectionX && k <= kInSurfaceNormalZ);
}

// The call for `hit` before it is made.
inline HostCall hostCall(const Hit &hit) {
  HostCall c;
  for (int k = 0; k < kInputSlots; ++k) c.in[k] = fromBits(kHostBits + k);
  putHit(c.in, hit);
  for (int k = 0; k < kOutputSlots; ++k) c.out[k] = fromBits(kUnwrittenBits + k);
  c.returned = fromBits(kUnwrittenBits);
  return c;
}

inline std::string inputElementName(int k) {
  static const char *const vectors[] = {"rayDirection", "referenceDirection", "surfaceNormal"};
  static const int first[] = {kInRayDirectionX, kInReferenceDirectionX, kInSurfaceNormalX};
  std::string name = "input " + std::to_string(k);
  for (int v = 0; v < 3; ++v)
    if (k >= first[v] && k < first[v] + 3)
      return name + " (" + vectors[v] + " " + "xyz"[k - first[v]] + ")";
  return name + (k == kInWavelength ? " (wavelength)" : " (host data)");
}

inline std::string outputElementName(int k) {
  static const char *const names[] = {"absorptanceS", "absorptanceP", "reflectanceS",
                                      "reflectanceP", "transmittanceS", "transmittanceP",
                                      "reflectionPhase", "transmissionPhase", "auxiliaryValue"};
  std::string name = "output " + std::to_string(k);
  if (k >= kCoatingOutputCount) return name + " (past the record)";
  if (k < kOutReflectionMueller) return name + " (" + names[k] + ")";
  const bool reflection = k < kOutTransmissionMueller;
  const int e = k - (reflection ? kOutReflectionMueller : kOutTransmissionMueller);
  return name + " (" + (reflection ? "reflection" : "transmission") + "Mueller[" +
         std::to_string(e / 4) + "][" + std::to_string(e % 4) + "])";
}

// Every element in which two calls differ (sameResult), each as "what: first 0x..., second 0x...".
inline std::vector<std::string> differences(const HostCall &a, const HostCall &b,
                                            const char *aName, const char *bName) {
  std::vector<std::string> found;
  auto compare = [&](double x, double y, const std::string &what) {
    if (!sameResult(x, y))
      found.push_back(what + ": " + aName + " " + hexBits(x) + ", " + bName + " " + hexBits(y));
  };
  compare(a.returned, b.returned, "return value");
  for (int k = 0; k < kInputSlots; ++k) compare(a.in[k], b.in[k], inputElementName(k));
  for (int k = 0; k < kOutputSlots; ++k) compare(a.out[k], b.out[k], outputElementName(k));
  return found;
}

}  // namespace surf_test

#endif
