// The compiled-in coating table against its data file, and the relations every sample keeps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "coating/table.h"
#include "tests/data_file.h"
#include "geometry/units.h"

namespace surf {
namespace {

using surf_test::DataFile;
using surf_test::fileLine;

DataFile readDataFile() { return surf_test::readDataFile(SURF_DATASET_FILE); }

TEST(CoatingTable, EqualsTheDataFileDoubleForDouble) {
  const DataFile f = readDataFile();
  ASSERT_EQ(static_cast<size_t>(kTableDoubles), f.values.size()) << SURF_DATASET_FILE;
  int mismatches = 0;
  for (int k = 0; k < kTableDoubles && mismatches < 5; ++k) {
    if (std::memcmp(&f.values[k], &CoatingTable[k], sizeof(double)) != 0) {
      ADD_FAILURE() << SURF_DATASET_FILE << ":" << fileLine(k / kSampleColumns) << " column "
                    << k % kSampleColumns << ": file " << f.values[k] << ", table "
                    << CoatingTable[k];
      ++mismatches;
    }
  }
  // The grid columns of every row name the sample the layout puts there.
  for (int iw = 0; iw < kWavelengthCount; ++iw)
    for (int ii = 0; ii < kIncidenceCount; ++ii)
      for (int ia = 0; ia < kAzimuthCount; ++ia) {
        const int s = sampleOffset(iw, ii, ia) / kSampleColumns;
        ASSERT_EQ(wavelengthGrid[iw], f.grid[3 * s]) << "line " << fileLine(s);
        ASSERT_EQ(incidenceGrid[ii], f.grid[3 * s + 1]) << "line " << fileLine(s);
        ASSERT_EQ(azimuthGrid[ia], f.grid[3 * s + 2]) << "line " << fileLine(s);
      }
}

TEST(CoatingTable, GridsAndCorners) {
  for (int k = 0; k < kWavelengthCount; ++k) {
    char text[8];
    std::snprintf(text, sizeof text, "%.2f", 0.40 + 0.01 * k);
    EXPECT_EQ(std::strtod(text, nullptr), wavelengthGrid[k]) << text;
  }
  for (int k = 0; k < kIncidenceCount; ++k) EXPECT_EQ(k < 18 ? 5.0 * k : 89.0, incidenceGrid[k]);
  for (int k = 0; k < kAzimuthCount; ++k) EXPECT_EQ(5.0 * k, azimuthGrid[k]);
  EXPECT_EQ(0, sampleOffset(0, 0, 0));
  EXPECT_EQ(kTableDoubles - kSampleColumns, sampleOffset(30, 18, 18));
  EXPECT_EQ(1074336u, sizeof CoatingTable);
}

// The bounds of coating/data/sample_relations.cmake, which the converter checks in exact
// decimal arithmetic. Sums of six-digit values differ by at most 5e-7; evaluated in doubles the
// bound needs a hair of room above that.
constexpr double kSumRuleBound = SURF_SUM_BOUND + 1e-14;
constexpr double kMalusBound = SURF_AXIS_RELATION_BOUND;
// Angles carry two decimals, so a difference of 0.04 evaluates a hair above 0.04 in doubles.
constexpr double kNormalIncidenceAxisBound = SURF_NORMAL_AXIS_BOUND + 1e-9;

double sq(double v) { return v * v; }

struct Property {
  const char *what;
  bool (*holds)(const double *t, double azimuth, int incidenceIndex);
};

const Property kProperties[] = {
    {"all values finite",
     [](const double *t, double, int) {
       for (int j = 0; j < kSampleColumns; ++j)
         if (!std::isfinite(t[j])) return false;
       return true;
     }},
    {"reflectances, transmittances and eigen-values within 0..1",
     [](const double *t, double, int) {
       for (int j : {kRs, kRp, kREigen1, kREigen2, kTs, kTp, kTEigen1, kTEigen2})
         if (!(t[j] >= 0 && t[j] <= 1)) return false;
       return true;
     }},
    {"rEigen1 <= rEigen2", [](const double *t, double, int) { return t[kREigen1] <= t[kREigen2]; }},
    {"tEigen1 >= tEigen2", [](const double *t, double, int) { return t[kTEigen1] >= t[kTEigen2]; }},
    {"rs + ts <= 1", [](const double *t, double, int) { return t[kRs] + t[kTs] <= 1; }},
    {"rp + tp <= 1", [](const double *t, double, int) { return t[kRp] + t[kTp] <= 1; }},
    {"rs + rp = rEigen1 + rEigen2",
     [](const double *t, double, int) {
       return std::fabs((t[kRs] + t[kRp]) - (t[kREigen1] + t[kREigen2])) <= kSumRuleBound;
     }},
    {"ts + tp = tEigen1 + tEigen2",
     [](const double *t, double, int) {
       return std::fabs((t[kTs] + t[kTp]) - (t[kTEigen1] + t[kTEigen2])) <= kSumRuleBound;
     }},
    {"rs, rp follow the eigen-values turned by rAxis",
     [](const double *t, double, int) {
       const double a = t[kRAxis] * kDegToRad;
       const double s2 = sq(std::sin(a)), c2 = sq(std::cos(a));
       return std::fabs(t[kRs] - (t[kREigen1] * s2 + t[kREigen2] * c2)) <= kMalusBound &&
              std::fabs(t[kRp] - (t[kREigen1] * c2 + t[kREigen2] * s2)) <= kMalusBound;
     }},
    {"ts, tp follow the eigen-values turned by tAxis",
     [](const double *t, double, int) {
       const double a = t[kTAxis] * kDegToRad;
       const double s2 = sq(std::sin(a)), c2 = sq(std::cos(a));
       return std::fabs(t[kTs] - (t[kTEigen1] * s2 + t[kTEigen2] * c2)) <= kMalusBound &&
              std::fabs(t[kTp] - (t[kTEigen1] * c2 + t[kTEigen2] * s2)) <= kMalusBound;
     }},
    {"at normal incidence both axes follow the azimuth",
     [](const double *t, double azimuth, int ii) {
       return ii != 0 || (std::fabs(t[kRAxis] - azimuth) <= kNormalIncidenceAxisBound &&
                          std::fabs(t[kTAxis] - azimuth) <= kNormalIncidenceAxisBound);
     }},
};

TEST(CoatingTable, EverySampleKeepsTheCoatingRelations) {
  for (const Property &p : kProperties) {
    int violations = 0;
    for (int iw = 0; iw < kWavelengthCount; ++iw)
      for (int ii = 0; ii < kIncidenceCount; ++ii)
        for (int ia = 0; ia < kAzimuthCount; ++ia) {
          const int offset = sampleOffset(iw, ii, ia);
          if (p.holds(CoatingTable + offset, azimuthGrid[ia], ii)) continue;
          if (++violations <= 5)
            ADD_FAILURE() << SURF_DATASET_FILE << ":" << fileLine(offset / kSampleColumns)
                          << ": " << p.what << " does not hold";
        }
    EXPECT_EQ(0, violations) << p.what;
  }
}

}  // namespace
}  // namespace surf
