// lookup.h - placing a value in a grid and blending the eight surrounding table samples.
#ifndef SURF_COATING_LOOKUP_H
#define SURF_COATING_LOOKUP_H

#include "coating/table.h"

namespace surf {

// The value lies between grid points lo and lo + 1, at fraction frac (0 <= frac <= 1).
struct GridBracket {
  int lo;
  double frac;
};

// Linear search over an ascending grid of `count` points. The search stops at the first grid
// point not below the value, so an exact hit on interior point k lands at fraction 1 of the
// interval below it. Values above the last point get the last interval at fraction 1; values at
// or below the first point, and not-a-number, get interval 0 at fraction 0: no extrapolation.
GridBracket findBracket(const double *grid, int count, double value);

// The same bracket by a plain scan from the first interval: the reference findBracket is
// checked against.
GridBracket findBracketByScan(const double *grid, int count, double value);

// Trilinear blend of all twelve columns of the eight samples around (iw, ii, ia); every corner
// is read, zero-weight ones included. Writes kSampleColumns doubles to `values`.
void interpolateSample(int iw, double fw, int ii, double fi, int ia, double fa, double *values);

}  // namespace surf

#endif
