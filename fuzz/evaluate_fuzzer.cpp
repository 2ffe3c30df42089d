// libFuzzer target: any byte string becomes one fnEvaluateCoating call (fuzz_input.h), and
// everything that must hold for every input record is checked, first of all that the literal
// reference evaluation (tests/reference) gives the same bits: the fuzzer hunts for any input on
// which the plug-in parts from the definitions, not only for crashes. A violation aborts, which
// libFuzzer reports as a crash and saves the input.
//
// The exports are linked in directly (plugin/exports.cpp and surf_core, all built with the
// fuzzer's coverage and sanitizer flags) rather than loaded with dlopen: the coverage of a
// dlopen'ed module reaches libFuzzer only if it is loaded before the fuzzer starts, and an
// instrumented module cannot be linked with the plug-in's no-undefined-symbols rule. The code
// under test is the same either way; tests/ check the loaded plug-in itself.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "coating/lookup.h"
#include "coating/table.h"
#include "mueller/mueller.h"
#include "fuzz/fuzz_input.h"
#include "plugin/coating_records.h"
#include "tests/reference/reference_evaluation.h"

extern "C" double fnEvaluateCoating(double *input, void *, void *, void *, double *output);

namespace {

using surf_test::bits;
using surf_test::fromBits;
using surf_test::sameBits;

// The record handed to the plug-in is longer than the 18 elements it may use, with host data
// around and after the used elements; none of it may change.
constexpr int kPaddedInput = 24;
constexpr uint64_t kPoisonA = 0x7FF4DEADBEEF0001ull;  // signalling not-a-numbers: no
constexpr uint64_t kPoisonB = 0xFFF5C0FFEE000002ull;  // computation can produce them
constexpr uint64_t kHostData = 0x7FF0BAD0DA7A0000ull;

[[noreturn]] void fail(const char *what, int element) {
  std::fprintf(stderr, "evaluate_fuzzer: %s (element %d)\n", what, element);
  std::abort();
}

void require(bool ok, const char *what, int element = -1) {
  if (!ok) fail(what, element);
}

// The evaluation's shortcuts must give the bits of the computations they stand for, on any
// values: the sparse Mueller products against the full ones, the guessed grid search against a
// plain scan. The record's raw values (not-a-numbers, infinities, subnormals, -0.0) serve as
// axis angles, eigen-values and grid positions.
void checkShortcuts(const double *in) {
  // Two beams side by side, one with each retardance as an evaluation pairs them, and each
  // triple of values in either lane with either retardance.
  for (int k = 5; k + 5 < kCoatingInputCount; k += 3) {
    for (int order = 0; order < 4; ++order) {
      const bool swapLanes = order & 1, swapDeltas = order & 2;
      const double deltas[2] = {swapDeltas ? 0.0 : surf::kReflectionRetardance,
                                swapDeltas ? surf::kReflectionRetardance : 0.0};
      const int at[2] = {swapLanes ? k + 3 : k, swapLanes ? k : k + 3};
      surf::DiattenuatorBeam beams[2];
      for (int b = 0; b < 2; ++b)
        beams[b] = surf::diattenuatorBeam(in[at[b]], in[at[b] + 1], in[at[b] + 2], deltas[b]);
      surf::Mat4 fast[2], full[2];
      surf::rotatedDiattenuatorMuellers(beams[0], fast[0].m, beams[1], fast[1].m);
      for (int b = 0; b < 2; ++b) {
        surf::rotatedDiattenuatorMuellerLiteral(beams[b], full[b].m);
        for (int e = 0; e < 16; ++e)
          require(sameBits(fast[b].m[e], full[b].m[e]),
                  "sparse Mueller product differs from the full one", 16 * b + e);
      }
    }
  }
  const struct {
    const double *grid;
    int count;
    double scale;
  } grids[] = {{surf::wavelengthGrid, surf::kWavelengthCount, 1.0},
               {surf::incidenceGrid, surf::kIncidenceCount, 90.0},
               {surf::azimuthGrid, surf::kAzimuthCount, 90.0}};
  for (const auto &g : grids) {
    for (int k = 0; k < kCoatingInputCount; ++k) {
      for (double value : {in[k], in[k] * g.scale}) {
        const surf::GridBracket scan = surf::findBracketByScan(g.grid, g.count, value);
        const surf::GridBracket b = surf::findBracket(g.grid, g.count, value);
        require(b.lo == scan.lo && sameBits(b.frac, scan.frac), "guessed grid search differs from a scan", k);
      }
    }
  }
}

// The smallest and largest value of each column over the whole compiled table.
struct ColumnRange {
  double lo[surf::kSampleColumns];
  double hi[surf::kSampleColumns];
  ColumnRange() {
    for (int j = 0; j < surf::kSampleColumns; ++j) {
      lo[j] = std::numeric_limits<double>::infinity();
      hi[j] = -std::numeric_limits<double>::infinity();
    }
    for (int s = 0; s < surf::kSampleCount; ++s) {
      for (int j = 0; j < surf::kSampleColumns; ++j) {
        const double v = surf::CoatingTable[s * surf::kSampleColumns + j];
        if (v < lo[j]) lo[j] = v;
        if (v > hi[j]) hi[j] = v;
      }
    }
  }
};

const ColumnRange &columnRange() {
  static const ColumnRange r;
  return r;
}

// A blend of table entries with non-negative weights summing to one lies within the column's
// range, up to the rounding of its eight three-factor terms and their sum.
void requireWithinColumn(double v, int column, int element) {
  const double lo = columnRange().lo[column], hi = columnRange().hi[column];
  const double slack = 16 * std::numeric_limits<double>::epsilon() *
                       std::fmax(std::fabs(lo), std::fabs(hi));
  require(v >= lo - slack && v <= hi + slack, "interpolated value outside its column's range",
          element);
}

void fillInput(double *in, int count, const surf_fuzz::FuzzCall &c) {
  for (int k = 0; k < count; ++k) in[k] = fromBits(kHostData + k);
  in[kInWavelength] = c.wavelength;
  for (int k = 0; k < 3; ++k) {
    in[kInRayDirectionX + k] = c.ray[k];
    in[kInReferenceDirectionX + k] = c.reference[k];
    in[kInSurfaceNormalX + k] = c.normal[k];
  }
}

void checkOutput(const double *out, uint64_t poison) {
  for (int k = 0; k < kCoatingOutputCount; ++k)
    require(bits(out[k]) != poison, "output element not written", k);
  require(sameBits(out[kOutReflectionPhase], 180.0), "reflection phase is not 180", 6);
  require(sameBits(out[kOutTransmissionPhase], 0.0), "transmission phase is not +0", 7);
  require(sameBits(out[kOutAuxiliaryValue], -1.0), "auxiliary value is not -1", 8);
  for (int k = 0; k <= kOutTransmittanceP; ++k)
    require(std::isfinite(out[k]), "reflectance, transmittance or absorptance not finite", k);
  requireWithinColumn(out[kOutReflectanceS], surf::kRs, kOutReflectanceS);
  requireWithinColumn(out[kOutReflectanceP], surf::kRp, kOutReflectanceP);
  requireWithinColumn(out[kOutTransmittanceS], surf::kTs, kOutTransmittanceS);
  requireWithinColumn(out[kOutTransmittanceP], surf::kTp, kOutTransmittanceP);
  require(sameBits(out[kOutAbsorptanceS],
                   (1.0 - out[kOutReflectanceS]) - out[kOutTransmittanceS]),
          "absorptanceS is not (1 - rs) - ts", kOutAbsorptanceS);
  require(sameBits(out[kOutAbsorptanceP],
                   (1.0 - out[kOutReflectanceP]) - out[kOutTransmittanceP]),
          "absorptanceP is not (1 - rp) - tp", kOutAbsorptanceP);
  // Intensity and circular corners: the rotations leave them alone, so even a not-a-number
  // axis angle cannot reach them.
  for (int base : {int{kOutReflectionMueller}, int{kOutTransmissionMueller}}) {
    for (int corner : {0, 3, 12, 15})
      require(std::isfinite(out[base + corner]), "Mueller corner element not finite",
              base + corner);
  }
}

void checkInput(const double *before, const double *after, int count) {
  for (int k = 0; k < count; ++k) {
    if ((k >= 5 && k <= 7) || (k >= 12 && k <= 17)) {
      require(sameBits(after[k], before[k]) || sameBits(after[k], 0.0),
              "direction component changed to something other than +0", k);
    } else {
      require(sameBits(after[k], before[k]), "input element the plug-in must not touch changed",
              k);
    }
  }
}

// The call the plug-in made, made again on the record as it was before, by the literal reference:
// the same return value, the same record afterwards and the same outputs, bit for bit.
void requireSameAsReference(const double *inBefore, const double *in, const double *out,
                            double returned) {
  double refIn[kPaddedInput], refOut[kCoatingOutputCount];
  std::memcpy(refIn, inBefore, sizeof refIn);
  for (double &v : refOut) v = fromBits(kPoisonB);
  const double refReturned =
      surf_reference::evaluateCoating(refIn, nullptr, nullptr, nullptr, refOut);
  auto same = [](double mine, double reference, const char *what, int element) {
    if (surf_test::sameResult(mine, reference)) return;
    std::fprintf(stderr, "evaluate_fuzzer: %s %d: plug-in %016llx, literal reference %016llx\n",
                 what, element, static_cast<unsigned long long>(bits(mine)),
                 static_cast<unsigned long long>(bits(reference)));
    fail("the plug-in differs from the literal reference", element);
  };
  same(returned, refReturned, "return value", -1);
  for (int k = 0; k < kPaddedInput; ++k) same(in[k], refIn[k], "input element", k);
  for (int k = 0; k < kCoatingOutputCount; ++k) same(out[k], refOut[k], "output element", k);
}

void checkNullCalls(const surf_fuzz::FuzzCall &c) {
  double in[kPaddedInput], inBefore[kPaddedInput];
  double out[kCoatingOutputCount];
  fillInput(in, kPaddedInput, c);
  std::memcpy(inBefore, in, sizeof in);
  for (double &v : out) v = fromBits(kPoisonA);
  double *input = c.nullInput ? nullptr : in;
  double *output = c.nullOutput ? nullptr : out;
  const double r = fnEvaluateCoating(input, c.unused, c.unused, c.unused, output);
  require(sameBits(r, 0.0), "return value is not 0.0");
  for (int k = 0; k < kPaddedInput; ++k)
    require(sameBits(in[k], inBefore[k]), "input written although a pointer was null", k);
  for (int k = 0; k < kCoatingOutputCount; ++k)
    require(bits(out[k]) == kPoisonA, "output written although a pointer was null", k);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  columnRange();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const surf_fuzz::FuzzCall c = surf_fuzz::decode(data, size);
  {
    double values[kPaddedInput];
    fillInput(values, kPaddedInput, c);
    checkShortcuts(values);
  }
  if (c.nullInput || c.nullOutput) {
    checkNullCalls(c);
    return 0;
  }

  // First call: a padded record, so host data after element 17 is checked too.
  double in[kPaddedInput], inBefore[kPaddedInput];
  double out[kCoatingOutputCount];
  fillInput(in, kPaddedInput, c);
  std::memcpy(inBefore, in, sizeof in);
  for (double &v : out) v = fromBits(kPoisonA);
  const double r = fnEvaluateCoating(in, c.unused, c.unused, c.unused, out);
  require(sameBits(r, 0.0), "return value is not 0.0");
  requireSameAsReference(inBefore, in, out, r);
  checkInput(inBefore, in, kPaddedInput);
  checkOutput(out, kPoisonA);

  // Second call: the snapped record again, in heap blocks of exactly 18 and 41 doubles so that
  // any access beyond them is an AddressSanitizer report. Snapping is idempotent and nothing
  // is kept between calls: the record stays as it is and the output is the same, bit for bit.
  double *in2 = new double[kCoatingInputCount];
  double *out2 = new double[kCoatingOutputCount];
  std::memcpy(in2, in, kCoatingInputCount * sizeof(double));
  for (int k = 0; k < kCoatingOutputCount; ++k) out2[k] = fromBits(kPoisonB);
  const double r2 = fnEvaluateCoating(in2, c.unused, c.unused, c.unused, out2);
  require(sameBits(r2, 0.0), "return value is not 0.0");
  for (int k = 0; k < kCoatingInputCount; ++k)
    require(sameBits(in2[k], in[k]), "snapping an already snapped record changed it", k);
  checkOutput(out2, kPoisonB);
  for (int k = 0; k < kCoatingOutputCount; ++k)
    require(sameBits(out2[k], out[k]), "snapped record evaluates differently", k);
  delete[] in2;
  delete[] out2;
  return 0;
}
