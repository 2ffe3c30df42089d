// The frames the two Mueller matrices are documented in (tools/probe/frames.h), checked on the
// built plug-in against the laws they must obey: reflected plus transmitted light never exceeds
// the incident light, the reference direction only turns the frames, and near normal incidence
// a coating whose grid is fixed in the surface answers the same whatever the plane of incidence.
#include "tools/probe/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "geometry/units.h"
#include "tools/probe/host.h"
#include "tools/probe/options.h"

namespace {

using namespace probe;

const PluginLibrary &plugin() {
  static PluginLibrary library;
  static const std::string error = library.open(SURF_PLUGIN_PATH);
  EXPECT_EQ(error, "");
  return library;
}

HitRecord evaluated(double wavelength, const Vector3 &ray, const Vector3 &reference,
                    const Vector3 &normal) {
  HitRecord record = makeHitRecord(wavelength, ray, reference, normal);
  evaluateRecord(plugin(), record);
  return record;
}

double dot(const Stokes &row, const Stokes &s) {
  return row[0] * s[0] + row[1] * s[1] + row[2] * s[2] + row[3] * s[3];
}

Stokes firstRow(const double *m) { return Stokes{m[0], m[1], m[2], m[3]}; }

Vector3 unitVector(Vector3 v) {
  const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return Vector3{v.x / n, v.y / n, v.z / n};
}

Vector3 cross(const Vector3 &a, const Vector3 &b) {
  return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A ray at `incidence` degrees from the normal n, its surface part at `azimuth` degrees from u
// towards n x u, travelling against n or along it.
Vector3 rayAbout(const Vector3 &n, const Vector3 &u, double incidence, double azimuth,
                 bool againstNormal) {
  const double t = incidence * surf::kDegToRad, a = azimuth * surf::kDegToRad;
  const Vector3 v = cross(n, u);
  const double along = againstNormal ? -std::cos(t) : std::cos(t);
  const double c = std::sin(t) * std::cos(a), s = std::sin(t) * std::sin(a);
  return unitVector(Vector3{along * n.x + c * u.x + s * v.x, along * n.y + c * u.y + s * v.y,
                            along * n.z + c * u.z + s * v.z});
}

// The global x-axis projected into the surface, as the plug-in measures azimuths from it.
Vector3 surfaceX(const Vector3 &n) {
  const double d = n.x;
  return unitVector(Vector3{1.0 - d * n.x, -d * n.y, -d * n.z});
}

enum class NormalKind { PlusZ, Tilted, MinusZSide, AxisPlanes };

struct HitFamily {
  const char *name;
  NormalKind normal;
  int count;
};

// Where the table blends a sample whose reflection labels have swapped (azimuth 90, incidence
// 85 or 89) with samples whose labels have not: the blended reflection axis and the blended
// transmission axis then come from samples whose axes differ by about 90 degrees, and the
// blend of the angles is not a blend of the matrices. Measured there: up to 1.2 % more light
// out than in, for the most unfavourable state (1.0122 on datasetA, 1.0117 on datasetB, on a
// scan of +z normals every 0.005 um and 0.5 degrees).
constexpr double kSwapCellsIncidence = 80.0;
constexpr double kSwapCellsAzimuth = 85.0;
constexpr double kSwapCellsExcess = 1.013;
constexpr double kEnergyTolerance = 1e-12;

bool inSwapCells(const HitRecord &record) {
  const HitAngles a = snappedAngles(record);
  return a.incidence > kSwapCellsIncidence && a.azimuth > kSwapCellsAzimuth;
}

TEST(Frames, ReflectedPlusTransmittedNeverExceedsTheIncidentLight) {
  const HitFamily families[] = {
      {"+z normal", NormalKind::PlusZ, 40000},
      {"tilted normal", NormalKind::Tilted, 30000},
      {"normal given into z < 0", NormalKind::MinusZSide, 20000},
      {"rays in the x-z and y-z planes and along z", NormalKind::AxisPlanes, 20000},
  };
  // The six cardinal states, unpolarized light and random elliptical states, all in the
  // incident frame; each hit also gets the state that is worst for it.
  std::vector<Stokes> states = {{1, 1, 0, 0},  {1, -1, 0, 0}, {1, 0, 1, 0}, {1, 0, -1, 0},
                                {1, 0, 0, 1},  {1, 0, 0, -1}, {1, 0, 0, 0}};
  std::mt19937_64 random(20240613);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 24; ++i) {
    const double psi = M_PI * unit(random), chi = M_PI * (unit(random) - 0.5) / 2;
    const double degree = unit(random);
    states.push_back({1, degree * std::cos(2 * chi) * std::cos(2 * psi),
                      degree * std::cos(2 * chi) * std::sin(2 * psi), degree * std::sin(2 * chi)});
  }

  int hits = 0, swapHits = 0;
  double worstOutside = 0.0, worstInside = 0.0, worstUnmirrored = 0.0;
  for (const HitFamily &family : families) {
    for (int i = 0; i < family.count; ++i) {
      Vector3 n{0, 0, 1};
      if (family.normal == NormalKind::Tilted || family.normal == NormalKind::MinusZSide) {
        const double tilt = 80.0 * unit(random) * surf::kDegToRad;
        const double turn = 2 * M_PI * unit(random);
        const double z = family.normal == NormalKind::MinusZSide ? -1.0 : 1.0;
        n = Vector3{std::sin(tilt) * std::cos(turn), std::sin(tilt) * std::sin(turn),
                    z * std::cos(tilt)};
        if (family.normal == NormalKind::MinusZSide && i % 10 == 0) n = Vector3{0, 0, -1};
      }
      const Vector3 u = family.normal == NormalKind::PlusZ || family.normal == NormalKind::AxisPlanes
                            ? Vector3{1, 0, 0}
                            : surfaceX(n.z < 0 ? Vector3{-n.x, -n.y, -n.z} : n);
      double incidence = 89.99 * unit(random), azimuth = 360.0 * unit(random);
      if (family.normal == NormalKind::AxisPlanes) {
        azimuth = 90.0 * static_cast<int>(4 * unit(random));
        if (i % 5 == 0) incidence = 0.0;
      }
      const Vector3 ray = rayAbout(n, u, incidence, azimuth, i % 2 == 0);
      const Vector3 reference =
          unitVector(Vector3{unit(random) - 0.5, unit(random) - 0.5, unit(random) - 0.5});
      const HitRecord record = evaluated(0.39 + 0.32 * unit(random), ray, reference, n);
      ++hits;

      const Stokes r = firstRow(reflectionMueller(record));
      const Stokes t = mirrored(firstRow(transmissionMueller(record)));
      const Stokes sum{r[0] + t[0], r[1] + t[1], r[2] + t[2], r[3] + t[3]};
      const double polarized = std::sqrt(sum[1] * sum[1] + sum[2] * sum[2] + sum[3] * sum[3]);
      // What the most unfavourable state would give with the transmission matrix applied to
      // the same vector as the reflection matrix (the reading these frames replace).
      const Stokes tu = mirrored(t);
      worstUnmirrored = std::max(
          worstUnmirrored, r[0] + tu[0] + std::hypot(r[1] + tu[1], r[2] + tu[2], r[3] + tu[3]));
      std::vector<Stokes> tried = states;
      tried.push_back({1, sum[1] / polarized, sum[2] / polarized, sum[3] / polarized});

      const bool swap = inSwapCells(record);
      swapHits += swap;
      for (const Stokes &s : tried) {
        const double reflected = dot(r, s), transmitted = dot(t, s);
        const double out = reflected + transmitted;
        ASSERT_GE(reflected, -kEnergyTolerance) << family.name << " hit " << i;
        ASSERT_GE(transmitted, -kEnergyTolerance) << family.name << " hit " << i;
        double &worst = swap ? worstInside : worstOutside;
        worst = std::max(worst, out / s[0]);
        if (!swap) {
          const double absorbed = s[0] - out;
          ASSERT_GE(absorbed, -kEnergyTolerance * s[0])
              << family.name << " hit " << i << ": reflected " << reflected << " + transmitted "
              << transmitted << " of " << s[0];
        } else {
          ASSERT_LE(out, kSwapCellsExcess * s[0]) << family.name << " hit " << i;
        }
      }
    }
  }
  EXPECT_GE(hits, 100000);
  EXPECT_GT(swapHits, 0);
  std::printf("%d hits (%d in the label-swap cells); worst (R + T) / I: %.15g outside them, "
              "%.15g inside; %.15g with the same state given to both matrices\n",
              hits, swapHits, worstOutside, worstInside, worstUnmirrored);
}

// Rewritten in the s/p basis, both matrices are the same whatever the reference direction:
// it only turns the frames. And the rewriting goes back to the plug-in's own numbers.
TEST(Frames, TheReferenceDirectionOnlyTurnsTheFrames) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 2000; ++i) {
    const Vector3 n = i % 2 ? Vector3{0, 0, 1} : unitVector(Vector3{0.3, -0.4, 0.8});
    const Vector3 ray = rayAbout(n, surfaceX(n), 85.0 * unit(random), 360.0 * unit(random),
                                 i % 4 < 2);
    const double wavelength = 0.4 + 0.3 * unit(random);
    const HitRecord first = evaluated(wavelength, ray, {1, 0, 0}, n);
    const double m = 360.0 * unit(random);
    const HitRecord turned = evaluated(
        wavelength, ray, {std::cos(m * surf::kDegToRad), std::sin(m * surf::kDegToRad), 0.5}, n);
    const surf::Mat4 r1 = reflectionInSpBasis(reflectionMueller(first), frameTurn(first));
    const surf::Mat4 r2 = reflectionInSpBasis(reflectionMueller(turned), frameTurn(turned));
    const surf::Mat4 t1 = transmissionInSpBasis(transmissionMueller(first), frameTurn(first));
    const surf::Mat4 t2 = transmissionInSpBasis(transmissionMueller(turned), frameTurn(turned));
    const surf::Mat4 back = transmissionFromSpBasis(t2, frameTurn(turned));
    for (int e = 0; e < 16; ++e) {
      ASSERT_NEAR(r1.m[e], r2.m[e], 1e-12) << "reflection element " << e << " hit " << i;
      ASSERT_NEAR(t1.m[e], t2.m[e], 1e-12) << "transmission element " << e << " hit " << i;
      ASSERT_NEAR(back.m[e], transmissionMueller(turned)[e], 1e-15) << e;
    }
  }
}

