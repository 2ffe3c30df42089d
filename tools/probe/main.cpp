// surf-probe: loads the surf coating plug-in as a host application does and shows what it
// computes, for one ray hit, a CSV file of hits, a sweep, or a chart.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/probe/commands.h"
#include "tools/probe/errors.h"
#include "tools/probe/options.h"
#include "tools/probe/process.h"

namespace {

int runCommand(const probe::ProbeOptions &options) {
  using namespace probe;
  if (options.help) {
    std::fputs(usageText(), stdout);
    return kExitSuccess;
  }
  switch (options.command) {
    case Command::Hit: return runHit(options);
    case Command::Batch: return runBatch(options);
    case Command::Sweep: return runSweep(options);
    case Command::Plot: return runPlot(options);
    case Command::Map: return runMap(options);
    case Command::Compare: return runCompare(options);
  }
  return kExitFailure;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace probe;
  prepareProcess();
  try {
    const int status =
        runCommand(parseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
    // Whatever a command printed must have arrived for its status to stand.
    finishStandardOutput();
    return status;
  } catch (const InputError &error) {
    std::fprintf(stderr, "surf-probe: %s\n(surf-probe --help shows the usage)\n", error.what());
    return kExitBadInput;
  } catch (const ToolFailure &error) {
    std::fprintf(stderr, "surf-probe: %s\n", error.what());
    return kExitFailure;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "surf-probe: %s\n", error.what());
    return kExitFailure;
  }
}
