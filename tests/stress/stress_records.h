// stress_records.h - many distinct input records for the stress tests, and the loaded plug-in.
#ifndef SURF_TESTS_STRESS_STRESS_RECORDS_H
#define SURF_TESTS_STRESS_STRESS_RECORDS_H

#include <cstdint>
#include <vector>

#include "plugin/coating_records.h"
#include "tests/support/bits.h"
#include "tests/support/hit_families.h"
#include "tests/support/loaded_plugin.h"

namespace surf_stress {

using surf_test::bits;
using surf_test::LoadedPlugin;

constexpr int kInputStride = 20;  // a host record longer than the 18 elements the plug-in uses

inline const LoadedPlugin &loadedPlugin() { return surf_test::builtPlugin(); }

// Input records one after another, kInputStride doubles each. Most are ordinary ray hits
// (incidence 0-89 degrees, any azimuth, 0.38-0.72 um, half on +z normals, the others tilted up
// to 80 degrees, a quarter of those into z < 0); one in eight has a ray component the snapping
// zeroes, one in eight a normal component within 1e-13 of one, and one in sixteen a bad number
// (not-a-number, infinity, a subnormal, a signed zero, a vector that is not of unit length).
inline std::vector<double> makeRecords(int count, uint64_t seed) {
  surf_test::Random rng(seed);
  surf_test::HitShape shape;
  shape.wavelengthLo = 0.38, shape.wavelengthHi = 0.72;
  shape.downwardOneIn = 4;
  std::vector<double> records(static_cast<size_t>(count) * kInputStride);
  for (int r = 0; r < count; ++r) {
    double *in = records.data() + static_cast<size_t>(r) * kInputStride;
    for (int k = 0; k < kInputStride; ++k) in[k] = 500.0 + k + r;  // host data
    surf_test::Hit hit = shapedHit(rng, shape);
    if (rng.oneIn(8)) {
      const int k = 1 + rng.below(3);
      surf_test::slot(hit, k) = rng.range(-0.5e-12, 0.5e-12);
    }
    if (rng.oneIn(8)) {
      const int k = 7 + rng.below(3);
      surf_test::slot(hit, k) = 1.0 - 1e-13 * rng.unit();
    }
    if (rng.oneIn(16)) {
      const double bad[] = {surf_test::kNaN, surf_test::kInf, -surf_test::kInf,
                            surf_test::kDenormMin, -0.0, 3.0, 0.0};
      const int k = rng.below(10);
      surf_test::slot(hit, k) = rng.pick(bad);
    }
    surf_test::putHit(in, hit);
  }
  return records;
}

}  // namespace surf_stress

#endif
