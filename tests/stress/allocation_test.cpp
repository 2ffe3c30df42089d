// An evaluation allocates nothing: every heap allocation the process makes is counted (see
// allocation_counter.h) around a loop of evaluations through the loaded plug-in.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "tests/stress/allocation_counter.h"
#include "tests/stress/stress_records.h"

namespace surf_stress {
namespace {

constexpr int kRecords = 20000;
constexpr uint64_t kSeed = 0xa110c0de5eed0002ull;

TEST(Allocation, EvaluationsThroughThePluginAllocateNothing) {
  const LoadedPlugin &plugin = loadedPlugin();
  ASSERT_NE(nullptr, plugin.evaluate) << plugin.error;
  std::vector<double> records = makeRecords(kRecords, kSeed);
  std::vector<double> out(static_cast<size_t>(kRecords) * kCoatingOutputCount, 0.0);
  double *in = records.data();
  double *o = out.data();
  const FnEvaluateCoating evaluate = plugin.evaluate;

  // The very first call is inside the counted loop: nothing is set up lazily either.
  armAllocationCounter();
  double returned = 0.0;
  for (int i = 0; i < kRecords; ++i)
    returned += evaluate(in + static_cast<size_t>(i) * kInputStride, nullptr, nullptr, nullptr,
                         o + static_cast<size_t>(i) * kCoatingOutputCount);
  const AllocationCounts counts = disarmAllocationCounter();

  EXPECT_EQ(0, counts.allocations);
  EXPECT_EQ(0, counts.releases);
  EXPECT_EQ(0.0, returned);
  int written = 0;
  for (int i = 0; i < kRecords; ++i) written += out[static_cast<size_t>(i) * kCoatingOutputCount + kOutAuxiliaryValue] == -1.0;
  EXPECT_EQ(kRecords, written) << "the loop did not evaluate every record";
}

// The counter itself: allocations made here, in the C library on our behalf, and in a module
// linked like the plug-in and loaded with dlopen are all seen.
TEST(Allocation, CounterSeesAllocationsFromEveryCaller) {
  void *(*volatile mallocCall)(size_t) = std::malloc;
  void (*volatile freeCall)(void *) = std::free;
  void *(*volatile newCall)(size_t) = ::operator new;
  void (*volatile deleteCall)(void *) = ::operator delete;
  char *(*volatile strdupCall)(const char *) = strdup;

  armAllocationCounter();
  void *p = mallocCall(24);
  freeCall(p);
  AllocationCounts counts = disarmAllocationCounter();
  EXPECT_EQ(1, counts.allocations);
  EXPECT_EQ(1, counts.releases);

  armAllocationCounter();
  void *q = newCall(24);
  deleteCall(q);
  counts = disarmAllocationCounter();
  EXPECT_EQ(1, counts.allocations);
  EXPECT_EQ(1, counts.releases);

  armAllocationCounter();
  char *s = strdupCall("made by the C library");
  freeCall(s);
  counts = disarmAllocationCounter();
  EXPECT_EQ(1, counts.allocations);
  EXPECT_EQ(1, counts.releases);

  void *module = dlopen(SURF_ALLOCATING_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, module) << dlerror();
  auto allocate = reinterpret_cast<int (*)(int)>(dlsym(module, "allocateAndRelease"));
  ASSERT_NE(nullptr, allocate);
  armAllocationCounter();
  const int made = allocate(5);
  counts = disarmAllocationCounter();
  EXPECT_EQ(10, made);
  EXPECT_EQ(10, counts.allocations);
  EXPECT_EQ(10, counts.releases);
}

}  // namespace
}  // namespace surf_stress
