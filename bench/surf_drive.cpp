// surf_drive [N [realistic|harsh]]: N evaluations of one of the benchmark's hit sets (hit_set.h,
// the realistic one unless named) through the loaded plug-in, for counting instructions. The timed part is the function surf_drive_evaluations,
// so callgrind can be told to count only that:
//
//   valgrind --tool=callgrind --toggle-collect=surf_drive_evaluations
//            --callgrind-out-file=callgrind.out build/native/bench/surf_drive 100000
//   (one command line)
//   callgrind_annotate callgrind.out | head -40
//
// Each evaluation is preceded by restoring its record (surf_drive_restore, out of line so that
// it shows as a function of its own). SURF_PLUGIN names another plug-in to load.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/hit_set.h"
#include "tests/support/bits.h"

extern "C" __attribute__((noinline)) void surf_drive_restore(double *record, const double *pristine) {
  std::memcpy(record, pristine, kCoatingInputCount * sizeof(double));
}

extern "C" __attribute__((noinline)) void surf_drive_evaluations(FnEvaluateCoating evaluate,
                                                                 double *records,
                                                                 const double *pristine,
                                                                 double *out, long count) {
  unsigned i = 0;
  for (long n = 0; n < count; ++n) {
    const size_t at = static_cast<size_t>(i) * kCoatingInputCount;
    surf_drive_restore(records + at, pristine + at);
    evaluate(records + at, nullptr, nullptr, nullptr, out + static_cast<size_t>(i) * kCoatingOutputCount);
    i = (i + 1) & (surf_bench::kHitCount - 1);
  }
}

int main(int argc, char **argv) {
  long count = 100000;
  int mix = surf_bench::kRealistic;
  bool usage = argc > 3 || (argc >= 2 && (count = std::strtol(argv[1], nullptr, 10)) <= 0);
  if (!usage && argc == 3) {
    usage = true;
    for (int m = 0; m < surf_bench::kMixCount; ++m)
      if (std::strcmp(argv[2], surf_bench::mixName(m)) == 0) mix = m, usage = false;
  }
  if (usage) {
    std::fprintf(stderr, "usage: %s [N [realistic|harsh]]  (N evaluations, default 100000)\n",
                 argv[0]);
    return 2;
  }
  const surf_bench::Plugin plugin = surf_bench::loadPlugin();
  const std::vector<double> pristine = surf_bench::makeHitSet(mix);
  std::vector<double> records(pristine);
  std::vector<double> out(static_cast<size_t>(surf_bench::kHitCount) * kCoatingOutputCount);
  surf_drive_evaluations(plugin.evaluate, records.data(), pristine.data(), out.data(), count);

  // A digest of the last output of every record, so runs can be compared.
  uint64_t digest = 0;
  for (double v : out) digest = (digest ^ surf_test::bits(v)) * 0x100000001b3ull;
  std::printf("%ld evaluations of the %s mix through %s, output digest %016" PRIx64 "\n", count,
              surf_bench::mixName(mix), plugin.path, digest);
  return 0;
}
