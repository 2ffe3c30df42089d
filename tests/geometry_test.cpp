// Snapping of the record's vectors, the incidence angle and the folded azimuth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "geometry/incidence.h"
#include "geometry/units.h"
#include "tests/support/bits.h"

namespace surf {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

using surf_test::bits;

// Same double, signed zeros and not-a-numbers told apart by their bits.
#define EXPECT_SAME_DOUBLE(expected, actual) EXPECT_EQ(bits(expected), bits(actual)) \
  << "expected " << (expected) << ", got " << (actual)

struct SnapCase {
  const char *what;
  Vec3 in;
  Vec3 out;
};

TEST(CleanVector, SnapsAsTheRecordExpects) {
  const SnapCase cases[] = {
      {"near-one x zeroes y and z, keeps its value", {1 - 5e-13, 3e-4, 2e-4}, {1 - 5e-13, 0, 0}},
      {"one z zeroes huge neighbours", {1e200, 1e200, 1}, {0, 0, 1}},
      {"near minus one snaps nothing", {-1, 0.3, 0.2}, {-1, 0.3, 0.2}},
      {"negligible y only", {0.6, 1e-13, -0.8}, {0.6, 0, -0.8}},
      {"negative zero becomes positive zero", {-0.0, 0.6, 0.8}, {0.0, 0.6, 0.8}},
      {"not-a-number replaced when a neighbour is one", {kNaN, 0, 1}, {0, 0, 1}},
      {"not-a-number otherwise kept", {kNaN, 1e-13, 0.5}, {kNaN, 0, 0.5}},
      {"y one is seen after x one did not fire", {0.5, 1 + 1e-13, 0.5}, {0, 1 + 1e-13, 0}},
      // x one zeroes y and z first, so y (now 0) is no longer one and z is not either.
      {"x tested before y", {1, 1, 1}, {1, 0, 0}},
      {"just outside the tolerance", {1 - 1.1e-12, 1.1e-12, -1.1e-12}, {1 - 1.1e-12, 1.1e-12, -1.1e-12}},
      {"tiny negative snaps to +0", {-9e-13, 0.6, 0.8}, {0.0, 0.6, 0.8}},
  };
  for (const SnapCase &c : cases) {
    SCOPED_TRACE(c.what);
    Vec3 v = c.in;
    cleanVector(v);
    EXPECT_SAME_DOUBLE(c.out.x, v.x);
    EXPECT_SAME_DOUBLE(c.out.y, v.y);
    EXPECT_SAME_DOUBLE(c.out.z, v.z);
  }
}

TEST(FoldAzimuth, BoundariesAndQuadrants) {
  const struct {
    double in, out;
  } cases[] = {
      {90, 90},   {180, 0},  {270, 90}, {360, 0},   {-30, 30}, {20, 20},
      {160, 20},  {200, 20}, {340, 20}, {-146.30993247402023, 33.690067525979771},
      {-45, 45},  {0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_NEAR(c.out, foldAzimuth(c.in), 1e-12);
  }
  // A tiny negative azimuth reaches exactly 360 in the first loop and 0 in the second.
  EXPECT_SAME_DOUBLE(0.0, foldAzimuth(std::atan2(-1e-11, 1e5) * kRadToDeg));
  EXPECT_SAME_DOUBLE(-0.0, foldAzimuth(-0.0));  // -0.0 is not below 0
  EXPECT_TRUE(std::isnan(foldAzimuth(kNaN)));
}

struct AngleCase {
  const char *what;
  Vec3 ray, normal;
  double incidence, azimuth;  // degrees
  double tolerance;           // absolute, degrees; 0 means bit for bit
};

TEST(IncidenceAngles, WorkedCases) {
  const double s87 = std::sqrt(0.87);
  const AngleCase cases[] = {
      {"+z normal", {0.3, 0.2, s87}, {0, 0, 1}, 21.1342922148, 33.6900675260, 1e-9},
      {"+z normal, opposite quadrant", {-0.3, -0.2, s87}, {0, 0, 1}, 21.1342922148, 33.6900675260, 1e-9},
      {"+z normal, fourth quadrant", {0.6, -0.6, std::sqrt(0.28)}, {0, 0, 1}, 58.0519405687, 45, 1e-9},
      {"tilted normal", {0, 0.6, 0.8}, {0.6, 0, 0.8}, 50.2081805004, 51.3401917459, 1e-9},
      {"ray against +z normal", {0, 0, -1}, {0, 0, 1}, 0, 0, 0},
      {"ray in the surface plane", {1, 0, 0}, {0, 0, 1}, 90, 0, 0},
      // The general branch gives the azimuth one unit in the last place above 45 ...
      {"-z normal", {0.5, 0.5, -std::sqrt(0.5)}, {0, 0, -1}, 45, std::nextafter(45.0, 90.0), 0},
      // ... and, with the normal along x, the incidence one ulp above 60 and azimuth 90.
      {"normal along x", {0.5, 0.5, std::sqrt(0.5)}, {1, 0, 0}, std::nextafter(60.0, 90.0), 90, 0},
      {"ray along tilted normal, exact dot", {0, 0.6, 0.8}, {0, 0.6, 0.8}, 0, 0, 0},
  };
  for (const AngleCase &c : cases) {
    SCOPED_TRACE(c.what);
    const IncidenceAngles got = incidenceAngles(c.ray, c.normal);
    if (c.tolerance == 0) {
      EXPECT_SAME_DOUBLE(c.incidence, got.incidence);
      EXPECT_SAME_DOUBLE(c.azimuth, got.azimuth);
    } else {
      EXPECT_NEAR(c.incidence, got.incidence, c.tolerance);
      EXPECT_NEAR(c.azimuth, got.azimuth, c.tolerance);
    }
  }
}

TEST(IncidenceAngles, PlusZNormalIsTestedOnTheSnappedNormal) {
  for (Vec3 normal : {Vec3{1e-13, 0, 1 + 1e-13}, Vec3{3e-13, -4e-13, 1 - 5e-13}}) {
    cleanVector(normal);
    // Along the +z branch the sign of ray.z plays no part.
    const Vec3 ray{0.3, 0.2, -std::sqrt(0.87)};
    EXPECT_NEAR(21.1342922148, incidenceAngles(ray, normal).incidence, 1e-9);
    EXPECT_NEAR(33.6900675260, incidenceAngles(ray, normal).azimuth, 1e-9);
  }
}

// A ray in the surface plane whose components round to a transverse length above one is
// grazing: 90 degrees, not a not-a-number that the look-up would place at normal incidence.
TEST(IncidenceAngles, GrazingRayOnPlusZNormalIsClampedTo90) {
  int found = 0;
  for (int k = 1; k < 2000; ++k) {
    // One unit in the last place too long, as a host's normalisation may leave a vector.
    const double kLong = 1 + 0x1p-52;
    const double t = 0.000785 * k;
    const Vec3 ray{std::cos(t) * kLong, std::sin(t) * kLong, 0};
    if (!(std::sqrt(ray.y * ray.y + ray.x * ray.x) > 1.0)) continue;
    ++found;
    const IncidenceAngles got = incidenceAngles(ray, Vec3{0, 0, 1});
    EXPECT_SAME_DOUBLE(std::asin(1.0) * kRadToDeg, got.incidence);
    EXPECT_NEAR(foldAzimuth(t * kRadToDeg), got.azimuth, 1e-9);
  }
  EXPECT_GT(found, 10);
  // Not-a-number components still give a not-a-number angle.
  EXPECT_TRUE(std::isnan(incidenceAngles(Vec3{kNaN, 0.5, 0}, Vec3{0, 0, 1}).incidence));
}

// A ray along a tilted normal whose dot product rounds just off one has no tangential
// direction; its azimuth is 0, as on a +z normal, whichever way the last bit of the dot fell.
TEST(IncidenceAngles, RayAlongTiltedNormalHasAzimuthZero) {
  int below = 0, above = 0;
  for (int k = 1; k < 400 && (below == 0 || above == 0); ++k) {
    const double x = 0.01 * k, y = 0.37, z = 1.3;
    const double r = 1.0 / std::sqrt((x * x + y * y) + z * z);
    const Vec3 v{x * r, y * r, z * r};
    const double d = (v.y * v.y + v.x * v.x) + v.z * v.z;
    if (d == 1.0) continue;
    (d < 1.0 ? below : above)++;
    SCOPED_TRACE(d < 1.0 ? "dot just below one" : "dot just above one");
    const IncidenceAngles got = incidenceAngles(v, v);
    EXPECT_SAME_DOUBLE(0.0, got.azimuth);
    if (d < 1.0) {
      EXPECT_GT(got.incidence, 0.0);
      EXPECT_LT(got.incidence, 1e-4);
    } else {
      EXPECT_TRUE(std::isnan(got.incidence));
    }
  }
  EXPECT_GT(below, 0);
  EXPECT_GT(above, 0);
}

TEST(IncidenceAngles, NormalAlongXGivesAzimuth90ForEveryRay) {
  for (const Vec3 &ray : {Vec3{0.6, 0.8, 0}, Vec3{0.6, 0, 0.8}, Vec3{-0.36, 0.48, 0.8}}) {
    EXPECT_SAME_DOUBLE(90.0, incidenceAngles(ray, Vec3{1, 0, 0}).azimuth);
  }
}

}  // namespace
}  // namespace surf
