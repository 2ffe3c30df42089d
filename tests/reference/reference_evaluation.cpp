// The evaluation written the long way. Each function is one definition, its arithmetic in the
// defined order and grouping; where the plug-in takes a faster road to the same bits (a guessed
// grid search, two columns per instruction, products that skip constant zeros, the matrices of
// both beams side by side, calls placed early), this file takes the plain one.
#include "tests/reference/reference_evaluation.h"

#include <cmath>
#include <cstring>

// The compiled coating table, the one thing shared with the plug-in: samples of twelve
// doubles, indexed [wavelength][incidence][azimuth], azimuth fastest.
namespace surf {
extern const double CoatingTable[];
}

namespace surf_reference {
namespace {

constexpr double kRadToDeg = 57.29577951308232;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kEpsilon = 1e-12;
constexpr double kPi = 3.141592653589793;

// ---- vectors -----------------------------------------------------------------------------

struct Vec3 {
  double x, y, z;
};

bool negligible(double v) { return std::fabs(v) < kEpsilon; }
bool isOne(double v) { return std::fabs(v - 1.0) < kEpsilon; }

double dot3(const Vec3 &a, const Vec3 &b) { return (a.y * b.y + a.x * b.x) + a.z * b.z; }

Vec3 cross3(const Vec3 &a, const Vec3 &b) {
  Vec3 out;
  out.x = b.z * a.y - a.z * b.y;
  out.y = a.z * b.x - a.x * b.z;
  out.z = a.x * b.y - b.x * a.y;
  return out;
}

double normSquared3(const Vec3 &v) { return (v.x * v.x + v.y * v.y) + v.z * v.z; }

void normalize3(Vec3 &v) {
  const double s = normSquared3(v);
  if (s <= 0.0) return;
  const double r = 1.0 / std::sqrt(s);
  v.x = v.x * r;
  v.y = v.y * r;
  v.z = v.z * r;
}

// A component within kEpsilon of +1 zeroes the other two, x, y, z in turn, each test seeing the
// earlier changes; then each negligible component becomes +0.0.
void cleanVector(double *v) {
  double &x = v[0], &y = v[1], &z = v[2];
  if (isOne(x)) {
    z = 0.0;
    y = 0.0;
  }
  if (isOne(y)) {
    x = 0.0;
    z = 0.0;
  }
  if (isOne(z)) {
    y = 0.0;
    x = 0.0;
  }
  if (negligible(x)) x = 0.0;
  if (negligible(y)) y = 0.0;
  if (negligible(z)) z = 0.0;
}

// ---- angles ------------------------------------------------------------------------------

struct Angles {
  double theta, phi;  // degrees; phi folded into [0, 90]
};

Angles incidenceAndAzimuth(const Vec3 &ray, const Vec3 &normal) {
  double theta, phi;
  if (negligible(normal.x) && negligible(normal.y) && isOne(normal.z)) {
    if (negligible(ray.x) && negligible(ray.y)) {
      theta = 0.0;
      phi = 0.0;
    } else {
      double transverse = std::sqrt(ray.y * ray.y + ray.x * ray.x);
      if (transverse > 1.0) transverse = 1.0;  // a grazing ray rounded long: 90 degrees
      theta = std::asin(transverse);
      phi = std::atan2(ray.y, ray.x);
    }
  } else {
    theta = std::acos(std::fabs(dot3(ray, normal)));
    Vec3 n = normal;
    if (normal.z < 0.0) n = Vec3{-normal.x, -normal.y, -normal.z};
    const Vec3 e{1.0, 0.0, 0.0};
    Vec3 t = cross3(n, e);
    normalize3(t);
    Vec3 x = cross3(t, n);
    normalize3(x);
    const Vec3 w = cross3(ray, n);
    Vec3 a = cross3(n, w);
    // No plane of incidence, or no tangential direction to measure it by: azimuth 0.
    if (negligible(theta) || normSquared3(a) == 0.0) {
      phi = 0.0;
    } else {
      normalize3(a);
      phi = std::acos(dot3(x, a));
    }
  }
  phi = phi * kRadToDeg;
  theta = theta * kRadToDeg;
  while (phi < 0.0) phi = phi + 360.0;
  while (phi >= 360.0) phi = phi - 360.0;
  if (phi > 270.0) {
    phi = 360.0 - phi;
  } else if (phi > 180.0) {
    phi = phi - 180.0;
  } else if (phi > 90.0) {
    phi = 180.0 - phi;
  }
  return Angles{theta, phi};
}

// ---- the table ---------------------------------------------------------------------------

constexpr int kWavelengths = 31, kIncidences = 19, kAzimuths = 19, kColumns = 12;

struct Grids {
  double wavelength[kWavelengths], incidence[kIncidences], azimuth[kAzimuths];
  Grids() {
    // (40 + k) / 100 is rounded once: the double nearest the two-decimal wavelength.
    for (int k = 0; k < kWavelengths; ++k) wavelength[k] = (40 + k) / 100.0;
    for (int k = 0; k < kIncidences; ++k) incidence[k] = k < kIncidences - 1 ? 5.0 * k : 89.0;
    for (int k = 0; k < kAzimuths; ++k) azimuth[k] = 5.0 * k;
  }
};
const Grids kGrids;

struct Bracket {
  int lo;
  double frac;
};

Bracket findBracket(const double *grid, int count, double value) {
  if (!(value > grid[0])) return Bracket{0, 0.0};
  int k = 1;
  while (k < count - 1 && value > grid[k]) k = k + 1;
  const int lo = k - 1;
  double frac = (value - grid[lo]) / (grid[k] - grid[lo]);
  if (frac > 1.0) frac = 1.0;
  return Bracket{lo, frac};
}

double sample(int iw, int ii, int ia, int column) {
  return surf::CoatingTable[kColumns * ((iw * kIncidences + ii) * kAzimuths + ia) + column];
}

// All twelve columns, each the sum of the eight weighted corners from 0.0, left to right.
void interpolateSample(const Bracket &w, const Bracket &i, const Bracket &a, double *v) {
  const double gw = 1.0 - w.frac, gi = 1.0 - i.frac, ga = 1.0 - a.frac;
  const double fw = w.frac, fi = i.frac, fa = a.frac;
  const int iw = w.lo, ii = i.lo, ia = a.lo;
  for (int j = 0; j < kColumns; ++j) {
    double s = 0.0;
    s = s + ((gw * sample(iw, ii, ia, j)) * gi) * ga;
    s = s + ((gw * sample(iw, ii, ia + 1, j)) * gi) * fa;
    s = s + ((gw * sample(iw, ii + 1, ia, j)) * fi) * ga;
    s = s + ((gw * sample(iw, ii + 1, ia + 1, j)) * fi) * fa;
    s = s + ((fw * sample(iw + 1, ii, ia, j)) * gi) * ga;
    s = s + ((fw * sample(iw + 1, ii, ia + 1, j)) * gi) * fa;
    s = s + ((fw * sample(iw + 1, ii + 1, ia, j)) * fi) * ga;
    s = s + ((fw * sample(iw + 1, ii + 1, ia + 1, j)) * fi) * fa;
    v[j] = s;
  }
}

// ---- Mueller matrices --------------------------------------------------------------------

struct Mat4 {
  double m[16];
};

Mat4 matMul4(const Mat4 &l, const Mat4 &r) {
  Mat4 p;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      p.m[4 * i + j] = ((l.m[4 * i] * r.m[j] + l.m[4 * i + 1] * r.m[4 + j]) +
                        l.m[4 * i + 2] * r.m[8 + j]) +
                       l.m[4 * i + 3] * r.m[12 + j];
    }
  }
  return p;
}

