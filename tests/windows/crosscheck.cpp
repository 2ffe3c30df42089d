// surf-crosscheck: loads a built plug-in by path, as a host does, and evaluates a fixed set of ray
// hits through it.
//
//   surf-crosscheck dump  <plugin> <results-file>   write every hit's input and results
//   surf-crosscheck check <plugin> <results-file>   compare with a file another build wrote
//
// The native build dumps; the Windows builds, run under Wine, check against that dump. In both
// modes the host also checks what it can see by itself: the binding of the two exports (by name
// and, on Windows, by ordinal), the C calling convention, the return values, which record
// elements a call writes, the handling of null record pointers, the faults mended in the
// geometry, and that the plug-in leaves the floating-point control registers alone.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/coating_records.h"
#include "tests/support/bits.h"
#include "tests/support/loaded_plugin.h"
#include "tests/windows/fpu_state.h"
#include "tests/windows/hit_records.h"

namespace {

using hits::HitRecord;
using hits::kInputSlots;
using hits::kInputUsed;
using hits::kOutputSlots;
using hits::kOutputUsed;
using surf_test::fromBits;
using surf_test::kUnwrittenBits;
using surf_test::platformPath;
using surf_test::sameBits;
using Plugin = surf_test::LoadedPlugin;

constexpr int kRandomHits = 3000;
// Two builds agree when each output value is equal, or within this relative difference.
constexpr double kTolerance = 1e-12;

// --- a tiny assertion harness --------------------------------------------------------------

int gChecks = 0;
int gFailures = 0;

void check(bool ok, const char *format, ...) {
  ++gChecks;
  if (ok) return;
  ++gFailures;
  if (gFailures > 40) {
    if (gFailures == 41) std::printf("FAIL (further failures not shown)\n");
    return;
  }
  std::va_list args;
  va_start(args, format);
  std::printf("FAIL ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
}

// --- loading the plug-in -------------------------------------------------------------------

bool loadPlugin(const char *path, Plugin &plugin) {
  plugin = surf_test::loadPlugin(path);
  if (plugin.module == nullptr) {
    std::printf("%s\n", plugin.error.c_str());
    return false;
  }
  check(plugin.init != nullptr, "fnInitDll is not exported by name");
  check(plugin.evaluate != nullptr, "fnEvaluateCoating is not exported by name");
  return plugin.ok();
}

#if defined(_WIN32)
void checkOrdinals(Plugin &plugin) {
  auto byOrdinal = [&](int ordinal) {
    const HMODULE module = static_cast<HMODULE>(plugin.module);
    return reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
  };
  check(byOrdinal(2) == reinterpret_cast<void *>(plugin.init),
        "ordinal 2 is not the function exported as fnInitDll");
  check(byOrdinal(3) == reinterpret_cast<void *>(plugin.evaluate),
        "ordinal 3 is not the function exported as fnEvaluateCoating");
  for (int ordinal : {0, 1, 4, 5}) {
    check(byOrdinal(ordinal) == nullptr, "ordinal %d is exported", ordinal);
  }
  for (const char *name : {"DllMain", "_fnInitDll", "fnInitDll@4", "_fnEvaluateCoating",
                           "fnEvaluateCoating@20", "DllMain@12", "_DllMain@12"}) {
    check(surf_test::exportNamed(plugin, name) == nullptr, "%s is exported", name);
  }
}
#endif

// --- calling the exports -------------------------------------------------------------------

#if defined(__i386__)
// Calls fn(a1, ..., a5) and reports how many bytes of arguments the callee removed from the
// stack: 0 under the C calling convention, 20 (or 4 for fnInitDll) if it were stdcall. The
// double comes back in ST(0), which is where this routine leaves it for its own caller.
extern "C" double callWithStackCheck(const void *fn, const void *a1, const void *a2,
                                     const void *a3, const void *a4, const void *a5,
                                     int *popped) __asm__("surf_call_with_stack_check");
__asm__(
    ".text\n"
    ".globl surf_call_with_stack_check\n"
    "surf_call_with_stack_check:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  movl %esp, %esi\n"
    "  pushl 28(%ebp)\n"
    "  pushl 24(%ebp)\n"
    "  pushl 20(%ebp)\n"
    "  pushl 16(%ebp)\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  leal 20(%esp), %ecx\n"
    "  subl %esi, %ecx\n"
    "  movl 32(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  movl %esi, %esp\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");
#endif

int gStackMismatches = 0;

double evaluate(const Plugin &plugin, double *in, const void *a2, const void *a3, const void *a4,
                double *out) {
#if defined(__i386__)
  int popped = -1;
  const double r = callWithStackCheck(reinterpret_cast<const void *>(plugin.evaluate), in, a2,
                                      a3, a4, out, &popped);
  if (popped != 0) ++gStackMismatches;
  return r;
#else
  return plugin.evaluate(in, const_cast<void *>(a2), const_cast<void *>(a3),
                         const_cast<void *>(a4), out);
#endif
}

double initDll(const Plugin &plugin, void *pointer) {
#if defined(__i386__)
  int popped = -1;
  const double r = callWithStackCheck(reinterpret_cast<const void *>(plugin.init), pointer,
                                      nullptr, nullptr, nullptr, nullptr, &popped);
  if (popped != 0) ++gStackMismatches;
  return r;
#else
  return plugin.init(pointer);
#endif
}

// --- the floating-point control registers --------------------------------------------------

struct FpuState {
  unsigned x87 = 0;
  unsigned mxcsr = 0;
};

FpuState readFpu() {
  FpuState s;
#if SURF_HAVE_X86_FPU
  s.x87 = fpu::x87Control();
  s.mxcsr = fpu::mxcsrControl();
#endif
  return s;
}

bool operator==(const FpuState &a, const FpuState &b) {
  return a.x87 == b.x87 && a.mxcsr == b.mxcsr;
}

int gFpuChanges = 0;

#if defined(_WIN32)
// A fault inside the plug-in must fail the run: under Wine the debugger that would otherwise
// take over can leave the exit status at 0.
LONG WINAPI reportCrash(EXCEPTION_POINTERS *info) {
  std::printf("FAIL crashed: exception %08lx at %p\n",
              static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
              info->ExceptionRecord->ExceptionAddress);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

#endif

// --- one evaluation ------------------------------------------------------------------------

struct HitResult {
  double ret;
  double in[kInputSlots];
  double out[hits::kOutputSlots];
};

// Evaluates `hit` and checks what the host can see without a reference build.
HitResult evaluateHit(const Plugin &plugin, const HitRecord &hit) {
  HitResult r;
  std::memcpy(r.in, hit.in, sizeof r.in);
  for (int i = 0; i < kOutputSlots; ++i) r.out[i] = fromBits(kUnwrittenBits + i);
  int junk = 0;
  const FpuState before = readFpu();
  r.ret = evaluate(plugin, r.in, reinterpret_cast<void *>(1), reinterpret_cast<void *>(-1),
                   &junk, r.out);
  if (!(readFpu() == before)) ++gFpuChanges;

  const char *name = hit.name.c_str();
  check(sameBits(r.ret, 0.0), "%s: returned %.17g, not 0.0", name, r.ret);
  for (int i = 0; i < kOutputUsed; ++i) {
    check(surf_test::bits(r.out[i]) != kUnwrittenBits + i, "%s: output %d not written", name, i);
  }
  for (int i = kOutputUsed; i < kOutputSlots; ++i) {
    check(surf_test::bits(r.out[i]) == kUnwrittenBits + i, "%s: wrote past the output, element %d",
          name, i);
  }
  check(sameBits(r.out[kOutReflectionPhase], 180.0) &&
            sameBits(r.out[kOutTransmissionPhase], 0.0) &&
            sameBits(r.out[kOutAuxiliaryValue], -1.0),
        "%s: constants are %.17g %.17g %.17g", name, r.out[6], r.out[7], r.out[8]);
  for (int i = 0; i < kInputSlots; ++i) {
    const bool vector = (i >= 5 && i <= 7) || (i >= 12 && i < kInputUsed);
    if (!vector) {
      check(sameBits(r.in[i], hit.in[i]), "%s: input element %d changed", name, i);
    }
  }
  check(junk == 0, "%s: an unused argument was written through", name);

  // No state between calls: the same input gives the same bits, whatever the unused arguments.
  HitResult again;
  std::memcpy(again.in, hit.in, sizeof again.in);
  for (int i = 0; i < kOutputSlots; ++i) again.out[i] = 0.0;
  evaluate(plugin, again.in, nullptr, nullptr, nullptr, again.out);
  check(std::memcmp(again.in, r.in, sizeof r.in) == 0 &&
            std::memcmp(again.out, r.out, sizeof(double) * kOutputUsed) == 0,
        "%s: a second evaluation differs", name);
  return r;
}

const HitResult *resultOf(const std::vector<HitRecord> &hitList,
                          const std::vector<HitResult> &results, const char *name) {
  const int i = hits::findHit(hitList, name);
  check(i >= 0, "no hit named %s", name);
  return i >= 0 ? &results[static_cast<std::size_t>(i)] : nullptr;
}

double largestDifference(const HitResult &a, const HitResult &b, int first, int last) {
  double d = 0.0;
  for (int i = first; i <= last; ++i) {
    const double e = std::fabs(a.out[i] - b.out[i]);
    if (!(e <= d)) d = e;  // a not-a-number difference wins
  }
  return d;
}

// The faults mended in the geometry, seen through the results they lead to.
void checkMendedFaults(const std::vector<HitRecord> &hitList,
                       const std::vector<HitResult> &results) {
  const HitResult *grazing = resultOf(hitList, results, "grazing-rounds-above-one");
  const HitResult *companion = resultOf(hitList, results, "grazing-companion");
  const HitResult *normal = resultOf(hitList, results, "ray-along-normal");
  const HitResult *below = resultOf(hitList, results, "along-tilted-normal-below-one");
  const HitResult *above = resultOf(hitList, results, "along-tilted-normal-above-one");
  const HitResult *reversed = resultOf(hitList, results, "along-tilted-normal-reversed");
  if (!grazing || !companion || !normal || !below || !above || !reversed) return;

  // A grazing ray whose transverse length rounds above one is at 90 degrees, the same table
  // row as a ray 0.8 degrees off grazing in the same direction; not at normal incidence.
  const double g = largestDifference(*grazing, *companion, 0, kOutputUsed - 1);
  check(g < 1e-9, "grazing ray: differs from a ray just off grazing by %.3g", g);
  // A ray along a tilted normal has azimuth 0: the reflectances and transmittances are those
  // of normal incidence at azimuth 0 (exactly, when the dot product rounds above one and the
  // incidence is not-a-number; within a 1.7e-7 share of the next row when it rounds below).
  const double b = largestDifference(*below, *normal, 0, 5);
  check(b < 1e-6, "ray along a tilted normal (dot below one): %.3g from normal incidence", b);
  const double r = largestDifference(*reversed, *normal, 0, 5);
  check(r < 1e-6, "reversed ray along a tilted normal: %.3g from normal incidence", r);
  check(std::memcmp(above->out, normal->out, 6 * sizeof(double)) == 0,
        "ray along a tilted normal (dot above one): not the normal-incidence values");
}

void checkNullRecords(const Plugin &plugin, const HitRecord &hit) {
  double in[kInputSlots];
  double out[kOutputSlots];
  std::memcpy(in, hit.in, sizeof in);
  for (int i = 0; i < kOutputSlots; ++i) out[i] = fromBits(kUnwrittenBits + i);
  double r = evaluate(plugin, nullptr, nullptr, nullptr, nullptr, out);
  check(sameBits(r, 0.0), "null input record: returned %.17g", r);
  bool untouched = true;
  for (int i = 0; i < kOutputSlots; ++i) {
    untouched = untouched && surf_test::bits(out[i]) == kUnwrittenBits + i;
  }
  check(untouched, "null input record: the output record was written");
  r = evaluate(plugin, in, nullptr, nullptr, nullptr, nullptr);
  check(sameBits(r, 0.0), "null output record: returned %.17g", r);
  check(std::memcmp(in, hit.in, sizeof in) == 0, "null output record: the input was changed");
  r = evaluate(plugin, nullptr, nullptr, nullptr, nullptr, nullptr);
  check(sameBits(r, 0.0), "null records: returned %.17g", r);
}

// --- the results file ----------------------------------------------------------------------
// A text file, one hit a line: name, then the input before the call, the return value, the
// input after the call and the output, each double as the 16 hexadecimal digits of its bits.

const char kFileHeader[] = "surf-crosscheck results 1";

void putHex(std::FILE *f, const double *v, int n) {
  for (int i = 0; i < n; ++i) std::fprintf(f, " %s", surf_test::hex16(v[i]).c_str());
}

bool writeResults(const char *path, const std::vector<HitRecord> &hitList,
                  const std::vector<HitResult> &results) {
  std::FILE *f = std::fopen(platformPath(path).c_str(), "w");
  if (!f) {
    std::printf("cannot write %s\n", path);
    return false;
  }
  std::fprintf(f, "%s %u\n", kFileHeader, static_cast<unsigned>(hitList.size()));
  for (std::size_t k = 0; k < hitList.size(); ++k) {
    std::fprintf(f, "%s", hitList[k].name.c_str());
    putHex(f, hitList[k].in, kInputSlots);
    putHex(f, &results[k].ret, 1);
    putHex(f, results[k].in, kInputSlots);
    putHex(f, results[k].out, kOutputUsed);
    std::fprintf(f, "\n");
  }
  return std::fclose(f) == 0;
}

struct FileRecord {
  std::string name;
  double inBefore[kInputSlots];
  HitResult result;
};

bool readResults(const char *path, std::vector<FileRecord> &records) {
  std::FILE *f = std::fopen(platformPath(path).c_str(), "r");
  if (!f) {
    std::printf("cannot read %s\n", path);
    return false;
  }
  std::vector<char> line(16384);
  bool ok = std::fgets(line.data(), static_cast<int>(line.size()), f) != nullptr &&
            std::strncmp(line.data(), kFileHeader, sizeof kFileHeader - 1) == 0;
  const unsigned expected = ok ? static_cast<unsigned>(
                                     std::strtoul(line.data() + sizeof kFileHeader, nullptr, 10))
                               : 0;
  while (ok && std::fgets(line.data(), static_cast<int>(line.size()), f)) {
    FileRecord r;
    const char *p = line.data();
    const char *space = std::strchr(p, ' ');
    ok = space != nullptr;
    if (!ok) break;
    r.name.assign(p, space);
    p = space;
    for (int i = 0; ok && i < kInputSlots; ++i) ok = surf_test::readHex16(p, r.inBefore[i]);
    ok = ok && surf_test::readHex16(p, r.result.ret);
    for (int i = 0; ok && i < kInputSlots; ++i) ok = surf_test::readHex16(p, r.result.in[i]);
    for (int i = 0; ok && i < kOutputUsed; ++i) ok = surf_test::readHex16(p, r.result.out[i]);
    records.push_back(r);
  }
  std::fclose(f);
  if (!ok || records.size() != expected) {
    std::printf("%s: not a complete results file (%u of %u records read)\n", path,
                static_cast<unsigned>(records.size()), expected);
    return false;
  }
  return true;
}

// --- comparing with the reference build ----------------------------------------------------

struct Worst {
  double value = 0.0;
  std::string where;
  void note(double v, const std::string &name, int element) {
    if (v > value) {
      value = v;
      where = name + " output " + std::to_string(element);
    }
  }
};

// Each output value must equal the reference, or lie within kTolerance of it relative to the
// larger of the two; not-a-number must appear exactly where the reference has it. Two kinds of
// value are measured against a scale instead of their own size, since they can be tiny
// differences of unit-sized terms: an absorptance (formed as 1 - r - t) against 1, and a Mueller
// element against its matrix's element [0][0], the largest one. That keeps elements such as
// sin(pi) times an eigen-value (1e-16, computed with fewer correct digits by the x87 sine of
// the 32-bit build) from failing on differences of 1e-21.
double scaleOf(int element, const HitResult &reference) {
  if (element == kOutAbsorptanceS || element == kOutAbsorptanceP) return 1.0;
  if (element >= kOutReflectionMueller && element < kOutTransmissionMueller) {
    return std::fabs(reference.out[kOutReflectionMueller]);
  }
  if (element >= kOutTransmissionMueller && element < kOutputUsed) {
    return std::fabs(reference.out[kOutTransmissionMueller]);
  }
  return 0.0;
}

void compareWithReference(const std::vector<HitRecord> &hitList,
                          const std::vector<HitResult> &results,
                          const std::vector<FileRecord> &reference) {
  check(reference.size() == hitList.size(), "the reference has %u hits, this host %u",
        static_cast<unsigned>(reference.size()), static_cast<unsigned>(hitList.size()));
  Worst relative, scaled;
  long compared = 0, differing = 0, nanPlaces = 0, beyondRelative = 0;
  double largestBeyond = 0.0;
  const std::size_t n = reference.size() < hitList.size() ? reference.size() : hitList.size();
  for (std::size_t k = 0; k < n; ++k) {
    const HitRecord &hit = hitList[k];
    const FileRecord &ref = reference[k];
    const char *name = hit.name.c_str();
    if (ref.name != hit.name || std::memcmp(ref.inBefore, hit.in, sizeof hit.in) != 0) {
      check(false, "hit %u: the reference file has another input (%s)", static_cast<unsigned>(k),
            ref.name.c_str());
      continue;
    }
    const HitResult &mine = results[k];
    check(sameBits(mine.ret, ref.result.ret), "%s: return value differs", name);
    for (int i = 0; i < kInputSlots; ++i) {
      check(sameBits(mine.in[i], ref.result.in[i]), "%s: input element %d after the call is "
            "%.17g, the reference has %.17g", name, i, mine.in[i], ref.result.in[i]);
    }
    for (int i = 0; i < kOutputUsed; ++i) {
      const double a = mine.out[i], b = ref.result.out[i];
      ++compared;
      if (std::isnan(b) || std::isnan(a)) {
        check(std::isnan(a) && std::isnan(b), "%s: output %d is %.17g, the reference has %.17g",
              name, i, a, b);
        if (std::isnan(a) && std::isnan(b)) ++nanPlaces;
        continue;
      }
      if (sameBits(a, b)) continue;
      ++differing;
      const double diff = std::fabs(a - b);
      const double size = std::fmax(std::fabs(a), std::fabs(b));
      const double rel = diff / size;
      relative.note(rel, hit.name, i);
      if (rel > kTolerance) {
        ++beyondRelative;
        if (size > largestBeyond) largestBeyond = size;
      }
      const double scale = std::fmax(size, scaleOf(i, ref.result));
      const double sc = diff / scale;
      scaled.note(sc, hit.name, i);
      check(sc <= kTolerance, "%s: output %d is %.17g, the reference has %.17g (%.3g apart)",
            name, i, a, b, sc);
    }
  }
  std::printf("compared %ld output values with the reference: %ld differ in their bits, "
              "not-a-number at the same %ld places\n", compared, differing, nanPlaces);
  std::printf("largest relative difference: %.3g%s%s\n", relative.value,
              relative.where.empty() ? "" : " at ", relative.where.c_str());
  std::printf("%ld values differ by more than %.0e of their own size, all of them at most %.3g "
              "in magnitude\n", beyondRelative, kTolerance, largestBeyond);
  std::printf("largest difference against the value's scale: %.3g%s%s (limit %.0e)\n",
              scaled.value, scaled.where.empty() ? "" : " at ", scaled.where.c_str(), kTolerance);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4 || (std::strcmp(argv[1], "dump") != 0 && std::strcmp(argv[1], "check") != 0)) {
    std::printf("usage: surf-crosscheck dump|check <plugin> <results-file>\n");
    return 2;
  }
  const bool dump = std::strcmp(argv[1], "dump") == 0;
  const char *pluginPath = argv[2];
  const char *resultsPath = argv[3];
  std::setvbuf(stdout, nullptr, _IONBF, 0);
#if defined(_WIN32)
  SetUnhandledExceptionFilter(reportCrash);
#endif

#if SURF_HAVE_X86_FPU
  fpu::setX87Control(fpu::kHostX87Control);
#endif
  const FpuState host = readFpu();

  Plugin plugin;
  if (!loadPlugin(pluginPath, plugin)) {
    std::printf("surf-crosscheck: %s: not loaded\n", pluginPath);
    return 1;
  }
  std::printf("x87 control %04x, MXCSR %04x\n", host.x87, host.mxcsr);
  check(readFpu() == host, "loading the plug-in changed the FPU control (x87 %04x -> %04x, "
        "MXCSR %04x -> %04x)", host.x87, readFpu().x87, host.mxcsr, readFpu().mxcsr);
#if defined(_WIN32)
  checkOrdinals(plugin);
#endif

  const std::vector<HitRecord> hitList = hits::crosscheckHits(kRandomHits);
  std::vector<HitResult> results;
  results.reserve(hitList.size());
  for (const HitRecord &hit : hitList) results.push_back(evaluateHit(plugin, hit));
  checkMendedFaults(hitList, results);
  checkNullRecords(plugin, hitList[0]);

  // fnInitDll: 1.0 for any pointer, and evaluations afterwards give the same bits as before.
  int hostData = 7;
  for (void *p : {static_cast<void *>(&hostData), static_cast<void *>(nullptr),
                  reinterpret_cast<void *>(-1)}) {
    const double r = initDll(plugin, p);
    check(sameBits(r, 1.0), "fnInitDll(%p) returned %.17g", p, r);
  }
  for (std::size_t k = 0; k < hitList.size() && k < 200; ++k) {
    const HitResult after = evaluateHit(plugin, hitList[k]);
    check(std::memcmp(after.out, results[k].out, sizeof(double) * kOutputUsed) == 0 &&
              std::memcmp(after.in, results[k].in, sizeof after.in) == 0,
          "%s: differs after fnInitDll", hitList[k].name.c_str());
  }

  check(gFpuChanges == 0, "%d calls changed the FPU control", gFpuChanges);
  check(readFpu() == host, "the FPU control is x87 %04x, MXCSR %04x after the calls, not "
        "%04x, %04x", readFpu().x87, readFpu().mxcsr, host.x87, host.mxcsr);
  check(gStackMismatches == 0, "%d calls did not leave the arguments to the caller",
        gStackMismatches);

  if (dump) {
    check(writeResults(resultsPath, hitList, results), "results not written");
  } else {
    std::vector<FileRecord> reference;
    check(readResults(resultsPath, reference), "reference not read");
    compareWithReference(hitList, results, reference);
  }
  std::printf("surf-crosscheck %s: %s: %u hits, %d checks, %d failed\n", argv[1], pluginPath,
              static_cast<unsigned>(hitList.size()), gChecks, gFailures);
  return gFailures == 0 ? 0 : 1;
}
