// Black-box tests: the plug-in loaded by path and called through its two exports, as a host
// calls it. Expected values come from the data file, not from the library's own code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "plugin/coating_records.h"
#include "tests/data_file.h"
#include "tests/support/bits.h"
#include "tests/support/loaded_plugin.h"

namespace {

using surf_test::bits;
using surf_test::DataFile;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kUlp = std::numeric_limits<double>::epsilon();
constexpr int kInputSize = 24;  // a host record longer than the 18 elements the plug-in uses
constexpr double kPoison = -12345.678;

const surf_test::LoadedPlugin &plugin() { return surf_test::builtPlugin(); }

const DataFile &data() {
  static DataFile f = surf_test::readDataFile(SURF_DATASET_FILE);
  return f;
}

struct Hit {
  double in[kInputSize];
  double out[kCoatingOutputCount];
};

Hit makeHit(double wavelength, const double ray[3], const double reference[3], const double normal[3]) {
  Hit h;
  for (int k = 0; k < kInputSize; ++k) h.in[k] = 1000.0 + k;  // host data the plug-in must not touch
  h.in[kInWavelength] = wavelength;
  for (int k = 0; k < 3; ++k) {
    h.in[kInRayDirectionX + k] = ray[k];
    h.in[kInReferenceDirectionX + k] = reference[k];
    h.in[kInSurfaceNormalX + k] = normal[k];
  }
  for (double &v : h.out) v = kPoison;
  return h;
}

double evaluate(Hit &h) { return plugin().evaluate(h.in, nullptr, nullptr, nullptr, h.out); }

double mueller(const Hit &h, int base, int i, int j) { return h.out[base + 4 * i + j]; }

// Trilinear blend of one column straight from the data file, with the weights formed the
// textbook way; it agrees with the plug-in to a few units in the last place.
double blend(int column, int iw, double fw, int ii, double fi, int ia, double fa) {
  double v = 0;
  for (int c = 0; c < 8; ++c) {
    const int dw = c >> 2, di = (c >> 1) & 1, da = c & 1;
    const double weight = (dw ? fw : 1 - fw) * (di ? fi : 1 - fi) * (da ? fa : 1 - fa);
    v += weight * data().sample(iw + dw, ii + di, ia + da)[column];
  }
  return v;
}

enum Column { kRs, kRp, kREigen1, kREigen2, kRAxis, kRExtra, kTs, kTp, kTEigen1, kTEigen2, kTAxis };

const double kPlusX[3] = {1, 0, 0};
const double kPlusZ[3] = {0, 0, 1};

class PluginTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin().ok()) << plugin().error;
    ASSERT_EQ(static_cast<size_t>(11191 * 12), data().values.size());
  }
};

