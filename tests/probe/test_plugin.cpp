// Plug-ins that misbehave, for the command-line tests. Built twice:
// - with SURF_TEST_WITHOUT_EVALUATE: exports fnInitDll but not fnEvaluateCoating, which
//   surf-probe must refuse with the missing symbol named;
// - without: both exports; fnEvaluateCoating writes every output and keeps the record contract
//   unless SURF_TEST_PLUGIN_FAULT names a fault: "host" (writes a host-data element),
//   "unwritten" (leaves an output unwritten), "return" (returns 1), "crash" (dereferences a
//   null pointer), "SIGINT", "SIGTERM" or "SIGHUP" (the signal arrives during the call, as when
//   the user interrupts a run or the terminal goes away).
#include <csignal>
#include <cstdlib>
#include <string_view>

#if defined(_WIN32)
#define TEST_EXPORT __declspec(dllexport)
#else
#define TEST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TEST_EXPORT double fnInitDll(void *) { return 1.0; }

#if !defined(SURF_TEST_WITHOUT_EVALUATE)
extern "C" TEST_EXPORT double fnEvaluateCoating(double *input, void *, void *, void *,
                                                double *output) {
  const char *fault = std::getenv("SURF_TEST_PLUGIN_FAULT");
  const std::string_view what = fault ? fault : "";
  for (int i = 0; i < 41; ++i) output[i] = 0.25;
  if (what == "host") input[2] = 7.0;
  if (what == "unwritten") output[40] = -12345.0;
  if (what == "crash") *static_cast<volatile int *>(nullptr) = 1;
  if (what == "SIGINT") std::raise(SIGINT);
  if (what == "SIGTERM") std::raise(SIGTERM);
#if !defined(_WIN32)
  if (what == "SIGHUP") std::raise(SIGHUP);
#endif
  return what == "return" ? 1.0 : 0.0;
}
#endif
