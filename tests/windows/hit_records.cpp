#include "tests/windows/hit_records.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace hits {

int findHit(const std::vector<HitRecord> &hits, const std::string &name) {
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (hits[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

namespace {

struct V3 {
  double x, y, z;
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kDenormMin = std::numeric_limits<double>::denorm_min();  // 4.9e-324
const double kSubnormal = 1.5e-310;

// The worked example: 0.555 um on a +z normal, ray (0.3, 0.2, sqrt(0.87)), reference +x.
const double kWave = 0.555;
const V3 kRay{0.3, 0.2, 0.9327379053088815};  // sqrt(0.87), the correctly rounded value
const V3 kX{1.0, 0.0, 0.0};
const V3 kY{0.0, 1.0, 0.0};
const V3 kZ{0.0, 0.0, 1.0};

class Builder {
 public:
  explicit Builder(std::vector<HitRecord> &out) : out_(out) {}

  void add(const std::string &name, double wavelength, V3 ray, V3 reference, V3 normal) {
    HitRecord r;
    r.name = name;
    for (int i = 0; i < kInputSlots; ++i) r.in[i] = 0.0;
    r.in[0] = wavelength;
    // Host data the plug-in must leave alone, and guard elements past the record.
    for (int i = 1; i <= 4; ++i) r.in[i] = 1000.0 + i;
    for (int i = 8; i <= 11; ++i) r.in[i] = 1000.0 + i;
    for (int i = kInputUsed; i < kInputSlots; ++i) r.in[i] = fromBits(kInputGuardBits + i);
    put(r.in + 5, ray);
    put(r.in + 12, reference);
    put(r.in + 15, normal);
    out_.push_back(r);
  }
  void ray(const std::string &name, V3 ray) { add(name, kWave, ray, kX, kZ); }
  void normal(const std::string &name, V3 ray, V3 normal) { add(name, kWave, ray, kX, normal); }
  void wave(const std::string &name, double wavelength) { add(name, wavelength, kRay, kX, kZ); }
  void reference(const std::string &name, V3 ray, V3 reference) {
    add(name, kWave, ray, reference, kZ);
  }

 private:
  static void put(double *p, V3 v) {
    p[0] = v.x;
    p[1] = v.y;
    p[2] = v.z;
  }
  std::vector<HitRecord> &out_;
};

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1), exactly representable.
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

  V3 direction() {
    for (;;) {
      const double x = range(-1.0, 1.0), y = range(-1.0, 1.0), z = range(-1.0, 1.0);
      const double s = (x * x + y * y) + z * z;
      if (s > 1.0 || s < 1e-6) continue;
      const double r = 1.0 / std::sqrt(s);
      return V3{x * r, y * r, z * r};
    }
  }
  // A unit vector in the x-z plane.
  V3 inPlaneXZ() {
    for (;;) {
      const double x = range(-1.0, 1.0), z = range(-1.0, 1.0);
      const double s = x * x + z * z;
      if (s > 1.0 || s < 1e-6) continue;
      const double r = 1.0 / std::sqrt(s);
      return V3{x * r, 0.0, z * r};
    }
  }
  // A component close to the snapping thresholds: within a few 1e-12 of 0 or of +-1.
  double nearThreshold() {
    const double offsets[] = {0.0, 4e-13, -4e-13, 9.99e-13, -9.99e-13, 1.001e-12, -1.001e-12,
                              3e-12};
    const double off = offsets[below(8)];
    switch (below(3)) {
      case 0: return off;
      case 1: return 1.0 + off;
      default: return -1.0 + off;
    }
  }

 private:
  std::uint64_t state_;
};

void namedCases(Builder &b) {
  // The worked example and its reflections through the quadrants.
  b.ray("worked-example", kRay);
  b.ray("worked-example-mirrored", V3{-0.3, -0.2, 0.9327379053088815});
  b.ray("worked-example-x-negative", V3{-0.3, 0.2, 0.9327379053088815});
  b.ray("worked-example-downward", V3{0.3, 0.2, -0.9327379053088815});
  b.ray("azimuth-minus-45", V3{0.6, -0.6, 0.5291502622129182});  // sqrt(0.28)

  // Snapping of the three vectors.
  b.ray("snap-near-one", V3{1 - 5e-13, 3e-4, 2e-4});
  b.ray("snap-huge-components", V3{1e200, 1e200, 1.0});
  b.ray("snap-minus-one-untouched", V3{-1.0, 0.3, 0.2});
  b.ray("snap-tiny-y", V3{0.6, 1e-13, -0.8});
  b.ray("snap-negative-zero", V3{-0.0, 0.6, 0.8});
  b.normal("normal-nearly-z-1", kRay, V3{1e-13, 0.0, 1 + 1e-13});
  b.normal("normal-nearly-z-2", kRay, V3{3e-13, -4e-13, 1 - 5e-13});
  b.normal("normal-minus-z", V3{0.5, 0.5, -0.7071067811865476}, V3{0.0, 0.0, -1.0});
  b.normal("normal-minus-z-tilted", kRay, V3{0.6, 0.0, -0.8});

  // Incidence and azimuth derivation.
  b.normal("tilted-normal-x", V3{0.0, 0.6, 0.8}, V3{0.6, 0.0, 0.8});
  b.normal("normal-along-x-60-degrees", V3{0.5, 0.5, 0.7071067811865476}, kX);
  b.normal("normal-along-y", kRay, kY);
  b.ray("ray-against-normal", V3{0.0, 0.0, -1.0});
  b.ray("ray-along-normal", kZ);
  b.ray("ray-grazing-x", kX);
  b.ray("ray-grazing-y", kY);
  b.ray("azimuth-exactly-90", V3{0.0, 0.6, 0.8});
  b.ray("azimuth-45", V3{0.6, 0.6, 0.5291502622129182});
  b.ray("azimuth-tiny-negative", V3{1e5, -1e-11, 0.0});
  b.ray("incidence-87", V3{0.9986295347545738, 0.0, 0.052335956242943966});
  b.ray("incidence-89.5", V3{0.9999619230641713, 0.0, 0.008726535498373897});
  b.normal("in-plane-xz", V3{0.6, 0.0, 0.8}, V3{0.28, 0.0, 0.96});
  b.normal("in-plane-xz-2", V3{-0.8, 0.0, 0.6}, V3{0.6, 0.0, 0.8});
  b.normal("ray-along-tilted-normal-exact", V3{0.0, 0.6, 0.8}, V3{0.0, 0.6, 0.8});

  // Wavelength brackets.
  b.wave("wavelength-0.40", 0.40);
  b.wave("wavelength-below-grid", 0.35);
  b.wave("wavelength-0.70", 0.70);
  b.wave("wavelength-above-grid", 0.75);
  b.wave("wavelength-0.553", 0.553);
  b.wave("wavelength-0.55", 0.55);
  b.wave("wavelength-0.62", 0.62);
  b.wave("wavelength-nan", kNaN);
  b.wave("wavelength-minus-nan", -kNaN);
  b.wave("wavelength-inf", kInf);
  b.wave("wavelength-minus-inf", -kInf);
  b.wave("wavelength-zero", 0.0);
  b.wave("wavelength-minus-zero", -0.0);
  b.wave("wavelength-subnormal", kDenormMin);
  b.wave("wavelength-huge", 1e300);

  // Orientation of the eigen-axes in the host's frame.
  b.reference("reference-y", kRay, kY);
  b.reference("reference-y-in-plane-ray", V3{0.6, 0.0, 0.8}, kY);
  b.reference("reference-diagonal", kRay, V3{0.7071067811865476, 0.7071067811865476, 0.0});
  b.reference("reference-minus-x", V3{-0.3, 0.2, 0.9327379053088815}, V3{-1.0, 0.0, 0.0});
  b.reference("reference-nan-x", kRay, V3{kNaN, 0.6, 0.8});
  b.reference("reference-nan-y", V3{-0.3, 0.2, 0.9327379053088815}, V3{0.6, kNaN, 0.8});
  b.reference("reference-nan-z", kRay, V3{1.0, 0.0, kNaN});
  b.reference("reference-nan-x-snapped", kRay, V3{kNaN, 0.0, 1.0});
  b.reference("reference-nan-axis-ray", kZ, V3{kNaN, kNaN, kNaN});
  b.reference("reference-zero", kRay, V3{0.0, 0.0, 0.0});
  b.reference("reference-inf", kRay, V3{kInf, 1.0, 0.0});
  b.reference("product-negligible", V3{1e-6, 1e-7, 0.9}, V3{0.6, 0.8, 0.0});

  // The three faults mended in the library (the null record pointers are the host's own check).
  // A grazing ray whose transverse length rounds above one gets incidence 90, not normal incidence.
  b.ray("grazing-rounds-above-one", V3{0.486, 0.8739588090980033, 0.0});
  b.ray("grazing-companion", V3{0.486 * 0.9999, 0.8739588090980033 * 0.9999, 0.0});
  // A ray exactly along a tilted normal whose dot product rounds below / above one: azimuth 0.
  b.normal("along-tilted-normal-below-one", V3{0.28, 0.34, 0.8977750274985375},
           V3{0.28, 0.34, 0.8977750274985375});
  b.normal("along-tilted-normal-above-one", V3{0.29, 0.16, 0.9435570994910696},
           V3{0.29, 0.16, 0.9435570994910696});
  b.normal("along-tilted-normal-reversed", V3{-0.28, -0.34, -0.8977750274985375},
           V3{0.28, 0.34, 0.8977750274985375});

  // Bad input: not-a-number, infinities, subnormals, signed zeros, vectors of the wrong length.
  b.ray("ray-nan-x", V3{kNaN, 0.2, 0.9});
  b.ray("ray-nan-z", V3{0.3, 0.2, kNaN});
  b.ray("ray-nan-snapped", V3{kNaN, 0.0, 1.0});
  b.ray("ray-all-nan", V3{kNaN, kNaN, kNaN});
  b.ray("ray-inf", V3{kInf, 0.0, 0.0});
  b.ray("ray-minus-inf-y", V3{0.3, -kInf, 0.5});
  b.ray("ray-subnormal", V3{kSubnormal, kDenormMin, 1.0});
  b.ray("ray-subnormal-only", V3{kSubnormal, -kDenormMin, 0.0});
  b.ray("ray-negative-zeros", V3{-0.0, -0.0, -1.0});
  b.ray("ray-zero", V3{0.0, 0.0, 0.0});
  b.ray("ray-long", V3{0.6, 0.4, 1.865475810617763});
  b.ray("ray-short", V3{0.15, 0.1, 0.4663689526544407});
  b.normal("normal-nan", kRay, V3{kNaN, 0.0, 0.9});
  b.normal("normal-nan-z", kRay, V3{0.0, 0.0, kNaN});
  b.normal("normal-inf", kRay, V3{0.0, kInf, 0.0});
  b.normal("normal-zero", kRay, V3{0.0, 0.0, 0.0});
  b.normal("normal-negative-zeros", kRay, V3{-0.0, -0.0, 1.0});
  b.normal("normal-long", kRay, V3{0.0, 1.2, 1.6});
  b.normal("normal-subnormal", kRay, V3{kSubnormal, kDenormMin, 0.5});
  b.normal("tilted-long-ray", V3{0.0, 1.2, 1.6}, V3{0.6, 0.0, 0.8});
  b.add("everything-nan", kNaN, V3{kNaN, kNaN, kNaN}, V3{kNaN, kNaN, kNaN},
        V3{kNaN, kNaN, kNaN});
  b.add("everything-zero", 0.0, V3{0.0, 0.0, 0.0}, V3{0.0, 0.0, 0.0}, V3{0.0, 0.0, 0.0});
}

void randomCases(Builder &b, int count) {
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
        normal = kZ;
        break;
      case 2:  // normal in the lower half-space
        if (normal.z > 0.0) normal = V3{-normal.x, -normal.y, -normal.z};
        break;
      case 3:  // ray and normal in the x-z plane, where rounding lands dot products on +-1
        ray = rng.inPlaneXZ();
        normal = rng.inPlaneXZ();
        reference = kX;
        break;
      case 4:  // axis-aligned normal
        normal = (rng.below(2) == 0) ? kX : kY;
        break;
      default:  // components next to the snapping thresholds
        ray.x = rng.nearThreshold();
        normal = V3{rng.nearThreshold() * 1e-3, rng.nearThreshold() * 1e-3, rng.nearThreshold()};
        reference.y = rng.nearThreshold();
        break;
    }
    if (rng.below(5) == 0) reference = (rng.below(2) == 0) ? kX : kY;
    b.add("random-" + std::to_string(k), wavelength, ray, reference, normal);
  }
}

}  // namespace

std::vector<HitRecord> goldenHits(int randomCount) {
  std::vector<HitRecord> out;
  Builder b(out);
  namedCases(b);
  randomCases(b, randomCount);
  return out;
}

}  // namespace hits
