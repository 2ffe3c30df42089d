// The compare command: two plug-ins (two coatings) evaluated on the same hits, their figures of
// merit side by side at telling points, and where over the table they differ most.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/probe/commands.h"
#include "tools/probe/host.h"
#include "tools/probe/numbers.h"
#include "tools/probe/output_file.h"
#include "tools/probe/polarization.h"

namespace probe {

namespace {

// On a +z normal with the reference direction along +x. The figures do not depend on frames.
struct ComparePoint {
  double wavelength, incidence, azimuth;
};
const ComparePoint kTellingPoints[] = {
    {0.40, 0, 0},  {0.55, 0, 0},  {0.70, 0, 0},  {0.55, 45, 0},  {0.55, 45, 45},
    {0.55, 45, 90}, {0.45, 70, 45}, {0.65, 70, 45}, {0.55, 85, 45}, {0.55, 89, 90},
};

// The grid the largest differences are sought on: the table's wavelengths, every degree of
// incidence, the table's azimuths.
constexpr double kGridWavelengthStep = 0.01;
constexpr int kGridWavelengths = 31;
constexpr int kGridIncidences = 90;
constexpr double kGridAzimuthStep = 5.0;
constexpr int kGridAzimuths = 19;

// The figures compared, with how a difference is best told: ratios, which span decades, by
// the factor between them; fractions by their difference.
struct Figure {
  const char *name;
  bool byFactor;
};
const Figure kFigures[] = {
    {"passTransmittance", false},  {"blockTransmittance", true},
    {"extinctionRatio", true},     {"reflectionContrast", true},
    {"transmittedPolarizationDegree", false}, {"reflectedPolarizationDegree", false},
    {"reflectance (unpolarized)", false},
};
constexpr int kFigureCount = sizeof kFigures / sizeof kFigures[0];

using FigureValues = std::array<double, kFigureCount>;

std::string pointText(const ComparePoint &p) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f um, %g deg, az %g", p.wavelength, p.incidence,
                p.azimuth);
  return buffer;
}

FigureValues figuresAt(const PluginLibrary &plugin, const ComparePoint &point) {
  HitRecord record = makeHitRecord(point.wavelength, rayFromAngles(point.incidence, point.azimuth),
                                   kDefaultReference, kDefaultNormal);
  requireContract(record, evaluateRecord(plugin, record),
                  shownPluginPath(plugin.path()) + " at " + pointText(point));
  const FiguresOfMerit m = figuresOfMerit(reflectionMueller(record), transmissionMueller(record));
  return {m.passTransmittance,
          m.blockTransmittance,
          m.extinctionRatio,
          m.reflectionContrast,
          m.transmittedPolarizationDegree,
          m.reflectedPolarizationDegree,
          reflectionMueller(record)[0]};
}

std::string cell(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, " %11.5g", value);
  return buffer;
}


// How far apart two values are, in the figure's own terms: a factor (>= 1) or a difference.
double apart(const Figure &figure, double a, double b) {
  if (figure.byFactor) return std::max(a / b, b / a);
  return std::fabs(b - a);
}

struct LargestDifference {
  double apart = -1.0;
  double a = 0.0, b = 0.0;
  ComparePoint where{};
};

}  // namespace

int runCompare(const ProbeOptions &options) {
  OutputTarget output(options.output, options.force);
  PluginLibrary first, second;
  requireInitResult(openPlugin(first, options.comparedPlugins[0]));
  requireInitResult(openPlugin(second, options.comparedPlugins[1]));

  std::string out = "compare (a +z normal, reference direction +x; figures from the matrices)\n";
  out += "  A  " + shownPluginPath(first.path()) + ": " + loadedDatasetText(first) + "\n";
  out += "  B  " + shownPluginPath(second.path()) + ": " + loadedDatasetText(second) + "\n\n";

  out += "at telling points                 pass       block  extinction    contrast"
         "  DoP trans.   DoP refl. reflectance\n";
  for (const ComparePoint &point : kTellingPoints) {
    const FigureValues a = figuresAt(first, point), b = figuresAt(second, point);
    char label[48];
    std::snprintf(label, sizeof label, "  %-28s", pointText(point).c_str());
    out += label;
    out += "A";
    for (double v : a) out += cell(v);
    out += "\n                              B";
    for (double v : b) out += cell(v);
    out += "\n";
  }

  std::array<LargestDifference, kFigureCount> largest{};
  FigureValues sumA{}, sumB{};
  int hits = 0;
  for (int w = 0; w < kGridWavelengths; ++w) {
    for (int i = 0; i < kGridIncidences; ++i) {
      for (int z = 0; z < kGridAzimuths; ++z) {
        const ComparePoint point{0.40 + w * kGridWavelengthStep, static_cast<double>(i),
                                 z * kGridAzimuthStep};
        const FigureValues a = figuresAt(first, point), b = figuresAt(second, point);
        ++hits;
        for (int f = 0; f < kFigureCount; ++f) {
          // Ratios are averaged as logarithms: a geometric mean.
          sumA[f] += kFigures[f].byFactor ? std::log(a[f]) : a[f];
          sumB[f] += kFigures[f].byFactor ? std::log(b[f]) : b[f];
          const double d = apart(kFigures[f], a[f], b[f]);
          if (d > largest[f].apart) largest[f] = LargestDifference{d, a[f], b[f], point};
        }
      }
    }
  }

  out += "\nover the grid (0.40-0.70 um by 0.01, incidence 0-89 deg by 1, azimuth 0-90 deg by 5; " +
         std::to_string(hits) + " hits)\n";
  out += "  figure                          mean A      mean B   largest difference\n";
  for (int f = 0; f < kFigureCount; ++f) {
    const Figure &figure = kFigures[f];
    const double meanA = sumA[f] / hits, meanB = sumB[f] / hits;
    char line[256];
    const LargestDifference &d = largest[f];
    std::snprintf(line, sizeof line, "  %-30s%11.5g %11.5g   %s %.4g at %s (A %.5g, B %.5g)\n",
                  figure.name, figure.byFactor ? std::exp(meanA) : meanA,
                  figure.byFactor ? std::exp(meanB) : meanB,
                  figure.byFactor ? "factor" : "by", d.apart, pointText(d.where).c_str(), d.a,
                  d.b);
    out += line;
  }
  out += "  (means of ratios and of the block transmittance are geometric)\n";
  output.write(out);
  output.commit();
  return 0;
}

}  // namespace probe
