#include "tools/probe/host.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "geometry/incidence.h"
#include "tools/probe/dataset_identity.h"
#include "tools/probe/errors.h"
#include "tools/probe/input_text.h"
#include "tools/probe/numbers.h"

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
  const std::string error = [&] {
    const PluginRunning running;  // loading runs the library's own initialisation
    return plugin.open(file);
  }();
  if (!error.empty()) {
    std::string where = besideExecutable ? "plug-in '" + file + "' (the default beside surf-probe)"
                                         : "--plugin '" + file + "'";
    throw InputError(where + ": " + error);
  }
  const PluginRunning running;
  return plugin.initDll()(&hostState);
}

std::string shownPluginPath(const std::string &path) {
  std::error_code error;
  const std::filesystem::path relative = std::filesystem::relative(path, error);
  if (error || relative.empty() || *relative.begin() == "..") return path;
  return relative.string();
}

std::string loadedDatasetText(const PluginLibrary &plugin) {
  return describeIdentity(readDatasetIdentity(plugin.path()));
}

void noteLoadedPlugin(const PluginLibrary &plugin) {
  std::fprintf(stderr, "surf-probe: plug-in %s: %s\n", visible(shownPluginPath(plugin.path())).c_str(),
               loadedDatasetText(plugin).c_str());
}

std::vector<std::string> contractBreaches(const HitRecord &record, double evaluateResult) {
  std::vector<std::string> breaches;
  for (int i = 0; i < kCoatingInputCount; ++i)
    if (isHostDataIndex(i) && record.input[i] != hostDataSentinel(i))
      breaches.push_back("the plug-in changed host element " + std::to_string(i) +
                         " of the input record");
  for (int i = 0; i < kCoatingOutputCount; ++i)
    if (record.output[i] == outputSentinel())
      breaches.push_back(std::string("the plug-in left output ") + outputFieldName(i) +
                         " unwritten");
  if (evaluateResult != 0.0)
    breaches.push_back("fnEvaluateCoating returned " + formatShortest(evaluateResult) +
                       " instead of 0");
  return breaches;
}

void requireContract(const HitRecord &record, double evaluateResult, const std::string &where) {
  const std::vector<std::string> breaches = contractBreaches(record, evaluateResult);
  if (breaches.empty()) return;
  std::string message = where + ": " + breaches.front();
  if (breaches.size() > 1)
    message += " (and " + std::to_string(breaches.size() - 1) + " more breaches of the record contract)";
  throw ToolFailure(message);
}

std::string initResultBreach(double initResult) {
  return initResult == 1.0 ? ""
                           : "fnInitDll returned " + formatShortest(initResult) + " instead of 1";
}

void requireInitResult(double initResult) {
  const std::string breach = initResultBreach(initResult);
  if (!breach.empty()) throw ToolFailure(breach);
}

std::string wavelengthWarning(double wavelength) {
  // Visible light in nanometres: 380 .. 780, give or take.
  constexpr double kLooksLikeNanometres = 100.0;
  const std::string typed = "wavelength " + formatShortest(wavelength) + " um";
  if (std::isnan(wavelength))
    return "wavelength not a number; the plug-in uses the " +
           formatShortest(kTableFirstWavelength) + " um samples";
  if (wavelength >= kTableFirstWavelength && wavelength <= kTableLastWavelength) return "";
  const bool below = wavelength < kTableFirstWavelength;
  const double used = below ? kTableFirstWavelength : kTableLastWavelength;
  std::string warning = typed + " lies " + (below ? "below" : "above") + " the table (" +
                        formatShortest(kTableFirstWavelength) + " .. " +
                        formatShortest(kTableLastWavelength) + " um); the plug-in uses the " +
                        formatShortest(used) + " um samples";
  if (wavelength >= kLooksLikeNanometres && std::isfinite(wavelength))
    warning += " (it looks like nanometres: " + formatShortest(wavelength) + " nm is " +
               formatShortest(wavelength / 1000.0) + " um)";
  return warning;
}

std::string incidenceWarning(double incidence) {
  if (std::isnan(incidence))
    return "the incidence angle is not a number; the plug-in uses the 0 deg samples";
  if (incidence <= kTableLastIncidence) return "";
  return "incidence angle " + formatShortest(incidence) + " deg lies beyond the table's last row (" +
         formatShortest(kTableLastIncidence) + " deg); the plug-in uses the " +
         formatShortest(kTableLastIncidence) + " deg samples";
}

HitAngles snappedAngles(const HitRecord &record) {
  const surf::IncidenceAngles angles = surf::incidenceAngles(
      recordVector(record.input, kInRayDirectionX), recordVector(record.input, kInSurfaceNormalX));
  return HitAngles{angles.incidence, angles.azimuth};
}

}  // namespace probe
