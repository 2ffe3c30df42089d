#include "coating/lookup.h"

#include <cstring>

namespace surf {

namespace {

// The bracket of a value in the interval below grid point k, its fraction clamped to 1. No
// lower clamp is needed: the searches stop only at a k whose lower neighbour the value exceeds.
GridBracket intervalBelow(const double *grid, int k, double value) {
  const int lo = k - 1;
  double frac = (value - grid[lo]) / (grid[k] - grid[lo]);
  if (frac > 1.0) frac = 1.0;
  return GridBracket{lo, frac};
}

}  // namespace

GridBracket findBracket(const double *grid, int count, double value) {
  if (!(value > grid[0])) return GridBracket{0, 0.0};
  // k is the first grid point from 1 on that the value does not exceed, or the last point.
  // Start from where an evenly spaced grid would put it, then step to it: on an ascending grid
  // "value > grid[k]" holds below that point and fails from it on, so the two walks stop
  // exactly where a scan from 1 would, whatever the guess.
  const double steps = (value - grid[0]) * ((count - 1) / (grid[count - 1] - grid[0]));
  int k = steps < count - 2 ? static_cast<int>(steps) + 1 : count - 1;
  while (k > 1 && !(value > grid[k - 1])) --k;
  while (k < count - 1 && value > grid[k]) ++k;
  return intervalBelow(grid, k, value);
}

GridBracket findBracketByScan(const double *grid, int count, double value) {
  if (!(value > grid[0])) return GridBracket{0, 0.0};
  int k = 1;
  while (k < count - 1 && value > grid[k]) ++k;
  return intervalBelow(grid, k, value);
}

namespace {

// Two neighbouring columns at once: each lane does exactly the scalar arithmetic of its column,
// so the results are the same bits, in half the instructions (SSE2 on x86).
typedef double Pair __attribute__((vector_size(16)));

// Internal and inlined, so the 32-bit ABI note about passing vector values does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
inline Pair loadPair(const double *p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
#pragma GCC diagnostic pop

}  // namespace

void interpolateSample(int iw, double fw, int ii, double fi, int ia, double fa, double *values) {
  const double gw = 1.0 - fw;
  const double gi = 1.0 - fi;
  const double ga = 1.0 - fa;
  const double *t000 = CoatingTable + sampleOffset(iw, ii, ia);
  const double *t001 = CoatingTable + sampleOffset(iw, ii, ia + 1);
  const double *t010 = CoatingTable + sampleOffset(iw, ii + 1, ia);
  const double *t011 = CoatingTable + sampleOffset(iw, ii + 1, ia + 1);
  const double *t100 = CoatingTable + sampleOffset(iw + 1, ii, ia);
  const double *t101 = CoatingTable + sampleOffset(iw + 1, ii, ia + 1);
  const double *t110 = CoatingTable + sampleOffset(iw + 1, ii + 1, ia);
  const double *t111 = CoatingTable + sampleOffset(iw + 1, ii + 1, ia + 1);
  const Pair vgw = {gw, gw}, vfw = {fw, fw}, vgi = {gi, gi}, vfi = {fi, fi}, vga = {ga, ga},
             vfa = {fa, fa};
  for (int j = 0; j < kSampleColumns; j += 2) {
    // Each corner's weight is applied factor by factor and the sum starts from +0.0, so a
    // zero-weight negative entry contributes -0.0 that the sum turns into +0.0.
    Pair v = {0.0, 0.0};
    v += ((vgw * loadPair(t000 + j)) * vgi) * vga;
    v += ((vgw * loadPair(t001 + j)) * vgi) * vfa;
    v += ((vgw * loadPair(t010 + j)) * vfi) * vga;
    v += ((vgw * loadPair(t011 + j)) * vfi) * vfa;
    v += ((vfw * loadPair(t100 + j)) * vgi) * vga;
    v += ((vfw * loadPair(t101 + j)) * vgi) * vfa;
    v += ((vfw * loadPair(t110 + j)) * vfi) * vga;
    v += ((vfw * loadPair(t111 + j)) * vfi) * vfa;
    std::memcpy(values + j, &v, sizeof v);
  }
}

}  // namespace surf
