// hit_records.h - the fixed set of ray hits that the Windows builds are checked against.
//
// The native reference dump and the Windows test host generate the same records (the named hits
// and random ones from the shared generator, which rounds alike everywhere and calls no maths
// routine); the results file carries each input as well, and the host refuses a file whose
// inputs differ from its own.
#ifndef SURF_TESTS_WINDOWS_HIT_RECORDS_H
#define SURF_TESTS_WINDOWS_HIT_RECORDS_H

#include <string>
#include <vector>

#include "tests/support/host_record.h"

namespace hits {

using surf_test::kInputSlots;
using surf_test::kOutputSlots;
constexpr int kInputUsed = kCoatingInputCount;
constexpr int kOutputUsed = kCoatingOutputCount;

struct HitRecord {
  std::string name;
  double in[kInputSlots];  // as surf_test::hostCall lays it out
};

// The named hits (worked example, edge cases, mended faults, bad input) followed by
// `randomCount` random hits drawn with a fixed seed.
std::vector<HitRecord> crosscheckHits(int randomCount);

// The index of the record called `name`, or -1.
int findHit(const std::vector<HitRecord> &hits, const std::string &name);

}  // namespace hits

#endif
