#!/usr/bin/env bash
# Installs, on Debian 12, everything the builds and the tests use: compilers, CMake,
# GoogleTest, Google Benchmark, clang's sanitizer and fuzzer runtimes, the mingw-w64 cross
# compilers, Wine (64- and 32-bit) and gnuplot. Run as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update
apt-get install -y \
  cmake make g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev python3 valgrind \
  binutils mingw-w64 wine wine64 wine32:i386 gnuplot-nox
