#include "tools/probe/host.h"

#include "geometry/incidence.h"
#include "tools/probe/errors.h"

namespace probe {

namespace {

// What surf-probe hands fnInitDll: a host keeps something of its own behind this pointer; the
// plug-in only stores it.
struct HostState {
  const char *name = "surf-probe";
} hostState;

}  // namespace

double openPlugin(PluginLibrary &plugin, const std::string &path) {
  const bool besideExecutable = path.empty();
  const std::string file = besideExecutable ? executableDirectory() + kPluginFileName : path;
  const std::string error = plugin.open(file);
  if (!error.empty()) {
    std::string where = besideExecutable ? "plug-in '" + file + "' (the default beside surf-probe)"
                                         : "--plugin '" + file + "'";
    throw InputError(where + ": " + error);
  }
  return plugin.initDll()(&hostState);
}

std::vector<std::string> contractBreaches(const HitRecord &record) {
  std::vector<std::string> breaches;
  for (int i = 0; i < kCoatingInputCount; ++i)
    if (isHostDataIndex(i) && record.input[i] != hostDataSentinel(i))
      breaches.push_back("the plug-in changed host element " + std::to_string(i) +
                         " of the input record");
  for (int i = 0; i < kCoatingOutputCount; ++i)
    if (record.output[i] == outputSentinel())
      breaches.push_back(std::string("the plug-in left output ") + outputFieldName(i) +
                         " unwritten");
  return breaches;
}

HitAngles snappedAngles(const HitRecord &record) {
  const surf::IncidenceAngles angles = surf::incidenceAngles(
      recordVector(record.input, kInRayDirectionX), recordVector(record.input, kInSurfaceNormalX));
  return HitAngles{angles.incidence, angles.azimuth};
}

}  // namespace probe