// The worked example: 0.555 um, a ray at 21.13 degrees of incidence and azimuth 33.69 on a +z
// normal, reference along +x.
TEST_F(PluginTest, WorkedExample) {
  const double ray[3] = {0.3, 0.2, std::sqrt(0.87)};
  Hit h = makeHit(0.555, ray, kPlusX, kPlusZ);
  EXPECT_EQ(0.0, evaluate(h));

  const int iw = 15, ii = 4, ia = 6;
  const double fw = 0.5, fi = 0.226858442957, fa = 0.738013505196;
  const double tol = 1e-11;  // the fractions above carry twelve digits
  EXPECT_NEAR(blend(kRs, iw, fw, ii, fi, ia, fa), h.out[kOutReflectanceS], tol);
  EXPECT_NEAR(blend(kRp, iw, fw, ii, fi, ia, fa), h.out[kOutReflectanceP], tol);
  EXPECT_NEAR(blend(kTs, iw, fw, ii, fi, ia, fa), h.out[kOutTransmittanceS], tol);
  EXPECT_NEAR(blend(kTp, iw, fw, ii, fi, ia, fa), h.out[kOutTransmittanceP], tol);
  EXPECT_EQ((1.0 - h.out[kOutReflectanceS]) - h.out[kOutTransmittanceS], h.out[kOutAbsorptanceS]);
  EXPECT_EQ((1.0 - h.out[kOutReflectanceP]) - h.out[kOutTransmittanceP], h.out[kOutAbsorptanceP]);
  EXPECT_EQ(180.0, h.out[kOutReflectionPhase]);
  EXPECT_EQ(0.0, h.out[kOutTransmissionPhase]);
  EXPECT_EQ(-1.0, h.out[kOutAuxiliaryValue]);

  // x*y > 0 and the reference at 0 degrees: the reflection axis is turned to rAxis + 90 and the
  // transmission axis to 90 - tAxis. The intensity row of Rot(-a) D Rot(a) is
  // (q, p cos 2a, p sin 2a, 0).
  const double e1 = blend(kREigen1, iw, fw, ii, fi, ia, fa), e2 = blend(kREigen2, iw, fw, ii, fi, ia, fa);
  const double t1 = blend(kTEigen1, iw, fw, ii, fi, ia, fa), t2 = blend(kTEigen2, iw, fw, ii, fi, ia, fa);
  const double h2 = 2 * (blend(kRAxis, iw, fw, ii, fi, ia, fa) + 90) * M_PI / 180;
  const double g2 = 2 * (90 - blend(kTAxis, iw, fw, ii, fi, ia, fa)) * M_PI / 180;
  const int r = kOutReflectionMueller, t = kOutTransmissionMueller;
  EXPECT_NEAR((e1 + e2) / 2, mueller(h, r, 0, 0), tol);
  EXPECT_NEAR((e1 - e2) / 2 * std::cos(h2), mueller(h, r, 0, 1), tol);
  EXPECT_NEAR((e1 - e2) / 2 * std::sin(h2), mueller(h, r, 0, 2), tol);
  EXPECT_NEAR(-std::sqrt(e1 * e2), mueller(h, r, 3, 3), tol);
  EXPECT_NEAR((t1 + t2) / 2, mueller(h, t, 0, 0), tol);
  EXPECT_NEAR((t1 - t2) / 2 * std::cos(g2), mueller(h, t, 0, 1), tol);
  EXPECT_NEAR((t1 - t2) / 2 * std::sin(g2), mueller(h, t, 0, 2), tol);
  EXPECT_NEAR(std::sqrt(t1 * t2), mueller(h, t, 3, 3), tol);

  // The vectors were already clean; the host data around them is untouched.
  for (int k = 0; k < kInputSize; ++k) {
    if (k == kInWavelength || (k >= 5 && k <= 7) || (k >= 12 && k <= 17)) continue;
    EXPECT_EQ(1000.0 + k, h.in[k]) << "input element " << k;
  }
  EXPECT_EQ(bits(std::sqrt(0.87)), bits(h.in[kInRayDirectionZ]));
}

// Geometries that land exactly on grid points give the table's own samples, bit for bit.
TEST_F(PluginTest, GridPointsGiveTableSamples) {
  const double alongNormal[3] = {0, 0, -1};
  const double grazing[3] = {1, 0, 0};
  const struct {
    const char *what;
    double wavelength;
    const double *ray;
    int iw, ii;
  } cases[] = {
      {"first sample", 0.40, alongNormal, 0, 0},
      {"below the wavelength grid", 0.35, alongNormal, 0, 0},
      {"not-a-number wavelength", kNaN, alongNormal, 0, 0},
      {"interior wavelength", 0.55, alongNormal, 15, 0},
      {"above the wavelength grid", 0.95, alongNormal, 30, 0},
      {"grazing ray", 0.70, grazing, 30, 18},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Hit h = makeHit(c.wavelength, c.ray, kPlusX, kPlusZ);
    evaluate(h);
    const double *s = data().sample(c.iw, c.ii, 0);
    EXPECT_EQ(s[kRs], h.out[kOutReflectanceS]);
    EXPECT_EQ(s[kRp], h.out[kOutReflectanceP]);
    EXPECT_EQ(s[kTs], h.out[kOutTransmittanceS]);
    EXPECT_EQ(s[kTp], h.out[kOutTransmittanceP]);
    if (c.ray != alongNormal) continue;
    // With no transverse part both axes stay at 0: the matrices are the bare diattenuators.
    EXPECT_EQ((s[kREigen2] + s[kREigen1]) * 0.5, mueller(h, kOutReflectionMueller, 0, 0));
    EXPECT_EQ((s[kREigen1] - s[kREigen2]) * 0.5, mueller(h, kOutReflectionMueller, 0, 1));
    EXPECT_EQ(-std::sqrt(s[kREigen2] * s[kREigen1]), mueller(h, kOutReflectionMueller, 2, 2));
    EXPECT_EQ((s[kTEigen1] - s[kTEigen2]) * 0.5, mueller(h, kOutTransmissionMueller, 1, 0));
    EXPECT_EQ(std::sqrt(s[kTEigen2] * s[kTEigen1]), mueller(h, kOutTransmissionMueller, 2, 2));
    // The transmission matrix's [3][2] is +0.0, as the sums of the products give it.
    EXPECT_EQ(bits(0.0), bits(mueller(h, kOutTransmissionMueller, 3, 2)));
  }
}

