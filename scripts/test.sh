#!/usr/bin/env bash
# Builds Varnok and runs every test (core, simulator, CLI and the windows offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build=${VARNOK_BUILD_DIR:-build}
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
