// The single-hit command: one fnEvaluateCoating call, shown in full.
#include <cstdio>
#include <string>

#include "tools/probe/commands.h"
#include "tools/probe/errors.h"
#include "tools/probe/host.h"
#include "tools/probe/input_text.h"
#include "tools/probe/report.h"

namespace probe {

int runHit(const ProbeOptions &options) {
  PluginLibrary plugin;
  const double initResult = openPlugin(plugin, options.pluginPath);

  HitRecord record = makeHitRecord(options.wavelength, resolvedRay(options),
                                   resolvedReference(options), resolvedNormal(options));
  const double evaluateResult = evaluateRecord(plugin, record);
  const HitAngles angles = snappedAngles(record);
  printDirectionNotes(options);
  for (const std::string &warning :
       {wavelengthWarning(options.wavelength), incidenceWarning(angles.incidence)})
    if (!warning.empty()) std::fprintf(stderr, "surf-probe: warning: %s\n", warning.c_str());

  if (options.format == HitFormat::Csv) {
    noteLoadedPlugin(plugin);
    std::fputs(formatHitCsv(record, angles, options.stokes).c_str(), stdout);
  } else {
    std::printf("plug-in %s\n  %s\n  fnInitDll returned %g, fnEvaluateCoating returned %g\n",
                visible(shownPluginPath(plugin.path())).c_str(), loadedDatasetText(plugin).c_str(),
                initResult, evaluateResult);
    std::fputs(formatHitTable(record, angles, options.stokes).c_str(), stdout);
  }

  // A host relies on these; say so when the plug-in does not keep them, but still show
  // everything it returned.
  std::vector<std::string> breaches = contractBreaches(record, evaluateResult);
  if (const std::string init = initResultBreach(initResult); !init.empty()) breaches.push_back(init);
  for (const std::string &breach : breaches)
    std::fprintf(stderr, "surf-probe: warning: %s\n", breach.c_str());
  return breaches.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace probe
