// host.h - surf-probe acting as the host: loading the plug-in, handing it records, and the
// quantities a host derives from what comes back.
#ifndef SURF_PROBE_HOST_H
#define SURF_PROBE_HOST_H

#include <string>
#include <vector>

#include "tools/probe/plugin_loader.h"
#include "tools/probe/polarization.h"
#include "tools/probe/records.h"

namespace probe {

// Loads the plug-in at `path` (empty: kPluginFileName beside the executable), binds both
// exports and calls fnInitDll once with a pointer of the probe's own, as a host does.
// Throws InputError naming the file when it cannot be loaded or lacks an export.
// Returns what fnInitDll returned.
double openPlugin(PluginLibrary &plugin, const std::string &path);

// One fnEvaluateCoating call on the record; returns its return value.
inline double evaluateRecord(const PluginLibrary &plugin, HitRecord &record) {
  return plugin.evaluateCoating()(record.input, nullptr, nullptr, nullptr, record.output);
}

// What the plug-in did to the record that the record contract forbids: host-data elements
// changed, output elements left unwritten. Empty when it kept the contract.
std::vector<std::string> contractBreaches(const HitRecord &record);

// The incidence angle and folded azimuth (degrees) of the snapped vectors in the record.
struct HitAngles {
  double incidence;
  double azimuth;
};
HitAngles snappedAngles(const HitRecord &record);

// The two Mueller matrices of the output record.
inline const double *reflectionMueller(const HitRecord &r) {
  return r.output + kOutReflectionMueller;
}
inline const double *transmissionMueller(const HitRecord &r) {
  return r.output + kOutTransmissionMueller;
}

}  // namespace probe

#endif
