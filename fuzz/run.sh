#!/bin/sh
# Builds the evaluation fuzzer once per coating dataset and runs each for a bounded time.
# A dataset fails if its build fails, the committed seed corpus is stale, or the fuzzer finds
# anything (a failed check, a sanitizer report, a crash, a time-out or memory blow-up). The
# last line counts the datasets: "fuzz: N passed, N failed"; the exit status is non-zero if any
# failed.
#
#   fuzz/run.sh [SECONDS]        SECONDS per dataset, default 60
#
# Environment:
#   SURF_FUZZ_DATASETS   datasets to fuzz, default "datasetA datasetB" (a name or a .csv path)
#   SURF_FUZZ_BUILD_ROOT where the build trees go, default build/ in the source tree
#   SURF_FUZZ_FLAGS      extra libFuzzer flags, e.g. "-jobs=2 -workers=2"
#   SURF_FUZZ_CXX        the compiler, default clang++ (libFuzzer needs clang)
#
# Each dataset gets build/fuzz-<dataset>/ with its own growing corpus (corpus/) next to the
# committed seeds (fuzz/corpus/, read only) and any finding under artifacts/. To run longer,
# give more seconds (fuzz/run.sh 3600), or run the binary by hand without a time limit:
#   build/fuzz-datasetA/fuzz/surf_fuzz_evaluate -max_len=128 build/fuzz-datasetA/corpus fuzz/corpus
# and replay a finding with: build/fuzz-datasetA/fuzz/surf_fuzz_evaluate <artifact file>
set -eu

seconds=${1:-60}
case $seconds in ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
datasets=${SURF_FUZZ_DATASETS:-datasetA datasetB}
build_root=${SURF_FUZZ_BUILD_ROOT:-$root/build}
cxx=${SURF_FUZZ_CXX:-clang++}
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

passed=0
failed=0
# Builds and fuzzes one dataset; returns non-zero on any failure or finding.
fuzz_dataset() {
  dataset=$1
  name=$(basename "$dataset" .csv)
  build=$build_root/fuzz-$name
  echo "== fuzz: $dataset ($seconds s) in $build"
  mkdir -p "$build_root"
  if ! cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
        -DSURF_BUILD_FUZZ=ON -DSURF_BUILD_TESTS=OFF -DSURF_BUILD_BENCH=OFF \
        -DSURF_DATASET="$dataset" "-DCMAKE_CXX_FLAGS=$sanitize -fno-omit-frame-pointer" \
        >"$build.configure.log" 2>&1; then
    cat "$build.configure.log"
    return 1
  fi
  if ! cmake --build "$build" --target surf_fuzz_evaluate surf_fuzz_make_corpus -j2 \
        >"$build.build.log" 2>&1; then
    tail -50 "$build.build.log"
    return 1
  fi

  # The committed seeds must be what make_corpus writes today.
  fresh=$build/fresh-corpus
  rm -rf "$fresh" && mkdir -p "$fresh"
  "$build/fuzz/surf_fuzz_make_corpus" "$fresh" || return 1
  if ! diff -r "$fresh" "$here/corpus" >/dev/null; then
    echo "fuzz/corpus is stale: regenerate it with $build/fuzz/surf_fuzz_make_corpus fuzz/corpus"
    return 1
  fi

  mkdir -p "$build/corpus" "$build/artifacts"
  rm -f "$build/artifacts"/*
  status=0
  # shellcheck disable=SC2086
  "$build/fuzz/surf_fuzz_evaluate" -max_total_time="$seconds" -max_len=128 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/" ${SURF_FUZZ_FLAGS:-} \
      "$build/corpus" "$here/corpus" >"$build/fuzz.log" 2>&1 || status=1
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)' \
      "$build/fuzz.log" || true
  if [ -n "$(ls -A "$build/artifacts")" ]; then status=1; fi
  if [ $status -ne 0 ]; then
    echo "fuzz: FINDING for $dataset (log: $build/fuzz.log, inputs: $build/artifacts/)"
    tail -40 "$build/fuzz.log"
    return 1
  fi
  echo "fuzz: $dataset: no finding"
}

for dataset in $datasets; do
  if fuzz_dataset "$dataset"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
