// The Mueller building blocks, their products, and the turning of the eigen-axes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "geometry/units.h"
#include "mueller/mueller.h"
#include "tests/support/bits.h"

namespace surf {
namespace {

const double kUlp = std::numeric_limits<double>::epsilon();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

double at(const Mat4 &m, int i, int j) { return m.m[4 * i + j]; }

Mat4 randomMat4(std::mt19937_64 &rng) {
  std::uniform_real_distribution<double> u(-2, 2);
  Mat4 m;
  for (double &v : m.m) v = u(rng);
  return m;
}

TEST(MatMul4, MatchesTheRowByColumnSumsAndAllowsAliasing) {
  std::mt19937_64 rng(7);
  for (int n = 0; n < 50; ++n) {
    const Mat4 l = randomMat4(rng), r = randomMat4(rng);
    Mat4 p;
    matMul4(p, l, r);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        ASSERT_EQ(((at(l, i, 0) * at(r, 0, j) + at(l, i, 1) * at(r, 1, j)) + at(l, i, 2) * at(r, 2, j)) +
                      at(l, i, 3) * at(r, 3, j),
                  at(p, i, j));
    Mat4 left = l, right = r;
    matMul4(left, left, r);
    matMul4(right, l, right);
    EXPECT_EQ(0, std::memcmp(&p, &left, sizeof p));
    EXPECT_EQ(0, std::memcmp(&p, &right, sizeof p));
  }
}

TEST(RotationMueller, InverseTurnUndoesTheTurn) {
  for (double deg : {0.0, 12.5, 45.0, 90.0, 137.0, -33.0}) {
    const double a2 = (deg * 2.0) * kDegToRad;
    const double c = std::cos(a2), s = std::sin(a2);
    Mat4 p;
    matMul4(p, rotationMueller(c, -s), rotationMueller(c, s));
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(i == j ? 1.0 : 0.0, at(p, i, j), 2 * kUlp) << deg;
  }
}

TEST(DiattenuatorMueller, HoldsTheEigenValuesAndRetardance) {
  const double e1 = 0.0775963, e2 = 0.890069;
  const Mat4 d = diattenuatorMueller(e1, e2, kReflectionRetardance);
  const double r = std::sqrt(e2 * e1);
  EXPECT_EQ((e2 + e1) * 0.5, at(d, 0, 0));
  EXPECT_EQ((e1 - e2) * 0.5, at(d, 0, 1));
  EXPECT_EQ(-r, at(d, 2, 2));  // cos(pi) is exactly -1
  // sin(pi) is a tiny non-zero number, kept as the maths library gives it.
  EXPECT_EQ(std::sin(3.141592653589793) * r, at(d, 2, 3));
  EXPECT_NE(0.0, at(d, 2, 3));
  EXPECT_EQ(-(std::sin(3.141592653589793) * r), at(d, 3, 2));
  const Mat4 t = diattenuatorMueller(e1, e2, 0.0);
  EXPECT_EQ(r, at(t, 3, 3));
  EXPECT_TRUE(at(t, 3, 2) == 0 && std::signbit(at(t, 3, 2)));  // -(0 * r)
}

// Rot(-alpha) D Rot(alpha) keeps the intensity row's first element and the circular element
// whatever the axis; equal eigen-values make it a multiple of the identity.
TEST(RotatedDiattenuatorMueller, InvariantsOverAxisAngles) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> angle(-200, 200), value(0, 1);
  for (int n = 0; n < 200; ++n) {
    const double alpha = angle(rng), a = value(rng), b = value(rng);
    const double e1 = std::fmin(a, b), e2 = std::fmax(a, b);
    const Mat4 refl = rotatedDiattenuatorMueller(alpha, e1, e2, kReflectionRetardance);
    const Mat4 trans = rotatedDiattenuatorMueller(alpha, e2, e1, 0.0);
    EXPECT_EQ((e2 + e1) * 0.5, at(refl, 0, 0));
    EXPECT_EQ(-std::sqrt(e2 * e1), at(refl, 3, 3));
    EXPECT_EQ(std::sqrt(e1 * e2), at(trans, 3, 3));
    const Mat4 same = rotatedDiattenuatorMueller(alpha, a, a, 0.0);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(i == j ? a : 0.0, at(same, i, j), 4 * kUlp);
  }
  const Mat4 exact = rotatedDiattenuatorMueller(0.0, 0.3, 0.3, 0.0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(i == j ? 0.3 : 0.0, std::fabs(at(exact, i, j)));
}

// At axis 0 the rotations are the identity; the product's sums turn the diattenuator's -0.0
// at [3][2] into +0.0.
TEST(RotatedDiattenuatorMueller, AxisZeroGivesTheBareDiattenuator) {
  const Mat4 d = diattenuatorMueller(0.2, 0.7, 0.0);
  const Mat4 w = rotatedDiattenuatorMueller(0.0, 0.2, 0.7, 0.0);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(d.m[k], w.m[k]);
  EXPECT_TRUE(std::signbit(at(d, 3, 2)));
  EXPECT_FALSE(std::signbit(at(w, 3, 2)));
}

// The shortcut that skips products with the factors' constant zeros must give the bits of the
// full products: signed zeros (equal eigen-values, zero eigen-values, axis 0) and
// not-a-numbers included.
TEST(RotatedDiattenuatorMueller, ShortcutGivesTheBitsOfTheFullProducts) {
  const double inf = std::numeric_limits<double>::infinity();
  const double angles[] = {0.0,  -0.0, 45.0, 90.0, -90.0, 180.0, 22.5, 1e-300, -1e-300, 1e300,
                           kNaN, inf,  -inf, 0.04, 89.96, 135.0, -4.55, 360.0, 1e-20, 270.0};
  const double values[] = {0.0,  -0.0, 1.0,  0.5,  0.0775963, 0.890069, 3.36044e-05, 1e-310,
                           -0.25, kNaN, inf,  1e-160, 1e300};
  std::mt19937_64 rng(20261209);
  std::uniform_real_distribution<double> u(0, 1), angle(-400, 400);
  int compared = 0;
  for (double delta : {kReflectionRetardance, 0.0}) {
    for (double alpha : angles)
      for (double e1 : values)
        for (double e2 : values) {
          const Mat4 fast = rotatedDiattenuatorMueller(alpha, e1, e2, delta);
          const Mat4 full = rotatedDiattenuatorMuellerLiteral(alpha, e1, e2, delta);
          ASSERT_EQ(0, std::memcmp(&fast, &full, sizeof fast))
              << "alpha " << alpha << " e1 " << e1 << " e2 " << e2 << " delta " << delta;
          ++compared;
        }
    for (int n = 0; n < 20000; ++n) {
      const double alpha = angle(rng), e1 = u(rng), e2 = n % 7 == 0 ? e1 : u(rng);
      const Mat4 fast = rotatedDiattenuatorMueller(alpha, e1, e2, delta);
      const Mat4 full = rotatedDiattenuatorMuellerLiteral(alpha, e1, e2, delta);
      ASSERT_EQ(0, std::memcmp(&fast, &full, sizeof fast))
          << "alpha " << alpha << " e1 " << e1 << " e2 " << e2 << " delta " << delta;
      ++compared;
    }
  }
  EXPECT_EQ(2 * (20 * 13 * 13 + 20000), compared);
}

// Two beams go through the shortcut side by side; each must come out as if alone, also when
// only one of them has to take the full products (axis 0, not-a-numbers, zero eigen-values).
TEST(RotatedDiattenuatorMueller, TwoBeamsSideBySideComeOutAsAlone) {
  const double special[][3] = {{0.0, 0.3, 0.6},  {kNaN, 0.3, 0.6}, {30.0, 0.0, 0.0},
                               {30.0, -0.0, 0.4}, {45.0, 0.5, 0.5}, {12.5, 0.2, 0.7}};
  std::mt19937_64 rng(41);
  std::uniform_real_distribution<double> u(0, 1), angle(-200, 200);
  std::vector<DiattenuatorBeam> beams;
  for (const auto &b : special) {
    beams.push_back(diattenuatorBeam(b[0], b[1], b[2], kReflectionRetardance));
    beams.push_back(diattenuatorBeam(b[0], b[1], b[2], 0.0));
  }
  // No cos or sin gives these, but the shortcut must not overflow where the full products do.
  const double huge = std::ldexp(1.0, 600), tiny = std::ldexp(1.0, -600);
  beams.push_back(DiattenuatorBeam{huge, 0.5, huge, tiny, -1.0, std::sin(kReflectionRetardance)});
  beams.push_back(DiattenuatorBeam{0.5, -huge, huge, 0.25, 1.0, 0.0});
  for (int n = 0; n < 40; ++n) {
    const double delta = n % 2 ? 0.0 : kReflectionRetardance;
    beams.push_back(diattenuatorBeam(angle(rng), u(rng), u(rng), delta));
  }
  for (const DiattenuatorBeam &first : beams)
    for (const DiattenuatorBeam &second : beams) {
      Mat4 fast[2], alone[2];
      rotatedDiattenuatorMuellers(first, fast[0].m, second, fast[1].m);
      rotatedDiattenuatorMuellerLiteral(first, alone[0].m);
      rotatedDiattenuatorMuellerLiteral(second, alone[1].m);
      ASSERT_EQ(0, std::memcmp(fast, alone, sizeof fast))
          << "c " << first.c << " e1 " << first.e1 << " with c " << second.c << " e1 " << second.e1;
    }
}

// cosSin must give exactly the bits of separate cos and sin calls: on the arguments the axis
// turns and the retardances produce, on multiples of pi/4 and their neighbours, on magnitudes
// from the subnormals up through every range the library's argument reduction tells apart, and
// on infinities and not-a-numbers. SURF_COSSIN_ARGUMENTS sets how many arguments are drawn
// (default 2^21); docs/exactness.md shows the longer run over each of the maths library's
// implementations for this processor.
TEST(CosSin, GivesTheBitsOfSeparateCosAndSin) {
  long long count = 1 << 21;
  if (const char *n = std::getenv("SURF_COSSIN_ARGUMENTS")) count = std::atoll(n);
  const double pi = kReflectionRetardance;
  typedef double (*Draw)(std::mt19937_64 &);
  const Draw draws[] = {
      // any bit pattern: every exponent, both zeros, infinities, not-a-numbers with payloads
      [](std::mt19937_64 &r) { return surf_test::fromBits(r()); },
      [](std::mt19937_64 &r) { return std::uniform_real_distribution<double>(-7, 7)(r); },
      // an axis turn as axisTurn forms it, from an oriented axis angle in degrees
      [](std::mt19937_64 &r) {
        const double alpha = std::uniform_real_distribution<double>(-460, 460)(r);
        return (alpha * 2.0) * kDegToRad;
      },
      // a multiple of pi/4 up to 4096 pi, or one or two units in the last place beside it
      [](std::mt19937_64 &r) {
        const double k = static_cast<double>(static_cast<long long>(r() % 32769) - 16384);
        double x = k * (kReflectionRetardance / 4);
        for (int step = static_cast<int>(r() % 5) - 2; step != 0; step += step > 0 ? -1 : 1)
          x = std::nextafter(x, step > 0 ? HUGE_VAL : -HUGE_VAL);
        return x;
      },
      // a magnitude 2^-1074 to 2^80, either sign: subnormals, the small-argument shortcuts and
      // every reduction
      [](std::mt19937_64 &r) {
        const double m = std::uniform_real_distribution<double>(1, 2)(r);
        const double x = std::ldexp(m, static_cast<int>(r() % 1155) - 1075);
        return r() % 2 ? x : -x;
      },
  };
  const double fixed[] = {0.0, -0.0, pi, -pi, pi / 2, pi / 4, 2 * pi, 0.0 * kDegToRad,
                          kNaN, -kNaN, surf_test::fromBits(0x7FF0000000000001ull),
                          HUGE_VAL, -HUGE_VAL, std::numeric_limits<double>::denorm_min(),
                          std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
                          0x1p-27, 0x1p-26, std::nextafter(0x1p-27, 0.0),
                          std::nextafter(0x1p-26, 0.0), 0.855469, 2.426265, 105414350.0};
  std::mt19937_64 rng(20261209);
  long long compared = 0, differences = 0;
  const auto compare = [&](double x) {
    const CosSin both = cosSin(x);
    const double c = std::cos(x), s = std::sin(x);
    ++compared;
    if (surf_test::sameBits(both.c, c) && surf_test::sameBits(both.s, s)) return;
    if (++differences <= 5)
      ADD_FAILURE() << "x " << surf_test::hexBits(x) << ": cos " << surf_test::hexBits(both.c)
                    << " for " << surf_test::hexBits(c) << ", sin " << surf_test::hexBits(both.s)
                    << " for " << surf_test::hexBits(s);
  };
  for (double x : fixed) compare(x);
  const int kinds = sizeof draws / sizeof draws[0];
  for (long long n = 0; n < count; ++n) compare(draws[n % kinds](rng));
  EXPECT_EQ(0, differences) << "of " << compared << " arguments";
  EXPECT_EQ(count + static_cast<long long>(sizeof fixed / sizeof fixed[0]), compared);
}

struct OrientCase {
  const char *what;
  Vec3 ray, reference;
  double h, g;  // expected, from rAxis = 10 and tAxis = 30
};

TEST(OrientAxes, TurnsFoldedAxesIntoTheHostFrame) {
  const double r = 10, t = 30;
  const OrientCase cases[] = {
      {"no transverse part", {0, 0, 1}, {1, 0, 0}, 0, 0},
      {"x*y negligible, neither is", {1e-7, 1e-7, 1}, {1, 0, 0}, 0, 0},
      {"both negligible, not zero", {1e-13, -1e-13, 1}, {1, 0, 0}, 0, 0},
      {"x negligible, y not", {1e-13, 0.6, 0.8}, {0, 1, 0}, r, 180 - t},
      {"x-z plane, reference +x", {0.6, 0, 0.8}, {1, 0, 0}, r + 90, 90 - t},
      {"y-z plane, reference +y", {0, 0.6, 0.8}, {0, 1, 0}, r, 180 - t},
      {"x*y > 0, reference +x", {0.3, 0.2, 0.9}, {1, 0, 0}, r + 90, 90 - t},
      {"x*y < 0 mirrors, reference +x", {0.3, -0.2, 0.9}, {1, 0, 0}, 90 - r, t + 90},
      {"reference z is not read", {0.3, 0.2, 0.9}, {0, 1, kNaN}, r, 180 - t},
  };
  for (const OrientCase &c : cases) {
    SCOPED_TRACE(c.what);
    const OrientedAxes got = orientAxes(c.ray, referenceAzimuth(c.reference), r, t);
    EXPECT_NEAR(c.h, got.reflection, 1e-12);
    EXPECT_NEAR(c.g, got.transmission, 1e-12);
  }
  // A not-a-number reference reaches the angles only when the ray has a transverse part.
  const double nanAzimuth = referenceAzimuth({kNaN, 0, 0});
  EXPECT_TRUE(std::isnan(orientAxes({0.3, 0.2, 0.9}, nanAzimuth, r, t).reflection));
  EXPECT_EQ(0.0, orientAxes({0, 0, 1}, nanAzimuth, r, t).reflection);
}

}  // namespace
}  // namespace surf
