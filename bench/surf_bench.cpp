// The plug-in's cost per ray hit, and the cost of the maths-library calls it cannot avoid, on
// one realistic set of hits (hit_set.h), in one run:
//
//   evaluate             restore a record, then fnEvaluateCoating through the loaded plug-in
//   restore              the same restore alone, to be subtracted
//   floor                only the maths calls the algorithm makes for the same hits, with their
//                        arguments computed beforehand: per hit sqrt, asin, atan2 (+z normal)
//                        or acos, three sqrt, acos (tilted normal); cos and sin of both axis
//                        angles; the diattenuators' two square roots in one paired
//                        instruction; atan2 of the reference direction; and cos and sin of
//                        both retardances (pi and 0). Square roots are the instruction itself,
//                        as in the plug-in.
//   floor_no_retardance  the floor without the four retardance calls
//
// evaluate and restore run on one thread and on two (each thread on its own copy of the
// records). Every benchmark runs in short rounds taken in turn and reports, per thread, the CPU
// time and the wall time per call (counters cpu_ns and wall_ns); a closing summary gives, from
// each benchmark's fastest round, the plug-in's time per call, the floor and their ratio, and
// the two-thread figures.
//
// This file is compiled like the plug-in: -fno-builtin-sin -fno-builtin-cos, so sin and cos of
// pi and 0 are real library calls here too, and the arguments are read from memory the
// compiler cannot see into.
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

const std::vector<double> &pristineHits() {
  static const std::vector<double> hits = makeHitSet();
  return hits;
}

const Plugin &plugin() {
  static const Plugin p = loadPlugin();
  return p;
}

// ---- the maths floor ------------------------------------------------------------------------

// The arguments of every maths call one evaluation of a hit makes, in the order it makes them.
struct FloorArgs {
  bool tilted;
  double g[5];       // +z: sqrt, asin, atan2(y, x) in g[2], g[3]; tilted: acos, 3 x sqrt, acos
  double refY, refX;  // atan2 of the reference direction
  double axisR, axisT;  // cos and sin of twice each eigen-axis angle, in radians
  double rProduct, tProduct;  // sqrt(e2 * e1) of each diattenuator
  double deltaR, deltaT;      // the retardances, pi and 0, read from memory
};

// The calls, summed so that none of them can be dropped.
template <bool kRetardance>
inline double floorCalls(const FloorArgs &f) {
  // Square roots as the plug-in takes them: the instruction itself, and the two diattenuators'
  // in one paired instruction.
  double s;
  if (f.tilted) {
    s = std::acos(f.g[0]) + surf::squareRoot(f.g[1]) + surf::squareRoot(f.g[2]) +
        surf::squareRoot(f.g[3]) + std::acos(f.g[4]);
  } else {
    s = surf::squareRoot(f.g[0]) + std::asin(f.g[1]) + std::atan2(f.g[2], f.g[3]);
  }
  s += std::atan2(f.refY, f.refX);
  const surf::Pair roots = surf::squareRoots(surf::Pair{f.rProduct, f.tProduct});
  s += std::cos(f.axisR) + std::sin(f.axisR) + roots[0];
  if (kRetardance) s += std::cos(f.deltaR) + std::sin(f.deltaR);
  s += std::cos(f.axisT) + std::sin(f.axisT) + roots[1];
  if (kRetardance) s += std::cos(f.deltaT) + std::sin(f.deltaT);
  return s;
}

// The same sums written out call by call, kept out of line: what the timed loop must add up to.
__attribute__((noinline)) double referenceFloor(const FloorArgs &f, bool retardance) {
  double results[16];
  int n = 0;
  if (f.tilted) {
    results[n++] = std::acos(f.g[0]);
    for (int k = 1; k <= 3; ++k) results[n++] = std::sqrt(f.g[k]);
    results[n++] = std::acos(f.g[4]);
  } else {
    results[n++] = std::sqrt(f.g[0]);
    results[n++] = std::asin(f.g[1]);
    results[n++] = std::atan2(f.g[2], f.g[3]);
  }
  double s = results[0];
  for (int k = 1; k < n; ++k) s = s + results[k];
  s += std::atan2(f.refY, f.refX);
  s += ((std::cos(f.axisR) + std::sin(f.axisR)) + std::sqrt(f.rProduct));
  if (retardance) s += (std::cos(f.deltaR) + std::sin(f.deltaR));
  s += ((std::cos(f.axisT) + std::sin(f.axisT)) + std::sqrt(f.tProduct));
  if (retardance) s += (std::cos(f.deltaT) + std::sin(f.deltaT));
  return s;
}

[[noreturn]] void setupFault(int hit, const char *what) {
  std::fprintf(stderr, "hit %d: %s\n", hit, what);
  std::exit(1);
}

