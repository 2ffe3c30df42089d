// hit_set.h - the realistic set of ray hits that the benchmark and the instruction-count driver
// both evaluate, and the plug-in loaded as a host loads it.
//
// From the tests' shared generator (tests/support/hit_generator.h), with a fixed seed, so every
// run sees the same hits: incidence 0-85 degrees (directions uniform over that cap of the
// sphere), the plane of incidence at any azimuth, wavelengths 0.40-0.70 um; about half of the
// hits on a +z normal and half on a normal tilted by 10-50 degrees; the reference direction
// perpendicular to the ray and the normal. A harsher mix is a matter of another HitShape or of
// the hit families (tests/support/hit_families.h).
#ifndef SURF_BENCH_HIT_SET_H
#define SURF_BENCH_HIT_SET_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plugin/coating_records.h"
#include "tests/support/hit_generator.h"
#include "tests/support/loaded_plugin.h"

namespace surf_bench {

constexpr int kHitCount = 4096;  // a power of two: records are cycled with a mask
constexpr uint64_t kHitSeed = 0xbe0c4b1e5eed0003ull;

// kHitCount input records of kCoatingInputCount doubles each, one after another.
inline std::vector<double> makeHitSet() {
  surf_test::Random rng(kHitSeed);
  surf_test::HitShape shape;
  shape.tiltCosLo = surf_test::kCos50, shape.tiltCosHi = surf_test::kCos10;
  shape.incidenceCosLo = surf_test::kCos85;
  std::vector<double> records(static_cast<size_t>(kHitCount) * kCoatingInputCount, 0.0);
  for (int i = 0; i < kHitCount; ++i)
    surf_test::putHit(records.data() + static_cast<size_t>(i) * kCoatingInputCount,
                      surf_test::shapedHit(rng, shape));
  return records;
}

inline bool isTilted(const double *record) { return record[kInSurfaceNormalZ] != 1.0; }

struct Plugin {
  FnInitDll init = nullptr;
  FnEvaluateCoating evaluate = nullptr;
  const char *path = nullptr;
};

// The plug-in built beside the benchmark, or the one named by SURF_PLUGIN; fnInitDll called.
inline Plugin loadPlugin() {
  Plugin p;
  const char *override = std::getenv("SURF_PLUGIN");
  p.path = override != nullptr && *override != '\0' ? override : SURF_PLUGIN_PATH;
  const surf_test::LoadedPlugin loaded = surf_test::loadPlugin(p.path);
  if (!loaded.ok()) {
    std::fprintf(stderr, "%s\n", loaded.error.c_str());
    std::exit(1);
  }
  p.init = loaded.init;
  p.evaluate = loaded.evaluate;
  p.init(nullptr);
  return p;
}

}  // namespace surf_bench

#endif
