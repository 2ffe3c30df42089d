// The plug-in's cost per ray hit, and the cost of the maths-library calls it cannot avoid, on
// two sets of hits (hit_set.h: a realistic mix and a harsh one), in one run:
//
//   evaluate      restore a record, then fnEvaluateCoating through the loaded plug-in
//   restore       the same restore alone, to be subtracted
//   floor         only the maths calls the evaluation makes for the same hits, with their
//                 arguments computed beforehand, each a call of its own: per hit sqrt, atan2,
//                 asin (+z normal) or acos, three sqrt, acos (tilted normal), fewer on a ray
//                 along the normal; atan2 of the reference direction when the axes are
//                 turned; cos and sin of both axis angles and of both retardances (pi and 0);
//                 the diattenuators' two square roots in one paired instruction. Square roots
//                 are the instruction itself, as in the plug-in.
//   floor_paired  the same with cos and sin of one argument taken in one call, as the maths
//                 library allows (sincos, which gives their bits): four pairs per hit
//
// evaluate and restore run on one thread and on two (each thread on its own copy of the
// records). Every benchmark runs in short rounds taken in turn and reports, per thread, the CPU
// time and the wall time per call (counters cpu_ns and wall_ns); a closing summary gives, from
// each benchmark's fastest round, the plug-in's time per call, both floors and the ratios, and
// the two-thread figures, for each mix.
//
// This file is compiled like the plug-in: -fno-builtin-sin -fno-builtin-cos
// -fno-builtin-sincos, so sin and cos of pi and 0 are real library calls here too, and the
// arguments are read from memory the compiler cannot see into.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/hit_set.h"
#include "coating/lookup.h"
#include "geometry/pair.h"
#include "geometry/incidence.h"
#include "geometry/units.h"
#include "mueller/mueller.h"

