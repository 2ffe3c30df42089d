#include "tests/support/named_hits.h"

namespace surf_test {
namespace {

const double kSubnormal = 1.5e-310;

// The worked example: 0.555 um on a +z normal, ray (0.3, 0.2, sqrt(0.87)), reference +x.
const double kWave = 0.555;
const V3 kRay{0.3, 0.2, 0.9327379053088815};  // sqrt(0.87), the correctly rounded value

class Builder {
 public:
  explicit Builder(std::vector<NamedHit> &out) : out_(out) {}
  void add(const std::string &name, double wavelength, V3 ray, V3 reference, V3 normal) {
    out_.push_back(NamedHit{name, Hit{wavelength, ray, reference, normal}});
  }
  void ray(const std::string &name, V3 ray) { add(name, kWave, ray, kPlusX, kPlusZ); }
  void normal(const std::string &name, V3 ray, V3 normal) { add(name, kWave, ray, kPlusX, normal); }
  void wave(const std::string &name, double wavelength) {
    add(name, wavelength, kRay, kPlusX, kPlusZ);
  }
  void reference(const std::string &name, V3 ray, V3 reference) {
    add(name, kWave, ray, reference, kPlusZ);
  }

 private:
  std::vector<NamedHit> &out_;
};

void addNamedHits(Builder &b) {
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
  b.normal("normal-along-x-60-degrees", V3{0.5, 0.5, 0.7071067811865476}, kPlusX);
  b.normal("normal-along-y", kRay, kPlusY);
  b.ray("ray-against-normal", V3{0.0, 0.0, -1.0});
  b.ray("ray-along-normal", kPlusZ);
  b.ray("ray-grazing-x", kPlusX);
  b.ray("ray-grazing-y", kPlusY);
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
  b.reference("reference-y", kRay, kPlusY);
  b.reference("reference-y-in-plane-ray", V3{0.6, 0.0, 0.8}, kPlusY);
  b.reference("reference-diagonal", kRay, V3{0.7071067811865476, 0.7071067811865476, 0.0});
  b.reference("reference-minus-x", V3{-0.3, 0.2, 0.9327379053088815}, V3{-1.0, 0.0, 0.0});
  b.reference("reference-nan-x", kRay, V3{kNaN, 0.6, 0.8});
  b.reference("reference-nan-y", V3{-0.3, 0.2, 0.9327379053088815}, V3{0.6, kNaN, 0.8});
  b.reference("reference-nan-z", kRay, V3{1.0, 0.0, kNaN});
  b.reference("reference-nan-x-snapped", kRay, V3{kNaN, 0.0, 1.0});
  b.reference("reference-nan-axis-ray", kPlusZ, V3{kNaN, kNaN, kNaN});
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

}  // namespace

std::vector<NamedHit> namedHits() {
  std::vector<NamedHit> hits;
  Builder b(hits);
  addNamedHits(b);
  return hits;
}

}  // namespace surf_test
