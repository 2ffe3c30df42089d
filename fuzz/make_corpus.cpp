// Writes the fuzzer's seed corpus: one small file per interesting ray hit, in the byte format
// of fuzz_input.h. The committed fuzz/corpus/ is this program's output:
//
//   cmake --build <fuzz build dir> --target surf_fuzz_make_corpus
//   <fuzz build dir>/fuzz/surf_fuzz_make_corpus fuzz/corpus
//
// (fuzz/run.sh builds it too.) Each seed is named after what it exercises.
#include <cmath>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_input.h"

namespace {

using surf_fuzz::Encoder;
using surf_fuzz::fromBits;

const double kNaN = fromBits(0x7FF8000000000000ull);
const double kSNaN = fromBits(0x7FF0000000000001ull);
const double kInf = INFINITY;
const double kSqrtHalf = std::sqrt(0.5);

// A plain hit: wavelength, ray, reference and normal given exactly.
Encoder hit(double w, const double ray[3], const double ref[3], const double normal[3],
            uint8_t flags = 0) {
  Encoder e;
  e.flags(flags).raw(w);
  e.rawVector(ray[0], ray[1], ray[2]);
  e.rawVector(ref[0], ref[1], ref[2]);
  e.rawVector(normal[0], normal[1], normal[2]);
  return e;
}

struct Seed {
  const char *name;
  Encoder encoder;
};

bool write(const std::string &dir, const Seed &s) {
  const std::string path = dir + "/" + s.name;
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const auto &b = s.encoder.bytes();
  const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  const double px[3] = {1, 0, 0}, py[3] = {0, 1, 0}, pz[3] = {0, 0, 1}, mz[3] = {0, 0, -1};
  const double example[3] = {0.3, 0.2, std::sqrt(0.87)};
  const double exampleMirrored[3] = {-0.3, -0.2, std::sqrt(0.87)};
  const double diagonal[3] = {0.6, -0.6, std::sqrt(0.28)};
  const double tilted[3] = {0.6, 0, 0.8};
  const double alongTilted[3] = {0, 0.6, 0.8};
  const double down45[3] = {0.5, 0.5, -kSqrtHalf};
  const double up45[3] = {0.5, 0.5, kSqrtHalf};
  const double grazingLong[3] = {std::nextafter(kSqrtHalf, 1.0), kSqrtHalf, 0};
  const double nanRef[3] = {kNaN, 0.5, 0.5};
  const double nanRefZ[3] = {1, 0, kNaN};
  const double nanNormal[3] = {kNaN, 0, 1};
  const double snapNearOne[3] = {1 - 5e-13, 3e-4, 2e-4};
  const double snapHuge[3] = {1e200, 1e200, 1};
  const double snapMinusOne[3] = {-1, 0.3, 0.2};
  const double snapSmall[3] = {0.6, 1e-13, -0.8};
  const double nearZ1[3] = {1e-13, 0, 1 + 1e-13};
  const double nearZ2[3] = {3e-13, -4e-13, 1 - 5e-13};
  const double infRay[3] = {kInf, -kInf, 0};
  const double nanRay[3] = {kNaN, kSNaN, kNaN};
  const double zero[3] = {0, 0, 0};
  const double negZero[3] = {-0.0, -0.0, -0.0};
  const double subnormal[3] = {4.9e-324, -4.9e-324, 1};
  const double tinyAzimuth[3] = {1e5, -1e-11, 0};
  const double underflowSquares[3] = {1e-160, 1e-170, 0};
  const double overflowSquares[3] = {1e200, 1e200, 1e200};

  const Seed seeds[] = {
      {"worked_example", hit(0.555, example, px, pz)},
      {"mirrored_quadrant", hit(0.555, exampleMirrored, px, pz)},
      {"diagonal_minus_45", hit(0.5, diagonal, py, pz)},
      {"tilted_normal", hit(0.553, alongTilted, px, tilted)},
      {"normal_minus_z", hit(0.62, down45, px, mz)},
      {"normal_plus_x", hit(0.55, up45, py, px)},
      {"ray_along_plus_z", hit(0.4, mz, px, pz)},
      {"ray_grazing_plus_x", hit(0.7, px, py, pz)},
      {"ray_along_tilted_normal", hit(0.45, alongTilted, px, alongTilted)},
      {"grazing_transverse_above_one", hit(0.6, grazingLong, px, pz)},
      {"nan_wavelength", hit(kNaN, example, px, pz)},
      {"nan_reference_x", hit(0.555, example, nanRef, pz)},
      {"nan_reference_z", hit(0.555, example, nanRefZ, pz)},
      {"nan_normal_snapped_to_z", hit(0.555, example, px, nanNormal)},
      {"snap_near_one", hit(0.555, snapNearOne, snapNearOne, snapNearOne)},
      {"snap_huge_neighbours", hit(0.555, example, snapHuge, snapHuge)},
      {"snap_minus_one", hit(0.555, snapMinusOne, snapMinusOne, snapMinusOne)},
      {"snap_small", hit(0.555, snapSmall, snapSmall, tilted)},
      {"normal_near_z_1", hit(0.555, example, px, nearZ1)},
      {"normal_near_z_2", hit(0.555, example, px, nearZ2)},
      {"infinite_ray", hit(kInf, infRay, infRay, pz)},
      {"infinite_ray_tilted", hit(-kInf, infRay, px, tilted)},
      {"nan_ray", hit(0.555, nanRay, nanRay, nanRay)},
      {"zero_vectors", hit(0.0, zero, zero, zero)},
      {"negative_zeros", hit(-0.0, negZero, negZero, negZero)},
      {"subnormals", hit(4.9e-324, subnormal, subnormal, subnormal)},
      {"tiny_negative_azimuth", hit(0.7, tinyAzimuth, px, pz)},
      {"underflowing_squares", hit(0.555, example, px, underflowSquares)},
      {"overflowing_squares", hit(1e300, overflowSquares, overflowSquares, overflowSquares)},
      {"wavelength_below_grid", hit(std::nextafter(0.4, 0.0), example, px, pz)},
      {"wavelength_above_grid", hit(std::nextafter(0.7, 1.0), example, px, tilted)},
      {"null_input", hit(0.555, example, px, pz, 1)},
      {"null_output", hit(0.555, example, px, pz, 2)},
      {"null_both", hit(0.555, example, px, pz, 3)},
      {"junk_unused_arguments", hit(0.555, example, px, pz, 0xE0)},
  };

  // Seeds in the compact encodings: unit vectors from angles, near-axis vectors, specials.
  Encoder units;
  units.flags(0x20).special(50).unitVector(12000, 9000).unitVector(32768, 0).unitVector(8000,
                                                                                       40000);
  Encoder axes;
  axes.flags(0x40).special(48).axisVector(0, false, 4, 2, 6).axisVector(1, true, 7, 8, 0)
      .axisVector(2, false, 2, 4, 5);
  Encoder specials;
  specials.flags(0).special(25);
  specials.componentVector().special(4).special(5).special(6);
  specials.componentVector().special(26).special(27).special(28);
  specials.componentVector().special(29).special(30).special(31);

  bool ok = true;
  for (const Seed &s : seeds) ok = write(argv[1], s) && ok;
  ok = write(argv[1], Seed{"unit_vectors", units}) && ok;
  ok = write(argv[1], Seed{"near_axis_vectors", axes}) && ok;
  ok = write(argv[1], Seed{"special_values", specials}) && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: cannot write to %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
