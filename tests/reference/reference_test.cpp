// The plug-in, loaded by path as a host loads it, against the literal reference evaluation
// (reference_evaluation.h), bit for bit: the return value, the whole input record after the
// call (the snapped vectors, the host's own elements, elements past the 18 used), and all 41
// outputs and the elements past them, not-a-number payloads and signed zeros included. Each
// family of hits (hit_families.h) is one test, on its own fixed seed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/reference/reference_evaluation.h"
#include "tests/support/hit_families.h"
#include "tests/support/host_record.h"
#include "tests/support/loaded_plugin.h"

namespace surf_test {
namespace {

constexpr int kRecordsPerFamily = 16384;  // 17 families: 278,528 records
constexpr uint64_t kSeed = 0x7e1ec0a7f00d5eedull;
constexpr int kReported = 10;  // mismatches described per family; the rest are counted

class AgainstTheReference : public testing::TestWithParam<int> {};

TEST_P(AgainstTheReference, EveryRecordBitForBit) {
  const LoadedPlugin &plugin = builtPlugin();
  ASSERT_TRUE(plugin.ok()) << plugin.error;
  const HitFamily &family = kHitFamilies[GetParam()];
  Random rng(kSeed + static_cast<uint64_t>(GetParam()));
  void *junk = reinterpret_cast<void *>(uintptr_t{0xdead});
  int differing = 0, withNaN = 0, snapped = 0;
  for (int n = 0; n < kRecordsPerFamily; ++n) {
    const HostCall before = hostCall(family.draw(rng));
    HostCall lib = before, ref = before;
    lib.returned = plugin.evaluate(lib.in, junk, junk, junk, lib.out);
    ref.returned = surf_reference::evaluateCoating(ref.in, junk, junk, junk, ref.out);
    const std::vector<std::string> difference = differences(lib, ref, "plug-in", "reference");
    if (!difference.empty() && ++differing <= kReported) {
      std::string input;
      for (int k = 0; k < kCoatingInputCount; ++k)
        if (k == kInWavelength || isRecordVector(k)) input += " " + hexBits(before.in[k]);
      ADD_FAILURE() << family.name << " record " << n << ", " << difference.front()
                    << "\n  input (wavelength, ray, reference, normal):" << input;
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