namespace surf_bench {
namespace {

constexpr unsigned kMask = kHitCount - 1;

const std::vector<double> &pristineHits(int mix) {
  static const std::vector<double> hits[kMixCount] = {makeHitSet(kRealistic), makeHitSet(kHarsh)};
  return hits[mix];
}

const Plugin &plugin() {
  static const Plugin p = loadPlugin();
  return p;
}

// ---- the maths floor ------------------------------------------------------------------------

// The maths calls the angles of a hit need: none on a ray along a +z normal, one acos when the
// incidence on a tilted normal is negligible (the plug-in takes the three square roots of the
// normalisations then too, ahead of knowing, but need not), and no azimuth acos when the ray
// has no tangential direction.
enum AngleCalls : unsigned char {
  kAlongPlusZ,  // none
  kPlusZ,       // sqrt, atan2, asin
  kAlongTilted, // acos
  kNoTangent,   // acos, three sqrt (the normalisations)
  kTilted,      // acos, three sqrt, acos
};

// The arguments of every maths call one evaluation of a hit makes.
struct FloorArgs {
  AngleCalls angles;
  bool turned;            // the axes are turned: atan2 of the reference direction
  double g[5];            // the angles' arguments, in the order listed above
  double refY, refX;      // atan2 of the reference direction
  double axisR, axisT;    // cos and sin of twice each eigen-axis angle, in radians
  double rProduct, tProduct;  // sqrt(e2 * e1) of each diattenuator
  double deltaR, deltaT;      // the retardances, pi and 0, read from memory
};

// cos and sin of one argument: two calls, or one where the plug-in takes both at once.
template <bool kPaired>
inline surf::CosSin cosAndSin(double x) {
  if (kPaired) return surf::cosSin(x);
  return surf::CosSin{std::cos(x), std::sin(x)};
}

// The calls, summed so that none of them can be dropped. Square roots as the plug-in takes
// them: the instruction itself, and the two diattenuators' in one paired instruction.
template <bool kPaired>
inline double floorCalls(const FloorArgs &f) {
  double s = 0.0;
  switch (f.angles) {
    case kAlongPlusZ:
      break;
    case kPlusZ:
      s = (surf::squareRoot(f.g[0]) + std::atan2(f.g[2], f.g[3])) + std::asin(f.g[1]);
      break;
    case kAlongTilted:
      s = std::acos(f.g[0]);
      break;
    case kNoTangent:
      s = ((std::acos(f.g[0]) + surf::squareRoot(f.g[1])) + surf::squareRoot(f.g[2])) +
          surf::squareRoot(f.g[3]);
      break;
    case kTilted:
      s = (((std::acos(f.g[0]) + surf::squareRoot(f.g[1])) + surf::squareRoot(f.g[2])) +
           surf::squareRoot(f.g[3])) +
          std::acos(f.g[4]);
      break;
  }
  if (f.turned) s += std::atan2(f.refY, f.refX);
  const surf::Pair roots = surf::squareRoots(surf::Pair{f.rProduct, f.tProduct});
  const surf::CosSin r = cosAndSin<kPaired>(f.axisR), t = cosAndSin<kPaired>(f.axisT);
  const surf::CosSin dr = cosAndSin<kPaired>(f.deltaR), dt = cosAndSin<kPaired>(f.deltaT);
  s += (r.c + r.s) + roots[0];
  s += dr.c + dr.s;
  s += (t.c + t.s) + roots[1];
  s += dt.c + dt.s;
  return s;
}

// The same sum with every call made separately, out of line: what either timed loop must add
// up to, since the paired calls give the bits of the separate ones (checked in makeFloorArgs).
__attribute__((noinline)) double referenceFloor(const FloorArgs &f) {
  double results[5];
  int n = 0;
  if (f.angles == kPlusZ) {
    results[n++] = std::sqrt(f.g[0]);
    results[n++] = std::atan2(f.g[2], f.g[3]);
    results[n++] = std::asin(f.g[1]);
  } else if (f.angles != kAlongPlusZ) {
    results[n++] = std::acos(f.g[0]);
    if (f.angles != kAlongTilted)
      for (int k = 1; k <= 3; ++k) results[n++] = std::sqrt(f.g[k]);
    if (f.angles == kTilted) results[n++] = std::acos(f.g[4]);
  }
  double s = n > 0 ? results[0] : 0.0;
  for (int k = 1; k < n; ++k) s = s + results[k];
  if (f.turned) s += std::atan2(f.refY, f.refX);
  s += (std::cos(f.axisR) + std::sin(f.axisR)) + std::sqrt(f.rProduct);
  s += std::cos(f.deltaR) + std::sin(f.deltaR);
  s += (std::cos(f.axisT) + std::sin(f.axisT)) + std::sqrt(f.tProduct);
  s += std::cos(f.deltaT) + std::sin(f.deltaT);
  return s;
}

[[noreturn]] void setupFault(int mix, int hit, const char *what) {
  std::fprintf(stderr, "%s hit %d: %s\n", mixName(mix), hit, what);
  std::exit(1);
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The angles of a hit from the floor's calls, as the evaluation derives them, and which calls
// those are.
void floorAngles(FloorArgs &f, const surf::Vec3 &ray, const surf::Vec3 &normal, double &theta,
                 double &phi) {
  using namespace surf;
  theta = 0.0, phi = 0.0;
  if (isNegligible(normal.x) && isNegligible(normal.y) && isOne(normal.z)) {
    if (isNegligible(ray.x) && isNegligible(ray.y)) {
      f.angles = kAlongPlusZ;
      return;
    }
    f.angles = kPlusZ;
    f.g[0] = ray.y * ray.y + ray.x * ray.x;
    f.g[1] = std::sqrt(f.g[0]);
    if (f.g[1] > 1.0) f.g[1] = 1.0;
    f.g[2] = ray.y;
    f.g[3] = ray.x;
    theta = std::asin(f.g[1]);
    phi = std::atan2(f.g[2], f.g[3]);
    return;
  }
  f.g[0] = std::fabs(dot3(ray, normal));
  theta = std::acos(f.g[0]);
  if (isNegligible(theta)) {
    f.angles = kAlongTilted;
    return;
  }
  const Vec3 n = normal.z < 0.0 ? Vec3{-normal.x, -normal.y, -normal.z} : normal;
  const Vec3 e{1.0, 0.0, 0.0};
  Vec3 t, x, w, a;
  cross3(n, e, t);
  f.g[1] = normalize3(t);
  cross3(t, n, x);
  f.g[2] = normalize3(x);
  cross3(ray, n, w);
  cross3(n, w, a);
  f.g[3] = normalize3(a);
  if (f.g[3] == 0.0) {
    f.angles = kNoTangent;
    return;
  }
  f.angles = kTilted;
  f.g[4] = dot3(x, a);
  phi = std::acos(f.g[4]);
}

// Derives each hit's call arguments the way an evaluation does and checks them against the
// evaluation's own stages and against the plug-in's output, so the floors measure the calls
// the plug-in really makes for these hits: the angles from the floor's calls against the angle
// stage, the Mueller matrices from cos and sin of the floor's arguments against the plug-in's,
// and each paired call against the two separate ones.
std::vector<FloorArgs> makeFloorArgs(int mix) {
  using namespace surf;
  std::vector<FloorArgs> all(kHitCount);
  for (int h = 0; h < kHitCount; ++h) {
    const double *record = pristineHits(mix).data() + static_cast<size_t>(h) * kCoatingInputCount;
    double in[kCoatingInputCount], out[kCoatingOutputCount];
    std::memcpy(in, record, sizeof in);
    plugin().evaluate(in, nullptr, nullptr, nullptr, out);

    Vec3 ray{record[kInRayDirectionX], record[kInRayDirectionX + 1], record[kInRayDirectionX + 2]};
    Vec3 ref{record[kInReferenceDirectionX], record[kInReferenceDirectionX + 1],
             record[kInReferenceDirectionX + 2]};
    Vec3 normal{record[kInSurfaceNormalX], record[kInSurfaceNormalX + 1],
                record[kInSurfaceNormalX + 2]};
    cleanVector(ray);
    cleanVector(ref);
    cleanVector(normal);
    FloorArgs &f = all[h];
    f = FloorArgs{};
    double theta, phi;
    floorAngles(f, ray, normal, theta, phi);
    const IncidenceAngles angles = incidenceAngles(ray, normal);
    if (!sameBits(theta * kRadToDeg, angles.incidence) ||
        !sameBits(foldAzimuth(phi * kRadToDeg), angles.azimuth))
      setupFault(mix, h, "angles differ from the evaluation's");

    const GridBracket bw = findBracket(wavelengthGrid, kWavelengthCount, record[kInWavelength]);
    const GridBracket bi = findBracket(incidenceGrid, kIncidenceCount, angles.incidence);
    const GridBracket ba = findBracket(azimuthGrid, kAzimuthCount, angles.azimuth);
    double v[kSampleColumns];
    interpolateSample(bw.lo, bw.frac, bi.lo, bi.frac, ba.lo, ba.frac, v);
    const double k = ray.y * ray.x;
    f.turned = !(isNegligible(k) && isNegligible(ray.x) == isNegligible(ray.y));
    const double m = f.turned ? std::atan2(ref.y, ref.x) * kRadToDeg : 0.0;
    const OrientedAxes axes = orientAxes(ray, m, v[kRAxis], v[kTAxis]);
    f.refY = ref.y;
    f.refX = ref.x;
    f.axisR = (axes.reflection * 2.0) * kDegToRad;
    f.axisT = (axes.transmission * 2.0) * kDegToRad;
    f.rProduct = v[kREigen2] * v[kREigen1];
    f.tProduct = v[kTEigen2] * v[kTEigen1];
    f.deltaR = kReflectionRetardance;
    f.deltaT = 0.0 * kDegToRad;

    for (double x : {f.axisR, f.axisT, f.deltaR, f.deltaT}) {
      const CosSin paired = cosSin(x);
      if (!sameBits(paired.c, std::cos(x)) || !sameBits(paired.s, std::sin(x)))
        setupFault(mix, h, "a paired cos and sin differ from the separate calls");
    }
    const DiattenuatorBeam r{std::cos(f.axisR), std::sin(f.axisR),  v[kREigen1],
                             v[kREigen2],       std::cos(f.deltaR), std::sin(f.deltaR)};
    const DiattenuatorBeam t{std::cos(f.axisT), std::sin(f.axisT),  v[kTEigen1],
                             v[kTEigen2],       std::cos(f.deltaT), std::sin(f.deltaT)};
    double matrices[32];
    rotatedDiattenuatorMuellerLiteral(r, matrices);
    rotatedDiattenuatorMuellerLiteral(t, matrices + 16);
    if (std::memcmp(matrices, out + kOutReflectionMueller, sizeof matrices) != 0)
      setupFault(mix, h, "Mueller matrices differ from the plug-in's");
  }
  return all;
}

const std::vector<FloorArgs> &floorArgs(int mix) {
  static const std::vector<FloorArgs> args[kMixCount] = {makeFloorArgs(kRealistic),
                                                         makeFloorArgs(kHarsh)};
  return args[mix];
}

// ---- per-thread timing counters -------------------------------------------------------------

double threadCpuNs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e9 + ts.tv_nsec;
}

class PerCall {
 public:
  PerCall() : cpu_(threadCpuNs()), wall_(std::chrono::steady_clock::now()) {}
  void report(benchmark::State &state) const {
    const double calls = static_cast<double>(state.iterations());
    const double wall =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - wall_).count();
    state.counters["cpu_ns"] = benchmark::Counter((threadCpuNs() - cpu_) / calls,
                                                  benchmark::Counter::kAvgThreads);
    state.counters["wall_ns"] = benchmark::Counter(wall / calls, benchmark::Counter::kAvgThreads);
  }