Mat4 rotationMueller(double c, double s) {
  return Mat4{{1.0, 0.0, 0.0, 0.0, 0.0, c, s, 0.0, 0.0, -s, c, 0.0, 0.0, 0.0, 0.0, 1.0}};
}

Mat4 diattenuatorMueller(double e1, double e2, double delta) {
  const double q = (e2 + e1) * 0.5;
  const double p = (e1 - e2) * 0.5;
  const double r = std::sqrt(e2 * e1);
  const double cd = std::cos(delta);
  const double sd = std::sin(delta);
  return Mat4{{q, p, 0.0, 0.0, p, q, 0.0, 0.0, 0.0, 0.0, cd * r, sd * r, 0.0, 0.0, -(sd * r),
               cd * r}};
}

// Rot(-alpha) * D * Rot(alpha), alpha in degrees, written row by row to out[0..15].
void turnedDiattenuator(double alpha, double e1, double e2, double delta, double *out) {
  const double alpha2 = (alpha * 2.0) * kDegToRad;
  const double c = std::cos(alpha2);
  const double s = std::sin(alpha2);
  Mat4 w = rotationMueller(c, s);
  w = matMul4(diattenuatorMueller(e1, e2, delta), w);
  w = matMul4(rotationMueller(c, -s), w);
  std::memcpy(out, w.m, sizeof w.m);
}

}  // namespace

double evaluateCoating(double *in, void *, void *, void *, double *out) {
  if (in == nullptr || out == nullptr) return 0.0;  // read and write nothing
  out[8] = -1.0;
  cleanVector(in + 5);
  cleanVector(in + 12);
  cleanVector(in + 15);
  out[7] = 0.0;
  out[6] = 180.0;

  const Bracket w = findBracket(kGrids.wavelength, kWavelengths, in[0]);
  const Vec3 ray{in[5], in[6], in[7]};
  const Vec3 reference{in[12], in[13], in[14]};
  const Vec3 normal{in[15], in[16], in[17]};
  const Angles angles = incidenceAndAzimuth(ray, normal);
  const Bracket i = findBracket(kGrids.incidence, kIncidences, angles.theta);
  const Bracket a = findBracket(kGrids.azimuth, kAzimuths, angles.phi);

  double v[kColumns];
  interpolateSample(w, i, a, v);
  const double rs = v[0], rp = v[1], rEigen1 = v[2], rEigen2 = v[3], rAxis = v[4];
  const double ts = v[6], tp = v[7], tEigen1 = v[8], tEigen2 = v[9], tAxis = v[10];
  out[2] = rs;
  out[3] = rp;
  out[4] = ts;
  out[5] = tp;
  out[0] = (1.0 - out[2]) - out[4];
  out[1] = (1.0 - out[3]) - out[5];

  // The eigen-axes from the table's folded frame into the host's.
  double h, g;
  if ((negligible(ray.x) && negligible(ray.y)) ||
      (negligible(ray.y * ray.x) && !negligible(ray.x) && !negligible(ray.y))) {
    h = 0.0;
    g = 0.0;
  } else {
    const double m = std::atan2(reference.y, reference.x) * kRadToDeg;
    const double k = ray.y * ray.x;
    if (k >= 0.0) {
      h = rAxis + (90.0 - m);
      g = (m + 90.0) - tAxis;
    } else {
      h = (90.0 - m) - rAxis;
      g = tAxis + (m + 90.0);
    }
  }
  turnedDiattenuator(h, rEigen1, rEigen2, kPi, out + 9);
  turnedDiattenuator(g, tEigen1, tEigen2, 0.0 * kDegToRad, out + 25);
  return 0.0;
}

}  // namespace surf_reference
