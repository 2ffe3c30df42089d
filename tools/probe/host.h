// host.h - surf-probe acting as the host: loading the plug-in, handing it records, and the
// quantities a host derives from what comes back.
#ifndef SURF_PROBE_HOST_H
#define SURF_PROBE_HOST_H

#include <string>
#include <vector>

#include "tools/probe/plugin_loader.h"
#include "tools/probe/polarization.h"
#include "tools/probe/process.h"
#include "tools/probe/records.h"

namespace probe {

// Loads the plug-in at `path` (empty: kPluginFileName beside the executable), binds both
// exports and calls fnInitDll once with a pointer of the probe's own, as a host does.
// Throws InputError naming the file when it cannot be loaded or lacks an export.
// Returns what fnInitDll returned.
double openPlugin(PluginLibrary &plugin, const std::string &path);

// The plug-in's path as the user would type it from here: relative when it lies below the
// current directory, absolute otherwise.
std::string shownPluginPath(const std::string &path);

// The coating the loaded plug-in file records (tools/probe/dataset_identity.h), as one phrase:
// "dataset datasetA, data file SHA-256 ...".
std::string loadedDatasetText(const PluginLibrary &plugin);

// For commands whose standard output is data: names the plug-in file and its dataset on
// standard error.
void noteLoadedPlugin(const PluginLibrary &plugin);

// One fnEvaluateCoating call on the record; returns its return value.
inline double evaluateRecord(const PluginLibrary &plugin, HitRecord &record) {
  const PluginRunning running;
  return plugin.evaluateCoating()(record.input, nullptr, nullptr, nullptr, record.output);
}

// What the plug-in did to the record that the record contract forbids: host-data elements
// changed, output elements left unwritten, a return value other than 0. Empty when it kept the
// contract.
std::vector<std::string> contractBreaches(const HitRecord &record, double evaluateResult = 0.0);
// What is wrong with fnInitDll's return value; empty when it is 1.
std::string initResultBreach(double initResult);

// For the commands that evaluate many hits: throws ToolFailure, the message starting with
// `where` (a line of the input, a point of a sweep), when the record breaks the contract or
// fnEvaluateCoating did not return 0.
void requireContract(const HitRecord &record, double evaluateResult, const std::string &where);
// Throws ToolFailure when fnInitDll did not return 1.
void requireInitResult(double initResult);

// The table's edges, and what the plug-in does beyond them: a wavelength outside 0.40 .. 0.70 um
// (or not a number) uses the nearest edge's samples (0.40 for not-a-number), an incidence angle
// beyond 89 degrees the 89 degree samples, one that is not a number the 0 degree samples.
constexpr double kTableFirstWavelength = 0.40;
constexpr double kTableLastWavelength = 0.70;
constexpr double kTableLastIncidence = 89.0;
// A warning naming `wavelength` and the samples the plug-in uses instead (saying so when it
// looks like nanometres); empty when the table covers it.
std::string wavelengthWarning(double wavelength);
// The same for the incidence angle a hit comes to; empty within the table.
std::string incidenceWarning(double incidence);

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
