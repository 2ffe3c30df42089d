// commands.h - the surf-probe commands. Each returns the exit status, or throws
// InputError / ToolFailure (see errors.h).
#ifndef SURF_PROBE_COMMANDS_H
#define SURF_PROBE_COMMANDS_H

#include "tools/probe/options.h"

namespace probe {

int runHit(const ProbeOptions &options);
int runBatch(const ProbeOptions &options);
int runSweep(const ProbeOptions &options);
int runPlot(const ProbeOptions &options);
int runMap(const ProbeOptions &options);
int runCompare(const ProbeOptions &options);

}  // namespace probe

#endif