 private:
  double cpu_;
  std::chrono::steady_clock::time_point wall_;
};

// ---- the benchmarks -------------------------------------------------------------------------

// Each benchmark's arguments are the mix and the round: "mix:M/round:N".
int mixOf(const benchmark::State &state) { return static_cast<int>(state.range(0)); }

void restoreOnly(benchmark::State &state) {
  const double *pristine = pristineHits(mixOf(state)).data();
  std::vector<double> work(pristineHits(mixOf(state)));
  double *records = work.data();
  unsigned i = 0;
  PerCall perCall;
  for (auto _ : state) {
    std::memcpy(records + i * kCoatingInputCount, pristine + i * kCoatingInputCount,
                kCoatingInputCount * sizeof(double));
    benchmark::ClobberMemory();
    i = (i + 1) & kMask;
  }
  perCall.report(state);
}

void evaluate(benchmark::State &state) {
  const FnEvaluateCoating fn = plugin().evaluate;
  const double *pristine = pristineHits(mixOf(state)).data();
  std::vector<double> work(pristineHits(mixOf(state)));
  double *records = work.data();
  double out[kCoatingOutputCount];
  unsigned i = 0;
  PerCall perCall;
  for (auto _ : state) {
    std::memcpy(records + i * kCoatingInputCount, pristine + i * kCoatingInputCount,
                kCoatingInputCount * sizeof(double));
    benchmark::ClobberMemory();
    fn(records + i * kCoatingInputCount, nullptr, nullptr, nullptr, out);
    i = (i + 1) & kMask;
  }
  perCall.report(state);
  if (out[kOutAuxiliaryValue] != -1.0) state.SkipWithError("the plug-in did not evaluate");
}

template <bool kPaired>
void mathsFloor(benchmark::State &state) {
  const FloorArgs *args = floorArgs(mixOf(state)).data();
  double sum = 0.0;
  unsigned i = 0;
  PerCall perCall;
  for (auto _ : state) {
    sum += floorCalls<kPaired>(args[i]);
    i = (i + 1) & kMask;
  }
  perCall.report(state);
  benchmark::DoNotOptimize(sum);
  // The timed loop must have computed what the calls give, in the same order.
  double expected = 0.0;
  i = 0;
  for (benchmark::IterationCount n = 0; n < state.iterations(); ++n) {
    expected += referenceFloor(args[i]);
    i = (i + 1) & kMask;
  }
  if (std::memcmp(&sum, &expected, sizeof sum) != 0)
    state.SkipWithError("the floor loop computed something other than its calls");
}

// ---- the summary ----------------------------------------------------------------------------

// Every benchmark runs in kRounds short rounds, taken in turn (see main), so that the plug-in
// and the floors see the same spells of a shared machine. Another tenant can only ever add
// time, so the summary works from each benchmark's fastest round, and shows the spread of the
// round-by-round ratios beside it.
constexpr int kRounds = 15;
constexpr double kRoundSeconds = 0.04;

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct Figures {
    double cpu = 0, wall = 0;
  };
  SummaryReporter()
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      int mix = 0, round = 0;
      if (std::sscanf(run.run_name.args.c_str(), "mix:%d/round:%d", &mix, &round) != 2) continue;
      const std::string key = run.run_name.function_name + "/" + std::to_string(mix) + "/" +
                              std::to_string(run.threads);
      // With --benchmark_repetitions a round runs more than once; it keeps its fastest run.
      const Figures figures{counter(run, "cpu_ns"), counter(run, "wall_ns")};
      const auto kept = rounds_[key].emplace(round, figures).first;
      if (figures.cpu < kept->second.cpu) kept->second = figures;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printSummary() const {
    std::printf("\nsummary: fastest of %d rounds each; restore subtracted from evaluate\n",
                kRounds);
    for (int mix = 0; mix < kMixCount; ++mix) printMix(mix);
  }

