#!/usr/bin/env bash
# Runs every test of the project and ends with one line "total: N passed, N failed".
#
#   native     unit and black-box tests, datasetA (build/native)
#   native-b   the same on datasetB (build/native-b)
#   asan       the same under AddressSanitizer + UndefinedBehaviorSanitizer (clang)
#   tsan       the thread test under ThreadSanitizer (clang)
#   fuzz       the fuzzer on each dataset for SURF_FUZZ_SECONDS seconds (default 60)
#   windows    both DLLs cross-built with mingw-w64 and checked under Wine
#
# Name suites as arguments to run only those (./test.sh native native-b). What the suites need
# and the machine lacks is installed first (tools/install-deps.sh), or the run stops naming it.
set -u
cd "$(dirname "$0")"
export CTEST_OUTPUT_ON_FAILURE=1
log_dir=build/test-logs
mkdir -p "$log_dir"

passed=0
failed=0
skipped=0
failed_suites=()

# Adds the counts from a runner's closing line ("N% tests passed, F tests failed out of T" or
# "... N passed, F failed[, S skipped]") to the totals; a suite that failed without such a line
# counts as one failure.
count_results() {
  local suite=$1 status=$2 log=$3 line p f s
  line=$(grep -E 'tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    p=$(( $(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line") - f ))
    s=0
  else
    line=$(grep -E '(^|: )[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
    if [ -n "$line" ]; then
      p=$(sed -E 's/.*([^0-9]|^)([0-9]+) passed.*/\2/' <<<"$line")
      f=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")
      s=$(sed -nE 's/.* ([0-9]+) skipped.*/\1/p' <<<"$line")
    else
      p=0; f=0
    fi
  fi
  if [ "$status" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then f=1; fi
  passed=$(( passed + ${p:-0} ))
  failed=$(( failed + ${f:-0} ))
  skipped=$(( skipped + ${s:-0} ))
  if [ "$status" -ne 0 ]; then failed_suites+=("$suite"); fi
}

run_suite() {
  local suite=$1
  shift
  local log=$log_dir/$suite.log
  echo "=== $suite"
  ( set -o pipefail; "$@" 2>&1 | tee "$log" )
  count_results "$suite" $? "$log"
}

# A tool the tests need that is missing fails the configuration (SURF_REQUIRE_TESTS), and a
# tree without tests fails ctest, rather than the suite passing with tests left out.
ctest_preset() {
  local preset=$1
  cmake --preset "$preset" -DSURF_REQUIRE_TESTS=ON && cmake --build --preset "$preset" &&
    ctest --preset "$preset" --no-tests=error
}

suite_native() { run_suite native ctest_preset native; }
suite_native_b() { run_suite native-b ctest_preset native-b; }
suite_asan() { run_suite asan ctest_preset asan; }
suite_tsan() { run_suite tsan ctest_preset tsan; }
suite_fuzz() { run_suite fuzz bash fuzz/run.sh "${SURF_FUZZ_SECONDS:-60}"; }
suite_windows() { run_suite windows bash tests/windows/run.sh; }

suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(native native-b asan tsan fuzz windows)
for suite in "${suites[@]}"; do
  if ! declare -F "suite_${suite//-/_}" >/dev/null; then
    echo "test.sh: unknown suite '$suite' (known: native native-b asan tsan fuzz windows)" >&2
    exit 2
  fi
done

# Set-up: every suite runs, none is skipped for a missing tool. What the chosen suites need and
# this machine lacks is installed when that can be done without asking (as root, or with sudo
# that needs no password); otherwise the run stops here and names the command to run.
if command -v dpkg-query >/dev/null; then
  if ! missing=$(bash tools/install-deps.sh --missing "${suites[@]}"); then
    echo "test.sh: could not tell what the suites need (tools/install-deps.sh --missing)" >&2
    exit 1
  fi
  missing=$(tr '\n' ' ' <<<"$missing")
  if [ -n "${missing// /}" ]; then
    echo "test.sh: missing here: $missing" >&2
    if [ "$(id -u)" -eq 0 ]; then
      install=(bash tools/install-deps.sh "${suites[@]}")
    elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
      install=(sudo bash tools/install-deps.sh "${suites[@]}")
    else
      echo "test.sh: install them first with: sudo tools/install-deps.sh ${suites[*]}" >&2
      exit 1
    fi
    echo "test.sh: installing with: ${install[*]}" >&2
    "${install[@]}" || { echo "test.sh: the installation failed" >&2; exit 1; }
  fi
else
  echo "test.sh: not a Debian system (no dpkg-query): the tools the suites need are not checked" >&2
fi

for suite in "${suites[@]}"; do
  "suite_${suite//-/_}"
done

echo
[ ${#failed_suites[@]} -eq 0 ] || echo "failed suites: ${failed_suites[*]} (logs in $log_dir)"
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ ${#failed_suites[@]} -eq 0 ]
