#include "coating/lookup.h"

#include "geometry/pair.h"

namespace surf {

GridBracket findBracketByScan(const double *grid, int count, double value) {
  if (!(value > grid[0])) return GridBracket{0, 0.0};
  int k = 1;
  while (k < count - 1 && value > grid[k]) ++k;
  return intervalBelow(grid, k, value);
}

namespace {

// Columns j and k of one sample, blended as a Pair; neighbouring columns are one load.
[[gnu::always_inline]] inline Pair columns(const double *sample, int j, int k) {
  if (k != j + 1) return Pair{sample[j], sample[k]};
  return loadPair(sample + j);
}

// The eight corner samples and the weights along each axis: f towards the next grid point, g
// its complement, one value in both lanes.
struct Corners {
  const double *t000, *t001, *t010, *t011, *t100, *t101, *t110, *t111;
  Pair gw, fw, gi, fi, ga, fa;
};

// Columns j and k of the blend. Each corner's weight is applied factor by factor and the sum
// starts from +0.0, so a zero-weight negative entry contributes -0.0 that the sum turns into
// +0.0.
[[gnu::always_inline]] inline void blendColumns(const Corners &c, int j, int k, double *values) {
  Pair v = broadcast(0.0);
  v += ((c.gw * columns(c.t000, j, k)) * c.gi) * c.ga;
  v += ((c.gw * columns(c.t001, j, k)) * c.gi) * c.fa;
  v += ((c.gw * columns(c.t010, j, k)) * c.fi) * c.ga;
  v += ((c.gw * columns(c.t011, j, k)) * c.fi) * c.fa;
  v += ((c.fw * columns(c.t100, j, k)) * c.gi) * c.ga;
  v += ((c.fw * columns(c.t101, j, k)) * c.gi) * c.fa;
  v += ((c.fw * columns(c.t110, j, k)) * c.fi) * c.ga;
  v += ((c.fw * columns(c.t111, j, k)) * c.fi) * c.fa;
  values[j] = v[0];
  values[k] = v[1];
}

}  // namespace

void interpolateSample(int iw, double fw, int ii, double fi, int ia, double fa, double *values) {
  const double gw = 1.0 - fw;
  const double gi = 1.0 - fi;
  const double ga = 1.0 - fa;
  // The eight corners lie at fixed distances from the first: the next azimuth one sample on,
  // the next incidence angle a row of samples on, the next wavelength a plane of them.
  constexpr int kNextA = sampleOffset(0, 0, 1), kNextI = sampleOffset(0, 1, 0),
                kNextW = sampleOffset(1, 0, 0);
  const double *t = CoatingTable + sampleOffset(iw, ii, ia);
  const Corners c{t,
                  t + kNextA,
                  t + kNextI,
                  t + kNextI + kNextA,
                  t + kNextW,
                  t + kNextW + kNextA,
                  t + kNextW + kNextI,
                  t + kNextW + kNextI + kNextA,
                  broadcast(gw),
                  broadcast(fw),
                  broadcast(gi),
                  broadcast(fi),
                  broadcast(ga),
                  broadcast(fa)};
  // The used columns two at a time: four neighbouring pairs, and the two axis angles together.
  // The axis angles go first, as the longest chain of the evaluation (the axis turns' cos and
  // sin, then the matrices) waits for them.
  blendColumns(c, kRAxis, kTAxis, values);
  blendColumns(c, kREigen1, kREigen2, values);
  blendColumns(c, kTEigen1, kTEigen2, values);
  blendColumns(c, kRs, kRp, values);
  blendColumns(c, kTs, kTp, values);
}

}  // namespace surf