// The coating is a grid fixed in the surface, the table's azimuth counted from the global x-axis
// projected into it; at (nearly) normal incidence light polarized along the wires is reflected
// and light across them transmitted, whatever the plane of incidence. Read in the documented
// frames, the plug-in's matrices say so for every approach azimuth, both ray directions and any
// reference direction: on a +z normal as they stand, on a tilted normal once the hits whose
// quadrant the plug-in judges by the global x*y are read mirrored (coatingMirrored).
TEST(Frames, NearNormalIncidenceSeesAGridFixedInTheSurface) {
  const Vector3 normals[] = {{0, 0, 1}, unitVector({0.6, 0, 0.8}), unitVector({0.3, 0.4, -0.7})};
  const double references[] = {0.0, 30.0, -70.0, 135.0};
  // The table at 0.55 um and normal incidence: rEigen1, rEigen2, tEigen1, tEigen2 blend to
  // these within the 0.04 degree axis offsets of the data; read here from the hit itself.
  for (const Vector3 &given : normals) {
    const Vector3 n = given.z < 0 ? Vector3{-given.x, -given.y, -given.z} : given;
    const Vector3 x = surfaceX(n), wires = cross(n, x);
    for (double m : references) {
      const Vector3 reference{std::cos(m * surf::kDegToRad), std::sin(m * surf::kDegToRad), 0.2};
      for (bool against : {true, false}) {
        for (double azimuth = 1.0; azimuth < 360.0; azimuth += 7.0) {
          const Vector3 ray = rayAbout(n, x, 0.01, azimuth, against);
          const HitRecord record = evaluated(0.55, ray, reference, given);
          const SpBasis basis = spBasis(recordVector(record.input, kInRayDirectionX), given,
                                        recordVector(record.input, kInReferenceDirectionX));
          // Linear light along the wires, as a state in the incident frame.
          double beta = std::atan2(surf::dot3(wires, basis.p), surf::dot3(wires, basis.s)) * surf::kRadToDeg;
          if (coatingMirrored(ray, given)) beta = -beta;
          const Stokes along = linearStokes(beta - frameTurn(record));
          const Stokes across = linearStokes(beta - frameTurn(record) + 90.0);
          const double *r = reflectionMueller(record), *t = transmissionMueller(record);
          const double rMax = r[0] + std::hypot(r[1], r[2]), tMax = t[0] + std::hypot(t[1], t[2]);
          EXPECT_NEAR(dot(firstRow(r), along), rMax, 1e-5) << azimuth << " m " << m;
          EXPECT_NEAR(dot(mirrored(firstRow(t)), across), tMax, 1e-5) << azimuth << " m " << m;
          // Unpolarized light is reflected polarized along the wires, fixed in space: read from
          // s towards p', the mirror image of p (the same part within the surface), at beta
          // too. Read with p' reversed it would lie at -beta, turning with the azimuth.
          const double reflected =
              0.5 * std::atan2(r[8], r[4]) * surf::kRadToDeg + frameTurn(record);
          EXPECT_NEAR(std::remainder(reflected - beta, 180.0), 0.0, 0.1) << azimuth << " m " << m;
        }
      }
    }
  }
}

