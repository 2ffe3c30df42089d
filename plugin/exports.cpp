// The library's two exports. Everything else in the library is hidden; on Windows the
// module-definition file names these two with their ordinals.
#include <type_traits>

#include "plugin/coating_records.h"
#include "plugin/evaluate.h"

#if defined(_WIN32)
#define SURF_EXPORT
#else
#define SURF_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

SURF_EXPORT double fnInitDll(void *hostPointer) {
  surf::hostPointer = hostPointer;
  return 1.0;
}

// A null record pointer would crash the host, and with it the user's unsaved work: such a call
// reads and writes nothing.
SURF_EXPORT double fnEvaluateCoating(double *input, void *, void *, void *, double *output) {
  if (input == nullptr || output == nullptr) return 0.0;
  surf::evaluateCoating(input, output);
  return 0.0;
}

}  // extern "C"

// The exports keep the signatures the host header promises.
static_assert(std::is_same<decltype(&fnInitDll), FnInitDll>::value, "fnInitDll signature");
static_assert(std::is_same<decltype(&fnEvaluateCoating), FnEvaluateCoating>::value,
              "fnEvaluateCoating signature");
