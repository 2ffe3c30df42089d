// lookup.h - placing a value in a grid and blending the eight surrounding table samples.
#ifndef SURF_COATING_LOOKUP_H
#define SURF_COATING_LOOKUP_H

#include "coating/table.h"
#include "geometry/units.h"

namespace surf {

// The value lies between grid points lo and lo + 1, at fraction frac (0 <= frac <= 1).
struct GridBracket {
  int lo;
  double frac;
};

// The bracket of a value in the interval below grid point k, its fraction clamped to 1. No
// lower clamp is needed: the searches stop only at a k whose lower neighbour the value exceeds.
inline GridBracket intervalBelow(const double *grid, int k, double value) {
  const int lo = k - 1;
  double frac = (value - grid[lo]) / (grid[k] - grid[lo]);
  if (frac > 1.0) frac = 1.0;
  return GridBracket{lo, frac};
}

// Linear search over an ascending grid of `count` points. The search stops at the first grid
// point not below the value, so an exact hit on interior point k lands at fraction 1 of the
// interval below it. Values above the last point get the last interval at fraction 1; values at
// or below the first point, and not-a-number, get interval 0 at fraction 0: no extrapolation.
//
// Inline, so that on one of the table's grids, which the compiler knows, the spacing that
// guesses the start is a constant rather than a division in every call.
inline GridBracket findBracket(const double *grid, int count, double value) {
  if (rarely(!(value > grid[0]))) return GridBracket{0, 0.0};
  // k is the first grid point from 1 on that the value does not exceed, or the last point.
  // Start from where a grid spaced like its first interval would put it, then step to it: on
  // an ascending grid "value > grid[k]" holds below that point and fails from it on, so the
  // walk down stops exactly where a scan from 1 would, whatever the guess; and after a walk
  // down, "value > grid[k]" fails, so the walk up is needed only when there was none.
  // The guess is clamped before it becomes an index, so that an infinite value, or the
  // not-a-number of an infinite value over an overflowing first interval, converts safely;
  // it is exact on a uniform grid, so both walks are the exception.
  double steps = (value - grid[0]) * (1.0 / (grid[1] - grid[0]));
  if (rarely(!(steps <= count - 2))) steps = count - 2;
  int k = static_cast<int>(steps) + 1;  // 1 <= k <= count - 1
  if (rarely(!(value > grid[k - 1]))) {
    do --k;
    while (k > 1 && !(value > grid[k - 1]));
  } else if (rarely(value > grid[k])) {
    while (k < count - 1 && value > grid[k]) ++k;
  }
  return intervalBelow(grid, k, value);
}

// The same bracket by a plain scan from the first interval: the reference findBracket is
// checked against.
GridBracket findBracketByScan(const double *grid, int count, double value);

// Trilinear blend of the eight samples around (iw, ii, ia), every corner read, zero-weight ones
// included. Writes the ten columns the evaluation uses to values[0..kSampleColumns-1]; the two
// further values, kRExtra and kTExtra, are left unwritten.
void interpolateSample(int iw, double fw, int ii, double fi, int ia, double fa, double *values);

}  // namespace surf

#endif