// A ray with no transverse part leaves both axes unturned: the limit of rays approaching the
// normal from azimuth m + 90, not from azimuth m, where the axes sit 90 degrees away.
TEST(Frames, NormalIncidenceIsTheLimitFromAzimuthMPlus90) {
  for (double m : {0.0, 25.0, -60.0, 90.0, 170.0}) {
    const Vector3 reference{std::cos(m * surf::kDegToRad), std::sin(m * surf::kDegToRad), 0.0};
    const HitRecord normal = evaluated(0.5, {0, 0, -1}, reference, {0, 0, 1});
    const HitRecord limit =
        evaluated(0.5, rayFromAngles(1e-3, m + 90.0), reference, {0, 0, 1});
    const HitRecord other = evaluated(0.5, rayFromAngles(1e-3, m), reference, {0, 0, 1});
    // The matrices only: at normal incidence the record's s and p values are those of the
    // table's azimuth 0, light along the global y-axis and along x.
    double apart = 0.0;
    for (int e = kOutReflectionMueller; e < kCoatingOutputCount; ++e) {
      EXPECT_NEAR(normal.output[e], limit.output[e], 1e-4) << "m " << m << " element " << e;
      apart = std::max(apart, std::fabs(normal.output[e] - other.output[e]));
    }
    EXPECT_GT(apart, 0.5) << "m " << m;
  }
}

}  // namespace
