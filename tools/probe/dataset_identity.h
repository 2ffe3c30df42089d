// dataset_identity.h - which coating a plug-in file carries, read from the file itself: the ELF
// note .note.surf.dataset of a surf.so, or the version resource of a surf.dll (both written at
// build time by coating/data/dataset_identity.cmake).
#ifndef SURF_PROBE_DATASET_IDENTITY_H
#define SURF_PROBE_DATASET_IDENTITY_H

#include <optional>
#include <string>
#include <string_view>

namespace probe {

struct DatasetIdentity {
  std::string name;    // datasetA, datasetB, or the data file's name for a custom table
  std::string sha256;  // of the data file the table was converted from, 64 hex digits
};

// The identity recorded in the plug-in file at `path`, or nullopt when the file cannot be read
// or records none (a plug-in built before identities were recorded, or not a surf plug-in).
// Works on either file format whatever platform surf-probe runs on.
std::optional<DatasetIdentity> readDatasetIdentity(const std::string &path);

// The same from the file's bytes.
std::optional<DatasetIdentity> datasetIdentityOf(std::string_view image);

// "dataset datasetA, data file SHA-256 8e20...", or a sentence saying that none is recorded.
std::string describeIdentity(const std::optional<DatasetIdentity> &identity);

}  // namespace probe

#endif
