#include "tools/probe/records.h"

#include <string>

#include "tools/probe/numbers.h"

namespace probe {

const std::array<const char *, kHitColumnCount> kHitColumnNames = {
    "wavelength", "rayX",       "rayY",    "rayZ",    "referenceX",
    "referenceY", "referenceZ", "normalX", "normalY", "normalZ"};

const std::array<int, kHitColumnCount> kHitColumnRecordIndex = {
    kInWavelength,          kInRayDirectionX,       kInRayDirectionY,       kInRayDirectionZ,
    kInReferenceDirectionX, kInReferenceDirectionY, kInReferenceDirectionZ, kInSurfaceNormalX,
    kInSurfaceNormalY,      kInSurfaceNormalZ};

namespace {

constexpr int kMuellerElements = 16;

const char *const kScalarOutputNames[kOutReflectionMueller] = {
    "absorptanceS",   "absorptanceP",    "reflectanceS",      "reflectanceP",  "transmittanceS",
    "transmittanceP", "reflectionPhase", "transmissionPhase", "auxiliaryValue"};

// Built once: "reflectionMueller00" ... "transmissionMueller33".
const std::array<std::string, kCoatingOutputCount> &outputNames() {
  static const std::array<std::string, kCoatingOutputCount> names = [] {
    std::array<std::string, kCoatingOutputCount> n;
    for (int i = 0; i < kOutReflectionMueller; ++i) n[i] = kScalarOutputNames[i];
    for (int e = 0; e < kMuellerElements; ++e) {
      const std::string rowColumn = std::to_string(e / 4) + std::to_string(e % 4);
      n[kOutReflectionMueller + e] = "reflectionMueller" + rowColumn;
      n[kOutTransmissionMueller + e] = "transmissionMueller" + rowColumn;
    }
    return n;
  }();
  return names;
}

}  // namespace

const char *outputFieldName(int index) { return outputNames().at(index).c_str(); }

bool isHostDataIndex(int index) {
  return (index >= 1 && index <= 4) || (index >= 8 && index <= 11);
}

// Distinct, exactly representable and unlike anything the plug-in computes.
double hostDataSentinel(int index) { return 1000.0 + index; }

double outputSentinel() { return -12345.0; }

HitRecord makeHitRecord(double wavelength, const Vector3 &ray, const Vector3 &reference,
                        const Vector3 &normal) {
  HitRecord record;
  for (int i = 0; i < kCoatingInputCount; ++i)
    record.input[i] = isHostDataIndex(i) ? hostDataSentinel(i) : 0.0;
  for (double &value : record.output) value = outputSentinel();
  const double columns[kHitColumnCount] = {wavelength,  ray.x,       ray.y,       ray.z,
                                           reference.x, reference.y, reference.z, normal.x,
                                           normal.y,    normal.z};
  setHitColumns(record.input, columns);
  return record;
}

void setHitColumns(double *input, const double columns[kHitColumnCount]) {
  for (int c = 0; c < kHitColumnCount; ++c) input[kHitColumnRecordIndex[c]] = columns[c];
}

Vector3 recordVector(const double *input, int firstIndex) {
  return Vector3{input[firstIndex], input[firstIndex + 1], input[firstIndex + 2]};
}

void appendHitCsvHeader(std::string &out) {
  for (int c = 0; c < kHitColumnCount; ++c) {
    out += kHitColumnNames[c];
    out += ',';
  }
  for (int i = 0; i < kCoatingOutputCount; ++i) {
    out += outputNames()[i];
    out += i + 1 < kCoatingOutputCount ? ',' : '\n';
  }
}

void appendHitCsvRow(std::string &out, const double *input, const double *output) {
  char buffer[kMaxNumberChars];
  for (int c = 0; c < kHitColumnCount; ++c) {
    out.append(buffer, formatShortest(input[kHitColumnRecordIndex[c]], buffer));
    out += ',';
  }
  for (int i = 0; i < kCoatingOutputCount; ++i) {
    out.append(buffer, formatShortest(output[i], buffer));
    out += i + 1 < kCoatingOutputCount ? ',' : '\n';
  }
}

}  // namespace probe
