#include "coating/lookup.h"

namespace surf {

GridBracket findBracket(const double *grid, int count, double value) {
  if (!(value > grid[0])) return GridBracket{0, 0.0};
  int k = 1;
  while (k < count - 1 && value > grid[k]) ++k;
  const int lo = k - 1;
  double frac = (value - grid[lo]) / (grid[k] - grid[lo]);
  if (frac > 1.0) frac = 1.0;
  return GridBracket{lo, frac};
}

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
  for (int j = 0; j < kSampleColumns; ++j) {
    // Each corner's weight is applied factor by factor and the sum starts from +0.0, so a
    // zero-weight negative entry contributes -0.0 that the sum turns into +0.0.
    double v = 0.0;
    v += ((gw * t000[j]) * gi) * ga;
    v += ((gw * t001[j]) * gi) * fa;
    v += ((gw * t010[j]) * fi) * ga;
    v += ((gw * t011[j]) * fi) * fa;
    v += ((fw * t100[j]) * gi) * ga;
    v += ((fw * t101[j]) * gi) * fa;
    v += ((fw * t110[j]) * fi) * ga;
    v += ((fw * t111[j]) * fi) * fa;
    values[j] = v;
  }
}

}  // namespace surf
