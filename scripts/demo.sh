#!/usr/bin/env bash
# Fresh Debian machine to a running demonstration on the simulator: installs the
# build dependencies, builds, programs a small image into a simulated AT89C2051
# with varnok-cli, reads it back, then starts the window program on the same chip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build=${VARNOK_BUILD_DIR:-build}
state=${XDG_STATE_HOME:-$HOME/.local/state}/varnok
mkdir -p "$state"
image="$state/demo-image.bin"
printf 'Varnok demo: hello from the simulated AT89C2051!' > "$image"
"$build/cli/varnok-cli" --port sim --chip 2051 --no-lock program "$image"
"$build/cli/varnok-cli" --port sim --chip 2051 read "$state/demo-readback.bin"
cmp -n "$(stat -c %s "$image")" "$image" "$state/demo-readback.bin" && echo "Read back what was programmed: $state/demo-readback.bin"
if [ -x "$build/app/varnok" ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/app/varnok" --port sim
  else
    echo "No display: starting the window program under Xvfb for 5 seconds."
    timeout 5 xvfb-run -a "$build/app/varnok" --port sim || true
  fi
fi
