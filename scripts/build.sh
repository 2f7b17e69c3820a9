#!/usr/bin/env bash
# Configures and builds Varnok into build/ (or $VARNOK_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VARNOK_BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)"
