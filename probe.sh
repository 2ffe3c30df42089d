#!/usr/bin/env bash
# Builds the native plug-in (datasetA) and its host, then evaluates one ray hit with the probe.
# With no arguments the hit is the default one: 0.555 um, ray (0.3, 0.2, sqrt(0.87)), reference
# +x, normal +z. Any arguments go to surf-probe (try --help).
set -euo pipefail
cd "$(dirname "$0")"
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null
exec build/native/surf-probe "$@"