// Derives each hit's call arguments the way an evaluation does and checks them against the
// evaluation's own stages and against the plug-in's output, so the floor measures the calls the
// plug-in really makes for these hits.
std::vector<FloorArgs> makeFloorArgs() {
  using namespace surf;
  std::vector<FloorArgs> all(kHitCount);
  for (int h = 0; h < kHitCount; ++h) {
    const double *record = pristineHits().data() + static_cast<size_t>(h) * kCoatingInputCount;
    double in[kCoatingInputCount], out[kCoatingOutputCount];
    std::memcpy(in, record, sizeof in);
    plugin().evaluate(in, nullptr, nullptr, nullptr, out);

    Vec3 ray{record[5], record[6], record[7]};
    Vec3 ref{record[12], record[13], record[14]};
    Vec3 normal{record[15], record[16], record[17]};
    cleanVector(ray);
    cleanVector(ref);
    cleanVector(normal);
    const IncidenceAngles angles = incidenceAngles(ray, normal);
    FloorArgs &f = all[h];
    double theta, phi;
    if (isNegligible(normal.x) && isNegligible(normal.y) && isOne(normal.z)) {
      f.tilted = false;
      if (isNegligible(ray.x) && isNegligible(ray.y)) setupFault(h, "ray along the +z normal");
      f.g[0] = ray.y * ray.y + ray.x * ray.x;
      f.g[1] = std::fmin(std::sqrt(f.g[0]), 1.0);
      f.g[2] = ray.y;
      f.g[3] = ray.x;
      f.g[4] = 0.0;
      theta = std::asin(f.g[1]);
      phi = std::atan2(f.g[2], f.g[3]);
    } else {
      f.tilted = true;
      f.g[0] = std::fabs(dot3(ray, normal));
      theta = std::acos(f.g[0]);
      if (isNegligible(theta)) setupFault(h, "ray along a tilted normal");
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
      if (!(f.g[1] > 0 && f.g[2] > 0 && f.g[3] > 0)) setupFault(h, "a vector to normalise is zero");
      f.g[4] = dot3(x, a);
      phi = std::acos(f.g[4]);
    }
    if (theta * kRadToDeg != angles.incidence || foldAzimuth(phi * kRadToDeg) != angles.azimuth)
      setupFault(h, "angles differ from the evaluation's");

    const GridBracket bw = findBracket(wavelengthGrid, kWavelengthCount, record[kInWavelength]);
    const GridBracket bi = findBracket(incidenceGrid, kIncidenceCount, angles.incidence);
    const GridBracket ba = findBracket(azimuthGrid, kAzimuthCount, angles.azimuth);
    double v[kSampleColumns];
    interpolateSample(bw.lo, bw.frac, bi.lo, bi.frac, ba.lo, ba.frac, v);
    const double k = ray.y * ray.x;
    if ((isNegligible(ray.x) && isNegligible(ray.y)) ||
        (isNegligible(k) && !isNegligible(ray.x) && !isNegligible(ray.y)))
      setupFault(h, "axis angles not turned (no atan2)");
    const OrientedAxes axes = orientAxes(ray, referenceAzimuth(ref), v[kRAxis], v[kTAxis]);
    f.refY = ref.y;
    f.refX = ref.x;
    f.axisR = (axes.reflection * 2.0) * kDegToRad;
    f.axisT = (axes.transmission * 2.0) * kDegToRad;
    f.rProduct = v[kREigen2] * v[kREigen1];
    f.tProduct = v[kTEigen2] * v[kTEigen1];
    f.deltaR = kReflectionRetardance;
    f.deltaT = 0.0 * kDegToRad;

    const Mat4 r = rotatedDiattenuatorMueller(axes.reflection, v[kREigen1], v[kREigen2], f.deltaR);
    const Mat4 t = rotatedDiattenuatorMueller(axes.transmission, v[kTEigen1], v[kTEigen2], f.deltaT);
    if (std::memcmp(r.m, out + kOutReflectionMueller, sizeof r.m) != 0 ||
        std::memcmp(t.m, out + kOutTransmissionMueller, sizeof t.m) != 0)
      setupFault(h, "Mueller matrices differ from the plug-in's");
  }
  return all;
}

