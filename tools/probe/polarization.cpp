#include "tools/probe/polarization.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/units.h"

namespace probe {

namespace {

// Half the angle atan2(y, x), in degrees, in (-90, 90]. atan2 of a -0.0 y can give -180, whose
// half is the same axis as +90; it is reported as +90.
double halfAtan2Degrees(double y, double x) {
  const double half = 0.5 * std::atan2(y, x) * surf::kRadToDeg;
  return half <= -90.0 ? half + 180.0 : half;
}

// The exponent of the power of two that brings the largest component of `s` into [0.5, 1): an
// exact scaling, so the squares and sums below neither overflow nor underflow for any finite
// state, and a state of ordinary size gives the same bits as unscaled arithmetic.
int scaleExponent(const Stokes &s) {
  const double largest =
      std::max({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2]), std::fabs(s[3])});
  if (!(largest > 0.0) || !std::isfinite(largest)) return 0;
  int exponent;
  std::frexp(largest, &exponent);
  return exponent;
}

Stokes scaled(const Stokes &s, int exponent) {
  return Stokes{std::ldexp(s[0], exponent), std::ldexp(s[1], exponent),
                std::ldexp(s[2], exponent), std::ldexp(s[3], exponent)};
}

}  // namespace

ScaledStokes scaledStokes(const Stokes &s) {
  const int exponent = scaleExponent(s);
  return ScaledStokes{scaled(s, -exponent), exponent};
}

Stokes unscaled(const ScaledStokes &s) { return scaled(s.unit, s.exponent); }

ScaledStokes applyMueller(const double *m, const Stokes &s) {
  const ScaledStokes in = scaledStokes(s);
  ScaledStokes out{Stokes{}, in.exponent};
  for (int i = 0; i < 4; ++i) {
    const double *row = m + 4 * i;
    out.unit[i] = row[0] * in.unit[0] + row[1] * in.unit[1] + row[2] * in.unit[2] +
                  row[3] * in.unit[3];
  }
  return out;
}

bool isPhysicalStokes(const Stokes &input) {
  const Stokes s = scaledStokes(input).unit;
  const double polarizedSquared = s[1] * s[1] + s[2] * s[2] + s[3] * s[3];
  return s[0] >= 0.0 && polarizedSquared <= s[0] * s[0] * (1.0 + kStokesSlack);
}

PolarizationState describeStokes(const ScaledStokes &input) {
  // Scaled again, as a product's largest component need not lie in [0.5, 1): for a state of
  // ordinary size these are the bits of the unscaled state scaled once.
  const Stokes s = scaledStokes(input.unit).unit;
  const double polarized = std::sqrt(s[1] * s[1] + s[2] * s[2] + s[3] * s[3]);
  PolarizationState state;
  state.intensity = std::ldexp(input.unit[0], input.exponent);
  // A dark beam has no degree of polarization: a quiet not-a-number of positive sign.
  state.degreeOfPolarization =
      s[0] > 0.0 ? polarized / s[0] : std::numeric_limits<double>::quiet_NaN();
  state.orientation = halfAtan2Degrees(s[2], s[1]);
  state.ellipticity = polarized > 0.0 ? 0.5 * std::asin(s[3] / polarized) * surf::kRadToDeg : 0.0;
  return state;
}

PolarizationState describeStokes(const Stokes &s) { return describeStokes(scaledStokes(s)); }

EigenAxis recoverEigenAxis(const double *m) {
  const double m00 = m[0], m01 = m[1], m02 = m[2];
  EigenAxis eigen;
  eigen.diattenuation = std::hypot(m01, m02) / m00;
  eigen.axis = halfAtan2Degrees(m02, m01);
  return eigen;
}

namespace {

// The largest and smallest intensity a matrix gives fully polarized input of intensity 1.
struct IntensityRange {
  double largest, smallest;
};
IntensityRange intensityRange(const double *m) {
  const double diattenuation = std::sqrt(m[1] * m[1] + m[2] * m[2] + m[3] * m[3]);
  return IntensityRange{m[0] + diattenuation, m[0] - diattenuation};
}

// |(M10, M20, M30)| / M00: the degree of polarization of what unpolarized light becomes.
double polarizance(const double *m) {
  return std::sqrt(m[4] * m[4] + m[8] * m[8] + m[12] * m[12]) / m[0];
}

}  // namespace

FiguresOfMerit figuresOfMerit(const double *reflection, const double *transmission) {
  const IntensityRange pass = intensityRange(transmission);
  const IntensityRange reflect = intensityRange(reflection);
  FiguresOfMerit merit;
  merit.passTransmittance = pass.largest;
  merit.blockTransmittance = pass.smallest;
  merit.extinctionRatio = pass.largest / pass.smallest;
  merit.reflectionContrast = reflect.largest / reflect.smallest;
  merit.transmittedPolarizationDegree = polarizance(transmission);
  merit.reflectedPolarizationDegree = polarizance(reflection);
  return merit;
}

std::array<std::pair<const char *, double>, 6> meritColumns(const FiguresOfMerit &m) {
  return {{{"passTransmittance", m.passTransmittance},
           {"blockTransmittance", m.blockTransmittance},
           {"extinctionRatio", m.extinctionRatio},
           {"reflectionContrast", m.reflectionContrast},
           {"transmittedPolarizationDegree", m.transmittedPolarizationDegree},
           {"reflectedPolarizationDegree", m.reflectedPolarizationDegree}}};
}

Stokes linearStokes(double angle) {
  const double twice = 2.0 * angle * surf::kDegToRad;
  return Stokes{1.0, std::cos(twice), std::sin(twice), 0.0};
}

}  // namespace probe
