// stress_records.h - many distinct input records for the stress tests, and the loaded plug-in.
#ifndef SURF_TESTS_STRESS_STRESS_RECORDS_H
#define SURF_TESTS_STRESS_STRESS_RECORDS_H

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "plugin/coating_records.h"

namespace surf_stress {

constexpr int kInputStride = 20;  // a host record longer than the 18 elements the plug-in uses

inline uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Input records one after another, kInputStride doubles each. Most are ordinary ray hits
// (incidence 0-89 degrees, any azimuth, visible wavelengths, +z and tilted normals, some with
// components that get snapped); one in sixteen carries a bad number: not-a-number, infinity,
// a subnormal, a vector that is not of unit length, or a zero vector.
inline std::vector<double> makeRecords(int count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double pi = 3.141592653589793;
  std::vector<double> records(static_cast<size_t>(count) * kInputStride);
  for (int r = 0; r < count; ++r) {
    double *in = records.data() + static_cast<size_t>(r) * kInputStride;
    for (int k = 0; k < kInputStride; ++k) in[k] = 500.0 + k + r;  // host data
    in[kInWavelength] = 0.38 + 0.34 * unit(rng);
    // Normal: +z for half of the records, otherwise tilted up to 80 degrees, either side.
    double n[3] = {0, 0, 1};
    if (rng() % 2) {
      const double tilt = 80.0 * unit(rng) * pi / 180, turn = 2 * pi * unit(rng);
      n[0] = std::sin(tilt) * std::cos(turn);
      n[1] = std::sin(tilt) * std::sin(turn);
      n[2] = (rng() % 4 == 0 ? -1 : 1) * std::cos(tilt);
    }
    // Ray: incidence theta about the normal, in a random plane.
    const double theta = 89.0 * unit(rng) * pi / 180, phi = 2 * pi * unit(rng);
    double u[3] = {1, 0, 0};
    if (std::fabs(n[0]) > 0.9) u[0] = 0, u[1] = 1;
    // Make u perpendicular to n, v = n x u.
    const double d = u[0] * n[0] + u[1] * n[1] + u[2] * n[2];
    for (int k = 0; k < 3; ++k) u[k] -= d * n[k];
    const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double &c : u) c /= len;
    const double v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2],
                         n[0] * u[1] - n[1] * u[0]};
    double a[3];
    for (int k = 0; k < 3; ++k)
      a[k] = -std::cos(theta) * n[k] +
             std::sin(theta) * (std::cos(phi) * u[k] + std::sin(phi) * v[k]);
    // Reference: perpendicular to the ray.
    double b[3] = {a[1] * u[2] - a[2] * u[1], a[2] * u[0] - a[0] * u[2],
                   a[0] * u[1] - a[1] * u[0]};
    const double bl = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    for (double &c : b) c = bl > 0 ? c / bl : c;
    for (int k = 0; k < 3; ++k) {
      in[kInRayDirectionX + k] = a[k];
      in[kInReferenceDirectionX + k] = b[k];
      in[kInSurfaceNormalX + k] = n[k];
    }
    // Some components the snapping acts on.
    if (rng() % 8 == 0) in[kInRayDirectionX + rng() % 3] = (unit(rng) - 0.5) * 1e-12;
    if (rng() % 8 == 0) in[kInSurfaceNormalX + rng() % 3] = 1.0 - 1e-13 * unit(rng);
    if (rng() % 16 == 0) {
      static const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::denorm_min(), -0.0, 3.0, 0.0};
      const int slots[] = {kInWavelength,          kInRayDirectionX,       kInRayDirectionY,
                           kInRayDirectionZ,       kInReferenceDirectionX, kInReferenceDirectionY,
                           kInReferenceDirectionZ, kInSurfaceNormalX,      kInSurfaceNormalY,
                           kInSurfaceNormalZ};
      in[slots[rng() % 10]] = bad[rng() % (sizeof bad / sizeof bad[0])];
    }
  }
  return records;
}

// The plug-in, loaded by path as a host loads it.
struct LoadedPlugin {
  void *handle = nullptr;
  FnInitDll init = nullptr;
  FnEvaluateCoating evaluate = nullptr;
  const char *error = nullptr;
};

inline const LoadedPlugin &loadedPlugin() {
  static const LoadedPlugin p = [] {
    LoadedPlugin q;
    q.handle = dlopen(SURF_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (q.handle == nullptr) {
      q.error = dlerror();
      return q;
    }
    q.init = reinterpret_cast<FnInitDll>(dlsym(q.handle, "fnInitDll"));
    q.evaluate = reinterpret_cast<FnEvaluateCoating>(dlsym(q.handle, "fnEvaluateCoating"));
    return q;
  }();
  return p;
}

}  // namespace surf_stress

#endif
