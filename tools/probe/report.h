// report.h - how one evaluated hit is shown: the readable table and the CSV columns shared by
// the single-hit command and sweep.
#ifndef SURF_PROBE_REPORT_H
#define SURF_PROBE_REPORT_H

#include <optional>
#include <string>

#include "tools/probe/frames.h"
#include "tools/probe/host.h"
#include "tools/probe/options.h"
#include "tools/probe/polarization.h"

namespace probe {

// The readable report of one hit: snapped vectors, the angles they imply, all 41 outputs by
// name (the Mueller matrices as 4x4 grids) and, with `stokes`, the two output states.
std::string formatHitTable(const HitRecord &record, const HitAngles &angles,
                           const std::optional<Stokes> &stokes);

// The columns --stokes adds to a CSV row: reflectedS0..S3, reflectedDegreeOfPolarization,
// reflectedOrientation, reflectedEllipticity, then the same for transmitted.
void appendStokesCsvHeader(std::string &out);
void appendStokesCsvRow(std::string &out, const StokesResult &result);

// The single-hit CSV: the hit columns and outputs of appendHitCsvRow, then incidenceAngle and
// azimuthAngle, then the Stokes columns when `stokes` is given. One header line, one row.
std::string formatHitCsv(const HitRecord &record, const HitAngles &angles,
                         const std::optional<Stokes> &stokes);

// The notes of directionNotes(), on standard error.
void printDirectionNotes(const ProbeOptions &options);

}  // namespace probe

#endif
