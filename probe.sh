#!/usr/bin/env bash
# Builds the native plug-in (datasetA) and its host, then evaluates one ray hit with the probe.
# With no arguments the hit is the default one: 0.555 um, ray (0.3, 0.2, sqrt(0.87)), reference
# +x, normal +z. Any arguments go to surf-probe (try --help).
set -uo pipefail
cd "$(dirname "$0")"
log=build/probe-build.log
mkdir -p build
echo "probe.sh: building build/native (log in $log) ..." >&2
if ! { cmake --preset native && cmake --build --preset native; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "probe.sh: the build failed; the whole log is in $log" >&2
  exit 1
fi
exec build/native/surf-probe "$@"
