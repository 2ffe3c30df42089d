// map.h - one figure over the whole cone of incidence on a +z normal, as a polar map drawn by
// gnuplot: incidence 0-89 degrees as the radius, the azimuth of the plane of incidence (all the
// way round, from +x towards +y) as the angle.
#ifndef SURF_PROBE_MAP_H
#define SURF_PROBE_MAP_H

#include <string>
#include <vector>

#include "tools/probe/host.h"
#include "tools/probe/options.h"

namespace probe {

// The value a map shows for one evaluated hit. Axis: the direction of the pass axis projected
// on the surface, degrees from +x towards +y in (-90, 90].
double mapValue(const HitRecord &record, MapQuantity quantity, const Vector3 &ray,
                const Vector3 &reference);

struct MapScan {
  double azimuth;              // degrees
  std::vector<double> values;  // one per incidence of MapData::incidences
};

struct MapData {
  MapQuantity quantity = MapQuantity::Extinction;
  int width = 1200, height = 900;
  std::string outputPath;  // where gnuplot writes the PNG
  std::string title;
  std::vector<double> incidences;
  std::vector<MapScan> scans;
};

MapData evaluateMapData(const PluginLibrary &plugin, const ProbeOptions &options);

// A complete gnuplot script, data included, for the map as a PNG.
std::string buildMapScript(const MapData &data);

}  // namespace probe

#endif
