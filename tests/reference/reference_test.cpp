// The plug-in, loaded by path as a host loads it, against the literal reference evaluation
// (reference_evaluation.h), bit for bit: the return value, the whole input record after the
// call (the snapped vectors, the host's own elements, elements past the 18 used), and all 41
// outputs, not-a-number payloads and signed zeros included. Each family of hits
// (hit_families.h) is one test, on its own fixed seed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/reference/reference_evaluation.h"
#include "tests/support/bits.h"
#include "tests/support/hit_families.h"
#include "tests/support/loaded_plugin.h"

namespace surf_test {
namespace {

constexpr int kRecordsPerFamily = 16384;  // 17 families: 278,528 records
constexpr uint64_t kSeed = 0x7e1ec0a7f00d5eedull;
constexpr int kReported = 10;  // mismatches described per family; the rest are counted

// A host record longer than the 18 elements the plug-in uses, and an output record longer than
// its 41, so that a stray read or write shows; the host's elements hold not-a-numbers with
// payloads no evaluation makes.
constexpr int kInputSlots = 24, kOutputSlots = 44;
constexpr uint64_t kHostBits = 0x7ffcf00dcafe0000ull, kUnwrittenBits = 0x7ffcdeadbeef0000ull;

std::string inputElement(int k) {
  static const char *const vectors[] = {"rayDirection", "referenceDirection", "surfaceNormal"};
  static const int first[] = {kInRayDirectionX, kInReferenceDirectionX, kInSurfaceNormalX};
  for (int v = 0; v < 3; ++v)
    if (k >= first[v] && k < first[v] + 3)
      return std::string(vectors[v]) + " " + "xyz"[k - first[v]];
  return k == kInWavelength ? "wavelength" : "host element " + std::to_string(k);
}

std::string outputElement(int k) {
  static const char *const names[] = {"absorptanceS", "absorptanceP", "reflectanceS",
                                      "reflectanceP", "transmittanceS", "transmittanceP",
                                      "reflectionPhase", "transmissionPhase", "auxiliaryValue"};
  if (k < kOutReflectionMueller) return names[k];
  if (k >= kCoatingOutputCount) return "past the record, element " + std::to_string(k);
  const int base = k < kOutTransmissionMueller ? kOutReflectionMueller : kOutTransmissionMueller;
  return std::string(base == kOutReflectionMueller ? "reflection" : "transmission") + "Mueller[" +
         std::to_string((k - base) / 4) + "][" + std::to_string((k - base) % 4) + "]";
}

struct Call {
  double in[kInputSlots];
  double out[kOutputSlots];
  double returned;
};

Call prepared(const Hit &hit) {
  Call c;
  for (int k = 0; k < kInputSlots; ++k) c.in[k] = fromBits(kHostBits + k);
  putHit(c.in, hit);
  for (int k = 0; k < kOutputSlots; ++k) c.out[k] = fromBits(kUnwrittenBits + k);
  return c;
}

class AgainstTheReference : public testing::TestWithParam<int> {};

TEST_P(AgainstTheReference, EveryRecordBitForBit) {
  const LoadedPlugin &plugin = builtPlugin();
  ASSERT_TRUE(plugin.ok()) << plugin.error;
  const HitFamily &family = kHitFamilies[GetParam()];
  Random rng(kSeed + static_cast<uint64_t>(GetParam()));
  int differing = 0, withNaN = 0, snapped = 0;
  for (int n = 0; n < kRecordsPerFamily; ++n) {
    const Call before = prepared(family.draw(rng));
    Call lib = before, ref = before;
    void *junk = reinterpret_cast<void *>(uintptr_t{0xdead});
    lib.returned = plugin.evaluate(lib.in, junk, junk, junk, lib.out);
    ref.returned = surf_reference::evaluateCoating(ref.in, junk, junk, junk, ref.out);

    std::string first;  // the first element that differs, as both have it
    auto compare = [&](double a, double b, const std::string &what) {
      if (first.empty() && !sameBits(a, b))
        first = what + ": plug-in " + hexBits(a) + ", reference " + hexBits(b);
    };
    compare(lib.returned, ref.returned, "return value");
    for (int k = 0; k < kInputSlots; ++k)
      compare(lib.in[k], ref.in[k], "input " + std::to_string(k) + " (" + inputElement(k) + ")");
    for (int k = 0; k < kOutputSlots; ++k)
      compare(lib.out[k], ref.out[k], "output " + std::to_string(k) + " (" + outputElement(k) + ")");
    if (!first.empty() && ++differing <= kReported) {
      std::string input;
      for (int k : {0, 5, 6, 7, 12, 13, 14, 15, 16, 17}) input += " " + hexBits(before.in[k]);
      ADD_FAILURE() << family.name << " record " << n << ", " << first << "\n  input (wavelength,"
                    << " ray, reference, normal):" << input;
    }
    bool nan = false;
    for (int k = 0; k < kCoatingOutputCount; ++k) nan = nan || lib.out[k] != lib.out[k];
    withNaN += nan;
    snapped += std::memcmp(lib.in, before.in, sizeof lib.in) != 0;
  }
  EXPECT_EQ(0, differing) << family.name << ": records that differ from the reference";
  std::printf("%s: %d records, %d differ; %d with a not-a-number output, %d with a vector "
              "snapped\n", family.name, kRecordsPerFamily, differing, withNaN, snapped);
}

INSTANTIATE_TEST_SUITE_P(Families, AgainstTheReference, testing::Range(0, kHitFamilyCount),
                         [](const testing::TestParamInfo<int> &info) {
                           std::string name = kHitFamilies[info.param].name;
                           for (char &c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace surf_test
