#!/usr/bin/env bash
# Installs, on Debian 12, everything the builds and the tests use: compilers, CMake,
# GoogleTest, Google Benchmark, clang's sanitizer and fuzzer runtimes, the mingw-w64 cross
# compilers, Wine (64- and 32-bit) and gnuplot. Run as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
# A mirror in the middle of a sync serves index files of the wrong size for a few minutes; apt
# then reports an error for an attempt that a later one gets right. So each step is tried a few
# times. An update that still fails has only left some package lists as they were, so the
# installation is tried anyway; it fails by itself, naming the package, if a list it needs is
# missing.
retry() {
  local attempt
  for attempt in 1 2 3 4 5; do
    if "$@"; then return 0; fi
    echo "install-deps: '$*' failed (attempt $attempt of 5)" >&2
    [ "$attempt" -lt 5 ] && sleep 30
  done
  echo "install-deps: giving up on '$*'" >&2
  return 1
}
retry apt-get update || echo "install-deps: going on with the package lists as they are" >&2
retry apt-get install -y \
  cmake make g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev python3 valgrind \
  binutils mingw-w64 wine wine64 wine32:i386 gnuplot-nox
