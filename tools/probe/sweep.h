// sweep.h - the response of the coating while one quantity of the hit varies.
#ifndef SURF_PROBE_SWEEP_H
#define SURF_PROBE_SWEEP_H

#include <string>
#include <vector>

#include "tools/probe/host.h"
#include "tools/probe/options.h"
#include "tools/probe/polarization.h"

namespace probe {

struct SweepRange {
  double from, to, step;
};

// The range a sweep over `quantity` covers when --from/--to/--step are not given: the whole
// incidence grid by degrees, a full turn of azimuth, the table's wavelengths.
SweepRange defaultRange(SweepQuantity quantity);
SweepRange resolvedRange(const ProbeOptions &options);

// from, from + step, ... up to and including `to` (a last value within rounding of `to` is
// `to` itself), each the double nearest the decimal of 15 significant digits it rounds to (0.42,
// not 0.42000000000000004) unless the step is finer than that. Throws InputError naming --step,
// --from or --to when the range is empty, endless or not finite.
constexpr std::size_t kMaxSweepPoints = 10000000;
std::vector<double> sweepValues(const SweepRange &range);

const char *quantityName(SweepQuantity quantity);

// One evaluated point of a sweep, with what a host reads off it. The eigen-axes are angles in
// the hit's s/p basis, from s towards p (tools/probe/frames.h): the stronger reflected and the
// passed linear polarization.
struct SweepPoint {
  double value;  // the swept quantity
  HitRecord record;
  HitAngles angles;
  EigenAxis reflection;
  EigenAxis transmission;
  FiguresOfMerit merit;
};

// The eigen-axes of a hit's two matrices, in its s/p basis.
struct SpAxes {
  EigenAxis reflection, transmission;
};
SpAxes spEigenAxes(const HitRecord &record);

// Evaluates the hit that `options` describe with `quantity` set to `value`. For an angle sweep
// the ray is built on the +z normal from the swept angle and the fixed other one. Throws
// ToolFailure naming the point when the plug-in breaks the record contract.
SweepPoint evaluateSweepPoint(const PluginLibrary &plugin, const ProbeOptions &options,
                              SweepQuantity quantity, double value);

// Counts the points of a sweep that lie beyond the table's edges (see host.h) and words one
// warning for each kind, naming the first such point.
class SweepEdgeWarnings {
 public:
  void note(const SweepPoint &point);
  std::vector<std::string> warnings() const;

 private:
  std::size_t points_ = 0, wavelengthCount_ = 0, incidenceCount_ = 0;
  std::string firstWavelength_, firstIncidence_;
};

// The sweep CSV: the swept quantity, incidenceAngle, azimuthAngle, the reflectances,
// transmittances and absorptances, the eigen-axes and diattenuations, the figures of merit,
// then the Stokes columns when `stokes` is given.
std::string sweepCsvHeader(SweepQuantity quantity, bool stokes);
void appendSweepCsvRow(std::string &out, const SweepPoint &point,
                       const std::optional<Stokes> &stokes);

}  // namespace probe

#endif
