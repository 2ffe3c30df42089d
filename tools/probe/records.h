// records.h - one ray hit as the host holds it: the plug-in's input and output records, the
// names surf-probe gives their fields, and their CSV form.
#ifndef SURF_PROBE_RECORDS_H
#define SURF_PROBE_RECORDS_H

#include <array>
#include <string>

#include "geometry/vec3.h"
#include "plugin/coating_records.h"

namespace probe {

using Vector3 = surf::Vec3;

// The ten numbers that describe a hit, in the order of the batch input columns.
constexpr int kHitColumnCount = 10;
extern const std::array<const char *, kHitColumnCount> kHitColumnNames;
// Where each of those columns lives in the CoatingInput record.
extern const std::array<int, kHitColumnCount> kHitColumnRecordIndex;

// The name of output element `index` (0..40): absorptanceS ... auxiliaryValue, then
// reflectionMueller00..33 and transmissionMueller00..33 (row, column).
const char *outputFieldName(int index);

struct HitRecord {
  double input[kCoatingInputCount];
  double output[kCoatingOutputCount];
};

// A record for one hit. The host-data elements of the input (the ones the plug-in must not
// touch) and the whole output hold sentinel values so a caller can tell what the plug-in wrote.
HitRecord makeHitRecord(double wavelength, const Vector3 &ray, const Vector3 &reference,
                        const Vector3 &normal);
// Writes the ten hit columns into an input record that already holds its sentinels.
void setHitColumns(double *input, const double columns[kHitColumnCount]);

Vector3 recordVector(const double *input, int firstIndex);

// The hit's CSV columns: the ten hit columns (vectors as the plug-in left them, i.e. snapped)
// followed by the 41 outputs.
void appendHitCsvHeader(std::string &out);
void appendHitCsvRow(std::string &out, const double *input, const double *output);

// Host-data elements of the input record that the plug-in must leave alone, and the values
// makeHitRecord puts there.
bool isHostDataIndex(int index);
double hostDataSentinel(int index);
// The value every output element holds until the plug-in writes it.
double outputSentinel();

}  // namespace probe

#endif
