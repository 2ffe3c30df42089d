// named_hits.h - ray hits with names: the worked example and the documented edge cases, the
// mended faults and bad input. The Windows cross-check evaluates them on both builds, and the
// committed expected bits (tests/golden) hold them.
#ifndef SURF_TESTS_SUPPORT_NAMED_HITS_H
#define SURF_TESTS_SUPPORT_NAMED_HITS_H

#include <string>
#include <vector>

#include "tests/support/hit_generator.h"

namespace surf_test {

struct NamedHit {
  std::string name;
  Hit hit;
};

std::vector<NamedHit> namedHits();

}  // namespace surf_test

#endif
