// Placing values in the grids, and the trilinear blend of the compiled-in table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "coating/lookup.h"

namespace surf {
namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct BracketCase {
  const char *what;
  const double *grid;
  int count;
  double value;
  int lo;
  double frac;
  double ulps;  // tolerance on frac in units in the last place of 1.0 (0: exact)
};

TEST(FindBracket, PlacesValuesAsTheTableIsRead) {
  const double *w = wavelengthGrid, *i = incidenceGrid, *a = azimuthGrid;
  const int nw = kWavelengthCount, ni = kIncidenceCount, na = kAzimuthCount;
  // A first interval too wide for a double: the guess's spacing is infinite, and a value far
  // above the first point gives it no number of steps at all.
  static const double overflowing[] = {-1e308, 1e308, 1.5e308};
  const BracketCase cases[] = {
      {"first wavelength", w, nw, 0.40, 0, 0, 0},
      {"below the grid", w, nw, 0.2, 0, 0, 0},
      {"not-a-number", w, nw, kNaN, 0, 0, 0},
      {"minus infinity", w, nw, -kInf, 0, 0, 0},
      {"last wavelength", w, nw, 0.70, 29, 1, 0},
      {"above the grid", w, nw, 0.9, 29, 1, 0},
      {"plus infinity", w, nw, kInf, 29, 1, 0},
      {"halfway", w, nw, 0.555, 15, 0.5, 0},
      {"0.553 gives the double nearest 0.3", w, nw, 0.553, 15, 0.3, 0},
      // The search stops at the first grid point not below the value: an exact hit lands at
      // fraction 1 of the interval below.
      {"exact interior point", w, nw, 0.55, 14, 1, 0},
      {"exact interior point 0.62", w, nw, 0.62, 21, 1, 0},
      {"one ulp below 0.55", w, nw, std::nextafter(0.55, 0.0), 14, 1, 64},
      {"one ulp above 0.55", w, nw, std::nextafter(0.55, 1.0), 15, 0, 64},
      {"incidence 87, last interval is 85..89", i, ni, 87, 17, 0.5, 0},
      {"incidence 89.5", i, ni, 89.5, 17, 1, 0},
      {"incidence 90", i, ni, 90, 17, 1, 0},
      {"incidence 0", i, ni, 0, 0, 0, 0},
      {"incidence -0.0", i, ni, -0.0, 0, 0, 0},
      {"incidence 21.13...", i, ni, 21.1342922148, 4, 0.22685844296, 1e5},
      {"azimuth 0", a, na, 0, 0, 0, 0},
      {"azimuth 90", a, na, 90, 17, 1, 0},
      {"azimuth 45", a, na, 45, 8, 1, 0},
      {"azimuth one ulp above 45", a, na, std::nextafter(45.0, 90.0), 9, 1.4210854715202004e-15, 0},
      {"azimuth 33.69...", a, na, 33.6900675260, 6, 0.738013505196, 1e5},
      {"overflowing first interval, value above the grid", overflowing, 3, 1.7e308, 1, 1, 0},
      {"overflowing first interval, plus infinity", overflowing, 3, kInf, 1, 1, 0},
      {"overflowing first interval, value inside it", overflowing, 3, 0.0, 0, 0, 0},
  };
  for (const BracketCase &c : cases) {
    SCOPED_TRACE(c.what);
    const GridBracket b = findBracket(c.grid, c.count, c.value);
    EXPECT_EQ(c.lo, b.lo);
    if (c.ulps == 0) {
      EXPECT_EQ(c.frac, b.frac);
      EXPECT_FALSE(std::signbit(b.frac));
    } else {
      EXPECT_NEAR(c.frac, b.frac, c.ulps * std::numeric_limits<double>::epsilon());
    }
  }
}

// The search starts from a guess; it must land where a plain scan from the first interval
// does, for values on, between and one ulp around every grid point, and far outside. Besides
// the table's grids, two uneven ones on which the guess, taken from the first interval's
// width, is several points off: too low on the first, too high on the second, so the walks up
// and down run more than one step.
TEST(FindBracket, GuessedStartLandsWhereAScanDoes) {
  static const double denseAfterWide[] = {0.0, 10.0, 11.0, 12.0, 13.0, 50.0};
  static const double wideAfterDense[] = {0.0, 0.1, 5.0, 6.0, 7.0, 8.0, 9.0};
  const struct {
    const double *grid;
    int count;
  } grids[] = {{wavelengthGrid, kWavelengthCount}, {incidenceGrid, kIncidenceCount},
               {azimuthGrid, kAzimuthCount}, {denseAfterWide, 6}, {wideAfterDense, 7}};
  std::mt19937_64 rng(5);
  for (const auto &g : grids) {
    std::vector<double> values = {1e300, -1e300, kInf, 1e-300, g.grid[0] - 1, g.grid[g.count - 1] + 1};
    for (int k = 0; k < g.count; ++k) {
      double v = g.grid[k];
      values.push_back(v);
      for (int step = 0; step < 3; ++step) {
        values.push_back(std::nextafter(values.back(), -kInf));
      }
      v = g.grid[k];
      for (int step = 0; step < 3; ++step) values.push_back(v = std::nextafter(v, kInf));
    }
    std::uniform_real_distribution<double> u(g.grid[0] - 1, g.grid[g.count - 1] + 1);
    for (int n = 0; n < 5000; ++n) values.push_back(u(rng));
    for (double v : values) {
      SCOPED_TRACE(v);
      const GridBracket scan = findBracketByScan(g.grid, g.count, v);
      const GridBracket b = findBracket(g.grid, g.count, v);
      ASSERT_EQ(scan.lo, b.lo);
      ASSERT_EQ(scan.frac, b.frac);
    }
  }
}

const double *sample(int iw, int ii, int ia) { return CoatingTable + sampleOffset(iw, ii, ia); }

// The blend leaves out the two columns the evaluation never reads.
bool blended(int column) { return column != kRExtra && column != kTExtra; }

TEST(InterpolateSample, CornersReturnTableSamplesExactly) {
  const struct {
    int iw, ii, ia;
  } corners[] = {{0, 0, 0}, {15, 4, 6}, {29, 17, 17}, {7, 17, 0}, {29, 0, 17}};
  for (const auto &c : corners) {
    SCOPED_TRACE(testing::Message() << c.iw << "," << c.ii << "," << c.ia);
    double low[kSampleColumns], high[kSampleColumns];
    interpolateSample(c.iw, 0, c.ii, 0, c.ia, 0, low);
    interpolateSample(c.iw, 1, c.ii, 1, c.ia, 1, high);
    for (int j = 0; j < kSampleColumns; ++j) {
      if (!blended(j)) continue;
      // The blend's sum starts from +0.0, so a -0.0 entry comes back as +0.0.
      EXPECT_EQ(sample(c.iw, c.ii, c.ia)[j], low[j]) << "column " << j;
      EXPECT_EQ(sample(c.iw + 1, c.ii + 1, c.ia + 1)[j], high[j]) << "column " << j;
      EXPECT_FALSE(std::signbit(low[j]) && low[j] == 0);
    }
  }
}

// Along each axis alone the blend is the straight line between the two neighbouring samples.
TEST(InterpolateSample, EachAxisBlendsItsTwoNeighbours) {
  const double f = 0.3;
  const struct {
    const char *axis;
    double fw, fi, fa;
    int dw, di, da;
  } axes[] = {{"wavelength", f, 0, 0, 1, 0, 0}, {"incidence", 0, f, 0, 0, 1, 0},
              {"azimuth", 0, 0, f, 0, 0, 1}};
  for (const auto &ax : axes) {
    SCOPED_TRACE(ax.axis);
    double v[kSampleColumns];
    interpolateSample(12, ax.fw, 9, ax.fi, 5, ax.fa, v);
    const double *lo = sample(12, 9, 5), *hi = sample(12 + ax.dw, 9 + ax.di, 5 + ax.da);
    for (int j = 0; j < kSampleColumns; ++j) {
      if (!blended(j)) continue;
      const double want = (1 - f) * lo[j] + f * hi[j];
      EXPECT_NEAR(want, v[j], 4 * std::numeric_limits<double>::epsilon() * (std::fabs(want) + 1e-300))
          << "column " << j;
    }
  }
}

}  // namespace
}  // namespace surf
