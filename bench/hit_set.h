// hit_set.h - the realistic set of ray hits that the benchmark and the instruction-count driver
// both evaluate, and the plug-in loaded as a host loads it.
//
// Incidence 0-85 degrees, the plane of incidence at any azimuth, wavelengths 0.40-0.70 um; half
// of the hits on a +z normal and half on a normal tilted by 10-50 degrees, in random order; the
// reference direction perpendicular to the ray. A fixed seed, so every run sees the same hits.
#ifndef SURF_BENCH_HIT_SET_H
#define SURF_BENCH_HIT_SET_H

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "plugin/coating_records.h"

namespace surf_bench {

constexpr int kHitCount = 4096;  // a power of two: records are cycled with a mask
constexpr uint64_t kHitSeed = 0xbe0c4b1e5eed0003ull;

// kHitCount input records of kCoatingInputCount doubles each, one after another.
inline std::vector<double> makeHitSet() {
  const double pi = 3.141592653589793, deg = pi / 180;
  std::mt19937_64 rng(kHitSeed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<bool> tilted(kHitCount);
  for (int i = 0; i < kHitCount; ++i) tilted[i] = i < kHitCount / 2;
  std::shuffle(tilted.begin(), tilted.end(), rng);

  std::vector<double> records(static_cast<size_t>(kHitCount) * kCoatingInputCount, 0.0);
  for (int i = 0; i < kHitCount; ++i) {
    double *in = records.data() + static_cast<size_t>(i) * kCoatingInputCount;
    for (int k = 0; k < kCoatingInputCount; ++k) in[k] = 0.0;
    in[kInWavelength] = 0.40 + 0.30 * unit(rng);
    const double theta = 85 * deg * unit(rng), phi = 2 * pi * unit(rng);
    double n[3] = {0, 0, 1};
    if (tilted[i]) {
      const double tilt = (10 + 40 * unit(rng)) * deg, turn = 2 * pi * unit(rng);
      n[0] = std::sin(tilt) * std::cos(turn);
      n[1] = std::sin(tilt) * std::sin(turn);
      n[2] = std::cos(tilt);
    }
    // u: the global x-axis projected into the surface plane; v = n x u.
    double u[3] = {1 - n[0] * n[0], -n[0] * n[1], -n[0] * n[2]};
    const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double &c : u) c /= ul;
    const double v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2],
                         n[0] * u[1] - n[1] * u[0]};
    double a[3];
    for (int k = 0; k < 3; ++k)
      a[k] = -std::cos(theta) * n[k] + std::sin(theta) * (std::cos(phi) * u[k] + std::sin(phi) * v[k]);
    // Reference: perpendicular to the ray and the normal (the s direction), or to the ray and
    // the x-axis when the ray is almost along the normal.
    double b[3] = {a[1] * n[2] - a[2] * n[1], a[2] * n[0] - a[0] * n[2], a[0] * n[1] - a[1] * n[0]};
    double bl = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    if (bl < 1e-6) {
      b[0] = 0, b[1] = a[2], b[2] = -a[1];
      bl = std::sqrt(b[1] * b[1] + b[2] * b[2]);
    }
    for (int k = 0; k < 3; ++k) {
      in[kInRayDirectionX + k] = a[k];
      in[kInReferenceDirectionX + k] = b[k] / bl;
      in[kInSurfaceNormalX + k] = n[k];
    }
  }
  return records;
}

inline bool isTilted(const double *record) { return record[kInSurfaceNormalZ] != 1.0; }

struct Plugin {
  FnInitDll init = nullptr;
  FnEvaluateCoating evaluate = nullptr;
  const char *path = nullptr;
};

// The plug-in built beside the benchmark, or the one named by SURF_PLUGIN.
inline Plugin loadPlugin() {
  Plugin p;
  const char *override = std::getenv("SURF_PLUGIN");
  p.path = override != nullptr && *override != '\0' ? override : SURF_PLUGIN_PATH;
  void *handle = dlopen(p.path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", p.path, dlerror());
    std::exit(1);
  }
  p.init = reinterpret_cast<FnInitDll>(dlsym(handle, "fnInitDll"));
  p.evaluate = reinterpret_cast<FnEvaluateCoating>(dlsym(handle, "fnEvaluateCoating"));
  if (p.init == nullptr || p.evaluate == nullptr) {
    std::fprintf(stderr, "%s does not export fnInitDll and fnEvaluateCoating\n", p.path);
    std::exit(1);
  }
  p.init(nullptr);
  return p;
}

}  // namespace surf_bench

#endif