TEST_F(PluginTest, InitReturnsOneAndChangesNothing) {
  const double ray[3] = {0.48, -0.36, 0.8};
  Hit before = makeHit(0.61, ray, kPlusX, kPlusZ);
  evaluate(before);
  int hostData = 0;
  EXPECT_EQ(1.0, plugin().init(&hostData));
  EXPECT_EQ(1.0, plugin().init(nullptr));
  Hit after = makeHit(0.61, ray, kPlusX, kPlusZ);
  evaluate(after);
  EXPECT_EQ(0, std::memcmp(before.out, after.out, sizeof before.out));
}

// Arguments 2 to 4 are never touched, even when they are not valid pointers.
TEST_F(PluginTest, UnusedArgumentsMayHoldAnything) {
  const double ray[3] = {0.48, -0.36, 0.8};
  Hit a = makeHit(0.47, ray, kPlusX, kPlusZ), b = a;
  evaluate(a);
  void *junk = reinterpret_cast<void *>(uintptr_t{0xdead});
  EXPECT_EQ(0.0, plugin().evaluate(b.in, junk, junk, junk, b.out));
  EXPECT_EQ(0, std::memcmp(a.out, b.out, sizeof a.out));
}

// Whatever the numbers, the call returns 0.0, writes every output, keeps the constants and
// leaves the host's own elements alone.
TEST_F(PluginTest, EveryCallWritesEveryOutput) {
  std::mt19937_64 rng(20261209);
  const double specials[] = {kNaN, -kNaN, std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), -0.0, 0.0, 1.0, -1.0,
                             1 + 1e-13, 1 - 1e-13, 5e-13, std::numeric_limits<double>::denorm_min(),
                             1e300, 0.7071067811865476};
  std::uniform_real_distribution<double> u(-1.2, 1.2);
  std::uniform_int_distribution<int> pick(0, 2 * std::size(specials) - 1);
  for (int n = 0; n < 5000; ++n) {
    double v[10];
    for (double &x : v) {
      const int k = pick(rng);
      x = k < static_cast<int>(std::size(specials)) ? specials[k] : u(rng);
    }
    v[0] = std::fabs(v[0]) * 0.7;
    Hit h = makeHit(v[0], v + 1, v + 4, v + 7);
    ASSERT_EQ(0.0, evaluate(h));
    for (int k = 0; k < kCoatingOutputCount; ++k) ASSERT_NE(bits(kPoison), bits(h.out[k])) << k;
    ASSERT_EQ(180.0, h.out[kOutReflectionPhase]);
    ASSERT_EQ(0.0, h.out[kOutTransmissionPhase]);
    ASSERT_EQ(-1.0, h.out[kOutAuxiliaryValue]);
    for (int k = kOutAbsorptanceS; k <= kOutTransmittanceP; ++k) ASSERT_TRUE(std::isfinite(h.out[k]));
    for (int base : {kOutReflectionMueller, kOutTransmissionMueller})
      for (int corner : {0, 3, 12, 15}) ASSERT_TRUE(std::isfinite(h.out[base + corner]));
    EXPECT_NEAR(1.0, h.out[0] + h.out[2] + h.out[4], 2 * kUlp);
    EXPECT_NEAR(1.0, h.out[1] + h.out[3] + h.out[5], 2 * kUlp);
    for (int k : {1, 2, 3, 4, 8, 9, 10, 11, 18, 23}) ASSERT_EQ(1000.0 + k, h.in[k]);
    ASSERT_EQ(bits(v[0]), bits(h.in[kInWavelength]));
    // A vector element is unchanged or was snapped to +0.0.
    const int vectorElements[9] = {5, 6, 7, 12, 13, 14, 15, 16, 17};
    for (int k = 0; k < 9; ++k) {
      const double now = h.in[vectorElements[k]];
      ASSERT_TRUE(bits(now) == bits(v[1 + k]) || bits(now) == bits(0.0)) << vectorElements[k];
    }
    // Evaluating the snapped record again changes nothing.
    Hit again = h;
    evaluate(again);
    ASSERT_EQ(0, std::memcmp(h.in, again.in, sizeof h.in));
    ASSERT_EQ(0, std::memcmp(h.out, again.out, sizeof h.out));
  }
}

