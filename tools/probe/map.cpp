// The map command: one quantity over the whole cone of incidence on a +z normal, drawn by
// gnuplot as a polar map (incidence as the radius, the azimuth of the plane of incidence as the
// angle).
#include "tools/probe/map.h"

#include <cmath>
#include <cstdio>

#include "geometry/units.h"
#include "tools/probe/commands.h"
#include "tools/probe/errors.h"
#include "tools/probe/frames.h"
#include "tools/probe/gnuplot.h"
#include "tools/probe/numbers.h"
#include "tools/probe/plot.h"

namespace probe {

namespace {

constexpr const char *kDefaultMapFile = "surf-probe-map.png";
// The table's incidence grid ends at 89 degrees.
constexpr double kMapLastIncidence = 89.0;
constexpr double kMapIncidenceStep = 1.0;
constexpr double kMapAzimuthStep = 2.0;

struct QuantityText {
  const char *name, *label;
  bool logarithmic;
};

QuantityText quantityText(MapQuantity quantity) {
  switch (quantity) {
    case MapQuantity::Extinction: return {"extinction", "extinction ratio (pass / block)", true};
    case MapQuantity::Pass: return {"pass", "pass transmittance", false};
    case MapQuantity::Block: return {"block", "block transmittance", true};
    case MapQuantity::Reflectance:
      return {"reflectance", "reflectance of unpolarized light", false};
    case MapQuantity::Axis:
      return {"axis",
              "pass axis projected on the surface, degrees from +x towards +y", false};
  }
  return {"", "", false};
}

// The direction of the pass axis projected on the surface (x-y plane), from +x towards +y, in
// (-90, 90]: the pass axis is found in the s/p basis, made a vector with spBasis, and projected.
double passAxisOnSurface(const HitRecord &record, const Vector3 &ray, const Vector3 &reference) {
  const double angle =
      recoverEigenAxis(transmissionInSpBasis(transmissionMueller(record), frameTurn(record)).m)
          .axis *
      surf::kDegToRad;
  const SpBasis basis = spBasis(ray, Vector3{0.0, 0.0, 1.0}, reference);
  const double x = std::cos(angle) * basis.s.x + std::sin(angle) * basis.p.x;
  const double y = std::cos(angle) * basis.s.y + std::sin(angle) * basis.p.y;
  double direction = std::atan2(y, x) * surf::kRadToDeg;
  if (direction > 90.0) direction -= 180.0;
  if (direction <= -90.0) direction += 180.0;
  return direction;
}

}  // namespace

double mapValue(const HitRecord &record, MapQuantity quantity, const Vector3 &ray,
                const Vector3 &reference) {
  const FiguresOfMerit merit =
      figuresOfMerit(reflectionMueller(record), transmissionMueller(record));
  switch (quantity) {
    case MapQuantity::Extinction: return merit.extinctionRatio;
    case MapQuantity::Pass: return merit.passTransmittance;
    case MapQuantity::Block: return merit.blockTransmittance;
    case MapQuantity::Reflectance: return reflectionMueller(record)[0];
    case MapQuantity::Axis: return passAxisOnSurface(record, ray, reference);
  }
  return 0.0;
}

std::string buildMapScript(const MapData &data) {
  const QuantityText text = quantityText(data.quantity);
  std::string s;
  s += "set terminal pngcairo size " + std::to_string(data.width) + "," +
       std::to_string(data.height) + " font 'sans,10'\n";
  s += "set output " + gnuplotOutputPath(data.outputPath, "-o") + "\n";
  // x = incidence * cos(azimuth), y = incidence * sin(azimuth), value; one scan of incidences
  // per azimuth, a blank line between scans, so pm3d fills the cells between them.
  s += "$map << EOD\n";
  for (const MapScan &scan : data.scans) {
    const double a = scan.azimuth * surf::kDegToRad;
    for (std::size_t i = 0; i < scan.values.size(); ++i) {
      const double r = data.incidences[i];
      s += formatShortest(r * std::cos(a)) + " " + formatShortest(r * std::sin(a)) + " " +
           formatShortest(scan.values[i]) + "\n";
    }
    s += "\n";
  }
  s += "EOD\n";
  s += "set title " + gnuplotText(data.title) + "\n";
  s += "set view map\nset size ratio -1\nunset key\nunset border\nunset xtics\nunset ytics\n";
  s += "set xrange [-95:95]\nset yrange [-95:95]\n";
  s += "set cblabel " + gnuplotText(text.label) + "\n";
  if (text.logarithmic) {
    s += "set logscale cb\nset format cb '10^{%L}'\n";
  }
  if (data.quantity == MapQuantity::Axis) {
    // An angle wraps: a palette whose ends meet.
    s += "set cbrange [-90:90]\nset cbtics 30\nset palette model HSV defined "
         "(0 0 0.8 0.9, 1 1 0.8 0.9)\n";
  } else {
    s += "set palette rgb 33,13,10\n";
  }
  s += "set pm3d map corners2color c1\n";
  // Circles of equal incidence and spokes of equal azimuth, labelled.
  for (int r : {30, 60, 89}) {
    s += "set object circle at 0,0 size " + std::to_string(r) +
         " front fillstyle empty border lc rgb '#404040' lw 0.8\n";
    // On the 22.5 degree line, between the spokes' labels.
    s += "set label '" + std::to_string(r) + "°' at " + formatShortest(r * 0.9239 + 1.0) + "," +
         formatShortest(r * 0.3827 + 1.0) + " front font 'sans,9'\n";
  }
  for (int a = 0; a < 360; a += 45) {
    const double c = std::cos(a * surf::kDegToRad), sn = std::sin(a * surf::kDegToRad);
    s += "set arrow from 0,0 to " + formatShortest(89 * c) + "," + formatShortest(89 * sn) +
         " nohead front lc rgb '#404040' lw 0.5 dt 2\n";
    s += "set label '" + std::to_string(a) + "°' at " + formatShortest(94 * c) + "," +
         formatShortest(94 * sn) + " center front font 'sans,9'\n";
  }
  s += "splot $map using 1:2:3 with pm3d\n";
  s += "set output\n";
  return s;
}

MapData evaluateMapData(const PluginLibrary &plugin, const ProbeOptions &options) {
  MapData data;
  data.quantity = options.quantity;
  data.width = options.plotWidth;
  data.height = options.plotHeight;
  for (double t = 0.0; t <= kMapLastIncidence; t += kMapIncidenceStep) data.incidences.push_back(t);
  for (double a = 0.0; a <= 360.0; a += kMapAzimuthStep) {
    MapScan scan{a, {}};
    for (double t : data.incidences) {
      // The normal itself has no plane of incidence; its neighbours stand for it, so the
      // centre of the map is not the one hit the plug-in treats apart.
      const Vector3 ray = rayFromAngles(t == 0.0 ? 0.01 : t, a);
      HitRecord record = makeHitRecord(options.wavelength, ray, resolvedReference(options),
                                       kDefaultNormal);
      requireContract(record, evaluateRecord(plugin, record),
                      "map point at incidence " + formatShortest(t) + ", azimuth " +
                          formatShortest(a));
      scan.values.push_back(mapValue(record, options.quantity,
                                     recordVector(record.input, kInRayDirectionX),
                                     recordVector(record.input, kInReferenceDirectionX)));
    }
    data.scans.push_back(std::move(scan));
  }
  return data;
}

int runMap(const ProbeOptions &options) {
  ChartRun run(options, kDefaultMapFile, {options.wavelength});
  MapData data = evaluateMapData(run.plugin(), options);
  data.outputPath = run.outputPath();
  // No quantity depends on the reference direction: the axis is given on the surface.
  data.title = std::string(quantityText(options.quantity).name) + ", " +
               formatShortest(options.wavelength) + " um, +z normal; " + datasetTitle(run.plugin());
  run.draw(buildMapScript(data), data.width, data.height);
  return 0;
}

}  // namespace probe