 private:
  void printMix(int mix) const {
    const std::string m = "/" + std::to_string(mix) + "/";
    const char *name = mixName(mix);
    const Figures e1 = fastest("evaluate" + m + "1"), r1 = fastest("restore" + m + "1");
    const Figures e2 = fastest("evaluate" + m + "2"), r2 = fastest("restore" + m + "2");
    const Figures fs = fastest("floor" + m + "1"), fp = fastest("floor_paired" + m + "1");
    if (e1.cpu == 0 || r1.cpu == 0) return;
    const double call1 = e1.cpu - r1.cpu;
    std::printf("summary: %s: fnEvaluateCoating %.1f ns CPU per call, 1 thread\n", name, call1);
    if (fs.cpu != 0 && fp.cpu != 0) {
      std::printf("summary: %s: floor %.1f ns per hit in separate calls, %.1f paired\n", name,
                  fs.cpu, fp.cpu);
      std::printf("summary: %s: plugin/floor %.2f paired, %.2f separate%s\n", name,
                  call1 / fp.cpu, call1 / fs.cpu, roundByRound(mix).c_str());
    }
    if (e2.cpu != 0 && r2.cpu != 0) {
      const double call2 = e2.cpu - r2.cpu;
      const double wall1 = e1.wall - r1.wall, wall2 = e2.wall - r2.wall;
      std::printf("summary: %s: 2 threads %.1f ns CPU per call per thread, %.2f of 1 thread; "
                  "wall %.1f ns per call per thread (1 thread %.1f): %.2fx the one-thread "
                  "throughput\n",
                  name, call2, call2 / call1, wall2, wall1, 2.0 * wall1 / wall2);
    }
  }
  static double counter(const Run &run, const char *name) {
    const auto it = run.counters.find(name);
    return it == run.counters.end() ? 0.0 : it->second.value;
  }
  // The round with the least CPU time per iteration, or zeros when the benchmark did not run.
  Figures fastest(const std::string &key) const {
    Figures best;
    const auto it = rounds_.find(key);
    if (it == rounds_.end()) return best;
    for (const auto &round : it->second)
      if (best.cpu == 0 || round.second.cpu < best.cpu) best = round.second;
    return best;
  }
  // plugin/paired floor within each round that has all three figures: "; round by round:
  // median M, from L to H", or nothing.
  std::string roundByRound(int mix) const {
    const std::string m = "/" + std::to_string(mix) + "/1";
    const auto e = rounds_.find("evaluate" + m), r = rounds_.find("restore" + m),
               f = rounds_.find("floor_paired" + m);
    if (e == rounds_.end() || r == rounds_.end() || f == rounds_.end()) return "";
    std::vector<double> ratios;
    for (const auto &round : e->second) {
      const auto rr = r->second.find(round.first), fr = f->second.find(round.first);
      if (rr == r->second.end() || fr == f->second.end()) continue;
      ratios.push_back((round.second.cpu - rr->second.cpu) / fr->second.cpu);
    }
    if (ratios.empty()) return "";
    std::sort(ratios.begin(), ratios.end());
    char text[80];
    std::snprintf(text, sizeof text, "; paired round by round: median %.2f, from %.2f to %.2f",
                  ratios[ratios.size() / 2], ratios.front(), ratios.back());
    return text;
  }
  std::map<std::string, std::map<int, Figures>> rounds_;
};

}  // namespace
}  // namespace surf_bench

