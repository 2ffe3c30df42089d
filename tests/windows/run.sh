#!/usr/bin/env bash
# Builds the two Windows deliverables and tests them:
#
#   tests/windows/run.sh [native-dir [native-b-dir]]
#
#   win64  build/win64/surf.dll, 64-bit, datasetA, checked against native-dir (build/native)
#   win32  build/win32/surf.dll, 32-bit, datasetB, checked against native-b-dir (build/native-b)
#
# For each target it configures and builds the CMake preset, then runs the tests labelled
# "windows" in that build tree: the check of the DLL's export table, imports, entry routine and
# code (objdump), and surf-crosscheck.exe under Wine against the native build of the same
# dataset (which it builds first if needed). The native build trees can also be given as
# SURF_NATIVE_DIR and SURF_NATIVE_B_DIR; extra configure arguments for the Windows trees as
# SURF_WIN64_CMAKE_ARGS and SURF_WIN32_CMAKE_ARGS.
#
# Without the cross compilers or Wine the tests concerned are skipped, saying so and how to
# install what is missing; with CI=true they count as failures instead. Ends with the line
# "windows: N passed, N failed, N skipped".
set -u
cd "$(dirname "$0")/../.."
repo=$(pwd)

native_a=${1:-${SURF_NATIVE_DIR:-build/native}}
native_b=${2:-${SURF_NATIVE_B_DIR:-build/native-b}}
ci=false
[ "${CI:-}" = true ] && ci=true

install_cross="apt-get install -y mingw-w64 wine wine64"
install_wine32="dpkg --add-architecture i386 && apt-get update && apt-get install -y wine32:i386"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Where the kernel runs no 32-bit programs, 32-bit Wine runs under qemu's i386 emulation
# (tools/install-deps.sh sets it up). Wine maps fixed addresses of the 32-bit address space,
# which qemu can give it only from a range it reserved for the emulated program from the start.
# Without qemu this variable is read by nobody.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xffff0000}
# A prefix of the build's own, so the tests neither depend on nor change the user's ~/.wine.
export WINEPREFIX=${WINEPREFIX:-$repo/build/wine-prefix}

passed=0
failed=0
skipped=0

fail() {
  echo "FAIL $*"
  failed=$((failed + 1))
}

# skip <what> <why> <install command>
skip() {
  if $ci; then
    fail "$1: $2; CI=true, so this is not skipped (install with: $3)"
  else
    echo "SKIPPED $1: $2. Install with: $3"
    skipped=$((skipped + 1))
  fi
}

have_cross_compiler() {
  local triple=$1 suffix
  for suffix in -win32 -posix ""; do
    command -v "$triple-g++$suffix" >/dev/null 2>&1 && return 0
  done
  return 1
}

absolute() { case $1 in /*) echo "$1" ;; *) echo "$repo/$1" ;; esac; }

# ensure_native <dir> <preset>: the native reference tree with surf.so and surf-crosscheck.
ensure_native() {
  local dir=$1 preset=$2
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    if [ "$(absolute "$dir")" != "$repo/build/$preset" ]; then
      fail "$dir is not a configured build tree"
      return 1
    fi
    cmake --preset "$preset" >/dev/null || { fail "configuring the $preset preset"; return 1; }
  fi
  if ! cmake --build "$dir" --target surf surf-crosscheck -j 2 >"$dir/windows-reference.log" 2>&1
  then
    cat "$dir/windows-reference.log"
    fail "building surf and surf-crosscheck in $dir"
    return 1
  fi
}

# count_ctest <log>: adds ctest's per-test results to the totals.
count_ctest() {
  local log=$1 p f s
  p=$(grep -c -E 'Test +#[0-9]+: .* Passed' "$log")
  s=$(grep -c -E 'Test +#[0-9]+: .*\*\*\*Skipped' "$log")
  f=$(grep -E 'Test +#[0-9]+: ' "$log" | grep -c -v -E ' Passed|\*\*\*Skipped')
  passed=$((passed + p))
  failed=$((failed + f))
  if [ "$s" -gt 0 ]; then
    if $ci; then failed=$((failed + s)); else skipped=$((skipped + s)); fi
  fi
}

# run_target <preset> <triple> <bits> <native dir> <native preset> <extra configure args>
run_target() {
  local preset=$1 triple=$2 bits=$3 native=$4 native_preset=$5 extra=$6
  local tree=build/$preset log
  echo "--- $preset ($bits-bit, against $native)"
  if ! have_cross_compiler "$triple"; then
    skip "$preset" "no $triple cross compiler" "$install_cross"
    return
  fi
  ensure_native "$native" "$native_preset" || return
  mkdir -p "$tree"
  log=$tree/windows-build.log
  # shellcheck disable=SC2086  # extra holds separate arguments
  if ! { cmake --preset "$preset" -DSURF_REFERENCE_BUILD_DIR="$(absolute "$native")" $extra &&
         cmake --build --preset "$preset"; } >"$log" 2>&1; then
    tail -n 40 "$log"
    fail "$preset: configure or build (log: $log)"
    return
  fi
  echo "built $tree/surf.dll and $tree/surf-crosscheck.exe"

  local filter=windows_
  if ! command -v wine >/dev/null 2>&1; then
    skip "$preset Wine test" "Wine is not installed" "$install_cross"
    filter=windows_pe_
  else
    # Wine starts slowly the first time, when it creates its prefix ($WINEPREFIX).
    local started out
    started=$(date +%s)
    out=$(wine "$tree/surf-crosscheck.exe" 2>&1)
    echo "wine started the $bits-bit test host in $(($(date +%s) - started)) s"
    if ! grep -q 'usage: surf-crosscheck' <<<"$out"; then
      echo "$out" | tail -n 5
      if [ "$bits" = 32 ]; then
        skip "$preset Wine test" "Wine cannot run 32-bit programs" "$install_wine32"
      else
        skip "$preset Wine test" "Wine cannot run 64-bit programs" "$install_cross"
      fi
      filter=windows_pe_
    fi
  fi

  log=$tree/windows-tests.log
  ctest --test-dir "$tree" -L windows -R "^$filter" --output-on-failure >"$log" 2>&1
  # ctest's own closing line is left out: this script's closing line counts for both targets.
  grep -v -E 'tests passed, [0-9]+ tests? failed out of' "$log"
  # What the Wine run measured, also when it passed.
  grep -h -E '^(compared|largest|[0-9]+ values differ|windows_wine_crosscheck: Wine)' \
    "$tree/Testing/Temporary/LastTest.log" 2>/dev/null | sed 's/^/  /'
  count_ctest "$log"
}

run_target win64 x86_64-w64-mingw32 64 "$native_a" native "${SURF_WIN64_CMAKE_ARGS:-}"
run_target win32 i686-w64-mingw32 32 "$native_b" native-b "${SURF_WIN32_CMAKE_ARGS:-}"

# Let the Wine server that the tests started finish before returning.
if command -v wineserver >/dev/null 2>&1; then
  timeout 20 wineserver -w 2>/dev/null || true
fi

echo "windows: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