const std::vector<FloorArgs> &floorArgs() {
  static const std::vector<FloorArgs> args = makeFloorArgs();
  return args;
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

void restoreOnly(benchmark::State &state) {
  const double *pristine = pristineHits().data();
  std::vector<double> work(pristineHits());
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
  const double *pristine = pristineHits().data();
  std::vector<double> work(pristineHits());
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

template <bool kRetardance>
void mathsFloor(benchmark::State &state) {
  const FloorArgs *args = floorArgs().data();
  double sum = 0.0;
  unsigned i = 0;
  PerCall perCall;
  for (auto _ : state) {
    sum += floorCalls<kRetardance>(args[i]);
    i = (i + 1) & kMask;
  }
  perCall.report(state);
  benchmark::DoNotOptimize(sum);
  // The timed loop must have computed what the calls give, in the same order.
  double expected = 0.0;
  i = 0;
  for (benchmark::IterationCount n = 0; n < state.iterations(); ++n) {
    expected += referenceFloor(args[i], kRetardance);
    i = (i + 1) & kMask;
  }
  if (std::memcmp(&sum, &expected, sizeof sum) != 0)
    state.SkipWithError("the floor loop computed something other than its calls");
}

// ---- the summary ----------------------------------------------------------------------------

// Every benchmark runs in kRounds short rounds, taken in turn (see main), so that the plug-in
// and the floor see the same spells of a shared machine. Another tenant can only ever add time,
// so the summary works from each benchmark's fastest round, and shows the spread of the
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
      const std::string key = run.run_name.function_name + "/" + std::to_string(run.threads);
      // The round is the benchmark's one argument, "round:N".
      const std::string &args = run.run_name.args;
      const int round = std::atoi(args.substr(args.find(':') + 1).c_str());
      // With --benchmark_repetitions a round runs more than once; it keeps its fastest run.
      const Figures figures{counter(run, "cpu_ns"), counter(run, "wall_ns")};
      const auto kept = rounds_[key].emplace(round, figures).first;
      if (figures.cpu < kept->second.cpu) kept->second = figures;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printSummary() const {
    const Figures e1 = fastest("evaluate/1"), r1 = fastest("restore/1");
    const Figures e2 = fastest("evaluate/2"), r2 = fastest("restore/2");
    const Figures fl = fastest("floor/1"), fn = fastest("floor_no_retardance/1");
    if (e1.cpu == 0 || r1.cpu == 0) return;
    const double call1 = e1.cpu - r1.cpu;
    std::printf("\nsummary: fastest of %d rounds each\n", kRounds);
    std::printf("summary: fnEvaluateCoating, 1 thread: %.1f ns CPU per call "
                "(evaluate %.1f - restore %.1f)\n", call1, e1.cpu, r1.cpu);
    if (fl.cpu != 0 && fn.cpu != 0) {
      std::printf("summary: maths floor: %.1f ns per hit with the retardance calls, %.1f without\n",
                  fl.cpu, fn.cpu);
      std::printf("summary: ratio plugin/floor: %.2f (%.2f against the floor without the "
                  "retardance calls)\n", call1 / fl.cpu, call1 / fn.cpu);
      std::vector<double> ratios = roundRatios();
      if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        std::printf("summary: ratio round by round: median %.2f, from %.2f to %.2f\n",
                    ratios[ratios.size() / 2], ratios.front(), ratios.back());
      }
    }
    if (e2.cpu != 0 && r2.cpu != 0) {
      const double call2 = e2.cpu - r2.cpu;
      const double wall1 = e1.wall - r1.wall, wall2 = e2.wall - r2.wall;
      std::printf("summary: fnEvaluateCoating, 2 threads: %.1f ns CPU per call per thread "
                  "(1 thread: %.1f, ratio %.2f); wall %.1f ns per call per thread (1 thread: "
                  "%.1f): %.2fx the one-thread throughput\n",
                  call2, call1, call2 / call1, wall2, wall1, 2.0 * wall1 / wall2);
    }
  }

 private:
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
  // plugin/floor within each round that has all three figures.
  std::vector<double> roundRatios() const {
    std::vector<double> ratios;
    const auto e = rounds_.find("evaluate/1"), r = rounds_.find("restore/1"),
               f = rounds_.find("floor/1");
    if (e == rounds_.end() || r == rounds_.end() || f == rounds_.end()) return ratios;
    for (const auto &round : e->second) {
      const auto rr = r->second.find(round.first), fr = f->second.find(round.first);
      if (rr == r->second.end() || fr == f->second.end()) continue;
      ratios.push_back((round.second.cpu - rr->second.cpu) / fr->second.cpu);
    }
    return ratios;
  }
  std::map<std::string, std::map<int, Figures>> rounds_;
};

}  // namespace
}  // namespace surf_bench

int main(int argc, char **argv) {
  using namespace surf_bench;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("plug-in: %s; %d hits (%d on tilted normals)\n", plugin().path, kHitCount,
              [] {
                int n = 0;
                for (int h = 0; h < kHitCount; ++h)
                  n += isTilted(pristineHits().data() + static_cast<size_t>(h) * kCoatingInputCount);
                return n;
              }());
  floorArgs();  // derived and checked before anything is timed

  // Round by round, each benchmark in turn; the argument only names the round.
  for (int round = 0; round < kRounds; ++round) {
    const auto inRound = [round](benchmark::internal::Benchmark *b) {
      return b->Arg(round)->ArgName("round")->MinTime(kRoundSeconds);
    };
    inRound(benchmark::RegisterBenchmark("evaluate", evaluate))->Threads(1)->UseRealTime();
    inRound(benchmark::RegisterBenchmark("restore", restoreOnly))->Threads(1)->UseRealTime();
    inRound(benchmark::RegisterBenchmark("floor", mathsFloor<true>));
    inRound(benchmark::RegisterBenchmark("floor_no_retardance", mathsFloor<false>));
    inRound(benchmark::RegisterBenchmark("evaluate", evaluate))->Threads(2)->UseRealTime();
    inRound(benchmark::RegisterBenchmark("restore", restoreOnly))->Threads(2)->UseRealTime();
  }

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printSummary();
  benchmark::Shutdown();
  return 0;
}