int main(int argc, char **argv) {
  using namespace surf_bench;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("plug-in: %s\n", plugin().path);
  for (int mix = 0; mix < kMixCount; ++mix) {
    int tilted = 0;
    for (int h = 0; h < kHitCount; ++h)
      tilted += isTilted(pristineHits(mix).data() + static_cast<size_t>(h) * kCoatingInputCount);
    std::printf("%s mix: %d hits, %d on tilted normals\n", mixName(mix), kHitCount, tilted);
    floorArgs(mix);  // derived and checked before anything is timed
  }

  // Round by round, each benchmark in turn; the arguments name the mix and the round.
  for (int round = 0; round < kRounds; ++round) {
    for (int mix = 0; mix < kMixCount; ++mix) {
      const auto inRound = [mix, round](benchmark::internal::Benchmark *b) {
        return b->Args({mix, round})->ArgNames({"mix", "round"})->MinTime(kRoundSeconds);
      };
      for (int threads = 1; threads <= 2; ++threads) {
        inRound(benchmark::RegisterBenchmark("evaluate", evaluate))->Threads(threads)->UseRealTime();
        inRound(benchmark::RegisterBenchmark("restore", restoreOnly))->Threads(threads)->UseRealTime();
        if (threads == 2) continue;
        inRound(benchmark::RegisterBenchmark("floor", mathsFloor<false>));
        inRound(benchmark::RegisterBenchmark("floor_paired", mathsFloor<true>));
      }
    }
  }

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printSummary();
  benchmark::Shutdown();
  return 0;
}
