#include "tests/windows/hit_records.h"

#include <cstring>

#include "tests/support/named_hits.h"

namespace hits {

using namespace surf_test;

int findHit(const std::vector<HitRecord> &hits, const std::string &name) {
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (hits[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

namespace {

HitRecord record(const std::string &name, const Hit &hit) {
  HitRecord r;
  r.name = name;
  std::memcpy(r.in, hostCall(hit).in, sizeof r.in);
  return r;
}

void addRandomHits(std::vector<HitRecord> &out, int count) {
  Random rng(0x5eed2024c0a71e55ull);
  for (int k = 0; k < count; ++k) {
    const int kind = k % 6;
    double wavelength = rng.range(0.38, 0.72);
    if (rng.below(8) == 0) wavelength = (40 + rng.below(31)) / 100.0;  // exactly on the grid
    V3 ray = rng.direction();
    V3 reference = rng.direction();
    V3 normal = rng.direction();
    switch (kind) {
      case 0:  // anything
        break;
      case 1:  // the common +z normal
        normal = kPlusZ;
        break;
      case 2:  // normal in the lower half-space
        if (normal.z > 0.0) normal = V3{-normal.x, -normal.y, -normal.z};
        break;
      case 3:  // ray and normal in the x-z plane, where rounding lands dot products on +-1
        ray = rng.inPlaneXZ();
        normal = rng.inPlaneXZ();
        reference = kPlusX;
        break;
      case 4:  // axis-aligned normal
        normal = (rng.below(2) == 0) ? kPlusX : kPlusY;
        break;
      default:  // components next to the snapping thresholds
        ray.x = rng.nearThreshold();
        normal = V3{rng.nearThreshold() * 1e-3, rng.nearThreshold() * 1e-3, rng.nearThreshold()};
        reference.y = rng.nearThreshold();
        break;
    }
    if (rng.below(5) == 0) reference = (rng.below(2) == 0) ? kPlusX : kPlusY;
    out.push_back(record("random-" + std::to_string(k), Hit{wavelength, ray, reference, normal}));
  }
}

}  // namespace

std::vector<HitRecord> crosscheckHits(int randomCount) {
  std::vector<HitRecord> out;
  for (const NamedHit &h : namedHits()) out.push_back(record(h.name, h.hit));
  addRandomHits(out, randomCount);
  return out;
}

}  // namespace hits
