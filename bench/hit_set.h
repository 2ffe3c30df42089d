// hit_set.h - the two sets of ray hits that the benchmark and the instruction-count driver
// evaluate, and the plug-in loaded as a host loads it.
//
// Both come from the tests' shared generator (tests/support/hit_generator.h and the hit
// families of hit_families.h), with fixed seeds, so every run sees the same hits:
//
//   realistic  incidence 0-85 degrees (directions uniform over that cap of the sphere), the
//              plane of incidence at any azimuth, wavelengths 0.40-0.70 um; about half of the
//              hits on a +z normal and half on a normal tilted by 10-50 degrees, every one
//              pointing into z > 0; every ray arriving at the surface; the reference direction
//              perpendicular to the ray and the normal.
//   harsh      what a host sends besides: half the tilted normals (tilted by up to 80 degrees)
//              pointing into z < 0, half the rays leaving the surface, reference directions at
//              random turns, wavelengths 0.38-0.72 um (about one in fifteen just outside the
//              table), and about 3 % each of rays exactly in the x-z or y-z plane and of rays
//              exactly along the normal (with or against it).
#ifndef SURF_BENCH_HIT_SET_H
#define SURF_BENCH_HIT_SET_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plugin/coating_records.h"
#include "tests/support/hit_families.h"
#include "tests/support/hit_generator.h"
#include "tests/support/loaded_plugin.h"

namespace surf_bench {

constexpr int kHitCount = 4096;  // a power of two: records are cycled with a mask

enum Mix { kRealistic, kHarsh };
constexpr int kMixCount = 2;
inline const char *mixName(int mix) { return mix == kHarsh ? "harsh" : "realistic"; }

inline surf_test::Hit realisticHit(surf_test::Random &rng) {
  surf_test::HitShape shape;
  shape.tiltCosLo = surf_test::kCos50, shape.tiltCosHi = surf_test::kCos10;
  shape.incidenceCosLo = surf_test::kCos85;
  return surf_test::shapedHit(rng, shape);
}

inline surf_test::Hit harshHit(surf_test::Random &rng) {
  switch (rng.below(32)) {
    case 0: return surf_test::families::coordinatePlanes(rng);
    case 1: return surf_test::families::alongTheNormal(rng);
    default: break;
  }
  surf_test::HitShape shape;
  shape.downwardOneIn = 2;
  shape.leavingOneIn = 2;
  shape.wavelengthLo = 0.38, shape.wavelengthHi = 0.72;
  surf_test::Hit h = surf_test::shapedHit(rng, shape);
  h.reference = rng.direction();
  return h;
}

// kHitCount input records of kCoatingInputCount doubles each, one after another.
inline std::vector<double> makeHitSet(int mix) {
  surf_test::Random rng(mix == kHarsh ? 0x4a125be0c4b1e5edull : 0xbe0c4b1e5eed0003ull);
  std::vector<double> records(static_cast<size_t>(kHitCount) * kCoatingInputCount, 0.0);
  for (int i = 0; i < kHitCount; ++i)
    surf_test::putHit(records.data() + static_cast<size_t>(i) * kCoatingInputCount,
                      mix == kHarsh ? harshHit(rng) : realisticHit(rng));
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
