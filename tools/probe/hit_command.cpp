// The single-hit command: one fnEvaluateCoating call, shown in full.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/probe/commands.h"
#include "tools/probe/host.h"
#include "tools/probe/report.h"

namespace probe {

namespace {

// The plug-in's path as the user would type it from here: relative when it lies below the
// current directory, absolute otherwise.
std::string shownPath(const std::string &path) {
  std::error_code error;
  const std::filesystem::path relative = std::filesystem::relative(path, error);
  if (error || relative.empty() || *relative.begin() == "..") return path;
  return relative.string();
}

}  // namespace

int runHit(const ProbeOptions &options) {
  PluginLibrary plugin;
  const double initResult = openPlugin(plugin, options.pluginPath);

  HitRecord record = makeHitRecord(options.wavelength, resolvedRay(options), options.reference,
                                   resolvedNormal(options));
  const double evaluateResult = evaluateRecord(plugin, record);
  const HitAngles angles = snappedAngles(record);

  if (options.format == HitFormat::Csv) {
    std::fputs(formatHitCsv(record, angles, options.stokes).c_str(), stdout);
  } else {
    std::printf("plug-in %s\n  fnInitDll returned %g, fnEvaluateCoating returned %g\n",
                shownPath(plugin.path()).c_str(), initResult, evaluateResult);
    std::fputs(formatHitTable(record, angles, options.stokes).c_str(), stdout);
  }

  // A host relies on these; say so when the plug-in does not keep them, but still show
  // everything it returned.
  int status = 0;
  for (const std::string &breach : contractBreaches(record)) {
    std::fprintf(stderr, "surf-probe: warning: %s\n", breach.c_str());
    status = 1;
  }
  if (initResult != 1.0 || evaluateResult != 0.0) {
    std::fprintf(stderr,
                 "surf-probe: warning: fnInitDll should return 1 and fnEvaluateCoating 0\n");
    status = 1;
  }
  return status;
}

}  // namespace probe