// A null record pointer reads and writes nothing instead of crashing the host.
TEST_F(PluginTest, NullRecordPointersAreRefusedQuietly) {
  const double ray[3] = {0.3, 0.2, std::sqrt(0.87)};
  Hit h = makeHit(0.555, ray, kPlusX, kPlusZ);
  const Hit untouched = h;
  EXPECT_EQ(0.0, plugin().evaluate(nullptr, nullptr, nullptr, nullptr, h.out));
  EXPECT_EQ(0.0, plugin().evaluate(h.in, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(0.0, plugin().evaluate(nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(0, std::memcmp(&untouched, &h, sizeof h));
}

// A grazing ray on a +z normal whose components round to a transverse length above one gets
// the grazing response, as the same ray on a tilted normal does, not the normal-incidence one.
TEST_F(PluginTest, GrazingRayOnPlusZNormalGetsTheGrazingResponse) {
  int found = 0;
  for (int k = 1; k < 2000 && found < 5; ++k) {
    const double kLong = 1 + 0x1p-52;  // one ulp too long, as a host may leave a vector
    const double t = 0.000785 * k;  // 0 .. 90 degrees of azimuth
    const double ray[3] = {std::cos(t) * kLong, std::sin(t) * kLong, 0};
    if (!(std::sqrt(ray[1] * ray[1] + ray[0] * ray[0]) > 1.0)) continue;
    ++found;
    Hit hit = makeHit(0.40, ray, kPlusX, kPlusZ);
    evaluate(hit);
    // Incidence beyond 89 degrees uses the last row at fraction 1.
    const double deg = t * 180 / M_PI;
    const int ia = static_cast<int>(deg / 5);
    const double fa = (deg - 5 * ia) / 5;
    EXPECT_NEAR(blend(kRs, 0, 0, 17, 1, ia, fa), hit.out[kOutReflectanceS], 1e-9) << deg;
    EXPECT_NEAR(blend(kTp, 0, 0, 17, 1, ia, fa), hit.out[kOutTransmittanceP], 1e-9) << deg;
  }
  EXPECT_GT(found, 0);
}

// A ray exactly along a tilted normal has no plane of incidence: it gets azimuth 0 however the
// last bit of its dot product with the normal rounds. Azimuth 90 would swap s and p.
TEST_F(PluginTest, RayAlongTiltedNormalGetsAzimuthZero) {
  int tried = 0;
  for (int k = 1; k < 200 && tried < 6; ++k) {
    const double x = 0.013 * k, y = 0.37, z = 1.3;
    const double r = 1.0 / std::sqrt((x * x + y * y) + z * z);
    const double n[3] = {x * r, y * r, z * r};
    const double d = (n[1] * n[1] + n[0] * n[0]) + n[2] * n[2];
    if (d == 1.0) continue;
    ++tried;
    Hit hit = makeHit(0.40, n, kPlusX, n);
    evaluate(hit);
    const double *s = data().sample(0, 0, 0);
    // Below one the incidence is a hair above 0; above one it is not-a-number and placed at 0.
    EXPECT_NEAR(s[kRs], hit.out[kOutReflectanceS], 1e-6) << "dot " << d;
    EXPECT_NEAR(s[kRp], hit.out[kOutReflectanceP], 1e-6) << "dot " << d;
  }
  EXPECT_GT(tried, 0);
}

// A not-a-number reference x reaches the twelve elements of each matrix in rows or columns 1
// and 2; its z component is never read.
TEST_F(PluginTest, NotANumberReference) {
  const double ray[3] = {0.3, 0.2, std::sqrt(0.87)};
  const double badX[3] = {kNaN, 0.5, 0.5}, badZ[3] = {1, 0, kNaN};
  Hit x = makeHit(0.555, ray, badX, kPlusZ), z = makeHit(0.555, ray, badZ, kPlusZ),
      clean = makeHit(0.555, ray, kPlusX, kPlusZ);
  evaluate(x);
  evaluate(z);
  evaluate(clean);
  for (int base : {kOutReflectionMueller, kOutTransmissionMueller})
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        const bool outer = (i == 0 || i == 3) && (j == 0 || j == 3);
        EXPECT_EQ(!outer, std::isnan(mueller(x, base, i, j))) << base << " " << i << j;
      }
  EXPECT_EQ(0, std::memcmp(z.out, clean.out, sizeof z.out));
  EXPECT_EQ(bits(0.0), bits(z.in[kInReferenceDirectionZ]));  // snapped by the x that is one
}

}  // namespace
