// A shared library that exports fnInitDll but not fnEvaluateCoating: what surf-probe must
// refuse, with the missing symbol named.
#if defined(_WIN32)
#define TEST_EXPORT __declspec(dllexport)
#else
#define TEST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TEST_EXPORT double fnInitDll(void *) { return 1.0; }
